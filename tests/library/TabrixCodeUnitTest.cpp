#include "library/TabrixCodeUnit.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/fakes/MemoryStore.h"
#include "platform/fakes/RecordingInstaller.h"
#include "platform/framework/Application.h"

using namespace TabrixCodeUnit;
using namespace std::string_literals;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;

namespace {

const char* kDrivers = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\Microsoft Excel Driver (*.xls)]
"Driver"="C:\\WINDOWS\\System32\\odbcjt32.dll"
"DriverODBCVer"="02.50"
"FileExtns"="*.xls"
"UID"="admin"
"UsageCount"=dword:00000001

[HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\Microsoft Access Driver (*.mdb)]
"Driver"="C:\\WINDOWS\\System32\\odbcjt32.dll"
)";

class Library : public ::testing::Test {
 protected:
  Library() { store.Import(kDrivers); }

  const platform::RecordingInstaller::Call& OnlyCall() {
    EXPECT_EQ(installer.calls.size(), 1u);
    return installer.calls.at(0);
  }

  platform::MemoryStore store;
  platform::RecordingInstaller installer;
  platform::ScopedKeyStore useStore{store};
  platform::ScopedInstaller useInstaller{installer};
};

const std::string kExcel = "Microsoft Excel Driver (*.xls)";
const std::string kExcelKey = "Software\\ODBC\\ODBCINST.INI\\Microsoft Excel Driver (*.xls)";

TEST(Catalogue, GivesEachDriverAndItsFileType) {
  struct Row {
    int32_t code;
    const char* driver;
    const char* fileType;
  } rows[] = {
      {1, "Microsoft Access Driver (*.mdb)", "MS Access"},
      {2, "Microsoft Excel Driver (*.xls)", "Excel 8.0"},
      {3, "Microsoft Text Driver (*.txt, *.csv)", ""},
      {4, "Microsoft Paradox Driver (*.db )", "Paradox 5.0"},
      {5, "Microsoft dBase Driver (*.dbf)", "dBase 5.0"},
      {6, "Microsoft Visual FoxPro Driver (*.dbf)", "FoxPro Tables"},
      {7, "Microsoft dBase Driver (*.dbf)", "dBase 5.0"},
      {0, "", ""},
      {8, "", ""},
      {-1, "", ""},
  };
  for (const Row& row : rows) {
    std::string fileType = "stale";
    EXPECT_EQ(GetDSNTypeString(row.code, fileType), row.driver) << row.code;
    EXPECT_EQ(fileType, row.fileType) << row.code;
  }
}

TEST(DriverInfo, IsThe292ByteRecordWithoutGaps) {
  static_assert(std::is_standard_layout_v<TODBCDriverInfo>);
  static_assert(std::is_trivially_copyable_v<TODBCDriverInfo>);
  EXPECT_EQ(offsetof(TODBCDriverInfo, Driver), 0u);
  EXPECT_EQ(offsetof(TODBCDriverInfo, DriverODBCVer), 128u);
  EXPECT_EQ(offsetof(TODBCDriverInfo, DSN), 149u);
  EXPECT_EQ(offsetof(TODBCDriverInfo, FileExtns), 250u);
  EXPECT_EQ(offsetof(TODBCDriverInfo, UID), 271u);
}

TEST_F(Library, DriverInfoReadsTheInstalledDefinition) {
  TODBCDriverInfo info = GetODBCInfo(kExcel);
  EXPECT_EQ(info.Driver.str(), "C:\\WINDOWS\\System32\\odbcjt32.dll");
  EXPECT_EQ(info.DriverODBCVer.str(), "02.50");
  EXPECT_EQ(info.DSN.str(), "");
  EXPECT_EQ(info.FileExtns.str(), "*.xls");
  EXPECT_EQ(info.UID.str(), "admin");
  EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST_F(Library, DriverInfoCutsEachValueToItsField) {
  store.SetString(HKEY_LOCAL_MACHINE, kExcelKey, "Driver", std::string(200, 'd'));
  store.SetString(HKEY_LOCAL_MACHINE, kExcelKey, "DriverODBCVer", std::string(300, 'v'));
  TODBCDriverInfo info = GetODBCInfo(kExcel);
  EXPECT_EQ(info.Driver.str(), std::string(127, 'd'));
  EXPECT_EQ(info.Driver.Length, 127);
  EXPECT_EQ(info.DriverODBCVer.str(), std::string(20, 'v'));
}

TEST_F(Library, DriverInfoOfAMissingDriverIsAllEmpty) {
  TODBCDriverInfo info = GetODBCInfo("No Such Driver");
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&info);
  EXPECT_EQ(std::count(bytes, bytes + sizeof info, 0), static_cast<long>(sizeof info));
}

