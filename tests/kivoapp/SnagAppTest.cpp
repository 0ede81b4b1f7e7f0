// The screen-region source of KivoApp.exe end to end: windows painted by this test on the real
// screen, KivoApp started from a fresh program folder and driven with real messages and real mouse
// input, and a viewer of "Kivo Filter Source" in another process reading what it receives. The
// tests own the screen and the cursor, so they run alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KivoAppFixture.h"
#include "PaintedWindow.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr int kW = 320, kH = 240;
COLORREF At(const std::vector<BYTE>& frame, int x, int y) { return FramePixel(frame.data(), kW, kH, x, y); }
// A 16:9 picture of four bands as the viewer gets it: 320 x 180 between bars of 30 rows.
std::string CheckBandFrame(const std::vector<BYTE>& f, const COLORREF (&bands)[4]) {
  if (f.size() < FrameBytes(kW, kH)) return "no frame";
  std::string problems;
  for (int i = 0; i < 4; ++i)
    for (int y : {32, 120, 207}) {
      const int x = 40 + 80 * i;
      if (!NearColour(At(f, x, y), bands[i])) problems += "band " + std::to_string(i) + " at " + std::to_string(x) + "," +
                                                      std::to_string(y) + " is " + ColourHex(At(f, x, y)) + "; ";
    }
  for (int x : {0, 160, 319})
    for (int y : {0, 29, 210, 239})
      if (At(f, x, y) != RGB(0, 0, 0))
        problems += "bar at " + std::to_string(x) + "," + std::to_string(y) + " is " + ColourHex(At(f, x, y)) + "; ";
  return problems;
}

class SnagApp : public TKivoAppTest {
 protected:
  void Start(const std::string& snag) {
    ASSERT_TRUE(folder_.Write(L"KivoApp.ini", "[System]\r\nActiveSource=Snag\r\nCaptureSource=Snag\r\nCaptureActive=1\r\n"
                                              "[Snag]\r\n" + snag));
    ASSERT_NO_FATAL_FAILURE(Launch());
    // out of the way of the captured windows: without a window manager another process's window
    // can lie above a topmost one on the screen
    ::SetWindowPos(main_, nullptr, 690, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(viewer_.Open(), "ok");
    page_ = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (page_ = ChildOf(main_, L"TSnagSource")) != nullptr; }, 10000));
  }
  // A button of the page, clicked.
  void ClickButton(const wchar_t* text) {
    HWND b = ChildOf(page_, L"TButton", text);
    ASSERT_NE(b, nullptr) << Narrow(text);
    ::PostMessageW(b, BM_CLICK, 0, 0);
  }
  bool ButtonShown(const wchar_t* text) {
    HWND b = ChildOf(page_, L"TButton", text);
    return b && (::GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE);
  }
  // KivoApp's frame strips (visible ones), in no particular order.
  std::vector<RECT> Strips() {
    std::vector<RECT> rects;
    for (HWND s : WindowsOf(app_->Pid(), L"TBorderForm")) {
      RECT r{};
      if (::IsWindowVisible(s) && ::GetWindowRect(s, &r)) rects.push_back(r);
    }
    return rects;
  }
  // The frame's rectangle from its visible strips (empty when they are not all shown).
  RECT FrameRect() {
    const std::vector<RECT> s = Strips();
    if (s.size() != 4) return RECT{0, 0, 0, 0};
    RECT u = s[0];
    for (const RECT& r : s) ::UnionRect(&u, &u, &r);
    return RECT{u.left + 3, u.top + 3, u.right - 3, u.bottom - 3};
  }
  void TearDown() override {
    ParkCursor();
    TKivoAppTest::TearDown();
  }

  HWND page_ = nullptr;
  TFrameViewer viewer_;
};

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

}  // namespace

TEST_F(SnagApp, ARegionReachesTheViewerFittedWithBars) {
  const COLORREF bands[4] = {kRed, kGreen, kBlue, kWhite};
  TPaintedWindow target(RECT{40, 60, 680, 420}, {kRed, kGreen, kBlue, kWhite});
  ParkCursor();
  Start("Type=Rect\r\nLeft=40\r\nTop=60\r\nWidth=640\r\nHeight=360\r\nTraceMouse=0\r\n");
  if (HasFatalFailure()) return;
  ClickButton(L"启动屏幕捕捉");
  std::string problems;
  std::vector<BYTE> plain;
  EXPECT_TRUE(PumpUntil([&] { plain = viewer_.Frame(); return (problems = CheckBandFrame(plain, bands)).empty(); }, 15000))
      << problems;
  EXPECT_TRUE(PumpUntil([&] { return ButtonShown(L"停止屏幕捕捉") && !ButtonShown(L"启动屏幕捕捉"); }, 5000));
  // the frame's strips around the region
  EXPECT_TRUE(PumpUntil([&] { return Describe(FrameRect()) == "40,60 640x360"; }, 5000)) << Describe(FrameRect());

  // stopped: the start button is back, the strips go, no more frames
  ClickButton(L"停止屏幕捕捉");
  EXPECT_TRUE(PumpUntil([&] { return ButtonShown(L"启动屏幕捕捉"); }, 5000));
  EXPECT_TRUE(PumpUntil([&] { return Strips().empty(); }, 5000));
  ParkCursor();
  target.Close();
  PumpFor(500);
  // the last captured frame stays (or the idle picture comes); the empty screen is never captured
  const std::vector<BYTE> idle = IdleFrameFromBmp(folder_.File(L"default.bmp"));
  const std::vector<BYTE> last = viewer_.Frame();
  problems = CheckBandFrame(last, bands);
  EXPECT_TRUE(problems.empty() || last == idle) << "frames still came after the stop: " << problems;
  EXPECT_EQ(IniValue(folder_.IniFile(), L"Snag", L"Width"), L"640");
  EXPECT_EQ(IniValue(folder_.IniFile(), L"Snag", L"Type"), L"Rect");
}

