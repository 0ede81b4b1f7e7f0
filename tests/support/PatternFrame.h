// The picture of the test cameras (and of any test that wants a frame it can read back): which
// camera, which frame, where each pixel came from, and whether the picture was scaled, mirrored,
// blended or torn on its way.
//
// Encoding. The picture is a grid of cells of 16 x 16 pixels, each of one colour. A colour carries a
// 9-bit symbol, three bits in each channel: a channel's value is level * 255 / 7 rounded (0, 36, 73,
// 109, 146, 182, 219, 255); red holds bits 8-6, green bits 5-3, blue bits 2-0. Eight levels leave
// +-18 for conversion errors (a YUY2 round trip costs about 3), and uniform cells on even columns
// survive YUY2's and I420's shared chroma untouched. Cell (cx, cy) counts from the top-left corner:
//   - cx + cy even, cy even: a column cell, symbol 0x100 | cx;
//   - cx + cy even, cy odd:  a row cell,    symbol 0x180 | cy;
//   - cx + cy odd:           an info cell,  symbol = byte j of the info word (bit 8 clear),
//                            j = (cx / 2 + 3 * cy) % 8.
// The info word: 'K', camera number, the frame counter's bits 0-7, 8-15 and 16-23, the picture's
// columns and rows of cells, and a CRC-8 (polynomial 0x07) of the seven bytes before it. Every
// info cell repeats one byte of it, so a torn or blended picture shows as cells that disagree.
// A reader finds the column and row cells, fits one line per axis from the source cells' centres
// to where they were received (a negative slope is a mirrored axis), then reads the info cells at
// the places the fit gives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kivo::test {

constexpr int kPatternCell = 16;
constexpr BYTE kPatternMagic = 'K';

// The symbol of cell (cx, cy) of a picture of cols x rows cells.
uint16_t PatternSymbol(int cx, int cy, int cols, int rows, int camera, uint32_t counter);
// A symbol's colour, and the symbol nearest to a colour with its largest channel error.
void PatternColour(uint16_t symbol, BYTE& r, BYTE& g, BYTE& b);
uint16_t NearestSymbol(BYTE r, BYTE g, BYTE b, int& error);

// The picture as a 24-bit DIB (BGR, rows padded to 4 bytes; bottomUp: the last picture row first,
// as a DIB of positive height stores it). Sizes need not be multiples of the cell.
void PaintPatternRgb24(BYTE* bits, int width, int height, int camera, uint32_t counter, bool bottomUp = true);
// The picture as YUY2 (rows top-down, Y0 U Y1 V for each pair of pixels; width even).
void PaintPatternYuy2(BYTE* bits, int width, int height, int camera, uint32_t counter);

// BT.601 studio range, in integers: what the test colour converter does.
void RgbToYuv(int r, int g, int b, int& y, int& u, int& v);
void YuvToRgb(int y, int u, int v, BYTE& r, BYTE& g, BYTE& b);

struct TPatternReading {
  bool Found = false;  // both axes fitted and a valid info word read
  std::string Problem; // why not, when not (a blended picture may be placed but unreadable: Mixed)
  int Camera = -1;
  uint32_t Counter = 0;
  int SourceWidth = 0, SourceHeight = 0;  // the picture's cells times 16
  // Received x = ScaleX * source x + OffsetX (pixel edges: pixel i spans [i, i + 1)); y the same.
  double ScaleX = 0, OffsetX = 0, ScaleY = 0, OffsetY = 0;
  int InfoCells = 0;    // info cells read
  int Disagreeing = 0;  // info cells that differ from the majority of their byte
  int OffPalette = 0;   // pixels inside the picture that are no pattern colour
  bool MirroredX() const { return ScaleX < 0; }
  bool FlippedY() const { return ScaleY < 0; }
  // Two pictures in one: blended, torn, or something drawn over it (also when not Found).
  bool Mixed() const { return Disagreeing > 0 || OffPalette > 0; }
  // The source pixel a received pixel shows (false when it lies outside the source picture).
  bool SourcePixel(int x, int y, int& sx, int& sy) const;
  // "camera 2 frame 17 640x480 scale 0.5,-0.5 ..." for test messages.
  std::string Describe() const;
};

// Reads a 24-bit DIB (layout as PaintPatternRgb24 writes it; stride: bytes a row, 0 for the padded
// width).
TPatternReading ReadPattern(const BYTE* bits, int width, int height, bool bottomUp = true, int stride = 0);

}  // namespace kivo::test
