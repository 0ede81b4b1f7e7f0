#include "KVFormHost.h"

namespace kivo {

void EmbedFormInWindow(TCustomForm* form, HWND host) {
  if (host) {
    form->SetBorderStyle(TFormBorderStyle::bsNone);
    form->SetParentWindow(host);
    form->HandleNeeded();
    FitControlToWindow(form, host);
    form->SetVisible(true);
    // a hidden host (a tab sheet not shown yet): its child windows are shown one by one, so that
    // they appear with it
    if (!::IsWindowVisible(host)) ShowWindowTree(form);
    return;
  }
  form->Show();
}

void FitControlToWindow(TControl* control, HWND window) {
  RECT r{0, 0, 0, 0};
  ::GetClientRect(window, &r);
  control->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void ShowWindowTree(TWinControl* control) {
  ::ShowWindow(control->Handle(), SW_SHOW);
  for (TControl* c : control->ControlList()) {
    auto* w = dynamic_cast<TWinControl*>(c);
    if (w && w->Visible()) ShowWindowTree(w);
  }
}

}  // namespace kivo
