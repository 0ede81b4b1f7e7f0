// The graph component and its components on a form, with Wine's filter graph: lifecycle, state,
// events on the GUI thread, the sample grabber on a file graph, the seek bar following it, and the
// video window's context menu over the whole screen.
#include <gtest/gtest.h>

#include <dshow.h>
#include <uuids.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include <commctrl.h>

#include "AviWriter.h"
#include "DSGraph.h"
#include "GraphSupport.h"
#include "GuiTestUtil.h"
#include "Menus.h"
#include "StandIns.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr int kW = 64, kH = 48, kFps = 10, kFrames = 30;  // a 3-second file

// Records what a bound event component is told, with the thread it is told on.
class TEventLog : public IGraphEvents {
 public:
  void HandleGraphEvent(long code, LONG_PTR, LONG_PTR) override {
    Log.push_back("graph " + std::to_string(code));
    Threads.push_back(::GetCurrentThreadId());
  }
  void HandleControlEvent(TGraphControlEvent e, intptr_t p) override {
    Log.push_back("control " + std::to_string(int(e)) + " " + std::to_string(p));
  }
  bool Has(const std::string& entry) const { return std::find(Log.begin(), Log.end(), entry) != Log.end(); }
  std::vector<std::string> Log;
  std::vector<DWORD> Threads;
};

// Frames the grabber delivered: pattern number, sample time, thread.
struct TFrames {
  std::mutex Lock;
  std::vector<int> Numbers;
  std::vector<double> Times;
  std::atomic<DWORD> Thread{0};
  void Add(double t, const BYTE* b, long n) {
    std::lock_guard<std::mutex> l(Lock);
    Numbers.push_back(PatternFrame(b, n, kW, kH));
    Times.push_back(t);
    Thread = ::GetCurrentThreadId();
  }
  size_t Count() {
    std::lock_guard<std::mutex> l(Lock);
    return Numbers.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> l(Lock);
    Numbers.clear();
    Times.clear();
  }
};

class GraphTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::vector<std::vector<BYTE>> frames;
    for (int i = 0; i < kFrames; ++i) frames.push_back(MakePattern(kW, kH, i));
    Avi = TempFilePath(L"dsgraph", L".avi");
    WriteRgb24Avi(Avi, kW, kH, kFps, frames);
  }
  static void TearDownTestSuite() { ::DeleteFileW(Avi.c_str()); }
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Form = Create<TForm>(Application());
    Form->SetBounds(20, 20, 400, 300);
    Graph = new TFilterGraph(Form);
    Graph->SetName(L"Graph");
    Graph->SetMode(TGraphMode::gmCapture);
    Graph->SetGraphEdit(true);
    Grabber = new TSampleGrabber(Form);
    Grabber->SetName(L"Sample");
    Grabber->SetFilterGraph(Graph);
    Grabber->OnBuffer = [this](TObject*, double t, BYTE* b, long n) { Frames.Add(t, b, n); };
  }
  void TearDown() override {
    if (Form) Form->Free();
    DoneApplication();
    ::CoUninitialize();
  }
  // File source -> (splitter) -> grabber -> null renderer, in the active graph.
  void BuildFileGraph(bool asFastAsPossible, const std::wstring& file = Avi) {
    if (!Graph->Active()) Graph->SetActive(true);
    auto builder = Graph->Query<IGraphBuilder>();
    ASSERT_TRUE(builder);
    TComPtr<IBaseFilter> source, nullRenderer;
    ASSERT_EQ(builder->AddSourceFilter(file.c_str(), L"File", source.Put()), S_OK);
    ASSERT_EQ(builder->Connect(FindPinOf(source.Get(), PINDIR_OUTPUT).Get(), Grabber->InPin()), S_OK);
    ASSERT_EQ(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 nullRenderer.PutVoid()), S_OK);
    ASSERT_EQ(builder->AddFilter(nullRenderer.Get(), L"Null"), S_OK);
    ASSERT_EQ(builder->Connect(Grabber->OutPin(), FindPinOf(nullRenderer.Get(), PINDIR_INPUT).Get()), S_OK);
    if (asFastAsPossible) {
      TComPtr<IMediaFilter> mf;
      ASSERT_EQ(builder.As(mf), S_OK);
      ASSERT_EQ(mf->SetSyncSource(nullptr), S_OK);
    }
  }
  std::vector<std::wstring> FilterNames() {
    std::vector<std::wstring> names;
    auto fg = Graph->Query<IFilterGraph>();
    if (!fg) return names;
    TFilterList list(fg.Get());
    for (int i = 0; i < list.Count(); ++i) {
      FILTER_INFO info{};
      list.GetFilter(i)->QueryFilterInfo(&info);
      if (info.pGraph) info.pGraph->Release();
      names.push_back(info.achName);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::wstring Avi;
  TForm* Form = nullptr;
  TFilterGraph* Graph = nullptr;
  TSampleGrabber* Grabber = nullptr;
  TFrames Frames;
};
std::wstring GraphTest::Avi;

bool RotHasItem(const std::wstring& item) {
  TComPtr<IRunningObjectTable> rot;
  TComPtr<IEnumMoniker> monikers;
  TComPtr<IBindCtx> ctx;
  if (FAILED(::GetRunningObjectTable(0, rot.Put())) || FAILED(rot->EnumRunning(monikers.Put())) ||
      FAILED(::CreateBindCtx(0, ctx.Put())))
    return false;
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK) {
    LPOLESTR name = nullptr;
    bool same = SUCCEEDED(m->GetDisplayName(ctx.Get(), nullptr, &name)) && name && std::wstring(name) == L"!" + item;
    ::CoTaskMemFree(name);
    if (same) return true;
  }
  return false;
}

