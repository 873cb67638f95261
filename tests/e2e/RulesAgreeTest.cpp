// Each rule about unixODBC's files is written once, and every path that depends on it gives the
// same answer: the installer, the key store, the atomic rewrite and the client's store (which
// asks odbcini::WhyNotStorable). What they accept, unixODBC reads back exactly; what they say
// unixODBC refuses, unixODBC's own odbcinst does not read.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Pairs.h"
#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestSupport.h"

// libodbcinst's reader of one value (odbcinst.h defines the request codes as macros, which
// the installer's header spells as constants).
extern "C" int SQLGetPrivateProfileString(const char* section, const char* key,
                                          const char* fallback, char* buffer, int size,
                                          const char* file);

using namespace testsupport;
namespace ini = platform::odbcini;

namespace {

// The longest value of `keyword` whose line ("keyword = value" and its line feed) unixODBC
// reads as one piece.
size_t LongestValue(const std::string& keyword) { return ini::kPieceMax - keyword.size() - 4; }

class RulesAgree : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    userFile = (dir / "user.ini").string();
    driversFile = (dir / "odbcinst.ini").string();
    Spit(driversFile, DesktopDrivers());
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", userFile.c_str(), 1);
    unsetenv("ODBCSEARCH");
  }

  static std::string List(const std::string& name, const platform::Pairs& pairs) {
    std::string list = "DSN=" + name + std::string(1, '\0');
    for (const auto& [k, v] : pairs) list += k + "=" + v + std::string(1, '\0');
    return list + std::string(1, '\0');
  }

  std::string userFile, driversFile;
};

struct Source {
  std::string name;
  platform::Pairs pairs;
};

// Names, keywords and values the store refuses: the installer refuses each too (the same words
// where the pair is at fault), and writes nothing.
TEST_F(RulesAgree, TheInstallerRefusesWhatTheStoreRefusesAndWritesNothing) {
  const std::vector<Source> refused = {
      {"", {}},
      {std::string(33, 'n'), {}},
      {"tab\there", {}},
      {"new\nline", {}},
      {" leading", {}},
      {"trailing ", {}},
      {"#comment", {}},
      {";comment", {}},
      {"a]b", {}},
      {"a[b", {}},
      {"a=b", {}},
      {"ODBC Data Sources", {}},
      {"odbc DATA sources", {}},
      {"Fine", {{"", "v"}}},
      {"Fine", {{" Key", "v"}}},
      {"Fine", {{"_Key", "v"}}},
      {"Fine", {{"Key.x", "v"}}},
      {"Fine", {{"Key", "a\tb"}}},
      {"Fine", {{"Key", "a\rb"}}},
      {"Fine", {{"Key", " v"}}},
      {"Fine", {{"Key", "v "}}},
      {"Fine", {{"Key", std::string(LongestValue("Key") + 1, 'v')}}},
  };
  for (const Source& s : refused) {
    const std::string store = ini::WhyNotStorable(s.name, s.pairs);
    EXPECT_FALSE(store.empty()) << "the store takes \"" << s.name << "\"";
    const std::string list = List(s.name, s.pairs);
    const platform::InstallPlan plan =
        platform::DefaultInstaller().Plan(platform::ODBC_ADD_DSN, kExcelDriver, list);
    EXPECT_FALSE(plan.accepted) << "the installer takes \"" << s.name << "\"";
    if (const std::string pairs = ini::CheckPairs(s.pairs); !pairs.empty()) {
      EXPECT_EQ(plan.reason, pairs);
    }
    EXPECT_FALSE(
        platform::SQLConfigDataSource(nullptr, platform::ODBC_ADD_DSN, kExcelDriver, list));
  }
  EXPECT_FALSE(std::filesystem::exists(userFile));
}

