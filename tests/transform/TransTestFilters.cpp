#include "TransTestFilters.h"

#include <cstring>

#include "TestSupport.h"

namespace kivo::test {

namespace {
// {7D2E5A31-0C6B-4F0E-8A1D-3B9C4E6F7A01}, {...02}: never registered.
constexpr CLSID kPatternSourceClsid = {0x7d2e5a31, 0x0c6b, 0x4f0e, {0x8a, 0x1d, 0x3b, 0x9c, 0x4e, 0x6f, 0x7a, 0x01}};
constexpr CLSID kRecordingSinkClsid = {0x7d2e5a31, 0x0c6b, 0x4f0e, {0x8a, 0x1d, 0x3b, 0x9c, 0x4e, 0x6f, 0x7a, 0x02}};
}  // namespace

void MakeFormatType(AM_MEDIA_TYPE& type, const TVideoFormat& format) {
  InitTypeDefaults(type);
  type.majortype = MEDIATYPE_Video;
  type.subtype = format.Subtype;
  type.formattype = FORMAT_VideoInfo;
  auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return;
  std::memset(vih, 0, sizeof(*vih));
  vih->AvgTimePerFrame = format.FrameTime;
  BITMAPINFOHEADER& bi = vih->bmiHeader;
  bi.biSize = sizeof(BITMAPINFOHEADER);
  bi.biWidth = format.Width;
  bi.biHeight = format.Height;
  bi.biPlanes = 1;
  bi.biBitCount = format.BitCount;
  bi.biCompression = format.Subtype == MEDIASUBTYPE_RGB24 ? BI_RGB : format.Subtype.Data1;
  const LONG stride = ((format.Width * format.BitCount / 8) + 3) & ~3;
  bi.biSizeImage = DWORD(stride * (format.Height < 0 ? -format.Height : format.Height));
  type.lSampleSize = bi.biSizeImage;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
}

// ---------------------------------------------------------------------------------------------------

TPatternPin::TPatternPin(TPatternSource* filter, HRESULT& hr)
    : TBCBaseOutputPin(L"Pattern pin", filter, &filter->StateLock(), hr, L"Out") {}

HRESULT TPatternPin::VerifyType(const AM_MEDIA_TYPE& type) {
  TBCMediaType offered;
  MakeFormatType(offered.Type, Format);
  return TypesEqual(type, offered.Type) ? S_OK : E_FAIL;
}

HRESULT TPatternPin::ProposeType(int position, AM_MEDIA_TYPE& type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  MakeFormatType(type, Format);
  return type.pbFormat ? S_OK : E_OUTOFMEMORY;
}

HRESULT TPatternPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  return RequestFrameBuffers(allocator, properties,
                             std::max<long>(long(FrameBytes(Format.Width, std::abs(Format.Height))), 1));
}

TPatternSource::TPatternSource()
    : TBCBaseFilter(L"Pattern source", nullptr, new TBCCritSec, kPatternSourceClsid), Pin(this, PinResult) {}

TPatternSource::~TPatternSource() {
  if (Pusher.joinable()) Pusher.join();
}

HRESULT STDMETHODCALLTYPE TPatternSource::Pause() {
  TBCAutoLock lock(StateLock());
  const bool wasStopped = State == State_Stopped;
  HRESULT hr = TBCBaseFilter::Pause();
  if (SUCCEEDED(hr) && wasStopped && Pushing && !Pusher.joinable()) Pusher = std::thread([this] { PushLoop(); });
  return hr;
}

HRESULT STDMETHODCALLTYPE TPatternSource::Stop() {
  // Decommitting the allocator ends the pushing thread's next wait for a buffer.
  HRESULT hr = TBCBaseFilter::Stop();
  if (Pusher.joinable()) Pusher.join();
  return hr;
}

void TPatternSource::PushLoop() {
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (int frame = 0;; ++frame) {
    HRESULT hr = Deliver(frame);
    if (FAILED(hr)) break;
    ++Pushed;
  }
  ::CoUninitialize();
}

HRESULT TPatternSource::Deliver(int frame, long length) {
  TComPtr<IMediaSample> sample;
  HRESULT hr = Pin.AcquireSample(sample.Put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  hr = FillPatternSample(sample.Get(), Pin.Format.Width, std::abs(Pin.Format.Height), frame, length,
                         Pin.Format.FrameTime);
  if (FAILED(hr)) return hr;
  sample->SetSyncPoint(TRUE);
  return Pin.SendSample(sample.Get());
}

// ---------------------------------------------------------------------------------------------------

void TFrameKeeper::Add(IMediaSample* sample, DWORD flags) {
  TFrame f;
  f.Flags = flags;
  BYTE* data = nullptr;
  const long length = sample->GetActualDataLength();
  if (SUCCEEDED(sample->GetPointer(&data)) && data && length > 0) f.Bytes.assign(data, data + length);
  if (FAILED(sample->GetTime(&f.Start, &f.Stop))) f.Start = f.Stop = -1;
  TRecordLog<TFrame>::Add(std::move(f));
}

// ---------------------------------------------------------------------------------------------------

TRecordingPin::TRecordingPin(TRecordingSink* filter, HRESULT& hr)
    : TBCBaseInputPin(L"Recording pin", filter, &filter->StateLock(), hr, L"In") {}

HRESULT TRecordingPin::VerifyType(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || !type.pbFormat) return E_FAIL;
  return S_OK;
}

HRESULT TRecordingPin::ProposeType(int position, AM_MEDIA_TYPE& type) {
  if (position < 0) return E_INVALIDARG;
  if (position >= int(Preferred.size())) return VFW_S_NO_MORE_ITEMS;
  MakeFormatType(type, Preferred[position]);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingPin::Receive(IMediaSample* sample) {
  HRESULT hr = TBCBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  Frames.Add(sample, SampleProps().dwSampleFlags);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingPin::EndOfStream() {
  if (OnEndOfStream) OnEndOfStream();
  ++EndOfStreams;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingPin::BeginFlush() {
  ++BeginFlushes;
  return TBCBaseInputPin::BeginFlush();
}

HRESULT STDMETHODCALLTYPE TRecordingPin::EndFlush() {
  ++EndFlushes;
  return TBCBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE TRecordingPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  ++NewSegments;
  LastSegmentStart = start;
  return TBCBaseInputPin::NewSegment(start, stop, rate);
}

TRecordingSink::TRecordingSink()
    : TBCBaseFilter(L"Recording sink", nullptr, new TBCCritSec, kRecordingSinkClsid), Pin(this, PinResult) {}

}  // namespace kivo::test
