// Pictures drawn by the skin generator: 24-bit pixels, simple shapes, glyphs from text patterns,
// and BMP files (24-bit, 4-bit with the standard 16 colours, 1-bit).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::skinpack {

struct TRgb {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TRgb& o) const { return R == o.R && G == o.G && B == o.B; }
  bool operator!=(const TRgb& o) const { return !(*this == o); }
};
constexpr TRgb Rgb(int r, int g, int b) {
  return TRgb{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}
constexpr TRgb kMagenta = Rgb(255, 0, 255);
// a + (b - a) * t / 255, per channel
TRgb Mix(TRgb a, TRgb b, int t);

class TRaster {
 public:
  TRaster() = default;
  TRaster(int width, int height, TRgb fill = kMagenta);
  int Width() const { return width_; }
  int Height() const { return height_; }
  TRgb At(int x, int y) const { return pixels_[Index(x, y)]; }
  void Set(int x, int y, TRgb c);  // ignores points outside
  void Fill(int x0, int y0, int x1, int y1, TRgb c);  // [x0, x1) x [y0, y1)
  void Frame(int x0, int y0, int x1, int y1, TRgb c);
  void Line(int x0, int y0, int x1, int y1, TRgb c);  // both ends included
  // top to bottom from `top` to `bottom` over [x0, x1) x [y0, y1)
  void VerticalGradient(int x0, int y0, int x1, int y1, TRgb top, TRgb bottom);
  void Disc(double cx, double cy, double radius, TRgb c);
  // Rounds the corners of [x0, x1) x [y0, y1) with a radius, putting `outside` there.
  void RoundCorners(int x0, int y0, int x1, int y1, int radius, TRgb outside, bool top = true, bool bottom = true);
  // A pattern of text rows: '#' is drawn in c, anything else is left.
  void Glyph(int x, int y, const std::vector<std::string>& rows, TRgb c);
  // Copies another picture at (x, y).
  void Paste(const TRaster& other, int x, int y);

  // Frames of equal size side by side (or stacked) joined into one strip.
  static TRaster Strip(const std::vector<TRaster>& frames, bool stacked = false);

  std::vector<std::uint8_t> Bmp24() const;
  // 4 bits with the standard 16-colour palette: every pixel must be one of its colours.
  std::vector<std::uint8_t> Bmp4() const;
  // 1 bit: black for pixels darker than mid-grey, white for the others.
  std::vector<std::uint8_t> Bmp1() const;

 private:
  std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x); }
  int width_ = 0, height_ = 0;
  std::vector<TRgb> pixels_;
};

}  // namespace kivo::skinpack
