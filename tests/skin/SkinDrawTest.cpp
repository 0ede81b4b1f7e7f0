// Picture and drawing routines of the skin on real GDI: nine-slicing, transparent blits, regions
// from bitmaps, turns and mirrors, colour blending, gradients, and the skinners' drawing routines.
#include <gtest/gtest.h>

#include <windows.h>

#include "ExtCtrls.h"
#include "Forms.h"
#include "SkinBitmaps.h"
#include "SkinControl.h"
#include "SkinDraw.h"
#include "SkinPaint.h"
#include "SkinTestUtil.h"

namespace kivo::test {
namespace {

TObjectPtr<TBitmap> Solid(int w, int h, TColor c, TPixelFormat f = TPixelFormat::pf24bit) {
  TObjectPtr<TBitmap> b(new TBitmap(w, h, f));
  b->Canvas()->Brush()->SetColor(c);
  b->Canvas()->FillRect(RECT{0, 0, w, h});
  ::GdiFlush();
  return b;
}

// 9 x 9 in 3 x 3 blocks: the colour of block (column, row) is kBlocks[row][column].
const TColor kBlocks[3][3] = {{0x000011, 0x000022, 0x000033}, {0x001100, 0x002200, 0x003300}, {0x110000, 0x220000, 0x330000}};
TObjectPtr<TBitmap> Blocks() {
  TObjectPtr<TBitmap> b = Solid(9, 9, clBlack);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      b->Canvas()->Brush()->SetColor(kBlocks[r][c]);
      b->Canvas()->FillRect(RECT{3 * c, 3 * r, 3 * c + 3, 3 * r + 3});
    }
  ::GdiFlush();
  return b;
}

TEST(SkinDrawTest, NineSliceKeepsCornersAndStretchesEdgesAndMiddle) {
  TObjectPtr<TBitmap> blocks = Blocks();
  for (bool tile : {false, true}) {
    SCOPED_TRACE(tile);
    TObjectPtr<TBitmap> out = SliceBitmap(RECT{0, 0, 50, 30}, blocks.get(), RECT{3, 3, 3, 3}, false, tile, 1, 1);
    ASSERT_EQ(out->Width(), 50);
    ASSERT_EQ(out->Height(), 30);
    // the region of each block: corners 3 x 3, edges and middle stretched between them
    const int xs[3][2] = {{0, 2}, {3, 46}, {47, 49}}, ys[3][2] = {{0, 2}, {3, 26}, {27, 29}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        for (int x : xs[c])
          for (int y : ys[r]) EXPECT_EQ(PixelOf(*out, x, y), static_cast<std::uint32_t>(kBlocks[r][c])) << x << "," << y;
  }
  // a frame of a strip: frame 2 of 2 side by side, and of 2 stacked
  TObjectPtr<TBitmap> strip = Solid(4, 2, 0x0000AA);
  strip->Canvas()->Brush()->SetColor(0x00BB00);
  strip->Canvas()->FillRect(RECT{2, 0, 4, 2});
  EXPECT_EQ(PixelOf(*SliceBitmap(RECT{0, 0, 5, 5}, strip.get(), RECT{}, false, false, 2, 2), 2, 2), 0x00BB00u);
  TObjectPtr<TBitmap> stacked = Solid(2, 4, 0x0000AA);
  stacked->Canvas()->Brush()->SetColor(0x00BB00);
  stacked->Canvas()->FillRect(RECT{0, 2, 2, 4});
  EXPECT_EQ(PixelOf(*SliceBitmap(RECT{0, 0, 5, 5}, stacked.get(), RECT{}, true, false, 2, 2), 2, 2), 0x00BB00u);
  EXPECT_EQ(PixelOf(*SliceBitmap(RECT{0, 0, 5, 5}, stacked.get(), RECT{}, true, false, 2, 1), 2, 2), 0x0000AAu);
}

TEST(SkinDrawTest, MarginsThatDoNotFitAreDropped) {
  TObjectPtr<TBitmap> blocks = Blocks();
  // 5 wide (less than 3 + 3): no corners across, the whole width stretched; heights still fit
  TObjectPtr<TBitmap> narrow = SliceBitmap(RECT{0, 0, 5, 30}, blocks.get(), RECT{3, 3, 3, 3}, false, false, 1, 1);
  EXPECT_EQ(PixelOf(*narrow, 0, 15), static_cast<std::uint32_t>(kBlocks[1][0]));
  EXPECT_EQ(PixelOf(*narrow, 4, 15), static_cast<std::uint32_t>(kBlocks[1][2]));
  EXPECT_EQ(PixelOf(*narrow, 0, 0), static_cast<std::uint32_t>(kBlocks[0][0]));
  EXPECT_EQ(PixelOf(*narrow, 4, 29), static_cast<std::uint32_t>(kBlocks[2][2]));
  // the same across the height
  TObjectPtr<TBitmap> low = SliceBitmap(RECT{0, 0, 30, 5}, blocks.get(), RECT{3, 3, 3, 3}, false, false, 1, 1);
  EXPECT_EQ(PixelOf(*low, 15, 0), static_cast<std::uint32_t>(kBlocks[0][1]));
  EXPECT_EQ(PixelOf(*low, 15, 4), static_cast<std::uint32_t>(kBlocks[2][1]));
  // nothing for an empty destination
  EXPECT_TRUE(SliceBitmap(RECT{0, 0, 0, 5}, blocks.get(), RECT{}, false, false, 1, 1)->Empty());
}

TEST(SkinDrawTest, TransparentBlitsKeepTheMagentaPixelsOfTheDestination) {
  TObjectPtr<TBitmap> dest = Solid(6, 6, 0x123456);
  TObjectPtr<TBitmap> picture = Solid(4, 4, clFuchsia);
  picture->Canvas()->Brush()->SetColor(0x00FF00);
  picture->Canvas()->FillRect(RECT{1, 1, 3, 3});
  ::GdiFlush();
  DrawTransparent(dest->Canvas()->Handle(), RECT{1, 1, 5, 5}, picture.get());
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*dest, 1, 1), 0x123456u);
  EXPECT_EQ(PixelOf(*dest, 2, 2), 0x00FF00u);
  EXPECT_EQ(PixelOf(*dest, 3, 3), 0x00FF00u);
  EXPECT_EQ(PixelOf(*dest, 4, 4), 0x123456u);
  // a rectangle turned inside out draws nothing
  DrawTransparent(dest->Canvas()->Handle(), RECT{5, 5, 1, 1}, picture.get());
  DrawSliced(dest->Canvas()->Handle(), RECT{5, 0, 0, 5}, picture.get(), false, false, false, 1, 1, RECT{});
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*dest, 0, 0), 0x123456u);
  // a frame centred at its own size, overlapping a smaller rectangle
  TObjectPtr<TBitmap> two = Solid(8, 2, 0x0000AA);
  DrawFrameCentered(dest->Canvas()->Handle(), RECT{2, 2, 4, 4}, two.get(), false, 2, 1);
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*dest, 1, 2), 0x0000AAu);  // x 2 + (2 - 4) / 2 = 1
  EXPECT_EQ(PixelOf(*dest, 5, 2), 0x123456u);
}

