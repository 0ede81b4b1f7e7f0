// The graph toolkit's part of DSUtil: media-type objects, lists, devices, stored monikers, errors,
// property pages, the Running Object Table and the volume scales.
#include "DSUtil.h"

#include <dshow.h>
#include <errors.h>
#include <olectl.h>
#include <uuids.h>

#include <cmath>
#include <cstring>

namespace kivo {

// ---- Errors ------------------------------------------------------------------------------------
std::wstring GetDSErrorText(HRESULT hr) {
  char text[256] = {};
  ::AMGetErrorTextA(hr, text, 255);
  text[255] = 0;
  std::wstring out;
  for (const char* p = text; *p; ++p) out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return out;
}

HRESULT CheckDSError(HRESULT hr) {
  if (SUCCEEDED(hr)) return hr;
  wchar_t code[16];
  ::swprintf(code, 16, L"%X", static_cast<unsigned>(hr));
  throw EDirectShowException(GetDSErrorText(hr) + L" ($" + code + L").", hr);
}

// ---- TMediaType --------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS(TMediaType)

namespace {

constexpr int kStoredTypeSize = 72;

AM_MEDIA_TYPE* NewRecord() {
  auto* t = new AM_MEDIA_TYPE{};
  t->lSampleSize = 1;
  t->bFixedSizeSamples = -1;
  return t;
}

void PutGuid(BYTE* at, const GUID& g) { std::memcpy(at, &g, 16); }
void PutInt(BYTE* at, uint32_t v) { std::memcpy(at, &v, 4); }
GUID GetGuid(const BYTE* at) {
  GUID g;
  std::memcpy(&g, at, 16);
  return g;
}
uint32_t GetInt(const BYTE* at) {
  uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

}  // namespace

void TMediaType::TRecordDeleter::operator()(AM_MEDIA_TYPE* t) const {
  FreeMediaType(*t);
  delete t;
}

TMediaType::TMediaType() : type_(NewRecord()) {}
TMediaType::TMediaType(const GUID& majortype) : TMediaType() { type_->majortype = majortype; }
TMediaType::TMediaType(const AM_MEDIA_TYPE& record) : TMediaType() { CopyMediaType(*type_, record); }
TMediaType::TMediaType(const TMediaType* other) : TMediaType() {
  if (other) CopyMediaType(*type_, *other->type_);
}
TMediaType::~TMediaType() = default;

void TMediaType::Assign(const TPersistent* source) {
  if (source && source->Is<TMediaType>()) {
    auto* other = static_cast<const TMediaType*>(source);
    if (other == this) return;
    FreeMediaType(*type_);
    CopyMediaType(*type_, *other->type_);
    return;
  }
  inherited::Assign(source);
}

bool TMediaType::SameAs(const TMediaType* other) const {
  if (!other) return false;
  const AM_MEDIA_TYPE& a = *type_;
  const AM_MEDIA_TYPE& b = *other->type_;
  if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype ||
      a.cbFormat != b.cbFormat)
    return false;
  if (a.cbFormat == 0) return true;
  return a.pbFormat && b.pbFormat && std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

void TMediaType::ClearFormat() {
  ::CoTaskMemFree(type_->pbFormat);
  type_->pbFormat = nullptr;
  type_->cbFormat = 0;
}

void TMediaType::WriteData(TStream& stream) const {
  const AM_MEDIA_TYPE& t = *type_;
  BYTE rec[kStoredTypeSize] = {};
  PutGuid(rec + 0, t.majortype);
  PutGuid(rec + 16, t.subtype);
  PutInt(rec + 32, static_cast<uint32_t>(t.bFixedSizeSamples));
  PutInt(rec + 36, static_cast<uint32_t>(t.bTemporalCompression));
  PutInt(rec + 40, t.lSampleSize);
  PutGuid(rec + 44, t.formattype);
  PutInt(rec + 60, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(t.pUnk)));
  PutInt(rec + 64, t.pbFormat ? t.cbFormat : 0);
  PutInt(rec + 68, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(t.pbFormat)));
  stream.WriteBuffer(rec, kStoredTypeSize);
  if (t.pbFormat && t.cbFormat) stream.WriteBuffer(t.pbFormat, static_cast<long>(t.cbFormat));
}

