// The recorder windows of KivoApp.exe end to end: KivoApp started from a fresh program folder in the
// test prefix (its start registers lame.ax and installs the Xvid codec), the recorders shown with
// the main window's record buttons and driven with real messages, the test microphones of the
// prefix recorded, and what was recorded played back through Wine's own parsers and decoders.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "EncoderGraphs.h"
#include "KivoAppFixture.h"
#include "TestDevices.h"

using namespace kivo;
using namespace kivo::test;
using namespace kivo::testdev;

namespace {

constexpr int kW = 320, kH = 240;
// Tool bar buttons on pnlToolBar (main client y 240): x of their centres.
constexpr int kVideoRecX = 32 + 15, kAudioRecX = 63 + 15, kToolBarY = 240 + 15;
const wchar_t kLameServer[] = L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32";

std::uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return 0;
  return (std::uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((folder + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
  return names;
}

// "<folder><10 or more upper-case hex digits><extension>"
bool IsTimeStemName(const std::wstring& name, const std::wstring& folder, const std::wstring& extension) {
  if (name.size() < folder.size() + 10 + extension.size()) return false;
  if (_wcsicmp(name.substr(0, folder.size()).c_str(), folder.c_str()) != 0) return false;
  if (name.substr(name.size() - extension.size()) != extension) return false;
  const std::wstring stem = name.substr(folder.size(), name.size() - folder.size() - extension.size());
  return stem.size() >= 10 &&
         std::all_of(stem.begin(), stem.end(), [](wchar_t c) { return std::iswdigit(c) || (c >= L'A' && c <= L'F'); });
}

void UnregisterEncoders() {
  std::wstring path;
  if (ReadString(kLameServer, nullptr, path)) Regsvr32Unregister(path);
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}");
  RemoveXvid();
}

// One recorder window of the running program.
struct TRecorder {
  HWND Form = nullptr;
  HWND Devices() const { return Combo(0); }
  HWND Lines() const { return Combo(1); }
  HWND Combo(int which) const {
    // the device list is the left one
    auto combos = ChildrenOf(Form, L"TComboBox");
    std::sort(combos.begin(), combos.end(), [](HWND a, HWND b) {
      RECT ra, rb;
      ::GetWindowRect(a, &ra);
      ::GetWindowRect(b, &rb);
      return ra.left < rb.left;
    });
    return which < int(combos.size()) ? combos[which] : nullptr;
  }
  HWND FileName() const { return ChildOf(Form, L"TEdit"); }
  HWND Button(const std::wstring& caption) const { return ChildOf(Form, L"TButton", caption); }
  bool Shows(const std::wstring& caption) const {
    HWND b = Button(caption);
    return b && ::IsWindowVisible(b);
  }
  // A click as the button reports it to its parent (posted: a message box may follow).
  void Click(const std::wstring& caption) const {
    HWND b = Button(caption);
    ::PostMessageW(::GetParent(b), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(b), BN_CLICKED), reinterpret_cast<LPARAM>(b));
  }
  void Choose(HWND combo, int i) const {
    ::SendMessageW(combo, CB_SETCURSEL, i, 0);
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
  }
};

class RecordersApp : public TKivoAppTest {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(TestDevicesInstalled(&why)) << why;
    com_ = std::make_unique<TComInit>();
  }
  void TearDown() override {
    if (app_) app_->Exit();
    app_.reset();
    UnregisterEncoders();
  }
  void Start() {
    ASSERT_TRUE(folder_.Write(L"KivoApp.ini", "[System]\r\nCaptureActive=1\r\n"));
    ASSERT_NO_FATAL_FAILURE(Launch());
  }
  // The tool bar's button at x, clicked.
  void ClickToolBar(int x) { app_->ClickMainAt(x, kToolBarY); }
  TRecorder Show(bool video) {
    ClickToolBar(video ? kVideoRecX : kAudioRecX);
    TRecorder r;
    WaitUntil(
        [&] {
          r.Form = FindWindowOf(app_->Pid(), video ? L"TVideoRecForm" : L"TAudioRecForm");
          return r.Form && ::IsWindowVisible(r.Form);
        },
        10000);
    return r;
  }
  std::wstring Caption() const { return TextOfWindow(main_); }
  // A message box of KivoApp's, its texts; empty when none came in time.
  std::wstring WaitMessageBox(DWORD timeoutMs) {
    HWND box = app_->WaitMessageBox(L"#32770", timeoutMs);
    if (!box) return L"";
    const std::wstring text = BoxText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !::IsWindow(box); }, 5000);
    return text;
  }
  // Records until `enough` holds (bounded), then stops; the file recorded.
  std::wstring RecordFor(const TRecorder& r, const std::wstring& start, DWORD ms) {
    const std::wstring file = EditText(r.FileName());
    r.Click(start);
    EXPECT_TRUE(WaitUntil([&] { return r.Shows(L"暂停"); }, 15000)) << "the recording did not start";
    ::Sleep(ms);
    r.Click(L"停止");
    EXPECT_TRUE(WaitUntil([&] { return r.Shows(start); }, 15000)) << "the recording did not stop";
    return file;
  }

  std::unique_ptr<TComInit> com_;
};

