// A table's columns indexed by value, made when a join or a lookup first asks for one.
#include <algorithm>

#include "sql/Sheet.h"

namespace tabrix::sql {

const TableView::ColumnIndex& TableView::Index(size_t column) const {
  if (indexes_.size() < names_.size()) indexes_.resize(names_.size());
  if (indexes_[column]) return *indexes_[column];
  auto index = std::make_unique<ColumnIndex>();
  const ColumnType type = types_[column];
  const bool numeric = type == ColumnType::Double || type == ColumnType::Bit;
  const uint64_t end = uint64_t{firstData_} + RowCount();
  for (uint64_t r = firstData_; r < end; ++r) {
    const auto* cell = data_->Find(static_cast<uint32_t>(r), SheetColumn(column));
    if (!cell || cell->Kind() == CellKind::Error || !Fits(cell->Kind(), type)) continue;
    const auto row = static_cast<uint32_t>(r);
    if (numeric) {
      index->numbers.emplace_back(cell->number == 0 ? 0.0 : cell->number, row);
      continue;
    }
    // The text exactly as the virtual table gives it.
    char buffer[32];
    index->texts.emplace_back(std::string(CellText(*data_, *cell, buffer)), row);
  }
  std::sort(index->numbers.begin(), index->numbers.end());
  std::sort(index->texts.begin(), index->texts.end());
  index->rows.reserve(numeric ? index->numbers.size() : index->texts.size());
  for (const auto& [key, row] : index->numbers) index->rows.push_back(row);
  for (const auto& [key, row] : index->texts) index->rows.push_back(row);
  indexes_[column] = std::move(index);
  return *indexes_[column];
}

TableView::RowSpan TableView::RowsWithNumber(size_t column, double key) const {
  const ColumnIndex& index = Index(column);
  if (key == 0) key = 0.0;
  auto range = std::equal_range(index.numbers.begin(), index.numbers.end(), key,
                                [](const auto& a, const auto& b) {
                                  if constexpr (std::is_same_v<std::decay_t<decltype(a)>, double>) {
                                    return a < b.first;
                                  } else {
                                    return a.first < b;
                                  }
                                });
  const uint32_t* base = index.rows.data();
  return {base + (range.first - index.numbers.begin()),
          base + (range.second - index.numbers.begin())};
}

TableView::RowSpan TableView::RowsWithText(size_t column, std::string_view key) const {
  const ColumnIndex& index = Index(column);
  auto range = std::equal_range(
      index.texts.begin(), index.texts.end(), key, [](const auto& a, const auto& b) {
        if constexpr (std::is_same_v<std::decay_t<decltype(a)>, std::string_view>) {
          return a < std::string_view(b.first);
        } else {
          return std::string_view(a.first) < b;
        }
      });
  const uint32_t* base = index.rows.data();
  return {base + (range.first - index.texts.begin()), base + (range.second - index.texts.begin())};
}

}  // namespace tabrix::sql
