#include "driver/formats/Delimited.h"

#include <cstring>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {
namespace {

enum Class : uint8_t { kPlain, kDelimiter, kQuote, kLF, kCR };

[[noreturn]] void TooLong(uint64_t line) {
  throw FormatError("line " + std::to_string(line) + ": a record longer than " +
                    std::to_string(DelimitedSplitter::kMaxRecordBytes >> 20) +
                    " MB (a quote not closed, or not a file of text records)");
}

}  // namespace

DelimitedSplitter::DelimitedSplitter(char delimiter, char quote, RecordSink& sink)
    : delimiter_(delimiter), quote_(quote), sink_(sink) {
  std::memset(classes_, kPlain, sizeof classes_);
  classes_[static_cast<unsigned char>('\n')] = kLF;
  classes_[static_cast<unsigned char>('\r')] = kCR;
  if (quote_) classes_[static_cast<unsigned char>(quote_)] = kQuote;
  classes_[static_cast<unsigned char>(delimiter_)] = kDelimiter;
}

void DelimitedSplitter::Append(const char* data, size_t size) {
  if (buffer_.size() + size > kMaxRecordBytes) TooLong(recordLine_);
  buffer_.append(data, size);
}

void DelimitedSplitter::AppendByte(char c) {
  if (buffer_.size() >= kMaxRecordBytes) TooLong(recordLine_);
  buffer_.push_back(c);
}

bool DelimitedSplitter::EndField() {
  ends_.push_back(buffer_.size());
  fieldStarted_ = true;
  return true;
}

bool DelimitedSplitter::EndRecord() {
  const bool blank = !fieldStarted_ && buffer_.empty();
  bool go = true;
  if (!blank) {
    ends_.push_back(buffer_.size());
    record_.line = recordLine_;
    record_.fields.clear();
    size_t start = 0;
    for (size_t end : ends_) {
      record_.fields.emplace_back(buffer_.data() + start, end - start);
      start = end;
    }
    go = sink_.OnRecord(record_);
  }
  buffer_.clear();
  ends_.clear();
  fieldStarted_ = false;
  if (!go) stopped_ = true;
  return go;
}

// The steps of Feed, one per state: each moves `p` on and says false once the sink stopped.
// Inline: they are the loop's body, called once per field or run, never per byte.

// A field's first byte: true when it opens a quoted field (and is taken).
inline bool DelimitedSplitter::StartField(const char*& p) {
  if (buffer_.empty() && ends_.empty() && !fieldStarted_) recordLine_ = line_;
  if (quote_ && *p == quote_) {
    state_ = State::Quoted;
    quoteLine_ = line_;
    fieldStarted_ = true;
    ++p;
    return true;
  }
  state_ = State::Unquoted;
  return false;
}

inline bool DelimitedSplitter::FeedUnquoted(const char*& p, const char* end) {
  // The run of plain bytes up to the next delimiter or line end, in one copy.
  const char* run = p;
  while (p < end) {
    const uint8_t c = classes_[static_cast<unsigned char>(*p)];
    if (c == kDelimiter || c == kLF || c == kCR) break;
    ++p;
  }
  if (p > run) {
    Append(run, static_cast<size_t>(p - run));
    fieldStarted_ = true;
  }
  if (p == end) return true;
  const uint8_t c = classes_[static_cast<unsigned char>(*p)];
  ++p;
  if (c == kDelimiter) {
    EndField();
    state_ = State::FieldStart;
    return true;
  }
  ++line_;
  state_ = c == kCR ? State::AfterCR : State::FieldStart;
  return EndRecord();
}

inline void DelimitedSplitter::FeedQuoted(const char*& p, const char* end) {
  const char* run = p;
  while (p < end && *p != quote_) {
    // CRLF counts once, also when a piece ends between the two.
    if (*p == '\n') {
      if (!quotedCR_) ++line_;
      quotedCR_ = false;
    } else {
      quotedCR_ = *p == '\r';
      if (quotedCR_) ++line_;
    }
    ++p;
  }
  if (p > run) Append(run, static_cast<size_t>(p - run));
  if (p == end) return;
  ++p;
  quotedCR_ = false;
  state_ = State::QuoteInQuoted;
}

// The byte after a quote inside a quoted field: a doubled quote, or the field's end.
inline bool DelimitedSplitter::AfterQuote(const char*& p) {
  const uint8_t c = classes_[static_cast<unsigned char>(*p)];
  if (c == kQuote) {
    AppendByte(quote_);
    state_ = State::Quoted;
    ++p;
  } else if (c == kDelimiter) {
    EndField();
    state_ = State::FieldStart;
    ++p;
  } else if (c == kLF || c == kCR) {
    ++line_;
    ++p;
    state_ = c == kCR ? State::AfterCR : State::FieldStart;
    return EndRecord();
  } else {
    // Text after the closing quote is kept as it stands, as spreadsheets read it.
    state_ = State::Unquoted;
  }
  return true;
}

bool DelimitedSplitter::Feed(const char* data, size_t size) {
  if (stopped_) return false;
  const char* p = data;
  const char* end = data + size;
  while (p < end) {
    switch (state_) {
      case State::AfterCR:
        state_ = State::FieldStart;
        if (*p == '\n') {
          ++p;
          continue;
        }
        [[fallthrough]];
      case State::FieldStart:
        if (StartField(p)) continue;
        [[fallthrough]];
      case State::Unquoted:
        if (!FeedUnquoted(p, end)) return false;
        break;
      case State::Quoted:
        FeedQuoted(p, end);
        break;
      case State::QuoteInQuoted:
        if (!AfterQuote(p)) return false;
        break;
    }
  }
  return true;
}

