// Excel 97-2003 workbooks (.xls; BIFF8 and the older versions FreeXL reads) through FreeXL,
// which tells date, date-time and time cells apart by their formats.
//
// FreeXL reads the whole workbook at open, and a crafted file can make it read out of
// bounds (found by fuzzing 1.0.6). So it runs in a helper program of its own (XlsHelper.cpp),
// started afresh for each workbook: it reads the workbook and sends the sheets and their
// cells down a pipe, and a helper that dies or stalls is a damaged file, not a dead
// application. A fresh program, not a fork: a copy of a threaded client would inherit locks
// its other threads held, and wait on them forever.
#include <dlfcn.h>
#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "driver/formats/Dates.h"
#include "driver/formats/Readers.h"
#include "driver/formats/Text.h"
#include "driver/formats/XlsProtocol.h"

extern char** environ;

namespace tabrix::formats {
namespace {

// How long the child may go without sending anything before it is taken for stuck.
constexpr int kStallMilliseconds = 60'000;

using namespace xls;

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
  // Texts are a cell's or a sheet's name, each bounded: a longer size is a broken helper.
  void Text(std::string& out) {
    const uint32_t size = Get<uint32_t>();
    if (size > kMaxCellTextBytes + 4096) throw Ended();
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
      const int error = errno;
      ::close(fd);
      throw FormatError(path_ + ": cannot be read (" + std::strerror(error) + ")");
    }
    pid_t child = -1;
    const std::string failedToStart = Spawn(fd, fds[1], child);
    ::close(fd);
    ::close(fds[1]);
    if (!failedToStart.empty()) {
      ::close(fds[0]);
      throw FormatError(path_ + ": cannot be read: " + failedToStart);
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
    } catch (...) {  // no memory for what it sends: the helper is ended and reaped, never left
      ::kill(child, SIGKILL);
      ::close(fds[0]);
      while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
      throw;
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
  // Starts the helper with the workbook as its input and the pipe as its output, its signals
  // as a new program's; the reason it could not be started, or nothing.
  static std::string Spawn(int fd, int out, pid_t& child) {
    const std::string helper = XlsHelperPath();
    if (::access(helper.c_str(), X_OK) != 0)
      return "the .xls reader " + helper + " is missing (" + std::strerror(errno) + ")";
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // Descriptors 0 and 1 are the helper's input and output; ours may be either already (a
    // client that closed its own), so each is moved above them first.
    const int in = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int to = ::fcntl(out, F_DUPFD_CLOEXEC, 3);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, to, 1);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* argv[] = {const_cast<char*>(helper.c_str()), nullptr};
    const int error = in < 0 || to < 0 ? errno
                                       : posix_spawn(&child, helper.c_str(), &actions, &attributes,
                                                     argv, environ);
    if (in >= 0) ::close(in);
    if (to >= 0) ::close(to);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
      return "the .xls reader " + helper + " cannot be started (" + std::strerror(error) + ")";
    return {};
  }

  [[noreturn]] void Refuse(PipeReader& in, int32_t status) {
    if (status != kReason) throw FormatError(path_ + ": " + FreeXlError(status));
    std::string reason;
    in.Text(reason);
    throw FormatError(path_ + ": " + reason);
  }

  void Receive(int fd) {
    PipeReader in(fd);
    const int32_t status = in.Get<int32_t>();
    if (status != FREEXL_OK) Refuse(in, status);
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
        if (status != FREEXL_OK) Refuse(in, status);
        return;
      }
      if (kind > kError) throw PipeReader::Ended();
      StoredCell cell{};
      cell.row = in.Get<uint32_t>();
      cell.column = in.Get<uint16_t>();
      if (kind == kNumber || kind == kBoolean) {
        cell.kind = kind == kNumber ? CellKind::Number : CellKind::Boolean;
        cell.number = in.Get<double>();
      } else if (kind == kError) {
        text.clear();
        in.Text(text);
        cell.kind = CellKind::Error;
        Keep(sheet, cell, text);
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
          Keep(sheet, cell, text);
        }
      }
      sheet.cells.push_back(cell);
    }
  }

  void Keep(Sheet& sheet, StoredCell& cell, const std::string& text) {
    if (sheet.text.size() + text.size() > UINT32_MAX)
      throw FormatError(path_ + ": refused: a sheet's text is larger than 4 GB");
    cell.textStart = static_cast<uint32_t>(sheet.text.size());
    cell.textSize = static_cast<uint32_t>(text.size());
    sheet.text += text;
  }

  std::string path_;
  std::vector<TableInfo> tables_;
  std::vector<Sheet> sheets_;
  bool date1904_ = false;
};

}  // namespace

namespace {

std::mutex helperMutex;
std::string& HelperOverride() {
  static std::string* path = new std::string;  // never destroyed: readers may run late
  return *path;
}

}  // namespace

std::string XlsHelperPath() {
  {
    std::lock_guard<std::mutex> lock(helperMutex);
    if (!HelperOverride().empty()) return HelperOverride();
  }
  Dl_info info{};
  std::string module;
  if (::dladdr(reinterpret_cast<void*>(&XlsHelperPath), &info) != 0 && info.dli_fname)
    module = info.dli_fname;
  const size_t slash = module.rfind('/');
  return (slash == std::string::npos ? std::string(".") : module.substr(0, slash)) + "/" +
         kHelperName;
}

ScopedXlsHelper::ScopedXlsHelper(std::string path) {
  std::lock_guard<std::mutex> lock(helperMutex);
  previous_ = std::exchange(HelperOverride(), std::move(path));
}

ScopedXlsHelper::~ScopedXlsHelper() {
  std::lock_guard<std::mutex> lock(helperMutex);
  HelperOverride() = std::move(previous_);
}

std::unique_ptr<Workbook> OpenXls(int fd, const std::string& path) {
  return std::make_unique<XlsWorkbook>(fd, path);
}

}  // namespace tabrix::formats
