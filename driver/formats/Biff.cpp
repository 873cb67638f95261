#include "driver/formats/Biff.h"

#include <algorithm>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {
namespace {

constexpr uint16_t kBof = 0x0809, kEof = 0x000A, kBoundSheet = 0x0085;
constexpr uint16_t kNumber = 0x0203, kRk = 0x027E, kMulRk = 0x00BD, kLabelSst = 0x00FD,
                   kLabel = 0x0204, kBoolErr = 0x0205;
constexpr size_t kMaxRecord = 8224;  // BIFF8's largest record body

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

[[noreturn]] void Damaged(const std::string& what) { throw FormatError("damaged: " + what); }

struct Record {
  uint16_t id = 0;
  const unsigned char* data = nullptr;
  uint16_t size = 0;
};

class Records {
 public:
  explicit Records(std::string_view stream)
      : data_(reinterpret_cast<const unsigned char*>(stream.data())), size_(stream.size()) {}
  size_t size() const { return size_; }
  bool AtEnd(size_t at) const { return at >= size_; }
  // The record at `at`, and `at` moved past it.
  Record Next(size_t& at, const std::string& where) const {
    if (size_ - at < 4) Damaged(where + " end inside a record");
    Record r{U16(data_ + at), data_ + at + 4, U16(data_ + at + 2)};
    if (r.size > kMaxRecord) Damaged(where + " hold a record longer than records can be");
    if (size_ - at - 4 < r.size) Damaged(where + " end inside a record");
    at += 4 + r.size;
    return r;
  }

 private:
  const unsigned char* data_;
  size_t size_;
};

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A BIFF8 sheet name: a count of characters, a flag (bit 0: two bytes each), the characters.
std::string SheetName(const Record& r) {
  if (r.size < 8) return {};
  const unsigned count = r.data[6];
  const bool wide = r.data[7] & 1;
  if (8 + count * (wide ? 2u : 1u) > r.size) Damaged("a sheet's name runs past its record");
  std::string name;
  for (unsigned i = 0; i < count; ++i) {
    uint32_t c = wide ? U16(r.data + 8 + 2 * i) : r.data[8 + i];
    if (wide && c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
      const uint32_t low = U16(r.data + 8 + 2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
        name += static_cast<char>(0xF0 | c >> 18);
        name += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        name += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        name += static_cast<char>(0x80 | (c & 0x3F));
        continue;
      }
    }
    AppendUtf8(name, c);
  }
  return name;
}

// One sheet's records, from its BOF to the EOF that closes it (charts inside it nest); where
// they end.
size_t ScanSheet(const Records& records, size_t at, BiffSheet& sheet, const std::string& where) {
  int depth = 0;
  do {
    if (records.AtEnd(at)) Damaged(where + " end before the sheet does");
    const Record r = records.Next(at, where);
    if (r.id == kBof) {
      ++depth;
      continue;
    }
    if (r.id == kEof) {
      --depth;
      continue;
    }
    if (depth != 1 || !sheet.worksheet) continue;
    auto cellRecord = [&](size_t least) {
      if (r.size < least) Damaged(where + " hold a cell whose record is cut short");
      ++sheet.valueCells;
    };
    switch (r.id) {
      case kNumber:
        cellRecord(14);
        break;
      case kRk:
        cellRecord(10);
        break;
      case kLabelSst:
        cellRecord(10);
        break;
      case kLabel:
        cellRecord(8);
        break;
      case kMulRk:
        if (r.size < 12 || (r.size - 6) % 6 != 0)
          Damaged(where + " hold a run of cells whose record is broken");
        sheet.valueCells += (r.size - 6) / 6;
        break;
      case kBoolErr:
        cellRecord(8);
        sheet.special.push_back({U16(r.data), U16(r.data + 2), r.data[7] != 0, r.data[6]});
        break;
      default:
        break;
    }
  } while (depth > 0);
  return at;
}

}  // namespace

const char* BiffErrorText(uint8_t code) {
  switch (code) {
    case 0x00:
      return "#NULL!";
    case 0x07:
      return "#DIV/0!";
    case 0x0F:
      return "#VALUE!";
    case 0x17:
      return "#REF!";
    case 0x1D:
      return "#NAME?";
    case 0x24:
      return "#NUM!";
    default:
      return "#N/A";
  }
}

BiffScan ScanBiff(std::string_view stream) {
  BiffScan scan;
  Records records(stream);
  size_t at = 0;
  if (records.size() < 4) Damaged("the workbook stream is empty");
  const Record first = records.Next(at, "the workbook's records");
  if (first.id != kBof) {
    const uint16_t older[] = {0x0009, 0x0209, 0x0409};
    for (uint16_t id : older)
      if (first.id == id) return scan;  // BIFF2 to BIFF4: one sheet, no compound structure
    Damaged("the workbook stream does not start as a workbook");
  }
  const uint16_t version = first.size >= 2 ? U16(first.data) : 0;
  if (version != 0x0600 && version != 0x0500)
    Damaged("the workbook stream's first record names no version of the format");
  const bool biff8 = version == 0x0600;
  scan.checked = true;

  std::vector<uint32_t> starts;
  for (;;) {
    if (records.AtEnd(at)) Damaged("the workbook's records end before the workbook's own do");
    const Record r = records.Next(at, "the workbook's records");
    if (r.id == kEof) break;
    if (r.id != kBoundSheet) continue;
    if (r.size < 6) Damaged("a sheet's record in the workbook is cut short");
    BiffSheet sheet;
    sheet.worksheet = r.data[5] == 0;
    if (biff8) sheet.name = SheetName(r);
    starts.push_back(U32(r.data));
    scan.sheets.push_back(std::move(sheet));
  }
  if (scan.sheets.empty()) Damaged("the workbook lists no sheets");
  // The parts follow each other without a gap: a record whose length was changed makes the
  // walk through the rest of its part land elsewhere, though every record looks whole.
  std::vector<size_t> order(starts.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return starts[a] < starts[b]; });
  size_t end = at;
  for (size_t i : order) {
    const std::string sheet = "sheet " + std::to_string(i + 1);
    const std::string where = "the records of " + sheet;
    if (starts[i] != end) Damaged(sheet + " does not start where the records before it end");
    size_t peek = starts[i];
    if (records.Next(peek, where).id != kBof)
      Damaged(sheet + " does not start where the workbook says");
    end = ScanSheet(records, starts[i], scan.sheets[i], where);
  }
  for (size_t i = end; i < records.size(); ++i)  // what follows may only be padding
    if (stream[i] != 0) Damaged("the workbook stream holds records after its last sheet");
  return scan;
}

}  // namespace tabrix::formats
