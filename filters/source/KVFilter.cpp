#include "KVFilter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kivo {

namespace {

const REGPINTYPES kPinTypes = {&MEDIATYPE_Video, &GUID_NULL};
REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &kPinTypes},
};

// The registration record; the process's factory list owns it.
TBCClassFactory* const g_factory =
    new TBCClassFactory(&TKVPushSource::CreateByFactory, kPins, 1, MERIT_NORMAL, CLSID_VideoInputDeviceCategory,
                        CLSID_KivoFilterSource, kKivoFilterSourceName);

}  // namespace

// ---------------------------------------------------------------------------------------------------

TKVOutputPin::TKVOutputPin(HRESULT& hr, TKVPushSource* filter)
    : TBCSourceStream(kKivoFilterSourceName, hr, filter, L"Out"), Format(MakeOfferedVideoInfo()) {
  Format.AvgTimePerFrame = FrameTime;
  Reader = std::make_unique<TFrameSectionReader>(Format);
}

TKVOutputPin::~TKVOutputPin() { StopWorker(); }

HRESULT STDMETHODCALLTYPE TKVOutputPin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), out);
  if (iid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), out);
  return TBCSourceStream::InnerQueryInterface(iid, out);
}

HRESULT TKVOutputPin::OfferedType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  TBCAutoLock lock(SourceFilter->StateLock());
  auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return E_OUTOFMEMORY;
  std::memset(type, 0, sizeof(*type));
  type->majortype = MEDIATYPE_Video;
  type->subtype = MEDIASUBTYPE_RGB24;
  type->formattype = FORMAT_VideoInfo;
  type->bTemporalCompression = FALSE;
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = Format.bmiHeader.biSizeImage;
  *vih = Format;
  vih->AvgTimePerFrame = FrameTime;
  type->cbFormat = sizeof(VIDEOINFOHEADER);
  type->pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

HRESULT TKVOutputPin::NewOfferedType(AM_MEDIA_TYPE** type) {
  auto* mt = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt) return E_OUTOFMEMORY;
  HRESULT hr = OfferedType(mt);
  if (FAILED(hr)) {
    ::CoTaskMemFree(mt);
    return hr;
  }
  *type = mt;
  return S_OK;
}

HRESULT TKVOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  TBCAutoLock lock(SourceFilter->StateLock());
  if (!Reader->HasView()) return E_FAIL;
  // Two buffers at least: Capture Graph Builder's Smart Tee holds one while it asks for the next.
  properties->cBuffers = std::max<long>(properties->cBuffers, 2);
  properties->cbBuffer = static_cast<long>(Format.bmiHeader.biSizeImage);
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TKVOutputPin::Activate() {
  FrameNumber = 0;
  return TBCSourceStream::Activate();
}

HRESULT TKVOutputPin::FillSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (!Reader->HasView()) return E_FAIL;
  // Every sample of a run is stamped from one count of frame intervals, so times never go back:
  // a filled sample stands for one interval; an unfilled one for the intervals its read waited
  // (six while no writer has come, five while another party holds the section), so the time line
  // keeps pace with the clock a client records sound by.
  auto stamp = [&](TReadResult read) {
    const LONGLONG intervals =
        std::max<LONGLONG>(1, (LONGLONG(Reader->PaceMs(read)) * 10000 + FrameTime / 2) / FrameTime);
    REFERENCE_TIME start = FrameNumber.load() * FrameTime, stop = start + intervals * FrameTime;
    sample->SetTime(&start, &stop);
    FrameNumber += intervals;
  };
  HRESULT result = S_OK;
  const TReadResult read = Reader->Read([&](const BYTE* pixels, std::size_t frameBytes) {
    BYTE* data = nullptr;
    result = sample->GetPointer(&data);
    if (FAILED(result) || !data) return;
    const long size = sample->GetSize();
    const std::size_t n = std::min<std::size_t>(size > 0 ? std::size_t(size) : 0, frameBytes);
    std::memcpy(data, pixels, n);
    sample->SetActualDataLength(static_cast<long>(n));
    stamp(TReadResult::Copied);
    sample->SetSyncPoint(TRUE);
  });
  if (FAILED(result)) return result;
  if (read != TReadResult::Copied) stamp(read);
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// IAMStreamConfig

HRESULT STDMETHODCALLTYPE TKVOutputPin::SetFormat(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  // The pin delivers one format only; agreeing to another would leave the client without a picture.
  TBCMediaType offered;
  HRESULT hr = OfferedType(&offered.Type);
  if (FAILED(hr)) return hr;
  if (!TypesEqual(*type, offered.Type)) return VFW_E_INVALIDMEDIATYPE;
  TBCAutoLock lock(*PinLock);
  return AdoptType(*type);
}

HRESULT STDMETHODCALLTYPE TKVOutputPin::GetFormat(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  return NewOfferedType(type);
}

HRESULT STDMETHODCALLTYPE TKVOutputPin::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size) return E_POINTER;
  *count = 1;
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TKVOutputPin::GetStreamCaps(int, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (!type || !caps) return E_POINTER;
  *type = nullptr;
  HRESULT hr = NewOfferedType(type);
  if (FAILED(hr)) return hr;
  // The one size the pin delivers, with no cropping or scaling: clients that look for a size here
  // before they connect find it, and steps of one granule from it lead out of the range.
  const SIZE frame{Format.bmiHeader.biWidth, Format.bmiHeader.biHeight};
  VIDEO_STREAM_CONFIG_CAPS c;
  std::memset(&c, 0, sizeof(c));
  c.guid = FORMAT_VideoInfo;
  c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = frame;
  c.CropGranularityX = c.OutputGranularityX = frame.cx;
  c.CropGranularityY = c.OutputGranularityY = frame.cy;
  c.CropAlignX = c.CropAlignY = 1;
  c.MinFrameInterval = kKivoFrameTime;
  c.MaxFrameInterval = kKivoMaxFrameInterval;
  // Bits a second of the uncompressed stream at 15 and at 25 frames a second.
  const LONGLONG frameBits = LONGLONG(Format.bmiHeader.biSizeImage) * 8;
  c.MinBitsPerSecond = static_cast<LONG>(frameBits * (10000000 / kKivoMaxFrameInterval));
  c.MaxBitsPerSecond = static_cast<LONG>(frameBits * (10000000 / kKivoFrameTime));
  std::memcpy(caps, &c, sizeof(c));
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// IKsPropertySet

HRESULT STDMETHODCALLTYPE TKVOutputPin::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TKVOutputPin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize,
                                            DWORD* returned) {
  if (set != kAMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (returned) *returned = sizeof(GUID);
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  if (!data) return E_POINTER;
  std::memcpy(data, &kPIN_CATEGORY_CAPTURE, sizeof(GUID));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TKVOutputPin::QuerySupported(REFGUID, DWORD, DWORD* support) {
  if (support) *support = 0;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------

TBCUnknown* TKVPushSource::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  return new TKVPushSource(factory.Name.c_str(), hr, outer);
}

TKVPushSource::TKVPushSource(const wchar_t* name, HRESULT& hr, IUnknown* outer)
    : TBCSource(name, outer, CLSID_KivoFilterSource) {
  // The source's pin list owns the pin; a throw here frees it with the filter.
  Pin = new TKVOutputPin(hr, this);
}

HRESULT STDMETHODCALLTYPE TKVPushSource::InnerQueryInterface(REFIID iid, void** out) {
  HRESULT hr = TBCSource::InnerQueryInterface(iid, out);
  if (hr != E_NOINTERFACE || !Pin) return hr;
  return Pin->InnerQueryInterface(iid, out);
}

}  // namespace kivo
