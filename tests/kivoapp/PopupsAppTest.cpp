// KivoApp's pop-up windows as they reach the display once a camera has played with an effect on:
// the dropped lists of its combo boxes, the recorder windows, the settings dialog and a menu, with
// the skin and without it. Each window's pixels are read from the X server window by window (xwd on
// the X window Wine made for it): on Xvfb a top-level window that lies wholly inside another one
// shows black in the picture of the whole screen although its own X window holds what was drawn.
// The source area is unfolded first, as a user does to reach the camera list: while the main
// window is folded to its start-up height, a pop-up lying wholly inside it stays black on Xvfb even
// in its own X window (partly outside it, the same pop-up is drawn).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "KivoAppFixture.h"
#include "PatternFrame.h"
#include "TestDevices.h"

using namespace kivo;
using namespace kivo::test;
using namespace kivo::testdev;

namespace {

// Tool bar buttons on pnlToolBar (main client y 240): x of their centres.
constexpr int kVideoRecX = 32 + 15, kAudioRecX = 63 + 15, kToolBarY = 240 + 15;
// The source tabs below the tool bar (main client y 270): the camera tab at x 0 to 80.
constexpr int kSourceTabY = 270 + 11;

// A window's picture on the display, and where its client area lies in it.
struct TShot {
  TXImage Image;
  std::string Why;
  POINT Client{};  // the client area's origin in the picture
};
TShot ShotOf(HWND w) {
  TShot s;
  const unsigned long xid = XWindowOf(w);
  if (!xid) {
    s.Why = "no X window";
    return s;
  }
  s.Image = ReadXImage(xid, s.Why);
  RECT r{};
  ::GetWindowRect(w, &r);
  POINT origin{0, 0};
  ::ClientToScreen(w, &origin);
  s.Client = {origin.x - r.left, origin.y - r.top};
  if (!s.Image.Empty() && (s.Image.Width != r.right - r.left || s.Image.Height != r.bottom - r.top)) {
    s.Why = "the X window is " + std::to_string(s.Image.Width) + " x " + std::to_string(s.Image.Height) +
            ", the window " + std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top);
    s.Image = {};
  }
  return s;
}

// The most common colour of a rectangle of a picture, and how many of its pixels stand out from it
// (text, edges, glyphs); a rectangle drawn black or in one colour has none.
struct TArea {
  std::uint32_t Ground = 0;
  int Marks = 0;
};
TArea LookAt(const TXImage& image, RECT r) {
  TArea a;
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, image.Width);
  r.bottom = std::min<LONG>(r.bottom, image.Height);
  std::map<std::uint32_t, int> counts;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) ++counts[image.At(x, y)];
  for (const auto& c : counts)
    if (c.second > counts[a.Ground]) a.Ground = c.first;
  auto channel = [](std::uint32_t p, int i) { return int((p >> (8 * i)) & 0xFF); };
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const std::uint32_t p = image.At(x, y);
      int d = 0;
      for (int i = 0; i < 3; ++i) d += std::abs(channel(p, i) - channel(a.Ground, i));
      if (d > 96) ++a.Marks;
    }
  return a;
}

std::string Hex(std::uint32_t c) {
  char b[16];
  std::snprintf(b, sizeof b, "%06X", c);
  return b;
}

// Waits (bounded) until check() finds the picture of w drawn; the last finding either way (empty
// when drawn).
std::string WaitDrawn(HWND w, const std::function<std::string(const TShot&)>& check, DWORD timeoutMs = 10000) {
  std::string finding = "not looked at";
  WaitUntil(
      [&] {
        const TShot s = ShotOf(w);
        finding = s.Image.Empty() ? s.Why : check(s);
        return finding.empty();
      },
      timeoutMs);
  return finding;
}

