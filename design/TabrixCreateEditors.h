// The design half of unit TabrixCreateUnit: the property editors of TTabrixCreator and the
// unit's Register procedure.
#pragma once

#include "platform/Export.h"
#include "platform/designer/Designer.h"

namespace TabrixCreateUnit {

// The author, copyright line and web address the about box shows.
inline constexpr const char* kAuthor = "Orvane Labs Co.";
inline constexpr const char* kCopyright = "Copyright (C) 2001-2026 Orvane Labs Co.";
inline constexpr const char* kWebAddress = "http://orvane.example/dl";

// The About entry: shows "(about)" and opens the about box, also for several components.
class TABRIX_API TAboutProperty : public platform::TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  void Edit() override;
  platform::TPropertyAttributes GetAttributes() const override;  // dialog, multi-select, read-only
  std::string GetValue() const override;
};

// DatabasePath: a workbook chosen with the file-open dialog.
class TABRIX_API TDBPathProperty : public platform::TStringProperty {
 public:
  using TStringProperty::TStringProperty;
  void Edit() override;
  platform::TPropertyAttributes GetAttributes() const override;  // dialog only
};

// DefaultDir: the folder of a file chosen with the file-open dialog.
class TABRIX_API TDefaultDirProperty : public platform::TStringProperty {
 public:
  using TStringProperty::TStringProperty;
  void Edit() override;
  platform::TPropertyAttributes GetAttributes() const override;  // dialog only
};

// The directory part of a file name, up to and including the delimiter that ends it, by the
// host's rules (platform::FolderPartLength): "/home/u/" of "/home/u/Book1.xls".
TABRIX_API std::string ExtractFilePath(const std::string& fileName);

// Puts TTabrixCreator on the palette page "ORVANE" with its three editors.
TABRIX_API void Register();

}  // namespace TabrixCreateUnit
