// The readable test picture: painted, passed through what frames meet on their way (scaling, flips,
// YUY2, letterboxing, blending, tearing), and read back.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <vector>

#include "PatternFrame.h"

using namespace kivo::test;

namespace {

// A 24-bit bottom-up picture.
struct TPicture {
  int Width = 0, Height = 0;
  std::vector<BYTE> Bits;
  TPicture(int w, int h) : Width(w), Height(h), Bits(Stride() * size_t(h)) {}
  size_t Stride() const { return (size_t(Width) * 3 + 3) & ~size_t(3); }
  BYTE* Pixel(int x, int y) { return Bits.data() + size_t(Height - 1 - y) * Stride() + size_t(x) * 3; }
  const BYTE* Pixel(int x, int y) const { return Bits.data() + size_t(Height - 1 - y) * Stride() + size_t(x) * 3; }
};

TPicture Painted(int w, int h, int camera, uint32_t counter) {
  TPicture p(w, h);
  PaintPatternRgb24(p.Bits.data(), w, h, camera, counter);
  return p;
}

// Nearest-neighbour copy of `src` into the rectangle (x0, y0, w, h) of a black picture; a negative
// size mirrors that axis.
TPicture Placed(const TPicture& src, int outW, int outH, int x0, int y0, int w, int h) {
  TPicture out(outW, outH);
  for (int y = 0; y < std::abs(h); ++y)
    for (int x = 0; x < std::abs(w); ++x) {
      const int sx = (w > 0 ? x : std::abs(w) - 1 - x) * src.Width / std::abs(w);
      const int sy = (h > 0 ? y : std::abs(h) - 1 - y) * src.Height / std::abs(h);
      std::memcpy(out.Pixel(x0 + x, y0 + y), src.Pixel(sx, sy), 3);
    }
  return out;
}

TPicture ThroughYuy2(int w, int h, int camera, uint32_t counter) {
  std::vector<BYTE> yuy2(size_t(w) * h * 2);
  PaintPatternYuy2(yuy2.data(), w, h, camera, counter);
  TPicture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; x += 2) {
      const BYTE* s = &yuy2[(size_t(y) * w + x) * 2];
      BYTE* d = p.Pixel(x, y);
      YuvToRgb(s[0], s[1], s[3], d[2], d[1], d[0]);
      YuvToRgb(s[2], s[1], s[3], d[5], d[4], d[3]);
    }
  return p;
}

TPicture ByGdiStretch(const TPicture& src, int w, int h) {
  TPicture out(w, h);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = src.Width;
  bi.bmiHeader.biHeight = src.Height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(dc, bmp);
  ::SetStretchBltMode(dc, COLORONCOLOR);
  ::StretchDIBits(dc, 0, 0, w, h, 0, 0, src.Width, src.Height, src.Bits.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
  ::SelectObject(dc, old);
  BITMAPINFO out24 = bi;
  out24.bmiHeader.biWidth = w;
  out24.bmiHeader.biHeight = h;
  ::GetDIBits(dc, bmp, 0, UINT(h), out.Bits.data(), &out24, DIB_RGB_COLORS);
  ::DeleteObject(bmp);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return out;
}

struct TCase {
  const char* Name;
  std::function<TPicture()> Make;
  bool Found;
  int Camera;
  uint32_t Counter;
  double ScaleX, ScaleY, OffsetX, OffsetY;
  bool Mixed;
};

}  // namespace

