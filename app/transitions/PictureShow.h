// The picture-show control: shows one picture and changes to the next through one of the 176
// transition styles, stepped by a timer thread of its own, by a message-pumping loop on the
// calling thread, or by the caller (Manual).
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "Controls.h"
#include "PSEffect.h"
#include "Pictures.h"
#include "Strings.h"

namespace kivo {

enum class TBackgroundMode : std::uint8_t { bmNone, bmTiled, bmStretched, bmCentered };
// Picture is the new picture; Screen the frame on show (the starting content in OnStart).
using TCustomDrawEvent = std::function<void(TObject* sender, TBitmap* picture, TBitmap* screen)>;

// Posted by a threaded transition to the control's window.
constexpr UINT WM_PICTURESHOW_FINISH = WM_USER + 1;    // WParam: the transition's serial number
constexpr UINT WM_PICTURESHOW_PROGRESS = WM_USER + 2;  // WParam: the progress; LParam: the serial

constexpr TColor clActiveBorder = MakeSysColor(COLOR_ACTIVEBORDER);

// Design-time information; nothing at run time.
class TAbout : public TPersistent {
  KIVO_CLASS(TAbout, TPersistent)
};

class TCustomPictureShow : public TCustomControl {
  KIVO_CLASS(TCustomPictureShow, TCustomControl)
  explicit TCustomPictureShow(TComponent* owner);
  ~TCustomPictureShow() override;
  void BeforeDestruction() override;

