#include "Controls.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>
#include <mutex>

#include "Forms.h"
#include "Threads.h"

#define GET_X_LPARAM_(lp) (static_cast<int>(static_cast<short>(LOWORD(lp))))
#define GET_Y_LPARAM_(lp) (static_cast<int>(static_cast<short>(HIWORD(lp))))

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TControl)
KIVO_IMPLEMENT_CLASS(TWinControl)
KIVO_IMPLEMENT_CLASS(TGraphicControl)
KIVO_IMPLEMENT_CLASS(TCustomControl)
KIVO_IMPLEMENT_CLASS(TControlCanvas)

// ---- Process-wide state of the GUI thread -----------------------------------------------------
namespace {
thread_local TWinControl* tCreating = nullptr;
TControl* gCaptureControl = nullptr;
TControl* gMouseControl = nullptr;
std::vector<TControlCanvas*> gCanvasesWithDC;
int gNextId = 100;

struct TClassEntry {
  WNDPROC defProc;
};
std::map<std::wstring, TClassEntry>& Classes() {
  static std::map<std::wstring, TClassEntry> m;
  return m;
}
WNDPROC DefProcOf(HWND wnd) {
  wchar_t name[256];
  int n = ::GetClassNameW(wnd, name, 256);
  auto it = Classes().find(LowerCase(std::wstring(name, n > 0 ? n : 0)));
  return it == Classes().end() ? ::DefWindowProcW : it->second.defProc;
}
}  // namespace

// ---- Object instances -------------------------------------------------------------------------
namespace {
struct TInstanceSlot {
  TWndMethod method;
  bool used = false;
};
TInstanceSlot gSlots[kMaxObjectInstances];

LRESULT CallSlot(int n, HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  TInstanceSlot& slot = gSlots[n];
  if (!slot.used || !slot.method) return ::DefWindowProcW(wnd, msg, w, l);
  TWndMethod method = slot.method;  // the method may free its own instance
  TMessage m{msg, w, l, 0};
  try {
    method(m);
  } catch (...) {
    Application()->HandleException(nullptr);
  }
  return m.Result;
}
template <int N>
LRESULT CALLBACK SlotProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  return CallSlot(N, wnd, msg, w, l);
}
template <int... N>
constexpr std::array<WNDPROC, sizeof...(N)> MakeSlotProcs(std::integer_sequence<int, N...>) {
  return {&SlotProc<N>...};
}
const std::array<WNDPROC, kMaxObjectInstances> kSlotProcs = MakeSlotProcs(std::make_integer_sequence<int, kMaxObjectInstances>{});
}  // namespace

WNDPROC MakeObjectInstance(TWndMethod method) {
  for (int i = 0; i < kMaxObjectInstances; ++i)
    if (!gSlots[i].used) {
      gSlots[i].used = true;
      gSlots[i].method = std::move(method);
      return kSlotProcs[i];
    }
  throw EOutOfResources(L"Out of object instances");
}
void FreeObjectInstance(WNDPROC instance) {
  for (int i = 0; i < kMaxObjectInstances; ++i)
    if (kSlotProcs[i] == instance) {
      gSlots[i].used = false;
      gSlots[i].method = nullptr;
      return;
    }
}

TPopupHandler PopupMenuHandler;
TMenuMessageHandler MenuMessageHandler;

std::wstring ControlAtomString() {
  static const std::wstring s = Format(L"ControlOfs%.8X%.8X", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(HInstance()) & 0xFFFFFFFFu),
                                       static_cast<unsigned>(MainThreadID()));
  return s;
}
ATOM ControlAtom() {
  static const ATOM atom = ::GlobalAddAtomW(ControlAtomString().c_str());
  return atom;
}
TWinControl* FindControl(HWND wnd) {
  if (!wnd) return nullptr;
  return static_cast<TWinControl*>(::GetPropW(wnd, MAKEINTATOM(ControlAtom())));
}
TControl* GetCaptureControl() {
  if (gCaptureControl) {
    auto* w = dynamic_cast<TWinControl*>(gCaptureControl);
    HWND h = w ? w->HandleIfAllocated() : (gCaptureControl->Parent() ? gCaptureControl->Parent()->HandleIfAllocated() : nullptr);
    if (h && ::GetCapture() == h) return gCaptureControl;
    gCaptureControl = nullptr;
  }
  return FindControl(::GetCapture());
}
TCustomForm* GetParentForm(const TControl* c) {
  const TControl* top = c;
  while (top && top->Parent()) top = top->Parent();
  return const_cast<TCustomForm*>(dynamic_cast<const TCustomForm*>(top));
}
void FreeDeviceContexts() {
  auto list = gCanvasesWithDC;
  for (TControlCanvas* c : list) c->FreeWindowDC();
}

