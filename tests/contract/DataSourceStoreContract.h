// What every data-source store does, whatever holds the data sources: one typed suite,
// instantiated once per backend (unixODBC's files in a private folder, the registry's store
// over an in-memory key store, the registry itself under Wine). Names start with "Contract ",
// so that a registry shared with other tests is read only as far as these tests wrote it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sources/DataSourceStore.h"
#include "platform/text/Text.h"
#include "tests/contract/KeyStoreContract.h"

namespace contract {

using platform::DataSourceStore;
using platform::Pairs;
using platform::SourceEdit;
using platform::StoredSources;
using platform::text::Folded;

class DataSourceBackend {
 public:
  virtual ~DataSourceBackend() = default;
  virtual DataSourceStore& Store() = 0;
  // Defines a driver, `library` its Driver value.
  virtual void ArrangeDriver(const std::string& description, const std::string& library) = 0;
  // A line in the listing of a scope that holds nothing yet, with no data source of the name,
  // as one removed by hand leaves it.
  virtual void ArrangeListedOnly(bool system, const std::string& name,
                                 const std::string& driver) = 0;

  // A data source's Driver value names the driver's library (the registry), not its
  // description (odbc.ini); a driver that names none is refused.
  bool driverIsLibrary = false;
  Order valueOrder = Order::AsCreated;
  Order sourceOrder = Order::AsCreated;
};

inline const std::string kLibrary = "/opt/contract/libcontract.so";

template <typename Backend>
class DataSourceStoreContract : public ::testing::Test {
 protected:
  void SetUp() override { backend.ArrangeDriver(kDriverName, kLibrary); }

  // The scope as far as these tests wrote it, the listing included.
  StoredSources Read(bool system) {
    auto read = store.Read(system);
    EXPECT_TRUE(read) << read.reason();
    if (!read) return {};
    std::erase_if(read->sources, [](const auto& s) { return !s.name.starts_with("Contract "); });
    std::erase_if(read->listing, [](const auto& p) { return !p.first.starts_with("Contract "); });
    return *read;
  }
  // The values of one data source, or nullopt when the scope holds no such name.
  std::optional<Pairs> ValuesOf(bool system, const std::string& name) {
    for (auto& s : Read(system).sources)
      if (s.name == name) return s.values;
    return std::nullopt;
  }
  void Edit(bool system, const std::vector<SourceEdit>& edits) {
    platform::Status done = store.Edit(system, edits);
    ASSERT_TRUE(done) << done.reason();
  }
  std::string DriverValue() const { return backend.driverIsLibrary ? kLibrary : kDriverName; }
  Pairs WithDriver(Pairs values) const {
    values.insert(values.begin(), {"Driver", DriverValue()});
    return InOrder(backend.valueOrder, values);
  }

