// The picture-show control in a real window under Xvfb: manual, looped and threaded transitions,
// their events and threads, stopping as a barrier, painting, geometry and property rules.
#include <gtest/gtest.h>

#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "Forms.h"
#include "TestSupport.h"
#include "GuiTestUtil.h"
#include "PictureShow.h"
#include "TransitionTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

std::unique_ptr<TPicture> SolidPicture(int w, int h, TColor color) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  b.Canvas()->Brush()->SetColor(color);
  b.Canvas()->FillRect(RECT{0, 0, w, h});
  auto p = std::make_unique<TPicture>();
  p->SetGraphic(&b);
  return p;
}

// The colour of a pixel of a 32-bit bitmap as a COLORREF.
COLORREF BitmapColor(TBitmap* b, int x, int y) {
  const std::uint32_t px = PixelAt(b, x, y);
  return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
}

// A control whose timer device answers what the test says.
class TCapsPictureShow : public TPictureShow {
 public:
  using TPictureShow::TPictureShow;
  bool CapsFail = false;
  TIMECAPS Caps{1, 50};
  bool UseCaps = false;

 protected:
  bool QueryTimerCaps(TIMECAPS& caps) override {
    if (CapsFail) return false;
    if (!UseCaps) return TPictureShow::QueryTimerCaps(caps);
    caps = Caps;
    return true;
  }
};

// Events in the order they came, with the thread each came on.
struct TEventLog {
  std::mutex Lock;
  std::vector<std::string> Gui, Timer;
  std::vector<int> FrameProgress;
  DWORD GuiThread = ::GetCurrentThreadId();
  int WrongThread = 0;

  void Attach(TCustomPictureShow* s) {
    auto add = [this](const char* name, bool frameEvent) {
      std::lock_guard<std::mutex> l(Lock);
      const bool onGui = ::GetCurrentThreadId() == GuiThread;
      (onGui ? Gui : Timer).push_back(name);
      if (!frameEvent && !onGui) ++WrongThread;
    };
    s->OnChange = [add](TObject*) { add("Change", false); };
    s->OnStart = [add](TObject*, TBitmap*, TBitmap*) { add("Start", false); };
    s->OnProgress = [add](TObject*) { add("Progress", false); };
    s->OnComplete = [add](TObject*) { add("Complete", false); };
    s->OnStop = [add](TObject*) { add("Stop", false); };
    s->OnBeforeNewFrame = [add](TObject*, TBitmap*, TBitmap*) { add("Before", true); };
    s->OnAfterNewFrame = [this, add, s](TObject*, TBitmap*, TBitmap*) {
      add("After", true);
      std::lock_guard<std::mutex> l(Lock);
      FrameProgress.push_back(s->Progress());
    };
  }
  std::vector<std::string> GuiEvents() {
    std::lock_guard<std::mutex> l(Lock);
    return Gui;
  }
};

// Wine keeps a few window DCs and handles of its own in caches whose size varies by a few from one
// measure to the next; anything a transition left behind would add at least one per transition
// (hundreds here).
void ExpectNoGrowth(int gdiBefore, int handlesBefore) {
  EXPECT_LE(GdiHighWater() - gdiBefore, 3);
  EXPECT_LE(CountKernelHandles() - handlesBefore, 3);
}

class PictureShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // a tool popup to hold the controls; it goes with the process, since hiding a top-level
    // window costs Wine about 2 s here without a window manager
    host = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 20, 400,
                             300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(host);
    owner = new TComponent(nullptr);
    show = NewShow<TPictureShow>();
    PumpFor(30);
  }
  void TearDown() override {
    delete owner;
    DoneApplication();
  }
  template <class T>
  T* NewShow() {
    T* s = new T(owner);
    s->SetParentWindow(host);
    s->SetBounds(0, 0, 64, 48);
    return s;
  }
  // Runs a manual transition to a solid colour to its end, so that the colour is on show.
  void ShowSolid(TCustomPictureShow* s, int w, int h, TColor color) {
    auto p = SolidPicture(w, h, color);
    const bool manual = s->Manual();
    s->SetManual(true);
    s->SetPicture(p.get());
    s->Execute();
    s->SetProgress(100);
    s->Stop();
    s->SetManual(manual);
  }
  COLORREF WindowPixel(TWinControl* c, int x, int y) {
    HDC dc = ::GetDC(c->Handle());
    COLORREF v = ::GetPixel(dc, x, y);
    ::ReleaseDC(c->Handle(), dc);
    return v;
  }
  HWND host = nullptr;
  TComponent* owner = nullptr;
  TPictureShow* show = nullptr;
};

