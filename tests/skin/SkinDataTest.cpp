// The skin data component: the test skin's fields, the synthesised pictures, the program's skin,
// a missing or refused skin file, the component's defaults and the colour values of the ini.
#include <gtest/gtest.h>

#include <windows.h>

#include "SkinArchive.h"
#include "SkinData.h"
#include "SkinPack.h"
#include "SkinTestUtil.h"
#include "TestSkinLayout.h"

namespace kivo::test {
namespace {

using namespace kivo::testskin;

class SkinDataTest : public ::testing::Test {
 protected:
  void TearDown() override { DoneApplication(); }
};

std::uint32_t Px(TBitmap* b, int x, int y) { return PixelOf(*b, x, y); }

TEST_F(SkinDataTest, TestSkinGivesItsFields) {
  TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
  TMessageCloser closer;
  skin->SetSkinFile(TestFile(L"kivotest.skn"));
  closer.Join();
  EXPECT_TRUE(closer.Texts().empty());
  ASSERT_FALSE(skin->NoSkin);
  EXPECT_EQ(skin->SkinName, L"Kivo Test");

  // borders: frames, margins, flags, pictures (the Top value has a folder in front of its name)
  EXPECT_EQ(skin->LeftBorder->Frame, 2);
  EXPECT_EQ(skin->LeftBorder->TopHeight, kBorderCaptionHeight);
  EXPECT_EQ(skin->LeftBorder->BottomHeight, 4);
  EXPECT_EQ(skin->TopBorder->LeftWidth, 8);
  EXPECT_EQ(skin->TopBorder->TopHeight, 0);
  EXPECT_EQ(skin->TopBorder->Tile, 1);     // Stretch 2 is taken as 1
  EXPECT_EQ(skin->BottomBorder->Tile, 0);
  EXPECT_EQ(skin->TopBorder->Trans, 1);
  EXPECT_EQ(skin->LeftBorder->Trans, 0);
  EXPECT_EQ(skin->TopBorder->Bitmap->Height(), 48);
  EXPECT_EQ(Px(skin->TopBorder->Bitmap.get(), 30, 24 + 12), ColorOf(pTop, 2));
  EXPECT_EQ(Px(skin->TopBorder->Bitmap.get(), 0, 0), 0xFF00FFu);

  EXPECT_EQ(skin->Title->Frame, 2);
  EXPECT_EQ(skin->Title->LeftWidth, 26);
  EXPECT_EQ(skin->Title->RightWidth, 70);
  EXPECT_EQ(skin->Title->TXTBackleft, 3);
  EXPECT_EQ(skin->Title->FontHeight, 15);
  EXPECT_EQ(skin->Title->ActiveText, static_cast<TColor>(0xFFFFFF));
  EXPECT_EQ(skin->Title->InActiveText, clNone);  // its blue is missing

  // buttons, check and radio strips
  EXPECT_EQ(skin->Buttons->Frame, 5);
  EXPECT_EQ(skin->Buttons->LeftWidth, kButtonsMargin);
  EXPECT_EQ(skin->Buttons->BottomHeight, kButtonsMargin);
  EXPECT_EQ(Px(skin->Buttons->Bitmap.get(), 2 * 20 + 10, 10), ColorOf(pButtons, 3));
  EXPECT_EQ(skin->Buttons->CheckButtonFrame, 4);  // 52 wide, under 16 high: 52 div 13
  EXPECT_EQ(skin->Buttons->RadioButtonFrame, 4);
  EXPECT_TRUE(skin->Buttons->HasColour2[0]);
  EXPECT_FALSE(skin->Buttons->HasColour2[1]);
  EXPECT_EQ(skin->Buttons->NormalColour2, static_cast<TColor>(RGB(11, 22, 33)));
  EXPECT_EQ(skin->Buttons->MouseOverColour2, static_cast<TColor>(kButtonText));
  EXPECT_EQ(skin->Buttons->NormalColour, -1);

  // colours
  EXPECT_EQ(skin->Color(scButtonFace), static_cast<TColor>(kButtonFace));
  EXPECT_EQ(skin->Color(scMenubar), static_cast<TColor>(kButtonFace));  // absent: ButtonFace
  EXPECT_FALSE(skin->ColorGiven[scMenubar]);
  EXPECT_TRUE(skin->ColorGiven[scHilight]);
  EXPECT_EQ(skin->Color(scHilight), static_cast<TColor>(kHilight));
  EXPECT_EQ(skin->Color(scButtonlight), clBtnHighlight);
  EXPECT_EQ(skin->Color(scScrollbar), clScrollBar);
  EXPECT_EQ(skin->Color(9), 0);
  EXPECT_EQ(skin->SectionColors, (std::vector<TColor>{RGB(1, 2, 3), RGB(7, 8, 9)}));
  EXPECT_EQ(skin->CustomColors[0], static_cast<TColor>(RGB(9, 8, 7)));
  EXPECT_EQ(skin->CustomColors[9], clWhite);
  EXPECT_TRUE(skin->FaceBrush.Valid());

  // caption buttons: BUTTON1..6 (BUTTON7 and BUTTON_RADIO are dropped) and the three MDI ones
  ASSERT_EQ(skin->SysButtons.size(), 9u);
  const auto& close = *skin->SysButtons[0];
  EXPECT_EQ(close.Name, L"BUTTON1");
  EXPECT_EQ(close.Frame, 3);  // 48 x 14 without a frame value
  EXPECT_EQ(close.Align, 1);
  EXPECT_EQ(close.Xcoord, 22);
  EXPECT_EQ(close.CombineOp, -1);
  EXPECT_EQ(skin->SysButtons[3]->Visibility1, 6);
  EXPECT_EQ(skin->SysButtons[1]->Visibility1, 0);
  EXPECT_TRUE(skin->SysButtons[4]->Bitmap->Empty());  // the icon button's picture
  EXPECT_EQ(skin->SysButtons[5]->Action, 4);
  EXPECT_EQ(skin->SysButtons[5]->Xcoord, 40);  // taken from the maximise button
  EXPECT_EQ(skin->SysButtons[5]->Ycoord, 5);
  const int mdiX[3] = {42, 28, 14};
  for (int i = 0; i < 3; ++i) {
    const auto& b = *skin->SysButtons[6 + static_cast<std::size_t>(i)];
    EXPECT_EQ(b.Action, 7 + i);
    EXPECT_EQ(b.Align, 100);
    EXPECT_EQ(b.Frame, 4);
    EXPECT_EQ(b.Bitmap->Width(), 40);
    EXPECT_EQ(b.Xcoord, mdiX[i]);
    EXPECT_EQ(Px(b.Bitmap.get(), 5, 5), ColorOf(pMdiControls, 4 * i + 1));
  }

  // objects and the frame counts the loader gives them
  struct TFrames {
    const wchar_t* what;
    TDataSkinObject* object;
    int frames;
  } frames[] = {
      {L"Progress", skin->Progress.get(), 2},   {L"ProgressChunk", skin->ProgressChunk.get(), 1},
      {L"MenuBar", skin->MenuBar.get(), 2},     {L"GroupBoxEdge", skin->GroupBoxEdge.get(), 2},
      {L"GroupBox", skin->GroupBox.get(), 1},   {L"Tabs", skin->Tabs.get(), 5},
      {L"StatusBar", skin->StatusBarEdges.get(), 3}, {L"TabPane", skin->TabPane.get(), 1},
      {L"ToolBars", skin->ToolBars.get(), 5},   {L"ComboButton", skin->ComboButton.get(), 4},
      {L"SunkEdge", skin->SunkEdge.get(), 4},   {L"ExtraImages", skin->ExtraImages.get(), 5},
      {L"Headerbar", skin->Headerbar.get(), 5}, {L"MenuItem", skin->MenuItem.get(), 5},
      {L"MenuBackground", skin->MenuBackground.get(), 1}, {L"Scrollbar", skin->Scrollbar.get(), 23},
      {L"HorzScroll", skin->HorzScroll.get(), 4}, {L"VertScrollThumb", skin->VertScrollThumb.get(), 3},
      {L"ThumbHorz", skin->TrackbarThumbHorz.get(), 5}, {L"UpDownVert", skin->UpDownVert.get(), 8},
      {L"TrackVert", skin->TrackVert.get(), 1}, {L"Track", skin->Track.get(), 1},
      {L"ComboxArrow", skin->ComboxArrow.get(), 4}, {L"Toolbar", skin->Toolbar.get(), 1},
  };
  for (const TFrames& f : frames) {
    ASSERT_NE(f.object, nullptr) << f.what;
    EXPECT_EQ(f.object->Frame, f.frames) << f.what;
    EXPECT_TRUE(f.object->HasPicture()) << f.what;
  }
  EXPECT_EQ(skin->TrackbarThumbLeft, nullptr);  // no section
  EXPECT_EQ(skin->Progress->Tile, 1);           // Tile 3 is taken as 1 here
  EXPECT_EQ(skin->Tabs->NormalColour2, static_cast<TColor>(RGB(1, 1, 1)));
  EXPECT_EQ(Px(skin->Tabs->Bitmap2.get(), 15, 15), ColorOf(pTabBorder, 1));
  EXPECT_EQ(skin->TabPane->LeftWidth, 4);  // 10 in the ini
  EXPECT_EQ(skin->TabPane->BottomHeight, 4);
  EXPECT_EQ(skin->GroupBox->BackgroundAlignment, 1);
  EXPECT_EQ(Px(skin->UpDownVert->Bitmap2.get(), 6 + 12 * 5, 6), ColorOf(pUpDownVertGlyph, 6));
  // Track came from the program's resource: 16 x 4, margins 3, one frame
  EXPECT_EQ(skin->Track->Bitmap->Width(), 16);
  EXPECT_EQ(skin->Track->Bitmap->Height(), 4);
  EXPECT_EQ(skin->Track->LeftWidth, 3);
  EXPECT_EQ(skin->Track->BottomHeight, 3);
  EXPECT_EQ(Px(skin->Track->Bitmap.get(), 0, 0), 0xC0C0C0u);
  EXPECT_EQ(Px(skin->Track->Bitmap.get(), 2, 0), 0x808080u);
  EXPECT_EQ(Px(skin->Track->Bitmap.get(), 15, 0), 0xFFFFFFu);
  EXPECT_EQ(skin->TrackVert->TopHeight, 5);  // from the skin

  // the combined combo-box picture: per frame the sunk edge, the button, the arrow centred in it,
  // a see-through text area; the sunk edge gets it mirrored
  const int b = ::GetSystemMetrics(SM_CXHSCROLL) + 2;
  TBitmap* combo = skin->ComboButton->Bitmap.get();
  EXPECT_EQ(skin->ComboButton->Style, 2);
  EXPECT_EQ(combo->Width(), 200);
  EXPECT_EQ(combo->Height(), 21);
  EXPECT_EQ(skin->ComboButton->LeftWidth, 2);
  EXPECT_EQ(skin->ComboButton->RightWidth, b + 2);
  EXPECT_EQ(skin->SunkEdge->LeftWidth, b + 2);
  EXPECT_EQ(skin->SunkEdge->RightWidth, 2);
  for (int k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    const int x0 = (k - 1) * 50;
    EXPECT_EQ(Px(combo, x0 + 1, 10), ColorOf(pSunkEdge, k));
    EXPECT_EQ(Px(combo, x0 + 10, 10), 0xFF00FFu);
    EXPECT_EQ(Px(combo, x0 + 50 - b + 1, 1), ColorOf(pComboButton, k));
    EXPECT_EQ(Px(combo, x0 + 50 - b / 2, 10), ColorOf(pExtra, k));
    EXPECT_EQ(Px(skin->SunkEdge->Bitmap.get(), 200 - 1 - (x0 + 1), 10), ColorOf(pSunkEdge, k));
    // the arrow cell is cut from the button area of each frame
    EXPECT_EQ(Px(skin->ComboxArrow->Bitmap.get(), 17 * (k - 1) + 8, 8), ColorOf(pExtra, k));
  }
  EXPECT_EQ(skin->ComboButton->Bitmap2->Width(), 17 * 4);  // the skin's own picture, mirrored
  EXPECT_EQ(Px(skin->ComboButton->Bitmap2.get(), 0, 0), ColorOf(pComboButton, 4));

  EXPECT_EQ(skin->Toolbar->Bitmap->Width(), 10);
  EXPECT_EQ(skin->Toolbar->Bitmap->Height(), 40);
}

TEST_F(SkinDataTest, MissingOrRefusedSkinFileLeavesNoSkin) {
  TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
  skin->SetSkinFile(TestFile(L"no such skin.skn"));
  EXPECT_TRUE(skin->NoSkin);
  EXPECT_EQ(skin->SkinFile(), TestFile(L"no such skin.skn"));
  EXPECT_EQ(skin->SkinBytes.Size(), 0);

  // a skin that loaded, then one of an unknown version: told, and no skin any more
  skin->SetSkinFile(TestFile(L"kivotest.skn"));
  ASSERT_FALSE(skin->NoSkin);
  skinpack::Bytes archive = skinpack::BuildArchive(20000, {{"a.ini", {}}});
  archive[1] = 0;  // version 20000 & 0xFF
  const std::wstring path = TestFile(L"oldversion.skn");
  {
    TMemoryStream s;
    WriteBytes(s, skinpack::PackSkinFile(archive));
    s.SaveToFile(path);
  }
  TMessageCloser closer;
  skin->SetSkinFile(path);
  closer.Join();
  ::DeleteFileW(path.c_str());
  EXPECT_TRUE(skin->NoSkin);
  EXPECT_EQ(closer.Texts().size(), 1u);
  // an archive without an ini member is no skin either
  TMemoryStream s;
  WriteBytes(s, skinpack::PackSkinFile(skinpack::BuildArchive(20000, {{"a.bmp", {}}})));
  skin->SkinBytes.Clear();
  skin->SkinBytes.CopyFrom(s, 0);
  EXPECT_TRUE(skin->LoadSkin());
  EXPECT_TRUE(skin->NoSkin);
}

TEST_F(SkinDataTest, ProgramSkinLoadsQuietlyAndHasEveryPicture) {
  TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
  TMessageCloser closer;
  skin->SetSkinFile(TestFile(L"kivoapp.skn"));
  closer.Join();
  EXPECT_TRUE(closer.Texts().empty());
  ASSERT_FALSE(skin->NoSkin);
  // every object the skin names, with a picture whose width holds its frames
  TDataSkinObject* named[] = {skin->LeftBorder.get(), skin->RightBorder.get(), skin->TopBorder.get(),
                              skin->BottomBorder.get(), skin->Buttons.get(), skin->Progress.get(),
                              skin->MenuBar.get(), skin->Tabs.get(), skin->StatusBarEdges.get(),
                              skin->ComboButton.get(), skin->SunkEdge.get(), skin->ExtraImages.get(),
                              skin->Headerbar.get(), skin->MenuItem.get(), skin->MenuBackground.get(),
                              skin->Scrollbar.get(), skin->HorzScroll.get(), skin->VertScroll.get(),
                              skin->HorzScrollThumb.get(), skin->VertScrollThumb.get(), skin->UpDownHorz.get(),
                              skin->UpDownVert.get(), skin->ComboxArrow.get(), skin->Toolbar.get()};
  for (TDataSkinObject* o : named) {
    ASSERT_NE(o, nullptr);
    SCOPED_TRACE(o->Name);
    EXPECT_TRUE(o->HasPicture());
    const bool stacked = o == skin->TopBorder.get() || o == skin->BottomBorder.get() || o == skin->MenuBar.get();
    const int extent = stacked ? o->Bitmap->Height() : o->Bitmap->Width();
    ASSERT_GT(o->Frame, 0);
    EXPECT_EQ(extent % o->Frame, 0);
  }
  EXPECT_TRUE(skin->Tabs->Bitmap2->Width() > 0);
  EXPECT_FALSE(skin->Buttons->CheckBitmap->Empty());
  EXPECT_FALSE(skin->Buttons->RadioBitmap->Empty());
  EXPECT_EQ(skin->Buttons->CheckBitmap->Width() % skin->Buttons->CheckButtonFrame, 0);
  EXPECT_EQ(skin->UpDownVert->Bitmap2->Width(), skin->UpDownVert->Bitmap->Width());
  for (const auto& b : skin->SysButtons) {
    if (b->Action == 3 || b->Action == 11 || b->Align == 100) continue;  // icon and MDI buttons
    SCOPED_TRACE(b->Name);
    EXPECT_TRUE(b->HasPicture());
    EXPECT_EQ(b->Frame, 4);
    EXPECT_EQ(b->Bitmap->Width() % 4, 0);
  }
  // the caption's height is the left side's top margin
  EXPECT_EQ(skin->TopBorder->Bitmap->Height() / skin->TopBorder->Frame, skin->LeftBorder->TopHeight);
}

TEST_F(SkinDataTest, ComboArrowWithoutSunkEdgeTakesTheFaceColour) {
  // a combo button of two frames whose left column is magenta, no [SunkEdge], no ButtonFace
  TBitmap picture(8, 4, TPixelFormat::pf24bit);
  picture.Canvas()->Brush()->SetColor(clBlue);
  picture.Canvas()->FillRect(RECT{0, 0, 8, 4});
  picture.Canvas()->Brush()->SetColor(clFuchsia);
  picture.Canvas()->FillRect(RECT{0, 0, 1, 4});
  const std::string ini = "[ComboButton]\r\nImage=combo.bmp\r\n";
  TMemoryStream s;
  WriteBytes(s, skinpack::PackSkinFile(skinpack::BuildArchive(
                    40000, {{"x.ini", skinpack::Bytes(ini.begin(), ini.end())}, {"combo.bmp", picture.SaveToBytes()}})));
  TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
  skin->SkinBytes.CopyFrom(s, 0);
  ASSERT_TRUE(skin->LoadSkin());
  ASSERT_FALSE(skin->NoSkin);
  EXPECT_EQ(skin->ComboButton->Style, 0);
  EXPECT_EQ(skin->ComboxArrow->Frame, 4);
  EXPECT_EQ(Px(skin->ComboxArrow->Bitmap.get(), 0, 2), ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(Px(skin->ComboxArrow->Bitmap.get(), 3, 2), 0xFF0000u);
}

TEST_F(SkinDataTest, PicturesThatCannotBeHadAreEmpty) {
  TBitmap good(4, 4, TPixelFormat::pf24bit);
  const std::vector<std::uint8_t> bmp = good.SaveToBytes();
  std::vector<std::uint8_t> broken = bmp;
  broken.resize(30);  // a header that promises pixels that are not there
  const std::string ini =
      "[Buttons]\r\nBitmap=b.BMP\r\nCheckButton=broken.bmp\r\nRadioButton=good.bmp\r\n"
      "[Progress]\r\nBitmap=missing.bmp\r\n"
      "[Tabs]\r\nBorder=good.bmp\r\n"
      "[MenuItem]\r\nImage=good.png\r\n";
  TMemoryStream s;
  WriteBytes(s, skinpack::PackSkinFile(skinpack::BuildArchive(
                    50000, {{"x.ini", skinpack::Bytes(ini.begin(), ini.end())},
                            {"b.bmp", bmp},
                            {"broken.bmp", broken},
                            {"good.bmp", bmp}})));
  TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
  skin->SkinBytes.CopyFrom(s, 0);
  ASSERT_TRUE(skin->LoadSkin());
  EXPECT_FALSE(skin->NoSkin);
  EXPECT_TRUE(skin->Buttons->Bitmap->Empty());       // ".BMP" is not ".bmp"
  EXPECT_TRUE(skin->Buttons->CheckBitmap->Empty());  // damaged
  EXPECT_EQ(skin->Buttons->RadioBitmap->Width(), 4);
  ASSERT_NE(skin->Progress, nullptr);                // named, but not in the archive
  EXPECT_TRUE(skin->Progress->Bitmap->Empty());
  EXPECT_EQ(skin->Tabs, nullptr);                    // no picture key: no object
  ASSERT_NE(skin->MenuItem, nullptr);
  EXPECT_TRUE(skin->MenuItem->Bitmap->Empty());      // not a bitmap name
  EXPECT_TRUE(skin->LeftBorder->Bitmap->Empty());    // the borders are always there
  EXPECT_EQ(skin->TitleColor(), skin->Color(scButtonFace));
}

TEST_F(SkinDataTest, DefaultsAndStoredSkin) {
  TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
  EXPECT_FALSE(skin->Active());
  EXPECT_EQ(skin->DisableTag(), 99);
  EXPECT_EQ(GetSetProp(skin.get(), L"Options"), L"[xoPreview,xoToolbarBK]");
  const std::wstring controls = GetSetProp(skin.get(), L"SkinControls");
  EXPECT_NE(controls.find(L"xcMainMenu"), std::wstring::npos);
  EXPECT_NE(controls.find(L"xcSystemMenu"), std::wstring::npos);
  EXPECT_EQ(controls.find(L"xcMenuItem"), std::wstring::npos);
  EXPECT_EQ(controls.find(L"xcFastReport"), std::wstring::npos);
  ASSERT_EQ(skin->Skin3rd()->Count(), 118);
  EXPECT_EQ(skin->Skin3rd()->Get(0), L"TCategoryButtons=scrollbar");
  EXPECT_EQ(skin->Skin3rd()->Get(117), L"TOVCDBNUMERICFIELD=Edit");
  EXPECT_EQ(GetStrProp(skin.get(), L"Version"), L"5.03.07.12");
  EXPECT_EQ(GetStrProp(skin.get(), L"SkinStore"), L"(none)");
  EXPECT_EQ(GetEnumProp(skin.get(), L"SkinFormtype"), L"sfMainform");
  EXPECT_TRUE(skin->MenuUpdate());
  EXPECT_TRUE(skin->NoSkin);
  EXPECT_TRUE(skin->FramePainting);
  EXPECT_EQ(skin->MenuGlyphs->Count(), 4);  // the program's system-menu glyphs

  bool filtered = true;
  skin->FormSkinFilter(nullptr, L"SysMonthCal32", filtered);
  EXPECT_FALSE(filtered);
  filtered = true;
  skin->FormSkinFilter(nullptr, L"TfrDesigner", filtered);
  EXPECT_TRUE(filtered);

  // the stored skin: size and bytes; reading it back loads the skin
  skin->SkinBytes.LoadFromFile(TestFile(L"kivotest.skn"));
  TMemoryStream stored;
  skin->WriteSkinStream(stored);
  EXPECT_EQ(stored.Size(), skin->SkinBytes.Size() + 4);
  stored.SetPosition(0);
  TObjectPtr<TSkinData> other(new TSkinData(nullptr));
  other->ReadSkinStream(stored);
  EXPECT_FALSE(other->NoSkin);
  EXPECT_EQ(other->SkinName, L"Kivo Test");
}

TEST(ParseSkinColorTest, Values) {
  struct TCase {
    const wchar_t* value;
    std::uint32_t expected;
  } cases[] = {
      {L"255,0,255", 0xFF00FF}, {L"255 0 255", 0xFF00FF}, {L" 1,2,3 ", 0x030201}, {L"255,", 0x0000FF},
      {L"255", 0x000000},       {L"10,20", 0x00000A},    {L"256,257,-1", 0x010100}, {L"1,2,3,4", 0x030201},
      {L"a1b2c3d", 0x030201},
  };
  for (const TCase& c : cases) EXPECT_EQ(static_cast<std::uint32_t>(ParseSkinColor(c.value)), c.expected) << c.value;
}

}  // namespace
}  // namespace kivo::test
