#include "WebBrowser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>

#include "Forms.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TWebBrowser)

// ---- the container site ---------------------------------------------------------------------
// What the control sees of its container: client site, in-place site and frame (the control's
// window is all three), host UI handler and the sink of its events. It outlives the control's
// reference to it; once detached it answers every call as if its container were gone.
class TWebBrowserSite
    : public TInterfaced<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IDocHostUIHandler, IDispatch> {
 public:
  explicit TWebBrowserSite(TWebBrowser* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }
  bool InPlaceActive() const { return inPlaceActive_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IOleWindow) *out = static_cast<IOleWindow*>(static_cast<IOleInPlaceSite*>(this));
    else if (iid == IID_IOleInPlaceUIWindow) *out = static_cast<IOleInPlaceUIWindow*>(this);
    else if (iid == DIID_DWebBrowserEvents2) *out = static_cast<IDispatch*>(this);
    else return TInterfaced::QueryInterface(iid, out);
    AddRef();
    return S_OK;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** mk) override {
    if (mk) *mk = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (of the in-place site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* wnd) override {
    if (!wnd) return E_POINTER;
    *wnd = Window();
    return *wnd ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return Window() ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    inPlaceActive_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame) *frame = nullptr;
    if (doc) *doc = nullptr;
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    HWND wnd = Window();
    if (!wnd) return E_UNEXPECTED;
    *frame = this;
    AddRef();
    ::GetClientRect(wnd, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(wnd, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    inPlaceActive_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  // the control keeps the place its window gives it
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override {
    if (owner_) owner_->PlaceControl();
    return S_OK;
  }

  // IOleInPlaceUIWindow, IOleInPlaceFrame: no tool space, no menus
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override {
    return widths ? INPLACE_E_NOTOOLSPACE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler: the page fills the area without a border; the rest is the control's own
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                   IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override {
    if (target) *target = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** disp) override {
    if (disp) *disp = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

  // IDispatch: the control's events (DWebBrowserEvents2); no ambient properties
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
      return DISP_E_MEMBERNOTFOUND;
    if (id == DISPID_BEFORENAVIGATE2) return BeforeNavigate2(params);
    return S_OK;
  }

 private:
  HWND Window() const { return owner_ ? owner_->HandleIfAllocated() : nullptr; }

  // Arguments in reverse order: pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel.
  HRESULT BeforeNavigate2(DISPPARAMS* params) {
    if (!params || params->cArgs != 7 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
    const VARIANT& urlArg = params->rgvarg[5];
    const VARIANT& cancelArg = params->rgvarg[0];
    const VARIANT* url = urlArg.vt == (VT_BYREF | VT_VARIANT) ? urlArg.pvarVal : &urlArg;
    if (cancelArg.vt != (VT_BYREF | VT_BOOL) || !cancelArg.pboolVal) return DISP_E_TYPEMISMATCH;
    if (!owner_) return S_OK;
    bool cancel = *cancelArg.pboolVal != VARIANT_FALSE;
    try {
      std::wstring address;
      if (url && url->vt == VT_BSTR && url->bstrVal) address.assign(url->bstrVal, ::SysStringLen(url->bstrVal));
      owner_->BeforeNavigate(address, cancel);
    } catch (...) {
      Application()->HandleException(owner_);
    }
    *cancelArg.pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  TWebBrowser* owner_;
  bool inPlaceActive_ = false;
};

// ---- the control and what it holds ----------------------------------------------------------
namespace {

// OLE on the thread for as long as a control lives (nested in the thread's own initialisation).
class TOleSession {
 public:
  TOleSession() noexcept : hr_(::OleInitialize(nullptr)) {}
  ~TOleSession() {
    if (SUCCEEDED(hr_)) ::OleUninitialize();
  }
  TOleSession(const TOleSession&) = delete;
  TOleSession& operator=(const TOleSession&) = delete;
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

class TBstr {
 public:
  explicit TBstr(const std::wstring& s) : b_(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  TBstr() = default;
  ~TBstr() { ::SysFreeString(b_); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR Get() const { return b_; }
  BSTR* Put() {
    ::SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::wstring Str() const { return b_ ? std::wstring(b_, ::SysStringLen(b_)) : std::wstring(); }

 private:
  BSTR b_ = nullptr;
};

}  // namespace

// The control in place in the window, and its connections; taken down in reverse order.
class TWebBrowser::THost {
 public:
  ~THost() { Close(); }

  HRESULT Open(TWebBrowser* owner) {
    if (FAILED(ole_.Result())) return ole_.Result();
    HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.PutVoid());
    if (FAILED(hr)) return hr;
    if (!object_) return E_NOINTERFACE;
    site_ = TComPtr<TWebBrowserSite>(new TWebBrowserSite(owner));
    if (FAILED(hr = object_->SetClientSite(site_.Get()))) return hr;
    ::OleSetContainedObject(object_.Get(), TRUE);
    if (FAILED(hr = object_.As(browser_))) return hr;
    // without its events the control still shows pages; OnBeforeNavigate stays silent
    TComPtr<IConnectionPointContainer> points;
    if (SUCCEEDED(object_.As(points)) && SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.Put())) &&
        FAILED(events_->Advise(static_cast<IDispatch*>(site_.Get()), &cookie_))) {
      events_.Reset();
      cookie_ = 0;
    }
    HWND wnd = owner->HandleIfAllocated();
    RECT r;
    ::GetClientRect(wnd, &r);
    if (FAILED(hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, wnd, &r))) return hr;
    if (FAILED(hr = object_.As(inPlace_))) return hr;
    return S_OK;
  }

  void Close() noexcept {
    if (events_) events_->Unadvise(cookie_);
    events_.Reset();
    cookie_ = 0;
    browser_.Reset();
    if (inPlace_) inPlace_->InPlaceDeactivate();
    inPlace_.Reset();
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
    }
    object_.Reset();
    if (site_) site_->Detach();
    site_.Reset();
  }

  void Place(HWND wnd) {
    if (!inPlace_ || !wnd) return;
    RECT r;
    ::GetClientRect(wnd, &r);
    inPlace_->SetObjectRects(&r, &r);
  }

  IWebBrowser2* Browser() const { return browser_.Get(); }

 private:
  TOleSession ole_;  // first made, last gone
  TComPtr<TWebBrowserSite> site_;
  TComPtr<IOleObject> object_;
  TComPtr<IWebBrowser2> browser_;
  TComPtr<IOleInPlaceObject> inPlace_;
  TComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
};

void TWebBrowser::Publish(TPublisher<TWebBrowser>& p) {
  PublishVisibility(p);
  PublishAlign(p);
  p.Boolean(L"Silent", &TWebBrowser::Silent, &TWebBrowser::SetSilent);
}

TWebBrowser::TWebBrowser(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 300, 150);
  SetColor(clWhite);
}

TWebBrowser::~TWebBrowser() {
  // the window goes in the base destructor: the control goes first, while this object is whole
  CloseControl();
}

void TWebBrowser::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.Style |= WS_CLIPCHILDREN;
}

void TWebBrowser::CreateWnd() {
  TWinControl::CreateWnd();
  OpenControl();
}

void TWebBrowser::OpenControl() {
  CloseControl();
  auto host = std::make_unique<THost>();
  createError_ = host->Open(this);
  if (FAILED(createError_)) return;  // host goes: the area stays empty
  host_ = std::move(host);
  if (silent_) host_->Browser()->put_Silent(VARIANT_TRUE);
  // what was asked for before, or the page shown in the window this one replaces
  std::wstring url = pending_.empty() ? address_ : pending_;
  pending_.clear();
  if (!url.empty()) Navigate(url);
}

void TWebBrowser::CloseControl() noexcept {
  if (!host_) return;
  try {
    address_ = LocationURL();
  } catch (...) {
    // the address is kept as it was
  }
  std::unique_ptr<THost> host = std::move(host_);
  host.reset();
}

void TWebBrowser::PlaceControl() {
  if (host_) host_->Place(HandleIfAllocated());
}

void TWebBrowser::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_DESTROY:
      // the control's windows are still there: it takes them down itself
      CloseControl();
      break;
    case WM_SIZE:
      TWinControl::WndProc(m);
      PlaceControl();
      return;
    default:
      break;
  }
  TWinControl::WndProc(m);
}

