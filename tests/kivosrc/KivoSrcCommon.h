// Shared by the KivoSrc tests and their helper programs.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <optional>
#include <string>

#include "GraphSupport.h"
#include "Handles.h"

namespace kivo::test {

// {26D63F58-C75A-403C-B022-9A8EACF0DB68}
inline constexpr CLSID kKivoSrcClsid = {0x26d63f58, 0xc75a, 0x403c, {0xb0, 0x22, 0x9a, 0x8e, 0xac, 0xf0, 0xdb, 0x68}};
inline constexpr wchar_t kKivoSrcName[] = L"Kivo Filter Source";

// The device of that name in the video input category, if listed: its CLSID and moniker.
using TDevice = TListedFilter;
std::optional<TDevice> FindVideoInputDevice(const std::wstring& name);
// S_OK when the category lists a registered filter (a software device), S_FALSE when it lists none
// (the test prefix's cameras are hardware and do not count).
HRESULT VideoInputCategoryState();

}  // namespace kivo::test
