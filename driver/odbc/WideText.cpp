// Text between UTF-8 and UTF-16, and strings into callers' buffers.
#include <algorithm>
#include <cstring>

#include "odbc/Handles.h"

namespace tabrix::odbc {

std::string FromWide(const SQLWCHAR* text, SQLLEN length) {
  std::string out;
  if (!text) return out;
  if (length == SQL_NTS) {
    length = 0;
    while (text[length]) ++length;
  }
  if (length < 0) return out;
  out.reserve(static_cast<size_t>(length));
  for (SQLLEN i = 0; i < length; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
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
  return out;
}

void AppendWide(std::string& out, std::string_view s) {
  auto put = [&out](uint32_t unit) {
    SQLWCHAR w = static_cast<SQLWCHAR>(unit);
    out.append(reinterpret_cast<const char*>(&w), sizeof w);
  };
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    uint32_t c;
    size_t n;
    if (b < 0x80) {
      c = b, n = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, n = 4;
    } else {
      put(0xFFFD);
      ++i;
      continue;
    }
    if (i + n > s.size()) {
      put(0xFFFD);
      break;
    }
    bool valid = true;
    for (size_t k = 1; k < n; ++k) {
      unsigned char cont = static_cast<unsigned char>(s[i + k]);
      if ((cont & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (cont & 0x3F);
    }
    if (!valid) {
      put(0xFFFD);
      ++i;
      continue;
    }
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
}

bool PutString(const std::string& utf8, SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* length,
               bool wide, bool lengthInBytes) {
  if (!wide) {
    if (length) *length = static_cast<SQLLEN>(utf8.size());
    if (!buffer) return false;  // only the length was asked for
    if (bufferLength <= 0) return !utf8.empty();
    size_t n = std::min(utf8.size(), static_cast<size_t>(bufferLength - 1));
    // Cut at a whole character.
    while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, utf8.data(), n);
    static_cast<char*>(buffer)[n] = 0;
    return n < utf8.size();
  }
  std::string units;
  AppendWide(units, utf8);
  const size_t count = units.size() / sizeof(SQLWCHAR);
  if (length) *length = static_cast<SQLLEN>(lengthInBytes ? units.size() : count);
  SQLLEN capacity = lengthInBytes ? bufferLength / static_cast<SQLLEN>(sizeof(SQLWCHAR)) : bufferLength;
  if (!buffer) return false;
  if (capacity <= 0) return count > 0;
  size_t n = std::min(count, static_cast<size_t>(capacity - 1));
  auto* out = static_cast<SQLWCHAR*>(buffer);
  std::memcpy(out, units.data(), n * sizeof(SQLWCHAR));
  if (n > 0 && n < count && out[n - 1] >= 0xD800 && out[n - 1] <= 0xDBFF) --n;  // no half pair
  out[n] = 0;
  return n < count;
}

}  // namespace tabrix::odbc
