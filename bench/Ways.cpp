#include "bench/Ways.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "bench/Measure.h"
#include "library/TabrixCodeUnit.h"

// After our own headers: unixODBC defines the request codes as macros.
#include <odbcinst.h>

namespace bench {
namespace {

constexpr int kRequestAdd = 1;     // ODBC_ADD_DSN: the user odbc.ini
constexpr int kRequestRemove = 3;  // ODBC_REMOVE_DSN
constexpr int kExcel = 2;          // the library's database code for the Excel driver

class TabrixWay : public Way {
 public:
  TabrixWay() : keys_(SourceKeys(kAddedName)) {
    // The library writes Driver, DBQ, DefaultDir, Description, FIL, UID and PWD itself;
    // the rest of the section travels as extra attributes.
    bool afterPwd = false;
    for (const auto& [k, v] : keys_) {
      if (afterPwd) extras_ += k + "=" + v + '\0';
      if (k == "PWD") afterPwd = true;
    }
  }
  bool Add() override {
    return TabrixCodeUnit::CreateDSN(kRequestAdd, kExcel, kAddedName, Find(keys_, "Description"),
                                     Find(keys_, "DBQ"), Find(keys_, "DefaultDir"),
                                     Find(keys_, "UID"), Find(keys_, "PWD"), extras_);
  }
  bool Remove() override { return TabrixCodeUnit::RemoveDSN(kRequestRemove, kExcel, kAddedName); }
  bool Exists(const std::string& name) override { return TabrixCodeUnit::FindDSN(name, 1); }

 private:
  KeyValues keys_;
  std::string extras_;
};

// The same section and [ODBC Data Sources] line through libodbcinst: each call below reads,
// parses and rewrites the whole file.
class ProfileWay : public Way {
 public:
  ProfileWay() : keys_(SourceKeys(kAddedName)) { SQLSetConfigMode(ODBC_USER_DSN); }
  bool Add() override {
    if (!SQLWriteDSNToIni(kAddedName, kDriver)) return false;
    for (const auto& [k, v] : keys_) {
      if (k == "Driver") continue;  // written by SQLWriteDSNToIni
      if (!SQLWritePrivateProfileString(kAddedName, k.c_str(), v.c_str(), kFile)) return false;
    }
    return SQLWritePrivateProfileString(kSources, kAddedName, kDriver, kFile);
  }
  bool Remove() override {
    return SQLRemoveDSNFromIni(kAddedName) &&
           SQLWritePrivateProfileString(kSources, kAddedName, nullptr, kFile);
  }
  // Lists the section's keys: a lookup of one value would be answered from the cache.
  bool Exists(const std::string& name) override {
    char keys[4096];
    return SQLGetPrivateProfileString(name.c_str(), nullptr, "", keys, sizeof keys, kFile) > 0;
  }

