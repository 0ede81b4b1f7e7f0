#include "KVFAlbumWindow.h"

#include <algorithm>
#include <cwctype>

#include "KVFAlbumSource.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAlbumWindow)

namespace {
bool IsGifPath(const std::wstring& path) {
  const std::size_t dot = path.find_last_of(L'.');
  const std::size_t slash = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return false;
  std::wstring ext = path.substr(dot);
  for (wchar_t& c : ext) c = static_cast<wchar_t>(std::towupper(c));
  return ext == L".GIF";
}

}  // namespace

TAlbumWindow::TAlbumWindow(TComponent* owner) : TSourceWindowAbs(owner) {
  SetName(L"AlbumWindowA");
  SetColor(clBlack);
  imgAlbum = new TPictureShow(this);
  imgAlbum->SetName(L"imgAlbum");
  imgAlbum->SetBounds(0, 0, 320, 240);
  imgAlbum->SetColor(clBlack);
  imgAlbum->SetFrameColor(clBlack);
  imgAlbum->SetParent(this);
  imgAlbum->SetAlign(TAlign::alClient);
  imgAlbum->OnAfterNewFrame = [this](TObject* sender, TBitmap* picture, TBitmap* screen) {
    imgAlbumAfterNewFrame(sender, picture, screen);
  };
  imgAlbum2 = new TImage(this);
  imgAlbum2->SetName(L"imgAlbum2");
  imgAlbum2->SetBounds(0, 0, 320, 240);
  imgAlbum2->SetStretch(true);
  imgAlbum2->SetVisible(false);
  imgAlbum2->SetParent(this);
  for (TControl* c : {static_cast<TControl*>(this), static_cast<TControl*>(imgAlbum), static_cast<TControl*>(imgAlbum2)}) {
    c->OnClick = Method(this, &TAlbumWindow::imgAlbumClick);
    c->OnDblClick = Method(this, &TAlbumWindow::imgAlbumDblClick);
  }
  btnNext->SetVisible(true);
  btnPrev->SetVisible(true);
  capture_ = TComPtr<TImageCapture>(new TImageCapture(imgAlbum2, [this] { return IsCaptureTarget(); }));
  imgAlbum2->Picture()->SetPictureAdapter(capture_.Get());
}

void TAlbumWindow::AfterConstruction() {
  TSourceWindowAbs::AfterConstruction();
  // no paused state: the stop button takes the play button's place
  btnPause->SetVisible(false);
  btnStop->SetBoundsRect(btnPlay->BoundsRect());
  UpdateButtons();
}

void TAlbumWindow::BeforeDestruction() {
  StopSlideTimer();
  // the full-screen form is owned by this window and is its parent: give the window back first
  if (FullScreenForm) {
    SetParent(SavedParent);
    FreeAndNil(FullScreenForm);
  }
  imgAlbum->Stop();
  StopGifAnimation();
  imgAlbum2->Picture()->SetPictureAdapter(nullptr);
  TSourceWindowAbs::BeforeDestruction();
}

TAlbumWindow::~TAlbumWindow() = default;

TAlbumSource* TAlbumWindow::Page() const { return dynamic_cast<TAlbumSource*>(Source); }

void TAlbumWindow::SetFullScreen(bool on) {
  if (on && !FullScreenForm) {
    TForm* form = Create<TForm>(this);
    form->SetColor(clBlack);
    form->SetBorderStyle(TFormBorderStyle::bsNone);
    // The form's window is made at the screen's size: a maximised window whose size is left to a
    // window manager stays at its restored size where there is none (Wine on a bare X display),
    // and the display's answer then shrinks the form back while it still counts as maximised.
    form->SetBounds(0, 0, Screen()->Width(), Screen()->Height());
    form->SetWindowState(TWindowState::wsMaximized);
    FullScreenForm = form;
    form->Show();
    SavedParent = Parent();
    SetParent(form);
  } else if (!on && FullScreenForm) {
    SetParent(SavedParent);
    BringToFront();
    FreeAndNil(FullScreenForm);
  }
  ActivateWindow();
}

