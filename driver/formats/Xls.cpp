// Excel 97-2003 workbooks (.xls; BIFF8 and the older versions FreeXL reads) through FreeXL,
// which reads the whole workbook at open and tells date, date-time and time cells apart by
// their formats.
#include <freexl.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "driver/formats/Dates.h"
#include "driver/formats/Readers.h"

namespace tabrix::formats {
namespace {

std::string FreeXlError(int code) {
  switch (code) {
    case FREEXL_INSUFFICIENT_MEMORY:
      return "not enough memory";
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
      return "damaged: the compound file's header is broken";
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
      return "damaged: the file ends before its data";
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
      return "damaged: the compound file's allocation table is broken";
    case FREEXL_BIFF_INVALID_BOF:
      return "damaged: the workbook stream does not start as a workbook";
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
      return "damaged: the shared strings are broken";
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
      return "not a workbook (a compound file without a workbook stream)";
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
      return "damaged: text in a character set that cannot be read";
    case FREEXL_ILLEGAL_RK_VALUE:
      return "damaged: a number cannot be read";
    case FREEXL_CRAFTED_FILE:
      return "damaged: the file's structure is inconsistent";
    default:
      return "damaged: error " + std::to_string(code) + " from the .xls reader";
  }
}

// FreeXL gives dates as text: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", "HH:MM:SS".
std::optional<double> FreeXlDate(const char* text, bool date1904) {
  return text ? IsoToSerial(text, date1904) : std::nullopt;
}

class XlsWorkbook : public Workbook {
 public:
  XlsWorkbook(int fd, const std::string& path) : path_(path) {
    // FreeXL opens by name: the name of the descriptor already checked is the same file.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int status = freexl_open(self.c_str(), &handle_);
    ::close(fd);
    if (status != FREEXL_OK) {
      freexl_close(handle_);  // FreeXL wants its handle closed on failure too
      throw FormatError(path_ + ": " + FreeXlError(status));
    }
    unsigned int info = 0;
    if (freexl_get_info(handle_, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
      freexl_close(handle_);
      throw FormatError(path_ + ": encrypted (a workbook protected by a password)");
    }
    if (freexl_get_info(handle_, FREEXL_BIFF_DATEMODE, &info) == FREEXL_OK)
      date1904_ = info == FREEXL_BIFF_DATEMODE_1904;
    unsigned int count = 0;
    freexl_get_info(handle_, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned int i = 0; i < count && i < 65536; ++i) {
      const char* name = nullptr;
      if (freexl_get_worksheet_name(handle_, static_cast<unsigned short>(i), &name) != FREEXL_OK ||
          !name)
        continue;
      TableInfo table;
      table.name = name;
      table.sheet = tables_.size();
      indexes_.push_back(static_cast<unsigned short>(i));
      tables_.push_back(std::move(table));
    }
    for (size_t i = 0; i < tables_.size(); ++i) {
      unsigned int rows = 0;
      unsigned short columns = 0;
      if (freexl_select_active_worksheet(handle_, indexes_[i]) == FREEXL_OK &&
          freexl_worksheet_dimensions(handle_, &rows, &columns) == FREEXL_OK && rows > 0 &&
          columns > 0) {
        tables_[i].hasRange = true;
        tables_[i].range = {0, 0, rows - 1, static_cast<uint32_t>(columns - 1)};
      }
    }
  }

  ~XlsWorkbook() override { freexl_close(handle_); }

  const std::vector<TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return date1904_; }

  void ReadSheet(size_t sheet, CellSink& sink) override {
    if (sheet >= tables_.size())
      throw FormatError(path_ + ": no sheet at index " + std::to_string(sheet));
    std::lock_guard<std::mutex> lock(mutex_);  // FreeXL's handle has one active sheet
    if (freexl_select_active_worksheet(handle_, indexes_[sheet]) != FREEXL_OK)
      throw FormatError(path_ + ": damaged: sheet \"" + tables_[sheet].name + "\" cannot be read");
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(handle_, &rows, &columns) != FREEXL_OK) return;
    Cell cell;
    for (unsigned int r = 0; r < rows; ++r) {
      for (unsigned short c = 0; c < columns; ++c) {
        FreeXL_CellValue value;
        const int status = freexl_get_cell_value(handle_, r, c, &value);
        if (status != FREEXL_OK)
          throw FormatError(path_ + ": " + FreeXlError(status) + " (sheet \"" +
                            tables_[sheet].name + "\")");
        cell.row = r;
        cell.column = c;
        cell.text = {};
        cell.number = 0;
        switch (value.type) {
          case FREEXL_CELL_INT:
            cell.kind = CellKind::Number;
            cell.number = value.value.int_value;
            break;
          case FREEXL_CELL_DOUBLE:
            cell.kind = CellKind::Number;
            cell.number = value.value.double_value;
            break;
          case FREEXL_CELL_TEXT:
          case FREEXL_CELL_SST_TEXT:
            cell.kind = CellKind::Text;
            cell.text = value.value.text_value ? value.value.text_value : "";
            break;
          case FREEXL_CELL_DATE:
          case FREEXL_CELL_DATETIME:
          case FREEXL_CELL_TIME:
            if (auto serial = FreeXlDate(value.value.text_value, date1904_)) {
              cell.kind = CellKind::DateTime;
              cell.number = *serial;
            } else {  // a date outside what serials count: the text FreeXL shows
              cell.kind = CellKind::Text;
              cell.text = value.value.text_value ? value.value.text_value : "";
            }
            break;
          default:
            continue;
        }
        if (!sink.OnCell(cell)) return;
      }
    }
  }

 private:
  std::string path_;
  const void* handle_ = nullptr;
  std::vector<TableInfo> tables_;
  std::vector<unsigned short> indexes_;
  bool date1904_ = false;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<Workbook> OpenXls(int fd, const std::string& path) {
  return std::make_unique<XlsWorkbook>(fd, path);
}

}  // namespace tabrix::formats
