// DSUtil: media-type routines shared by KivoApp and both plug-ins, and the small DirectShow helpers
// of KivoApp's graph toolkit (media-type objects, filter and pin lists, device enumeration, stored
// monikers, the DirectShow exception, property pages, the Running Object Table, volume scales).
// The toolkit part is in DSUtilTypes.cpp (library kivo_dstoolkit); the plug-ins link only DSUtil.cpp.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Handles.h"
#include "Streams.h"
#include "SysUtils.h"

namespace kivo {

// Sets the variable to null first, then frees the object it held.
template <class T>
void FreeAndNilObject(T*& object) {
  T* old = object;
  object = nullptr;
  delete old;
}

// Frees the format block (CoTaskMemFree) and releases pUnk; the record itself stays.
void FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then CoTaskMemFree of the record itself (records DirectShow hands out). Null is ignored.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Copies the record and gives the destination its own format block and pUnk reference. When the
// block cannot be allocated the destination has cbFormat 0 and no block, and E_OUTOFMEMORY comes back.
// The destination's old contents are overwritten, not freed.
// With the checks on (KivoTrans), source and destination must differ and a non-zero format size must
// come with a block; a broken check reports "Assertion failure" and answers E_INVALIDARG.
HRESULT CopyMediaType(AM_MEDIA_TYPE& destination, const AM_MEDIA_TYPE& source);

// Name of a bitmap compression code: "RGB", "RLE8", "RLE4", "BITFIELDS", else the FourCC.
std::wstring GetCompressionName(DWORD compression);

// How a broken check of the framework is reported (KivoTrans). The default handler writes the text
// to the debugger output. Text: "Assertion failure (<unit>, line <n>)".
using TAssertHandler = void (*)(const std::wstring& text);
TAssertHandler SetAssertHandler(TAssertHandler handler);
void ReportAssertion(const char* unit, int line);
// Turns the checks of CopyMediaType on for this module (KivoTrans does at load).
void EnableMediaTypeChecks(bool on);

// ---- Errors ------------------------------------------------------------------------------------
// A failed DirectShow call: the message and the HRESULT.
class EDirectShowException : public Exception {
 public:
  EDirectShowException(std::wstring message, HRESULT code) : Exception(std::move(message)), ResultCode(code) {}
  const wchar_t* ClassName() const noexcept override { return L"EDirectShowException"; }
  HRESULT ResultCode;
};
// The platform's text for hr (AMGetErrorText, at most 255 characters).
std::wstring GetDSErrorText(HRESULT hr);
// hr for a success code; raises EDirectShowException "<text> ($<HEX>)." for a failure.
HRESULT CheckDSError(HRESULT hr);

// ---- Media types -------------------------------------------------------------------------------
// Owns one AM_MEDIA_TYPE (format block and pUnk with it).
class TMediaType : public TPersistent {
  KIVO_CLASS(TMediaType, TPersistent)
  // Fresh record: all zero but lSampleSize 1 and bFixedSizeSamples TRUE (-1).
  TMediaType();
  explicit TMediaType(const GUID& majortype);
  explicit TMediaType(const AM_MEDIA_TYPE& record);
  explicit TMediaType(const TMediaType* other);
  ~TMediaType() override;

  AM_MEDIA_TYPE* AMType() const { return type_.get(); }
  void Assign(const TPersistent* source) override;
  bool SameAs(const TMediaType* other) const;
  ULONG FormatSize() const { return type_->cbFormat; }
  void ClearFormat();
  void SetSubtype(const GUID& subtype) { type_->subtype = subtype; }
  void SetFormatType(const GUID& formattype) { type_->formattype = formattype; }
  GUID GetFormatType() const { return type_->formattype; }

  // The stored "data" property: the record in its 72-byte 32-bit layout, then the format block.
  // Reading raises EReadError for a short or damaged stream (the record then stays as it was).
  void WriteData(TStream& stream) const;
  void ReadData(TStream& stream);
  // Whether the property is written: not when the ancestor's value is the same.
  bool ShouldStore(const TPersistent* ancestor) const;

 private:
  struct TRecordDeleter {
    void operator()(AM_MEDIA_TYPE* t) const;
  };
  std::unique_ptr<AM_MEDIA_TYPE, TRecordDeleter> type_;
};

// The media types of a pin or an enumerator, each copied into an owned TMediaType.
class TEnumMediaType : public TObject {
  KIVO_CLASS(TEnumMediaType, TObject)
  TEnumMediaType() = default;
  static std::unique_ptr<TEnumMediaType> CreateFromPin(IPin* pin);
  static std::unique_ptr<TEnumMediaType> CreateFromEnum(IEnumMediaTypes* types);
  int Count() const { return static_cast<int>(items_.size()); }
  TMediaType* GetItem(int i) const { return items_.at(i).get(); }
  void Clear() { items_.clear(); }
  void ReadFrom(IEnumMediaTypes* types);

 private:
  std::vector<TObjectPtr<TMediaType>> items_;
};

// The filters of a graph, in EnumFilters order. Add and Remove edit the list, never the graph.
class TFilterList : public TObject {
  KIVO_CLASS(TFilterList, TObject)
  explicit TFilterList(IFilterGraph* graph);
  int Count() const { return static_cast<int>(items_.size()); }
  IBaseFilter* GetFilter(int i) const { return items_.at(i).Get(); }
  void Add(IBaseFilter* filter) { items_.emplace_back(filter); }
  // By identity; answers whether it was listed.
  bool Remove(IBaseFilter* filter);
  IFilterGraph* Graph() const { return graph_.Get(); }

