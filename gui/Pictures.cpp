#include "Pictures.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "Forms.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TGraphic)
KIVO_IMPLEMENT_CLASS(TBitmap)
TGraphic* TBitmap::NewEmpty() const { return new TBitmap(); }
KIVO_IMPLEMENT_CLASS(TIcon)
TGraphic* TIcon::NewEmpty() const { return new TIcon(); }
KIVO_IMPLEMENT_CLASS(TJPEGImage)
TGraphic* TJPEGImage::NewEmpty() const { return new TJPEGImage(); }
KIVO_IMPLEMENT_CLASS(TPngImage)
TGraphic* TPngImage::NewEmpty() const { return new TPngImage(); }
KIVO_IMPLEMENT_CLASS(TGIFImage)
TGraphic* TGIFImage::NewEmpty() const { return new TGIFImage(); }
KIVO_IMPLEMENT_CLASS(TPicture)

namespace {

std::uint32_t U32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
std::uint16_t U16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void Put(std::vector<std::uint8_t>& out, const void* p, std::size_t n) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}
std::size_t StrideOf(int width, int bitCount) { return ((std::size_t(width) * bitCount + 31) / 32) * 4; }

int DeviceBitCount() {
  static const int bits = [] {
    HDC screen = ::GetDC(nullptr);
    int bpp = screen ? ::GetDeviceCaps(screen, BITSPIXEL) * ::GetDeviceCaps(screen, PLANES) : 32;
    if (screen) ::ReleaseDC(nullptr, screen);
    for (int b : {1, 4, 8, 16, 24, 32})
      if (bpp <= b) return b;
    return 32;
  }();
  return bits;
}

// A BITMAPINFO with room for 256 colours or three bit-field masks.
struct TDibInfo {
  BITMAPINFOHEADER Header{};
  RGBQUAD Colors[256]{};
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(this); }
};

// The default colour table of a palette bitmap: black and white, the 16 VGA colours, or a
// 6 x 6 x 6 cube followed by greys.
std::vector<RGBQUAD> DefaultColors(int bitCount) {
  std::vector<RGBQUAD> c;
  if (bitCount == 1) return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  if (bitCount == 4) {
    static const COLORREF vga[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
                                     0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (COLORREF v : vga) c.push_back(RGBQUAD{GetBValue(v), GetGValue(v), GetRValue(v), 0});
    return c;
  }
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        c.push_back(RGBQUAD{BYTE(b * 51), BYTE(g * 51), BYTE(r * 51), 0});
  for (int i = 0; c.size() < 256; ++i) {
    BYTE v = BYTE(i * 255 / 39);
    c.push_back(RGBQUAD{v, v, v, 0});
  }
  return c;
}

[[noreturn]] void ThrowCodec(const ECodecError& e) { throw EInvalidGraphic(e.Message()); }

void CheckSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
      std::uint64_t(width) * std::uint64_t(height) > kMaxPicturePixels)
    throw EInvalidGraphic(L"Bitmap size out of range");
}

// A memory DC holding one bitmap for a scope.
class TBitmapDC {
 public:
  explicit TBitmapDC(HBITMAP bmp) : dc_(::CreateCompatibleDC(nullptr)) {
    if (!dc_) throw EOutOfResources(L"Out of system resources");
    old_ = ::SelectObject(dc_.Get(), bmp);
  }
  ~TBitmapDC() {
    if (old_) ::SelectObject(dc_.Get(), old_);
  }
  HDC Get() const { return dc_.Get(); }

 private:
  TMemDCOwner dc_;
  HGDIOBJ old_ = nullptr;
};

}  // namespace

// ---- TGraphic ---------------------------------------------------------------------------------
void TGraphic::SetSize(int, int) { throw EInvalidGraphicOperation(L"Cannot change the size of this graphic"); }
void TGraphic::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  Changed();
}
void TGraphic::Changed() {
  modified_ = true;
  if (OnChange) OnChange(this);
}
void TGraphic::LoadFromStream(TStream& stream) {
  const int64_t left = stream.Size() - stream.Position();
  if (left < 0 || std::uint64_t(left) > kMaxPictureFileBytes) throw EInvalidGraphic(L"Picture stream too large");
  std::vector<std::uint8_t> data(static_cast<std::size_t>(left));
  if (!data.empty()) stream.ReadBuffer(data.data(), static_cast<long>(data.size()));
  LoadFromBytes(data.data(), data.size());
}
void TGraphic::SaveToStream(TStream& stream) {
  std::vector<std::uint8_t> data = SaveToBytes();
  if (!data.empty()) stream.WriteBuffer(data.data(), static_cast<long>(data.size()));
}
void TGraphic::LoadFromFile(const std::wstring& fileName) {
  std::vector<std::uint8_t> data;
  try {
    data = ReadPictureFile(fileName);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
  try {
    LoadFromBytes(data.data(), data.size());
  } catch (const EInvalidGraphic& e) {
    // say so when the content is another format than the extension promises
    TPictureFormat named = PictureFormatFromExtension(fileName);
    TPictureFormat found = DetectPictureFormat(data.data(), data.size());
    std::wstring msg = fileName + L": " + e.Message();
    if (found != TPictureFormat::Unknown && found != named)
      msg = fileName + L": the file holds a " + PictureFormatName(found) + L" picture, not what its extension says";
    throw EInvalidGraphic(msg);
  }
}
void TGraphic::SaveToFile(const std::wstring& fileName) {
  std::vector<std::uint8_t> data = SaveToBytes();
  try {
    WritePictureFile(fileName, data);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
}

// ---- TBitmap ----------------------------------------------------------------------------------
// The bitmap's canvas: a memory DC made on first use, holding the DIB section.
class TBitmap::TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* owner) : owner_(owner) {}
  ~TBitmapCanvas() override { Release(); }
  void Select() {
    if (!dc_) return;
    HBITMAP b = owner_->bitmap_.Get();
    HGDIOBJ prev = ::SelectObject(dc_, b ? static_cast<HGDIOBJ>(b) : oldBitmap_);
    if (!oldBitmap_) oldBitmap_ = prev;
  }
  void Deselect() {
    if (dc_ && oldBitmap_) ::SelectObject(dc_, oldBitmap_);
  }

 protected:
  void CreateHandle() override {
    HDC dc = ::CreateCompatibleDC(nullptr);
    if (!dc) return;
    dc_ = dc;
    oldBitmap_ = nullptr;
    Select();
  }
  void FreeHandle() override { Release(); }

 private:
  void Release() {
    if (!dc_) return;
    Deselect();
    ::DeleteDC(dc_);
    dc_ = nullptr;
    oldBitmap_ = nullptr;
  }
  TBitmap* owner_;
  HGDIOBJ oldBitmap_ = nullptr;
};

