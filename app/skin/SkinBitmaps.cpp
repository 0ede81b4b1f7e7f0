#include "SkinBitmaps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace kivo {

namespace {

// Bytes per pixel of a bitmap the geometric routines work on: 3 or 4; other depths become 24-bit.
int DirectPixelBytes(TBitmap* bitmap) {
  if (bitmap->BitCount() == 32) return 4;
  if (bitmap->PixelFormat() != TPixelFormat::pf24bit) bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  return 3;
}

// A new bitmap of the same depth for the transformed pixels: fill(y, new row y, source rows from
// the top, bytes per pixel), then put in place.
template <class Fill>
void Transform(TBitmap* bitmap, int newWidth, int newHeight, Fill fill) {
  if (bitmap->Empty()) return;
  const int bpp = DirectPixelBytes(bitmap);
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(bitmap->Height()));
  for (int y = 0; y < bitmap->Height(); ++y) rows[std::size_t(y)] = static_cast<const std::uint8_t*>(bitmap->ScanLine(y));
  TBitmap result(newWidth, newHeight, bitmap->PixelFormat());
  for (int y = 0; y < newHeight; ++y) {
    auto* dst = static_cast<std::uint8_t*>(result.ScanLine(y));
    fill(y, dst, rows, bpp);
  }
  // the picture changes, its transparency settings stay
  const bool transparent = bitmap->Transparent();
  const TColor key = bitmap->TransparentMode() == TTransparentMode::tmFixed ? bitmap->TransparentColor() : clDefault;
  bitmap->Assign(&result);
  bitmap->SetTransparent(transparent);
  bitmap->SetTransparentColor(key);
}

bool IsSystemColor(TColor c) { return (static_cast<std::uint32_t>(c) & 0x80000000u) != 0; }
COLORREF Resolve(TColor c) {
  return IsSystemColor(c) ? ::GetSysColor(static_cast<int>(c & 0xFF)) : static_cast<COLORREF>(c);
}

struct TGradientCache {
  std::array<std::vector<COLORREF>, 16> slots;
  int next = 0;
};
TGradientCache& Gradients() {
  static TGradientCache cache;
  return cache;
}

}  // namespace

void ReplaceMagenta(TBitmap* bitmap, TColor color) {
  if (bitmap->PixelFormat() != TPixelFormat::pf24bit) bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  if (bitmap->Empty()) return;
  const std::uint8_t r = static_cast<std::uint8_t>(color & 0xFF);
  const std::uint8_t g = static_cast<std::uint8_t>((color >> 8) & 0xFF);
  const std::uint8_t b = static_cast<std::uint8_t>((color >> 16) & 0xFF);
  for (int y = 0; y < bitmap->Height(); ++y) {
    auto* p = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < bitmap->Width(); ++x, p += 3) {
      if (p[0] == 255 && p[1] == 0 && p[2] == 255) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
      }
    }
  }
  bitmap->SetModified(true);
}

void MirrorBitmap(TBitmap* bitmap) {
  const int w = bitmap->Width(), h = bitmap->Height();
  Transform(bitmap, w, h, [&](int y, std::uint8_t* dst, const auto& rows, int bpp) {
    const std::uint8_t* src = rows[std::size_t(y)];
    for (int x = 0; x < w; ++x) std::memcpy(dst + x * bpp, src + (w - 1 - x) * bpp, bpp);
  });
}

void FlipBitmap(TBitmap* bitmap) {
  const int w = bitmap->Width(), h = bitmap->Height();
  Transform(bitmap, w, h, [&](int y, std::uint8_t* dst, const auto& rows, int bpp) {
    std::memcpy(dst, rows[std::size_t(h - 1 - y)], std::size_t(w) * bpp);
  });
}

void RotateBitmapLeft(TBitmap* bitmap) {
  const int w = bitmap->Width(), h = bitmap->Height();
  // new (x, y) is old (w - 1 - y, x)
  Transform(bitmap, h, w, [&](int y, std::uint8_t* dst, const auto& rows, int bpp) {
    for (int x = 0; x < h; ++x) {
      std::memcpy(dst + x * bpp, rows[std::size_t(x)] + (w - 1 - y) * bpp, bpp);
    }
  });
}

