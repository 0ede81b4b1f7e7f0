// The skinned window's non-client area: frame geometry, painting of borders, caption and caption
// buttons, the non-client messages, fitting the window to the frame and the window region.
#include <windowsx.h>

#include <algorithm>

#include "SkinControl.h"
#include "SkinDraw.h"
#include "SkinManager.h"
#include "SkinMenu.h"
#include "SkinnedForm.h"

namespace kivo {

namespace {

// The shared work bitmap: made on first use, freed at the end of the program.
struct TWorkBitmap {
  TObjectPtr<TBitmap> bitmap;
  bool freed = false;
  ~TWorkBitmap() {
    bitmap.reset();
    freed = true;
  }
} g_work;

int FrameCountOf(const TDataSkinObject* o) { return o && o->Frame > 0 ? o->Frame : 1; }

bool ObjectEmpty(const TDataSkinObject* o) { return !o || !o->HasPicture(); }

}  // namespace

TBitmap* SkinWorkBitmap() {
  if (g_work.freed) return nullptr;
  if (!g_work.bitmap) {
    g_work.bitmap.reset(new TBitmap());
    g_work.bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    ::SetStretchBltMode(g_work.bitmap->Canvas()->Handle(), COLORONCOLOR);
  }
  return g_work.bitmap.get();
}

// ---- frame geometry and buttons -----------------------------------------------------------------
void TSkinnedForm::BuildFrame() {
  if (!SkinData || SkinData->NoSkin) return;
  auto side = [](const TDataSkinObject* o, bool vertical) {
    if (ObjectEmpty(o)) return 0;
    return (vertical ? o->Bitmap->Height() : o->Bitmap->Width()) / FrameCountOf(o);
  };
  if (BorderStyle == 2) {
    BorderLeft = BorderTop = BorderRight = BorderBottom = 0;
    MenuHeight = 0;
  } else {
    BorderLeft = side(SkinData->LeftBorder.get(), false);
    BorderRight = side(SkinData->RightBorder.get(), false);
    BorderTop = side(SkinData->TopBorder.get(), true);
    BorderBottom = side(SkinData->BottomBorder.get(), true);
  }
  FreeSysButtons();
  for (auto& def : SkinData->SysButtons) {
    auto b = std::make_unique<TWinSysButton>(this, def.get());
    b->Enabled = true;
    if (def->Action == 3 || def->Action == 11) {
      BuildIconBitmap();
      if (!def->HasPicture()) def->Bitmap->Assign(IconBitmap.get());
      if (SkinData->AppIcon->Empty()) SkinData->AppIcon->Assign(IconBitmap.get());
      def->Frame = 1;
    }
    SysButtons.push_back(std::move(b));
  }
}

void TSkinnedForm::BuildIconBitmap() {
  const int cx = ::GetSystemMetrics(SM_CXSMICON), cy = ::GetSystemMetrics(SM_CYSMICON);
  IconBitmap.reset(new TBitmap(cx, cy, TPixelFormat::pf16bit));
  TCanvas* c = IconBitmap->Canvas();
  c->Brush()->SetColor(static_cast<TColor>(0xFF00FF));
  c->FillRect(RECT{0, 0, cx, cy});
  IconSize = cx;
  Icon = reinterpret_cast<HICON>(::SendMessageW(Handle, WM_GETICON, ICON_SMALL, 0));
  if (!Icon) Icon = reinterpret_cast<HICON>(::SendMessageW(Handle, WM_GETICON, ICON_BIG, 0));
  if (!Icon) return;
  HICON copy = static_cast<HICON>(::CopyImage(Icon, IMAGE_ICON, cx, cy, LR_COPYFROMRESOURCE));
  if (!copy) return;
  ::DrawIconEx(c->Handle(), 0, 0, copy, cx, cy, 0, nullptr, DI_NORMAL);
  ::DestroyIcon(copy);
}

void TSkinnedForm::ComputeButtonVisibility(TWinSysButton* b) {
  const TDataSkinSysButton* d = b->Definition;
  const bool maxBox = ButtonFlags & kBtnMaximize, minBox = ButtonFlags & kBtnMinimize;
  const bool help = ButtonFlags & kBtnHelp, sys = ButtonFlags & kBtnSysMenu;
  const bool maximized = WindowState == 1, active = Active != 0;
  auto mdiMaximized = [&] {
    if (Kind != 1 || !MDIClient || !MenuBar) return false;
    BOOL maxi = FALSE;
    HWND child = reinterpret_cast<HWND>(::SendMessageW(MDIClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maxi)));
    return child && maxi;
  };
  auto flag = [&](int code, bool first) -> bool {
    switch (code) {
      case -1: return false;
      case 0: return true;
      case 1: return maximized;
      case 2: return !maximized;
      case 3: return active;
      case 4: return !active;
      case 5: return false;
      case 6:
      case 8: return first ? ((minBox || maxBox) && sys) : (minBox || maxBox);
      case 7: return !maxBox;
      case 9: return !minBox;
      case 10: return first ? (help && !minBox && !maxBox) : help;
      case 100: return mdiMaximized();
      case 200: return BorderStyle == 3 && !FitCaption;
      default:
        if (code >= 201 && code <= 999) return true;
        if (code >= 1000 && code <= 2000)
          return first ? ::SendMessageW(Handle, SKM_BUTTONVISIBLE, static_cast<WPARAM>(code), d->Action) > 0 : true;
        return false;
    }
  };
  bool visible = flag(d->Visibility, true) && (d->Visibility1 == 100 ? flag(d->Visibility, true) : flag(d->Visibility1, false));
  b->Enabled = true;
  switch (d->Action) {
    case 0: if (!sys) visible = false; break;
    case 1: b->Enabled = maxBox && sys; break;
    case 2: b->Enabled = minBox && sys; break;
    case 3: case 11: case 12: if (BorderStyle == 3) visible = false; break;
    default: break;
  }
  b->Visible = visible;
}