TEST(SkinDrawTest, TileAndThreeSliceRepeatTheMiddle) {
  TObjectPtr<TBitmap> dest = Solid(20, 4, clBlack);
  TObjectPtr<TBitmap> part = Solid(3, 2, 0x0000AA);
  part->Canvas()->Brush()->SetColor(0x00BB00);
  part->Canvas()->FillRect(RECT{2, 0, 3, 2});
  TileBitmap(dest->Canvas(), RECT{1, 0, 11, 4}, part.get(), RECT{0, 0, 3, 2});
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*dest, 1, 3), 0x0000AAu);
  EXPECT_EQ(PixelOf(*dest, 3, 0), 0x00BB00u);
  EXPECT_EQ(PixelOf(*dest, 9, 1), 0x00BB00u);
  EXPECT_EQ(PixelOf(*dest, 10, 1), 0x0000AAu);
  EXPECT_EQ(PixelOf(*dest, 11, 1), 0u);  // nothing beyond the destination
  // three-slice: left 1, middle 1 (repeated), right 1 of a 3-wide frame
  TObjectPtr<TBitmap> three = Solid(3, 1, 0x000011);
  three->Canvas()->SetPixel(1, 0, 0x000022);
  three->Canvas()->SetPixel(2, 0, 0x000033);
  TObjectPtr<TBitmap> out = Solid(7, 3, clBlack);
  DrawThreeSlice(out->Canvas(), RECT{0, 0, 7, 3}, three.get(), false, false, 1, 1, RECT{1, 0, 1, 0});
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*out, 0, 2), 0x000011u);
  EXPECT_EQ(PixelOf(*out, 3, 1), 0x000022u);
  EXPECT_EQ(PixelOf(*out, 6, 0), 0x000033u);
}

