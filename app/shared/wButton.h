// wButton: TwButton, the owner-drawn glyph button of KivoApp's tool bar, source tabs and play strips:
// a bitmap per state, group Down, an exclusive check mark drawn from its own glyph set, repeated
// clicks while held, a popup menu from an arrow part, transparent drawing over its parent.
#pragma once

#include <memory>

#include "Controls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Menus.h"
#include "Pictures.h"

namespace kivo {

// Group messages, broadcast to the controls of the button's parent (WParam the group, LParam the
// sending button).
constexpr UINT CM_GROUPDOWN = 0xB3FE;
constexpr UINT CM_GROUPCHECKED = 0xB3FF;
constexpr UINT CM_QUERYCHECKED = 0xB400;

enum class TGlyphLayout { glBack, glCenter, glLeft, glRight, glTop, glBottom };
enum class TwBorderStyle { bsNone, bsSingle };

class TwButton;

// Loads a bitmap of the program's resources into bitmap; false (bitmap unchanged) when missing.
bool LoadGlyphResource(TBitmap& bitmap, const wchar_t* name);

// The bitmaps of a check mark.
class TButtonGlyph : public TPersistent {
  KIVO_CLASS(TButtonGlyph, TPersistent)
  explicit TButtonGlyph(TwButton* owner);
  ~TButtonGlyph() override;
  TBitmap* Glyph() const { return glyph_.get(); }
  TBitmap* GlyphDisabled() const { return disabled_.get(); }
  TBitmap* GlyphDown() const { return down_.get(); }
  TBitmap* GlyphFocused() const { return focused_.get(); }
  TBitmap* GlyphDownFocused() const { return downFocused_.get(); }
  // Each setter copies the bitmap (nullptr frees the stored one) and repaints the owner.
  void SetGlyph(TBitmap* b) { Store(glyph_, b); }
  void SetGlyphDisabled(TBitmap* b) { Store(disabled_, b); }
  void SetGlyphDown(TBitmap* b) { Store(down_, b); }
  void SetGlyphFocused(TBitmap* b) { Store(focused_, b); }
  void SetGlyphDownFocused(TBitmap* b) { Store(downFocused_, b); }
  int Width() const;
  int Height() const;
  // The bitmap for the owner's state (falling back to Glyph; nullptr or empty: no mark).
  TBitmap* CurrentGlyph() const;