TShiftState KeysToShiftState(WPARAM keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  if (::GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}
TShiftState KeyDataToShiftState(LPARAM keyData) {
  TShiftState s = 0;
  if (::GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (::GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (keyData & 0x20000000) s |= ssAlt;
  return s;
}

LRESULT CALLBACK StdWndProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  TWinControl* c = FindControl(wnd);
  if (!c) {
    if (!tCreating) return ::CallWindowProcW(DefProcOf(wnd), wnd, msg, w, l);
    c = tCreating;
    tCreating = nullptr;
    c->AttachHandle(wnd);
  }
  TMessage m{msg, w, l, 0};
  try {
    c->WindowProc(m);
  } catch (...) {
    Application()->HandleException(c);
  }
  FreeDeviceContexts();
  return m.Result;
}

// ---- TControl ---------------------------------------------------------------------------------
void TControl::Publish(TPublisher<TControl>& p) {
  p.Integer(L"Left", &TControl::Left, &TControl::SetLeft);
  p.Integer(L"Top", &TControl::Top, &TControl::SetTop);
  p.Integer(L"Width", &TControl::Width, &TControl::SetWidth);
  p.Integer(L"Height", &TControl::Height, &TControl::SetHeight);
  p.Integer(L"Cursor", &TControl::Cursor, &TControl::SetCursor);
  p.String(L"Hint", &TControl::Hint, &TControl::SetHint);
}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() {
  *alive_ = false;
  font_->OnChange = nullptr;
  if (gCaptureControl == this) {
    gCaptureControl = nullptr;
    ::ReleaseCapture();
  }
  if (gMouseControl == this) gMouseControl = nullptr;
  if (TCustomForm* f = GetParentForm(this)) f->DefocusControl(this, true);
  if (parent_) parent_->RemoveControl(this);
}

LRESULT TControl::Perform(UINT msg, WPARAM w, LPARAM l) {
  TMessage m{msg, w, l, 0};
  WindowProc(m);
  return m.Result;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent == this) throw EInvalidOperation(L"A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (parent) {
    parent->InsertControl(this);
    if (parentColor_) {
      color_ = parent->Color();
      Perform(CM_COLORCHANGED);
    }
    if (parentFont_) {
      settingParentFont_ = true;
      font_->Assign(parent->Font());
      settingParentFont_ = false;
    }
    UpdateAnchorRules();
  }
}

RECT TControl::ClientRect() const { return RECT{0, 0, width_, height_}; }
int TControl::ClientWidth() const {
  RECT r = ClientRect();
  return r.right - r.left;
}
int TControl::ClientHeight() const {
  RECT r = ClientRect();
  return r.bottom - r.top;
}
void TControl::SetClientSize(int w, int h) { SetBounds(left_, top_, width_ - ClientWidth() + w, height_ - ClientHeight() + h); }
void TControl::SetClientWidth(int v) { SetClientSize(v, ClientHeight()); }
void TControl::SetClientHeight(int v) { SetClientSize(ClientWidth(), v); }
POINT TControl::ClientOrigin() const {
  if (!parent_) return POINT{left_, top_};
  POINT o = parent_->ClientOrigin();
  return POINT{o.x + left_, o.y + top_};
}
POINT TControl::ClientToScreen(POINT p) const {
  POINT o = ClientOrigin();
  return POINT{p.x + o.x, p.y + o.y};
}
POINT TControl::ScreenToClient(POINT p) const {
  POINT o = ClientOrigin();
  return POINT{p.x - o.x, p.y - o.y};
}

void TControl::ApplyBounds(int left, int top, int width, int height) {
  bool sized = width != width_ || height != height_;
  RECT old = BoundsRect();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (parent_ && parent_->HandleAllocated() && visible_) {
    ::InvalidateRect(parent_->HandleIfAllocated(), &old, TRUE);
    Invalidate();
  }
  if (sized) SizeChanged();
}
void TControl::SizeChanged() { Resize(); }
void TControl::SetBounds(int left, int top, int width, int height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  ApplyBounds(left, top, width, height);
  if (parent_ && !parent_->aligning_) {
    UpdateAnchorRules();
    RequestAlign();
  }
}
void TControl::SetAlignedBounds(int left, int top, int width, int height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  ApplyBounds(left, top, width, height);
}
void TControl::UpdateAnchorRules() {
  if (!parent_ || parent_->aligning_) return;
  RECT pr = parent_->ClientRect();
  // A parent with no area yet (a page not laid out, a hidden notebook page) has squeezed its
  // anchored controls: measured against it they would keep the squeezed size for good.
  if (anchorValid_ && (pr.right <= pr.left || pr.bottom <= pr.top)) return;
  anchorBounds_ = BoundsRect();
  anchorParent_ = SIZE{pr.right - pr.left, pr.bottom - pr.top};
  anchorValid_ = true;
}
void TControl::RequestAlign() {
  if (parent_ && (align_ != TAlign::alNone || anchors_ != (akLeft | akTop))) parent_->Realign();
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}
void TControl::Loaded() {
  TComponent::Loaded();
  // the rule taken when the control was placed stays: the parent may have been resized since,
  // while its alignment waited for the end of loading
  if (!anchorValid_) UpdateAnchorRules();
  if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Perform(CM_VISIBLECHANGED, v ? 1 : 0);
  if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}
bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }
void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Perform(CM_ENABLEDCHANGED);
}
void TControl::SetColor(TColor c) {
  if (c == color_) {
    parentColor_ = false;
    return;
  }
  color_ = c;
  parentColor_ = false;
  Perform(CM_COLORCHANGED);
}
void TControl::SetParentColor(bool v) {
  if (v == parentColor_) return;
  parentColor_ = v;
  if (v && parent_) Perform(CM_PARENTCOLORCHANGED);
}
void TControl::SetParentFont(bool v) {
  if (v == parentFont_) return;
  parentFont_ = v;
  if (v && parent_) Perform(CM_PARENTFONTCHANGED);
}
void TControl::FontChanged() {
  if (!settingParentFont_) parentFont_ = false;
  Perform(CM_FONTCHANGED);
}
std::wstring TControl::GetText() const { return text_; }
void TControl::SetText(const std::wstring& s) {
  if (s == text_) return;
  text_ = s;
  Perform(CM_TEXTCHANGED);
}
void TControl::SetAlign(TAlign a) {
  if (a == align_) return;
  TAlign old = align_;
  align_ = a;
  if (parent_) {
    if (a == TAlign::alNone && old != TAlign::alNone) UpdateAnchorRules();
    parent_->Realign();
  }
}
void TControl::SetAnchors(TAnchors a) {
  if (a == anchors_) return;
  anchors_ = a;
  UpdateAnchorRules();
}
void TControl::SetCursor(TCursor c) {
  if (c == cursor_) return;
  cursor_ = c;
  Perform(CM_CURSORCHANGED);
}
void TControl::SetPopupMenu(TComponent* menu) {
  if (menu == popupMenu_) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = menu;
  if (menu) menu->FreeNotification(this);
}
void TControl::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == TOperation::opRemove && c == popupMenu_) popupMenu_ = nullptr;
}

