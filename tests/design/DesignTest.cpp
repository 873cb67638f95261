// The design half with the recording host, the scripted file dialog, the recording shell and
// fixed-width text metrics: the editors, both Register procedures, and the about box.
#include <gtest/gtest.h>

#include "TabrixVersion.h"

#include "component/TabrixCreateUnit.h"
#include "design/TabrixCreateEditors.h"
#include "design/eOrvaneAbout.h"
#include "design/edsncompreg.h"
#include "platform/designer/DesignHost.h"
#include "platform/designer/OpenDialog.h"
#include "platform/fakes/FixedWidthMeasurer.h"
#include "platform/fakes/RecordingHost.h"
#include "platform/fakes/RecordingShell.h"
#include "platform/fakes/ScriptedFileDialog.h"
#include "platform/framework/Shell.h"

using namespace platform;
using eOrvaneAbout::TOrvaneAboutForm;
using TabrixCreateUnit::TTabrixCreator;

namespace {

const std::string kFilter = "Excel Databases (*.xls)|*.xls|Any File (*.*)|*.*|";

class Design : public ::testing::Test {
 protected:
  Design() { host.CallRegister(TabrixCreateUnit::Register); }

  std::unique_ptr<TPropertyEditor> Editor(const std::string& property) {
    return host.CreateEditor({&creator}, property);
  }

  FixedWidthMeasurer metrics{7};
  ScopedTextMeasurer scopedMetrics{metrics};
  ScriptedFileDialog dialog;
  ScopedFileDialog scopedDialog{dialog};
  RecordingHost app;
  ScopedHost scopedHost{app};
  RecordingShell shell;
  ScopedShell scopedShell{shell};
  DesignHost host;
  TTabrixCreator creator{nullptr};
};

TEST_F(Design, BothRegisterProceduresRegisterTheEditorsThenThePaletteEntryInOrder) {
  host.CallRegister(edsncompreg::Register);
  const auto& r = host.Registrations();
  ASSERT_EQ(r.size(), 8u);
  for (size_t at : {0u, 4u}) {
    const struct {
      const char* type;
      const char* name;
      const char* editor;
    } expected[] = {{"TAboutProperty", "About", "TAboutProperty"},
                    {"String", "DatabasePath", "TDBPathProperty"},
                    {"String", "DefaultDir", "TDefaultDirProperty"}};
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(r[at + i].kind, TRegistration::PropertyEditor);
      EXPECT_EQ(r[at + i].propertyType, expected[i].type);
      EXPECT_EQ(r[at + i].componentClass, &TTabrixCreator::StaticClass());
      EXPECT_EQ(r[at + i].propertyName, expected[i].name);
      EXPECT_EQ(r[at + i].editor.Name, expected[i].editor);
    }
    EXPECT_EQ(r[at + 3].kind, TRegistration::Components);
    EXPECT_EQ(r[at + 3].page, "ORVANE");
    EXPECT_EQ(r[at + 3].classes, std::vector<const TClassInfo*>{&TTabrixCreator::StaticClass()});
  }
  EXPECT_THROW(TabrixCreateUnit::Register(), std::logic_error);  // no host in charge
}

TEST_F(Design, EditorAttributesAndWhichEditorsServeSeveralComponents) {
  EXPECT_EQ(Editor("About")->GetAttributes(), 0x4Cu);
  EXPECT_EQ(Editor("About")->GetValue(), "(about)");
  EXPECT_EQ(Editor("DatabasePath")->GetAttributes(), 0x04u);
  EXPECT_EQ(Editor("DefaultDir")->GetAttributes(), 0x04u);

  TTabrixCreator second(nullptr);
  const std::vector<TComponent*> both = {&creator, &second};
  auto about = host.CreateEditor(both, "About");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->PropCount(), 2);
  EXPECT_EQ(host.CreateEditor(both, "DatabasePath"), nullptr);
  EXPECT_EQ(host.CreateEditor(both, "DefaultDir"), nullptr);
  auto user = host.CreateEditor(both, "UserID");  // the host's own string editor
  ASSERT_NE(user, nullptr);
  user->SetValue("sa");
  EXPECT_EQ(second.GetUserID(), "sa");
  EXPECT_EQ(host.CreateEditor(both, "NoSuchProperty"), nullptr);
}

