// Feeds each decoder thousands of damaged inputs (mutated samples made here, and garbage) from
// fixed seeds. Every input must either decode or raise ECodecError. Inputs sit right before an
// inaccessible page, so a read past the end of a buffer crashes the test.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cstdio>
#include <functional>
#include <random>
#include <zlib.h>

#include "CodecSamples.h"
#include "FuzzSupport.h"
#include "PictureCodecs.h"

namespace kivo::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const struct TCrashReporter {
  TCrashReporter() { InstallCrashReport(); }
} crashReporter;

Bytes Mutate(const Bytes& sample, std::mt19937& rng) {
  Bytes b = sample;
  auto pick = [&](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
  const int rounds = 1 + int(rng() % 4);
  for (int r = 0; r < rounds && !b.empty(); ++r) {
    switch (rng() % 8) {
      case 0:  // flip one bit
        b[pick(b.size())] ^= std::uint8_t(1u << (rng() % 8));
        break;
      case 1:  // random byte
        b[pick(b.size())] = std::uint8_t(rng());
        break;
      case 2: {  // extreme values into a run of bytes (sizes, counts, lengths)
        const std::size_t at = pick(b.size());
        const std::uint8_t v = (rng() & 1) ? 0xFF : 0x00;
        for (std::size_t i = at; i < std::min(b.size(), at + 1 + pick(4)); ++i) b[i] = v;
        break;
      }
      case 3:  // truncate
        b.resize(pick(b.size()));
        break;
      case 4: {  // remove a span
        const std::size_t at = pick(b.size()), n = std::min(b.size() - at, 1 + pick(64));
        b.erase(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
        break;
      }
      case 5: {  // duplicate a span
        const std::size_t at = pick(b.size()), n = std::min(b.size() - at, 1 + pick(64));
        const Bytes span(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
        b.insert(b.begin() + std::ptrdiff_t(pick(b.size())), span.begin(), span.end());
        break;
      }
      case 6: {  // insert random bytes
        Bytes junk(1 + pick(32));
        for (auto& c : junk) c = std::uint8_t(rng());
        b.insert(b.begin() + std::ptrdiff_t(pick(b.size())), junk.begin(), junk.end());
        break;
      }
      default:  // header damage: the first 64 bytes hold most sizes and counts
        b[pick(std::min<std::size_t>(b.size(), 64))] = std::uint8_t(rng());
        break;
    }
  }
  return b;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
void PutBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (24 - 8 * i));
}

// Gives every whole chunk of a PNG a correct checksum, so that damage reaches past the CRC check.
Bytes FixPngCrcs(Bytes b) {
  std::size_t at = 8;
  while (at + 12 <= b.size()) {
    const std::uint32_t length = Be32(&b[at]);
    if (length > b.size() - at - 12) break;
    PutBe32(&b[at + 8 + length], std::uint32_t(crc32(0, &b[at + 4], uInt(length + 4))));
    at += 12 + length;
  }
  return b;
}

// Damages the uncompressed rows of a PNG (filter bytes, lengths) and packs them again.
Bytes MutatePngRows(const Bytes& png, std::mt19937& rng) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = Be32(&png[at]);
    if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) {
      Bytes raw(1 << 20);
      uLongf rawSize = uLongf(raw.size());
      if (uncompress(raw.data(), &rawSize, &png[at + 8], length) != Z_OK) return png;
      raw.resize(rawSize);
      const Bytes damaged = Mutate(raw, rng);
      Bytes packed(compressBound(uLong(damaged.size())) + 16);
      uLongf packedSize = uLongf(packed.size());
      compress(packed.data(), &packedSize, damaged.data(), uLong(damaged.size()));
      packed.resize(packedSize);
      Bytes out(png.begin(), png.begin() + std::ptrdiff_t(at));
      out.resize(out.size() + 8);
      PutBe32(&out[at], std::uint32_t(packed.size()));
      std::memcpy(&out[at + 4], "IDAT", 4);
      out.insert(out.end(), packed.begin(), packed.end());
      out.resize(out.size() + 4);
      out.insert(out.end(), png.begin() + std::ptrdiff_t(at + 12 + length), png.end());
      return FixPngCrcs(out);
    }
    at += 12 + length;
  }
  return png;
}

struct TFuzzTarget {
  const char* Name;
  std::function<void(const std::uint8_t*, std::size_t)> Decode;
  std::function<std::vector<Bytes>()> Samples;
  Bytes Signature;  // garbage inputs get it in front half of the time
  std::function<Bytes(const Bytes&, std::mt19937&)> Damage = Mutate;
};

void CheckPicture(const TPixelBuffer& p) {
  ASSERT_GT(p.Width, 0);
  ASSERT_GT(p.Height, 0);
  ASSERT_EQ(p.Bits.size(), p.Stride() * std::size_t(p.Height));
}

