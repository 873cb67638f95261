// unixODBC's files under the contracts, in a private configuration folder: the key store over
// the three files, and the installer for a driver without a setup library.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/odbcini/OdbcIni.h"
#include "platform/sources/DataSourceStore.h"
#include "tests/contract/DataSourceStoreContract.h"
#include "tests/contract/InstallerContract.h"
#include "tests/contract/KeyStoreContract.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
namespace ini = platform::odbcini;
using testsupport::Slurp;
using testsupport::Spit;

namespace {

// A folder of the test's own where unixODBC finds all three files; kept when the test failed.
class PrivateFolder {
 public:
  PrivateFolder() : dir_(testsupport::MakeScratchFolder()) {
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir_ / "user.ini").c_str(), 1);
    unsetenv("ODBCSEARCH");
  }
  ~PrivateFolder() {
    if (!::testing::Test::HasFailure()) fs::remove_all(dir_);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

 private:
  fs::path dir_;
};

class UnixOdbcStoreBackend : public contract::KeyStoreBackend {
 public:
  UnixOdbcStoreBackend() {
    typedValues = false;
    readOnlyKeys = geteuid() != 0;
    refusesUnstorable = true;
  }
  platform::KeyStore& Store() override { return platform::DefaultKeyStore(); }

  // A section appended to the key's file.
  void Arrange(platform::HKEY root, const std::string& path,
               const platform::KeyStore::Values& values) override {
    const auto [file, name] = Locate(root, path);
    std::string text = Slurp(file);
    if (!text.empty()) text += "\n";
    text += "[" + name + "]\n";
    for (const auto& [key, value] : values) text += key + " = " + value + "\n";
    Spit(file, text);
  }
  void ArrangeNumber(platform::HKEY, const std::string&, const std::string&) override {
    ADD_FAILURE() << "an INI file holds only text";
  }
  void ArrangeReadOnly(platform::HKEY root, const std::string& path) override {
    fs::permissions(Locate(root, path).first,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }

 private:
  // The file and section of a key, as the store maps them.
  static std::pair<std::string, std::string> Locate(platform::HKEY root, const std::string& path) {
    const std::string drivers = platform::DriverKey("");
    const std::string sources = platform::DataSourceKey() + "\\";
    if (root == platform::HKEY_LOCAL_MACHINE && path.starts_with(drivers))
      return {ini::DriversFile(), path.substr(drivers.size())};
    if (!path.starts_with(sources)) ADD_FAILURE() << path << " is not mapped";
    return {root == platform::HKEY_LOCAL_MACHINE ? ini::SystemFile() : ini::UserFile(),
            path.substr(sources.size())};
  }

  PrivateFolder folder_;
};

class UnixOdbcInstallerBackend : public contract::InstallerBackend {
 public:
  UnixOdbcInstallerBackend() { ArrangeRefusal(false); }
  platform::Installer& Subject() override { return platform::DefaultInstaller(); }
  std::string State() override {
    return "user:\n" + Slurp(ini::UserFile()) + "system:\n" + Slurp(ini::SystemFile());
  }
  // A drivers file without the driver.
  void ArrangeRefusal(bool refuse) override {
    Spit(ini::DriversFile(), "[" + (refuse ? "Other Driver" : driver) +
                                 "]\nDriver = /opt/odbc/lib/contract.so\nDriverODBCVer = 02.50\n");
  }

 private:
  PrivateFolder folder_;
};

// The data sources in odbc.ini files: Driver names the driver's description.
class UnixOdbcSourcesBackend : public contract::DataSourceBackend {
 public:
  platform::DataSourceStore& Store() override { return platform::DefaultDataSourceStore(); }
  void ArrangeDriver(const std::string& description, const std::string& library) override {
    Spit(ini::DriversFile(), "[" + description + "]\nDriver = " + library + "\n");
  }
  void ArrangeListedOnly(bool system, const std::string& name, const std::string& driver) override {
    Spit(system ? ini::SystemFile() : ini::UserFile(),
         "[ODBC Data Sources]\n" + name + " = " + driver + "\n");
  }

 private:
  PrivateFolder folder_;
};

// What only a file can do: be refused as a whole, and be readable by other users.
TEST(UnixOdbcSources, AFileTheDriverManagerWouldNotReadIsAFailureNamingIt) {
  PrivateFolder folder;
  auto& store = platform::DefaultDataSourceStore();
  fs::create_directory(ini::UserFile());  // a folder where the file should be
  auto read = store.Read(false);
  ASSERT_FALSE(read);
  EXPECT_NE(read.reason().find(ini::UserFile()), std::string::npos) << read.reason();
  platform::Status edited = store.Edit(false, {{platform::SourceEdit::Kind::Remove, "A", "", {}}});
  EXPECT_FALSE(edited);
  EXPECT_TRUE(fs::is_directory(ini::UserFile()));
  fs::remove(ini::UserFile());
  // A value before the first section: the driver manager reads nothing of the file.
  Spit(ini::UserFile(), "Driver = x\n[A]\nDriver = y\n");
  read = store.Read(false);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.reason().rfind(ini::UserFile() + ":1: ", 0), 0u) << read.reason();
  EXPECT_NE(read.reason().find("; unixODBC reads nothing from this file"), std::string::npos);
}

