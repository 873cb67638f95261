#include "platform/designer/OpenDialog.h"

namespace platform {

template <>
FileDialog* FileDialogSeam::override_ = nullptr;

// The backend is fixed at creation, so the one told of the creation is told of the end.
TOpenDialog::TOpenDialog(TComponent* owner)
    : TComponent(owner), backend_(FileDialogSeam::Current()) {
  backend_.Created(*this);
}

TOpenDialog::~TOpenDialog() { backend_.Destroyed(*this); }

bool TOpenDialog::Execute() {
  std::optional<std::string> chosen = backend_.Run(
      TOpenDialogRequest{FFileName, FFilter, FFilterIndex, FOptions, FInitialDir, FTitle});
  if (!chosen) return false;
  FFileName = *chosen;
  return true;
}

}  // namespace platform
