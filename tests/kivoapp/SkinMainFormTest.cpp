// The main window skinned from kivoapp.skn in the test's own process: its controls and the effect
// pane get skinners, the Tag-99 bars do not, and switching the skin off gives
// every window back.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "GuiTestUtil.h"
#include "KVMain.h"
#include "KVSection.h"
#include "KVShared.h"
#include "SkinManager.h"
#include "SkinMessages.h"
#include "SkinnedForm.h"
#include "SysUtils.h"

using namespace kivo;
using kivo::test::PumpUntil;

namespace {

BOOL CALLBACK CollectWindow(HWND w, LPARAM l) {
  reinterpret_cast<std::vector<HWND>*>(l)->push_back(w);
  return TRUE;
}
std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  ::EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}
int SkinnedAmong(const std::vector<HWND>& windows) {
  int n = 0;
  for (HWND w : windows)
    if (::SendMessageW(w, SKM_ISSKINNED, 0, 0) == 1) ++n;
  return n;
}

TEST(MainFormSkin, ControlsAreSkinnedTagNinetyNineIsNotAndSwitchingTheSkinOffGivesThemBack) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"kivo-skinform-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring skin = folder + L"kivoapp.skn";
  ASSERT_TRUE(::CopyFileW((ExtractFilePath(ParamStr(0)) + L"program\\kivoapp.skn").c_str(), skin.c_str(), FALSE));
  ProgramDir = folder;
  InitFrameWriter();
  Application()->CreateForm(KVMainForm);
  TKVMainForm* form = KVMainForm;
  form->Show();
  ASSERT_TRUE(form->SkinData);
  ASSERT_FALSE(form->SkinData->NoSkin);
  ASSERT_TRUE(PumpUntil([&] {
    return SkinManager() && SkinManager()->FindWindow(form->Handle()) &&
           SkinManager()->FindWindow(form->Handle())->State == kFormSkinned;
  }, 10000));
  TSkinnedForm* skinned = SkinManager()->FindWindow(form->Handle());
  // the effect pane's page control and the forms in its tabs
  TPageControl* effects = nullptr;
  for (HWND w : Descendants(form->Handle()))
    if (auto* pc = dynamic_cast<TPageControl*>(FindControl(w))) effects = pc;
  ASSERT_TRUE(effects);
  ASSERT_TRUE(PumpUntil([&] { return skinned->FindSkinnerOf(effects) != nullptr; }, 5000));
  // (the effect forms come with the effect plug-ins of a program folder: see the program's own test)
  // Tag 99: the bars keep their own look
  EXPECT_EQ(skinned->FindSkinnerOf(form->pnlToolBar), nullptr);
  EXPECT_EQ(skinned->FindSkinnerOf(form->pnlSource), nullptr);
  const TColor toolBar = form->pnlToolBar->Color();
  const int before = SkinnedAmong(Descendants(form->Handle()));
  EXPECT_GT(before, 10);

  form->SkinData->SetActive(false);
  ASSERT_TRUE(PumpUntil([&] { return SkinManager()->FindWindow(form->Handle()) == nullptr; }, 10000));
  EXPECT_EQ(SkinnedAmong(Descendants(form->Handle())), 0);
  EXPECT_EQ(::SendMessageW(form->Handle(), SKM_ISSKINNED, 0, 0), 0);
  EXPECT_EQ(form->pnlToolBar->Color(), toolBar);
  EXPECT_EQ(form->pnlRight->Color(), clWhite);  // re-coloured while skinned, given back

  DoneApplication();
  KVMainForm = nullptr;
  DoneFrameWriter();
  ::DeleteFileW(skin.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