TEST_F(GraphTest, InactiveComponentAnswersOnlyItself) {
  TEventLog log;
  Graph->AddEventComponent(&log);
  EXPECT_EQ(Graph->State(), psNoGraph);
  EXPECT_FALSE(Graph->Play());
  EXPECT_FALSE(Graph->Pause());
  EXPECT_FALSE(Graph->Stop());
  EXPECT_EQ(Graph->RenderFile(Avi), S_FALSE);
  EXPECT_TRUE(log.Log.empty()) << "nothing fired";
  EXPECT_FALSE(Graph->Query<IGraphBuilder>());
  EXPECT_EQ(Graph->Query<IServiceProvider>().Get(), static_cast<IServiceProvider*>(Graph));
  void* self = nullptr;
  EXPECT_EQ(Graph->QueryService(kFilterGraphService, kFilterGraphService, &self), S_OK);
  EXPECT_EQ(self, static_cast<void*>(Graph)) << "the component object itself";
  EXPECT_EQ(Graph->QueryService(kFilterGraphService, IID_IUnknown, &self), E_NOINTERFACE);
  EXPECT_EQ(Grabber->QueryFilter(), nullptr);

  struct {
    int set, stored;
  } volumes[] = {{20000, 10000}, {-5, 0}, {5000, 5000}};
  for (auto v : volumes) {
    Graph->SetVolume(v.set);
    EXPECT_EQ(Graph->Volume(), v.stored);
  }
  Graph->SetBalance(-20000);
  EXPECT_EQ(Graph->Balance(), -10000);
  Graph->RemoveEventComponent(&log);
}

TEST_F(GraphTest, ActivationBuildsTheGraphWithTheBoundFiltersAndRegistersIt) {
  TEventLog log;
  Graph->AddEventComponent(&log);
  int activations = 0;
  Graph->OnActivate = [&](TObject*) { ++activations; };
  Graph->SetActive(true);
  ASSERT_TRUE(Graph->Active());
  EXPECT_EQ(activations, 1);
  EXPECT_TRUE(log.Has("control 5 1"));
  EXPECT_TRUE(Graph->Query<ICaptureGraphBuilder2>());
  EXPECT_TRUE(Graph->Query<IMediaControl>());
  EXPECT_EQ(Graph->State(), psStopped);
  EXPECT_EQ(FilterNames(), std::vector<std::wstring>{L"Sample"});
  ASSERT_TRUE(Grabber->SampleGrabber());
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(Grabber->SampleGrabber()->GetConnectedMediaType(&mt), VFW_E_NOT_CONNECTED);

  // The Running Object Table holds the graph while it is active with GraphEdit.
  auto fg = Graph->Query<IFilterGraph2>();
  const std::wstring item = RotItemName(fg.Get());
  EXPECT_NE(Graph->RotCookie(), 0u);
  EXPECT_TRUE(RotHasItem(item));
  Graph->SetGraphEdit(false);
  EXPECT_FALSE(RotHasItem(item));
  Graph->SetGraphEdit(true);
  EXPECT_TRUE(RotHasItem(item));

  // A new mode: still active, new graph objects, the bound filter added again.
  Graph->SetMode(TGraphMode::gmNormal);
  EXPECT_TRUE(Graph->Active());
  EXPECT_FALSE(Graph->Query<ICaptureGraphBuilder2>());
  EXPECT_EQ(FilterNames(), std::vector<std::wstring>{L"Sample"});
  EXPECT_EQ(activations, 2);
  EXPECT_FALSE(RotHasItem(item)) << "the old graph left the table";
  fg.Reset();

  Graph->SetActive(false);
  EXPECT_TRUE(log.Has("control 5 0"));
  EXPECT_EQ(Graph->RotCookie(), 0u);
  EXPECT_EQ(Grabber->QueryFilter(), nullptr);
  EXPECT_EQ(Graph->State(), psNoGraph);
  Graph->RemoveEventComponent(&log);
}

