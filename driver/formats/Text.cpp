#include "driver/formats/Text.h"

namespace tabrix::formats {
namespace {

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of an escape at `pos` ("_x000D_"), or -1.
long Escape(const std::string& s, size_t pos) {
  if (pos + 7 > s.size() || s[pos] != '_' || s[pos + 1] != 'x' || s[pos + 6] != '_') return -1;
  long value = 0;
  for (size_t i = pos + 2; i < pos + 6; ++i) {
    const int h = Hex(s[i]);
    if (h < 0) return -1;
    value = value * 16 + h;
  }
  return value;
}

size_t PutUtf8(char* out, uint32_t c) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | c >> 6);
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | c >> 12);
    out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | c >> 18);
  out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
  out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace

void DecodeEscapes(std::string& text, size_t from) {
  size_t pos = text.find("_x", from);
  if (pos == std::string::npos) return;
  size_t out = pos;
  while (pos < text.size()) {
    const long unit = Escape(text, pos);
    if (unit < 0) {
      text[out++] = text[pos++];
      continue;
    }
    pos += 7;
    uint32_t code = static_cast<uint32_t>(unit);
    if (code >= 0xD800 && code <= 0xDBFF) {
      const long low = Escape(text, pos);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
        pos += 7;
      } else {
        code = 0xFFFD;
      }
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    char utf8[4];
    const size_t n = PutUtf8(utf8, code);
    for (size_t i = 0; i < n; ++i) text[out++] = utf8[i];
  }
  text.resize(out);
}

}  // namespace tabrix::formats
