// The data-source library against Wine's registry and odbccp32: the Excel and Access driver
// descriptions registered with the test setup library, which logs what it receives.
#include <gtest/gtest.h>

#include <algorithm>

#include "library/TabrixCodeUnit.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WineRegistry.h"

using namespace std::string_literals;
using namespace TabrixCodeUnit;
using namespace wintest;

namespace {

const std::string kExcel = "Microsoft Excel Driver (*.xls)";
const std::string kAccess = "Microsoft Access Driver (*.mdb)";
const char* const kNames[] = {"Sales", "Shared", "Books", "Mine", "Ours"};

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    for (const std::string& driver : {kExcel, kAccess}) {
      RegisterDriver(driver, kSetupLibrary);
      SetString(kMachine, kDriversKey + driver, "DriverODBCVer", "02.50");
    }
  }
  void TearDown() override { Clean(); }
  void Clean() {
    ClearSetupCalls();
    for (platform::HKEY root : {kUser, kMachine})
      for (const char* name : kNames) DeleteTree(root, kSourcesKey + name);
    for (const std::string& driver : {kExcel, kAccess}) DeleteTree(kMachine, kDriversKey + driver);
  }
  const SetupCall& OnlyCall() {
    calls = SetupCalls();
    EXPECT_EQ(calls.size(), 1u);
    if (calls.empty()) calls.emplace_back();
    return calls[0];
  }
  std::vector<SetupCall> calls;
};

TEST_F(Library, CreateSendsTheEightPairsByteForByteAndTheSourceIsFound) {
  EXPECT_TRUE(CreateDSN(1, 2, "Sales", "Monthly figures", "C:\\Data\\Sales.xls", "C:\\Data",
                        "admin", "", ""));
  const SetupCall& call = OnlyCall();
  EXPECT_EQ(call.request, 1u);
  EXPECT_EQ(call.mode, 1u);
  EXPECT_FALSE(call.parent);
  EXPECT_EQ(call.driver, kExcel);
  EXPECT_EQ(call.attributes, "DSN=Sales\0Driver="s + kSetupLibrary +
                                 "\0DBQ=C:\\Data\\Sales.xls\0DefaultDir=C:\\Data\0"
                                 "Description=Monthly figures\0FIL=Excel 8.0\0UID=admin\0PWD=\0"
                                 "\0"s);
  EXPECT_TRUE(FindDSN("Sales", 1));
  EXPECT_FALSE(FindDSN("Sales", 4));
  EXPECT_TRUE(FindDSN("sales", 2));  // any other code: the current user; names ignore case
}

TEST_F(Library, SystemRequestsReachTheSetupAsUserRequestsInSystemMode) {
  const std::string extras = "ReadOnly=0\0MaxScanRows=8\0"s;
  EXPECT_TRUE(CreateDSN(4, 2, "Shared", "d", "C:\\S.xls", "C:\\", "", "pw", extras));
  EXPECT_TRUE(FindDSN("Shared", 4));
  EXPECT_FALSE(FindDSN("Shared", 1));
  EXPECT_TRUE(ConfigureDSN(5, 2, "Shared", "e", "C:\\S.xls", "C:\\", "", "pw", extras));
  EXPECT_EQ(GetValue(kMachine, kSourcesKey + "Shared", "Description")->bytes, "e\0"s);
  EXPECT_TRUE(RemoveDSN(6, 2, "Shared"));
  EXPECT_FALSE(FindDSN("Shared", 4));

  EXPECT_TRUE(CreateDSN(1, 1, "Mine", "", "", "", "", "", ""));
  EXPECT_TRUE(RemoveDSN(4, 1, "Mine"));  // 4 and 5 remove a user data source
  EXPECT_FALSE(FindDSN("Mine", 1));

  calls = SetupCalls();
  ASSERT_EQ(calls.size(), 5u);
  const std::pair<unsigned, unsigned> expected[] = {{1, 2}, {2, 2}, {3, 2}, {1, 1}, {3, 1}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(calls[i].request, expected[i].first) << i;
    EXPECT_EQ(calls[i].mode, expected[i].second) << i;
  }
  const std::string tail = "\0PWD=pw\0ReadOnly=0\0MaxScanRows=8\0\0"s;
  ASSERT_GE(calls[0].attributes.size(), tail.size());
  EXPECT_EQ(calls[0].attributes.substr(calls[0].attributes.size() - tail.size()), tail);
  EXPECT_EQ(calls[2].attributes, "DSN=Shared\0\0"s);
  EXPECT_EQ(calls[4].driver, kAccess);
}

