// The demo: data sources for a sample workbook, made through the library and read back with
// unixODBC's own odbcinst. scripts/demo points unixODBC at a private folder first.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/Installer.h"

namespace {

using namespace TabrixCodeUnit;

int failures = 0;

void Step(const std::string& what, bool ok) {
  std::printf("%-58s %s\n", what.c_str(), ok ? "ok" : "FAILED");
  if (!ok) {
    ++failures;
    std::string reason = platform::InstallerError();
    if (!reason.empty()) std::printf("    %s\n", reason.c_str());
  }
}

void Show(const std::string& name) {
  std::printf("\n$ odbcinst -q -s -n %s\n", name.c_str());
  std::fflush(stdout);
  if (std::system(("odbcinst -q -s -n '" + name + "'").c_str()) != 0) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s WORKBOOK WORKGROUP-FILE\n", argv[0]);
    return 2;
  }
  const std::string workbook = argv[1];
  const std::string workgroup = argv[2];
  const std::string folder = workbook.substr(0, workbook.rfind('/'));
  using namespace std::string_literals;
  const std::string options = "ReadOnly=0\0FirstRowHasNames=1\0MaxScanRows=8\0"s;

  std::string fileType;
  const std::string excel = GetDSNTypeString(2, fileType);
  std::printf("Excel driver: \"%s\" (file type %s), installed at %s\n\n", excel.c_str(),
              fileType.c_str(), GetODBCInfo(excel).Driver.str().c_str());

  Step("CreateDSN user data source TabrixSales",
       CreateDSN(1, 2, "TabrixSales", "Monthly sales", workbook, folder, "admin", "", options));
  Step("CreateDSN system data source TabrixShared",
       CreateDSN(4, 2, "TabrixShared", "Shared sales", workbook, folder, "admin", "", options));
  Step("CreateDSN user Access data source TabrixBooks",
       CreateDSN(1, 1, "TabrixBooks", "Bookkeeping", folder + "/Books.mdb", folder, "admin", "",
                 ""));
  Show("TabrixSales");
  Show("TabrixShared");
  std::printf("\n");

  Step("FindDSN TabrixSales among user data sources", FindDSN("TabrixSales", 1));
  Step("FindDSN TabrixShared among system data sources", FindDSN("TabrixShared", 4));
  Step("FindDSN TabrixShared is not a user data source", !FindDSN("TabrixShared", 1));

  Step("RegisterMDW TabrixBooks -> " + workgroup, RegisterMDW("TabrixBooks", workgroup));
  Show("TabrixBooks");
  std::printf("\n");

  std::printf("%s\n", failures ? "demo FAILED" : "demo finished: all steps ok");
  return failures ? 1 : 0;
}
