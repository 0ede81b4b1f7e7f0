// The screen-region source's units in the test's own process, on the real screen: the capture of a
// painted window (fitting, black bars, the cursor), the capture-region frame (layout, resizing,
// drags by messages to its strips), the page's settings, the window's capture timer and the photo.
// The tests own the screen and the cursor, so they run alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cwctype>
#include <iterator>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Dialogs.h"
#include "Forms.h"
#include "GuiTestUtil.h"
#include "KVFSnagSource.h"
#include "KVFSnagWindow.h"
#include "KVProcs.h"
#include "KVShared.h"
#include "KVSnagWnd.h"
#include "KVSysConfig.h"
#include "SysUtils.h"
#include "AviWriter.h"
#include "TestSupport.h"
#include "PaintedWindow.h"

using namespace kivo;
using kivo::test::ParkCursor;
using kivo::test::PumpFor;
using kivo::test::TPaintedWindow;
using kivo::test::PumpUntil;
using kivo::test::FrameBytes;
using kivo::test::FrameStride;
using kivo::test::ColourHex;
using kivo::test::NearColour;
using kivo::test::kBlue;
using kivo::test::kGreen;
using kivo::test::kRed;
using kivo::test::kWhite;

namespace {

constexpr int W = 320, H = 240;

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

struct TShot {
  std::vector<BYTE> Bits = std::vector<BYTE>(kMaxFrameBytes, 0x5A);
  std::int32_t Size = 0;
  // Colour at (x, y) from the top of the 320 x 240 frame.
  COLORREF At(int x, int y) const { return kivo::test::FramePixel(Bits.data(), W, H, x, y); }
};
TShot Capture(const RECT& r) {
  TShot f;
  f.Size = CaptureScreenRect(r, f.Bits.data(), f.Bits.size(), true);
  return f;
}
class SnagEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    InitFrameWriter();
    SetCaptureActive(true);
  }
  void TearDown() override { DoneFrameWriter(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new SnagEnv);

}  // namespace

TEST(SnagCapture, RegionsAreFittedIntoTheOutputWithBlackBars) {
  ASSERT_EQ(OutputWidth.load(), W);
  ASSERT_EQ(OutputHeight.load(), H);
  struct TCase {
    int w, h;
    int x0, y0, fw, fh;  // the fitted picture in the frame
  } cases[] = {
      {640, 360, 0, 30, 320, 180},   // wide: bars of 30 rows above and below
      {480, 360, 0, 0, 320, 240},    // 4:3 fills the frame
      {360, 640, 92, 0, 135, 240},   // tall: bars left and right
      {160, 120, 0, 0, 320, 240},    // smaller than the output: scaled up
  };
  ParkCursor();
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    TPaintedWindow target(RECT{40, 30, 40 + c.w, 30 + c.h}, {kRed, kGreen, kBlue, kWhite});
    const TShot f = Capture(target.Rect());
    ASSERT_EQ(f.Size, static_cast<std::int32_t>(FrameBytes(W, H)));
    // the four bands at their fitted places, never covered by the bars: not their first or last
    // row, nor the picture's first or last column
    const COLORREF bands[] = {kRed, kGreen, kBlue, kWhite};
    for (int i = 0; i < 4; ++i) {
      const int x = c.x0 + c.fw * (2 * i + 1) / 8;
      for (int y : {c.y0, c.y0 + c.fh / 2, c.y0 + c.fh - 1})
        EXPECT_TRUE(NearColour(f.At(x, y), bands[i])) << "band " << i << " at " << x << "," << y << ": " << ColourHex(f.At(x, y));
    }
    for (int y : {c.y0, c.y0 + c.fh / 2, c.y0 + c.fh - 1}) {
      const int left = c.x0, right = c.x0 + c.fw - 1;
      EXPECT_TRUE(NearColour(f.At(left, y), kRed)) << "first column at " << left << "," << y << ": " << ColourHex(f.At(left, y));
      EXPECT_TRUE(NearColour(f.At(right, y), kWhite)) << "last column at " << right << "," << y << ": " << ColourHex(f.At(right, y));
    }
    // the bars are black, right up to the picture
    if (c.y0 > 0) {
      for (int x : {0, W / 2, W - 1})
        for (int y : {0, c.y0 - 1, c.y0 + c.fh, H - 1}) EXPECT_EQ(f.At(x, y), RGB(0, 0, 0)) << x << "," << y;
    }
    if (c.x0 > 0) {
      for (int y : {0, H / 2, H - 1})
        for (int x : {0, c.x0 - 1, c.x0 + c.fw, W - 1}) EXPECT_EQ(f.At(x, y), RGB(0, 0, 0)) << x << "," << y;
    }
  }
}

