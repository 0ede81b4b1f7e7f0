// The pictures of the effects' Effect folder: animations, borders, decorations, lights and masks
// (GIF and 24-bit BMP), and the captions shown under some of them.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "ArtTool.h"
#include "Raster.h"

namespace {

using namespace kivo::raster;

const double kPi = 3.14159265358979323846;

// The remainder with the sign of the divisor (a floor division's remainder).
double FloorMod(double a, double b) {
  double m = std::fmod(a, b);
  if (m != 0) {
    if ((b < 0) != (m < 0)) m += b;
  } else {
    m = std::copysign(0.0, b);
  }
  return m;
}
int FloorMod(int a, int b) {
  const int m = a % b;
  return (m != 0 && ((m < 0) != (b < 0))) ? m + b : m;
}

bool StarShape(double cx, double cy, double r, int x, int y, int points = 5, double inner = 0.45) {
  const double dx = x - cx, dy = y - cy;
  const double d = std::hypot(dx, dy);
  if (d > r) return false;
  const double a = std::atan2(dy, dx) + kPi / 2;
  const double sector = kPi / points;
  const double t = std::fabs(FloorMod(a, 2 * sector) - sector) / sector;
  const double limit = r * (inner + (1 - inner) * t);
  return d <= limit;
}

bool HeartShape(double cx, double cy, double s, int x, int y) {
  const double u = (x - cx) / s;
  const double v = -(y - cy) / s;
  return std::pow(u * u + v * v - 1, 3.0) - u * u * v * v * v <= 0;
}

double Square(double v) { return std::pow(v, 2.0); }

// n frames of a w x h animation: index(k, x, y) is the palette index of pixel (x, y) in frame k.
template <class F>
std::vector<TGifFrame> Animate(int n, int w, int h, int delay, int disposal, int transparent, F index) {
  std::vector<TGifFrame> frames;
  for (int k = 0; k < n; ++k) {
    TGifFrame f;
    f.Pixels = IndexFrame(w, h, [&](int x, int y) { return index(k, x, y); });
    f.Delay = delay;
    f.Disposal = disposal;
    f.Transparent = transparent;
    frames.push_back(std::move(f));
  }
  return frames;
}

struct TOut {
  std::string Folder;
  void Gif(const std::string& name, int w, int h, const std::vector<TRgb>& palette, const std::vector<TGifFrame>& frames) const {
    WriteFile(Folder + "/" + name, GifFile(w, h, palette, frames));
  }
  void Bmp(const std::string& name, const TRaster& picture) const { WriteFile(Folder + "/" + name, picture.Bmp24()); }
};

void Animations(const TOut& out) {
  {  // twinkling stars across the top of the picture
    const std::vector<TRgb> pal = {Rgb(0, 0, 0), Rgb(255, 230, 80), Rgb(255, 255, 255), Rgb(255, 160, 40)};
    struct TStar {
      int Cx, Cy, R;
    };
    const TStar stars[] = {{30, 30, 14}, {95, 45, 10}, {160, 25, 16}, {230, 48, 11}, {290, 28, 13}};
    out.Gif("animation/stars.gif", 320, 80, pal, Animate(6, 320, 80, 15, 2, 0, [&](int k, int x, int y) {
      for (int i = 0; i < 5; ++i) {
        const double rr = stars[i].R * (0.6 + 0.4 * std::fabs(std::sin((k + i) * kPi / 6)));
        if (StarShape(stars[i].Cx, stars[i].Cy, rr, x, y)) return (k + i) % 3 == 0 ? 2 : (i % 2 ? 1 : 3);
      }
      return 0;
    }));
  }
  {  // hearts rising up the left side
    const std::vector<TRgb> pal = {Rgb(0, 0, 0), Rgb(230, 30, 80), Rgb(255, 120, 160)};
    out.Gif("animation/hearts.gif", 90, 240, pal, Animate(8, 90, 240, 12, 2, 0, [](int k, int x, int y) {
      for (int i = 0; i < 3; ++i) {
        const int cy = (240 - FloorMod(k * 30 + i * 80, 260)) + 10;
        const int cx = 25 + FloorMod(i * 23, 50);
        if (HeartShape(cx, cy, 13, x, y)) return i != 1 ? 1 : 2;
      }
      return 0;
    }));
  }
  {  // falling snow over the whole picture
    const std::vector<TRgb> pal = {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(200, 220, 255)};
    out.Gif("animation/snow.gif", 320, 240, pal, Animate(6, 320, 240, 10, 2, 0, [](int k, int x, int y) {
      for (int i = 0; i < 40; ++i) {
        const int fx = FloorMod(i * 73, 320), fy = FloorMod(i * 151, 240), r = 1 + i % 3;
        const int yy = FloorMod(fy + k * 8 * (1 + i % 2), 240);
        const int xx = FloorMod(fx + int(6 * std::sin((k + i) / 2.0)), 320);
        if (std::abs(x - xx) + std::abs(y - yy) <= r) return i % 2 ? 1 : 2;
      }
      return 0;
    }));
  }
}

void Borders(const TOut& out) {
  const int w = 320, h = 240;
  {  // a film strip: dark bands with sprocket holes that move
    const std::vector<TRgb> pal = {kMagenta, Rgb(20, 20, 20), Rgb(230, 230, 230)};
    out.Gif("border/film.gif", w, h, pal, Animate(4, w, h, 20, 1, 0, [](int k, int x, int y) {
      if (y >= 22 && y < h - 22) return 0;
      const int bandY = y < 22 ? y : y - (h - 22);
      return 7 <= bandY && bandY < 15 && (x + k * 5) % 20 < 10 ? 2 : 1;
    }));
  }
  {  // a frame of flowers whose colours cycle
    const std::vector<TRgb> pal = {kMagenta, Rgb(240, 80, 120), Rgb(250, 200, 60), Rgb(90, 180, 90), Rgb(120, 140, 240)};
    out.Gif("border/flowers.gif", w, h, pal, Animate(4, w, h, 30, 1, 0, [](int k, int x, int y) {
      if (std::min({x, y, w - 1 - x, h - 1 - y}) >= 18) return 0;
      int cx = (x / 24) * 24 + 12, cy = (y / 24) * 24 + 12;
      if (x < 18 || x >= w - 18) cx = x < 18 ? 9 : w - 10;
      if (y < 18 || y >= h - 18) cy = y < 18 ? 9 : h - 10;
      const double d = std::hypot(x - cx, y - cy);
      if (d < 3) return 2;
      if (d >= 8) return 3;
      const int m = (x / 24 + y / 24 + k) % 4;
      return m != 1 ? 1 + m : 4;
    }));
  }
}

void Decorations(const TOut& out) {
  {  // a bow in the top-left corner that tilts
    const std::vector<TRgb> pal = {Rgb(0, 0, 0), Rgb(220, 30, 60), Rgb(255, 110, 130)};
    out.Gif("decoration/bow.gif", 96, 72, pal, Animate(4, 96, 72, 25, 2, 0, [](int k, int x, int y) {
      const double tilt = (k - 1.5) * 0.08;
      const int u = x - 48;
      const double v = (y - 36) - u * tilt;
      if (std::abs(u) < 7 && std::fabs(v) < 7) return 2;
      if (std::abs(u) < 44 && std::fabs(v) < 4 + std::abs(u) * 0.55) return 1;
      return 0;
    }));
  }
  {  // balloons bobbing
    const std::vector<TRgb> pal = {Rgb(0, 0, 0), Rgb(80, 160, 255), Rgb(255, 200, 40), Rgb(250, 250, 250)};
    struct TBalloon {
      int Cx, Cy, Colour;
    };
    const TBalloon balloons[] = {{35, 40, 1}, {80, 48, 2}};
    out.Gif("decoration/balloons.gif", 120, 120, pal, Animate(6, 120, 120, 15, 2, 0, [&](int k, int x, int y) {
      const int off = int(4 * std::sin(k * kPi / 3));
      for (int i = 0; i < 2; ++i) {
        const int cx = balloons[i].Cx, cy = balloons[i].Cy + (i == 0 ? off : -off);
        if (Square((x - cx) / 20.0) + Square((y - cy) / 26.0) <= 1) return balloons[i].Colour;
        if (x == cx && cy + 26 <= y && y <= cy + 60) return 3;  // the string
      }
      return 0;
    }));
  }
}

void Lights(const TOut& out) {
  const int w = 160, h = 120;  // stretched to the frame by the effect
  {  // a spot light sweeping across
    const int levels = 16;
    std::vector<TRgb> pal;
    for (int i = 0; i < levels; ++i)
      pal.push_back(Rgb(int(255 * i / double(levels - 1)), int(240 * i / double(levels - 1)), int(200 * i / double(levels - 1))));
    out.Gif("light/spot.gif", w, h, pal, Animate(8, w, h, 12, 2, -1, [](int k, int x, int y) {
      const int cx = 20 + k * 17, cy = 50 + int(15 * std::sin(k * kPi / 4));
      const double d = std::hypot(x - cx, y - cy);
      return std::max(0, std::min(levels - 1, int((levels - 1) * (1 - d / 55))));
    }));
  }
  {  // rays from the top-left corner that turn slowly
    const std::vector<TRgb> pal = {Rgb(0, 0, 0), Rgb(60, 55, 40), Rgb(140, 130, 90), Rgb(220, 210, 150)};
    out.Gif("light/rays.gif", w, h, pal, Animate(6, w, h, 15, 2, -1, [](int k, int x, int y) {
      const double a = std::atan2(y + 10, x + 10) * 12 + k * 0.5;
      const double s = (std::sin(a) + 1) / 2;
      const double fade = std::max(0.0, 1 - std::hypot(x, y) / 200);
      return std::min(3, int(4 * s * fade));
    }));
  }
}

void Masks(const TOut& out) {
  const int w = 160, h = 120;
  {  // an oval: white in the middle, soft black edges (a still picture)
    TRaster oval(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double d = Square((x - w / 2.0) / (w * 0.42)) + Square((y - h / 2.0) / (h * 0.42));
        const int v = d <= 0.8 ? 255 : (d >= 1.0 ? 0 : int(255 * (1.0 - d) / 0.2));
        oval.Set(x, y, Rgb(v, v, v));
      }
    out.Bmp("mask/oval.bmp", oval);
  }
  {  // a heart window that beats (animated): the larger heart stays longer
    std::vector<TGifFrame> frames = Animate(4, w, h, 15, 2, -1, [](int k, int x, int y) {
      return HeartShape(w / 2.0, h / 2.0 - 4, 38 + 4 * (k % 2), x, y) ? 1 : 0;
    });
    for (std::size_t k = 1; k < frames.size(); k += 2) frames[k].Delay = 30;
    out.Gif("mask/heart.gif", w, h, {Rgb(0, 0, 0), Rgb(255, 255, 255)}, frames);
  }
  {  // blinds: horizontal slats of darkness
    TRaster blinds(w, h);
    for (int y = 0; y < h; ++y) blinds.Fill(0, y, w, y + 1, (y / 10) % 2 == 0 ? Rgb(255, 255, 255) : Rgb(90, 90, 90));
    out.Bmp("mask/blinds.bmp", blinds);
  }
}

// Captions under some pictures: code page 936 text files.
void Captions(const TOut& out) {
  WriteFile(out.Folder + "/animation/stars.txt", TextBytes("\xD0\xC7\xD0\xC7"));  // 星星
  WriteFile(out.Folder + "/border/film.txt", TextBytes("\xBD\xBA\xC6\xAC"));  // 胶片
  WriteFile(out.Folder + "/mask/oval.txt", TextBytes("\xCD\xD6\xD4\xB2"));  // 椭圆
}

}  // namespace

void kivo::arttool::DrawEffectArt(const std::string& folder) {
  const TOut out{folder};
  for (const char* kind : {"animation", "border", "decoration", "light", "mask"})
    std::filesystem::create_directories(std::filesystem::path(folder) / kind);
  Animations(out);
  Borders(out);
  Decorations(out);
  Lights(out);
  Masks(out);
  Captions(out);
}