void TAlbumWindow::UpdateButtons() {
  const std::int32_t s = State();
  btnPlay->SetVisible(s < kStatePaused);
  btnStop->SetVisible(!btnPlay->Visible());
  btnPause->SetVisible(false);
  btnFullScreen->SetDown(IsFullScreen());
}

bool TAlbumWindow::Play(std::int32_t index, bool automatic) {
  TSourceWindowAbs::Play(index, automatic);  // a start by the user makes the album the capture source
  TAlbumSource* page = Page();
  if (!page) return false;
  const bool chosen = index == kPlayCurrent;
  if (chosen) {
    page->ApplySource(false);
    index = page->List->ItemIndex();
  }
  const std::int32_t count = page->List->Items()->Count();
  if (count == 0) return false;
  if (index < 0) {
    if (!Wrap) return false;
    index = count - 1;
  } else if (index >= count) {
    if (!Wrap) return false;
    index = 0;
  }
  CurrentIndex = index;
  bool shown = false;
  try {
    shown = ShowItem(index);
  } catch (const EInvalidGraphic&) {
    // the list reported the picture when it was added; the running show skips it like a missing
    // file instead of raising a box on every tick
    if (!automatic) throw;
  }
  if (chosen) StartSlideTimer();
  return shown;
}

bool TAlbumWindow::Stop() {
  StopSlideTimer();
  imgAlbum->Stop();
  StopGifAnimation();
  const bool result = TSourceWindowAbs::Stop();
  UpdateButtons();
  return result;
}

bool TAlbumWindow::ShowItem(std::int32_t index) {
  TAlbumSource* page = Page();
  if (!page || index < 0 || index >= page->List->Items()->Count()) return false;
  TAlItem* entry = TAlbumList::Entry(page->List->Items()->Item(index));
  return entry && ShowPicture(entry->Path);
}

void TAlbumWindow::StopGifAnimation() {
  if (auto* gif = dynamic_cast<TGIFImage*>(imgAlbum2->Picture()->Graphic())) gif->SetAnimate(false);
}

void TAlbumWindow::ClearGifPicture() {
  imgAlbum2->SetDesignInfo(888);
  struct TRestore {
    TImage* image;
    ~TRestore() { image->SetDesignInfo(0); }
  } restore{imgAlbum2};
  StopGifAnimation();
  imgAlbum2->Picture()->SetGraphic(nullptr);
  imgAlbum2->Repaint();
}

int TAlbumWindow::NextStyle() {
  const int style = imgAlbum->Style();
  if (StyleCount <= 0) return style;  // no styles listed yet: the page's style stays
  if (StyleMode == kStyleSequential) return style % StyleCount + 1;
  if (StyleMode == kStyleRandom) return Random(StyleCount) + 1;
  return style;
}

bool TAlbumWindow::ShowPicture(const std::wstring& path) {
  if (!FileExists(path)) return false;
  imgAlbum->Stop();
  if (!GIFStatic && IsGifPath(path)) {
    SetColor(clWhite);
    if (Active) imgAlbum2->SetVisible(true);
    imgAlbum->SetVisible(false);
    ClearGifPicture();
    imgAlbum2->Picture()->LoadFromFile(path);  // captured by the picture's change notifier
    // the load was captured before the picture had its place: capture the placed look too (a GIF
    // of one frame reports no later change)
    PlaceGifImage();
    return true;
  }
  SetColor(clBlack);
  if (Active) imgAlbum->SetVisible(true);
  ClearGifPicture();
  imgAlbum2->SetVisible(false);
  imgAlbum->SetStyle(NextStyle());
  imgAlbum->Picture()->LoadFromFile(path);
  imgAlbum->Execute();
  return true;
}

RECT TAlbumWindow::GifImageRect(int clientWidth, int clientHeight, int w, int h, bool stretch, bool proportional,
                                bool center) {
  RECT r{0, 0, w, h};
  if (stretch) {
    r = RECT{0, 0, clientWidth, clientHeight};
    if (proportional && w > 0 && h > 0) {
      FitSize(clientWidth, clientHeight, w, h);
      r = RECT{0, 0, w, h};
    }
  }
  if (center)
    ::OffsetRect(&r, std::max<LONG>(0, (clientWidth - (r.right - r.left)) / 2),
                 std::max<LONG>(0, (clientHeight - (r.bottom - r.top)) / 2));
  return r;
}

