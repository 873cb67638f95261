#include "platform/designer/Designer.h"

#include <stdexcept>

namespace platform {

template <>
Registrar* RegistrarSeam::override_ = nullptr;

Registrar& DefaultRegistrar() { throw std::logic_error("registration outside a design host"); }

TPropertyEditor::TPropertyEditor(std::vector<TComponent*> components, const TPropInfo& prop)
    : components_(std::move(components)), prop_(prop) {}

std::string TPropertyEditor::GetStrValue() const { return prop_.GetStr(*components_.at(0)); }

void TPropertyEditor::SetStrValue(const std::string& value) {
  for (TComponent* c : components_) prop_.SetStr(*c, value);
}

void RegisterComponents(const std::string& page, const std::vector<const TClassInfo*>& classes) {
  RegistrarSeam::Current().RegisterComponents(page, classes);
}

void RegisterPropertyEditor(const std::string& propertyType, const TClassInfo* componentClass,
                            const std::string& propertyName,
                            const TPropertyEditorClass& editorClass) {
  RegistrarSeam::Current().RegisterPropertyEditor(propertyType, componentClass, propertyName,
                                                  editorClass);
}

}  // namespace platform