TEST_F(RecordersApp, AudioRecorderRecordsTheChosenLineIntoOneGrowingMp3AcrossAPause) {
  ASSERT_NO_FATAL_FAILURE(Start());
  TRecorder rec = Show(false);
  ASSERT_NE(rec.Form, nullptr) << "no audio recorder";

  // docked over the bottom of the preview; the other record button is off while it shows
  RECT form, client;
  ::GetWindowRect(rec.Form, &form);
  ::GetClientRect(main_, &client);
  ::MapWindowPoints(main_, nullptr, reinterpret_cast<POINT*>(&client), 2);
  EXPECT_EQ(form.left, client.left);
  EXPECT_EQ(form.bottom, client.top + kH);
  EXPECT_EQ(form.right - form.left, kW);

  // the test microphones, the stereo mix first; its lines
  const std::vector<std::wstring> devices = ComboItems(rec.Devices());
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0], L"麦克风 (Kivo Test Audio)");
  EXPECT_EQ(devices[1], L"立体声混音 (Kivo Test Audio)");
  EXPECT_EQ(ComboIndex(rec.Devices()), 1);
  EXPECT_EQ(ComboItems(rec.Lines()), (std::vector<std::wstring>{L"Line 1", L"Line 2", L"Line 3"}));
  EXPECT_EQ(ComboIndex(rec.Lines()), 0);

  const std::wstring file = EditText(rec.FileName());
  EXPECT_TRUE(IsTimeStemName(file, folder_.File(L"AudioRec\\"), L".mp3"))
      << Narrow(file) << " in " << Narrow(folder_.File(L"AudioRec\\"));
  EXPECT_TRUE(rec.Shows(L"录音"));
  EXPECT_FALSE(rec.Shows(L"暂停"));
  EXPECT_FALSE(rec.Shows(L"继续"));

  // the stereo mix's line 2: twice its 1000 Hz
  rec.Choose(rec.Lines(), 1);
  rec.Click(L"录音");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"暂停"); }, 15000)) << Narrow(WaitMessageBox(3000));
  EXPECT_FALSE(rec.Shows(L"录音"));
  std::uint64_t size = 0;
  EXPECT_TRUE(WaitUntil([&] { return (size = FileSize(file)) > 0; }, 10000)) << "nothing written";
  EXPECT_TRUE(WaitUntil([&] { return FileSize(file) > size; }, 10000)) << "the file does not grow";
  EXPECT_TRUE(WaitUntil([&] { return Caption().rfind(L"YelkKivo        录音 00:00:0", 0) == 0 &&
                                     Caption() != L"YelkKivo        录音 00:00:00"; },
                        10000))
      << Narrow(Caption());

  rec.Click(L"暂停");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"继续"); }, 10000));
  EXPECT_FALSE(rec.Shows(L"暂停"));
  const std::wstring pausedCaption = Caption();
  // the caption goes on counting during the pause
  EXPECT_TRUE(WaitUntil([&] { return Caption() != pausedCaption; }, 5000)) << Narrow(pausedCaption);
  rec.Click(L"继续");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"暂停"); }, 10000));
  size = FileSize(file);
  EXPECT_TRUE(WaitUntil([&] { return FileSize(file) > size; }, 10000)) << "the file does not grow after the pause";
  ::Sleep(1000);

  rec.Click(L"停止");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"录音"); }, 15000));
  EXPECT_EQ(Caption(), L"YelkKivo");
  const std::wstring next = EditText(rec.FileName());
  EXPECT_TRUE(IsTimeStemName(next, folder_.File(L"AudioRec\\"), L".mp3")) << Narrow(next);

  // one file, the tone of line 2
  EXPECT_EQ(FilesIn(folder_.File(L"AudioRec\\")).size(), 1u);
  const std::vector<BYTE> bytes = ReadFileBytes(file);
  EXPECT_EQ(Mp3Version(bytes), 3) << "not an MPEG-1 Layer III file";
  TDecoded sound = Decode(file, false, true);
  ASSERT_EQ(sound.Error, "");
  EXPECT_EQ(sound.Rate, 48000u);
  EXPECT_EQ(sound.Channels, 2);
  EXPECT_GT(sound.Sound.size(), std::size_t(sound.Rate) * 3 / 2);
  EXPECT_NEAR(ToneFrequency(sound.Sound, sound.Rate), 2000, 40);
}

