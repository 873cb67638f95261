// tabrix: data sources for the desktop ODBC drivers, from the command line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "TabrixVersion.h"
#include "tools/tabrix/Cli.h"

namespace {

using namespace tabrix::cli;

struct Verb {
  const char* name;
  Runner (*add)(CLI::App&);
};
constexpr Verb kVerbs[] = {
    {"create", AddCreate},
    {"configure", AddConfigure},
    {"remove", AddRemove},
    {"find", AddFind},
    {"list", AddList},
    {"drivers", AddDrivers},
    {"register-mdw", AddRegisterMdw},
    {"run", AddRun},
    {"export", AddExport},
    {"import", AddImport},
    {"apply", AddApply},
    {"about", AddAbout},
};

using Verbs = std::vector<std::pair<CLI::App*, Runner>>;

// Building a verb's options costs more than starting the process: a run builds only the verb
// it names (`named`), and --version none; anything else (--help, a mistake) builds them all.
Verbs AddVerbs(CLI::App& app, const std::string& first, const Verb* named) {
  Verbs verbs;
  for (const Verb& verb : kVerbs) {
    if (first == "--version" || (named != std::end(kVerbs) && &verb != named)) continue;
    Runner runner = verb.add(app);
    verbs.emplace_back(app.get_subcommands({}).back(), std::move(runner));
  }
  return verbs;
}

int ParseAndRun(CLI::App& app, const Verbs& verbs, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    int code = kUsage;
    for (auto& [verb, run] : verbs)
      if (verb->parsed()) code = run();
    return code;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() != 0) {
      // CLI11 echoes the offending argument as it came: escape it like every other echo.
      std::cerr << Shown(e.what(), kLongText) << "\nRun with --help for more information.\n";
      return kUsage;
    }
    app.exit(e);  // --help or --version, whose output is checked after
    return kOk;
  }
}

// Output that did not arrive (a full disk, a closed pipe) is a failure, not a success.
int CheckOutput(int code) {
  errno = 0;
  std::cout.flush();
  if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
  std::string message =
      std::string("cannot write the output: ") + (errno ? std::strerror(errno) : "write error");
  // The files changed all the same: a caller must not take the failure for "nothing done".
  const std::vector<std::string>& changes = ChangesMade();
  if (!changes.empty()) {
    message += "; the change was made all the same: ";
    for (size_t i = 0; i < changes.size(); ++i) message += (i ? ", " : "") + changes[i];
  }
  return Fail(message);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "tabrix: create, change, find and remove ODBC data sources for Excel workbooks "
      "and the other desktop-database drivers"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("tabrix ") + TABRIX_VERSION);
  app.footer(os::WhereDataSourcesLive() +
             "\nExit codes: 0 success, 1 refused, failed or not found, 2 usage.");

  const std::string first = argc > 1 ? argv[1] : "";
  const Verb* named = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                   [&](const Verb& verb) { return first == verb.name; });
  int code = kUsage;
  try {
    const Verbs verbs = AddVerbs(app, first, named);
    // CLI11 would say only that a subcommand is required.
    if (!first.empty() && first[0] != '-' && named == std::end(kVerbs))
      return Usage("unknown verb '" + Shown(first) + "' (tabrix --help lists the verbs)");
    code = ParseAndRun(app, verbs, argc, argv);
  } catch (const std::exception& e) {
    std::cout.flush();
    return Fail(e.what());
  } catch (...) {
    return Fail("an unexpected failure");
  }
  return CheckOutput(code);
}
