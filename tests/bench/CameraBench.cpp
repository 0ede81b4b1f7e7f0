// On-demand benchmark of the camera source: the cost of the camera window's frame path per frame
// (640 x 480 stretched to the output size with effects off and with the colour effect's flip on,
// and 320 x 240 passed straight on) against two plain frame copies in the same run; then the
// latency from a test camera's frame reaching the camera window to the same frame reaching a
// viewer of "Kivo Filter Source" (both graphs in this process, the frame counter of the test
// picture pairing them). Run: scripts/bench.sh (its prefix has the test cameras).
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "BenchTiming.h"
#include "DSUtil.h"
#include "Forms.h"
#include "GraphSupport.h"
#include "KVEffColorProc.h"
#include "KVFCameraSource.h"
#include "KVFCameraWindow.h"
#include "KVProcessorList.h"
#include "KVProcs.h"
#include "KVShared.h"
#include "KVSysConfig.h"
#include "PatternFrame.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr CLSID kKivoSrc = {0x26d63f58, 0xc75a, 0x403c, {0xb0, 0x22, 0x9a, 0x8e, 0xac, 0xf0, 0xdb, 0x68}};

double Millis(double seconds) { return seconds * 1e3; }

void Pump(DWORD ms) {
  const double end = bench::Now() + ms / 1e3;
  while (bench::Now() < end) {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
    ::Sleep(2);
  }
}

// The frame path alone: the window's buffers made for a source size, frames handed to SampleBuffer.
void FramePathCost(TCameraWindow* window, TColorProcessor* colour) {
  const int calls = 200;
  std::vector<BYTE> a(kMaxFrameBytes), b(kMaxFrameBytes);
  for (size_t i = 0; i < a.size(); ++i) a[i] = BYTE(i * 13 + i / 1001);
  const double copy = Millis(bench::SecondsPerCall([&] { std::memcpy(b.data(), a.data(), a.size()); }, calls));
  std::printf("plain copy of a 640x480 frame: %.3f ms (two: %.3f ms)\n", copy, 2 * copy);

  struct TCase {
    const char* name;
    int w, h;
    bool flip;
  } cases[] = {{"640x480 -> 320x240, effects off", 640, 480, false},
               {"640x480 -> 320x240, colour flip on", 640, 480, true},
               {"320x240, effects off (no copy in the window)", 320, 240, false},
               {"320x240, colour flip on", 320, 240, true}};
  for (const TCase& c : cases) {
    window->VideoWidth = c.w;
    window->VideoHeight = c.h;
    window->PrepareBuffers();
    colour->SetEnabled(c.flip ? TRUE : FALSE);
    colour->Flip = c.flip;
    std::vector<BYTE> frame(PaddedFrameBytes(c.w, c.h));
    PaintPatternRgb24(frame.data(), c.w, c.h, 9, 1);
    const double ms = Millis(bench::SecondsPerCall(
        [&] { window->SampleBuffer(nullptr, 0, frame.data(), static_cast<long>(frame.size())); }, calls));
    std::printf("frame path %-46s %.3f ms per frame (%.1f plain copies)\n", c.name, ms, ms / copy);
  }
  colour->SetEnabled(FALSE);
  colour->Flip = false;
}

// Arrival times of the viewer's frames, by the counter of the test picture.
class TViewerSink : public TGrabberCallback {
 public:
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    const double now = bench::Now();
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < 320 * 240 * 3) return S_OK;
    const TPatternReading r = ReadPattern(data, 320, 240);
    if (!r.Found) return S_OK;
    std::lock_guard<std::mutex> lock(lock_);
    if (!arrived_.count(r.Counter)) arrived_[r.Counter] = now;
    return S_OK;
  }
  std::map<uint32_t, double> Arrived() {
    std::lock_guard<std::mutex> lock(lock_);
    return arrived_;
  }

 private:
  std::mutex lock_;
  std::map<uint32_t, double> arrived_;
};

struct TViewer {
  TViewerSink Sink;
  TComPtr<IBaseFilter> Source, Grabber, Null;
  TComPtr<IGraphBuilder> Graph;
  TComPtr<ICaptureGraphBuilder2> Builder;
  TComPtr<IMediaControl> Control;
  bool Open() {
    auto device = FindListedFilter(CLSID_VideoInputDeviceCategory, kKivoSrc);
    if (!device || FAILED(device->Bind(Source))) return false;
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, Graph.PutVoid())))
      return false;
    if (FAILED(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                  Builder.PutVoid())))
      return false;
    Builder->SetFiltergraph(Graph.Get());
    if (FAILED(MakeGrabberAndRenderer(Grabber, Null, &Sink))) return false;
    Graph->AddFilter(Source.Get(), L"Kivo Filter Source");
    Graph->AddFilter(Grabber.Get(), L"Sample Grabber");
    Graph->AddFilter(Null.Get(), L"Null Renderer");
    if (FAILED(Builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, Source.Get(), Grabber.Get(), Null.Get())))
      return false;
    return SUCCEEDED(Graph.As(Control)) && SUCCEEDED(Control->Run());
  }
  ~TViewer() {
    if (Control) Control->Stop();
  }
};

