#include "GraphSupport.h"

#include <cstdio>

#include "TestSupport.h"

namespace kivo::test {

int PatternFrame(const BYTE* data, long length, int width, int height) {
  if (!data || length < static_cast<long>(FrameBytes(width, height))) return -1;
  // PatternByte(0, 0, 0, f) = f * 37 + 1 (mod 256); 37 * 173 = 1 (mod 256).
  const int frame = ((data[0] - 1) * 173) & 0xFF;
  return CheckPattern(data, width, height, frame).empty() ? frame : -1;
}

HRESULT STDMETHODCALLTYPE TGrabberSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
    *out = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE TGrabberSink::SampleCB(double, IMediaSample* sample) {
  TSeenSample s;
  s.Ms = NowMs();
  s.Length = sample->GetActualDataLength();
  s.HasTime = SUCCEEDED(sample->GetTime(&s.Start, &s.Stop)) ;
  BYTE* data = nullptr;
  if (SUCCEEDED(sample->GetPointer(&data)) && data && s.Length > 0) {
    s.Frame = PatternFrame(data, s.Length, Width, Height);
    s.AllZero = AllZero(data, static_cast<std::size_t>(s.Length));
  }
  std::lock_guard<std::mutex> lock(Lock);
  Seen.push_back(s);
  return S_OK;
}

std::vector<TSeenSample> TGrabberSink::Samples() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Seen;
}

std::size_t TGrabberSink::Count() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Seen.size();
}

bool TGrabberSink::WaitFor(std::size_t n, DWORD timeoutMs) const {
  const double deadline = NowMs() + timeoutMs;
  while (Count() < n) {
    if (NowMs() > deadline) return false;
    ::Sleep(5);
  }
  return true;
}

void TGrabberSink::Clear() {
  std::lock_guard<std::mutex> lock(Lock);
  Seen.clear();
}

HRESULT MakeGrabber(TComPtr<IBaseFilter>& filter, TGrabberSink* sink) {
  HRESULT hr = ::CoCreateInstance(kCLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  filter.PutVoid());
  if (FAILED(hr)) return hr;
  TComPtr<ISampleGrabber> grabber;
  hr = filter.As(grabber);
  if (FAILED(hr)) return hr;
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_RGB24;
  hr = grabber->SetMediaType(&mt);
  if (SUCCEEDED(hr)) hr = grabber->SetBufferSamples(FALSE);
  if (SUCCEEDED(hr) && sink) hr = grabber->SetCallback(sink, 0);
  return hr;
}

TComPtr<IPin> FindPinOf(IBaseFilter* filter, PIN_DIRECTION dir, int index) {
  TComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Put()))) return {};
  TComPtr<IPin> pin;
  while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
    PIN_DIRECTION d;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir && index-- == 0) return pin;
  }
  return {};
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace kivo::test
