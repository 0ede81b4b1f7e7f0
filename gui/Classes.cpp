#include "Classes.h"

#include <algorithm>
#include <cwctype>
#include <mutex>
#include <unordered_map>

namespace kivo {

// ---- Class information ------------------------------------------------------------------------
namespace {
struct TClassRegistry {
  std::mutex lock;
  std::vector<const TClassInfo*> classes;
};
TClassRegistry& Registry() {
  static TClassRegistry r;
  return r;
}
}  // namespace

TClassInfo::TClassInfo(const wchar_t* name, const TClassInfo* parent, TPublishFn publish)
    : name_(name), parent_(parent) {
  if (publish) publish(props_);
  auto& r = Registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.classes.push_back(this);
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c; c = c->parent_)
    if (c == &other) return true;
  return false;
}
bool TClassInfo::InheritsFrom(std::wstring_view className) const {
  for (const TClassInfo* c = this; c; c = c->parent_)
    if (SameText(c->name_, className)) return true;
  return false;
}
const TPropInfo* TClassInfo::FindProperty(std::wstring_view name) const {
  for (const TClassInfo* c = this; c; c = c->parent_)
    for (const TPropInfo& p : c->props_)
      if (SameText(p.Name, name)) return &p;
  return nullptr;
}
std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c; c = c->parent_) chain.push_back(c);
  std::vector<const TPropInfo*> r;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const TPropInfo& p : (*it)->props_) {
      // a redeclared property replaces the ancestor's
      auto old = std::find_if(r.begin(), r.end(), [&](const TPropInfo* q) { return SameText(q->Name, p.Name); });
      if (old != r.end()) *old = &p;
      else r.push_back(&p);
    }
  return r;
}
const TClassInfo* TClassInfo::Find(std::wstring_view className) {
  auto& r = Registry();
  std::lock_guard<std::mutex> g(r.lock);
  for (const TClassInfo* c : r.classes)
    if (SameText(c->name_, className)) return c;
  return nullptr;
}

const TClassInfo& TObject::StaticClass() {
  static const TClassInfo info(L"TObject", nullptr);
  return info;
}

