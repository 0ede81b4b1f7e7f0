// Dialogs: the message dialog form built and driven by clicks from a timer, and the system's
// open, colour and font dialogs checked in their set-up and driven to OK or Cancel under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <dlgs.h>

#include "Dialogs.h"
#include "Pictures.h"
#include "GuiTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

class DialogsTest : public ::testing::Test {
 protected:
  void TearDown() override { DoneApplication(); }
};

// Runs a step from a timer while a modal loop runs (each step once, after a delay).
std::function<bool()> gStep;
int gStepTries = 0;
void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
  // the step answers true once it found its window
  if ((gStep && gStep()) || ++gStepTries > 100) {
    ::KillTimer(nullptr, id);
    gStep = nullptr;
  }
}
void StepSoon(std::function<bool()> step) {
  gStep = std::move(step);
  gStepTries = 0;
  ::SetTimer(nullptr, 0, 100, RunStep);
}

// The visible system dialog ("#32770") of this process.
HWND SystemDialog() { return FindVisibleTopLevel(L"#32770"); }

TEST_F(DialogsTest, MessageDialogIsAMessageFormWithNamedButtons) {
  TObjectPtr<TMessageForm> f(CreateMessageDialog(L"确定要退出吗?", TMsgDlgType::mtConfirmation, mbYesNoCancel));
  EXPECT_EQ(f->ClassName(), L"TMessageForm");
  EXPECT_TRUE(f->InheritsFrom(L"TCustomForm"));
  EXPECT_EQ(f->Caption(), L"Confirm");
  EXPECT_FALSE(f->Visible());
  EXPECT_EQ(f->Message->Caption(), L"确定要退出吗?");
  ASSERT_EQ(f->Buttons.size(), 3u);
  std::vector<std::wstring> names;
  for (TButton* b : f->Buttons) names.push_back(b->Name());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Yes", L"No", L"Cancel"}));
  EXPECT_EQ(f->Buttons[0]->ModalResult(), mrYes);
  EXPECT_TRUE(f->Buttons[0]->Default());
  EXPECT_TRUE(f->Buttons[2]->Cancel());
  EXPECT_EQ(f->Buttons[2]->ModalResult(), mrCancel);
  // the buttons sit side by side below the message, inside the client area
  for (TButton* b : f->Buttons) {
    EXPECT_GE(b->Top(), f->Message->Top() + f->Message->Height());
    EXPECT_LE(b->Left() + b->Width(), f->ClientWidth());
    EXPECT_LE(b->Top() + b->Height(), f->ClientHeight());
  }
  EXPECT_EQ(FindControl(f->Handle()), f.get());
  EXPECT_EQ(ClassOf(f->Handle()), L"TMessageForm");

  // custom type: the application's title, no icon
  Application()->SetTitle(L"YelkKivo");
  TObjectPtr<TMessageForm> g(CreateMessageDialog(L"x", TMsgDlgType::mtCustom, MsgDlgButton(mbOK)));
  EXPECT_EQ(g->Caption(), L"YelkKivo");
  EXPECT_EQ(g->FindComponent(L"Image"), nullptr);
  EXPECT_NE(f->FindComponent(L"Image"), nullptr);
}

TEST_F(DialogsTest, MessageDlgAnswersTheButtonTheUserClicks) {
  std::wstring seen;
  StepSoon([&] {
    HWND box = FindVisibleTopLevel(L"TMessageForm");
    if (!box) return false;
    auto* form = dynamic_cast<TMessageForm*>(FindControl(box));
    if (!form) return false;
    seen = form->Message->Caption();
    auto* no = static_cast<TButton*>(form->FindComponent(L"No"));
    ClickAt(no->Handle(), 5, 5);
    return true;
  });
  int r = MessageDlg(L"保存更改?", TMsgDlgType::mtWarning, mbYesNo);
  EXPECT_EQ(r, mrNo);
  EXPECT_EQ(seen, L"保存更改?");
  EXPECT_EQ(FindVisibleTopLevel(L"TMessageForm"), nullptr);

  // Enter takes the default button
  StepSoon([&] {
    HWND box = FindVisibleTopLevel(L"TMessageForm");
    if (!box) return false;
    FindControl(box)->Perform(CM_DIALOGKEY, VK_RETURN, 0);
    return true;
  });
  ShowMessage(L"完成");
  EXPECT_EQ(FindVisibleTopLevel(L"TMessageForm"), nullptr);
}

