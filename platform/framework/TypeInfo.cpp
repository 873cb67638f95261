#include "platform/framework/TypeInfo.h"

#include "platform/framework/Component.h"
#include "platform/text/Text.h"

namespace platform {

bool TPropInfo::IsStored(const TComponent& instance) const {
  if (!Streamed) return false;
  if (!HasDefault) return true;
  if (Kind == tkString) return !GetStr(instance).empty();
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

}  // namespace platform
