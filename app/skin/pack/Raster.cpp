#include "Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace kivo::skinpack {

namespace {

void Le16(std::vector<std::uint8_t>& o, unsigned v) {
  o.push_back(static_cast<std::uint8_t>(v));
  o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(std::vector<std::uint8_t>& o, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// File header, BITMAPINFOHEADER and palette of a bottom-up BI_RGB bitmap.
std::vector<std::uint8_t> BmpHeaders(int w, int h, int bits, const std::vector<TRgb>& palette, std::size_t imageSize) {
  std::vector<std::uint8_t> o;
  const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(palette.size()) * 4;
  o.push_back('B');
  o.push_back('M');
  Le32(o, offset + static_cast<std::uint32_t>(imageSize));
  Le32(o, 0);
  Le32(o, offset);
  Le32(o, 40);
  Le32(o, static_cast<std::uint32_t>(w));
  Le32(o, static_cast<std::uint32_t>(h));
  Le16(o, 1);
  Le16(o, static_cast<unsigned>(bits));
  Le32(o, 0);  // BI_RGB
  Le32(o, static_cast<std::uint32_t>(imageSize));
  Le32(o, 2835);
  Le32(o, 2835);
  Le32(o, static_cast<std::uint32_t>(palette.size()));
  Le32(o, 0);
  for (const TRgb& c : palette) {
    o.push_back(c.B);
    o.push_back(c.G);
    o.push_back(c.R);
    o.push_back(0);
  }
  return o;
}

std::size_t Stride(int w, int bits) { return ((static_cast<std::size_t>(w) * static_cast<std::size_t>(bits) + 31) / 32) * 4; }

// The standard 16-colour palette.
const std::vector<TRgb>& Vga16() {
  static const std::vector<TRgb> p = {
      Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0), Rgb(0, 0, 128),   Rgb(128, 0, 128),
      Rgb(0, 128, 128),   Rgb(192, 192, 192), Rgb(128, 128, 128), Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(255, 255, 0),
      Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255)};
  return p;
}

}  // namespace

TRgb Mix(TRgb a, TRgb b, int t) {
  auto m = [t](int x, int y) { return x + ((y - x) * t) / 255; };
  return Rgb(m(a.R, b.R), m(a.G, b.G), m(a.B, b.B));
}

TRaster::TRaster(int width, int height, TRgb fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

void TRaster::Set(int x, int y, TRgb c) {
  if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[Index(x, y)] = c;
}
void TRaster::Fill(int x0, int y0, int x1, int y1, TRgb c) {
  for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) pixels_[Index(x, y)] = c;
}
void TRaster::Frame(int x0, int y0, int x1, int y1, TRgb c) {
  Fill(x0, y0, x1, y0 + 1, c);
  Fill(x0, y1 - 1, x1, y1, c);
  Fill(x0, y0, x0 + 1, y1, c);
  Fill(x1 - 1, y0, x1, y1, c);
}
void TRaster::Line(int x0, int y0, int x1, int y1, TRgb c) {
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1, dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    Set(x0, y0, c);
    if (x0 == x1 && y0 == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}
void TRaster::VerticalGradient(int x0, int y0, int x1, int y1, TRgb top, TRgb bottom) {
  const int h = std::max(1, y1 - y0 - 1);
  for (int y = y0; y < y1; ++y) Fill(x0, y, x1, y + 1, Mix(top, bottom, (y - y0) * 255 / h));
}
void TRaster::Disc(double cx, double cy, double radius, TRgb c) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      if (dx * dx + dy * dy <= radius * radius) pixels_[Index(x, y)] = c;
    }
}
void TRaster::RoundCorners(int x0, int y0, int x1, int y1, int radius, TRgb outside, bool top, bool bottom) {
  for (int dy = 0; dy < radius; ++dy)
    for (int dx = 0; dx < radius; ++dx) {
      const double ex = radius - dx - 0.5, ey = radius - dy - 0.5;
      if (ex * ex + ey * ey <= double(radius) * radius) continue;
      if (top) {
        Set(x0 + dx, y0 + dy, outside);
        Set(x1 - 1 - dx, y0 + dy, outside);
      }
      if (bottom) {
        Set(x0 + dx, y1 - 1 - dy, outside);
        Set(x1 - 1 - dx, y1 - 1 - dy, outside);
      }
    }
}
void TRaster::Glyph(int x, int y, const std::vector<std::string>& rows, TRgb c) {
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t k = 0; k < rows[r].size(); ++k)
      if (rows[r][k] == '#') Set(x + static_cast<int>(k), y + static_cast<int>(r), c);
}
void TRaster::Paste(const TRaster& other, int x, int y) {
  for (int j = 0; j < other.height_; ++j)
    for (int i = 0; i < other.width_; ++i) Set(x + i, y + j, other.At(i, j));
}

TRaster TRaster::Strip(const std::vector<TRaster>& frames, bool stacked) {
  if (frames.empty()) return TRaster();
  const int w = frames[0].width_, h = frames[0].height_, n = static_cast<int>(frames.size());
  TRaster out(stacked ? w : w * n, stacked ? h * n : h);
  for (int i = 0; i < n; ++i) {
    if (frames[static_cast<std::size_t>(i)].width_ != w || frames[static_cast<std::size_t>(i)].height_ != h)
      throw std::invalid_argument("frames of a strip differ in size");
    out.Paste(frames[static_cast<std::size_t>(i)], stacked ? 0 : i * w, stacked ? i * h : 0);
  }
  return out;
}

std::vector<std::uint8_t> TRaster::Bmp24() const {
  const std::size_t stride = Stride(width_, 24);
  std::vector<std::uint8_t> o = BmpHeaders(width_, height_, 24, {}, stride * static_cast<std::size_t>(height_));
  for (int y = height_ - 1; y >= 0; --y) {
    std::size_t n = 0;
    for (int x = 0; x < width_; ++x, n += 3) {
      const TRgb c = At(x, y);
      o.push_back(c.B);
      o.push_back(c.G);
      o.push_back(c.R);
    }
    for (; n < stride; ++n) o.push_back(0);
  }
  return o;
}

std::vector<std::uint8_t> TRaster::Bmp4() const {
  const auto& palette = Vga16();
  const std::size_t stride = Stride(width_, 4);
  std::vector<std::uint8_t> o = BmpHeaders(width_, height_, 4, palette, stride * static_cast<std::size_t>(height_));
  for (int y = height_ - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(stride, 0);
    for (int x = 0; x < width_; ++x) {
      const auto it = std::find(palette.begin(), palette.end(), At(x, y));
      if (it == palette.end()) throw std::invalid_argument("a colour outside the 16-colour palette");
      const auto index = static_cast<std::uint8_t>(it - palette.begin());
      row[static_cast<std::size_t>(x / 2)] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
    o.insert(o.end(), row.begin(), row.end());
  }
  return o;
}

std::vector<std::uint8_t> TRaster::Bmp1() const {
  const std::size_t stride = Stride(width_, 1);
  std::vector<std::uint8_t> o =
      BmpHeaders(width_, height_, 1, {Rgb(0, 0, 0), Rgb(255, 255, 255)}, stride * static_cast<std::size_t>(height_));
  for (int y = height_ - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(stride, 0);
    for (int x = 0; x < width_; ++x) {
      const TRgb c = At(x, y);
      if (c.R + c.G + c.B >= 3 * 128) row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    o.insert(o.end(), row.begin(), row.end());
  }
  return o;
}

}  // namespace kivo::skinpack
