#include "TestDevices.h"

#include <dbt.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cwctype>

#include "Handles.h"

namespace kivo::testdev {

namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

bool ReadText(HKEY key, const wchar_t* name, std::wstring& value) {
  DWORD type = 0, bytes = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) return false;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
    return false;
  text.resize(wcsnlen(text.c_str(), text.size()));
  value = text;
  return true;
}

DWORD ReadNumber(HKEY key, const wchar_t* name) {
  DWORD type = 0, value = 0, bytes = sizeof(value);
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return 0;
  return value;
}

LONG WriteText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(wchar_t)));
}

LONG WriteNumber(HKEY key, const wchar_t* name, DWORD value) {
  return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD n = DWORD(std::size(name));
    if (::RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadEntry(HKEY key, const GUID& category, const std::wstring& keyName, TDeviceEntry& e) {
  std::wstring clsid;
  e.Category = category;
  e.Key = keyName;
  if (!ReadText(key, L"FriendlyName", e.FriendlyName) || !ReadText(key, L"DevicePath", e.DevicePath) ||
      !ReadText(key, L"CLSID", clsid) || !ParseGuid(clsid, e.Clsid))
    return false;
  e.Pattern = ReadNumber(key, L"Pattern");
  ReadText(key, L"Formats", e.Formats);
  e.ToneHz = ReadNumber(key, L"ToneHz");
  return true;
}

// Key names sort as their numbers do.
std::wstring NumberedKey(const wchar_t* format, DWORD n) {
  wchar_t key[32];
  std::swprintf(key, std::size(key), format, static_cast<unsigned long>(n));
  return key;
}

}  // namespace

std::wstring GuidString(const GUID& g) {
  wchar_t text[40];
  std::swprintf(text, std::size(text), L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool ParseGuid(const std::wstring& text, GUID& g) {
  if (text.size() != 38) return false;
  std::wstring copy = text;
  return SUCCEEDED(::CLSIDFromString(copy.data(), &g));
}

TDeviceEntry MakeCamera(DWORD pattern, const std::wstring& friendlyName, const std::wstring& formats) {
  TDeviceEntry e;
  wchar_t number[8];
  std::swprintf(number, std::size(number), L"%02lu", static_cast<unsigned long>(pattern % 100));
  e.Category = CLSID_VideoInputDeviceCategory;
  e.Key = NumberedKey(L"camera%03lu", pattern);
  e.FriendlyName = friendlyName;
  e.Clsid = CLSID_PatternCamera;
  e.DevicePath = std::wstring(L"\\\\?\\usb#vid_kv") + number + L"&pid_0001&mi_00#kivo&cam" + std::to_wstring(pattern) +
                 L"#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
  e.Pattern = pattern;
  e.Formats = formats;
  return e;
}

TDeviceEntry MakeMicrophone(DWORD toneHz, const std::wstring& friendlyName) {
  TDeviceEntry e;
  e.Category = CLSID_AudioInputDeviceCategory;
  e.Key = NumberedKey(L"mic%04lu", toneHz);
  e.FriendlyName = friendlyName;
  e.Clsid = CLSID_TestMicrophone;
  e.DevicePath = L"\\\\?\\kivo#audio&tone" + std::to_wstring(toneHz) + L"#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\wave";
  e.ToneHz = toneHz;
  return e;
}

const std::vector<TDeviceEntry>& DefaultDevices() {
  static const std::vector<TDeviceEntry> devices = {
      MakeCamera(1, L"Kivo Test Camera 1"),
      MakeCamera(2, L"Kivo Test Camera 2", L"YUY2 640x480; RGB24 640x480"),
      MakeMicrophone(440, L"\x9EA6\x514B\x98CE (Kivo Test Audio)"),                   // 麦克风
      MakeMicrophone(1000, L"\x7ACB\x4F53\x58F0\x6DF7\x97F3 (Kivo Test Audio)"),  // 立体声混音
  };
  return devices;
}

std::wstring DeviceKeyPath(const GUID& category, const std::wstring& key) {
  return std::wstring(kDeviceRoot) + L"\\" + GuidString(category) + L"\\" + key;
}

bool TestDevicesInstalled(std::string* why) {
  std::wstring server;
  TRegKeyOwner key;
  const std::wstring path = L"Software\\Classes\\CLSID\\" + GuidString(CLSID_SystemDeviceEnum) + L"\\InprocServer32";
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS ||
      !ReadText(key.Get(), nullptr, server) || Lower(server).find(L"kivodevenum.dll") == std::wstring::npos) {
    if (why) *why = "the system device enumerator is not the test devices' (scripts/test.sh sets them up)";
    return false;
  }
  for (const auto& d : DefaultDevices()) {
    auto listed = ListDevices(d.Category);
    if (std::none_of(listed.begin(), listed.end(), [&](const TDeviceEntry& e) { return e.Key == d.Key; })) {
      if (why) *why = "a default test device is missing from the device list";
      return false;
    }
  }
  return true;
}

std::vector<TDeviceEntry> ListDevices(const GUID& category) {
  std::vector<TDeviceEntry> list;
  TRegKeyOwner root;
  const std::wstring path = std::wstring(kDeviceRoot) + L"\\" + GuidString(category);
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, root.Put()) != ERROR_SUCCESS) return list;
  for (const auto& name : SubkeyNames(root.Get())) {
    TRegKeyOwner key;
    TDeviceEntry e;
    if (::RegOpenKeyExW(root.Get(), name.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS &&
        ReadEntry(key.Get(), category, name, e))
      list.push_back(std::move(e));
  }
  return list;
}

std::optional<TDeviceEntry> FindDevice(const std::wstring& displayName) {
  const std::wstring prefix = kPnpPrefix;
  if (displayName.size() <= prefix.size() || Lower(displayName.substr(0, prefix.size())) != Lower(prefix)) return {};
  const std::wstring path = Lower(displayName.substr(prefix.size()));
  TRegKeyOwner root;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceRoot, 0, KEY_READ, root.Put()) != ERROR_SUCCESS) return {};
  for (const auto& categoryName : SubkeyNames(root.Get())) {
    GUID category;
    if (!ParseGuid(categoryName, category)) continue;
    for (auto& e : ListDevices(category))
      if (Lower(e.DevicePath) == path) return e;
  }
  return {};
}

