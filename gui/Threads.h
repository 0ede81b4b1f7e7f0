// Threads and synchronisation objects.
#pragma once

#include <functional>

#include "Classes.h"

namespace kivo {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A thread running Execute. Created suspended or not; the destructor terminates it and waits.
// With FreeOnTerminate the thread frees its own object when Execute returns.
class TThread : public TObject {
  KIVO_CLASS(TThread, TObject)
  explicit TThread(bool createSuspended);
  ~TThread() override;

  // A thread made with createSuspended false starts here: make it with Create<T>(false), or call
  // Start yourself after new.
  void AfterConstruction() override;
  void Start();  // starts a suspended thread
  void Resume() { Start(); }
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits for the end of Execute (running Synchronize calls meanwhile when on the main thread);
  // answers ReturnValue.
  int WaitFor();
  bool Finished() const { return finished_; }
  HANDLE Handle() const { return handle_.Get(); }
  DWORD ThreadID() const { return id_; }
  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority p);
  bool FreeOnTerminate = false;
  int ReturnValue = 0;
  // Message of an exception that ended Execute (empty when none).
  std::wstring FatalException;
  // Runs on the main thread (through Synchronize) after Execute.
  TNotifyEvent OnTerminate;

  // Runs fn on the main thread and waits for it; from the main thread it runs at once.
  static void Synchronize(const std::function<void()>& fn);

 protected:
  virtual void Execute() = 0;
  virtual void DoTerminate();

 private:
  static unsigned __stdcall ThreadProc(void* self);
  THandleOwner handle_;
  DWORD id_ = 0;
  volatile bool terminated_ = false;
  volatile bool finished_ = false;
  bool suspended_;
  bool started_ = false;
  volatile bool abandoned_ = false;  // freed before it ever started: the thread only ends
};

DWORD MainThreadID();
// Runs the pending Synchronize calls; the main thread's message loop calls it. True when any ran.
bool CheckSynchronize(DWORD timeoutMs = 0);
// Called when a Synchronize call is queued, so that the main thread wakes up (the application
// posts itself a message).
extern void (*WakeMainThread)();

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A Win32 event (manual or automatic reset, optionally named).
class TEvent : public TObject {
  KIVO_CLASS(TEvent, TObject)
  TEvent(bool manualReset = true, bool initialState = false, const wchar_t* name = nullptr);
  void SetEvent() { ::SetEvent(handle_.Get()); }
  void ResetEvent() { ::ResetEvent(handle_.Get()); }
  TWaitResult WaitFor(DWORD timeoutMs = INFINITE);
  HANDLE Handle() const { return handle_.Get(); }

 private:
  THandleOwner handle_;
};
using TSimpleEvent = TEvent;

}  // namespace kivo
