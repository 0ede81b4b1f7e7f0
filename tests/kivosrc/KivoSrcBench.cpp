// On-demand benchmark of the frame path (not a test): the writer's copy into the section, the
// reader's copy out of it, and the frame rate kivosrc.ax delivers into a graph against 25.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "GraphSupport.h"
#include "KVProcs.h"
#include "KVSection.h"
#include "KivoSrcCommon.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

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
  TGrabberSink sink(320, 240);
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
        WriteFrame(frame.data(), static_cast<std::int32_t>(frame.size()), true);
        ::Sleep(40);
      }
    });
    control->Run();
    ::Sleep(1000);
    const std::size_t before = sink.Count();
    const double t0 = NowMs();
    ::Sleep(5000);
    const std::size_t delivered = sink.Count() - before;
    const double seconds = (NowMs() - t0) / 1000.0;
    control->Stop();
    writing = false;
    writer.join();
    for (IBaseFilter* f : {source.Get(), grabber.Get(), null.Get()}) graph->RemoveFilter(f);
    std::printf("delivered: %.1f frames a second (target 25)\n", delivered / seconds);
  }
  DoneFrameWriter();
  return 0;
}
