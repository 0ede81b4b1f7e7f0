// The frame writer's bitmap routines. Round trips between frames and bitmaps run here; painted
// controls, TImageCapture and concurrent bitmap producers write from fb_writer, a separate process,
// and this process reads the frame section as KivoSrc does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "CodecSamples.h"
#include "KVBitmapFrames.h"
#include "ExtCtrls.h"
#include "KVSection.h"
#include "PictureTestUtil.h"
#include "TestSupport.h"

using namespace kivo;
using kivo::test::TChildProcess;

namespace {

constexpr int kW = 320, kH = 240;

TOutputFormat FormatOf(int w, int h) {
  TOutputFormat f{};
  f.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  f.bmiHeader.biWidth = w;
  f.bmiHeader.biHeight = h;
  f.bmiHeader.biPlanes = 1;
  f.bmiHeader.biBitCount = 24;
  f.bmiHeader.biCompression = BI_RGB;
  f.bmiHeader.biSizeImage = static_cast<DWORD>(test::FrameBytes(w, h));
  return f;
}

// ---- Frames and bitmaps in this process ---------------------------------------------------------

TEST(FrameBits, SetBitmapFromFrameBitsAndGetFrameBitsRoundTrip) {
  for (const SIZE s : {SIZE{320, 240}, SIZE{33, 7}}) {  // odd widths pad their rows
    const std::vector<BYTE> frame = test::MakePattern(s.cx, s.cy, 5);
    TBitmap b;
    SetBitmapFromFrameBits(frame.data(), s.cx, s.cy, &b);
    EXPECT_EQ(b.Width(), s.cx);
    EXPECT_EQ(b.Height(), s.cy);
    // the bottom-up frame's first row is the bitmap's bottom row
    const BYTE* last = frame.data();
    EXPECT_EQ(b.Canvas()->Pixel(0, s.cy - 1), RGB(last[2], last[1], last[0]));

    TOutputFormat f = FormatOf(s.cx, s.cy);
    f.bmiHeader.biSizeImage = 0;  // GDI fills it in, on its own copy
    std::vector<BYTE> back(frame.size() + 16, 0xEE);
    EXPECT_EQ(GetBitmapFrameBits(f, &b, back.data()), std::int32_t(frame.size()));
    EXPECT_EQ(f.bmiHeader.biSizeImage, 0u);
    EXPECT_EQ(test::CheckPattern(back.data(), s.cx, s.cy, 5), "");
    EXPECT_EQ(back[frame.size()], 0xEE);  // nothing past the frame
  }
}

TEST(FrameBits, ABitmapSmallerThanTheFormatGivesNothing) {
  TBitmap b(320, 200, TPixelFormat::pf24bit);
  std::vector<BYTE> buf(test::FrameBytes(kW, kH));
  EXPECT_EQ(GetBitmapFrameBits(FormatOf(kW, kH), &b, buf.data()), 0);
  TBitmap empty;
  EXPECT_EQ(GetBitmapFrameBits(FormatOf(kW, kH), &empty, buf.data()), 0);
}

TEST(FrameBits, SaveFrameBitsToFileWritesA24BitBmpOfTheFrame) {
  test::TTempDir dir;
  const std::vector<BYTE> frame = test::MakePattern(41, 13, 9);
  SaveFrameBitsToFile(frame.data(), 41, 13, dir.Path(L"photo.bmp"));
  TBitmap b;
  b.LoadFromFile(dir.Path(L"photo.bmp"));
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  std::vector<BYTE> back(frame.size());
  ASSERT_EQ(GetBitmapFrameBits(FormatOf(41, 13), &b, back.data()), std::int32_t(frame.size()));
  EXPECT_EQ(test::CheckPattern(back.data(), 41, 13, 9), "");
  EXPECT_THROW(SaveFrameBitsToFile(nullptr, 41, 13, dir.Path(L"x.bmp")), EInvalidArgument);
  EXPECT_THROW(SaveFrameBitsToFile(frame.data(), 0, 13, dir.Path(L"x.bmp")), EInvalidArgument);
}

TEST(FrameBits, WriteBitmapFrameFillsFrameBufferOnlyWithFramesThatFitIt) {
  TBitmap big(1000, 1000, TPixelFormat::pf24bit);  // 3,000,000 bytes at 24 bits: more than the buffer
  big.Canvas()->Brush()->SetColor(clRed);
  big.Canvas()->FillRect(RECT{0, 0, 1000, 1000});
  std::memset(FrameBuffer, 0xAB, sizeof(FrameBuffer));
  WriteBitmapFrame(FormatOf(1000, 1000), &big, true);
  EXPECT_EQ(FrameBuffer[0], 0xAB);
  EXPECT_EQ(FrameBuffer[sizeof(FrameBuffer) - 1], 0xAB);
  // a frame that fits goes through the buffer: red, B, G, R = 0, 0, 255
  WriteBitmapFrame(FormatOf(kW, kH), &big, true);
  EXPECT_EQ(FrameBuffer[0], 0);
  EXPECT_EQ(FrameBuffer[2], 255);
}

TEST(FrameBits, RoutinesGiveBackEveryGdiObject) {
  TForm* form = Create<TForm>(nullptr);
  form->SetBounds(0, 0, 400, 300);
  TPanel* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(0, 0, kW, kH);
  form->Show();
  test::TTempDir dir;
  const std::vector<BYTE> frame = test::MakePattern(kW, kH, 1);
  const TOutputFormat format = FormatOf(kW, kH);
  auto work = [&] {
    std::unique_ptr<TBitmap> b(PaintControlToBitmap(panel));
    WriteBitmapFrame(format, b.get(), false);  // no section: parked
    WriteControlFrame(format, panel, true);
    SetBitmapFromFrameBits(frame.data(), kW, kH, b.get());
    SaveFrameBitsToFile(frame.data(), kW, kH, dir.Path(L"f.bmp"));
  };
  work();
  const long before = test::LiveGdiObjects();
  for (int i = 0; i < 5; ++i) work();
  EXPECT_EQ(test::LiveGdiObjects(), before);
  form->Free();
}

// ---- Through the frame section, from another process --------------------------------------------

class FrameSectionBitmaps : public ::testing::Test {
 protected:
  void SetUp() override {
    reader_ = std::make_unique<TFrameSectionReader>(MakeOfferedVideoInfo());
    ASSERT_TRUE(reader_->HasView());
    reader_->SleepMs = 0;
    writer_ = std::make_unique<TChildProcess>(test::HelperPath(L"fb_writer"));
    ASSERT_EQ(writer_->Call("init"), "ok");
  }
  void TearDown() override {
    if (writer_) writer_->Finish();
  }
  // Reads frames until one satisfies `good` (answers true) or the time is up.
  bool ReadUntil(const std::function<bool(const BYTE*)>& good, double withinMs) {
    std::vector<BYTE> buf(test::FrameBytes(kW, kH));
    const double deadline = test::NowMs() + withinMs;
    do {
      bool copied = false;
      reader_->Read([&](const BYTE* pixels, std::size_t bytes) {
        std::memcpy(buf.data(), pixels, std::min(bytes, buf.size()));
        copied = true;
      });
      if (copied && good(buf.data())) return true;
      ::Sleep(5);
    } while (test::NowMs() < deadline);
    return false;
  }
  // B, G, R of a pixel counted from the top-left, in a bottom-up frame.
  static COLORREF At(const BYTE* frame, int x, int y) {
    const BYTE* p = frame + std::size_t(kH - 1 - y) * test::FrameStride(kW) + std::size_t(x) * 3;
    return RGB(p[2], p[1], p[0]);
  }
  std::unique_ptr<TFrameSectionReader> reader_;
  std::unique_ptr<TChildProcess> writer_;
};

TEST_F(FrameSectionBitmaps, WriteControlFrameOfAPaintedControlReachesTheReader) {
  ASSERT_EQ(writer_->Call("control 255 0 0"), "ok");
  COLORREF seen[4] = {};
  EXPECT_TRUE(ReadUntil(
      [&](const BYTE* f) {
        seen[0] = At(f, 10, 10), seen[1] = At(f, 159, 119), seen[2] = At(f, 160, 120), seen[3] = At(f, 319, 239);
        return seen[2] == RGB(255, 0, 0);
      },
      5000));
  EXPECT_EQ(seen[0], RGB(255, 255, 255));  // the white child panel, top-left
  EXPECT_EQ(seen[1], RGB(255, 255, 255));
  EXPECT_EQ(seen[3], RGB(255, 0, 0));
  // repainted in another colour: the next frame shows it
  ASSERT_EQ(writer_->Call("control 0 0 255"), "ok");
  EXPECT_TRUE(ReadUntil([&](const BYTE* f) { return At(f, 300, 10) == RGB(0, 0, 255) && At(f, 5, 5) == RGB(255, 255, 255); }, 5000));
}

TEST_F(FrameSectionBitmaps, ImageCaptureWritesOnPictureChangeButNotWhenDesignInfoIs888) {
  test::TTempDir dir;
  TBitmap red(4, 4, TPixelFormat::pf24bit);
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(RECT{0, 0, 4, 4});
  red.SaveToFile(dir.Path(L"red.bmp"));
  TBitmap yellow(4, 4, TPixelFormat::pf24bit);
  yellow.Canvas()->Brush()->SetColor(clYellow);
  yellow.Canvas()->FillRect(RECT{0, 0, 4, 4});
  yellow.SaveToFile(dir.Path(L"yellow.bmp"));
  auto narrow = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };

