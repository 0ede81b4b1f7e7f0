// The standard and common controls on one gallery form under Xvfb, each driven by the messages a
// user causes (clicks, keys, scrolling, selection, dragging); events, state and properties by name
// are checked against the windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Buttons.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "GuiTestUtil.h"
#include "StdCtrls.h"
#include "ImgList.h"
#include "WebBrowser.h"
#include "WebTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A plain object to hang on items.
class TTag : public TObject {
 public:
  explicit TTag(int v) : Value(v) {}
  int Value;
};

class TGalleryForm : public TForm {
  KIVO_CLASS(TGalleryForm, TForm)
  explicit TGalleryForm(TComponent* owner) : TForm(owner) {
    SetCaption(L"Gallery");
    SetBounds(0, 0, 900, 700);
    SetColor(clBtnFace);
    Panel = Make<TPanel>(L"pnlButtons", this, 0, 0, 300, 120);
    OK = Make<TButton>(L"btnOK", Panel, 10, 10, 75, 25);
    OK->SetCaption(L"确定");
    OK->SetModalResult(mrOk);
    OK->SetDefault(true);
    Cancel = Make<TButton>(L"btnCancel", Panel, 90, 10, 75, 25);
    Cancel->SetCaption(L"取消");
    Cancel->SetCancel(true);
    Check = Make<TCheckBox>(L"chkAutoPlay", Panel, 10, 45, 150, 17);
    Check->SetCaption(L"启动后自动播放");
    Group = Make<TGroupBox>(L"grpExit", this, 300, 0, 250, 120);
    Group->SetCaption(L"退出");
    Radio1 = Make<TRadioButton>(L"rbCloseExit", Group, 10, 24, 200, 17);
    Radio1->SetCaption(L"退出程序");
    Radio2 = Make<TRadioButton>(L"rbCloseToTray", Group, 10, 48, 200, 17);
    Radio2->SetCaption(L"缩小到系统托盘区，不退出程序");
    Label = Make<TLabel>(L"lblName", this, 560, 10, 10, 10);
    Label->SetCaption(L"&Name");
    Edit = Make<TEdit>(L"edtName", this, 560, 30, 150, 21);
    Label->SetFocusControl(Edit);
    Memo = Make<TMemo>(L"memNotes", this, 560, 60, 200, 60);
    Combo = Make<TComboBox>(L"cmbFormats", this, 10, 130, 265, 21);
    Combo->SetStyle(TComboBoxStyle::csDropDownList);
    List = Make<TListBox>(L"lstItems", this, 300, 130, 200, 100);
    List->SetStyle(TListBoxStyle::lbOwnerDrawFixed);
    List->SetItemHeight(20);
    Scroll = Make<TScrollBar>(L"sbRed", this, 10, 170, 230, 15);
    Scroll->SetParams(255, 0, 510);
    Scroll->SetLargeChange(10);
    Track = Make<TTrackBar>(L"tbSpeed", this, 10, 200, 200, 40);
    Progress = Make<TProgressBar>(L"pbLoad", this, 10, 250, 200, 16);
    UpDownEdit = Make<TEdit>(L"edtInterval", this, 520, 130, 60, 21);
    UpDown = Make<TUpDown>(L"udInterval", this, 580, 130, 17, 21);
    UpDown->SetAssociate(UpDownEdit);
    Pages = Make<TPageControl>(L"SysBook", this, 10, 280, 400, 200);
    Pages->SetTabPosition(TTabPosition::tpBottom);
    Pages->SetTabHeight(18);
    Tabs = Make<TTabControl>(L"tabModes", this, 420, 280, 200, 60);
    Tabs->Tabs()->Add(L"One");
    Tabs->Tabs()->Add(L"Two");
    Book = Make<TNotebook>(L"bookWindow", this, 640, 280, 160, 120);
    Book->SetColor(clBlack);
    Book->Pages()->Add(L"About");
    Book->Pages()->Add(L"Capture");
    AboutPanel = Make<TPanel>(L"pnlAbout", Book->FindPage(L"About"), 0, 0, 50, 50);
    Status = Make<TStatusBar>(L"sbMain", this, 0, 0, 900, 20);
    Views = Make<TListView>(L"lvAlbum", this, 420, 350, 300, 150);
    Speed1 = Make<TSpeedButton>(L"btnSrcCamera", this, 620, 130, 80, 22);
    Speed2 = Make<TSpeedButton>(L"btnSrcMovie", this, 700, 130, 80, 22);
    for (TSpeedButton* b : {Speed1, Speed2}) b->SetGroupIndex(110);
    Speed1->SetCaption(L"摄像头");
    Speed2->SetCaption(L"媒体");
    Web = Make<TWebBrowser>(L"AdBrowser", this, 0, 520, 600, 24);
  }
  template <class T>
  T* Make(const wchar_t* name, TWinControl* parent, int l, int t, int w, int h) {
    T* c = new T(this);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(l, t, w, h);
    return c;
  }
  TPanel* Panel;
  TButton *OK, *Cancel;
  TCheckBox* Check;
  TGroupBox* Group;
  TRadioButton *Radio1, *Radio2;
  TLabel* Label;
  TEdit* Edit;
  TMemo* Memo;
  TComboBox* Combo;
  TListBox* List;
  TScrollBar* Scroll;
  TTrackBar* Track;
  TProgressBar* Progress;
  TEdit* UpDownEdit;
  TUpDown* UpDown;
  TPageControl* Pages;
  TTabControl* Tabs;
  TNotebook* Book;
  TPanel* AboutPanel;
  TStatusBar* Status;
  TListView* Views;
  TSpeedButton *Speed1, *Speed2;
  TWebBrowser* Web;
};
KIVO_IMPLEMENT_CLASS(TGalleryForm)

class GalleryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = Create<TGalleryForm>(Application());
    form->Show();
    PumpFor(50);
  }
  void TearDown() override {
    if (form) form->Free();
    DoneApplication();
  }
  // Client point of a control inside another control's window.
  static POINT Inside(TControl* c, TWinControl* window, int dx, int dy) {
    POINT p = c->ClientToScreen(POINT{dx, dy});
    ::ScreenToClient(window->Handle(), &p);
    return p;
  }
  static void Key(HWND w, WORD key) {
    ::SendMessageW(w, WM_KEYDOWN, key, 1);
    ::SendMessageW(w, WM_KEYUP, key, 0xC0000001);
  }
  TGalleryForm* form = nullptr;
};

