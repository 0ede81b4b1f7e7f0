// DSGraph: the filter graph component and the components that put filters into it or follow it:
// TFilterGraph, TFilter, TSampleGrabber, TVideoWindow and the seek bar TDSTrackBar.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <d3d9.h>
#include <dvdevcod.h>
#include <qedit.h>
#include <servprov.h>
#include <vmr9.h>

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

// The toolkit's own failures (not those of a DirectShow call): the message and, where there is
// one, the failure code (S_OK when there is none).
class EDSGraphException : public Exception {
 public:
  explicit EDSGraphException(std::wstring message, HRESULT code = S_OK)
      : Exception(std::move(message)), ResultCode(code) {}
  const wchar_t* ClassName() const noexcept override { return L"EDSGraphException"; }
  HRESULT ResultCode;
};

// Keeps the calling thread's floating-point control words (x87 and, where there is one, SSE)
// across calls that may change them: Direct3D sets single precision when it starts.
class TFpuControlGuard {
 public:
  TFpuControlGuard() noexcept;
  ~TFpuControlGuard();
  TFpuControlGuard(const TFpuControlGuard&) = delete;
  TFpuControlGuard& operator=(const TFpuControlGuard&) = delete;

 private:
  unsigned short x87_ = 0;
  unsigned int sse_ = 0;
};

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

// The DVD navigator's events.
// The digits of a DVD time code (DVD_TIMECODE: one BCD digit a field, lowest bits first) and its
// frame-rate code (1: 25 frames a second, 3: 30 non-drop).
struct TDVDTimeCode {
  int Hours1 = 0, Hours10 = 0, Minutes1 = 0, Minutes10 = 0, Seconds1 = 0, Seconds10 = 0, Frames1 = 0,
      Frames10 = 0, FrameRateCode = 0;
  int Hours() const { return Hours10 * 10 + Hours1; }
  int Minutes() const { return Minutes10 * 10 + Minutes1; }
  int Seconds() const { return Seconds10 * 10 + Seconds1; }
  int Frames() const { return Frames10 * 10 + Frames1; }
};
TDVDTimeCode SplitDVDTimeCode(DWORD timeCode);
// Frames a second of a time code's rate code: 25 for 1, 30 for 3, else 0.
int DVDFrameRate(int frameRateCode);

using TDVDValueEvent = std::function<void(TObject* sender, long value)>;
using TDVDPairEvent = std::function<void(TObject* sender, long count, long current)>;
// A new audio or sub-picture stream: its number, and its language (LCID and the language's name)
// as the DVD navigator tells them (0 and empty when it cannot).
using TDVDAudioStreamEvent =
    std::function<void(TObject* sender, long stream, LCID language, const std::wstring& languageName)>;
using TDVDSubpictureStreamEvent = std::function<void(TObject* sender, long stream, bool enabled, LCID language,
                                                     const std::wstring& languageName)>;