void TAlbumWindow::PlaceGifImage() {
  const RECT r = GifImageRect(ClientWidth(), ClientHeight(), imgAlbum2->Picture()->Width(),
                              imgAlbum2->Picture()->Height(), imgAlbum->Stretch(), imgAlbum->Proportional(),
                              imgAlbum->Center());
  imgAlbum2->SetBoundsRect(r);
  capture_->Changed();
}

void TAlbumWindow::StartSlideTimer() {
  SlideTimer = ::SetTimer(Handle(), kSlideTimer, static_cast<UINT>(std::max<std::int32_t>(Interval, 1)), nullptr);
  if (SlideTimer) SlideState = kStatePlaying;
  UpdateButtons();
}

void TAlbumWindow::StopSlideTimer() {
  if (SlideTimer) {
    if (HandleAllocated() && ::KillTimer(HandleIfAllocated(), kSlideTimer)) SlideState = kStateStopped;
    SlideTimer = 0;
  } else {
    SlideState = kStateStopped;
  }
}

void TAlbumWindow::Restart() {
  if (Active) Play(CurrentIndex, true);
}

void TAlbumWindow::imgAlbumClick(TObject*) {
  if (SlideState == kStatePlaying || WaitForDoubleClick()) return;
  POINT p{};
  ::GetCursorPos(&p);
  ::ScreenToClient(Handle(), &p);
  if (p.x > ClientWidth() / 2) btnNextClick(this);
  else btnPrevClick(this);
}

void TAlbumWindow::imgAlbumDblClick(TObject*) { SetFullScreen(!IsFullScreen()); }

void TAlbumWindow::ComposeFrame(TBitmap* screen, const RECT& d, int controlWidth, int controlHeight, TBitmap* frame) {
  const int fw = frame->Width(), fh = frame->Height();
  const HDC dc = frame->Canvas()->Handle();
  ::PatBlt(dc, 0, 0, fw, fh, BLACKNESS);
  if (controlWidth <= 0 || controlHeight <= 0 || !screen || screen->Empty()) return;
  // the control's area maps onto the whole frame
  const int x0 = ::MulDiv(d.left, fw, controlWidth), y0 = ::MulDiv(d.top, fh, controlHeight);
  const int x1 = ::MulDiv(d.right, fw, controlWidth), y1 = ::MulDiv(d.bottom, fh, controlHeight);
  ::SetStretchBltMode(dc, COLORONCOLOR);
  ::StretchBlt(dc, x0, y0, x1 - x0, y1 - y0, screen->Canvas()->Handle(), 0, 0, screen->Width(), screen->Height(),
               SRCCOPY);
  ::GdiFlush();
}

void TAlbumWindow::imgAlbumAfterNewFrame(TObject*, TBitmap*, TBitmap* screen) {
  if (!IsCaptureTarget()) return;
  RECT client{};
  const HWND wnd = imgAlbum->HandleIfAllocated();
  if (!wnd || !::GetClientRect(wnd, &client)) return;
  TBitmap frame(OutputWidth.load(), OutputHeight.load(), TPixelFormat::pf24bit);
  ComposeFrame(screen, imgAlbum->DisplayRect(), client.right, client.bottom, &frame);
  WriteScaledBitmapFrame(OutputFormat, &frame, false);
}

void TAlbumWindow::WndProc(TMessage& m) {
  if (m.Msg == WM_TIMER && m.WParam == kSlideTimer) {
    // the interval runs from the start of each picture, its transition included
    StopSlideTimer();
    Play(CurrentIndex + 1, true);
    StartSlideTimer();
    return;
  }
  TSourceWindowAbs::WndProc(m);
  // a GIF on show keeps its place in the window as the picture control does (full screen and back)
  if (m.Msg == WM_SIZE && imgAlbum2->Visible() && imgAlbum2->Picture()->Graphic()) PlaceGifImage();
}

}  // namespace kivo
