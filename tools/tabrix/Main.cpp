// tabrix: data sources for the desktop ODBC drivers, from the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "TabrixVersion.h"
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
  add(AddExport);
  add(AddImport);
  add(AddApply);

  // CLI11 would say only that a subcommand is required.
  auto known = [&](const char* word) {
    for (auto& verb : verbs)
      if (verb.first->check_name(word)) return true;
    return false;
  };
  if (argc > 1 && argv[1][0] != '-' && !known(argv[1]))
    return Usage("unknown verb '" + Shown(argv[1]) + "' (tabrix --help lists the verbs)");

  int code = kUsage;
  try {
    try {
      app.parse(argc, argv);
      for (auto& [verb, run] : verbs)
        if (verb->parsed()) code = run();
    } catch (const CLI::ParseError& e) {
      if (e.get_exit_code() != 0) {
        // CLI11 echoes the offending argument as it came: escape it like every other echo.
        std::cerr << Shown(e.what(), kLongText) << "\nRun with --help for more information.\n";
        return kUsage;
      }
      app.exit(e);  // --help or --version, whose output is checked below
      code = kOk;
    }
  } catch (const std::exception& e) {
    std::cout.flush();
    return Fail(e.what());
  } catch (...) {
    return Fail("an unexpected failure");
  }
  // Output that did not arrive (a full disk, a closed pipe) is a failure, not a success.
  errno = 0;
  std::cout.flush();
  if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout))
    return Fail(std::string("cannot write the output: ") +
                (errno ? std::strerror(errno) : "write error"));
  return code;
}
