// The 176 transition styles on pictures whose pixels tell where they came from (old or new
// picture, column, row): copy styles against the exact expected map, stretch styles for their
// set of new pixels and the order of their sources, reveal styles for growing monotonically.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "PSEffect.h"
#include "Strings.h"
#include "TransitionTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// One transfer of the expected map: a copy or a stretch of the new picture or of the starting
// content. A negative destination width mirrors: the strip covers dx + dw + 1 .. dx.
struct TOp {
  bool FromNew;
  bool IsStretch;
  int DX, DY, DW, DH;
  int SX, SY, SW, SH;
};
TOp N(int dx, int dy, int w, int h, int sx, int sy) { return {true, false, dx, dy, w, h, sx, sy, w, h}; }
TOp O(int dx, int dy, int w, int h, int sx, int sy) { return {false, false, dx, dy, w, h, sx, sy, w, h}; }
TOp NS(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) { return {true, true, dx, dy, dw, dh, sx, sy, sw, sh}; }
TOp OS(int dx, int dy, int dw, int dh, int W, int H) { return {false, true, dx, dy, dw, dh, 0, 0, W, H}; }

using TOps = std::function<std::vector<TOp>(int W, int H, int X, int Y)>;

int RollWidth(int side, int progress) {
  int s = side / 10;
  if (progress < s) s = progress;
  else if (side - progress < 2 * s) s = (side - progress) / 2;
  return s;
}

const std::vector<std::pair<int, TOps>>& CopyStyles() {
  static const std::vector<std::pair<int, TOps>> styles = {
      {3, [](int W, int H, int X, int) { return std::vector<TOp>{N(W - X, 0, W, H, 0, 0)}; }},
      {4, [](int W, int H, int X, int) { return std::vector<TOp>{N(X - W, 0, W, H, 0, 0)}; }},
      {5, [](int, int H, int X, int) { return std::vector<TOp>{N(0, 0, X, H, 0, 0)}; }},
      {6, [](int W, int H, int X, int) { return std::vector<TOp>{N(W - X, 0, X, H, W - X, 0)}; }},
      {11, [](int W, int H, int X, int) { return std::vector<TOp>{N((W - X) / 2, 0, X, H, (W - X) / 2, 0)}; }},
      {12, [](int W, int H, int X, int) { return std::vector<TOp>{N(0, 0, X / 2, H, 0, 0), N(W - X / 2, 0, X / 2, H, W - X / 2, 0)}; }},
      {20, [](int W, int H, int, int Y) { return std::vector<TOp>{N(0, H - Y, W, H, 0, 0)}; }},
      {21, [](int W, int H, int, int Y) { return std::vector<TOp>{N(0, Y - H, W, H, 0, 0)}; }},
      {22, [](int W, int, int, int Y) { return std::vector<TOp>{N(0, 0, W, Y, 0, 0)}; }},
      {23, [](int W, int H, int, int Y) { return std::vector<TOp>{N(0, H - Y, W, Y, 0, H - Y)}; }},
      {28, [](int W, int H, int, int Y) { return std::vector<TOp>{N(0, (H - Y) / 2, W, Y, 0, (H - Y) / 2)}; }},
      {29, [](int W, int H, int, int Y) { return std::vector<TOp>{N(0, 0, W, Y / 2, 0, 0), N(0, H - Y / 2, W, Y / 2, 0, H - Y / 2)}; }},
      {39, [](int W, int H, int X, int Y) { return std::vector<TOp>{N(W - X, H - Y, W, H, 0, 0)}; }},
      {40, [](int W, int H, int X, int Y) { return std::vector<TOp>{N(W - X, Y - H, W, H, 0, 0)}; }},
      {41, [](int W, int H, int X, int Y) { return std::vector<TOp>{N(X - W, Y - H, W, H, 0, 0)}; }},
      {42, [](int W, int H, int X, int Y) { return std::vector<TOp>{N(X - W, H - Y, W, H, 0, 0)}; }},
      {43, [](int, int, int X, int Y) { return std::vector<TOp>{N(0, 0, X, Y, 0, 0)}; }},
      {44, [](int, int H, int X, int Y) { return std::vector<TOp>{N(0, H - Y, X, Y, 0, H - Y)}; }},
      {45, [](int W, int H, int X, int Y) { return std::vector<TOp>{N(W - X, H - Y, X, Y, W - X, H - Y)}; }},
      {46, [](int W, int, int X, int Y) { return std::vector<TOp>{N(W - X, 0, X, Y, W - X, 0)}; }},
      {53, [](int W, int H, int X, int Y) { return std::vector<TOp>{N((W - X) / 2, (H - Y) / 2, X, Y, (W - X) / 2, (H - Y) / 2)}; }},
      {54, [](int W, int H, int X, int Y) {
         const int x2 = X / 2, y2 = Y / 2;  // all of the picture but a shrinking middle
         return std::vector<TOp>{N(0, 0, W, H, 0, 0), O(x2, y2, W - 2 * x2, H - 2 * y2, x2, y2)};
       }},
      {55, [](int W, int H, int X, int Y) {
         const int x2 = X / 2, y2 = Y / 2;
         return std::vector<TOp>{N(0, 0, x2, y2, 0, 0), N(0, H - y2, x2, y2, 0, H - y2), N(W - x2, H - y2, x2, y2, W - x2, H - y2),
                                 N(W - x2, 0, x2, y2, W - x2, 0)};
       }},
      {57, [](int W, int H, int X, int Y) {
         const int x2 = X / 2, y2 = Y / 2, w2 = W / 2, h2 = H / 2;
         return std::vector<TOp>{N(x2 - w2, 0, w2, h2, 0, 0), N(w2, y2 - h2, w2, h2, w2, 0), N(W - x2, h2, w2, h2, w2, h2),
                                 N(0, H - y2, w2, h2, 0, h2)};
       }},
      {129, [](int W, int H, int X, int) { return std::vector<TOp>{O(X, 0, W - X, H, 0, 0), N(0, 0, X, H, W - X, 0)}; }},
      {130, [](int W, int H, int X, int) { return std::vector<TOp>{O(0, 0, W - X, H, X, 0), N(W - X, 0, X, H, 0, 0)}; }},
      {133, [](int W, int H, int, int Y) { return std::vector<TOp>{O(0, Y, W, H - Y, 0, 0), N(0, 0, W, Y, 0, H - Y)}; }},
      {134, [](int W, int H, int, int Y) { return std::vector<TOp>{O(0, 0, W, H - Y, 0, Y), N(0, H - Y, W, Y, 0, 0)}; }},
      {173, [](int W, int H, int X, int) { return std::vector<TOp>{O(X, 0, W - X, H, 0, 0), N(0, 0, X, H, 0, 0)}; }},
      {174, [](int W, int H, int X, int) { return std::vector<TOp>{O(0, 0, W - X, H, X, 0), N(W - X, 0, X, H, W - X, 0)}; }},
      {175, [](int W, int H, int, int Y) { return std::vector<TOp>{O(0, Y, W, H - Y, 0, 0), N(0, 0, W, Y, 0, 0)}; }},
      {176, [](int W, int H, int, int Y) { return std::vector<TOp>{O(0, 0, W, H - Y, 0, Y), N(0, H - Y, W, Y, 0, H - Y)}; }},
  };
  return styles;
}

