// kivodevenum.dll: the system device enumerator and device moniker class of the test prefixes.
// Registered in place of Wine's devenum.dll for CLSID_SystemDeviceEnum and CLSID_CDeviceMoniker, it
// hands every request to Wine's devenum.dll and adds what Wine lacks:
//  - the test devices of the registry list (TestDevices.h) after Wine's entries of a category, as
//    "@device:pnp:" monikers that bind their CLSID and load it from their property bag;
//  - monikers that save to and load from a stream (class id, then an int32 byte count and the
//    NUL-terminated UTF-16 display name), Wine's own ones included, which it wraps;
//  - a class object for CLSID_CDeviceMoniker that is also a class factory (for OleLoadFromStream)
//    beside the display-name parser (for MkParseDisplayName).
#include <windows.h>
#include <ole2.h>
#include <strmif.h>
#include <uuids.h>

#include <atomic>
#include <cwctype>
#include <new>
#include <string>
#include <vector>

#include "Handles.h"
#include "TestDevices.h"

using namespace kivo;
using namespace kivo::testdev;

namespace {

std::atomic<LONG> g_objects{0};  // live objects and server locks
TCriticalSection g_moduleLock;
HMODULE g_wineDevEnum = nullptr;  // Wine's devenum.dll, loaded on first use
HMODULE g_self = nullptr;

using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// Wine's class object of `clsid`, asked for `iid`.
HRESULT WineClassObject(REFCLSID clsid, REFIID iid, void** out) {
  TGetClassObject get = nullptr;
  {
    TLock lock(g_moduleLock);
    if (!g_wineDevEnum) {
      wchar_t dir[MAX_PATH];
      UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
      if (n == 0 || n >= MAX_PATH) return E_FAIL;
      g_wineDevEnum = ::LoadLibraryW((std::wstring(dir) + L"\\devenum.dll").c_str());
      if (!g_wineDevEnum) return HRESULT_FROM_WIN32(::GetLastError());
    }
    get = reinterpret_cast<TGetClassObject>(::GetProcAddress(g_wineDevEnum, "DllGetClassObject"));
  }
  if (!get) return E_FAIL;
  return get(clsid, iid, out);
}

// Wine's display-name parser: its device moniker class object makes it.
HRESULT WineParser(TComPtr<IParseDisplayName>& parser) {
  if (SUCCEEDED(WineClassObject(CLSID_CDeviceMoniker, IID_IParseDisplayName, parser.PutVoid()))) return S_OK;
  TComPtr<IClassFactory> factory;
  HRESULT hr = WineClassObject(CLSID_CDeviceMoniker, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IParseDisplayName, parser.PutVoid());
}

bool StartsWithNoCase(const std::wstring& s, const wchar_t* prefix) {
  const size_t n = wcslen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::towlower(s[i]) != std::towlower(prefix[i])) return false;
  return true;
}

// A COM method's body: no exception leaves it.
template <class F>
HRESULT Guarded(F body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

std::wstring LowerText(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

HRESULT CopyToTaskMem(const std::wstring& text, LPOLESTR* out) {
  auto* p = static_cast<wchar_t*>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!p) return E_OUTOFMEMORY;
  wmemcpy(p, text.c_str(), text.size() + 1);
  *out = p;
  return S_OK;
}

// Reference counting of the objects this server hands out; each keeps the server loaded.
template <class Derived, class First, class... Rest>
class TObject : public First, public Rest... {
 public:
  TObject() { ++g_objects; }
  virtual ~TObject() { --g_objects; }
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++Refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = --Refs;
    if (n == 0) delete this;
    return ULONG(n);
  }

 private:
  std::atomic<LONG> Refs{1};
};

// ---------------------------------------------------------------------------------------------------
// The property bag of a test device: the values of its registry key.

