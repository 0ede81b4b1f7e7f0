// Small helpers the control units share for talking to a control's window.
#pragma once

#include <windows.h>

#include "Controls.h"

namespace kivo {

// Sends a message to the control's window when it has one; 0 when it has none.
inline LRESULT Send(const TWinControl* c, UINT msg, WPARAM w = 0, LPARAM l = 0) {
  return c->HandleAllocated() ? ::SendMessageW(c->HandleIfAllocated(), msg, w, l) : 0;
}

// Sets the style bits under mask of an existing window to bits and repaints it (nothing without
// a window: CreateParams puts them in when it is made).
inline void SetStyleBits(TWinControl* c, DWORD mask, DWORD bits) {
  if (!c->HandleAllocated()) return;
  HWND h = c->HandleIfAllocated();
  LONG s = ::GetWindowLongW(h, GWL_STYLE);
  ::SetWindowLongW(h, GWL_STYLE, (s & ~mask) | bits);
  ::InvalidateRect(h, nullptr, TRUE);
}
inline void SetStyleBit(TWinControl* c, DWORD bit, bool on) { SetStyleBits(c, bit, on ? bit : 0); }

}  // namespace kivo
