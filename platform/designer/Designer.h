// The host development environment's design-time interface: property editors, their
// attributes, and the registration of components and editors.
//
// RegisterComponents and RegisterPropertyEditor hand their arguments to the Registrar in
// charge (the design host while it runs a package's Register procedures); called with none,
// they raise std::logic_error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/Seam.h"
#include "platform/framework/Component.h"

namespace platform {

// The host's numbering: bit n stands for attribute n.
enum TPropertyAttribute : uint8_t {
  paValueList,
  paSubProperties,
  paDialog,       // edited through a dialog: the designer shows an ellipsis button
  paMultiSelect,  // also offered when several components are selected
  paAutoUpdate,
  paSortList,
  paReadOnly,  // the value text cannot be typed in
  paRevertable
};
using TPropertyAttributes = uint32_t;
constexpr TPropertyAttributes operator|(TPropertyAttribute a, TPropertyAttribute b) {
  return (1u << a) | (1u << b);
}
constexpr TPropertyAttributes operator|(TPropertyAttributes a, TPropertyAttribute b) {
  return a | (1u << b);
}
constexpr TPropertyAttributes Attributes(TPropertyAttribute a) { return 1u << a; }

// Edits one published property of the selected components (one or several, all of classes
// that have it). The designer makes one per property it shows and frees it afterwards.
class TABRIX_API TPropertyEditor {
 public:
  TPropertyEditor(std::vector<TComponent*> components, const TPropInfo& prop);
  virtual ~TPropertyEditor() = default;
  TPropertyEditor(const TPropertyEditor&) = delete;
  TPropertyEditor& operator=(const TPropertyEditor&) = delete;

  // The ellipsis button's action.
  virtual void Edit() {}
  virtual TPropertyAttributes GetAttributes() const { return Attributes(paRevertable); }
  // The text the designer shows in the value column.
  virtual std::string GetValue() const { return "(unknown)"; }
  // A value typed into the value column.
  virtual void SetValue(const std::string& value) { (void)value; }

  int32_t PropCount() const { return static_cast<int32_t>(components_.size()); }
  TComponent* GetComponent(int32_t index) const { return components_.at(index); }
  const std::string& GetName() const { return prop_.Name; }

 protected:
  // The first component's value; every component's, through the property's setter.
  std::string GetStrValue() const;
  void SetStrValue(const std::string& value);

 private:
  std::vector<TComponent*> components_;
  const TPropInfo& prop_;
};

// The host's editor of string properties: the value as text, typed values through the setter.
class TABRIX_API TStringProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() const override { return paMultiSelect | paRevertable; }
  std::string GetValue() const override { return GetStrValue(); }
  void SetValue(const std::string& value) override { SetStrValue(value); }
};

// An editor class as the registration names it: its name and how to make one.
struct TPropertyEditorClass {
  std::string Name{};
  std::function<std::unique_ptr<TPropertyEditor>(std::vector<TComponent*>, const TPropInfo&)>
      Create{};
};

template <class E>
TPropertyEditorClass EditorClass(std::string name) {
  return {std::move(name), [](std::vector<TComponent*> components, const TPropInfo& prop) {
            return std::unique_ptr<TPropertyEditor>(new E(std::move(components), prop));
          }};
}

// Where registrations go.
class Registrar {
 public:
  virtual ~Registrar() = default;
  virtual void RegisterComponents(const std::string& page,
                                  const std::vector<const TClassInfo*>& classes) = 0;
  // Editors for properties of type `propertyType` named `propertyName` (empty: any name) on
  // `componentClass` and the classes derived from it (null: any class).
  virtual void RegisterPropertyEditor(const std::string& propertyType,
                                      const TClassInfo* componentClass,
                                      const std::string& propertyName,
                                      const TPropertyEditorClass& editorClass) = 0;
};

// Outside a design host there is none: it raises std::logic_error.
Registrar& DefaultRegistrar();

using RegistrarSeam = Seam<Registrar, DefaultRegistrar>;
template <>
Registrar* RegistrarSeam::override_;  // Designer.cpp

// The design host in charge for its lifetime; null: none.
using ScopedRegistrar = RegistrarSeam::Scoped;

void RegisterComponents(const std::string& page, const std::vector<const TClassInfo*>& classes);
void RegisterPropertyEditor(const std::string& propertyType, const TClassInfo* componentClass,
                            const std::string& propertyName,
                            const TPropertyEditorClass& editorClass);

}  // namespace platform
