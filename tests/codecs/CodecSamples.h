// Sample pictures and files the codec tests make for themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PictureCodecs.h"

namespace kivo::test {

// Every pixel differs from its neighbours and from its mirror images: B from x, G from y, R from both.
TPixelBuffer PatternPicture(int width, int height, int bitCount);
// Smooth picture with solid 8 x 8 corner blocks: red top-left, green top-right, blue bottom-left,
// white bottom-right (JPEG-friendly).
TPixelBuffer CornerPicture(int width, int height);
// B, G, R of one pixel.
struct TBgr {
  int B, G, R;
};
TBgr At(const TPixelBuffer& p, int x, int y);
// Largest difference of any colour channel between two pictures of the same size.
int MaxChannelDiff(const TPixelBuffer& a, const TPixelBuffer& b);
// Empty when both pictures hold the same B, G, R (and alpha when `withAlpha`); else the first difference.
std::string CompareExact(const TPixelBuffer& expected, const TPixelBuffer& actual, bool withAlpha);

// A hand-built BMP file.
struct TBmpLayout {
  int Width = 0, Height = 0;  // Height < 0: top-down
  int BitCount = 24;
  std::uint32_t Compression = 0;  // 0 BI_RGB, 3 BI_BITFIELDS
  std::uint32_t HeaderSize = 40;  // 12, 40, 108, 124
  std::uint32_t Masks[4] = {0, 0, 0, 0};
  std::vector<std::uint32_t> Palette;  // 0x00RRGGBB
  // Pixel values: a palette index, or a raw 16/24/32-bit value, row 0 = top.
  std::vector<std::uint32_t> Values;
};
std::vector<std::uint8_t> BuildBmp(const TBmpLayout& layout);

// A GIF of 3 frames used by several tests (see the definition for its content).
TGifPicture SampleGif();

// A temporary folder removed with its files at destruction.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  std::wstring Path(const std::wstring& name) const { return dir_ + name; }

 private:
  std::wstring dir_;
};

}  // namespace kivo::test
