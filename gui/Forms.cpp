#include "Forms.h"

#include <algorithm>

#include "Threads.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TScrollingWinControl)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TCustomForm)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TForm)
KIVO_IMPLEMENT_CLASS(TCustomFrame)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TFrame)
KIVO_IMPLEMENT_CLASS(TApplication)
KIVO_IMPLEMENT_CLASS(TScreen)

namespace {
TApplication* gApplication = nullptr;
TScreen* gScreen = nullptr;
}  // namespace

TApplication* Application() {
  if (!gApplication) gApplication = new TApplication(nullptr);
  return gApplication;
}
TScreen* Screen() {
  if (!gScreen) gScreen = new TScreen(nullptr);
  return gScreen;
}
void DoneApplication() {
  // the objects stay reachable while they go: forms ask for them while they are destroyed
  if (gApplication) {
    gApplication->Free();
    gApplication = nullptr;
  }
  if (gScreen) {
    gScreen->Free();
    gScreen = nullptr;
  }
}

// ---- TScrollingWinControl ---------------------------------------------------------------------
TScrollingWinControl::TScrollingWinControl(TComponent* owner) : TWinControl(owner) {}

// ---- TCustomForm ------------------------------------------------------------------------------
void TCustomForm::Publish(TPublisher<TCustomForm>& p) {
  p.Boolean(L"AutoScroll", &TScrollingWinControl::AutoScroll, &TScrollingWinControl::SetAutoScroll);
  p.Enumeration(L"BorderStyle", {L"bsNone", L"bsSingle", L"bsSizeable", L"bsDialog", L"bsToolWindow", L"bsSizeToolWin"},
                &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle);
  p.Set(L"BorderIcons", {L"biSystemMenu", L"biMinimize", L"biMaximize", L"biHelp"}, &TCustomForm::BorderIcons,
        &TCustomForm::SetBorderIcons);
  p.Enumeration(L"FormStyle", {L"fsNormal", L"fsMDIChild", L"fsMDIForm", L"fsStayOnTop"}, &TCustomForm::FormStyle,
                &TCustomForm::SetFormStyle);
  p.Enumeration(L"Position",
                {L"poDesigned", L"poDefault", L"poDefaultPosOnly", L"poDefaultSizeOnly", L"poScreenCenter", L"poDesktopCenter",
                 L"poMainFormCenter", L"poOwnerFormCenter"},
                &TCustomForm::Position, &TCustomForm::SetPosition);
  p.Enumeration(L"WindowState", {L"wsNormal", L"wsMinimized", L"wsMaximized"}, &TCustomForm::WindowState,
                &TCustomForm::SetWindowState);
  p.Boolean(L"KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview);
  p.Integer(L"ClientWidth", &TControl::ClientWidth, &TControl::SetClientWidth);
  p.Integer(L"ClientHeight", &TControl::ClientHeight, &TControl::SetClientHeight);
}
void TForm::Publish(TPublisher<TForm>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
}

TCustomForm::TCustomForm(TComponent* owner) : TScrollingWinControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {
  SetLoading(true);  // components made by the constructors load with the form
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  SetParentFont(false);
  SetParentColor(false);
  TControl::SetBounds(0, 0, 320, 240);
  Screen()->forms_.push_back(this);
}

TCustomForm::~TCustomForm() {
  if (gScreen) {
    auto& f = gScreen->forms_;
    f.erase(std::remove(f.begin(), f.end(), this), f.end());
    if (gScreen->activeForm_ == this) gScreen->activeForm_ = nullptr;
  }
  if (HandleAllocated()) DestroyHandle();
}

void TCustomForm::AfterConstruction() {
  TScrollingWinControl::AfterConstruction();
  DoCreate();
  // a form its description makes visible shows once it is complete
  if (showWhenLoaded_) {
    showWhenLoaded_ = false;
    Show();
  }
}
void TCustomForm::BeforeDestruction() {
  Destroying();
  DoDestroy();
  if (gApplication && gApplication->mainForm_ == this) gApplication->mainForm_ = nullptr;
  TScrollingWinControl::BeforeDestruction();
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}
void TCustomForm::DoDestroy() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      Application()->HandleException(this);
    }
  }
}
void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}
void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}
void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

