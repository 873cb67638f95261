// The installer against Wine's odbccp32, with a test setup library registered as a driver.
#include <gtest/gtest.h>

#include "platform/WindowsApi.h"
#include "platform/odbcinst/Installer.h"
#include "tests/windows/WineRegistry.h"

using namespace std::string_literals;
using namespace wintest;

namespace {

// Copies the setup library into the prefix and points its log there, once per run.
class SetupLibrary : public ::testing::Environment {
 public:
  void SetUp() override {
    InstallSetupLibrary();
    SetEnv("TABRIX_SETUP_LOG", kSetupLog);
  }
};
const auto* const setupLibrary = ::testing::AddGlobalTestEnvironment(new SetupLibrary);

const std::string kDriver = "Tabrix Test Driver";

class WindowsInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDriver(kDriver, kSetupLibrary);
    Clean();
  }
  void TearDown() override {
    Clean();
    DeleteTree(kMachine, kDriversKey + kDriver);
  }
  void Clean() {
    UnsetEnv("TABRIX_SETUP_REFUSE");
    ClearSetupCalls();
    for (platform::HKEY root : {kUser, kMachine}) {
      DeleteTree(root, kSourcesKey + "TabrixInst");
      DeleteTree(root, kSourcesKey + "Default");
      platform::DefaultKeyStore().DeleteValue(root, "\\" + kSourcesKey + "ODBC Data Sources",
                                              "Default");
    }
  }

  bool Config(uint16_t request, const std::string& attributes,
              const std::string& driver = kDriver) {
    last = installer.ConfigDataSource(nullptr, request, driver, attributes);
    return last.ok();
  }

  platform::Status last;  // what the last Config came to

  platform::Installer& installer = platform::DefaultInstaller();
  const std::string list = "DSN=TabrixInst\0Description=d\0\0"s;
};

TEST_F(WindowsInstaller, SystemRequestsArriveAsUserRequestsInSystemMode) {
  for (uint16_t request = 1; request <= 6; ++request)
    EXPECT_TRUE(Config(request, list)) << request << ": " << last.reason();
  auto calls = SetupCalls();
  ASSERT_EQ(calls.size(), 6u);
  for (unsigned i = 0; i < 6; ++i) {
    EXPECT_EQ(calls[i].request, i % 3 + 1) << "request " << i + 1;
    EXPECT_EQ(calls[i].mode, i < 3 ? 1u : 2u) << "request " << i + 1;
    EXPECT_FALSE(calls[i].parent);
    EXPECT_EQ(calls[i].driver, kDriver);
  }
  // The setup library acted where the mode told it: each add was undone by its remove.
  EXPECT_FALSE(KeyExists(kUser, kSourcesKey + "TabrixInst"));
  EXPECT_FALSE(KeyExists(kMachine, kSourcesKey + "TabrixInst"));
}

TEST_F(WindowsInstaller, TheAttributeListArrivesByteForByte) {
  const std::string attributes =
      "DSN=TabrixInst\0DBQ=C:\\Data\\Sales.xls\0Expr=a=b\0Empty=\0Blanks= x \0"
      "Bytes=\x01\x7f\xe9\0\0"s;
  EXPECT_TRUE(Config(1, attributes));
  auto calls = SetupCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].attributes, attributes);
  EXPECT_EQ(GetValue(kUser, kSourcesKey + "TabrixInst", "Expr")->bytes, "a=b\0"s);
}

TEST_F(WindowsInstaller, ARefusalComesBackAsFalseWithTheInstallersReason) {
  SetEnv("TABRIX_SETUP_REFUSE", "1");
  EXPECT_FALSE(Config(1, list));
  // Windows passes on the reason the setup posted; Wine 8 its own "Request Failed".
  EXPECT_FALSE(last.reason().empty());
  EXPECT_EQ(SetupCalls().size(), 1u);
  UnsetEnv("TABRIX_SETUP_REFUSE");
  EXPECT_TRUE(Config(1, list));
  EXPECT_EQ(last.reason(), "");
  EXPECT_FALSE(Config(2, list, "Tabrix Uninstalled Driver"));
  EXPECT_FALSE(last.reason().empty());
}

