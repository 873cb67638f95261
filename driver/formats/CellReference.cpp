#include "driver/formats/CellReference.h"

#include <algorithm>

namespace tabrix::formats {
namespace {

// Column letters at `pos` ("AB" -> 27, zero-based), with an optional leading '$'.
bool ReadColumn(std::string_view text, size_t& pos, uint32_t& column) {
  if (pos < text.size() && text[pos] == '$') ++pos;
  uint32_t value = 0;
  size_t start = pos;
  while (pos < text.size() && pos - start < 4) {
    char c = text[pos];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') break;
    value = value * 26 + static_cast<uint32_t>(c - 'A' + 1);
    ++pos;
  }
  if (pos == start || value > kMaxColumns) return false;
  column = value - 1;
  return true;
}

bool ReadRow(std::string_view text, size_t& pos, uint32_t& row) {
  if (pos < text.size() && text[pos] == '$') ++pos;
  uint32_t value = 0;
  size_t start = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 8) {
    value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
    ++pos;
  }
  if (pos == start || value == 0 || value > kMaxRows) return false;
  row = value - 1;
  return true;
}

}  // namespace

std::optional<CellPosition> ParseCell(std::string_view text) {
  CellPosition cell;
  size_t pos = 0;
  if (!ReadColumn(text, pos, cell.column) || !ReadRow(text, pos, cell.row) || pos != text.size())
    return std::nullopt;
  return cell;
}

std::optional<Range> ParseRange(std::string_view text) {
  const size_t colon = text.find(':');
  const std::string_view first = text.substr(0, colon);
  const std::string_view last = colon == std::string_view::npos ? first : text.substr(colon + 1);
  Range range;
  if (auto a = ParseCell(first), b = ParseCell(last); a && b) {
    range = {std::min(a->row, b->row), std::min(a->column, b->column), std::max(a->row, b->row),
             std::max(a->column, b->column)};
    return range;
  }
  if (colon == std::string_view::npos) return std::nullopt;
  uint32_t a = 0, b = 0;
  size_t pa = 0, pb = 0;
  if (ReadColumn(first, pa, a) && pa == first.size() && ReadColumn(last, pb, b) &&
      pb == last.size())
    return Range{0, std::min(a, b), kMaxRows - 1, std::max(a, b)};
  pa = pb = 0;
  if (ReadRow(first, pa, a) && pa == first.size() && ReadRow(last, pb, b) && pb == last.size())
    return Range{std::min(a, b), 0, std::max(a, b), kMaxColumns - 1};
  return std::nullopt;
}

std::optional<SheetRange> ParseSheetRange(std::string_view formula) {
  while (!formula.empty() && formula.front() == ' ') formula.remove_prefix(1);
  while (!formula.empty() && formula.back() == ' ') formula.remove_suffix(1);
  SheetRange out;
  size_t pos = 0;
  if (!formula.empty() && formula[0] == '\'') {
    for (pos = 1;; ++pos) {
      if (pos >= formula.size()) return std::nullopt;
      if (formula[pos] == '\'') {
        if (pos + 1 < formula.size() && formula[pos + 1] == '\'') {
          out.sheet += '\'';
          ++pos;
          continue;
        }
        ++pos;
        break;
      }
      out.sheet += formula[pos];
    }
    if (pos >= formula.size() || formula[pos] != '!') return std::nullopt;
  } else {
    pos = formula.find('!');
    if (pos == std::string_view::npos) return std::nullopt;
    out.sheet = formula.substr(0, pos);
    // An unquoted sheet name is a plain word: anything else is an expression or another file.
    if (out.sheet.empty() || out.sheet.find_first_of("[]()'\",;:+-*/&=<>^ {}") != std::string::npos)
      return std::nullopt;
  }
  if (out.sheet.empty()) return std::nullopt;
  const auto range = ParseRange(formula.substr(pos + 1));
  if (!range) return std::nullopt;
  out.range = *range;
  return out;
}

std::string CellName(uint32_t row, uint32_t column) {
  char letters[8];
  int n = 0;
  uint32_t c = column + 1;
  while (c > 0 && n < 8) {
    letters[n++] = static_cast<char>('A' + (c - 1) % 26);
    c = (c - 1) / 26;
  }
  std::string out(letters, letters + n);
  std::reverse(out.begin(), out.end());
  out += std::to_string(row + 1);
  return out;
}

}  // namespace tabrix::formats