void TCustomForm::FrameStyle(DWORD& style, DWORD& exStyle) const {
  style = 0;
  exStyle = 0;
  switch (borderStyle_) {
    case TFormBorderStyle::bsNone: style |= WS_POPUP; break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow: style |= WS_CAPTION | WS_BORDER; break;
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsSizeToolWin: style |= WS_CAPTION | WS_THICKFRAME; break;
    case TFormBorderStyle::bsDialog:
      style |= WS_POPUP | WS_CAPTION;
      exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
  }
  if (borderStyle_ != TFormBorderStyle::bsNone) {
    if (borderIcons_ & biSystemMenu) {
      style |= WS_SYSMENU;
      if (borderStyle_ != TFormBorderStyle::bsDialog && borderStyle_ != TFormBorderStyle::bsToolWindow &&
          borderStyle_ != TFormBorderStyle::bsSizeToolWin) {
        if (borderIcons_ & biMinimize) style |= WS_MINIMIZEBOX;
        if (borderIcons_ & biMaximize) style |= WS_MAXIMIZEBOX;
      }
    }
    if ((borderIcons_ & biHelp) && !(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))) exStyle |= WS_EX_CONTEXTHELP;
  }
  if (borderStyle_ == TFormBorderStyle::bsToolWindow || borderStyle_ == TFormBorderStyle::bsSizeToolWin)
    exStyle |= WS_EX_TOOLWINDOW;
  if (formStyle_ == TFormStyle::fsStayOnTop) exStyle |= WS_EX_TOPMOST;
  if (Parent() || ParentWindow()) style = (style & ~WS_POPUP) | WS_CHILD;
}