// The frames recorded: as many as 25 a second of the time recorded, 40 ms apart, each the picture.
void ExpectFramesOf(const TDecoded& video, const std::vector<BYTE>& picture, const char* what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(video.Width, kW);
  EXPECT_EQ(video.Height, kH);
  ASSERT_GE(video.Frames.size(), 50u) << "at least two seconds of frames";
  EXPECT_LE(video.Frames.size(), 25u * 30) << "no more than the time recorded";
  double worst = 1000;
  int badTimes = 0;
  for (std::size_t i = 0; i < video.Frames.size(); ++i) {
    const auto& f = video.Frames[i];
    ASSERT_EQ(f.Bits.size(), picture.size()) << "frame " << i;
    worst = std::min(worst, Psnr(f.Bits.data(), picture.data(), picture.size()));
    if (i > 0 && f.Start - video.Frames[i - 1].Start != 400000) ++badTimes;
  }
  EXPECT_GT(worst, 30.0) << "the worst frame against the picture (dB)";
  EXPECT_EQ(badTimes, 0) << "frames not 40 ms apart";
}

TEST_F(RecordersApp, VideoRecorderRecordsWhatTheCameraShowsWithTheChosenSoundAndWithout) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // the idle picture is what "Kivo Filter Source" shows now
  const std::vector<BYTE> picture = IdleFrameFromBmp(folder_.File(L"default.bmp"));
  ASSERT_EQ(picture.size(), std::size_t(kW) * kH * 3);
  TFrameViewer viewer;
  ASSERT_EQ(viewer.Open(), "ok");
  ASSERT_TRUE(viewer.WaitForFrame(picture, 15000)) << "the viewer never got the idle picture";

  TRecorder rec = Show(true);
  ASSERT_NE(rec.Form, nullptr) << "no video recorder";
  const std::vector<std::wstring> devices = ComboItems(rec.Devices());
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[2], L"无");
  EXPECT_EQ(ComboIndex(rec.Devices()), 1) << "the stereo mix";
  EXPECT_TRUE(rec.Shows(L"录像"));

  // with the microphone's line 2: twice its 440 Hz
  rec.Choose(rec.Devices(), 0);
  rec.Choose(rec.Lines(), 1);
  const std::wstring sounding = EditText(rec.FileName());
  EXPECT_TRUE(IsTimeStemName(sounding, folder_.File(L"VideoRec\\"), L".avi")) << Narrow(sounding);
  rec.Click(L"录像");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"暂停"); }, 15000)) << Narrow(WaitMessageBox(3000));
  EXPECT_TRUE(WaitUntil([&] { return Caption().rfind(L"YelkKivo        录像 00:00:0", 0) == 0; }, 5000))
      << Narrow(Caption());
  ::Sleep(3000);
  rec.Click(L"停止");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"录像"); }, 15000));
  EXPECT_EQ(Caption(), L"YelkKivo");
  {
    TDecoded video = Decode(sounding, true, false);
    ASSERT_EQ(video.Error, "");
    ExpectFramesOf(video, picture, "with sound");
    TDecoded sound = Decode(sounding, false, true);
    ASSERT_EQ(sound.Error, "");
    EXPECT_GT(sound.Sound.size(), std::size_t(sound.Rate) * 2) << "at least two seconds of sound";
    EXPECT_NEAR(ToneFrequency(sound.Sound, sound.Rate), 880, 18);
  }

  // without sound
  rec.Choose(rec.Devices(), 2);
  const std::wstring silent = EditText(rec.FileName());
  EXPECT_TRUE(IsTimeStemName(silent, folder_.File(L"VideoRec\\"), L".avi")) << Narrow(silent);
  EXPECT_NE(silent, sounding);
  rec.Click(L"录像");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"暂停"); }, 15000)) << Narrow(WaitMessageBox(3000));
  ::Sleep(3000);
  rec.Click(L"停止");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"录像"); }, 15000));
  {
    TDecoded video = Decode(silent, true, false);
    ASSERT_EQ(video.Error, "");
    ExpectFramesOf(video, picture, "without sound");
    EXPECT_NE(Decode(silent, false, true).Error, "") << "a sound stream in a recording without sound";
  }

  EXPECT_EQ(FilesIn(folder_.File(L"VideoRec\\")).size(), 2u);
}

