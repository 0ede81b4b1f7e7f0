// DSGraph: the filter graph component and the components that put filters into it or follow it:
// TFilterGraph, TFilter, TSampleGrabber, TVideoWindow and the seek bar TDSTrackBar.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <servprov.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "Controls.h"
#include "DSUtil.h"
#include "Forms.h"

// Interface ids of control.h that MinGW's header leaves out of __uuidof.
__CRT_UUID_DECL(IMediaEvent, 0x56a868b6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IBasicAudio, 0x56a868b3, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IBasicVideo, 0x56a868b5, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)

namespace kivo {

// Not defined by every SDK's qedit.h.
inline constexpr CLSID CLSID_SampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
inline constexpr CLSID CLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

class TFilterGraph;

enum class TGraphMode { gmNormal, gmCapture, gmDVD };
enum class TFilterNotification { fnAdding, fnAdded, fnRemoving, fnRemoved, fnRefresh };
enum class TGraphControlEvent { gcPlay, gcPause, gcStop, gcFileRendering, gcFileRendered, gcActivate };
// 0 no graph or unknown, 1 stopped, 2 paused, 3 playing.
using TPlaybackState = int;
constexpr TPlaybackState psNoGraph = 0, psStopped = 1, psPaused = 2, psPlaying = 3;

// A component that puts a filter into a TFilterGraph. The calls come from the graph component on
// its own thread; they may raise (EDirectShowException), which ends the graph operation under way.
// {887F94DA-29E9-44C6-B48E-1FBF0FB59878}
class IGraphFilter {
 public:
  static constexpr GUID Iid = {0x887F94DA, 0x29E9, 0x44C6, {0xB4, 0x8E, 0x1F, 0xBF, 0x0F, 0xB5, 0x98, 0x78}};
  virtual IBaseFilter* QueryFilter() = 0;  // not counted; null while inactive
  virtual std::wstring QueryFilterName() = 0;
  virtual void FilterNotify(TFilterNotification what, intptr_t param) = 0;

 protected:
  ~IGraphFilter() = default;
};

// A component that follows a TFilterGraph's events.
// {6C0DCD7B-1A98-44EF-A6D5-E23CBC24E620}
class IGraphEvents {
 public:
  static constexpr GUID Iid = {0x6C0DCD7B, 0x1A98, 0x44EF, {0xA6, 0xD5, 0xE2, 0x3C, 0xBC, 0x24, 0xE6, 0x20}};
  virtual void HandleGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) = 0;
  virtual void HandleControlEvent(TGraphControlEvent event, intptr_t param) = 0;

 protected:
  ~IGraphEvents() = default;
};

// The graph's events (component events, fired on the GUI thread).
using TDSEvent = std::function<void(TObject* sender, long event, LONG_PTR param1, LONG_PTR param2)>;
using TResultEvent = std::function<void(TObject* sender, HRESULT result)>;
using TCompleteEvent = std::function<void(TObject* sender, HRESULT result, IBaseFilter* renderer)>;
using TOperationEvent = std::function<void(TObject* sender, HRESULT operation, LONG_PTR value)>;
using TSizeEvent = std::function<void(TObject* sender, int width, int height)>;
using TBoolEvent = std::function<void(TObject* sender, bool value)>;
using TUnknownEvent = std::function<void(TObject* sender, IUnknown* object)>;
using TOleEvent = std::function<void(TObject* sender, const std::wstring& string1, const std::wstring& string2)>;
using TStreamControlEvent = std::function<void(TObject* sender, IPin* pinSender, LONG_PTR cookie)>;
using TEndOfSegmentEvent = std::function<void(TObject* sender, REFERENCE_TIME streamTime, long numSegment)>;
using TDeviceLostEvent = std::function<void(TObject* sender, IUnknown* device, bool removed)>;
using TPairEvent = std::function<void(TObject* sender, LONG_PTR p1, LONG_PTR p2)>;
using TSelectedFilterEvent = std::function<bool(IMoniker* moniker, const std::wstring& filterName, const GUID& classID)>;
using TCreatedFilterEvent = std::function<bool(IBaseFilter* filter, const GUID& classID)>;
using TUnableToRenderEvent = std::function<bool(IPin* pin)>;

// The private service through which a graph's callbacks find their TFilterGraph.
// {C7CAA944-C191-4AB1-ABA7-D8B40EF4D5B2}
inline constexpr GUID kFilterGraphService = {0xC7CAA944, 0xC191, 0x4AB1, {0xAB, 0xA7, 0xD8, 0xB4, 0x0E, 0xF4, 0xD5, 0xB2}};

