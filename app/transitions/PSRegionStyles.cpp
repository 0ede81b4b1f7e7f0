// The transition styles that reveal the new picture through clip regions, and the styles that
// mix the two pictures pixel by pixel.
#include <algorithm>
#include <cmath>
#include <vector>

#include "PSEffectInternal.h"

namespace kivo::pseffect {

namespace {
constexpr long double kPi = 3.141592653589793238462643383279502884L;

TRgnOwner Checked(HRGN rgn) {
  if (!rgn) throw EOutOfResources(L"Out of system resources");
  return TRgnOwner(rgn);
}

// Sets the generator's seed to the picture's handle value for the scope and gives the old seed
// back at its end, so that every frame of a transition draws the same choices.
class TSeededRandom {
 public:
  explicit TSeededRandom(const TStyleFrame& f) : random_(f.Random), kept_(f.Random.Seed) { random_.Seed = HandleValue(f); }
  ~TSeededRandom() { random_.Seed = kept_; }
  TSeededRandom(const TSeededRandom&) = delete;
  TSeededRandom& operator=(const TSeededRandom&) = delete;

 private:
  TRandomGenerator& random_;
  std::uint32_t kept_;
};
}  // namespace

void RevealThrough(const TStyleFrame& f, TRgnOwner region) {
  if (!region) return;
  HDC dc = f.ScreenDC();
  struct TClipReset {
    HDC dc;
    ~TClipReset() { ::SelectClipRgn(dc, nullptr); }
  } reset{dc};
  ::SelectClipRgn(dc, region.Get());
  Copy(f, 0, 0, f.W, f.H, 0, 0);
}

TRgnOwner RoundRectRgn(int left, int top, int right, int bottom, int cw, int ch) {
  return Checked(::CreateRoundRectRgn(left, top, right, bottom, cw, ch));
}
TRgnOwner RectRgn(int left, int top, int right, int bottom) {
  return Checked(::CreateRectRgn(left, top, right, bottom));
}
TRgnOwner Combine(TRgnOwner a, TRgnOwner b, int mode) {
  if (!a) return b;
  if (b && ::CombineRgn(a.Get(), a.Get(), b.Get(), mode) == ERROR) throw EOutOfResources(L"Out of system resources");
  return a;
}

// ---- Rectangle sets ---------------------------------------------------------------------------
void RandomCells(const TStyleFrame& f) {
  TComplexRegion r;
  {
    TSeededRandom seeded(f);
    const int c = std::min(f.W, f.H) / 50 * 2 + 2;
    for (int x = 0; x < f.W; x += c)
      for (int y = 0; y < f.H; y += c)
        if (f.Random.Random(100) < f.Progress) r.AddRect(x, y, x + c, y + c);
  }
  RevealThrough(f, r.CreateRegion());
}

void Slats(const TStyleFrame& f, bool vertical) {
  const int side = vertical ? f.W : f.H, other = vertical ? f.H : f.W;
  const int n = side / 40 + 1, a = ::MulDiv(n, f.Progress, 100);
  TComplexRegion r;
  for (int s = 0; s < side; s += 2 * (side / 40) + 2) {
    if (vertical) r.AddRect(s + n - a, 0, s + n + a, other);
    else r.AddRect(0, s + n - a, other, s + n + a);
  }
  RevealThrough(f, r.CreateRegion());
}

namespace {
// Slats whose period is the progress extent itself: from the start edge (s, s + a) or back from
// the far edge (b - a, b).
void AddSpreadSlats(TComplexRegion& r, const TStyleFrame& f, bool vertical, bool fromEnd, int period, int a) {
  const int side = vertical ? f.W : f.H, other = vertical ? f.H : f.W;
  auto add = [&](int from, int to) {
    if (vertical) r.AddRect(from, 0, to, other);
    else r.AddRect(0, from, other, to);
  };
  if (fromEnd) {
    for (int b = side; b > 0; b -= period) add(b - a, b);
  } else {
    for (int s = 0; s < side; s += period) add(s, s + a);
  }
}
}  // namespace

void SpreadSlats(const TStyleFrame& f, bool vertical, bool fromEnd) {
  const int period = vertical ? f.X : f.Y;
  if (period == 0) return;
  TComplexRegion r;
  AddSpreadSlats(r, f, vertical, fromEnd, period, ::MulDiv(period, f.Progress, 100));
  RevealThrough(f, r.CreateRegion());
}

void Squares(const TStyleFrame& f) {
  const int n = std::min(f.W, f.H) / 10 + 1, a = ::MulDiv(n, f.Progress, 100);
  TComplexRegion r;
  for (int x = 0; x < f.W; x += 2 * n)
    for (int y = 0; y < f.H; y += 2 * n) r.AddRect(x + n - a, y + n - a, x + n + a, y + n + a);
  RevealThrough(f, r.CreateRegion());
}

void CrossSlats(const TStyleFrame& f, bool vertical, bool fromEnd) {
  // vertical: columns spreading along x over bands across y (146, 147); otherwise the reverse
  const int period = vertical ? f.X : f.Y;
  const int n = vertical ? f.H / 20 : f.W / 20;
  if (period == 0 || n == 0) return;
  const int a = ::MulDiv(n, f.Progress, 100), across = vertical ? f.H : f.W;
  TComplexRegion r;
  for (int b = -n; b < across; b += 3 * n) {
    if (vertical) r.AddRect(0, b - a, f.W, b + a);
    else r.AddRect(b - a, 0, b + a, f.H);
  }
  AddSpreadSlats(r, f, vertical, fromEnd, period, ::MulDiv(period, f.Progress, 100));
  RevealThrough(f, r.CreateRegion());
}

// ---- Shapes -----------------------------------------------------------------------------------
void Circles(const TStyleFrame& f) {
  const int a = std::min(f.W, f.H) / 10 + 1, b = ::MulDiv(3 * a, f.Progress, 200);
  TRgnOwner r;
  for (int x = 0; x < f.W; x += 2 * a)
    for (int y = 0; y < f.H; y += 2 * a)
      r = Combine(std::move(r), Checked(::CreateEllipticRgn(x + a - b, y + a - b, x + a + b, y + a + b)), RGN_OR);
  RevealThrough(f, std::move(r));
}

void TriangleGrid(const TStyleFrame& f) {
  const int cw = f.W / 10 + 1, ch = f.H / 10 + 1;
  const int dx = ::MulDiv(cw, f.Progress, 50), dy = ::MulDiv(ch, f.Progress, 50);
  TRgnOwner r;
  for (int x = cw; x - cw < f.W; x += 2 * cw)
    for (int y = ch; y - ch < f.H + ch; y += 2 * ch)
      r = Combine(std::move(r), PolygonRegion({x - dx, y - dy, x, y + dy, x + dx, y - dy}), RGN_OR);
  RevealThrough(f, std::move(r));
}

void DiamondGrid(const TStyleFrame& f) {
  const int c = std::min(f.W, f.H) / 10 + 1, b = ::MulDiv(c, f.Progress, 50);
  TRgnOwner r;
  for (int x = c; x - c < f.W; x += 2 * c)
    for (int y = c; y - c < f.H; y += 2 * c)
      r = Combine(std::move(r), PolygonRegion({x - b, y, x, y - b, x + b, y, x, y + b}), RGN_OR);
  RevealThrough(f, std::move(r));
}

void Meander(const TStyleFrame& f, bool vertical) {
  // worked out for the horizontal band; the vertical one swaps the axes
  const int across = vertical ? f.W : f.H, along = vertical ? f.H : f.W;
  const int centre = across / 2, extent = vertical ? f.X : f.Y;
  const int n = across / 10, period = along / 10;
  const int m = ::MulDiv(n, f.Progress, 100) + extent / 2;
  const int a0 = centre + n - m, a1 = centre - n - m, a2 = centre + n + m, a3 = centre - n + m;
  POINT points[24];
  for (int k = 0; k <= 11; ++k) {
    const int upper = k % 2 == 0 ? a0 : a1, lower = k % 2 == 0 ? a2 : a3;
    points[k] = vertical ? POINT{upper, k * period} : POINT{k * period, upper};
    points[23 - k] = vertical ? POINT{lower, k * period} : POINT{k * period, lower};
  }
  RevealThrough(f, Checked(::CreatePolygonRgn(points, 24, WINDING)));
}

void SectorWipe(const TStyleFrame& f, bool clockwise) {
  const int cx = f.W / 2, cy = f.H / 2;
  const int r = static_cast<int>(std::ceil(std::hypot(static_cast<double>(cx), static_cast<double>(cy))));
  const long double sweep = f.Progress * kPi / 50;
  RevealThrough(f, SectorRegion(cx, cy, r, -kPi / 2, (clockwise ? sweep : -sweep) - kPi / 2, f.Progress));
}

void RotatingShape(const TStyleFrame& f, int style) {
  const int cx = f.W / 2, cy = f.H / 2, X = f.X, Y = f.Y;
  long double angle = f.Progress * kPi / 50;
  if (HandleValue(f) & 1) angle = -angle;
  std::vector<POINT> points;
  POINT centre{cx, cy};
  if (style == 151) {
    points = {{cx - 2 * X, cy}, {cx - X / 2, cy - Y / 2}, {cx, cy - 2 * Y}, {cx + X / 2, cy - Y / 2},
              {cx + 2 * X, cy}, {cx + X / 2, cy + Y / 2}, {cx, cy + 2 * Y}, {cx - X / 2, cy + Y / 2}};
  } else {
    const int x2 = X / 2, y2 = Y / 2;
    points = {{cx - x2, cy - y2}, {cx + x2, cy - y2}, {cx + x2, cy + y2}, {cx - x2, cy + y2}};
    if (style == 152) centre = POINT{X, Y};
  }
  RotatePoints(points.data(), static_cast<int>(points.size()) - 1, centre.x, centre.y, angle);
  RevealThrough(f, Checked(::CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING)));
}

