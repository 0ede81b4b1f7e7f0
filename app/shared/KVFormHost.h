// KVFormHost: forms embedded into windows that are not forms of their own (the effect pane's tab
// sheets), sized to them and shown with all their controls.
#pragma once

#include <windows.h>

#include "Forms.h"

namespace kivo {

// Makes the form a borderless child of host, sized to host's client area, and shows it (with
// every control in it when host is hidden). Host 0 shows the form as an ordinary window.
void EmbedFormInWindow(TCustomForm* form, HWND host);
// The control's bounds become the window's client rectangle.
void FitControlToWindow(TControl* control, HWND window);
// ShowWindow on the control's window and, recursively, on every visible windowed child.
void ShowWindowTree(TWinControl* control);

}  // namespace kivo
