#include "SkinnedForm.h"

#include <algorithm>
#include <cwctype>

#include <windowsx.h>

#include "SkinControl.h"
#include "SkinDispatch.h"
#include "SkinDraw.h"
#include "SkinManager.h"
#include "SkinMenu.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TNCObject)
KIVO_IMPLEMENT_CLASS(TWinSysButton)
KIVO_IMPLEMENT_CLASS(TSkinnedForm)

namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

bool HasControl(TSkinData* d, TSkinControlType t) { return d && (d->SkinControls() & SkinBit(t)) != 0; }

bool IsNT5Plus0() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const DWORD v = ::GetVersion();
#pragma GCC diagnostic pop
  return !(v & 0x80000000u) && LOBYTE(LOWORD(v)) > 4 && HIBYTE(LOWORD(v)) == 0;
}

bool IsWin9x() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return (::GetVersion() & 0x80000000u) != 0;
#pragma GCC diagnostic pop
}

}  // namespace

// ---- TNCObject ------------------------------------------------------------------------------------
void TNCObject::MouseDown() {
  if (Form->HotObject && Form->HotObject != this) Form->HotObject->MouseLeave();
  if (!Visible) return;
  Form->HotObject = this;
  State = kNCPressed;
  Paint();
}

void TNCObject::MouseUp() {
  if (!Visible) return;
  State = kNCHover;
  Paint();
}

void TNCObject::MouseEnter() {
  if (Form->HotObject == this) return;
  if (Form->HotObject) Form->HotObject->MouseLeave();
  if (!Visible) return;
  Form->HotObject = this;
  State = kNCHover;
  Paint();
}

void TNCObject::MouseLeave() {
  if (!Visible) return;
  if (Form->HotObject == this) Form->HotObject = nullptr;
  State = kNCNormal;
  Paint();
}

// ---- TSkinnedForm: life -------------------------------------------------------------------------
TSkinnedForm::TSkinnedForm(TComponent* owner) : TComponent(owner) {
  CaptionFont.reset(new TFont());
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof(ncm);
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) CaptionFont->AssignLogFont(ncm.lfCaptionFont);
  DoubleClickTime = ::GetDoubleClickTime();
  frameBitmap_.reset(new TBitmap());
  IconBitmap.reset(new TBitmap());
}

TSkinnedForm::~TSkinnedForm() {
  *alive_ = false;
  // a window still hooked (its object freed before the window) gets its procedures back
  if (ObjectInstance) {
    if (FormHooked && Control && !Control->IsDestroying()) Control->WindowProc = SavedWindowProc;
    FormHooked = false;
    RestoreWndProc();
  }
  RestoreClientProc();
  ReleaseSkinners();
  FreeSysButtons();
  frameBitmap_.reset();
  HoverTimer.reset();
  MenuBar.reset();
  SysMenuPopup.reset();
  CaptionFont.reset();
  IconBitmap.reset();
  if (TSkinManage* m = SkinManager()) {
    if (m->Phase != 4) m->RemoveWindowObject(this);
  }
}

void TSkinnedForm::CallDefault(TMessage& m) {
  if (!OldWndProc) {
    m.Result = ::DefWindowProcW(Handle, m.Msg, m.WParam, m.LParam);
    return;
  }
  m.Result = Unicode ? ::CallWindowProcW(OldWndProc, Handle, m.Msg, m.WParam, m.LParam)
                     : ::CallWindowProcA(OldWndProc, Handle, m.Msg, m.WParam, m.LParam);
}

void TSkinnedForm::SetFormColor(TColor c) {
  if (Control) Control->SetColor(c);
}

// ---- attachment ---------------------------------------------------------------------------------
void TSkinnedForm::SkinForm(TSkinData* skinData, TWinControl* form) {
  Control = form;
  if (skinData->OnBeforeSkinForm) skinData->OnBeforeSkinForm(this, Handle, ClassName);
  if (HasControl(skinData, xcMenuItem) && IsPublishedProp(form, L"AutoScroll"))
    SetPropValue(form, L"AutoScroll", L"False");
  Attach(skinData);
  if (SkinFrame && !FormHooked) {
    SavedWindowProc = form->WindowProc;
    std::weak_ptr<bool> alive = alive_;
    form->WindowProc = [this, alive](TMessage& m) {
      if (alive.expired() || !*alive.lock()) return;
      FormWindowProc(m);
    };
    FormHooked = true;
  }
  SavedColor = form->Color();
  SetFormColor(SkinData->Color(scButtonFace));
  if (HasControl(SkinData, xcMenuItem)) SetMainMenusOwnerDraw(form, true);
}

