// JPEG through libjpeg. libjpeg reports errors by longjmp: the functions that call setjmp
// (RunDecode, RunEncode) and everything libjpeg calls back hold no object with a destructor, and
// all memory they use is either libjpeg's own pool or owned by the C++ caller one frame up.
// (windows.h is kept out of this file: its `boolean` differs from libjpeg's.)
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "CodecInternal.h"

namespace kivo {

using namespace codec_detail;

namespace {

// A progressive file with this many scans is treated as hostile (each scan costs a full pass).
constexpr int kMaxScans = 500;

struct TErrorManager {
  jpeg_error_mgr pub;  // first: libjpeg casts to it
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX + 200];
};

[[noreturn]] void ErrorExit(j_common_ptr c) {
  TErrorManager* err = reinterpret_cast<TErrorManager*>(c->err);
  (*c->err->format_message)(c, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings are tolerated except running out of data: a truncated file is an error.
void EmitMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  if (c->err->msg_code == JWRN_JPEG_EOF) {
    TErrorManager* err = reinterpret_cast<TErrorManager*>(c->err);
    std::snprintf(err->message, sizeof err->message, "the file is truncated");
    std::longjmp(err->jump, 1);
  }
  c->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr c) {
  if (!c->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans) {
    TErrorManager* err = reinterpret_cast<TErrorManager*>(c->err);
    std::snprintf(err->message, sizeof err->message, "the file has too many scans");
    std::longjmp(err->jump, 1);
  }
}

void InitErrors(TErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.message[0] = 0;
}

struct TDecodeJob {
  jpeg_decompress_struct cinfo;
  TErrorManager err;
  jpeg_progress_mgr progress;
  const std::uint8_t* data;
  std::size_t size;
  TPixelBuffer* out;
};

std::uint8_t Mul255(int a, int b) { return std::uint8_t((a * b + 127) / 255); }

bool RunDecode(TDecodeJob& job) {
  jpeg_decompress_struct& c = job.cinfo;
  InitErrors(job.err);
  c.err = &job.err.pub;
  if (setjmp(job.err.jump)) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  jpeg_create_decompress(&c);
  job.progress.progress_monitor = ProgressMonitor;
  c.progress = &job.progress;
  c.mem->max_memory_to_use = sizeof(void*) == 8 ? 1024L * 1024 * 1024 : 384L * 1024 * 1024;
  jpeg_mem_src(&c, job.data, static_cast<unsigned long>(job.size));
  jpeg_read_header(&c, TRUE);
  if (!DimensionsOk(c.image_width, c.image_height, "JPEG", job.err.message, sizeof job.err.message)) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  const J_COLOR_SPACE source = c.jpeg_color_space;
  const bool grey = source == JCS_GRAYSCALE;
  const bool cmyk = source == JCS_CMYK || source == JCS_YCCK;
  c.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&c);
  const int width = int(c.output_width), height = int(c.output_height);
  if (!AllocateNoThrow(*job.out, width, height, 24, job.err.message, sizeof job.err.message)) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  job.out->SourceBitCount = c.output_components * 8;
  JSAMPARRAY scratch = (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE,
                                               JDIMENSION(width * c.output_components), 1);
  const bool inverted = c.saw_Adobe_marker;  // Adobe writes CMYK with 0 meaning full ink
  while (c.output_scanline < c.output_height) {
    std::uint8_t* dst = job.out->Row(int(c.output_scanline));
    if (!grey && !cmyk) {
      JSAMPROW row = dst;
      jpeg_read_scanlines(&c, &row, 1);
      continue;
    }
    jpeg_read_scanlines(&c, scratch, 1);
    const std::uint8_t* src = scratch[0];
    for (int x = 0; x < width; ++x, dst += 3) {
      if (grey) {
        dst[0] = dst[1] = dst[2] = src[x];
      } else {
        const std::uint8_t* p = src + x * 4;
        const int k = inverted ? p[3] : 255 - p[3];
        for (int i = 0; i < 3; ++i) dst[2 - i] = Mul255(inverted ? p[i] : 255 - p[i], k);
      }
    }
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  return true;
}

struct TEncodeJob {
  jpeg_compress_struct cinfo;
  TErrorManager err;
  jpeg_destination_mgr dest;
  const TPixelBuffer* picture;
  TJpegOptions options;
  unsigned char* memory;  // malloc'ed output, always valid or null; freed by the caller
  std::size_t capacity;
  std::size_t used;
};

// Output into one growing malloc'ed block whose current address is always in the job.
void InitDestination(j_compress_ptr c) {
  TEncodeJob& job = *static_cast<TEncodeJob*>(c->client_data);
  job.capacity = 65536;
  job.memory = static_cast<unsigned char*>(std::malloc(job.capacity));
  if (!job.memory) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
  job.dest.next_output_byte = job.memory;
  job.dest.free_in_buffer = job.capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr c) {
  TEncodeJob& job = *static_cast<TEncodeJob*>(c->client_data);
  const std::size_t bigger = job.capacity * 2;
  unsigned char* grown = static_cast<unsigned char*>(std::realloc(job.memory, bigger));
  if (!grown) ERREXIT1(c, JERR_OUT_OF_MEMORY, 1);
  job.memory = grown;
  job.dest.next_output_byte = grown + job.capacity;
  job.dest.free_in_buffer = bigger - job.capacity;
  job.capacity = bigger;
  return TRUE;
}

void TermDestination(j_compress_ptr c) {
  TEncodeJob& job = *static_cast<TEncodeJob*>(c->client_data);
  job.used = job.capacity - job.dest.free_in_buffer;
}

bool RunEncode(TEncodeJob& job) {
  jpeg_compress_struct& c = job.cinfo;
  InitErrors(job.err);
  c.err = &job.err.pub;
  if (setjmp(job.err.jump)) {
    jpeg_destroy_compress(&c);
    return false;
  }
  jpeg_create_compress(&c);
  c.client_data = &job;
  job.dest.init_destination = InitDestination;
  job.dest.empty_output_buffer = EmptyOutputBuffer;
  job.dest.term_destination = TermDestination;
  c.dest = &job.dest;
  const TPixelBuffer& pic = *job.picture;
  const TJpegColour colour = job.options.Colour;
  c.image_width = JDIMENSION(pic.Width);
  c.image_height = JDIMENSION(pic.Height);
  if (colour == TJpegColour::Grey) {
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
  } else if (colour == TJpegColour::Cmyk) {
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
  } else {
    c.input_components = pic.BitCount / 8;
    c.in_color_space = pic.BitCount == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  }
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, job.options.Quality, TRUE);
  for (int i = 0; i < c.num_components; ++i) {  // no chroma subsampling: sharper colour edges
    c.comp_info[i].h_samp_factor = 1;
    c.comp_info[i].v_samp_factor = 1;
  }
  if (job.options.Progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  JSAMPARRAY scratch = (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE,
                                               JDIMENSION(pic.Width * 4), 1);
  const int step = pic.BitCount / 8;
  while (c.next_scanline < c.image_height) {
    const std::uint8_t* src = pic.Row(int(c.next_scanline));
    JSAMPROW row = const_cast<JSAMPROW>(src);
    if (colour != TJpegColour::Rgb) {
      row = scratch[0];
      for (int x = 0; x < pic.Width; ++x, src += step) {
        if (colour == TJpegColour::Grey) {
          row[x] = src[1];
          continue;
        }
        // Inverted CMYK: K' = brightest channel, C'M'Y' scaled so that C' x K' / 255 = R, ...
        const int k = src[0] > src[1] ? (src[0] > src[2] ? src[0] : src[2]) : (src[1] > src[2] ? src[1] : src[2]);
        std::uint8_t* d = row + x * 4;
        for (int i = 0; i < 3; ++i) d[i] = k ? std::uint8_t((src[2 - i] * 255 + k / 2) / k) : 0;
        d[3] = std::uint8_t(k);
      }
    }
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return true;
}

}  // namespace

TPixelBuffer DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  if (size == 0) Fail(L"JPEG picture: the file is empty");
  if (size > 0xFFFFFFFFu) Fail(L"JPEG picture: the file is too large");
  TPixelBuffer out;
  TDecodeJob job{};
  job.data = data;
  job.size = size;
  job.out = &out;
  if (!RunDecode(job)) Fail(L"JPEG picture: " + Widen(job.err.message));
  return out;
}

std::vector<std::uint8_t> EncodeJpeg(const TPixelBuffer& picture, const TJpegOptions& options) {
  if (picture.Empty()) Fail(L"Cannot save an empty picture");
  TEncodeJob job{};
  job.picture = &picture;
  job.options = options;
  const bool ok = RunEncode(job);
  struct TFree {
    unsigned char* p;
    ~TFree() { std::free(p); }
  } owner{job.memory};
  if (!ok) Fail(L"JPEG encoder: " + Widen(job.err.message));
  return std::vector<std::uint8_t>(job.memory, job.memory + job.used);
}

}  // namespace kivo