TEST_F(GraphTest, LogFileThatCannotBeCreatedLeavesLoggingOff) {
  Graph->SetActive(true);
  const std::wstring good = TempFilePath(L"graphlog", L".txt");
  Graph->SetLogFile(good);
  EXPECT_EQ(Graph->LogFile(), good);
  EXPECT_NE(::GetFileAttributesW(good.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NO_THROW(Graph->SetLogFile(L"Q:\\no\\such\\folder\\graph.log"));
  EXPECT_EQ(Graph->LogFile(), good);
  Graph->SetLogFile(L"");
  EXPECT_EQ(Graph->LogFile(), L"");
  Graph->SetActive(false);
  ::DeleteFileW(good.c_str());
}

class TFailingFilter : public IGraphFilter {
 public:
  IBaseFilter* QueryFilter() override { return Filter.Get(); }
  std::wstring QueryFilterName() override { return L"Failing"; }
  void FilterNotify(TFilterNotification what, intptr_t) override {
    switch (what) {
      case TFilterNotification::fnAdding:
        if (FailAdding) throw Exception(L"cannot start");
        CheckDSError(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                        Filter.PutVoid()));
        break;
      case TFilterNotification::fnRemoving:
        throw Exception(L"cannot stop");
      case TFilterNotification::fnRemoved:
        Filter.Reset();
        ++Removed;
        break;
      default:
        break;
    }
  }
  TComPtr<IBaseFilter> Filter;
  int Removed = 0;
  bool FailAdding = false;
};

// Activation in DVD mode that fails raises, and leaves nothing of the graph behind: no graph objects,
// no Running Object Table entry, no notifications to the component's window, no bound filter in it.
TEST_F(GraphTest, DvdModeFailsInAnOrderlyWayWithoutADvdBuilder) {
  enum TBuilder { System, WithoutGraph, WithGraphAndAFailingComponent };
  for (TBuilder kind : {System, WithoutGraph, WithGraphAndAFailingComponent}) {
    SCOPED_TRACE(int(kind));
    TComPtr<IGraphBuilder> graph;
    if (kind == WithGraphAndAFailingComponent) {
      ASSERT_EQ(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.PutVoid()), S_OK);
    }
    TStandInDvdFactory factory(graph.Get());
    DWORD cookie = 0;
    if (kind != System) {
      ASSERT_EQ(::CoRegisterClassObject(CLSID_DvdGraphBuilder, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie), S_OK);
    }
    TFailingFilter failing;  // bound after the grabber: activation fails once the graph is made
    failing.FailAdding = true;
    if (kind == WithGraphAndAFailingComponent) Graph->AddFilterComponent(&failing);

    Graph->SetMode(TGraphMode::gmDVD);
    EXPECT_THROW(Graph->SetActive(true), Exception);
    EXPECT_FALSE(Graph->Active());
    EXPECT_EQ(Graph->State(), psNoGraph);
    EXPECT_FALSE(Graph->Query<IGraphBuilder>());
    EXPECT_EQ(Graph->RotCookie(), 0u);
    EXPECT_EQ(Grabber->QueryFilter(), nullptr) << "no filter left half-made";
    EXPECT_EQ(TStandInDvdBuilder::Alive.load(), 0) << "the builder was let go";
    if (graph) {
      TComPtr<IFilterGraph> fg;
      ASSERT_EQ(graph.As(fg), S_OK);
      EXPECT_FALSE(RotHasItem(RotItemName(fg.Get())));
      TComPtr<IMediaEventEx> events;
      ASSERT_EQ(graph.As(events), S_OK);
      long flags = 0;
      EXPECT_EQ(events->GetNotifyFlags(&flags), S_OK);
      EXPECT_EQ(flags, AM_MEDIAEVENT_NONOTIFY) << "no notifications to the component's window";
      EXPECT_EQ(TFilterList(fg.Get()).Count(), 0) << "no bound filter left in the graph";
      fg.Reset();
      events.Reset();
      graph->AddRef();
      EXPECT_EQ(graph->Release(), 1u) << "only this test holds the graph";
    }
    Graph->RemoveFilterComponent(&failing);
    Graph->SetMode(TGraphMode::gmCapture);
    if (cookie) ::CoRevokeClassObject(cookie);
  }
}

TEST_F(GraphTest, FileFramesReachOnBufferAndEventsArriveOnTheGuiThread) {
  TEventLog log;
  Graph->AddEventComponent(&log);
  std::vector<std::string> order;
  DWORD completeThread = 0;
  HRESULT completeResult = E_FAIL;
  Graph->OnDSEvent = [&](TObject* sender, long code, LONG_PTR, LONG_PTR) {
    EXPECT_EQ(sender, Graph);
    if (code == EC_COMPLETE) order.push_back("dsevent");
  };
  Graph->OnGraphComplete = [&](TObject*, HRESULT hr, IBaseFilter*) {
    order.push_back("complete");
    completeThread = ::GetCurrentThreadId();
    completeResult = hr;
  };
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(true));
  EXPECT_EQ(Graph->State(), psStopped);
  ASSERT_TRUE(Graph->Play());
  EXPECT_TRUE(log.Has("control 0 0"));
  ASSERT_TRUE(PumpUntil([&] { return !order.empty(); }, 15000)) << "EC_COMPLETE arrives";
  EXPECT_EQ(completeThread, ::GetCurrentThreadId());
  EXPECT_EQ(completeResult, S_OK);
  ASSERT_TRUE(log.Has("graph 1"));
  EXPECT_EQ(order, (std::vector<std::string>{"dsevent", "complete"})) << "OnDSEvent before the event's own";
  for (DWORD t : log.Threads) EXPECT_EQ(t, ::GetCurrentThreadId());

  ASSERT_EQ(Frames.Count(), size_t(kFrames));
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(Frames.Numbers[i], i) << "frame " << i << " byte for byte";
  EXPECT_NE(Frames.Thread.load(), ::GetCurrentThreadId()) << "OnBuffer runs on the streaming thread";
  EXPECT_NEAR(Frames.Times[10], 1.0, 0.01);

  EXPECT_TRUE(Graph->Stop());
  EXPECT_EQ(Graph->State(), psStopped);
  Graph->RemoveEventComponent(&log);
}

TEST_F(GraphTest, ExceptionsOfHandlersStopAtTheirBoundary) {
  // OnBuffer raising on the streaming thread: reported there, the stream goes on.
  std::atomic<int> errors{0};
  Grabber->OnBuffer = [this](TObject*, double t, BYTE* b, long n) {
    Frames.Add(t, b, n);
    throw Exception(L"handler failed");
  };
  Grabber->OnBufferError = [&](TObject*, const std::exception* e) {
    if (e && ExceptionMessage(*e) == L"handler failed") ++errors;
  };
  // An event handler raising on the GUI thread: the application's handler gets it.
  std::vector<std::wstring> shown;
  Application()->OnException = [&](TObject*, const std::exception& e) { shown.push_back(ExceptionMessage(e)); };
  Graph->OnGraphComplete = [](TObject*, HRESULT, IBaseFilter*) { CheckDSError(E_FAIL); };
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(true));
  ASSERT_TRUE(Graph->Play());
  ASSERT_TRUE(PumpUntil([&] { return !shown.empty(); }, 15000));
  EXPECT_EQ(shown[0], GetDSErrorText(E_FAIL) + L" ($80004005).");
  EXPECT_EQ(Frames.Count(), size_t(kFrames)) << "every frame still came";
  EXPECT_EQ(errors.load(), kFrames);
  Application()->OnException = nullptr;
}

// A filter component whose stopping fails (as the video window's does when its renderer refuses).