void TMediaType::ReadData(TStream& stream) {
  BYTE rec[kStoredTypeSize];
  stream.ReadBuffer(rec, kStoredTypeSize);
  const uint32_t size = GetInt(rec + 64);
  if (size > 0x7FFFFFFF || static_cast<int64_t>(size) > stream.Size() - stream.Position())
    throw EReadError(L"Stream read error");
  BYTE* block = nullptr;
  if (size) {
    block = static_cast<BYTE*>(::CoTaskMemAlloc(size));
    if (!block) throw EOutOfResources(L"Out of memory");
    try {
      stream.ReadBuffer(block, static_cast<long>(size));
    } catch (...) {
      ::CoTaskMemFree(block);
      throw;
    }
  }
  FreeMediaType(*type_);
  AM_MEDIA_TYPE& t = *type_;
  t.majortype = GetGuid(rec + 0);
  t.subtype = GetGuid(rec + 16);
  t.bFixedSizeSamples = static_cast<BOOL>(GetInt(rec + 32));
  t.bTemporalCompression = static_cast<BOOL>(GetInt(rec + 36));
  t.lSampleSize = GetInt(rec + 40);
  t.formattype = GetGuid(rec + 44);
  t.pUnk = nullptr;
  t.cbFormat = size;
  t.pbFormat = block;
}

bool TMediaType::ShouldStore(const TPersistent* ancestor) const {
  if (ancestor && ancestor->Is<TMediaType>()) return !SameAs(static_cast<const TMediaType*>(ancestor));
  return true;
}

// ---- TEnumMediaType ----------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS(TEnumMediaType)

std::unique_ptr<TEnumMediaType> TEnumMediaType::CreateFromPin(IPin* pin) {
  auto list = std::make_unique<TEnumMediaType>();
  TComPtr<IEnumMediaTypes> types;
  if (pin && SUCCEEDED(pin->EnumMediaTypes(types.Put())) && types) list->ReadFrom(types.Get());
  return list;
}

std::unique_ptr<TEnumMediaType> TEnumMediaType::CreateFromEnum(IEnumMediaTypes* types) {
  auto list = std::make_unique<TEnumMediaType>();
  if (types) list->ReadFrom(types);
  return list;
}

void TEnumMediaType::ReadFrom(IEnumMediaTypes* types) {
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG got = 0;
  while (types->Next(1, &mt, &got) == S_OK && got == 1) {
    if (!mt) continue;
    try {
      items_.emplace_back(new TMediaType(*mt));
    } catch (...) {
      DeleteMediaType(mt);
      throw;
    }
    DeleteMediaType(mt);
    mt = nullptr;
  }
}

// ---- TFilterList, TPinList ---------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS(TFilterList)

TFilterList::TFilterList(IFilterGraph* graph) : graph_(graph) {
  TComPtr<IEnumFilters> filters;
  if (!graph || FAILED(graph->EnumFilters(filters.Put())) || !filters) return;
  TComPtr<IBaseFilter> f;
  while (filters->Next(1, f.Put(), nullptr) == S_OK && f) items_.push_back(std::move(f));
}

bool TFilterList::Remove(IBaseFilter* filter) {
  for (auto it = items_.begin(); it != items_.end(); ++it)
    if (it->Get() == filter) {
      items_.erase(it);
      return true;
    }
  return false;
}

KIVO_IMPLEMENT_CLASS(TPinList)

TPinList::TPinList(IBaseFilter* filter) : filter_(filter) { Refresh(); }

