// Draws KivoApp's own artwork: the idle picture, the program icon and the button glyphs; and writes
// the page of the main window's web strip.
// A host program run by the build: KivoArt <output folder>.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgba {
  uint8_t r, g, b, a;
};

struct Image {
  int w, h;
  std::vector<Rgba> px;
  Image(int w_, int h_, Rgba fill) : w(w_), h(h_), px(size_t(w_) * h_, fill) {}
  Rgba& at(int x, int y) { return px[size_t(y) * w + x]; }
  // Blends a colour with coverage 0..1 into a pixel.
  void blend(int x, int y, Rgba c, double cover) {
    if (x < 0 || y < 0 || x >= w || y >= h || cover <= 0) return;
    cover = std::min(1.0, cover) * c.a / 255.0;
    Rgba& d = at(x, y);
    auto mix = [&](uint8_t a, uint8_t b) { return uint8_t(std::lround(a + (b - a) * cover)); };
    d = Rgba{mix(d.r, c.r), mix(d.g, c.g), mix(d.b, c.b), uint8_t(std::max<int>(d.a, std::lround(255 * cover)))};
  }
  void set(int x, int y, Rgba c) {
    if (x >= 0 && y >= 0 && x < w && y < h) at(x, y) = c;
  }
};

// Coverage of a shape given by a signed distance function (negative inside), 4x4 samples a pixel.
template <class F>
void fillShape(Image& img, Rgba c, F inside, bool smooth = true) {
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      if (!smooth) {
        if (inside(x + 0.5, y + 0.5)) img.set(x, y, c);
        continue;
      }
      int n = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) n += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
      img.blend(x, y, c, n / 16.0);
    }
}

auto circle(double cx, double cy, double r) {
  return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}
auto ring(double cx, double cy, double r, double t) {
  return [=](double x, double y) {
    double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
    return d <= r && d >= r - t;
  };
}
auto roundRect(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
}
auto rect(double x0, double y0, double x1, double y1) {
  return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}
// Convex polygon, points in order.
auto polygon(std::vector<std::pair<double, double>> p) {
  return [p](double x, double y) {
    int sign = 0;
    for (size_t i = 0; i < p.size(); ++i) {
      auto a = p[i], b = p[(i + 1) % p.size()];
      double c = (b.first - a.first) * (y - a.second) - (b.second - a.second) * (x - a.first);
      int s = c > 0 ? 1 : (c < 0 ? -1 : 0);
      if (s == 0) continue;
      if (sign == 0) sign = s;
      else if (s != sign) return false;
    }
    return true;
  };
}
auto thickLine(double x0, double y0, double x1, double y1, double t) {
  return [=](double x, double y) {
    double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    double u = std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0, 1.0);
    double px = x0 + u * dx - x, py = y0 + u * dy - y;
    return px * px + py * py <= t * t / 4;
  };
}

// A 5 x 7 font for the few letters the artwork writes.
const char* Glyph5x7(char ch) {
  switch (ch) {
    case 'K': return "10001100101010011000101001001010001";
    case 'I': return "11111001000010000100001000010011111";
    case 'V': return "10001100011000110001100010101000100";
    case 'O': return "01110100011000110001100011000101110";
    case 'E': return "11111100001000011110100001000011111";
    case 'B': return "11110100011000111110100011000111110";
    case 'C': return "01110100011000010000100001000101110";
    case 'A': return "01110100011000111111100011000110001";
    case 'M': return "10001110111010110101100011000110001";
    case 'R': return "11110100011000111110101001001010001";
    case 'Y': return "10001100010101000100001000010000100";
    case 'L': return "10000100001000010000100001000011111";
    case 'D': return "11110100011000110001100011000111110";
    case 'T': return "11111001000010000100001000010000100";
    case 'U': return "10001100011000110001100011000101110";
    case 'W': return "10001100011000110101101011101110001";
    case 'N': return "10001110011010110011100011000110001";
    case 'G': return "01110100011000010111100011000101111";
    default: return "00000000000000000000000000000000000";
  }
}
void text(Image& img, int x, int y, int scale, const std::string& s, Rgba c) {
  for (char ch : s) {
    const char* g = Glyph5x7(ch);
    for (int gy = 0; gy < 7; ++gy)
      for (int gx = 0; gx < 5; ++gx)
        if (g[gy * 5 + gx] == '1')
          fillShape(img, c, roundRect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale - 0.5,
                                      y + (gy + 1) * scale - 0.5, scale * 0.3));
    x += 6 * scale;
  }
}
int textWidth(const std::string& s, int scale) { return int(s.size()) * 6 * scale - scale; }

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

