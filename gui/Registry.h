// Registry access: a root key and a current key. A path with a leading backslash is absolute
// (from the root key); without it, it is relative to the current key when one is open.
#pragma once

#include <string>
#include <vector>

#include "Strings.h"

namespace kivo {

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry : public TObject {
  KIVO_CLASS(TRegistry, TObject)
  explicit TRegistry(REGSAM access = KEY_ALL_ACCESS);
  ~TRegistry() override;

  HKEY RootKey() const { return root_; }
  void SetRootKey(HKEY root);
  HKEY CurrentKey() const { return current_.Get(); }
  const std::wstring& CurrentPath() const { return path_; }
  REGSAM Access = KEY_ALL_ACCESS;

  bool OpenKey(std::wstring_view key, bool canCreate);
  bool OpenKeyReadOnly(std::wstring_view key);
  void CloseKey();
  bool CreateKey(std::wstring_view key);
  bool DeleteKey(std::wstring_view key);
  bool KeyExists(std::wstring_view key);
  bool ValueExists(std::wstring_view name) const;
  bool DeleteValue(std::wstring_view name);
  TRegDataType GetDataType(std::wstring_view name) const;
  int GetDataSize(std::wstring_view name) const;  // -1 when missing
  void GetKeyNames(TStrings& names) const;
  void GetValueNames(TStrings& names) const;

  // Reads raise ERegistryException for a missing value or one of another type (a missing
  // string reads as empty).
  std::wstring ReadString(std::wstring_view name) const;
  void WriteString(std::wstring_view name, const std::wstring& value);
  void WriteExpandString(std::wstring_view name, const std::wstring& value);
  int ReadInteger(std::wstring_view name) const;
  void WriteInteger(std::wstring_view name, int value);
  bool ReadBool(std::wstring_view name) const { return ReadInteger(name) != 0; }
  void WriteBool(std::wstring_view name, bool value) { WriteInteger(name, value ? 1 : 0); }
  std::vector<uint8_t> ReadBinaryData(std::wstring_view name) const;
  void WriteBinaryData(std::wstring_view name, const void* data, size_t size);

 private:
  // Base key and sub-path for a path argument.
  HKEY BaseFor(std::wstring_view key, std::wstring& sub) const;
  void Write(std::wstring_view name, DWORD type, const void* data, size_t size);

  HKEY root_ = HKEY_CURRENT_USER;
  TRegKeyOwner current_;
  std::wstring path_;
};

}  // namespace kivo
