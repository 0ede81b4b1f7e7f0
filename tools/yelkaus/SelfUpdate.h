// yelkaus's steps: find and end the update client, back up its files, copy the new versions over
// them, restore on failure, and the folder routines. Every path is relative to the program folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "FileLog.h"

namespace kivo {

struct SelfUpdateFile {
  std::wstring FileName;
  std::wstring NewVersion;  // relative path of the new version
  std::wstring Spare;       // always empty
};

extern const wchar_t kWorkFolder[];    // "quontemp\-1\"
extern const wchar_t kNewFolder[];     // "quontemp\-1\new\"
extern const wchar_t kBackupFolder[];  // "quontemp\-1\bak\"
extern const wchar_t kCmdArgFile[];    // "quontemp\-1\cmdarg.dat"

// "Global\quonpself-%u" of the folder text (A-Z lowered, h = h * 33 + c over its UTF-16 units).
std::wstring MutexNameOf(const std::wstring& folder);

// The client's name must be a plain file name: no folder part, no drive, no "." or "..", no
// character a file name cannot hold, not this program's own name.
bool IsPlainClientName(const std::wstring& name, const std::wstring& ownFileName);
// Whether a command line's first argument names this program (its full path, its file name, or
// its file name without ".exe") rather than being the program argument.
bool NamesOwnProgram(const std::wstring& arg, const std::wstring& ownPath);

class CSelfUpdate {
 public:
  CSelfUpdate(CFileLog& log, std::wstring folder);

  const std::wstring& Folder() const { return folder_; }
  const std::vector<SelfUpdateFile>& Files() const { return files_; }
  void BuildFileList(const std::wstring& argument);

  // A running process started from this folder's copy of the client.
  bool FindRunningProcess(const std::wstring& name, DWORD& processId);
  // Ends every such process and waits for it to end.
  bool KillRunningProcess(const std::wstring& name);
  bool NeedUpdate();
  bool Backup();
  bool Update();
  bool Restore();

  bool CreateDirectoryTree(const std::wstring& path);
  // Deletes the folder's contents (and the folder itself when asked). Links are never followed:
  // an entry reached through a link the platform resolves on its own is left in place.
  void DeleteDirectoryTree(const std::wstring& path, bool removeItself);
  // Deletes one file the same way; false when it was left in place or could not be deleted.
  bool DeleteFileNoFollow(const std::wstring& path);

  // Starts folder + program with the arguments (the path is quoted); not waited for.
  bool StartProgram(const std::wstring& program, const std::wstring& arguments);

 private:
  std::wstring Full(const std::wstring& relative) const { return folder_ + relative; }
  bool IsClientImage(DWORD processId, const std::wstring& name, HANDLE process);
  // Calls visit with each running process of this folder's client until it answers false; false
  // when the processes cannot be listed.
  bool WalkClientProcesses(const std::wstring& name, DWORD access, const std::function<bool(DWORD, HANDLE)>& visit);
  bool DeleteEntry(const std::wstring& parentFinal, const std::wstring& parent, const std::wstring& name,
                   bool allowFolder);
  void DeleteContents(const std::wstring& folder, const std::wstring& folderFinal);

  CFileLog& log_;
  std::wstring folder_;
  std::vector<SelfUpdateFile> files_;
};

}  // namespace kivo
