// KVProcs, continued: the program folder, the settings record, the main window's globals and private
// messages, and the small helpers every unit of KivoApp uses.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "Controls.h"
#include "IniFiles.h"
#include "KVProcs.h"
#include "Strings.h"

namespace kivo {

// ---- Program folder and settings ----------------------------------------------------------------
// Folder of KivoApp's program file with a trailing backslash; set when KVProcs starts.
extern std::wstring ProgramDir;

// The program-wide settings of section [System]. CaptureActive is the frame writer's flag
// (CaptureSetting.CaptureActive), read without a lock by the streaming threads.
struct TSysConfig {
  bool AutoLogin = false;
  bool AutoStart = false;
  bool AutoPlay = false;
  bool CloseToTray = true;
  bool CloseExit = false;
  std::uint16_t TrayHotKey = 0;
  std::wstring ActiveSource;
  std::atomic<std::int32_t> CaptureSourceIndex{-1};  // not stored; read by the streaming threads
  std::wstring CaptureSource;
  std::wstring VideoFormat;
};
extern TSysConfig SysConfig;
inline bool CaptureActive() { return CaptureSetting.CaptureActive.load(); }

// KVProcs unit start and end (start-up step 2): program folder, output folders, frame writer.
void StartProcsUnit();
void EndProcsUnit();

// The program's ini file: KivoApp's path with the extension ".ini".
TObjectPtr<TIniFile> CreateAppIniFile();
std::wstring AppIniFileName();

// ---- Main window globals and private messages ---------------------------------------------------
extern HWND MainWindowHandle;
extern HWND PreviewWindowHandle;
extern std::wstring MainCaption;
// The play strip the cursor is over (-1: none).
extern HWND HoverWindow;
inline HWND NoHoverWindow() { return reinterpret_cast<HWND>(static_cast<intptr_t>(-1)); }

constexpr UINT WM_DOCK_ATTACH = 0xBD1;         // WParam: docked window; LParam: 0 or a form to skin
constexpr UINT WM_DOCK_DETACH = 0xBD2;         // WParam: docked window
constexpr UINT WM_DOCK_FOLLOW = 0xBD3;         // LParam: WINDOWPOS* of the main window's change
constexpr UINT WM_GET_PREVIEW_RECT = 0x10A1;   // answers const RECT* (screen coordinates)
constexpr UINT WM_GET_VIDEO_WINDOW = 0x10A3;   // answers a TVideoWindow* or 0
constexpr UINT WM_SET_CAPTURE_SOURCE = 0x10A4;  // LParam: source index
constexpr UINT WM_RECORD_STATE = 0x10A5;       // WParam 1 disables, 0 enables; LParam: record button

// Skins a form embedded later into a skinned window; does nothing until the main window's unit
// sets it.
using TSkinFormProc = void (*)(TControl* control);
extern TSkinFormProc SkinFormProc;

// ---- Helpers ------------------------------------------------------------------------------------
// From position (1-based) up to the next ';' or the end, trimmed; position then stands after it.
std::wstring NextListField(const std::wstring& text, int& position);
// Adds every non-empty field of a ';' list.
void SplitList(const std::wstring& text, TStrings* list);
// Name and value around the first '=', both trimmed; without '=' name is the text unchanged.
void SplitNameValue(const std::wstring& text, std::wstring& name, std::wstring& value);
std::wstring WithTrailingBackslash(const std::wstring& folder);

// File dialogs: the chosen file, or '' on Cancel; files (when given) receive every chosen file and
// turn multi-select on.
std::wstring ExecuteOpenDialog(const std::wstring& defaultExt, TStrings* files);
std::wstring ExecuteSaveDialog(const std::wstring& defaultExt, TStrings* files);
std::wstring ExecuteOpenPictureDialog(TStrings* files);
std::wstring ExecuteOpenFileDialog(TStrings* files);

// Runs the thread's messages for up to about 1.4 s and answers whether a double click follows.
bool WaitForDoubleClick();
// Scales width x height to touch the box from inside, keeping its aspect.
void FitSize(std::int32_t boxWidth, std::int32_t boxHeight, std::int32_t& width, std::int32_t& height);
std::int32_t RoundHalfUp(double x);
// The control's client rectangle in screen coordinates.
void GetControlScreenRect(TControl* control, RECT& rect);
// 18 ms ticks since 2004-01-01 local time, as at least 10 upper-case hex digits.
std::wstring MakeTimeStem();
std::wstring MakeTimeStemAt(TDateTime now);
std::wstring GetSystemFolder();

// The driver folder name of the running Windows: "Win7\64" and the like; "" without the key.
std::wstring GetOsFolderName();
// The same from the registry's values: opened (the key could be read), "ProductName",
// "CurrentVersion" and whether the process runs as 64-bit code (natively or under emulation).
std::wstring OsFolderNameFor(bool opened, const std::wstring& productName, const std::wstring& currentVersion,
                             bool bits64);
// Starts Drivers\<os>\pavlet.dll hidden with the argument, waits for it and answers its exit code.
std::int32_t RunDriverTool(const std::wstring& argument);
// The command line RunDriverTool builds for a driver folder: the quoted tool path, a blank, the
// argument.
std::wstring DriverToolCommandLine(const std::wstring& folder, const std::wstring& argument);

}  // namespace kivo