TEST_F(GraphTest, AFilterThatFailsToStopStillLeavesTheGraph) {
  TFailingFilter failing;
  Graph->SetActive(true);
  Graph->AddFilterComponent(&failing);
  ASSERT_TRUE(failing.Filter);
  EXPECT_EQ(FilterNames(), (std::vector<std::wstring>{L"Failing", L"Sample"}));
  // Unbound while active: the failure reaches the caller, the filter is out of the graph and released.
  EXPECT_THROW(Graph->RemoveFilterComponent(&failing), Exception);
  EXPECT_EQ(failing.Removed, 1);
  EXPECT_FALSE(failing.Filter);
  EXPECT_EQ(FilterNames(), std::vector<std::wstring>{L"Sample"});
  // Deactivated: likewise, and the other components are released too, also those bound after it.
  Grabber->SetFilterGraph(nullptr);
  Graph->AddFilterComponent(&failing);
  Grabber->SetFilterGraph(Graph);
  ASSERT_TRUE(failing.Filter);
  ASSERT_TRUE(Grabber->QueryFilter());
  EXPECT_THROW(Graph->SetActive(false), Exception);
  EXPECT_FALSE(Graph->Active());
  EXPECT_EQ(failing.Removed, 2);
  EXPECT_FALSE(failing.Filter);
  EXPECT_EQ(Grabber->QueryFilter(), nullptr);
  Graph->RemoveFilterComponent(&failing);
}

TEST_F(GraphTest, RenderFileFailureRaisesWithTheCode) {
  TEventLog log;
  Graph->AddEventComponent(&log);
  Graph->SetActive(true);
  try {
    Graph->RenderFile(L"C:\\no\\such\\movie.avi");
    ADD_FAILURE() << "no exception";
  } catch (const EDirectShowException& e) {
    EXPECT_LT(e.ResultCode, 0);
  }
  EXPECT_TRUE(log.Has("control 3 0"));
  EXPECT_FALSE(log.Has("control 4 0")) << "no rendered event after a failure";
  Graph->RemoveEventComponent(&log);
}

TEST_F(GraphTest, ClearGraphKeepsTheBoundFiltersDisconnected) {
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(true));
  ASSERT_GE(FilterNames().size(), 3u);
  Graph->ClearGraph();
  EXPECT_EQ(FilterNames(), std::vector<std::wstring>{L"Sample"});
  TPinList pins(Grabber->QueryFilter());
  for (int i = 0; i < pins.Count(); ++i) EXPECT_FALSE(pins.IsConnected(i));
  // Built again on the same components, it plays.
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(true));
  Frames.Clear();
  ASSERT_TRUE(Graph->Play());
  EXPECT_TRUE(PumpUntil([&] { return Frames.Count() == size_t(kFrames); }, 15000));
}

TEST_F(GraphTest, ComponentsAndGraphMayGoInEitherOrder) {
  auto* filter = new TFilter(Form);
  filter->SetName(L"Empty");
  filter->SetFilterGraph(Graph);
  // An empty stored filter: four zero bytes, and nothing in the graph.
  TMemoryStream s;
  filter->BaseFilter()->WriteData(s);
  EXPECT_EQ(s.Bytes(), std::vector<BYTE>(4, 0));
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(false));
  EXPECT_EQ(filter->QueryFilter(), nullptr);
  std::vector<std::wstring> names = FilterNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), L"Empty"), 0);
  ASSERT_TRUE(Graph->Play());
  ASSERT_TRUE(PumpUntil([&] { return Frames.Count() > 2; }, 5000));

  // The grabber goes while the graph is paused (a renderer holds the streaming thread then): the
  // graph stops and its filter leaves the graph.
  ASSERT_TRUE(Graph->Pause());
  PumpFor(200);
  Grabber->Free();
  Grabber = nullptr;
  EXPECT_EQ(Graph->State(), psStopped);
  names = FilterNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), L"Sample"), 0);
  const size_t seen = Frames.Count();
  PumpFor(300);
  EXPECT_EQ(Frames.Count(), seen) << "no frame after the component went";

  // The graph goes first: the remaining component forgets it.
  Graph->Free();
  Graph = nullptr;
  EXPECT_EQ(filter->FilterGraph(), nullptr);
  filter->Free();
}

TEST_F(GraphTest, GraphBuildingCallbacksAskTheHandlers) {
  // A device moniker the graph would offer: the handler sees its name and class.
  const std::wstring name =
      L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}";
  TComPtr<IMoniker> moniker = ParseMoniker(name);
  ASSERT_TRUE(moniker);
  EXPECT_EQ(Graph->SelectedFilter(moniker.Get()), S_OK) << "no handler: accepted";
  std::wstring seenName;
  GUID seenClass = GUID_NULL;
  bool answer = false;
  Graph->OnSelectedFilter = [&](IMoniker*, const std::wstring& n, const GUID& c) {
    seenName = n;
    seenClass = c;
    return answer;
  };
  EXPECT_EQ(Graph->SelectedFilter(moniker.Get()), E_FAIL);
  EXPECT_FALSE(seenName.empty());
  EXPECT_EQ(seenClass, CLSID_FileWriter);
  answer = true;
  EXPECT_EQ(Graph->SelectedFilter(moniker.Get()), S_OK);

  TComPtr<IBaseFilter> nullRenderer;
  ASSERT_EQ(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               nullRenderer.PutVoid()), S_OK);
  GUID created = GUID_NULL;
  Graph->OnCreatedFilter = [&](IBaseFilter*, const GUID& c) {
    created = c;
    return false;
  };
  EXPECT_EQ(Graph->CreatedFilter(nullRenderer.Get()), E_FAIL);
  EXPECT_EQ(created, CLSID_NullRenderer);
  Graph->OnCreatedFilter = [](IBaseFilter*, const GUID&) -> bool { throw Exception(L"no"); };
  EXPECT_EQ(Graph->CreatedFilter(nullRenderer.Get()), E_FAIL) << "a raising handler rejects, nothing escapes";

  // A pin nobody could render: the owning component's handler decides.
  TPinList pins(nullRenderer.Get());
  EXPECT_EQ(Graph->UnableToRender(pins.FirstPin()), S_FALSE);
  IPin* asked = nullptr;
  Graph->OnUnableToRender = [&](IPin* pin) {
    asked = pin;
    return true;
  };
  EXPECT_EQ(Graph->UnableToRender(pins.FirstPin()), S_OK);
  EXPECT_EQ(asked, pins.FirstPin());
}

