// KVEffMan: the effect pane. One tab sheet per registered processor (tabs at the bottom), each
// holding the processor's settings form.
#pragma once

#include <windows.h>

#include <vector>

#include "ComCtrls.h"
#include "Forms.h"
#include "KVImageProcessor.h"

namespace kivo {

// The pane's window once its tabs are built.
extern HWND EffectPaneHandle;

class TEffectMan : public TFrame {
  KIVO_CLASS(TEffectMan, TFrame)
  explicit TEffectMan(TComponent* owner);
  ~TEffectMan() override;
  void BeforeDestruction() override;

  TPageControl* SysBook;
  // The processors that got a tab, in tab order.
  const std::vector<TComPtr<IImageProcessor>>& Processors() const { return processors_; }

  // Once, after start-up: a sheet per registered processor with its form embedded and skinned.
  void BuildTabs();
  void NotifyForms();
  // CloseForm on every processor; the pane lets go of them.
  void CloseForms();
  void FormResize(TObject* sender);

 private:
  std::vector<TComPtr<IImageProcessor>> processors_;
};

}  // namespace kivo
