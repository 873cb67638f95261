// The Windows host's modal forms, each in a window of its own (ModalFormWindows.cpp).
#pragma once

#include "platform/framework/Controls.h"

namespace platform {

// Shows the form and handles the thread's messages until it has a modal result, with the
// thread's other top-level windows disabled; the form's Handle is its window meanwhile.
// False, with nothing shown, when no window can be made (Windows without a window station,
// Wine without a display). What a click handler raised is raised again once the window is
// gone.
bool ShowModalFormWindow(TForm& form);

}  // namespace platform
