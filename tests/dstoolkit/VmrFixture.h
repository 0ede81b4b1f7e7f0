// A form with a camera graph rendered through a TVideoWindow: test camera 1 of the prefix (its
// readable picture, RGB24 320 x 240 at 25 frames a second) -> sample grabber -> the window's
// renderer, as KivoApp's camera window builds it.
#pragma once

#include <gtest/gtest.h>

#include <dshow.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "CameraGraph.h"
#include "DSGraph.h"
#include "GraphSupport.h"
#include "GuiTestUtil.h"
#include "PatternFrame.h"
#include "TestDevices.h"

namespace kivo::test {

constexpr int kVmrW = 320, kVmrH = 240;

class TVmrForm : public TForm {
  KIVO_CLASS(TVmrForm, TForm)
  explicit TVmrForm(TComponent* owner) : TForm(owner) {
    SetBounds(40, 40, 420, 320);
    SetColor(clWhite);
    Graph = new TFilterGraph(this);
    Graph->SetName(L"FilterGraph");
    Graph->SetMode(TGraphMode::gmCapture);
    Source = new TFilter(this);
    Source->SetName(L"SourceFilter");
    Source->SetFilterGraph(Graph);
    Sample = new TSampleGrabber(this);
    Sample->SetName(L"Sample");
    Sample->SetFilterGraph(Graph);
    Window = new TVideoWindow(this);
    Window->SetName(L"Window");
    Window->SetParent(this);
    Window->SetBounds(20, 10, kVmrW, kVmrH);
    Window->SetFilterGraph(Graph);
  }
  TFilterGraph* Graph;
  TFilter* Source;
  TSampleGrabber* Sample;
  TVideoWindow* Window;
};

// A packed DIB (a header, then bottom-up pixels) read as the test picture. Wine's VMR-9 answers
// IBasicVideo::GetCurrentImage with a 24-bit header over rows of width x 3 bytes that hold the
// row's first pixels in 32 bits: read as the header says first, then that way.
inline TPatternReading ReadPackedDib(const BYTE* dib, size_t size) {
  TPatternReading none;
  if (!dib || size < sizeof(BITMAPINFOHEADER)) return none;
  const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
  const int w = h->biWidth, rows = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  if (w <= 0 || rows <= 0 || h->biCompression != BI_RGB || (h->biBitCount != 24 && h->biBitCount != 32)) return none;
  const BYTE* bits = dib + h->biSize;
  const size_t stride = (size_t(w) * h->biBitCount / 8 + 3) & ~size_t(3);
  if (size < h->biSize + stride * rows) return none;
  auto read = [&](int width, int bytesPerPixel) {
    std::vector<BYTE> rgb(FrameBytes(width, rows));
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) rgb[y * FrameStride(width) + x * 3 + c] = bits[y * stride + x * bytesPerPixel + c];
    return ReadPattern(rgb.data(), width, rows, h->biHeight > 0);
  };
  TPatternReading r = read(w, h->biBitCount / 8);
  if (!r.Found && h->biBitCount == 24) r = read(int(stride / 4), 4);
  return r;
}

class VmrWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string why;
    ASSERT_TRUE(testdev::TestDevicesInstalled(&why)) << why;
    Form = Create<TVmrForm>(Application());
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    int camera = -1;
    for (int i = 0; i < devices.FilterCount(); ++i)
      if (devices.GetFilterEntry(i).FriendlyName == L"Kivo Test Camera 1") camera = i;
    ASSERT_GE(camera, 0);
    Form->Source->BaseFilter()->SetMoniker(devices.GetMoniker(camera).Get());
    Form->Sample->OnBuffer = [this](TObject*, double, BYTE*, long) { ++Frames; };
    Form->Show();
    PumpFor(50);
  }
  void TearDown() override {
    if (Form) Form->Free();
    Form = nullptr;
    DoneApplication();
    ::CoUninitialize();
  }
  // Activates the graph and connects camera -> grabber -> renderer through the components.
  void Build() {
    ConnectCameraGraph(Form);
  }
  // Frames go on reaching the grabber (so the renderer takes them).
  bool FramesFlow(int more = 5, DWORD timeoutMs = 10000) {
    const int target = Frames.load() + more;
    return PumpUntil([&] { return Frames.load() >= target; }, timeoutMs);
  }
  CLSID RendererClass() {
    CLSID clsid = GUID_NULL;
    if (IBaseFilter* r = Form->Window->QueryFilter()) r->GetClassID(&clsid);
    return clsid;
  }
  template <class I>
  TComPtr<I> Renderer(REFIID iid) {
    TComPtr<I> p;
    if (FAILED(Form->Window->QueryInterface(iid, p.PutVoid()))) p.Reset();
    return p;
  }
  // The renderer's windowless destination rectangle (empty without a windowless control).
  RECT WindowlessDestination() {
    RECT source{}, dest{};
    if (auto w = Renderer<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9)) w->GetVideoPosition(&source, &dest);
    return dest;
  }
  // The renderer's current picture: through the windowless control (Wine's has none to give), or
  // through IBasicVideo.
  TPatternReading CurrentImage(std::string* why = nullptr) {
    if (IVMRWindowlessControl9* w = Form->Window->WindowlessControl()) {
      BYTE* dib = nullptr;
      if (SUCCEEDED(w->GetCurrentImage(&dib)) && dib) {
        const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
        const size_t size = h->biSize + ((size_t(h->biWidth) * h->biBitCount / 8 + 3) & ~size_t(3)) * std::abs(h->biHeight);
        TPatternReading r = ReadPackedDib(dib, size);
        ::CoTaskMemFree(dib);
        return r;
      }
    }
    auto video = Renderer<IBasicVideo>(IID_IBasicVideo);
    if (!video) return {};
    // Room for a picture of the source's size in 32 bits (Wine's renderer does not tell the size
    // first: it wants the buffer at once).
    std::vector<long> dib((sizeof(BITMAPINFOHEADER) + 12 + kVmrW * kVmrH * 4) / sizeof(long) + 1);
    long size = long(dib.size() * sizeof(long));
    HRESULT hr = video->GetCurrentImage(&size, dib.data());
    if (why) *why = "IBasicVideo GetCurrentImage " + Hex(hr) + " size " + std::to_string(size);
    if (FAILED(hr)) return {};
    return ReadPackedDib(reinterpret_cast<const BYTE*>(dib.data()), size_t(size));
  }
  // The renderer shows the camera's picture, and a later one after it.
  bool ShowsMovingCamera(std::string& why) {
    TPatternReading first, later;
    if (!PumpUntil([&] { return (first = CurrentImage(&why)).Found && first.Camera == 1; }, 5000)) {
      why += " " + first.Describe();
      return false;
    }
    if (!PumpUntil([&] { return (later = CurrentImage(&why)).Found && later.Counter > first.Counter; }, 5000)) {
      why += " " + first.Describe() + " / " + later.Describe();
      return false;
    }
    return true;
  }
  // An event posted into the graph as a filter would send it; waits until the component took it.
  void PostGraphEvent(long code, LONG_PTR p1, LONG_PTR p2) {
    bool seen = false;
    Form->Graph->OnDSEvent = [&](TObject*, long c, LONG_PTR, LONG_PTR) { seen = seen || c == code; };
    auto sink = Form->Graph->Query<IMediaEventSink>();
    ASSERT_TRUE(sink);
    ASSERT_EQ(sink->Notify(code, p1, p2), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return seen; }, 5000)) << "event " << code;
    Form->Graph->OnDSEvent = nullptr;
  }

  TVmrForm* Form = nullptr;
  std::atomic<int> Frames{0};
};

inline std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

}  // namespace kivo::test
