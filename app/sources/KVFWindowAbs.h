// The bases of the four video sources: TSourceWindowAbs (the preview window with its play strip)
// and TSourceAbs (the settings page).
#pragma once

#include <cstdint>

#include "ExtCtrls.h"
#include "Forms.h"
#include "wButton.h"

namespace kivo {

class TSourceAbs;

// Playback state: 0 nothing loaded, 1 stopped, 2 paused, 3 playing.
constexpr std::int32_t kStateNone = 0, kStateStopped = 1, kStatePaused = 2, kStatePlaying = 3;
// Play with the item chosen on the paired page.
constexpr std::int32_t kPlayCurrent = -100;
constexpr UINT_PTR kPlayStripTimer = 901;

class TSourceWindowAbs : public TFrame {
  KIVO_CLASS(TSourceWindowAbs, TFrame)
  explicit TSourceWindowAbs(TComponent* owner);

  TPanel* pnlPlayControl;
  TwButton* btnPlay;
  TwButton* btnStop;
  TwButton* btnNext;
  TwButton* btnPrev;
  TwButton* btnFullScreen;
  TwButton* btnPause;

  std::int32_t SourceIndex = 0;
  TSourceAbs* Source = nullptr;
  bool Active = false;

  virtual void LoadWindow() {}
  virtual std::int32_t State() { return kStateNone; }
  virtual bool IsFullScreen() { return false; }
  virtual void SetFullScreen(bool value) {}
  virtual void UpdateButtons();
  virtual void ActivateWindow();
  virtual void DeactivateWindow();
  // Shows the strip of a playing, active window only while p (screen) is over it and allowed.
  virtual void HoverPlayControls(POINT p, bool& allowed);
  virtual bool Play(std::int32_t index, bool automatic);
  virtual bool Stop() { return false; }
  virtual bool Pause() { return State() != kStatePlaying; }
  virtual bool Resume(bool automatic) { return false; }
  virtual bool PlayOrResume(bool automatic);
  virtual bool Next(bool automatic) { return false; }
  virtual bool Prev(bool automatic) { return false; }
  // Capture is on and this window's source is the capture source (any thread).
  virtual bool IsCaptureTarget();
  // Asks the main window to make this window's source the capture source.
  void MakeCaptureSource();

  void btnPlayClick(TObject* sender);
  void btnStopClick(TObject* sender);
  void btnPauseClick(TObject* sender);
  void btnResumeClick(TObject* sender);
  void btnFullScreenClick(TObject* sender);
  void btnNextClick(TObject* sender);
  void btnPrevClick(TObject* sender);

  void WndProc(TMessage& m) override;
  // The pause button takes the play button's place; the strip shows the state.
  void AfterConstruction() override;
};

class TSourceAbs : public TFrame {
  KIVO_CLASS(TSourceAbs, TFrame)
  explicit TSourceAbs(TComponent* owner);

  TSourceWindowAbs* Window = nullptr;
  bool Active = false;

  virtual void DevicesChanged() {}
  virtual void ApplySource(bool restart) {}
  virtual void LoadSource() { ApplySource(true); }
  virtual void ActivateSource() { Active = true; }
  virtual void DeactivateSource() { Active = false; }
};

}  // namespace kivo
