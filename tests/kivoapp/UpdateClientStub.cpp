// Stand-in for the update client tolva.exe: appends its command line to tolva.log in its current
// folder; when the file tolva-dialog exists there, shows a standard dialog box after half a second.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (FILE* f = _wfopen(L"tolva.log", L"ab")) {
    std::fwprintf(f, L"%ls\n", ::GetCommandLineW());
    std::fclose(f);
  }
  if (::GetFileAttributesW(L"tolva-dialog") != INVALID_FILE_ATTRIBUTES) {
    ::Sleep(500);
    ::MessageBoxW(nullptr, L"update", L"tolva", MB_OK);
    return 0;
  }
  ::Sleep(1500);
  return 0;
}
