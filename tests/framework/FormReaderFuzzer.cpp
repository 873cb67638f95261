// libFuzzer target for the form-file reader (make fuzz). Any input must either be refused
// with EReadError or read; what was read must write and read back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "component/TabrixCreateUnit.h"
#include "platform/framework/FormFile.h"

namespace {

using TabrixCreateUnit::TTabrixCreator;

class TForm1 : public platform::TComponent {
 public:
  TForm1() : TComponent(nullptr) {}
  static const platform::TClassInfo& StaticClass() {
    static const platform::TClassInfo info{.Name = "TForm1", .Parent = &TComponent::StaticClass()};
    return info;
  }
  const platform::TClassInfo& ClassType() const override { return StaticClass(); }
};

const std::vector<const platform::TClassInfo*> kClasses = {&TTabrixCreator::StaticClass()};

bool Read(std::string_view text, platform::TComponent& root) {
  try {
    platform::ReadComponent(text, root, kClasses);
    return true;
  } catch (const platform::EReadError&) {
    return false;
  }
}

// SetDefaultDir removes a trailing backslash on every load, so such a value changes once more
// when read back; everything else must come back as it was written.
bool EndsInBackslash(const platform::TComponent& c) {
  auto* creator = dynamic_cast<const TTabrixCreator*>(&c);
  return creator && !creator->GetDefaultDir().empty() && creator->GetDefaultDir().back() == '\\';
}

bool LoadChangesDefaultDir(const platform::TComponent& root) {
  if (EndsInBackslash(root)) return true;
  for (int32_t i = 0; i < root.ComponentCount(); ++i)
    if (EndsInBackslash(*root.Components(i))) return true;
  return false;
}

void CheckRoundTrip(const platform::TComponent& read, platform::TComponent& fresh) {
  const std::string written = platform::WriteComponent(read);
  if (!Read(written, fresh)) __builtin_trap();
  if (!LoadChangesDefaultDir(read) && platform::WriteComponent(fresh) != written) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TForm1 form;
  if (Read(text, form)) {
    TForm1 again;
    CheckRoundTrip(form, again);
  }
  TTabrixCreator creator(nullptr);
  if (Read(text, creator)) {
    TTabrixCreator again(nullptr);
    CheckRoundTrip(creator, again);
  }
  return 0;
}
