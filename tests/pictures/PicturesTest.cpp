// TBitmap on its DIB section, the canvas operations, transparency and masks, icons, image lists
// and TImage, checked pixel by pixel with GDI.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "CodecSamples.h"
#include "ExtCtrls.h"
#include "ExtImage.h"
#include "Forms.h"
#include "ImgList.h"
#include "PictureTestUtil.h"
#include "Pictures.h"

using namespace kivo;
using kivo::test::PixelOf;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255),
                   kBlack = RGB(0, 0, 0);

void Fill(TBitmap& b, TColor c) {
  b.Canvas()->Brush()->SetColor(c);
  b.Canvas()->FillRect(RECT{0, 0, b.Width(), b.Height()});
}

// ---- DIB section, scan lines, pixel formats -----------------------------------------------------

TEST(Bitmap, ScanLineZeroIsTheTopRowOfABottomUpDib) {
  TBitmap b(3, 4, TPixelFormat::pf24bit);
  auto* top = static_cast<BYTE*>(b.ScanLine(0));
  top[0] = 0x11, top[1] = 0x22, top[2] = 0x33;  // B, G, R of (0, 0)
  auto* bottom = static_cast<BYTE*>(b.ScanLine(3));
  bottom[3] = 0x44, bottom[4] = 0x55, bottom[5] = 0x66;  // (1, 3)
  EXPECT_EQ(PixelOf(b, 0, 0), RGB(0x33, 0x22, 0x11));
  EXPECT_EQ(PixelOf(b, 1, 3), RGB(0x66, 0x55, 0x44));

  // GDI keeps the rows bottom-up: the top row is the last one in memory
  DIBSECTION ds{};
  ASSERT_EQ(::GetObjectW(b.Handle(), sizeof(ds), &ds), int(sizeof(ds)));
  EXPECT_GT(ds.dsBmih.biHeight, 0);
  EXPECT_EQ(b.BytesPerScanLine(), 12);
  EXPECT_EQ(static_cast<BYTE*>(ds.dsBm.bmBits) + 3 * 12, top);
  EXPECT_EQ(static_cast<BYTE*>(ds.dsBm.bmBits), bottom);
  EXPECT_THROW(b.ScanLine(4), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
}

struct TFormatCase {
  TPixelFormat Format;
  int Bits;
};
class BitmapFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(BitmapFormat, KeepsPureColoursThroughDrawingSavingAndLoading) {
  const TFormatCase c = GetParam();
  TBitmap b(5, 3, c.Format);
  EXPECT_EQ(b.BitCount(), c.Bits);
  DIBSECTION ds{};
  ASSERT_EQ(::GetObjectW(b.Handle(), sizeof(ds), &ds), int(sizeof(ds)));
  EXPECT_EQ(ds.dsBmih.biBitCount, c.Bits);
  // colours every format can hold exactly (the 4- and 8-bit tables hold them too)
  const COLORREF colours[] = {kBlack, kWhite, kRed, kBlue, kGreen};
  const bool mono = c.Bits == 1;
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 3; ++y) b.Canvas()->SetPixel(x, y, static_cast<TColor>(mono ? colours[(x + y) % 2] : colours[(x + y) % 5]));
  auto expected = [&](int x, int y) { return mono ? colours[(x + y) % 2] : colours[(x + y) % 5]; };
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 3; ++y) ASSERT_EQ(PixelOf(b, x, y), expected(x, y)) << x << "," << y;

  test::TTempDir dir;
  const std::wstring file = dir.Path(L"f.bmp");
  b.SaveToFile(file);
  TBitmap back;
  back.LoadFromFile(file);
  EXPECT_EQ(back.Width(), 5);
  EXPECT_EQ(back.Height(), 3);
  if (c.Format != TPixelFormat::pf16bit) {
    EXPECT_EQ(back.PixelFormat(), c.Format);  // bit fields load as 24 bits
  }
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 3; ++y) ASSERT_EQ(PixelOf(back, x, y), expected(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BitmapFormat,
                         ::testing::Values(TFormatCase{TPixelFormat::pf1bit, 1}, TFormatCase{TPixelFormat::pf4bit, 4},
                                           TFormatCase{TPixelFormat::pf8bit, 8}, TFormatCase{TPixelFormat::pf15bit, 16},
                                           TFormatCase{TPixelFormat::pf16bit, 16}, TFormatCase{TPixelFormat::pf24bit, 24},
                                           TFormatCase{TPixelFormat::pf32bit, 32}));

TEST(Bitmap, ResizingAndReformattingKeepPixels) {
  TBitmap b(4, 4, TPixelFormat::pf24bit);
  Fill(b, clRed);
  b.Canvas()->SetPixel(3, 3, clBlue);
  b.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(PixelOf(b, 0, 0), kRed);
  EXPECT_EQ(PixelOf(b, 3, 3), kBlue);
  b.SetSize(6, 5);  // grows at the right and bottom; new pixels black
  EXPECT_EQ(PixelOf(b, 3, 3), kBlue);
  EXPECT_EQ(PixelOf(b, 2, 1), kRed);
  EXPECT_EQ(PixelOf(b, 5, 4), kBlack);
  b.SetSize(2, 2);
  EXPECT_EQ(PixelOf(b, 1, 1), kRed);
  b.SetMonochrome(true);  // white stays white, everything else turns black
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(PixelOf(b, 0, 0), kBlack);
}

TEST(Bitmap, LoadsTopDownAndBottomUpFilesTheRightWayUp) {
  for (int sign : {1, -1}) {
    test::TBmpLayout l;
    l.Width = 2;
    l.Height = 2 * sign;
    l.BitCount = 24;
    l.Values = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};  // top row first, 0xRRGGBB
    std::vector<std::uint8_t> file = test::BuildBmp(l);
    TBitmap b;
    b.LoadFromBytes(file.data(), file.size());
    EXPECT_EQ(PixelOf(b, 0, 0), kRed) << sign;
    EXPECT_EQ(PixelOf(b, 1, 0), kGreen) << sign;
    EXPECT_EQ(PixelOf(b, 0, 1), kBlue) << sign;
    EXPECT_EQ(PixelOf(b, 1, 1), kWhite) << sign;
  }
}

