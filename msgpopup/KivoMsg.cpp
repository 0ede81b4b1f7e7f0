// KivoMsg: keeps KivoApp's busy overlay painted while KivoApp's own GUI thread is blocked, and
// ends when KivoApp's process ends. Started by KivoApp with its process id as the argument.
#include <windows.h>

#include <exception>

#include "Forms.h"
#include "KVMsgMain.h"
#include "SysUtils.h"

using namespace kivo;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  try {
    Application()->Initialize();
    Application()->CreateForm(kivomsg::KVMessageMainForm);
    Application()->Run();
    DoneApplication();
    kivomsg::KVMessageMainForm = nullptr;
    return 0;
  } catch (const std::exception& e) {
    ::MessageBoxW(nullptr, ExceptionMessage(e).c_str(), L"KivoMsg", MB_OK | MB_ICONERROR);
  }
  return 1;
}
