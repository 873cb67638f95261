#include "driver/formats/NumberFormats.h"

namespace tabrix::formats {

bool IsDateFormatId(uint32_t id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

namespace {

bool IsDatePart(char c) {
  switch (c) {
    case 'd':
    case 'D':
    case 'm':
    case 'M':
    case 'y':
    case 'Y':
    case 'h':
    case 'H':
    case 's':
    case 'S':
      return true;
    default:
      return false;
  }
}

// "[h]", "[mm]", "[ss]": elapsed time, a time format; any other bracket is a colour, a
// condition or a locale.
bool IsElapsed(std::string_view inside) {
  if (inside.empty()) return false;
  const char first = static_cast<char>(inside[0] | 0x20);
  if (first != 'h' && first != 'm' && first != 's') return false;
  for (char c : inside)
    if ((c | 0x20) != first) return false;
  return true;
}

}  // namespace

bool IsDateFormatCode(std::string_view code) {
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    switch (c) {
      case '"': {
        const size_t end = code.find('"', i + 1);
        if (end == std::string_view::npos) return false;
        i = end;
        break;
      }
      case '\\':
      case '_':
      case '*':
        ++i;  // an escaped character, a space as wide as the next, a fill character
        break;
      case '[': {
        const size_t end = code.find(']', i + 1);
        if (end == std::string_view::npos) return false;
        if (IsElapsed(code.substr(i + 1, end - i - 1))) return true;
        i = end;
        break;
      }
      default:
        if (IsDatePart(c)) return true;
    }
  }
  return false;
}

}  // namespace tabrix::formats
