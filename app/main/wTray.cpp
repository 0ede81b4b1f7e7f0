#include "wTray.h"

#include <algorithm>

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TwTrayIcon)

void TwTrayIcon::Publish(TPublisher<TwTrayIcon>& p) {
  p.Boolean(L"DesignPreview", &TwTrayIcon::DesignPreview, &TwTrayIcon::SetDesignPreview);
  p.String(L"Hint", &TwTrayIcon::Hint, &TwTrayIcon::SetHint);
  p.Boolean(L"ShowHint", &TwTrayIcon::ShowHint, &TwTrayIcon::SetShowHint);
  p.Object(L"Icon", &TwTrayIcon::Icon, &TwTrayIcon::SetIcon);
  p.Boolean(L"IconVisible", &TwTrayIcon::IconVisible, &TwTrayIcon::SetIconVisible);
  p.Object(L"PopupMenu", &TwTrayIcon::PopupMenu, &TwTrayIcon::SetPopupMenu);
  p.Boolean(L"LeftPopup", &TwTrayIcon::LeftPopup, &TwTrayIcon::SetLeftPopup);
  p.Boolean(L"StartMinimized", &TwTrayIcon::StartMinimized, &TwTrayIcon::SetStartMinimized);
  p.Boolean(L"MinimizeToTray", &TwTrayIcon::MinimizeToTray, &TwTrayIcon::SetMinimizeToTray);
}

TwTrayIcon::TwTrayIcon(TComponent* owner) : TComponent(owner), icon_(std::make_unique<TIcon>()) {
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  window_ = std::make_unique<TUtilWindow>([this](TMessage& m) { WindowMessage(m); });
  ::SetWindowTextW(window_->Handle(), L"TwTrayIcon");  // found by its class and this text
  appHook_ = Application()->HookMainWindow([this](TMessage& m) { return AppWindowHook(m); });
  if (TWinControl* w = OwnerWindow()) {
    hookedOwner_ = w;
    ownerOldProc_ = w->WindowProc;
    w->WindowProc = [this](TMessage& m) { OwnerWindowProc(m); };
  }
}

TwTrayIcon::~TwTrayIcon() = default;

void TwTrayIcon::BeforeDestruction() {
  TComponent::BeforeDestruction();
  SetIconVisible(false);
  if (appHook_) Application()->UnhookMainWindow(appHook_);
  appHook_ = 0;
  // an owner that is going away no longer calls its WindowProc
  if (hookedOwner_ && !hookedOwner_->IsDestroying()) hookedOwner_->WindowProc = ownerOldProc_;
  hookedOwner_ = nullptr;
  window_.reset();
}

TWinControl* TwTrayIcon::OwnerWindow() const { return dynamic_cast<TWinControl*>(Owner()); }

void TwTrayIcon::SetDesignPreview(bool v) {
  designPreview_ = v;
  SetIconVisible(v);
}
void TwTrayIcon::SetHint(const std::wstring& h) {
  hint_ = h;
  ModifyIcon();
}
void TwTrayIcon::SetShowHint(bool v) {
  showHint_ = v;
  ModifyIcon();
}
void TwTrayIcon::SetIcon(TIcon* icon) {
  if (icon) icon_->Assign(icon);
  else icon_->SetHandle(nullptr);
  ModifyIcon();
}
void TwTrayIcon::SetIconHandle(HICON icon) {
  icon_->SetHandle(icon ? ::CopyIcon(icon) : nullptr);
  ModifyIcon();
}
void TwTrayIcon::SetIconVisible(bool v) {
  iconVisible_ = v;
  if (!v) DeleteIcon();
  else if (!IsLoading()) AddIcon();
}
void TwTrayIcon::SetPopupMenu(TPopupMenu* menu) {
  popupMenu_ = menu;
  if (menu) menu->FreeNotification(this);
}
void TwTrayIcon::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == TOperation::opRemove && c == popupMenu_) popupMenu_ = nullptr;
}

void TwTrayIcon::Loaded() {
  TComponent::Loaded();
  if (startMinimized_) {
    Application()->ShowMainForm = false;
    if (auto* form = dynamic_cast<TCustomForm*>(Owner())) form->SetVisible(false);
    ::ShowWindow(Application()->Handle(), SW_HIDE);
  }
  ModifyIcon();
  SetIconVisible(iconVisible_);
}

NOTIFYICONDATAW TwTrayIcon::NotifyData() const {
  NOTIFYICONDATAW d{};
  d.cbSize = sizeof(d);
  d.hWnd = MessageWindow();
  d.uID = kTrayIconId;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.uCallbackMessage = WM_TRAY_CALLBACK;
  d.hIcon = icon_->Handle();
  if (!hint_.empty() && showHint_) {
    const std::size_t n = std::min<std::size_t>(hint_.size(), 127);
    std::copy_n(hint_.c_str(), n, d.szTip);
    d.szTip[n] = 0;
  }
  return d;
}

bool TwTrayIcon::Notify(DWORD action) {
  if (!window_) return false;
  NOTIFYICONDATAW d = NotifyData();
  return ::Shell_NotifyIconW(action, &d) != FALSE;
}
bool TwTrayIcon::AddIcon() {
  iconVisible_ = true;
  return Notify(NIM_ADD);
}
bool TwTrayIcon::DeleteIcon() {
  iconVisible_ = false;
  return Notify(NIM_DELETE);
}
bool TwTrayIcon::ModifyIcon() { return Notify(NIM_MODIFY); }

