// A top-most test window painted with vertical bands of colour, the same width each, a place to
// park the cursor where no test window is, and the colours as the screen tests read them back.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "GuiTestUtil.h"
#include "TestSupport.h"

namespace kivo::test {

class TPaintedWindow {
 public:
  TPaintedWindow(const RECT& r, std::vector<COLORREF> bands, const wchar_t* title = L"Kivo snag target")
      : bands_(std::move(bands)) {
    static const wchar_t kClass[] = L"KivoSnagTestWindow";
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TPaintedWindow::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);
    wnd_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClass, title, WS_POPUP, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::ShowWindow(wnd_, SW_SHOWNA);
    ::UpdateWindow(wnd_);
    PumpFor(300);
  }
  TPaintedWindow(const TPaintedWindow&) = delete;
  TPaintedWindow& operator=(const TPaintedWindow&) = delete;
  ~TPaintedWindow() { Close(); }
  HWND Handle() const { return wnd_; }
  RECT Rect() const {
    RECT r{};
    ::GetWindowRect(wnd_, &r);
    return r;
  }
  void MoveTo(int x, int y) {
    ::SetWindowPos(wnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpFor(300);
  }
  void Close() {
    if (wnd_) ::DestroyWindow(wnd_);
    wnd_ = nullptr;
  }

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TPaintedWindow*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    if (msg == WM_PAINT && self) {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(w, &ps);
      RECT c{};
      ::GetClientRect(w, &c);
      const int n = static_cast<int>(self->bands_.size());
      for (int i = 0; i < n; ++i) {
        RECT b{c.right * i / n, 0, c.right * (i + 1) / n, c.bottom};
        HBRUSH brush = ::CreateSolidBrush(self->bands_[i]);
        ::FillRect(dc, &b, brush);
        ::DeleteObject(brush);
      }
      ::EndPaint(w, &ps);
      return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return ::DefWindowProcW(w, msg, wp, lp);
  }
  std::vector<COLORREF> bands_;
  HWND wnd_ = nullptr;
};

// The cursor parked in the screen's corner, where no test window is.
inline void ParkCursor() {
  ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 2, ::GetSystemMetrics(SM_CYSCREEN) - 2);
  PumpFor(100);
}

// The bands' colours.
constexpr COLORREF kRed = RGB(220, 20, 20), kGreen = RGB(20, 200, 40), kBlue = RGB(30, 40, 230),
                   kWhite = RGB(255, 255, 255);

// Colours that differ by less than 24 in every channel (a band as captured and scaled).
inline bool NearColour(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) < 24 && std::abs(GetGValue(a) - GetGValue(b)) < 24 &&
         std::abs(GetBValue(a) - GetBValue(b)) < 24;
}
// "#rrggbb".
inline std::string ColourHex(COLORREF c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
  return buf;
}
// The colour at (x, y) from the top of a bottom-up 24-bit frame.
inline COLORREF FramePixel(const BYTE* bits, int width, int height, int x, int y) {
  const BYTE* p = bits + FrameStride(width) * (height - 1 - y) + x * 3;
  return RGB(p[2], p[1], p[0]);
}

}  // namespace kivo::test