 private:
  static constexpr const char* kFile = "odbc.ini";
  static constexpr const char* kSources = "ODBC Data Sources";
  KeyValues keys_;
};

// The physical floor of each operation: the same durable change with nothing else. Add and
// remove take the lock file, read the whole file, write the bytes Tabrix leaves (taken from a
// Tabrix add and remove at the start) to a temporary file, sync it, rename it over the file
// and sync the folder; the existence test reads the file and looks for the section header.
class FloorWay : public Way {
 public:
  explicit FloorWay(const Files& files) : files_(files) {
    TabrixWay tabrix;
    added_ = After(files.base, [&] { return tabrix.Add(); });
    removed_ = After(files.with, [&] { return tabrix.Remove(); });
  }
  bool Add() override { return Rewrite(added_); }
  bool Remove() override { return Rewrite(removed_); }
  bool Exists(const std::string& name) override {
    const std::string header = "\n[" + name + "]";
    int fd = open(files_.userFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    Buffer text;
    const bool read = ReadAll(fd, text);
    close(fd);
    return read && memmem(text.data.get(), text.size, header.data(), header.size()) != nullptr;
  }

 private:
  // What the user file holds after `change`, starting from `from`.
  std::string After(const std::string& from, const std::function<bool()>& change) {
    Restore(from, files_.userFile);
    if (!change()) throw std::runtime_error("the floor's reference change failed");
    int fd = open(files_.userFile.c_str(), O_RDONLY | O_CLOEXEC);
    Buffer text;
    if (fd < 0 || !ReadAll(fd, text)) throw std::runtime_error("cannot read the user file");
    close(fd);
    return std::string(text.data.get(), text.size);
  }
  // Into a buffer of the file's size, as a reader that knows it must: no zeroing, one copy.
  struct Buffer {
    std::unique_ptr<char[]> data;
    size_t size = 0;
  };
  static bool ReadAll(int fd, Buffer& buffer) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    buffer.size = static_cast<size_t>(st.st_size);
    buffer.data.reset(new char[buffer.size]);
    for (size_t done = 0; done < buffer.size;) {
      const ssize_t n = read(fd, buffer.data.get() + done, buffer.size - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  bool Rewrite(const std::string& bytes) {
    const std::string& file = files_.userFile;
    const int lock = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) return false;
    Buffer text;
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ReadAll(fd, text);
    if (fd >= 0) close(fd);
    const std::string temp = file + ".floor-tmp";
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ok = ok && fd >= 0 && write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) &&
         fsync(fd) == 0;
    if (fd >= 0) close(fd);
    ok = ok && rename(temp.c_str(), file.c_str()) == 0;
    const int dir = open(files_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = ok && dir >= 0 && fsync(dir) == 0;
    if (dir >= 0) close(dir);
    close(lock);
    return ok;
  }

  Files files_;
  std::string added_;
  std::string removed_;
};

// One odbcinst process per operation, in user scope (-h). Its add cannot list the data
// source under [ODBC Data Sources] (a template section replaces the whole section), and its
// remove reports success whether or not the data source was there.
class ToolWay : public Way {
 public:
  explicit ToolWay(const Files& files) : template_(files.tmpl) {}
  bool Add() override { return Run({"odbcinst", "-i", "-s", "-h", "-f", template_}); }
  bool Remove() override { return Run({"odbcinst", "-u", "-s", "-h", "-n", kAddedName}); }
  bool Exists(const std::string& name) override {
    return Run({"odbcinst", "-q", "-s", "-h", "-n", name});
  }
  bool InProcess() const override { return false; }
  long LastProgramPeakKb() const override { return peakKb_; }
  std::vector<std::string> IdleProgram() const override { return {"odbcinst", "--version"}; }

 private:
  bool Run(const std::vector<std::string>& argv) { return RunQuietly(argv, peakKb_) == 0; }
  std::string template_;
  long peakKb_ = 0;
};

// One tabrix process per operation, in user scope, on the folder's files: its user file
// is odbc.user.ini there, so bench/compare points ODBCINI at that name for this way.
class ClientWay : public Way {
 public:
  ClientWay(const Files& files, std::string client)
      : client_(std::move(client)), folder_(files.folder) {}
  bool Add() override { return Run(ClientCreate(client_, folder_, kAddedName)); }
  bool Remove() override { return Run(Verb("remove", kAddedName)); }
  bool Exists(const std::string& name) override { return Run(Verb("find", name)); }
  bool InProcess() const override { return false; }
  long LastProgramPeakKb() const override { return peakKb_; }
  std::vector<std::string> IdleProgram() const override { return {client_, "--help"}; }

 private:
  std::vector<std::string> Verb(const char* verb, const std::string& name) const {
    return {client_, verb, name, "--user", "--config-dir", folder_};
  }
  bool Run(const std::vector<std::string>& argv) { return RunQuietly(argv, peakKb_) == 0; }
  std::string client_;
  std::string folder_;
  long peakKb_ = 0;
};

// The library as a program of its own calls it: one tabrix_library_run process per
// operation, started and ended as the client is, so that the client's work compares with the
// library's without a process start-up on one side only.
class LibraryRunWay : public Way {
 public:
  bool Add() override { return Run("add", ""); }
  bool Remove() override { return Run("remove", ""); }
  bool Exists(const std::string& name) override { return Run("exists", name); }
  bool InProcess() const override { return false; }
  long LastProgramPeakKb() const override { return peakKb_; }
  std::vector<std::string> IdleProgram() const override { return Once("none", ""); }

 private:
  static std::vector<std::string> Once(const std::string& op, const std::string& name) {
    std::vector<std::string> argv{Program(), "--op=" + op};
    if (!name.empty()) argv.push_back("--name=" + name);
    return argv;
  }
  // Beside the benchmark's own program, in the build's bench folder.
  static std::string Program() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) throw std::runtime_error("cannot find the benchmark's own program");
    const std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "tabrix_library_run";
  }
  bool Run(const std::string& op, const std::string& name) {
    return RunQuietly(Once(op, name), peakKb_) == 0;
  }
  long peakKb_ = 0;
};

}  // namespace

bool LibraryOnce(const std::string& op, const std::string& name) {
  TabrixWay tabrix;
  if (op == "add") return tabrix.Add();
  if (op == "remove") return tabrix.Remove();
  if (op == "exists") return tabrix.Exists(name);
  return op == "none";
}

namespace {

// The client's option for each key of SourceKeys that has one; flags take the key's value.
std::vector<std::string> ClientOptions(const KeyValues& keys) {
  const std::pair<const char*, const char*> valued[] = {
      {"Description", "--description"},
      {"DBQ", "--workbook"},
      {"DefaultDir", "--default-dir"},
      {"UID", "--uid"},
      {"ImplicitCommitSync", "--implicit-commit-sync"},
      {"MaxScanRows", "--max-scan-rows"},
      {"SafeTransactions", "--safe-transactions"},
      {"Threads", "--threads"},
  };
  std::vector<std::string> options;
  for (const auto& [key, option] : valued) {
    options.push_back(option);
    options.push_back(Find(keys, key));
  }
  options.push_back(Find(keys, "ReadOnly") == "1" ? "--read-only" : "--no-read-only");
  options.push_back(Find(keys, "FirstRowHasNames") == "1" ? "--first-row-has-names"
                                                          : "--no-first-row-has-names");
  options.push_back(Find(keys, "UserCommitSync") == "Yes" ? "--user-commit-sync"
                                                          : "--no-user-commit-sync");
  return options;
}

}  // namespace

std::unique_ptr<Way> MakeWay(std::string_view name, const Files& files, const std::string& client) {
  if (name == "tabrix") return std::make_unique<TabrixWay>();
  if (name == "floor") return std::make_unique<FloorWay>(files);
  if (name == "profile") return std::make_unique<ProfileWay>();
  if (name == "tool") return std::make_unique<ToolWay>(files);
  if (name == "client" && !client.empty()) return std::make_unique<ClientWay>(files, client);
  if (name == "library-run") return std::make_unique<LibraryRunWay>();
  return nullptr;
}

std::vector<std::string> ClientCreate(const std::string& client, const std::string& folder,
                                      const std::string& name) {
  std::vector<std::string> argv{client, "create", name, "--user", "--config-dir", folder};
  for (std::string& option : ClientOptions(SourceKeys(name))) argv.push_back(std::move(option));
  return argv;
}

}  // namespace bench
