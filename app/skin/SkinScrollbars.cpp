// Skinned scroll bars: the overlay panel, the skinners of controls and plain windows with window
// scroll bars, the list view with its header, the scroll-bar control, and the combo list's bar.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"
#include "StdCtrls.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TWScrollbar)
KIVO_IMPLEMENT_CLASS(TSkinScrollbar)
KIVO_IMPLEMENT_CLASS(TSkinListView)
KIVO_IMPLEMENT_CLASS(TSkinScrollbarH)
KIVO_IMPLEMENT_CLASS(TSkinHeader)
KIVO_IMPLEMENT_CLASS(TSkinScControl)
KIVO_IMPLEMENT_CLASS(TComboxScrollBar)

namespace {
int RectWidth(const RECT& r) { return r.right - r.left; }
int RectHeight(const RECT& r) { return r.bottom - r.top; }
bool HasPicture(const TDataSkinObject* o) { return o && o->HasPicture(); }
constexpr int kScrollCells = 23;
}  // namespace

bool ReadScrollBarInfo(HWND wnd, int kind, SCROLLBARINFO& info, bool clientBar) {
  info = SCROLLBARINFO{};
  info.cbSize = sizeof(info);
  const LONG object = clientBar ? OBJID_CLIENT : kind == 1 ? OBJID_VSCROLL : OBJID_HSCROLL;
  return wnd && SkinGetScrollBarInfo(wnd, object, &info);
}

void PaintScrollBarBitmap(TSkinData* data, TBitmap* bitmap, int kind, int w, int h, int arrowSize, bool enabled,
                          int hotPart, bool pressed, int thumbTop, int thumbBottom, int limit) {
  TDataSkinObject* cells = data->Scrollbar.get();
  bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  bitmap->SetSize(w, h);
  TCanvas* c = bitmap->Canvas();
  HDC dc = c->Handle();
  ::SetStretchBltMode(dc, COLORONCOLOR);
  RECT R{0, 0, w, h};
  FillColor(dc, R, data->Color(scButtonFace));
  int T = cells->Bitmap->Height();
  if (std::abs(T - arrowSize) > 2) T = arrowSize;
  if (kind == 1)
    R.right = std::min<LONG>(R.right, T);
  else
    R.bottom = std::min<LONG>(R.bottom, T);
  const int length = kind == 1 ? h : w;
  // the track between the arrows
  TDataSkinObject* track = kind == 1 ? data->VertScroll.get() : data->HorzScroll.get();
  if (HasPicture(track)) {
    RECT t = R;
    if (kind == 1) {
      t.top += arrowSize;
      t.bottom -= arrowSize;
    } else {
      t.left += arrowSize;
      t.right -= arrowSize;
    }
    if (t.right > t.left && t.bottom > t.top)
      DrawSliced(dc, t, track->Bitmap.get(), false, track->Tile != 0, track->Trans != 0, 4, enabled ? 1 : 3,
                 track->Margins());
  }
  // the arrows
  const int arrow = length < 2 * arrowSize ? length / 2 : arrowSize;
  int firstCell = kind == 1 ? 9 : 1, secondCell = kind == 1 ? 13 : 5;
  if (hotPart == 0) firstCell += pressed ? 1 : 3;
  if (hotPart == 1) secondCell += pressed ? 1 : 3;
  RECT first = R, second = R;
  if (kind == 1) {
    first.bottom = first.top + arrow;
    second.top = second.bottom - arrow;
  } else {
    first.right = first.left + arrow;
    second.left = second.right - arrow;
  }
  DrawStripFrameCanvas(nullptr, c, first, kScrollCells, firstCell, cells->Bitmap.get());
  DrawStripFrameCanvas(nullptr, c, second, kScrollCells, secondCell, cells->Bitmap.get());
  // the thumb and its grip
  if (enabled) {
    TDataSkinObject* thumb = kind == 1 ? data->VertScrollThumb.get() : data->HorzScrollThumb.get();
    int frame = 1;
    if (hotPart == 5) frame = pressed ? 2 : 3;
    const RECT tr = kind == 1 ? RECT{0, thumbTop, T, thumbBottom} : RECT{thumbTop, 0, thumbBottom, T};
    if (thumbTop < limit && thumbBottom < limit && thumbBottom > thumbTop) {
      if (HasPicture(thumb))
        DrawSliced(dc, tr, thumb->Bitmap.get(), false, false, thumb->Trans != 0, std::max(1, thumb->Frame), frame,
                   thumb->Margins());
      const int G = cells->Bitmap->Height();
      const int thumbLength = thumbBottom - thumbTop;
      if (thumbLength + 2 > G) {
        const int start = thumbTop + (thumbLength - G) / 2;
        int cell = kind == 1 ? 20 : 17;
        if (hotPart == 5) cell += pressed ? 1 : 2;
        const RECT grip = kind == 1 ? RECT{0, start, T, start + G} : RECT{start, 0, start + G, T};
        if (start < limit && start + G < limit)
          DrawStripFrameCanvas(nullptr, c, grip, kScrollCells, cell, cells->Bitmap.get());
      }
    }
  }
  ::GdiFlush();
}

