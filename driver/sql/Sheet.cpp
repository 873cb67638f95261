#include "sql/Sheet.h"

#include "formats/Dates.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tabrix::sql {
using formats::CivilFromDays;
using formats::DaysFromCivil;

void* ResizePages(void* block, size_t from, size_t to) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto round = [page](size_t n) { return n > SIZE_MAX - page ? 0 : (n + page - 1) / page * page; };
  const size_t have = round(from), want = round(to);
  if (to > 0 && want == 0) throw std::bad_alloc();
  if (have == want) return block;
  if (want == 0) {
    ReleasePages(block, from);
    return nullptr;
  }
  void* moved =
      have == 0 ? mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                : mremap(block, have, want, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) throw std::bad_alloc();
  return moved;
}

void ReleasePages(void* block, size_t bytes) {
  if (!block || bytes == 0) return;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  munmap(block, (bytes + page - 1) / page * page);
}

std::string CellName(uint32_t row, uint32_t column) {
  std::string letters;
  for (uint64_t c = uint64_t{column} + 1; c > 0; c = (c - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  }
  return letters + std::to_string(uint64_t{row} + 1);
}

size_t FormatNumber(double value, char* out) {
  if (std::isnan(value)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  // Whole numbers print without an exponent up to 2^53, as a sheet shows them.
  if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
    auto result = std::to_chars(out, out + 32, static_cast<int64_t>(value));
    return static_cast<size_t>(result.ptr - out);
  }
  auto result = std::to_chars(out, out + 32, value);
  return static_cast<size_t>(result.ptr - out);
}

size_t FormatSerial(double serial, bool date1904, char* out) {
  if (!std::isfinite(serial) || std::fabs(serial) > 3e6) {
    return FormatNumber(serial, out);
  }
  const int64_t totalMs = std::llround(serial * 86400000.0);
  int64_t day = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86399999) / 86400000);
  int64_t ms = totalMs - day * 86400000;
  int64_t y, m, d;
  if (date1904) {
    CivilFromDays(DaysFromCivil(1904, 1, 1) + day, y, m, d);
  } else if (day == 60) {  // the 29 February 1900 the 1900 system counts, a day that never was
    y = 1900, m = 2, d = 28;
  } else if (day < 1) {  // a time of day alone: on the day before serial 1's eve, as ODBC has it
    CivilFromDays(DaysFromCivil(1899, 12, 30) + day, y, m, d);
  } else if (day < 60) {
    CivilFromDays(DaysFromCivil(1899, 12, 31) + day, y, m, d);
  } else {
    CivilFromDays(DaysFromCivil(1899, 12, 30) + day, y, m, d);
  }
  const int hh = static_cast<int>(ms / 3600000), mi = static_cast<int>(ms / 60000 % 60),
            ss = static_cast<int>(ms / 1000 % 60), fff = static_cast<int>(ms % 1000);
  if (y >= 0 && y <= 9999) {
    // Every date cell of a sheet passes here: digits by hand, not through printf.
    auto put = [&out](size_t at, unsigned value, int width) {
      for (int i = width - 1; i >= 0; --i, value /= 10)
        out[at + i] = static_cast<char>('0' + value % 10);
    };
    put(0, static_cast<unsigned>(y), 4);
    out[4] = '-';
    put(5, static_cast<unsigned>(m), 2);
    out[7] = '-';
    put(8, static_cast<unsigned>(d), 2);
    out[10] = ' ';
    put(11, static_cast<unsigned>(hh), 2);
    out[13] = ':';
    put(14, static_cast<unsigned>(mi), 2);
    out[16] = ':';
    put(17, static_cast<unsigned>(ss), 2);
    if (!fff) return 19;
    out[19] = '.';
    put(20, static_cast<unsigned>(fff), 3);
    return 23;
  }
  int n = fff ? std::snprintf(out, 32, "%04lld-%02u-%02u %02d:%02d:%02d.%03d",
                              static_cast<long long>(y), static_cast<unsigned>(m),
                              static_cast<unsigned>(d), hh, mi, ss, fff)
              : std::snprintf(out, 32, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y),
                              static_cast<unsigned>(m), static_cast<unsigned>(d), hh, mi, ss);
  return static_cast<size_t>(n);
}