// Delivery times of the camera's frames: frame n carries the time stamp n x 40 ms.
struct TDeliveries {
  std::mutex lock;
  std::map<uint32_t, double> at;
};

void Latency(TCameraWindow* window, const std::wstring& device, const char* name) {
  TDeliveries deliveries;
  TViewer viewer;
  if (!viewer.Open()) {
    std::printf("latency %s: no viewer of Kivo Filter Source\n", name);
    return;
  }
  window->Sample->OnBuffer = [&](TObject* sender, double time, BYTE* buffer, long length) {
    const double now = bench::Now();
    {
      std::lock_guard<std::mutex> l(deliveries.lock);
      deliveries.at[static_cast<uint32_t>(std::lround(time / 0.040))] = now;
    }
    window->SampleBuffer(sender, time, buffer, length);
  };
  TComPtr<IMoniker> moniker = FindVideoDevice(device);
  window->Graph->SetActive(false);
  window->SourceFilter->BaseFilter()->SetMoniker(moniker.Get());
  window->Graph->SetActive(true);
  window->ConfigureSource(window->SourceFilter->QueryFilter());
  if (auto builder = window->Graph->Query<ICaptureGraphBuilder2>()) {
    builder->RenderStream(nullptr, nullptr, window->SourceFilter->QueryFilter(), nullptr,
                          window->ConvertFilter->QueryFilter());
    builder->RenderStream(nullptr, nullptr, window->ConvertFilter->QueryFilter(), window->Sample->QueryFilter(),
                          window->Window->QueryFilter());
  }
  window->PrepareBuffers();
  window->Graph->Play();
  Pump(6000);
  window->Graph->SetActive(false);
  const std::map<uint32_t, double> arrived = viewer.Sink.Arrived();
  std::vector<double> lat;
  {
    std::lock_guard<std::mutex> l(deliveries.lock);
    for (const auto& [n, t] : arrived) {
      auto d = deliveries.at.find(n);
      if (d != deliveries.at.end() && t >= d->second) lat.push_back(Millis(t - d->second));
    }
  }
  if (lat.empty()) {
    std::printf("latency %s: no frame reached the viewer (%zu delivered)\n", name, deliveries.at.size());
    return;
  }
  std::sort(lat.begin(), lat.end());
  double sum = 0;
  for (double v : lat) sum += v;
  std::printf("latency %s, camera frame delivered -> viewer: %zu frames, mean %.1f ms, median %.1f ms, "
              "90%% %.1f ms, max %.1f ms (frame interval 40 ms)\n",
              name, lat.size(), sum / lat.size(), lat[lat.size() / 2], lat[lat.size() * 9 / 10], lat.back());
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  ::CoInitialize(nullptr);
  StartProcsUnit();
  InitProcessorList();
  TComPtr<TColorProcessor> colour(new TColorProcessor());
  RegisterImageProcessor(colour.Get());
  SetCaptureActive(true);
  SysConfig.CaptureSourceIndex = 0;

  // KivoSrc of this build, registered for the viewer
  if (HMODULE src = ::LoadLibraryW(L"..\\..\\filters\\source\\kivosrc.ax")) {
    if (auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(src, "DllRegisterServer"))) reg();
  }

  TForm* form = Create<TForm>(nullptr);
  form->SetBounds(0, 0, 340, 280);
  // parented before its after-construction step, which shows the strip's buttons
  auto* window = new TCameraWindow(form);
  window->SetParent(form);
  window->AfterConstruction();
  form->Show();
  window->SourceIndex = 0;

  FramePathCost(window, colour.Get());

  // test camera 1 offers 320 x 240 (frames pass on), camera 2 only 640 x 480 (stretched)
  std::vector<std::wstring> ids;
  TStringList names;
  ListVideoDevices(&names, ids);
  for (int i = 0; i < names.Count(); ++i) {
    const std::string n(names.Strings(i).begin(), names.Strings(i).end());
    if (n.find("Kivo Test Camera 1") == 0 || n.find("Kivo Test Camera 2") == 0) Latency(window, ids[i], n.c_str());
  }
  form->Free();
  DoneProcessorList();
  return 0;
}
