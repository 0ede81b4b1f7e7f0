#include "KVEffColorForm.h"

#include "KVEffColorProc.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TColorProcForm)

TColorProcForm::TColorProcForm(TImageProcessorAbs* processor) : TImageProcFormAbs(processor) {
  SetName(L"ColorProcForm");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBorderIcons(biSystemMenu);
  SetClientWidth(310);
  SetClientHeight(294);
  SetDesignFont();

  chkEnable = Place<TCheckBox>(L"chkEnable", this, 262, 6, 49, 17);
  chkEnable->SetCaption(L"启用");
  chkEnable->OnClick = Method(this, &TColorProcForm::chkEnableClick);
  btnDefault = Place<TButton>(L"btnDefault", this, 160, 5, 96, 18);
  btnDefault->SetCaption(L"恢复默认设置");
  btnDefault->OnClick = Method(this, &TColorProcForm::btnDefaultClick);
  chkInvert = Place<TCheckBox>(L"chkInvert", this, 7, 6, 73, 17);
  chkInvert->SetCaption(L"图像翻转");
  chkInvert->OnClick = Method(this, &TColorProcForm::chkInvertClick);
  chkGray = Place<TCheckBox>(L"chkGray", this, 80, 6, 73, 17);
  chkGray->SetCaption(L"灰度显示");
  chkGray->OnClick = Method(this, &TColorProcForm::chkGrayClick);
  GroupBox1 = Place<TGroupBox>(L"GroupBox1", this, 8, 32, 297, 233);
  GroupBox1->SetCaption(L"色彩调节");

  struct Row {
    TLabel** label;
    const wchar_t* labelName;
    const wchar_t* caption;
    TScrollBar** bar;
    const wchar_t* barName;
  };
  const Row rows[] = {
      {&Label1, L"Label1", L"红", &sRed, L"sRed"},
      {&Label2, L"Label2", L"绿", &sBlue, L"sBlue"},
      {&Label3, L"Label3", L"蓝", &sGreen, L"sGreen"},
      {&Label4, L"Label4", L"对比度", &sContrast, L"sContrast"},
      {&Label5, L"Label5", L"亮度", &sLightness, L"sLightness"},
      {&Label6, L"Label6", L"饱和度", &sSaturation, L"sSaturation"},
  };
  int top = 28;
  for (const Row& r : rows) {
    *r.label = Place<TLabel>(r.labelName, GroupBox1, 10, top + 1, 40, 12);
    (*r.label)->SetCaption(r.caption);
    TScrollBar* bar = Place<TScrollBar>(r.barName, GroupBox1, 56, top, 230, 15);
    bar->SetParams(255, 0, 510);
    bar->SetLargeChange(10);
    bar->SetPageSize(0);
    bar->OnScroll = Method(this, &TColorProcForm::ParamScroll);
    *r.bar = bar;
    top += 34;
  }
}

TColorProcessor* TColorProcForm::Colour() const { return static_cast<TColorProcessor*>(processor_); }

int TColorProcForm::PositionOf(TScrollBar* bar) const { return bar == scrolling_ ? scrollPos_ : bar->Position(); }

void TColorProcForm::PushSettings() {
  TColorProcessor* p = Colour();
  p->RedOffset = PositionOf(sRed) - 255;
  p->GreenOffset = PositionOf(sBlue) - 255;
  p->BlueOffset = PositionOf(sGreen) - 255;
  p->Contrast = PositionOf(sContrast) - 255;
  p->Lightness = PositionOf(sLightness) - 255;
  p->Saturation = PositionOf(sSaturation);
  p->Flip = chkInvert->Checked();
  p->Gray = chkGray->Checked();
}

void TColorProcForm::ParamScroll(TObject* sender, TScrollCode, int& scrollPos) {
  // the bar takes the new position after this event: push the one it leads to
  scrolling_ = dynamic_cast<TScrollBar*>(sender);
  scrollPos_ = scrollPos;
  PushSettings();
  scrolling_ = nullptr;
}

void TColorProcForm::chkInvertClick(TObject*) { PushSettings(); }
void TColorProcForm::chkGrayClick(TObject*) { PushSettings(); }

void TColorProcForm::btnDefaultClick(TObject*) {
  for (TScrollBar* bar : {sRed, sBlue, sGreen, sContrast, sLightness, sSaturation}) bar->SetPosition(255);
  PushSettings();
}

void TColorProcForm::chkEnableClick(TObject*) {
  processor_->SetEnabled(chkEnable->Checked());
  processor_->Restart();
}

}  // namespace kivo
