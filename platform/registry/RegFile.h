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

// Raises RegFileError naming the line: for bad grammar (only \\ and \" escapes are known), a
// NUL inside a string, a value over 1 MiB or a file over 64 MiB (neither is loaded), and a file
// whose keys and values would take more than about twice its size in memory. hex(1) reads as a
// String, hex(4) of four bytes as a Dword, hex(b) of eight as a Qword; lines starting with ;
// are comments.
RegFile ParseRegFile(std::string_view bytes);
// The file's bytes, exactly as the registry editor's export writes its format: the header, a
// blank line, each key followed by a blank line, CRLF line ends; hex data broken after the
// comma that takes a line to 77 characters, going on after two spaces. A String holding a line
// end is written as hex(1), which keeps it whole. Raises RegFileError, naming the line of the
// output, for text that is not UTF-8, a NUL in a name or string, a line end in a name or key,
// a Dword or Qword that is not a decimal number in range, and, in REGEDIT4, a character code
// page 1252 lacks: refused rather than written as '?' (hex(1) would not help, as readers take
// its bytes as 1252 too).
std::string WriteRegFile(const RegFile& file);

}  // namespace platform::registry
