// BaseClass: the DirectShow filter framework of KivoSrc and KivoTrans: counted COM objects, the class
// factory and registration, the base filter, pins, enumerators and the allocator-negotiating pins.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <uuids.h>
#include <vfwmsgs.h>
#include <evcode.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "DSUtil.h"
#include "Handles.h"

namespace kivo {

using TBCCritSec = TCriticalSection;
using TBCAutoLock = TLock;

// Live framework objects plus server locks, and references held on factories.
extern std::atomic<LONG> ObjectCount;
extern std::atomic<LONG> FactoryRefCount;

// ---------------------------------------------------------------------------------------------------
// Counted objects

class TBCBaseObject {
 public:
  explicit TBCBaseObject(const wchar_t* name);
  virtual ~TBCBaseObject();
  TBCBaseObject(const TBCBaseObject&) = delete;
  TBCBaseObject& operator=(const TBCBaseObject&) = delete;
  const std::wstring& ObjectName() const noexcept { return ObjectName_; }

 private:
  std::wstring ObjectName_;
};

// The object's own IUnknown, which an aggregating owner holds; same slot layout as IUnknown.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG STDMETHODCALLTYPE InnerAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE InnerRelease() = 0;
};

class TBCClassFactory;

class TBCUnknown : public TBCBaseObject, public INonDelegatingUnknown {
 public:
  TBCUnknown(const wchar_t* name, IUnknown* outer);

  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE InnerAddRef() override;
  ULONG STDMETHODCALLTYPE InnerRelease() override;

  // The controlling unknown: the aggregating owner, or this object's own IUnknown.
  IUnknown* Owner() const noexcept { return Owner_; }
  IUnknown* InnerUnknown() noexcept {
    return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this));
  }
  LONG RefCount() const noexcept { return RefCount_.load(); }

 protected:
  // Hands out `itf` with a reference.
  static HRESULT GetInterface(IUnknown* itf, void** out) noexcept;

 private:
  IUnknown* Owner_;
  std::atomic<LONG> RefCount_{0};
};

// The IUnknown methods of a class that implements COM interfaces: they go to the controlling unknown.
#define KIVO_BC_FORWARD_IUNKNOWN                                                         \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {            \
    return Owner()->QueryInterface(iid, out);                                            \
  }                                                                                      \
  ULONG STDMETHODCALLTYPE AddRef() override { return Owner()->AddRef(); }                 \
  ULONG STDMETHODCALLTYPE Release() override { return Owner()->Release(); }

// ---------------------------------------------------------------------------------------------------
// Class factory, registration record and the process's factory list

// Builds an object for a factory; answers it with RefCount 0, or null with `hr` set.
using TBCCreateFunc = TBCUnknown* (*)(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);

// The form a property page shows (neither plug-in has one).
class TBCPageForm {
 public:
  virtual ~TBCPageForm() = default;
  virtual HWND Handle() = 0;
  virtual std::wstring Caption() = 0;
  virtual SIZE Extent() = 0;
  virtual void Activated() {}
  virtual void Deactivated() {}
  virtual HRESULT ConnectObject(IUnknown* object) { return S_OK; }
  virtual HRESULT DisconnectObject() { return S_OK; }
  virtual HRESULT ApplyChanges() { return S_OK; }
};
using TBCPageFormCreate = TBCPageForm* (*)();

class TBCClassFactory : public IClassFactory {
 public:
  // Adds itself to the front of the process's factory list, which owns it from then on.
  // `instance` names the filter's entry in its category (null: the CLSID names it).
  TBCClassFactory(TBCCreateFunc comClass, const REGFILTERPINS* pins, UINT pinCount, DWORD merit,
                  const GUID& category, const CLSID& clsid, const wchar_t* name,
                  TBCPageFormCreate pageFormClass = nullptr, const wchar_t* instance = nullptr);
  virtual ~TBCClassFactory() = default;
  TBCClassFactory(const TBCClassFactory&) = delete;
  TBCClassFactory& operator=(const TBCClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  // HKCR\CLSID\{clsid} with the name, InprocServer32 = this module, ThreadingModel "Both"; or
  // removes both keys. Missing keys are no error when removing.
  HRESULT WriteServerKeys(bool reg);
  // Enters or removes the filter with IFilterMapper2 (or the older IFilterMapper).
  HRESULT RegisterWithMapper(IUnknown* mapper, bool reg);

  TBCClassFactory* Next = nullptr;
  const TBCCreateFunc ComClass;
  const TBCPageFormCreate PageFormClass;
  const std::wstring Name;
  const CLSID ClassId;
  const GUID Category;
  const DWORD Merit;
  const UINT PinCount;
  const REGFILTERPINS* const Pins;
  const std::wstring Instance;
};

class TBCFilterTemplate {
 public:
  static TBCFilterTemplate& Instance();
  ~TBCFilterTemplate();
  void AddFactory(TBCClassFactory* factory);
  TBCClassFactory* FactoryByCLSID(REFCLSID clsid) const;
  // Every factory in list order: mapper entry, then server keys. S_OK or the first failure.
  HRESULT RegisterAll(bool reg);
  TBCClassFactory* First = nullptr;

