#include "Registry.h"

#include <shlwapi.h>

namespace kivo {

KIVO_IMPLEMENT_CLASS(TRegistry)

TRegistry::TRegistry(REGSAM access) : Access(access) {}
TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root) {
  if (root == root_) return;
  CloseKey();
  root_ = root;
}
void TRegistry::CloseKey() {
  current_.Reset();
  path_.clear();
}

HKEY TRegistry::BaseFor(std::wstring_view key, std::wstring& sub) const {
  bool absolute = !key.empty() && key.front() == L'\\';
  sub.assign(absolute ? key.substr(1) : key);
  while (!sub.empty() && sub.back() == L'\\') sub.pop_back();
  if (absolute || !current_) return root_;
  return current_.Get();
}

bool TRegistry::OpenKey(std::wstring_view key, bool canCreate) {
  std::wstring sub;
  HKEY base = BaseFor(key, sub);
  bool relative = base != root_;
  TRegKeyOwner k;
  LONG r;
  if (canCreate && !sub.empty())
    r = ::RegCreateKeyExW(base, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access, nullptr, k.Put(), nullptr);
  else
    r = ::RegOpenKeyExW(base, sub.c_str(), 0, Access, k.Put());
  if (r != ERROR_SUCCESS) return false;
  std::wstring newPath = relative && !path_.empty() ? (sub.empty() ? path_ : path_ + L"\\" + sub) : sub;
  current_ = std::move(k);
  path_ = newPath;
  return true;
}
bool TRegistry::OpenKeyReadOnly(std::wstring_view key) {
  REGSAM saved = Access;
  Access = KEY_READ;
  bool ok = OpenKey(key, false);
  if (!ok) Access = saved;
  return ok;
}
bool TRegistry::CreateKey(std::wstring_view key) {
  std::wstring sub;
  HKEY base = BaseFor(key, sub);
  TRegKeyOwner k;
  return ::RegCreateKeyExW(base, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr) ==
         ERROR_SUCCESS;
}
bool TRegistry::DeleteKey(std::wstring_view key) {
  std::wstring sub;
  HKEY base = BaseFor(key, sub);
  if (sub.empty()) return false;
  // with its sub-keys: RegDeleteKey removes only empty keys
  return ::SHDeleteKeyW(base, sub.c_str()) == ERROR_SUCCESS;
}
bool TRegistry::KeyExists(std::wstring_view key) {
  std::wstring sub;
  HKEY base = BaseFor(key, sub);
  TRegKeyOwner k;
  return ::RegOpenKeyExW(base, sub.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}
bool TRegistry::ValueExists(std::wstring_view name) const { return GetDataSize(name) >= 0; }
bool TRegistry::DeleteValue(std::wstring_view name) {
  return current_ && ::RegDeleteValueW(current_.Get(), std::wstring(name).c_str()) == ERROR_SUCCESS;
}
int TRegistry::GetDataSize(std::wstring_view name) const {
  DWORD size = 0;
  if (!current_ || ::RegQueryValueExW(current_.Get(), std::wstring(name).c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return -1;
  return static_cast<int>(size);
}
TRegDataType TRegistry::GetDataType(std::wstring_view name) const {
  DWORD type = 0;
  if (!current_ || ::RegQueryValueExW(current_.Get(), std::wstring(name).c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
    return TRegDataType::rdUnknown;
  switch (type) {
    case REG_SZ: return TRegDataType::rdString;
    case REG_EXPAND_SZ: return TRegDataType::rdExpandString;
    case REG_DWORD: return TRegDataType::rdInteger;
    case REG_BINARY: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
  }
}
void TRegistry::GetKeyNames(TStrings& names) const {
  names.Clear();
  if (!current_) return;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD n = 256;
    if (::RegEnumKeyExW(current_.Get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.Add(std::wstring(name, n));
  }
}
void TRegistry::GetValueNames(TStrings& names) const {
  names.Clear();
  if (!current_) return;
  std::vector<wchar_t> name(16384);
  for (DWORD i = 0;; ++i) {
    DWORD n = static_cast<DWORD>(name.size());
    if (::RegEnumValueW(current_.Get(), i, name.data(), &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.Add(std::wstring(name.data(), n));
  }
}

namespace {
[[noreturn]] void BadData(std::wstring_view name) {
  throw ERegistryException(L"Invalid data type for '" + std::wstring(name) + L"'");
}
}  // namespace

std::wstring TRegistry::ReadString(std::wstring_view name) const {
  DWORD type = 0, size = 0;
  std::wstring n(name);
  if (!current_ || ::RegQueryValueExW(current_.Get(), n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) BadData(name);
  std::wstring v(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(v.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(current_.Get(), n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(v.data()), &got) != ERROR_SUCCESS)
    throw ERegistryException(L"Failed to get data for '" + n + L"'");
  v.resize(got / sizeof(wchar_t));
  while (!v.empty() && v.back() == L'\0') v.pop_back();
  return v;
}
void TRegistry::Write(std::wstring_view name, DWORD type, const void* data, size_t size) {
  if (!current_ || ::RegSetValueExW(current_.Get(), std::wstring(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                                    static_cast<DWORD>(size)) != ERROR_SUCCESS)
    throw ERegistryException(L"Failed to set data for '" + std::wstring(name) + L"'");
}
void TRegistry::WriteString(std::wstring_view name, const std::wstring& value) {
  Write(name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
}
void TRegistry::WriteExpandString(std::wstring_view name, const std::wstring& value) {
  Write(name, REG_EXPAND_SZ, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
}
int TRegistry::ReadInteger(std::wstring_view name) const {
  DWORD type = 0, v = 0, size = sizeof(v);
  if (!current_ || ::RegQueryValueExW(current_.Get(), std::wstring(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) !=
                       ERROR_SUCCESS)
    throw ERegistryException(L"Failed to get data for '" + std::wstring(name) + L"'");
  if (type != REG_DWORD) BadData(name);
  return static_cast<int>(v);
}
void TRegistry::WriteInteger(std::wstring_view name, int value) {
  DWORD v = static_cast<DWORD>(value);
  Write(name, REG_DWORD, &v, sizeof(v));
}
std::vector<uint8_t> TRegistry::ReadBinaryData(std::wstring_view name) const {
  DWORD type = 0, size = 0;
  std::wstring n(name);
  if (!current_ || ::RegQueryValueExW(current_.Get(), n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    throw ERegistryException(L"Failed to get data for '" + n + L"'");
  if (type != REG_BINARY) BadData(name);
  std::vector<uint8_t> v(size);
  if (size && ::RegQueryValueExW(current_.Get(), n.c_str(), nullptr, &type, v.data(), &size) != ERROR_SUCCESS)
    throw ERegistryException(L"Failed to get data for '" + n + L"'");
  v.resize(size);
  return v;
}
void TRegistry::WriteBinaryData(std::wstring_view name, const void* data, size_t size) { Write(name, REG_BINARY, data, size); }

}  // namespace kivo
