// Region builders and pixel routines shared by the transition styles.
#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "PSEffectInternal.h"

namespace kivo {

// ---- TComplexRegion ---------------------------------------------------------------------------
void TComplexRegion::Clear() {
  std::vector<std::uint8_t>().swap(data_);
  count_ = 0;
  capacity_ = 0;
  bounds_ = RECT{INT_MAX, INT_MAX, -INT_MAX, -INT_MAX};
}

void TComplexRegion::AddRect(int left, int top, int right, int bottom) {
  if (count_ == capacity_) {
    capacity_ += kGrowBy;
    data_.resize(sizeof(RGNDATAHEADER) + sizeof(RECT) * std::size_t(capacity_) + 4);
  }
  Rects()[count_++] = RECT{left, top, right, bottom};
  bounds_.left = std::min<LONG>(bounds_.left, left);
  bounds_.top = std::min<LONG>(bounds_.top, top);
  bounds_.right = std::max<LONG>(bounds_.right, right);
  bounds_.bottom = std::max<LONG>(bounds_.bottom, bottom);
}

namespace {
// Wine unions the rectangles of an ExtCreateRegion call one by one, each union going through
// the whole region so far: many rectangles cost the square of their number. Up to this many go
// in one call; more are made in parts of this size and united in pairs, level by level.
constexpr int kRectsPerCall = 64;

// The region of an RGNDATA buffer: its header is filled in here, the rectangles follow it.
TRgnOwner RegionOfData(std::uint8_t* data, int count, const RECT& bounds) {
  auto* header = reinterpret_cast<RGNDATAHEADER*>(data);
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = static_cast<DWORD>(count);
  header->nRgnSize = sizeof(RECT);
  header->rcBound = bounds;
  const DWORD bytes = static_cast<DWORD>(sizeof(RGNDATAHEADER) + sizeof(RECT) * std::size_t(count) + 4);
  TRgnOwner rgn(::ExtCreateRegion(nullptr, bytes, reinterpret_cast<const RGNDATA*>(data)));
  if (!rgn) throw EOutOfResources(L"Out of system resources");
  return rgn;
}
}  // namespace

TRgnOwner TComplexRegion::CreateRegion() {
  if (data_.empty()) return TRgnOwner();
  if (count_ <= kRectsPerCall) return RegionOfData(data_.data(), count_, bounds_);
  std::vector<TRgnOwner> parts;
  std::vector<std::uint8_t> part(sizeof(RGNDATAHEADER) + sizeof(RECT) * kRectsPerCall + 4);
  for (int first = 0; first < count_; first += kRectsPerCall) {
    const int n = std::min(kRectsPerCall, count_ - first);
    std::copy(Rects() + first, Rects() + first + n, reinterpret_cast<RECT*>(part.data() + sizeof(RGNDATAHEADER)));
    parts.push_back(RegionOfData(part.data(), n, bounds_));
  }
  while (parts.size() > 1) {
    std::vector<TRgnOwner> next;
    for (std::size_t i = 0; i < parts.size(); i += 2) {
      if (i + 1 < parts.size() && ::CombineRgn(parts[i].Get(), parts[i].Get(), parts[i + 1].Get(), RGN_OR) == ERROR)
        throw EOutOfResources(L"Out of system resources");
      next.push_back(std::move(parts[i]));
    }
    parts = std::move(next);
  }
  return std::move(parts.front());
}

// ---- Region builders --------------------------------------------------------------------------
TRgnOwner BlindsRegion(int XP, int YP, int W, int H, int HorzKind, int VertKind) {
  const int e = std::min(W, H) / 50 + 1;
  TComplexRegion r;
  // bands along y, filled along x: the first phase fills the even bands, the second the odd ones
  for (int y = XP > W ? e : 0; y < H + e; y += 2 * e) {
    if (XP <= W) {
      switch (HorzKind) {
        case 1:
        case 5: r.AddRect(W - XP, y, W, y + e); break;
        case 2:
        case 4: r.AddRect(0, y, XP, y + e); break;
        case 3:
          r.AddRect(0, y + e, XP, y + 2 * e);
          r.AddRect(W - XP, y, W, y + e);
          break;
      }
    } else {
      if (HorzKind == 1 || HorzKind == 4) r.AddRect(2 * W - XP, y, W, y + e);
      else if (HorzKind == 2 || HorzKind == 5) r.AddRect(0, y, XP - W, y + e);
      r.AddRect(0, y - e, W, y);
    }
  }
  for (int x = YP > H ? e : 0; x < W + e; x += 2 * e) {
    if (YP <= H) {
      switch (VertKind) {
        case 1:
        case 5: r.AddRect(x, H - YP, x + e, H); break;
        case 2:
        case 4: r.AddRect(x, 0, x + e, YP); break;
        case 3:
          r.AddRect(x, H - YP, x + e, H);
          r.AddRect(x + e, 0, x + 2 * e, YP);
          break;
      }
    } else {
      if (VertKind == 1 || VertKind == 4) r.AddRect(x, 2 * H - YP, x + e, H);
      else if (VertKind == 2 || VertKind == 5) r.AddRect(x, 0, x + e, YP - H);
      r.AddRect(x - e, 0, x, H);
    }
  }
  return r.CreateRegion();
}

TRgnOwner RandomBarsRegion(TRandomGenerator& random, int XP, int YP, int W, int H, int HorzKind, int VertKind) {
  const int e = std::min(W, H) / 200 + 1;
  const int rw = W % e, rh = H % e;
  const int cx = W / 2, cy = H / 2;
  TComplexRegion g;
  if (HorzKind != 0) {
    const int l = XP < W ? W / 10 : 0;
    for (int y = 0; y < H; y += e) {
      int r = random.Random(2 * l) - l + XP;
      const int b = y + e + rh;
      switch (HorzKind) {
        case 1: g.AddRect(W - r, y, W, b); break;
        case 2: g.AddRect(0, y, r, b); break;
        case 3:
          r /= 2;
          g.AddRect(cx - r, y, cx, b);
          g.AddRect(cx, y, cx + r, b);
          break;
        default:
          r /= 2;
          g.AddRect(W - r, y, W, b);
          g.AddRect(0, y, r, b);
          break;
      }
    }
  }
  if (VertKind != 0) {
    const int l = YP < H ? H / 10 : 0;
    for (int x = 0; x < W; x += e) {
      int r = random.Random(2 * l) - l + YP;
      const int b = x + e + rw;
      switch (VertKind) {
        case 1: g.AddRect(x, H - r, b, H); break;
        case 2: g.AddRect(x, 0, b, r); break;
        case 3:
          r /= 2;
          g.AddRect(x, cy - r, b, cy);
          g.AddRect(x, cy, b, cy + r);
          break;
        default:
          r /= 2;
          g.AddRect(x, H - r, b, H);
          g.AddRect(x, 0, b, r);
          break;
      }
    }
  }
  return g.CreateRegion();
}

TRgnOwner SpotsRegion(TRandomGenerator& random, int XP, int YP, int W, int H, int HorzKind, int VertKind) {
  TComplexRegion r;
  // a spot i spot sizes ahead of the solid edge shows with probability 2/i up to lim, 1/i beyond
  auto spotShown = [&random](int i, int lim) { return random.Random(i) <= (i <= lim ? 1 : 0); };
  if (HorzKind != 0) {
    const int g = XP < W ? W / 10 : 0;
    const int h = std::max(g / 20, 2);
    const int count = g / h, lim = 3 * g / (4 * h);
    for (int y = 0; y < H; y += h / 2) {
      if (HorzKind == 1) {
        r.AddRect(W - XP, y, W, y + h);
        for (int i = count; i >= 1; --i)
          if (spotShown(i, lim)) r.AddRect(W - XP - i * h, y, W - XP - i * h + h, y + h);
      } else {
        r.AddRect(0, y, XP, y + h);
        for (int i = count; i >= 1; --i)
          if (spotShown(i, lim)) r.AddRect(XP + i * h - h, y, XP + i * h, y + h);
      }
    }
  }
  if (VertKind != 0) {
    const int g = YP < H ? H / 10 : 0;
    const int h = std::max(g / 20, 2);
    const int count = g / h, lim = 3 * g / (4 * h);
    for (int x = 0; x < W; x += h / 2) {
      if (VertKind == 1) {
        r.AddRect(x, H - YP, x + h, H);
        for (int i = count; i >= 1; --i)
          if (spotShown(i, lim)) r.AddRect(x, H - YP - i * h, x + h, H - YP - i * h + h);
      } else {
        r.AddRect(x, 0, x + h, YP);
        for (int i = count; i >= 1; --i)
          if (spotShown(i, lim)) r.AddRect(x, YP + i * h - h, x + h, YP + i * h);
      }
    }
  }
  return r.CreateRegion();
}

namespace {
int RoundEven(long double v) { return static_cast<int>(std::llrint(v)); }  // default rounding: halves to even

TRgnOwner PolygonOf(const POINT* points, int count) {
  TRgnOwner rgn(::CreatePolygonRgn(points, count, WINDING));
  if (!rgn) throw EOutOfResources(L"Out of system resources");
  return rgn;
}
}  // namespace

TRgnOwner SectorRegion(int CX, int CY, int R, long double StartAngle, long double EndAngle, int Count) {
  if (Count < 1) return TRgnOwner();
  std::vector<POINT> points(std::size_t(Count) + 1);
  points[0] = POINT{CX, CY};
  const long double step = (EndAngle - StartAngle) / Count;
  for (int i = 1; i <= Count; ++i) {
    const long double a = StartAngle + (i - 1) * step;
    points[i] = POINT{CX + RoundEven(R * std::cos(a)), CY + RoundEven(R * std::sin(a))};
  }
  return PolygonOf(points.data(), Count + 1);
}

TRgnOwner PolygonRegion(const int* coords, int high) {
  const int n = (high + 1) / 2;
  std::vector<POINT> points(static_cast<std::size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) points[i] = POINT{coords[2 * i], coords[2 * i + 1]};
  return PolygonOf(points.data(), n);
}
TRgnOwner PolygonRegion(std::initializer_list<int> coords) {
  return PolygonRegion(coords.begin(), static_cast<int>(coords.size()) - 1);
}

void RotatePoints(POINT* points, int high, int CX, int CY, long double angle) {
  const long double c = std::cos(angle), s = std::sin(angle);
  for (int i = 0; i <= high; ++i) {
    const long double dx = points[i].x - CX, dy = points[i].y - CY;
    points[i] = POINT{CX + RoundEven(dx * c - dy * s), CY + RoundEven(dx * s + dy * c)};
  }
}

// ---- Pixel routines ---------------------------------------------------------------------------
using pseffect::BlendByte;
using pseffect::TPixels32;

namespace {
inline std::uint8_t AddClamped(std::uint8_t v, int d) { return static_cast<std::uint8_t>(std::clamp(v + d, 0, 255)); }
}  // namespace

namespace pseffect {
TPixels32::TPixels32(TBitmap* b) : W(b->Width()), H(b->Height()) {
  if (b->BitCount() != 32) throw EInvalidGraphicOperation(L"A 32-bit bitmap is needed");
  if (!b->Empty()) Bits = static_cast<std::uint8_t*>(b->ScanLine(H - 1));  // the first row in memory
}
}  // namespace pseffect

void ColumnRamp(TBitmap* bitmap, std::uint8_t depth, int start, int count) {
  if (count < 2 || depth == 0) return;
  const int half = count / 2;
  std::vector<int> offsets(static_cast<std::size_t>(count));
  int v = -depth;
  if (depth > half) {
    int step = depth / half;
    for (int i = 1; i <= count; ++i) {
      offsets[i - 1] = v;
      v += step;
      if (i == half) step = -step;
    }
  } else {
    const int period = half / depth;
    int next = period;
    for (int i = 1; i <= count; ++i) {
      offsets[i - 1] = v;
      if (i == next) {
        next += period;
        v += i < half ? 1 : -1;
      }
    }
  }
  TPixels32 px(bitmap);
  if (!px.Bits) return;
  const int first = std::max(start, 0), last = std::min(start + count, px.W);
  for (int y = 0; y < px.H && first < last; ++y) {
    std::uint8_t* row = px.Row(y);
    for (int x = first; x < last; ++x)
      for (int c = 0; c < 3; ++c) row[4 * x + c] = AddClamped(row[4 * x + c], offsets[x - start]);
  }
}

void RowRamp(TBitmap* bitmap, std::uint8_t depth, int start, int count) {
  if (count < 2 || depth == 0) return;
  const int half = count / 2;
  int per, d;
  if (half < depth) {
    per = 1;
    d = depth / half;
  } else {
    per = half / depth;
    d = 1;
  }
  TPixels32 px(bitmap);
  if (!px.Bits) return;
  int f = -depth, next = per;
  for (int i = 1; i <= count; ++i) {
    const int y = start + count - i;
    if (y >= 0 && y < px.H) {
      std::uint8_t* row = px.Row(y);
      for (int x = 0; x < px.W; ++x)
        for (int c = 0; c < 3; ++c) row[4 * x + c] = AddClamped(row[4 * x + c], f);
    }
    if (i == next) {
      f += i < half ? d : -d;
      next += per;
    }
  }
}

void BlendRect(TBitmap* screen, TBitmap* picture, int percent, int left, int top, int width, int height) {
  TPixels32 s(screen), p(picture);
  if (!s.Bits || !p.Bits) return;
  const int a = ::MulDiv(256, percent, 100);
  const int x0 = std::max(left, 0), x1 = std::min({left + width, s.W, p.W});
  const int y0 = std::max(top, 0), y1 = std::min({top + height, s.H, p.H});
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* sr = s.Row(y);
    const std::uint8_t* pr = p.Row(y);
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) sr[4 * x + c] = BlendByte(sr[4 * x + c], pr[4 * x + c], a);
  }
}

