// The pattern camera: a capture source that paints the readable test picture (PatternFrame.h) at 25
// frames a second in one of its formats (RGB24 or YUY2 at the sizes its device lists). Frame n of
// a run is painted with counter n and carries the times n x 40 ms, n counting the running time: a
// frame that could not go out in time is skipped, as a real camera drops it.
#include "PatternCamera.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "PatternFrame.h"
#include "TestDevices.h"

namespace kivo::testdev {

namespace {

constexpr REFERENCE_TIME kFrameTime = 400000;  // 25 frames a second

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo ||
      type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat)
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

}  // namespace

TCameraPin::TCameraPin(HRESULT& hr, TPatternCamera* filter)
    : TLiveStream(L"Pattern camera output", hr, filter, L"Capture"), Camera(filter) {}

int TCameraPin::FormatCount() { return int(Camera->Formats.size()); }

HRESULT TCameraPin::MakeFormat(int index, AM_MEDIA_TYPE& type) {
  if (index < 0 || index >= FormatCount()) return E_INVALIDARG;
  const TCameraFormat& f = Camera->Formats[size_t(index)];
  auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return E_OUTOFMEMORY;
  std::memset(vih, 0, sizeof(*vih));
  vih->AvgTimePerFrame = kFrameTime;
  vih->dwBitRate = f.ImageBytes() * 8 * 25;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = f.Width;
  vih->bmiHeader.biHeight = f.Height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = f.BitCount;
  vih->bmiHeader.biCompression = f.Compression;
  vih->bmiHeader.biSizeImage = f.ImageBytes();
  std::memset(&type, 0, sizeof(type));
  type.majortype = MEDIATYPE_Video;
  type.subtype = f.Subtype;
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = f.ImageBytes();
  type.formattype = FORMAT_VideoInfo;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

int TCameraPin::MatchFormat(const AM_MEDIA_TYPE& type) {
  const VIDEOINFOHEADER* vih = VideoInfo(type);
  if (!vih) return -1;
  const BITMAPINFOHEADER& h = vih->bmiHeader;
  for (size_t i = 0; i < Camera->Formats.size(); ++i) {
    const TCameraFormat& f = Camera->Formats[i];
    if (type.subtype == f.Subtype && h.biWidth == f.Width && h.biHeight == f.Height && h.biBitCount == f.BitCount &&
        h.biCompression == f.Compression && (h.biSizeImage == 0 || h.biSizeImage == f.ImageBytes()))
      return int(i);
  }
  return -1;
}

int TCameraPin::CapsSize() { return sizeof(VIDEO_STREAM_CONFIG_CAPS); }

void TCameraPin::MakeCaps(int index, BYTE* caps) {
  const TCameraFormat& f = Camera->Formats[size_t(index)];
  VIDEO_STREAM_CONFIG_CAPS c;
  std::memset(&c, 0, sizeof(c));
  c.guid = FORMAT_VideoInfo;
  c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = SIZE{f.Width, f.Height};
  c.CropGranularityX = c.CropGranularityY = c.CropAlignX = c.CropAlignY = 1;
  c.MinFrameInterval = c.MaxFrameInterval = kFrameTime;
  c.MinBitsPerSecond = c.MaxBitsPerSecond = LONG(f.ImageBytes() * 8 * 25);
  std::memcpy(caps, &c, sizeof(c));
}

long TCameraPin::BufferBytes(const AM_MEDIA_TYPE& type) {
  const VIDEOINFOHEADER* vih = VideoInfo(type);
  return vih ? long(vih->bmiHeader.biSizeImage) : 0;
}

void TCameraPin::RunStarts() { NextFrame = 0; }

HRESULT TCameraPin::FillSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (!WaitForDevice(NextFrame * kFrameTime)) return S_FALSE;  // unplugged: the stream ends
  const LONGLONG frame = std::max<LONGLONG>(NextFrame, Live->Pace.Elapsed() / kFrameTime);
  NextFrame = frame + 1;

  const VIDEOINFOHEADER* vih = VideoInfo(CurrentType);
  if (!vih) return E_UNEXPECTED;
  const BITMAPINFOHEADER& h = vih->bmiHeader;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const DWORD bytes = DWORD(BufferBytes(CurrentType));
  if (!data || sample->GetSize() < long(bytes)) return E_FAIL;
  if (CurrentType.subtype == MEDIASUBTYPE_YUY2)
    test::PaintPatternYuy2(data, h.biWidth, h.biHeight, int(Camera->Pattern), uint32_t(frame));
  else
    test::PaintPatternRgb24(data, h.biWidth, h.biHeight, int(Camera->Pattern), uint32_t(frame), h.biHeight > 0);
  sample->SetActualDataLength(long(bytes));
  REFERENCE_TIME start = frame * kFrameTime, stop = start + kFrameTime;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------

TBCUnknown* TPatternCamera::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  auto* camera = new (std::nothrow) TPatternCamera(factory.Name.c_str(), hr, outer);
  if (!camera) hr = E_OUTOFMEMORY;
  return camera;
}

TPatternCamera::TPatternCamera(const wchar_t* name, HRESULT& hr, IUnknown* outer)
    : TLiveSource(name, outer, CLSID_PatternCamera) {
  ParseCameraFormats(kDefaultCameraFormats, Formats);
  Pin = new TCameraPin(hr, this);  // owned by the source's pin list
}

HRESULT TPatternCamera::LoadDevice(IPropertyBag* bag) {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I4;
  if (SUCCEEDED(bag->Read(L"Pattern", &v, nullptr)) && V_VT(&v) == VT_I4) {
    if (V_I4(&v) < 1 || V_I4(&v) > 255) return E_INVALIDARG;
    Pattern = DWORD(V_I4(&v));
  }
  ::VariantClear(&v);
  V_VT(&v) = VT_BSTR;
  HRESULT hr = S_OK;
  if (SUCCEEDED(bag->Read(L"Formats", &v, nullptr)) && V_VT(&v) == VT_BSTR && V_BSTR(&v)) {
    std::vector<TCameraFormat> formats;
    if (ParseCameraFormats(V_BSTR(&v), formats))
      Formats = std::move(formats);
    else
      hr = E_INVALIDARG;
  }
  ::VariantClear(&v);
  return hr;
}

HRESULT STDMETHODCALLTYPE TPatternCamera::InnerQueryInterface(REFIID iid, void** out) {
  HRESULT hr = TLiveSource::InnerQueryInterface(iid, out);
  if (hr != E_NOINTERFACE || !Pin) return hr;
  // Clients ask the filter for the stream configuration, as capture programs do.
  if (iid == IID_IAMStreamConfig) return Pin->InnerQueryInterface(iid, out);
  return hr;
}

}  // namespace kivo::testdev
