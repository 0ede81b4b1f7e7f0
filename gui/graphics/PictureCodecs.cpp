// Common parts of the picture codecs: errors, pixel buffers, BMP, GIF composition, formats, files.
#include "PictureCodecs.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "CodecInternal.h"
#include "Handles.h"

namespace kivo {

namespace codec_detail {

void CheckDimensions(std::uint64_t width, std::uint64_t height, const wchar_t* format) {
  char message[160];
  char narrow[32];
  std::snprintf(narrow, sizeof narrow, "%ls", format);
  if (!DimensionsOk(width, height, narrow, message, sizeof message)) Fail(Widen(message));
}

bool DimensionsOk(std::uint64_t width, std::uint64_t height, const char* format, char* message,
                  std::size_t messageSize) noexcept {
  const char* space = *format ? " " : "";
  if (width == 0 || height == 0) {
    std::snprintf(message, messageSize, "The%s%s picture has no pixels (%llu x %llu)", space, format,
                  (unsigned long long)width, (unsigned long long)height);
    return false;
  }
  if (width > std::uint64_t(kMaxPictureSide) || height > std::uint64_t(kMaxPictureSide) ||
      width * height > kMaxPicturePixels) {
    std::snprintf(message, messageSize, "The%s%s picture is too large (%llu x %llu pixels)", space, format,
                  (unsigned long long)width, (unsigned long long)height);
    return false;
  }
  return true;
}

bool AllocateNoThrow(TPixelBuffer& picture, int width, int height, int bitCount, char* message,
                     std::size_t messageSize) noexcept {
  try {
    picture = TPixelBuffer(width, height, bitCount);
    return true;
  } catch (const ECodecError& e) {
    std::snprintf(message, messageSize, "%s", e.what());
  } catch (...) {
    std::snprintf(message, messageSize, "Not enough memory for a picture of %d x %d pixels", width, height);
  }
  return false;
}

std::wstring Widen(const char* text) {
  if (!text) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (n <= 0) return std::wstring(text, text + std::strlen(text));
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &w[0], n);
  w.resize(size_t(n - 1));
  return w;
}

void Fail(const std::wstring& message) { throw ECodecError(message); }

}  // namespace codec_detail

