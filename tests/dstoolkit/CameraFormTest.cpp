// The virtual camera on a form: KivoSrc registered in the test prefix, listed by TSysDevEnum, kept as
// a stored TFilter, and played through TFilterGraph, TSampleGrabber and TVideoWindow while KivoApp's
// frame writer runs in its own process; the frames are checked in OnBuffer and on the screen.
#include <gtest/gtest.h>

#include <dshow.h>
#include <uuids.h>

#include <atomic>
#include <mutex>

#include "CameraGraph.h"
#include "DSGraph.h"
#include "GraphSupport.h"
#include "GuiTestUtil.h"
#include "KivoSrcCommon.h"
#include "TestDevices.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr int kW = 320, kH = 240;

int FindDevice(const TSysDevEnum& devices, const std::wstring& name) {
  for (int i = 0; i < devices.FilterCount(); ++i)
    if (devices.GetFilterEntry(i).FriendlyName == name) return i;
  return -1;
}

// The camera window's components as KivoApp's form holds them.
class TCameraForm : public TForm {
  KIVO_CLASS(TCameraForm, TForm)
  explicit TCameraForm(TComponent* owner) : TForm(owner) {
    SetBounds(30, 30, 400, 320);
    SetColor(clWhite);
    Graph = new TFilterGraph(this);
    Graph->SetName(L"FilterGraph");
    Graph->SetMode(TGraphMode::gmCapture);
    Graph->SetGraphEdit(true);
    Source = new TFilter(this);
    Source->SetName(L"SourceFilter");
    Source->SetFilterGraph(Graph);
    Sample = new TSampleGrabber(this);
    Sample->SetName(L"Sample");
    Sample->SetFilterGraph(Graph);
    Window = new TVideoWindow(this);
    Window->SetName(L"Window");
    Window->SetParent(this);
    Window->SetBounds(20, 10, kW, kH);
    Window->SetFilterGraph(Graph);
  }
  TFilterGraph* Graph;
  TFilter* Source;
  TSampleGrabber* Sample;
  TVideoWindow* Window;
};
KIVO_IMPLEMENT_CLASS(TCameraForm)

class CameraForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Ax = ModuleDir() + L"kivosrc.ax";
    ASSERT_EQ(Regsvr32Register(Ax), 0u);
  }
  void TearDown() override {
    if (Form) Form->Free();
    Form = nullptr;
    DoneApplication();
    EXPECT_EQ(Regsvr32Unregister(Ax), 0u);
    ::CoUninitialize();
  }
  // The form with the camera's stored moniker set while the graph is inactive.
  void MakeForm() {
    Form = Create<TCameraForm>(Application());
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    int i = FindDevice(devices, kKivoSrcName);
    ASSERT_GE(i, 0);
    Form->Source->BaseFilter()->SetMoniker(devices.GetMoniker(i).Get());
    Form->Sample->OnBuffer = [this](TObject*, double, BYTE* b, long n) {
      const int frame = PatternFrame(b, n, kW, kH);
      std::lock_guard<std::mutex> l(Lock);
      Seen.push_back(frame);
      Thread = ::GetCurrentThreadId();
    };
    Form->Show();
    PumpFor(50);
  }
  // KivoApp's way: activate, then connect the pins through the interfaces the components hand out.
  void BuildGraph() {
    ConnectCameraGraph(Form);
  }
  bool SawFrame(int frame, DWORD timeoutMs = 5000) {
    return PumpUntil(
        [&] {
          std::lock_guard<std::mutex> l(Lock);
          return std::find(Seen.begin(), Seen.end(), frame) != Seen.end();
        },
        timeoutMs);
  }
  // Screen pixels over the video window against the written pattern: empty when they match.
  std::string ScreenMismatch(int frame) {
    TWindowDC screen(nullptr);
    for (int y = 3; y < kH; y += 37) {
      for (int x = 2; x < kW; x += 41) {
        POINT p = Form->Window->ClientToScreen(POINT{x, y});
        COLORREF c = ::GetPixel(screen.Get(), p.x, p.y);
        const int row = kH - 1 - y;  // bottom-up frame
        int want[3] = {PatternByte(x, row, 2, frame), PatternByte(x, row, 1, frame), PatternByte(x, row, 0, frame)};
        int got[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
        for (int k = 0; k < 3; ++k)
          if (std::abs(want[k] - got[k]) > 2)
            return "at " + std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(k) + ": " +
                   std::to_string(got[k]) + " instead of " + std::to_string(want[k]);
      }
    }
    return {};
  }
  bool ScreenShows(int frame, std::string& why) {
    bool ok = PumpUntil([&] { return (why = ScreenMismatch(frame)).empty(); }, 5000);
    return ok;
  }

  std::wstring Ax;
  TCameraForm* Form = nullptr;
  std::mutex Lock;
  std::vector<int> Seen;
  std::atomic<DWORD> Thread{0};
};

