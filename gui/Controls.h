// Controls: TControl (bounds, visibility, colour, font, mouse, the replaceable WindowProc),
// TWinControl (a lazily created window under the library's class name, children, alignment,
// reflected notifications), TGraphicControl (windowless, painted and fed by its parent) and
// TCustomControl (windowed with its own canvas).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"
#include "Messages.h"

namespace kivo {

class TWinControl;
class TCustomForm;

using TWndMethod = std::function<void(TMessage&)>;

enum class TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind : uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = uint8_t;
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag : uint16_t {
  ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 0x10, ssMiddle = 0x20, ssDouble = 0x40
};
using TShiftState = uint16_t;
using TCursor = int;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11,
                  crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22;

// What a control class is (ControlStyle).
enum TControlStyleFlag : uint32_t {
  csAcceptsControls = 0x1,
  csCaptureMouse = 0x2,
  csClickEvents = 0x8,
  csFramed = 0x10,
  csSetCaption = 0x20,
  csOpaque = 0x40,
  csDoubleClicks = 0x80,
  csNoStdEvents = 0x1000,
  csParentBackground = 0x80000,
};
using TControlStyle = uint32_t;
// What a control is doing (ControlState).
enum TControlStateFlag : uint32_t {
  csLButtonDown = 0x1,
  csClicked = 0x2,
  csAlignmentNeeded = 0x10,
  csFocusing = 0x20,
  csCreating = 0x40,
  csDestroyingHandle = 0x200,
};
using TControlState = uint32_t;

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, wchar_t& key)>;

TShiftState KeysToShiftState(WPARAM keys);
TShiftState KeyDataToShiftState(LPARAM keyData);

class TControl : public TComponent {
  KIVO_CLASS(TControl, TComponent)
  static void Publish(TPublisher<TControl>& p);
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // The message method every message of the control goes through. Replace it to see messages
  // first; keep the old value and call it to pass them on. The default calls WndProc.
  TWndMethod WindowProc;
  LRESULT Perform(UINT msg, WPARAM w = 0, LPARAM l = 0);

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  TControlStyle ControlStyle() const { return controlStyle_; }
  void SetControlStyle(TControlStyle s) { controlStyle_ = s; }
  TControlState ControlState() const { return controlState_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  void SetBoundsRect(const RECT& r) { SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); }
  virtual RECT ClientRect() const;
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int v);
  void SetClientHeight(int v);
  virtual void SetClientSize(int w, int h);
  // Screen position of the client area's origin.
  virtual POINT ClientOrigin() const;
  POINT ClientToScreen(POINT p) const;
  POINT ScreenToClient(POINT p) const;

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible here and in every parent up to a top-level window.
  virtual bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* f) { font_->Assign(f); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  std::wstring Caption() const { return GetText(); }
  void SetCaption(const std::wstring& s) { SetText(s); }
  std::wstring Text() const { return GetText(); }
  void SetTextProp(const std::wstring& s) { SetText(s); }
  virtual std::wstring GetText() const;
  virtual void SetText(const std::wstring& s);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors a);
  std::wstring Hint() const { return hint_; }
  void SetHint(const std::wstring& h) { hint_ = h; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v) { showHint_ = v; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  // A popup menu component (TPopupMenu); the control forgets it when it is freed.
  TComponent* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TComponent* menu);
  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  virtual void Invalidate();
  void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  virtual void BringToFront();
  virtual void SendToBack();
  // Sends WM_PAINT-style drawing of a windowless control into a DC (its origin at the control).
  bool HasParent() const { return parent_ != nullptr; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;

  // The message dispatch of the class; overrides handle their messages and call inherited.
  virtual void WndProc(TMessage& m);
  // Messages nobody handled.
  virtual void DefaultHandler(TMessage& m);
  // Click as the user makes it (OnClick).
  virtual void Click();

 protected:
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void Resize();
  void Loaded() override;
  void Notification(TComponent* c, TOperation op) override;
  // Bounds set by the parent's alignment (no new anchor rules, no new alignment request).
  void SetAlignedBounds(int left, int top, int width, int height);
  // Remembers the position relative to the parent's client size for the anchors.
  void UpdateAnchorRules();
  // Asks the parent to lay its children out again.
  void RequestAlign();
  virtual void FontChanged();
  void SetControlState(TControlState s) { controlState_ = s; }
  void IncludeControlState(TControlState s) { controlState_ |= s; }
  void ExcludeControlState(TControlState s) { controlState_ &= ~s; }
  // Applies the bounds (windowed controls move their window).
  virtual void ApplyBounds(int left, int top, int width, int height);
  // After a change of size: Resize (a windowed control lays its children out first).
  virtual void SizeChanged();
  // False once the control is destroyed: a handler may free the control it was called for, so
  // dispatch code holds a copy and stops touching the object when it turns false.
  std::shared_ptr<bool> AliveToken() const { return alive_; }

  std::wstring text_;
  TControlStyle controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;

 private:
  friend class TWinControl;
  void HandleMouseDown(TMessage& m, TMouseButton button, TShiftState extra);
  void HandleMouseUp(TMessage& m, TMouseButton button);

  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clWindow;
  bool parentColor_ = false;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool settingParentFont_ = false;
  TAlign align_ = TAlign::alNone;
  TAnchors anchors_ = akLeft | akTop;
  std::wstring hint_;
  bool showHint_ = false;
  TCursor cursor_ = crDefault;
  TComponent* popupMenu_ = nullptr;
  TControlState controlState_ = 0;
  // Anchor rules: bounds and parent client size when the bounds were last set from outside.
  RECT anchorBounds_{0, 0, 0, 0};
  SIZE anchorParent_{0, 0};
  bool anchorValid_ = false;
};