  ASSERT_EQ(writer_->Call("control 0 0 0"), "ok");  // a known frame first
  ASSERT_TRUE(ReadUntil([&](const BYTE* f) { return At(f, 300, 200) == RGB(0, 0, 0); }, 5000));

  // suppressed: no frame of the image panel arrives
  ASSERT_EQ(writer_->Call("image " + narrow(dir.Path(L"red.bmp")) + " 888"), "ok");
  EXPECT_FALSE(ReadUntil([&](const BYTE* f) { return At(f, 5, 5) == RGB(0, 255, 0); }, 600));

  // captured: the image's parent (green) with the stretched picture at 40, 30, 80 x 60
  ASSERT_EQ(writer_->Call("image " + narrow(dir.Path(L"yellow.bmp")) + " 0"), "ok");
  COLORREF inside = 0, outside = 0, edge = 0;
  EXPECT_TRUE(ReadUntil(
      [&](const BYTE* f) {
        inside = At(f, 60, 50), outside = At(f, 5, 5), edge = At(f, 120, 90);
        return outside == RGB(0, 255, 0);
      },
      5000));
  EXPECT_EQ(inside, RGB(255, 255, 0));
  EXPECT_EQ(edge, RGB(0, 255, 0));
}

TEST_F(FrameSectionBitmaps, AnAnimatedGifInTheImageIsCapturedFrameByFrame) {
  test::TTempDir dir;
  TGifPicture g;
  g.Width = 4;
  g.Height = 4;
  g.GlobalPalette = {{255, 0, 0}, {0, 0, 255}};
  TGifFrame f;
  f.Width = 4;
  f.Height = 4;
  f.Indices.assign(16, 0);
  f.HasControl = true;
  f.Delay = 5;  // 50 ms
  g.Frames = {f, f};
  g.Frames[1].Indices.assign(16, 1);
  WritePictureFile(dir.Path(L"anim.gif"), EncodeGif(g));
  const std::wstring path = dir.Path(L"anim.gif");
  ASSERT_EQ(writer_->Call("image " + std::string(path.begin(), path.end()) + " 0"), "ok");
  // the helper's message loop runs the animation: both frames reach the section in turn
  writer_->Send("pump 3000");
  bool red = false, blue = false;
  ReadUntil(
      [&](const BYTE* fr) {
        red |= At(fr, 60, 50) == RGB(255, 0, 0);
        blue |= At(fr, 60, 50) == RGB(0, 0, 255);
        return red && blue;
      },
      3000);
  EXPECT_EQ(writer_->ReadLine(5000).value_or("<none>"), "ok");
  EXPECT_TRUE(red);
  EXPECT_TRUE(blue);
}

