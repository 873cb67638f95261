#include "driver/formats/SchemaIni.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "driver/formats/Folder.h"
#include "driver/formats/Text.h"

namespace tabrix::formats {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

[[noreturn]] void Bad(const std::string& path, uint64_t line, const std::string& what) {
  throw FormatError(path + " line " + std::to_string(line) + ": " + what);
}

bool ParseYesNo(const std::string& value, bool& out) {
  const std::string v = Lower(value);
  if (v == "true" || v == "1" || v == "yes" || v == "on") return out = true, true;
  if (v == "false" || v == "0" || v == "no" || v == "off") return out = false, true;
  return false;
}

struct TypeName {
  const char* name;
  DeclaredType type;
};
// The desktop driver's names, and the SQL names users also write.
const TypeName kTypes[] = {
    {"bit", DeclaredType::Boolean},       {"boolean", DeclaredType::Boolean},
    {"logical", DeclaredType::Boolean},   {"byte", DeclaredType::Integer},
    {"short", DeclaredType::Integer},     {"long", DeclaredType::Integer},
    {"integer", DeclaredType::Integer},   {"int", DeclaredType::Integer},
    {"smallint", DeclaredType::Integer},  {"tinyint", DeclaredType::Integer},
    {"currency", DeclaredType::Currency}, {"money", DeclaredType::Currency},
    {"single", DeclaredType::Number},     {"double", DeclaredType::Number},
    {"float", DeclaredType::Number},      {"real", DeclaredType::Number},
    {"number", DeclaredType::Number},     {"numeric", DeclaredType::Number},
    {"decimal", DeclaredType::Number},    {"datetime", DeclaredType::DateTime},
    {"timestamp", DeclaredType::DateTime}, {"date", DeclaredType::Date},
    {"time", DeclaredType::DateTime},     {"text", DeclaredType::Text},
    {"char", DeclaredType::Text},         {"varchar", DeclaredType::Text},
    {"memo", DeclaredType::LongText},     {"longchar", DeclaredType::LongText},
    {"longtext", DeclaredType::LongText},
};

// "Name Type [Width n]", the name maybe in double quotes or brackets.
DeclaredColumn ParseColumn(std::string_view text, const std::string& path, uint64_t line,
                           const std::string& key) {
  text = Trim(text);
  DeclaredColumn column;
  if (!text.empty() && (text.front() == '"' || text.front() == '[')) {
    const char close = text.front() == '"' ? '"' : ']';
    const size_t end = text.find(close, 1);
    if (end == std::string_view::npos) Bad(path, line, key + "'s name has no closing " + close);
    column.name = std::string(text.substr(1, end - 1));
    text = text.substr(end + 1);
  } else {
    const size_t end = text.find_first_of(" \t");
    column.name = std::string(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
  }
  if (Trim(column.name).empty()) Bad(path, line, key + " has no column name");
  std::vector<std::string> words;
  for (text = Trim(text); !text.empty(); text = Trim(text)) {
    const size_t end = text.find_first_of(" \t");
    words.emplace_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
  }
  if (words.empty()) Bad(path, line, key + " ('" + column.name + "') has no type");
  bool known = false;
  for (const TypeName& t : kTypes) {
    if (Lower(words[0]) == t.name) {
      column.type = t.type;
      known = true;
    }
  }
  if (!known) {
    Bad(path, line, key + "'s type '" + words[0] +
                        "' is not one of Bit, Byte, Short, Long, Currency, Single, Double, "
                        "DateTime, Date, Text, Memo");
  }
  for (size_t i = 1; i < words.size(); i += 2) {
    if (Lower(words[i]) != "width" || i + 1 >= words.size()) {
      Bad(path, line, key + ": '" + words[i] + "' is not understood (expected Width n)");
    }
    const auto width = ParseUnsigned(words[i + 1]);
    if (!width || *width == 0 || *width > 65535) {
      Bad(path, line, key + "'s Width must be a number of characters from 1 to 65535, not '" +
                          words[i + 1] + "'");
    }
    column.width = *width;
  }
  return column;
}

}  // namespace

std::string TextFormat::Describe() const {
  std::string d;
  d += fixed ? "fixed" : std::string("delimited ") + delimiter;
  d += std::string(" quote ") + (quote ? quote : '0');
  d += header ? " header" : " noheader";
  d += " scan " + std::to_string(maxScanRows);
  d += " charset " + std::to_string(static_cast<int>(charset));
  d += " dates " + dateTimeFormat;
  d += std::string(" decimal ") + decimalSymbol;
  d += " currency " + currencySymbol;
  for (const DeclaredColumn& c : columns) {
    d += "\n" + c.name + " " + std::to_string(static_cast<int>(c.type)) + " " + std::to_string(c.width);
  }
  return d;
}

bool ParseFormatName(const std::string& text, TextFormat& format) {
  const std::string v = Lower(Trim(text));
  if (v == "csvdelimited") {
    format.fixed = false;
    format.delimiter = ',';
    return true;
  }
  if (v == "tabdelimited") {
    format.fixed = false;
    format.delimiter = '\t';
    return true;
  }
  if (v == "fixedlength") {
    format.fixed = true;
    return true;
  }
  // Delimited(x): one character, never a quote or a line end.
  const std::string t(Trim(text));
  if (v.rfind("delimited(", 0) == 0 && t.size() == 12 && t.back() == ')') {
    const char c = t[10];
    if (c == '"' || c == '\r' || c == '\n' || c == '\0') return false;
    format.fixed = false;
    format.delimiter = c;
    return true;
  }
  return false;
}

bool ParseCharset(const std::string& text, Charset& charset) {
  const std::string v = Lower(Trim(text));
  if (v == "ansi" || v == "1252" || v == "windows-1252") return charset = Charset::Cp1252, true;
  if (v == "oem" || v == "437") return charset = Charset::Cp437, true;
  if (v == "850") return charset = Charset::Cp850, true;
  if (v == "65001" || v == "utf-8" || v == "utf8" || v == "unicode") return charset = Charset::Utf8, true;
  return false;
}

SchemaIni SchemaIni::Read(const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
    SchemaIni empty;
    empty.path_ = path;
    return empty;
  }
  uint64_t size = 0;
  FileDescriptor fd(OpenRegularFile(path, size));
  if (size > (1u << 20)) throw FormatError(path + ": larger than 1 MB, not a schema");
  std::string text(size, '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  return Parse(text, path);
}

SchemaIni SchemaIni::Parse(std::string_view text, const std::string& path) {
  SchemaIni schema;
  schema.path_ = path;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Section* section = nullptr;
  uint64_t line = 0;
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::string_view l = Trim(raw);
    if (l.empty() || l.front() == ';' || l.front() == '#') continue;
    if (l.front() == '[') {
      if (l.back() != ']') Bad(path, line, "a section name without its closing ']'");
      section = &schema.sections_[Lower(Trim(l.substr(1, l.size() - 2)))];
      continue;
    }
    const size_t eq = l.find('=');
    if (eq == std::string_view::npos) Bad(path, line, "'" + std::string(l) + "' is no key=value line");
    if (!section) Bad(path, line, "a key before the first [file] section");
    const std::string key = Lower(Trim(l.substr(0, eq)));
    (*section)[key] = Entry{std::string(Trim(l.substr(eq + 1))), line};
  }
  return schema;
}

