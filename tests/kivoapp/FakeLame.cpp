// Stand-in for the LAME encoder filter lame.ax: its DllRegisterServer registers the encoder's class
// with this file as its server, as the real filter does.
#include <windows.h>

namespace {
HMODULE gModule = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gModule = module;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(gModule, path, MAX_PATH);
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32", 0,
                        nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  const LSTATUS s = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                     (n + 1) * sizeof(wchar_t));
  ::RegCloseKey(key);
  return s == ERROR_SUCCESS ? S_OK : E_FAIL;
}
