// KivoApp's own artwork: the idle picture, the program icon and cursor, the button glyphs and the
// album list's bitmaps; and the page of the main window's web strip.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ArtTool.h"
#include "Raster.h"

namespace {

using namespace kivo::raster;
using namespace kivo::raster::shape;

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
void text(TRaster& img, int x, int y, int scale, const std::string& s, TRgb c) {
  for (char ch : s) {
    const char* g = Glyph5x7(ch);
    for (int gy = 0; gy < 7; ++gy)
      for (int gx = 0; gx < 5; ++gx)
        if (g[gy * 5 + gx] == '1')
          img.FillSmooth(RoundRect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale - 0.5,
                                   y + (gy + 1) * scale - 0.5, scale * 0.3),
                         c);
    x += 6 * scale;
  }
}
int textWidth(const std::string& s, int scale) { return int(s.size()) * 6 * scale - scale; }

// The camera mark of the program: a rounded body with a lens, scaled into a box.
void cameraMark(TRaster& img, double x, double y, double s, TRgb body, TRgb lens, TRgb glint) {
  img.FillSmooth(RoundRect(x + 0.30 * s, y + 0.12 * s, x + 0.62 * s, y + 0.28 * s, 0.05 * s), body);
  img.FillSmooth(RoundRect(x + 0.05 * s, y + 0.22 * s, x + 0.95 * s, y + 0.85 * s, 0.12 * s), body);
  img.FillSmooth(Circle(x + 0.5 * s, y + 0.54 * s, 0.25 * s), lens);
  img.FillSmooth(Circle(x + 0.5 * s, y + 0.54 * s, 0.16 * s), body);
  img.FillSmooth(Circle(x + 0.44 * s, y + 0.48 * s, 0.05 * s), glint);
}

constexpr TRgb kWhite = Rgb(255, 255, 255);
constexpr TRgb kKey = kMagenta;  // see-through in glyphs drawn by key colour
constexpr TRgb kToolBar = Rgb(0x00, 0x80, 0xC0);  // 12615680 as a colour value
constexpr TRgb kToolBarDown = Rgb(0x00, 0x60, 0x98);
constexpr TRgb kStripGlyph = Rgb(220, 220, 220);
constexpr TRgb kLens = Rgb(0, 150, 200);
constexpr TRgb kRecord = Rgb(240, 70, 60);

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

TRaster idlePicture() {
  TRaster img(320, 240, kWhite);
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      double t = (x + y * 1.3) / (320 + 240 * 1.3);
      img.Set(x, y, Rgb(int(12 + 20 * t), int(40 + 90 * t), int(110 + 70 * t)));
    }
  img.FillSmooth(Circle(250, 40, 110), kWhite, 28);
  img.FillSmooth(Circle(40, 230, 80), kWhite, 20);
  cameraMark(img, 115, 28, 90, kWhite, kLens, kWhite);
  text(img, (320 - textWidth("KIVO", 8)) / 2, 138, 8, "KIVO", kWhite);
  text(img, (320 - textWidth("VIRTUAL CAMERA", 2)) / 2, 208, 2, "VIRTUAL CAMERA", Rgb(200, 230, 255));
  return img;
}