TEST_F(FrameSectionBitmaps, ConcurrentBitmapProducersNeverMixTheirFrames) {
  writer_->Send("race 400");
  int frames = 0, mixed = 0;
  std::vector<BYTE> buf(test::FrameBytes(kW, kH));
  const double deadline = test::NowMs() + 20000;
  std::optional<std::string> done;
  while (!done && test::NowMs() < deadline) {
    bool copied = false;
    reader_->Read([&](const BYTE* pixels, std::size_t bytes) {
      std::memcpy(buf.data(), pixels, std::min(bytes, buf.size()));
      copied = true;
    });
    if (copied) {
      const COLORREF first = At(buf.data(), 0, 0);
      if (first == RGB(255, 0, 0) || first == RGB(0, 0, 255)) {
        ++frames;
        for (int y = 0; y < kH; y += 7)
          for (int x = 0; x < kW; x += 5)
            if (At(buf.data(), x, y) != first) {
              ++mixed;
              y = kH;
              break;
            }
      }
    }
    done = writer_->ReadLine(0);
  }
  if (!done) done = writer_->ReadLine(20000);
  ASSERT_TRUE(done);
  EXPECT_EQ(*done, "ok");
  EXPECT_GT(frames, 0);
  EXPECT_EQ(mixed, 0) << frames;
}

