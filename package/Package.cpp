// The package unit: what identifies one package library, and the table the design host
// reads to load it.
#include <optional>
#include <string_view>

#include "design/TabrixCreateEditors.h"
#include "design/eOrvaneAbout.h"
#include "design/edsncompreg.h"
#include "package/Resources.h"
#include "platform/Export.h"
#include "platform/designer/PackageAbi.h"

#ifndef TABRIX_PACKAGE
#error TABRIX_PACKAGE names the package being built
#endif
#ifndef TABRIX_HOST_VERSION
#error TABRIX_HOST_VERSION is the host runtime version (4, 5 or 6)
#endif

extern "C" {
TABRIX_API extern const char TabrixPackageName[] = TABRIX_PACKAGE;
TABRIX_API extern const char TabrixPackageDescription[] = TABRIX_PACKAGE_DESCRIPTION;
}

namespace {

#if TABRIX_HOST_VERSION == 4
const char* const kRequired[] = {"vcl40"};
#elif TABRIX_HOST_VERSION == 5
const char* const kRequired[] = {"vcl50"};
#else
const char* const kRequired[] = {"designide60", "vcl60"};
#endif

const TabrixPackageUnit kUnits[] = {
    {TABRIX_PACKAGE, nullptr},
    {"TabrixCreateUnit", TabrixCreateUnit::Register},
    {"StartUp", nullptr},  // the host's start-up unit
    {"TabrixCodeUnit", nullptr},
    {"eOrvaneAbout", nullptr},
    {"edsncompreg", edsncompreg::Register},
};

void SetRegistrar(void* registrar) {
  static std::optional<platform::ScopedRegistrar> scope;
  scope.reset();
  if (registrar) scope.emplace(static_cast<platform::Registrar*>(registrar));
}

template <class Container>
TabrixPackageResource Resource(const char* type, const char* name, const Container& bytes) {
  return {type, name, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
}

}  // namespace

extern "C" TABRIX_API const TabrixPackageInfo* TabrixPackage() {
  using namespace tabrix::package;
  static const std::string_view description = TabrixPackageDescription;
  static const TabrixPackageResource resources[] = {
      Resource("BITMAP", "TTABRIXCREATOR", PaletteBitmap()),
      Resource("ICON", "MAINICON", MainIcon()),
      Resource("RCDATA", "TORVANEABOUTFORM", eOrvaneAbout::OrvaneAboutFormResource()),
      Resource("VERSION", "1", VersionBlock()),
      Resource("RCDATA", "DESCRIPTION", description),
  };
  static const TabrixPackageInfo info{
      .abiVersion = kTabrixPackageAbi,
      .name = TabrixPackageName,
      .description = TabrixPackageDescription,
      .designTime = 1,
      .runTime = 1,
      .required = kRequired,
      .requiredCount = std::size(kRequired),
      .units = kUnits,
      .unitCount = std::size(kUnits),
      .resources = resources,
      .resourceCount = std::size(resources),
      .SetRegistrar = SetRegistrar,
  };
  return &info;
}
