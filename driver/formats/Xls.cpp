// Excel 97-2003 workbooks (.xls; BIFF8 and the older versions FreeXL reads) through FreeXL,
// which tells date, date-time and time cells apart by their formats.
//
// FreeXL reads the whole workbook at open, and a crafted file can make it read out of
// bounds (found by fuzzing 1.0.6). So it runs in a child process of its own: the child reads
// the workbook and sends the sheets and their cells down a pipe, and a child that dies or
// stalls is a damaged file, not a dead application.
#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "driver/formats/Dates.h"
#include "driver/formats/Readers.h"

namespace tabrix::formats {
namespace {

// How long the child may go without sending anything before it is taken for stuck.
constexpr int kStallMilliseconds = 60'000;

// What the child reports first, when it cannot read the workbook.
constexpr int32_t kEncrypted = 1;

std::string FreeXlError(int code) {
  switch (code) {
    case kEncrypted:
      return "encrypted (a workbook protected by a password)";
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

// ---- The child: FreeXL's answers as a stream of records -------------------------------

class PipeWriter {
 public:
  explicit PipeWriter(int fd) : fd_(fd) { buffer_.reserve(kSize); }
  ~PipeWriter() { Flush(); }
  void Bytes(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
    if (buffer_.size() >= kSize) Flush();
  }
  template <typename T>
  void Put(T value) {
    Bytes(&value, sizeof value);
  }
  void Text(const char* text) {
    const uint32_t size = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
    Put(size);
    Bytes(text, size);
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

 private:
  static constexpr size_t kSize = 64 * 1024;
  int fd_;
  std::vector<char> buffer_;
};

// Record kinds of a sheet's cells; one byte each, then the value.
enum : uint8_t { kEndOfSheet = 0, kNumber = 1, kText = 2, kDate = 3 };

[[noreturn]] void ReadInChild(int fileFd, int out) {
  PipeWriter w(out);
  const void* handle = nullptr;
  const std::string self = "/proc/self/fd/" + std::to_string(fileFd);
  int32_t status = freexl_open(self.c_str(), &handle);
  unsigned int info = 0;
  if (status == FREEXL_OK && freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
      info == FREEXL_BIFF_OBFUSCATED)
    status = kEncrypted;
  w.Put(status);
  if (status != FREEXL_OK) {
    w.Flush();
    _exit(0);
  }
  const bool date1904 = freexl_get_info(handle, FREEXL_BIFF_DATEMODE, &info) == FREEXL_OK &&
                        info == FREEXL_BIFF_DATEMODE_1904;
  w.Put<uint8_t>(date1904);
  unsigned int count = 0;
  freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count);
  if (count > 65535) count = 65535;
  w.Put<uint32_t>(count);
  for (unsigned int i = 0; i < count; ++i) {
    const char* name = nullptr;
    if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) != FREEXL_OK)
      name = nullptr;
    w.Text(name);
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(handle, static_cast<unsigned short>(i)) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK)
      rows = columns = 0;
    w.Put<uint32_t>(rows);
    w.Put<uint16_t>(columns);
    for (unsigned int r = 0; r < rows; ++r) {
      for (unsigned short c = 0; c < columns; ++c) {
        FreeXL_CellValue value;
        status = freexl_get_cell_value(handle, r, c, &value);
        if (status != FREEXL_OK) {
          w.Put<uint8_t>(kEndOfSheet);
          w.Put(status);
          w.Flush();
          _exit(0);
        }
        switch (value.type) {
          case FREEXL_CELL_INT:
          case FREEXL_CELL_DOUBLE:
            w.Put<uint8_t>(kNumber);
            w.Put(r);
            w.Put(c);
            w.Put(value.type == FREEXL_CELL_INT ? static_cast<double>(value.value.int_value)
                                                : value.value.double_value);
            break;
          case FREEXL_CELL_TEXT:
          case FREEXL_CELL_SST_TEXT:
          case FREEXL_CELL_DATE:
          case FREEXL_CELL_DATETIME:
          case FREEXL_CELL_TIME:
            w.Put<uint8_t>(value.type == FREEXL_CELL_TEXT || value.type == FREEXL_CELL_SST_TEXT
                               ? kText
                               : kDate);
            w.Put(r);
            w.Put(c);
            w.Text(value.value.text_value);
            break;
          default:
            break;
        }
      }
    }
    w.Put<uint8_t>(kEndOfSheet);
    w.Put<int32_t>(FREEXL_OK);
  }
  w.Flush();
  _exit(0);
}

// ---- The parent: the records read back -------------------------------------------------

class PipeReader {
 public:
  explicit PipeReader(int fd) : fd_(fd) {}
  void Bytes(void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
      if (at_ == end_) Fill();
      const size_t n = std::min(size, end_ - at_);
      std::memcpy(p, buffer_ + at_, n);
      at_ += n;
      p += n;
      size -= n;
    }
  }
  template <typename T>
  T Get() {
    T value;
    Bytes(&value, sizeof value);
    return value;
  }
  void Text(std::string& out) {
    const uint32_t size = Get<uint32_t>();
    const size_t start = out.size();
    out.resize(start + size);
    Bytes(out.data() + start, size);
  }

