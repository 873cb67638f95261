// Without a desktop the file dialog asks on the terminal: a path on standard input, an empty
// line or the end of input to cancel.
#include <filesystem>
#include <iostream>

#include "platform/designer/OpenDialog.h"

namespace platform {
namespace {

class ConsoleFileDialog : public FileDialog {
 public:
  std::optional<std::string> Run(const TOpenDialogRequest& request) override {
    std::cerr << (request.Title.empty() ? "Open" : request.Title) << " [" << request.FileName
              << "] (" << request.Filter << "): " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line) || line.empty()) return std::nullopt;
    const std::filesystem::path path(line);
    std::error_code ec;
    if ((request.Options & OpenOption(ofFileMustExist)) &&
        !std::filesystem::is_regular_file(path, ec))
      return std::nullopt;
    if ((request.Options & OpenOption(ofPathMustExist)) && path.has_parent_path() &&
        !std::filesystem::is_directory(path.parent_path(), ec))
      return std::nullopt;
    return line;
  }
};

}  // namespace

FileDialog& DefaultFileDialog() {
  static ConsoleFileDialog dialog;
  return dialog;
}

}  // namespace platform
