// libFuzzer: the attribute-list parser on any bytes. What it accepts must rebuild, pair by
// pair, into exactly the bytes it read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/odbcinst/AttributeList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string list(reinterpret_cast<const char*>(data), size);
  platform::AttributePairs pairs;
  size_t consumed = 0;
  std::string reason;
  if (!platform::ParseAttributeList(list, pairs, consumed, reason)) {
    if (reason.empty()) std::abort();
    return 0;
  }
  std::string rebuilt;
  for (const auto& [k, v] : pairs) {
    if (k.find('\0') != std::string::npos || v.find('\0') != std::string::npos) std::abort();
    platform::AppendAttribute(rebuilt, k, v);
  }
  rebuilt += '\0';
  if (consumed > list.size() || rebuilt != list.substr(0, consumed)) std::abort();
  return 0;
}