TEST_F(Design, PathEditorsTakeTypedValuesThroughTheSetter) {
  auto dir = Editor("DefaultDir");
  EXPECT_EQ(dir->GetValue(), "C:\\");
  dir->SetValue("D:\\Books\\");
  EXPECT_EQ(creator.GetDefaultDir(), "D:\\Books");
  Editor("DatabasePath")->SetValue("D:\\Books\\a.xls");
  EXPECT_EQ(creator.GetDatabasePath(), "D:\\Books\\a.xls");
}

TEST_F(Design, DefaultDirTakesTheChosenFilesFolderWithoutItsBackslash) {
  dialog.answers = {"C:\\Data\\Book1.xls", "C:\\Book1.xls", "Book1.xls"};
  Editor("DefaultDir")->Edit();
  EXPECT_EQ(creator.GetDefaultDir(), "C:\\Data");
  Editor("DefaultDir")->Edit();
  EXPECT_EQ(creator.GetDefaultDir(), "C:");
  Editor("DefaultDir")->Edit();  // no folder in the name: nothing to take, as on cancel
  EXPECT_EQ(creator.GetDefaultDir(), "");

  ASSERT_EQ(dialog.requests.size(), 3u);
  const TOpenDialogRequest& first = dialog.requests[0];
  EXPECT_EQ(first.FileName, "C:\\");  // the current value, as the file name
  EXPECT_EQ(first.Filter, kFilter);
  EXPECT_EQ(first.FilterIndex, 1);
  EXPECT_EQ(first.Options, OpenOption(ofHideReadOnly) | OpenOption(ofEnableSizing) |
                               OpenOption(ofPathMustExist) | OpenOption(ofFileMustExist));
  EXPECT_EQ(dialog.requests[1].FileName, "C:\\Data");
  EXPECT_EQ(dialog.created, 3);
  EXPECT_EQ(dialog.alive, 0);
}

// Both hosts end a folder at "/", and at "\" or a drive's ":" in a Windows name.
TEST_F(Design, DefaultDirTakesTheFolderByTheHostsPathRules) {
  const std::pair<std::string, std::string> chosen[] = {
      {"/home/u/Book1.xls", "/home/u"},
      {"/Book1.xls", "/"},  // the root stays: emptied, it would read as a cancel
      {"C:/Data/Book1.xls", "C:/Data"},
      {"\\\\srv\\share\\Book1.xls", "\\\\srv\\share"},
#ifdef _WIN32
      {"/srv/Q1:Q2\\a.xls", "/srv/Q1:Q2"},
#else
      {"/srv/Q1:Q2\\a.xls", "/srv"},  // "\" and ":" are ordinary characters of a Linux name
#endif
  };
  for (const auto& [file, dir] : chosen) {
    dialog.answers = {file};
    Editor("DefaultDir")->Edit();
    EXPECT_EQ(creator.GetDefaultDir(), dir) << file;
  }
  EXPECT_EQ(dialog.alive, 0);
  EXPECT_EQ(TabrixCreateUnit::ExtractFilePath("/home/u/Book1.xls"), "/home/u/");
  EXPECT_EQ(TabrixCreateUnit::ExtractFilePath("C:Book1.xls"), "C:");
  EXPECT_EQ(TabrixCreateUnit::ExtractFilePath("Book1.xls"), "");
}

TEST_F(Design, DatabasePathTakesTheChosenFile) {
  creator.SetDatabasePath("C:\\Old.xls");
  dialog.answers = {"C:\\Data\\Book1.xls"};
  Editor("DatabasePath")->Edit();
  EXPECT_EQ(creator.GetDatabasePath(), "C:\\Data\\Book1.xls");
  ASSERT_EQ(dialog.requests.size(), 1u);
  EXPECT_EQ(dialog.requests[0].FileName, "C:\\Old.xls");
  EXPECT_EQ(dialog.requests[0].Filter, kFilter);
}

TEST_F(Design, CancellingEitherPathEditorEmptiesTheProperty) {
  creator.SetDatabasePath("C:\\Data\\Book1.xls");
  creator.SetDefaultDir("C:\\Data");
  dialog.answers = {std::nullopt, std::nullopt};
  Editor("DatabasePath")->Edit();
  Editor("DefaultDir")->Edit();
  EXPECT_EQ(creator.GetDatabasePath(), "");
  EXPECT_EQ(creator.GetDefaultDir(), "");
  EXPECT_EQ(dialog.alive, 0);
}

