// KivoApp.exe end to end: start-up, registration, the idle picture in other processes, the single
// instance, closing to the tray and the tray's exit.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "GraphSupport.h"
#include "KivoAppFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const wchar_t kKivoSrcKey[] = L"CLSID\\{26D63F58-C75A-403C-B022-9A8EACF0DB68}\\InprocServer32";
const wchar_t kKivoTransKey[] = L"CLSID\\{0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}\\InprocServer32";

// Takes a plug-in's registration away whatever file it names.
void Unregister(const wchar_t* key) {
  std::wstring path;
  if (ReadString(key, nullptr, path)) Regsvr32Unregister(path);
  std::wstring clsidKey(key);
  clsidKey.resize(clsidKey.rfind(L'\\'));
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str());
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(::towlower(c));
  return s;
}

// The processes started by `parent` from a program file of that name.
std::vector<DWORD> ChildProcesses(DWORD parent, const std::wstring& exeName) {
  std::vector<DWORD> found;
  THandleOwner snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap || snap.Get() == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  for (BOOL ok = ::Process32FirstW(snap.Get(), &e); ok; ok = ::Process32NextW(snap.Get(), &e))
    if (e.th32ParentProcessID == parent && Lower(e.szExeFile) == Lower(exeName)) found.push_back(e.th32ProcessID);
  return found;
}

}  // namespace

TEST(KivoApp, StartsInAFreshFolderRegistersItsFiltersAndServesTheIdlePicture) {
  Unregister(kKivoSrcKey);
  Unregister(kKivoTransKey);
  TProgramFolder folder;
  TKivoAppRun app(folder);
  ASSERT_TRUE(app.Started());
  HWND main = app.WaitMainWindow();
  ASSERT_NE(main, nullptr) << "no main window";
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 10000));
  // the web strip holds the machine's web control; its page lies beside the program
  EXPECT_NE(::GetFileAttributesW(folder.File(L"kivoad.htm").c_str()), INVALID_FILE_ATTRIBUTES);
  HWND strip = ChildOf(main, L"TWebBrowser");
  ASSERT_NE(strip, nullptr);
  EXPECT_NE(::GetWindow(strip, GW_CHILD), nullptr) << "no web control in the strip";

  std::wstring src, trans;
  ASSERT_TRUE(ReadString(kKivoSrcKey, nullptr, src));
  ASSERT_TRUE(ReadString(kKivoTransKey, nullptr, trans));
  EXPECT_EQ(Lower(src), Lower(folder.File(L"kivosrc.ax")));
  EXPECT_EQ(Lower(trans), Lower(folder.File(L"kivotrans.ax")));

  const std::vector<BYTE> expected = IdleFrameFromBmp(folder.File(L"default.bmp"));
  ASSERT_EQ(expected.size(), 320u * 240u * 3u);
  TFrameViewer viewer;
  ASSERT_EQ(viewer.Open(), "ok");
  EXPECT_TRUE(viewer.WaitForFrame(expected, 15000)) << "the viewer never got the idle picture";
  EXPECT_EQ(WindowsOf(app.Pid(), L"TKVMainForm").size(), 1u);

  const auto code = app.Exit();
  ASSERT_TRUE(code.has_value()) << "the tray menu's exit did not end KivoApp";
  EXPECT_EQ(*code, 0u);
}

TEST(KivoApp, SecondStartBringsTheFirstBackAndEnds) {
  TProgramFolder folder;
  TKivoAppRun first(folder);
  HWND main = first.WaitMainWindow();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 10000));

  // closing hides to the tray; the process goes on
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(main); }, 10000));
  EXPECT_TRUE(first.Running());

  TKivoAppRun second(folder);
  ASSERT_TRUE(second.Started());
  bool secondWindow = false;
  const auto code = [&]() -> std::optional<DWORD> {
    const double deadline = NowMs() + 30000;
    while (NowMs() < deadline) {
      if (!WindowsOf(second.Pid(), L"TKVMainForm").empty()) secondWindow = true;
      if (auto c = second.WaitExit(20)) return c;
    }
    return std::nullopt;
  }();
  ASSERT_TRUE(code.has_value()) << "the second start did not end";
  EXPECT_FALSE(secondWindow);
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 10000)) << "the first was not restored";
  EXPECT_EQ(WindowsOf(first.Pid(), L"TKVMainForm").size(), 1u);

  // hidden again, the icon's double click shows it
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(main); }, 10000));
  first.Tray(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 10000));
  EXPECT_TRUE(first.Exit().has_value());
}

