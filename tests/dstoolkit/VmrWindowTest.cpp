// The video window with the VMR-9 on a form: a camera graph rendered windowless and windowed, the
// renderer replaced while the graph plays, the options stored and applied, the renderless mode's
// allocator, and the trial creation of the renderer. Under Wine the VMR-9 presents nothing into a
// child window or a re-parented renderer window (VmrScreenTest.cpp shows where it does draw), so
// these tests follow the video through the renderer's interfaces and the window tree.
#include <gtest/gtest.h>

#include <dshow.h>
#include <xmmintrin.h>

#include <atomic>
#include <functional>

#include "StandIns.h"
#include "VmrFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace kivo::test {
KIVO_IMPLEMENT_CLASS(TVmrForm)
}

namespace {

bool SameObject(IUnknown* a, IUnknown* b) {
  TComPtr<IUnknown> x, y;
  if (!a || !b || FAILED(a->QueryInterface(IID_IUnknown, x.PutVoid())) ||
      FAILED(b->QueryInterface(IID_IUnknown, y.PutVoid())))
    return false;
  return x.Get() == y.Get();
}

unsigned short X87ControlWord() {
  unsigned short cw = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw));
  return cw;
}

// The SSE control bits without the exception flags (0 where the build has no SSE).
unsigned int SseControl() {
#if defined(__SSE__) || defined(__x86_64__)
  return _mm_getcsr() & ~0x3Fu;
#else
  return 0;
#endif
}

TEST_F(VmrWindow, WindowlessVideoIsPlacedInsideTheControlAndFollowsIt) {
  Form->Window->VMROptions()->SetMode(TVMRVideoMode::vmrWindowless);
  Form->Window->SetMode(TVideoMode::vmVMR);
  ASSERT_EQ(Form->Window->Mode(), TVideoMode::vmVMR);
  ASSERT_NO_FATAL_FAILURE(Build());
  EXPECT_EQ(RendererClass(), CLSID_VideoMixingRenderer9);
  auto config = Renderer<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
  ASSERT_TRUE(config);
  DWORD mode = 0, streams = 0;
  EXPECT_EQ(config->GetRenderingMode(&mode), S_OK);
  EXPECT_EQ(mode, DWORD(VMR9Mode_Windowless));
  EXPECT_EQ(config->GetNumberOfStreams(&streams), S_OK) << "mixing, as vpForceMixer asks";
  EXPECT_EQ(streams, 4u);

  // The windowless control, asked through the component, is the one it holds; no renderer window.
  IVMRWindowlessControl9* held = Form->Window->WindowlessControl();
  ASSERT_TRUE(held);
  auto asked = Renderer<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
  EXPECT_EQ(asked.Get(), held);
  EXPECT_FALSE(Form->Window->VideoWindow());
  EXPECT_EQ(Form->Window->VideoHandle(), Form->Window->Handle());

  ASSERT_TRUE(Form->Graph->Play());
  ASSERT_TRUE(FramesFlow()) << "the camera's frames go through to the renderer";
  EXPECT_EQ(Form->Graph->State(), psPlaying);
  EXPECT_TRUE(Form->Window->HasConnectedPin());
  std::string why;
  EXPECT_TRUE(ShowsMovingCamera(why)) << why;
  LONG w = 0, h = 0, arw = 0, arh = 0;
  ASSERT_EQ(held->GetNativeVideoSize(&w, &h, &arw, &arh), S_OK);
  EXPECT_EQ(w, kVmrW);
  EXPECT_EQ(h, kVmrH);

  // The video covers the control's client area, and follows it when the control is resized.
  EXPECT_EQ(RectText(WindowlessDestination()), RectText(RECT{0, 0, kVmrW, kVmrH}));
  Form->Window->SetBounds(10, 5, 200, 150);
  EXPECT_EQ(RectText(WindowlessDestination()), RectText(RECT{0, 0, 200, 150}));
  Form->Window->SetBounds(10, 5, 360, 270);
  EXPECT_EQ(RectText(WindowlessDestination()), RectText(RECT{0, 0, 360, 270}));

  // The aspect ratio, kept or not, through the renderer's aspect-ratio control.
  auto aspect = Renderer<IVMRAspectRatioControl9>(IID_IVMRAspectRatioControl9);
  ASSERT_TRUE(aspect);
  DWORD ar = 99;
  EXPECT_EQ(aspect->GetAspectRatioMode(&ar), S_OK);
  EXPECT_EQ(ar, DWORD(VMR9ARMode_LetterBox)) << "KeepAspectRatio is on by default";
  Form->Window->VMROptions()->SetKeepAspectRatio(false);
  EXPECT_EQ(aspect->GetAspectRatioMode(&ar), S_OK);
  EXPECT_EQ(ar, DWORD(VMR9ARMode_None));
  Form->Window->VMROptions()->SetKeepAspectRatio(true);
  EXPECT_EQ(aspect->GetAspectRatioMode(&ar), S_OK);
  EXPECT_EQ(ar, DWORD(VMR9ARMode_LetterBox));

  // Full screen has nothing to move: the video stays in the control and the mouse keeps the
  // control's coordinates.
  Form->Window->SetFullScreen(true);
  EXPECT_TRUE(Form->Window->FullScreen());
  EXPECT_EQ(RectText(WindowlessDestination()), RectText(RECT{0, 0, 360, 270}));
  POINT at{-1, -1};
  Form->Window->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) { at = POINT{x, y}; };
  ::PostMessageW(Form->Window->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(7, 9));
  ::PostMessageW(Form->Window->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(7, 9));
  ASSERT_TRUE(PumpUntil([&] { return at.x >= 0; }, 3000));
  EXPECT_EQ(at.x, 7);
  EXPECT_EQ(at.y, 9);
  Form->Window->SetFullScreen(false);

  // Painting the control asks the renderer for its picture again (and raises nothing).
  ::RedrawWindow(Form->Window->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(FramesFlow());
  EXPECT_TRUE(Form->Graph->Stop());

  // Deactivated, the control lets every renderer interface go.
  Form->Graph->SetActive(false);
  EXPECT_FALSE(Form->Window->WindowlessControl());
  EXPECT_FALSE(Form->Window->QueryFilter());
  EXPECT_FALSE(Renderer<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9));
}

