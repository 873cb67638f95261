// Writes the package's resources as the files Package.rc names, so that the Windows build's
// libraries hold the bytes their package table holds. A program for the machine the build
// runs on: the cross build compiles it with the host's compiler and runs it.
//   tabrix-resource-files FOLDER
#include <cstdio>
#include <string>
#include <string_view>

#include "package/Resources.h"

namespace {

bool Write(const std::string& path, const void* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  using namespace tabrix::package;
  const std::string_view description = TABRIX_PACKAGE_DESCRIPTION;
  const struct {
    const char* name;
    const void* data;
    size_t size;
  } files[] = {
      {"TTabrixCreator.bmp", PaletteBitmap().data(), PaletteBitmap().size()},
      {"MainIcon.ico", MainIcon().data(), MainIcon().size()},
      {"VersionBlock.bin", VersionBlock().data(), VersionBlock().size()},
      {"Description.bin", description.data(), description.size()},
  };
  for (const auto& file : files) {
    const std::string path = std::string(argv[1]) + "/" + file.name;
    if (!Write(path, file.data, file.size)) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
