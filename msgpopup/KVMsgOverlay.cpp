#include "KVMsgOverlay.h"

#include <cstdint>
#include <vector>

#include "Pictures.h"
#include "Threads.h"

namespace kivomsg {

using namespace kivo;

KIVO_IMPLEMENT_CLASS(TMessageForm)

namespace {

TMessageForm* gMessageForm = nullptr;
// Overlays whose window went with their host, freed by the next call here (not inside their own
// window's messages).
std::vector<TMessageForm*> gGoneForms;

void FreeGoneForms() {
  std::vector<TMessageForm*> gone;
  gone.swap(gGoneForms);
  for (TMessageForm* f : gone) f->Free();
}

// The spinner, a GIF resource of the program.
void LoadSpinner(TPicture* picture) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC info = ::FindResourceW(module, L"SPINNER", MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!info) throw EOSError(::GetLastError(), L"The spinner picture is missing");
  HGLOBAL data = ::LoadResource(module, info);
  const void* bytes = data ? ::LockResource(data) : nullptr;
  if (!bytes) throw EOSError(::GetLastError(), L"The spinner picture cannot be read");
  TGIFImage gif;
  gif.LoadFromBytes(static_cast<const std::uint8_t*>(bytes), ::SizeofResource(module, info));
  // shown still: its first frame
  gif.SetAnimate(false);
  gif.SetCurrentFrame(0);
  picture->SetGraphic(&gif);
}

}  // namespace

TMessageForm::TMessageForm(TComponent* owner) : TForm(owner) {
  SetName(L"MessageForm");
  SetBorderStyle(TFormBorderStyle::bsNone);
  SetFormStyle(TFormStyle::fsStayOnTop);
  SetPosition(TPosition::poScreenCenter);
  SetClientWidth(318);
  SetClientHeight(261);
  SetTag(99);
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);

  pnlInfo = new TPanel(this);
  pnlInfo->SetName(L"pnlInfo");
  pnlInfo->SetBounds(0, 0, 318, 261);
  pnlInfo->SetParent(this);
  pnlInfo->SetAlign(TAlign::alClient);
  pnlInfo->SetBevelOuter(TBevelCut::bvNone);
  pnlInfo->SetCaption(L"");
  pnlInfo->SetColor(clBlack);

  imgBack = new TImage(this);
  imgBack->SetName(L"imgBack");
  imgBack->SetBounds(0, 0, 318, 261);
  imgBack->SetParent(pnlInfo);
  imgBack->SetAlign(TAlign::alClient);

  lblMessage = new TStaticText(this);
  lblMessage->SetName(L"lblMessage");
  lblMessage->SetBounds(67, 184, 185, 13);
  lblMessage->SetParent(pnlInfo);
  lblMessage->SetAlignment(TAlignment::taCenter);
  lblMessage->SetShowAccelChar(false);
  lblMessage->SetTransparent(true);
  lblMessage->Font()->SetColor(clWhite);
  lblMessage->SetCaption(L"");

  imgProgress = new TImage(this);
  imgProgress->SetName(L"imgProgress");
  imgProgress->SetBounds(102, 32, 115, 115);
  imgProgress->SetParent(pnlInfo);
  imgProgress->SetAutoSize(true);
  LoadSpinner(imgProgress->Picture());
}

void TMessageForm::Prepare(HWND host, TColor color, const std::wstring& text) {
  lblMessage->SetCaption(text);
  pnlInfo->SetColor(color);
  if (host) {
    RECT r{0, 0, 0, 0};
    ::GetClientRect(host, &r);
    // a child of the host before it moves in: a top-level window moved into another program's
    // window keeps its frame behaviour (activation, z-order) there
    SetParentWindow(host);
    HandleNeeded();
    SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    ::SetForegroundWindow(Handle());
  }
  if (::GetCurrentThreadId() == MainThreadID()) Application()->ProcessMessages();
}

void TMessageForm::WndProc(TMessage& m) {
  if (m.Msg == WM_NCDESTROY && !IsDestroying() && !(ControlState() & csDestroyingHandle)) {
    // destroyed from outside: the host went and took the overlay with it
    TForm::WndProc(m);
    windowGone_ = true;
    if (gMessageForm == this) {
      gMessageForm = nullptr;
      gGoneForms.push_back(this);
    }
    return;
  }
  TForm::WndProc(m);
}

TMessageForm* MessageForm() { return gMessageForm; }

void ShowMessageForm(HWND host, TColor color, const std::wstring& text) {
  // a window handle from another program may be stale: without a live host the overlay stands alone
  if (host && !::IsWindow(host)) host = nullptr;
  FreeGoneForms();
  if (!gMessageForm) gMessageForm = Create<TMessageForm>(nullptr);
  gMessageForm->Prepare(host, color, text);
  gMessageForm->Show();
}

void FreeMessageForm() {
  FreeGoneForms();
  if (!gMessageForm) return;
  TMessageForm* form = gMessageForm;
  gMessageForm = nullptr;
  form->Free();
}

}  // namespace kivomsg
