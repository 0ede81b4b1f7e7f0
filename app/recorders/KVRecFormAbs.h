// KVRecFormAbs: TRecFormAbs, the base of the two recorder windows (sound into MP3, the virtual camera
// into AVI): a small borderless window docked over the bottom of the main window's preview, with the
// audio device and line lists, the file name, the start / pause / resume / stop buttons, the folder
// button, and the main window's caption counting the recording time (timer 133).
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>
#include <string>

#include "DSGraph.h"
#include "DSUtil.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "SysUtils.h"
#include "wButton.h"

namespace kivo {

constexpr UINT_PTR kRecordCaptionTimer = 133;

// {33D9A762-90C8-11D0-BD43-00A0C911CE86}
inline constexpr GUID kAudioInputDeviceCategory = {0x33d9a762, 0x90c8, 0x11d0, {0xbd, 0x43, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
// {860BB310-5D01-11D0-BD3B-00A0C911CE86}
inline constexpr GUID kVideoInputDeviceCategory = {0x860bb310, 0x5d01, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
// {33D9A760-90C8-11D0-BD43-00A0C911CE86}
inline constexpr GUID kVideoCompressorCategory = {0x33d9a760, 0x90c8, 0x11d0, {0xbd, 0x43, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
// The LAME encoder in the audio compressor category.
inline constexpr wchar_t kLameEncoderMoniker[] =
    L"@device:sw:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\LAME Audio Encoder";

// The messages of the recorders' failures (shown by the application's exception handler).
inline constexpr wchar_t kNoVideoCompressorText[] = L"找不到视频压缩器";
inline constexpr wchar_t kNoAudioDeviceText[] = L"找不到录音设备";
inline constexpr wchar_t kNoAudioEncoderText[] = L"找不到音频压缩器";

class TRecFormAbs : public TForm {
  KIVO_CLASS(TRecFormAbs, TForm)
  explicit TRecFormAbs(TComponent* owner);
  ~TRecFormAbs() override;
  void BeforeDestruction() override;

  TPanel* pnlBack;
  TLabel* Label1;
  TComboBox* cmbDevList;
  TComboBox* cmbInputs;
  TLabel* Label4;
  TEdit* edtFileName;
  TButton* btnStart;
  TButton* btnStop;
  TButton* btnOpenDir;
  TButton* btnPause;
  TButton* btnResume;
  TFilterGraph* Graph;
  TFilter* fltAudioCapture;
  TFilter* fltLAME;

  std::unique_ptr<TSysDevEnum> AudioEnum;
  std::unique_ptr<TSysDevEnum> VideoEnum;
  std::wstring Folder;     // with a trailing backslash
  std::wstring Extension;  // with its dot
  TDateTime StartTime = 0;
  TwButton* RecordButton = nullptr;  // the main window's button that shows this recorder

  // The audio input devices into cmbDevList, the extra items after them, and the preselection.
  virtual void ListAudioDevices();
  virtual void SelectVideoCategory(const GUID& category);
  // Items after the devices (none here).
  virtual void AddExtraItems() {}
  // Builds the graph and runs it (descendants), then the base part: the caption timer.
  virtual void StartRecord();
  // The caption pattern of the elapsed time (FormatDateTime).
  virtual std::wstring CaptionFormat() const { return L"hh:nn:ss"; }

  // Items of cmbDevList that are devices (the first ones).
  int AudioDeviceCount() const { return audioDeviceCount_; }
  // Whether a recording is running or paused.
  bool Recording();
  void MakeFileName();
  // fltAudioCapture's moniker := the chosen device's; nothing for an extra item, for no choice and
  // for a device that is no longer the one listed at that place. Answers whether a device was
  // chosen (an item of the devices' part of the list).
  bool SelectAudioDevice();
  // The device's format with the highest rate, then the most channels; the chosen mixer line on.
  void ConfigureAudio(IBaseFilter* capture);
  void DeleteExisting();
  void PauseRecord();
  void ResumeRecord();
  void StopRecord();
  // Only this one of btnStart, btnPause and btnResume is shown.
  void ShowButton(TButton* button);
  // Left on the preview's left, bottom on the preview's bottom.
  void FollowMainWindow();
  // The main window's caption with the elapsed time (timer 133).
  void ShowElapsedTime();

  void FormCreate(TObject* sender);
  void FormDestroy(TObject* sender);
  void FormShow(TObject* sender);
  void FormHide(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void cmbDevListChange(TObject* sender);
  void btnStartClick(TObject* sender);
  void btnStopClick(TObject* sender);
  void btnPauseClick(TObject* sender);
  void btnResumeClick(TObject* sender);
  void btnOpenDirClick(TObject* sender);

  void WndProc(TMessage& m) override;

 protected:
  // The bound filter of a component, or an exception with the text when it has none.
  static IBaseFilter* RequireFilter(TFilter* filter, const wchar_t* missingText);
  // The graph's capture graph builder (raises when the graph has none).
  TComPtr<ICaptureGraphBuilder2> CaptureBuilder();
  // Runs the graph and waits until it runs; raises when it cannot.
  void RunGraph();
  // A failed start leaves nothing running and no graph.
  void AbandonGraph() noexcept;

 private:
  bool filling_ = false;
  int audioDeviceCount_ = 0;
  // The friendly names listed, to see whether the device at a place is still the one listed.
  std::vector<std::wstring> audioDeviceNames_;
};

}  // namespace kivo
