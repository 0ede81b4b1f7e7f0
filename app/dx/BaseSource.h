// BaseClass, source part: the worker thread with its command handshake, the source filter that keeps
// its output pins, and the pushing output pin.
#pragma once

#include "BaseClass.h"

namespace kivo {

class TBCAMEvent {
 public:
  explicit TBCAMEvent(bool manualReset);
  void SetSignal() noexcept { ::SetEvent(EventHandle.Get()); }
  void ResetSignal() noexcept { ::ResetEvent(EventHandle.Get()); }
  bool WaitSignal(DWORD ms) noexcept { return ::WaitForSingleObject(EventHandle.Get(), ms) == WAIT_OBJECT_0; }
  bool CheckSignal() noexcept { return WaitSignal(0); }
  HANDLE Handle() const noexcept { return EventHandle.Get(); }
  bool Valid() const noexcept { return EventHandle.Valid(); }

 private:
  THandleOwner EventHandle;
};

// A worker thread that takes one command at a time from the threads that control it.
class TBCAMThread {
 public:
  using TWork = DWORD (*)(void* data);
  TBCAMThread(TWork work, void* data);
  ~TBCAMThread();  // joins the thread
  TBCAMThread(const TBCAMThread&) = delete;
  TBCAMThread& operator=(const TBCAMThread&) = delete;

  bool StartThread();
  // Hands the command to the worker and waits for its answer; E_FAIL without a thread or when the
  // thread ends without answering.
  HRESULT SendCommand(DWORD code);
  DWORD WaitCommand();
  bool PeekCommand(DWORD& code);
  void AnswerCommand(HRESULT value);
  void JoinThread();
  bool ThreadRunning() const noexcept { return ThreadHandle.load() != nullptr; }

 private:
  static DWORD WINAPI ThreadEntry(void* self);
  TBCAMEvent SendEvent{true};
  TBCAMEvent DoneEvent{false};
  DWORD Command = 0;
  HRESULT ReplyValue = S_OK;
  std::atomic<HANDLE> ThreadHandle{nullptr};
  TBCCritSec AccessLock;
  TWork Work;
  void* WorkData;
};

class TBCSourceStream;

class TBCSource : public TBCBaseFilter {
 public:
  TBCSource(const wchar_t* name, IUnknown* outer, REFCLSID clsid);
  ~TBCSource() override;

  HRESULT AddPin(TBCSourceStream* pin);
  HRESULT RemovePin(TBCSourceStream* pin);
  int PinCount() override;
  TBCBasePin* PinAt(int index) override;
  int PinNumber(const TBCBasePin* pin);
  // A decimal id n finds pin n - 1; any other id is a pin name.
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

 protected:
  std::vector<TBCSourceStream*> SourcePins;  // owned
};

class TBCSourceStream : public TBCBaseOutputPin {
 public:
  enum TCommand : DWORD { CmdInit = 0, CmdPause = 1, CmdRun = 2, CmdStop = 3, CmdExit = 4 };

  // Adds itself to the filter, which owns it from then on; `hr` receives a failure.
  TBCSourceStream(const wchar_t* objectName, HRESULT& hr, TBCSource* filter, const wchar_t* pinName);
  ~TBCSourceStream() override;

  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT Activate() override;
  HRESULT Deactivate() override;

  // Hooks
  virtual HRESULT FillSample(IMediaSample* sample) = 0;  // S_OK: send it; S_FALSE: end of stream
  virtual HRESULT WorkerStarting() { return S_OK; }
  virtual HRESULT WorkerEnding() { return S_OK; }
  virtual HRESULT StreamStarting() { return S_OK; }
  virtual HRESULT OfferedType(AM_MEDIA_TYPE* type) { return E_UNEXPECTED; }
  virtual DWORD WorkerMain();
  virtual HRESULT PushLoop();

 protected:
  // Ends the worker (decommit, Stop, Exit, join). A descendant calls it first in its destructor, so
  // that the worker never runs into a half-destroyed pin.
  void StopWorker();
  TBCSource* SourceFilter;

 private:
  static DWORD WorkerEntry(void* self);
  TBCAMThread Worker;
};

}  // namespace kivo