// A 24-bit bottom-up BMP file.
std::vector<uint8_t> bmp24(Image& img) {
  const int stride = (img.w * 3 + 3) & ~3;
  std::vector<uint8_t> v;
  v.push_back('B');
  v.push_back('M');
  put32(v, 54 + stride * img.h);
  put32(v, 0);
  put32(v, 54);
  put32(v, 40);
  put32(v, img.w);
  put32(v, img.h);
  put16(v, 1);
  put16(v, 24);
  put32(v, 0);
  put32(v, stride * img.h);
  put32(v, 2835);
  put32(v, 2835);
  put32(v, 0);
  put32(v, 0);
  for (int y = img.h - 1; y >= 0; --y) {
    int n = 0;
    for (int x = 0; x < img.w; ++x) {
      Rgba p = img.at(x, y);
      v.push_back(p.b);
      v.push_back(p.g);
      v.push_back(p.r);
      n += 3;
    }
    for (; n < stride; ++n) v.push_back(0);
  }
  return v;
}

// An icon file (or, with a hot spot, a cursor file) with 32-bit images and their masks.
std::vector<uint8_t> ico(std::vector<Image*> images, bool cursor = false, int hotX = 0, int hotY = 0) {
  std::vector<std::vector<uint8_t>> blobs;
  for (Image* img : images) {
    std::vector<uint8_t> b;
    const int maskStride = ((img->w + 31) / 32) * 4;
    put32(b, 40);
    put32(b, img->w);
    put32(b, img->h * 2);
    put16(b, 1);
    put16(b, 32);
    put32(b, 0);
    put32(b, img->w * img->h * 4 + maskStride * img->h);
    for (int i = 0; i < 4; ++i) put32(b, 0);
    for (int y = img->h - 1; y >= 0; --y)
      for (int x = 0; x < img->w; ++x) {
        Rgba p = img->at(x, y);
        b.push_back(p.b);
        b.push_back(p.g);
        b.push_back(p.r);
        b.push_back(p.a);
      }
    for (int y = img->h - 1; y >= 0; --y) {
      std::vector<uint8_t> row(maskStride, 0);
      for (int x = 0; x < img->w; ++x)
        if (img->at(x, y).a == 0) row[x / 8] |= uint8_t(0x80 >> (x % 8));
      b.insert(b.end(), row.begin(), row.end());
    }
    blobs.push_back(std::move(b));
  }
  std::vector<uint8_t> v;
  put16(v, 0);
  put16(v, cursor ? 2 : 1);
  put16(v, uint16_t(images.size()));
  uint32_t offset = 6 + 16 * uint32_t(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    v.push_back(uint8_t(images[i]->w));
    v.push_back(uint8_t(images[i]->h));
    v.push_back(0);
    v.push_back(0);
    put16(v, uint16_t(cursor ? hotX : 1));
    put16(v, uint16_t(cursor ? hotY : 32));
    put32(v, uint32_t(blobs[i].size()));
    put32(v, offset);
    offset += uint32_t(blobs[i].size());
  }
  for (auto& b : blobs) v.insert(v.end(), b.begin(), b.end());
  return v;
}