bool TControl::MouseCapture() const { return GetCaptureControl() == this; }
void TControl::SetMouseCapture(bool v) {
  if (v == MouseCapture()) return;
  if (v) {
    HWND h = nullptr;
    if (auto* w = dynamic_cast<TWinControl*>(this)) h = w->Handle();
    else if (parent_) h = parent_->Handle();
    if (!h) return;
    gCaptureControl = this;
    ::SetCapture(h);
  } else {
    gCaptureControl = nullptr;
    ::ReleaseCapture();
  }
}

void TControl::Invalidate() {
  if (parent_ && parent_->HandleAllocated()) {
    RECT r = BoundsRect();
    ::InvalidateRect(parent_->HandleIfAllocated(), &r, !(controlStyle_ & csOpaque));
  }
}
void TControl::Update() {
  if (parent_) parent_->Update();
}
void TControl::Repaint() {
  Invalidate();
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    if (w->HandleAllocated()) ::UpdateWindow(w->HandleIfAllocated());
  } else if (parent_ && parent_->HandleAllocated()) {
    ::UpdateWindow(parent_->HandleIfAllocated());
  }
}
void TControl::BringToFront() {
  if (!parent_) return;
  auto& l = parent_->controls_;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
  l.push_back(this);
  Invalidate();
}
void TControl::SendToBack() {
  if (!parent_) return;
  auto& l = parent_->controls_;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
  l.insert(l.begin(), this);
  Invalidate();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}

void TControl::HandleMouseDown(TMessage& m, TMouseButton button, TShiftState extra) {
  if ((controlStyle_ & csCaptureMouse) && button == TMouseButton::mbLeft) SetMouseCapture(true);
  if ((controlStyle_ & csClickEvents) && button == TMouseButton::mbLeft) controlState_ |= csClicked;
  if (button == TMouseButton::mbLeft) controlState_ |= csLButtonDown;
  MouseDown(button, KeysToShiftState(m.WParam) | extra, GET_X_LPARAM_(m.LParam), GET_Y_LPARAM_(m.LParam));
}
void TControl::HandleMouseUp(TMessage& m, TMouseButton button) {
  int x = GET_X_LPARAM_(m.LParam), y = GET_Y_LPARAM_(m.LParam);
  bool clicked = button == TMouseButton::mbLeft && (controlState_ & csClicked);
  if (button == TMouseButton::mbLeft) {
    controlState_ &= ~(csClicked | csLButtonDown);
    // only a capture this layer took: a system control releases its own
    if (gCaptureControl == this) SetMouseCapture(false);
  }
  if (clicked) {
    RECT r = ClientRect();
    POINT p{x, y};
    auto alive = alive_;
    if (::PtInRect(&r, p)) Click();
    if (!*alive) return;  // the click handler freed this control
  }
  MouseUp(button, KeysToShiftState(m.WParam), x, y);
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_LBUTTONDOWN:
      HandleMouseDown(m, TMouseButton::mbLeft, 0);
      return;
    case WM_LBUTTONDBLCLK:
      if (controlStyle_ & csDoubleClicks) {
        HandleMouseDown(m, TMouseButton::mbLeft, ssDouble);
        DblClick();
      } else {
        HandleMouseDown(m, TMouseButton::mbLeft, 0);
      }
      return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      HandleMouseDown(m, TMouseButton::mbRight, m.Msg == WM_RBUTTONDBLCLK ? ssDouble : 0);
      return;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      HandleMouseDown(m, TMouseButton::mbMiddle, m.Msg == WM_MBUTTONDBLCLK ? ssDouble : 0);
      return;
    case WM_LBUTTONUP:
      HandleMouseUp(m, TMouseButton::mbLeft);
      return;
    case WM_RBUTTONUP:
      HandleMouseUp(m, TMouseButton::mbRight);
      return;
    case WM_MBUTTONUP:
      HandleMouseUp(m, TMouseButton::mbMiddle);
      return;
    case WM_MOUSEMOVE:
      MouseMove(KeysToShiftState(m.WParam), GET_X_LPARAM_(m.LParam), GET_Y_LPARAM_(m.LParam));
      return;
    case WM_CANCELMODE:
      controlState_ &= ~(csClicked | csLButtonDown);
      if (gCaptureControl == this) SetMouseCapture(false);
      break;
    case WM_CONTEXTMENU:
      if (popupMenu_ && PopupMenuHandler) {
        POINT p{GET_X_LPARAM_(m.LParam), GET_Y_LPARAM_(m.LParam)};
        if (p.x == -1 && p.y == -1) p = ClientToScreen(POINT{width_ / 2, height_ / 2});  // from the keyboard
        if (PopupMenuHandler(this, popupMenu_, p)) {
          m.Result = 1;
          return;
        }
      }
      break;
    case CM_MOUSEENTER:
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case CM_VISIBLECHANGED:
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
      Invalidate();
      return;
    case CM_PARENTCOLORCHANGED:
      if (parentColor_ && parent_) {
        color_ = parent_->Color();
        Perform(CM_COLORCHANGED);
      }
      return;
    case CM_PARENTFONTCHANGED:
      if (parentFont_ && parent_) {
        settingParentFont_ = true;
        font_->Assign(parent_->Font());
        settingParentFont_ = false;
      }
      return;
    case WM_GETTEXTLENGTH:
      if (!dynamic_cast<TWinControl*>(this)) {
        m.Result = static_cast<LRESULT>(text_.size());
        return;
      }
      break;
    default:
      break;
  }
  DefaultHandler(m);
}
void TControl::DefaultHandler(TMessage&) {}

// ---- TWinControl ------------------------------------------------------------------------------
TWinControl::TWinControl(TComponent* owner) : TControl(owner) {
  id_ = gNextId++;
  if (gNextId > 0x7FFF) gNextId = 100;
  brush_.SetColor(Color());
}

void TWinControl::BeforeDestruction() {
  TControl::BeforeDestruction();
  // the whole object still exists: the window's last messages reach every class
  if (handle_) DestroyHandle();
}