TEST_F(PictureShowTest, ManualWipeHalfwayShowsTheLeftHalfNewOnScreenAndInTheBitmap) {
  show->SetStyle(5);  // the new picture shown from the left where it stands
  ShowSolid(show, 64, 48, clRed);
  ::UpdateWindow(show->Handle());
  auto blue = SolidPicture(64, 48, clBlue);
  show->SetManual(true);
  show->SetPicture(blue.get());
  show->Execute();
  ASSERT_TRUE(show->Busy());
  EXPECT_EQ(show->Progress(), 0);
  show->SetProgress(50);
  EXPECT_EQ(show->Progress(), 50);
  TBitmap* screen = show->ScreenBitmap();
  ASSERT_EQ(screen->Width(), 64);
  ASSERT_EQ(screen->BitCount(), 32);
  HDC dc = ::GetDC(show->Handle());
  for (int y = 0; y < 48; y += 3)
    for (int x = 0; x < 64; ++x) {
      const COLORREF want = x < 32 ? RGB(0, 0, 255) : RGB(255, 0, 0);
      ASSERT_EQ(BitmapColor(screen, x, y), want) << x << "," << y;
      ASSERT_EQ(::GetPixel(dc, x, y), want) << "window " << x << "," << y;
    }
  ::ReleaseDC(show->Handle(), dc);
  // the style changed while prepared draws the frame again at once
  show->SetStyle(6);  // from the right
  EXPECT_EQ(BitmapColor(screen, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(BitmapColor(screen, 63, 0), RGB(0, 0, 255));
  show->SetProgress(100);
  EXPECT_EQ(BitmapColor(screen, 0, 0), RGB(0, 0, 255));
  show->Stop();
  EXPECT_FALSE(show->Busy());
  EXPECT_EQ(BitmapColor(show->ScreenBitmap(), 10, 10), RGB(0, 0, 255));  // the last frame stays
}

TEST_F(PictureShowTest, PropertiesStartAtTheirDefaultsAndKeepTheirRanges) {
  EXPECT_EQ(show->Style(), 51);
  EXPECT_EQ(show->Step(), 4);
  EXPECT_EQ(show->Delay(), 40);
  EXPECT_TRUE(show->OverDraw());
  EXPECT_TRUE(show->Threaded());
  EXPECT_FALSE(show->Manual());
  EXPECT_FALSE(show->Reverse());
  EXPECT_EQ(show->BgMode(), TBackgroundMode::bmTiled);
  EXPECT_EQ(show->FrameWidth(), 0);
  EXPECT_EQ(show->FrameColor(), MakeSysColor(COLOR_ACTIVEBORDER));
  EXPECT_EQ(show->Color(), clWindow);
  TPictureShow* fresh = new TPictureShow(owner);
  EXPECT_EQ(fresh->Width(), 100);
  EXPECT_EQ(fresh->Height(), 100);
  EXPECT_TRUE(fresh->ScreenBitmap()->Empty());

  struct TStepCase {
    int Set, Reads;
  };
  for (const TStepCase& c : {TStepCase{0, 1}, {-5, 1}, {1, 1}, {50, 50}, {100, 100}, {101, 99}, {150, 99}}) {
    show->SetStep(c.Set);
    EXPECT_EQ(show->Step(), c.Reads) << c.Set;
  }
  struct TStyleCase {
    int Set, Reads;
  };
  show->SetStyle(10);
  for (const TStyleCase& c : {TStyleCase{177, 10}, {-1, 10}, {0, 0}, {176, 176}, {1, 1}}) {
    show->SetStyle(c.Set);
    EXPECT_EQ(show->Style(), c.Reads) << c.Set;
  }
  struct TNameCase {
    std::wstring Set;
    int Reads;
  };
  show->SetStyle(20);
  const std::vector<TNameCase> names = {{L"custom", 0},        {L"从右边展开", 1}, {L"向中间挤压", 9},
                                        {L"从下边展开", 18},   {L"从上边展开", 19}, {L"no such style", 19},
                                        {L"CUSTOM", 0},        {L"从上边滑动", 176}, {L"", 176}};
  for (const TNameCase& c : names) {
    show->SetStyleName(c.Set);
    EXPECT_EQ(show->Style(), c.Reads);
  }
  show->SetStyle(0);
  EXPECT_EQ(show->StyleName(), L"Custom");
  show->SetStyle(51);
  EXPECT_EQ(show->StyleName(), L"向中间拉镜头");

  TStringList list;
  list.Add(L"kept");
  EXPECT_EQ(show->GetStyleNames(&list), 176);
  ASSERT_EQ(list.Count(), 177);
  EXPECT_EQ(list.Strings(1), L"从右边展开");    // style 1
  EXPECT_EQ(list.Strings(176), L"从上边滑动");  // style 176

  // by name, as the skin engine and the forms see them
  SetPropValue(show, L"StyleName", L"从左边展开");
  EXPECT_EQ(GetOrdProp(show, L"Style"), 2);
  SetPropValue(show, L"BgMode", L"bmCentered");
  EXPECT_EQ(show->BgMode(), TBackgroundMode::bmCentered);
  SetPropValue(show, L"Step", L"0");
  EXPECT_EQ(show->Step(), 1);
  EXPECT_EQ(GetPropValue(show, L"Threaded"), L"True");
  EXPECT_TRUE(IsPublishedProp(show, L"ExactTiming"));
}

TEST_F(PictureShowTest, EventsComeInTheirOrderInManualAndLoopedTransitions) {
  TEventLog log;
  log.Attach(show);
  auto red = SolidPicture(32, 24, clRed);
  show->SetPicture(red.get());
  EXPECT_EQ(log.GuiEvents(), std::vector<std::string>{"Change"});

  // manual: prepared, moved by hand, stopped
  show->SetManual(true);
  show->Execute();
  show->Execute();  // busy: ignored
  show->SetProgress(30);
  show->SetProgress(30);   // the same value: nothing
  show->SetProgress(150);  // becomes 100
  EXPECT_EQ(show->Progress(), 100);
  show->Clear();  // busy: nothing
  EXPECT_FALSE(show->ScreenBitmap()->Empty());
  show->Stop();
  show->Stop();  // nothing more
  EXPECT_EQ(log.GuiEvents(), (std::vector<std::string>{"Change", "Start", "Before", "After", "Progress", "Before",
                                                        "After", "Progress", "Stop"}));

  // looped on this thread: run to the end
  log.Gui.clear();
  show->SetManual(false);
  show->SetThreaded(false);
  show->SetStep(50);
  show->SetDelay(1);
  show->Execute();
  EXPECT_FALSE(show->Busy());
  EXPECT_EQ(show->Progress(), 100);
  EXPECT_EQ(log.GuiEvents(), (std::vector<std::string>{"Start", "Before", "After", "Progress", "Before", "After",
                                                        "Progress", "Complete", "Stop"}));
  EXPECT_EQ(log.WrongThread, 0);

  // reversed: from 100 down to 0, ending on the starting content
  log.Gui.clear();
  ShowSolid(show, 32, 24, clLime);
  auto blue = SolidPicture(32, 24, clBlue);
  show->SetPicture(blue.get());
  show->SetReverse(true);
  show->SetStep(40);
  log.FrameProgress.clear();
  show->Execute();
  EXPECT_EQ(log.FrameProgress, (std::vector<int>{60, 20, 0}));
  EXPECT_EQ(BitmapColor(show->ScreenBitmap(), 5, 5), RGB(0, 255, 0));

  // Clear once the transition is over; Execute without a picture does nothing
  show->Clear();
  EXPECT_TRUE(show->ScreenBitmap()->Empty());
  EXPECT_EQ(show->DisplayRect().right, 0);
  show->SetPicture(nullptr);
  log.Gui.clear();
  show->Execute();
  EXPECT_FALSE(show->Busy());
  EXPECT_TRUE(log.GuiEvents().empty());
}

TEST_F(PictureShowTest, ThreadedStepsRenderOnTheTimerThreadAndReportOnTheGuiThread) {
  TEventLog log;
  log.Attach(show);
  auto red = SolidPicture(32, 24, clRed);
  show->SetPicture(red.get());
  show->SetStep(25);
  show->SetDelay(10);
  show->Execute();
  EXPECT_TRUE(show->Busy());
  ASSERT_TRUE(PumpUntil([&] { return !show->Busy(); }, 5000));
  PumpFor(30);
  EXPECT_EQ(log.FrameProgress, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(log.Timer, (std::vector<std::string>{"Before", "After", "Before", "After", "Before", "After", "Before", "After"}));
  EXPECT_EQ(log.GuiEvents(), (std::vector<std::string>{"Change", "Start", "Progress", "Progress", "Progress", "Progress",
                                                        "Complete", "Stop"}));
  EXPECT_EQ(log.WrongThread, 0);
  EXPECT_EQ(BitmapColor(show->ScreenBitmap(), 3, 3), RGB(255, 0, 0));
  EXPECT_EQ(WindowPixel(show, 3, 3), RGB(255, 0, 0));

  // stopped half way: OnStop without OnComplete, and not one frame after Stop returned
  log.Gui.clear();
  auto blue = SolidPicture(32, 24, clBlue);
  show->SetPicture(blue.get());
  show->SetStep(1);
  show->SetDelay(5);
  show->Execute();
  ASSERT_TRUE(PumpUntil([&] { return log.FrameProgress.size() >= 8; }, 5000));
  show->Stop();
  std::size_t frames;
  {
    std::lock_guard<std::mutex> l(log.Lock);
    frames = log.Timer.size();
  }
  PumpFor(100);
  std::lock_guard<std::mutex> l(log.Lock);
  EXPECT_EQ(log.Timer.size(), frames);
  EXPECT_FALSE(show->Busy());
  ASSERT_GE(log.Gui.size(), 2u);
  EXPECT_EQ(log.Gui.front(), "Change");
  EXPECT_EQ(log.Gui.back(), "Stop");
  EXPECT_EQ(std::count(log.Gui.begin(), log.Gui.end(), "Complete"), 0);
}

TEST_F(PictureShowTest, MovedToAFullScreenWindowMidTransitionItRunsOn) {
  // the way its owner shows it full screen: another parent window and a new size, while the
  // timer thread renders
  HWND big = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 640,
                               480, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(big);
  bool completed = false;
  show->OnComplete = [&](TObject*) { completed = true; };
  show->SetStretch(true);
  auto red = SolidPicture(32, 24, clRed);
  show->SetPicture(red.get());
  show->SetStep(5);
  show->SetDelay(10);
  show->Execute();
  PumpFor(60);
  ASSERT_TRUE(show->Busy());
  const HWND before = show->Handle();
  show->SetParentWindow(big);
  show->SetBounds(0, 0, 640, 480);
  EXPECT_EQ(show->Handle(), before);  // the same window, so the transition goes on
  ASSERT_TRUE(PumpUntil([&] { return !show->Busy(); }, 5000));
  EXPECT_TRUE(completed);
  EXPECT_EQ(show->DisplayRect().right, 640);
  EXPECT_EQ(show->DisplayRect().bottom, 480);
  ::InvalidateRect(show->Handle(), nullptr, FALSE);
  ::UpdateWindow(show->Handle());
  EXPECT_EQ(WindowPixel(show, 600, 400), RGB(255, 0, 0));
}

TEST_F(PictureShowTest, StoppingIsABarrierThroughThousandsOfRestarts) {
  // the picture's frames are read on the timer thread until Stop returns; a stale end message
  // of an earlier transition must never complete a later one
  std::mt19937 rnd(7);
  int badCompletes = 0, completes = 0;
  std::atomic<long> touched{0};
  std::atomic<bool> stopped{false};
  std::atomic<int> framesAfterStop{0};
  show->OnComplete = [&](TObject*) {
    ++completes;
    if (show->Progress() != 100) ++badCompletes;
  };
  show->OnAfterNewFrame = [&](TObject*, TBitmap* picture, TBitmap* screen) {
    if (stopped) ++framesAfterStop;
    touched += static_cast<long>(PixelAt(picture, 1, 1) & 0xFF) + static_cast<long>(PixelAt(screen, 2, 2) & 0xFF);
  };
  auto red = SolidPicture(32, 24, clRed), blue = SolidPicture(32, 24, clBlue);
  show->SetDelay(1);
  auto rounds = [&](int n) {
    for (int i = 0; i < n; ++i) {
      show->SetPicture(i % 2 ? red.get() : blue.get());
      show->SetStep(1 + static_cast<int>(rnd() % 60));
      show->SetStyle(1 + static_cast<int>(rnd() % 176));
      stopped = false;
      show->Execute();
      // the wait handles what the last transition posted before it was stopped
      const double until = NowMs() + (rnd() % 4);
      do {
        Application()->ProcessMessages();
      } while (NowMs() < until);
      show->Stop();
      stopped = true;
      ASSERT_FALSE(show->Busy());
      const double quiet = NowMs() + (rnd() % 2);  // no frame may come now
      while (NowMs() < quiet) {
      }
    }
  };
  rounds(50);  // warmed up
  Application()->ProcessMessages();
  FreeDeviceContexts();
  const int gdi = GdiHighWater(), handles = CountKernelHandles();
  rounds(2000);
  PumpFor(50);
  FreeDeviceContexts();
  EXPECT_FALSE(show->Busy());
  EXPECT_EQ(badCompletes, 0);
  EXPECT_EQ(framesAfterStop.load(), 0);
  EXPECT_GT(completes, 0);  // some rounds ran to their end
  EXPECT_GT(touched.load(), 0);
  ExpectNoGrowth(gdi, handles);
}

TEST_F(PictureShowTest, EveryStyleRunsThroughTheControlWithoutLeaks) {
  auto a = SolidPicture(64, 48, clRed), b = SolidPicture(64, 48, clBlue);
  show->SetManual(true);
  auto runAll = [&] {
    for (int style = 0; style <= 176; ++style) {
      show->SetStyle(style);
      show->SetPicture(style % 2 ? a.get() : b.get());
      show->Execute();
      for (int p : {10, 35, 60, 85, 100}) show->SetProgress(p);
      ASSERT_EQ(BitmapColor(show->ScreenBitmap(), 40, 30), style % 2 ? RGB(255, 0, 0) : RGB(0, 0, 255)) << style;
      show->Stop();
    }
    Application()->ProcessMessages();
    FreeDeviceContexts();
  };
  runAll();  // every cache warmed
  const int gdi = GdiHighWater(), handles = CountKernelHandles();
  for (int i = 0; i < 3; ++i) runAll();
  ExpectNoGrowth(gdi, handles);
}

TEST_F(PictureShowTest, DisplayRectFollowsCenterStretchProportionalAndFrame) {
  struct TCase {
    int PicW, PicH;
    bool Center, Stretch, Proportional;
    int Frame;
    RECT Want;
  };
  const std::vector<TCase> cases = {
      {50, 50, false, false, false, 0, {0, 0, 50, 50}},     {50, 50, true, false, false, 0, {75, 25, 125, 75}},
      {50, 50, false, true, false, 0, {0, 0, 200, 100}},    {50, 50, false, true, true, 0, {0, 0, 100, 100}},
      {50, 50, true, true, true, 0, {50, 0, 150, 100}},     {50, 50, false, false, false, 5, {5, 5, 55, 55}},
      {50, 50, true, false, false, 5, {75, 25, 125, 75}},   {400, 100, false, false, true, 0, {0, 0, 200, 50}},
      {400, 100, true, false, true, 0, {0, 25, 200, 75}},   {400, 100, false, false, false, 0, {0, 0, 400, 100}},
      // a client area smaller than the frame leaves an empty picture area, and nothing raises
      {50, 50, true, true, false, 120, {120, 120, 120, 120}},
  };
  show->SetBounds(0, 0, 200, 100);
  show->SetManual(true);
  for (const TCase& c : cases) {
    show->SetCenter(c.Center);
    show->SetStretch(c.Stretch);
    show->SetProportional(c.Proportional);
    show->SetFrameWidth(c.Frame);
    auto p = SolidPicture(c.PicW, c.PicH, clYellow);
    show->SetPicture(p.get());
    ASSERT_NO_THROW(show->Execute());
    const RECT r = show->DisplayRect();
    EXPECT_TRUE(::EqualRect(&r, &c.Want)) << c.PicW << "x" << c.PicH << " " << c.Center << c.Stretch << c.Proportional
                                          << " frame " << c.Frame << ": " << r.left << "," << r.top << ","
                                          << r.right << "," << r.bottom;
    ASSERT_NO_THROW(show->SetProgress(100));
    ASSERT_NO_THROW(show->Stop());
    ::UpdateWindow(show->Handle());
  }
  // a property change of a shown picture moves it at once
  show->SetFrameWidth(0);
  show->SetStretch(true);
  const RECT r = show->DisplayRect();
  EXPECT_EQ(r.right - r.left, 200);
  // and so does a new size of the control
  show->SetBounds(0, 0, 120, 80);
  EXPECT_EQ(show->DisplayRect().right, 120);
  EXPECT_EQ(show->DisplayRect().bottom, 80);
}

TEST_F(PictureShowTest, PaintsPictureFrameAndBackgroundInTheirModes) {
  show->SetBounds(0, 0, 100, 60);
  show->SetColor(clGreen);
  show->SetFrameWidth(2);
  show->SetFrameColor(clYellow);
  ShowSolid(show, 20, 20, clBlue);  // at (2, 2, 22, 22) inside a frame (0, 0, 24, 24)
  auto repaint = [&] {
    ::InvalidateRect(show->Handle(), nullptr, TRUE);
    ::UpdateWindow(show->Handle());
  };
  repaint();
  EXPECT_EQ(WindowPixel(show, 10, 10), RGB(0, 0, 255));
  EXPECT_EQ(WindowPixel(show, 0, 10), RGB(255, 255, 0));
  EXPECT_EQ(WindowPixel(show, 1, 10), RGB(255, 255, 0));
  EXPECT_EQ(WindowPixel(show, 23, 23), RGB(255, 255, 0));
  EXPECT_EQ(WindowPixel(show, 60, 40), RGB(0, 128, 0));  // no background picture: the colour

  // a 10 x 10 background, red at its first pixel: tiles stay aligned to the client's corner
  TBitmap tile(10, 10, TPixelFormat::pf24bit);
  tile.Canvas()->Brush()->SetColor(clWhite);
  tile.Canvas()->FillRect(RECT{0, 0, 10, 10});
  tile.Canvas()->SetPixel(0, 0, clRed);
  TPicture bg;
  bg.SetGraphic(&tile);
  show->SetBgPicture(&bg);
  repaint();
  EXPECT_EQ(WindowPixel(show, 30, 0), RGB(255, 0, 0));
  EXPECT_EQ(WindowPixel(show, 31, 0), RGB(255, 255, 255));
  EXPECT_EQ(WindowPixel(show, 50, 30), RGB(255, 0, 0));
  EXPECT_EQ(WindowPixel(show, 10, 10), RGB(0, 0, 255));  // the picture stays on top
  // centred: at ((100 - 10) / 2, (60 - 10) / 2), the colour around it
  show->SetBgMode(TBackgroundMode::bmCentered);
  repaint();
  EXPECT_EQ(WindowPixel(show, 45, 25), RGB(255, 0, 0));
  EXPECT_EQ(WindowPixel(show, 46, 25), RGB(255, 255, 255));
  EXPECT_EQ(WindowPixel(show, 44, 25), RGB(0, 128, 0));
  EXPECT_EQ(WindowPixel(show, 60, 50), RGB(0, 128, 0));
  // stretched over the client area
  show->SetBgMode(TBackgroundMode::bmStretched);
  repaint();
  EXPECT_EQ(WindowPixel(show, 60, 50), RGB(255, 255, 255));
  show->SetBgMode(TBackgroundMode::bmNone);
  repaint();
  EXPECT_EQ(WindowPixel(show, 60, 50), RGB(0, 128, 0));
  // the erase message erases nothing
  HDC dc = ::GetDC(show->Handle());
  EXPECT_EQ(::SendMessageW(show->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ::ReleaseDC(show->Handle(), dc);
}

TEST_F(PictureShowTest, TransitionStartsFromThePictureOnShowOnlyWhenItFits) {
  show->SetColor(clGreen);
  show->SetManual(true);
  ShowSolid(show, 64, 48, clRed);
  COLORREF start = 0;
  show->OnStart = [&](TObject*, TBitmap*, TBitmap* screen) { start = BitmapColor(screen, 5, 5); };
  auto blue = SolidPicture(64, 48, clBlue);
  show->SetPicture(blue.get());
  show->Execute();
  EXPECT_EQ(start, RGB(255, 0, 0));  // the old picture
  show->Stop();
  auto small = SolidPicture(32, 24, clYellow);
  show->SetPicture(small.get());
  show->Execute();
  EXPECT_EQ(start, RGB(0, 128, 0));  // another size: the background
  show->Stop();
  show->SetOverDraw(false);
  show->SetPicture(small.get());
  show->Execute();
  EXPECT_EQ(start, RGB(0, 128, 0));  // without OverDraw: always the background
  show->Stop();
  // a picture with AutoSize makes the control its size plus the frame
  show->SetFrameWidth(3);
  show->SetAutoSize(true);
  EXPECT_EQ(show->Width(), 38);
  EXPECT_EQ(show->Height(), 30);
}

TEST_F(PictureShowTest, TimerLimitsAndFailuresNeverLeaveTheControlBusy) {
  auto* caps = NewShow<TCapsPictureShow>();
  auto red = SolidPicture(16, 16, clRed);
  caps->SetPicture(red.get());
  // a delay above the device's maximum is lowered to it when the timer starts
  caps->UseCaps = true;
  caps->SetDelay(100);
  caps->SetStep(50);
  caps->Execute();
  EXPECT_EQ(caps->Delay(), 50);
  ASSERT_TRUE(PumpUntil([&] { return !caps->Busy(); }, 5000));
  // without the device's limits the delay becomes 0 and no timer can run: the steps run here
  caps->CapsFail = true;
  bool completed = false;
  caps->OnComplete = [&](TObject*) { completed = true; };
  caps->Execute();
  EXPECT_EQ(caps->Delay(), 0);
  EXPECT_FALSE(caps->Busy());
  EXPECT_TRUE(completed);
  EXPECT_EQ(caps->Progress(), 100);
  // Manual switched off later takes the same way
  caps->SetManual(true);
  caps->Execute();
  EXPECT_TRUE(caps->Busy());
  caps->SetManual(false);
  EXPECT_FALSE(caps->Busy());
}

TEST_F(PictureShowTest, FailuresEndTheTransitionAndReachTheCaller) {
  auto red = SolidPicture(16, 16, clRed);
  show->SetPicture(red.get());
  // in preparation: the bitmaps go, Busy clears, the exception passes on
  show->OnStart = [](TObject*, TBitmap*, TBitmap*) { throw EInvalidOperation(L"no start"); };
  EXPECT_THROW(show->Execute(), EInvalidOperation);
  EXPECT_FALSE(show->Busy());
  show->OnStart = nullptr;
  // on the timer thread: the transition ends as stopped and the error is raised on the GUI thread
  std::vector<std::wstring> reported;
  Application()->OnException = [&](TObject*, const std::exception& e) {
    if (auto* k = dynamic_cast<const Exception*>(&e)) reported.push_back(k->Message());
  };
  bool completed = false, stopped = false;
  show->OnComplete = [&](TObject*) { completed = true; };
  show->OnStop = [&](TObject*) { stopped = true; };
  show->OnAfterNewFrame = [](TObject*, TBitmap*, TBitmap*) { throw EInvalidOperation(L"no frame"); };
  show->SetDelay(5);
  show->Execute();
  ASSERT_TRUE(PumpUntil([&] { return !show->Busy(); }, 5000));
  PumpFor(20);
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(completed);
  EXPECT_EQ(reported, std::vector<std::wstring>{L"no frame"});
  Application()->OnException = nullptr;
}

TEST_F(PictureShowTest, FreedDuringATransitionStopsItSilently) {
  TEventLog log;
  log.Attach(show);
  auto red = SolidPicture(32, 24, clRed);
  show->SetPicture(red.get());
  show->SetStep(1);
  show->SetDelay(2);
  show->Execute();
  ASSERT_TRUE(PumpUntil([&] { return log.FrameProgress.size() >= 3; }, 5000));
  show->Free();
  show = nullptr;
  PumpFor(50);  // the posted messages of the transition find no control
  std::lock_guard<std::mutex> l(log.Lock);
  EXPECT_EQ(std::count(log.Gui.begin(), log.Gui.end(), "Stop"), 0);
  EXPECT_EQ(std::count(log.Gui.begin(), log.Gui.end(), "Complete"), 0);
}

}  // namespace
