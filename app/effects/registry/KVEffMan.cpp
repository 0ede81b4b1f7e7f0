#include "KVEffMan.h"

#include "KVShared.h"
#include "KVProcessorList.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TEffectMan)

HWND EffectPaneHandle = nullptr;

TEffectMan::TEffectMan(TComponent* owner) : TFrame(owner) {
  SetName(L"EffectMan");
  SetColor(clWhite);
  SetBounds(0, 0, 318, 400);
  SysBook = new TPageControl(this);
  SysBook->SetName(L"SysBook");
  SysBook->SetParent(this);
  SysBook->SetAlign(TAlign::alClient);
  SysBook->SetTabPosition(TTabPosition::tpBottom);
  SysBook->SetTabHeight(22);
  SysBook->SetTabWidth(36);
  OnResize = Method(this, &TEffectMan::FormResize);
}

void TEffectMan::BeforeDestruction() {
  CloseForms();
  TFrame::BeforeDestruction();
}

TEffectMan::~TEffectMan() { CloseForms(); }

void TEffectMan::BuildTabs() {
  const std::int32_t n = ImageProcessorCount();
  for (std::int32_t i = 0; i < n; ++i) {
    TComPtr<IImageProcessor> p = GetImageProcessor(i);
    if (!p) continue;
    processors_.push_back(p);
    auto* sheet = new TTabSheet(this);
    char name[256] = {};
    int len = p->GetName(name, sizeof(name));
    sheet->SetCaption(AnsiToWide(std::string_view(name, len > 0 ? static_cast<size_t>(len) : 0), kFileCodePage));
    sheet->SetPageControl(SysBook);
    HWND h = p->ShowForm(sheet->Handle());
    if (h)
      if (TWinControl* form = FindControl(h)) SkinFormProc(form);
  }
  // every embedded form shown once; page 0 stays active
  if (SysBook->PageCount() > 1) {
    SysBook->SetActivePageIndex(1);
    SysBook->SetActivePageIndex(0);
  }
  NotifyForms();
  EffectPaneHandle = Handle();
}

void TEffectMan::NotifyForms() {
  for (auto& p : processors_) p->NotifyForm();
}

void TEffectMan::CloseForms() {
  for (auto& p : processors_) p->CloseForm();
  processors_.clear();
}

void TEffectMan::FormResize(TObject*) {
  for (size_t i = 0; i < processors_.size() && static_cast<int>(i) < SysBook->PageCount(); ++i)
    processors_[i]->FitForm(SysBook->Pages(static_cast<int>(i))->Handle());
}

}  // namespace kivo