void TSkinnedForm::Attach(TSkinData* skinData) {
  if (ObjectInstance) return;
  if (TSkinManage* m = SkinManager()) m->Phase = std::max(m->Phase, 1);
  SkinData = skinData;
  HoverTimer.reset(new TTimer(nullptr));
  HoverTimer->SetEnabled(false);
  HoverTimer->SetInterval(250);
  HoverTimer->SetOnTimer([this](TObject*) { HoverTick(); });
  SkinFrame = HasControl(SkinData, xcMainMenu);
  Style = static_cast<DWORD>(::GetWindowLongPtrW(Handle, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(Handle, GWL_EXSTYLE));
  RightToLeft = (exStyle & WS_EX_LEFTSCROLLBAR) != 0;
  IsChild = (Style & WS_CHILD) != 0;
  ClassName = WindowClassName(Handle);
  OwnerWindow = ::GetWindow(Handle, GW_OWNER);
  ButtonFlags = 0;
  if (Style & WS_MAXIMIZEBOX) ButtonFlags |= kBtnMaximize;
  if (Style & WS_MINIMIZEBOX) ButtonFlags |= kBtnMinimize;
  if (exStyle & WS_EX_CONTEXTHELP) ButtonFlags |= kBtnHelp;
  if ((Style & WS_SYSMENU) || SystemMenu) ButtonFlags |= kBtnSysMenu;
  ReadWindowState();
  Sizeable = (Style & WS_THICKFRAME) != 0;
  Kind = 0;
  for (HWND c = ::GetTopWindow(Handle); c; c = ::GetWindow(c, GW_HWNDNEXT))
    if (Lower(WindowClassName(c)) == L"mdiclient") {
      Kind = 1;
      MDIClient = c;
      if (TSkinManage* m = SkinManager()) {
        m->MDIClient = c;
        m->MDIForm = Control;
      }
      break;
    }
  if (exStyle & WS_EX_MDICHILD) {
    Kind = 2;
    if (SkinData->Options() & SkinBit(xoMDIChildBorder)) SkinFrame = false;
  }
  BorderStyle = 1;
  if ((Style & WS_CAPTION) != WS_CAPTION) BorderStyle = 2;
  else if (Style & WS_THICKFRAME) BorderStyle = 0;
  else if (Style & 0x80) BorderStyle = 3;
  if (exStyle & WS_EX_DLGMODALFRAME) BorderStyle = 3;
  if (((exStyle & WS_EX_APPWINDOW) || (!OwnerWindow && Kind != 2)) && IsNT5Plus0()) ButtonFlags |= kBtnKeepSysMenu;
  Unicode = ::IsWindowUnicode(Handle) != FALSE;
  FitCaption = false;
  if (ClassName == L"#32770" || ClassName == L"TMessageForm") {
    BorderStyle = 3;
    FitCaption = true;
  }
  if (IsWin9x()) SkinData->SetSkinControls(SkinData->SkinControls() & ~SkinBit(xcSystemMenu));
  if (Kind == 1) {
    SavedMenuUpdate = SkinData->MenuUpdate();
    ClientInstance = MakeObjectInstance([this](TMessage& m) { ClientWndProc(m); });
    OldClientProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(MDIClient, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ClientInstance)));
  }
  ObjectInstance = MakeObjectInstance([this](TMessage& m) { WndProc(m); });
  const LONG_PTR proc = reinterpret_cast<LONG_PTR>(ObjectInstance);
  OldWndProc = reinterpret_cast<WNDPROC>(Unicode ? ::SetWindowLongPtrW(Handle, GWLP_WNDPROC, proc)
                                                 : ::SetWindowLongPtrA(Handle, GWLP_WNDPROC, proc));
  if (SkinFrame) {
    MenuHandle = ::GetMenu(Handle);
    if (MenuHandle && Kind != 2) {
      MenuHeight = ::GetSystemMetrics(SM_CYMENU);
      MenuBar.reset(new TSkinnedMenu(this, SkinData, FormMenu(MenuHandle)));
      MenuBar->Build();
    }
    BuildFrame();
  } else {
    State = kFormSkinned;
  }
  if (Kind == 2 && BorderTop < ::GetSystemMetrics(SM_CYCAPTION) + ::GetSystemMetrics(SM_CXFRAME))
    MenuHeight = ::GetSystemMetrics(SM_CYCAPTION) + ::GetSystemMetrics(SM_CXFRAME) - BorderTop;
  if (Kind == 2 && WindowState == 1)
    if (TSkinManage* m = SkinManager())
      if (!m->MDIChildMaximized) m->SetMDIChildMaximized(true);
}

