// make install into a DESTDIR, and applications built against what it installed, with
// pkg-config and with find_package, then run against a private configuration folder.
#include <algorithm>
#include <vector>

#include "InstallFixture.h"

namespace {

using namespace installtest;

// Every file and link under `top` ("path -> target" for a link), sorted, one a line.
std::string Listing(const fs::path& top) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    if (entry.is_directory() && !entry.is_symlink()) continue;
    std::string line = entry.path().lexically_relative(top).string();
    if (entry.is_symlink()) line += " -> " + fs::read_symlink(entry.path()).string();
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  std::string text;
  for (const std::string& e : entries) text += e + "\n";
  return text;
}

TEST_F(Installed, PutsEachFileInItsPlaceAndNothingElse) {
  ASSERT_NO_FATAL_FAILURE(Install());
  std::string libraries;
  for (const char* v : {"4", "5", "6"}) {
    const std::string so = std::string("lib/libTabrix_D") + v + "U.so";
    libraries += so + " -> libTabrix_D" + v + "U.so.1\n" + so + ".1 -> libTabrix_D" + v +
                 "U.so.1.1.0\n" + so + ".1.1.0\n";
  }
  EXPECT_EQ(Listing(prefix),
            "bin/tabrix\n"
            "include/tabrix/component/TabrixCreateUnit.h\n"
            "include/tabrix/library/TabrixCodeUnit.h\n"
            "include/tabrix/platform/Export.h\n"
            "include/tabrix/platform/framework/Component.h\n"
            "include/tabrix/platform/framework/TypeInfo.h\n"
            "lib/cmake/Tabrix/TabrixConfig.cmake\n"
            "lib/cmake/Tabrix/TabrixConfigVersion.cmake\n"
            "lib/cmake/Tabrix/TabrixTargets-" TABRIX_BUILD_CONFIG
            ".cmake\n"
            "lib/cmake/Tabrix/TabrixTargets.cmake\n" +
                libraries +
                "lib/odbc/libtabrixodbc.so\n"
                "lib/pkgconfig/tabrix.pc\n"
                "lib/tabrix/tabrix-about.so\n"
                "share/bash-completion/completions/tabrix\n"
                "share/doc/tabrix/README.md\n"
                "share/doc/tabrix/changelog.gz\n"
                "share/doc/tabrix/copyright\n"
                "share/man/man1/tabrix.1.gz\n"
                "share/tabrix/odbcinst.ini\n");
  // The drivers' sections name the library where this install put it.
  const std::string driver = "Driver=" + kPrefix + "/lib/odbc/libtabrixodbc.so\n";
  EXPECT_EQ(Slurp(prefix / "share/tabrix/odbcinst.ini"),
            "[Microsoft Excel Driver (*.xls)]\n"
            "Description=Tabrix ODBC driver for Excel workbooks (.xlsx, .xlsm, .xls), read-only\n" +
                driver +
                "\n[Microsoft Text Driver (*.txt, *.csv)]\n"
                "Description=Tabrix ODBC driver for folders of text files (.csv, .txt, .tab, .asc), "
                "read-only\n" +
                driver +
                "\n[Microsoft dBase Driver (*.dbf)]\n"
                "Description=Tabrix ODBC driver for folders of dBase tables (.dbf), read-only\n" +
                driver +
                "\n[Microsoft Visual FoxPro Driver (*.dbf)]\n"
                "Description=Tabrix ODBC driver for folders of Visual FoxPro tables (.dbf), "
                "read-only\n" +
                driver);

  // The headers as they are in the repository, each compiling on its own from the tree.
  const fs::path include = prefix / "include/tabrix";
  for (const auto& entry : fs::recursive_directory_iterator(include)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = entry.path().lexically_relative(include);
    EXPECT_EQ(Slurp(entry.path()), Slurp(fs::path(TABRIX_SOURCE_DIR) / relative)) << relative;
    testsupport::Output out = Shell(Quote(TABRIX_CXX) + " -std=c++17 -fsyntax-only -I" +
                                    Quote(include) + " -x c++ " + Quote(entry.path()));
    EXPECT_EQ(out.status, 0) << relative << ":\n" << out.text;
  }

  testsupport::Output version = Shell(Quote(prefix / "bin/tabrix") + " --version");
  EXPECT_EQ(version.text, "tabrix " TABRIX_VERSION "\n");
  // The installed client finds its drawing module from where it is installed.
  const fs::path png = prefix / "about.png";
  EXPECT_EQ(Shell(Quote(prefix / "bin/tabrix") + " about --png " + Quote(png)).status, 0);
  EXPECT_EQ(Slurp(png), Slurp(fs::path(TABRIX_SOURCE_DIR) / "docs/about.png"));
  fs::remove(png);
  EXPECT_EQ(Slurp(prefix / "share/bash-completion/completions/tabrix"),
            Slurp(fs::path(TABRIX_SOURCE_DIR) / "tools/tabrix/tabrix-completion.bash"));

  // The licence in Debian's format: LICENSE's terms, one blank before each line, "." for
  // an empty one.
  std::string terms = Slurp(fs::path(TABRIX_SOURCE_DIR) / "LICENSE");
  terms = terms.substr(terms.find("\n\n", terms.find("Copyright (c)")) + 2);
  std::string expected;
  std::istringstream in(terms);
  for (std::string line; std::getline(in, line);)
    expected += line.empty() ? " .\n" : " " + line + "\n";
  EXPECT_EQ(Slurp(prefix / "share/doc/tabrix/copyright"),
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
            "Upstream-Name: tabrix\n\nFiles: *\nCopyright: 2026 The Tabrix developers\n"
            "License: Expat\n" +
                expected);
}

