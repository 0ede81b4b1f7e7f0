#include "GraphSupport.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace kivo::test {

int PatternFrame(const BYTE* data, long length, int width, int height) {
  if (!data || length < static_cast<long>(FrameBytes(width, height))) return -1;
  // PatternByte(0, 0, 0, f) = f * 37 + 1 (mod 256); 37 * 173 = 1 (mod 256).
  const int frame = ((data[0] - 1) * 173) & 0xFF;
  return CheckPattern(data, width, height, frame).empty() ? frame : -1;
}

HRESULT STDMETHODCALLTYPE TGrabberCallback::QueryInterface(REFIID iid, void** out) {
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
  Add(s);
  return S_OK;
}

HRESULT MakeGrabber(TComPtr<IBaseFilter>& filter, ISampleGrabberCB* callback) {
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
  if (SUCCEEDED(hr) && callback) hr = grabber->SetCallback(callback, 0);
  return hr;
}

HRESULT MakeGrabberAndRenderer(TComPtr<IBaseFilter>& grabber, TComPtr<IBaseFilter>& renderer,
                               ISampleGrabberCB* callback) {
  HRESULT hr = MakeGrabber(grabber, callback);
  if (FAILED(hr)) return hr;
  return ::CoCreateInstance(kCLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.PutVoid());
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

TGraph::TGraph(TClock clock) {
  EXPECT_EQ(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, Graph.PutVoid()),
            S_OK);
  if (!Graph) return;
  Graph.As(Control);
  Graph->QueryInterface(IID_IMediaEventEx, Events.PutVoid());
  if (clock == DefaultClock) return;
  TComPtr<IMediaFilter> mf;
  Graph.As(mf);
  if (mf) mf->SetSyncSource(nullptr);
}

TGraph::~TGraph() {
  if (Control) Control->Stop();
  for (auto& f : Filters) Graph->RemoveFilter(f.Get());
}

HRESULT TGraph::Add(IBaseFilter* f, const wchar_t* name) {
  HRESULT hr = Graph->AddFilter(f, name);
  if (SUCCEEDED(hr)) Filters.emplace_back(f);
  return hr;
}

HRESULT TGraph::Link(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type) {
  TComPtr<IPin> out = FindPinOf(from, PINDIR_OUTPUT), in = FindPinOf(to, PINDIR_INPUT);
  if (!out || !in) return E_NOINTERFACE;
  return Graph->ConnectDirect(out.Get(), in.Get(), type);
}

FILTER_STATE TGraph::State() {
  OAFilterState s = -1;
  Control->GetState(2000, &s);
  return static_cast<FILTER_STATE>(s);
}

int TGraph::CountEvents(long wanted) {
  int n = 0;
  long code;
  LONG_PTR p1, p2;
  while (Events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
    if (code == wanted) ++n;
    Events->FreeEventParams(code, p1, p2);
  }
  return n;
}

std::string TCaptureGraph::Build(const TListedFilter& device, const wchar_t* sourceName, ISampleGrabberCB* sink) {
  HRESULT hr = device.Bind(Source);
  if (FAILED(hr)) return "fail bind " + Hex(hr);
  hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, Graph.PutVoid());
  if (FAILED(hr)) return "fail graph " + Hex(hr);
  hr = ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                          Builder.PutVoid());
  if (FAILED(hr)) return "fail builder " + Hex(hr);
  Builder->SetFiltergraph(Graph.Get());
  if (FAILED(hr = MakeGrabberAndRenderer(Grabber, Null, sink))) return "fail grabber " + Hex(hr);
  if (FAILED(hr = Graph->AddFilter(Source.Get(), sourceName))) return "fail add " + Hex(hr);
  Graph->AddFilter(Grabber.Get(), L"Sample Grabber");
  Graph->AddFilter(Null.Get(), L"Null Renderer");
  return "ok";
}

std::string TCaptureGraph::Render() {
  HRESULT hr =
      Builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, Source.Get(), Grabber.Get(), Null.Get());
  if (FAILED(hr)) return "fail render " + Hex(hr);
  Graph->QueryInterface(IID_IMediaControl, Control.PutVoid());
  return Control ? "ok" : "fail control";
}

std::string TCaptureGraph::RemoveClock() {
  TComPtr<IMediaFilter> mf;
  HRESULT hr = Graph->QueryInterface(IID_IMediaFilter, mf.PutVoid());
  if (!mf || FAILED(hr = mf->SetSyncSource(nullptr))) return "fail clock " + Hex(hr);
  return "ok";
}

