// KVVideoRec: TVideoRecForm, the video recorder: the virtual camera itself ("Kivo Filter Source",
// so that it records what other programs see) through the Xvid compressor into
// "VideoRec\<time stem>.avi", with the chosen sound through the LAME encoder, or without sound ("无").
#pragma once

#include "KVRecFormAbs.h"

namespace kivo {

// The extra item of the audio device list: record no sound.
inline constexpr wchar_t kNoAudioItem[] = L"无";

class TVideoRecForm : public TRecFormAbs {
  KIVO_CLASS(TVideoRecForm, TRecFormAbs)
  explicit TVideoRecForm(TComponent* owner);

  TFilter* fltVideoCapture;
  TFilter* fltCompress;

  // fltVideoCapture := the first video input device of KivoSrc's class.
  void SelectVirtualCamera();
  // fltCompress := the first video compressor whose lower-cased name holds `name`; none clears it.
  void SelectCompressor(const std::wstring& name);
  void AddExtraItems() override;
  void StartRecord() override;
  std::wstring CaptionFormat() const override { return L"        录像 hh:nn:ss"; }

 protected:
  // The AVI multiplexer writing the file of edtFileName (the capture graph builder's, or one made
  // here with the File Writer after it when the builder makes none).
  TComPtr<IBaseFilter> MakeAviOutput();
};

TVideoRecForm* VideoRecorder();
TVideoRecForm* ShowVideoRecorder(TwButton* recordButton);
void HideVideoRecorder();
void FreeVideoRecorder();

}  // namespace kivo
