// A folder of text files as a database: each file with one of the extensions is a table
// ("sales#csv", also "sales.csv"), read as its schema.ini section, or else the data source,
// says. A file is read when a statement first uses it, in pieces: its first rows decide the
// columns, then every record streams as cells.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "driver/formats/Dates.h"
#include "driver/formats/Delimited.h"
#include "driver/formats/Folder.h"
#include "driver/formats/Readers.h"
#include "driver/formats/SchemaIni.h"
#include "driver/formats/Text.h"
#include "driver/formats/TextValues.h"

namespace tabrix::formats {
namespace {

const std::vector<std::string> kDefaultExtensions = {"txt", "csv", "tab", "asc"};

// Reads the file in pieces into a splitter; stops when the splitter does.
template <class Splitter>
void Pump(int fd, const std::string& path, Splitter& splitter, bool& utf8Bom) {
  if (::lseek(fd, 0, SEEK_SET) != 0) {
    throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
  }
  std::vector<char> buffer(size_t{1} << 18);
  bool first = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
    if (n == 0) break;
    const char* data = buffer.data();
    size_t size = static_cast<size_t>(n);
    if (first) {
      first = false;
      if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        utf8Bom = true;
        data += 3;
        size -= 3;
      } else if (size >= 2 && (std::memcmp(data, "\xFF\xFE", 2) == 0 || std::memcmp(data, "\xFE\xFF", 2) == 0)) {
        throw FormatError(path + ": UTF-16 text, which is not read: save it as UTF-8");
      }
    }
    if (!splitter.Feed(data, size)) return;
  }
  splitter.Finish();
}

// The first records: how many fields they have and which kinds their values are.
class Scan : public RecordSink {
 public:
  Scan(const TextFormat& format, uint64_t records) : format_(format), records_(records) {}
  bool OnRecord(const Record& record) override {
    ++seen_;
    // A row of names decides how many columns there are; else the widest of the first rows.
    if (seen_ == 1 && format_.header) {
      fields_ = record.fields.size();
      return records_ != 1;
    }
    if (!format_.header) fields_ = std::max(fields_, record.fields.size());
    const size_t n = format_.header ? std::min(fields_, record.fields.size()) : record.fields.size();
    if (kinds_.size() < n) kinds_.resize(n, 0);
    for (size_t f = 0; f < n; ++f) {
      if (record.fields[f].empty()) continue;
      DecodeText(record.fields[f], charset_, text_);
      kinds_[f] |= 1u << static_cast<unsigned>(Guess(text_, format_).kind);
    }
    return records_ == 0 || seen_ < records_;
  }
  size_t Fields() const { return fields_; }
  std::vector<ValueKind> Kinds() const {
    std::vector<ValueKind> out(fields_, ValueKind::Text);
    for (size_t f = 0; f < kinds_.size(); ++f) {
      if (kinds_[f] == 1u << static_cast<unsigned>(ValueKind::Number)) out[f] = ValueKind::Number;
      if (kinds_[f] == 1u << static_cast<unsigned>(ValueKind::Date)) out[f] = ValueKind::Date;
    }
    return out;
  }
  Charset charset_ = Charset::Auto;

 private:
  const TextFormat& format_;
  uint64_t records_;
  uint64_t seen_ = 0;
  size_t fields_ = 0;
  std::vector<unsigned> kinds_;
  std::string text_;
};

// Every record as cells: row = the record's index in the file (the names row included).
class Stream : public RecordSink {
 public:
  Stream(const TextFormat& format, const std::string& name, std::vector<ValueKind> kinds,
         size_t columns, CellSink& sink)
      : format_(format), name_(name), kinds_(std::move(kinds)), columns_(columns), sink_(sink) {}

  bool OnRecord(const Record& record) override {
    const bool names = row_ == 0 && format_.header;
    if (record.fields.size() > columns_) {
      if (extra_++ == 0) {
        extraLine_ = record.line;
        extraFields_ = record.fields.size();
      }
    }
    Cell cell;
    cell.row = row_;
    const size_t n = std::min(record.fields.size(), columns_);
    for (size_t f = 0; f < n; ++f) {
      std::string_view field = record.fields[f];
      if (field.empty()) continue;  // an empty field is NULL
      if (!DecodeText(field, charset_, text_) && badLine_ == 0) badLine_ = record.line;
      cell.column = static_cast<uint32_t>(f);
      if (names || format_.columns.empty()) {
        if (!names && kinds_[f] != ValueKind::Text) {
          Convert(Guess(text_, format_), kinds_[f], cell);
        } else {
          cell.kind = CellKind::Text;
          cell.text = text_;
        }
      } else {
        Convert(Declared(text_, format_.columns[f].type, format_), Expected(format_.columns[f].type), cell);
      }
      if (!sink_.OnCell(cell)) return false;
    }
    ++row_;
    return true;
  }

  void Finish() {
    if (extra_ > 0) {
      sink_.OnWarning("'" + name_ + "' line " + std::to_string(extraLine_) + " has " +
                      std::to_string(extraFields_) + " fields where the table has " +
                      std::to_string(columns_) + ": the fields after the first " +
                      std::to_string(columns_) + " are left out" +
                      (extra_ > 1 ? " (and in " + std::to_string(extra_ - 1) + " more lines)" : ""));
    }
    if (badLine_ != 0) {
      sink_.OnWarning("'" + name_ + "' line " + std::to_string(badLine_) +
                      ": bytes that are not UTF-8, read as U+FFFD (CharacterSet=65001)");
    }
    sink_.OnSize(row_, static_cast<uint32_t>(columns_));
  }
  Charset charset_ = Charset::Auto;

