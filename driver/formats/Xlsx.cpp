// Office Open XML workbooks (.xlsx, .xlsm): the package's relationships lead to the workbook
// part, which lists the sheets and names; styles say which cells are dates; the shared strings
// are kept in one arena; a sheet's cells are streamed from its part as they are parsed.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "driver/formats/CellReference.h"
#include "driver/formats/Dates.h"
#include "driver/formats/NumberFormats.h"
#include "driver/formats/Readers.h"
#include "driver/formats/Text.h"
#include "driver/formats/XmlStream.h"

namespace tabrix::formats {
namespace {

// The first serials after 9999-12-31.
constexpr double kLastSerial1900 = 2958466;
constexpr double kLastSerial1904 = 2958466 - 1462;

// ---- Relationships ---------------------------------------------------------------------

struct Relationship {
  std::string type;    // the last segment of the type's URI ("worksheet", "styles")
  std::string target;  // the part's name in the archive
};

// "xl/_rels/workbook.xml.rels" for "xl/workbook.xml"; "_rels/.rels" for the package.
std::string RelationshipsOf(const std::string& part) {
  const size_t slash = part.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? part : part.substr(slash + 1);
  return folder + "_rels/" + base + ".rels";
}

// A target relative to the folder of `source` (or absolute, from the archive's root), with
// "." and ".." resolved; nothing when it climbs out of the archive.
std::optional<std::string> ResolveTarget(const std::string& source, std::string_view target) {
  std::vector<std::string> segments;
  std::string_view rest = target;
  if (!rest.empty() && rest.front() == '/') {
    rest.remove_prefix(1);
  } else {
    std::string_view folder = source;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string_view::npos ? std::string_view() : folder.substr(0, slash);
    while (!folder.empty()) {
      const size_t next = folder.find('/');
      segments.emplace_back(folder.substr(0, next));
      folder = next == std::string_view::npos ? std::string_view() : folder.substr(next + 1);
    }
  }
  while (!rest.empty()) {
    const size_t next = rest.find('/');
    const std::string_view segment = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (segments.empty()) return std::nullopt;
      segments.pop_back();
      continue;
    }
    segments.emplace_back(segment);
  }
  std::string out;
  for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
  if (out.empty()) return std::nullopt;
  return out;
}

class RelationshipsReader : public XmlHandler {
 public:
  explicit RelationshipsReader(std::string source) : source_(std::move(source)) {}
  std::map<std::string, Relationship> byId;

  void OnStart(std::string_view name, const char** attributes) override {
    if (name != "Relationship") return;
    const char* id = Attribute(attributes, "Id");
    const char* type = Attribute(attributes, "Type");
    const char* target = Attribute(attributes, "Target");
    const char* mode = Attribute(attributes, "TargetMode");
    if (!id || !type || !target || (mode && std::string_view(mode) == "External")) return;
    auto resolved = ResolveTarget(source_, target);
    if (!resolved) return;
    std::string_view t = type;
    const size_t slash = t.rfind('/');
    byId.emplace(id, Relationship{std::string(t.substr(slash + 1)), std::move(*resolved)});
  }
  void OnEnd(std::string_view) override {}
  void OnText(const char*, int) override {}

  const Relationship* FirstOfType(std::string_view type) const {
    for (const auto& [id, r] : byId)
      if (r.type == type) return &r;
    return nullptr;
  }

 private:
  std::string source_;
};

// ---- The workbook part ------------------------------------------------------------------

struct SheetEntry {
  std::string name;
  std::string relationship;
};

struct NameEntry {
  std::string name;
  std::optional<uint32_t> localSheet;
  std::string formula;
};

class WorkbookPartReader : public XmlHandler {
 public:
  std::vector<SheetEntry> sheets;
  std::vector<NameEntry> names;
  bool date1904 = false;

  bool isWorkbook = false;  // whether the part's root is a workbook (a .docx's is not)

