// The file-open dialog. Execute runs it through the platform's dialog (the common file
// dialog on Windows, a console chooser on Linux) unless a test has put another in its place
// with ScopedFileDialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Seam.h"
#include "platform/framework/Component.h"

namespace platform {

enum TOpenOption : uint8_t {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing
};
using TOpenOptions = uint32_t;  // bit n for TOpenOption n
constexpr TOpenOptions OpenOption(TOpenOption o) { return 1u << o; }

// What the dialog is asked to show.
struct TOpenDialogRequest {
  std::string FileName;
  std::string Filter;  // "Text|*.txt|Any|*.*|": description and pattern pairs
  int32_t FilterIndex;
  TOpenOptions Options;
  std::string InitialDir;
  std::string Title;
  bool operator==(const TOpenDialogRequest&) const = default;
};

class TOpenDialog;

class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // The chosen file, or nothing when the user cancelled.
  virtual std::optional<std::string> Run(const TOpenDialogRequest& request) = 0;
  // Every dialog component tells the backend it exists while it does.
  virtual void Created(TOpenDialog&) {}
  virtual void Destroyed(TOpenDialog&) {}
};

// The platform's dialog (FileDialogPosix.cpp, FileDialogWindows.cpp).
FileDialog& DefaultFileDialog();

using FileDialogSeam = Seam<FileDialog, DefaultFileDialog>;
template <>
FileDialog* FileDialogSeam::override_;  // OpenDialog.cpp

using ScopedFileDialog = FileDialogSeam::Scoped;

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner);
  ~TOpenDialog() override;

  std::string GetFileName() const { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }
  std::string GetFilter() const { return FFilter; }
  void SetFilter(const std::string& value) { FFilter = value; }
  int32_t GetFilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int32_t value) { FFilterIndex = value; }
  TOpenOptions GetOptions() const { return FOptions; }
  void SetOptions(TOpenOptions value) { FOptions = value; }
  std::string GetInitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& value) { FInitialDir = value; }
  std::string GetTitle() const { return FTitle; }
  void SetTitle(const std::string& value) { FTitle = value; }

  // Shows the dialog; true when the user accepted a file, which FileName then holds.
  bool Execute();

 private:
  FileDialog& backend_;
  std::string FFileName;
  std::string FFilter;
  int32_t FFilterIndex = 1;
  TOpenOptions FOptions = OpenOption(ofHideReadOnly) | OpenOption(ofEnableSizing);
  std::string FInitialDir;
  std::string FTitle;
};

}  // namespace platform