int RegionRects(HRGN rgn) {
  const DWORD size = ::GetRegionData(rgn, 0, nullptr);
  std::vector<std::uint8_t> data(size);
  ::GetRegionData(rgn, size, reinterpret_cast<RGNDATA*>(data.data()));
  return static_cast<int>(reinterpret_cast<RGNDATA*>(data.data())->rdh.nCount);
}

TEST(SkinDrawTest, RegionsFromBitmaps) {
  {
    TObjectPtr<TBitmap> magenta = Solid(1, 1, clFuchsia);
    TRgnOwner rgn(RegionFromBitmap(magenta.get(), 0, 0, 1, 1, 1));
    RECT box;
    EXPECT_EQ(::GetRgnBox(rgn.Get(), &box), NULLREGION);
  }
  {
    TObjectPtr<TBitmap> opaque = Solid(4, 3, 0x445566, TPixelFormat::pf32bit);
    TRgnOwner rgn(RegionFromBitmap(opaque.get(), 10, 20, 1, 1, 1));
    RECT box;
    EXPECT_EQ(::GetRgnBox(rgn.Get(), &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.top, 20);
    EXPECT_EQ(box.right, 14);
    EXPECT_EQ(box.bottom, 23);
  }
  {
    // within the tolerance a pixel counts as magenta
    TObjectPtr<TBitmap> almost = Solid(3, 1, clFuchsia);
    almost->Canvas()->SetPixel(1, 0, RGB(255, 1, 255));
    almost->Canvas()->SetPixel(2, 0, RGB(254, 0, 255));
    ::GdiFlush();
    TRgnOwner rgn(RegionFromBitmap(almost.get(), 0, 0, 1, 1, 1));
    EXPECT_FALSE(::PtInRegion(rgn.Get(), 1, 0));
    EXPECT_TRUE(::PtInRegion(rgn.Get(), 2, 0));
  }
  {
    // 5,000 pixels alternating: 2,500 one-pixel rectangles (built in blocks of 2,000)
    TObjectPtr<TBitmap> row = Solid(5000, 1, clFuchsia);
    auto* p = static_cast<std::uint8_t*>(row->ScanLine(0));
    for (int x = 0; x < 5000; x += 2) p[3 * x + 1] = 0x80;  // green: opaque
    TRgnOwner rgn(RegionFromBitmap(row.get(), 0, 0, 1, 1, 1));
    EXPECT_EQ(RegionRects(rgn.Get()), 2500);
    EXPECT_TRUE(::PtInRegion(rgn.Get(), 4998, 0));
    EXPECT_FALSE(::PtInRegion(rgn.Get(), 4999, 0));
  }
}

TEST(SkinDrawTest, ParentBackgroundIsPaintedUnderTheControl) {
  {
    TObjectPtr<TForm> form(Create<TForm>(nullptr));
    form->SetColor(clRed);
    form->SetBounds(0, 0, 200, 150);
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(10, 10, 20, 20);
    panel->SetColor(clBlue);
    form->HandleNeeded();
    TObjectPtr<TBitmap> under = Solid(30, 30, clBlack);
    PaintParentBackground(panel, under->Canvas()->Handle());
    ::GdiFlush();
    EXPECT_EQ(PixelOf(*under, 0, 0), 0x0000FFu);    // the form's colour at the panel's place
    EXPECT_EQ(PixelOf(*under, 19, 19), 0x0000FFu);
    EXPECT_EQ(PixelOf(*under, 25, 25), 0u);         // nothing beyond the panel's size
    TObjectPtr<TPanel> orphan(new TPanel(nullptr));  // no parent: nothing
    PaintParentBackground(orphan.get(), under->Canvas()->Handle());
  }
  DoneApplication();
}

std::vector<std::uint32_t> PixelsOf(TBitmap& b) {
  std::vector<std::uint32_t> v;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) v.push_back(PixelOf(b, x, y));
  return v;
}

