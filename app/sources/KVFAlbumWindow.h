// The album source's preview window: a slide show of the page's pictures. Each picture comes in
// through a transition of the picture-show control, whose every step (drawn on the control's timer
// thread) is written to the virtual camera; GIF pictures are shown at once in a picture control
// whose changes (its animation too) are captured on the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ExtImage.h"
#include "Forms.h"
#include "KVBitmapFrames.h"
#include "KVFWindowAbs.h"
#include "PictureShow.h"

namespace kivo {

class TAlbumSource;

constexpr UINT_PTR kSlideTimer = 1004;
// How the next picture's transition style is chosen.
constexpr std::int32_t kStyleManual = 0, kStyleSequential = 1, kStyleRandom = 2;

class TAlbumWindow : public TSourceWindowAbs {
  KIVO_CLASS(TAlbumWindow, TSourceWindowAbs)
  explicit TAlbumWindow(TComponent* owner);
  ~TAlbumWindow() override;
  void BeforeDestruction() override;

  TPictureShow* imgAlbum;
  TImage* imgAlbum2;

  std::int32_t SlideState = kStateNone;  // 0 created, 1 stopped, 3 playing
  UINT_PTR SlideTimer = 0;
  std::int32_t CurrentIndex = kPlayCurrent;
  bool Wrap = true;
  TForm* FullScreenForm = nullptr;
  TWinControl* SavedParent = nullptr;
  // Pushed by the page.
  bool GIFStatic = false;
  std::int32_t StyleCount = 0;
  std::int32_t StyleMode = kStyleManual;
  std::int32_t Interval = 3000;

  TAlbumSource* Page() const;

  std::int32_t State() override { return SlideState; }
  bool IsFullScreen() override { return FullScreenForm != nullptr; }
  void SetFullScreen(bool on) override;
  void UpdateButtons() override;
  bool Play(std::int32_t index, bool automatic) override;
  bool Stop() override;
  bool Pause() override { return Stop(); }
  bool Next(bool automatic) override { return Play(CurrentIndex + 1, automatic); }
  bool Prev(bool automatic) override { return Play(CurrentIndex - 1, automatic); }

  bool ShowItem(std::int32_t index);
  // False when the file does not exist (the picture on show stays).
  bool ShowPicture(const std::wstring& path);
  // Where the GIF control goes in a client area for a w x h picture.
  static RECT GifImageRect(int clientWidth, int clientHeight, int w, int h, bool stretch, bool proportional, bool center);
  // Places the GIF control for the window's size and captures its look.
  void PlaceGifImage();
  // The style of the next transition by StyleMode (sequential wraps from the last to 1).
  int NextStyle();
  void StartSlideTimer();
  void StopSlideTimer();
  void Restart();

  void imgAlbumClick(TObject* sender);
  void imgAlbumDblClick(TObject* sender);
  // On the transition's timer thread, inside its render lock.
  void imgAlbumAfterNewFrame(TObject* sender, TBitmap* picture, TBitmap* screen);
  // The frame the camera receives for a composed transition step: the control's look (the step
  // at the display rectangle, black around it) at the output's size.
  static void ComposeFrame(TBitmap* screen, const RECT& displayRect, int controlWidth, int controlHeight,
                           TBitmap* frame);

  void WndProc(TMessage& m) override;
  void AfterConstruction() override;

 private:
  // Clears the GIF control's picture without a captured frame.
  void ClearGifPicture();
  void StopGifAnimation();
  TComPtr<TImageCapture> capture_;
};

}  // namespace kivo
