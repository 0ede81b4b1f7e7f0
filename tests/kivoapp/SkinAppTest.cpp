// KivoApp drawn from kivoapp.skn: the program from a fresh copy of its folder (its frame and
// controls from the skin, the Tag-99 tool bar as without a skin, the effect forms in their tabs
// skinned), and without the skin file (every window as the system draws it).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "KivoAppFixture.h"

using namespace kivo::test;

namespace {

constexpr UINT kIsSkinned = 0x3523;
// kivoapp.skn's window frame, active and inactive (the left border's body, a pixel in from its edge)
constexpr COLORREF kFrameActive = RGB(36, 40, 47), kFrameIdle = RGB(72, 77, 86);
constexpr COLORREF kToolBar = RGB(0x00, 0x80, 0xC0);  // the tool bar's own colour 12615680

struct TSearch {
  std::vector<HWND> found;
};
BOOL CALLBACK Collect(HWND w, LPARAM l) {
  reinterpret_cast<TSearch*>(l)->found.push_back(w);
  return TRUE;
}
std::vector<HWND> Descendants(HWND parent) {
  TSearch s;
  ::EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&s));
  return s.found;
}
bool Skinned(HWND w) {
  DWORD_PTR answer = 0;
  return ::SendMessageTimeoutW(w, kIsSkinned, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) && answer == 1;
}
bool InsideClass(HWND w, const std::wstring& cls) {
  for (HWND p = ::GetParent(w); p; p = ::GetParent(p))
    if (ClassOfWindow(p) == cls) return true;
  return false;
}
// A pixel of the screen at a point of a window (the window kept on top of every other).
COLORREF WindowPixel(HWND w, int x, int y) {
  RECT r;
  ::GetWindowRect(w, &r);
  HDC screen = ::GetDC(nullptr);
  const COLORREF c = ::GetPixel(screen, r.left + x, r.top + y);
  ::ReleaseDC(nullptr, screen);
  return c;
}
COLORREF ClientPixel(HWND w, int x, int y) {
  POINT p{x, y};
  ::ClientToScreen(w, &p);
  HDC screen = ::GetDC(nullptr);
  const COLORREF c = ::GetPixel(screen, p.x, p.y);
  ::ReleaseDC(nullptr, screen);
  return c;
}

}  // namespace

TEST(KivoAppSkin, WindowAndControlsAreDrawnFromItsSkinAndTheToolBarIsNot) {
  TProgramFolder folder;
  ASSERT_NE(::GetFileAttributesW(folder.File(L"kivoapp.skn").c_str()), INVALID_FILE_ATTRIBUTES);
  TKivoAppRun app(folder);
  ASSERT_TRUE(app.Started());
  HWND main = app.WaitMainWindow();
  ASSERT_TRUE(main);
  ASSERT_TRUE(WaitUntil([&] { return Skinned(main); }, 20000));
  // the controls of the window, and those of the effect forms embedded in the effect tabs
  int skinnedInTabs = 0, checkBoxesInTabs = 0;
  WaitUntil([&] {
    skinnedInTabs = checkBoxesInTabs = 0;
    for (HWND w : Descendants(main)) {
      if (!InsideClass(w, L"TTabSheet") || ClassOfWindow(w) != L"TCheckBox") continue;
      ++checkBoxesInTabs;
      if (Skinned(w)) ++skinnedInTabs;
    }
    return checkBoxesInTabs > 0 && skinnedInTabs == checkBoxesInTabs;
  }, 15000);
  EXPECT_GT(checkBoxesInTabs, 0);
  EXPECT_EQ(skinnedInTabs, checkBoxesInTabs);
  for (HWND w : Descendants(main))
    if (InsideClass(w, L"TTabSheet") && ClassOfWindow(w) == L"TCheckBox" && !Skinned(w))
      ADD_FAILURE() << "not skinned: " << TextOfWindow(w) << " in " << ClassOfWindow(::GetParent(w)) << " / "
                    << ClassOfWindow(::GetParent(::GetParent(w)));
  int pageControls = 0;
  for (HWND w : Descendants(main)) {
    if (ClassOfWindow(w) == L"TPageControl") {
      ++pageControls;
      EXPECT_TRUE(Skinned(w));
    }
  }
  EXPECT_GE(pageControls, 1);

  // the frame from the skin's pictures; the Tag-99 tool bar as without a skin
  ::SetWindowPos(main, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  ::Sleep(300);
  RECT r;
  ::GetWindowRect(main, &r);
  const COLORREF side = WindowPixel(main, 2, (r.bottom - r.top) / 2);
  EXPECT_TRUE(side == kFrameActive || side == kFrameIdle) << std::hex << side;
  HWND toolBar = app.ChildAt(190, 255);
  ASSERT_TRUE(toolBar);
  EXPECT_FALSE(Skinned(toolBar));
  EXPECT_EQ(ClientPixel(main, 190, 255), kToolBar);
  EXPECT_TRUE(app.Exit().has_value());
}

TEST(KivoAppSkin, WithoutTheSkinFileEveryWindowIsTheSystems) {
  TProgramFolder folder;
  folder.Remove(L"kivoapp.skn");
  TKivoAppRun app(folder);
  HWND main = app.WaitMainWindow();
  ASSERT_TRUE(main);
  ::Sleep(1500);  // longer than the skin's start-up delay
  EXPECT_FALSE(Skinned(main));
  for (HWND w : Descendants(main)) EXPECT_FALSE(Skinned(w)) << ClassOfWindow(w);
  EXPECT_TRUE(app.Exit().has_value());
}
