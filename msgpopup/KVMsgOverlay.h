// The busy overlay: a dark panel with the spinner and one line of text, laid over a window of
// another program (or shown on its own) while that program cannot paint.
#pragma once

#include <windows.h>

#include <string>

#include "ExtCtrls.h"
#include "ExtImage.h"
#include "Forms.h"
#include "StdCtrls.h"

namespace kivomsg {

class TMessageForm : public kivo::TForm {
  KIVO_CLASS(TMessageForm, kivo::TForm)
 public:
  explicit TMessageForm(kivo::TComponent* owner);

  kivo::TPanel* pnlInfo;
  kivo::TImage* imgBack;
  kivo::TStaticText* lblMessage;
  kivo::TImage* imgProgress;

  // Sets the text and the panel's colour; with a host the overlay becomes a child of the host
  // covering its client area. Paints before it returns when called on the main thread.
  void Prepare(HWND host, kivo::TColor color, const std::wstring& text);
  // True once the window went with its host (destroyed from outside).
  bool WindowGone() const { return windowGone_; }

  void WndProc(kivo::TMessage& m) override;

 private:
  bool windowGone_ = false;
};

// The overlay shown now, or nullptr.
TMessageForm* MessageForm();
// Shows the overlay (made once, reused while it lives) with new contents and host.
void ShowMessageForm(HWND host, kivo::TColor color, const std::wstring& text);
// Frees the overlay when there is one.
void FreeMessageForm();

}  // namespace kivomsg
