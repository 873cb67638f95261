// What each package library exports, read from its dynamic symbol table as the loader reads
// it: the units' public API and the framework classes that API builds on, nothing else of
// the platform, no template instances of the standard library; and the versioned name it is
// loaded by.
#include <cxxabi.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TabrixVersion.h"

namespace fs = std::filesystem;

namespace {

struct DynamicSection {
  std::string soname;
  std::vector<std::string> exported;  // defined global symbols, demangled
  std::vector<std::string> defined;   // every symbol the file defines, its own included
};

template <class T>
T ReadAt(const std::string& image, uint64_t offset) {
  if (offset > image.size() || image.size() - offset < sizeof(T))
    throw std::out_of_range("read past the end of the file");
  T value;
  std::memcpy(&value, image.data() + offset, sizeof value);
  return value;
}

std::string Demangle(const std::string& name) {
  int status = -1;
  std::unique_ptr<char, decltype(&std::free)> plain(
      abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
  return status == 0 ? plain.get() : name;
}

// A 64-bit ELF shared library's SONAME and the symbols it defines for others, as
// `nm -D --defined-only` lists them.
DynamicSection ReadDynamicSection(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string image{std::istreambuf_iterator<char>(in), {}};
  const auto header = ReadAt<Elf64_Ehdr>(image, 0);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
    throw std::runtime_error(path + ": not a 64-bit ELF file");
  std::vector<Elf64_Shdr> sections;
  for (uint64_t i = 0; i < header.e_shnum; ++i)
    sections.push_back(ReadAt<Elf64_Shdr>(image, header.e_shoff + i * header.e_shentsize));
  auto text = [&](const Elf64_Shdr& strings, uint64_t at) {
    const uint64_t start = strings.sh_offset + at;
    if (start >= image.size()) throw std::out_of_range("a name past the end of the file");
    return image.substr(start, image.find('\0', start) - start);
  };

  DynamicSection result;
  for (const Elf64_Shdr& section : sections) {
    const Elf64_Shdr& strings = sections.at(section.sh_link);
    if (section.sh_type == SHT_SYMTAB) {
      for (uint64_t at = sizeof(Elf64_Sym); at < section.sh_size; at += sizeof(Elf64_Sym)) {
        const auto symbol = ReadAt<Elf64_Sym>(image, section.sh_offset + at);
        if (symbol.st_shndx != SHN_UNDEF && ELF64_ST_TYPE(symbol.st_info) == STT_FUNC)
          result.defined.push_back(Demangle(text(strings, symbol.st_name)));
      }
    } else if (section.sh_type == SHT_DYNSYM) {
      for (uint64_t at = sizeof(Elf64_Sym); at < section.sh_size; at += sizeof(Elf64_Sym)) {
        const auto symbol = ReadAt<Elf64_Sym>(image, section.sh_offset + at);
        const int binding = ELF64_ST_BIND(symbol.st_info);
        if (symbol.st_shndx != SHN_UNDEF &&
            (binding == STB_GLOBAL || binding == STB_WEAK || binding == STB_GNU_UNIQUE))
          result.exported.push_back(Demangle(text(strings, symbol.st_name)));
      }
    } else if (section.sh_type == SHT_DYNAMIC) {
      for (uint64_t at = 0; at < section.sh_size; at += sizeof(Elf64_Dyn)) {
        const auto entry = ReadAt<Elf64_Dyn>(image, section.sh_offset + at);
        if (entry.d_tag == DT_SONAME) result.soname = text(strings, entry.d_un.d_val);
      }
    }
  }
  return result;
}

// The framework classes the public classes derive from or hold: their members, vtables and
// type information go with the API. Nothing else of platform:: may be exported.
const char* const kFrameworkClasses[] = {"TComponent",      "TControl",       "TForm",
                                         "TLabel",          "TBevel",         "TButton",
                                         "TPropertyEditor", "TStringProperty"};
const char* const kPublicNamespaces[] = {
    "TabrixCodeUnit::", "TabrixCreateUnit::", "eOrvaneAbout::", "edsncompreg::"};
const char* const kPackageTable[] = {"TabrixPackage", "TabrixPackageName",
                                     "TabrixPackageDescription"};

// The entity a symbol belongs to: the name after "vtable for " and its kin.
std::string_view Entity(std::string_view symbol) {
  for (std::string_view prefix : {"vtable for ", "typeinfo for ", "typeinfo name for "})
    if (symbol.starts_with(prefix)) return symbol.substr(prefix.size());
  return symbol;
}

bool IsPublic(std::string_view symbol) {
  const std::string_view entity = Entity(symbol);
  for (std::string_view name : kPackageTable)
    if (symbol == name) return true;
  for (std::string_view ns : kPublicNamespaces)
    if (entity.starts_with(ns)) return true;
  for (const char* cls : kFrameworkClasses) {
    const std::string qualified = std::string("platform::") + cls;
    if (entity == qualified || entity.starts_with(qualified + "::")) return true;
  }
  return false;
}

// Whether a symbol is the entity `name`, a function of that name whatever its parameters.
bool Names(std::string_view symbol, std::string_view name) {
  return symbol.starts_with(name) && (symbol.size() == name.size() || symbol[name.size()] == '(' ||
                                      symbol.substr(name.size()).starts_with("[abi:"));
}

struct Library {
  const char* name;
  const char* path;  // the build's libTabrix_DnU.so
};

void PrintTo(const Library& library, std::ostream* out) { *out << library.name; }

class PackageExports : public ::testing::TestWithParam<Library> {};

TEST_P(PackageExports, LoadsByItsVersionedName) {
  const fs::path path = GetParam().path;
  const std::string soname =
      "lib" + std::string(GetParam().name) + ".so." + std::to_string(TABRIX_VERSION_MAJOR);
  EXPECT_EQ(ReadDynamicSection(path).soname, soname);
  // The name the loader looks for beside the library, and the real file both links lead to.
  ASSERT_TRUE(fs::is_symlink(path.parent_path() / soname));
  EXPECT_TRUE(fs::equivalent(path, path.parent_path() / soname));
  EXPECT_EQ(fs::canonical(path).filename(),
            "lib" + std::string(GetParam().name) + ".so." TABRIX_VERSION);
}

TEST_P(PackageExports, AreThePublicApiAndNothingElseOfThePlatform) {
  const std::vector<std::string> exported = ReadDynamicSection(GetParam().path).exported;
  for (const std::string& symbol : exported)
    EXPECT_TRUE(IsPublic(symbol)) << "exported and not public: " << symbol;

  std::vector<std::string> wanted = {
      "TabrixPackage",
      "TabrixPackageName",
      "TabrixCodeUnit::GetDSNTypeString",
      "TabrixCodeUnit::GetODBCInfo",
      "TabrixCodeUnit::FindDSN",
      "TabrixCodeUnit::CreateDSN",
      "TabrixCodeUnit::ConfigureDSN",
      "TabrixCodeUnit::RemoveDSN",
      "TabrixCodeUnit::RegisterSystemMDW",
      "TabrixCodeUnit::RegisterMDW",
      "TabrixCreateUnit::TTabrixCreator::TTabrixCreator",
      "TabrixCreateUnit::TTabrixCreator::Execute",
      "TabrixCreateUnit::TTabrixCreator::StaticClass",
      "TabrixCreateUnit::DataSourceValues",
      "TabrixCreateUnit::GetDSNActionFromEnumType",
      "TabrixCreateUnit::GetDSNDatabaseFromEnumType",
      "TabrixCreateUnit::GetIntegerFromBoolean",
      "TabrixCreateUnit::GetYNStringFromBoolean",
      "TabrixCreateUnit::GetExcelVersion",
      "TabrixCreateUnit::ExtractFilePath",
      "TabrixCreateUnit::Register",
      "TabrixCreateUnit::TAboutProperty::Edit",
      "edsncompreg::Register",
      "eOrvaneAbout::OrvaneAboutFormResource",
      "eOrvaneAbout::TOrvaneAboutForm::TOrvaneAboutForm",
      "eOrvaneAbout::TOrvaneAboutForm::SetLabels",
  };
  for (std::string cls :
       {"TabrixCreateUnit::TTabrixCreator", "TabrixCreateUnit::TAboutProperty",
        "TabrixCreateUnit::TDBPathProperty", "TabrixCreateUnit::TDefaultDirProperty",
        "eOrvaneAbout::TOrvaneAboutForm"})
    wanted.insert(wanted.end(), {"vtable for " + cls, "typeinfo for " + cls});
  for (const char* cls : kFrameworkClasses)
    wanted.insert(wanted.end(), {std::string("vtable for platform::") + cls,
                                 std::string("typeinfo for platform::") + cls});
  for (const std::string& name : wanted) {
    bool found = false;
    for (const std::string& symbol : exported) found = found || Names(symbol, name);
    EXPECT_TRUE(found) << "not exported: " << name;
  }
}

// The client's drawing module: its two C functions are all it exports, and it holds only
// what the about box runs, not the data-source library, the component or the INI layer.
TEST(DrawingModule, ExportsItsTwoFunctionsAndHoldsNoCodeItDoesNotRun) {
  const DynamicSection module = ReadDynamicSection(TABRIX_ABOUT_MODULE);
  std::vector<std::string> exported = module.exported;
  std::sort(exported.begin(), exported.end());
  EXPECT_EQ(exported, (std::vector<std::string>{"TabrixDrawAbout", "TabrixMeasureText"}));
  ASSERT_FALSE(module.defined.empty()) << "no symbol table: stripped?";
  for (const std::string& symbol : module.defined)
    for (std::string_view unused : {"TabrixCodeUnit::", "TabrixCreateUnit::TTabrixCreator::",
                                    "platform::odbcini::", "platform::registry::",
                                    "platform::odbcinst::"})
      EXPECT_FALSE(symbol.starts_with(unused)) << "carried and never run: " << symbol;
}

INSTANTIATE_TEST_SUITE_P(All, PackageExports,
                         ::testing::Values(Library{"Tabrix_D4U", TABRIX_PACKAGE_D4U},
                                           Library{"Tabrix_D5U", TABRIX_PACKAGE_D5U},
                                           Library{"Tabrix_D6U", TABRIX_PACKAGE_D6U}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
