#include "platform/framework/Controls.h"

#include "platform/framework/FormFile.h"

namespace platform {
namespace {

const std::vector<std::pair<std::string, int64_t>> kColors = {{"clBlack", clBlack},
                                                              {"clMaroon", clMaroon},
                                                              {"clGreen", clGreen},
                                                              {"clNavy", clNavy},
                                                              {"clGray", clGray},
                                                              {"clSilver", clSilver},
                                                              {"clRed", clRed},
                                                              {"clBlue", clBlue},
                                                              {"clWhite", clWhite},
                                                              {"clBtnFace", clBtnFace},
                                                              {"clWindowText", clWindowText},
                                                              {"clWindow", clWindow}};
const std::vector<std::pair<std::string, int64_t>> kCharsets = {
    {"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", DEFAULT_CHARSET}, {"SYMBOL_CHARSET", 2}};
const std::vector<std::pair<std::string, int64_t>> kCursors = {{"crDefault", crDefault},
                                                               {"crHandPoint", crHandPoint}};

}  // namespace

// ---------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* owner) : TComponent(owner) {}

const TClassInfo& TControl::StaticClass() {
  using C = TControl;
  using P = Published<C>;
  const TFont font;
  static const TClassInfo info{
      .Name = "TControl",
      .Parent = &TComponent::StaticClass(),
      .Create = nullptr,
      .Properties = {
          P::Integer("Left", &C::GetLeft, &C::SetLeft, std::nullopt),
          P::Integer("Top", &C::GetTop, &C::SetTop, std::nullopt),
          P::Integer("Width", &C::GetWidth, &C::SetWidth, std::nullopt),
          P::Integer("Height", &C::GetHeight, &C::SetHeight, std::nullopt),
          P::NamedInteger("Cursor", "TCursor", &C::GetCursor, &C::SetCursor, crDefault, kCursors),
          P::String("Caption", &C::GetCaption, &C::SetCaption),
          P::NamedInteger("Font.Charset", "TFontCharset", &C::GetFontCharset, &C::SetFontCharset,
                          font.Charset, kCharsets),
          P::NamedInteger("Font.Color", "TColor", &C::GetFontColor, &C::SetFontColor, font.Color,
                          kColors),
          P::Integer("Font.Height", &C::GetFontHeight, &C::SetFontHeight, font.Height),
          P::String("Font.Name", &C::GetFontName, &C::SetFontName, false),
          P::Set("Font.Style", "TFontStyles", &C::GetFontStyle, &C::SetFontStyle,
                 {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}, 0),
          P::Boolean("ParentFont", &C::GetParentFont, &C::SetParentFont, true),
          P::Event("OnClick", &C::GetOnClick, &C::SetOnClick),
      }};
  return info;
}

const TClassInfo& TControl::ClassType() const { return StaticClass(); }

void TControl::SetCaption(const std::string& value) {
  FCaption = value;
  Changed();
}

TFont TControl::GetFont() const {
  if (FParentFont)
    if (auto* parent = dynamic_cast<const TControl*>(GetOwner())) return parent->GetFont();
  return FFont;
}

void TControl::SetFont(const TFont& font) {
  FFont = font;
  FParentFont = false;
  Changed();
}

void TControl::SetParentFont(bool value) {
  // Leaving the owner's font keeps it as the control's own, as the host does.
  if (FParentFont && !value) FFont = GetFont();
  FParentFont = value;
  Changed();
}

void TControl::SetFontName(const std::string& v) {
  TFont f = GetFont();
  f.Name = v;
  SetFont(f);
}
void TControl::SetFontHeight(int32_t v) {
  TFont f = GetFont();
  f.Height = v;
  SetFont(f);
}
void TControl::SetFontColor(int32_t v) {
  TFont f = GetFont();
  f.Color = v;
  SetFont(f);
}
void TControl::SetFontStyle(uint32_t v) {
  TFont f = GetFont();
  f.Style = v;
  SetFont(f);
}
void TControl::SetFontCharset(int32_t v) {
  TFont f = GetFont();
  f.Charset = v;
  SetFont(f);
}

void TControl::Click() {
  if (FOnClick.Code) FOnClick.Code(this);
}

void TControl::ChangedWithChildren() {
  for (int32_t i = 0; i < ComponentCount(); ++i)
    if (auto* child = dynamic_cast<TControl*>(Components(i)); child && child->FParentFont)
      child->Changed();
}

// ---------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* owner) : TControl(owner) { AdjustBounds(); }

const TClassInfo& TLabel::StaticClass() {
  using C = TLabel;
  using P = Published<C>;
  static const TClassInfo info{
      .Name = "TLabel",
      .Parent = &TControl::StaticClass(),
      .Create = [](TComponent* owner) { return new TLabel(owner); },
      .Properties = {
          P::Boolean("AutoSize", &C::GetAutoSize, &C::SetAutoSize, true),
          P::Boolean("Transparent", &C::GetTransparent, &C::SetTransparent, false),
      }};
  return info;
}

const TClassInfo& TLabel::ClassType() const { return StaticClass(); }

void TLabel::SetAutoSize(bool value) {
  FAutoSize = value;
  AdjustBounds();
}

std::string TLabel::DisplayText(std::string_view caption) {
  std::string shown;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') shown += '&';
      if (i + 1 < caption.size() && caption[i + 1] == '&') ++i;
      continue;
    }
    shown += caption[i];
  }
  return shown;
}

