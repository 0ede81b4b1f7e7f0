// Multi-frame GIF: frames, delays, disposal, transparency, positions, palettes, loop count,
// composition and frame removal. giflib's own whole-file reader serves as an independent check.
#include <gtest/gtest.h>

#include <gif_lib.h>

#include <cstring>
#include <memory>

#include "CodecSamples.h"
#include "PictureCodecs.h"

namespace kivo::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A palette as a GIF file stores it: padded with black to a power of two (at least 2).
TGifPalette Padded(TGifPalette p) {
  if (p.empty()) return p;
  std::size_t n = 2;
  while (n < p.size()) n *= 2;
  p.resize(n);
  return p;
}

void ExpectSameGif(const TGifPicture& e, const TGifPicture& a) {
  EXPECT_EQ(a.Width, e.Width);
  EXPECT_EQ(a.Height, e.Height);
  EXPECT_EQ(a.GlobalPalette, Padded(e.GlobalPalette));
  EXPECT_EQ(a.BackgroundIndex, e.BackgroundIndex);
  EXPECT_EQ(a.LoopCount, e.LoopCount);
  ASSERT_EQ(a.FrameCount(), e.FrameCount());
  for (std::size_t i = 0; i < e.FrameCount(); ++i) {
    const TGifFrame &fe = e.Frames[i], &fa = a.Frames[i];
    SCOPED_TRACE("frame " + std::to_string(i));
    EXPECT_EQ(fa.Left, fe.Left);
    EXPECT_EQ(fa.Top, fe.Top);
    EXPECT_EQ(fa.Width, fe.Width);
    EXPECT_EQ(fa.Height, fe.Height);
    EXPECT_EQ(fa.Indices, fe.Indices);
    EXPECT_EQ(fa.LocalPalette, Padded(fe.LocalPalette));
    EXPECT_EQ(fa.Interlaced, fe.Interlaced);
    EXPECT_EQ(fa.HasControl, fe.HasControl);
    EXPECT_EQ(fa.Delay, fe.Delay);
    EXPECT_EQ(fa.Disposal, fe.Disposal);
    EXPECT_EQ(fa.TransparentIndex, fe.TransparentIndex);
  }
}

TEST(Gif, FramesSurviveARoundTrip) {
  for (int loop : {-1, 0, 7}) {
    TGifPicture g = SampleGif();
    g.LoopCount = loop;
    const Bytes file = EncodeGif(g);
    ASSERT_EQ(std::memcmp(file.data(), "GIF89a", 6), 0);
    ExpectSameGif(g, DecodeGif(file.data(), file.size()));
  }
}

struct TSlurped {
  struct TClose {
    void operator()(GifFileType* g) const {
      int e = 0;
      DGifCloseFile(g, &e);
    }
  };
  std::unique_ptr<GifFileType, TClose> gif;
};

TEST(Gif, FileMatchesGiflibsOwnReader) {
  // giflib's whole-file reader de-interlaces by itself: the interlaced frame's rows and the
  // control blocks must come out the same as our decoder's.
  const TGifPicture g = SampleGif();
  const Bytes file = EncodeGif(g);
  struct TSource {
    const Bytes* data;
    std::size_t pos;
  } src{&file, 0};
  int error = 0;
  TSlurped s;
  s.gif.reset(DGifOpen(&src, [](GifFileType* f, GifByteType* into, int n) {
    TSource* r = static_cast<TSource*>(f->UserData);
    const int take = int(std::min<std::size_t>(std::size_t(n), r->data->size() - r->pos));
    std::memcpy(into, r->data->data() + r->pos, std::size_t(take));
    r->pos += std::size_t(take);
    return take;
  }, &error));
  ASSERT_TRUE(s.gif);
  ASSERT_EQ(DGifSlurp(s.gif.get()), GIF_OK);
  ASSERT_EQ(s.gif->ImageCount, 3);
  for (int i = 0; i < 3; ++i) {
    const SavedImage& img = s.gif->SavedImages[i];
    const TGifFrame& f = g.Frames[std::size_t(i)];
    EXPECT_EQ(img.ImageDesc.Interlace, f.Interlaced);
    EXPECT_EQ(Bytes(img.RasterBits, img.RasterBits + f.Width * f.Height), f.Indices) << "frame " << i;
    GraphicsControlBlock gcb{};
    const bool has = DGifSavedExtensionToGCB(s.gif.get(), i, &gcb) == GIF_OK;
    EXPECT_EQ(has, f.HasControl);
    if (has) {
      EXPECT_EQ(gcb.DelayTime, f.Delay);
      EXPECT_EQ(gcb.DisposalMode, f.Disposal);
      EXPECT_EQ(gcb.TransparentColor, f.TransparentIndex);
    }
  }
}

