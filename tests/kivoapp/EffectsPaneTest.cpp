// KivoApp end to end: the effect pane with a tab for each of the seven effects, the picture lists
// of the effect forms filled from the Effect\ folder of a fresh program folder, and the effect
// button opening the pane.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "KivoAppFixture.h"

using namespace kivo::test;

namespace {

int PicturesIn(const std::wstring& folder) {
  int n = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((folder + L"*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    std::wstring name = fd.cFileName;
    size_t dot = name.rfind(L'.');
    std::wstring ext = dot == std::wstring::npos ? L"" : name.substr(dot);
    for (wchar_t& c : ext) c = static_cast<wchar_t>(::towlower(c));
    if (ext == L".gif" || ext == L".bmp" || ext == L".jpg" || ext == L".png") ++n;
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
  return n;
}

}  // namespace

TEST(KivoAppEffects, PaneHasTheSevenEffectsWithTheirPictures) {
  TProgramFolder folder;
  int expected = 0;
  for (const wchar_t* kind : {L"animation", L"border", L"decoration", L"light", L"mask"}) {
    int n = PicturesIn(folder.File(L"Effect\\") + kind + L"\\");
    EXPECT_GE(n, 2) << "the program folder lacks pictures for an effect";
    expected += n;
  }
  TKivoAppRun app(folder);
  HWND main = app.WaitMainWindow();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 10000));

  // the effect pane (the album page has a page control and a picture list of its own)
  HWND pane = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    std::vector<HWND> panes = ChildrenOf(main, L"TEffectMan");
    pane = panes.empty() ? nullptr : panes.front();
    return pane != nullptr;
  }, 15000));
  // the tabs are built after start-up, one per effect
  HWND book = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    std::vector<HWND> books = ChildrenOf(pane, L"TPageControl");
    book = books.empty() ? nullptr : books.front();
    return book && ::SendMessageW(book, TCM_GETITEMCOUNT, 0, 0) == 7;
  }, 15000));
  // five picture lists, filled from their folders
  std::vector<HWND> lists;
  ASSERT_TRUE(WaitUntil([&] {
    lists = ChildrenOf(pane, L"TAlbumList");
    int items = 0;
    for (HWND l : lists) items += static_cast<int>(::SendMessageW(l, LVM_GETITEMCOUNT, 0, 0));
    return lists.size() == 5 && items == expected;
  }, 15000)) << lists.size() << " lists";
  // the seven forms, each with its check box
  int checks = 0;
  for (HWND c : ChildrenOf(pane, L"TCheckBox"))
    if (TextOfWindow(c) == L"启用") ++checks;
  EXPECT_EQ(checks, 7);

  // the effect button opens the pane at the window's right and closes it again
  RECT before;
  ::GetWindowRect(main, &before);
  EXPECT_FALSE(::IsWindowVisible(book) && [&] {
    RECT b;
    ::GetWindowRect(book, &b);
    return b.right - b.left > 20 && b.left < before.right;
  }());
  HWND toolBar = app.ChildAt(289 + 15, 240 + 15);
  ASSERT_NE(toolBar, nullptr);
  POINT p{289 + 15, 240 + 15};
  ::MapWindowPoints(main, toolBar, &p, 1);
  TKivoAppRun::ClickAt(toolBar, p.x, p.y);
  RECT open;
  ASSERT_TRUE(WaitUntil([&] {
    ::GetWindowRect(main, &open);
    return open.right - open.left > before.right - before.left + 200;
  }, 5000));
  RECT b;
  ::GetWindowRect(book, &b);
  EXPECT_GT(b.right - b.left, 200);
  EXPECT_TRUE(::IsWindowVisible(book));

  const auto code = app.Exit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
}
