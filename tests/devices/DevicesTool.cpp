// kivodevices.exe: sets up the test devices in a Wine prefix and changes them at run time.
//   install [folder]  registers kivodevenum.dll and kivotestdev.dll of the folder (default: this
//                     program's), lists the default devices, then checks that all of it works
//   check             the checks of install alone
//   uninstall         gives the enumerator classes back to Wine's devenum.dll, unregisters the
//                     drivers and removes the device list
//   list              the devices of the list
//   add-camera <number> <name> [formats]   a camera ("RGB24 320x240; YUY2 640x480")
//   add-microphone <hz> <name>             a microphone
//   remove <key>      unplugs the device of that key ("camera003", "mic0440")
//   notify            WM_DEVICECHANGE to every top-level window
// add-*, remove and notify broadcast the change as Windows does. Exit code 0 on success.
#include <windows.h>
#include <dshow.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Handles.h"
#include "TestDevices.h"

using namespace kivo;
using namespace kivo::testdev;

namespace {

void Print(const std::wstring& text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::wstring HexCode(HRESULT hr) {
  wchar_t text[16];
  std::swprintf(text, std::size(text), L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH * 2];
  DWORD n = ::GetModuleFileNameW(nullptr, path, DWORD(std::size(path)));
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

// Loads a server and calls one of its registration entry points.
HRESULT CallServer(const std::wstring& file, const char* entry) {
  TModuleOwner module(::LoadLibraryW(file.c_str()));
  if (!module) return HRESULT_FROM_WIN32(::GetLastError());
  using TEntry = HRESULT(STDAPICALLTYPE*)();
  auto f = reinterpret_cast<TEntry>(::GetProcAddress(module.Get(), entry));
  return f ? f() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

std::wstring DisplayNameOf(IMoniker* m) {
  LPOLESTR text = nullptr;
  if (FAILED(m->GetDisplayName(nullptr, nullptr, &text)) || !text) return L"";
  std::wstring s = text;
  ::CoTaskMemFree(text);
  return s;
}

bool Check(bool ok, const std::wstring& what) {
  Print((ok ? L"devices: ok: " : L"devices: FAILED: ") + what);
  return ok;
}

// Binds a moniker's filter; answers its class.
HRESULT BoundClass(IMoniker* m, CLSID& clsid) {
  TComPtr<IBaseFilter> filter;
  HRESULT hr = m->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid());
  if (FAILED(hr)) return hr;
  return filter->GetClassID(&clsid);
}

// The listed devices of the list are enumerated, bind and come back from their saved bytes; the
// converter binds under its stored name.
bool CheckDevices() {
  bool ok = true;
  TComPtr<ICreateDevEnum> devEnum;
  HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  devEnum.PutVoid());
  if (!Check(SUCCEEDED(hr), L"the system device enumerator (" + HexCode(hr) + L")")) return false;
  for (const GUID& category : {CLSID_VideoInputDeviceCategory, CLSID_AudioInputDeviceCategory}) {
    std::vector<std::wstring> names;
    std::vector<TComPtr<IMoniker>> monikers;
    TComPtr<IEnumMoniker> list;
    if (devEnum->CreateClassEnumerator(category, list.Put(), 0) == S_OK) {
      TComPtr<IMoniker> m;
      while (list->Next(1, m.Put(), nullptr) == S_OK) {
        names.push_back(DisplayNameOf(m.Get()));
        monikers.push_back(m);
      }
    }
    for (const auto& device : ListDevices(category)) {
      size_t i = 0;
      while (i < names.size() && names[i] != device.DisplayName()) ++i;
      if (!Check(i < names.size(), L"\"" + device.FriendlyName + L"\" is listed")) {
        ok = false;
        continue;
      }
      CLSID clsid{};
      hr = BoundClass(monikers[i].Get(), clsid);
      ok &= Check(SUCCEEDED(hr) && clsid == device.Clsid, L"\"" + device.FriendlyName + L"\" binds its driver (" +
                                                             HexCode(hr) + L")");
      // Saved and loaded again through a stream.
      TComPtr<IStream> stream;
      TComPtr<IMoniker> loaded;
      hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
      TComPtr<IPersistStream> persist;
      if (SUCCEEDED(hr)) hr = monikers[i]->QueryInterface(IID_IPersistStream, persist.PutVoid());
      if (SUCCEEDED(hr)) hr = ::OleSaveToStream(persist.Get(), stream.Get());
      LARGE_INTEGER zero{};
      if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
      if (SUCCEEDED(hr)) hr = ::OleLoadFromStream(stream.Get(), IID_IMoniker, loaded.PutVoid());
      ok &= Check(SUCCEEDED(hr) && DisplayNameOf(loaded.Get()) == device.DisplayName(),
                  L"\"" + device.FriendlyName + L"\" saves and loads its moniker (" + HexCode(hr) + L")");
    }
  }
  TComPtr<IBindCtx> ctx;
  TComPtr<IMoniker> converter;
  ULONG eaten = 0;
  hr = ::CreateBindCtx(0, ctx.Put());
  if (SUCCEEDED(hr)) hr = ::MkParseDisplayName(ctx.Get(), kConverterDisplayName, &eaten, converter.Put());
  CLSID clsid{};
  if (SUCCEEDED(hr)) hr = BoundClass(converter.Get(), clsid);
  ok &= Check(SUCCEEDED(hr) && clsid == CLSID_ColourConverter, L"the colour converter binds by its name (" +
                                                                   HexCode(hr) + L")");
  // the file writer's input pin is a stream a multiplexer can write through
  TComPtr<IMoniker> writerName;
  TComPtr<IBaseFilter> writer;
  TComPtr<IEnumPins> pins;
  TComPtr<IPin> pin;
  TComPtr<IStream> stream;
  hr = ::MkParseDisplayName(ctx.Get(), kFileWriterDisplayName, &eaten, writerName.Put());
  if (SUCCEEDED(hr)) hr = writerName->BindToObject(nullptr, nullptr, IID_IBaseFilter, writer.PutVoid());
  if (SUCCEEDED(hr)) hr = writer->EnumPins(pins.Put());
  if (SUCCEEDED(hr)) hr = pins->Next(1, pin.Put(), nullptr) == S_OK ? S_OK : E_FAIL;
  if (SUCCEEDED(hr)) hr = pin->QueryInterface(IID_IStream, stream.PutVoid());
  ok &= Check(SUCCEEDED(hr), L"the file writer binds by its name and writes through a stream (" + HexCode(hr) + L")");
  // the multiplexer takes sound
  TComPtr<IBaseFilter> mux;
  hr = ::CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, mux.PutVoid());
  CLSID muxClass{};
  if (SUCCEEDED(hr)) hr = mux->GetClassID(&muxClass);
  TComPtr<IPin> muxInput;
  if (SUCCEEDED(hr)) hr = mux->FindPin(L"Input 01", muxInput.Put());
  AM_MEDIA_TYPE sound{};
  WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  sound.majortype = MEDIATYPE_Audio;
  sound.subtype = MEDIASUBTYPE_PCM;
  sound.formattype = FORMAT_WaveFormatEx;
  sound.cbFormat = sizeof(wave);
  sound.pbFormat = reinterpret_cast<BYTE*>(&wave);
  if (SUCCEEDED(hr)) hr = muxInput->QueryAccept(&sound);
  wchar_t server[MAX_PATH] = L"";
  DWORD bytes = sizeof(server);
  const std::wstring key = L"CLSID\\" + GuidString(CLSID_AviDest) + L"\\InprocServer32";
  ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server, &bytes);
  const std::wstring path = server;
  const bool ours = path.size() >= 15 && _wcsicmp(path.c_str() + path.size() - 15, L"kivotestdev.dll") == 0;
  ok &= Check(hr == S_OK && muxClass == CLSID_AviDest && ours,
              L"the AVI multiplexer of the test devices takes sound (" + HexCode(hr) + L", " + path + L")");
  return ok;
}

