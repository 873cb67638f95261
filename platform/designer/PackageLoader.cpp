// Package libraries through the platform's dynamic loader.
#include <stdexcept>

#include "platform/designer/DesignHost.h"
#include "platform/designer/DynamicLibrary.h"
#include "platform/designer/PackageAbi.h"

namespace platform {
namespace {

TLoadedPackage Describe(const TabrixPackageInfo& info) {
  TLoadedPackage p;
  p.name = info.name;
  p.description = info.description;
  p.designTime = info.designTime != 0;
  p.runTime = info.runTime != 0;
  for (size_t i = 0; i < info.requiredCount; ++i) p.required.emplace_back(info.required[i]);
  for (size_t i = 0; i < info.unitCount; ++i) p.units.emplace_back(info.units[i].name);
  for (size_t i = 0; i < info.resourceCount; ++i) {
    const TabrixPackageResource& r = info.resources[i];
    p.resources.push_back(
        {r.type, r.name, std::string(reinterpret_cast<const char*>(r.data), r.size)});
  }
  return p;
}

}  // namespace

DesignHost::~DesignHost() {
  registrations_.clear();
  for (auto it = libraries_.rbegin(); it != libraries_.rend(); ++it) dynlib::Close(*it);
}

const TLoadedPackage& DesignHost::LoadPackage(const std::string& path) {
  void* library = dynlib::Open(path);
  libraries_.push_back(library);
  auto function =
      reinterpret_cast<TabrixPackageFunction>(dynlib::Symbol(library, kTabrixPackageSymbol));
  const TabrixPackageInfo* info = function ? function() : nullptr;
  if (!info || info->abiVersion != kTabrixPackageAbi)
    throw std::runtime_error(path + ": not a package library of this host");
  packages_.push_back(Describe(*info));

  // The package's own registration calls reach this host only while it is set.
  struct Unset {
    const TabrixPackageInfo* info;
    ~Unset() { info->SetRegistrar(nullptr); }
  } unset{info};
  info->SetRegistrar(static_cast<Registrar*>(this));
  for (size_t i = 0; i < info->unitCount; ++i)
    if (info->units[i].Register) info->units[i].Register();
  return packages_.back();
}

}  // namespace platform
