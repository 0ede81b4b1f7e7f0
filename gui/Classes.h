// The object model: class identity, published properties by name, persistent objects, components
// with ownership and notification, reference-counted interfaced objects.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "SysUtils.h"

namespace kivo {

class TObject;
class TClassInfo;

// ---- Published properties ---------------------------------------------------------------------
enum class TTypeKind { tkInteger, tkEnumeration, tkString, tkClass, tkSet };

// One published property: name, kind and how to read and write it on an object of its class.
// Enumerations (Booleans too: "False", "True") and sets keep their value names.
struct TPropInfo {
  std::wstring Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  std::vector<std::wstring> ValueNames;  // enumeration values, or set elements by bit
  const TClassInfo* PropClass = nullptr;  // object properties: the class of the value
  std::function<long long(const TObject&)> GetOrd;  // integer, enumeration ordinal, set bits
  std::function<void(TObject&, long long)> SetOrd;
  std::function<std::wstring(const TObject&)> GetStr;
  std::function<void(TObject&, const std::wstring&)> SetStr;
  std::function<TObject*(const TObject&)> GetObj;
  std::function<void(TObject&, TObject*)> SetObj;
  bool Writable() const { return SetOrd || SetStr || SetObj; }
};

// Static class information: the library's class name, the parent class and the published
// properties introduced by the class.
class TClassInfo {
 public:
  using TPublishFn = void (*)(std::vector<TPropInfo>&);
  TClassInfo(const wchar_t* name, const TClassInfo* parent, TPublishFn publish = nullptr);
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const std::wstring& Name() const { return name_; }
  const TClassInfo* Parent() const { return parent_; }
  bool InheritsFrom(const TClassInfo& other) const;
  // By library class name, ignoring case ("TCustomPanel", "TWinControl", ...).
  bool InheritsFrom(std::wstring_view className) const;
  // The property of that name (ignoring case) of this class or an ancestor; nullptr when none.
  const TPropInfo* FindProperty(std::wstring_view name) const;
  // All published properties, ancestors' first.
  std::vector<const TPropInfo*> Properties() const;
  // A class registered under that name (every class whose info was built), or nullptr.
  static const TClassInfo* Find(std::wstring_view className);

 private:
  std::wstring name_;
  const TClassInfo* parent_;
  std::vector<TPropInfo> props_;
};

// Declares class identity inside a class body; leaves the access public.
#define KIVO_CLASS(Cls, Base)                                                     \
 public:                                                                          \
  using inherited = Base;                                                         \
  static const ::kivo::TClassInfo& StaticClass();                                 \
  const ::kivo::TClassInfo& ClassType() const override { return StaticClass(); }

// Defines it in one source file: the library class name is the C++ class name.
#define KIVO_IMPLEMENT_CLASS(Cls)                                                       \
  const ::kivo::TClassInfo& Cls::StaticClass() {                                        \
    static const ::kivo::TClassInfo info(L"" #Cls, &Cls::inherited::StaticClass());    \
    return info;                                                                        \
  }
// The same under another library class name than the C++ name.
#define KIVO_IMPLEMENT_CLASS_NAMED(Cls, Name)                                           \
  const ::kivo::TClassInfo& Cls::StaticClass() {                                        \
    static const ::kivo::TClassInfo info(Name, &Cls::inherited::StaticClass());         \
    return info;                                                                        \
  }
// The same for a class with published properties: Cls declares
//   static void Publish(::kivo::TPublisher<Cls>& p);
#define KIVO_IMPLEMENT_CLASS_PUBLISHED(Cls)                                             \
  const ::kivo::TClassInfo& Cls::StaticClass() {                                        \
    static const ::kivo::TClassInfo info(L"" #Cls, &Cls::inherited::StaticClass(),      \
                                         [](std::vector<::kivo::TPropInfo>& list) {     \
                                           ::kivo::TPublisher<Cls> p(list);             \
                                           Cls::Publish(p);                             \
                                         });                                            \
    return info;                                                                        \
  }

// Root of the class tree. Objects are destroyed with Free (BeforeDestruction, then delete).
class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassType() const { return StaticClass(); }
  const std::wstring& ClassName() const { return ClassType().Name(); }
  bool InheritsFrom(const TClassInfo& c) const { return ClassType().InheritsFrom(c); }
  bool InheritsFrom(std::wstring_view className) const { return ClassType().InheritsFrom(className); }
  template <class T>
  bool Is() const {
    return ClassType().InheritsFrom(T::StaticClass());
  }

  // Second construction phase: runs after the most derived constructor (see Create).
  virtual void AfterConstruction() {}
  // First destruction phase: runs while the whole object still exists (see Free).
  virtual void BeforeDestruction() {}
  void Free() {
    BeforeDestruction();
    delete this;
  }
};

// Creates an object and runs its after-construction step: the way to make forms and frames.
template <class T, class... A>
T* Create(A&&... args) {
  T* obj = new T(std::forward<A>(args)...);
  try {
    obj->AfterConstruction();
  } catch (...) {
    obj->Free();
    throw;
  }
  return obj;
}
template <class T>
void FreeAndNil(T*& obj) {
  T* o = obj;
  obj = nullptr;
  if (o) o->Free();
}
struct TFreeDeleter {
  void operator()(TObject* o) const {
    if (o) o->Free();
  }
};
template <class T>
using TObjectPtr = std::unique_ptr<T, TFreeDeleter>;

// Builds the property table of class T from its accessor member functions.
template <class T>
class TPublisher {
 public:
  explicit TPublisher(std::vector<TPropInfo>& list) : list_(list) {}