TWinControl::~TWinControl() {
  // a WindowProc put in front by another object must not see a half-destroyed control
  WindowProc = [this](TMessage& m) { TWinControl::WndProc(m); };
  if (handle_) DestroyHandle();
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    RemoveControl(c);
    c->Free();
  }
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return handle_;
}
void TWinControl::HandleNeeded() {
  // nothing makes a new window for a control that is going
  if (handle_ || IsDestroying()) return;
  if (parent_) parent_->HandleNeeded();
  CreateHandle();
}
void TWinControl::CreateHandle() {
  if (handle_) return;
  // made with new at run time (not through Create<T>): its loading ends at the latest here
  if (IsLoading() && !(Owner() && Owner()->IsLoading())) EndLoading();
  CreateWnd();
  // windowed children get their windows with the parent, in z-order
  std::vector<TControl*> list = controls_;
  for (TControl* c : list)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->HandleNeeded();
  Realign();
}

void TWinControl::CreateParams(TCreateParams& p) {
  p.Caption = text_;
  p.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (controlStyle_ & csAcceptsControls) p.Style |= WS_CLIPCHILDREN;
  if (Visible()) p.Style |= WS_VISIBLE;
  if (!Enabled()) p.Style |= WS_DISABLED;
  if (tabStop_) p.Style |= WS_TABSTOP;
  p.X = Left();
  p.Y = Top();
  p.Width = Width();
  p.Height = Height();
  p.WndParent = parent_ ? parent_->Handle() : parentWindow_;
  p.WinClassName = ClassName();
}

namespace {
std::wstring RegisterControlClass(TCreateParams& p) {
  std::wstring key = LowerCase(p.WinClassName);
  HINSTANCE inst = HInstance();
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (::GetClassInfoExW(inst, p.WinClassName.c_str(), &existing) && existing.lpfnWndProc == StdWndProc &&
      Classes().count(key))
    return p.WinClassName;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  WNDPROC defProc = ::DefWindowProcW;
  if (!p.SysClassName.empty()) {
    if (!::GetClassInfoExW(nullptr, p.SysClassName.c_str(), &wc)) RaiseLastOSError();
    defProc = wc.lpfnWndProc;
    wc.cbSize = sizeof(wc);
  } else {
    wc.style = p.ClassStyle;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = p.Background;
  }
  // a class of that name left by someone else with another procedure is replaced
  if (existing.lpfnWndProc && existing.lpfnWndProc != StdWndProc) ::UnregisterClassW(p.WinClassName.c_str(), inst);
  wc.lpfnWndProc = StdWndProc;
  wc.hInstance = inst;
  wc.lpszClassName = p.WinClassName.c_str();
  wc.hIconSm = nullptr;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastOSError();
  Classes()[key] = TClassEntry{defProc};
  return p.WinClassName;
}
}  // namespace

void TWinControl::CreateWnd() {
  TCreateParams p;
  CreateParams(p);
  if ((p.Style & WS_CHILD) && !p.WndParent)
    throw EInvalidOperation(L"Control '" + Name() + L"' has no parent window");
  RegisterControlClass(p);
  defWndProc_ = Classes()[LowerCase(p.WinClassName)].defProc;
  tCreating = this;
  HWND h = ::CreateWindowExW(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                             p.WndParent, (p.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<intptr_t>(id_)) : nullptr,
                             HInstance(), p.Param);
  DWORD err = ::GetLastError();
  tCreating = nullptr;
  if (!h) {
    handle_ = nullptr;
    throw EOutOfResources(L"Error creating window: " + SysErrorMessage(err));
  }
  if (!handle_) AttachHandle(h);
  if (!p.SysClassName.empty()) ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 0);
  UpdateBounds();
}

void TWinControl::AttachHandle(HWND h) {
  handle_ = h;
  if (!defWndProc_) defWndProc_ = DefProcOf(h);
  ::SetPropW(h, MAKEINTATOM(ControlAtom()), reinterpret_cast<HANDLE>(this));
}
void TWinControl::DetachHandle() {
  if (!handle_) return;
  ::RemovePropW(handle_, MAKEINTATOM(ControlAtom()));
  handle_ = nullptr;
}

void TWinControl::DestroyWnd() {
  // the text lives on in the object until the next window
  text_ = GetText();
  if (handle_) ::DestroyWindow(handle_);
}
void TWinControl::DestroyHandle() {
  if (!handle_) return;
  IncludeControlState(csDestroyingHandle);
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
  DestroyWnd();
  DetachHandle();
  ExcludeControlState(csDestroyingHandle);
}
void TWinControl::RecreateWnd() {
  if (handle_) Perform(CM_RECREATEWND);
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent == Parent()) return;
  if (handle_) {
    bool child = (::GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD) != 0;
    bool willBeChild = parent != nullptr || parentWindow_ != nullptr;
    // a child window cannot live without a parent window; a top-level one changes its kind
    if (child != willBeChild || (!parent && !parentWindow_)) DestroyHandle();
  }
  TControl::SetParent(parent);
}

void TWinControl::SetParentWindow(HWND w) {
  if (parent_ || w == parentWindow_) return;
  bool wasChild = handle_ && (::GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD);
  parentWindow_ = w;
  if (handle_) {
    if (w && wasChild) ::SetParent(handle_, w);
    else DestroyHandle();
  }
}

