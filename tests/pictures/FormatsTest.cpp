// TPicture and its formats: files written by the tests load with the right class, size, orientation
// and pixels; the multi-frame GIF; the registry; change notification.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "GuiTestUtil.h"
#include "CodecSamples.h"
#include "Forms.h"
#include "PictureTestUtil.h"
#include "Pictures.h"

using namespace kivo;
using kivo::test::PixelOf;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);

struct TFileCase {
  const wchar_t* Name;
  const wchar_t* ClassName;
  int Tolerance;  // per channel
};
class PictureFile : public ::testing::TestWithParam<TFileCase> {};

std::vector<std::uint8_t> EncodeFor(const std::wstring& name, const TPixelBuffer& p) {
  switch (PictureFormatFromExtension(name)) {
    case TPictureFormat::Bmp: return EncodeBmp(p);
    case TPictureFormat::Jpeg: {
      TJpegOptions o;
      o.Quality = 100;
      return EncodeJpeg(p, o);
    }
    case TPictureFormat::Png: return EncodePng(p);
    default: return {};
  }
}

TEST_P(PictureFile, LoadsWithItsClassSizeOrientationAndPixels) {
  const TFileCase c = GetParam();
  test::TTempDir dir;
  const TPixelBuffer expected = test::CornerPicture(40, 24);
  test::TTempDir d;
  const std::wstring file = d.Path(c.Name);
  WritePictureFile(file, EncodeFor(file, expected));

  TPicture pic;
  pic.LoadFromFile(file);
  ASSERT_TRUE(pic.Graphic());
  EXPECT_EQ(pic.Graphic()->ClassName(), c.ClassName);
  ASSERT_EQ(pic.Width(), 40);
  ASSERT_EQ(pic.Height(), 24);
  TBitmap shown(40, 24, TPixelFormat::pf24bit);
  shown.Canvas()->Draw(0, 0, pic.Graphic());
  int worst = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) {
      const test::TBgr e = test::At(expected, x, y);
      const COLORREF got = PixelOf(shown, x, y);
      worst = std::max({worst, std::abs(int(GetRValue(got)) - e.R), std::abs(int(GetGValue(got)) - e.G),
                        std::abs(int(GetBValue(got)) - e.B)});
    }
  EXPECT_LE(worst, c.Tolerance);
  // the corner blocks tell up from down and left from right
  EXPECT_EQ(PixelOf(shown, 1, 1) & 0xC0C0C0, kRed & 0xC0C0C0u);
  EXPECT_EQ(PixelOf(shown, 38, 1) & 0xC0C0C0, RGB(0, 255, 0) & 0xC0C0C0u);
  EXPECT_EQ(PixelOf(shown, 1, 22) & 0xC0C0C0, RGB(0, 0, 255) & 0xC0C0C0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureFile,
                         ::testing::Values(TFileCase{L"a.bmp", L"TBitmap", 0}, TFileCase{L"b.PNG", L"TPngImage", 0},
                                           TFileCase{L"c.jpg", L"TJPEGImage", 12}, TFileCase{L"d.jpeg", L"TJPEGImage", 12}));

TEST(PictureFormats, SaveAndLoadThroughEachGraphicKeepThePixels) {
  test::TTempDir dir;
  const TPixelBuffer pattern = test::PatternPicture(13, 7, 24);
  TBitmap source;
  source.AssignPixels(pattern);

  TPngImage png;
  png.Assign(&source);
  png.SaveToFile(dir.Path(L"p.png"));
  TPngImage png2;
  png2.LoadFromFile(dir.Path(L"p.png"));
  EXPECT_FALSE(png2.HasTransparency());
  TPixelBuffer back = png2.Bitmap()->ToPixels();
  TPixelBuffer back24(13, 7, 24);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) std::memcpy(back24.Pixel(x, y), back.Pixel(x, y), 3);
  EXPECT_EQ(test::CompareExact(pattern, back24, false), "");

  TJPEGImage jpg;
  jpg.Assign(&source);
  jpg.CompressionQuality = 100;
  jpg.SaveToFile(dir.Path(L"j.jpg"));
  TJPEGImage jpg2;
  jpg2.LoadFromFile(dir.Path(L"j.jpg"));
  EXPECT_LE(test::MaxChannelDiff(pattern, jpg2.Bitmap()->ToPixels()), 16);

  source.SaveToFile(dir.Path(L"b.bmp"));
  TBitmap bmp;
  bmp.LoadFromFile(dir.Path(L"b.bmp"));
  EXPECT_EQ(test::CompareExact(pattern, bmp.ToPixels(), false), "");
}