TEST_F(Library, FindLooksUnderTheRootTheRequestNames) {
  CreateKey(kUser, kSourcesKey + "Mine");
  CreateKey(kMachine, kSourcesKey + "Ours");
  EXPECT_TRUE(FindDSN("Mine", 1));
  EXPECT_FALSE(FindDSN("Mine", 4));
  EXPECT_TRUE(FindDSN("Ours", 4));
  EXPECT_FALSE(FindDSN("Ours", 1));
  for (int32_t other : {0, 3, 5, 7, 0xFFFF}) {
    EXPECT_TRUE(FindDSN("Mine", other)) << other;
    EXPECT_FALSE(FindDSN("Ours", other)) << other;
  }
  // A code outside the request's 16 bits is refused, as every other function refuses it.
  for (int32_t outside : {-1, 0x10000}) EXPECT_FALSE(FindDSN("Mine", outside)) << outside;
  EXPECT_FALSE(FindDSN("Absent", 1));
  // An empty name asks for the data sources key itself, which exists under both roots now.
  EXPECT_TRUE(FindDSN("", 1));
  EXPECT_TRUE(FindDSN("", 4));
}

TEST_F(Library, ADriverValueOf200CharactersIsCutTo127InTheRecordAndTheList) {
  // Still a path to the setup library, for Wine loads the library that "Driver" names.
  std::string padded = kSetupDir + "\\";
  while (padded.size() < 200 - 16) padded += ".\\";
  padded += "tabrix_setup.dll";
  ASSERT_EQ(padded.size(), 200u);
  RegisterDriver(kExcel, padded);

  TODBCDriverInfo info = GetODBCInfo(kExcel);
  EXPECT_EQ(info.Driver.Length, 127);
  EXPECT_EQ(info.Driver.str(), padded.substr(0, 127));
  EXPECT_EQ(info.DriverODBCVer.str(), "02.50");
  EXPECT_EQ(info.DSN.str(), "");

  EXPECT_TRUE(CreateDSN(1, 2, "Sales", "", "", "", "", "", ""));
  EXPECT_NE(OnlyCall().attributes.find("\0Driver="s + padded.substr(0, 127) + "\0DBQ="s),
            std::string::npos);
}

TEST_F(Library, ADwordDriverValueRaisesBeforeTheInstallerIsCalled) {
  SetValue(kMachine, kDriversKey + kExcel, "Driver", kDword, "\1\0\0\0"s);
  EXPECT_THROW(GetODBCInfo(kExcel), platform::ERegistryException);
  EXPECT_THROW(CreateDSN(1, 2, "Sales", "", "", "", "", "", ""), platform::ERegistryException);
  EXPECT_THROW(ConfigureDSN(2, 2, "Sales", "", "", "", "", "", ""), platform::ERegistryException);
  EXPECT_TRUE(SetupCalls().empty());
  EXPECT_FALSE(FindDSN("Sales", 1));
}

TEST_F(Library, AnUninstalledDriverGivesAnEmptyRecordAndARefusal) {
  DeleteTree(kMachine, kDriversKey + kExcel);
  TODBCDriverInfo info = GetODBCInfo(kExcel);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
  EXPECT_EQ(std::count(bytes, bytes + sizeof info, 0), static_cast<long>(sizeof info));
  EXPECT_FALSE(CreateDSN(1, 2, "Sales", "", "", "", "", "", ""));
  EXPECT_FALSE(CreateDSN(1, 99, "Sales", "", "", "", "", "", ""));  // no such database code
  EXPECT_TRUE(SetupCalls().empty());
}