void TPinList::Refresh() {
  items_.clear();
  TComPtr<IEnumPins> pins;
  if (!filter_ || FAILED(filter_->EnumPins(pins.Put())) || !pins) return;
  TComPtr<IPin> p;
  while (pins->Next(1, p.Put(), nullptr) == S_OK && p) items_.push_back(std::move(p));
}

bool TPinList::IsConnected(int i) const {
  TComPtr<IPin> other;
  return SUCCEEDED(GetPin(i)->ConnectedTo(other.Put())) && other;
}

HRESULT TPinList::GetPinInfo(int i, PIN_INFO& info) const { return GetPin(i)->QueryPinInfo(&info); }

// ---- TSysDevEnum -------------------------------------------------------------------------------
KIVO_IMPLEMENT_CLASS(TSysDevEnum)

namespace {

TComPtr<IEnumMoniker> ClassEnumerator(const GUID& category) {
  TComPtr<ICreateDevEnum> devEnum;
  TComPtr<IEnumMoniker> monikers;
  if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.PutVoid())))
    return nullptr;
  if (devEnum->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK) return nullptr;
  return monikers;
}

bool ReadBagString(IPropertyBag* bag, const wchar_t* name, std::wstring& out) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  bool ok = SUCCEEDED(bag->Read(name, &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal;
  if (ok) out = v.bstrVal;
  ::VariantClear(&v);
  return ok;
}

}  // namespace

// Reads "FriendlyName" and "CLSID" of a moniker's property bag (empty and GUID_NULL when missing).
void ReadDeviceEntry(IMoniker* moniker, TSysDevEntry& entry) {
  TComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())) || !bag) return;
  std::wstring text;
  if (ReadBagString(bag.Get(), L"FriendlyName", text)) entry.FriendlyName = text.substr(0, 255);
  if (!ReadBagString(bag.Get(), L"CLSID", text) || FAILED(::CLSIDFromString(text.c_str(), &entry.CLSID)))
    entry.CLSID = GUID_NULL;
}

TSysDevEnum::TSysDevEnum() { EnumerateCategory(categories_, CLSID_ActiveMovieCategories); }
TSysDevEnum::TSysDevEnum(const GUID& category) : TSysDevEnum() { SelectCategory(category); }

void TSysDevEnum::SelectCategory(const GUID& category) {
  category_ = category;
  EnumerateCategory(filters_, category);
}

void TSysDevEnum::EnumerateCategory(std::vector<TSysDevEntry>& list, const GUID& category) {
  list.clear();
  TComPtr<IEnumMoniker> monikers = ClassEnumerator(category);
  if (!monikers) return;
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK && m) {
    TSysDevEntry entry;
    ReadDeviceEntry(m.Get(), entry);
    list.push_back(entry);
  }
}

TComPtr<IMoniker> TSysDevEnum::GetMoniker(int i) const {
  if (i < 0 || i >= FilterCount()) return nullptr;
  TComPtr<IEnumMoniker> monikers = ClassEnumerator(category_);
  if (!monikers) return nullptr;
  if (i > 0 && monikers->Skip(static_cast<ULONG>(i)) != S_OK) return nullptr;
  TComPtr<IMoniker> m;
  if (monikers->Next(1, m.Put(), nullptr) != S_OK) m.Reset();
  monikers->Reset();
  return m;
}

TComPtr<IBaseFilter> TSysDevEnum::GetBaseFilter(int i) const {
  TComPtr<IMoniker> m = GetMoniker(i);
  TComPtr<IBaseFilter> filter;
  if (m && FAILED(m->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()))) filter.Reset();
  return filter;
}

// ---- TPersistentMemory, TBaseFilter ------------------------------------------------------------
KIVO_IMPLEMENT_CLASS(TPersistentMemory)

void TPersistentMemory::Resize(size_t size) {
  std::vector<BYTE>().swap(data_);
  if (size) data_.assign(size, 0);
}