TEST_F(Design, TheDialogIsFreedWhenRunningItRaises) {
  // Nothing scripted: the dialog raises inside Execute.
  EXPECT_THROW(Editor("DatabasePath")->Edit(), std::runtime_error);
  EXPECT_THROW(Editor("DefaultDir")->Edit(), std::runtime_error);
  EXPECT_EQ(dialog.created, 2);
  EXPECT_EQ(dialog.alive, 0);
  EXPECT_EQ(creator.GetDefaultDir(), "C:\\");
}

TEST_F(Design, TheAboutEditorShowsTheFilledBoxModallyAndFreesIt) {
  app.whileShown = [](TForm& form) {
    auto& about = static_cast<TOrvaneAboutForm&>(form);
    EXPECT_EQ(about.GetOwner(), Application);
    EXPECT_EQ(about.lblComponent->GetCaption(), "TTabrixCreator");
    EXPECT_EQ(about.lblVersion->GetCaption(), "v" TABRIX_VERSION);
    EXPECT_EQ(about.lblAuthor->GetCaption(), std::string("by ") + TabrixCreateUnit::kAuthor);
    EXPECT_EQ(about.lblCopyRight->GetCaption(), TabrixCreateUnit::kCopyright);
    EXPECT_EQ(about.lblURL->GetCaption(), TabrixCreateUnit::kWebAddress);
    about.btnOK->Click();
    EXPECT_NE(about.GetModalResult(), mrNone);
  };
  Editor("About")->Edit();
  EXPECT_EQ(app.shownForms, std::vector<std::string>{"About TTabrixCreator v" TABRIX_VERSION});
  EXPECT_EQ(Application->ComponentCount(), 0);

  app.whileShown = [](TForm&) { throw std::runtime_error("the host failed"); };
  EXPECT_THROW(Editor("About")->Edit(), std::runtime_error);
  EXPECT_EQ(Application->ComponentCount(), 0);
}

