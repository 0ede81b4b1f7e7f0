#include "Menus.h"

#include <algorithm>
#include <map>


namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TMenuItem)
KIVO_IMPLEMENT_CLASS(TMenu)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TMainMenu)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPopupMenu)

// ---- Shortcuts --------------------------------------------------------------------------------
namespace {
struct TKeyName {
  WORD key;
  const wchar_t* name;
};
const TKeyName kKeyNames[] = {
    {VK_BACK, L"BkSp"}, {VK_TAB, L"Tab"},     {VK_RETURN, L"Enter"}, {VK_ESCAPE, L"Esc"},   {VK_SPACE, L"Space"},
    {VK_PRIOR, L"PgUp"}, {VK_NEXT, L"PgDn"},  {VK_END, L"End"},      {VK_HOME, L"Home"},    {VK_LEFT, L"Left"},
    {VK_UP, L"Up"},      {VK_RIGHT, L"Right"}, {VK_DOWN, L"Down"},   {VK_INSERT, L"Ins"},   {VK_DELETE, L"Del"},
};
std::wstring KeyName(WORD key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::wstring(1, static_cast<wchar_t>(key));
  if (key >= VK_F1 && key <= VK_F24) return L"F" + IntToStr(key - VK_F1 + 1);
  for (const TKeyName& k : kKeyNames)
    if (k.key == key) return k.name;
  return L"";
}
WORD KeyOfName(std::wstring_view name) {
  std::wstring n = UpperCase(name);
  if (n.size() == 1 && ((n[0] >= L'A' && n[0] <= L'Z') || (n[0] >= L'0' && n[0] <= L'9'))) return n[0];
  if (n.size() >= 2 && n[0] == L'F') {
    int v = 0;
    for (size_t i = 1; i < n.size(); ++i) {
      if (n[i] < L'0' || n[i] > L'9') return 0;
      v = v * 10 + (n[i] - L'0');
    }
    return v >= 1 && v <= 24 ? static_cast<WORD>(VK_F1 + v - 1) : 0;
  }
  for (const TKeyName& k : kKeyNames)
    if (UpperCase(k.name) == n) return k.key;
  return 0;
}
}  // namespace

TShortCut ShortCut(WORD key, TShiftState shift) {
  if (key & 0xFF00) return 0;
  TShortCut s = key;
  if (shift & ssShift) s |= scShift;
  if (shift & ssCtrl) s |= scCtrl;
  if (shift & ssAlt) s |= scAlt;
  return s;
}
void ShortCutToKey(TShortCut sc, WORD& key, TShiftState& shift) {
  key = sc & 0xFF;
  shift = 0;
  if (sc & scShift) shift |= ssShift;
  if (sc & scCtrl) shift |= ssCtrl;
  if (sc & scAlt) shift |= ssAlt;
}
std::wstring ShortCutToText(TShortCut sc) {
  std::wstring name = KeyName(sc & 0xFF);
  if (name.empty()) return L"";
  std::wstring s;
  if (sc & scShift) s += L"Shift+";
  if (sc & scCtrl) s += L"Ctrl+";
  if (sc & scAlt) s += L"Alt+";
  return s + name;
}
TShortCut TextToShortCut(std::wstring_view text) {
  TShortCut mods = 0;
  std::wstring_view rest = text;
  for (;;) {
    size_t plus = rest.find(L'+');
    // a lone "+" at the end is no key of its own
    if (plus == std::wstring_view::npos || plus + 1 >= rest.size()) break;
    std::wstring mod = UpperCase(rest.substr(0, plus));
    if (mod == L"SHIFT") mods |= scShift;
    else if (mod == L"CTRL") mods |= scCtrl;
    else if (mod == L"ALT") mods |= scAlt;
    else return 0;
    rest = rest.substr(plus + 1);
  }
  WORD key = KeyOfName(rest);
  return key ? static_cast<TShortCut>(key | mods) : 0;
}