  TAbout* About() const { return about_.get(); }
  void SetAbout(TAbout*) {}
  // Assigning copies the picture.
  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* p) { picture_->Assign(p); }
  TPicture* BgPicture() const { return bgPicture_.get(); }
  void SetBgPicture(TPicture* p) { bgPicture_->Assign(p); }
  TBackgroundMode BgMode() const { return bgMode_; }
  void SetBgMode(TBackgroundMode m);
  TColor FrameColor() const { return frameColor_; }
  void SetFrameColor(TColor c);
  int FrameWidth() const { return frameWidth_; }
  void SetFrameWidth(int w);  // negative widths count as 0
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v);
  bool OverDraw() const { return overDraw_; }
  void SetOverDraw(bool v) { overDraw_ = v; }
  bool Threaded() const { return threaded_; }
  void SetThreaded(bool v) { threaded_ = v; }
  bool Manual() const { return manual_; }
  void SetManual(bool v);
  // 0 = custom drawing (OnCustomDraw), 1..176 the table's styles; other values are ignored.
  int Style() const { return style_; }
  void SetStyle(int s);
  // "Custom" for style 0. Set by name, without regard to letter case; the lower of two styles
  // that share a name; an unknown name changes nothing.
  std::wstring StyleName() const;
  void SetStyleName(const std::wstring& name);
  // Progress added per step: 0 becomes 1, above 100 becomes 99.
  int Step() const { return step_; }
  void SetStep(int s);
  // Milliseconds between steps (0..65535).
  int Delay() const { return delay_; }
  void SetDelay(int d);
  bool Reverse() const { return reverse_; }
  void SetReverse(bool v) { reverse_ = v; }
  bool ExactTiming() const { return exactTiming_; }
  void SetExactTiming(bool v) { exactTiming_ = v; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);

  // The position of the transition, 0..100.
  int Progress() const { return progress_; }
  // Moves a transition to a progress value (above 100: 100) and shows that frame; nothing when
  // no transition is prepared or running, or when the value is the current one.
  void SetProgress(int value);
  // A transition is prepared or running.
  bool Busy() const { return busy_; }
  // The frame on show (32 bits per pixel); empty when nothing is shown.
  TBitmap* ScreenBitmap() const { return screen_.get(); }
  RECT PictureRect() const { return pictureRect_; }
  // Where the picture is drawn inside the client area.
  RECT DisplayRect() const { return displayRect_; }
  // Held while a frame is composed and put on the window (the frame events run inside it).
  TCriticalSection& RenderLock() { return renderLock_; }

  // Adds the 176 style names in style order (index k names style k + 1); answers 176.
  int GetStyleNames(TStrings* strings) const;

  virtual void PaintBackground(TCanvas* canvas, const RECT& r);
  virtual void DrawFrame(TCanvas* canvas);
  virtual void DoChange();
  virtual void DoProgress();
  virtual void DoCustomDraw(TBitmap* picture, TBitmap* screen);
  virtual void DoBeforeNewFrame(TBitmap* picture, TBitmap* screen);
  virtual void DoAfterNewFrame(TBitmap* picture, TBitmap* screen);
  virtual void DoComplete();
  virtual void DoStart(TBitmap* picture, TBitmap* screen);
  virtual void DoStop();
  // Starts a transition to Picture; nothing without a picture or while Busy.
  virtual void Execute();
  // Ends the transition: when it returns no step runs or is about to run.
  virtual void Stop();
  // Forgets the frame on show (not while Busy).
  virtual void Clear();

  TNotifyEvent OnChange;
  TNotifyEvent OnProgress;
  TNotifyEvent OnComplete;
  TNotifyEvent OnStop;
  TCustomDrawEvent OnStart;
  // The frame events run on the timer thread when Threaded, holding RenderLock: they must not
  // wait for the GUI thread.
  TCustomDrawEvent OnBeforeNewFrame;
  TCustomDrawEvent OnAfterNewFrame;
  TCustomDrawEvent OnCustomDraw;

  void WndProc(TMessage& m) override;

 protected:
  void Paint() override;
  // New size for AutoSize; always accepts.
  virtual bool CanAutoSize(int& newWidth, int& newHeight);
  void AdjustSize();
  // The timer device's limits; false when they cannot be read.
  virtual bool QueryTimerCaps(TIMECAPS& caps);
  void TileDraw(TCanvas* canvas, const RECT& r, TGraphic* graphic);

 private:
  class TStepThread;
  void SetLayoutFlag(bool& flag, bool v);
  // Places a shown picture again after a change of the layout.
  void LayOutShownPicture();
  void CalculateDisplayRect();
  void UpdateOldBackground();
  void RefreshBackground();
  void RenderFrame();
  bool StepProgress();
  void Animate();
  bool StartTimer();
  void StopTimer();
  void Finish();
  void Prepare();
  void FreeTransitionBitmaps();
  void PictureChanged();
  void BgPictureChanged();
  void PaintMessage(TMessage& m);

  std::unique_ptr<TAbout> about_;
  std::unique_ptr<TPicture> picture_;
  std::unique_ptr<TPicture> bgPicture_;
  TBackgroundMode bgMode_ = TBackgroundMode::bmTiled;
  TColor frameColor_ = clActiveBorder;
  int frameWidth_ = 0;
  bool center_ = false;
  bool stretch_ = false;
  bool proportional_ = false;
  bool overDraw_ = true;
  std::atomic<bool> threaded_{true};
  std::atomic<bool> manual_{false};
  std::atomic<int> style_{51};
  std::atomic<int> step_{4};
  std::atomic<int> delay_{40};
  std::atomic<int> progress_{0};
  std::atomic<bool> reverse_{false};
  std::atomic<bool> busy_{false};
  std::atomic<bool> exactTiming_{false};
  bool autoSize_ = false;

  std::unique_ptr<TBitmap> screen_;
  RECT pictureRect_{0, 0, 0, 0};
  bool stopping_ = false;
  bool preparing_ = false;  // Execute is making the transition's bitmaps: no frame yet
  bool oldIsBackground_ = false;
  std::unique_ptr<TBitmap> oldBitmap_;
  std::unique_ptr<TBitmap> newBitmap_;
  // The timer thread (made with the first threaded transition), whether it steps this transition,
  // and the timer resolution asked for meanwhile.
  std::unique_ptr<TStepThread> timer_;
  bool timerOn_ = false;
  UINT timerResolution_ = 0;
  std::atomic<DWORD> lastTick_{0};
  TCriticalSection renderLock_;
  RECT displayRect_{0, 0, 0, 0};
  // Numbers the transitions; posted messages of an ended transition carry an old number.
  std::atomic<std::uint32_t> serial_{0};
  // What ended a threaded transition on the timer thread, raised on the GUI thread.
  std::exception_ptr timerError_;
  // The styles that draw at random use this generator, never the process-wide one.
  TRandomGenerator random_;
};

class TPictureShow : public TCustomPictureShow {
  KIVO_CLASS(TPictureShow, TCustomPictureShow)
  static void Publish(TPublisher<TPictureShow>& p);
  using TCustomPictureShow::TCustomPictureShow;
};

}  // namespace kivo
