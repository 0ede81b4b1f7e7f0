#include "SkinDraw.h"

#include <algorithm>
#include <vector>

namespace kivo {

namespace {

// Stretches a source part of `src` onto `dst` when both areas are positive.
void StretchPart(HDC dst, int dx, int dy, int dw, int dh, HDC src, int sx, int sy, int sw, int sh) {
  if (dw > 0 && dh > 0 && sw > 0 && sh > 0) ::StretchBlt(dst, dx, dy, dw, dh, src, sx, sy, sw, sh, SRCCOPY);
}

bool Inverted(const RECT& r) { return r.right < r.left || r.bottom < r.top; }

TObjectPtr<TBitmap> NewWorkBitmap(int w, int h) {
  TObjectPtr<TBitmap> b(new TBitmap());
  b->SetPixelFormat(TPixelFormat::pf24bit);
  if (w > 0 && h > 0) b->SetSize(w, h);
  ::SetStretchBltMode(b->Canvas()->Handle(), COLORONCOLOR);
  return b;
}

// Draws a finished work bitmap at r: magenta transparent, or copied.
void PutBitmap(HDC dc, const RECT& r, TBitmap* b, bool transparent) {
  if (b->Empty()) return;
  if (transparent) {
    DrawTransparent(dc, r, b);
  } else {
    ::BitBlt(dc, r.left, r.top, b->Width(), b->Height(), b->Canvas()->Handle(), 0, 0, SRCCOPY);
  }
}

}  // namespace

RECT SkinFrameRect(const TBitmap* image, bool vertical, int count, int frame) {
  if (count < 1) count = 1;
  frame = std::clamp(frame, 1, count);
  const int w = image ? image->Width() : 0, h = image ? image->Height() : 0;
  if (vertical) {
    const int fh = h / count;
    return RECT{0, (frame - 1) * fh, w, frame * fh};
  }
  const int fw = w / count;
  return RECT{(frame - 1) * fw, 0, frame * fw, h};
}

TObjectPtr<TBitmap> SliceBitmap(const RECT& dest, TBitmap* image, const RECT& margins, bool vertical,
                                bool tileMiddle, int count, int frame) {
  const int W = dest.right - dest.left, H = dest.bottom - dest.top;
  TObjectPtr<TBitmap> out = NewWorkBitmap(W, H);
  if (out->Empty() || !image || image->Empty()) return out;
  const RECT f = SkinFrameRect(image, vertical, count, frame);
  const int sx = f.left, sy = f.top, fw = f.right - f.left, fh = f.bottom - f.top;
  int L = std::max<int>(margins.left, 0), T = std::max<int>(margins.top, 0);
  int R = std::max<int>(margins.right, 0), B = std::max<int>(margins.bottom, 0);
  if (W < L + R) L = R = 0;
  if (H < T + B) T = B = 0;
  HDC d = out->Canvas()->Handle();
  HDC s = image->Canvas()->Handle();
  // The order matters: a tiled middle may run over the right and bottom parts drawn after it.
  StretchPart(d, 0, 0, L, T, s, sx, sy, L, T);                                   // top-left
  StretchPart(d, 0, H - B, L, B, s, sx, sy + fh - B, L, B);                      // bottom-left
  StretchPart(d, W - R, 0, R, T, s, sx + fw - R, sy, R, T);                      // top-right
  StretchPart(d, 0, T, L, H - B - T, s, sx, sy + T, L, fh - B - T);              // left edge
  StretchPart(d, L, 0, W - R - L, T, s, sx + L, sy, fw - R - L, T);              // top edge
  if (tileMiddle) {
    TileBitmap(out->Canvas(), RECT{L, T, W - R, H - B}, image, RECT{sx + L, sy + T, sx + fw - R, sy + fh - B});
  } else {
    StretchPart(d, L, T, W - R - L, H - B - T, s, sx + L, sy + T, fw - R - L, fh - B - T);
  }
  StretchPart(d, W - R, H - B, R, B, s, sx + fw - R, sy + fh - B, R, B);         // bottom-right
  StretchPart(d, W - R, T, R, H - B - T, s, sx + fw - R, sy + T, R, fh - B - T); // right edge
  StretchPart(d, L, H - B, W - R - L, B, s, sx + L, sy + fh - B, fw - R - L, B); // bottom edge
  ::GdiFlush();
  return out;
}

void DrawSliced(HDC dc, const RECT& r, TBitmap* image, bool vertical, bool tileMiddle, bool transparent, int count,
                int frame, const RECT& margins) {
  if (Inverted(r)) return;
  TObjectPtr<TBitmap> b = SliceBitmap(r, image, margins, vertical, tileMiddle, count, frame);
  PutBitmap(dc, r, b.get(), transparent);
}

void DrawThreeSlice(TCanvas* canvas, const RECT& r, TBitmap* image, bool vertical, bool transparent, int count,
                    int frame, const RECT& margins) {
  if (Inverted(r) || !image || image->Empty()) return;
  const int W = r.right - r.left, H = r.bottom - r.top;
  TObjectPtr<TBitmap> b = NewWorkBitmap(W, H);
  if (b->Empty()) return;
  const RECT f = SkinFrameRect(image, vertical, count, frame);
  const int fw = f.right - f.left, fh = f.bottom - f.top;
  const int L = std::max<int>(margins.left, 0), R = std::max<int>(margins.right, 0);
  const int middle = fw - L - R;
  HDC d = b->Canvas()->Handle();
  HDC s = image->Canvas()->Handle();
  StretchPart(d, 0, 0, L, H, s, f.left, f.top, L, fh);
  if (middle > 0)
    for (int x = L; x < W - R; x += middle) StretchPart(d, x, 0, middle, H, s, f.left + L, f.top, middle, fh);
  StretchPart(d, W - R, 0, R, H, s, f.right - R, f.top, R, fh);
  ::GdiFlush();
  PutBitmap(canvas->Handle(), r, b.get(), transparent);
}

void DrawStretchedThree(HDC dc, const RECT& r, TBitmap* image, bool vertical, int count, int frame, const RECT& margins) {
  if (Inverted(r) || !image || image->Empty()) return;
  const int W = r.right - r.left, H = r.bottom - r.top;
  const RECT f = SkinFrameRect(image, vertical, count, frame);
  const int fw = f.right - f.left, fh = f.bottom - f.top;
  const int L = std::max<int>(margins.left, 0), R = std::max<int>(margins.right, 0);
  HDC s = image->Canvas()->Handle();
  const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
  if (W >= fw) {
    StretchPart(dc, r.left, r.top, L, H, s, f.left, f.top, L, fh);
    StretchPart(dc, r.left + L, r.top, W - L - R, H, s, f.left + L, f.top, fw - L - R, fh);
    StretchPart(dc, r.left + W - R, r.top, R, H, s, f.right - R, f.top, R, fh);
  } else {
    StretchPart(dc, r.left, r.top, W, H, s, f.left, f.top, fw, fh);
  }
  ::SetStretchBltMode(dc, oldMode);
}

void DrawFrameStretched(HDC dc, const RECT& r, TBitmap* image, bool transparent, int count, int frame) {
  if (Inverted(r) || !image || image->Empty()) return;
  const int W = r.right - r.left, H = r.bottom - r.top;
  TObjectPtr<TBitmap> b = NewWorkBitmap(W, H);
  if (b->Empty()) return;
  const RECT f = SkinFrameRect(image, false, count, frame);
  StretchPart(b->Canvas()->Handle(), 0, 0, W, H, image->Canvas()->Handle(), f.left, f.top, f.right - f.left,
              f.bottom - f.top);
  ::GdiFlush();
  PutBitmap(dc, r, b.get(), transparent);
}

void DrawFrameCentered(HDC dc, const RECT& r, TBitmap* image, bool transparent, int count, int frame) {
  if (Inverted(r) || !image || image->Empty()) return;
  const RECT f = SkinFrameRect(image, false, count, frame);
  const int fw = f.right - f.left, fh = f.bottom - f.top;
  TObjectPtr<TBitmap> b = NewWorkBitmap(fw, fh);
  if (b->Empty()) return;
  ::BitBlt(b->Canvas()->Handle(), 0, 0, fw, fh, image->Canvas()->Handle(), f.left, f.top, SRCCOPY);
  ::GdiFlush();
  const int x = r.left + (r.right - r.left - fw) / 2, y = r.top + (r.bottom - r.top - fh) / 2;
  PutBitmap(dc, RECT{x, y, x + fw, y + fh}, b.get(), transparent);
}

void DrawTransparent(HDC dc, const RECT& r, TBitmap* bitmap, COLORREF key) {
  if (Inverted(r) || !bitmap || bitmap->Empty()) return;
  const int w = std::min<int>(r.right - r.left, bitmap->Width());
  const int h = std::min<int>(r.bottom - r.top, bitmap->Height());
  if (w <= 0 || h <= 0) return;
  HDC src = bitmap->Canvas()->Handle();
  // the mask: 1 where the bitmap has the key colour
  TBitmapOwner mask(::CreateBitmap(w, h, 1, 1, nullptr));
  if (!mask) throw EOutOfResources(L"Out of system resources");
  {
    TMemDCOwner maskDC(::CreateCompatibleDC(dc));
    TSelectObject sel(maskDC.Get(), mask.Get());
    const COLORREF oldBk = ::SetBkColor(src, key);
    ::BitBlt(maskDC.Get(), 0, 0, w, h, src, 0, 0, SRCCOPY);
    ::SetBkColor(src, oldBk);
  }
  // key pixels keep the destination (0xAA0029), the others are copied
  ::MaskBlt(dc, r.left, r.top, w, h, src, 0, 0, mask.Get(), 0, 0, MAKEROP4(0x00AA0029, SRCCOPY));
}

void TileBitmap(TCanvas* canvas, const RECT& dest, TBitmap* image, const RECT& source) {
  const int sw = source.right - source.left, sh = source.bottom - source.top;
  if (sw <= 0 || sh <= 0 || dest.right <= dest.left || dest.bottom <= dest.top || !image || image->Empty()) return;
  TObjectPtr<TBitmap> part = NewWorkBitmap(sw, sh);
  ::BitBlt(part->Canvas()->Handle(), 0, 0, sw, sh, image->Canvas()->Handle(), source.left, source.top, SRCCOPY);
  HDC dc = canvas->Handle();
  TSavedDCState state(dc);
  ::IntersectClipRect(dc, dest.left, dest.top, dest.right, dest.bottom);
  HDC src = part->Canvas()->Handle();
  for (int x = dest.left; x < dest.right; x += sw)
    for (int y = dest.top; y < dest.bottom; y += sh) ::BitBlt(dc, x, y, sw, sh, src, 0, 0, SRCCOPY);
}

HRGN RegionFromBitmap(TBitmap* bitmap, int xOffset, int yOffset, int blueTolerance, int greenTolerance,
                      int redTolerance, COLORREF key) {
  TRgnOwner result;
  if (bitmap && !bitmap->Empty()) {
    const int lowR = GetRValue(key), lowG = GetGValue(key), lowB = GetBValue(key);
    const int highR = std::min(255, lowR + redTolerance), highG = std::min(255, lowG + greenTolerance),
              highB = std::min(255, lowB + blueTolerance);
    TBitmap copy;
    copy.Assign(bitmap);
    copy.SetPixelFormat(TPixelFormat::pf32bit);

    constexpr std::size_t kFlushAt = 2000, kGrowBy = 500;
    std::vector<std::uint8_t> block;
    std::size_t count = 0;
    RECT bound{0x7FFFFFFF, 0x7FFFFFFF, 0, 0};
    auto rects = [&block]() { return reinterpret_cast<RECT*>(block.data() + sizeof(RGNDATAHEADER)); };
    auto grow = [&block](std::size_t rooms) { block.resize(sizeof(RGNDATAHEADER) + rooms * sizeof(RECT)); };
    grow(kGrowBy);
    auto flush = [&]() {
      auto* header = reinterpret_cast<RGNDATAHEADER*>(block.data());
      header->dwSize = sizeof(RGNDATAHEADER);
      header->iType = RDH_RECTANGLES;
      header->nCount = static_cast<DWORD>(count);
      header->nRgnSize = 0;
      header->rcBound = bound;
      HRGN part = ::ExtCreateRegion(nullptr, static_cast<DWORD>(sizeof(RGNDATAHEADER) + count * sizeof(RECT)),
                                    reinterpret_cast<RGNDATA*>(block.data()));
      if (!part) throw EOutOfResources(L"Out of system resources");
      if (!result) {
        result.Reset(part);
      } else {
        ::CombineRgn(result.Get(), result.Get(), part, RGN_OR);
        ::DeleteObject(part);
      }
      count = 0;
      bound = RECT{0x7FFFFFFF, 0x7FFFFFFF, 0, 0};
    };
    auto add = [&](int x0, int x1, int y) {
      if ((count + 1) * sizeof(RECT) + sizeof(RGNDATAHEADER) > block.size()) grow(count + kGrowBy);
      RECT r{x0 + xOffset, y + yOffset, x1 + xOffset, y + yOffset + 1};
      rects()[count++] = r;
      bound.left = std::min(bound.left, r.left);
      bound.top = std::min(bound.top, r.top);
      bound.right = std::max(bound.right, r.right);
      bound.bottom = std::max(bound.bottom, r.bottom);
      if (count == kFlushAt) flush();
    };
    const int w = copy.Width(), h = copy.Height();
    for (int y = 0; y < h; ++y) {
      const auto* p = static_cast<const std::uint8_t*>(copy.ScanLine(y));
      int x = 0;
      while (x < w) {
        auto see = [&](int i) {
          const int b = p[i * 4], g = p[i * 4 + 1], r = p[i * 4 + 2];
          return b >= lowB && b <= highB && g >= lowG && g <= highG && r >= lowR && r <= highR;
        };
        while (x < w && see(x)) ++x;
        const int x0 = x;
        while (x < w && !see(x)) ++x;
        if (x > x0) add(x0, x, y);
      }
    }
    if (count > 0) flush();
  }
  if (!result) result.Reset(::CreateRectRgn(0, 0, 0, 0));
  return result.Release();
}

void PaintParentBackground(TControl* control, HDC dc) {
  TWinControl* parent = control ? control->Parent() : nullptr;
  if (!parent) return;
  RECT r = control->ClientRect();
  ::OffsetRect(&r, control->Left(), control->Top());
  TSavedDCState state(dc);
  ::OffsetViewportOrgEx(dc, -control->Left(), -control->Top(), nullptr);
  ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
}

std::wstring WindowClassName(HWND wnd) {
  wchar_t buf[101];
  const int n = ::GetClassNameW(wnd, buf, 101);
  return std::wstring(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::wstring WindowTextW(HWND wnd) {
  const int len = ::GetWindowTextLengthW(wnd);
  if (len <= 0) return std::wstring();
  std::wstring s(static_cast<std::size_t>(len) + 1, L'\0');
  const int n = ::GetWindowTextW(wnd, s.data(), len + 1);
  s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return s;
}

std::string WindowTextA(HWND wnd) {
  char buf[1000];
  const LRESULT n = ::SendMessageA(wnd, WM_GETTEXT, sizeof(buf), reinterpret_cast<LPARAM>(buf));
  return std::string(buf, n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), sizeof(buf) - 1) : 0);
}

}  // namespace kivo
