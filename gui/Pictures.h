// Graphics that hold pictures: the abstract TGraphic, TBitmap on a DIB section, TIcon, the JPEG,
// PNG and multi-frame GIF images, and TPicture with its registry of picture formats by extension.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Graphics.h"
#include "PictureCodecs.h"
#include "Streams.h"

namespace kivo {

// A picture that cannot be read or written; Message is fit to show a user.
KIVO_EXCEPTION(EInvalidGraphic, Exception)
// An operation a graphic does not allow (a scan line out of range, resizing an icon, ...).
KIVO_EXCEPTION(EInvalidGraphicOperation, Exception)

// Something that is told when an object changes (a picture reports every change through it).
MIDL_INTERFACE("8B1F5A4E-3C0D-4B8E-9A61-6B2C54E1D7F3")
IChangeNotifier : public IUnknown {
  virtual void STDMETHODCALLTYPE Changed() = 0;
};

class TGraphic : public TPersistent {
  KIVO_CLASS(TGraphic, TPersistent)
  // A new, empty graphic of the same class.
  virtual TGraphic* NewEmpty() const = 0;
  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // EInvalidGraphicOperation for graphics that cannot be resized.
  virtual void SetSize(int width, int height);
  void SetWidth(int w) { SetSize(w, Height()); }
  void SetHeight(int h) { SetSize(Width(), h); }
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool v);
  bool Modified() const { return modified_; }
  void SetModified(bool v) { modified_ = v; }

  // Draws the graphic stretched into r.
  virtual void Draw(TCanvas& canvas, const RECT& r) = 0;

  // Reads the rest of the stream / the whole file. EInvalidGraphic for bad content; the graphic
  // is unchanged then.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);
  void LoadFromFile(const std::wstring& fileName);
  void SaveToFile(const std::wstring& fileName);
  virtual void LoadFromBytes(const std::uint8_t* data, std::size_t size) = 0;
  virtual std::vector<std::uint8_t> SaveToBytes() = 0;

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
  bool transparent_ = false;
  bool modified_ = false;
};

using TGraphicFactory = TGraphic* (*)();

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum class TTransparentMode { tmAuto, tmFixed };

// A bitmap on a DIB section whose rows are stored bottom-up, as GDI keeps them; ScanLine(0) is
// still the top row. A new bitmap's pixels are black (zero).
class TBitmap : public TGraphic {
  KIVO_CLASS(TBitmap, TGraphic)
  TGraphic* NewEmpty() const override;
  TBitmap();
  TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pfDevice);
  ~TBitmap() override;

  bool Empty() const override { return width_ <= 0 || height_ <= 0; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Keeps the pixels that still fit (top-left aligned); new pixels are black.
  void SetSize(int width, int height) override;
  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels to the new format.
  void SetPixelFormat(TPixelFormat f);
  // Bits per pixel of the DIB section (pfDevice: the screen's).
  int BitCount() const { return BitCountOf(format_); }
  bool Monochrome() const { return format_ == TPixelFormat::pf1bit; }
  void SetMonochrome(bool v) { SetPixelFormat(v ? TPixelFormat::pf1bit : TPixelFormat::pfDevice); }

  // The canvas drawing on the bitmap (a memory DC the bitmap is selected into).
  TCanvas* Canvas();
  // The DIB section; nullptr while the bitmap is empty. Owned by the bitmap.
  HBITMAP Handle() const { return bitmap_.Get(); }
  // Takes over a bitmap (DIB section or device-dependent, converted to a DIB section).
  void SetHandle(HBITMAP h);
  // Gives the DIB section to the caller; the bitmap becomes empty.
  HBITMAP ReleaseHandle();
  // Row `row` counted from the top; EInvalidGraphicOperation outside 0..Height-1.
  void* ScanLine(int row);
  int BytesPerScanLine() const { return stride_; }
  // Colour table of a 1/4/8-bit bitmap.
  std::vector<RGBQUAD> ColorTable() const;
  void SetColorTable(const std::vector<RGBQUAD>& colors);

  // The colour drawn as see-through when Transparent: with tmAuto the bottom-left pixel.
  TColor TransparentColor();
  // clDefault goes back to tmAuto, any other colour sets tmFixed.
  void SetTransparentColor(TColor c);
  TTransparentMode TransparentMode() const { return mode_; }
  void SetTransparentMode(TTransparentMode m);
  // A monochrome mask of the bitmap: 1 (white) where the pixel is the transparent colour,
  // 0 (black) elsewhere. Owned by the bitmap; valid until the next call or the bitmap's end.
  HBITMAP MaskHandle();
  // Turns the bitmap into its own monochrome mask for that colour.
  void Mask(TColor transparentColor);

  void Draw(TCanvas& canvas, const RECT& r) override;
  void Assign(const TPersistent* source) override;
  // A BMP file (BI_RGB 1/4/8/16/24/32 keep their pixel format; other BMPs load as 24 or 32 bits).
  void LoadFromBytes(const std::uint8_t* data, std::size_t size) override;
  // A BMP file in the bitmap's own pixel format.
  std::vector<std::uint8_t> SaveToBytes() override;
  // A packed DIB (header, colour table, pixels), as in a bitmap resource.
  void LoadFromDib(const std::uint8_t* dib, std::size_t size);
  void LoadFromResourceName(HINSTANCE instance, const std::wstring& name);
  void LoadFromResourceID(HINSTANCE instance, int id);

  // Pixels to and from the codecs' top-down buffers (24 or 32 bits; a 32-bit picture keeps its
  // fourth byte).
  void AssignPixels(const TPixelBuffer& picture);
  TPixelBuffer ToPixels() const;

  static int BitCountOf(TPixelFormat f);

 private:
  class TBitmapCanvas;
  friend class TBitmapCanvas;
  void Recreate(int width, int height, TPixelFormat format, const std::vector<RGBQUAD>* colors, bool keepPixels);
  void SelectIntoCanvas();
  HDC CanvasDC();
  bool LoadDirect(const std::uint8_t* dib, std::size_t size, std::size_t bitsOffset);

  int width_ = 0, height_ = 0;
  TPixelFormat format_ = TPixelFormat::pfDevice;
  TBitmapOwner bitmap_;
  std::uint8_t* bits_ = nullptr;
  int stride_ = 0;
  std::unique_ptr<TBitmapCanvas> canvas_;
  TBitmapOwner mask_;
  TColor transparentColor_ = clDefault;
  TTransparentMode mode_ = TTransparentMode::tmAuto;
};

