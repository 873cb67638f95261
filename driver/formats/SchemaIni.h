// How a text file is read: the data source's options, and the schema.ini of its folder, which
// describes files one section each, as the desktop text driver reads it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver/formats/Delimited.h"
#include "driver/formats/Workbook.h"

namespace tabrix::formats {

struct TextFormat {
  bool fixed = false;     // FixedLength: the columns' widths cut each line
  char delimiter = ',';   // CSVDelimited; TabDelimited '\t'; Delimited(x)
  char quote = '"';       // TextDelimiter; 0 for none
  bool header = true;     // ColNameHeader: the first line names the columns
  uint32_t maxScanRows = 25;  // 0: every row
  Charset charset = Charset::Auto;
  std::string dateTimeFormat;  // "dd.mm.yyyy hh:nn:ss"; empty: ISO 8601 dates
  char decimalSymbol = '.';
  std::string currencySymbol;  // taken off a Currency column's values (and a guessed one's)
  std::vector<DeclaredColumn> columns;  // Col1=..., in order

  // What the format is, for the cache's key: two formats read a file alike when equal.
  std::string Describe() const;
};

// A schema.ini: its sections, by file name (lower-cased), each its keys (lower-cased) with
// their values and lines.
class SchemaIni {
 public:
  struct Entry {
    std::string value;
    uint64_t line = 0;
  };
  using Section = std::map<std::string, Entry>;

  // Reads `path`; a file that does not exist is an empty schema. Throws FormatError for one
  // that cannot be read (or is no regular file, or larger than 1 MB).
  static SchemaIni Read(const std::string& path);
  static SchemaIni Parse(std::string_view text, const std::string& path);

  const Section* Find(const std::string& fileName) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::map<std::string, Section> sections_;
};

// Applies the data source's options, then a schema section (which wins), to `format`. Throws
// FormatError naming schema.ini and the line of a value it cannot take.
void ApplyOptions(const DatabaseOptions& options, TextFormat& format);
void ApplySection(const SchemaIni::Section& section, const std::string& schemaPath,
                  TextFormat& format);

// "CSVDelimited", "TabDelimited", "Delimited(;)", "FixedLength" into `format`; false if none.
bool ParseFormatName(const std::string& text, TextFormat& format);
// "ANSI", "OEM", "65001", "UTF-8", "1252", "437", "850"; false if none of them.
bool ParseCharset(const std::string& text, Charset& charset);

}  // namespace tabrix::formats
