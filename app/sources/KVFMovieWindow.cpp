#include "KVFMovieWindow.h"

#include "KVFMovieSource.h"
#include "KVProcessorList.h"
#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TMovieWindow)

namespace {
// KivoTrans in the DirectShow filter category.
constexpr wchar_t kKivoTransMoniker[] =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}";

void StoreMoniker(TFilter* filter, const wchar_t* displayName) {
  if (TComPtr<IMoniker> moniker = ParseDisplayName(displayName)) filter->BaseFilter()->SetMoniker(moniker.Get());
}
}  // namespace

std::wstring MovieOpenErrorText(HRESULT code) {
  return Format(L"不能播放媒体文件（错误：%8x），请检查文件是否存在。", static_cast<unsigned long>(code));
}

TMovieWindow::TMovieWindow(TComponent* owner) : TCameraWindow(owner, L"MovieWindowA") {
  btnNext->SetVisible(true);
  btnPrev->SetVisible(true);
  VideoTrack = new TDSTrackBar(this);
  VideoTrack->SetName(L"VideoTrack");
  VideoTrack->SetBounds(147, 5, 114, 15);
  VideoTrack->SetParent(pnlPlayControl);
  VideoTrack->SetFilterGraph(Graph);
  VolumeTrack = new TTrackBar(this);
  VolumeTrack->SetName(L"VolumeTrack");
  VolumeTrack->SetBounds(260, 5, 60, 15);
  VolumeTrack->SetMax(10000);
  VolumeTrack->SetFrequency(1000);
  VolumeTrack->SetParent(pnlPlayControl);
  VolumeTrack->OnChange = Method(this, &TMovieWindow::VolumeTrackChange);

  Window->OnClick = Method(this, &TMovieWindow::WindowClick);
  Graph->OnGraphComplete = Method(this, &TMovieWindow::GraphGraphComplete);
  SourceFilter->SetFilterGraph(nullptr);
  StoreMoniker(ConvertFilter, kKivoTransMoniker);
  Trans = new TFilter(this);
  Trans->SetName(L"Trans");
  StoreMoniker(Trans, L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{1643E180-90F5-11CE-97D5-00AA0055595A}");
  Trans->SetFilterGraph(Graph);
}

void TMovieWindow::ShowOpenError(HRESULT code) { ShowErrorBox(MovieOpenErrorText(code)); }

bool TMovieWindow::Play(std::int32_t index, bool automatic) {
  auto* page = dynamic_cast<TMovieSource*>(Source);
  const std::int32_t count = page ? page->lstMovies->Items()->Count() : 0;
  if (count == 0) return false;
  if (index == kPlayCurrent) index = page->lstMovies->ItemIndex();
  if (index < 0) index = count - 1;
  else if (index >= count) index = 0;
  TSourceWindowAbs::Play(index, automatic);  // a start by the user makes this the capture source
  CurrentIndex = index;
  return PlayFile(page->lstMovies->Items()->Strings(index));
}

bool TMovieWindow::PlayFile(const std::wstring& path) {
  Graph->ClearGraph();
  Graph->SetActive(false);
  Graph->SetActive(true);
  for (TFilter* f : {ConvertFilter, Trans}) {
    if (!f->QueryFilter()) {
      const HRESULT hr = BindResult(f);
      Graph->SetActive(false);
      ShowOpenError(hr);
      Abort();
    }
  }
  try {
    Graph->RenderFile(path);
    PrepareBuffers();
  } catch (const EDirectShowException& e) {
    Graph->SetActive(false);
    ShowOpenError(e.ResultCode);
    Abort();
  }
  RunGraph();
  VolumeTrack->SetPosition(Graph->Volume());
  const bool playing = State() == kStatePlaying;
  if (playing) StartImageProcessors();
  UpdateButtons();
  return playing;
}

void TMovieWindow::GraphGraphComplete(TObject*, HRESULT, IBaseFilter*) {
  // the next file's graph replaces the one whose event is being handled: built once that is done
  ::PostMessageW(Handle(), WM_MOVIE_NEXT, 0, 0);
}

void TMovieWindow::WindowClick(TObject*) {
  if (WaitForDoubleClick()) return;
  if (State() == kStatePlaying) Pause();
  else if (State() == kStatePaused) Resume(false);
}

void TMovieWindow::VolumeTrackChange(TObject*) { Graph->SetVolume(VolumeTrack->Position()); }

void TMovieWindow::WndProc(TMessage& m) {
  if (m.Msg == WM_MOVIE_NEXT) {
    // not after a stop in between
    if (State() != kStateNone) Play(CurrentIndex + 1, true);
    return;
  }
  TCameraWindow::WndProc(m);
}

}  // namespace kivo
