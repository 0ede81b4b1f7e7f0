// KVAudioRec: TAudioRecForm, the audio recorder: the chosen audio input device through the LAME
// encoder into "AudioRec\<time stem>.mp3".
#pragma once

#include "KVRecFormAbs.h"

namespace kivo {

// The system File Writer in the DirectShow filter category.
inline constexpr wchar_t kFileWriterMoniker[] =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}";

class TAudioRecForm : public TRecFormAbs {
  KIVO_CLASS(TAudioRecForm, TRecFormAbs)
  explicit TAudioRecForm(TComponent* owner);

  TFilter* fltFileWriter;

  void StartRecord() override;
  std::wstring CaptionFormat() const override { return L"        录音 hh:nn:ss"; }
};

// The recorder (made on first use, kept until FreeAudioRecorder); null before.
TAudioRecForm* AudioRecorder();
// Makes the recorder when there is none, gives it the record button, docks and shows it.
TAudioRecForm* ShowAudioRecorder(TwButton* recordButton);
// Hides it when it exists (a recording goes on).
void HideAudioRecorder();
// At the program's end: a running recording stops and the recorder goes.
void FreeAudioRecorder();

}  // namespace kivo