TEST(AboutForm, TheResourceHoldsTheControlsInCreationOrderWithTheirLayout) {
  FixedWidthMeasurer metrics{7};
  ScopedTextMeasurer scope(metrics);
  TOrvaneAboutForm form(nullptr);
  EXPECT_EQ(form.GetName(), "OrvaneAboutForm");
  EXPECT_EQ(form.GetCaption(), "About $component$ v$version$");
  EXPECT_EQ(form.GetClientWidth(), 332);
  EXPECT_EQ(form.GetClientHeight(), 250);
  EXPECT_EQ(form.GetBorderStyle(), bsDialog);
  EXPECT_EQ(form.GetPosition(), poScreenCenter);
  EXPECT_EQ(form.GetColor(), clBtnFace);
  EXPECT_EQ(form.GetFont(), (TFont{"MS Sans Serif", -11, clWindowText, 0, DEFAULT_CHARSET}));

  const char* order[] = {"lblVersion",   "lblAuthor",    "lblURL", "bvlSepBar",
                         "lblComponent", "lblCopyRight", "btnOK"};
  ASSERT_EQ(form.ComponentCount(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(form.Components(i)->GetName(), order[i]);

  struct Expected {
    TControl* control;
    int32_t left, top;
    TFont font;
  };
  const Expected expected[] = {
      {form.lblVersion, 119, 53, {"Arial", -19, clWindowText, 0, DEFAULT_CHARSET}},
      {form.lblAuthor, 131, 101, {"Arial", -13, clWindowText, 0, DEFAULT_CHARSET}},
      {form.lblURL, 96, 168, {"Arial", -13, clBlue, 1u << fsUnderline, DEFAULT_CHARSET}},
      {form.bvlSepBar, 47, 192, form.GetFont()},
      {form.lblComponent, 87, 25, form.GetFont()},
      {form.lblCopyRight, 60, 136, {"Arial", -11, clWindowText, 0, DEFAULT_CHARSET}},
      {form.btnOK, 207, 200, form.GetFont()},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.control->GetName());
    EXPECT_EQ(e.control->GetLeft(), e.left);
    EXPECT_EQ(e.control->GetTop(), e.top);
    EXPECT_EQ(e.control->GetFont(), e.font);
  }
  EXPECT_EQ(form.lblVersion->GetCaption(), "v$version$");
  EXPECT_EQ(form.lblAuthor->GetCaption(), "by $author$");
  EXPECT_EQ(form.lblComponent->GetCaption(), "");
  EXPECT_EQ(form.bvlSepBar->GetWidth(), 237);
  EXPECT_EQ(form.bvlSepBar->GetHeight(), 2);
  EXPECT_EQ(form.btnOK->GetWidth(), 75);
  EXPECT_EQ(form.btnOK->GetHeight(), 25);
  EXPECT_EQ(form.btnOK->GetCaption(), "OK");
  EXPECT_TRUE(form.btnOK->GetDefault());
  EXPECT_EQ(form.btnOK->GetModalResult(), mrOk);
  EXPECT_EQ(form.btnOK->GetTabOrder(), 0);
  EXPECT_EQ(form.lblURL->GetCursor(), crHandPoint);
  for (TLabel* l : {form.lblVersion, form.lblAuthor, form.lblURL, form.lblCopyRight})
    EXPECT_TRUE(l->GetTransparent()) << l->GetName();
  EXPECT_FALSE(form.lblComponent->GetTransparent());
}

class AboutBox : public ::testing::Test {
 protected:
  FixedWidthMeasurer metrics{7};
  ScopedTextMeasurer scope{metrics};
  TOrvaneAboutForm form{nullptr};
};

TEST_F(AboutBox, SetLabelsCentresTheNameOnTheBarAndTheOtherLinesOnTheName) {
  form.SetLabels("TTabrixCreator", "1.1.0", "Ann", "(c) A&&B", "http://x.example/");
  EXPECT_EQ(form.GetCaption(), "About TTabrixCreator v1.1.0");
  // Bar 47 + (237 - 98) / 2: 69, the half rounded toward zero.
  EXPECT_EQ(form.lblComponent->GetWidth(), 98);
  EXPECT_EQ(form.lblComponent->GetLeft(), 116);
  EXPECT_EQ(form.lblVersion->GetLeft(), 116 + (98 - 42) / 2);
  EXPECT_EQ(form.lblAuthor->GetLeft(), 116 + (98 - 42) / 2);
  EXPECT_EQ(form.lblCopyRight->GetWidth(), 49);  // "(c) A&B"
  EXPECT_EQ(form.lblCopyRight->GetLeft(), 116 + 24);
  EXPECT_EQ(form.lblURL->GetLeft(), 116 + (98 - 119) / 2);  // -10, not -11
  for (TControl* c : std::initializer_list<TControl*>{form.lblVersion, form.lblAuthor, form.lblURL,
                                                      form.lblComponent, form.lblCopyRight})
    EXPECT_NE(c->GetTop(), 0);
  EXPECT_EQ(form.lblVersion->GetTop(), 53);
  EXPECT_EQ(form.lblURL->GetTop(), 168);
}

TEST_F(AboutBox, ANameWiderThanTheBarStartsLeftOfItAndAnEmptyAuthorStillShowsBy) {
  const std::string wide(41, 'W');  // 287 wide: 50 more than the bar
  form.SetLabels(wide, "2", "", "", "");
  EXPECT_EQ(form.lblComponent->GetLeft(), 47 - 25);
  EXPECT_EQ(form.lblAuthor->GetCaption(), "by ");
  EXPECT_EQ(form.lblAuthor->GetWidth(), 21);
  EXPECT_EQ(form.lblAuthor->GetLeft(), 22 + (287 - 21) / 2);
  EXPECT_EQ(form.lblURL->GetWidth(), 7);  // empty: one space
  EXPECT_EQ(form.lblURL->GetLeft(), 22 + 140);

  form.SetLabels(std::string(40, 'W'), "2", "", "", "");  // 280: (237 - 280) / 2 is -21
  EXPECT_EQ(form.lblComponent->GetLeft(), 47 - 21);
}

TEST_F(AboutBox, TheAddressOpensWithTheShellWhoseFailureIsIgnored) {
  RecordingShell shell;
  ScopedShell scopedShell(shell);
  form.SetLabels("TTabrixCreator", "1.1.0", "Ann", "", "http://www.orvane.example/");
  shell.result = 2;  // the shell found nothing to open it with
  form.lblURL->Click();
  ASSERT_EQ(shell.requests.size(), 1u);
  EXPECT_EQ(shell.requests[0],
            (TShellRequest{form.Handle(), "open", "http://www.orvane.example/", "", "", 1}));
  EXPECT_EQ(form.GetModalResult(), mrNone);
}

}  // namespace
