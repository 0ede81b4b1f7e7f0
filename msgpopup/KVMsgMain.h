// KivoMsg's main form: a hidden server window that KivoApp finds by class and title, whose first
// child carries the overlay's text, and the thread that ends KivoMsg with KivoApp.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ExtCtrls.h"
#include "Forms.h"
#include "Handles.h"
#include "Threads.h"

namespace kivomsg {

// KivoApp's process id from a command-line argument: a decimal number, 0 when it is missing or
// not a number.
DWORD ParsePid(const std::wstring& arg);

// Waits for KivoApp's process to end, then closes the main form (posts WM_CLOSE to `target`).
// A process that cannot be opened closes it at once; pid 0 ends the thread without closing.
class TMonitThread : public kivo::TThread {
  KIVO_CLASS(TMonitThread, kivo::TThread)
 public:
  TMonitThread(DWORD pid, HWND target);
  ~TMonitThread() override;

 protected:
  void Execute() override;

 private:
  DWORD pid_;
  HWND target_;
  kivo::THandleOwner stop_;
};

class TKVMessageMainForm : public kivo::TForm {
  KIVO_CLASS(TKVMessageMainForm, kivo::TForm)
 public:
  explicit TKVMessageMainForm(kivo::TComponent* owner);
  ~TKVMessageMainForm() override;

  kivo::TPanel* pnlMessage;

  void WndProc(kivo::TMessage& m) override;

 private:
  void FormCreate(kivo::TObject* sender);
  kivo::TObjectPtr<TMonitThread> monitor_;
};

extern TKVMessageMainForm* KVMessageMainForm;

}  // namespace kivomsg