void TSkinnedForm::PlaceButtons() {
  for (auto& bp : SysButtons) {
    TWinSysButton* b = bp.get();
    if (!b->Visible || !b->HasImage()) continue;
    const TDataSkinSysButton* d = b->Definition;
    const int w = d->Bitmap->Width() / b->FrameCount(), h = d->Bitmap->Height();
    int x = 0, y = 0;
    switch (d->Align) {
      case 0: x = d->Xcoord; y = d->Ycoord; break;
      case 1: x = Width - d->Xcoord; y = d->Ycoord; break;
      case 2: case 8: x = CaptionRect.left - w - d->Xcoord; y = d->Ycoord; break;
      case 3: case 9: x = CaptionRect.right + d->Xcoord; y = d->Ycoord; break;
      case 100: {
        const int menuLeft = ObjectEmpty(SkinData->MenuBar.get()) ? 0 : SkinData->MenuBar->LeftWidth;
        x = Width - d->Xcoord - BorderRight - menuLeft;
        y = BorderTop + (MenuHeight - h) / 2;
        break;
      }
      default: break;
    }
    b->Rect = RECT{x, y, x + w, y + h};
  }
}

// ---- painting -----------------------------------------------------------------------------------
void TSkinnedForm::PaintSide(HDC dc, int side, const RECT& r) {
  TDataSkinObject* o = nullptr;
  switch (side) {
    case 1: o = SkinData->LeftBorder.get(); break;
    case 2: o = SkinData->RightBorder.get(); break;
    case 3: o = SkinData->TopBorder.get(); break;
    default: o = SkinData->BottomBorder.get(); break;
  }
  if (ObjectEmpty(o) || r.right <= r.left || r.bottom <= r.top) return;
  const int count = FrameCountOf(o);
  const int frame = (Active || count == 1) ? 1 : 2;
  const bool vertical = side >= 3;
  TObjectPtr<TBitmap> b = SliceBitmap(r, o->Bitmap.get(), o->Margins(), vertical, o->Tile != 1, count, frame);
  if (!b) return;
  ::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, b->Canvas()->Handle(), 0, 0, SRCCOPY);
}

std::wstring TSkinnedForm::CaptionText() const {
  return CaptionPrefix + WindowTextW(Handle) + CaptionSuffix;
}