// ---- Command registry -------------------------------------------------------------------------
namespace {
std::map<UINT, TMenuItem*>& Commands() {
  static std::map<UINT, TMenuItem*> m;
  return m;
}
UINT NewCommand(TMenuItem* item) {
  static UINT next = 1;
  auto& m = Commands();
  if (m.size() >= 0xFFFE) throw EOutOfResources(L"Too many menu items");
  while (m.count(next) || next == 0 || next > 0xFFFF) next = next >= 0xFFFF ? 1 : next + 1;
  UINT c = next;
  next = next >= 0xFFFF ? 1 : next + 1;
  m[c] = item;
  return c;
}
// A live item from a menu message's item data.
TMenuItem* ItemFromData(ULONG_PTR data) {
  auto* item = reinterpret_cast<TMenuItem*>(data);
  for (auto& e : Commands())
    if (e.second == item) return item;
  return nullptr;
}
}  // namespace

TMenuItem* FindMenuCommand(UINT command) {
  auto it = Commands().find(command);
  return it == Commands().end() ? nullptr : it->second;
}

bool RouteMenuMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_COMMAND:
      if (m.LParam == 0 && HIWORD(m.WParam) == 0)
        if (TMenuItem* item = FindMenuCommand(LOWORD(m.WParam))) {
          item->Click();
          m.Result = 0;
          return true;
        }
      return false;
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
      if (!d || d->CtlType != ODT_MENU) return false;
      TMenuItem* item = ItemFromData(d->itemData);
      if (!item) return false;
      TCanvas canvas;
      {
        TNotifyDCBinding bind(&canvas, d->hDC);
        item->DrawItem(&canvas, d->rcItem, (d->itemState & ODS_SELECTED) != 0);
      }
      m.Result = 1;
      return true;
    }
    case WM_MEASUREITEM: {
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
      if (!mi || mi->CtlType != ODT_MENU) return false;
      TMenuItem* item = ItemFromData(mi->itemData);
      if (!item) return false;
      TWindowDC screen(nullptr);
      TCanvas canvas;
      canvas.SetHandle(screen.Get());
      int w = 0, h = 0;
      try {
        item->MeasureItem(&canvas, w, h);
      } catch (...) {
        canvas.SetHandle(nullptr);
        throw;
      }
      canvas.SetHandle(nullptr);
      mi->itemWidth = static_cast<UINT>(std::max(0, w));
      mi->itemHeight = static_cast<UINT>(std::max(0, h));
      m.Result = 1;
      return true;
    }
    default:
      return false;
  }
}

void InstallMenuHandlers() {
  if (!MenuMessageHandler) MenuMessageHandler = [](TWinControl*, TMessage& m) { return RouteMenuMessage(m); };
  if (!PopupMenuHandler)
    PopupMenuHandler = [](TControl* control, TComponent* menu, POINT screen) {
      auto* popup = dynamic_cast<TPopupMenu*>(menu);
      if (!popup || !popup->AutoPopup()) return false;
      popup->SetPopupComponent(control);
      popup->Popup(screen.x, screen.y);
      return true;
    };
}

