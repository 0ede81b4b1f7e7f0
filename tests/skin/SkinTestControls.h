// Small controls with the class names and properties of other component sets, for the skinners
// that read those properties by name: glyph buttons, a drop-down menu button, a date-time picker
// (the system's), a page control taking tab pictures, a tab set, a media player and check items
// that take custom glyph strips.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "Buttons.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "StdCtrls.h"
#include "Strings.h"

namespace kivo {

// A push button with a glyph strip.
class TBitBtn : public TButton {
  KIVO_CLASS(TBitBtn, TButton)
  static void Publish(TPublisher<TBitBtn>& p) {
    p.Object(L"Glyph", &TBitBtn::Glyph, &TBitBtn::SetGlyph);
    p.Integer(L"NumGlyphs", &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs);
    p.Integer(L"Margin", &TBitBtn::Margin, &TBitBtn::SetMargin);
    p.Integer(L"Spacing", &TBitBtn::Spacing, &TBitBtn::SetSpacing);
    p.Enumeration(L"Layout", {L"blGlyphLeft", L"blGlyphRight", L"blGlyphTop", L"blGlyphBottom"}, &TBitBtn::Layout,
                  &TBitBtn::SetLayout);
    p.Enumeration(L"Alignment", {L"taLeftJustify", L"taRightJustify", L"taCenter"}, &TBitBtn::Alignment,
                  &TBitBtn::SetAlignment);
  }
  explicit TBitBtn(TComponent* owner) : TButton(owner), glyph_(new TBitmap()) {}
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* b) { glyph_->Assign(b); }
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n) { numGlyphs_ = n; }
  int Margin() const { return margin_; }
  void SetMargin(int m) { margin_ = m; }
  int Spacing() const { return spacing_; }
  void SetSpacing(int s) { spacing_ = s; }
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout l) { layout_ = l; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }

 private:
  TObjectPtr<TBitmap> glyph_;
  int numGlyphs_ = 1, margin_ = -1, spacing_ = 4;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  TAlignment alignment_ = TAlignment::taLeftJustify;
};

// A glyph button drawing the picture of its "PngImage" property.
class TPngBitBtn : public TBitBtn {
  KIVO_CLASS(TPngBitBtn, TBitBtn)
  static void Publish(TPublisher<TPngBitBtn>& p) { p.Object(L"PngImage", &TPngBitBtn::PngImage); }
  explicit TPngBitBtn(TComponent* owner) : TBitBtn(owner), png_(new TBitmap()) {}
  TBitmap* PngImage() const { return png_.get(); }

 private:
  TObjectPtr<TBitmap> png_;
};

// A speed button drawing the picture of its "PngImage" property.
class TPngSpeedbutton : public TSpeedButton {
  KIVO_CLASS(TPngSpeedbutton, TSpeedButton)
  static void Publish(TPublisher<TPngSpeedbutton>& p) { p.Object(L"PngImage", &TPngSpeedbutton::PngImage); }
  explicit TPngSpeedbutton(TComponent* owner) : TSpeedButton(owner), png_(new TBitmap()) {}
  TBitmap* PngImage() const { return png_.get(); }

 private:
  TObjectPtr<TBitmap> png_;
};

// A drop-down menu button.
class TRzMenuButton : public TButton {
  KIVO_CLASS(TRzMenuButton, TButton)
  using TButton::TButton;
};

// The system's date-time picker.
class TDateTimePicker : public TWinControl {
  KIVO_CLASS(TDateTimePicker, TWinControl)
  explicit TDateTimePicker(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

 protected:
  void CreateParams(TCreateParams& p) override {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);
    TWinControl::CreateParams(p);
    p.SysClassName = DATETIMEPICK_CLASSW;
  }
};

// A page control that takes its tab pictures as bitmaps.
class TAdvPageControl : public TPageControl {
  KIVO_CLASS(TAdvPageControl, TPageControl)
  static void Publish(TPublisher<TAdvPageControl>& p) {
    p.Object(L"TabBackGround", &TAdvPageControl::TabBackGround);
    p.Object(L"TabBackGroundActive", &TAdvPageControl::TabBackGroundActive);
  }
  explicit TAdvPageControl(TComponent* owner)
      : TPageControl(owner), back_(new TBitmap()), active_(new TBitmap()) {}
  TBitmap* TabBackGround() const { return back_.get(); }
  TBitmap* TabBackGroundActive() const { return active_.get(); }

 private:
  TObjectPtr<TBitmap> back_, active_;
};

// An old-style tab set: paints its own tabs in red (the skin covers them).
class TTabSet : public TCustomControl {
  KIVO_CLASS(TTabSet, TCustomControl)
  static void Publish(TPublisher<TTabSet>& p) {
    p.Object(L"Tabs", &TTabSet::Tabs);
    p.Integer(L"TabIndex", &TTabSet::TabIndex, &TTabSet::SetTabIndex);
    p.Integer(L"StartMargin", &TTabSet::StartMargin, &TTabSet::SetStartMargin);
    p.Integer(L"EndMargin", &TTabSet::EndMargin, &TTabSet::SetEndMargin);
    p.Integer(L"FirstIndex", &TTabSet::FirstIndex, &TTabSet::SetFirstIndex);
  }
  explicit TTabSet(TComponent* owner) : TCustomControl(owner), tabs_(new TStringList()) {}
  TStrings* Tabs() const { return tabs_.get(); }
  int TabIndex() const { return tabIndex_; }
  void SetTabIndex(int i) { tabIndex_ = i; Invalidate(); }
  int StartMargin() const { return startMargin_; }
  void SetStartMargin(int m) { startMargin_ = m; Invalidate(); }
  int EndMargin() const { return endMargin_; }
  void SetEndMargin(int m) { endMargin_ = m; Invalidate(); }
  int FirstIndex() const { return firstIndex_; }
  void SetFirstIndex(int i) { firstIndex_ = i; Invalidate(); }

 protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(RECT{0, 0, Width(), Height()});
  }

 private:
  TObjectPtr<TStringList> tabs_;
  int tabIndex_ = -1, startMargin_ = 5, endMargin_ = 5, firstIndex_ = 0;
};

// A media player: a row of buttons, each visible one as wide as the others; a press and a release
// over the same button click it.
class TMediaPlayer : public TCustomControl {
  KIVO_CLASS(TMediaPlayer, TCustomControl)
  static std::vector<std::wstring> ButtonNames() {
    return {L"btPlay", L"btPause", L"btStop", L"btNext", L"btPrev", L"btStep", L"btBack", L"btRecord", L"btEject"};
  }
  static void Publish(TPublisher<TMediaPlayer>& p) {
    p.Set(L"VisibleButtons", ButtonNames(), &TMediaPlayer::VisibleButtons, &TMediaPlayer::SetVisibleButtons);
    p.Set(L"EnabledButtons", ButtonNames(), &TMediaPlayer::EnabledButtons, &TMediaPlayer::SetEnabledButtons);
    p.Set(L"ColoredButtons", ButtonNames(), &TMediaPlayer::ColoredButtons, &TMediaPlayer::SetColoredButtons);
  }
  using TCustomControl::TCustomControl;
  unsigned VisibleButtons() const { return visible_; }
  void SetVisibleButtons(unsigned v) { visible_ = v; Invalidate(); }
  unsigned EnabledButtons() const { return enabled_; }
  void SetEnabledButtons(unsigned v) { enabled_ = v; Invalidate(); }
  unsigned ColoredButtons() const { return colored_; }
  void SetColoredButtons(unsigned v) { colored_ = v; Invalidate(); }

  // Messages that reached the player: (message, button under the point).
  std::vector<std::pair<UINT, int>> Seen;
  std::vector<int> Clicks;

  int ButtonAt(int x) const {
    int count = 0;
    for (int i = 0; i < 9; ++i) count += (visible_ >> i) & 1;
    if (count == 0 || Width() <= 0) return -1;
    const int w = Width() / count;
    int k = x / w;
    for (int i = 0; i < 9; ++i)
      if ((visible_ >> i) & 1)
        if (k-- == 0) return i;
    return -1;
  }

 protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(RECT{0, 0, Width(), Height()});
  }
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONUP) {
      const int button = ButtonAt(static_cast<short>(LOWORD(m.LParam)));
      Seen.emplace_back(m.Msg, button);
      if (m.Msg == WM_LBUTTONDOWN) pressed_ = button;
      if (m.Msg == WM_LBUTTONUP && button == pressed_ && button >= 0 && ((enabled_ >> button) & 1)) Clicks.push_back(button);
    }
    TCustomControl::WndProc(m);
  }

 private:
  unsigned visible_ = 0x1FF, enabled_ = 0x1FF, colored_ = 0;
  int pressed_ = -1;
};

// A check item that takes a custom glyph strip.
class TRzCheckBox : public TCustomControl {
  KIVO_CLASS(TRzCheckBox, TCustomControl)
  static void Publish(TPublisher<TRzCheckBox>& p) {
    p.Object(L"CustomGlyphs", &TRzCheckBox::CustomGlyphs);
    p.Integer(L"TransparentColor", &TRzCheckBox::TransparentColor, &TRzCheckBox::SetTransparentColor);
    p.Boolean(L"UseCustomGlyphs", &TRzCheckBox::UseCustomGlyphs, &TRzCheckBox::SetUseCustomGlyphs);
  }
  explicit TRzCheckBox(TComponent* owner) : TCustomControl(owner), glyphs_(new TBitmap()) {}
  TBitmap* CustomGlyphs() const { return glyphs_.get(); }
  int TransparentColor() const { return transparentColor_; }
  void SetTransparentColor(int c) { transparentColor_ = c; }
  bool UseCustomGlyphs() const { return use_; }
  void SetUseCustomGlyphs(bool v) {
    use_ = v;
    ++useChanges;
  }
  int useChanges = 0;

 private:
  TObjectPtr<TBitmap> glyphs_;
  int transparentColor_ = 0;
  bool use_ = false;
};

class TRzRadioButton : public TRzCheckBox {
  KIVO_CLASS(TRzRadioButton, TRzCheckBox)
  using TRzCheckBox::TRzCheckBox;
};

// The properties object of a check item that holds its glyph there.
class TcxCheckBoxProperties : public TPersistent {
  KIVO_CLASS(TcxCheckBoxProperties, TPersistent)
  static void Publish(TPublisher<TcxCheckBoxProperties>& p) { p.Object(L"Glyph", &TcxCheckBoxProperties::Glyph); }
  TcxCheckBoxProperties() : glyph_(new TBitmap()) {}
  TBitmap* Glyph() const { return glyph_.get(); }

 private:
  TObjectPtr<TBitmap> glyph_;
};

class TcxCheckBox : public TCustomControl {
  KIVO_CLASS(TcxCheckBox, TCustomControl)
  static void Publish(TPublisher<TcxCheckBox>& p) { p.Object(L"Properties", &TcxCheckBox::Properties); }
  explicit TcxCheckBox(TComponent* owner) : TCustomControl(owner), properties_(new TcxCheckBoxProperties()) {}
  TcxCheckBoxProperties* Properties() const { return properties_.get(); }

 private:
  TObjectPtr<TcxCheckBoxProperties> properties_;
};

}  // namespace kivo