// Window creation parameters (CreateParams).
struct TCreateParams {
  std::wstring Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  void* Param = nullptr;
  UINT ClassStyle = CS_DBLCLKS;
  HBRUSH Background = nullptr;
  // The window class, registered under this name; the library's class name by default.
  std::wstring WinClassName;
  // A system class (BUTTON, EDIT, ...) superclassed under WinClassName; empty for none.
  std::wstring SysClassName;
};

class TWinControl : public TControl {
  KIVO_CLASS(TWinControl, TControl)
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  void BeforeDestruction() override;

  // The window; made (with the parents' windows) when first asked for.
  HWND Handle();
  HWND HandleIfAllocated() const { return handle_; }
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded();
  // Destroys the window and makes a new one, sending CM_RECREATEWND (handled, then seen by a
  // WindowProc placed in front after the new window exists).
  void RecreateWnd();
  // A raw window this control is a child of when it has no Parent (a foreign HWND).
  HWND ParentWindow() const { return parentWindow_; }
  void SetParentWindow(HWND w);
  void SetParent(TWinControl* parent) override;

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(index); }
  const std::vector<TControl*>& ControlList() const { return controls_; }
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  bool ContainsControl(const TControl* c) const;
  // The windowless or windowed child at a client point, topmost first; nullptr when none.
  TControl* ControlAtPos(POINT p, bool allowDisabled, bool allowWinControls = false) const;

  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v);
  // Windowed children in tab order, each followed by its own list (depth first).
  void GetTabOrderList(std::vector<TWinControl*>& list) const;
  TWinControl* FindNextControl(TWinControl* current, bool forward, bool checkTabStop, bool checkParent) const;
  void SelectNext(TWinControl* current, bool forward, bool checkTabStop);

  bool Focused() const;
  virtual bool CanFocus() const;
  virtual void SetFocus();

  void DisableAlign();
  void EnableAlign();
  void Realign();
  bool AlignDisabled() const { return alignDisabled_ > 0; }

  // Paints the windowless children into dc (the client's DC); from first on when given.
  void PaintControls(HDC dc, TControl* first);
  // Draws this control and its children into dc with its top-left corner at x, y.
  void PaintTo(HDC dc, int x, int y);
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool v) { doubleBuffered_ = v; }
  bool ParentBackground() const { return (controlStyle_ & csParentBackground) != 0; }
  void SetParentBackground(bool v);
  bool Showing() const override;
  void Invalidate() override;
  std::wstring GetText() const override;
  void SetText(const std::wstring& s) override;
  RECT ClientRect() const override;
  POINT ClientOrigin() const override;
  void BringToFront() override;
  void SendToBack() override;
  // Child window identifier (reflected WM_MEASUREITEM finds controls by it).
  int ControlId() const { return id_; }

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void WndProc(TMessage& m) override;
  void DefaultHandler(TMessage& m) override;

 protected:
  void Loaded() override;
  virtual void CreateParams(TCreateParams& p);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  void CreateHandle();
  void DestroyHandle();
  // Paints the control itself (not its windowless children) into dc.
  virtual void PaintWindow(HDC dc);
  void PaintHandler(HDC dc);
  // Lays the children out in rect (the client area): alignment, then anchors.
  virtual void AlignControls(TControl* control, RECT& rect);
  virtual void DoEnter();
  virtual void DoExit();
  // Key events; answer true when the key was used up.
  virtual bool DoKeyDown(WORD& key, TShiftState shift);
  virtual bool DoKeyPress(wchar_t& key);
  virtual bool DoKeyUp(WORD& key, TShiftState shift);
  void ApplyBounds(int left, int top, int width, int height) override;
  void SizeChanged() override;
  // Reads the bounds back from the window.
  void UpdateBounds();
  // A notification from a child window (WM_COMMAND, WM_NOTIFY, ...) reflected to it as CN_.
  bool ReflectToChild(HWND child, TMessage& m);
  HBRUSH BackgroundBrush();

 private:
  friend class TControl;
  friend LRESULT CALLBACK StdWndProc(HWND, UINT, WPARAM, LPARAM);
  void AttachHandle(HWND h);
  void DetachHandle();
  void RouteMouse(TMessage& m);
  void SetMouseControl(TControl* c);

  HWND handle_ = nullptr;
  WNDPROC defWndProc_ = nullptr;
  HWND parentWindow_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool tabStop_ = false;
  int alignDisabled_ = 0;
  bool aligning_ = false;
  bool doubleBuffered_ = false;
  int id_ = 0;
  TBrush brush_;
  bool trackingLeave_ = false;
};