TRaster toolGlyph(const std::string& what, bool down) {
  const TRgb back = down ? kToolBarDown : kToolBar;
  TRaster g(30, 30, back);
  const TRgb fg = kWhite;
  if (what == "DISCAPTURE") {
    g.FillSmooth(RoundRect(5, 7, 25, 21, 2), fg);
    g.FillSmooth(Rect(7, 9, 23, 19), back);
    g.FillSmooth(Circle(15, 14, 3), fg);
    g.FillSmooth(Rect(12, 22, 18, 24), fg);
    if (down) g.FillSmooth(ThickLine(6, 6, 24, 24, 3), kRecord);
  } else if (what == "VIDEOREC") {
    g.FillSmooth(RoundRect(4, 9, 20, 22, 2), fg);
    g.FillSmooth(Polygon({{20, 15.5}, {27, 10}, {27, 21}}), fg);
    g.FillSmooth(Circle(9, 13, 2), kRecord);
  } else if (what == "AUDIOREC") {
    g.FillSmooth(RoundRect(11, 4, 19, 18, 4), fg);
    g.FillSmooth(Ring(15, 14, 7.5, 1.8), fg);
    g.FillSmooth(Rect(6, 4, 24, 14), back);
    g.FillSmooth(RoundRect(11, 4, 19, 18, 4), fg);
    g.FillSmooth(Rect(14, 21, 16, 25), fg);
    g.FillSmooth(Rect(10, 25, 20, 27), fg);
  } else if (what == "PHOTO") {
    cameraMark(g, 3, 2, 24, fg, back, fg);
  } else if (what == "SYSCONFIG") {
    for (int i = 0; i < 8; ++i) {
      double a = i * 3.14159265 / 4;
      g.FillSmooth(ThickLine(15, 15, 15 + 10 * std::cos(a), 15 + 10 * std::sin(a), 4), fg);
    }
    g.FillSmooth(Circle(15, 15, 7.5), fg);
    g.FillSmooth(Circle(15, 15, 3), back);
  } else if (what == "EFFECT") {
    g.FillSmooth(ThickLine(6, 25, 18, 13, 3), fg);
    for (int i = 0; i < 4; ++i) {
      double a = i * 3.14159265 / 2;
      g.FillSmooth(Polygon({{21 + 7 * std::cos(a), 9 + 7 * std::sin(a)},
                            {21 + 2 * std::cos(a + 0.785), 9 + 2 * std::sin(a + 0.785)},
                            {21, 9},
                            {21 + 2 * std::cos(a - 0.785), 9 + 2 * std::sin(a - 0.785)}}),
                   Rgb(255, 230, 120));
    }
  }
  return g;
}

TRaster stripGlyph(const std::string& what, int w) {
  TRaster g(w, 24, kKey);
  const TRgb fg = kStripGlyph;
  const double cx = w / 2.0;
  if (what == "PLAY") g.FillSharp(Polygon({{cx - 5, 6}, {cx + 7, 12}, {cx - 5, 18}}), fg);
  else if (what == "STOP") g.FillSharp(Rect(cx - 6, 6, cx + 6, 18), fg);
  else if (what == "PAUSE") {
    g.FillSharp(Rect(cx - 6, 6, cx - 2, 18), fg);
    g.FillSharp(Rect(cx + 2, 6, cx + 6, 18), fg);
  } else if (what == "NEXT") {
    g.FillSharp(Polygon({{cx - 7, 6}, {cx + 3, 12}, {cx - 7, 18}}), fg);
    g.FillSharp(Rect(cx + 4, 6, cx + 7, 18), fg);
  } else if (what == "PREV") {
    g.FillSharp(Polygon({{cx + 7, 6}, {cx - 3, 12}, {cx + 7, 18}}), fg);
    g.FillSharp(Rect(cx - 7, 6, cx - 4, 18), fg);
  } else if (what == "FULLSCREEN") {
    for (auto c : {std::pair<int, int>{5, 5}, {14, 5}, {5, 14}, {14, 14}}) {
      int x = int(cx) - 12 + c.first, y = c.second;
      bool right = c.first > 10, bottom = c.second > 10;
      g.FillSharp(Rect(x + (right ? 2 : 0), y + (bottom ? 4 : 0), x + (right ? 5 : 3), y + (bottom ? 5 : 1)), fg);
      g.FillSharp(Rect(x + (right ? 4 : 0), y, x + (right ? 5 : 1), y + 5), fg);
    }
  }
  return g;
}

TRaster checkGlyph(bool on) {
  TRaster g(14, 14, kKey);
  if (on) {
    g.FillSharp(Circle(7, 7, 6.5), Rgb(40, 170, 80));
    g.FillSharp(ThickLine(3.5, 7.5, 6, 10, 2), kWhite);
    g.FillSharp(ThickLine(6, 10, 10.5, 4, 2), kWhite);
  } else {
    g.FillSharp(Ring(7, 7, 6.5, 1.5), Rgb(120, 120, 120));
  }
  return g;
}

