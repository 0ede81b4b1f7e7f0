// The movie source's preview window: plays the page's files one after the other, looping, through
// a graph that already holds KivoTrans, the colour space converter, the sample grabber and the
// video renderer; the frames take the camera window's frame path.
#pragma once

#include <cstdint>
#include <string>

#include "ComCtrls.h"
#include "KVFCameraWindow.h"

namespace kivo {

class TMovieSource;

// The end of a file, handled after the graph's event has been dealt with.
constexpr UINT WM_MOVIE_NEXT = WM_APP + 0x121;

std::wstring MovieOpenErrorText(HRESULT code);

class TMovieWindow : public TCameraWindow {
  KIVO_CLASS(TMovieWindow, TCameraWindow)
  explicit TMovieWindow(TComponent* owner);

  TDSTrackBar* VideoTrack;
  TTrackBar* VolumeTrack;
  TFilter* Trans;

  std::int32_t CurrentIndex = kPlayCurrent;
  bool WrapAround = true;

  bool Play(std::int32_t index, bool automatic) override;
  bool Next(bool automatic) override { return Play(CurrentIndex + 1, automatic); }
  bool Prev(bool automatic) override { return Play(CurrentIndex - 1, automatic); }
  void ShowOpenError(HRESULT code) override;
  bool PlayFile(const std::wstring& path);

  void GraphGraphComplete(TObject* sender, HRESULT result, IBaseFilter* renderer);
  void WindowClick(TObject* sender);
  void VolumeTrackChange(TObject* sender);
  void WndProc(TMessage& m) override;
};

}  // namespace kivo