  void OnStart(std::string_view name, const char** attributes) override {
    if (!rootSeen_) {
      rootSeen_ = true;
      isWorkbook = name == "workbook";
      if (!isWorkbook) Stop();
    } else if (name == "workbookPr") {
      const char* d = Attribute(attributes, "date1904");
      date1904 = d && (std::string_view(d) == "1" || std::string_view(d) == "true");
    } else if (name == "sheet") {
      const char* sheetName = Attribute(attributes, "name");
      const char* id = Attribute(attributes, "id");
      if (sheetName) sheets.push_back({sheetName, id ? id : ""});  // no id: no part, damage
    } else if (name == "definedName") {
      const char* n = Attribute(attributes, "name");
      const char* local = Attribute(attributes, "localSheetId");
      inName_ = n != nullptr;
      if (!inName_) return;
      names.push_back({n, local ? ParseUnsigned(local) : std::nullopt, {}});
      if (local && !names.back().localSheet) names.back().localSheet = UINT32_MAX;
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "definedName") inName_ = false;
  }
  void OnText(const char* text, int length) override {
    if (inName_ && names.back().formula.size() < 65536) names.back().formula.append(text, length);
  }

 private:
  bool rootSeen_ = false;
  bool inName_ = false;
};

// ---- Styles ------------------------------------------------------------------------------

class StylesReader : public XmlHandler {
 public:
  std::vector<bool> dateStyles;  // by cell style (the cells' s=), whether it shows a date

  void OnStart(std::string_view name, const char** attributes) override {
    if (name == "numFmt") {
      const char* id = Attribute(attributes, "numFmtId");
      const char* code = Attribute(attributes, "formatCode");
      if (auto n = id ? ParseUnsigned(id) : std::nullopt; n && code)
        custom_[*n] = IsDateFormatCode(code);
    } else if (name == "cellXfs") {
      inCellXfs_ = true;
    } else if (name == "xf" && inCellXfs_) {
      const char* id = Attribute(attributes, "numFmtId");
      formats_.push_back(id ? ParseUnsigned(id).value_or(0) : 0);
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "cellXfs") inCellXfs_ = false;
  }
  void OnText(const char*, int) override {}

  void Finish() {
    dateStyles.reserve(formats_.size());
    for (uint32_t id : formats_) {
      const auto c = custom_.find(id);
      dateStyles.push_back(c != custom_.end() ? c->second : IsDateFormatId(id));
    }
  }

 private:
  bool inCellXfs_ = false;
  std::vector<uint32_t> formats_;
  std::map<uint32_t, bool> custom_;
};

// ---- Shared strings ----------------------------------------------------------------------

// Every string in one buffer, found by its start; the text of rich-text runs joined, the
// phonetic runs left out.
//
// An item longer than a cell can hold is not kept: it is cut off as soon as it passes the
// bound, and a cell that uses it is refused.
class SharedStrings : public XmlHandler {
 public:
  size_t size() const { return starts_.empty() ? 0 : starts_.size() - 1; }
  bool TooLong(size_t i) const {
    return std::binary_search(tooLong_.begin(), tooLong_.end(), static_cast<uint32_t>(i));
  }
  std::string_view Get(size_t i) const {
    return std::string_view(arena_).substr(starts_[i], starts_[i + 1] - starts_[i]);
  }
  void Clear() {
    arena_.clear();
    arena_.shrink_to_fit();
    starts_.assign(1, 0);
    tooLong_.clear();
    inItem_ = inText_ = overflow_ = false;
    phonetic_ = 0;
  }

  void OnStart(std::string_view name, const char**) override {
    if (name == "si") {
      inItem_ = true;
    } else if (name == "rPh") {
      ++phonetic_;
    } else if (name == "t" && inItem_ && phonetic_ == 0) {
      inText_ = true;
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "t") {
      inText_ = false;
    } else if (name == "rPh") {
      if (phonetic_ > 0) --phonetic_;
    } else if (name == "si") {
      inItem_ = false;
      DecodeEscapes(arena_, starts_.back());
      if (overflow_ ||
          Utf16Length(std::string_view(arena_).substr(starts_.back())) > kMaxCellCharacters) {
        arena_.resize(starts_.back());
        tooLong_.push_back(static_cast<uint32_t>(size()));
      }
      overflow_ = false;
      starts_.push_back(static_cast<uint32_t>(arena_.size()));
    }
  }
  void OnText(const char* text, int length) override {
    if (!inText_ || overflow_) return;
    if (arena_.size() - starts_.back() + static_cast<size_t>(length) > kMaxCellEscapedBytes) {
      overflow_ = true;
      arena_.resize(starts_.back());
      return;
    }
    arena_.append(text, static_cast<size_t>(length));
  }

