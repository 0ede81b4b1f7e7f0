// PNG through libpng. libpng reports errors by longjmp: the functions that call setjmp
// (RunDecode, RunEncode) and the callbacks hold no object with a destructor; pixel memory and row
// pointers are owned by the C++ caller one frame up and sized by noexcept helpers.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <new>

#include "CodecInternal.h"

namespace kivo {

using namespace codec_detail;

namespace {

struct TMessage {
  char text[256];
};

void ErrorFn(png_structp png, png_const_charp message) {
  TMessage* m = static_cast<TMessage*>(png_get_error_ptr(png));
  std::snprintf(m->text, sizeof m->text, "%s", message ? message : "unknown error");
  png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp) {}

struct TDecodeJob {
  TMessage message;
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
  TPixelBuffer* out;
  std::vector<png_bytep>* rows;
};

void ReadFn(png_structp png, png_bytep into, png_size_t length) {
  TDecodeJob* job = static_cast<TDecodeJob*>(png_get_io_ptr(png));
  if (job->size - job->pos < length) png_error(png, "the file is truncated");
  std::memcpy(into, job->data + job->pos, length);
  job->pos += length;
}

bool AllocateRows(std::vector<png_bytep>& rows, TPixelBuffer& picture, char* message, std::size_t size) noexcept {
  try {
    rows.resize(std::size_t(picture.Height));
    for (int y = 0; y < picture.Height; ++y) rows[std::size_t(y)] = picture.Row(y);
    return true;
  } catch (...) {
    std::snprintf(message, size, "Not enough memory");
    return false;
  }
}

bool RunDecode(TDecodeJob& job) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job.message, ErrorFn, WarningFn);
  if (!png) {
    std::snprintf(job.message.text, sizeof job.message.text, "Not enough memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(job.message.text, sizeof job.message.text, "Not enough memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &job, ReadFn);
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
  char refusal[200];
  if (!DimensionsOk(width, height, "PNG", refusal, sizeof refusal)) png_error(png, refusal);

  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_scale_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != png_size_t(width) * 4) png_error(png, "unexpected pixel layout");

