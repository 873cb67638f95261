// An in-memory workbook for the engine's tests: sheets of cells given by name ("B7").
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "formats/Workbook.h"

namespace tabrix::sql::testing {

struct FakeCell {
  std::string ref;  // "A1"
  formats::CellKind kind;
  double number = 0;
  std::string text;
};

inline FakeCell Num(std::string ref, double v) { return {std::move(ref), formats::CellKind::Number, v, {}}; }
inline FakeCell Str(std::string ref, std::string v) { return {std::move(ref), formats::CellKind::Text, 0, std::move(v)}; }
inline FakeCell Date(std::string ref, double serial) { return {std::move(ref), formats::CellKind::DateTime, serial, {}}; }
inline FakeCell Bool(std::string ref, bool v) { return {std::move(ref), formats::CellKind::Boolean, v ? 1.0 : 0.0, {}}; }
inline FakeCell Err(std::string ref, std::string v) { return {std::move(ref), formats::CellKind::Error, 0, std::move(v)}; }

class FakeWorkbook : public formats::Workbook {
 public:
  FakeWorkbook& Sheet(std::string name, std::vector<FakeCell> cells) {
    formats::TableInfo info;
    info.name = std::move(name);
    info.sheet = tables_.size();
    tables_.insert(tables_.begin() + static_cast<long>(sheets_.size()), info);
    sheets_.push_back(std::move(cells));
    return *this;
  }
  FakeWorkbook& Name(std::string name, size_t sheet, formats::Range range) {
    formats::TableInfo info;
    info.name = std::move(name);
    info.isSheet = false;
    info.sheet = sheet;
    info.hasRange = true;
    info.range = range;
    tables_.push_back(info);
    return *this;
  }
  FakeWorkbook& Use1904() {
    date1904_ = true;
    return *this;
  }
  const std::vector<formats::TableInfo>& Tables() const override { return tables_; }
  bool Date1904() const override { return date1904_; }
  void ReadSheet(size_t sheet, formats::CellSink& sink) override {
    ++reads;
    for (const FakeCell& c : sheets_.at(sheet)) {
      formats::Cell cell;
      size_t i = 0;
      uint32_t column = 0;
      while (i < c.ref.size() && c.ref[i] >= 'A' && c.ref[i] <= 'Z') column = column * 26 + (c.ref[i++] - 'A' + 1);
      cell.column = column - 1;
      cell.row = static_cast<uint32_t>(std::stoul(c.ref.substr(i)) - 1);
      cell.kind = c.kind;
      cell.number = c.number;
      cell.text = c.text;
      if (!sink.OnCell(cell)) return;
    }
  }
  int reads = 0;

 private:
  std::vector<formats::TableInfo> tables_;
  std::vector<std::vector<FakeCell>> sheets_;
  bool date1904_ = false;
};

}  // namespace tabrix::sql::testing
