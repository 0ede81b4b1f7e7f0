#include "CodecSamples.h"

#include <windows.h>

#include "Handles.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace kivo::test {

TPixelBuffer PatternPicture(int width, int height, int bitCount) {
  TPixelBuffer p(width, height, bitCount);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* d = p.Pixel(x, y);
      d[0] = std::uint8_t(x * 7 + 1);
      d[1] = std::uint8_t(y * 11 + 2);
      d[2] = std::uint8_t(x * 3 + y * 5 + 3);
      if (bitCount == 32) d[3] = std::uint8_t(x * 13 + y * 17);
    }
  if (bitCount == 32) p.HasAlpha = true;
  return p;
}

TPixelBuffer CornerPicture(int width, int height) {
  TPixelBuffer p(width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* d = p.Pixel(x, y);
      d[0] = std::uint8_t(64 + x * 64 / width);
      d[1] = std::uint8_t(64 + y * 64 / height);
      d[2] = 96;
      const bool left = x < 8, right = x >= width - 8, top = y < 8, bottom = y >= height - 8;
      if (top && left) { d[0] = 0; d[1] = 0; d[2] = 255; }
      if (top && right) { d[0] = 0; d[1] = 255; d[2] = 0; }
      if (bottom && left) { d[0] = 255; d[1] = 0; d[2] = 0; }
      if (bottom && right) { d[0] = 255; d[1] = 255; d[2] = 255; }
    }
  return p;
}

TBgr At(const TPixelBuffer& p, int x, int y) {
  const std::uint8_t* d = p.Pixel(x, y);
  return TBgr{d[0], d[1], d[2]};
}

int MaxChannelDiff(const TPixelBuffer& a, const TPixelBuffer& b) {
  if (a.Width != b.Width || a.Height != b.Height) return 1000;
  int worst = 0;
  for (int y = 0; y < a.Height; ++y)
    for (int x = 0; x < a.Width; ++x)
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(a.Pixel(x, y)[c]) - int(b.Pixel(x, y)[c])));
  return worst;
}

std::string CompareExact(const TPixelBuffer& expected, const TPixelBuffer& actual, bool withAlpha) {
  std::ostringstream s;
  if (expected.Width != actual.Width || expected.Height != actual.Height) {
    s << "size " << actual.Width << "x" << actual.Height << " instead of " << expected.Width << "x" << expected.Height;
    return s.str();
  }
  const int channels = withAlpha ? 4 : 3;
  for (int y = 0; y < expected.Height; ++y)
    for (int x = 0; x < expected.Width; ++x)
      for (int c = 0; c < channels; ++c) {
        const int e = c == 3 && expected.BitCount == 24 ? 255 : expected.Pixel(x, y)[c];
        const int a = c == 3 && actual.BitCount == 24 ? 255 : actual.Pixel(x, y)[c];
        if (e != a) {
          s << "pixel (" << x << "," << y << ") channel " << c << ": " << a << " instead of " << e;
          return s.str();
        }
      }
  return std::string();
}