int Install(std::wstring folder) {
  if (folder.empty()) folder = OwnFolder();
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  HRESULT hr = CallServer(folder + L"kivodevenum.dll", "DllRegisterServer");
  if (!Check(SUCCEEDED(hr), L"kivodevenum.dll registered (" + HexCode(hr) + L")")) return 1;
  hr = CallServer(folder + L"kivotestdev.dll", "DllRegisterServer");
  if (!Check(SUCCEEDED(hr), L"kivotestdev.dll registered (" + HexCode(hr) + L")")) return 1;
  for (const auto& device : DefaultDevices()) {
    hr = AddDevice(device);
    if (!Check(SUCCEEDED(hr), L"\"" + device.FriendlyName + L"\" in the device list (" + HexCode(hr) + L")"))
      return 1;
  }
  return CheckDevices() ? 0 : 1;
}

int Uninstall() {
  const std::wstring folder = OwnFolder();
  HRESULT a = CallServer(folder + L"kivodevenum.dll", "DllUnregisterServer");
  HRESULT b = CallServer(folder + L"kivotestdev.dll", "DllUnregisterServer");
  // Wine's own File Writer and AVI Mux come back
  wchar_t system[MAX_PATH];
  ::GetSystemDirectoryW(system, MAX_PATH);
  HRESULT c = CallServer(std::wstring(system) + L"\\qcap.dll", "DllRegisterServer");
  LONG rc = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDeviceRoot);
  bool ok = Check(SUCCEEDED(a), L"enumerator classes given back to Wine (" + HexCode(a) + L")");
  ok &= Check(SUCCEEDED(b), L"drivers unregistered (" + HexCode(b) + L")");
  ok &= Check(SUCCEEDED(c), L"the system's capture filters registered again (" + HexCode(c) + L")");
  ok &= Check(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND, L"device list removed");
  return ok ? 0 : 1;
}