bool DelimitedSplitter::Finish() {
  if (stopped_) return false;
  if (state_ == State::Quoted) {
    throw FormatError("line " + std::to_string(quoteLine_) +
                      ": a quoted field that is not closed by the end of the file");
  }
  if (state_ == State::AfterCR || (state_ == State::FieldStart && !fieldStarted_ && buffer_.empty() &&
                                   ends_.empty())) {
    return true;
  }
  state_ = State::FieldStart;
  return EndRecord();
}

FixedSplitter::FixedSplitter(std::vector<uint32_t> widths, bool utf8, RecordSink& sink)
    : widths_(std::move(widths)), utf8_(utf8), sink_(sink) {}

bool FixedSplitter::EndLine() {
  if (buffer_.find_first_not_of(" \t") == std::string::npos) {  // a blank line
    buffer_.clear();
    ++line_;
    return true;
  }
  record_.line = line_;
  record_.fields.clear();
  size_t pos = 0;
  for (uint32_t width : widths_) {
    size_t start = pos;
    for (uint32_t n = 0; n < width && pos < buffer_.size(); ++n) {
      ++pos;
      // A UTF-8 sequence's continuation bytes belong to its character.
      while (utf8_ && pos < buffer_.size() && (static_cast<unsigned char>(buffer_[pos]) & 0xC0) == 0x80)
        ++pos;
    }
    std::string_view field(buffer_.data() + start, pos - start);
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
    record_.fields.push_back(field);
  }
  // What stands beyond the last column is one more field, so that it is told, not dropped.
  std::string_view rest(buffer_.data() + pos, buffer_.size() - pos);
  if (rest.find_first_not_of(" \t") != std::string_view::npos) record_.fields.push_back(rest);
  const bool go = sink_.OnRecord(record_);
  buffer_.clear();
  ++line_;
  if (!go) stopped_ = true;
  return go;
}

bool FixedSplitter::Feed(const char* data, size_t size) {
  if (stopped_) return false;
  const char* p = data;
  const char* end = data + size;
  while (p < end) {
    if (afterCR_) {
      afterCR_ = false;
      if (*p == '\n') {
        ++p;
        continue;
      }
    }
    const char* run = p;
    while (p < end && *p != '\n' && *p != '\r') ++p;
    if (buffer_.size() + static_cast<size_t>(p - run) > DelimitedSplitter::kMaxRecordBytes) {
      TooLong(line_);
    }
    buffer_.append(run, static_cast<size_t>(p - run));
    if (p == end) break;
    afterCR_ = *p == '\r';
    ++p;
    if (!EndLine()) return false;
  }
  return true;
}

bool FixedSplitter::Finish() {
  if (stopped_) return false;
  if (buffer_.empty()) return true;
  return EndLine();
}

namespace {

// The upper halves of the single-byte code pages (Windows maps 1252's five unassigned bytes
// to the C1 controls of the same value, so no byte is lost).
const uint16_t kCp1252[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0,
    0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6,
    0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1,
    0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC,
    0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2,
    0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED,
    0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8,
    0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF};
const uint16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};
const uint16_t kCp850[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2,
    0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4,
    0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD,
    0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, 0x00B0,
    0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

void PutUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The length of the valid UTF-8 sequence at `p`, or 0 (overlong forms, surrogates and values
// beyond U+10FFFF are not valid).
size_t Utf8Length(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  auto cont = [&](size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && p[1] < 0xA0) return 0;
    if (c == 0xED && p[1] >= 0xA0) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && p[1] < 0x90) return 0;
    if (c == 0xF4 && p[1] >= 0x90) return 0;
    return 4;
  }
  return 0;
}

bool IsUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const size_t n = Utf8Length(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

}  // namespace

std::string_view DecodeView(std::string_view text, Charset charset, std::string& scratch, bool& valid) {
  valid = true;
  size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  if (ascii == text.size()) return text;
  if ((charset == Charset::Auto || charset == Charset::Utf8) && IsUtf8(text.substr(ascii))) return text;
  valid = DecodeText(text, charset, scratch);
  return scratch;
}

bool DecodeText(std::string_view text, Charset charset, std::string& out) {
  out.clear();
  size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  if (ascii == text.size()) {
    out.assign(text);
    return true;
  }
  if (charset == Charset::Auto) charset = IsUtf8(text) ? Charset::Utf8 : Charset::Cp1252;
  if (charset == Charset::Utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    bool valid = true;
    out.reserve(text.size());
    while (p < end) {
      const size_t n = Utf8Length(p, end);
      if (n == 0) {
        valid = false;
        out += "\xEF\xBF\xBD";
        ++p;
      } else {
        out.append(reinterpret_cast<const char*>(p), n);
        p += n;
      }
    }
    return valid;
  }
  const uint16_t* table = charset == Charset::Cp437 ? kCp437 : charset == Charset::Cp850 ? kCp850 : kCp1252;
  out.reserve(text.size() + 8);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      PutUtf8(table[c - 0x80], out);
    }
  }
  return true;
}

}  // namespace tabrix::formats