TEST(PictureFormats, PngAlphaIsBlendedOverTheCanvas) {
  TPixelBuffer p(2, 1, 32);
  p.HasAlpha = true;
  std::uint8_t* a = p.Pixel(0, 0);
  a[0] = 0, a[1] = 0, a[2] = 255, a[3] = 128;  // half red
  std::uint8_t* b = p.Pixel(1, 0);
  b[0] = 255, b[1] = 0, b[2] = 0, b[3] = 0;  // fully see-through blue
  std::vector<std::uint8_t> file = EncodePng(p);
  TPngImage png;
  png.LoadFromBytes(file.data(), file.size());
  EXPECT_TRUE(png.HasTransparency());
  TBitmap target(2, 1, TPixelFormat::pf32bit);
  target.Canvas()->Brush()->SetColor(clWhite);
  target.Canvas()->FillRect(RECT{0, 0, 2, 1});
  target.Canvas()->Draw(0, 0, &png);
  const COLORREF half = PixelOf(target, 0, 0);
  EXPECT_EQ(GetRValue(half), 255);
  EXPECT_NEAR(GetGValue(half), 127, 2);
  EXPECT_NEAR(GetBValue(half), 127, 2);
  EXPECT_EQ(PixelOf(target, 1, 0), RGB(255, 255, 255));
}

// ---- GIF ---------------------------------------------------------------------------------------------

TEST(GifImage, ExposesFramesDelaysDisposalTransparencyPositionsAndPalettes) {
  test::TTempDir dir;
  WritePictureFile(dir.Path(L"s.gif"), EncodeGif(test::SampleGif()));
  TPicture pic;
  pic.LoadFromFile(dir.Path(L"s.gif"));
  auto* gif = dynamic_cast<TGIFImage*>(pic.Graphic());
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->Width(), 20);
  EXPECT_EQ(gif->Height(), 16);
  ASSERT_EQ(gif->FrameCount(), 3);
  EXPECT_TRUE(gif->Transparent());
  EXPECT_EQ(gif->Frame(0).Delay, 10);
  EXPECT_EQ(gif->Frame(1).Delay, 25);
  EXPECT_EQ(gif->Frame(0).Disposal, gdKeep);
  EXPECT_EQ(gif->Frame(1).Disposal, gdBackground);
  EXPECT_EQ(gif->Frame(0).TransparentIndex, -1);
  EXPECT_EQ(gif->Frame(1).TransparentIndex, 0);
  EXPECT_FALSE(gif->Frame(2).HasControl);
  EXPECT_EQ(gif->Frame(1).Left, 3);
  EXPECT_EQ(gif->Frame(1).Top, 2);
  EXPECT_EQ(gif->Frame(2).Width, 10);
  EXPECT_EQ(gif->FramePalette(0).size(), 4u);
  EXPECT_EQ(gif->FramePalette(1).size(), 8u);
  EXPECT_EQ(gif->FramePalette(1)[7], (TGifColour{220, 230, 240}));
  EXPECT_THROW(gif->Frame(3), EInvalidGraphicOperation);

  // frame 1 lies over frame 0; its index 0 lets frame 0 show through
  TBitmap* f1 = gif->FrameBitmap(1);
  const TGifFrame& fr = gif->Frame(1);
  for (int y = 0; y < fr.Height; ++y)
    for (int x = 0; x < fr.Width; ++x) {
      const int index = fr.Indices[y * fr.Width + x];
      const int sx = fr.Left + x, sy = fr.Top + y;
      const TGifColour c = index == 0 ? gif->FramePalette(0)[(sx + 2 * sy) % 4] : fr.LocalPalette[index];
      ASSERT_EQ(PixelOf(*f1, sx, sy), RGB(c.R, c.G, c.B)) << sx << "," << sy;
    }
}