void PageTurn(TBitmap* screen, TBitmap* picture, int OX, int OY, long double angle) {
  TPixels32 s(screen), p(picture);
  if (!s.Bits || !p.Bits) return;
  const int W = std::min(s.W, p.W), H = std::min(s.H, p.H);
  const std::int64_t sn = static_cast<std::int64_t>(std::trunc(std::sin(-angle) * 65536));
  const std::int64_t cs = static_cast<std::int64_t>(std::trunc(std::cos(-angle) * 65536));
  auto* dst = reinterpret_cast<std::uint32_t*>(s.Bits);
  const auto* src = reinterpret_cast<const std::uint32_t*>(p.Bits);
  // v counts rows from the bottom, the first row in memory. The extra 1 in dx and dy makes up
  // for the products being cut down (cs stays below 65536): near angle 0 every pixel maps onto
  // itself instead of one pixel off.
  for (int v = 0; v < H; ++v) {
    const std::int64_t dy = v + 1 - OY;
    for (int u = 0; u < W; ++u) {
      const std::int64_t dx = u + 1 - OX;
      const int sx = OX + static_cast<std::int16_t>((dx * cs - dy * sn) >> 16);
      const int sy = OY + static_cast<std::int16_t>((dx * sn + dy * cs) >> 16);
      if (sx >= 0 && sx < W && sy >= 0 && sy < H) dst[std::size_t(v) * s.W + u] = src[std::size_t(sy) * p.W + sx];
    }
  }
}

}  // namespace kivo
