// The region builders and pixel routines of the transition styles: regions checked point by point
// with PtInRegion, pixel routines byte-exact on tiny bitmaps.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "PSEffect.h"
#include "TransitionTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

bool In(const TRgnOwner& r, int x, int y) { return r && ::PtInRegion(r.Get(), x, y); }

struct TPointCase {
  int X, Y;
  bool Inside;
};

void ExpectPoints(const TRgnOwner& r, const std::vector<TPointCase>& points, const std::string& what) {
  for (const TPointCase& p : points)
    EXPECT_EQ(In(r, p.X, p.Y), p.Inside) << what << " at (" << p.X << ", " << p.Y << ")";
}

TEST(ComplexRegion, CollectsRectanglesAndGrowsByFiveHundred) {
  TComplexRegion c;
  EXPECT_FALSE(c.CreateRegion());  // nothing collected: no region (selecting 0 would unclip)
  EXPECT_EQ(c.DataSize(), 0u);

  c.AddRect(10, 10, 20, 20);
  c.AddRect(30, 5, 25, 8);  // inverted: stored as given, adds nothing to the region
  c.AddRect(15, 15, 40, 30);
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(c.Capacity(), 500);
  EXPECT_EQ(c.DataSize(), 36u + 16u * 500u);
  EXPECT_EQ(c.Rect(1).left, 30);
  EXPECT_EQ(c.Rect(1).right, 25);
  EXPECT_EQ(c.Bounds().left, 10);
  EXPECT_EQ(c.Bounds().top, 5);
  EXPECT_EQ(c.Bounds().right, 40);
  EXPECT_EQ(c.Bounds().bottom, 30);
  TRgnOwner r = c.CreateRegion();
  ExpectPoints(r, {{10, 10, true}, {19, 19, true}, {20, 12, false}, {39, 29, true}, {27, 6, false}, {12, 25, false}},
               "union");

  for (int i = 3; i < 500; ++i) c.AddRect(i, 100, i + 1, 101);
  EXPECT_EQ(c.Capacity(), 500);
  c.AddRect(0, 200, 1, 201);  // the 501st
  EXPECT_EQ(c.Capacity(), 1000);
  EXPECT_EQ(c.DataSize(), 36u + 16u * 1000u);
  EXPECT_EQ(c.Rect(0).left, 10);  // the first 500 are kept
  EXPECT_EQ(c.Rect(499).left, 499);
  r = c.CreateRegion();
  ExpectPoints(r, {{15, 15, true}, {250, 100, true}, {0, 200, true}, {1, 200, false}}, "after growing");

  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_FALSE(c.CreateRegion());
  EXPECT_EQ(c.Bounds().left, 2147483647);
  EXPECT_EQ(c.Bounds().right, -2147483647);
}

