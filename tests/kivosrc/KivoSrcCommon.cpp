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
  return devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0);
}

}  // namespace kivo::test