void TCustomForm::CreateParams(TCreateParams& p) {
  TScrollingWinControl::CreateParams(p);
  DWORD style, ex;
  FrameStyle(style, ex);
  p.Style = style | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  p.ExStyle = ex;
  if (Parent() || ParentWindow()) {
    if (Visible()) p.Style |= WS_VISIBLE;
    p.WndParent = Parent() ? Parent()->Handle() : ParentWindow();
  } else {
    p.WndParent = Application()->Handle();
  }
}
void TCustomForm::CreateWnd() {
  TScrollingWinControl::CreateWnd();
  if (icon_) ::SendMessageW(HandleIfAllocated(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
  if (menu_) ::SetMenu(HandleIfAllocated(), menu_);
}

RECT TCustomForm::ClientRect() const {
  if (HandleAllocated()) return TScrollingWinControl::ClientRect();
  // without a window: the frame its window will have
  DWORD style, ex;
  FrameStyle(style, ex);
  RECT r{0, 0, 0, 0};
  ::AdjustWindowRectEx(&r, style, menu_ != nullptr, ex);
  int w = Width() - (r.right - r.left), h = Height() - (r.bottom - r.top);
  return RECT{0, 0, w > 0 ? w : 0, h > 0 ? h : 0};
}

void TCustomForm::PaintWindow(HDC dc) {
  if (!OnPaint) return;
  TCanvasBinding bind(canvas_.get(), dc);
  OnPaint(this);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  RecreateWnd();
}
void TCustomForm::SetBorderIcons(TBorderIcons i) {
  if (i == borderIcons_) return;
  borderIcons_ = i;
  RecreateWnd();
}
void TCustomForm::SetFormStyle(TFormStyle s) {
  if (s == formStyle_) return;
  formStyle_ = s;
  if (HandleAllocated())
    ::SetWindowPos(HandleIfAllocated(), s == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
TWindowState TCustomForm::WindowState() const {
  if (HandleAllocated()) {
    if (::IsIconic(HandleIfAllocated())) return TWindowState::wsMinimized;
    if (::IsZoomed(HandleIfAllocated())) return TWindowState::wsMaximized;
    if (Visible()) return TWindowState::wsNormal;
  }
  return windowState_;
}
void TCustomForm::SetWindowState(TWindowState s) {
  windowState_ = s;
  if (HandleAllocated() && Visible())
    ::ShowWindow(HandleIfAllocated(), s == TWindowState::wsMinimized ? SW_MINIMIZE : s == TWindowState::wsMaximized ? SW_MAXIMIZE : SW_RESTORE);
}
void TCustomForm::SetIcon(HICON icon) {
  icon_.Reset(icon ? ::CopyIcon(icon) : nullptr);
  if (HandleAllocated()) ::SendMessageW(HandleIfAllocated(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
  Perform(CM_ICONCHANGED);
}
void TCustomForm::SetMenuHandle(HMENU menu) {
  if (menu == menu_) return;
  menu_ = menu;
  if (HandleAllocated()) ::SetMenu(HandleIfAllocated(), menu);
  Perform(CM_MENUCHANGED);
}

void TCustomForm::SetActiveControl(TWinControl* c) {
  if (c && (!ContainsControl(c) || c == this)) throw EInvalidOperation(L"Invalid control for this form");
  if (c && Visible() && HandleAllocated() && c->CanFocus()) {
    ::SetFocus(c->Handle());  // WM_SETFOCUS calls FocusControlChanged
    return;
  }
  FocusControlChanged(c);
}
void TCustomForm::FocusControlChanged(TWinControl* c) {
  // windows going with the form move the focus around: no events for that
  if (IsDestroying() || (ControlState() & csDestroyingHandle)) return;
  if (c == this) c = nullptr;
  if (c == activeControl_) return;
  TWinControl* old = activeControl_;
  activeControl_ = c;
  if (old) old->FreeNotification(this), old->Perform(CM_EXIT);
  if (c) {
    c->FreeNotification(this);
    c->Perform(CM_ENTER);
  }
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(c));
}
void TCustomForm::DefocusControl(TControl* c, bool) {
  if (activeControl_ && (activeControl_ == c || (dynamic_cast<TWinControl*>(c) && static_cast<TWinControl*>(c)->ContainsControl(activeControl_))))
    activeControl_ = nullptr;
}
void TCustomForm::Notification(TComponent* c, TOperation op) {
  TScrollingWinControl::Notification(c, op);
  if (op == TOperation::opRemove && c == activeControl_) activeControl_ = nullptr;
}

bool TCustomForm::DoKeyDown(WORD& key, TShiftState shift) { return TScrollingWinControl::DoKeyDown(key, shift); }
bool TCustomForm::DoKeyUp(WORD& key, TShiftState shift) { return TScrollingWinControl::DoKeyUp(key, shift); }
bool TCustomForm::DoKeyPress(wchar_t& key) { return TScrollingWinControl::DoKeyPress(key); }

void TCustomForm::ApplyPosition() {
  if (positioned_ || Parent() || ParentWindow()) return;
  positioned_ = true;
  int x = Left(), y = Top();
  TCustomForm* center = nullptr;
  switch (position_) {
    case TPosition::poScreenCenter:
    case TPosition::poDesktopCenter:
      x = (Screen()->Width() - Width()) / 2;
      y = (Screen()->Height() - Height()) / 2;
      break;
    case TPosition::poMainFormCenter: center = Application()->MainForm(); break;
    case TPosition::poOwnerFormCenter: center = dynamic_cast<TCustomForm*>(Owner()); break;
    default: return;
  }
  if (center && center != this) {
    x = center->Left() + (center->Width() - Width()) / 2;
    y = center->Top() + (center->Height() - Height()) / 2;
  } else if (position_ == TPosition::poMainFormCenter || position_ == TPosition::poOwnerFormCenter) {
    x = (Screen()->Width() - Width()) / 2;
    y = (Screen()->Height() - Height()) / 2;
  }
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetBounds(x, y, Width(), Height());
}

void TCustomForm::SetVisible(bool v) {
  if (IsLoading()) {
    // no window while the constructors still run
    showWhenLoaded_ = v;
    return;
  }
  if (v == Visible()) return;
  if (Parent() || ParentWindow()) {
    // an embedded form shows like any child control
    if (v) DoShow();
    TScrollingWinControl::SetVisible(v);
    if (!v) DoHide();
    return;
  }
  if (v) {
    HandleNeeded();
    ApplyPosition();
    DoShow();
    TControl::SetVisible(true);  // CM_VISIBLECHANGED shows the window
    if (Application()->MainForm() == this && !::IsWindowVisible(Application()->Handle()))
      ::ShowWindow(Application()->Handle(), SW_SHOWNA);
  } else {
    DoHide();
    TControl::SetVisible(false);
  }
}
void TCustomForm::Show() {
  SetVisible(true);
  if (HandleAllocated()) {
    ::SetWindowPos(HandleIfAllocated(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(HandleIfAllocated());
  }
}

namespace {
struct TDisabledWindows {
  HWND keep;
  std::vector<HWND> list;
};
BOOL CALLBACK DisableProc(HWND w, LPARAM l) {
  auto* d = reinterpret_cast<TDisabledWindows*>(l);
  if (w != d->keep && ::IsWindowVisible(w) && ::IsWindowEnabled(w)) {
    d->list.push_back(w);
    ::EnableWindow(w, FALSE);
  }
  return TRUE;
}
}  // namespace

TModalResult TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || modal_) throw EInvalidOperation(L"Cannot make a visible window modal");
  if (::GetCapture()) ::SendMessageW(::GetCapture(), WM_CANCELMODE, 0, 0);
  ::ReleaseCapture();
  TApplication* app = Application();
  HWND previous = ::GetActiveWindow();
  HandleNeeded();
  TDisabledWindows disabled{HandleIfAllocated(), {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), DisableProc, reinterpret_cast<LPARAM>(&disabled));
  ++app->modalLevel_;
  modal_ = true;
  modalResult_ = mrNone;
  TModalResult result = mrNone;
  try {
    Show();
    Perform(CM_ACTIVATE);
    for (;;) {
      app->HandleMessage();
      if (app->Terminated()) {
        modalResult_ = mrCancel;
      } else if (modalResult_ != mrNone) {
        // the form may refuse to close
        if (CloseQuery()) {
          TCloseAction action = TCloseAction::caHide;
          DoClose(action);
          if (action == TCloseAction::caNone) modalResult_ = mrNone;
        } else {
          modalResult_ = mrNone;
        }
      }
      if (modalResult_ != mrNone || !HandleAllocated()) break;
    }
    result = modalResult_;
    Perform(CM_DEACTIVATE);
  } catch (...) {
    for (HWND w : disabled.list)
      if (::IsWindow(w)) ::EnableWindow(w, TRUE);
    modal_ = false;
    --app->modalLevel_;
    Hide();
    throw;
  }
  for (HWND w : disabled.list)
    if (::IsWindow(w)) ::EnableWindow(w, TRUE);
  if (previous && ::IsWindow(previous)) ::SetActiveWindow(previous);
  modal_ = false;
  --app->modalLevel_;
  Hide();
  return result;
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}
void TCustomForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = formStyle_ == TFormStyle::fsMDIChild ? TCloseAction::caMinimize : TCloseAction::caHide;
  DoClose(action);
  if (action == TCloseAction::caNone) return;
  if (Application()->MainForm() == this) {
    Application()->Terminate();
    return;
  }
  switch (action) {
    case TCloseAction::caHide: Hide(); break;
    case TCloseAction::caMinimize: SetWindowState(TWindowState::wsMinimized); break;
    case TCloseAction::caFree: Release(); break;
    default: break;
  }
}
void TCustomForm::Release() {
  if (HandleAllocated()) ::PostMessageW(HandleIfAllocated(), CM_RELEASE, 0, 0);
}

void TCustomForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_DESTROY:
      // the menu belongs to its component, not to the window
      if (menu_) ::SetMenu(HandleIfAllocated(), nullptr);
      break;
    case WM_CLOSE:
      Close();
      return;
    case CM_RELEASE:
      Free();
      return;
    case WM_ACTIVATE: {
      bool on = LOWORD(m.WParam) != WA_INACTIVE;
      active_ = on;
      if (on) {
        Screen()->activeForm_ = this;
        if (activeControl_ && activeControl_->HandleAllocated() && activeControl_->CanFocus())
          ::SetFocus(activeControl_->HandleIfAllocated());
        if (OnActivate) OnActivate(this);
      } else if (OnDeactivate) {
        OnDeactivate(this);
      }
      DefaultHandler(m);
      return;
    }
    case WM_SETFOCUS:
      if (activeControl_ && activeControl_->HandleAllocated() && activeControl_->CanFocus()) {
        ::SetFocus(activeControl_->HandleIfAllocated());
        return;
      }
      DefaultHandler(m);
      return;
    case CM_DIALOGKEY:
      if (m.WParam == VK_TAB && !(::GetKeyState(VK_CONTROL) < 0)) {
        SelectNext(activeControl_, !(::GetKeyState(VK_SHIFT) < 0), true);
        m.Result = 1;
        return;
      }
      // Enter and Escape: the controls (default and cancel buttons) may take them
      for (TControl* c : std::vector<TControl*>(ControlList()))
        if (c->Perform(CM_DIALOGKEY, m.WParam, m.LParam)) {
          m.Result = 1;
          return;
        }
      m.Result = 0;
      return;
    case CM_DIALOGCHAR:
      // accelerator characters: the first control that takes it answers non-zero
      for (TControl* c : std::vector<TControl*>(ControlList()))
        if ((m.Result = c->Perform(CM_DIALOGCHAR, m.WParam, m.LParam)) != 0) return;
      m.Result = 0;
      return;
    case CM_VISIBLECHANGED:
      if (HandleAllocated() && !Parent() && !ParentWindow()) {
        if (m.WParam) {
          int cmd = windowState_ == TWindowState::wsMaximized ? SW_SHOWMAXIMIZED
                    : windowState_ == TWindowState::wsMinimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
          ::ShowWindow(HandleIfAllocated(), cmd);
        } else {
          ::ShowWindow(HandleIfAllocated(), SW_HIDE);
        }
        return;
      }
      break;
    case WM_SYSCOMMAND:
      if ((m.WParam & 0xFFF0) == SC_MINIMIZE && Application()->MainForm() == this) {
        Application()->Minimize();
        return;
      }
      break;
    default:
      break;
  }
  TScrollingWinControl::WndProc(m);
}

// ---- TCustomFrame -----------------------------------------------------------------------------
TCustomFrame::TCustomFrame(TComponent* owner) : TScrollingWinControl(owner) {
  SetLoading(true);
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  SetColor(clBtnFace);
  SetParentColor(true);
  TControl::SetBounds(0, 0, 320, 240);
  SetTabStop(true);
}
void TFrame::Publish(TPublisher<TFrame>& p) {
  p.Boolean(L"AutoScroll", &TScrollingWinControl::AutoScroll, &TScrollingWinControl::SetAutoScroll);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  PublishParentBackground(p);
}

// ---- TUtilWindow ------------------------------------------------------------------------------
namespace {
const wchar_t kUtilClass[] = L"TPUtilWindow";
}
TUtilWindow::TUtilWindow(TWndMethod method) : method_(std::move(method)) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!::GetClassInfoExW(HInstance(), kUtilClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TUtilWindow::Proc;
    wc.hInstance = HInstance();
    wc.lpszClassName = kUtilClass;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastOSError();
  }
  wnd_.Reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kUtilClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, HInstance(), nullptr));
  if (!wnd_) RaiseLastOSError();
  ::SetWindowLongPtrW(wnd_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}