TEST(SkinBitmapsTest, TurnsMirrorsAndFlips) {
  for (TPixelFormat f : {TPixelFormat::pf24bit, TPixelFormat::pf32bit, TPixelFormat::pf8bit}) {
    TObjectPtr<TBitmap> b = Solid(3, 2, clBlack, f);
    const TColor c[2][3] = {{0x000001, 0x000002, 0x000003}, {0x000100, 0x000200, 0x000300}};
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) b->Canvas()->SetPixel(x, y, f == TPixelFormat::pf8bit ? (x + y ? clWhite : clRed) : c[y][x]);
    ::GdiFlush();
    const std::vector<std::uint32_t> original = PixelsOf(*b);
    RotateBitmapLeft(b.get());
    ASSERT_EQ(b->Width(), 2);
    ASSERT_EQ(b->Height(), 3);
    if (f == TPixelFormat::pf24bit) {
      // the old top row is the new left column, read from bottom to top
      EXPECT_EQ(PixelOf(*b, 0, 0), 0x000003u);
      EXPECT_EQ(PixelOf(*b, 0, 2), 0x000001u);
      EXPECT_EQ(PixelOf(*b, 1, 2), 0x000100u);
    }
    RotateBitmapRight(b.get());
    EXPECT_EQ(PixelsOf(*b), original);
    RotateBitmapRight(b.get());
    if (f == TPixelFormat::pf24bit) {
      EXPECT_EQ(PixelOf(*b, 0, 0), 0x000100u);  // the old left column is the new top row, right to left
      EXPECT_EQ(PixelOf(*b, 1, 0), 0x000001u);
    }
    RotateBitmapLeft(b.get());
    EXPECT_EQ(PixelsOf(*b), original);
    MirrorBitmap(b.get());
    if (f == TPixelFormat::pf24bit) {
      EXPECT_EQ(PixelOf(*b, 0, 0), 0x000003u);
    }
    MirrorBitmap(b.get());
    EXPECT_EQ(PixelsOf(*b), original);
    FlipBitmap(b.get());
    if (f == TPixelFormat::pf24bit) {
      EXPECT_EQ(PixelOf(*b, 0, 0), 0x000100u);
    }
    FlipBitmap(b.get());
    EXPECT_EQ(PixelsOf(*b), original);
  }
}

