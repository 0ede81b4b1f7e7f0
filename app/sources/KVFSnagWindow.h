// The screen-region source's preview window: every 40 ms it captures a desktop rectangle (or the
// whole rectangle of a chosen window), fits it into the output size with black bars, draws the
// cursor into it and hands it to the frame writer while the screen is the capture source. The unit
// also holds the screen capture routine and the photo of the preview area.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ExtImage.h"
#include "KVFWindowAbs.h"
#include "Pictures.h"

namespace kivo {

class TSnagSource;

constexpr UINT_PTR kSnagTimer = 1005;
constexpr UINT kSnagIntervalMs = 40;
// Region and window modes of the window.
constexpr std::int32_t kSnagRegion = 0, kSnagWindow = 1;

// The picture CaptureScreenRect also paints (the preview's), nullptr until the first start.
extern TPicture* SnagPreviewPicture;

// The information box of window mode without a window to capture.
extern const wchar_t kNoSnagWindowText[];

// Draws the cursor into dc, its hot spot mapped from the screen rectangle r into the fitted picture
// at (x0, y0) of w x h. A showing cursor without a handle is skipped.
void DrawCursorInto(HDC dc, const RECT& r, int x0, int y0, int w, int h);
// Captures r fitted into the output size with black bars and the cursor. With copy, the frame
// (OutputFormat, bottom-up 24 bits) goes into buffer, at most bufferBytes: answers its byte count,
// or 0 (no copy, rows not read back, a frame larger than the buffer, an empty rectangle).
std::int32_t CaptureScreenRect(const RECT& r, void* buffer, std::size_t bufferBytes, bool copy);
// CaptureScreenRect into FrameBuffer and, when it gave a frame, WriteFrame (under the frame lock).
void CaptureAndWrite(const RECT& r, bool copy);
// Saves the preview area's picture as ProgramDir\Photo\<time stem>.bmp; answers the file name.
// Raises an Exception when the picture cannot be taken or saved.
std::wstring TakePhoto();

class TSnagWindow : public TSourceWindowAbs {
  KIVO_CLASS(TSnagWindow, TSourceWindowAbs)
  explicit TSnagWindow(TComponent* owner);
  void BeforeDestruction() override;

  TImage* imgSnag;

  std::int32_t SnagState = kStateNone;
  UINT_PTR TimerId = 0;
  std::int32_t SnagMode = kSnagRegion;
  HWND TargetWindow = nullptr;
  RECT Region{0, 0, 0, 0};
  bool TraceMouse = true;
  // Set by Stop; a tick does not restart the timer after it.
  bool StopRequested = false;

  std::int32_t State() override { return SnagState; }
  bool IsFullScreen() override { return false; }
  void SetFullScreen(bool) override {}
  void UpdateButtons() override;
  bool Play(std::int32_t index, bool automatic) override;
  bool Stop() override;
  bool Pause() override { return Stop(); }

  bool StartTimer();
  bool StopTimer();
  bool SnagOnce();
  // The region with mouse tracing applied for the cursor at p.
  static RECT TraceRegion(const RECT& region, POINT p);

  void AfterConstruction() override;
  void WndProc(TMessage& m) override;

 private:
  TSnagSource* Page() const;
  // Shows the box of window mode without a window.
  void ShowNoWindowBox();
};

}  // namespace kivo
