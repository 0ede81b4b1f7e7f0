// The artwork tool's raster routines: 24-bit pictures with an alpha plane, simple and anti-aliased
// shapes, glyphs from text patterns, and the picture files the build ships (BMP 24/4/1 bits, icon
// and cursor files, GIF). Plain C++ without platform headers: built for the build machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kivo::raster {

using Bytes = std::vector<std::uint8_t>;

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

// A shape: true for the points (x, y) inside it, pixel (i, j) spanning [i, i + 1) x [j, j + 1).
using TShape = std::function<bool(double, double)>;
namespace shape {
TShape Circle(double cx, double cy, double r);
TShape Ring(double cx, double cy, double r, double thickness);  // the band r - thickness .. r
TShape RoundRect(double x0, double y0, double x1, double y1, double r);
TShape Rect(double x0, double y0, double x1, double y1);  // [x0, x1) x [y0, y1)
TShape Polygon(std::vector<std::pair<double, double>> points);  // convex, points in order
TShape ThickLine(double x0, double y0, double x1, double y1, double thickness);
}  // namespace shape

class TRaster {
 public:
  TRaster() = default;
  // Every pixel `fill`, opaque (alpha 255) or with the given alpha.
  TRaster(int width, int height, TRgb fill = kMagenta, int alpha = 255);
  int Width() const { return width_; }
  int Height() const { return height_; }
  TRgb At(int x, int y) const { return pixels_[Index(x, y)]; }
  std::uint8_t AlphaAt(int x, int y) const { return alpha_[Index(x, y)]; }
  void Set(int x, int y, TRgb c);  // opaque; ignores points outside
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

  // Blends c with an alpha (0..255) scaled by a coverage (0..1) into a pixel; the pixel's alpha
  // becomes the larger of its own and the blended one.
  void Blend(int x, int y, TRgb c, int alpha, double cover);
  // The pixels whose centre is inside the shape, set to c (hard edges).
  void FillSharp(const TShape& inside, TRgb c);
  // Every pixel blended with c by the share of 4 x 4 samples inside the shape (smooth edges).
  void FillSmooth(const TShape& inside, TRgb c, int alpha = 255);

  // Frames of equal size side by side (or stacked) joined into one strip.
  static TRaster Strip(const std::vector<TRaster>& frames, bool stacked = false);

  Bytes Bmp24() const;
  // 4 bits with the standard 16-colour palette: every pixel must be one of its colours.
  Bytes Bmp4() const;
  // 1 bit: black for pixels darker than mid-grey, white for the others.
  Bytes Bmp1() const;

 private:
  std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x); }
  int width_ = 0, height_ = 0;
  std::vector<TRgb> pixels_;
  std::vector<std::uint8_t> alpha_;
};

// An icon file of 32-bit images with their masks (a pixel of alpha 0 is masked out).
Bytes IconFile(const std::vector<const TRaster*>& images);
// A cursor file of one such image with its hot spot.
Bytes CursorFile(const TRaster& image, int hotX, int hotY);

// One frame of a GIF: palette indices row by row over the whole picture.
struct TGifFrame {
  std::vector<std::uint8_t> Pixels;
  int Delay = 10;  // 1/100 s
  int Disposal = 1;
  int Transparent = -1;  // palette index, or -1 for none
};
// The indices of a w x h frame, `index(x, y)` for each pixel.
template <class F>
std::vector<std::uint8_t> IndexFrame(int w, int h, F index) {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.push_back(static_cast<std::uint8_t>(index(x, y)));
  return out;
}
// A GIF89a file with a global palette (padded to a power of two); `loop` adds the endless-loop
// extension.
Bytes GifFile(int width, int height, const std::vector<TRgb>& palette, const std::vector<TGifFrame>& frames,
              bool loop = true);

// Writes a file whole; throws std::runtime_error when it cannot.
void WriteFile(const std::string& path, const Bytes& data);
Bytes TextBytes(const std::string& s);

}  // namespace kivo::raster