void CornerTriangles(const TStyleFrame& f, int x2, int y2, bool outside) {
  const int W = f.W, H = f.H, cx = W / 2, cy = H / 2;
  TRgnOwner r = outside ? RectRgn(0, 0, W, H) : TRgnOwner();
  const int mode = outside ? RGN_XOR : RGN_OR;
  r = Combine(std::move(r), PolygonRegion({0, cy - y2, x2, cy, 0, cy + y2}), mode);
  r = Combine(std::move(r), PolygonRegion({W, cy - y2, W - x2, cy, W, cy + y2}), mode);
  r = Combine(std::move(r), PolygonRegion({cx - x2, 0, cx, y2, cx + x2, 0}), mode);
  r = Combine(std::move(r), PolygonRegion({cx - x2, H, cx, H - y2, cx + x2, H}), mode);
  RevealThrough(f, std::move(r));
}

// ---- Pixel styles -----------------------------------------------------------------------------
namespace {
void BlendChannel(const TStyleFrame& f, int channel, int a, int copyMask) {
  TPixels32 s(f.Screen), p(f.Picture);
  if (!s.Bits || !p.Bits) return;
  const std::size_t n = std::size_t(f.W) * std::size_t(f.H);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t* sp = s.Bits + 4 * i;
    const std::uint8_t* pp = p.Bits + 4 * i;
    for (int c = 0; c < 3; ++c) {
      if (copyMask & (1 << c)) sp[c] = pp[c];
      else if (channel < 0 || c == channel) sp[c] = BlendByte(sp[c], pp[c], a);
    }
  }
}
}  // namespace

