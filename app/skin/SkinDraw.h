// Drawing of skin pictures: frames cut out of picture strips, nine-slicing, three-slicing,
// tiling, transparent blits with magenta as the key colour, and window regions from bitmaps.
//
// A picture holds `count` frames of equal size side by side (frame width = width div count) or
// stacked (`vertical`: frame height = height div count); frames are numbered from 1. Margins are
// a RECT of pixel counts inside the frame: left, top, right, bottom.
#pragma once

#include <windows.h>

#include <string>

#include "Controls.h"
#include "Graphics.h"
#include "Pictures.h"

namespace kivo {

constexpr COLORREF kSkinKeyColor = RGB(255, 0, 255);  // magenta: transparent in skin pictures

// The rectangle of a frame inside its picture (count below 1 counts as 1; the frame number is
// kept within 1..count).
RECT SkinFrameRect(const TBitmap* image, bool vertical, int count, int frame);

// A new bitmap of the destination's size holding the frame nine-sliced by the margins: corners at
// their own size, edges and middle stretched (the middle tiled with tileMiddle). A margin pair
// that does not fit the destination counts as 0.
TObjectPtr<TBitmap> SliceBitmap(const RECT& dest, TBitmap* image, const RECT& margins, bool vertical,
                                bool tileMiddle, int count, int frame);
// SliceBitmap drawn at the rectangle, magenta left transparent when asked.
void DrawSliced(HDC dc, const RECT& r, TBitmap* image, bool vertical, bool tileMiddle, bool transparent, int count,
                int frame, const RECT& margins);
// Left part, repeated middle, right part (margins.left and margins.right), each stretched to the
// height.
void DrawThreeSlice(TCanvas* canvas, const RECT& r, TBitmap* image, bool vertical, bool transparent, int count,
                    int frame, const RECT& margins);
// Left, middle and right parts stretched; a destination narrower than the frame gets the whole
// frame stretched.
void DrawStretchedThree(HDC dc, const RECT& r, TBitmap* image, bool vertical, int count, int frame, const RECT& margins);
// One frame (side by side) stretched into the rectangle, or at its own size centred in it.
void DrawFrameStretched(HDC dc, const RECT& r, TBitmap* image, bool transparent, int count, int frame);
void DrawFrameCentered(HDC dc, const RECT& r, TBitmap* image, bool transparent, int count, int frame);
// Copies the bitmap to r's top-left corner (r's size), keeping the DC's pixels where the bitmap
// has the key colour.
void DrawTransparent(HDC dc, const RECT& r, TBitmap* bitmap, COLORREF key = kSkinKeyColor);
// The source part of the image repeated over the destination from its top-left corner.
void TileBitmap(TCanvas* canvas, const RECT& dest, TBitmap* image, const RECT& source);
// A region covering every pixel not of the key colour (within key .. key + tolerance per
// channel), moved by the offset. The caller owns it; an empty region for a wholly
// transparent bitmap.
HRGN RegionFromBitmap(TBitmap* bitmap, int xOffset, int yOffset, int blueTolerance, int greenTolerance,
                      int redTolerance, COLORREF key = kSkinKeyColor);
// The control's parent painted into the DC under the control (the DC's origin is the control's).
void PaintParentBackground(TControl* control, HDC dc);

// Class name (at most 100 characters) and window text of a window.
std::wstring WindowClassName(HWND wnd);
std::wstring WindowTextW(HWND wnd);
std::string WindowTextA(HWND wnd);

}  // namespace kivo