TEST_F(GalleryTest, ControlsAnswerLibraryClassNamesInWindowsAndClassTree) {
  struct Case {
    TControl* c;
    const wchar_t* name;
    const wchar_t* ancestor;
  };
  std::vector<Case> cases = {
      {form->OK, L"TButton", L"TButtonControl"},          {form->Check, L"TCheckBox", L"TCustomCheckBox"},
      {form->Radio1, L"TRadioButton", L"TButtonControl"}, {form->Group, L"TGroupBox", L"TCustomGroupBox"},
      {form->Edit, L"TEdit", L"TCustomEdit"},             {form->Memo, L"TMemo", L"TCustomEdit"},
      {form->Combo, L"TComboBox", L"TCustomComboBox"},    {form->List, L"TListBox", L"TCustomListBox"},
      {form->Scroll, L"TScrollBar", L"TWinControl"},      {form->Track, L"TTrackBar", L"TWinControl"},
      {form->Progress, L"TProgressBar", L"TWinControl"},  {form->UpDown, L"TUpDown", L"TCustomUpDown"},
      {form->Pages, L"TPageControl", L"TCustomTabControl"}, {form->Tabs, L"TTabControl", L"TCustomTabControl"},
      {form->Book, L"TNotebook", L"TCustomControl"},      {form->Status, L"TStatusBar", L"TWinControl"},
      {form->Views, L"TListView", L"TCustomListView"},    {form->Web, L"TWebBrowser", L"TWinControl"},
      {form->Label, L"TLabel", L"TGraphicControl"},       {form->Speed1, L"TSpeedButton", L"TGraphicControl"},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(k.c->ClassName(), k.name);
    EXPECT_TRUE(k.c->InheritsFrom(k.ancestor)) << k.name;
    if (auto* w = dynamic_cast<TWinControl*>(k.c)) {
      EXPECT_EQ(ClassOf(w->Handle()), k.name);  // the window class carries the library's name
      EXPECT_EQ(FindControl(w->Handle()), w);
    }
  }
  // superclassed system controls keep their system behaviour
  EXPECT_EQ(::SendMessageW(form->Check->Handle(), WM_GETDLGCODE, 0, 0) & DLGC_BUTTON, DLGC_BUTTON);
  EXPECT_NE(::SendMessageW(form->Edit->Handle(), WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL, 0);
  EXPECT_EQ(TextOf(form->Radio2->Handle()), L"缩小到系统托盘区，不退出程序");
}

TEST_F(GalleryTest, PublishedPropertiesReadAndWriteThroughTheControls) {
  SetPropValue(form->Check, L"Checked", L"True");
  EXPECT_TRUE(form->Check->Checked());
  EXPECT_EQ(::SendMessageW(form->Check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(GetEnumProp(form->Check, L"State"), L"cbChecked");
  EXPECT_EQ(GetEnumProp(form->OK, L"Default"), L"True");
  EXPECT_EQ(GetOrdProp(form->OK, L"ModalResult"), mrOk);
  EXPECT_EQ(GetStrProp(form->OK, L"Caption"), L"确定");

  SetPropValue(form->Scroll, L"Position", L"300");
  EXPECT_EQ(::GetScrollPos(form->Scroll->Handle(), SB_CTL), 300);
  EXPECT_EQ(GetOrdProp(form->Scroll, L"LargeChange"), 10);
  EXPECT_EQ(GetEnumProp(form->Scroll, L"Kind"), L"sbHorizontal");

  form->Combo->Items()->Add(L"RGB 320 x 240, 24 bits");
  form->Combo->Items()->Add(L"RGB 640 x 480, 24 bits");
  SetPropValue(form->Combo, L"ItemIndex", L"1");
  EXPECT_EQ(::SendMessageW(form->Combo->Handle(), CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(GetStrProp(form->Combo, L"Text"), L"RGB 640 x 480, 24 bits");
  EXPECT_EQ(GetEnumProp(form->Combo, L"Style"), L"csDropDownList");
  EXPECT_EQ(GetObjectProp(form->Combo, L"Items"), form->Combo->Items());

  EXPECT_EQ(GetEnumProp(form->Pages, L"TabPosition"), L"tpBottom");
  EXPECT_EQ(GetOrdProp(form->Pages, L"TabHeight"), 18);
  SetPropValue(form->Status, L"SimpleText", L"就绪");
  EXPECT_EQ(form->Status->SimpleText(), L"就绪");
  SetPropValue(form->Speed1, L"Flat", L"True");
  EXPECT_TRUE(form->Speed1->Flat());
  EXPECT_EQ(GetOrdProp(form->Speed1, L"GroupIndex"), 110);
  EXPECT_EQ(GetObjectProp(form->Speed1, L"Glyph"), form->Speed1->Glyph());
  EXPECT_TRUE(form->Speed1->Glyph()->Empty());
  SetPropValue(form->Edit, L"Text", L"abc");
  EXPECT_EQ(TextOf(form->Edit->Handle()), L"abc");
  SetPropValue(form->Edit, L"ReadOnly", L"True");
  EXPECT_NE(::GetWindowLongW(form->Edit->Handle(), GWL_STYLE) & ES_READONLY, 0);
  // the label sized itself to its caption once the form had loaded
  EXPECT_GT(form->Label->Width(), 20);
  EXPECT_GT(form->Label->Height(), 8);
  int w = form->Label->Width();
  SetPropValue(form->Label, L"Caption", L"&Name and more");
  EXPECT_GT(form->Label->Width(), w);
  SetPropValue(form->Label, L"AutoSize", L"False");
  SetPropValue(form->Label, L"Caption", L"N");
  EXPECT_GT(form->Label->Width(), w);
  SetPropValue(form->Label, L"Transparent", L"True");
  EXPECT_TRUE(form->Label->Transparent());
  EXPECT_EQ(GetStrProp(form->Book, L"ActivePage"), L"About");
  // a value of another kind is refused
  EXPECT_THROW(SetPropValue(form->Check, L"Checked", L"Maybe"), Exception);
}

TEST_F(GalleryTest, ButtonClickFiresOnClickAndSetsTheFormsModalResult) {
  int clicks = 0;
  form->OK->OnClick = [&](TObject* s) {
    EXPECT_EQ(s, form->OK);
    ++clicks;
  };
  ClickAt(form->OK->Handle(), 10, 10);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  form->SetModalResult(mrNone);

  // the keyboard: space on the focused button
  form->OK->SetFocus();
  Key(form->OK->Handle(), VK_SPACE);
  EXPECT_EQ(clicks, 2);

  // Enter reaches the default button inside its panel; Escape the cancel button
  int cancels = 0;
  form->Cancel->OnClick = [&](TObject*) { ++cancels; };
  EXPECT_EQ(form->Perform(CM_DIALOGKEY, VK_RETURN, 0), 1);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(form->Perform(CM_DIALOGKEY, VK_ESCAPE, 0), 1);
  EXPECT_EQ(cancels, 1);
  // disabled: the window is disabled, so the mouse does not reach it
  form->OK->SetEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(form->OK->Handle()));
  EXPECT_EQ(GetEnumProp(form->OK, L"Enabled"), L"False");
}

TEST_F(GalleryTest, CheckBoxCheckedFromCodeFiresOnClickOnlyOnAChange) {
  int clicks = 0, stateMessages = 0;
  form->Check->OnClick = [&](TObject*) { ++clicks; };
  TWndMethod old = form->Check->WindowProc;
  form->Check->WindowProc = [&](TMessage& m) {
    if (m.Msg == CM_STATECHANGED) ++stateMessages;
    old(m);
  };
  // the user's click toggles
  ClickAt(form->Check->Handle(), 5, 5);
  EXPECT_TRUE(form->Check->Checked());
  EXPECT_EQ(::SendMessageW(form->Check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(clicks, 1);
  // the same value from code: nothing
  form->Check->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  // a change from code: OnClick once
  form->Check->SetChecked(false);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(::SendMessageW(form->Check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(stateMessages, 2);
  // AllowGrayed: unchecked -> checked -> grayed -> unchecked
  form->Check->SetAllowGrayed(true);
  std::vector<TCheckBoxState> seen;
  for (int i = 0; i < 3; ++i) {
    ClickAt(form->Check->Handle(), 5, 5);
    seen.push_back(form->Check->State());
  }
  EXPECT_EQ(seen, (std::vector<TCheckBoxState>{TCheckBoxState::cbChecked, TCheckBoxState::cbGrayed, TCheckBoxState::cbUnchecked}));
  EXPECT_EQ(clicks, 5);
  // the state survives a new window
  form->Check->SetChecked(true);
  form->Check->RecreateWnd();
  EXPECT_EQ(::SendMessageW(form->Check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  form->Check->WindowProc = old;
}

TEST_F(GalleryTest, RadioButtonsOfAParentExcludeEachOther) {
  std::vector<std::wstring> clicks;
  auto record = [&](TObject* s) { clicks.push_back(static_cast<TComponent*>(s)->Name()); };
  form->Radio1->OnClick = record;
  form->Radio2->OnClick = record;
  form->Radio1->SetChecked(true);  // from code: a change fires
  ClickAt(form->Radio2->Handle(), 5, 5);
  EXPECT_TRUE(form->Radio2->Checked());
  EXPECT_FALSE(form->Radio1->Checked());
  EXPECT_EQ(::SendMessageW(form->Radio1->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(::SendMessageW(form->Radio2->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  // clicking the checked one again changes nothing
  ClickAt(form->Radio2->Handle(), 5, 5);
  form->Radio2->SetChecked(true);
  EXPECT_EQ(clicks, (std::vector<std::wstring>{L"rbCloseExit", L"rbCloseToTray"}));
  // unchecking from code fires nothing
  form->Radio2->SetChecked(false);
  EXPECT_EQ(clicks.size(), 2u);
}

TEST_F(GalleryTest, EditTypingFiresOnChangeSetsModifiedAndPassesKeyPress) {
  int changes = 0, exits = 0;
  form->Edit->OnChange = [&](TObject*) { ++changes; };
  form->Edit->OnExit = [&](TObject*) { ++exits; };
  form->Edit->OnKeyPress = [&](TObject*, wchar_t& key) {
    if (key == L'x') key = 0;  // swallowed
  };
  form->Edit->SetFocus();
  HWND h = form->Edit->Handle();
  for (wchar_t ch : std::wstring(L"axb视频")) ::SendMessageW(h, WM_CHAR, ch, 1);
  EXPECT_EQ(form->Edit->Text(), L"ab视频");
  EXPECT_EQ(changes, 4);
  EXPECT_TRUE(form->Edit->Modified());
  // text from code changes the text, fires OnChange, and is no user modification
  form->Edit->SetText(L"10");
  EXPECT_EQ(changes, 5);
  EXPECT_FALSE(form->Edit->Modified());
  // the same text again: no change
  form->Edit->SetText(L"10");
  EXPECT_EQ(changes, 5);
  // leaving the edit
  form->Memo->SetFocus();
  EXPECT_EQ(exits, 1);
  // the label's accelerator focuses its control
  EXPECT_EQ(form->Label->Perform(CM_DIALOGCHAR, L'n', 0), 1);
  EXPECT_EQ(::GetFocus(), h);
}

TEST_F(GalleryTest, MemoLinesAreTheLinesOfItsText) {
  int changes = 0;
  form->Memo->OnChange = [&](TObject*) { ++changes; };
  TStrings* lines = form->Memo->Lines();
  EXPECT_EQ(lines->Count(), 0);
  lines->Add(L"第一行");
  lines->Add(L"second");
  EXPECT_EQ(lines->Count(), 2);
  EXPECT_EQ(TextOf(form->Memo->Handle()), L"第一行\r\nsecond");
  lines->Insert(0, L"zero");
  lines->Delete(2);
  EXPECT_EQ(lines->Get(1), L"第一行");
  EXPECT_EQ(lines->Count(), 2);
  EXPECT_GE(changes, 4);  // a multi-line edit reports text set from code too
  // typing a new line
  HWND h = form->Memo->Handle();
  int end = ::GetWindowTextLengthW(h);
  ::SendMessageW(h, EM_SETSEL, end, end);
  ::SendMessageW(h, WM_CHAR, VK_RETURN, 1);
  ::SendMessageW(h, WM_CHAR, L'x', 1);
  EXPECT_EQ(lines->Count(), 3);
  EXPECT_EQ(lines->Get(2), L"x");
  EXPECT_TRUE(form->Memo->Modified());
  lines->Clear();
  EXPECT_EQ(TextOf(h), L"");
}

TEST_F(GalleryTest, ComboBoxUserSelectionFiresOnChangeButCodeDoesNot) {
  TTag a(1), b(2), c(3);
  form->Combo->Items()->AddObject(L"RGB 320 x 240, 24 bits", &a);
  form->Combo->Items()->AddObject(L"RGB 640 x 480, 24 bits", &b);
  form->Combo->Items()->AddObject(L"I420 320 x 240, 12 bits", &c);
  int changes = 0;
  form->Combo->OnChange = [&](TObject*) { ++changes; };
  form->Combo->SetItemIndex(0);
  EXPECT_EQ(changes, 0);
  // the keyboard moves the selection of a closed drop-down list
  form->Combo->SetFocus();
  Key(form->Combo->Handle(), VK_DOWN);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(form->Combo->ItemIndex(), 1);
  EXPECT_EQ(form->Combo->Text(), L"RGB 640 x 480, 24 bits");
  EXPECT_EQ(static_cast<TTag*>(form->Combo->Items()->Objects(form->Combo->ItemIndex()))->Value, 2);
  // dropped down, a pick with the mouse in the list
  form->Combo->SetDroppedDown(true);
  EXPECT_TRUE(form->Combo->DroppedDown());
  COMBOBOXINFO info{sizeof(info)};
  ASSERT_TRUE(::GetComboBoxInfo(form->Combo->Handle(), &info));
  LRESULT itemHeight = ::SendMessageW(info.hwndList, LB_GETITEMHEIGHT, 0, 0);
  LPARAM pos = MAKELPARAM(5, static_cast<int>(itemHeight * 2 + itemHeight / 2));
  ::SendMessageW(info.hwndList, WM_MOUSEMOVE, 0, pos);
  ::SendMessageW(info.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, pos);
  ::SendMessageW(info.hwndList, WM_LBUTTONUP, 0, pos);
  PumpFor(20);
  EXPECT_EQ(form->Combo->ItemIndex(), 2);
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(form->Combo->DroppedDown());
  // items, objects and selection live on through a new window
  form->Combo->RecreateWnd();
  EXPECT_EQ(::SendMessageW(form->Combo->Handle(), CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(form->Combo->ItemIndex(), 2);
  EXPECT_EQ(form->Combo->Items()->Objects(0), &a);
  // Text on a list without an edit selects the item of that text
  form->Combo->SetText(L"rgb 320 x 240, 24 bits");
  EXPECT_EQ(form->Combo->ItemIndex(), 0);
  EXPECT_EQ(changes, 2);
}

TEST_F(GalleryTest, ComboBoxWithAnEditReportsTypingAndOwnerDrawnOnesDrawTheirItems) {
  auto* combo = new TComboBox(form);
  combo->SetParent(form);
  combo->SetBounds(10, 600, 150, 21);
  combo->Items()->Add(L"5");
  combo->Items()->Add(L"10");
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  COMBOBOXINFO info{sizeof(info)};
  ASSERT_TRUE(::GetComboBoxInfo(combo->Handle(), &info));
  ASSERT_NE(info.hwndItem, nullptr);  // the edit
  ::SendMessageW(info.hwndItem, WM_CHAR, L'7', 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(combo->Text(), L"7");
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->OnChange = nullptr;

  // owner-drawn: the closed box and the list's items come through OnDrawItem
  combo->SetStyle(TComboBoxStyle::csOwnerDrawFixed);
  combo->SetItemHeight(18);
  std::vector<int> drawn;
  combo->OnDrawItem = [&](TWinControl* c, int index, const RECT& r, TOwnerDrawState) {
    EXPECT_EQ(c, combo);
    drawn.push_back(index);
    combo->Canvas()->Brush()->SetColor(clYellow);
    combo->Canvas()->FillRect(r);
  };
  combo->SetItemIndex(1);
  combo->SetDroppedDown(true);
  PumpFor(30);
  ASSERT_TRUE(::GetComboBoxInfo(combo->Handle(), &info));
  ::RedrawWindow(info.hwndList, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), 0), drawn.end());
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), 1), drawn.end());
  EXPECT_EQ(::SendMessageW(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), 18);
  combo->SetDroppedDown(false);
  combo->OnDrawItem = nullptr;
}

TEST_F(GalleryTest, OwnerDrawnListBoxDrawsEveryItemAndReportsClicks) {
  std::vector<int> drawn;
  std::vector<RECT> rects;
  form->List->OnDrawItem = [&](TWinControl* c, int index, const RECT& r, TOwnerDrawState state) {
    EXPECT_EQ(c, form->List);
    drawn.push_back(index);
    rects.push_back(r);
    TCanvas* canvas = form->List->Canvas();
    canvas->Brush()->SetColor((state & odSelected) ? clBlue : (index % 2 ? clLime : clRed));
    canvas->FillRect(r);
  };
  for (const wchar_t* s : {L"Camera", L"Movie", L"Album", L"Snag"}) form->List->Items()->Add(s);
  ::RedrawWindow(form->List->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  ASSERT_GE(drawn.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_NE(std::find(drawn.begin(), drawn.end(), i), drawn.end()) << i;
  EXPECT_EQ(rects[0].bottom - rects[0].top, 20);  // the owner's item height
  {
    // the owner's colours are on the screen
    TWindowDC dc(form->List->Handle());
    EXPECT_EQ(::GetPixel(dc.Get(), 5, 5), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc.Get(), 5, 25), RGB(0, 255, 0));
  }
  int clicks = 0;
  form->List->OnClick = [&](TObject*) { ++clicks; };
  drawn.clear();
  ClickAt(form->List->Handle(), 10, 45);
  PumpFor(20);
  EXPECT_EQ(form->List->ItemIndex(), 2);
  EXPECT_EQ(clicks, 1);
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), 2), drawn.end());  // redrawn as selected
  // from code: no click
  form->List->SetItemIndex(3);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(::SendMessageW(form->List->Handle(), LB_GETCURSEL, 0, 0), 3);
}

TEST_F(GalleryTest, ScrollBarReportsThumbDragsAndLetsOnScrollAdjust) {
  std::vector<TScrollCode> codes;
  std::vector<int> positions;
  int changes = 0;
  form->Scroll->OnChange = [&](TObject*) { ++changes; };
  form->Scroll->OnScroll = [&](TObject* s, TScrollCode code, int& pos) {
    EXPECT_EQ(s, form->Scroll);
    codes.push_back(code);
    positions.push_back(pos);
  };
  HWND h = form->Scroll->Handle();
  // the keyboard: a line, then a page
  Key(h, VK_RIGHT);
  EXPECT_EQ(form->Scroll->Position(), 256);
  Key(h, VK_NEXT);
  EXPECT_EQ(form->Scroll->Position(), 266);
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes[0], TScrollCode::scLineDown);
  EXPECT_NE(std::find(codes.begin(), codes.end(), TScrollCode::scPageDown), codes.end());

  // a thumb drag: the bar's own tracking loop reads the posted moves
  codes.clear();
  positions.clear();
  SCROLLBARINFO sbi{sizeof(sbi)};
  ASSERT_TRUE(::GetScrollBarInfo(h, OBJID_CLIENT, &sbi));
  RECT wr;
  ::GetWindowRect(h, &wr);
  int thumbX = (sbi.xyThumbTop + sbi.xyThumbBottom) / 2, y = 7;
  ::PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(thumbX + 20, y));
  ::PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(thumbX + 40, y));
  ::PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(thumbX + 40, y));
  ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(thumbX, y));
  PumpFor(30);
  int tracks = static_cast<int>(std::count(codes.begin(), codes.end(), TScrollCode::scTrack));
  EXPECT_GE(tracks, 1);
  EXPECT_EQ(codes.back(), TScrollCode::scEndScroll);
  EXPECT_GT(form->Scroll->Position(), 266);
  EXPECT_EQ(::GetScrollPos(h, SB_CTL), form->Scroll->Position());

  // the handler may change where the bar goes
  form->Scroll->OnScroll = [](TObject*, TScrollCode, int& pos) { pos = 100; };
  Key(h, VK_RIGHT);
  EXPECT_EQ(form->Scroll->Position(), 100);
  EXPECT_EQ(::GetScrollPos(h, SB_CTL), 100);
  // from code: clamped, OnChange on a change only
  int before = changes;
  form->Scroll->SetPosition(9999);
  EXPECT_EQ(form->Scroll->Position(), 510);
  form->Scroll->SetPosition(510);
  EXPECT_EQ(changes, before + 1);
  EXPECT_THROW(form->Scroll->SetParams(0, 10, 5), EInvalidOperation);
}

TEST_F(GalleryTest, TrackBarProgressBarAndUpDownFollowTheUser) {
  int changes = 0;
  form->Track->OnChange = [&](TObject*) { ++changes; };
  form->Track->SetFocus();
  Key(form->Track->Handle(), VK_RIGHT);
  Key(form->Track->Handle(), VK_RIGHT);
  EXPECT_EQ(form->Track->Position(), 2);
  EXPECT_EQ(changes, 2);
  form->Track->SetPosition(7);
  EXPECT_EQ(::SendMessageW(form->Track->Handle(), TBM_GETPOS, 0, 0), 7);
  EXPECT_EQ(changes, 3);
  form->Track->SetPosition(7);
  EXPECT_EQ(changes, 3);

  form->Progress->SetMax(50);
  form->Progress->SetPosition(20);
  form->Progress->SetStep(5);
  form->Progress->StepIt();
  EXPECT_EQ(::SendMessageW(form->Progress->Handle(), PBM_GETPOS, 0, 0), 25);
  EXPECT_EQ(form->Progress->Position(), 25);

  // the up arrow of the up-down: OnChanging, the new position in the buddy, OnClick(btNext)
  std::vector<TUDBtnType> presses;
  bool allow = true;
  form->UpDown->SetMax(10);
  form->UpDown->SetPosition(3);
  form->UpDown->OnChanging = [&](TObject*, bool& a) { a = allow; };
  form->UpDown->OnClick = [&](TObject*, TUDBtnType b) { presses.push_back(b); };
  HWND ud = form->UpDown->Handle();
  RECT r;
  ::GetClientRect(ud, &r);
  auto press = [&](int y) {
    ::SendMessageW(ud, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, y));
    ::SendMessageW(ud, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, y));
    PumpFor(10);
  };
  press(2);
  EXPECT_EQ(form->UpDown->Position(), 4);
  EXPECT_EQ(TextOf(form->UpDownEdit->Handle()), L"4");
  press(r.bottom - 2);
  press(r.bottom - 2);
  EXPECT_EQ(form->UpDown->Position(), 2);
  EXPECT_EQ(presses, (std::vector<TUDBtnType>{TUDBtnType::btNext, TUDBtnType::btPrev, TUDBtnType::btPrev}));
  allow = false;
  press(2);
  EXPECT_EQ(form->UpDown->Position(), 2);
  EXPECT_EQ(presses.size(), 3u);
}

TEST_F(GalleryTest, PageControlWithBottomTabsSwitchesSheetsAddedAtRunTime) {
  std::vector<TTabSheet*> sheets;
  for (const wchar_t* caption : {L"基本设置", L"显示效果", L"播放"}) {
    auto* s = new TTabSheet(form);
    s->SetCaption(caption);
    s->SetPageControl(form->Pages);
    sheets.push_back(s);
  }
  auto* onSecond = new TCheckBox(form);
  onSecond->SetParent(sheets[1]);
  onSecond->SetBounds(5, 5, 100, 17);
  HWND tabs = form->Pages->Handle();
  EXPECT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_NE(::GetWindowLongW(tabs, GWL_STYLE) & TCS_BOTTOM, 0);
  EXPECT_EQ(form->Pages->ActivePage(), sheets[0]);  // the first sheet came up

  // the tabs are below the sheets, and the tab height is the one asked for
  RECT tab = form->Pages->TabRect(1), display = form->Pages->DisplayRect();
  EXPECT_GE(tab.top, display.bottom);
  EXPECT_EQ(tab.bottom - tab.top, 18);
  RECT sheet = sheets[0]->BoundsRect();
  EXPECT_EQ(sheet.bottom, display.bottom);
  EXPECT_EQ(sheet.top, display.top);

  int changes = 0;
  bool allow = true;
  form->Pages->OnChange = [&](TObject*) { ++changes; };
  form->Pages->OnChanging = [&](TObject*, bool& a) { a = allow; };
  ClickAt(tabs, (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
  PumpFor(20);
  EXPECT_EQ(form->Pages->ActivePage(), sheets[1]);
  EXPECT_EQ(form->Pages->ActivePageIndex(), 1);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(::IsWindowVisible(sheets[1]->Handle()));
  EXPECT_FALSE(::IsWindowVisible(sheets[0]->Handle()));
  EXPECT_TRUE(::IsWindowVisible(onSecond->Handle()));
  EXPECT_EQ(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 1);

  // OnChanging may refuse
  allow = false;
  RECT third = form->Pages->TabRect(2);
  ClickAt(tabs, (third.left + third.right) / 2, (third.top + third.bottom) / 2);
  PumpFor(20);
  EXPECT_EQ(form->Pages->ActivePage(), sheets[1]);
  EXPECT_EQ(changes, 1);
  // from code: no events
  form->Pages->SetActivePageIndex(2);
  EXPECT_EQ(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
  EXPECT_TRUE(::IsWindowVisible(sheets[2]->Handle()));
  EXPECT_EQ(changes, 1);
  // a sheet's caption is its tab's text; a hidden tab goes from the strip
  sheets[0]->SetCaption(L"General");
  wchar_t buf[64] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = buf;
  item.cchTextMax = 64;
  ::SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(buf, L"General");
  sheets[0]->SetTabVisible(false);
  EXPECT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 1);
  // freeing the active sheet brings up another
  sheets[2]->Free();
  EXPECT_EQ(form->Pages->PageCount(), 2);
  EXPECT_NE(form->Pages->ActivePage(), nullptr);
}

TEST_F(GalleryTest, TabControlAndNotebookSwitchPages) {
  int changes = 0;
  form->Tabs->OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(form->Tabs->TabIndex(), 0);
  RECT r = form->Tabs->TabRect(1);
  ClickAt(form->Tabs->Handle(), (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PumpFor(20);
  EXPECT_EQ(form->Tabs->TabIndex(), 1);
  EXPECT_EQ(changes, 1);
  form->Tabs->Tabs()->Add(L"Three");
  EXPECT_EQ(::SendMessageW(form->Tabs->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(form->Tabs->TabIndex(), 1);

  // notebook: named pages, the active one shown
  TNotebook* book = form->Book;
  EXPECT_EQ(book->PageCount(), 2);
  EXPECT_EQ(book->PageIndex(), 0);
  EXPECT_EQ(form->AboutPanel->Parent(), book->FindPage(L"about"));
  EXPECT_TRUE(::IsWindowVisible(form->AboutPanel->Handle()));
  int pageChanges = 0;
  book->OnPageChanged = [&](TObject*) { ++pageChanges; };
  book->SetActivePage(L"Capture");
  EXPECT_EQ(book->PageIndex(), 1);
  EXPECT_EQ(pageChanges, 1);
  EXPECT_FALSE(::IsWindowVisible(form->AboutPanel->Handle()));
  EXPECT_TRUE(::IsWindowVisible(book->Page(1)->Handle()));
  RECT pr = book->Page(1)->BoundsRect();
  EXPECT_EQ(pr.right - pr.left, book->ClientWidth());  // a page fills the book
  EXPECT_EQ(book->Pages()->Objects(1), book->Page(1));
  book->Pages()->Delete(0);
  EXPECT_EQ(book->PageCount(), 1);
  EXPECT_EQ(book->ActivePage(), L"Capture");
}

TEST_F(GalleryTest, StatusBarShowsPanelsAndDrawsOwnerDrawnOnes) {
  TStatusBar* bar = form->Status;
  EXPECT_EQ(bar->Align(), TAlign::alBottom);
  EXPECT_EQ(bar->Top() + bar->Height(), form->ClientHeight());
  TStatusPanel* text = bar->Panels()->Add();
  text->SetText(L"就绪");
  text->SetWidth(120);
  TStatusPanel* drawn = bar->Panels()->Add();
  drawn->SetStyle(TStatusPanelStyle::psOwnerDraw);
  HWND h = bar->Handle();
  EXPECT_EQ(::SendMessageW(h, SB_GETPARTS, 0, 0), 2);
  wchar_t buf[64] = {};
  ::SendMessageW(h, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buf));
  EXPECT_STREQ(buf, L"就绪");
  std::vector<TStatusPanel*> painted;
  bar->OnDrawPanel = [&](TStatusBar* b, TStatusPanel* p, const RECT& r) {
    EXPECT_EQ(b, bar);
    painted.push_back(p);
    b->Canvas()->Brush()->SetColor(clRed);
    b->Canvas()->FillRect(r);
  };
  ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  ASSERT_FALSE(painted.empty());
  EXPECT_EQ(painted[0], drawn);
  RECT pr = bar->PanelRect(1);
  EXPECT_EQ(pr.left >= 120 - 2 && pr.left <= 120 + 2, true) << pr.left;
  // the simple panel replaces the parts
  bar->SetSimplePanel(true);
  bar->SetSimpleText(L"simple");
  EXPECT_TRUE(::SendMessageW(h, SB_ISSIMPLE, 0, 0));
  bar->SetSimplePanel(false);
  EXPECT_FALSE(::SendMessageW(h, SB_ISSIMPLE, 0, 0));
}

// The album's drop: every selected item moves in turn to the target's position.
void DropSelected(TListView* lv, int x, int y) {
  TListItem* target = lv->GetItemAt(x, y);
  std::vector<TListItem*> work;
  for (int i = 0; i < lv->Items()->Count(); ++i) work.push_back(lv->Items()->Item(i));
  int to = target ? static_cast<int>(std::find(work.begin(), work.end(), target) - work.begin()) : -1;
  for (int i = 0; i < static_cast<int>(work.size()); ++i) {
    TListItem* it = work[i];
    if (!it->Selected()) continue;
    work.erase(work.begin() + i);
    if (to < 0) work.push_back(it);
    else work.insert(work.begin() + to, it);
  }
  lv->Items()->Reorder(work);
}

TEST_F(GalleryTest, ListViewKeepsDataDrawsCustomAndReordersByDrag) {
  TListView* lv = form->Views;
  // large icons from an image list component
  auto* images = new TImageList(form);
  images->SetWidth(32);
  images->SetHeight(32);
  {
    TBitmap icon(32, 32, TPixelFormat::pf24bit);
    icon.Canvas()->Brush()->SetColor(clGreen);
    icon.Canvas()->FillRect(RECT{0, 0, 32, 32});
    images->AddMasked(&icon, clNone);
  }
  lv->SetLargeImages(images);
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(::SendMessageW(lv->Handle(), LVM_GETIMAGELIST, LVSIL_NORMAL, 0)), images->Handle());
  EXPECT_EQ(GetObjectProp(lv, L"LargeImages"), images);
  lv->SetMultiSelect(true);
  lv->SetDragMode(TDragMode::dmAutomatic);
  lv->SetReadOnly(true);
  static int data[5] = {10, 11, 12, 13, 14};
  lv->Items()->BeginUpdate();
  for (int i = 0; i < 5; ++i) {
    TListItem* it = lv->Items()->Add();
    it->SetCaption(std::wstring(1, static_cast<wchar_t>(L'A' + i)));
    it->SetData(&data[i]);
    it->SetImageIndex(0);
  }
  lv->Items()->EndUpdate();
  HWND h = lv->Handle();
  EXPECT_EQ(::SendMessageW(h, LVM_GETITEMCOUNT, 0, 0), 5);
  EXPECT_EQ(lv->ViewStyle(), TViewStyle::vsIcon);

  // custom drawing: every item is offered, and the default drawing can be suppressed
  std::vector<std::wstring> offered;
  lv->OnCustomDrawItem = [&](TCustomListView* sender, TListItem* item, TCustomDrawState, bool& def) {
    EXPECT_EQ(sender, lv);
    offered.push_back(item->Caption());
    RECT r = item->DisplayRect(LVIR_BOUNDS);
    sender->Canvas()->Brush()->SetColor(clYellow);
    sender->Canvas()->FillRect(r);
    def = false;
  };
  ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  EXPECT_GE(offered.size(), 5u);
  {
    RECT icon = lv->Items()->Item(0)->DisplayRect(LVIR_BOUNDS);
    TWindowDC dc(h);
    EXPECT_EQ(::GetPixel(dc.Get(), (icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2), RGB(255, 255, 0));
  }

  // a click selects, with OnSelectItem
  std::vector<std::pair<std::wstring, bool>> selections;
  lv->OnSelectItem = [&](TObject*, TListItem* item, bool sel) { selections.emplace_back(item->Caption(), sel); };
  RECT rc = lv->Items()->Item(2)->DisplayRect(LVIR_ICON);
  ClickAt(h, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  PumpFor(20);
  ASSERT_EQ(lv->Selected(), lv->Items()->Item(2));
  EXPECT_EQ(*static_cast<int*>(lv->Selected()->Data()), 12);
  ASSERT_FALSE(selections.empty());
  EXPECT_EQ(selections.back(), (std::pair<std::wstring, bool>{L"C", true}));
  lv->Items()->Item(4)->SetSelected(true);
  EXPECT_EQ(lv->SelCount(), 2);

  // drag C (with E) onto A: the list accepts only its own items. The drop finds its target on
  // the screen, where other test programs' windows may lie: stay on top of them.
  form->SetFormStyle(TFormStyle::fsStayOnTop);
  int overs = 0, drops = 0;
  lv->OnDragOver = [&](TObject*, TObject* source, int, int, TDragState, bool& accept) {
    ++overs;
    accept = source == lv;
  };
  lv->OnDragDrop = [&](TObject*, TObject* source, int x, int y) {
    EXPECT_EQ(source, lv);
    ++drops;
    DropSelected(lv, x, y);
  };
  RECT ra = lv->Items()->Item(0)->DisplayRect(LVIR_ICON);
  POINT from{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}, to{(ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2};
  ::PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.x + 15, from.y + 15));
  ::PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
  ::PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
  ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
  PumpFor(50);
  EXPECT_FALSE(lv->Dragging());
  EXPECT_GE(overs, 1);
  EXPECT_EQ(drops, 1);
  std::wstring order;
  std::vector<int> dataOrder;
  for (int i = 0; i < lv->Items()->Count(); ++i) {
    order += lv->Items()->Item(i)->Caption();
    dataOrder.push_back(*static_cast<int*>(lv->Items()->Item(i)->Data()));
    // the window's rows follow the items
    wchar_t buf[8] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buf;
    item.cchTextMax = 8;
    ::SendMessageW(h, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(buf), lv->Items()->Item(i)->Caption());
  }
  EXPECT_EQ(order, L"ECABD");
  EXPECT_EQ(dataOrder, (std::vector<int>{14, 12, 10, 11, 13}));
  EXPECT_TRUE(lv->Items()->Item(0)->Selected());  // the moved items stay selected
  EXPECT_TRUE(lv->Items()->Item(1)->Selected());

  // deleting tells OnDeletion; a new window keeps the items
  std::vector<std::wstring> deleted;
  lv->OnDeletion = [&](TObject*, TListItem* item) { deleted.push_back(item->Caption()); };
  lv->Items()->Delete(0);
  EXPECT_EQ(deleted, std::vector<std::wstring>{L"E"});
  lv->RecreateWnd();
  EXPECT_EQ(deleted.size(), 1u);
  EXPECT_EQ(::SendMessageW(lv->Handle(), LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(lv->Selected(), lv->Items()->Item(0));
  // the handlers use this test's locals
  lv->OnDeletion = nullptr;
  lv->OnSelectItem = nullptr;
  lv->OnCustomDrawItem = nullptr;
  // the list forgets a freed image list
  images->Free();
  EXPECT_EQ(lv->LargeImages(), nullptr);
  EXPECT_EQ(::SendMessageW(lv->Handle(), LVM_GETIMAGELIST, LVSIL_NORMAL, 0), 0);
}

TEST_F(GalleryTest, SpeedButtonsOfAGroupStayDownOneAtATime) {
  std::vector<std::wstring> clicks;
  auto record = [&](TObject* s) { clicks.push_back(static_cast<TComponent*>(s)->Name()); };
  form->Speed1->OnClick = record;
  form->Speed2->OnClick = record;
  HWND h = form->Handle();
  auto click = [&](TSpeedButton* b) {
    POINT p = Inside(b, form, 5, 5);
    ClickAt(h, p.x, p.y);
  };
  click(form->Speed1);
  EXPECT_TRUE(form->Speed1->Down());
  click(form->Speed2);
  EXPECT_TRUE(form->Speed2->Down());
  EXPECT_FALSE(form->Speed1->Down());
  // the down one of a group without AllowAllUp stays down
  click(form->Speed2);
  EXPECT_TRUE(form->Speed2->Down());
  EXPECT_EQ(clicks, (std::vector<std::wstring>{L"btnSrcCamera", L"btnSrcMovie", L"btnSrcMovie"}));
  // AllowAllUp goes to the whole group
  form->Speed1->SetAllowAllUp(true);
  EXPECT_TRUE(form->Speed2->AllowAllUp());
  click(form->Speed2);
  EXPECT_FALSE(form->Speed2->Down());
  // from code
  form->Speed1->SetDown(true);
  EXPECT_EQ(form->Speed1->State(), TButtonState::bsExclusive);
  // a button outside any group never stays down
  form->Speed2->SetGroupIndex(0);
  click(form->Speed2);
  EXPECT_FALSE(form->Speed2->Down());
  EXPECT_TRUE(form->Speed1->Down());
  // pressed and released outside: no click
  clicks.clear();
  POINT p = Inside(form->Speed2, form, 5, 5);
  ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(form->Speed2->State(), TButtonState::bsDown);
  ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(p.x + 200, p.y + 200));
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(form->Speed2->State(), TButtonState::bsUp);
}

TEST_F(GalleryTest, SpeedButtonDrawsTheGlyphPartOfItsState) {
  // a strip of two 16 x 16 parts: red when up, blue when disabled; the corner colour is see-through
  TBitmap strip(32, 16, TPixelFormat::pf24bit);
  TCanvas* c = strip.Canvas();
  c->Brush()->SetColor(clLime);
  c->FillRect(RECT{0, 0, 32, 16});
  c->Brush()->SetColor(clRed);
  c->FillRect(RECT{2, 2, 14, 14});
  c->Brush()->SetColor(clBlue);
  c->FillRect(RECT{18, 2, 30, 14});
  TSpeedButton* b = form->Speed1;
  b->SetCaption(L"");
  b->SetGlyph(&strip);
  EXPECT_EQ(b->NumGlyphs(), 2);  // told by the strip's shape
  EXPECT_EQ(b->Glyph()->Width(), 32);
  EXPECT_NE(b->Glyph(), &strip);  // a copy
  auto pixelAt = [&](int dx, int dy) {
    ::RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    POINT p = Inside(b, form, dx, dy);
    TWindowDC dc(form->Handle());
    return ::GetPixel(dc.Get(), p.x, p.y);
  };
  // the glyph is centred: its middle is the button's middle
  int cx = b->Width() / 2, cy = b->Height() / 2;
  EXPECT_EQ(pixelAt(cx, cy), RGB(255, 0, 0));
  EXPECT_NE(pixelAt(cx - 7, cy - 7), RGB(0, 255, 0));  // the see-through corner is not painted
  b->SetEnabled(false);
  EXPECT_EQ(pixelAt(cx, cy), RGB(0, 0, 255));
}

TEST_F(GalleryTest, WebAreaShowsTheAddressItIsSentTo) {
  form->Web->SetAlign(TAlign::alBottom);
  EXPECT_EQ(form->Web->Top() + form->Web->Height(), form->Status->Top());
  // the machine's control: a page of our own, and one the area's handler refuses
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring page = std::wstring(temp) + L"kivo gallery " + std::to_wstring(::GetCurrentProcessId()) + L".htm";
  {
    TFileOwner f(::CreateFileW(page.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f.Valid());
  }
  ASSERT_NE(form->Web->ControlInterface(), nullptr) << std::hex << form->Web->CreateError();
  EXPECT_EQ(form->Web->Navigate(test::FileUrlOf(page)), S_OK);
  EXPECT_EQ(test::PathOfUrl(form->Web->LocationURL()), test::Lowered(page));
  std::wstring refused;
  form->Web->OnBeforeNavigate = [&](TObject*, const std::wstring& url, bool& cancel) {
    refused = url;
    cancel = true;
  };
  EXPECT_TRUE(SUCCEEDED(form->Web->Navigate(test::FileUrlOf(page + L".other"))));
  ASSERT_TRUE(PumpUntil([&] { return !refused.empty(); }, 5000)) << "the control did not ask";
  EXPECT_EQ(test::PathOfUrl(refused), test::Lowered(page + L".other"));
  EXPECT_EQ(test::PathOfUrl(form->Web->LocationURL()), test::Lowered(page));
  ::DeleteFileW(page.c_str());
}

TEST_F(GalleryTest, GalleryFormsComeAndGoWithoutLeakingHandles) {
  auto cycle = [] {
    auto* f = Create<TGalleryForm>(Application());
    f->Show();
    for (int i = 0; i < 3; ++i) {
      auto* s = new TTabSheet(f);
      s->SetCaption(L"S");
      s->SetPageControl(f->Pages);
    }
    f->List->Items()->Add(L"x");
    f->Combo->Items()->Add(L"y");
    f->Views->Items()->Add()->SetCaption(L"z");
    f->Status->Panels()->Add()->SetText(L"p");
    f->Check->RecreateWnd();
    ::RedrawWindow(f->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE);
    PumpFor(10);
    f->Free();
    PumpFor(10);
  };
  cycle();  // classes, fonts and caches made once
  size_t windows = ThreadWindows().size();
  int kernel = CountKernelHandles();
  int gdi = GdiHighWater();
  for (int i = 0; i < 5; ++i) cycle();
  // On a loaded machine Wine lets go of a few objects a little later: a leak never settles.
  PumpUntil([&] { return CountKernelHandles() == kernel && GdiHighWater() <= gdi; }, 3000);
  EXPECT_EQ(ThreadWindows().size(), windows);
  EXPECT_EQ(CountKernelHandles(), kernel);
  EXPECT_LE(GdiHighWater() - gdi, 0);  // caches of the first round may have let go since
}

}  // namespace