void TSkinnedForm::DrawCaptionText(TCanvas* canvas, const RECT& caption) {
  HDC dc = canvas->Handle();
  TDataSkinTitle* title = SkinData->Title.get();
  const std::wstring text = CaptionText();
  int buttonsWidth = 0;
  for (auto& b : SysButtons)
    if (b->Visible && b->HasImage() && b->Definition->Align == 1) buttonsWidth = std::max(buttonsWidth, b->Definition->Xcoord);
  TSelectObject font(dc, CaptionFont->Handle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ColorToRGB(SkinData->Color(Active ? scTitleTextActive : scTitleTextNoActive)));
  RECT tr{0, 0, 0, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, 0xD00);
  const int left = title ? title->TXTBackleft : 0, right = title ? title->TXTBackRight : 0;
  int textW = (tr.right - tr.left) + left + right;
  const int textH = tr.bottom - tr.top;
  const int cw = caption.right - caption.left, ch = caption.bottom - caption.top;
  const int align = title ? title->TextAlignment : 0;
  const int shift = title ? title->LeftWidth : 0;
  const int rightClip = title ? title->RightWidth : 0;
  const int shiftVert = title ? title->TopHeight : 0;
  int x = 0;
  if (!RightToLeft) {
    x = align == 1 ? (cw - textW) / 2 : align == 2 ? cw - rightClip - textW : shift;
  } else {
    x = align == 0 ? cw - buttonsWidth - textW : align == 1 ? (cw - buttonsWidth - textW) / 2 : shift;
  }
  const int y = (ch - textH) / 2 + shiftVert / 2;
  if (RightToLeft && x < 1) x = shift;
  RECT t{caption.left + x, caption.top + y, caption.left + x + textW, caption.top + y + textH};
  if (Style & WS_POPUP) {
    if (RightToLeft) ::OffsetRect(&t, 10, 0);
    else if (buttonsWidth > 5 && caption.right - buttonsWidth - 5 < t.right) t.right = caption.right - buttonsWidth - 5;
  } else {
    if (RightToLeft) ::OffsetRect(&t, 10, 0);
    else t.right = std::min<LONG>(t.right, caption.right - rightClip);
  }
  if (BorderStyle == 3 && align == 0) ::OffsetRect(&t, -16, 0);
  CaptionRect = t;
  if (title && title->HasPicture()) {
    DrawThreeSlice(canvas, RECT{t.left, caption.top, t.right, caption.bottom}, title->Bitmap.get(), true, true, 2,
                   Active ? 1 : 2, RECT{left, 0, right, 0});
  }
  RECT inner{t.left + left, t.top, t.right - right, t.bottom};
  UINT flags = 0x8820;
  if (RightToLeft) flags = 0x28822;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inner, flags);
}

void TSkinnedForm::DrawButtons(HDC dc) {
  for (auto& bp : SysButtons) {
    TWinSysButton* b = bp.get();
    if (!b->Visible || !b->HasImage() || b->Definition->Visibility == 100) continue;
    if (b->IsIcon()) {
      if (Icon) ::DrawIconEx(dc, b->Rect.left, b->Rect.top, Icon, IconSize, IconSize, 0, nullptr, DI_NORMAL);
      else DrawTransparent(dc, RECT{b->Rect.left, b->Rect.top, b->Rect.left + IconSize, b->Rect.top + IconSize},
                           IconBitmap.get());
      continue;
    }
    const int frames = b->FrameCount();
    const int frame = (frames < 4 || (Active && b->Enabled)) ? 1 : 4;
    DrawFrameStretched(dc, b->Rect, b->Definition->Bitmap.get(), true, frames, frame);
  }
}

void TSkinnedForm::PaintCaption(HDC dc) {
  TBitmap* work = frameBitmap_.get();
  RECT caption;
  if (WindowState == 2) {
    work->SetSize(Width, Height);
    work->Canvas()->Brush()->SetColor(SkinData->Color(scButtonFace));
    work->Canvas()->FillRect(RECT{0, 0, Width, Height});
    caption = RECT{0, 0, Width, BorderTop};
  } else {
    work->SetSize(Width, BorderTop);
    ::BitBlt(work->Canvas()->Handle(), 0, 0, Width, BorderTop, dc, 0, 0, SRCCOPY);
    caption = RECT{BorderLeft, 0, Width - BorderRight, BorderTop};
  }
  HDC wdc = work->Canvas()->Handle();
  PaintSide(wdc, 3, caption);
  for (auto& b : SysButtons) ComputeButtonVisibility(b.get());
  DrawCaptionText(work->Canvas(), caption);
  PlaceButtons();
  DrawButtons(wdc);
  ::BitBlt(dc, 0, 0, work->Width(), work->Height(), wdc, 0, 0, SRCCOPY);
  ::SetBkMode(dc, OPAQUE);
}