void TPersistentMemory::Assign(const TPersistent* source) {
  if (source && source->Is<TPersistentMemory>()) {
    auto* other = static_cast<const TPersistentMemory*>(source);
    if (other == this) return;
    std::vector<BYTE> copy = other->data_;
    data_.swap(copy);
    return;
  }
  inherited::Assign(source);
}

void TPersistentMemory::AssignTo(TPersistent* dest) const {
  // Only another buffer can take these bytes; anything else fails as the base class does
  // (asking any destination to assign from us would bounce between the two for ever).
  if (dest && dest->Is<TPersistentMemory>()) {
    dest->Assign(this);
    return;
  }
  inherited::AssignTo(dest);
}

bool TPersistentMemory::SameAs(const TPersistentMemory* other) const {
  return other && !data_.empty() && data_.size() == other->data_.size() && data_ == other->data_;
}

void TPersistentMemory::WriteData(TStream& stream) const {
  const int32_t n = static_cast<int32_t>(data_.size());
  stream.WriteBuffer(&n, 4);
  if (n) stream.WriteBuffer(data_.data(), n);
}

void TPersistentMemory::ReadData(TStream& stream) {
  int32_t n = 0;
  stream.ReadBuffer(&n, 4);
  if (n < 0 || n > stream.Size() - stream.Position()) throw EReadError(L"Stream read error");
  std::vector<BYTE> bytes(static_cast<size_t>(n));
  if (n) stream.ReadBuffer(bytes.data(), n);
  data_.swap(bytes);
}

bool TPersistentMemory::ShouldStore(const TPersistent* ancestor) const {
  if (ancestor && ancestor->ClassType().Name() == ClassName())
    return !SameAs(static_cast<const TPersistentMemory*>(ancestor));
  return true;
}

KIVO_IMPLEMENT_CLASS(TBaseFilter)

namespace {

std::wstring DisplayNameOf(IMoniker* moniker) {
  TComPtr<IBindCtx> ctx;
  if (FAILED(::CreateBindCtx(0, ctx.Put()))) return {};
  LPOLESTR name = nullptr;
  std::wstring out;
  if (SUCCEEDED(moniker->GetDisplayName(ctx.Get(), nullptr, &name)) && name) out = name;
  ::CoTaskMemFree(name);
  return out;
}

}  // namespace

void TBaseFilter::SetMoniker(IMoniker* moniker) {
  if (!moniker) {
    Resize(0);
    return;
  }
  const std::wstring name = DisplayNameOf(moniker);
  if (name.compare(0, 8, L"@device:") == 0) {
    // The device moniker's own stream image: class id, byte count, display name with its NUL.
    const uint32_t count = static_cast<uint32_t>((name.size() + 1) * sizeof(wchar_t));
    Resize(20 + count);
    BYTE* p = Data();
    PutGuid(p, kCLSID_DeviceMoniker);
    PutInt(p + 16, count);
    std::memcpy(p + 20, name.c_str(), count);
    return;
  }
  TComPtr<IStream> stream;
  CheckDSError(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
  CheckDSError(::OleSaveToStream(reinterpret_cast<IPersistStream*>(moniker), stream.Get()));
  STATSTG stat{};
  CheckDSError(stream->Stat(&stat, STATFLAG_NONAME));
  LARGE_INTEGER zero{};
  CheckDSError(stream->Seek(zero, STREAM_SEEK_SET, nullptr));
  Resize(static_cast<size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  if (DataLength()) CheckDSError(stream->Read(Data(), static_cast<ULONG>(DataLength()), &read));
}

std::wstring TBaseFilter::DeviceDisplayName() const {
  if (DataLength() < 22 || GetGuid(Data()) != kCLSID_DeviceMoniker) return {};
  const uint32_t count = GetInt(Data() + 16);
  if (count < 2 || count % 2 || count > DataLength() - 20) return {};
  std::wstring name(reinterpret_cast<const wchar_t*>(Data() + 20), count / 2);
  name.resize(std::wcslen(name.c_str()));
  return name;
}

TComPtr<IMoniker> ParseDisplayName(const std::wstring& displayName) {
  TComPtr<IBindCtx> ctx;
  if (FAILED(::CreateBindCtx(0, ctx.Put()))) return {};
  ULONG eaten = 0;
  TComPtr<IMoniker> moniker;
  if (FAILED(::MkParseDisplayName(ctx.Get(), displayName.c_str(), &eaten, moniker.Put()))) return {};
  return moniker;
}

TComPtr<IMoniker> TBaseFilter::RestoreMoniker() const {
  TComPtr<IMoniker> moniker;
  if (!DataLength()) return moniker;
  const std::wstring name = DeviceDisplayName();
  if (!name.empty()) return ParseDisplayName(name);
  TComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()))) return moniker;
  ULONG written = 0;
  LARGE_INTEGER zero{};
  if (FAILED(stream->Write(Data(), static_cast<ULONG>(DataLength()), &written)) ||
      FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)) ||
      FAILED(::OleLoadFromStream(stream.Get(), IID_IMoniker, moniker.PutVoid())))
    moniker.Reset();
  return moniker;
}

