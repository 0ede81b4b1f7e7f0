// Test helpers around Wine's filter graph: the Sample Grabber and Null Renderer CLSIDs, grabber
// callbacks, a clockless graph, pin look-ups, regsvr32, registry reads and the device enumerator.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Handles.h"
#include "TestSupport.h"

namespace kivo::test {

// Not defined by MinGW's qedit.h.
inline constexpr CLSID kCLSID_SampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
inline constexpr CLSID kCLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// What the grabber saw of one sample.
struct TSeenSample {
  long Length = 0;
  bool HasTime = false;
  REFERENCE_TIME Start = 0, Stop = 0;
  int Frame = -1;         // frame number of an exact test pattern (mod 256), else -1
  bool AllZero = false;   // a black frame
  double Ms = 0;          // arrival time (NowMs)
};

// What streaming threads record, read by the test.
template <class T>
class TRecordLog {
 public:
  void Add(T item) {
    std::lock_guard<std::mutex> lock(Lock);
    Items.push_back(std::move(item));
  }
  std::vector<T> All() const {
    std::lock_guard<std::mutex> lock(Lock);
    return Items;
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> lock(Lock);
    return Items.size();
  }
  // Waits until at least n were recorded; answers whether they came in time.
  bool WaitFor(std::size_t n, DWORD timeoutMs) const {
    const double deadline = NowMs() + timeoutMs;
    while (Count() < n) {
      if (NowMs() > deadline) return false;
      ::Sleep(2);
    }
    return true;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(Lock);
    Items.clear();
  }

 private:
  mutable std::mutex Lock;
  std::vector<T> Items;
};

// Recognises the test pattern of width x height in a buffer: its frame number (mod 256) or -1.
int PatternFrame(const BYTE* data, long length, int width, int height);

// A COM object of one interface made with new: counts its references, answers IUnknown and I, and
// deletes itself with its last reference.
template <class I, const IID& Iid>
class TTestUnknown : public I {
 public:
  virtual ~TTestUnknown() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = (iid == IID_IUnknown || iid == Iid) ? static_cast<I*>(this) : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --Refs;
    if (n == 0) delete this;
    return n;
  }

 private:
  std::atomic<ULONG> Refs{1};
};

// A grabber callback living on the test's stack: no reference counting, samples only (SampleCB).
class TGrabberCallback : public ISampleGrabberCB {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }
};

// Records what it sees of every sample.
class TGrabberSink : public TGrabberCallback, public TRecordLog<TSeenSample> {
 public:
  TGrabberSink(int width, int height) : Width(width), Height(height) {}
  HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
  std::vector<TSeenSample> Samples() const { return All(); }

 private:
  int Width, Height;
};

// FillPatternSample and RequestFrameBuffers are inline: the test plug-in (kivo_bctest.dll) uses them
// without linking the graph helpers.

// Writes the test pattern of `frame` (width x height) into a sample, its length (length < 0: the whole
// frame) and, unless frameTime is 0, its times (frame x frameTime, one frame long). E_FAIL when the
// buffer cannot hold the frame.
inline HRESULT FillPatternSample(IMediaSample* sample, int width, int height, int frame, long length = -1,
                                 REFERENCE_TIME frameTime = 400000) {
  BYTE* data = nullptr;
  const long bytes = static_cast<long>(FrameBytes(width, height));
  if (FAILED(sample->GetPointer(&data)) || !data || sample->GetSize() < bytes) return E_FAIL;
  FillPattern(data, width, height, frame);
  sample->SetActualDataLength(length < 0 ? bytes : length);
  if (frameTime) {
    REFERENCE_TIME start = REFERENCE_TIME(frame) * frameTime, stop = start + frameTime;
    sample->SetTime(&start, &stop);
  }
  return S_OK;
}

// The Sample Grabber set to RGB24 video, with `callback` (if any) as its sample callback.
HRESULT MakeGrabber(TComPtr<IBaseFilter>& filter, ISampleGrabberCB* callback);
// The grabber as above, and a Null Renderer to go after it.
HRESULT MakeGrabberAndRenderer(TComPtr<IBaseFilter>& grabber, TComPtr<IBaseFilter>& renderer,
                               ISampleGrabberCB* callback);
TComPtr<IPin> FindPinOf(IBaseFilter* filter, PIN_DIRECTION dir, int index = 0);
std::string Hex(HRESULT hr);

// An output pin's buffer request: at least two buffers of frameBytes; fails when the allocator
// gives less.
inline HRESULT RequestFrameBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties, long frameBytes) {
  properties->cBuffers = std::max<long>(properties->cBuffers, 2);
  properties->cbBuffer = frameBytes;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
}

