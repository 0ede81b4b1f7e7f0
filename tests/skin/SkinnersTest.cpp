// The control skinners on real windows under Xvfb: the skinner base (hook, SKM_ENABLE, window
// destruction, a control freed first), and the drawing of buttons, check boxes, radio buttons,
// tabs, progress bars and up-downs with the test skin, read back from the windows' pixels.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "SkinnerTestUtil.h"
#include "Skinners.h"
#include "StdCtrls.h"
#include "SysUtils.h"

namespace kivo {
namespace {

using namespace kivo::test;
using testskin::ColorOf;

class SkinnersTest : public TSkinnerFormTest {
 protected:
  SkinnersTest() : TSkinnerFormTest(L"skinners", 520, 420) {}
  template <class S>
  S* Skin(TControl* c, bool recolor = false) {
    S* s = new S(c);
    s->AttachControl(&host, skin, recolor, &host.canvas);
    Settle(form->Handle());
    return s;
  }
  COLORREF Pixel(TWinControl* c, int x, int y) {
    Settle(c->Handle());
    return TWindowShot(c->Handle()).At(x, y);
  }
};

// ---- the skinner base ------------------------------------------------------------------------------

// Records the messages that reach the control's own message method.
struct TProbe {
  explicit TProbe(TControl* c) : control(c), previous(c->WindowProc) {
    c->WindowProc = [this](TMessage& m) {
      seen.push_back(m.Msg);
      previous(m);
    };
  }
  bool Saw(UINT msg) const { return std::find(seen.begin(), seen.end(), msg) != seen.end(); }
  TControl* control;
  TWndMethod previous;
  std::vector<UINT> seen;
};

TEST_F(SkinnersTest, EnableMessageSwitchesSkinningOffAndOnWithoutReachingTheControl) {
  auto* button = Place<TButton>(10, 10, 90, 30);
  TProbe probe(button);
  auto* s = Skin<TSkinButton>(button);
  EXPECT_EQ(host.list, std::vector<TSkinControl*>{s});
  EXPECT_EQ(Pixel(button, 2, 2), SkinColor(testskin::pButtons, 1));

  probe.seen.clear();
  ::SendMessageW(button->Handle(), kSkinMsgEnable, 0, 0);
  EXPECT_FALSE(probe.Saw(kSkinMsgEnable));
  EXPECT_EQ(s->Enabled, 0);
  ::InvalidateRect(button->Handle(), nullptr, TRUE);
  EXPECT_NE(Pixel(button, 2, 2), SkinColor(testskin::pButtons, 1));  // the system's own button
  // messages reach the control unchanged, also those the skinner would swallow
  probe.seen.clear();
  ::SendMessageW(button->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(TWindowDC(button->Handle()).Get()), 0);
  EXPECT_TRUE(probe.Saw(WM_ERASEBKGND));
  EXPECT_EQ(::SendMessageW(button->Handle(), kSkinMsgIsSkinned, 0, 0), 0);

  probe.seen.clear();
  ::SendMessageW(button->Handle(), kSkinMsgEnable, 1, 0);
  EXPECT_FALSE(probe.Saw(kSkinMsgEnable));
  EXPECT_EQ(TWindowShot(button->Handle()).At(2, 2), SkinColor(testskin::pButtons, 1));  // repainted at once
  EXPECT_EQ(::SendMessageW(button->Handle(), kSkinMsgIsSkinned, 0, 0), 1);
  EXPECT_FALSE(probe.Saw(kSkinMsgIsSkinned));
  button->Free();  // before the probe goes
}

TEST_F(SkinnersTest, WindowDestructionReachesTheControlFirstThenRestoresAndWaitsForThePurge) {
  auto* panel = Place<TPanel>(10, 10, 100, 60);
  panel->SetColor(clRed);
  TProbe probe(panel);
  auto* s = Skin<TSkinGroupBox>(panel, true);
  EXPECT_EQ(panel->Color(), skin->Color(scButtonFace));
  bool controlSawIt = false;
  TWndMethod inner = probe.previous;
  probe.previous = [&](TMessage& m) {
    if (m.Msg == WM_NCDESTROY) controlSawIt = s->State != kSkinnerWindowGone && panel->Color() != clRed;
    inner(m);
  };
  ::DestroyWindow(panel->Handle());
  EXPECT_TRUE(controlSawIt);
  EXPECT_EQ(s->State, kSkinnerWindowGone);
  EXPECT_EQ(s->Enabled, 0);
  EXPECT_EQ(panel->Color(), clRed);  // given back
  EXPECT_EQ(host.list, std::vector<TSkinControl*>{s});  // still listed until the purge frees it
  s->Free();
  EXPECT_TRUE(host.list.empty());
  panel->Free();  // before the probe goes
}

TEST_F(SkinnersTest, ControlFreedBeforeItsSkinnerTakesTheSkinnerWithIt) {
  for (int kind = 0; kind < 3; ++kind) {
    TWinControl* c = kind == 0 ? static_cast<TWinControl*>(Place<TButton>(10, 10, 80, 24))
                   : kind == 1 ? static_cast<TWinControl*>(Place<TCheckBox>(10, 10, 80, 24))
                               : static_cast<TWinControl*>(Place<TPanel>(10, 10, 80, 24));
    if (kind == 0) Skin<TSkinButton>(c);
    if (kind == 1) Skin<TSkinCheckBox>(c);
    if (kind == 2) Skin<TSkinGroupBox>(c, true);
    ASSERT_EQ(host.list.size(), 1u);
    c->Free();
    EXPECT_TRUE(host.list.empty()) << kind;
    Settle(form->Handle());
  }
}

TEST_F(SkinnersTest, PlainWindowIsSubclassedRepaintedAndGivenItsProcedureBack) {
  HWND button = ::CreateWindowExW(0, L"BUTTON", L"plain", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 100, 90, 30,
                                  form->Handle(), reinterpret_cast<HMENU>(77), ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(button);
  const LONG_PTR original = ::GetWindowLongPtrW(button, GWLP_WNDPROC);
  Settle(button);
  auto* s = new TSkinButton(nullptr);
  s->AttachWindow(button, skin, &host, &host.canvas);
  EXPECT_NE(::GetWindowLongPtrW(button, GWLP_WNDPROC), original);
  EXPECT_EQ(s->Text, L"plain");
  RECT update;
  EXPECT_TRUE(::GetUpdateRect(button, &update, FALSE));  // invalidated at once
  Settle(button);
  EXPECT_EQ(TWindowShot(button).At(2, 2), SkinColor(testskin::pButtons, 1));
  EXPECT_EQ(::SendMessageW(button, kSkinMsgIsSkinned, 0, 0), 1);
  // a click comes to the parent as WM_COMMAND with the button's identifier
  UINT commands = 0;
  WPARAM commandId = 0;
  TWndMethod previous = form->WindowProc;
  form->WindowProc = [&](TMessage& m) {
    if (m.Msg == WM_COMMAND && reinterpret_cast<HWND>(m.LParam) == button) {
      ++commands;
      commandId = m.WParam;
    }
    previous(m);
  };
  ClickAt(button, 5, 5);
  Settle(button);
  EXPECT_EQ(commands, 1u);
  EXPECT_EQ(LOWORD(commandId), 77);
  form->WindowProc = previous;
  s->Free();
  EXPECT_EQ(::GetWindowLongPtrW(button, GWLP_WNDPROC), original);
  EXPECT_TRUE(host.list.empty());
  ::DestroyWindow(button);
}

TEST_F(SkinnersTest, PropertiesByNameAnswerMinusOneOrEmptyForMissingOrOtherKinds) {
  auto* box = Place<TCheckBox>(10, 10, 80, 20);
  EXPECT_EQ(GetOrdPropByName(box, L"Width"), 80);
  EXPECT_EQ(GetOrdPropByName(box, L"State"), -1);  // an enumeration
  EXPECT_EQ(GetOrdPropByName(box, L"NoSuchProperty"), -1);
  EXPECT_EQ(GetOrdPropByName(nullptr, L"Width"), -1);
  EXPECT_EQ(GetEnumPropByName(box, L"State"), L"cbUnchecked");
  EXPECT_EQ(GetEnumPropByName(box, L"Width"), L"");
  SetPropByName(box, L"State", L"cbChecked");
  EXPECT_TRUE(box->Checked());
  SetPropByName(box, L"Width", L"95");
  EXPECT_EQ(box->Width(), 95);
  EXPECT_THROW(SetPropByName(box, L"Width", L"9x"), EConvertError);
  SetPropByName(box, L"NoSuchProperty", L"1");  // nothing
}

TEST_F(SkinnersTest, ParentBackgroundIsSwitchedOffWhileRecolouredUnlessTheSkinSaysSo) {
  for (bool keep : {false, true}) {
    skin->SetOptions(keep ? SkinBit(xoParentBackGround) : 0);
    auto* panel = Place<TPanel>(10, 10, 100, 60);
    panel->SetParentBackground(true);
    panel->SetColor(clLime);
    auto* s = new TSkinBox(panel);
    s->AttachControl(&host, skin, true, &host.canvas);
    EXPECT_EQ(panel->ParentBackground(), keep) << keep;
    EXPECT_EQ(panel->Color(), skin->Color(scButtonFace));
    s->Restore();
    EXPECT_TRUE(panel->ParentBackground());
    EXPECT_EQ(panel->Color(), clLime);
    EXPECT_EQ(s->State, kSkinnerRestored);
    s->Free();
    panel->Free();
  }
}

// ---- buttons ---------------------------------------------------------------------------------------

TEST_F(SkinnersTest, PushButtonStatesShowTheirFrames) {
  auto* button = Place<TButton>(10, 10, 90, 30);
  button->SetCaption(L"OK");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  auto* s = Skin<TSkinButton>(button);
  HWND h = button->Handle();
  struct TCase {
    const char* name;
    std::function<void()> make;
    int frame;
  };
  const TCase cases[] = {
      {"normal", [] {}, 1},
      {"hot", [&] { ::SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); }, 4},
      {"pressed", [&] { ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); }, 2},
      {"released, still hot", [&] { ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5)); }, 4},
      {"focused", [&] { ::SendMessageW(h, WM_MOUSELEAVE, 0, 0); }, 5},
      {"focused and pressed by space", [&] { ::SendMessageW(h, WM_KEYDOWN, VK_SPACE, 0); }, 2},
      {"space released", [&] { ::SendMessageW(h, WM_KEYUP, VK_SPACE, 0); }, 5},
      {"focus elsewhere", [&] { other->SetFocus(); }, 1},
      {"default", [&] { button->SetDefault(true); button->Invalidate(); }, 5},
      {"disabled default", [&] { button->SetEnabled(false); }, 3},
  };
  for (const TCase& c : cases) {
    c.make();
    EXPECT_EQ(Pixel(button, 2, 2), SkinColor(testskin::pButtons, c.frame)) << c.name;
    EXPECT_EQ(s->CurrentFrame(), c.frame) << c.name;
  }
  // the release on the pressed button clicked it, and the space key reached the button itself
  EXPECT_EQ(clicks, 2);
}