TEST(Bitmap, LoadsFromAStreamAndFromAResource) {
  TBitmap b;
  b.LoadFromResourceID(::GetModuleHandleW(nullptr), 101);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(PixelOf(b, 0, 0), kRed);
  EXPECT_EQ(PixelOf(b, 1, 0), kWhite);
  EXPECT_EQ(PixelOf(b, 0, 1), kBlue);
  EXPECT_EQ(PixelOf(b, 1, 1), kGreen);
  EXPECT_THROW(b.LoadFromResourceID(::GetModuleHandleW(nullptr), 999), EInvalidGraphic);

  TMemoryStream s;
  const char junk[3] = {'x', 'y', 'z'};
  s.WriteBuffer(junk, 3);
  b.SaveToStream(s);
  s.SetPosition(3);
  TBitmap c;
  c.LoadFromStream(s);
  EXPECT_EQ(PixelOf(c, 1, 1), kGreen);
  EXPECT_EQ(PixelOf(c, 0, 0), kRed);
}

TEST(Bitmap, TruncatedOrCorruptBmpRaisesAndKeepsThePicture) {
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  Fill(b, clLime);
  std::vector<std::uint8_t> file = b.SaveToBytes();
  TBitmap t(1, 1, TPixelFormat::pf24bit);
  Fill(t, clRed);
  std::vector<std::uint8_t> cut(file.begin(), file.end() - 3);
  EXPECT_THROW(t.LoadFromBytes(cut.data(), cut.size()), EInvalidGraphic);
  std::vector<std::uint8_t> huge = file;
  const std::int32_t side = 100000;
  std::memcpy(huge.data() + 18, &side, 4);
  EXPECT_THROW(t.LoadFromBytes(huge.data(), huge.size()), EInvalidGraphic);
  EXPECT_EQ(t.Width(), 1);
  EXPECT_EQ(PixelOf(t, 0, 0), kRed);
}

// ---- Transparency and masks ------------------------------------------------------------------------

// 4 x 3: the key colour (fuchsia) at the bottom-left and in a few other places, red elsewhere.
std::unique_ptr<TBitmap> KeyedBitmap() {
  auto b = std::make_unique<TBitmap>(4, 3, TPixelFormat::pf24bit);
  Fill(*b, clRed);
  b->Canvas()->SetPixel(0, 2, clFuchsia);
  b->Canvas()->SetPixel(2, 0, clFuchsia);
  b->Canvas()->SetPixel(3, 1, clFuchsia);
  return b;
}
bool IsKey(int x, int y) { return (x == 0 && y == 2) || (x == 2 && y == 0) || (x == 3 && y == 1); }

