#include "LiveSource.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "TestDevices.h"

namespace kivo::testdev {

namespace {

// Not declared by MinGW's headers.
constexpr GUID kAMPROPSETID_Pin = {0x9b00f101, 0x1567, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
constexpr GUID kPIN_CATEGORY_CAPTURE = {0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

}  // namespace

TLiveSource::TLiveSource(const wchar_t* name, IUnknown* outer, REFCLSID clsid) : TBCSource(name, outer, clsid) {}

HRESULT STDMETHODCALLTYPE TLiveSource::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IPersistPropertyBag) return GetInterface(static_cast<IPersistPropertyBag*>(this), out);
  return TBCSource::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TLiveSource::Load(IPropertyBag* bag, IErrorLog*) {
  if (!bag) return E_POINTER;
  TBCAutoLock lock(StateLock());
  if (State != State_Stopped) return VFW_E_NOT_STOPPED;
  for (int i = 0; i < PinCount(); ++i)
    if (PinAt(i) && PinAt(i)->HasPeer()) return VFW_E_ALREADY_CONNECTED;
  try {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    if (SUCCEEDED(bag->Read(L"DevicePath", &v, nullptr)) && V_VT(&v) == VT_BSTR && V_BSTR(&v))
      DisplayName = std::wstring(kPnpPrefix) + V_BSTR(&v);
    ::VariantClear(&v);
    return LoadDevice(bag);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

bool TLiveSource::DevicePresent() {
  try {
    return DisplayName.empty() || FindDevice(DisplayName).has_value();
  } catch (const std::bad_alloc&) {
    return true;  // cannot tell now: not taken for unplugged
  }
}

HRESULT STDMETHODCALLTYPE TLiveSource::Stop() {
  Pace.Wake();  // the pin's worker may be waiting for its next frame
  HRESULT hr = TBCSource::Stop();
  Pace.Reset();
  return hr;
}

HRESULT STDMETHODCALLTYPE TLiveSource::Pause() {
  TBCAutoLock lock(StateLock());
  if (State == State_Running) Pace.Hold();
  return TBCSource::Pause();
}

HRESULT STDMETHODCALLTYPE TLiveSource::Run(REFERENCE_TIME start) {
  TBCAutoLock lock(StateLock());
  HRESULT hr = TBCSource::Run(start);
  if (SUCCEEDED(hr)) Pace.Run(Clock, start);
  return hr;
}

HRESULT STDMETHODCALLTYPE TLiveSource::GetState(DWORD timeoutMs, FILTER_STATE* state) {
  HRESULT hr = TBCSource::GetState(timeoutMs, state);
  // A live source has nothing to show while paused: the graph must not wait for it.
  return hr == S_OK && *state == State_Paused ? VFW_S_CANT_CUE : hr;
}

// ---------------------------------------------------------------------------------------------------

TLiveStream::TLiveStream(const wchar_t* objectName, HRESULT& hr, TLiveSource* filter, const wchar_t* pinName)
    : TBCSourceStream(objectName, hr, filter, pinName), Live(filter) {}

TLiveStream::~TLiveStream() { StopWorker(); }

HRESULT STDMETHODCALLTYPE TLiveStream::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), out);
  if (iid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), out);
  return TBCSourceStream::InnerQueryInterface(iid, out);
}

HRESULT TLiveStream::ProposeType(int position, AM_MEDIA_TYPE& type) {
  TBCAutoLock lock(SourceFilter->StateLock());
  if (position < 0) return E_INVALIDARG;
  if (Chosen >= 0) return position == 0 ? MakeFormat(Chosen, type) : VFW_S_NO_MORE_ITEMS;
  if (position >= FormatCount()) return VFW_S_NO_MORE_ITEMS;
  return MakeFormat(position, type);
}

HRESULT TLiveStream::VerifyType(const AM_MEDIA_TYPE& type) {
  TBCAutoLock lock(SourceFilter->StateLock());
  const int i = MatchFormat(type);
  if (i < 0 || (Chosen >= 0 && i != Chosen)) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT TLiveStream::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  TBCAutoLock lock(SourceFilter->StateLock());
  // More than one buffer: Capture Graph Builder's Smart Tee holds one while it asks for the next.
  properties->cBuffers = std::max(properties->cBuffers, BufferCount());
  properties->cbBuffer = std::max(properties->cbBuffer, BufferBytes(CurrentType));
  if (properties->cbAlign <= 0) properties->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TLiveStream::Activate() {
  {
    TBCAutoLock lock(SourceFilter->StateLock());
    if (!SourceFilter->IsStarted() && HasPeer()) {
      if (!Live->DevicePresent()) return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);  // unplugged
      RunStarts();
    }
  }
  return TBCSourceStream::Activate();
}

bool TLiveStream::WaitForDevice(REFERENCE_TIME due) {
  Live->Pace.WaitUntil(due);
  if (Live->DevicePresent()) return true;
  Live->RaiseGraphEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(Live)), 0);
  return false;
}

HRESULT STDMETHODCALLTYPE TLiveStream::SetFormat(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  TBCAutoLock lock(SourceFilter->StateLock());
  const int i = MatchFormat(*type);
  if (i < 0) return VFW_E_INVALIDMEDIATYPE;
  if (!FilterStopped()) return VFW_E_NOT_STOPPED;
  if (!HasPeer()) {
    Chosen = i;
    return S_OK;
  }
  // Connected: the peer must take the new format; the graph connects the pins again with it.
  if (Peer()->QueryAccept(type) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  IFilterGraph* graph = SourceFilter->FilterGraph();
  if (!graph) return VFW_E_NOT_IN_GRAPH;
  const int old = Chosen;
  Chosen = i;
  HRESULT hr = graph->Reconnect(static_cast<IPin*>(this));
  if (FAILED(hr)) Chosen = old;
  return hr;
}

HRESULT STDMETHODCALLTYPE TLiveStream::GetFormat(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  TBCAutoLock lock(SourceFilter->StateLock());
  auto* mt = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt) return E_OUTOFMEMORY;
  HRESULT hr = HasPeer() ? CopyMediaType(*mt, CurrentType) : MakeFormat(Chosen >= 0 ? Chosen : 0, *mt);
  if (FAILED(hr)) {
    ::CoTaskMemFree(mt);
    return hr;
  }
  *type = mt;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TLiveStream::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size) return E_POINTER;
  TBCAutoLock lock(SourceFilter->StateLock());
  *count = FormatCount();
  *size = CapsSize();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TLiveStream::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (!type || !caps) return E_POINTER;
  *type = nullptr;
  TBCAutoLock lock(SourceFilter->StateLock());
  if (index < 0) return E_INVALIDARG;
  if (index >= FormatCount()) return S_FALSE;
  auto* mt = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt) return E_OUTOFMEMORY;
  HRESULT hr = MakeFormat(index, *mt);
  if (FAILED(hr)) {
    ::CoTaskMemFree(mt);
    return hr;
  }
  MakeCaps(index, caps);
  *type = mt;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TLiveStream::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize,
                                           DWORD* returned) {
  if (set != kAMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (returned) *returned = sizeof(GUID);
  if (!data) return E_POINTER;
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  std::memcpy(data, &kPIN_CATEGORY_CAPTURE, sizeof(GUID));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TLiveStream::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (!support) return E_POINTER;
  if (set != kAMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  *support = 1;  // KSPROPERTY_SUPPORT_GET
  return S_OK;
}

}  // namespace kivo::testdev