 private:
  TComPtr<IFilterGraph> graph_;
  std::vector<TComPtr<IBaseFilter>> items_;
};

// The pins of a filter, in EnumPins order.
class TPinList : public TObject {
  KIVO_CLASS(TPinList, TObject)
  explicit TPinList(IBaseFilter* filter);
  void Refresh();
  int Count() const { return static_cast<int>(items_.size()); }
  IPin* GetPin(int i) const { return items_.at(i).Get(); }
  IPin* FirstPin() const { return GetPin(0); }
  bool IsConnected(int i) const;
  // QueryPinInfo into info; the caller releases info.pFilter.
  HRESULT GetPinInfo(int i, PIN_INFO& info) const;
  void Add(IPin* pin) { items_.emplace_back(pin); }
  IBaseFilter* Filter() const { return filter_.Get(); }

 private:
  TComPtr<IBaseFilter> filter_;
  std::vector<TComPtr<IPin>> items_;
};

// ---- Devices -----------------------------------------------------------------------------------
struct TSysDevEntry {
  std::wstring FriendlyName;  // at most 255 characters
  GUID CLSID = GUID_NULL;
};

// Reads "FriendlyName" (cut at 255) and "CLSID" (GUID_NULL when missing) of a moniker's property bag.
void ReadDeviceEntry(IMoniker* moniker, TSysDevEntry& entry);

// The DirectShow device categories and the devices of a selected category.
class TSysDevEnum : public TObject {
  KIVO_CLASS(TSysDevEnum, TObject)
  TSysDevEnum();
  explicit TSysDevEnum(const GUID& category);  // CreateForCategory

  int CountCategories() const { return static_cast<int>(categories_.size()); }
  const TSysDevEntry& Categories(int i) const { return categories_.at(i); }
  void SelectCategory(const GUID& category);
  const GUID& SelectedCategory() const { return category_; }
  int FilterCount() const { return static_cast<int>(filters_.size()); }
  TSysDevEntry GetFilterEntry(int i) const { return filters_.at(i); }
  // A fresh look-up by position in the category; null outside 0..FilterCount-1.
  TComPtr<IMoniker> GetMoniker(int i) const;
  TComPtr<IBaseFilter> GetBaseFilter(int i) const;

 private:
  static void EnumerateCategory(std::vector<TSysDevEntry>& list, const GUID& category);
  std::vector<TSysDevEntry> categories_;
  std::vector<TSysDevEntry> filters_;
  GUID category_ = GUID_NULL;
};

// ---- Stored bytes and monikers -----------------------------------------------------------------
// A byte buffer kept in a form: stored as an int32 count and the bytes.
class TPersistentMemory : public TPersistent {
  KIVO_CLASS(TPersistentMemory, TPersistent)
  TPersistentMemory() = default;
  // Frees the buffer, then for a non-zero size makes a zero-filled one of that size.
  void Resize(size_t size);
  const BYTE* Data() const { return data_.empty() ? nullptr : data_.data(); }
  BYTE* Data() { return data_.empty() ? nullptr : data_.data(); }
  size_t DataLength() const { return data_.size(); }
  void Assign(const TPersistent* source) override;
  // Same size (not 0) and bytes.
  bool SameAs(const TPersistentMemory* other) const;

  void WriteData(TStream& stream) const;
  // EReadError for a short stream or a negative count.
  void ReadData(TStream& stream);
  bool ShouldStore(const TPersistent* ancestor) const;

 protected:
  void AssignTo(TPersistent* dest) const override;

 private:
  std::vector<BYTE> data_;
};

// CLSID of the system's device moniker class.
inline constexpr CLSID kCLSID_DeviceMoniker = {0x4315D437, 0x5B8C, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

// The moniker of a display name ("@device:..."), null when it does not parse.
TComPtr<IMoniker> ParseDisplayName(const std::wstring& displayName);

// A filter kept as the stream image of its moniker. Device monikers ("@device:...") are kept as
// their class id, a byte count and the NUL-terminated UTF-16 display name, and come back through
// MkParseDisplayName; other monikers go through OleSaveToStream / OleLoadFromStream.
class TBaseFilter : public TPersistentMemory {
  KIVO_CLASS(TBaseFilter, TPersistentMemory)
  TBaseFilter() = default;
  // Null empties the buffer. Raises EDirectShowException when the moniker cannot be saved.
  void SetMoniker(IMoniker* moniker);
  // Null when empty or when the bytes name no moniker.
  TComPtr<IMoniker> RestoreMoniker() const;
  // Null when there is no moniker or it cannot be bound.
  TComPtr<IBaseFilter> BindFilter() const;
  // The display name of a stored device moniker; empty otherwise.
  std::wstring DeviceDisplayName() const;
};

// ---- Property pages, Running Object Table, scales --------------------------------------------------
enum class TPropertyPageKind { ppDefault, ppVFWCapDisplay, ppVFWCapFormat, ppVFWCapSource, ppVFWCompConfig,
                               ppVFWCompAbout };
bool HasFilterPropertyPage(IBaseFilter* filter, TPropertyPageKind kind = TPropertyPageKind::ppDefault);
HRESULT ShowFilterPropertyPage(HWND owner, IBaseFilter* filter,
                               TPropertyPageKind kind = TPropertyPageKind::ppDefault);

// The Running Object Table item name of a graph: "FilterGraph <pointer> pid <pid hex>".
std::wstring RotItemName(IUnknown* graph);
HRESULT AddGraphToRot(IUnknown* graph, DWORD& cookie);
HRESULT RemoveGraphFromRot(DWORD cookie);

// Linear 0..10000 to DirectShow's attenuation (-10000..0) and balance scales.
int LinearToVolume(int v);
int LinearToBalance(int b);
int RefTimeToMilliseconds(LONGLONG t);

}  // namespace kivo
