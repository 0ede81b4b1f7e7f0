#include "KVShared.h"

#include <cmath>
#include <memory>

#include "Dialogs.h"
#include "Forms.h"
#include "Registry.h"

namespace kivo {

std::wstring ProgramDir;
TSysConfig SysConfig;
HWND MainWindowHandle = nullptr;
HWND PreviewWindowHandle = nullptr;
std::wstring MainCaption;
HWND HoverWindow = NoHoverWindow();

namespace {
void SkinNothing(TControl*) {}
}  // namespace
TSkinFormProc SkinFormProc = &SkinNothing;

void StartProcsUnit() {
  ProgramDir = ExtractFilePath(ParamStr(0));
  // one level each; a failure is of no concern here
  ::CreateDirectoryW((ProgramDir + L"AudioRec\\").c_str(), nullptr);
  ::CreateDirectoryW((ProgramDir + L"VideoRec\\").c_str(), nullptr);
  InitFrameWriter();
}

void EndProcsUnit() {
  DoneFrameWriter();
  SysConfig.ActiveSource.clear();
  SysConfig.CaptureSource.clear();
  SysConfig.VideoFormat.clear();
}

std::wstring AppIniFileName() { return ChangeFileExt(ParamStr(0), L".ini"); }
TObjectPtr<TIniFile> CreateAppIniFile() { return TObjectPtr<TIniFile>(new TIniFile(AppIniFileName())); }

// ---- Lists and names ------------------------------------------------------------------------------
std::wstring NextListField(const std::wstring& text, int& position) {
  const std::size_t start = position > 0 ? static_cast<std::size_t>(position - 1) : 0;
  if (start >= text.size()) {
    position = static_cast<int>(text.size()) + 1;
    return std::wstring();
  }
  std::size_t end = text.find(L';', start);
  if (end == std::wstring::npos) end = text.size();
  position = static_cast<int>(end) + 2;
  return Trim(std::wstring_view(text).substr(start, end - start));
}

void SplitList(const std::wstring& text, TStrings* list) {
  int position = 1;
  while (position <= static_cast<int>(text.size())) {
    std::wstring field = NextListField(text, position);
    if (!field.empty()) list->Add(field);
  }
}

void SplitNameValue(const std::wstring& text, std::wstring& name, std::wstring& value) {
  const std::size_t eq = text.find(L'=');
  if (eq == std::wstring::npos) {
    name = text;
    value.clear();
    return;
  }
  name = Trim(std::wstring_view(text).substr(0, eq));
  value = Trim(std::wstring_view(text).substr(eq + 1));
}

std::wstring WithTrailingBackslash(const std::wstring& folder) {
  if (folder.empty()) return folder;
  const wchar_t last = folder.back();
  if (last == L':' || last == L'\\') return folder;
  return folder + L'\\';
}

// ---- Dialogs --------------------------------------------------------------------------------------
namespace {
std::wstring RunFileDialog(TOpenDialog& dialog, TOpenOptions options, TStrings* files) {
  if (files) options |= ofAllowMultiSelect;
  dialog.SetOptions(options);
  if (!dialog.Execute()) return std::wstring();
  if (files) files->Assign(dialog.Files());
  return dialog.FileName();
}
std::wstring ExtensionFilter(const std::wstring& defaultExt) {
  const std::wstring mask = L"*" + defaultExt;
  return mask + L"|" + mask;
}
}  // namespace

std::wstring ExecuteOpenDialog(const std::wstring& defaultExt, TStrings* files) {
  TObjectPtr<TOpenDialog> dialog(new TOpenDialog(nullptr));
  dialog->SetDefaultExt(defaultExt);
  dialog->SetFilter(ExtensionFilter(defaultExt));
  return RunFileDialog(*dialog, ofHideReadOnly | ofEnableSizing | ofPathMustExist | ofFileMustExist, files);
}

std::wstring ExecuteSaveDialog(const std::wstring& defaultExt, TStrings* files) {
  TObjectPtr<TSaveDialog> dialog(new TSaveDialog(nullptr));
  dialog->SetDefaultExt(defaultExt);
  dialog->SetFilter(ExtensionFilter(defaultExt));
  return RunFileDialog(*dialog,
                       ofHideReadOnly | ofEnableSizing | ofPathMustExist | ofFileMustExist | ofOverwritePrompt,
                       files);
}

std::wstring ExecuteOpenPictureDialog(TStrings* files) {
  TObjectPtr<TOpenPictureDialog> dialog(new TOpenPictureDialog(nullptr));
  return RunFileDialog(*dialog, dialog->Options(), files);
}

std::wstring ExecuteOpenFileDialog(TStrings* files) {
  TObjectPtr<TOpenDialog> dialog(new TOpenDialog(nullptr));
  return RunFileDialog(*dialog, dialog->Options(), files);
}

// ---- Double click, sizes, rectangles --------------------------------------------------------------
bool WaitForDoubleClick() {
  static bool waiting = false;
  if (waiting) return false;
  waiting = true;
  struct TClear {
    ~TClear() { waiting = false; }
  } clear;
  ::Sleep(200);
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
    if (::GetTickCount() - start > 1200) return false;
    if (msg.message == WM_LBUTTONDBLCLK) return true;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

std::int32_t RoundHalfUp(double x) { return static_cast<std::int32_t>(std::trunc(x + 0.5)); }

void FitSize(std::int32_t boxWidth, std::int32_t boxHeight, std::int32_t& width, std::int32_t& height) {
  const double rw = static_cast<double>(width) / boxWidth;
  const double rh = static_cast<double>(height) / boxHeight;
  if (rw > rh) {
    width = boxWidth;
    height = RoundHalfUp(height / rw);
  } else if (rw < rh) {
    width = RoundHalfUp(width / rh);
    height = boxHeight;
  } else {
    width = boxWidth;
    height = boxHeight;
  }
}

void GetControlScreenRect(TControl* control, RECT& rect) {
  const RECT r = control->ClientRect();
  const POINT tl = control->ClientToScreen(POINT{r.left, r.top});
  const POINT br = control->ClientToScreen(POINT{r.right, r.bottom});
  rect = RECT{tl.x, tl.y, br.x, br.y};
}

std::wstring MakeTimeStemAt(TDateTime now) {
  const double ticks = std::trunc((now - 37987.0) * 86400000.0 / 18.0);
  return IntToHex(static_cast<unsigned long long>(static_cast<long long>(ticks)), 10);
}
std::wstring MakeTimeStem() { return MakeTimeStemAt(Now()); }

std::wstring GetSystemFolder() {
  wchar_t buf[256];
  const UINT n = ::GetSystemDirectoryW(buf, 255);
  return WithTrailingBackslash(std::wstring(buf, n < 256 ? n : 0));
}

// ---- Driver tool ----------------------------------------------------------------------------------
std::wstring OsFolderNameFor(bool opened, const std::wstring& productName, const std::wstring& currentVersion,
                             bool bits64) {
  if (!opened) return std::wstring();
  std::wstring major, minor;
  const std::size_t dot = currentVersion.find(L'.');
  if (dot == std::wstring::npos) {
    minor = currentVersion;
  } else {
    major = currentVersion.substr(0, dot);
    minor = currentVersion.substr(dot + 1);
  }
  const bool is2008 = productName.find(L"2008") != std::wstring::npos;
  const bool is2003 = productName.find(L"2003") != std::wstring::npos;
  std::wstring os;
  if (major == L"6") {
    if (minor == L"0") os = is2008 ? L"Win2008" : L"Vista";
    else if (minor == L"1") os = is2008 ? L"Win2008" : L"Win7";
  } else if (major == L"5") {
    if (minor == L"0") os = L"Win2000";
    else if (minor == L"1") os = L"WinXP";
    else if (minor == L"2") os = is2003 ? L"Win2003" : L"WinXP";
  }
  return os + (bits64 ? L"\\64" : L"\\32");
}

namespace {
// A 64-bit build is 64-bit code; a 32-bit one is when it runs under the emulation of 64-bit Windows.
bool Runs64Bit() {
  if (sizeof(void*) == 8) return true;
  using TIsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto fn = reinterpret_cast<TIsWow64>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow = FALSE;
  return fn && fn(::GetCurrentProcess(), &wow) && wow;
}
}  // namespace

std::wstring GetOsFolderName() {
  TObjectPtr<TRegistry> reg(new TRegistry(KEY_READ));
  reg->SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg->OpenKeyReadOnly(L"\\Software\\Microsoft\\Windows NT\\CurrentVersion"))
    return OsFolderNameFor(false, L"", L"", false);
  std::wstring product, version;
  try {
    product = reg->ReadString(L"ProductName");
    version = reg->ReadString(L"CurrentVersion");
  } catch (const ERegistryException&) {
    // a value of another type reads as empty
  }
  return OsFolderNameFor(true, product, version, Runs64Bit());
}

std::wstring DriverToolCommandLine(const std::wstring& folder, const std::wstring& argument) {
  return L"\"" + folder + L"pavlet.dll\" " + argument;
}

std::int32_t RunDriverTool(const std::wstring& argument) {
  const std::wstring folder = ProgramDir + L"Drivers\\" + GetOsFolderName() + L"\\";
  std::wstring cmd = DriverToolCommandLine(folder, argument);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return 0;
  THandleOwner process(pi.hProcess), thread(pi.hThread);
  ::WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.Get(), &code)) code = 0;
  return static_cast<std::int32_t>(code);
}

}  // namespace kivo
