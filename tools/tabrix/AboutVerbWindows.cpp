// about, in the Windows build: the design-time about box shown on the screen, as the About
// editor shows it. Drawing it to a PNG file needs FreeType and libpng, which this build does
// not have: `--png` is kept so that a script written for the Linux build learns why.
#include "TabrixVersion.h"
#include "design/TabrixCreateEditors.h"
#include "design/eOrvaneAbout.h"
#include "platform/framework/Application.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {

Runner AddAbout(CLI::App& app) {
  auto png = std::make_shared<std::string>();
  CLI::App* verb = app.add_subcommand(
      "about", "Show the design-time about box of TTabrixCreator, as the About editor shows it");
  verb->add_option("--png", *png, "Draw it to a PNG file instead: a feature of the Linux build");
  verb->footer("Example: tabrix about");
  return [png] {
    if (!png->empty())
      return Fail(
          "drawing the about box is a feature of the Linux build (it draws with FreeType and "
          "libpng); nothing was written");
    try {
      eOrvaneAbout::TOrvaneAboutForm form(platform::Application);
      form.SetLabels("TTabrixCreator", TABRIX_VERSION, TabrixCreateUnit::kAuthor,
                     TabrixCreateUnit::kCopyright, TabrixCreateUnit::kWebAddress);
      form.ShowModal();
    } catch (const std::exception& e) {
      return Fail(e.what());
    }
    return kOk;
  };
}

}  // namespace tabrix::cli