HBITMAP BitmapHandleOf(TBitmap* bitmap) { return bitmap ? bitmap->Handle() : nullptr; }

TBitmap::TBitmap() : canvas_(std::make_unique<TBitmapCanvas>(this)) {}
TBitmap::TBitmap(int width, int height, TPixelFormat format) : TBitmap() {
  format_ = format;
  SetSize(width, height);
}
TBitmap::~TBitmap() {
  canvas_.reset();  // the DC lets go of the bitmap before it is deleted
}

int TBitmap::BitCountOf(TPixelFormat f) {
  switch (f) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return DeviceBitCount();
  }
}

HDC TBitmap::CanvasDC() { return canvas_->Handle(); }

void TBitmap::Recreate(int width, int height, TPixelFormat format, const std::vector<RGBQUAD>* colors, bool keepPixels) {
  CheckSize(width, height);
  if (format == TPixelFormat::pfCustom) throw EInvalidGraphicOperation(L"Unsupported pixel format");
  TBitmapOwner fresh;
  std::uint8_t* freshBits = nullptr;
  const int bitCount = BitCountOf(format);
  if (width > 0 && height > 0) {
    TDibInfo info;
    info.Header = DibHeader(width, height, bitCount);  // bottom-up
    if (format == TPixelFormat::pf16bit) {
      info.Header.biCompression = BI_BITFIELDS;
      const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(info.Colors, masks, sizeof(masks));
    } else if (bitCount <= 8) {
      std::vector<RGBQUAD> table;
      if (colors && !colors->empty()) table = *colors;
      else if (keepPixels && bitmap_ && BitCountOf(format_) == bitCount) table = ColorTable();
      if (table.empty()) table = DefaultColors(bitCount);
      table.resize(std::min<std::size_t>(table.size(), std::size_t(1) << bitCount));
      info.Header.biClrUsed = static_cast<DWORD>(table.size());
      std::copy(table.begin(), table.end(), info.Colors);
    }
    void* bits = nullptr;
    fresh.Reset(::CreateDIBSection(nullptr, info.Info(), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!fresh) throw EOutOfResources(L"Out of system resources");
    freshBits = static_cast<std::uint8_t*>(bits);
    if (keepPixels && bitmap_ && !Empty()) {
      ::GdiFlush();
      TBitmapDC dst(fresh.Get());
      // the source is the canvas DC (it holds the old bitmap) or a DC of its own
      HDC src = canvas_->HandleAllocated() ? canvas_->Handle() : nullptr;
      std::unique_ptr<TBitmapDC> own;
      if (!src) {
        own = std::make_unique<TBitmapDC>(bitmap_.Get());
        src = own->Get();
      }
      ::SetBkColor(src, RGB(255, 255, 255));  // colour to monochrome: white becomes 1
      ::BitBlt(dst.Get(), 0, 0, std::min(width, width_), std::min(height, height_), src, 0, 0, SRCCOPY);
      ::GdiFlush();
    }
  }
  canvas_->Deselect();
  bitmap_ = std::move(fresh);
  bits_ = freshBits;
  width_ = width;  // an empty bitmap may still have one non-zero side
  height_ = height;
  stride_ = static_cast<int>(StrideOf(width, bitCount));
  format_ = format;
  mask_.Reset();
  canvas_->Select();
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  Recreate(width, height, format_, nullptr, true);
  Changed();
}
void TBitmap::SetPixelFormat(TPixelFormat f) {
  if (f == format_) return;
  Recreate(width_, height_, f, nullptr, true);
  Changed();
}
TCanvas* TBitmap::Canvas() { return canvas_.get(); }

void TBitmap::SetHandle(HBITMAP h) {
  if (h == bitmap_.Get()) return;
  TBitmapOwner taken(h);
  if (!h) {
    Recreate(0, 0, format_, nullptr, false);
    Changed();
    return;
  }
  DIBSECTION ds{};
  int n = ::GetObjectW(h, sizeof(ds), &ds);
  if (n == 0) throw EInvalidGraphic(L"Invalid bitmap handle");
  const int w = ds.dsBm.bmWidth, hgt = ds.dsBm.bmHeight;
  TPixelFormat f = TPixelFormat::pfDevice;
  if (n == sizeof(DIBSECTION) && ds.dsBm.bmBits) {
    switch (ds.dsBmih.biBitCount) {
      case 1: f = TPixelFormat::pf1bit; break;
      case 4: f = TPixelFormat::pf4bit; break;
      case 8: f = TPixelFormat::pf8bit; break;
      case 16: f = ds.dsBmih.biCompression == BI_BITFIELDS && ds.dsBitfields[1] == 0x07E0 ? TPixelFormat::pf16bit : TPixelFormat::pf15bit; break;
      case 24: f = TPixelFormat::pf24bit; break;
      case 32: f = TPixelFormat::pf32bit; break;
    }
  } else if (ds.dsBm.bmBitsPixel == 1) {
    f = TPixelFormat::pf1bit;
  }
  // copy into a bottom-up DIB section of our own; the handle given is deleted with `taken`
  std::vector<RGBQUAD> colors;
  if (f == TPixelFormat::pf1bit || f == TPixelFormat::pf4bit || f == TPixelFormat::pf8bit) {
    TBitmapDC src(h);
    colors.resize(256);
    UINT got = ::GetDIBColorTable(src.Get(), 0, 256, colors.data());
    colors.resize(got);
  }
  Recreate(0, 0, f, nullptr, false);
  Recreate(w, hgt, f, colors.empty() ? nullptr : &colors, false);
  if (bitmap_) {
    TBitmapDC src(h);
    ::SetBkColor(src.Get(), RGB(255, 255, 255));
    ::BitBlt(CanvasDC(), 0, 0, w, hgt, src.Get(), 0, 0, SRCCOPY);
    ::GdiFlush();
  }
  Changed();
}
HBITMAP TBitmap::ReleaseHandle() {
  canvas_->Deselect();
  HBITMAP h = bitmap_.Release();
  bits_ = nullptr;
  width_ = height_ = 0;
  stride_ = 0;
  mask_.Reset();
  Changed();
  return h;
}

void* TBitmap::ScanLine(int row) {
  if (!bits_ || row < 0 || row >= height_) throw EInvalidGraphicOperation(L"Scan line index out of range");
  ::GdiFlush();
  return bits_ + std::size_t(height_ - 1 - row) * std::size_t(stride_);
}

std::vector<RGBQUAD> TBitmap::ColorTable() const {
  std::vector<RGBQUAD> c;
  if (!bitmap_ || BitCountOf(format_) > 8) return c;
  c.resize(256);
  // a bitmap is selected into one DC at a time: the canvas's when it has one
  if (canvas_->HandleAllocated()) {
    c.resize(::GetDIBColorTable(canvas_->Handle(), 0, 256, c.data()));
  } else {
    TBitmapDC dc(bitmap_.Get());
    c.resize(::GetDIBColorTable(dc.Get(), 0, 256, c.data()));
  }
  return c;
}
void TBitmap::SetColorTable(const std::vector<RGBQUAD>& colors) {
  if (!bitmap_ || BitCountOf(format_) > 8) throw EInvalidGraphicOperation(L"The bitmap has no colour table");
  const UINT n = static_cast<UINT>(std::min<std::size_t>(colors.size(), std::size_t(1) << BitCountOf(format_)));
  ::SetDIBColorTable(CanvasDC(), 0, n, colors.data());
  Changed();
}

TColor TBitmap::TransparentColor() {
  if (mode_ == TTransparentMode::tmFixed) return transparentColor_;
  if (Empty()) return clDefault;
  return static_cast<TColor>(::GetPixel(CanvasDC(), 0, height_ - 1) & 0xFFFFFF);
}
void TBitmap::SetTransparentColor(TColor c) {
  transparentColor_ = c;
  mode_ = c == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  Changed();
}
void TBitmap::SetTransparentMode(TTransparentMode m) {
  if (m == mode_) return;
  if (m == TTransparentMode::tmFixed && transparentColor_ == clDefault) transparentColor_ = TransparentColor();
  if (m == TTransparentMode::tmAuto) transparentColor_ = clDefault;
  mode_ = m;
  Changed();
}

HBITMAP TBitmap::MaskHandle() {
  mask_.Reset();
  if (Empty()) return nullptr;
  TBitmapOwner mask(::CreateBitmap(width_, height_, 1, 1, nullptr));
  if (!mask) throw EOutOfResources(L"Out of system resources");
  {
    HDC src = CanvasDC();
    TBitmapDC dst(mask.Get());
    COLORREF old = ::SetBkColor(src, ColorToRGB(TransparentColor()));
    ::BitBlt(dst.Get(), 0, 0, width_, height_, src, 0, 0, SRCCOPY);
    ::SetBkColor(src, old);
  }
  mask_ = std::move(mask);
  return mask_.Get();
}
void TBitmap::Mask(TColor transparentColor) {
  const TColor keep = transparentColor_;
  const TTransparentMode keepMode = mode_;
  transparentColor_ = transparentColor;
  mode_ = TTransparentMode::tmFixed;
  HBITMAP m = MaskHandle();
  transparentColor_ = keep;
  mode_ = keepMode;
  if (m) SetHandle(mask_.Release());
}

void TBitmap::Draw(TCanvas& canvas, const RECT& r) {
  if (Empty()) return;
  HDC dst = canvas.Handle();
  HDC src = CanvasDC();
  const int dw = r.right - r.left, dh = r.bottom - r.top;
  if (Transparent()) {
    ::TransparentBlt(dst, r.left, r.top, dw, dh, src, 0, 0, width_, height_, ColorToRGB(TransparentColor()));
  } else {
    int oldMode = ::SetStretchBltMode(dst, COLORONCOLOR);
    ::StretchBlt(dst, r.left, r.top, dw, dh, src, 0, 0, width_, height_, canvas.CopyMode());
    ::SetStretchBltMode(dst, oldMode);
  }
}

void TBitmap::Assign(const TPersistent* source) {
  if (source == this) return;
  if (!source) {
    Recreate(0, 0, format_, nullptr, false);
    Changed();
    return;
  }
  if (auto* b = dynamic_cast<const TBitmap*>(source)) {
    std::vector<RGBQUAD> colors = b->ColorTable();
    Recreate(0, 0, b->format_, nullptr, false);
    Recreate(b->width_, b->height_, b->format_, colors.empty() ? nullptr : &colors, false);
    if (bits_ && b->bits_) {
      ::GdiFlush();
      std::memcpy(bits_, b->bits_, std::size_t(stride_) * std::size_t(height_));
    }
    transparent_ = b->transparent_;
    transparentColor_ = b->transparentColor_;
    mode_ = b->mode_;
    Changed();
    return;
  }
  if (auto* g = dynamic_cast<const TGraphic*>(source)) {
    auto* graphic = const_cast<TGraphic*>(g);
    Recreate(0, 0, format_, nullptr, false);
    Recreate(graphic->Width(), graphic->Height(), format_, nullptr, false);
    if (!Empty()) {
      RECT r{0, 0, width_, height_};
      Canvas()->Brush()->SetColor(clWhite);
      Canvas()->FillRect(r);
      graphic->Draw(*Canvas(), r);
      ::GdiFlush();
    }
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

// A BI_RGB DIB of a bit count GDI keeps as it is: made as a DIB section of that format.
bool TBitmap::LoadDirect(const std::uint8_t* dib, std::size_t size, std::size_t bitsOffset) {
  if (size < sizeof(BITMAPINFOHEADER)) return false;
  const std::uint32_t headerSize = U32(dib);
  if (headerSize < sizeof(BITMAPINFOHEADER) || headerSize > size) return false;
  const std::int32_t w = static_cast<std::int32_t>(U32(dib + 4));
  const std::int32_t h = static_cast<std::int32_t>(U32(dib + 8));
  const int bitCount = U16(dib + 14);
  if (U16(dib + 12) != 1 || U32(dib + 16) != BI_RGB) return false;
  TPixelFormat f;
  switch (bitCount) {
    case 1: f = TPixelFormat::pf1bit; break;
    case 4: f = TPixelFormat::pf4bit; break;
    case 8: f = TPixelFormat::pf8bit; break;
    case 16: f = TPixelFormat::pf15bit; break;
    case 24: f = TPixelFormat::pf24bit; break;
    case 32: f = TPixelFormat::pf32bit; break;
    default: return false;
  }
  if (w <= 0 || h == 0 || h == INT_MIN) throw EInvalidGraphic(L"Bitmap image is not valid");
  const int height = h < 0 ? -h : h;
  if (w > kMaxPictureSide || height > kMaxPictureSide || std::uint64_t(w) * std::uint64_t(height) > kMaxPicturePixels)
    throw EInvalidGraphic(L"Bitmap image is too large");
  std::vector<RGBQUAD> colors;
  std::size_t tableEnd = headerSize;
  if (bitCount <= 8) {
    std::uint32_t used = U32(dib + 32);
    if (used == 0 || used > (1u << bitCount)) used = 1u << bitCount;
    if (tableEnd + std::size_t(used) * 4 > size) throw EInvalidGraphic(L"Bitmap image is truncated");
    colors.resize(used);
    std::memcpy(colors.data(), dib + tableEnd, std::size_t(used) * 4);
    tableEnd += std::size_t(used) * 4;
  }
  if (bitsOffset < tableEnd) bitsOffset = tableEnd;
  const std::size_t stride = StrideOf(w, bitCount);
  if (bitsOffset > size || (size - bitsOffset) / stride < std::size_t(height))
    throw EInvalidGraphic(L"Bitmap image is truncated");
  Recreate(0, 0, f, nullptr, false);
  Recreate(w, height, f, &colors, false);
  ::GdiFlush();
  for (int y = 0; y < height; ++y) {  // DIB section rows are bottom-up like the file's (h > 0)
    const int fileRow = h > 0 ? y : height - 1 - y;
    std::memcpy(bits_ + std::size_t(y) * stride, dib + bitsOffset + std::size_t(fileRow) * stride, stride);
  }
  return true;
}

void TBitmap::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') throw EInvalidGraphic(L"Bitmap image is not valid");
  const std::size_t offBits = U32(data + 10);
  const bool transparent = transparent_;
  if (!LoadDirect(data + 14, size - 14, offBits >= 14 ? offBits - 14 : 0)) {
    try {
      AssignPixels(DecodeBmp(data, size));
    } catch (const ECodecError& e) {
      ThrowCodec(e);
    }
  }
  transparent_ = transparent;
  Changed();
}
void TBitmap::LoadFromDib(const std::uint8_t* dib, std::size_t size) {
  if (!LoadDirect(dib, size, 0)) {
    try {
      AssignPixels(DecodeDib(dib, size));
    } catch (const ECodecError& e) {
      ThrowCodec(e);
    }
  }
  Changed();
}
void TBitmap::LoadFromResourceName(HINSTANCE instance, const std::wstring& name) {
  HRSRC res = ::FindResourceW(instance, name.c_str(), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
  if (!res) throw EInvalidGraphic(L"Bitmap resource not found: " + name);
  HGLOBAL mem = ::LoadResource(instance, res);
  const auto* p = mem ? static_cast<const std::uint8_t*>(::LockResource(mem)) : nullptr;
  if (!p) throw EInvalidGraphic(L"Bitmap resource not found: " + name);
  LoadFromDib(p, ::SizeofResource(instance, res));
}
void TBitmap::LoadFromResourceID(HINSTANCE instance, int id) {
  HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));
  if (!res) throw EInvalidGraphic(L"Bitmap resource not found: " + std::to_wstring(id));
  HGLOBAL mem = ::LoadResource(instance, res);
  const auto* p = mem ? static_cast<const std::uint8_t*>(::LockResource(mem)) : nullptr;
  if (!p) throw EInvalidGraphic(L"Bitmap resource not found: " + std::to_wstring(id));
  LoadFromDib(p, ::SizeofResource(instance, res));
}

std::vector<std::uint8_t> TBitmap::SaveToBytes() {
  std::vector<std::uint8_t> out;
  const int bitCount = BitCountOf(format_);
  std::vector<RGBQUAD> colors = ColorTable();
  const bool fields = format_ == TPixelFormat::pf16bit;
  const std::size_t imageSize = std::size_t(stride_) * std::size_t(height_);
  const std::size_t headers = 14 + sizeof(BITMAPINFOHEADER) + (fields ? 12 : 0) + colors.size() * 4;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfSize = static_cast<DWORD>(headers + imageSize);
  fh.bfOffBits = static_cast<DWORD>(headers);
  BITMAPINFOHEADER ih = DibHeader(width_, height_, bitCount);
  if (fields) ih.biCompression = BI_BITFIELDS;
  ih.biSizeImage = static_cast<DWORD>(imageSize);
  ih.biXPelsPerMeter = ih.biYPelsPerMeter = 3780;  // 96 dpi
  ih.biClrUsed = static_cast<DWORD>(colors.size());
  Put(out, &fh, 14);
  Put(out, &ih, sizeof(ih));
  if (fields) {
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    Put(out, masks, sizeof(masks));
  }
  if (!colors.empty()) Put(out, colors.data(), colors.size() * 4);
  if (bits_) {
    ::GdiFlush();
    Put(out, bits_, imageSize);
  }
  return out;
}

void TBitmap::AssignPixels(const TPixelBuffer& picture) {
  const TPixelFormat f = picture.BitCount == 32 ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
  if (picture.BitCount != 24 && picture.BitCount != 32) throw EInvalidGraphic(L"Unsupported picture layout");
  Recreate(0, 0, f, nullptr, false);
  Recreate(picture.Width, picture.Height, f, nullptr, false);
  ::GdiFlush();
  for (int y = 0; y < height_; ++y) std::memcpy(ScanLine(y), picture.Row(y), std::min<std::size_t>(stride_, picture.Stride()));
  Changed();
}
TPixelBuffer TBitmap::ToPixels() const {
  if (Empty()) return {};
  const int bitCount = BitCountOf(format_) == 24 ? 24 : 32;
  TPixelBuffer p(width_, height_, bitCount);
  TDibInfo info;
  info.Header = DibHeader(width_, -height_, bitCount);  // top-down, as the buffer is
  ::GdiFlush();
  if (BitCountOf(format_) == bitCount) {
    for (int y = 0; y < height_; ++y)
      std::memcpy(p.Row(y), bits_ + std::size_t(height_ - 1 - y) * stride_, p.Stride());
    return p;
  }
  TMemDCOwner dc(::CreateCompatibleDC(nullptr));
  if (::GetDIBits(dc.Get(), bitmap_.Get(), 0, height_, p.Bits.data(), info.Info(), DIB_RGB_COLORS) != height_)
    throw EInvalidGraphic(L"Cannot read the bitmap's pixels");
  return p;
}

// ---- Canvas operations that draw graphics ------------------------------------------------------
void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  StretchDraw(RECT{x, y, x + graphic->Width(), y + graphic->Height()}, graphic);
}
void TCanvas::StretchDraw(const RECT& r, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(*this, r);
}
void TCanvas::BrushCopy(const RECT& dest, TBitmap* bitmap, const RECT& src, TColor color) {
  if (!bitmap || bitmap->Empty()) return;
  const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  const int sw = src.right - src.left, sh = src.bottom - src.top;
  HDC dst = Handle();
  HDC bmpDC = bitmap->Canvas()->Handle();
  // mask: 1 where the bitmap has `color`
  TBitmapOwner mask(::CreateBitmap(sw, sh, 1, 1, nullptr));
  if (!mask) throw EOutOfResources(L"Out of system resources");
  TBitmapDC maskDC(mask.Get());
  COLORREF oldBk = ::SetBkColor(bmpDC, ColorToRGB(color));
  ::BitBlt(maskDC.Get(), 0, 0, sw, sh, bmpDC, src.left, src.top, SRCCOPY);
  ::SetBkColor(bmpDC, oldBk);
  // compose off-screen: the bitmap with the key pixels blackened, plus the brush where the mask is set
  TBitmap work(sw, sh, TPixelFormat::pf32bit);
  HDC w = work.Canvas()->Handle();
  ::BitBlt(w, 0, 0, sw, sh, bmpDC, src.left, src.top, SRCCOPY);
  COLORREF oldText = ::SetTextColor(w, RGB(0, 0, 0));
  COLORREF oldBack = ::SetBkColor(w, RGB(255, 255, 255));
  ::BitBlt(w, 0, 0, sw, sh, maskDC.Get(), 0, 0, 0x00220326 /* DSna: key pixels to black */);
  HBRUSH brush = brush_.Handle();
  if (brush) {
    HGDIOBJ oldBrush = ::SelectObject(w, brush);
    ::BitBlt(w, 0, 0, sw, sh, maskDC.Get(), 0, 0, 0x00EA02E9 /* DPSao: brush where the mask is 1 */);
    ::SelectObject(w, oldBrush);
  }
  ::SetTextColor(w, oldText);
  ::SetBkColor(w, oldBack);
  int oldMode = ::SetStretchBltMode(dst, COLORONCOLOR);
  ::StretchBlt(dst, dest.left, dest.top, dw, dh, w, 0, 0, sw, sh, SRCCOPY);
  ::SetStretchBltMode(dst, oldMode);
}