// What both accept, unixODBC reads back byte for byte.
TEST_F(RulesAgree, WhatBothAcceptUnixOdbcReadsBackExactly) {
  const std::string longest(LongestValue("Long"), 'v');
  const std::vector<Source> accepted = {
      {"Sales", {{"DBQ", "/data/a b#;[x]=y.xls"}}},
      {"Sales 2024-Q1_x", {{"Max Rows", "10"}}},
      {std::string(32, 'n'), {{"Long", longest}}},
      {"ODBC Data Sourcesx", {{"k-1", "\xC3\xA9t\xC3\xA9"}}},
  };
  for (const Source& s : accepted) {
    ASSERT_EQ(ini::WhyNotStorable(s.name, s.pairs), "") << s.name;
    ASSERT_TRUE(platform::SQLConfigDataSource(nullptr, platform::ODBC_ADD_DSN, kExcelDriver,
                                              List(s.name, s.pairs)))
        << platform::InstallerError();
    EXPECT_EQ(Shell("odbcinst -q -s -n '" + s.name + "'").status, 0) << s.name;
    // odbcinst shows at most 499 bytes of a value: each is read through libodbcinst instead.
    for (const auto& [k, v] : s.pairs) {
      std::vector<char> buf(4096);
      const int n = SQLGetPrivateProfileString(s.name.c_str(), k.c_str(), "", buf.data(),
                                               static_cast<int>(buf.size()), "odbc.ini");
      EXPECT_EQ(std::string(buf.data(), static_cast<size_t>(std::max(n, 0))), v) << k;
    }
  }
}

// Files unixODBC refuses whole, and tricky ones it reads: the reading, the rewrite and the
// installer agree with FindRejection, and odbcinst with all of them.
TEST_F(RulesAgree, EveryReaderRefusesTheFilesUnixOdbcRefusesAndOnlyThose) {
  const std::string sales = "[Sales]\nDriver = " + kExcelDriver + "\n";
  const std::vector<std::string> refused = {
      "\xEF\xBB\xBF" + sales,
      "text\n" + sales,
      "  " + sales,
      "#" + std::string(1200, 'c') + "\n" + sales,
  };
  const std::vector<std::string> read = {
      sales,
      "; comment\n\n# more\n" + sales,
      "\n \t\n" + sales,
      "#" + std::string(990, 'c') + "\n" + sales,
  };
  auto check = [&](const std::string& text, bool refusedByUnixOdbc) {
    Spit(userFile, text);
    const std::string why = ini::WhyUnread(text, userFile);
    EXPECT_EQ(!why.empty(), refusedByUnixOdbc) << text.substr(0, 40);
    EXPECT_EQ(Shell("odbcinst -q -s -n Sales").status == 0, !refusedByUnixOdbc)
        << text.substr(0, 40);
    // The key store reads it as unixODBC does.
    try {
      platform::CurrentKeyStore().ReadValues(platform::HKEY_CURRENT_USER,
                                             platform::DataSourceKey("Sales"));
      EXPECT_FALSE(refusedByUnixOdbc);
    } catch (const platform::ERegistryException& e) {
      EXPECT_EQ(e.what(), why);
    }
    // The installer's rewrite leaves it as it is, saying why.
    const bool added = platform::SQLConfigDataSource(nullptr, platform::ODBC_ADD_DSN, kExcelDriver,
                                                     List("Other", {}));
    EXPECT_EQ(added, !refusedByUnixOdbc);
    if (refusedByUnixOdbc) {
      EXPECT_EQ(platform::InstallerError(), why + ", so it is left as it is");
      EXPECT_EQ(Slurp(userFile), text);
    }
    // The same text as the drivers file: no driver is read from it.
    Spit(driversFile, text);
    const platform::InstallPlan plan =
        platform::DefaultInstaller().Plan(platform::ODBC_ADD_DSN, "Sales", List("New", {}));
    if (refusedByUnixOdbc) {
      EXPECT_EQ(plan.reason, ini::WhyUnread(text, driversFile, ini::Holds::Drivers));
    } else {
      EXPECT_TRUE(plan.accepted) << plan.reason;
    }
    Spit(driversFile, DesktopDrivers());
  };
  for (const std::string& text : refused) check(text, true);
  for (const std::string& text : read) check(text, false);
}

// The password keyword is one rule, blind to case, and not fooled by names that contain it.
TEST(PasswordKeyword, IsPwdOrPasswordInAnyCase) {
  for (const char* yes : {"PWD", "pwd", "Pwd", "PASSWORD", "password", "PassWord"})
    EXPECT_TRUE(platform::IsPasswordKeyword(yes)) << yes;
  for (const char* no : {"", "PW", "PWDX", "UID", "Password2", " PWD", "PWD "})
    EXPECT_FALSE(platform::IsPasswordKeyword(no)) << no;
}

}  // namespace
