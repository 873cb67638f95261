#include "platform/registry/RegFile.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace platform::registry {

RegFileError::RegFileError(size_t line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line(line) {}

namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr const char* kNotRegistryFile =
    "not a registry file: the first line must be REGEDIT4 or Windows Registry Editor Version 5.00";
constexpr size_t kMaxFileBytes = size_t{64} << 20;
constexpr size_t kMaxValueBytes = size_t{1} << 20;
// What the keys and values read may take beyond twice the file's size: enough for the
// bookkeeping of ten thousand data sources of twenty short values each, in any file.
constexpr size_t kMemoryAllowance = size_t{64} << 20;
// A quoted value of 1 MiB, written with every character escaped, plus its name.
constexpr size_t kMaxLineBytes = 2 * kMaxValueBytes + 64 * 1024;
// The registry editor breaks hex data after the comma that takes a line to this many
// characters; the backslash and, at most, the two digits before the comma go past it.
constexpr size_t kHexWrapColumn = 77;

constexpr unsigned kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7,
                   kRegQword = 11;

[[noreturn]] void Refuse(size_t line, const std::string& reason) {
  throw RegFileError(line, reason);
}

// ---- Character sets ----------------------------------------------------------------------

// Code page 1252's 0x80-0x9F. The five bytes it leaves undefined map to the C1 controls of the
// same number, as Windows maps them, so every byte reads and writes back unchanged.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromCp1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

std::optional<unsigned char> ToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (unsigned i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
  return std::nullopt;
}

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

// The next character of UTF-8 `text` at `pos`, advancing past it; nullopt for bytes that are
// not UTF-8 (overlong forms and surrogates included).
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

std::string CodePoint(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

// Appends UTF-8 text in the file's encoding: UTF-16LE for Version 5, code page 1252 for
// REGEDIT4. `line` names the line of the file being written in a refusal.
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

// String data of a hex(N) value, UTF-16LE or code page 1252 by the file's format, as UTF-8.
std::string DecodeText(std::string_view bytes, RegFormat format, size_t line) {
  std::string out;
  if (format == RegFormat::Regedit4) {
    for (char b : bytes) AppendUtf8(out, FromCp1252(static_cast<unsigned char>(b)));
    return out;
  }
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

// ---- Reading -------------------------------------------------------------------------------

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

// ---- Writing -------------------------------------------------------------------------------

namespace {

// Builds the file as UTF-8 text with CRLF line ends, then encodes it.
class Writer {
 public:
  explicit Writer(RegFormat format) : format_(format) {}

  std::string Write(const RegFile& file) {
    Put(format_ == RegFormat::Version5 ? kVersion5Header : kRegedit4Header);
    EndLine();
    for (const RegKey& key : file.keys) {
      EndLine();
      CheckText(key.path, "a key name", true);
      Put("[");
      if (key.remove) Put("-");
      Put(key.path);
      Put("]");
      EndLine();
      for (const RegValue& value : key.values) WriteValue(value);
    }
    EndLine();
    std::string out = format_ == RegFormat::Version5 ? "\xFF\xFE" : "";
    EncodeText(text_, format_, 1, out);
    return out;
  }

 private:
  void WriteValue(const RegValue& value) {
    const size_t lineStart = text_.size();
    if (value.name.empty()) {
      Put("@=");
    } else {
      CheckText(value.name, "a value name", true);
      Put("\"");
      Put(Escape(value.name));
      Put("\"=");
    }
    const size_t nameWidth = Utf16Units(std::string_view(text_).substr(lineStart));
    if (value.removed) {
      Put("-");
    } else {
      switch (value.type) {
        case RegType::String:
          if (value.text.find_first_of("\r\n") == std::string::npos) {
            CheckText(value.text, "a string value", true);
            Put("\"" + Escape(value.text) + "\"");
          } else {
            // A line end would split a quoted string; the registry's own bytes carry it whole.
            PutHex(nameWidth, kRegSz, StringData(value.text));
          }
          break;
        case RegType::ExpandString:
          PutHex(nameWidth, kRegExpandSz, StringData(value.text));
          break;
        case RegType::MultiString: {
          std::string data;
          for (const std::string& item : value.items) data += StringData(item);
          data += StringData("");  // the empty item that ends the list
          PutHex(nameWidth, kRegMultiSz, data);
          break;
        }
        case RegType::Dword: {
          char buf[16];
          std::snprintf(buf, sizeof buf, "dword:%08x",
                        static_cast<unsigned>(Number(value, 0xFFFFFFFFu)));
          Put(buf);
          break;
        }
        case RegType::Qword: {
          const uint64_t n = Number(value, UINT64_MAX);
          std::string data;
          for (int i = 0; i < 8; ++i) data += static_cast<char>(n >> (8 * i) & 0xFF);
          PutHex(nameWidth, kRegQword, data);
          break;
        }
        case RegType::Binary:
          PutHex(nameWidth, kRegBinary, value.text);
          break;
        case RegType::Other:
          PutHex(nameWidth, value.rawType, value.text);
          break;
      }
    }
    EndLine();
  }

  // "hex:" or "hex(N):" and the bytes, wrapped as the registry editor wraps them.
  void PutHex(size_t width, unsigned rawType, std::string_view bytes) {
    char prefix[24] = "hex:";
    if (rawType != kRegBinary) std::snprintf(prefix, sizeof prefix, "hex(%x):", rawType);
    Put(prefix);
    width += std::string_view(prefix).size();
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      text_ += kDigits[b >> 4];
      text_ += kDigits[b & 0xF];
      if (i + 1 == bytes.size()) break;
      text_ += ',';
      width += 3;
      if (width >= kHexWrapColumn) {
        text_ += '\\';
        EndLine();
        text_ += "  ";
        width = 2;
      }
    }
  }

  // A string's registry data: the file's encoding, with the final NUL.
  std::string StringData(std::string_view text) {
    CheckText(text, "a string value", false);
    std::string data;
    EncodeText(text, format_, line_, data);
    data.append(format_ == RegFormat::Version5 ? 2 : 1, '\0');
    return data;
  }

  uint64_t Number(const RegValue& value, uint64_t max) {
    uint64_t n = 0;
    bool ok = !value.text.empty() && value.text.size() <= 20;
    for (char c : value.text) {
      if (c < '0' || c > '9' || n > (max - (c - '0')) / 10) ok = false;
      if (!ok) break;
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!ok) Refuse(line_, "\"" + value.text + "\" is not a number the value's type can hold");
    return n;
  }

  // Refuses, at the line it would go on, text the file cannot hold: a NUL, a line end where
  // the text must stay on its line, and in REGEDIT4 what code page 1252 lacks.
  void CheckText(std::string_view text, const std::string& what, bool onOneLine) {
    if (text.find('\0') != std::string_view::npos) Refuse(line_, what + " with a NUL inside");
    if (onOneLine && text.find_first_of("\r\n") != std::string_view::npos)
      Refuse(line_, what + " with a line end inside");
    std::string encoded;
    EncodeText(text, format_, line_, encoded);
  }

  static std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
      if (c == '\\' || c == '"') out += '\\';
      out += c;
    }
    return out;
  }

  // The width of UTF-8 text in UTF-16 units, as the registry editor counts its lines.
  static size_t Utf16Units(std::string_view text) {
    size_t units = 0;
    for (char c : text) {
      const auto b = static_cast<unsigned char>(c);
      if ((b & 0xC0) != 0x80) ++units;
      if (b >= 0xF0) ++units;
    }
    return units;
  }

  void Put(std::string_view s) { text_ += s; }
  void EndLine() {
    text_ += "\r\n";
    ++line_;
  }

  RegFormat format_;
  std::string text_;
  size_t line_ = 1;
};

}  // namespace

std::string WriteRegFile(const RegFile& file) { return Writer(file.format).Write(file); }

}  // namespace platform::registry