void TSkinnedForm::PaintFrame(HDC dc) {
  if (!SkinWorkBitmap() || (State != kFormSkinned && State != kFormReskinning) || BorderStyle == 2 ||
      IsMaximizedMDIChild() || !SkinData || SkinData->NoSkin)
    return;
  HDC windowDC = nullptr;
  if (!dc) {
    windowDC = ::GetWindowDC(Handle);
    if (!windowDC) return;
    dc = windowDC;
  }
  try {
    RECT r{};
    ::GetWindowRect(Handle, &r);
    Width = r.right - r.left;
    Height = r.bottom - r.top;
    if (WindowState == 2) {
      PaintCaption(dc);
    } else {
      PaintSide(dc, 1, RECT{0, 0, BorderLeft, Height});
      PaintSide(dc, 2, RECT{Width - BorderRight, 0, Width, Height});
      PaintSide(dc, 4, RECT{BorderLeft, Height - BorderBottom, Width - BorderRight, Height});
      PaintCaption(dc);
      const RECT bar{BorderLeft, BorderTop, Width - BorderRight, BorderTop + MenuHeight};
      if (MenuBar) MenuBar->Paint(dc, bar);
      else if (MenuHeight > 0) ::FillRect(dc, &bar, SkinData->FaceBrush.Get());
    }
  } catch (const std::exception&) {
    // a broken skin picture never stops the window's messages
  }
  if (windowDC) ::ReleaseDC(Handle, windowDC);
  HotObject = nullptr;
}

void TWinSysButton::Paint() {
  TSkinnedForm* f = Form;
  if (!HasImage() || !Visible) return;
  HDC dc = ::GetWindowDC(f->Handle);
  if (!dc) return;
  if (IsIcon()) {
    if (f->Icon) ::DrawIconEx(dc, Rect.left, Rect.top, f->Icon, f->IconSize, f->IconSize, 0, nullptr, DI_NORMAL);
  } else {
    const int frames = FrameCount();
    int frame = State;
    if (!Enabled) frame = frames >= 4 ? 4 : 1;
    else if (Definition->Visibility == 100 && frame == kNCHover) frame = 4;
    DrawFrameStretched(dc, Rect, Definition->Bitmap.get(), true, frames, frame);
  }
  ::ReleaseDC(f->Handle, dc);
}

// ---- non-client messages ------------------------------------------------------------------------
POINT TSkinnedForm::ScreenToFrame(int x, int y) const {
  POINT p{x, y};
  ::ScreenToClient(Handle, &p);
  if (!(Kind == 2 && WindowState == 2)) {
    p.x += BorderLeft;
    p.y += BorderTop + MenuHeight;
  }
  return p;
}

TWinSysButton* TSkinnedForm::ButtonAt(POINT p) const {
  for (auto& b : SysButtons)
    if (b->Visible && b->Definition->Action >= 0 && ::PtInRect(&b->Rect, p)) return b.get();
  return nullptr;
}

TNCObject* TSkinnedForm::ObjectAt(POINT p) const {
  if (TWinSysButton* b = ButtonAt(p)) return b;
  if (MenuBar) return MenuBar->ItemAt(p);
  return nullptr;
}

void TSkinnedForm::SizeMessage(TMessage& m) {
  CallDefault(m);
  switch (m.WParam) {
    case SIZE_RESTORED: WindowState = 0; break;
    case SIZE_MINIMIZED: WindowState = 2; break;
    case SIZE_MAXIMIZED: WindowState = 1; break;
    default: break;
  }
  TSkinManage* mg = SkinManager();
  if (WindowState != 2 && (State == kFormSkinned || State == kFormReskinning) &&
      (Kind != 2 || (WindowState == 0 && !(mg && mg->MDIChildMaximized))))
    UpdateRegion();
}