// ---- Property access --------------------------------------------------------------------------
namespace {
const TPropInfo& Need(const TObject* obj, std::wstring_view name) {
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p) throw EPropertyError(L"Property " + std::wstring(name) + L" does not exist");
  return *p;
}
const TPropInfo& NeedKind(const TObject* obj, std::wstring_view name, std::initializer_list<TTypeKind> kinds) {
  const TPropInfo& p = Need(obj, name);
  for (TTypeKind k : kinds)
    if (p.Kind == k) return p;
  throw EPropertyError(L"Invalid property type: " + std::wstring(name));
}
void NeedWritable(const TPropInfo& p, bool ok) {
  if (!ok) throw EPropertyError(L"Property " + p.Name + L" is read-only");
}
std::wstring SetToText(const TPropInfo& p, long long bits, bool brackets) {
  std::wstring s;
  for (size_t i = 0; i < p.ValueNames.size() && i < 64; ++i)
    if (bits & (1LL << i)) {
      if (!s.empty()) s += L',';
      s += p.ValueNames[i];
    }
  return brackets ? L"[" + s + L"]" : s;
}
long long TextToSet(const TPropInfo& p, std::wstring_view text) {
  std::wstring t = Trim(text);
  if (!t.empty() && t.front() == L'[') t.erase(0, 1);
  if (!t.empty() && t.back() == L']') t.pop_back();
  long long bits = 0;
  size_t start = 0;
  while (start <= t.size()) {
    size_t comma = t.find(L',', start);
    std::wstring item = Trim(t.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
    if (!item.empty()) {
      auto it = std::find_if(p.ValueNames.begin(), p.ValueNames.end(), [&](const std::wstring& n) { return SameText(n, item); });
      if (it == p.ValueNames.end()) throw EPropertyError(L"Invalid property element: " + item);
      bits |= 1LL << (it - p.ValueNames.begin());
    }
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  return bits;
}
}  // namespace

const TPropInfo* GetPropInfo(const TObject* obj, std::wstring_view name) {
  return obj ? obj->ClassType().FindProperty(name) : nullptr;
}
bool IsPublishedProp(const TObject* obj, std::wstring_view name) { return GetPropInfo(obj, name) != nullptr; }

long long GetOrdProp(const TObject* obj, std::wstring_view name) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkInteger, TTypeKind::tkEnumeration, TTypeKind::tkSet});
  return p.GetOrd(*obj);
}
void SetOrdProp(TObject* obj, std::wstring_view name, long long value) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkInteger, TTypeKind::tkEnumeration, TTypeKind::tkSet});
  NeedWritable(p, bool(p.SetOrd));
  p.SetOrd(*obj, value);
}
std::wstring GetEnumProp(const TObject* obj, std::wstring_view name) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkEnumeration});
  long long v = p.GetOrd(*obj);
  return v >= 0 && v < static_cast<long long>(p.ValueNames.size()) ? p.ValueNames[v] : IntToStr(v);
}
void SetEnumProp(TObject* obj, std::wstring_view name, std::wstring_view valueName) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkEnumeration});
  NeedWritable(p, bool(p.SetOrd));
  std::wstring v = Trim(valueName);
  auto it = std::find_if(p.ValueNames.begin(), p.ValueNames.end(), [&](const std::wstring& n) { return SameText(n, v); });
  if (it == p.ValueNames.end()) throw EPropertyError(L"Invalid property value: " + v);
  p.SetOrd(*obj, it - p.ValueNames.begin());
}
std::wstring GetSetProp(const TObject* obj, std::wstring_view name, bool brackets) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkSet});
  return SetToText(p, p.GetOrd(*obj), brackets);
}
void SetSetProp(TObject* obj, std::wstring_view name, std::wstring_view text) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkSet});
  NeedWritable(p, bool(p.SetOrd));
  p.SetOrd(*obj, TextToSet(p, text));
}
std::wstring GetStrProp(const TObject* obj, std::wstring_view name) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkString});
  return p.GetStr(*obj);
}
void SetStrProp(TObject* obj, std::wstring_view name, const std::wstring& value) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkString});
  NeedWritable(p, bool(p.SetStr));
  p.SetStr(*obj, value);
}
TObject* GetObjectProp(const TObject* obj, std::wstring_view name, const TClassInfo* cls) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkClass});
  TObject* v = p.GetObj(*obj);
  if (v && cls && !v->InheritsFrom(*cls)) return nullptr;
  return v;
}
void SetObjectProp(TObject* obj, std::wstring_view name, TObject* value) {
  const TPropInfo& p = NeedKind(obj, name, {TTypeKind::tkClass});
  NeedWritable(p, bool(p.SetObj));
  p.SetObj(*obj, value);
}
std::wstring GetPropValue(const TObject* obj, std::wstring_view name) {
  const TPropInfo& p = Need(obj, name);
  switch (p.Kind) {
    case TTypeKind::tkInteger: return IntToStr(p.GetOrd(*obj));
    case TTypeKind::tkEnumeration: return GetEnumProp(obj, name);
    case TTypeKind::tkSet: return SetToText(p, p.GetOrd(*obj), true);
    case TTypeKind::tkString: return p.GetStr(*obj);
    case TTypeKind::tkClass: {
      TObject* v = p.GetObj(*obj);
      return v ? v->ClassName() : std::wstring();
    }
  }
  return {};
}
void SetPropValue(TObject* obj, std::wstring_view name, std::wstring_view value) {
  const TPropInfo& p = Need(obj, name);
  switch (p.Kind) {
    case TTypeKind::tkInteger:
      NeedWritable(p, bool(p.SetOrd));
      p.SetOrd(*obj, StrToInt64(value));
      break;
    case TTypeKind::tkEnumeration: SetEnumProp(obj, name, value); break;
    case TTypeKind::tkSet: SetSetProp(obj, name, value); break;
    case TTypeKind::tkString: SetStrProp(obj, name, std::wstring(value)); break;
    case TTypeKind::tkClass: throw EPropertyError(L"Invalid property type: " + p.Name);
  }
}

// ---- TPersistent ------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS(TPersistent)

void TPersistent::Assign(const TPersistent* source) {
  if (source) {
    source->AssignTo(this);
    return;
  }
  throw EConvertError(L"Cannot assign a nil to a " + ClassName());
}
void TPersistent::AssignTo(TPersistent* dest) const {
  throw EConvertError(L"Cannot assign a " + ClassName() + L" to a " + dest->ClassName());
}

