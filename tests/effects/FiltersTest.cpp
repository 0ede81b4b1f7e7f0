// The colour filters, the fast bitmap and the pixel blends, on edge values; the colour effect's
// frame work on a real device bitmap.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "EffectTestUtil.h"
#include "FastBMP.h"
#include "FastFX.h"
#include "KVEffColorProc.h"
#include "KVProcessorList.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A picture in plain memory: width x height pixels, rows padded as in a DIB.
class TMemPicture : public TFastRGB {
 public:
  TMemPicture(int width, int height) : bytes_((static_cast<size_t>(width) * 3 + 3) / 4 * 4 * height, 0xEE) {
    SetLayout(width, height, bytes_.data());
  }
  BYTE* Px(int x, int y) { return RowTable[y] + x * 3; }
  void SetAll(BYTE b, BYTE g, BYTE r) {
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) {
        Px(x, y)[0] = b;
        Px(x, y)[1] = g;
        Px(x, y)[2] = r;
      }
  }
  std::vector<BYTE> bytes_;
};

// One pixel through a filter: (b, g, r) in, (b, g, r) out.
template <class F>
std::vector<int> One(BYTE b, BYTE g, BYTE r, F filter) {
  TMemPicture p(1, 1);
  p.SetAll(b, g, r);
  filter(p);
  return {p.Px(0, 0)[0], p.Px(0, 0)[1], p.Px(0, 0)[2]};
}

}  // namespace

TEST(FastRGB, ClampAndLayout) {
  EXPECT_EQ(ClampByte(256), 255);
  EXPECT_EQ(ClampByte(-1), 0);
  EXPECT_EQ(ClampByte(255), 255);
  EXPECT_EQ(ClampByte(0), 0);
  EXPECT_EQ(ClampByte(100000), 255);
  struct Case {
    int width, pad, stride;
  } cases[] = {{1, 1, 4}, {2, 2, 8}, {3, 3, 12}, {5, 1, 16}, {320, 0, 960}, {322, 2, 968}};
  for (const Case& c : cases) {
    TMemPicture p(c.width, 3);
    EXPECT_EQ(p.RowPad, c.pad) << c.width;
    EXPECT_EQ(p.RowStride, c.stride) << c.width;
    EXPECT_EQ(p.ByteSize, c.stride * 3) << c.width;
    EXPECT_EQ(p.RowTable[2] - p.RowTable[0], 2 * c.stride);
  }
}