void TWinControl::InsertControl(TControl* c) {
  if (!c || c->parent_ == this) return;
  c->parent_ = this;
  controls_.push_back(c);
  if (auto* w = dynamic_cast<TWinControl*>(c)) {
    tabList_.push_back(w);
    if (handle_) {
      if (w->handle_) {
        // the same window moves over: it keeps its state
        ::SetParent(w->handle_, handle_);
        ::SetWindowPos(w->handle_, nullptr, w->Left(), w->Top(), w->Width(), w->Height(), SWP_NOZORDER | SWP_NOACTIVATE);
        if (w->Visible()) ::ShowWindow(w->handle_, SW_SHOWNA);
      } else {
        w->HandleNeeded();
      }
    } else if (w->handle_) {
      w->DestroyHandle();  // made again with this parent's window
    }
  } else {
    c->Invalidate();
  }
  if (c->Align() != TAlign::alNone) Realign();
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(c), 1);
}
void TWinControl::RemoveControl(TControl* c) {
  if (!c || c->parent_ != this) return;
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(c), 0);
  if (c == gMouseControl) gMouseControl = nullptr;
  if (auto* w = dynamic_cast<TWinControl*>(c)) {
    tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), w), tabList_.end());
  } else {
    c->Invalidate();
  }
  controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
  c->parent_ = nullptr;
  if (c->Align() != TAlign::alNone && !IsDestroying()) Realign();
}
bool TWinControl::ContainsControl(const TControl* c) const {
  for (; c; c = c->Parent())
    if (c == this) return true;
  return false;
}
TControl* TWinControl::ControlAtPos(POINT p, bool allowDisabled, bool allowWinControls) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    bool windowed = dynamic_cast<TWinControl*>(c) != nullptr;
    if (windowed && !allowWinControls) continue;
    if (!c->Visible() || (!c->Enabled() && !allowDisabled)) continue;
    RECT r = c->BoundsRect();
    if (::PtInRect(&r, p)) return c;
  }
  return nullptr;
}

int TWinControl::TabOrder() const {
  if (!parent_) return -1;
  auto& l = parent_->tabList_;
  auto it = std::find(l.begin(), l.end(), this);
  return it == l.end() ? -1 : static_cast<int>(it - l.begin());
}
void TWinControl::SetTabOrder(int order) {
  if (!parent_) return;
  auto& l = parent_->tabList_;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
  if (order < 0 || order > static_cast<int>(l.size())) order = static_cast<int>(l.size());
  l.insert(l.begin() + order, this);
}
void TWinControl::SetTabStop(bool v) {
  if (v == tabStop_) return;
  tabStop_ = v;
  if (handle_) {
    LONG s = ::GetWindowLongW(handle_, GWL_STYLE);
    ::SetWindowLongW(handle_, GWL_STYLE, v ? (s | WS_TABSTOP) : (s & ~WS_TABSTOP));
  }
  Perform(CM_TABSTOPCHANGED);
}
void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* w : tabList_) {
    list.push_back(w);
    w->GetTabOrderList(list);
  }
}
TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward, bool checkTabStop, bool checkParent) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (list[i] == current) start = i;
  if (start < 0) start = forward ? n - 1 : 0;
  int i = start;
  for (int k = 0; k < n; ++k) {
    i = forward ? (i + 1) % n : (i - 1 + n) % n;
    TWinControl* c = list[i];
    if (c == current) break;
    if ((!checkTabStop || c->TabStop()) && (!checkParent || c->Parent() == this) && c->CanFocus()) return c;
  }
  return nullptr;
}
void TWinControl::SelectNext(TWinControl* current, bool forward, bool checkTabStop) {
  if (TWinControl* c = FindNextControl(current, forward, checkTabStop, false)) c->SetFocus();
}

bool TWinControl::Focused() const { return handle_ && ::GetFocus() == handle_; }
bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}
void TWinControl::SetFocus() {
  if (TCustomForm* f = GetParentForm(this)) {
    if (f != this) f->SetActiveControl(this);
    else ::SetFocus(Handle());
  } else {
    ::SetFocus(Handle());
  }
}

void TWinControl::DisableAlign() { ++alignDisabled_; }
void TWinControl::EnableAlign() {
  if (alignDisabled_ > 0 && --alignDisabled_ == 0 && (ControlState() & csAlignmentNeeded)) Realign();
}
void TWinControl::Realign() {
  if (alignDisabled_ > 0 || IsLoading()) {
    IncludeControlState(csAlignmentNeeded);
    return;
  }
  if (aligning_) return;
  ExcludeControlState(csAlignmentNeeded);
  RECT r = ClientRect();
  DisableAlign();
  aligning_ = true;
  try {
    AlignControls(nullptr, r);
  } catch (...) {
    aligning_ = false;
    --alignDisabled_;
    throw;
  }
  aligning_ = false;
  --alignDisabled_;
}

void TWinControl::AlignControls(TControl*, RECT& rect) {
  auto collect = [&](TAlign a) {
    std::vector<TControl*> l;
    for (TControl* c : controls_)
      if (c->Align() == a && c->Visible()) l.push_back(c);
    std::stable_sort(l.begin(), l.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case TAlign::alTop: return x->Top() < y->Top();
        case TAlign::alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case TAlign::alLeft: return x->Left() < y->Left();
        case TAlign::alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    return l;
  };
  for (TControl* c : collect(TAlign::alTop)) {
    c->SetAlignedBounds(rect.left, rect.top, rect.right - rect.left, c->Height());
    rect.top += c->Height();
  }
  for (TControl* c : collect(TAlign::alBottom)) {
    c->SetAlignedBounds(rect.left, rect.bottom - c->Height(), rect.right - rect.left, c->Height());
    rect.bottom -= c->Height();
  }
  for (TControl* c : collect(TAlign::alLeft)) {
    c->SetAlignedBounds(rect.left, rect.top, c->Width(), rect.bottom - rect.top);
    rect.left += c->Width();
  }
  for (TControl* c : collect(TAlign::alRight)) {
    c->SetAlignedBounds(rect.right - c->Width(), rect.top, c->Width(), rect.bottom - rect.top);
    rect.right -= c->Width();
  }
  for (TControl* c : collect(TAlign::alClient))
    c->SetAlignedBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);

  // anchors of the free controls follow the client size
  RECT cr = ClientRect();
  int cw = cr.right - cr.left, ch = cr.bottom - cr.top;
  for (TControl* c : controls_) {
    if (c->Align() != TAlign::alNone || !c->anchorValid_ || c->Anchors() == (akLeft | akTop)) continue;
    TAnchors a = c->Anchors();
    const RECT& b = c->anchorBounds_;
    int dw = cw - c->anchorParent_.cx, dh = ch - c->anchorParent_.cy;
    int l = b.left, t = b.top, w = b.right - b.left, h = b.bottom - b.top;
    if ((a & akLeft) && (a & akRight)) w += dw;
    else if (a & akRight) l += dw;
    else if (!(a & akLeft)) l += dw / 2;
    if ((a & akTop) && (a & akBottom)) h += dh;
    else if (a & akBottom) t += dh;
    else if (!(a & akTop)) t += dh / 2;
    c->SetAlignedBounds(l, t, w < 0 ? 0 : w, h < 0 ? 0 : h);
  }
}

