// The control dispatch: which skinner a control of a skinned window gets. The rules (the skin
// data's DisableTag, its Skin3rd lines, the fixed rules for the library's classes and the table of
// plain Win32 window classes, each with its SkinControls switch) are here; the skinners themselves
// register a creator per kind. A kind without a creator leaves its controls unskinned.
#pragma once

#include <windows.h>

#include <string>

#include "Classes.h"
#include "Controls.h"

namespace kivo {

class TSkinControl;
class TSkinData;
class TSkinnedForm;
class TCanvas;

enum class TSkinnerKind {
  None, Button, BitButton, MenuButton, SpeedButton, CheckBox, RadioButton, ObjImage, Tab, TabBtn, Tab31,
  TabSheet, AdvPage, Edit, ComBox, DateTime, UpDown, TrackBar, Progress, Box, BoxH, GroupBox, MediaPlayer,
  Scrollbar, ScControl, ListView, Sizer, Count
};
const wchar_t* SkinnerKindName(TSkinnerKind kind);

// What a creator is asked to make and attach.
struct TSkinnerRequest {
  TSkinnerKind Kind = TSkinnerKind::None;
  TSkinnedForm* Form = nullptr;
  TSkinData* SkinData = nullptr;
  TCanvas* Canvas = nullptr;
  TControl* Control = nullptr;    // the library control, or nullptr for a plain window
  HWND Handle = nullptr;          // the plain window (or the control's window)
  TComponent* Owner = nullptr;    // owner of the new skinner
  bool Recolor = false;
  int Mode = 0;
  std::wstring GraphicProperty;  // "PngImage" for the png button kinds
};
// Makes the skinner, attaches it (it lists itself with the form) and answers it, or nullptr.
using TSkinnerCreator = TSkinControl* (*)(const TSkinnerRequest& request);
// nullptr unregisters the kind.
void RegisterSkinner(TSkinnerKind kind, TSkinnerCreator creator);
TSkinnerCreator FindSkinnerCreator(TSkinnerKind kind);

// Mode values the dispatch sets.
constexpr int kTabModePlain = 2;        // Tab: a tab control that is no page control
constexpr int kObjImageCheck = 1, kObjImageRadio = 2, kObjImageCxCheck = 3;
constexpr int kAdvPageMode = 4;
constexpr int kComboExtended = 1;       // ComBox: an extended combo control
constexpr int kComboExChild = 2;        // ComBox: the combo inside a "ComboBoxEx32" window
constexpr int kScrollbarSingle = 1;     // Scrollbar: single-bar mode
constexpr int kEditOnHandle = 1;        // Edit: attached to the control's window handle

// What the rules choose for one control or window.
enum TChoiceStep : unsigned {
  kChildrenFirst = 1,      // the control's child controls are dispatched before its own skinner
  kChildrenAfter = 2,      // ... after it
  kOwnedAfter = 4,         // its owned components are dispatched after it (frames, forms)
  kChildWindowsFirst = 8,  // plain windows: its child windows first
  kSetTransparent = 0x10,  // property "Transparent" := "True" before attaching
  kFaceColor = 0x20,       // plain windows: the control behind the handle gets Color := ButtonFace
  kChildrenNoParent = 0x40,  // child controls dispatched with no parent argument
  kGroupChildren = 0x80,   // radio/check group: every child gets the GroupChildKind skinner first
  kScrollChildren = 0x100, // each child: TScrollBar gets ScControl, one needing scroll bars Scrollbar
  kFirstChildWindow = 0x200,  // attach to the window's first child window (GetTopWindow)
};
struct TSkinChoice {
  TSkinnerKind Kind = TSkinnerKind::None;
  int Mode = 0;
  bool Recolor = false;
  std::wstring GraphicProperty;
  unsigned Steps = 0;
  TSkinnerKind GroupChildKind = TSkinnerKind::None;
  int GroupChildMode = 0;
  bool Decided = false;  // a rule (or a Skin3rd line) matched
};

// The Skin3rd line of a class: true when the list has one; kind is the text after its "=".
bool FindSkin3rd(TSkinData* data, const std::wstring& className, std::wstring& kind);
std::wstring Skin3rdKind(TSkinData* data, const std::wstring& className);
// The choice for a library control: its Skin3rd line, else the fixed rules. No side effects.
TSkinChoice ChooseControlSkinner(TSkinData* data, TControl* control);
// The choice for a plain child window, by its window class and styles. No side effects.
TSkinChoice ChooseWindowSkinner(TSkinData* data, HWND wnd);
// A windowed control with WS_HSCROLL or WS_VSCROLL, or a list box or memo.
bool NeedsScrollBars(TControl* control);

// A marker owned by a control skinned after its form: which skinned window it belongs to.
class TSkinSpy : public TComponent {
  KIVO_CLASS(TSkinSpy, TComponent)
  explicit TSkinSpy(TComponent* owner) : TComponent(owner) {}
  TSkinnedForm* Form = nullptr;
};

}  // namespace kivo
