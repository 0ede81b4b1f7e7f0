#include "KVAxInst.h"

#include "Handles.h"
#include "KVShared.h"
#include "Registry.h"

namespace kivo {

EOleSysError::EOleSysError(HRESULT code)
    : Exception(SysErrorMessage(static_cast<DWORD>(code)) + L" (" + IntToHex(static_cast<DWORD>(code), 8) + L")"),
      code_(code) {}

namespace {
bool FileInFolder(const std::wstring& name) { return FileExists(ProgramDir + name); }

std::uint64_t AsU64(const FILETIME& t) { return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
}  // namespace

void StartAxInstUnit() {
  ::CoInitialize(nullptr);
  RegisterFiltersAndCodecs();
}

void RegisterFiltersAndCodecs() {
  if (!IsServerRegistered(kKivoSrcClassKey, true)) RegisterServerFile(L"kivosrc.ax");
  if (!IsServerRegistered(kKivoTransClassKey, true)) RegisterServerFile(L"kivotrans.ax");
  // The encoders come separately: one missing from the folder is left out here, and the
  // recorder reports it when it needs it.
  if (FileInFolder(L"lame.ax") && !IsServerRegistered(kLameClassKey, false)) RegisterServerFile(L"lame.ax");
  InstallXvidCodec();
}

bool IsServerRegistered(const std::wstring& classKey, bool folderOnly) {
  TObjectPtr<TRegistry> reg(new TRegistry(KEY_READ));
  reg->SetRootKey(HKEY_CLASSES_ROOT);
  if (!reg->OpenKeyReadOnly(L"\\" + classKey + L"\\InprocServer32")) return false;
  std::wstring path;
  try {
    path = reg->ReadString(L"");
  } catch (const ERegistryException&) {
    return false;
  }
  if (!folderOnly && !path.empty() && FileExists(path)) return true;
  return SameText(ExtractFilePath(path), ProgramDir);
}

bool RegisterServerFile(const std::wstring& fileName) {
  const std::wstring path = ProgramDir + fileName;
  const UINT oldMode = ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
  TModuleOwner module(::LoadLibraryW(path.c_str()));
  const DWORD loadError = ::GetLastError();
  ::SetErrorMode(oldMode);
  if (!module) RaiseLastOSError(loadError);
  using TRegister = HRESULT(STDAPICALLTYPE*)();
  auto fn = reinterpret_cast<TRegister>(reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllRegisterServer")));
  if (!fn) RaiseLastOSError();
  const HRESULT hr = fn();
  if (FAILED(hr)) throw EOleSysError(hr);
  return true;
}

void InstallXvidCodec() {
  const std::wstring sys = GetSystemFolder();
  for (const wchar_t* name : {L"xvidvfw.dll", L"xvidcore.dll"}) {
    if (FileInFolder(name)) CopyIfNewer(ProgramDir + name, sys + name);
  }
  TObjectPtr<TRegistry> reg(new TRegistry());
  reg->SetRootKey(HKEY_CURRENT_USER);
  if (!reg->OpenKey(L"\\Software\\GNU\\Xvid", true)) RaiseLastOSError(ERROR_ACCESS_DENIED);
  reg->WriteInteger(L"display_status", 0);
  reg->CloseKey();
  reg->SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg->OpenKey(L"\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true))
    RaiseLastOSError(ERROR_ACCESS_DENIED);
  reg->WriteString(L"vidc.XVID", L"xvidvfw.dll");
  reg->CloseKey();
  if (!reg->OpenKey(L"\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", true))
    RaiseLastOSError(ERROR_ACCESS_DENIED);
  reg->WriteString(L"xvidvfw.dll", L"Xvid MPEG-4 Video Codec");
}

bool GetFileTimes(const std::wstring& fileName, FILETIME& creation, FILETIME& lastAccess, FILETIME& lastWrite) {
  creation = lastAccess = lastWrite = FILETIME{};
  // the times alone: readable even while another program holds the file without sharing
  TFileOwner f(::CreateFileW(fileName.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  return ::GetFileTime(f.Get(), &creation, &lastAccess, &lastWrite) != FALSE;
}

bool SetFileTimes(const std::wstring& fileName, const FILETIME& creation, const FILETIME& lastAccess,
                  const FILETIME& lastWrite) {
  TFileOwner f(::CreateFileW(fileName.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  return ::SetFileTime(f.Get(), &creation, &lastAccess, &lastWrite) != FALSE;
}

void CopyIfNewer(const std::wstring& source, const std::wstring& destination) {
  FILETIME sc, sa, sw;
  GetFileTimes(source, sc, sa, sw);
  if (FileExists(destination)) {
    FILETIME dc, da, dw;
    GetFileTimes(destination, dc, da, dw);
    if (AsU64(dw) >= AsU64(sw)) return;
    const std::wstring old = ChangeFileExt(destination, L".old");
    if (FileExists(old)) ::DeleteFileW(old.c_str());
    if (!::MoveFileW(destination.c_str(), old.c_str())) RaiseLastOSError();
    if (!::CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
      // the installed file goes back: a failed update never leaves no codec
      const DWORD error = ::GetLastError();
      ::MoveFileExW(old.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
      RaiseLastOSError(error);
    }
  } else if (!::CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
    RaiseLastOSError();
  }
  SetFileTimes(destination, sc, sa, sw);
}

}  // namespace kivo