TEST_F(WindowsInstaller, NoSetupIsCalledForAnUnknownDriverOrAnInvalidRequest) {
  EXPECT_FALSE(Config(1, list, "Tabrix Uninstalled Driver"));
  EXPECT_FALSE(Config(1, list, ""));
  // Windows records error 5 here and Wine none; only the refusal is certain.
  EXPECT_FALSE(Config(0, list));
  EXPECT_FALSE(Config(8, list));
  EXPECT_TRUE(SetupCalls().empty());
  EXPECT_FALSE(last.reason().empty());
  EXPECT_FALSE(KeyExists(kUser, kSourcesKey + "TabrixInst"));
}

TEST_F(WindowsInstaller, APlanNamesTheSetupLibraryOrWhyNot) {
  platform::InstallPlan plan = installer.Plan(1, kDriver, list);
  EXPECT_TRUE(plan.accepted) << plan.reason;
  EXPECT_EQ(plan.target, "decided by the driver's setup library " + kSetupLibrary);
  EXPECT_FALSE(installer.Plan(1, "Tabrix Uninstalled Driver", list).accepted);
  EXPECT_FALSE(installer.Plan(1, "", list).accepted);
  EXPECT_FALSE(installer.Plan(9, kDriver, list).accepted);
  EXPECT_FALSE(installer.Plan(1, kDriver, "DSN=x\0NoEquals\0\0"s).accepted);
  SetValue(kMachine, kDriversKey + kDriver, "Setup", kDword, "\1\0\0\0"s);
  EXPECT_FALSE(installer.Plan(1, kDriver, list).accepted);
  EXPECT_TRUE(SetupCalls().empty());  // planning calls nothing
}

// The default data source is the installer's own business: it is handed no driver and no
// attributes, and no setup library is called. Wine's installer does not carry it out; a
// refusal must say so, and where it does carry it out the user's default is gone.
TEST_F(WindowsInstaller, RequestSevenGoesToTheInstallerAloneAndIsNeverRefusedSilently) {
  const std::string listing = kSourcesKey + "ODBC Data Sources";
  SetString(kUser, kSourcesKey + "Default", "Driver", kSetupLibrary);
  SetString(kUser, listing, "Default", kDriver);
  const platform::InstallPlan plan = installer.Plan(7, "Tabrix Uninstalled Driver", "\0"s);
  EXPECT_TRUE(plan.accepted) << plan.reason;
  EXPECT_EQ(plan.target, "decided by the ODBC installer: HKEY_CURRENT_USER\\" + kSourcesKey +
                             "Default");
  if (Config(7, "\0"s, "Tabrix Uninstalled Driver")) {
    EXPECT_FALSE(KeyExists(kUser, kSourcesKey + "Default"));
  } else {
    EXPECT_NE(last.reason(), "");
    EXPECT_TRUE(KeyExists(kUser, kSourcesKey + "Default"));
  }
  EXPECT_TRUE(SetupCalls().empty());
}

// What the installer refuses itself, odbccp32 never sees: the refusal carries the plan's
// reason and the installer's error code. (Wine 8 keeps nothing that is posted to its log.)
TEST_F(WindowsInstaller, ARefusalBeforeTheSetupHasThePlansReasonAndAnInstallerCode) {
  const std::vector<std::pair<uint16_t, std::string>> refusals{
      {0, kDriver}, {1, "Tabrix Uninstalled Driver"}};
  const int codes[] = {ODBC_ERROR_INVALID_REQUEST_TYPE, ODBC_ERROR_COMPONENT_NOT_FOUND};
  for (size_t i = 0; i < refusals.size(); ++i) {
    EXPECT_FALSE(Config(refusals[i].first, list, refusals[i].second));
    EXPECT_EQ(last.reason(), installer.Plan(refusals[i].first, refusals[i].second, list).reason);
    EXPECT_EQ(last.failure().code, codes[i]);
  }
  EXPECT_FALSE(Config(1, "DSN=TabrixInst\0NoEquals\0\0"s));
  EXPECT_NE(last.reason(), "");
  EXPECT_TRUE(SetupCalls().empty());
  EXPECT_FALSE(KeyExists(kUser, kSourcesKey + "TabrixInst"));
}

}  // namespace