using namespace codec_detail;

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(std::uint8_t(x));
  v.push_back(std::uint8_t(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

[[noreturn]] void BmpFail(const wchar_t* what) { Fail(std::wstring(L"BMP picture: ") + what); }

// One colour channel described by a bit mask of a 16- or 32-bit pixel.
struct TChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit TChannel(std::uint32_t m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    std::uint32_t v = m >> shift;
    while (bits < 32 && ((v >> bits) & 1)) ++bits;
    if (bits < 32 && (v >> bits) != 0) BmpFail(L"its colour masks are not contiguous");
  }
  // Channel value scaled to 8 bits; `absent` when the mask is empty.
  std::uint8_t Get(std::uint32_t pixel, std::uint8_t absent) const {
    if (!mask) return absent;
    std::uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return std::uint8_t(v >> (bits - 8));
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {  // repeat the bits: 5-bit 0x1F gives 0xFF, 0x10 gives 0x84
      out = (out << bits) | v;
      filled += bits;
    }
    return std::uint8_t(out >> (filled - 8));
  }
};

// Decodes a DIB whose header starts at `dib`; `bitsOffset` is where the pixels start relative to
// it, or SIZE_MAX when they follow the colour table (packed DIB).
TPixelBuffer DecodeDibAt(const std::uint8_t* dib, std::size_t size, std::size_t bitsOffset) {
  if (size < 12) BmpFail(L"the file is truncated");
  const std::uint32_t headerSize = U32(dib);
  bool core = false;
  std::int64_t width = 0, height = 0;
  int bitCount = 0;
  std::uint32_t compression = 0, clrUsed = 0;
  if (headerSize == 12) {
    core = true;
    width = U16(dib + 4);
    height = U16(dib + 6);
    bitCount = U16(dib + 10);
  } else if (headerSize >= 40) {
    if (headerSize > size) BmpFail(L"the file is truncated");
    width = std::int32_t(U32(dib + 4));
    height = std::int32_t(U32(dib + 8));
    bitCount = U16(dib + 14);
    compression = U32(dib + 16);
    clrUsed = U32(dib + 32);
  } else {
    BmpFail(L"unknown header");
  }
  switch (compression) {
    case 0: case 3: case 6: break;  // BI_RGB, BI_BITFIELDS, BI_ALPHABITFIELDS
    case 1: case 2: BmpFail(L"RLE-compressed bitmaps are not supported");
    case 4: case 5: BmpFail(L"bitmaps holding JPEG or PNG data are not supported");
    default: BmpFail(L"unknown compression");
  }
  const bool bitfields = compression != 0;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    BmpFail(L"unsupported number of bits per pixel");
  if (bitfields && bitCount != 16 && bitCount != 32) BmpFail(L"colour masks need 16 or 32 bits per pixel");
  if (width <= 0 || height == 0) BmpFail(L"the picture has no pixels");
  const bool topDown = height < 0;
  const std::int64_t rows = topDown ? -height : height;
  CheckDimensions(std::uint64_t(width), std::uint64_t(rows), L"BMP");

  // Colour masks: inside a V2+ header, else right after a 40-byte header.
  std::size_t tableOffset = headerSize;
  std::uint32_t masks[4] = {0, 0, 0, 0};
  if (bitfields) {
    const std::size_t count = compression == 6 ? 4 : 3;
    if (headerSize < 52) {  // masks follow the header
      if (std::uint64_t(headerSize) + count * 4 > size) BmpFail(L"the file is truncated");
      for (std::size_t i = 0; i < count; ++i) masks[i] = U32(dib + headerSize + 4 * i);
      tableOffset += count * 4;
    } else {
      for (std::size_t i = 0; i < 3; ++i) masks[i] = U32(dib + 40 + 4 * i);
      if (headerSize >= 56) masks[3] = U32(dib + 52);
    }
  } else if (bitCount == 16) {
    masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F;
  } else if (bitCount == 32) {
    masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
  }

  // Colour table.
  const std::size_t entrySize = core ? 3 : 4;
  std::uint64_t tableEntries = clrUsed;
  if (bitCount <= 8 && (tableEntries == 0 || tableEntries > (1u << bitCount))) {
    if (tableEntries == 0 || bitsOffset != SIZE_MAX) tableEntries = 1u << bitCount;
  }
  if (bitCount > 8 && bitsOffset != SIZE_MAX) tableEntries = 0;  // an optional table we skip
  if (bitsOffset != SIZE_MAX)  // a short table ends where the pixels begin; missing entries are black
    tableEntries = std::min<std::uint64_t>(tableEntries, bitsOffset > tableOffset ? (bitsOffset - tableOffset) / entrySize : 0);
  if (tableOffset + tableEntries * entrySize > size) BmpFail(L"the file is truncated (colour table)");
  std::uint8_t palette[256][3] = {};
  if (bitCount <= 8) {
    const std::size_t used = std::min<std::uint64_t>(tableEntries, 1u << bitCount);
    for (std::size_t i = 0; i < used; ++i) {
      const std::uint8_t* e = dib + tableOffset + i * entrySize;
      palette[i][0] = e[0]; palette[i][1] = e[1]; palette[i][2] = e[2];
    }
  }
  if (bitsOffset == SIZE_MAX) bitsOffset = tableOffset + std::size_t(tableEntries * entrySize);
  if (bitsOffset < headerSize) BmpFail(L"its pixel data overlaps the header");

  const std::uint64_t stride = ((std::uint64_t(width) * bitCount + 31) / 32) * 4;
  const std::uint64_t lastRowBytes = (std::uint64_t(width) * bitCount + 7) / 8;
  if (bitsOffset > size || (size - bitsOffset) < stride * std::uint64_t(rows - 1) + lastRowBytes)
    BmpFail(L"the file is truncated (pixel data)");

  const int outBits = bitCount == 32 ? 32 : 24;
  TPixelBuffer out(int(width), int(rows), outBits);
  out.SourceBitCount = bitCount;
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
  out.HasAlpha = bitCount == 32 && masks[3] != 0;
  const bool plain32 = bitCount == 32 && !bitfields;
  for (std::int64_t y = 0; y < rows; ++y) {
    const std::uint8_t* src = dib + bitsOffset + stride * std::uint64_t(topDown ? y : rows - 1 - y);
    std::uint8_t* dst = out.Row(int(y));
    if (bitCount == 24 || plain32) {
      std::memcpy(dst, src, std::size_t(lastRowBytes));
      continue;
    }
    for (std::int64_t x = 0; x < width; ++x) {
      if (bitCount <= 8) {
        const std::size_t bitPos = std::size_t(x) * bitCount;
        const int index = (src[bitPos / 8] >> (8 - bitCount - int(bitPos % 8))) & ((1 << bitCount) - 1);
        std::memcpy(dst + x * 3, palette[index], 3);
      } else {
        const std::uint32_t p = bitCount == 16 ? U16(src + x * 2) : U32(src + x * 4);
        std::uint8_t* d = dst + x * (outBits / 8);
        d[0] = blue.Get(p, 0);
        d[1] = green.Get(p, 0);
        d[2] = red.Get(p, 0);
        if (outBits == 32) d[3] = alpha.Get(p, 255);
      }
    }
  }
  return out;
}

}  // namespace

