#include "SkinMenu.h"

#include <algorithm>
#include <cwctype>

#include "SkinDraw.h"
#include "SkinManager.h"
#include "SkinPaint.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TMenuBtn)
KIVO_IMPLEMENT_CLASS(TSkinnedMenu)

namespace {

// The menu loop of a bar popup.
struct TMenuLoop {
  HHOOK hook = nullptr;
  TSkinnedForm* form = nullptr;
  int currentIndex = -1;
  TMenuItem* currentItem = nullptr;
  bool firstKeySent = false;
  bool keyboardSwitch = false;
  POINT lastCursor{0, 0};
  int pendingIndex = -1;  // the bar item to open once the current popup has closed
} g_loop;

bool HasControl(TSkinData* d, TSkinControlType t) { return d && (d->SkinControls() & SkinBit(t)) != 0; }

TColor SkinColor(TSkinData* d, int index) { return d->Color(index); }

std::wstring MenuText(HMENU menu, UINT id, UINT flags) {
  wchar_t text[81] = {};
  const int n = ::GetMenuStringW(menu, id, text, 80, flags);
  return std::wstring(text, n > 0 ? n : 0);
}

bool IsRightToLeftMenu(TMenuItem* item) {
  if (!item || !item->Parent()) return false;
  MENUITEMINFOW mi{};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_FTYPE;
  return ::GetMenuItemInfoW(item->Parent()->Handle(), item->Command(), FALSE, &mi) && (mi.fType & MFT_RIGHTORDER);
}

LRESULT CALLBACK MenuHookProc(int code, WPARAM w, LPARAM l) {
  auto* msg = reinterpret_cast<MSG*>(l);
  if (code >= 0 && msg && IsRightToLeftMenu(g_loop.currentItem) && (msg->message == WM_KEYDOWN)) {
    if (msg->wParam == VK_LEFT) msg->wParam = VK_RIGHT;
    else if (msg->wParam == VK_RIGHT) msg->wParam = VK_LEFT;
  }
  const LRESULT next = ::CallNextHookEx(g_loop.hook, code, w, l);
  if (next != 0 || code != MSGF_MENU || !msg) return next;
  TSkinnedForm* form = g_loop.form;
  if (!form || !form->MenuBar) return 0;
  TSkinnedMenu* bar = form->MenuBar.get();
  if (!g_loop.firstKeySent) {
    g_loop.firstKeySent = true;
    ::PostMessageW(msg->hwnd, WM_KEYDOWN, VK_DOWN, 0);
  }
  TMenuBtn* taken = nullptr;
  const int count = bar->Count();
  switch (msg->message) {
    case WM_KEYDOWN:
      if (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) {
        g_loop.keyboardSwitch = false;
      } else if (msg->wParam == VK_RIGHT && count > 0) {
        if (!g_loop.currentItem || g_loop.currentItem->Count() == 0) {
          int i = g_loop.currentIndex;
          for (int n = 0; n < count; ++n) {
            i = (i + 1) % count;
            if (bar->Items[i]->Visible && !bar->Items[i]->Caption.empty()) break;
          }
          taken = bar->Items[i].get();
        }
      } else if (msg->wParam == VK_LEFT && count > 0) {
        TMenuItem* cur = g_loop.currentItem;
        const bool atTop = !cur || !cur->Parent() || cur->Parent()->Handle() == form->TrackedMenu ||
                           (cur->Count() > 0 && cur->Handle() == form->TrackedMenu);
        if (atTop) {
          int i = g_loop.currentIndex < 0 ? 0 : g_loop.currentIndex;
          for (int n = 0; n < count; ++n) {
            i = (i + count - 1) % count;
            if (bar->Items[i]->Visible && !bar->Items[i]->Caption.empty()) break;
          }
          taken = bar->Items[i].get();
        }
      }
      break;
    case WM_SYSKEYDOWN:
      if (msg->wParam == VK_MENU) form->MenuTracking = false;
      return 0;
    case WM_MENUSELECT:
      if (HIWORD(msg->wParam) == 0xFFFF && msg->lParam == 0) {
        if (!g_loop.keyboardSwitch) form->MenuTracking = false;
        return 0;
      }
      g_loop.keyboardSwitch = false;
      if (bar->Menu) {
        if (HIWORD(msg->wParam) & MF_POPUP) {
          HMENU sub = ::GetSubMenu(reinterpret_cast<HMENU>(msg->lParam), LOWORD(msg->wParam));
          g_loop.currentItem = bar->Menu->FindItem(reinterpret_cast<UINT_PTR>(sub), TFindItemKind::fkHandle);
        } else {
          g_loop.currentItem = bar->Menu->FindItem(LOWORD(msg->wParam), TFindItemKind::fkCommand);
        }
      }
      return 0;
    case WM_MOUSEMOVE: {
      POINT c;
      ::GetCursorPos(&c);
      if (c.x != g_loop.lastCursor.x || c.y != g_loop.lastCursor.y) {
        RECT wr{};
        ::GetWindowRect(form->Handle, &wr);
        taken = bar->ItemAt(POINT{c.x - wr.left, c.y - wr.top});
      }
      g_loop.lastCursor = c;
      break;
    }
    default:
      break;
  }
  if (taken && taken->Index != g_loop.currentIndex) {
    g_loop.keyboardSwitch = true;
    form->ClickMenuItem(taken);
  }
  return 0;
}

}  // namespace