// ---- TWScrollbar ------------------------------------------------------------------------------------

TWScrollbar::TWScrollbar(TComponent* owner) : TCustomPanel(owner) {
  SetTabStop(false);
  SetBevelOuter(TBevelCut::bvNone);
  ArrowSize = ::GetSystemMetrics(SM_CXHSCROLL);
  SetVisible(false);
}
TWScrollbar::~TWScrollbar() = default;

void TWScrollbar::CreateParams(TCreateParams& p) {
  TCustomPanel::CreateParams(p);
  p.ExStyle = WS_EX_TOOLWINDOW;
}

void TWScrollbar::BindControl(TSkinControl* skinner, TControl* control, int kind) {
  Skinner = skinner;
  TargetControl = control;
  auto* wc = dynamic_cast<TWinControl*>(control);
  Target = wc ? wc->Handle() : nullptr;
  if (kind == 2) {
    // a scroll-bar control: the bar is the control's client area, not a window scroll bar
    kind = LowerCase(GetEnumPropByName(control, L"Kind")) == L"sbvertical" ? 1 : 0;
    ClientBar = 1;
  }
  Kind = static_cast<std::uint8_t>(kind);
  SetColor(skinner->ParentColor(skinner->FaceColor()));
  if (control->Parent())
    SetParent(control->Parent());
  else if (Target)
    SetParentWindow(::GetParent(Target));
  Reposition(Target);
}

void TWScrollbar::BindWindow(TSkinControl* skinner, HWND window, int kind) {
  Skinner = skinner;
  TargetControl = nullptr;
  Target = window;
  Kind = static_cast<std::uint8_t>(kind);
  SetParentWindow(::GetParent(window));
  Reposition(window);
}

void TWScrollbar::HideBar() {
  if (HandleAllocated()) ::ShowWindow(Handle(), SW_HIDE);
  Shown = 0;
  SetVisible(false);
}