 private:
  std::string arena_;
  std::vector<uint32_t> starts_{0};
  std::vector<uint32_t> tooLong_;  // the items cut off, ascending
  bool inItem_ = false, inText_ = false, overflow_ = false;
  int phonetic_ = 0;
};

// ---- The head of a sheet: its declared dimension ----------------------------------------

class DimensionReader : public XmlHandler {
 public:
  std::optional<Range> range;
  void OnStart(std::string_view name, const char** attributes) override {
    if (name == "dimension") {
      if (const char* ref = Attribute(attributes, "ref")) range = ParseRange(ref);
      Stop();
    } else if (name == "sheetData") {
      Stop();  // the dimension comes before the cells, or not at all
    }
  }
  void OnEnd(std::string_view) override {}
  void OnText(const char*, int) override {}
};

// ---- A sheet's cells ---------------------------------------------------------------------

// A cell's number. Most are whole, and a whole number of up to 15 digits is read digit by
// digit, exactly; anything else goes to the general parser.
std::optional<double> ReadNumber(std::string_view s) {
  const bool negative = !s.empty() && s[0] == '-';
  const size_t first = negative ? 1 : 0;
  if (s.size() > first && s.size() - first <= 15) {
    uint64_t value = 0;
    size_t i = first;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10 + static_cast<uint64_t>(s[i] - '0');
    if (i == s.size()) return negative ? -static_cast<double>(value) : static_cast<double>(value);
  }
  return ParseNumber(s);
}

class SheetReader : public XmlHandler {
 public:
  SheetReader(const std::string& path, const std::string& part, const std::string& sheet,
              const std::vector<bool>& dateStyles, const SharedStrings& strings, bool date1904,
              CellSink& sink)
      : path_(path),
        part_(part),
        sheet_(sheet),
        dateStyles_(dateStyles),
        strings_(strings),
        date1904_(date1904),
        sink_(sink) {
    value_.reserve(256);
    text_.reserve(256);
  }

  void OnStart(std::string_view name, const char** attributes) override {
    switch (name.size()) {
      case 1:
        if (name[0] == 'c') {
          StartCell(attributes);
        } else if (name[0] == 'v') {
          if (inCell_) {
            collect_ = &value_;
            hasValue_ = true;
          }
        } else if (name[0] == 't') {
          if (inInline_ && phonetic_ == 0) {
            collect_ = &text_;
            hasInline_ = true;
          }
        }
        return;
      case 2:
        if (name == "is" && inCell_) inInline_ = true;
        return;
      case 3:
        if (name == "row") {
          StartRow(attributes);
        } else if (name == "rPh") {
          ++phonetic_;
        }
        return;
      default:
        return;
    }
  }

  void OnEnd(std::string_view name) override {
    switch (name.size()) {
      case 1:
        if (name[0] == 'c') {
          EndCell();
        } else if (name[0] == 'v' || name[0] == 't') {
          collect_ = nullptr;
        }
        return;
      case 2:
        if (name == "is") inInline_ = false;
        return;
      case 3:
        if (name == "rPh" && phonetic_ > 0) --phonetic_;
        return;
      case 9:
        if (name == "sheetData") Stop();  // what follows holds no cells
        return;
      default:
        return;
    }
  }

  void OnText(const char* text, int length) override {
    if (!collect_) return;
    if (collect_->size() + static_cast<size_t>(length) > kMaxCellEscapedBytes) TooLong();
    collect_->append(text, static_cast<size_t>(length));
  }

