// The encoder files in KivoApp's program folder: KivoApp's start registers lame.ax and installs the
// Xvid codec, after which the encoders the recorders look for are there and work.
#include <gtest/gtest.h>

#include <windows.h>

#include "AviWriter.h"
#include "EncoderGraphs.h"
#include "KivoAppFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const wchar_t kLameServer[] = L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32";

void Unregister() {
  std::wstring path;
  if (ReadString(kLameServer, nullptr, path)) Regsvr32Unregister(path);
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}");
}

TEST(EncodersInKivoApp, KivoAppsStartRegistersAndInstallsThemAndTheyRecord) {
  TComInit com;
  Unregister();
  RemoveXvid();
  ASSERT_FALSE(BindLame());
  ASSERT_FALSE(FindXvidCompressor());
  {
    TProgramFolder folder;
    {
      TKivoAppRun app(folder);
      ASSERT_TRUE(app.Started());
      ASSERT_NE(app.WaitMainWindow(), nullptr) << "no main window";
      const auto code = app.Exit();
      ASSERT_TRUE(code.has_value());
      EXPECT_EQ(*code, 0u);
    }
    std::wstring server;
    ASSERT_TRUE(ReadString(kLameServer, nullptr, server));
    EXPECT_EQ(LowerText(server), LowerText(folder.File(L"lame.ax")));
    for (const wchar_t* file : {L"xvidvfw.dll", L"xvidcore.dll"})
      EXPECT_EQ(ReadFileBytes(SystemDir() + file), ReadFileBytes(folder.File(file)))
          << "the delivered file in the system folder";

    // What the recorders use: the LAME encoder by its moniker, the compressor by its name.
    const std::wstring mp3 = TempFilePath(L"kivoapp", L".mp3"), avi = TempFilePath(L"kivoapp", L".avi");
    {
      TMp3Recording rec(MakeToneSource({44100, 2, 16}, 1000, 1.0), mp3);
      ASSERT_EQ(rec.Error, "");
      ASSERT_EQ(RunToCompletion(rec.G, 30000), "");
    }
    TDecoded sound = Decode(mp3, false, true);
    ASSERT_EQ(sound.Error, "");
    EXPECT_NEAR(ToneFrequency(sound.Sound, sound.Rate), 1000, 20);
    {
      TAviRecording rec(MakePictureSource(320, 240, 10), avi);
      ASSERT_EQ(rec.Error, "");
      ASSERT_EQ(RunToCompletion(rec.G, 30000), "");
    }
    TDecoded video = Decode(avi, true, false);
    ASSERT_EQ(video.Error, "");
    EXPECT_EQ(video.Frames.size(), 10u);
    EXPECT_GT(WorstFramePsnr(video, 320, 240), 32.0);
    ::DeleteFileW(mp3.c_str());
    ::DeleteFileW(avi.c_str());
  }
  Unregister();
  RemoveXvid();
}

}  // namespace
