// The control skinners: one class per kind of control, each drawing its control from the skin
// over (or instead of) the control's own painting. All attach through the TSkinControl base.
#pragma once

#include <windows.h>

#include <array>
#include <vector>

#include "SkinControl.h"

namespace kivo {

class TWScrollbar;

// ---- buttons ------------------------------------------------------------------------------------
// Push buttons from the skin's [Buttons] frames: 1 normal, 2 pressed, 3 disabled, 4 hot, 5 focused.
class TSkinButton : public TSkinControl {
  KIVO_CLASS(TSkinButton, TSkinControl)
 public:
  explicit TSkinButton(TComponent* owner);
  ~TSkinButton() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  bool BeforeMessage(TMessage& m) override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  // The frame the button shows now.
  int CurrentFrame();

  TObjectPtr<TBitmap> Buffer;
  std::uint8_t Transparent = 0;

 protected:
  void DrawButtonCaption(TCanvas* canvas, const RECT& r, const std::wstring& text);
  // The caption colour of a frame (NormalColour2, MouseOverColour2, PressedColour2, disabled).
  TColor CaptionColor(int frame, TColor start);
};

// Check boxes: a cell of [Buttons].CheckButton (1 unchecked, 2 checked, 3 and 4 disabled).
class TSkinCheckBox : public TSkinControl {
  KIVO_CLASS(TSkinCheckBox, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) override;
  bool BeforeMessage(TMessage& m) override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  // The strip cell the box shows now.
  virtual int CellIndex();

  int CheckedCache = 0;
  std::uint8_t Transparent = 0;

 protected:
  virtual TBitmap* Strip() const;
  virtual int StripCount() const;
  void DrawBox(HDC dc, const RECT& r, bool radio);
};

class TSkinRadioButton : public TSkinCheckBox {
  KIVO_CLASS(TSkinRadioButton, TSkinCheckBox)
 public:
  using TSkinCheckBox::TSkinCheckBox;
  void Draw(HDC dc, const RECT& r) override;
  int CellIndex() override;

 protected:
  TBitmap* Strip() const override;
  int StripCount() const override;
};

// ---- positions ----------------------------------------------------------------------------------
class TSkinUpDown : public TSkinControl {
  KIVO_CLASS(TSkinUpDown, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  std::uint8_t Buddy = 0;

 private:
  void DrawSkinned(TCanvas* canvas, const RECT& r, int button, int state, TDataSkinBorder* object);
  void DrawPlain(TCanvas* canvas, const RECT& r, int arrow, int state);
};

class TSkinProgress : public TSkinControl {
  KIVO_CLASS(TSkinProgress, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;

 private:
  void DrawChunks(HDC dc, const RECT& r);
};

class TSkinTrackBar : public TSkinControl {
  KIVO_CLASS(TSkinTrackBar, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
  void SkinChanged() override;
  LRESULT CustomDraw(NMCUSTOMDRAW* draw);

 private:
  void DrawChannel(NMCUSTOMDRAW* draw);
  void DrawThumb(NMCUSTOMDRAW* draw);
};

// ---- tabs ---------------------------------------------------------------------------------------
class TSkinTab : public TSkinControl {
  KIVO_CLASS(TSkinTab, TSkinControl)
 public:
  explicit TSkinTab(TComponent* owner);
  ~TSkinTab() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) override;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  void SkinChanged() override;
  void Prepare();
  // Skins the control's scroll arrows once; answers whether they are visible.
  bool FindUpDown();
  bool HitCloseBox(TMessage& m);

  std::vector<RECT> CloseRects;
  std::uint8_t Orientation = 0;
  TObjectPtr<TBitmap> TabPicture, PanePicture, StripBuffer;
  TSkinUpDown* UpDown = nullptr;
  std::uint8_t CloseBoxes = 0;
  std::uint8_t TabUnicode = 0;

 private:
  void DrawCloseBox(TCanvas* canvas, const RECT& tab, int index);
};

class TSkinTabSheet : public TSkinControl {
  KIVO_CLASS(TSkinTabSheet, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
};

// ---- edits and combo boxes ----------------------------------------------------------------------
class TSkinEdit : public TSkinControl {
  KIVO_CLASS(TSkinEdit, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  void FindUpDown();
  void PrintBorder(HDC dc);
  TSkinUpDown* UpDown = nullptr;
};

class TComboxScrollBar;
class TSkinScrollbarH;

class TSkinComBox : public TSkinControl {
  KIVO_CLASS(TSkinComBox, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  ~TSkinComBox() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) override;
  void Restore() override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  void SkinList();
  void SubclassEdit();
  void EditProc(TMessage& m);

  LONG_PTR Style = 0, ExStyle = 0;
  HWND ListWindow = nullptr;
  HWND EditWindow = nullptr;
  WNDPROC EditInstance = nullptr;
  WNDPROC EditOldProc = nullptr;
  TSkinScrollbarH* ListScrollH = nullptr;
  TComboxScrollBar* ListScroll = nullptr;
  COMBOBOXINFO ComboInfo{};
  RECT ButtonRect{};
  std::uint8_t IsComboEx = 0;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  void UnsubclassEdit();
  void DrawFlat(HDC dc, const RECT& r);
  void DrawComboExBorder(HDC dc, const RECT& r);
  void DrawComboExArrow(HDC dc, int frame);
};

// The vertical scroll bar of a combo box's drop-down list, drawn into the list's frame.
class TComboxScrollBar : public TSkinControl {
  KIVO_CLASS(TComboxScrollBar, TSkinControl)
 public:
  explicit TComboxScrollBar(TComponent* owner);
  bool BeforeMessage(TMessage& m) override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  bool DragThumb(TMessage& m);