TEST(SkinBitmapsTest, ReplaceMagentaTakesTheColourBytes) {
  TObjectPtr<TBitmap> b = Solid(3, 1, clFuchsia, TPixelFormat::pf32bit);
  b->Canvas()->SetPixel(1, 0, RGB(254, 0, 255));
  ::GdiFlush();
  ReplaceMagenta(b.get(), 0x112233);
  EXPECT_EQ(b->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(PixelOf(*b, 0, 0), 0x112233u);
  EXPECT_EQ(PixelOf(*b, 1, 0), static_cast<std::uint32_t>(RGB(254, 0, 255)));
  ReplaceMagenta(b.get(), clBtnFace);  // not resolved: the value's own bytes
  EXPECT_EQ(PixelOf(*b, 2, 0), 0x112233u);
  TObjectPtr<TBitmap> c = Solid(1, 1, clFuchsia);
  ReplaceMagenta(c.get(), clBtnFace);
  EXPECT_EQ(PixelOf(*c, 0, 0), 0x00000Fu);
}

TEST(SkinBitmapsTest, BlendAndSaturation) {
  struct TBlend {
    TColor a, b;
    int weight;
    std::uint32_t expected;
  } blends[] = {
      {clWhite, clBlack, 50, 0x808080},     // halves round up
      {clGray, clBlack, 150, 0x131313},     // 15 % of 128
      {clWhite, clBlack, 100, 0x1A1A1A},    // from 100 on per mille: 10 %
      {clWhite, clBlack, 99, 0xFCFCFC},     // below 100 percent
      {0x0000FF, 0xFF0000, 0, 0xFF0000},
  };
  for (const TBlend& b : blends)
    EXPECT_EQ(static_cast<std::uint32_t>(BlendColor(b.a, b.b, b.weight)), b.expected) << b.weight;
  EXPECT_EQ(static_cast<std::uint32_t>(BlendColor(clBtnFace, clBtnFace, 50)), ::GetSysColor(COLOR_BTNFACE));
  struct TSat {
    TColor c;
    int expected;
  } sats[] = {{clRed, 255}, {static_cast<TColor>(RGB(100, 50, 50)), 200}, {clWhite, 0},
              {static_cast<TColor>(RGB(200, 100, 100)), 128}, {static_cast<TColor>(RGB(255, 0, 255)), 255}};
  for (const TSat& s : sats) EXPECT_EQ(ColorSaturation(s.c), s.expected) << std::hex << s.c;
}

TEST(SkinBitmapsTest, GradientFillsStripsInsideTheClip) {
  TObjectPtr<TBitmap> b = Solid(4, 40, 0x0000FF);
  HDC dc = b->Canvas()->Handle();
  EXPECT_EQ(GradientFill(dc, RECT{0, 0, 4, 40}, clWhite, true, clBlack), 1);
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*b, 2, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(*b, 2, 39), 0x010101u);  // a falling channel ends one step short
  EXPECT_EQ(PixelOf(*b, 2, 20), 0x7D7D7Du);  // 255 + (19 - 20 x 255) div 39
  // only what the clip box lets through
  TObjectPtr<TBitmap> c = Solid(30, 2, 0x0000FF);
  HDC cdc = c->Canvas()->Handle();
  {
    TSavedDCState state(cdc);
    ::IntersectClipRect(cdc, 10, 0, 20, 2);
    GradientFill(cdc, RECT{0, 0, 30, 2}, clBlack, false, clWhite);
  }
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*c, 9, 0), 0x0000FFu);
  EXPECT_EQ(PixelOf(*c, 20, 1), 0x0000FFu);
  EXPECT_NE(PixelOf(*c, 10, 0), 0x0000FFu);
  // a rising gradient is found again in the cache, a falling one is made anew
  const auto& rising = GetGradient(30, 0x000000, 0xFFFFFF);
  EXPECT_EQ(FindGradient(30, 0x000000, 0xFFFFFF), &rising);
  MakeGradient(40, 0xFFFFFF, 0x000000);
  EXPECT_EQ(FindGradient(40, 0xFFFFFF, 0x000000), nullptr);
  EXPECT_EQ(MakeGradient(1, 0x000000, 0x0A0A0A)[0], 0x050505u);
}

// A skinner that remembers what it was asked to draw.
class TRecordingSkinner : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  void Draw(HDC, const RECT& r) override {
    ++draws;
    last = r;
  }
  int draws = 0;
  RECT last{};
};

TEST(SkinPaintTest, PaintMessagesDrawTheWholeWindow) {
  TWindowOwner wnd(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 40, 30, nullptr, nullptr,
                                     nullptr, nullptr));
  ASSERT_TRUE(wnd.Valid());
  TObjectPtr<TRecordingSkinner> s(new TRecordingSkinner(nullptr));
  s->Handle = wnd.Get();
  TObjectPtr<TBitmap> target = Solid(40, 30, clBlack);
  TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(target->Canvas()->Handle()), 0, 0};
  SkinPaintMessage(s.get(), m);
  EXPECT_EQ(s->draws, 1);
  EXPECT_EQ(s->last.right, 40);
  EXPECT_EQ(s->last.bottom, 30);
  EXPECT_EQ(s->WindowRect.left, 10);
  s->PaintFrame(nullptr);  // through the window's own DC
  EXPECT_EQ(s->draws, 2);
  // erasing a plain window fills it with the skin's face colour (no skin: the system's)
  TMessage e{WM_ERASEBKGND, reinterpret_cast<WPARAM>(target->Canvas()->Handle()), 0, 0};
  SkinEraseMessage(s.get(), e);
  EXPECT_EQ(e.Result, 1);
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*target, 5, 5), ::GetSysColor(COLOR_BTNFACE));
  // a window that is gone is not drawn
  const HWND gone = wnd.Get();
  wnd.Reset();
  s->Handle = gone;
  s->PaintFrame(nullptr);
  EXPECT_EQ(s->draws, 2);
}