TEST(GifImage, DrawsTheCurrentFrameKeepingTheCanvasUnderSeeThroughPixels) {
  TGifPicture g;
  g.Width = 3;
  g.Height = 1;
  g.GlobalPalette = {{0, 0, 0}, {255, 0, 0}};
  TGifFrame f;
  f.Width = 3;
  f.Height = 1;
  f.Indices = {1, 0, 1};
  f.HasControl = true;
  f.TransparentIndex = 0;
  g.Frames = {f, f};
  g.Frames[1].Indices = {0, 1, 0};
  g.Frames[1].Disposal = gdNone;
  TGIFImage gif;
  gif.SetGif(g);
  TBitmap target(3, 1, TPixelFormat::pf24bit);
  target.Canvas()->Brush()->SetColor(clBlue);
  target.Canvas()->FillRect(RECT{0, 0, 3, 1});
  target.Canvas()->Draw(0, 0, &gif);
  EXPECT_EQ(PixelOf(target, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(target, 1, 0), RGB(0, 0, 255));
  EXPECT_EQ(PixelOf(target, 2, 0), RGB(255, 0, 0));

  int changes = 0;
  gif.OnChange = [&](TObject*) { ++changes; };
  gif.SetCurrentFrame(1);  // frame 1 keeps frame 0 under it: all red
  EXPECT_EQ(changes, 1);
  target.Canvas()->Draw(0, 0, &gif);
  EXPECT_EQ(PixelOf(target, 1, 0), RGB(255, 0, 0));

  gif.RemoveFrame(0);
  EXPECT_EQ(changes, 2);
  ASSERT_EQ(gif.FrameCount(), 1);
  EXPECT_EQ(gif.CurrentFrame(), 0);
  target.Canvas()->FillRect(RECT{0, 0, 3, 1});
  target.Canvas()->Draw(0, 0, &gif);
  EXPECT_EQ(PixelOf(target, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(PixelOf(target, 1, 0), RGB(255, 0, 0));
  EXPECT_THROW(gif.RemoveFrame(1), EInvalidGraphicOperation);
}

TEST(GifImage, RemovedFramesStayRemovedThroughAFileAndAnimationStepsByDelays) {
  test::TTempDir dir;
  TGIFImage gif;
  gif.SetGif(test::SampleGif());
  gif.RemoveFrame(2);
  gif.SaveToFile(dir.Path(L"two.gif"));
  TGIFImage back;
  back.LoadFromFile(dir.Path(L"two.gif"));
  ASSERT_EQ(back.FrameCount(), 2);
  EXPECT_EQ(back.Frame(1).Delay, 25);

  std::vector<int> seen;
  back.OnChange = [&](TObject*) { seen.push_back(back.CurrentFrame()); };
  back.SetAnimate(true);  // 100 ms, then 250 ms per frame
  ASSERT_TRUE(test::PumpUntil([&] { return seen.size() >= 3; }, 5000));
  back.SetAnimate(false);
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 0);
  EXPECT_EQ(seen[2], 1);
  const std::size_t stopped = seen.size();
  test::PumpUntil([] { return false; }, 400);  // stopped: no more steps
  EXPECT_EQ(seen.size(), stopped);

  back.SetFrameDelay(0, 7);  // edits are changes too
  EXPECT_EQ(seen.size(), stopped + 1);
  EXPECT_EQ(back.Frame(0).Delay, 7);
  EXPECT_EQ(back.Frame(1).Delay, 25);
}

// ---- TPicture -------------------------------------------------------------------------------------------

TEST(Picture, RegistryFindsClassesByExtensionAndMakesTheFilter) {
  for (const wchar_t* n : {L"x.BMP", L"C:\\a.b\\y.bmp", L"bmp", L".bmp"})
    EXPECT_EQ(TPicture::FindFormat(n), TPicture::FindFormat(L"bmp")) << n;
  EXPECT_TRUE(TPicture::FindFormat(L"bmp"));
  EXPECT_FALSE(TPicture::FindFormat(L"x.tif"));
  EXPECT_EQ(GraphicFilter(TGraphic::StaticClass()),
            L"All pictures (*.bmp;*.ico;*.jpg;*.jpeg;*.png;*.gif)|*.bmp;*.ico;*.jpg;*.jpeg;*.png;*.gif|"
            L"Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|JPEG pictures (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
            L"PNG pictures (*.png)|*.png|GIF pictures (*.gif)|*.gif");
  EXPECT_EQ(GraphicFilter(TBitmap::StaticClass()), L"All pictures (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp");
  EXPECT_EQ(GraphicExtension(TJPEGImage::StaticClass()), L"jpg");
  EXPECT_EQ(GraphicFileMask(TJPEGImage::StaticClass()), L"*.jpg;*.jpeg");

  // a class registered later is found (and unregistered again)
  TPicture::RegisterFileFormat(L".dib", L"Device-independent bitmaps", TBitmap::StaticClass(), [] { return static_cast<TGraphic*>(new TBitmap()); });
  EXPECT_TRUE(TPicture::FindFormat(L"a.dib"));
  EXPECT_EQ(GraphicFileMask(TBitmap::StaticClass()), L"*.bmp;*.dib");
  TPicture::UnregisterGraphicClass(TBitmap::StaticClass());
  EXPECT_FALSE(TPicture::FindFormat(L"a.bmp"));
  TPicture::RegisterFileFormat(L"bmp", L"Bitmaps", TBitmap::StaticClass(), [] { return static_cast<TGraphic*>(new TBitmap()); });
}

TEST(Picture, BadFilesRaiseAClearErrorAndKeepTheOldPicture) {
  test::TTempDir dir;
  TPicture pic;
  pic.Bitmap()->SetSize(3, 3);
  WritePictureFile(dir.Path(L"png-inside.jpg"), EncodePng(test::PatternPicture(4, 4, 24)));
  WritePictureFile(dir.Path(L"x.tif"), {1, 2, 3});
  WritePictureFile(dir.Path(L"cut.gif"), [] {
    auto g = EncodeGif(test::SampleGif());
    g.resize(g.size() / 2);
    return g;
  }());
  struct {
    const wchar_t* Name;
    const wchar_t* Says;
  } cases[] = {{L"png-inside.jpg", L"PNG"}, {L"x.tif", L".tif"}, {L"cut.gif", L"cut.gif"}, {L"none.png", L"none.png"}};
  for (const auto& c : cases) {
    try {
      pic.LoadFromFile(dir.Path(c.Name));
      ADD_FAILURE() << "no error for " << std::string(c.Name, c.Name + wcslen(c.Name));
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(e.Message().find(c.Says), std::wstring::npos) << e.what();
    }
    EXPECT_EQ(pic.Width(), 3);
  }
}

class TCountingNotifier : public TInterfaced<IChangeNotifier> {
  KIVO_CLASS(TCountingNotifier, TInterfacedObject)
  int Count = 0;
  void STDMETHODCALLTYPE Changed() override { ++Count; }
};

}  // namespace
KIVO_IMPLEMENT_CLASS(TCountingNotifier)
namespace {

TEST(Picture, ReportsEveryChangeToOnChangeAndItsNotifier) {
  test::TTempDir dir;
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  b.SaveToFile(dir.Path(L"b.bmp"));
  TComPtr<TCountingNotifier> notifier(new TCountingNotifier());
  int changes = 0;
  {
    TPicture pic;
    pic.OnChange = [&](TObject*) { ++changes; };
    pic.SetPictureAdapter(notifier.Get());
    EXPECT_EQ(notifier->RefCount(), 2);
    pic.LoadFromFile(dir.Path(L"b.bmp"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(notifier->Count, 1);
    pic.Bitmap()->SetSize(5, 5);  // a change of the graphic itself
    EXPECT_EQ(changes, 2);
    pic.Assign(nullptr);
    EXPECT_EQ(notifier->Count, 3);
    EXPECT_THROW(pic.LoadFromFile(dir.Path(L"missing.bmp")), EInvalidGraphic);
    EXPECT_EQ(notifier->Count, 3);
    pic.SetPictureAdapter(nullptr);
    pic.LoadFromFile(dir.Path(L"b.bmp"));
    EXPECT_EQ(notifier->Count, 3);
    EXPECT_EQ(changes, 4);
  }
  EXPECT_EQ(notifier->RefCount(), 1);
}

TEST(Picture, AssignCopiesTheGraphic) {
  TPicture a, b;
  a.Bitmap()->SetSize(2, 2);
  a.Bitmap()->Canvas()->SetPixel(1, 1, clRed);
  b.Assign(&a);
  ASSERT_NE(b.Graphic(), a.Graphic());
  EXPECT_EQ(PixelOf(*b.Bitmap(), 1, 1), kRed);
  a.Bitmap()->Canvas()->SetPixel(1, 1, clBlue);
  EXPECT_EQ(PixelOf(*b.Bitmap(), 1, 1), kRed);
  TBitmap other;
  other.Assign(b.Graphic());
  EXPECT_EQ(PixelOf(other, 1, 1), kRed);
}

}  // namespace