// A producer waits for FrameSectionLock while another one holding it connects to a section whose
// format, rows padded, is larger than FrameBuffer (or changes the output format to such a size):
// nothing is ever written past FrameBuffer, whatever the size of the producer's bitmap.
struct TLockRace {
  int Width, Height;              // the section's format
  int BitmapWidth, BitmapHeight;  // the producer's bitmap
  const char* How;
};

class FrameSectionLockRace : public FrameSectionBitmaps, public ::testing::WithParamInterface<TLockRace> {};

TEST_P(FrameSectionLockRace, AProducerWaitingForTheLockNeverWritesPastFrameBuffer) {
  const TLockRace& c = GetParam();
  VIDEOINFOHEADER vih = MakeOfferedVideoInfo();
  vih.bmiHeader.biWidth = c.Width;
  vih.bmiHeader.biHeight = c.Height;
  vih.bmiHeader.biSizeImage = DWORD(c.Width * c.Height * 3);  // a size that does not pad its rows
  TFrameSectionReader odd(vih);
  ASSERT_TRUE(odd.HasView());
  std::ostringstream cmd;
  cmd << "lockrace " << c.Width << ' ' << c.Height << ' ' << c.BitmapWidth << ' ' << c.BitmapHeight << ' ' << c.How;
  EXPECT_EQ(writer_->Call(cmd.str(), 20000), "guard 0");
  EXPECT_TRUE(writer_->Running());
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameSectionLockRace,
                         ::testing::Values(TLockRace{1259, 244, 1259, 244, "connect"},
                                           TLockRace{1259, 244, 1259, 244, "set"},
                                           TLockRace{1259, 244, 1280, 720, "set"}),
                         [](const ::testing::TestParamInfo<TLockRace>& info) {
                           const TLockRace& c = info.param;
                           return std::string(c.How) + "Bitmap" + std::to_string(c.BitmapWidth) + "x" +
                                  std::to_string(c.BitmapHeight);
                         });

}  // namespace
