// The camera and movie sources of KivoApp.exe end to end: KivoApp started from a fresh program
// folder in the test prefix with its test cameras, driven with real messages, and a viewer of
// "Kivo Filter Source" in another process reading the test pictures it receives (PatternFrame.h).
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AviWriter.h"
#include "KivoAppFixture.h"
#include "PatternFrame.h"
#include "TestDevices.h"

using namespace kivo;
using namespace kivo::test;
using namespace kivo::testdev;

namespace {

constexpr int kW = 320, kH = 240;

// What the viewer shows now, read as a test picture.
TPatternReading Look(TFrameViewer& viewer) { return viewer.Reading(); }
// Waits (bounded) for a picture that satisfies ok; the last reading either way.
TPatternReading WaitPicture(TFrameViewer& viewer, const std::function<bool(const TPatternReading&)>& ok,
                            DWORD timeoutMs) {
  TPatternReading last;
  WaitUntil(
      [&] {
        last = Look(viewer);
        return ok(last);
      },
      timeoutMs);
  return last;
}
bool Whole(const TPatternReading& r) { return r.Found && !r.Mixed(); }
bool Near(double a, double b, double tolerance) { return a > b - tolerance && a < b + tolerance; }
// Camera `camera`'s whole picture filling the 320 x 240 frame (stretched from srcW x srcH). A
// stretch of the whole picture onto the whole frame puts the cells' edges on whole pixels and reads
// exactly; one column short (319 / 640 = 0.4984) is a scale off by 0.0016.
bool Fills(const TPatternReading& r, int camera, int srcW, int srcH, bool flipped = false) {
  return Whole(r) && r.Camera == camera && r.SourceWidth == srcW && r.SourceHeight == srcH &&
         Near(r.ScaleX, double(kW) / srcW, 0.0005) && Near(r.ScaleY, (flipped ? -1.0 : 1.0) * kH / srcH, 0.0005) &&
         Near(r.OffsetX, 0, 0.02) && Near(r.OffsetY, flipped ? kH : 0, 0.02);
}

// The threads of a process.
int ThreadCount(DWORD pid) {
  THandleOwner snap(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap.Valid()) return -1;
  THREADENTRY32 e{};
  e.dwSize = sizeof(e);
  int n = 0;
  for (BOOL ok = ::Thread32First(snap.Get(), &e); ok; ok = ::Thread32Next(snap.Get(), &e))
    if (e.th32OwnerProcessID == pid) ++n;
  return n;
}

class SourcesApp : public TKivoAppTest {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(TestDevicesInstalled(&why)) << why;
  }
  void Start(const std::string& activeSource) {
    ASSERT_TRUE(folder_.Write(L"KivoApp.ini", "[System]\r\nActiveSource=" + activeSource + "\r\nCaptureSource=" +
                                                  activeSource + "\r\nCaptureActive=1\r\n"));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_EQ(viewer_.Open(), "ok");
  }
  HWND Cameras() { return ChildOf(main_, L"TComboBox", L"", L"TCameraSource"); }
  // Picks item i of the camera list as a user does: the list's selection, then its notification.
  void ChooseCamera(int i) {
    HWND combo = Cameras();
    ASSERT_NE(combo, nullptr);
    TKivoAppRun::ChooseItem(combo, i);
  }
  // A glyph button of a source window's strip, when the strip is shown.
  void ClickStrip(const std::wstring& windowCls, int x) {
    HWND strip = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
          for (HWND w = ChildOf(main_, L"TPanel", L"", windowCls); w; w = nullptr) strip = w;
          return strip && ::IsWindowVisible(strip);
        },
        10000))
        << "no strip over " << Narrow(windowCls);
    TKivoAppRun::ClickAt(strip, x, 13);
  }

  TFrameViewer viewer_;
};

}  // namespace

