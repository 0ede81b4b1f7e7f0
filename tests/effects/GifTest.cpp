// The GIF frame drawer on generated GIFs (each disposal, transparency, delays, an injected clock,
// the stretched buffers) and the five picture-file effects on grey frames of several sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "EffectTestUtil.h"
#include "KVEffAniProc.h"
#include "KVGIFDraw.h"
#include "Forms.h"
#include "SysUtils.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const TGifPalette kPalette{{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 0, 255}, {255, 255, 255}};
const TRgb Black{0, 0, 0}, Red{255, 0, 0}, Green{0, 255, 0}, Blue{0, 0, 255}, Magenta{255, 0, 255}, White{255, 255, 255},
    Grey{128, 128, 128};

// Three frames on a 20 x 10 screen: a red frame with a white corner; a green frame at (5, 2) whose
// left three columns are transparent; a blue frame at (10, 4) whose left two columns are
// transparent.
TGifPicture ThreeFrames(int disposal0, int disposal1, int delay2 = 10) {
  return MakeGif(20, 10, kPalette,
                 {{0, 0, 20, 10, 1, {0, 0, 4, 4}, 5, 10, disposal0, -1},
                  {5, 2, 10, 6, 2, {0, 0, 3, 6}, 4, 5, disposal1, 4},
                  {10, 4, 8, 5, 3, {0, 0, 2, 5}, 4, delay2, 1, 4}});
}

std::unique_ptr<TGIFImage> Image(const TGifPicture& gif) {
  auto img = std::make_unique<TGIFImage>();
  img->SetGif(gif);
  return img;
}

TRgb Composed(const TGIFDrawer& d, int frame, int x, int y) {
  COLORREF c = ::GetPixel(d.FrameDC(frame), x, y);
  return TRgb{GetRValue(c), GetGValue(c), GetBValue(c)};
}

// Probe points: in the white corner; in frame 1's transparent strip; in frame 1's green; in frame
// 2's transparent strip over frame 1's green; in frame 2's blue; only frame 0.
const POINT kProbes[] = {{1, 1}, {6, 3}, {9, 3}, {11, 5}, {14, 6}, {18, 1}};

}  // namespace

TEST(GIFDrawer, ComposesByDisposal) {
  struct Case {
    const char* name;
    int d0, d1, frame;
    TRgb expected[6];
    bool seeThrough;  // the key colour drawn see-through
  } cases[] = {
      {"keep: frame 1 over frame 0", 1, 1, 1, {White, Red, Green, Green, Green, Red}, false},
      {"keep: frame 2 over both", 1, 1, 2, {White, Red, Green, Green, Blue, Red}, false},
      {"unspecified keeps too", 0, 0, 2, {White, Red, Green, Green, Blue, Red}, false},
      {"background: frame 1 alone on its key", 2, 1, 1, {Magenta, Magenta, Green, Green, Green, Magenta}, true},
      {"background, then keep", 2, 1, 2, {Magenta, Magenta, Green, Green, Blue, Magenta}, true},
      {"previous before frame 1 copies frame 0", 3, 1, 1, {White, Red, Green, Green, Green, Red}, false},
      {"previous before frame 2 copies frame 0", 1, 3, 2, {White, Red, Red, Red, Blue, Red}, false},
      {"disposal 5: frame 2 stays its key fill", 1, 5, 2, {Magenta, Magenta, Magenta, Magenta, Magenta, Magenta}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto img = Image(ThreeFrames(c.d0, c.d1));
    TGIFDrawer d(img.get());
    ASSERT_EQ(d.FrameCount(), 3);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Composed(d, c.frame, kProbes[i].x, kProbes[i].y), c.expected[i]) << i;
    EXPECT_EQ(d.DrawnTransparent(c.frame), c.seeThrough);
    // drawn at the top-left of a grey frame: the key colour lets the frame through when see-through
    TTestFrame target(30, 15);
    target.Fill(Grey);
    d.DrawFrame(target.DC(), c.frame);
    for (int i = 0; i < 6; ++i) {
      TRgb want = c.seeThrough && c.expected[i] == Magenta ? Grey : c.expected[i];
      EXPECT_EQ(target.At(kProbes[i].x, kProbes[i].y), want) << i;
    }
    EXPECT_EQ(target.At(25, 12), Grey);  // beyond the GIF
  }
  // frame 0 is drawn opaque onto black
  auto img = Image(ThreeFrames(1, 1));
  TGIFDrawer d(img.get());
  EXPECT_EQ(Composed(d, 0, 1, 1), White);
  EXPECT_EQ(Composed(d, 0, 10, 5), Red);
  EXPECT_EQ(d.KeyColor(0), RGB(0, 0, 0));
  EXPECT_EQ(d.KeyColor(1), RGB(0, 0, 0));  // copied with frame 0's picture
}

