// Writing registry export files as the registry editor writes its own.
#include <cstdint>
#include <cstdio>

#include "platform/registry/RegEncoding.h"
#include "platform/registry/RegFile.h"

namespace platform::registry {
namespace {

// The registry editor breaks hex data after the comma that takes a line to this many
// characters; the backslash and, at most, the two digits before the comma go past it.
constexpr size_t kHexWrapColumn = 77;

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
