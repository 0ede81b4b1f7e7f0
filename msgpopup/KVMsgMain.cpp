#include "KVMsgMain.h"

#include "KVMsgOverlay.h"
#include "KVMsgProtocol.h"
#include "SysUtils.h"

namespace kivomsg {

using namespace kivo;

KIVO_IMPLEMENT_CLASS(TMonitThread)
KIVO_IMPLEMENT_CLASS(TKVMessageMainForm)

TKVMessageMainForm* KVMessageMainForm = nullptr;

DWORD ParsePid(const std::wstring& arg) {
  if (arg.empty() || arg.size() > 10) return 0;
  unsigned long long v = 0;
  for (wchar_t c : arg) {
    if (c < L'0' || c > L'9') return 0;
    v = v * 10 + static_cast<unsigned>(c - L'0');
  }
  return v > 0xFFFFFFFFull ? 0 : static_cast<DWORD>(v);
}

// ---- TMonitThread -----------------------------------------------------------------------------
TMonitThread::TMonitThread(DWORD pid, HWND target)
    : TThread(false), pid_(pid), target_(target), stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!stop_) throw EOSError(::GetLastError());
}

TMonitThread::~TMonitThread() {
  // the wait has no time limit: wake it before the thread is waited for
  Terminate();
  ::SetEvent(stop_.Get());
  WaitFor();
}

void TMonitThread::Execute() {
  if (pid_ == 0) return;
  THandleOwner process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid_));
  if (process) {
    const HANDLE handles[2] = {process.Get(), stop_.Get()};
    const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 + 1) return;  // KivoMsg itself is ending
  }
  // KivoApp is gone (or was never there): KivoMsg ends with it
  ::PostMessageW(target_, WM_CLOSE, 0, 0);
}

// ---- TKVMessageMainForm -----------------------------------------------------------------------
TKVMessageMainForm::TKVMessageMainForm(TComponent* owner) : TForm(owner) {
  SetName(L"KVMessageMainForm");
  SetCaption(L"KVMessageMainForm");
  SetBounds(192, 114, 300, 287);

  pnlMessage = new TPanel(this);
  pnlMessage->SetName(L"pnlMessage");
  pnlMessage->SetBounds(16, 8, 257, 41);
  pnlMessage->SetParent(this);
  pnlMessage->SetCaption(L"");

  OnCreate = Method(this, &TKVMessageMainForm::FormCreate);
}

TKVMessageMainForm::~TKVMessageMainForm() {
  monitor_.reset();
  FreeMessageForm();
}

void TKVMessageMainForm::FormCreate(TObject*) {
  Application()->ShowMainForm = false;
  // no taskbar button
  HWND app = Application()->Handle();
  ::SetWindowLongPtrW(app, GWL_EXSTYLE, ::GetWindowLongPtrW(app, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  // the windows exist from now on, so that KivoApp finds them while the form stays hidden
  HandleNeeded();
  pnlMessage->HandleNeeded();
  // the title KivoApp looks for comes last: a server found has the panel that carries the text
  SetCaption(kMessageServerTitle);
  monitor_.reset(Create<TMonitThread>(ParsePid(ParamStr(1)), Handle()));
}

void TKVMessageMainForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_SHOW_BUSY_MESSAGE:
      // the text KivoApp has just put into the panel
      ShowMessageForm(reinterpret_cast<HWND>(m.WParam), static_cast<TColor>(m.LParam), pnlMessage->Caption());
      m.Result = 0;
      return;
    case WM_HIDE_BUSY_MESSAGE:
      FreeMessageForm();
      m.Result = 0;
      return;
    default:
      TForm::WndProc(m);
  }
}

}  // namespace kivomsg