// ---- TIcon ------------------------------------------------------------------------------------
TIcon::TIcon() { transparent_ = true; }
TIcon::~TIcon() = default;

void TIcon::SetHandle(HICON icon) {
  if (icon == icon_.Get()) return;
  icon_.Reset(icon);
  width_ = height_ = 0;
  if (icon) {
    ICONINFO ii{};
    if (::GetIconInfo(icon, &ii)) {
      TBitmapOwner color(ii.hbmColor), mask(ii.hbmMask);
      BITMAP bm{};
      if (::GetObjectW(mask.Get(), sizeof(bm), &bm)) {
        width_ = bm.bmWidth;
        height_ = color ? bm.bmHeight : bm.bmHeight / 2;
      }
    }
  }
  Changed();
}
HICON TIcon::ReleaseHandle() {
  HICON h = icon_.Release();
  width_ = height_ = 0;
  Changed();
  return h;
}
void TIcon::Draw(TCanvas& canvas, const RECT& r) {
  if (!icon_) return;
  ::DrawIconEx(canvas.Handle(), r.left, r.top, icon_.Get(), r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
}
void TIcon::Assign(const TPersistent* source) {
  if (source == this) return;
  if (!source) {
    SetHandle(nullptr);
    return;
  }
  if (auto* i = dynamic_cast<const TIcon*>(source)) {
    SetHandle(i->icon_ ? ::CopyIcon(i->icon_.Get()) : nullptr);
    return;
  }
  TGraphic::Assign(source);
}

void TIcon::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  if (size < 6 || U16(data) != 0 || (U16(data + 2) != 1 && U16(data + 2) != 2)) throw EInvalidGraphic(L"Icon image is not valid");
  const std::size_t count = U16(data + 4);
  if (count == 0 || 6 + count * 16 > size) throw EInvalidGraphic(L"Icon image is not valid");
  // the largest image, then the deepest colour
  std::size_t best = count;
  std::uint64_t bestScore = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = data + 6 + i * 16;
    const std::uint32_t bytes = U32(e + 8), offset = U32(e + 12);
    if (offset > size || bytes > size - offset || bytes < 8) continue;
    const std::uint64_t w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    const std::uint64_t score = ((w * h) << 8) | std::min<std::uint32_t>(U16(e + 6), 255);
    if (best == count || score > bestScore) {
      best = i;
      bestScore = score;
    }
  }
  if (best == count) throw EInvalidGraphic(L"Icon image is truncated");
  const std::uint8_t* e = data + 6 + best * 16;
  const std::uint8_t* img = data + U32(e + 12);
  const std::size_t bytes = U32(e + 8);
  TIconOwner icon;
  int w = 0, h = 0;
  static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  if (std::memcmp(img, kPng, 8) == 0) {
    TPixelBuffer p;
    try {
      p = DecodePng(img, bytes);
    } catch (const ECodecError& err) {
      ThrowCodec(err);
    }
    if (p.Width > 256 || p.Height > 256) throw EInvalidGraphic(L"Icon image is too large");
    TBitmap color;
    color.AssignPixels(p);
    TBitmapOwner mask(::CreateBitmap(p.Width, p.Height, 1, 1, nullptr));
    {
      TBitmapDC m(mask.Get());
      ::PatBlt(m.Get(), 0, 0, p.Width, p.Height, BLACKNESS);  // the alpha channel decides
    }
    ICONINFO ii{TRUE, 0, 0, mask.Get(), color.Handle()};
    icon.Reset(::CreateIconIndirect(&ii));
    w = p.Width;
    h = p.Height;
  } else {
    // a DIB whose height counts the colour image and the AND mask
    if (bytes < sizeof(BITMAPINFOHEADER)) throw EInvalidGraphic(L"Icon image is truncated");
    const std::uint32_t headerSize = U32(img);
    const std::int32_t bw = static_cast<std::int32_t>(U32(img + 4)), bh = static_cast<std::int32_t>(U32(img + 8));
    const int bitCount = U16(img + 14);
    if (headerSize != sizeof(BITMAPINFOHEADER) || U32(img + 16) != BI_RGB || bw <= 0 || bw > 256 || bh <= 0 ||
        bh > 512 || (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32))
      throw EInvalidGraphic(L"Icon image is not valid");
    w = bw;
    h = bh / 2;
    if (h == 0) throw EInvalidGraphic(L"Icon image is not valid");
    std::uint32_t used = bitCount <= 8 ? U32(img + 32) : 0;
    if (bitCount <= 8 && (used == 0 || used > (1u << bitCount))) used = 1u << bitCount;
    const std::size_t colorBytes = StrideOf(w, bitCount) * h, maskBytes = StrideOf(w, 1) * h;
    const std::size_t need = headerSize + used * 4 + colorBytes + maskBytes;
    if (bytes < headerSize + used * 4 + colorBytes) throw EInvalidGraphic(L"Icon image is truncated");
    // a missing AND mask (some 32-bit icons) reads as zeros, never past the file
    std::vector<std::uint8_t> copy(need, 0);
    std::memcpy(copy.data(), img, std::min(bytes, need));
    std::uint32_t fixedUsed = used;
    std::memcpy(copy.data() + 32, &fixedUsed, 4);
    std::uint32_t fullHeight = static_cast<std::uint32_t>(h * 2);
    std::memcpy(copy.data() + 8, &fullHeight, 4);
    std::uint32_t noSize = 0;
    std::memcpy(copy.data() + 20, &noSize, 4);
    icon.Reset(::CreateIconFromResourceEx(copy.data(), static_cast<DWORD>(copy.size()), TRUE, 0x00030000, w, h, LR_DEFAULTCOLOR));
  }
  if (!icon) throw EInvalidGraphic(L"Icon image is not valid");
  icon_ = std::move(icon);
  width_ = w;
  height_ = h;
  Changed();
}