HRESULT AddDevice(const TDeviceEntry& d) {
  if (d.Key.empty() || d.Key.find(L'\\') != std::wstring::npos || d.DevicePath.empty()) return E_INVALIDARG;
  const std::wstring path = DeviceKeyPath(d.Category, d.Key);
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
  TRegKeyOwner key;
  LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr);
  if (rc == ERROR_SUCCESS) rc = WriteText(key.Get(), L"FriendlyName", d.FriendlyName);
  if (rc == ERROR_SUCCESS) rc = WriteText(key.Get(), L"CLSID", GuidString(d.Clsid));
  if (rc == ERROR_SUCCESS) rc = WriteText(key.Get(), L"DevicePath", d.DevicePath);
  if (rc == ERROR_SUCCESS && d.Pattern) rc = WriteNumber(key.Get(), L"Pattern", d.Pattern);
  if (rc == ERROR_SUCCESS && !d.Formats.empty()) rc = WriteText(key.Get(), L"Formats", d.Formats);
  if (rc == ERROR_SUCCESS && d.ToneHz) rc = WriteNumber(key.Get(), L"ToneHz", d.ToneHz);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT RemoveDevice(const GUID& category, const std::wstring& key) {
  if (key.empty()) return E_INVALIDARG;
  LONG rc = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, DeviceKeyPath(category, key).c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return S_FALSE;
  return HRESULT_FROM_WIN32(rc);
}

void BroadcastDeviceChange() {
  // Windows of this thread have it when this returns; the others as soon as they take their messages
  // (a window that does not would hold up a sent broadcast).
  ::SendNotifyMessageW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

TScopedDevice::TScopedDevice(TDeviceEntry device, bool broadcast)
    : Device_(std::move(device)), Broadcast(broadcast), Result_(AddDevice(Device_)) {
  Present = SUCCEEDED(Result_);
  if (Present && Broadcast) BroadcastDeviceChange();
}

TScopedDevice::~TScopedDevice() { Remove(); }

HRESULT TScopedDevice::Remove() {
  if (!Present) return S_FALSE;
  Present = false;
  HRESULT hr = RemoveDevice(Device_);
  if (Broadcast) BroadcastDeviceChange();
  return hr;
}

short ToneSample(DWORD hz, DWORD rate, unsigned long long k, double level) {
  if (!rate) return 0;
  const double phase = 2.0 * 3.14159265358979323846 * double((k * hz) % rate) / double(rate);
  return static_cast<short>(std::lround(level * 16383.0 * std::sin(phase)));
}

DWORD TCameraFormat::ImageBytes() const {
  return DWORD(((size_t(Width) * BitCount / 8 + 3) & ~size_t(3)) * size_t(Height));
}

bool ParseCameraFormats(const std::wstring& text, std::vector<TCameraFormat>& formats) {
  formats.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(L';', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring item = text.substr(pos, end - pos);
    pos = end + 1;
    wchar_t kind[16] = {};
    int w = 0, h = 0;
    wchar_t extra = 0;
    if (item.find_first_not_of(L" \t") == std::wstring::npos) continue;
    if (std::swscanf(item.c_str(), L" %15ls %dx%d %lc", kind, &w, &h, &extra) != 3) return false;
    TCameraFormat f;
    f.Width = w;
    f.Height = h;
    if (std::wcscmp(kind, L"RGB24") == 0) {
      f.Subtype = MEDIASUBTYPE_RGB24;
      f.BitCount = 24;
      f.Compression = BI_RGB;
    } else if (std::wcscmp(kind, L"YUY2") == 0) {
      f.Subtype = MEDIASUBTYPE_YUY2;
      f.BitCount = 16;
      f.Compression = MAKEFOURCC('Y', 'U', 'Y', '2');
    } else {
      return false;
    }
    if (w < 16 || h < 16 || w > 2032 || h > 2032 || w % 2) return false;
    formats.push_back(f);
  }
  return !formats.empty();
}

}  // namespace kivo::testdev