// ---- TMenuItem --------------------------------------------------------------------------------
void TMenuItem::Publish(TPublisher<TMenuItem>& p) {
  p.String(L"Caption", &TMenuItem::Caption, &TMenuItem::SetCaption);
  p.Boolean(L"Checked", &TMenuItem::Checked, &TMenuItem::SetChecked);
  p.Boolean(L"Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled);
  p.Boolean(L"Visible", &TMenuItem::Visible, &TMenuItem::SetVisible);
  p.Boolean(L"Default", &TMenuItem::Default, &TMenuItem::SetDefault);
  p.Boolean(L"RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem);
  p.Boolean(L"AutoCheck", &TMenuItem::AutoCheck, &TMenuItem::SetAutoCheck);
  p.Integer(L"GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex);
  p.Integer(L"ImageIndex", &TMenuItem::ImageIndex, &TMenuItem::SetImageIndex);
  p.Integer(L"ShortCut", &TMenuItem::ShortCut, &TMenuItem::SetShortCut);
  p.String(L"Hint", &TMenuItem::Hint, &TMenuItem::SetHint);
}
TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) { command_ = NewCommand(this); }
TMenuItem::~TMenuItem() {
  freeing_ = true;
  while (!items_.empty()) items_.back()->Free();
  if (parent_) parent_->Remove(this);
  Commands().erase(command_);
  if (handle_) {
    // submenus belong to their items: take them out before the menu goes
    while (::GetMenuItemCount(handle_.Get()) > 0) ::RemoveMenu(handle_.Get(), 0, MF_BYPOSITION);
  }
}
void TMenuItem::SetCaption(const std::wstring& s) {
  if (s == caption_) return;
  caption_ = s;
  Changed();
}
void TMenuItem::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  if (v && radioItem_ && parent_)
    for (TMenuItem* i : parent_->items_)
      if (i != this && i->radioItem_ && i->groupIndex_ == groupIndex_) i->SetChecked(false);
  Changed();
}
void TMenuItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed();
}
void TMenuItem::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}
void TMenuItem::SetDefault(bool v) {
  if (v == default_) return;
  default_ = v;
  Changed();
}
void TMenuItem::SetRadioItem(bool v) {
  if (v == radioItem_) return;
  radioItem_ = v;
  Changed();
}
void TMenuItem::SetImageIndex(int i) {
  if (i == imageIndex_) return;
  imageIndex_ = i;
  Changed();
}
void TMenuItem::SetShortCut(TShortCut s) {
  if (s == shortCut_) return;
  shortCut_ = s;
  Changed();
}
int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}
void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) return;
  if (item->parent_) throw EInvalidOperation(L"Menu inserted twice");
  if (index < 0 || index > Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  for (TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw EInvalidOperation(L"Menu inserted into itself");
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Rebuild();
  Changed();
}
void TMenuItem::Remove(TMenuItem* item) {
  int i = IndexOf(item);
  if (i < 0) return;
  items_.erase(items_.begin() + i);
  item->parent_ = nullptr;
  if (freeing_) return;
  Rebuild();
  Changed();
}
void TMenuItem::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  Remove(items_[index]);
}
void TMenuItem::Clear() {
  while (!items_.empty()) items_.back()->Free();
}
TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->parent_) i = i->parent_;
  return i->menu_;
}
TMenuItem* TMenuItem::FindCommand(UINT command) {
  if (command_ == command) return this;
  for (TMenuItem* i : items_)
    if (TMenuItem* f = i->FindCommand(command)) return f;
  return nullptr;
}
HMENU TMenuItem::Handle() {
  if (!handle_) {
    bool bar = menu_ && menu_->Is<TMainMenu>();
    handle_.Reset(bar ? ::CreateMenu() : ::CreatePopupMenu());
    if (!handle_) RaiseLastOSError();
    Rebuild();
  }
  return handle_.Get();
}
void TMenuItem::Fill(MENUITEMINFOW& mi, std::wstring& text) {
  TMenu* menu = GetParentMenu();
  bool ownerDraw = menu && menu->OwnerDraw();
  mi = MENUITEMINFOW{};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_SUBMENU;
  if (IsLine()) mi.fType = MFT_SEPARATOR;
  if (ownerDraw) mi.fType |= MFT_OWNERDRAW;
  if (radioItem_) mi.fType |= MFT_RADIOCHECK;
  if (checked_) mi.fState |= MFS_CHECKED;
  if (!enabled_) mi.fState |= MFS_DISABLED | MFS_GRAYED;
  if (default_) mi.fState |= MFS_DEFAULT;
  mi.wID = command_;
  mi.dwItemData = reinterpret_cast<ULONG_PTR>(this);
  mi.hSubMenu = items_.empty() ? nullptr : Handle();
  if (!IsLine() && !ownerDraw) {
    text = caption_;
    if (shortCut_) text += L"\t" + ShortCutToText(shortCut_);
    mi.fMask |= MIIM_STRING;
    mi.dwTypeData = text.data();
  }
}
void TMenuItem::Rebuild() {
  if (!handle_ || freeing_) return;
  HMENU h = handle_.Get();
  while (::GetMenuItemCount(h) > 0) ::RemoveMenu(h, 0, MF_BYPOSITION);
  UINT pos = 0;
  for (TMenuItem* i : items_) {
    if (!i->visible_) continue;
    MENUITEMINFOW mi;
    std::wstring text;
    i->Fill(mi, text);
    if (!::InsertMenuItemW(h, pos++, TRUE, &mi)) RaiseLastOSError();
  }
}
void TMenuItem::Changed() {
  if (parent_) parent_->Rebuild();
  if (TMenu* m = GetParentMenu()) m->MenuChanged();
}
void TMenuItem::Click() {
  if (!enabled_) return;
  if (autoCheck_) SetChecked(!checked_);
  if (OnClick) OnClick(this);
}