TEST_F(SkinnersTest, CheckBoxAndRadioButtonShowTheirCells) {
  auto* check = Place<TCheckBox>(10, 10, 120, 20);
  check->SetCaption(L"check");
  auto* radio = Place<TRadioButton>(10, 40, 120, 20);
  radio->SetCaption(L"radio");
  Skin<TSkinCheckBox>(check);
  Skin<TSkinRadioButton>(radio);
  struct TCase {
    bool checked, enabled;
    int cell;
  };
  const TCase cases[] = {{false, true, 1}, {true, true, 2}, {false, false, 3}, {true, false, 4}};
  for (const TCase& c : cases) {
    check->SetChecked(c.checked);
    check->SetEnabled(c.enabled);
    radio->SetChecked(c.checked);
    radio->SetEnabled(c.enabled);
    // the glyph sits at the left, centred vertically; the rest is the skin's face
    EXPECT_EQ(Pixel(check, 6, 10), SkinColor(testskin::pCheck, c.cell)) << c.cell;
    EXPECT_EQ(Pixel(radio, 6, 10), SkinColor(testskin::pRadio, c.cell)) << c.cell;
    EXPECT_EQ(Pixel(check, 118, 1), skin->Color(scButtonFace));
  }
  // a grayed box shows cell 4 while enabled
  check->SetEnabled(true);
  check->SetAllowGrayed(true);
  check->SetState(TCheckBoxState::cbGrayed);
  EXPECT_EQ(Pixel(check, 6, 10), SkinColor(testskin::pCheck, 4));
}