// A dropped list: each item shown has its text, and the selected one its highlight.
std::string ListDrawn(HWND list, const TShot& s) {
  const int count = int(::SendMessageW(list, LB_GETCOUNT, 0, 0));
  const int itemHeight = int(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  const int top = int(::SendMessageW(list, LB_GETTOPINDEX, 0, 0));
  const int selected = int(::SendMessageW(list, LB_GETCURSEL, 0, 0));
  RECT client{};
  ::GetClientRect(list, &client);
  if (count <= 0 || itemHeight <= 0) return "no items";
  const int shown = std::min(count - top, int(client.bottom / itemHeight));
  std::string finding;
  std::uint32_t selectedGround = 0, otherGround = 0;
  bool haveOther = false;
  for (int i = 0; i < shown; ++i) {
    const RECT row{s.Client.x + 2, s.Client.y + i * itemHeight, s.Client.x + client.right - 2,
                   s.Client.y + (i + 1) * itemHeight};
    const TArea a = LookAt(s.Image, row);
    if (a.Marks < 8) finding += "item " + std::to_string(top + i) + " shows no text (" + Hex(a.Ground) + "); ";
    if (top + i == selected)
      selectedGround = a.Ground;
    else {
      otherGround = a.Ground;
      haveOther = true;
    }
  }
  if (selected >= top && selected < top + shown && haveOther && selectedGround == otherGround)
    finding += "the selected item has no highlight (" + Hex(selectedGround) + ")";
  return finding;
}

// A form or dialog: every shown control with a caption shows it (text, edges).
std::string ControlsDrawn(HWND form, const TShot& s, int* checked = nullptr) {
  std::string finding;
  int n = 0;
  for (const wchar_t* cls : {L"TButton", L"TCheckBox", L"TRadioButton", L"TComboBox", L"TEdit"}) {
    for (HWND c : ChildrenOf(form, cls)) {
      if (!::IsWindowVisible(c)) continue;
      RECT r{};
      ::GetWindowRect(c, &r);
      POINT o{0, 0};
      ::ClientToScreen(form, &o);
      const RECT inShot{r.left - o.x + s.Client.x, r.top - o.y + s.Client.y, r.right - o.x + s.Client.x,
                        r.bottom - o.y + s.Client.y};
      const TArea a = LookAt(s.Image, inShot);
      if (a.Marks < 6)
        finding += Narrow(ClassOfWindow(c)) + " \"" + Narrow(TextOfWindow(c)) + "\" is not drawn (" + Hex(a.Ground) +
                   "); ";
      ++n;
    }
  }
  if (checked) *checked = n;
  if (n == 0) finding += "no controls";
  return finding;
}

class PopupsApp : public TKivoAppTest {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(TestDevicesInstalled(&why)) << why;
  }

  // The camera chosen, the colour effect switched on with its flip, and frames for a while.
  void PlayCameraWithAnEffect(bool skinned) {
    if (!skinned) folder_.Remove(L"kivoapp.skn");
    ASSERT_TRUE(folder_.Write(L"KivoApp.ini", "[System]\r\nActiveSource=Camera\r\nCaptureSource=Camera\r\nCaptureActive=1\r\n"));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_EQ(viewer_.Open(), "ok");
    HWND combo = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (combo = Cameras()) && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) >= 2; }, 10000));
    TKivoAppRun::ChooseItem(combo, 0);
    TPatternReading r;
    ASSERT_TRUE(WaitUntil([&] { return (r = Look()).Found && r.Camera == 1; }, 20000)) << r.Describe();
    HWND form = app_->OpenColourEffect();
    ASSERT_NE(form, nullptr) << "no colour effect form";
    HWND enable = ChildOf(form, L"TCheckBox", L"启用");
    HWND flip = ChildOf(form, L"TCheckBox", L"图像翻转");
    ASSERT_TRUE(enable && flip);
    ::PostMessageW(flip, BM_CLICK, 0, 0);
    ::PostMessageW(enable, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return (r = Look()).Found && r.Camera == 1 && r.FlippedY(); }, 10000)) << r.Describe();
    // a few seconds of frames through the effect
    const std::uint32_t first = r.Counter;
    EXPECT_TRUE(WaitUntil([&] { return (r = Look()).Found && r.Counter >= first + 75; }, 20000)) << r.Describe();
  }

  // Drops a combo box's list, checks what reaches the display, and closes it again.
  void CheckDroppedList(HWND combo, const std::string& what) {
    ASSERT_NE(combo, nullptr) << what;
    ASSERT_GT(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 0) << what;
    if (::SendMessageW(combo, CB_GETCURSEL, 0, 0) < 0) ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    ::PostMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    HWND list = app_->WaitShown(L"ComboLBox", 10000);
    ASSERT_NE(list, nullptr) << what << ": no list dropped";
    EXPECT_EQ(WaitDrawn(list, [&](const TShot& s) { return ListDrawn(list, s); }), "") << what;
    ::PostMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(list); }, 5000)) << what << ": the list stays";
  }

  void CheckRecorder(bool video) {
    const std::string what = video ? "video recorder" : "audio recorder";
    ClickToolBar(video ? kVideoRecX : kAudioRecX);
    HWND form = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
          form = FindWindowOf(app_->Pid(), video ? L"TVideoRecForm" : L"TAudioRecForm");
          return form && ::IsWindowVisible(form);
        },
        10000))
        << what << " not shown";
    int controls = 0;
    EXPECT_EQ(WaitDrawn(form, [&](const TShot& s) { return ControlsDrawn(form, s, &controls); }), "") << what;
    EXPECT_GE(controls, 3) << what;
    auto combos = ChildrenOf(form, L"TComboBox");
    ASSERT_FALSE(combos.empty()) << what;
    CheckDroppedList(combos.front(), what + "'s device list");
    ClickToolBar(video ? kVideoRecX : kAudioRecX);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(form); }, 10000)) << what << " still shows";
  }

  void CheckSettingsDialog() {
    HWND dlg = app_->OpenSettingsDialog();
    ASSERT_NE(dlg, nullptr) << "the settings dialog did not open";
    int controls = 0;
    EXPECT_EQ(WaitDrawn(dlg, [&](const TShot& s) { return ControlsDrawn(dlg, s, &controls); }), "");
    EXPECT_GE(controls, 6);
    CheckDroppedList(ChildOf(dlg, L"TComboBox"), "the settings dialog's format list");
    ::PostMessageW(ChildOf(dlg, L"TButton", L"取消"), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dlg) || !::IsWindowVisible(dlg); }, 10000));
  }

  void CheckTrayMenu() {
    app_->Tray(WM_RBUTTONDOWN);
    HWND menu = app_->WaitPopupMenu();
    ASSERT_NE(menu, nullptr) << "no tray menu";
    // three items, each with its text
    EXPECT_EQ(WaitDrawn(menu,
                        [&](const TShot& s) {
                          RECT c{};
                          ::GetClientRect(menu, &c);
                          std::string finding;
                          const int rowH = c.bottom / 3;
                          for (int i = 0; i < 3; ++i) {
                            const TArea a = LookAt(s.Image, RECT{s.Client.x + 2, s.Client.y + i * rowH,
                                                               s.Client.x + c.right - 2, s.Client.y + (i + 1) * rowH});
                            if (a.Marks < 8) finding += "item " + std::to_string(i) + " shows no text; ";
                          }
                          return finding;
                        }),
              "");
    ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageW(menu, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(menu); }, 5000)) << "the menu stays";
  }

  void CheckEverything(bool skinned) {
    ASSERT_NO_FATAL_FAILURE(PlayCameraWithAnEffect(skinned));
    // the source area is folded away at the start: the camera tab unfolds it, as a user does
    RECT before{};
    ::GetClientRect(main_, &before);
    app_->ClickMainAt(40, kSourceTabY);
    RECT after{};
    ASSERT_TRUE(WaitUntil([&] { return ::GetClientRect(main_, &after) && after.bottom > before.bottom; }, 10000))
        << "the camera tab did not unfold the source area";
    HWND cameras = Cameras();
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(cameras) != FALSE; }, 5000));
    CheckDroppedList(cameras, "the camera list");
    CheckRecorder(false);
    CheckRecorder(true);
    CheckSettingsDialog();
    CheckTrayMenu();
    // the camera still plays
    TPatternReading r;
    const std::uint32_t counter = Look().Counter;
    EXPECT_TRUE(WaitUntil([&] { return (r = Look()).Found && r.Counter > counter + 10; }, 10000)) << r.Describe();
  }

  HWND Cameras() { return ChildOf(main_, L"TComboBox", L"", L"TCameraSource"); }
  void ClickToolBar(int x) { app_->ClickMainAt(x, kToolBarY); }
  TPatternReading Look() { return viewer_.Reading(); }

  TFrameViewer viewer_;
};

}  // namespace

TEST_F(PopupsApp, WithItsSkinListsDialogsMenusAndRecordersReachTheDisplayDrawn) { CheckEverything(true); }

TEST_F(PopupsApp, WithoutTheSkinListsDialogsMenusAndRecordersReachTheDisplayDrawn) { CheckEverything(false); }
