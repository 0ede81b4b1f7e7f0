// Direct byte access to a 24-bit picture (B, G, R per pixel, rows padded to 4 bytes) and the
// byte clamp the colour filters share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "Classes.h"

namespace kivo {

inline BYTE ClampByte(int v) { return static_cast<BYTE>(v > 255 ? 255 : v < 0 ? 0 : v); }

class TFastRGB : public TObject {
  KIVO_CLASS(TFastRGB, TObject)
  int Width = 0, Height = 0;
  int RowPad = 0;     // padding bytes after each row: Width mod 4
  int RowStride = 0;  // 3 x Width + RowPad
  int ByteSize = 0;   // RowStride x Height
  // Row i starts at PixelData + i x RowStride (row 0 is the first row in memory).
  std::vector<BYTE*> RowTable;
  BYTE* PixelData = nullptr;

 protected:
  // Sizes and row pointers for a picture of width x height at pixels.
  void SetLayout(int width, int height, BYTE* pixels);
};

}  // namespace kivo
