// The platform's calls into libodbcinst, in a program that does not link it (as the client):
// posting to the log or emptying it loads nothing; once a real call has loaded it, the log is
// the library's own; and a library put in the seam is what a driver's setup request reaches.
#include "platform/odbcinst/OdbcInstLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/odbcinst/Installer.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using namespace std::string_literals;

namespace {

bool InProcess() {
  void* library = dlopen("libodbcinst.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (library) dlclose(library);
  return library != nullptr;
}

// The first record of the log as an application reads it, with libodbcinst's own
// SQLInstallerError: "CODE: text", or "" when the log is empty.
std::string FirstRecordAsTheApplicationReadsIt() {
  void* library = dlopen("libodbcinst.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (!library) return "not loaded";
  using Read = short(unsigned short, unsigned*, char*, unsigned short, unsigned short*);
  auto* read = reinterpret_cast<Read*>(dlsym(library, "SQLInstallerError"));
  unsigned code = 0;
  char message[512] = {};
  unsigned short length = 0;
  const bool found = read && read(1, &code, message, sizeof message, &length) == 0;
  dlclose(library);
  return found ? std::to_string(code) + ": " + message : "";
}

TEST(OdbcInstLibrary, OnlyARealCallLoadsItAndThenRefusalsAreInItsOwnLog) {
  ASSERT_FALSE(InProcess()) << "the test must not link the installer library";
  platform::PostInstallerError("refused before any call", 5);
  EXPECT_EQ(platform::CurrentOdbcInstLibrary().GetConfigMode(), 0);  // ODBC_BOTH_DSN
  EXPECT_FALSE(InProcess());

  // Reading the log is a real call; what was posted before it went nowhere.
  EXPECT_EQ(platform::CurrentOdbcInstLibrary().InstallerError(1), std::nullopt);
  ASSERT_TRUE(InProcess());
  platform::PostInstallerError("the name is taken", 9);
  EXPECT_EQ(FirstRecordAsTheApplicationReadsIt(), "9: the name is taken");
  platform::ResetInstallerLog();
  EXPECT_EQ(FirstRecordAsTheApplicationReadsIt(), "");
}

// Keeps the log as libodbcinst does and records every setup request.
class RecordingLibrary : public platform::OdbcInstLibrary {
 public:
  bool ConfigDataSource(uint16_t request, const std::string& driver,
                        const std::string& attributes) override {
    requests.push_back(std::to_string(request) + " " + driver + " " + attributes);
    if (refusal.empty()) return true;
    PostInstallerError(11, refusal);
    return false;
  }
  std::optional<platform::Failure> InstallerError(uint16_t index) override {
    if (index < 1 || index > log.size()) return std::nullopt;
    return log[index - 1];
  }
  void PostInstallerError(uint32_t code, const std::string& message) override {
    log.push_back({static_cast<int>(code), message});
  }
  uint16_t GetConfigMode() override {
    log.clear();
    return 0;
  }
  std::string SystemFilePath() override { return "/nowhere"; }

  std::vector<std::string> requests;
  std::vector<platform::Failure> log;
  std::string refusal;
};

class SetupThroughTheSeam : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Spit(dir / "odbcinst.ini", DesktopDrivers("Setup = /opt/odbc/lib/excelsetup.so\n"));
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir / "user.ini").c_str(), 1);
    unsetenv("ODBCSEARCH");
  }
};

TEST_F(SetupThroughTheSeam, TheSetupLibrarysRequestReachesTheLibraryInTheSeam) {
  RecordingLibrary library;
  platform::ScopedOdbcInstLibrary use(library);
  const std::string attributes = "DSN=Sales\0Threads=3\0\0"s;
  ASSERT_TRUE(platform::SQLConfigDataSource(nullptr, 1, kExcelDriver, attributes));
  EXPECT_EQ(library.requests, std::vector<std::string>{"1 " + kExcelDriver + " " + attributes});
  EXPECT_FALSE(std::filesystem::exists(dir / "user.ini"));  // the setup library decides

  library.refusal = "the setup refused";
  EXPECT_FALSE(platform::SQLConfigDataSource(nullptr, 4, kExcelDriver, attributes));
  EXPECT_EQ(platform::InstallerError(), "the setup refused");
  EXPECT_EQ(library.requests.size(), 2u);

  // A refusal of our own is posted to the same log, and the setup library sees nothing.
  EXPECT_FALSE(platform::SQLConfigDataSource(nullptr, 1, kExcelDriver, "DSN=Bad]Name\0\0"s));
  ASSERT_EQ(library.log.size(), 1u);
  EXPECT_EQ(library.log[0].reason, platform::InstallerError());
  EXPECT_EQ(library.requests.size(), 2u);
}

}  // namespace
