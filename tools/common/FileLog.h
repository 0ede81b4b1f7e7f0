// The companion programs' text logger (UTF-16 file with size rotation) and their path routines.
#pragma once

#include <windows.h>

#include <string>

#include "Handles.h"

namespace kivo {

// A line goes to the debugger output always and to the log file when the threshold is at least its
// level. The file is opened and closed for every line; its first line holds the threshold, which a
// later run can raise by editing the file (SyncLevelFromFile).
class CFileLog {
 public:
  using Hook = void (*)(int level, const wchar_t* line, DWORD bytes);

  static constexpr int kDefaultLevel = 31;
  static constexpr DWORD kDefaultMaxSize = 1048576;

  // Log path: the program's path with ".log" for its extension, in the folder "log" beside it
  // (created here, one level).
  CFileLog();
  ~CFileLog();
  CFileLog(const CFileLog&) = delete;
  CFileLog& operator=(const CFileLog&) = delete;

  // A path with a drive ("C:...") is taken as it is; any other is placed in the current log folder.
  void Configure(const wchar_t* name, const wchar_t* path, DWORD maxSize, int level, bool openNow, Hook hook);
  // The threshold becomes the larger of level and the number on the file's first line; a larger
  // level is written back as the first line.
  void SyncLevelFromFile(int level);

  void Log(int level, const wchar_t* format, ...);
  void WriteLine(int level, const wchar_t* line, DWORD bytes);
  void SessionStart(int level);
  void SessionFinish(int level);

  int Threshold() const;
  std::wstring Path() const;

  static const wchar_t* Marker(int level);

 private:
  void LogText(int level, const std::wstring& message);
  bool OpenLocked(DWORD disposition);
  // Answers false when the rotated file could not be made (the line is lost, no hook is called).
  bool WriteLocked(const wchar_t* line, DWORD bytes);
  bool WriteAll(const void* data, DWORD bytes);
  std::string FirstLine() const;  // byte-order mark and "%d\r\n" of the threshold, UTF-16 bytes

  mutable TCriticalSection lock_;
  TFileOwner file_;
  int threshold_ = kDefaultLevel;
  DWORD maxSize_ = kDefaultMaxSize;
  std::wstring name_;
  std::wstring path_;
  Hook hook_ = nullptr;
};

// Text up to and including the last "\" or "/"; the whole text when there is neither.
std::wstring ExtractPathFolder(const std::wstring& path);
// Text after the last "\" or "/"; the whole text when there is neither.
std::wstring ExtractPathFileName(const std::wstring& path);
// Full path of the running program.
std::wstring GetModulePath();
// First entry of the version resource's translation table: language in the high 16 bits, code
// page in the low 16 bits; 0 without a version resource or translation. No module: the program.
DWORD GetOwnLanguage(HMODULE module = nullptr);

}  // namespace kivo