void TSkinnedForm::ReadWindowState() {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  if (!::GetWindowPlacement(Handle, &wp)) return;
  if (wp.showCmd == SW_SHOWMINIMIZED || wp.showCmd == SW_MINIMIZE || wp.showCmd == SW_SHOWMINNOACTIVE)
    WindowState = 2;
  else if (wp.showCmd == SW_SHOWMAXIMIZED)
    WindowState = 1;
  else
    WindowState = 0;
}

void TSkinnedForm::FirstPass() {
  SystemMenu = ::GetSystemMenu(Handle, FALSE);
  if (SystemMenu) ButtonFlags |= kBtnSysMenu;
  BuildIconBitmap();
  RECT wr{}, cr{};
  ::GetWindowRect(Handle, &wr);
  ::GetClientRect(Handle, &cr);
  StoredClient = cr;
  NCExtent = SIZE{(wr.right - wr.left) - cr.right, (wr.bottom - wr.top) - cr.bottom};
  auto alive = alive_;
  if (Control) SkinAllControls(Control);
  else SkinChildWindows(Handle);
  if (!*alive) return;
  if (State == kFormAttached) {
    if (Kind == 2) {
      if (WindowState == 1) {
        if (TSkinManage* m = SkinManager())
          if (m->MDIClient) ::PostMessageW(m->MDIClient, SKM_REDRAWFRAME, reinterpret_cast<WPARAM>(Handle), 0);
      } else if (WindowState == 0) {
        State = kFormFitting;
        FitToFrame(false);
        State = kFormSkinned;
        UpdateRegion();
      }
    } else if (!IsChild && BorderStyle != 2 && WindowState != 2) {
      State = kFormFitting;
      FitToFrame(false);
      State = kFormSkinned;
      if (WindowState == 1)
        ::SetWindowPos(Handle, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      else
        UpdateRegion();
    }
  }
  ::SendMessageW(Handle, SKM_SKINNED, 0, kSkinSignature);
  if (!*alive) return;
  if (SkinData->OnAfterSkinForm) SkinData->OnAfterSkinForm(Control, Handle, ClassName);
  State = kFormSkinned;
  if (HoverTimer) HoverTimer->SetEnabled(true);
}

// ---- detachment ---------------------------------------------------------------------------------
void TSkinnedForm::RestoreWndProc() {
  if (!ObjectInstance) return;
  if (::IsWindow(Handle)) {
    const LONG_PTR proc = reinterpret_cast<LONG_PTR>(OldWndProc);
    if (Unicode) ::SetWindowLongPtrW(Handle, GWLP_WNDPROC, proc);
    else ::SetWindowLongPtrA(Handle, GWLP_WNDPROC, proc);
  }
  FreeObjectInstance(ObjectInstance);
  ObjectInstance = nullptr;
}

void TSkinnedForm::RestoreClientProc() {
  if (!ClientInstance) return;
  if (::IsWindow(MDIClient)) ::SetWindowLongPtrW(MDIClient, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldClientProc));
  FreeObjectInstance(ClientInstance);
  ClientInstance = nullptr;
}

void TSkinnedForm::ReleaseSkinners() {
  hoverControl_ = nullptr;
  while (!skinners_.empty()) {
    TSkinControl* s = skinners_.back();
    skinners_.pop_back();
    if (s->State != 6) s->Restore();
    s->Form = nullptr;  // already off the list
    s->Free();
  }
}

