// Helpers for the GUI layer's tests: message pumping with a time-out, user-like mouse input by
// messages, and window look-ups.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "Forms.h"

namespace kivo::test {

// Runs the application's messages until done() or the time-out; answers done().
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
  DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
  return true;
}
inline void PumpFor(DWORD ms) {
  DWORD start = ::GetTickCount();
  PumpUntil([&] { return ::GetTickCount() - start >= ms; }, ms + 1000);
}

// A left click at a client point of a window, as the mouse would send it.
inline void ClickAt(HWND wnd, int x, int y) {
  LPARAM pos = MAKELPARAM(x, y);
  ::SendMessageW(wnd, WM_MOUSEMOVE, 0, pos);
  ::SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, pos);
  ::SendMessageW(wnd, WM_LBUTTONUP, 0, pos);
}

inline std::wstring ClassOf(HWND wnd) {
  wchar_t buf[256];
  int n = ::GetClassNameW(wnd, buf, 256);
  return std::wstring(buf, n > 0 ? n : 0);
}
inline std::wstring TextOf(HWND wnd) {
  wchar_t buf[1024];
  int n = ::GetWindowTextW(wnd, buf, 1024);
  return std::wstring(buf, n > 0 ? n : 0);
}

namespace detail {
inline BOOL CALLBACK CollectChild(HWND c, LPARAM l) {
  reinterpret_cast<std::vector<HWND>*>(l)->push_back(c);
  return TRUE;
}
inline BOOL CALLBACK CollectTop(HWND w, LPARAM l) {
  reinterpret_cast<std::vector<HWND>*>(l)->push_back(w);
  ::EnumChildWindows(w, CollectChild, l);
  return TRUE;
}
struct FindCtx {
  const wchar_t* cls;
  HWND found;
};
inline BOOL CALLBACK FindVisible(HWND w, LPARAM l) {
  auto* c = reinterpret_cast<FindCtx*>(l);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) && ClassOf(w) == c->cls) {
    c->found = w;
    return FALSE;
  }
  return TRUE;
}
inline BOOL CALLBACK StaticText(HWND c, LPARAM l) {
  if (ClassOf(c) == L"Static" && !TextOf(c).empty()) *reinterpret_cast<std::wstring*>(l) += TextOf(c);
  return TRUE;
}
}  // namespace detail

// Every window of this thread, children included.
inline std::vector<HWND> ThreadWindows() {
  std::vector<HWND> all;
  ::EnumThreadWindows(::GetCurrentThreadId(), detail::CollectTop, reinterpret_cast<LPARAM>(&all));
  return all;
}
// Child windows of a window, at any depth.
inline std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> all;
  ::EnumChildWindows(parent, detail::CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

// The first visible top-level window of a class (any thread of this process), or nullptr.
inline HWND FindVisibleTopLevel(const wchar_t* cls) {
  detail::FindCtx ctx{cls, nullptr};
  ::EnumWindows(detail::FindVisible, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// The text of the static control inside a message box (its message).
inline std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  ::EnumChildWindows(box, detail::StaticText, reinterpret_cast<LPARAM>(&text));
  return text;
}

// Closes the first visible message box that appears (on another thread, since the box runs its
// own modal loop on the GUI thread) and reports its text and caption.
class TBoxCloser {
 public:
  explicit TBoxCloser(DWORD timeoutMs) {
    thread_ = std::thread([this, timeoutMs] {
      DWORD start = ::GetTickCount();
      while (::GetTickCount() - start < timeoutMs) {
        if (HWND box = FindVisibleTopLevel(L"#32770")) {
          ::Sleep(50);
          text_ = MessageBoxText(box);
          caption_ = TextOf(box);
          ::PostMessageW(box, WM_COMMAND, IDOK, 0);
          found_ = true;
          return;
        }
        ::Sleep(20);
      }
    });
  }
  ~TBoxCloser() {
    if (thread_.joinable()) thread_.join();
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  bool Found() const { return found_; }
  const std::wstring& Text() const { return text_; }
  const std::wstring& Caption() const { return caption_; }

 private:
  std::thread thread_;
  std::atomic<bool> found_{false};
  std::wstring text_, caption_;
};

// Kernel handles of the process: every handle value that answers GetHandleInformation.
inline int CountKernelHandles() {
  int n = 0;
  for (uintptr_t v = 4; v < 0x10000; v += 4) {
    DWORD flags;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++n;
  }
  return n;
}

// A measure of the GDI objects alive: GDI handles come from one table that reuses freed entries
// before it grows, so the highest entry index of a large batch of new objects rises by exactly the
// number of objects that stayed alive since the last measure. (The platform's own counter,
// GetGuiResources, answers 0 here.)
inline int GdiHighWater() {
  const int kBatch = 3000;
  std::vector<HBRUSH> batch;
  int highest = 0;
  for (int i = 0; i < kBatch; ++i) {
    HBRUSH b = ::CreateSolidBrush(RGB(i & 0xFF, 1, 2));
    if (!b) break;
    batch.push_back(b);
    int index = static_cast<int>(reinterpret_cast<uintptr_t>(b) & 0xFFFF);
    if (index > highest) highest = index;
  }
  for (HBRUSH b : batch) ::DeleteObject(b);
  return highest;
}

}  // namespace kivo::test