TEST_F(CameraForm, DeviceListShowsTheVirtualCameraAndItsFormats) {
  TSysDevEnum devices;
  bool category = false;
  for (int i = 0; i < devices.CountCategories(); ++i)
    category = category || devices.Categories(i).CLSID == CLSID_VideoInputDeviceCategory;
  EXPECT_TRUE(category) << "the video input category is listed";
  EXPECT_EQ(devices.FilterCount(), 0) << "no category selected yet";

  devices.SelectCategory(CLSID_VideoInputDeviceCategory);
  const int i = FindDevice(devices, kKivoSrcName);
  ASSERT_GE(i, 0);
  EXPECT_EQ(devices.GetFilterEntry(i).CLSID, kKivoSrcClsid);
  EXPECT_FALSE(devices.GetBaseFilter(-1));
  EXPECT_FALSE(devices.GetBaseFilter(devices.FilterCount()));
  EXPECT_FALSE(devices.GetMoniker(devices.FilterCount()));

  TComPtr<IBaseFilter> filter = devices.GetBaseFilter(i);
  ASSERT_TRUE(filter);
  auto formats = TEnumMediaType::CreateFromPin(TPinList(filter.Get()).FirstPin());
  ASSERT_GE(formats->Count(), 1);
  const AM_MEDIA_TYPE* mt = formats->GetItem(0)->AMType();
  EXPECT_EQ(mt->majortype, MEDIATYPE_Video);
  EXPECT_EQ(mt->subtype, MEDIASUBTYPE_RGB24);
  ASSERT_EQ(mt->formattype, FORMAT_VideoInfo);
  ASSERT_GE(mt->cbFormat, sizeof(VIDEOINFOHEADER));
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
  EXPECT_EQ(vih->bmiHeader.biWidth, kW);
  EXPECT_EQ(vih->bmiHeader.biHeight, kH);
  EXPECT_EQ(GetCompressionName(vih->bmiHeader.biCompression), L"RGB");

  // Unregistered, only the prefix's test cameras are left in the category.
  ASSERT_EQ(Regsvr32Unregister(Ax), 0u);
  TSysDevEnum rest(CLSID_VideoInputDeviceCategory);
  EXPECT_EQ(FindDevice(rest, kKivoSrcName), -1);
  EXPECT_EQ(rest.FilterCount(), int(testdev::ListDevices(CLSID_VideoInputDeviceCategory).size()));
  for (int k = 0; k < rest.FilterCount(); ++k) EXPECT_EQ(rest.GetFilterEntry(k).CLSID, testdev::CLSID_PatternCamera);
  ASSERT_EQ(Regsvr32Register(Ax), 0u);
  // An empty category: an empty list, and no filter for index 0.
  const GUID emptyCategory = {0x5e1f0c2d, 0x7a3b, 0x4c9e, {0x8d, 0x10, 0x2f, 0x6a, 0x91, 0xb4, 0x0e, 0x73}};
  TSysDevEnum none(emptyCategory);
  EXPECT_EQ(none.FilterCount(), 0);
  EXPECT_FALSE(none.GetBaseFilter(0));
}

