// What an application reads from unixODBC's SQLInstallerError and from the library after each
// call: that call's refusal alone, nothing after a success, and each thread its own.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/Installer.h"
#include "tests/support/TestSupport.h"

// After our own headers: unixODBC defines the request codes as macros.
#include <odbcinst.h>

using namespace TabrixCodeUnit;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class InstallerErrors : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Spit(dir / "odbcinst.ini", DesktopDrivers(""));
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir / "user.ini").c_str(), 1);
    unsetenv("ODBCSEARCH");
  }
};

// The first message of unixODBC's log as "CODE: text"; nullopt when it holds none.
std::optional<std::string> FirstLogged() {
  DWORD code = 0;
  char message[SQL_MAX_MESSAGE_LENGTH] = {};
  WORD length = 0;
  if (SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_NO_DATA)
    return std::nullopt;
  return std::to_string(code) + ": " + message;
}

bool Create(int32_t request, const std::string& name) {
  return CreateDSN(request, 2, name, "", "/data/Sales.xls", "", "", "", "");
}

TEST_F(InstallerErrors, EachRefusalIsThatCallsAndASuccessLeavesNone) {
  const std::string range = "the library refused it: request code 70000 is outside 0 to 65535";
  EXPECT_FALSE(Create(70000, "Sales"));
  EXPECT_EQ(platform::InstallerError(), range);
  EXPECT_EQ(FirstLogged(), "5: " + range);

  EXPECT_FALSE(Create(1, "Bad]Name"));
  const std::string name = platform::InstallerError();
  EXPECT_NE(name.find("Bad]Name"), std::string::npos) << name;
  EXPECT_EQ(FirstLogged(), std::to_string(ODBC_ERROR_INVALID_DSN) + ": " + name);

  ASSERT_TRUE(Create(1, "Sales")) << platform::InstallerError();
  EXPECT_EQ(platform::InstallerError(), "");
  EXPECT_EQ(FirstLogged(), std::nullopt);

  // FindDSN refuses a code outside the request's 16 bits as the others do, not "not found".
  for (int32_t code : {70000, -1, 65536 + 1}) {
    EXPECT_FALSE(FindDSN("Sales", code)) << code;
    EXPECT_EQ(platform::InstallerError(), "the library refused it: request code " +
                                              std::to_string(code) + " is outside 0 to 65535");
    EXPECT_EQ(FirstLogged(), "5: " + platform::InstallerError());
  }
  EXPECT_TRUE(FindDSN("Sales", 1));
  EXPECT_FALSE(RemoveDSN(65536 + 3, 2, "Sales"));
  EXPECT_EQ(FirstLogged(), "5: the library refused it: request code 65539 is outside 0 to 65535");
  EXPECT_TRUE(RemoveDSN(3, 2, "Sales"));
  EXPECT_EQ(FirstLogged(), std::nullopt);
}

// Under ThreadSanitizer (make test-tsan) this also holds the library's own calls into
// libodbcinst's log to one at a time. (An application reading SQLInstallerError while another
// thread posts races inside libodbcinst, whose peek hands out the message outside its lock.)
TEST_F(InstallerErrors, ThreadsRefusedAtOnceEachReadTheirOwnReason) {
  constexpr int kThreads = 8, kRounds = 200;
  std::atomic<int> wrong{0}, lost{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Refused by the library, and by the installer's own checks, by turns.
        const bool library = round % 2 == 0;
        const std::string name = "T" + std::to_string(t) + (library ? "" : "]");
        if (Create(library ? 70000 + t : 1, name)) {
          ++lost;
          continue;
        }
        const std::string reason = platform::InstallerError();
        const std::string own = library ? "request code " + std::to_string(70000 + t) : name;
        if (reason.find(own) == std::string::npos) ++wrong;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(lost, 0);
}

// A keyword given twice in one request is written once, with its last value, where the first
// stood; the listing section takes no value from RegisterMDW.
TEST_F(InstallerErrors, ARepeatedKeywordTakesItsLastValueAndTheListingNoWorkgroup) {
  using namespace std::string_literals;
  ASSERT_TRUE(CreateDSN(1, 2, "Sales", "", "/data/s.xls", "", "", "",
                        "Threads=3\0ReadOnly=1\0Threads=5\0"s))
      << platform::InstallerError();
  const std::string text = Slurp(dir / "user.ini");
  EXPECT_NE(text.find("Threads = 5\nReadOnly = 1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Threads = 3"), std::string::npos) << text;
  EXPECT_EQ(Shell("ODBCSYSINI=" + dir.string() + " ODBCINI=" + (dir / "user.ini").string() +
                  " odbcinst -q -s -n Sales | grep Threads")
                .text,
            "Threads=5\n");

  try {
    RegisterMDW("ODBC Data Sources", "/data/System.mdw");
    ADD_FAILURE() << "a workgroup was written into the listing";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("lists the data sources"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Slurp(dir / "user.ini"), text);
}

}  // namespace
