// Helpers for the GUI layer's tests: message pumping with a time-out, user-like mouse input by
// messages, and window look-ups.
#pragma once

#include <windows.h>

#include <functional>
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

// Every window of this thread, children included.
inline std::vector<HWND> ThreadWindows() {
  std::vector<HWND> all;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND w, LPARAM l) CALLBACK -> BOOL {
        auto* v = reinterpret_cast<std::vector<HWND>*>(l);
        v->push_back(w);
        ::EnumChildWindows(
            w,
            [](HWND c, LPARAM l2) CALLBACK -> BOOL {
              reinterpret_cast<std::vector<HWND>*>(l2)->push_back(c);
              return TRUE;
            },
            l);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

// The first visible top-level window of a class (any thread of this process), or nullptr.
inline HWND FindVisibleTopLevel(const wchar_t* cls) {
  struct Ctx {
    const wchar_t* cls;
    HWND found;
  } ctx{cls, nullptr};
  ::EnumWindows(
      [](HWND w, LPARAM l) CALLBACK -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(l);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) && ClassOf(w) == c->cls) {
          c->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// The text of the static control inside a message box (its message).
inline std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  ::EnumChildWindows(
      box,
      [](HWND c, LPARAM l) CALLBACK -> BOOL {
        if (ClassOf(c) == L"Static" && !TextOf(c).empty()) *reinterpret_cast<std::wstring*>(l) += TextOf(c);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

}  // namespace kivo::test