ECodecError::ECodecError(std::wstring message) : message_(std::move(message)), narrow_(Utf8(message_)) {}

TPixelBuffer::TPixelBuffer(int width, int height, int bitCount) {
  if (bitCount != 24 && bitCount != 32) Fail(L"Unsupported pixel format");
  CheckDimensions(std::uint64_t(std::max(width, 0)), std::uint64_t(std::max(height, 0)), L"");
  try {
    Bits.assign(StrideOf(width, bitCount) * std::size_t(height), 0);
  } catch (const std::bad_alloc&) {
    Fail(L"Not enough memory for a picture of " + std::to_wstring(width) + L" x " + std::to_wstring(height) +
         L" pixels");
  }
  Width = width;
  Height = height;
  BitCount = bitCount;
  SourceBitCount = bitCount;
}

// ---- BMP ------------------------------------------------------------------------------------

TPixelBuffer DecodeBmp(const std::uint8_t* data, std::size_t size) {
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') BmpFail(L"not a BMP file");
  const std::uint32_t offBits = U32(data + 10);
  return DecodeDibAt(data + 14, size - 14, offBits == 0 ? SIZE_MAX : (offBits < 14 ? 0 : offBits - 14));
}

TPixelBuffer DecodeDib(const std::uint8_t* data, std::size_t size) { return DecodeDibAt(data, size, SIZE_MAX); }

std::vector<std::uint8_t> EncodeBmp(const TPixelBuffer& picture) {
  if (picture.Empty()) Fail(L"Cannot save an empty picture");
  const std::size_t stride = TPixelBuffer::StrideOf(picture.Width, 24);
  const std::size_t imageSize = stride * std::size_t(picture.Height);
  std::vector<std::uint8_t> v;
  v.reserve(54 + imageSize);
  v.push_back('B');
  v.push_back('M');
  Put32(v, std::uint32_t(54 + imageSize));
  Put32(v, 0);
  Put32(v, 54);
  Put32(v, 40);
  Put32(v, std::uint32_t(picture.Width));
  Put32(v, std::uint32_t(picture.Height));  // positive: bottom-up
  Put16(v, 1);
  Put16(v, 24);
  Put32(v, 0);  // BI_RGB
  Put32(v, std::uint32_t(imageSize));
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 0);
  const int step = picture.BitCount / 8;
  for (int y = picture.Height - 1; y >= 0; --y) {
    const std::uint8_t* src = picture.Row(y);
    for (int x = 0; x < picture.Width; ++x, src += step) v.insert(v.end(), src, src + 3);
    v.resize(v.size() + (stride - std::size_t(picture.Width) * 3), 0);
  }
  return v;
}

// ---- GIF frames -----------------------------------------------------------------------------

void TGifPicture::RemoveFrame(std::size_t index) {
  if (index >= Frames.size())
    Fail(L"GIF frame " + std::to_wstring(index) + L" does not exist (" + std::to_wstring(Frames.size()) +
         L" frames)");
  Frames.erase(Frames.begin() + std::ptrdiff_t(index));
}

TGifComposer::TGifComposer(const TGifPicture& gif, TGifBackground background)
    : gif_(gif), background_(background), canvas_(gif.Width, gif.Height, 32) {
  canvas_.HasAlpha = true;
  Fill(canvas_, 0, 0, gif.Width, gif.Height);
}

void TGifComposer::Fill(TPixelBuffer& canvas, int left, int top, int width, int height) const {
  std::uint8_t bgra[4] = {0, 0, 0, 0};
  if (background_ == TGifBackground::Colour) {
    bgra[3] = 255;
    if (gif_.BackgroundIndex >= 0 && std::size_t(gif_.BackgroundIndex) < gif_.GlobalPalette.size()) {
      const TGifColour& c = gif_.GlobalPalette[std::size_t(gif_.BackgroundIndex)];
      bgra[0] = c.B; bgra[1] = c.G; bgra[2] = c.R;
    }
  }
  const int x0 = std::max(left, 0), y0 = std::max(top, 0);
  const int x1 = std::min(left + width, canvas.Width), y1 = std::min(top + height, canvas.Height);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) std::memcpy(canvas.Pixel(x, y), bgra, 4);
}