// A control without a window, painted by its parent.
class TControlCanvas;
class TGraphicControl : public TControl {
  KIVO_CLASS(TGraphicControl, TControl)
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const;
  void WndProc(TMessage& m) override;

 protected:
  virtual void Paint() {}

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// A windowed control that paints itself on its Canvas.
class TCustomControl : public TWinControl {
  KIVO_CLASS(TCustomControl, TWinControl)
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas* Canvas() const;

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// The canvas of a control: bound to the paint DC while painting, otherwise to a DC of the
// control's window taken on demand and given back after the current message.
class TControlCanvas : public TCanvas {
  KIVO_CLASS(TControlCanvas, TCanvas)
  explicit TControlCanvas(TControl* control) : control_(control) {}
  ~TControlCanvas() override;
  TControl* Control() const { return control_; }
  void FreeWindowDC();

 protected:
  void CreateHandle() override;
  void FreeHandle() override;

 private:
  TControl* control_;
  HWND dcWindow_ = nullptr;
  bool ownsDC_ = false;
};

// An object instance: a window procedure of its own that calls method, for subclassing a raw
// window (SetWindowLongPtr(GWLP_WNDPROC)) with an object's method. Each instance is a distinct
// procedure, so several can be stacked on one window, each calling the one it replaced.
// EOutOfResources when all instances (kMaxObjectInstances) are in use.
constexpr int kMaxObjectInstances = 1024;
WNDPROC MakeObjectInstance(TWndMethod method);
void FreeObjectInstance(WNDPROC instance);

// Shows a control's PopupMenu at a screen point (set by the menu classes); true when shown.
using TPopupHandler = std::function<bool(TControl* control, TComponent* menu, POINT screen)>;
extern TPopupHandler PopupMenuHandler;

// Menu messages of a window (WM_COMMAND from a menu or accelerator, WM_DRAWITEM/WM_MEASUREITEM of
// menu items, WM_INITMENUPOPUP, WM_MENUSELECT, WM_MENUCHAR), set by the menu classes; true when
// the message was handled (its Result set).
using TMenuMessageHandler = std::function<bool(TWinControl* window, TMessage& m)>;
extern TMenuMessageHandler MenuMessageHandler;

// The control of a window made by this layer, found through the window's "ControlOfs..." property.
TWinControl* FindControl(HWND wnd);
// The atom of that property ("ControlOfs%.8X%.8X" of the module instance and the GUI thread).
ATOM ControlAtom();
std::wstring ControlAtomString();
// The form a control sits on (nullptr when none).
TCustomForm* GetParentForm(const TControl* c);
// The control holding the mouse capture (windowless ones included).
TControl* GetCaptureControl();
// Gives back the DCs control canvases took outside painting.
void FreeDeviceContexts();
// The window procedure of every window class the layer registers.
LRESULT CALLBACK StdWndProc(HWND wnd, UINT msg, WPARAM w, LPARAM l);

// ---- Publishing helpers for control classes ---------------------------------------------------
template <class T>
void PublishAlign(TPublisher<T>& p) {
  p.Enumeration(L"Align", {L"alNone", L"alTop", L"alBottom", L"alLeft", L"alRight", L"alClient", L"alCustom"},
                &TControl::Align, &TControl::SetAlign);
  p.Set(L"Anchors", {L"akLeft", L"akTop", L"akRight", L"akBottom"}, &TControl::Anchors, &TControl::SetAnchors);
}
template <class T>
void PublishCaption(TPublisher<T>& p) {
  p.String(L"Caption", &TControl::Caption, &TControl::SetCaption);
}
template <class T>
void PublishText(TPublisher<T>& p) {
  p.String(L"Text", &TControl::Text, &TControl::SetTextProp);
}
template <class T>
void PublishColorFont(TPublisher<T>& p) {
  p.Integer(L"Color", &TControl::Color, &TControl::SetColor);
  p.Boolean(L"ParentColor", &TControl::ParentColor, &TControl::SetParentColor);
  p.Object(L"Font", &TControl::Font, &TControl::SetFont);
  p.Boolean(L"ParentFont", &TControl::ParentFont, &TControl::SetParentFont);
}
template <class T>
void PublishVisibility(TPublisher<T>& p) {
  p.Boolean(L"Enabled", &TControl::Enabled, &TControl::SetEnabled);
  p.Boolean(L"Visible", &TControl::Visible, &TControl::SetVisible);
  p.Boolean(L"ShowHint", &TControl::ShowHint, &TControl::SetShowHint);
}
template <class T>
void PublishTabs(TPublisher<T>& p) {
  p.Integer(L"TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder);
  p.Boolean(L"TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop);
}
template <class T>
void PublishParentBackground(TPublisher<T>& p) {
  p.Boolean(L"ParentBackground", &TWinControl::ParentBackground, &TWinControl::SetParentBackground);
}

}  // namespace kivo
