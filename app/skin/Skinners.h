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
  // Buffer sized to r with the background (the parent of `background` when Transparent, else
  // the face) and, when asked, the [Buttons] frame; false for an empty rectangle.
  bool PrepareBuffer(const RECT& r, int frame, bool drawFrame, TControl* background);
  // The caption colour of a glyph button: NormalColour2 only in frame 1 when normalOnlyInFrame1.
  TColor GlyphCaptionColor(int frame, TColor start, bool normalOnlyInFrame1, bool enabled);
  // Text in r with the flags, and the focus rectangle 2 pixels outside r when focused.
  void DrawLaidOutCaption(TCanvas* c, const RECT& r, UINT flags);
  // Buffer copied to the DC at r.
  void ShowBuffer(HDC dc, const RECT& r);
  // The caption colour of a frame (NormalColour2, MouseOverColour2, PressedColour2, disabled).
  TColor CaptionColor(int frame, TColor start);
};

// Where ButtonLayout puts a glyph and a caption.
struct TButtonPlacement {
  POINT Glyph{};
  RECT Text{};
  UINT Flags = DT_WORDBREAK;
  int Margin = 0, Spacing = 0;
};
// Glyph and caption laid out together in a button of size client: layout 0 glyph left, 1 right,
// 2 top, 3 bottom; margin and spacing -1 for automatic (autoMargin forces the automatic margin);
// speed buttons centre one pixel further along the main axis.
TButtonPlacement ButtonLayout(SIZE client, SIZE glyph, SIZE text, int layout, int margin, int spacing, bool autoMargin,
                              bool speedButton);
// The caption's size as ButtonLayout measures it (DT_CALCRECT | DT_WORDBREAK in the room left
// beside or under the glyph); (0, 0) for an empty text.
SIZE MeasureButtonText(HDC dc, SIZE client, SIZE glyph, int layout, const std::wstring& text);
// Cell `cell` of a glyph strip of numGlyphs cells at p, see-through in its bottom-left colour;
// cell 2 is the embossed picture of the first cell. A cell beyond the strip counts as 1.
void DrawGlyphCell(TCanvas* canvas, POINT p, int numGlyphs, int cell, TBitmap* glyph);
// The glyph embossed in button highlight and shadow on button face (the disabled look).
TObjectPtr<TBitmap> MakeDisabledGlyph(TBitmap* glyph);
// The text with the first occurrence of pattern replaced.
std::wstring ReplaceFirst(const std::wstring& text, const std::wstring& pattern, const std::wstring& replacement);
// The layout number of a "Layout" value name (blGlyphLeft 0 .. blGlyphBottom 3; others 0).
int LayoutOfName(const std::wstring& name);

// Buttons with a glyph (a "Glyph" strip of "NumGlyphs" cells, or an image list) and a caption.
class TSkinBitButton : public TSkinButton {
  KIVO_CLASS(TSkinBitButton, TSkinButton)
 public:
  using TSkinButton::TSkinButton;
  void Draw(HDC dc, const RECT& r) override;
  // The graphic property named by GraphicProperty drawn whole as the glyph.
  void DrawGraphicButton(HDC dc, const RECT& r);
  std::wstring GraphicProperty;

};

// Drop-down menu buttons: a caption and an arrow box at the right.
class TSkinMenuButton : public TSkinButton {
  KIVO_CLASS(TSkinMenuButton, TSkinButton)
 public:
  using TSkinButton::TSkinButton;
  void Draw(HDC dc, const RECT& r) override;
  int MenuFrame();
};

// Windowless speed buttons: the button's WindowProc is hooked, its canvas drawn on.
class TSkinSpeedButton : public TSkinBitButton {
  KIVO_CLASS(TSkinSpeedButton, TSkinBitButton)
 public:
  using TSkinBitButton::TSkinBitButton;
  ~TSkinSpeedButton() override;
  void Attach(TSkinnerHost* form, TSkinData* skinData, TCanvas* canvas);
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void Restore() override;
  bool BeforeMessage(TMessage& m) override;
  void AfterMessage(TMessage& m) override;
  void PaintFrame(HDC dc) override;
  void PaintButton(TCanvas* canvas, const RECT& r);
  // Frame and glyph cell the button shows now.
  int SpeedFrame(int* cell = nullptr);

  std::uint8_t Painting = 0;

