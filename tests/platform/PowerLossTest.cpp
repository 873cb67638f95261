// The atomic rewrite against a power cut between any two of its calls: the disk holds the
// old file or the new one, whole, and once the rewrite says it is done, the new one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/odbcini/OdbcIni.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using platform::odbcini::ScopedSystemCalls;
using testsupport::FaultFileSystem;

namespace {

const std::string kBefore = "# kept\n[ODBC Data Sources]\nSales = Excel\n\n[Sales]\nDriver = Excel\n";
const std::string kAdded = "\n[New]\nDriver = Excel\n";

class PowerLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tabrix-power-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    dir = tmpl;
    file = dir + "/odbc.ini";
  }
  void TearDown() override { fs::remove_all(dir); }

  // Watches the folder from now on, checking after every step that a power cut would leave
  // `file` as one of `allowed` (nullopt: absent).
  void Watch(FaultFileSystem& disk, std::vector<std::optional<std::string>> allowed) {
    disk.onStep = [&disk, allowed](const std::string& step) {
      const std::optional<std::string> left = disk.AfterPowerLoss("odbc.ini");
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), left), allowed.end())
          << "a power cut after \"" << step << "\" leaves odbc.ini as "
          << (left ? "\"" + *left + "\"" : "absent");
    };
  }

  static bool Add(const std::string& path, bool create) {
    std::string reason;
    const bool done = platform::odbcini::RewriteFile(
        path, create, 0600,
        [](std::string& text, std::string&) {
          text += kAdded;
          return true;
        },
        reason);
    EXPECT_TRUE(done) << reason;
    return done;
  }

  std::string dir, file;
};

TEST_F(PowerLoss, ARewriteLeavesTheOldFileOrTheNewAtEveryStepAndTheNewOnceDone) {
  testsupport::Spit(file, kBefore);
  FaultFileSystem disk(dir);
  Watch(disk, {kBefore, kBefore + kAdded});
  {
    ScopedSystemCalls use(disk);
    ASSERT_TRUE(Add(file, false));
  }
  EXPECT_EQ(disk.AfterPowerLoss("odbc.ini"), kBefore + kAdded);
  EXPECT_EQ(disk.steps, (std::vector<std::string>{"write .odbc.ini.tabrix-",
                                                  "fsync .odbc.ini.tabrix-",
                                                  "rename .odbc.ini.tabrix- odbc.ini",
                                                  "fsync the folder"}));
}

TEST_F(PowerLoss, ANewFileIsAbsentOrWholeAtEveryStepAndThereOnceDone) {
  FaultFileSystem disk(dir);
  Watch(disk, {std::nullopt, kAdded});
  {
    ScopedSystemCalls use(disk);
    ASSERT_TRUE(Add(file, true));
  }
  EXPECT_EQ(disk.AfterPowerLoss("odbc.ini"), kAdded);
}

// Through a symbolic link the file that changes is the one it names, in its own folder.
TEST_F(PowerLoss, ARewriteThroughALinkSyncsTheFolderOfTheFileItNames) {
  fs::create_directory(dir + "/real");
  testsupport::Spit(dir + "/real/odbc.ini", kBefore);
  fs::create_symlink("real/odbc.ini", file);
  FaultFileSystem disk(dir + "/real");
  Watch(disk, {kBefore, kBefore + kAdded});
  {
    ScopedSystemCalls use(disk);
    ASSERT_TRUE(Add(file, false));
  }
  EXPECT_EQ(disk.AfterPowerLoss("odbc.ini"), kBefore + kAdded);
}

TEST_F(PowerLoss, AReplacementLeavesTheOldFileOrTheNewAtEveryStepAndTheNewOnceDone) {
  testsupport::Spit(file, kBefore);
  FaultFileSystem disk(dir);
  Watch(disk, {kBefore, std::string("[Other]\n")});
  {
    ScopedSystemCalls use(disk);
    platform::odbcini::ReplaceFile(file, "[Other]\n", 0600);
  }
  EXPECT_EQ(disk.AfterPowerLoss("odbc.ini"), std::string("[Other]\n"));
}

}  // namespace