void TSkinnedForm::UndoOwnerDraw() {
  if (!Control) return;
  SetPopupMenusOwnerDraw(Control, false);
  if (HasControl(SkinData, xcMenuItem)) SetMainMenusOwnerDraw(Control, false);
}

void TSkinnedForm::GiveSysMenuBack() {
  if (!SystemMenu || (ButtonFlags & kBtnKeepSysMenu) || !::IsWindow(Handle)) return;
  const LONG_PTR style = ::GetWindowLongPtrW(Handle, GWL_STYLE);
  if (!(style & WS_SYSMENU) && (Style & WS_SYSMENU)) ::SetWindowLongPtrW(Handle, GWL_STYLE, style | WS_SYSMENU);
}

void TSkinnedForm::Unskin() {
  if (!SkinFrame) {
    if (HoverTimer) HoverTimer->SetEnabled(false);
    ReleaseSkinners();
    UndoOwnerDraw();
    if (State != kFormDestroying) SetFormColor(SavedColor);
    if (FormHooked && Control) Control->WindowProc = SavedWindowProc;
    FormHooked = false;
    RestoreWndProc();
    RestoreClientProc();
    if (State != kFormDestroying && Control)
      for (TComponent* c : Control->ComponentList())
        if (auto* ctl = dynamic_cast<TControl*>(c)) ctl->Invalidate();
    return;
  }
  SysMenuPopup.reset();
  if (HoverTimer) HoverTimer->SetEnabled(false);
  HotObject = nullptr;
  if (ObjectInstance) {
    if (FormHooked && Control) Control->WindowProc = SavedWindowProc;
    FormHooked = false;
    RestoreWndProc();
  }
  ReleaseSkinners();
  UndoOwnerDraw();
  if (State != kFormDestroying) SetFormColor(SavedColor);
  GiveSysMenuBack();
  if (MenuBar) {
    ::SetMenu(Handle, MenuBar->MenuHandle);
    MenuBar.reset();
  }
  RestoreClientProc();
  if (State != kFormDestroying && (Kind == 2 || !(Style & WS_CHILD)) && ::IsWindow(Handle)) {
    RECT r{};
    ::GetWindowRect(Handle, &r);
    const int w = (r.right - r.left) + NCExtent.cx - BorderLeft - BorderRight;
    const int h = (r.bottom - r.top) + NCExtent.cy - BorderTop - BorderBottom;
    POINT pos{r.left, r.top};
    if (HWND parent = ::GetParent(Handle); parent && (Style & WS_CHILD)) ::ScreenToClient(parent, &pos);
    ::SetWindowPos(Handle, nullptr, pos.x, pos.y, w, h, SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  if (::IsWindow(Handle)) ::SetWindowRgn(Handle, nullptr, TRUE);
  RegionSet = false;
}

void TSkinnedForm::DetachDestroyed() {
  if (!SkinFrame) {
    if (HoverTimer) HoverTimer->SetEnabled(false);
    ReleaseSkinners();
    UndoOwnerDraw();
    if (State != kFormDestroying) SetFormColor(SavedColor);
    if (FormHooked && Control) Control->WindowProc = SavedWindowProc;
    FormHooked = false;
    RestoreWndProc();
    RestoreClientProc();
    return;
  }
  SysMenuPopup.reset();
  if (HoverTimer) HoverTimer->SetEnabled(false);
  HotObject = nullptr;
  if (FormHooked && Control) Control->WindowProc = SavedWindowProc;
  FormHooked = false;
  RestoreWndProc();
  ReleaseSkinners();
  MenuBar.reset();
}

void TSkinnedForm::SkinChanged() {
  const TColor face = SkinData->Color(scButtonFace);
  if (Control) {
    SetFormColor(face);
    for (TComponent* c : Control->ComponentList())
      if (auto* f = dynamic_cast<TCustomForm*>(c)) f->SetColor(face);
  }
  // a skinner may free sub-skinners of its own: walk the live list
  for (std::size_t i = 0; i < skinners_.size(); ++i) skinners_[i]->SkinChanged();
  State = kFormReskinning;
  auto alive = alive_;
  if (SkinFrame && Control) {
    SetPopupMenusOwnerDraw(Control, true);
    FitToFrame(true);
    Control->SetHeight(Control->Height() + 1);
    Control->SetHeight(Control->Height() - 1);
  }
  ::SendMessageW(Handle, SKM_SKINNED, 0, kSkinSignature);
  if (!*alive) return;
  if (SkinData->OnAfterSkinForm) SkinData->OnAfterSkinForm(Control, Handle, ClassName);
  State = kFormSkinned;
}

void TSkinnedForm::FreeSysButtons() {
  HotObject = nullptr;
  SysButtons.clear();
}

// ---- the window procedure -----------------------------------------------------------------------
void TSkinnedForm::WndProc(TMessage& m) {
  if (State == kFormAttached && m.Msg == WM_NCPAINT) {
    m.Result = 0;
    return;
  }
  switch (m.Msg) {
    case WM_ERASEBKGND:
      CallDefault(m);
      if (!Control && SkinData && SkinData->FaceBrush) {
        RECT r;
        ::GetClientRect(Handle, &r);
        ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, SkinData->FaceBrush.Get());
        m.Result = 1;
      }
      return;
    case WM_NCDESTROY:
      State = kFormDestroying;
      DetachDestroyed();
      CallDefault(m);
      State = kFormDestroyed;
      return;
    case WM_NCACTIVATE:
      if (State == kFormAttached && Kind != 2) {
        m.Result = 0;
        return;
      }
      if (!SkinFrame) return CallDefault(m);
      break;
    case 0xAE:
      m.Result = 0;
      return;
    case WM_INITMENUPOPUP:
      if (TSkinManage* mg = SkinManager())
        mg->MenuKind = reinterpret_cast<HMENU>(m.WParam) == SystemMenu && SystemMenu ? 2 : 1;
      return CallDefault(m);
    case WM_CTLCOLORBTN:
      CallDefault(m);
      if (!Control) ::SetBkMode(reinterpret_cast<HDC>(m.WParam), TRANSPARENT);
      return;
    case WM_CTLCOLORSTATIC:
      CallDefault(m);
      if (!Control && SkinData) {
        ::SetBkMode(reinterpret_cast<HDC>(m.WParam), TRANSPARENT);
        m.Result = reinterpret_cast<LRESULT>(SkinData->FaceBrush.Get());
      }
      return;
    case SKM_ACTIVATE:
      FirstPass();
      m.Result = 0;
      return;
    case SKM_RESKINSCROLL: {
      auto target = reinterpret_cast<HWND>(m.WParam);
      TSkinControl* old = FindSkinner(target);
      if (!old) return;
      const bool listView = old->ClassName() == L"TSkinListView";
      TControl* control = old->Control;
      RemoveSkinner(old);
      old->Form = nullptr;
      old->Free();
      TSkinnerRequest r;
      r.Kind = listView ? TSkinnerKind::ListView : TSkinnerKind::Scrollbar;
      r.Form = this;
      r.SkinData = SkinData;
      r.Canvas = Canvas();
      r.Control = control;
      r.Handle = target;
      r.Owner = control;
      if (TSkinnerCreator create = FindSkinnerCreator(r.Kind)) create(r);
      m.Result = 0;
      return;
    }
    case SKM_ISSKINNED:
      m.Result = 1;
      ::PostMessageW(Handle, SKM_SKINNED, 0, kSkinSignature);
      return;
    default:
      if (!SkinFrame) return CallDefault(m);
      break;
  }
  if (Kind != 2 && (Style & WS_CHILD)) return CallDefault(m);
  Stage2(m);
}

void TSkinnedForm::Stage2(TMessage& m) {
  switch (m.Msg) {
    case WM_SIZE:
      SizeMessage(m);
      return;
    case WM_ACTIVATE:
      Active = LOBYTE(LOWORD(m.WParam)) ? 1 : 0;
      break;
    case WM_GETMINMAXINFO:
      CallDefault(m);
      ReadWindowState();
      return;
    case WM_WINDOWPOSCHANGED:
      ReadWindowState();
      CallDefault(m);
      return;
    case WM_SETICON:
      CallDefault(m);
      BuildIconBitmap();
      return;
    case WM_NCACTIVATE:
      Active = LOBYTE(m.WParam) ? 1 : 0;
      break;
    case WM_COMMAND: {
      const UINT id = LOWORD(m.WParam);
      switch (id) {
        case SC_SIZE: case SC_MOVE: case SC_MINIMIZE: case SC_MAXIMIZE: case SC_NEXTWINDOW: case SC_PREVWINDOW:
        case SC_CLOSE: case SC_RESTORE:
          ::PostMessageW(Handle, WM_SYSCOMMAND, id, 0);
          m.Result = 0;
          return;
        default:
          return CallDefault(m);
      }
    }
    case WM_SYSCOMMAND:
      SysCommand(m);
      return;
    case SKM_OPENMENU: {
      const POINT p = ScreenToFrame(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
      if (!ButtonAt(p) && MenuBar)
        if (TMenuBtn* item = MenuBar->ItemAt(p)) OpenMenuItem(item);
      m.Result = 0;
      return;
    }
    case CM_MENUCHANGED:
      if (FormHooked) break;  // the form's message method handles it
      MenuChanged(m);
      return;
    default:
      break;
  }
  if (IsMaximizedMDIChild() || State == kFormAttached) return CallDefault(m);
  Stage3(m);
}

void TSkinnedForm::Stage3(TMessage& m) {
  switch (m.Msg) {
    case WM_DRAWITEM: return DrawItemMessage(m);
    case WM_MEASUREITEM: return MeasureItemMessage(m);
    case WM_WINDOWPOSCHANGING: return CallDefault(m);
    case WM_NCCALCSIZE: return NCCalcSize(m);
    case WM_NCHITTEST: return NCHitTest(m);
    case WM_NCPAINT: return NCPaint(m);
    case WM_NCACTIVATE: return NCActivate(m);
    case WM_NCMOUSEMOVE: return NCMouseMove(m);
    case WM_NCLBUTTONDOWN: return NCLButtonDown(m);
    case WM_NCLBUTTONUP: return NCLButtonUp(m);
    case WM_NCLBUTTONDBLCLK: return NCLButtonDblClk(m);
    case WM_NCRBUTTONDOWN: return NCRButtonDown(m);
    case SKM_PAINTFRAME:
      PaintFrame(nullptr);
      m.Result = 0;
      return;
    default:
      return CallDefault(m);
  }
}

void TSkinnedForm::SysCommand(TMessage& m) {
  if (!MenuTracking) {
    const UINT cmd = static_cast<UINT>(m.WParam & 0xFFF0);
    if (cmd == SC_KEYMENU) {
      const wchar_t key = static_cast<wchar_t>(LOWORD(m.LParam));
      if (key != L' ' && key != L'-' && !::GetCapture()) {
        TMenuBtn* item = nullptr;
        if (key == 0) {
          if (MenuBar && MenuBar->Count() > 0) item = MenuBar->Items.front().get();
        } else {
          item = FindAccelItem(key);
        }
        if (key == 0 || item) {
          if (item) OpenMenuItem(item);
          m.Result = 1;
          return;
        }
      }
      if (key == L' ') {
        POINT p{0, 0};
        ::ClientToScreen(Handle, &p);
        PopupSystemMenu(p);
        m.Result = 0;
        return;
      }
    }
    if (cmd == SC_MINIMIZE) {
      WindowState = 2;
    } else if (cmd == SC_MAXIMIZE) {
      WindowState = 1;
    } else if (cmd == SC_RESTORE) {
      WindowState = 0;
      if (Kind == 2)
        if (TSkinManage* mg = SkinManager())
          if (mg->MDIChildMaximized) mg->SetMDIChildMaximized(false);
    }
  }
  CallDefault(m);
}

void TSkinnedForm::MenuChanged(TMessage& m) {
  const bool painting = SkinData->FramePainting;
  SkinData->FramePainting = false;
  if (FormHooked) {
    if (SavedWindowProc) SavedWindowProc(m);
  } else {
    CallDefault(m);
  }
  SkinData->FramePainting = painting;
  HMENU menu = ::GetMenu(Handle);
  if (!menu) return;
  if (MenuBar) {
    if (SkinData->MenuUpdate()) {
      MenuBar->MenuHandle = menu;
      MenuBar->Build();
    }
  } else if (Kind != 2 && SkinFrame) {
    // a menu given to the window after it was skinned is drawn by the skin too (not dropped)
    MenuHandle = menu;
    MenuHeight = ::GetSystemMetrics(SM_CYMENU);
    MenuBar.reset(new TSkinnedMenu(this, SkinData, FormMenu(menu)));
    MenuBar->Build();
    if (State == kFormSkinned)
      if (RECT r{}; ::GetWindowRect(Handle, &r))
        ::SetWindowPos(Handle, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + MenuHeight,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  ::SetMenu(Handle, nullptr);
}

TMainMenu* TSkinnedForm::FormMenu(HMENU menu) const {
  if (!Control) return nullptr;
  for (TComponent* c : Control->ComponentList())
    if (auto* mm = dynamic_cast<TMainMenu*>(c))
      if (mm->Handle() == menu) return mm;
  return nullptr;
}

void TSkinnedForm::FormWindowProc(TMessage& m) {
  switch (m.Msg) {
    case WM_SETTEXT:
      if (SavedWindowProc) SavedWindowProc(m);
      if (::IsWindowVisible(Handle)) {
        if (WindowState == 1)
          if (TSkinManage* mg = SkinManager())
            if (mg->MDIClient) ::PostMessageW(mg->MDIClient, SKM_REDRAWFRAME, reinterpret_cast<WPARAM>(Handle), 0);
        if (WindowState == 2)
          PaintFrame(nullptr);
        else
          ::SetWindowPos(Handle, nullptr, 0, 0, 0, 0,
                         SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      }
      return;
    case CM_MENUCHANGED:
      MenuChanged(m);
      return;
    case SKM_RECOLOR:
      SkinChanged();
      m.Result = 0;
      return;
    case CM_DIALOGCHAR:
      DialogChar(m);
      return;
    case SKM_PRINT:
      if (IsSkinSignal(m.LParam)) {
        if (m.WParam) PaintFrame(reinterpret_cast<HDC>(m.WParam));
        m.Result = kSkinSignature;
      }
      return;
    case SKM_QUERY:
      m.Result = IsSkinSignal(m.LParam) ? kSkinSignature : 1;
      return;
    default:
      if (SavedWindowProc) SavedWindowProc(m);
  }
}

void TSkinnedForm::ClientWndProc(TMessage& m) {
  auto pass = [&] { m.Result = ::CallWindowProcW(OldClientProc, MDIClient, m.Msg, m.WParam, m.LParam); };
  TSkinManage* mg = SkinManager();
  switch (m.Msg) {
    case WM_NCDESTROY:
      pass();
      RestoreClientProc();
      return;
    case WM_NCCALCSIZE:
      if (SkinFrame && !(SkinData->Options() & SkinBit(xoMDIScrollbar))) {
        const LONG_PTR s = ::GetWindowLongPtrW(MDIClient, GWL_STYLE);
        ::SetWindowLongPtrW(MDIClient, GWL_STYLE, s & ~static_cast<LONG_PTR>(WS_HSCROLL | WS_VSCROLL));
      }
      return pass();
    case WM_MDICREATE:
      SkinData->SetMenuUpdate(false);
      return pass();
    case WM_MDIDESTROY: {
      pass();
      if (!SkinFrame || !mg) return;
      BOOL maximized = FALSE;
      HWND active = reinterpret_cast<HWND>(::SendMessageW(MDIClient, WM_MDIGETACTIVE, 0,
                                                          reinterpret_cast<LPARAM>(&maximized)));
      mg->SetMDIChildMaximized(active && maximized);
      if (!active && MenuBar) {
        SkinData->SetMenuUpdate(SavedMenuUpdate);
        MenuBar->Build();
      }
      return;
    }
    case WM_MDITILE:
    case WM_MDICASCADE:
      if (SkinFrame && mg && mg->MDIChildMaximized) mg->SetMDIChildMaximized(false);
      return pass();
    case WM_MDISETMENU:
      pass();
      if (SkinFrame) {
        if (m.WParam && MenuBar) {
          MenuBar->MenuHandle = ::GetMenu(Handle);
          MenuBar->BuildFrom();
        }
        ::SetMenu(Handle, nullptr);
      }
      return;
    case SKM_REDRAWFRAME:
      ::RedrawWindow(Handle, nullptr, nullptr, 0x585);
      m.Result = 0;
      return;
    default:
      pass();
  }
}

// ---- system menu --------------------------------------------------------------------------------
void TSkinnedForm::PopupSystemMenu(POINT screen) {
  const DWORD now = ::GetTickCount();
  if (now - LastClick > DoubleClickTime) {
    if (TSkinManage* mg = SkinManager()) mg->MenuKind = 2;
    LastClick = now;
    BuildSystemMenu();
    auto alive = alive_;
    if (SysMenuPopup) SysMenuPopup->Popup(screen.x, screen.y);
    (void)alive;
  } else if (HotObject) {
    if (HoverTimer) HoverTimer->SetEnabled(false);
    ::PostMessageW(Handle, WM_CLOSE, 0, 0);
  }
}

void TSkinnedForm::BuildSystemMenu() {
  SysMenuPopup.reset();
  SysMenuPopup.reset(new TPopupMenu(nullptr));
  TPopupMenu* menu = SysMenuPopup.get();
  menu->SetTag(33333);
  menu->SetOwnerDraw(true);
  menu->SetImages(SkinData->MenuGlyphs.get());
  const HWND wnd = Handle;
  auto add = [&](const std::wstring& caption, intptr_t tag, int image, bool enabled, bool checked) {
    auto* item = new TMenuItem(menu);
    item->SetCaption(caption);
    item->SetTag(tag);
    item->SetImageIndex(image);
    item->SetEnabled(enabled);
    item->SetChecked(checked);
    item->OnClick = [wnd, tag](TObject*) { ::PostMessageW(wnd, WM_SYSCOMMAND, static_cast<WPARAM>(tag), 0); };
    item->OnDrawItem = [this](TObject* s, TCanvas* c, const RECT& r, bool sel) { DrawSkinnedItem(s, c, r, sel); };
    item->OnMeasureItem = [this](TObject* s, TCanvas* c, int& w, int& h) { MeasurePopupItem(s, c, w, h); };
    menu->Items()->Add(item);
  };
  HMENU sys = SystemMenu ? SystemMenu : ::GetSystemMenu(Handle, FALSE);
  const int count = sys ? ::GetMenuItemCount(sys) : 0;
  for (int i = 0; i < count; ++i) {
    wchar_t text[81] = {};
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE;
    mi.dwTypeData = text;
    mi.cch = 80;
    if (!::GetMenuItemInfoW(sys, static_cast<UINT>(i), TRUE, &mi)) continue;
    std::wstring caption = (mi.fType & MFT_SEPARATOR) || !text[0] ? std::wstring(L"-") : std::wstring(text);
    bool enabled = true;
    int image = -1;
    switch (mi.wID & 0xFFF0) {
      case SC_SIZE:
      case SC_MOVE: enabled = WindowState != 1; break;
      case SC_MINIMIZE: image = 2; enabled = WindowState != 2 && (ButtonFlags & kBtnMinimize); break;
      case SC_MAXIMIZE: image = 1; enabled = WindowState != 1 && (ButtonFlags & kBtnMaximize); break;
      case SC_CLOSE: image = 3; break;
      case SC_RESTORE: image = 0; enabled = WindowState != 0; break;
      default: break;
    }
    if ((mi.fState & 3) == 3) enabled = false;
    add(caption, static_cast<intptr_t>(mi.wID), image, enabled, (mi.fState & MFS_CHECKED) != 0);
  }
}

void TSkinnedForm::RestoreWindow() {
  WindowState = 0;
  ::PostMessageW(Handle, WM_SYSCOMMAND, SC_RESTORE, 0);
}

void TSkinnedForm::MaximizeWindow() {
  if (WindowState == 1) return RestoreWindow();
  if (Kind == 2)
    if (TSkinManage* mg = SkinManager()) mg->SetMDIChildMaximized(true);
  WindowState = 1;
  ::PostMessageW(Handle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  HotObject = nullptr;
}

void TSkinnedForm::MinimizeWindow() {
  if (WindowState == 2) return RestoreWindow();
  WindowState = 2;
  GiveSysMenuBack();
  ::PostMessageW(Handle, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

}  // namespace kivo
