// KivoApp's side of the busy overlay: KivoMsg runs beside KivoApp for its whole life and lays the
// overlay over a KivoApp window while KivoApp's GUI thread is busy.
#pragma once

#include <windows.h>

#include <string>

#include "Graphics.h"

namespace kivo {

// How long KivoApp waits for KivoMsg to handle one message; a hung KivoMsg then costs this much
// and no more.
constexpr UINT kMessageSendTimeoutMs = 3000;

// KivoMsg's command line: its program file in `programDir` (quoted, the folder may hold blanks)
// and KivoApp's process id.
std::wstring MessageCommandLine(const std::wstring& programDir, DWORD pid);

// Unit start: starts KivoMsg with this process's id (not when this program is KivoMsg itself).
void StartMessageProcess();
// Unit end: terminates the KivoMsg started here.
void StopMessageProcess();
// The process started by StartMessageProcess (nullptr when none).
HANDLE MessageProcess();

// KivoMsg's server window, 0 when KivoMsg does not run.
HWND FindMessageWindow();
// Lays the overlay with `text` over the client area of `host` (0: shown on its own), panel colour
// `color`; nothing when KivoMsg does not run.
void ShowWaitMessage(HWND host, TColor color, const std::wstring& text);
// Removes the overlay; KivoMsg's answer, 0 when it does not run or does not answer in time.
std::int32_t HideWaitMessage();

// The same, with a given server window.
void ShowWaitMessageOn(HWND server, HWND host, TColor color, const std::wstring& text);
std::int32_t HideWaitMessageOn(HWND server);

}  // namespace kivo