void TWScrollbar::Reposition(HWND window) {
  Target = window;
  SCROLLBARINFO info;
  if (!ReadScrollBarInfo(Target, Kind, info, ClientBar != 0)) {
    Shown = 0;
    return;
  }
  if (!(::GetWindowLongPtrW(Target, GWL_STYLE) & WS_VISIBLE) || (info.rgstate[0] & STATE_SYSTEM_INVISIBLE) ||
      RectWidth(info.rcScrollBar) <= 0 || RectHeight(info.rcScrollBar) <= 0) {
    HideBar();
    return;
  }
  POINT topLeft{info.rcScrollBar.left, info.rcScrollBar.top}, bottomRight{info.rcScrollBar.right, info.rcScrollBar.bottom};
  ::ScreenToClient(Target, &topLeft);
  ::ScreenToClient(Target, &bottomRight);
  BarLeft = topLeft.x;
  BarTop = topLeft.y;
  BarRight = bottomRight.x;
  BarBottom = bottomRight.y;
  BarLength = Kind == 1 ? RectHeight(info.rcScrollBar) : RectWidth(info.rcScrollBar);
  ScreenPos = POINT{info.rcScrollBar.left, info.rcScrollBar.top};
  HWND parent = ::GetParent(Target);
  POINT at = ScreenPos;
  if (parent) ::ScreenToClient(parent, &at);
  const int w = RectWidth(info.rcScrollBar), h = RectHeight(info.rcScrollBar);
  SetBounds(at.x, at.y, w, h);
  SetVisible(true);
  Shown = 1;
  HWND me = Handle();
  HWND before = ::GetWindow(Target, GW_HWNDPREV);
  if (before == me) before = ::GetWindow(me, GW_HWNDPREV);
  ::SetWindowPos(me, before ? before : HWND_TOP, at.x, at.y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  ::MoveWindow(me, at.x, at.y, w, h, TRUE);
}

int TWScrollbar::HitTest(POINT p) const {
  const int a = Kind == 1 ? p.y : p.x;
  if (a < ArrowSize) return 0;
  if (a < ThumbTop) return 2;
  if (a < ThumbBottom) return 5;
  if (a < BarLength - ArrowSize) return 3;
  return 1;
}

void TWScrollbar::TrackThumb() {
  const int thumb = ThumbBottom - ThumbTop;
  POINT cursor;
  ::GetCursorPos(&cursor);
  ThumbTop = DragThumbTop + (Kind == 1 ? cursor.y - DragCursor.y : cursor.x - DragCursor.x);
  ThumbTop = std::min(std::max(ThumbTop, ArrowSize), BarLength - ArrowSize - thumb);
  ThumbBottom = ThumbTop + thumb;
}

void TWScrollbar::Paint() {
  TSkinData* data = Skinner ? Skinner->SkinData : nullptr;
  if (!data || !HasPicture(data->Scrollbar.get())) return;
  SCROLLBARINFO info;
  if (!ReadScrollBarInfo(Target, Kind, info, ClientBar != 0) || (info.rgstate[0] & STATE_SYSTEM_INVISIBLE)) return;
  const bool enabled = !(info.rgstate[0] & STATE_SYSTEM_UNAVAILABLE);
  const int w = RectWidth(info.rcScrollBar), h = RectHeight(info.rcScrollBar);
  if (w <= 0 || h <= 0 || w > Width() || h > Height()) return;
  BarLength = Kind == 1 ? h : w;
  if (Pressed && HotPart == 5) {
    TrackThumb();
  } else {
    ThumbTop = info.xyThumbTop;
    ThumbBottom = info.xyThumbBottom;
  }
  TBitmap bitmap;
  PaintScrollBarBitmap(data, &bitmap, Kind, w, h, ArrowSize, enabled, HotPart, Pressed != 0, ThumbTop, ThumbBottom,
                       Kind == 1 ? Height() : Width());
  ::BitBlt(Canvas()->Handle(), 0, 0, w, h, bitmap.Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TWScrollbar::MouseDownOnBar(TMessage& m) {
  ::GetCursorPos(&DragCursor);
  SCROLLBARINFO info;
  if (ReadScrollBarInfo(Target, Kind, info, ClientBar != 0)) {
    DragThumbTop = info.xyThumbTop;
    ScreenPos = POINT{info.rcScrollBar.left, info.rcScrollBar.top};
  }
  const POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  HotPart = HitTest(p);
  const POINT screen{static_cast<short>(p.x + ScreenPos.x), static_cast<short>(p.y + ScreenPos.y)};
  Pressed = 1;
  Invalidate();
  ::ReleaseCapture();
  auto alive = AliveToken();
  // the system's own tracking of the bar runs inside this call
  if (ClientBar) {
    POINT client = screen;
    ::ScreenToClient(Target, &client);
    ::SendMessageW(Target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
  } else {
    ::SendMessageW(Target, WM_NCLBUTTONDOWN, Kind == 1 ? HTVSCROLL : HTHSCROLL, MAKELPARAM(screen.x, screen.y));
  }
  if (!*alive) return;
  Pressed = 0;
  ::ReleaseCapture();
  Invalidate();
}

void TWScrollbar::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ERASEBKGND:
      m.Result = 1;
      return;
    case WM_MOUSEMOVE: {
      TCustomPanel::WndProc(m);
      const POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
      const int part = HitTest(p);
      if (part != HotPart) {
        HotPart = part;
        Invalidate();
      }
      SkinTrackMouseLeave(Handle());
      return;
    }
    case WM_MOUSELEAVE:
      TCustomPanel::WndProc(m);
      if (!Pressed) {
        HotPart = -1;
        Invalidate();
      }
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      auto alive = AliveToken();
      TCustomPanel::WndProc(m);
      if (*alive) MouseDownOnBar(m);
      return;
    }
    case WM_LBUTTONUP: {
      TCustomPanel::WndProc(m);
      const POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
      const POINT screen{static_cast<short>(p.x + ScreenPos.x), static_cast<short>(p.y + ScreenPos.y)};
      Pressed = 0;
      ::ReleaseCapture();
      if (ClientBar) {
        POINT client = screen;
        ::ScreenToClient(Target, &client);
        ::PostMessageW(Target, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
      } else {
        ::PostMessageW(Target, WM_NCLBUTTONUP, Kind == 1 ? HTVSCROLL : HTHSCROLL, MAKELPARAM(screen.x, screen.y));
      }
      return;
    }
    default:
      TCustomPanel::WndProc(m);
  }
}

// ---- TSkinScrollbar ---------------------------------------------------------------------------------

TSkinScrollbar::~TSkinScrollbar() { FreeBars(); }

// A panel freed by its parent window first leaves no dangling pointer here.
void TSkinScrollbar::Notification(TComponent* c, TOperation op) {
  TSkinControl::Notification(c, op);
  if (op != TOperation::opRemove) return;
  if (c == HorzBar) HorzBar = nullptr;
  if (c == VertBar) VertBar = nullptr;
}

void TSkinScrollbar::FreeBars() {
  if (TWScrollbar* bar = HorzBar) bar->Free();
  if (TWScrollbar* bar = VertBar) bar->Free();
  HorzBar = VertBar = nullptr;
}

void TSkinScrollbar::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool, TCanvas* canvas) {
  if (Attached) return;
  if (auto* c = dynamic_cast<TControl*>(Owner())) AttachScrollControl(c, skinData, form, canvas);
}

void TSkinScrollbar::AttachScrollControl(TControl* control, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  SkinData = skinData;
  Form = form;
  Canvas = canvas;
  Control = control;
  auto* wc = dynamic_cast<TWinControl*>(control);
  Handle = wc ? wc->Handle() : nullptr;
  Unicode = Handle && ::IsWindowUnicode(Handle) ? 1 : 0;
  if (Form) Form->AddSkinner(this);
  DrawsBorder = LowerCase(GetEnumPropByName(control, L"BorderStyle")) == L"bsnone" ? 0 : 1;
  if (control->ClassName() == L"TImageScrollBox" || Mode == 1) DrawsBorder = 0;
  if (const TPropInfo* p = GetPropInfo(control, L"FixedColor"); p && p->Kind == TTypeKind::tkInteger) {
    SavedColor = static_cast<TColor>(GetOrdProp(control, L"FixedColor"));
    Recolor = 1;
    SetPropByName(control, L"FixedColor", IntToStr(static_cast<int>(FaceColor())));
  }
  HorzBar = new TWScrollbar(this);
  HorzBar->BindControl(this, control, 0);
  VertBar = new TWScrollbar(this);
  VertBar->BindControl(this, control, 1);
  HorzBar->SetEnabled(control->Enabled());
  VertBar->SetEnabled(control->Enabled());
  if (!control->Visible()) {
    HorzBar->HideBar();
    VertBar->HideBar();
  }
  HookControl();
  Attached = 1;
  State = kSkinnerAttached;
  if (Handle) ::SetWindowPos(Handle, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void TSkinScrollbar::Restore() {
  if (Recolor && Control && !Control->IsDestroying()) {
    SetPropByName(Control, L"FixedColor", IntToStr(static_cast<int>(SavedColor)));
    Recolor = 0;
  }
  TSkinControl::Restore();
  if (State != kSkinnerWindowGone) FreeBars();
}

void TSkinScrollbar::SkinChanged() {
  if (Control) {
    if (const TPropInfo* p = GetPropInfo(Control, L"FixedColor"); p && p->Kind == TTypeKind::tkInteger) {
      if (!Recolor) SavedColor = static_cast<TColor>(GetOrdProp(Control, L"FixedColor"));
      Recolor = 1;
      SetPropByName(Control, L"FixedColor", IntToStr(static_cast<int>(FaceColor())));
    }
  }
  if (HorzBar) HorzBar->Invalidate();
  if (VertBar) VertBar->Invalidate();
  TSkinControl::SkinChanged();
}

void TSkinScrollbar::PlaceBars() {
  if (HorzBar) HorzBar->Reposition(Handle);
  if (VertBar) VertBar->Reposition(Handle);
}

bool TSkinScrollbar::BeforeMessage(TMessage& m) {
  if (m.Msg == WM_NCPAINT && DrawsBorder) {
    CallPrevious(m);
    HDC dc = ::GetWindowDC(Handle);
    if (dc) {
      DrawBorder(dc);
      ::ReleaseDC(Handle, dc);
    }
    return false;
  }
  return TSkinControl::BeforeMessage(m);
}

void TSkinScrollbar::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
      PlaceBars();
      break;
    case WM_HSCROLL:
      if (HorzBar) {
        HorzBar->HotPart = LOWORD(m.WParam);
        HorzBar->Invalidate();
      }
      break;
    case WM_VSCROLL:
      if (VertBar) {
        VertBar->HotPart = LOWORD(m.WParam);
        VertBar->Invalidate();
      }
      break;
    case WM_MOUSEWHEEL:
      if (HorzBar && HorzBar->Shown) HorzBar->Invalidate();
      if (VertBar && VertBar->Shown) VertBar->Invalidate();
      break;
    case CM_VISIBLECHANGED:
      if (m.WParam) {
        PlaceBars();
      } else {
        if (HorzBar) HorzBar->HideBar();
        if (VertBar) VertBar->HideBar();
      }
      break;
    case CM_ENABLEDCHANGED:
      if (Control) {
        if (HorzBar) HorzBar->SetEnabled(Control->Enabled());
        if (VertBar) VertBar->SetEnabled(Control->Enabled());
      }
      TSkinControl::AfterMessage(m);
      break;
    case CM_RECREATEWND:
      if (Control && Form) ::PostMessageW(Form->SkinnedWindow(), kSkinMsgReskinScroll, reinterpret_cast<WPARAM>(Handle), 0);
      break;
    case kSkinMsgPrint:
      if (m.LParam == kSkinMsgSignature) {
        if (m.WParam) DrawBorder(reinterpret_cast<HDC>(m.WParam));
        m.Result = kSkinMsgSignature;
      }
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
  // scrolling by keys or text changes moves the thumb without a scroll message
  if ((m.Msg == WM_KEYDOWN || m.Msg == WM_SETTEXT || m.Msg == EM_LINESCROLL || m.Msg == WM_CHAR) && VertBar) {
    if (VertBar->Shown) VertBar->Invalidate();
    if (HorzBar->Shown) HorzBar->Invalidate();
  }
}

void TSkinScrollbar::DrawBorder(HDC dc) {
  RECT r;
  if (!::GetWindowRect(Handle, &r)) return;
  ::OffsetRect(&r, -r.left, -r.top);
  TBrushOwner shadow(::CreateSolidBrush(ColorToRGB(SkinData->Color(scButtonShadow))));
  TBrushOwner face(::CreateSolidBrush(ColorToRGB(FaceColor())));
  ::FrameRect(dc, &r, shadow.Get());
  ::InflateRect(&r, -1, -1);
  ::FrameRect(dc, &r, face.Get());
}

void TSkinScrollbar::Draw(HDC dc, const RECT&) {
  const LONG_PTR style = ::GetWindowLongPtrW(Handle, GWL_STYLE);
  if (VertBar) {
    if (VertBar->Shown)
      VertBar->Invalidate();
    else if (style & WS_VSCROLL)
      VertBar->Reposition(Handle);
  }
  if (HorzBar) {
    if (HorzBar->Shown)
      HorzBar->Invalidate();
    else if (style & WS_HSCROLL)
      HorzBar->Reposition(Handle);
  }
  if (VertBar && HorzBar && VertBar->Shown && HorzBar->Shown) {
    const RECT corner{VertBar->BarLeft + 2, HorzBar->BarTop + 2, VertBar->BarRight + 2, HorzBar->BarBottom + 2};
    FillFace(this, dc, corner);
  }
}

// ---- TSkinListView ----------------------------------------------------------------------------------

void TSkinListView::AttachScrollControl(TControl* control, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  TSkinScrollbar::AttachScrollControl(control, skinData, form, canvas);
  HWND header = reinterpret_cast<HWND>(::SendMessageW(Handle, LVM_GETHEADER, 0, 0));
  if (header && !Header) {
    Header = new TSkinHeader(Owner());
    Header->AttachWindow(header, skinData, form, canvas);
  }
}

// ---- TSkinScrollbarH --------------------------------------------------------------------------------

TSkinScrollbarH::~TSkinScrollbarH() { FreeBars(); }

void TSkinScrollbarH::Notification(TComponent* c, TOperation op) {
  TSkinControl::Notification(c, op);
  if (op != TOperation::opRemove) return;
  if (c == HorzBar) HorzBar = nullptr;
  if (c == VertBar) VertBar = nullptr;
}

void TSkinScrollbarH::FreeBars() {
  if (TWScrollbar* bar = HorzBar) bar->Free();
  if (TWScrollbar* bar = VertBar) bar->Free();
  HorzBar = VertBar = nullptr;
}

void TSkinScrollbarH::AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  SkinData = skinData;
  Canvas = canvas;
  Form = form;
  Handle = handle;
  Control = nullptr;
  if (Form) Form->AddSkinner(this);
  HorzBar = new TWScrollbar(this);
  HorzBar->BindWindow(this, handle, 0);
  VertBar = new TWScrollbar(this);
  VertBar->BindWindow(this, handle, 1);
  Unicode = 0;
  HookWindow();
  Attached = 1;
  State = kSkinnerAttached;
}

void TSkinScrollbarH::Restore() {
  TSkinControl::Restore();
  if (State != kSkinnerWindowGone) FreeBars();
}

void TSkinScrollbarH::AfterMessage(TMessage& m) {
  if (!::IsWindowVisible(Handle) && VertBar) VertBar->HideBar();
  switch (m.Msg) {
    case WM_SIZE:
    case WM_NCPAINT:
      if (HorzBar) HorzBar->Reposition(Handle);
      if (VertBar) VertBar->Reposition(Handle);
      Repaint();
      break;
    case WM_HSCROLL:
      if (HorzBar) {
        HorzBar->HotPart = LOWORD(m.WParam);
        HorzBar->Invalidate();
      }
      break;
    case WM_VSCROLL:
      if (VertBar) {
        VertBar->HotPart = LOWORD(m.WParam);
        VertBar->Invalidate();
      }
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

void TSkinScrollbarH::Draw(HDC dc, const RECT&) {
  if (HorzBar && HorzBar->Shown) HorzBar->Invalidate();
  if (VertBar && VertBar->Shown) VertBar->Invalidate();
  if (VertBar && HorzBar && VertBar->Shown && HorzBar->Shown) {
    const RECT corner{VertBar->BarLeft, HorzBar->BarTop, VertBar->BarRight + 2, HorzBar->BarBottom + 2};
    FillFace(this, dc, corner);
  }
}

// ---- TSkinHeader ------------------------------------------------------------------------------------

void TSkinHeader::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  HotItem = -1;
}

void TSkinHeader::AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  TSkinControl::AttachWindow(handle, skinData, form, canvas);
  HotItem = -1;
}

bool TSkinHeader::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      SkinPaintMessage(this, m);
      return false;
    case WM_ERASEBKGND:
      if (SkinData && HasPicture(SkinData->Headerbar.get())) {
        m.Result = 1;
        return false;
      }
      return true;
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TSkinHeader::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_MOUSEMOVE:
      TrackHover(m);
      break;
    case WM_MOUSELEAVE:
      HotItem = -1;
      Repaint();
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

void TSkinHeader::TrackHover(TMessage& m) {
  const POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  for (std::size_t i = 0; i < ItemRects.size(); ++i) {
    if (::PtInRect(&ItemRects[i], p) && static_cast<int>(i) != HotItem) {
      HotItem = static_cast<int>(i);
      Repaint();
    }
  }
  SkinTrackMouseLeave(Handle);
}

void TSkinHeader::Draw(HDC dc, const RECT& r) {
  TDataSkinObject* bar = SkinData ? SkinData->Headerbar.get() : nullptr;
  if (!HasPicture(bar) || RectWidth(r) <= 0 || RectHeight(r) <= 0) return;
  TBitmap bitmap(RectWidth(r), RectHeight(r), TPixelFormat::pf24bit);
  TCanvas* c = bitmap.Canvas();
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(Handle, WM_GETFONT, 0, 0));
  if (font) {
    LOGFONTW lf{};
    if (::GetObjectW(font, sizeof(lf), &lf)) c->Font()->AssignLogFont(lf);
  }
  IsEnabled = 1;
  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageW(Handle, HDM_GETIMAGELIST, 0, 0));
  const int count = static_cast<int>(::SendMessageW(Handle, HDM_GETITEMCOUNT, 0, 0));
  ItemRects.assign(static_cast<std::size_t>(std::max(count, 0)), RECT{});
  int right = 0;
  for (int i = 0; i < count; ++i) {
    RECT item;
    if (!::SendMessageW(Handle, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item))) continue;
    DrawItem(images, c, i, item);
    ItemRects[static_cast<std::size_t>(i)] = RECT{item.left + 3, item.top, item.right - 3, item.bottom};
    right = std::max<int>(right, item.right);
  }
  if (right < RectWidth(r)) {
    const RECT rest{right, 0, RectWidth(r), RectHeight(r)};
    TObjectPtr<TBitmap> part =
        SliceBitmap(rest, bar->Bitmap.get(), bar->Margins(), false, bar->Tile != 0, std::max(1, bar->Frame), 1);
    ::BitBlt(c->Handle(), rest.left, rest.top, RectWidth(rest), RectHeight(rest), part->Canvas()->Handle(), 0, 0, SRCCOPY);
  }
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, RectWidth(r), RectHeight(r), c->Handle(), 0, 0, SRCCOPY);
}

