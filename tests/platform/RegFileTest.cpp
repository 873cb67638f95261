#include "platform/registry/RegFile.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/text/CodePage1252.h"
#include "tests/support/TestSupport.h"

using namespace platform::registry;
using namespace std::string_literals;

namespace {

// Text as the little-endian UTF-16 bytes a Version 5 file holds.
std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Printable(std::string_view s) {
  std::string out;
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "<%02x>", b);
      out += buf;
    }
  }
  return out;
}

const char* TypeName(RegType type) {
  switch (type) {
    case RegType::String:
      return "String";
    case RegType::ExpandString:
      return "ExpandString";
    case RegType::MultiString:
      return "MultiString";
    case RegType::Dword:
      return "Dword";
    case RegType::Qword:
      return "Qword";
    case RegType::Binary:
      return "Binary";
    case RegType::Other:
      return "Other";
  }
  return "?";
}

// Every field of a RegFile on its own line, so that a failure shows what differs; lines are
// left out when `withLines` is false (a file built in memory has none).
std::string Dump(const RegFile& file, bool withLines = true) {
  std::string out = file.format == RegFormat::Version5 ? "Version5\n" : "Regedit4\n";
  auto at = [&](size_t line) { return withLines ? " @" + std::to_string(line) : ""s; };
  for (const RegKey& key : file.keys) {
    out += (key.remove ? "[-" : "[") + Printable(key.path) + "]" + at(key.line) + "\n";
    for (const RegValue& v : key.values) {
      out += "  " + Printable(v.name) + at(v.line) + " = ";
      if (v.removed) {
        out += "removed\n";
        continue;
      }
      out += TypeName(v.type) + "("s + std::to_string(v.rawType) + ") " + Printable(v.text);
      for (const std::string& item : v.items) out += " {" + Printable(item) + "}";
      out += "\n";
    }
  }
  return out;
}

std::string Refusal(std::string_view bytes) {
  try {
    ParseRegFile(bytes);
  } catch (const RegFileError& e) {
    return e.what();
  }
  return "accepted";
}

std::string WriteRefusal(const RegFile& file) {
  try {
    WriteRegFile(file);
  } catch (const RegFileError& e) {
    return e.what();
  }
  return "written";
}

RegValue Value(std::string name, RegType type, unsigned rawType, std::string text,
               std::vector<std::string> items = {}) {
  RegValue v;
  v.name = std::move(name);
  v.type = type;
  v.rawType = rawType;
  v.text = std::move(text);
  v.items = std::move(items);
  return v;
}

// A Version 5 export of ODBC.INI, written by hand from the format's documentation: a desktop
// driver's data source with its engine options in a subkey, and a key of every value type.
const std::u16string kOdbcExport =
    u"\uFEFFWindows Registry Editor Version 5.00\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources]\r\n"
    u"\"Sales\"=\"Microsoft Excel Driver (*.xls)\"\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales]\r\n"
    u"\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\r\n"
    u"\"DBQ\"=\"C:\\\\Data\\\\Finance\\\\Sales.xls\"\r\n"
    u"\"DefaultDir\"=\"C:\\\\Data\\\\Finance\"\r\n"
    u"\"DriverId\"=dword:00000316\r\n"
    u"\"FIL\"=\"excel 8.0;\"\r\n"
    u"\"SafeTransactions\"=dword:00000000\r\n"
    u"\"UID\"=\"\"\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales\\Engines]\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales\\Engines\\Excel]\r\n"
    u"\"ImplicitCommitSync\"=\"\"\r\n"
    u"\"MaxScanRows\"=dword:00000008\r\n"
    u"\"Threads\"=dword:00000003\r\n"
    u"\"UserCommitSync\"=\"Yes\"\r\n"
    u"\"FirstRowHasNames\"=hex:01\r\n"
    u"\r\n"
    u"; what the other types look like\r\n"
    u"[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Types]\r\n"
    u"@=\"caf\u00e9 \u20ac \\\"\"\r\n"
    u"\"Quote \\\"and\\\\ slash\"=\"\u4e2d\u6587 \U0001F600\"\r\n"
    u"\"TempPath\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,64,00,61,00,74,00,\\\r\n"
    u"  61,00,00,00\r\n"
    u"\"Folders\"=hex(7):43,00,3a,00,5c,00,41,00,00,00,e9,00,00,00,00,00\r\n"
    u"\"Size\"=hex(b):00,10,00,00,01,00,00,00\r\n"
    u"\"Flags\"=hex(4):2a,00,00,00\r\n"
    u"\"Text\"=hex(1):6f,00,6b,00,00,00\r\n"
    u"\"Big endian\"=hex(5):00,00,00,2a\r\n"
    u"\"None\"=hex(0):\r\n"
    u"\"Stale\"=-\r\n"
    u"\r\n"
    u"[-HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Old]\r\n"
    u"\r\n";

}  // namespace