void StartMenuHook() {
  g_loop.keyboardSwitch = false;
  g_loop.firstKeySent = false;
  ::GetCursorPos(&g_loop.lastCursor);
  if (!g_loop.hook) g_loop.hook = ::SetWindowsHookExW(WH_MSGFILTER, &MenuHookProc, nullptr, ::GetCurrentThreadId());
}

void StopMenuHook() {
  if (g_loop.hook) ::UnhookWindowsHookEx(g_loop.hook);
  g_loop.hook = nullptr;
  g_loop.currentItem = nullptr;
  g_loop.currentIndex = -1;
  g_loop.firstKeySent = false;
}

bool MenuHookRunning() { return g_loop.hook != nullptr; }

bool IsAccel(wchar_t key, const std::wstring& caption) {
  const wchar_t k = static_cast<wchar_t>(std::towupper(key));
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;
      continue;
    }
    return static_cast<wchar_t>(std::towupper(caption[i + 1])) == k;
  }
  return false;
}

// ---- TSkinnedMenu -------------------------------------------------------------------------------
TSkinnedMenu::TSkinnedMenu(TSkinnedForm* form, TSkinData* skinData, TMainMenu* menu)
    : TComponent(nullptr), Menu(menu), SkinData(skinData), Form(form) {
  MenuHandle = ::GetMenu(form->Handle);
  if (menu) FreeNotification(menu);
}

TSkinnedMenu::~TSkinnedMenu() {
  if (Form && Form->HotObject)
    for (auto& i : Items)
      if (Form->HotObject == i.get()) Form->HotObject = nullptr;
}

