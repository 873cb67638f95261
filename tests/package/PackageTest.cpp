// Each package library loads on its own, names itself, exports the library's functions, and
// brings the ODBC installer library with it (it is linked at load time, not looked up later).
// Loaded through the design host, it registers its component and editors and carries its
// resources.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "TabrixVersion.h"
#include "platform/designer/DesignHost.h"

namespace {

struct Package {
  const char* name;
  const char* path;
  std::vector<std::string> required;
};

uint32_t Le16(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8;
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

// A 16-colour BITMAPINFOHEADER at `at`, with `rows` counted in its height.
void ExpectFourBitDib(const std::string& b, size_t at, uint32_t size, uint32_t rows) {
  EXPECT_EQ(Le32(b, at), 40u);
  EXPECT_EQ(Le32(b, at + 4), size);
  EXPECT_EQ(Le32(b, at + 8), rows);
  EXPECT_EQ(Le16(b, at + 12), 1u);  // planes
  EXPECT_EQ(Le16(b, at + 14), 4u);  // bits per pixel
  EXPECT_EQ(Le32(b, at + 16), 0u);  // uncompressed
  EXPECT_EQ(Le32(b, at + 32), 16u);
}

// The palette entry (blue, green, red, reserved) of pixel (x, y), row 0 at the top, of the
// 16-colour square DIB at `at`.
std::string PixelColour(const std::string& b, size_t at, int size, int x, int y) {
  const size_t row = at + 40 + 16 * 4 + static_cast<size_t>(size - 1 - y) * (size / 2);
  const auto packed = static_cast<unsigned char>(b.at(row + x / 2));
  const int index = x % 2 ? packed & 0x0F : packed >> 4;
  return b.substr(at + 40 + 4 * index, 4);
}

const std::string kMaroon("\x00\x00\x80\x00", 4);
const std::string kNavy("\x80\x00\x00\x00", 4);
const std::string kAqua("\xFF\xFF\x00\x00", 4);
const std::string kTeal("\x80\x80\x00\x00", 4);

// The drum at the bottom right of a picture `size` wide: a navy body, an aqua top, a teal band.
void ExpectDrumColours(const std::string& b, size_t at, int size) {
  const int x = size / 2 + 1, top = size / 2;
  EXPECT_EQ(PixelColour(b, at, size, x, top), kNavy);
  EXPECT_EQ(PixelColour(b, at, size, x, top + 1), kAqua);
  EXPECT_EQ(PixelColour(b, at, size, x + 1, top + 2), kAqua);
  EXPECT_EQ(PixelColour(b, at, size, x, top + 5), kTeal);
  EXPECT_EQ(PixelColour(b, at, size, size - 2, size - 3), kNavy);
}

void PrintTo(const Package& package, std::ostream* out) { *out << package.name; }

class PackageLibrary : public ::testing::TestWithParam<Package> {};

TEST_P(PackageLibrary, LoadsWithTheInstallerLibraryAndExportsTheLibrary) {
  // Run alone (as ctest runs each test), nothing has brought the installer library yet; run
  // with the others, an earlier package has, and only its presence afterwards can be checked.
  static bool firstLoad = true;
  if (firstLoad) {
    EXPECT_EQ(dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NOLOAD), nullptr)
        << "the test itself must not bring the installer library";
  }
  firstLoad = false;
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

TEST_P(PackageLibrary, LoadsThroughTheDesignHostAndRegistersTheCreatorAndItsEditors) {
  platform::DesignHost host;
  const platform::TLoadedPackage& p = host.LoadPackage(GetParam().path);
  EXPECT_EQ(p.name, GetParam().name);
  EXPECT_TRUE(p.designTime);
  EXPECT_TRUE(p.runTime);
  EXPECT_EQ(p.required, GetParam().required);
  EXPECT_EQ(p.units, (std::vector<std::string>{GetParam().name, "TabrixCreateUnit", "StartUp",
                                               "TabrixCodeUnit", "eOrvaneAbout", "edsncompreg"}));
  EXPECT_NE(p.description.find("Orvane"), std::string::npos);
  EXPECT_NE(p.description.find("Tabrix"), std::string::npos);

  // Both Register procedures, each: three editors, then the palette entry.
  const auto& r = host.Registrations();
  ASSERT_EQ(r.size(), 8u);
  const char* editors[] = {"TAboutProperty", "TDBPathProperty", "TDefaultDirProperty"};
  const char* properties[] = {"About", "DatabasePath", "DefaultDir"};
  for (size_t at : {0u, 4u}) {
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(r[at + i].kind, platform::TRegistration::PropertyEditor);
      EXPECT_EQ(r[at + i].editor.Name, editors[i]);
      EXPECT_EQ(r[at + i].propertyName, properties[i]);
      EXPECT_EQ(r[at + i].componentClass->Name, "TTabrixCreator");
    }
    EXPECT_EQ(r[at + 3].kind, platform::TRegistration::Components);
    EXPECT_EQ(r[at + 3].page, "ORVANE");
    ASSERT_EQ(r[at + 3].classes.size(), 1u);
    EXPECT_EQ(r[at + 3].classes[0]->Name, "TTabrixCreator");
  }

  // A component made from the registered class gets the package's editors.
  std::unique_ptr<platform::TComponent> creator(r[3].classes[0]->Create(nullptr));
  auto about = host.CreateEditor({creator.get()}, "About");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->GetValue(), "(about)");
  EXPECT_EQ(about->GetAttributes(), 0x4Cu);
  auto dir = host.CreateEditor({creator.get()}, "DefaultDir");
  ASSERT_NE(dir, nullptr);
  EXPECT_EQ(dir->GetAttributes(), 0x04u);
  dir->SetValue("C:\\Data\\");
  EXPECT_EQ(dir->GetValue(), "C:\\Data");
}

