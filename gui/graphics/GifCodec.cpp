// GIF through giflib's record-level interface, so that every allocation is checked against the
// size limits before it is made. giflib reports errors by return codes.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "CodecInternal.h"

namespace kivo {

using namespace codec_detail;

namespace {

// All frames of one GIF together may hold at most this many pixels.
constexpr std::uint64_t kMaxGifTotalPixels = 256ull * 1024 * 1024;
// and at most this many frames (tiny frames cost memory beyond their pixels).
constexpr std::size_t kMaxGifFrames = 20000;

struct TReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

int ReadFn(GifFileType* gif, GifByteType* into, int length) {
  TReader* r = static_cast<TReader*>(gif->UserData);
  if (length <= 0) return 0;
  const std::size_t n = std::min<std::size_t>(std::size_t(length), r->size - r->pos);
  std::memcpy(into, r->data + r->pos, n);
  r->pos += n;
  return int(n);
}

struct TDecodeCloser {
  void operator()(GifFileType* gif) const noexcept {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using TDecoder = std::unique_ptr<GifFileType, TDecodeCloser>;

std::wstring ErrorText(int code) {
  switch (code) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
    case 0: return L"the file is truncated";
    case D_GIF_ERR_NOT_GIF_FILE: return L"not a GIF file";
    case D_GIF_ERR_IMAGE_DEFECT: return L"corrupt image data";
    default: {
      const char* text = GifErrorString(code);
      return text ? Widen(text) : L"error " + std::to_wstring(code);
    }
  }
}

[[noreturn]] void GifFail(const std::wstring& what) { Fail(L"GIF picture: " + what); }
[[noreturn]] void GifFail(GifFileType* gif) { GifFail(ErrorText(gif ? gif->Error : 0)); }

TGifPalette CopyPalette(const ColorMapObject* map) {
  TGifPalette p;
  if (!map) return p;
  p.reserve(std::size_t(std::max(map->ColorCount, 0)));
  for (int i = 0; i < map->ColorCount; ++i)
    p.push_back(TGifColour{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  return p;
}

// Skips the remaining sub-blocks of an extension.
void SkipExtension(GifFileType* gif, GifByteType* block) {
  while (block)
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) GifFail(gif);
}

}  // namespace

TGifPicture DecodeGif(const std::uint8_t* data, std::size_t size) {
  if (size < 6 || (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0))
    GifFail(L"not a GIF file");
  TReader reader{data, size, 0};
  int error = 0;
  TDecoder gif(DGifOpen(&reader, ReadFn, &error));
  if (!gif) GifFail(ErrorText(error));

  TGifPicture out;
  out.Width = gif->SWidth;
  out.Height = gif->SHeight;
  out.BackgroundIndex = gif->SBackGroundColor;
  out.GlobalPalette = CopyPalette(gif->SColorMap);
  // A screen too large is refused before any frame is read.
  if (out.Width > 0 && out.Height > 0) CheckDimensions(std::uint64_t(out.Width), std::uint64_t(out.Height), L"GIF");

  TGifFrame control;  // graphic control waiting for its frame
  std::uint64_t totalPixels = 0;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) GifFail(gif.get());
    if (type == TERMINATE_RECORD_TYPE) break;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) GifFail(gif.get());
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 && !control.HasControl) {
        control.HasControl = true;
        control.Disposal = (block[1] >> 2) & 7;
        control.Delay = block[2] | (block[3] << 8);
        control.TransparentIndex = (block[1] & 1) ? block[4] : -1;
      } else if (code == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                 (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0)) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) GifFail(gif.get());
        if (block && block[0] >= 3 && block[1] == 1) out.LoopCount = block[2] | (block[3] << 8);
      }
      SkipExtension(gif.get(), block);
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) GifFail(L"unknown record");

    if (out.Frames.size() == kMaxGifFrames) GifFail(L"it has too many frames");
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) GifFail(gif.get());
    const GifImageDesc& desc = gif->Image;
    TGifFrame frame = control;
    control = TGifFrame();
    frame.Left = desc.Left;
    frame.Top = desc.Top;
    frame.Width = desc.Width;
    frame.Height = desc.Height;
    frame.Interlaced = desc.Interlace;
    frame.LocalPalette = CopyPalette(desc.ColorMap);
    const std::uint64_t pixels = std::uint64_t(std::max(frame.Width, 0)) * std::uint64_t(std::max(frame.Height, 0));
    if (pixels == 0) {  // an empty frame: skip its image data
      int codeSize = 0;
      GifByteType* block = nullptr;
      if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) GifFail(gif.get());
      while (block)
        if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR) GifFail(gif.get());
    } else {
      CheckDimensions(std::uint64_t(frame.Width), std::uint64_t(frame.Height), L"GIF frame");
      totalPixels += pixels;
      if (totalPixels > kMaxGifTotalPixels) GifFail(L"its frames are too large together");
      try {
        frame.Indices.resize(std::size_t(pixels));
      } catch (const std::bad_alloc&) {
        GifFail(L"not enough memory for its frames");
      }
      static const int start[4] = {0, 4, 2, 1}, stepBy[4] = {8, 8, 4, 2};
      const int passes = frame.Interlaced ? 4 : 1;
      for (int pass = 0; pass < passes; ++pass) {
        const int first = frame.Interlaced ? start[pass] : 0, step = frame.Interlaced ? stepBy[pass] : 1;
        for (int y = first; y < frame.Height; y += step)
          if (DGifGetLine(gif.get(), &frame.Indices[std::size_t(y) * std::size_t(frame.Width)], frame.Width) ==
              GIF_ERROR)
            GifFail(gif.get());
      }
    }
    try {
      out.Frames.push_back(std::move(frame));
    } catch (const std::bad_alloc&) {
      GifFail(L"not enough memory for its frames");
    }
  }

  if (out.Width == 0 || out.Height == 0) {  // no logical screen: the frames' extent
    for (const TGifFrame& f : out.Frames) {
      out.Width = std::max(out.Width, std::min(f.Left + f.Width, 65535));
      out.Height = std::max(out.Height, std::min(f.Top + f.Height, 65535));
    }
    if (out.Width > 0 && out.Height > 0) CheckDimensions(std::uint64_t(out.Width), std::uint64_t(out.Height), L"GIF");
  }
  return out;
}