TEST_F(Library, DriverInfoOfAnEmptyDescriptionReadsTheDriversKeyItself) {
  store.SetString(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBCINST.INI", "Driver", "odd");
  EXPECT_EQ(GetODBCInfo("").Driver.str(), "odd");
}

TEST_F(Library, DriverInfoRaisesForAValueOfAnotherTypeAndReleasesTheKey) {
  store.SetDword(HKEY_LOCAL_MACHINE, kExcelKey, "FileExtns", 7);
  TODBCDriverInfo info{};
  info.UID.assign("kept");
  EXPECT_THROW(info = GetODBCInfo(kExcel), platform::ERegistryException);
  EXPECT_EQ(info.UID.str(), "kept");
  EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST_F(Library, CreateSendsTheEightPairsByteForByte) {
  EXPECT_TRUE(CreateDSN(1, 2, "Sales", "Monthly figures", "C:\\Data\\Sales.xls", "C:\\Data",
                        "admin", "", ""));
  const auto& call = OnlyCall();
  EXPECT_EQ(call.parent, nullptr);
  EXPECT_EQ(call.request, 1);
  EXPECT_EQ(call.driver, kExcel);
  EXPECT_EQ(call.attributes,
            "DSN=Sales\0Driver=C:\\WINDOWS\\System32\\odbcjt32.dll\0DBQ=C:\\Data\\Sales.xls\0"
            "DefaultDir=C:\\Data\0Description=Monthly figures\0FIL=Excel 8.0\0UID=admin\0PWD=\0"
            "\0"s);
  EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST_F(Library, CreateAppendsTheExtraAttributesAsTheyCame) {
  std::string extras = "ReadOnly=0\0Threads=3\0\0\0"s;  // trailing NULs are harmless
  EXPECT_TRUE(CreateDSN(4, 2, "S", "", "", "", "", "pw", extras));
  EXPECT_EQ(OnlyCall().request, 4);
  EXPECT_EQ(OnlyCall().attributes,
            "DSN=S\0Driver=C:\\WINDOWS\\System32\\odbcjt32.dll\0DBQ=\0DefaultDir=\0Description=\0"
            "FIL=Excel 8.0\0UID=\0PWD=pw\0ReadOnly=0\0Threads=3\0\0\0\0"s);
}

TEST_F(Library, ConfigureBuildsTheSameListAsCreate) {
  CreateDSN(1, 1, "A", "d", "p", "dir", "u", "w", "X=1\0"s);
  ConfigureDSN(1, 1, "A", "d", "p", "dir", "u", "w", "X=1\0"s);
  ASSERT_EQ(installer.calls.size(), 2u);
  EXPECT_EQ(installer.calls[0].attributes, installer.calls[1].attributes);
  EXPECT_EQ(installer.calls[0].driver, "Microsoft Access Driver (*.mdb)");
  EXPECT_EQ(installer.calls[1].request, 1);
}

TEST_F(Library, AnUnknownDatabaseCodeStillReachesTheInstaller) {
  installer.answer = false;
  EXPECT_FALSE(CreateDSN(5, 99, "X", "", "", "", "", "", ""));
  const auto& call = OnlyCall();
  EXPECT_EQ(call.request, 5);
  EXPECT_EQ(call.driver, "");
  EXPECT_EQ(call.attributes,
            "DSN=X\0Driver=\0DBQ=\0DefaultDir=\0Description=\0FIL=\0UID=\0PWD=\0\0"s);
}

TEST_F(Library, ADriverPathOf200CharactersIsSentAsItsFirst127) {
  store.SetString(HKEY_LOCAL_MACHINE, kExcelKey, "Driver", std::string(200, 'p'));
  CreateDSN(1, 2, "S", "", "", "", "", "", "");
  EXPECT_NE(OnlyCall().attributes.find("\0Driver="s + std::string(127, 'p') + '\0'),
            std::string::npos);
}

TEST_F(Library, ARegistryErrorStopsCreateBeforeTheInstaller) {
  store.SetDword(HKEY_LOCAL_MACHINE, kExcelKey, "Driver", 1);
  EXPECT_THROW(CreateDSN(1, 2, "S", "", "", "", "", "", ""), platform::ERegistryException);
  EXPECT_THROW(ConfigureDSN(2, 2, "S", "", "", "", "", "", ""), platform::ERegistryException);
  EXPECT_TRUE(installer.calls.empty());
  EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST_F(Library, ArgumentsHoldingANulAreRefusedBeforeTheInstaller) {
  const std::string bad = "x\0DBQ=/etc/passwd"s;
  for (int arg = 0; arg < 6; ++arg) {
    std::string a[6] = {"n", "d", "p", "dir", "u", "w"};
    a[arg] = bad;
    EXPECT_FALSE(CreateDSN(1, 2, a[0], a[1], a[2], a[3], a[4], a[5], "")) << arg;
    EXPECT_FALSE(ConfigureDSN(2, 2, a[0], a[1], a[2], a[3], a[4], a[5], "")) << arg;
  }
  EXPECT_FALSE(RemoveDSN(3, 2, bad));
  EXPECT_TRUE(installer.calls.empty());
}

TEST_F(Library, MalformedExtraAttributesAreRefused) {
  for (const std::string& extras : {"A=1\0\0B=2\0"s,  // an empty pair would end the list early
                                    "\0B=2\0"s, "NoEquals\0"s, "A=1\0NoEquals\0"s,
                                    "A=1"s,  // last pair without its NUL
                                    "A=1\0B=2"s}) {
    EXPECT_FALSE(CreateDSN(1, 2, "S", "", "", "", "", "", extras));
    EXPECT_FALSE(ConfigureDSN(2, 2, "S", "", "", "", "", "", extras));
  }
  EXPECT_TRUE(installer.calls.empty());
  EXPECT_TRUE(CreateDSN(1, 2, "S", "", "", "", "", "", "\0\0"s));
}

// The installer's request is 16 bits: 65540 would wrap to 4 and make a system data source.
TEST_F(Library, RequestCodesOutsideSixteenBitsAreRefusedBeforeAnythingIsRead) {
  for (int32_t code : {65536, 65540, 65542, -1, -65532, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(CreateDSN(code, 2, "S", "", "", "", "", "", "")) << code;
    EXPECT_FALSE(ConfigureDSN(code, 2, "S", "", "", "", "", "", "")) << code;
    EXPECT_FALSE(RemoveDSN(code, 2, "S")) << code;
    EXPECT_EQ(platform::InstallerError(), "the library refused it: request code " +
                                              std::to_string(code) + " is outside 0 to 65535");
  }
  EXPECT_TRUE(installer.calls.empty());
  EXPECT_EQ(store.OpenCount(), 0);  // the driver's key was not even read

  // Codes that fit reach the installer as they are; the installer refuses the unknown ones.
  for (int32_t code : {0, 65535}) {
    installer.calls.clear();
    EXPECT_FALSE(CreateDSN(code, 2, "S", "", "", "", "", "", "")) << code;
    EXPECT_EQ(OnlyCall().request, code);
    EXPECT_EQ(platform::InstallerError(), "invalid request code " + std::to_string(code));
    installer.calls.clear();
    EXPECT_FALSE(ConfigureDSN(code, 2, "S", "", "", "", "", "", "")) << code;
    EXPECT_EQ(OnlyCall().request, code);
  }
}

TEST_F(Library, RemoveMapsTheRequestAndSendsOnePair) {
  const std::pair<int32_t, uint16_t> mapping[] = {{1, 3}, {2, 3}, {3, 3}, {4, 3},  {5, 3},
                                                  {6, 6}, {7, 7}, {0, 3}, {99, 3}, {65535, 3}};
  for (auto [given, sent] : mapping) {
    installer.calls.clear();
    EXPECT_TRUE(RemoveDSN(given, 2, "Sales"));
    EXPECT_EQ(OnlyCall().request, sent) << given;
    EXPECT_EQ(OnlyCall().driver, kExcel);
    EXPECT_EQ(OnlyCall().attributes, "DSN=Sales\0\0"s);
  }
  installer.answer = false;
  EXPECT_FALSE(RemoveDSN(3, 2, "Sales"));
}

TEST_F(Library, FindLooksUnderTheRootTheRequestNames) {
  store.CreateKey(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\Mine");
  store.CreateKey(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBC.INI\\Shared");
  EXPECT_TRUE(FindDSN("Mine", 1));
  EXPECT_FALSE(FindDSN("Mine", 4));
  EXPECT_TRUE(FindDSN("Shared", 4));
  EXPECT_FALSE(FindDSN("Shared", 1));
  for (int32_t other : {0, 2, 3, 5, 6, 7, 0xFFFF}) {
    EXPECT_TRUE(FindDSN("mine", other)) << other;  // any other code: the current user
    EXPECT_FALSE(FindDSN("Shared", other)) << other;
  }
  // A code outside the request's 16 bits is refused, as every other function refuses it.
  for (int32_t outside : {-1, 0x10000, 0x10001}) {
    EXPECT_FALSE(FindDSN("mine", outside)) << outside;
    EXPECT_EQ(platform::InstallerError(), "the library refused it: request code " +
                                              std::to_string(outside) + " is outside 0 to 65535");
  }
  EXPECT_FALSE(FindDSN("Absent", 1));
  EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST_F(Library, FindWithAnEmptyNameAsksForTheDataSourcesKeyItself) {
  EXPECT_FALSE(FindDSN("", 1));
  store.CreateKey(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI");
  EXPECT_TRUE(FindDSN("", 1));
  EXPECT_FALSE(FindDSN("", 4));
}

TEST_F(Library, FindNeedsAKeyThatOpensForWriting) {
  store.CreateKey(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBC.INI\\Locked");
  store.SetReadOnly(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBC.INI\\Locked", true);
  EXPECT_FALSE(FindDSN("Locked", 4));
}

class CountingHost : public platform::Host {
 public:
  explicit CountingHost(platform::MemoryStore& store) : store_(store) {}
  void ProcessMessages() override {
    ++calls;
    openKeysAtCall = store_.OpenKeyCount();
    flushesAtCall = store_.FlushCount();
  }
  int calls = 0;
  int openKeysAtCall = -1;
  int flushesAtCall = -1;

 private:
  platform::MemoryStore& store_;
};

TEST_F(Library, RegisterMDWWritesSystemDBFlushesThenProcessesMessagesOnce) {
  CountingHost host(store);
  platform::ScopedHost useHost(host);
  store.CreateKey(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\Books");

  EXPECT_TRUE(RegisterMDW("Books", "C:\\Work\\System.mdw"));
  EXPECT_EQ(host.calls, 1);
  EXPECT_EQ(host.openKeysAtCall, 0);  // the key was closed first...
  EXPECT_EQ(host.flushesAtCall, 1);   // ...and flushed, lazy writing being off
  EXPECT_TRUE(RegisterMDW("Books", "D:\\Other.mdw"));
  EXPECT_NE(store.Export().find("[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Books]\r\n"
                                "\"SystemDB\"=\"D:\\\\Other.mdw\"\r\n"),
            std::string::npos);
}

TEST_F(Library, RegisterMDWTouchesNothingForAnEmptyPathOrAMissingSource) {
  CountingHost host(store);
  platform::ScopedHost useHost(host);
  const std::string before = store.Export();
  EXPECT_FALSE(RegisterMDW("Books", ""));
  EXPECT_EQ(store.OpenCount(), 0);
  EXPECT_FALSE(RegisterMDW("Books", "C:\\System.mdw"));
  EXPECT_FALSE(RegisterSystemMDW("Books", "C:\\System.mdw"));
  EXPECT_EQ(store.Export(), before);
  EXPECT_EQ(host.calls, 0);
}

TEST_F(Library, RegisterSystemMDWLooksOnlyUnderTheLocalMachine) {
  store.CreateKey(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\Books");
  EXPECT_FALSE(RegisterSystemMDW("Books", "C:\\System.mdw"));
  EXPECT_TRUE(RegisterMDW("Books", "C:\\System.mdw"));
  store.CreateKey(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBC.INI\\Books");
  EXPECT_TRUE(RegisterSystemMDW("Books", "C:\\System.mdw"));
  EXPECT_EQ(store.OpenKeyCount(), 0);
}

}  // namespace