TEST_F(VmrWindow, WindowedRendererLiesOverTheControlAndDrainsItsInputIntoIt) {
  Form->Window->SetMode(TVideoMode::vmVMR);  // windowed by default
  ASSERT_NO_FATAL_FAILURE(Build());
  EXPECT_EQ(RendererClass(), CLSID_VideoMixingRenderer9);
  ASSERT_TRUE(Form->Window->VideoWindow());
  EXPECT_FALSE(Form->Window->WindowlessControl());
  EXPECT_FALSE(Renderer<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9));
  ASSERT_TRUE(Form->Graph->Play());
  ASSERT_TRUE(FramesFlow());
  std::string why;
  EXPECT_TRUE(ShowsMovingCamera(why)) << why;

  // Playing, the renderer's window is a child of the form lying over the control.
  OAHWND owner = 0;
  ASSERT_EQ(Form->Window->VideoWindow()->get_Owner(&owner), S_OK);
  EXPECT_EQ(reinterpret_cast<HWND>(owner), Form->Handle());
  // It takes the component's name and drains its input into the control once the renderer has
  // its device (EC_VMR_RENDERDEVICE_SET; Wine's renderer never sends it, so the test does).
  ASSERT_NO_FATAL_FAILURE(PostGraphEvent(EC_VMR_RENDERDEVICE_SET, 0, 0));
  HWND video = Form->Window->VideoHandle();
  ASSERT_TRUE(video) << "the renderer's window, found by its caption";
  EXPECT_NE(video, Form->Window->Handle());
  EXPECT_EQ(::GetParent(video), Form->Handle());
  EXPECT_EQ(TextOf(video), L"Window");
  RECT vr{}, cr{};
  ::GetWindowRect(video, &vr);
  ::GetWindowRect(Form->Window->Handle(), &cr);
  EXPECT_EQ(RectText(vr), RectText(cr));
  int clicks = 0;
  Form->Window->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++clicks; };
  ::PostMessageW(video, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(video, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(PumpUntil([&] { return clicks > 0; }, 3000)) << "the click reaches the control";

  // Resized and moved, the control takes the video with it.
  Form->Window->SetBounds(40, 20, 200, 150);
  ::GetWindowRect(video, &vr);
  ::GetWindowRect(Form->Window->Handle(), &cr);
  EXPECT_EQ(RectText(vr), RectText(cr));
  EXPECT_EQ(vr.right - vr.left, 200);

  // Over the whole screen and back.
  Form->Window->SetFullScreen(true);
  ::GetWindowRect(video, &vr);
  EXPECT_EQ(RectText(vr), RectText(RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}));
  EXPECT_NE(::GetParent(video), Form->Handle());
  Form->Window->SetFullScreen(false);
  EXPECT_EQ(::GetParent(video), Form->Handle());
  ::GetWindowRect(video, &vr);
  EXPECT_EQ(RectText(vr), RectText(cr));

  // Hidden with the control.
  Form->Window->SetVisible(false);
  EXPECT_FALSE(::IsWindowVisible(video));
  Form->Window->SetVisible(true);
  EXPECT_TRUE(::IsWindowVisible(video));

  // The aspect ratio of the windowed renderer.
  auto aspect = Renderer<IVMRAspectRatioControl9>(IID_IVMRAspectRatioControl9);
  ASSERT_TRUE(aspect);
  Form->Window->VMROptions()->SetKeepAspectRatio(false);
  DWORD ar = 99;
  EXPECT_EQ(aspect->GetAspectRatioMode(&ar), S_OK);
  EXPECT_EQ(ar, DWORD(VMR9ARMode_None));
  EXPECT_TRUE(FramesFlow());
  EXPECT_TRUE(Form->Graph->Stop());
}