// Owns one filter graph. The COM interfaces it implements are not counted: the component lives as
// long as its owner says; the graph it gives them to is released before it goes.
class TFilterGraph : public TComponent, public IServiceProvider, public IAMGraphBuilderCallback,
                     public IAMFilterGraphCallback {
  KIVO_CLASS(TFilterGraph, TComponent)
  static void Publish(TPublisher<TFilterGraph>& p);
  explicit TFilterGraph(TComponent* owner);
  ~TFilterGraph() override;
  void BeforeDestruction() override;

  // IUnknown: the component's own interfaces; then, while active, the graph objects' by mode.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  template <class I>
  TComPtr<I> Query() {
    TComPtr<I> p;
    if (FAILED(QueryInterface(__uuidof(I), p.PutVoid()))) p.Reset();
    return p;
  }

  bool Active() const { return active_; }
  void SetActive(bool v);
  bool AutoCreate() const { return autoCreate_; }
  void SetAutoCreate(bool v) { autoCreate_ = v; }
  TGraphMode Mode() const { return mode_; }
  void SetMode(TGraphMode m);
  bool GraphEdit() const { return graphEdit_; }
  void SetGraphEdit(bool v);
  bool LinearVolume() const { return linearVolume_; }
  void SetLinearVolume(bool v);
  std::wstring LogFile() const { return logFile_; }
  void SetLogFile(const std::wstring& name);
  int Volume() const { return volume_; }
  void SetVolume(int v);
  int Balance() const { return balance_; }
  void SetBalance(int b);
  double Rate() const { return rate_; }
  void SetRate(double r);
  // The Running Object Table cookie (0 when not registered).
  DWORD RotCookie() const { return rotCookie_; }
  // The hidden window that receives the graph's notifications.
  HWND EventWindow() const { return window_ ? window_->Handle() : nullptr; }

  bool Play();
  bool Pause();
  bool Stop();
  TPlaybackState State();
  void ClearGraph();
  void DisconnectAll();
  HRESULT RenderFile(const std::wstring& fileName);

  // Called by the bound components when their FilterGraph changes.
  void AddFilterComponent(IGraphFilter* c);
  void RemoveFilterComponent(IGraphFilter* c);
  void AddEventComponent(IGraphEvents* c);
  void RemoveEventComponent(IGraphEvents* c);

  TNotifyEvent OnActivate;
  TDSEvent OnDSEvent;
  TCompleteEvent OnGraphComplete;
  TNotifyEvent OnGraphUserAbort;
  TResultEvent OnGraphErrorAbort;
  TOperationEvent OnGraphStreamErrorStopped;
  TOperationEvent OnGraphStreamErrorStillPlaying;
  TResultEvent OnGraphErrorStillPlaying;
  TNotifyEvent OnGraphPaletteChanged;
  TSizeEvent OnGraphVideoSizeChanged;
  TNotifyEvent OnGraphQualityChange;
  TNotifyEvent OnGraphClockChanged;
  TResultEvent OnGraphPaused;
  TBoolEvent OnGraphOpeningFile;
  TBoolEvent OnGraphBufferingData;
  TUnknownEvent OnGraphFullscreenLost;
  TOleEvent OnGraphOleEvent;
  TStreamControlEvent OnGraphStreamControlStopped;
  TStreamControlEvent OnGraphStreamControlStarted;
  TEndOfSegmentEvent OnGraphEndOfSegment;
  TDeviceLostEvent OnGraphDeviceLost;
  TNotifyEvent OnGraphStepComplete;
  TPairEvent OnGraphTimeCodeAvailable;
  TPairEvent OnGraphEXTDeviceModeChange;
  TNotifyEvent OnGraphChanged;
  TNotifyEvent OnGraphClockUnset;
  TUnknownEvent OnGraphVMRRenderDevice;
  TPairEvent OnGraphSNDDevInError;
  TPairEvent OnGraphSNDDevOutError;
  TSelectedFilterEvent OnSelectedFilter;
  TCreatedFilterEvent OnCreatedFilter;
  TUnableToRenderEvent OnUnableToRender;

  // IServiceProvider: the private service answers this component (not counted).
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;
  // IAMGraphBuilderCallback, IAMFilterGraphCallback: the handlers decide; no exception leaves them.
  HRESULT STDMETHODCALLTYPE SelectedFilter(IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE CreatedFilter(IBaseFilter* filter) override;
  HRESULT UnableToRender(IPin* pin) override;

 protected:
  // One graph event: the bound event components, OnDSEvent, then the event's own handler.
  virtual void DoEvent(long code, LONG_PTR param1, LONG_PTR param2);
  void Loaded() override;
  void BroadcastControlEvent(TGraphControlEvent event, intptr_t param = 0);
  void BroadcastGraphEvent(long code, LONG_PTR param1, LONG_PTR param2);

 private:
  void Activate();
  void Deactivate();
  void ReleaseGraph();
  void StopForRemoval();
  void AddAllFilters();
  void RemoveAllFilters();
  void AddFilterOf(IGraphFilter* c);
  void RemoveFilterOf(IGraphFilter* c);
  void ApplyAudioAndRate();
  void ApplyLog(const std::wstring& name);
  void EventWindowProc(TMessage& m);
  void DrainEvents();
  void FireEvent(long code, LONG_PTR p1, LONG_PTR p2);

  std::unique_ptr<TUtilWindow> window_;
  bool active_ = false;
  bool autoCreate_ = false;
  TGraphMode mode_ = TGraphMode::gmNormal;
  bool graphEdit_ = false;
  bool linearVolume_ = true;
  std::wstring logFile_;
  int volume_ = 10000;
  int balance_ = 0;
  double rate_ = 1.0;
  TComPtr<IFilterGraph2> graph_;
  TComPtr<ICaptureGraphBuilder2> capture_;
  TComPtr<IDvdGraphBuilder> dvd_;
  TComPtr<IMediaEventEx> events_;
  DWORD rotCookie_ = 0;
  TFileOwner log_;
  std::vector<IGraphFilter*> filters_;
  std::vector<IGraphEvents*> eventComponents_;
};

constexpr UINT WM_GRAPHNOTIFY = WM_APP + 1;

// Keeps a component's FilterGraph reference: binds and unbinds it, and forgets a graph that is
// freed first.
class TGraphLink {
 public:
  TGraphLink(TComponent* self, IGraphFilter* filter, IGraphEvents* events)
      : self_(self), filter_(filter), events_(events) {}
  TFilterGraph* Get() const { return graph_; }
  void Set(TFilterGraph* graph);
  // From the component's Notification: the graph is going.
  void Forget(TComponent* c);

 private:
  TComponent* self_;
  IGraphFilter* filter_;
  IGraphEvents* events_;
  TFilterGraph* graph_ = nullptr;
};

// ---- TFilter -----------------------------------------------------------------------------------
// One filter, kept as its stored moniker and bound when the graph activates.
class TFilter : public TComponent, public IGraphFilter {
  KIVO_CLASS(TFilter, TComponent)
  static void Publish(TPublisher<TFilter>& p);
  explicit TFilter(TComponent* owner);
  ~TFilter() override;

  TBaseFilter* BaseFilter() const { return baseFilter_.get(); }
  void SetBaseFilter(TBaseFilter* v) { baseFilter_->Assign(v); }
  TFilterGraph* FilterGraph() const { return link_.Get(); }
  void SetFilterGraph(TFilterGraph* g) { link_.Set(g); }
  // Own interfaces, then the bound filter's.
  HRESULT QueryInterface(REFIID iid, void** out);

  IBaseFilter* QueryFilter() override { return filter_.Get(); }
  std::wstring QueryFilterName() override { return Name(); }
  void FilterNotify(TFilterNotification what, intptr_t param) override;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  std::unique_ptr<TBaseFilter> baseFilter_;
  TComPtr<IBaseFilter> filter_;
  TGraphLink link_;
};

// ---- TSampleGrabber ----------------------------------------------------------------------------
// One media sample, on the streaming thread. The buffer is valid only during the call.
using TBufferCBEvent = std::function<void(TObject* sender, double sampleTime, BYTE* buffer, long bufferLen)>;
// How a failure inside OnBuffer is reported (on the streaming thread): the handler's exception
// stops there. The default writes its message to the debugger output.
using TBufferErrorEvent = std::function<void(TObject* sender, const std::exception* e)>;

class TSampleGrabber : public TComponent, public IGraphFilter, public ISampleGrabberCB {
  KIVO_CLASS(TSampleGrabber, TComponent)
  static void Publish(TPublisher<TSampleGrabber>& p);
  explicit TSampleGrabber(TComponent* owner);
  ~TSampleGrabber() override;

  TFilterGraph* FilterGraph() const { return link_.Get(); }
  void SetFilterGraph(TFilterGraph* g) { link_.Set(g); }
  TMediaType* MediaType() const { return mediaType_.get(); }
  void SetMediaType(TMediaType* v) { mediaType_->Assign(v); }
  // The Sample Grabber's ISampleGrabber (null while inactive) and its pins.
  ISampleGrabber* SampleGrabber() const { return grabber_.Get(); }
  IPin* InPin() const { return inPin_.Get(); }
  IPin* OutPin() const { return outPin_.Get(); }
  // Stops the filter, disconnects its input and gives it the media type (only while held).
  void ApplyMediaType();

  TBufferCBEvent OnBuffer;
  TBufferErrorEvent OnBufferError;

  // IUnknown: own interfaces, then the grabber filter's. Not counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, long bufferLen) override;

  IBaseFilter* QueryFilter() override { return filter_.Get(); }
  std::wstring QueryFilterName() override { return Name(); }
  void FilterNotify(TFilterNotification what, intptr_t param) override;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  std::unique_ptr<TMediaType> mediaType_;
  TCriticalSection bufferLock_;
  bool delivering_ = false;  // under bufferLock_: callbacks reach OnBuffer
  TComPtr<IBaseFilter> filter_;
  TComPtr<ISampleGrabber> grabber_;
  TComPtr<IPin> inPin_, outPin_;
  TGraphLink link_;
};

// ---- TVideoWindow ------------------------------------------------------------------------------
enum class TVideoMode { vmNormal, vmVMR };

// A control showing the classic Video Renderer's window over itself (its window is re-parented to
// the control's parent and drains its input into the control), or over the whole screen.
class TVideoWindow : public TCustomControl, public IGraphFilter, public IGraphEvents {
  KIVO_CLASS(TVideoWindow, TCustomControl)
  static void Publish(TPublisher<TVideoWindow>& p);
  explicit TVideoWindow(TComponent* owner);
  ~TVideoWindow() override;

  TVideoMode Mode() const { return mode_; }
  // Only vmNormal is built: vmVMR is stored as vmNormal.
  void SetMode(TVideoMode m);
  TFilterGraph* FilterGraph() const { return link_.Get(); }
  void SetFilterGraph(TFilterGraph* g) { link_.Set(g); }
  bool FullScreen() const { return fullScreen_; }
  void SetFullScreen(bool v);
  bool FullScreenTopMost() const { return fullScreenTopMost_; }
  void SetFullScreenTopMost(bool v);
  void SetVisible(bool v) override;
  // The renderer's window (a child of the control's parent named after the component), or the
  // control's own window when there is no renderer window.
  HWND VideoHandle();
  bool HasConnectedPin() const;
  IVideoWindow* VideoWindow() const { return videoWindow_.Get(); }
  // Own interfaces, then the renderer's.
  HRESULT QueryInterface(REFIID iid, void** out);

  TNotifyEvent OnPaint;

  IBaseFilter* QueryFilter() override { return renderer_.Get(); }
  std::wstring QueryFilterName() override { return Name(); }
  void FilterNotify(TFilterNotification what, intptr_t param) override;
  void HandleGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) override;
  void HandleControlEvent(TGraphControlEvent event, intptr_t param) override;
  // While FullScreen, WM_CONTEXTMENU opens PopupMenu (a TPopupMenu with AutoPopup) at the cursor.
  void WndProc(TMessage& m) override;

 protected:
  void Paint() override;
  void Loaded() override;
  void Notification(TComponent* c, TOperation op) override;
  void Resize() override;
  void ApplyBounds(int left, int top, int width, int height) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;

 private:
  void ApplyWindowSettings();
  void PlaceRenderer();
  void RememberStyles();

  TVideoMode mode_ = TVideoMode::vmNormal;
  bool fullScreen_ = false;
  bool fullScreenTopMost_ = false;
  bool isFullScreen_ = false;  // the renderer window covers the screen now
  LONG windowStyle_ = 0, windowStyleEx_ = 0;
  TComPtr<IBaseFilter> renderer_;
  TComPtr<IVideoWindow> videoWindow_;
  TGraphLink link_;
};

