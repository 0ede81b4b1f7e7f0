// Still-picture codecs: BMP, JPEG and PNG round trips and variants, orientation, formats, files
// and bad input.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <functional>
#include <zlib.h>

#include "CodecSamples.h"
#include "PictureCodecs.h"

namespace kivo::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Runs `f` and answers the ECodecError message it raised ("<no error>" when none came).
std::wstring ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ECodecError& e) {
    EXPECT_FALSE(e.Message().empty());
    EXPECT_NE(std::string(e.what()), "");
    return e.Message();
  }
  return L"<no error>";
}
bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// ---- BMP ------------------------------------------------------------------------------------

TEST(Bmp, SaveLoadRoundTripIsExactForOddWidths) {
  for (int w : {1, 2, 3, 13}) {
    const TPixelBuffer p = PatternPicture(w, 7, 24);
    const Bytes file = EncodeBmp(p);
    const TPixelBuffer back = DecodeBmp(file.data(), file.size());
    EXPECT_EQ(back.BitCount, 24);
    EXPECT_EQ(CompareExact(p, back, false), "") << "width " << w;
  }
}

TEST(Bmp, SavedFileIsBottomUp24BitWithoutAlpha) {
  const TPixelBuffer p = PatternPicture(5, 3, 32);
  const Bytes f = EncodeBmp(p);
  const std::size_t stride = 16;  // 5 x 3 bytes padded to 4
  ASSERT_EQ(f.size(), 54 + stride * 3);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[28], 24);                     // biBitCount
  EXPECT_EQ(f[22] | (f[23] << 8), 3);       // positive height: bottom-up
  for (int row = 0; row < 3; ++row)         // file row 0 is the picture's bottom row
    for (int x = 0; x < 5; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(f[54 + stride * row + x * 3 + c], p.Pixel(x, 2 - row)[c]);
}

struct TBmpCase {
  const char* Name;
  int BitCount;
  std::uint32_t Compression;
  std::uint32_t HeaderSize;
  bool TopDown;
  int Variant;  // 16-bit: 0 = 555, 1 = 565; 32-bit: 0 = plain, 1 = alpha mask, 2 = swapped masks
};

std::uint8_t Expand(std::uint32_t v, int bits) {
  std::uint32_t out = 0;
  int filled = 0;
  while (filled < 8) {
    out = (out << bits) | v;
    filled += bits;
  }
  return std::uint8_t(out >> (filled - 8));
}

// A BMP of the case and the picture it must decode to.
void MakeBmpCase(const TBmpCase& c, Bytes& file, TPixelBuffer& expected) {
  const int w = 13, h = 5;
  TBmpLayout s;
  s.Width = w;
  s.Height = c.TopDown ? -h : h;
  s.BitCount = c.BitCount;
  s.Compression = c.Compression;
  s.HeaderSize = c.HeaderSize;
  expected = TPixelBuffer(w, h, c.BitCount == 32 ? 32 : 24);
  // (a core header has no colour count: its table is always full)
  const int colours = c.BitCount == 8 && c.HeaderSize != 12 ? 20 : c.BitCount <= 8 ? 1 << c.BitCount : 0;
  for (int i = 0; i < colours; ++i)
    s.Palette.push_back(std::uint32_t(((i * 37 + 5) & 0xFF) << 16 | ((i * 91 + 7) & 0xFF) << 8 | ((255 - i * 13) & 0xFF)));
  if (c.BitCount == 16 && c.Variant == 1) {
    s.Masks[0] = 0xF800; s.Masks[1] = 0x07E0; s.Masks[2] = 0x001F;
  }
  if (c.BitCount == 32 && c.Variant == 1) {
    s.Masks[0] = 0xFF0000; s.Masks[1] = 0xFF00; s.Masks[2] = 0xFF; s.Masks[3] = 0xFF000000;
  }
  if (c.BitCount == 32 && c.Variant == 2) {
    s.Masks[0] = 0xFF; s.Masks[1] = 0xFF00; s.Masks[2] = 0xFF0000;
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* e = expected.Pixel(x, y);
      std::uint32_t v = 0;
      if (colours) {
        v = std::uint32_t((x + 3 * y) % colours);
        const std::uint32_t rgb = s.Palette[v];
        e[0] = std::uint8_t(rgb); e[1] = std::uint8_t(rgb >> 8); e[2] = std::uint8_t(rgb >> 16);
      } else if (c.BitCount == 16) {
        const std::uint32_t r = (x * 3 + y) % 32, b = (x + y * 2) % 32;
        if (c.Variant == 0) {
          const std::uint32_t g = (y * 7 + x) % 32;
          v = r << 10 | g << 5 | b;
          e[1] = Expand(g, 5);
        } else {
          const std::uint32_t g = (y * 13 + x * 5) % 64;
          v = r << 11 | g << 5 | b;
          e[1] = Expand(g, 6);
        }
        e[0] = Expand(b, 5); e[2] = Expand(r, 5);
      } else {
        const std::uint8_t B = std::uint8_t(x * 19 + 1), G = std::uint8_t(y * 41 + 2), R = std::uint8_t(x * y + 3),
                           A = std::uint8_t(x * 10 + y);
        e[0] = B; e[1] = G; e[2] = R;
        v = B | G << 8 | R << 16;
        if (c.BitCount == 32) {
          v |= std::uint32_t(A) << 24;
          e[3] = c.Variant == 1 ? A : 255;
          if (c.Variant == 2) v = R | G << 8 | B << 16;
        }
      }
      s.Values.push_back(v);
    }
  file = BuildBmp(s);
}

