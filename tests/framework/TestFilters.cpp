#include "TestFilters.h"

#include <cstring>

#include "GraphSupport.h"
#include "TestSupport.h"

namespace kivo::test {

namespace {

const REGPINTYPES kVideoAny = {&MEDIATYPE_Video, &GUID_NULL};
REGFILTERPINS kSourcePins[] = {
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
};
REGFILTERPINS kPassPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
};

// Owned by the process's factory list.
TBCClassFactory* const g_sourceFactory =
    new TBCClassFactory(&TTestSource::Create, kSourcePins, 1, MERIT_DO_NOT_USE, CLSID_LegacyAmFilterCategory,
                        CLSID_TestSource, kTestSourceName);
TBCClassFactory* const g_passFactory =
    new TBCClassFactory(&TTestPass::Create, kPassPins, 2, MERIT_DO_NOT_USE, CLSID_LegacyAmFilterCategory,
                        CLSID_TestPass, kTestPassName);

TBCClassFactory* const g_pushFactory =
    new TBCClassFactory(&TTestPush::Create, kSourcePins, 1, MERIT_DO_NOT_USE, CLSID_LegacyAmFilterCategory,
                        CLSID_TestPush, kTestPushName);

}  // namespace

void MakeVideoType(AM_MEDIA_TYPE& type, const GUID& subtype, int width, int height) {
  InitTypeDefaults(type);
  type.majortype = MEDIATYPE_Video;
  type.subtype = subtype;
  type.formattype = FORMAT_VideoInfo;
  auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return;
  std::memset(vih, 0, sizeof(*vih));
  vih->AvgTimePerFrame = 400000;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = 24;
  vih->bmiHeader.biCompression = subtype == MEDIASUBTYPE_RGB24 ? BI_RGB : subtype.Data1;
  vih->bmiHeader.biSizeImage = static_cast<DWORD>(FrameBytes(width, height));
  type.lSampleSize = vih->bmiHeader.biSizeImage;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
}

// ---------------------------------------------------------------------------------------------------

TTestOutputPin::TTestOutputPin(TTestSource* filter, HRESULT& hr)
    : TBCBaseOutputPin(L"Test source pin", filter, &filter->StateLock(), hr, L"Out") {}

HRESULT TTestOutputPin::VerifyType(const AM_MEDIA_TYPE& type) {
  for (const GUID& s : Subtypes) {
    TBCMediaType offered;
    MakeVideoType(offered.Type, s, kTestWidth, kTestHeight);
    if (TypesEqual(type, offered.Type)) return S_OK;
  }
  return RefuseWith;
}

HRESULT TTestOutputPin::ProposeType(int position, AM_MEDIA_TYPE& type) {
  if (position < 0) return E_INVALIDARG;
  if (position >= static_cast<int>(Subtypes.size())) return VFW_S_NO_MORE_ITEMS;
  MakeVideoType(type, Subtypes[position], kTestWidth, kTestHeight);
  return type.pbFormat ? S_OK : E_OUTOFMEMORY;
}

HRESULT TTestOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  return RequestFrameBuffers(allocator, properties, static_cast<long>(FrameBytes(kTestWidth, kTestHeight)));
}

TBCUnknown* TTestSource::Create(TBCClassFactory&, IUnknown* outer, HRESULT& hr) {
  return new TTestSource(outer, hr);
}

TTestSource::TTestSource(IUnknown* outer, HRESULT& hr)
    : TBCBaseFilter(kTestSourceName, outer, new TBCCritSec, CLSID_TestSource), Pin(this, hr) {}