// ---- tabs, progress, up-down -----------------------------------------------------------------------

TEST_F(SkinnersTest, BottomTabsAreDrawnBelowThePaneWithTheFocusedTabInFrameTwo) {
  auto* pages = Place<TPageControl>(10, 10, 300, 200);
  pages->SetTabPosition(TTabPosition::tpBottom);
  for (const wchar_t* name : {L"One", L"Two", L"Three"}) {
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(name);
    sheet->SetPageControl(pages);
  }
  pages->SetActivePageIndex(1);
  Skin<TSkinTab>(pages);
  HWND h = pages->Handle();
  const int focus = static_cast<int>(::SendMessageW(h, TCM_GETCURFOCUS, 0, 0));
  ASSERT_EQ(focus, 1);
  TWindowShot shot(h);
  for (int i = 0; i < 3; ++i) {
    RECT item;
    ASSERT_TRUE(::SendMessageW(h, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_GT(item.top, 100) << "tabs at the bottom";
    // inside the tab, off its label: frame 2 for the focused tab, 1 for the others
    EXPECT_EQ(shot.At(item.left + 3, (item.top + item.bottom) / 2), SkinColor(testskin::pTabs, i == focus ? 2 : 1))
        << i;
  }
  // the pane's border picture above the strip
  RECT pane{0, 0, 300, 200};
  ::SendMessageW(h, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&pane));
  EXPECT_EQ(shot.At(pane.left - 2, 50), SkinColor(testskin::pTabBorder, 1));
}

TEST_F(SkinnersTest, ProgressFillsItsShareOfTheRange) {
  auto* bar = Place<TProgressBar>(10, 10, 100, 16);
  bar->SetMax(200);
  bar->SetPosition(50);
  Skin<TSkinProgress>(bar);
  TWindowShot shot(bar->Handle());
  const COLORREF track = SkinColor(testskin::pProgress, 1), fill = SkinColor(testskin::pProgress, 2);
  EXPECT_EQ(shot.At(0, 8), fill);
  EXPECT_EQ(shot.At(24, 8), fill);
  EXPECT_EQ(shot.At(25, 8), track);
  EXPECT_EQ(shot.At(99, 8), track);
  EXPECT_EQ(shot.Count(RECT{0, 8, 100, 9}, fill), 25);
  // range 100..200 at 150 fills half; position 0 leaves only the track
  bar->SetMin(100);
  bar->SetPosition(150);
  Settle(bar->Handle());
  EXPECT_EQ(TWindowShot(bar->Handle()).Count(RECT{0, 8, 100, 9}, fill), 50);
  bar->SetMin(0);
  bar->SetPosition(0);
  Settle(bar->Handle());
  EXPECT_EQ(TWindowShot(bar->Handle()).Count(RECT{0, 0, 100, 16}, fill), 0);
}

TEST_F(SkinnersTest, UpDownShowsThePressedHalfInItsCell) {
  auto* spin = Place<TUpDown>(10, 10, 17, 40);
  auto* s = Skin<TSkinUpDown>(spin);
  HWND h = spin->Handle();
  const COLORREF normalUp = SkinColor(testskin::pUpDownVert, 1), normalDown = SkinColor(testskin::pUpDownVert, 5);
  const COLORREF pressedDown = SkinColor(testskin::pUpDownVert, 6);
  const COLORREF glyphUp = SkinColor(testskin::pUpDownVertGlyph, 1);
  TWindowShot idle(h);
  EXPECT_EQ(idle.At(1, 1), normalUp);
  EXPECT_EQ(idle.At(1, 38), normalDown);
  EXPECT_EQ(idle.At(8, 10), glyphUp);  // the glyph centred on the button
  // the lower half held down (the cursor over it): cell 6 there, cell 1 above
  POINT p{8, 30};
  ::ClientToScreen(h, &p);
  ::SetCursorPos(p.x, p.y);
  s->StateFlags |= kSkinPressed;
  s->PaintFrame(nullptr);
  TWindowShot pressed(h);
  ParkCursor();
  EXPECT_EQ(pressed.At(1, 38), pressedDown);
  EXPECT_EQ(pressed.At(1, 1), normalUp);
}

}  // namespace
}  // namespace kivo