TEST(SnagCapture, TheCursorIsDrawnWhereItIsAndANoneCursorDrawsNothing) {
  TPaintedWindow target(RECT{40, 30, 680, 390}, {kGreen});
  const RECT r = target.Rect();
  ParkCursor();
  const TShot plain = Capture(r);
  ASSERT_GT(plain.Size, 0);
  const POINT p{r.left + 300, r.top + 200};
  // the cursor shown is the foreground thread's: this one's, set as the window under it does
  ::SetForegroundWindow(target.Handle());
  ::SetCursorPos(p.x, p.y);
  ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  PumpFor(200);
  CURSORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetCursorInfo(&info));
  ASSERT_TRUE(info.flags & CURSOR_SHOWING);
  ASSERT_NE(info.hCursor, nullptr) << "no cursor shown over the test window";
  const TShot withCursor = Capture(r);
  ASSERT_GT(withCursor.Size, 0);
  // the changed pixels start where the cursor's image starts: its hot spot mapped into the frame
  int minX = W, minY = H, maxX = -1, maxY = -1;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (plain.At(x, y) != withCursor.At(x, y)) {
        minX = std::min(minX, x), minY = std::min(minY, y);
        maxX = std::max(maxX, x), maxY = std::max(maxY, y);
      }
  ASSERT_GE(maxX, 0) << "no cursor in the frame";
  ICONINFO ii{};
  ASSERT_TRUE(::GetIconInfo(info.hCursor, &ii));
  if (ii.hbmMask) ::DeleteObject(ii.hbmMask);
  if (ii.hbmColor) ::DeleteObject(ii.hbmColor);
  const int ex = (p.x - static_cast<int>(ii.xHotspot) - r.left) * 320 / (r.right - r.left);
  const int ey = 30 + (p.y - static_cast<int>(ii.yHotspot) - r.top) * 180 / (r.bottom - r.top);
  EXPECT_NEAR(minX, ex, 4);
  EXPECT_NEAR(minY, ey, 4);
  EXPECT_LT(maxX - minX, 40) << "the cursor is drawn at its own size";
  EXPECT_LT(maxY - minY, 40);
  // a cursor set to none (Wine may still call it showing, without a handle) draws nothing
  ::SetCursor(nullptr);
  const TShot none = Capture(r);
  ASSERT_GT(none.Size, 0);
  EXPECT_TRUE(none.Bits == plain.Bits) << "something was drawn for a cursor set to none";
  ParkCursor();
}

TEST(SnagCapture, NothingIsCopiedWithoutCopyForAnEmptyRegionOrIntoASmallBuffer) {
  ParkCursor();
  std::vector<BYTE> small(1000, 0x77);
  const RECT r{0, 0, 320, 240};
  EXPECT_EQ(CaptureScreenRect(r, small.data(), small.size(), true), 0);
  EXPECT_EQ(small, std::vector<BYTE>(1000, 0x77));
  std::vector<BYTE> big(kMaxFrameBytes, 0x77);
  EXPECT_EQ(CaptureScreenRect(r, big.data(), big.size(), false), 0);
  EXPECT_EQ(big, std::vector<BYTE>(kMaxFrameBytes, 0x77));
  EXPECT_EQ(CaptureScreenRect(RECT{10, 10, 10, 50}, big.data(), big.size(), true), 0);
  EXPECT_EQ(CaptureScreenRect(RECT{10, 10, 5, 50}, big.data(), big.size(), true), 0);
}

TEST(SnagWindow, MouseTracingShiftsTheRegionSoTheCursorIsOnItsEdge) {
  const RECT region{100, 100, 420, 340};
  struct TCase {
    POINT p;
    RECT expected;
  } cases[] = {
      {{200, 200}, {100, 100, 420, 340}},  // inside: unchanged
      {{470, 200}, {150, 100, 470, 340}},  // 50 right of the right edge: 50 right
      {{50, 80}, {50, 80, 370, 320}},      // left and above
      {{420, 340}, {100, 100, 420, 340}},  // on the right and bottom edges (outside): shift 0
      {{100, 500}, {100, 260, 420, 500}},  // below
  };
  for (const TCase& c : cases) {
    const RECT got = TSnagWindow::TraceRegion(region, c.p);
    EXPECT_TRUE(::EqualRect(&got, &c.expected)) << c.p.x << "," << c.p.y << ": " << got.left << "," << got.top << ","
                                                << got.right << "," << got.bottom;
  }
}

namespace {
RECT StripRect(TBorderForm* s) { return RECT{s->Left(), s->Top(), s->Left() + s->Width(), s->Top() + s->Height()}; }
std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}
}  // namespace