TEST_F(CameraForm, StoredCameraFilterRestoresAndBindsAfterItsBytes) {
  TFilter stored(nullptr);
  TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
  const int i = FindDevice(devices, kKivoSrcName);
  ASSERT_GE(i, 0);
  stored.BaseFilter()->SetMoniker(devices.GetMoniker(i).Get());
  TMemoryStream bytes;
  stored.BaseFilter()->WriteData(bytes);
  // int32 count, then the device moniker's image: class id, name count, display name.
  const std::vector<BYTE>& b = bytes.Bytes();
  ASSERT_GE(b.size(), 24u);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(b.data()), int32_t(b.size() - 4));
  EXPECT_EQ(0, memcmp(b.data() + 4, &kCLSID_DeviceMoniker, 16));
  std::wstring name(reinterpret_cast<const wchar_t*>(b.data() + 24));
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b.data() + 20), (name.size() + 1) * 2);
  EXPECT_EQ(name.rfind(L"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\", 0), 0u) << std::string(name.begin(), name.end());

  // Read back into another form's component: it binds into that form's graph under its name.
  MakeForm();
  bytes.SetPosition(0);
  Form->Source->BaseFilter()->ReadData(bytes);
  Form->Graph->SetActive(true);
  IBaseFilter* bound = Form->Source->QueryFilter();
  ASSERT_TRUE(bound);
  CLSID clsid{};
  bound->GetClassID(&clsid);
  EXPECT_EQ(clsid, kKivoSrcClsid);
  FILTER_INFO info{};
  ASSERT_EQ(bound->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"SourceFilter");
  auto graph = Form->Graph->Query<IFilterGraph>();
  EXPECT_EQ(static_cast<IUnknown*>(info.pGraph), static_cast<IUnknown*>(graph.Get()));
  if (info.pGraph) info.pGraph->Release();
  Form->Graph->SetActive(false);
  EXPECT_EQ(Form->Source->QueryFilter(), nullptr);
}

TEST_F(CameraForm, PlaysPausesStopsAndPlaysAgainShowingWrittenFramesInTheForm) {
  ASSERT_NO_FATAL_FAILURE(MakeForm());
  ASSERT_NO_FATAL_FAILURE(BuildGraph());
  EXPECT_EQ(Form->Graph->State(), psStopped);
  TChildProcess writer(HelperPath(L"dstoolkit_writer"));
  ASSERT_EQ(writer.Call("init"), "ok");
  ASSERT_EQ(writer.Call("write 0 0 1"), "0") << "the writer finds the section";

  std::string why;
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    const int frame = 10 + cycle;
    ASSERT_TRUE(Form->Graph->Play());
    ASSERT_EQ(writer.Call("write " + std::to_string(frame) + " - 1"), "230400");
    EXPECT_TRUE(SawFrame(frame)) << "OnBuffer receives the written frame";
    EXPECT_NE(Thread.load(), ::GetCurrentThreadId()) << "on the streaming thread";
    EXPECT_EQ(Form->Graph->State(), psPlaying);

    // The renderer's window lies over the control, inside the form, and shows the frame.
    HWND video = Form->Window->VideoHandle();
    ASSERT_TRUE(video);
    EXPECT_NE(video, Form->Window->Handle());
    EXPECT_EQ(::GetParent(video), Form->Handle());
    RECT wr{}, cr{};
    ::GetWindowRect(video, &wr);
    ::GetWindowRect(Form->Window->Handle(), &cr);
    EXPECT_TRUE(::EqualRect(&wr, &cr));
    EXPECT_TRUE(ScreenShows(frame, why)) << why;

    EXPECT_TRUE(Form->Graph->Pause());
    EXPECT_EQ(Form->Graph->State(), psPaused);
    EXPECT_TRUE(Form->Graph->Stop());
    EXPECT_EQ(Form->Graph->State(), psStopped);
  }

  // Full screen and back: the renderer's window covers the screen, then the control again.
  ASSERT_TRUE(Form->Graph->Play());
  ASSERT_EQ(writer.Call("write 12 - 1"), "230400");
  ASSERT_TRUE(SawFrame(12));
  HWND video = Form->Window->VideoHandle();
  Form->Window->SetFullScreen(true);
  RECT wr{};
  ::GetWindowRect(video, &wr);
  EXPECT_EQ(wr.left, 0);
  EXPECT_EQ(wr.top, 0);
  EXPECT_EQ(wr.right, ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(wr.bottom, ::GetSystemMetrics(SM_CYSCREEN));
  EXPECT_NE(::GetParent(video), Form->Handle());
  Form->Window->SetFullScreen(false);
  EXPECT_EQ(::GetParent(video), Form->Handle());
  EXPECT_TRUE(ScreenShows(12, why)) << why;

  // Mouse input on the video goes to the control (KivoApp's double click and click).
  int clicks = 0;
  Form->Window->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++clicks; };
  ::PostMessageW(video, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(video, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(PumpUntil([&] { return clicks > 0; }, 3000));

  // The video follows the control when it moves and resizes.
  Form->Window->SetBounds(40, 20, 200, 150);
  RECT moved{}, control{};
  ::GetWindowRect(video, &moved);
  ::GetWindowRect(Form->Window->Handle(), &control);
  EXPECT_TRUE(::EqualRect(&moved, &control));
  EXPECT_EQ(moved.right - moved.left, 200);

  // Hiding the control hides the video.
  Form->Window->SetVisible(false);
  EXPECT_FALSE(::IsWindowVisible(video));
  Form->Window->SetVisible(true);
  EXPECT_TRUE(::IsWindowVisible(video));

  EXPECT_TRUE(Form->Graph->Stop());
  writer.Send("quit");
  EXPECT_TRUE(writer.Finish(10000).has_value());
}

TEST_F(CameraForm, DisconnectAndClearKeepTheComponentsFilters) {
  ASSERT_NO_FATAL_FAILURE(MakeForm());
  ASSERT_NO_FATAL_FAILURE(BuildGraph());
  auto graph = Form->Graph->Query<IFilterGraph>();
  Form->Graph->DisconnectAll();
  {
    TFilterList filters(graph.Get());
    EXPECT_EQ(filters.Count(), 3);
    for (int i = 0; i < filters.Count(); ++i) {
      TPinList pins(filters.GetFilter(i));
      for (int j = 0; j < pins.Count(); ++j) EXPECT_FALSE(pins.IsConnected(j));
    }
  }
  // Rebuilt through Intelligent Connect with a converter in between: ClearGraph takes only that out.
  ASSERT_NO_FATAL_FAILURE(BuildGraph());
  auto builder = Form->Graph->Query<IGraphBuilder>();
  TComPtr<IBaseFilter> extra;
  ASSERT_EQ(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, extra.PutVoid()), S_OK);
  ASSERT_EQ(builder->AddFilter(extra.Get(), L"Extra"), S_OK);
  Form->Graph->ClearGraph();
  TFilterList filters(graph.Get());
  EXPECT_EQ(filters.Count(), 3);
  EXPECT_TRUE(filters.Remove(Form->Source->QueryFilter()));
  EXPECT_TRUE(filters.Remove(Form->Sample->QueryFilter()));
  EXPECT_TRUE(filters.Remove(Form->Window->QueryFilter()));
  EXPECT_FALSE(Form->Window->HasConnectedPin());
}

}  // namespace
