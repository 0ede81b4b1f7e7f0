// The idle page: shows the idle picture default.* of the program folder and writes it into the frame
// section when the main window is created.
#pragma once

#include "ExtImage.h"
#include "Forms.h"

namespace kivo {

class TAboutFrame : public TFrame {
  KIVO_CLASS(TAboutFrame, TFrame)
  explicit TAboutFrame(TComponent* owner);

  TImage* imgAbout;

  // Loads default.* when the image has no picture, then writes it unscaled at (0, 0) on a white
  // frame of the output size, with force.
  void ShowIdlePicture();
  void imgAboutClick(TObject* sender);
  // Shows the capture page of the main window (set by the main window).
  TNotifyEvent OnShowCapturePage;
};

// The idle picture's file in a folder ("default.*", ordinary and archive files), or "".
std::wstring FindIdlePicture(const std::wstring& folder);

}  // namespace kivo