 private:
  [[noreturn]] void TooLong() const {
    throw FormatError(path_ + ": refused: " + sheet_ + "$" + CellName(cell_.row, cell_.column) +
                      ": its text is longer than the " + std::to_string(kMaxCellCharacters) +
                      " characters a cell holds");
  }
  void CheckLength(std::string_view text) const {
    if (text.size() > kMaxCellCharacters && Utf16Length(text) > kMaxCellCharacters) TooLong();
  }
  [[noreturn]] void Damaged(const std::string& what) const {
    throw FormatError(path_ + ": damaged: " + part_ + ": " + what);
  }
  [[noreturn]] void BadCell(const std::string& what) const {
    throw FormatError(path_ + ": damaged: " + sheet_ + "$" + CellName(cell_.row, cell_.column) +
                      ": " + what);
  }

  void StartRow(const char** attributes) {
    const char* r = Attribute(attributes, "r");
    if (r) {
      const auto n = ParseUnsigned(r);
      if (!n || *n == 0 || *n > kMaxRows)
        Damaged("row number \"" + std::string(r) + "\" is not a row of a sheet");
      row_ = *n - 1;
    } else {
      row_ = rowSeen_ ? row_ + 1 : 0;
    }
    if (row_ >= kMaxRows) Damaged("more rows than a sheet holds");
    rowSeen_ = true;
    cellInRow_ = false;
    nextColumn_ = 0;
  }

  void StartCell(const char** attributes) {
    const char* ref = nullptr;
    type_ = 'n';
    style_ = 0;
    for (const char** a = attributes; a[0]; a += 2) {
      const char* n = a[0];
      if (n[0] == 'r' && n[1] == 0) {
        ref = a[1];
      } else if (n[0] == 't' && n[1] == 0) {
        type_ = TypeOf(a[1]);
      } else if (n[0] == 's' && n[1] == 0) {
        style_ = ParseUnsigned(a[1]).value_or(0);
      }
    }
    if (ref) {
      const auto position = ParseCell(ref);
      if (!position)
        Damaged("cell reference \"" + std::string(ref) + "\" is not a cell of a sheet");
      cell_.row = position->row;
      cell_.column = position->column;
    } else {
      // The cell after the previous one: in its row, or the row's first.
      if (nextColumn_ >= kMaxColumns) Damaged("more columns than a sheet holds");
      cell_.row = cellInRow_ ? cell_.row : row_;
      cell_.column = nextColumn_;
    }
    cellInRow_ = true;
    nextColumn_ = cell_.column + 1;
    inCell_ = true;
    hasValue_ = hasInline_ = false;
    value_.clear();
    text_.clear();
  }

  static char TypeOf(std::string_view t) {
    if (t == "s") return 's';
    if (t == "str") return 'f';  // a formula's text
    if (t == "inlineStr") return 'i';
    if (t == "b") return 'b';
    if (t == "e") return 'e';
    if (t == "d") return 'd';
    return 'n';
  }

  void EndCell() {
    inCell_ = inInline_ = false;
    collect_ = nullptr;
    cell_.text = {};
    cell_.number = 0;
    switch (type_) {
      case 's': {
        if (!hasValue_) return;
        const auto index = ParseUnsigned(value_);
        if (!index) BadCell("shared string index \"" + value_ + "\" is not a number");
        if (*index >= strings_.size())
          BadCell("shared string " + std::to_string(*index) + " of " +
                  std::to_string(strings_.size()));
        if (strings_.TooLong(*index)) TooLong();
        cell_.kind = CellKind::Text;
        cell_.text = strings_.Get(*index);
        break;
      }
      case 'i':
        if (hasInline_) {
          DecodeEscapes(text_);
          cell_.text = text_;
        } else if (hasValue_) {
          cell_.text = value_;
        } else {
          return;
        }
        CheckLength(cell_.text);
        cell_.kind = CellKind::Text;
        break;
      case 'f':
        if (!hasValue_) return;
        CheckLength(value_);
        cell_.kind = CellKind::Text;
        cell_.text = value_;
        break;
      case 'b': {
        // As the spreadsheet application reads it: any number but 0 is TRUE.
        const std::string_view v = Trim(value_);
        if (!hasValue_ || v.empty()) return;
        cell_.kind = CellKind::Boolean;
        if (const auto number = ParseNumber(v)) {
          cell_.number = *number != 0 ? 1 : 0;
        } else if (EqualsIgnoreCase(v, "true") || EqualsIgnoreCase(v, "false")) {
          cell_.number = EqualsIgnoreCase(v, "true") ? 1 : 0;
        } else {
          BadCell("\"" + value_ + "\" is not a boolean");
        }
        break;
      }
      case 'e':
        if (!hasValue_) return;
        cell_.kind = CellKind::Error;
        cell_.text = value_;
        break;
      case 'd': {
        if (!hasValue_ || Trim(value_).empty()) return;
        const auto serial = IsoToSerial(Trim(value_), date1904_);
        if (serial) {
          cell_.kind = CellKind::DateTime;
          cell_.number = *serial;
        } else {  // a date no system can count: kept as the text the file holds
          cell_.kind = CellKind::Text;
          cell_.text = value_;
        }
        break;
      }
      default: {
        if (!hasValue_ || Trim(value_).empty()) return;
        const auto number = ReadNumber(value_);
        if (!number) BadCell("\"" + value_ + "\" is not a number");
        cell_.number = *number;
        // A date format on a number no date has (negative, beyond 9999) shows no date:
        // the number is kept as a number.
        const bool date = style_ < dateStyles_.size() && dateStyles_[style_] && *number >= 0 &&
                          *number < (date1904_ ? kLastSerial1904 : kLastSerial1900);
        cell_.kind = date ? CellKind::DateTime : CellKind::Number;
      }
    }
    if (!sink_.OnCell(cell_)) Stop();
  }