  // Accessors may be members of T or of one of its bases (C).
  template <class C, class V>
  void Integer(const wchar_t* name, V (C::*get)() const, void (C::*set)(V) = nullptr) {
    Ordinal(TTypeKind::tkInteger, name, {}, get, set);
  }
  template <class C>
  void Boolean(const wchar_t* name, bool (C::*get)() const, void (C::*set)(bool) = nullptr) {
    Ordinal(TTypeKind::tkEnumeration, name, {L"False", L"True"}, get, set);
  }
  template <class C, class E>
  void Enumeration(const wchar_t* name, std::vector<std::wstring> names, E (C::*get)() const,
                   void (C::*set)(E) = nullptr) {
    Ordinal(TTypeKind::tkEnumeration, name, std::move(names), get, set);
  }
  // A set held as bits: element i of names is bit i.
  template <class C, class S>
  void Set(const wchar_t* name, std::vector<std::wstring> names, S (C::*get)() const,
           void (C::*set)(S) = nullptr) {
    Ordinal(TTypeKind::tkSet, name, std::move(names), get, set);
  }
  template <class C>
  void String(const wchar_t* name, std::wstring (C::*get)() const,
              void (C::*set)(const std::wstring&) = nullptr) {
    static_assert(std::is_base_of<C, T>::value, "accessor of another class");
    TPropInfo p = Base(name, TTypeKind::tkString);
    p.GetStr = [get](const TObject& o) { return (Self<C>(o).*get)(); };
    if (set) p.SetStr = [set](TObject& o, const std::wstring& v) { (Self<C>(o).*set)(v); };
    list_.push_back(std::move(p));
  }
  template <class C, class O>
  void Object(const wchar_t* name, O* (C::*get)() const, void (C::*set)(O*) = nullptr) {
    static_assert(std::is_base_of<C, T>::value, "accessor of another class");
    TPropInfo p = Base(name, TTypeKind::tkClass);
    p.PropClass = &O::StaticClass();
    p.GetObj = [get](const TObject& o) -> TObject* { return (Self<C>(o).*get)(); };
    if (set)
      p.SetObj = [set](TObject& o, TObject* v) {
        O* typed = nullptr;
        if (v) {
          if (!v->InheritsFrom(O::StaticClass())) throw EPropertyError(L"Invalid property value");
          typed = static_cast<O*>(v);
        }
        (Self<C>(o).*set)(typed);
      };
    list_.push_back(std::move(p));
  }

 private:
  template <class C>
  static const C& Self(const TObject& o) {
    return static_cast<const C&>(static_cast<const T&>(o));
  }
  template <class C>
  static C& Self(TObject& o) {
    return static_cast<C&>(static_cast<T&>(o));
  }
  template <class C, class V>
  void Ordinal(TTypeKind kind, const wchar_t* name, std::vector<std::wstring> names, V (C::*get)() const,
               void (C::*set)(V)) {
    static_assert(std::is_base_of<C, T>::value, "accessor of another class");
    TPropInfo p = Base(name, kind);
    p.ValueNames = std::move(names);
    p.GetOrd = [get](const TObject& o) { return static_cast<long long>((Self<C>(o).*get)()); };
    if (set) p.SetOrd = [set](TObject& o, long long v) { (Self<C>(o).*set)(static_cast<V>(v)); };
    list_.push_back(std::move(p));
  }
  static TPropInfo Base(const wchar_t* name, TTypeKind kind) {
    TPropInfo p;
    p.Name = name;
    p.Kind = kind;
    return p;
  }
  std::vector<TPropInfo>& list_;
};

// Property access by name. The Get/Set helpers raise EPropertyError for a missing property or
// one of another kind; SetPropValue converts text (enumeration by value name, integer with
// StrToInt, raising EConvertError, set as "[a,b]", string as is).
const TPropInfo* GetPropInfo(const TObject* obj, std::wstring_view name);
bool IsPublishedProp(const TObject* obj, std::wstring_view name);
long long GetOrdProp(const TObject* obj, std::wstring_view name);
void SetOrdProp(TObject* obj, std::wstring_view name, long long value);
std::wstring GetEnumProp(const TObject* obj, std::wstring_view name);
void SetEnumProp(TObject* obj, std::wstring_view name, std::wstring_view valueName);
std::wstring GetSetProp(const TObject* obj, std::wstring_view name, bool brackets = true);
void SetSetProp(TObject* obj, std::wstring_view name, std::wstring_view text);
std::wstring GetStrProp(const TObject* obj, std::wstring_view name);
void SetStrProp(TObject* obj, std::wstring_view name, const std::wstring& value);
// The object held by the property when it is of class cls (any object for nullptr), else nullptr.
TObject* GetObjectProp(const TObject* obj, std::wstring_view name, const TClassInfo* cls = nullptr);
void SetObjectProp(TObject* obj, std::wstring_view name, TObject* value);
std::wstring GetPropValue(const TObject* obj, std::wstring_view name);
void SetPropValue(TObject* obj, std::wstring_view name, std::wstring_view value);

// ---- TPersistent ------------------------------------------------------------------------------
class TPersistent : public TObject {
  KIVO_CLASS(TPersistent, TObject)
  // Copies Source into this object; EConvertError when the classes do not fit.
  virtual void Assign(const TPersistent* source);

