// Up-down, progress bar and track bar skinners.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "SkinBitmaps.h"
#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinUpDown)
KIVO_IMPLEMENT_CLASS(TSkinProgress)
KIVO_IMPLEMENT_CLASS(TSkinTrackBar)

namespace {
int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
bool HasPicture(const TDataSkinObject* o) { return o && o->HasPicture(); }

// Line segments from each point to (not including) the next, as LineTo draws them.
void Segment(TCanvas* c, int x1, int y1, int x2, int y2) {
  c->MoveTo(x1, y1);
  c->LineTo(x2, y2);
}

void DrawChevron(TCanvas* c, int x, int y, int arrow) {
  switch (arrow) {
    case 0:
      Segment(c, x, y, x, y - 1);
      Segment(c, x + 1, y + 1, x + 4, y + 4);
      Segment(c, x, y + 1, x + 3, y + 4);
      Segment(c, x, y + 2, x + 2, y + 4);
      Segment(c, x - 1, y + 1, x - 4, y + 4);
      Segment(c, x, y + 2, x - 3, y + 4);
      Segment(c, x, y + 1, x - 2, y + 4);
      break;
    case 1:
      Segment(c, x, y + 3, x, y + 4);
      Segment(c, x + 1, y + 2, x + 4, y - 1);
      Segment(c, x, y + 2, x + 3, y - 1);
      Segment(c, x, y + 1, x + 2, y);
      Segment(c, x - 1, y + 2, x - 4, y - 1);
      Segment(c, x, y + 2, x - 3, y - 1);
      Segment(c, x, y + 1, x - 2, y);
      break;
    case 2: {
      const POINT p[] = {{x, y}, {x + 1, y + 2}, {x + 1, y - 2}, {x - 1, y}, {x + 1, y + 2}};
      c->Polyline(p, 5);
      break;
    }
    default: {
      const POINT p[] = {{x, y}, {x - 1, y + 2}, {x - 1, y - 2}, {x + 1, y}, {x - 1, y + 2}};
      c->Polyline(p, 5);
      break;
    }
  }
}
}  // namespace

// ---- TSkinUpDown ------------------------------------------------------------------------------------

bool TSkinUpDown::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      SkinPaintMessage(this, m);
      return false;
    case WM_ERASEBKGND:
      if (!Control) {
        RECT cr;
        ::GetClientRect(Handle, &cr);
        FillColor(reinterpret_cast<HDC>(m.WParam), cr, clWhite);
      }
      m.Result = 1;
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      auto alive = AliveToken();
      CallPrevious(m);  // the control's own tracking runs in here
      if (!*alive) return false;
      StateFlags |= kSkinPressed;
      PaintFrame(nullptr);
      return false;
    }
    case WM_LBUTTONUP: {
      StateFlags &= static_cast<std::uint8_t>(~kSkinPressed);
      auto alive = AliveToken();
      CallPrevious(m);
      if (*alive) PaintFrame(nullptr);
      return false;
    }
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TSkinUpDown::Draw(HDC dc, const RECT& r0) {
  RECT r = r0;
  if (Buddy) {
    RECT cr;
    ::GetClientRect(Handle, &cr);
    FillColor(dc, cr, clWhite);
    RECT me, parent;
    HWND p = ::GetParent(Handle);
    if (p && ::GetWindowRect(Handle, &me) && ::GetWindowRect(p, &parent)) {
      if (me.top - parent.top < 3) r.top += 3 - (me.top - parent.top);
      if (parent.bottom - me.bottom < 3) r.bottom -= 3 - (parent.bottom - me.bottom);
      if (parent.right - me.right < 3) r.right -= 3 - (parent.right - me.right);
    }
  }
  const int w = Width(r), h = Height(r);
  if (w <= 0 || h <= 0) return;
  TBitmap bitmap(w, h, TPixelFormat::pf24bit);
  TCanvas* c = bitmap.Canvas();
  FillColor(c->Handle(), RECT{0, 0, w, h}, FaceColor());
  POINT cursor;
  ::GetCursorPos(&cursor);
  ::ScreenToClient(Handle, &cursor);
  const LONG_PTR style = ::GetWindowLongPtrW(Handle, GWL_STYLE);
  IsEnabled = (style & WS_DISABLED) ? 0 : 1;
  const bool horizontal = (style & UDS_HORZ) != 0;
  const int half = horizontal ? w / 2 : h / 2;
  const bool pressed = (StateFlags & kSkinPressed) != 0;
  const int along = horizontal ? cursor.x : cursor.y;
  const RECT first = horizontal ? RECT{0, 0, half, h} : RECT{0, 0, w, half};
  const RECT second = horizontal ? RECT{half, 0, w, h} : RECT{0, half, w, h};
  const int state1 = pressed && along < half ? 2 : 1;
  const int state2 = pressed && along >= half ? 2 : 1;
  TDataSkinBorder* object = horizontal ? SkinData->UpDownHorz.get() : SkinData->UpDownVert.get();
  if (HasPicture(object)) {
    DrawSkinned(c, first, 0, state1, object);
    DrawSkinned(c, second, 1, state2, object);
  } else {
    DrawPlain(c, first, horizontal ? 2 : 0, state1);
    DrawPlain(c, second, horizontal ? 3 : 1, state2);
  }
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, w, h, c->Handle(), 0, 0, SRCCOPY);
}

