// The main window, its idle page and the source window base in the test's own process: private
// messages, tabs, tool bar, function area, effect pane, capture source and the idle frame.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "GuiTestUtil.h"
#include "KVFAbout.h"
#include "KVFWindowAbs.h"
#include "KVMain.h"
#include "KVSection.h"
#include "KVShared.h"
#include "MainFormHost.h"
#include "WebTestUtil.h"

using namespace kivo;
using kivo::test::PumpUntil;

namespace {

// Clicks a windowless control through the window it sits on.
void ClickControl(TControl* c, int dx = -1, int dy = -1) {
  HWND w = c->Parent()->Handle();
  const int x = c->Left() + (dx < 0 ? c->Width() / 2 : dx), y = c->Top() + (dy < 0 ? c->Height() / 2 : dy);
  test::ClickAt(w, x, y);
}

class MainForm : public test::TMainFormHost {
 protected:
  MainForm() : TMainFormHost(L"mainform") {}
};

}  // namespace

TEST_F(MainForm, AnswersItsPrivateMessages) {
  EXPECT_EQ(MainWindowHandle, form->Handle());
  EXPECT_EQ(PreviewWindowHandle, form->bookWindow->Handle());
  EXPECT_EQ(MainCaption, L"YelkKivo");

  for (int move = 0; move < 2; ++move) {
    form->SetLeft(40 + move * 100);
    auto* r = reinterpret_cast<const RECT*>(::SendMessageW(form->Handle(), WM_GET_PREVIEW_RECT, 0, 0));
    ASSERT_NE(r, nullptr);
    RECT expected;
    ::GetClientRect(form->bookWindow->Handle(), &expected);
    ::MapWindowPoints(form->bookWindow->Handle(), nullptr, reinterpret_cast<POINT*>(&expected), 2);
    EXPECT_TRUE(::EqualRect(r, &expected)) << "after move " << move;
    EXPECT_EQ(r->right - r->left, 320);
    EXPECT_EQ(r->bottom - r->top, 240);
  }

  ::SendMessageW(form->Handle(), WM_RECORD_STATE, 1, reinterpret_cast<LPARAM>(form->btnVideoRec));
  EXPECT_FALSE(form->btnAudioRec->Enabled());
  EXPECT_TRUE(form->btnVideoRec->Enabled());
  ::SendMessageW(form->Handle(), WM_RECORD_STATE, 0, reinterpret_cast<LPARAM>(form->btnVideoRec));
  EXPECT_TRUE(form->btnAudioRec->Enabled());
  ::SendMessageW(form->Handle(), WM_RECORD_STATE, 1, reinterpret_cast<LPARAM>(form->btnAudioRec));
  EXPECT_FALSE(form->btnVideoRec->Enabled());
  ::SendMessageW(form->Handle(), WM_RECORD_STATE, 1, 12345);  // anything else is ignored
  EXPECT_FALSE(form->btnVideoRec->Enabled());
  EXPECT_TRUE(form->btnAudioRec->Enabled());

  // the capture page is shown: the movie window's video window (the idle page: the camera window's)
  ASSERT_NE(form->MovieWindowA, nullptr);
  EXPECT_EQ(::SendMessageW(form->Handle(), WM_GET_VIDEO_WINDOW, 0, 0), reinterpret_cast<LRESULT>(form->MovieWindowA->Window));
  form->bookWindow->SetPageIndex(0);
  EXPECT_EQ(::SendMessageW(form->Handle(), WM_GET_VIDEO_WINDOW, 0, 0), reinterpret_cast<LRESULT>(form->CameraWindowA->Window));
  form->bookWindow->SetPageIndex(1);

  ::SendMessageW(form->Handle(), WM_SET_CAPTURE_SOURCE, 0, 2);
  EXPECT_EQ(SysConfig.CaptureSourceIndex.load(), 2);
  EXPECT_EQ(SysConfig.CaptureSource, L"Album");
  EXPECT_TRUE(form->btnSrcAlbum->Checked());
  EXPECT_FALSE(form->btnSrcCamera->Checked());

  // docked windows follow the main window
  std::vector<UINT> follows;
  TUtilWindow docked([&](TMessage& m) {
    if (m.Msg == WM_DOCK_FOLLOW) follows.push_back(reinterpret_cast<WINDOWPOS*>(m.LParam)->flags);
  });
  ::SendMessageW(form->Handle(), WM_DOCK_ATTACH, reinterpret_cast<WPARAM>(docked.Handle()), 0);
  form->SetLeft(10);
  EXPECT_FALSE(follows.empty());
  ::SendMessageW(form->Handle(), WM_DOCK_DETACH, reinterpret_cast<WPARAM>(docked.Handle()), 0);
  follows.clear();
  form->SetLeft(20);
  EXPECT_TRUE(follows.empty());
}