void TSkinHeader::DrawItem(HIMAGELIST images, TCanvas* canvas, int index, const RECT& r) {
  TDataSkinObject* bar = SkinData->Headerbar.get();
  wchar_t text[201] = {};
  HDITEMW item{};
  item.mask = HDI_TEXT | HDI_FORMAT | HDI_IMAGE;
  item.pszText = text;
  item.cchTextMax = 201;
  ::SendMessageW(Handle, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  const int frame = index == HotItem ? 2 : 1;
  if (RectWidth(r) <= 0 || RectHeight(r) <= 0) return;
  TObjectPtr<TBitmap> picture =
      SliceBitmap(r, bar->Bitmap.get(), bar->Margins(), false, bar->Tile != 0, std::max(1, bar->Frame), frame);
  if (text[0]) {
    const int low = item.fmt & 0xFF;
    const int alignment = low == HDF_RIGHT ? 2 : low == HDF_CENTER ? 1 : 0;
    const int image = (item.fmt & (HDF_IMAGE | HDF_OWNERDRAW)) ? item.iImage : -1;
    TCanvas* pc = picture->Canvas();
    pc->Font()->Assign(canvas->Font());
    if (SkinData->ColorGiven[scWindowText]) pc->Font()->SetColor(SkinData->Color(scWindowText));
    // the label as DrawIconLabel lays it out, on one line with an ellipsis
    DrawIconLabel(this, pc, RECT{0, 0, RectWidth(r), RectHeight(r)}, alignment, text, image, images);
  }
  ::GdiFlush();
  ::BitBlt(canvas->Handle(), r.left, r.top, RectWidth(r), RectHeight(r), picture->Canvas()->Handle(), 0, 0, SRCCOPY);
}

// ---- TSkinScControl ---------------------------------------------------------------------------------

TSkinScControl::~TSkinScControl() {
  if (Overlay) Overlay->Free();
  Overlay = nullptr;
}

void TSkinScControl::Notification(TComponent* c, TOperation op) {
  TSkinControl::Notification(c, op);
  if (op == TOperation::opRemove && c == Overlay) Overlay = nullptr;
}

void TSkinScControl::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool, TCanvas* canvas) {
  if (Attached) return;
  if (auto* c = dynamic_cast<TControl*>(Owner())) Attach(c, skinData, form, canvas);
}

