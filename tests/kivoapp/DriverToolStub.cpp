// Stand-in for the driver tool pavlet.dll: appends "start <argument>" to pavlet.log in its current
// folder, works for a second, then appends "end".
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  auto log = [](const wchar_t* text) {
    if (FILE* f = _wfopen(L"pavlet.log", L"ab")) {
      std::fwprintf(f, L"%ls\n", text);
      std::fclose(f);
    }
  };
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  wchar_t line[512];
  std::swprintf(line, 512, L"start %ls", argc > 1 ? argv[1] : L"");
  ::LocalFree(argv);
  log(line);
  ::Sleep(1000);
  log(L"end");
  return 0;
}