class TPropertyBag : public TObject<TPropertyBag, IPropertyBag> {
 public:
  explicit TPropertyBag(std::wstring keyPath) : KeyPath(std::move(keyPath)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPropertyBag) return E_NOINTERFACE;
    *out = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* var, IErrorLog*) override {
    if (!name || !var) return E_POINTER;
    return Guarded([&] { return ReadValue(name, var); });
  }

  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_ACCESSDENIED; }

 private:
  HRESULT ReadValue(LPCOLESTR name, VARIANT* var) {
    TRegKeyOwner key;
    LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath.c_str(), 0, KEY_READ, key.Put());
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    DWORD type = 0, bytes = 0;
    rc = ::RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &bytes);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    std::vector<BYTE> data(bytes + sizeof(wchar_t));
    rc = ::RegQueryValueExW(key.Get(), name, nullptr, &type, data.data(), &bytes);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    VARIANT value;
    ::VariantInit(&value);
    switch (type) {
      case REG_SZ:
      case REG_EXPAND_SZ: {
        const auto* text = reinterpret_cast<const wchar_t*>(data.data());
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = ::SysAllocStringLen(text, UINT(wcsnlen(text, bytes / sizeof(wchar_t))));
        if (!V_BSTR(&value)) return E_OUTOFMEMORY;
        break;
      }
      case REG_DWORD:
        if (bytes != sizeof(DWORD)) return E_FAIL;
        V_VT(&value) = VT_I4;
        V_I4(&value) = *reinterpret_cast<const LONG*>(data.data());
        break;
      case REG_BINARY: {
        SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, bytes);
        if (!array) return E_OUTOFMEMORY;
        void* p = nullptr;
        if (SUCCEEDED(::SafeArrayAccessData(array, &p))) {
          memcpy(p, data.data(), bytes);
          ::SafeArrayUnaccessData(array);
        }
        V_VT(&value) = VT_ARRAY | VT_UI1;
        V_ARRAY(&value) = array;
        break;
      }
      default:
        return E_FAIL;
    }
    // The caller may ask for a type of its own.
    const VARTYPE wanted = V_VT(var);
    if (wanted == VT_EMPTY || wanted == V_VT(&value)) {
      *var = value;
      return S_OK;
    }
    HRESULT hr = ::VariantChangeType(var, &value, 0, wanted);
    ::VariantClear(&value);
    return hr;
  }

  std::wstring KeyPath;
};

// ---------------------------------------------------------------------------------------------------
// Device moniker

class TDeviceMoniker : public TObject<TDeviceMoniker, IMoniker> {
 public:
  TDeviceMoniker() = default;
  // A test device's moniker, or Wine's wrapped (inner set).
  TDeviceMoniker(std::wstring name, IMoniker* inner) : Name(std::move(name)), Inner(inner) {}

  // The moniker of a display name: a test device's, or Wine's for every other name.
  static HRESULT FromDisplayName(IBindCtx* ctx, const std::wstring& name, IMoniker** out) {
    *out = nullptr;
    if (StartsWithNoCase(name, kPnpPrefix)) {
      if (name.size() == wcslen(kPnpPrefix)) return MK_E_SYNTAX;
      *out = new (std::nothrow) TDeviceMoniker(name, nullptr);
      return *out ? S_OK : E_OUTOFMEMORY;
    }
    TComPtr<IParseDisplayName> parser;
    HRESULT hr = WineParser(parser);
    if (FAILED(hr)) return hr;
    TComPtr<IBindCtx> own;
    if (!ctx) {
      hr = ::CreateBindCtx(0, own.Put());
      if (FAILED(hr)) return hr;
      ctx = own.Get();
    }
    ULONG eaten = 0;
    TComPtr<IMoniker> inner;
    std::wstring copy = name;
    hr = parser->ParseDisplayName(ctx, copy.data(), &eaten, inner.Put());
    if (FAILED(hr)) return hr;
    if (!inner || eaten != name.size()) return MK_E_SYNTAX;
    return Wrap(inner.Get(), out);
  }