  const std::string& path_;
  const std::string& part_;
  const std::string& sheet_;
  const std::vector<bool>& dateStyles_;
  const SharedStrings& strings_;
  const bool date1904_;
  CellSink& sink_;

  uint32_t row_ = 0, nextColumn_ = 0;
  bool rowSeen_ = false, cellInRow_ = false;
  Cell cell_;
  char type_ = 'n';
  uint32_t style_ = 0;
  bool inCell_ = false, inInline_ = false, hasValue_ = false, hasInline_ = false;
  int phonetic_ = 0;
  std::string* collect_ = nullptr;
  std::string value_, text_;
};

// ---- The workbook ------------------------------------------------------------------------

// A descriptor closed with its owner, on every path (a constructor that throws included).
class OwnedFd {
 public:
  explicit OwnedFd(int fd) : fd_(fd) {}
  ~OwnedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class XlsxWorkbook : public Workbook {
 public:
  XlsxWorkbook(int fd, const std::string& path)
      : self_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)), zip_(fd, path), path_(path) {
    const std::string workbookPart = FindWorkbookPart();
    RelationshipsReader rels(workbookPart);
    if (zip_.Has(RelationshipsOf(workbookPart)))
      ParsePart(zip_, RelationshipsOf(workbookPart), rels);

    WorkbookPartReader book;
    ParsePart(zip_, workbookPart, book);
    if (!book.isWorkbook)
      throw FormatError(path_ + ": not a workbook (an Office document of another kind)");
    date1904_ = book.date1904;

    if (const Relationship* styles = rels.FirstOfType("styles");
        styles && zip_.Has(styles->target)) {
      StylesReader reader;
      ParsePart(zip_, styles->target, reader);
      reader.Finish();
      dateStyles_ = std::move(reader.dateStyles);
    }
    if (const Relationship* strings = rels.FirstOfType("sharedStrings"))
      stringsPart_ = strings->target;

    AddSheets(book.sheets, rels);
    AddNames(book.names, book.sheets);
  }

