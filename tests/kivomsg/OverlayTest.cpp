// KivoMsg's overlay units in the test's own process: an overlay whose window went with its host is
// freed by the next call, so a KivoMsg whose hosts come and go keeps one overlay object at most.
#include <windows.h>

#include <gtest/gtest.h>

#include "Forms.h"
#include "KVMsgOverlay.h"

using namespace kivo;
using namespace kivomsg;

namespace {

// Overlay objects alive now, with or without a window.
int LiveOverlays() {
  int n = 0;
  for (TCustomForm* f : Screen()->FormList())
    if (dynamic_cast<TMessageForm*>(f)) ++n;
  return n;
}

// A hidden host: a shown top-level window takes seconds to go under Xvfb.
HWND MakeHost() {
  return ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_CLIPCHILDREN, 40, 40, 300, 200, nullptr,
                           nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TEST(MessageFormObjects, AnOverlayThatWentWithItsHostIsFreedByTheNextShow) {
  ASSERT_EQ(LiveOverlays(), 0);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    HWND host = MakeHost();
    ASSERT_NE(host, nullptr);
    ShowMessageForm(host, clBlack, L"busy");
    TMessageForm* form = MessageForm();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(::GetParent(form->Handle()), host);
    ::DestroyWindow(host);
    EXPECT_TRUE(form->WindowGone());
    EXPECT_EQ(MessageForm(), nullptr);
    // the one that just went waits for the next call; every earlier one is freed
    EXPECT_EQ(LiveOverlays(), 1);
  }
  ShowMessageForm(nullptr, clBlack, L"alone");
  EXPECT_EQ(LiveOverlays(), 1);
  ASSERT_NE(MessageForm(), nullptr);
  EXPECT_TRUE(::IsWindowVisible(MessageForm()->Handle()));
  FreeMessageForm();
  EXPECT_EQ(LiveOverlays(), 0);
  EXPECT_EQ(MessageForm(), nullptr);

  // a hide after the host went frees the waiting one too
  HWND host = MakeHost();
  ShowMessageForm(host, clBlack, L"busy");
  ::DestroyWindow(host);
  FreeMessageForm();
  EXPECT_EQ(LiveOverlays(), 0);
}
