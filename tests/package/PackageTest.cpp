// Each package library loads on its own, names itself, exports the library's functions, and
// brings the ODBC installer library with it (it is linked at load time, not looked up later).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

struct Package {
  const char* name;
  const char* path;
};

void PrintTo(const Package& package, std::ostream* out) { *out << package.name; }

class PackageLibrary : public ::testing::TestWithParam<Package> {};

TEST_P(PackageLibrary, LoadsWithTheInstallerLibraryAndExportsTheLibrary) {
  ASSERT_EQ(dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the test itself must not bring the installer library";
  void* package = dlopen(GetParam().path, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(package, nullptr) << dlerror();
  EXPECT_NE(dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NOLOAD), nullptr);

  auto* name = static_cast<const char*>(dlsym(package, "TabrixPackageName"));
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, GetParam().name);
  for (const char* symbol : {
           "_ZN14TabrixCodeUnit7FindDSNERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEi",
           "_ZN14TabrixCodeUnit11GetODBCInfoERKNSt7__cxx1112basic_stringIcSt11char_"
           "traitsIcESaIcEEE",
       })
    EXPECT_NE(dlsym(package, symbol), nullptr) << symbol;
}

INSTANTIATE_TEST_SUITE_P(All, PackageLibrary,
                         ::testing::Values(Package{"Tabrix_D4U", TABRIX_PACKAGE_D4U},
                                           Package{"Tabrix_D5U", TABRIX_PACKAGE_D5U},
                                           Package{"Tabrix_D6U", TABRIX_PACKAGE_D6U}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