void TSkinScControl::Attach(TControl* control, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  SkinData = skinData;
  Form = form;
  Canvas = canvas;
  Control = control;
  auto* wc = dynamic_cast<TWinControl*>(control);
  Handle = wc ? wc->Handle() : nullptr;
  if (Form) Form->AddSkinner(this);
  Overlay = new TWScrollbar(this);
  Overlay->SetShowHint(control->ShowHint());
  Overlay->SetHint(control->Hint());
  Overlay->BindControl(this, control, 2);
  if (!control->Visible()) Overlay->HideBar();
  HookControl();
  Attached = 1;
}

void TSkinScControl::Restore() {
  TSkinControl::Restore();
  if (State != kSkinnerWindowGone && Overlay) {
    Overlay->Free();
    Overlay = nullptr;
  }
}

void TSkinScControl::AfterMessage(TMessage& m) {
  if (!Overlay) {
    TSkinControl::AfterMessage(m);
    return;
  }
  switch (m.Msg) {
    case WM_WINDOWPOSCHANGED:
      Overlay->Reposition(Handle);
      break;
    case WM_NCPAINT:
      if (auto* wc = dynamic_cast<TWinControl*>(Control)) Handle = wc->Handle();
      Overlay->Reposition(Handle);
      break;
    case SBM_SETSCROLLINFO:
    case SBM_SETPOS:
    case SBM_SETRANGE:
    case CN_VSCROLL:
    case CN_HSCROLL:
      Overlay->Invalidate();
      break;
    case CM_VISIBLECHANGED:
      if (m.WParam == 0)
        Overlay->HideBar();
      else
        Overlay->Reposition(Handle);
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

void TSkinScControl::Draw(HDC, const RECT&) {
  if (Overlay) Overlay->Invalidate();
}

// ---- TComboxScrollBar -------------------------------------------------------------------------------

TComboxScrollBar::TComboxScrollBar(TComponent* owner) : TSkinControl(owner) {
  ArrowSize = ::GetSystemMetrics(SM_CXHSCROLL);
}

bool TComboxScrollBar::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_NCMOUSEMOVE:
      if (m.WParam == HTHSCROLL || m.WParam == HTVSCROLL) return false;
      return true;
    case WM_NCLBUTTONDOWN:
      return !DragThumb(m);
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TComboxScrollBar::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_NCPAINT:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case 0x1AE:
      PaintFrame(nullptr);
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

bool TComboxScrollBar::DragThumb(TMessage& m) {
  if (m.WParam != HTVSCROLL) return false;
  SCROLLBARINFO info;
  if (!ReadScrollBarInfo(Handle, 1, info)) return false;
  const POINT press{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  const int offset = press.y - info.rcScrollBar.top;
  if (offset < info.xyThumbTop || offset > info.xyThumbBottom) return false;
  ::SetCapture(Handle);
  POINT start;
  ::GetCursorPos(&start);
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_ALL;
  ::GetScrollInfo(Handle, SB_VERT, &si);
  int last = si.nPos;
  int pos = si.nPos;
  const int offset0 = info.xyThumbTop - ArrowSize;
  const int track = RectHeight(info.rcScrollBar) - 2 * ArrowSize;
  const int thumb = info.xyThumbBottom - info.xyThumbTop;
  auto alive = AliveToken();
  HWND list = Handle;
  for (;;) {
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // wait for input instead of spinning; the loop ends on the button's release
      if (::GetCapture() != list) break;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_NCMOUSEMOVE || msg.message == WM_MOUSEMOVE) {
      ::DispatchMessageW(&msg);
      if (!*alive || !::IsWindow(list)) break;
      POINT cursor;
      ::GetCursorPos(&cursor);
      int t = std::max(0, offset0 + static_cast<int>(cursor.y - start.y));
      if (si.nPage) {
        t = std::min(t, track - thumb + 1);
        pos = track - thumb > 0 ? ::MulDiv(t, si.nMax - si.nMin - static_cast<int>(si.nPage), track - thumb) + si.nMin
                                : si.nMin;
        if (pos >= si.nMax - static_cast<int>(si.nPage)) pos = si.nMax - static_cast<int>(si.nPage) + 1;
      } else {
        t = std::min(t, track - thumb);
        pos = track > 0 ? ::MulDiv(t, si.nMax - si.nMin, track) + si.nMin : si.nMin;
        pos = std::min(pos, si.nMax);
      }
      pos = std::max(pos, si.nMin);
      if (pos != last) {
        ::SendMessageW(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, pos), 0);
        last = pos;
      }
    } else if (msg.message == WM_NCLBUTTONUP || msg.message == WM_LBUTTONUP) {
      ::SendMessageW(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos & 0xFFFF), 0);
      ::PostMessageW(list, WM_VSCROLL, SB_ENDSCROLL, 0);
      break;
    } else {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      if (!*alive || !::IsWindow(list)) break;
    }
  }
  if (::GetCapture() == list) ::ReleaseCapture();
  return true;
}

void TComboxScrollBar::Draw(HDC dc, const RECT& r) {
  if (!SkinData || !HasPicture(SkinData->Scrollbar.get())) return;
  SCROLLBARINFO info;
  if (!ReadScrollBarInfo(Handle, 1, info) || (info.rgstate[0] & STATE_SYSTEM_INVISIBLE)) return;
  const bool enabled = !(info.rgstate[0] & STATE_SYSTEM_UNAVAILABLE);
  const int w = RectWidth(info.rcScrollBar), h = RectHeight(info.rcScrollBar);
  if (w <= 0 || h <= 0 || w > RectWidth(r) || h > RectHeight(r)) return;
  BarLength = h;
  ThumbTop = info.xyThumbTop;
  ThumbBottom = info.xyThumbBottom;
  TBitmap bitmap;
  PaintScrollBarBitmap(SkinData, &bitmap, 1, w, h, ArrowSize, enabled, -1, false, ThumbTop, ThumbBottom, RectHeight(r));
  ::BitBlt(dc, info.rcScrollBar.left - WindowRect.left, info.rcScrollBar.top - WindowRect.top, w, h,
           bitmap.Canvas()->Handle(), 0, 0, SRCCOPY);
}

}  // namespace kivo
