// libFuzzer: the registry-file reader on any bytes, as import meets an untrusted .reg file.
// Reading never crashes and refuses with a RegFileError only; what it reads, written back,
// reads again as the same keys and values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry/RegFile.h"

using namespace platform::registry;

namespace {

bool Same(const RegValue& a, const RegValue& b) {
  return a.name == b.name && a.type == b.type && a.rawType == b.rawType && a.text == b.text &&
         a.items == b.items && a.removed == b.removed;
}

bool Same(const RegFile& a, const RegFile& b) {
  if (a.format != b.format || a.keys.size() != b.keys.size()) return false;
  for (size_t k = 0; k < a.keys.size(); ++k) {
    const RegKey& x = a.keys[k];
    const RegKey& y = b.keys[k];
    if (x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size())
      return false;
    for (size_t v = 0; v < x.values.size(); ++v)
      if (!Same(x.values[v], y.values[v])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RegFile file;
  try {
    file = ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const RegFileError&) {
    return 0;
  }
  // What was read can be written: its text came from the file's own encoding.
  const std::string written = WriteRegFile(file);
  if (!Same(ParseRegFile(written), file)) std::abort();
  return 0;
}
