// The effect forms and the effect pane under Xvfb: the colour form's scroll bars and buttons, form
// creation and embedding, the pane's tabs with the forms in them, enabling effects through their
// check boxes, and the picture lists filled from the effect folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EffectTestUtil.h"
#include "GuiTestUtil.h"
#include "KVEffAniProc.h"
#include "KVEffColorForm.h"
#include "KVEffColorProc.h"
#include "KVEffMan.h"
#include "KVEffTxtForm.h"
#include "KVEffTxtProc.h"
#include "KVShared.h"
#include "KVProcessorList.h"
#include "SysUtils.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A visible form to embed into.
TObjectPtr<TForm> Host(int width = 340, int height = 420) {
  TObjectPtr<TForm> f(Create<TForm>(nullptr));
  f->SetBounds(10, 10, width, height);
  f->Show();
  return f;
}

void Scroll(TScrollBar* bar, int code) {
  ::SendMessageW(::GetParent(bar->Handle()), WM_HSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(bar->Handle()));
}
void Click(TWinControl* c) { ::SendMessageW(c->Handle(), BM_CLICK, 0, 0); }

}  // namespace

TEST(ColorForm, ScrollBarsChangeTheFrameAsComputed) {
  auto host = Host();
  TComPtr<TColorProcessor> p(new TColorProcessor());
  HWND formWnd = p->ShowForm(host->Handle());
  ASSERT_NE(formWnd, nullptr);
  auto* form = static_cast<TColorProcForm*>(p->Form());
  EXPECT_EQ(::GetParent(formWnd), host->Handle());
  Click(form->chkEnable);
  EXPECT_EQ(p->GetState(), TProcessorState::psStopped);  // enabled; the colour effect works while stopped

  struct Case {
    const char* name;
    TScrollBar* bar;
    int code;
    int field;  // the processor field after the scroll
    TRgb expected;  // a (100, 150, 200) pixel afterwards, the other bars neutral
  };
  auto field = [&](TScrollBar* bar) -> int {
    if (bar == form->sRed) return p->RedOffset;
    if (bar == form->sBlue) return p->GreenOffset;
    if (bar == form->sGreen) return p->BlueOffset;
    if (bar == form->sContrast) return p->Contrast;
    if (bar == form->sLightness) return p->Lightness;
    return p->Saturation;
  };
  const Case cases[] = {
      {"red +1", form->sRed, SB_LINEDOWN, 1, {101, 150, 200}},
      {"red +10 by page", form->sRed, SB_PAGEDOWN, 10, {110, 150, 200}},
      {"red to the bottom", form->sRed, SB_BOTTOM, 255, {255, 150, 200}},
      {"the bar named sBlue moves green", form->sBlue, SB_PAGEUP, -10, {100, 140, 200}},
      {"the bar named sGreen moves blue", form->sGreen, SB_TOP, -255, {100, 150, 0}},
      {"lightness +10", form->sLightness, SB_PAGEDOWN, 10, {100 + (155 * 10 >> 8), 150 + (105 * 10 >> 8), 200 + (55 * 10 >> 8)}},
      {"contrast -1", form->sContrast, SB_LINEUP, -1, {100, 150, 200}},
      // away from 128 by |128 - v| x 10 / 256: 100 and 200 move, 150 not yet
      {"contrast +10 by page", form->sContrast, SB_PAGEDOWN, 10, {99, 150, 202}},
      {"saturation 0", form->sSaturation, SB_TOP, 0, {149, 149, 149}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Click(form->btnDefault);
    Scroll(c.bar, c.code);
    EXPECT_EQ(field(c.bar), c.field);
    TTestFrame frame(8, 6);
    frame.Fill(TRgb{100, 150, 200});
    p->Process(frame.DC(), frame.Bitmap(), frame.Info());
    EXPECT_EQ(frame.At(3, 3), c.expected);
  }

  // the reset puts the bars back and keeps the check boxes
  Click(form->chkInvert);
  Click(form->chkGray);
  Scroll(form->sRed, SB_PAGEDOWN);
  EXPECT_TRUE(p->Flip);
  EXPECT_TRUE(p->Gray);
  Click(form->btnDefault);
  for (TScrollBar* bar : {form->sRed, form->sBlue, form->sGreen, form->sContrast, form->sLightness, form->sSaturation})
    EXPECT_EQ(bar->Position(), 255);
  EXPECT_EQ(p->RedOffset, 0);
  EXPECT_EQ(p->Saturation, 255);
  EXPECT_TRUE(form->chkInvert->Checked());
  EXPECT_TRUE(form->chkGray->Checked());
  EXPECT_TRUE(p->Flip);
  EXPECT_TRUE(p->Gray);

  // disabled: the frame is left alone at once, the values stay
  Click(form->chkEnable);
  EXPECT_EQ(p->GetState(), TProcessorState::psDisabled);
  EXPECT_TRUE(p->Gray);
  p->CloseForm();
  EXPECT_EQ(p->Form(), nullptr);
}

namespace {

int gLoads = 0;
class TCountingForm : public TImageProcFormAbs {
 public:
  explicit TCountingForm(TImageProcessorAbs* p) : TImageProcFormAbs(p) { SetClientWidth(100); }
  void LoadSettings() override { ++gLoads; }
};
class TFormProcessor : public TImageProcessorAbs {
 public:
  explicit TFormProcessor(bool withForm) {
    name_ = L"测试";
    if (withForm) formClass_ = ProcFormClass<TCountingForm>;
  }
};

}  // namespace

TEST(ProcessorForm, MadeOnceEmbeddedAndFitted) {
  auto host = Host();
  TComPtr<TFormProcessor> p(new TFormProcessor(true));
  gLoads = 0;
  HWND a = p->ShowForm(host->Handle());
  HWND b = p->ShowForm(host->Handle());
  EXPECT_EQ(a, b);
  EXPECT_EQ(gLoads, 1);
  EXPECT_EQ(::GetParent(a), host->Handle());
  EXPECT_EQ(p->Form()->BorderStyle(), TFormBorderStyle::bsNone);
  RECT client;
  ::GetClientRect(host->Handle(), &client);
  EXPECT_EQ(p->Form()->Width(), client.right);
  EXPECT_EQ(p->Form()->Height(), client.bottom);
  EXPECT_TRUE(::IsWindowVisible(a));
  host->SetBounds(10, 10, 300, 200);
  ::GetClientRect(host->Handle(), &client);
  p->FitForm(host->Handle());
  EXPECT_EQ(p->Form()->Width(), client.right);
  p->CloseForm();
  EXPECT_FALSE(::IsWindow(a));
  p->ShowForm(host->Handle());
  EXPECT_EQ(gLoads, 2);  // a new form reads its settings again
  p->CloseForm();
  p->CloseForm();

  TComPtr<TFormProcessor> none(new TFormProcessor(false));
  EXPECT_EQ(none->ShowForm(host->Handle()), nullptr);
  none->FitForm(host->Handle());
  none->NotifyForm();
  none->CloseForm();
}

// ---- The pane ---------------------------------------------------------------------------------

namespace {

std::vector<TControl*> gSkinned;
void RecordSkinned(TControl* c) { gSkinned.push_back(c); }

struct TPaneFixture : ::testing::Test {
  TTempTree dir;
  std::wstring savedDir = ProgramDir;
  TSkinFormProc savedSkin = SkinFormProc;
  std::vector<TControl*>& skinned = gSkinned;
  void SetUp() override {
    ProgramDir = dir.Dir();
    std::wstring effect = dir.Sub(L"Effect");
    TGifPalette pal{{0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    TGifPicture gif = MakeGif(16, 12, pal, {{0, 0, 16, 12, 1, {4, 4, 12, 8}, 2, 10, 1, -1}});
    std::wstring border = dir.Sub(L"Effect\\border");
    WriteGif(border + L"A.GIF", gif);
    WriteGif(border + L"b.Gif", gif);
    WriteFileBytes(border + L"c.txt", {'x'});
    WriteFileBytes(border + L"d.bmp", EncodeBmp(TPixelBuffer(4, 4, 24)));
    std::wstring mask = dir.Sub(L"Effect\\mask");
    WriteFileBytes(mask + L"m.BMP", EncodeBmp(TPixelBuffer(4, 4, 24)));
    WriteGif(mask + L"n.gif", gif);
    InitProcessorList();
    RegisterColorProcessor();
    RegisterTextProcessor();
    RegisterPictureProcessors();
    gSkinned.clear();
    SkinFormProc = &RecordSkinned;
  }
  void TearDown() override {
    SkinFormProc = savedSkin;
    DoneProcessorList();
    ProgramDir = savedDir;
  }
  template <class P>
  P* Proc(int index) {
    return static_cast<P*>(static_cast<TImageProcessorAbs*>(GetImageProcessor(index).Get()));
  }
  static std::vector<std::wstring> Names(TAlbumList* list) {
    std::vector<std::wstring> n;
    for (int i = 0; i < list->Items()->Count(); ++i) n.push_back(TAlbumList::Entry(list->Items()->Item(i))->Name);
    std::sort(n.begin(), n.end());
    return n;
  }
};

}  // namespace

TEST_F(TPaneFixture, TabsFormsAndEffectFolders) {
  auto host = Host(340, 460);
  TEffectMan* p = Create<TEffectMan>(host.get());  // owned by the host form
  p->SetParent(host.get());
  p->SetAlign(TAlign::alClient);
  p->BuildTabs();

  const wchar_t* names[] = {L"画质", L"文字", L"动画", L"边框", L"饰品", L"灯光", L"遮罩"};
  ASSERT_EQ(p->SysBook->PageCount(), 7);
  EXPECT_EQ(p->SysBook->TabPosition(), TTabPosition::tpBottom);
  EXPECT_EQ(p->SysBook->ActivePageIndex(), 0);
  EXPECT_EQ(EffectPaneHandle, p->Handle());
  ASSERT_EQ(skinned.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    TTabSheet* sheet = p->SysBook->Pages(i);
    EXPECT_EQ(sheet->Caption(), names[i]);
    auto* proc = Proc<TImageProcessorAbs>(i);
    ASSERT_NE(proc->Form(), nullptr);
    EXPECT_EQ(::GetParent(proc->Form()->Handle()), sheet->Handle());
    EXPECT_EQ(skinned[i], proc->Form());
    RECT client;
    ::GetClientRect(sheet->Handle(), &client);
    EXPECT_EQ(proc->Form()->Width(), client.right);
    EXPECT_EQ(proc->Form()->Height(), client.bottom);
  }
  // the pane follows its size
  host->SetBounds(10, 10, 400, 520);
  PumpFor(50);
  RECT client;
  ::GetClientRect(p->SysBook->Pages(3)->Handle(), &client);
  EXPECT_EQ(Proc<TImageProcessorAbs>(3)->Form()->Width(), client.right);
  EXPECT_EQ(Proc<TImageProcessorAbs>(3)->Form()->Height(), client.bottom);

  // the border list fills from its folder: GIFs of any letter case, nothing else
  auto* borderForm = static_cast<TImageProcForm*>(Proc<TImageProcessorAbs>(3)->Form());
  EXPECT_EQ(borderForm->FileMask, L"*.gif");
  ASSERT_TRUE(PumpUntil([&] { return !borderForm->FileList->Scanning() && borderForm->FileList->Items()->Count() == 2; }));
  PumpFor(50);
  EXPECT_EQ(Names(borderForm->FileList), (std::vector<std::wstring>{L"A", L"b"}));
  // the other folders were made
  for (const wchar_t* sub : {L"animation", L"decoration", L"light"}) EXPECT_TRUE(DirectoryExists(dir.Path(L"Effect\\") + sub));

  // enabling through the check box starts the processor (no file yet: it draws nothing)
  auto* border = Proc<TBorderProcessor>(3);
  Click(borderForm->chkEnable);
  EXPECT_EQ(border->GetState(), TProcessorState::psRunning);
  TTestFrame frame(32, 24);
  frame.Fill(TRgb{128, 128, 128});
  EXPECT_FALSE(border->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  // choosing a picture (a double click on it) makes it the effect's file
  borderForm->FileList->SetItemIndex(0);
  RECT item = borderForm->FileList->Items()->Item(0)->DisplayRect(LVIR_ICON);
  ::SendMessageW(borderForm->FileList->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(item.left + 20, item.top + 20));
  ::SendMessageW(borderForm->FileList->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(item.left + 20, item.top + 20));
  TAlItem* chosen = TAlbumList::Entry(borderForm->FileList->Items()->Item(0));
  EXPECT_EQ(border->FileName(), chosen->Path);
  EXPECT_EQ(borderForm->lblSelected->Caption(), chosen->Name);
  EXPECT_TRUE(border->Process(frame.DC(), frame.Bitmap(), frame.Info()));
  EXPECT_EQ(frame.At(0, 0), (TRgb{255, 0, 0}));
  // unchecked: disabled
  Click(borderForm->chkEnable);
  EXPECT_EQ(border->GetState(), TProcessorState::psDisabled);

  // the mask lists every picture format; enabled before a file is chosen it waits, and
  // choosing one starts it
  auto* maskForm = static_cast<TImageProcForm*>(Proc<TImageProcessorAbs>(6)->Form());
  ASSERT_TRUE(PumpUntil([&] { return !maskForm->FileList->Scanning() && maskForm->FileList->Items()->Count() == 2; }));
  PumpFor(50);
  EXPECT_EQ(Names(maskForm->FileList), (std::vector<std::wstring>{L"m", L"n"}));
  auto* mask = Proc<TMaskProcessor>(6);
  Click(maskForm->chkEnable);
  EXPECT_EQ(mask->GetState(), TProcessorState::psStopped);
  maskForm->FileList->SetItemIndex(1);
  maskForm->ApplySettings();
  EXPECT_EQ(mask->GetState(), TProcessorState::psRunning);
  EXPECT_TRUE(maskForm->chkEnable->Checked());

  // the text effect: enabled with an empty caption it runs and draws nothing
  auto* text = Proc<TTextProcessor>(1);
  auto* textForm = static_cast<TTextProcForm*>(text->Form());
  textForm->Memo->SetText(L"");
  Click(textForm->chkEnable);
  EXPECT_EQ(text->GetState(), TProcessorState::psRunning);
  EXPECT_FALSE(text->Process(frame.DC(), frame.Bitmap(), frame.Info()));

  // the pane's end closes every form
  host.reset();
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Proc<TImageProcessorAbs>(i)->Form(), nullptr) << i;
}
