#include "Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace kivo::raster {

namespace {

void Le16(Bytes& o, unsigned v) {
  o.push_back(static_cast<std::uint8_t>(v));
  o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(Bytes& o, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// File header, BITMAPINFOHEADER and palette of a bottom-up BI_RGB bitmap.
Bytes BmpHeaders(int w, int h, int bits, const std::vector<TRgb>& palette, std::size_t imageSize) {
  Bytes o;
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

namespace shape {

TShape Circle(double cx, double cy, double r) {
  return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}
TShape Ring(double cx, double cy, double r, double thickness) {
  return [=](double x, double y) {
    const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
    return d <= r && d >= r - thickness;
  };
}
TShape RoundRect(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
}
TShape Rect(double x0, double y0, double x1, double y1) {
  return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}
TShape Polygon(std::vector<std::pair<double, double>> p) {
  return [p = std::move(p)](double x, double y) {
    int sign = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
      const auto a = p[i], b = p[(i + 1) % p.size()];
      const double c = (b.first - a.first) * (y - a.second) - (b.second - a.second) * (x - a.first);
      const int s = c > 0 ? 1 : (c < 0 ? -1 : 0);
      if (s == 0) continue;
      if (sign == 0) sign = s;
      else if (s != sign) return false;
    }
    return true;
  };
}
TShape ThickLine(double x0, double y0, double x1, double y1, double thickness) {
  return [=](double x, double y) {
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    const double u = std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0, 1.0);
    const double px = x0 + u * dx - x, py = y0 + u * dy - y;
    return px * px + py * py <= thickness * thickness / 4;
  };
}

}  // namespace shape

TRgb Mix(TRgb a, TRgb b, int t) {
  auto m = [t](int x, int y) { return x + ((y - x) * t) / 255; };
  return Rgb(m(a.R, b.R), m(a.G, b.G), m(a.B, b.B));
}

TRaster::TRaster(int width, int height, TRgb fill, int alpha)
    : width_(width),
      height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill),
      alpha_(pixels_.size(), static_cast<std::uint8_t>(alpha)) {}

void TRaster::Set(int x, int y, TRgb c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[Index(x, y)] = c;
  alpha_[Index(x, y)] = 255;
}
void TRaster::Fill(int x0, int y0, int x1, int y1, TRgb c) {
  for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) Set(x, y, c);
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
void TRaster::Disc(double cx, double cy, double radius, TRgb c) { FillSharp(shape::Circle(cx, cy, radius), c); }
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
    for (int i = 0; i < other.width_; ++i) {
      if (x + i < 0 || y + j < 0 || x + i >= width_ || y + j >= height_) continue;
      pixels_[Index(x + i, y + j)] = other.At(i, j);
      alpha_[Index(x + i, y + j)] = other.AlphaAt(i, j);
    }
}

void TRaster::Blend(int x, int y, TRgb c, int alpha, double cover) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || cover <= 0) return;
  cover = std::min(1.0, cover) * alpha / 255.0;
  TRgb& d = pixels_[Index(x, y)];
  auto mix = [cover](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(std::lround(a + (b - a) * cover)); };
  d = TRgb{mix(d.R, c.R), mix(d.G, c.G), mix(d.B, c.B)};
  std::uint8_t& a = alpha_[Index(x, y)];
  a = static_cast<std::uint8_t>(std::max<long>(a, std::lround(255 * cover)));
}
void TRaster::FillSharp(const TShape& inside, TRgb c) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (inside(x + 0.5, y + 0.5)) Set(x, y, c);
}
void TRaster::FillSmooth(const TShape& inside, TRgb c, int alpha) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      int n = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) n += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
      Blend(x, y, c, alpha, n / 16.0);
    }
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

