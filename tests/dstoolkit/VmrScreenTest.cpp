// The VMR-9 video window's picture on the screen. Wine's VMR-9 presents through OpenGL, which
// Wine's own screen reads (GDI on the desktop) do not see, so the screen is taken from the X
// server with xwd, which Wine starts as a Unix program. On Xvfb the VMR-9 draws only into a
// renderer window that is not a child window: the video window's full screen shows the camera's
// picture, scaled to the screen and moving. It covers the display: nothing runs beside this test.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "AviWriter.h"
#include "VmrFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace kivo::test {
KIVO_IMPLEMENT_CLASS(TVmrForm)
}

namespace {

// The X server's screen, read as the test picture stretched over the whole screen: each cell of the
// source's size is taken from the screen at the centre of where it lies when stretched (the
// renderer's filtering blends the edges of the stretched cells, which a reading of the screen itself
// takes for cells of their own). `why` tells what failed.
TPatternReading ReadXScreen(std::string& why) {
  const TXImage screen = ReadXImage(0, why);
  if (screen.Empty()) return {};
  std::vector<BYTE> dib(FrameBytes(kVmrW, kVmrH));
  for (int y = 0; y < kVmrH; ++y) {
    const double cy = (y / kPatternCell + 0.5) * kPatternCell;
    const int sy = int(cy * screen.Height / kVmrH);
    for (int x = 0; x < kVmrW; ++x) {
      const double cx = (x / kPatternCell + 0.5) * kPatternCell;
      const uint32_t pixel = screen.At(int(cx * screen.Width / kVmrW), sy);
      for (int c = 0; c < 3; ++c) dib[(kVmrH - 1 - y) * FrameStride(kVmrW) + x * 3 + c] = BYTE(pixel >> (8 * c));
    }
  }
  TPatternReading r = ReadPattern(dib.data(), kVmrW, kVmrH);
  why = r.Describe();
  return r;
}

TEST_F(VmrWindow, FullScreenVideoShowsTheMovingCameraPicture) {
  Form->Window->SetMode(TVideoMode::vmVMR);
  ASSERT_EQ(Form->Window->Mode(), TVideoMode::vmVMR);
  ASSERT_NO_FATAL_FAILURE(Build());
  Form->Window->SetFullScreen(true);
  ASSERT_TRUE(Form->Graph->Play());
  ASSERT_TRUE(FramesFlow());

  std::string why;
  TPatternReading first;
  ASSERT_TRUE(PumpUntil([&] { return (first = ReadXScreen(why)).Found; }, 15000)) << why;
  EXPECT_EQ(first.Camera, 1) << why;
  EXPECT_EQ(first.SourceWidth, kVmrW);
  EXPECT_EQ(first.SourceHeight, kVmrH);
  // Stretched over the whole screen (4:3 on a 4:3 screen), upright, every cell where it belongs.
  EXPECT_FALSE(first.FlippedY()) << why;
  EXPECT_FALSE(first.MirroredX()) << why;
  EXPECT_FALSE(first.Mixed()) << why;
  TPatternReading later;
  EXPECT_TRUE(PumpUntil([&] { return (later = ReadXScreen(why)).Found && later.Counter > first.Counter; }, 15000))
      << "the picture moves on: " << first.Describe() << " / " << why;

  // Back in the form, the renderer's window lies over the control again, and the screen no longer
  // shows the picture over the whole of it.
  Form->Window->SetFullScreen(false);
  ASSERT_NO_FATAL_FAILURE(PostGraphEvent(EC_VMR_RENDERDEVICE_SET, 0, 0));
  HWND video = Form->Window->VideoHandle();
  ASSERT_TRUE(video);
  EXPECT_EQ(::GetParent(video), Form->Handle());
  RECT vr{}, cr{};
  ::GetWindowRect(video, &vr);
  ::GetWindowRect(Form->Window->Handle(), &cr);
  EXPECT_EQ(RectText(vr), RectText(cr));
  EXPECT_TRUE(PumpUntil([&] { return !(later = ReadXScreen(why)).Found; }, 10000)) << why;
  EXPECT_TRUE(Form->Graph->Stop());
}

}  // namespace