void TSkinUpDown::DrawSkinned(TCanvas* canvas, const RECT& r, int button, int state, TDataSkinBorder* object) {
  const int cell = state + 4 * button;
  const int n = std::max(1, object->Frame);
  DrawFrameStretched(canvas->Handle(), r, object->Bitmap.get(), true, n, cell);
  TBitmap* glyph = object->Bitmap2.get();
  if (glyph && !glyph->Empty()) {
    const int gw = glyph->Width() / n, gh = glyph->Height();
    RECT g{r.left + (Width(r) - gw) / 2, r.top + (Height(r) - gh) / 2, 0, 0};
    g.right = g.left + gw;
    g.bottom = g.top + gh;
    DrawFrameStretched(canvas->Handle(), g, glyph, true, n, cell);
  }
}

void TSkinUpDown::DrawPlain(TCanvas* canvas, const RECT& r, int arrow, int state) {
  canvas->Brush()->SetColor(state == 1 ? FaceColor() : SkinData->Color(scButtonShadow));
  canvas->Pen()->SetColor(SkinData->Color(scButtonDkShadow));
  canvas->Rectangle(r.left, r.top, r.right, r.bottom);
  const int lift = arrow < 2 ? 2 : 0;
  DrawChevron(canvas, r.left + Width(r) / 2, r.top + Height(r) / 2 - lift, arrow);
}

// ---- TSkinProgress ----------------------------------------------------------------------------------

bool TSkinProgress::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      if (!SkinData || !HasPicture(SkinData->Progress.get())) return true;
      SkinPaintMessage(this, m);
      m.Result = 0;
      return false;
    case WM_ERASEBKGND:
      m.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TSkinProgress::Draw(HDC dc, const RECT& r) {
  TDataSkinBorder* progress = SkinData ? SkinData->Progress.get() : nullptr;
  if (!HasPicture(progress)) return;
  if (progress->Style == 1) {
    DrawChunks(dc, r);
    return;
  }
  const bool vertical = (::GetWindowLongPtrW(Handle, GWL_STYLE) & PBS_VERTICAL) != 0;
  int w = Width(r), h = Height(r);
  if (vertical) std::swap(w, h);
  if (w <= 0 || h <= 0) return;
  TBitmap bitmap(w, h, TPixelFormat::pf24bit);
  HDC bdc = bitmap.Canvas()->Handle();
  FillColor(bdc, RECT{0, 0, w, h}, FaceColor());
  const RECT whole{0, 0, w, h};
  TObjectPtr<TBitmap> track =
      SliceBitmap(whole, progress->Bitmap.get(), progress->Margins(), false, progress->Tile != 0, 2, 1);
  DrawTransparent(bdc, whole, track.get());
  const int pos = static_cast<int>(::SendMessageW(Handle, PBM_GETPOS, 0, 0));
  const int max = static_cast<int>(::SendMessageW(Handle, PBM_GETRANGE, 0, 0));
  const int min = static_cast<int>(::SendMessageW(Handle, PBM_GETRANGE, 1, 0));
  if (max > 0 && pos > 0 && max > min) {
    const int fill = ::MulDiv(w, pos - min, max - min);
    if (fill > 0) {
      const RECT part{0, 0, std::min(fill, w), h};
      TObjectPtr<TBitmap> bar =
          SliceBitmap(part, progress->Bitmap.get(), progress->Margins(), false, progress->Tile != 0, 2, 2);
      DrawTransparent(bdc, part, bar.get());
    }
  }
  if (vertical) RotateBitmapLeft(&bitmap);
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, Width(r), Height(r), bitmap.Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TSkinProgress::DrawChunks(HDC dc, const RECT& r) {
  TDataSkinObject* chunk = SkinData->ProgressChunk.get();
  if (!HasPicture(chunk)) return;
  TDataSkinBorder* progress = SkinData->Progress.get();
  const bool vertical = (::GetWindowLongPtrW(Handle, GWL_STYLE) & PBS_VERTICAL) != 0;
  int w = Width(r), h = Height(r);
  if (vertical) std::swap(w, h);
  if (w <= 0 || h <= 0) return;
  TBitmap bitmap(w, h, TPixelFormat::pf24bit);
  HDC bdc = bitmap.Canvas()->Handle();
  const RECT whole{0, 0, w, h};
  FillColor(bdc, whole, FaceColor());
  TObjectPtr<TBitmap> track = SliceBitmap(whole, progress->Bitmap.get(), progress->Margins(), false, false, 1, 1);
  DrawTransparent(bdc, whole, track.get());
  const int pos = static_cast<int>(::SendMessageW(Handle, PBM_GETPOS, 0, 0));
  const int max = static_cast<int>(::SendMessageW(Handle, PBM_GETRANGE, 0, 0));
  if (pos > 0 && max > 0) {
    const int fill = std::min(::MulDiv(w, pos, max), w);
    const int cw = chunk->Bitmap->Width(), ch = chunk->Bitmap->Height();
    const int yOffset = (h - ch) / 2;
    if (fill > 0 && cw > 0) {
      if (chunk->Tile == 1) {
        TBitmap strip(fill, ch, TPixelFormat::pf24bit);
        for (int i = 0; i <= fill / cw; ++i) strip.Canvas()->Draw(i * cw, 0, chunk->Bitmap.get());
        const RECT at{chunk->LeftWidth + 2, yOffset, chunk->LeftWidth + 2 + fill, yOffset + ch};
        DrawTransparent(bdc, at, &strip);
      } else if (h - 4 > 0) {
        TBitmap strip(fill, h - 4, TPixelFormat::pf24bit);
        FillColor(strip.Canvas()->Handle(), RECT{0, 0, fill, h - 4}, RGB(255, 0, 255));
        DrawStretchedThree(strip.Canvas()->Handle(), RECT{0, 0, fill, h - 4}, chunk->Bitmap.get(), false, 1, 1,
                           chunk->Margins());
        DrawTransparent(bdc, RECT{2, 2, 2 + fill, 2 + h - 4}, &strip);
      }
    }
  }
  if (vertical) RotateBitmapLeft(&bitmap);
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, Width(r), Height(r), bitmap.Canvas()->Handle(), 0, 0, SRCCOPY);
}

