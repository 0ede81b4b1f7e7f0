// KivoSrc's class and name, shared by the filter and KivoApp.
#pragma once

#include <windows.h>

namespace kivo {

// {26D63F58-C75A-403C-B022-9A8EACF0DB68}
inline constexpr CLSID CLSID_KivoFilterSource = {0x26d63f58, 0xc75a, 0x403c, {0xb0, 0x22, 0x9a, 0x8e, 0xac, 0xf0, 0xdb, 0x68}};
inline constexpr wchar_t kKivoFilterSourceName[] = L"Kivo Filter Source";

}  // namespace kivo