TEST(RegionBuilders, BlindsFillTheirBandsInTheirOrder) {
  // 100 x 100: bands 3 pixels wide; even bands are rows 0-2, 6-8, ..., odd ones 3-5, 9-11, ...
  struct TCase {
    int XP, YP, Horz, Vert;
    std::vector<TPointCase> Points;
  };
  const std::vector<TCase> cases = {
      // kind 1: even bands from the right, then odd bands from the right
      {50, 0, 1, 0, {{50, 1, true}, {49, 1, false}, {99, 1, true}, {60, 4, false}, {60, 97, true}}},
      {150, 0, 1, 0, {{0, 1, true}, {99, 7, true}, {50, 4, true}, {49, 4, false}}},
      // kind 2: from the left
      {50, 0, 2, 0, {{0, 1, true}, {49, 1, true}, {50, 1, false}, {10, 4, false}}},
      {150, 0, 2, 0, {{99, 1, true}, {49, 4, true}, {50, 4, false}}},
      // kind 3: even from the right and odd from the left at once
      {50, 0, 3, 0, {{60, 1, true}, {40, 1, false}, {40, 4, true}, {60, 4, false}}},
      // kind 4: even from the left, then odd from the right; kind 5 the reverse
      {50, 0, 4, 0, {{10, 1, true}, {60, 1, false}}},
      {150, 0, 4, 0, {{10, 1, true}, {60, 4, true}, {40, 4, false}}},
      {50, 0, 5, 0, {{60, 1, true}, {40, 1, false}}},
      {150, 0, 5, 0, {{40, 4, true}, {60, 4, false}}},
      // along y: columns, from the bottom (1) and the top (2); 3 both at once
      {0, 50, 0, 1, {{1, 50, true}, {1, 49, false}, {4, 60, false}}},
      {0, 150, 0, 1, {{1, 0, true}, {4, 50, true}, {4, 49, false}}},
      {0, 50, 0, 2, {{1, 0, true}, {1, 50, false}}},
      {0, 50, 0, 3, {{1, 60, true}, {1, 40, false}, {4, 40, true}, {4, 60, false}}},
      // both axes: the union
      {50, 50, 1, 2, {{60, 1, true}, {1, 10, true}, {40, 70, false}}},
      // kind 0 along both: nothing
      {50, 50, 0, 0, {}},
  };
  for (const TCase& c : cases) {
    TRgnOwner r = BlindsRegion(c.XP, c.YP, 100, 100, c.Horz, c.Vert);
    if (c.Horz == 0 && c.Vert == 0) {
      EXPECT_FALSE(r);
    }
    ExpectPoints(r, c.Points, "blinds " + std::to_string(c.Horz) + "/" + std::to_string(c.Vert) + " at " +
                                  std::to_string(c.XP) + "/" + std::to_string(c.YP));
  }
}

