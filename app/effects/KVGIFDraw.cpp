#include "KVGIFDraw.h"

#include "Graphics.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TGIFDrawer)
KIVO_IMPLEMENT_CLASS(TGIFDrawerBuffer)

std::size_t FrameByteSize(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return ((static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3)) * static_cast<std::size_t>(height);
}

namespace {

std::int64_t PerformanceCounter() {
  LARGE_INTEGER c;
  ::QueryPerformanceCounter(&c);
  return c.QuadPart;
}

COLORREF PaletteColor(const TGifPalette& palette, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= palette.size()) return RGB(0, 0, 0);
  const TGifColour& c = palette[static_cast<std::size_t>(index)];
  return RGB(c.R, c.G, c.B);
}

// The GIF frame itself as a 24-bit DIB section of its own size (indices beyond the palette black).
TBitmapOwner FrameImage(const TGIFImage& picture, int index, HDC dc) {
  const TGifFrame& f = picture.Frame(index);
  const TGifPalette& palette = picture.FramePalette(index);
  BITMAPINFO bi{};
  bi.bmiHeader = DibHeader(f.Width, -f.Height, 24);
  void* bits = nullptr;
  TBitmapOwner bmp(::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp || !bits) throw EOutOfResources(L"Out of system resources");
  const std::size_t stride = FrameByteSize(f.Width, 1);
  for (int y = 0; y < f.Height; ++y) {
    BYTE* row = static_cast<BYTE*>(bits) + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < f.Width; ++x) {
      std::size_t i = static_cast<std::size_t>(y) * f.Width + x;
      COLORREF c = i < f.Indices.size() ? PaletteColor(palette, f.Indices[i]) : RGB(0, 0, 0);
      row[x * 3 + 0] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
  }
  return bmp;
}

// The picture as the drawer uses it: frames without a control extension gone, delay 0 made 10.
void Normalise(TGIFImage* picture) {
  TGifPicture gif = picture->Gif();
  bool changed = false;
  for (std::size_t i = gif.Frames.size(); i-- > 0;)
    if (!gif.Frames[i].HasControl) {
      gif.Frames.erase(gif.Frames.begin() + static_cast<std::ptrdiff_t>(i));
      changed = true;
    }
  for (TGifFrame& f : gif.Frames)
    if (f.Delay == 0) {
      f.Delay = 10;
      changed = true;
    }
  if (changed) picture->SetGif(std::move(gif));
}

}  // namespace

TGIFDrawer::TGIFDrawer(TGIFImage* picture) : Counter(PerformanceCounter) {
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);
  Frequency = f.QuadPart;
  Normalise(picture);
  width_ = picture->Width();
  height_ = picture->Height();
  const int n = picture->FrameCount();
  frames_.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const TGifFrame& g = picture->Frame(i);
    TFrame& fr = frames_[static_cast<std::size_t>(i)];
    fr.Left = g.Left;
    fr.Top = g.Top;
    fr.FrameWidth = g.Width;
    fr.FrameHeight = g.Height;
    fr.Delay = g.Delay;
    fr.Disposal = g.Disposal;
    fr.Transparent = g.TransparentIndex >= 0;
    fr.TransparentColor = fr.Transparent ? PaletteColor(picture->FramePalette(i), g.TransparentIndex) : RGB(0, 0, 0);
    fr.Key = fr.Transparent ? fr.TransparentColor : RGB(0, 0, 0);
    fr.KeyTransparent = fr.Transparent;
    totalTime_ += static_cast<std::int64_t>(g.Delay) * 10;
  }
  if (n == 0 || width_ <= 0 || height_ <= 0) return;
  {
    TWindowDC display(nullptr);
    for (TFrame& fr : frames_) {
      fr.DC.Reset(::CreateCompatibleDC(display.Get()));
      fr.Bitmap.Reset(::CreateCompatibleBitmap(display.Get(), width_, height_));
      if (!fr.DC || !fr.Bitmap) throw EOutOfResources(L"Out of system resources");
      fr.OldBitmap = ::SelectObject(fr.DC.Get(), fr.Bitmap.Get());
      ::SetStretchBltMode(fr.DC.Get(), COLORONCOLOR);
      TBrushOwner brush(::CreateSolidBrush(fr.Key));
      RECT all{0, 0, width_, height_};
      ::FillRect(fr.DC.Get(), &all, brush.Get());
    }
  }
  Compose(*picture);
  MakeMasks();
}