void TSkinnedMenu::Fill(bool fromFrame) {
  if (HMENU current = ::GetMenu(Form->Handle)) MenuHandle = current;
  if (!MenuHandle) return;
  if (Form->Control && !Menu && !fromFrame) return;
  if (Form->HotObject)
    for (auto& i : Items)
      if (Form->HotObject == i.get()) Form->HotObject = nullptr;
  Items.clear();
  const int count = ::GetMenuItemCount(MenuHandle);
  for (int i = 0; i < count; ++i) {
    wchar_t text[81] = {};
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    mi.dwTypeData = text;
    mi.cch = 80;
    if (!::GetMenuItemInfoW(MenuHandle, static_cast<UINT>(i), TRUE, &mi)) continue;
    auto b = std::make_unique<TMenuBtn>(Form, this);
    b->Index = static_cast<int>(Items.size());
    b->SubMenu = mi.hSubMenu;
    b->Enabled = (mi.fState & 3) == 0;
    b->Visible = true;
    b->Command = mi.wID;
    b->Caption = (mi.fType & MFT_OWNERDRAW) ? std::wstring() : std::wstring(text);
    TMenuItem* item = Menu ? Menu->FindItem(mi.wID, TFindItemKind::fkCommand) : nullptr;
    if (!item && Menu && mi.hSubMenu) item = Menu->FindItem(reinterpret_cast<UINT_PTR>(mi.hSubMenu), TFindItemKind::fkHandle);
    if (item && (!fromFrame || b->Caption.empty())) {
      b->Caption = item->Caption();
      b->Enabled = item->Enabled();
      b->Command = item->Command();
      if (!fromFrame) b->MenuItem = item;
      b->SubMenu = item->Count() > 0 ? item->Handle() : nullptr;
    }
    Items.push_back(std::move(b));
  }
  ::SetMenu(Form->Handle, nullptr);
}

void TSkinnedMenu::Build() { Fill(false); }

void TSkinnedMenu::BuildFrom() {
  Fill(true);
  Layout();
}

TMenuBtn* TSkinnedMenu::ItemAt(POINT p) const {
  for (auto& i : Items)
    if (!i->Caption.empty() && ::PtInRect(&i->Rect, p)) return i.get();
  return nullptr;
}

void TSkinnedMenu::PlaceItems(TCanvas* canvas, const RECT& r, bool draw) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  TDataSkinObject* bar = SkinData->MenuBar && SkinData->MenuBar->HasPicture() ? SkinData->MenuBar.get() : nullptr;
  int x = 6;
  if (bar) {
    x = Form->RightToLeft ? bar->RightWidth + 8 : bar->LeftWidth + 4;
    if (w < x) x = 12;
  }
  if (Form->RightToLeft) x = w - x;
  HDC dc = canvas->Handle();
  TSelectObject font(dc, Screen()->MenuFont()->Handle());
  for (auto& ip : Items) {
    TMenuBtn* item = ip.get();
    if (!item->Visible) {
      item->Rect = RECT{0, 0, 0, 0};
      continue;
    }
    int iw = 0;
    if (!item->Caption.empty()) {
      RECT m{0, 0, 0, 0};
      SkinDrawText(dc, item->Caption, m, DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE);
      iw = (m.right - m.left) + 10;
    }
    RECT cell = Form->RightToLeft ? RECT{x - iw, 0, x, h - 1} : RECT{x, 0, x + iw, h - 1};
    if (draw && iw > 0) {
      canvas->Font()->Assign(Screen()->MenuFont());
      canvas->Font()->SetColor(SkinColor(SkinData, scMenuBarText));
      DrawCentredText(canvas, cell, item->Caption, 2, item->Enabled);
    }
    item->Rect = RECT{r.left + cell.left, r.top + cell.top, r.left + cell.right, r.top + cell.bottom};
    x += Form->RightToLeft ? -iw : iw;
  }
}