TEST_F(RecordersApp, WithoutTheCompressorTheVideoRecorderSaysSoAndRecordsNothing) {
  UnregisterEncoders();
  folder_.Remove(L"xvidvfw.dll");
  folder_.Remove(L"xvidcore.dll");
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_FALSE(FindXvidCompressor()) << "a compressor named xvid after all";
  TRecorder rec = Show(true);
  ASSERT_NE(rec.Form, nullptr);
  rec.Choose(rec.Devices(), 2);
  rec.Click(L"录像");
  const std::wstring box = WaitMessageBox(15000);
  EXPECT_NE(box.find(L"找不到视频压缩器"), std::wstring::npos) << Narrow(box);
  EXPECT_TRUE(rec.Shows(L"录像"));
  EXPECT_FALSE(rec.Shows(L"暂停"));
  EXPECT_EQ(Caption(), L"YelkKivo");
  EXPECT_TRUE(FilesIn(folder_.File(L"VideoRec\\")).empty());
}

TEST_F(RecordersApp, WithoutAudioDevicesTheAudioRecorderSaysSoAndRecordsNothing) {
  // the microphones unplugged for this test (and plugged in again after it)
  struct TUnplugged {
    std::vector<TDeviceEntry> Devices = ListDevices(CLSID_AudioInputDeviceCategory);
    TUnplugged() {
      for (const auto& d : Devices) RemoveDevice(d);
    }
    ~TUnplugged() {
      for (const auto& d : Devices) AddDevice(d);
    }
  } unplugged;
  ASSERT_EQ(unplugged.Devices.size(), 2u);
  ASSERT_NO_FATAL_FAILURE(Start());
  TRecorder rec = Show(false);
  ASSERT_NE(rec.Form, nullptr);
  EXPECT_TRUE(ComboItems(rec.Devices()).empty());
  rec.Click(L"录音");
  const std::wstring box = WaitMessageBox(15000);
  EXPECT_NE(box.find(L"找不到录音设备"), std::wstring::npos) << Narrow(box);
  EXPECT_TRUE(rec.Shows(L"录音"));
  EXPECT_EQ(Caption(), L"YelkKivo");
  EXPECT_TRUE(FilesIn(folder_.File(L"AudioRec\\")).empty());
}

