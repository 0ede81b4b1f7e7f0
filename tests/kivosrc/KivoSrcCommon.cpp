#include "KivoSrcCommon.h"

namespace kivo::test {

std::optional<TDevice> FindVideoInputDevice(const std::wstring& name) {
  TComPtr<ICreateDevEnum> devEnum;
  if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.PutVoid())))
    return std::nullopt;
  TComPtr<IEnumMoniker> monikers;
  if (devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0) != S_OK || !monikers)
    return std::nullopt;
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK) {
    TComPtr<IPropertyBag> bag;
    if (FAILED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
    VARIANT v;
    ::VariantInit(&v);
    TDevice d;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) d.Name = v.bstrVal;
    ::VariantClear(&v);
    if (d.Name != name) continue;
    if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR) ::CLSIDFromString(v.bstrVal, &d.Clsid);
    ::VariantClear(&v);
    d.Moniker = m;
    return d;
  }
  return std::nullopt;
}

HRESULT VideoInputCategoryState() {
  TComPtr<ICreateDevEnum> devEnum;
  HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  devEnum.PutVoid());
  if (FAILED(hr)) return hr;
  TComPtr<IEnumMoniker> monikers;
  return devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0);
}

}  // namespace kivo::test