TRaster arrowGlyph(bool enabled) {
  TRaster g(7, 4, kKey);
  const TRgb c = enabled ? Rgb(0, 0, 0) : Rgb(128, 128, 128);
  for (int y = 0; y < 4; ++y)
    for (int x = y; x < 7 - y; ++x) g.Set(x, y, c);
  return g;
}

TRaster iconImage(int size) {
  TRaster img(size, size, Rgb(0, 0, 0), 0);
  img.FillSmooth(RoundRect(0.5, 0.5, size - 0.5, size - 0.5, size * 0.2), Rgb(0, 110, 190));
  cameraMark(img, size * 0.12, size * 0.1, size * 0.76, kWhite, kLens, kWhite);
  return img;
}

// The window picker: a crosshair in a ring, its centre the hot spot (15, 15) of a 32 x 32 cursor.
TRaster pickerImage(TRgb background, int alpha) {
  TRaster img(32, 32, background, alpha);
  const TRgb dark = Rgb(20, 20, 20);
  img.FillSmooth(Ring(15.5, 15.5, 11, 2), dark);
  for (int i = 2; i < 30; ++i) {
    if (i >= 13 && i <= 18) continue;
    img.Set(i, 15, dark);
    img.Set(15, i, dark);
  }
  img.FillSmooth(Circle(15.5, 15.5, 2), Rgb(220, 30, 30));
  return img;
}

// The album list's thumbnail frame (48 x 48, its size the cell size): a grey frame round a light cell.
TRaster albumItem() {
  TRaster img(48, 48, Rgb(240, 240, 240));
  img.Frame(0, 0, 48, 48, Rgb(128, 128, 128));
  return img;
}

// The album list's folder picture.
TRaster albumFolder() {
  TRaster img(48, 48, Rgb(255, 255, 255));
  img.Fill(4, 12, 44, 41, Rgb(180, 130, 20));
  img.Fill(5, 13, 43, 40, Rgb(250, 205, 80));
  img.Fill(4, 8, 21, 14, Rgb(230, 180, 50));  // the tab, over the body's top
  return img;
}

}  // namespace

void kivo::arttool::DrawProgramArt(const std::string& folder) {
  auto save = [&folder](const std::string& name, const Bytes& bytes) { WriteFile(folder + "/" + name, bytes); };
  save("default.bmp", idlePicture().Bmp24());
  save("kivoad.htm", Bytes(kStripPage, kStripPage + sizeof(kStripPage) - 1));
  const TRaster i32 = iconImage(32), i16 = iconImage(16);
  save("kivoapp.ico", IconFile({&i32, &i16}));
  save("picker.cur", CursorFile(pickerImage(Rgb(0, 0, 0), 0), 15, 15));
  save("kv_picker.bmp", pickerImage(kWhite, 255).Bmp24());
  for (const char* t : {"DISCAPTURE", "VIDEOREC", "AUDIOREC", "PHOTO", "SYSCONFIG", "EFFECT"}) {
    save(std::string("kv_") + t + ".bmp", toolGlyph(t, false).Bmp24());
    save(std::string("kv_") + t + "_down.bmp", toolGlyph(t, true).Bmp24());
  }
  for (auto s : {std::pair<const char*, int>{"PLAY", 24}, {"STOP", 24}, {"PAUSE", 24}, {"NEXT", 32}, {"PREV", 32},
                 {"FULLSCREEN", 24}})
    save(std::string("kv_") + s.first + ".bmp", stripGlyph(s.first, s.second).Bmp24());
  save("kv_check_on.bmp", checkGlyph(true).Bmp24());
  save("kv_check_off.bmp", checkGlyph(false).Bmp24());
  save("wbtn_popmenu.bmp", arrowGlyph(true).Bmp24());
  save("wbtn_popmenu_d.bmp", arrowGlyph(false).Bmp24());
  save("alitem.bmp", albumItem().Bmp24());
  save("folder.bmp", albumFolder().Bmp24());
}
