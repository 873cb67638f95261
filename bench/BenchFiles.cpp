#include "bench/BenchFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace bench {
namespace {

namespace fs = std::filesystem;

// Not a real library: nothing loads the driver, and the installer only needs a path.
constexpr const char* kDriverLibrary = "/opt/tabrix-bench/lib/libodbcxls-bench.so";

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string Section(const std::string& name) {
  std::string text = "[" + name + "]\n";
  for (const auto& [k, v] : SourceKeys(name)) text += v.empty() ? k + " =\n" : k + " = " + v + "\n";
  return text;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

std::string SourceName(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "XlsSource%05d", i);
  return buf;
}

KeyValues SourceKeys(const std::string& name) {
  // Sized like a workbook DSN on a shared drive: about 600 bytes a section.
  const std::string folder = "/srv/share/finance/reporting/2024/quarterly/department-workbooks";
  return {
      {"Driver", kDriver},
      {"DBQ", folder + "/" + name + "-consolidated-figures.xls"},
      {"DefaultDir", folder},
      {"Description", "Quarterly finance figures for " + name +
                          ", consolidated every Monday from the department workbooks"},
      {"FIL", "Excel 8.0"},
      {"UID", "admin"},
      {"PWD", ""},
      {"ImplicitCommitSync", "Yes"},
      {"ReadOnly", "0"},
      {"FirstRowHasNames", "1"},
      {"MaxScanRows", "8"},
      {"SafeTransactions", "0"},
      {"Threads", "3"},
      {"UserCommitSync", "Yes"},
      {"DriverId", "790"},
  };
}

std::string Find(const KeyValues& keys, const std::string& key) {
  for (const auto& [k, v] : keys)
    if (k == key) return v;
  return "";
}

Files Files::FromEnvironment() {
  Files f;
  f.folder = fs::path(Env("ODBCSYSINI")).lexically_normal().string();
  f.userFile = fs::path(Env("ODBCINI")).lexically_normal().string();
  const bool inside = !f.folder.empty() && f.userFile.starts_with(f.folder + "/");
  if (f.folder.empty() || f.userFile.empty() || !inside || std::getenv("ODBCSEARCH")) {
    std::fprintf(stderr,
                 "tabrix_bench: set ODBCSYSINI to a private folder and ODBCINI to a file in it, "
                 "and unset ODBCSEARCH\n");
    std::exit(2);
  }
  f.base = f.folder + "/base.ini";
  f.with = f.folder + "/with-added.ini";
  f.tmpl = f.folder + "/template.ini";
  return f;
}

size_t Generate(const std::string& folder, int count) {
  fs::create_directories(folder);
  // No Setup or Setup64 key: the installer then writes odbc.ini itself, with its locked
  // atomic rewrite, instead of handing the request to a driver's setup library.
  WriteText(folder + "/odbcinst.ini",
            std::string("[") + kDriver + "]\n" + "Description = Excel workbooks\n" + "Driver = " +
                kDriverLibrary + "\n" + "DriverODBCVer = 02.50\n" + "FileExtns = *.xls\n");
  WriteText(folder + "/odbc.ini", "");

  std::string sources = "[ODBC Data Sources]\n";
  std::string sections;
  for (int i = 1; i <= count; ++i) {
    sources += SourceName(i) + " = " + kDriver + "\n";
    sections += '\n';
    sections += Section(SourceName(i));
  }
  const std::string added = Section(kAddedName);
  const std::string base = sources + sections;
  WriteText(folder + "/base.ini", base);
  WriteText(folder + "/with-added.ini",
            sources + kAddedName + " = " + kDriver + "\n" + sections + "\n" + added);
  WriteText(folder + "/template.ini", added);
  return base.size();
}

void Restore(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  int fd = open(to.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), to);
  const int synced = fsync(fd);
  const int err = errno;
  close(fd);
  if (synced != 0) throw std::system_error(err, std::generic_category(), to);
}

}  // namespace bench