void TSkinnedMenu::Paint(HDC dc, const RECT& r) {
  TBitmap* work = SkinWorkBitmap();
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (!work || w <= 0 || h <= 0) return;
  work->SetSize(w, h);
  TCanvas* c = work->Canvas();
  const RECT local{0, 0, w, h};
  TDataSkinObject* bar = SkinData->MenuBar && SkinData->MenuBar->HasPicture() ? SkinData->MenuBar.get() : nullptr;
  if (bar) {
    const int frame = Form->Active ? 1 : 2;
    if (bar->Tile == 1) {
      TObjectPtr<TBitmap> b = SliceBitmap(local, bar->Bitmap.get(), bar->Margins(), true, false, 2, frame);
      if (b) ::BitBlt(c->Handle(), 0, 0, w, h, b->Canvas()->Handle(), 0, 0, SRCCOPY);
    } else {
      DrawThreeSlice(c, local, bar->Bitmap.get(), true, false, 2, frame, bar->Margins());
    }
  } else {
    c->Brush()->SetStyle(TBrushStyle::bsSolid);
    c->Brush()->SetColor(SkinColor(SkinData, scMenubar));
    c->FillRect(local);
  }
  MenuRect = r;
  Background.reset(new TBitmap(w, h, TPixelFormat::pf24bit));
  ::BitBlt(Background->Canvas()->Handle(), 0, 0, w, h, c->Handle(), 0, 0, SRCCOPY);
  ::SetBkMode(c->Handle(), TRANSPARENT);
  PlaceItems(c, r, true);
  ::BitBlt(dc, r.left, r.top, w, h, c->Handle(), 0, 0, SRCCOPY);
}

void TSkinnedMenu::Layout() {
  const RECT r{Form->BorderLeft, Form->BorderTop, Form->Width - Form->BorderRight, Form->BorderTop + Form->MenuHeight};
  MenuRect = r;
  TBitmap scratch(1, 1, TPixelFormat::pf24bit);
  PlaceItems(scratch.Canvas(), r, false);
}

void TMenuBtn::Paint() {
  TSkinnedMenu* bar = Bar;
  if (!bar || !bar->Background || !Visible) return;
  HDC dc = ::GetWindowDC(Form->Handle);
  if (!dc) return;
  const RECT cell{Rect.left, bar->MenuRect.top, Rect.right, bar->MenuRect.bottom};
  ::BitBlt(dc, cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top, bar->Background->Canvas()->Handle(),
           cell.left - bar->MenuRect.left, 0, SRCCOPY);
  {
    TCanvas canvas;
    TNotifyDCBinding bind(&canvas, dc);
    if (State == kNCHover || State == kNCPressed) {
      canvas.Brush()->SetStyle(TBrushStyle::bsSolid);
      canvas.Brush()->SetColor(bar->SkinData->Color(scButtonHilight));
      canvas.FrameRect(Rect);
    }
    canvas.Font()->Assign(Screen()->MenuFont());
    canvas.Font()->SetColor(bar->SkinData->Color(Enabled ? scMenuBarText : scButtonShadow));
    DrawCentredText(&canvas, Rect, Caption, 2, true);
  }
  ::ReleaseDC(Form->Handle, dc);
}

// ---- TSkinnedForm: the bar's items --------------------------------------------------------------
bool TSkinnedForm::OpenMenuItem(TMenuBtn* first) {
  if (!first || !MenuBar) return false;
  auto alive = alive_;
  int index = first->Index;
  bool opened = false;
  // a switch to a neighbouring bar item closes this popup and opens that one
  while (index >= 0 && index < MenuBar->Count()) {
    TMenuBtn* item = MenuBar->Items[static_cast<std::size_t>(index)].get();
    ::PostMessageW(Handle, WM_COMMAND, item->Command, 0);
    if (!item->SubMenu) return opened;
    g_loop.currentIndex = item->Index;
    g_loop.form = this;
    g_loop.pendingIndex = -1;
    std::vector<HMENU> pending{item->SubMenu};
    while (!pending.empty()) {
      HMENU menu = pending.back();
      pending.pop_back();
      const int n = ::GetMenuItemCount(menu);
      for (int i = 0; i < n; ++i) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_FTYPE | MIIM_SUBMENU;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mi)) continue;
        if (!(mi.fType & MFT_OWNERDRAW)) {
          mi.fMask = MIIM_FTYPE;
          mi.fType |= MFT_OWNERDRAW;
          ::SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mi);
        }
        if (mi.hSubMenu) pending.push_back(mi.hSubMenu);
      }
    }
    MenuTracking = true;
    RECT wr{};
    ::GetWindowRect(Handle, &wr);
    const int x = wr.left + (RightToLeft ? item->Rect.right : item->Rect.left);
    const int y = wr.top + item->Rect.bottom;
    if (TSkinManage* mg = SkinManager()) {
      mg->MenuKind = 1;
      mg->BarMenuOpen = true;
    }
    TrackedMenu = item->SubMenu;
    StartMenuHook();
    if (item->Enabled)
      ::TrackPopupMenu(item->SubMenu, RightToLeft ? 0x8A : 0x82, x, y, 0, Handle, nullptr);
    const int next = g_loop.pendingIndex;
    StopMenuHook();
    g_loop.pendingIndex = -1;
    opened = true;
    if (!*alive) return true;
    MenuTracking = false;
    TrackedMenu = nullptr;
    if (item == HotObject) item->MouseLeave();
    index = next;
  }
  g_loop.form = nullptr;
  return opened;
}