TEST(GIFDrawer, FramesWithDifferentTransparencyKeepTheirLook) {
  // a transparent first frame (right half see-through) under an opaque second one: the see-through
  // half stays see-through, it is not drawn in the key colour
  auto a = Image(MakeGif(20, 10, kPalette, {{0, 0, 20, 10, 4, {0, 0, 10, 10}, 1, 10, 1, 4}, {0, 0, 5, 5, 2, {}, 0, 10, 1, -1}}));
  TGIFDrawer da(a.get());
  TTestFrame t1(20, 10);
  t1.Fill(Grey);
  da.DrawFrame(t1.DC(), 1);
  EXPECT_EQ(t1.At(2, 2), Green);
  EXPECT_EQ(t1.At(7, 7), Red);
  EXPECT_EQ(t1.At(15, 5), Grey);

  // an opaque first frame with black in it under a transparent second one: the black stays black
  auto b = Image(MakeGif(20, 10, kPalette, {{0, 0, 20, 10, 1, {10, 0, 20, 10}, 0, 10, 1, -1}, {0, 0, 5, 5, 2, {0, 0, 2, 5}, 4, 10, 1, 4}}));
  TGIFDrawer db(b.get());
  TTestFrame t2(20, 10);
  t2.Fill(Grey);
  db.DrawFrame(t2.DC(), 1);
  EXPECT_EQ(t2.At(15, 5), Black);
  EXPECT_EQ(t2.At(1, 1), Red);
  EXPECT_EQ(t2.At(3, 3), Green);
}

TEST(GIFDrawer, DelaysAndTheClock) {
  // delays 10, 5 and 0 (which becomes 10): 100, 50 and 100 ms
  auto img = Image(ThreeFrames(1, 1, 0));
  TGIFDrawer d(img.get());
  EXPECT_EQ(img->Frame(2).Delay, 10);  // filled in in the picture itself
  EXPECT_EQ(d.FrameDelay(0), 100);
  EXPECT_EQ(d.FrameDelay(1), 50);
  EXPECT_EQ(d.FrameDelay(2), 100);
  EXPECT_EQ(d.TotalTime(), 250);
  std::int64_t now = 5000;
  d.Counter = [&] { return now; };
  d.Frequency = 1000;  // one count per millisecond
  EXPECT_EQ(d.CurrentFrame(), 0);  // before ResetClock
  now = 9999;
  EXPECT_EQ(d.CurrentFrame(), 0);
  d.ResetClock();
  struct Tick {
    std::int64_t ms;
    int frame;
  } ticks[] = {{0, 0},   {99, 0},  {100, 1},         {149, 1},          {150, 2},
               {249, 2}, {250, 0}, {10 * 250 + 120, 1}, {(1LL << 31) + 100, 2},  // beyond 32 bits of milliseconds
               {(1LL << 40) + 30, 0}};
  for (const Tick& t : ticks) {
    now = 9999 + t.ms;
    EXPECT_EQ(d.CurrentFrame(), t.frame) << t.ms;
  }
  // a frame counter of 10 MHz, ten days on
  d.Frequency = 10000000;
  now = 9999 + 10LL * 86400 * 10000000 + 1200000;  // + 120 ms
  EXPECT_EQ(d.CurrentFrame(), 1);
}

