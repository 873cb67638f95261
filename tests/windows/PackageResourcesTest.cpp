// The package libraries' Windows resources, read as Windows reads them: the version through
// the version API, and every resource of the package table found by FindResource in the
// library loaded as a data file, holding the bytes the table holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TabrixVersion.h"
#include "design/TabrixCreateEditors.h"
#include "package/Resources.h"
#include "platform/WindowsApi.h"
#include "platform/designer/PackageAbi.h"
#include "tests/windows/WineRegistry.h"

namespace {

const char* const kPackages[] = {"Tabrix_D4U.dll", "Tabrix_D5U.dll", "Tabrix_D6U.dll"};

std::string PathOf(const char* package) { return wintest::ProgramDir() + package; }

struct TableResource {
  std::string type;
  std::string name;
  std::string bytes;
};

// The package table's resources, as the library itself answers them.
std::vector<TableResource> TableOf(const std::string& path) {
  std::vector<TableResource> resources;
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library) {
    ADD_FAILURE() << path << " does not load (error " << GetLastError() << ")";
    return resources;
  }
  const auto table = reinterpret_cast<TabrixPackageFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, kTabrixPackageSymbol)));
  if (const TabrixPackageInfo* info = table ? table() : nullptr) {
    for (size_t i = 0; i < info->resourceCount; ++i) {
      const TabrixPackageResource& r = info->resources[i];
      resources.push_back(
          {r.type, r.name, std::string(reinterpret_cast<const char*>(r.data), r.size)});
    }
  } else {
    ADD_FAILURE() << path << " has no package table";
  }
  FreeLibrary(library);
  return resources;
}

// A resource's bytes; nullopt when FindResource finds none.
std::optional<std::string> ResourceOf(HMODULE module, const char* name, const char* type) {
  HRSRC found = FindResourceA(module, name, type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return std::string(static_cast<const char*>(data), SizeofResource(module, found));
}

uint32_t Le(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

std::string Dotted(DWORD ms, DWORD ls) {
  return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
         std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
}

TEST(PackageResources, TheVersionApiReadsTheReleaseAsFileVersionAndProductVersion1000) {
  for (const char* package : kPackages) {
    SCOPED_TRACE(package);
    const std::string path = PathOf(package);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource (error " << GetLastError() << ")";
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(Dotted(fixed.dwFileVersionMS, fixed.dwFileVersionLS), TABRIX_VERSION ".0");
    EXPECT_EQ(Dotted(fixed.dwProductVersionMS, fixed.dwProductVersionLS), "1.0.0.0");
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  }
}

// What Windows shows in a file's properties: the string table of the one translation listed.
TEST(PackageResources, TheVersionApiReadsTheStringsWindowsShowsForTheFile) {
  for (const char* package : kPackages) {
    SCOPED_TRACE(package);
    const std::string path = PathOf(package);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource (error " << GetLastError() << ")";
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    const auto* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
    const std::pair<const char*, std::string> strings[] = {
        {"FileDescription", TABRIX_PACKAGE_DESCRIPTION},
        {"ProductName", TABRIX_PRODUCT},
        {"CompanyName", TabrixCreateUnit::kAuthor},
        {"FileVersion", TABRIX_VERSION ".0"},
        {"ProductVersion", "1.0.0.0"},
        {"LegalCopyright", TabrixCreateUnit::kCopyright},
    };
    for (const auto& [name, expected] : strings) {
      const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
      ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), &value, &length)) << name;
      EXPECT_EQ(std::string(static_cast<const char*>(value)), expected) << name;
    }
  }
}

// A .bmp is its 14-byte file header and the bitmap resource; a .ico is a directory of
// 16-byte entries, which the icon group holds as 14-byte ones naming an icon resource by id
// in place of the image's offset, and each image.
TEST(PackageResources, EveryTableResourceIsAWindowsResourceOfTheSameBytes) {
  for (const char* package : kPackages) {
    SCOPED_TRACE(package);
    const std::vector<TableResource> table = TableOf(PathOf(package));
    std::vector<std::string> names;
    for (const TableResource& r : table) names.push_back(r.type + " " + r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"BITMAP TTABRIXCREATOR", "ICON MAINICON",
                                               "RCDATA TORVANEABOUTFORM", "VERSION 1",
                                               "RCDATA DESCRIPTION"}));

    HMODULE data = LoadLibraryExA(PathOf(package).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr) << "error " << GetLastError();
    for (const TableResource& r : table) {
      SCOPED_TRACE(r.type + " " + r.name);
      const char* name = r.name.c_str();
      if (r.type == "BITMAP") {
        ASSERT_GT(r.bytes.size(), 14u);
        ASSERT_EQ(r.bytes.substr(0, 2), "BM");
        EXPECT_EQ(ResourceOf(data, name, RT_BITMAP), r.bytes.substr(14));
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(data, name, IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(bitmap, nullptr);
        BITMAP shape{};
        GetObjectA(bitmap, sizeof shape, &shape);
        EXPECT_EQ(shape.bmWidth, 24);
        EXPECT_EQ(shape.bmHeight, 24);
        DeleteObject(bitmap);
      } else if (r.type == "ICON") {
        const std::string& ico = r.bytes;
        ASSERT_GE(ico.size(), 22u);
        const std::optional<std::string> group = ResourceOf(data, name, RT_GROUP_ICON);
        ASSERT_TRUE(group);
        ASSERT_EQ(group->size(), 6u + 14u);
        EXPECT_EQ(group->substr(0, 6), ico.substr(0, 6));    // reserved, type 1, one image
        EXPECT_EQ(group->substr(6, 12), ico.substr(6, 12));  // size, colours, planes, bits, length
        const uint32_t id = Le(*group, 18, 2);
        const uint32_t size = Le(ico, 14, 4), offset = Le(ico, 18, 4);
        ASSERT_EQ(offset + size, ico.size());
        EXPECT_EQ(ResourceOf(data, MAKEINTRESOURCEA(id), RT_ICON), ico.substr(offset, size));
        HICON icon = static_cast<HICON>(LoadImageA(data, name, IMAGE_ICON, 32, 32, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP shape{};
        GetObjectA(info.hbmColor, sizeof shape, &shape);
        EXPECT_EQ(shape.bmWidth, 32);
        EXPECT_EQ(shape.bmHeight, 32);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
      } else if (r.type == "RCDATA") {
        EXPECT_EQ(ResourceOf(data, name, RT_RCDATA), r.bytes);
      } else if (r.type == "VERSION") {
        EXPECT_EQ(ResourceOf(data, MAKEINTRESOURCEA(std::stoi(r.name)), RT_VERSION), r.bytes);
      } else {
        ADD_FAILURE() << "a table resource of no Windows type";
      }
    }
    FreeLibrary(data);
  }
}

}  // namespace