  if (!AllocateNoThrow(*job.out, int(width), int(height), 32, job.message.text, sizeof job.message.text) ||
      !AllocateRows(*job.rows, *job.out, job.message.text, sizeof job.message.text)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  job.out->HasAlpha = true;
  job.out->SourceBitCount = png_get_bit_depth(png, info) * png_get_channels(png, info);
  png_read_image(png, job.rows->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

struct TEncodeJob {
  TMessage message;
  std::vector<std::uint8_t>* output;
  png_uint_32 width, height;
  int depth, colourType;
  bool interlaced;
  png_bytepp rows;
  const png_color* palette;
  int paletteSize;
  const png_byte* alphas;
  int alphaCount;
};

bool AppendNoThrow(std::vector<std::uint8_t>& v, const png_byte* data, png_size_t length) noexcept {
  try {
    v.insert(v.end(), data, data + length);
    return true;
  } catch (...) {
    return false;
  }
}

void WriteFn(png_structp png, png_bytep data, png_size_t length) {
  TEncodeJob* job = static_cast<TEncodeJob*>(png_get_io_ptr(png));
  if (!AppendNoThrow(*job->output, data, length)) png_error(png, "Not enough memory");
}

void FlushFn(png_structp) {}

bool RunEncode(TEncodeJob& job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job.message, ErrorFn, WarningFn);
  if (!png) {
    std::snprintf(job.message.text, sizeof job.message.text, "Not enough memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(job.message.text, sizeof job.message.text, "Not enough memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &job, WriteFn, FlushFn);
  png_set_IHDR(png, info, job.width, job.height, job.depth, job.colourType,
               job.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (job.palette) png_set_PLTE(png, info, job.palette, job.paletteSize);
  if (job.alphaCount > 0) png_set_tRNS(png, info, job.alphas, job.alphaCount, nullptr);
  png_write_info(png, info);
  png_write_image(png, job.rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

TPixelBuffer DecodePng(const std::uint8_t* data, std::size_t size) {
  TPixelBuffer out;
  std::vector<png_bytep> rows;
  TDecodeJob job{};
  job.data = data;
  job.size = size;
  job.out = &out;
  job.rows = &rows;
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) Fail(L"PNG picture: not a PNG file");
  if (!RunDecode(job)) Fail(L"PNG picture: " + Widen(job.message.text));
  return out;
}

std::vector<std::uint8_t> EncodePng(const TPixelBuffer& picture, const TPngOptions& options) {
  if (picture.Empty()) Fail(L"Cannot save an empty picture");
  const int w = picture.Width, h = picture.Height, step = picture.BitCount / 8;
  const bool alpha32 = picture.BitCount == 32;
  auto alphaAt = [&](const std::uint8_t* p) -> std::uint8_t { return alpha32 ? p[3] : 255; };

  TEncodeJob job{};
  job.width = png_uint_32(w);
  job.height = png_uint_32(h);
  job.interlaced = options.Interlaced;
  int samples = 0;
  std::vector<png_color> palette;
  std::vector<png_byte> alphas;
  std::vector<std::uint8_t> indices;  // palette layout: one index per pixel
  switch (options.Layout) {
    case TPngLayout::Rgb: job.colourType = PNG_COLOR_TYPE_RGB; samples = 3; break;
    case TPngLayout::Rgba: job.colourType = PNG_COLOR_TYPE_RGB_ALPHA; samples = 4; break;
    case TPngLayout::Grey: job.colourType = PNG_COLOR_TYPE_GRAY; samples = 1; break;
    case TPngLayout::GreyAlpha: job.colourType = PNG_COLOR_TYPE_GRAY_ALPHA; samples = 2; break;
    case TPngLayout::Palette: {
      job.colourType = PNG_COLOR_TYPE_PALETTE;
      std::map<std::uint32_t, int> colours;
      indices.resize(std::size_t(w) * std::size_t(h));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::uint8_t* p = picture.Pixel(x, y);
          const std::uint32_t key = std::uint32_t(p[2]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[0]) << 16) |
                                    (std::uint32_t(alphaAt(p)) << 24);
          auto it = colours.find(key);
          if (it == colours.end()) {
            if (colours.size() == 256) Fail(L"PNG encoder: more than 256 colours for a palette");
            it = colours.emplace(key, int(colours.size())).first;
            palette.push_back(png_color{p[2], p[1], p[0]});
            alphas.push_back(alphaAt(p));
          }
          indices[std::size_t(y) * std::size_t(w) + std::size_t(x)] = std::uint8_t(it->second);
        }
      while (!alphas.empty() && alphas.back() == 255) alphas.pop_back();
      const std::size_t n = palette.size();
      job.depth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
      break;
    }
  }
  if (options.Layout != TPngLayout::Palette) job.depth = options.SixteenBit ? 16 : 8;

  const std::size_t rowBytes = options.Layout == TPngLayout::Palette
                                   ? (std::size_t(w) * std::size_t(job.depth) + 7) / 8
                                   : std::size_t(w) * std::size_t(samples) * std::size_t(job.depth / 8);
  std::vector<std::uint8_t> image(rowBytes * std::size_t(h), 0);
  std::vector<png_bytep> rows(static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    std::uint8_t* d = &image[rowBytes * std::size_t(y)];
    rows[std::size_t(y)] = d;
    if (options.Layout == TPngLayout::Palette) {
      for (int x = 0; x < w; ++x) {
        const int bit = x * job.depth;
        d[bit / 8] |= std::uint8_t(indices[std::size_t(y) * std::size_t(w) + std::size_t(x)] << (8 - job.depth - bit % 8));
      }
      continue;
    }
    const std::uint8_t* p = picture.Row(y);
    for (int x = 0; x < w; ++x, p += step) {
      std::uint8_t s[4];
      int n = 0;
      if (samples >= 3) {
        s[n++] = p[2]; s[n++] = p[1]; s[n++] = p[0];
      } else {
        s[n++] = p[1];
      }
      if (samples == 4 || samples == 2) s[n++] = alphaAt(p);
      for (int i = 0; i < n; ++i) {
        *d++ = s[i];
        if (job.depth == 16) *d++ = s[i];  // v * 257, big-endian
      }
    }
  }
  std::vector<std::uint8_t> output;
  job.output = &output;
  job.rows = rows.data();
  if (!palette.empty()) {
    job.palette = palette.data();
    job.paletteSize = int(palette.size());
  }
  job.alphas = alphas.data();
  job.alphaCount = int(alphas.size());
  if (!RunEncode(job)) Fail(L"PNG encoder: " + Widen(job.message.text));
  return output;
}

}  // namespace kivo