 private:
  void Store(std::unique_ptr<TBitmap>& slot, TBitmap* b);
  TwButton* owner_;
  std::unique_ptr<TBitmap> glyph_, disabled_, down_, focused_, downFocused_;
};

class TwButton : public TGraphicControl {
  KIVO_CLASS(TwButton, TGraphicControl)
  static void Publish(TPublisher<TwButton>& p);
  explicit TwButton(TComponent* owner);
  ~TwButton() override;
  void BeforeDestruction() override;

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TColor BorderColor() const { return borderColor_; }
  void SetBorderColor(TColor c);
  TwBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TwBorderStyle s);
  TColor ColorFocused() const { return colorFocused_; }
  void SetColorFocused(TColor c);
  TColor ColorDisabled() const { return colorDisabled_; }
  void SetColorDisabled(TColor c);
  TColor FontColorFocused() const { return fontColorFocused_; }
  void SetFontColorFocused(TColor c);
  TColor FontColorDisabled() const { return fontColorDisabled_; }
  void SetFontColorDisabled(TColor c) { fontColorDisabled_ = c; }
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool v) { allowAllUp_ = v; }
  bool Down() const { return down_; }
  void SetDown(bool v);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool CheckMulti() const { return checkMulti_; }
  void SetCheckMulti(bool v) { checkMulti_ = v; }
  int RepeatInterval() const { return repeatInterval_; }
  void SetRepeatInterval(int ms);

  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* b);
  // The optional state glyphs: nullptr when absent.
  TBitmap* GlyphDisabled() const { return glyphDisabled_.get(); }
  void SetGlyphDisabled(TBitmap* b);
  TBitmap* GlyphDown() const { return glyphDown_.get(); }
  void SetGlyphDown(TBitmap* b);
  TBitmap* GlyphFocused() const { return glyphFocused_.get(); }
  void SetGlyphFocused(TBitmap* b);
  TBitmap* GlyphDownFocused() const { return glyphDownFocused_.get(); }
  void SetGlyphDownFocused(TBitmap* b);
  TButtonGlyph* GlyphChecked() const { return glyphChecked_.get(); }
  TButtonGlyph* GlyphUnChecked() const { return glyphUnChecked_.get(); }
  int GlyphCheckedLeft() const { return glyphCheckedLeft_; }
  void SetGlyphCheckedLeft(int v);
  int GlyphCheckedTop() const { return glyphCheckedTop_; }
  void SetGlyphCheckedTop(int v);
  int GlyphMargin() const { return glyphMargin_; }
  void SetGlyphMargin(int v);
  int TextMargin() const { return textMargin_; }
  void SetTextMargin(int v);
  TGlyphLayout GlyphLayout() const { return glyphLayout_; }
  void SetGlyphLayout(TGlyphLayout l);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int g);
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  bool PushEffect() const { return pushEffect_; }
  void SetPushEffect(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  TPopupMenu* DropDownMenu() const { return popupMenu_; }
  void SetDropDownMenu(TPopupMenu* m);

  bool Hovered() const { return hovered_; }
  bool Pressed() const { return pressed_; }
  // The check mark's rectangle in client coordinates (empty without GlyphChecked).
  RECT CheckRect() const;
  // The arrow part's rectangle (empty without a popup menu).
  RECT ArrowRect() const;

  void Click() override;
  void WndProc(TMessage& m) override;
  void PopupDropDown();
  virtual TBitmap* CreatePaintBitmap(HDC dc);

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnCheckChanged;

 protected:
  void Paint() override;
  void DblClick() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void Loaded() override;
  void Notification(TComponent* c, TOperation op) override;

 private:
  friend class TButtonGlyph;
  void StoreGlyph(std::unique_ptr<TBitmap>& slot, TBitmap* b);
  LRESULT Broadcast(UINT msg);
  bool CursorInside() const;
  bool CursorOverArrow() const;
  void StartRepeat();
  void StopRepeat();
  static void CALLBACK RepeatTimerProc(HWND, UINT, UINT_PTR, DWORD);
  void DrawByKey(HDC dc, TBitmap* bitmap, int x, int y, int sx, int sw, int sh, bool solidBrush, COLORREF brush);

  TAlignment alignment_ = TAlignment::taCenter;
  TColor borderColor_ = 8421504;
  TwBorderStyle borderStyle_ = TwBorderStyle::bsSingle;
  TColor colorFocused_;
  TColor colorDisabled_;
  TColor fontColorFocused_ = clWindowText;
  TColor fontColorDisabled_ = clGrayText;
  bool allowAllUp_ = true;
  bool down_ = false;
  bool checked_ = false;
  bool checkMulti_ = false;
  int repeatInterval_ = 0;
  std::unique_ptr<TBitmap> glyph_, glyphDisabled_, glyphDown_, glyphFocused_, glyphDownFocused_;
  std::unique_ptr<TButtonGlyph> glyphChecked_, glyphUnChecked_;
  int glyphCheckedLeft_ = 0, glyphCheckedTop_ = 0;
  int glyphMargin_ = 4, textMargin_ = 4;
  TGlyphLayout glyphLayout_ = TGlyphLayout::glCenter;
  int numGlyphs_ = 1;
  int groupIndex_ = 0;
  TModalResult modalResult_ = mrNone;
  bool pushEffect_ = false;
  bool transparent_ = false;
  TPopupMenu* popupMenu_ = nullptr;

  bool hovered_ = false;
  bool pressed_ = false;
  bool pressedOnCheck_ = false;
  bool clicking_ = false;
  bool paintingParent_ = false;
};

}  // namespace kivo
