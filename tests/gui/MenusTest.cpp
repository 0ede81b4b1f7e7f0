// Menus under Xvfb: a main menu on a form, popup menus shown with Popup and driven by the keyboard
// from a timer while the system's menu loop runs, owner-drawn items, shortcuts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "Menus.h"

using namespace kivo;
using namespace kivo::test;

namespace {

struct TShortCutCase {
  const wchar_t* text;
  TShortCut value;
  const wchar_t* back;  // the text the value gives back
};
class ShortCutText : public ::testing::TestWithParam<TShortCutCase> {};
TEST_P(ShortCutText, ConvertsBothWays) {
  const TShortCutCase& c = GetParam();
  EXPECT_EQ(TextToShortCut(c.text), c.value) << c.text;
  EXPECT_EQ(ShortCutToText(c.value), c.back);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, ShortCutText,
    ::testing::Values(TShortCutCase{L"Ctrl+Alt+S", static_cast<TShortCut>(scCtrl | scAlt | 'S'), L"Ctrl+Alt+S"},
                      TShortCutCase{L"F5", VK_F5, L"F5"}, TShortCutCase{L"Shift+Del", static_cast<TShortCut>(scShift | VK_DELETE), L"Shift+Del"},
                      TShortCutCase{L"ctrl+o", static_cast<TShortCut>(scCtrl | 'O'), L"Ctrl+O"},
                      TShortCutCase{L"Alt+Ctrl+F12", static_cast<TShortCut>(scCtrl | scAlt | VK_F12), L"Ctrl+Alt+F12"},
                      TShortCutCase{L"", 0, L""}, TShortCutCase{L"Ctrl+", 0, L""}, TShortCutCase{L"Hyper+S", 0, L""},
                      TShortCutCase{L"Ctrl+Banana", 0, L""}, TShortCutCase{L"F25", 0, L""}),
    [](const ::testing::TestParamInfo<TShortCutCase>& info) { return "Case" + std::to_string(info.index); });

class TMenuForm : public TForm {
  KIVO_CLASS(TMenuForm, TForm)
  explicit TMenuForm(TComponent* owner) : TForm(owner) {
    SetBounds(100, 100, 400, 300);
    Main = new TMainMenu(this);
    File = Item(Main->Items(), L"&File");
    Open = Item(File, L"&Open...");
    Open->SetShortCut(TextToShortCut(L"Ctrl+O"));
    Item(File, L"-");
    Exit = Item(File, L"E&xit");
    Tray = new TPopupMenu(this);
    ShowItem = Item(Tray->Items(), L"打开YelkKivo窗口");
    ShowItem->SetDefault(true);
    Reply = Item(Tray->Items(), L"论坛反馈");
    Quit = Item(Tray->Items(), L"退出YelkKivo");
  }
  TMenuItem* Item(TMenuItem* parent, const wchar_t* caption) {
    auto* i = new TMenuItem(this);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  }
  TMainMenu* Main;
  TMenuItem *File, *Open, *Exit;
  TPopupMenu* Tray;
  TMenuItem *ShowItem, *Reply, *Quit;
};
KIVO_IMPLEMENT_CLASS(TMenuForm)

class MenusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = Create<TMenuForm>(Application());
    form->Show();
    PumpFor(30);
  }
  void TearDown() override {
    if (form) form->Free();
    DoneApplication();
  }
  std::wstring MenuText(HMENU m, UINT pos) {
    wchar_t buf[128] = {};
    ::GetMenuStringW(m, pos, buf, 128, MF_BYPOSITION);
    return buf;
  }
  TMenuForm* form = nullptr;
};

// Keys posted to the thread from a timer while a menu loop runs.
std::vector<WORD> gKeys;
HWND gKeyWindow = nullptr;
void CALLBACK PressKeys(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  for (WORD k : gKeys) {
    ::PostMessageW(gKeyWindow, WM_KEYDOWN, k, 1);
    ::PostMessageW(gKeyWindow, WM_KEYUP, k, 0xC0000001);
  }
}
void PressKeysSoon(HWND w, std::vector<WORD> keys) {
  gKeys = std::move(keys);
  gKeyWindow = w;
  ::SetTimer(nullptr, 0, 150, PressKeys);
}