void TWinControl::ApplyBounds(int left, int top, int width, int height) {
  if (handle_) {
    // the window answers with WM_WINDOWPOSCHANGED, which reads the bounds back
    ::SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  TControl::ApplyBounds(left, top, width, height);
}
void TWinControl::SizeChanged() {
  // the children are laid out first, so that OnResize sees them at the new size
  Realign();
  Resize();
}
void TWinControl::UpdateBounds() {
  if (!handle_) return;
  RECT r;
  ::GetWindowRect(handle_, &r);
  if (::IsIconic(handle_)) return;
  HWND parentWnd = ::GetParent(handle_);
  if ((::GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD) && parentWnd) ::MapWindowPoints(nullptr, parentWnd, reinterpret_cast<POINT*>(&r), 2);
  TControl::ApplyBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool TWinControl::Showing() const {
  if (handle_) return ::IsWindowVisible(handle_) != FALSE;
  return false;
}
void TWinControl::Invalidate() {
  if (handle_) ::InvalidateRect(handle_, nullptr, !(controlStyle_ & csOpaque));
}
std::wstring TWinControl::GetText() const {
  if (!handle_) return text_;
  int n = static_cast<int>(::SendMessageW(handle_, WM_GETTEXTLENGTH, 0, 0));
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  n = static_cast<int>(::SendMessageW(handle_, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data())));
  s.resize(n > 0 ? n : 0);
  return s;
}
void TWinControl::SetText(const std::wstring& s) {
  if (!handle_) {
    TControl::SetText(s);
    return;
  }
  if (s == GetText()) return;
  ::SendMessageW(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str()));
  Perform(CM_TEXTCHANGED);
}
RECT TWinControl::ClientRect() const {
  if (handle_ && !::IsIconic(handle_)) {
    RECT r;
    ::GetClientRect(handle_, &r);
    return r;
  }
  return TControl::ClientRect();
}
POINT TWinControl::ClientOrigin() const {
  HWND h = const_cast<TWinControl*>(this)->Handle();
  POINT p{0, 0};
  ::ClientToScreen(h, &p);
  return p;
}
void TWinControl::BringToFront() {
  TControl::BringToFront();
  if (handle_) ::SetWindowPos(handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
void TWinControl::SendToBack() {
  TControl::SendToBack();
  if (handle_) ::SetWindowPos(handle_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
void TWinControl::SetParentBackground(bool v) {
  if (v == ParentBackground()) return;
  if (v) controlStyle_ |= csParentBackground;
  else controlStyle_ &= ~csParentBackground;
  Invalidate();
}

HBRUSH TWinControl::BackgroundBrush() {
  if (brush_.Color() != Color()) brush_.SetColor(Color());
  return brush_.Handle();
}

void TWinControl::PaintWindow(HDC dc) {
  TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
  DefaultHandler(m);
}
void TWinControl::PaintHandler(HDC dc) {
  PaintWindow(dc);
  PaintControls(dc, nullptr);
}
void TWinControl::PaintControls(HDC dc, TControl* first) {
  bool started = first == nullptr;
  for (TControl* c : controls_) {
    if (!started) {
      if (c != first) continue;
      started = true;
    }
    if (dynamic_cast<TWinControl*>(c) || !c->Visible()) continue;
    RECT r = c->BoundsRect(), clip, inter;
    if (::GetClipBox(dc, &clip) != NULLREGION && !::IntersectRect(&inter, &r, &clip)) continue;
    int saved = ::SaveDC(dc);
    POINT org;
    ::GetViewportOrgEx(dc, &org);
    ::SetViewportOrgEx(dc, org.x + c->Left(), org.y + c->Top(), nullptr);
    ::IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    ::RestoreDC(dc, saved);
  }
}
void TWinControl::PaintTo(HDC dc, int x, int y) {
  HandleNeeded();
  int saved = ::SaveDC(dc);
  POINT org;
  ::GetViewportOrgEx(dc, &org);
  ::SetViewportOrgEx(dc, org.x + x, org.y + y, nullptr);
  ::IntersectClipRect(dc, 0, 0, Width(), Height());
  Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dc));
  Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  ::RestoreDC(dc, saved);
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (w->Visible()) w->PaintTo(dc, x + w->Left(), y + w->Top());
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}
bool TWinControl::DoKeyDown(WORD& key, TShiftState shift) {
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview() && f->DoKeyDown(key, shift)) return true;
  if (OnKeyDown) OnKeyDown(this, key, shift);
  return key == 0;
}
bool TWinControl::DoKeyUp(WORD& key, TShiftState shift) {
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview() && f->DoKeyUp(key, shift)) return true;
  if (OnKeyUp) OnKeyUp(this, key, shift);
  return key == 0;
}
bool TWinControl::DoKeyPress(wchar_t& key) {
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview() && f->DoKeyPress(key)) return true;
  if (OnKeyPress) OnKeyPress(this, key);
  return key == 0;
}

bool TWinControl::ReflectToChild(HWND child, TMessage& m) {
  TWinControl* c = FindControl(child);
  if (!c || c == this) return false;
  m.Result = c->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
  return true;
}

void TWinControl::SetMouseControl(TControl* c) {
  if (c == gMouseControl) return;
  TControl* old = gMouseControl;
  gMouseControl = c;
  if (old) old->Perform(CM_MOUSELEAVE);
  if (c) c->Perform(CM_MOUSEENTER);
}