void TMenuItem::MeasureItem(TCanvas* canvas, int& width, int& height) {
  if (IsLine()) {
    width = 10;
    height = 8;
  } else {
    canvas->Font()->Assign(Screen()->MenuFont());
    if (default_) canvas->Font()->SetStyle(canvas->Font()->Style() | fsBold);
    HDC dc = canvas->Handle();
    TSelectObject f(dc, canvas->Font()->Handle());
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &r, DT_SINGLELINE | DT_CALCRECT);
    int check = ::GetSystemMetrics(SM_CXMENUCHECK) + 6;
    width = r.right + 2 * check;
    if (shortCut_) {
      std::wstring sc = ShortCutToText(shortCut_);
      RECT s{0, 0, 0, 0};
      ::DrawTextW(dc, sc.c_str(), static_cast<int>(sc.size()), &s, DT_SINGLELINE | DT_CALCRECT);
      width += s.right + 12;
    }
    height = std::max<int>(r.bottom + 6, ::GetSystemMetrics(SM_CYMENUCHECK) + 4);
  }
  if (OnMeasureItem) OnMeasureItem(this, canvas, width, height);
}
void TMenuItem::DrawItem(TCanvas* canvas, const RECT& rect, bool selected) {
  if (OnDrawItem) {
    OnDrawItem(this, canvas, rect, selected);
    return;
  }
  HDC dc = canvas->Handle();
  canvas->Brush()->SetColor(selected && !IsLine() ? clHighlight : clMenu);
  canvas->FillRect(rect);
  if (IsLine()) {
    RECT line{rect.left + 2, (rect.top + rect.bottom) / 2 - 1, rect.right - 2, (rect.top + rect.bottom) / 2 + 1};
    ::DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    return;
  }
  int check = ::GetSystemMetrics(SM_CXMENUCHECK) + 6;
  TMenu* menu = GetParentMenu();
  if (imageIndex_ >= 0 && menu && menu->Images() && imageIndex_ < menu->Images()->Count()) {
    TImageList* il = menu->Images();
    il->Draw(*canvas, rect.left + 2, (rect.top + rect.bottom - il->Height()) / 2, imageIndex_, enabled_);
  } else if (checked_) {
    RECT mark{rect.left + 2, rect.top, rect.left + check - 2, rect.bottom};
    ::SetTextColor(dc, ColorToRGB(selected ? clHighlightText : clMenuText));
    ::SetBkMode(dc, TRANSPARENT);
    const wchar_t* glyph = radioItem_ ? L"\x25CF" : L"\x221A";
    ::DrawTextW(dc, glyph, 1, &mark, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
  canvas->Font()->Assign(Screen()->MenuFont());
  if (default_) canvas->Font()->SetStyle(canvas->Font()->Style() | fsBold);
  TSelectObject f(dc, canvas->Font()->Handle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ColorToRGB(!enabled_ ? clGrayText : selected ? clHighlightText : clMenuText));
  RECT tr{rect.left + check, rect.top, rect.right - 6, rect.bottom};
  ::DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &tr, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  if (shortCut_) {
    std::wstring sc = ShortCutToText(shortCut_);
    ::DrawTextW(dc, sc.c_str(), static_cast<int>(sc.size()), &tr, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
  }
}

// ---- TMenu ------------------------------------------------------------------------------------
TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) {
  items_->menu_ = this;
  InstallMenuHandlers();
}
TMenu::~TMenu() {
  // the items go while this menu still is a menu (they tell it about their changes)
  TMenuItem* root = items_;
  items_ = nullptr;
  root->Free();
}
void TMenu::SetOwnerDraw(bool v) {
  if (v == ownerDraw_) return;
  ownerDraw_ = v;
  // every level is built again with the new item type
  std::function<void(TMenuItem*)> rebuild = [&](TMenuItem* i) {
    i->Rebuild();
    for (TMenuItem* c : i->items_) rebuild(c);
  };
  rebuild(items_);
  MenuChanged();
}
void TMenu::SetImages(TImageList* images) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images) images->FreeNotification(this);
  MenuChanged();
}
void TMenu::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == TOperation::opRemove && c == images_) images_ = nullptr;
}
TMenuItem* TMenu::FindItem(UINT_PTR value, TFindItemKind kind) const {
  std::function<TMenuItem*(TMenuItem*)> find = [&](TMenuItem* i) -> TMenuItem* {
    bool hit = false;
    switch (kind) {
      case TFindItemKind::fkCommand: hit = i->Command() == value; break;
      case TFindItemKind::fkHandle: hit = i->handle_ && reinterpret_cast<UINT_PTR>(i->handle_.Get()) == value; break;
      case TFindItemKind::fkShortCut: hit = i->ShortCut() != 0 && i->ShortCut() == value; break;
    }
    if (hit) return i;
    for (TMenuItem* c : i->items_)
      if (TMenuItem* f = find(c)) return f;
    return nullptr;
  };
  return find(items_);
}
bool TMenu::DispatchCommand(UINT command) {
  TMenuItem* i = FindItem(command, TFindItemKind::fkCommand);
  if (!i) return false;
  i->Click();
  return true;
}
bool TMenu::IsShortCut(WORD key, TShiftState shift) {
  TShortCut sc = ShortCut(key, shift & (ssShift | ssCtrl | ssAlt));
  if (!sc) return false;
  TMenuItem* i = FindItem(sc, TFindItemKind::fkShortCut);
  if (!i || !i->Enabled() || !i->Visible()) return false;
  i->Click();
  return true;
}