// Forwards to the real store and counts the flushes of the keys it hands out.
class FlushCountingStore : public platform::KeyStore {
 public:
  std::unique_ptr<platform::StoreKey> Open(platform::HKEY root, const std::string& path,
                                           Access access) override {
    auto key = real_.Open(root, path, access);
    return key ? std::make_unique<Key>(std::move(key), flushes) : nullptr;
  }
  std::optional<SubKeyValues> ReadSubKeys(platform::HKEY root, const std::string& path,
                                          const std::string& valueName) override {
    return real_.ReadSubKeys(root, path, valueName);
  }
  std::optional<Values> ReadValues(platform::HKEY root, const std::string& path) override {
    return real_.ReadValues(root, path);
  }
  std::string Describe(platform::HKEY root, const std::string& path) override {
    return real_.Describe(root, path);
  }
  int flushes = 0;

 private:
  struct Key : platform::StoreKey {
    Key(std::unique_ptr<platform::StoreKey> key, int& flushes)
        : key_(std::move(key)), flushes_(flushes) {}
    std::optional<std::string> ReadString(const std::string& name) override {
      return key_->ReadString(name);
    }
    void WriteString(const std::string& name, const std::string& value) override {
      key_->WriteString(name, value);
    }
    void Flush() override {
      key_->Flush();
      ++flushes_;
    }
    std::unique_ptr<platform::StoreKey> key_;
    int& flushes_;
  };
  platform::KeyStore& real_ = platform::DefaultKeyStore();
};

TEST_F(Library, RegisterMDWWritesSystemDBAndFlushesIt) {
  ASSERT_TRUE(CreateDSN(1, 1, "Books", "", "C:\\Books.mdb", "", "", "", ""));
  FlushCountingStore counting;
  platform::ScopedKeyStore useCounting(counting);

  EXPECT_FALSE(RegisterSystemMDW("Books", "C:\\Work\\System.mdw"));  // a user data source
  EXPECT_FALSE(RegisterMDW("Books", ""));
  EXPECT_EQ(counting.flushes, 0);
  EXPECT_TRUE(RegisterMDW("Books", "C:\\Old.mdw"));
  EXPECT_TRUE(RegisterMDW("Books", "C:\\Work\\System.mdw"));
  EXPECT_EQ(counting.flushes, 2);
  EXPECT_EQ(GetValue(kUser, kSourcesKey + "Books", "SystemDB")->bytes, "C:\\Work\\System.mdw\0"s);
  EXPECT_FALSE(KeyExists(kMachine, kSourcesKey + "Books"));
}

// Wine's reg.exe, a separate process, sees what we wrote as Windows' tools would.
TEST_F(Library, RegShowsTheWrittenValueAsAString) {
  ASSERT_TRUE(CreateDSN(1, 1, "Books", "Ledger", "C:\\Books.mdb", "", "", "", ""));
  ASSERT_TRUE(RegisterMDW("Books", "C:\\Work\\System.mdw"));
  const std::string key = "HKCU\\" + kSourcesKey + "Books";

  Output query = RunInPrefix("reg query \"" + key + "\" /v SystemDB");
  EXPECT_EQ(query.status, 0u);
  EXPECT_NE(query.text.find("\r\n    SystemDB    REG_SZ    C:\\Work\\System.mdw\r\n"),
            std::string::npos)
      << query.text;

  const std::string file = kSetupDir + "\\Books.reg";
  Output exported = RunInPrefix("reg export \"" + key + "\" " + file + " /y");
  ASSERT_EQ(exported.status, 0u) << exported.text;
  const std::string bytes = testsupport::Slurp(file);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xff\xfe");  // UTF-16LE with its byte-order mark
  const std::string text = FromUtf16(bytes);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Books]\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\n\"SystemDB\"=\"C:\\\\Work\\\\System.mdw\"\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\n\"Description\"=\"Ledger\"\r\n"), std::string::npos) << text;

  EXPECT_NE(RunInPrefix("reg export \"HKCU\\" + kSourcesKey + "Absent\" " + file + " /y").status,
            0u);
}

}  // namespace
