#include "platform/fakes/MemoryStore.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

const char* kFixture = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\ODBC\ODBC.INI\Sales]
"Driver"="C:\\odbc\\\"quoted\".dll"
"Count"=dword:0000002a
"Blob"=hex:01,ff,\
  10
@="default"

[HKEY_CURRENT_USER\Software\ODBC\ODBC.INI\Mine]
"Path"=hex(2):25,00
)";

TEST(MemoryStore, Regedit4RoundTrips) {
  MemoryStore store;
  store.Import(kFixture);
  const std::string exported = store.Export();
  EXPECT_EQ(exported,
            "REGEDIT4\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\ODBC]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Mine]\r\n"
            "\"Path\"=hex(2):25,00\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software\\ODBC]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI\\Sales]\r\n"
            "\"Driver\"=\"C:\\\\odbc\\\\\\\"quoted\\\".dll\"\r\n"
            "\"Count\"=dword:0000002a\r\n"
            "\"Blob\"=hex:01,ff,10\r\n"
            "@=\"default\"\r\n"
            "\r\n");
  MemoryStore again;
  again.Import(exported);
  EXPECT_EQ(again.Export(), exported);
}

// Every type and every byte comes back from Export then Import: a string holding a line end
// goes out as hex(1) bytes, a string as far as its first NUL (all a reader gets of it), other
// types as hex(N) with N in hex, and long data wrapped at 77 characters onto lines indented by
// two spaces, with CRLF line ends, as the registry editor writes them.
TEST(MemoryStore, ExportThenImportGivesTheSameStore) {
  using namespace std::string_literals;
  std::string everyByte;
  for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
  const std::string key = "Software\\Tricky";
  MemoryStore store;
  store.SetString(HKEY_CURRENT_USER, key, "Plain", "C:\\a \"q\"\t\xE9\xFF");
  store.SetString(HKEY_CURRENT_USER, key, "Lines", "a\r\nb\n");
  store.SetString(HKEY_CURRENT_USER, key, "Nuls", "x\0y\0"s);
  store.SetString(HKEY_CURRENT_USER, key, "Empty", "");
  store.SetDword(HKEY_CURRENT_USER, key, "Count", 0xDEADBEEF);
  store.Import(R"(REGEDIT4
[HKEY_CURRENT_USER\Software\Tricky]
"Expand"=hex(2):25,50,41,54,48,25,00
"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19,1a,1b,1c,1d
"NoBytes"=hex:
"None"=hex(0):ff
"Multi"=hex(7):61,00,62,00,00
"Quad"=hex(b):01,02,03,04,05,06,07,08
"ShortDword"=hex(4):01,02,03
"Custom"=hex(ffffffff):ab
@="default"
)");
  store.SetString(HKEY_CURRENT_USER, key + "\\Big", "Every \"byte\"", everyByte);
  store.SetString(HKEY_LOCAL_MACHINE, "", "AtRoot", "r");

  const std::string exported = store.Export();
  EXPECT_EQ(exported.substr(0, exported.find("[HKEY_CURRENT_USER\\Software\\Tricky\\Big]")),
            "REGEDIT4\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Tricky]\r\n"
            "\"Plain\"=\"C:\\\\a \\\"q\\\"\t\xE9\xFF\"\r\n"
            "\"Lines\"=hex(1):61,0d,0a,62,0a,00\r\n"
            "\"Nuls\"=\"x\"\r\n"
            "\"Empty\"=\"\"\r\n"
            "\"Count\"=dword:deadbeef\r\n"
            "\"Expand\"=hex(2):25,50,41,54,48,25,00\r\n"
            "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
            "  16,17,18,19,1a,1b,1c,1d\r\n"
            "\"NoBytes\"=hex:\r\n"
            "\"None\"=hex(0):ff\r\n"
            "\"Multi\"=hex(7):61,00,62,00,00\r\n"
            "\"Quad\"=hex(b):01,02,03,04,05,06,07,08\r\n"
            "\"ShortDword\"=hex(4):01,02,03\r\n"
            "\"Custom\"=hex(ffffffff):ab\r\n"
            "@=\"default\"\r\n"
            "\r\n");
  // The 256 bytes of the last value: 18 after its long name, then 25 a line, as regedit does.
  const size_t bigAt = exported.find("\"Every");
  const size_t rootAt = exported.find("\r\n[HKEY_LOCAL_MACHINE]\r\n");
  EXPECT_EQ(exported.substr(rootAt), "\r\n[HKEY_LOCAL_MACHINE]\r\n\"AtRoot\"=\"r\"\r\n\r\n");
  const std::string big = exported.substr(bigAt, rootAt - bigAt);
  EXPECT_EQ(big.substr(0, big.find('\n') + 1),
            "\"Every \\\"byte\\\"\"=hex(1):01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
            "12,\\\r\n");
  EXPECT_NE(big.find("\r\n  13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,"
                     "2a,2b,\\\r\n  2c,"),
            std::string::npos);
  EXPECT_EQ(big.substr(big.rfind("\n  ") + 1), "  f4,f5,f6,f7,f8,f9,fa,fb,fc,fd,fe,ff,00\r\n");

  MemoryStore again;
  again.Import(exported);
  EXPECT_EQ(again.Export(), exported);
  ScopedKeyStore use(again);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(key));
  EXPECT_EQ(reg.ReadString("Plain"), "C:\\a \"q\"\t\xE9\xFF");
  EXPECT_EQ(reg.ReadString("Lines"), "a\r\nb\n");
  EXPECT_EQ(reg.ReadString("Nuls"), "x");
  EXPECT_EQ(reg.ReadString("Empty"), "");
  EXPECT_EQ(reg.ReadString("Expand"), "%PATH%");
  EXPECT_EQ(reg.ReadString(""), "default");
  EXPECT_THROW(reg.ReadString("Count"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Multi"), ERegistryException);
  ASSERT_TRUE(reg.OpenKeyReadOnly(key + "\\Big"));
  EXPECT_EQ(reg.ReadString("Every \"byte\""), everyByte);
  EXPECT_EQ(again.ReadValues(HKEY_LOCAL_MACHINE, ""), (KeyStore::Values{{"AtRoot", "r"}}));
}

TEST(MemoryStore, NamesCompareWithoutCaseAndValuesKeepTheirType) {
  MemoryStore store;
  store.Import(kFixture);
  ScopedKeyStore use(store);
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\odbc\\odbc.ini\\sales"));
  EXPECT_EQ(reg.ReadString("driver"), "C:\\odbc\\\"quoted\".dll");
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_THROW(reg.ReadString("Count"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Blob"), ERegistryException);
  EXPECT_THROW(reg.WriteString("X", "y"), ERegistryException);  // opened read-only
  reg.SetRootKey(HKEY_CURRENT_USER);
  EXPECT_TRUE(reg.OpenKey("\\Software\\ODBC\\ODBC.INI\\Mine", false));
  EXPECT_EQ(reg.ReadString("Path"), "%");  // an expandable string reads as text
  reg.WriteString("Path", "new");
  EXPECT_EQ(reg.ReadString("PATH"), "new");
}

TEST(MemoryStore, ListsSubKeysWithOneValueEach) {
  MemoryStore store;
  store.Import(kFixture);
  store.CreateKey(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBC.INI\\Bare");
  auto subKeys = store.ReadSubKeys(HKEY_LOCAL_MACHINE, "\\Software\\ODBC\\ODBC.INI", "driver");
  ASSERT_TRUE(subKeys);
  EXPECT_EQ(*subKeys,
            (KeyStore::SubKeyValues{{"Sales", "C:\\odbc\\\"quoted\".dll"}, {"Bare", ""}}));
  EXPECT_EQ(store.ReadSubKeys(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBC.INI\\Sales", "Count"),
            KeyStore::SubKeyValues{});
  EXPECT_FALSE(store.ReadSubKeys(HKEY_CURRENT_USER, "Software\\Absent", "x"));
  EXPECT_EQ(store.Describe(HKEY_CURRENT_USER, "\\Software\\ODBC\\ODBC.INI\\"),
            "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI");
}

// A string ends at its first NUL, as the registry accessor reads one: what follows cannot
// pass for a value of its own.
TEST(MemoryStore, StringsEndAtTheirFirstNulAndValuesListOnlyStrings) {
  using namespace std::string_literals;
  MemoryStore store;
  const std::string key = "Software\\ODBC\\ODBCINST.INI\\Excel";
  store.SetString(HKEY_LOCAL_MACHINE, key, "Driver", "/x\0SystemDB=/evil"s);
  store.SetDword(HKEY_LOCAL_MACHINE, key, "UsageCount", 1);
  ScopedKeyStore use(store);
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKeyReadOnly(key));
  EXPECT_EQ(reg.ReadString("Driver"), "/x");
  EXPECT_EQ(store.ReadValues(HKEY_LOCAL_MACHINE, key), (KeyStore::Values{{"Driver", "/x"}}));
  EXPECT_EQ(store.ReadSubKeys(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBCINST.INI", "Driver"),
            (KeyStore::SubKeyValues{{"Excel", "/x"}}));
  EXPECT_FALSE(store.ReadValues(HKEY_LOCAL_MACHINE, key + "\\Absent"));
}

TEST(Registry, StartsOnTheCurrentUserWithLazyWriteAndNoKey) {
  MemoryStore store;
  ScopedKeyStore use(store);
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  EXPECT_TRUE(reg.LazyWrite());
  reg.CloseKey();  // harmless with no key open
  EXPECT_FALSE(reg.OpenKey("\\Software\\Absent", false));
  EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, "Software\\Absent"));
  EXPECT_THROW(reg.ReadString("x"), ERegistryException);
}

TEST(MemoryStore, ImportNamesTheLineItCannotReadAndThenHasChangedNothing) {
  const std::string key = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"kept\"=\"1\"\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {key + "\"x\"=dword:zz\r\n", "REGEDIT4 line 5: a bad dword (1 to 8 hex digits expected)"},
      {key + "\"x\"=hex:01,\\\n  02,\\\n  zz\n",
       "REGEDIT4 line 7: bad hex data (bytes of two hex digits between commas expected)"},
      {key + "[HKEY_NOWHERE\\B]\n", "REGEDIT4 line 5: unknown root in 'HKEY_NOWHERE\\B'"},
      {"REGEDIT4\n\"x\"=\"y\"\n", "REGEDIT4 line 2: a value before any [key]"},
      {std::string("\xFF\xFE" "W\0i\0n\0", 8),
       "REGEDIT4 line 1: not a registry file: the first line must be REGEDIT4 or Windows "
       "Registry Editor Version 5.00"},
  };
  for (const auto& [text, message] : cases) {
    MemoryStore store;
    try {
      store.Import(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), message) << text;
    }
    EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, "A")) << text;
  }
}

// A fixture can take away what an earlier one made, as the registry editor does.
TEST(MemoryStore, ImportRemovesKeysAndValues) {
  MemoryStore store;
  store.Import(kFixture);
  store.Import("REGEDIT4\n\n[-HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Mine]\n\n"
               "[HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI\\Sales]\n\"COUNT\"=-\n");
  EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\Mine"));
  EXPECT_TRUE(store.KeyExists(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI"));
  const std::string exported = store.Export();
  EXPECT_EQ(exported.find("Count"), std::string::npos);
  EXPECT_NE(exported.find("\"Blob\"=hex:01,ff,10\r\n"), std::string::npos);
}

}  // namespace
