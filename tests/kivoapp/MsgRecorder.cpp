// A stand-in for KivoMsg, put into a program folder as kivomsg.dll: a server window as KivoApp
// finds it that writes every busy-overlay request into kivomsg.log beside itself, one UTF-8 line
// each: "show <host's class> <host's process is KivoApp: 1/0> <colour> <text>" or "hide". Ends
// when KivoApp's process (the argument) ends.
#include <windows.h>

#include <string>

namespace {

std::wstring gLog;
HWND gPanel = nullptr;
DWORD gKivoApp = 0;

void Append(const std::wstring& line) {
  const std::wstring text = line + L"\n";
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  HANDLE f = ::CreateFileW(gLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(f);
}

LRESULT CALLBACK ServerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 1071) {
    HWND host = reinterpret_cast<HWND>(wp);
    wchar_t cls[256] = L"-";
    if (host) ::GetClassNameW(host, cls, 256);
    DWORD pid = 0;
    if (host) ::GetWindowThreadProcessId(host, &pid);
    wchar_t text[512] = {};
    ::GetWindowTextW(gPanel, text, 512);
    Append(L"show " + std::wstring(cls) + L" " + (pid && pid == gKivoApp ? L"1" : L"0") + L" " +
           std::to_wstring(static_cast<long long>(lp)) + L" " + text);
    return 0;
  }
  if (msg == WM_USER + 1072) {
    Append(L"hide");
    return 0;
  }
  if (msg == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR args, int) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  gLog = path;
  gLog = gLog.substr(0, gLog.find_last_of(L'\\') + 1) + L"kivomsg.log";
  gKivoApp = static_cast<DWORD>(wcstoul(args, nullptr, 10));

  WNDCLASSW wc{};
  wc.lpfnWndProc = ServerProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"TKVMessageMainForm";
  ::RegisterClassW(&wc);
  HWND server = ::CreateWindowExW(0, L"TKVMessageMainForm", L"$KVMessageMainForm$", WS_OVERLAPPED, 0, 0, 300, 287,
                                  nullptr, nullptr, instance, nullptr);
  gPanel = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 16, 8, 257, 41, server, nullptr, instance, nullptr);
  HANDLE app = ::OpenProcess(SYNCHRONIZE, FALSE, gKivoApp);
  for (;;) {
    const DWORD r = ::MsgWaitForMultipleObjects(app ? 1 : 0, &app, FALSE, INFINITE, QS_ALLINPUT);
    if (app && r == WAIT_OBJECT_0) break;
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) return 0;
      ::DispatchMessageW(&m);
    }
  }
  ::CloseHandle(app);
  ::DestroyWindow(server);
  return 0;
}