const std::vector<std::pair<int, TOps>>& StretchStyles() {
  static const std::vector<std::pair<int, TOps>> styles = {
      {1, [](int W, int H, int X, int) { return std::vector<TOp>{NS(W - X, 0, X, H, 0, 0, W, H)}; }},
      {2, [](int W, int H, int X, int) { return std::vector<TOp>{NS(0, 0, X, H, 0, 0, W, H)}; }},
      {7, [](int W, int H, int X, int) { return std::vector<TOp>{NS(0, 0, 2 * W - X, H, 0, 0, X, H)}; }},
      {8, [](int W, int H, int X, int) { return std::vector<TOp>{NS(X - W, 0, 2 * W - X, H, W - X, 0, X, H)}; }},
      {9, [](int W, int H, int X, int) { return std::vector<TOp>{NS(X - W, 0, 3 * W - 2 * X, H, (W - X) / 2, 0, X, H)}; }},
      {10, [](int W, int H, int X, int) { return std::vector<TOp>{NS((W - X) / 2, 0, X, H, 0, 0, W, H)}; }},
      {13, [](int W, int H, int X, int) {
         return std::vector<TOp>{NS(0, 0, X / 2, H, 0, 0, W / 2, H), NS(W - X / 2, 0, X / 2, H, W / 2, 0, W / 2, H)};
       }},
      {14, [](int W, int H, int X, int) {
         const int s = RollWidth(W, X);
         return std::vector<TOp>{NS(X + s - 1, 0, -s, H, X + s, 0, s, H), N(0, 0, X, H, 0, 0)};
       }},
      {15, [](int W, int H, int X, int) {
         const int s = RollWidth(W, X), r = W - X;
         return std::vector<TOp>{NS(r - 1, 0, -s, H, std::max(r - 2 * s - 1, 0), 0, s, H), N(r, 0, X, H, r, 0)};
       }},
      {16, [](int W, int H, int X, int) {
         return std::vector<TOp>{N(0, 0, X, H, 0, 0), NS(X, 0, W - X, H, X, 0, std::min(W - X, W / 10), H)};
       }},
      {17, [](int W, int H, int X, int) {
         const int r = W - X, xs = std::max(r - W / 10, 0);
         return std::vector<TOp>{N(r, 0, X, H, r, 0), NS(0, 0, r, H, xs, 0, r - xs, H)};
       }},
      {18, [](int W, int H, int, int Y) { return std::vector<TOp>{NS(0, H - Y, W, Y, 0, 0, W, H)}; }},
      {19, [](int W, int H, int, int Y) { return std::vector<TOp>{NS(0, 0, W, Y, 0, 0, W, H)}; }},
      {24, [](int W, int H, int, int Y) { return std::vector<TOp>{NS(0, 0, W, 2 * H - Y, 0, 0, W, Y)}; }},
      {25, [](int W, int H, int, int Y) { return std::vector<TOp>{NS(0, Y - H, W, 2 * H - Y, 0, H - Y, W, Y)}; }},
      {26, [](int W, int H, int, int Y) { return std::vector<TOp>{NS(0, Y - H, W, 3 * H - 2 * Y, 0, (H - Y) / 2, W, Y)}; }},
      {27, [](int W, int H, int, int Y) { return std::vector<TOp>{NS(0, (H - Y) / 2, W, Y, 0, 0, W, H)}; }},
      {30, [](int W, int H, int, int Y) {
         return std::vector<TOp>{NS(0, 0, W, Y / 2, 0, 0, W, H / 2), NS(0, H - Y / 2, W, Y / 2, 0, H / 2, W, H / 2)};
       }},
      {31, [](int W, int H, int, int Y) {
         const int s = RollWidth(H, Y);
         return std::vector<TOp>{NS(0, Y + s - 1, W, -s, 0, Y + s, W, s), N(0, 0, W, Y, 0, 0)};
       }},
      {32, [](int W, int H, int, int Y) {
         const int s = RollWidth(H, Y), r = H - Y;
         return std::vector<TOp>{NS(0, r - 1, W, -s, 0, std::max(r - 2 * s - 1, 0), W, s), N(0, r, W, Y, 0, r)};
       }},
      {33, [](int W, int H, int, int Y) {
         return std::vector<TOp>{N(0, 0, W, Y, 0, 0), NS(0, Y, W, H - Y, 0, Y, W, std::min(H - Y, H / 10))};
       }},
      {34, [](int W, int H, int, int Y) {
         const int r = H - Y, ys = std::max(r - H / 10, 0);
         return std::vector<TOp>{N(0, r, W, Y, 0, r), NS(0, 0, W, r, 0, ys, W, r - ys)};
       }},
      {35, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(W - X, H - Y, X, Y, 0, 0, W, H)}; }},
      {36, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(W - X, 0, X, Y, 0, 0, W, H)}; }},
      {37, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(0, 0, X, Y, 0, 0, W, H)}; }},
      {38, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(0, H - Y, X, Y, 0, 0, W, H)}; }},
      {47, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(0, 0, 2 * W - X, 2 * H - Y, 0, 0, X, Y)}; }},
      {48, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(0, Y - H, 2 * W - X, 2 * H - Y, 0, H - Y, X, Y)}; }},
      {49, [](int W, int H, int X, int Y) {
         return std::vector<TOp>{NS(X - W, Y - H, 2 * W - X, 2 * H - Y, W - X, H - Y, X, Y)};
       }},
      {50, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS(X - W, 0, 2 * W - X, 2 * H - Y, W - X, 0, X, Y)}; }},
      {51, [](int W, int H, int X, int Y) {
         return std::vector<TOp>{NS(X - W, Y - H, 3 * W - 2 * X, 3 * H - 2 * Y, (W - X) / 2, (H - Y) / 2, X, Y)};
       }},
      {52, [](int W, int H, int X, int Y) { return std::vector<TOp>{NS((W - X) / 2, (H - Y) / 2, X, Y, 0, 0, W, H)}; }},
      {56, [](int W, int H, int X, int Y) {
         const int x2 = X / 2, y2 = Y / 2, w2 = W / 2, h2 = H / 2;
         return std::vector<TOp>{NS(0, 0, x2, y2, 0, 0, w2, h2), NS(0, H - y2, x2, y2, 0, h2, w2, h2),
                                 NS(W - x2, H - y2, x2, y2, w2, h2, w2, h2), NS(W - x2, 0, x2, y2, w2, 0, w2, h2)};
       }},
      {131, [](int W, int H, int X, int) { return std::vector<TOp>{OS(X, 0, W - X, H, W, H), N(0, 0, X, H, W - X, 0)}; }},
      {132, [](int W, int H, int X, int) { return std::vector<TOp>{OS(0, 0, W - X, H, W, H), N(W - X, 0, X, H, 0, 0)}; }},
      {135, [](int W, int H, int, int Y) { return std::vector<TOp>{OS(0, Y, W, H - Y, W, H), N(0, 0, W, Y, 0, H - Y)}; }},
      {136, [](int W, int H, int, int Y) { return std::vector<TOp>{OS(0, 0, W, H - Y, W, H), N(0, H - Y, W, Y, 0, 0)}; }},
  };
  return styles;
}