class Consumer : public Installed {
 protected:
  void SetUp() override {
#ifdef TABRIX_SANITIZED
    GTEST_SKIP() << "the installed libraries carry the sanitizers' runtime, which an "
                    "application must load first; the normal build runs this test";
#endif
    Installed::SetUp();
    ASSERT_NO_FATAL_FAILURE(Install());
    odbc = dir / "odbc";
    fs::create_directories(odbc);
    Spit(odbc / "odbcinst.ini", testsupport::DesktopDrivers());
  }

  // Runs the built consumer against the private folder; unixODBC's odbcinst then reads back
  // the data source it made.
  void RunAndCheck(const std::string& program, const std::string& environment = "") {
    testsupport::Output out = Shell(PrivateOdbc(odbc) + environment + Quote(program));
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_EQ(out.text, "created 1, found 1\n");
    out = Shell(PrivateOdbc(odbc) + "odbcinst -q -s -n Consumer");
    EXPECT_EQ(out.text.substr(0, out.text.find("FIL=")),
              "[Consumer]\nDriver=" + testsupport::kExcelDriver +
                  "\nDBQ=/data/Consumer.xls\nDefaultDir=C:\\\n"
                  "Description=New Tabrix Description\n");
  }

  const fs::path source = fs::path(TABRIX_SOURCE_DIR) / "tests/install/consumer";
  fs::path odbc;
};

TEST_F(Consumer, BuildsWithPkgConfigAndRuns) {
  const std::string pkgConfig =
      "PKG_CONFIG_PATH=" + Quote(prefix / "lib/pkgconfig") + " pkg-config";
  EXPECT_EQ(Shell(pkgConfig + " --modversion tabrix").text, TABRIX_VERSION "\n");
  const std::string pc = (prefix / "lib/pkgconfig").string();
  EXPECT_EQ(Shell(pkgConfig + " --cflags --libs tabrix").text,
            "-I" + pc + "/../../include/tabrix -L" + pc + "/../../lib -lTabrix_D6U \n");

  const fs::path program = dir / "consumer";
  testsupport::Output out =
      Shell(Quote(TABRIX_CXX) + " -o " + Quote(program) + " " + Quote(source / "Consumer.cpp") +
            " $(" + pkgConfig + " --cflags --libs tabrix)");
  ASSERT_EQ(out.status, 0) << out.text;
  RunAndCheck(program.string(), "LD_LIBRARY_PATH=" + Quote(prefix / "lib") + " ");
}

TEST_F(Consumer, BuildsWithFindPackageAndRuns) {
  const fs::path build = dir / "build";
  testsupport::Output out =
      Shell(Quote(TABRIX_CMAKE) + " -S " + Quote(source) + " -B " + Quote(build) +
            " -G Ninja -DCMAKE_CXX_COMPILER=" + Quote(TABRIX_CXX) + " -DCMAKE_PREFIX_PATH=" +
            Quote(prefix) + " && " + Quote(TABRIX_CMAKE) + " --build " + Quote(build));
  ASSERT_EQ(out.status, 0) << out.text;
  // The imported target's location goes into the program's run path: no LD_LIBRARY_PATH.
  RunAndCheck((build / "consumer").string());
}

}  // namespace
