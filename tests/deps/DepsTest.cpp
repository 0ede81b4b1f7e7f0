// The picture libraries are linked and work: each one round-trips a small image in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <zlib.h>
#include <png.h>
#include <jpeglib.h>
#include <gif_lib.h>

namespace {

std::vector<unsigned char> Gradient(int w, int h) {
  std::vector<unsigned char> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(size_t(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(x * 255 / (w - 1));
      p[1] = static_cast<unsigned char>(y * 255 / (h - 1));
      p[2] = 128;
    }
  return rgb;
}

TEST(Deps, ZlibRoundTrip) {
  std::vector<unsigned char> in(10000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i % 251);
  uLongf packedSize = compressBound(in.size());
  std::vector<unsigned char> packed(packedSize);
  ASSERT_EQ(compress(packed.data(), &packedSize, in.data(), in.size()), Z_OK);
  EXPECT_LT(packedSize, in.size());
  std::vector<unsigned char> out(in.size());
  uLongf outSize = out.size();
  ASSERT_EQ(uncompress(out.data(), &outSize, packed.data(), packedSize), Z_OK);
  EXPECT_EQ(out, in);
}

struct PngBuf {
  std::vector<unsigned char> data;
  size_t pos = 0;
};

TEST(Deps, PngRoundTrip) {
  const int w = 7, h = 5;
  auto rgb = Gradient(w, h);
  PngBuf buf;
  {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ASSERT_FALSE(setjmp(png_jmpbuf(png)));
    png_set_write_fn(
        png, &buf,
        [](png_structp p, png_bytep d, png_size_t n) {
          auto* b = static_cast<PngBuf*>(png_get_io_ptr(p));
          b->data.insert(b->data.end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, &rgb[size_t(y) * w * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
  }
  ASSERT_GT(buf.data.size(), 8u);
  std::vector<unsigned char> out(rgb.size());
  {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ASSERT_FALSE(setjmp(png_jmpbuf(png)));
    png_set_read_fn(png, &buf, [](png_structp p, png_bytep d, png_size_t n) {
      auto* b = static_cast<PngBuf*>(png_get_io_ptr(p));
      if (b->pos + n > b->data.size()) png_error(p, "short");
      std::memcpy(d, &b->data[b->pos], n);
      b->pos += n;
    });
    png_read_info(png, info);
    ASSERT_EQ(png_get_image_width(png, info), png_uint_32(w));
    ASSERT_EQ(png_get_image_height(png, info), png_uint_32(h));
    for (int y = 0; y < h; ++y) png_read_row(png, &out[size_t(y) * w * 3], nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
  }
  EXPECT_EQ(out, rgb);
}

TEST(Deps, JpegRoundTripWithinTolerance) {
  const int w = 32, h = 24;
  auto rgb = Gradient(w, h);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &mem, &memSize);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = &rgb[size_t(c.next_scanline) * w * 3];
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
  }
  ASSERT_NE(mem, nullptr);
  std::vector<unsigned char> out(rgb.size());
  {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, mem, memSize);
    ASSERT_EQ(jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
    jpeg_start_decompress(&d);
    ASSERT_EQ(int(d.output_width), w);
    ASSERT_EQ(int(d.output_height), h);
    ASSERT_EQ(d.output_components, 3);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = &out[size_t(d.output_scanline) * w * 3];
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
  }
  free(mem);
  int worst = 0;
  for (size_t i = 0; i < rgb.size(); ++i) worst = std::max(worst, std::abs(int(out[i]) - int(rgb[i])));
  EXPECT_LE(worst, 12);
}

struct GifBuf {
  std::vector<GifByteType> data;
  size_t pos = 0;
};

TEST(Deps, GifRoundTripKeepsIndicesAndPalette) {
  const int w = 6, h = 4;
  GifBuf buf;
  int error = 0;
  {
    GifFileType* g = EGifOpen(&buf, [](GifFileType* f, const GifByteType* d, int n) {
      auto* b = static_cast<GifBuf*>(f->UserData);
      b->data.insert(b->data.end(), d, d + n);
      return n;
    }, &error);
    ASSERT_NE(g, nullptr) << error;
    GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    ASSERT_EQ(EGifPutScreenDesc(g, w, h, 2, 0, map), GIF_OK);
    ASSERT_EQ(EGifPutImageDesc(g, 0, 0, w, h, false, nullptr), GIF_OK);
    for (int y = 0; y < h; ++y) {
      GifPixelType line[w];
      for (int x = 0; x < w; ++x) line[x] = GifPixelType((x + y) % 4);
      ASSERT_EQ(EGifPutLine(g, line, w), GIF_OK);
    }
    GifFreeMapObject(map);
    ASSERT_EQ(EGifCloseFile(g, &error), GIF_OK);
  }
  GifFileType* g = DGifOpen(&buf, [](GifFileType* f, GifByteType* d, int n) {
    auto* b = static_cast<GifBuf*>(f->UserData);
    int take = int(std::min<size_t>(n, b->data.size() - b->pos));
    std::memcpy(d, &b->data[b->pos], take);
    b->pos += take;
    return take;
  }, &error);
  ASSERT_NE(g, nullptr) << error;
  ASSERT_EQ(DGifSlurp(g), GIF_OK);
  ASSERT_EQ(g->ImageCount, 1);
  ASSERT_EQ(g->SWidth, w);
  ASSERT_EQ(g->SHeight, h);
  const SavedImage& img = g->SavedImages[0];
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) EXPECT_EQ(img.RasterBits[y * w + x], (x + y) % 4);
  ASSERT_NE(g->SColorMap, nullptr);
  EXPECT_EQ(g->SColorMap->Colors[3].Blue, 255);
  DGifCloseFile(g, &error);
}

}  // namespace