TUtilWindow::~TUtilWindow() {
  if (wnd_) ::SetWindowLongPtrW(wnd_.Get(), GWLP_USERDATA, 0);
}
LRESULT CALLBACK TUtilWindow::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TUtilWindow*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
  if (!self || !self->method_) return ::DefWindowProcW(w, msg, wp, lp);
  TMessage m{msg, wp, lp, 0};
  try {
    self->method_(m);
  } catch (...) {
    Application()->HandleException(nullptr);
  }
  return m.Result;
}

// ---- TApplication -----------------------------------------------------------------------------
namespace {
const wchar_t kAppClass[] = L"TApplication";
// Called on a worker thread: never makes the window (a window belongs to the thread making it).
// Without one the main thread is not in a message loop; WaitFor runs the calls itself.
void PostWake() {
  TApplication* app = gApplication;
  if (HWND h = app ? app->HandleIfAllocated() : nullptr) ::PostMessageW(h, WM_NULL, 0, 0);
}
}  // namespace

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  title_ = ChangeFileExt(ExtractFileName(ParamStr(0)), L"");
  HICON icon = ::LoadIconW(HInstance(), L"MAINICON");
  icon_.Reset(::CopyIcon(icon ? icon : ::LoadIconW(nullptr, IDI_APPLICATION)));
  WakeMainThread = &PostWake;
}
TApplication::~TApplication() {
  WakeMainThread = nullptr;
  // forms go while the application window still exists
  DestroyComponents();
  mainForm_ = nullptr;
  if (handle_) ::SetWindowLongPtrW(handle_.Get(), GWLP_USERDATA, 0);
}