// ---- Seek bar ----------------------------------------------------------------------------------
using TDSTrackBarTimerEvent = std::function<void(TObject* sender, int currentPos, int stopPos)>;

// What a track bar needs to follow a graph and seek in it. TDSTrackBar is a track bar with one of
// these; the track bar control itself is reached through the three hooks.
class TDSTrackBarCore : public IGraphEvents {
 public:
  struct THost {
    std::function<bool()> Enabled;
    std::function<int()> Position;
    // Min, Max, Position.
    std::function<void(int, int, int)> SetRange;
  };
  TDSTrackBarCore(TObject* sender, THost host);
  ~TDSTrackBarCore();

  TFilterGraph* FilterGraph() const { return graph_; }
  int TimerInterval() const { return interval_; }
  void SetTimerInterval(int ms);
  const TDSTrackBarTimerEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TDSTrackBarTimerEvent e);
  bool TimerEnabled() const { return timerEnabled_; }
  bool Dragging() const { return dragging_; }
  IMediaSeeking* MediaSeeking() const { return seeking_.Get(); }
  // The track bar's maximum as the last tick set it.
  int Max() const { return max_; }

  // The track bar's mouse: a left press starts dragging; a release seeks (left button only).
  void MouseDown(TMouseButton button);
  void MouseUp(TMouseButton button);
  void EndDrag() { dragging_ = false; }
  // One tick: position and duration onto the track bar, then OnTimer.
  void Timer();
  // The seek of a release at the track bar's position; false when nothing could be sought
  // (no seeking, no range yet, or the graph refused).
  bool SeekToPosition(int position);
  // target = stop * position / max in 64 bits, clamped to 0..stop; 0 without a range.
  static LONGLONG SeekTarget(LONGLONG stop, int position, int max);

  void HandleGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) override;
  void HandleControlEvent(TGraphControlEvent event, intptr_t param) override;

  // For the owner's FilterGraph setter and its Notification.
  void Bind(TFilterGraph* graph);
  void Unbind() { Bind(nullptr); }
  // The graph is being destroyed: forget it without calling it.
  void Forget() {
    graph_ = nullptr;
    seeking_.Reset();
  }

 private:
  void EnableTimer(bool on);
  void UpdateTimer();
  void WindowProc(TMessage& m);

  TObject* sender_;
  THost host_;
  TUtilWindow window_;
  TFilterGraph* graph_ = nullptr;
  int interval_ = 1000;
  TDSTrackBarTimerEvent onTimer_;
  bool timerEnabled_ = false;
  bool dragging_ = false;
  int max_ = 0;
  TComPtr<IMediaSeeking> seeking_;
};