namespace kivo {
namespace {
using namespace kivo::test;

// ---- scroll bars -----------------------------------------------------------------------------------

RECT ScreenRectOf(HWND wnd) {
  RECT r;
  ::GetWindowRect(wnd, &r);
  return r;
}

TEST_F(SkinnersTest, MemoScrollBarOverlaySitsOnTheBarScrollsAndShowsHover) {
  auto* memo = Place<TMemo>(10, 10, 200, 120);
  memo->SetScrollBars(TScrollStyle::ssVertical);
  for (int i = 0; i < 100; ++i) memo->Lines()->Add(L"line " + IntToStr(i));
  auto* s = new TSkinScrollbar(memo);
  s->AttachControl(&host, skin, false, &host.canvas);
  Settle(form->Handle());
  ASSERT_TRUE(s->VertBar);
  ASSERT_TRUE(s->VertBar->Shown);
  EXPECT_FALSE(s->HorzBar->Shown);
  HWND bar = s->VertBar->Handle();
  EXPECT_TRUE(::IsWindowVisible(bar));
  SCROLLBARINFO info;
  ASSERT_TRUE(ReadScrollBarInfo(memo->Handle(), 1, info));
  const RECT placed = ScreenRectOf(bar);
  EXPECT_TRUE(::EqualRect(&placed, &info.rcScrollBar));
  // above the memo in the z-order
  EXPECT_EQ(::GetWindow(bar, GW_HWNDNEXT), memo->Handle());

  const int w = placed.right - placed.left, h = placed.bottom - placed.top;
  const int arrow = ::GetSystemMetrics(SM_CXHSCROLL);
  TWindowShot idle(bar);
  EXPECT_EQ(idle.At(w / 2, 2), SkinColor(testskin::pScrollbar, 9));        // up arrow
  EXPECT_EQ(idle.At(w / 2, h - 2), SkinColor(testskin::pScrollbar, 13));   // down arrow
  EXPECT_EQ(idle.At(w / 2, h - arrow - 3), SkinColor(testskin::pVertScroll, 1));  // the track
  EXPECT_EQ(idle.At(w / 2, info.xyThumbTop + 1), SkinColor(testskin::pVertThumb, 1));
  // the two-pixel border around the memo
  TWindowShot frame(memo->Handle());
  EXPECT_EQ(frame.At(0, 50), skin->Color(scButtonShadow));
  EXPECT_EQ(frame.At(1, 50), skin->Color(scButtonFace));

  // hover over the down arrow: its hot cell
  ::SendMessageW(bar, WM_MOUSEMOVE, 0, MAKELPARAM(w / 2, h - 3));
  Settle(bar);
  EXPECT_EQ(s->VertBar->HotPart, 1);
  EXPECT_EQ(TWindowShot(bar).At(w / 2, h - 2), SkinColor(testskin::pScrollbar, 16));

  // a click on the down arrow goes to the system's bar underneath, which scrolls one line
  EXPECT_EQ(::SendMessageW(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  ::PostMessageW(memo->Handle(), WM_LBUTTONUP, 0, 0);  // ends the system's tracking
  ::SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(w / 2, h - 3));
  Settle(memo->Handle());
  EXPECT_EQ(::SendMessageW(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 1);
  EXPECT_EQ(s->VertBar->Pressed, 0);
  ParkCursor();

  // hiding the memo hides the panel; switching the skinner off and freeing it takes the panels away
  memo->SetVisible(false);
  Settle(form->Handle());
  EXPECT_FALSE(::IsWindowVisible(bar));
  memo->SetVisible(true);
  Settle(form->Handle());
  EXPECT_TRUE(::IsWindowVisible(s->VertBar->Handle()));
  s->Restore();
  EXPECT_EQ(s->VertBar, nullptr);
  s->Free();
  EXPECT_FALSE(::IsWindow(bar));
}

TEST_F(SkinnersTest, DraggingTheComboListThumbToTheEndShowsTheLastPage) {
  auto* combo = Place<TComboBox>(10, 10, 150, 24);
  combo->SetStyle(TComboBoxStyle::csDropDownList);
  combo->SetDropDownCount(8);
  for (int i = 0; i < 100; ++i) combo->Items()->Add(L"item " + IntToStr(i));
  auto* s = new TSkinComBox(combo);
  s->AttachControl(&host, skin, false, &host.canvas);
  ASSERT_TRUE(s->ListScroll);
  HWND list = s->ListScroll->Handle;
  ::SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, TRUE, 0);
  Settle(list, 100);
  ASSERT_TRUE(::IsWindowVisible(list));
  SCROLLBARINFO info;
  ASSERT_TRUE(ReadScrollBarInfo(list, 1, info));
  // the list's bar is drawn from the skin into the list's frame
  RECT lr = ScreenRectOf(list);
  TWindowShot shot(list);
  const int bx = (info.rcScrollBar.left + info.rcScrollBar.right) / 2 - lr.left;
  EXPECT_EQ(shot.At(bx, info.rcScrollBar.top - lr.top + 2), SkinColor(testskin::pScrollbar, 9));
  EXPECT_EQ(shot.At(bx, info.rcScrollBar.top - lr.top + info.xyThumbTop + 1), SkinColor(testskin::pVertThumb, 1));

  // press on the thumb, move far below the bar, release
  const POINT start{(info.rcScrollBar.left + info.rcScrollBar.right) / 2,
                    info.rcScrollBar.top + (info.xyThumbTop + info.xyThumbBottom) / 2};
  ::SetCursorPos(start.x, start.y);
  const UINT moveCursor = WM_APP + 17;
  TWndMethod previous = form->WindowProc;
  form->WindowProc = [&](TMessage& m) {
    if (m.Msg == moveCursor) ::SetCursorPos(start.x, start.y + 400);
    previous(m);
  };
  ::PostMessageW(form->Handle(), moveCursor, 0, 0);
  ::PostMessageW(list, WM_MOUSEMOVE, 0, 0);
  ::PostMessageW(list, WM_LBUTTONUP, 0, 0);
  ::SendMessageW(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(start.x, start.y));
  form->WindowProc = previous;
  ParkCursor();
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_ALL;
  ASSERT_TRUE(::GetScrollInfo(list, SB_VERT, &si));
  EXPECT_EQ(si.nPos, si.nMax - static_cast<int>(si.nPage) + 1);
  EXPECT_EQ(::SendMessageW(list, LB_GETTOPINDEX, 0, 0), 100 - static_cast<int>(si.nPage));
  EXPECT_NE(::GetCapture(), list);
  ::SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, FALSE, 0);
}

TEST_F(SkinnersTest, ComboListPressOffTheThumbIsLeftToTheSystem) {
  auto* combo = Place<TComboBox>(10, 10, 150, 24);
  combo->SetStyle(TComboBoxStyle::csDropDownList);
  for (int i = 0; i < 50; ++i) combo->Items()->Add(L"item " + IntToStr(i));
  auto* s = new TSkinComBox(combo);
  s->AttachControl(&host, skin, false, &host.canvas);
  ASSERT_TRUE(s->ListScroll);
  HWND list = s->ListScroll->Handle;
  SCROLLBARINFO info;
  ::SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, TRUE, 0);
  Settle(list, 50);
  ASSERT_TRUE(ReadScrollBarInfo(list, 1, info));
  // the up arrow is not the thumb
  TMessage press{WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(info.rcScrollBar.left + 2, info.rcScrollBar.top + 2), 0};
  EXPECT_FALSE(s->ListScroll->DragThumb(press));
  TMessage other{WM_NCLBUTTONDOWN, HTCAPTION, 0, 0};
  EXPECT_FALSE(s->ListScroll->DragThumb(other));
  ::SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, FALSE, 0);
}

}  // namespace
}  // namespace kivo