TEST_F(VmrWindow, ModeAndOptionChangesWhilePlayingKeepTheGraphPlaying) {
  ASSERT_NO_FATAL_FAILURE(Build());
  EXPECT_EQ(RendererClass(), CLSID_VideoRenderer);
  ASSERT_TRUE(Form->Graph->Play());
  ASSERT_TRUE(FramesFlow());
  // Wine's VMR-9 sets single precision when it connects; the caller's settings stay.
  const unsigned short cw = X87ControlWord();
  const unsigned int csr = SseControl();

  struct TStep {
    const char* What;
    std::function<void()> Change;
    CLSID Renderer;
    DWORD RenderingMode;  // 0: not a VMR-9
    DWORD Streams;        // 0: not mixing
  };
  TVMROptions* o = Form->Window->VMROptions();
  // Wine's windowless renderer mixes four streams of its own unless told another count.
  const TStep steps[] = {
      {"to the VMR-9", [&] { Form->Window->SetMode(TVideoMode::vmVMR); }, CLSID_VideoMixingRenderer9,
       VMR9Mode_Windowed, 4},
      {"windowless", [&] { o->SetMode(TVMRVideoMode::vmrWindowless); }, CLSID_VideoMixingRenderer9,
       VMR9Mode_Windowless, 4},
      {"two streams", [&] { o->SetStreams(2); }, CLSID_VideoMixingRenderer9, VMR9Mode_Windowless, 2},
      {"windowed", [&] { o->SetMode(TVMRVideoMode::vmrWindowed); }, CLSID_VideoMixingRenderer9, VMR9Mode_Windowed, 2},
      {"no mixer", [&] { o->SetPreferences(0); }, CLSID_VideoMixingRenderer9, VMR9Mode_Windowed, 2},
      {"four streams, no mixer", [&] { o->SetStreams(4); }, CLSID_VideoMixingRenderer9, VMR9Mode_Windowed, 0},
      {"back to the Video Renderer", [&] { Form->Window->SetMode(TVideoMode::vmNormal); }, CLSID_VideoRenderer, 0, 0},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.What);
    TComPtr<IBaseFilter> before(Form->Window->QueryFilter());  // held: its address stays its own
    ASSERT_NO_THROW(step.Change());
    ASSERT_TRUE(Form->Window->QueryFilter());
    EXPECT_NE(Form->Window->QueryFilter(), before.Get()) << "a new renderer";
    EXPECT_EQ(RendererClass(), step.Renderer);
    EXPECT_TRUE(Form->Window->HasConnectedPin()) << "connected where the old one was";
    EXPECT_EQ(Form->Graph->State(), psPlaying);
    // The VMR-9 shows the camera's picture; the Video Renderer gives its picture only paused.
    std::string why;
    if (step.RenderingMode) EXPECT_TRUE(ShowsMovingCamera(why)) << "the new renderer shows the camera: " << why;
    else EXPECT_TRUE(FramesFlow());
    EXPECT_EQ(X87ControlWord(), cw);
    EXPECT_EQ(SseControl(), csr);
    if (auto config = Renderer<IVMRFilterConfig9>(IID_IVMRFilterConfig9)) {
      DWORD mode = 0, streams = 0;
      EXPECT_EQ(config->GetRenderingMode(&mode), S_OK);
      EXPECT_EQ(mode, step.RenderingMode);
      if (step.Streams) {
        EXPECT_EQ(config->GetNumberOfStreams(&streams), S_OK);
        EXPECT_EQ(streams, step.Streams);
      } else {
        EXPECT_TRUE(FAILED(config->GetNumberOfStreams(&streams))) << "not mixing";
      }
    } else {
      EXPECT_EQ(step.RenderingMode, 0u);
    }
    // The bound filters stay in the graph, once each.
    auto fg = Form->Graph->Query<IFilterGraph>();
    int windows = 0;
    TFilterList filters(fg.Get());
    for (int i = 0; i < filters.Count(); ++i) windows += filters.GetFilter(i) == Form->Window->QueryFilter();
    EXPECT_EQ(windows, 1);
  }

  // Paused, a change leaves the graph paused; a change that does not touch the renderer (the
  // aspect ratio, an unchanged mode) keeps the renderer.
  Form->Window->SetMode(TVideoMode::vmVMR);
  ASSERT_TRUE(Form->Graph->Pause() || Form->Graph->State() == psPaused);
  o->SetMode(TVMRVideoMode::vmrWindowless);
  EXPECT_EQ(Form->Graph->State(), psPaused);
  EXPECT_TRUE(Form->Window->HasConnectedPin());
  IBaseFilter* kept = Form->Window->QueryFilter();
  o->SetKeepAspectRatio(false);
  o->SetMode(TVMRVideoMode::vmrWindowless);
  Form->Window->SetMode(TVideoMode::vmVMR);
  EXPECT_EQ(Form->Window->QueryFilter(), kept);
  EXPECT_TRUE(Form->Graph->Stop());
}

