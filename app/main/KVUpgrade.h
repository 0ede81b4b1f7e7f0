// KVUpgrade: starts the update client tolva.exe beside KivoApp and ends KivoApp at once when the
// client shows a dialog (so that it can replace KivoApp's files).
#pragma once

#include <windows.h>

#include <string>

namespace kivo {

// Version=... of section [Version] of Version.ini beside the program; "0.0.0.0" without it.
std::wstring ReadUpdateVersion();
// The client's command line for a program folder (with its backslash) and a version.
std::wstring UpdateClientCommandLine(const std::wstring& folder, const std::wstring& version);
bool LaunchUpdateClient(PROCESS_INFORMATION& info);
// Starts the client and its watcher when the client exists; always answers false.
bool StartUpdateClient();
// Terminates the client started by StartUpdateClient (the unit's end).
void StopUpdateClient();
// The first top-level "#32770" window of the process when it is visible, else nullptr.
HWND FindClientDialog(DWORD processId);

// Watches the client: while it runs, a visible client dialog ends KivoApp's process at once.
class TMonitUpgradeThread {
 public:
  explicit TMonitUpgradeThread(const PROCESS_INFORMATION& info);
  TMonitUpgradeThread(const TMonitUpgradeThread&) = delete;
  TMonitUpgradeThread& operator=(const TMonitUpgradeThread&) = delete;

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Execute();
  PROCESS_INFORMATION info_;
};

}  // namespace kivo