// A still: whether buttons are available, and its length in seconds (0xFFFFFFFF: until released).
using TDVDStillOnEvent = std::function<void(TObject* sender, bool buttonsAvailable, long seconds)>;
using TDVDCurrentTimeEvent = std::function<void(TObject* sender, const TDVDTimeCode& time, int frameRate)>;
using TDVDRateEvent = std::function<void(TObject* sender, double rate)>;
using TDVDCommandEvent = std::function<void(TObject* sender, long commandId, HRESULT result)>;
using TDVDHMSFTimeEvent = std::function<void(TObject* sender, const DVD_HMSF_TIMECODE& time, DWORD flags)>;

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
  // EC_DVD_DOMAIN_CHANGE by its domain.
  TNotifyEvent OnDVDDomainFirstPlay;
  TNotifyEvent OnDVDDomainVideoManagerMenu;
  TNotifyEvent OnDVDDomainVideoTitleSetMenu;
  TNotifyEvent OnDVDDomainTitle;
  TNotifyEvent OnDVDDomainStop;
  // EC_DVD_ERROR by its error.
  TNotifyEvent OnDVDErrorUnexpected;
  TNotifyEvent OnDVDErrorCopyProtectFail;
  TNotifyEvent OnDVDErrorInvalidDVD1_0Disc;
  TNotifyEvent OnDVDErrorInvalidDiscRegion;
  TNotifyEvent OnDVDErrorLowParentalLevel;
  TNotifyEvent OnDVDErrorMacrovisionFail;
  TNotifyEvent OnDVDErrorIncompatibleSystemAndDecoderRegions;
  TNotifyEvent OnDVDErrorIncompatibleDiscAndDecoderRegions;
  // EC_DVD_WARNING by its warning, with the warning's data (p2).
  TDVDValueEvent OnDVDWarningInvalidDVD1_0Disc;
  TDVDValueEvent OnDVDWarningFormatNotSupported;
  TDVDValueEvent OnDVDWarningIllegalNavCommand;
  TDVDValueEvent OnDVDWarningOpen;
  TDVDValueEvent OnDVDWarningSeek;
  TDVDValueEvent OnDVDWarningRead;
  TDVDValueEvent OnDVDTitleChange;        // title
  TDVDValueEvent OnDVDChapterStart;       // chapter
  TDVDAudioStreamEvent OnDVDAudioStreamChange;
  TDVDSubpictureStreamEvent OnDVDSubpictureStreamChange;
  TDVDPairEvent OnDVDAngleChange;         // angles, current angle
  TDVDPairEvent OnDVDButtonChange;        // buttons, current button
  TDVDValueEvent OnDVDValidUOPSChange;    // the valid user operations (bits)
  TDVDStillOnEvent OnDVDStillOn;
  TNotifyEvent OnDVDStillOff;
  TDVDCurrentTimeEvent OnDVDCurrentTime;
  TNotifyEvent OnDVDChapterAutoStop;
  TNotifyEvent OnDVDNoFP_PGC;
  TDVDRateEvent OnDVDPlaybackRateChange;  // p1 / 10000
  TDVDValueEvent OnDVDParentalLevelChange;
  TDVDValueEvent OnDVDPlaybackStopped;    // the reason (DVD_PB_STOPPED)
  TBoolEvent OnDVDAnglesAvailable;
  TNotifyEvent OnDVDPlayPeriodAutoStop;
  TDVDValueEvent OnDVDButtonAutoActivated;  // button
  TDVDCommandEvent OnDVDCMDStart;
  TDVDCommandEvent OnDVDCMDEnd;
  TNotifyEvent OnDVDDiscEjected;
  TNotifyEvent OnDVDDiscInserted;
  TDVDHMSFTimeEvent OnDVDCurrentHMSFTime;
  TBoolEvent OnDVDKaraokeMode;
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
  void FireDVDEvent(long code, LONG_PTR p1, LONG_PTR p2);
  // The name of a stream's language, asked from the DVD navigator (empty when it cannot say).
  std::wstring DVDLanguage(bool audio, ULONG stream, LCID& lcid);

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
enum class TVMRVideoMode { vmrWindowed, vmrWindowless, vmrRenderless };
enum class TVMRPreference {
  vpForceOffscreen,
  vpForceOverlays,
  vpForceMixer,
  vpDoNotRenderColorKeyAndBorder,
  vpRestrictToInitialMonitor,
  vpPreferAGPMemWhenMixing
};
// A set of TVMRPreference: element i is bit i.
using TVMRPreferences = unsigned;
constexpr TVMRPreferences VMRPreference(TVMRPreference p) { return 1u << static_cast<int>(p); }

class TVideoWindow;

// Makes the surface allocator of a renderless VMR-9 for a video window (given the control's
// window): sets hr and answers the allocator. A failure in hr (or no allocator) stops the
// renderer's creation with "Error Creating Allocator".
using TVMRAllocatorClass = std::function<TComPtr<IVMRSurfaceAllocator9>(HWND window, HRESULT& hr)>;