TEST(FastFX, EdgeValues) {
  using V = std::vector<int>;
  // AdjustRGB: byte 0 blue, 1 green, 2 red
  EXPECT_EQ(One(10, 20, 30, [](TFastRGB& p) { AdjustRGB(p, 0, 0, 0); }), (V{10, 20, 30}));
  EXPECT_EQ(One(10, 20, 30, [](TFastRGB& p) { AdjustRGB(p, 255, 0, 0); }), (V{10, 20, 255}));
  EXPECT_EQ(One(10, 20, 30, [](TFastRGB& p) { AdjustRGB(p, 0, 0, -255); }), (V{0, 20, 30}));
  EXPECT_EQ(One(10, 20, 30, [](TFastRGB& p) { AdjustRGB(p, -5, 7, 1); }), (V{11, 27, 25}));
  // contrast: 0 is the identity, 127 stays, values move away from or towards 128
  EXPECT_EQ(One(0, 127, 255, [](TFastRGB& p) { AdjustContrast(p, 0); }), (V{0, 127, 255}));
  for (int a : {-255, -100, 1, 128, 255}) EXPECT_EQ(One(127, 127, 127, [a](TFastRGB& p) { AdjustContrast(p, a); })[0], 127) << a;
  EXPECT_EQ(One(28, 228, 128, [](TFastRGB& p) { AdjustContrast(p, 128); }), (V{0, 255, 128}));
  EXPECT_EQ(One(78, 178, 129, [](TFastRGB& p) { AdjustContrast(p, 128); }), (V{53, 203, 129}));
  // negative amounts: the division truncates toward zero (126 moves by -(-1))
  EXPECT_EQ(One(28, 228, 126, [](TFastRGB& p) { AdjustContrast(p, -128); }), (V{78, 178, 127}));
  // lightness: 255 maps 0 to 254 and keeps 255; -255 maps 255 to 1; 0 is the identity
  EXPECT_EQ(One(0, 255, 100, [](TFastRGB& p) { AdjustLightness(p, 255); }), (V{254, 255, 100 + (155 * 255 >> 8)}));
  EXPECT_EQ(One(255, 0, 100, [](TFastRGB& p) { AdjustLightness(p, -255); }), (V{1, 0, 100 - (255 * 100 >> 8)}));
  EXPECT_EQ(One(3, 99, 250, [](TFastRGB& p) { AdjustLightness(p, 0); }), (V{3, 99, 250}));
  // saturation: 256 is the identity, 255 is not (w[255] = 254), 0 gives the gray value
  EXPECT_EQ(One(10, 120, 250, [](TFastRGB& p) { AdjustSaturation(p, 256); }), (V{10, 120, 250}));
  EXPECT_EQ(One(0, 120, 250, [](TFastRGB& p) { AdjustSaturation(p, 255); }), (V{1, 120, 250}));
  EXPECT_EQ(One(10, 120, 250, [](TFastRGB& p) { AdjustSaturation(p, 0); }), (V{126, 126, 126}));  // 3 + 40 + 83
  // 510 about doubles the distance from gray (gray 33 + 43 + 49 = 125, w(c) = c x 510 shr 8)
  EXPECT_EQ(One(126, 126, 126, [](TFastRGB& p) { AdjustSaturation(p, 510); }), (V{126, 126, 126}));
  EXPECT_EQ(One(100, 130, 148, [](TFastRGB& p) { AdjustSaturation(p, 510); }), (V{75, 134, 170}));
  // gray: each byte divided before the sum
  EXPECT_EQ(One(255, 255, 255, [](TFastRGB& p) { MakeGrayscale(p); }), (V{255, 255, 255}));
  EXPECT_EQ(One(1, 1, 1, [](TFastRGB& p) { MakeGrayscale(p); }), (V{0, 0, 0}));
  EXPECT_EQ(One(2, 2, 2, [](TFastRGB& p) { MakeGrayscale(p); }), (V{0, 0, 0}));
  EXPECT_EQ(One(30, 20, 10, [](TFastRGB& p) { MakeGrayscale(p); }), (V{19, 19, 19}));
}

TEST(FastFX, PaddingIsLeftAlone) {
  // width 5: one padding byte per row, which no filter may touch
  TMemPicture p(5, 3);
  p.SetAll(40, 50, 60);
  AdjustRGB(p, 10, 10, 10);
  AdjustContrast(p, 100);
  AdjustLightness(p, 50);
  AdjustSaturation(p, 0);
  MakeGrayscale(p);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(p.RowTable[y][15], 0xEE) << y;
  BYTE first = p.Px(0, 0)[0];
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(p.Px(x, y)[c], first);
}

TEST(Blends, EdgeValues) {
  struct Case {
    BYTE d, s, multiply, lighten;
  } cases[] = {
      {0, 0, 0, 0},         {255, 0, 0, 255},     {0, 255, 0, 254},       {255, 255, 255, 255},
      {200, 255, 200, 254}, {200, 128, 100, 227}, {100, 128, 50, 177},    {1, 1, 0, 1},
      {128, 64, 32, 159},   {77, 200, 60, 216},
  };
  for (const Case& c : cases) {
    BYTE d[3] = {c.d, c.d, c.d}, s[3] = {c.s, c.s, c.s};
    MultiplyBlend(d, s, 1);
    EXPECT_EQ(d[1], c.multiply) << int(c.d) << " x " << int(c.s);
    BYTE l[3] = {c.d, c.d, c.d};
    LightenBlend(l, s, 1);
    EXPECT_EQ(l[2], c.lighten) << int(c.d) << " lighten " << int(c.s);
  }
  // Count pixels are 3 x Count bytes: the byte after them stays
  BYTE d[7] = {100, 100, 100, 100, 100, 100, 100}, s[7] = {0, 0, 0, 0, 0, 0, 0};
  MultiplyBlend(d, s, 2);
  EXPECT_EQ(d[5], 0);
  EXPECT_EQ(d[6], 100);
}