// Styles that show the new picture only where it stands, through a clip region or pixel by pixel.
bool InPlace(int style) {
  return (style >= 58 && style <= 118) || (style >= 124 && style <= 128) || (style >= 137 && style <= 167) ||
         (style >= 169 && style <= 171);
}
// Their choices change from frame to frame (the bars and spots flicker on purpose).
bool Flickers(int style) {
  return (style >= 65 && style <= 68) || (style >= 76 && style <= 79) || (style >= 100 && style <= 109) ||
         (style >= 124 && style <= 127);
}
bool Blends(int style) { return style == 119 || style == 168 || style == 172; }
bool PageTurns(int style) { return style >= 120 && style <= 123; }
// Shapes that turn (a corner shown at one step may lie outside the next one) and slats whose
// period is the progress itself (they spread out as they widen).
bool MovesOn(int style) { return (style >= 150 && style <= 152) || (style >= 139 && style <= 142) || (style >= 146 && style <= 149); }

const std::vector<std::pair<int, int>> kSizes = {{200, 100}, {101, 37}};

// The style drawn from the coded old picture towards the coded new one. Frames of one transition
// share the new picture: the seeded styles take their seed from its handle.
struct TFrame {
  TFrame(int style, int w, int h, int progress, TBitmap* newPicture = nullptr, std::uint32_t seed = 1)
      : W(w), H(h), P(progress) {
    if (!newPicture) newPicture = CodedPicture(w, h, true);
    Screen = CopyOf(CodedPicture(w, h, false));
    TRandomGenerator random{seed};
    DrawStyle(style, Screen.get(), newPicture, progress, random);
    ProgressExtents(w, h, progress, X, Y);
    Bits = static_cast<const std::uint32_t*>(Screen->ScanLine(h - 1));
  }
  std::uint32_t At(int x, int y) const { return Bits[std::size_t(H - 1 - y) * W + x]; }
  int W, H, P, X = 0, Y = 0;
  std::unique_ptr<TBitmap> Screen;
  const std::uint32_t* Bits = nullptr;  // the first row in memory (the bottom one)