TEST_F(VmrWindow, OptionsAreStoredPublishedAndApplied) {
  TVMROptions* o = Form->Window->VMROptions();
  EXPECT_EQ(GetObjectProp(Form->Window, L"VMROptions"), o);
  EXPECT_EQ(GetEnumProp(o, L"Mode"), L"vmrWindowed");
  EXPECT_EQ(GetOrdProp(o, L"Streams"), 4);
  EXPECT_EQ(GetSetProp(o, L"Preferences"), L"[vpForceMixer]");
  EXPECT_EQ(GetEnumProp(o, L"KeepAspectRatio"), L"True");
  EXPECT_EQ(GetEnumProp(Form->Window, L"Mode"), L"vmNormal");

  const struct {
    int Set, Stored;
  } streams[] = {{0, 1}, {17, 1}, {-3, 1}, {1, 1}, {16, 16}, {8, 8}};
  for (const auto& s : streams) {
    o->SetStreams(s.Set);
    EXPECT_EQ(o->Streams(), s.Stored) << s.Set;
  }
  SetOrdProp(o, L"Streams", 17);
  EXPECT_EQ(o->Streams(), 1);
  SetSetProp(o, L"Preferences", L"[vpForceOffscreen,vpDoNotRenderColorKeyAndBorder]");
  EXPECT_TRUE(o->Has(TVMRPreference::vpForceOffscreen));
  EXPECT_TRUE(o->Has(TVMRPreference::vpDoNotRenderColorKeyAndBorder));
  EXPECT_FALSE(o->Has(TVMRPreference::vpForceMixer));
  SetEnumProp(o, L"Mode", L"vmrRenderless");
  EXPECT_EQ(o->Mode(), TVMRVideoMode::vmrRenderless);

  // Copied whole from another window's options (as a form stores them).
  TVMROptions other(nullptr);
  other.SetMode(TVMRVideoMode::vmrWindowless);
  other.SetStreams(3);
  other.SetPreferences(VMRPreference(TVMRPreference::vpForceMixer));
  other.SetKeepAspectRatio(false);
  o->Assign(&other);
  EXPECT_EQ(o->Mode(), TVMRVideoMode::vmrWindowless);
  EXPECT_EQ(o->Streams(), 3);
  EXPECT_EQ(o->Preferences(), VMRPreference(TVMRPreference::vpForceMixer));
  EXPECT_FALSE(o->KeepAspectRatio());

  // They act on the renderer when it is added: three streams of a mixer, stretched video.
  Form->Window->SetMode(TVideoMode::vmVMR);
  Form->Graph->SetActive(true);
  auto config = Renderer<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
  ASSERT_TRUE(config);
  DWORD n = 0, mode = 0, ar = 99;
  EXPECT_EQ(config->GetNumberOfStreams(&n), S_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(config->GetRenderingMode(&mode), S_OK);
  EXPECT_EQ(mode, DWORD(VMR9Mode_Windowless));
  EXPECT_TRUE(Renderer<IVMRMixerControl9>(IID_IVMRMixerControl9)) << "the mixer is on";
  EXPECT_EQ(Form->Window->WindowlessControl()->GetAspectRatioMode(&ar), S_OK);
  EXPECT_EQ(ar, DWORD(VMR9ARMode_None));
  // Four streams without vpForceMixer leave the renderer as it comes: one stream, no mixer (the
  // windowed one: Wine's windowless renderer mixes four streams of its own).
  o->SetMode(TVMRVideoMode::vmrWindowed);
  o->SetPreferences(0);
  o->SetStreams(4);
  config = Renderer<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
  ASSERT_TRUE(config);
  EXPECT_TRUE(FAILED(config->GetNumberOfStreams(&n)));
  EXPECT_FALSE(Renderer<IVMRMixerControl9>(IID_IVMRMixerControl9));
  // Assigned while active: one new renderer with all of it.
  TComPtr<IBaseFilter> before(Form->Window->QueryFilter());
  o->Assign(&other);
  EXPECT_NE(Form->Window->QueryFilter(), before.Get());
  config = Renderer<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
  ASSERT_TRUE(config);
  EXPECT_EQ(config->GetNumberOfStreams(&n), S_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(config->GetRenderingMode(&mode), S_OK);
  EXPECT_EQ(mode, DWORD(VMR9Mode_Windowless));
}

// A surface allocator of the caller's for the renderless mode (with the image presenter the
// renderer asks of it); it counts itself and keeps the renderer's notification interface as
// allocators do.
class TTestAllocator final : public IVMRSurfaceAllocator9, public IVMRImagePresenter9 {
 public:
  TTestAllocator() { ++Alive; }
  ~TTestAllocator() { --Alive; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IVMRSurfaceAllocator9) *out = static_cast<IVMRSurfaceAllocator9*>(this);
    else if (iid == IID_IVMRImagePresenter9) *out = static_cast<IVMRImagePresenter9*>(this);
    else *out = nullptr;
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
  HRESULT STDMETHODCALLTYPE InitializeDevice(DWORD_PTR, VMR9AllocationInfo*, DWORD*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE TerminateDevice(DWORD_PTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSurface(DWORD_PTR, DWORD, DWORD, IDirect3DSurface9**) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE AdviseNotify(IVMRSurfaceAllocatorNotify9* notify) override {
    Notify = TComPtr<IVMRSurfaceAllocatorNotify9>(notify);
    ++Advised;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE StartPresenting(DWORD_PTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE StopPresenting(DWORD_PTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PresentImage(DWORD_PTR, VMR9PresentationInfo*) override { return S_OK; }

  TComPtr<IVMRSurfaceAllocatorNotify9> Notify;
  int Advised = 0;
  static inline std::atomic<int> Alive{0};

 private:
  std::atomic<ULONG> Refs{1};
};

TEST_F(VmrWindow, RenderlessModeNeedsAnAllocator) {
  Form->Window->VMROptions()->SetMode(TVMRVideoMode::vmrRenderless);
  Form->Window->SetMode(TVideoMode::vmVMR);
  try {
    Form->Graph->SetActive(true);
    ADD_FAILURE() << "no exception";
  } catch (const EDSGraphException& e) {
    EXPECT_EQ(ExceptionMessage(e), L"Allocator class not set.");
  }
  EXPECT_FALSE(Form->Graph->Active());
  EXPECT_FALSE(Form->Window->QueryFilter()) << "no renderer left behind";

  // An allocator that cannot be made: its code comes with the message.
  HWND given = nullptr;
  Form->Window->SetAllocatorClass([&](HWND window, HRESULT& hr) {
    given = window;
    hr = E_OUTOFMEMORY;
    return TComPtr<IVMRSurfaceAllocator9>();
  });
  try {
    Form->Graph->SetActive(true);
    ADD_FAILURE() << "no exception";
  } catch (const EDSGraphException& e) {
    EXPECT_EQ(ExceptionMessage(e), L"Error Creating Allocator");
    EXPECT_EQ(e.ResultCode, E_OUTOFMEMORY);
  }
  EXPECT_EQ(given, Form->Window->Handle()) << "made for the control's window";
  EXPECT_FALSE(Form->Graph->Active());

  // A working allocator is advised to the renderer both ways, and let go with it.
  TTestAllocator* made = nullptr;
  Form->Window->SetAllocatorClass(
      [&](HWND, HRESULT& hr) {
        hr = S_OK;
        auto a = TComPtr<IVMRSurfaceAllocator9>::Attach(made = new TTestAllocator);
        return a;
      },
      0x5A);
  Form->Graph->SetActive(true);
  ASSERT_TRUE(made);
  EXPECT_EQ(Form->Window->Allocator(), made);
  EXPECT_EQ(made->Advised, 1);
  auto notify = Renderer<IVMRSurfaceAllocatorNotify9>(IID_IVMRSurfaceAllocatorNotify9);
  ASSERT_TRUE(notify);
  EXPECT_TRUE(SameObject(made->Notify.Get(), notify.Get())) << "the renderer's own notification";
  auto config = Renderer<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
  DWORD mode = 0;
  EXPECT_EQ(config->GetRenderingMode(&mode), S_OK);
  EXPECT_EQ(mode, DWORD(VMR9Mode_Renderless));
  EXPECT_FALSE(Form->Window->VideoWindow());
  EXPECT_FALSE(Form->Window->WindowlessControl());
  notify.Reset();
  config.Reset();
  Form->Graph->SetActive(false);
  EXPECT_FALSE(Form->Window->Allocator());
  // An allocator that still holds the renderer's notification lets it go when its owner is done
  // (Wine's renderer lets both go itself); then nothing keeps it.
  if (TTestAllocator::Alive.load() == 1) made->Notify.Reset();
  EXPECT_EQ(TTestAllocator::Alive.load(), 0) << "neither the component nor the renderer keeps it";
}

// A VMR-9 class object of the test's: one that is not there, and one that spoils the caller's
// floating-point settings (as Direct3D does when it starts) before the system's makes the renderer.
class TVmrStandIn : public TStackFactory {
 public:
  enum TKind { Missing, SpoilsFpu } Kind;
  explicit TVmrStandIn(TKind kind) : Kind(kind) {
    ::CoGetClassObject(CLSID_VideoMixingRenderer9, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, System.PutVoid());
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    ++Made;
    if (Kind == Missing) return REGDB_E_CLASSNOTREG;
    unsigned short cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    cw = static_cast<unsigned short>(cw & ~0x0300);  // single precision
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush to zero, denormals are zero
#endif
    return System->CreateInstance(outer, iid, out);
  }
  TComPtr<IClassFactory> System;
  int Made = 0;
};

TEST_F(VmrWindow, VmrModeNeedsARendererThatCanBeMadeAndKeepsTheFpuSettings) {
  {
    TVmrStandIn missing(TVmrStandIn::Missing);
    TClassRegistration registration(CLSID_VideoMixingRenderer9, &missing);
    ASSERT_EQ(registration.Result, S_OK);
    Form->Window->SetMode(TVideoMode::vmVMR);
    EXPECT_EQ(missing.Made, 1) << "a trial creation";
    EXPECT_EQ(Form->Window->Mode(), TVideoMode::vmNormal);
    SetEnumProp(Form->Window, L"Mode", L"vmVMR");
    EXPECT_EQ(GetEnumProp(Form->Window, L"Mode"), L"vmNormal");
    ASSERT_NO_FATAL_FAILURE(Build());
    EXPECT_EQ(RendererClass(), CLSID_VideoRenderer);
    Form->Graph->SetActive(false);
  }
  TVmrStandIn spoiling(TVmrStandIn::SpoilsFpu);
  ASSERT_TRUE(spoiling.System);
  TClassRegistration registration(CLSID_VideoMixingRenderer9, &spoiling);
  ASSERT_EQ(registration.Result, S_OK);
  const unsigned short cw = X87ControlWord();
  const unsigned int csr = SseControl();
  Form->Window->SetMode(TVideoMode::vmVMR);
  EXPECT_EQ(Form->Window->Mode(), TVideoMode::vmVMR);
  EXPECT_EQ(X87ControlWord(), cw) << "after the trial";
  EXPECT_EQ(SseControl(), csr);
  Form->Graph->SetActive(true);
  EXPECT_EQ(spoiling.Made, 2) << "the trial, then the graph's renderer";
  EXPECT_EQ(RendererClass(), CLSID_VideoMixingRenderer9);
  EXPECT_EQ(X87ControlWord(), cw) << "after the renderer was made";
  EXPECT_EQ(SseControl(), csr);
  Form->Graph->SetActive(false);
}

}  // namespace
