#include "KVMessage.h"

#include <cwctype>

#include "Handles.h"
#include "KVMsgProtocol.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

namespace {

THandleOwner gMessageProcess;

bool SameFileName(std::wstring a, std::wstring b) {
  for (auto* s : {&a, &b})
    for (wchar_t& c : *s) c = static_cast<wchar_t>(std::towlower(c));
  return a == b;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Sends a message and waits at most kMessageSendTimeoutMs; false when KivoMsg did not answer.
bool SendToServer(HWND server, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result) {
  DWORD_PTR r = 0;
  const LRESULT ok = ::SendMessageTimeoutW(server, msg, w, l, SMTO_NORMAL | SMTO_ABORTIFHUNG, kMessageSendTimeoutMs, &r);
  if (result) *result = r;
  return ok != 0;
}

}  // namespace

std::wstring MessageCommandLine(const std::wstring& programDir, DWORD pid) {
  return L"\"" + programDir + kMessageProgramFile + L"\" " + std::to_wstring(pid);
}

void StartMessageProcess() {
  if (SameFileName(FileNameOf(ParamStr(0)), kMessageProgramFile)) return;
  std::wstring cmd = MessageCommandLine(ProgramDir, ::GetCurrentProcessId());
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    // without KivoMsg there is no overlay; KivoApp runs on
    const DWORD err = ::GetLastError();
    ::OutputDebugStringW((L"KivoMsg cannot be started: " + SysErrorMessage(err) + L"\n").c_str());
    return;
  }
  ::CloseHandle(pi.hThread);
  gMessageProcess.Reset(pi.hProcess);
}

void StopMessageProcess() {
  if (!gMessageProcess) return;
  ::TerminateProcess(gMessageProcess.Get(), 0);
  gMessageProcess.Reset();
}

HANDLE MessageProcess() { return gMessageProcess.Get(); }

HWND FindMessageWindow() { return ::FindWindowW(kMessageServerClass, kMessageServerTitle); }

void ShowWaitMessageOn(HWND server, HWND host, TColor color, const std::wstring& text) {
  if (!server) return;
  // the server reads the text from its panel when the show arrives
  HWND panel = ::GetWindow(server, GW_CHILD);
  if (panel && !SendToServer(panel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), nullptr)) return;
  SendToServer(server, WM_SHOW_BUSY_MESSAGE, reinterpret_cast<WPARAM>(host), static_cast<LPARAM>(color), nullptr);
}

std::int32_t HideWaitMessageOn(HWND server) {
  if (!server) return 0;
  DWORD_PTR r = 0;
  if (!SendToServer(server, WM_HIDE_BUSY_MESSAGE, 0, 0, &r)) return 0;
  return static_cast<std::int32_t>(r);
}

void ShowWaitMessage(HWND host, TColor color, const std::wstring& text) {
  ShowWaitMessageOn(FindMessageWindow(), host, color, text);
}

std::int32_t HideWaitMessage() { return HideWaitMessageOn(FindMessageWindow()); }

}  // namespace kivo