class BmpVariants : public ::testing::TestWithParam<TBmpCase> {};

TEST_P(BmpVariants, DecodeToTopDownPixels) {
  const TBmpCase& c = GetParam();
  Bytes file;
  TPixelBuffer expected;
  MakeBmpCase(c, file, expected);
  const TPixelBuffer got = DecodeBmp(file.data(), file.size());
  EXPECT_EQ(got.BitCount, c.BitCount == 32 ? 32 : 24);
  EXPECT_EQ(got.SourceBitCount, c.BitCount);
  EXPECT_EQ(got.HasAlpha, c.BitCount == 32 && c.Variant == 1);
  EXPECT_EQ(CompareExact(expected, got, got.HasAlpha), "");
  // The same DIB without its file header, as a resource holds it (core and V5 headers aside,
  // the colour table comes right after the header).
  const TPixelBuffer packed = DecodeDib(file.data() + 14, file.size() - 14);
  EXPECT_EQ(CompareExact(expected, packed, got.HasAlpha), "");
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BmpVariants,
    ::testing::Values(TBmpCase{"Mono", 1, 0, 40, false, 0}, TBmpCase{"Nibble", 4, 0, 40, false, 0},
                      TBmpCase{"Byte20Colours", 8, 0, 40, false, 0}, TBmpCase{"ByteTopDown", 8, 0, 40, true, 0},
                      TBmpCase{"CoreHeader", 8, 0, 12, false, 0}, TBmpCase{"Rgb555", 16, 0, 40, false, 0},
                      TBmpCase{"Rgb565", 16, 3, 40, false, 1}, TBmpCase{"Rgb24", 24, 0, 40, false, 0},
                      TBmpCase{"Rgb24TopDown", 24, 0, 40, true, 0}, TBmpCase{"Rgb24V5Header", 24, 0, 124, false, 0},
                      TBmpCase{"Rgb32", 32, 0, 40, false, 0}, TBmpCase{"Argb32V5", 32, 3, 124, true, 1},
                      TBmpCase{"Argb32V4", 32, 3, 108, false, 1}, TBmpCase{"SwappedMasks32", 32, 3, 40, false, 2}),
    [](const ::testing::TestParamInfo<TBmpCase>& i) { return std::string(i.param.Name); });

TEST(Bmp, ShortCoreColourTableEndsWhereThePixelsBegin) {
  TBmpLayout s;
  s.Width = 5;
  s.Height = 2;
  s.BitCount = 8;
  s.HeaderSize = 12;
  s.Palette = {0x0000FF, 0x00FF00, 0xFF0000};  // 3 of 256 entries
  s.Values = {0, 1, 2, 1, 0, 2, 2, 1, 0, 0};
  const Bytes file = BuildBmp(s);
  const TPixelBuffer p = DecodeBmp(file.data(), file.size());
  for (int i = 0; i < 10; ++i) {
    const TBgr c = At(p, i % 5, i / 5);
    const std::uint32_t rgb = s.Palette[s.Values[std::size_t(i)]];
    EXPECT_EQ(c.B, int(rgb & 0xFF));
    EXPECT_EQ(c.G, int((rgb >> 8) & 0xFF));
    EXPECT_EQ(c.R, int(rgb >> 16));
  }
}

TEST(Bmp, RefusesWhatItCannotShow) {
  auto make = [](int bits, std::uint32_t compression) {
    TBmpLayout s;
    s.Width = 4;
    s.Height = 2;
    s.BitCount = bits;
    s.Compression = compression;
    s.Values.assign(8, 0);
    if (bits <= 8) s.Palette.assign(std::size_t(1) << bits, 0);
    return BuildBmp(s);
  };
  const Bytes rle = make(8, 1);
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeBmp(rle.data(), rle.size()); }), L"RLE"));
  const Bytes rle4 = make(4, 2);
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeBmp(rle4.data(), rle4.size()); }), L"RLE"));
  const Bytes jpeg = make(24, 4);
  EXPECT_NE(ErrorOf([&] { DecodeBmp(jpeg.data(), jpeg.size()); }), L"<no error>");
  Bytes bits3 = make(24, 0);
  bits3[28] = 3;
  EXPECT_NE(ErrorOf([&] { DecodeBmp(bits3.data(), bits3.size()); }), L"<no error>");
  TBmpLayout zero;
  zero.Width = 0;
  zero.Height = 3;
  const Bytes empty = BuildBmp(zero);
  EXPECT_NE(ErrorOf([&] { DecodeBmp(empty.data(), empty.size()); }), L"<no error>");
}