TEST_F(MainForm, TabsToolBarFunctionAreaAndEffectPane) {
  // after the delayed start: camera shown and the capture source; the function area collapsed
  EXPECT_EQ(form->bookSource->ActivePage(), L"Camera");
  EXPECT_TRUE(form->btnSrcCamera->Down());
  EXPECT_EQ(SysConfig.CaptureSourceIndex.load(), 0);
  EXPECT_TRUE(form->FunctionAreaCollapsed());
  const int collapsedHeight = form->ClientHeight();

  ClickControl(form->btnSrcCamera);  // the shown page's tab expands ...
  EXPECT_FALSE(form->FunctionAreaCollapsed());
  EXPECT_EQ(form->ClientHeight(), collapsedHeight + 237);
  ClickControl(form->btnSrcCamera);  // ... and collapses again
  EXPECT_TRUE(form->FunctionAreaCollapsed());
  EXPECT_EQ(form->ClientHeight(), collapsedHeight);

  // another tab shows its page and expands, without moving the capture source
  ClickControl(form->btnSrcMovie);
  EXPECT_EQ(form->bookSource->ActivePage(), L"Movie");
  EXPECT_EQ(form->bookCapture->ActivePage(), L"Movie");
  EXPECT_TRUE(form->btnSrcMovie->Down());
  EXPECT_FALSE(form->btnSrcCamera->Down());
  EXPECT_FALSE(form->FunctionAreaCollapsed());
  EXPECT_EQ(SysConfig.ActiveSource, L"Movie");
  EXPECT_EQ(SysConfig.CaptureSourceIndex.load(), 0);

  // the check glyph of a tab moves the capture source (the program's glyphs are its resources;
  // here the tab gets one of the same size)
  TBitmap mark;
  mark.SetSize(14, 14);
  form->btnSrcSnag->GlyphChecked()->SetGlyph(&mark);
  ClickControl(form->btnSrcSnag, 6, 6);
  EXPECT_EQ(SysConfig.CaptureSourceIndex.load(), 3);
  EXPECT_EQ(SysConfig.CaptureSource, L"Snag");
  EXPECT_TRUE(form->btnSrcSnag->Checked());
  EXPECT_FALSE(form->btnSrcCamera->Checked());
  EXPECT_EQ(form->bookSource->ActivePage(), L"Movie");

  // the capture button switches the output off and on
  ClickControl(form->btnDisCapture);
  EXPECT_FALSE(CaptureActive());
  ClickControl(form->btnDisCapture);
  EXPECT_TRUE(CaptureActive());

  // the effect pane opens to its designed width and closes again
  const int collapsedWidth = form->Width();
  EXPECT_EQ(collapsedWidth, form->pnlMain->Width() + 6);
  ClickControl(form->btnEffect);
  EXPECT_EQ(form->Width(), collapsedWidth + form->EffectOpenWidth());
  EXPECT_GT(form->pnlRight->Width(), 20);
  ClickControl(form->btnEffect);
  EXPECT_EQ(form->Width(), collapsedWidth);
}

TEST_F(MainForm, CloseHidesToTheTrayUntilExit) {
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(Application()->Terminated());
  form->miShowMainFormClick(nullptr);
  EXPECT_TRUE(form->Visible());
}