void TCaptureGraph::Close() {
  if (Control) Control->Stop();
  if (Graph)
    for (IBaseFilter* f : {Source.Get(), Grabber.Get(), Null.Get()})
      if (f) Graph->RemoveFilter(f);
  Control.Reset();
  Builder.Reset();
  Graph.Reset();
  Null.Reset();
  Grabber.Reset();
  Source.Reset();
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

bool TPluginModule::Load(const std::wstring& path) {
  Module.Reset(::LoadLibraryW(path.c_str()));
  HMODULE m = Module.Get();
  auto entry = [m](const char* name) { return m ? ::GetProcAddress(m, name) : nullptr; };
  GetClassObject = reinterpret_cast<TGetClassObject>(entry("DllGetClassObject"));
  CanUnloadNow = reinterpret_cast<TNoArgs>(entry("DllCanUnloadNow"));
  RegisterServer = reinterpret_cast<TNoArgs>(entry("DllRegisterServer"));
  UnregisterServer = reinterpret_cast<TNoArgs>(entry("DllUnregisterServer"));
  return m != nullptr;
}

std::wstring GuidText(REFGUID g) {
  wchar_t text[40];
  ::StringFromGUID2(g, text, 40);
  return text;
}

DWORD RunRegsvr32(const std::wstring& args) {
  wchar_t sys[MAX_PATH];
  ::GetSystemDirectoryW(sys, MAX_PATH);
  std::wstring exe = std::wstring(sys) + L"\\regsvr32.exe";
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  // Under Wine on a loaded machine a start can fail once and succeed at the next try; the error
  // of every failed try is reported.
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt) ::Sleep(500);
    started = ::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (!started) std::fprintf(stderr, "regsvr32 did not start (error %lu)\n", ::GetLastError());
  }
  if (!started) return 999;
  THandleOwner process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) return 998;
  DWORD code = 997;
  ::GetExitCodeProcess(pi.hProcess, &code);
  return code;
}

DWORD Regsvr32Register(const std::wstring& file) { return RunRegsvr32(L"/s \"" + file + L"\""); }

DWORD Regsvr32Unregister(const std::wstring& file) { return RunRegsvr32(L"/s /u \"" + file + L"\""); }

bool ReadString(const std::wstring& key, const wchar_t* name, std::wstring& value, HKEY root) {
  wchar_t buf[1024];
  DWORD bytes = sizeof(buf);
  if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS) return false;
  value = buf;
  return true;
}

bool KeyExists(const std::wstring& key, HKEY root) {
  TRegKeyOwner k;
  return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

std::string CheckServerKeys(REFCLSID clsid, const std::wstring& name, const std::wstring& path) {
  auto narrow = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
  const std::wstring key = L"CLSID\\" + GuidText(clsid);
  std::wstring value;
  if (!ReadString(key, nullptr, value)) return "no name at " + narrow(key);
  if (value != name) return "name " + narrow(value);
  if (!ReadString(key + L"\\InprocServer32", nullptr, value)) return "no InprocServer32";
  if (::CompareStringOrdinal(value.c_str(), -1, path.c_str(), -1, TRUE) != CSTR_EQUAL) return "server " + narrow(value);
  if (!ReadString(key + L"\\InprocServer32", L"ThreadingModel", value)) return "no ThreadingModel";
  if (value != L"Both") return "threading model " + narrow(value);
  return "";
}

std::optional<TListedFilter> FindListedFilter(REFGUID category, const std::function<bool(const TListedFilter&)>& match) {
  TComPtr<ICreateDevEnum> devEnum;
  if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.PutVoid())))
    return std::nullopt;
  TComPtr<IEnumMoniker> monikers;
  if (devEnum->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK || !monikers) return std::nullopt;
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK) {
    TComPtr<IPropertyBag> bag;
    if (FAILED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
    TListedFilter f;
    VARIANT v;
    ::VariantInit(&v);
    if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) f.Name = v.bstrVal;
    ::VariantClear(&v);
    if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR) ::CLSIDFromString(v.bstrVal, &f.Clsid);
    ::VariantClear(&v);
    if (SUCCEEDED(bag->Read(L"FilterData", &v, nullptr)) && v.vt == (VT_ARRAY | VT_UI1)) {
      void* data = nullptr;
      if (SUCCEEDED(::SafeArrayAccessData(v.parray, &data))) {
        const BYTE* bytes = static_cast<const BYTE*>(data);
        f.FilterData.assign(bytes, bytes + v.parray->rgsabound[0].cElements);
        ::SafeArrayUnaccessData(v.parray);
      }
    }
    ::VariantClear(&v);
    if (!match(f)) continue;
    f.Moniker = m;
    return f;
  }
  return std::nullopt;
}

std::optional<TListedFilter> FindListedFilter(REFGUID category, REFCLSID clsid) {
  const CLSID want = clsid;
  return FindListedFilter(category, [&](const TListedFilter& f) { return f.Clsid == want; });
}

std::optional<TListedFilter> FindListedFilter(REFGUID category, const std::wstring& name) {
  return FindListedFilter(category, [&](const TListedFilter& f) { return f.Name == name; });
}

TComPtr<IMoniker> ParseMoniker(const std::wstring& displayName) {
  TComPtr<IBindCtx> ctx;
  TComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  if (SUCCEEDED(::CreateBindCtx(0, ctx.Put())))
    ::MkParseDisplayName(ctx.Get(), displayName.c_str(), &eaten, moniker.Put());
  return moniker;
}

}  // namespace kivo::test