void RotateBitmapRight(TBitmap* bitmap) {
  const int w = bitmap->Width(), h = bitmap->Height();
  // new (x, y) is old (y, h - 1 - x)
  Transform(bitmap, h, w, [&](int y, std::uint8_t* dst, const auto& rows, int bpp) {
    for (int x = 0; x < h; ++x) {
      std::memcpy(dst + x * bpp, rows[std::size_t(h - 1 - x)] + y * bpp, bpp);
    }
  });
}

TColor BlendColor(TColor color1, TColor color2, int weight) {
  const COLORREF c1 = Resolve(color1), c2 = Resolve(color2);
  const int d = weight < 100 ? 100 : 1000;
  auto channel = [&](int shift) {
    const int a = static_cast<int>((c1 >> shift) & 0xFF), b = static_cast<int>((c2 >> shift) & 0xFF);
    return (weight * a + (d - weight) * b + d / 2) / d;
  };
  return static_cast<TColor>(RGB(channel(0), channel(8), channel(16)));
}

int ColorSaturation(TColor color) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  if (r < 160 && g < 160 && b < 160) return 200;
  const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  if (mx == 0) return 0;
  const double s = double(mx - mn) / double(mx);
  return static_cast<int>(std::nearbyint(s * 255.0));  // ties to even
}

const std::vector<COLORREF>& MakeGradient(int count, COLORREF start, COLORREF end) {
  TGradientCache& cache = Gradients();
  std::vector<COLORREF>& slot = cache.slots[static_cast<std::size_t>(cache.next)];
  cache.next = (cache.next + 1) % 16;
  const int dr = int(GetRValue(end)) - int(GetRValue(start));
  const int dg = int(GetGValue(end)) - int(GetGValue(start));
  const int db = int(GetBValue(end)) - int(GetBValue(start));
  slot.assign(static_cast<std::size_t>(std::max(count, 0)), start);
  if (count == 1) {
    slot[0] = start + static_cast<COLORREF>(dr / 2 + (dg / 2) * 256 + (db / 2) * 65536);
  } else if (count > 1) {
    const int d = count - 1, h = d / 2;
    for (int i = 0; i < count; ++i)
      slot[static_cast<std::size_t>(i)] =
          start + static_cast<COLORREF>((h + i * dr) / d + ((h + i * dg) / d) * 256 + ((h + i * db) / d) * 65536);
  }
  return slot;
}

const std::vector<COLORREF>* FindGradient(int count, COLORREF start, COLORREF end) {
  const TGradientCache& cache = Gradients();
  for (int i = 15; i >= 0; --i) {
    const auto& s = cache.slots[static_cast<std::size_t>(i)];
    if (count > 0 && static_cast<int>(s.size()) == count && s.front() == start && s.back() == end) return &s;
  }
  return nullptr;
}

const std::vector<COLORREF>& GetGradient(int count, COLORREF start, COLORREF end) {
  if (const auto* found = FindGradient(count, start, end)) return *found;
  return MakeGradient(count, start, end);
}

int GradientFill(HDC dc, const RECT& r, TColor start, bool vertical, TColor end) {
  if (!::RectVisible(dc, &r)) return 0;
  const COLORREF from = ColorToRGB(start), to = ColorToRGB(end);
  const int span = vertical ? r.bottom - r.top : r.right - r.left;
  if (span <= 0) return 1;
  RECT clip{};
  ::GetClipBox(dc, &clip);
  int first = 0, last = span - 1;
  if (vertical) {
    if (clip.top > r.top) first = clip.top - r.top;
    if (r.bottom > clip.bottom) last -= r.bottom - clip.bottom;
  } else {
    if (clip.left > r.left) first = clip.left - r.left;
    if (r.right > clip.right) last -= r.right - clip.right;
  }
  const std::vector<COLORREF>& colors = GetGradient(span, from, to);
  for (int i = first; i <= last && i < span; ++i) {
    TBrushOwner brush(::CreateSolidBrush(colors[static_cast<std::size_t>(i)]));
    const RECT strip = vertical ? RECT{r.left, r.top + i, r.right, r.top + i + 1}
                                : RECT{r.left + i, r.top, r.left + i + 1, r.bottom};
    ::FillRect(dc, &strip, brush.Get());
  }
  return 1;
}

}  // namespace kivo
