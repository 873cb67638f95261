// The Debian package, round trip on this machine: built with CPack, checked by lintian,
// installed with dpkg, used through the installed client in a private folder, removed, and
// nothing of it left. Needs root and dpkg; CI runs it as root on a disposable machine.
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "InstallFixture.h"
#include "TabrixVersion.h"

namespace {

using namespace installtest;

// dpkg's word for the package's state; "" when dpkg knows nothing of it.
std::string PackageStatus() {
  return Shell("{ dpkg-query -W -f='${db:Status-Status}' tabrix 2>/dev/null; }").text;
}

class Package : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
#ifdef TABRIX_SANITIZED
    GTEST_SKIP() << "a package of sanitized programs means nothing; the normal build runs this "
                    "test";
#endif
    if (geteuid() != 0) GTEST_SKIP() << "dpkg -i needs root: not run as root, skipped";
    if (Shell("command -v dpkg dpkg-deb dpkg-query").status != 0)
      GTEST_SKIP() << "no dpkg on this machine: skipped";
    if (PackageStatus() == "installed")
      GTEST_SKIP() << "a tabrix package is installed on this machine already; left alone";
    ScratchTest::SetUp();
  }

  // Whatever happens, the package does not stay installed.
  void TearDown() override {
    if (installed) Shell("dpkg -r tabrix");
  }

  bool installed = false;
};

TEST_F(Package, InstallsWorksAndRemovesWithoutATrace) {
  const fs::path out = dir / "package";
  testsupport::Output r =
      Shell("cd " + Quote(dir) + " && " + Quote(TABRIX_CPACK) + " -G DEB --config " +
            Quote(std::string(TABRIX_BUILD_DIR) + "/CPackConfig.cmake") + " -B " + Quote(out));
  ASSERT_EQ(r.status, 0) << r.text;
  const fs::path deb = out / ("tabrix_" TABRIX_VERSION "_amd64.deb");
  ASSERT_TRUE(fs::exists(deb)) << r.text;

  // Its dependencies are what dpkg-shlibdeps found the programs and libraries need.
  r = Shell("dpkg-deb -f " + Quote(deb) + " Package Version Architecture Depends");
  EXPECT_TRUE(r.text.rfind("Package: tabrix\nVersion: " TABRIX_VERSION
                           "\nArchitecture: amd64\nDepends: ",
                           0) == 0)
      << r.text;
  EXPECT_NE(r.text.find("libodbcinst2 (>= "), std::string::npos) << r.text;
  EXPECT_NE(r.text.find("libstdc++6 (>= "), std::string::npos) << r.text;
  r = Shell("lintian --fail-on error " + Quote(deb));
  EXPECT_EQ(r.status, 0) << r.text;
  EXPECT_EQ(r.text.find("E: "), std::string::npos) << r.text;

  // The machine's own drivers file, as the package's maintainer scripts change it.
  const std::string systemDriver =
      "env -u ODBCSYSINI -u ODBCINSTINI -u ODBCSEARCH odbcinst -q -d -n "
      "'Microsoft Excel Driver (*.xls)'";
  const bool definedBefore = Shell(systemDriver).status == 0;
  r = Shell("dpkg -i " + Quote(deb));
  installed = r.status == 0;
  ASSERT_EQ(r.status, 0) << r.text;
  const std::string files = Shell("dpkg -L tabrix").text;
  EXPECT_NE(files.find("/usr/lib/odbc/libtabrixodbc.so\n"), std::string::npos) << files;
  EXPECT_NE(files.find("/usr/lib/odbc/tabrixodbc-xls\n"), std::string::npos) << files;
  if (definedBefore) {
    std::printf("this machine defines the Excel driver already: its registration not checked\n");
  } else {
    r = Shell(systemDriver);
    EXPECT_NE(r.text.find("\nDriver=/usr/lib/odbc/libtabrixodbc.so\n"), std::string::npos)
        << r.text;
  }

  EXPECT_EQ(Shell("/usr/bin/tabrix --version").text, "tabrix " TABRIX_VERSION "\n");
  // Minimal images tell dpkg to leave out man pages.
  if (Shell("grep -qs '^path-exclude=/usr/share/man/' /etc/dpkg/dpkg.cfg.d/*").status == 0)
    std::printf("dpkg leaves out man pages here (/etc/dpkg/dpkg.cfg.d): man -w not checked\n");
  else
    EXPECT_EQ(Shell("man -w tabrix").text, "/usr/share/man/man1/tabrix.1.gz\n");

  // The installed client in a private folder, its result read back with unixODBC's odbcinst.
  const fs::path odbc = dir / "odbc";
  fs::create_directories(odbc);
  Spit(odbc / "odbcinst.ini", testsupport::DesktopDrivers());
  const std::string env = PrivateOdbc(odbc);
  r = Shell(env + "/usr/bin/tabrix create Packaged --user --workbook /data/Packaged.xls");
  EXPECT_EQ(r.status, 0) << r.text;
  r = Shell(env + "/usr/bin/tabrix find Packaged --user");
  EXPECT_EQ(r.status, 0) << r.text;
  r = Shell(env + "odbcinst -q -s -n Packaged");
  EXPECT_EQ(r.text.substr(0, r.text.find("DefaultDir=")),
            "[Packaged]\nDriver=" + testsupport::kExcelDriver + "\nDBQ=/data/Packaged.xls\n");
  r = Shell(env + "/usr/bin/tabrix remove Packaged --user");
  EXPECT_EQ(r.status, 0) << r.text;
  EXPECT_EQ(Shell(env + "/usr/bin/tabrix find Packaged --user").status, 1);

  r = Shell("dpkg -r tabrix");
  installed = PackageStatus() == "installed";
  ASSERT_EQ(r.status, 0) << r.text;
  if (!definedBefore) {
    EXPECT_NE(Shell(systemDriver).status, 0) << "the driver stays registered";
  }
  EXPECT_EQ(PackageStatus(), "");  // not even its configuration files
  // Only folders that other packages hold too may stay.
  std::istringstream in(files);
  int checked = 0;
  for (std::string path; std::getline(in, path);) {
    if (path.empty() || path[0] != '/' || path == "/.") continue;
    ++checked;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) continue;
    EXPECT_TRUE(fs::is_directory(path) && Shell("dpkg-query -S " + Quote(path)).status == 0)
        << path << " is left";
  }
  EXPECT_FALSE(fs::exists("/var/lib/dpkg/info/tabrix.list"));
  EXPECT_GT(checked, 30) << files;
}

}  // namespace
