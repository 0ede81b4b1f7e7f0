#include "DSGraph.h"

#include <uuids.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "Menus.h"

namespace kivo {

namespace {

template <class T>
void EraseOne(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

// A failure while tearing down: reported to the debugger, never thrown out of a destructor.
void ReportTeardown(const wchar_t* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    std::wstring text = std::wstring(where) + L": " + ExceptionMessage(e) + L"\n";
    ::OutputDebugStringW(text.c_str());
  } catch (...) {
    ::OutputDebugStringW(where);
  }
}

// A site that answers nothing: the graph's site after this component leaves it (Wine's graph
// cannot take a null site), so that a graph outliving the component never calls into it.
class TNoSite : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
TNoSite gNoSite;

std::wstring BstrText(LONG_PTR p) {
  const wchar_t* s = reinterpret_cast<const wchar_t*>(p);
  return s ? std::wstring(s) : std::wstring();
}

}  // namespace

// ---- TFpuControlGuard --------------------------------------------------------------------------
TFpuControlGuard::TFpuControlGuard() noexcept {
  __asm__ __volatile__("fnstcw %0" : "=m"(x87_));
#if defined(__SSE__) || defined(__x86_64__)
  sse_ = _mm_getcsr();
#endif
}

TFpuControlGuard::~TFpuControlGuard() {
  __asm__ __volatile__("fldcw %0" : : "m"(x87_));
#if defined(__SSE__) || defined(__x86_64__)
  _mm_setcsr(sse_);
#endif
}

// ---- TFilterGraph ------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TFilterGraph)

void TFilterGraph::Publish(TPublisher<TFilterGraph>& p) {
  p.String(L"LogFile", &TFilterGraph::LogFile, &TFilterGraph::SetLogFile);
  p.Boolean(L"Active", &TFilterGraph::Active, &TFilterGraph::SetActive);
  p.Boolean(L"AutoCreate", &TFilterGraph::AutoCreate, &TFilterGraph::SetAutoCreate);
  p.Enumeration(L"Mode", {L"gmNormal", L"gmCapture", L"gmDVD"}, &TFilterGraph::Mode, &TFilterGraph::SetMode);
  p.Boolean(L"GraphEdit", &TFilterGraph::GraphEdit, &TFilterGraph::SetGraphEdit);
  p.Boolean(L"LinearVolume", &TFilterGraph::LinearVolume, &TFilterGraph::SetLinearVolume);
}

TFilterGraph::TFilterGraph(TComponent* owner) : TComponent(owner) {
  window_ = std::make_unique<TUtilWindow>([this](TMessage& m) { EventWindowProc(m); });
}

TFilterGraph::~TFilterGraph() {
  try {
    SetActive(false);
  } catch (...) {
    ReportTeardown(L"TFilterGraph");
    ReleaseGraph();
  }
}

void TFilterGraph::BeforeDestruction() {
  // The bound components still exist: they take their filters out now.
  try {
    SetActive(false);
  } catch (...) {
    ReportTeardown(L"TFilterGraph");
    ReleaseGraph();
  }
  inherited::BeforeDestruction();
}

HRESULT TFilterGraph::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
  } else if (iid == IID_IAMGraphBuilderCallback) {
    *out = static_cast<IAMGraphBuilderCallback*>(this);
  } else if (iid == IID_IAMFilterGraphCallback) {
    *out = static_cast<IAMFilterGraphCallback*>(this);
  }
  if (*out) return S_OK;
  if (!active_) return E_NOINTERFACE;
  switch (mode_) {
    case TGraphMode::gmNormal:
      break;
    case TGraphMode::gmCapture:
      if (capture_ && SUCCEEDED(capture_->QueryInterface(iid, out))) return S_OK;
      break;
    case TGraphMode::gmDVD:
      if (dvd_ && SUCCEEDED(dvd_->QueryInterface(iid, out))) return S_OK;
      if (dvd_ && SUCCEEDED(dvd_->GetDvdInterface(iid, out))) return S_OK;
      break;
  }
  if (graph_) return graph_->QueryInterface(iid, out);
  return E_NOINTERFACE;
}

void TFilterGraph::SetActive(bool v) {
  if (v == active_) return;
  if (v) Activate();
  else Deactivate();
}

void TFilterGraph::SetMode(TGraphMode m) {
  if (m == mode_) return;
  const bool was = active_;
  SetActive(false);
  mode_ = m;
  SetActive(was);
}

void TFilterGraph::Activate() {
  try {
    switch (mode_) {
      case TGraphMode::gmNormal:
        CheckDSError(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                                        graph_.PutVoid()));
        break;
      case TGraphMode::gmCapture:
        if (FAILED(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ICaptureGraphBuilder2, capture_.PutVoid())))
          throw Exception(L"Can not create graphic object");
        CheckDSError(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                                        graph_.PutVoid()));
        CheckDSError(capture_->SetFiltergraph(graph_.Get()));
        break;
      case TGraphMode::gmDVD: {
        CheckDSError(::CoCreateInstance(CLSID_DvdGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_IDvdGraphBuilder,
                                        dvd_.PutVoid()));
        TComPtr<IGraphBuilder> builder;
        CheckDSError(dvd_->GetFiltergraph(builder.Put()));
        CheckDSError(builder.As(graph_));
        break;
      }
    }
    active_ = true;
    if (SUCCEEDED(graph_.As(events_))) {
      events_->SetNotifyFlags(0);
      events_->SetNotifyWindow(reinterpret_cast<OAHWND>(window_->Handle()), WM_GRAPHNOTIFY,
                               reinterpret_cast<LONG_PTR>(this));
    }
    TComPtr<IObjectWithSite> site;
    if (SUCCEEDED(graph_.As(site))) {
      site->SetSite(static_cast<IAMGraphBuilderCallback*>(this));
      site->SetSite(static_cast<IAMGraphBuilderCallback*>(this));
    }
    if (graphEdit_ && !rotCookie_) AddGraphToRot(graph_.Get(), rotCookie_);
    if (!logFile_.empty()) ApplyLog(logFile_);
    AddAllFilters();
    if (OnActivate) OnActivate(this);
    BroadcastControlEvent(TGraphControlEvent::gcActivate, 1);
  } catch (...) {
    // An orderly failure: nothing half-built stays behind.
    try {
      if (active_) Deactivate();
    } catch (...) {
    }
    ReleaseGraph();
    throw;
  }
}

void TFilterGraph::Deactivate() {
  // Whatever fails on the way, the graph is released at the end.
  struct TRelease {
    TFilterGraph* self;
    ~TRelease() { self->ReleaseGraph(); }
  } release{this};
  StopForRemoval();
  BroadcastControlEvent(TGraphControlEvent::gcActivate, 0);
  RemoveAllFilters();
}

void TFilterGraph::StopForRemoval() {
  // Filters leave a stopped graph only: taken out of a paused one, a renderer would keep the
  // streaming thread waiting inside the filter being stopped, and the removal would hang.
  TComPtr<IMediaControl> control;
  if (!graph_ || FAILED(graph_.As(control))) return;
  OAFilterState state = State_Stopped;
  if (control->GetState(0, &state) != S_OK || state != State_Stopped) {
    BroadcastControlEvent(TGraphControlEvent::gcStop);
    control->Stop();
  }
}

void TFilterGraph::ReleaseGraph() {
  if (events_) {
    events_->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY);
    events_->SetNotifyWindow(0, 0, 0);
    events_.Reset();
  }
  if (rotCookie_) {
    RemoveGraphFromRot(rotCookie_);
    rotCookie_ = 0;
  }
  if (graph_) {
    graph_->SetLogFile(0);
    TComPtr<IObjectWithSite> site;
    if (SUCCEEDED(graph_.As(site))) site->SetSite(&gNoSite);
  }
  log_.Reset();
  graph_.Reset();
  capture_.Reset();
  dvd_.Reset();
  active_ = false;
}

void TFilterGraph::Loaded() {
  inherited::Loaded();
  if (autoCreate_ && !(ComponentState() & csDesigning)) SetActive(true);
}