  Backend backend;
  DataSourceStore& store = backend.Store();
};

TYPED_TEST_SUITE_P(DataSourceStoreContract);

TYPED_TEST_P(DataSourceStoreContract, ReplaceWritesTheDriverTheValuesAndTheListingLine) {
  EXPECT_TRUE(this->Read(false).sources.empty());
  this->Edit(false, {{SourceEdit::Kind::Replace, kName, kDriverName,
                      {{"DBQ", "/data/Sales.xls"}, {"ReadOnly", "1"}}}});
  const StoredSources user = this->Read(false);
  ASSERT_EQ(user.sources.size(), 1u);
  EXPECT_EQ(user.sources[0].name, kName);
  EXPECT_EQ(user.sources[0].values,
            this->WithDriver({{"DBQ", "/data/Sales.xls"}, {"ReadOnly", "1"}}));
  EXPECT_TRUE(user.sources[0].ignored.empty());
  EXPECT_EQ(user.listing, (Pairs{{kName, kDriverName}}));
  // The other scope is another file or root.
  EXPECT_TRUE(this->Read(true).sources.empty());
  EXPECT_TRUE(this->Read(true).listing.empty());
}

TYPED_TEST_P(DataSourceStoreContract, ReplaceDropsWhatItDoesNotGiveAndUpdateKeepsIt) {
  this->Edit(true, {{SourceEdit::Kind::Replace, kName, kDriverName, {{"A", "1"}, {"B", "2"}}}});
  // Names compare without regard to case, as the driver manager finds them.
  this->Edit(true, {{SourceEdit::Kind::Update, "contract SALES", "", {{"B", "3"}, {"C", "4"}}}});
  EXPECT_EQ(this->ValuesOf(true, kName), this->WithDriver({{"A", "1"}, {"B", "3"}, {"C", "4"}}));
  this->Edit(true, {{SourceEdit::Kind::Replace, kName, kDriverName, {{"C", "5"}}}});
  EXPECT_EQ(this->ValuesOf(true, kName), this->WithDriver({{"C", "5"}}));
  EXPECT_EQ(this->Read(true).listing, (Pairs{{kName, kDriverName}}));
}

TYPED_TEST_P(DataSourceStoreContract, ManyChangesInOneCallAndRemovalTakesTheListingLine) {
  const std::string a = "Contract A", b = "Contract B", c = "Contract C";
  this->Edit(false, {{SourceEdit::Kind::Replace, a, kDriverName, {{"X", "1"}}},
                     {SourceEdit::Kind::Replace, b, kDriverName, {{"X", "2"}}}});
  this->Edit(false, {{SourceEdit::Kind::Remove, "contract a", "", {}},
                     {SourceEdit::Kind::Update, b, "", {{"Y", "3"}}},
                     {SourceEdit::Kind::Replace, c, kDriverName, {{"Z", "4"}}}});
  const StoredSources user = this->Read(false);
  std::vector<std::string> names;
  for (const auto& s : user.sources) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{b, c}));
  EXPECT_EQ(this->ValuesOf(false, b), this->WithDriver({{"X", "2"}, {"Y", "3"}}));
  EXPECT_EQ(this->ValuesOf(false, c), this->WithDriver({{"Z", "4"}}));
  EXPECT_EQ(user.listing, InOrder(this->backend.sourceOrder, {{b, kDriverName}, {c, kDriverName}}));
  // Removing what is not there is no error, and changes nothing else.
  this->Edit(false, {{SourceEdit::Kind::Remove, "Contract Missing", "", {}}});
  EXPECT_EQ(this->Read(false).sources.size(), 2u);
}

TYPED_TEST_P(DataSourceStoreContract, RefusesWhatItCannotHoldExactlyAndSaysWhy) {
  using namespace std::string_literals;
  EXPECT_TRUE(this->store.Storable(kName, {{"DBQ", "/data/Sales.xls"}}));
  for (const auto& [name, values] : std::vector<std::pair<std::string, Pairs>>{
           {"", {}}, {kName, {{"PWD", "se\0cret"s}}}, {kName, {{"", "1"}}}}) {
    platform::Status storable = this->store.Storable(name, values);
    EXPECT_FALSE(storable) << "name \"" << name << "\"";
    if (!storable) {
      EXPECT_FALSE(storable.reason().empty());
    }
  }
  if (this->backend.driverIsLibrary) {
    // A driver with no library to name would leave a data source nothing can load.
    platform::Status refused =
        this->store.Edit(false, {{SourceEdit::Kind::Replace, kName, "Contract Nowhere", {}}});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.reason().find("Contract Nowhere"), std::string::npos) << refused.reason();
    EXPECT_TRUE(this->Read(false).sources.empty());
  }
}

TYPED_TEST_P(DataSourceStoreContract, ChangesUnderTheScopesLockAndAfterIt) {
  {
    auto lock = this->store.LockScope(true);
    ASSERT_TRUE(lock) << lock.reason();
    EXPECT_TRUE(this->Read(true).sources.empty());
    this->Edit(true, {{SourceEdit::Kind::Replace, kName, kDriverName, {{"A", "1"}}}});
  }
  this->Edit(true, {{SourceEdit::Kind::Update, kName, kDriverName, {{"A", "2"}}}});
  EXPECT_EQ(this->ValuesOf(true, kName), this->WithDriver({{"A", "2"}}));
}

