// What every key store does, whatever holds its keys: one typed suite, instantiated once per
// backend with a fixture that arranges keys by the backend's own means (a section written into
// a file, a key made in the registry), never through the store under test.
//
// The keys are ODBC's, the only ones every store maps: a driver's definition under the local
// machine, a data source's under either root. Names used here start with "Contract ", so that
// a store shared with other tests (the registry) is listed only as far as these tests made it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>

#include "platform/registry/Registry.h"

namespace contract {

using platform::HKEY;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::KeyStore;

// The order in which a store lists values and subkeys.
enum class Order { AsCreated, ByName };

// One backend under the contract: how to arrange its keys, and where it legitimately differs.
class KeyStoreBackend {
 public:
  virtual ~KeyStoreBackend() = default;
  virtual KeyStore& Store() = 0;
  // Makes the key `path` (one of ODBC's, with its leading backslash) holding these string
  // values in this order, each stored byte for byte (a NUL inside included).
  virtual void Arrange(HKEY root, const std::string& path, const KeyStore::Values& values) = 0;
  // Adds a value that is not a string (a DWORD) to an arranged key; used where typedValues.
  virtual void ArrangeNumber(HKEY root, const std::string& path, const std::string& name) = 0;
  // Makes an arranged key refuse to open for writing; used where readOnlyKeys.
  virtual void ArrangeReadOnly(HKEY root, const std::string& path) = 0;

  Order valueOrder = Order::AsCreated;
  Order subKeyOrder = Order::AsCreated;
  // Values of other types than string exist (an INI file holds only text).
  bool typedValues = true;
  // A key can refuse this user writing (root writes any file whatever its mode).
  bool readOnlyKeys = true;
  // Text the store cannot hold exactly (blanks around it, control characters, a line over
  // unixODBC's 999 bytes) is refused instead of stored.
  bool refusesUnstorable = false;
};

inline const std::string kName = "Contract Sales";
inline const std::string kSource = platform::DataSourceKey(kName);
inline const std::string kMissing = platform::DataSourceKey("Contract Missing");
inline const std::string kDriverName = "Contract Driver";
inline const std::string kDriver = platform::DriverKey(kDriverName);

inline bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

// `pairs` (listed as created) in the order the store lists them.
inline KeyStore::Values InOrder(Order order, KeyStore::Values pairs) {
  if (order == Order::ByName)
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
      return LessIgnoringCase(a.first, b.first);
    });
  return pairs;
}

// A listing as far as these tests made it.
inline std::optional<KeyStore::SubKeyValues> Ours(std::optional<KeyStore::SubKeyValues> listed) {
  if (listed)
    std::erase_if(*listed, [](const auto& sub) { return sub.first.rfind("Contract ", 0) != 0; });
  return listed;
}

template <typename Backend>
class KeyStoreContract : public ::testing::Test {
 protected:
  Backend backend;
  KeyStore& store = backend.Store();

  // The values of a key, read as the system reads them.
  std::optional<KeyStore::Values> Values(HKEY root, const std::string& path) {
    return store.ReadValues(root, path);
  }
};

TYPED_TEST_SUITE_P(KeyStoreContract);

TYPED_TEST_P(KeyStoreContract, OpensExistingKeysOnlyAndNeverMakesOne) {
  this->backend.Arrange(HKEY_CURRENT_USER, kSource, {{"Driver", kDriverName}});
  for (auto access : {KeyStore::Access::Read, KeyStore::Access::ReadWrite}) {
    EXPECT_TRUE(this->store.Open(HKEY_CURRENT_USER, kSource, access));
    EXPECT_TRUE(this->store.Open(HKEY_CURRENT_USER, kSource.substr(1), access));  // no backslash
    EXPECT_FALSE(this->store.Open(HKEY_CURRENT_USER, kMissing, access));
    EXPECT_FALSE(this->store.Open(HKEY_LOCAL_MACHINE, kSource, access));  // the other root's
  }
  EXPECT_EQ(this->Values(HKEY_CURRENT_USER, kMissing), std::nullopt);
  EXPECT_EQ(this->Values(HKEY_LOCAL_MACHINE, kSource), std::nullopt);
}