// The camera mark of the program: a rounded body with a lens, scaled into a box.
void cameraMark(Image& img, double x, double y, double s, Rgba body, Rgba lens, Rgba glint) {
  fillShape(img, body, roundRect(x + 0.30 * s, y + 0.12 * s, x + 0.62 * s, y + 0.28 * s, 0.05 * s));
  fillShape(img, body, roundRect(x + 0.05 * s, y + 0.22 * s, x + 0.95 * s, y + 0.85 * s, 0.12 * s));
  fillShape(img, lens, circle(x + 0.5 * s, y + 0.54 * s, 0.25 * s));
  fillShape(img, body, circle(x + 0.5 * s, y + 0.54 * s, 0.16 * s));
  fillShape(img, glint, circle(x + 0.44 * s, y + 0.48 * s, 0.05 * s));
}

const Rgba kWhite{255, 255, 255, 255};
const Rgba kKey{255, 0, 255, 255};  // magenta: see-through in glyphs drawn by key colour
const Rgba kToolBar{0x00, 0x80, 0xC0, 255};  // 12615680 as a colour value
const Rgba kStripGlyph{220, 220, 220, 255};

std::string gOut;
bool save(const std::string& name, const std::vector<uint8_t>& bytes) {
  if (writeFile(gOut + "/" + name, bytes)) return true;
  std::fprintf(stderr, "KivoArt: cannot write %s/%s\n", gOut.c_str(), name.c_str());
  return false;
}

// The web strip's page (24 pixels high, as wide as the window's left column): the tool bar's
// colour, one line of text, nothing to scroll.
const char kStripPage[] =
    u8"<!DOCTYPE html>\n"
    u8"<html>\n"
    u8"<head>\n"
    u8"<meta charset=\"utf-8\">\n"
    u8"<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
    u8"<title>YelkKivo</title>\n"
    u8"<style>\n"
    u8"html, body { margin: 0; padding: 0; height: 100%; overflow: hidden; }\n"
    u8"body { background: #0080C0; color: #FFFFFF; font: 12px/24px \"Microsoft YaHei\", SimSun, sans-serif;\n"
    u8"       text-align: center; white-space: nowrap; cursor: default; }\n"
    u8"</style>\n"
    u8"</head>\n"
    u8"<body scroll=\"no\">YelkKivo \u00B7 \u865A\u62DF\u6444\u50CF\u5934</body>\n"
    u8"</html>\n";

Image idlePicture() {
  Image img(320, 240, kWhite);
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      double t = (x + y * 1.3) / (320 + 240 * 1.3);
      img.at(x, y) = Rgba{uint8_t(12 + 20 * t), uint8_t(40 + 90 * t), uint8_t(110 + 70 * t), 255};
    }
  fillShape(img, Rgba{255, 255, 255, 28}, circle(250, 40, 110));
  fillShape(img, Rgba{255, 255, 255, 20}, circle(40, 230, 80));
  cameraMark(img, 115, 28, 90, kWhite, Rgba{0, 150, 200, 255}, kWhite);
  text(img, (320 - textWidth("KIVO", 8)) / 2, 138, 8, "KIVO", kWhite);
  text(img, (320 - textWidth("VIRTUAL CAMERA", 2)) / 2, 208, 2, "VIRTUAL CAMERA", Rgba{200, 230, 255, 255});
  return img;
}