void TSkinnedForm::ClickMenuItem(TMenuBtn* item) {
  if (!item) return;
  if (MenuHookRunning() && g_loop.form == this) {
    // inside the bar's menu loop: close the open popup, then open this item
    g_loop.pendingIndex = item->Index;
    ::EndMenu();
    return;
  }
  RECT wr{};
  ::GetWindowRect(Handle, &wr);
  const POINT p{wr.left + item->Rect.left + 1, wr.top + item->Rect.top + 1};
  ::PostMessageW(Handle, WM_NCLBUTTONDOWN, 1, MAKELPARAM(p.x, p.y));
}

TMenuBtn* TSkinnedForm::FindAccelItem(wchar_t key) const {
  if (!MenuBar) return nullptr;
  for (auto& i : MenuBar->Items)
    if (i->Enabled && i->Visible && IsAccel(key, i->Caption)) return i.get();
  return nullptr;
}

void TSkinnedForm::DialogChar(TMessage& m) {
  if (SavedWindowProc) SavedWindowProc(m);
  if (m.Result != 0) return;
  const bool alt = ::GetKeyState(VK_MENU) < 0, shift = ::GetKeyState(VK_SHIFT) < 0, ctrl = ::GetKeyState(VK_CONTROL) < 0;
  if (alt && !shift && !ctrl)
    if (TMenuBtn* item = FindAccelItem(static_cast<wchar_t>(m.WParam))) {
      ClickMenuItem(item);
      m.Result = 1;
      return;
    }
  if (Kind == 2) {
    if (TSkinManage* mg = SkinManager())
      if (mg->MDIForm && mg->MDIForm != Control) {
        m.Result = mg->MDIForm->Perform(CM_DIALOGCHAR, m.WParam, m.LParam);
        if (m.Result) return;
      }
  } else if (TCustomForm* main = Application()->MainForm()) {
    auto* form = dynamic_cast<TCustomForm*>(Control);
    if (main != Control && !(form && form->Modal())) main->Perform(CM_DIALOGCHAR, m.WParam, m.LParam);
  }
  m.Result = 0;
}

// ---- owner-drawn menu items ---------------------------------------------------------------------
void TSkinnedForm::SetPopupMenusOwnerDraw(TComponent* component, bool on) {
  if (!component || component->ClassName() == L"TwwRichEditForm") return;
  for (TComponent* c : component->ComponentList()) {
    if (c->InheritsFrom(TCustomFrame::StaticClass()) || c->InheritsFrom(TCustomForm::StaticClass())) {
      SetPopupMenusOwnerDraw(c, on);
      continue;
    }
    auto* popup = dynamic_cast<TPopupMenu*>(c);
    if (!popup || popup->Tag() == SkinData->DisableTag() || !HasControl(SkinData, xcPopupMenu)) continue;
    popup->SetOwnerDraw(on);
    std::vector<TMenuItem*> items{popup->Items()};
    while (!items.empty()) {
      TMenuItem* it = items.back();
      items.pop_back();
      for (int i = 0; i < it->Count(); ++i) {
        TMenuItem* sub = it->Items(i);
        items.push_back(sub);
        if (on) {
          sub->OnDrawItem = [this](TObject* s, TCanvas* cv, const RECT& r, bool sel) { DrawSkinnedItem(s, cv, r, sel); };
          if (!sub->OnMeasureItem)
            sub->OnMeasureItem = [this](TObject* s, TCanvas* cv, int& w, int& h) { MeasurePopupItem(s, cv, w, h); };
        } else {
          sub->OnDrawItem = nullptr;
          sub->OnMeasureItem = nullptr;
        }
      }
    }
  }
}