TEST_F(SourcesApp, CameraFramesReachTheViewerStretchedFlippedSwitchedOffAndFromTheRemainingCamera) {
  // a camera that offers only 640 x 480, unplugged later in the test
  TScopedDevice third(MakeCamera(3, L"Kivo Test Camera 3", L"YUY2 640x480"));
  ASSERT_EQ(third.Result(), S_OK);
  Start("Camera");
  if (HasFatalFailure()) return;

  // the idle picture first
  const std::vector<BYTE> idle = IdleFrameFromBmp(folder_.File(L"default.bmp"));
  EXPECT_TRUE(viewer_.WaitForFrame(idle, 15000)) << "the viewer never got the idle picture";

  // the list: the hardware cameras, never the software devices (KivoSrc)
  HWND combo = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (combo = Cameras()) && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) == 3; }, 10000));
  const std::vector<std::wstring> items = ComboItems(combo);
  EXPECT_EQ(items, (std::vector<std::wstring>{L"Kivo Test Camera 1 ID: kv01", L"Kivo Test Camera 2 ID: kv02",
                                               L"Kivo Test Camera 3 ID: kv03"}));
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 0) << "the first camera is not preselected";
  ::Sleep(500);
  EXPECT_TRUE(viewer_.WaitForFrame(idle, 2000)) << "a preselected camera started by itself";

  // a camera plugged in ahead of the others without a notification: the list is as before, and the
  // chosen item still opens its own device, not the one now at its old enumeration place
  TDeviceEntry early = MakeCamera(9, L"Kivo Test Camera 9", L"RGB24 320x240");
  early.Key = L"camera000";
  TScopedDevice plugged(early, false);
  ASSERT_EQ(plugged.Result(), S_OK);

  // camera 3 chosen: its 640 x 480 frames stretched whole to 320 x 240, the counter rising at 25 a second
  ChooseCamera(2);
  TPatternReading r = WaitPicture(viewer_, [](const TPatternReading& p) { return Fills(p, 3, 640, 480); }, 20000);
  ASSERT_TRUE(Fills(r, 3, 640, 480)) << r.Describe();
  ASSERT_EQ(plugged.Remove(), S_OK);
  const double t0 = NowMs();
  const uint32_t c0 = r.Counter;
  ::Sleep(2000);
  r = WaitPicture(viewer_, [](const TPatternReading& p) { return Whole(p); }, 2000);
  const double rate = (r.Counter - c0) * 1000.0 / (NowMs() - t0);
  EXPECT_TRUE(Fills(r, 3, 640, 480)) << r.Describe();
  EXPECT_GT(rate, 15.0) << r.Describe();
  EXPECT_LT(rate, 35.0) << r.Describe();
  EXPECT_EQ(IniValue(folder_.IniFile(), L"Camera", L"ActiveID"), third.Device().DisplayName());

  // the colour effect's flip: the pane opened with the effect button, its check boxes clicked
  HWND bar = app_->ChildAt(5, 245);  // the tool bar: capture button at x 1, effect button at x 289
  ASSERT_EQ(ClassOfWindow(bar), L"TPanel");
  HWND form = app_->OpenColourEffect();
  ASSERT_NE(form, nullptr) << "no colour effect form";
  HWND enable = ChildOf(form, L"TCheckBox", L"启用");
  HWND flip = ChildOf(form, L"TCheckBox", L"图像翻转");
  ASSERT_TRUE(enable && flip);
  ::PostMessageW(flip, BM_CLICK, 0, 0);
  ::PostMessageW(enable, BM_CLICK, 0, 0);
  r = WaitPicture(viewer_, [](const TPatternReading& p) { return Fills(p, 3, 640, 480, true); }, 10000);
  EXPECT_TRUE(Fills(r, 3, 640, 480, true)) << "not upside down: " << r.Describe();

  // the capture button switches the output off (the counter stands) and on again
  TKivoAppRun::ClickAt(bar, 15, 15);
  ::Sleep(1000);
  const TPatternReading off1 = Look(viewer_);
  ::Sleep(1000);
  const TPatternReading off2 = Look(viewer_);
  ASSERT_TRUE(Whole(off1) && Whole(off2)) << off1.Describe() << " / " << off2.Describe();
  EXPECT_EQ(off1.Counter, off2.Counter) << "frames still come with capture off";
  TKivoAppRun::ClickAt(bar, 15, 15);
  r = WaitPicture(viewer_, [&](const TPatternReading& p) { return Whole(p) && p.Counter > off2.Counter + 10; }, 10000);
  EXPECT_GT(r.Counter, off2.Counter + 10) << "capture did not come back: " << r.Describe();
  // the flip off again
  ::PostMessageW(enable, BM_CLICK, 0, 0);
  r = WaitPicture(viewer_, [](const TPatternReading& p) { return Fills(p, 3, 640, 480); }, 10000);
  EXPECT_TRUE(Fills(r, 3, 640, 480)) << r.Describe();

  // camera 3 unplugged while it plays: its window stops, KivoApp stays, the list keeps cameras 1 and 2
  ASSERT_EQ(third.Remove(), S_OK);
  ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(combo, CB_GETCOUNT, 0, 0) == 2; }, 10000));
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  ASSERT_TRUE(app_->Running());
  ::Sleep(1000);
  const TPatternReading stopped1 = Look(viewer_);
  ::Sleep(1000);
  const TPatternReading stopped2 = Look(viewer_);
  EXPECT_EQ(stopped1.Counter, stopped2.Counter) << stopped2.Describe();

  // camera 1 chosen: its 320 x 240 format is taken, frames pass unstretched
  ChooseCamera(0);
  r = WaitPicture(viewer_, [](const TPatternReading& p) { return Fills(p, 1, 320, 240); }, 20000);
  EXPECT_TRUE(Fills(r, 1, 320, 240)) << r.Describe();
  EXPECT_EQ(IniValue(folder_.IniFile(), L"Camera", L"ActiveID"), DefaultDevices()[0].DisplayName());
}