TEST_P(PackageLibrary, CarriesItsBitmapIconFormVersionAndDescription) {
  platform::DesignHost host;
  const platform::TLoadedPackage& p = host.LoadPackage(GetParam().path);

  const auto* bitmap = p.Resource("BITMAP", "TTABRIXCREATOR");
  ASSERT_NE(bitmap, nullptr);
  const std::string& bmp = bitmap->data;
  ASSERT_EQ(bmp.size(), 14u + 40 + 16 * 4 + 24 * 12);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(Le32(bmp, 10), 14u + 40 + 64);
  ExpectFourBitDib(bmp, 14, 24, 24);
  EXPECT_EQ(bmp.substr(14 + 40 + 4, 4), kMaroon);  // index 1: red 0x80
  ExpectDrumColours(bmp, 14, 24);

  const auto* icon = p.Resource("ICON", "MAINICON");
  ASSERT_NE(icon, nullptr);
  const std::string& ico = icon->data;
  ASSERT_EQ(ico.size(), 6u + 16 + 40 + 64 + 32 * 16 + 32 * 4);
  EXPECT_EQ(Le16(ico, 0), 0u);
  EXPECT_EQ(Le16(ico, 2), 1u);  // an icon
  EXPECT_EQ(Le16(ico, 4), 1u);  // one image
  EXPECT_EQ(static_cast<unsigned char>(ico[6]), 32);
  EXPECT_EQ(static_cast<unsigned char>(ico[7]), 32);
  EXPECT_EQ(static_cast<unsigned char>(ico[8]), 16);
  EXPECT_EQ(Le16(ico, 12), 4u);
  EXPECT_EQ(Le32(ico, 14), ico.size() - 22);
  EXPECT_EQ(Le32(ico, 18), 22u);
  ExpectFourBitDib(ico, 22, 32, 64);  // the image and its mask
  EXPECT_EQ(ico.substr(22 + 40 + 4, 4), kMaroon);
  ExpectDrumColours(ico, 22, 32);

  const auto* form = p.Resource("RCDATA", "TORVANEABOUTFORM");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->data.rfind("object OrvaneAboutForm: TOrvaneAboutForm\n", 0), 0u);

  const auto* version = p.Resource("VERSION", "1");
  ASSERT_NE(version, nullptr);
  const std::string& v = version->data;
  ASSERT_GT(v.size(), 92u);
  EXPECT_EQ(Le16(v, 0), v.size());
  EXPECT_EQ(Le16(v, 2), 52u);
  EXPECT_EQ(Le32(v, 40), 0xFEEF04BDu);
  EXPECT_EQ(Le32(v, 48), static_cast<uint32_t>(TABRIX_VERSION_MAJOR << 16 | TABRIX_VERSION_MINOR));
  EXPECT_EQ(Le32(v, 52), static_cast<uint32_t>(TABRIX_VERSION_PATCH << 16));  // the release
  EXPECT_EQ(Le32(v, 56), 0x00010000u);  // product version 1.0
  EXPECT_EQ(Le32(v, 60), 0x00000000u);  // .0.0

  const auto* description = p.Resource("RCDATA", "DESCRIPTION");
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->data, p.description);
}

TEST(DesignHost, RefusesALibraryThatIsNoPackage) {
  platform::DesignHost host;
  // Each refusal says which file and why: the loader's own words, or ours.
  auto refusal = [&](const std::string& path) -> std::string {
    try {
      host.LoadPackage(path);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "loaded";
  };
  const std::string missing = refusal("/nonexistent/libTabrix.so");
  EXPECT_NE(missing.find("/nonexistent/libTabrix.so"), std::string::npos) << missing;
  EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;
  // It loads, and has no package table.
  EXPECT_EQ(refusal("libm.so.6"), "libm.so.6: not a package library of this host");
}

INSTANTIATE_TEST_SUITE_P(
    All, PackageLibrary,
    ::testing::Values(Package{"Tabrix_D4U", TABRIX_PACKAGE_D4U, {"vcl40"}},
                      Package{"Tabrix_D5U", TABRIX_PACKAGE_D5U, {"vcl50"}},
                      Package{"Tabrix_D6U", TABRIX_PACKAGE_D6U, {"designide60", "vcl60"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