TEST_F(DialogsTest, OpenDialogSetUpCarriesFilterOptionsAndName) {
  TObjectPtr<TOpenDialog> d(new TOpenDialog(nullptr));
  d->SetFilter(L"Album (*.al)|*.al|All files|*.*");
  d->SetFilterIndex(2);
  d->SetOptions(ofAllowMultiSelect | ofFileMustExist | ofHideReadOnly);
  d->SetFileName(L"curalbum.al");
  d->SetDefaultExt(L".al");
  d->SetTitle(L"打开相册");
  TOpenDialog::TSetup s;
  d->Prepare(s);
  const wchar_t expected[] = L"Album (*.al)\0*.al\0All files\0*.*\0";
  EXPECT_EQ(std::wstring(s.ofn.lpstrFilter, sizeof(expected) / sizeof(wchar_t)), std::wstring(expected, sizeof(expected) / sizeof(wchar_t)));
  EXPECT_EQ(s.ofn.nFilterIndex, 2u);
  EXPECT_EQ(s.ofn.Flags & (OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER),
            static_cast<DWORD>(OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER));
  EXPECT_EQ(s.ofn.Flags & OFN_OVERWRITEPROMPT, 0u);
  EXPECT_STREQ(s.ofn.lpstrFile, L"curalbum.al");
  EXPECT_STREQ(s.ofn.lpstrDefExt, L"al");
  EXPECT_STREQ(s.ofn.lpstrTitle, L"打开相册");
  EXPECT_GE(s.ofn.nMaxFile, 0x8000u);  // room for many names

  // a multiple selection comes back as a folder and names
  const wchar_t multi[] = L"C:\\pics\0a.jpg\0b c.png\0\0";
  std::copy(std::begin(multi), std::end(multi), s.file.begin());
  s.ofn.nFilterIndex = 1;
  d->TakeResult(s);
  ASSERT_EQ(d->Files()->Count(), 2);
  EXPECT_EQ(d->Files()->Get(0), L"C:\\pics\\a.jpg");
  EXPECT_EQ(d->Files()->Get(1), L"C:\\pics\\b c.png");
  EXPECT_EQ(d->FileName(), L"C:\\pics\\a.jpg");
  EXPECT_EQ(d->FilterIndex(), 1);
  // one chosen file is the whole path
  const wchar_t single[] = L"C:\\pics\\one.jpg\0\0";
  std::copy(std::begin(single), std::end(single), s.file.begin());
  d->TakeResult(s);
  EXPECT_EQ(d->Files()->Count(), 1);
  EXPECT_EQ(d->FileName(), L"C:\\pics\\one.jpg");

  // the picture dialog takes the formats' filter it is given
  TObjectPtr<TOpenPictureDialog> p(new TOpenPictureDialog(nullptr, L"Bitmaps (*.bmp)|*.bmp"));
  EXPECT_EQ(p->Filter(), L"Bitmaps (*.bmp)|*.bmp");
  EXPECT_TRUE(p->InheritsFrom(L"TOpenDialog"));
  // without one, every registered picture format
  TObjectPtr<TOpenPictureDialog> all(new TOpenPictureDialog(nullptr));
  EXPECT_NE(all->Filter().find(L"*.bmp"), std::wstring::npos);
  EXPECT_NE(all->Filter().find(L"*.gif"), std::wstring::npos);
  EXPECT_EQ(all->Filter(), GraphicFilter(TGraphic::StaticClass()));
  TObjectPtr<TSaveDialog> save(new TSaveDialog(nullptr));
  save->SetOptions(ofOverwritePrompt);
  TOpenDialog::TSetup ss;
  save->Prepare(ss);
  EXPECT_NE(ss.ofn.Flags & OFN_OVERWRITEPROMPT, 0u);
}

