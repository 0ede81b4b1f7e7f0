// Stand-in for the update client: notes its start (process id and command line) in starts.txt
// beside itself, then waits until told to end through its event, at most half a minute.
#include <windows.h>

#include <string>

#include "ToolsTestUtil.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  const DWORD pid = ::GetCurrentProcessId();
  HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, (L"kivo-test-client-quit-" + std::to_wstring(pid)).c_str());
  wchar_t self[MAX_PATH * 2];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  std::wstring folder(self, n);
  folder.erase(folder.find_last_of(L'\\') + 1);
  const std::string line = std::to_string(pid) + "\t" + kivo::test::Utf8(::GetCommandLineW()) + "\n";
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE file = ::CreateFileW((folder + L"starts.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      ::CloseHandle(file);
      break;
    }
    ::Sleep(20);
  }
  ::WaitForSingleObject(quit, 30000);
  ::CloseHandle(quit);
  return 7;
}