// ---- PNG ------------------------------------------------------------------------------------

struct TPngCase {
  const char* Name;
  TPngLayout Layout;
  bool SixteenBit;
  bool Interlaced;
  int Colours;  // palette layouts: number of colours (sets the bit depth)
};

TPixelBuffer PngSource(const TPngCase& c, int w, int h) {
  TPixelBuffer p(w, h, 32);
  p.HasAlpha = true;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* d = p.Pixel(x, y);
      const int i = (x + 2 * y) % std::max(c.Colours, 1);
      switch (c.Layout) {
        case TPngLayout::Rgb: d[0] = std::uint8_t(x * 9); d[1] = std::uint8_t(y * 15); d[2] = std::uint8_t(x + y); d[3] = 255; break;
        case TPngLayout::Rgba: d[0] = std::uint8_t(x * 9); d[1] = std::uint8_t(y * 15); d[2] = std::uint8_t(x + y); d[3] = std::uint8_t(x * y); break;
        case TPngLayout::Grey: d[0] = d[1] = d[2] = std::uint8_t(x * 13 + y * 3); d[3] = 255; break;
        case TPngLayout::GreyAlpha: d[0] = d[1] = d[2] = std::uint8_t(x * 13 + y * 3); d[3] = std::uint8_t(255 - x * 7); break;
        case TPngLayout::Palette:
          d[0] = std::uint8_t(i * 7); d[1] = std::uint8_t(i * 31); d[2] = std::uint8_t(255 - i);
          d[3] = c.Colours > 16 && i % 3 == 0 ? std::uint8_t(i) : 255;
          break;
      }
    }
  return p;
}

class PngVariants : public ::testing::TestWithParam<TPngCase> {};

TEST_P(PngVariants, RoundTripIsExact) {
  const TPngCase& c = GetParam();
  const TPixelBuffer src = PngSource(c, 19, 13);
  const Bytes file = EncodePng(src, TPngOptions{c.Layout, c.SixteenBit, c.Interlaced});
  EXPECT_EQ(file[24], c.Layout == TPngLayout::Palette ? (c.Colours <= 2 ? 1 : c.Colours <= 4 ? 2 : c.Colours <= 16 ? 4 : 8)
                                                      : (c.SixteenBit ? 16 : 8));  // IHDR bit depth
  EXPECT_EQ(file[28], c.Interlaced ? 1 : 0);
  const TPixelBuffer got = DecodePng(file.data(), file.size());
  EXPECT_EQ(got.BitCount, 32);
  EXPECT_TRUE(got.HasAlpha);
  EXPECT_EQ(CompareExact(src, got, true), "");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PngVariants,
    ::testing::Values(TPngCase{"Rgb8", TPngLayout::Rgb, false, false, 0}, TPngCase{"Rgb16", TPngLayout::Rgb, true, false, 0},
                      TPngCase{"Rgba8", TPngLayout::Rgba, false, false, 0},
                      TPngCase{"Rgba16Interlaced", TPngLayout::Rgba, true, true, 0},
                      TPngCase{"Grey8", TPngLayout::Grey, false, false, 0},
                      TPngCase{"Grey16Interlaced", TPngLayout::Grey, true, true, 0},
                      TPngCase{"GreyAlpha8", TPngLayout::GreyAlpha, false, false, 0},
                      TPngCase{"GreyAlpha16", TPngLayout::GreyAlpha, true, false, 0},
                      TPngCase{"Palette1Bit", TPngLayout::Palette, false, false, 2},
                      TPngCase{"Palette2Bit", TPngLayout::Palette, false, false, 4},
                      TPngCase{"Palette4BitInterlaced", TPngLayout::Palette, false, true, 16},
                      TPngCase{"Palette8BitWithAlpha", TPngLayout::Palette, false, false, 200}),
    [](const ::testing::TestParamInfo<TPngCase>& i) { return std::string(i.param.Name); });

