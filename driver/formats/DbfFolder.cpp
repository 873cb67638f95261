// A folder of .dbf tables: listed as tables; their records are not read yet.
#include "driver/formats/Folder.h"
#include "driver/formats/Readers.h"

namespace tabrix::formats {
namespace {

class DbfFolder : public Workbook {
 public:
  explicit DbfFolder(const std::string& folder) {
    for (const FolderFile& file : ListFolder(folder, {"dbf"})) {
      TableInfo info;
      info.name = file.stem;
      info.aliases = {file.name};
      info.file = file.path;
      info.sheet = tables_.size();
      tables_.push_back(std::move(info));
    }
  }
  const std::vector<TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return false; }
  void ReadSheet(size_t sheet, CellSink&) override {
    throw FormatError(tables_.at(sheet).file + ": .dbf tables cannot be read yet");
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
