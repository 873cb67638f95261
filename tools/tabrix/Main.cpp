// tabrix: data sources for the desktop ODBC drivers, from the command line.
#include <iostream>

#include "tools/tabrix/Cli.h"

int main(int argc, char** argv) {
  using namespace tabrix::cli;
  CLI::App app{
      "tabrix: create, change, find and remove ODBC data sources for Excel workbooks "
      "and the other desktop-database drivers"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("tabrix ") + TABRIX_VERSION);
  app.footer(host::WhereDataSourcesLive() +
             "\nExit codes: 0 success, 1 refused, failed or not found, 2 usage.");

  std::vector<std::pair<CLI::App*, Runner>> verbs;
  auto add = [&](Runner (*adder)(CLI::App&)) {
    Runner runner = adder(app);
    verbs.emplace_back(app.get_subcommands({}).back(), std::move(runner));
  };
  add(AddCreate);
  add(AddConfigure);
  add(AddRemove);
  add(AddFind);
  add(AddList);
  add(AddDrivers);
  add(AddRegisterMdw);
  add(AddRun);
  add(AddAbout);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? kOk : kUsage;
  }
  for (auto& [verb, run] : verbs)
    if (verb->parsed()) return run();
  return kUsage;
}