  // The coded pictures of a size, made once.
  static TBitmap* CodedPicture(int w, int h, bool isNew) {
    static std::map<std::tuple<int, int, bool>, std::unique_ptr<TBitmap>> made;
    auto& b = made[{w, h, isNew}];
    if (!b) b = MakeCoded(w, h, isNew);
    return b.get();
  }
};

// Checks a frame against the transfers: copies exactly; stretches for showing the right picture,
// sources inside the source rectangle and in order along rows and columns.
void CheckAgainstOps(int style, const TFrame& f, const std::vector<TOp>& ops) {
  const int W = f.W, H = f.H;
  std::vector<int> opOf(std::size_t(W) * H, -1);
  std::vector<std::uint32_t> exact(std::size_t(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) exact[std::size_t(y) * W + x] = Coded(false, x, y);
  for (int i = 0; i < static_cast<int>(ops.size()); ++i) {
    const TOp& op = ops[i];
    const int x0 = op.DW < 0 ? op.DX + op.DW + 1 : op.DX, x1 = op.DW < 0 ? op.DX + 1 : op.DX + op.DW;
    const int y0 = op.DH < 0 ? op.DY + op.DH + 1 : op.DY, y1 = op.DH < 0 ? op.DY + 1 : op.DY + op.DH;
    for (int y = std::max(y0, 0); y < std::min(y1, H); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, W); ++x) {
        const std::size_t k = std::size_t(y) * W + x;
        if (op.IsStretch) {
          opOf[k] = i;
          continue;
        }
        const int sx = op.SX + x - op.DX, sy = op.SY + y - op.DY;
        if (sx < 0 || sx >= W || sy < 0 || sy >= H) continue;
        opOf[k] = -1;
        exact[k] = Coded(op.FromNew, sx, sy);
      }
  }
  int failures = 0;
  for (int y = 0; y < H && failures < 5; ++y)
    for (int x = 0; x < W && failures < 5; ++x) {
      const std::size_t k = std::size_t(y) * W + x;
      const std::uint32_t got = f.At(x, y);
      const std::string where = Where(style, W, H, f.P, x, y);
      if (opOf[k] < 0) {
        if (got != exact[k]) {
          ADD_FAILURE() << where << ": " << std::hex << got << " instead of " << exact[k];
          ++failures;
        }
        continue;
      }
      const TOp& op = ops[opOf[k]];
      const TSource s = Decode(got);
      bool ok = s.IsNew == op.FromNew;
      if (s.X >= 0) ok = ok && s.X >= op.SX && s.X < op.SX + op.SW;
      if (s.Y >= 0) ok = ok && s.Y >= op.SY && s.Y < op.SY + op.SH;
      // along the row and the column the source moves one way (backwards when mirrored)
      if (x > 0 && opOf[k - 1] == opOf[k]) {
        const TSource l = Decode(f.At(x - 1, y));
        if (l.X >= 0 && s.X >= 0) ok = ok && (op.DW < 0 ? s.X <= l.X : s.X >= l.X);
      }
      if (y > 0 && opOf[k - W] == opOf[k]) {
        const TSource u = Decode(f.At(x, y - 1));
        if (u.Y >= 0 && s.Y >= 0) ok = ok && (op.DH < 0 ? s.Y <= u.Y : s.Y >= u.Y);
      }
      if (!ok) {
        ADD_FAILURE() << where << ": source " << (s.IsNew ? "new" : "old") << " (" << s.X << ", " << s.Y
                      << ") does not fit transfer " << opOf[k] << " (pixel " << std::hex << got << std::dec << ")";
        ++failures;
      }
    }
}