void TWinControl::RouteMouse(TMessage& m) {
  POINT p{GET_X_LPARAM_(m.LParam), GET_Y_LPARAM_(m.LParam)};
  TControl* target = nullptr;
  TControl* cap = gCaptureControl;
  if (cap && cap->Parent() == this && !dynamic_cast<TWinControl*>(cap) && ::GetCapture() == handle_) target = cap;
  else target = ControlAtPos(p, false);
  if (m.Msg == WM_MOUSEMOVE) {
    SetMouseControl(target ? target : this);
    if (!trackingLeave_) {
      TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, handle_, 0};
      trackingLeave_ = ::TrackMouseEvent(&t) != FALSE;
    }
  }
  if (target) {
    TMessage cm{m.Msg, m.WParam, MAKELPARAM(p.x - target->Left(), p.y - target->Top()), 0};
    target->WindowProc(cm);
    m.Result = cm.Result;
    return;
  }
  TControl::WndProc(m);
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      if (handle_) {
        auto alive = AliveToken();
        RouteMouse(m);
        if (*alive && handle_) DefaultHandler(m);  // a click handler may have freed the control
        return;
      }
      break;
    case WM_CONTEXTMENU:
      if (handle_ && m.LParam != -1) {
        POINT p{GET_X_LPARAM_(m.LParam), GET_Y_LPARAM_(m.LParam)};
        ::ScreenToClient(handle_, &p);
        if (TControl* c = ControlAtPos(p, false)) {
          c->WindowProc(m);
          if (m.Result) return;
        }
      }
      break;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      if (gMouseControl && (gMouseControl == this || gMouseControl->Parent() == this)) SetMouseControl(nullptr);
      DefaultHandler(m);
      return;
    case WM_SETCURSOR:
      if (Screen()->Cursor() != crDefault) {
        ::SetCursor(Screen()->Cursors(Screen()->Cursor()));
        m.Result = 1;
        return;
      }
      if (reinterpret_cast<HWND>(m.WParam) == handle_ && LOWORD(m.LParam) == HTCLIENT) {
        POINT p;
        ::GetCursorPos(&p);
        ::ScreenToClient(handle_, &p);
        TControl* c = ControlAtPos(p, false);
        TCursor cur = c ? c->Cursor() : Cursor();
        if (cur == crDefault && c) cur = Cursor();
        if (cur != crDefault) {
          ::SetCursor(Screen()->Cursors(cur));
          m.Result = 1;
          return;
        }
      }
      break;
    case WM_PAINT: {
      HDC dc = reinterpret_cast<HDC>(m.WParam);
      if (dc) {
        PaintHandler(dc);
        return;
      }
      bool hasGraphic = std::any_of(controls_.begin(), controls_.end(), [](TControl* c) { return !dynamic_cast<TWinControl*>(c); });
      if (defWndProc_ != ::DefWindowProcW && !hasGraphic && !doubleBuffered_) break;  // a system control paints itself
      PAINTSTRUCT ps;
      HDC pdc = ::BeginPaint(handle_, &ps);
      if (doubleBuffered_) {
        RECT cr;
        ::GetClientRect(handle_, &cr);
        TMemDCOwner mem(::CreateCompatibleDC(pdc));
        TBitmapOwner bmp(::CreateCompatibleBitmap(pdc, cr.right > 0 ? cr.right : 1, cr.bottom > 0 ? cr.bottom : 1));
        {
          TSelectObject sel(mem.Get(), bmp.Get());
          Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem.Get()), reinterpret_cast<LPARAM>(mem.Get()));
          PaintHandler(mem.Get());
          ::BitBlt(pdc, 0, 0, cr.right, cr.bottom, mem.Get(), 0, 0, SRCCOPY);
        }
      } else {
        PaintHandler(pdc);
      }
      ::EndPaint(handle_, &ps);
      return;
    }
    case WM_ERASEBKGND:
      if (defWndProc_ == ::DefWindowProcW) {
        RECT r;
        ::GetClientRect(handle_, &r);
        if (HBRUSH b = BackgroundBrush()) ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, b);
        m.Result = 1;
        return;
      }
      break;
    case WM_COMMAND:
      if (m.LParam && ReflectToChild(reinterpret_cast<HWND>(m.LParam), m)) return;
      if (!m.LParam && MenuMessageHandler && MenuMessageHandler(this, m)) return;
      break;
    case WM_INITMENUPOPUP:
    case WM_MENUSELECT:
    case WM_MENUCHAR:
      if (MenuMessageHandler && MenuMessageHandler(this, m)) return;
      break;
    case WM_SYSCHAR:
      // Alt+key: the form's controls (accelerators) first, then the window's menu
      if (TCustomForm* f = GetParentForm(this))
        if (f->Perform(CM_DIALOGCHAR, m.WParam, m.LParam)) {
          m.Result = 0;
          return;
        }
      break;
    case WM_NOTIFY:
      if (m.LParam && ReflectToChild(reinterpret_cast<NMHDR*>(m.LParam)->hwndFrom, m)) return;
      break;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      if (m.LParam && ReflectToChild(reinterpret_cast<HWND>(m.LParam), m)) return;
      break;
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
      if (d && d->CtlType != ODT_MENU && ReflectToChild(d->hwndItem, m)) return;
      if (d && d->CtlType == ODT_MENU && MenuMessageHandler && MenuMessageHandler(this, m)) return;
      break;
    }
    case WM_COMPAREITEM: {
      auto* d = reinterpret_cast<COMPAREITEMSTRUCT*>(m.LParam);
      if (d && ReflectToChild(d->hwndItem, m)) return;
      break;
    }
    case WM_DELETEITEM: {
      auto* d = reinterpret_cast<DELETEITEMSTRUCT*>(m.LParam);
      if (d && ReflectToChild(d->hwndItem, m)) return;
      break;
    }
    case WM_MEASUREITEM: {
      auto* d = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
      if (d && d->CtlType != ODT_MENU)
        for (TControl* c : controls_)
          if (auto* w = dynamic_cast<TWinControl*>(c))
            if (w->id_ == static_cast<int>(d->CtlID) && w->handle_ && ReflectToChild(w->handle_, m)) return;
      if (d && d->CtlType == ODT_MENU && MenuMessageHandler && MenuMessageHandler(this, m)) return;
      break;
    }
    case CN_CTLCOLORMSGBOX:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORDLG:
    case CN_CTLCOLORSCROLLBAR:
    case CN_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(m.WParam);
      ::SetTextColor(dc, ColorToRGB(Font()->Color()));
      ::SetBkColor(dc, ColorToRGB(Color()));
      m.Result = reinterpret_cast<LRESULT>(BackgroundBrush());
      return;
    }
    case WM_WINDOWPOSCHANGED:
      DefaultHandler(m);
      UpdateBounds();
      return;
    case WM_SETFOCUS:
      if (TCustomForm* f = GetParentForm(this)) f->FocusControlChanged(this);
      DefaultHandler(m);
      return;
    case CM_ENTER:
      DoEnter();
      return;
    case CM_EXIT:
      DoExit();
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(m.WParam);
      if (DoKeyDown(key, KeyDataToShiftState(m.LParam))) return;
      m.WParam = key;
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(m.WParam);
      if (DoKeyUp(key, KeyDataToShiftState(m.LParam))) return;
      m.WParam = key;
      break;
    }
    case WM_CHAR: {
      wchar_t key = static_cast<wchar_t>(m.WParam);
      if (DoKeyPress(key)) return;
      m.WParam = key;
      break;
    }
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
      // dialog keys the control does not want go to its form
      UINT code = handle_ ? static_cast<UINT>(::SendMessageW(handle_, WM_GETDLGCODE, m.WParam, 0)) : 0;
      WORD key = static_cast<WORD>(m.WParam);
      bool dialogKey = key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE || key == VK_LEFT || key == VK_RIGHT ||
                       key == VK_UP || key == VK_DOWN || key == VK_CANCEL;
      if (dialogKey && !(code & DLGC_WANTALLKEYS) && !(key == VK_TAB && (code & DLGC_WANTTAB)) &&
          !((key >= VK_LEFT && key <= VK_DOWN) && (code & DLGC_WANTARROWS)))
        if (TCustomForm* f = GetParentForm(this))
          if (f->Perform(CM_DIALOGKEY, m.WParam, m.LParam)) {
            m.Result = 1;
            return;
          }
      m.Result = 0;
      return;
    }
    case CM_VISIBLECHANGED:
      if (handle_) ::ShowWindow(handle_, Visible() ? SW_SHOWNA : SW_HIDE);
      return;
    case CM_ENABLEDCHANGED:
      if (handle_) ::EnableWindow(handle_, Enabled());
      return;
    case CM_COLORCHANGED:
      brush_.SetColor(Color());
      Invalidate();
      for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_PARENTCOLORCHANGED);
      return;
    case CM_FONTCHANGED:
      if (handle_ && defWndProc_ != ::DefWindowProcW)
        ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), TRUE);
      Invalidate();
      for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_PARENTFONTCHANGED);
      return;
    case CM_FOCUSCHANGED:
      for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(m.Msg, m.WParam, m.LParam);
      return;
    case CM_DIALOGCHAR:
    case CM_DIALOGKEY:
      // containers ask their children (accelerators, default and cancel buttons)
      for (TControl* c : std::vector<TControl*>(controls_))
        if ((m.Result = c->Perform(m.Msg, m.WParam, m.LParam)) != 0) return;
      m.Result = 0;
      return;
    case CM_RECREATEWND: {
      bool focused = Focused();
      DestroyHandle();
      HandleNeeded();
      if (focused) ::SetFocus(handle_);
      return;
    }
    case WM_NCDESTROY:
      DefaultHandler(m);
      if (gMouseControl && (gMouseControl == this || gMouseControl->Parent() == this)) gMouseControl = nullptr;
      DetachHandle();
      return;
    default:
      break;
  }
  TControl::WndProc(m);
}

