// Dialogs: the message dialog form, and the system's open, save, font and colour dialogs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "StdCtrls.h"

namespace kivo {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : uint8_t { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = uint16_t;  // bit i: button i
constexpr TMsgDlgButtons MsgDlgButton(TMsgDlgBtn b) { return static_cast<TMsgDlgButtons>(1u << b); }
constexpr TMsgDlgButtons mbYesNo = (1u << mbYes) | (1u << mbNo);
constexpr TMsgDlgButtons mbYesNoCancel = mbYesNo | (1u << mbCancel);
constexpr TMsgDlgButtons mbOKCancel = (1u << mbOK) | (1u << mbCancel);
constexpr TMsgDlgButtons mbAbortRetryIgnore = (1u << mbAbort) | (1u << mbRetry) | (1u << mbIgnore);

// The form a message dialog shows: an icon, the message and a row of buttons named after their
// kind ("OK", "Cancel", "Yes", ...).
class TMessageForm : public TForm {
  KIVO_CLASS(TMessageForm, TForm)
  explicit TMessageForm(TComponent* owner);
  TLabel* Message = nullptr;
  // The buttons in their order on the form.
  std::vector<TButton*> Buttons;
};

// Builds (without showing) the dialog MessageDlg shows; the caller frees it.
TMessageForm* CreateMessageDialog(const std::wstring& msg, TMsgDlgType type, TMsgDlgButtons buttons);
// Shows a message dialog modally; answers the modal result of the button pressed.
int MessageDlg(const std::wstring& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);
// A message with an OK button under the application's title.
void ShowMessage(const std::wstring& msg);

// ---- Common dialogs ---------------------------------------------------------------------------
class TCommonDialog : public TComponent {
  KIVO_CLASS(TCommonDialog, TComponent)
  explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
  // Shows the dialog modally; true when the user confirmed it.
  virtual bool Execute() = 0;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  // The window the dialog belongs to: the active form, else the application window.
  static HWND OwnerWindow();
  // Runs a system dialog between OnShow and OnClose: true when confirmed, false when cancelled. A
  // failure of the dialog itself raises EInvalidOperation ("<kind> dialog failed (error ...)").
  bool RunSystemDialog(const std::function<bool()>& run, const std::wstring& kind);
};

enum TOpenOption : uint32_t {
  ofReadOnly = 1u << 0, ofOverwritePrompt = 1u << 1, ofHideReadOnly = 1u << 2, ofNoChangeDir = 1u << 3,
  ofShowHelp = 1u << 4, ofNoValidate = 1u << 5, ofAllowMultiSelect = 1u << 6, ofExtensionDifferent = 1u << 7,
  ofPathMustExist = 1u << 8, ofFileMustExist = 1u << 9, ofCreatePrompt = 1u << 10, ofShareAware = 1u << 11,
  ofNoReadOnlyReturn = 1u << 12, ofNoTestFileCreate = 1u << 13, ofNoNetworkButton = 1u << 14,
  ofNoLongNames = 1u << 15, ofOldStyleDialog = 1u << 16, ofNoDereferenceLinks = 1u << 17,
  ofEnableIncludeNotify = 1u << 18, ofEnableSizing = 1u << 19
};
using TOpenOptions = uint32_t;

// The open dialog. Filter is "Text|*.txt|All|*.*"; with ofAllowMultiSelect Files holds every
// chosen path and FileName the first.
class TOpenDialog : public TCommonDialog {
  KIVO_CLASS(TOpenDialog, TCommonDialog)
  static void Publish(TPublisher<TOpenDialog>& p);
  explicit TOpenDialog(TComponent* owner);
  ~TOpenDialog() override;
  bool Execute() override;

  std::wstring Filter() const { return filter_; }
  void SetFilter(const std::wstring& f) { filter_ = f; }
  int FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(int i) { filterIndex_ = i; }
  std::wstring FileName() const { return fileName_; }
  void SetFileName(const std::wstring& f) { fileName_ = f; }
  TStrings* Files() const { return files_.get(); }
  std::wstring InitialDir() const { return initialDir_; }
  void SetInitialDir(const std::wstring& d) { initialDir_ = d; }
  std::wstring DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::wstring& e) { defaultExt_ = e; }
  std::wstring Title() const { return title_; }
  void SetTitle(const std::wstring& t) { title_ = t; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions o) { options_ = o; }