TEST(Transparency, KeyColourComesFromTheBottomLeftPixelAndStaysUnpainted) {
  auto b = KeyedBitmap();
  EXPECT_EQ(b->TransparentColor(), clFuchsia);
  b->SetTransparent(true);
  TBitmap target(4, 3, TPixelFormat::pf32bit);
  Fill(target, clBlue);
  target.Canvas()->Draw(0, 0, b.get());
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelOf(target, x, y), IsKey(x, y) ? kBlue : kRed) << x << "," << y;

  // a fixed colour instead: now red is see-through and the fuchsia pixels are painted
  b->SetTransparentColor(clRed);
  EXPECT_EQ(b->TransparentMode(), TTransparentMode::tmFixed);
  Fill(target, clBlue);
  target.Canvas()->Draw(0, 0, b.get());
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelOf(target, x, y), IsKey(x, y) ? RGB(255, 0, 255) : kBlue);
  b->SetTransparentColor(clDefault);
  EXPECT_EQ(b->TransparentMode(), TTransparentMode::tmAuto);
  EXPECT_EQ(b->TransparentColor(), clFuchsia);
}

TEST(Transparency, MaskIsWhiteExactlyWhereTheKeyColourIs) {
  auto b = KeyedBitmap();
  HBITMAP mask = b->MaskHandle();
  ASSERT_TRUE(mask);
  BITMAP bm{};
  ::GetObjectW(mask, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  TMemDCOwner dc(::CreateCompatibleDC(nullptr));
  HGDIOBJ old = ::SelectObject(dc.Get(), mask);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(::GetPixel(dc.Get(), x, y), IsKey(x, y) ? kWhite : kBlack) << x << "," << y;
  ::SelectObject(dc.Get(), old);

  b->Mask(clFuchsia);  // the bitmap becomes its own mask
  EXPECT_TRUE(b->Monochrome());
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelOf(*b, x, y), IsKey(x, y) ? kWhite : kBlack);
}

// ---- Canvas operations ------------------------------------------------------------------------------

TEST(Canvas, ShapesLinesAndFillsGiveTheirPixels) {
  TBitmap b(20, 20, TPixelFormat::pf24bit);
  TCanvas* c = b.Canvas();
  Fill(b, clWhite);
  c->Pen()->SetColor(clBlue);
  c->Brush()->SetColor(clLime);
  c->Rectangle(2, 2, 8, 8);  // outline blue at 2 and 7, inside lime
  EXPECT_EQ(PixelOf(b, 2, 2), kBlue);
  EXPECT_EQ(PixelOf(b, 7, 5), kBlue);
  EXPECT_EQ(PixelOf(b, 5, 5), kGreen);
  EXPECT_EQ(PixelOf(b, 8, 8), kWhite);
  c->MoveTo(0, 15);
  c->LineTo(10, 15);  // the end point is not drawn
  EXPECT_EQ(PixelOf(b, 0, 15), kBlue);
  EXPECT_EQ(PixelOf(b, 9, 15), kBlue);
  EXPECT_EQ(PixelOf(b, 10, 15), kWhite);
  c->Brush()->SetColor(clRed);
  c->Ellipse(10, 0, 20, 10);
  EXPECT_EQ(PixelOf(b, 15, 5), kRed);
  EXPECT_EQ(PixelOf(b, 10, 0), kWhite);  // corner outside the ellipse
  const POINT tri[3] = {{10, 12}, {19, 12}, {10, 19}};
  c->Brush()->SetColor(clYellow);
  c->Polygon(tri, 3);
  EXPECT_EQ(PixelOf(b, 12, 14), RGB(255, 255, 0));
  EXPECT_EQ(PixelOf(b, 18, 18), kWhite);
  const POINT line[3] = {{0, 18}, {5, 18}, {5, 19}};
  c->Pen()->SetColor(clRed);
  c->Polyline(line, 3);
  EXPECT_EQ(PixelOf(b, 3, 18), kRed);
  c->Brush()->SetColor(clBlack);
  c->FrameRect(RECT{0, 0, 2, 2});
  EXPECT_EQ(PixelOf(b, 0, 0), kBlack);
}

