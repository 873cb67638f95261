// tabrixodbc-xls: reads the .xls workbook on its standard input with FreeXL and sends what it
// holds down its standard output (XlsProtocol.h). A program of its own, started afresh for
// each workbook: FreeXL may crash on a hostile file, and a copy of a threaded client made by
// fork may wait forever on a lock another of its threads held (iconv's, which FreeXL takes).
//
// Beside FreeXL it checks the compound file and the record stream itself (CompoundFile.h,
// Biff.h): FreeXL reads a damaged file as a workbook with fewer or no cells, and it reads
// booleans and errors as numbers.
#include <freexl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver/formats/Biff.h"
#include "driver/formats/CellReference.h"
#include "driver/formats/CompoundFile.h"
#include "driver/formats/Text.h"
#include "driver/formats/XlsProtocol.h"

namespace tabrix::formats::xls {
namespace {

class PipeWriter {
 public:
  explicit PipeWriter(int fd) : fd_(fd) { buffer_.reserve(kSize); }
  void Bytes(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
    if (buffer_.size() >= kSize) Flush();
  }
  template <typename T>
  void Put(T value) {
    Bytes(&value, sizeof value);
  }
  void Text(std::string_view text) {
    Put(static_cast<uint32_t>(text.size()));
    Bytes(text.data(), text.size());
  }
  void Flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(3);  // the reader has gone
      done += static_cast<size_t>(n);
    }
    buffer_.clear();
  }
  // Ends the conversation with a reason of our own.
  [[noreturn]] void Fail(std::string_view reason) {
    Put(kReason);
    Text(reason);
    Flush();
    _exit(0);
  }

 private:
  static constexpr size_t kSize = 64 * 1024;
  int fd_;
  std::vector<char> buffer_;
};

// The compound file and its record stream, checked. Nothing when the file holds no workbook
// stream (FreeXL then says so in its words).
std::optional<BiffScan> Check(int fd) {
  CompoundFile file(fd);
  constexpr uint64_t kLimit = uint64_t{1} << 32;
  auto stream = file.ReadStream(u"Workbook", kLimit);
  if (!stream) stream = file.ReadStream(u"Book", kLimit);
  if (!stream) return std::nullopt;
  return ScanBiff(*stream);
}

// The scan's sheet that FreeXL's sheet `index` of `count`, named `name`, is: by name where the
// names are known (BIFF8), else by order when FreeXL lists the worksheets alone.
const BiffSheet* Match(const BiffScan& scan, unsigned index, unsigned count, const char* name) {
  if (!scan.checked) return nullptr;
  if (name) {
    for (const BiffSheet& s : scan.sheets)
      if (!s.name.empty() && s.name == name) return &s;
  }
  std::vector<const BiffSheet*> worksheets;
  for (const BiffSheet& s : scan.sheets)
    if (s.worksheet) worksheets.push_back(&s);
  if (worksheets.size() == count) return worksheets[index];
  if (scan.sheets.size() == count) return &scan.sheets[index];
  return nullptr;
}

// The booleans and errors of a sheet (which FreeXL reads as numbers), found by position.
class SpecialCells {
 public:
  explicit SpecialCells(const BiffSheet* checked) {
    if (checked) cells_ = checked->special;
    std::stable_sort(cells_.begin(), cells_.end(), Before);
  }
  const BiffSpecialCell* At(uint32_t r, uint16_t c) const {
    BiffSpecialCell key{r, c, false, 0};
    auto it = std::upper_bound(cells_.begin(), cells_.end(), key, Before);  // the last wins
    if (it == cells_.begin()) return nullptr;
    --it;
    return it->row == r && it->column == c ? &*it : nullptr;
  }

 private:
  static bool Before(const BiffSpecialCell& a, const BiffSpecialCell& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
  }
  std::vector<BiffSpecialCell> cells_;
};

// A number cell: a number, or the boolean or error the record stream says it is.
void SendNumber(PipeWriter& w, const FreeXL_CellValue& value, uint32_t r, uint16_t c,
                const BiffSpecialCell* s) {
  if (s && s->error) {
    w.Put<uint8_t>(kError);
    w.Put<uint32_t>(r);
    w.Put<uint16_t>(c);
    w.Text(BiffErrorText(s->value));
    return;
  }
  w.Put<uint8_t>(s ? kBoolean : kNumber);
  w.Put<uint32_t>(r);
  w.Put<uint16_t>(c);
  w.Put<double>(s                               ? (s->value != 0 ? 1.0 : 0.0)
                : value.type == FREEXL_CELL_INT ? static_cast<double>(value.value.int_value)
                                                : value.value.double_value);
}