namespace kivo {
namespace {
using namespace kivo::test;

TEST_F(SkinnersTest, ScrollBarControlIsCoveredByTheSkinnedBarThatFollowsItsVisibility) {
  auto* bar = Place<TScrollBar>(300, 10, 17, 150);
  bar->SetKind(TScrollBarKind::sbVertical);  // turns the bar round
  bar->SetBounds(300, 10, 17, 150);
  bar->SetParams(0, 0, 100);
  auto* s = new TSkinScControl(bar);
  s->AttachControl(&host, skin, false, &host.canvas);
  Settle(form->Handle());
  ASSERT_TRUE(s->Overlay);
  HWND overlay = s->Overlay->Handle();
  ASSERT_TRUE(::IsWindowVisible(overlay));
  const RECT covered = ScreenRectOf(bar->Handle()), placed = ScreenRectOf(overlay);
  EXPECT_TRUE(::EqualRect(&covered, &placed));
  TWindowShot shot(overlay);
  ASSERT_EQ(shot.Height(), 150);
  EXPECT_EQ(shot.At(8, 2), SkinColor(testskin::pScrollbar, 9));
  EXPECT_EQ(shot.At(8, 147), SkinColor(testskin::pScrollbar, 13));
  // a click on the lower arrow reaches the control, which moves by a line
  ::PostMessageW(bar->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(8, 147));
  ::SendMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 147));
  Settle(form->Handle());
  EXPECT_EQ(bar->Position(), 1);
  ParkCursor();
  bar->SetVisible(false);
  Settle(form->Handle());
  EXPECT_FALSE(::IsWindowVisible(overlay));
  bar->SetVisible(true);
  Settle(form->Handle());
  EXPECT_TRUE(::IsWindowVisible(overlay));
}