 private:
  TBCFilterTemplate() = default;
};

// A property page around a form (owned; made borderless); reached through a factory with a form class.
class TBCBasePropertyPage : public TBCUnknown, public IPropertyPage {
 public:
  TBCBasePropertyPage(const wchar_t* name, IUnknown* outer, TBCPageForm* form);
  ~TBCBasePropertyPage() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT command) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override { return Dirty ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

  // The form marks its changes; the site hears of them.
  void SetDirty(bool dirty);

 private:
  std::unique_ptr<TBCPageForm> Form;
  IPropertyPageSite* PageSite = nullptr;  // counted
  bool ObjectsSet = false;
  bool Dirty = false;
};

// The filter mapper: IFilterMapper2, else the older IFilterMapper (COM must be initialised).
HRESULT CreateFilterMapper(TComPtr<IUnknown>& mapper);
// Full path of the module (DLL or program) this code is linked into.
std::wstring ThisModulePath();

// ---------------------------------------------------------------------------------------------------
// Media-type helpers

bool TypeIsPartial(const AM_MEDIA_TYPE& type);
bool TypeMatchesPartial(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& partial);
bool TypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);
void InitTypeDefaults(AM_MEDIA_TYPE& type);
HRESULT CopyWideString(const std::wstring& text, LPWSTR* out);

// A media type that frees its format block and pUnk when it goes.
class TBCMediaType {
 public:
  TBCMediaType() { InitTypeDefaults(Type); }
  ~TBCMediaType() { FreeMediaType(Type); }
  TBCMediaType(const TBCMediaType&) = delete;
  TBCMediaType& operator=(const TBCMediaType&) = delete;
  AM_MEDIA_TYPE Type;
};

// ---------------------------------------------------------------------------------------------------
// Base filter

class TBCBasePin;

class TBCBaseFilter : public TBCUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // Takes ownership of `lock`, the filter's state lock.
  TBCBaseFilter(const wchar_t* name, IUnknown* outer, TBCCritSec* lock, REFCLSID clsid);
  ~TBCBaseFilter() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;
  // IAMovieSetup
  HRESULT STDMETHODCALLTYPE Register() override;
  HRESULT STDMETHODCALLTYPE Unregister() override;

  // Hooks
  virtual HRESULT StreamTime(REFERENCE_TIME& time);
  virtual LONG PinVersion() { return 1; }
  virtual int PinCount() = 0;
  virtual TBCBasePin* PinAt(int index) = 0;

  // Notifies the graph (EC_COMPLETE carries this filter); E_NOTIMPL outside a graph.
  HRESULT RaiseGraphEvent(long code, LONG_PTR param1, LONG_PTR param2);
  bool IsStarted();
  FILTER_STATE CurrentState() const noexcept { return State; }
  TBCCritSec& StateLock() noexcept { return *StateLock_; }
  IFilterGraph* FilterGraph() const noexcept { return Graph; }

 protected:
  FILTER_STATE State = State_Stopped;
  IReferenceClock* Clock = nullptr;  // counted
  REFERENCE_TIME StreamStart = 0;
  std::unique_ptr<TBCCritSec> StateLock_;
  CLSID FilterCLSID;
  IFilterGraph* Graph = nullptr;         // not counted
  IMediaEventSink* EventSink = nullptr;  // not counted
  std::wstring FilterName;
};

// ---------------------------------------------------------------------------------------------------
// Base pin

class TBCBasePin : public TBCUnknown, public IPin, public IQualityControl {
 public:
  // `lock` is not owned (the filter's state lock or another lock of the filter).
  TBCBasePin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
             const wchar_t* pinName, PIN_DIRECTION direction);
  ~TBCBasePin() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  // A pin lives as long as its filter: its references are the filter's.
  ULONG STDMETHODCALLTYPE InnerAddRef() override;
  ULONG STDMETHODCALLTYPE InnerRelease() override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override = 0;
  HRESULT STDMETHODCALLTYPE EndFlush() override = 0;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  // IQualityControl
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;
  HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

  // Hooks
  virtual LONG TypeVersion() { return 1; }
  virtual HRESULT Activate() { return S_OK; }
  virtual HRESULT Deactivate() {
    StreamFailed = false;
    return S_OK;
  }
  virtual HRESULT StartRun(REFERENCE_TIME start) { return S_OK; }
  virtual HRESULT VerifyType(const AM_MEDIA_TYPE& type) = 0;
  virtual HRESULT AdoptType(const AM_MEDIA_TYPE& type);
  virtual HRESULT VerifyPeer(IPin* peer);
  virtual HRESULT DropConnection() { return S_OK; }
  virtual HRESULT FinishConnection(IPin* peer) { return S_OK; }
  virtual HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) { return E_UNEXPECTED; }

  bool HasPeer() const noexcept { return ConnectedPin != nullptr; }
  bool FilterStopped() const noexcept { return Filter->CurrentState() == State_Stopped; }
  IPin* Peer() const noexcept { return ConnectedPin; }
  const AM_MEDIA_TYPE& ConnectedType() const noexcept { return CurrentType; }
  TBCBaseFilter* OwnerFilter() const noexcept { return Filter; }
  const std::wstring& Name() const noexcept { return PinName; }
  PIN_DIRECTION PinDirection() const noexcept { return Direction; }
  bool Failed() const noexcept { return StreamFailed; }

 protected:
  std::wstring PinName;
  IPin* ConnectedPin = nullptr;  // counted
  PIN_DIRECTION Direction;
  TBCCritSec* PinLock;
  bool StreamFailed = false;
  bool ReconnectWhileActive = false;
  bool OwnTypesFirst = false;
  TBCBaseFilter* Filter;
  IQualityControl* QualitySink = nullptr;  // not counted
  AM_MEDIA_TYPE CurrentType;
  REFERENCE_TIME SegmentStart = 0;
  REFERENCE_TIME SegmentStop = 0x7FFFFFFFFFFFFFFFLL;
  double SegmentRate = 1.0;

 private:
  HRESULT AgreeType(IPin* receivePin, const AM_MEDIA_TYPE* type);
  HRESULT TryTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
  HRESULT AttemptLink(IPin* receivePin, const AM_MEDIA_TYPE& type);
  void ClearConnection();
};

