// tabrix_execute_cost add|configure N: N calls of TTabrixCreator::Execute against the
// in-memory key store and the recording installer, so that only our own code is counted.
// bench/compare runs it under callgrind with instrumentation off at the start: the program
// turns it on around the loop alone, and the total divided by N is the cost of one Execute.
//
// An add gets a fresh name each time, so that it never stops at FindDSN; a configure sends
// the same data source every time, since it does not look first.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "component/TabrixCreateUnit.h"
#include "platform/fakes/MemoryStore.h"
#include "platform/fakes/RecordingHost.h"
#include "platform/fakes/RecordingInstaller.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
constexpr bool kToggles = true;
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
constexpr bool kToggles = false;
#endif

namespace {

using namespace TabrixCreateUnit;

const char* kDrivers = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\Microsoft Excel Driver (*.xls)]
"Driver"="/opt/odbc-desktop/lib/libodbcxls.so"
"DriverODBCVer"="02.50"
"FileExtns"="*.xls"
)";

// Set up as a client would for a workbook on a shared drive.
void SetUp(TTabrixCreator& creator, TDSNExecuteAction action) {
  creator.SetAction(action);
  creator.SetDSNNameOrAlias("Quarterly");
  creator.SetDSNUserDescription("Quarterly finance figures, consolidated every Monday");
  creator.SetDatabasePath("/srv/share/finance/reporting/2024/quarterly/figures.xls");
  creator.SetDefaultDir("/srv/share/finance/reporting/2024/quarterly");
  creator.SetUserID("admin");
  creator.SetoptImplitCommitSync("Yes");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  const int n = argc > 2 ? std::atoi(argv[2]) : 0;
  if ((mode != "add" && mode != "configure") || n < 1) {
    std::fprintf(stderr, "usage: tabrix_execute_cost add|configure N\n");
    return 2;
  }
  platform::MemoryStore store;
  store.Import(kDrivers);
  platform::RecordingInstaller installer;
  platform::RecordingHost host;  // an empty name must not reach the console
  platform::ScopedKeyStore useStore(store);
  platform::ScopedInstaller useInstaller(installer);
  platform::ScopedHost useHost(host);

  TTabrixCreator creator(nullptr);
  const bool add = mode == "add";
  SetUp(creator, add ? ADD_DSN : CONFIG_DSN);
  std::vector<std::string> names;
  for (int i = 0; add && i < n; ++i) names.push_back("Quarterly" + std::to_string(i));
  installer.calls.reserve(static_cast<size_t>(n));

  int succeeded = 0;
  CALLGRIND_START_INSTRUMENTATION;
  for (int i = 0; i < n; ++i) {
    if (add) creator.SetDSNNameOrAlias(names[static_cast<size_t>(i)]);
    succeeded += creator.Execute() ? 1 : 0;
  }
  CALLGRIND_STOP_INSTRUMENTATION;

  std::printf("executes %d\nsucceeded %d\ntoggled %d\nrequests %zu\n", n, succeeded,
              kToggles ? 1 : 0, installer.calls.size());
  return succeeded == n && installer.calls.size() == static_cast<size_t>(n) ? 0 : 1;
}
