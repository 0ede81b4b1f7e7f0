// On-demand benchmark: the cost of one 640 x 480 step of every transition style, against the step
// interval of a threaded transition with the default 40 ms delay measured in the same run.
// Run: scripts/bench.sh
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "Forms.h"
#include "PictureShow.h"

using namespace kivo;

namespace {

double NowMs() { return bench::Now() * 1000.0; }

// A picture with detail in every channel, so that no style meets flat colour only.
std::unique_ptr<TBitmap> Picture(int w, int h, int seed) {
  auto b = std::make_unique<TBitmap>(w, h, TPixelFormat::pf32bit);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<std::uint32_t*>(b->ScanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = (std::uint32_t((x * 3 + seed) & 0xFF) << 16) | (std::uint32_t((y * 5 + seed) & 0xFF) << 8) |
               std::uint32_t((x ^ y) & 0xFF);
  }
  return b;
}

// The mean interval between the frames of a threaded transition with Delay 40.
double MeasuredInterval(int& frames) {
  HWND host = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 320,
                                240, nullptr, nullptr, nullptr, nullptr);
  TObjectPtr<TPictureShow> show(new TPictureShow(nullptr));
  show->SetParentWindow(host);
  show->SetBounds(0, 0, 320, 240);
  std::vector<double> stamps;
  show->OnAfterNewFrame = [&stamps](TObject*, TBitmap*, TBitmap*) { stamps.push_back(NowMs()); };
  auto bitmap = Picture(320, 240, 7);
  TPicture picture;
  picture.SetGraphic(bitmap.get());
  show->SetPicture(&picture);
  show->SetStep(4);
  show->SetDelay(40);
  show->Execute();
  const double deadline = NowMs() + 10000;
  while (show->Busy() && NowMs() < deadline) {
    Application()->ProcessMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  show->Stop();
  show.reset();
  frames = static_cast<int>(stamps.size());
  return stamps.size() > 1 ? (stamps.back() - stamps.front()) / double(stamps.size() - 1) : 0;
}

struct TStyleCost {
  int Style;
  double Mean, Worst;
};

}  // namespace

int main() {
  const int W = 640, H = 480;
  const int progress[] = {5, 20, 35, 50, 65, 80, 95};
  auto oldPic = Picture(W, H, 0), newPic = Picture(W, H, 101);
  TBitmap screen(W, H, TPixelFormat::pf32bit);
  TRandomGenerator random{1};
  HDC screenDC = screen.Canvas()->Handle(), oldDC = oldPic->Canvas()->Handle();

  // one step as the control renders it: the starting content copied in, then the style drawn
  auto step = [&](int style, int p) {
    ::BitBlt(screenDC, 0, 0, W, H, oldDC, 0, 0, SRCCOPY);
    DrawStyle(style, &screen, newPic.get(), p, random);
    ::GdiFlush();
  };
  for (int style = 1; style <= kStyleCount; ++style) step(style, 50);  // every picture and cache touched once
  std::vector<TStyleCost> costs;
  for (int style = 1; style <= kStyleCount; ++style) {
    TStyleCost c{style, 0, 0};
    for (int p : progress) {
      const int reps = 3;
      const double t0 = NowMs();
      for (int r = 0; r < reps; ++r) step(style, p);
      const double ms = (NowMs() - t0) / reps;
      c.Mean += ms / std::size(progress);
      c.Worst = std::max(c.Worst, ms);
    }
    costs.push_back(c);
  }
  const double copyStart = NowMs();
  for (int r = 0; r < 20; ++r) ::BitBlt(screenDC, 0, 0, W, H, oldDC, 0, 0, SRCCOPY);
  ::GdiFlush();
  const double copyMs = (NowMs() - copyStart) / 20;

  int frames = 0;
  const double interval = MeasuredInterval(frames);
  const double limit = interval / 4;

  std::printf("step interval, Delay 40, measured: %.1f ms (%d frames); a quarter of it: %.1f ms\n", interval, frames,
              limit);
  std::printf("plain copy of the starting content (part of every step): %.2f ms\n\n", copyMs);
  std::sort(costs.begin(), costs.end(), [](const TStyleCost& a, const TStyleCost& b) { return a.Worst > b.Worst; });
  std::printf("slowest styles, ms per 640x480 step (mean and worst of %zu progress values):\n", std::size(progress));
  std::printf("%6s %8s %8s %10s  %s\n", "style", "mean", "worst", "worst/int", "name");
  for (std::size_t i = 0; i < 15 && i < costs.size(); ++i) {
    const TStyleCost& c = costs[i];
    std::printf("%6d %8.2f %8.2f %9.0f%%  %s\n", c.Style, c.Mean, c.Worst, 100 * c.Worst / interval,
                WideToAnsi(TransitionTable[c.Style - 1].Name, CP_UTF8).c_str());
  }
  const double bounds[] = {1, 2, 5, 10, 20};
  std::printf("\ndistribution of the worst step per style:\n");
  double lower = 0;
  for (double b : bounds) {
    const auto n = std::count_if(costs.begin(), costs.end(), [&](const TStyleCost& c) { return c.Worst >= lower && c.Worst < b; });
    std::printf("  %4.0f - %4.0f ms: %3d styles\n", lower, b, static_cast<int>(n));
    lower = b;
  }
  const auto over = std::count_if(costs.begin(), costs.end(), [&](const TStyleCost& c) { return c.Worst >= lower; });
  std::printf("  %4.0f ms and more: %3d styles\n", lower, static_cast<int>(over));
  const auto aboveQuarter = std::count_if(costs.begin(), costs.end(), [&](const TStyleCost& c) { return c.Worst >= limit; });
  std::printf("\nstyles whose worst step takes a quarter of the interval or more: %d of %d\n", static_cast<int>(aboveQuarter),
              kStyleCount);
  return 0;
}