TEST(RegFile, ReadsAVersion5ExportOfOdbcIni) {
  const std::string bytes = Utf16(kOdbcExport);
  ASSERT_EQ(bytes.substr(0, 6),
            "\xFF\xFE"
            "W\0i\0"s);
  const RegFile file = ParseRegFile(bytes);
  EXPECT_EQ(Dump(file),
            "Version5\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources] @3\n"
            "  Sales @4 = String(1) Microsoft Excel Driver (*.xls)\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales] @6\n"
            "  Driver @7 = String(1) C:\\Windows\\system32\\odbcjt32.dll\n"
            "  DBQ @8 = String(1) C:\\Data\\Finance\\Sales.xls\n"
            "  DefaultDir @9 = String(1) C:\\Data\\Finance\n"
            "  DriverId @10 = Dword(4) 790\n"
            "  FIL @11 = String(1) excel 8.0;\n"
            "  SafeTransactions @12 = Dword(4) 0\n"
            "  UID @13 = String(1) \n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales\\Engines] @15\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales\\Engines\\Excel] @17\n"
            "  ImplicitCommitSync @18 = String(1) \n"
            "  MaxScanRows @19 = Dword(4) 8\n"
            "  Threads @20 = Dword(4) 3\n"
            "  UserCommitSync @21 = String(1) Yes\n"
            "  FirstRowHasNames @22 = Binary(3) <01>\n"
            "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Types] @25\n"
            "   @26 = String(1) caf<c3><a9> <e2><82><ac> \"\n"
            "  Quote \"and\\ slash @27 = String(1) <e4><b8><ad><e6><96><87> <f0><9f><98><80>\n"
            "  TempPath @28 = ExpandString(2) %TEMP%\\data\n"
            "  Folders @30 = MultiString(7)  {C:\\A} {<c3><a9>}\n"
            "  Size @31 = Qword(11) 4294971392\n"
            "  Flags @32 = Dword(4) 42\n"
            "  Text @33 = String(1) ok\n"
            "  Big endian @34 = Other(5) <00><00><00>*\n"
            "  None @35 = Other(0) \n"
            "  Stale @36 = removed\n"
            "[-HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Old] @38\n");

  // LF line ends read the same, and the desktop driver's name is the one the tests install.
  std::u16string lf = kOdbcExport;
  for (size_t at; (at = lf.find(u"\r\n")) != std::u16string::npos;) lf.erase(at, 1);
  EXPECT_EQ(Dump(ParseRegFile(Utf16(lf))), Dump(file));
  EXPECT_EQ(file.keys[0].values[0].text, testsupport::kExcelDriver);
}

TEST(RegFile, ReadsRegedit4InCodePage1252) {
  // 0x80 is the euro sign, 0x9F Y with diaeresis; 0x81, which the code page leaves undefined,
  // reads as U+0081 so that it writes back as the same byte.
  const std::string bytes =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Caf\xe9]\r\n"
      "\"Price \x80\"=\"\x9f\x81\xff\"\r\n"
      "\"Dir\"=hex(2):25,57,49,4e,44,49,52,25,5c,43,61,66,e9,00\r\n"
      "\"List\"=hex(7):e9,00,80,00,00\r\n"
      "\r\n";
  EXPECT_EQ(Dump(ParseRegFile(bytes)),
            "Regedit4\n"
            "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Caf<c3><a9>] @3\n"
            "  Price <e2><82><ac> @4 = String(1) <c5><b8><c2><81><c3><bf>\n"
            "  Dir @5 = ExpandString(2) %WINDIR%\\Caf<c3><a9>\n"
            "  List @6 = MultiString(7)  {<c3><a9>} {<e2><82><ac>}\n");
  EXPECT_EQ(WriteRegFile(ParseRegFile(bytes)), bytes);
}