// ---- Seek bar ------------------------------------------------------------------------------------
TEST(DSTrackBarArithmetic, SeekTargetWithoutOverflowOrDivisionByZero) {
  struct {
    LONGLONG stop;
    int position, max;
    LONGLONG target;
  } cases[] = {
      {30000000, 15, 30, 15000000},
      {30000000, 0, 30, 0},
      {30000000, 30, 30, 30000000},
      {30000000, 5, 0, 0},          // no range yet: nothing
      {30000000, 40, 30, 30000000}, // beyond the end: the end
      {30000000, -3, 30, 0},
      {864000000000000LL, 7, 8, 756000000000000LL},  // a day: no overflow
      {0, 3, 10, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TDSTrackBarCore::SeekTarget(c.stop, c.position, c.max), c.target)
        << c.stop << " " << c.position << "/" << c.max;
}

class SeekBarTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    TDSTrackBarCore::THost host;
    host.Enabled = [this] { return BarEnabled; };
    host.Position = [this] { return BarPosition; };
    host.SetRange = [this](int mn, int mx, int pos) {
      BarMin = mn;
      BarMax = mx;
      BarPosition = pos;
    };
    Bar = std::make_unique<TDSTrackBarCore>(Form, host);
    Bar->SetTimerInterval(100);
    Bar->SetOnTimer([this](TObject*, int current, int stop) {
      LastCurrent = current;
      LastStop = stop;
      ++Ticks;
    });
    Bar->Bind(Graph);
  }
  void TearDown() override {
    Bar.reset();
    GraphTest::TearDown();
  }
  LONGLONG Position() {
    LONGLONG p = -1;
    Bar->MediaSeeking()->GetCurrentPosition(&p);
    return p;
  }
  std::unique_ptr<TDSTrackBarCore> Bar;
  bool BarEnabled = true;
  int BarMin = -1, BarMax = -1, BarPosition = 0;
  int LastCurrent = -1, LastStop = -1, Ticks = 0;
};

TEST_F(SeekBarTest, FollowsTheFileAndSeeksOnRelease) {
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(false));
  ASSERT_TRUE(Bar->MediaSeeking()) << "seeking taken when the graph activated";
  ASSERT_TRUE(Graph->Play());
  EXPECT_TRUE(Bar->TimerEnabled());
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= 5 && LastCurrent > 300; }, 5000));
  EXPECT_EQ(BarMin, 0);
  EXPECT_EQ(BarMax, 30) << "3000 ms in steps of 100";
  EXPECT_EQ(LastStop, 3000);
  EXPECT_NEAR(BarPosition, LastCurrent / 100, 1);

  ASSERT_TRUE(Graph->Pause());
  EXPECT_FALSE(Bar->TimerEnabled());
  const int ticks = Ticks;
  PumpFor(400);
  EXPECT_EQ(Ticks, ticks) << "no ticks while paused";

  // The user drags the thumb to 25 and lets go: the graph goes to 2.5 s.
  Bar->MouseDown(TMouseButton::mbLeft);
  EXPECT_TRUE(Bar->Dragging());
  Bar->Timer();
  EXPECT_EQ(Ticks, ticks) << "no tick moves the thumb under the user's hand";
  BarPosition = 25;
  Bar->MouseUp(TMouseButton::mbLeft);
  EXPECT_FALSE(Bar->Dragging());
  EXPECT_NEAR(double(Position()), 25000000.0, 1000000.0);

  // A right-button release ends dragging without seeking.
  Bar->MouseDown(TMouseButton::mbLeft);
  BarPosition = 5;
  Bar->MouseUp(TMouseButton::mbRight);
  EXPECT_FALSE(Bar->Dragging());
  EXPECT_NEAR(double(Position()), 25000000.0, 1000000.0);

  // Playing on from there: the frames after the seek are the file's last ones.
  Frames.Clear();
  ASSERT_TRUE(Graph->Play());
  ASSERT_TRUE(PumpUntil([&] { return Frames.Count() >= 3; }, 5000));
  {
    std::lock_guard<std::mutex> l(Frames.Lock);
    EXPECT_GE(Frames.Numbers.back(), 24);
  }
  EXPECT_TRUE(Graph->Stop());
  EXPECT_FALSE(Bar->TimerEnabled());
}

TEST_F(SeekBarTest, DisabledBarDoesNotMoveAndAShortFileHasNothingToSeek) {
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(false));
  BarEnabled = false;
  ASSERT_TRUE(Graph->Play());
  EXPECT_FALSE(Bar->TimerEnabled());
  PumpFor(400);
  EXPECT_EQ(Ticks, 0);
  ASSERT_TRUE(Graph->Pause());

  // An interval longer than the file: the range is 0 and a release seeks nowhere.
  Bar->SetTimerInterval(5000);
  Bar->Timer();
  EXPECT_EQ(BarMax, 0);
  EXPECT_EQ(LastStop, 3000);
  const LONGLONG before = Position();
  BarPosition = 1;
  Bar->MouseDown(TMouseButton::mbLeft);
  EXPECT_NO_THROW(Bar->MouseUp(TMouseButton::mbLeft));
  EXPECT_EQ(Position(), before);
  EXPECT_FALSE(Bar->SeekToPosition(1));

  // Without a graph nothing happens at all.
  Bar->Unbind();
  EXPECT_FALSE(Bar->MediaSeeking());
  EXPECT_NO_THROW(Bar->Timer());
  EXPECT_FALSE(Bar->SeekToPosition(0));
}

}  // namespace