namespace {
void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(std::uint8_t(x));
  v.push_back(std::uint8_t(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
}  // namespace

std::vector<std::uint8_t> BuildBmp(const TBmpLayout& layout) {
  const int rows = std::abs(layout.Height);
  const std::size_t stride = ((std::size_t(layout.Width) * layout.BitCount + 31) / 32) * 4;
  std::vector<std::uint8_t> dib;
  if (layout.HeaderSize == 12) {
    Put32(dib, 12);
    Put16(dib, std::uint32_t(layout.Width));
    Put16(dib, std::uint32_t(layout.Height));
    Put16(dib, 1);
    Put16(dib, std::uint32_t(layout.BitCount));
  } else {
    Put32(dib, layout.HeaderSize);
    Put32(dib, std::uint32_t(layout.Width));
    Put32(dib, std::uint32_t(layout.Height));
    Put16(dib, 1);
    Put16(dib, std::uint32_t(layout.BitCount));
    Put32(dib, layout.Compression);
    Put32(dib, std::uint32_t(stride * rows));
    Put32(dib, 2835);
    Put32(dib, 2835);
    Put32(dib, std::uint32_t(layout.Palette.size()));
    Put32(dib, 0);
    if (layout.HeaderSize > 40)
      for (int i = 0; i < 4; ++i) Put32(dib, layout.Masks[i]);
    dib.resize(layout.HeaderSize, 0);  // colour space fields of V4/V5 stay zero
    if (layout.HeaderSize == 40 && layout.Compression == 3)
      for (int i = 0; i < 3; ++i) Put32(dib, layout.Masks[i]);
  }
  for (std::uint32_t c : layout.Palette) {
    dib.push_back(std::uint8_t(c));
    dib.push_back(std::uint8_t(c >> 8));
    dib.push_back(std::uint8_t(c >> 16));
    if (layout.HeaderSize != 12) dib.push_back(0);
  }
  const std::size_t offset = 14 + dib.size();
  std::vector<std::uint8_t> pixels(stride * rows, 0);
  for (int r = 0; r < rows; ++r) {
    const int fileRow = layout.Height < 0 ? r : rows - 1 - r;
    std::uint8_t* d = &pixels[stride * fileRow];
    for (int x = 0; x < layout.Width; ++x) {
      const std::uint32_t v = layout.Values[std::size_t(r) * layout.Width + x];
      if (layout.BitCount < 8) {
        const int bit = x * layout.BitCount;
        d[bit / 8] |= std::uint8_t(v << (8 - layout.BitCount - bit % 8));
      } else {
        for (int i = 0; i < layout.BitCount / 8; ++i) d[x * (layout.BitCount / 8) + i] = std::uint8_t(v >> (8 * i));
      }
    }
  }
  std::vector<std::uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  Put32(file, std::uint32_t(offset + pixels.size()));
  Put32(file, 0);
  Put32(file, std::uint32_t(offset));
  file.insert(file.end(), dib.begin(), dib.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

TGifPicture SampleGif() {
  TGifPicture g;
  g.Width = 20;
  g.Height = 16;
  g.GlobalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  g.BackgroundIndex = 3;
  g.LoopCount = 0;
  TGifFrame f0;  // whole screen, kept
  f0.Width = 20;
  f0.Height = 16;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x) f0.Indices.push_back(std::uint8_t((x + 2 * y) % 4));
  f0.HasControl = true;
  f0.Delay = 10;
  f0.Disposal = gdKeep;
  TGifFrame f1;  // interlaced, local palette, transparent, cleared afterwards
  f1.Left = 3;
  f1.Top = 2;
  f1.Width = 8;
  f1.Height = 11;
  f1.LocalPalette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120},
                     {130, 140, 150}, {160, 170, 180}, {190, 200, 210}, {220, 230, 240}};
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 8; ++x) f1.Indices.push_back(std::uint8_t((x * y + y) % 8));
  f1.Interlaced = true;
  f1.HasControl = true;
  f1.Delay = 25;
  f1.Disposal = gdBackground;
  f1.TransparentIndex = 0;
  TGifFrame f2;  // no graphic control
  f2.Left = 10;
  f2.Top = 9;
  f2.Width = 10;
  f2.Height = 7;
  for (int i = 0; i < 70; ++i) f2.Indices.push_back(std::uint8_t(3 - i % 3));
  g.Frames = {f0, f1, f2};
  return g;
}

TTempDir::TTempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  dir_ = std::wstring(base) + L"kivo_codecs_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(GetTickCount()) + L"\\";
  CreateDirectoryW(dir_.c_str(), nullptr);
}

TTempDir::~TTempDir() {
  WIN32_FIND_DATAW fd;
  {
    TFindOwner find(FindFirstFileW((dir_ + L"*").c_str(), &fd));
    if (find) {
      do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((dir_ + fd.cFileName).c_str());
      } while (FindNextFileW(find.Get(), &fd));
    }
  }
  RemoveDirectoryW(dir_.c_str());
}

}  // namespace kivo::test
