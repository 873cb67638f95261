// The registry store against Wine's registry, through advapi32 as on Windows.
#include <gtest/gtest.h>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryKeyWindows.h"
#include "tests/windows/WineRegistry.h"

using namespace std::string_literals;
using platform::ERegistryException;
using platform::KeyStore;
using namespace wintest;

namespace {

const std::string kKey = "Software\\Tabrix Tests\\Store";

class WindowsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(kUser, "Software\\Tabrix Tests");
    CreateKey(kUser, kKey);
  }
  void TearDown() override { DeleteTree(kUser, "Software\\Tabrix Tests"); }

  std::unique_ptr<platform::StoreKey> Open(KeyStore::Access access,
                                           const std::string& path = kKey) {
    return store.Open(kUser, path, access);
  }

  KeyStore& store = platform::DefaultKeyStore();
};

TEST_F(WindowsStore, ReadsStringsWithoutTheirTerminatingNul) {
  SetValue(kUser, kKey, "Plain", kSz, "C:\\Data\0"s);
  SetValue(kUser, kKey, "Unterminated", kSz, "no end");
  SetValue(kUser, kKey, "Empty", kSz, "");
  SetValue(kUser, kKey, "Inner", kSz, "abc\0def\0"s);
  SetValue(kUser, kKey, "Expand", kExpandSz, "%TEMP%\\x\0"s);
  SetString(kUser, kKey, "Long", std::string(5000, 'L'));  // past any first guess of a size

  auto key = Open(KeyStore::Access::Read);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("Plain"), "C:\\Data");
  EXPECT_EQ(key->ReadString("plain"), "C:\\Data");  // value names ignore case
  EXPECT_EQ(key->ReadString("Unterminated"), "no end");
  EXPECT_EQ(key->ReadString("Empty"), "");
  EXPECT_EQ(key->ReadString("Inner"), "abc");         // a string ends at its NUL
  EXPECT_EQ(key->ReadString("Expand"), "%TEMP%\\x");  // read, not expanded
  EXPECT_EQ(key->ReadString("Long"), std::string(5000, 'L'));
  EXPECT_EQ(key->ReadString("Absent"), std::nullopt);
}

TEST_F(WindowsStore, AValueOfAnotherTypeRaisesAndTheAccessorKeepsWorking) {
  SetValue(kUser, kKey, "Dword", kDword, "\x07\0\0\0"s);
  SetValue(kUser, kKey, "Qword", kQword, std::string(8, '\1'));
  SetValue(kUser, kKey, "Binary", kBinary, "abc\0"s);
  SetValue(kUser, kKey, "Multi", kMultiSz, "a\0b\0\0"s);
  SetString(kUser, kKey, "Text", "fine");

  platform::TRegistry registry;
  ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + kKey));
  for (const char* name : {"Dword", "Qword", "Binary", "Multi"}) {
    try {
      registry.ReadString(name);
      ADD_FAILURE() << name << " was read as a string";
    } catch (const ERegistryException& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(registry.ReadString("Text"), "fine");
  EXPECT_EQ(registry.ReadString("Absent"), "");
}

TEST_F(WindowsStore, OpensExistingKeysOnlyAndNeverCreatesOne) {
  EXPECT_FALSE(Open(KeyStore::Access::Read, kKey + "\\Missing"));
  EXPECT_FALSE(Open(KeyStore::Access::ReadWrite, kKey + "\\Missing"));
  EXPECT_FALSE(KeyExists(kUser, kKey + "\\Missing"));

  platform::TRegistry registry;
  EXPECT_FALSE(registry.OpenKey("\\" + kKey + "\\Missing", false));
  EXPECT_THROW(registry.OpenKey("\\" + kKey + "\\Missing", true), ERegistryException);
  EXPECT_FALSE(KeyExists(kUser, kKey + "\\Missing"));

  EXPECT_TRUE(Open(KeyStore::Access::ReadWrite, "\\" + kKey));         // leading backslash
  EXPECT_TRUE(Open(KeyStore::Access::ReadWrite, kKey + "\\"));         // an empty last component
  EXPECT_FALSE(store.Open(0x12345678, kKey, KeyStore::Access::Read));  // not a root
}

TEST_F(WindowsStore, AKeyOpenedForReadingRefusesWrites) {
  auto key = Open(KeyStore::Access::Read);
  ASSERT_TRUE(key);
  EXPECT_THROW(key->WriteString("SystemDB", "C:\\x.mdw"), ERegistryException);
  EXPECT_EQ(GetValue(kUser, kKey, "SystemDB"), std::nullopt);
}

TEST_F(WindowsStore, WritesRegSzWithItsTerminatingNul) {
  auto key = Open(KeyStore::Access::ReadWrite);
  ASSERT_TRUE(key);
  key->WriteString("SystemDB", "C:\\Work\\System.mdw");
  key->WriteString("Empty", "");
  key->WriteString("Replaced", "first");
  key->WriteString("Replaced", "second");
  auto value = GetValue(kUser, kKey, "SystemDB");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kSz);
  EXPECT_EQ(value->bytes, "C:\\Work\\System.mdw\0"s);
  EXPECT_EQ(GetValue(kUser, kKey, "Empty")->bytes, "\0"s);
  EXPECT_EQ(GetValue(kUser, kKey, "Replaced")->bytes, "second\0"s);
  EXPECT_EQ(key->ReadString("Replaced"), "second");
}

