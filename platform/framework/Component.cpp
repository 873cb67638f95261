#include "platform/framework/Component.h"

#include <algorithm>
#include <stdexcept>

#include "platform/text/Text.h"

namespace platform {

bool IsValidIdent(const std::string& text) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (text.empty() || !letter(text[0])) return false;
  return std::all_of(text.begin(), text.end(),
                     [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  // Last first: a later component may refer to an earlier one while it goes.
  while (!components_.empty()) delete components_.back();
  if (owner_) std::erase(owner_->components_, this);
}

const TClassInfo& TComponent::StaticClass() {
  using P = Published<TComponent>;
  static const TClassInfo info{
      .Name = "TComponent",
      .Parent = nullptr,
      .Create = [](TComponent* owner) { return new TComponent(owner); },
      .Properties =
          [] {
            TPropInfo name = P::String("Name", &TComponent::GetName, &TComponent::SetName);
            name.Streamed = false;  // the header line carries it
            return std::vector<TPropInfo>{
                name, P::Integer("Tag", &TComponent::GetTag, &TComponent::SetTag, 0)};
          }(),
  };
  return info;
}

const TClassInfo& TComponent::ClassType() const { return StaticClass(); }

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (text::EqualsIgnoreCase(c->name_, name)) return c;
  return nullptr;
}

void TComponent::SetName(const std::string& name) {
  if (text::EqualsIgnoreCase(name, name_)) {
    name_ = name;
    return;
  }
  if (!name.empty() && !IsValidIdent(name))
    throw std::invalid_argument("'" + name + "' is not a valid component name");
  if (owner_ && owner_->FindComponent(name))
    throw std::invalid_argument("a component named " + name + " already exists");
  name_ = name;
}

}  // namespace platform
