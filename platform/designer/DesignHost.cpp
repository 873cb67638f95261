#include "platform/designer/DesignHost.h"

#include "platform/text/Text.h"

namespace platform {
namespace {

bool InheritsFrom(const TClassInfo* cls, const TClassInfo* ancestor) {
  for (; cls; cls = cls->Parent)
    if (cls == ancestor || (ancestor && cls->Name == ancestor->Name)) return true;
  return false;
}

}  // namespace

const TPackageResourceCopy* TLoadedPackage::Resource(const std::string& type,
                                                     const std::string& name) const {
  for (const TPackageResourceCopy& r : resources)
    if (r.type == type && text::EqualsIgnoreCase(r.name, name)) return &r;
  return nullptr;
}

void DesignHost::CallRegister(void (*procedure)()) {
  ScopedRegistrar scope(this);
  procedure();
}

void DesignHost::RegisterComponents(const std::string& page,
                                    const std::vector<const TClassInfo*>& classes) {
  TRegistration r{.kind = TRegistration::Components, .page = page, .classes = classes};
  registrations_.push_back(std::move(r));
}

void DesignHost::RegisterPropertyEditor(const std::string& propertyType,
                                        const TClassInfo* componentClass,
                                        const std::string& propertyName,
                                        const TPropertyEditorClass& editorClass) {
  TRegistration r{.kind = TRegistration::PropertyEditor,
                  .propertyType = propertyType,
                  .componentClass = componentClass,
                  .propertyName = propertyName,
                  .editor = editorClass};
  registrations_.push_back(std::move(r));
}

std::unique_ptr<TPropertyEditor> DesignHost::CreateEditor(const std::vector<TComponent*>& selection,
                                                          const std::string& name) const {
  if (selection.empty()) return nullptr;
  const TPropInfo* prop = GetPropInfo(selection[0]->ClassType(), name);
  if (!prop) return nullptr;
  for (TComponent* c : selection)
    if (GetPropInfo(c->ClassType(), name) != prop) return nullptr;

  const TRegistration* chosen = nullptr;
  for (const TRegistration& r : registrations_) {
    if (r.kind != TRegistration::PropertyEditor) continue;
    if (!text::EqualsIgnoreCase(r.propertyType, prop->TypeName)) continue;
    if (!r.propertyName.empty() && !text::EqualsIgnoreCase(r.propertyName, prop->Name)) continue;
    if (r.componentClass && !InheritsFrom(&selection[0]->ClassType(), r.componentClass)) continue;
    chosen = &r;
  }
  std::unique_ptr<TPropertyEditor> editor;
  if (chosen)
    editor = chosen->editor.Create(selection, *prop);
  else if (prop->Kind == tkString)
    editor = std::make_unique<TStringProperty>(selection, *prop);
  if (editor && selection.size() > 1 && !(editor->GetAttributes() & Attributes(paMultiSelect)))
    return nullptr;
  return editor;
}

}  // namespace platform
