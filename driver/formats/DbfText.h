// The text of a .dbf in its header's code page, turned into UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabrix::formats {

// The iconv name of the code page a header's language driver mark (byte 29) stands for;
// empty for no mark or one this reader does not know.
std::string CodePageOfMark(uint8_t mark);

class DbfText {
 public:
  // `codePage` as CodePageOfMark gives it; empty: no mark, and text is taken as UTF-8 where
  // it is valid UTF-8 and as code page 1252 otherwise (what tools that write no mark mean).
  explicit DbfText(const std::string& codePage);
  ~DbfText();
  DbfText(const DbfText&) = delete;
  DbfText& operator=(const DbfText&) = delete;

  // Appends `bytes` as UTF-8 to `out`; a byte the code page leaves undefined becomes U+FFFD.
  void Append(std::string_view bytes, std::string& out);

 private:
  void AppendByTable(std::string_view bytes, std::string& out) const;
  void AppendByIconv(std::string_view bytes, std::string& out);

  // Single-byte code pages: the UTF-8 of each byte from 0x80 (its length in the last byte).
  std::array<std::array<char, 4>, 128> high_{};
  bool guess_ = false;     // no mark: UTF-8 or 1252
  void* iconv_ = nullptr;  // multi-byte code pages (932, 936, 949, 950)
};

}  // namespace tabrix::formats