TEST_F(SkinnersTest, GroupBoxEditAndTrackBarDrawTheirSkinParts) {
  auto* group = Place<TGroupBox>(10, 10, 150, 80);
  group->SetCaption(L"Group");
  auto* edit = Place<TEdit>(10, 100, 120, 24);
  auto* track = Place<TTrackBar>(10, 140, 200, 40);
  Skin<TSkinGroupBox>(group, true);
  Skin<TSkinEdit>(edit);
  Skin<TSkinTrackBar>(track);
  const COLORREF face = skin->Color(scButtonFace), shadow = skin->Color(scButtonShadow);
  // group box: face inside, a one-pixel shadow line instead of the system's frame
  TWindowShot g(group->Handle());
  EXPECT_EQ(g.At(1, 60), shadow);
  EXPECT_EQ(g.At(2, 60), face);
  EXPECT_EQ(g.At(75, 60), face);
  EXPECT_EQ(g.At(148, 60), shadow);
  // edit: a shadow frame, then two white ones
  TWindowShot e(edit->Handle());
  EXPECT_EQ(e.At(0, 12), shadow);
  EXPECT_EQ(e.At(1, 12), RGB(255, 255, 255));
  EXPECT_EQ(e.At(2, 12), RGB(255, 255, 255));
  // track bar: a grey frame round the channel, a grey thumb
  RECT channel{}, thumb{};
  ::SendMessageW(track->Handle(), TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  ::SendMessageW(track->Handle(), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  TWindowShot t(track->Handle());
  RECT wr = ScreenRectOf(track->Handle());
  POINT origin{0, 0};
  ::ClientToScreen(track->Handle(), &origin);
  const int dx = origin.x - wr.left, dy = origin.y - wr.top;
  EXPECT_EQ(t.At(dx + channel.right - 1, dy + channel.bottom - 1), RGB(0xA8, 0xA8, 0xA8));  // the thumb is at the left
  EXPECT_EQ(t.At(dx + (thumb.left + thumb.right) / 2, dy + (thumb.top + thumb.bottom) / 2), RGB(0xA8, 0xA8, 0xA8));
}

}  // namespace
}  // namespace kivo

