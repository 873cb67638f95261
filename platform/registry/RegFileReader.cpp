// Reading registry export files: the physical lines in the file's encoding, then the
// grammar of keys and values, within limits of size and memory fit for untrusted files.
#include <cstdint>
#include <optional>

#include "platform/registry/RegEncoding.h"
#include "platform/registry/RegFile.h"

namespace platform::registry {
namespace {

constexpr const char* kNotRegistryFile =
    "not a registry file: the first line must be REGEDIT4 or Windows Registry Editor Version 5.00";
constexpr size_t kMaxFileBytes = size_t{64} << 20;
constexpr size_t kMaxValueBytes = size_t{1} << 20;
// What the keys and values read may take beyond twice the file's size: enough for the
// bookkeeping of ten thousand data sources of twenty short values each, in any file.
constexpr size_t kMemoryAllowance = size_t{64} << 20;
// A quoted value of 1 MiB, written with every character escaped, plus its name.
constexpr size_t kMaxLineBytes = 2 * kMaxValueBytes + 64 * 1024;

// The file's physical lines, one at a time, as UTF-8 without their line end.
class LineReader {
 public:
  LineReader(std::string_view bytes, RegFormat format, size_t start)
      : bytes_(bytes), format_(format), pos_(start) {}

  // False at the end of the file.
  bool Next(std::string& line) {
    if (pos_ >= bytes_.size()) return false;
    ++line_;
    line.clear();
    bool carriageReturn = false;
    while (pos_ < bytes_.size()) {
      const char32_t c = NextChar();
      if (c == '\n') break;
      if (carriageReturn) Refuse(line_, "a carriage return without a line feed");
      carriageReturn = c == '\r';
      if (carriageReturn) continue;
      if (line.size() >= kMaxLineBytes) {
        const size_t start = line.find_first_not_of(" \t");
        Refuse(line_, start != std::string::npos && (line[start] == '"' || line[start] == '@')
                          ? "a value larger than 1 MiB: refused, not loaded"
                          : "a line longer than 2 MiB: refused, not loaded");
      }
      AppendUtf8(line, c);
    }
    return true;
  }

  size_t Line() const { return line_; }