TYPED_TEST_P(DataSourceStoreContract, FindsOneByItsNameWithItsListingLine) {
  auto missing = this->store.Find(false, kName);
  ASSERT_TRUE(missing) << missing.reason();
  EXPECT_FALSE(missing->values);
  EXPECT_FALSE(missing->listed);
  EXPECT_EQ(missing->where, this->store.Where(false, kName));

  this->Edit(false, {{SourceEdit::Kind::Replace, kName, kDriverName, {{"DBQ", "/data/a.xls"}}},
                     {SourceEdit::Kind::Replace, "Contract A", kDriverName, {{"X", "1"}}}});
  // Names compare without regard to case, as the driver manager finds them.
  auto found = this->store.Find(false, "contract SALES");
  ASSERT_TRUE(found) << found.reason();
  EXPECT_EQ(found->values, this->WithDriver({{"DBQ", "/data/a.xls"}}));
  EXPECT_EQ(found->listed, kDriverName);
  EXPECT_EQ(found->where, this->store.Where(false, "contract SALES"));
  EXPECT_NE(Folded(found->where).find(Folded(kName)), std::string::npos) << found->where;
  // The other scope is another file or root.
  auto other = this->store.Find(true, kName);
  ASSERT_TRUE(other) << other.reason();
  EXPECT_FALSE(other->values);
  EXPECT_FALSE(other->listed);
}

TYPED_TEST_P(DataSourceStoreContract, FindTellsALineTheListingKeepsWithoutItsDataSource) {
  this->backend.ArrangeListedOnly(true, kName, kDriverName);
  auto stale = this->store.Find(true, kName);
  ASSERT_TRUE(stale) << stale.reason();
  EXPECT_FALSE(stale->values);
  EXPECT_EQ(stale->listed, kDriverName);
  // A removal takes the line alone.
  this->Edit(true, {{SourceEdit::Kind::Remove, kName, "", {}}});
  auto removed = this->store.Find(true, kName);
  ASSERT_TRUE(removed) << removed.reason();
  EXPECT_FALSE(removed->listed);
}

TYPED_TEST_P(DataSourceStoreContract, WhereNamesTheScopeAndEachDataSourceInIt) {
  const std::string user = this->store.Where(false, ""), system = this->store.Where(true, "");
  EXPECT_FALSE(user.empty());
  EXPECT_NE(user, system);
  // Whether it exists or not, a data source is named within its scope's file or key.
  this->Edit(true, {{SourceEdit::Kind::Replace, kName, kDriverName, {}}});
  for (const std::string& name : {kName, std::string("Contract Missing")}) {
    EXPECT_EQ(this->store.Where(true, name).rfind(system, 0), 0u) << this->store.Where(true, name);
    EXPECT_NE(this->store.Where(true, name).find(name), std::string::npos);
  }
}

// A listing names what Read reads, in its order, with the Driver value alone.
TYPED_TEST_P(DataSourceStoreContract, ListShowsReadsDataSourcesWithTheirDriverAlone) {
  const std::string a = "Contract Listed A", b = "Contract Listed B";
  this->Edit(false, {{SourceEdit::Kind::Replace, b, kDriverName, {{"DBQ", "/b.xls"}}},
                     {SourceEdit::Kind::Replace, a, kDriverName, {{"UID", "admin"}}}});
  auto listed = this->store.List(false);
  ASSERT_TRUE(listed) << listed.reason();
  std::erase_if(listed->sources, [](const auto& s) { return !s.name.starts_with("Contract "); });
  const StoredSources read = this->Read(false);
  ASSERT_EQ(listed->sources.size(), read.sources.size());
  for (size_t i = 0; i < read.sources.size(); ++i) {
    EXPECT_EQ(listed->sources[i].name, read.sources[i].name);
    EXPECT_EQ(listed->sources[i].values, (Pairs{{"Driver", this->DriverValue()}}));
  }
  EXPECT_TRUE(listed->listing.empty());
  EXPECT_EQ(this->store.List(true)->sources.size(), this->store.Read(true)->sources.size());
}

REGISTER_TYPED_TEST_SUITE_P(DataSourceStoreContract,
                            ReplaceWritesTheDriverTheValuesAndTheListingLine,
                            ReplaceDropsWhatItDoesNotGiveAndUpdateKeepsIt,
                            ManyChangesInOneCallAndRemovalTakesTheListingLine,
                            RefusesWhatItCannotHoldExactlyAndSaysWhy,
                            ChangesUnderTheScopesLockAndAfterIt,
                            FindsOneByItsNameWithItsListingLine,
                            FindTellsALineTheListingKeepsWithoutItsDataSource,
                            WhereNamesTheScopeAndEachDataSourceInIt,
                            ListShowsReadsDataSourcesWithTheirDriverAlone);

}  // namespace contract