// The options of a video window's VMR-9; they act while the window's Mode is vmVMR. Changing Mode,
// Streams or Preferences while the window's graph is active puts a new renderer in.
class TVMROptions : public TPersistent {
  KIVO_CLASS(TVMROptions, TPersistent)
  static void Publish(TPublisher<TVMROptions>& p);
  explicit TVMROptions(TVideoWindow* owner) : owner_(owner) {}
  void Assign(const TPersistent* source) override;

  TVMRVideoMode Mode() const { return mode_; }
  void SetMode(TVMRVideoMode m);
  // 1..16; anything else is stored as 1.
  int Streams() const { return streams_; }
  void SetStreams(int n);
  TVMRPreferences Preferences() const { return preferences_; }
  void SetPreferences(TVMRPreferences p);
  bool Has(TVMRPreference p) const { return (preferences_ & VMRPreference(p)) != 0; }
  // Letterboxed (true) or stretched video.
  bool KeepAspectRatio() const { return keepAspectRatio_; }
  void SetKeepAspectRatio(bool v);

 private:
  friend class TVideoWindow;
  void ApplyAspectRatio();

  TVideoWindow* owner_;
  TVMRVideoMode mode_ = TVMRVideoMode::vmrWindowed;
  int streams_ = 4;
  TVMRPreferences preferences_ = VMRPreference(TVMRPreference::vpForceMixer);
  bool keepAspectRatio_ = true;
};

// A control showing a video renderer's picture: the classic Video Renderer's window over itself
// (re-parented to the control's parent, draining its input into the control) or over the whole
// screen; or the VMR-9, windowed the same way, windowless inside the control, or renderless
// through an allocator of the caller's.
class TVideoWindow : public TCustomControl, public IGraphFilter, public IGraphEvents {
  KIVO_CLASS(TVideoWindow, TCustomControl)
  static void Publish(TPublisher<TVideoWindow>& p);
  explicit TVideoWindow(TComponent* owner);
  ~TVideoWindow() override;

  TVideoMode Mode() const { return mode_; }
  // vmVMR is taken only when a VMR-9 can be made here; otherwise vmNormal. While the graph is
  // active the new renderer replaces the old one, connected and playing as it was.
  void SetMode(TVideoMode m);
  TVMROptions* VMROptions() const { return vmrOptions_.get(); }
  void SetVMROptions(TVMROptions* v) { vmrOptions_->Assign(v); }
  // The allocator of the renderless mode and the user id it is advised under.
  void SetAllocatorClass(TVMRAllocatorClass allocatorClass, DWORD_PTR userId = 0);
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
  IVMRWindowlessControl9* WindowlessControl() const { return windowless_.Get(); }
  IVMRSurfaceAllocator9* Allocator() const { return allocator_.Get(); }
  // IVMRWindowlessControl9 (while there is one), own interfaces, then the renderer's.
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
  friend class TVMROptions;
  TComPtr<IBaseFilter> CreateRenderer();
  void VMRAdded();
  void ReleaseAllocator();
  // Takes the renderer out of the active graph and puts a new one in, connected to the pins that
  // fed the old one, and brings the graph back to the state it had.
  void ReplaceRenderer();
  void ApplyWindowSettings();
  void PlaceRenderer();
  void RememberStyles();

  TVideoMode mode_ = TVideoMode::vmNormal;
  std::unique_ptr<TVMROptions> vmrOptions_;
  TVMRAllocatorClass allocatorClass_;
  DWORD_PTR allocatorUserId_ = 0;
  bool fullScreen_ = false;
  bool fullScreenTopMost_ = false;
  bool isFullScreen_ = false;  // the renderer window covers the screen now
  LONG windowStyle_ = 0, windowStyleEx_ = 0;
  TComPtr<IBaseFilter> renderer_;
  TComPtr<IVideoWindow> videoWindow_;
  TComPtr<IVMRWindowlessControl9> windowless_;
  TComPtr<IVMRSurfaceAllocator9> allocator_;
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
