// The client's drawing module, loaded on first use: by the about verb, and by the framework's
// text measuring, which on Linux needs FreeType and fontconfig. Every other run of the client
// starts without those libraries.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <stdexcept>

#include "platform/framework/Graphics.h"
#include "tools/tabrix/AboutDrawing.h"

namespace tabrix::cli {
namespace {

// The folder of the running program.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string program(path, static_cast<size_t>(n));
  return program.substr(0, program.rfind('/'));
}

// Beside the program in the build folder; installed, in the library folder's tabrix/.
void* Load(std::string& why) {
  const std::string folder = ProgramFolder();
  const std::string installed = folder + "/" TABRIX_MODULES_FROM_PROGRAM;
  for (const std::string& dir : {folder, installed}) {
    const std::string module = dir + "/tabrix-about.so";
    if (access(module.c_str(), F_OK) != 0) continue;
    if (void* library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    why = dlerror();
    return nullptr;
  }
  why = "tabrix-about.so is neither in " + folder + " nor in " + installed;
  return nullptr;
}

class ModuleMeasurer : public platform::TextMeasurer {
 public:
  platform::TSize TextExtent(const platform::TFont& font, std::string_view text) override {
    std::string why;
    void* module = DrawingModule(why);
    auto* measure = module
                        ? reinterpret_cast<MeasureTextFunction*>(dlsym(module, "TabrixMeasureText"))
                        : nullptr;
    if (module && !measure) why = dlerror();
    if (!measure) throw std::runtime_error("text cannot be measured: " + why);
    platform::TSize size;
    char error[1024] = {};
    if (measure(font.Name.c_str(), font.Height, font.Style, font.Charset, text.data(), text.size(),
                &size.cx, &size.cy, error, sizeof error) != 0)
      throw std::runtime_error(error);
    return size;
  }
};

}  // namespace

void* DrawingModule(std::string& why) {
  // Loaded once and kept: FreeType and fontconfig hold state until the process ends.
  static std::once_flag once;
  static void* module = nullptr;
  static std::string failure;
  std::call_once(once, [] { module = Load(failure); });
  why = failure;
  return module;
}

}  // namespace tabrix::cli

// The client's text-measuring backend, in place of the platform's FreeType one, which CMake
// leaves out of the client.
namespace platform {
TextMeasurer& DefaultTextMeasurer() {
  static tabrix::cli::ModuleMeasurer measurer;
  return measurer;
}
}  // namespace platform
