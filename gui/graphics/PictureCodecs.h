// Picture file formats: decoders and encoders for BMP, JPEG (libjpeg), PNG (libpng) and GIF
// (giflib, multi-frame), independent of any GDI object. Every decoder reads only the bytes it is
// given and reports bad input with ECodecError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace kivo {

// Raised for every unreadable, unsupported or oversized picture; Message() is fit to show a user.
class ECodecError : public std::exception {
 public:
  explicit ECodecError(std::wstring message);
  const std::wstring& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  std::wstring message_;
  std::string narrow_;  // UTF-8 copy for what()
};

// Largest picture a decoder accepts (width x height), checked before any pixel memory is taken.
constexpr std::uint64_t kMaxPicturePixels = 64ull * 1024 * 1024;
// Largest side of a picture.
constexpr int kMaxPictureSide = 65535;
// Largest picture file read from disk.
constexpr std::uint64_t kMaxPictureFileBytes = 256ull * 1024 * 1024;

// A decoded picture. Rows are stored TOP-DOWN (Row(0) is the top row); each row is Stride() bytes,
// padded to a multiple of 4 like a DIB row. Pixels are B, G, R (BitCount 24) or B, G, R, A
// (BitCount 32). For 32-bit pictures HasAlpha tells whether the fourth byte is an alpha value
// (PNG, BMP with an alpha mask); otherwise it is whatever the file held and should be ignored.
struct TPixelBuffer {
  int Width = 0;
  int Height = 0;
  int BitCount = 24;  // 24 or 32
  bool HasAlpha = false;
  int SourceBitCount = 0;  // bits per pixel in the file the picture came from (information only)
  std::vector<std::uint8_t> Bits;

  TPixelBuffer() = default;
  // Zero-filled picture; throws ECodecError beyond kMaxPicturePixels.
  TPixelBuffer(int width, int height, int bitCount);

  bool Empty() const noexcept { return Width <= 0 || Height <= 0; }
  std::size_t Stride() const noexcept { return StrideOf(Width, BitCount); }
  std::uint8_t* Row(int y) noexcept { return Bits.data() + std::size_t(y) * Stride(); }
  const std::uint8_t* Row(int y) const noexcept { return Bits.data() + std::size_t(y) * Stride(); }
  std::uint8_t* Pixel(int x, int y) noexcept { return Row(y) + std::size_t(x) * (BitCount / 8); }
  const std::uint8_t* Pixel(int x, int y) const noexcept { return Row(y) + std::size_t(x) * (BitCount / 8); }

  static std::size_t StrideOf(int width, int bitCount) noexcept {
    return ((std::size_t(width) * bitCount + 31) / 32) * 4;
  }
};

// ---- Still pictures -------------------------------------------------------------------------

// BMP file (BITMAPFILEHEADER + DIB). 1/4/8/16/24-bit give 24-bit pictures; 32-bit gives a 32-bit
// picture (HasAlpha when the header has an alpha mask). Bottom-up and top-down files both load
// top-down. RLE and embedded JPEG/PNG compressions are refused.
TPixelBuffer DecodeBmp(const std::uint8_t* data, std::size_t size);
// Packed DIB (BITMAPINFOHEADER or BITMAPCOREHEADER, colour table, pixels), as in a bitmap resource
// or on the clipboard.
TPixelBuffer DecodeDib(const std::uint8_t* data, std::size_t size);
// JPEG: colour, greyscale, CMYK and YCCK give a 24-bit BGR picture.
TPixelBuffer DecodeJpeg(const std::uint8_t* data, std::size_t size);
// PNG: every colour type, bit depth and interlace gives a 32-bit BGRA picture with HasAlpha.
TPixelBuffer DecodePng(const std::uint8_t* data, std::size_t size);

// 24-bit BMP file, bottom-up, BI_RGB (a 32-bit picture loses its fourth byte).
std::vector<std::uint8_t> EncodeBmp(const TPixelBuffer& picture);

enum class TPngLayout {
  Rgb,        // 8 or 16 bits per sample
  Rgba,       // 8 or 16 bits per sample
  Grey,       // green channel as grey, 8 or 16 bits
  GreyAlpha,  // 8 or 16 bits
  Palette,    // at most 256 colours (with alpha kept in a tRNS chunk); 1/2/4/8 bits chosen by count
};
struct TPngOptions {
  TPngLayout Layout = TPngLayout::Rgba;
  bool SixteenBit = false;  // 8-bit samples v are written as v * 257
  bool Interlaced = false;  // Adam7
};
std::vector<std::uint8_t> EncodePng(const TPixelBuffer& picture, const TPngOptions& options = {});

enum class TJpegColour { Rgb, Grey, Cmyk };  // Cmyk is written Adobe style (inverted, Adobe marker)
struct TJpegOptions {
  int Quality = 90;
  TJpegColour Colour = TJpegColour::Rgb;
  bool Progressive = false;
};
std::vector<std::uint8_t> EncodeJpeg(const TPixelBuffer& picture, const TJpegOptions& options = {});

// ---- GIF ------------------------------------------------------------------------------------

struct TGifColour {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TGifColour& o) const noexcept { return R == o.R && G == o.G && B == o.B; }
  bool operator!=(const TGifColour& o) const noexcept { return !(*this == o); }
};
using TGifPalette = std::vector<TGifColour>;

enum TGifDisposal : int {
  gdNone = 0,        // not specified
  gdKeep = 1,        // leave the frame in place
  gdBackground = 2,  // clear the frame's area to the background
  gdPrevious = 3,    // restore what was there before the frame
};