TEST(RegionBuilders, RandomBarsEndWhereTheGeneratorPutsThem) {
  // 200 x 100: bars one pixel high, ends spread by up to W div 10 = 20 around the progress
  const int W = 200, H = 100, XP = 80, l = 20;
  const std::uint32_t globalSeed = RandSeed;
  for (int kind : {1, 2, 3, 4}) {
    TRandomGenerator builder{12345}, expected{12345};
    TRgnOwner r = RandomBarsRegion(builder, XP, 0, W, H, kind, 0);
    ASSERT_TRUE(r);
    for (int y = 0; y < H; ++y) {
      int end = expected.Random(2 * l) - l + XP;
      const std::string what = "kind " + std::to_string(kind) + " row " + std::to_string(y);
      if (kind == 1) {
        EXPECT_TRUE(In(r, W - end, y)) << what;
        EXPECT_FALSE(In(r, W - end - 1, y)) << what;
      } else if (kind == 2) {
        EXPECT_TRUE(In(r, end - 1, y)) << what;
        EXPECT_FALSE(In(r, end, y)) << what;
      } else if (kind == 3) {
        end /= 2;
        EXPECT_TRUE(In(r, W / 2 - end, y) && In(r, W / 2 + end - 1, y)) << what;
        EXPECT_FALSE(In(r, W / 2 - end - 1, y) || In(r, W / 2 + end, y)) << what;
      } else {
        end /= 2;
        EXPECT_TRUE(In(r, 0, y) && In(r, end - 1, y) && In(r, W - end, y)) << what;
        EXPECT_FALSE(In(r, end, y) || In(r, W - end - 1, y)) << what;
      }
    }
    EXPECT_EQ(builder.Seed, expected.Seed);
  }
  EXPECT_EQ(RandSeed, globalSeed);  // the process-wide generator is not used

  // columns from the bottom; at the end (YP >= H) there is no spread and the bars cover all
  TRandomGenerator g{7};
  TRgnOwner full = RandomBarsRegion(g, 0, H, W, H, 0, 1);
  RECT box;
  ASSERT_EQ(::GetRgnBox(full.Get(), &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, W);
  EXPECT_EQ(box.bottom, H);
}

TEST(RegionBuilders, SpotsRunAheadOfASolidEdge) {
  const int W = 200, H = 20;
  TRandomGenerator g{99};
  // spread W div 10 = 20, spot size 2: the first two spots always show, nothing beyond 10 spots
  TRgnOwner r = SpotsRegion(g, 50, 0, W, H, 2, 0);
  for (int y = 0; y < H; ++y) {
    EXPECT_TRUE(In(r, 0, y) && In(r, 49, y)) << y;  // solid part
    EXPECT_TRUE(In(r, 50, y) && In(r, 53, y)) << y;  // spots 1 and 2
    EXPECT_FALSE(In(r, 70, y)) << y;
  }
  // from the right
  r = SpotsRegion(g, 50, 0, W, H, 1, 0);
  EXPECT_TRUE(In(r, 150, 5) && In(r, 199, 5) && In(r, 146, 5));
  EXPECT_FALSE(In(r, 129, 5));
  // at the end there is no spread: only the solid bands, one row of spot size past the bottom
  r = SpotsRegion(g, W, 0, W, H, 2, 0);
  RECT box;
  ASSERT_EQ(::GetRgnBox(r.Get(), &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, W);
  EXPECT_EQ(box.bottom, H + 1);
  // along y from the bottom
  r = SpotsRegion(g, 0, 10, 40, 100, 0, 1);
  EXPECT_TRUE(In(r, 5, 95) && In(r, 5, 90));
  EXPECT_FALSE(In(r, 5, 60));
}

TEST(RegionBuilders, SectorsPolygonsAndRotation) {
  // a quarter from twelve o'clock, clockwise on the screen: the top-right quadrant
  TRgnOwner s = SectorRegion(50, 50, 40, -kPi / 2, 0, 25);
  ExpectPoints(s, {{60, 30, true}, {40, 30, false}, {60, 70, false}, {85, 45, true}}, "sector");
  EXPECT_FALSE(SectorRegion(50, 50, 40, 0, 1, 0));

  // WINDING: the middle of a five-pointed star drawn in one stroke is inside
  TRgnOwner star = PolygonRegion({50, 0, 80, 95, 2, 35, 98, 35, 20, 95});
  ExpectPoints(star, {{50, 50, true}, {50, 5, true}, {5, 5, false}}, "star");

  POINT p[3] = {{10, 0}, {0, 0}, {13, 7}};
  RotatePoints(p, 2, 0, 0, kPi / 2);
  EXPECT_EQ(p[0].x, 0);
  EXPECT_EQ(p[0].y, 10);
  EXPECT_EQ(p[1].x, 0);
  EXPECT_EQ(p[1].y, 0);
  EXPECT_EQ(p[2].x, -7);
  EXPECT_EQ(p[2].y, 13);
  POINT q[1] = {{20, 10}};
  RotatePoints(q, 0, 10, 10, kPi);  // about another centre
  EXPECT_EQ(q[0].x, 0);
  EXPECT_EQ(q[0].y, 10);
}

// Grey 100 everywhere, one row or column of the ramp read back.
std::vector<int> RampedColumns(int width, int depth, int start, int count) {
  auto b = MakeFilled(width, 3, 0x44646464);
  ColumnRamp(b.get(), static_cast<std::uint8_t>(depth), start, count);
  std::vector<int> out;
  for (int x = 0; x < width; ++x) {
    const std::uint32_t px = PixelAt(b.get(), x, 1);
    EXPECT_EQ(px, PixelAt(b.get(), x, 0));
    EXPECT_EQ(px >> 24, 0x44u);  // the fourth byte stays
    EXPECT_EQ(px & 0xFF, (px >> 8) & 0xFF);
    out.push_back(static_cast<int>(px & 0xFF) - 100);
  }
  return out;
}

TEST(PixelRoutines, ColumnRampDarkensTowardsTheBandsEdges) {
  EXPECT_EQ(RampedColumns(10, 64, 0, 10), (std::vector<int>{-64, -52, -40, -28, -16, -4, -16, -28, -40, -52}));
  EXPECT_EQ(RampedColumns(20, 4, 0, 20),
            (std::vector<int>{-4, -4, -3, -3, -2, -2, -1, -1, 0, 0, -1, -1, -2, -2, -3, -3, -4, -4, -5, -5}));
  // clamped at 0 and only inside the band
  EXPECT_EQ(RampedColumns(6, 200, 2, 2), (std::vector<int>{0, 0, -100, 0, 0, 0}));
  // nothing for a band of one column or no depth; a band past the edge is cut off
  EXPECT_EQ(RampedColumns(4, 64, 1, 1), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(RampedColumns(4, 0, 0, 4), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(RampedColumns(4, 64, 2, 10), (std::vector<int>{0, 0, -64, -52}));
}

TEST(PixelRoutines, RowRampRisesFromTheBandsBottomRow) {
  auto b = MakeFilled(3, 12, 0x00646464);
  RowRamp(b.get(), 64, 1, 10);
  std::vector<int> rows;
  for (int y = 0; y < 12; ++y) rows.push_back(static_cast<int>(PixelAt(b.get(), 2, y) & 0xFF) - 100);
  EXPECT_EQ(rows, (std::vector<int>{0, -76, -64, -52, -40, -28, -16, -28, -40, -52, -64, 0}));
  auto c = MakeFilled(1, 4, 0x00646464);
  RowRamp(c.get(), 64, 0, 1);
  RowRamp(c.get(), 0, 0, 4);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(PixelAt(c.get(), 0, y), 0x00646464u);
}

TEST(PixelRoutines, BlendMovesEachColourByteByThePercentage) {
  auto screen = MakeFilled(4, 3, 0x11C80A0A);   // A 0x11, R 200, G 10, B 10
  auto picture = MakeFilled(4, 3, 0x9900FAFA);  // A 0x99, R 0, G 250, B 250
  BlendRect(screen.get(), picture.get(), 50, 1, 1, 10, 10);  // reaches past the edge: cut off
  // 50 %: a = 128; 10 + (240 * 128 >> 8) = 130; 200 + (-200 * 128 >> 8) = 100
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(PixelAt(screen.get(), x, y), x >= 1 && y >= 1 ? 0x11648282u : 0x11C80A0Au) << x << "," << y;
  auto s2 = MakeFilled(2, 2, 0x00C80A0A);
  BlendRect(s2.get(), picture.get(), 100, 0, 0, 2, 2);  // all the way: the picture's colours
  EXPECT_EQ(PixelAt(s2.get(), 1, 1), 0x0000FAFAu);
  BlendRect(s2.get(), screen.get(), 0, 0, 0, 2, 2);  // 0 %: nothing moves
  EXPECT_EQ(PixelAt(s2.get(), 0, 0), 0x0000FAFAu);
  // 33 %: a = 84; 10 + (240 * 84 >> 8) = 88; 200 + (-200 * 84 >> 8) = 200 - 66 = 134
  auto s3 = MakeFilled(1, 1, 0x00C80A0A);
  BlendRect(s3.get(), picture.get(), 33, 0, 0, 1, 1);
  EXPECT_EQ(PixelAt(s3.get(), 0, 0), 0x00865858u);
}

TEST(PixelRoutines, PageTurnTakesTheTurnedPicturesPixels) {
  // a quarter turn about (3, -1) on 4 x 4, rows counted from the bottom: only the right column's
  // two bottom pixels fall on the picture: (3, 0) takes (1, 0) and (3, 1) takes (0, 0)
  auto screen = MakeCoded(4, 4, false);
  auto picture = MakeCoded(4, 4, true);
  PageTurn(screen.get(), picture.get(), 3, -1, -kPi / 2);
  for (int top = 0; top < 4; ++top)
    for (int x = 0; x < 4; ++x) {
      const int v = 3 - top;  // row from the bottom
      TSource s = Decode(PixelAt(screen.get(), x, top));
      if (x == 3 && v == 0) {
        EXPECT_TRUE(s.IsNew && s.X == 1 && s.Y == 3) << x << "," << top;
      } else if (x == 3 && v == 1) {
        EXPECT_TRUE(s.IsNew && s.X == 0 && s.Y == 3) << x << "," << top;
      } else {
        EXPECT_TRUE(!s.IsNew && s.X == x && s.Y == top) << x << "," << top;
      }
    }
}

}  // namespace