TEST(Canvas, CopyRectStretchDrawAndBrushCopy) {
  TBitmap src(2, 2, TPixelFormat::pf24bit);
  src.Canvas()->SetPixel(0, 0, clRed);
  src.Canvas()->SetPixel(1, 0, clLime);
  src.Canvas()->SetPixel(0, 1, clBlue);
  src.Canvas()->SetPixel(1, 1, clWhite);
  TBitmap dst(4, 4, TPixelFormat::pf32bit);
  dst.Canvas()->StretchDraw(RECT{0, 0, 4, 4}, &src);  // each pixel becomes 2 x 2
  EXPECT_EQ(PixelOf(dst, 1, 1), kRed);
  EXPECT_EQ(PixelOf(dst, 2, 1), kGreen);
  EXPECT_EQ(PixelOf(dst, 1, 3), kBlue);
  EXPECT_EQ(PixelOf(dst, 3, 3), kWhite);

  Fill(dst, clBlack);
  dst.Canvas()->CopyRect(RECT{1, 1, 2, 2}, src.Canvas(), RECT{1, 1, 2, 2});
  EXPECT_EQ(PixelOf(dst, 1, 1), kWhite);
  EXPECT_EQ(PixelOf(dst, 0, 0), kBlack);
  dst.Canvas()->SetCopyMode(NOTSRCCOPY);
  dst.Canvas()->CopyRect(RECT{0, 0, 1, 1}, src.Canvas(), RECT{0, 0, 1, 1});
  EXPECT_EQ(PixelOf(dst, 0, 0), RGB(0, 255, 255));

  // the red pixel turns into the brush colour, the others are copied
  Fill(dst, clBlack);
  dst.Canvas()->Brush()->SetColor(clYellow);
  dst.Canvas()->BrushCopy(RECT{0, 0, 2, 2}, &src, RECT{0, 0, 2, 2}, clRed);
  EXPECT_EQ(PixelOf(dst, 0, 0), RGB(255, 255, 0));
  EXPECT_EQ(PixelOf(dst, 1, 0), kGreen);
  EXPECT_EQ(PixelOf(dst, 0, 1), kBlue);
  EXPECT_EQ(PixelOf(dst, 1, 1), kWhite);
}

TEST(Canvas, TextWithEllipsisStaysInsideItsRectangle) {
  TBitmap b(60, 20, TPixelFormat::pf24bit);
  Fill(b, clWhite);
  b.Canvas()->Brush()->SetStyle(TBrushStyle::bsClear);
  b.Canvas()->Font()->SetColor(clBlack);
  b.Canvas()->TextRect(RECT{0, 0, 30, 20}, L"WWWWWWWWWWWWWWWWWWWW", DT_SINGLELINE | DT_END_ELLIPSIS);
  bool inked = false;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) inked |= PixelOf(b, x, y) != kWhite;
    for (int x = 30; x < 60; ++x) ASSERT_EQ(PixelOf(b, x, y), kWhite) << x << "," << y;
  }
  EXPECT_TRUE(inked);
}

TEST(Canvas, PatternBrushFromABitmap) {
  TBitmap pattern(2, 2, TPixelFormat::pf24bit);
  Fill(pattern, clRed);
  pattern.Canvas()->SetPixel(1, 1, clBlue);
  TBitmap b(4, 4, TPixelFormat::pf24bit);
  b.Canvas()->Brush()->SetBitmap(&pattern);
  b.Canvas()->FillRect(RECT{0, 0, 4, 4});
  EXPECT_EQ(PixelOf(b, 0, 0), kRed);
  EXPECT_EQ(PixelOf(b, 1, 1), kBlue);
  EXPECT_EQ(PixelOf(b, 3, 3), kBlue);
  EXPECT_EQ(PixelOf(b, 2, 3), kRed);
  b.Canvas()->Brush()->SetBitmap(nullptr);
}

// ---- Icons, image lists -----------------------------------------------------------------------------

// A 16 x 16 icon: a red square at 4..11 on a see-through background.
std::unique_ptr<TIcon> SquareIcon() {
  TBitmap color(16, 16, TPixelFormat::pf24bit);
  Fill(color, clBlack);
  color.Canvas()->Brush()->SetColor(clRed);
  color.Canvas()->FillRect(RECT{4, 4, 12, 12});
  TBitmap mask(16, 16, TPixelFormat::pf1bit);
  Fill(mask, clWhite);
  mask.Canvas()->Brush()->SetColor(clBlack);
  mask.Canvas()->FillRect(RECT{4, 4, 12, 12});
  TBitmap maskDdb;
  ICONINFO ii{TRUE, 0, 0, mask.Handle(), color.Handle()};
  auto icon = std::make_unique<TIcon>();
  icon->SetHandle(::CreateIconIndirect(&ii));
  return icon;
}