// An icon (HICON); .ico files load their largest image. Always drawn transparent.
class TIcon : public TGraphic {
  KIVO_CLASS(TIcon, TGraphic)
  TGraphic* NewEmpty() const override;
  TIcon();
  ~TIcon() override;
  bool Empty() const override { return !icon_; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  bool Transparent() const override { return true; }
  HICON Handle() const { return icon_.Get(); }
  // Takes over the icon.
  void SetHandle(HICON icon);
  HICON ReleaseHandle();
  void Draw(TCanvas& canvas, const RECT& r) override;
  void Assign(const TPersistent* source) override;
  void LoadFromBytes(const std::uint8_t* data, std::size_t size) override;
  // A one-image .ico file with 32-bit colour and a mask.
  std::vector<std::uint8_t> SaveToBytes() override;

 private:
  TIconOwner icon_;
  int width_ = 0, height_ = 0;
};

// JPEG (libjpeg) and PNG (libpng) pictures, held as a bitmap.
class TJPEGImage : public TGraphic {
  KIVO_CLASS(TJPEGImage, TGraphic)
  TGraphic* NewEmpty() const override;
  TJPEGImage();
  ~TJPEGImage() override;
  bool Empty() const override { return bitmap_->Empty(); }
  int Width() const override { return bitmap_->Width(); }
  int Height() const override { return bitmap_->Height(); }
  int CompressionQuality = 90;
  bool Grayscale = false;
  // The decoded picture (24 bits).
  TBitmap* Bitmap() const { return bitmap_.get(); }
  void Draw(TCanvas& canvas, const RECT& r) override;
  void Assign(const TPersistent* source) override;
  void LoadFromBytes(const std::uint8_t* data, std::size_t size) override;
  std::vector<std::uint8_t> SaveToBytes() override;

 private:
  std::unique_ptr<TBitmap> bitmap_;
};

class TPngImage : public TGraphic {
  KIVO_CLASS(TPngImage, TGraphic)
  TGraphic* NewEmpty() const override;
  TPngImage();
  ~TPngImage() override;
  bool Empty() const override { return bitmap_->Empty(); }
  int Width() const override { return bitmap_->Width(); }
  int Height() const override { return bitmap_->Height(); }
  // 32 bits, B, G, R, A straight (not premultiplied).
  TBitmap* Bitmap() const { return bitmap_.get(); }
  // True when some pixel is not fully opaque; such a picture is drawn blended.
  bool HasTransparency() const { return hasTransparency_; }
  void Draw(TCanvas& canvas, const RECT& r) override;
  void Assign(const TPersistent* source) override;
  void LoadFromBytes(const std::uint8_t* data, std::size_t size) override;
  std::vector<std::uint8_t> SaveToBytes() override;

 private:
  void PictureLoaded();
  std::unique_ptr<TBitmap> bitmap_;
  bool hasTransparency_ = false;
};

// A multi-frame GIF: frames with their delays, disposal, transparent index, position and palette.
// Frames are composed (disposal and transparency applied) for drawing; Draw shows the current
// frame, which Animate advances by the frames' delays.
class TGIFImage : public TGraphic {
  KIVO_CLASS(TGIFImage, TGraphic)
  TGraphic* NewEmpty() const override;
  TGIFImage();
  ~TGIFImage() override;
  bool Empty() const override { return gif_.Frames.empty(); }
  int Width() const override { return gif_.Width; }
  int Height() const override { return gif_.Height; }
  // True when a frame has a transparent colour.
  bool Transparent() const override;

