#include "SelfUpdate.h"

#include <tlhelp32.h>

#include <cstdint>
#include <cwchar>

#include "Handles.h"

namespace kivo {

const wchar_t kWorkFolder[] = L"quontemp\\-1\\";
const wchar_t kNewFolder[] = L"quontemp\\-1\\new\\";
const wchar_t kBackupFolder[] = L"quontemp\\-1\\bak\\";
const wchar_t kCmdArgFile[] = L"quontemp\\-1\\cmdarg.dat";

namespace {

// A client that is told to end gets this long to be gone.
constexpr DWORD kProcessEndWaitMs = 10000;

bool SameText(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
  const DWORD attrs = ::GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring StripSlash(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// What a handle refers to, as a plain DOS path.
std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  if (n >= path.size()) {
    path.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  }
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

// The final path of a folder as reached through its name (links on the way followed).
std::wstring FolderFinalPath(const std::wstring& folder) {
  TFileOwner handle(::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle ? StripSlash(FinalPath(handle.Get())) : std::wstring();
}

}  // namespace

std::wstring MutexNameOf(const std::wstring& folder) {
  std::uint32_t h = 0;
  for (wchar_t c : folder) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    h = h * 33 + c;
  }
  return L"Global\\quonpself-" + std::to_wstring(h);
}

bool IsPlainClientName(const std::wstring& name, const std::wstring& ownFileName) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
  return !SameText(name, ownFileName);
}

bool NamesOwnProgram(const std::wstring& arg, const std::wstring& ownPath) {
  if (SameText(arg, ownPath)) return true;
  const std::wstring ownName = ExtractPathFileName(ownPath);
  const std::wstring argName = ExtractPathFileName(arg);
  return SameText(argName, ownName) || SameText(argName + L".exe", ownName);
}

CSelfUpdate::CSelfUpdate(CFileLog& log, std::wstring folder) : log_(log), folder_(std::move(folder)) {}

void CSelfUpdate::BuildFileList(const std::wstring& argument) {
  files_.clear();
  for (const wchar_t* name : {L"QuonCore.dll", L"QuonAppD.dll", argument.c_str(), L"plixdownload.dll"})
    files_.push_back(SelfUpdateFile{name, std::wstring(kNewFolder) + name, std::wstring()});
}

bool CSelfUpdate::IsClientImage(DWORD processId, const std::wstring& name, HANDLE process) {
  if (processId == ::GetCurrentProcessId()) return false;
  std::wstring image(MAX_PATH, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  while (!::QueryFullProcessImageNameW(process, 0, image.data(), &size)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || image.size() > 32768) return false;
    image.resize(image.size() * 2);
    size = static_cast<DWORD>(image.size());
  }
  image.resize(size);
  const std::wstring client = Full(name);
  if (SameText(image, client)) return true;
  // The same file under another spelling (short names).
  wchar_t a[MAX_PATH * 4], b[MAX_PATH * 4];
  const DWORD na = ::GetLongPathNameW(image.c_str(), a, MAX_PATH * 4);
  const DWORD nb = ::GetLongPathNameW(client.c_str(), b, MAX_PATH * 4);
  return na > 0 && nb > 0 && na < MAX_PATH * 4 && nb < MAX_PATH * 4 && SameText(a, b);
}

bool CSelfUpdate::WalkClientProcesses(const std::wstring& name, DWORD access,
                                      const std::function<bool(DWORD, HANDLE)>& visit) {
  TFileOwner snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  const std::wstring fileName = ExtractPathFileName(name);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (!SameText(ExtractPathFileName(entry.szExeFile), fileName)) continue;
    THandleOwner process(::OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (process && IsClientImage(entry.th32ProcessID, name, process.Get()) &&
        !visit(entry.th32ProcessID, process.Get()))
      break;
  }
  return true;
}

bool CSelfUpdate::FindRunningProcess(const std::wstring& name, DWORD& processId) {
  bool found = false;
  WalkClientProcesses(name, 0, [&](DWORD pid, HANDLE) {
    processId = pid;
    found = true;
    return false;
  });
  return found;
}

bool CSelfUpdate::KillRunningProcess(const std::wstring& name) {
  bool ok = true;
  const bool walked = WalkClientProcesses(name, PROCESS_TERMINATE | SYNCHRONIZE, [&ok](DWORD, HANDLE process) {
    ok = ::TerminateProcess(process, 0) && ::WaitForSingleObject(process, kProcessEndWaitMs) == WAIT_OBJECT_0;
    return ok;
  });
  return walked && ok;
}

bool CSelfUpdate::NeedUpdate() {
  bool found = false;
  for (const SelfUpdateFile& f : files_) {
    const std::wstring path = Full(f.NewVersion);
    if (!Exists(path)) continue;
    log_.Log(10, L"NeedUpdate: find new file: %s", path.c_str());
    found = true;
  }
  return found;
}

bool CSelfUpdate::Backup() {
  const std::wstring folder = Full(kBackupFolder);
  if (!IsFolder(folder)) {
    log_.Log(10, L"Backup: bak directory not exist, create it");
    if (!CreateDirectoryTree(folder)) {
      log_.Log(0, L"Backup: cannot create bak directory %s, GetLastError() = %u", folder.c_str(), ::GetLastError());
      return false;
    }
  }
  for (const SelfUpdateFile& f : files_) {
    const std::wstring current = Full(f.FileName);
    if (!Exists(current)) continue;
    const std::wstring backup = folder + f.FileName;
    ::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::CopyFileW(current.c_str(), backup.c_str(), FALSE)) {
      log_.Log(0, L"Backup: cannot copy file from %s to %s, GetLastError() = %u", current.c_str(), backup.c_str(),
               ::GetLastError());
      return false;
    }
    log_.Log(10, L"Backup: backup file from %s to %s", current.c_str(), backup.c_str());
  }
  return true;
}

bool CSelfUpdate::Update() {
  bool ok = true;
  for (const SelfUpdateFile& f : files_) {
    const std::wstring fresh = Full(f.NewVersion);
    if (!Exists(fresh)) continue;
    const std::wstring current = Full(f.FileName);
    ::SetFileAttributesW(current.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::CopyFileW(fresh.c_str(), current.c_str(), FALSE)) {
      log_.Log(10, L"Update: overwrite file %s fail, try MoveFileEx()...", current.c_str());
      const std::wstring moved = current + L".tmp";
      if (!::MoveFileExW(current.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        log_.Log(0, L"Update: MoveFileEx %s to %s fail, GetLastError() = %u", current.c_str(), moved.c_str(),
                 ::GetLastError());
        ok = false;
      } else {
        ::SetFileAttributesW(current.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (::CopyFileW(fresh.c_str(), current.c_str(), FALSE)) {
          ::MoveFileExW(moved.c_str(), nullptr, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        } else {
          log_.Log(0, L"Update: cannot overwrite %s after MoveFileEx, GetLastError() = %u", current.c_str(),
                   ::GetLastError());
          ok = false;
        }
      }
    }
    DeleteFileNoFollow(fresh);
  }
  return ok;
}

bool CSelfUpdate::Restore() {
  // Every backup is tried: one that cannot be copied back does not keep the others from it.
  bool ok = true;
  for (const SelfUpdateFile& f : files_) {
    const std::wstring backup = Full(kBackupFolder) + f.FileName;
    if (!Exists(backup)) continue;
    const std::wstring current = Full(f.FileName);
    ::SetFileAttributesW(current.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::CopyFileW(backup.c_str(), current.c_str(), FALSE)) {
      log_.Log(0, L"Restore: cannot copy file from %s to %s, GetLastError() = %u", backup.c_str(), current.c_str(),
               ::GetLastError());
      ok = false;
      continue;
    }
    log_.Log(10, L"Restore: restore file from %s to %s", backup.c_str(), current.c_str());
  }
  return ok;
}

bool CSelfUpdate::CreateDirectoryTree(const std::wstring& path) {
  if (path.empty()) return false;
  const bool trailing = path.back() == L'\\';
  const std::wstring folder = trailing ? path.substr(0, path.size() - 1) : path;
  const DWORD attrs = ::GetFileAttributesW(folder.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return true;
  if (attrs != INVALID_FILE_ATTRIBUTES) DeleteFileNoFollow(folder);
  const std::size_t last = path.rfind(L'\\');
  if (last == std::wstring::npos) return true;
  if (!CreateDirectoryTree(path.substr(0, last))) return false;
  if (trailing) return true;
  return ::CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
}

namespace {

// The entry itself for deletion (a link opened as the link where the platform allows it), only
// when its final path is the one its name gives: a link the platform follows anyway resolves
// elsewhere. Empty otherwise; `final` is what it resolved to.
TFileOwner OpenOwnEntry(const std::wstring& parentFinal, const std::wstring& path, const std::wstring& name,
                        std::wstring& final) {
  TFileOwner entry(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!entry) return entry;
  final = FinalPath(entry.Get());
  if (parentFinal.empty() || !SameText(final, parentFinal + L"\\" + name)) entry.Reset();
  return entry;
}

}  // namespace

bool CSelfUpdate::DeleteEntry(const std::wstring& parentFinal, const std::wstring& parent, const std::wstring& name,
                              bool allowFolder) {
  const std::wstring path = parent + L"\\" + name;
  std::wstring final;
  TFileOwner entry = OpenOwnEntry(parentFinal, path, name, final);
  if (!entry) {
    if (!final.empty()) log_.Log(10, L"Delete: %s leads to %s, left in place", path.c_str(), final.c_str());
    return false;
  }
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(entry.Get(), FileBasicInfo, &basic, sizeof(basic))) return false;
  const bool folder = basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  const bool link = basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
  if (folder && !link) {
    if (!allowFolder) return false;
    // Listing the folder needs it not open for deletion; it is checked again afterwards.
    entry.Reset();
    DeleteContents(path, final);
    entry = OpenOwnEntry(parentFinal, path, name, final);
    if (!entry) return false;
  }
  if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO changed{};
    changed.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (changed.FileAttributes == 0) changed.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(entry.Get(), FileBasicInfo, &changed, sizeof(changed));
  }
  FILE_DISPOSITION_INFO dispose{};
  dispose.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(entry.Get(), FileDispositionInfo, &dispose, sizeof(dispose)) != FALSE;
}

void CSelfUpdate::DeleteContents(const std::wstring& folder, const std::wstring& folderFinal) {
  WIN32_FIND_DATAW data{};
  TFindOwner find(::FindFirstFileW((folder + L"\\*.*").c_str(), &data));
  if (!find) return;
  std::vector<std::wstring> names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.Get(), &data));
  find.Reset();
  for (const std::wstring& name : names) DeleteEntry(folderFinal, folder, name, true);
}

void CSelfUpdate::DeleteDirectoryTree(const std::wstring& path, bool removeItself) {
  const std::wstring folder = StripSlash(path);
  const std::size_t last = folder.rfind(L'\\');
  if (last == std::wstring::npos) return;
  const std::wstring parent = folder.substr(0, last);
  const std::wstring name = folder.substr(last + 1);
  const std::wstring parentFinal = FolderFinalPath(parent + L"\\");
  if (removeItself) {
    DeleteEntry(parentFinal, parent, name, true);
    return;
  }
  const std::wstring final = FolderFinalPath(folder + L"\\");
  if (!parentFinal.empty() && SameText(final, parentFinal + L"\\" + name)) DeleteContents(folder, final);
}

bool CSelfUpdate::DeleteFileNoFollow(const std::wstring& path) {
  const std::size_t last = path.rfind(L'\\');
  if (last == std::wstring::npos) return false;
  const std::wstring parent = path.substr(0, last);
  return DeleteEntry(FolderFinalPath(parent + L"\\"), parent, path.substr(last + 1), false);
}

bool CSelfUpdate::StartProgram(const std::wstring& program, const std::wstring& arguments) {
  const std::wstring path = Full(program);
  std::wstring commandLine = L"\"" + path + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring buffer = commandLine;
  if (!::CreateProcessW(path.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    log_.Log(0, L"CreateProcess: %s failed", commandLine.c_str());
    return false;
  }
  ::CloseHandle(info.hProcess);
  ::CloseHandle(info.hThread);
  log_.Log(10, L"CreateProcess: %s successfull", commandLine.c_str());
  return true;
}

}  // namespace kivo
