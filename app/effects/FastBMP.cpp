#include "FastBMP.h"

#include "Graphics.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TFastRGB)
KIVO_IMPLEMENT_CLASS(TFastBMP)

void TFastRGB::SetLayout(int width, int height, BYTE* pixels) {
  Width = width;
  Height = height;
  RowPad = width % 4;
  RowStride = 3 * width + RowPad;
  ByteSize = RowStride * height;
  PixelData = pixels;
  RowTable.resize(height > 0 ? height : 0);
  for (int i = 0; i < height; ++i) RowTable[i] = pixels + static_cast<size_t>(i) * RowStride;
}

TFastBMP::TFastBMP(HBITMAP bitmap, bool topDown) {
  BITMAP bm{};
  if (!::GetObjectW(bitmap, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
    throw EOutOfResources(L"Not a bitmap");
  info_.bmiHeader = DibHeader(bm.bmWidth, topDown ? -bm.bmHeight : bm.bmHeight, 24);
  void* bits = nullptr;
  dib_.Reset(::CreateDIBSection(nullptr, &info_, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib_ || !bits) throw EOutOfResources(L"Out of system resources");
  topDown_ = topDown;
  SetLayout(bm.bmWidth, bm.bmHeight, static_cast<BYTE*>(bits));
  CopyFrom(bitmap);
  BuildRowTable();
}

bool TFastBMP::Fits(HBITMAP bitmap, bool topDown) const {
  BITMAP bm{};
  return topDown == topDown_ && ::GetObjectW(bitmap, sizeof(bm), &bm) && bm.bmWidth == Width && bm.bmHeight == Height;
}

void TFastBMP::CopyFrom(HBITMAP bitmap) {
  TWindowDC screen(nullptr);
  ::GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(Height), PixelData, &info_, DIB_RGB_COLORS);
}

TFastBMP::~TFastBMP() = default;

void TFastBMP::BuildRowTable() {
  dc_.Reset(::CreateCompatibleDC(nullptr));
  if (dc_) ::SelectObject(dc_.Get(), dib_.Get());
}

}  // namespace kivo
