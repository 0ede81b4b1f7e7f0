#include "XvidCore.h"

#include <cstdint>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/rational.h>
}

struct XvidEncoder {
  AVCodecContext* Context = nullptr;
  AVFrame* Frame = nullptr;
  AVPacket* Packet = nullptr;
  int Width = 0;
  int Height = 0;
  int Quantizer = 2;
  std::int64_t NextPts = 0;

  ~XvidEncoder() {
    av_packet_free(&Packet);
    av_frame_free(&Frame);
    avcodec_free_context(&Context);
  }
};

namespace {

constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;

bool SizeFits(int width, int height) {
  return width >= kMinSide && height >= kMinSide && width <= kMaxSide && height <= kMaxSide && width % 2 == 0 &&
         height % 2 == 0;
}

// Studio-range BT.601, the colours an MPEG-4 decoder assumes.
inline std::uint8_t LumaOf(int r, int g, int b) { return std::uint8_t(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }
inline std::uint8_t BlueDiffOf(int r, int g, int b) {
  return std::uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
inline std::uint8_t RedDiffOf(int r, int g, int b) {
  return std::uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

// The DIB into the frame's planes; chroma from the mean of each 2 x 2 block.
void ConvertPicture(const unsigned char* bits, int bitCount, bool topDown, AVFrame* frame, int width, int height) {
  const int bytesPerPixel = bitCount / 8;
  const std::size_t stride = (std::size_t(width) * bytesPerPixel + 3) & ~std::size_t(3);
  auto row = [&](int y) { return bits + std::size_t(topDown ? y : height - 1 - y) * stride; };
  for (int y = 0; y < height; y += 2) {
    const unsigned char* top = row(y);
    const unsigned char* bottom = row(y + 1);
    std::uint8_t* luma0 = frame->data[0] + std::size_t(y) * frame->linesize[0];
    std::uint8_t* luma1 = luma0 + frame->linesize[0];
    std::uint8_t* cb = frame->data[1] + std::size_t(y / 2) * frame->linesize[1];
    std::uint8_t* cr = frame->data[2] + std::size_t(y / 2) * frame->linesize[2];
    for (int x = 0; x < width; x += 2) {
      const unsigned char* p[4] = {top + x * bytesPerPixel, top + (x + 1) * bytesPerPixel,
                                   bottom + x * bytesPerPixel, bottom + (x + 1) * bytesPerPixel};
      luma0[x] = LumaOf(p[0][2], p[0][1], p[0][0]);
      luma0[x + 1] = LumaOf(p[1][2], p[1][1], p[1][0]);
      luma1[x] = LumaOf(p[2][2], p[2][1], p[2][0]);
      luma1[x + 1] = LumaOf(p[3][2], p[3][1], p[3][0]);
      const int r = (p[0][2] + p[1][2] + p[2][2] + p[3][2] + 2) >> 2;
      const int g = (p[0][1] + p[1][1] + p[2][1] + p[3][1] + 2) >> 2;
      const int b = (p[0][0] + p[1][0] + p[2][0] + p[3][0] + 2) >> 2;
      cb[x / 2] = BlueDiffOf(r, g, b);
      cr[x / 2] = RedDiffOf(r, g, b);
    }
  }
}

}  // namespace

extern "C" {

size_t XvidEncoderMaxFrameBytes(int width, int height) {
  if (!SizeFits(width, height)) return 0;
  // Far above what the coarsest coding of the noisiest picture takes.
  return std::size_t(width) * std::size_t(height) * 4 + 65536;
}

int XvidEncoderOpen(const XvidEncoderSettings* settings, XvidEncoder** encoder) {
  if (!encoder) return XVID_ENC_BAD_ARGUMENT;
  *encoder = nullptr;
  if (!settings || !SizeFits(settings->Width, settings->Height) || settings->RateNum <= 0 || settings->RateDen <= 0 ||
      settings->Quantizer < 2 || settings->Quantizer > 31 || settings->KeyInterval < 1)
    return XVID_ENC_BAD_ARGUMENT;
  av_log_set_level(AV_LOG_QUIET);
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!codec) return XVID_ENC_FAILED;
  XvidEncoder* e = new (std::nothrow) XvidEncoder;
  if (!e) return XVID_ENC_NO_MEMORY;
  e->Width = settings->Width;
  e->Height = settings->Height;
  e->Quantizer = settings->Quantizer;
  e->Context = avcodec_alloc_context3(codec);
  e->Frame = av_frame_alloc();
  e->Packet = av_packet_alloc();
  if (!e->Context || !e->Frame || !e->Packet) {
    delete e;
    return XVID_ENC_NO_MEMORY;
  }
  AVCodecContext* c = e->Context;
  c->width = settings->Width;
  c->height = settings->Height;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  // The stream's time base must fit 16 bits.
  int num = 1, den = 25;
  av_reduce(&num, &den, settings->RateDen, settings->RateNum, 65535);
  if (num <= 0 || den <= 0) {
    num = 1;
    den = 25;
  }
  c->time_base = AVRational{num, den};
  c->framerate = AVRational{den, num};
  c->gop_size = settings->KeyInterval;
  c->max_b_frames = 0;  // one frame out for each picture in, at once
  c->thread_count = 1;
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * settings->Quantizer;
  c->codec_tag = MKTAG('X', 'V', 'I', 'D');
  if (avcodec_open2(c, codec, nullptr) < 0) {
    delete e;
    return XVID_ENC_FAILED;
  }
  e->Frame->format = AV_PIX_FMT_YUV420P;
  e->Frame->width = c->width;
  e->Frame->height = c->height;
  if (av_frame_get_buffer(e->Frame, 0) < 0) {
    delete e;
    return XVID_ENC_NO_MEMORY;
  }
  *encoder = e;
  return XVID_ENC_OK;
}

int XvidEncoderEncode(XvidEncoder* e, const unsigned char* bits, int bitCount, int topDown, int forceKey,
                      unsigned char* out, size_t outSize, size_t* written, int* isKey) {
  if (written) *written = 0;
  if (isKey) *isKey = 0;
  if (!e || !bits || !out || !written || (bitCount != 24 && bitCount != 32)) return XVID_ENC_BAD_ARGUMENT;
  if (av_frame_make_writable(e->Frame) < 0) return XVID_ENC_NO_MEMORY;
  ConvertPicture(bits, bitCount, topDown != 0, e->Frame, e->Width, e->Height);
  e->Frame->pts = e->NextPts++;
  e->Frame->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  e->Frame->quality = FF_QP2LAMBDA * e->Quantizer;
  if (avcodec_send_frame(e->Context, e->Frame) < 0) return XVID_ENC_FAILED;
  const int got = avcodec_receive_packet(e->Context, e->Packet);
  if (got < 0) return XVID_ENC_FAILED;
  int result = XVID_ENC_OK;
  if (std::size_t(e->Packet->size) > outSize) {
    result = XVID_ENC_BUFFER_TOO_SMALL;
  } else {
    std::memcpy(out, e->Packet->data, std::size_t(e->Packet->size));
    *written = std::size_t(e->Packet->size);
    if (isKey) *isKey = (e->Packet->flags & AV_PKT_FLAG_KEY) ? 1 : 0;
  }
  av_packet_unref(e->Packet);
  return result;
}

int XvidEncoderSetQuantizer(XvidEncoder* e, int quantizer) {
  if (!e || quantizer < 2 || quantizer > 31) return XVID_ENC_BAD_ARGUMENT;
  e->Quantizer = quantizer;
  return XVID_ENC_OK;
}

void XvidEncoderClose(XvidEncoder* e) { delete e; }

}  // extern "C"
