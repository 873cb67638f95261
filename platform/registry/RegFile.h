// A registry export file, as the registry editor's export writes one and reads it back.
//
// "REGEDIT4": ANSI (code page 1252), CRLF or LF; "Windows Registry Editor Version 5.00":
// UTF-16LE with a byte-order mark, CRLF (reading also accepts LF). Text in a RegFile is UTF-8
// whatever the file's encoding. The codec checks the file's grammar only; which keys belong to
// whom is for its callers to judge.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

enum class RegFormat { Regedit4, Version5 };
enum class RegType { String, ExpandString, MultiString, Dword, Qword, Binary, Other };

struct RegValue {
  std::string name;  // "" for the default value (@)
  RegType type = RegType::String;
  unsigned rawType = 1;  // the REG_* number (hex(N): gives N)
  // String/ExpandString: UTF-8 without the final NUL; Dword/Qword: the number in decimal;
  // Binary/Other: the raw bytes.
  std::string text;
  std::vector<std::string> items;  // MultiString: UTF-8 items
  bool removed = false;            // "name"=-
  size_t line = 0;                 // 1-based line of the value's first line in the file
};

struct RegKey {
  // As written between [ ], e.g. HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBC.INI\Sales.
  std::string path;
  bool remove = false;           // [-path]
  std::vector<RegValue> values;  // file order
  size_t line = 0;
};

struct RegFile {
  RegFormat format = RegFormat::Version5;
  std::vector<RegKey> keys;
};

// A file the codec refuses; what() is "line N: reason".
struct RegFileError : std::runtime_error {
  size_t line;
  RegFileError(size_t line, const std::string& reason);
};

// Raises RegFileError naming the line.
RegFile ParseRegFile(std::string_view bytes);
// The file's bytes, exactly as the registry editor's export writes its format.
std::string WriteRegFile(const RegFile& file);

}  // namespace platform::registry