TYPED_TEST_P(KeyStoreContract, ReadsStringValuesAsStoredUpToTheirFirstNul) {
  using namespace std::string_literals;
  auto& backend = this->backend;
  backend.Arrange(HKEY_LOCAL_MACHINE, kDriver,
                  {{"Driver", "/opt/odbc/lib/excel.so"},
                   {"Setup", ""},
                   {"FileUsage", "1\0SystemDB=/evil"s},
                   {"APILevel", "1"}});
  auto key = this->store.Open(HKEY_LOCAL_MACHINE, kDriver, KeyStore::Access::Read);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("Driver"), "/opt/odbc/lib/excel.so");
  EXPECT_EQ(key->ReadString("Setup"), "");  // empty, yet there
  EXPECT_EQ(key->ReadString("FileUsage"), "1");
  EXPECT_EQ(key->ReadString("SystemDB"), std::nullopt);
  EXPECT_EQ(key->ReadString("Absent"), std::nullopt);
  const KeyStore::Values strings{
      {"Driver", "/opt/odbc/lib/excel.so"}, {"Setup", ""}, {"FileUsage", "1"}, {"APILevel", "1"}};
  EXPECT_EQ(this->Values(HKEY_LOCAL_MACHINE, kDriver), InOrder(backend.valueOrder, strings));
  EXPECT_EQ(this->Values(HKEY_LOCAL_MACHINE, platform::DriverKey("Contract Missing")),
            std::nullopt);

  if (backend.typedValues) {
    backend.ArrangeNumber(HKEY_LOCAL_MACHINE, kDriver, "UsageCount");
    EXPECT_EQ(this->Values(HKEY_LOCAL_MACHINE, kDriver), InOrder(backend.valueOrder, strings));
    key = this->store.Open(HKEY_LOCAL_MACHINE, kDriver, KeyStore::Access::Read);
    ASSERT_TRUE(key);
    EXPECT_THROW(key->ReadString("UsageCount"), platform::ERegistryException);
    EXPECT_EQ(key->ReadString("Driver"), "/opt/odbc/lib/excel.so");
  }
}

TYPED_TEST_P(KeyStoreContract, AKeyOpenForWritingStoresValuesForEveryLaterReader) {
  auto& backend = this->backend;
  backend.Arrange(HKEY_CURRENT_USER, kSource, {{"Driver", kDriverName}, {"DBQ", "/data/old.xls"}});
  auto key = this->store.Open(HKEY_CURRENT_USER, kSource, KeyStore::Access::ReadWrite);
  ASSERT_TRUE(key);
  key->WriteString("DBQ", "/data/new.xls");
  key->WriteString("SystemDB", "/data/system.mdw");
  key->WriteString("Description", "");
  EXPECT_EQ(key->ReadString("DBQ"), "/data/new.xls");
  EXPECT_EQ(key->ReadString("SystemDB"), "/data/system.mdw");
  EXPECT_EQ(key->ReadString("Description"), "");
  EXPECT_NO_THROW(key->Flush());
  key.reset();

  const KeyStore::Values written{{"Driver", kDriverName},
                                 {"DBQ", "/data/new.xls"},
                                 {"SystemDB", "/data/system.mdw"},
                                 {"Description", ""}};
  EXPECT_EQ(this->Values(HKEY_CURRENT_USER, kSource), InOrder(backend.valueOrder, written));
  auto again = this->store.Open(HKEY_CURRENT_USER, kSource, KeyStore::Access::Read);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->ReadString("SystemDB"), "/data/system.mdw");
  // Only that key changed.
  EXPECT_EQ(this->Values(HKEY_LOCAL_MACHINE, kSource), std::nullopt);
}