TEST(SnagFrame, ResizeByKeepsFourToThreeAndNeverGoesBelowTheOutputSize) {
  TObjectPtr<TSnagRectObject> frame(Create<TSnagRectObject>());
  frame->SetVisibleFrame(false);
  struct TCase {
    int handle, dx, dy;
    RECT expected;  // left, top, right, bottom
  } cases[] = {
      {3, 40, 0, {100, 100, 460, 370}},      // right +40: 360 x 270, top-left unchanged
      {1, 0, -30, {100, 70, 460, 340}},      // top up 30: 360 x 270, bottom and left stay
      {4, -100, -100, {100, 100, 420, 340}},  // bottom-right inward: stops at the output size
      {7, 50, 0, {100, 100, 420, 340}},      // left edge inward: stops too
      {7, -40, 0, {60, 100, 420, 370}},      // left outward: the height follows downwards
      {0, -40, -40, {60, 70, 420, 340}},     // a left-side corner moves the top
      {5, 0, 60, {100, 100, 500, 400}},      // bottom down: the width grows to the right
      {6, -80, 0, {20, 100, 420, 400}},      // bottom-left out: the bottom follows
      {2, 0, -60, {100, 40, 500, 340}},      // top-right up: the top moves
  };
  for (const TCase& c : cases) {
    frame->SetBounds(RECT{100, 100, 420, 340});
    frame->ResizeBy(c.dx, c.dy, c.handle);
    const RECT got = frame->BoundsRect();
    EXPECT_TRUE(::EqualRect(&got, &c.expected)) << "handle " << c.handle << " by " << c.dx << "," << c.dy << ": "
                                                << RectText(got) << " instead of " << RectText(c.expected);
  }
  // without the aspect, each edge alone
  frame->KeepAspect = false;
  frame->SetBounds(RECT{100, 100, 420, 340});
  frame->ResizeBy(40, 0, 3);
  EXPECT_EQ(RectText(frame->BoundsRect()), "100,100 360x240");
}

