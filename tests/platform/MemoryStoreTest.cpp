#include "platform/registry/MemoryStore.h"

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
            "REGEDIT4\n"
            "\n[HKEY_CURRENT_USER\\Software]\n"
            "\n[HKEY_CURRENT_USER\\Software\\ODBC]\n"
            "\n[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI]\n"
            "\n[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Mine]\n"
            "\"Path\"=hex(2):25,00\n"
            "\n[HKEY_LOCAL_MACHINE\\Software]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\ODBC]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI\\Sales]\n"
            "\"Driver\"=\"C:\\\\odbc\\\\\\\"quoted\\\".dll\"\n"
            "\"Count\"=dword:0000002a\n"
            "\"Blob\"=hex:01,ff,10\n"
            "@=\"default\"\n");
  MemoryStore again;
  again.Import(exported);
  EXPECT_EQ(again.Export(), exported);
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

TEST(MemoryStore, ImportNamesTheLineItCannotRead) {
  MemoryStore store;
  try {
    store.Import("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n");
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "REGEDIT4 line 4: bad dword 'zz'");
  }
  EXPECT_THROW(store.Import("Windows Registry Editor Version 5.00\n"), std::invalid_argument);
  EXPECT_THROW(store.Import("REGEDIT4\n[HKEY_NOWHERE\\A]\n"), std::invalid_argument);
  EXPECT_THROW(store.Import("REGEDIT4\n\"x\"=\"y\"\n"), std::invalid_argument);
}

}  // namespace
