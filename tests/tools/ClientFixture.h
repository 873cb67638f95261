// The tabrix client as its users run it: a process with a private configuration folder,
// its results read back with unixODBC's own odbcinst. Shared by the client's test programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

namespace clienttest {

namespace fs = std::filesystem;
using testsupport::ExitCode;
using testsupport::Slurp;
using testsupport::Spit;

struct Result {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class Client : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Spit(dir / "odbcinst.ini",
         "[Microsoft Excel Driver (*.xls)]\nDriver = /opt/odbc/lib/excel.so\n"
         "DriverODBCVer = 02.50\n\n"
         "[Microsoft Access Driver (*.mdb)]\nDriver = /opt/odbc/lib/access.so\n");
    unsetenv("TABRIX_PASSWORD");
  }

  // The shell command running `tabrix ARGS --config-dir DIR`, its standard streams in files
  // of the folder named after `tag`; `prefix` stands before the program (timeout, setpriv).
  std::string Command(const std::string& args, const std::string& tag = "",
                      const std::string& prefix = "") const {
    return prefix + (prefix.empty() ? "" : " ") + TABRIX_CLIENT + " " + args + " --config-dir " +
           Quote(dir.string()) + " <" + Quote((dir / ("in" + tag)).string()) + " >" +
           Quote((dir / ("out" + tag)).string()) + " 2>" + Quote((dir / ("err" + tag)).string());
  }

  // What a command made by Command(…, tag) ended with.
  Result Collect(int exitCode, const std::string& tag = "") const {
    return Result{exitCode, Slurp(dir / ("out" + tag)), Slurp(dir / ("err" + tag))};
  }

  // Runs `tabrix ARGS --config-dir DIR`, feeding `input` to standard input.
  Result Tabrix(const std::string& args, const std::string& input = "",
                const std::string& prefix = "") {
    Spit(dir / "in", input);
    return Collect(ExitCode(std::system(Command(args, "", prefix).c_str())));
  }

  // unixODBC's own view of a data source; `status` gets odbcinst's exit code.
  std::string Odbcinst(const std::string& name, int* status = nullptr) {
    std::string command = "ODBCSYSINI=" + Quote(dir.string()) +
                          " ODBCINI=" + Quote((dir / "odbc.user.ini").string()) +
                          " odbcinst -q -s -n " + Quote(name);
    testsupport::Output out = testsupport::Shell(command);
    if (status) *status = out.status;
    return out.text;
  }
};

}  // namespace clienttest
