// The recorder windows in the test's own process, beside the main window: docking and following,
// the record buttons, the device and line lists of the test microphones, the file names, the
// caption timer, the start / pause / resume buttons, and the failures that must say what is missing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "GraphSupport.h"
#include "GuiTestUtil.h"
#include "KVAudioRec.h"
#include "KVMain.h"
#include "KVShared.h"
#include "KVVideoRec.h"
#include "MainFormHost.h"
#include "EncoderGraphs.h"
#include "TestDevices.h"

using namespace kivo;
using kivo::test::PumpUntil;

namespace {

const wchar_t kLameServerKey[] = L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32";

bool FileExists(const std::wstring& name) { return ::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs the start button's work as the message loop does, answering the message it raised ("" when
// none).
std::wstring StartMessage(TRecFormAbs* rec) {
  try {
    rec->btnStartClick(rec->btnStart);
  } catch (const std::exception& e) {
    return ExceptionMessage(e);
  }
  return L"";
}

class Recorders : public test::TMainFormHost {
 protected:
  Recorders() : TMainFormHost(L"recorders", {L"AudioRec", L"VideoRec"}) {}
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(testdev::TestDevicesInstalled(&why)) << why;
    TMainFormHost::SetUp();
  }
  // The record button pressed as the user does.
  void Press(TwButton* button) {
    HWND w = button->Parent()->Handle();
    test::ClickAt(w, button->Left() + button->Width() / 2, button->Top() + button->Height() / 2);
  }
  RECT Preview() const {
    return *reinterpret_cast<const RECT*>(::SendMessageW(form->Handle(), WM_GET_PREVIEW_RECT, 0, 0));
  }
};

TEST_F(Recorders, RecordButtonsShowDockedRecordersAndDisableEachOther) {
  EXPECT_EQ(AudioRecorder(), nullptr);
  EXPECT_EQ(VideoRecorder(), nullptr);
  Press(form->btnAudioRec);
  TAudioRecForm* audio = AudioRecorder();
  ASSERT_NE(audio, nullptr);
  EXPECT_TRUE(audio->Visible());
  EXPECT_EQ(audio->RecordButton, form->btnAudioRec);
  EXPECT_FALSE(form->btnVideoRec->Enabled());
  EXPECT_TRUE(form->btnAudioRec->Enabled());
  EXPECT_EQ(audio->FormStyle(), TFormStyle::fsStayOnTop);
  EXPECT_EQ(audio->BorderStyle(), TFormBorderStyle::bsNone);
  EXPECT_EQ(audio->ClientWidth(), 320);
  EXPECT_EQ(audio->ClientHeight(), 98);

  // over the bottom of the preview, also after the main window moved
  for (int move = 0; move < 2; ++move) {
    RECT r;
    ::GetWindowRect(audio->Handle(), &r);
    const RECT p = Preview();
    EXPECT_EQ(r.left, p.left) << "move " << move;
    EXPECT_EQ(r.bottom, p.bottom) << "move " << move;
    form->SetLeft(form->Left() + 37);
    form->SetTop(form->Top() + 11);
  }

  // hiding the main window hides the recorder where it is; showing it again brings it back
  WINDOWPOS pos{};
  pos.flags = SWP_HIDEWINDOW;
  ::SendMessageW(audio->Handle(), WM_DOCK_FOLLOW, 0, reinterpret_cast<LPARAM>(&pos));
  EXPECT_FALSE(::IsWindowVisible(audio->Handle()));

  // a second press hides it: the other button is back
  Press(form->btnAudioRec);
  EXPECT_FALSE(audio->Visible());
  EXPECT_TRUE(form->btnVideoRec->Enabled());
  Press(form->btnAudioRec);
  EXPECT_EQ(AudioRecorder(), audio) << "made only once";
  EXPECT_TRUE(audio->Visible());
  Press(form->btnAudioRec);

  Press(form->btnVideoRec);
  TVideoRecForm* video = VideoRecorder();
  ASSERT_NE(video, nullptr);
  EXPECT_TRUE(video->Visible());
  EXPECT_FALSE(form->btnAudioRec->Enabled());
  EXPECT_EQ(video->btnStart->Caption(), L"录像");
  Press(form->btnVideoRec);
  EXPECT_TRUE(form->btnAudioRec->Enabled());
}

TEST_F(Recorders, DeviceListsTheStereoMixFirstAndTheLinesOfTheChosenDevice) {
  TAudioRecForm* audio = ShowAudioRecorder(form->btnAudioRec);
  TStrings* devices = audio->cmbDevList->Items();
  ASSERT_EQ(devices->Count(), 2);
  EXPECT_EQ(devices->Strings(0), L"麦克风 (Kivo Test Audio)");
  EXPECT_EQ(devices->Strings(1), L"立体声混音 (Kivo Test Audio)");
  EXPECT_EQ(audio->cmbDevList->ItemIndex(), 1) << "the stereo mix is preselected";
  ASSERT_EQ(audio->cmbInputs->Items()->Count(), 3);
  EXPECT_EQ(audio->cmbInputs->Items()->Strings(2), L"Line 3");
  EXPECT_EQ(audio->cmbInputs->ItemIndex(), 0);

  // another device refills the lines with its own
  audio->cmbInputs->SetItemIndex(2);
  audio->cmbDevList->SetItemIndex(0);
  audio->cmbDevListChange(audio->cmbDevList);
  EXPECT_EQ(audio->cmbInputs->Items()->Count(), 3);
  EXPECT_EQ(audio->cmbInputs->ItemIndex(), 0);

  // the video recorder offers no sound after the devices; choosing it leaves the lines
  TVideoRecForm* video = ShowVideoRecorder(form->btnVideoRec);
  ASSERT_EQ(video->cmbDevList->Items()->Count(), 3);
  EXPECT_EQ(video->cmbDevList->Items()->Strings(2), kNoAudioItem);
  EXPECT_EQ(video->AudioDeviceCount(), 2);
  video->cmbDevList->SetItemIndex(2);
  video->cmbDevListChange(video->cmbDevList);
  EXPECT_EQ(video->cmbInputs->Items()->Count(), 3);
  EXPECT_FALSE(video->SelectAudioDevice());
  EXPECT_EQ(video->fltAudioCapture->BaseFilter()->DataLength(), 0u);
  video->cmbDevList->SetItemIndex(0);
  EXPECT_TRUE(video->SelectAudioDevice());
  std::wstring microphone;
  for (const auto& d : testdev::DefaultDevices())
    if (d.FriendlyName == L"麦克风 (Kivo Test Audio)") microphone = d.DisplayName();
  EXPECT_EQ(video->fltAudioCapture->BaseFilter()->DeviceDisplayName(), microphone);
}

TEST_F(Recorders, FileNamesComeFromTheTimeStemAndOnlyOneStartStopButtonShows) {
  TAudioRecForm* audio = ShowAudioRecorder(form->btnAudioRec);
  const std::wstring name = audio->edtFileName->Text();
  const std::wstring prefix = folder + L"AudioRec\\";
  ASSERT_GT(name.size(), prefix.size() + 4);
  EXPECT_EQ(name.substr(0, prefix.size()), prefix);
  EXPECT_EQ(name.substr(name.size() - 4), L".mp3");
  const std::wstring stem = name.substr(prefix.size(), name.size() - prefix.size() - 4);
  EXPECT_GE(stem.size(), 10u);
  EXPECT_EQ(stem.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << "stem";
  EXPECT_EQ(audio->edtFileName->SelLength(), int(name.size())) << "the whole name is selected";

  TVideoRecForm* video = ShowVideoRecorder(form->btnVideoRec);
  const std::wstring videoName = video->edtFileName->Text();
  EXPECT_EQ(videoName.substr(0, folder.size() + 9), folder + L"VideoRec\\");
  EXPECT_EQ(videoName.substr(videoName.size() - 4), L".avi");

  for (TButton* b : {audio->btnPause, audio->btnResume, audio->btnStart}) {
    audio->ShowButton(b);
    for (TButton* other : {audio->btnStart, audio->btnPause, audio->btnResume})
      EXPECT_EQ(other->Visible(), other == b) << "shown: " << std::string(b->Name().begin(), b->Name().end());
    EXPECT_EQ(b->Left(), audio->btnStart->Left());
  }
}

TEST_F(Recorders, CaptionShowsTheElapsedTimeAfterThePattern) {
  TAudioRecForm* audio = ShowAudioRecorder(form->btnAudioRec);
  TVideoRecForm* video = ShowVideoRecorder(form->btnVideoRec);
  const TDateTime second = 1.0 / 86400;
  audio->StartTime = Now() - 65 * second;
  audio->ShowElapsedTime();
  EXPECT_EQ(form->Caption(), L"YelkKivo        录音 00:01:05");
  video->StartTime = Now() - (3600 + 2) * second;
  ::SendMessageW(video->Handle(), WM_TIMER, kRecordCaptionTimer, 0);
  EXPECT_EQ(form->Caption(), L"YelkKivo        录像 01:00:02");
  // stopping gives the caption back and proposes the next name
  video->edtFileName->SetText(L"x");
  video->StopRecord();
  EXPECT_EQ(form->Caption(), L"YelkKivo");
  EXPECT_NE(video->edtFileName->Text(), L"x");
  EXPECT_TRUE(video->btnStart->Visible());
}

TEST_F(Recorders, MissingDevicesAndEncodersAreNamedAndNothingIsRecorded) {
  // without the encoders: what KivoApp's start would install is taken away
  std::wstring lame;
  if (test::ReadString(kLameServerKey, nullptr, lame)) test::Regsvr32Unregister(lame);
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}");
  test::RemoveXvid();

  TAudioRecForm* audio = ShowAudioRecorder(form->btnAudioRec);
  TVideoRecForm* video = ShowVideoRecorder(form->btnVideoRec);
  struct TCase {
    const char* what;
    TRecFormAbs* rec;
    int device;    // the item chosen; -1 none
    bool shifted;  // a device listed before the chosen one is gone by the start
    const wchar_t* message;
  };
  const TCase cases[] = {
      {"audio, nothing chosen", audio, -1, false, kNoAudioDeviceText},
      {"audio, the device at its place changed", audio, 1, true, kNoAudioDeviceText},
      {"audio, no encoder", audio, 1, false, kNoAudioEncoderText},
      {"video, the device at its place changed", video, 1, true, kNoAudioDeviceText},
      {"video, no encoder for the sound", video, 0, false, kNoAudioEncoderText},
      {"video, no compressor", video, 2, false, kNoVideoCompressorText},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    {
      // "mic0600" is listed between the two microphones of the prefix
      std::unique_ptr<testdev::TScopedDevice> extra;
      if (c.shifted) {
        extra = std::make_unique<testdev::TScopedDevice>(testdev::MakeMicrophone(600, L"Extra (Kivo Test Audio)"), false);
        ASSERT_EQ(extra->Result(), S_OK);
      }
      c.rec->ListAudioDevices();
      ASSERT_EQ(c.rec->AudioDeviceCount(), c.shifted ? 3 : 2);
      c.rec->cmbDevList->SetItemIndex(c.device);
    }
    c.rec->MakeFileName();
    EXPECT_EQ(StartMessage(c.rec), c.message);
    EXPECT_TRUE(c.rec->btnStart->Visible());
    EXPECT_FALSE(c.rec->Graph->Active()) << "a failed start leaves no graph";
    EXPECT_FALSE(FileExists(c.rec->edtFileName->Text()));
    if (c.shifted) {
      EXPECT_EQ(c.rec->fltAudioCapture->BaseFilter()->DataLength(), 0u) << "no other device's moniker";
    }
    EXPECT_EQ(form->Caption(), L"YelkKivo");
  }
}

}  // namespace