Bytes TRaster::Bmp24() const {
  const std::size_t stride = Stride(width_, 24);
  Bytes o = BmpHeaders(width_, height_, 24, {}, stride * static_cast<std::size_t>(height_));
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

Bytes TRaster::Bmp4() const {
  const auto& palette = Vga16();
  const std::size_t stride = Stride(width_, 4);
  Bytes o = BmpHeaders(width_, height_, 4, palette, stride * static_cast<std::size_t>(height_));
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

Bytes TRaster::Bmp1() const {
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

namespace {

// The icon or cursor file: directory entries (`hot` gives the planes and bit count of an icon, the
// hot spot of a cursor), then each image's 32-bit BGRA rows and its mask rows, bottom-up.
Bytes IconOrCursor(const std::vector<const TRaster*>& images, bool cursor, int hotX, int hotY) {
  std::vector<Bytes> blobs;
  for (const TRaster* img : images) {
    Bytes b;
    const int w = img->Width(), h = img->Height();
    const std::size_t maskStride = Stride(w, 1);
    Le32(b, 40);
    Le32(b, static_cast<std::uint32_t>(w));
    Le32(b, static_cast<std::uint32_t>(h * 2));
    Le16(b, 1);
    Le16(b, 32);
    Le32(b, 0);
    Le32(b, static_cast<std::uint32_t>(static_cast<std::size_t>(w) * h * 4 + maskStride * h));
    for (int i = 0; i < 4; ++i) Le32(b, 0);
    for (int y = h - 1; y >= 0; --y)
      for (int x = 0; x < w; ++x) {
        const TRgb c = img->At(x, y);
        b.push_back(c.B);
        b.push_back(c.G);
        b.push_back(c.R);
        b.push_back(img->AlphaAt(x, y));
      }
    for (int y = h - 1; y >= 0; --y) {
      Bytes row(maskStride, 0);
      for (int x = 0; x < w; ++x)
        if (img->AlphaAt(x, y) == 0) row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      b.insert(b.end(), row.begin(), row.end());
    }
    blobs.push_back(std::move(b));
  }
  Bytes v;
  Le16(v, 0);
  Le16(v, cursor ? 2 : 1);
  Le16(v, static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    v.push_back(static_cast<std::uint8_t>(images[i]->Width()));
    v.push_back(static_cast<std::uint8_t>(images[i]->Height()));
    v.push_back(0);
    v.push_back(0);
    Le16(v, static_cast<unsigned>(cursor ? hotX : 1));
    Le16(v, static_cast<unsigned>(cursor ? hotY : 32));
    Le32(v, static_cast<std::uint32_t>(blobs[i].size()));
    Le32(v, offset);
    offset += static_cast<std::uint32_t>(blobs[i].size());
  }
  for (const Bytes& b : blobs) v.insert(v.end(), b.begin(), b.end());
  return v;
}

// Variable-length LZW codes as GIF packs them: the clear code first, the code size growing as the
// table grows, a clear code (and a fresh table) when it is full, the end code last.
Bytes LzwEncode(const std::vector<std::uint8_t>& indices, int minCodeSize) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  Bytes out;
  std::uint32_t bitBuf = 0;
  int bitCount = 0;
  auto emit = [&](int code, int size) {
    bitBuf |= static_cast<std::uint32_t>(code) << bitCount;
    bitCount += size;
    while (bitCount >= 8) {
      out.push_back(static_cast<std::uint8_t>(bitBuf & 0xFF));
      bitBuf >>= 8;
      bitCount -= 8;
    }
  };
  // a sequence's code by (the code of the sequence less its last index, that index)
  std::vector<std::int16_t> table;
  auto reset = [&] { table.assign(4096u * 256u, -1); };
  reset();
  int nextCode = end + 1, size = minCodeSize + 1, prefix = -1;
  emit(clear, size);
  for (const std::uint8_t k : indices) {
    if (prefix < 0) {
      prefix = k;
      continue;
    }
    const std::size_t key = static_cast<std::size_t>(prefix) * 256u + k;
    if (table[key] >= 0) {
      prefix = table[key];
      continue;
    }
    emit(prefix, size);
    if (nextCode < 4096) {
      table[key] = static_cast<std::int16_t>(nextCode++);
      if (nextCode > (1 << size) && size < 12) ++size;
    } else {
      emit(clear, size);
      reset();
      nextCode = end + 1;
      size = minCodeSize + 1;
    }
    prefix = k;
  }
  if (prefix >= 0) emit(prefix, size);
  emit(end, size);
  if (bitCount) out.push_back(static_cast<std::uint8_t>(bitBuf & 0xFF));
  return out;
}

}  // namespace

Bytes IconFile(const std::vector<const TRaster*>& images) { return IconOrCursor(images, false, 0, 0); }
Bytes CursorFile(const TRaster& image, int hotX, int hotY) { return IconOrCursor({&image}, true, hotX, hotY); }

Bytes GifFile(int width, int height, const std::vector<TRgb>& palette, const std::vector<TGifFrame>& frames, bool loop) {
  int bits = 1;
  while ((std::size_t{1} << bits) < palette.size()) ++bits;
  if (bits > 8) throw std::invalid_argument("a GIF palette has at most 256 colours");
  Bytes o = {'G', 'I', 'F', '8', '9', 'a'};
  Le16(o, static_cast<unsigned>(width));
  Le16(o, static_cast<unsigned>(height));
  o.push_back(static_cast<std::uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1)));
  o.push_back(0);
  o.push_back(0);
  for (int i = 0; i < (1 << bits); ++i) {
    const TRgb c = static_cast<std::size_t>(i) < palette.size() ? palette[static_cast<std::size_t>(i)] : TRgb{};
    o.push_back(c.R);
    o.push_back(c.G);
    o.push_back(c.B);
  }
  if (loop) {
    static const char kLoop[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";
    o.insert(o.end(), kLoop, kLoop + sizeof(kLoop) - 1);
  }
  const int minCode = std::max(2, bits);
  const std::size_t area = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  for (const TGifFrame& f : frames) {
    if (f.Pixels.size() != area) throw std::invalid_argument("a GIF frame does not cover the picture");
    const bool see = f.Transparent >= 0;
    o.insert(o.end(), {0x21, 0xF9, 4, static_cast<std::uint8_t>((f.Disposal << 2) | (see ? 1 : 0))});
    Le16(o, static_cast<unsigned>(f.Delay));
    o.push_back(static_cast<std::uint8_t>(see ? f.Transparent : 0));
    o.push_back(0);
    o.push_back(0x2C);
    Le16(o, 0);
    Le16(o, 0);
    Le16(o, static_cast<unsigned>(width));
    Le16(o, static_cast<unsigned>(height));
    o.push_back(0);
    o.push_back(static_cast<std::uint8_t>(minCode));
    const Bytes lzw = LzwEncode(f.Pixels, minCode);
    for (std::size_t i = 0; i < lzw.size(); i += 255) {
      const std::size_t n = std::min<std::size_t>(255, lzw.size() - i);
      o.push_back(static_cast<std::uint8_t>(n));
      o.insert(o.end(), lzw.begin() + static_cast<std::ptrdiff_t>(i), lzw.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    o.push_back(0);
  }
  o.push_back(0x3B);
  return o;
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  f.close();
  if (!f) throw std::runtime_error("cannot write " + path);
}
Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace kivo::raster