int List() {
  for (const GUID& category : {CLSID_VideoInputDeviceCategory, CLSID_AudioInputDeviceCategory})
    for (const auto& d : ListDevices(category))
      Print(d.Key + L"\t" + d.FriendlyName + L"\t" + d.DisplayName());
  return 0;
}

int Remove(const std::wstring& key) {
  HRESULT hr = S_FALSE;
  for (const GUID& category : {CLSID_VideoInputDeviceCategory, CLSID_AudioInputDeviceCategory})
    if (RemoveDevice(category, key) == S_OK) hr = S_OK;
  BroadcastDeviceChange();
  Print(hr == S_OK ? L"devices: removed " + key : L"devices: no device " + key);
  return hr == S_OK ? 0 : 1;
}

int Add(const TDeviceEntry& device) {
  HRESULT hr = AddDevice(device);
  if (FAILED(hr)) {
    Print(L"devices: could not add " + device.Key + L" (" + HexCode(hr) + L")");
    return 1;
  }
  BroadcastDeviceChange();
  Print(L"devices: added " + device.Key);
  return 0;
}

int Usage() {
  Print(L"usage: kivodevices install [folder] | check | uninstall | list | add-camera <number> <name> [formats] | "
        L"add-microphone <hz> <name> | remove <key> | notify");
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv, argv + argc);
  ::LocalFree(argv);
  if (args.size() < 2) return Usage();
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int rc = 2;
  const std::wstring& cmd = args[1];
  if (cmd == L"install" && args.size() <= 3) {
    rc = Install(args.size() == 3 ? args[2] : L"");
  } else if (cmd == L"check" && args.size() == 2) {
    rc = CheckDevices() ? 0 : 1;
  } else if (cmd == L"uninstall" && args.size() == 2) {
    rc = Uninstall();
  } else if (cmd == L"list" && args.size() == 2) {
    rc = List();
  } else if (cmd == L"add-camera" && (args.size() == 4 || args.size() == 5)) {
    const long number = std::wcstol(args[2].c_str(), nullptr, 10);
    std::vector<TCameraFormat> formats;
    if (number >= 1 && number <= 255 && (args.size() == 4 || ParseCameraFormats(args[4], formats)))
      rc = Add(MakeCamera(DWORD(number), args[3], args.size() == 5 ? args[4] : L""));
    else
      rc = Usage();
  } else if (cmd == L"add-microphone" && args.size() == 4) {
    const long hz = std::wcstol(args[2].c_str(), nullptr, 10);
    rc = hz >= 20 && hz <= 4000 ? Add(MakeMicrophone(DWORD(hz), args[3])) : Usage();
  } else if (cmd == L"remove" && args.size() == 3) {
    rc = Remove(args[2]);
  } else if (cmd == L"notify" && args.size() == 2) {
    BroadcastDeviceChange();
    rc = 0;
  } else {
    rc = Usage();
  }
  ::CoUninitialize();
  return rc;
}