  static HRESULT Wrap(IMoniker* inner, IMoniker** out) {
    *out = nullptr;
    LPOLESTR text = nullptr;
    HRESULT hr = inner->GetDisplayName(nullptr, nullptr, &text);
    if (FAILED(hr)) return hr;
    std::wstring name = text ? text : L"";
    ::CoTaskMemFree(text);
    *out = new (std::nothrow) TDeviceMoniker(std::move(name), inner);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPersist && iid != IID_IPersistStream && iid != IID_IMoniker)
      return E_NOINTERFACE;
    *out = static_cast<IMoniker*>(this);
    AddRef();
    return S_OK;
  }

  // IPersist, IPersistStream
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_CDeviceMoniker;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override {
    if (!stream) return E_POINTER;
    if (!Name.empty()) return E_UNEXPECTED;  // a moniker is loaded once
    return Guarded([&] { return LoadName(stream); });
  }
  HRESULT LoadName(IStream* stream) {
    int32_t bytes = 0;
    ULONG got = 0;
    HRESULT hr = stream->Read(&bytes, sizeof(bytes), &got);
    if (FAILED(hr)) return hr;
    if (got != sizeof(bytes) || bytes < 4 || bytes % 2 || bytes > 65536) return STG_E_READFAULT;
    std::wstring text(size_t(bytes) / 2, L'\0');
    hr = stream->Read(text.data(), ULONG(bytes), &got);
    if (FAILED(hr)) return hr;
    if (got != ULONG(bytes) || text.back() != L'\0') return STG_E_READFAULT;
    text.resize(wcslen(text.c_str()));
    TComPtr<IMoniker> resolved;
    hr = FromDisplayName(nullptr, text, resolved.Put());
    if (FAILED(hr)) return hr;
    auto* m = static_cast<TDeviceMoniker*>(resolved.Get());
    Name = m->Name;
    Inner = m->Inner;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL) override {
    if (!stream) return E_POINTER;
    if (Name.empty()) return E_UNEXPECTED;
    const int32_t bytes = int32_t((Name.size() + 1) * sizeof(wchar_t));
    HRESULT hr = stream->Write(&bytes, sizeof(bytes), nullptr);
    if (SUCCEEDED(hr)) hr = stream->Write(Name.c_str(), ULONG(bytes), nullptr);
    return FAILED(hr) ? hr : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
    if (!size) return E_POINTER;
    size->QuadPart = sizeof(int32_t) + (Name.size() + 1) * sizeof(wchar_t);
    return S_OK;
  }

  // IMoniker
  HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* ctx, IMoniker* left, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (Inner) return Inner->BindToObject(ctx, left, iid, out);
    return Guarded([&] { return BindDevice(iid, out); });
  }
  HRESULT BindDevice(REFIID iid, void** out) {
    auto device = FindDevice(Name);
    if (!device) return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    TComPtr<IUnknown> object;
    HRESULT hr = ::CoCreateInstance(device->Clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid());
    if (FAILED(hr)) return hr;
    // A device's driver learns which device it is from its property bag.
    TComPtr<IPersistPropertyBag> persist;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistPropertyBag, persist.PutVoid()))) {
      auto bag = TComPtr<IPropertyBag>::Attach(new TPropertyBag(DeviceKeyPath(device->Category, device->Key)));
      hr = persist->Load(bag.Get(), nullptr);
      if (FAILED(hr)) return hr;
    }
    return object->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (Inner) return Inner->BindToStorage(ctx, left, iid, out);
    if (iid != IID_IPropertyBag) return E_NOINTERFACE;
    return Guarded([&] {
      auto device = FindDevice(Name);
      if (!device) return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
      *out = static_cast<IPropertyBag*>(new TPropertyBag(DeviceKeyPath(device->Category, device->Key)));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker** left, IMoniker** reduced) override {
    if (!reduced) return E_POINTER;
    if (left) *left = nullptr;
    *reduced = this;
    AddRef();
    return MK_S_REDUCED_TO_SELF;
  }
  HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite) override {
    if (!composite) return E_POINTER;
    *composite = nullptr;
    if (onlyIfNotGeneric) return MK_E_NEEDGENERIC;
    return ::CreateGenericComposite(this, right, composite);
  }
  HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override {
    if (!other) return E_INVALIDARG;
    CLSID clsid;
    LPOLESTR text = nullptr;
    if (FAILED(other->GetClassID(&clsid)) || clsid != CLSID_CDeviceMoniker ||
        FAILED(other->GetDisplayName(nullptr, nullptr, &text)) || !text)
      return S_FALSE;
    HRESULT hr = Guarded([&] { return LowerText(text) == LowerText(Name) ? S_OK : S_FALSE; });
    ::CoTaskMemFree(text);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override {
    if (!hash) return E_POINTER;
    DWORD h = 2166136261u;
    for (wchar_t c : Name) h = (h ^ DWORD(std::towlower(c))) * 16777619u;
    *hash = h;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override {
    return MK_E_UNAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE Inverse(IMoniker** out) override {
    if (out) *out = nullptr;
    return MK_E_NOINVERSE;
  }
  HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker** out) override {
    if (out) *out = nullptr;
    return MK_E_NOPREFIX;
  }
  HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (Name.empty()) return E_UNEXPECTED;
    return CopyToTaskMem(Name, out);
  }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) override {
    if (!kind) return E_POINTER;
    *kind = MKSYS_NONE;
    return S_FALSE;
  }

 private:
  std::wstring Name;
  TComPtr<IMoniker> Inner;
};