  const TGifPicture& Gif() const { return gif_; }
  int FrameCount() const { return static_cast<int>(gif_.Frames.size()); }
  const TGifFrame& Frame(int index) const;
  // The palette frame `index` uses (its own, else the global one).
  const TGifPalette& FramePalette(int index) const { return gif_.PaletteOf(Frame(index)); }
  // Delay of a frame in hundredths of a second (a change of the picture).
  void SetFrameDelay(int index, int delay);
  // Removes a frame (EInvalidGraphicOperation for a bad index).
  void RemoveFrame(int index);
  // Replaces the picture (for example after editing a copy of Gif()).
  void SetGif(TGifPicture gif);
  // Frame `index` as shown when the animation reaches it: 32 bits, alpha 0 where see-through.
  // Owned by the image and valid until the next call (one composed frame is kept, not all).
  TBitmap* FrameBitmap(int index);

  int CurrentFrame() const { return current_; }
  void SetCurrentFrame(int index);
  // Steps through the frames on a window timer (delay 0 counts as 100 ms); each step is a change.
  bool Animate() const { return animate_; }
  void SetAnimate(bool v);

  void Draw(TCanvas& canvas, const RECT& r) override;
  void Assign(const TPersistent* source) override;
  void LoadFromBytes(const std::uint8_t* data, std::size_t size) override;
  std::vector<std::uint8_t> SaveToBytes() override;

 private:
  class TAnimator;
  void Rebuild();
  void StepAnimation();
  TGifPicture gif_;
  // Composition walks forward from the first frame; stepping on reuses it.
  std::unique_ptr<TGifComposer> composer_;
  int composed_ = -1;  // the frame the composer's canvas shows
  std::unique_ptr<TBitmap> shown_;
  int shownIndex_ = -1;
  int current_ = 0;
  bool animate_ = false;
  std::unique_ptr<TAnimator> animator_;
};

// A picture of any registered format. The graphic is owned; every change of it (and every new
// graphic) raises OnChange and the change notifier.
class TPicture : public TPersistent {
  KIVO_CLASS(TPicture, TPersistent)
  TPicture();
  ~TPicture() override;

  TGraphic* Graphic() const { return graphic_.get(); }
  // Takes a copy of the graphic (nullptr clears the picture).
  void SetGraphic(TGraphic* graphic);
  // The graphic as a bitmap; a picture holding another kind (or nothing) gets a new empty bitmap.
  TBitmap* Bitmap();
  TIcon* Icon();
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // The class is chosen by the file's extension; EInvalidGraphic for an unknown extension or a
  // bad file (the picture keeps what it had then).
  void LoadFromFile(const std::wstring& fileName);
  void SaveToFile(const std::wstring& fileName);
  void Assign(const TPersistent* source) override;

  TNotifyEvent OnChange;
  IChangeNotifier* PictureAdapter() const { return adapter_.Get(); }
  void SetPictureAdapter(IChangeNotifier* notifier) { adapter_ = TComPtr<IChangeNotifier>(notifier); }

  // The registry of picture formats: an extension without dot, a description, a class.
  static void RegisterFileFormat(const std::wstring& extension, const std::wstring& description,
                                 const TClassInfo& graphicClass, TGraphicFactory factory);
  static void UnregisterGraphicClass(const TClassInfo& graphicClass);
  // The factory for a file name's extension (or a bare extension), nullptr when none.
  static TGraphicFactory FindFormat(const std::wstring& nameOrExtension);

 protected:
  void Changed(TObject* sender);

 private:
  void Adopt(TGraphic* graphic);
  TObjectPtr<TGraphic> graphic_;
  TComPtr<IChangeNotifier> adapter_;
};

// Open-dialog filter of the registered formats of that class and its descendants (TGraphic: all):
// "All pictures (*.bmp;...)|*.bmp;...|Bitmaps (*.bmp)|*.bmp|...".
std::wstring GraphicFilter(const TClassInfo& graphicClass);
// The first registered extension of the class ("bmp"), empty when none.
std::wstring GraphicExtension(const TClassInfo& graphicClass);
// "*.bmp;*.ico;..." for the class and its descendants.
std::wstring GraphicFileMask(const TClassInfo& graphicClass);

}  // namespace kivo

__CRT_UUID_DECL(kivo::IChangeNotifier, 0x8b1f5a4e, 0x3c0d, 0x4b8e, 0x9a, 0x61, 0x6b, 0x2c, 0x54, 0xe1, 0xd7, 0xf3)