TEST(Png, SixteenBitSamplesAreRoundedToEightBits) {
  // Hand-made 2 x 1 grey 16-bit PNG: samples 0x1280 and 0xFFFF.
  const TPixelBuffer one = PngSource(TPngCase{"", TPngLayout::Grey, true, false, 0}, 2, 1);
  Bytes file = EncodePng(one, TPngOptions{TPngLayout::Grey, true, false});
  // Rewrite the image data with known samples.
  const std::uint8_t raw[] = {0, 0x12, 0x80, 0xFF, 0xFF};  // filter byte, two big-endian samples
  Bytes packed(64);
  uLongf packedSize = uLongf(packed.size());
  ASSERT_EQ(compress(packed.data(), &packedSize, raw, sizeof raw), Z_OK);
  packed.resize(packedSize);
  Bytes rebuilt(file.begin(), file.begin() + 33);  // signature + IHDR
  auto chunk = [&](const char* type, const Bytes& body) {
    const std::uint32_t n = std::uint32_t(body.size());
    for (int s = 24; s >= 0; s -= 8) rebuilt.push_back(std::uint8_t(n >> s));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    rebuilt.insert(rebuilt.end(), typed.begin(), typed.end());
    const std::uint32_t crc = std::uint32_t(crc32(0, typed.data(), uInt(typed.size())));
    for (int s = 24; s >= 0; s -= 8) rebuilt.push_back(std::uint8_t(crc >> s));
  };
  chunk("IDAT", packed);
  chunk("IEND", Bytes());
  const TPixelBuffer got = DecodePng(rebuilt.data(), rebuilt.size());
  EXPECT_EQ(got.Pixel(0, 0)[1], 0x12);  // 0x1280 x 255 / 65535 = 18.4 -> 18 (0x12)
  EXPECT_EQ(got.Pixel(1, 0)[1], 0xFF);
}

// ---- JPEG -----------------------------------------------------------------------------------

struct TJpegCase {
  const char* Name;
  TJpegColour Colour;
  bool Progressive;
};

class JpegVariants : public ::testing::TestWithParam<TJpegCase> {};

TEST_P(JpegVariants, RoundTripWithinTolerance) {
  const TJpegCase& c = GetParam();
  TPixelBuffer src = CornerPicture(64, 48);
  if (c.Colour == TJpegColour::Grey)
    for (int y = 0; y < src.Height; ++y)
      for (int x = 0; x < src.Width; ++x) {
        std::uint8_t* d = src.Pixel(x, y);
        d[0] = d[2] = d[1];
      }
  const Bytes file = EncodeJpeg(src, TJpegOptions{95, c.Colour, c.Progressive});
  const TPixelBuffer got = DecodeJpeg(file.data(), file.size());
  ASSERT_EQ(got.Width, 64);
  ASSERT_EQ(got.Height, 48);
  EXPECT_EQ(got.BitCount, 24);
  EXPECT_EQ(got.SourceBitCount, c.Colour == TJpegColour::Grey ? 8 : c.Colour == TJpegColour::Cmyk ? 32 : 24);
  EXPECT_LE(MaxChannelDiff(src, got), 40);  // ringing at the corner blocks' edges
  for (auto [x, y] : {std::pair{3, 3}, std::pair{60, 3}, std::pair{3, 44}, std::pair{60, 44}, std::pair{32, 24}}) {
    const TBgr e = At(src, x, y), a = At(got, x, y);
    EXPECT_NEAR(a.B, e.B, 6) << x << "," << y;
    EXPECT_NEAR(a.G, e.G, 6) << x << "," << y;
    EXPECT_NEAR(a.R, e.R, 6) << x << "," << y;
  }
  if (c.Colour == TJpegColour::Grey) {
    for (int y = 0; y < got.Height; ++y)
      for (int x = 0; x < got.Width; ++x) {
        const TBgr a = At(got, x, y);
        ASSERT_TRUE(a.B == a.G && a.R == a.G) << x << "," << y;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Colours, JpegVariants,
                         ::testing::Values(TJpegCase{"Rgb", TJpegColour::Rgb, false},
                                           TJpegCase{"RgbProgressive", TJpegColour::Rgb, true},
                                           TJpegCase{"Grey", TJpegColour::Grey, false},
                                           TJpegCase{"AdobeCmyk", TJpegColour::Cmyk, false}),
                         [](const ::testing::TestParamInfo<TJpegCase>& i) { return std::string(i.param.Name); });

TEST(Jpeg, ThirtyTwoBitSourceEncodesItsColours) {
  TPixelBuffer src(16, 16, 32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      std::uint8_t* d = src.Pixel(x, y);
      d[0] = 200; d[1] = 100; d[2] = 50; d[3] = 7;
    }
  const Bytes file = EncodeJpeg(src);
  const TPixelBuffer got = DecodeJpeg(file.data(), file.size());
  EXPECT_LE(MaxChannelDiff(src, got), 4);
}

TEST(Jpeg, CmykIsInvertedOnlyWithTheAdobeMarker) {
  TPixelBuffer src(16, 16, 24);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      std::uint8_t* d = src.Pixel(x, y);
      d[0] = 50; d[1] = 100; d[2] = 200;
    }
  const Bytes adobe = EncodeJpeg(src, TJpegOptions{100, TJpegColour::Cmyk});
  const TBgr a = At(DecodeJpeg(adobe.data(), adobe.size()), 8, 8);
  EXPECT_NEAR(a.R, 200, 3);
  EXPECT_NEAR(a.G, 100, 3);
  EXPECT_NEAR(a.B, 50, 3);
  // Stored as C'=255, M'=128, Y'=64, K'=200 (Adobe: 0 = full ink). Without the APP14 marker the
  // same values mean ink amounts: R = (255-255)(255-200)/255, G = (255-128)(55)/255, B = (191)(55)/255.
  Bytes plain;
  for (std::size_t i = 0; i < adobe.size();) {
    if (i >= 2 && adobe[i] == 0xFF && adobe[i + 1] == 0xEE) {
      i += 2 + std::size_t(adobe[i + 2] << 8 | adobe[i + 3]);
      continue;
    }
    plain.push_back(adobe[i++]);
  }
  ASSERT_LT(plain.size(), adobe.size());
  const TBgr p = At(DecodeJpeg(plain.data(), plain.size()), 8, 8);
  EXPECT_NEAR(p.R, 0, 3);
  EXPECT_NEAR(p.G, 27, 3);
  EXPECT_NEAR(p.B, 41, 3);
}

// ---- Orientation through files --------------------------------------------------------------

// Four quadrants: red top-left, green top-right, blue bottom-left, white bottom-right.
TPixelBuffer Quadrants(int w, int h) {
  TPixelBuffer p(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* d = p.Pixel(x, y);
      const bool right = x >= w / 2, bottom = y >= h / 2;
      d[0] = bottom ? 255 : 0;
      d[1] = right ? 255 : 0;
      d[2] = (!right && !bottom) || (right && bottom) ? 255 : 0;
      if (right && bottom) d[0] = d[1] = 255;
    }
  return p;
}

Bytes QuadrantFile(TPictureFormat format, const TPixelBuffer& p) {
  switch (format) {
    case TPictureFormat::Bmp: return EncodeBmp(p);
    case TPictureFormat::Png: return EncodePng(p);
    case TPictureFormat::Jpeg: return EncodeJpeg(p, TJpegOptions{95});
    default: {
      TGifPicture g;
      g.Width = p.Width;
      g.Height = p.Height;
      g.GlobalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
      TGifFrame f;
      f.Width = p.Width;
      f.Height = p.Height;
      for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) f.Indices.push_back(std::uint8_t((x >= p.Width / 2) + 2 * (y >= p.Height / 2)));
      g.Frames.push_back(f);
      return EncodeGif(g);
    }
  }
}

