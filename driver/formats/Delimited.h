// Delimited text split into records: RFC 4180 quoting (separators, doubled quotes and line
// breaks inside quotes), CRLF, LF or CR line ends, a last line without its end. Fed in pieces
// of any size; a record is held only while it is being split, and never beyond a bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix::formats {

// One record's fields, valid during the call that passes them.
struct Record {
  uint64_t line = 0;  // the line the record starts on, counted from 1
  std::vector<std::string_view> fields;
};

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // false stops the splitting.
  virtual bool OnRecord(const Record& record) = 0;
};

class DelimitedSplitter {
 public:
  static constexpr size_t kMaxRecordBytes = size_t{64} << 20;

  // `quote` 0: fields are never quoted.
  DelimitedSplitter(char delimiter, char quote, RecordSink& sink);

  // Splits `size` bytes; false once the sink stopped. Throws FormatError ("line 7: ...") for
  // a record longer than kMaxRecordBytes.
  bool Feed(const char* data, size_t size);
  // The end of the input: the last record, if it has no line end. Throws FormatError for a
  // quoted field still open.
  bool Finish();
  uint64_t Line() const { return line_; }

 private:
  enum class State : uint8_t { FieldStart, Unquoted, Quoted, QuoteInQuoted, AfterCR };
  bool StartField(const char*& p);
  bool FeedUnquoted(const char*& p, const char* end);
  void FeedQuoted(const char*& p, const char* end);
  bool AfterQuote(const char*& p);
  bool EndField();
  bool EndRecord();
  void Append(const char* data, size_t size);
  void AppendByte(char c);

  char delimiter_, quote_;
  RecordSink& sink_;
  State state_ = State::FieldStart;
  bool stopped_ = false;
  uint64_t line_ = 1;           // the line being read
  uint64_t recordLine_ = 1;     // where the current record started
  uint64_t quoteLine_ = 0;      // where the open quoted field started
  std::string buffer_;          // the current record's field bytes
  std::vector<size_t> ends_;    // where each finished field of the record ends in buffer_
  bool fieldStarted_ = false;   // the record has a field begun (an empty line has none)
  bool quotedCR_ = false;       // a quoted field's last byte was a CR
  Record record_;
  uint8_t classes_[256];
};

// Lines split into fields of fixed widths, in characters (UTF-8 sequences count once when
// `utf8`), blanks around each field trimmed.
class FixedSplitter {
 public:
  FixedSplitter(std::vector<uint32_t> widths, bool utf8, RecordSink& sink);
  bool Feed(const char* data, size_t size);
  bool Finish();
  uint64_t Line() const { return line_; }

 private:
  bool EndLine();
  std::vector<uint32_t> widths_;
  bool utf8_;
  RecordSink& sink_;
  std::string buffer_;
  bool afterCR_ = false;
  bool stopped_ = false;
  uint64_t line_ = 1;
  Record record_;
};

// Character sets a text file may be in; all keep ASCII as it is.
enum class Charset : uint8_t { Auto, Utf8, Cp1252, Cp437, Cp850 };

// `text` in UTF-8 into `out` (cleared first). Auto: UTF-8 where the bytes are valid UTF-8,
// else code page 1252. Utf8: invalid sequences become U+FFFD, and the result says so
// (false); every other set decodes every byte.
bool DecodeText(std::string_view text, Charset charset, std::string& out);
// The same, without a copy where the text is UTF-8 already: the result views either `text`
// or `scratch`. `valid` as DecodeText answers.
std::string_view DecodeView(std::string_view text, Charset charset, std::string& scratch, bool& valid);

}  // namespace tabrix::formats