HRESULT TWebBrowser::Navigate(const std::wstring& url) {
  if (!host_) {
    if (HandleAllocated()) return E_NOINTERFACE;
    pending_ = url;
    return S_FALSE;
  }
  TBstr address(url);
  VARIANT none;
  ::VariantInit(&none);
  refusedAtOnce_ = false;
  const HRESULT hr = host_->Browser()->Navigate(address.Get(), &none, &none, &none, &none);
  if (SUCCEEDED(hr) && !refusedAtOnce_) address_ = url;
  return hr;
}

void TWebBrowser::BeforeNavigate(const std::wstring& url, bool& cancel) {
  if (OnBeforeNavigate) OnBeforeNavigate(this, url, cancel);
  if (cancel) refusedAtOnce_ = true;
}

std::wstring TWebBrowser::LocationURL() const {
  if (host_) {
    TBstr url;
    if (host_->Browser()->get_LocationURL(url.Put()) == S_OK && !url.Str().empty()) return url.Str();
  }
  return address_;
}

HRESULT TWebBrowser::Stop() { return host_ ? host_->Browser()->Stop() : E_NOINTERFACE; }

HRESULT TWebBrowser::Refresh() { return host_ ? host_->Browser()->Refresh() : E_NOINTERFACE; }

void TWebBrowser::SetSilent(bool v) {
  silent_ = v;
  if (host_) host_->Browser()->put_Silent(v ? VARIANT_TRUE : VARIANT_FALSE);
}

bool TWebBrowser::Busy() const {
  VARIANT_BOOL busy = VARIANT_FALSE;
  return host_ && SUCCEEDED(host_->Browser()->get_Busy(&busy)) && busy != VARIANT_FALSE;
}

IWebBrowser2* TWebBrowser::ControlInterface() const { return host_ ? host_->Browser() : nullptr; }

}  // namespace kivo