// While a form file is read, the font may be half set: measure once all is read.
void TLabel::Changed() {
  if (!Loading()) AdjustBounds();
}

void TLabel::Loaded() {
  TControl::Loaded();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  const std::string shown = DisplayText(GetCaption());
  const TSize size = TextExtent(GetFont(), shown.empty() ? " " : shown);
  SetWidth(size.cx);
  SetHeight(size.cy);
}

// ---------------------------------------------------------------------------------------
// TBevel

TBevel::TBevel(TComponent* owner) : TControl(owner) {}

const TClassInfo& TBevel::StaticClass() {
  using C = TBevel;
  using P = Published<C>;
  static const TClassInfo info{
      .Name = "TBevel",
      .Parent = &TControl::StaticClass(),
      .Create = [](TComponent* owner) { return new TBevel(owner); },
      .Properties = {
          P::Enumeration<TBevelShape>("Shape", "TBevelShape", &C::GetShape, &C::SetShape,
                                      {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine",
                                       "bsLeftLine", "bsRightLine", "bsSpacer"},
                                      bsBox),
          P::Enumeration<TBevelStyle>("Style", "TBevelStyle", &C::GetStyle, &C::SetStyle,
                                      {"bsLowered", "bsRaised"}, bsLowered),
      }};
  return info;
}

const TClassInfo& TBevel::ClassType() const { return StaticClass(); }

// ---------------------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* owner) : TControl(owner) {}

const TClassInfo& TButton::StaticClass() {
  using C = TButton;
  using P = Published<C>;
  static const TClassInfo info{
      .Name = "TButton",
      .Parent = &TControl::StaticClass(),
      .Create = [](TComponent* owner) { return new TButton(owner); },
      .Properties = {
          P::Boolean("Default", &C::GetDefault, &C::SetDefault, false),
          P::Integer("ModalResult", &C::GetModalResult, &C::SetModalResult, mrNone),
          P::Integer("TabOrder", &C::GetTabOrder, &C::SetTabOrder, -1),
      }};
  return info;
}

const TClassInfo& TButton::ClassType() const { return StaticClass(); }

void TButton::Click() {
  if (auto* form = dynamic_cast<TForm*>(GetOwner())) form->SetModalResult(FModalResult);
  TControl::Click();
}

// ---------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TControl(owner) { SetParentFont(false); }

const TClassInfo& TForm::StaticClass() {
  using C = TForm;
  using P = Published<C>;
  static const TClassInfo info{
      .Name = "TForm",
      .Parent = &TControl::StaticClass(),
      .Create = [](TComponent* owner) { return new TForm(owner); },
      .Properties = {
          P::Enumeration<TFormBorderStyle>(
              "BorderStyle", "TFormBorderStyle", &C::GetBorderStyle, &C::SetBorderStyle,
              {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
              bsSizeable),
          P::NamedInteger("Color", "TColor", &C::GetColor, &C::SetColor, clBtnFace, kColors),
          P::Integer("ClientWidth", &C::GetClientWidth, &C::SetClientWidth, std::nullopt),
          P::Integer("ClientHeight", &C::GetClientHeight, &C::SetClientHeight, std::nullopt),
          P::Boolean("OldCreateOrder", &C::GetOldCreateOrder, &C::SetOldCreateOrder, false),
          P::Enumeration<TPosition>(
              "Position", "TPosition", &C::GetPosition, &C::SetPosition,
              {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
               "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
              poDesigned),
          P::Integer("PixelsPerInch", &C::GetPixelsPerInch, &C::SetPixelsPerInch, 96),
          P::Integer("TextHeight", &C::GetTextHeight, &C::SetTextHeight, 13),
      }};
  return info;
}

const TClassInfo& TForm::ClassType() const { return StaticClass(); }

TModalResult TForm::ShowModal() {
  FModalResult = mrNone;
  FModal = true;
  struct Leave {
    bool& modal;
    ~Leave() { modal = false; }
  } leave{FModal};
  Application->ShowModal(*this);
  return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TForm::Close() {
  if (FModal) FModalResult = mrCancel;
}

void TForm::ReadFormResource(std::string_view resource) {
  ReadComponent(resource, *this, ControlClasses());
}

const std::vector<const TClassInfo*>& ControlClasses() {
  static const std::vector<const TClassInfo*> classes = {
      &TLabel::StaticClass(), &TBevel::StaticClass(), &TButton::StaticClass()};
  return classes;
}

}  // namespace platform