  const std::vector<TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return date1904_; }

  void ReadSheet(size_t sheet, CellSink& sink) override {
    if (sheet >= tables_.size() || !tables_[sheet].isSheet)
      throw FormatError(path_ + ": no sheet at index " + std::to_string(sheet));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      LoadStrings();  // once loaded, the strings are only read
    }
    const std::string& part = parts_[sheet];
    if (part.empty()) return;  // a chart sheet: no cells
    SheetReader reader(path_, part, tables_[sheet].name, dateStyles_, strings_, date1904_, sink);
    // Each read has an archive of its own, on a file description of its own (the same file,
    // opened again through its descriptor), so reads run at once and a sink may read
    // another sheet. Without /proc, reads take turns on the one archive.
    const int again = self_.get() < 0
                          ? -1
                          : ::open(("/proc/self/fd/" + std::to_string(self_.get())).c_str(),
                                   O_RDONLY | O_CLOEXEC);
    if (again >= 0) {
      ZipArchive own(again, path_);
      ParsePart(own, part, reader);
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ParsePart(zip_, part, reader);
  }

 private:
  std::string FindWorkbookPart() {
    if (zip_.Has("_rels/.rels")) {
      RelationshipsReader root("");
      ParsePart(zip_, "_rels/.rels", root);
      if (const Relationship* doc = root.FirstOfType("officeDocument")) {
        if (EndsWith(doc->target, ".bin"))
          throw FormatError(path_ + ": not a workbook this driver reads (a binary workbook)");
        if (zip_.Has(doc->target)) return doc->target;
      }
    }
    if (zip_.Has("xl/workbook.xml")) return "xl/workbook.xml";
    throw FormatError(path_ + ": not a workbook (a zip archive without a workbook part)");
  }

  void AddSheets(const std::vector<SheetEntry>& sheets, const RelationshipsReader& rels) {
    for (const SheetEntry& entry : sheets) {
      const auto r = rels.byId.find(entry.relationship);
      if (r == rels.byId.end() || !zip_.Has(r->second.target))
        throw FormatError(path_ + ": damaged: the part of sheet \"" + entry.name + "\" is missing");
      TableInfo table;
      table.name = entry.name;
      table.sheet = tables_.size();
      std::string part;
      if (r->second.type != "chartsheet") {
        part = r->second.target;
        DimensionReader head;
        ParsePart(zip_, part, head);
        if (head.range) {
          table.hasRange = true;
          table.range = *head.range;
        }
      }
      tables_.push_back(std::move(table));
      parts_.push_back(std::move(part));
    }
  }

  // Workbook-level names are tables of their own name; a sheet's own names are
  // "Sheet$Name"; the built-in ones (filters, print areas) and any name that is not one
  // rectangle of one sheet are left out.
  void AddNames(const std::vector<NameEntry>& names, const std::vector<SheetEntry>& sheets) {
    const size_t sheetCount = tables_.size();
    for (const NameEntry& n : names) {
      if (n.name.rfind("_xlnm.", 0) == 0) continue;
      const auto target = ParseSheetRange(n.formula);
      if (!target) continue;
      size_t sheet = sheetCount;
      for (size_t i = 0; i < sheetCount; ++i)
        if (EqualsIgnoreCase(tables_[i].name, target->sheet)) sheet = i;
      if (sheet == sheetCount || parts_[sheet].empty()) continue;
      TableInfo table;
      if (n.localSheet) {
        if (*n.localSheet >= sheets.size()) continue;
        table.name = sheets[*n.localSheet].name + "$" + n.name;
      } else {
        table.name = n.name;
      }
      bool repeated = false;
      for (size_t i = sheetCount; i < tables_.size() && !repeated; ++i)
        repeated = EqualsIgnoreCase(tables_[i].name, table.name);
      if (repeated) continue;
      table.isSheet = false;
      table.sheet = sheet;
      table.hasRange = true;
      table.range = target->range;
      tables_.push_back(std::move(table));
    }
  }

  void LoadStrings() {
    if (stringsLoaded_) return;
    if (!stringsPart_.empty() && zip_.Has(stringsPart_)) {
      try {
        ParsePart(zip_, stringsPart_, strings_);
      } catch (...) {
        strings_.Clear();  // the next read tries again, and fails the same way
        throw;
      }
    }
    stringsLoaded_ = true;
  }

  OwnedFd self_;  // the workbook's file, kept to open it again for each read
  ZipArchive zip_;
  std::string path_;
  std::vector<TableInfo> tables_;
  std::vector<std::string> parts_;  // by sheet: its part, empty for a chart sheet
  bool date1904_ = false;
  std::vector<bool> dateStyles_;
  std::string stringsPart_;
  SharedStrings strings_;
  bool stringsLoaded_ = false;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<Workbook> OpenXlsx(int fd, const std::string& path) {
  return std::make_unique<XlsxWorkbook>(fd, path);
}

}  // namespace tabrix::formats