void TSkinnedForm::SetMainMenusOwnerDraw(TComponent* form, bool on) {
  if (!form) return;
  for (TComponent* c : form->ComponentList()) {
    auto* menu = dynamic_cast<TMainMenu*>(c);
    if (!menu) continue;
    menu->SetOwnerDraw(on);
    std::vector<TMenuItem*> level;
    for (int i = 0; i < menu->Items()->Count(); ++i) level.push_back(menu->Items()->Items(i));
    while (!level.empty()) {
      TMenuItem* it = level.back();
      level.pop_back();
      for (int i = 0; i < it->Count(); ++i) {
        TMenuItem* sub = it->Items(i);
        level.push_back(sub);
        if (on) {
          if (!sub->OnDrawItem) {
            sub->OnDrawItem = [this](TObject* s, TCanvas* cv, const RECT& r, bool sel) { DrawSkinnedItem(s, cv, r, sel); };
            sub->OnMeasureItem = [this](TObject* s, TCanvas* cv, int& w, int& h) { MeasureBarSubItem(s, cv, w, h); };
          }
        } else {
          sub->OnDrawItem = nullptr;
          sub->OnMeasureItem = nullptr;
        }
      }
    }
  }
}

void TSkinnedForm::MeasurePopupItem(TObject* sender, TCanvas*, int& width, int&) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  TMenu* menu = item ? item->GetParentMenu() : nullptr;
  const int left = SkinData->MenuItem ? SkinData->MenuItem->LeftWidth : 0;
  width += left + (menu && menu->Images() ? 12 : 35);
}

void TSkinnedForm::MeasureBarSubItem(TObject* sender, TCanvas*, int& width, int&) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  TMenu* menu = item ? item->GetParentMenu() : nullptr;
  const int left = SkinData->MenuItem ? SkinData->MenuItem->LeftWidth : 0;
  width += left + (menu && menu->Images() ? 10 : 35);
}

