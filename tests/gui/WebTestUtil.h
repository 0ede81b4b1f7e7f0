// Helpers for the tests of the web area: file addresses, and the web browser control's class
// (CLSID_WebBrowser) as this apartment sees it.
//
// TWebControlOverride, for the life of the object: the machine's own control, made through its real class object, with a reference to
// every object made kept for the test to look at; or no control at all, answering
// REGDB_E_CLASSNOTREG as a machine without it does. The thread must have OLE initialised.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <ole2.h>
#include <shlwapi.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "Handles.h"

namespace kivo::test {

// The "file:" address of a path, and the path of an address ("file:" ones decoded; the control
// under Wine writes them as "file://C:\..."), in lower case for comparing.
inline std::wstring FileUrlOf(const std::wstring& path) {
  std::wstring url(INTERNET_MAX_URL_LENGTH, L'\0');
  DWORD n = static_cast<DWORD>(url.size());
  if (FAILED(::UrlCreateFromPathW(path.c_str(), &url[0], &n, 0))) return {};
  url.resize(n);
  return url;
}
inline std::wstring PathOfUrl(const std::wstring& url) {
  std::wstring path = url;
  if (::_wcsnicmp(url.c_str(), L"file:", 5) == 0) {
    path.assign(MAX_PATH * 4, L'\0');
    DWORD n = static_cast<DWORD>(path.size());
    if (FAILED(::PathCreateFromUrlW(url.c_str(), &path[0], &n, 0))) return L"<not a file address: " + url + L">";
    path.resize(n);
  }
  ::CharLowerBuffW(&path[0], static_cast<DWORD>(path.size()));
  return path;
}
inline std::wstring Lowered(std::wstring s) {
  if (!s.empty()) ::CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

class TWebControlOverride {
 public:
  enum class TMode { Machine, Missing };

  explicit TWebControlOverride(TMode mode) : factory_(new TFactory) {
    if (mode == TMode::Machine) {
      result_ = ::CoGetClassObject(CLSID_WebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   factory_->real.PutVoid());
      if (FAILED(result_)) return;
    }
    result_ = ::CoRegisterClassObject(CLSID_WebBrowser, static_cast<IClassFactory*>(factory_.Get()),
                                      CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  }
  ~TWebControlOverride() {
    if (cookie_) ::CoRevokeClassObject(cookie_);
  }
  TWebControlOverride(const TWebControlOverride&) = delete;
  TWebControlOverride& operator=(const TWebControlOverride&) = delete;

  HRESULT Result() const { return result_; }
  // The controls made so far (their IUnknown), each held once by this object.
  std::vector<TComPtr<IUnknown>>& Made() { return factory_->made; }

  // The references others hold on an object this test holds once.
  static ULONG OthersRefs(IUnknown* p) {
    p->AddRef();
    return p->Release() - 1;
  }
  // The window of a control that is active in place; nullptr when it is not.
  static HWND ControlWindow(IUnknown* p) {
    TComPtr<IOleInPlaceObject> inPlace;
    HWND wnd = nullptr;
    if (SUCCEEDED(p->QueryInterface(IID_IOleInPlaceObject, inPlace.PutVoid())) && FAILED(inPlace->GetWindow(&wnd)))
      wnd = nullptr;
    return wnd;
  }

 private:
  class TFactory : public TInterfaced<IClassFactory> {
   public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (!real) return REGDB_E_CLASSNOTREG;
      TComPtr<IUnknown> object;
      HRESULT hr = real->CreateInstance(outer, IID_IUnknown, object.PutVoid());
      if (FAILED(hr)) return hr;
      made.push_back(object);
      return object->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    TComPtr<IClassFactory> real;
    std::vector<TComPtr<IUnknown>> made;
  };

  TComPtr<TFactory> factory_;
  HRESULT result_ = S_OK;
  DWORD cookie_ = 0;
};

}  // namespace kivo::test