TEST(SkinPaintTest, SkinObjectsAndStripCells) {
  TObjectPtr<TSkinControl> s(new TSkinControl(nullptr));
  TDataSkinObject object(L"Test");
  // 30 wide: three 10-pixel blocks; margins 10 and 10
  object.Bitmap->Assign(Solid(30, 4, 0x000011).get());
  object.Bitmap->Canvas()->Brush()->SetColor(0x000022);
  object.Bitmap->Canvas()->FillRect(RECT{10, 0, 20, 4});
  object.Bitmap->Canvas()->Brush()->SetColor(0x000033);
  object.Bitmap->Canvas()->FillRect(RECT{20, 0, 30, 4});
  object.LeftWidth = object.RightWidth = 10;
  TObjectPtr<TBitmap> target = Solid(40, 4, clBlack);
  HDC dc = target->Canvas()->Handle();
  DrawSkinObject(s.get(), dc, RECT{0, 0, 15, 4}, 1, 1, &object);  // 15 < 20: margins go, all stretched
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*target, 0, 1), 0x000011u);
  EXPECT_EQ(PixelOf(*target, 7, 1), 0x000022u);
  EXPECT_EQ(PixelOf(*target, 14, 1), 0x000033u);
  DrawSkinObject(s.get(), dc, RECT{30, 0, 20, 4}, 1, 1, &object);  // right < left: nothing
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*target, 25, 1), 0u);

  // strip cells: cell 2 of 3, magenta left transparent, by all three routes
  TObjectPtr<TBitmap> strip = Solid(6, 2, 0x0000AA);
  strip->Canvas()->Brush()->SetColor(0x00BB00);
  strip->Canvas()->FillRect(RECT{2, 0, 4, 2});
  strip->Canvas()->SetPixel(2, 0, RGB(255, 0, 255));
  ::GdiFlush();
  for (int route = 0; route < 3; ++route) {
    SCOPED_TRACE(route);
    TObjectPtr<TBitmap> t = Solid(8, 8, 0x123456);
    const RECT r{2, 2, 6, 6};
    if (route == 0) DrawStripFrame(s.get(), t->Canvas()->Handle(), r, 3, 2, strip.get());
    if (route == 1) DrawStripFrameDC(s.get(), t->Canvas()->Handle(), r, 3, 2, strip.get());
    if (route == 2) DrawStripFrameCanvas(s.get(), t->Canvas(), r, 3, 2, strip.get());
    ::GdiFlush();
    EXPECT_EQ(PixelOf(*t, 2, 2), 0x123456u);  // the magenta pixel, stretched to 2 x 2
    EXPECT_EQ(PixelOf(*t, 5, 5), 0x00BB00u);
    EXPECT_EQ(PixelOf(*t, 6, 6), 0x123456u);
  }
}

// The first and last rows of a bitmap holding a pixel other than its background.
std::pair<int, int> InkRows(TBitmap& b, std::uint32_t background) {
  int first = -1, last = -1;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (PixelOf(b, x, y) != background) {
        if (first < 0) first = y;
        last = y;
        break;
      }
  return {first, last};
}

