// A skinned window gives each of its controls the skinner its class calls for, with the real
// skinners registered; SKM_ENABLE switches one off and on; switching the skin off gives every
// control back.
#include <gtest/gtest.h>

#include <windows.h>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "SkinManager.h"
#include "SkinMessages.h"
#include "SkinnedForm.h"
#include "SkinnerTestUtil.h"
#include "Skinners.h"
#include "StdCtrls.h"

namespace kivo {

// A radio group of another component set: its class name holds "radiogroup".
class TTestRadioGroup : public TCustomGroupBox {
  KIVO_CLASS(TTestRadioGroup, TCustomGroupBox)
 public:
  using TCustomGroupBox::TCustomGroupBox;
};
KIVO_IMPLEMENT_CLASS(TTestRadioGroup)

namespace {
using namespace kivo::test;

class SkinnedControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeSkinManager();
    RegisterControlSkinners();
    data = new TSkinData(nullptr);
    data->SetSkinFile(TestFile(L"kivotest.skn"));
    ASSERT_FALSE(data->NoSkin);
    form = Create<TForm>(Application());
    form->SetBounds(60, 60, 620, 460);
    ParkCursor();
  }
  void TearDown() override {
    if (form) form->Free();
    FreeSkinManager();
    data->Free();
    DoneApplication();
  }
  template <class T>
  T* Place(int x, int y, int w, int h, TWinControl* parent = nullptr) {
    return PlaceControl<T>(form, parent ? parent : form, x, y, w, h);
  }
  TSkinnedForm* SkinOf() const { return SkinManager() ? SkinManager()->FindWindow(form->Handle()) : nullptr; }
  bool WaitSkinned() {
    return PumpUntil([&] { return SkinOf() && SkinOf()->State == kFormSkinned; }, 10000);
  }
  std::wstring SkinnerOf(TControl* c) {
    TSkinControl* s = SkinOf() ? SkinOf()->FindSkinnerOf(c) : nullptr;
    return s ? s->ClassName() : L"none";
  }

  TSkinData* data = nullptr;
  TForm* form = nullptr;
};

TEST_F(SkinnedControlsTest, EachControlGetsTheSkinnerOfTheDispatchTable) {
  auto* button = Place<TButton>(10, 10, 80, 26);
  auto* check = Place<TCheckBox>(10, 40, 100, 20);
  auto* radio = Place<TRadioButton>(10, 64, 100, 20);
  auto* edit = Place<TEdit>(10, 90, 100, 22);
  auto* memo = Place<TMemo>(10, 116, 120, 60);
  memo->SetScrollBars(TScrollStyle::ssVertical);
  auto* list = Place<TListBox>(140, 116, 100, 60);
  auto* combo = Place<TComboBox>(120, 10, 120, 24);
  auto* group = Place<TGroupBox>(250, 10, 160, 90);
  auto* inGroup = Place<TRadioButton>(10, 20, 100, 20, group);
  auto* panel = Place<TPanel>(250, 110, 160, 60);
  auto* inPanel = Place<TCheckBox>(10, 10, 100, 20, panel);
  auto* tagged = Place<TPanel>(420, 10, 150, 60);
  tagged->SetTag(99);
  auto* inTagged = Place<TButton>(10, 10, 80, 26, tagged);
  auto* radioGroup = Place<TTestRadioGroup>(420, 80, 150, 80);
  radioGroup->SetTag(99);
  auto* groupRadio = Place<TRadioButton>(10, 20, 100, 20, radioGroup);
  auto* pages = Place<TPageControl>(10, 190, 250, 150);
  auto* sheet = new TTabSheet(form);
  sheet->SetCaption(L"Page");
  sheet->SetPageControl(pages);
  auto* progress = Place<TProgressBar>(270, 190, 150, 16);
  auto* track = Place<TTrackBar>(270, 210, 150, 30);
  auto* spin = Place<TUpDown>(430, 190, 17, 30);
  auto* bar = Place<TScrollBar>(270, 250, 150, 17);
  auto* listView = Place<TListView>(270, 280, 200, 100);

  data->SetActive(true);
  form->Show();
  ASSERT_TRUE(WaitSkinned());
  struct TCase {
    TControl* control;
    const wchar_t* skinner;
  };
  const TCase table[] = {
      {button, L"TSkinButton"},       {check, L"TSkinCheckBox"},       {radio, L"TSkinRadioButton"},
      {edit, L"TSkinEdit"},           {memo, L"TSkinScrollbar"},       {list, L"TSkinScrollbar"},
      {combo, L"TSkinComBox"},        {group, L"TSkinGroupBox"},       {inGroup, L"TSkinRadioButton"},
      {panel, L"TSkinBox"},           {inPanel, L"TSkinCheckBox"},     {tagged, L"none"},
      {inTagged, L"TSkinButton"},     {radioGroup, L"none"},           {groupRadio, L"none"},
      {pages, L"TSkinTab"},           {sheet, L"TSkinTabSheet"},       {progress, L"none"} /* no rule for the library class */,
      {track, L"TSkinTrackBar"},      {spin, L"TSkinUpDown"},          {bar, L"TSkinScControl"},
      {listView, L"TSkinListView"},   {form, L"none"} /* the window itself has its frame */,
  };
  for (const TCase& c : table) EXPECT_EQ(SkinnerOf(c.control), c.skinner) << c.control->ClassName();
  EXPECT_EQ(groupRadio->Tag(), 99);  // the radio group's tag went to its buttons
  // skinned controls answer SKM_ISSKINNED; a button inside the Tag-99 panel is reached through the
  // tab-order walk, the panel itself is not
  EXPECT_EQ(::SendMessageW(button->Handle(), SKM_ISSKINNED, 0, 0), 1);
  EXPECT_EQ(::SendMessageW(groupRadio->Handle(), SKM_ISSKINNED, 0, 0), 0);
  EXPECT_EQ(panel->Color(), data->Color(scButtonFace));

  // SKM_ENABLE switches the button's skinning off and on
  TSkinControl* s = SkinOf()->FindSkinnerOf(button);
  ASSERT_TRUE(s);
  Settle(form->Handle());
  EXPECT_EQ(TWindowShot(button->Handle()).At(2, 2), SkinColor(testskin::pButtons, 1));
  ::SendMessageW(button->Handle(), SKM_ENABLE, 0, 0);
  button->Repaint();
  Settle(button->Handle());
  EXPECT_NE(TWindowShot(button->Handle()).At(2, 2), SkinColor(testskin::pButtons, 1));
  ::SendMessageW(button->Handle(), SKM_ENABLE, 1, 0);
  EXPECT_EQ(TWindowShot(button->Handle()).At(2, 2), SkinColor(testskin::pButtons, 1));

  // switching the skin off gives every control back
  const TColor panelColor = clBtnFace;
  data->SetActive(false);
  ASSERT_TRUE(PumpUntil([&] { return SkinOf() == nullptr; }, 10000));
  for (const TCase& c : table) {
    if (auto* wc = dynamic_cast<TWinControl*>(c.control)) {
      EXPECT_EQ(::SendMessageW(wc->Handle(), SKM_ISSKINNED, 0, 0), 0) << c.control->ClassName();
    }
  }
  EXPECT_EQ(panel->Color(), panelColor);
  Settle(form->Handle());
  EXPECT_NE(TWindowShot(button->Handle()).At(2, 2), SkinColor(testskin::pButtons, 1));
}

}  // namespace
}  // namespace kivo
