// What the test programs share: whole files read and written as bytes, shell commands with
// their output and exit status, a scratch folder per test, and the six desktop drivers as an
// odbcinst.ini lists them. The shell part is POSIX only; the rest builds for Windows too.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>

#include <cstdio>
#endif

namespace testsupport {

// The file's bytes; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Replaces the file with exactly these bytes.
inline void Spit(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

#ifndef _WIN32
// An exit status of std::system, pclose or waitpid as a shell shows it; -1 when killed by a
// signal.
inline int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

struct Output {
  int status;        // as ExitCode gives it; -1 when the command could not start
  std::string text;  // standard output and error, interleaved as written
};

// Runs a shell command with its standard error on its standard output.
inline Output Shell(const std::string& command) {
  Output out{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.text.append(buf, n);
  out.status = ExitCode(pclose(pipe));
  return out;
}
#endif

#ifdef TABRIX_TEST_SCRATCH
// An empty folder named after the running test ("Suite.Name", slashes of parameterised names
// made underscores) under TABRIX_TEST_SCRATCH; what a previous run left there is removed.
inline std::filesystem::path MakeScratchFolder() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::replace(name.begin(), name.end(), '/', '_');
  const std::filesystem::path dir = std::filesystem::path(TABRIX_TEST_SCRATCH) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// A test with its scratch folder in `dir`, kept after the test for a look at what it left.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeScratchFolder(); }

  std::filesystem::path dir;
};
#endif

inline const std::string kExcelDriver = "Microsoft Excel Driver (*.xls)";
inline const std::string kAccessDriver = "Microsoft Access Driver (*.mdb)";

// The six desktop drivers as odbcinst.ini lists them, none with a setup library; `excelExtra`
// is added to Excel's section.
inline std::string DesktopDrivers(const std::string& excelExtra = "") {
  return "[" + kAccessDriver +
         "]\nDriver = /opt/odbc/lib/access.so\nDriverODBCVer = 02.50\n\n"
         "[" +
         kExcelDriver +
         "]\nDriver = /opt/odbc/lib/excel.so\nDriverODBCVer = 02.50\n"
         "FileExtns = *.xls\n" +
         excelExtra +
         "\n"
         "[Microsoft Text Driver (*.txt, *.csv)]\nDriver = /opt/odbc/lib/text.so\n\n"
         "[Microsoft Paradox Driver (*.db )]\nDriver = /opt/odbc/lib/paradox.so\n\n"
         "[Microsoft dBase Driver (*.dbf)]\nDriver = /opt/odbc/lib/dbase.so\n\n"
         "[Microsoft Visual FoxPro Driver (*.dbf)]\nDriver = /opt/odbc/lib/foxpro.so\n";
}

}  // namespace testsupport