// A filter graph, by default without a clock so that renderers never wait. Filters added with Add
// leave it when it goes (after a Stop).
struct TGraph {
  TComPtr<IGraphBuilder> Graph;
  TComPtr<IMediaControl> Control;
  TComPtr<IMediaEventEx> Events;
  std::vector<TComPtr<IBaseFilter>> Filters;
  enum TClock { NoClock, DefaultClock };
  explicit TGraph(TClock clock = NoClock);
  ~TGraph();
  TGraph(const TGraph&) = delete;
  TGraph& operator=(const TGraph&) = delete;
  HRESULT Add(IBaseFilter* f, const wchar_t* name);
  // Connects the first output pin of `from` to the first input pin of `to`.
  HRESULT Link(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type = nullptr);
  // The graph's state, waiting up to 2 s for a transition (-1 when it cannot say).
  FILTER_STATE State();
  // Events of one code waiting in the graph's queue (the queue is emptied).
  int CountEvents(long wanted);
};

// A plug-in loaded from a file, with its COM server entry points (null where not exported).
struct TPluginModule {
  using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using TNoArgs = HRESULT(STDAPICALLTYPE*)();
  TModuleOwner Module;
  TGetClassObject GetClassObject = nullptr;
  TNoArgs CanUnloadNow = nullptr, RegisterServer = nullptr, UnregisterServer = nullptr;
  // Answers whether the file loaded.
  bool Load(const std::wstring& path);
};

std::wstring GuidText(REFGUID g);
// Runs regsvr32.exe of the prefix's system folder; answers its exit code (99x when it could not run).
DWORD RunRegsvr32(const std::wstring& args);
// regsvr32 /s <file> and regsvr32 /s /u <file>.
DWORD Regsvr32Register(const std::wstring& file);
// The moniker of a display name such as "@device:sw:{category}\\{clsid}" (null when it does not parse).
TComPtr<IMoniker> ParseMoniker(const std::wstring& displayName);
DWORD Regsvr32Unregister(const std::wstring& file);

// Registry reads (HKEY_CLASSES_ROOT unless said): a string value (name null: the default value).
bool ReadString(const std::wstring& key, const wchar_t* name, std::wstring& value, HKEY root = HKEY_CLASSES_ROOT);
bool KeyExists(const std::wstring& key, HKEY root = HKEY_CLASSES_ROOT);
// The keys regsvr32 writes for an in-process server: CLSID\{clsid} named `name`, InprocServer32 the
// file `path` (any case), threading model "Both". Answers "" when they are so, else the first mismatch.
std::string CheckServerKeys(REFCLSID clsid, const std::wstring& name, const std::wstring& path);

// A filter the system device enumerator lists in a category.
struct TListedFilter {
  std::wstring Name;
  CLSID Clsid{};
  std::vector<BYTE> FilterData;  // the mapper's bytes (version, merit, pins), if listed
  TComPtr<IMoniker> Moniker;
  // Creates the filter through the moniker (loads the registered server).
  HRESULT Bind(TComPtr<IBaseFilter>& filter) const {
    return Moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid());
  }
};
std::optional<TListedFilter> FindListedFilter(REFGUID category, const std::function<bool(const TListedFilter&)>& match);
std::optional<TListedFilter> FindListedFilter(REFGUID category, REFCLSID clsid);
std::optional<TListedFilter> FindListedFilter(REFGUID category, const std::wstring& name);

// A capture program's graph as real clients build it: a video capture device, the Capture Graph
// Builder 2, the Sample Grabber (RGB24) and a Null Renderer. The steps answer "ok" or
// "fail <step> <HRESULT>".
struct TCaptureGraph {
  TComPtr<IBaseFilter> Source, Grabber, Null;
  TComPtr<IGraphBuilder> Graph;
  TComPtr<ICaptureGraphBuilder2> Builder;
  TComPtr<IMediaControl> Control;
  // Binds the device and makes the graph, its builder, the grabber with `sink` and the renderer,
  // all three filters added (the device's as sourceName).
  std::string Build(const TListedFilter& device, const wchar_t* sourceName, ISampleGrabberCB* sink);
  // Connects the source's capture stream through the grabber to the renderer; takes the graph's
  // IMediaControl.
  std::string Render();
  // Takes the clock away, so that the renderer never waits.
  std::string RemoveClock();
  // Stops the graph, takes the filters out and lets everything go.
  void Close();
};

// COM for the test's thread (multithreaded apartment).
class TComInit {
 public:
  TComInit() { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~TComInit() { ::CoUninitialize(); }
};

}  // namespace kivo::test
