// about, where the build has no libpng and FreeType to draw with (the Windows build): the
// verb stays, so that `tabrix about --png FILE` says why it does nothing.
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {

Runner AddAbout(CLI::App& app) {
  auto png = std::make_shared<std::string>();
  CLI::App* verb = app.add_subcommand(
      "about", "Draw the design-time about box to a PNG file: a feature of the Linux build");
  verb->add_option("--png", *png, "The PNG file to write");
  // The runner keeps the option's variable alive while the command line is parsed into it.
  return [png] {
    return Fail(
        "drawing the about box is a feature of the Linux build (it draws with FreeType and "
        "libpng); nothing was written");
  };
}

}  // namespace tabrix::cli