// ---------------------------------------------------------------------------------------------------
// The enumerator of one category: a list taken when it was made.

class TMonikerList : public TObject<TMonikerList, IEnumMoniker> {
 public:
  TMonikerList(std::vector<TComPtr<IMoniker>> items, size_t position = 0)
      : Items(std::move(items)), Position(position) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IEnumMoniker) return E_NOINTERFACE;
    *out = static_cast<IEnumMoniker*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** out, ULONG* fetched) override {
    if (!out || (count != 1 && !fetched)) return E_POINTER;
    TLock lock(Lock);
    ULONG n = 0;
    while (n < count && Position < Items.size()) {
      out[n] = Items[Position++].Get();
      out[n]->AddRef();
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    TLock lock(Lock);
    const size_t left = Items.size() - Position;
    Position += std::min<size_t>(left, count);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    TLock lock(Lock);
    Position = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker** out) override {
    if (!out) return E_POINTER;
    TLock lock(Lock);
    *out = new (std::nothrow) TMonikerList(Items, Position);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  TCriticalSection Lock;
  std::vector<TComPtr<IMoniker>> Items;
  size_t Position;
};

// ---------------------------------------------------------------------------------------------------
// The system device enumerator

class TDevEnum : public TObject<TDevEnum, ICreateDevEnum> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_ICreateDevEnum) return E_NOINTERFACE;
    *out = static_cast<ICreateDevEnum*>(this);
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD flags) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] { return Enumerate(category, out, flags); });
  }

 private:
  HRESULT Enumerate(REFCLSID category, IEnumMoniker** out, DWORD flags) {
    std::vector<TComPtr<IMoniker>> items;
    TComPtr<IClassFactory> factory;
    TComPtr<ICreateDevEnum> wine;
    HRESULT wineResult = WineClassObject(CLSID_SystemDeviceEnum, IID_IClassFactory, factory.PutVoid());
    if (SUCCEEDED(wineResult))
      wineResult = factory->CreateInstance(nullptr, IID_ICreateDevEnum, wine.PutVoid());
    if (SUCCEEDED(wineResult)) {
      TComPtr<IEnumMoniker> list;
      wineResult = wine->CreateClassEnumerator(category, list.Put(), flags);
      if (wineResult == S_OK && list) {
        TComPtr<IMoniker> m;
        while (list->Next(1, m.Put(), nullptr) == S_OK && m) {
          TComPtr<IMoniker> wrapped;
          if (SUCCEEDED(TDeviceMoniker::Wrap(m.Get(), wrapped.Put()))) items.push_back(wrapped);
        }
      }
    }
    // Plug-and-play devices, unless the caller asked for other kinds only.
    if (!(flags & CDEF_DEVMON_SELECTIVE_MASK) || (flags & CDEF_DEVMON_PNP_DEVICE)) {
      for (const auto& device : ListDevices(category))
        items.push_back(TComPtr<IMoniker>::Attach(new TDeviceMoniker(device.DisplayName(), nullptr)));
    }
    if (items.empty()) return FAILED(wineResult) ? wineResult : S_FALSE;
    *out = new TMonikerList(std::move(items));
    return S_OK;
  }
};