TGIFDrawer::~TGIFDrawer() {
  for (TFrame& fr : frames_)
    if (fr.DC && fr.OldBitmap) ::SelectObject(fr.DC.Get(), fr.OldBitmap);
  if (drawDC_ && drawDCOld_) ::SelectObject(drawDC_.Get(), drawDCOld_);
  // members: the drawing context, then each frame's bitmaps and context
}

void TGIFDrawer::ComposeFrame(const TGIFImage& picture, int s, int d, bool transparent) {
  TFrame& src = frames_[static_cast<std::size_t>(s)];
  TFrame& dst = frames_[static_cast<std::size_t>(d)];
  if (s < d) {
    // a copy of an earlier composed frame, key colour and its meaning included
    ::BitBlt(dst.DC.Get(), 0, 0, width_, height_, src.DC.Get(), 0, 0, SRCCOPY);
    dst.Key = src.Key;
    dst.KeyTransparent = src.KeyTransparent;
    return;
  }
  TMemDCOwner tmp(::CreateCompatibleDC(dst.DC.Get()));
  TBitmapOwner image = FrameImage(picture, s, dst.DC.Get());
  TSelectObject sel(tmp.Get(), image.Get());
  if (transparent && src.Transparent)
    ::TransparentBlt(dst.DC.Get(), src.Left, src.Top, src.FrameWidth, src.FrameHeight, tmp.Get(), 0, 0, src.FrameWidth,
                     src.FrameHeight, src.TransparentColor);
  else
    ::BitBlt(dst.DC.Get(), src.Left, src.Top, src.FrameWidth, src.FrameHeight, tmp.Get(), 0, 0, SRCCOPY);
}

void TGIFDrawer::Compose(const TGIFImage& picture) {
  for (int i = 0; i < FrameCount(); ++i) {
    if (i == 0) {
      ComposeFrame(picture, 0, 0, false);
      continue;
    }
    switch (frames_[static_cast<std::size_t>(i - 1)].Disposal) {
      case 0:
      case 1:
        ComposeFrame(picture, i - 1, i, false);
        ComposeFrame(picture, i, i, true);
        break;
      case 2:
        ComposeFrame(picture, i, i, false);
        break;
      case 3:
        ComposeFrame(picture, i >= 2 ? i - 2 : i - 1, i, false);
        ComposeFrame(picture, i, i, true);
        break;
      default:
        break;  // 4 to 7: the frame stays its key-colour fill
    }
  }
}

void TGIFDrawer::MakeMasks() {
  BITMAPINFO bi{};
  bi.bmiHeader = DibHeader(width_, -height_, 32);
  const std::size_t n = static_cast<std::size_t>(width_) * height_;
  std::vector<DWORD> pixels(n), mask(n);
  TWindowDC display(nullptr);
  for (TFrame& fr : frames_) {
    if (!fr.KeyTransparent) continue;
    ::GetDIBits(fr.DC.Get(), fr.Bitmap.Get(), 0, static_cast<UINT>(height_), pixels.data(), &bi, DIB_RGB_COLORS);
    const DWORD key = (GetRValue(fr.Key) << 16) | (GetGValue(fr.Key) << 8) | GetBValue(fr.Key);
    for (std::size_t i = 0; i < n; ++i) {
      bool see = (pixels[i] & 0xFFFFFF) == key;
      mask[i] = see ? 0xFFFFFF : 0;
      if (see) pixels[i] = 0;
    }
    if (!drawDC_) {
      drawDC_.Reset(::CreateCompatibleDC(display.Get()));
      if (!drawDC_) throw EOutOfResources(L"Out of system resources");
    }
    fr.Mask.Reset(::CreateCompatibleBitmap(display.Get(), width_, height_));
    fr.Opaque.Reset(::CreateCompatibleBitmap(display.Get(), width_, height_));
    if (!fr.Mask || !fr.Opaque) throw EOutOfResources(L"Out of system resources");
    ::SetDIBits(fr.DC.Get(), fr.Mask.Get(), 0, static_cast<UINT>(height_), mask.data(), &bi, DIB_RGB_COLORS);
    ::SetDIBits(fr.DC.Get(), fr.Opaque.Get(), 0, static_cast<UINT>(height_), pixels.data(), &bi, DIB_RGB_COLORS);
    if (!drawDCOld_) drawDCOld_ = ::SelectObject(drawDC_.Get(), fr.Mask.Get());
  }
}

