#include "SkinManager.h"

#include <algorithm>
#include <cwctype>

#include "SkinData.h"
#include "SkinDraw.h"
#include "SkinMessages.h"
#include "SkinnedForm.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinnedPopMenu)
KIVO_IMPLEMENT_CLASS(TSkinManage)

namespace {

TSkinManage* g_manager = nullptr;
bool g_hookOff = false;

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

bool Has(TSkinData* data, TSkinControlType t) { return data && (data->SkinControls() & SkinBit(t)) != 0; }

}  // namespace

TSkinManage* SkinManager() { return g_manager; }

TSkinManage* NeedSkinManager() {
  if (!g_manager) g_manager = new TSkinManage();
  return g_manager;
}

void FreeSkinManager() {
  TSkinManage* m = g_manager;
  if (!m) return;
  delete m;
  g_manager = nullptr;
}

bool SkinIsNT() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof(v);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExW(&v);
#pragma GCC diagnostic pop
  return v.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool SkinMajorNot6() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const DWORD v = ::GetVersion();
#pragma GCC diagnostic pop
  return LOBYTE(LOWORD(v)) != 6;
}

// ---- TSkinnedPopMenu ----------------------------------------------------------------------------
TSkinnedPopMenu::TSkinnedPopMenu(HWND handle, TSkinData* skinData) : Handle(handle), SkinData(skinData) {}

TSkinnedPopMenu::~TSkinnedPopMenu() { Detach(); }

void TSkinnedPopMenu::Attach() {
  if (ObjectInstance) return;
  ObjectInstance = MakeObjectInstance([this](TMessage& m) { WndProc(m); });
  OldWndProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ObjectInstance)));
  if (!OldWndProc) {
    FreeObjectInstance(ObjectInstance);
    ObjectInstance = nullptr;
  }
}

void TSkinnedPopMenu::Detach() {
  if (ObjectInstance) {
    if (::IsWindow(Handle)) ::SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldWndProc));
    FreeObjectInstance(ObjectInstance);
    ObjectInstance = nullptr;
  }
  Background.reset();
}

void TSkinnedPopMenu::CallDefault(TMessage& m) {
  m.Result = ::CallWindowProcW(OldWndProc, Handle, m.Msg, m.WParam, m.LParam);
}

bool TSkinnedPopMenu::MakeBackground() {
  if (!SkinData || SkinData->NoSkin || !SkinData->MenuBackground || !SkinData->MenuBackground->HasPicture())
    return false;
  RECT r;
  if (!::GetWindowRect(Handle, &r)) return false;
  ::OffsetRect(&r, -r.left, -r.top);
  if (r.right <= 0 || r.bottom <= 0) return false;
  TDataSkinObject* o = SkinData->MenuBackground.get();
  Background = SliceBitmap(r, o->Bitmap.get(), o->Margins(), false, o->Tile == 1, 1, 1);
  return Background != nullptr;
}

void TSkinnedPopMenu::WndProc(TMessage& m) {
  if (m.Msg == SKM_ISSKINNED) {
    m.Result = 1;
    return;
  }
  TSkinManage* manager = SkinManager();
  if (!manager || !manager->Skinning) return CallDefault(m);
  switch (m.Msg) {
    case WM_DESTROY: {
      WNDPROC old = OldWndProc;
      HWND wnd = Handle;
      Detach();
      m.Result = ::CallWindowProcW(old, wnd, m.Msg, m.WParam, m.LParam);
      return;
    }
    case WM_ERASEBKGND:
      if (!SkinData || !(SkinData->Options() & SkinBit(xoMenuBG))) CallDefault(m);
      m.Result = 1;
      return;
    case WM_NCPAINT: {
      if (!MakeBackground()) return CallDefault(m);
      HDC dc = ::GetWindowDC(Handle);
      if (!dc) return;
      ::BitBlt(dc, 0, 0, Background->Width(), Background->Height(), Background->Canvas()->Handle(), 0, 0, SRCCOPY);
      ::ReleaseDC(Handle, dc);
      m.Result = 0;
      return;
    }
    case WM_PRINT: {
      HDC dc = reinterpret_cast<HDC>(m.WParam);
      if (!dc || !MakeBackground()) return CallDefault(m);
      ::BitBlt(dc, 0, 0, Background->Width(), Background->Height(), Background->Canvas()->Handle(), 0, 0, SRCCOPY);
      TSavedDCState saved(dc);
      ::SetBkMode(dc, TRANSPARENT);
      ::IntersectClipRect(dc, 3, 3, Background->Width() - 3, Background->Height() - 3);
      CallDefault(m);
      return;
    }
    default:
      CallDefault(m);
  }
}