TEST(GIFDrawer, FramesWithoutControlAreRemoved) {
  TGifPicture gif = ThreeFrames(1, 1);
  gif.Frames[1].HasControl = false;
  auto img = Image(gif);
  TGIFDrawer d(img.get());
  EXPECT_EQ(d.FrameCount(), 2);
  EXPECT_EQ(img->FrameCount(), 2);
  EXPECT_EQ(Composed(d, 1, 14, 6), Blue);  // frame 2 laid straight over frame 0
  EXPECT_EQ(Composed(d, 1, 9, 3), Red);

  auto single = Image(MakeGif(4, 4, kPalette, {{0, 0, 4, 4, 3, {}, 0, 7, 1, -1}}));
  TGIFDrawer one(single.get());
  std::int64_t now = 1;
  one.Counter = [&] { return now; };
  one.ResetClock();
  for (now = 1; now < 100000000; now = now * 7 + 3) EXPECT_EQ(one.CurrentFrame(), 0);

  TGifPicture none = ThreeFrames(1, 1);
  for (auto& f : none.Frames) f.HasControl = false;
  auto empty = Image(none);
  TGIFDrawer nothing(empty.get());
  EXPECT_EQ(nothing.FrameCount(), 0);
  EXPECT_EQ(nothing.CurrentFrame(), 0);
  TTestFrame target(4, 4);
  target.Fill(Grey);
  nothing.DrawFrame(target.DC(), 0);
  EXPECT_EQ(target.At(0, 0), Grey);
}

TEST(GIFDrawer, BuffersFollowTheFrameSize) {
  auto img = Image(ThreeFrames(1, 1));
  TGIFDrawerBuffer d(img.get());
  EXPECT_EQ(d.Buffer(0), nullptr);
  TTestFrame f1(40, 20);
  f1.Info()->bmiHeader.biSizeImage = 0;  // allowed for BI_RGB: the size comes from width and height
  d.Prepare(f1.Info());
  ASSERT_NE(d.Buffer(0), nullptr);
  EXPECT_EQ(d.BufferWidth(), 40);
  EXPECT_EQ(d.BufferHeight(), 20);
  const BYTE* first[3] = {d.Buffer(0), d.Buffer(1), d.Buffer(2)};
  // stretched twice: frame 2's blue at (14, 6) is at (28..29, 12..13); the white corner at (0..7, 0..7)
  std::vector<BYTE> b2(d.Buffer(2), d.Buffer(2) + FrameByteSize(40, 20));
  EXPECT_EQ(BitsAt(b2, 40, 20, 29, 13), Blue);
  EXPECT_EQ(BitsAt(b2, 40, 20, 0, 0), White);
  EXPECT_EQ(BitsAt(b2, 40, 20, 39, 19), Red);  // the last pixel is filled too
  d.Prepare(f1.Info());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(d.Buffer(i), first[i]);  // kept
  TTestFrame f2(22, 9);
  d.Prepare(f2.Info());
  EXPECT_EQ(d.BufferWidth(), 22);
  EXPECT_EQ(d.BufferHeight(), 9);
  std::vector<BYTE> small(d.Buffer(0), d.Buffer(0) + FrameByteSize(22, 9));
  EXPECT_EQ(BitsAt(small, 22, 9, 21, 8), Red);
  EXPECT_EQ(BitsAt(small, 22, 9, 0, 0), White);
  std::int64_t now = 1000;
  d.Counter = [&] { return now; };
  d.Frequency = 1000;
  d.ResetClock();
  now += 120;
  EXPECT_EQ(d.CurrentBuffer(), d.Buffer(1));
}

// ---- Picture-file effects -------------------------------------------------------------------