// A text or date cell (FreeXL gives dates as their text); refused when longer than a cell
// holds.
void SendText(PipeWriter& w, const FreeXL_CellValue& value, uint32_t r, uint16_t c,
              const char* sheet) {
  const std::string_view text = value.value.text_value ? value.value.text_value : "";
  if (Utf16Length(text) > kMaxCellCharacters) {
    w.Put<uint8_t>(kEndOfSheet);
    w.Fail("refused: " + std::string(sheet) + "$" + CellName(r, c) +
           ": its text is longer than the " + std::to_string(kMaxCellCharacters) +
           " characters a cell holds");
  }
  const bool isText = value.type == FREEXL_CELL_TEXT || value.type == FREEXL_CELL_SST_TEXT;
  w.Put<uint8_t>(isText ? kText : kDate);
  w.Put<uint32_t>(r);
  w.Put<uint16_t>(c);
  w.Text(text);
}

// The cells of the active sheet, row by row; how many hold a value.
uint64_t SendCells(PipeWriter& w, const void* handle, uint32_t rows, uint16_t columns,
                   const SpecialCells& special, const char* sheet) {
  uint64_t read = 0;
  for (unsigned int r = 0; r < rows; ++r) {
    for (unsigned short c = 0; c < columns; ++c) {
      FreeXL_CellValue value;
      const int status = freexl_get_cell_value(handle, r, c, &value);
      if (status != FREEXL_OK) {
        w.Put<uint8_t>(kEndOfSheet);
        w.Put<int32_t>(status);
        w.Flush();
        _exit(0);
      }
      switch (value.type) {
        case FREEXL_CELL_INT:
        case FREEXL_CELL_DOUBLE:
          ++read;
          SendNumber(w, value, r, c, special.At(r, c));
          break;
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
          ++read;
          SendText(w, value, r, c, sheet);
          break;
        default:
          break;
      }
    }
  }
  return read;
}

void SendSheet(PipeWriter& w, const void* handle, unsigned index, unsigned count,
               const BiffScan& scan) {
  const char* name = nullptr;
  if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(index), &name) != FREEXL_OK)
    name = nullptr;
  w.Text(name ? name : "");
  unsigned int rows = 0;
  unsigned short columns = 0;
  if (freexl_select_active_worksheet(handle, static_cast<unsigned short>(index)) != FREEXL_OK ||
      freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK)
    rows = columns = 0;
  w.Put<uint32_t>(rows);
  w.Put<uint16_t>(columns);

  const BiffSheet* checked = Match(scan, index, count, name);
  const uint64_t read = SendCells(w, handle, rows, columns, SpecialCells(checked), name ? name : "");
  w.Put<uint8_t>(kEndOfSheet);
  if (checked && read < checked->valueCells) {
    w.Fail("damaged: sheet \"" + std::string(name ? name : "") + "\": " + std::to_string(read) +
           " of its " + std::to_string(checked->valueCells) + " cells can be read");
  }
  w.Put<int32_t>(FREEXL_OK);
}

[[noreturn]] void Run() {
  PipeWriter w(1);
  BiffScan scan;
  try {
    if (auto checked = Check(0)) scan = std::move(*checked);
  } catch (const std::exception& e) {  // FormatError, or no memory for the stream
    w.Fail(e.what());
  }
  const void* handle = nullptr;
  int32_t status = freexl_open("/proc/self/fd/0", &handle);
  unsigned int info = 0;
  if (status == FREEXL_OK && freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
      info == FREEXL_BIFF_OBFUSCATED)
    status = kEncrypted;
  if (status != FREEXL_OK) {
    w.Put(status);
    w.Flush();
    _exit(0);
  }
  unsigned int count = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0) {
    // FreeXL gives up silently on damage, and on valid texts longer than about 16,000
    // characters too: all it tells is that it found no sheet.
    const size_t listed = scan.sheets.size();
    w.Fail(listed == 0 ? std::string("damaged: the workbook has no sheet that can be read")
                       : "damaged, or beyond what the .xls reader reads: the workbook lists " +
                             std::to_string(listed) + (listed == 1 ? " sheet" : " sheets") +
                             " and the reader finds none");
  }
  if (count > 65535) count = 65535;
  w.Put<int32_t>(FREEXL_OK);
  const bool date1904 = freexl_get_info(handle, FREEXL_BIFF_DATEMODE, &info) == FREEXL_OK &&
                        info == FREEXL_BIFF_DATEMODE_1904;
  w.Put<uint8_t>(date1904);
  w.Put<uint32_t>(count);
  for (unsigned int i = 0; i < count; ++i) SendSheet(w, handle, i, count, scan);
  w.Flush();
  _exit(0);
}

}  // namespace
}  // namespace tabrix::formats::xls

int main() {
  // Only the workbook and the pipe: whatever else the client left open is not ours to hold.
  ::close_range(3, UINT_MAX, 0);
  tabrix::formats::xls::Run();
}