TEST(Gif, FramesCanBeRemoved) {
  TGifPicture g = SampleGif();
  const TGifFrame last = g.Frames[2];
  g.RemoveFrame(1);
  ASSERT_EQ(g.FrameCount(), 2u);
  EXPECT_EQ(g.Frames[1].Indices, last.Indices);
  EXPECT_EQ(g.Frames[1].Left, last.Left);
  EXPECT_THROW(g.RemoveFrame(2), ECodecError);
  const Bytes file = EncodeGif(g);
  ExpectSameGif(g, DecodeGif(file.data(), file.size()));
  g.RemoveFrame(0);
  g.RemoveFrame(0);
  EXPECT_EQ(g.FrameCount(), 0u);
  EXPECT_THROW(ComposeGifFrame(g, 0), ECodecError);
}

TEST(Gif, FirstControlExtensionOfAFrameCounts) {
  // Two control extensions before one frame: the first one is the frame's.
  TGifPicture g = SampleGif();
  g.Frames.resize(1);
  Bytes file = EncodeGif(g);
  const std::uint8_t gce[] = {0x21, 0xF9, 4, 3 << 2 | 1, 99, 0, 2, 0};
  std::size_t at = 0;
  for (std::size_t i = 13 + 12; i + 1 < file.size(); ++i)
    if (file[i] == 0x21 && file[i + 1] == 0xF9) {
      at = i + 8;  // after the frame's own extension
      break;
    }
  ASSERT_NE(at, 0u);
  file.insert(file.begin() + std::ptrdiff_t(at), gce, gce + sizeof gce);
  const TGifPicture d = DecodeGif(file.data(), file.size());
  ASSERT_EQ(d.FrameCount(), 1u);
  EXPECT_EQ(d.Frames[0].Delay, 10);
  EXPECT_EQ(d.Frames[0].Disposal, int(gdKeep));
  EXPECT_EQ(d.Frames[0].TransparentIndex, -1);
}

TEST(Gif, ScreenOfNoSizeTakesTheFramesExtent) {
  Bytes file = EncodeGif(SampleGif());
  std::memset(&file[6], 0, 4);
  const TGifPicture d = DecodeGif(file.data(), file.size());
  EXPECT_EQ(d.Width, 20);
  EXPECT_EQ(d.Height, 16);
}

// ---- Composition ----------------------------------------------------------------------------

// Screen 6 x 4, palette black, red, green, blue, white; background white.
//   frame 0: whole screen red, keep;
//   frame 1: 2 x 2 green at (1,1), its top-left pixel transparent, then restore to background;
//   frame 2: 2 x 2 blue at (4,0), then restore to previous;
//   frame 3: 1 x 1 black at (0,3), no transparency;
//   frame 4: 3 x 3 green at (5,3), mostly outside the screen.
TGifPicture ComposeSample() {
  TGifPicture g;
  g.Width = 6;
  g.Height = 4;
  g.GlobalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  g.BackgroundIndex = 4;
  auto frame = [](int l, int t, int w, int h, std::uint8_t index, int disposal, int transparent) {
    TGifFrame f;
    f.Left = l; f.Top = t; f.Width = w; f.Height = h;
    f.Indices.assign(std::size_t(w * h), index);
    f.HasControl = true;
    f.Delay = 5;
    f.Disposal = disposal;
    f.TransparentIndex = transparent;
    return f;
  };
  g.Frames.push_back(frame(0, 0, 6, 4, 1, gdKeep, -1));
  g.Frames.push_back(frame(1, 1, 2, 2, 2, gdBackground, 0));
  g.Frames[1].Indices[0] = 0;
  g.Frames.push_back(frame(4, 0, 2, 2, 3, gdPrevious, -1));
  g.Frames.push_back(frame(0, 3, 1, 1, 0, gdNone, -1));
  g.Frames.push_back(frame(5, 3, 3, 3, 2, gdNone, -1));
  return g;
}

// Expected canvases, one letter per pixel: R red, G green, B blue, K black, _ background.
const char* const kExpected[5][4] = {
    {"RRRRRR", "RRRRRR", "RRRRRR", "RRRRRR"},
    {"RRRRRR", "RRGRRR", "RGGRRR", "RRRRRR"},
    {"RRRRBB", "R__RBB", "R__RRR", "RRRRRR"},
    {"RRRRRR", "R__RRR", "R__RRR", "KRRRRR"},
    {"RRRRRR", "R__RRR", "R__RRR", "KRRRRG"},
};