namespace {

struct TEffectFiles {
  TTempTree dir;
  std::wstring Gif(const std::wstring& name, const TGifPicture& g) {
    std::wstring p = dir.Path(name);
    WriteGif(p, g);
    return p;
  }
  std::wstring Bmp(const std::wstring& name, const TPixelBuffer& pic) {
    std::wstring p = dir.Path(name);
    WriteFileBytes(p, EncodeBmp(pic));
    return p;
  }
};

template <class P>
TComPtr<P> Running(const std::wstring& file) {
  TComPtr<P> p(new P());
  p->SetEnabled(TRUE);
  p->SetFileName(file);
  EXPECT_EQ(p->GetState(), TProcessorState::psRunning);
  return p;
}

// A grey-level picture of w x h from a function of (x, y).
template <class F>
TPixelBuffer GreyPicture(int w, int h, F level) {
  TPixelBuffer p(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      BYTE v = static_cast<BYTE>(level(x, y));
      p.Pixel(x, y)[0] = p.Pixel(x, y)[1] = p.Pixel(x, y)[2] = v;
    }
  return p;
}

}  // namespace

TEST(PictureEffects, BorderDecorationAnimationDrawUnscaledAtTheTopLeft) {
  TEffectFiles files;
  // a 20 x 10 border: red edge two pixels wide, see-through inside
  TGifPicture border = MakeGif(20, 10, kPalette, {{0, 0, 20, 10, 1, {2, 2, 18, 8}, 4, 10, 1, 4}});
  std::wstring small = files.Gif(L"border.gif", border);
  TGifPicture big = MakeGif(100, 60, kPalette, {{0, 0, 100, 60, 1, {2, 2, 98, 58}, 4, 10, 1, 4}});
  std::wstring large = files.Gif(L"large.gif", big);
  auto b = Running<TBorderProcessor>(small);
  auto a = Running<TAnimationProcessor>(small);
  auto d = Running<TDecorationProcessor>(large);
  for (IImageProcessor* p : {static_cast<IImageProcessor*>(b.Get()), static_cast<IImageProcessor*>(a.Get())}) {
    TTestFrame frame(64, 48);
    frame.Fill(Grey);
    EXPECT_TRUE(p->Process(frame.DC(), frame.Bitmap(), frame.Info()));
    EXPECT_EQ(frame.At(0, 0), Red);
    EXPECT_EQ(frame.At(19, 9), Red);
    EXPECT_EQ(frame.At(5, 5), Grey);
    EXPECT_EQ(frame.At(20, 5), Grey);
    EXPECT_EQ(frame.At(63, 47), Grey);
  }
  // larger than the frame: clipped
  TTestFrame frame(64, 48);
  frame.Fill(Grey);
  EXPECT_TRUE(d->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(63, 0), Red);
  EXPECT_EQ(frame.At(0, 47), Red);
  EXPECT_EQ(frame.At(30, 30), Grey);
  // not running: nothing drawn
  b->Pause();
  frame.Fill(Grey);
  EXPECT_FALSE(b->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(0, 0), Grey);
  // started without a file: runs, draws nothing
  TComPtr<TAnimationProcessor> none(new TAnimationProcessor());
  none->SetEnabled(TRUE);
  EXPECT_TRUE(none->Start());
  EXPECT_FALSE(none->Process(frame.DC(), frame.Bitmap(), frame.Info()));
}