// ---- TComponent -------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS_PUBLISHED(TComponent)

void TComponent::Publish(TPublisher<TComponent>& p) {
  p.String(L"Name", &TComponent::Name, &TComponent::SetName);
  p.Integer(L"Tag", &TComponent::Tag, &TComponent::SetTag);
}

TComponent::TComponent(TComponent* owner) {
  if (owner) {
    if (owner->IsLoading()) state_ |= csLoading;
    owner->InsertComponent(this);
  }
}

TComponent::~TComponent() {
  Destroying();
  // Watchers learn that this component goes; it forgets what it watched.
  while (!freeNotifies_.empty()) {
    TComponent* c = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& theirs = c->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    if (c != owner_) c->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::BeforeDestruction() {
  if (!IsDestroying()) Destroying();
}
void TComponent::Destroying() {
  if (state_ & csDestroying) return;
  state_ |= csDestroying;
  for (TComponent* c : components_) c->Destroying();
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(Format(L"List index out of bounds (%d)", index));
  return components_[index];
}
int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& l = owner_->components_;
  auto it = std::find(l.begin(), l.end(), this);
  return it == l.end() ? -1 : static_cast<int>(it - l.begin());
}
TComponent* TComponent::FindComponent(std::wstring_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}
void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->owner_ == this) return;
  // refused before it leaves its old owner, which still frees it
  if (!c->name_.empty() && FindComponent(c->name_))
    throw EComponentError(L"A component named " + c->name_ + L" already exists");
  if (c->owner_) c->owner_->RemoveComponent(c);
  components_.push_back(c);
  c->owner_ = this;
  Notification(c, TOperation::opInsert);
}
void TComponent::RemoveComponent(TComponent* c) {
  if (!c || c->owner_ != this) return;
  Notification(c, TOperation::opRemove);
  components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
  c->owner_ = nullptr;
}
void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    RemoveComponent(c);
    c->Free();
  }
}

void TComponent::SetName(const std::wstring& name) {
  if (name == name_) return;
  if (!name.empty()) {
    bool ok = iswalpha(name[0]) || name[0] == L'_';
    for (wchar_t ch : name) ok = ok && (iswalnum(ch) || ch == L'_');
    if (!ok) throw EComponentError(L"''" + name + L"'' is not a valid component name");
    if (owner_) {
      TComponent* other = owner_->FindComponent(name);
      if (other && other != this) throw EComponentError(L"A component named " + name + L" already exists");
    }
  }
  name_ = name;
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), c) == freeNotifies_.end()) freeNotifies_.push_back(c);
  if (std::find(c->freeNotifies_.begin(), c->freeNotifies_.end(), this) == c->freeNotifies_.end())
    c->freeNotifies_.push_back(this);
  state_ |= csFreeNotification;
}
void TComponent::RemoveFreeNotification(TComponent* c) {
  if (!c) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), c), freeNotifies_.end());
  c->freeNotifies_.erase(std::remove(c->freeNotifies_.begin(), c->freeNotifies_.end(), this), c->freeNotifies_.end());
}

void TComponent::Notification(TComponent* c, TOperation op) {
  if (op == TOperation::opRemove && c) RemoveFreeNotification(c);
  // a copy: handlers may free or add components
  std::vector<TComponent*> list = components_;
  for (TComponent* child : list)
    if (std::find(components_.begin(), components_.end(), child) != components_.end()) child->Notification(c, op);
}

void TComponent::Loaded() { state_ &= ~csLoading; }
void TComponent::SetLoading(bool on) {
  if (on) state_ |= csLoading;
  else state_ &= ~csLoading;
}
void TComponent::EndLoading() {
  if (IsLoading()) Loaded();
  std::vector<TComponent*> list = components_;
  for (TComponent* c : list)
    if (c->IsLoading()) c->EndLoading();
}
void TComponent::AfterConstruction() {
  // A component made inside a loading owner ends its loading with the owner.
  if (owner_ && owner_->IsLoading()) return;
  if (IsLoading()) EndLoading();
}

KIVO_IMPLEMENT_CLASS(TInterfacedObject)

}  // namespace kivo
