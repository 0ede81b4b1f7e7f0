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

uint32_t BigEndian(const std::vector<BYTE>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The X server's screen as xwd writes it (a 32-bit ZPixmap), read as the test picture stretched
// over the whole screen: each cell of the source's size is taken from the screen at the centre of
// where it lies when stretched (the renderer's filtering blends the edges of the stretched cells,
// which a reading of the screen itself takes for cells of their own). `why` tells what failed.
TPatternReading ReadXScreen(std::string& why) {
  const std::wstring file = TempFilePath(L"vmrscreen", L".xwd");
  ::DeleteFileW(file.c_str());
  const std::string out = UnixName(file);
  if (out.empty()) {
    why = "no Unix path (not under Wine?)";
    return {};
  }
  // The file is complete when it has the size its header gives.
  std::vector<BYTE> bytes;
  size_t expected = 0;
  auto complete = [&] {
    TFileOwner f(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD size = f ? ::GetFileSize(f.Get(), nullptr) : 0;
    if (size < 100 || size == INVALID_FILE_SIZE) return false;
    bytes.resize(size);
    DWORD read = 0;
    if (!expected) {
      if (!::ReadFile(f.Get(), bytes.data(), 100, &read, nullptr) || read < 100) return false;
      expected = BigEndian(bytes, 0) + size_t(BigEndian(bytes, 19 * 4)) * 12 +
                 size_t(BigEndian(bytes, 12 * 4)) * BigEndian(bytes, 5 * 4);
      ::SetFilePointer(f.Get(), 0, nullptr, FILE_BEGIN);
    }
    if (size < expected) return false;
    ::ReadFile(f.Get(), bytes.data(), size, &read, nullptr);
    bytes.resize(read);
    return bytes.size() >= expected;
  };
  if (!RunHostTool("/usr/bin/xwd", "-root -silent -out \"" + out + "\"", complete)) {
    ::DeleteFileW(file.c_str());
    why = "no complete screenshot from xwd (" + std::to_string(bytes.size()) + " bytes)";
    return {};
  }
  ::DeleteFileW(file.c_str());
  const uint32_t headerSize = BigEndian(bytes, 0), format = BigEndian(bytes, 2 * 4), width = BigEndian(bytes, 4 * 4),
                 height = BigEndian(bytes, 5 * 4), byteOrder = BigEndian(bytes, 7 * 4),
                 bitsPerPixel = BigEndian(bytes, 11 * 4), bytesPerLine = BigEndian(bytes, 12 * 4),
                 colours = BigEndian(bytes, 19 * 4);
  if (format != 2 || bitsPerPixel != 32 || byteOrder != 0) {
    why = "an xwd layout this reader does not know: format " + std::to_string(format) + ", " +
          std::to_string(bitsPerPixel) + " bits, byte order " + std::to_string(byteOrder);
    return {};
  }
  const BYTE* pixels = bytes.data() + headerSize + colours * 12;
  std::vector<BYTE> dib(FrameBytes(kVmrW, kVmrH));
  for (int y = 0; y < kVmrH; ++y) {
    const double cy = (y / kPatternCell + 0.5) * kPatternCell;
    const uint32_t sy = uint32_t(cy * height / kVmrH);
    for (int x = 0; x < kVmrW; ++x) {
      const double cx = (x / kPatternCell + 0.5) * kPatternCell;
      const uint32_t sx = uint32_t(cx * width / kVmrW);
      for (int c = 0; c < 3; ++c)
        dib[(kVmrH - 1 - y) * FrameStride(kVmrW) + x * 3 + c] = pixels[sy * bytesPerLine + sx * 4 + c];
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