void TWinControl::DefaultHandler(TMessage& m) {
  if (!handle_) return;
  m.Result = ::CallWindowProcW(defWndProc_ ? defWndProc_ : ::DefWindowProcW, handle_, m.Msg, m.WParam, m.LParam);
}

void TWinControl::Loaded() {
  TControl::Loaded();
  if (ControlState() & csAlignmentNeeded) Realign();
}

// ---- TGraphicControl, TCustomControl ----------------------------------------------------------
TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}
TGraphicControl::~TGraphicControl() = default;
TCanvas* TGraphicControl::Canvas() const { return canvas_.get(); }
void TGraphicControl::WndProc(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    if (dc) {
      TCanvasBinding bind(canvas_.get(), dc);
      Paint();
    }
    return;
  }
  TControl::WndProc(m);
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}
TCustomControl::~TCustomControl() {
  // the window may still paint during the base destructor's DestroyHandle
  if (HandleAllocated()) DestroyHandle();
}
TCanvas* TCustomControl::Canvas() const { return canvas_.get(); }
void TCustomControl::PaintWindow(HDC dc) {
  TCanvasBinding bind(canvas_.get(), dc);
  Paint();
}

TControlCanvas::~TControlCanvas() { FreeWindowDC(); }
void TControlCanvas::CreateHandle() {
  TWinControl* w = dynamic_cast<TWinControl*>(control_);
  HWND wnd = w ? w->Handle() : (control_->Parent() ? control_->Parent()->Handle() : nullptr);
  if (!wnd) return;
  HDC dc = ::GetDCEx(wnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!dc) return;
  if (!w) {
    ::SetViewportOrgEx(dc, control_->Left(), control_->Top(), nullptr);
    ::IntersectClipRect(dc, 0, 0, control_->Width(), control_->Height());
  }
  dcWindow_ = wnd;
  ownsDC_ = true;
  dc_ = dc;
  gCanvasesWithDC.push_back(this);
}
void TControlCanvas::FreeHandle() { FreeWindowDC(); }
void TControlCanvas::FreeWindowDC() {
  if (!ownsDC_) return;
  HDC dc = dc_;
  dc_ = nullptr;
  ownsDC_ = false;
  ::ReleaseDC(dcWindow_, dc);
  dcWindow_ = nullptr;
  gCanvasesWithDC.erase(std::remove(gCanvasesWithDC.begin(), gCanvasesWithDC.end(), this), gCanvasesWithDC.end());
}

}  // namespace kivo