std::wstring TempFolder() {
  wchar_t buf[MAX_PATH];
  DWORD n = ::GetTempPathW(MAX_PATH, buf);
  std::wstring dir = std::wstring(buf, n) + L"kivo_dlg_" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

TEST_F(DialogsTest, OpenDialogDrivenByTheUserReturnsTheChosenFiles) {
  std::wstring dir = TempFolder();
  for (const wchar_t* name : {L"a.al", L"b.al"}) {
    TFileOwner file(::CreateFileW((dir + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid());
  }
  TObjectPtr<TOpenDialog> d(new TOpenDialog(nullptr));
  d->SetFilter(L"Album (*.al)|*.al");
  d->SetInitialDir(dir);
  d->SetOptions(ofAllowMultiSelect | ofFileMustExist);
  // type two names into the name field and press OK
  StepSoon([&] {
    HWND dlg = SystemDialog();
    if (!dlg) return false;
    HWND name = ::GetDlgItem(dlg, cmb13);
    if (!name) name = ::GetDlgItem(dlg, edt1);
    if (!name) return false;
    ::SetWindowTextW(name, L"\"a.al\" \"b.al\"");
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
    return true;
  });
  ASSERT_TRUE(d->Execute());
  ASSERT_EQ(d->Files()->Count(), 2);
  std::vector<std::wstring> got{LowerCase(d->Files()->Get(0)), LowerCase(d->Files()->Get(1))};
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got[0], LowerCase(dir + L"\\a.al"));
  EXPECT_EQ(got[1], LowerCase(dir + L"\\b.al"));

  // cancelled: false, nothing changes
  StepSoon([&] {
    HWND dlg = SystemDialog();
    if (!dlg) return false;
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDCANCEL)));
    return true;
  });
  EXPECT_FALSE(d->Execute());
  EXPECT_EQ(d->Files()->Count(), 2);
  for (const wchar_t* name : {L"a.al", L"b.al"}) ::DeleteFileW((dir + L"\\" + name).c_str());
  ::RemoveDirectoryW(dir.c_str());
}

int CALLBACK FirstScalableFace(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM l) {
  if (!(type & TRUETYPE_FONTTYPE) || lf->lfFaceName[0] == L'@') return 1;
  *reinterpret_cast<std::wstring*>(l) = lf->lfFaceName;
  return 0;
}

TEST_F(DialogsTest, ColourAndFontDialogsKeepTheirValuesThroughOK) {
  TObjectPtr<TColorDialog> c(new TColorDialog(nullptr));
  c->SetColor(0x336699);
  c->CustomColors()->Add(L"ColorA=123456");
  TColorDialog::TSetup cs;
  c->Prepare(cs);
  EXPECT_EQ(cs.cc.rgbResult, 0x336699u);
  EXPECT_EQ(cs.custom[0], 0x123456u);
  EXPECT_NE(cs.cc.Flags & CC_RGBINIT, 0u);
  auto pressOk = [] {
    StepSoon([] {
      HWND dlg = SystemDialog();
      if (!dlg) return false;
      ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
      return true;
    });
  };
  int shows = 0, closes = 0;
  c->OnShow = [&](TObject*) { ++shows; };
  c->OnClose = [&](TObject*) { ++closes; };
  pressOk();
  ASSERT_TRUE(c->Execute());
  EXPECT_EQ(c->Color(), 0x336699);
  EXPECT_EQ(c->CustomColors()->Values(L"ColorA"), L"123456");
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(closes, 1);

  // a scalable face the system has (the dialog lists only those)
  std::wstring face;
  {
    TWindowDC screen(nullptr);
    LOGFONTW want{};
    want.lfCharSet = DEFAULT_CHARSET;
    ::EnumFontFamiliesExW(screen.Get(), &want, FirstScalableFace, reinterpret_cast<LPARAM>(&face), 0);
  }
  ASSERT_FALSE(face.empty());
  TObjectPtr<TFontDialog> f(new TFontDialog(nullptr));
  f->Font()->SetName(face);
  f->Font()->SetSize(12);
  f->Font()->SetColor(clRed);
  TFontDialog::TSetup fs;
  f->Prepare(fs);
  EXPECT_EQ(std::wstring(fs.lf.lfFaceName), face);

  EXPECT_EQ(fs.cf.rgbColors, static_cast<COLORREF>(clRed));
  EXPECT_NE(fs.cf.Flags & CF_EFFECTS, 0u);
  std::wstring sizeShown;
  StepSoon([&] {
    HWND dlg = SystemDialog();
    if (!dlg) return false;
    wchar_t buf[32] = {};
    ::GetDlgItemTextW(dlg, cmb3, buf, 32);  // the size box, filled once the dialog is set up
    if (!buf[0]) return false;
    sizeShown = buf;
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
    return true;
  });
  ASSERT_TRUE(f->Execute());
  EXPECT_EQ(sizeShown, L"12");
  EXPECT_EQ(f->Font()->Size(), 12);
  EXPECT_EQ(f->Font()->Name(), face);
  EXPECT_EQ(f->Font()->Color(), clRed);
}

}  // namespace
