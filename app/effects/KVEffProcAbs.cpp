#include "KVEffProcAbs.h"

#include <cstring>
#include <string>

#include "KVFormHost.h"
#include "SysUtils.h"
#include "Threads.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TImageProcessorAbs)
KIVO_IMPLEMENT_CLASS(TImageProcessor)
KIVO_IMPLEMENT_CLASS(TImageProcFormAbs)

TImageProcessorAbs::TImageProcessorAbs() = default;

TImageProcessorAbs::~TImageProcessorAbs() {
  // the pane closes the forms before the processors go; a form left over must not outlive them
  if (form_) {
    TImageProcFormAbs* f = form_;
    form_ = nullptr;
    f->Free();
  }
}

int TImageProcessorAbs::GetName(char* buffer, int length) {
  if (!buffer || length <= 0) return 0;
  std::string name = WideToAnsi(name_, kFileCodePage);
  // shortened to the buffer, never in the middle of a double-byte character
  size_t n = 0;
  while (n < name.size()) {
    size_t step = ::IsDBCSLeadByteEx(kFileCodePage, static_cast<BYTE>(name[n])) && n + 1 < name.size() ? 2 : 1;
    if (n + step > static_cast<size_t>(length - 1)) break;
    n += step;
  }
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

HWND TImageProcessorAbs::ShowForm(HWND parent) {
  try {
    if (!form_) {
      if (!formClass_) return nullptr;
      form_ = formClass_(this);
    }
    EmbedFormInWindow(form_, parent);
    form_->RefreshList();
    return form_->Handle();
  } catch (...) {
    ReportFailure();
    return form_ && form_->HandleAllocated() ? form_->HandleIfAllocated() : nullptr;
  }
}

void TImageProcessorAbs::CloseForm() {
  TLock l(lock_);
  if (!form_) return;
  TImageProcFormAbs* f = form_;
  form_ = nullptr;
  f->Free();
}

void TImageProcessorAbs::FitForm(HWND parent) {
  if (form_) FitControlToWindow(form_, parent);
}

void TImageProcessorAbs::NotifyForm() {
  if (!form_) return;
  try {
    form_->Notify();
  } catch (...) {
    ReportFailure();
  }
}

BOOL TImageProcessorAbs::GetEnabled() { return state_.load() != TProcessorState::psDisabled; }
BYTE TImageProcessorAbs::GetState() { return state_.load(); }

void TImageProcessorAbs::SetEnabled(BOOL value) {
  // under the lock, so that a start meeting it cannot leave a disabled processor running
  TLock l(lock_);
  if ((value != FALSE) == (GetEnabled() != FALSE)) return;
  if (value) {
    state_ = TProcessorState::psStopped;
  } else {
    StopLocked();
    state_ = TProcessorState::psDisabled;
  }
}

bool TImageProcessorAbs::StartLocked() {
  BYTE s = state_.load();
  if (s == TProcessorState::psDisabled) return false;
  if (s == TProcessorState::psRunning) return true;
  TLock l(lock_);
  s = state_.load();
  if (s == TProcessorState::psDisabled) return false;
  if (s == TProcessorState::psRunning) return true;
  if (!DoStart()) return false;
  state_ = TProcessorState::psRunning;
  return true;
}

bool TImageProcessorAbs::StopLocked() {
  if (state_.load() == TProcessorState::psDisabled) return false;
  TLock l(lock_);
  if (state_.load() == TProcessorState::psDisabled) return false;
  if (!DoStop()) return false;
  state_ = TProcessorState::psStopped;
  return true;
}

BOOL TImageProcessorAbs::Start() {
  try {
    return StartLocked();
  } catch (...) {
    ReportFailure();
    return FALSE;
  }
}

BOOL TImageProcessorAbs::Pause() {
  BYTE expected = TProcessorState::psRunning;
  return state_.compare_exchange_strong(expected, TProcessorState::psPaused);
}

BOOL TImageProcessorAbs::Resume() {
  if (state_.load() != TProcessorState::psPaused) return FALSE;
  TLock l(lock_);
  BYTE expected = TProcessorState::psPaused;
  return state_.compare_exchange_strong(expected, TProcessorState::psRunning);
}

BOOL TImageProcessorAbs::Stop() {
  try {
    return StopLocked();
  } catch (...) {
    ReportFailure();
    return FALSE;
  }
}

BOOL TImageProcessorAbs::Restart() {
  TLock l(lock_);
  switch (state_.load()) {
    case TProcessorState::psRunning:
      Stop();
      Start();
      return TRUE;
    case TProcessorState::psStopped:
      Start();
      return TRUE;
    case TProcessorState::psPaused:
      Resume();
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL TImageProcessorAbs::Reload() {
  TLock l(lock_);
  switch (state_.load()) {
    case TProcessorState::psRunning:
      Stop();
      Start();
      return TRUE;
    case TProcessorState::psStopped:
      return TRUE;
    case TProcessorState::psPaused:
      Stop();
      Start();
      Pause();
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL TImageProcessorAbs::Process(HDC dc, HBITMAP bitmap, BITMAPINFO* info) {
  if (!dc || !bitmap || !info) return FALSE;
  try {
    return DoProcess(dc, bitmap, info) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

void TImageProcessorAbs::ReportFailure() {
  // only the GUI thread may show the message; elsewhere the answer false is the report
  if (::GetCurrentThreadId() != MainThreadID()) return;
  try {
    Application()->HandleException(this);
  } catch (...) {
  }
}

std::wstring TImageProcessor::FileName() {
  TLock l(Lock());
  return fileName_;
}

void TImageProcessor::SetFileName(const std::wstring& path) {
  TLock l(Lock());
  if (path == fileName_) return;
  fileName_ = path;
  if (State() == TProcessorState::psStopped)
    Start();
  else
    Reload();
}

TImageProcFormAbs::TImageProcFormAbs(TImageProcessorAbs* processor) : TForm(nullptr), processor_(processor) {}

void TImageProcFormAbs::SetDesignFont() {
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);
  Font()->SetCharset(ANSI_CHARSET);
}

void TImageProcFormAbs::DoCreate() {
  LoadSettings();
  TForm::DoCreate();
}

}  // namespace kivo