TYPED_TEST_P(KeyStoreContract, AKeyOpenForReadingOrThatIsReadOnlyRefusesWrites) {
  auto& backend = this->backend;
  const KeyStore::Values before{{"Driver", kDriverName}, {"DBQ", "/data/old.xls"}};
  backend.Arrange(HKEY_CURRENT_USER, kSource, before);
  auto key = this->store.Open(HKEY_CURRENT_USER, kSource, KeyStore::Access::Read);
  ASSERT_TRUE(key);
  EXPECT_THROW(key->WriteString("DBQ", "/data/new.xls"), platform::ERegistryException);
  EXPECT_THROW(key->WriteString("SystemDB", "/data/system.mdw"), platform::ERegistryException);
  EXPECT_EQ(key->ReadString("DBQ"), "/data/old.xls");
  key.reset();
  EXPECT_EQ(this->Values(HKEY_CURRENT_USER, kSource), InOrder(backend.valueOrder, before));

  if (backend.readOnlyKeys) {
    backend.ArrangeReadOnly(HKEY_CURRENT_USER, kSource);
    EXPECT_FALSE(this->store.Open(HKEY_CURRENT_USER, kSource, KeyStore::Access::ReadWrite));
    key = this->store.Open(HKEY_CURRENT_USER, kSource, KeyStore::Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("DBQ"), "/data/old.xls");
    EXPECT_EQ(this->Values(HKEY_CURRENT_USER, kSource), InOrder(backend.valueOrder, before));
  }
}

TYPED_TEST_P(KeyStoreContract, TextIsStoredExactlyOrRefusedNeverAltered) {
  auto& backend = this->backend;
  backend.Arrange(HKEY_CURRENT_USER, kSource, {{"DBQ", "/data/old.xls"}});
  auto key = this->store.Open(HKEY_CURRENT_USER, kSource, KeyStore::Access::ReadWrite);
  ASSERT_TRUE(key);
  for (const std::string& text : {std::string(" padded "), std::string("tab\there"),
                                  std::string("two\nlines"), std::string(1000, 'x')}) {
    bool stored = true;
    try {
      key->WriteString("DBQ", text);
    } catch (const platform::ERegistryException& e) {
      stored = false;
      EXPECT_NE(std::string(e.what()).find("DBQ"), std::string::npos) << e.what();
    }
    EXPECT_EQ(stored, !backend.refusesUnstorable) << text;
    const std::string now = stored ? text : "/data/old.xls";
    EXPECT_EQ(key->ReadString("DBQ"), now);
    EXPECT_EQ(this->Values(HKEY_CURRENT_USER, kSource), (KeyStore::Values{{"DBQ", now}}));
    if (stored) key->WriteString("DBQ", "/data/old.xls");
  }
}

TYPED_TEST_P(KeyStoreContract, NamesCompareWithoutRegardToCase) {
  auto& backend = this->backend;
  backend.Arrange(HKEY_CURRENT_USER, kSource, {{"Driver", kDriverName}, {"DBQ", "/data/a.xls"}});
  const std::string shouted = "\\SOFTWARE\\odbc\\Odbc.Ini\\CONTRACT SALES";
  auto key = this->store.Open(HKEY_CURRENT_USER, shouted, KeyStore::Access::ReadWrite);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("DRIVER"), kDriverName);
  key->WriteString("dbq", "/data/b.xls");  // the same value, not a second one
  EXPECT_EQ(key->ReadString("Dbq"), "/data/b.xls");
  key.reset();

  // Written under another spelling of its name, a value keeps the one it was stored under.
  const KeyStore::Values expected{{"Driver", kDriverName}, {"DBQ", "/data/b.xls"}};
  EXPECT_EQ(this->Values(HKEY_CURRENT_USER, kSource), InOrder(backend.valueOrder, expected));
  EXPECT_EQ(this->Values(HKEY_CURRENT_USER, shouted), InOrder(backend.valueOrder, expected));
  EXPECT_EQ(
      Ours(this->store.ReadSubKeys(HKEY_CURRENT_USER, "\\software\\ODBC\\odbc.ini", "DRIVER")),
      (KeyStore::SubKeyValues{{kName, kDriverName}}));
}