HWND TApplication::Handle() {
  if (!handle_) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!::GetClassInfoExW(HInstance(), kAppClass, &wc)) {
      wc = WNDCLASSEXW{};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = &TApplication::AppWndProc;
      wc.hInstance = HInstance();
      wc.hIcon = icon_.Get();
      wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
      wc.lpszClassName = kAppClass;
      if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastOSError();
    }
    handle_.Reset(::CreateWindowExW(0, kAppClass, title_.c_str(),
                                    WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                    ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                                    nullptr, HInstance(), nullptr));
    if (!handle_) RaiseLastOSError();
    ::SetWindowLongPtrW(handle_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SendMessageW(handle_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
  }
  return handle_.Get();
}

LRESULT CALLBACK TApplication::AppWndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TApplication*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(w, msg, wp, lp);
  TMessage m{msg, wp, lp, 0};
  try {
    self->WndProc(m);
  } catch (...) {
    self->HandleException(self);
  }
  return m.Result;
}

void TApplication::WndProc(TMessage& m) {
  // hooks first, in the order they were set; one that answers true handles the message
  auto hooks = hooks_;
  for (auto& h : hooks)
    if (h.second(m)) return;
  HWND h = handle_.Get();
  switch (m.Msg) {
    case WM_CLOSE:
      if (mainForm_) mainForm_->Close();
      return;
    case WM_SYSCOMMAND:
      switch (m.WParam & 0xFFF0) {
        case SC_MINIMIZE: Minimize(); return;
        case SC_RESTORE: Restore(); return;
        default: break;
      }
      break;
    case WM_ACTIVATEAPP:
      break;
    case WM_SETFOCUS:
      // the application window gives the focus to the last active form
      if (mainForm_ && mainForm_->HandleAllocated() && ::IsWindowEnabled(mainForm_->HandleIfAllocated()) &&
          ::IsWindowVisible(mainForm_->HandleIfAllocated())) {
        HWND last = ::GetLastActivePopup(h);
        ::SetFocus(last && last != h ? last : mainForm_->HandleIfAllocated());
        return;
      }
      break;
    case WM_NULL:
      CheckSynchronize();
      return;
    default:
      break;
  }
  m.Result = ::DefWindowProcW(h, m.Msg, m.WParam, m.LParam);
}

