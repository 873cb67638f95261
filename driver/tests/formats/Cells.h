// What a reader streams, kept as text for comparing: "B7 Number 42", "A1 Text Zürich".
#pragma once

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "driver/formats/CellReference.h"
#include "driver/formats/Dates.h"
#include "driver/formats/Workbook.h"
#include "driver/tests/formats/XlsHelper.h"

namespace tabrix::formats::testing {

inline std::string Workbooks(const std::string& name) {
  return std::string(TABRIX_WORKBOOKS) + "/" + name;
}

inline const char* KindName(CellKind kind) {
  switch (kind) {
    case CellKind::Number:
      return "Number";
    case CellKind::DateTime:
      return "DateTime";
    case CellKind::Boolean:
      return "Boolean";
    case CellKind::Text:
      return "Text";
    case CellKind::Error:
      return "Error";
  }
  return "?";
}

// Dates as their date and time, in the system of the workbook ReadAll last read.
inline thread_local bool describe1904 = false;

inline std::string Describe(const Cell& cell) {
  std::ostringstream out;
  out.precision(17);
  out << CellName(cell.row, cell.column) << ' ' << KindName(cell.kind) << ' ';
  if (cell.kind == CellKind::Text || cell.kind == CellKind::Error) {
    out << cell.text;
  } else if (cell.kind == CellKind::DateTime) {
    const auto when = SerialToDateTime(cell.number, describe1904);
    if (!when) return out.str() + "out of range";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03u", when->year, when->month,
                  when->day, when->hour, when->minute, when->second, when->nanosecond / 1'000'000);
    out << text;
  } else {
    out << cell.number;
  }
  return out.str();
}

// Every cell in the order streamed, one per line.
class Recorder : public CellSink {
 public:
  explicit Recorder(size_t stopAfter = SIZE_MAX) : stopAfter_(stopAfter) {}
  bool OnCell(const Cell& cell) override {
    text += Describe(cell) + "\n";
    byPosition[{cell.row, cell.column}] = Describe(cell);
    return ++count < stopAfter_;
  }
  std::string text;
  std::map<std::pair<uint32_t, uint32_t>, std::string> byPosition;
  size_t count = 0;

 private:
  size_t stopAfter_;
};

inline std::string ReadAll(Workbook& book, size_t sheet) {
  describe1904 = book.Date1904();
  Recorder recorder;
  book.ReadSheet(sheet, recorder);
  return recorder.text;
}

// The message a call throws, or "no error".
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const FormatError& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace tabrix::formats::testing