// Hiding a recorder does not stop its recording, and the other record button stays off meanwhile;
// the program's exit stops the recording so that its file is complete.
TEST_F(RecordersApp, AHiddenAudioRecorderGoesOnRecordingUntilTheProgramEnds) {
  ASSERT_NO_FATAL_FAILURE(Start());
  TRecorder rec = Show(false);
  ASSERT_NE(rec.Form, nullptr) << "no audio recorder";
  const std::wstring file = EditText(rec.FileName());
  rec.Click(L"录音");
  ASSERT_TRUE(WaitUntil([&] { return rec.Shows(L"暂停"); }, 15000)) << Narrow(WaitMessageBox(3000));
  ASSERT_TRUE(WaitUntil([&] { return FileSize(file) > 0; }, 10000)) << "nothing written";

  // the record button again: the recorder hides
  ClickToolBar(kAudioRecX);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(rec.Form); }, 10000)) << "the recorder still shows";
  const std::uint64_t size = FileSize(file);
  EXPECT_TRUE(WaitUntil([&] { return FileSize(file) > size; }, 10000)) << "the hidden recorder stopped recording";
  // the elapsed time is shown from the first tick of the recorder's one-second timer on, which on
  // a quiet machine can come after all of the above
  std::wstring caption;
  EXPECT_TRUE(WaitUntil([&] { return (caption = Caption()).rfind(L"YelkKivo        录音 00:00:", 0) == 0; }, 5000))
      << Narrow(caption);
  EXPECT_TRUE(WaitUntil([&] { return Caption() != caption; }, 5000)) << "the caption stopped counting";
  // shown again it is still recording and the caption goes on; then hidden again
  ClickToolBar(kAudioRecX);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(rec.Form) != FALSE; }, 10000)) << "the recorder did not come back";
  EXPECT_TRUE(rec.Shows(L"暂停"));
  caption = Caption();
  EXPECT_TRUE(caption.rfind(L"YelkKivo        录音 00:00:", 0) == 0) << Narrow(caption);
  EXPECT_TRUE(WaitUntil([&] { return Caption() != caption; }, 5000)) << "the caption stopped counting";
  ClickToolBar(kAudioRecX);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(rec.Form); }, 10000)) << "the recorder still shows";
  // the video recorder's button stays off while the sound is recorded
  ClickToolBar(kVideoRecX);
  EXPECT_FALSE(WaitUntil(
      [&] {
        HWND video = FindWindowOf(app_->Pid(), L"TVideoRecForm");
        return video && ::IsWindowVisible(video);
      },
      5000))
      << "the video recorder came up during a recording";

  // the program ends: the recording is stopped and its file complete
  EXPECT_EQ(app_->Exit(), std::optional<DWORD>(0)) << "KivoApp did not end in time";
  app_.reset();
  EXPECT_EQ(FilesIn(folder_.File(L"AudioRec\\")).size(), 1u);
  TDecoded sound = Decode(file, false, true);
  ASSERT_EQ(sound.Error, "");
  EXPECT_GT(sound.Sound.size(), std::size_t(sound.Rate) * 2) << "the time hidden is in the file";
  EXPECT_NEAR(ToneFrequency(sound.Sound, sound.Rate), 1000, 20) << "the stereo mix's line 1";
}

}  // namespace