std::wstring TApplication::Title() const { return title_; }
void TApplication::SetTitle(const std::wstring& t) {
  title_ = t;
  if (handle_) ::SetWindowTextW(handle_.Get(), t.c_str());
}
void TApplication::SetIcon(HICON icon) {
  icon_.Reset(icon ? ::CopyIcon(icon) : nullptr);
  if (handle_) ::SendMessageW(handle_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
}

int TApplication::HookMainWindow(TWindowHook hook) {
  int id = nextHook_++;
  hooks_.emplace_back(id, std::move(hook));
  return id;
}
void TApplication::UnhookMainWindow(int id) {
  hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [id](auto& h) { return h.first == id; }), hooks_.end());
}

void TApplication::Minimize() {
  ::ShowWindow(Handle(), SW_MINIMIZE);
  if (OnMinimize) OnMinimize(this);
}
void TApplication::Restore() {
  if (::IsIconic(Handle())) ::ShowWindow(Handle(), SW_RESTORE);
  if (OnRestore) OnRestore(this);
}
void TApplication::BringToFront() {
  HWND h = Handle();
  HWND last = ::GetLastActivePopup(h);
  if (last && last != h && ::IsWindowVisible(last) && ::IsWindowEnabled(last)) ::SetForegroundWindow(last);
  else if (mainForm_ && mainForm_->HandleAllocated()) ::SetForegroundWindow(mainForm_->HandleIfAllocated());
}

void TApplication::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == TOperation::opRemove && c == mainForm_) mainForm_ = nullptr;
}