Image toolGlyph(const std::string& what, bool down) {
  Image g(30, 30, down ? Rgba{0x00, 0x60, 0x98, 255} : kToolBar);
  const Rgba fg = kWhite;
  if (what == "DISCAPTURE") {
    fillShape(g, fg, roundRect(5, 7, 25, 21, 2));
    fillShape(g, down ? Rgba{0x00, 0x60, 0x98, 255} : kToolBar, rect(7, 9, 23, 19));
    fillShape(g, fg, circle(15, 14, 3));
    fillShape(g, fg, rect(12, 22, 18, 24));
    if (down) fillShape(g, Rgba{240, 70, 60, 255}, thickLine(6, 6, 24, 24, 3));
  } else if (what == "VIDEOREC") {
    fillShape(g, fg, roundRect(4, 9, 20, 22, 2));
    fillShape(g, fg, polygon({{20, 15.5}, {27, 10}, {27, 21}}));
    fillShape(g, Rgba{240, 70, 60, 255}, circle(9, 13, 2));
  } else if (what == "AUDIOREC") {
    fillShape(g, fg, roundRect(11, 4, 19, 18, 4));
    fillShape(g, fg, ring(15, 14, 7.5, 1.8));
    fillShape(g, down ? Rgba{0x00, 0x60, 0x98, 255} : kToolBar, rect(6, 4, 24, 14));
    fillShape(g, fg, roundRect(11, 4, 19, 18, 4));
    fillShape(g, fg, rect(14, 21, 16, 25));
    fillShape(g, fg, rect(10, 25, 20, 27));
  } else if (what == "PHOTO") {
    cameraMark(g, 3, 2, 24, fg, down ? Rgba{0x00, 0x60, 0x98, 255} : kToolBar, fg);
  } else if (what == "SYSCONFIG") {
    for (int i = 0; i < 8; ++i) {
      double a = i * 3.14159265 / 4;
      fillShape(g, fg, thickLine(15, 15, 15 + 10 * std::cos(a), 15 + 10 * std::sin(a), 4));
    }
    fillShape(g, fg, circle(15, 15, 7.5));
    fillShape(g, down ? Rgba{0x00, 0x60, 0x98, 255} : kToolBar, circle(15, 15, 3));
  } else if (what == "EFFECT") {
    std::vector<std::pair<double, double>> star;
    fillShape(g, fg, thickLine(6, 25, 18, 13, 3));
    for (int i = 0; i < 4; ++i) {
      double a = i * 3.14159265 / 2;
      fillShape(g, Rgba{255, 230, 120, 255}, polygon({{21 + 7 * std::cos(a), 9 + 7 * std::sin(a)},
                                                      {21 + 2 * std::cos(a + 0.785), 9 + 2 * std::sin(a + 0.785)},
                                                      {21, 9},
                                                      {21 + 2 * std::cos(a - 0.785), 9 + 2 * std::sin(a - 0.785)}}));
    }
  }
  return g;
}

Image stripGlyph(const std::string& what, int w) {
  Image g(w, 24, kKey);
  const Rgba fg = kStripGlyph;
  const double cx = w / 2.0;
  if (what == "PLAY") fillShape(g, fg, polygon({{cx - 5, 6}, {cx + 7, 12}, {cx - 5, 18}}), false);
  else if (what == "STOP") fillShape(g, fg, rect(cx - 6, 6, cx + 6, 18), false);
  else if (what == "PAUSE") {
    fillShape(g, fg, rect(cx - 6, 6, cx - 2, 18), false);
    fillShape(g, fg, rect(cx + 2, 6, cx + 6, 18), false);
  } else if (what == "NEXT") {
    fillShape(g, fg, polygon({{cx - 7, 6}, {cx + 3, 12}, {cx - 7, 18}}), false);
    fillShape(g, fg, rect(cx + 4, 6, cx + 7, 18), false);
  } else if (what == "PREV") {
    fillShape(g, fg, polygon({{cx + 7, 6}, {cx - 3, 12}, {cx + 7, 18}}), false);
    fillShape(g, fg, rect(cx - 7, 6, cx - 4, 18), false);
  } else if (what == "FULLSCREEN") {
    for (auto c : {std::pair<int, int>{5, 5}, {14, 5}, {5, 14}, {14, 14}}) {
      int x = int(cx) - 12 + c.first, y = c.second;
      bool right = c.first > 10, bottom = c.second > 10;
      fillShape(g, fg, rect(x + (right ? 2 : 0), y + (bottom ? 4 : 0), x + (right ? 5 : 3), y + (bottom ? 5 : 1)), false);
      fillShape(g, fg, rect(x + (right ? 4 : 0), y, x + (right ? 5 : 1), y + 5), false);
    }
  }
  return g;
}