// Collects cells as they stream, sorts them only when the file did not keep its order.
class SheetData::Builder : public formats::CellSink {
 public:
  explicit Builder(SheetData& data) : data_(data) {}
  bool OnCell(const formats::Cell& cell) override {
    if (cell.column > 0xFFFFFF) {
      throw formats::FormatError("cell " + CellName(cell.row, cell.column) +
                                 ": beyond the last column a sheet has");
    }
    Stored stored{};
    stored.row = cell.row;
    stored.columnAndKind = cell.column | (static_cast<uint32_t>(cell.kind) << 24);
    if (cell.kind == CellKind::Text || cell.kind == CellKind::Error) {
      if (data_.arena_.size() + cell.text.size() > 0xFFFFFFFFu) {
        throw formats::FormatError("the sheet's text is larger than 4 GB");
      }
      stored.text.offset = static_cast<uint32_t>(data_.arena_.size());
      stored.text.length = static_cast<uint32_t>(cell.text.size());
      if (!cell.text.empty()) {
        std::memcpy(data_.arena_.Extend(cell.text.size()), cell.text.data(), cell.text.size());
      }
    } else {
      stored.number = cell.number;
    }
    if (!data_.cells_.empty()) {
      const Stored& last = data_.cells_.back();
      if (last.row > stored.row || (last.row == stored.row && last.Column() >= stored.Column())) {
        ordered_ = false;
      }
    }
    data_.cells_.push_back(stored);
    return true;
  }
  void OnSize(uint32_t rows, uint32_t columns) override {
    data_.rows_ = rows;
    data_.columns_ = columns;
  }
  void OnWarning(const std::string& message) override { data_.warnings_.push_back(message); }

  void Finish() {
    auto& cells = data_.cells_;
    if (!ordered_) {
      std::stable_sort(cells.begin(), cells.end(), [](const Stored& a, const Stored& b) {
        return a.row != b.row ? a.row < b.row : a.Column() < b.Column();
      });
      // A repeated cell: the later one wins.
      size_t out = 0;
      for (size_t i = 0; i < cells.size(); ++i) {
        if (out > 0 && cells[out - 1].row == cells[i].row &&
            cells[out - 1].Column() == cells[i].Column()) {
          cells[out - 1] = cells[i];
        } else {
          cells[out++] = cells[i];
        }
      }
      cells.resize(out);
    }
    cells.shrink_to_fit();
    data_.arena_.shrink_to_fit();
    if (cells.empty()) return;
    Range& used = data_.used_;
    used.firstRow = cells.front().row;
    used.lastRow = cells.back().row;
    used.firstColumn = 0xFFFFFFFF;
    used.lastColumn = 0;
    for (const Stored& c : cells) {
      used.firstColumn = std::min(used.firstColumn, c.Column());
      used.lastColumn = std::max(used.lastColumn, c.Column());
    }
    auto& starts = data_.rowStart_;
    starts.assign(size_t{used.lastRow} - used.firstRow + 2, 0);
    size_t i = 0;
    for (uint64_t r = used.firstRow; r <= used.lastRow; ++r) {
      starts[r - used.firstRow] = static_cast<uint32_t>(i);
      while (i < cells.size() && cells[i].row == r) ++i;
    }
    starts.back() = static_cast<uint32_t>(cells.size());
  }

 private:
  SheetData& data_;
  bool ordered_ = true;
};

std::shared_ptr<const SheetData> SheetData::Read(formats::Workbook& workbook, size_t sheet,
                                                 uint32_t expectedCells) {
  auto data = std::make_shared<SheetData>();
  data->date1904_ = workbook.Date1904();
  // The declared dimension is a hint; a hostile one must not reserve gigabytes.
  data->cells_.reserve(std::min<uint32_t>(expectedCells, 1u << 20));
  Builder builder(*data);
  workbook.ReadSheet(sheet, builder);
  builder.Finish();
  return data;
}

std::shared_ptr<const SheetData> SheetData::FromCells(const std::vector<formats::Cell>& cells,
                                                      bool date1904) {
  auto data = std::make_shared<SheetData>();
  data->date1904_ = date1904;
  Builder builder(*data);
  for (const auto& cell : cells) builder.OnCell(cell);
  builder.Finish();
  return data;
}

const SheetData::Stored* SheetData::Find(uint32_t row, uint32_t column) const {
  if (cells_.empty() || row < used_.firstRow || row > used_.lastRow) return nullptr;
  const Stored* begin = cells_.data() + rowStart_[row - used_.firstRow];
  const Stored* end = cells_.data() + rowStart_[row - used_.firstRow + 1];
  // Rows are mostly full: look where the column would be first.
  if (column >= used_.firstColumn) {
    size_t guess = column - used_.firstColumn;
    if (guess < static_cast<size_t>(end - begin) && begin[guess].Column() == column) {
      return begin + guess;
    }
  }
  const Stored* it = std::lower_bound(
      begin, end, column, [](const Stored& c, uint32_t col) { return c.Column() < col; });
  return it != end && it->Column() == column ? it : nullptr;
}

std::string_view CellText(const SheetData& data, const SheetData::Stored& cell, char* buffer) {
  switch (cell.Kind()) {
    case CellKind::Text:
    case CellKind::Error:
      return data.Text(cell);
    case CellKind::Number:
      return std::string_view(buffer, FormatNumber(cell.number, buffer));
    case CellKind::DateTime:
      return std::string_view(buffer, FormatSerial(cell.number, data.Date1904(), buffer));
    case CellKind::Boolean:
      return cell.number != 0 ? "TRUE" : "FALSE";
  }
  return {};
}

}  // namespace tabrix::sql