// ---------------------------------------------------------------------------------------------------
// A class object of this server making T: static, its references are server locks.
template <class T>
class TClassObject : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++g_objects); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--g_objects); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) T;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? ++g_objects : --g_objects;
    return S_OK;
  }
};

using TDevEnumFactory = TClassObject<TDevEnum>;

// Makes empty monikers for OleLoadFromStream, and parses display names for MkParseDisplayName.
class TMonikerClass : public TClassObject<TDeviceMoniker>, public IParseDisplayName {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IParseDisplayName) return TClassObject::QueryInterface(iid, out);
    *out = static_cast<IParseDisplayName*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return TClassObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return TClassObject::Release(); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out && !outer && iid == IID_IParseDisplayName) return QueryInterface(iid, out);
    return TClassObject::CreateInstance(outer, iid, out);
  }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* ctx, LPOLESTR name, ULONG* eaten, IMoniker** out) override {
    if (!name || !eaten || !out) return E_POINTER;
    *out = nullptr;
    *eaten = 0;
    return Guarded([&] {
      const std::wstring text = name;
      HRESULT hr = TDeviceMoniker::FromDisplayName(ctx, text, out);
      if (SUCCEEDED(hr)) *eaten = ULONG(text.size());
      return hr;
    });
  }
};

TDevEnumFactory g_devEnumFactory;
TMonikerClass g_monikerClass;

// HKLM\Software\Classes\CLSID\{clsid}\InprocServer32 (the machine's classes, this process's view).
LONG SetServer(REFCLSID clsid, const std::wstring& path) {
  const std::wstring key = L"Software\\Classes\\CLSID\\" + GuidString(clsid) + L"\\InprocServer32";
  TRegKeyOwner k;
  LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.Put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = ::RegSetValueExW(k.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                        DWORD((path.size() + 1) * sizeof(wchar_t)));
  static const wchar_t both[] = L"Both";
  if (rc == ERROR_SUCCESS)
    rc = ::RegSetValueExW(k.Get(), L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(both), sizeof(both));
  return rc;
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH * 2];
  DWORD n = ::GetModuleFileNameW(module, path, DWORD(std::size(path)));
  return std::wstring(path, n);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_self = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid == CLSID_SystemDeviceEnum) return g_devEnumFactory.QueryInterface(iid, out);
  if (clsid == CLSID_CDeviceMoniker) return g_monikerClass.QueryInterface(iid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

// Objects of Wine's devenum.dll that went out through this server (a property bag) may outlive its
// own objects: the server goes only when Wine's can go too.
STDAPI DllCanUnloadNow() {
  TLock lock(g_moduleLock);
  if (g_objects.load() != 0) return S_FALSE;
  if (g_wineDevEnum) {
    using TCanUnload = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<TCanUnload>(::GetProcAddress(g_wineDevEnum, "DllCanUnloadNow"));
    if (!canUnload || canUnload() != S_OK) return S_FALSE;
    ::FreeLibrary(g_wineDevEnum);
    g_wineDevEnum = nullptr;
  }
  return S_OK;
}

// Both classes served by this file; or Wine's devenum.dll again.
STDAPI DllRegisterServer() {
  const std::wstring self = ModulePath(g_self);
  LONG rc = SetServer(CLSID_SystemDeviceEnum, self);
  if (rc == ERROR_SUCCESS) rc = SetServer(CLSID_CDeviceMoniker, self);
  return HRESULT_FROM_WIN32(rc);
}

STDAPI DllUnregisterServer() {
  wchar_t dir[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return E_FAIL;
  const std::wstring wine = std::wstring(dir) + L"\\devenum.dll";
  LONG rc = SetServer(CLSID_SystemDeviceEnum, wine);
  if (rc == ERROR_SUCCESS) rc = SetServer(CLSID_CDeviceMoniker, wine);
  return HRESULT_FROM_WIN32(rc);
}