class Orientation : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(Orientation, CornersLoadWhereTheyWere) {
  TTempDir dir;
  const std::wstring name = dir.Path(std::wstring(L"quadrants.") + GetParam());
  const TPictureFormat format = PictureFormatFromExtension(name);
  const TPixelBuffer src = Quadrants(40, 30);
  WritePictureFile(name, QuadrantFile(format, src));
  const TPixelBuffer got = LoadPictureFile(name);
  ASSERT_EQ(got.Width, 40);
  ASSERT_EQ(got.Height, 30);
  const int tolerance = format == TPictureFormat::Jpeg ? 8 : 0;
  for (auto [x, y] : {std::pair{0, 0}, std::pair{39, 0}, std::pair{0, 29}, std::pair{39, 29}, std::pair{10, 7},
                      std::pair{30, 7}, std::pair{10, 22}, std::pair{30, 22}}) {
    const TBgr e = At(src, x, y), a = At(got, x, y);
    EXPECT_NEAR(a.B, e.B, tolerance) << x << "," << y;
    EXPECT_NEAR(a.G, e.G, tolerance) << x << "," << y;
    EXPECT_NEAR(a.R, e.R, tolerance) << x << "," << y;
  }
  if (format != TPictureFormat::Jpeg) {
    EXPECT_EQ(CompareExact(src, got, false), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Orientation, ::testing::Values(L"bmp", L"png", L"jpg", L"jpeg", L"gif"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& i) {
                           std::string s;
                           for (const wchar_t* c = i.param; *c; ++c) s += char(*c);
                           return s;
                         });

TEST(Files, SaveBmpFileWritesWhatLoadReads) {
  TTempDir dir;
  const TPixelBuffer p = PatternPicture(9, 4, 24);
  SaveBmpFile(dir.Path(L"p.bmp"), p);
  EXPECT_EQ(CompareExact(p, LoadPictureFile(dir.Path(L"P.BMP")), false), "");
}

// ---- Formats --------------------------------------------------------------------------------

TEST(Formats, ChosenByExtension) {
  const std::pair<const wchar_t*, TPictureFormat> cases[] = {
      {L"a.bmp", TPictureFormat::Bmp},      {L"C:\\x\\A.BMP", TPictureFormat::Bmp},
      {L"photo.jpg", TPictureFormat::Jpeg}, {L"photo.JPEG", TPictureFormat::Jpeg},
      {L".png", TPictureFormat::Png},       {L"gif", TPictureFormat::Gif},
      {L"x.y.gif", TPictureFormat::Gif},    {L"icon.ico", TPictureFormat::Unknown},
      {L"C:\\d.png\\file", TPictureFormat::Unknown}, {L"noext", TPictureFormat::Unknown},
      {L"", TPictureFormat::Unknown},       {L"a.tiff", TPictureFormat::Unknown},
  };
  for (const auto& [name, format] : cases) EXPECT_EQ(PictureFormatFromExtension(name), format) << std::string(name, name + wcslen(name));
}

TEST(Formats, FilterStringListsEveryExtension) {
  const std::wstring filter = PictureFilterString(CodecFileTypes());
  EXPECT_EQ(filter,
            L"All pictures (*.bmp;*.jpg;*.jpeg;*.png;*.gif)|*.bmp;*.jpg;*.jpeg;*.png;*.gif|"
            L"Bitmaps (*.bmp)|*.bmp|JPEG pictures (*.jpg;*.jpeg)|*.jpg;*.jpeg|PNG pictures (*.png)|*.png|"
            L"GIF pictures (*.gif)|*.gif");
  auto types = CodecFileTypes();
  types.push_back({L"Icons", {L"ico"}});
  const std::wstring dialog = DialogFilter(PictureFilterString(types));
  ASSERT_GE(dialog.size(), 2u);
  EXPECT_EQ(dialog[dialog.size() - 1], L'\0');
  EXPECT_EQ(dialog[dialog.size() - 2], L'\0');
  EXPECT_EQ(std::wstring(dialog.c_str()), L"All pictures (*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.ico)");
  EXPECT_EQ(dialog.find(L'|'), std::wstring::npos);
}

TEST(Formats, DetectedFromContent) {
  const TPixelBuffer p = PatternPicture(4, 4, 24);
  const Bytes bmp = EncodeBmp(p), png = EncodePng(p), jpg = EncodeJpeg(p), gif = EncodeGif(SampleGif());
  EXPECT_EQ(DetectPictureFormat(bmp.data(), bmp.size()), TPictureFormat::Bmp);
  EXPECT_EQ(DetectPictureFormat(png.data(), png.size()), TPictureFormat::Png);
  EXPECT_EQ(DetectPictureFormat(jpg.data(), jpg.size()), TPictureFormat::Jpeg);
  EXPECT_EQ(DetectPictureFormat(gif.data(), gif.size()), TPictureFormat::Gif);
  EXPECT_EQ(DetectPictureFormat(png.data(), 3), TPictureFormat::Unknown);
}

// ---- Bad input ------------------------------------------------------------------------------

TEST(BadInput, WrongExtensionNamesTheRealFormat) {
  TTempDir dir;
  const std::wstring name = dir.Path(L"really-a-png.jpg");
  WritePictureFile(name, EncodePng(PatternPicture(4, 4, 24)));
  const std::wstring message = ErrorOf([&] { LoadPictureFile(name); });
  EXPECT_TRUE(Contains(message, L"really-a-png.jpg")) << std::string(message.begin(), message.end());
  EXPECT_TRUE(Contains(message, L"PNG")) << std::string(message.begin(), message.end());
  const std::wstring gifName = dir.Path(L"bitmap.gif");
  WritePictureFile(gifName, EncodeBmp(PatternPicture(4, 4, 24)));
  EXPECT_TRUE(Contains(ErrorOf([&] { LoadGifFile(gifName); }), L"BMP"));
  EXPECT_TRUE(Contains(ErrorOf([&] { LoadGifFile(dir.Path(L"x.png")); }), L"GIF"));
}

TEST(BadInput, UnknownExtensionMissingAndEmptyFiles) {
  TTempDir dir;
  WritePictureFile(dir.Path(L"a.tga"), Bytes{1, 2, 3});
  EXPECT_TRUE(Contains(ErrorOf([&] { LoadPictureFile(dir.Path(L"a.tga")); }), L"a.tga"));
  EXPECT_TRUE(Contains(ErrorOf([&] { LoadPictureFile(dir.Path(L"missing.png")); }), L"missing.png"));
  for (const wchar_t* name : {L"e.bmp", L"e.jpg", L"e.png", L"e.gif"}) {
    WritePictureFile(dir.Path(name), Bytes());
    EXPECT_TRUE(Contains(ErrorOf([&] { LoadPictureFile(dir.Path(name)); }), name));
  }
}

// Samples of every format for the truncation test.
std::vector<std::pair<TPictureFormat, Bytes>> Samples() {
  const TPixelBuffer p = PatternPicture(23, 17, 24);
  TBmpLayout s8;
  s8.Width = 9;
  s8.Height = 6;
  s8.BitCount = 8;
  for (int i = 0; i < 9; ++i) s8.Palette.push_back(std::uint32_t(i * 0x111111));
  for (int i = 0; i < 54; ++i) s8.Values.push_back(std::uint32_t(i % 9));
  return {{TPictureFormat::Bmp, EncodeBmp(p)},
          {TPictureFormat::Bmp, BuildBmp(s8)},
          {TPictureFormat::Jpeg, EncodeJpeg(p)},
          {TPictureFormat::Jpeg, EncodeJpeg(p, TJpegOptions{80, TJpegColour::Rgb, true})},
          {TPictureFormat::Png, EncodePng(p)},
          {TPictureFormat::Png, EncodePng(p, TPngOptions{TPngLayout::Rgb, true, true})},
          {TPictureFormat::Gif, EncodeGif(SampleGif())}};
}

TEST(BadInput, TruncatedFilesRaiseTheCodecError) {
  for (const auto& [format, file] : Samples()) {
    const Bytes whole = file;
    ASSERT_NO_THROW(DecodePicture(format, whole.data(), whole.size()));
    // (a BMP may lack the padding of its last row, so cut into its pixels)
    std::vector<std::size_t> cuts = {0, 1, 2, whole.size() - (format == TPictureFormat::Bmp ? 4 : 1)};
    for (int k = 1; k < 20; ++k) cuts.push_back(whole.size() * std::size_t(k) / 20);
    for (std::size_t cut : cuts) {
      const Bytes part(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
      const std::wstring message = ErrorOf([&] { DecodePicture(format, part.data(), part.size()); });
      EXPECT_NE(message, L"<no error>") << int(format) << " cut at " << cut << " of " << whole.size();
    }
  }
}

// Each decoder refuses a picture too large by its header, before it decodes or allocates anything: the
// refusal names the format's own check (a later allocation would refuse without it), and where the
// data after the header is cut, the refusal still comes instead of the read error.
TEST(BadInput, HugeDimensionsAreRefusedBeforeDecoding) {
  // BMP: 100000 x 100000 header on a few bytes.
  TBmpLayout s;
  s.Width = 2;
  s.Height = 2;
  s.Values.assign(4, 0);
  Bytes bmp = BuildBmp(s);
  for (int at : {18, 22}) {
    bmp[at] = 0xA0; bmp[at + 1] = 0x86; bmp[at + 2] = 0x01; bmp[at + 3] = 0;
  }
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeBmp(bmp.data(), bmp.size()); }), L"BMP picture is too large (100000 x 100000"));

  // JPEG: the frame header says 60000 x 60000.
  Bytes jpg = EncodeJpeg(PatternPicture(8, 8, 24));
  std::size_t sof = 0;
  for (std::size_t i = 2; i + 8 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
      sof = i;
      break;
    }
  ASSERT_NE(sof, 0u);
  for (int i = 5; i < 9; i += 2) {
    jpg[sof + std::size_t(i)] = 0xEA;
    jpg[sof + std::size_t(i) + 1] = 0x60;
  }
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeJpeg(jpg.data(), jpg.size()); }), L"JPEG picture is too large (60000 x 60000"));

  // PNG: IHDR of 60000 x 60000 with a correct checksum.
  Bytes png = EncodePng(PatternPicture(8, 8, 24));
  for (int at : {16, 20}) {
    png[std::size_t(at)] = 0; png[std::size_t(at) + 1] = 0; png[std::size_t(at) + 2] = 0xEA; png[std::size_t(at) + 3] = 0x60;
  }
  const std::uint32_t crc = std::uint32_t(crc32(0, &png[12], 17));
  for (int i = 0; i < 4; ++i) png[29 + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodePng(png.data(), png.size()); }), L"PNG picture is too large (60000 x 60000"));

  // GIF: a frame of 65535 x 65535, and a small frame on a 65535 x 65535 screen.
  TGifPicture g = SampleGif();
  g.Frames.resize(1);
  Bytes gif = EncodeGif(g);
  std::size_t desc = 0;
  for (std::size_t i = 13 + 12; i < gif.size(); ++i)
    if (gif[i] == 0x2C) {  // image descriptor after the global palette and extensions
      desc = i;
      break;
    }
  ASSERT_NE(desc, 0u);
  Bytes bigFrame = gif;
  for (int i = 5; i < 9; ++i) bigFrame[desc + std::size_t(i)] = 0xFF;
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeGif(bigFrame.data(), bigFrame.size()); }),
                       L"GIF frame picture is too large (65535 x 65535"));
  // The screen: refused before its frame, whose data is cut short after the image descriptor.
  Bytes bigScreen(gif.begin(), gif.begin() + std::ptrdiff_t(desc + 10));
  for (int i = 6; i < 10; ++i) bigScreen[std::size_t(i)] = 0xFF;
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeGif(bigScreen.data(), bigScreen.size()); }),
                       L"GIF picture is too large (65535 x 65535"));
}