 private:
  char32_t NextChar() {
    if (format_ == RegFormat::Regedit4)
      return FromCp1252(static_cast<unsigned char>(bytes_[pos_++]));
    const char32_t c = Unit(pos_);
    pos_ += 2;
    if (c < 0xD800 || c >= 0xE000) return c;
    if (c < 0xDC00 && pos_ < bytes_.size()) {
      const char32_t low = Unit(pos_);
      if (low >= 0xDC00 && low < 0xE000) {
        pos_ += 2;
        return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    Refuse(line_, "an unpaired UTF-16 surrogate");
  }
  char32_t Unit(size_t at) const {
    return static_cast<unsigned char>(bytes_[at]) | static_cast<unsigned char>(bytes_[at + 1]) << 8;
  }

  std::string_view bytes_;
  RegFormat format_;
  size_t pos_;
  size_t line_ = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The number written in 1 to `maxDigits` hex digits, or nullopt.
std::optional<uint32_t> ParseHexNumber(std::string_view digits, size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  uint32_t n = 0;
  for (char c : digits) {
    if (!IsHexDigit(c)) return std::nullopt;
    n = n << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return n;
}

// The quoted text at text[pos] == '"', unescaped; leaves pos after the closing quote.
std::string Unquote(std::string_view text, size_t& pos, size_t line) {
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (++pos == text.size()) break;
      c = text[pos];
      if (c != '\\' && c != '"' && c != '\0') {
        const bool printable = c > ' ' && c < 0x7F;
        Refuse(line, "a bad escape \\" + (printable ? std::string(1, c) : std::string()) +
                         " (only \\\\ and \\\" are known)");
      }
    }
    if (c == '\0') Refuse(line, "a NUL inside a string value");
    out += c;
  }
  Refuse(line, "an unterminated string");
}

// String data read from hex(1) or hex(2): the final NUL, when there is one, ends it, and no
// other may be inside.
std::string StringFromData(std::string_view bytes, RegFormat format, size_t line) {
  std::string text = DecodeText(bytes, format, line);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  if (text.find('\0') != std::string::npos) Refuse(line, "a NUL inside a string value");
  return text;
}

// MULTI_SZ data: each item ends in a NUL and an empty item ends the list.
std::vector<std::string> ItemsFromData(std::string_view bytes, RegFormat format, size_t line) {
  std::string text = DecodeText(bytes, format, line);
  std::vector<std::string> items;
  if (text.empty() || text == std::string_view("\0", 1)) return items;
  if (text.size() >= 2 && text.ends_with(std::string_view("\0\0", 2))) text.pop_back();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

uint64_t LittleEndian(std::string_view bytes) {
  uint64_t n = 0;
  for (size_t i = bytes.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(bytes[i]);
  return n;
}

// The typed value for hex(N) data.
void TypeHexValue(RegValue& value, bool plainHex, std::string bytes, RegFormat format) {
  const unsigned raw = plainHex ? kRegBinary : value.rawType;
  value.rawType = raw;
  if (raw == kRegSz || raw == kRegExpandSz) {
    value.type = raw == kRegSz ? RegType::String : RegType::ExpandString;
    value.text = StringFromData(bytes, format, value.line);
  } else if (raw == kRegMultiSz) {
    value.type = RegType::MultiString;
    value.items = ItemsFromData(bytes, format, value.line);
  } else if ((raw == kRegDword && bytes.size() == 4) || (raw == kRegQword && bytes.size() == 8)) {
    value.type = raw == kRegDword ? RegType::Dword : RegType::Qword;
    value.text = std::to_string(LittleEndian(bytes));
  } else {
    value.type = raw == kRegBinary ? RegType::Binary : RegType::Other;
    value.text = std::move(bytes);
  }
}

class Parser {
 public:
  Parser(std::string_view bytes, RegFormat format, size_t start)
      : lines_(bytes, format, start), budget_(2 * bytes.size() + kMemoryAllowance) {
    file_.format = format;
  }

  RegFile Parse() {
    lines_.Next(line_);
    if (TrimBlanks(line_) !=
        (file_.format == RegFormat::Version5 ? kVersion5Header : kRegedit4Header))
      Refuse(1, kNotRegistryFile);
    while (lines_.Next(line_)) {
      const std::string_view text = TrimBlanks(line_);
      if (text.empty() || text.front() == ';') continue;
      if (text.front() == '[') {
        ParseKey(text);
      } else if (text.front() == '"' || text.front() == '@') {
        ParseValue(text);
      } else {
        Refuse(lines_.Line(), "expected [key], a \"name\"= or @= value, or a ; comment");
      }
    }
    return std::move(file_);
  }

 private:
  void ParseKey(std::string_view text) {
    if (text.back() != ']') Refuse(lines_.Line(), "a key without its closing ]");
    RegKey key;
    key.line = lines_.Line();
    std::string_view path = text.substr(1, text.size() - 2);
    if (!path.empty() && path.front() == '-') {
      key.remove = true;
      path.remove_prefix(1);
    }
    if (path.empty()) Refuse(key.line, "an empty key name");
    if (path.find('\0') != std::string_view::npos) Refuse(key.line, "a NUL inside a key name");
    key.path = path;
    Charge(sizeof(RegKey) + key.path.size(), key.line);
    file_.keys.push_back(std::move(key));
  }

  void ParseValue(std::string_view text) {
    RegValue value;
    value.line = lines_.Line();
    if (file_.keys.empty()) Refuse(value.line, "a value before any [key]");
    if (file_.keys.back().remove) Refuse(value.line, "a value under a key being removed");
    size_t pos = 1;
    if (text.front() == '"') {
      pos = 0;
      value.name = Unquote(text, pos, value.line);
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos == text.size() || text[pos] != '=')
      Refuse(value.line, "expected = after the value's name");
    const std::string_view data = TrimBlanks(text.substr(pos + 1));
    if (data.empty()) Refuse(value.line, "a value without data");
    if (data.front() == '"') {
      size_t end = 0;
      value.text = Unquote(data, end, value.line);
      if (end != data.size()) Refuse(value.line, "text after the string's closing quote");
      if (value.text.size() > kMaxValueBytes)
        Refuse(value.line, "a value larger than 1 MiB: refused, not loaded");
    } else if (data == "-") {
      value.removed = true;
    } else if (data.starts_with("dword:")) {
      const std::optional<uint32_t> n = ParseHexNumber(data.substr(6), 8);
      if (!n) Refuse(value.line, "a bad dword (1 to 8 hex digits expected)");
      value.type = RegType::Dword;
      value.rawType = kRegDword;
      value.text = std::to_string(*n);
    } else if (data.starts_with("hex:") || data.starts_with("hex(")) {
      ParseHexValue(value, data);
    } else {
      Refuse(value.line, "an unknown kind of data (expected \"text\", dword:, hex: or hex(N):)");
    }
    size_t size = sizeof(RegValue) + value.name.size() + value.text.size();
    for (const std::string& item : value.items) size += sizeof(std::string) + item.size();
    Charge(size, value.line);
    file_.keys.back().values.push_back(std::move(value));
  }

  void ParseHexValue(RegValue& value, std::string_view data) {
    const bool plainHex = data.starts_with("hex:");
    size_t listAt = 4;
    if (!plainHex) {
      const size_t close = data.find("):");
      const std::optional<uint32_t> type = close == std::string_view::npos
                                               ? std::nullopt
                                               : ParseHexNumber(data.substr(4, close - 4), 8);
      if (!type) Refuse(value.line, "a bad hex(N): type");
      value.rawType = *type;
      listAt = close + 2;
    }
    std::string bytes;
    std::string_view list = data.substr(listAt);
    while (AppendHexBytes(list, bytes, value.line)) {
      const size_t continued = lines_.Line();
      do {
        if (!lines_.Next(line_)) Refuse(continued, "hex data continued past the end of the file");
        list = TrimBlanks(line_);
      } while (!list.empty() && list.front() == ';');
    }
    TypeHexValue(value, plainHex, std::move(bytes), file_.format);
  }

  // Appends one line's comma-separated bytes; true when the line ends in a backslash, so the
  // data goes on over the next line.
  bool AppendHexBytes(std::string_view list, std::string& bytes, size_t valueLine) {
    const bool continues = !list.empty() && list.back() == '\\';
    if (continues) list.remove_suffix(1);
    list = TrimBlanks(list);
    if (!list.empty() && list.back() == ',') list.remove_suffix(1);
    if (list.empty()) return continues;
    while (true) {
      const size_t comma = list.find(',');
      const std::optional<uint32_t> byte = ParseHexNumber(TrimBlanks(list.substr(0, comma)), 2);
      if (!byte)
        Refuse(lines_.Line(), "bad hex data (bytes of two hex digits between commas expected)");
      if (bytes.size() == kMaxValueBytes)
        Refuse(valueLine, "a value larger than 1 MiB: refused, not loaded");
      bytes += static_cast<char>(*byte);
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
    return continues;
  }

  // Many small keys and values take far more memory than their lines: a file of nothing else
  // is refused before it takes more than about twice its size.
  void Charge(size_t bytes, size_t line) {
    used_ += bytes;
    if (used_ > budget_)
      Refuse(line,
             "more keys and values than memory allows for a file of this size: refused, "
             "not loaded");
  }

  LineReader lines_;
  std::string line_;
  RegFile file_;
  size_t budget_;
  size_t used_ = 0;
};

// The file's format from its first bytes, or a refusal naming line 1.
RegFormat DetectFormat(std::string_view bytes, size_t& start) {
  if (bytes.starts_with("\xFF\xFE")) {
    start = 2;
    return RegFormat::Version5;
  }
  start = 0;
  if (bytes.starts_with(kRegedit4Header)) return RegFormat::Regedit4;
  if (bytes.starts_with(kVersion5Header))
    Refuse(1, "a Version 5.00 file must be UTF-16LE with a byte-order mark (this one has none)");
  if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0')
    Refuse(1, "UTF-16LE text without a byte-order mark");
  Refuse(1, kNotRegistryFile);
}

}  // namespace

RegFile ParseRegFile(std::string_view bytes) {
  if (bytes.size() > kMaxFileBytes) Refuse(1, "a file larger than 64 MiB: refused, not loaded");
  size_t start = 0;
  const RegFormat format = DetectFormat(bytes, start);
  if (format == RegFormat::Version5 && bytes.size() % 2 != 0) {
    // Checked first: a cut-off file breaks its last line too, and the cut is the news.
    size_t line = 1;
    for (size_t i = start; i + 1 < bytes.size(); i += 2)
      if (bytes[i] == '\n' && bytes[i + 1] == '\0') ++line;
    Refuse(line, "the file ends inside a UTF-16 character (an odd number of bytes): truncated?");
  }
  return Parser(bytes, format, start).Parse();
}

}  // namespace platform::registry
