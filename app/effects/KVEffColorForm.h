// The colour effect's settings form: six scroll bars (red, green, blue, contrast, lightness,
// saturation; 0..510, neutral 255), upside down, gray, and the reset button.
#pragma once

#include "KVEffProcAbs.h"
#include "StdCtrls.h"

namespace kivo {

class TColorProcessor;

class TColorProcForm : public TImageProcFormAbs {
  KIVO_CLASS(TColorProcForm, TImageProcFormAbs)
  explicit TColorProcForm(TImageProcessorAbs* processor);

  TCheckBox* chkEnable;
  TButton* btnDefault;
  TCheckBox* chkInvert;
  TCheckBox* chkGray;
  TGroupBox* GroupBox1;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label4;
  TLabel* Label5;
  TLabel* Label6;
  // The bar named sBlue sits in the green row and sGreen in the blue row; each changes the
  // channel of its row's label.
  TScrollBar* sRed;
  TScrollBar* sBlue;
  TScrollBar* sGreen;
  TScrollBar* sContrast;
  TScrollBar* sLightness;
  TScrollBar* sSaturation;

  // Copies the six positions and both check boxes into the processor.
  void PushSettings();
  void ParamScroll(TObject* sender, TScrollCode code, int& scrollPos);
  void chkInvertClick(TObject* sender);
  void chkGrayClick(TObject* sender);
  void btnDefaultClick(TObject* sender);
  void chkEnableClick(TObject* sender);

 private:
  TColorProcessor* Colour() const;
  // Position of a bar, or the one a scroll of it is leading to.
  int PositionOf(TScrollBar* bar) const;
  TScrollBar* scrolling_ = nullptr;
  int scrollPos_ = 0;
};

}  // namespace kivo
