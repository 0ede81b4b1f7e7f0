#include "DSUtil.h"

#include <atomic>
#include <cstring>

namespace kivo {

namespace {

void DefaultAssertHandler(const std::wstring& text) { ::OutputDebugStringW(text.c_str()); }

std::atomic<TAssertHandler> g_assertHandler{&DefaultAssertHandler};
std::atomic<bool> g_checks{false};

}  // namespace

TAssertHandler SetAssertHandler(TAssertHandler handler) {
  return g_assertHandler.exchange(handler ? handler : &DefaultAssertHandler);
}

void EnableMediaTypeChecks(bool on) { g_checks = on; }

void ReportAssertion(const char* unit, int line) {
  std::wstring text = L"Assertion failure (";
  for (const char* p = unit; *p; ++p) text += static_cast<wchar_t>(*p);
  text += L", line " + std::to_wstring(line) + L")";
  g_assertHandler.load()(text);
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 || type.pbFormat) {
    ::CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
  }
  if (type.pUnk) {
    IUnknown* unk = type.pUnk;
    type.pUnk = nullptr;
    unk->Release();
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaType(*type);
  ::CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE& destination, const AM_MEDIA_TYPE& source) {
  if (g_checks.load()) {
    if (&destination == &source) {
      ReportAssertion("DSUtil", __LINE__);
      return E_INVALIDARG;
    }
    if (source.cbFormat != 0 && !source.pbFormat) {
      ReportAssertion("DSUtil", __LINE__);
      return E_INVALIDARG;
    }
  }
  if (&destination == &source) return S_OK;
  HRESULT hr = S_OK;
  destination = source;
  destination.pbFormat = nullptr;
  if (source.cbFormat != 0) {
    if (source.pbFormat) destination.pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(source.cbFormat));
    if (destination.pbFormat) {
      std::memcpy(destination.pbFormat, source.pbFormat, source.cbFormat);
    } else {
      destination.cbFormat = 0;
      hr = source.pbFormat ? E_OUTOFMEMORY : E_POINTER;
    }
  }
  if (destination.pUnk) destination.pUnk->AddRef();
  return hr;
}

std::wstring GetCompressionName(DWORD compression) {
  switch (compression) {
    case 0: return L"RGB";
    case 1: return L"RLE8";
    case 2: return L"RLE4";
    case 3: return L"BITFIELDS";
    default: break;
  }
  std::wstring text;
  for (int i = 0; i < 4; ++i) text += static_cast<wchar_t>((compression >> (8 * i)) & 0xFF);
  return text;
}

}  // namespace kivo