TEST(BadInput, CorruptHeadersRaiseTheCodecError) {
  Bytes jpg = EncodeJpeg(PatternPicture(8, 8, 24));
  for (std::size_t i = 2; i + 4 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
      jpg[i + 4] = 13;  // sample precision
      break;
    }
  EXPECT_NE(ErrorOf([&] { DecodeJpeg(jpg.data(), jpg.size()); }), L"<no error>");
  Bytes png = EncodePng(PatternPicture(8, 8, 24));
  png[20] ^= 0x40;  // IHDR no longer matches its checksum
  EXPECT_NE(ErrorOf([&] { DecodePng(png.data(), png.size()); }), L"<no error>");
  Bytes gif = EncodeGif(SampleGif());
  gif[3] = '9';  // "GIF99a"
  EXPECT_NE(ErrorOf([&] { DecodeGif(gif.data(), gif.size()); }), L"<no error>");
  const Bytes junk(100, 0x42);
  for (TPictureFormat f : {TPictureFormat::Bmp, TPictureFormat::Jpeg, TPictureFormat::Png, TPictureFormat::Gif})
    EXPECT_NE(ErrorOf([&] { DecodePicture(f, junk.data(), junk.size()); }), L"<no error>");
}

// Committed private memory of this process (Wine reports it as PagefileUsage, not PrivateUsage).
std::size_t CommittedBytes() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc));
  return pmc.PagefileUsage;
}