void TFilterGraph::SetGraphEdit(bool v) {
  graphEdit_ = v;
  if (!active_) return;
  if (v && !rotCookie_) {
    AddGraphToRot(graph_.Get(), rotCookie_);
  } else if (!v && rotCookie_) {
    RemoveGraphFromRot(rotCookie_);
    rotCookie_ = 0;
  }
}

void TFilterGraph::ApplyLog(const std::wstring& name) {
  graph_->SetLogFile(0);
  log_.Reset();
  if (name.empty()) return;
  TFileOwner file(::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  if (SUCCEEDED(graph_->SetLogFile(reinterpret_cast<DWORD_PTR>(file.Get())))) log_ = std::move(file);
}

void TFilterGraph::SetLogFile(const std::wstring& name) {
  if (!active_) {
    logFile_ = name;
    return;
  }
  ApplyLog(name);
  if (name.empty() || log_) logFile_ = name;
}

void TFilterGraph::SetVolume(int v) {
  volume_ = std::clamp(v, 0, 10000);
  if (auto audio = Query<IBasicAudio>()) audio->put_Volume(linearVolume_ ? LinearToVolume(volume_) : volume_ - 10000);
}

void TFilterGraph::SetBalance(int b) {
  balance_ = std::clamp(b, -10000, 10000);
  if (auto audio = Query<IBasicAudio>()) audio->put_Balance(linearVolume_ ? LinearToBalance(balance_) : balance_);
}

void TFilterGraph::SetRate(double r) {
  rate_ = r;
  if (auto seeking = Query<IMediaSeeking>()) seeking->SetRate(r);
}

void TFilterGraph::SetLinearVolume(bool v) {
  if (v == linearVolume_) return;
  linearVolume_ = v;
  SetVolume(volume_);
  SetBalance(balance_);
}

void TFilterGraph::ApplyAudioAndRate() {
  SetVolume(volume_);
  SetBalance(balance_);
  SetRate(rate_);
}

bool TFilterGraph::Play() {
  auto control = Query<IMediaControl>();
  if (!control) return false;
  BroadcastControlEvent(TGraphControlEvent::gcPlay);
  CheckDSError(control->Run());
  return true;
}

bool TFilterGraph::Pause() {
  auto control = Query<IMediaControl>();
  if (!control) return false;
  BroadcastControlEvent(TGraphControlEvent::gcPause);
  return CheckDSError(control->Pause()) == S_OK;
}

bool TFilterGraph::Stop() {
  auto control = Query<IMediaControl>();
  if (!control) return false;
  BroadcastControlEvent(TGraphControlEvent::gcStop);
  return CheckDSError(control->Stop()) == S_OK;
}

TPlaybackState TFilterGraph::State() {
  auto control = Query<IMediaControl>();
  if (!control) return psNoGraph;
  OAFilterState state = -1;
  control->GetState(0, &state);
  switch (state) {
    case State_Stopped: return psStopped;
    case State_Paused: return psPaused;
    case State_Running: return psPlaying;
    default: return psNoGraph;
  }
}

void TFilterGraph::DisconnectAll() {
  if (!graph_) return;
  // Connections are taken apart from the renderers upstream: each round disconnects the inputs of
  // the filters whose outputs are all free, the upstream side first. Parsers may take their output
  // pins away when their input goes, and Wine's splitter fails when its input is disconnected while
  // its outputs are connected.
  for (int round = 0, any = 1; any && round < 1000; ++round) {
    any = 0;
    TFilterList filters(graph_.Get());
    for (int i = 0; i < filters.Count(); ++i) {
      TPinList pins(filters.GetFilter(i));
      bool outputConnected = false;
      std::vector<IPin*> inputs;
      for (int j = 0; j < pins.Count(); ++j) {
        PIN_DIRECTION d = PINDIR_INPUT;
        if (FAILED(pins.GetPin(j)->QueryDirection(&d)) || !pins.IsConnected(j)) continue;
        if (d == PINDIR_OUTPUT) outputConnected = true;
        else inputs.push_back(pins.GetPin(j));
      }
      if (outputConnected) continue;
      for (IPin* in : inputs) {
        TComPtr<IPin> peer;
        in->ConnectedTo(peer.Put());
        if (peer) CheckDSError(graph_->Disconnect(peer.Get()));
        CheckDSError(graph_->Disconnect(in));
        any = 1;
      }
    }
  }
}

void TFilterGraph::ClearGraph() {
  if (!graph_) return;
  Stop();
  // The graph takes the other filters out with their connections (it does so in an order Wine's
  // parsers survive), then what is left among the bound filters is disconnected.
  TFilterList filters(graph_.Get());
  for (IGraphFilter* c : filters_) filters.Remove(c->QueryFilter());
  for (int i = 0; i < filters.Count(); ++i) CheckDSError(graph_->RemoveFilter(filters.GetFilter(i)));
  DisconnectAll();
}

HRESULT TFilterGraph::RenderFile(const std::wstring& fileName) {
  if (!graph_) return S_FALSE;
  BroadcastControlEvent(TGraphControlEvent::gcFileRendering);
  HRESULT hr = CheckDSError(graph_->RenderFile(fileName.c_str(), nullptr));
  ApplyAudioAndRate();
  BroadcastControlEvent(TGraphControlEvent::gcFileRendered);
  return hr;
}

// -- bound components
void TFilterGraph::AddFilterOf(IGraphFilter* c) {
  c->FilterNotify(TFilterNotification::fnAdding, 0);
  if (IBaseFilter* f = c->QueryFilter()) graph_->AddFilter(f, c->QueryFilterName().c_str());
  c->FilterNotify(TFilterNotification::fnAdded, 0);
}

void TFilterGraph::RemoveFilterOf(IGraphFilter* c) {
  // A component that fails to stop its filter still lets it go; the failure goes on afterwards.
  std::exception_ptr failure;
  try {
    c->FilterNotify(TFilterNotification::fnRemoving, 0);
  } catch (...) {
    failure = std::current_exception();
  }
  if (IBaseFilter* f = c->QueryFilter()) graph_->RemoveFilter(f);
  c->FilterNotify(TFilterNotification::fnRemoved, 0);
  if (failure) std::rethrow_exception(failure);
}

void TFilterGraph::AddAllFilters() {
  for (IGraphFilter* c : std::vector<IGraphFilter*>(filters_)) AddFilterOf(c);
}

void TFilterGraph::RemoveAllFilters() {
  // Every component gets its removal, even when one of them fails; the first failure goes on.
  std::exception_ptr first;
  for (IGraphFilter* c : std::vector<IGraphFilter*>(filters_)) {
    try {
      RemoveFilterOf(c);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TFilterGraph::AddFilterComponent(IGraphFilter* c) {
  if (!c || std::find(filters_.begin(), filters_.end(), c) != filters_.end()) return;
  filters_.push_back(c);
  if (active_) AddFilterOf(c);
}

void TFilterGraph::RemoveFilterComponent(IGraphFilter* c) {
  auto it = std::find(filters_.begin(), filters_.end(), c);
  if (it == filters_.end()) return;
  filters_.erase(it);
  if (active_) {
    StopForRemoval();
    RemoveFilterOf(c);
  }
}

void TFilterGraph::AddEventComponent(IGraphEvents* c) {
  if (c && std::find(eventComponents_.begin(), eventComponents_.end(), c) == eventComponents_.end())
    eventComponents_.push_back(c);
}

void TFilterGraph::RemoveEventComponent(IGraphEvents* c) { EraseOne(eventComponents_, c); }

void TFilterGraph::BroadcastControlEvent(TGraphControlEvent event, intptr_t param) {
  for (IGraphEvents* c : std::vector<IGraphEvents*>(eventComponents_)) c->HandleControlEvent(event, param);
}

void TFilterGraph::BroadcastGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  for (IGraphEvents* c : std::vector<IGraphEvents*>(eventComponents_)) c->HandleGraphEvent(code, param1, param2);
}

// -- events
void TFilterGraph::EventWindowProc(TMessage& m) {
  if (m.Msg == WM_GRAPHNOTIFY) {
    try {
      DrainEvents();
    } catch (...) {
      Application()->HandleException(this);
    }
    return;
  }
  m.Result = ::DefWindowProcW(window_ ? window_->Handle() : nullptr, m.Msg, m.WParam, m.LParam);
}

void TFilterGraph::DrainEvents() {
  while (events_) {
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events_->GetEvent(&code, &p1, &p2, 0) != S_OK) break;
    // The parameters are freed however the handlers end.
    struct TFree {
      TFilterGraph* self;
      long code;
      LONG_PTR p1, p2;
      ~TFree() {
        if (self->events_) self->events_->FreeEventParams(code, p1, p2);
      }
    } free{this, code, p1, p2};
    DoEvent(code, p1, p2);
  }
}

void TFilterGraph::DoEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  BroadcastGraphEvent(code, param1, param2);
  if (OnDSEvent) OnDSEvent(this, code, param1, param2);
  FireEvent(code, param1, param2);
}

void TFilterGraph::FireEvent(long code, LONG_PTR p1, LONG_PTR p2) {
  auto unk = [](LONG_PTR p) { return reinterpret_cast<IUnknown*>(p); };
  switch (code) {
    case EC_COMPLETE:
      if (OnGraphComplete) OnGraphComplete(this, static_cast<HRESULT>(p1), reinterpret_cast<IBaseFilter*>(p2));
      break;
    case EC_USERABORT:
      if (OnGraphUserAbort) OnGraphUserAbort(this);
      break;
    case EC_ERRORABORT:
      if (OnGraphErrorAbort) OnGraphErrorAbort(this, static_cast<HRESULT>(p1));
      break;
    case EC_STREAM_ERROR_STOPPED:
      if (OnGraphStreamErrorStopped) OnGraphStreamErrorStopped(this, static_cast<HRESULT>(p1), p2);
      break;
    case EC_STREAM_ERROR_STILLPLAYING:
      if (OnGraphStreamErrorStillPlaying) OnGraphStreamErrorStillPlaying(this, static_cast<HRESULT>(p1), p2);
      break;
    case EC_ERROR_STILLPLAYING:
      if (OnGraphErrorStillPlaying) OnGraphErrorStillPlaying(this, static_cast<HRESULT>(p1));
      break;
    case EC_PALETTE_CHANGED:
      if (OnGraphPaletteChanged) OnGraphPaletteChanged(this);
      break;
    case EC_VIDEO_SIZE_CHANGED:
      if (OnGraphVideoSizeChanged) OnGraphVideoSizeChanged(this, LOWORD(p1), HIWORD(p1));
      break;
    case EC_QUALITY_CHANGE:
      if (OnGraphQualityChange) OnGraphQualityChange(this);
      break;
    case EC_CLOCK_CHANGED:
      if (OnGraphClockChanged) OnGraphClockChanged(this);
      break;
    case EC_PAUSED:
      if (OnGraphPaused) OnGraphPaused(this, static_cast<HRESULT>(p1));
      break;
    case EC_OPENING_FILE:
      if (OnGraphOpeningFile) OnGraphOpeningFile(this, p1 == 1);
      break;
    case EC_BUFFERING_DATA:
      if (OnGraphBufferingData) OnGraphBufferingData(this, p1 == 1);
      break;
    case EC_FULLSCREEN_LOST:
      if (OnGraphFullscreenLost) OnGraphFullscreenLost(this, unk(p2));
      break;
    case EC_OLE_EVENT:
      if (OnGraphOleEvent) OnGraphOleEvent(this, BstrText(p1), BstrText(p2));
      break;
    case EC_STREAM_CONTROL_STOPPED:
      if (OnGraphStreamControlStopped) OnGraphStreamControlStopped(this, reinterpret_cast<IPin*>(p1), p2);
      break;
    case EC_STREAM_CONTROL_STARTED:
      if (OnGraphStreamControlStarted) OnGraphStreamControlStarted(this, reinterpret_cast<IPin*>(p1), p2);
      break;
    case EC_END_OF_SEGMENT:
      if (OnGraphEndOfSegment)
        OnGraphEndOfSegment(this, p1 ? *reinterpret_cast<const REFERENCE_TIME*>(p1) : 0, static_cast<long>(p2));
      break;
    case EC_DEVICE_LOST:
      if (OnGraphDeviceLost) OnGraphDeviceLost(this, unk(p1), p2 == 1);
      break;
    case EC_STEP_COMPLETE:
      if (OnGraphStepComplete) OnGraphStepComplete(this);
      break;
    case EC_TIMECODE_AVAILABLE:
      if (OnGraphTimeCodeAvailable) OnGraphTimeCodeAvailable(this, p1, p2);
      break;
    case EC_EXTDEVICE_MODE_CHANGE:
      if (OnGraphEXTDeviceModeChange) OnGraphEXTDeviceModeChange(this, p1, p2);
      break;
    case EC_GRAPH_CHANGED:
      if (OnGraphChanged) OnGraphChanged(this);
      break;
    case EC_CLOCK_UNSET:
      if (OnGraphClockUnset) OnGraphClockUnset(this);
      break;
    case EC_VMR_RENDERDEVICE_SET:
      if (OnGraphVMRRenderDevice) OnGraphVMRRenderDevice(this, unk(p1));
      break;
    case EC_SNDDEV_IN_ERROR:
      if (OnGraphSNDDevInError) OnGraphSNDDevInError(this, p1, p2);
      break;
    case EC_SNDDEV_OUT_ERROR:
      if (OnGraphSNDDevOutError) OnGraphSNDDevOutError(this, p1, p2);
      break;
    default:
      if (code >= EC_DVD_DOMAIN_CHANGE && code <= EC_DVD_KARAOKE_MODE) FireDVDEvent(code, p1, p2);
      break;
  }
}

// -- DVD events
TDVDTimeCode SplitDVDTimeCode(DWORD v) {
  TDVDTimeCode t;
  t.Hours1 = v & 0xF;
  t.Hours10 = (v >> 4) & 0xF;
  t.Minutes1 = (v >> 8) & 0xF;
  t.Minutes10 = (v >> 12) & 0xF;
  t.Seconds1 = (v >> 16) & 0xF;
  t.Seconds10 = (v >> 20) & 0xF;
  t.Frames1 = (v >> 24) & 0xF;
  t.Frames10 = (v >> 28) & 0x3;
  t.FrameRateCode = (v >> 30) & 0x3;
  return t;
}

int DVDFrameRate(int frameRateCode) {
  switch (frameRateCode) {
    case DVD_FPS_25: return 25;
    case DVD_FPS_30NonDrop: return 30;
    default: return 0;
  }
}

std::wstring TFilterGraph::DVDLanguage(bool audio, ULONG stream, LCID& lcid) {
  lcid = 0;
  TComPtr<IDvdInfo2> info;
  if (FAILED(QueryInterface(IID_IDvdInfo2, info.PutVoid())) || !info) return {};
  LCID found = 0;
  if (FAILED(audio ? info->GetAudioLanguage(stream, &found) : info->GetSubpictureLanguage(stream, &found))) return {};
  lcid = found;
  wchar_t name[128] = {};
  if (!::GetLocaleInfoW(found, LOCALE_SENGLANGUAGE, name, 128)) return {};
  return name;
}

void TFilterGraph::FireDVDEvent(long code, LONG_PTR p1, LONG_PTR p2) {
  auto fire = [this](const TNotifyEvent& e) {
    if (e) e(this);
  };
  auto value = [this](const TDVDValueEvent& e, LONG_PTR v) {
    if (e) e(this, static_cast<long>(v));
  };
  switch (code) {
    case EC_DVD_DOMAIN_CHANGE:
      switch (p1) {
        case DVD_DOMAIN_FirstPlay: fire(OnDVDDomainFirstPlay); break;
        case DVD_DOMAIN_VideoManagerMenu: fire(OnDVDDomainVideoManagerMenu); break;
        case DVD_DOMAIN_VideoTitleSetMenu: fire(OnDVDDomainVideoTitleSetMenu); break;
        case DVD_DOMAIN_Title: fire(OnDVDDomainTitle); break;
        case DVD_DOMAIN_Stop: fire(OnDVDDomainStop); break;
        default: break;
      }
      break;
    case EC_DVD_ERROR:
      switch (p1) {
        case DVD_ERROR_Unexpected: fire(OnDVDErrorUnexpected); break;
        case DVD_ERROR_CopyProtectFail: fire(OnDVDErrorCopyProtectFail); break;
        case DVD_ERROR_InvalidDVD1_0Disc: fire(OnDVDErrorInvalidDVD1_0Disc); break;
        case DVD_ERROR_InvalidDiscRegion: fire(OnDVDErrorInvalidDiscRegion); break;
        case DVD_ERROR_LowParentalLevel: fire(OnDVDErrorLowParentalLevel); break;
        case DVD_ERROR_MacrovisionFail: fire(OnDVDErrorMacrovisionFail); break;
        case DVD_ERROR_IncompatibleSystemAndDecoderRegions: fire(OnDVDErrorIncompatibleSystemAndDecoderRegions); break;
        case DVD_ERROR_IncompatibleDiscAndDecoderRegions: fire(OnDVDErrorIncompatibleDiscAndDecoderRegions); break;
        default: break;
      }
      break;
    case EC_DVD_WARNING:
      switch (p1) {
        case DVD_WARNING_InvalidDVD1_0Disc: value(OnDVDWarningInvalidDVD1_0Disc, p2); break;
        case DVD_WARNING_FormatNotSupported: value(OnDVDWarningFormatNotSupported, p2); break;
        case DVD_WARNING_IllegalNavCommand: value(OnDVDWarningIllegalNavCommand, p2); break;
        case DVD_WARNING_Open: value(OnDVDWarningOpen, p2); break;
        case DVD_WARNING_Seek: value(OnDVDWarningSeek, p2); break;
        case DVD_WARNING_Read: value(OnDVDWarningRead, p2); break;
        default: break;
      }
      break;
    case EC_DVD_TITLE_CHANGE: value(OnDVDTitleChange, p1); break;
    case EC_DVD_CHAPTER_START: value(OnDVDChapterStart, p1); break;
    case EC_DVD_AUDIO_STREAM_CHANGE:
      if (OnDVDAudioStreamChange) {
        LCID lcid = 0;
        std::wstring name = DVDLanguage(true, static_cast<ULONG>(p1), lcid);
        OnDVDAudioStreamChange(this, static_cast<long>(p1), lcid, name);
      }
      break;
    case EC_DVD_SUBPICTURE_STREAM_CHANGE:
      if (OnDVDSubpictureStreamChange) {
        LCID lcid = 0;
        std::wstring name = DVDLanguage(false, static_cast<ULONG>(p1), lcid);
        OnDVDSubpictureStreamChange(this, static_cast<long>(p1), p2 != 0, lcid, name);
      }
      break;
    case EC_DVD_ANGLE_CHANGE:
      if (OnDVDAngleChange) OnDVDAngleChange(this, static_cast<long>(p1), static_cast<long>(p2));
      break;
    case EC_DVD_BUTTON_CHANGE:
      if (OnDVDButtonChange) OnDVDButtonChange(this, static_cast<long>(p1), static_cast<long>(p2));
      break;
    case EC_DVD_VALID_UOPS_CHANGE: value(OnDVDValidUOPSChange, p1); break;
    case EC_DVD_STILL_ON:
      if (OnDVDStillOn) OnDVDStillOn(this, p1 != 0, static_cast<long>(p2));
      break;
    case EC_DVD_STILL_OFF: fire(OnDVDStillOff); break;
    case EC_DVD_CURRENT_TIME:
      if (OnDVDCurrentTime) {
        const TDVDTimeCode t = SplitDVDTimeCode(static_cast<DWORD>(p1));
        OnDVDCurrentTime(this, t, DVDFrameRate(t.FrameRateCode));
      }
      break;
    case EC_DVD_CHAPTER_AUTOSTOP: fire(OnDVDChapterAutoStop); break;
    case EC_DVD_NO_FP_PGC: fire(OnDVDNoFP_PGC); break;
    case EC_DVD_PLAYBACK_RATE_CHANGE:
      if (OnDVDPlaybackRateChange) OnDVDPlaybackRateChange(this, static_cast<long>(p1) / 10000.0);
      break;
    case EC_DVD_PARENTAL_LEVEL_CHANGE: value(OnDVDParentalLevelChange, p1); break;
    case EC_DVD_PLAYBACK_STOPPED: value(OnDVDPlaybackStopped, p1); break;
    case EC_DVD_ANGLES_AVAILABLE:
      if (OnDVDAnglesAvailable) OnDVDAnglesAvailable(this, p1 != 0);
      break;
    case EC_DVD_PLAYPERIOD_AUTOSTOP: fire(OnDVDPlayPeriodAutoStop); break;
    case EC_DVD_BUTTON_AUTO_ACTIVATED: value(OnDVDButtonAutoActivated, p1); break;
    case EC_DVD_CMD_START:
      if (OnDVDCMDStart) OnDVDCMDStart(this, static_cast<long>(p1), static_cast<HRESULT>(p2));
      break;
    case EC_DVD_CMD_END:
      if (OnDVDCMDEnd) OnDVDCMDEnd(this, static_cast<long>(p1), static_cast<HRESULT>(p2));
      break;
    case EC_DVD_DISC_EJECTED: fire(OnDVDDiscEjected); break;
    case EC_DVD_DISC_INSERTED: fire(OnDVDDiscInserted); break;
    case EC_DVD_CURRENT_HMSF_TIME:
      if (OnDVDCurrentHMSFTime) {
        // The time code's four bytes travel in p1: hours, minutes, seconds, frames.
        const DWORD v = static_cast<DWORD>(p1);
        DVD_HMSF_TIMECODE t{};
        static_assert(sizeof(t) == sizeof(v), "four bytes");
        memcpy(&t, &v, sizeof(t));
        OnDVDCurrentHMSFTime(this, t, static_cast<DWORD>(p2));
      }
      break;
    case EC_DVD_KARAOKE_MODE:
      if (OnDVDKaraokeMode) OnDVDKaraokeMode(this, p1 != 0);
      break;
    default:
      break;
  }
}

// -- graph-building callbacks
HRESULT TFilterGraph::QueryService(REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (service == kFilterGraphService && iid == kFilterGraphService) {
    *out = static_cast<TFilterGraph*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT TFilterGraph::SelectedFilter(IMoniker* moniker) {
  if (!OnSelectedFilter) return S_OK;
  try {
    TSysDevEntry entry;
    if (moniker) ReadDeviceEntry(moniker, entry);
    return OnSelectedFilter(moniker, entry.FriendlyName, entry.CLSID) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT TFilterGraph::CreatedFilter(IBaseFilter* filter) {
  if (!OnCreatedFilter) return S_OK;
  try {
    CLSID clsid = GUID_NULL;
    if (filter) filter->GetClassID(&clsid);
    return OnCreatedFilter(filter, clsid) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT TFilterGraph::UnableToRender(IPin* pin) {
  try {
    TFilterGraph* owner = nullptr;
    PIN_INFO pinInfo{};
    if (pin && SUCCEEDED(pin->QueryPinInfo(&pinInfo)) && pinInfo.pFilter) {
      TComPtr<IBaseFilter> filter = TComPtr<IBaseFilter>::Attach(pinInfo.pFilter);
      FILTER_INFO info{};
      if (SUCCEEDED(filter->QueryFilterInfo(&info)) && info.pGraph) {
        TComPtr<IFilterGraph> graph = TComPtr<IFilterGraph>::Attach(info.pGraph);
        TComPtr<IServiceProvider> provider;
        void* found = nullptr;
        if (SUCCEEDED(graph.As(provider)) &&
            SUCCEEDED(provider->QueryService(kFilterGraphService, kFilterGraphService, &found)))
          owner = static_cast<TFilterGraph*>(found);
      }
    }
    // The platform's graph may offer no service provider: the callback's own component answers.
    if (!owner) owner = this;
    if (owner->OnUnableToRender && owner->OnUnableToRender(pin)) return S_OK;
  } catch (...) {
  }
  return S_FALSE;
}

// ---- TGraphLink --------------------------------------------------------------------------------
void TGraphLink::Set(TFilterGraph* graph) {
  if (graph == graph_) return;
  if (TFilterGraph* old = graph_) {
    graph_ = nullptr;
    self_->RemoveFreeNotification(old);
    if (events_) old->RemoveEventComponent(events_);
    if (filter_) old->RemoveFilterComponent(filter_);
  }
  if (graph) {
    graph_ = graph;
    self_->FreeNotification(graph);
    if (filter_) graph->AddFilterComponent(filter_);
    if (events_) graph->AddEventComponent(events_);
  }
}

void TGraphLink::Forget(TComponent* c) {
  if (c && c == graph_) graph_ = nullptr;
}

// ---- TFilter -----------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TFilter)

void TFilter::Publish(TPublisher<TFilter>& p) {
  p.Object(L"BaseFilter", &TFilter::BaseFilter, &TFilter::SetBaseFilter);
  p.Object(L"FilterGraph", &TFilter::FilterGraph, &TFilter::SetFilterGraph);
}

TFilter::TFilter(TComponent* owner)
    : TComponent(owner), baseFilter_(std::make_unique<TBaseFilter>()), link_(this, this, nullptr) {}

TFilter::~TFilter() {
  try {
    link_.Set(nullptr);
  } catch (...) {
    ReportTeardown(L"TFilter");
  }
}

void TFilter::Notification(TComponent* c, TOperation op) {
  inherited::Notification(c, op);
  if (op == TOperation::opRemove) link_.Forget(c);
}

HRESULT TFilter::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (filter_) return filter_->QueryInterface(iid, out);
  return E_NOINTERFACE;
}

void TFilter::FilterNotify(TFilterNotification what, intptr_t) {
  switch (what) {
    case TFilterNotification::fnAdding:
      filter_ = baseFilter_->BindFilter();
      break;
    case TFilterNotification::fnRemoving:
      if (filter_) {
        FILTER_STATE state = State_Stopped;
        if (SUCCEEDED(filter_->GetState(0, &state)) && (state == State_Paused || state == State_Running))
          filter_->Stop();
      }
      break;
    case TFilterNotification::fnRemoved:
      filter_.Reset();
      break;
    case TFilterNotification::fnRefresh:
      if (TFilterGraph* g = link_.Get()) {
        if (g->Active()) {
          g->RemoveFilterComponent(this);
          g->AddFilterComponent(this);
        }
      }
      break;
    default:
      break;
  }
}

// ---- TSampleGrabber ----------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TSampleGrabber)

void TSampleGrabber::Publish(TPublisher<TSampleGrabber>& p) {
  p.Object(L"FilterGraph", &TSampleGrabber::FilterGraph, &TSampleGrabber::SetFilterGraph);
  p.Object(L"MediaType", &TSampleGrabber::MediaType, &TSampleGrabber::SetMediaType);
}

TSampleGrabber::TSampleGrabber(TComponent* owner)
    : TComponent(owner), mediaType_(std::make_unique<TMediaType>(MEDIATYPE_Video)), link_(this, this, nullptr) {
  mediaType_->SetSubtype(MEDIASUBTYPE_RGB24);
  mediaType_->SetFormatType(FORMAT_VideoInfo);
}

TSampleGrabber::~TSampleGrabber() {
  try {
    link_.Set(nullptr);
  } catch (...) {
    ReportTeardown(L"TSampleGrabber");
  }
  {
    TLock lock(bufferLock_);
    delivering_ = false;
  }
  if (grabber_) grabber_->SetCallback(nullptr, 1);
}

void TSampleGrabber::Notification(TComponent* c, TOperation op) {
  inherited::Notification(c, op);
  if (op == TOperation::opRemove) link_.Forget(c);
}

HRESULT TSampleGrabber::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
    *out = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  if (filter_) return filter_->QueryInterface(iid, out);
  return E_NOINTERFACE;
}

void TSampleGrabber::ApplyMediaType() {
  if (!grabber_) return;
  filter_->Stop();
  if (inPin_) inPin_->Disconnect();
  grabber_->SetMediaType(mediaType_->AMType());
}

void TSampleGrabber::FilterNotify(TFilterNotification what, intptr_t) {
  switch (what) {
    case TFilterNotification::fnAdding:
      CheckDSError(::CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      filter_.PutVoid()));
      break;
    case TFilterNotification::fnAdded: {
      if (!filter_) break;
      CheckDSError(filter_.As(grabber_));
      TPinList pins(filter_.Get());
      if (pins.Count() > 0) inPin_ = TComPtr<IPin>(pins.GetPin(0));
      if (pins.Count() > 1) outPin_ = TComPtr<IPin>(pins.GetPin(1));
      ApplyMediaType();
      grabber_->SetBufferSamples(TRUE);
      {
        TLock lock(bufferLock_);
        delivering_ = true;
      }
      grabber_->SetCallback(this, 1);
      break;
    }
    case TFilterNotification::fnRemoving:
      {
        // Waits for a callback under way; later ones reach no handler.
        TLock lock(bufferLock_);
        delivering_ = false;
      }
      if (filter_) filter_->Stop();
      if (inPin_) inPin_->Disconnect();
      if (outPin_) outPin_->Disconnect();
      break;
    case TFilterNotification::fnRemoved:
      if (grabber_) {
        grabber_->SetCallback(nullptr, 1);
        grabber_->SetBufferSamples(FALSE);
      }
      inPin_.Reset();
      outPin_.Reset();
      grabber_.Reset();
      filter_.Reset();
      break;
    case TFilterNotification::fnRefresh:
      ApplyMediaType();
      break;
  }
}

HRESULT TSampleGrabber::SampleCB(double, IMediaSample*) { return S_OK; }

HRESULT TSampleGrabber::BufferCB(double sampleTime, BYTE* buffer, long bufferLen) {
  // Runs on the streaming thread: whatever the handler raises ends here.
  TLock lock(bufferLock_);
  if (!delivering_ || !OnBuffer) return S_OK;
  try {
    OnBuffer(this, sampleTime, buffer, bufferLen);
  } catch (const std::exception& e) {
    try {
      if (OnBufferError) OnBufferError(this, &e);
      else ::OutputDebugStringW((L"TSampleGrabber.OnBuffer: " + ExceptionMessage(e) + L"\n").c_str());
    } catch (...) {
    }
  } catch (...) {
    try {
      if (OnBufferError) OnBufferError(this, nullptr);
      else ::OutputDebugStringW(L"TSampleGrabber.OnBuffer: unknown exception\n");
    } catch (...) {
    }
  }
  return S_OK;
}

// ---- TVMROptions -------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TVMROptions)

void TVMROptions::Publish(TPublisher<TVMROptions>& p) {
  p.Enumeration(L"Mode", {L"vmrWindowed", L"vmrWindowless", L"vmrRenderless"}, &TVMROptions::Mode,
                &TVMROptions::SetMode);
  p.Integer(L"Streams", &TVMROptions::Streams, &TVMROptions::SetStreams);
  p.Set(L"Preferences",
        {L"vpForceOffscreen", L"vpForceOverlays", L"vpForceMixer", L"vpDoNotRenderColorKeyAndBorder",
         L"vpRestrictToInitialMonitor", L"vpPreferAGPMemWhenMixing"},
        &TVMROptions::Preferences, &TVMROptions::SetPreferences);
  p.Boolean(L"KeepAspectRatio", &TVMROptions::KeepAspectRatio, &TVMROptions::SetKeepAspectRatio);
}

void TVMROptions::Assign(const TPersistent* source) {
  auto* o = dynamic_cast<const TVMROptions*>(source);
  if (!o) {
    inherited::Assign(source);
    return;
  }
  if (o == this) return;
  const bool renderer = o->mode_ != mode_ || o->streams_ != streams_ || o->preferences_ != preferences_;
  mode_ = o->mode_;
  streams_ = o->streams_;
  preferences_ = o->preferences_;
  keepAspectRatio_ = o->keepAspectRatio_;
  if (renderer && owner_ && owner_->Mode() == TVideoMode::vmVMR) owner_->ReplaceRenderer();
  ApplyAspectRatio();
}

void TVMROptions::SetMode(TVMRVideoMode m) {
  if (m == mode_) return;
  mode_ = m;
  if (owner_ && owner_->Mode() == TVideoMode::vmVMR) owner_->ReplaceRenderer();
}

void TVMROptions::SetStreams(int n) {
  if (n < 1 || n > 16) n = 1;
  if (n == streams_) return;
  streams_ = n;
  if (owner_ && owner_->Mode() == TVideoMode::vmVMR) owner_->ReplaceRenderer();
}

void TVMROptions::SetPreferences(TVMRPreferences p) {
  p &= (1u << 6) - 1;
  if (p == preferences_) return;
  preferences_ = p;
  if (owner_ && owner_->Mode() == TVideoMode::vmVMR) owner_->ReplaceRenderer();
}

void TVMROptions::SetKeepAspectRatio(bool v) {
  keepAspectRatio_ = v;
  ApplyAspectRatio();
}

void TVMROptions::ApplyAspectRatio() {
  if (!owner_ || mode_ == TVMRVideoMode::vmrRenderless) return;
  TComPtr<IVMRAspectRatioControl9> control;
  if (FAILED(owner_->QueryInterface(IID_IVMRAspectRatioControl9, control.PutVoid())) || !control) return;
  CheckDSError(control->SetAspectRatioMode(keepAspectRatio_ ? VMR9ARMode_LetterBox : VMR9ARMode_None));
}

// ---- TVideoWindow ------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TVideoWindow)

void TVideoWindow::Publish(TPublisher<TVideoWindow>& p) {
  p.Enumeration(L"Mode", {L"vmNormal", L"vmVMR"}, &TVideoWindow::Mode, &TVideoWindow::SetMode);
  p.Object(L"FilterGraph", &TVideoWindow::FilterGraph, &TVideoWindow::SetFilterGraph);
  p.Object(L"VMROptions", &TVideoWindow::VMROptions, &TVideoWindow::SetVMROptions);
  p.Boolean(L"FullScreen", &TVideoWindow::FullScreen, &TVideoWindow::SetFullScreen);
  p.Boolean(L"FullScreenTopMost", &TVideoWindow::FullScreenTopMost, &TVideoWindow::SetFullScreenTopMost);
  PublishAlign(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishTabs(p);
}

TVideoWindow::TVideoWindow(TComponent* owner)
    : TCustomControl(owner), vmrOptions_(std::make_unique<TVMROptions>(this)), link_(this, this, this) {
  SetControlStyle(ControlStyle() | csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks);
  SetTabStop(true);
  SetBounds(Left(), Top(), 160, 120);
  SetColor(clBlack);
}

TVideoWindow::~TVideoWindow() {
  try {
    link_.Set(nullptr);
  } catch (...) {
    ReportTeardown(L"TVideoWindow");
  }
  ReleaseAllocator();
  windowless_.Reset();
  videoWindow_.Reset();
  renderer_.Reset();
}

void TVideoWindow::Notification(TComponent* c, TOperation op) {
  inherited::Notification(c, op);
  if (op == TOperation::opRemove) link_.Forget(c);
}

namespace {

// A VMR-9 made with the caller's floating-point settings kept.
HRESULT CreateVMR9(TComPtr<IBaseFilter>& filter) {
  TFpuControlGuard fpu;
  return ::CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            filter.PutVoid());
}

}  // namespace

void TVideoWindow::SetMode(TVideoMode m) {
  if (m == TVideoMode::vmVMR) {
    TComPtr<IBaseFilter> trial;
    if (FAILED(CreateVMR9(trial)) || !trial) m = TVideoMode::vmNormal;
  }
  if (m == mode_) return;
  mode_ = m;
  ReplaceRenderer();
}

void TVideoWindow::SetAllocatorClass(TVMRAllocatorClass allocatorClass, DWORD_PTR userId) {
  allocatorClass_ = std::move(allocatorClass);
  allocatorUserId_ = userId;
}

void TVideoWindow::ReplaceRenderer() {
  TFilterGraph* graph = link_.Get();
  if (!graph || !graph->Active()) return;
  // What fed the old renderer, input by input, and how the graph ran.
  std::vector<TComPtr<IPin>> feeding;
  if (renderer_) {
    TPinList pins(renderer_.Get());
    for (int i = 0; i < pins.Count(); ++i) {
      PIN_DIRECTION d = PINDIR_OUTPUT;
      if (FAILED(pins.GetPin(i)->QueryDirection(&d)) || d != PINDIR_INPUT) continue;
      TComPtr<IPin> peer;
      pins.GetPin(i)->ConnectedTo(peer.Put());
      feeding.push_back(peer);
    }
  }
  const TPlaybackState state = graph->State();
  // The renderer disconnects only its own pins when it goes: the upstream ends are freed here.
  if (TComPtr<IFilterGraph> fg = graph->Query<IFilterGraph>()) {
    graph->Stop();
    for (const TComPtr<IPin>& peer : feeding)
      if (peer) CheckDSError(fg->Disconnect(peer.Get()));
  }
  graph->RemoveFilterComponent(this);
  graph->AddFilterComponent(this);
  if (!renderer_) return;
  bool connected = false;
  if (auto builder = graph->Query<IGraphBuilder>()) {
    // A VMR-9 makes its Direct3D device when it connects (Wine's sets single precision then).
    TFpuControlGuard fpu;
    TPinList pins(renderer_.Get());
    size_t input = 0;
    for (int i = 0; i < pins.Count() && input < feeding.size(); ++i) {
      PIN_DIRECTION d = PINDIR_OUTPUT;
      if (FAILED(pins.GetPin(i)->QueryDirection(&d)) || d != PINDIR_INPUT) continue;
      if (const TComPtr<IPin>& peer = feeding[input++]) {
        CheckDSError(builder->Connect(peer.Get(), pins.GetPin(i)));
        connected = true;
      }
    }
  }
  if (!connected) return;
  if (state == psPlaying) graph->Play();
  else if (state == psPaused) graph->Pause();
}

HRESULT TVideoWindow::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IVMRWindowlessControl9 && windowless_) {
    windowless_->AddRef();
    *out = windowless_.Get();
    return S_OK;
  }
  if (renderer_) return renderer_->QueryInterface(iid, out);
  return E_NOINTERFACE;
}

bool TVideoWindow::HasConnectedPin() const {
  if (!renderer_) return false;
  TPinList pins(renderer_.Get());
  for (int i = 0; i < pins.Count(); ++i)
    if (pins.IsConnected(i)) return true;
  return false;
}

void TVideoWindow::RememberStyles() {
  if (windowStyle_ || !Parent()) return;
  windowStyle_ = ::GetWindowLongW(Handle(), GWL_STYLE) & ~(WS_VISIBLE | WS_DISABLED | WS_TABSTOP);
  windowStyleEx_ = ::GetWindowLongW(Handle(), GWL_EXSTYLE);
}

void TVideoWindow::Loaded() {
  inherited::Loaded();
  RememberStyles();
}

TComPtr<IBaseFilter> TVideoWindow::CreateRenderer() {
  TComPtr<IBaseFilter> renderer;
  if (mode_ == TVideoMode::vmNormal) {
    CheckDSError(::CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                    renderer.PutVoid()));
    return renderer;
  }
  CheckDSError(CreateVMR9(renderer));
  TComPtr<IVMRFilterConfig9> config;
  CheckDSError(renderer.As(config));
  switch (vmrOptions_->Mode()) {
    case TVMRVideoMode::vmrWindowed:
      CheckDSError(config->SetRenderingMode(VMR9Mode_Windowed));
      break;
    case TVMRVideoMode::vmrWindowless:
      CheckDSError(config->SetRenderingMode(VMR9Mode_Windowless));
      break;
    case TVMRVideoMode::vmrRenderless: {
      if (!allocatorClass_) throw EDSGraphException(L"Allocator class not set.");
      HRESULT hr = S_OK;
      TComPtr<IVMRSurfaceAllocator9> allocator = allocatorClass_(Handle(), hr);
      if (FAILED(hr) || !allocator) throw EDSGraphException(L"Error Creating Allocator", FAILED(hr) ? hr : E_POINTER);
      CheckDSError(config->SetRenderingMode(VMR9Mode_Renderless));
      TComPtr<IVMRSurfaceAllocatorNotify9> notify;
      CheckDSError(renderer.As(notify));
      CheckDSError(notify->AdviseSurfaceAllocator(allocatorUserId_, allocator.Get()));
      CheckDSError(allocator->AdviseNotify(notify.Get()));
      allocator_ = allocator;
      break;
    }
  }
  return renderer;
}

void TVideoWindow::ReleaseAllocator() {
  // The renderer keeps its own reference until it goes (Wine's cannot be advised a null
  // allocator); the allocator lets the renderer's notification go when its owner is done with it.
  allocator_.Reset();
}

void TVideoWindow::VMRAdded() {
  TComPtr<IVMRFilterConfig9> config;
  CheckDSError(renderer_.As(config));
  const TVMROptions& o = *vmrOptions_;
  const bool mixing = o.Streams() != 4 || o.Has(TVMRPreference::vpForceMixer);
  if (mixing) CheckDSError(config->SetNumberOfStreams(static_cast<DWORD>(o.Streams())));
  switch (o.Mode()) {
    case TVMRVideoMode::vmrWindowed:
      CheckDSError(renderer_.As(videoWindow_));
      break;
    case TVMRVideoMode::vmrWindowless: {
      CheckDSError(renderer_.As(windowless_));
      // The video is drawn into the control, over its client area. Wine's renderer keeps the
      // window and then fails to set a stream count of its own when one is set already.
      HRESULT hr = windowless_->SetVideoClippingWindow(Handle());
      if (!(mixing && hr == VFW_E_WRONG_STATE)) CheckDSError(hr);
      PlaceRenderer();
      break;
    }
    case TVMRVideoMode::vmrRenderless:
      break;
  }
  // Of the preferences the VMR-9 has one rendering preference: no border or colour key around
  // the video. A renderer that cannot tell its preferences is left as it is.
  DWORD prefs = 0;
  if (SUCCEEDED(config->GetRenderingPrefs(&prefs))) {
    const DWORD want = o.Has(TVMRPreference::vpDoNotRenderColorKeyAndBorder)
                           ? (prefs | RenderPrefs9_DoNotRenderBorder)
                           : (prefs & ~static_cast<DWORD>(RenderPrefs9_DoNotRenderBorder));
    if (want != prefs) CheckDSError(config->SetRenderingPrefs(want));
  }
  vmrOptions_->ApplyAspectRatio();
}

void TVideoWindow::FilterNotify(TFilterNotification what, intptr_t) {
  switch (what) {
    case TFilterNotification::fnAdding:
      renderer_ = CreateRenderer();
      break;
    case TFilterNotification::fnAdded:
      if (!renderer_) break;
      if (mode_ == TVideoMode::vmNormal) CheckDSError(renderer_.As(videoWindow_));
      else VMRAdded();
      break;
    case TFilterNotification::fnRemoving:
      if (renderer_) {
        CheckDSError(renderer_->Stop());
        TPinList pins(renderer_.Get());
        for (int i = 0; i < pins.Count(); ++i) CheckDSError(pins.GetPin(i)->Disconnect());
      }
      ReleaseAllocator();
      break;
    case TFilterNotification::fnRemoved:
      if (videoWindow_) {
        // The renderer's window leaves the form before the renderer goes.
        videoWindow_->put_Visible(OAFALSE);
        videoWindow_->put_MessageDrain(0);
        videoWindow_->put_Owner(0);
      }
      ReleaseAllocator();
      windowless_.Reset();
      videoWindow_.Reset();
      renderer_.Reset();
      isFullScreen_ = false;
      if (HandleAllocated()) Invalidate();
      break;
    case TFilterNotification::fnRefresh:
      break;
  }
}

void TVideoWindow::ApplyWindowSettings() {
  SetFullScreen(fullScreen_);
  if (!Name().empty()) CheckDSError(videoWindow_->put_Caption(const_cast<BSTR>(Name().c_str())));
  CheckDSError(videoWindow_->put_MessageDrain(reinterpret_cast<OAHWND>(Handle())));
}

void TVideoWindow::HandleControlEvent(TGraphControlEvent event, intptr_t) {
  if (event != TGraphControlEvent::gcPlay || !HasConnectedPin()) return;
  if (mode_ == TVideoMode::vmNormal) {
    if (videoWindow_) ApplyWindowSettings();
  } else {
    SetFullScreen(fullScreen_);
  }
}

void TVideoWindow::HandleGraphEvent(long code, LONG_PTR, LONG_PTR) {
  if (code == EC_PALETTE_CHANGED && videoWindow_) {
    ApplyWindowSettings();
  } else if (code == EC_VMR_RENDERDEVICE_SET && videoWindow_ && vmrOptions_->Mode() == TVMRVideoMode::vmrWindowed) {
    if (!Name().empty()) CheckDSError(videoWindow_->put_Caption(const_cast<BSTR>(Name().c_str())));
    CheckDSError(videoWindow_->put_MessageDrain(reinterpret_cast<OAHWND>(Handle())));
  }
}

namespace {

// put_WindowStyleEx through CheckDSError. Wine's renderer answers E_FAIL when the window's previous
// extended style was 0 (it reads SetWindowLong's answer as a failure) although the style is set:
// a failure with the style in place is a success.
void PutStyleEx(IVideoWindow* w, LONG style) {
  HRESULT hr = w->put_WindowStyleEx(style);
  long now = 0;
  if (FAILED(hr) && SUCCEEDED(w->get_WindowStyleEx(&now)) && now == style) hr = S_OK;
  CheckDSError(hr);
}

}  // namespace

void TVideoWindow::SetFullScreen(bool v) {
  // The renderer's window is as visible as the control (the style replaces its visibility).
  auto Shown = [this]() -> LONG { return Visible() ? WS_VISIBLE : 0; };
  if (videoWindow_ && HasConnectedPin()) {
    RememberStyles();
    if (v) {
      CheckDSError(videoWindow_->put_Owner(0));
      CheckDSError(videoWindow_->put_WindowStyle((windowStyle_ & static_cast<LONG>(0xFF3BFFFF)) | Shown()));
      LONG ex = windowStyleEx_ & static_cast<LONG>(0xFFFDFCFE);
      if (fullScreenTopMost_) ex |= WS_EX_TOPMOST;
      PutStyleEx(videoWindow_.Get(), ex);
      CheckDSError(videoWindow_->SetWindowPosition(0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                                                   ::GetSystemMetrics(SM_CYSCREEN)));
      isFullScreen_ = true;
    } else {
      HWND parent = Parent() ? Parent()->Handle() : nullptr;
      CheckDSError(videoWindow_->put_Owner(reinterpret_cast<OAHWND>(parent)));
      CheckDSError(videoWindow_->put_WindowStyle(windowStyle_ | WS_CHILD | WS_CLIPSIBLINGS | Shown()));
      PutStyleEx(videoWindow_.Get(), windowStyleEx_);
      CheckDSError(videoWindow_->SetWindowPosition(Left(), Top(), Width(), Height()));
      isFullScreen_ = false;
      // Back among the parent's children: above the control it covers.
      if (HWND video = VideoHandle(); video && video != HandleIfAllocated())
        ::SetWindowPos(video, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  // Windowless video stays inside the control.
  if (windowless_) isFullScreen_ = false;
  fullScreen_ = v;
}

void TVideoWindow::SetFullScreenTopMost(bool v) {
  fullScreenTopMost_ = v;
  if (fullScreen_) SetFullScreen(true);
}

void TVideoWindow::SetVisible(bool v) {
  inherited::SetVisible(v);
  if (videoWindow_) CheckDSError(videoWindow_->put_Visible(v ? OATRUE : OAFALSE));
}

namespace {

struct TRendererSearch {
  std::wstring caption;
  HWND found;
};

BOOL CALLBACK FindRendererWindow(HWND w, LPARAM l) {
  auto* s = reinterpret_cast<TRendererSearch*>(l);
  if (::GetParent(w) != ::GetAncestor(w, GA_PARENT) || FindControl(w)) return TRUE;
  wchar_t text[256] = {};
  ::GetWindowTextW(w, text, 256);
  if (s->caption == text) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND TVideoWindow::VideoHandle() {
  if (!videoWindow_ || !Parent() || !Parent()->HandleAllocated()) return HandleAllocated() ? Handle() : nullptr;
  // The renderer's window: a child of our parent that this layer did not make, captioned with our
  // name. Its class differs between systems ("VideoRenderer", "wine_quartz_window").
  TRendererSearch search{Name(), nullptr};
  ::EnumChildWindows(Parent()->Handle(), &FindRendererWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void TVideoWindow::ApplyBounds(int left, int top, int width, int height) {
  inherited::ApplyBounds(left, top, width, height);
  PlaceRenderer();
}

void TVideoWindow::Resize() {
  inherited::Resize();
  PlaceRenderer();
}

void TVideoWindow::PlaceRenderer() {
  if (windowless_) {
    RECT r{0, 0, Width(), Height()};
    windowless_->SetVideoPosition(nullptr, &r);
  } else if (videoWindow_ && !isFullScreen_) {
    videoWindow_->SetWindowPosition(Left(), Top(), Width(), Height());
  }
}

void TVideoWindow::Paint() {
  TCanvas* canvas = Canvas();
  canvas->Brush()->SetColor(Color());
  canvas->FillRect(ClientRect());
  // Windowless, the renderer draws the current picture (and its borders) into the control again.
  if (windowless_) windowless_->RepaintVideo(Handle(), canvas->Handle());
  if (OnPaint) OnPaint(this);
}

void TVideoWindow::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (isFullScreen_) {
    POINT p{};
    ::GetCursorPos(&p);
    x = p.x;
    y = p.y;
  }
  inherited::MouseDown(button, shift, x, y);
}

void TVideoWindow::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (isFullScreen_) {
    POINT p{};
    ::GetCursorPos(&p);
    x = p.x;
    y = p.y;
  }
  inherited::MouseUp(button, shift, x, y);
}

void TVideoWindow::MouseMove(TShiftState shift, int x, int y) {
  if (isFullScreen_) {
    POINT p{};
    ::GetCursorPos(&p);
    x = p.x;
    y = p.y;
  }
  inherited::MouseMove(shift, x, y);
}

void TVideoWindow::WndProc(TMessage& m) {
  // Full screen, the point of a context menu message is the renderer window's, drained into ours:
  // the menu comes up where the cursor is.
  if (m.Msg == WM_CONTEXTMENU && fullScreen_) {
    auto* menu = dynamic_cast<TPopupMenu*>(PopupMenu());
    if (menu && menu->AutoPopup()) {
      POINT p{};
      ::GetCursorPos(&p);
      menu->SetPopupComponent(this);
      menu->Popup(p.x, p.y);
      m.Result = 1;
      return;
    }
  }
  inherited::WndProc(m);
}

// ---- TDSTrackBar -------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TDSTrackBar)

void TDSTrackBar::Publish(TPublisher<TDSTrackBar>& p) {
  p.Object(L"FilterGraph", &TDSTrackBar::FilterGraph, &TDSTrackBar::SetFilterGraph);
  p.Integer(L"TimerInterval", &TDSTrackBar::TimerInterval, &TDSTrackBar::SetTimerInterval);
}

// ---- TDSTrackBarCore ---------------------------------------------------------------------------
TDSTrackBarCore::TDSTrackBarCore(TObject* sender, THost host)
    : sender_(sender), host_(std::move(host)), window_([this](TMessage& m) { WindowProc(m); }) {}

TDSTrackBarCore::~TDSTrackBarCore() {
  ::KillTimer(window_.Handle(), 1);
  try {
    Unbind();
  } catch (...) {
    ReportTeardown(L"TDSTrackBar");
  }
}

void TDSTrackBarCore::Bind(TFilterGraph* graph) {
  if (graph == graph_) return;
  if (graph_) graph_->RemoveEventComponent(this);
  seeking_.Reset();
  EnableTimer(false);
  graph_ = graph;
  if (graph_) {
    graph_->AddEventComponent(this);
    // Bound to a graph that is already active: follow it at once.
    if (graph_->Active()) seeking_ = graph_->Query<IMediaSeeking>();
  }
}

void TDSTrackBarCore::WindowProc(TMessage& m) {
  if (m.Msg == WM_TIMER && m.WParam == 1) {
    Timer();
    return;
  }
  m.Result = ::DefWindowProcW(window_.Handle(), m.Msg, m.WParam, m.LParam);
}

void TDSTrackBarCore::SetTimerInterval(int ms) {
  interval_ = ms;
  UpdateTimer();
}

void TDSTrackBarCore::SetOnTimer(TDSTrackBarTimerEvent e) {
  onTimer_ = std::move(e);
  UpdateTimer();
}

void TDSTrackBarCore::EnableTimer(bool on) {
  timerEnabled_ = on;
  UpdateTimer();
}

void TDSTrackBarCore::UpdateTimer() {
  ::KillTimer(window_.Handle(), 1);
  if (interval_ > 0 && timerEnabled_ && !::SetTimer(window_.Handle(), 1, static_cast<UINT>(interval_), nullptr))
    throw EOutOfResources(L"Not enough timers available");
}

void TDSTrackBarCore::Timer() {
  if (dragging_ || !seeking_ || interval_ <= 0) return;
  LONGLONG duration = 0, position = 0;
  if (FAILED(seeking_->GetDuration(&duration)) || FAILED(seeking_->GetCurrentPosition(&position))) return;
  const int durationMs = RefTimeToMilliseconds(duration);
  const int positionMs = RefTimeToMilliseconds(position);
  max_ = durationMs / interval_;
  if (host_.SetRange) host_.SetRange(0, max_, positionMs / interval_);
  if (onTimer_) onTimer_(sender_, positionMs, durationMs);
}

LONGLONG TDSTrackBarCore::SeekTarget(LONGLONG stop, int position, int max) {
  if (max <= 0 || stop <= 0) return 0;
  position = std::clamp(position, 0, max);
  return stop / max * position + stop % max * position / max;
}

bool TDSTrackBarCore::SeekToPosition(int position) {
  if (!seeking_) return false;
  // A file shorter than one interval gives no range: there is nothing to seek to.
  if (max_ <= 0) return false;
  LONGLONG stop = 0;
  if (FAILED(seeking_->GetStopPosition(&stop))) return false;
  LONGLONG target = SeekTarget(stop, position, max_);
  return SUCCEEDED(seeking_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning));
}

void TDSTrackBarCore::MouseDown(TMouseButton button) {
  if (button == TMouseButton::mbLeft) dragging_ = true;
}

void TDSTrackBarCore::MouseUp(TMouseButton button) {
  struct TEnd {
    bool& flag;
    ~TEnd() { flag = false; }
  } end{dragging_};
  if (button == TMouseButton::mbLeft && seeking_) SeekToPosition(host_.Position ? host_.Position() : 0);
}

void TDSTrackBarCore::HandleControlEvent(TGraphControlEvent event, intptr_t param) {
  switch (event) {
    case TGraphControlEvent::gcPlay:
      EnableTimer(host_.Enabled ? host_.Enabled() : true);
      break;
    case TGraphControlEvent::gcPause:
    case TGraphControlEvent::gcStop:
      EnableTimer(false);
      break;
    case TGraphControlEvent::gcActivate:
      if (param == 1 && graph_) seeking_ = graph_->Query<IMediaSeeking>();
      else seeking_.Reset();
      break;
    default:
      break;
  }
}

void TDSTrackBarCore::HandleGraphEvent(long code, LONG_PTR, LONG_PTR) {
  if (code != EC_CLOCK_CHANGED || !seeking_) return;
  LONGLONG duration = 0, zero = 0;
  seeking_->GetDuration(&duration);
  seeking_->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_NoPositioning);
}

}  // namespace kivo
