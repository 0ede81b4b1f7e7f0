#include "KVBitmapFrames.h"

#include <memory>

#include "Forms.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TImageCapture)

std::int32_t GetBitmapFrameBits(const TOutputFormat& format, TBitmap* bitmap, void* buffer) {
  if (!bitmap || bitmap->Empty()) return 0;
  return GetFrameBits(bitmap->Canvas()->Handle(), format, bitmap->Handle(), buffer);
}

void WriteBitmapFrame(const TOutputFormat& format, TBitmap* bitmap, bool force) {
  if (!force && !CaptureSetting.CaptureActive.load()) return;  // WriteFrame would write nothing
  // Producers pass the shared OutputFormat, which a connection made under the lock rewrites: the
  // format is copied and checked inside the lock, and GDI fills the buffer from that copy.
  TLock lock(FrameSectionLock);
  const TOutputFormat checked = format;
  const BITMAPINFOHEADER& h = checked.bmiHeader;
  const std::int64_t rows = h.biHeight < 0 ? -std::int64_t(h.biHeight) : h.biHeight;
  const std::int64_t stride = ((std::int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4;
  if (h.biWidth <= 0 || rows == 0 || h.biBitCount == 0 || stride * rows > kMaxFrameBytes) return;
  const std::int32_t size = GetBitmapFrameBits(checked, bitmap, FrameBuffer);
  if (size > 0) WriteFrame(FrameBuffer, size, force);
}

TBitmap* PaintControlToBitmap(TWinControl* control) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(control->Width(), control->Height());
  control->PaintTo(bitmap->Canvas()->Handle(), 0, 0);
  ::GdiFlush();
  return bitmap.release();
}

void WriteControlFrame(const TOutputFormat& format, TWinControl* control, bool force) {
  std::unique_ptr<TBitmap> bitmap(PaintControlToBitmap(control));
  WriteBitmapFrame(format, bitmap.get(), force);
}

void WriteScaledBitmapFrame(const TOutputFormat& format, TBitmap* bitmap, bool force) {
  if (!force && !CaptureSetting.CaptureActive.load()) return;
  if (!bitmap || bitmap->Empty()) return;
  TLock lock(FrameSectionLock);  // re-entrant: WriteBitmapFrame takes it again
  const TOutputFormat checked = format;
  const int w = checked.bmiHeader.biWidth;
  const int h = checked.bmiHeader.biHeight < 0 ? -checked.bmiHeader.biHeight : checked.bmiHeader.biHeight;
  if (w <= 0 || h <= 0 || PaddedFrameBytes(w, h) > std::uint64_t(kMaxFrameBytes)) return;
  if (bitmap->Width() == w && bitmap->Height() == h) {
    WriteBitmapFrame(checked, bitmap, force);
    return;
  }
  TBitmap scaled(w, h, TPixelFormat::pf24bit);
  {
    struct TLocked {
      TCanvas* c;
      ~TLocked() { c->Unlock(); }
    } sourceLock{bitmap->Canvas()};
    sourceLock.c->Lock();
    const HDC dc = scaled.Canvas()->Handle();
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, 0, 0, w, h, bitmap->Canvas()->Handle(), 0, 0, bitmap->Width(), bitmap->Height(), SRCCOPY);
    ::GdiFlush();
  }
  WriteBitmapFrame(checked, &scaled, force);
}

void WriteScaledControlFrame(const TOutputFormat& format, TWinControl* control, bool force) {
  std::unique_ptr<TBitmap> bitmap(PaintControlToBitmap(control));
  WriteScaledBitmapFrame(format, bitmap.get(), force);
}

void SetBitmapFromFrameBits(const void* bits, std::int32_t width, std::int32_t height, TBitmap* bitmap) {
  if (!bits || !bitmap || width <= 0 || height <= 0) throw EInvalidArgument(L"Invalid frame");
  bitmap->SetSize(width, height);
  BITMAPINFO info{};
  info.bmiHeader = DibHeader(width, height, 24);
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3);
  ::SetDIBits(bitmap->Canvas()->Handle(), bitmap->Handle(), 0, static_cast<UINT>(height), bits, &info, DIB_RGB_COLORS);
}

void SaveFrameBitsToFile(const void* bits, std::int32_t width, std::int32_t height, const std::wstring& fileName) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  SetBitmapFromFrameBits(bits, width, height, &bitmap);
  bitmap.SaveToFile(fileName);
}

TImageCapture::TImageCapture(TImage* image, std::function<bool()> isTarget)
    : image_(image), isTarget_(std::move(isTarget)) {
  if (image_ && image_->Parent()) image_->Parent()->SetDoubleBuffered(true);
}

void STDMETHODCALLTYPE TImageCapture::Changed() {
  // no exception leaves an interface method: the application's handler reports it
  try {
    if (!image_ || image_->IsDestroying() || image_->DesignInfo() == 888) return;
    TWinControl* parent = image_->Parent();
    if (!parent) return;
    // a parent larger or smaller than the output (full screen) still arrives whole
    // only the capture source writes frames
    if (!isTarget_ || isTarget_()) WriteScaledControlFrame(OutputFormat, parent, false);
    parent->Refresh();
  } catch (...) {
    Application()->HandleException(this);
  }
}

}  // namespace kivo