namespace {
// A movie of the test picture: camera number `camera`, frame k carrying counter k.
void WriteMovie(const std::wstring& path, int w, int h, int camera, int frames) {
  std::vector<std::vector<BYTE>> bits(frames, std::vector<BYTE>(FrameBytes(w, h)));
  for (int k = 0; k < frames; ++k) PaintPatternRgb24(bits[k].data(), w, h, camera, k);
  WriteRgb24Avi(path, w, h, 25, bits);
}
}  // namespace

TEST_F(SourcesApp, MovieListPlaysInOrderScaledByKivoTransLoopsAndWrapsBackward) {
  const std::wstring small = folder_.File(L"small movie.avi"), large = folder_.File(L"large.avi");
  WriteMovie(small, 320, 240, 11, 75);  // 3 s
  WriteMovie(large, 640, 480, 12, 25);  // 1 s
  ASSERT_TRUE(folder_.Write(L"curmovies.dat", "[Movies]\r\n0=" + Narrow(small) + "\r\n1=" + Narrow(large) + "\r\n"));
  Start("Movie");
  if (HasFatalFailure()) return;

  // nothing chosen in the list: play starts at the last file
  ClickStrip(L"TMovieWindow", 13);
  auto fillsFile = [](const TPatternReading& p) {
    return p.Camera == 11 ? Fills(p, 11, 320, 240) : Fills(p, 12, 640, 480);
  };
  // the files in turn, each frame whole at its place, each file's frames in order, looping
  std::string order;
  std::string problems;
  uint32_t lastCounter = 0;
  const double deadline = NowMs() + 30000;
  while (NowMs() < deadline && order.find("BABA") == std::string::npos) {
    const TPatternReading r = Look(viewer_);
    if (r.Found && (r.Camera == 11 || r.Camera == 12)) {
      const char file = r.Camera == 11 ? 'A' : 'B';
      if (!fillsFile(r) && problems.size() < 400) problems += r.Describe() + "\n";
      if (order.empty() || order.back() != file) order += file;
      else if (r.Counter < lastCounter && problems.size() < 400) problems += "backwards: " + r.Describe() + "\n";
      lastCounter = r.Counter;
    }
    ::Sleep(20);
  }
  EXPECT_NE(order.find("BABA"), std::string::npos) << order;
  EXPECT_TRUE(problems.empty()) << problems;

  // early in the first file: a click pauses it, then the strip's previous button plays the last file
  TPatternReading r = WaitPicture(viewer_, [](const TPatternReading& p) { return p.Camera == 11 && p.Counter < 20; }, 15000);
  ASSERT_EQ(r.Camera, 11) << r.Describe();
  HWND video = ChildOf(main_, L"TVideoWindow", L"", L"TMovieWindow");
  ASSERT_NE(video, nullptr);
  TKivoAppRun::ClickAt(video, 100, 100);
  ::Sleep(2500);  // a single click is taken once no double click followed
  const TPatternReading paused1 = Look(viewer_);
  ::Sleep(500);
  const TPatternReading paused2 = Look(viewer_);
  EXPECT_EQ(paused1.Camera, 11) << paused1.Describe();
  EXPECT_EQ(paused1.Counter, paused2.Counter) << "the click did not pause";
  ClickStrip(L"TMovieWindow", 103);
  r = WaitPicture(viewer_, [](const TPatternReading& p) { return Fills(p, 12, 640, 480); }, 10000);
  EXPECT_TRUE(Fills(r, 12, 640, 480)) << "previous on the first file did not play the last: " << r.Describe();
}

TEST_F(SourcesApp, CameraGraphsAreReleasedOverRepeatedStartsAndStops) {
  Start("Camera");
  if (HasFatalFailure()) return;
  HWND combo = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (combo = Cameras()) && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) >= 2; }, 10000));
  auto cycle = [&] {
    for (int camera : {2, 1}) {
      ChooseCamera(camera - 1);
      const TPatternReading r = WaitPicture(viewer_, [&](const TPatternReading& p) { return Whole(p) && p.Camera == camera; }, 20000);
      ASSERT_EQ(r.Camera, camera) << r.Describe();
    }
  };
  cycle();
  if (HasFatalFailure()) return;
  DWORD handles0 = 0;
  ::GetProcessHandleCount(app_->Process(), &handles0);
  const DWORD gdi0 = ::GetGuiResources(app_->Process(), GR_GDIOBJECTS);
  const int threads0 = ThreadCount(app_->Pid());
  for (int i = 0; i < 5; ++i) {
    cycle();
    if (HasFatalFailure()) return;
  }
  ::Sleep(1000);
  DWORD handles1 = 0;
  ::GetProcessHandleCount(app_->Process(), &handles1);
  const int threads1 = ThreadCount(app_->Pid());
  const DWORD gdi1 = ::GetGuiResources(app_->Process(), GR_GDIOBJECTS);
  EXPECT_LE(gdi1, gdi0 + 10) << gdi0 << " -> " << gdi1;
  EXPECT_LE(threads1, threads0 + 2) << threads0 << " -> " << threads1;
  EXPECT_LE(handles1, handles0 + 20) << handles0 << " -> " << handles1;
  ASSERT_TRUE(app_->Running());
}