TEST_F(MenusTest, MainMenuBuildsTheMenuBarAndRoutesCommandsToItems) {
  form->Main->SetForm(form);
  HMENU bar = ::GetMenu(form->Handle());
  ASSERT_EQ(bar, form->Main->Handle());
  ASSERT_EQ(::GetMenuItemCount(bar), 1);
  HMENU file = ::GetSubMenu(bar, 0);
  EXPECT_EQ(file, form->File->Handle());
  EXPECT_EQ(::GetMenuItemCount(file), 3);
  EXPECT_EQ(MenuText(file, 0), L"&Open...\tCtrl+O");
  EXPECT_EQ(::GetMenuItemID(file, 2), form->Exit->Command());
  EXPECT_NE(::GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);

  // item state shows in the menu
  form->Exit->SetEnabled(false);
  form->Open->SetChecked(true);
  EXPECT_NE(::GetMenuState(file, 2, MF_BYPOSITION) & MF_GRAYED, 0u);
  EXPECT_NE(::GetMenuState(file, 0, MF_BYPOSITION) & MF_CHECKED, 0u);
  form->Open->SetVisible(false);
  EXPECT_EQ(::GetMenuItemCount(file), 2);
  form->Open->SetVisible(true);
  EXPECT_EQ(::GetMenuItemCount(file), 3);

  // the menu loop posts WM_COMMAND to the form; the item's OnClick runs
  int opens = 0, exits = 0;
  form->Open->OnClick = [&](TObject* s) {
    EXPECT_EQ(s, form->Open);
    ++opens;
  };
  form->Exit->OnClick = [&](TObject*) { ++exits; };
  ::PostMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(form->Open->Command(), 0), 0);
  ::PostMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(form->Exit->Command(), 0), 0);  // disabled
  PumpFor(30);
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(exits, 0);
  // shortcuts of the menu
  EXPECT_TRUE(form->Main->IsShortCut('O', ssCtrl));
  EXPECT_EQ(opens, 2);
  EXPECT_FALSE(form->Main->IsShortCut('O', 0));
  EXPECT_EQ(form->Main->FindItem(reinterpret_cast<UINT_PTR>(file), TFindItemKind::fkHandle), form->File);

  // a freed item leaves its menu; the menu bar survives the form's window
  form->Exit->Free();
  form->Exit = nullptr;
  EXPECT_EQ(::GetMenuItemCount(file), 2);
  form->RecreateWnd();
  EXPECT_EQ(::GetMenu(form->Handle()), bar);
  EXPECT_TRUE(::IsMenu(bar));
}

TEST_F(MenusTest, PopupRunsTheMenuLoopAndTheChosenItemsOnClickFollows) {
  std::vector<std::wstring> clicked;
  int popups = 0;
  form->Tray->OnPopup = [&](TObject*) { ++popups; };
  for (TMenuItem* i : {form->ShowItem, form->Reply, form->Quit})
    i->OnClick = [&, i](TObject*) { clicked.push_back(i->Caption()); };
  HMENU h = form->Tray->Handle();
  EXPECT_NE(::GetMenuState(h, 0, MF_BYPOSITION) & MF_DEFAULT, 0u);
  EXPECT_EQ(MenuText(h, 1), L"论坛反馈");

  // down twice and Enter: the second item
  PressKeysSoon(form->Tray->WindowHandle(), {VK_DOWN, VK_DOWN, VK_RETURN});
  form->Tray->Popup(200, 200);
  PumpFor(50);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(clicked, std::vector<std::wstring>{L"论坛反馈"});

  // Escape: nothing chosen
  PressKeysSoon(form->Tray->WindowHandle(), {VK_ESCAPE, VK_ESCAPE});
  form->Tray->Popup(200, 200);
  PumpFor(50);
  EXPECT_EQ(popups, 2);
  EXPECT_EQ(clicked.size(), 1u);
}

TEST_F(MenusTest, AControlsPopupMenuComesUpOnItsContextMenuMessage) {
  auto* panel = new TWinControl(form);
  panel->SetParent(form);
  panel->SetBounds(10, 10, 100, 50);
  panel->SetPopupMenu(form->Tray);
  int quits = 0;
  form->Quit->OnClick = [&](TObject*) { ++quits; };
  PressKeysSoon(form->Tray->WindowHandle(), {VK_UP, VK_RETURN});
  POINT p = panel->ClientToScreen(POINT{5, 5});
  ::SendMessageW(panel->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(panel->Handle()), MAKELPARAM(p.x, p.y));
  PumpFor(50);
  EXPECT_EQ(quits, 1);
  EXPECT_EQ(form->Tray->PopupComponent(), panel);
  // without AutoPopup the menu stays down
  form->Tray->SetAutoPopup(false);
  int popups = 0;
  form->Tray->OnPopup = [&](TObject*) { ++popups; };
  ::SendMessageW(panel->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(panel->Handle()), MAKELPARAM(p.x, p.y));
  EXPECT_EQ(popups, 0);
  form->Quit->OnClick = nullptr;
  form->Tray->OnPopup = nullptr;
}

