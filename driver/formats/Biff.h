// A check of an .xls workbook's record stream (BIFF5 and BIFF8), beside the library that reads
// its cells: every record within the stream, the sheets where the workbook says they start,
// each sheet's records ending as they should; how many value cells each sheet has, so that
// cells the library silently drops are told; and the cells it reads only as numbers
// (booleans and errors), so that they keep their kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix::formats {

struct BiffSpecialCell {
  uint32_t row = 0;
  uint16_t column = 0;
  bool error = false;  // false: a boolean
  uint8_t value = 0;   // the boolean (0, 1), or the error's code
};

struct BiffSheet {
  std::string name;  // UTF-8; empty where the name is in a code page (BIFF5)
  bool worksheet = false;
  uint64_t valueCells = 0;               // cells holding a number, a text, a boolean or an error
  std::vector<BiffSpecialCell> special;  // in the stream's order
};

struct BiffScan {
  bool checked = false;           // false: a version older than BIFF5, left to the library alone
  std::vector<BiffSheet> sheets;  // in the workbook's order
};

// Throws FormatError with the reason alone ("damaged: ...").
BiffScan ScanBiff(std::string_view stream);

// "#DIV/0!" for 0x07, and so on; "#N/A" for a code that has no name.
const char* BiffErrorText(uint8_t code);

}  // namespace tabrix::formats