// ---- TSkinManage --------------------------------------------------------------------------------
TSkinManage::TSkinManage() {
  timerWindow_ = std::make_unique<TUtilWindow>([this](TMessage& m) { TimerMessage(m); });
  g_hookOff = false;
}

TSkinManage::~TSkinManage() {
  Phase = 4;
  Skinning = false;
  StopTimer();
  timerWindow_.reset();
  while (!Windows.empty()) {
    TSkinnedForm* f = Windows.back();
    Windows.pop_back();
    f->DetachDestroyed();
    f->Free();
  }
  for (TSkinnedPopMenu* p : PopupMenus) delete p;
  PopupMenus.clear();
  SkinDatas.clear();
  if (hook_) ::UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  g_hookOff = true;
  if (g_manager == this) g_manager = nullptr;
}

void TSkinManage::InstallHook() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  VersionWord = ::GetVersion();
#pragma GCC diagnostic pop
  if (hook_) return;  // one hook however many main skin datas are loaded
  hook_ = ::SetWindowsHookExW(WH_CBT, &TSkinManage::HookProc, nullptr, ::GetCurrentThreadId());
}

void TSkinManage::RegisterSkinData(TSkinData* data) {
  if (!data || std::find(SkinDatas.begin(), SkinDatas.end(), data) != SkinDatas.end()) return;
  SkinDatas.push_back(data);
  if (!DefaultSkinData && data->SkinFormtype() == TSkinFormType::sfMainform) DefaultSkinData = data;
}

void TSkinManage::UnregisterSkinData(TSkinData* data) {
  SkinDatas.erase(std::remove(SkinDatas.begin(), SkinDatas.end(), data), SkinDatas.end());
  if (Subject == data) Subject = nullptr;
  if (DefaultSkinData == data) {
    DefaultSkinData = nullptr;
    for (TSkinData* d : SkinDatas)
      if (d->SkinFormtype() == TSkinFormType::sfMainform) {
        DefaultSkinData = d;
        break;
      }
  }
}

void TSkinManage::StartTimer(UINT ms) {
  if (!timerWindow_) return;
  ::SetTimer(timerWindow_->Handle(), 1, ms, nullptr);
  timerOn_ = true;
}

void TSkinManage::StopTimer() {
  if (timerWindow_ && timerOn_) ::KillTimer(timerWindow_->Handle(), 1);
  timerOn_ = false;
}

void TSkinManage::TimerMessage(TMessage& m) {
  if (m.Msg == WM_TIMER && m.WParam == 1) {
    OnTimer();
    m.Result = 0;
    return;
  }
  m.Result = ::DefWindowProcW(timerWindow_->Handle(), m.Msg, m.WParam, m.LParam);
}

void TSkinManage::Schedule(int action, UINT delayMs) {
  Action = action;
  interval_ = delayMs;
  if (Phase != 0) {
    StopTimer();
    StartTimer(interval_);
    return;
  }
  // before the first activation only the switch counts
  if (action == maActivate) Skinning = true;
  else if (action == maDeactivate) Skinning = false;
}

void TSkinManage::FreeWindow(TSkinnedForm* form) {
  RemoveWindowObject(form);
  form->Free();
}