void TGIFDrawer::ResetClock() { startCount_ = Counter(); }

int TGIFDrawer::CurrentFrame() const {
  if (startCount_ == 0 || totalTime_ <= 0 || Frequency <= 0) return 0;
  std::int64_t elapsed = (Counter() - startCount_) * 1000 / Frequency;
  if (elapsed < 0) elapsed = 0;
  std::int64_t t = elapsed % totalTime_;
  for (int i = 0; i < FrameCount(); ++i) {
    t -= static_cast<std::int64_t>(frames_[static_cast<std::size_t>(i)].Delay) * 10;
    if (t < 0) return i;
  }
  return FrameCount() - 1;
}

void TGIFDrawer::DrawFrame(HDC dc, int index) const {
  if (index < 0 || index >= FrameCount() || !frames_[static_cast<std::size_t>(index)].DC) return;
  const TFrame& fr = frames_[static_cast<std::size_t>(index)];
  if (!fr.KeyTransparent) {
    ::BitBlt(dc, 0, 0, width_, height_, fr.DC.Get(), 0, 0, SRCCOPY);
    return;
  }
  // the frame's pixels where the mask is black, the picture under it where it is white
  ::SelectObject(drawDC_.Get(), fr.Mask.Get());
  ::BitBlt(dc, 0, 0, width_, height_, drawDC_.Get(), 0, 0, SRCAND);
  ::SelectObject(drawDC_.Get(), fr.Opaque.Get());
  ::BitBlt(dc, 0, 0, width_, height_, drawDC_.Get(), 0, 0, SRCPAINT);
}

TGIFDrawerBuffer::TGIFDrawerBuffer(TGIFImage* picture) : TGIFDrawer(picture), buffers_(frames_.size()) {}

TGIFDrawerBuffer::~TGIFDrawerBuffer() { FreeBuffers(); }

void TGIFDrawerBuffer::FreeBuffers() {
  for (auto& b : buffers_) std::vector<BYTE>().swap(b);
  bufferWidth_ = bufferHeight_ = 0;
}

void TGIFDrawerBuffer::Prepare(const BITMAPINFO* info) {
  if (FrameCount() == 0 || !info || !frames_.front().DC) return;
  const int w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
  if (w == bufferWidth_ && h == bufferHeight_) return;
  FreeBuffers();
  if (w <= 0 || h <= 0) return;
  TWindowDC display(nullptr);
  TMemDCOwner dc(::CreateCompatibleDC(display.Get()));
  TBitmapOwner bmp(::CreateCompatibleBitmap(display.Get(), w, h));
  if (!dc || !bmp) throw EOutOfResources(L"Out of system resources");
  ::SetStretchBltMode(dc.Get(), COLORONCOLOR);
  BITMAPINFO bi{};
  bi.bmiHeader = DibHeader(w, h, 24);
  const std::size_t size = FrameByteSize(w, h);
  for (int i = 0; i < FrameCount(); ++i) {
    std::vector<BYTE>& buf = buffers_[static_cast<std::size_t>(i)];
    buf.assign(size, 0);
    {
      TSelectObject sel(dc.Get(), bmp.Get());
      ::StretchBlt(dc.Get(), 0, 0, w, h, frames_[static_cast<std::size_t>(i)].DC.Get(), 0, 0, Width(), Height(), SRCCOPY);
    }
    // read with the bitmap deselected, as GetDIBits asks
    ::GetDIBits(dc.Get(), bmp.Get(), 0, static_cast<UINT>(h), buf.data(), &bi, DIB_RGB_COLORS);
  }
  bufferWidth_ = w;
  bufferHeight_ = h;
}

const BYTE* TGIFDrawerBuffer::Buffer(int index) const {
  if (index < 0 || index >= static_cast<int>(buffers_.size())) return nullptr;
  const std::vector<BYTE>& b = buffers_[static_cast<std::size_t>(index)];
  return b.empty() ? nullptr : b.data();
}

const BYTE* TGIFDrawerBuffer::CurrentBuffer() const { return Buffer(CurrentFrame()); }

}  // namespace kivo
