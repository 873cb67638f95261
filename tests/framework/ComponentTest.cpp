#include "platform/framework/Component.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "Samples.h"

using platform::TComponent;
using samples::TSample;

namespace {

class Tracked : public TComponent {
 public:
  Tracked(TComponent* owner, std::vector<std::string>& freed, std::string id)
      : TComponent(owner), freed_(freed), id_(std::move(id)) {}
  ~Tracked() override { freed_.push_back(id_); }

 private:
  std::vector<std::string>& freed_;
  std::string id_;
};

TEST(Component, AnOwnerFreesWhatItOwnsLastFirst) {
  std::vector<std::string> freed;
  auto* owner = new Tracked(nullptr, freed, "owner");
  auto* a = new Tracked(owner, freed, "a");
  new Tracked(owner, freed, "b");
  new Tracked(a, freed, "a1");  // owned in turn, freed with its own owner
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(a->GetOwner(), owner);
  delete owner;
  EXPECT_EQ(freed, (std::vector<std::string>{"owner", "b", "a", "a1"}));
}

TEST(Component, AComponentFreedFirstLeavesItsOwnersList) {
  std::vector<std::string> freed;
  Tracked owner(nullptr, freed, "owner");
  auto* a = new Tracked(&owner, freed, "a");
  new Tracked(&owner, freed, "b");
  delete a;
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(freed, std::vector<std::string>{"a"});
}

TEST(Component, NamesAreIdentifiersUniqueUnderOneOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("Sales_1");
  EXPECT_EQ(owner.FindComponent("SALES_1"), a);
  EXPECT_THROW(b->SetName("sales_1"), std::invalid_argument);
  a->SetName("SALES_1");  // a change of case keeps the name its own
  EXPECT_EQ(a->GetName(), "SALES_1");
  for (const char* bad : {"1st", "a b", "a.b", "Ä", "x-y"})
    EXPECT_THROW(b->SetName(bad), std::invalid_argument) << bad;
  b->SetName("");
  EXPECT_EQ(owner.FindComponent(""), nullptr);
  EXPECT_EQ(b->GetName(), "");
}

TEST(Component, PublishedPropertiesListTheInheritedOnesFirst) {
  std::vector<std::string> names;
  for (const platform::TPropInfo* p : platform::GetPropList(TSample::StaticClass()))
    names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Link", "Count", "Enabled", "Colour",
                                             "Caption", "Title", "Always"}));
  EXPECT_EQ(platform::GetPropInfo(TSample::StaticClass(), "tAG")->Name, "Tag");
  EXPECT_EQ(platform::GetPropInfo(TSample::StaticClass(), "Nope"), nullptr);
  TSample sample(nullptr);
  EXPECT_EQ(sample.ClassName(), "TSample");
}

}  // namespace
