// What KivoApp and KivoMsg agree on: KivoMsg's program file, its server window and the two
// messages that show and hide the busy overlay.
#pragma once

#include <windows.h>

namespace kivo {

// KivoMsg's program file in KivoApp's folder (an executable despite its extension).
constexpr const wchar_t* kMessageProgramFile = L"kivomsg.dll";
// The hidden server window; its first child carries the overlay's text.
constexpr const wchar_t* kMessageServerClass = L"TKVMessageMainForm";
constexpr const wchar_t* kMessageServerTitle = L"$KVMessageMainForm$";
// WParam: the window to cover (0: none); LParam: the panel's colour (0: black).
constexpr UINT WM_SHOW_BUSY_MESSAGE = WM_USER + 1071;  // 0x82F
// Both parameters 0.
constexpr UINT WM_HIDE_BUSY_MESSAGE = WM_USER + 1072;  // 0x830

}  // namespace kivo