TEST(Icon, DrawsTransparentAndRoundTripsThroughAFile) {
  auto icon = SquareIcon();
  ASSERT_FALSE(icon->Empty());
  EXPECT_EQ(icon->Width(), 16);
  EXPECT_EQ(icon->Height(), 16);
  test::TTempDir dir;
  icon->SaveToFile(dir.Path(L"i.ico"));
  TPicture pic;
  pic.LoadFromFile(dir.Path(L"i.ico"));
  ASSERT_TRUE(dynamic_cast<TIcon*>(pic.Graphic()));
  for (TIcon* i : {icon.get(), static_cast<TIcon*>(pic.Graphic())}) {
    TBitmap target(16, 16, TPixelFormat::pf32bit);
    Fill(target, clBlue);
    target.Canvas()->Draw(0, 0, i);
    EXPECT_EQ(PixelOf(target, 0, 0), kBlue);
    EXPECT_EQ(PixelOf(target, 15, 15), kBlue);
    EXPECT_EQ(PixelOf(target, 4, 4), kRed);
    EXPECT_EQ(PixelOf(target, 11, 11), kRed);
    EXPECT_EQ(PixelOf(target, 12, 11), kBlue);
  }
}

TEST(ImageList, MaskedImagesDrawEnabledAndDisabled) {
  TImageList list(nullptr);
  TBitmap strip(32, 16, TPixelFormat::pf24bit);  // two images: both fuchsia-keyed
  Fill(strip, clFuchsia);
  strip.Canvas()->Brush()->SetColor(clRed);
  strip.Canvas()->FillRect(RECT{2, 2, 8, 8});
  strip.Canvas()->Brush()->SetColor(clLime);
  strip.Canvas()->FillRect(RECT{16 + 8, 8, 16 + 14, 14});
  EXPECT_EQ(list.AddMasked(&strip, clDefault), 0);
  EXPECT_EQ(list.Count(), 2);

  TBitmap target(20, 20, TPixelFormat::pf32bit);
  Fill(target, clBlue);
  list.Draw(*target.Canvas(), 0, 0, 0);
  EXPECT_EQ(PixelOf(target, 3, 3), kRed);
  EXPECT_EQ(PixelOf(target, 10, 10), kBlue);  // key colour: see-through
  Fill(target, clBlue);
  list.Draw(*target.Canvas(), 0, 0, 1);
  EXPECT_EQ(PixelOf(target, 9, 9), kGreen);
  EXPECT_EQ(PixelOf(target, 3, 3), kBlue);

  Fill(target, clBlue);
  list.Draw(*target.Canvas(), 0, 0, 0, false);  // embossed: shadow on the shape, highlight below-right
  EXPECT_EQ(PixelOf(target, 3, 3), ::GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(PixelOf(target, 8, 8), ::GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(PixelOf(target, 12, 12), kBlue);

  TBitmap one;
  list.GetBitmap(1, &one);
  EXPECT_EQ(one.Width(), 16);
  EXPECT_EQ(PixelOf(one, 9, 9), kGreen);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Delete(5), EInvalidOperation);
}

// ---- TImage ------------------------------------------------------------------------------------------

struct TDestCase {
  bool Stretch, Center, Proportional;
  int PicW, PicH;
  RECT Expected;  // in a 100 x 50 control
};
class ImageDestRect : public ::testing::TestWithParam<TDestCase> {};
TEST_P(ImageDestRect, PlacesThePicture) {
  const TDestCase c = GetParam();
  TImage img(nullptr);
  img.SetBounds(0, 0, 100, 50);
  img.Picture()->Bitmap()->SetSize(c.PicW, c.PicH);
  img.SetStretch(c.Stretch);
  img.SetCenter(c.Center);
  img.SetProportional(c.Proportional);
  RECT r = img.DestRect();
  EXPECT_TRUE(::EqualRect(&r, &c.Expected)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
}
INSTANTIATE_TEST_SUITE_P(
    Layouts, ImageDestRect,
    ::testing::Values(TDestCase{false, false, false, 20, 10, {0, 0, 20, 10}}, TDestCase{false, true, false, 20, 10, {40, 20, 60, 30}},
                      TDestCase{true, false, false, 20, 10, {0, 0, 100, 50}}, TDestCase{true, false, true, 20, 20, {0, 0, 50, 50}},
                      TDestCase{true, true, true, 20, 20, {25, 0, 75, 50}}, TDestCase{false, false, true, 400, 100, {0, 0, 100, 25}},
                      TDestCase{false, false, true, 10, 10, {0, 0, 10, 10}}, TDestCase{true, false, true, 40, 10, {0, 0, 100, 25}}));

TEST(Image, PaintsItsPictureOnTheParentAndShowsTheParentThroughTheKeyColour) {
  TForm* form = Create<TForm>(nullptr);
  form->SetBounds(0, 0, 200, 150);
  TPanel* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(0, 0, 40, 30);
  panel->SetBevelOuter(TBevelCut::bvNone);
  panel->SetCaption(L"");
  panel->SetColor(clBlue);
  TImage* img = new TImage(form);
  img->SetParent(panel);
  img->SetBounds(10, 10, 8, 6);
  auto keyed = KeyedBitmap();
  img->Picture()->Assign(keyed.get());
  img->SetStretch(true);
  img->SetTransparent(true);
  form->Show();

  TBitmap shot(40, 30, TPixelFormat::pf24bit);
  panel->PaintTo(shot.Canvas()->Handle(), 0, 0);
  EXPECT_EQ(PixelOf(shot, 5, 5), kBlue);
  // the 4 x 3 picture stretched to 8 x 6: picture pixel (x, y) covers 2 x 2 panel pixels
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y)
      EXPECT_EQ(PixelOf(shot, 10 + 2 * x + 1, 10 + 2 * y + 1), IsKey(x, y) ? kBlue : kRed) << x << "," << y;
  form->Free();
}

// ---- No leaks --------------------------------------------------------------------------------------

TEST(GdiObjects, CounterSeesOneLeakedObject) {
  const long before = test::LiveGdiObjects();
  HBRUSH leak = ::CreateSolidBrush(0);
  EXPECT_EQ(test::LiveGdiObjects(), before + 1);
  ::DeleteObject(leak);
  EXPECT_EQ(test::LiveGdiObjects(), before);
}

TEST(GdiObjects, BitmapsIconsPicturesAndListsGiveBackEveryObject) {
  test::TTempDir dir;
  auto work = [&] {
    auto b = KeyedBitmap();
    b->SetTransparent(true);
    b->MaskHandle();
    b->SetPixelFormat(TPixelFormat::pf8bit);
    b->SetSize(7, 9);
    b->Canvas()->Font()->SetSize(12);
    b->Canvas()->TextOut(0, 0, L"x");
    b->Canvas()->Pen()->SetColor(clRed);
    b->Canvas()->Rectangle(0, 0, 3, 3);
    b->SaveToFile(dir.Path(L"b.bmp"));
    TBitmap t(10, 10, TPixelFormat::pf24bit);
    t.Canvas()->Draw(0, 0, b.get());
    t.Canvas()->Brush()->SetColor(clYellow);
    t.Canvas()->BrushCopy(RECT{0, 0, 4, 3}, KeyedBitmap().get(), RECT{0, 0, 4, 3}, clRed);
    b->Mask(clRed);
    auto icon = SquareIcon();
    icon->SaveToFile(dir.Path(L"i.ico"));
    t.Canvas()->Draw(0, 0, icon.get());
    TPicture p;
    p.LoadFromFile(dir.Path(L"i.ico"));
    p.LoadFromFile(dir.Path(L"b.bmp"));
    TGIFImage gif;
    gif.SetGif(test::SampleGif());
    t.Canvas()->Draw(0, 0, &gif);
    gif.SaveToFile(dir.Path(L"g.gif"));
    p.LoadFromFile(dir.Path(L"g.gif"));
    TPngImage png;
    png.Assign(&t);
    png.SaveToFile(dir.Path(L"p.png"));
    p.LoadFromFile(dir.Path(L"p.png"));
    t.Canvas()->StretchDraw(RECT{0, 0, 5, 5}, p.Graphic());
    TImageList list(nullptr);
    list.AddMasked(&t, clDefault);
    list.AddIcon(icon.get());
    list.Draw(*t.Canvas(), 0, 0, 0, false);
    EXPECT_THROW(p.LoadFromFile(dir.Path(L"missing.png")), EInvalidGraphic);
    HBITMAP h = t.ReleaseHandle();
    t.SetHandle(h);
  };
  work();  // first use makes the objects kept for the process (stock fonts, classes)
  const long before = test::LiveGdiObjects();
  for (int i = 0; i < 3; ++i) work();
  EXPECT_EQ(test::LiveGdiObjects(), before);
}

}  // namespace