std::vector<std::uint8_t> TIcon::SaveToBytes() {
  if (!icon_) throw EInvalidGraphicOperation(L"Cannot save an empty icon");
  ICONINFO ii{};
  if (!::GetIconInfo(icon_.Get(), &ii)) throw EInvalidGraphic(L"Icon image is not valid");
  TBitmapOwner colorBmp(ii.hbmColor), maskBmp(ii.hbmMask);
  const int w = width_, h = height_;
  TDibInfo info;
  info.Header = DibHeader(w, h, 32);
  std::vector<std::uint8_t> color(StrideOf(w, 32) * h), mask(StrideOf(w, 1) * h);
  TMemDCOwner dc(::CreateCompatibleDC(nullptr));
  if (colorBmp) {
    ::GetDIBits(dc.Get(), colorBmp.Get(), 0, h, color.data(), info.Info(), DIB_RGB_COLORS);
  } else {
    TBitmap image(w, h, TPixelFormat::pf32bit);
    ::DrawIconEx(image.Canvas()->Handle(), 0, 0, icon_.Get(), w, h, 0, nullptr, DI_IMAGE);
    ::GdiFlush();
    for (int y = 0; y < h; ++y) std::memcpy(color.data() + std::size_t(h - 1 - y) * w * 4, image.ScanLine(y), std::size_t(w) * 4);
  }
  TDibInfo mi;
  mi.Header = info.Header;
  mi.Header.biBitCount = 1;
  // a monochrome icon's mask bitmap holds the AND mask above the image (bottom-up: upper scan lines)
  ::GetDIBits(dc.Get(), maskBmp.Get(), colorBmp ? 0 : h, h, mask.data(), mi.Info(), DIB_RGB_COLORS);

  std::vector<std::uint8_t> out;
  const std::uint16_t dir[3] = {0, 1, 1};
  Put(out, dir, 6);
  const std::uint32_t bytes = static_cast<std::uint32_t>(sizeof(BITMAPINFOHEADER) + color.size() + mask.size());
  std::uint8_t entry[16] = {};
  entry[0] = static_cast<std::uint8_t>(w >= 256 ? 0 : w);
  entry[1] = static_cast<std::uint8_t>(h >= 256 ? 0 : h);
  entry[4] = 1;
  entry[6] = 32;
  std::memcpy(entry + 8, &bytes, 4);
  const std::uint32_t offset = 22;
  std::memcpy(entry + 12, &offset, 4);
  Put(out, entry, 16);
  BITMAPINFOHEADER ih = info.Header;
  ih.biHeight = h * 2;
  ih.biSizeImage = static_cast<DWORD>(color.size() + mask.size());
  Put(out, &ih, sizeof(ih));
  Put(out, color.data(), color.size());
  Put(out, mask.data(), mask.size());
  return out;
}