TEST(UnixOdbcSources, SaysWhenOtherUsersCanReadTheScopesFile) {
  PrivateFolder folder;
  auto& store = platform::DefaultDataSourceStore();
  EXPECT_EQ(store.ReadableByOthers(true), "");  // no file yet
  ASSERT_TRUE(store.Edit(true, {{platform::SourceEdit::Kind::Replace, "A", "D", {}}}));
  ASSERT_TRUE(store.Edit(false, {{platform::SourceEdit::Kind::Replace, "A", "D", {}}}));
  // A new system file is for everyone to read, a new user file for its owner alone.
  EXPECT_EQ(store.ReadableByOthers(true), ini::SystemFile() + " (mode 0644)");
  EXPECT_EQ(store.ReadableByOthers(false), "");
}

// One data source as the driver manager reads it from a file written by hand: its first
// section, the first of each keyword, read as the scope's reader reads it.
TEST(UnixOdbcSources, FindReadsOneDataSourceAsTheDriverManagerDoes) {
  PrivateFolder folder;
  auto& store = platform::DefaultDataSourceStore();
  Spit(ini::UserFile(),
       "[ODBC Data Sources]\nSALES = Listed\n\n"
       "[SALES]\nDriver = First\n  DBQ = /a.xls\ndriver = Second\n\n[sales]\nDriver = Never\n");
  auto found = store.Find(false, "Sales");
  ASSERT_TRUE(found) << found.reason();
  EXPECT_EQ(found->values, (platform::Pairs{{"Driver", "First"}, {"DBQ", "/a.xls"}}));
  EXPECT_EQ(found->listed, "Listed");
  // Named as the file spells it, just after the read and without one.
  EXPECT_EQ(found->where, ini::UserFile() + ", section [SALES]");
  EXPECT_EQ(store.Where(false, "sALES"), ini::UserFile() + ", section [SALES]");
  EXPECT_EQ(store.Where(false, "Gone"), ini::UserFile() + ", section [Gone]");
  EXPECT_EQ(store.Where(false, ""), ini::UserFile());

  // A backslash, which no valid name holds, names a key deeper down in the registry: no data
  // source here either, though its listing line is still found for a removal.
  Spit(ini::UserFile(), "[ODBC Data Sources]\na\\b = Listed\n\n[a\\b]\nDriver = x\n");
  found = store.Find(false, "a\\b");
  ASSERT_TRUE(found) << found.reason();
  EXPECT_FALSE(found->values);
  EXPECT_EQ(found->listed, "Listed");
  EXPECT_EQ(found->where, store.Where(false, "a\\b"));

  // Beneath the user's file the system's is read by the other reader: an indented line is
  // skipped there.
  Spit(ini::SystemFile(), "[Sales]\n  Driver = Indented\nDBQ = /b.xls\n");
  found = store.Find(true, "Sales");
  ASSERT_TRUE(found) << found.reason();
  EXPECT_EQ(found->values, (platform::Pairs{{"DBQ", "/b.xls"}}));
  EXPECT_FALSE(found->listed);
}

TEST(UnixOdbcSources, FindFailsNamingAFileTheDriverManagerWouldNotRead) {
  PrivateFolder folder;
  auto& store = platform::DefaultDataSourceStore();
  Spit(ini::UserFile(), "Driver = x\n[Sales]\nDriver = y\n");
  auto found = store.Find(false, "Sales");
  ASSERT_FALSE(found);
  EXPECT_EQ(found.reason().rfind(ini::UserFile() + ":1: ", 0), 0u) << found.reason();
  // Where still names the data source, as asked.
  EXPECT_EQ(store.Where(false, "Sales"), ini::UserFile() + ", section [Sales]");
  fs::remove(ini::UserFile());
  fs::create_directory(ini::UserFile());
  found = store.Find(false, "Sales");
  ASSERT_FALSE(found);
  EXPECT_NE(found.reason().find(ini::UserFile()), std::string::npos) << found.reason();
}

TEST(UnixOdbcSources, ReadAndListCountTheSectionsWithNoNameAndTakeFirstOnly) {
  PrivateFolder folder;
  Spit(ini::UserFile(),
       "[]\nDriver = x\n\n[A]\nDriver = y\ndriver = w\n\n[ ]\n\n[a]\nDriver = z\n\n[B]\n");
  auto& store = platform::DefaultDataSourceStore();
  for (const auto& read : {store.Read(false), store.List(false)}) {
    ASSERT_TRUE(read) << read.reason();
    EXPECT_EQ(read->unnamed, 2u);
    ASSERT_EQ(read->sources.size(), 2u);
    EXPECT_EQ(read->sources[0].values, (platform::Pairs{{"Driver", "y"}}));
    EXPECT_EQ(read->sources[1].name, "B");
    EXPECT_TRUE(read->sources[1].values.empty());
  }
}

}  // namespace

namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(UnixOdbc, DataSourceStoreContract, UnixOdbcSourcesBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(UnixOdbc, KeyStoreContract, UnixOdbcStoreBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(UnixOdbc, InstallerContract, UnixOdbcInstallerBackend);
}  // namespace contract