TYPED_TEST_P(KeyStoreContract, ListsSubKeysEachWithOneStringValue) {
  using namespace std::string_literals;
  auto& backend = this->backend;
  const auto source = [](const char* name) { return platform::DataSourceKey(name); };
  backend.Arrange(HKEY_CURRENT_USER, source("Contract Zeta"), {{"Driver", "Zeta Driver"}});
  backend.Arrange(HKEY_CURRENT_USER, source("Contract Alpha"), {{"Description", "no driver"}});
  backend.Arrange(HKEY_CURRENT_USER, source("Contract Mid"), {{"Driver", "Mid\0Driver"s}});
  backend.Arrange(HKEY_CURRENT_USER, source("Contract Empty"), {});
  KeyStore::SubKeyValues expected{{"Contract Zeta", "Zeta Driver"},
                                  {"Contract Alpha", ""},
                                  {"Contract Mid", "Mid"},
                                  {"Contract Empty", ""}};
  if (backend.typedValues) {
    backend.Arrange(HKEY_CURRENT_USER, source("Contract Number"), {});
    backend.ArrangeNumber(HKEY_CURRENT_USER, source("Contract Number"), "Driver");
    expected.emplace_back("Contract Number", "");
  }
  EXPECT_EQ(Ours(this->store.ReadSubKeys(HKEY_CURRENT_USER, platform::DataSourceKey(), "Driver")),
            InOrder(backend.subKeyOrder, expected));
  // A data source's own key has none; a missing key is not an empty one.
  EXPECT_EQ(this->store.ReadSubKeys(HKEY_CURRENT_USER, source("Contract Zeta"), "Driver"),
            KeyStore::SubKeyValues{});
  EXPECT_EQ(this->store.ReadSubKeys(HKEY_CURRENT_USER, kMissing, "Driver"), std::nullopt);

  backend.Arrange(HKEY_LOCAL_MACHINE, kDriver, {{"Driver", "/opt/odbc/lib/excel.so"}});
  EXPECT_EQ(Ours(this->store.ReadSubKeys(HKEY_LOCAL_MACHINE, platform::DriverKey(""), "Driver")),
            (KeyStore::SubKeyValues{{kDriverName, "/opt/odbc/lib/excel.so"}}));
}

TYPED_TEST_P(KeyStoreContract, DescribesEveryKeyForPeople) {
  this->backend.Arrange(HKEY_CURRENT_USER, kSource, {{"Driver", kDriverName}});
  const std::string user = this->store.Describe(HKEY_CURRENT_USER, kSource);
  EXPECT_NE(user.find(kName), std::string::npos) << user;
  EXPECT_NE(this->store.Describe(HKEY_CURRENT_USER, kMissing).find("Contract Missing"),
            std::string::npos);
  EXPECT_NE(this->store.Describe(HKEY_LOCAL_MACHINE, kDriver).find(kDriverName), std::string::npos);
  // The roots are told apart.
  EXPECT_NE(this->store.Describe(HKEY_LOCAL_MACHINE, kSource), user);
}

REGISTER_TYPED_TEST_SUITE_P(KeyStoreContract, OpensExistingKeysOnlyAndNeverMakesOne,
                            ReadsStringValuesAsStoredUpToTheirFirstNul,
                            AKeyOpenForWritingStoresValuesForEveryLaterReader,
                            AKeyOpenForReadingOrThatIsReadOnlyRefusesWrites,
                            TextIsStoredExactlyOrRefusedNeverAltered,
                            NamesCompareWithoutRegardToCase, ListsSubKeysEachWithOneStringValue,
                            DescribesEveryKeyForPeople);

}  // namespace contract
