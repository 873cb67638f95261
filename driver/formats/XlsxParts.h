// The parts of an Office Open XML package that say what a workbook holds: the relationships
// between parts, the workbook part (its sheets and names), the styles (which cells are
// dates), the shared strings, and the head of each sheet (its declared dimension).
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/formats/CellReference.h"
#include "driver/formats/NumberFormats.h"
#include "driver/formats/Text.h"
#include "driver/formats/Workbook.h"
#include "driver/formats/XmlStream.h"

namespace tabrix::formats::xlsx {

// ---- Relationships ---------------------------------------------------------------------

struct Relationship {
  std::string type;    // the last segment of the type's URI ("worksheet", "styles")
  std::string target;  // the part's name in the archive
};

// "xl/_rels/workbook.xml.rels" for "xl/workbook.xml"; "_rels/.rels" for the package.
std::string RelationshipsOf(const std::string& part);

class RelationshipsReader : public XmlHandler {
 public:
  explicit RelationshipsReader(std::string source) : source_(std::move(source)) {}
  std::map<std::string, Relationship> byId;

  void OnStart(std::string_view name, const char** attributes) override;
  void OnEnd(std::string_view) override {}
  void OnText(const char*, int) override {}

  const Relationship* FirstOfType(std::string_view type) const {
    for (const auto& [id, r] : byId)
      if (r.type == type) return &r;
    return nullptr;
  }

 private:
  std::string source_;
};

// ---- The workbook part ------------------------------------------------------------------

struct SheetEntry {
  std::string name;
  std::string relationship;
};

struct NameEntry {
  std::string name;
  std::optional<uint32_t> localSheet;
  std::string formula;
};

class WorkbookPartReader : public XmlHandler {
 public:
  std::vector<SheetEntry> sheets;
  std::vector<NameEntry> names;
  bool date1904 = false;

  bool isWorkbook = false;  // whether the part's root is a workbook (a .docx's is not)

  void OnStart(std::string_view name, const char** attributes) override {
    if (!rootSeen_) {
      rootSeen_ = true;
      isWorkbook = name == "workbook";
      if (!isWorkbook) Stop();
    } else if (name == "workbookPr") {
      const char* d = Attribute(attributes, "date1904");
      date1904 = d && (std::string_view(d) == "1" || std::string_view(d) == "true");
    } else if (name == "sheet") {
      const char* sheetName = Attribute(attributes, "name");
      const char* id = Attribute(attributes, "id");
      if (sheetName) sheets.push_back({sheetName, id ? id : ""});  // no id: no part, damage
    } else if (name == "definedName") {
      const char* n = Attribute(attributes, "name");
      const char* local = Attribute(attributes, "localSheetId");
      inName_ = n != nullptr;
      if (!inName_) return;
      names.push_back({n, local ? ParseUnsigned(local) : std::nullopt, {}});
      if (local && !names.back().localSheet) names.back().localSheet = UINT32_MAX;
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "definedName") inName_ = false;
  }
  void OnText(const char* text, int length) override {
    if (inName_ && names.back().formula.size() < 65536) names.back().formula.append(text, length);
  }

 private:
  bool rootSeen_ = false;
  bool inName_ = false;
};

// ---- Styles ------------------------------------------------------------------------------

class StylesReader : public XmlHandler {
 public:
  std::vector<bool> dateStyles;  // by cell style (the cells' s=), whether it shows a date

  void OnStart(std::string_view name, const char** attributes) override {
    if (name == "numFmt") {
      const char* id = Attribute(attributes, "numFmtId");
      const char* code = Attribute(attributes, "formatCode");
      if (auto n = id ? ParseUnsigned(id) : std::nullopt; n && code)
        custom_[*n] = IsDateFormatCode(code);
    } else if (name == "cellXfs") {
      inCellXfs_ = true;
    } else if (name == "xf" && inCellXfs_) {
      const char* id = Attribute(attributes, "numFmtId");
      formats_.push_back(id ? ParseUnsigned(id).value_or(0) : 0);
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "cellXfs") inCellXfs_ = false;
  }
  void OnText(const char*, int) override {}

  void Finish() {
    dateStyles.reserve(formats_.size());
    for (uint32_t id : formats_) {
      const auto c = custom_.find(id);
      dateStyles.push_back(c != custom_.end() ? c->second : IsDateFormatId(id));
    }
  }

 private:
  bool inCellXfs_ = false;
  std::vector<uint32_t> formats_;
  std::map<uint32_t, bool> custom_;
};

// ---- Shared strings ----------------------------------------------------------------------

// Every string in one buffer, found by its start; the text of rich-text runs joined, the
// phonetic runs left out.
//
// An item longer than a cell can hold is not kept: it is cut off as soon as it passes the
// bound, and a cell that uses it is refused.
class SharedStrings : public XmlHandler {
 public:
  size_t size() const { return starts_.empty() ? 0 : starts_.size() - 1; }
  bool TooLong(size_t i) const {
    return std::binary_search(tooLong_.begin(), tooLong_.end(), static_cast<uint32_t>(i));
  }
  std::string_view Get(size_t i) const {
    return std::string_view(arena_).substr(starts_[i], starts_[i + 1] - starts_[i]);
  }
  void Clear() {
    arena_.clear();
    arena_.shrink_to_fit();
    starts_.assign(1, 0);
    tooLong_.clear();
    inItem_ = inText_ = overflow_ = false;
    phonetic_ = 0;
  }

  void OnStart(std::string_view name, const char**) override {
    if (name == "si") {
      inItem_ = true;
    } else if (name == "rPh") {
      ++phonetic_;
    } else if (name == "t" && inItem_ && phonetic_ == 0) {
      inText_ = true;
    }
  }
  void OnEnd(std::string_view name) override {
    if (name == "t") {
      inText_ = false;
    } else if (name == "rPh") {
      if (phonetic_ > 0) --phonetic_;
    } else if (name == "si") {
      inItem_ = false;
      DecodeEscapes(arena_, starts_.back());
      if (overflow_ ||
          Utf16Length(std::string_view(arena_).substr(starts_.back())) > kMaxCellCharacters) {
        arena_.resize(starts_.back());
        tooLong_.push_back(static_cast<uint32_t>(size()));
      }
      overflow_ = false;
      starts_.push_back(static_cast<uint32_t>(arena_.size()));
    }
  }
  void OnText(const char* text, int length) override {
    if (!inText_ || overflow_) return;
    if (arena_.size() - starts_.back() + static_cast<size_t>(length) > kMaxCellEscapedBytes) {
      overflow_ = true;
      arena_.resize(starts_.back());
      return;
    }
    arena_.append(text, static_cast<size_t>(length));
  }

 private:
  std::string arena_;
  std::vector<uint32_t> starts_{0};
  std::vector<uint32_t> tooLong_;  // the items cut off, ascending
  bool inItem_ = false, inText_ = false, overflow_ = false;
  int phonetic_ = 0;
};

// ---- The head of a sheet: its declared dimension ----------------------------------------

class DimensionReader : public XmlHandler {
 public:
  std::optional<Range> range;
  void OnStart(std::string_view name, const char** attributes) override {
    if (name == "dimension") {
      if (const char* ref = Attribute(attributes, "ref")) range = ParseRange(ref);
      Stop();
    } else if (name == "sheetData") {
      Stop();  // the dimension comes before the cells, or not at all
    }
  }
  void OnEnd(std::string_view) override {}
  void OnText(const char*, int) override {}
};

}  // namespace tabrix::formats::xlsx
