#include "bench/Ways.h"

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

 private:
  bool Run(const std::vector<std::string>& argv) { return RunQuietly(argv, peakKb_) == 0; }
  std::string template_;
  long peakKb_ = 0;
};

}  // namespace

std::unique_ptr<Way> MakeWay(std::string_view name, const Files& files) {
  if (name == "tabrix") return std::make_unique<TabrixWay>();
  if (name == "profile") return std::make_unique<ProfileWay>();
  if (name == "tool") return std::make_unique<ToolWay>(files);
  return nullptr;
}

}  // namespace bench
