// The main window in the test's own process, made as the program's start makes it: a fresh program
// folder, the frame writer, no source chosen, capture on, the window shown and its delayed start run
// up to the camera page. For the test programs that link the program's units (kivo_app).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "GuiTestUtil.h"
#include "KVMain.h"
#include "KVShared.h"
#include "TestSupport.h"

namespace kivo::test {

// A folder "kivo-<name>-<pid>\" in the temporary folder, with the given sub-folders.
inline std::wstring MakeTempFolder(const std::wstring& name, const std::vector<std::wstring>& subfolders = {}) {
  wchar_t buf[MAX_PATH];
  ::GetTempPathW(MAX_PATH, buf);
  const std::wstring dir = std::wstring(buf) + L"kivo-" + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  for (const std::wstring& sub : subfolders) ::CreateDirectoryW((dir + sub + L"\\").c_str(), nullptr);
  return dir;
}

class TMainFormHost : public ::testing::Test {
 protected:
  explicit TMainFormHost(std::wstring folderName, std::vector<std::wstring> subfolders = {})
      : folderName_(std::move(folderName)), subfolders_(std::move(subfolders)) {}
  void SetUp() override {
    folder = MakeTempFolder(folderName_, subfolders_);
    ProgramDir = folder;
    InitFrameWriter();
    SysConfig.ActiveSource.clear();
    SysConfig.CaptureSource.clear();
    SysConfig.CaptureSourceIndex = -1;
    SetCaptureActive(true);
    Application()->CreateForm(KVMainForm);
    form = KVMainForm;
    form->Show();
    // the delayed start shows the camera page
    ASSERT_TRUE(PumpUntil([&] { return form->bookWindow->ActivePage() == L"Capture"; }, 5000));
  }
  void TearDown() override {
    DoneApplication();  // the main window frees what it owns (the recorders too)
    KVMainForm = nullptr;
    DoneFrameWriter();
    DeleteTree(folder);
  }

  std::wstring folder;
  TKVMainForm* form = nullptr;

 private:
  std::wstring folderName_;
  std::vector<std::wstring> subfolders_;
};

}  // namespace kivo::test
