#include "Threads.h"

#include <process.h>

#include <deque>
#include <memory>

namespace kivo {

KIVO_IMPLEMENT_CLASS(TThread)
KIVO_IMPLEMENT_CLASS(TEvent)

namespace {
const DWORD gMainThreadId = ::GetCurrentThreadId();  // static initialisation runs on the main thread

struct TSyncCall {
  std::function<void()> fn;
  THandleOwner done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::exception_ptr error;
};
struct TSyncQueue {
  TCriticalSection lock;
  std::deque<std::shared_ptr<TSyncCall>> calls;
  THandleOwner signal{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};
TSyncQueue& Queue() {
  static TSyncQueue q;
  return q;
}
}  // namespace

void (*WakeMainThread)() = nullptr;
DWORD MainThreadID() { return gMainThreadId; }

bool CheckSynchronize(DWORD timeoutMs) {
  if (::GetCurrentThreadId() != gMainThreadId) return false;
  auto& q = Queue();
  if (timeoutMs) ::WaitForSingleObject(q.signal.Get(), timeoutMs);
  bool any = false;
  for (;;) {
    std::shared_ptr<TSyncCall> call;
    {
      TLock g(q.lock);
      if (q.calls.empty()) break;
      call = q.calls.front();
      q.calls.pop_front();
    }
    try {
      call->fn();
    } catch (...) {
      call->error = std::current_exception();
    }
    ::SetEvent(call->done.Get());
    any = true;
  }
  return any;
}

void TThread::Synchronize(const std::function<void()>& fn) {
  if (::GetCurrentThreadId() == gMainThreadId) {
    fn();
    return;
  }
  auto call = std::make_shared<TSyncCall>();
  call->fn = fn;
  auto& q = Queue();
  {
    TLock g(q.lock);
    q.calls.push_back(call);
  }
  ::SetEvent(q.signal.Get());
  if (WakeMainThread) WakeMainThread();
  ::WaitForSingleObject(call->done.Get(), INFINITE);
  if (call->error) std::rethrow_exception(call->error);
}

TThread::TThread(bool createSuspended) : suspended_(createSuspended) {
  unsigned id = 0;
  // always created suspended: the object is complete only after the derived constructor
  handle_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id)));
  if (!handle_) throw EThread(L"Thread creation error: " + SysErrorMessage(::GetLastError()));
  id_ = id;
}

void TThread::AfterConstruction() {
  if (!suspended_) Start();
}

void TThread::Start() {
  if (started_ || finished_) return;
  started_ = true;
  suspended_ = false;
  ::ResumeThread(handle_.Get());
}

TThread::~TThread() {
  if (handle_ && !finished_ && ::GetCurrentThreadId() != id_) {
    if (FreeOnTerminate && !started_) {
      // a self-freeing thread freed by its creator before it ran: it must neither run nor free
      // this object again
      abandoned_ = true;
      ::ResumeThread(handle_.Get());
      ::WaitForSingleObject(handle_.Get(), INFINITE);
      return;
    }
    Terminate();
    if (!started_) Start();
    WaitFor();
  }
}

unsigned __stdcall TThread::ThreadProc(void* p) {
  auto* self = static_cast<TThread*>(p);
  if (self->abandoned_) return 0;
  try {
    if (!self->terminated_) self->Execute();
  } catch (const std::exception& e) {
    self->FatalException = ExceptionMessage(e);
  } catch (...) {
    self->FatalException = L"Unknown exception";
  }
  bool freeSelf = self->FreeOnTerminate;
  int rv = self->ReturnValue;
  try {
    self->DoTerminate();
  } catch (...) {
  }
  self->finished_ = true;
  if (freeSelf) {
    // nobody waits for a self-freeing thread: close our own handle with the object
    delete self;
  }
  return static_cast<unsigned>(rv);
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

int TThread::WaitFor() {
  if (::GetCurrentThreadId() == id_) throw EThread(L"Cannot call WaitFor on the thread itself");
  if (FreeOnTerminate) throw EThread(L"Cannot call WaitFor on a thread that frees itself");
  if (!started_) Start();
  HANDLE h = handle_.Get();
  if (::GetCurrentThreadId() == gMainThreadId) {
    HANDLE waits[2] = {h, Queue().signal.Get()};
    for (;;) {
      DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
      if (r == WAIT_OBJECT_0) break;
      CheckSynchronize();
    }
    CheckSynchronize();
  } else {
    ::WaitForSingleObject(h, INFINITE);
  }
  DWORD code = 0;
  ::GetExitCodeThread(h, &code);
  return static_cast<int>(code);
}

TThreadPriority TThread::Priority() const {
  switch (::GetThreadPriority(handle_.Get())) {
    case THREAD_PRIORITY_IDLE: return TThreadPriority::tpIdle;
    case THREAD_PRIORITY_LOWEST: return TThreadPriority::tpLowest;
    case THREAD_PRIORITY_BELOW_NORMAL: return TThreadPriority::tpLower;
    case THREAD_PRIORITY_ABOVE_NORMAL: return TThreadPriority::tpHigher;
    case THREAD_PRIORITY_HIGHEST: return TThreadPriority::tpHighest;
    case THREAD_PRIORITY_TIME_CRITICAL: return TThreadPriority::tpTimeCritical;
    default: return TThreadPriority::tpNormal;
  }
}
void TThread::SetPriority(TThreadPriority p) {
  static const int kValues[] = {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                                THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                THREAD_PRIORITY_TIME_CRITICAL};
  ::SetThreadPriority(handle_.Get(), kValues[static_cast<int>(p)]);
}

TEvent::TEvent(bool manualReset, bool initialState, const wchar_t* name)
    : handle_(::CreateEventW(nullptr, manualReset, initialState, name)) {
  if (!handle_) RaiseLastOSError();
}
TWaitResult TEvent::WaitFor(DWORD timeoutMs) {
  switch (::WaitForSingleObject(handle_.Get(), timeoutMs)) {
    case WAIT_OBJECT_0: return TWaitResult::wrSignaled;
    case WAIT_TIMEOUT: return TWaitResult::wrTimeout;
    case WAIT_ABANDONED: return TWaitResult::wrAbandoned;
    default: return TWaitResult::wrError;
  }
}

}  // namespace kivo