// ---- Encoder --------------------------------------------------------------------------------

namespace {

struct TWriter {
  std::vector<std::uint8_t>* output;
};

bool AppendNoThrow(std::vector<std::uint8_t>& v, const GifByteType* data, int length) noexcept {
  try {
    v.insert(v.end(), data, data + length);
    return true;
  } catch (...) {
    return false;
  }
}

int WriteFn(GifFileType* gif, const GifByteType* data, int length) {
  TWriter* w = static_cast<TWriter*>(gif->UserData);
  return AppendNoThrow(*w->output, data, length) ? length : 0;
}

struct TEncodeCloser {
  void operator()(GifFileType* gif) const noexcept {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};
using TEncoder = std::unique_ptr<GifFileType, TEncodeCloser>;

struct TMapFree {
  void operator()(ColorMapObject* map) const noexcept { GifFreeMapObject(map); }
};
using TMap = std::unique_ptr<ColorMapObject, TMapFree>;

[[noreturn]] void EncodeFail(const std::wstring& what) { Fail(L"GIF encoder: " + what); }
[[noreturn]] void EncodeFail(GifFileType* gif) {
  const char* text = GifErrorString(gif->Error);
  EncodeFail(text ? Widen(text) : L"error " + std::to_wstring(gif->Error));
}

TMap MakeMap(const TGifPalette& palette) {
  if (palette.empty()) return TMap();
  if (palette.size() > 256) EncodeFail(L"a palette has more than 256 colours");
  int count = 2;
  while (std::size_t(count) < palette.size()) count *= 2;
  std::vector<GifColorType> colours(std::size_t(count), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < palette.size(); ++i) colours[i] = GifColorType{palette[i].R, palette[i].G, palette[i].B};
  TMap map(GifMakeMapObject(count, colours.data()));
  if (!map) EncodeFail(L"not enough memory");
  return map;
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const TGifPicture& in) {
  if (in.Width <= 0 || in.Height <= 0 || in.Width > 65535 || in.Height > 65535) EncodeFail(L"bad screen size");
  for (const TGifFrame& f : in.Frames) {
    const TGifPalette& palette = in.PaletteOf(f);
    if (f.Width <= 0 || f.Height <= 0 || f.Left < 0 || f.Top < 0 || f.Left + f.Width > 65535 ||
        f.Top + f.Height > 65535)
      EncodeFail(L"bad frame size");
    if (f.Indices.size() != std::size_t(f.Width) * std::size_t(f.Height)) EncodeFail(L"frame pixels missing");
    if (palette.empty()) EncodeFail(L"a frame has no palette");
    for (std::uint8_t i : f.Indices)
      if (i >= palette.size()) EncodeFail(L"a colour index lies beyond its palette");
    if (f.Disposal < 0 || f.Disposal > 7 || f.Delay < 0 || f.Delay > 65535 || f.TransparentIndex > 255)
      EncodeFail(L"bad frame control");
  }
  std::vector<std::uint8_t> output;
  TWriter writer{&output};
  int error = 0;
  TEncoder gif(EGifOpen(&writer, WriteFn, &error));
  if (!gif) EncodeFail(L"cannot start");
  EGifSetGifVersion(gif.get(), true);
  TMap global = MakeMap(in.GlobalPalette);
  if (EGifPutScreenDesc(gif.get(), in.Width, in.Height, 8, in.BackgroundIndex, global.get()) == GIF_ERROR)
    EncodeFail(gif.get());
  if (in.LoopCount >= 0) {
    const GifByteType loop[3] = {1, GifByteType(in.LoopCount & 0xFF), GifByteType((in.LoopCount >> 8) & 0xFF)};
    if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif.get(), 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(gif.get(), 3, loop) == GIF_ERROR || EGifPutExtensionTrailer(gif.get()) == GIF_ERROR)
      EncodeFail(gif.get());
  }
  std::vector<GifPixelType> line;
  for (const TGifFrame& f : in.Frames) {
    if (f.HasControl) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = f.Disposal;
      gcb.UserInputFlag = false;
      gcb.DelayTime = f.Delay;
      gcb.TransparentColor = f.TransparentIndex < 0 ? NO_TRANSPARENT_COLOR : f.TransparentIndex;
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_ERROR) EncodeFail(gif.get());
    }
    TMap local = MakeMap(f.LocalPalette);
    if (EGifPutImageDesc(gif.get(), f.Left, f.Top, f.Width, f.Height, f.Interlaced, local.get()) == GIF_ERROR)
      EncodeFail(gif.get());
    static const int start[4] = {0, 4, 2, 1}, stepBy[4] = {8, 8, 4, 2};
    const int passes = f.Interlaced ? 4 : 1;
    line.resize(std::size_t(f.Width));
    for (int pass = 0; pass < passes; ++pass) {
      const int first = f.Interlaced ? start[pass] : 0, step = f.Interlaced ? stepBy[pass] : 1;
      for (int y = first; y < f.Height; y += step) {
        std::memcpy(line.data(), &f.Indices[std::size_t(y) * std::size_t(f.Width)], line.size());  // giflib masks it
        if (EGifPutLine(gif.get(), line.data(), f.Width) == GIF_ERROR) EncodeFail(gif.get());
      }
    }
  }
  if (EGifCloseFile(gif.release(), &error) == GIF_ERROR) {
    const char* text = GifErrorString(error);
    EncodeFail(text ? Widen(text) : L"cannot finish");
  }
  return output;
}

}  // namespace kivo