bool TGifComposer::Next() {
  if (next_ >= gif_.Frames.size()) return false;
  if (next_ > 0) {
    const TGifFrame& prev = gif_.Frames[next_ - 1];
    if (prev.Disposal == gdBackground)
      Fill(canvas_, prev.Left, prev.Top, prev.Width, prev.Height);
    else if (prev.Disposal == gdPrevious && !saved_.Empty())
      canvas_ = saved_;
  }
  const TGifFrame& frame = gif_.Frames[next_];
  if (frame.Disposal == gdPrevious) saved_ = canvas_;
  const TGifPalette& palette = gif_.PaletteOf(frame);
  for (int y = 0; y < frame.Height; ++y) {
    const int cy = frame.Top + y;
    if (cy < 0 || cy >= canvas_.Height) continue;
    for (int x = 0; x < frame.Width; ++x) {
      const int cx = frame.Left + x;
      const std::size_t at = std::size_t(y) * std::size_t(frame.Width) + std::size_t(x);
      if (cx < 0 || cx >= canvas_.Width || at >= frame.Indices.size()) continue;
      const int index = frame.Indices[at];
      if (index == frame.TransparentIndex) continue;
      std::uint8_t* d = canvas_.Pixel(cx, cy);
      if (std::size_t(index) < palette.size()) {
        d[0] = palette[std::size_t(index)].B;
        d[1] = palette[std::size_t(index)].G;
        d[2] = palette[std::size_t(index)].R;
      } else {
        d[0] = d[1] = d[2] = 0;
      }
      d[3] = 255;
    }
  }
  ++next_;
  return true;
}

TPixelBuffer ComposeGifFrame(const TGifPicture& gif, std::size_t index, TGifBackground background) {
  if (index >= gif.Frames.size())
    Fail(L"GIF frame " + std::to_wstring(index) + L" does not exist (" + std::to_wstring(gif.Frames.size()) +
         L" frames)");
  TGifComposer composer(gif, background);
  while (composer.Next() && composer.FrameIndex() < index) {
  }
  return composer.Canvas();
}

// ---- Formats --------------------------------------------------------------------------------

TPictureFormat PictureFormatFromExtension(const std::wstring& nameOrExtension) {
  std::wstring ext = nameOrExtension;
  const std::size_t dot = ext.find_last_of(L'.');
  const std::size_t slash = ext.find_last_of(L"\\/:");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
    ext = ext.substr(dot + 1);
  else if (slash != std::wstring::npos)
    return TPictureFormat::Unknown;  // a path without an extension
  for (wchar_t& c : ext)
    if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
  if (ext == L"bmp") return TPictureFormat::Bmp;
  if (ext == L"jpg" || ext == L"jpeg") return TPictureFormat::Jpeg;
  if (ext == L"png") return TPictureFormat::Png;
  if (ext == L"gif") return TPictureFormat::Gif;
  return TPictureFormat::Unknown;
}

TPictureFormat DetectPictureFormat(const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (size >= 8 && std::memcmp(data, png, 8) == 0) return TPictureFormat::Png;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return TPictureFormat::Jpeg;
  if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0))
    return TPictureFormat::Gif;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return TPictureFormat::Bmp;
  return TPictureFormat::Unknown;
}

const wchar_t* PictureFormatName(TPictureFormat format) {
  switch (format) {
    case TPictureFormat::Bmp: return L"BMP";
    case TPictureFormat::Jpeg: return L"JPEG";
    case TPictureFormat::Png: return L"PNG";
    case TPictureFormat::Gif: return L"GIF";
    default: return L"unknown";
  }
}

std::vector<TPictureFileType> CodecFileTypes() {
  return {
      {L"Bitmaps", {L"bmp"}},
      {L"JPEG pictures", {L"jpg", L"jpeg"}},
      {L"PNG pictures", {L"png"}},
      {L"GIF pictures", {L"gif"}},
  };
}

std::wstring PictureFilterString(const std::vector<TPictureFileType>& types) {
  auto masks = [](const std::vector<std::wstring>& exts) {
    std::wstring m;
    for (const std::wstring& e : exts) m += (m.empty() ? L"*." : L";*.") + e;
    return m;
  };
  std::vector<std::wstring> all;
  for (const TPictureFileType& t : types) all.insert(all.end(), t.Extensions.begin(), t.Extensions.end());
  const std::wstring allMasks = masks(all);
  std::wstring s = L"All pictures (" + allMasks + L")|" + allMasks;
  for (const TPictureFileType& t : types) {
    const std::wstring m = masks(t.Extensions);
    s += L"|" + t.Description + L" (" + m + L")|" + m;
  }
  return s;
}

std::wstring DialogFilter(const std::wstring& filterString) {
  std::wstring s = filterString;
  std::replace(s.begin(), s.end(), L'|', L'\0');
  s.push_back(L'\0');
  s.push_back(L'\0');
  return s;
}

