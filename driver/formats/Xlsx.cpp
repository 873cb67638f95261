// Office Open XML workbooks (.xlsx, .xlsm): the package's relationships lead to the workbook
// part, which lists the sheets and names; styles say which cells are dates; the shared strings
// are kept in one arena; a sheet's cells are streamed from its part as they are parsed
// (XlsxParts.h, XlsxSheet.h).
#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "driver/formats/Readers.h"
#include "driver/formats/XlsxParts.h"
#include "driver/formats/XlsxSheet.h"

namespace tabrix::formats {
namespace xlsx {
namespace {

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
}  // namespace xlsx

std::unique_ptr<Workbook> OpenXlsx(int fd, const std::string& path) {
  return std::make_unique<xlsx::XlsxWorkbook>(fd, path);
}

}  // namespace tabrix::formats