bool TApplication::IsKeyMsg(MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  TWinControl* c = FindControl(msg.hwnd);
  if (!c) return false;
  return c->Perform(CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  bool handled = false;
  if (OnMessage) OnMessage(msg, handled);
  if (!handled && !IsKeyMsg(msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}
void TApplication::Idle() {
  if (OnIdle) OnIdle(this);
  CheckSynchronize();
  if (!terminated_) ::WaitMessage();
}
void TApplication::HandleMessage() {
  MSG msg;
  try {
    if (!ProcessMessage(msg)) Idle();
  } catch (...) {
    HandleException(this);
  }
}
void TApplication::ProcessMessages() {
  MSG msg;
  for (;;) {
    bool any;
    try {
      any = ProcessMessage(msg);
    } catch (...) {
      HandleException(this);
      any = true;
    }
    if (!any) break;
  }
  CheckSynchronize();
}
void TApplication::Run() {
  Handle();
  if (mainForm_ && ShowMainForm) mainForm_->Show();
  while (!terminated_) HandleMessage();
}
void TApplication::Terminate() { ::PostQuitMessage(0); }

void TApplication::HandleException(TObject* sender) {
  std::exception_ptr e = std::current_exception();
  if (!e) return;
  try {
    std::rethrow_exception(e);
  } catch (const EAbort&) {
    // the silent exception
  } catch (const std::exception& ex) {
    if (OnException) {
      try {
        OnException(sender, ex);
      } catch (...) {
      }
    } else {
      ShowException(ex);
    }
  } catch (...) {
    Exception ex(L"Unknown exception");
    if (OnException) OnException(sender, ex);
    else ShowException(ex);
  }
}
void TApplication::ShowException(const std::exception& e) {
  std::wstring msg = ExceptionMessage(e);
  if (!msg.empty() && msg.back() > L'.') msg += L'.';
  MessageBox(msg, title_, MB_OK | MB_ICONSTOP);
}
int TApplication::MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
  HWND owner = ::GetActiveWindow();
  if (!owner && mainForm_ && mainForm_->HandleAllocated()) owner = mainForm_->HandleIfAllocated();
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

// ---- TScreen ----------------------------------------------------------------------------------
TScreen::TScreen(TComponent* owner) : TComponent(owner), menuFont_(std::make_unique<TFont>()) {
  struct {
    TCursor c;
    const wchar_t* id;
  } standard[] = {{crArrow, IDC_ARROW}, {crCross, IDC_CROSS}, {crIBeam, IDC_IBEAM}, {crSizeNESW, IDC_SIZENESW},
                  {crSizeNS, IDC_SIZENS}, {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE}, {crUpArrow, IDC_UPARROW},
                  {crHourGlass, IDC_WAIT}, {crNo, IDC_NO}, {crAppStart, IDC_APPSTARTING}, {crHelp, IDC_HELP},
                  {crHandPoint, IDC_HAND}, {crSizeAll, IDC_SIZEALL}};
  for (auto& s : standard) cursors_[s.c] = ::LoadCursorW(nullptr, s.id);
  cursors_[crDefault] = ::LoadCursorW(nullptr, IDC_ARROW);
  cursors_[crNone] = nullptr;
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof(ncm);
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) menuFont_->AssignLogFont(ncm.lfMenuFont);
}
TScreen::~TScreen() {
  for (HCURSOR c : ownCursors_) ::DestroyCursor(c);
}
std::vector<TCustomForm*> TScreen::FormList() const {
  std::vector<TCustomForm*> withWindow, without;
  for (TCustomForm* f : forms_) (f->HandleAllocated() ? withWindow : without).push_back(f);
  std::vector<TCustomForm*> r;
  // top-level windows in z-order, topmost first
  for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT))
    for (TCustomForm* f : withWindow)
      if (f->HandleIfAllocated() == w) r.push_back(f);
  for (TCustomForm* f : withWindow)
    if (std::find(r.begin(), r.end(), f) == r.end()) r.push_back(f);  // embedded forms
  r.insert(r.end(), without.begin(), without.end());
  return r;
}
int TScreen::FormCount() const { return static_cast<int>(forms_.size()); }
TCustomForm* TScreen::Forms(int index) const {
  auto l = FormList();
  if (index < 0 || index >= static_cast<int>(l.size())) throw EListError(Format(L"List index out of bounds (%d)", index));
  return l[index];
}
TWinControl* TScreen::ActiveControl() const { return activeForm_ ? activeForm_->ActiveControl() : nullptr; }
HCURSOR TScreen::Cursors(TCursor c) const {
  auto it = cursors_.find(c);
  return it == cursors_.end() ? cursors_.at(crDefault) : it->second;
}
void TScreen::SetCursors(TCursor c, HCURSOR h) {
  cursors_[c] = h ? h : ::LoadCursorW(nullptr, IDC_ARROW);
  if (h) ownCursors_.push_back(h);
}
void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  if (c != crDefault) ::SetCursor(Cursors(c));
}
RECT TScreen::WorkAreaRect() const {
  RECT r{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}
int TScreen::PixelsPerInch() const {
  TWindowDC dc(nullptr);
  return ::GetDeviceCaps(dc.Get(), LOGPIXELSY);
}

}  // namespace kivo