TComPtr<IBaseFilter> TBaseFilter::BindFilter() const {
  TComPtr<IBaseFilter> filter;
  TComPtr<IMoniker> moniker = RestoreMoniker();
  if (moniker && FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())))
    filter.Reset();
  return filter;
}

// ---- Property pages ----------------------------------------------------------------------------
bool HasFilterPropertyPage(IBaseFilter* filter, TPropertyPageKind kind) {
  if (!filter) return false;
  switch (kind) {
    case TPropertyPageKind::ppDefault: {
      TComPtr<ISpecifyPropertyPages> pages;
      return SUCCEEDED(filter->QueryInterface(IID_ISpecifyPropertyPages, pages.PutVoid())) && pages;
    }
    case TPropertyPageKind::ppVFWCapDisplay:
    case TPropertyPageKind::ppVFWCapFormat:
    case TPropertyPageKind::ppVFWCapSource: {
      TComPtr<IAMVfwCaptureDialogs> dlg;
      if (FAILED(filter->QueryInterface(IID_IAMVfwCaptureDialogs, dlg.PutVoid())) || !dlg) return false;
      int which = kind == TPropertyPageKind::ppVFWCapDisplay ? VfwCaptureDialog_Display
                  : kind == TPropertyPageKind::ppVFWCapFormat ? VfwCaptureDialog_Format
                                                              : VfwCaptureDialog_Source;
      return dlg->HasDialog(which) == S_OK;
    }
    case TPropertyPageKind::ppVFWCompConfig:
    case TPropertyPageKind::ppVFWCompAbout: {
      TComPtr<IAMVfwCompressDialogs> dlg;
      if (FAILED(filter->QueryInterface(IID_IAMVfwCompressDialogs, dlg.PutVoid())) || !dlg) return false;
      int query = kind == TPropertyPageKind::ppVFWCompConfig ? VfwCompressDialog_QueryConfig
                                                             : VfwCompressDialog_QueryAbout;
      return dlg->ShowDialog(query, nullptr) == S_OK;
    }
  }
  return false;
}