TEST(SnagFrame, StripsLieJustOutsideTheRegionAndFollowIt) {
  TObjectPtr<TSnagRectObject> frame(Create<TSnagRectObject>());
  EXPECT_EQ(RectText(frame->BoundsRect()), "0,0 320x240");
  frame->SetBounds(RECT{100, 80, 420, 320});
  PumpFor(100);
  EXPECT_EQ(RectText(StripRect(frame->LeftStrip)), "97,77 3x246");
  EXPECT_EQ(RectText(StripRect(frame->RightStrip)), "420,77 3x246");
  EXPECT_EQ(RectText(StripRect(frame->TopStrip)), "97,77 326x3");
  EXPECT_EQ(RectText(StripRect(frame->BottomStrip)), "97,320 326x3");
  for (TBorderForm* s : {frame->LeftStrip, frame->TopStrip, frame->RightStrip, frame->BottomStrip}) {
    ASSERT_TRUE(s->HandleAllocated());
    EXPECT_TRUE(::IsWindowVisible(s->HandleIfAllocated()));
    EXPECT_TRUE(::GetWindowLongW(s->HandleIfAllocated(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT wr{};
    ::GetWindowRect(s->HandleIfAllocated(), &wr);
    EXPECT_EQ(RectText(wr), RectText(StripRect(s)));
    EXPECT_TRUE(frame->IsStrip(s->HandleIfAllocated()));
  }
  // the strips show on the screen in the border colour, the handles in red
  {
    TWindowDC screen(nullptr);
    EXPECT_EQ(::GetPixel(screen.Get(), 98, 150), RGB(192, 192, 192));
    EXPECT_EQ(::GetPixel(screen.Get(), 300, 321), RGB(192, 192, 192));
    EXPECT_EQ(::GetPixel(screen.Get(), 98, 78), RGB(255, 0, 0));   // top-left handle
    EXPECT_EQ(::GetPixel(screen.Get(), 421, 200), RGB(255, 0, 0));  // right strip's middle handle
  }
  // handles: the middle one centred, the others at the ends (a 3-pixel strip shows 3 x 8 of each)
  EXPECT_EQ(frame->RightStrip->HandleMiddle->Top(), (246 - 8) / 2);
  EXPECT_EQ(frame->RightStrip->HandleBottomRight->Top(), 246 - 8);
  frame->MoveBy(10, -5);
  EXPECT_EQ(RectText(frame->BoundsRect()), "110,75 320x240");
  EXPECT_EQ(RectText(StripRect(frame->LeftStrip)), "107,72 3x246");
  EXPECT_FALSE(frame->IsStrip(nullptr));
  frame->SetVisibleFrame(false);
  EXPECT_FALSE(::IsWindowVisible(frame->TopStrip->HandleIfAllocated()));
  frame->SetBounds(RECT{0, 0, 320, 240});  // a hidden frame stays hidden when it moves
  EXPECT_FALSE(::IsWindowVisible(frame->TopStrip->HandleIfAllocated()));
}

namespace {
// A left press on a strip at its client point, as the mouse gives it.
void PressStrip(TBorderForm* strip, int x, int y) {
  ::SendMessageW(strip->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}
void MoveMouse(TSnagRectObject* frame, int screenX, int screenY) {
  ::SendMessageW(frame->MessageWindow(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(screenX, screenY));
}
void Release(TSnagRectObject* frame, int screenX, int screenY) {
  ::SendMessageW(frame->MessageWindow(), WM_LBUTTONUP, 0, MAKELPARAM(screenX, screenY));
}
struct TDragLog {
  int Begin = 0, Drag = 0, End = 0;
  void Attach(TSnagRectObject* f) {
    f->OnBeginDrag = [this](TObject*) { ++Begin; };
    f->OnDrag = [this](TObject*) { ++Drag; };
    f->OnEndDrag = [this](TObject*) { ++End; };
  }
};
}  // namespace

TEST(SnagFrame, StripsMoveAndHandlesResizeByDrags) {
  TObjectPtr<TSnagRectObject> frame(Create<TSnagRectObject>());
  TDragLog log;
  log.Attach(frame.get());
  struct TCase {
    const char* what;
    TBorderForm* TSnagRectObject::*strip;
    int x, y;  // client point on the strip (a handle or the bare strip)
    int dx, dy;
    RECT expected;
  } cases[] = {
      {"move by the left strip", &TSnagRectObject::LeftStrip, 1, 60, 10, -5, {110, 95, 430, 335}},
      {"right strip's middle handle", &TSnagRectObject::RightStrip, 1, 123, 40, 0, {100, 100, 460, 370}},
      {"top strip's middle handle", &TSnagRectObject::TopStrip, 163, 1, 0, -30, {100, 70, 460, 340}},
      {"bottom strip's right handle", &TSnagRectObject::BottomStrip, 323, 1, 80, 0, {100, 100, 500, 400}},
      {"left strip's top handle", &TSnagRectObject::LeftStrip, 1, 2, -40, -40, {60, 70, 420, 340}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    frame->SetBounds(RECT{100, 100, 420, 340});
    log = TDragLog{};
    log.Attach(frame.get());
    PressStrip(frame.get()->*c.strip, c.x, c.y);
    EXPECT_EQ(log.Begin, 1);
    EXPECT_EQ(::GetCapture(), frame->MessageWindow());
    MoveMouse(frame.get(), 500, 500);  // the first move only records the position
    MoveMouse(frame.get(), 500 + c.dx / 2, 500 + c.dy / 2);
    MoveMouse(frame.get(), 500 + c.dx, 500 + c.dy);
    Release(frame.get(), 500 + c.dx, 500 + c.dy);
    EXPECT_EQ(log.Drag, 2);
    EXPECT_EQ(log.End, 1);
    EXPECT_FALSE(frame->Dragging());
    EXPECT_NE(::GetCapture(), frame->MessageWindow());
    EXPECT_EQ(RectText(frame->BoundsRect()), RectText(c.expected));
  }
  // a press and release without a move: only the begin and end events
  frame->SetBounds(RECT{100, 100, 420, 340});
  log = TDragLog{};
  log.Attach(frame.get());
  PressStrip(frame->TopStrip, 100, 1);
  Release(frame.get(), 0, 0);
  EXPECT_EQ(log.Begin, 1);
  EXPECT_EQ(log.Drag, 0);
  EXPECT_EQ(log.End, 1);
  EXPECT_EQ(RectText(frame->BoundsRect()), "100,100 320x240");
  // a drag whose capture is taken away ends there
  PressStrip(frame->LeftStrip, 1, 60);
  MoveMouse(frame.get(), 10, 10);
  ::SetCapture(frame->TopStrip->Handle());
  ::ReleaseCapture();
  EXPECT_FALSE(frame->Dragging());
  EXPECT_EQ(log.End, 2);
  MoveMouse(frame.get(), 50, 50);
  EXPECT_EQ(RectText(frame->BoundsRect()), "100,100 320x240") << "a move after the lost capture still dragged";
  // mode 0: neither moves nor resizes, no handles
  frame->SetMode(0);
  for (TLabel* l : {frame->LeftStrip->HandleTopLeft, frame->RightStrip->HandleMiddle}) EXPECT_FALSE(l->Visible());
  PressStrip(frame->LeftStrip, 1, 60);
  PressStrip(frame->RightStrip, 1, 123);
  EXPECT_EQ(log.Begin, 2);
  EXPECT_FALSE(frame->Dragging());
  ::ReleaseCapture();
  // moving only: the hidden handle's place moves the frame instead of resizing it
  frame->SetMode(kFrameMove);
  PressStrip(frame->RightStrip, 1, 123);
  EXPECT_TRUE(frame->Dragging());
  MoveMouse(frame.get(), 500, 500);
  MoveMouse(frame.get(), 540, 500);
  Release(frame.get(), 540, 500);
  EXPECT_EQ(RectText(frame->BoundsRect()), "140,100 320x240");
}

namespace {
// The test program's ini file (the units read their settings from it), removed afterwards.
struct TAppIni {
  std::wstring Path = AppIniFileName();
  explicit TAppIni(const std::string& text) {
    std::ofstream(Narrow(Path), std::ios::binary | std::ios::trunc) << text;
  }
  ~TAppIni() { ::DeleteFileW(Path.c_str()); }
  std::wstring Value(const wchar_t* key) const {
    wchar_t buf[256] = {};
    ::GetPrivateProfileStringW(L"Snag", key, L"-", buf, 256, Path.c_str());
    return buf;
  }
};

// The main window's part: takes the capture source as the main window does, counting the requests.
struct TMainStandIn {
  int Requests = 0;
  TUtilWindow Window{[this](TMessage& m) {
    if (m.Msg == WM_SET_CAPTURE_SOURCE) {
      ++Requests;
      SysConfig.CaptureSourceIndex = static_cast<std::int32_t>(m.LParam);
    }
    m.Result = ::DefWindowProcW(Window.Handle(), m.Msg, m.WParam, m.LParam);
  }};
  TMainStandIn() { MainWindowHandle = Window.Handle(); }
  ~TMainStandIn() { MainWindowHandle = nullptr; }
};

// The screen source's pair on a form, linked as the main window links them.
struct TSnagPair {
  TForm* Form;
  TSnagWindow* Window;
  TSnagSource* Page;
  TSnagPair() {
    Form = Create<TForm>(Application());
    Form->SetBounds(600, 400, 340, 540);
    Window = Create<TSnagWindow>(Form);
    Window->SetParent(Form);
    Page = Create<TSnagSource>(Form);
    Page->SetParent(Form);
    Page->SetTop(250);
    Window->Source = Page;
    Window->SourceIndex = 3;
    Page->Window = Window;
    Form->Show();
    PumpFor(200);
  }
  ~TSnagPair() {
    Window->Stop();
    Form->Free();
  }
};

// Counts the message boxes (TMessageForm) of this process and closes each, on another thread.
class TBoxCounter {
 public:
  TBoxCounter() {
    thread_ = std::thread([this] {
      while (!stop_) {
        if (HWND box = kivo::test::FindVisibleTopLevel(L"TMessageForm")) {
          if (box != last_) {
            ++count_;
            std::wstring text;
            ::EnumChildWindows(box, &TBoxCounter::Collect, reinterpret_cast<LPARAM>(&text));
            if (auto* form = dynamic_cast<TMessageForm*>(FindControl(box)))
              if (form->Message) text += form->Message->Caption() + L"|";
            texts_ += text;
            last_ = box;
          }
          ::PostMessageW(box, WM_CLOSE, 0, 0);
        }
        ::Sleep(30);
      }
    });
  }
  ~TBoxCounter() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int Count() const { return count_; }
  const std::wstring& Texts() const { return texts_; }

 private:
  static BOOL CALLBACK Collect(HWND w, LPARAM l) {
    *reinterpret_cast<std::wstring*>(l) += kivo::test::TextOf(w) + L"|";
    return TRUE;
  }
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> count_{0};
  HWND last_ = nullptr;
  std::wstring texts_;
};
}  // namespace

TEST(SnagSource, SettingsAreReadClampedAndWrittenBack) {
  struct TCase {
    const char* ini;
    bool window;
    const wchar_t *left, *top, *width, *height;
    bool trace;
  } cases[] = {
      {"", false, L"0", L"0", L"320", L"240", true},
      {"[Snag]\r\nType=Window\r\nLeft=-5\r\nTop=12\r\nWidth=100\r\nHeight=480\r\nTraceMouse=0\r\n", true, L"0", L"12",
       L"320", L"480", false},
      {"[Snag]\r\nType=Ellipse\r\nLeft=40\r\nWidth=640\r\nHeight=x\r\n", false, L"40", L"0", L"640", L"240", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.ini);
    TAppIni ini(c.ini);
    TSnagPair pair;
    TSnagSource* page = pair.Page;
    EXPECT_EQ(page->rbSnagWindow->Checked(), c.window);
    EXPECT_EQ(page->rbSnagRect->Checked(), !c.window);
    EXPECT_EQ(page->imgSnagWindow->Visible(), c.window);
    EXPECT_EQ(page->edtSnagLeft->Text(), c.left);
    EXPECT_EQ(page->edtSnagTop->Text(), c.top);
    EXPECT_EQ(page->edtSnagWidth->Text(), c.width);
    EXPECT_EQ(page->edtSnagHeight->Text(), c.height);
    EXPECT_EQ(page->chkTraceMouse->Checked(), c.trace);
  }
  // a change of type writes every key; the window takes the page's settings
  TAppIni ini("");
  TSnagPair pair;
  TSnagSource* page = pair.Page;
  page->edtSnagLeft->SetText(L"15");
  page->edtSnagTop->SetText(L"25");
  page->chkTraceMouse->SetChecked(false);
  EXPECT_EQ(ini.Value(L"TraceMouse"), L"0");
  page->rbSnagWindow->SetChecked(true);
  EXPECT_EQ(ini.Value(L"Type"), L"Window");
  EXPECT_EQ(ini.Value(L"Left"), L"15");
  EXPECT_EQ(ini.Value(L"Top"), L"25");
  EXPECT_EQ(ini.Value(L"Width"), L"320");
  EXPECT_EQ(ini.Value(L"Height"), L"240");
  EXPECT_EQ(pair.Window->SnagMode, kSnagWindow);
  EXPECT_FALSE(pair.Window->TraceMouse);
  EXPECT_TRUE(page->imgSnagWindow->Visible());
  page->rbSnagRect->SetChecked(true);
  EXPECT_EQ(ini.Value(L"Type"), L"Rect");
  EXPECT_EQ(pair.Window->SnagMode, kSnagRegion);
  EXPECT_EQ(RectText(pair.Window->Region), "15,25 320x240");
  // an edit is applied by Enter only when it was changed by the user
  page->edtSnagWidth->SetText(L"400");
  WORD enter = VK_RETURN;
  page->RectEditKeyDown(page->edtSnagWidth, enter, 0);
  EXPECT_EQ(RectText(pair.Window->Region), "15,25 320x240");
  page->edtSnagWidth->SetModified(true);
  page->RectEditKeyDown(page->edtSnagWidth, enter, 0);
  EXPECT_EQ(RectText(pair.Window->Region), "15,25 400x240");
  EXPECT_EQ(ini.Value(L"Width"), L"400");
  EXPECT_FALSE(page->edtSnagWidth->Modified());
  wchar_t key = L'\r';
  page->RectEditKeyPress(page->edtSnagWidth, key);
  EXPECT_EQ(key, 0);
}

TEST(SnagSource, CaptureRunsOnTheTimerAndATickNeverTakesTheCaptureSourceBack) {
  TAppIni ini("[Snag]\r\nType=Rect\r\nLeft=40\r\nTop=30\r\nWidth=640\r\nHeight=360\r\nTraceMouse=0\r\n");
  TMainStandIn main;
  SysConfig.CaptureSourceIndex = 0;
  TPaintedWindow target(RECT{40, 30, 680, 390}, {kRed, kBlue});
  ParkCursor();
  TSnagPair pair;
  TSnagWindow* w = pair.Window;
  pair.Page->btnStartSnag->Click();
  EXPECT_EQ(w->State(), kStatePlaying);
  EXPECT_EQ(main.Requests, 1) << "a start by the user makes the screen the capture source";
  EXPECT_EQ(SysConfig.CaptureSourceIndex.load(), 3);
  EXPECT_TRUE(pair.Page->btnStopSnag->Visible());
  EXPECT_FALSE(pair.Page->btnStartSnag->Visible());
  EXPECT_EQ(RectText(pair.Page->SnagRect->BoundsRect()), "40,30 640x360");
  // the preview shows the frame: bars and the two halves
  EXPECT_EQ(SnagPreviewPicture, w->imgSnag->Picture());
  PumpFor(300);
  TBitmap* preview = w->imgSnag->Picture()->Bitmap();
  ASSERT_EQ(preview->Width(), W);
  HDC pdc = preview->Canvas()->Handle();
  EXPECT_EQ(::GetPixel(pdc, 160, 10), RGB(0, 0, 0));
  EXPECT_TRUE(NearColour(::GetPixel(pdc, 80, 120), kRed)) << ColourHex(::GetPixel(pdc, 80, 120));
  EXPECT_TRUE(NearColour(::GetPixel(pdc, 240, 120), kBlue)) << ColourHex(::GetPixel(pdc, 240, 120));
  // another source chosen: the ticks go on without taking the capture source back
  SysConfig.CaptureSourceIndex = 0;
  PumpFor(500);
  EXPECT_EQ(main.Requests, 1);
  EXPECT_EQ(SysConfig.CaptureSourceIndex.load(), 0);
  EXPECT_EQ(w->State(), kStatePlaying);
  // the preview follows the screen
  target.Close();
  PumpFor(300);
  EXPECT_FALSE(NearColour(::GetPixel(preview->Canvas()->Handle(), 80, 120), kRed));
  pair.Page->btnStopSnag->Click();
  EXPECT_EQ(w->State(), kStateStopped);
  EXPECT_TRUE(pair.Page->btnStartSnag->Visible());
  EXPECT_FALSE(::IsWindowVisible(pair.Page->SnagRect->TopStrip->Handle()));
}

TEST(SnagSource, WindowModeFollowsTheWindowAndStopsOnceWhenItCloses) {
  TAppIni ini("[Snag]\r\nType=Window\r\n");
  TMainStandIn main;
  TSnagPair pair;
  TSnagWindow* w = pair.Window;
  // no window chosen: one box, no capture
  {
    TBoxCounter boxes;
    pair.Page->btnStartSnag->Click();
    PumpFor(500);
    boxes.Stop();
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_NE(boxes.Texts().find(kNoSnagWindowText), std::wstring::npos);
    EXPECT_NE(boxes.Texts().find(L"OK|"), std::wstring::npos) << "the box has no OK button";
    EXPECT_NE(w->State(), kStatePlaying);
  }
  TPaintedWindow target(RECT{100, 100, 420, 340}, {kGreen});
  pair.Page->PickedWindow = target.Handle();
  pair.Page->ApplySource(false);
  pair.Page->btnStartSnag->Click();
  ASSERT_EQ(w->State(), kStatePlaying);
  EXPECT_EQ(RectText(pair.Page->SnagRect->BoundsRect()), "100,100 320x240");
  target.MoveTo(200, 150);
  EXPECT_TRUE(PumpUntil([&] { return RectText(pair.Page->SnagRect->BoundsRect()) == "200,150 320x240"; }, 2000))
      << RectText(pair.Page->SnagRect->BoundsRect());
  EXPECT_EQ(RectText(w->Region), "200,150 320x240");
  // the window goes while it is captured: the capture stops with a single box
  TBoxCounter boxes;
  target.Close();
  EXPECT_TRUE(PumpUntil([&] { return w->State() != kStatePlaying; }, 3000));
  PumpFor(800);
  boxes.Stop();
  EXPECT_EQ(boxes.Count(), 1) << Narrow(boxes.Texts());
  EXPECT_EQ(w->State(), kStateStopped);
  EXPECT_TRUE(pair.Page->btnStartSnag->Visible());
}

TEST(SnagSource, DraggingTheFrameStopsTheCaptureAndResumesItOnlyWhenItRan) {
  TAppIni ini("[Snag]\r\nType=Rect\r\nLeft=100\r\nTop=100\r\nWidth=320\r\nHeight=240\r\nTraceMouse=0\r\n");
  TMainStandIn main;
  SysConfig.CaptureSourceIndex = 0;
  ParkCursor();
  TSnagPair pair;
  TSnagWindow* w = pair.Window;
  TSnagRectObject* frame = pair.Page->SnagRect;
  pair.Page->btnStartSnag->Click();
  ASSERT_EQ(w->State(), kStatePlaying);
  PressStrip(frame->RightStrip, 1, 123);  // the right handle
  EXPECT_EQ(w->State(), kStateStopped) << "the drag did not stop the capture";
  MoveMouse(frame, 600, 300);
  MoveMouse(frame, 640, 300);
  EXPECT_EQ(pair.Page->edtSnagWidth->Text(), L"360");
  EXPECT_EQ(pair.Page->edtSnagHeight->Text(), L"270");
  Release(frame, 640, 300);
  EXPECT_EQ(w->State(), kStatePlaying) << "the capture did not resume";
  EXPECT_EQ(main.Requests, 1) << "resuming after a drag took the capture source";
  EXPECT_EQ(RectText(w->Region), "100,100 360x270");
  EXPECT_EQ(ini.Value(L"Width"), L"360");
  EXPECT_EQ(ini.Value(L"Height"), L"270");
  pair.Page->btnStopSnag->Click();
  ASSERT_EQ(w->State(), kStateStopped);
  pair.Page->ShowFrame();
  PressStrip(frame->LeftStrip, 1, 60);
  MoveMouse(frame, 300, 300);
  MoveMouse(frame, 310, 300);
  Release(frame, 310, 300);
  EXPECT_EQ(w->State(), kStateStopped) << "a drag of a stopped capture started it";
  EXPECT_EQ(pair.Page->edtSnagLeft->Text(), L"110");
}

TEST(SnagPhoto, APhotoIsTheFrameAsABmpInThePhotoFolder) {
  const std::wstring dir = kivo::test::TempFilePath(L"snagphoto", L"") + L"\\";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring savedDir = ProgramDir;
  ProgramDir = dir;
  TPaintedWindow preview(RECT{60, 60, 380, 300}, {kBlue, kRed});
  PreviewWindowHandle = preview.Handle();
  ParkCursor();
  const std::wstring file = TakePhoto();
  const std::wstring folder = dir + L"Photo\\";
  ASSERT_EQ(file.substr(0, folder.size()), folder);
  const std::wstring stem = file.substr(folder.size());
  ASSERT_GE(stem.size(), 14u) << Narrow(stem);
  EXPECT_EQ(stem.substr(stem.size() - 4), L".bmp");
  for (wchar_t ch : stem.substr(0, stem.size() - 4)) EXPECT_TRUE(std::iswdigit(ch) || (ch >= L'A' && ch <= L'F')) << Narrow(stem);
  std::ifstream in(Narrow(file), std::ios::binary);
  std::vector<char> all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(all.size(), 54u + FrameBytes(W, H));
  BITMAPFILEHEADER fh;
  BITMAPINFOHEADER ih;
  std::memcpy(&fh, all.data(), sizeof fh);
  std::memcpy(&ih, all.data() + sizeof fh, sizeof ih);
  EXPECT_EQ(fh.bfType, 0x4D42);
  EXPECT_EQ(ih.biWidth, W);
  EXPECT_EQ(std::abs(ih.biHeight), H);
  EXPECT_EQ(ih.biBitCount, 24);
  auto pixel = [&](int x, int y) {
    const int row = ih.biHeight > 0 ? H - 1 - y : y;
    const BYTE* p = reinterpret_cast<const BYTE*>(all.data()) + fh.bfOffBits + FrameStride(W) * row + x * 3;
    return RGB(p[2], p[1], p[0]);
  };
  EXPECT_TRUE(NearColour(pixel(80, 120), kBlue)) << ColourHex(pixel(80, 120));
  EXPECT_TRUE(NearColour(pixel(240, 120), kRed)) << ColourHex(pixel(240, 120));
  in.close();
  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(folder.c_str());
  // a file in the folder's place: the photo fails with an error, not silently
  {
    std::ofstream(Narrow(dir + L"Photo"), std::ios::binary) << "x";
  }
  EXPECT_THROW(TakePhoto(), Exception);
  ::DeleteFileW((dir + L"Photo").c_str());
  PreviewWindowHandle = nullptr;
  EXPECT_THROW(TakePhoto(), Exception);
  ProgramDir = savedDir;
  ::RemoveDirectoryW(dir.c_str());
}

namespace {
// Real mouse input at a screen point.
void MouseInput(int x, int y, DWORD buttonFlags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = (x * 65535 + ::GetSystemMetrics(SM_CXSCREEN) / 2) / (::GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (y * 65535 + ::GetSystemMetrics(SM_CYSCREEN) / 2) / (::GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttonFlags;
  ::SendInput(1, &in, sizeof(in));
}
}  // namespace

TEST(SnagSource, ThePickerTakesTheWindowUnderTheHeldButtonButNeverTheFramesOwnStrips) {
  TAppIni ini("[Snag]\r\nType=Window\r\n");
  TSnagPair pair;
  TSnagSource* page = pair.Page;
  TPaintedWindow target(RECT{100, 100, 420, 340}, {kGreen});
  page->StartPick();
  EXPECT_TRUE(page->Picking);
  EXPECT_TRUE(page->imgSnagWindow->Down());
  MouseInput(200, 200, MOUSEEVENTF_LEFTDOWN);
  EXPECT_TRUE(PumpUntil([&] { return page->PickedWindow == target.Handle(); }, 3000));
  EXPECT_EQ(page->lblSnagHint->Caption(), L"Kivo snag target");
  EXPECT_EQ(RectText(page->SnagRect->BoundsRect()), "100,100 320x240");
  // over the frame's own strip (around the window): the window stays picked
  MouseInput(98, 200, 0);
  PumpFor(400);
  EXPECT_EQ(page->PickedWindow, target.Handle());
  MouseInput(98, 200, MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(PumpUntil([&] { return !page->Picking; }, 3000));
  EXPECT_EQ(page->PickedWindow, target.Handle());
  EXPECT_FALSE(page->imgSnagWindow->Down());
  EXPECT_EQ(page->lblSnagHint->Caption(), L"将右侧图标拖动到要捕捉的窗口");
  EXPECT_EQ(pair.Window->TargetWindow, target.Handle());
  EXPECT_EQ(page->SnagRect->Mode(), 0);
  EXPECT_TRUE(::IsWindowVisible(page->SnagRect->TopStrip->Handle()));
  ParkCursor();
}
