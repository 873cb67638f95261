// export and import in the Windows build, started as its users start it: what the Linux build
// exported goes into Wine's registry and comes back out the same, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry/RegistryKeyWindows.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/RoundTripFixture.h"
#include "tests/windows/WineRegistry.h"

namespace {

using namespace wintest;

const std::string kExcel = "Microsoft Excel Driver (*.xls)";

// Runs tabrix.exe with these arguments; its exit code, or 999 when it did not end in time.
DWORD Tabrix(const std::string& args) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = "\"" + ProgramDir() + "tabrix.exe\" " + args;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return 998;
  DWORD status = 999;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &status);
  else
    TerminateProcess(process.hProcess, 999);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return status;
}

std::string TempFile(const std::string& name) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "tabrix-round-trip-" + name;
}

void RemoveListed(platform::HKEY root, const std::string& name) {
  auto key = platform::RegistryKey::Open(root, kSourcesKey + "ODBC Data Sources", KEY_SET_VALUE);
  if (key) RegDeleteValueA(key->get(), name.c_str());
}

class ClientExchange : public ::testing::Test {
 protected:
  // The driver as the exporting machine had it; put back as it was afterwards.
  void SetUp() override {
    Clean();
    had_ = KeyExists(kMachine, kDriversKey + kExcel);
    driver_ = GetValue(kMachine, kDriversKey + kExcel, "Driver");
    setup_ = GetValue(kMachine, kDriversKey + kExcel, "Setup");
    RegisterDriver(kExcel, "C:\\Windows\\system32\\odbcjt32.dll");
  }
  void TearDown() override {
    Clean();
    if (!had_) DeleteTree(kMachine, kDriversKey + kExcel);
    if (driver_) SetValue(kMachine, kDriversKey + kExcel, "Driver", driver_->type, driver_->bytes);
    if (setup_) SetValue(kMachine, kDriversKey + kExcel, "Setup", setup_->type, setup_->bytes);
  }
  static void Clean() {
    DeleteTree(kUser, kSourcesKey + "TabrixRoundA");
    DeleteTree(kUser, kSourcesKey + "TabrixNumbers");
    RemoveListed(kUser, "TabrixNumbers");
    DeleteTree(kMachine, kSourcesKey + "TabrixRoundB");
    RemoveListed(kUser, "TabrixRoundA");
    RemoveListed(kMachine, "TabrixRoundB");
  }

  bool had_ = false;
  std::optional<RawValue> driver_, setup_;
};

TEST_F(ClientExchange, ALinuxExportGoesIntoTheRegistryAndComesBackIdentical) {
  struct Format {
    const char* name;
    std::string bytes;
  };
  for (const Format& format :
       {Format{"reg", roundtrip::RegBytes()}, Format{"json", roundtrip::kJson}}) {
    SCOPED_TRACE(format.name);
    Clean();
    const std::string in = TempFile(std::string("in.") + format.name);
    const std::string out = TempFile(std::string("out.") + format.name);
    testsupport::Spit(in, format.bytes);
    ASSERT_EQ(Tabrix("import \"" + in + "\""), 0u);
    EXPECT_EQ(GetValue(kUser, kSourcesKey + "TabrixRoundA", "DBQ")->bytes,
              std::string("C:\\Data\\Sales.xls\0", 18));
    EXPECT_EQ(GetValue(kUser, kSourcesKey + "ODBC Data Sources", "TabrixRoundA")->bytes,
              kExcel + '\0');
    EXPECT_EQ(GetValue(kMachine, kSourcesKey + "TabrixRoundB", "Driver")->bytes,
              std::string("C:\\Windows\\system32\\odbcjt32.dll") + '\0');
    ASSERT_EQ(Tabrix(roundtrip::kExport + " --format " + format.name + " -o \"" + out + "\""), 0u);
    EXPECT_EQ(testsupport::Slurp(out), format.bytes);
    DeleteFileA(in.c_str());
    DeleteFileA(out.c_str());
  }
  // Applying what is there changes nothing; absent removes both keys and listing lines.
  const std::string state = TempFile("state.json");
  testsupport::Spit(state, roundtrip::kJson);
  EXPECT_EQ(Tabrix("apply \"" + state + "\""), 0u);
  testsupport::Spit(state,
                    R"J({"dsns": [{"name": "TabrixRoundA", "scope": "user", "state": "absent"},
                                  {"name": "TabrixRoundB", "scope": "system", "state": "absent"}]})J");
  EXPECT_EQ(Tabrix("apply \"" + state + "\""), 0u);
  EXPECT_FALSE(KeyExists(kUser, kSourcesKey + "TabrixRoundA"));
  EXPECT_FALSE(KeyExists(kMachine, kSourcesKey + "TabrixRoundB"));
  EXPECT_FALSE(GetValue(kUser, kSourcesKey + "ODBC Data Sources", "TabrixRoundA"));
  DeleteFileA(state.c_str());
}

// A data source as Windows' own setup stores one: numbers as DWORDs, a flag as binary, the
// engine's options in a subkey. All of it is exported, as import reads a registry file.
TEST_F(ClientExchange, ExportsNumbersFlagsAndTheEngineSubkey) {
  const std::string key = kSourcesKey + "TabrixNumbers";
  SetString(kUser, key, "Driver", "C:\\Windows\\system32\\odbcjt32.dll");
  SetValue(kUser, key, "DriverId", kDword, std::string("\x16\x03\0\0", 4));
  SetValue(kUser, key, "Sheets", kMultiSz, std::string("Jan\0Feb\0\0", 9));
  SetValue(kUser, key + "\\Engines\\Excel", "FirstRowHasNames", kBinary, "\x01");
  SetString(kUser, kSourcesKey + "ODBC Data Sources", "TabrixNumbers", kExcel);
  const std::string out = TempFile("numbers.json");
  ASSERT_EQ(Tabrix("export TabrixNumbers --user -o \"" + out + "\""), 0u);
  EXPECT_EQ(
      testsupport::Slurp(out),
      "{\n  \"dsns\": [\n    {\n      \"name\": \"TabrixNumbers\",\n      \"scope\": \"user\",\n"
      "      \"driver\": \"Microsoft Excel Driver (*.xls)\",\n      \"attributes\": [\n"
      "        [\n          \"DriverId\",\n          \"790\"\n        ],\n"
      "        [\n          \"Sheets\",\n          \"Jan;Feb\"\n        ],\n"
      "        [\n          \"FirstRowHasNames\",\n          \"1\"\n        ]\n      ]\n"
      "    }\n  ]\n}\n");
  DeleteFileA(out.c_str());
}

}  // namespace
