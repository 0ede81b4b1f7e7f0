#include "KivoSrcCommon.h"

namespace kivo::test {

std::optional<TDevice> FindVideoInputDevice(const std::wstring& name) {
  return FindListedFilter(CLSID_VideoInputDeviceCategory, name);
}

HRESULT VideoInputCategoryState() {
  TComPtr<ICreateDevEnum> devEnum;
  HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  devEnum.PutVoid());
  if (FAILED(hr)) return hr;
  TComPtr<IEnumMoniker> monikers;
  hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0);
  if (hr != S_OK) return hr;
  // The test prefix's cameras are hardware ("@device:pnp:"): only registered filters count.
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK) {
    LPOLESTR name = nullptr;
    if (FAILED(m->GetDisplayName(nullptr, nullptr, &name)) || !name) continue;
    const bool software = std::wstring(name).find(L"@device:sw:") == 0;
    ::CoTaskMemFree(name);
    if (software) return S_OK;
  }
  return S_FALSE;
}

}  // namespace kivo::test
