// The text effect's settings form. Its settings live in the program's ini file, section "文字";
// the caption text can also come from and go to a text file.
#pragma once

#include <string>

#include "Dialogs.h"
#include "ExtCtrls.h"
#include "KVEffProcAbs.h"
#include "StdCtrls.h"

namespace kivo {

class TTextProcessor;

// The caption text as one ini value that reads back exactly: backslash escapes for "\", line
// breaks, tabs and every character the file's code page cannot hold ("\u4F60").
std::wstring EncodeCaptionText(const std::wstring& text);
std::wstring DecodeCaptionText(const std::wstring& value);

class TTextProcForm : public TImageProcFormAbs {
  KIVO_CLASS(TTextProcForm, TImageProcFormAbs)
  explicit TTextProcForm(TImageProcessorAbs* processor);

  // The ini section: the effect's display name.
  static const wchar_t* const Section;

  TPanel* Panel2;
  TLabel* Label1;
  TCheckBox* chkEnable;
  TMemo* Memo;
  TPanel* Panel1;
  TButton* btnLoad;
  TButton* btnSave;
  TButton* btnApply;
  TCheckBox* chkScroll;
  TRadioButton* rbSlowScroll;
  TRadioButton* rbQuickScroll;
  TCheckBox* chkManualLine;
  TButton* btnPrevLine;
  TButton* btnNextLine;
  TGroupBox* GroupBox1;
  TRadioButton* rbBottom;
  TRadioButton* rbTop;
  TRadioButton* rbCenter;
  TRadioButton* rbCustom;
  TEdit* edtTextPos;
  TGroupBox* GroupBox2;
  TButton* btnFont;
  TButton* btnColor;
  TCheckBox* chkTransparent;
  TFontDialog* FontDialog;
  TColorDialog* ColorDialog;
  // The text file last loaded into or saved from the memo.
  std::wstring FileName;

  void LoadSettings() override;
  void SaveSettings() override;
  // With a non-empty memo: the settings into the processor (under its lock), a reload, and the
  // settings into the ini file.
  void ApplySettings() override;

  void FormShow(TObject* sender);
  void chkEnableClick(TObject* sender);
  void btnLoadClick(TObject* sender);
  void btnSaveClick(TObject* sender);
  void btnApplyClick(TObject* sender);
  void chkScrollClick(TObject* sender);
  void rbSlowScrollClick(TObject* sender);
  void rbQuickScrollClick(TObject* sender);
  void chkManualLineClick(TObject* sender);
  void btnPrevLineClick(TObject* sender);
  void btnNextLineClick(TObject* sender);
  void TextPosClick(TObject* sender);
  void btnFontClick(TObject* sender);
  void btnColorClick(TObject* sender);
  void chkTransparentClick(TObject* sender);

 private:
  TTextProcessor* TextProc() const;
};

}  // namespace kivo
