// yelkaus: replaces the update client's files in this folder with the new versions it downloaded
// into quontemp\-1\new\ (backing them up to quontemp\-1\bak\ and restoring them on failure), then
// starts the client again. Windowless; run with administrator rights.
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "FileLog.h"
#include "SelfUpdate.h"

namespace {

using namespace kivo;

CFileLog g_log;

std::vector<std::wstring> Arguments() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv) return {};
  std::vector<std::wstring> args(argv, argv + argc);
  ::LocalFree(argv);
  return args;
}

// The client's file name: the first argument unless it names this program (then the second).
std::optional<std::wstring> GetProgramArgument() {
  const std::vector<std::wstring> args = Arguments();
  if (args.empty()) return std::nullopt;
  g_log.Log(10, L"Arg[0] = %s", args[0].c_str());
  if (!NamesOwnProgram(args[0], GetModulePath())) return args[0];
  if (args.size() < 2) return std::nullopt;
  g_log.Log(10, L"Arg[1] = %s", args[1].c_str());
  return args[1];
}

int Finish(int code) {
  g_log.SessionFinish(10);
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  if (const WORD language = HIWORD(GetOwnLanguage())) ::SetThreadLocale(MAKELCID(language, SORT_DEFAULT));

  const std::wstring ownPath = GetModulePath();
  const std::wstring folder = ExtractPathFolder(ownPath);
  const std::wstring mutexName = MutexNameOf(folder);
  THandleOwner mutex(::CreateMutexW(nullptr, FALSE, mutexName.c_str()));
  const DWORD mutexError = ::GetLastError();
  // Only a mutex of our own makes this the one instance: one that existed, or any other failure
  // to create it, does not.
  const int result = mutex && mutexError != ERROR_ALREADY_EXISTS ? 0 : 1;
  if (result) mutex.Reset();

  g_log.Configure(L"<quonpself>", nullptr, 131072, 31, true, nullptr);
  g_log.SessionStart(10);
  g_log.Log(10, L"MutexProcess: result=%d", result);
  if (result && mutexError != ERROR_ALREADY_EXISTS)
    g_log.Log(0, L"MutexProcess: cannot create mutex %s, GetLastError() = %u", mutexName.c_str(), mutexError);
  g_log.Log(10, L"CmdLine = %s", ::GetCommandLineW());
  if (result) return Finish(1);

  const std::optional<std::wstring> argument = GetProgramArgument();
  if (!argument) return Finish(1);
  if (!IsPlainClientName(*argument, ExtractPathFileName(ownPath))) {
    g_log.Log(0, L"Argument %s refused: not a file name in %s", argument->c_str(), folder.c_str());
    return Finish(1);
  }

  CSelfUpdate update(g_log, folder);
  update.BuildFileList(*argument);

  DWORD processId = 0;
  if (update.FindRunningProcess(*argument, processId)) {
    ::Sleep(1000);
    if (!update.KillRunningProcess(*argument)) g_log.Log(0, L"KillRunningProcess failed: filename=%s", argument->c_str());
  }

  bool restoreFailed = false;
  if (update.NeedUpdate() && update.Backup() && !update.Update()) restoreFailed = !update.Restore();

  wchar_t extra[260] = {};
  ::GetPrivateProfileStringW(L"StartArg", L"Arg", L"", extra, 260, (folder + kCmdArgFile).c_str());

  if (restoreFailed) {
    // The backups are what can still repair the install: they stay.
    g_log.Log(0, L"Restore: incomplete, the backups stay in %s", (folder + kBackupFolder).c_str());
    update.DeleteDirectoryTree(folder + kNewFolder, true);
  } else {
    update.DeleteDirectoryTree(folder + kWorkFolder, true);
  }
  mutex.Reset();
  update.StartProgram(*argument, extra);
  return Finish(0);
}
