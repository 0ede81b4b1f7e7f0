// On-demand benchmark: time per frame of each image effect and of all seven together, at 640 x 480
// and 320 x 240, against a plain copy of the frame and the GDI round trip the camera window makes
// when an effect is on. Run: scripts/bench.sh
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "KVEffAniProc.h"
#include "KVEffColorProc.h"
#include "KVEffTxtProc.h"
#include "KVProcessorList.h"
#include "PictureCodecs.h"

using namespace kivo;

namespace {

// The first call warms up: the effects build their buffers for the size there.
template <class F>
double MillisPerCall(F&& f, int calls) {
  return bench::SecondsPerCall(f, calls) * 1e3;
}

// A frame as the camera window holds it: a display-compatible bitmap in a memory DC.
struct TBenchFrame {
  TBenchFrame(int w, int h) : width(w), height(h), bits(((w * 3 + 3) & ~3) * h) {
    HDC screen = ::GetDC(nullptr);
    dc = ::CreateCompatibleDC(screen);
    bitmap = ::CreateCompatibleBitmap(screen, w, h);
    ::ReleaseDC(nullptr, screen);
    old = ::SelectObject(dc, bitmap);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) bits[i] = BYTE(i * 7 + i / 997);
    Load();
  }
  ~TBenchFrame() {
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
  }
  void Load() { ::SetDIBits(dc, bitmap, 0, height, bits.data(), &info, DIB_RGB_COLORS); }
  void Read() { ::GetDIBits(dc, bitmap, 0, height, bits.data(), &info, DIB_RGB_COLORS); }
  int width, height;
  std::vector<BYTE> bits;
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
  BITMAPINFO info{};
};

// Effect files: a picture per effect, in a temporary folder.
struct TFiles {
  std::wstring dir;
  TFiles() {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    dir = std::wstring(base) + L"kivo_effects_bench_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
  }
  ~TFiles() {
    for (auto& f : made) ::DeleteFileW(f.c_str());
    ::RemoveDirectoryW(dir.c_str());
  }
  std::wstring Write(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    std::wstring p = dir + name;
    HANDLE h = ::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    ::CloseHandle(h);
    made.push_back(p);
    return p;
  }
  // An animated GIF of w x h, `frames` frames, index 0 transparent when asked.
  std::wstring Gif(const std::wstring& name, int w, int h, int frames, bool transparent) {
    TGifPicture g;
    g.Width = w;
    g.Height = h;
    for (int i = 0; i < 16; ++i) g.GlobalPalette.push_back(TGifColour{BYTE(i * 16), BYTE(255 - i * 16), BYTE(i * 8)});
    for (int k = 0; k < frames; ++k) {
      TGifFrame f;
      f.Width = w;
      f.Height = h;
      f.HasControl = true;
      f.Delay = 10;
      f.Disposal = 2;
      f.TransparentIndex = transparent ? 0 : -1;
      f.Indices.resize(size_t(w) * h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f.Indices[size_t(y) * w + x] = BYTE(((x + k * 3) / 8 + y / 8) % 16);
      g.Frames.push_back(std::move(f));
    }
    return Write(name, EncodeGif(g));
  }
  std::vector<std::wstring> made;
};

template <class P>
TComPtr<IImageProcessor> Picture(const std::wstring& file) {
  TComPtr<P> p(new P());
  p->SetEnabled(TRUE);
  p->SetFileName(file);
  return TComPtr<IImageProcessor>(p.Get());
}

}  // namespace

int main() {
  TFiles files;
  std::wstring animation = files.Gif(L"animation.gif", 320, 80, 6, true);
  std::wstring border = files.Gif(L"border.gif", 320, 240, 4, true);
  std::wstring decoration = files.Gif(L"decoration.gif", 96, 72, 4, true);
  std::wstring light = files.Gif(L"light.gif", 160, 120, 8, false);
  std::wstring mask = files.Gif(L"mask.gif", 160, 120, 4, false);

  struct Effect {
    const char* name;
    TComPtr<IImageProcessor> p;
  };
  std::vector<Effect> effects;
  {
    TComPtr<TColorProcessor> c(new TColorProcessor());
    c->RedOffset = 20;
    c->Contrast = 40;
    c->Lightness = 10;
    c->Saturation = 300;
    c->SetEnabled(TRUE);
    effects.push_back({"colour", TComPtr<IImageProcessor>(c.Get())});
    TComPtr<TTextProcessor> t(new TTextProcessor());
    t->SetLines(L"欢迎观看 Kivo 虚拟摄像头\r\nsecond line of the caption");
    t->Scroll = true;
    t->Rate = 2;
    t->Transparent = false;
    t->SetEnabled(TRUE);
    t->Start();
    effects.push_back({"text", TComPtr<IImageProcessor>(t.Get())});
  }
  effects.push_back({"animation", Picture<TAnimationProcessor>(animation)});
  effects.push_back({"border", Picture<TBorderProcessor>(border)});
  effects.push_back({"decoration", Picture<TDecorationProcessor>(decoration)});
  effects.push_back({"light", Picture<TLightProcessor>(light)});
  effects.push_back({"mask", Picture<TMaskProcessor>(mask)});
  InitProcessorList();
  for (auto& e : effects) RegisterImageProcessor(e.p.Get());

  const int calls = 200;
  std::printf("%-12s %12s %12s\n", "ms/frame", "640x480", "320x240");
  std::vector<std::pair<int, int>> sizes{{640, 480}, {320, 240}};
  auto row = [&](const char* name, auto fn) {
    std::printf("%-12s", name);
    for (auto [w, h] : sizes) {
      TBenchFrame f(w, h);
      std::printf(" %12.3f", MillisPerCall([&] { fn(f); }, calls));
    }
    std::printf("\n");
  };
  row("plain copy", [](TBenchFrame& f) {
    static std::vector<BYTE> copy;
    copy.resize(f.bits.size());
    std::memcpy(copy.data(), f.bits.data(), copy.size());
  });
  row("gdi in+out", [](TBenchFrame& f) {
    f.Load();
    f.Read();
  });
  for (auto& e : effects)
    row(e.name, [&](TBenchFrame& f) { e.p->Process(f.dc, f.bitmap, &f.info); });
  row("all seven", [](TBenchFrame& f) {
    f.Load();
    ApplyImageProcessors(f.dc, f.bitmap, &f.info);
    f.Read();
  });
  DoneProcessorList();
  return 0;
}