namespace {

// Mouse input the way the system delivers it: posted to the window, then the queue is run.
void PostMouse(HWND w, UINT msg, WPARAM keys, POINT p) {
  ::PostMessageW(w, msg, keys, MAKELPARAM(p.x, p.y));
  PumpFor(30);
}
POINT ThumbCentre(HWND bar) {
  RECT r{};
  ::SendMessageW(bar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
int ChannelX(HWND bar, double fraction) {
  RECT r{};
  ::SendMessageW(bar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&r));
  return r.left + int((r.right - r.left) * fraction);
}

// The seek bar on the form, following the fixture's graph.
class SeekBarOnFormTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    Bar = new TDSTrackBar(Form);
    Bar->SetName(L"SeekBar");
    Bar->SetParent(Form);
    Bar->SetBounds(10, 10, 300, 40);
    Bar->SetTimerInterval(100);
    Bar->SetFilterGraph(Graph);
    Bar->SetOnTimer([this](TObject* sender, int current, int stop) {
      EXPECT_EQ(sender, Bar);
      LastCurrent = current;
      LastStop = stop;
      ++Ticks;
    });
    Form->Show();
    PumpFor(30);
  }
  LONGLONG GraphPosition() {
    LONGLONG p = -1;
    if (auto seeking = Graph->Query<IMediaSeeking>()) seeking->GetCurrentPosition(&p);
    return p;
  }
  // The user presses the left button on the thumb and drags it to a fraction of the channel.
  void PressThumbAndDragTo(double fraction) {
    HWND h = Bar->Handle();
    POINT thumb = ThumbCentre(h);
    PostMouse(h, WM_MOUSEMOVE, 0, thumb);
    PostMouse(h, WM_LBUTTONDOWN, MK_LBUTTON, thumb);
    PostMouse(h, WM_MOUSEMOVE, MK_LBUTTON, POINT{ChannelX(h, fraction), thumb.y});
  }
  int NativePosition() { return int(::SendMessageW(Bar->Handle(), TBM_GETPOS, 0, 0)); }

  TDSTrackBar* Bar = nullptr;
  int LastCurrent = -1, LastStop = -1, Ticks = 0;
};

TEST_F(SeekBarOnFormTest, IsATrackBarWithItsOwnClassAndPublishedProperties) {
  EXPECT_EQ(Bar->ClassName(), L"TDSTrackBar");
  EXPECT_TRUE(Bar->InheritsFrom(L"TTrackBar"));
  EXPECT_EQ(ClassOf(Bar->Handle()), L"TDSTrackBar");
  EXPECT_EQ(FindControl(Bar->Handle()), Bar);
  EXPECT_EQ(::SendMessageW(Bar->Handle(), TBM_GETRANGEMAX, 0, 0), 10) << "a system track bar underneath";

  auto* fresh = new TDSTrackBar(Form);
  EXPECT_EQ(GetOrdProp(fresh, L"TimerInterval"), 1000);
  EXPECT_EQ(GetObjectProp(fresh, L"FilterGraph"), nullptr);
  EXPECT_EQ(GetOrdProp(fresh, L"Max"), 10) << "the track bar's own properties stay published";
  SetOrdProp(fresh, L"TimerInterval", 250);
  EXPECT_EQ(fresh->TimerInterval(), 250);
  SetObjectProp(fresh, L"FilterGraph", Graph);
  EXPECT_EQ(fresh->FilterGraph(), Graph);
  EXPECT_THROW(SetObjectProp(fresh, L"FilterGraph", Form), EPropertyError);
  EXPECT_EQ(fresh->FilterGraph(), Graph);

  // Bound to a graph that activates later: it takes the graph's seeking then.
  EXPECT_FALSE(fresh->Core().MediaSeeking());
  Graph->SetActive(true);
  EXPECT_TRUE(fresh->Core().MediaSeeking());
  SetObjectProp(fresh, L"FilterGraph", nullptr);
  EXPECT_FALSE(fresh->Core().MediaSeeking());
  fresh->Free();
}

