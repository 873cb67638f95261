// A1-style references as workbooks write them: cells ("B7", "$B$7"), rectangles ("A1:C10",
// "$A:$C", "$1:$5") and the formulas of defined names ("'Sales 2026'!$A$1:$D$10").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {

constexpr uint32_t kMaxRows = 1'048'576;
constexpr uint32_t kMaxColumns = 16'384;

struct CellPosition {
  uint32_t row = 0, column = 0;  // zero-based
};

// "B7" or "$B$7": the zero-based position; nothing if it is not a cell of a sheet.
std::optional<CellPosition> ParseCell(std::string_view text);

// "A1:C10", a single cell, whole columns "$A:$C" or whole rows "$1:$5"; the corners in any
// order.
std::optional<Range> ParseRange(std::string_view text);

// A defined name's formula when it is one rectangle of one sheet: the sheet's name (quotes
// undone) and the range. Nothing for anything else (unions, functions, constants, #REF!,
// references to other workbooks).
struct SheetRange {
  std::string sheet;
  Range range;
};
std::optional<SheetRange> ParseSheetRange(std::string_view formula);

// "B7" from zero-based row 6, column 1.
std::string CellName(uint32_t row, uint32_t column);

}  // namespace tabrix::formats