namespace {
// The converter's server path replaced for a scope (the class then cannot be created).
class TBrokenConverter {
 public:
  TBrokenConverter() {
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kKey, 0, KEY_READ | KEY_WRITE, &key_) != ERROR_SUCCESS) return;
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    if (::RegQueryValueExW(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS) return;
    saved_ = path;
    Set(L"C:\\kivo-missing\\colour-converter.dll");
  }
  ~TBrokenConverter() {
    if (!saved_.empty()) Set(saved_);
    if (key_) ::RegCloseKey(key_);
  }
  bool Broken() const { return !saved_.empty(); }

 private:
  static constexpr wchar_t kKey[] = L"CLSID\\{1643E180-90F5-11CE-97D5-00AA0055595A}\\InprocServer32";
  void Set(const std::wstring& v) {
    ::RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                     static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
  }
  HKEY key_ = nullptr;
  std::wstring saved_;
};
}  // namespace

TEST_F(SourcesApp, ACameraGraphThatCannotBeBuiltShowsTheCameraErrorBoxAndTheNextChoicePlays) {
  Start("Camera");
  if (HasFatalFailure()) return;
  HWND combo = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (combo = Cameras()) && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) >= 2; }, 10000));
  {
    TBrokenConverter broken;
    ASSERT_TRUE(broken.Broken());
    ChooseCamera(1);
    HWND box = app_->WaitMessageBox(L"TMessageForm", 15000);
    ASSERT_NE(box, nullptr) << "no error box";
    ::PostMessageW(box, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return WindowsOf(app_->Pid(), L"TMessageForm").empty(); }, 10000));
  }
  ASSERT_TRUE(app_->Running());
  ChooseCamera(0);
  const TPatternReading r = WaitPicture(viewer_, [](const TPatternReading& p) { return Fills(p, 1, 320, 240); }, 20000);
  EXPECT_TRUE(Fills(r, 1, 320, 240)) << r.Describe();
}

namespace {
// The lines a stand-in KivoMsg wrote into the program folder (UTF-8 kept as bytes).
std::vector<std::string> RecordedRequests(const std::wstring& file) {
  std::vector<std::string> lines;
  HANDLE f = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return lines;
  std::string all;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(f, buf, sizeof(buf), &got, nullptr) && got > 0) all.append(buf, got);
  ::CloseHandle(f);
  size_t start = 0;
  for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1) lines.push_back(all.substr(start, nl - start));
  return lines;
}
}  // namespace

TEST_F(SourcesApp, CameraWindowHasTheBusyOverlayShownWhileItBuildsItsGraph) {
  // KivoMsg replaced by a recorder of the requests KivoApp sends it
  ASSERT_TRUE(folder_.Put(HelperPath(L"kivo_msg_recorder"), L"kivomsg.dll"));
  Start("Camera");
  if (HasFatalFailure()) return;
  HWND combo = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (combo = Cameras()) && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) >= 2; }, 10000));
  ChooseCamera(1);
  const TPatternReading r = WaitPicture(viewer_, [](const TPatternReading& p) { return Whole(p) && p.Camera == 2; }, 20000);
  ASSERT_EQ(r.Camera, 2) << r.Describe();

  // every start of the camera: the overlay over the camera window's video, then its removal
  const std::string show = "show TVideoWindow 1 0 \xE6\xAD\xA3\xE5\x9C\xA8\xE5\xBC\x80\xE5\x90\xAF\xE8\xA7\x86\xE9\xA2\x91";
  std::vector<std::string> lines;
  EXPECT_TRUE(WaitUntil(
      [&] {
        lines = RecordedRequests(folder_.File(L"kivomsg.log"));
        return !lines.empty() && lines.back() == "hide";
      },
      10000));
  ASSERT_GE(lines.size(), 2u);
  ASSERT_EQ(lines.size() % 2, 0u);
  for (size_t i = 0; i < lines.size(); i += 2) {
    EXPECT_EQ(lines[i], show) << i;
    EXPECT_EQ(lines[i + 1], "hide") << i;
  }
}
