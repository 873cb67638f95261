#include "platform/WindowsApi.h"
#include "platform/designer/OpenDialog.h"

namespace platform {
namespace {

DWORD Flags(TOpenOptions options) {
  DWORD flags = OFN_EXPLORER;
  if (options & OpenOption(ofHideReadOnly)) flags |= OFN_HIDEREADONLY;
  if (options & OpenOption(ofPathMustExist)) flags |= OFN_PATHMUSTEXIST;
  if (options & OpenOption(ofFileMustExist)) flags |= OFN_FILEMUSTEXIST;
  if (options & OpenOption(ofEnableSizing)) flags |= OFN_ENABLESIZING;
  return flags;
}

class CommonFileDialog : public FileDialog {
 public:
  std::optional<std::string> Run(const TOpenDialogRequest& request) override {
    std::string filter = request.Filter;  // "a|b|" to "a\0b\0\0"
    for (char& c : filter)
      if (c == '|') c = '\0';
    filter += std::string(2, '\0');
    char file[MAX_PATH] = {};
    request.FileName.copy(file, MAX_PATH - 1);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(request.FilterIndex);
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = request.InitialDir.empty() ? nullptr : request.InitialDir.c_str();
    ofn.lpstrTitle = request.Title.empty() ? nullptr : request.Title.c_str();
    ofn.Flags = Flags(request.Options);
    if (!GetOpenFileNameA(&ofn)) return std::nullopt;
    return std::string(file);
  }
};

}  // namespace

FileDialog& DefaultFileDialog() {
  static CommonFileDialog dialog;
  return dialog;
}

}  // namespace platform
