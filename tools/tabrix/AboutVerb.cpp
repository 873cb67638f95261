// about: the design-time about box drawn to a PNG file by the drawing module.
#include <dlfcn.h>

#include <memory>

#include "tools/tabrix/AboutDrawing.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {

Runner AddAbout(CLI::App& app) {
  auto png = std::make_shared<std::string>();
  CLI::App* verb = app.add_subcommand(
      "about", "Draw the design-time about box of TTabrixCreator, as the About editor fills it");
  verb->add_option("--png", *png, "The PNG file to write")->required();
  verb->footer("Example: tabrix about --png about.png");
  return [png] {
    std::string why;
    void* module = DrawingModule(why);
    auto* draw =
        module ? reinterpret_cast<DrawAboutFunction*>(dlsym(module, "TabrixDrawAbout")) : nullptr;
    if (module && !draw) why = dlerror();
    if (!draw) return Fail("the about box cannot be drawn: " + Shown(why, kLongText));
    char error[1024] = {};
    return draw(png->c_str(), error, sizeof error) == 0 ? kOk : Fail(error);
  };
}

}  // namespace tabrix::cli