  int ArrowSize = 0;
  int BarLength = 0;
  int ThumbTop = 0, ThumbBottom = 0;
};

// ---- containers ---------------------------------------------------------------------------------
class TSkinGroupBox : public TSkinControl {
  KIVO_CLASS(TSkinGroupBox, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
};

// Panels, frames and forms: re-coloured only, no message hook.
class TSkinBox : public TSkinControl {
  KIVO_CLASS(TSkinBox, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void Restore() override;
};

// Plain child windows of dialogs and tool bars: ButtonFace background and static colour.
class TSkinBoxH : public TSkinControl {
  KIVO_CLASS(TSkinBoxH, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
};

// Plain scroll-bar windows (the size grip): ButtonFace over the whole window.
class TSkinSizer : public TSkinControl {
  KIVO_CLASS(TSkinSizer, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void Draw(HDC dc, const RECT& r) override;
};

// A scroll-bar control covered by a skinned bar.
class TSkinScControl : public TSkinControl {
  KIVO_CLASS(TSkinScControl, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  ~TSkinScControl() override;
  void Attach(TControl* control, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas);
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void Restore() override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  TWScrollbar* Overlay = nullptr;

 protected:
  void Notification(TComponent* c, TOperation op) override;
};

// ---- scroll bars --------------------------------------------------------------------------------
// A control with window scroll bars: a skinned panel over each bar, a flat border.
class TSkinScrollbar : public TSkinControl {
  KIVO_CLASS(TSkinScrollbar, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  ~TSkinScrollbar() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  virtual void AttachScrollControl(TControl* control, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas);
  void Restore() override;
  bool BeforeMessage(TMessage& m) override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  void SkinChanged() override;
  void PlaceBars();
  void DrawBorder(HDC dc);

  TWScrollbar* HorzBar = nullptr;
  TWScrollbar* VertBar = nullptr;
  std::uint8_t DrawsBorder = 0;

 protected:
  void FreeBars();
  void Notification(TComponent* c, TOperation op) override;
};

class TSkinHeader;
class TSkinListView : public TSkinScrollbar {
  KIVO_CLASS(TSkinListView, TSkinScrollbar)
 public:
  using TSkinScrollbar::TSkinScrollbar;
  void AttachScrollControl(TControl* control, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) override;
  TSkinHeader* Header = nullptr;
};

// The same panels over a plain window's scroll bars.
class TSkinScrollbarH : public TSkinControl {
  KIVO_CLASS(TSkinScrollbarH, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  ~TSkinScrollbarH() override;
  void AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) override;
  void Restore() override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  TWScrollbar* HorzBar = nullptr;
  TWScrollbar* VertBar = nullptr;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  void FreeBars();
};

class TSkinHeader : public TSkinControl {
  KIVO_CLASS(TSkinHeader, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) override;
  bool BeforeMessage(TMessage& m) override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  void TrackHover(TMessage& m);

  std::vector<RECT> ItemRects;
  int HotItem = -1;

 private:
  void DrawItem(HIMAGELIST images, TCanvas* canvas, int index, const RECT& r);
};

// Bar information of a window's scroll bar (OBJID_VSCROLL or OBJID_HSCROLL).
bool ReadScrollBarInfo(HWND wnd, int kind, SCROLLBARINFO& info, bool clientBar = false);
// One scroll bar painted into a bitmap of the bar's size (the panel's and the combo list's
// painting): arrows, track, thumb and grip. hot -1 for none; thumbTop/Bottom in bar coordinates.
void PaintScrollBarBitmap(TSkinData* data, TBitmap* bitmap, int kind, int w, int h, int arrowSize, bool enabled,
                          int hotPart, bool pressed, int thumbTop, int thumbBottom, int limit);

}  // namespace kivo

#include "ExtCtrls.h"

namespace kivo {

// A small panel laid exactly over one scroll bar of a target window: it draws the bar from the
// skin and hands clicks to the real bar underneath, so scrolling stays the system's.
class TWScrollbar : public TCustomPanel {
  KIVO_CLASS(TWScrollbar, TCustomPanel)
 public:
  explicit TWScrollbar(TComponent* owner);
  ~TWScrollbar() override;
  // kind 0 horizontal, 1 vertical, 2 from the control's Kind property.
  void BindControl(TSkinControl* skinner, TControl* control, int kind);
  void BindWindow(TSkinControl* skinner, HWND window, int kind);
  void Reposition(HWND window);
  void HideBar();
  int HitTest(POINT p) const;
  void TrackThumb();

  TSkinControl* Skinner = nullptr;
  HWND Target = nullptr;
  TControl* TargetControl = nullptr;
  std::uint8_t Kind = 0;
  int ArrowSize = 0;
  int BarLength = 0;
  int ThumbTop = 0, ThumbBottom = 0;
  POINT ScreenPos{};
  POINT DragCursor{};
  int DragThumbTop = 0;
  std::uint8_t Pressed = 0;
  int HotPart = -1;
  int BarLeft = 0, BarTop = 0, BarRight = 0, BarBottom = 0;
  std::uint8_t Shown = 0;
  // The target is a scroll-bar control: its bar is its client area.
  std::uint8_t ClientBar = 0;

 protected:
  void CreateParams(TCreateParams& p) override;
  void Paint() override;
  void WndProc(TMessage& m) override;

 private:
  void MouseDownOnBar(TMessage& m);
};

}  // namespace kivo

namespace kivo {
// Registers a creator for every skinner kind built here (calling it again is harmless).
void RegisterControlSkinners();
}  // namespace kivo