HRESULT ShowFilterPropertyPage(HWND owner, IBaseFilter* filter, TPropertyPageKind kind) {
  HRESULT hr = S_FALSE;
  if (!filter) return hr;
  switch (kind) {
    case TPropertyPageKind::ppDefault: {
      TComPtr<ISpecifyPropertyPages> specify;
      hr = filter->QueryInterface(IID_ISpecifyPropertyPages, specify.PutVoid());
      if (FAILED(hr)) return hr;
      CAUUID pages{};
      hr = specify->GetPages(&pages);
      if (FAILED(hr)) return hr;
      FILTER_INFO info{};
      hr = filter->QueryFilterInfo(&info);
      if (SUCCEEDED(hr)) {
        IUnknown* object = filter;
        hr = ::OleCreatePropertyFrame(owner, 0, 0, info.achName, 1, &object, pages.cElems, pages.pElems, 0, 0,
                                      nullptr);
        if (info.pGraph) info.pGraph->Release();
      }
      ::CoTaskMemFree(pages.pElems);
      return hr;
    }
    case TPropertyPageKind::ppVFWCapDisplay:
    case TPropertyPageKind::ppVFWCapFormat:
    case TPropertyPageKind::ppVFWCapSource: {
      TComPtr<IAMVfwCaptureDialogs> dlg;
      hr = filter->QueryInterface(IID_IAMVfwCaptureDialogs, dlg.PutVoid());
      if (FAILED(hr)) return hr;
      int which = kind == TPropertyPageKind::ppVFWCapDisplay ? VfwCaptureDialog_Display
                  : kind == TPropertyPageKind::ppVFWCapFormat ? VfwCaptureDialog_Format
                                                              : VfwCaptureDialog_Source;
      return dlg->ShowDialog(which, owner);
    }
    case TPropertyPageKind::ppVFWCompConfig:
    case TPropertyPageKind::ppVFWCompAbout: {
      TComPtr<IAMVfwCompressDialogs> dlg;
      hr = filter->QueryInterface(IID_IAMVfwCompressDialogs, dlg.PutVoid());
      if (FAILED(hr)) return hr;
      const bool config = kind == TPropertyPageKind::ppVFWCompConfig;
      hr = dlg->ShowDialog(config ? VfwCompressDialog_QueryConfig : VfwCompressDialog_QueryAbout, nullptr);
      if (hr == S_OK) hr = dlg->ShowDialog(config ? VfwCompressDialog_Config : VfwCompressDialog_About, owner);
      return hr;
    }
  }
  return hr;
}

// ---- Running Object Table ----------------------------------------------------------------------
std::wstring RotItemName(IUnknown* graph) {
  wchar_t text[96];
  ::swprintf(text, 96, L"FilterGraph %0*llX pid %x", static_cast<int>(sizeof(void*) * 2),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(graph)),
             static_cast<unsigned>(::GetCurrentProcessId()));
  return text;
}

HRESULT AddGraphToRot(IUnknown* graph, DWORD& cookie) {
  TComPtr<IRunningObjectTable> rot;
  HRESULT hr = ::GetRunningObjectTable(0, rot.Put());
  if (FAILED(hr)) return hr;
  TComPtr<IMoniker> moniker;
  hr = ::CreateItemMoniker(L"!", RotItemName(graph).c_str(), moniker.Put());
  if (FAILED(hr)) return hr;
  return rot->Register(0, graph, moniker.Get(), &cookie);
}

HRESULT RemoveGraphFromRot(DWORD cookie) {
  TComPtr<IRunningObjectTable> rot;
  HRESULT hr = ::GetRunningObjectTable(0, rot.Put());
  if (FAILED(hr)) return hr;
  return rot->Revoke(cookie);
}

// ---- Scales ------------------------------------------------------------------------------------
int LinearToVolume(int v) {
  return static_cast<int>(std::nearbyint(std::log(static_cast<long double>(v) + 1) * 1085.73L)) - 10000;
}

int LinearToBalance(int b) {
  const int magnitude =
      static_cast<int>(std::nearbyint(std::log(static_cast<long double>(std::abs(b)) + 1) * 1085.73L));
  // Keeps the side: a positive balance (right) stays positive.
  return b < 0 ? -magnitude : magnitude;
}

int RefTimeToMilliseconds(LONGLONG t) { return static_cast<int>(t / 10000); }

}  // namespace kivo
