// Picture and colour routines of the skin: magenta recolouring, mirroring, flipping, quarter
// turns, colour blending, a cached gradient fill and a saturation measure. GUI thread only.
#pragma once

#include <windows.h>

#include <vector>

#include "Graphics.h"
#include "Pictures.h"

namespace kivo {

// Makes the bitmap 24-bit; every pure magenta pixel takes the colour value's red, green and blue
// bytes as they are (a system colour is not resolved).
void ReplaceMagenta(TBitmap* bitmap, TColor color);
// Left-right mirror, upside down, and quarter turns counter-clockwise (left) and clockwise
// (right). A bitmap of another depth than 24 or 32 bits is made 24-bit first.
void MirrorBitmap(TBitmap* bitmap);
void FlipBitmap(TBitmap* bitmap);
void RotateBitmapLeft(TBitmap* bitmap);
void RotateBitmapRight(TBitmap* bitmap);

// weight below 100: percent of color1; from 100 up: per mille. System colours are resolved.
TColor BlendColor(TColor color1, TColor color2, int weight);
// Saturation 0..255 of a colour; 200 for colours whose channels are all below 160.
int ColorSaturation(TColor color);

// The gradient cache: 16 slots of colour arrays, filled round-robin.
const std::vector<COLORREF>& GetGradient(int count, COLORREF start, COLORREF end);
const std::vector<COLORREF>* FindGradient(int count, COLORREF start, COLORREF end);
const std::vector<COLORREF>& MakeGradient(int count, COLORREF start, COLORREF end);
// Fills the rectangle from `start` (top or left) to `end` one strip at a time, only inside the
// clip box. Answers 0 when nothing was visible.
int GradientFill(HDC dc, const RECT& r, TColor start, bool vertical, TColor end);

}  // namespace kivo