 protected:
  virtual void AssignTo(TPersistent* dest) const;
};

// ---- TComponent -------------------------------------------------------------------------------
using TNotifyEvent = std::function<void(TObject* sender)>;

// Binds a method of an object as an event handler: OnClick = Method(this, &TMyForm::OkClick).
template <class C, class R, class... A>
std::function<R(A...)> Method(C* obj, R (C::*fn)(A...)) {
  return [obj, fn](A... a) -> R { return (obj->*fn)(std::forward<A>(a)...); };
}

enum TComponentStateFlag : uint32_t {
  csLoading = 0x1,
  csReading = 0x2,
  csWriting = 0x4,
  csDestroying = 0x8,
  csDesigning = 0x10,  // never set: there is no designer
  csAncestor = 0x20,
  csUpdating = 0x40,
  csFixups = 0x80,
  csFreeNotification = 0x100,
  csInline = 0x200,
};
using TComponentState = uint32_t;
enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
  KIVO_CLASS(TComponent, TPersistent)
  static void Publish(TPublisher<TComponent>& p);

  // Owned by owner (which frees it) when owner is not null. A component made while its owner is
  // loading is loading too, and gets Loaded when the owner's loading ends.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  const std::vector<TComponent*>& ComponentList() const { return components_; }
  int ComponentIndex() const;
  TComponent* FindComponent(std::wstring_view name) const;
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);
  void DestroyComponents();

  std::wstring Name() const { return name_; }
  // EComponentError for a name that is not an identifier or that the owner already has.
  virtual void SetName(const std::wstring& name);
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t t) { tag_ = t; }
  int32_t DesignInfo() const { return designInfo_; }
  void SetDesignInfo(int32_t v) { designInfo_ = v; }
  TComponentState ComponentState() const { return state_; }
  bool IsLoading() const { return (state_ & csLoading) != 0; }
  bool IsDestroying() const { return (state_ & csDestroying) != 0; }

  // Asks for a Notification(this-component, opRemove) on c when this component is destroyed,
  // and the other way round.
  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);

  // Ends loading: this component's Loaded, then its loading owned components', depth first.
  void AfterConstruction() override;
  void BeforeDestruction() override;
  // Marks this component and every owned one as being destroyed.
  void Destroying();

 protected:
  // c was inserted into or removed from the owner, or a component this one watches is going.
  // The default passes it to every owned component.
  virtual void Notification(TComponent* c, TOperation op);
  // After loading: clears csLoading. Overrides call the inherited one first.
  virtual void Loaded();
  void SetLoading(bool on);
  void EndLoading();
  void IncludeState(TComponentState s) { state_ |= s; }
  void ExcludeState(TComponentState s) { state_ &= ~s; }

 private:
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  std::wstring name_;
  intptr_t tag_ = 0;
  int32_t designInfo_ = 0;
  TComponentState state_ = 0;
};

// ---- Interfaced objects -----------------------------------------------------------------------
// Reference-counted object: freed when the last reference is released. The count starts at 0;
// hold it through TComPtr (or AddRef) right after creation.
class TInterfacedObject : public TObject {
  KIVO_CLASS(TInterfacedObject, TObject)
  long RefCount() const { return refs_.load(); }

 protected:
  ULONG DoAddRef() { return static_cast<ULONG>(++refs_); }
  ULONG DoRelease() {
    long n = --refs_;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 private:
  std::atomic<long> refs_{0};
};

// TInterfacedObject implementing the COM interfaces I... (each with a __uuidof).
template <class... I>
class TInterfaced : public TInterfacedObject, public I... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      (void)((iid == __uuidof(I) ? (*out = static_cast<I*>(this), true) : false) || ...);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

 private:
  template <class F, class...>
  struct Head {
    using Type = F;
  };
  using First = typename Head<I...>::Type;
};

}  // namespace kivo