TEST_F(MenusTest, OwnerDrawnItemsAreMeasuredAndDrawnWhileTheMenuIsOpen) {
  std::vector<std::wstring> measured, drawn;
  bool sawSelected = false;
  form->Tray->SetOwnerDraw(true);
  UINT state = ::GetMenuState(form->Tray->Handle(), 0, MF_BYPOSITION);
  EXPECT_NE(state & MF_OWNERDRAW, 0u);
  for (TMenuItem* i : {form->ShowItem, form->Reply, form->Quit}) {
    i->OnMeasureItem = [&, i](TObject* s, TCanvas* c, int& w, int& h) {
      EXPECT_EQ(s, i);
      EXPECT_GT(w, 0);  // the default size comes first
      EXPECT_NE(c, nullptr);
      measured.push_back(i->Caption());
      w = 150;
      h = 24;
    };
    i->OnDrawItem = [&, i](TObject*, TCanvas* c, const RECT& r, bool selected) {
      drawn.push_back(i->Caption());
      EXPECT_EQ(r.bottom - r.top, 24);
      sawSelected = sawSelected || selected;
      c->Brush()->SetColor(selected ? clBlue : clWhite);
      c->FillRect(r);
    };
  }
  int quits = 0;
  form->Quit->OnClick = [&](TObject*) { ++quits; };
  PressKeysSoon(form->Tray->WindowHandle(), {VK_UP, VK_RETURN});
  form->Tray->Popup(100, 100);
  PumpFor(50);
  EXPECT_EQ(measured.size(), 3u);
  EXPECT_GE(drawn.size(), 3u);
  EXPECT_TRUE(sawSelected);
  EXPECT_EQ(quits, 1);

  // the owner-drawn item's data is the item; a routed WM_DRAWITEM reaches it
  drawn.clear();
  TWindowDC screen(nullptr);
  DRAWITEMSTRUCT d{};
  d.CtlType = ODT_MENU;
  d.itemID = form->Reply->Command();
  d.itemData = reinterpret_cast<ULONG_PTR>(form->Reply);
  d.hDC = screen.Get();
  d.rcItem = RECT{0, 0, 150, 24};
  EXPECT_EQ(::SendMessageW(form->Tray->WindowHandle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d)), 1);
  EXPECT_EQ(drawn, std::vector<std::wstring>{L"论坛反馈"});
  // an unknown item pointer is not followed
  d.itemData = 0x1234;
  EXPECT_EQ(::SendMessageW(form->Tray->WindowHandle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d)), 0);
  EXPECT_EQ(drawn.size(), 1u);
}

TEST_F(MenusTest, RadioItemsAutoCheckAndCommandsStayUnique) {
  std::vector<TMenuItem*> modes;
  for (const wchar_t* c : {L"A", L"B", L"C"}) {
    TMenuItem* i = form->Item(form->File, c);
    i->SetRadioItem(true);
    i->SetGroupIndex(1);
    i->SetAutoCheck(true);
    modes.push_back(i);
  }
  modes[0]->Click();
  modes[2]->Click();
  EXPECT_FALSE(modes[0]->Checked());
  EXPECT_TRUE(modes[2]->Checked());
  EXPECT_EQ(GetEnumProp(modes[2], L"Checked"), L"True");
  SetPropValue(modes[1], L"Caption", L"Bee");
  EXPECT_EQ(MenuText(form->File->Handle(), 4), L"Bee");
  // commands are unique and found through the registry
  std::vector<UINT> ids;
  for (TMenuItem* i : {form->File, form->Open, form->Exit, form->ShowItem, form->Reply, form->Quit, modes[0], modes[1], modes[2]})
    ids.push_back(i->Command());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
  EXPECT_EQ(FindMenuCommand(modes[1]->Command()), modes[1]);
  UINT gone = modes[1]->Command();
  modes[1]->Free();
  EXPECT_EQ(FindMenuCommand(gone), nullptr);
  // an item cannot go into two menus or into itself
  EXPECT_THROW(form->Tray->Items()->Add(form->Open), EInvalidOperation);
  EXPECT_THROW(form->Open->Add(form->File), EInvalidOperation);
}

TEST_F(MenusTest, FreedMenusTakeTheirHandlesWithThem) {
  HMENU bar = nullptr, sub = nullptr, popup = nullptr;
  {
    auto* m = new TMainMenu(nullptr);
    auto* top = new TMenuItem(m);
    top->SetCaption(L"Top");
    m->Items()->Add(top);
    auto* child = new TMenuItem(m);
    child->SetCaption(L"Child");
    top->Add(child);
    bar = m->Handle();
    sub = top->Handle();
    auto* p = new TPopupMenu(nullptr);
    popup = p->Handle();
    m->Free();
    p->Free();
  }
  EXPECT_FALSE(::IsMenu(bar));
  EXPECT_FALSE(::IsMenu(sub));
  EXPECT_FALSE(::IsMenu(popup));
}

}  // namespace