void TSkinManage::Purge() {
  if (Phase == 4) return;
  for (std::size_t i = Windows.size(); i-- > 0;) {
    if (i >= Windows.size()) continue;
    TSkinnedForm* f = Windows[i];
    if (f->State == kFormDestroyed) FreeWindow(f);
  }
}

void TSkinManage::OnTimer() {
  StopTimer();
  TSkinData* subject = Subject;
  if (!subject) return;
  const int action = Action;
  if (subject->SkinFormtype() == TSkinFormType::sfOnlyThisForm) {
    if (action == maActivate) {
      Skinning = true;
      ActivatingAll = true;
      const std::vector<TCustomForm*> forms = Screen()->FormList();
      for (std::size_t i = forms.size(); i-- > 0;) {
        TCustomForm* f = forms[i];
        if (subject->Owner() != f) continue;
        HWND h = f->HandleIfAllocated();
        if (h && ::IsWindowVisible(h) && !(::GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) SkinWindow(h);
        break;
      }
      ActivatingAll = false;
    } else if (action == maDeactivate) {
      Skinning = false;
      Purge();
      for (std::size_t i = Windows.size(); i-- > 0;) {
        TSkinnedForm* f = Windows[i];
        if (f->SkinData != subject) continue;
        HWND h = f->Handle;
        f->Unskin();
        ::InvalidateRect(h, nullptr, TRUE);
        ::UpdateWindow(h);
        FreeWindow(f);
        break;
      }
    } else if (action == maSkinChanged) {
      Purge();
      for (std::size_t i = Windows.size(); i-- > 0;) {
        TSkinnedForm* f = Windows[i];
        if (f->SkinData != subject) continue;
        f->FreeSysButtons();
        f->BuildFrame();
        f->SkinChanged();
        break;
      }
    }
  } else {
    if (action == maActivate) {
      Skinning = true;
      ActivatingAll = true;
      Purge();
      const std::vector<TCustomForm*> forms = Screen()->FormList();
      for (std::size_t i = forms.size(); i-- > 0;) {
        HWND h = forms[i]->HandleIfAllocated();
        if (h && ::IsWindowVisible(h) && !(::GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) SkinWindow(h);
      }
      ActivatingAll = false;
    } else if (action == maDeactivate) {
      Skinning = false;
      Purge();
      while (!Windows.empty()) {
        TSkinnedForm* f = Windows.front();
        HWND h = f->Handle;
        f->Unskin();
        ::InvalidateRect(h, nullptr, TRUE);
        ::UpdateWindow(h);
        FreeWindow(f);
      }
    } else if (action == maSkinChanged) {
      Purge();
      std::vector<TSkinnedForm*> changed;
      for (TSkinnedForm* f : Windows)
        if (f->SkinData == subject) changed.push_back(f);
      for (TSkinnedForm* f : changed) {
        f->FreeSysButtons();
        f->BuildFrame();
      }
      for (TSkinnedForm* f : changed) f->SkinChanged();
    }
  }
  if (std::find(SkinDatas.begin(), SkinDatas.end(), subject) != SkinDatas.end()) subject->DoSkinChanged();
  Subject = nullptr;
}

TWinControl* TSkinManage::FormOfHandle(HWND handle) const {
  if (!handle) return nullptr;
  for (TCustomForm* f : Screen()->FormList())
    if (f->HandleIfAllocated() == handle) return f;
  return FindControl(handle);
}

bool TSkinManage::FilterWindow(HWND handle, const std::wstring& className) const {
  bool doSkin = true;
  TSkinData* d = DefaultSkinData;
  if (!d) return true;
  const std::wstring lower = Lower(className);
  if (!(d->Options() & SkinBit(xoPreview)) && lower.find(L"preview") != std::wstring::npos) doSkin = false;
  if (className == L"#32770" && (::GetWindowLongW(handle, GWL_STYLE) & 0x200)) doSkin = false;
  if (lower == L"tpopupdbtreeview") doSkin = false;
  d->FormSkinFilter(handle, className, doSkin);
  return doSkin;
}

TSkinData* TSkinManage::ChooseSkinData(HWND handle, const std::wstring& className) const {
  TSkinData* found = nullptr;
  for (TSkinData* d : SkinDatas) {
    if (d->SkinFormtype() != TSkinFormType::sfOnlyThisForm) continue;
    auto* owner = dynamic_cast<TWinControl*>(d->Owner());
    if (owner && owner->HandleIfAllocated() == handle) found = d;
  }
  if (found) return found;
  const std::wstring lower = Lower(className);
  if (lower == L"tmessageform" || lower == L"#32770") {
    for (TSkinData* d : SkinDatas)
      if (d->SkinFormtype() == TSkinFormType::sfDialog) found = d;
    if (found) return found;
  }
  for (TSkinData* d : SkinDatas)
    if (d->SkinFormtype() == TSkinFormType::sfMainform) found = d;
  if (found) return found;
  return SkinDatas.empty() ? nullptr : SkinDatas.front();
}

bool TSkinManage::SkinWindow(HWND handle) {
  if (!Skinning || !handle || !::IsWindow(handle)) return false;
  Purge();
  if (::SendMessageW(handle, SKM_ISSKINNED, 0, 0) == 1 || FindWindow(handle)) return false;
  TWinControl* form = FormOfHandle(handle);
  const LONG_PTR style = ::GetWindowLongPtrW(handle, GWL_STYLE);
  const LONG_PTR exStyle = ::GetWindowLongPtrW(handle, GWL_EXSTYLE);
  const bool mdiChild = (exStyle & WS_EX_MDICHILD) != 0;
  if (!ActivatingAll && (style & WS_CHILD) && !mdiChild) {
    HWND parent = ::GetParent(handle);
    if (Lower(WindowClassName(parent)) != L"mdiclient") return false;
  }
  const std::wstring className = WindowClassName(handle);
  const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(handle, GWLP_HINSTANCE));
  if (!form && instance != ::GetModuleHandleW(nullptr) && className != L"#32770") return false;
  RECT r{};
  ::GetWindowRect(handle, &r);
  if ((r.right - r.left) * (r.bottom - r.top) == 0 && !mdiChild) return false;
  if (form && form->Tag() == 99) return false;
  if (className.find(L"TcxPopupEditPopupWindow") != std::wstring::npos ||
      className.find(L"TTERenderWindow") != std::wstring::npos || className == L"TApplication")
    return false;
  if (!FilterWindow(handle, className)) return false;
  TSkinData* data = ChooseSkinData(handle, className);
  if (!data || data->NoSkin) return false;
  auto* skinned = new TSkinnedForm(form);
  skinned->Handle = handle;
  skinned->ClassName = className;
  Windows.push_back(skinned);
  if (form) skinned->SkinForm(data, form);
  else skinned->SkinWindow(data);
  ::PostMessageW(handle, SKM_ACTIVATE, 0, 1000);
  return true;
}

TSkinnedForm* TSkinManage::FindWindow(HWND handle) const {
  for (TSkinnedForm* f : Windows)
    if (f->Handle == handle) return f;
  return nullptr;
}

void TSkinManage::RemoveWindow(HWND handle) {
  if (Phase == 4) return;
  for (auto it = Windows.begin(); it != Windows.end(); ++it)
    if ((*it)->Handle == handle) {
      Windows.erase(it);
      return;
    }
}

void TSkinManage::RemoveWindowObject(TSkinnedForm* form) {
  Windows.erase(std::remove(Windows.begin(), Windows.end(), form), Windows.end());
  if (MDIForm && form->Control == MDIForm) {
    MDIForm = nullptr;
    MDIClient = nullptr;
  }
}

void TSkinManage::ReleaseButtonsOf(TSkinData* subject) {
  for (TSkinnedForm* f : Windows)
    if (f->SkinData == subject) f->FreeSysButtons();
}

void TSkinManage::SetMDIChildMaximized(bool flag) {
  if (flag == MDIChildMaximized) return;
  MDIChildMaximized = flag;
  if (DefaultSkinData && (DefaultSkinData->Options() & SkinBit(xoMDIChildBorder))) return;
  for (TSkinnedForm* f : Windows) {
    if (!f->IsMDIChild()) continue;
    if (flag) {
      f->RemoveRegion();
    } else if (!f->Minimized()) {
      f->WindowState = 0;
      f->UpdateRegion();
      if (!f->RegionSet)
        ::SetWindowPos(f->Handle, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
  }
}

void TSkinManage::SkinPopupMenu(HWND handle) {
  if (!Skinning) return;
  if (::SendMessageW(handle, SKM_ISSKINNED, 0, 0) == 1) return;
  for (TSkinnedPopMenu* p : PopupMenus)
    if (p->Handle == handle) return;
  TSkinData* data = ChooseSkinData(handle, L"#32768");
  if (!data || data->NoSkin) return;
  bool allowed = false;
  switch (MenuKind) {
    case 0: allowed = Has(data, xcPopupMenu); break;
    case 1: allowed = Has(data, xcMainMenu) || Has(data, xcMenuItem); break;
    case 2: allowed = Has(data, xcSystemMenu); break;
    default: break;
  }
  if (!allowed) return;
  auto* p = new TSkinnedPopMenu(handle, data);
  p->Attach();
  PopupMenus.push_back(p);
}

void TSkinManage::UnskinPopupMenu(HWND handle) {
  for (auto it = PopupMenus.begin(); it != PopupMenus.end(); ++it) {
    if ((*it)->Handle != handle) continue;
    TSkinnedPopMenu* p = *it;
    PopupMenus.erase(it);
    delete p;
    if (PopupMenus.empty()) {
      BarMenuOpen = false;
      MenuKind = 0;
    }
    return;
  }
  // a menu left unskinned (its switch off) still ends the menu kind it was opened with
  if (PopupMenus.empty() && WindowClassName(handle) == L"#32768") {
    BarMenuOpen = false;
    MenuKind = 0;
  }
}

void TSkinManage::AttachMenuHandle(HMENU menu) {
  for (std::size_t i = PopupMenus.size(); i-- > 0;)
    if (!PopupMenus[i]->MenuHandle) {
      PopupMenus[i]->MenuHandle = menu;
      return;
    }
}

TBitmap* TSkinManage::PopupBackground(HMENU menu) const {
  for (TSkinnedPopMenu* p : PopupMenus)
    if (p->MenuHandle == menu) return p->Background.get();
  return nullptr;
}

LRESULT CALLBACK TSkinManage::HookProc(int code, WPARAM w, LPARAM l) {
  TSkinManage* m = g_manager;
  HHOOK hook = m ? m->hook_ : nullptr;
  if (g_hookOff || !m || code < 0) return ::CallNextHookEx(hook, code, w, l);
  auto wnd = reinterpret_cast<HWND>(w);
  switch (code) {
    case HCBT_CREATEWND: {
      auto* cw = reinterpret_cast<CBT_CREATEWNDW*>(l);
      const CREATESTRUCTW* cs = cw ? cw->lpcs : nullptr;
      if (!cs) break;
      const std::wstring cls = WindowClassName(wnd);
      if (Lower(cls) == L"scrollbar" && (cs->style & SBS_SIZEGRIP)) {
        if (TSkinnedForm* f = m->FindWindow(cs->hwndParent)) f->SkinChildWindow(wnd);
      } else if (!(cs->style & WS_CHILD) && cls == L"#32768") {
        m->SkinPopupMenu(wnd);
      } else if (cs->dwExStyle & WS_EX_MDICHILD) {
        m->SkinWindow(wnd);
      }
      break;
    }
    case HCBT_DESTROYWND:
      m->UnskinPopupMenu(wnd);
      break;
    case HCBT_ACTIVATE:
      if (m->Phase == 0) m->Phase = 1;
      m->SkinWindow(wnd);
      break;
    default:
      break;
  }
  return ::CallNextHookEx(hook, code, w, l);
}

}  // namespace kivo
