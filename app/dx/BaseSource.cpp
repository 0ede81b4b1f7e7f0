#include "BaseSource.h"

#include <cwchar>
#include <new>

namespace kivo {

TBCAMEvent::TBCAMEvent(bool manualReset) : EventHandle(::CreateEventW(nullptr, manualReset, FALSE, nullptr)) {
  if (!EventHandle) throw std::bad_alloc();
}

// ---------------------------------------------------------------------------------------------------

TBCAMThread::TBCAMThread(TWork work, void* data) : Work(work), WorkData(data) {}

TBCAMThread::~TBCAMThread() { JoinThread(); }

DWORD WINAPI TBCAMThread::ThreadEntry(void* self) {
  auto* thread = static_cast<TBCAMThread*>(self);
  HRESULT init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
  DWORD result = 1;
  try {
    result = thread->Work(thread->WorkData);
  } catch (...) {
    result = 1;
  }
  if (SUCCEEDED(init)) ::CoUninitialize();
  return result;
}

bool TBCAMThread::StartThread() {
  TBCAutoLock lock(AccessLock);
  if (ThreadRunning()) return false;
  SendEvent.ResetSignal();
  DoneEvent.ResetSignal();
  HANDLE h = ::CreateThread(nullptr, 0, &ThreadEntry, this, 0, nullptr);
  if (!h) return false;
  ThreadHandle = h;
  return true;
}

HRESULT TBCAMThread::SendCommand(DWORD code) {
  TBCAutoLock lock(AccessLock);
  HANDLE thread = ThreadHandle.load();
  if (!thread) return E_FAIL;
  Command = code;
  SendEvent.SetSignal();
  // A worker that ended without answering would leave the sender waiting for good.
  HANDLE waits[2] = {DoneEvent.Handle(), thread};
  DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (w != WAIT_OBJECT_0) {
    SendEvent.ResetSignal();
    return E_FAIL;
  }
  return ReplyValue;
}

DWORD TBCAMThread::WaitCommand() {
  SendEvent.WaitSignal(INFINITE);
  return Command;
}

bool TBCAMThread::PeekCommand(DWORD& code) {
  if (!SendEvent.CheckSignal()) return false;
  code = Command;
  return true;
}

void TBCAMThread::AnswerCommand(HRESULT value) {
  ReplyValue = value;
  SendEvent.ResetSignal();
  DoneEvent.SetSignal();
}

void TBCAMThread::JoinThread() {
  HANDLE h = ThreadHandle.exchange(nullptr);
  if (h) {
    ::WaitForSingleObject(h, INFINITE);
    ::CloseHandle(h);
  }
}

// ---------------------------------------------------------------------------------------------------

TBCSource::TBCSource(const wchar_t* name, IUnknown* outer, REFCLSID clsid)
    : TBCBaseFilter(name, outer, new TBCCritSec, clsid) {}

TBCSource::~TBCSource() {
  while (!SourcePins.empty()) delete SourcePins.back();  // a pin removes itself
}

HRESULT TBCSource::AddPin(TBCSourceStream* pin) {
  TBCAutoLock lock(StateLock());
  try {
    SourcePins.push_back(pin);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT TBCSource::RemovePin(TBCSourceStream* pin) {
  TBCAutoLock lock(StateLock());
  for (auto it = SourcePins.begin(); it != SourcePins.end(); ++it) {
    if (*it == pin) {
      SourcePins.erase(it);
      return S_OK;
    }
  }
  return S_FALSE;
}

int TBCSource::PinCount() {
  TBCAutoLock lock(StateLock());
  return static_cast<int>(SourcePins.size());
}

TBCBasePin* TBCSource::PinAt(int index) {
  TBCAutoLock lock(StateLock());
  if (index < 0 || index >= static_cast<int>(SourcePins.size())) return nullptr;
  return SourcePins[static_cast<std::size_t>(index)];
}

int TBCSource::PinNumber(const TBCBasePin* pin) {
  TBCAutoLock lock(StateLock());
  for (std::size_t i = 0; i < SourcePins.size(); ++i)
    if (SourcePins[i] == pin) return static_cast<int>(i);
  return -1;
}

HRESULT STDMETHODCALLTYPE TBCSource::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  if (!id) return E_POINTER;
  wchar_t* end = nullptr;
  long n = std::wcstol(id, &end, 10);
  if (end != id && *end == L'\0') {
    TBCBasePin* p = PinAt(static_cast<int>(n - 1));
    if (!p) return VFW_E_NOT_FOUND;
    *pin = static_cast<IPin*>(p);
    p->AddRef();
    return S_OK;
  }
  return TBCBaseFilter::FindPin(id, pin);
}

// ---------------------------------------------------------------------------------------------------

TBCSourceStream::TBCSourceStream(const wchar_t* objectName, HRESULT& hr, TBCSource* filter, const wchar_t* pinName)
    : TBCBaseOutputPin(objectName, filter, &filter->StateLock(), hr, pinName),
      SourceFilter(filter),
      Worker(&WorkerEntry, this) {
  HRESULT added = filter->AddPin(this);
  if (FAILED(added)) hr = added;
}

TBCSourceStream::~TBCSourceStream() {
  StopWorker();
  SourceFilter->RemovePin(this);
}

void TBCSourceStream::StopWorker() {
  if (!Worker.ThreadRunning()) return;
  if (Allocator) Allocator->Decommit();
  Worker.SendCommand(CmdStop);
  Worker.SendCommand(CmdExit);
  Worker.JoinThread();
}

DWORD TBCSourceStream::WorkerEntry(void* self) { return static_cast<TBCSourceStream*>(self)->WorkerMain(); }

HRESULT STDMETHODCALLTYPE TBCSourceStream::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  int n = SourceFilter->PinNumber(this);
  if (n < 0) return VFW_E_NOT_FOUND;
  try {
    return CopyWideString(std::to_wstring(n + 1), id);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT TBCSourceStream::VerifyType(const AM_MEDIA_TYPE& type) {
  TBCAutoLock lock(SourceFilter->StateLock());
  TBCMediaType offered;
  HRESULT hr = OfferedType(&offered.Type);
  if (FAILED(hr)) return hr;
  return TypesEqual(type, offered.Type) ? S_OK : E_FAIL;
}

HRESULT TBCSourceStream::ProposeType(int position, AM_MEDIA_TYPE& type) {
  TBCAutoLock lock(SourceFilter->StateLock());
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return OfferedType(&type);
}

HRESULT TBCSourceStream::Activate() {
  TBCAutoLock lock(SourceFilter->StateLock());
  if (SourceFilter->IsStarted()) return S_FALSE;
  if (!HasPeer()) return S_OK;
  HRESULT hr = TBCBaseOutputPin::Activate();
  if (FAILED(hr)) return hr;
  // A pin that cannot stream gives its buffers back.
  if (!Worker.StartThread()) {
    Allocator->Decommit();
    return E_FAIL;
  }
  hr = Worker.SendCommand(CmdInit);
  if (FAILED(hr)) {
    Worker.JoinThread();
    Allocator->Decommit();
    return hr;
  }
  return Worker.SendCommand(CmdPause);
}

HRESULT TBCSourceStream::Deactivate() {
  TBCAutoLock lock(SourceFilter->StateLock());
  if (!HasPeer()) return S_OK;
  HRESULT hr = TBCBaseOutputPin::Deactivate();
  if (FAILED(hr)) return hr;
  if (!Worker.ThreadRunning()) return S_OK;
  hr = Worker.SendCommand(CmdStop);
  if (FAILED(hr)) return hr;
  hr = Worker.SendCommand(CmdExit);
  if (FAILED(hr)) return hr;
  Worker.JoinThread();
  return S_OK;
}

DWORD TBCSourceStream::WorkerMain() {
  for (;;) {
    DWORD cmd = Worker.WaitCommand();
    if (cmd == CmdInit) break;
    Worker.AnswerCommand(E_UNEXPECTED);
  }
  HRESULT hr = WorkerStarting();
  if (FAILED(hr)) {
    WorkerEnding();
    Worker.AnswerCommand(hr);
    return 1;
  }
  Worker.AnswerCommand(S_OK);
  for (;;) {
    DWORD cmd = Worker.WaitCommand();
    if (cmd == CmdPause || cmd == CmdRun) {
      Worker.AnswerCommand(S_OK);
      PushLoop();
    } else if (cmd == CmdStop) {
      Worker.AnswerCommand(S_OK);
    } else if (cmd == CmdExit) {
      Worker.AnswerCommand(S_OK);
      break;
    } else {
      Worker.AnswerCommand(E_NOTIMPL);
    }
  }
  return FAILED(WorkerEnding()) ? 1 : 0;
}

HRESULT TBCSourceStream::PushLoop() {
  StreamStarting();
  for (;;) {
    DWORD cmd = 0;
    while (!Worker.PeekCommand(cmd)) {
      TComPtr<IMediaSample> sample;
      HRESULT hr = AcquireSample(sample.Put(), nullptr, nullptr, 0);
      if (FAILED(hr) || !sample) {
        ::Sleep(1);
        continue;
      }
      hr = FillSample(sample.Get());
      if (hr == S_OK) {
        hr = SendSample(sample.Get());
        if (hr != S_OK) return S_OK;  // downstream refused: wait for the next command
      } else if (hr == S_FALSE) {
        sample.Reset();
        SendEndOfStream();
        return S_OK;
      } else {
        sample.Reset();
        SendEndOfStream();
        SourceFilter->RaiseGraphEvent(EC_ERRORABORT, hr, 0);
        return hr;
      }
    }
    if (cmd == CmdRun || cmd == CmdPause) {
      Worker.AnswerCommand(S_OK);
    } else if (cmd == CmdStop) {
      return S_FALSE;  // answered by WorkerMain
    } else {
      Worker.AnswerCommand(E_UNEXPECTED);
    }
  }
}

}  // namespace kivo