// ---- TMainMenu --------------------------------------------------------------------------------
void TMainMenu::Publish(TPublisher<TMainMenu>& p) {
  p.Boolean(L"OwnerDraw", &TMenu::OwnerDraw, &TMenu::SetOwnerDraw);
  p.Object(L"Images", &TMenu::Images, &TMenu::SetImages);
  p.Enumeration(L"AutoHotkeys", {L"maAutomatic", L"maManual", L"maParent"}, &TMenu::AutoHotkeys, &TMenu::SetAutoHotkeys);
}
TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner) {}
TMainMenu::~TMainMenu() { SetForm(nullptr); }
void TMainMenu::SetForm(TCustomForm* form) {
  if (form == form_) return;
  if (form_) {
    form_->RemoveFreeNotification(this);
    if (form_->MenuHandle() == Handle()) form_->SetMenuHandle(nullptr);
  }
  form_ = form;
  if (form) {
    form->FreeNotification(this);
    form->SetMenuHandle(Handle());
  }
}
void TMainMenu::Notification(TComponent* c, TOperation op) {
  TMenu::Notification(c, op);
  if (op == TOperation::opRemove && c == form_) form_ = nullptr;
}
void TMainMenu::MenuChanged() {
  if (form_ && form_->HandleAllocated() && form_->MenuHandle() == Handle()) ::DrawMenuBar(form_->HandleIfAllocated());
}

// ---- TPopupMenu -------------------------------------------------------------------------------
void TPopupMenu::Publish(TPublisher<TPopupMenu>& p) {
  p.Boolean(L"OwnerDraw", &TMenu::OwnerDraw, &TMenu::SetOwnerDraw);
  p.Object(L"Images", &TMenu::Images, &TMenu::SetImages);
  p.Boolean(L"AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup);
  p.Enumeration(L"Alignment", {L"paLeft", L"paRight", L"paCenter"}, &TPopupMenu::Alignment, &TPopupMenu::SetAlignment);
  p.Enumeration(L"AutoHotkeys", {L"maAutomatic", L"maManual", L"maParent"}, &TMenu::AutoHotkeys, &TMenu::SetAutoHotkeys);
}
TPopupMenu::TPopupMenu(TComponent* owner)
    : TMenu(owner), window_(std::make_unique<TUtilWindow>([this](TMessage& m) { WndProc(m); })) {}
TPopupMenu::~TPopupMenu() = default;
void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  UINT flags = TPM_RIGHTBUTTON;
  if (alignment_ == TPopupAlignment::paRight) flags |= TPM_RIGHTALIGN;
  else if (alignment_ == TPopupAlignment::paCenter) flags |= TPM_CENTERALIGN;
  // the chosen command comes to the window as a posted WM_COMMAND
  ::TrackPopupMenuEx(Handle(), flags, x, y, window_->Handle(), nullptr);
}
void TPopupMenu::WndProc(TMessage& m) {
  if (RouteMenuMessage(m)) return;
  m.Result = ::DefWindowProcW(window_->Handle(), m.Msg, m.WParam, m.LParam);
}

}  // namespace kivo
