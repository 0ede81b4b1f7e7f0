// Move-only owners for Win32 handles, GDI objects and COM references.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace kivo {

// One owner for one handle. Traits give the handle type, the "no handle" value and how to close it:
//   struct Traits { using Type = ...; static Type Invalid() noexcept; static void Close(Type) noexcept; };
template <class Traits>
class TUniqueHandle {
 public:
  using Type = typename Traits::Type;

  TUniqueHandle() noexcept : h_(Traits::Invalid()) {}
  explicit TUniqueHandle(Type h) noexcept : h_(h) {}
  ~TUniqueHandle() { Reset(); }

  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& other) noexcept : h_(other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const noexcept { return h_; }
  bool Valid() const noexcept { return h_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return Valid(); }

  // Gives up ownership without closing.
  Type Release() noexcept {
    Type h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void Reset(Type h = Traits::Invalid()) noexcept {
    if (h_ != Traits::Invalid() && h_ != h) Traits::Close(h_);
    h_ = h;
  }
  // For APIs that return the handle through an out-parameter.
  Type* Put() noexcept {
    Reset();
    return &h_;
  }

 private:
  Type h_;
};

struct TKernelHandleTraits {  // events, mutexes, threads, processes, mappings (NULL when absent)
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct TFileHandleTraits {  // CreateFile results (INVALID_HANDLE_VALUE when absent)
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct TViewTraits {  // MapViewOfFile results
  using Type = void*;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type p) noexcept { ::UnmapViewOfFile(p); }
};
struct TRegKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::RegCloseKey(h); }
};
struct TModuleTraits {  // LoadLibrary results
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::FreeLibrary(h); }
};
template <class T>
struct TGdiObjectTraits {  // HBITMAP, HFONT, HPEN, HBRUSH, HRGN, HPALETTE
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteObject(h); }
};
struct TMemDCTraits {  // CreateCompatibleDC / CreateDC results
  using Type = HDC;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteDC(h); }
};
struct TIconTraits {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyIcon(h); }
};
struct TWindowTraits {  // a window this code created and must destroy
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyWindow(h); }
};
struct TMenuTraits {
  using Type = HMENU;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyMenu(h); }
};
struct TFindTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::FindClose(h); }
};

using THandleOwner = TUniqueHandle<TKernelHandleTraits>;
using TFileOwner = TUniqueHandle<TFileHandleTraits>;
using TViewOwner = TUniqueHandle<TViewTraits>;
using TRegKeyOwner = TUniqueHandle<TRegKeyTraits>;
using TModuleOwner = TUniqueHandle<TModuleTraits>;
using TBitmapOwner = TUniqueHandle<TGdiObjectTraits<HBITMAP>>;
using TFontOwner = TUniqueHandle<TGdiObjectTraits<HFONT>>;
using TPenOwner = TUniqueHandle<TGdiObjectTraits<HPEN>>;
using TBrushOwner = TUniqueHandle<TGdiObjectTraits<HBRUSH>>;
using TRgnOwner = TUniqueHandle<TGdiObjectTraits<HRGN>>;
using TPaletteOwner = TUniqueHandle<TGdiObjectTraits<HPALETTE>>;
using TMemDCOwner = TUniqueHandle<TMemDCTraits>;
using TIconOwner = TUniqueHandle<TIconTraits>;
using TWindowOwner = TUniqueHandle<TWindowTraits>;
using TMenuOwner = TUniqueHandle<TMenuTraits>;
using TFindOwner = TUniqueHandle<TFindTraits>;

// A DC borrowed from a window with GetDC, given back with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND wnd) noexcept : wnd_(wnd), dc_(::GetDC(wnd)) {}
  ~TWindowDC() {
    if (dc_) ::ReleaseDC(wnd_, dc_);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND wnd_;
  HDC dc_;
};

// Selects a GDI object into a DC for a scope and puts the previous one back.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
  ~TSelectObject() {
    if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A counted COM reference. Copy adds a reference, move transfers it.
template <class T>
class TComPtr {
 public:
  TComPtr() noexcept = default;
  TComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference (AddRef).
  explicit TComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ~TComPtr() { Reset(); }
  TComPtr(const TComPtr& o) noexcept : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  TComPtr(TComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  TComPtr& operator=(const TComPtr& o) noexcept {
    TComPtr(o).Swap(*this);
    return *this;
  }
  TComPtr& operator=(TComPtr&& o) noexcept {
    TComPtr(std::move(o)).Swap(*this);
    return *this;
  }

  // Adopts a reference the caller already owns (no AddRef).
  static TComPtr Attach(T* p) noexcept {
    TComPtr r;
    r.p_ = p;
    return r;
  }
  T* Detach() noexcept {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Reset() noexcept {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  // For APIs that hand out a reference through T**.
  T** Put() noexcept {
    Reset();
    return &p_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void Swap(TComPtr& o) noexcept { std::swap(p_, o.p_); }

  template <class U>
  HRESULT As(TComPtr<U>& out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), out.PutVoid());
  }

 private:
  T* p_ = nullptr;
};

// A critical section and its scoped lock.
class TCriticalSection {
 public:
  TCriticalSection() noexcept { ::InitializeCriticalSection(&cs_); }
  ~TCriticalSection() { ::DeleteCriticalSection(&cs_); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;
  void Enter() noexcept { ::EnterCriticalSection(&cs_); }
  void Leave() noexcept { ::LeaveCriticalSection(&cs_); }
  bool TryEnter() noexcept { return ::TryEnterCriticalSection(&cs_) != FALSE; }

 private:
  CRITICAL_SECTION cs_;
};

class TLock {
 public:
  explicit TLock(TCriticalSection& cs) noexcept : cs_(cs) { cs_.Enter(); }
  ~TLock() { cs_.Leave(); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
  TCriticalSection& cs_;
};

// Sets an auto-reset event again when the scope ends: the way an event used as a lock is given back.
class TEventRelease {
 public:
  explicit TEventRelease(HANDLE ev) noexcept : ev_(ev) {}
  ~TEventRelease() {
    if (ev_) ::SetEvent(ev_);
  }
  TEventRelease(const TEventRelease&) = delete;
  TEventRelease& operator=(const TEventRelease&) = delete;

 private:
  HANDLE ev_;
};

}  // namespace kivo
