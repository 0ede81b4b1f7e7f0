// Helpers for the picture tests: GDI object counting and pixel reads.
#pragma once

#include <windows.h>

#include <vector>

#include "Pictures.h"

namespace kivo::test {

// Live GDI objects of this process. Wine's GetGuiResources answers 0, so there the count comes
// from the handle table's free slots: as many objects are made as the table allows.
inline long LiveGdiObjects() {
  if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<long>(n);
  std::vector<HBRUSH> made;
  made.reserve(70000);
  while (made.size() < 1000000) {
    HBRUSH b = ::CreateSolidBrush(RGB(1, 2, 3));
    if (!b) break;
    made.push_back(b);
  }
  for (HBRUSH b : made) ::DeleteObject(b);
  return 1000000 - static_cast<long>(made.size());
}

// COLORREF of a pixel of a bitmap.
inline COLORREF PixelOf(TBitmap& b, int x, int y) { return b.Canvas()->Pixel(x, y); }

}  // namespace kivo::test
