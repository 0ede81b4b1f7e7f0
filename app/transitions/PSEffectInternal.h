// Shared by the units of the transition styles: pixel access and the drawing families the style
// table is written with.
#pragma once

#include <cstdint>

#include "PSEffect.h"

namespace kivo::pseffect {

// The 32-bit pixels of a bitmap; rows counted from the top, or in memory order (bottom first).
struct TPixels32 {
  explicit TPixels32(TBitmap* b);
  std::uint8_t* Row(int top) const { return Bits + std::size_t(H - 1 - top) * std::size_t(W) * 4; }
  std::uint32_t* Pixels() const { return reinterpret_cast<std::uint32_t*>(Bits); }
  int W, H;
  std::uint8_t* Bits = nullptr;  // first row in memory; nullptr for an empty bitmap
};
// s moved towards p by a / 256, kept to 8 bits.
inline std::uint8_t BlendByte(std::uint8_t s, std::uint8_t p, int a) {
  return static_cast<std::uint8_t>(s + (((p - s) * a) >> 8));
}
// The numeric value of the picture's bitmap handle, as the seeded styles use it.
std::uint32_t HandleValue(const TStyleFrame& f);

// ---- Block transfers (copies and stretches) ----
// Copy (dx, dy, w, h) from the picture at (sx, sy).
void Copy(const TStyleFrame& f, int dx, int dy, int w, int h, int sx, int sy);
// Copy in place: the rectangle of the picture where it stands.
inline void Reveal(const TStyleFrame& f, int x, int y, int w, int h) { Copy(f, x, y, w, h, x, y); }
// Stretch (dx, dy, dw, dh) from the picture's (sx, sy, sw, sh); negative sizes mirror.
void Stretch(const TStyleFrame& f, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh);
// The same from the starting content itself, read before it is overwritten.
void CopyFromScreen(const TStyleFrame& f, int dx, int dy, int w, int h, int sx, int sy);
void StretchScreen(const TStyleFrame& f, int dx, int dy, int dw, int dh);
// Frame outside a centred rectangle (style 54), rolls, the zoom lens.
void RevealOutside(const TStyleFrame& f, int left, int top, int right, int bottom);
void RollHorizontal(const TStyleFrame& f, bool fromLeft);
void RollVertical(const TStyleFrame& f, bool fromTop);
void ZoomLens(const TStyleFrame& f);

// ---- Clip reveals ----
// The whole picture copied through the region; nothing when there is no region.
void RevealThrough(const TStyleFrame& f, TRgnOwner region);
TRgnOwner RoundRectRgn(int left, int top, int right, int bottom, int cw, int ch);
TRgnOwner RectRgn(int left, int top, int right, int bottom);
// a combined with b (RGN_OR, RGN_AND, RGN_XOR); b is deleted. An absent a answers b.
TRgnOwner Combine(TRgnOwner a, TRgnOwner b, int mode);

void RandomCells(const TStyleFrame& f);                  // 128
void Slats(const TStyleFrame& f, bool vertical);          // 137, 138
void SpreadSlats(const TStyleFrame& f, bool vertical, bool fromEnd);  // 139-142
void Squares(const TStyleFrame& f);                       // 143
void CrossSlats(const TStyleFrame& f, bool vertical, bool fromEnd);   // 146-149
void Circles(const TStyleFrame& f);                       // 153
void TriangleGrid(const TStyleFrame& f);                  // 118
void DiamondGrid(const TStyleFrame& f);                   // 164
void Meander(const TStyleFrame& f, bool vertical);        // 162, 163
void SectorWipe(const TStyleFrame& f, bool clockwise);    // 144, 145
void RotatingShape(const TStyleFrame& f, int style);      // 150-152
void CornerTriangles(const TStyleFrame& f, int x2, int y2, bool outside);  // 160, 161

// ---- Pixel styles ----
void Fade(const TStyleFrame& f);                          // 119
void Noise(const TStyleFrame& f);                         // 169
void RandomRows(const TStyleFrame& f);                    // 170
void RandomColumns(const TStyleFrame& f);                 // 171
void ChromaChange(const TStyleFrame& f);                  // 172

}  // namespace kivo::pseffect
