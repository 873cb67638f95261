// What a package library exports for the design host to look up through the platform's
// loader (dynlib::Symbol): one C function, TabrixPackage, answering a table that describes
// the package, its units and its resources.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct TabrixPackageUnit {
  const char* name;
  void (*Register)();  // null for a unit without one
};

struct TabrixPackageResource {
  const char* type;  // "BITMAP", "ICON", "RCDATA", "VERSION", "DESCRIPTION"
  const char* name;
  const unsigned char* data;
  size_t size;
};

struct TabrixPackageInfo {
  uint32_t abiVersion;  // kTabrixPackageAbi
  const char* name;
  const char* description;
  int designTime;  // usable in the development environment
  int runTime;     // usable by applications
  const char* const* required;
  size_t requiredCount;
  const TabrixPackageUnit* units;  // in the package's order
  size_t unitCount;
  const TabrixPackageResource* resources;
  size_t resourceCount;
  // Where the package's RegisterComponents and RegisterPropertyEditor send their calls: a
  // platform::Registrar*, or null once the host is done.
  void (*SetRegistrar)(void* registrar);
};

typedef const TabrixPackageInfo* (*TabrixPackageFunction)();
}

inline constexpr uint32_t kTabrixPackageAbi = 1;
inline constexpr const char* kTabrixPackageSymbol = "TabrixPackage";