std::vector<TFuzzTarget> Targets() {
  const TPixelBuffer small = PatternPicture(21, 14, 24);
  const TPixelBuffer alpha = PatternPicture(9, 11, 32);
  return {
      {"Bmp", [](const std::uint8_t* d, std::size_t n) { CheckPicture(DecodeBmp(d, n)); },
       [=] {
         std::vector<Bytes> s = {EncodeBmp(small)};
         TBmpLayout p;
         p.Width = 7;
         p.Height = -5;
         p.BitCount = 4;
         p.Palette.assign(16, 0x123456);
         for (int i = 0; i < 35; ++i) p.Values.push_back(std::uint32_t(i % 16));
         s.push_back(BuildBmp(p));
         TBmpLayout q;
         q.Width = 6;
         q.Height = 4;
         q.BitCount = 32;
         q.Compression = 3;
         q.HeaderSize = 124;
         q.Masks[0] = 0xFF0000; q.Masks[1] = 0xFF00; q.Masks[2] = 0xFF; q.Masks[3] = 0xFF000000;
         for (int i = 0; i < 24; ++i) q.Values.push_back(std::uint32_t(i) * 0x01020304u);
         s.push_back(BuildBmp(q));
         return s;
       },
       Bytes{'B', 'M'}},
      {"Dib", [](const std::uint8_t* d, std::size_t n) { CheckPicture(DecodeDib(d, n)); },
       [=] {
         const Bytes bmp = EncodeBmp(small);
         return std::vector<Bytes>{Bytes(bmp.begin() + 14, bmp.end())};
       },
       Bytes{40, 0, 0, 0}},
      {"Jpeg", [](const std::uint8_t* d, std::size_t n) { CheckPicture(DecodeJpeg(d, n)); },
       [=] {
         return std::vector<Bytes>{EncodeJpeg(small, TJpegOptions{75}), EncodeJpeg(small, TJpegOptions{90, TJpegColour::Rgb, true}),
                                   EncodeJpeg(small, TJpegOptions{85, TJpegColour::Grey}),
                                   EncodeJpeg(alpha, TJpegOptions{85, TJpegColour::Cmyk})};
       },
       Bytes{0xFF, 0xD8, 0xFF}},
      {"Png", [](const std::uint8_t* d, std::size_t n) { CheckPicture(DecodePng(d, n)); },
       [=] {
         return std::vector<Bytes>{EncodePng(alpha), EncodePng(small, TPngOptions{TPngLayout::Rgb, true, true}),
                                   EncodePng(PatternPicture(5, 5, 24), TPngOptions{TPngLayout::Palette, false, false}),
                                   EncodePng(small, TPngOptions{TPngLayout::Grey, false, true})};
       },
       Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A},
       [](const Bytes& png, std::mt19937& rng) {
         switch (rng() % 3) {
           case 0: return Mutate(png, rng);
           case 1: return FixPngCrcs(Mutate(png, rng));
           default: return MutatePngRows(png, rng);
         }
       }},
      {"Gif",
       [](const std::uint8_t* d, std::size_t n) {
         const TGifPicture g = DecodeGif(d, n);
         for (const TGifFrame& f : g.Frames) ASSERT_EQ(f.Indices.size(), std::size_t(f.Width) * std::size_t(f.Height));
         if (!g.Frames.empty()) CheckPicture(ComposeGifFrame(g, g.FrameCount() - 1));
       },
       [] {
         TGifPicture two = SampleGif();
         two.Frames.resize(2);
         two.LoopCount = -1;
         return std::vector<Bytes>{EncodeGif(SampleGif()), EncodeGif(two)};
       },
       Bytes{'G', 'I', 'F', '8', '9', 'a'}},
  };
}

class Fuzz : public ::testing::TestWithParam<int> {};

TEST_P(Fuzz, EveryInputDecodesOrRaisesTheCodecError) {
  const TFuzzTarget target = Targets()[std::size_t(GetParam())];
  const std::vector<Bytes> samples = target.Samples();
  std::mt19937 rng(0xC0DEC + unsigned(GetParam()));
  int decoded = 0, refused = 0;
  auto feed = [&](const Bytes& input, const char* kind, int n) {
    const TGuardedCopy copy(input);
    std::snprintf(gCurrentInput, sizeof(gCurrentInput), "%s %s input %d (%zu bytes)", target.Name, kind, n, input.size());
    try {
      target.Decode(copy.Data(), copy.Size());
      ++decoded;
    } catch (const ECodecError& e) {
      ASSERT_FALSE(e.Message().empty());
      ++refused;
    } catch (const std::exception& e) {
      FAIL() << kind << " input " << n << " raised another exception: " << e.what();
    }
  };
  {
    const TGuardedCopy probe(samples[0]);
    ASSERT_TRUE(IsBadReadPtr(probe.Data() + probe.Size(), 1)) << "the byte after an input must be unreadable";
    ASSERT_FALSE(IsBadReadPtr(probe.Data(), probe.Size()));
  }
  for (const Bytes& s : samples) feed(s, "sample", 0);
  ASSERT_EQ(decoded, int(samples.size())) << "the undamaged samples must decode";
  const int mutations = 2400 / int(samples.size());
  for (const Bytes& s : samples)
    for (int i = 0; i < mutations; ++i) {
      feed(target.Damage(s, rng), "mutated", i);
      if (HasFatalFailure()) return;
    }
  for (int i = 0; i < 300; ++i) {
    Bytes junk(rng() % 3000);
    for (auto& c : junk) c = std::uint8_t(rng());
    if (i % 2) junk.insert(junk.begin(), target.Signature.begin(), target.Signature.end());
    feed(junk, "garbage", i);
    if (HasFatalFailure()) return;
  }
  // Both outcomes must have happened: otherwise the inputs did not exercise the decoder.
  EXPECT_GT(decoded, int(samples.size()));
  EXPECT_GT(refused, 100);
  std::printf("%s: %d decoded, %d refused\n", target.Name, decoded, refused);
}

INSTANTIATE_TEST_SUITE_P(Decoders, Fuzz, ::testing::Range(0, 5),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(Targets()[std::size_t(i.param)].Name); });

}  // namespace
}  // namespace kivo::test