// A track bar class B extended with TDSTrackBarCore (TDSTrackBar below is the one on forms).
// B needs Position(), Min(), Max(), SetMin(int), SetMax(int), SetPosition(int) and the control's
// Enabled(), MouseDown, MouseUp and Notification.
template <class B>
class TDSTrackBarOf : public B {
 public:
  explicit TDSTrackBarOf(TComponent* owner) : B(owner), core_(this, MakeHost()) {}

  TFilterGraph* FilterGraph() const { return core_.FilterGraph(); }
  void SetFilterGraph(TFilterGraph* graph) {
    if (TFilterGraph* old = core_.FilterGraph()) this->RemoveFreeNotification(old);
    core_.Bind(graph);
    if (graph) this->FreeNotification(graph);
  }
  int TimerInterval() const { return core_.TimerInterval(); }
  void SetTimerInterval(int ms) { core_.SetTimerInterval(ms); }
  const TDSTrackBarTimerEvent& OnTimer() const { return core_.OnTimer(); }
  void SetOnTimer(TDSTrackBarTimerEvent e) { core_.SetOnTimer(std::move(e)); }
  TDSTrackBarCore& Core() { return core_; }

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    core_.MouseDown(button);
    B::MouseDown(button, shift, x, y);
  }
  // The inherited handling first, then the seek, which also ends the drag.
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    try {
      B::MouseUp(button, shift, x, y);
    } catch (...) {
      core_.EndDrag();
      throw;
    }
    core_.MouseUp(button);
  }
  void Notification(TComponent* c, TOperation op) override {
    B::Notification(c, op);
    if (op == TOperation::opRemove && c && c == static_cast<TComponent*>(core_.FilterGraph())) core_.Forget();
  }

 private:
  TDSTrackBarCore::THost MakeHost() {
    TDSTrackBarCore::THost host;
    host.Enabled = [this] { return this->Enabled(); };
    host.Position = [this] { return this->Position(); };
    host.SetRange = [this](int mn, int mx, int pos) {
      this->SetMin(mn);
      this->SetMax(mx);
      this->SetPosition(pos);
    };
    return host;
  }
  TDSTrackBarCore core_;
};

// The seek bar: a track bar that shows the graph's position once per TimerInterval while it
// plays and seeks there when the user lets the thumb go.
class TDSTrackBar : public TDSTrackBarOf<TTrackBar> {
  KIVO_CLASS(TDSTrackBar, TDSTrackBarOf<TTrackBar>)
  static void Publish(TPublisher<TDSTrackBar>& p);
  explicit TDSTrackBar(TComponent* owner) : TDSTrackBarOf<TTrackBar>(owner) {}
};

}  // namespace kivo