TEST(SkinPaintTest, LabelsSitWhereTheirRulesPutThem) {
  TObjectPtr<TSkinControl> s(new TSkinControl(nullptr));
  TObjectPtr<TBitmap> b = Solid(120, 40, clWhite);
  TCanvas* c = b->Canvas();
  c->Font()->SetName(L"Tahoma");
  c->Font()->SetHeight(-11);
  c->Font()->SetColor(clBlack);
  c->Font()->SetStyle(fsBold);
  SIZE t;
  {
    TSelectObject font(c->Handle(), c->Font()->Handle());
    ::GetTextExtentPoint32W(c->Handle(), L"Hg", 2, &t);
  }
  // DT_LEFT in a rectangle 20 high: the text cell starts at (20 - height) div 2 - 1
  DrawLabel(s.get(), c, RECT{0, 10, 120, 30}, DT_LEFT, true, L"Hg");
  ::GdiFlush();
  EXPECT_EQ(c->Font()->Style(), 0);  // labels are drawn without style
  const auto rows = InkRows(*b, 0xFFFFFF);
  ASSERT_GE(rows.first, 0);
  EXPECT_GE(rows.first, 10 + (20 - t.cy) / 2 - 1);
  EXPECT_LE(rows.second, 10 + (20 - t.cy) / 2 - 1 + t.cy);
  // disabled: the button-shadow colour
  TObjectPtr<TBitmap> d = Solid(60, 20, clWhite);
  DrawLabel(s.get(), d->Canvas(), RECT{0, 0, 60, 20}, DT_CENTER, false, L"WWW");
  EXPECT_EQ(d->Canvas()->Font()->Color(), clBtnShadow);

  // an icon 16 wide does not fit a rectangle 14 wide: no icon, the text alone
  HIMAGELIST images = ::ImageList_Create(16, 16, ILC_COLOR24, 1, 0);
  {
    TWindowDC screen(nullptr);
    TBitmapOwner red(::CreateCompatibleBitmap(screen.Get(), 16, 16));
    {
      TMemDCOwner mem(::CreateCompatibleDC(screen.Get()));
      TSelectObject sel(mem.Get(), red.Get());
      TBrushOwner brush(::CreateSolidBrush(RGB(255, 0, 0)));
      const RECT all{0, 0, 16, 16};
      ::FillRect(mem.Get(), &all, brush.Get());
    }
    ::ImageList_Add(images, red.Get(), nullptr);
  }
  s->IsEnabled = 1;
  TObjectPtr<TBitmap> narrow = Solid(14, 20, clWhite);
  DrawIconLabel(s.get(), narrow->Canvas(), RECT{0, 0, 14, 20}, 0, L"", 0, images);
  ::GdiFlush();
  EXPECT_EQ(InkRows(*narrow, 0xFFFFFF).first, -1);
  TObjectPtr<TBitmap> wide = Solid(40, 20, clWhite);
  DrawIconLabel(s.get(), wide->Canvas(), RECT{0, 0, 40, 20}, 0, L"", 0, images);
  ::GdiFlush();
  EXPECT_EQ(PixelOf(*wide, 3 + 8, 2 + 8), 0x0000FFu);  // x 3, y (20 - 16) div 2
  ::ImageList_Destroy(images);

  // centred one-line text and the focus rectangle around centred text
  TObjectPtr<TBitmap> centred = Solid(100, 30, clWhite);
  centred->Canvas()->Font()->SetColor(clBlack);
  DrawCentredText(centred->Canvas(), RECT{0, 0, 100, 30}, L"III", 0, true);
  ::GdiFlush();
  int left = 100, right = -1;
  for (int x = 0; x < 100; ++x)
    for (int y = 0; y < 30; ++y)
      if (PixelOf(*centred, x, y) != 0xFFFFFFu) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  ASSERT_GE(right, left);
  EXPECT_LE(std::abs((left + right) / 2 - 50), 3);
  TObjectPtr<TBitmap> focus = Solid(100, 30, clWhite);
  DrawSkinFocusRect(s.get(), focus->Canvas()->Handle(), L"WW", DT_CENTER, RECT{0, 0, 100, 30});
  ::GdiFlush();
  int marked = 0, outside = 0;
  for (int x = 0; x < 100; ++x)
    for (int y = 0; y < 30; ++y)
      if (PixelOf(*focus, x, y) != 0xFFFFFFu) ++((x >= 30 && x < 70) ? marked : outside);
  EXPECT_GT(marked, 0);  // a box around the centred text
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace kivo::test
