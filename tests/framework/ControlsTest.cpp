// The controls with fixed-width text metrics: auto-size labels, fonts shared with the form,
// forms read from their resource with handlers, sets and named values, and modal showing.
#include "platform/framework/Controls.h"

#include <gtest/gtest.h>

#include "platform/fakes/FixedWidthMeasurer.h"
#include "platform/fakes/RecordingHost.h"
#include "platform/framework/FormFile.h"

using namespace platform;

namespace {

class TClickForm : public TForm {
 public:
  explicit TClickForm(TComponent* owner) : TForm(owner) {}
  static const TClassInfo& StaticClass() {
    static const TClassInfo info{
        .Name = "TClickForm",
        .Parent = &TForm::StaticClass(),
        .Create = nullptr,
        .Properties = {},
        .Methods = {{"Clicked", [](TComponent& self, TComponent* sender) {
                       static_cast<TClickForm&>(self).clicks.push_back(sender);
                     }}}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void Read(std::string_view text) { ReadFormResource(text); }
  std::vector<TComponent*> clicks;
};

constexpr std::string_view kForm =
    "object Box: TClickForm\n"
    "  Caption = 'Box'\n"
    "  Color = clBtnFace\n"
    "  Font.Height = -10\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  object Own: TLabel\n"
    "    Left = 5\n"
    "    Width = 500\n"
    "    Caption = 'Save && &Quit'\n"
    "    Font.Color = clBlue\n"
    "    Font.Height = -20\n"
    "    Font.Name = 'Arial'\n"
    "    Font.Style = [fsUnderline, fsBold]\n"
    "    ParentFont = False\n"
    "    Cursor = crHandPoint\n"
    "    OnClick = Clicked\n"
    "  end\n"
    "  object Inherits: TLabel\n"
    "  end\n"
    "  object Ok: TButton\n"
    "    Caption = 'OK'\n"
    "    ModalResult = 1\n"
    "    OnClick = Clicked\n"
    "  end\n"
    "end\n";

class Controls : public ::testing::Test {
 protected:
  FixedWidthMeasurer metrics{7};
  ScopedTextMeasurer scope{metrics};
};

TEST_F(Controls, LabelsSizeToTheirShownCaptionAndAnEmptyOneToASpace) {
  EXPECT_EQ(TLabel::DisplayText("Save && &Quit"), "Save & Quit");
  EXPECT_EQ(TLabel::DisplayText("&&&&"), "&&");
  EXPECT_EQ(TLabel::DisplayText("a&"), "a");

  TLabel label(nullptr);
  EXPECT_EQ(label.GetWidth(), 7);  // empty: one space
  EXPECT_EQ(label.GetHeight(), 11);
  label.SetCaption("A&&B");
  EXPECT_EQ(label.GetWidth(), 21);
  label.SetAutoSize(false);
  label.SetCaption("longer text");
  EXPECT_EQ(label.GetWidth(), 21);
  label.SetAutoSize(true);
  EXPECT_EQ(label.GetWidth(), 77);
}

TEST_F(Controls, AFormResourceBuildsControlsWithFontsHandlersSetsAndNamedValues) {
  TClickForm form(nullptr);
  form.Read(kForm);
  ASSERT_EQ(form.ComponentCount(), 3);
  auto* own = form.Field<TLabel>("Own");
  auto* inherits = form.Field<TLabel>("Inherits");
  auto* ok = form.Field<TButton>("Ok");
  EXPECT_THROW(form.Field<TButton>("Own"), std::logic_error);

  EXPECT_EQ(own->GetFont(), (TFont{"Arial", -20, clBlue, 0b101, DEFAULT_CHARSET}));
  EXPECT_EQ(own->GetCursor(), crHandPoint);
  EXPECT_EQ(own->GetLeft(), 5);
  EXPECT_EQ(own->GetWidth(), 77);  // measured, not the stored 500
  EXPECT_EQ(own->GetHeight(), 20);
  EXPECT_EQ(inherits->GetFont(), (TFont{"MS Sans Serif", -10, clWindowText, 0, DEFAULT_CHARSET}));
  EXPECT_EQ(inherits->GetHeight(), 10);

  // The form's font reaches the labels that take it, and only those.
  TFont font = form.GetFont();
  font.Height = -16;
  form.SetFont(font);
  EXPECT_EQ(inherits->GetHeight(), 16);
  EXPECT_EQ(own->GetHeight(), 20);

  own->Click();
  ok->Click();
  EXPECT_EQ(form.clicks, (std::vector<TComponent*>{own, ok}));
  EXPECT_EQ(form.GetModalResult(), mrOk);

  const std::string written = WriteComponent(form);
  EXPECT_NE(written.find("    Font.Style = [fsBold, fsUnderline]\n"), std::string::npos);
  EXPECT_NE(written.find("    Font.Color = clBlue\n"), std::string::npos);
  EXPECT_NE(written.find("    OnClick = Clicked\n"), std::string::npos);
}

TEST_F(Controls, AResourceNamingAMissingHandlerOrSetMemberIsRefusedWithItsLine) {
  TClickForm form(nullptr);
  try {
    form.Read("object Box: TClickForm\n  object L: TLabel\n    OnClick = Nowhere\n  end\nend\n");
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "line 3: TClickForm has no method Nowhere");
  }
  try {
    form.Read("object Box: TClickForm\n  Font.Style = [fsShiny]\nend\n");
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "line 2: fsShiny is not a member of TFontStyles");
  }
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST_F(Controls, ShowModalRunsThroughTheHostAndAnswersTheResultOrCancel) {
  RecordingHost host;
  ScopedHost scopedHost(host);
  TClickForm form(nullptr);
  form.Read(kForm);
  host.whileShown = [&](TForm& shown) {
    EXPECT_TRUE(shown.Modal());
    form.Field<TButton>("Ok")->Click();
  };
  EXPECT_EQ(form.ShowModal(), mrOk);
  host.whileShown = [](TForm& shown) { shown.Close(); };
  EXPECT_EQ(form.ShowModal(), mrCancel);
  host.whileShown = nullptr;
  EXPECT_EQ(form.ShowModal(), mrCancel);  // closed without a result
  EXPECT_FALSE(form.Modal());
  EXPECT_EQ(host.shownForms, (std::vector<std::string>{"Box", "Box", "Box"}));
}

}  // namespace
