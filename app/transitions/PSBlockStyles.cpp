// The transition styles built from block transfers: copies, stretches, mirrored roll strips and
// moves of the starting content.
#include <algorithm>

#include "PSEffectInternal.h"

namespace kivo::pseffect {

std::uint32_t HandleValue(const TStyleFrame& f) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(f.Picture->Handle()));
}

void Copy(const TStyleFrame& f, int dx, int dy, int w, int h, int sx, int sy) {
  ::BitBlt(f.ScreenDC(), dx, dy, w, h, f.PictureDC(), sx, sy, SRCCOPY);
}

void Stretch(const TStyleFrame& f, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
  ::StretchBlt(f.ScreenDC(), dx, dy, dw, dh, f.PictureDC(), sx, sy, sw, sh, SRCCOPY);
}

// GDI reads an overlapping source on the same bitmap before it overwrites it (measured: the copy
// and stretch style tests check every pixel).
void CopyFromScreen(const TStyleFrame& f, int dx, int dy, int w, int h, int sx, int sy) {
  ::BitBlt(f.ScreenDC(), dx, dy, w, h, f.ScreenDC(), sx, sy, SRCCOPY);
}

void StretchScreen(const TStyleFrame& f, int dx, int dy, int dw, int dh) {
  ::StretchBlt(f.ScreenDC(), dx, dy, dw, dh, f.ScreenDC(), 0, 0, f.W, f.H, SRCCOPY);
}

void RevealOutside(const TStyleFrame& f, int left, int top, int right, int bottom) {
  HDC dc = f.ScreenDC();
  struct TClipReset {
    HDC dc;
    ~TClipReset() { ::SelectClipRgn(dc, nullptr); }
  } reset{dc};
  ::ExcludeClipRect(dc, left, top, right, bottom);
  Copy(f, 0, 0, f.W, f.H, 0, 0);
}

namespace {
// Width of a roll strip: a tenth of the side, no wider than the revealed part, and narrowing to
// half of what is left near the end.
int RollWidth(int side, int progress) {
  int s = side / 10;
  if (progress < s) s = progress;
  else if (side - progress < 2 * s) s = (side - progress) / 2;
  return s;
}
}  // namespace

void RollHorizontal(const TStyleFrame& f, bool fromLeft) {
  const int s = RollWidth(f.W, f.X);
  if (fromLeft) {
    Stretch(f, f.X + s - 1, 0, -s, f.H, f.X + s, 0, s, f.H);
    Copy(f, 0, 0, f.X, f.H, 0, 0);
    ColumnRamp(f.Screen, 64, f.X, s);
  } else {
    const int r = f.W - f.X;
    // the strip's source starts one pixel before the mirror image; near the end that is x = -1
    Stretch(f, r - 1, 0, -s, f.H, std::max(r - 2 * s - 1, 0), 0, s, f.H);
    Copy(f, r, 0, f.X, f.H, r, 0);
    ColumnRamp(f.Screen, 64, r - s, s);
  }
}

void RollVertical(const TStyleFrame& f, bool fromTop) {
  const int s = RollWidth(f.H, f.Y);
  if (fromTop) {
    Stretch(f, 0, f.Y + s - 1, f.W, -s, 0, f.Y + s, f.W, s);
    Copy(f, 0, 0, f.W, f.Y, 0, 0);
    RowRamp(f.Screen, 64, f.Y, s);
  } else {
    const int r = f.H - f.Y;
    Stretch(f, 0, r - 1, f.W, -s, 0, std::max(r - 2 * s - 1, 0), f.W, s);
    Copy(f, 0, r, f.W, f.Y, 0, r);
    RowRamp(f.Screen, 64, r - s, s);
  }
}

void ZoomLens(const TStyleFrame& f) {
  const int P = f.Progress;
  bool fromPicture;
  int X = f.X, Y = f.Y, k;
  if (P > 50) {
    fromPicture = true;
    k = ::MulDiv(P - 100, 82, 50) + 180;
    X = f.W - X;
    Y = f.H - Y;
  } else {
    fromPicture = false;
    k = 180 - ::MulDiv(P, 82, 50);
  }
  int xs = ::MulDiv(X, k, 100), ys = ::MulDiv(Y, k, 100);
  const int sw = std::max(f.W - 2 * xs, 2), sh = std::max(f.H - 2 * ys, 2);
  // on pictures a few pixels wide the minimum size would reach past the edge
  const int sxs = std::clamp(xs, 0, std::max(f.W - sw, 0)), sys = std::clamp(ys, 0, std::max(f.H - sh, 0));
  if (40 < P && P < 60) {
    BlendRect(f.Screen, f.Picture, 5 * P - 200, sxs, sys, sw, sh);
    fromPicture = false;
  }
  HDC source = fromPicture ? f.PictureDC() : f.ScreenDC();
  ::StretchBlt(f.ScreenDC(), -2 * xs, -2 * ys, f.W + 4 * xs, f.H + 4 * ys, source, sxs, sys, sw, sh, SRCCOPY);
}

}  // namespace kivo::pseffect
