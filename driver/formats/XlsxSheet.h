// A sheet's cells, streamed to a sink as its part is parsed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/formats/Workbook.h"
#include "driver/formats/XlsxParts.h"
#include "driver/formats/XmlStream.h"

namespace tabrix::formats::xlsx {

class SheetReader : public XmlHandler {
 public:
  SheetReader(const std::string& path, const std::string& part, const std::string& sheet,
              const std::vector<bool>& dateStyles, const SharedStrings& strings, bool date1904,
              CellSink& sink)
      : path_(path),
        part_(part),
        sheet_(sheet),
        dateStyles_(dateStyles),
        strings_(strings),
        date1904_(date1904),
        sink_(sink) {
    value_.reserve(256);
    text_.reserve(256);
  }

  void OnStart(std::string_view name, const char** attributes) override;
  void OnEnd(std::string_view name) override;
  void OnText(const char* text, int length) override;

 private:
  [[noreturn]] void TooLong() const;
  void CheckLength(std::string_view text) const {
    if (text.size() > kMaxCellCharacters && Utf16Length(text) > kMaxCellCharacters) TooLong();
  }
  [[noreturn]] void Damaged(const std::string& what) const;
  [[noreturn]] void BadCell(const std::string& what) const;

  void StartRow(const char** attributes);
  void StartCell(const char** attributes);
  static char TypeOf(std::string_view t);
  void EndCell();
  // Each puts the cell's value, by its type, into cell_; false for a cell without one.
  bool TakeValue();
  bool SharedText();
  bool InlineText();
  bool BooleanValue();
  bool DateValue();
  bool NumberValue();

  const std::string& path_;
  const std::string& part_;
  const std::string& sheet_;
  const std::vector<bool>& dateStyles_;
  const SharedStrings& strings_;
  const bool date1904_;
  CellSink& sink_;

  uint32_t row_ = 0, nextColumn_ = 0;
  bool rowSeen_ = false, cellInRow_ = false;
  Cell cell_;
  char type_ = 'n';
  uint32_t style_ = 0;
  bool inCell_ = false, inInline_ = false, hasValue_ = false, hasInline_ = false;
  int phonetic_ = 0;
  std::string* collect_ = nullptr;
  std::string value_, text_;
};

}  // namespace tabrix::formats::xlsx