const std::vector<int> kProgress = {3, 25, 50, 95, 96};

TEST(Styles, ProgressExtentsFollowTheLongerSide) {
  int X, Y;
  ProgressExtents(200, 100, 50, X, Y);
  EXPECT_EQ(X, 100);
  EXPECT_EQ(Y, 50);
  ProgressExtents(100, 200, 50, X, Y);
  EXPECT_EQ(X, 50);
  EXPECT_EQ(Y, 100);
  ProgressExtents(101, 37, 50, X, Y);  // 50.5 rounds to 51; 51 x 37 / 101 = 18.7 rounds to 19
  EXPECT_EQ(X, 51);
  EXPECT_EQ(Y, 19);
}

void CheckFamily(const std::vector<std::pair<int, TOps>>& styles) {
  for (auto [w, h] : kSizes)
    for (const auto& [style, ops] : styles)
      for (int p : kProgress) {
        TFrame f(style, w, h, p);
        CheckAgainstOps(style, f, ops(w, h, f.X, f.Y));
      }
}

TEST(Styles, CopyStylesMatchTheExpectedMapExactly) {
  CheckFamily(CopyStyles());
  // two of them by hand: style 4 at 25 % copies the new picture to x = -150, its right 50
  // columns at the left edge
  TFrame f(4, 200, 100, 25);
  EXPECT_EQ(f.At(0, 10), Coded(true, 150, 10));
  EXPECT_EQ(f.At(49, 99), Coded(true, 199, 99));
  EXPECT_EQ(f.At(50, 0), Coded(false, 50, 0));
}

TEST(Styles, StretchStylesShowTheNewPictureExactlyWhereTheyStretchIt) {
  CheckFamily(StretchStyles());
  // style 1 at 50 % squeezes the whole new picture into the right half
  TFrame f(1, 200, 100, 50);
  EXPECT_EQ(f.At(99, 50), Coded(false, 99, 50));
  EXPECT_TRUE(Decode(f.At(100, 0)).IsNew && Decode(f.At(100, 0)).X <= 1);
  EXPECT_TRUE(Decode(f.At(199, 99)).IsNew && Decode(f.At(199, 99)).X >= 198);
}

TEST(Styles, RollsNeverReadOutsideThePicture) {
  // at the end the roll narrows to half of what is left: with an even rest the strip of the rolls
  // from the right and the bottom would start at -1
  struct TCase {
    int Style, W, H, P, Strip;
  };
  for (const TCase& c : {TCase{15, 200, 100, 95, 5}, TCase{32, 200, 100, 96, 2}, TCase{15, 101, 37, 98, 1}}) {
    TFrame f(c.Style, c.W, c.H, c.P);
    const bool columns = c.Style == 15;
    const int rest = columns ? c.W - f.X : c.H - f.Y;
    // every pixel from the strip's first one to the far edge shows the new picture, the strip
    // mirrored from the picture's first pixels
    for (int i = 0; i < (columns ? c.W : c.H); ++i) {
      const TSource s = columns ? Decode(f.At(i, c.H / 2)) : Decode(f.At(c.W / 2, i));
      EXPECT_EQ(s.IsNew, i >= rest - c.Strip) << "style " << c.Style << " at " << i;
      if (i >= rest - c.Strip && i < rest && (columns ? s.X : s.Y) >= 0) {
        EXPECT_EQ(columns ? s.X : s.Y, rest - 1 - i) << "style " << c.Style << " at " << i;
      }
    }
  }
}

// Every style that reveals the new picture shows some of it by the middle, more of it as the
// transition goes on, and nearly all of it at the end; the ones that neither turn nor spread never
// hide a new pixel again.
TEST(Styles, RevealStylesOnlyEverShowMoreOfTheNewPicture) {
  const std::vector<int> steps = {10, 30, 50, 70, 90, 99};
  for (auto [w, h] : kSizes)
    for (int style = 1; style <= kStyleCount; ++style) {
      if (Flickers(style) || Blends(style)) continue;
      const std::string what = "style " + std::to_string(style) + " on " + std::to_string(w) + "x" + std::to_string(h);
      const int all = w * h;
      std::vector<bool> before(std::size_t(all), false);
      std::map<int, int> shownAt;
      auto picture = MakeCoded(w, h, true);
      for (int p : steps) {
        TFrame f(style, w, h, p, picture.get());
        int lost = 0, misplaced = 0, shown = 0;
        std::vector<bool> now(before.size());
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const std::uint32_t px = f.At(x, y);
            const std::size_t k = std::size_t(y) * w + x;
            now[k] = Decode(px).IsNew;
            shown += now[k];
            if (before[k] && !now[k]) ++lost;
            if (InPlace(style) && px != Coded(false, x, y) && px != Coded(true, x, y)) ++misplaced;
          }
        shownAt[p] = shown;
        before = now;
        if (MovesOn(style)) continue;
        EXPECT_EQ(lost, 0) << what << ": new pixels lost at " << p;
        EXPECT_EQ(misplaced, 0) << what << ": pixels moved at " << p;
      }
      // coarse styles (slats of a few pixels) may stand still from one step to the next, never
      // over two until the picture is whole (stretches cover it from the start)
      EXPECT_GT(shownAt[50], 0) << what << ": nothing of the new picture by the middle";
      for (auto [from, to] : {std::pair{10, 50}, std::pair{50, 90}})
        if (shownAt[from] < all) {
          EXPECT_GT(shownAt[to], shownAt[from]) << what << ": from " << from << " to " << to;
        }
      EXPECT_GE(shownAt[99], all * 85 / 100) << what << ": near the end";
    }
}