TEST(PictureEffects, LightAndMaskExactPixels) {
  TEffectFiles files;
  // light: left half black (no light), right half white; stretched 4 -> 64
  TGifPicture lightGif = MakeGif(4, 4, kPalette, {{0, 0, 4, 4, 0, {2, 0, 4, 4}, 5, 10, 1, -1}});
  auto light = Running<TLightProcessor>(files.Gif(L"light.gif", lightGif));
  // mask: a still picture, white middle, mid grey ring, black corners; stretched 4 -> 64 x 48
  std::wstring still = files.Bmp(L"mask.bmp", GreyPicture(4, 4, [](int x, int y) {
    bool inner = x >= 1 && x <= 2 && y >= 1 && y <= 2;
    return inner ? 255 : ((x == 0 || x == 3) && (y == 0 || y == 3) ? 0 : 102);
  }));
  auto mask = Running<TMaskProcessor>(still);
  ASSERT_NE(mask->Picture(), nullptr);
  // an animated mask: a GIF
  TGifPicture maskGif = MakeGif(4, 4, kPalette, {{0, 0, 4, 4, 0, {1, 1, 3, 3}, 5, 10, 1, -1}});
  auto gifMask = Running<TMaskProcessor>(files.Gif(L"mask.gif", maskGif));
  EXPECT_EQ(gifMask->Picture(), nullptr);
  ASSERT_NE(gifMask->Drawer(), nullptr);

  TTestFrame frame(64, 48);
  frame.Fill(Grey);
  EXPECT_TRUE(light->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(10, 10), Grey);                 // 128 + 127 x 0 div 256
  EXPECT_EQ(frame.At(50, 10), (TRgb{254, 254, 254}));  // 128 + 127 x 255 div 256

  frame.Fill(Grey);
  EXPECT_TRUE(mask->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(32, 24), Grey);               // white keeps the frame
  EXPECT_EQ(frame.At(0, 0), Black);                // black blacks it out
  EXPECT_EQ(frame.At(20, 2), (TRgb{51, 51, 51}));  // 128 x 102 div 255
  EXPECT_EQ(frame.At(63, 47), Black);

  frame.Fill(Grey);
  EXPECT_TRUE(gifMask->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(32, 24), Grey);
  EXPECT_EQ(frame.At(2, 2), Black);

  // another frame size rebuilds the stretched mask at its first frame
  TTestFrame other(100, 50);
  other.Fill(Grey);
  EXPECT_TRUE(mask->Process(other.DC(), other.Bitmap(), other.Info()));
  EXPECT_EQ(mask->MaskWidth(), 100);
  EXPECT_EQ(mask->MaskHeight(), 50);
  EXPECT_EQ(other.At(50, 25), Grey);
  EXPECT_EQ(other.At(99, 49), Black);
}

TEST(PictureEffects, LargeAndOddFramesAreProcessedWhole) {
  TEffectFiles files;
  TGifPicture white = MakeGif(8, 8, kPalette, {{0, 0, 8, 8, 5, {}, 0, 10, 1, -1}});
  auto light = Running<TLightProcessor>(files.Gif(L"white.gif", white));
  auto mask = Running<TMaskProcessor>(files.Bmp(L"black.bmp", GreyPicture(8, 8, [](int, int) { return 0; })));
  const TRgb lit{254, 254, 254};
  for (auto size : {std::pair<int, int>{1280, 720}, {322, 240}, {640, 480}, {1920, 1080}}) {
    SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
    TTestFrame frame(size.first, size.second);
    frame.Fill(Grey);
    EXPECT_TRUE(light->Process(frame.DC(), frame.Bitmap(), frame.Info()));
    const int w = size.first - 1, h = size.second - 1;
    for (POINT p : {POINT{0, 0}, POINT{w, 0}, POINT{0, h}, POINT{w, h}, POINT{w / 2, h / 2}}) EXPECT_EQ(frame.At(p.x, p.y), lit);
    EXPECT_TRUE(mask->Process(frame.DC(), frame.Bitmap(), frame.Info()));
    for (POINT p : {POINT{0, 0}, POINT{w, 0}, POINT{0, h}, POINT{w, h}, POINT{w / 2, h / 2}}) EXPECT_EQ(frame.At(p.x, p.y), Black);
  }
}

