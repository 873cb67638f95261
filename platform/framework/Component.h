// TComponent: the base of everything a form file holds. A component is constructed with its
// owner (or null); the owner frees the components it owns when it is freed itself, so a
// component with an owner must be made with new and left to that owner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/framework/TypeInfo.h"

namespace platform {

class TABRIX_API TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // The class's description; every class with published properties overrides ClassType.
  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassType() const;
  const std::string& ClassName() const { return ClassType().Name; }

  TComponent* GetOwner() const { return owner_; }
  int32_t ComponentCount() const { return static_cast<int32_t>(components_.size()); }
  TComponent* Components(int32_t index) const { return components_.at(index); }
  // The owned component of that name (ASCII case ignored), or null.
  TComponent* FindComponent(const std::string& name) const;

  std::string GetName() const { return name_; }
  // Raises std::invalid_argument for a name that is not an identifier, or one another
  // component of the same owner already has. The empty name is allowed.
  void SetName(const std::string& name);
  int32_t GetTag() const { return tag_; }
  void SetTag(int32_t tag) { tag_ = tag; }

  // Called once all properties have been read from a form file.
  virtual void Loaded() {}
  // True while a form file's reader sets the properties: work that depends on several of
  // them waits for Loaded.
  bool Loading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
  std::string name_;
  int32_t tag_ = 0;
  bool loading_ = false;
};

// Letters, digits and "_", not starting with a digit.
bool IsValidIdent(const std::string& text);

}  // namespace platform