// ---------------------------------------------------------------------------------------------------
// Enumerators (own reference counts; they keep their filter or pin alive)

// IUnknown of a stand-alone object that answers one interface and deletes itself.
template <class Itf>
class TBCEnumUnknown : public Itf {
 public:
  virtual ~TBCEnumUnknown() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != __uuidof(Itf)) return E_NOINTERFACE;
    *out = static_cast<Itf*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++Refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = --Refs;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 private:
  std::atomic<LONG> Refs{1};
};

class TBCEnumPins : public TBCEnumUnknown<IEnumPins> {
 public:
  explicit TBCEnumPins(TBCBaseFilter* filter);
  TBCEnumPins(TBCBaseFilter* filter, const TBCEnumPins& other);
  ~TBCEnumPins() override;

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override;

 private:
  bool OutOfStep() const;
  TBCBaseFilter* Filter;
  int Position = 0;
  int Count = 0;
  LONG Version = 0;
  std::vector<IPin*> Seen;  // identities only
};

class TBCEnumMediaTypes : public TBCEnumUnknown<IEnumMediaTypes> {
 public:
  explicit TBCEnumMediaTypes(TBCBasePin* pin);
  TBCEnumMediaTypes(TBCBasePin* pin, const TBCEnumMediaTypes& other);
  ~TBCEnumMediaTypes() override;

  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

 private:
  bool OutOfStep() const;
  TBCBasePin* Pin;
  int Position = 0;
  LONG Version = 0;
};

// ---------------------------------------------------------------------------------------------------
// Output and input pins

class TBCBaseOutputPin : public TBCBasePin {
 public:
  TBCBaseOutputPin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                   const wchar_t* pinName);
  ~TBCBaseOutputPin() override;

  HRESULT VerifyPeer(IPin* peer) override;
  HRESULT FinishConnection(IPin* peer) override;
  HRESULT DropConnection() override;
  HRESULT Activate() override;
  HRESULT Deactivate() override;

  // IPin calls that only an input pin takes
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }

  // Hooks
  virtual HRESULT NegotiateAllocator(IMemInputPin* peerInput, IMemAllocator** allocator);
  virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) { return S_OK; }
  virtual HRESULT AcquireSample(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  virtual HRESULT SendSample(IMediaSample* sample);
  virtual HRESULT MakeOwnAllocator(IMemAllocator** allocator);
  virtual HRESULT SendEndOfStream();
  virtual HRESULT SendBeginFlush();
  virtual HRESULT SendEndFlush();
  virtual HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* CurrentAllocator() const noexcept { return Allocator; }

 protected:
  IMemAllocator* Allocator = nullptr;  // counted
  IMemInputPin* PeerInput = nullptr;   // counted
};

class TBCBaseInputPin : public TBCBasePin, public IMemInputPin {
 public:
  TBCBaseInputPin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                  const wchar_t* pinName);
  ~TBCBaseInputPin() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;
  // IPin
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  // IQualityControl
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override { return S_OK; }

  HRESULT DropConnection() override;
  HRESULT Deactivate() override;

  // Hooks
  virtual HRESULT StreamingCheck();

  HRESULT ForwardQuality(const Quality& quality);
  const AM_SAMPLE2_PROPERTIES& SampleProps() const noexcept { return SampleProps_; }
  bool IsFlushing() const noexcept { return Flushing; }
  bool IsReadOnly() const noexcept { return ReadOnly; }
  IMemAllocator* CurrentAllocator() const noexcept { return Allocator; }

 protected:
  IMemAllocator* Allocator = nullptr;  // counted
  bool ReadOnly = false;
  std::atomic<bool> Flushing{false};
  AM_SAMPLE2_PROPERTIES SampleProps_{};
};

}  // namespace kivo
