#include "PatternFrame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace kivo::test {

namespace {

constexpr int kInfoBytes = 8;
constexpr int kCleanError = 8;  // largest channel error of a pattern colour

BYTE LevelValue(int level) { return static_cast<BYTE>((level * 255 + 3) / 7); }

BYTE Crc8(const BYTE* data, int n) {
  BYTE crc = 0;
  for (int i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = static_cast<BYTE>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return crc;
}

std::array<BYTE, kInfoBytes> InfoWord(int cols, int rows, int camera, uint32_t counter) {
  std::array<BYTE, kInfoBytes> w{kPatternMagic,
                                 static_cast<BYTE>(camera),
                                 static_cast<BYTE>(counter),
                                 static_cast<BYTE>(counter >> 8),
                                 static_cast<BYTE>(counter >> 16),
                                 static_cast<BYTE>(cols),
                                 static_cast<BYTE>(rows),
                                 0};
  w[7] = Crc8(w.data(), 7);
  return w;
}

int InfoIndex(int cx, int cy) { return (cx / 2 + 3 * cy) % kInfoBytes; }

uint16_t SymbolFromWord(int cx, int cy, const std::array<BYTE, kInfoBytes>& word) {
  if ((cx + cy) % 2 == 0) return static_cast<uint16_t>(cy % 2 == 0 ? 0x100 | (cx & 0x7F) : 0x180 | (cy & 0x7F));
  return word[InfoIndex(cx, cy)];
}

// Runs through every cell of a row of cells: f(cx, x0, x1) for the pixels [x0, x1) of cell cx.
template <class F>
void ForCells(int width, F f) {
  for (int cx = 0; cx * kPatternCell < width; ++cx)
    f(cx, cx * kPatternCell, std::min(width, (cx + 1) * kPatternCell));
}

struct TObservation {
  double Source;    // the cell's centre in the source picture
  double Received;  // the run's centre in the received picture
  double Width;     // the run's length
};

// Fits received = a * source + b, dropping runs that do not fit (cut cells, stray colours).
bool FitAxis(std::vector<TObservation> obs, double& a, double& b) {
  for (int pass = 0; pass < 4; ++pass) {
    if (obs.size() < 2) return false;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto& o : obs) {
      sx += o.Source;
      sy += o.Received;
      sxx += o.Source * o.Source;
      sxy += o.Source * o.Received;
    }
    const double n = double(obs.size());
    const double d = n * sxx - sx * sx;
    if (std::fabs(d) < 1e-9) return false;
    a = (n * sxy - sx * sy) / d;
    b = (sy - a * sx) / n;
    const double cell = std::fabs(a) * kPatternCell;
    const double tolerance = std::max(0.75, cell / 4);
    std::vector<TObservation> kept;
    for (const auto& o : obs)
      if (std::fabs(a * o.Source + b - o.Received) <= tolerance && std::fabs(o.Width - cell) <= std::max(1.5, cell / 4))
        kept.push_back(o);
    if (kept.size() == obs.size()) return std::fabs(a) > 1e-6;
    obs.swap(kept);
  }
  return obs.size() >= 2 && std::fabs(a) > 1e-6;
}

class TSymbolMap {
 public:
  TSymbolMap(const BYTE* bits, int width, int height, bool bottomUp, int stride)
      : Width(width), Height(height), Symbols(size_t(width) * height), Clean(size_t(width) * height) {
    for (int y = 0; y < height; ++y) {
      const BYTE* row = bits + size_t(bottomUp ? height - 1 - y : y) * stride;
      for (int x = 0; x < width; ++x) {
        int error = 0;
        Symbols[size_t(y) * width + x] = NearestSymbol(row[3 * x + 2], row[3 * x + 1], row[3 * x], error);
        Clean[size_t(y) * width + x] = error <= kCleanError;
      }
    }
  }
  uint16_t Symbol(int x, int y) const { return Symbols[size_t(y) * Width + x]; }
  bool IsClean(int x, int y) const { return Clean[size_t(y) * Width + x] != 0; }
  const int Width, Height;

 private:
  std::vector<uint16_t> Symbols;
  std::vector<BYTE> Clean;
};

// Runs of one clean position symbol along a line of pixels: at(i) gives the pixel i of n.
template <class At>
void CollectRuns(int n, uint16_t kind, At at, std::vector<TObservation>& obs, int& lo, int& hi) {
  int i = 0;
  while (i < n) {
    auto [symbol, clean] = at(i);
    int j = i + 1;
    while (j < n) {
      auto [s2, c2] = at(j);
      if (s2 != symbol || c2 != clean) break;
      ++j;
    }
    if (clean && (symbol & 0x180) == kind) {
      const int cell = symbol & 0x7F;
      lo = std::min(lo, cell);
      hi = std::max(hi, cell);
      if (i > 0 && j < n)  // cut by the picture's edge otherwise
        obs.push_back({cell * kPatternCell + kPatternCell / 2.0, (i + j) / 2.0, double(j - i)});
    }
    i = j;
  }
}

}  // namespace