void TSkinnedForm::NCCalcSize(TMessage& m) {
  CallDefault(m);
  if (!m.WParam) {
    m.Result = 0;
    return;
  }
  auto* p = reinterpret_cast<NCCALCSIZE_PARAMS*>(m.LParam);
  if ((Kind == 2 && WindowState != 0) || BorderStyle == 2) {
    p->rgrc[1] = p->rgrc[0];
  } else {
    const WINDOWPOS* pos = p->lppos;
    RECT c{pos->x + BorderLeft, pos->y + BorderTop + MenuHeight, pos->x + pos->cx - BorderRight,
           pos->y + pos->cy - BorderBottom};
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    p->rgrc[0] = c;
    p->rgrc[1] = c;
  }
  m.Result = WVR_VALIDRECTS;
}

void TSkinnedForm::NCHitTest(TMessage& m) {
  CallDefault(m);
  if (m.Result != HTNOWHERE && m.Result != HTCAPTION) return;
  RECT wr{};
  ::GetWindowRect(Handle, &wr);
  const int y = GET_Y_LPARAM(m.LParam) - wr.top;
  if (y > 3) m.Result = HTCAPTION;
  if (y > BorderTop && MenuHeight > 0) m.Result = HTMENU;
}

void TSkinnedForm::NCActivate(TMessage& m) {
  Active = m.WParam ? 1 : 0;
  if (HoverTimer) HoverTimer->SetEnabled(m.WParam != 0);
  if (!m.WParam && hoverControl_) {
    hoverControl_->MouseLeave();
    hoverControl_ = nullptr;
  }
  if (Kind == 1 && MDIClient) ::SendMessageW(MDIClient, WM_NCACTIVATE, m.WParam, 0);
  if (Kind == 2) CallDefault(m);
  if (!IsMaximizedMDIChild()) PaintFrame(nullptr);
  m.Result = 1;
}

void TSkinnedForm::NCPaint(TMessage& m) {
  if (!(ButtonFlags & kBtnKeepSysMenu)) {
    const LONG_PTR style = ::GetWindowLongPtrW(Handle, GWL_STYLE);
    if (style & WS_SYSMENU) ::SetWindowLongPtrW(Handle, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_SYSMENU));
  }
  if (SkinData->FramePainting) {
    if (IsMaximizedMDIChild() || BorderStyle == 2) return CallDefault(m);
    PaintFrame(nullptr);
  }
  m.Result = 0;
}

