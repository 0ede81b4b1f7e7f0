// KVAxInst: at every start, makes Windows use the plug-ins and codecs of the program folder: KivoSrc,
// KivoTrans, the LAME encoder filter and the Xvid codec.
#pragma once

#include <windows.h>

#include <string>

#include "SysUtils.h"

namespace kivo {

constexpr wchar_t kKivoSrcClassKey[] = L"CLSID\\{26D63F58-C75A-403C-B022-9A8EACF0DB68}";
constexpr wchar_t kKivoTransClassKey[] = L"CLSID\\{0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}";
constexpr wchar_t kLameClassKey[] = L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}";

// A failing DllRegisterServer: the COM error of its HRESULT.
class EOleSysError : public Exception {
 public:
  explicit EOleSysError(HRESULT code);
  HRESULT ErrorCode() const noexcept { return code_; }
  const wchar_t* ClassName() const noexcept override { return L"EOleSysError"; }

 private:
  HRESULT code_;
};

// The unit's start work (start-up step 3): COM on the GUI thread, then the registrations.
void StartAxInstUnit();
void RegisterFiltersAndCodecs();
// Whether HKEY_CLASSES_ROOT <classKey>\InprocServer32 names a server in the program folder (any
// letter case), or, unless folderOnly, any existing file.
bool IsServerRegistered(const std::wstring& classKey, bool folderOnly);
// Loads ProgramDir + fileName and calls its DllRegisterServer; raises EOSError or EOleSysError.
bool RegisterServerFile(const std::wstring& fileName);
void InstallXvidCodec();
// Copies source over destination unless destination is as new or newer; an older destination is
// first moved to its name with ".old". The copy keeps the source's three file times.
void CopyIfNewer(const std::wstring& source, const std::wstring& destination);
bool GetFileTimes(const std::wstring& fileName, FILETIME& creation, FILETIME& lastAccess, FILETIME& lastWrite);
bool SetFileTimes(const std::wstring& fileName, const FILETIME& creation, const FILETIME& lastAccess,
                  const FILETIME& lastWrite);

}  // namespace kivo
