#include "BaseClass.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kivo {

std::atomic<LONG> ObjectCount{0};
std::atomic<LONG> FactoryRefCount{0};

namespace {

// S_OK when the COM call may go on, with the caller's apartment kept; undone at scope end.
class TComScope {
 public:
  TComScope() : hr_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  HRESULT hr_;
};

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

// Missing keys count as removed.
LONG DeleteKeyIfPresent(HKEY root, const std::wstring& path) {
  LONG rc = ::RegDeleteKeyW(root, path.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG WriteKey(HKEY root, const std::wstring& path, const wchar_t* valueName, const std::wstring& value) {
  TRegKeyOwner key;
  LONG rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                              key.Put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return ::RegSetValueExW(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Entries that are simply not there are no failure of an unregistration.
bool NotRegistered(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------

TBCBaseObject::TBCBaseObject(const wchar_t* name) : ObjectName_(name ? name : L"") { ++ObjectCount; }

TBCBaseObject::~TBCBaseObject() { --ObjectCount; }

TBCUnknown::TBCUnknown(const wchar_t* name, IUnknown* outer) : TBCBaseObject(name), Owner_(outer) {
  if (!Owner_) Owner_ = InnerUnknown();
}

HRESULT TBCUnknown::GetInterface(IUnknown* itf, void** out) noexcept {
  *out = itf;
  itf->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCUnknown::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown) return GetInterface(InnerUnknown(), out);
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TBCUnknown::InnerAddRef() { return static_cast<ULONG>(++RefCount_); }

ULONG STDMETHODCALLTYPE TBCUnknown::InnerRelease() {
  LONG n = --RefCount_;
  if (n == 0) {
    // Guard against a release from inside the destructor (an aggregated part handing back a reference).
    RefCount_ = 1;
    delete this;
    return 0;
  }
  return static_cast<ULONG>(n);
}

// ---------------------------------------------------------------------------------------------------

TBCClassFactory::TBCClassFactory(TBCCreateFunc comClass, const REGFILTERPINS* pins, UINT pinCount, DWORD merit,
                                 const GUID& category, const CLSID& clsid, const wchar_t* name,
                                 TBCPageFormCreate pageFormClass, const wchar_t* instance)
    : ComClass(comClass), PageFormClass(pageFormClass), Name(name ? name : L""), ClassId(clsid), Category(category), Merit(merit),
      PinCount(pinCount), Pins(pins), Instance(instance ? instance : L"") {
  TBCFilterTemplate::Instance().AddFactory(this);
}

HRESULT STDMETHODCALLTYPE TBCClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TBCClassFactory::AddRef() { return static_cast<ULONG>(++FactoryRefCount); }

ULONG STDMETHODCALLTYPE TBCClassFactory::Release() {
  // Factories live as long as the module; only the count changes.
  LONG n = --FactoryRefCount;
  return static_cast<ULONG>(n > 0 ? n : 0);
}

HRESULT STDMETHODCALLTYPE TBCClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregating owner gets the inner unknown and nothing else.
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  if (!ComClass && !PageFormClass) return E_UNEXPECTED;
  try {
    HRESULT hr = S_OK;
    TBCUnknown* object = nullptr;
    if (PageFormClass) {
      std::unique_ptr<TBCPageForm> form(PageFormClass());
      if (!form) return E_OUTOFMEMORY;
      object = new TBCBasePropertyPage(Name.c_str(), outer, form.get());
      form.release();
    } else {
      object = ComClass(*this, outer, hr);
    }
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    // Hold the object while it is asked, so that a failed query frees it.
    object->InnerAddRef();
    if (SUCCEEDED(hr)) hr = object->InnerQueryInterface(iid, out);
    object->InnerRelease();
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT STDMETHODCALLTYPE TBCClassFactory::LockServer(BOOL lock) {
  HRESULT hr = ::CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  if (lock)
    ++ObjectCount;
  else
    --ObjectCount;
  return hr;
}

HRESULT TBCClassFactory::WriteServerKeys(bool reg) {
  try {
    const std::wstring key = L"CLSID\\" + GuidText(ClassId);
    const std::wstring server = key + L"\\InprocServer32";
    if (!reg) {
      LONG rc = DeleteKeyIfPresent(HKEY_CLASSES_ROOT, server);
      if (rc == ERROR_SUCCESS) rc = DeleteKeyIfPresent(HKEY_CLASSES_ROOT, key);
      return HRESULT_FROM_WIN32(rc);
    }
    LONG rc = WriteKey(HKEY_CLASSES_ROOT, key, nullptr, Name);
    if (rc == ERROR_SUCCESS) rc = WriteKey(HKEY_CLASSES_ROOT, server, nullptr, ThisModulePath());
    if (rc == ERROR_SUCCESS) rc = WriteKey(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Both");
    return HRESULT_FROM_WIN32(rc);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT TBCClassFactory::RegisterWithMapper(IUnknown* mapperUnknown, bool reg) {
  if (!mapperUnknown) return E_POINTER;
  TComPtr<IFilterMapper2> mapper2;
  if (SUCCEEDED(mapperUnknown->QueryInterface(IID_IFilterMapper2, mapper2.PutVoid()))) {
    const wchar_t* instance = Instance.empty() ? nullptr : Instance.c_str();
    HRESULT hr = mapper2->UnregisterFilter(&Category, instance, ClassId);
    // A filter that was never registered cannot be removed; that is no failure.
    if (FAILED(hr) && !NotRegistered(hr) && !(Name.empty() && !reg)) return hr;
    if (!reg) return S_OK;
    REGFILTER2 rf2{};
    rf2.dwVersion = 1;
    rf2.dwMerit = Merit;
    rf2.cPins = PinCount;
    rf2.rgPins = Pins;
    return mapper2->RegisterFilter(ClassId, Name.c_str(), nullptr, &Category, instance, &rf2);
  }
  TComPtr<IFilterMapper> mapper;
  HRESULT hr = mapperUnknown->QueryInterface(IID_IFilterMapper, mapper.PutVoid());
  if (FAILED(hr)) return hr;
  if (!reg) {
    hr = mapper->UnregisterFilter(ClassId);
    return NotRegistered(hr) ? S_OK : hr;
  }
  hr = mapper->RegisterFilter(ClassId, Name.c_str(), Merit);
  for (UINT i = 0; SUCCEEDED(hr) && i < PinCount; ++i) {
    const REGFILTERPINS& pin = Pins[i];
    hr = mapper->RegisterPin(ClassId, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                             pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : GUID_NULL,
                             pin.strConnectsToPin);
    for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t)
      hr = mapper->RegisterPinType(ClassId, pin.strName, *pin.lpMediaType[t].clsMajorType,
                                   *pin.lpMediaType[t].clsMinorType);
  }
  return hr;
}

TBCFilterTemplate& TBCFilterTemplate::Instance() {
  static TBCFilterTemplate instance;
  return instance;
}

TBCFilterTemplate::~TBCFilterTemplate() {
  while (First) {
    TBCClassFactory* f = First;
    First = f->Next;
    delete f;
  }
}

void TBCFilterTemplate::AddFactory(TBCClassFactory* factory) {
  factory->Next = First;
  First = factory;
}

TBCClassFactory* TBCFilterTemplate::FactoryByCLSID(REFCLSID clsid) const {
  for (TBCClassFactory* f = First; f; f = f->Next)
    if (f->ClassId == clsid) return f;
  return nullptr;
}

HRESULT CreateFilterMapper(TComPtr<IUnknown>& mapper) {
  HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  mapper.PutVoid());
  if (FAILED(hr))
    hr = ::CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, mapper.PutVoid());
  return hr;
}

HRESULT TBCFilterTemplate::RegisterAll(bool reg) {
  if (!First) return E_FAIL;
  TComScope com;
  TComPtr<IUnknown> mapper;
  HRESULT hr = CreateFilterMapper(mapper);
  if (FAILED(hr)) return hr;
  for (TBCClassFactory* f = First; f; f = f->Next) {
    f->WriteServerKeys(false);
    hr = f->RegisterWithMapper(mapper.Get(), reg);
    if (FAILED(hr)) return hr;
    if (reg) {
      hr = f->WriteServerKeys(true);
      if (FAILED(hr)) return hr;
    }
  }
  return hr;
}

// ---------------------------------------------------------------------------------------------------
// Property page

TBCBasePropertyPage::TBCBasePropertyPage(const wchar_t* name, IUnknown* outer, TBCPageForm* form)
    : TBCUnknown(name, outer), Form(form) {
  if (HWND wnd = Form ? Form->Handle() : nullptr) {
    LONG_PTR style = ::GetWindowLongPtrW(wnd, GWL_STYLE);
    style &= ~(WS_CAPTION | WS_THICKFRAME | WS_POPUP);
    ::SetWindowLongPtrW(wnd, GWL_STYLE, style | WS_CHILD);
  }
}

TBCBasePropertyPage::~TBCBasePropertyPage() {
  if (PageSite) PageSite->Release();
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), out);
  return TBCUnknown::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  if ((site != nullptr) == (PageSite != nullptr)) return E_UNEXPECTED;
  if (site) site->AddRef();
  if (PageSite) PageSite->Release();
  PageSite = site;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (!ObjectsSet || !parent) return E_UNEXPECTED;
  if (!Form || !Form->Handle()) return E_OUTOFMEMORY;
  ::SetParent(Form->Handle(), parent);
  Form->Activated();
  if (rect) Move(rect);
  return Show(SW_SHOWNORMAL);
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::Deactivate() {
  if (!Form || !Form->Handle()) return E_UNEXPECTED;
  HWND wnd = Form->Handle();
  ::SetWindowLongPtrW(wnd, GWL_EXSTYLE, ::GetWindowLongPtrW(wnd, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_CONTROLPARENT));
  Form->Deactivated();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  if (!Form) return E_UNEXPECTED;
  info->cb = sizeof(PROPPAGEINFO);
  HRESULT hr;
  try {
    hr = CopyWideString(Form->Caption(), &info->pszTitle);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return hr;
  info->size = Form->Extent();
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 1) {
    if (!objects || !objects[0]) return E_POINTER;
    ObjectsSet = true;
    return Form ? Form->ConnectObject(objects[0]) : S_OK;
  }
  if (count == 0) {
    ObjectsSet = false;
    return Form ? Form->DisconnectObject() : S_OK;
  }
  return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::Show(UINT command) {
  if (!Form || !Form->Handle()) return E_UNEXPECTED;
  if (command == SW_HIDE)
    ::ShowWindow(Form->Handle(), SW_HIDE);
  else if (command == SW_SHOWNORMAL || command == SW_SHOW)
    ::ShowWindow(Form->Handle(), SW_SHOWNORMAL);
  else
    return E_INVALIDARG;
  ::InvalidateRect(Form->Handle(), nullptr, TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!Form || !Form->Handle()) return E_UNEXPECTED;
  ::MoveWindow(Form->Handle(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePropertyPage::Apply() {
  if (!ObjectsSet || !PageSite) return E_UNEXPECTED;
  if (!Dirty) return S_OK;
  HRESULT hr = Form ? Form->ApplyChanges() : S_OK;
  if (SUCCEEDED(hr)) Dirty = false;
  return hr;
}

void TBCBasePropertyPage::SetDirty(bool dirty) {
  Dirty = dirty;
  if (dirty && PageSite) PageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

std::wstring ThisModulePath() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModulePath), &module);
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, n);
}

// ---------------------------------------------------------------------------------------------------
// Media-type helpers

bool TypeIsPartial(const AM_MEDIA_TYPE& type) {
  return type.majortype == GUID_NULL || type.formattype == GUID_NULL;
}

namespace {
bool SameFormat(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.formattype != b.formattype || a.cbFormat != b.cbFormat) return false;
  if (a.cbFormat == 0) return true;
  if (!a.pbFormat || !b.pbFormat) return false;
  return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}
}  // namespace

bool TypeMatchesPartial(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& partial) {
  if (partial.majortype != GUID_NULL && partial.majortype != type.majortype) return false;
  if (partial.subtype != GUID_NULL && partial.subtype != type.subtype) return false;
  return partial.formattype == GUID_NULL || SameFormat(type, partial);
}

bool TypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  return a.majortype == b.majortype && a.subtype == b.subtype && SameFormat(a, b);
}

void InitTypeDefaults(AM_MEDIA_TYPE& type) {
  std::memset(&type, 0, sizeof(type));
  type.lSampleSize = 1;
  type.bFixedSizeSamples = TRUE;
}

HRESULT CopyWideString(const std::wstring& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *out = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
  if (!*out) return E_OUTOFMEMORY;
  std::memcpy(*out, text.c_str(), bytes);
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// Base filter

TBCBaseFilter::TBCBaseFilter(const wchar_t* name, IUnknown* outer, TBCCritSec* lock, REFCLSID clsid)
    : TBCUnknown(name, outer), StateLock_(lock), FilterCLSID(clsid) {}

TBCBaseFilter::~TBCBaseFilter() {
  if (Clock) Clock->Release();
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::InnerQueryInterface(REFIID iid, void** out) {
  // No lock here: the streaming thread asks while a Stop holds the state lock.
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist)
    return GetInterface(static_cast<IBaseFilter*>(this), out);
  if (iid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), out);
  return TBCUnknown::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = FilterCLSID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::Stop() {
  TBCAutoLock lock(StateLock());
  HRESULT result = S_OK;
  if (State != State_Stopped) {
    const int n = PinCount();
    for (int i = 0; i < n; ++i) {
      TBCBasePin* pin = PinAt(i);
      if (!pin || !pin->HasPeer()) continue;
      HRESULT hr = pin->Deactivate();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
  }
  State = State_Stopped;
  return result;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::Pause() {
  TBCAutoLock lock(StateLock());
  if (State == State_Stopped) {
    const int n = PinCount();
    for (int i = 0; i < n; ++i) {
      TBCBasePin* pin = PinAt(i);
      if (!pin || !pin->HasPeer()) continue;
      HRESULT hr = pin->Activate();
      if (FAILED(hr)) return hr;
    }
  }
  State = State_Paused;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::Run(REFERENCE_TIME start) {
  TBCAutoLock lock(StateLock());
  StreamStart = start;
  if (State == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (State != State_Running) {
    const int n = PinCount();
    for (int i = 0; i < n; ++i) {
      TBCBasePin* pin = PinAt(i);
      if (!pin || !pin->HasPeer()) continue;
      HRESULT hr = pin->StartRun(start);
      if (FAILED(hr)) return hr;
    }
  }
  State = State_Running;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = State;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::SetSyncSource(IReferenceClock* clock) {
  TBCAutoLock lock(StateLock());
  if (clock) clock->AddRef();
  if (Clock) Clock->Release();
  Clock = clock;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  TBCAutoLock lock(StateLock());
  *clock = Clock;
  if (Clock) Clock->AddRef();
  return S_OK;
}

HRESULT TBCBaseFilter::StreamTime(REFERENCE_TIME& time) {
  if (!Clock) return VFW_E_NO_CLOCK;
  HRESULT hr = Clock->GetTime(&time);
  if (FAILED(hr)) return hr;
  time -= StreamStart;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = new (std::nothrow) TBCEnumPins(this);
  return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  if (!id) return E_POINTER;
  TBCAutoLock lock(StateLock());
  const int n = PinCount();
  for (int i = 0; i < n; ++i) {
    TBCBasePin* p = PinAt(i);
    if (p && p->Name() == id) {
      *pin = static_cast<IPin*>(p);
      p->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  const std::size_t n = std::min<std::size_t>(FilterName.size(), MAX_FILTER_NAME - 1);
  std::memcpy(info->achName, FilterName.c_str(), n * sizeof(wchar_t));
  info->achName[n] = L'\0';
  info->pGraph = Graph;
  if (Graph) Graph->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  TBCAutoLock lock(StateLock());
  Graph = graph;
  EventSink = nullptr;
  if (graph) {
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) && sink) {
      EventSink = sink;
      sink->Release();  // kept without a count: the graph outlives its membership
    }
  }
  try {
    FilterName = name ? name : L"";
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseFilter::QueryVendorInfo(LPWSTR* info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

namespace {
// Registers (or unregisters) the filter of a class id with the server keys and the mapper.
HRESULT SetUpFilter(const CLSID& clsid, bool reg) {
  TBCClassFactory* factory = TBCFilterTemplate::Instance().FactoryByCLSID(clsid);
  if (!factory) return S_FALSE;
  TComPtr<IUnknown> mapper;
  if (FAILED(CreateFilterMapper(mapper))) return S_FALSE;
  factory->WriteServerKeys(false);
  if (FAILED(factory->RegisterWithMapper(mapper.Get(), reg))) return S_FALSE;
  return SUCCEEDED(factory->WriteServerKeys(reg)) ? S_OK : S_FALSE;
}
}  // namespace

HRESULT STDMETHODCALLTYPE TBCBaseFilter::Register() { return SetUpFilter(FilterCLSID, true); }

HRESULT STDMETHODCALLTYPE TBCBaseFilter::Unregister() { return SetUpFilter(FilterCLSID, false); }

HRESULT TBCBaseFilter::RaiseGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = EventSink;
  if (!sink) return E_NOTIMPL;
  if (code == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(code, param1, param2);
}

bool TBCBaseFilter::IsStarted() {
  TBCAutoLock lock(StateLock());
  return State != State_Stopped;
}

// ---------------------------------------------------------------------------------------------------
// Base pin

TBCBasePin::TBCBasePin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                       const wchar_t* pinName, PIN_DIRECTION direction)
    : TBCUnknown(objectName, nullptr), Direction(direction), PinLock(lock), Filter(filter) {
  std::memset(&CurrentType, 0, sizeof(CurrentType));
  if (pinName) PinName.assign(pinName, std::min<std::size_t>(std::wcslen(pinName), MAX_PIN_NAME - 1));
}

TBCBasePin::~TBCBasePin() {
  if (ConnectedPin) ConnectedPin->Release();
  FreeMediaType(CurrentType);
}

HRESULT STDMETHODCALLTYPE TBCBasePin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), out);
  if (iid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), out);
  return TBCUnknown::InnerQueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE TBCBasePin::InnerAddRef() { return Filter->Owner()->AddRef(); }

ULONG STDMETHODCALLTYPE TBCBasePin::InnerRelease() { return Filter->Owner()->Release(); }

void TBCBasePin::ClearConnection() {
  if (ConnectedPin) {
    ConnectedPin->Release();
    ConnectedPin = nullptr;
  }
}

HRESULT TBCBasePin::VerifyPeer(IPin* peer) {
  PIN_DIRECTION dir;
  HRESULT hr = peer->QueryDirection(&dir);
  if (FAILED(hr)) return hr;
  return dir == Direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT TBCBasePin::AdoptType(const AM_MEDIA_TYPE& type) {
  if (&type == &CurrentType) return S_OK;
  FreeMediaType(CurrentType);
  return CopyMediaType(CurrentType, type);
}

HRESULT STDMETHODCALLTYPE TBCBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  TBCAutoLock lock(*PinLock);
  if (ConnectedPin) return VFW_E_ALREADY_CONNECTED;
  if (!FilterStopped() && !ReconnectWhileActive) return VFW_E_NOT_STOPPED;
  HRESULT hr = AgreeType(receivePin, type);
  if (FAILED(hr)) {
    DropConnection();
    return hr;
  }
  return S_OK;
}

HRESULT TBCBasePin::AgreeType(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (type && !TypeIsPartial(*type)) return AttemptLink(receivePin, *type);
  HRESULT fallback = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int round = 0; round < 2; ++round) {
    const bool own = (round == 0) == OwnTypesFirst;
    TComPtr<IEnumMediaTypes> types;
    HRESULT hr = own ? EnumMediaTypes(types.Put()) : receivePin->EnumMediaTypes(types.Put());
    if (FAILED(hr) || !types) continue;
    hr = TryTypes(receivePin, type, types.Get());
    if (SUCCEEDED(hr)) return S_OK;
    if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) fallback = hr;
  }
  return fallback;
}

HRESULT TBCBasePin::TryTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types) {
  HRESULT hr = types->Reset();
  if (FAILED(hr)) return hr;
  HRESULT remembered = S_OK;
  for (;;) {
    AM_MEDIA_TYPE* candidate = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &candidate, &fetched) != S_OK || fetched != 1 || !candidate) {
      DeleteMediaType(candidate);
      return FAILED(remembered) ? remembered : VFW_E_NO_ACCEPTABLE_TYPES;
    }
    HRESULT attempt = VFW_E_NO_ACCEPTABLE_TYPES;
    if (!partial || TypeMatchesPartial(*candidate, *partial)) attempt = AttemptLink(receivePin, *candidate);
    DeleteMediaType(candidate);
    if (attempt == S_OK) return S_OK;
    if (FAILED(attempt) && attempt != E_FAIL && attempt != E_INVALIDARG && attempt != VFW_E_TYPE_NOT_ACCEPTED &&
        SUCCEEDED(remembered))
      remembered = attempt;
  }
}

HRESULT TBCBasePin::AttemptLink(IPin* receivePin, const AM_MEDIA_TYPE& type) {
  HRESULT hr = VerifyPeer(receivePin);
  if (FAILED(hr)) {
    DropConnection();
    return hr;
  }
  hr = VerifyType(type);
  if (hr != S_OK) {
    if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) hr = VFW_E_TYPE_NOT_ACCEPTED;
    DropConnection();
    ClearConnection();
    return hr;
  }
  ConnectedPin = receivePin;
  ConnectedPin->AddRef();
  hr = AdoptType(type);
  if (SUCCEEDED(hr)) {
    hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), &type);
    if (SUCCEEDED(hr)) {
      hr = FinishConnection(receivePin);
      if (SUCCEEDED(hr)) return S_OK;
      receivePin->Disconnect();
    }
  }
  DropConnection();
  ClearConnection();
  FreeMediaType(CurrentType);
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  TBCAutoLock lock(*PinLock);
  if (ConnectedPin) return VFW_E_ALREADY_CONNECTED;
  if (!FilterStopped() && !ReconnectWhileActive) return VFW_E_NOT_STOPPED;
  HRESULT hr = VerifyPeer(connector);
  if (FAILED(hr)) {
    DropConnection();
    return hr;
  }
  hr = VerifyType(*type);
  if (hr != S_OK) {
    DropConnection();
    if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) hr = VFW_E_TYPE_NOT_ACCEPTED;
    return hr;
  }
  ConnectedPin = connector;
  ConnectedPin->AddRef();
  hr = AdoptType(*type);
  if (SUCCEEDED(hr)) hr = FinishConnection(connector);
  if (SUCCEEDED(hr)) return S_OK;
  ClearConnection();
  DropConnection();
  FreeMediaType(CurrentType);
  return hr;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::Disconnect() {
  TBCAutoLock lock(*PinLock);
  if (!FilterStopped()) return VFW_E_NOT_STOPPED;
  if (!ConnectedPin) return S_FALSE;
  HRESULT hr = DropConnection();
  if (FAILED(hr)) return hr;
  ClearConnection();
  FreeMediaType(CurrentType);
  std::memset(&CurrentType, 0, sizeof(CurrentType));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  TBCAutoLock lock(*PinLock);
  *pin = ConnectedPin;
  if (!ConnectedPin) return VFW_E_NOT_CONNECTED;
  ConnectedPin->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  TBCAutoLock lock(*PinLock);
  if (ConnectedPin) return CopyMediaType(*type, CurrentType);
  InitTypeDefaults(*type);
  return VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = static_cast<IBaseFilter*>(Filter);
  Filter->AddRef();
  std::memcpy(info->achName, PinName.c_str(), (PinName.size() + 1) * sizeof(wchar_t));
  info->dir = Direction;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = Direction;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::QueryId(LPWSTR* id) {
  try {
    return CopyWideString(PinName, id);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE TBCBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  HRESULT hr = VerifyType(*type);
  return FAILED(hr) ? S_FALSE : hr;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new (std::nothrow) TBCEnumMediaTypes(this);
  return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::QueryInternalConnections(IPin** pins, ULONG* count) {
  if (pins && count && *count > 0) pins[0] = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::EndOfStream() { return S_OK; }

HRESULT STDMETHODCALLTYPE TBCBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  SegmentStart = start;
  SegmentStop = stop;
  SegmentRate = rate;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TBCBasePin::SetSink(IQualityControl* sink) {
  TBCAutoLock lock(*PinLock);
  QualitySink = sink;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// Enumerators

TBCEnumPins::TBCEnumPins(TBCBaseFilter* filter) : Filter(filter) {
  Filter->AddRef();
  Count = Filter->PinCount();
  Version = Filter->PinVersion();
}

TBCEnumPins::TBCEnumPins(TBCBaseFilter* filter, const TBCEnumPins& other)
    : Filter(filter), Position(other.Position), Count(other.Count), Version(other.Version), Seen(other.Seen) {
  Filter->AddRef();
}

TBCEnumPins::~TBCEnumPins() { Filter->Release(); }

bool TBCEnumPins::OutOfStep() const { return Filter->PinVersion() != Version; }

HRESULT STDMETHODCALLTYPE TBCEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (!pins) return E_POINTER;
  if (count > 0) pins[0] = nullptr;
  if (fetched) *fetched = 0;
  if (!fetched && count > 1) return E_INVALIDARG;
  try {
    if (OutOfStep()) {
      Count = Filter->PinCount();
      Version = Filter->PinVersion();
      Position = 0;
    }
    ULONG want = std::min<ULONG>(count, Count > Position ? ULONG(Count - Position) : 0);
    if (want == 0) return S_FALSE;
    ULONG out = 0;
    while (out < want && Position < Count) {
      TBCBasePin* pin = Filter->PinAt(Position++);
      if (!pin) {
        for (ULONG i = 0; i < out; ++i) {
          pins[i]->Release();
          pins[i] = nullptr;
        }
        return VFW_E_ENUM_OUT_OF_SYNC;
      }
      IPin* itf = static_cast<IPin*>(pin);
      if (std::find(Seen.begin(), Seen.end(), itf) != Seen.end()) continue;
      Seen.push_back(itf);
      itf->AddRef();
      pins[out++] = itf;
    }
    if (fetched) *fetched = out;
    return out == count ? S_OK : S_FALSE;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Skip(ULONG count) {
  if (OutOfStep()) return VFW_E_ENUM_OUT_OF_SYNC;
  if (ULONG(Count - Position) < count) return S_FALSE;
  Position += static_cast<int>(count);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Reset() {
  Version = Filter->PinVersion();
  Count = Filter->PinCount();
  Position = 0;
  Seen.clear();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Clone(IEnumPins** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (OutOfStep()) return VFW_E_ENUM_OUT_OF_SYNC;
  try {
    *out = new TBCEnumPins(Filter, *this);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

TBCEnumMediaTypes::TBCEnumMediaTypes(TBCBasePin* pin) : Pin(pin) {
  Pin->AddRef();
  Version = Pin->TypeVersion();
}

TBCEnumMediaTypes::TBCEnumMediaTypes(TBCBasePin* pin, const TBCEnumMediaTypes& other)
    : Pin(pin), Position(other.Position), Version(other.Version) {
  Pin->AddRef();
}

TBCEnumMediaTypes::~TBCEnumMediaTypes() { Pin->Release(); }

bool TBCEnumMediaTypes::OutOfStep() const { return Pin->TypeVersion() != Version; }

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (!types) return E_POINTER;
  if (fetched) *fetched = 0;
  if (OutOfStep()) return VFW_E_ENUM_OUT_OF_SYNC;
  if (!fetched && count > 1) return E_INVALIDARG;
  ULONG out = 0;
  while (out < count) {
    AM_MEDIA_TYPE work;
    InitTypeDefaults(work);
    HRESULT hr = Pin->ProposeType(Position++, work);
    if (hr != S_OK) {
      FreeMediaType(work);
      break;
    }
    auto* type = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type) {
      FreeMediaType(work);
      break;
    }
    *type = work;  // the format block moves with it
    types[out++] = type;
  }
  if (fetched) *fetched = out;
  return out == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Skip(ULONG count) {
  if (count == 0) return S_OK;
  if (OutOfStep()) return VFW_E_ENUM_OUT_OF_SYNC;
  Position += static_cast<int>(count);
  TBCMediaType probe;
  return Pin->ProposeType(Position - 1, probe.Type) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Reset() {
  Position = 0;
  Version = Pin->TypeVersion();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Clone(IEnumMediaTypes** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (OutOfStep()) return VFW_E_ENUM_OUT_OF_SYNC;
  *out = new (std::nothrow) TBCEnumMediaTypes(Pin, *this);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// ---------------------------------------------------------------------------------------------------
// Output pin

TBCBaseOutputPin::TBCBaseOutputPin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                                   HRESULT& hr, const wchar_t* pinName)
    : TBCBasePin(objectName, filter, lock, hr, pinName, PINDIR_OUTPUT) {}

TBCBaseOutputPin::~TBCBaseOutputPin() {
  if (Allocator) Allocator->Release();
  if (PeerInput) PeerInput->Release();
}

HRESULT TBCBaseOutputPin::VerifyPeer(IPin* peer) {
  HRESULT hr = TBCBasePin::VerifyPeer(peer);
  if (FAILED(hr)) return hr;
  IMemInputPin* input = nullptr;
  hr = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
  if (FAILED(hr)) return hr;
  if (PeerInput) PeerInput->Release();
  PeerInput = input;
  return S_OK;
}

HRESULT TBCBaseOutputPin::FinishConnection(IPin*) {
  if (!PeerInput) return E_UNEXPECTED;
  if (Allocator) {
    Allocator->Release();
    Allocator = nullptr;
  }
  return NegotiateAllocator(PeerInput, &Allocator);
}

HRESULT TBCBaseOutputPin::DropConnection() {
  if (Allocator) {
    HRESULT hr = Allocator->Decommit();
    if (FAILED(hr)) return hr;
    Allocator->Release();
    Allocator = nullptr;
  }
  if (PeerInput) {
    PeerInput->Release();
    PeerInput = nullptr;
  }
  return S_OK;
}

HRESULT TBCBaseOutputPin::Activate() {
  if (!Allocator) return VFW_E_NO_ALLOCATOR;
  return Allocator->Commit();
}

HRESULT TBCBaseOutputPin::Deactivate() {
  StreamFailed = false;
  if (!Allocator) return VFW_E_NO_ALLOCATOR;
  return Allocator->Decommit();
}

HRESULT TBCBaseOutputPin::NegotiateAllocator(IMemInputPin* peerInput, IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES props{};
  peerInput->GetAllocatorRequirements(&props);
  if (props.cbAlign == 0) props.cbAlign = 1;

  // Takes an allocator that came with hr once its buffers are sized and the peer accepts it.
  auto settle = [&](IMemAllocator* a, HRESULT& hr) {
    if (FAILED(hr) || !a) return false;
    ALLOCATOR_PROPERTIES asked = props;
    hr = SizeBuffers(a, &asked);
    if (SUCCEEDED(hr)) hr = peerInput->NotifyAllocator(a, FALSE);
    if (FAILED(hr)) return false;
    *allocator = a;
    return true;
  };
  // the peer's allocator first, else one of our own
  IMemAllocator* a = nullptr;
  HRESULT hr = peerInput->GetAllocator(&a);
  if (settle(a, hr)) return S_OK;
  if (a) {
    a->Release();
    a = nullptr;
  }
  hr = MakeOwnAllocator(&a);
  if (settle(a, hr)) return S_OK;
  if (a) a->Release();
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT TBCBaseOutputPin::AcquireSample(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                        DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!Allocator) return E_NOINTERFACE;
  return Allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT TBCBaseOutputPin::SendSample(IMediaSample* sample) {
  if (!PeerInput) return VFW_E_NOT_CONNECTED;
  return PeerInput->Receive(sample);
}

HRESULT TBCBaseOutputPin::MakeOwnAllocator(IMemAllocator** allocator) {
  return ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(allocator));
}

HRESULT TBCBaseOutputPin::SendEndOfStream() {
  IPin* peer = ConnectedPin;
  return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::SendBeginFlush() {
  IPin* peer = ConnectedPin;
  return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::SendEndFlush() {
  IPin* peer = ConnectedPin;
  return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  IPin* peer = ConnectedPin;
  return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

// ---------------------------------------------------------------------------------------------------
// Input pin

TBCBaseInputPin::TBCBaseInputPin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                                 HRESULT& hr, const wchar_t* pinName)
    : TBCBasePin(objectName, filter, lock, hr, pinName, PINDIR_INPUT) {}

TBCBaseInputPin::~TBCBaseInputPin() {
  if (Allocator) Allocator->Release();
  if (SampleProps_.pMediaType) DeleteMediaType(SampleProps_.pMediaType);
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), out);
  return TBCBasePin::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  TBCAutoLock lock(*PinLock);
  if (!Allocator) {
    HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                    reinterpret_cast<void**>(&Allocator));
    if (FAILED(hr)) return hr;
  }
  *allocator = Allocator;
  Allocator->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  TBCAutoLock lock(*PinLock);
  allocator->AddRef();
  if (Allocator) Allocator->Release();
  Allocator = allocator;
  ReadOnly = readOnly != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT TBCBaseInputPin::StreamingCheck() {
  if (FilterStopped()) return VFW_E_WRONG_STATE;
  if (Flushing) return S_FALSE;
  if (StreamFailed) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  HRESULT hr = StreamingCheck();
  if (hr != S_OK) return hr;

  if (SampleProps_.pMediaType) {
    DeleteMediaType(SampleProps_.pMediaType);
    SampleProps_.pMediaType = nullptr;
  }
  TComPtr<IMediaSample2> sample2;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, sample2.PutVoid())) && sample2) {
    hr = sample2->GetProperties(sizeof(SampleProps_), reinterpret_cast<BYTE*>(&SampleProps_));
    if (FAILED(hr)) {
      SampleProps_.pMediaType = nullptr;
      return hr;
    }
    // The sample's own type record is not ours to free: keep a copy.
    if (SampleProps_.pMediaType) {
      AM_MEDIA_TYPE* copy = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      if (copy && FAILED(CopyMediaType(*copy, *SampleProps_.pMediaType))) {
        DeleteMediaType(copy);
        copy = nullptr;
      }
      SampleProps_.pMediaType = copy;
      if (!copy) return E_OUTOFMEMORY;
    }
  } else {
    AM_SAMPLE2_PROPERTIES& p = SampleProps_;
    std::memset(&p, 0, sizeof(p));
    p.cbData = sizeof(p);
    p.dwStreamId = AM_STREAM_MEDIA;
    if (sample->IsDiscontinuity() == S_OK) p.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    if (sample->IsPreroll() == S_OK) p.dwSampleFlags |= AM_SAMPLE_PREROLL;
    if (sample->IsSyncPoint() == S_OK) p.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    if (SUCCEEDED(sample->GetTime(&p.tStart, &p.tStop)))
      p.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
    if (sample->GetMediaType(&p.pMediaType) == S_OK)
      p.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
    else
      p.pMediaType = nullptr;
    sample->GetPointer(&p.pbBuffer);
    p.lActual = sample->GetActualDataLength();
    p.cbBuffer = sample->GetSize();
  }

  if ((SampleProps_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && SampleProps_.pMediaType) {
    if (VerifyType(*SampleProps_.pMediaType) != S_OK) {
      StreamFailed = true;
      EndOfStream();
      Filter->RaiseGraphEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
      return VFW_E_INVALIDMEDIATYPE;
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  if (!samples || !processed) return E_POINTER;
  HRESULT hr = S_OK;
  *processed = 0;
  while (count-- > 0) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::ReceiveCanBlock() {
  const int n = Filter->PinCount();
  int outputs = 0;
  for (int i = 0; i < n; ++i) {
    TBCBasePin* pin = Filter->PinAt(i);
    if (!pin) continue;
    PIN_DIRECTION dir;
    HRESULT hr = pin->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    if (dir != PINDIR_OUTPUT || !pin->Peer()) continue;
    ++outputs;
    TComPtr<IMemInputPin> input;
    if (FAILED(pin->Peer()->QueryInterface(IID_IMemInputPin, input.PutVoid()))) return S_OK;
    if (input->ReceiveCanBlock() != S_FALSE) return S_OK;
  }
  return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::BeginFlush() {
  TBCAutoLock lock(*PinLock);
  Flushing = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::EndFlush() {
  TBCAutoLock lock(*PinLock);
  Flushing = false;
  StreamFailed = false;
  return S_OK;
}

HRESULT TBCBaseInputPin::DropConnection() {
  if (Allocator) {
    HRESULT hr = Allocator->Decommit();
    if (FAILED(hr)) return hr;
    Allocator->Release();
    Allocator = nullptr;
  }
  return S_OK;
}

HRESULT TBCBaseInputPin::Deactivate() {
  StreamFailed = false;
  if (!Allocator) return VFW_E_NO_ALLOCATOR;
  Flushing = false;
  return Allocator->Decommit();
}

HRESULT TBCBaseInputPin::ForwardQuality(const Quality& quality) {
  if (QualitySink) return QualitySink->Notify(static_cast<IBaseFilter*>(Filter), quality);
  if (ConnectedPin) {
    TComPtr<IQualityControl> upstream;
    if (SUCCEEDED(ConnectedPin->QueryInterface(IID_IQualityControl, upstream.PutVoid())) && upstream)
      return upstream->Notify(static_cast<IBaseFilter*>(Filter), quality);
  }
  return VFW_E_NOT_FOUND;
}

// ---------------------------------------------------------------------------------------------------
// Exported entry points of a plug-in

}  // namespace kivo

using kivo::TBCFilterTemplate;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  kivo::TBCClassFactory* factory = TBCFilterTemplate::Instance().FactoryByCLSID(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() {
  return kivo::ObjectCount.load() == 0 && kivo::FactoryRefCount.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  try {
    return SUCCEEDED(TBCFilterTemplate::Instance().RegisterAll(true)) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return SUCCEEDED(TBCFilterTemplate::Instance().RegisterAll(false)) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}