TEST(Styles, EveryStyleBelongsToACheckedFamily) {
  std::set<int> checked;
  for (const auto& s : CopyStyles()) checked.insert(s.first);
  for (const auto& s : StretchStyles()) EXPECT_TRUE(checked.insert(s.first).second) << s.first;
  for (int style = 1; style <= kStyleCount; ++style)
    if (InPlace(style) || Blends(style) || PageTurns(style)) {
      EXPECT_TRUE(checked.insert(style).second) << style;
    }
  EXPECT_EQ(checked.size(), std::size_t(kStyleCount));
}

// The page turn rotates (u + 1, v + 1) about the corner and cuts the result down: next to the
// exact turn about the corner the picture lies up to two pixels off.
TEST(Styles, PageTurnsShowTheTurnedPictureWithinTwoPixels) {
  constexpr long double kPi = 3.141592653589793238462643383279502884L;
  for (auto [w, h] : kSizes)
    for (int style = 120; style <= 123; ++style)
      for (int p : {20, 60, 99}) {
        TFrame f(style, w, h, p);
        const int ox = style <= 121 ? -1 : w, oy = style == 120 || style == 122 ? -1 : h;
        const long double angle = (style == 120 || style == 123 ? 100 - p : p - 100) * kPi / 200;
        int shown = 0, off = 0;
        for (int top = 0; top < h; ++top)
          for (int x = 0; x < w; ++x) {
            const TSource s = Decode(f.At(x, top));
            if (!s.IsNew) {
              EXPECT_EQ(f.At(x, top), Coded(false, x, top));
              continue;
            }
            ++shown;
            // the exact source of the turned picture, rows counted from the bottom
            const long double dx = x - ox, dy = (h - 1 - top) - oy;
            const long double sx = ox + dx * std::cos(-angle) - dy * std::sin(-angle);
            const long double sy = oy + dx * std::sin(-angle) + dy * std::cos(-angle);
            if (std::abs(s.X - sx) > 2 || std::abs((h - 1 - s.Y) - sy) > 2) ++off;
          }
        EXPECT_GT(shown, 0) << style << " at " << p;
        EXPECT_EQ(off, 0) << "style " << style << " on " << w << "x" << h << " at " << p;
        if (p == 99) {
          EXPECT_GT(shown, w * h * 9 / 10) << style;
        }
      }
}

TEST(Styles, ZoomLensZoomsIntoTheOldPictureThenOutOfTheNewOne) {
  for (int p : {30, 40}) {  // the old picture only, zoomed into its middle
    TFrame f(168, 200, 100, p);
    for (int y = 0; y < 100; y += 7)
      for (int x = 0; x < 200; x += 7) {
        const TSource s = Decode(f.At(x, y));
        EXPECT_FALSE(s.IsNew) << p;
        EXPECT_TRUE(s.X >= 20 && s.X < 180) << p << ": " << s.X;
      }
  }
  // at 50 (k = 98) the zoom reaches the 4 x 2 pixels at the middle of the old picture, blended
  // half way: the red byte is (0xFF x 128) >> 8 = 127
  TFrame half(168, 200, 100, 50);
  for (int y = 0; y < 100; y += 3)
    for (int x = 0; x < 200; x += 3) {
      const std::uint32_t px = half.At(x, y);
      EXPECT_EQ((px >> 16) & 0xFF, 127u);
      EXPECT_TRUE((px & 0xFF) >= 98 && (px & 0xFF) < 102 && ((px >> 8) & 0xFF) >= 49 && ((px >> 8) & 0xFF) < 51) << std::hex << px;
    }
  // at 51 the middle of the old picture blended 55 % towards the new one fills the frame: the red
  // byte 0 moves to (0xFF x 141) >> 8 = 140
  TFrame blended(168, 200, 100, 51);
  for (int y = 0; y < 100; y += 3)
    for (int x = 0; x < 200; x += 3) EXPECT_EQ((blended.At(x, y) >> 16) & 0xFF, 140u) << x << "," << y;
  for (int p : {60, 70, 99}) {  // the new picture only
    TFrame f(168, 200, 100, p);
    for (int y = 0; y < 100; y += 7)
      for (int x = 0; x < 200; x += 7) EXPECT_TRUE(Decode(f.At(x, y)).IsNew) << p;
  }
}