void TwTrayIcon::Click() {
  if (OnClick) OnClick(this);
}
void TwTrayIcon::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TwTrayIcon::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TwTrayIcon::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TwTrayIcon::MouseMove(TShiftState s, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TwTrayIcon::Minimize() {
  HideMainForm();
  SetIconVisible(true);
}

void TwTrayIcon::WindowMessage(TMessage& m) {
  if (m.Msg != WM_TRAY_CALLBACK) {
    m.Result = ::DefWindowProcW(MessageWindow(), m.Msg, m.WParam, m.LParam);
    return;
  }
  TShiftState shift = 0;
  if (::GetAsyncKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (::GetAsyncKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (::GetAsyncKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  POINT p{};
  ::GetCursorPos(&p);
  switch (static_cast<UINT>(m.LParam)) {
    case WM_MOUSEMOVE:
      MouseMove(shift, p.x, p.y);
      break;
    case WM_LBUTTONDOWN:
      MouseDown(TMouseButton::mbLeft, shift | ssLeft, p.x, p.y);
      leftPressed_ = true;
      if (leftPopup_) PopupAtCursor();
      break;
    case WM_LBUTTONUP:
      if (leftPressed_) {
        leftPressed_ = false;
        Click();
      }
      MouseUp(TMouseButton::mbLeft, shift | ssLeft, p.x, p.y);
      break;
    case WM_LBUTTONDBLCLK:
      DblClick();
      if (popupMenu_ && popupMenu_->AutoPopup() && !leftPopup_) {
        TMenuItem* items = popupMenu_->Items();
        for (int i = items->Count() - 1; i >= 0; --i) {
          if (items->Items(i)->Default()) {
            items->Items(i)->Click();
            break;
          }
        }
      }
      break;
    case WM_RBUTTONDOWN:
      MouseDown(TMouseButton::mbRight, shift | ssRight, p.x, p.y);
      PopupAtCursor();
      break;
    case WM_RBUTTONUP:
      MouseUp(TMouseButton::mbRight, shift | ssRight, p.x, p.y);
      break;
    case WM_MBUTTONDOWN:
      MouseDown(TMouseButton::mbMiddle, shift | ssMiddle, p.x, p.y);
      break;
    case WM_MBUTTONUP:
      MouseUp(TMouseButton::mbMiddle, shift | ssMiddle, p.x, p.y);
      break;
    default:
      break;
  }
}

void TwTrayIcon::PopupAtCursor() {
  if (!popupMenu_ || !popupMenu_->AutoPopup()) return;
  POINT p{};
  ::GetCursorPos(&p);
  TWinControl* owner = OwnerWindow();
  if (owner) ::SetForegroundWindow(owner->Handle());
  popupMenu_->SetPopupComponent(this);
  popupMenu_->Popup(p.x, p.y);
  if (owner && owner->HandleAllocated()) ::PostMessageW(owner->HandleIfAllocated(), WM_NULL, 0, 0);
}

void TwTrayIcon::ShowMainForm() {
  TCustomForm* main = Application()->MainForm();
  if (!main) return;
  ::ShowWindow(Application()->Handle(), SW_RESTORE);
  main->SetVisible(true);
  Application()->BringToFront();
  HWND h = main->Handle();
  ::SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (OnShowMainForm) OnShowMainForm(this);
}

void TwTrayIcon::HideMainForm() {
  TCustomForm* main = Application()->MainForm();
  if (!main) return;
  main->SetVisible(false);
  ::ShowWindow(Application()->Handle(), SW_HIDE);
  if (OnHideMainForm) OnHideMainForm(this);
}

bool TwTrayIcon::AppWindowHook(TMessage& m) {
  if (m.Msg == WM_SIZE && m.WParam == SIZE_MINIMIZED && minimizeToTray_) {
    Minimize();
  } else if (m.Msg == WM_WINDOWPOSCHANGED && firstPositionChange_ && Application()->MainForm()) {
    if (Application()->MainForm()->FormStyle() == TFormStyle::fsMDIForm && startMinimized_)
      ::ShowWindow(Application()->Handle(), SW_HIDE);
    firstPositionChange_ = false;
  } else if (m.Msg == taskbarCreated_ && iconVisible_) {
    AddIcon();
  }
  return false;  // the application window's own handling follows
}

void TwTrayIcon::OwnerWindowProc(TMessage& m) {
  if (m.Msg == WM_ACTIVATE && (LOWORD(m.WParam) == WA_ACTIVE || LOWORD(m.WParam) == WA_CLICKACTIVE)) {
    if (TWinControl* active = Screen()->ActiveControl()) {
      TWinControl* parent = active->Parent() ? active->Parent() : active;
      HWND deactivated = reinterpret_cast<HWND>(m.LParam);
      if (!parent->HandleAllocated() || deactivated != parent->HandleIfAllocated()) {
        if (active->CanFocus()) active->SetFocus();
      }
    }
  } else if (m.Msg == WM_SHOWWINDOW && m.WParam == 1 && m.LParam == 0) {
    HWND app = Application()->Handle();
    ::ShowWindow(app, SW_RESTORE);
    ::SetForegroundWindow(app);
    if (hookedOwner_ && hookedOwner_->HandleAllocated()) ::SetForegroundWindow(hookedOwner_->HandleIfAllocated());
  }
  if (ownerOldProc_) ownerOldProc_(m);
}

}  // namespace kivo
