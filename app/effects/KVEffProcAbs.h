// The bases of every image effect: the processor base with its state machine and lock, the
// processor working from one chosen effect file, and the settings-form base.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "Forms.h"
#include "Handles.h"
#include "KVImageProcessor.h"

namespace kivo {

class TImageProcessorAbs;
class TImageProcFormAbs;

// The settings form class of a processor: makes the form that edits it.
using TImageProcFormClass = TImageProcFormAbs* (*)(TImageProcessorAbs* processor);
template <class F>
TImageProcFormAbs* ProcFormClass(TImageProcessorAbs* processor) {
  return Create<F>(processor);
}

// A processor: reference-counted, freed with its last interface reference. States move as
// follows (answers in brackets):
//   Start    disabled: (false); running: (true); stopped, paused: DoStart under the lock, running
//            when it answers true.
//   Pause    running: paused (true); else (false).
//   Resume   paused: running under the lock (true); else (false).
//   Stop     disabled: (false); else DoStop under the lock, stopped when it answers true.
//   Restart  running: Stop, Start; stopped: Start; paused: Resume; (true when enabled).
//   Reload   running: Stop, Start; stopped: nothing; paused: Stop, Start, Pause; (true when enabled).
class TImageProcessorAbs : public TInterfaced<IImageProcessor> {
  KIVO_CLASS(TImageProcessorAbs, TInterfacedObject)
  TImageProcessorAbs();
  ~TImageProcessorAbs() override;

  int STDMETHODCALLTYPE GetName(char* buffer, int length) override;
  HWND STDMETHODCALLTYPE ShowForm(HWND parent) override;
  void STDMETHODCALLTYPE CloseForm() override;
  void STDMETHODCALLTYPE FitForm(HWND parent) override;
  void STDMETHODCALLTYPE NotifyForm() override;
  BOOL STDMETHODCALLTYPE GetEnabled() override;
  void STDMETHODCALLTYPE SetEnabled(BOOL value) override;
  BYTE STDMETHODCALLTYPE GetState() override;
  BOOL STDMETHODCALLTYPE Start() override;
  BOOL STDMETHODCALLTYPE Pause() override;
  BOOL STDMETHODCALLTYPE Resume() override;
  BOOL STDMETHODCALLTYPE Stop() override;
  BOOL STDMETHODCALLTYPE Restart() override;
  BOOL STDMETHODCALLTYPE Reload() override;
  // DoProcess, with nothing let out into the streaming thread (a failure draws nothing).
  BOOL STDMETHODCALLTYPE Process(HDC dc, HBITMAP bitmap, BITMAPINFO* info) final;

  const std::wstring& Name() const { return name_; }
  BYTE State() const { return state_.load(); }
  TImageProcFormAbs* Form() const { return form_; }
  // Re-entrant; guards the state changes and what DoStart replaces.
  TCriticalSection& Lock() { return lock_; }

 protected:
  // Prepares the effect for running; the base answers false.
  virtual bool DoStart() { return false; }
  virtual bool DoStop() { return true; }
  // The frame work of the effect; the base draws nothing.
  virtual bool DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) { return false; }
  // A failure of a start on the GUI thread goes to the application's exception handler.
  void ReportFailure();

  std::wstring name_;
  TImageProcFormClass formClass_ = nullptr;

 private:
  bool StartLocked();
  bool StopLocked();
  std::atomic<BYTE> state_{TProcessorState::psDisabled};
  TCriticalSection lock_;
  TImageProcFormAbs* form_ = nullptr;
};

// A processor that works from one chosen effect file.
class TImageProcessor : public TImageProcessorAbs {
  KIVO_CLASS(TImageProcessor, TImageProcessorAbs)
  std::wstring FileName();
  // A new path (compared case-sensitively) is stored and reloads the effect under the lock; the
  // same path does nothing. An enabled processor that is not running (its start needed a file)
  // is started.
  virtual void SetFileName(const std::wstring& path);

 protected:
  std::wstring fileName_;
};

// The settings form of a processor. LoadSettings runs once the form's components are loaded,
// before its OnCreate.
class TImageProcFormAbs : public TForm {
  KIVO_CLASS(TImageProcFormAbs, TForm)
  explicit TImageProcFormAbs(TImageProcessorAbs* processor);

  // The processor this form edits (not a counted reference).
  TImageProcessorAbs* Processor() const { return processor_; }
  virtual void Notify() {}
  virtual void LoadSettings() {}
  virtual void SaveSettings() {}
  virtual void ApplySettings() { SaveSettings(); }
  virtual void RefreshList() {}

 protected:
  void DoCreate() override;
  // A control of this form placed on parent at its designed bounds.
  template <class T>
  T* Place(const wchar_t* name, TWinControl* parent, int left, int top, int width, int height) {
    T* c = new T(this);
    c->SetName(name);
    c->SetBounds(left, top, width, height);
    c->SetParent(parent);
    return c;
  }
  // The designed font of the effect forms: "宋体", 12 pixels.
  void SetDesignFont();
  TImageProcessorAbs* processor_;
};

}  // namespace kivo
