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
