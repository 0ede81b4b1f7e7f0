// yelkaus with files in use: a file open with delete sharing and a loaded DLL take the rename
// path, and the renamed copies are left to be deleted at the next restart.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Handles.h"
#include "YelkAusFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

std::vector<std::wstring> PendingRenames() {
  std::vector<std::wstring> entries;
  TRegKeyOwner key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return entries;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return entries;
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  ::RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  data.resize(size / sizeof(wchar_t));
  // Pairs of zero-terminated texts: source, target (empty: delete).
  std::size_t at = 0;
  while (at < data.size()) {
    const std::size_t end = data.find(L'\0', at);
    if (end == std::wstring::npos) break;
    entries.push_back(data.substr(at, end - at));
    at = end + 1;
  }
  while (!entries.empty() && entries.back().empty() && entries.size() % 2 == 1) entries.pop_back();
  return entries;
}

// Takes this folder's entries out again, leaving the others.
void ForgetPendingRenames(const std::wstring& folder) {
  const std::vector<std::wstring> entries = PendingRenames();
  std::wstring kept;
  for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (entries[i].find(folder) != std::wstring::npos) continue;
    kept += entries[i] + L'\0' + entries[i + 1] + L'\0';
  }
  TRegKeyOwner key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
  if (kept.empty()) {
    ::RegDeleteValueW(key.Get(), kPendingRenames);
  } else {
    kept += L'\0';
    ::RegSetValueExW(key.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                     static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
  }
}

bool PendingDelete(const std::wstring& path) {
  const std::vector<std::wstring> entries = PendingRenames();
  for (std::size_t i = 0; i + 1 < entries.size(); i += 2)
    if (entries[i] == L"\\??\\" + path && entries[i + 1].empty()) return true;
  return false;
}

}  // namespace

TEST(YelkAusRename, FilesInUseAreRenamedAwayAndReplaced) {
  TAppFolder app;
  const std::string dll = ReadFileBytes(ModuleDir() + L"tools_dll.dll");
  ASSERT_FALSE(dll.empty());
  WriteFileBytes(app / L"QuonAppD.dll", dll);
  app.AddNew(L"QuonCore.dll");
  app.AddNew(L"QuonAppD.dll");
  TChildProcess holder(HelperPath(L"tools_holder"));
  ASSERT_EQ(holder.Call("open rd " + Utf8(app / L"QuonCore.dll")), "ok");
  ASSERT_EQ(holder.Call("load " + Utf8(app / L"QuonAppD.dll")), "ok");

  ASSERT_EQ(app.RunFor(L"client.exe"), 0u);
  EXPECT_EQ(app.Content(L"QuonCore.dll"), app.NewContent(L"QuonCore.dll"));
  EXPECT_EQ(app.Content(L"QuonCore.dll.tmp"), app.OldContent(L"QuonCore.dll"));
  EXPECT_EQ(app.Content(L"QuonAppD.dll"), app.NewContent(L"QuonAppD.dll"));
  EXPECT_EQ(app.Content(L"QuonAppD.dll.tmp"), dll);
  EXPECT_TRUE(PendingDelete(app / L"QuonCore.dll.tmp"));
  EXPECT_TRUE(PendingDelete(app / L"QuonAppD.dll.tmp"));
  EXPECT_TRUE(app.LogHas("=== Update: overwrite file " + Utf8(app / L"QuonCore.dll") + " fail, try MoveFileEx()..."));
  EXPECT_TRUE(app.LogHas("=== Update: overwrite file " + Utf8(app / L"QuonAppD.dll") + " fail, try MoveFileEx()..."));
  EXPECT_FALSE(app.LogHas("@@@"));
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1"));
  EXPECT_TRUE(app.WaitForStarts(1));
  ForgetPendingRenames(app.App());
  EXPECT_FALSE(PendingDelete(app / L"QuonCore.dll.tmp"));
}