HRESULT TTestSource::Deliver(int frame, bool withTimes) {
  TComPtr<IMediaSample> sample;
  HRESULT hr = Pin.AcquireSample(sample.Put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  hr = FillPatternSample(sample.Get(), kTestWidth, kTestHeight, frame, -1, withTimes ? 400000 : 0);
  if (FAILED(hr)) return hr;
  sample->SetSyncPoint(TRUE);
  return Pin.SendSample(sample.Get());
}

// ---------------------------------------------------------------------------------------------------

TTestInputPin::TTestInputPin(TTestPass* filter, HRESULT& hr)
    : TBCBaseInputPin(L"Test pass input", filter, &filter->StateLock(), hr, L"In"), Pass(filter) {}

HRESULT TTestInputPin::VerifyType(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Video || type.subtype != MEDIASUBTYPE_RGB24 ||
      type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat)
    return E_FAIL;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------

// One sample of TShortSampleAllocator: Size bytes, then guard bytes; reports itself when it goes.
class TShortSample final : public TTestUnknown<IMediaSample, IID_IMediaSample> {
 public:
  explicit TShortSample(TShortSampleAllocator* owner)
      : Owner(owner), Buffer(owner->Size + TShortSampleAllocator::kGuardBytes, TShortSampleAllocator::kGuard) {
    Owner->AddRef();
  }
  ~TShortSample() override {
    Owner->Record(Buffer, Length);
    Owner->Release();
  }
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** p) override {
    if (!p) return E_POINTER;
    *p = Buffer.data();
    return S_OK;
  }
  long STDMETHODCALLTYPE GetSize() override { return Owner->Size; }
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    if (!HasTime) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = Start;
    *stop = Stop;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    HasTime = start && stop;
    if (HasTime) Start = *start, Stop = *stop;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return Sync ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL v) override {
    Sync = v != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
  long STDMETHODCALLTYPE GetActualDataLength() override { return Length; }
  HRESULT STDMETHODCALLTYPE SetActualDataLength(long n) override {
    if (n < 0 || n > Owner->Size) return VFW_E_BUFFER_OVERFLOW;
    Length = n;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override {
    if (type) *type = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

 private:
  TShortSampleAllocator* Owner;
  std::vector<BYTE> Buffer;
  long Length = 0;
  bool HasTime = false, Sync = false;
  REFERENCE_TIME Start = 0, Stop = 0;
};

HRESULT STDMETHODCALLTYPE TShortSampleAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                               ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  if (Committed) return VFW_E_ALREADY_COMMITTED;
  Props = *actual = *request;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TShortSampleAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  if (!props) return E_POINTER;
  *props = Props;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TShortSampleAllocator::Commit() {
  Committed = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TShortSampleAllocator::Decommit() {
  Committed = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TShortSampleAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*,
                                                           DWORD) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!Committed) return VFW_E_NOT_COMMITTED;
  *sample = new TShortSample(this);
  return S_OK;
}

void TShortSampleAllocator::Record(const std::vector<BYTE>& buffer, long length) {
  if (length <= 0) return;
  for (std::size_t i = std::size_t(Size); i < buffer.size(); ++i) {
    if (buffer[i] != kGuard) {
      ++GuardsBroken;
      break;
    }
  }
  std::lock_guard<std::mutex> lock(Lock);
  Last.assign(buffer.begin(), buffer.begin() + Size);
  LastLength = length;
  ++Filled;
}

std::vector<BYTE> TShortSampleAllocator::LastData() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Last;
}

// ---------------------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TTestInputPin::GetAllocator(IMemAllocator** allocator) {
  if (ShortAllocator) {
    if (!allocator) return E_POINTER;
    *allocator = ShortAllocator.Get();
    ShortAllocator->AddRef();
    return S_OK;
  }
  if (!OfferBusyAllocator) return TBCBaseInputPin::GetAllocator(allocator);
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  if (!BusyAllocator) {
    HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                    BusyAllocator.PutVoid());
    if (FAILED(hr)) return hr;
    ALLOCATOR_PROPERTIES want{1, 16, 1, 0}, got{};
    BusyAllocator->SetProperties(&want, &got);
    BusyAllocator->Commit();
  }
  *allocator = BusyAllocator.Get();
  BusyAllocator->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TTestInputPin::Receive(IMediaSample* sample) {
  TBCAutoLock lock(Pass->ReceiveLock);
  HRESULT hr = TBCBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  ++Received;
  TComPtr<IMediaSample> out;
  hr = Pass->Output.AcquireSample(out.Put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE *src = nullptr, *dst = nullptr;
  sample->GetPointer(&src);
  out->GetPointer(&dst);
  const long n = std::min(sample->GetActualDataLength(), out->GetSize());
  std::memcpy(dst, src, n);
  out->SetActualDataLength(n);
  REFERENCE_TIME start, stop;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) out->SetTime(&start, &stop);
  out->SetSyncPoint(sample->IsSyncPoint() == S_OK);
  return Pass->Output.SendSample(out.Get());
}

