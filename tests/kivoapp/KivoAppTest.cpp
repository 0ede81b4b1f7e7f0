// KivoApp.exe end to end: start-up, registration, the idle picture in other processes, the single
// instance, closing to the tray and the tray's exit.
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