TEST(Styles, FadeAndChromaChangeBlendColourBytesAndKeepTheFourth) {
  const std::uint32_t oldPx = 0x4D1E140A, newPx = 0x63E6F0FA;  // A, R, G, B: 77/99, 30/230, 20/240, 10/250
  auto blend = [](int s, int p, int a) { return (s + (((p - s) * a) >> 8)) & 0xFF; };
  auto byteOf = [](std::uint32_t v, int c) { return static_cast<int>((v >> (8 * c)) & 0xFF); };
  {
    auto screen = MakeFilled(8, 4, oldPx), picture = MakeFilled(8, 4, newPx);
    TRandomGenerator g{1};
    DrawStyle(119, screen.get(), picture.get(), 40, g);
    const int a = ::MulDiv(256, 40, 100);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(byteOf(PixelAt(screen.get(), 5, 2), c), blend(byteOf(oldPx, c), byteOf(newPx, c), a));
    EXPECT_EQ(byteOf(PixelAt(screen.get(), 5, 2), 3), 77);
  }
  // chroma: one byte position after another, the same ones on every frame of a picture
  auto picture = MakeFilled(8, 4, newPx);
  std::vector<int> order;
  for (int p : {20, 50, 80}) {
    auto screen = MakeFilled(8, 4, oldPx);
    TRandomGenerator g{1};
    DrawStyle(172, screen.get(), picture.get(), p, g);
    const std::uint32_t px = PixelAt(screen.get(), 3, 1);
    EXPECT_EQ(px, PixelAt(screen.get(), 7, 3));
    EXPECT_EQ(byteOf(px, 3), 77) << p;
    std::vector<int> copied, blended, kept;
    const int a = ::MulDiv(256, p <= 33 ? p : p <= 66 ? p - 33 : p - 66, 33);
    for (int c = 0; c < 3; ++c) {
      const int v = byteOf(px, c);
      if (v == byteOf(newPx, c)) copied.push_back(c);
      else if (v == blend(byteOf(oldPx, c), byteOf(newPx, c), a)) blended.push_back(c);
      else if (v == byteOf(oldPx, c)) kept.push_back(c);
    }
    const std::size_t phase = p <= 33 ? 0 : p <= 66 ? 1 : 2;
    ASSERT_EQ(copied.size(), phase) << p;
    ASSERT_EQ(blended.size(), 1u) << p;
    ASSERT_EQ(kept.size(), 2 - phase) << p;
    if (phase == 0) order.push_back(blended[0]);
    if (phase == 1) {
      EXPECT_EQ(copied[0], order[0]);
      order.push_back(blended[0]);
    }
    if (phase == 2) {
      EXPECT_EQ(std::set<int>(copied.begin(), copied.end()), std::set<int>(order.begin(), order.end()));
      order.push_back(blended[0]);
    }
  }
  EXPECT_EQ(std::set<int>(order.begin(), order.end()), (std::set<int>{0, 1, 2}));  // never the same twice
}

TEST(Styles, SeededStylesRepeatTheirChoicesAndLeaveEveryOtherSeedAlone) {
  // 100 x 100 random cells of 6 pixels: a cell shown at 30 is still shown at 31
  auto oldPic = MakeCoded(100, 100, false), newPic = MakeCoded(100, 100, true);
  std::vector<std::vector<bool>> shown;
  TRandomGenerator own{4242};
  RandSeed = 777;
  for (int p : {30, 31}) {
    auto screen = CopyOf(oldPic.get());
    DrawStyle(128, screen.get(), newPic.get(), p, own);
    std::vector<bool> cells;
    for (int cy = 0; cy < 100; cy += 6)
      for (int cx = 0; cx < 100; cx += 6) {
        const bool on = Decode(PixelAt(screen.get(), cx, cy)).IsNew;
        for (int y = cy; y < std::min(cy + 6, 100); ++y)  // whole cells
          for (int x = cx; x < std::min(cx + 6, 100); ++x) ASSERT_EQ(Decode(PixelAt(screen.get(), x, y)).IsNew, on);
        cells.push_back(on);
      }
    shown.push_back(cells);
  }
  int count = 0;
  for (std::size_t i = 0; i < shown[0].size(); ++i) {
    if (shown[0][i]) {
      EXPECT_TRUE(shown[1][i]) << i;
    }
    count += shown[0][i];
  }
  EXPECT_GT(count, 289 * 15 / 100);
  EXPECT_LT(count, 289 * 45 / 100);
  EXPECT_EQ(own.Seed, 4242u);  // kept and given back
  // the flickering styles use the control's generator too, never the process-wide one
  for (int style = 1; style <= kStyleCount; ++style) {
    auto screen = CopyOf(oldPic.get());
    DrawStyle(style, screen.get(), newPic.get(), 45, own);
  }
  EXPECT_EQ(RandSeed, 777u);
  EXPECT_NE(own.Seed, 4242u);
}