TEST(FastBMP, CopiesTheBitmapEitherWay) {
  TTestFrame frame(5, 3);  // odd width: padded rows
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) frame.Set(x, y, TRgb{10 * x, 100 + 10 * y, 7});
  TFastBMP bottomUp(frame.Bitmap(), false);
  TFastBMP topDown(frame.Bitmap(), true);
  EXPECT_EQ(bottomUp.Width, 5);
  EXPECT_EQ(bottomUp.Height, 3);
  EXPECT_EQ(bottomUp.RowPad, 1);
  EXPECT_EQ(bottomUp.RowStride, 16);
  for (int x = 0; x < 5; ++x) {
    // memory row 0: the bottom row without the flag, the top row with it
    EXPECT_EQ(bottomUp.RowTable[0][x * 3 + 1], 120);
    EXPECT_EQ(topDown.RowTable[0][x * 3 + 1], 100);
    EXPECT_EQ(topDown.RowTable[0][x * 3 + 2], 10 * x);
  }
  EXPECT_NE(bottomUp.MemoryDC(), nullptr);
}

TEST(ColorProcessor, FrameWork) {
  struct Setting {
    const char* name;
    int red, green, blue, contrast, lightness, saturation;
    bool flip, gray;
  };
  const Setting settings[] = {
      {"neutral", 0, 0, 0, 0, 0, 255, false, false},
      {"red offset", 60, 0, 0, 0, 0, 255, false, false},
      {"red offset then gray", 60, 0, 0, 0, 0, 255, false, true},
      {"flip only", 0, 0, 0, 0, 0, 255, true, false},
      {"lightness", 0, 0, 0, 0, 255, 255, false, false},
      {"saturation 0", 0, 0, 0, 0, 0, 0, false, false},
  };
  for (const Setting& s : settings) {
    SCOPED_TRACE(s.name);
    TTestFrame frame(5, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) frame.Set(x, y, TRgb{10 + x, 20 + y, 30});
    TComPtr<TColorProcessor> p(new TColorProcessor());
    p->RedOffset = s.red;
    p->GreenOffset = s.green;
    p->BlueOffset = s.blue;
    p->Contrast = s.contrast;
    p->Lightness = s.lightness;
    p->Saturation = s.saturation;
    p->Flip = s.flip;
    p->Gray = s.gray;
    p->SetEnabled(TRUE);
    EXPECT_FALSE(p->Start());  // the colour effect never runs: it works while stopped
    EXPECT_EQ(p->GetState(), TProcessorState::psStopped);
    EXPECT_FALSE(p->Process(frame.DC(), frame.Bitmap(), frame.Info()));  // never counts as drawn
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        int sy = s.flip ? 2 - y : y;
        int r = 10 + x, g = 20 + sy, b = 30;
        r = std::min(255, r + s.red);
        if (s.lightness == 255) {
          r += (255 - r) * 255 >> 8;
          g += (255 - g) * 255 >> 8;
          b += (255 - b) * 255 >> 8;
        }
        if (s.gray || s.saturation == 0) r = g = b = r / 3 + g / 3 + b / 3;
        EXPECT_EQ(frame.At(x, y), (TRgb{r, g, b})) << x << "," << y;
      }
  }
}

TEST(ColorProcessor, FramesOfChangingSizeAndTwoStreamsAtOnce) {
  TComPtr<TColorProcessor> p(new TColorProcessor());
  p->SetEnabled(TRUE);
  p->RedOffset = 10;
  // one frame after another, of several sizes and both orientations
  for (auto [w, h, flip] : {std::tuple{5, 3, false}, std::tuple{8, 6, false}, std::tuple{8, 6, true}, std::tuple{5, 3, false}}) {
    TTestFrame frame(w, h);
    for (int y = 0; y < h; ++y) frame.Set(0, y, TRgb{y, 0, 0});
    p->Flip = flip;
    p->Process(frame.DC(), frame.Bitmap(), frame.Info());
    for (int y = 0; y < h; ++y) EXPECT_EQ(frame.At(0, y).R, (flip ? h - 1 - y : y) + 10) << w << "x" << h << " " << flip;
  }
  p->Flip = false;
  // a camera and a movie at the same time: each frame comes back with its own pixels
  std::atomic<int> wrong{0};
  auto stream = [&](int w, int h, int base) {
    TTestFrame frame(w, h);
    for (int n = 0; n < 150; ++n) {
      frame.Fill(TRgb{base + n % 50, 7, 9});
      p->Process(frame.DC(), frame.Bitmap(), frame.Info());
      if (!(frame.At(w - 1, h - 1) == TRgb{base + n % 50 + 10, 7, 9})) ++wrong;
    }
  };
  std::thread camera(stream, 64, 48, 0), movie(stream, 96, 40, 100);
  camera.join();
  movie.join();
  EXPECT_EQ(wrong.load(), 0);
}
