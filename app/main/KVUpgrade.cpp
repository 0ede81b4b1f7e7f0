#include "KVUpgrade.h"

#include "Handles.h"
#include "IniFiles.h"
#include "SysUtils.h"

namespace kivo {

namespace {
PROCESS_INFORMATION gClient{};

std::wstring ProgramFolder() { return ExtractFilePath(ParamStr(0)); }

struct TFindContext {
  DWORD ProcessId;
  HWND Found;
};
BOOL CALLBACK FindDialogProc(HWND wnd, LPARAM l) {
  auto* ctx = reinterpret_cast<TFindContext*>(l);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wnd, &pid);
  if (pid != ctx->ProcessId) return TRUE;
  wchar_t cls[257];
  const int n = ::GetClassNameW(wnd, cls, 256);
  if (!SameText(std::wstring_view(cls, n > 0 ? n : 0), L"#32770")) return TRUE;
  if (::IsWindowVisible(wnd)) ctx->Found = wnd;
  return FALSE;  // the first dialog-class window decides
}
}  // namespace

std::wstring ReadUpdateVersion() {
  const std::wstring file = ProgramFolder() + L"Version.ini";
  if (!FileExists(file)) return L"0.0.0.0";
  TIniFile ini(file);
  return ini.ReadString(L"Version", L"Version", L"0.0.0.0");
}

std::wstring UpdateClientCommandLine(const std::wstring& folder, const std::wstring& version) {
  return L"\"" + folder + L"tolva.exe\"  -s  -c -onlydownshow -f " + version + L"  -t \"\\\"" + folder +
         L"KivoApp.exe\\\" -b\"";
}

bool LaunchUpdateClient(PROCESS_INFORMATION& info) {
  info = PROCESS_INFORMATION{};
  const std::wstring folder = ProgramFolder();
  if (!FileExists(folder + L"tolva.exe")) return false;
  std::wstring cmd = UpdateClientCommandLine(folder, ReadUpdateVersion());
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWDEFAULT;
  return ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &info) !=
         FALSE;
}

bool StartUpdateClient() {
  PROCESS_INFORMATION info;
  if (LaunchUpdateClient(info)) {
    gClient = info;
    new TMonitUpgradeThread(info);  // runs as long as the client does; never freed
  }
  return false;
}

void StopUpdateClient() {
  if (gClient.hProcess) ::TerminateProcess(gClient.hProcess, 0);
}

HWND FindClientDialog(DWORD processId) {
  TFindContext ctx{processId, nullptr};
  ::EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&ctx));
  return ctx.Found;
}

TMonitUpgradeThread::TMonitUpgradeThread(const PROCESS_INFORMATION& info) : info_(info) {
  THandleOwner thread(::CreateThread(nullptr, 0, &TMonitUpgradeThread::ThreadProc, this, 0, nullptr));
}

DWORD WINAPI TMonitUpgradeThread::ThreadProc(void* self) {
  static_cast<TMonitUpgradeThread*>(self)->Execute();
  return 0;
}

void TMonitUpgradeThread::Execute() {
  while (::WaitForSingleObject(info_.hProcess, 500) == WAIT_TIMEOUT) {
    if (FindClientDialog(info_.dwProcessId)) ::TerminateProcess(::GetCurrentProcess(), 0);
  }
}

}  // namespace kivo