std::string Letters(const TPixelBuffer& canvas, const TGifPicture& g, TGifBackground background) {
  std::string s;
  for (int y = 0; y < canvas.Height; ++y) {
    for (int x = 0; x < canvas.Width; ++x) {
      const std::uint8_t* p = canvas.Pixel(x, y);
      const TGifColour c{p[2], p[1], p[0]};
      char letter = '?';
      if (background == TGifBackground::Transparent && p[3] == 0 && c == TGifColour{})
        letter = '_';
      else if (p[3] != 255)
        letter = '?';
      else if (background == TGifBackground::Colour && c == g.GlobalPalette[4])
        letter = '_';
      else if (c == g.GlobalPalette[0]) letter = 'K';
      else if (c == g.GlobalPalette[1]) letter = 'R';
      else if (c == g.GlobalPalette[2]) letter = 'G';
      else if (c == g.GlobalPalette[3]) letter = 'B';
      s += letter;
    }
    s += '/';
  }
  return s;
}

std::string ExpectedLetters(int frame) {
  std::string s;
  for (const char* row : kExpected[frame]) s += std::string(row) + '/';
  return s;
}

class GifCompose : public ::testing::TestWithParam<TGifBackground> {};

TEST_P(GifCompose, FollowsDisposalAndTransparency) {
  const TGifPicture g = ComposeSample();
  TGifComposer composer(g, GetParam());
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(composer.Next());
    EXPECT_EQ(composer.FrameIndex(), std::size_t(i));
    EXPECT_TRUE(composer.Canvas().HasAlpha);
    EXPECT_EQ(Letters(composer.Canvas(), g, GetParam()), ExpectedLetters(i)) << "frame " << i;
    EXPECT_EQ(Letters(ComposeGifFrame(g, std::size_t(i), GetParam()), g, GetParam()), ExpectedLetters(i)) << "frame " << i;
  }
  EXPECT_FALSE(composer.Next());
}

INSTANTIATE_TEST_SUITE_P(Backgrounds, GifCompose,
                         ::testing::Values(TGifBackground::Transparent, TGifBackground::Colour),
                         [](const ::testing::TestParamInfo<TGifBackground>& i) {
                           return std::string(i.param == TGifBackground::Transparent ? "Transparent" : "Colour");
                         });

TEST(Gif, CompositionSurvivesTheFile) {
  const TGifPicture g = ComposeSample();
  const Bytes file = EncodeGif(g);
  const TGifPicture d = DecodeGif(file.data(), file.size());
  ExpectSameGif(g, d);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(Letters(ComposeGifFrame(d, std::size_t(i)), d, TGifBackground::Transparent), ExpectedLetters(i));
  // As a still picture a GIF shows its first frame.
  const TPixelBuffer still = DecodePicture(TPictureFormat::Gif, file.data(), file.size());
  EXPECT_EQ(Letters(still, d, TGifBackground::Transparent), ExpectedLetters(0));
}

TEST(Gif, LocalPaletteAndOutOfRangeIndices) {
  TGifPicture g = SampleGif();
  const TPixelBuffer second = ComposeGifFrame(g, 1);
  // Frame 1 pixel (1,1) at screen (4,3) has index (1*1+1) % 8 = 2 of its local palette.
  const std::uint8_t* p = second.Pixel(4, 3);
  EXPECT_EQ((TGifColour{p[2], p[1], p[0]}), g.Frames[1].LocalPalette[2]);
  // Frame 1 pixel (0,0) is index 0, transparent: frame 0 shows through at screen (3,2).
  p = second.Pixel(3, 2);
  EXPECT_EQ((TGifColour{p[2], p[1], p[0]}), g.GlobalPalette[(3 + 2 * 2) % 4]);
  // An index beyond the palette draws black instead of reading past it; the encoder refuses it.
  g.GlobalPalette.resize(2);
  g.Frames.resize(1);
  const TPixelBuffer first = ComposeGifFrame(g, 0);
  p = first.Pixel(3, 0);  // index 3
  EXPECT_EQ(p[0] | p[1] | p[2], 0);
  EXPECT_EQ(p[3], 255);
  EXPECT_THROW(EncodeGif(g), ECodecError);
}

}  // namespace
}  // namespace kivo::test