 private:
  void Fill() {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
      const int ready = ::poll(&p, 1, kStallMilliseconds);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) throw Stalled();
      break;
    }
    ssize_t n;
    do {
      n = ::read(fd_, buffer_, sizeof buffer_);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) throw Ended();
    at_ = 0;
    end_ = static_cast<size_t>(n);
  }

 public:
  struct Stalled {};
  struct Ended {};

 private:
  int fd_;
  char buffer_[64 * 1024];
  size_t at_ = 0, end_ = 0;
};

struct StoredCell {
  uint32_t row;
  uint16_t column;
  CellKind kind;
  double number;
  uint32_t textStart, textSize;
};

struct Sheet {
  std::vector<StoredCell> cells;
  std::string text;  // every text of the sheet's cells, one after the other
};

class XlsWorkbook : public Workbook {
 public:
  XlsWorkbook(int fd, const std::string& path) : path_(path) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      ::close(fd);
      throw FormatError(path_ + ": cannot be read (" + std::strerror(errno) + ")");
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(fds[0]);
      ReadInChild(fd, fds[1]);
    }
    const int error = errno;
    ::close(fd);
    ::close(fds[1]);
    if (child < 0) {
      ::close(fds[0]);
      throw FormatError(path_ + ": cannot be read (" + std::strerror(error) + ")");
    }
    std::string failure;
    try {
      Receive(fds[0]);
    } catch (const PipeReader::Stalled&) {
      ::kill(child, SIGKILL);
      failure = "damaged: the .xls reader stalled on it";
    } catch (const PipeReader::Ended&) {
      failure = "damaged: the .xls reader failed on it";
    } catch (const FormatError& e) {
      failure = e.what();
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!failure.empty()) {
      if (failure.rfind(path_, 0) == 0) throw FormatError(failure);
      if (WIFSIGNALED(status)) failure += " (signal " + std::to_string(WTERMSIG(status)) + ")";
      throw FormatError(path_ + ": " + failure);
    }
  }

  const std::vector<TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return date1904_; }

  void ReadSheet(size_t sheet, CellSink& sink) override {
    if (sheet >= tables_.size())
      throw FormatError(path_ + ": no sheet at index " + std::to_string(sheet));
    const Sheet& s = sheets_[sheet];
    Cell cell;
    for (const StoredCell& stored : s.cells) {
      cell.row = stored.row;
      cell.column = stored.column;
      cell.kind = stored.kind;
      cell.number = stored.number;
      cell.text = std::string_view(s.text).substr(stored.textStart, stored.textSize);
      if (!sink.OnCell(cell)) return;
    }
  }

 private:
  void Receive(int fd) {
    PipeReader in(fd);
    const int32_t status = in.Get<int32_t>();
    if (status != FREEXL_OK) throw FormatError(path_ + ": " + FreeXlError(status));
    date1904_ = in.Get<uint8_t>() != 0;
    const uint32_t count = in.Get<uint32_t>();
    for (uint32_t i = 0; i < count; ++i) {
      TableInfo table;
      in.Text(table.name);
      table.sheet = tables_.size();
      const uint32_t rows = in.Get<uint32_t>();
      const uint16_t columns = in.Get<uint16_t>();
      if (rows > 0 && columns > 0) {
        table.hasRange = true;
        table.range = {0, 0, rows - 1, static_cast<uint32_t>(columns - 1)};
      }
      Sheet sheet;
      ReceiveCells(in, sheet);
      tables_.push_back(std::move(table));
      sheets_.push_back(std::move(sheet));
    }
  }

  void ReceiveCells(PipeReader& in, Sheet& sheet) {
    std::string text;
    for (;;) {
      const uint8_t kind = in.Get<uint8_t>();
      if (kind == kEndOfSheet) {
        const int32_t status = in.Get<int32_t>();
        if (status != FREEXL_OK) throw FormatError(path_ + ": " + FreeXlError(status));
        return;
      }
      StoredCell cell{};
      cell.row = in.Get<uint32_t>();
      cell.column = in.Get<uint16_t>();
      if (kind == kNumber) {
        cell.kind = CellKind::Number;
        cell.number = in.Get<double>();
      } else {
        text.clear();
        in.Text(text);
        std::optional<double> serial;
        if (kind == kDate) serial = IsoToSerial(text, date1904_);
        if (serial) {
          cell.kind = CellKind::DateTime;
          cell.number = *serial;
        } else {  // text, or a date outside what serials count: the text FreeXL shows
          cell.kind = CellKind::Text;
          cell.textStart = static_cast<uint32_t>(sheet.text.size());
          cell.textSize = static_cast<uint32_t>(text.size());
          sheet.text += text;
        }
      }
      sheet.cells.push_back(cell);
    }
  }

  std::string path_;
  std::vector<TableInfo> tables_;
  std::vector<Sheet> sheets_;
  bool date1904_ = false;
};

}  // namespace

std::unique_ptr<Workbook> OpenXls(int fd, const std::string& path) {
  return std::make_unique<XlsWorkbook>(fd, path);
}

}  // namespace tabrix::formats