TEST(BadInput, FailedAndSuccessfulDecodesLeakNothing) {
  // Each failure leaves the libraries' decoder state behind if an error path forgets to free it
  // (tens of kilobytes for libjpeg, libpng with zlib, giflib's LZW tables).
  std::vector<std::pair<TPictureFormat, Bytes>> inputs;
  for (const auto& [format, file] : Samples()) {
    inputs.push_back({format, file});
    inputs.push_back({format, Bytes(file.begin(), file.begin() + std::ptrdiff_t(file.size() * 2 / 3))});
  }
  auto round = [&](int times) {
    for (int i = 0; i < times; ++i)
      for (const auto& [format, data] : inputs) {
        try {
          DecodePicture(format, data.data(), data.size());
        } catch (const ECodecError&) {
        }
      }
  };
  round(50);  // warm up the heap
  const std::size_t before = CommittedBytes();
  round(500);
  const std::size_t after = CommittedBytes();
  ASSERT_GT(before, 0u);
  EXPECT_LT(after, before + 4 * 1024 * 1024) << "before " << before << ", after " << after;
}

// The segments of a JPEG up to its first scan, the first scan (header and entropy-coded data),
// and the rest.
void SplitAtFirstScan(const Bytes& jpg, Bytes& head, Bytes& scan, Bytes& tail) {
  std::size_t at = 2;
  while (at + 4 <= jpg.size() && !(jpg[at] == 0xFF && jpg[at + 1] == 0xDA))
    at += 2 + std::size_t(jpg[at + 2] << 8 | jpg[at + 3]);
  std::size_t end = at + 2 + std::size_t(jpg[at + 2] << 8 | jpg[at + 3]);
  while (end + 1 < jpg.size() && !(jpg[end] == 0xFF && jpg[end + 1] != 0 && (jpg[end + 1] < 0xD0 || jpg[end + 1] > 0xD7)))
    ++end;
  head.assign(jpg.begin(), jpg.begin() + std::ptrdiff_t(at));
  scan.assign(jpg.begin() + std::ptrdiff_t(at), jpg.begin() + std::ptrdiff_t(end));
  tail.assign(jpg.begin() + std::ptrdiff_t(end), jpg.end());
}

TEST(BadInput, JpegWithEndlessScansIsRefused) {
  // A progressive file may repeat a scan: each repetition costs a pass over the whole picture.
  const Bytes jpg = EncodeJpeg(PatternPicture(64, 64, 24), TJpegOptions{80, TJpegColour::Rgb, true});
  Bytes head, scan, tail;
  SplitAtFirstScan(jpg, head, scan, tail);
  ASSERT_GT(scan.size(), 10u);
  auto repeated = [&](int times) {
    Bytes b = head;
    for (int i = 0; i < times; ++i) b.insert(b.end(), scan.begin(), scan.end());
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const Bytes some = repeated(20), endless = repeated(2000);
  EXPECT_EQ(DecodeJpeg(some.data(), some.size()).Width, 64);
  EXPECT_TRUE(Contains(ErrorOf([&] { DecodeJpeg(endless.data(), endless.size()); }), L"scans"));
}

}  // namespace
}  // namespace kivo::test
