// An application built against an installed Tabrix: a user data source through the component,
// found through the library.
#include <cstdio>

#include "component/TabrixCreateUnit.h"
#include "library/TabrixCodeUnit.h"

int main() {
  TabrixCreateUnit::TTabrixCreator creator(nullptr);
  creator.SetAction(TabrixCreateUnit::ADD_DSN);
  creator.SetDSNNameOrAlias("Consumer");
  creator.SetDatabasePath("/data/Consumer.xls");
  const bool created = creator.Execute();
  const bool found = TabrixCodeUnit::FindDSN("Consumer", 1);
  std::printf("created %d, found %d\n", created, found);
  return created && found ? 0 : 1;
}