TEST(RegFile, WritesFilesByteForByteAsTheRegistryEditorExports) {
  RegFile file;
  RegKey key;
  key.path = "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Sales";
  key.values = {
      Value("", RegType::String, 1, "default"),
      Value("Driver", RegType::String, 1, "C:\\Windows\\system32\\odbcjt32.dll"),
      Value("Say \"hi\"", RegType::String, 1, "caf\xc3\xa9 \xe2\x82\xac"),
      Value("DriverId", RegType::Dword, 4, "790"),
      Value("Path", RegType::ExpandString, 2, "%WINDIR%\\Temp\\Data"),
      Value("Names", RegType::MultiString, 7, "", {"a", "b"}),
      Value("Size", RegType::Qword, 11, "4096"),
      Value("Blob", RegType::Binary, 3, "\x01\xfe"),
      Value("Empty", RegType::Other, 0, ""),
      Value("Lines", RegType::String, 1, "a\nb"),
  };
  RegValue removed;
  removed.name = "Old";
  removed.removed = true;
  key.values.push_back(removed);
  RegKey gone;
  gone.path = "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Gone";
  gone.remove = true;
  file.keys = {key, gone};

  // The hex data breaks after the comma that takes its line to 77 characters.
  EXPECT_EQ(
      WriteRegFile(file),
      Utf16(u"\uFEFFWindows Registry Editor Version 5.00\r\n"
            u"\r\n"
            u"[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Sales]\r\n"
            u"@=\"default\"\r\n"
            u"\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\r\n"
            u"\"Say \\\"hi\\\"\"=\"caf\u00e9 \u20ac\"\r\n"
            u"\"DriverId\"=dword:00000316\r\n"
            u"\"Path\"=hex(2):25,00,57,00,49,00,4e,00,44,00,49,00,52,00,25,00,5c,00,54,00,65,\\\r\n"
            u"  00,6d,00,70,00,5c,00,44,00,61,00,74,00,61,00,00,00\r\n"
            u"\"Names\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
            u"\"Size\"=hex(b):00,10,00,00,00,00,00,00\r\n"
            u"\"Blob\"=hex:01,fe\r\n"
            u"\"Empty\"=hex(0):\r\n"
            u"\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
            u"\"Old\"=-\r\n"
            u"\r\n"
            u"[-HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Gone]\r\n"
            u"\r\n"));

  file.format = RegFormat::Regedit4;
  file.keys.pop_back();
  file.keys[0].values = {
      Value("Say \"hi\"", RegType::String, 1, "caf\xc3\xa9 \xe2\x82\xac"),
      Value("Path", RegType::ExpandString, 2, "%WINDIR%\\Temp\\Caf\xc3\xa9\\Data"),
  };
  EXPECT_EQ(WriteRegFile(file),
            "REGEDIT4\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Sales]\r\n"
            "\"Say \\\"hi\\\"\"=\"caf\xe9 \x80\"\r\n"
            "\"Path\"=hex(2):25,57,49,4e,44,49,52,25,5c,54,65,6d,70,5c,43,61,66,e9,5c,44,61,\\\r\n"
            "  74,61,00\r\n"
            "\r\n");

  // An empty file is its header and the final blank line.
  EXPECT_EQ(WriteRegFile(RegFile{}), Utf16(u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"));
}

TEST(RegFile, WrapsLongHexDataAndReadsItsContinuationLines) {
  RegFile file;
  file.keys.resize(1);
  file.keys[0].path = "HKEY_CURRENT_USER\\Software\\Tabrix";
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
  // A name long enough to pass the wrap column on its own puts one byte on its first line.
  file.keys[0].values = {Value("Data", RegType::Binary, 3, bytes),
                         Value(std::string(80, 'n'), RegType::Binary, 3, "\x01\x02")};
  const std::string written = WriteRegFile(file);
  std::u16string expected =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Tabrix]\r\n"
      u"\"Data\"=hex:";
  // "Data"=hex: takes 11 columns: 22 bytes on the first line, 25 on each line after.
  static const char16_t kDigits[] = u"0123456789abcdef";
  for (int i = 0, column = 11; i < 300; ++i) {
    expected += {kDigits[(i & 0xFF) >> 4], kDigits[i & 0xF]};
    if (i == 299) break;
    expected += u',';
    column += 3;
    if (i >= 21 && (i - 21) % 25 == 0) {
      EXPECT_GE(column, 77);
      expected += u"\\\r\n  ";
      column = 2;
    }
  }
  expected += u"\r\n\"" + std::u16string(80, u'n') + u"\"=hex:01,\\\r\n  02\r\n\r\n";
  EXPECT_EQ(written, Utf16(expected));
  EXPECT_EQ(Dump(ParseRegFile(written), false), Dump(file, false));

  // Reading takes upper-case digits, blanks, comments between the lines, a final comma, and
  // LF line ends.
  EXPECT_EQ(Dump(ParseRegFile("REGEDIT4\n[K]\n\"v\" = hex: 0A , ff,\\\n; a comment\n"
                              "\t  01,\\\n  \n\n")),
            "Regedit4\n[K] @2\n  v @3 = Binary(3) <0a><ff><01>\n");
  EXPECT_EQ(Refusal("REGEDIT4\n[K]\n\"v\"=hex:01,\\\n  02,\\\n"),
            "line 4: hex data continued past the end of the file");
  EXPECT_EQ(Refusal("REGEDIT4\n[K]\n\"v\"=hex:01,\\\n  02,0g\n"),
            "line 4: bad hex data (bytes of two hex digits between commas expected)");
}

TEST(RegFile, RoundTripsWhatItWrites) {
  RegFile file = ParseRegFile(Utf16(kOdbcExport));
  const std::string written = WriteRegFile(file);
  EXPECT_EQ(Dump(ParseRegFile(written), false), Dump(file, false));
  EXPECT_EQ(WriteRegFile(ParseRegFile(written)), written);

  // Multi-strings with no items, one empty item, and an empty item before the end.
  file.keys.resize(1);
  file.keys[0].values = {Value("none", RegType::MultiString, 7, "", {}),
                         Value("empty", RegType::MultiString, 7, "", {""}),
                         Value("gap", RegType::MultiString, 7, "", {"a", "", "b"}),
                         Value("max", RegType::Dword, 4, "4294967295"),
                         Value("qmax", RegType::Qword, 11, "18446744073709551615"),
                         Value("type", RegType::Other, 0x100, "\x01")};
  for (RegFormat format : {RegFormat::Version5, RegFormat::Regedit4}) {
    file.format = format;
    EXPECT_EQ(Dump(ParseRegFile(WriteRegFile(file)), false), Dump(file, false));
  }
  EXPECT_NE(WriteRegFile(file).find("\"type\"=hex(100):01\r\n"), std::string::npos);
}

TEST(RegFile, RefusesWhatItCannotWrite) {
  RegFile file;
  file.format = RegFormat::Regedit4;
  file.keys.resize(1);
  file.keys[0].path = "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Sales";
  // A REGEDIT4 file's code page has no Chinese: refused rather than written as '?'.
  file.keys[0].values = {Value("ok", RegType::String, 1, "x"),
                         Value("Name", RegType::String, 1, "\xe4\xb8\xad")};
  EXPECT_EQ(WriteRefusal(file),
            "line 5: U+4E2D cannot be written in a REGEDIT4 file (code page 1252)");
  file.keys[0].values = {Value("Dir", RegType::ExpandString, 2, "\xe4\xb8\xad")};
  EXPECT_EQ(WriteRefusal(file),
            "line 4: U+4E2D cannot be written in a REGEDIT4 file (code page 1252)");
  file.format = RegFormat::Version5;
  EXPECT_EQ(WriteRefusal(file), "written");

  file.keys[0].values = {Value("Id", RegType::Dword, 4, "4294967296")};
  EXPECT_EQ(WriteRefusal(file), "line 4: \"4294967296\" is not a number the value's type can hold");
  file.keys[0].values = {Value("Id", RegType::Qword, 11, "-1")};
  EXPECT_EQ(WriteRefusal(file), "line 4: \"-1\" is not a number the value's type can hold");
  file.keys[0].values = {Value("Nul", RegType::String, 1, "a\0b"s)};
  EXPECT_EQ(WriteRefusal(file), "line 4: a string value with a NUL inside");
  file.keys[0].values = {Value("Bad\xff", RegType::String, 1, "")};
  EXPECT_EQ(WriteRefusal(file), "line 4: text that is not UTF-8");
  file.keys[0].values = {Value("Two\nlines", RegType::String, 1, "")};
  EXPECT_EQ(WriteRefusal(file), "line 4: a value name with a line end inside");
}

TEST(RegFile, RefusesHostileFilesNamingTheLine) {
  const std::string v5 = "\xFF\xFE" + Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n");
  const std::string r4 = "REGEDIT4\r\n\r\n[K]\r\n";
  EXPECT_EQ(Refusal(r4 + "\"a\"=\"b\"\r\n\"Driver\"=\"C:\\\\x\r\n"),
            "line 5: an unterminated string");
  EXPECT_EQ(Refusal(r4 + "\"Driver\r\n"), "line 4: an unterminated string");
  EXPECT_EQ(Refusal(r4 + "\"DBQ\"=\"C:\\Data\"\r\n"),
            "line 4: a bad escape \\D (only \\\\ and \\\" are known)");
  EXPECT_EQ(Refusal(r4 + "\"DBQ\"=\"C:\\\xe9\"\r\n"),
            "line 4: a bad escape \\ (only \\\\ and \\\" are known)");
  EXPECT_EQ(Refusal(r4 + "\"DBQ\"=\"x\" trailing\r\n"),
            "line 4: text after the string's closing quote");
  EXPECT_EQ(Refusal(v5 + Utf16(u"\"DBQ\"=\"a\0b\"\r\n"s)), "line 4: a NUL inside a string value");
  EXPECT_EQ(Refusal(v5 + Utf16(u"\"DBQ\"=hex(1):61,00,00,00,62,00,00,00\r\n")),
            "line 4: a NUL inside a string value");
  EXPECT_EQ(Refusal(v5 + Utf16(u"\"DBQ\"=hex(2):61,00,62\r\n")),
            "line 4: UTF-16 string data with an odd number of bytes");
  EXPECT_EQ(Refusal("REGEDIT4\r\n\r\n\"Driver\"=\"x\"\r\n"), "line 3: a value before any [key]");
  EXPECT_EQ(Refusal(r4 + "\"v\"=hex:1,234\r\n"),
            "line 4: bad hex data (bytes of two hex digits between commas expected)");
  EXPECT_EQ(Refusal(r4 + "\"v\"=hex(x):00\r\n"), "line 4: a bad hex(N): type");
  EXPECT_EQ(Refusal(r4 + "\"v\"=dword:123456789\r\n"),
            "line 4: a bad dword (1 to 8 hex digits expected)");
  EXPECT_EQ(Refusal(r4 + "\"v\"=qword:1\r\n"),
            "line 4: an unknown kind of data (expected \"text\", dword:, hex: or hex(N):)");
  EXPECT_EQ(Refusal(r4 + "\"v\"\r\n"), "line 4: expected = after the value's name");
  EXPECT_EQ(Refusal(r4 + "\"v\"=\r\n"), "line 4: a value without data");
  EXPECT_EQ(Refusal(r4 + "[Sales\r\n"), "line 4: a key without its closing ]");
  EXPECT_EQ(Refusal(r4 + "[-]\r\n"), "line 4: an empty key name");
  EXPECT_EQ(Refusal(r4 + "[-Old]\r\n\"v\"=\"x\"\r\n"), "line 5: a value under a key being removed");
  EXPECT_EQ(Refusal(r4 + "Driver=x\r\n"),
            "line 4: expected [key], a \"name\"= or @= value, or a ; comment");
  EXPECT_EQ(Refusal(r4 + "\"v\"=\"x\"\rq\r\n"), "line 4: a carriage return without a line feed");

  // A truncated Version 5 file: the odd byte is named before the broken line it leaves.
  const std::string whole = v5 + Utf16(u"\"DBQ\"=\"x\"\r\n");
  EXPECT_EQ(Refusal(whole.substr(0, whole.size() - 5)),
            "line 4: the file ends inside a UTF-16 character (an odd number of bytes): truncated?");
  EXPECT_EQ(Refusal(v5 + Utf16(u"\"v\"=\"\xD800x\"\r\n")), "line 4: an unpaired UTF-16 surrogate");

  // First lines.
  EXPECT_EQ(Refusal(v5.substr(2)), "line 1: UTF-16LE text without a byte-order mark");
  EXPECT_EQ(
      Refusal("Windows Registry Editor Version 5.00\r\n"),
      "line 1: a Version 5.00 file must be UTF-16LE with a byte-order mark (this one has none)");
  const std::string notRegistry =
      "line 1: not a registry file: the first line must be REGEDIT4 or Windows Registry Editor "
      "Version 5.00";
  EXPECT_EQ(Refusal("[ODBC Data Sources]\nSales=Excel\n"), notRegistry);
  EXPECT_EQ(Refusal("REGEDIT5\r\n"), notRegistry);
  EXPECT_EQ(Refusal("\xFF\xFE" + Utf16(u"REGEDIT4\r\n")), notRegistry);
  EXPECT_EQ(Refusal(""), notRegistry);
  EXPECT_EQ(Refusal("\x89PNG\r\n\x1a\n"s), notRegistry);
}

TEST(RegFile, RefusesOversizedValuesAndFilesWithoutLoadingThem) {
  // 10 MB of string, and 10 MB of hex bytes over continuation lines: refused at their first
  // line once the limit is passed, not after reading them all.
  const std::string big(10'000'000, 'x');
  const std::string r4 = "REGEDIT4\r\n\r\n[K]\r\n";
  EXPECT_EQ(Refusal(r4 + "\"DBQ\"=\"" + big + "\"\r\n"),
            "line 4: a value larger than 1 MiB: refused, not loaded");
  EXPECT_EQ(Refusal("\xFF\xFE" + Utf16(u"Windows Registry Editor Version 5.00\r\n[K]\r\n@=\"") +
                    std::string(20'000'000, 'x') + Utf16(u"\"\r\n")),
            "line 3: a value larger than 1 MiB: refused, not loaded");
  std::string hex = r4 + "\"v\"=hex:";
  for (int line = 0; line < 200'000; ++line)
    hex += "00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n  ";
  hex += "00\r\n";
  EXPECT_EQ(Refusal(hex), "line 4: a value larger than 1 MiB: refused, not loaded");
  // Just under the limit is taken whole.
  EXPECT_EQ(ParseRegFile(r4 + "\"v\"=\"" + std::string(1 << 20, 'x') + "\"\r\n")
                .keys[0]
                .values[0]
                .text.size(),
            size_t{1} << 20);
  EXPECT_EQ(Refusal(r4 + "\"v\"=\"" + std::string((1 << 20) + 1, 'x') + "\"\r\n"),
            "line 4: a value larger than 1 MiB: refused, not loaded");
  // A value costs a hundred bytes or so in memory however short its line: a file of two million
  // of them is refused before it takes twenty times its size.
  std::string tiny = r4;
  for (int i = 0; i < 2'000'000; ++i) tiny += "@=-\n";
  try {
    ParseRegFile(tiny);
    ADD_FAILURE() << "two million values accepted";
  } catch (const RegFileError& e) {
    EXPECT_GT(e.line, 4u);
    EXPECT_LT(e.line, 2'000'004u);
    EXPECT_EQ(std::string(e.what()).substr(std::string(e.what()).find(':')),
              ": more keys and values than memory allows for a file of this size: refused, not "
              "loaded");
  }
  std::string huge = r4;
  huge.resize((64 << 20) + 1, ';');
  EXPECT_EQ(Refusal(huge), "line 1: a file larger than 64 MiB: refused, not loaded");
}

// The one code page table, as the registry files and the form text both read it.
TEST(CodePage1252, EveryByteHasOneCharacterAndComesBackFromIt) {
  using platform::text::FromCp1252;
  using platform::text::ToCp1252;
  std::set<char32_t> seen;
  for (unsigned byte = 0; byte < 256; ++byte) {
    const char32_t c = FromCp1252(static_cast<unsigned char>(byte));
    EXPECT_TRUE(seen.insert(c).second) << "byte " << byte << " shares its character";
    EXPECT_EQ(ToCp1252(c), std::optional<unsigned char>(static_cast<unsigned char>(byte)));
  }
  // Windows' own answers at the edges of the block that differs from Latin-1.
  EXPECT_EQ(FromCp1252(0x80), U'\u20AC');
  EXPECT_EQ(FromCp1252(0x8A), U'\u0160');
  EXPECT_EQ(FromCp1252(0x9F), U'\u0178');
  EXPECT_EQ(FromCp1252(0x81), U'\u0081');  // undefined: the C1 control of its number
  EXPECT_EQ(FromCp1252(0xA0), U'\u00A0');
  EXPECT_EQ(ToCp1252(U'\u0100'), std::nullopt);
  EXPECT_EQ(ToCp1252(U'\u4E2D'), std::nullopt);
  EXPECT_EQ(ToCp1252(U'\u0080'), std::nullopt);  // 0x80 is the euro sign, not U+0080
}