// ---- TSkinTrackBar ----------------------------------------------------------------------------------

bool TSkinTrackBar::BeforeMessage(TMessage& m) {
  const bool reflected = m.Msg == CN_NOTIFY && m.LParam != kSkinMsgSignature;
  if ((m.Msg == WM_NOTIFY || reflected) && m.LParam) {
    auto* header = reinterpret_cast<NMHDR*>(m.LParam);
    if (header->code != static_cast<UINT>(NM_CUSTOMDRAW) || header->hwndFrom != Handle)
      return TSkinControl::BeforeMessage(m);
    m.Result = CustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(m.LParam));
    return false;
  }
  return TSkinControl::BeforeMessage(m);
}

void TSkinTrackBar::SkinChanged() {
  HWND had = ::GetFocus();
  ::SetFocus(Handle);
  if (had && had != Handle) ::SetFocus(had);
  ::InvalidateRect(Handle, nullptr, TRUE);
}

LRESULT TSkinTrackBar::CustomDraw(NMCUSTOMDRAW* draw) {
  if (draw->dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw->dwDrawStage == CDDS_ITEMPREPAINT) {
    if (draw->dwItemSpec == TBCD_THUMB) {
      DrawThumb(draw);
      return CDRF_SKIPDEFAULT;
    }
    if (draw->dwItemSpec == TBCD_CHANNEL) {
      DrawChannel(draw);
      return CDRF_SKIPDEFAULT;
    }
  }
  return CDRF_DODEFAULT;
}

void TSkinTrackBar::DrawChannel(NMCUSTOMDRAW* draw) {
  RECT channel{};
  ::SendMessageW(Handle, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  const bool vertical = (::GetWindowLongPtrW(Handle, GWL_STYLE) & TBS_VERT) != 0;
  TDataSkinObject* trackVert = SkinData->TrackVert.get();
  if (vertical && HasPicture(trackVert)) {
    const RECT c{channel.top, channel.left, channel.bottom, channel.right};
    TBitmap* p = trackVert->Bitmap.get();
    const int w = p->Width(), h = p->Height(), t = trackVert->TopHeight, b = trackVert->BottomHeight;
    const int offset = w < Width(c) ? (Width(c) - w) / 2 : 0;
    HDC src = p->Canvas()->Handle();
    const int x = c.left + offset;
    const int oldMode = ::SetStretchBltMode(draw->hdc, COLORONCOLOR);
    ::StretchBlt(draw->hdc, x, c.top, w, t, src, 0, 0, w, t, SRCCOPY);
    ::StretchBlt(draw->hdc, x, c.top + t, w, Height(c) - t - b, src, 0, t, w, h - t - b, SRCCOPY);
    ::StretchBlt(draw->hdc, x, c.bottom - b, w, b, src, 0, h - b, w, b, SRCCOPY);
    ::SetStretchBltMode(draw->hdc, oldMode);
  } else if (SkinData->Track) {
    RECT frame = channel;
    frame.top += 3;
    TBrushOwner brush(::CreateSolidBrush(0xA8A8A8));
    ::FrameRect(draw->hdc, &frame, brush.Get());
  }
}

void TSkinTrackBar::DrawThumb(NMCUSTOMDRAW* draw) {
  if (!::IsWindow(Handle)) return;
  RECT thumb{};
  ::SendMessageW(Handle, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  TBrushOwner brush(::CreateSolidBrush(0xA8A8A8));
  TPenOwner pen(::CreatePen(PS_SOLID, 1, ColorToRGB(clBtnFace)));
  TSelectObject b(draw->hdc, brush.Get()), p(draw->hdc, pen.Get());
  ::Rectangle(draw->hdc, thumb.left, thumb.top, thumb.right, thumb.bottom);
}

}  // namespace kivo
