// Holds files, DLLs and named objects for the self-update tests, one command a line on standard
// input, answering "ok" or "error <code>":
//   open <share: r | rd | rwd> <path>    load <path>    mutex <name>    event <name>
#include <windows.h>

#include <string>
#include <vector>

#include "ToolsTestUtil.h"

namespace {

void Reply(const std::string& text) {
  const std::string line = text + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool ReadLine(std::string& line) {
  line.clear();
  char c;
  DWORD got = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') return true;
    if (c != '\r') line += c;
  }
  return !line.empty();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  std::vector<HANDLE> handles;
  std::vector<HMODULE> modules;
  std::string line;
  while (ReadLine(line)) {
    const std::size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    HANDLE handle = nullptr;
    if (command == "open") {
      const std::size_t gap = rest.find(' ');
      const std::string share = rest.substr(0, gap);
      const std::wstring path = kivo::test::Wide(rest.substr(gap + 1));
      DWORD mode = FILE_SHARE_READ;
      if (share.find('w') != std::string::npos) mode |= FILE_SHARE_WRITE;
      if (share.find('d') != std::string::npos) mode |= FILE_SHARE_DELETE;
      handle = ::CreateFileW(path.c_str(), GENERIC_READ, mode, nullptr, OPEN_EXISTING, 0, nullptr);
      if (handle == INVALID_HANDLE_VALUE) handle = nullptr;
    } else if (command == "load") {
      HMODULE module = ::LoadLibraryW(kivo::test::Wide(rest).c_str());
      if (module) modules.push_back(module);
      Reply(module ? "ok" : "error " + std::to_string(::GetLastError()));
      continue;
    } else if (command == "mutex") {
      handle = ::CreateMutexW(nullptr, FALSE, kivo::test::Wide(rest).c_str());
    } else if (command == "event") {
      handle = ::CreateEventW(nullptr, TRUE, FALSE, kivo::test::Wide(rest).c_str());
    } else {
      Reply("error unknown");
      continue;
    }
    if (handle) handles.push_back(handle);
    Reply(handle ? "ok" : "error " + std::to_string(::GetLastError()));
  }
  for (HANDLE h : handles) ::CloseHandle(h);
  for (HMODULE m : modules) ::FreeLibrary(m);
  return 0;
}
