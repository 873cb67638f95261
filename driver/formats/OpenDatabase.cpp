// Opening a database by the kind its data source's driver names.
#include "driver/formats/Readers.h"

namespace tabrix::formats {

std::unique_ptr<Workbook> OpenDatabase(DatabaseKind kind, const std::string& path,
                                       const DatabaseOptions& options) {
  switch (kind) {
    case DatabaseKind::Excel:
      return OpenWorkbook(path);
    case DatabaseKind::Text:
      return OpenTextFolder(path, options);
    case DatabaseKind::DBase:
    case DatabaseKind::FoxPro:
      return OpenDbfFolder(path, options, kind);
  }
  throw FormatError(path + ": no reader for this kind of database");
}

}  // namespace tabrix::formats