TEST(KivoApp, TrayExitWritesTheDocumentedDefaultsOfAFreshInstall) {
  TProgramFolder folder;
  folder.Remove(L"KivoApp.ini");
  TKivoAppRun app(folder);
  ASSERT_NE(app.WaitMainWindow(), nullptr);
  // the right click opens the tray menu; its exit item ends the program
  const auto code = app.Exit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  const std::wstring ini = folder.IniFile();
  struct {
    const wchar_t* key;
    const wchar_t* value;
  } expected[] = {{L"AutoLogin", L"0"},   {L"AutoStart", L"0"},     {L"AutoPlay", L"0"},
                  {L"CloseToTray", L"1"}, {L"CloseExit", L"0"},     {L"TrayHotKey", L""},
                  {L"CaptureActive", L"1"}, {L"ActiveSource", L""}, {L"CaptureSource", L""},
                  {L"VideoFormat", L""}};
  for (const auto& e : expected) EXPECT_EQ(IniValue(ini, L"System", e.key), e.value) << e.key;
  wchar_t keys[4096];
  const DWORD n = ::GetPrivateProfileStringW(L"System", nullptr, L"", keys, 4096, ini.c_str());
  EXPECT_GT(n, 0u) << "no [System] section";
}

namespace {
std::string ReadText(const std::wstring& file) {
  TFileOwner f(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr));
  if (!f) return std::string();
  std::string text(65536, '\0');
  DWORD n = 0;
  ::ReadFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  text.resize(n);
  return text;
}
std::wstring ReadWideText(const std::wstring& file) {
  std::string bytes = ReadText(file);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}
struct TChildSearch {
  std::wstring cls, text;
  HWND found;
};
BOOL CALLBACK FindChild(HWND w, LPARAM l) {
  auto* c = reinterpret_cast<TChildSearch*>(l);
  if (ClassOfWindow(w) == c->cls && (c->text.empty() || TextOfWindow(w) == c->text)) {
    c->found = w;
    return FALSE;
  }
  return TRUE;
}
BOOL CALLBACK CloseStubBoxes(HWND w, LPARAM) {
  if (ClassOfWindow(w) == L"#32770" && TextOfWindow(w) == L"tolva") {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (HANDLE p = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
      ::TerminateProcess(p, 0);
      ::CloseHandle(p);
    }
  }
  return TRUE;
}
}  // namespace

TEST(KivoApp, StartsTheUpdateClientWithItsCommandLineAndEndsAtItsDialog) {
  TProgramFolder folder;
  ASSERT_TRUE(folder.Put(HelperPath(L"kivo_update_stub"), L"tolva.exe"));
  ASSERT_TRUE(folder.Write(L"Version.ini", "[Version]\r\nVersion=1.2.3.4\r\n"));
  folder.Remove(L"KivoApp.ini");
  {
    TKivoAppRun app(folder);
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    std::wstring line;
    ASSERT_TRUE(WaitUntil([&] { return !(line = ReadWideText(folder.File(L"tolva.log"))).empty(); }, 10000));
    const std::wstring dir = folder.Path();
    EXPECT_EQ(line, L"\"" + dir + L"tolva.exe\"  -s  -c -onlydownshow -f 1.2.3.4  -t \"\\\"" + dir +
                        L"KivoApp.exe\\\" -b\"\n");
    // the client ends without a dialog: KivoApp goes on
    ::Sleep(2500);
    EXPECT_TRUE(app.Running());
    EXPECT_TRUE(app.Exit().has_value());
  }

  // the client shows a dialog: KivoApp's process ends at once, nothing is saved
  folder.Remove(L"KivoApp.ini");
  folder.Remove(L"tolva.log");
  ASSERT_TRUE(folder.Write(L"tolva-dialog", "1"));
  TKivoAppRun app(folder);
  const auto code = app.WaitExit(15000);
  ::EnumWindows(CloseStubBoxes, 0);
  ASSERT_TRUE(code.has_value()) << "KivoApp did not end at the client's dialog";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(::GetFileAttributesW(folder.IniFile().c_str()), INVALID_FILE_ATTRIBUTES) << "[System] was written";
}

TEST(KivoApp, MainWindowWaitsForTheDriverToolsRemove) {
  std::wstring version;
  ASSERT_TRUE(ReadString(L"Software\\Microsoft\\Windows NT\\CurrentVersion", L"CurrentVersion", version,
                         HKEY_LOCAL_MACHINE));
  ASSERT_EQ(version, L"6.1") << "the prefix is expected to report Windows 7";
  TProgramFolder folder;
  ASSERT_TRUE(folder.Put(HelperPath(L"kivo_driver_stub"), L"Drivers\\Win7\\64\\pavlet.dll"));
  TKivoAppRun app(folder);
  HWND main = app.WaitMainWindow();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 15000));
  // shown only after the tool ended
  EXPECT_EQ(ReadWideText(folder.File(L"Drivers\\Win7\\64\\pavlet.log")), L"start Remove\nend\n");
  EXPECT_TRUE(app.Exit().has_value());
}

