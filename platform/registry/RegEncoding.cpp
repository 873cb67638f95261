#include "platform/registry/RegEncoding.h"

#include <cstdio>

namespace platform::registry {

namespace {

std::string CodePoint(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

}  // namespace

RegFileError::RegFileError(size_t line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line(line) {}

void Refuse(size_t line, const std::string& reason) { throw RegFileError(line, reason); }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::optional<char32_t> NextUtf8(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  size_t length = lead < 0x80                   ? 1
                  : lead >= 0xF0 && lead < 0xF5 ? 4
                  : lead >= 0xE0                ? 3
                  : lead >= 0xC2 && lead < 0xE0 ? 2
                                                : 0;
  if (length == 0 || text.size() - pos < length) return std::nullopt;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return std::nullopt;
  pos += length;
  return c;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char b : bytes) AppendUtf8(out, FromCp1252(static_cast<unsigned char>(b)));
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const std::optional<char32_t> c = NextUtf8(text, pos);
    const std::optional<unsigned char> byte = c ? ToCp1252(*c) : std::nullopt;
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

void EncodeText(std::string_view text, RegFormat format, size_t line, std::string& out) {
  out.reserve(out.size() + (format == RegFormat::Version5 ? 2 * text.size() : text.size()));
  for (size_t pos = 0; pos < text.size();) {
    const std::optional<char32_t> c = NextUtf8(text, pos);
    if (!c) Refuse(line, "text that is not UTF-8");
    if (format == RegFormat::Regedit4) {
      const std::optional<unsigned char> byte = ToCp1252(*c);
      if (!byte)
        Refuse(line, CodePoint(*c) + " cannot be written in a REGEDIT4 file (code page 1252)");
      out += static_cast<char>(*byte);
      continue;
    }
    auto unit = [&out](char32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    };
    if (*c < 0x10000) {
      unit(*c);
    } else {
      unit(0xD800 + ((*c - 0x10000) >> 10));
      unit(0xDC00 + ((*c - 0x10000) & 0x3FF));
    }
  }
}

std::string DecodeText(std::string_view bytes, RegFormat format, size_t line) {
  if (format == RegFormat::Regedit4) return Cp1252ToUtf8(bytes);
  std::string out;
  if (bytes.size() % 2 != 0) Refuse(line, "UTF-16 string data with an odd number of bytes");
  auto unit = [&bytes](size_t i) -> char32_t {
    return static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 2 < bytes.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      Refuse(line, "string data with an unpaired UTF-16 surrogate");
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace platform::registry
