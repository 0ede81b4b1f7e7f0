#include "BaseTransform.h"

#include <cstddef>
#include <cwchar>
#include <new>

namespace kivo {

namespace {
HRESULT PeerOfPin(IPin* peer, IPin** out) {
  if (!out) return E_POINTER;
  *out = peer;
  if (!peer) return VFW_E_NOT_CONNECTED;
  peer->AddRef();
  return S_OK;
}
}  // namespace

// ---------------------------------------------------------------------------------------------------
// Input pin

TBCTransformInputPin::TBCTransformInputPin(const wchar_t* objectName, TBCTransformFilter* filter, HRESULT& hr,
                                           const wchar_t* pinName)
    : TBCBaseInputPin(objectName, filter, &filter->FilterLock(), hr, pinName), Transform(filter) {}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::QueryId(LPWSTR* id) {
  try {
    return CopyWideString(L"In", id);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::ConnectedTo(IPin** pin) { return PeerOfPin(ConnectedPin, pin); }

HRESULT TBCTransformInputPin::VerifyType(const AM_MEDIA_TYPE& type) {
  HRESULT hr = Transform->AcceptInput(type);
  if (hr != S_OK) return hr;
  TBCTransformOutputPin* out = Transform->OutputPin();
  if (out && out->HasPeer()) return Transform->AcceptOutput(type, out->ConnectedType());
  return hr;
}

HRESULT TBCTransformInputPin::AdoptType(const AM_MEDIA_TYPE& type) {
  HRESULT hr = TBCBaseInputPin::AdoptType(type);
  if (FAILED(hr)) return hr;
  hr = Transform->AcceptInput(type);
  if (FAILED(hr)) return hr;
  return Transform->TypeAdopted(PINDIR_INPUT, type);
}

HRESULT TBCTransformInputPin::VerifyPeer(IPin* peer) {
  HRESULT hr = Transform->PeerCheck(PINDIR_INPUT, peer);
  if (FAILED(hr)) return hr;
  return TBCBaseInputPin::VerifyPeer(peer);
}

HRESULT TBCTransformInputPin::FinishConnection(IPin* peer) {
  HRESULT hr = Transform->ConnectionFinished(PINDIR_INPUT, peer);
  if (FAILED(hr)) return hr;
  return TBCBaseInputPin::FinishConnection(peer);
}

HRESULT TBCTransformInputPin::DropConnection() {
  HRESULT hr = Transform->ConnectionDropped(PINDIR_INPUT);
  if (FAILED(hr)) return hr;
  return TBCBaseInputPin::DropConnection();
}

HRESULT TBCTransformInputPin::StreamingCheck() {
  TBCTransformOutputPin* out = Transform->OutputPin();
  if (!out || !out->HasPeer()) return VFW_E_NOT_CONNECTED;
  if (Flushing) return S_FALSE;
  if (FilterStopped()) return VFW_E_WRONG_STATE;
  if (StreamFailed) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::Receive(IMediaSample* sample) {
  TBCAutoLock lock(Transform->ReceiveLock());
  HRESULT hr = TBCBaseInputPin::Receive(sample);
  if (hr == S_OK) hr = Transform->ReceiveSample(sample);
  return hr;
}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::EndOfStream() {
  TBCAutoLock lock(Transform->ReceiveLock());
  HRESULT hr = StreamingCheck();
  if (hr != S_OK) return hr;
  return Transform->PassEndOfStream();
}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::BeginFlush() {
  TBCAutoLock lock(Transform->FilterLock());
  TBCTransformOutputPin* out = Transform->OutputPin();
  if (!HasPeer() || !out || !out->HasPeer()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = TBCBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  return Transform->PassBeginFlush();
}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::EndFlush() {
  TBCAutoLock lock(Transform->FilterLock());
  TBCTransformOutputPin* out = Transform->OutputPin();
  if (!HasPeer() || !out || !out->HasPeer()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = Transform->PassEndFlush();
  if (FAILED(hr)) return hr;
  return TBCBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE TBCTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  TBCBaseInputPin::NewSegment(start, stop, rate);
  return Transform->PassNewSegment(start, stop, rate);
}

// ---------------------------------------------------------------------------------------------------
// Output pin

TBCTransformOutputPin::TBCTransformOutputPin(const wchar_t* objectName, TBCTransformFilter* filter, HRESULT& hr,
                                             const wchar_t* pinName)
    : TBCBaseOutputPin(objectName, filter, &filter->FilterLock(), hr, pinName), Transform(filter) {}

TBCTransformOutputPin::~TBCTransformOutputPin() {
  if (SeekingProxy) SeekingProxy->Release();
}

HRESULT STDMETHODCALLTYPE TBCTransformOutputPin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid != IID_IMediaPosition && iid != IID_IMediaSeeking) return TBCBaseOutputPin::InnerQueryInterface(iid, out);
  *out = nullptr;
  TBCAutoLock lock(SeekingLock);
  if (!SeekingProxy) {
    TComPtr<IUnknown> proxy;
    HRESULT hr = ::CoCreateInstance(CLSID_SeekingPassThru, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    proxy.PutVoid());
    if (FAILED(hr)) return hr;
    TComPtr<ISeekingPassThru> pass;
    hr = proxy->QueryInterface(IID_ISeekingPassThru, pass.PutVoid());
    if (FAILED(hr)) return hr;
    TBCTransformInputPin* input = Transform->InputPin();
    if (!input) return E_OUTOFMEMORY;
    hr = pass->Init(FALSE, static_cast<IPin*>(input));
    if (FAILED(hr)) return hr;
    SeekingProxy = proxy.Detach();
  }
  return SeekingProxy->QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TBCTransformOutputPin::QueryId(LPWSTR* id) {
  try {
    return CopyWideString(L"Out", id);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE TBCTransformOutputPin::ConnectedTo(IPin** pin) { return PeerOfPin(ConnectedPin, pin); }

HRESULT STDMETHODCALLTYPE TBCTransformOutputPin::Notify(IBaseFilter*, Quality quality) {
  HRESULT hr = Transform->AdjustQuality(quality);
  if (hr != S_FALSE) return hr;
  TBCTransformInputPin* input = Transform->InputPin();
  return input ? input->ForwardQuality(quality) : VFW_E_NOT_FOUND;
}

HRESULT TBCTransformOutputPin::VerifyPeer(IPin* peer) {
  TBCTransformInputPin* input = Transform->InputPin();
  if (!input || !input->HasPeer()) return E_UNEXPECTED;
  HRESULT hr = Transform->PeerCheck(PINDIR_OUTPUT, peer);
  if (FAILED(hr)) return hr;
  return TBCBaseOutputPin::VerifyPeer(peer);
}

HRESULT TBCTransformOutputPin::VerifyType(const AM_MEDIA_TYPE& type) {
  TBCTransformInputPin* input = Transform->InputPin();
  if (!input || !input->HasPeer()) return E_INVALIDARG;
  return Transform->AcceptOutput(input->ConnectedType(), type);
}

HRESULT TBCTransformOutputPin::ProposeType(int position, AM_MEDIA_TYPE& type) {
  TBCTransformInputPin* input = Transform->InputPin();
  if (!input || !input->HasPeer()) return VFW_S_NO_MORE_ITEMS;
  return Transform->ProposeOutputType(position, type);
}

HRESULT TBCTransformOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  return Transform->SizeOutputBuffers(allocator, properties);
}

HRESULT TBCTransformOutputPin::AdoptType(const AM_MEDIA_TYPE& type) {
  HRESULT hr = TBCBaseOutputPin::AdoptType(type);
  if (FAILED(hr)) return hr;
  return Transform->TypeAdopted(PINDIR_OUTPUT, type);
}

HRESULT TBCTransformOutputPin::FinishConnection(IPin* peer) {
  HRESULT hr = Transform->ConnectionFinished(PINDIR_OUTPUT, peer);
  if (FAILED(hr)) return hr;
  return TBCBaseOutputPin::FinishConnection(peer);
}

HRESULT TBCTransformOutputPin::DropConnection() {
  HRESULT hr = Transform->ConnectionDropped(PINDIR_OUTPUT);
  if (FAILED(hr)) return hr;
  return TBCBaseOutputPin::DropConnection();
}

// ---------------------------------------------------------------------------------------------------
// Filter

TBCTransformFilter::TBCTransformFilter(const wchar_t* name, REFCLSID clsid, IUnknown* outer)
    : TBCBaseFilter(name, outer, new TBCCritSec, clsid) {}

TBCTransformFilter::~TBCTransformFilter() {
  InputPin_.reset();
  OutputPin_.reset();
}

bool TBCTransformFilter::MakePins() {
  if (PinsMade) return true;
  TBCAutoLock lock(PinsLock);
  if (PinsMade) return true;
  try {
    HRESULT hr = S_OK;
    auto input = std::make_unique<TBCTransformInputPin>(L"Transform input pin", this, hr, L"XForm In");
    if (FAILED(hr)) return false;
    auto output = std::make_unique<TBCTransformOutputPin>(L"Transform output pin", this, hr, L"XForm Out");
    if (FAILED(hr)) return false;  // the input pin goes again
    InputPin_ = std::move(input);
    OutputPin_ = std::move(output);
  } catch (const std::bad_alloc&) {
    return false;
  }
  PinsMade = true;
  return true;
}

TBCTransformInputPin* TBCTransformFilter::InputPin() { return MakePins() ? InputPin_.get() : nullptr; }

TBCTransformOutputPin* TBCTransformFilter::OutputPin() { return MakePins() ? OutputPin_.get() : nullptr; }

TBCBasePin* TBCTransformFilter::PinAt(int index) {
  if (index == 0) return InputPin();
  if (index == 1) return OutputPin();
  return nullptr;
}

HRESULT STDMETHODCALLTYPE TBCTransformFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  if (!id) return E_POINTER;
  TBCBasePin* found = nullptr;
  if (std::wcscmp(id, L"In") == 0)
    found = InputPin();
  else if (std::wcscmp(id, L"Out") == 0)
    found = OutputPin();
  else
    return VFW_E_NOT_FOUND;
  if (!found) return E_OUTOFMEMORY;
  *pin = static_cast<IPin*>(found);
  found->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCTransformFilter::Pause() {
  TBCAutoLock lock(FilterLock());
  if (State == State_Paused) return S_OK;
  HRESULT hr = S_OK;
  TBCTransformInputPin* input = InputPin();
  TBCTransformOutputPin* output = OutputPin();
  if (!input || !input->HasPeer()) {
    // Nothing will come: tell downstream once, so that it does not wait for samples.
    if (output && output->HasPeer() && !EndOfStreamSent) {
      output->SendEndOfStream();
      EndOfStreamSent = true;
    }
    State = State_Paused;
  } else if (!output || !output->HasPeer()) {
    State = State_Paused;
  } else {
    if (State == State_Stopped) {
      TBCAutoLock receive(ReceiveLock_);
      hr = StreamingStarts();
    }
    if (SUCCEEDED(hr)) hr = TBCBaseFilter::Pause();
  }
  SampleSkipped = false;
  QualityChanged = false;
  return hr;
}

HRESULT STDMETHODCALLTYPE TBCTransformFilter::Stop() {
  TBCAutoLock lock(FilterLock());
  if (State == State_Stopped) return S_OK;
  TBCTransformInputPin* input = InputPin();
  TBCTransformOutputPin* output = OutputPin();
  if (input && output && input->HasPeer() && output->HasPeer()) {
    // Decommitting the input first lets an upstream thread waiting for a buffer return, so that
    // the receive lock comes free.
    input->Deactivate();
    TBCAutoLock receive(ReceiveLock_);
    output->Deactivate();
    HRESULT hr = StreamingStops();
    if (SUCCEEDED(hr)) {
      State = State_Stopped;
      EndOfStreamSent = false;
    }
    return hr;
  }
  State = State_Stopped;
  EndOfStreamSent = false;
  return S_OK;
}

HRESULT TBCTransformFilter::ReceiveSample(IMediaSample* sample) {
  TBCAutoLock lock(ReceiveLock_);
  TBCTransformInputPin* input = InputPin();
  TBCTransformOutputPin* output = OutputPin();
  if (!input || !output) return E_UNEXPECTED;
  if (input->SampleProps().dwStreamId != AM_STREAM_MEDIA) return output->SendSample(sample);

  TComPtr<IMediaSample> out;
  HRESULT hr = PrepareOutputSample(sample, out.Put());
  if (FAILED(hr)) return hr;
  hr = TransformSample(sample, out.Get());
  if (FAILED(hr)) return hr;
  if (hr == S_OK) {
    hr = output->SendSample(out.Get());
    SampleSkipped = false;
    return hr;
  }
  if (hr == S_FALSE) {
    out.Reset();
    SampleSkipped = true;
    if (!QualityChanged) {
      RaiseGraphEvent(EC_QUALITY_CHANGE, 0, 0);
      QualityChanged = true;
    }
    return S_OK;
  }
  return hr;
}

HRESULT TBCTransformFilter::PrepareOutputSample(IMediaSample* input, IMediaSample** output) {
  if (!output) return E_POINTER;
  *output = nullptr;
  TBCTransformInputPin* in = InputPin();
  TBCTransformOutputPin* out = OutputPin();
  if (!in || !out) return E_UNEXPECTED;
  const AM_SAMPLE2_PROPERTIES& props = in->SampleProps();
  DWORD flags = 0;
  if (SampleSkipped) flags |= AM_GBF_PREVFRAMESKIPPED;
  if (!(props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;
  REFERENCE_TIME start = props.tStart, stop = props.tStop;
  const bool timeValid = (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
  const bool stopValid = (props.dwSampleFlags & AM_SAMPLE_STOPVALID) != 0;
  TComPtr<IMediaSample> sample;
  HRESULT hr = out->AcquireSample(sample.Put(), timeValid ? &start : nullptr, stopValid ? &stop : nullptr, flags);
  if (FAILED(hr)) return hr;
  if (!sample) return E_UNEXPECTED;

  TComPtr<IMediaSample2> sample2;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, sample2.PutVoid())) && sample2) {
    // The leading fields up to the times, then the same with the times.
    constexpr DWORD kHead = offsetof(AM_SAMPLE2_PROPERTIES, tStart);
    constexpr DWORD kWithTimes = offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId);
    AM_SAMPLE2_PROPERTIES own{};
    hr = sample2->GetProperties(kHead, reinterpret_cast<BYTE*>(&own));
    if (FAILED(hr)) return hr;
    own.cbData = kWithTimes;
    own.dwTypeSpecificFlags = props.dwTypeSpecificFlags;
    own.dwSampleFlags =
        (own.dwSampleFlags & AM_SAMPLE_TYPECHANGED) | (props.dwSampleFlags & ~DWORD(AM_SAMPLE_TYPECHANGED));
    own.tStart = props.tStart;
    own.tStop = props.tStop;
    hr = sample2->SetProperties(kWithTimes, reinterpret_cast<const BYTE*>(&own));
    if (FAILED(hr)) return hr;
    if (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) SampleSkipped = false;
  } else {
    if (timeValid) sample->SetTime(&start, stopValid ? &stop : nullptr);
    if (props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) sample->SetSyncPoint(TRUE);
    if (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) {
      sample->SetDiscontinuity(TRUE);
      SampleSkipped = false;
    }
    LONGLONG mediaStart = 0, mediaStop = 0;
    if (input->GetMediaTime(&mediaStart, &mediaStop) == S_OK) sample->SetMediaTime(&mediaStart, &mediaStop);
  }
  *output = sample.Detach();
  return S_OK;
}

HRESULT TBCTransformFilter::PassEndOfStream() {
  TBCTransformOutputPin* out = PinsMade ? OutputPin_.get() : nullptr;
  return out ? out->SendEndOfStream() : S_OK;
}

HRESULT TBCTransformFilter::PassBeginFlush() {
  TBCTransformOutputPin* out = PinsMade ? OutputPin_.get() : nullptr;
  return out ? out->SendBeginFlush() : S_OK;
}

HRESULT TBCTransformFilter::PassEndFlush() {
  TBCTransformOutputPin* out = PinsMade ? OutputPin_.get() : nullptr;
  return out ? out->SendEndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCTransformFilter::PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  TBCTransformOutputPin* out = PinsMade ? OutputPin_.get() : nullptr;
  return out ? out->SendNewSegment(start, stop, rate) : S_OK;
}

}  // namespace kivo