// ---- The web strip --------------------------------------------------------------------------------------
namespace {

// The main window with the web browser control as the test sets it: the machine's own control
// (every one made is held once by the test) or none at all; the program folder holds the strip's
// page as the build makes it.
class MainFormStrip : public test::TMainFormHost {
 protected:
  explicit MainFormStrip(test::TWebControlOverride::TMode mode = test::TWebControlOverride::TMode::Machine)
      : TMainFormHost(L"mainstrip"), mode_(mode) {}
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    oleStarted_ = true;
    control = std::make_unique<test::TWebControlOverride>(mode_);
    ASSERT_EQ(control->Result(), S_OK);
    page = test::MakeTempFolder(L"mainstrip") + kAdPage;
    const std::wstring built = ExtractFilePath(ParamStr(0)) + L"program\\" + kAdPage;
    ASSERT_TRUE(::CopyFileW(built.c_str(), page.c_str(), FALSE)) << "the build's page is missing";
    Application()->OnException = [this](TObject*, const std::exception& e) { errors.push_back(e.what()); };
    TMainFormHost::SetUp();
  }
  void TearDown() override {
    TMainFormHost::TearDown();
    control.reset();
    if (oleStarted_) ::OleUninitialize();
  }
  // The strip's window rectangle on the screen.
  RECT StripRect() {
    RECT r;
    ::GetClientRect(form->AdBrowser->Handle(), &r);
    ::MapWindowPoints(form->AdBrowser->Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  std::unique_ptr<test::TWebControlOverride> control;
  std::wstring page;
  std::vector<std::string> errors;

 private:
  test::TWebControlOverride::TMode mode_;
  bool oleStarted_ = false;
};

class MainFormWithoutWebControl : public MainFormStrip {
 protected:
  MainFormWithoutWebControl() : MainFormStrip(test::TWebControlOverride::TMode::Missing) {}
};

}  // namespace

TEST_F(MainFormStrip, HostsTheWebControlInPlaceShowingOurPage) {
  ASSERT_EQ(control->Made().size(), 1u);
  IUnknown* made = control->Made()[0].Get();
  EXPECT_EQ(form->AdBrowser->CreateError(), S_OK);

  // in place in the strip's window, filling it, and following its size
  HWND web = test::TWebControlOverride::ControlWindow(made);
  ASSERT_NE(web, nullptr) << "the control is not active in place";
  EXPECT_EQ(::GetParent(web), form->AdBrowser->Handle());
  EXPECT_TRUE(::IsChild(form->pnlBroad->Handle(), web));
  EXPECT_TRUE(::IsWindowVisible(web));
  for (int height : {24, 60}) {
    form->pnlBroad->SetHeight(height);
    RECT strip = StripRect(), control;
    ::GetWindowRect(web, &control);
    EXPECT_TRUE(::EqualRect(&strip, &control)) << "strip " << height << " high: control at " << control.left << ","
                                               << control.top << " " << control.right - control.left << " x "
                                               << control.bottom - control.top;
    EXPECT_EQ(control.bottom - control.top, height);
    EXPECT_EQ(control.right - control.left, 320);
  }

  // the delayed start sent the control to our page, read back from the control where it answers
  TComPtr<IWebBrowser2> browser;
  ASSERT_EQ(made->QueryInterface(IID_IWebBrowser2, browser.PutVoid()), S_OK);
  BSTR location = nullptr;
  const HRESULT hr = browser->get_LocationURL(&location);
  const std::wstring reported = location ? location : L"";
  ::SysFreeString(location);
  if (hr == S_OK && !reported.empty()) {
    EXPECT_EQ(test::PathOfUrl(reported), test::Lowered(page));
  }
  EXPECT_EQ(test::PathOfUrl(form->AdBrowser->LocationURL()), test::Lowered(page));
  EXPECT_TRUE(errors.empty());
}

TEST_F(MainFormStrip, ClosingTheMainWindowLetsTheControlGo) {
  ASSERT_EQ(control->Made().size(), 1u);
  IUnknown* made = control->Made()[0].Get();
  HWND web = test::TWebControlOverride::ControlWindow(made);
  ASSERT_NE(web, nullptr);
  EXPECT_GT(test::TWebControlOverride::OthersRefs(made), 0u);

  DoneApplication();  // as the program ends: the main window and everything on it go
  KVMainForm = nullptr;
  EXPECT_FALSE(::IsWindow(web));
  EXPECT_EQ(test::TWebControlOverride::OthersRefs(made), 0u) << "references to the control were left";
  EXPECT_EQ(control->Made()[0].Detach()->Release(), 0u);
}

TEST_F(MainFormWithoutWebControl, LeavesAnEmptyStripAndAWorkingWindow) {
  EXPECT_EQ(form->AdBrowser->CreateError(), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(form->AdBrowser->ControlInterface(), nullptr);
  EXPECT_EQ(::GetWindow(form->AdBrowser->Handle(), GW_CHILD), nullptr);
  EXPECT_EQ(form->AdBrowser->LocationURL(), L"");
  EXPECT_TRUE(errors.empty()) << errors.front();

  // the strip shows its own colour
  ::RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE | RDW_ALLCHILDREN);
  {
    TWindowDC dc(form->AdBrowser->Handle());
    EXPECT_EQ(::GetPixel(dc.Get(), 160, 12), ColorToRGB(form->AdBrowser->Color()));
  }

  // the window works: a tab expands the function area and the strip stays at the column's foot
  const int collapsedHeight = form->ClientHeight();
  ClickControl(form->btnSrcCamera);
  EXPECT_FALSE(form->FunctionAreaCollapsed());
  EXPECT_EQ(form->ClientHeight(), collapsedHeight + 237);
  RECT column, strip = StripRect();
  ::GetClientRect(form->pnlMain->Handle(), &column);
  ::MapWindowPoints(form->pnlMain->Handle(), nullptr, reinterpret_cast<POINT*>(&column), 2);
  EXPECT_EQ(strip.bottom, column.bottom);
  EXPECT_EQ(strip.bottom - strip.top, 24);
  EXPECT_TRUE(errors.empty());
}

// ---- The idle frame ---------------------------------------------------------------------------------------
TEST(IdlePage, WritesThePictureUnscaledOnAWhiteFrame) {
  const std::wstring folder = test::MakeTempFolder(L"mainform");
  ProgramDir = folder;
  // a 100 x 60 picture with a colour per quarter
  TBitmap pic;
  pic.SetPixelFormat(TPixelFormat::pf24bit);
  pic.SetSize(100, 60);
  const TColor quarter[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
  for (int q = 0; q < 4; ++q) {
    pic.Canvas()->Brush()->SetColor(quarter[q]);
    pic.Canvas()->FillRect(RECT{(q % 2) * 50, (q / 2) * 30, (q % 2) * 50 + 50, (q / 2) * 30 + 30});
  }
  pic.SaveToFile(folder + L"default.bmp");
  EXPECT_EQ(FindIdlePicture(folder), folder + L"default.bmp");

  InitFrameWriter();
  {
    TFrameSectionReader reader(MakeOfferedVideoInfo());
    ASSERT_TRUE(reader.HasView());
    TObjectPtr<TAboutFrame> about(new TAboutFrame(nullptr));
    std::vector<BYTE> frame;
    ASSERT_TRUE(PumpUntil(
        [&] {
          reader.Read([&](const BYTE* p, std::size_t n) { frame.assign(p, p + n); });
          return !frame.empty() && frame[0] != 0;
        },
        5000));
    ASSERT_EQ(frame.size(), 320u * 240u * 3u);
    auto pixel = [&](int x, int yFromTop) {
      const BYTE* p = frame.data() + (239 - yFromTop) * 960 + x * 3;
      return RGB(p[2], p[1], p[0]);
    };
    EXPECT_EQ(pixel(10, 10), ColorToRGB(quarter[0]));
    EXPECT_EQ(pixel(60, 10), ColorToRGB(quarter[1]));
    EXPECT_EQ(pixel(10, 40), ColorToRGB(quarter[2]));
    EXPECT_EQ(pixel(99, 59), ColorToRGB(quarter[3]));
    EXPECT_EQ(pixel(100, 10), RGB(255, 255, 255)) << "right of the picture";
    EXPECT_EQ(pixel(10, 60), RGB(255, 255, 255)) << "below the picture";
    EXPECT_EQ(pixel(319, 239), RGB(255, 255, 255));
  }
  DoneFrameWriter();
  ::DeleteFileW((folder + L"default.bmp").c_str());
  ::RemoveDirectoryW(folder.c_str());
}

// ---- The source window base --------------------------------------------------------------------------------
namespace {
class TTestWindow : public TSourceWindowAbs {
 public:
  using TSourceWindowAbs::TSourceWindowAbs;
  std::int32_t state = kStateNone;
  std::vector<std::string> calls;
  std::int32_t State() override { return state; }
  bool Play(std::int32_t index, bool automatic) override {
    calls.push_back("play " + std::to_string(index));
    return TSourceWindowAbs::Play(index, automatic);
  }
  bool Resume(bool) override {
    calls.push_back("resume");
    return true;
  }
};
}  // namespace

TEST(SourceWindow, PlayStateCaptureTargetAndStrip) {
  std::vector<LPARAM> requests;
  TObjectPtr<TForm> host(Create<TForm>(nullptr));
  host->SetBounds(0, 0, 400, 300);
  host->Show();
  int messages = 0;
  const TWndMethod old = host->WindowProc;
  host->WindowProc = [&](TMessage& m) {
    if (m.Msg == WM_SET_CAPTURE_SOURCE) {
      ++messages;
      requests.push_back(m.LParam);
    }
    old(m);
  };
  MainWindowHandle = host->Handle();
  auto* w = Create<TTestWindow>(host.get());
  w->SetParent(host.get());
  w->SourceIndex = 2;

  // a window that does not play always shows its strip with the play button
  bool allowed = true;
  w->HoverPlayControls(POINT{-5000, -5000}, allowed);
  EXPECT_TRUE(w->pnlPlayControl->Visible());
  EXPECT_TRUE(allowed);
  EXPECT_TRUE(w->btnPlay->Visible());
  EXPECT_FALSE(w->btnPause->Visible());
  EXPECT_EQ(w->btnPause->BoundsRect().left, w->btnPlay->BoundsRect().left);

  // a user's play asks the main window for the capture source; a program's start does not
  SysConfig.CaptureSourceIndex = 0;
  w->PlayOrResume(true);
  EXPECT_EQ(messages, 0);
  ClickControl(w->btnPlay);
  EXPECT_EQ(requests, std::vector<LPARAM>{2});
  EXPECT_EQ(w->calls, (std::vector<std::string>{"play -100", "play -100"}));
  SysConfig.CaptureSourceIndex = 2;  // already the capture source: no message
  w->PlayOrResume(false);
  EXPECT_EQ(messages, 1);

  // a paused window resumes
  w->calls.clear();
  w->state = kStatePaused;
  w->PlayOrResume(false);
  EXPECT_EQ(w->calls, std::vector<std::string>{"resume"});

  // capture target: capture on and this window's source chosen
  SetCaptureActive(true);
  EXPECT_TRUE(w->IsCaptureTarget());
  SetCaptureActive(false);
  EXPECT_FALSE(w->IsCaptureTarget());
  SetCaptureActive(true);
  SysConfig.CaptureSourceIndex = 1;
  EXPECT_FALSE(w->IsCaptureTarget());

  // playing: the strip follows the buttons and shows only under the cursor while active
  w->state = kStatePlaying;
  w->UpdateButtons();
  EXPECT_TRUE(w->btnPause->Visible());
  EXPECT_FALSE(w->btnPlay->Visible());
  w->HoverPlayControls(POINT{-5000, -5000}, allowed);
  EXPECT_FALSE(w->pnlPlayControl->Visible()) << "inactive playing window";
  w->ActivateWindow();
  RECT strip;
  GetControlScreenRect(w->pnlPlayControl, strip);
  allowed = true;
  w->HoverPlayControls(POINT{strip.left + 5, strip.top + 5}, allowed);
  EXPECT_TRUE(w->pnlPlayControl->Visible());
  EXPECT_FALSE(allowed) << "a later window may not take the strip";
  EXPECT_EQ(HoverWindow, w->pnlPlayControl->Handle());
  w->HoverPlayControls(POINT{strip.left + 5, strip.top + 5}, allowed);
  EXPECT_FALSE(w->pnlPlayControl->Visible()) << "not allowed any more";
  allowed = true;
  w->HoverPlayControls(POINT{-5000, -5000}, allowed);
  EXPECT_FALSE(w->pnlPlayControl->Visible());
  w->DeactivateWindow();
  host->WindowProc = old;
  MainWindowHandle = nullptr;
  SysConfig.CaptureSourceIndex = -1;
  DoneApplication();
}