Image checkGlyph(bool on) {
  Image g(14, 14, kKey);
  if (on) {
    fillShape(g, Rgba{40, 170, 80, 255}, circle(7, 7, 6.5), false);
    fillShape(g, kWhite, thickLine(3.5, 7.5, 6, 10, 2), false);
    fillShape(g, kWhite, thickLine(6, 10, 10.5, 4, 2), false);
  } else {
    fillShape(g, Rgba{120, 120, 120, 255}, ring(7, 7, 6.5, 1.5), false);
  }
  return g;
}

Image arrowGlyph(bool enabled) {
  Image g(7, 4, kKey);
  const Rgba c = enabled ? Rgba{0, 0, 0, 255} : Rgba{128, 128, 128, 255};
  for (int y = 0; y < 4; ++y)
    for (int x = y; x < 7 - y; ++x) g.set(x, y, c);
  return g;
}

Image iconImage(int size) {
  Image img(size, size, Rgba{0, 0, 0, 0});
  fillShape(img, Rgba{0, 110, 190, 255}, roundRect(0.5, 0.5, size - 0.5, size - 0.5, size * 0.2));
  cameraMark(img, size * 0.12, size * 0.1, size * 0.76, kWhite, Rgba{0, 150, 200, 255}, kWhite);
  return img;
}

// The window picker: a crosshair in a ring, its centre the hot spot (15, 15) of a 32 x 32 cursor.
Image pickerImage(Rgba background) {
  Image img(32, 32, background);
  const Rgba dark{20, 20, 20, 255};
  fillShape(img, dark, ring(15.5, 15.5, 11, 2));
  for (int i = 2; i < 30; ++i) {
    if (i >= 13 && i <= 18) continue;
    img.set(i, 15, dark);
    img.set(15, i, dark);
  }
  fillShape(img, Rgba{220, 30, 30, 255}, circle(15.5, 15.5, 2));
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: KivoArt <output folder>\n");
    return 2;
  }
  gOut = argv[1];
  bool ok = true;
  Image idle = idlePicture();
  ok &= save("default.bmp", bmp24(idle));
  ok &= save("kivoad.htm", std::vector<uint8_t>(kStripPage, kStripPage + sizeof(kStripPage) - 1));
  Image i32 = iconImage(32), i16 = iconImage(16);
  ok &= save("kivoapp.ico", ico({&i32, &i16}));
  Image picker = pickerImage(Rgba{0, 0, 0, 0});
  ok &= save("picker.cur", ico({&picker}, true, 15, 15));
  Image pickerGlyph = pickerImage(Rgba{255, 255, 255, 255});
  ok &= save("kv_picker.bmp", bmp24(pickerGlyph));
  for (const char* t : {"DISCAPTURE", "VIDEOREC", "AUDIOREC", "PHOTO", "SYSCONFIG", "EFFECT"}) {
    Image up = toolGlyph(t, false), down = toolGlyph(t, true);
    ok &= save(std::string("kv_") + t + ".bmp", bmp24(up));
    ok &= save(std::string("kv_") + t + "_down.bmp", bmp24(down));
  }
  for (auto s : {std::pair<const char*, int>{"PLAY", 24}, {"STOP", 24}, {"PAUSE", 24}, {"NEXT", 32}, {"PREV", 32},
                 {"FULLSCREEN", 24}}) {
    Image g = stripGlyph(s.first, s.second);
    ok &= save(std::string("kv_") + s.first + ".bmp", bmp24(g));
  }
  Image on = checkGlyph(true), off = checkGlyph(false), a = arrowGlyph(true), ad = arrowGlyph(false);
  ok &= save("kv_check_on.bmp", bmp24(on));
  ok &= save("kv_check_off.bmp", bmp24(off));
  ok &= save("wbtn_popmenu.bmp", bmp24(a));
  ok &= save("wbtn_popmenu_d.bmp", bmp24(ad));
  return ok ? 0 : 1;
}