void TSkinnedForm::NCMouseMove(TMessage& m) {
  if (!Active) return CallDefault(m);
  const POINT p = ScreenToFrame(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
  if (TNCObject* o = ObjectAt(p)) {
    o->MouseEnter();
    m.Result = 0;
    return;
  }
  if (HotObject) HotObject->MouseLeave();
  HotObject = nullptr;
  CallDefault(m);
}

void TSkinnedForm::NCLButtonDown(TMessage& m) {
  const POINT p = ScreenToFrame(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
  if (TNCObject* o = ObjectAt(p)) {
    if (!Active) ::SetForegroundWindow(Handle);
    o->MouseDown();
    if (auto* item = dynamic_cast<TMenuBtn*>(o)) {
      auto alive = alive_;
      OpenMenuItem(item);
      if (!*alive) return;
      HotObject = item;
    }
    m.Result = 0;
    return;
  }
  if (WindowState == 1 && m.WParam == HTCAPTION && Active) m.WParam = HTMENU;
  CallDefault(m);
}

void TSkinnedForm::NCLButtonUp(TMessage& m) {
  const POINT p = ScreenToFrame(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
  if (TNCObject* o = ObjectAt(p)) {
    if (auto* b = dynamic_cast<TWinSysButton*>(o); b && HotObject == b) {
      b->MouseUp();
      ButtonAction(b, POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
    }
    m.Result = 0;
    return;
  }
  CallDefault(m);
}

void TSkinnedForm::NCLButtonDblClk(TMessage& m) {
  const POINT p = ScreenToFrame(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
  if (TWinSysButton* b = ButtonAt(p)) {
    if (b->IsIcon()) {
      if (HoverTimer) HoverTimer->SetEnabled(false);
      ::PostMessageW(Handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    m.Result = 0;
    return;
  }
  if (WindowState != 0) RestoreWindow();
  else if (ButtonFlags & kBtnMaximize) MaximizeWindow();
  else return CallDefault(m);
  m.Result = 0;
}

void TSkinnedForm::NCRButtonDown(TMessage& m) {
  if (m.WParam == HTCAPTION && Kind != 2) {
    PopupSystemMenu(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
    m.Result = 0;
    return;
  }
  CallDefault(m);
}

void TSkinnedForm::ButtonAction(TWinSysButton* b, POINT screen) {
  auto activeChild = [&]() -> HWND {
    if (Kind != 1 || !MDIClient) return nullptr;
    return reinterpret_cast<HWND>(::SendMessageW(MDIClient, WM_MDIGETACTIVE, 0, 0));
  };
  switch (b->Definition->Action) {
    case 0: {
      MENUITEMINFOW mi{};
      mi.cbSize = sizeof(mi);
      mi.fMask = MIIM_STATE;
      HMENU sys = SystemMenu ? SystemMenu : ::GetSystemMenu(Handle, FALSE);
      if (sys && ::GetMenuItemInfoW(sys, SC_CLOSE, FALSE, &mi)) {
        if (HoverTimer) HoverTimer->SetEnabled(false);
        ::PostMessageW(Handle, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      break;
    }
    case 1: case 22:
      if (b->Enabled) MaximizeWindow();
      break;
    case 2: case 23:
      if (b->Enabled) MinimizeWindow();
      break;
    case 3: case 11: case 12:
      PopupSystemMenu(POINT{screen.x + 1, screen.y + 1});
      break;
    case 4:
      ::PostMessageW(Handle, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
      break;
    case 7: case 60:
      if (HWND c = activeChild()) ::SendMessageW(c, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case 8: case 61:
      if (HWND c = activeChild()) ::SendMessageW(c, WM_SYSCOMMAND, SC_RESTORE, 0);
      break;
    case 9: case 62:
      if (HWND c = activeChild()) ::SendMessageW(c, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    default:
      ::PostMessageW(Handle, SKM_BUTTONACTION, static_cast<WPARAM>(b->Definition->Action), 0);
  }
}

void TSkinnedForm::HoverTick() {
  if (MenuTracking) return;
  if (HotObject) {
    POINT c;
    ::GetCursorPos(&c);
    const POINT p = ScreenToFrame(c.x, c.y);
    if (!::PtInRect(&HotObject->Rect, p)) {
      TNCObject* o = HotObject;
      o->MouseLeave();
      HotObject = nullptr;
    }
  }
  if (!Control && hoverControl_) {
    POINT c;
    ::GetCursorPos(&c);
    RECT r{};
    if (!hoverControl_->Handle || !::GetWindowRect(hoverControl_->Handle, &r) || !::PtInRect(&r, c)) {
      hoverControl_->MouseLeave();
      hoverControl_ = nullptr;
    }
  }
}

// ---- size and region ----------------------------------------------------------------------------
void TSkinnedForm::FitToFrame(bool recalc) {
  if (WindowState == 1) {
    ::SetWindowPos(Handle, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return;
  }
  if (FitCaption || State == kFormReskinning) ::GetClientRect(Handle, &StoredClient);
  int width = (StoredClient.right - StoredClient.left) + BorderLeft + BorderRight;
  int clientHeight = StoredClient.bottom - StoredClient.top;
  if (recalc) {
    ::GetClientRect(Handle, &StoredClient);
    clientHeight = StoredClient.bottom - StoredClient.top;
  } else if (Control) {
    width = Control->ClientWidth() + BorderLeft + BorderRight;
    clientHeight = Kind == 2 ? Control->ClientHeight() : Control->ClientHeight() - MenuHeight;
  }
  const int height = clientHeight + BorderTop + BorderBottom + MenuHeight;
  if (FitCaption && !recalc) {
    HDC dc = ::GetWindowDC(Handle);
    if (dc) {
      const std::wstring text = CaptionText();
      RECT tr{0, 0, 0, 0};
      {
        TSelectObject font(dc, CaptionFont->Handle());
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
      }
      ::ReleaseDC(Handle, dc);
      TDataSkinTitle* t = SkinData->Title.get();
      const int needed = (t ? t->LeftWidth : 0) + (tr.right - tr.left) + (t ? t->RightWidth : 0);
      if (width < needed) {
        const int shift = (needed - width) / 2;
        for (HWND c = ::GetTopWindow(Handle); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
          RECT cr{};
          ::GetWindowRect(c, &cr);
          POINT pos{cr.left, cr.top};
          ::ScreenToClient(Handle, &pos);
          ::SetWindowPos(c, nullptr, pos.x + shift, pos.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
        }
        width = needed;
      }
    }
  }
  ::SetWindowPos(Handle, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TSkinnedForm::UpdateRegion() {
  if (State == kFormDestroyed || !SkinFrame || !SkinData || SkinData->NoSkin) return;
  RECT wr{};
  if (!::GetWindowRect(Handle, &wr)) return;
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  if (w <= 0 || h <= 0) return;
  if (Kind == 2 && WindowState != 0) return;
  if (w == LastRegionWidth && h == LastRegionHeight && Kind != 2 && State != kFormReskinning) return;
  RegionSet = false;
  auto trans = [](const TDataSkinObject* o) { return o && o->Trans == 1; };
  TDataSkinObject *left = SkinData->LeftBorder.get(), *right = SkinData->RightBorder.get(),
                  *top = SkinData->TopBorder.get(), *bottom = SkinData->BottomBorder.get();
  TRgnOwner region;
  if (!trans(left) && !trans(right) && !trans(top) && !trans(bottom)) {
    region.Reset(::CreateRectRgn(0, 0, w, h));
  } else {
    LastRegionWidth = w;
    LastRegionHeight = h;
    region.Reset(::CreateRectRgn(BorderLeft, BorderTop, w - BorderRight, h - BorderBottom));
    if (BorderStyle != 2) {
      auto sideRegion = [&](int side, TDataSkinObject* o, bool use, const RECT& r) -> HRGN {
        if (use && !ObjectEmpty(o) && r.right > r.left && r.bottom > r.top) {
          TBitmap b(r.right - r.left, r.bottom - r.top, TPixelFormat::pf24bit);
          RECT local{0, 0, r.right - r.left, r.bottom - r.top};
          PaintSide(b.Canvas()->Handle(), side, local);
          return RegionFromBitmap(&b, r.left, r.top, 1, 1, 1);
        }
        return ::CreateRectRgn(r.left, r.top, r.right, r.bottom);
      };
      const bool saved = Active;
      Active = 1;  // the region follows the active look
      TRgnOwner l(sideRegion(1, left, trans(left) && h > 1, RECT{0, 0, BorderLeft, h}));
      TRgnOwner r(sideRegion(2, right, trans(right) && h > 1, RECT{w - BorderRight, 0, w, h}));
      TRgnOwner b(sideRegion(4, bottom, trans(bottom) && BorderBottom > 1,
                             RECT{BorderLeft, h - BorderBottom, w - BorderRight, h}));
      TRgnOwner t(sideRegion(3, top, trans(top) && BorderTop > 1 && w - BorderLeft - BorderRight > 0,
                             RECT{BorderLeft, 0, w - BorderRight, BorderTop}));
      Active = saved;
      ::CombineRgn(l.Get(), l.Get(), r.Get(), RGN_OR);
      ::CombineRgn(t.Get(), t.Get(), b.Get(), RGN_OR);
      ::CombineRgn(l.Get(), l.Get(), t.Get(), RGN_OR);
      ::CombineRgn(region.Get(), region.Get(), l.Get(), RGN_OR);
    }
  }
  if (::SetWindowRgn(Handle, region.Get(), TRUE)) {
    region.Release();  // the window owns it now
    RegionSet = true;
  }
}

void TSkinnedForm::RemoveRegion() {
  if (!RegionSet) return;
  ::SetWindowRgn(Handle, nullptr, Kind == 2);
  RegionSet = false;
}

}  // namespace kivo