namespace {
HWND DialogChild(HWND dlg, const std::wstring& cls, const std::wstring& text) {
  TChildSearch ctx{cls, text, nullptr};
  ::EnumChildWindows(dlg, FindChild, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}
}  // namespace

TEST(KivoApp, SettingsDialogListsTheDeviceFormatAndOnlyApplySaves) {
  TProgramFolder folder;
  folder.Remove(L"KivoApp.ini");
  TKivoAppRun app(folder);
  HWND main = app.WaitMainWindow();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 15000));
  ASSERT_EQ(ClassOfWindow(app.ChildAt(270, 255)), L"TPanel");

  const std::wstring autoStart = L"开机后自动启动Tamro";

  HWND dlg = app.OpenSettingsDialog();
  ASSERT_NE(dlg, nullptr) << "the settings dialog did not open";
  HWND combo = DialogChild(dlg, L"TComboBox", L"");
  ASSERT_NE(combo, nullptr);
  wchar_t item[256] = {};
  ASSERT_GE(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 1);
  ::SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, L"RGB 320 x 240, 24 bits");
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);

  // a change closed with OK is not saved
  ::SendMessageW(DialogChild(dlg, L"TCheckBox", autoStart), BM_CLICK, 0, 0);
  ::PostMessageW(DialogChild(dlg, L"TButton", L"确定"), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dlg) || !::IsWindowVisible(dlg); }, 10000));
  EXPECT_EQ(::GetFileAttributesW(folder.IniFile().c_str()), INVALID_FILE_ATTRIBUTES);

  // Apply saves at once (with the Run value); Cancel afterwards takes nothing back
  dlg = app.OpenSettingsDialog();
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(::SendMessageW(DialogChild(dlg, L"TCheckBox", autoStart), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  ::SendMessageW(DialogChild(dlg, L"TCheckBox", autoStart), BM_CLICK, 0, 0);
  ::SendMessageW(DialogChild(dlg, L"TButton", L"应用"), BM_CLICK, 0, 0);
  EXPECT_EQ(IniValue(folder.IniFile(), L"System", L"AutoStart"), L"1");
  EXPECT_EQ(IniValue(folder.IniFile(), L"System", L"VideoFormat"), L"RGB 320 x 240, 24 bits");
  std::wstring run;
  EXPECT_TRUE(ReadString(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\run", L"KivoApp", run, HKEY_LOCAL_MACHINE));
  EXPECT_EQ(run, L"\"" + folder.Exe() + L"\" ");
  ::SendMessageW(DialogChild(dlg, L"TCheckBox", autoStart), BM_CLICK, 0, 0);
  ::PostMessageW(DialogChild(dlg, L"TButton", L"取消"), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dlg) || !::IsWindowVisible(dlg); }, 10000));
  EXPECT_EQ(IniValue(folder.IniFile(), L"System", L"AutoStart"), L"1");

  // switched off and applied: the Run value goes
  dlg = app.OpenSettingsDialog();
  ASSERT_NE(dlg, nullptr);
  ::SendMessageW(DialogChild(dlg, L"TCheckBox", autoStart), BM_CLICK, 0, 0);
  ::SendMessageW(DialogChild(dlg, L"TButton", L"应用"), BM_CLICK, 0, 0);
  EXPECT_FALSE(ReadString(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\run", L"KivoApp", run, HKEY_LOCAL_MACHINE));
  ::PostMessageW(DialogChild(dlg, L"TButton", L"取消"), BM_CLICK, 0, 0);
  WaitUntil([&] { return !::IsWindow(dlg) || !::IsWindowVisible(dlg); }, 10000);
  EXPECT_TRUE(app.Exit().has_value());
  EXPECT_EQ(IniValue(folder.IniFile(), L"System", L"AutoStart"), L"0");
}

// Every [System] value away from its default (and auto start on, auto play off): the dialog shows
// each one, and the file written at exit holds each one as it was.
TEST(KivoApp, SettingsAwayFromTheirDefaultsSurviveAStartAndAnExit) {
  const std::wstring runKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\run";
  struct {
    const wchar_t* key;
    const wchar_t* value;
  } settings[] = {{L"AutoLogin", L"1"},          {L"AutoStart", L"1"},      {L"AutoPlay", L"0"},
                  {L"CloseToTray", L"0"},        {L"CloseExit", L"1"},      {L"TrayHotKey", L"Ctrl+Alt+K"},
                  {L"CaptureActive", L"0"},      {L"ActiveSource", L"Album"}, {L"CaptureSource", L"Movie"},
                  {L"VideoFormat", L"RGB 320 x 240, 24 bits"}};
  std::string text = "[System]\r\n";
  for (const auto& s : settings) {
    const std::wstring line = std::wstring(s.key) + L"=" + s.value + L"\r\n";
    text += std::string(line.begin(), line.end());
  }
  TProgramFolder folder;
  ASSERT_TRUE(folder.Write(L"KivoApp.ini", text));
  {
    TKivoAppRun app(folder);
    HWND main = app.WaitMainWindow();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) != FALSE; }, 15000));
    HWND dlg = app.OpenSettingsDialog();
    ASSERT_NE(dlg, nullptr) << "the settings dialog did not open";
    struct {
      const wchar_t* cls;
      const wchar_t* text;
      LRESULT check;
    } boxes[] = {{L"TCheckBox", L"开机后自动启动Tamro", BST_CHECKED},
                 {L"TCheckBox", L"启动后自动登录", BST_CHECKED},
                 {L"TCheckBox", L"启动后自动播放", BST_UNCHECKED},
                 {L"TRadioButton", L"退出程序", BST_CHECKED},
                 {L"TRadioButton", L"缩小到系统托盘区，不退出程序", BST_UNCHECKED}};
    for (const auto& b : boxes) {
      HWND box = DialogChild(dlg, b.cls, b.text);
      ASSERT_NE(box, nullptr) << Narrow(b.text);
      EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), b.check) << Narrow(b.text);
    }
    ::PostMessageW(DialogChild(dlg, L"TButton", L"取消"), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dlg) || !::IsWindowVisible(dlg); }, 10000));
    const auto code = app.Exit();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
  }
  for (const auto& s : settings) EXPECT_EQ(IniValue(folder.IniFile(), L"System", s.key), s.value) << Narrow(s.key);
  // auto start on: the exit wrote the Run value
  std::wstring run;
  EXPECT_TRUE(ReadString(runKey.c_str(), L"KivoApp", run, HKEY_LOCAL_MACHINE));
  TRegKeyOwner key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, runKey.c_str(), 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS)
    ::RegDeleteValueW(key.Get(), L"KivoApp");
}

