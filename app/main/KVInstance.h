// The single-instance guard with its hidden window and restore message, and the Run value that
// starts KivoApp at log-on.
#pragma once

#include <windows.h>

#include <string>

namespace kivo {

// Sent by a second start to the first instance's hidden window (both parameters 0).
constexpr UINT WM_RESTORE_INSTANCE = 29701;  // 0x7405

// "$" and the main window's class name without its first letter: "$KVMainForm".
std::wstring InstanceName(const std::wstring& mainFormClassName);

// True in the first instance (semaphore and hidden window made); false in a second one (after
// bringing the first back when activate is set) and on failure (after a message box).
bool CheckSingleInstance(const std::wstring& mainFormClassName, bool activate);
// The hidden window of the first instance (nullptr in others).
HWND InstanceWindow();
// Drops the hidden window (at the end of the program).
void DoneSingleInstance();
LRESULT CALLBACK InstanceWindowProc(HWND wnd, UINT msg, WPARAM w, LPARAM l);
// Shows the first instance's main window again.
void RestoreMainWindow();

// HKEY_LOCAL_MACHINE ...\CurrentVersion\run: enable writes "\"path\" parameters" unless the value
// already holds it in any letter case (answers true then, false after writing); disable deletes
// the value (answers whether it was deleted). A missing key answers !enable.
bool SetRunValue(const std::wstring& valueName, const std::wstring& programPath, const std::wstring& parameters,
                 bool enable);
bool SetAutoRun(bool enable);
// The key of the Run value (without the leading backslash).
constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\run";

}  // namespace kivo
