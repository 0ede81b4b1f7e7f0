// On-demand benchmark of the frame path (not a test): the writer's copy into the section, the
// reader's copy out of it, and, in one run of kivosrc.ax in a graph, the frame rate it delivers
// against 25 and the latency from a frame's write (stamped with the performance counter in its
// first bytes) to the grabber's callback that first sees it.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "GraphSupport.h"
#include "KVProcs.h"
#include "KVSection.h"
#include "KivoSrcCommon.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

LONGLONG Ticks() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// Counts samples and records, for each stamped frame, the delay to its first arrival.
class TLatencySink : public TGrabberCallback {
 public:
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    const LONGLONG now = Ticks();
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || sample->GetActualDataLength() < long(sizeof(LONGLONG))) return S_OK;
    LONGLONG stamp;
    std::memcpy(&stamp, data, sizeof(stamp));
    std::lock_guard<std::mutex> lock(Lock);
    ++Count;
    if (Measuring && stamp != LastStamp && stamp != 0) Delays.push_back(double(now - stamp));
    LastStamp = stamp;
    return S_OK;
  }
  std::mutex Lock;
  std::size_t Count = 0;
  bool Measuring = false;
  LONGLONG LastStamp = 0;
  std::vector<double> Delays;
};

}  // namespace

int main() {
  TComInit com;
  constexpr int kRounds = 300;
  std::vector<BYTE> frame = MakePattern(320, 240, 1), out(230400);

  // Copies: a reader that never sleeps, and KivoApp's writer.
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  reader.SleepMs = 0;
  InitFrameWriter();
  WriteFrame(frame.data(), static_cast<std::int32_t>(frame.size()), true);
  double writeMs = 0, readMs = 0;
  int reads = 0;
  for (int i = 0; i < kRounds; ++i) {
    double t0 = NowMs();
    WriteFrame(frame.data(), static_cast<std::int32_t>(frame.size()), true);
    writeMs += NowMs() - t0;
    reader.Read([&](const BYTE* pixels, std::size_t bytes) {
      double t1 = NowMs();
      std::memcpy(out.data(), pixels, std::min(bytes, out.size()));
      readMs += NowMs() - t1;
      ++reads;
    });
  }
  std::printf("writer: %.3f ms a frame (WriteFrame with its handshake, %d frames)\n", writeMs / kRounds, kRounds);
  std::printf("reader: %.3f ms a frame (copy out of the section, %d frames)\n", reads ? readMs / reads : 0.0, reads);

  // Delivered rate through the plug-in while the writer writes every 40 ms.
  TPluginModule ax;
  ax.Load(ModuleDir() + L"kivosrc.ax");
  if (!ax.GetClassObject) {
    std::printf("kivosrc.ax not found beside the benchmark\n");
    return 1;
  }
  TLatencySink sink;
  {
    TComPtr<IClassFactory> factory;
    TComPtr<IBaseFilter> source, grabber, null;
    TComPtr<IGraphBuilder> graph;
    ax.GetClassObject(kKivoSrcClsid, IID_IClassFactory, factory.PutVoid());
    factory->CreateInstance(nullptr, IID_IBaseFilter, source.PutVoid());
    ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid());
    MakeGrabberAndRenderer(grabber, null, &sink);
    graph->AddFilter(source.Get(), L"src");
    graph->AddFilter(grabber.Get(), L"grabber");
    graph->AddFilter(null.Get(), L"null");
    graph->ConnectDirect(FindPinOf(source.Get(), PINDIR_OUTPUT).Get(), FindPinOf(grabber.Get(), PINDIR_INPUT).Get(),
                         nullptr);
    graph->ConnectDirect(FindPinOf(grabber.Get(), PINDIR_OUTPUT).Get(), FindPinOf(null.Get(), PINDIR_INPUT).Get(),
                         nullptr);
    TComPtr<IMediaControl> control;
    graph->QueryInterface(IID_IMediaControl, control.PutVoid());
    std::atomic<bool> writing{true};
    std::thread writer([&] {
      for (int n = 2; writing; ++n) {
        FillPattern(frame.data(), 320, 240, n);
        const LONGLONG stamp = Ticks();
        std::memcpy(frame.data(), &stamp, sizeof(stamp));
        WriteFrame(frame.data(), static_cast<std::int32_t>(frame.size()), true);
        ::Sleep(40);
      }
    });
    control->Run();
    ::Sleep(1000);
    std::size_t before;
    {
      std::lock_guard<std::mutex> lock(sink.Lock);
      before = sink.Count;
      sink.Measuring = true;
    }
    const double t0 = NowMs();
    ::Sleep(12000);
    std::size_t delivered;
    std::vector<double> delays;
    {
      std::lock_guard<std::mutex> lock(sink.Lock);
      delivered = sink.Count - before;
      sink.Measuring = false;
      delays = sink.Delays;
    }
    const double seconds = (NowMs() - t0) / 1000.0;
    control->Stop();
    writing = false;
    writer.join();
    for (IBaseFilter* f : {source.Get(), grabber.Get(), null.Get()}) graph->RemoveFilter(f);
    std::printf("delivered: %.1f frames a second over %.1f s (target 25)\n", delivered / seconds, seconds);
    LARGE_INTEGER freq;
    ::QueryPerformanceFrequency(&freq);
    const double msPerTick = 1000.0 / double(freq.QuadPart);
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
      std::printf("latency: no stamped frame arrived\n");
    } else {
      auto at = [&](double q) { return delays[std::min(delays.size() - 1, std::size_t(q * double(delays.size())))] * msPerTick; };
      std::printf("latency write -> callback: median %.1f ms, 90th percentile %.1f ms, maximum %.1f ms (%zu frames; "
                  "aim: median well under the 40 ms frame interval)\n",
                  at(0.5), at(0.9), delays.back() * msPerTick, delays.size());
    }
  }
  DoneFrameWriter();
  return 0;
}