// A second viewer opened after the idle picture was written must not turn the first one black.
TEST(KivoApp, TwoViewersBothSeeTheIdlePicture) {
  TProgramFolder folder;
  TKivoAppRun app(folder);
  ASSERT_NE(app.WaitMainWindow(), nullptr);
  const std::vector<BYTE> expected = IdleFrameFromBmp(folder.File(L"default.bmp"));
  TFrameViewer first;
  ASSERT_EQ(first.Open(), "ok");
  ASSERT_TRUE(first.WaitForFrame(expected, 15000));
  TFrameViewer second;
  ASSERT_EQ(second.Open(), "ok");
  EXPECT_TRUE(second.WaitForFrame(expected, 5000)) << "the second viewer does not see the idle picture";
  ::Sleep(1000);
  EXPECT_TRUE(first.WaitForFrame(expected, 5000)) << "the first viewer lost the idle picture";
  EXPECT_TRUE(app.Exit().has_value());
}

TEST(KivoApp, RunsKivoMsgForItsLife) {
  // KivoApp ending through its tray menu terminates KivoMsg; KivoApp killed from outside leaves
  // KivoMsg to notice and end by itself
  for (bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "KivoApp killed" : "KivoApp exits");
    TProgramFolder folder;  // its name holds a blank
    TKivoAppRun app(folder);
    ASSERT_TRUE(app.Started());
    ASSERT_NE(app.WaitMainWindow(), nullptr) << "no main window";
    std::vector<DWORD> msg;
    ASSERT_TRUE(WaitUntil([&] { return !(msg = ChildProcesses(app.Pid(), L"kivomsg.dll")).empty(); }, 10000))
        << "KivoApp started no KivoMsg";
    ASSERT_EQ(msg.size(), 1u);
    THandleOwner process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, msg[0]));
    ASSERT_TRUE(process.Valid());
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ASSERT_TRUE(::QueryFullProcessImageNameW(process.Get(), 0, image, &size));
    EXPECT_EQ(Lower(image), Lower(folder.File(L"kivomsg.dll")));
    // its server window, found as KivoApp finds it
    EXPECT_TRUE(WaitUntil([&] { return FindWindowOf(msg[0], L"TKVMessageMainForm", L"$KVMessageMainForm$") != nullptr; }, 10000));
    // it watches KivoApp: it does not end by itself while KivoApp runs
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 1000), static_cast<DWORD>(WAIT_TIMEOUT));

    if (killed) {
      app.Kill();
    } else {
      const auto code = app.Exit();
      ASSERT_TRUE(code.has_value()) << "the tray menu's exit did not end KivoApp";
    }
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 15000), static_cast<DWORD>(WAIT_OBJECT_0)) << "KivoMsg outlived KivoApp";
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    EXPECT_EQ(code, 0u);
  }
}
