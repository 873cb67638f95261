#include "platform/designer/DesignHost.h"

#include <stdexcept>

#include "platform/designer/DynamicLibrary.h"
#include "platform/designer/PackageAbi.h"
#include "platform/text/Text.h"

namespace platform {
namespace {

bool InheritsFrom(const TClassInfo* cls, const TClassInfo* ancestor) {
  for (; cls; cls = cls->Parent)
    if (cls == ancestor || (ancestor && cls->Name == ancestor->Name)) return true;
  return false;
}

TLoadedPackage Describe(const TabrixPackageInfo& info) {
  TLoadedPackage p;
  p.name = info.name;
  p.description = info.description;
  p.designTime = info.designTime != 0;
  p.runTime = info.runTime != 0;
  for (size_t i = 0; i < info.requiredCount; ++i) p.required.emplace_back(info.required[i]);
  for (size_t i = 0; i < info.unitCount; ++i) p.units.emplace_back(info.units[i].name);
  for (size_t i = 0; i < info.resourceCount; ++i) {
    const TabrixPackageResource& r = info.resources[i];
    p.resources.push_back(
        {r.type, r.name, std::string(reinterpret_cast<const char*>(r.data), r.size)});
  }
  return p;
}

}  // namespace

const TPackageResourceCopy* TLoadedPackage::Resource(const std::string& type,
                                                     const std::string& name) const {
  for (const TPackageResourceCopy& r : resources)
    if (r.type == type && text::EqualsIgnoreCase(r.name, name)) return &r;
  return nullptr;
}

DesignHost::~DesignHost() {
  registrations_.clear();
  for (auto it = libraries_.rbegin(); it != libraries_.rend(); ++it) dynlib::Close(*it);
}

// Package libraries through the platform's dynamic loader.
const TLoadedPackage& DesignHost::LoadPackage(const std::string& path) {
  // The host's interface raises; the loader answers with its reason.
  Result<void*> loaded = dynlib::Open(path);
  if (!loaded) throw std::runtime_error(loaded.reason());
  void* library = *loaded;
  libraries_.push_back(library);
  auto function =
      reinterpret_cast<TabrixPackageFunction>(dynlib::Symbol(library, kTabrixPackageSymbol));
  const TabrixPackageInfo* info = function ? function() : nullptr;
  if (!info || info->abiVersion != kTabrixPackageAbi)
    throw std::runtime_error(path + ": not a package library of this host");
  packages_.push_back(Describe(*info));

  // The package's own registration calls reach this host only while it is set.
  struct Unset {
    const TabrixPackageInfo* info;
    ~Unset() { info->SetRegistrar(nullptr); }
  } unset{info};
  info->SetRegistrar(static_cast<Registrar*>(this));
  for (size_t i = 0; i < info->unitCount; ++i)
    if (info->units[i].Register) info->units[i].Register();
  return packages_.back();
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
