#include "design/TabrixCreateEditors.h"
#include "TabrixVersion.h"

#include <memory>
#include <optional>

#include "component/TabrixCreateUnit.h"
#include "design/eOrvaneAbout.h"
#include "platform/designer/OpenDialog.h"
#include "platform/framework/Path.h"

namespace TabrixCreateUnit {
namespace {

using platform::OpenOption;

const char* const kFilter = "Excel Databases (*.xls)|*.xls|Any File (*.*)|*.*|";

// Runs the file-open dialog preset with `current`; the chosen file, or nothing when the user
// cancelled. The dialog is freed on every path.
std::optional<std::string> ChooseFile(const std::string& current) {
  std::unique_ptr<platform::TOpenDialog> dialog(new platform::TOpenDialog(nullptr));
  dialog->SetFileName(current);
  dialog->SetFilter(kFilter);
  dialog->SetOptions(dialog->GetOptions() | OpenOption(platform::ofPathMustExist) |
                     OpenOption(platform::ofFileMustExist));
  if (!dialog->Execute()) return std::nullopt;
  return dialog->GetFileName();
}

}  // namespace

std::string ExtractFilePath(const std::string& fileName) {
  return fileName.substr(0, platform::FolderPartLength(fileName));
}

void TAboutProperty::Edit() {
  std::unique_ptr<eOrvaneAbout::TOrvaneAboutForm> form(
      new eOrvaneAbout::TOrvaneAboutForm(platform::Application));
  form->SetLabels("TTabrixCreator", TABRIX_VERSION, kAuthor, kCopyright, kWebAddress);
  form->ShowModal();
}

platform::TPropertyAttributes TAboutProperty::GetAttributes() const {
  return platform::paDialog | platform::paMultiSelect | platform::paReadOnly;
}

std::string TAboutProperty::GetValue() const { return "(about)"; }

// Cancelling empties the property: the designer's way to clear a path it chose.
void TDBPathProperty::Edit() { SetValue(ChooseFile(GetValue()).value_or("")); }

platform::TPropertyAttributes TDBPathProperty::GetAttributes() const {
  return platform::Attributes(platform::paDialog);
}

void TDefaultDirProperty::Edit() {
  // Cancelled, or a bare file name: no directory part, and the property is emptied. The
  // folder loses its closing delimiter, unless that is all it is ("/" on Linux): emptied, the
  // root would read as a cancel.
  std::string dir = ExtractFilePath(ChooseFile(GetValue()).value_or(""));
  if (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  SetValue(dir);  // through SetDefaultDir
}

platform::TPropertyAttributes TDefaultDirProperty::GetAttributes() const {
  return platform::Attributes(platform::paDialog);
}

void Register() {
  using platform::EditorClass;
  const platform::TClassInfo* creator = &TTabrixCreator::StaticClass();
  platform::RegisterPropertyEditor("TAboutProperty", creator, "About",
                                   EditorClass<TAboutProperty>("TAboutProperty"));
  platform::RegisterPropertyEditor("String", creator, "DatabasePath",
                                   EditorClass<TDBPathProperty>("TDBPathProperty"));
  platform::RegisterPropertyEditor("String", creator, "DefaultDir",
                                   EditorClass<TDefaultDirProperty>("TDefaultDirProperty"));
  platform::RegisterComponents("ORVANE", {creator});
}

}  // namespace TabrixCreateUnit
