#include "platform/framework/TypeInfo.h"

#include "platform/framework/Component.h"
#include "platform/text/Text.h"

namespace platform {

bool TPropInfo::IsStored(const TComponent& instance) const {
  if (!Streamed) return false;
  if (!HasDefault) return true;
  if (Kind == tkString) return !GetStr(instance).empty();
  if (Kind == tkMethod) return !GetMethodName(instance).empty();
  return GetOrd(instance) != Default;
}

std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls) {
  std::vector<const TPropInfo*> list;
  if (cls.Parent) list = GetPropList(*cls.Parent);
  for (const TPropInfo& p : cls.Properties) list.push_back(&p);
  return list;
}

const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name) {
  for (const TClassInfo* c = &cls; c; c = c->Parent)
    for (const TPropInfo& p : c->Properties)
      if (text::EqualsIgnoreCase(p.Name, name)) return &p;
  return nullptr;
}

const TMethodInfo* FindMethod(const TClassInfo& cls, std::string_view name) {
  for (const TClassInfo* c = &cls; c; c = c->Parent)
    for (const TMethodInfo& m : c->Methods)
      if (text::EqualsIgnoreCase(m.Name, name)) return &m;
  return nullptr;
}

}  // namespace platform