TEST(PatternFrame, ReadsBackWhatFramesMeetOnTheirWay) {
  const TCase cases[] = {
      {"as painted", [] { return Painted(640, 480, 3, 123456); }, true, 3, 123456, 1, 1, 0, 0, false},
      {"counter past 16 bits", [] { return Painted(320, 240, 255, 0xABCDEF); }, true, 255, 0xABCDEF, 1, 1, 0, 0, false},
      {"halved", [] { return Placed(Painted(640, 480, 1, 7), 320, 240, 0, 0, 320, 240); }, true, 1, 7, 0.5, 0.5, 0, 0,
       false},
      {"halved by GDI", [] { return ByGdiStretch(Painted(640, 480, 2, 8), 320, 240); }, true, 2, 8, 0.5, 0.5, 0, 0,
       false},
      {"doubled", [] { return Placed(Painted(160, 128, 4, 9), 320, 256, 0, 0, 320, 256); }, true, 4, 9, 2, 2, 0, 0,
       false},
      {"upside down", [] { return Placed(Painted(320, 240, 1, 10), 320, 240, 0, 0, 320, -240); }, true, 1, 10, 1, -1, 0,
       240, false},
      {"mirrored", [] { return Placed(Painted(320, 240, 1, 11), 320, 240, 0, 0, -320, 240); }, true, 1, 11, -1, 1, 320,
       0, false},
      {"through YUY2", [] { return ThroughYuy2(640, 480, 5, 12); }, true, 5, 12, 1, 1, 0, 0, false},
      {"letterboxed", [] { return Placed(Painted(640, 480, 6, 13), 320, 240, 40, 30, 240, 180); }, true, 6, 13, 0.375,
       0.375, 40, 30, false},
      {"blended with the next frame",
       [] {
         TPicture a = Painted(320, 240, 1, 20), b = Painted(320, 240, 1, 21);
         for (size_t i = 0; i < a.Bits.size(); ++i) a.Bits[i] = BYTE((a.Bits[i] + b.Bits[i]) / 2);
         return a;
       },
       false, -1, 0, 0, 0, 0, 0, true},
      {"torn",
       [] {
         TPicture a = Painted(320, 240, 1, 30), b = Painted(320, 240, 1, 31);
         std::copy(b.Bits.begin(), b.Bits.begin() + b.Bits.size() / 3, a.Bits.begin());  // its bottom third
         return a;
       },
       true, 1, 30, 1, 1, 0, 0, true},
      {"black", [] { return TPicture(320, 240); }, false, -1, 0, 0, 0, 0, 0, false},
      {"noise",
       [] {
         TPicture p(320, 240);
         uint32_t s = 12345;
         for (auto& b : p.Bits) b = BYTE((s = s * 1103515245 + 12345) >> 16);
         return p;
       },
       false, -1, 0, 0, 0, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPicture p = c.Make();
    const TPatternReading r = ReadPattern(p.Bits.data(), p.Width, p.Height);
    ASSERT_EQ(r.Found, c.Found) << r.Describe();
    EXPECT_EQ(r.Mixed(), c.Mixed) << r.Describe();
    if (!c.Found) continue;
    EXPECT_EQ(r.Camera, c.Camera);
    EXPECT_EQ(r.Counter, c.Counter);
    EXPECT_NEAR(r.ScaleX, c.ScaleX, 0.01) << r.Describe();
    EXPECT_NEAR(r.ScaleY, c.ScaleY, 0.01) << r.Describe();
    EXPECT_NEAR(r.OffsetX, c.OffsetX, 1.0) << r.Describe();
    EXPECT_NEAR(r.OffsetY, c.OffsetY, 1.0) << r.Describe();
  }
}

TEST(PatternFrame, TellsWhereAPixelCameFrom) {
  const TPicture flipped = Placed(Painted(640, 480, 1, 1), 320, 240, 0, 0, 320, -240);
  const TPatternReading r = ReadPattern(flipped.Bits.data(), 320, 240);
  ASSERT_TRUE(r.Found) << r.Describe();
  EXPECT_EQ(r.SourceWidth, 640);
  EXPECT_EQ(r.SourceHeight, 480);
  const struct {
    int X, Y, SourceX, SourceY;
  } points[] = {{0, 0, 0, 478}, {319, 239, 638, 0}, {100, 60, 200, 358}};
  for (const auto& p : points) {
    int sx = -1, sy = -1;
    ASSERT_TRUE(r.SourcePixel(p.X, p.Y, sx, sy));
    EXPECT_NEAR(sx, p.SourceX, 1) << p.X << "," << p.Y;
    EXPECT_NEAR(sy, p.SourceY, 1) << p.X << "," << p.Y;
  }
  // A picture whose size is no multiple of the cell, and one with a symbol of every cell kind.
  const TPicture odd = Painted(176, 144, 9, 77);
  const TPatternReading o = ReadPattern(odd.Bits.data(), 176, 144);
  ASSERT_TRUE(o.Found) << o.Describe();
  EXPECT_EQ(o.Camera, 9);
  EXPECT_FALSE(o.Mixed()) << o.Describe();
  EXPECT_EQ(PatternSymbol(4, 2, 20, 15, 1, 0), 0x104);  // a column cell
  EXPECT_EQ(PatternSymbol(3, 5, 20, 15, 1, 0), 0x185);  // a row cell
  EXPECT_EQ(PatternSymbol(1, 0, 20, 15, 1, 0), 'K');    // info byte 0
}