struct TGifFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;  // inside the logical screen
  std::vector<std::uint8_t> Indices;  // Width x Height colour indices, top-down, de-interlaced
  TGifPalette LocalPalette;           // empty: the frame uses the global palette
  bool Interlaced = false;            // how the frame was (or is to be) stored
  // From the frame's graphic control extension (the first one before the frame, if several).
  bool HasControl = false;
  int Delay = 0;              // hundredths of a second
  int Disposal = gdNone;      // 0..7 as stored
  int TransparentIndex = -1;  // -1: no transparent colour
};

class TGifPicture {
 public:
  int Width = 0, Height = 0;  // logical screen
  TGifPalette GlobalPalette;
  int BackgroundIndex = 0;
  int LoopCount = -1;  // -1: no loop extension; 0: for ever; n: repeat n times
  std::vector<TGifFrame> Frames;

  std::size_t FrameCount() const noexcept { return Frames.size(); }
  // The palette a frame's indices refer to: its local palette, else the global one.
  const TGifPalette& PaletteOf(const TGifFrame& frame) const noexcept {
    return frame.LocalPalette.empty() ? GlobalPalette : frame.LocalPalette;
  }
  // Removes one frame; throws ECodecError for an index out of range.
  void RemoveFrame(std::size_t index);
};

// Reads every frame (at most 20000, together at most 256 M pixels). Frames must carry their whole
// image data: a truncated file is an error. A screen of size 0 takes the frames' extent.
TGifPicture DecodeGif(const std::uint8_t* data, std::size_t size);
// Writes GIF89a: global palette, a NETSCAPE2.0 loop extension when LoopCount >= 0, and per frame
// a graphic control extension when HasControl, its local palette and (interlaced) indices.
// Palettes are padded to a power of two; an index beyond its palette is an error.
std::vector<std::uint8_t> EncodeGif(const TGifPicture& gif);

// What lies under the first frame and what disposal 2 restores to.
enum class TGifBackground {
  Transparent,  // B, G, R, A = 0, 0, 0, 0
  Colour,       // the global palette's background colour, opaque
};

// Composes the frames of a GIF one after the other onto a canvas of the logical screen size
// (32-bit, top-down, HasAlpha), following each frame's disposal and transparent index. Parts of
// frames outside the screen are clipped; an index beyond its palette draws opaque black.
// The GIF must outlive the composer and stay unchanged while it is used.
class TGifComposer {
 public:
  explicit TGifComposer(const TGifPicture& gif, TGifBackground background = TGifBackground::Transparent);
  // Composes the next frame; false when all frames have been composed.
  bool Next();
  // Index of the frame the canvas shows (valid after the first Next()).
  std::size_t FrameIndex() const noexcept { return next_ - 1; }
  const TPixelBuffer& Canvas() const noexcept { return canvas_; }

 private:
  void Fill(TPixelBuffer& canvas, int left, int top, int width, int height) const;
  const TGifPicture& gif_;
  TGifBackground background_;
  TPixelBuffer canvas_;
  TPixelBuffer saved_;  // canvas before a frame whose disposal is "previous"
  std::size_t next_ = 0;
};

// Frame `index` as it appears when the animation reaches it.
TPixelBuffer ComposeGifFrame(const TGifPicture& gif, std::size_t index,
                             TGifBackground background = TGifBackground::Transparent);

// ---- Formats and files ----------------------------------------------------------------------

enum class TPictureFormat { Unknown, Bmp, Jpeg, Png, Gif };

// Format of a file name or bare extension ("x.JPG", ".png", "gif"), case-insensitive.
TPictureFormat PictureFormatFromExtension(const std::wstring& nameOrExtension);
// Format from the first bytes of the data (used to explain a wrong extension).
TPictureFormat DetectPictureFormat(const std::uint8_t* data, std::size_t size);
const wchar_t* PictureFormatName(TPictureFormat format);  // "BMP", "JPEG", ...

// One line of an open dialog's filter: a description and extensions without dots.
struct TPictureFileType {
  std::wstring Description;
  std::vector<std::wstring> Extensions;
};
// The types this library reads: bmp, jpg/jpeg, png, gif.
std::vector<TPictureFileType> CodecFileTypes();
// "All pictures (*.bmp;*.jpg;...)|*.bmp;*.jpg;...|Bitmaps (*.bmp)|*.bmp|..." in the given order.
std::wstring PictureFilterString(const std::vector<TPictureFileType>& types);
// The same with '|' turned into NULs and a final double NUL, as OPENFILENAME wants it.
std::wstring DialogFilter(const std::wstring& filterString);

// Whole file into memory; ECodecError names the file when it cannot be read.
std::vector<std::uint8_t> ReadPictureFile(const std::wstring& fileName);
void WritePictureFile(const std::wstring& fileName, const std::vector<std::uint8_t>& data);

// Decodes by format; a GIF gives its first frame composed on a transparent background.
TPixelBuffer DecodePicture(TPictureFormat format, const std::uint8_t* data, std::size_t size);
// Reads a file and decodes it by its extension. Errors name the file; a file whose content is
// another format than its extension says is reported as such.
TPixelBuffer LoadPictureFile(const std::wstring& fileName);
TGifPicture LoadGifFile(const std::wstring& fileName);
void SaveBmpFile(const std::wstring& fileName, const TPixelBuffer& picture);

}  // namespace kivo