uint16_t PatternSymbol(int cx, int cy, int cols, int rows, int camera, uint32_t counter) {
  return SymbolFromWord(cx, cy, InfoWord(cols, rows, camera, counter));
}

void PatternColour(uint16_t symbol, BYTE& r, BYTE& g, BYTE& b) {
  r = LevelValue((symbol >> 6) & 7);
  g = LevelValue((symbol >> 3) & 7);
  b = LevelValue(symbol & 7);
}

uint16_t NearestSymbol(BYTE r, BYTE g, BYTE b, int& error) {
  error = 0;
  uint16_t symbol = 0;
  for (BYTE v : {r, g, b}) {
    const int level = (v * 7 + 127) / 255;
    error = std::max(error, std::abs(int(v) - int(LevelValue(level))));
    symbol = static_cast<uint16_t>((symbol << 3) | level);
  }
  return symbol;
}

void PaintPatternRgb24(BYTE* bits, int width, int height, int camera, uint32_t counter, bool bottomUp) {
  const int cols = (width + kPatternCell - 1) / kPatternCell, rows = (height + kPatternCell - 1) / kPatternCell;
  const auto word = InfoWord(cols, rows, camera, counter);
  const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  for (int y = 0; y < height; ++y) {
    BYTE* row = bits + size_t(bottomUp ? height - 1 - y : y) * stride;
    const int cy = y / kPatternCell;
    ForCells(width, [&](int cx, int x0, int x1) {
      BYTE r, g, b;
      PatternColour(SymbolFromWord(cx, cy, word), r, g, b);
      for (int x = x0; x < x1; ++x) {
        row[3 * x] = b;
        row[3 * x + 1] = g;
        row[3 * x + 2] = r;
      }
    });
    for (size_t k = size_t(width) * 3; k < stride; ++k) row[k] = 0;
  }
}

void PaintPatternYuy2(BYTE* bits, int width, int height, int camera, uint32_t counter) {
  const int cols = (width + kPatternCell - 1) / kPatternCell, rows = (height + kPatternCell - 1) / kPatternCell;
  const auto word = InfoWord(cols, rows, camera, counter);
  for (int y = 0; y < height; ++y) {
    BYTE* row = bits + size_t(y) * width * 2;
    const int cy = y / kPatternCell;
    ForCells(width, [&](int cx, int x0, int x1) {
      BYTE r, g, b;
      PatternColour(SymbolFromWord(cx, cy, word), r, g, b);
      int yy, u, v;
      RgbToYuv(r, g, b, yy, u, v);
      for (int x = x0; x < x1; x += 2) {
        BYTE* p = row + size_t(x) * 2;
        p[0] = BYTE(yy);
        p[1] = BYTE(u);
        p[2] = BYTE(yy);
        p[3] = BYTE(v);
      }
    });
  }
}

