// Pictures for the transition tests whose pixels tell where they came from: the old picture and
// the new one, column and row.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Pictures.h"

namespace kivo::test {

// Red byte of a pixel of the starting content and of the new picture; blue and green carry the
// column and the row (pictures up to 256 x 256).
constexpr std::uint8_t kOldFlag = 0x00, kNewFlag = 0xFF;

inline std::unique_ptr<TBitmap> MakeBitmap32(int w, int h) { return std::make_unique<TBitmap>(w, h, TPixelFormat::pf32bit); }

// Pixel (x, y) of a 32-bit bitmap, y counted from the top: 0xAARRGGBB as stored.
inline std::uint32_t& PixelAt(TBitmap* b, int x, int y) {
  return static_cast<std::uint32_t*>(b->ScanLine(y))[x];
}

inline std::uint32_t Coded(bool isNew, int x, int y) {
  return (std::uint32_t(isNew ? kNewFlag : kOldFlag) << 16) | (std::uint32_t(y) << 8) | std::uint32_t(x);
}

inline std::unique_ptr<TBitmap> MakeCoded(int w, int h, bool isNew) {
  auto b = MakeBitmap32(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<std::uint32_t*>(b->ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = Coded(isNew, x, y);
  }
  return b;
}

inline std::unique_ptr<TBitmap> MakeFilled(int w, int h, std::uint32_t value) {
  auto b = MakeBitmap32(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<std::uint32_t*>(b->ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = value;
  }
  return b;
}

inline std::unique_ptr<TBitmap> CopyOf(TBitmap* b) {
  auto c = std::make_unique<TBitmap>();
  c->Assign(b);
  return c;
}

// Where a coded pixel came from. A roll's shading lowers all three colour bytes of a pixel of the
// new picture by the same amount, which the red byte tells: the column and row are read back
// through it (-1 when the shading cut them off at 0).
struct TSource {
  bool IsNew;
  int X, Y;
  int Shade;
};
inline TSource Decode(std::uint32_t px) {
  const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
  TSource s;
  s.IsNew = r != kOldFlag;
  s.Shade = s.IsNew ? kNewFlag - r : 0;
  s.X = b == 0 && s.Shade > 0 ? -1 : b + s.Shade;
  s.Y = g == 0 && s.Shade > 0 ? -1 : g + s.Shade;
  return s;
}

inline std::string Where(int style, int w, int h, int progress, int x, int y) {
  return "style " + std::to_string(style) + " on " + std::to_string(w) + "x" + std::to_string(h) + " at " +
         std::to_string(progress) + ", pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

}  // namespace kivo::test