TEST_F(SeekBarOnFormTest, FollowsTheFileAndSeeksWhenTheThumbIsReleased) {
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(false));
  ASSERT_TRUE(Graph->Play());
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= 3 && Bar->Position() >= 3; }, 5000));
  EXPECT_EQ(Bar->Min(), 0);
  EXPECT_EQ(Bar->Max(), 30) << "3000 ms in steps of 100";
  EXPECT_EQ(LastStop, 3000);
  EXPECT_NEAR(Bar->Position(), LastCurrent / 100, 1);
  EXPECT_EQ(::SendMessageW(Bar->Handle(), TBM_GETRANGEMAX, 0, 0), 30) << "the control shows the range";
  EXPECT_EQ(NativePosition(), Bar->Position());
  ASSERT_TRUE(Graph->Pause());
  EXPECT_FALSE(Bar->Core().TimerEnabled());
  const LONGLONG paused = GraphPosition();
  ASSERT_LT(paused, 20000000);

  // The thumb dragged to four fifths: the bar follows the hand, the graph stays until the release.
  PressThumbAndDragTo(0.8);
  EXPECT_TRUE(Bar->Core().Dragging());
  const int dragged = Bar->Position();
  EXPECT_GE(dragged, 20);
  EXPECT_LE(dragged, 28);
  EXPECT_EQ(NativePosition(), dragged);
  EXPECT_EQ(GraphPosition(), paused);

  // A right-button release ends the drag without seeking.
  PostMouse(Bar->Handle(), WM_RBUTTONUP, MK_LBUTTON, POINT{ChannelX(Bar->Handle(), 0.8), 20});
  EXPECT_FALSE(Bar->Core().Dragging());
  EXPECT_EQ(GraphPosition(), paused);

  // The left button lets the thumb go: the graph goes where it lies.
  PostMouse(Bar->Handle(), WM_LBUTTONUP, 0, POINT{ChannelX(Bar->Handle(), 0.8), 20});
  EXPECT_FALSE(Bar->Core().Dragging());
  EXPECT_EQ(Bar->Position(), dragged);
  EXPECT_NEAR(double(GraphPosition()), dragged * 1000000.0, 300000.0);

  // Playing on from there: the frames are those after the sought position.
  Frames.Clear();
  ASSERT_TRUE(Graph->Play());
  ASSERT_TRUE(PumpUntil([&] { return Frames.Count() >= 2; }, 5000));
  {
    std::lock_guard<std::mutex> l(Frames.Lock);
    EXPECT_GE(Frames.Numbers.front(), dragged - 1);
  }
  EXPECT_TRUE(Graph->Stop());
  EXPECT_FALSE(Bar->Core().TimerEnabled());

  // The graph goes first: the bar forgets it and keeps working as a plain track bar.
  Graph->Free();
  Graph = nullptr;
  EXPECT_EQ(Bar->FilterGraph(), nullptr);
  EXPECT_FALSE(Bar->Core().MediaSeeking());
  PressThumbAndDragTo(0.2);
  PostMouse(Bar->Handle(), WM_LBUTTONUP, 0, POINT{ChannelX(Bar->Handle(), 0.2), 20});
  EXPECT_FALSE(Bar->Core().Dragging());
  EXPECT_LT(Bar->Position(), dragged);
}

TEST_F(SeekBarOnFormTest, DisabledBarStaysAndAFileShorterThanTheIntervalHasNothingToSeek) {
  // Half a second of video, followed once a second.
  const std::wstring shortAvi = TempFilePath(L"dsgraph-short", L".avi");
  std::vector<std::vector<BYTE>> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(MakePattern(kW, kH, i));
  WriteRgb24Avi(shortAvi, kW, kH, kFps, frames);
  struct TRemove {
    std::wstring path;
    ~TRemove() { ::DeleteFileW(path.c_str()); }
  } remove{shortAvi};
  ASSERT_NO_FATAL_FAILURE(BuildFileGraph(false, shortAvi));
  Bar->SetTimerInterval(1000);

  Bar->SetEnabled(false);
  ASSERT_TRUE(Graph->Play());
  EXPECT_FALSE(Bar->Core().TimerEnabled());
  PumpFor(1300);
  EXPECT_EQ(Ticks, 0) << "a disabled bar does not follow";
  ASSERT_TRUE(Graph->Stop());

  Bar->SetEnabled(true);
  ASSERT_TRUE(Graph->Play());
  EXPECT_TRUE(Bar->Core().TimerEnabled());
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= 1; }, 5000));
  EXPECT_EQ(LastStop, 500);
  EXPECT_EQ(Bar->Max(), 0);
  EXPECT_EQ(Bar->Position(), 0);
  ASSERT_TRUE(Graph->Pause());

  // A release on a bar without range seeks nowhere (and divides by nothing).
  const LONGLONG before = GraphPosition();
  PressThumbAndDragTo(0.8);
  EXPECT_TRUE(Bar->Core().Dragging());
  PostMouse(Bar->Handle(), WM_LBUTTONUP, 0, POINT{ChannelX(Bar->Handle(), 0.8), 20});
  EXPECT_FALSE(Bar->Core().Dragging());
  EXPECT_EQ(Bar->Position(), 0);
  EXPECT_EQ(GraphPosition(), before);
  EXPECT_TRUE(Graph->Stop());
}

// ---- The video window's context menu over the whole screen ----------------------------------
// What the menu loop showed, and the keys that end it, from a timer while the loop runs.
struct TMenuDriver {
  static inline std::vector<WORD> Keys;
  static inline HWND KeyWindow = nullptr;
  static inline RECT Shown{};
  static inline bool Seen = false;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (HWND menu = FindVisibleTopLevel(L"#32768")) {
      Seen = true;
      ::GetWindowRect(menu, &Shown);
    }
    for (WORD k : Keys) {
      ::PostMessageW(KeyWindow, WM_KEYDOWN, k, 1);
      ::PostMessageW(KeyWindow, WM_KEYUP, k, 0xC0000001);
    }
  }
  static void PressSoon(HWND w, std::vector<WORD> keys) {
    Keys = std::move(keys);
    KeyWindow = w;
    Seen = false;
    Shown = RECT{};
    ::SetTimer(nullptr, 0, 200, Tick);
  }
};

class VideoWindowMenuTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    Video = new TVideoWindow(Form);
    Video->SetName(L"Video");
    Video->SetParent(Form);
    Video->SetBounds(20, 40, 160, 120);
    Video->SetFilterGraph(Graph);
    Menu = new TPopupMenu(Form);
    for (const wchar_t* caption : {L"Normal size", L"Close"}) {
      auto* item = new TMenuItem(Form);
      item->SetCaption(caption);
      item->OnClick = [this, item](TObject*) { Clicked.push_back(item->Caption()); };
      Menu->Items()->Add(item);
    }
    Menu->OnPopup = [this](TObject*) { ++Popups; };
    Video->SetPopupMenu(Menu);
    Form->Show();
    PumpFor(30);
  }
  // File source -> grabber -> the control's renderer, playing.
  void PlayIntoTheWindow() {
    Graph->SetActive(true);
    auto builder = Graph->Query<IGraphBuilder>();
    ASSERT_TRUE(builder);
    TComPtr<IBaseFilter> source, renderer;
    ASSERT_EQ(builder->AddSourceFilter(Avi.c_str(), L"File", source.Put()), S_OK);
    ASSERT_EQ(builder->Connect(FindPinOf(source.Get(), PINDIR_OUTPUT).Get(), Grabber->InPin()), S_OK);
    ASSERT_EQ(Video->QueryInterface(IID_IBaseFilter, renderer.PutVoid()), S_OK);
    ASSERT_EQ(builder->Connect(Grabber->OutPin(), FindPinOf(renderer.Get(), PINDIR_INPUT).Get()), S_OK);
    ASSERT_TRUE(Graph->Play());
    ASSERT_TRUE(PumpUntil([&] { return Frames.Count() >= 1; }, 5000));
  }
  TVideoWindow* Video = nullptr;
  TPopupMenu* Menu = nullptr;
  std::vector<std::wstring> Clicked;
  int Popups = 0;
};

