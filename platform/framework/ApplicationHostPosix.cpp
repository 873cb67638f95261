#include "platform/framework/Application.h"

namespace platform {

// Linux programs of ours run without a window system of their own: boxes go to the console.
Host& DefaultHost() { return ConsoleHost(); }

}  // namespace platform
