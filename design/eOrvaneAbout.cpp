#include "design/eOrvaneAbout.h"

#include "platform/framework/Shell.h"

namespace eOrvaneAbout {

using platform::TBevel;
using platform::TButton;
using platform::TLabel;

TOrvaneAboutForm::TOrvaneAboutForm(platform::TComponent* owner) : platform::TForm(owner) {
  ReadFormResource(OrvaneAboutFormResource());
  lblVersion = Field<TLabel>("lblVersion");
  lblAuthor = Field<TLabel>("lblAuthor");
  lblURL = Field<TLabel>("lblURL");
  btnOK = Field<TButton>("btnOK");
  bvlSepBar = Field<TBevel>("bvlSepBar");
  lblComponent = Field<TLabel>("lblComponent");
  lblCopyRight = Field<TLabel>("lblCopyRight");
}

const platform::TClassInfo& TOrvaneAboutForm::StaticClass() {
  using C = TOrvaneAboutForm;
  static const platform::TClassInfo info{
      .Name = "TOrvaneAboutForm",
      .Parent = &platform::TForm::StaticClass(),
      .Create = nullptr,
      .Properties = {},
      .Methods = {
          {"btnOKClick",
           [](platform::TComponent& self, platform::TComponent* sender) {
             static_cast<C&>(self).btnOKClick(sender);
           }},
          {"lblURLClick",
           [](platform::TComponent& self, platform::TComponent* sender) {
             static_cast<C&>(self).lblURLClick(sender);
           }},
      }};
  return info;
}

const platform::TClassInfo& TOrvaneAboutForm::ClassType() const { return StaticClass(); }

void TOrvaneAboutForm::SetLabels(const std::string& component, const std::string& version,
                                 const std::string& author, const std::string& copyright,
                                 const std::string& url) {
  // Each width is read after its caption is set: labels size themselves. Integer division
  // rounds toward zero, so a label wider than the bar moves left by the truncated half.
  auto centreOn = [](TLabel* label, int32_t left, int32_t width) {
    label->SetLeft(left + (width - label->GetWidth()) / 2);
  };
  SetCaption("About " + component + " v" + version);
  lblComponent->SetCaption(component);
  centreOn(lblComponent, bvlSepBar->GetLeft(), bvlSepBar->GetWidth());
  const int32_t left = lblComponent->GetLeft();
  const int32_t width = lblComponent->GetWidth();
  lblVersion->SetCaption("v" + version);
  centreOn(lblVersion, left, width);
  lblAuthor->SetCaption("by " + author);
  centreOn(lblAuthor, left, width);
  lblCopyRight->SetCaption(copyright);
  centreOn(lblCopyRight, left, width);
  lblURL->SetCaption(url);
  centreOn(lblURL, left, width);
}

void TOrvaneAboutForm::btnOKClick(platform::TComponent*) { Close(); }

void TOrvaneAboutForm::lblURLClick(platform::TComponent*) {
  platform::ShellExecute(Handle(), "open", lblURL->GetCaption(), "", "", platform::SW_SHOWNORMAL);
}

}  // namespace eOrvaneAbout