const SchemaIni::Section* SchemaIni::Find(const std::string& fileName) const {
  auto it = sections_.find(Lower(fileName));
  return it == sections_.end() ? nullptr : &it->second;
}

void ApplyOptions(const DatabaseOptions& options, TextFormat& format) {
  if (!options.format.empty() && !ParseFormatName(options.format, format)) {
    throw FormatError("the data source's Format '" + options.format +
                      "' is not CSVDelimited, TabDelimited, Delimited(x) or FixedLength");
  }
  if (options.colNameHeader >= 0) format.header = options.colNameHeader != 0;
  if (options.maxScanRows >= 0) format.maxScanRows = static_cast<uint32_t>(options.maxScanRows);
  if (!options.characterSet.empty() && !ParseCharset(options.characterSet, format.charset)) {
    throw FormatError("the data source's CharacterSet '" + options.characterSet +
                      "' is not ANSI, OEM, 1252, 437, 850, 65001 or UTF-8");
  }
}

namespace {

// One key of a file's section into `format`; keys it does not know are left alone.
void ApplyKey(const std::string& key, const SchemaIni::Entry& entry, const std::string& path,
              TextFormat& format) {
  const std::string& v = entry.value;
  if (key == "format") {
    if (!ParseFormatName(v, format)) {
      Bad(path, entry.line, "Format '" + v +
                                "' is not CSVDelimited, TabDelimited, Delimited(x) or FixedLength");
    }
  } else if (key == "colnameheader") {
    if (!ParseYesNo(v, format.header)) Bad(path, entry.line, "ColNameHeader must be True or False, not '" + v + "'");
  } else if (key == "maxscanrows") {
    const auto rows = ParseUnsigned(v);
    if (!rows) Bad(path, entry.line, "MaxScanRows must be a number of rows (0 for every row), not '" + v + "'");
    format.maxScanRows = *rows;
  } else if (key == "characterset") {
    if (!ParseCharset(v, format.charset)) {
      Bad(path, entry.line, "CharacterSet '" + v + "' is not ANSI, OEM, 1252, 437, 850, 65001 or UTF-8");
    }
  } else if (key == "datetimeformat") {
    format.dateTimeFormat = v;
  } else if (key == "decimalsymbol") {
    if (v.size() != 1 || (v[0] >= '0' && v[0] <= '9')) {
      Bad(path, entry.line, "DecimalSymbol must be one character, not '" + v + "'");
    }
    format.decimalSymbol = v[0];
  } else if (key == "currencysymbol") {
    format.currencySymbol = v;
  } else if (key == "textdelimiter") {
    if (Lower(v) == "none") {
      format.quote = 0;
    } else if (v.size() == 1) {
      format.quote = v[0];
    } else {
      Bad(path, entry.line, "TextDelimiter must be one character or none, not '" + v + "'");
    }
  }
  // Other keys (NumberDigits, CurrencyDigits, ...) say how values are written out; a
  // reader has no use for them.
}

// Col1=, Col2=, ... in order, without gaps; `lines` gets the line of each.
std::vector<DeclaredColumn> ReadColumns(const SchemaIni::Section& section, const std::string& path,
                                        std::vector<uint64_t>& lines) {
  std::vector<DeclaredColumn> columns;
  for (size_t n = 1;; ++n) {
    const std::string key = "col" + std::to_string(n);
    auto it = section.find(key);
    if (it == section.end()) break;
    columns.push_back(ParseColumn(it->second.value, path, it->second.line, "Col" + std::to_string(n)));
    lines.push_back(it->second.line);
  }
  for (const auto& [key, entry] : section) {
    if (key.size() > 3 && key.rfind("col", 0) == 0 && ParseUnsigned(key.substr(3)) &&
        *ParseUnsigned(key.substr(3)) > columns.size()) {
      Bad(path, entry.line, "Col" + key.substr(3) + " follows no Col" + std::to_string(columns.size() + 1));
    }
  }
  return columns;
}

}  // namespace

void ApplySection(const SchemaIni::Section& section, const std::string& path, TextFormat& format) {
  for (const auto& [key, entry] : section) ApplyKey(key, entry, path, format);
  std::vector<uint64_t> lines;
  std::vector<DeclaredColumn> columns = ReadColumns(section, path, lines);
  // The section's first line, for what the section as a whole gets wrong.
  uint64_t first = UINT64_MAX;
  for (const auto& [key, entry] : section) first = std::min(first, entry.line);
  if (format.delimiter == format.quote && !format.fixed) {
    Bad(path, first, "the delimiter and the text delimiter are both '" + std::string(1, format.quote) + "'");
  }
  if (format.fixed) {
    if (columns.empty()) Bad(path, first, "FixedLength needs Col1=..., Col2=... lines with their Width");
    for (size_t c = 0; c < columns.size(); ++c) {
      if (columns[c].width == 0) {
        Bad(path, lines[c], "FixedLength: Col" + std::to_string(c + 1) + " ('" + columns[c].name +
                                "') has no Width");
      }
    }
  }
  if (!columns.empty()) format.columns = std::move(columns);
}

}  // namespace tabrix::formats
