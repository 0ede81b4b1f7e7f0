// KVSysConfig: section [System] of the program's ini file, the output formats of the virtual camera
// device and the settings dialog.
#pragma once

#include <string>

#include "ComCtrls.h"
#include "DSUtil.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Strings.h"

namespace kivo {

// {26D63F58-C75A-403C-B022-9A8EACF0DB68}: KivoSrc's class.
inline constexpr CLSID kCLSID_KivoFilterSource = {0x26d63f58, 0xc75a, 0x403c, {0xb0, 0x22, 0x9a, 0x8e, 0xac, 0xf0, 0xdb, 0x68}};

void LoadSystemSettings();
// Writes [System], then sets or removes the Run value (SetAutoRun with AutoStart).
void SaveSystemSettings();

// Line i describes output format i of the virtual camera device; its object is a TMediaType copy.
TStringList* FormatList();
void BuildFormatList();
void ClearFormatList();
// "RGB 320 x 240, 24 bits" for a VideoInfo format, else "".
std::wstring FormatDescription(const TMediaType* mediaType);

// Unit start and end (start-up step 4).
void StartSysConfigUnit();
void EndSysConfigUnit();

class TKVSysConfigForm : public TForm {
  KIVO_CLASS(TKVSysConfigForm, TForm)
  explicit TKVSysConfigForm(TComponent* owner);

  TPanel* pnlMain;
  TPageControl* SysBook;
  TTabSheet* tsBasic;
  TGroupBox* grpFormat;
  TLabel* lblFormat;
  TComboBox* cmbFormats;
  TGroupBox* grpStart;
  TCheckBox* chkAutoStart;
  TCheckBox* chkAutoLogin;
  TCheckBox* chkAutoPlay;
  TGroupBox* grpExit;
  TRadioButton* rbCloseExit;
  TRadioButton* rbCloseToTray;
  TButton* btnOK;
  TButton* btnCancel;
  TButton* btnApply;

  void FormCreate(TObject* sender);
  void LoadControls();
  void StoreControls();
  void btnApplyClick(TObject* sender);
};

// Shows the settings dialog modally on page pageIndex and frees it.
void ShowSysConfig(int pageIndex);
// The dialog while ShowSysConfig runs it (nullptr otherwise).
TKVSysConfigForm* ShownSysConfigForm();

}  // namespace kivo