 private:
  void PaintMessage(TMessage& m);
  void GiveBackWindowProc();
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

// Check and radio items of other component sets: glyph strips built from the skin and handed to
// the control ("CustomGlyphs", or the Glyph of its "Properties" object). No message hook.
class TSkinObjImage : public TSkinControl {
  KIVO_CLASS(TSkinObjImage, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void Restore() override;
  void SkinChanged() override;
  void BuildGlyphs();
  // 1 check item, 2 radio item, 3 a control whose Properties object has a Glyph.
  std::uint8_t Kind = 1;
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

// Page controls whose tabs are buttons: the tab strip from the [Buttons] frames, no pane.
class TSkinTabBtn : public TSkinControl {
  KIVO_CLASS(TSkinTabBtn, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
};

// The old-style tab set: tabs along the top from the [Tabs] picture turned upside down.
class TSkinTab31 : public TSkinControl {
  KIVO_CLASS(TSkinTab31, TSkinControl)
 public:
  explicit TSkinTab31(TComponent* owner);
  ~TSkinTab31() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  void SkinChanged() override;
  TObjectPtr<TBitmap> Picture;

 private:
  void PreparePicture();
};

// A page control of another component set that takes its tab pictures as bitmap properties.
class TSkinAdvPage : public TSkinControl {
  KIVO_CLASS(TSkinAdvPage, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void Restore() override;
  void SkinChanged() override;
  void Draw(HDC dc, const RECT& r) override;
  void RenderTabs();
  TSkinUpDown* UpDown = nullptr;
  std::uint8_t Kind = 4;
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

class TArrowButton;
// Date-time pickers: a flat border, and the drop-down button covered by a TArrowButton.
class TSkinDateTime : public TSkinControl {
  KIVO_CLASS(TSkinDateTime, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  ~TSkinDateTime() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void AfterMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
  TArrowButton* ArrowButton = nullptr;

 protected:
  void Notification(TComponent* c, TOperation op) override;
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

// Status bars of the library: edges from [StatusBarEdges], texts, the size grip from [ExtraImages].
class TSkinStatusBar : public TSkinControl {
  KIVO_CLASS(TSkinStatusBar, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  bool BeforeMessage(TMessage& m) override;
  void Draw(HDC dc, const RECT& r) override;
};
// Cell `cell` of the [StatusBarEdges] strip (1 lowered, 2 raised, 3 flat) at r, or the system's
// one-pixel edge when the skin has none.
void DrawStatusEdge(TSkinControl* skinner, HDC dc, const RECT& r, int cell);

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

// The button laid over a date-time picker's drop-down button, a child of the picker's window.
class TArrowButton : public TCustomControl {
  KIVO_CLASS(TArrowButton, TCustomControl)
 public:
  explicit TArrowButton(TComponent* owner);
  void Bind(TSkinDateTime* skinner, TControl* picker);
  void Align(const RECT& r);

  TSkinDateTime* Skinner = nullptr;
  TControl* Picker = nullptr;
  HWND PickerHandle = nullptr;
  std::uint8_t Hover = 0;

 protected:
  void Paint() override;
  void WndProc(TMessage& m) override;
};

class TWMediaPlayer;
// Media players: covered by a TWMediaPlayer drawing the visible buttons from the skin.
class TSkinMP : public TSkinControl {
  KIVO_CLASS(TSkinMP, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  ~TSkinMP() override;
  void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) override;
  void Restore() override;
  void AfterMessage(TMessage& m) override;
  TWMediaPlayer* Overlay = nullptr;

 protected:
  void Notification(TComponent* c, TOperation op) override;
};

enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
constexpr int kMPButtonCount = 9;

// A panel over a media player in the same parent: the player's visible buttons from the [Buttons]
// frames with the glyphs of the program's "%s_%s" bitmap resources; clicks go to the player.
class TWMediaPlayer : public TCustomPanel {
  KIVO_CLASS(TWMediaPlayer, TCustomPanel)
 public:
  struct TButtonInfo {
    std::uint8_t Visible = 0, Enabled = 0, Colored = 0;
    std::array<TObjectPtr<TBitmap>, 3> Glyphs;  // enabled, disabled, coloured; null when missing
  };
  explicit TWMediaPlayer(TComponent* owner);
  ~TWMediaPlayer() override;
  void Bind(TSkinMP* skinner, TControl* player);
  void FollowBounds(TControl* player);
  void LoadGlyphs();
  void FreeGlyphs();
  // The visible button under x (a border belongs to the left button); 9 for none.
  int HitTest(int x);
  // Reads the player's button sets (VisibleCount too).
  void ReadButtons();

  std::array<TButtonInfo, kMPButtonCount> Buttons;
  TSkinData* SkinData = nullptr;
  int VisibleCount = 0;
  std::uint8_t MouseDown = 0;
  std::uint8_t PressedIndex = 9, HitIndex = 9;
  int ButtonWidth = 0;
  TControl* Player = nullptr;
  TSkinMP* Skinner = nullptr;

 protected:
  void Paint() override;
  void WndProc(TMessage& m) override;

 private:
  void DrawButton(TCanvas* canvas, int i, const RECT& b);
};

}  // namespace kivo

namespace kivo {
// Registers a creator for every skinner kind built here (calling it again is harmless).
void RegisterControlSkinners();
}  // namespace kivo