TEST(PictureEffects, MaskNeedsAnExistingFile) {
  TEffectFiles files;
  TComPtr<TMaskProcessor> mask(new TMaskProcessor());
  // enabled before a file is chosen: it cannot start yet
  mask->SetEnabled(TRUE);
  EXPECT_FALSE(mask->Start());
  EXPECT_EQ(mask->GetState(), TProcessorState::psStopped);
  mask->SetFileName(files.dir.Path(L"missing.bmp"));
  EXPECT_EQ(mask->GetState(), TProcessorState::psStopped);
  // choosing a file while enabled starts it
  std::wstring file = files.Bmp(L"MASK.BMP", GreyPicture(4, 4, [](int, int) { return 255; }));
  mask->SetFileName(file);
  EXPECT_EQ(mask->GetState(), TProcessorState::psRunning);
  TTestFrame frame(32, 24);
  frame.Fill(Grey);
  EXPECT_TRUE(mask->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(5, 5), Grey);
  // choosing the same file again does not restart it
  const TPicture* picture = mask->Picture();
  mask->SetFileName(file);
  EXPECT_EQ(mask->Picture(), picture);
}

TEST(PictureEffects, UnreadableFileIsReportedAndKeepsTheState) {
  TEffectFiles files;
  std::wstring bad = files.dir.Path(L"bad.jpg");
  WriteFileBytes(bad, {0x12, 0x34, 0x56});
  std::vector<std::string> reported;
  Application()->OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  TComPtr<TMaskProcessor> mask(new TMaskProcessor());
  mask->SetEnabled(TRUE);
  mask->SetFileName(bad);  // the start fails: reported, the processor stays stopped
  EXPECT_EQ(mask->GetState(), TProcessorState::psStopped);
  EXPECT_EQ(reported.size(), 1u);
  EXPECT_FALSE(mask->Start());
  EXPECT_EQ(reported.size(), 2u);
  bool free = false;
  std::thread other([&] {
    free = mask->Lock().TryEnter();
    if (free) mask->Lock().Leave();
  });
  other.join();
  EXPECT_TRUE(free) << "the lock was left taken";
  Application()->OnException = nullptr;
}

TEST(PictureEffects, ShippedArtworkShowsOnAFrame) {
  struct Kind {
    const wchar_t* folder;
    TComPtr<TImageProcessor> (*make)();
  } kinds[] = {
      {L"animation", [] { return TComPtr<TImageProcessor>(new TAnimationProcessor()); }},
      {L"border", [] { return TComPtr<TImageProcessor>(new TBorderProcessor()); }},
      {L"decoration", [] { return TComPtr<TImageProcessor>(new TDecorationProcessor()); }},
      {L"light", [] { return TComPtr<TImageProcessor>(new TLightProcessor()); }},
      {L"mask", [] { return TComPtr<TImageProcessor>(new TMaskProcessor()); }},
  };
  for (const Kind& k : kinds) {
    std::wstring folder = ExtractFilePath(ParamStr(0)) + L"Effect\\" + k.folder + L"\\";
    int pictures = 0;
    TSearchRec rec;
    if (FindFirst(folder + L"*.*", faAnyFile & ~faDirectory, rec) == 0) {
      do {
        TPictureFormat format = PictureFormatFromExtension(rec.Name);
        if (format == TPictureFormat::Unknown) continue;
        SCOPED_TRACE(rec.Name);
        EXPECT_TRUE(format == TPictureFormat::Gif || std::wstring(k.folder) == L"mask");
        ++pictures;
        TComPtr<TImageProcessor> p = k.make();
        p->SetEnabled(TRUE);
        p->SetFileName(folder + rec.Name);
        EXPECT_EQ(p->GetState(), TProcessorState::psRunning);
        // some frame of the animation changes a grey picture
        bool changed = false;
        for (int n = 0; n < 20 && !changed; ++n) {
          TTestFrame frame(320, 240);
          frame.Fill(Grey);
          EXPECT_TRUE(p->Process(frame.DC(), frame.Bitmap(), frame.Info()));
          std::vector<BYTE> bits = frame.Bits();
          for (size_t i = 0; i < bits.size() && !changed; i += 3) changed = bits[i] != 128 || bits[i + 1] != 128 || bits[i + 2] != 128;
          ::Sleep(20);
        }
        EXPECT_TRUE(changed);
      } while (FindNext(rec) == 0);
      FindClose(rec);
    }
    EXPECT_GE(pictures, 2) << "Effect\\" << std::string(k.folder, k.folder + wcslen(k.folder));
  }
}