 private:
  static ValueKind Expected(DeclaredType type) {
    switch (type) {
      case DeclaredType::Number:
      case DeclaredType::Integer:
      case DeclaredType::Currency:
        return ValueKind::Number;
      case DeclaredType::Date:
      case DeclaredType::DateTime:
        return ValueKind::Date;
      case DeclaredType::Boolean:
        return ValueKind::Boolean;
      default:
        return ValueKind::Text;
    }
  }
  // A value of the column's kind is sent as one; any other as its text, which the engine
  // then tells as a value the column cannot hold.
  void Convert(const Value& value, ValueKind expected, Cell& cell) {
    if (value.kind == expected && expected != ValueKind::Text) {
      cell.kind = expected == ValueKind::Number ? CellKind::Number
                  : expected == ValueKind::Date ? CellKind::DateTime
                                                : CellKind::Boolean;
      cell.number = value.number;
      cell.text = {};
    } else {
      cell.kind = CellKind::Text;
      cell.text = text_;
    }
  }

  const TextFormat& format_;
  const std::string& name_;
  std::vector<ValueKind> kinds_;
  size_t columns_;
  CellSink& sink_;
  uint32_t row_ = 0;
  uint64_t extra_ = 0, extraLine_ = 0;
  size_t extraFields_ = 0;
  uint64_t badLine_ = 0;
  std::string text_;
};

template <class Sink>
void Split(int fd, const std::string& path, const TextFormat& format, Sink& sink, bool& bom) {
  if (format.fixed) {
    std::vector<uint32_t> widths;
    for (const DeclaredColumn& c : format.columns) widths.push_back(c.width);
    FixedSplitter splitter(widths, format.charset == Charset::Utf8 || format.charset == Charset::Auto, sink);
    Pump(fd, path, splitter, bom);
  } else {
    DelimitedSplitter splitter(format.delimiter, format.quote, sink);
    Pump(fd, path, splitter, bom);
  }
}

class TextFolder : public Workbook {
 public:
  TextFolder(const std::string& folder, const DatabaseOptions& options) {
    std::string base = folder;
    if (base.empty() || base.back() != '/') base += '/';
    const SchemaIni schema = SchemaIni::Read(base + "schema.ini");
    TextFormat defaults;
    ApplyOptions(options, defaults);
    const auto& extensions = options.extensions.empty() ? kDefaultExtensions : options.extensions;
    for (const FolderFile& file : ListFolder(folder, extensions)) {
      if (EqualsIgnoreCase(file.name, "schema.ini")) continue;
      TableInfo info;
      info.name = file.extension.empty() ? file.name : file.stem + "#" + file.extension;
      if (info.name != file.name) info.aliases = {file.name};
      info.file = file.path;
      info.sheet = tables_.size();
      TextFormat format = defaults;
      // A .tab file is tab-separated unless the data source or the schema says otherwise.
      if (options.format.empty() && EqualsIgnoreCase(file.extension, "tab")) format.delimiter = '\t';
      if (const auto* section = schema.Find(file.name)) ApplySection(*section, schema.Path(), format);
      info.columns = format.columns;
      info.firstRowHasNames = format.header ? 1 : 0;
      info.maxScanRows = static_cast<int32_t>(format.maxScanRows);
      info.readAs = format.Describe();
      tables_.push_back(std::move(info));
      formats_.push_back(std::move(format));
    }
  }
  const std::vector<TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return false; }

  void ReadSheet(size_t sheet, CellSink& sink) override {
    const TableInfo& info = tables_.at(sheet);
    const TextFormat& format = formats_.at(sheet);
    uint64_t size = 0;
    FileDescriptor fd(OpenRegularFile(info.file, size));
    try {
      bool bom = false;
      std::vector<ValueKind> kinds;
      size_t columns = format.columns.size();
      Charset charset = format.charset;
      if (format.columns.empty()) {
        // The first rows decide how many columns there are and what they hold.
        Scan scan(format, format.maxScanRows == 0 ? 0 : format.maxScanRows + (format.header ? 1 : 0));
        Split(fd.get(), info.file, format, scan, bom);
        if (bom && charset == Charset::Auto) charset = Charset::Utf8;
        columns = scan.Fields();
        kinds = scan.Kinds();
      }
      Stream stream(format, info.file, kinds, columns, sink);
      stream.charset_ = charset;
      bom = false;
      Split(fd.get(), info.file, format, stream, bom);
      stream.Finish();
    } catch (const FormatError& e) {
      // The splitters name the line; the message names the file too.
      if (std::strncmp(e.what(), "line ", 5) == 0) throw FormatError(info.file + " " + e.what());
      throw;
    }
  }

 private:
  std::vector<TableInfo> tables_;
  std::vector<TextFormat> formats_;
};

}  // namespace

std::unique_ptr<Workbook> OpenTextFolder(const std::string& folder, const DatabaseOptions& options) {
  return std::make_unique<TextFolder>(folder, options);
}

}  // namespace tabrix::formats