  // The set-up the system dialog gets (buffers filled; they must outlive ofn).
  struct TSetup {
    OPENFILENAMEW ofn;
    std::wstring filter;  // pairs separated and ended by NULs
    std::vector<wchar_t> file;
    std::wstring initialDir, defaultExt, title;
  };
  void Prepare(TSetup& s) const;
  // Takes the result buffer of a confirmed dialog (one path, or a folder and names for a
  // multiple selection) into FileName, Files and FilterIndex.
  void TakeResult(const TSetup& s);

 protected:
  virtual bool RunDialog(OPENFILENAMEW& ofn);

 private:
  std::wstring filter_, fileName_, initialDir_, defaultExt_, title_;
  int filterIndex_ = 1;
  TOpenOptions options_ = ofHideReadOnly | ofEnableSizing;
  std::unique_ptr<TStringList> files_;
};

class TSaveDialog : public TOpenDialog {
  KIVO_CLASS(TSaveDialog, TOpenDialog)
  using TOpenDialog::TOpenDialog;

 protected:
  bool RunDialog(OPENFILENAMEW& ofn) override;
};

// An open dialog for pictures; its filter is the one given, or else that of every registered
// picture format (GraphicFilter).
class TOpenPictureDialog : public TOpenDialog {
  KIVO_CLASS(TOpenPictureDialog, TOpenDialog)
  explicit TOpenPictureDialog(TComponent* owner, const std::wstring& filter = L"");
};

enum TFontDialogOption : uint32_t { fdAnsiOnly = 1, fdTrueTypeOnly = 2, fdEffects = 4, fdFixedPitchOnly = 8, fdForceFontExist = 0x10,
                                    fdNoFaceSel = 0x20, fdNoSizeSel = 0x40, fdNoStyleSel = 0x80, fdLimitSize = 0x100 };
using TFontDialogOptions = uint32_t;

class TFontDialog : public TCommonDialog {
  KIVO_CLASS(TFontDialog, TCommonDialog)
  explicit TFontDialog(TComponent* owner);
  ~TFontDialog() override;
  bool Execute() override;
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* f) { font_->Assign(f); }
  TFontDialogOptions Options() const { return options_; }
  void SetOptions(TFontDialogOptions o) { options_ = o; }
  int MinFontSize = 0, MaxFontSize = 0;

  struct TSetup {
    CHOOSEFONTW cf;
    LOGFONTW lf;
  };
  void Prepare(TSetup& s) const;
  void TakeResult(const TSetup& s);

 private:
  std::unique_ptr<TFont> font_;
  TFontDialogOptions options_ = fdEffects;
};

enum TColorDialogOption : uint32_t { cdFullOpen = 1, cdPreventFullOpen = 2, cdShowHelp = 4, cdSolidColor = 8, cdAnyColor = 0x10 };
using TColorDialogOptions = uint32_t;

class TColorDialog : public TCommonDialog {
  KIVO_CLASS(TColorDialog, TCommonDialog)
  explicit TColorDialog(TComponent* owner);
  ~TColorDialog() override;
  bool Execute() override;
  TColor Color() const { return color_; }
  void SetColor(TColor c) { color_ = c; }
  // "ColorA=RRGGBB" ... "ColorP=..." (hexadecimal BGR as TColor), kept between runs.
  TStrings* CustomColors() const { return customColors_.get(); }
  TColorDialogOptions Options() const { return options_; }
  void SetOptions(TColorDialogOptions o) { options_ = o; }

  struct TSetup {
    CHOOSECOLORW cc;
    COLORREF custom[16];
  };
  void Prepare(TSetup& s) const;
  void TakeResult(const TSetup& s);

 private:
  TColor color_ = clBlack;
  std::unique_ptr<TStringList> customColors_;
  TColorDialogOptions options_ = 0;
};

}  // namespace kivo