void TSkinnedForm::MeasureItemMessage(TMessage& m) {
  auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
  if (!mi || mi->CtlType != ODT_MENU || !MenuBar) return CallDefault(m);
  HDC dc = ::GetWindowDC(Handle);
  if (!dc) return CallDefault(m);
  TCanvas canvas;
  int w = 0, h = 0;
  bool done = false;
  {
    TNotifyDCBinding bind(&canvas, dc);
    TMenuItem* item = Control && MenuBar->Menu ? MenuBar->Menu->FindItem(mi->itemID, TFindItemKind::fkCommand) : nullptr;
    if (item) {
      TMenuMeasureItemEvent saved = item->OnMeasureItem;
      item->OnMeasureItem = nullptr;
      item->MeasureItem(&canvas, w, h);
      item->OnMeasureItem = saved;
      MeasureBarSubItem(item, &canvas, w, h);
      done = true;
    } else if (!(Control && MenuBar->Menu && mi->itemID >= 1 && mi->itemID <= 4095)) {
      const std::wstring text = TrackedMenu ? MenuText(TrackedMenu, mi->itemID, MF_BYCOMMAND) : std::wstring();
      TSelectObject font(dc, Screen()->MenuFont()->Handle());
      RECT r{0, 0, 0, 0};
      const std::wstring measured = text.empty() ? std::wstring(L" ") : text;
      SkinDrawText(dc, measured, r, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
      w = (r.right - r.left) + 26 + (SkinData->MenuItem ? SkinData->MenuItem->LeftWidth : 0);
      h = (r.bottom - r.top) + (text.empty() ? 8 : 4);
      done = true;
    }
  }
  ::ReleaseDC(Handle, dc);
  if (!done) return CallDefault(m);
  mi->itemWidth = static_cast<UINT>(std::max(0, w));
  mi->itemHeight = static_cast<UINT>(std::max(0, h));
  m.Result = 1;
}

void TSkinnedForm::DrawItemMessage(TMessage& m) {
  auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
  if (!d || d->CtlType != ODT_MENU || !MenuBar) return CallDefault(m);
  auto hmenu = reinterpret_cast<HMENU>(d->hwndItem);
  if (TSkinManage* mg = SkinManager()) mg->AttachMenuHandle(hmenu);
  TMenuItem* item = Control && MenuBar->Menu ? MenuBar->Menu->FindItem(d->itemID, TFindItemKind::fkCommand) : nullptr;
  TCanvas canvas;
  TNotifyDCBinding bind(&canvas, d->hDC);
  if (item) {
    DrawSkinnedItem(item, &canvas, d->rcItem, (d->itemState & ODS_SELECTED) != 0);
  } else if (Control && MenuBar->Menu && d->itemID >= 1 && d->itemID <= 4095) {
    return CallDefault(m);
  } else {
    // a temporary item made from the menu
    TMenuItem temp(nullptr);
    std::wstring text = MenuText(hmenu, d->itemID, MF_BYCOMMAND);
    temp.SetCaption(text.empty() ? std::wstring(L"-") : text);
    const UINT state = ::GetMenuState(hmenu, d->itemID, MF_BYCOMMAND);
    temp.SetEnabled(!(state & (MF_GRAYED | MF_DISABLED)));
    temp.SetChecked((state & MF_CHECKED) != 0);
    DrawSkinnedItem(&temp, &canvas, d->rcItem, (d->itemState & ODS_SELECTED) != 0);
  }
  m.Result = 1;
}

void TSkinnedForm::DrawSkinnedItem(TObject* sender, TCanvas* canvas, const RECT& rect, bool selected) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item || !SkinData) return;
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) return;
  TMenu* menu = item->GetParentMenu();
  TImageList* images = menu ? menu->Images() : nullptr;
  TDataSkinObject* skin = SkinData->MenuItem && SkinData->MenuItem->HasPicture() ? SkinData->MenuItem.get() : nullptr;
  const bool line = item->IsLine();
  TBitmap b(w, h, TPixelFormat::pf24bit);
  TCanvas* bc = b.Canvas();
  HDC bdc = bc->Handle();
  if (!skin) {
    bc->Brush()->SetColor(SkinData->Color(selected && !line ? scHilight : scMenu));
    bc->FillRect(RECT{0, 0, w, h});
  } else {
    TBitmap* background = nullptr;
    if (TSkinManage* mg = SkinManager()) {
      HMENU parent = item->Parent() ? item->Parent()->Handle() : nullptr;
      if (parent) {
        mg->AttachMenuHandle(parent);
        background = mg->PopupBackground(parent);
      }
    }
    if (background) {
      ::BitBlt(bdc, 0, 0, w, h, background->Canvas()->Handle(), rect.left + 3, rect.top + 3, SRCCOPY);
    } else {
      bc->Brush()->SetColor(SkinData->Color(scMenu));
      bc->FillRect(RECT{0, 0, w, h});
    }
    if (!line) DrawSliced(bdc, RECT{0, 0, w, h}, skin->Bitmap.get(), false, skin->Tile == 1, skin->Trans == 1, 5,
                          selected ? 4 : 1, skin->Margins());
  }
  const bool rtl = IsRightToLeftMenu(item);
  if (!(skin && line)) {
    // glyph and text
    const int left = skin ? skin->LeftWidth : 0;
    RECT glyph{0, 0, 0, 0};
    if (!line) {
      int gw = images ? images->Width() : 16;
      if (item->Checked()) gw = std::max(gw, 16);
      glyph = RECT{1 + left, 1, 1 + left + gw, h - 1};
      if (rtl) glyph = RECT{w - 1 - left - gw, 1, w - 1 - left, h - 1};
      const int index = item->ImageIndex();
      if (images && index >= 0 && index < images->Count()) {
        int top;
        if (item->Checked()) {
          top = (h - 16) / 2;
          RECT box{glyph.left, top, glyph.right, top + 16};
          bc->Brush()->SetColor(SkinData->Color(scButtonHilight));
          bc->FillRect(box);
          ::DrawEdge(bdc, &box, BDR_SUNKENOUTER, BF_RECT);
        } else {
          top = (h - images->Height()) / 2;
        }
        images->Draw(*bc, glyph.left, top, index, item->Enabled());
      } else if (item->Checked()) {
        RECT box{glyph.left, (h - 16) / 2, glyph.left + 16, (h - 16) / 2 + 16};
        ::DrawFrameControl(bdc, &box, DFC_MENU, DFCS_MENUCHECK);
      }
    }
    RECT text = rtl ? RECT{1, 0, glyph.left - 3, h} : RECT{glyph.right + 3, 0, w - 1, h};
    std::wstring caption = item->Caption();
    bc->Font()->Assign(Screen()->MenuFont());
    if (item->Default()) bc->Font()->SetStyle(fsBold);
    TColor color;
    if (item->Enabled()) {
      color = SkinData->Color(selected ? scHilightText : scMenuText);
    } else {
      color = SkinData->Color(scButtonShadow);
      if (color == SkinData->Color(scMenuText)) color = clBtnShadow;
    }
    TSelectObject font(bdc, bc->Font()->Handle());
    ::SetBkMode(bdc, TRANSPARENT);
    ::SetTextColor(bdc, ColorToRGB(color));
    if (line) {
      RECT e{text.left, 4, text.right, 6};
      ::DrawEdge(bdc, &e, EDGE_ETCHED, BF_TOP);
    } else {
      RECT m = text;
      const std::wstring measured = caption.empty() || caption == L"&" ? caption + L" " : caption;
      SkinDrawText(bdc, measured, m, 0x560);
      const int th = m.bottom - m.top;
      RECT t{text.left, (h - th) / 2, text.right, (h - th) / 2 + th};
      SkinDrawText(bdc, caption, t, (rtl ? DT_RIGHT | DT_RTLREADING : 0) | 0x60);
      if (item->ShortCut()) {
        RECT s = rtl ? RECT{11, t.top, text.right, t.bottom} : RECT{t.left, t.top, w - 11, t.bottom};
        SkinDrawText(bdc, ShortCutToText(item->ShortCut()), s, (rtl ? DT_LEFT : DT_RIGHT) | 0x60);
      }
    }
  }
  HDC dc = canvas->Handle();
  ::BitBlt(dc, rect.left, rect.top, w, h, bdc, 0, 0, SRCCOPY);
  if (skin && line) {
    const int frameH = skin->Bitmap->Height();
    RECT r = rect;
    if (h < frameH) r.top = rect.bottom - frameH;
    TObjectPtr<TBitmap> sep = SliceBitmap(RECT{0, 0, w, r.bottom - r.top}, skin->Bitmap.get(),
                                          RECT{skin->LeftWidth, 0, skin->RightWidth, 0}, false, false, 5, 2);
    if (sep) {
      TSavedDCState state(dc);
      ::IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
      DrawTransparent(dc, RECT{r.left, r.top, r.right, r.bottom}, sep.get());
    }
  }
}

}  // namespace kivo