namespace kivo {
namespace {
using namespace kivo::test;

TEST_F(SkinnersTest, ListViewHeaderIsDrawnFromTheHeaderPictureWithItsHotItem) {
  auto* view = Place<TListView>(10, 10, 240, 120);
  view->SetViewStyle(TViewStyle::vsReport);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH | LVCF_TEXT;
  column.cx = 60;
  column.pszText = const_cast<wchar_t*>(L"Name");
  ASSERT_EQ(::SendMessageW(view->Handle(), LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)), 0);
  auto* s = new TSkinListView(view);
  s->AttachControl(&host, skin, false, &host.canvas);
  ASSERT_TRUE(s->Header);
  HWND header = s->Header->Handle;
  ::InvalidateRect(header, nullptr, TRUE);
  Settle(header);
  RECT item;
  ASSERT_TRUE(::SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)));
  const int y = (item.top + item.bottom) / 2;
  TWindowShot idle(header);
  EXPECT_EQ(idle.At(item.left + 1, y), SkinColor(testskin::pHeader, 1));
  // the strip right of the last item: frame 1 of the header picture
  EXPECT_EQ(idle.At(item.right + 40, y), SkinColor(testskin::pHeader, 1));
  ::SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(item.left + 10, y));
  Settle(header);
  EXPECT_EQ(s->Header->HotItem, 0);
  EXPECT_EQ(TWindowShot(header).At(item.left + 1, y), SkinColor(testskin::pHeader, 2));
  ::SendMessageW(header, WM_MOUSELEAVE, 0, 0);
  Settle(header);
  EXPECT_EQ(TWindowShot(header).At(item.left + 1, y), SkinColor(testskin::pHeader, 1));
}

}  // namespace
}  // namespace kivo
