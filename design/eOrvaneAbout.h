// The about box of the design-time package: component name, version, author, copyright and
// the maker's web address, each line centred on the separator bar.
#pragma once

#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/framework/Controls.h"

namespace eOrvaneAbout {

// The form resource "TORVANEABOUTFORM": the form in the host's text form format.
TABRIX_API std::string_view OrvaneAboutFormResource();

class TABRIX_API TOrvaneAboutForm : public platform::TForm {
 public:
  // Builds the form and its controls from its form resource.
  explicit TOrvaneAboutForm(platform::TComponent* owner);
  static const platform::TClassInfo& StaticClass();
  const platform::TClassInfo& ClassType() const override;

  // Fills the captions and centres every line on lblComponent, itself centred on the bar.
  void SetLabels(const std::string& component, const std::string& version,
                 const std::string& author, const std::string& copyright, const std::string& url);

  void btnOKClick(platform::TComponent* sender);
  // Opens the web address with the shell; a failure is not reported.
  void lblURLClick(platform::TComponent* sender);

  platform::TLabel* lblVersion;
  platform::TLabel* lblAuthor;
  platform::TLabel* lblURL;
  platform::TButton* btnOK;
  platform::TBevel* bvlSepBar;
  platform::TLabel* lblComponent;
  platform::TLabel* lblCopyRight;
};

}  // namespace eOrvaneAbout