TEST(Styles, RegionEdgeCasesDrawNothingRatherThanFail) {
  // style 139 on a picture whose X is 0: no slats of period 0
  TFrame slats(139, 40, 30, 1);
  EXPECT_EQ(slats.X, 0);
  // style 146 on a picture less than 20 pixels high: no bands
  TFrame bands(146, 200, 19, 50);
  for (TFrame* f : {&slats, &bands})
    for (int y = 0; y < f->H; ++y)
      for (int x = 0; x < f->W; ++x) ASSERT_EQ(f->At(x, y), Coded(false, x, y));
  // 99 shows exactly where both grids of 86 and 89 are filled
  for (int p : {20, 40, 60, 80}) {
    TFrame both(99, 200, 100, p), a(86, 200, 100, p), b(89, 200, 100, p);
    int mismatches = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x)
        if (Decode(both.At(x, y)).IsNew != (Decode(a.At(x, y)).IsNew && Decode(b.At(x, y)).IsNew)) ++mismatches;
    EXPECT_EQ(mismatches, 0) << p;
  }
}

TEST(Styles, TurningShapesTurnByTheParityOfThePicturesHandle) {
  // bitmaps are made (and kept, so that no handle value comes back) until two handle values of
  // each parity are at hand
  std::vector<std::unique_ptr<TBitmap>> made;
  std::vector<TBitmap*> even, odd;
  while (made.size() < 256 && (even.size() < 2 || odd.size() < 2)) {
    made.push_back(MakeCoded(120, 120, true));
    auto& bin = reinterpret_cast<std::uintptr_t>(made.back()->Handle()) & 1 ? odd : even;
    if (bin.size() < 2) bin.push_back(made.back().get());
  }
  ASSERT_EQ(even.size(), 2u);
  ASSERT_EQ(odd.size(), 2u);
  auto shape = [](TBitmap* picture) {
    auto screen = MakeCoded(120, 120, false);
    TRandomGenerator g{1};
    DrawStyle(150, screen.get(), picture, 40, g);
    std::vector<bool> s;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 120; ++x) s.push_back(Decode(PixelAt(screen.get(), x, y)).IsNew);
    return s;
  };
  const auto e0 = shape(even[0]), e1 = shape(even[1]), o0 = shape(odd[0]), o1 = shape(odd[1]);
  EXPECT_EQ(e0, e1);
  EXPECT_EQ(o0, o1);
  EXPECT_NE(e0, o0);
  // the two directions are mirror images of each other about the middle column
  int differ = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 120; ++x) differ += e0[std::size_t(y) * 120 + x] != o0[std::size_t(y) * 120 + (119 - x)];
  EXPECT_LT(differ, 120 * 4);
}

TEST(Styles, NamesFollowTheTableAndSharedNamesAreKept) {
  EXPECT_STREQ(TransitionTable[0].Name, L"从右边展开");
  EXPECT_STREQ(TransitionTable[50].Name, L"向中间拉镜头");
  EXPECT_STREQ(TransitionTable[128].Name, L"向右滑动");
  EXPECT_STREQ(TransitionTable[129].Name, L"向左华东");
  EXPECT_STREQ(TransitionTable[175].Name, L"从上边滑动");
  EXPECT_STREQ(TransitionTable[8].Name, TransitionTable[12].Name);
  EXPECT_STREQ(TransitionTable[17].Name, TransitionTable[32].Name);
  EXPECT_STREQ(TransitionTable[18].Name, TransitionTable[33].Name);
  std::set<std::wstring> names;
  for (const TEffect& e : TransitionTable) {
    EXPECT_NE(e.Proc, nullptr);
    names.insert(e.Name);
  }
  EXPECT_EQ(names.size(), std::size_t(kStyleCount - 3));
}

TEST(Styles, EveryStyleFromStartToEndLeavesNoGdiObjectOrHandle) {
  auto runAll = [] {
    auto oldPic = MakeCoded(64, 48, false), newPic = MakeCoded(64, 48, true);
    TRandomGenerator g{3};
    for (int style = 1; style <= kStyleCount; ++style)
      for (int p : {1, 33, 66, 99}) {
        auto screen = CopyOf(oldPic.get());
        DrawStyle(style, screen.get(), newPic.get(), p, g);
        // the frame comes back without a clip region
        HRGN probe = ::CreateRectRgn(0, 0, 1, 1);
        EXPECT_EQ(::GetClipRgn(screen->Canvas()->Handle(), probe), 0) << style;
        ::DeleteObject(probe);
      }
  };
  runAll();  // caches warmed
  const int gdi = GdiHighWater(), handles = CountKernelHandles();
  runAll();
  EXPECT_EQ(GdiHighWater(), gdi);
  EXPECT_EQ(CountKernelHandles(), handles);
  auto a = MakeBitmap32(4, 4), b = MakeBitmap32(4, 4);
  TRandomGenerator g{1};
  EXPECT_THROW(DrawStyle(0, a.get(), b.get(), 50, g), EInvalidOperation);
  EXPECT_THROW(DrawStyle(177, a.get(), b.get(), 50, g), EInvalidOperation);
}

}  // namespace