TEST_F(VideoWindowMenuTest, FullScreenRightClickOpensThePopupMenuAtTheCursor) {
  ASSERT_NO_FATAL_FAILURE(PlayIntoTheWindow());
  HWND video = Video->VideoHandle();
  ASSERT_TRUE(video);
  ASSERT_NE(video, Video->Handle());
  Video->SetFullScreen(true);
  ASSERT_NE(::GetParent(video), Form->Handle());
  // The test runs alone: the pointer goes where the whole menu fits on the screen (a menu at a
  // corner is moved to fit) and away from the click's point taken as the control's, so that the
  // check tells the two apart.
  ::SetCursorPos(300, 200);
  POINT cursor{};
  ASSERT_TRUE(PumpUntil([&] { return ::GetCursorPos(&cursor) && cursor.x == 300 && cursor.y == 200; }, 5000));
  const POINT asControls = Video->ClientToScreen(POINT{5, 5});
  ASSERT_GT(std::abs(cursor.x - asControls.x) + std::abs(cursor.y - asControls.y), 100);

  // A right click on the full-screen video: drained into the control, the menu comes up at the
  // cursor (not at the click's point taken as the control's), and the chosen item runs.
  MSG stale;
  while (::PeekMessageW(&stale, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
  TMenuDriver::PressSoon(Menu->WindowHandle(), {VK_DOWN, VK_DOWN, VK_RETURN});
  ::PostMessageW(video, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(video, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(PumpUntil([&] { return !Clicked.empty(); }, 5000)) << "the menu came up and was driven";
  EXPECT_EQ(Clicked, std::vector<std::wstring>{L"Close"});
  EXPECT_EQ(Popups, 1);
  EXPECT_TRUE(TMenuDriver::Seen);
  EXPECT_EQ(TMenuDriver::Shown.left, cursor.x);
  EXPECT_EQ(TMenuDriver::Shown.top, cursor.y);
  EXPECT_EQ(Menu->PopupComponent(), Video);

  // The message is answered as handled; a keyboard request (no point) comes to the cursor too.
  TMenuDriver::PressSoon(Menu->WindowHandle(), {VK_ESCAPE, VK_ESCAPE});
  EXPECT_EQ(::SendMessageW(Video->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Video->Handle()), -1), 1);
  EXPECT_EQ(Popups, 2);
  EXPECT_EQ(TMenuDriver::Shown.left, cursor.x);
  EXPECT_EQ(TMenuDriver::Shown.top, cursor.y);
  EXPECT_EQ(Clicked.size(), 1u);
  PumpFor(50);  // the second Escape, left over

  // Without automatic popup the menu stays down and the message goes its usual way.
  Menu->SetAutoPopup(false);
  EXPECT_EQ(::SendMessageW(Video->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Video->Handle()),
                           MAKELPARAM(cursor.x, cursor.y)),
            0);
  EXPECT_EQ(Popups, 2);
  Menu->SetAutoPopup(true);

  // Back in the form, the menu comes up at the message's point as on any control.
  Video->SetFullScreen(false);
  ASSERT_EQ(::GetParent(video), Form->Handle());
  POINT at = Video->ClientToScreen(POINT{10, 10});
  TMenuDriver::PressSoon(Menu->WindowHandle(), {VK_DOWN, VK_RETURN});
  ::SendMessageW(Video->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Video->Handle()), MAKELPARAM(at.x, at.y));
  PumpFor(50);
  EXPECT_EQ(Popups, 3);
  EXPECT_EQ(TMenuDriver::Shown.left, at.x);
  EXPECT_EQ(TMenuDriver::Shown.top, at.y);
  EXPECT_EQ(Clicked.back(), L"Normal size");
  EXPECT_TRUE(Graph->Stop());
}

}  // namespace

namespace {

// A form whose graph activates itself once the form is built.
class TAutoForm : public TForm {
  KIVO_CLASS(TAutoForm, TForm)
  explicit TAutoForm(TComponent* owner) : TForm(owner) {
    Graph = new TFilterGraph(this);
    Graph->SetAutoCreate(true);
    Grabber = new TSampleGrabber(this);
    Grabber->SetName(L"Sample");
    Grabber->SetFilterGraph(Graph);
    ActiveInConstructor = Graph->Active();
  }
  TFilterGraph* Graph;
  TSampleGrabber* Grabber;
  bool ActiveInConstructor = true;
};
KIVO_IMPLEMENT_CLASS(TAutoForm)

TEST(GraphAutoCreate, ActivatesWhenTheFormHasBeenBuilt) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    TAutoForm* form = Create<TAutoForm>(Application());
    EXPECT_FALSE(form->ActiveInConstructor);
    EXPECT_TRUE(form->Graph->Active());
    EXPECT_TRUE(form->Grabber->SampleGrabber()) << "the bound filter is in the graph";
    form->Free();
  }
  DoneApplication();
  ::CoUninitialize();
}

}  // namespace