// ---- Files ----------------------------------------------------------------------------------

namespace {

std::wstring SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring s = text ? text : L"";
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == L'\n' || s.back() == L'\r' || s.back() == L' ' || s.back() == L'.')) s.pop_back();
  if (s.empty()) s = L"error " + std::to_wstring(code);
  return s;
}

std::wstring Quoted(const std::wstring& fileName) { return L"\"" + fileName + L"\""; }

}  // namespace

std::vector<std::uint8_t> ReadPictureFile(const std::wstring& fileName) {
  TFileOwner file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) Fail(L"Cannot open " + Quoted(fileName) + L": " + SystemMessage(GetLastError()));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size))
    Fail(L"Cannot read " + Quoted(fileName) + L": " + SystemMessage(GetLastError()));
  if (std::uint64_t(size.QuadPart) > kMaxPictureFileBytes) Fail(Quoted(fileName) + L" is too large for a picture");
  std::vector<std::uint8_t> data;
  try {
    data.resize(std::size_t(size.QuadPart));
  } catch (const std::bad_alloc&) {
    Fail(L"Not enough memory to read " + Quoted(fileName));
  }
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD got = 0;
    const DWORD want = DWORD(std::min<std::size_t>(data.size() - done, 1u << 24));
    if (!ReadFile(file.Get(), data.data() + done, want, &got, nullptr))
      Fail(L"Cannot read " + Quoted(fileName) + L": " + SystemMessage(GetLastError()));
    if (got == 0) break;
    done += got;
  }
  data.resize(done);
  return data;
}

void WritePictureFile(const std::wstring& fileName, const std::vector<std::uint8_t>& data) {
  TFileOwner file(CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) Fail(L"Cannot create " + Quoted(fileName) + L": " + SystemMessage(GetLastError()));
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD put = 0;
    const DWORD want = DWORD(std::min<std::size_t>(data.size() - done, 1u << 24));
    if (!WriteFile(file.Get(), data.data() + done, want, &put, nullptr) || put == 0)
      Fail(L"Cannot write " + Quoted(fileName) + L": " + SystemMessage(GetLastError()));
    done += put;
  }
}

TPixelBuffer DecodePicture(TPictureFormat format, const std::uint8_t* data, std::size_t size) {
  switch (format) {
    case TPictureFormat::Bmp: return DecodeBmp(data, size);
    case TPictureFormat::Jpeg: return DecodeJpeg(data, size);
    case TPictureFormat::Png: return DecodePng(data, size);
    case TPictureFormat::Gif: {
      const TGifPicture gif = DecodeGif(data, size);
      if (gif.Frames.empty()) Fail(L"GIF picture: it has no frames");
      return ComposeGifFrame(gif, 0);
    }
    default: Fail(L"Unknown picture format");
  }
}

namespace {

// Decodes `data` as `format`, naming the file in any error and noticing a wrong extension.
template <class Decode>
auto DecodeFile(const std::wstring& fileName, TPictureFormat format, Decode decode) {
  if (format == TPictureFormat::Unknown)
    Fail(Quoted(fileName) + L" has an extension that is not a known picture format");
  const std::vector<std::uint8_t> data = ReadPictureFile(fileName);
  try {
    return decode(data);
  } catch (const ECodecError& e) {
    const TPictureFormat actual = DetectPictureFormat(data.data(), data.size());
    if (actual != TPictureFormat::Unknown && actual != format)
      Fail(Quoted(fileName) + L" holds a " + PictureFormatName(actual) + L" picture, not the " +
           PictureFormatName(format) + L" picture its extension says");
    Fail(Quoted(fileName) + L": " + e.Message());
  }
}

}  // namespace

TPixelBuffer LoadPictureFile(const std::wstring& fileName) {
  const TPictureFormat format = PictureFormatFromExtension(fileName);
  return DecodeFile(fileName, format, [format](const std::vector<std::uint8_t>& d) {
    return DecodePicture(format, d.data(), d.size());
  });
}

TGifPicture LoadGifFile(const std::wstring& fileName) {
  if (PictureFormatFromExtension(fileName) != TPictureFormat::Gif) Fail(Quoted(fileName) + L" is not a GIF file");
  return DecodeFile(fileName, TPictureFormat::Gif,
                    [](const std::vector<std::uint8_t>& d) { return DecodeGif(d.data(), d.size()); });
}

void SaveBmpFile(const std::wstring& fileName, const TPixelBuffer& picture) {
  WritePictureFile(fileName, EncodeBmp(picture));
}

}  // namespace kivo
