#include "FastFX.h"

#include <cstdlib>

namespace kivo {

namespace {

// Calls fn(pixel) for each pixel, row by row, skipping the padding.
template <class Fn>
void ForEachPixel(TFastRGB& p, Fn fn) {
  BYTE* b = p.PixelData;
  if (!b) return;
  for (int y = 0; y < p.Height; ++y) {
    for (int x = 0; x < p.Width; ++x, b += 3) fn(b);
    b += p.RowPad;
  }
}

void MapBytes(TFastRGB& p, const BYTE (&table)[256]) {
  ForEachPixel(p, [&](BYTE* px) {
    px[0] = table[px[0]];
    px[1] = table[px[1]];
    px[2] = table[px[2]];
  });
}

}  // namespace

void AdjustRGB(TFastRGB& picture, int red, int green, int blue) {
  BYTE rt[256], gt[256], bt[256];
  for (int i = 0; i < 256; ++i) {
    bt[i] = ClampByte(i + blue);
    gt[i] = ClampByte(i + green);
    rt[i] = ClampByte(i + red);
  }
  ForEachPixel(picture, [&](BYTE* px) {
    px[0] = bt[px[0]];
    px[1] = gt[px[1]];
    px[2] = rt[px[2]];
  });
}

void AdjustContrast(TFastRGB& picture, int amount) {
  BYTE t[256];
  for (int i = 0; i < 256; ++i) {
    int d = std::abs(128 - i) * amount / 256;  // truncates toward zero
    t[i] = ClampByte(i <= 126 ? i - d : i + d);
  }
  MapBytes(picture, t);
}

void AdjustLightness(TFastRGB& picture, int amount) {
  BYTE t[256];
  for (int i = 0; i < 256; ++i)
    t[i] = amount > 0 ? ClampByte(i + (((255 - i) * amount) >> 8)) : ClampByte(i - ((std::abs(amount) * i) >> 8));
  MapBytes(picture, t);
}

void AdjustSaturation(TFastRGB& picture, int amount) {
  BYTE third[258];
  for (int n = 0; n < 258; ++n) third[n] = static_cast<BYTE>(n / 3);
  unsigned short w[256];
  for (int i = 0; i < 256; ++i) w[i] = static_cast<unsigned short>((i * amount) >> 8);
  ForEachPixel(picture, [&](BYTE* px) {
    int gray = third[px[2]] + third[px[1]] + third[px[0]];
    for (int c = 0; c < 3; ++c) px[c] = ClampByte(gray + w[px[c]] - w[gray]);
  });
}

void MakeGrayscale(TFastRGB& picture) {
  ForEachPixel(picture, [](BYTE* px) {
    BYTE gray = static_cast<BYTE>(px[0] / 3 + px[1] / 3 + px[2] / 3);
    px[0] = px[1] = px[2] = gray;
  });
}

}  // namespace kivo
