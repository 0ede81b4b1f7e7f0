// End-to-end fixture: KivoApp.exe as a user runs it.
//
// TKivoAppRun copies the program folder the build makes (every deliverable and KivoApp's own files,
// staged beside the test programs in "program\") into a fresh folder whose name holds a blank, starts
// KivoApp.exe there as a separate process and waits for its main window. Tests then look at it and
// drive it from outside with real messages:
//   - windows are found by class name and text, restricted to KivoApp's process (MainWindow,
//     FindWindowOf, ChildAt for the window at a point of the main window's client area, ChildOf
//     below a window) and read with their messages (ComboItems, EditText, BoxText);
//   - message boxes are waited for until they show (WaitMessageBox) and listed (MessageBoxTexts);
//   - windowless glyph buttons are clicked by mouse messages sent to the window they sit on, at
//     their client coordinates (ClickAt);
//   - the tray icon is driven through its message window (class "TPUtilWindow", text "TwTrayIcon")
//     with the icon's callback message 0x7400 (Tray); a popup menu is worked with key messages
//     sent to its "#32768" window (ChooseMenuItem);
//   - Exit() ends KivoApp through the tray menu's exit item and waits for the process; Kill() ends
//     it from outside;
//   - TKivoAppTest is the test fixture of one run from a fresh folder.
// A TFrameViewer is a separate viewer process of "Kivo Filter Source" that saves the frames it gets.
// Every wait is bounded. Tests using these hold the LOCKs kivoapp, registry and framesection.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Handles.h"
#include "PatternFrame.h"
#include "TestSupport.h"

namespace kivo::test {

constexpr UINT kTrayCallback = 0x7400;

// A fresh program folder: the staged program files copied into a new temporary folder.
class TProgramFolder {
 public:
  TProgramFolder();
  ~TProgramFolder();
  TProgramFolder(const TProgramFolder&) = delete;
  TProgramFolder& operator=(const TProgramFolder&) = delete;
  const std::wstring& Path() const { return path_; }  // with a trailing backslash
  std::wstring File(const std::wstring& name) const { return path_ + name; }
  std::wstring Exe() const { return File(L"KivoApp.exe"); }
  std::wstring IniFile() const { return File(L"KivoApp.ini"); }
  // Copies a file into the folder (creating sub-folders of name).
  bool Put(const std::wstring& source, const std::wstring& name);
  bool Write(const std::wstring& name, const std::string& bytes);
  void Remove(const std::wstring& name);

 private:
  std::wstring path_;
};

// The staged program folder of the build (beside the test programs).
std::wstring StagedProgramDir();

// Top-level windows of a process with a class (and text when given).
std::vector<HWND> WindowsOf(DWORD pid, const std::wstring& cls, const std::optional<std::wstring>& text = {});
HWND FindWindowOf(DWORD pid, const std::wstring& cls, const std::optional<std::wstring>& text = {});
std::wstring ClassOfWindow(HWND w);
std::wstring TextOfWindow(HWND w);
// Waits (bounded) until pred holds; answers whether it did.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs);

// Child windows of top at any depth with a class, and with a text and a parent of a class where
// these are given (empty: any).
std::vector<HWND> ChildrenOf(HWND top, const std::wstring& cls, const std::wstring& text = L"",
                             const std::wstring& parentCls = L"");
HWND ChildOf(HWND top, const std::wstring& cls, const std::wstring& text = L"", const std::wstring& parentCls = L"");
// The texts of a message box and its controls: "<caption>: <text> | <text> | ".
std::wstring BoxText(HWND box);
// A combo box's items and selection, and an edit control's text, asked of the control with its
// messages (another process's control keeps its text to itself).
std::vector<std::wstring> ComboItems(HWND combo);
int ComboIndex(HWND combo);
std::wstring EditText(HWND edit);
// A text for a test's output and for the ASCII paths of the test prefix: ASCII as it is, any other
// character as \uXXXX.
std::string Narrow(const std::wstring& s);

// One run of KivoApp.exe.
class TKivoAppRun {
 public:
  explicit TKivoAppRun(const TProgramFolder& folder);
  ~TKivoAppRun();  // kills the process if it still runs
  TKivoAppRun(const TKivoAppRun&) = delete;
  TKivoAppRun& operator=(const TKivoAppRun&) = delete;

