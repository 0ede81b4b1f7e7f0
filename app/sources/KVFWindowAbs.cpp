#include "KVFWindowAbs.h"

#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSourceWindowAbs)
KIVO_IMPLEMENT_CLASS(TSourceAbs)

namespace {
constexpr TColor kStripColor = 2829099;  // 0x2B2B2B
constexpr intptr_t kSkinDisableTag = 99;

TwButton* StripButton(TSourceWindowAbs* owner, TPanel* strip, const wchar_t* name, int x, int width) {
  auto* b = new TwButton(owner);
  b->SetName(name);
  b->SetTag(kSkinDisableTag);
  b->SetTransparent(true);
  b->SetBorderStyle(TwBorderStyle::bsNone);
  b->SetBounds(x, 1, width, 24);
  b->SetParent(strip);
  return b;
}
}  // namespace

TSourceWindowAbs::TSourceWindowAbs(TComponent* owner) : TFrame(owner) {
  SetBounds(0, 0, 320, 240);
  SetColor(clBlack);
  pnlPlayControl = new TPanel(this);
  pnlPlayControl->SetName(L"pnlPlayControl");
  pnlPlayControl->SetBounds(0, 240 - 26, 320, 26);
  pnlPlayControl->SetAnchors(akLeft | akTop | akRight);
  pnlPlayControl->SetBevelOuter(TBevelCut::bvNone);
  pnlPlayControl->SetColor(kStripColor);
  pnlPlayControl->SetTag(kSkinDisableTag);
  pnlPlayControl->SetVisible(false);
  pnlPlayControl->SetParent(this);
  btnPlay = StripButton(this, pnlPlayControl, L"btnPlay", 1, 24);
  btnStop = StripButton(this, pnlPlayControl, L"btnStop", 27, 24);
  btnNext = StripButton(this, pnlPlayControl, L"btnNext", 53, 32);
  btnNext->SetVisible(false);
  btnPrev = StripButton(this, pnlPlayControl, L"btnPrev", 87, 32);
  btnPrev->SetVisible(false);
  btnFullScreen = StripButton(this, pnlPlayControl, L"btnFullScreen", 121, 24);
  btnFullScreen->SetGroupIndex(100);
  btnPause = StripButton(this, pnlPlayControl, L"btnPause", 210, 24);
  btnPause->SetVisible(false);
  for (TwButton* b : {btnPlay, btnStop, btnNext, btnPrev, btnFullScreen, btnPause}) {
    b->SetColor(kStripColor);
    b->SetColorFocused(kStripColor);
  }
  btnPlay->OnClick = Method(this, &TSourceWindowAbs::btnPlayClick);
  btnStop->OnClick = Method(this, &TSourceWindowAbs::btnStopClick);
  btnPause->OnClick = Method(this, &TSourceWindowAbs::btnPauseClick);
  btnFullScreen->OnClick = Method(this, &TSourceWindowAbs::btnFullScreenClick);
  btnNext->OnClick = Method(this, &TSourceWindowAbs::btnNextClick);
  btnPrev->OnClick = Method(this, &TSourceWindowAbs::btnPrevClick);
}

void TSourceWindowAbs::AfterConstruction() {
  TFrame::AfterConstruction();
  // the pause button shares the play button's place; the two show alternately
  btnPause->SetBoundsRect(btnPlay->BoundsRect());
  UpdateButtons();
}

void TSourceWindowAbs::UpdateButtons() {
  const std::int32_t s = State();
  btnPlay->SetVisible(s == kStateNone || s == kStateStopped || s == kStatePaused);
  btnPause->SetVisible(s == kStatePlaying);
  btnFullScreen->SetDown(IsFullScreen());
}

void TSourceWindowAbs::ActivateWindow() {
  Active = true;
  ::SetTimer(Handle(), kPlayStripTimer, 500, nullptr);
}

void TSourceWindowAbs::DeactivateWindow() {
  Active = false;
  if (HandleAllocated()) ::KillTimer(HandleIfAllocated(), kPlayStripTimer);
}

void TSourceWindowAbs::HoverPlayControls(POINT p, bool& allowed) {
  if (State() != kStatePlaying) {
    pnlPlayControl->SetVisible(true);
    pnlPlayControl->BringToFront();
    return;
  }
  if (!Active) {
    pnlPlayControl->SetVisible(false);
    return;
  }
  RECT r;
  GetControlScreenRect(pnlPlayControl, r);
  const bool show = allowed && ::PtInRect(&r, p);
  pnlPlayControl->SetVisible(show);
  if (show) {
    pnlPlayControl->BringToFront();
    allowed = false;
    HoverWindow = pnlPlayControl->Handle();
  }
}

bool TSourceWindowAbs::Play(std::int32_t, bool automatic) {
  if (!automatic) MakeCaptureSource();
  return false;
}

bool TSourceWindowAbs::PlayOrResume(bool automatic) {
  const std::int32_t s = State();
  if (s == kStatePaused) return Resume(automatic);
  if (s == kStateNone || s == kStateStopped || s == kStatePlaying) return Play(kPlayCurrent, automatic);
  return false;
}

bool TSourceWindowAbs::IsCaptureTarget() {
  return CaptureActive() && SysConfig.CaptureSourceIndex.load() == SourceIndex;
}

void TSourceWindowAbs::MakeCaptureSource() {
  if (SysConfig.CaptureSourceIndex.load() != SourceIndex)
    ::SendMessageW(MainWindowHandle, WM_SET_CAPTURE_SOURCE, 0, static_cast<LPARAM>(SourceIndex));
}

void TSourceWindowAbs::btnPlayClick(TObject*) { PlayOrResume(false); }
void TSourceWindowAbs::btnStopClick(TObject*) { Stop(); }
void TSourceWindowAbs::btnPauseClick(TObject*) { Pause(); }
void TSourceWindowAbs::btnResumeClick(TObject*) { Resume(false); }
void TSourceWindowAbs::btnFullScreenClick(TObject*) { SetFullScreen(btnFullScreen->Down()); }
void TSourceWindowAbs::btnNextClick(TObject*) { Next(false); }
void TSourceWindowAbs::btnPrevClick(TObject*) { Prev(false); }

void TSourceWindowAbs::WndProc(TMessage& m) {
  if (m.Msg == WM_SIZE) {
    TFrame::WndProc(m);
    const int h = pnlPlayControl->Height();
    pnlPlayControl->SetBounds(0, Height() - h, Width(), h);
    return;
  }
  if (m.Msg == WM_TIMER) {
    TFrame::WndProc(m);
    if (m.WParam == kPlayStripTimer) UpdateButtons();
    return;
  }
  TFrame::WndProc(m);
}

TSourceAbs::TSourceAbs(TComponent* owner) : TFrame(owner) {
  SetBounds(0, 0, 320, 240);
  SetAutoScroll(false);
}

}  // namespace kivo