HRESULT STDMETHODCALLTYPE TTestInputPin::EndOfStream() {
  TBCAutoLock lock(Pass->ReceiveLock);
  HRESULT hr = StreamingCheck();
  if (hr != S_OK) return hr;
  return Pass->Output.SendEndOfStream();
}

HRESULT STDMETHODCALLTYPE TTestInputPin::BeginFlush() {
  HRESULT hr = TBCBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  return Pass->Output.SendBeginFlush();
}

HRESULT STDMETHODCALLTYPE TTestInputPin::EndFlush() {
  HRESULT hr = Pass->Output.SendEndFlush();
  if (FAILED(hr)) return hr;
  return TBCBaseInputPin::EndFlush();
}

TTestPassOutputPin::TTestPassOutputPin(TTestPass* filter, HRESULT& hr)
    : TBCBaseOutputPin(L"Test pass output", filter, &filter->StateLock(), hr, L"Out"), Pass(filter) {}

HRESULT TTestPassOutputPin::VerifyType(const AM_MEDIA_TYPE& type) {
  if (!Pass->Input.HasPeer()) return E_INVALIDARG;
  return TypesEqual(type, Pass->Input.ConnectedType()) ? S_OK : E_FAIL;
}

HRESULT TTestPassOutputPin::ProposeType(int position, AM_MEDIA_TYPE& type) {
  if (!Pass->Input.HasPeer()) return VFW_S_NO_MORE_ITEMS;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return CopyMediaType(type, Pass->Input.ConnectedType());
}

HRESULT TTestPassOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!Pass->Input.HasPeer()) return E_UNEXPECTED;
  return RequestFrameBuffers(allocator, properties, static_cast<long>(Pass->Input.ConnectedType().lSampleSize));
}

TBCUnknown* TTestPass::Create(TBCClassFactory&, IUnknown* outer, HRESULT& hr) { return new TTestPass(outer, hr); }

TTestPass::TTestPass(IUnknown* outer, HRESULT& hr)
    : TBCBaseFilter(kTestPassName, outer, new TBCCritSec, CLSID_TestPass), Input(this, hr), Output(this, hr) {}

TBCBasePin* TTestPass::PinAt(int index) {
  if (index == 0) return &Input;
  if (index == 1) return &Output;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------------

TTestPushPin::TTestPushPin(HRESULT& hr, TTestPush* filter) : TBCSourceStream(L"Test push pin", hr, filter, L"Out") {}

TTestPushPin::~TTestPushPin() { StopWorker(); }

HRESULT TTestPushPin::OfferedType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  MakeVideoType(*type, MEDIASUBTYPE_RGB24, kTestWidth, kTestHeight);
  return type->pbFormat ? S_OK : E_OUTOFMEMORY;
}

HRESULT TTestPushPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  return RequestFrameBuffers(allocator, properties, static_cast<long>(FrameBytes(kTestWidth, kTestHeight)));
}

HRESULT TTestPushPin::FillSample(IMediaSample* sample) {
  const int n = Filled.load();
  if (n >= FillLimit.load()) return AfterLimit.load();
  HRESULT hr = FillPatternSample(sample, kTestWidth, kTestHeight, n);
  if (FAILED(hr)) return hr;
  ++Filled;
  ::Sleep(5);
  return S_OK;
}

TBCUnknown* TTestPush::Create(TBCClassFactory&, IUnknown* outer, HRESULT& hr) { return new TTestPush(outer, hr); }

TTestPush::TTestPush(IUnknown* outer, HRESULT& hr) : TBCSource(kTestPushName, outer, CLSID_TestPush) {
  Pin = new TTestPushPin(hr, this);
}

}  // namespace kivo::test