  bool Started() const { return process_.Valid(); }
  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_.Get(); }
  bool Running() const;
  // Waits for the process to end; its exit code, or nothing on time-out.
  std::optional<DWORD> WaitExit(DWORD timeoutMs);
  // The main window "YelkKivo" (class TKVMainForm), waiting up to timeoutMs for it.
  HWND WaitMainWindow(DWORD timeoutMs = 20000);
  HWND MainWindow() const;
  // The deepest child window of the main window at a point of its client area.
  HWND ChildAt(int clientX, int clientY) const;
  // A left click at client coordinates of a window (the window a windowless button sits on).
  static void ClickAt(HWND wnd, int x, int y);
  // A left click at a point of the main window's client area, given to the window there.
  void ClickMainAt(int clientX, int clientY) const;
  // Picks item `index` of a combo box as a user does: the selection, then its notification
  // (posted, since the choice may show a message box).
  static void ChooseItem(HWND combo, int index);
  // The settings dialog, opened by its tool bar button (it runs modally, so the click is posted);
  // nullptr when it did not open.
  HWND OpenSettingsDialog() const;
  // The effect pane, opened by its tool bar button: its colour effect form (TColorProcForm), or
  // nullptr when it did not show.
  HWND OpenColourEffect() const;
  // The tray icon's message window.
  HWND TrayWindow() const;
  // Sends the icon's callback with a mouse message (WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, ...); posted
  // so that a menu it opens does not block the test.
  void Tray(UINT mouseMessage) const;
  // The first visible message box of a class ("#32770": the system's, "TMessageForm": the
  // program's own), waiting up to timeoutMs; nullptr when none showed. A box is found while it is
  // still being built (no text yet, every button), so it is answered only once it is visible.
  HWND WaitMessageBox(const std::wstring& cls, DWORD timeoutMs) const;
  // The texts (BoxText) of every message box of the process, of both classes.
  std::vector<std::wstring> MessageBoxTexts() const;
  // A shown top-level window of the process with a class, waiting up to timeoutMs; nullptr when
  // none showed.
  HWND WaitShown(const std::wstring& cls, DWORD timeoutMs) const;
  // The open popup menu of the process, waiting up to timeoutMs.
  HWND WaitPopupMenu(DWORD timeoutMs = 5000) const { return WaitShown(L"#32768", timeoutMs); }
  // Chooses item `index` (0-based) of the open popup menu of `count` items with the keyboard.
  bool ChooseMenuItem(int index, int count) const;
  // The tray menu's exit item; answers the exit code when the process ended in time.
  std::optional<DWORD> Exit(DWORD timeoutMs = 20000);
  void Kill();

 private:
  THandleOwner process_;
  DWORD pid_ = 0;
  // The main window found at the start, whatever its caption shows by now (a recording adds the
  // elapsed time to it).
  HWND Main() const { return main_ && ::IsWindow(main_) ? main_ : MainWindow(); }
  HWND main_ = nullptr;  // the main window WaitMainWindow found
};

// A test of the running program: KivoApp started from a fresh program folder with Launch; at the end
// (TearDown) no message box may be left open and the program ends through its tray menu.
class TKivoAppTest : public ::testing::Test {
 protected:
  // Starts KivoApp from folder_ and waits until its main window shows.
  void Launch();
  void TearDown() override;

  TProgramFolder folder_;
  std::unique_ptr<TKivoAppRun> app_;
  HWND main_ = nullptr;
};

// A viewer process of "Kivo Filter Source" (kivo_frame_client) that keeps the last frame it got.
class TFrameViewer {
 public:
  TFrameViewer();
  std::string Open() { return child_.Call("open", 30000); }
  long Count();
  // The last frame's pixels (320 x 240 x 3, bottom-up), or empty when none came.
  std::vector<BYTE> Frame();
  // The last frame read as a test picture (PatternFrame.h); not found when no frame came.
  TPatternReading Reading();
  // Waits (bounded) until the last frame equals expected; answers whether it did.
  bool WaitForFrame(const std::vector<BYTE>& expected, DWORD timeoutMs);

 private:
  TChildProcess child_;
  std::wstring file_;
};

// The pixels of a 24-bit .bmp file drawn unscaled at (0, 0) on a white 320 x 240 frame (bottom-up
// BGR rows), read here without the program's picture code.
std::vector<BYTE> IdleFrameFromBmp(const std::wstring& bmpFile);

// Ini values as KivoApp wrote them (empty when missing).
std::wstring IniValue(const std::wstring& file, const std::wstring& section, const std::wstring& key);

}  // namespace kivo::test