void Fade(const TStyleFrame& f) { BlendChannel(f, -1, ::MulDiv(256, f.Progress, 100), 0); }

void Noise(const TStyleFrame& f) {
  TPixels32 s(f.Screen), p(f.Picture);
  if (!s.Bits || !p.Bits) return;
  TSeededRandom seeded(f);
  const std::size_t n = std::size_t(f.W) * std::size_t(f.H);
  std::uint32_t* dst = s.Pixels();
  const std::uint32_t* src = p.Pixels();
  for (std::size_t i = 0; i < n; ++i)
    if (f.Random.Random(100) < f.Progress) dst[i] = src[i];
}

void RandomRows(const TStyleFrame& f) {
  TPixels32 s(f.Screen), p(f.Picture);
  if (!s.Bits || !p.Bits) return;
  TSeededRandom seeded(f);
  for (int row = 0; row < f.H; ++row)  // memory order: the bottom row first
    if (f.Random.Random(100) < f.Progress)
      std::copy_n(p.Pixels() + std::size_t(row) * f.W, f.W, s.Pixels() + std::size_t(row) * f.W);
}

void RandomColumns(const TStyleFrame& f) {
  TPixels32 s(f.Screen), p(f.Picture);
  if (!s.Bits || !p.Bits) return;
  TSeededRandom seeded(f);
  for (int x = 0; x < f.W; ++x)
    if (f.Random.Random(100) < f.Progress)
      for (int row = 0; row < f.H; ++row) s.Pixels()[std::size_t(row) * f.W + x] = p.Pixels()[std::size_t(row) * f.W + x];
}

void ChromaChange(const TStyleFrame& f) {
  int c1, c2;
  {
    TSeededRandom seeded(f);
    c1 = f.Random.Random(3);
    do c2 = f.Random.Random(3);
    while (c2 == c1);
  }
  const int c3 = ~(c1 | c2) & 3;
  const int P = f.Progress;
  if (P <= 33) BlendChannel(f, c1, ::MulDiv(256, P, 33), 0);
  else if (P <= 66) BlendChannel(f, c2, ::MulDiv(256, P - 33, 33), 1 << c1);
  else BlendChannel(f, c3, ::MulDiv(256, P - 66, 33), (1 << c1) | (1 << c2));
}

}  // namespace kivo::pseffect
