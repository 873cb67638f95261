// A folder of .dbf tables: each is a table named as its file without ".dbf" (case as on disk),
// its columns the fields its header declares. Headers are read when the folder is opened, so
// that every connection knows the columns; records when a statement first reads the table.
#include "driver/formats/Dbf.h"
#include "driver/formats/Folder.h"
#include "driver/formats/Readers.h"

namespace tabrix::formats {
namespace {

DeclaredColumn Declared(const DbfField& field) {
  DeclaredColumn column;
  column.name = field.name;
  switch (KindOf(field)) {
    case DbfKind::Number:
      column.type = DeclaredType::Number;
      column.width = field.type == 'B' ? 0 : field.length;
      column.scale = field.decimals;
      break;
    case DbfKind::Integer:
      column.type = DeclaredType::Integer;
      column.width = field.type == 'I' ? 10 : field.length;
      break;
    case DbfKind::Currency:
      column.type = DeclaredType::Currency;
      column.width = 19;
      column.scale = 4;
      break;
    case DbfKind::Date:
      column.type = DeclaredType::Date;
      break;
    case DbfKind::DateTime:
      column.type = DeclaredType::DateTime;
      break;
    case DbfKind::Boolean:
      column.type = DeclaredType::Boolean;
      break;
    case DbfKind::Binary:
      column.type = DeclaredType::Binary;
      break;
    case DbfKind::Text:
      if (field.type == 'M' || field.length > 255) {
        column.type = DeclaredType::LongText;
      } else {
        column.type = DeclaredType::Text;
        column.width = field.length;
      }
      break;
  }
  return column;
}

// The layout a table was listed with, in a few words: a table read later with another header
// is another table.
std::string Describe(const DbfTable& table) {
  std::string out = "dbf " + std::to_string(table.Version()) + " " + table.CodePage();
  for (const auto& f : table.Fields())
    out += ";" + f.name + " " + f.type + std::to_string(f.length) + "." +
           std::to_string(f.decimals) + (f.nullable ? "n" : "") + (f.binary ? "b" : "");
  return out;
}

class DbfFolder : public Workbook {
 public:
  explicit DbfFolder(const std::string& folder) {
    for (const FolderFile& file : ListFolder(folder, {"dbf"})) {
      TableInfo info;
      info.name = file.stem;
      info.aliases = {file.name};
      info.file = file.path;
      info.sheet = tables_.size();
      // A table that cannot be opened is still listed: reading it tells why.
      try {
        const auto table = DbfTable::Open(file.path);
        for (const auto& field : table->Fields()) info.columns.push_back(Declared(field));
        info.readAs = Describe(*table);
      } catch (const FormatError&) {
      }
      info.firstRowHasNames = 0;
      tables_.push_back(std::move(info));
    }
  }
  const std::vector<TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return false; }
  void ReadSheet(size_t sheet, CellSink& sink) override {
    const TableInfo& info = tables_.at(sheet);
    const auto table = DbfTable::Open(info.file);
    if (Describe(*table) != info.readAs)
      throw FormatError(info.file +
                        ": its fields changed since the connection opened (reconnect to read it)");
    table->Read(sink);
  }

 private:
  std::vector<TableInfo> tables_;
};

}  // namespace

std::unique_ptr<Workbook> OpenDbfFolder(const std::string& folder, const DatabaseOptions&,
                                        DatabaseKind) {
  return std::make_unique<DbfFolder>(folder);
}

}  // namespace tabrix::formats
