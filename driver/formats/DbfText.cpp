#include "driver/formats/DbfText.h"

#include <iconv.h>

#include <cerrno>

namespace tabrix::formats {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

bool MultiByte(const std::string& codePage) {
  return codePage == "CP932" || codePage == "CP936" || codePage == "CP949" || codePage == "CP950";
}

// The length of the valid UTF-8 sequence at the start of `s`, or 0.
size_t Utf8Sequence(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4;
  else
    return 0;
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i)
    if ((b(i) & 0xC0) != 0x80) return 0;
  if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
  if (c == 0xED && b(1) > 0x9F) return 0;  // surrogate
  if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
  if (c == 0xF4 && b(1) > 0x8F) return 0;  // past U+10FFFF
  return n;
}

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t n = Utf8Sequence(s.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// The code pages the header's byte 29 marks, each with its marks (0 ends a list: 0 is no
// mark).
struct CodePageMarks {
  const char* codePage;
  uint8_t marks[12];
};
const CodePageMarks kCodePageMarks[] = {
    {"CP437", {0x01, 0x09, 0x0B, 0x0D, 0x0F, 0x11, 0x15, 0x18, 0x19, 0x1B}},
    {"CP850", {0x02, 0x0A, 0x0E, 0x10, 0x12, 0x14, 0x16, 0x1A, 0x1D, 0x25, 0x37}},
    {"CP1252", {0x03, 0x57, 0x58, 0x59}},
    {"MACINTOSH", {0x04}},
    {"CP865", {0x08, 0x17, 0x66}},
    {"CP932", {0x13, 0x7B}},
    {"CP863", {0x1C}},
    {"CP852", {0x1F, 0x22, 0x23, 0x40, 0x64}},
    {"CP860", {0x24}},
    {"CP866", {0x26, 0x65}},
    {"CP936", {0x4D, 0x7A}},
    {"CP949", {0x4E, 0x79}},
    {"CP950", {0x4F, 0x78}},
    {"CP874", {0x50, 0x7C}},
    {"CP861", {0x67}},
    {"CP737", {0x6A}},
    {"CP857", {0x6B}},
    {"CP1255", {0x7D}},
    {"CP1256", {0x7E}},
    {"MAC-CYRILLIC", {0x96}},
    {"MAC-CENTRALEUROPE", {0x97}},
    {"CP1250", {0xC8}},
    {"CP1251", {0xC9}},
    {"CP1254", {0xCA}},
    {"CP1253", {0xCB}},
    {"CP1257", {0xCC}},
};

}  // namespace

std::string CodePageOfMark(uint8_t mark) {
  if (mark == 0) return "";
  for (const CodePageMarks& entry : kCodePageMarks)
    for (uint8_t m : entry.marks)
      if (m == mark) return entry.codePage;
  return "";
}

DbfText::DbfText(const std::string& codePage) {
  if (MultiByte(codePage)) {
    iconv_t cd = iconv_open("UTF-8", codePage.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      iconv_ = cd;
      return;
    }
  }
  guess_ = codePage.empty();
  iconv_t cd = iconv_open("UTF-8", guess_ || MultiByte(codePage) ? "CP1252" : codePage.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "CP1252");
  for (unsigned b = 0x80; b < 0x100; ++b) {
    auto& entry = high_[b - 0x80];
    char in = static_cast<char>(b);
    char* inp = &in;
    size_t inLeft = 1;
    char* outp = entry.data();
    size_t outLeft = 3;
    if (cd == reinterpret_cast<iconv_t>(-1) ||
        iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
      entry = {kReplacement[0], kReplacement[1], kReplacement[2], 3};
    } else {
      entry[3] = static_cast<char>(3 - outLeft);
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}

DbfText::~DbfText() {
  if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

void DbfText::Append(std::string_view bytes, std::string& out) {
  size_t ascii = 0;
  while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80) ++ascii;
  if (ascii == bytes.size()) {
    out.append(bytes);
    return;
  }
  if (iconv_) return AppendByIconv(bytes, out);
  if (guess_ && ValidUtf8(bytes.substr(ascii))) {
    out.append(bytes);
    return;
  }
  AppendByTable(bytes, out);
}

void DbfText::AppendByTable(std::string_view bytes, std::string& out) const {
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      const auto& entry = high_[b - 0x80];
      out.append(entry.data(), static_cast<size_t>(entry[3]));
    }
  }
}

void DbfText::AppendByIconv(std::string_view bytes, std::string& out) {
  auto cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outp = buffer;
    size_t outLeft = sizeof buffer;
    const size_t done = iconv(cd, &in, &inLeft, &outp, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (done != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An invalid or cut sequence: its first byte stands for itself, as U+FFFD.
    out += kReplacement;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace tabrix::formats
