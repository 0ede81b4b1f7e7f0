// On-demand benchmark: cost of scaling one frame to 320 x 240, against a plain copy of the output
// frame. Run: scripts/bench.sh
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchTiming.h"
#include "TransScale.h"

namespace {

template <class F>
double MicrosPerCall(F&& f, int calls) {
  return kivo::bench::SecondsPerCall(f, calls) * 1e6;
}

}  // namespace

int main() {
  const int calls = 400;
  std::printf("%-12s %14s %14s %8s\n", "input", "scale us/frame", "copy us/frame", "ratio");
  for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}}) {
    kivo::TTransScaler s;
    s.InWidth = w;
    s.InHeight = h;
    s.OutWidth = 320;
    s.OutHeight = 240;
    std::vector<BYTE> in(s.InFrameBytes());
    for (size_t i = 0; i < in.size(); ++i) in[i] = BYTE(i * 31);
    std::vector<BYTE> out(s.OutFrameBytes()), copy(s.OutFrameBytes());
    // A refused frame would time nothing.
    if (!s.ScaleFrame(in.data(), in.size(), out.data(), out.size())) {
      std::printf("%4dx%-7d scaler refused the frame\n", w, h);
      return 1;
    }
    double scale = MicrosPerCall([&] { s.ScaleFrame(in.data(), in.size(), out.data(), out.size()); }, calls);
    double plain = MicrosPerCall([&] { std::memcpy(copy.data(), in.data(), copy.size()); }, calls);
    // Keep the results alive so that neither loop can be dropped.
    volatile BYTE sink = BYTE(out[out.size() / 2] ^ copy[copy.size() / 2]);
    (void)sink;
    std::printf("%4dx%-7d %14.1f %14.1f %8.2f\n", w, h, scale, plain, scale / plain);
  }
  return 0;
}