// ---- TJPEGImage, TPngImage --------------------------------------------------------------------
TJPEGImage::TJPEGImage() : bitmap_(std::make_unique<TBitmap>()) {}
TJPEGImage::~TJPEGImage() = default;
void TJPEGImage::Draw(TCanvas& canvas, const RECT& r) { bitmap_->Draw(canvas, r); }
void TJPEGImage::Assign(const TPersistent* source) {
  if (source == this) return;
  if (auto* j = dynamic_cast<const TJPEGImage*>(source)) {
    bitmap_->Assign(j->bitmap_.get());
    CompressionQuality = j->CompressionQuality;
    Grayscale = j->Grayscale;
    Changed();
    return;
  }
  if (!source || dynamic_cast<const TGraphic*>(source)) {
    bitmap_->Assign(source);
    if (!bitmap_->Empty()) bitmap_->SetPixelFormat(TPixelFormat::pf24bit);
    Changed();
    return;
  }
  TGraphic::Assign(source);
}
void TJPEGImage::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  try {
    TPixelBuffer p = DecodeJpeg(data, size);
    bitmap_->AssignPixels(p);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
  Changed();
}
std::vector<std::uint8_t> TJPEGImage::SaveToBytes() {
  if (bitmap_->Empty()) throw EInvalidGraphicOperation(L"Cannot save an empty picture");
  TJpegOptions o;
  o.Quality = std::clamp(CompressionQuality, 1, 100);
  o.Colour = Grayscale ? TJpegColour::Grey : TJpegColour::Rgb;
  try {
    return EncodeJpeg(bitmap_->ToPixels(), o);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
}

TPngImage::TPngImage() : bitmap_(std::make_unique<TBitmap>()) {}
TPngImage::~TPngImage() = default;
void TPngImage::PictureLoaded() {
  hasTransparency_ = false;
  if (bitmap_->Empty() || bitmap_->BitCount() != 32) return;
  for (int y = 0; y < bitmap_->Height() && !hasTransparency_; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap_->ScanLine(y));
    for (int x = 0; x < bitmap_->Width(); ++x)
      if (row[x * 4 + 3] != 255) {
        hasTransparency_ = true;
        break;
      }
  }
}
void TPngImage::Draw(TCanvas& canvas, const RECT& r) {
  if (bitmap_->Empty()) return;
  if (!hasTransparency_) {
    bitmap_->Draw(canvas, r);
    return;
  }
  // AlphaBlend wants premultiplied colours
  const int w = bitmap_->Width(), h = bitmap_->Height();
  TBitmap pre(w, h, TPixelFormat::pf32bit);
  for (int y = 0; y < h; ++y) {
    const auto* s = static_cast<const std::uint8_t*>(bitmap_->ScanLine(y));
    auto* d = static_cast<std::uint8_t*>(pre.ScanLine(y));
    for (int x = 0; x < w * 4; x += 4) {
      const unsigned a = s[x + 3];
      d[x] = static_cast<std::uint8_t>((s[x] * a + 127) / 255);
      d[x + 1] = static_cast<std::uint8_t>((s[x + 1] * a + 127) / 255);
      d[x + 2] = static_cast<std::uint8_t>((s[x + 2] * a + 127) / 255);
      d[x + 3] = static_cast<std::uint8_t>(a);
    }
  }
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::AlphaBlend(canvas.Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top, pre.Canvas()->Handle(), 0, 0, w, h, bf);
}
void TPngImage::Assign(const TPersistent* source) {
  if (source == this) return;
  if (auto* p = dynamic_cast<const TPngImage*>(source)) {
    bitmap_->Assign(p->bitmap_.get());
    hasTransparency_ = p->hasTransparency_;
    Changed();
    return;
  }
  if (!source || dynamic_cast<const TGraphic*>(source)) {
    bitmap_->Assign(source);
    if (!bitmap_->Empty()) {
      bitmap_->SetPixelFormat(TPixelFormat::pf32bit);
      for (int y = 0; y < bitmap_->Height(); ++y) {  // opaque
        auto* row = static_cast<std::uint8_t*>(bitmap_->ScanLine(y));
        for (int x = 0; x < bitmap_->Width(); ++x) row[x * 4 + 3] = 255;
      }
    }
    hasTransparency_ = false;
    Changed();
    return;
  }
  TGraphic::Assign(source);
}
void TPngImage::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  try {
    TPixelBuffer p = DecodePng(data, size);
    bitmap_->AssignPixels(p);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
  PictureLoaded();
  Changed();
}
std::vector<std::uint8_t> TPngImage::SaveToBytes() {
  if (bitmap_->Empty()) throw EInvalidGraphicOperation(L"Cannot save an empty picture");
  try {
    TPixelBuffer p = bitmap_->ToPixels();
    p.HasAlpha = p.BitCount == 32;
    TPngOptions o;
    o.Layout = p.BitCount == 32 ? TPngLayout::Rgba : TPngLayout::Rgb;
    return EncodePng(p, o);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
}

// ---- TGIFImage --------------------------------------------------------------------------------
// Steps the animation on a window timer of its own.
class TGIFImage::TAnimator {
 public:
  explicit TAnimator(TGIFImage* image)
      : image_(image), window_([this](TMessage& m) {
          if (m.Msg == WM_TIMER) {
            m.Result = 0;
            image_->StepAnimation();
          } else {
            m.Result = ::DefWindowProcW(window_.Handle(), m.Msg, m.WParam, m.LParam);
          }
        }) {}
  ~TAnimator() { Stop(); }
  void Start(int delayMs) { ::SetTimer(window_.Handle(), 1, static_cast<UINT>(std::max(delayMs, 10)), nullptr); }
  void Stop() { ::KillTimer(window_.Handle(), 1); }

 private:
  TGIFImage* image_;
  TUtilWindow window_;
};

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() { animator_.reset(); }

bool TGIFImage::Transparent() const {
  for (const TGifFrame& f : gif_.Frames)
    if (f.TransparentIndex >= 0) return true;
  return false;
}
const TGifFrame& TGIFImage::Frame(int index) const {
  if (index < 0 || index >= FrameCount()) throw EInvalidGraphicOperation(L"Frame index out of range");
  return gif_.Frames[static_cast<std::size_t>(index)];
}
void TGIFImage::Rebuild() {
  composer_.reset();
  composed_ = -1;
  shown_.reset();
  shownIndex_ = -1;
  if (current_ >= FrameCount()) current_ = 0;
  if (animate_ && animator_) {
    if (FrameCount() > 1) animator_->Start(Frame(current_).Delay > 0 ? Frame(current_).Delay * 10 : 100);
    else animator_->Stop();
  }
}
void TGIFImage::RemoveFrame(int index) {
  if (index < 0 || index >= FrameCount()) throw EInvalidGraphicOperation(L"Frame index out of range");
  gif_.RemoveFrame(static_cast<std::size_t>(index));
  Rebuild();
  Changed();
}
void TGIFImage::SetGif(TGifPicture gif) {
  gif_ = std::move(gif);
  current_ = 0;
  Rebuild();
  Changed();
}
TBitmap* TGIFImage::FrameBitmap(int index) {
  Frame(index);  // range check
  if (index == shownIndex_ && shown_) return shown_.get();
  try {
    if (!composer_ || composed_ >= index) {
      composer_ = std::make_unique<TGifComposer>(gif_);
      composed_ = -1;
    }
    while (composed_ < index && composer_->Next()) composed_ = static_cast<int>(composer_->FrameIndex());
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
  if (!shown_) shown_ = std::make_unique<TBitmap>();
  shown_->AssignPixels(composer_->Canvas());
  shown_->Canvas()->SetHandle(nullptr);  // no memory DC kept between draws
  shownIndex_ = index;
  return shown_.get();
}
void TGIFImage::SetCurrentFrame(int index) {
  Frame(index);
  if (index == current_) return;
  current_ = index;
  Changed();
}
void TGIFImage::SetAnimate(bool v) {
  if (v == animate_) return;
  animate_ = v;
  if (v) {
    if (!animator_) animator_ = std::make_unique<TAnimator>(this);
    Rebuild();
  } else if (animator_) {
    animator_->Stop();  // the window stays: this may run inside its own timer message
  }
}
void TGIFImage::SetFrameDelay(int index, int delay) {
  Frame(index);
  if (gif_.Frames[static_cast<std::size_t>(index)].Delay == delay) return;
  gif_.Frames[static_cast<std::size_t>(index)].Delay = delay;
  Changed();
}
void TGIFImage::StepAnimation() {
  if (!animate_ || FrameCount() < 2) return;
  current_ = (current_ + 1) % FrameCount();
  const int delay = Frame(current_).Delay;
  animator_->Start(delay > 0 ? delay * 10 : 100);
  Changed();
}
void TGIFImage::Draw(TCanvas& canvas, const RECT& r) {
  if (Empty()) return;
  TBitmap* f = FrameBitmap(current_);
  if (!Transparent()) {
    f->Draw(canvas, r);
    f->Canvas()->SetHandle(nullptr);
    return;
  }
  // see-through pixels are 0, 0, 0, 0: the composed frame is already premultiplied
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::AlphaBlend(canvas.Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top, f->Canvas()->Handle(), 0, 0,
               f->Width(), f->Height(), bf);
  f->Canvas()->SetHandle(nullptr);
}
void TGIFImage::Assign(const TPersistent* source) {
  if (source == this) return;
  if (!source) {
    SetGif(TGifPicture{});
    return;
  }
  if (auto* g = dynamic_cast<const TGIFImage*>(source)) {
    SetGif(g->gif_);
    return;
  }
  TGraphic::Assign(source);
}
void TGIFImage::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  TGifPicture gif;
  try {
    gif = DecodeGif(data, size);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
  if (gif.Frames.empty()) throw EInvalidGraphic(L"GIF image has no frames");
  SetGif(std::move(gif));
}
std::vector<std::uint8_t> TGIFImage::SaveToBytes() {
  try {
    return EncodeGif(gif_);
  } catch (const ECodecError& e) {
    ThrowCodec(e);
  }
}

// ---- TPicture and the registry ----------------------------------------------------------------
namespace {

struct TFileFormat {
  std::wstring Extension;  // lower case, no dot
  std::wstring Description;
  const TClassInfo* Class;
  TGraphicFactory Factory;
};

template <class T>
TGraphic* MakeGraphic() {
  return new T();
}

std::vector<TFileFormat>& Formats() {
  static std::vector<TFileFormat> list = {
      {L"bmp", L"Bitmaps", &TBitmap::StaticClass(), &MakeGraphic<TBitmap>},
      {L"ico", L"Icons", &TIcon::StaticClass(), &MakeGraphic<TIcon>},
      {L"jpg", L"JPEG pictures", &TJPEGImage::StaticClass(), &MakeGraphic<TJPEGImage>},
      {L"jpeg", L"JPEG pictures", &TJPEGImage::StaticClass(), &MakeGraphic<TJPEGImage>},
      {L"png", L"PNG pictures", &TPngImage::StaticClass(), &MakeGraphic<TPngImage>},
      {L"gif", L"GIF pictures", &TGIFImage::StaticClass(), &MakeGraphic<TGIFImage>},
  };
  return list;
}
TCriticalSection& FormatsLock() {
  static TCriticalSection cs;
  return cs;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(::towlower(c));
  return s;
}
std::wstring ExtensionOf(const std::wstring& nameOrExtension) {
  std::size_t slash = nameOrExtension.find_last_of(L"\\/:");
  std::wstring name = slash == std::wstring::npos ? nameOrExtension : nameOrExtension.substr(slash + 1);
  std::size_t dot = name.rfind(L'.');
  return Lower(dot == std::wstring::npos ? name : name.substr(dot + 1));
}
std::vector<TPictureFileType> TypesOf(const TClassInfo& cls) {
  std::vector<TPictureFileType> types;
  TLock lock(FormatsLock());
  for (const TFileFormat& f : Formats()) {
    if (!f.Class->InheritsFrom(cls)) continue;
    auto it = std::find_if(types.begin(), types.end(), [&](const TPictureFileType& t) { return t.Description == f.Description; });
    if (it == types.end()) types.push_back({f.Description, {f.Extension}});
    else it->Extensions.push_back(f.Extension);
  }
  return types;
}

}  // namespace

void TPicture::RegisterFileFormat(const std::wstring& extension, const std::wstring& description,
                                  const TClassInfo& graphicClass, TGraphicFactory factory) {
  TLock lock(FormatsLock());
  std::wstring ext = ExtensionOf(extension);
  auto& list = Formats();
  list.erase(std::remove_if(list.begin(), list.end(), [&](const TFileFormat& f) { return f.Extension == ext; }), list.end());
  list.push_back({ext, description, &graphicClass, factory});
}
void TPicture::UnregisterGraphicClass(const TClassInfo& graphicClass) {
  TLock lock(FormatsLock());
  auto& list = Formats();
  list.erase(std::remove_if(list.begin(), list.end(), [&](const TFileFormat& f) { return f.Class == &graphicClass; }), list.end());
}
TGraphicFactory TPicture::FindFormat(const std::wstring& nameOrExtension) {
  TLock lock(FormatsLock());
  const std::wstring ext = ExtensionOf(nameOrExtension);
  for (const TFileFormat& f : Formats())
    if (f.Extension == ext) return f.Factory;
  return nullptr;
}

std::wstring GraphicFilter(const TClassInfo& graphicClass) { return PictureFilterString(TypesOf(graphicClass)); }
std::wstring GraphicExtension(const TClassInfo& graphicClass) {
  TLock lock(FormatsLock());
  for (const TFileFormat& f : Formats())
    if (f.Class == &graphicClass) return f.Extension;
  return L"";
}
std::wstring GraphicFileMask(const TClassInfo& graphicClass) {
  std::wstring m;
  for (const TPictureFileType& t : TypesOf(graphicClass))
    for (const std::wstring& e : t.Extensions) m += (m.empty() ? L"*." : L";*.") + e;
  return m;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed(TObject*) {
  if (OnChange) OnChange(this);
  if (adapter_) adapter_->Changed();
}
void TPicture::Adopt(TGraphic* graphic) {
  TObjectPtr<TGraphic> old(graphic_.release());
  graphic_.reset(graphic);
  if (graphic) graphic->OnChange = [this](TObject* s) { Changed(s); };
  old.reset();
  Changed(this);
}
void TPicture::SetGraphic(TGraphic* graphic) {
  if (graphic == graphic_.get()) return;
  if (!graphic) {
    Adopt(nullptr);
    return;
  }
  TObjectPtr<TGraphic> copy(graphic->NewEmpty());
  copy->Assign(graphic);
  Adopt(copy.release());
}
TBitmap* TPicture::Bitmap() {
  if (!dynamic_cast<TBitmap*>(graphic_.get())) Adopt(new TBitmap());
  return static_cast<TBitmap*>(graphic_.get());
}
TIcon* TPicture::Icon() {
  if (!dynamic_cast<TIcon*>(graphic_.get())) Adopt(new TIcon());
  return static_cast<TIcon*>(graphic_.get());
}
void TPicture::LoadFromFile(const std::wstring& fileName) {
  TGraphicFactory factory = FindFormat(fileName);
  if (!factory) throw EInvalidGraphic(L"Unknown picture file extension (." + ExtensionOf(fileName) + L")");
  TObjectPtr<TGraphic> graphic(factory());
  graphic->LoadFromFile(fileName);
  Adopt(graphic.release());
}
void TPicture::SaveToFile(const std::wstring& fileName) {
  if (graphic_) graphic_->SaveToFile(fileName);
}
void TPicture::Assign(const TPersistent* source) {
  if (!source) {
    SetGraphic(nullptr);
  } else if (auto* p = dynamic_cast<const TPicture*>(source)) {
    if (p != this) SetGraphic(p->graphic_.get());
  } else if (auto* g = dynamic_cast<const TGraphic*>(source)) {
    SetGraphic(const_cast<TGraphic*>(g));
  } else {
    TPersistent::Assign(source);
  }
}

}  // namespace kivo
