// KivoMsg's busy spinner: twelve dots on a ring, from a bright orange head to a dim tail. The
// background (index 0) is see-through so that the overlay's panel colour shows around the dots.
#include <cmath>
#include <string>
#include <vector>

#include "ArtTool.h"
#include "Raster.h"

void kivo::arttool::DrawSpinner(const std::string& folder) {
  using namespace kivo::raster;
  const double pi = 3.14159265358979323846;
  const int size = 115, dots = 12, ring = 40, r = 9;
  const double cx = 57, cy = 57;
  std::vector<TRgb> palette = {Rgb(0, 0, 0)};
  for (int i = 0; i < dots; ++i) {
    const double f = 1.0 - 0.6 * i / (dots - 1);
    palette.push_back(Rgb(int(255 * f), int(150 * f), int(30 * f)));
  }
  TGifFrame frame;
  frame.Pixels = IndexFrame(size, size, [&](int x, int y) {
    for (int i = 0; i < dots; ++i) {
      const double a = -pi / 2 - 2 * pi * i / dots;
      const double dx = cx + ring * std::cos(a), dy = cy + ring * std::sin(a);
      if (std::pow(x - dx, 2.0) + std::pow(y - dy, 2.0) <= r * r) return 1 + i;
    }
    return 0;
  });
  frame.Delay = 0;
  frame.Disposal = 1;
  frame.Transparent = 0;
  WriteFile(folder + "/spinner.gif", GifFile(size, size, palette, {frame}, false));
}
