// XvidVfw: names and defaults of the Xvid compressor driver (xvidvfw.dll).
#pragma once

#include <windows.h>

#include "XvidCore.h"

inline constexpr wchar_t kXvidName[] = L"Xvid";
// The compressor's description: programs look for "xvid" in it.
inline constexpr wchar_t kXvidDescription[] = L"Xvid MPEG-4 Video Codec";
// Quality 9000 of 10000 (quantizer 4), a key frame at least every 100 frames.
constexpr DWORD kXvidDefaultQuality = 9000;
constexpr DWORD kXvidDefaultKeyInterval = 100;

// The driver entry point the compression manager calls.
extern "C" LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2);
