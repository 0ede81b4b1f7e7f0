// A stand-in for the system's Colour Space Converter, which Wine lacks: it takes YUY2 (top-down, as
// YUV pictures are stored) or 24-bit RGB and gives out 24-bit RGB of the same size, bottom-up (or
// top-down when the downstream filter asks for a negative height). RGB goes through unchanged.
#include "ColourConverter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "PatternFrame.h"
#include "TestDevices.h"

namespace kivo::testdev {

namespace {

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo ||
      type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat)
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

bool IsYuy2(const AM_MEDIA_TYPE& type, const BITMAPINFOHEADER& h) {
  return type.subtype == MEDIASUBTYPE_YUY2 && h.biCompression == MAKEFOURCC('Y', 'U', 'Y', '2') && h.biBitCount == 16;
}

bool IsRgb24(const AM_MEDIA_TYPE& type, const BITMAPINFOHEADER& h) {
  return type.subtype == MEDIASUBTYPE_RGB24 && h.biCompression == BI_RGB && h.biBitCount == 24;
}

size_t RgbStride(LONG width) { return (size_t(width) * 3 + 3) & ~size_t(3); }

}  // namespace

TBCUnknown* TColourConverter::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  auto* filter = new (std::nothrow) TColourConverter(factory.Name.c_str(), outer);
  if (!filter) hr = E_OUTOFMEMORY;
  return filter;
}

TColourConverter::TColourConverter(const wchar_t* name, IUnknown* outer)
    : TBCTransformFilter(name, CLSID_ColourConverter, outer) {}

HRESULT TColourConverter::AcceptInput(const AM_MEDIA_TYPE& type) {
  const VIDEOINFOHEADER* vih = VideoInfo(type);
  if (!vih) return VFW_E_TYPE_NOT_ACCEPTED;
  const BITMAPINFOHEADER& h = vih->bmiHeader;
  if (h.biWidth <= 0 || h.biWidth > 4096 || h.biHeight == 0 || std::abs(h.biHeight) > 4096)
    return VFW_E_TYPE_NOT_ACCEPTED;
  if (IsYuy2(type, h)) return h.biWidth % 2 == 0 && h.biHeight > 0 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  return IsRgb24(type, h) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TColourConverter::AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) {
  const VIDEOINFOHEADER* in = VideoInfo(input);
  const VIDEOINFOHEADER* out = VideoInfo(output);
  if (!in || !out || !IsRgb24(output, out->bmiHeader)) return VFW_E_TYPE_NOT_ACCEPTED;
  const BITMAPINFOHEADER& o = out->bmiHeader;
  if (o.biWidth != in->bmiHeader.biWidth || std::abs(o.biHeight) != std::abs(in->bmiHeader.biHeight))
    return VFW_E_TYPE_NOT_ACCEPTED;
  return o.biSizeImage == 0 || o.biSizeImage >= RgbStride(o.biWidth) * std::abs(o.biHeight) ? S_OK
                                                                                            : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TColourConverter::ProposeOutputType(int position, AM_MEDIA_TYPE& type) {
  if (position < 0) return E_INVALIDARG;
  TBCTransformInputPin* input = InputPin();
  if (!input || !input->HasPeer()) return E_UNEXPECTED;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  const VIDEOINFOHEADER* in = VideoInfo(input->ConnectedType());
  if (!in) return E_UNEXPECTED;
  auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return E_OUTOFMEMORY;
  std::memset(vih, 0, sizeof(*vih));
  const LONG width = in->bmiHeader.biWidth, height = std::abs(in->bmiHeader.biHeight);
  const DWORD bytes = DWORD(RgbStride(width) * height);
  vih->AvgTimePerFrame = in->AvgTimePerFrame;
  vih->dwBitRate = in->AvgTimePerFrame ? DWORD(bytes * 8ull * 10000000 / in->AvgTimePerFrame) : 0;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = 24;
  vih->bmiHeader.biCompression = BI_RGB;
  vih->bmiHeader.biSizeImage = bytes;
  std::memset(&type, 0, sizeof(type));
  type.majortype = MEDIATYPE_Video;
  type.subtype = MEDIASUBTYPE_RGB24;
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = bytes;
  type.formattype = FORMAT_VideoInfo;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

HRESULT TColourConverter::SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  TBCTransformOutputPin* output = OutputPin();
  const VIDEOINFOHEADER* out = output ? VideoInfo(output->ConnectedType()) : nullptr;
  if (!out) return E_UNEXPECTED;
  properties->cBuffers = std::max<long>(properties->cBuffers, 2);
  properties->cbBuffer = long(RgbStride(out->bmiHeader.biWidth) * std::abs(out->bmiHeader.biHeight));
  if (properties->cbAlign <= 0) properties->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TColourConverter::TransformSample(IMediaSample* input, IMediaSample* output) {
  TBCTransformInputPin* inPin = InputPin();
  TBCTransformOutputPin* outPin = OutputPin();
  const VIDEOINFOHEADER* in = inPin ? VideoInfo(inPin->ConnectedType()) : nullptr;
  const VIDEOINFOHEADER* out = outPin ? VideoInfo(outPin->ConnectedType()) : nullptr;
  if (!in || !out) return E_UNEXPECTED;
  BYTE* src = nullptr;
  BYTE* dst = nullptr;
  HRESULT hr = input->GetPointer(&src);
  if (SUCCEEDED(hr)) hr = output->GetPointer(&dst);
  if (FAILED(hr)) return hr;
  const LONG width = in->bmiHeader.biWidth, height = std::abs(in->bmiHeader.biHeight);
  const bool yuy2 = IsYuy2(inPin->ConnectedType(), in->bmiHeader);
  const size_t inStride = yuy2 ? size_t(width) * 2 : RgbStride(width);
  const size_t outStride = RgbStride(width);
  // A short sample (or a small buffer) is refused rather than read or written past its end.
  if (!src || !dst || input->GetActualDataLength() < long(inStride * height) || output->GetSize() < long(outStride * height))
    return E_FAIL;
  // Rows by picture line: y = 0 is the top.
  const bool inBottomUp = !yuy2 && in->bmiHeader.biHeight > 0;
  const bool outBottomUp = out->bmiHeader.biHeight > 0;
  for (LONG y = 0; y < height; ++y) {
    const BYTE* s = src + inStride * size_t(inBottomUp ? height - 1 - y : y);
    BYTE* d = dst + outStride * size_t(outBottomUp ? height - 1 - y : y);
    if (!yuy2) {
      std::memcpy(d, s, outStride);
      continue;
    }
    for (LONG x = 0; x < width; x += 2, s += 4, d += 6) {
      BYTE r, g, b;
      test::YuvToRgb(s[0], s[1], s[3], r, g, b);
      d[0] = b;
      d[1] = g;
      d[2] = r;
      test::YuvToRgb(s[2], s[1], s[3], r, g, b);
      d[3] = b;
      d[4] = g;
      d[5] = r;
    }
    std::memset(d, 0, outStride - size_t(width) * 3);
  }
  output->SetActualDataLength(long(outStride * height));
  return S_OK;
}

}  // namespace kivo::testdev
