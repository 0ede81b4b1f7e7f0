// Damaged pictures through the graphics' own entry points (bitmaps, icons, GIF, PNG, JPEG) and
// through TPicture with right and wrong extensions. Every input loads or raises EInvalidGraphic;
// inputs end right before an inaccessible page, so a read past the buffer crashes the test.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

#include "CodecSamples.h"
#include "FuzzSupport.h"
#include "Pictures.h"

namespace kivo::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const struct TCrashReporter {
  TCrashReporter() { InstallCrashReport(); }
} crashReporter;

Bytes Mutate(const Bytes& sample, std::mt19937& rng) {
  Bytes b = sample;
  switch (rng() % 4) {
    case 0:  // truncate
      b.resize(rng() % (b.size() + 1));
      break;
    case 1:  // flip some bytes
      for (int i = 0, n = 1 + int(rng() % 8); i < n && !b.empty(); ++i) b[rng() % b.size()] ^= std::uint8_t(1 + rng() % 255);
      break;
    case 2:  // a header field made huge or zero
      if (b.size() > 4) {
        std::size_t at = rng() % std::min<std::size_t>(b.size() - 4, 64);
        std::uint32_t v = rng() % 2 ? 0xFFFFFFFFu - (rng() % 16) : (rng() % 2 ? 0 : 0x7FFF0000u);
        std::memcpy(b.data() + at, &v, 4);
      }
      break;
    default:  // garbage after a real start
      b.resize(std::min<std::size_t>(b.size(), 8 + rng() % 64));
      for (int i = 0, n = int(rng() % 200); i < n; ++i) b.push_back(std::uint8_t(rng()));
  }
  return b;
}

// Loads every input; answers how many were refused. Any other exception fails the test.
int Fuzz(const char* name, const Bytes& sample, int rounds, const std::function<TGraphic*()>& make) {
  std::mt19937 rng(0x5EED + static_cast<unsigned>(sample.size()));
  int refused = 0;
  for (int i = 0; i < rounds; ++i) {
    Bytes input = i == 0 ? sample : Mutate(sample, rng);
    std::snprintf(gCurrentInput, sizeof(gCurrentInput), "%s #%d (%zu bytes)", name, i, input.size());
    TGuardedCopy copy(input);
    TObjectPtr<TGraphic> g(make());
    try {
      g->LoadFromBytes(copy.Data(), copy.Size());
      if (!g->Empty()) {  // what loaded can be drawn
        TBitmap target(8, 8, TPixelFormat::pf24bit);
        target.Canvas()->StretchDraw(RECT{0, 0, 8, 8}, g.get());
      }
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(e.Message().empty());
      ++refused;
    }
  }
  return refused;
}

Bytes IconFile() {
  TBitmap color(16, 16, TPixelFormat::pf24bit);
  color.Canvas()->Brush()->SetColor(clRed);
  color.Canvas()->FillRect(RECT{2, 2, 9, 9});
  TBitmap mask(16, 16, TPixelFormat::pf1bit);
  ICONINFO ii{TRUE, 0, 0, mask.Handle(), color.Handle()};
  TIcon icon;
  icon.SetHandle(::CreateIconIndirect(&ii));
  return icon.SaveToBytes();
}
Bytes BitmapFile(TPixelFormat f) {
  TBitmap b(9, 5, f);
  b.Canvas()->SetPixel(3, 3, clRed);
  return b.SaveToBytes();
}

TEST(PictureFuzz, BitmapsIconsAndImagesRefuseDamageCleanly) {
  int refused = 0;
  refused += Fuzz("bmp8", BitmapFile(TPixelFormat::pf8bit), 3000, [] { return new TBitmap(); });
  refused += Fuzz("bmp24", BitmapFile(TPixelFormat::pf24bit), 3000, [] { return new TBitmap(); });
  refused += Fuzz("bmp16", BitmapFile(TPixelFormat::pf16bit), 800, [] { return new TBitmap(); });
  refused += Fuzz("ico", IconFile(), 3000, [] { return new TIcon(); });
  TPngOptions o;
  refused += Fuzz("ico-png", [&] {
    Bytes png = EncodePng(PatternPicture(16, 16, 32), o);
    Bytes ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0};
    std::uint32_t n = static_cast<std::uint32_t>(png.size()), off = 22;
    ico.insert(ico.end(), reinterpret_cast<std::uint8_t*>(&n), reinterpret_cast<std::uint8_t*>(&n) + 4);
    ico.insert(ico.end(), reinterpret_cast<std::uint8_t*>(&off), reinterpret_cast<std::uint8_t*>(&off) + 4);
    ico.insert(ico.end(), png.begin(), png.end());
    return ico;
  }(), 600, [] { return new TIcon(); });
  refused += Fuzz("gif", EncodeGif(SampleGif()), 4000, [] { return new TGIFImage(); });
  refused += Fuzz("png", EncodePng(PatternPicture(12, 9, 32)), 800, [] { return new TPngImage(); });
  refused += Fuzz("jpeg", EncodeJpeg(CornerPicture(24, 16)), 800, [] { return new TJPEGImage(); });
  EXPECT_GT(refused, 1000);  // the damage was real
}

TEST(PictureFuzz, GarbageUnderEveryExtensionRaisesEInvalidGraphic) {
  TTempDir dir;
  std::mt19937 rng(77);
  const Bytes gif = EncodeGif(SampleGif());
  int n = 0;
  for (const wchar_t* ext : {L"bmp", L"ico", L"jpg", L"png", L"gif"}) {
    for (int i = 0; i < 40; ++i) {
      Bytes b = i % 2 ? Mutate(gif, rng) : Bytes(rng() % 300);
      for (auto& v : b)
        if (i % 2 == 0) v = std::uint8_t(rng());
      const std::wstring file = dir.Path(L"f" + std::to_wstring(n++) + L"." + ext);
      WritePictureFile(file, b);
      TPicture pic;
      bool raised = false;
      try {
        pic.LoadFromFile(file);
      } catch (const EInvalidGraphic& e) {
        raised = true;
        EXPECT_NE(e.Message().find(file), std::wstring::npos);
      }
      // Only a damaged GIF under its own extension may still be a picture.
      const bool mayLoad = i % 2 == 1 && std::wstring(ext) == L"gif";
      if (!mayLoad) {
        EXPECT_TRUE(raised) << "no error for " << std::string(file.begin(), file.end());
      }
    }
  }
}

}  // namespace
}  // namespace kivo::test
