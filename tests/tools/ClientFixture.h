// The tabrix client as its users run it: a process with a private configuration folder,
// its results read back with unixODBC's own odbcinst. Shared by the client's test programs.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace clienttest {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Spit(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// An exit status of std::system or waitpid as a shell shows it; -1 when killed by a signal.
inline int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

class Client : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir =
        fs::path(TABRIX_TEST_SCRATCH) / (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "odbcinst.ini")
        << "[Microsoft Excel Driver (*.xls)]\nDriver = /opt/odbc/lib/excel.so\n"
           "DriverODBCVer = 02.50\n\n"
           "[Microsoft Access Driver (*.mdb)]\nDriver = /opt/odbc/lib/access.so\n";
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
                          " odbcinst -q -s -n " + Quote(name) + " 2>&1";
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    const int code = ExitCode(pclose(pipe));
    if (status) *status = code;
    return text;
  }

  fs::path dir;
};

}  // namespace clienttest
