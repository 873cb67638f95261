// The controls the system's forms are made of: TForm, TLabel, TBevel and TButton. A form is
// built from its text form resource; its labels size themselves to their caption with the
// text-measuring seam. Nothing is drawn here: a host shows a form, a renderer draws it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/framework/Application.h"
#include "platform/framework/Component.h"
#include "platform/framework/Graphics.h"

namespace platform {

inline constexpr int32_t crDefault = 0;
inline constexpr int32_t crHandPoint = -21;

class TABRIX_API TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override;

  int32_t GetLeft() const { return FLeft; }
  void SetLeft(int32_t value) { FLeft = value; }
  int32_t GetTop() const { return FTop; }
  void SetTop(int32_t value) { FTop = value; }
  int32_t GetWidth() const { return FWidth; }
  void SetWidth(int32_t value) { FWidth = value; }
  int32_t GetHeight() const { return FHeight; }
  void SetHeight(int32_t value) { FHeight = value; }
  std::string GetCaption() const { return FCaption; }
  void SetCaption(const std::string& value);
  int32_t GetCursor() const { return FCursor; }
  void SetCursor(int32_t value) { FCursor = value; }

  // The font the control draws with: its owner control's while ParentFont is set.
  TFont GetFont() const;
  // Changes the control's own font, which ends ParentFont as the host does.
  void SetFont(const TFont& font);
  bool GetParentFont() const { return FParentFont; }
  void SetParentFont(bool value);

  const TEventHandler& GetOnClick() const { return FOnClick; }
  void SetOnClick(TEventHandler value) { FOnClick = std::move(value); }
  // What a mouse click on the control does.
  virtual void Click();

 protected:
  // The caption or the font changed.
  virtual void Changed() {}
  void ChangedWithChildren();

 private:
  std::string GetFontName() const { return GetFont().Name; }
  void SetFontName(const std::string& v);
  int32_t GetFontHeight() const { return GetFont().Height; }
  void SetFontHeight(int32_t v);
  int32_t GetFontColor() const { return GetFont().Color; }
  void SetFontColor(int32_t v);
  uint32_t GetFontStyle() const { return GetFont().Style; }
  void SetFontStyle(uint32_t v);
  int32_t GetFontCharset() const { return GetFont().Charset; }
  void SetFontCharset(int32_t v);

  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::string FCaption;
  int32_t FCursor = crDefault;
  TFont FFont;
  bool FParentFont = true;
  TEventHandler FOnClick;
};

class TABRIX_API TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override;

  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool value) { FTransparent = value; }

  // The caption as shown: a single & marks the next character as the accelerator and is
  // not shown; && shows one &.
  static std::string DisplayText(std::string_view caption);

  void Loaded() override;

 protected:
  void Changed() override;

 private:
  // With AutoSize, the size of the shown text; an empty caption measures as one space.
  void AdjustBounds();

  bool FAutoSize = true;
  bool FTransparent = false;
};

enum TBevelShape : uint8_t {
  bsBox,
  bsFrame,
  bsTopLine,
  bsBottomLine,
  bsLeftLine,
  bsRightLine,
  bsSpacer
};
enum TBevelStyle : uint8_t { bsLowered, bsRaised };

class TABRIX_API TBevel : public TControl {
 public:
  explicit TBevel(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override;

  TBevelShape GetShape() const { return FShape; }
  void SetShape(TBevelShape value) { FShape = value; }
  TBevelStyle GetStyle() const { return FStyle; }
  void SetStyle(TBevelStyle value) { FStyle = value; }

 private:
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLowered;
};

class TABRIX_API TButton : public TControl {
 public:
  explicit TButton(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override;

  bool GetDefault() const { return FDefault; }
  void SetDefault(bool value) { FDefault = value; }
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  int32_t GetTabOrder() const { return FTabOrder; }
  void SetTabOrder(int32_t value) { FTabOrder = value; }

  // Gives the form the button's modal result, then runs OnClick.
  void Click() override;

 private:
  bool FDefault = false;
  TModalResult FModalResult = mrNone;
  int32_t FTabOrder = -1;
};

enum TFormBorderStyle : uint8_t {
  bsNone,
  bsSingle,
  bsSizeable,
  bsDialog,
  bsToolWindow,
  bsSizeToolWin
};
enum TPosition : uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};

class TABRIX_API TForm : public TControl {
 public:
  // An empty form; a form class with a form resource builds itself with ReadFormResource.
  explicit TForm(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override;

  TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle value) { FBorderStyle = value; }
  TPosition GetPosition() const { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }
  TColor GetColor() const { return FColor; }
  void SetColor(TColor value) { FColor = value; }
  int32_t GetClientWidth() const { return FClientWidth; }
  void SetClientWidth(int32_t value) { FClientWidth = value; }
  int32_t GetClientHeight() const { return FClientHeight; }
  void SetClientHeight(int32_t value) { FClientHeight = value; }
  bool GetOldCreateOrder() const { return FOldCreateOrder; }
  void SetOldCreateOrder(bool value) { FOldCreateOrder = value; }
  int32_t GetPixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t value) { FPixelsPerInch = value; }
  int32_t GetTextHeight() const { return FTextHeight; }
  void SetTextHeight(int32_t value) { FTextHeight = value; }

  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  // The form's window (an HWND on Windows) while a host shows it modally, as a platform call
  // takes its parent window; null otherwise, and under a host that makes no windows.
  const void* Handle() const { return FHandle; }
  // For the host: the window it made for the form, then null once that is gone.
  void SetHandle(const void* window) { FHandle = window; }

  // Shows the form through the application's host until it is closed; answers the modal
  // result, mrCancel when closed without one.
  TModalResult ShowModal();
  // A modal form closes with mrCancel.
  void Close();
  bool Modal() const { return FModal; }

  // The control of that name, of class C, from the form's resource; raises std::logic_error
  // when the resource lacks it, as a form class cannot work without its fields.
  template <class C>
  C* Field(const std::string& name) const {
    TComponent* c = FindComponent(name);
    if (!c || &c->ClassType() != &C::StaticClass())
      throw std::logic_error(ClassName() + " resource lacks " + C::StaticClass().Name + " " + name);
    return static_cast<C*>(c);
  }

 protected:
  // Reads the form's text form resource into this form; its controls are owned by the form.
  void ReadFormResource(std::string_view resource);
  void Changed() override { ChangedWithChildren(); }

 private:
  TFormBorderStyle FBorderStyle = bsSizeable;
  TPosition FPosition = poDesigned;
  TColor FColor = clBtnFace;
  int32_t FClientWidth = 0;
  int32_t FClientHeight = 0;
  bool FOldCreateOrder = false;
  int32_t FPixelsPerInch = 96;
  int32_t FTextHeight = 13;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  const void* FHandle = nullptr;
};

// The control classes a form resource may hold.
const std::vector<const TClassInfo*>& ControlClasses();

}  // namespace platform
