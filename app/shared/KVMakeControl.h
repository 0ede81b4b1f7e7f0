// Builds the controls of the program's forms in code: one call names, places, captions and
// parents a new control.
#pragma once

#include "Controls.h"

namespace kivo {

template <class T>
T* MakeControl(TComponent* owner, TWinControl* parent, const wchar_t* name, int x, int y, int w, int h,
               const wchar_t* caption = nullptr) {
  T* c = new T(owner);
  c->SetName(name);
  c->SetBounds(x, y, w, h);
  if (caption) c->SetCaption(caption);
  c->SetParent(parent);
  return c;
}

}  // namespace kivo