void RgbToYuv(int r, int g, int b, int& y, int& u, int& v) {
  y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
  u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
  v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

void YuvToRgb(int y, int u, int v, BYTE& r, BYTE& g, BYTE& b) {
  const int c = y - 16, d = u - 128, e = v - 128;
  auto clip = [](int x) { return static_cast<BYTE>(x < 0 ? 0 : x > 255 ? 255 : x); };
  r = clip((298 * c + 409 * e + 128) >> 8);
  g = clip((298 * c - 100 * d - 208 * e + 128) >> 8);
  b = clip((298 * c + 516 * d + 128) >> 8);
}

bool TPatternReading::SourcePixel(int x, int y, int& sx, int& sy) const {
  if (!Found) return false;
  const double fx = (x + 0.5 - OffsetX) / ScaleX, fy = (y + 0.5 - OffsetY) / ScaleY;
  if (fx < 0 || fy < 0 || fx >= SourceWidth || fy >= SourceHeight) return false;
  sx = int(fx);
  sy = int(fy);
  return true;
}

std::string TPatternReading::Describe() const {
  char text[256];
  if (!Found) {
    std::snprintf(text, sizeof(text), "no pattern (%s)", Problem.c_str());
    return text;
  }
  std::snprintf(text, sizeof(text),
                "camera %d frame %u, source %dx%d, scale %.3f,%.3f offset %.1f,%.1f, %d info cells, %d disagreeing, "
                "%d pixels off the palette",
                Camera, unsigned(Counter), SourceWidth, SourceHeight, ScaleX, ScaleY, OffsetX, OffsetY, InfoCells,
                Disagreeing, OffPalette);
  return text;
}

TPatternReading ReadPattern(const BYTE* bits, int width, int height, bool bottomUp, int stride) {
  TPatternReading r;
  if (!bits || width <= 0 || height <= 0) {
    r.Problem = "no picture";
    return r;
  }
  if (stride <= 0) stride = int((size_t(width) * 3 + 3) & ~size_t(3));
  const TSymbolMap map(bits, width, height, bottomUp, stride);

  // The column cells along rows, the row cells along columns.
  std::vector<TObservation> xs, ys;
  int loX = 1 << 30, hiX = -1, loY = 1 << 30, hiY = -1;
  for (int y = 0; y < height; y += height > 64 ? 2 : 1)
    CollectRuns(width, 0x100, [&](int i) { return std::pair{map.Symbol(i, y), map.IsClean(i, y)}; }, xs, loX, hiX);
  for (int x = 0; x < width; x += width > 64 ? 2 : 1)
    CollectRuns(height, 0x180, [&](int i) { return std::pair{map.Symbol(x, i), map.IsClean(x, i)}; }, ys, loY, hiY);
  if (!FitAxis(xs, r.ScaleX, r.OffsetX)) {
    r.Problem = "no column cells to fit";
    return r;
  }
  if (!FitAxis(ys, r.ScaleY, r.OffsetY)) {
    r.Problem = "no row cells to fit";
    return r;
  }

  // Where source cell (cx, cy) lies in the received picture; false when not wholly inside it.
  auto cellCentre = [&](int cx, int cy, int& px, int& py) {
    double x0 = r.ScaleX * cx * kPatternCell + r.OffsetX, x1 = x0 + r.ScaleX * kPatternCell;
    double y0 = r.ScaleY * cy * kPatternCell + r.OffsetY, y1 = y0 + r.ScaleY * kPatternCell;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    if (x0 < -0.5 || y0 < -0.5 || x1 > width + 0.5 || y1 > height + 0.5 || x1 - x0 < 1 || y1 - y0 < 1) return false;
    px = std::clamp(int((x0 + x1) / 2), 0, width - 1);
    py = std::clamp(int((y0 + y1) / 2), 0, height - 1);
    return true;
  };
  auto infoValue = [&](int px, int py) { return map.IsClean(px, py) && !(map.Symbol(px, py) & 0x100) ? int(map.Symbol(px, py)) : -1; };

  // The word by majority, from the cells between position cells seen (inside the source picture for sure).
  std::array<std::map<int, int>, kInfoBytes> votes;
  for (int cy = std::max(loY - 1, 0); cy <= hiY + 1 && hiY >= 0; ++cy)
    for (int cx = std::max(loX - 1, 0); cx <= hiX + 1 && hiX >= 0; ++cx) {
      int px, py;
      if ((cx + cy) % 2 == 1 && cx >= loX && cx <= hiX && cy >= loY && cy <= hiY && cellCentre(cx, cy, px, py)) {
        const int v = infoValue(px, py);
        if (v >= 0) ++votes[InfoIndex(cx, cy)][v];
      }
    }
  // Stray colours inside a part of the picture (x0..x1, y0..y1 in received pixels).
  auto countStray = [&](double x0, double x1, double y0, double y1) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    for (int y = std::max(0, int(std::ceil(y0))); y < std::min(height, int(y1)); ++y)
      for (int x = std::max(0, int(std::ceil(x0))); x < std::min(width, int(x1)); ++x)
        if (!map.IsClean(x, y)) ++r.OffPalette;
  };
  auto failWord = [&](std::string why) {
    // Where the position cells were seen, the picture is there, but its info cannot be read.
    countStray(r.ScaleX * loX * kPatternCell + r.OffsetX, r.ScaleX * (hiX + 1) * kPatternCell + r.OffsetX,
               r.ScaleY * loY * kPatternCell + r.OffsetY, r.ScaleY * (hiY + 1) * kPatternCell + r.OffsetY);
    r.Problem = std::move(why);
    return r;
  };
  std::array<BYTE, kInfoBytes> word{};
  for (int j = 0; j < kInfoBytes; ++j) {
    if (votes[j].empty()) return failWord("info byte " + std::to_string(j) + " not seen");
    word[j] = BYTE(std::max_element(votes[j].begin(), votes[j].end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
  }
  if (word[0] != kPatternMagic || word[7] != Crc8(word.data(), 7)) return failWord("info word damaged");
  r.Camera = word[1];
  r.Counter = uint32_t(word[2]) | uint32_t(word[3]) << 8 | uint32_t(word[4]) << 16;
  const int cols = word[5], rows = word[6];
  r.SourceWidth = cols * kPatternCell;
  r.SourceHeight = rows * kPatternCell;

  // Every info cell of the source picture against the word.
  for (int cy = 0; cy < rows; ++cy)
    for (int cx = (cy + 1) % 2; cx < cols; cx += 2) {
      int px, py;
      if (!cellCentre(cx, cy, px, py)) continue;
      ++r.InfoCells;
      if (infoValue(px, py) != word[InfoIndex(cx, cy)]) ++r.Disagreeing;
    }
  countStray(r.OffsetX, r.ScaleX * r.SourceWidth + r.OffsetX, r.OffsetY, r.ScaleY * r.SourceHeight + r.OffsetY);
  r.Found = true;
  return r;
}

}  // namespace kivo::test