TEST_F(WindowsStore, FlushGoesToTheRegistryAndReportsItsErrors) {
  auto key = Open(KeyStore::Access::ReadWrite);
  ASSERT_TRUE(key);
  key->WriteString("SystemDB", "C:\\x.mdw");
  EXPECT_NO_THROW(key->Flush());
  // A key deleted under an open handle: the registry's own error comes back raised.
  DeleteTree(kUser, kKey);
  EXPECT_THROW(key->Flush(), ERegistryException);
  EXPECT_THROW(key->WriteString("SystemDB", "C:\\y.mdw"), ERegistryException);
}

TEST_F(WindowsStore, ListsSubKeysWithOneStringValueEach) {
  SetString(kUser, kKey + "\\First", "Driver", "C:\\one.dll");
  SetValue(kUser, kKey + "\\Second", "Driver", kDword, "\1\0\0\0"s);
  CreateKey(kUser, kKey + "\\Third");
  auto listed = store.ReadSubKeys(kUser, "\\" + kKey, "Driver");
  ASSERT_TRUE(listed);
  KeyStore::SubKeyValues expected{{"First", "C:\\one.dll"}, {"Second", ""}, {"Third", ""}};
  EXPECT_EQ(*listed, expected);
  EXPECT_EQ(store.ReadSubKeys(kUser, kKey + "\\Missing", "Driver"), std::nullopt);
}

TEST_F(WindowsStore, DescribesTheKeyByItsRegistryPath) {
  EXPECT_EQ(store.Describe(kMachine, "\\Software\\ODBC\\ODBC.INI\\Sales"),
            "HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI\\Sales");
  EXPECT_EQ(store.Describe(kUser, "Software"), "HKEY_CURRENT_USER\\Software");
}

}  // namespace

namespace {

// The one registry handle and the one wording of Windows' codes.
TEST_F(WindowsStore, AKeyHandleClosesOnceAndAMissingKeyIsToldFromARefusedOne) {
  auto missing = platform::RegistryKey::Open(kUser, kKey + "\\Missing", KEY_READ);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(platform::IsMissingKey(missing.failure()));
  EXPECT_EQ(missing.reason(), "cannot open " + kKey + "\\Missing: " +
                                  platform::SystemMessage(ERROR_FILE_NOT_FOUND));

  auto opened = platform::RegistryKey::Open(kUser, "\\" + kKey, KEY_READ);  // a leading '\'
  ASSERT_TRUE(opened) << opened.reason();
  platform::RegistryKey moved = std::move(*opened);
  EXPECT_FALSE(*opened);  // the handle went with the move, and is closed by `moved` alone
  ASSERT_TRUE(moved);
  EXPECT_EQ(RegQueryInfoKeyA(moved.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  moved = platform::RegistryKey();
  EXPECT_FALSE(moved);

  auto made = platform::RegistryKey::Create(kUser, kKey + "\\Made\\Deeper", KEY_WRITE);
  ASSERT_TRUE(made) << made.reason();
  EXPECT_TRUE(KeyExists(kUser, kKey + "\\Made\\Deeper"));
}

TEST(SystemMessage, WindowsCodesReadAsPosixReasonsDo) {
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DISK_FULL}) {
    const std::string words = platform::SystemMessage(static_cast<int>(code));
    ASSERT_FALSE(words.empty());
    for (char end : {'.', '\n', '\r', ' '}) EXPECT_NE(words.back(), end) << code << ": " << words;
  }
  EXPECT_EQ(platform::SystemFailure(ERROR_ACCESS_DENIED, "writing x").reason,
            "writing x: " + platform::SystemMessage(ERROR_ACCESS_DENIED));
}

}  // namespace
