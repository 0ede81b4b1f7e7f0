// Controls in real windows under Xvfb: a form with nested panels, windowless controls and a frame,
// driven by the messages a user causes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "GuiTestUtil.h"
#include "StdCtrls.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A windowless control that fills itself with one colour.
class TTestBox : public TGraphicControl {
  KIVO_CLASS(TTestBox, TGraphicControl)
  using TGraphicControl::TGraphicControl;
  TColor Fill = clRed;
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    Canvas()->Brush()->SetColor(Fill);
    Canvas()->FillRect(ClientRect());
  }
};
KIVO_IMPLEMENT_CLASS(TTestBox)

// A push button made by superclassing the system BUTTON class; clicks come back as CN_COMMAND.
class TTestButton : public TWinControl {
  KIVO_CLASS(TTestButton, TWinControl)
  explicit TTestButton(TComponent* owner) : TWinControl(owner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 75, 25);
  }
  std::vector<UINT> Reflected;
  std::vector<UINT> CnMessages;
  void WndProc(TMessage& m) override {
    if (m.Msg >= CN_BASE && m.Msg < CN_BASE + 0x200) CnMessages.push_back(m.Msg);
    if (m.Msg == CN_COMMAND) {
      Reflected.push_back(HIWORD(m.WParam));
      if (HIWORD(m.WParam) == BN_CLICKED) Click();
      return;
    }
    TWinControl::WndProc(m);
  }

 protected:
  void CreateParams(TCreateParams& p) override {
    TWinControl::CreateParams(p);
    p.SysClassName = L"BUTTON";
    p.Style |= BS_PUSHBUTTON;
  }
};
KIVO_IMPLEMENT_CLASS(TTestButton)

// Loaded is counted to check two-phase construction.
class TCountingPanel : public TPanel {
  KIVO_CLASS(TCountingPanel, TPanel)
  using TPanel::TPanel;
  int LoadedCalls = 0;
  int ParentWidthAtLoaded = -1;

 protected:
  void Loaded() override {
    TPanel::Loaded();
    ++LoadedCalls;
    ParentWidthAtLoaded = Parent() ? Parent()->ClientWidth() : -1;
  }
};
KIVO_IMPLEMENT_CLASS(TCountingPanel)

class TSampleFrame : public TFrame {
  KIVO_CLASS(TSampleFrame, TFrame)
  explicit TSampleFrame(TComponent* owner) : TFrame(owner) {
    SetBounds(0, 0, 200, 100);
    Strip = new TCountingPanel(this);
    Strip->SetName(L"Strip");
    Strip->SetParent(this);
    Strip->SetHeight(26);
    Strip->SetAlign(TAlign::alBottom);
    Strip->SetColor(0x2B2B2B);
    Button = new TTestBox(this);
    Button->SetName(L"btnPlay");
    Button->SetParent(Strip);
    Button->SetBounds(1, 1, 24, 24);
    Button->Fill = clLime;
  }
  TCountingPanel* Strip;
  TTestBox* Button;
};
KIVO_IMPLEMENT_CLASS(TSampleFrame)

class TMainTestForm : public TForm {
  KIVO_CLASS(TMainTestForm, TForm)
  explicit TMainTestForm(TComponent* owner) : TForm(owner) {
    SetCaption(L"打开YelkKivo窗口");
    SetBorderStyle(TFormBorderStyle::bsSizeable);
    SetBounds(40, 40, 500, 400);
    SetClientWidth(400);
    SetClientHeight(300);
    SetColor(clWhite);
    Top = Panel(L"pnlTop", this, TAlign::alTop, 0, 0, 10, 30, 0xC08000);
    Left = Panel(L"pnlLeft", this, TAlign::alLeft, 0, 0, 80, 10, 0x00C000);
    // designed sizes, as a form resource holds them: the anchors are relative to them
    Client = Panel(L"pnlClient", this, TAlign::alClient, 80, 30, 320, 270, 0xD6AE3E);
    Corner = Panel(L"pnlCorner", Client, TAlign::alNone, 250, 200, 60, 60, clYellow);
    Corner->SetAnchors(akRight | akBottom);
    Stretch = Panel(L"pnlStretch", Client, TAlign::alNone, 10, 10, 300, 20, clGray);
    Stretch->SetAnchors(akLeft | akTop | akRight);
    Box = new TTestBox(this);
    Box->SetName(L"Box");
    Box->SetParent(Client);
    Box->SetBounds(20, 100, 40, 30);
    Frame = new TSampleFrame(this);
    Frame->SetName(L"Frame");
    Frame->SetParent(Client);
    Frame->SetBounds(20, 150, 200, 100);
    Button = new TTestButton(this);
    Button->SetName(L"btnOk");
    Button->SetParent(Top);
    Button->SetBounds(5, 2, 75, 25);
    Button->SetCaption(L"确定");
  }
  TCountingPanel* Panel(const wchar_t* name, TWinControl* parent, TAlign align, int l, int t, int w, int h, TColor color) {
    auto* p = new TCountingPanel(this);
    p->SetName(name);
    p->SetBounds(l, t, w, h);
    p->SetParent(parent);
    p->SetAlign(align);
    p->SetColor(color);
    p->SetBevelOuter(TBevelCut::bvNone);
    return p;
  }
  TCountingPanel *Top, *Left, *Client, *Corner, *Stretch;
  TTestBox* Box;
  TSampleFrame* Frame;
  TTestButton* Button;
};
KIVO_IMPLEMENT_CLASS(TMainTestForm)

// A page built as the program's source pages are: a page control with its tabs at the bottom
// filling the frame, a sheet holding a list panel anchored on all sides and a row of buttons
// anchored to the bottom, all placed at the sheet's designed size while the frame is loading.
class TSheetFrame : public TFrame {
  KIVO_CLASS(TSheetFrame, TFrame)
  explicit TSheetFrame(TComponent* owner) : TFrame(owner) {
    SetBounds(0, 0, 320, 237);
    Book = new TPageControl(this);
    Book->SetName(L"Book");
    Book->SetBounds(0, 0, 320, 237);
    Book->SetParent(this);
    Book->SetAlign(TAlign::alClient);
    Book->SetTabPosition(TTabPosition::tpBottom);
    Book->SetTabHeight(20);
    for (const wchar_t* caption : {L"播放列表", L"显示效果"}) {
      auto* sheet = new TTabSheet(this);
      sheet->SetCaption(caption);
      sheet->SetPageControl(Book);
    }
    Sheet = Book->Pages(0);
    List = new TPanel(this);
    List->SetName(L"pnlList");
    List->SetBounds(0, 0, 312, 185);
    List->SetParent(Sheet);
    List->SetAnchors(akLeft | akTop | akRight | akBottom);
    for (int i = 0; i < 5; ++i) {
      auto* b = new TButton(this);
      b->SetBounds(2 + 62 * i, 188, 60, 18);
      b->SetParent(Sheet);
      b->SetCaption(L"按钮");
      b->SetAnchors(akLeft | akBottom);
      Buttons.push_back(b);
    }
    Book->SetActivePage(Book->Pages(1));
    Book->SetActivePage(Sheet);
  }
  TPageControl* Book;
  TTabSheet* Sheet;
  TPanel* List;
  std::vector<TButton*> Buttons;
};
KIVO_IMPLEMENT_CLASS(TSheetFrame)

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = Create<TMainTestForm>(Application());
    form->Show();
    PumpFor(50);
  }
  void TearDown() override {
    FreeForm();
    DoneApplication();
  }
  // Tests whose handlers use their own locals free the form before those go.
  void FreeForm() {
    if (form) form->Free();
    form = nullptr;
  }
  // Client point of a control inside another control's window.
  static POINT Inside(TControl* c, TWinControl* window, int dx = 3, int dy = 3) {
    POINT p = c->ClientToScreen(POINT{dx, dy});
    ::ScreenToClient(window->Handle(), &p);
    return p;
  }
  TMainTestForm* form = nullptr;
};

TEST_F(ControlsTest, FormBuildsFromItsDescriptionUnderLibraryClassNames) {
  HWND h = form->Handle();
  EXPECT_EQ(ClassOf(h), L"TMainTestForm");
  EXPECT_EQ(ClassOf(form->Top->Handle()), L"TCountingPanel");
  EXPECT_EQ(ClassOf(form->Frame->Handle()), L"TSampleFrame");
  EXPECT_EQ(ClassOf(form->Button->Handle()), L"TTestButton");
  EXPECT_EQ(::GetParent(form->Frame->Strip->Handle()), form->Frame->Handle());
  EXPECT_EQ(::GetParent(form->Frame->Handle()), form->Client->Handle());
  // the form is owned by the hidden application window, not a child of anything
  EXPECT_EQ(::GetWindow(h, GW_OWNER), Application()->Handle());
  EXPECT_EQ(ClassOf(Application()->Handle()), L"TApplication");
  EXPECT_FALSE(::IsWindowVisible(h) == FALSE);

  // every component got Loaded once, after the whole description ran (the parent had its size)
  for (TCountingPanel* p : {form->Top, form->Left, form->Client, form->Corner, form->Stretch, form->Frame->Strip}) {
    EXPECT_EQ(p->LoadedCalls, 1) << p->Name();
    EXPECT_FALSE(p->IsLoading());
  }
  EXPECT_EQ(form->Frame->Strip->ParentWidthAtLoaded, 200);
  EXPECT_FALSE(form->IsLoading());
  EXPECT_EQ(form->FindComponent(L"pnlCorner"), form->Corner);
  EXPECT_EQ(form->Frame->FindComponent(L"btnPlay"), form->Frame->Button);
  EXPECT_EQ(form->Frame->Owner(), form);

  // the Chinese caption is the window's text
  EXPECT_EQ(TextOf(h), L"打开YelkKivo窗口");
  EXPECT_EQ(TextOf(form->Button->Handle()), L"确定");
}

TEST_F(ControlsTest, EveryWindowFindsItsControlThroughTheControlAtom) {
  wchar_t expected[64];
  swprintf(expected, 64, L"ControlOfs%08X%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(::GetModuleHandleW(nullptr))),
           static_cast<unsigned>(::GetCurrentThreadId()));
  EXPECT_EQ(ControlAtomString(), expected);
  ATOM atom = ::GlobalFindAtomW(expected);
  ASSERT_NE(atom, 0);
  std::vector<TWinControl*> all = {form, form->Top, form->Left, form->Client, form->Corner, form->Stretch,
                                   form->Frame, form->Frame->Strip, form->Button};
  for (TWinControl* c : all) {
    HWND h = c->Handle();
    EXPECT_EQ(::GetPropW(h, MAKEINTATOM(atom)), reinterpret_cast<HANDLE>(c)) << c->Name();
    EXPECT_EQ(::GetPropA(h, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(atom))), reinterpret_cast<HANDLE>(c)) << c->Name();
    EXPECT_EQ(FindControl(h), c);
  }
  // and the other way: every window of the form's tree belongs to a control
  std::vector<HWND> children = ChildWindows(form->Handle());
  for (HWND w : children) EXPECT_NE(FindControl(w), nullptr) << ClassOf(w).c_str();
  size_t windows = children.size();
  EXPECT_EQ(windows, 8u);
}

TEST_F(ControlsTest, AlignAndAnchorsLayChildrenOutOnResize) {
  auto check = [&](int cw, int ch) {
    EXPECT_EQ(form->ClientWidth(), cw);
    EXPECT_EQ(form->ClientHeight(), ch);
    RECT top = form->Top->BoundsRect(), left = form->Left->BoundsRect(), client = form->Client->BoundsRect();
    EXPECT_EQ(top.left, 0);
    EXPECT_EQ(top.top, 0);
    EXPECT_EQ(top.right, cw);
    EXPECT_EQ(top.bottom, 30);
    EXPECT_EQ(left.left, 0);
    EXPECT_EQ(left.top, 30);
    EXPECT_EQ(left.right, 80);
    EXPECT_EQ(left.bottom, ch);
    EXPECT_EQ(client.left, 80);
    EXPECT_EQ(client.top, 30);
    EXPECT_EQ(client.right, cw);
    EXPECT_EQ(client.bottom, ch);
    // the windows agree with the objects
    RECT wr;
    ::GetWindowRect(form->Client->Handle(), &wr);
    ::MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&wr), 2);
    EXPECT_EQ(wr.left, client.left);
    EXPECT_EQ(wr.right, client.right);
    EXPECT_EQ(wr.bottom, client.bottom);
    // frame: its strip sits at its bottom, full width
    EXPECT_EQ(form->Frame->Strip->Top(), form->Frame->ClientHeight() - 26);
    EXPECT_EQ(form->Frame->Strip->Width(), form->Frame->ClientWidth());
  };
  int resizes = 0;
  form->Client->OnResize = [&](TObject*) { ++resizes; };
  check(400, 300);
  EXPECT_EQ(form->Corner->Left(), 250);
  EXPECT_EQ(form->Stretch->Width(), 300);

  // the user drags the frame bigger: the window changes first, the layout follows
  RECT wr;
  ::GetWindowRect(form->Handle(), &wr);
  ::SetWindowPos(form->Handle(), nullptr, 0, 0, wr.right - wr.left + 100, wr.bottom - wr.top + 50, SWP_NOMOVE | SWP_NOZORDER);
  PumpFor(20);
  check(500, 350);
  EXPECT_GE(resizes, 1);
  EXPECT_EQ(form->Corner->Left(), 350);  // right/bottom anchored: moved by the growth
  EXPECT_EQ(form->Corner->Top(), 250);
  EXPECT_EQ(form->Corner->Width(), 60);
  EXPECT_EQ(form->Stretch->Left(), 10);  // left+right anchored: stretched
  EXPECT_EQ(form->Stretch->Width(), 400);

  // and smaller again, through the object
  form->SetClientWidth(300);
  form->SetClientHeight(250);
  check(300, 250);
  EXPECT_EQ(form->Corner->Left(), 150);
  EXPECT_EQ(form->Corner->Top(), 150);
  EXPECT_EQ(form->Stretch->Width(), 200);

  // hiding an aligned panel gives its room to the others; DisableAlign defers until EnableAlign
  form->DisableAlign();
  form->Top->SetVisible(false);
  EXPECT_EQ(form->Left->Top(), 30);
  form->EnableAlign();
  EXPECT_EQ(form->Left->Top(), 0);
  EXPECT_EQ(form->Client->Top(), 0);
  FreeForm();
}

// The main window puts its source pages into notebook pages that have no size yet: the page's
// sheets shrink to nothing and grow back, and the bottom row of buttons must come back with them,
// inside the sheet and under the list, on the screen too.
TEST_F(ControlsTest, AnchoredControlsOfAPageComeBackWhenItsParentGrowsFromNothing) {
  auto* holder = new TPanel(form);
  holder->SetParent(form->Client);
  holder->SetBounds(0, 0, 0, 0);
  holder->SetBevelOuter(TBevelCut::bvNone);
  auto* page = Create<TSheetFrame>(form);
  page->SetParent(holder);
  page->SetAlign(TAlign::alClient);
  holder->SetBounds(0, 0, 320, 237);
  form->SetClientWidth(400);
  form->SetClientHeight(320);
  PumpFor(100);

  RECT display = page->Book->DisplayRect();
  RECT sheet = page->Sheet->BoundsRect();
  EXPECT_EQ(sheet.left, display.left);
  EXPECT_EQ(sheet.top, display.top);
  EXPECT_EQ(sheet.right, display.right);
  EXPECT_EQ(sheet.bottom, display.bottom);
  const int sw = page->Sheet->ClientWidth(), sh = page->Sheet->ClientHeight();
  ASSERT_GT(sh, 150);
  // the sheet's size while the frame was loading was the size the control gives it
  EXPECT_EQ(page->List->Height(), 185 + sh - 209);
  RECT list = page->List->BoundsRect();
  EXPECT_EQ(list.left, 0);
  EXPECT_EQ(list.top, 0);
  EXPECT_LE(list.right, sw);
  for (TButton* b : page->Buttons) {
    RECT r = b->BoundsRect();
    SCOPED_TRACE(r.left);
    EXPECT_TRUE(::IsWindowVisible(b->Handle()));
    EXPECT_EQ(r.top, list.bottom + 3);  // under the list, as designed
    EXPECT_LE(r.bottom, sh);            // inside the sheet
    EXPECT_LE(r.right, sw);
  }

  // nothing of the page lies over the buttons: the sheet's window finds each at its middle
  for (TButton* b : page->Buttons) {
    const RECT r = b->BoundsRect();
    POINT mid{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    EXPECT_EQ(::ChildWindowFromPointEx(page->Sheet->Handle(), mid, CWP_SKIPINVISIBLE), b->Handle());
  }
  FreeForm();
}

// A list view holds its image list's handle: resizing the list makes a new one, which the view
// must take (with the new cell size) instead of keeping the destroyed one.
TEST_F(ControlsTest, AListViewTakesItsImageListAgainWhenTheListIsResized) {
  auto* images = new TImageList(form);
  images->SetWidth(32);
  images->SetHeight(32);
  TBitmap picture(32, 32, TPixelFormat::pf24bit);
  images->Add(&picture, nullptr);
  auto* view = new TListView(form);
  view->SetParent(form->Client);
  view->SetBounds(0, 0, 200, 150);
  view->SetLargeImages(images);
  auto shown = [&] { return reinterpret_cast<HIMAGELIST>(::SendMessageW(view->Handle(), LVM_GETIMAGELIST, LVSIL_NORMAL, 0)); };
  ASSERT_EQ(shown(), images->Handle());

  images->SetHeight(50);
  TBitmap taller(32, 50, TPixelFormat::pf24bit);
  images->Add(&taller, nullptr);
  EXPECT_EQ(shown(), images->Handle());
  int cx = 0, cy = 0;
  ASSERT_TRUE(::ImageList_GetIconSize(shown(), &cx, &cy));
  EXPECT_EQ(cx, 32);
  EXPECT_EQ(cy, 50);

  // a view that lets go of the list no longer hears of it; a freed list leaves the view empty
  view->SetLargeImages(nullptr);
  images->SetWidth(40);
  EXPECT_EQ(shown(), nullptr);
  view->SetLargeImages(images);
  images->Free();
  EXPECT_EQ(view->LargeImages(), nullptr);
  EXPECT_EQ(shown(), nullptr);
  FreeForm();
}

TEST_F(ControlsTest, ClicksReachOnClickOfWindowedAndWindowlessControls) {
  std::vector<std::wstring> clicks;
  auto record = [&](TObject* s) { clicks.push_back(static_cast<TComponent*>(s)->Name()); };
  form->Box->OnClick = record;
  form->Corner->OnClick = record;
  form->Frame->Button->OnClick = record;
  form->Client->OnClick = record;

  // windowless box: the click goes to its parent's window and is routed to it
  POINT p = Inside(form->Box, form->Client);
  ClickAt(form->Client->Handle(), p.x, p.y);
  // a windowed panel
  ClickAt(form->Corner->Handle(), 5, 5);
  // a windowless control on a panel inside the frame
  p = Inside(form->Frame->Button, form->Frame->Strip);
  ClickAt(form->Frame->Strip->Handle(), p.x, p.y);
  // empty space of the client panel
  ClickAt(form->Client->Handle(), 200, 5);
  EXPECT_EQ(clicks, (std::vector<std::wstring>{L"Box", L"pnlCorner", L"btnPlay", L"pnlClient"}));

  // pressed on the box but released outside it: no click
  clicks.clear();
  p = Inside(form->Box, form->Client);
  ::SendMessageW(form->Client->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(GetCaptureControl(), form->Box);  // the windowless control holds the capture
  ::SendMessageW(form->Client->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.x + 100, p.y + 100));
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(GetCaptureControl(), nullptr);

  // disabled: no click
  form->Box->SetEnabled(false);
  ClickAt(form->Client->Handle(), Inside(form->Box, form->Client).x, Inside(form->Box, form->Client).y);
  EXPECT_EQ(clicks, std::vector<std::wstring>{L"pnlClient"});  // the parent gets it instead

  // mouse events carry control coordinates
  int mx = -1, my = -1;
  form->Frame->Button->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    EXPECT_EQ(b, TMouseButton::mbLeft);
    EXPECT_TRUE(s & ssLeft);
    mx = x;
    my = y;
  };
  p = Inside(form->Frame->Button, form->Frame->Strip, 7, 9);
  ClickAt(form->Frame->Strip->Handle(), p.x, p.y);
  EXPECT_EQ(mx, 7);
  EXPECT_EQ(my, 9);
  FreeForm();
}

TEST_F(ControlsTest, WindowProcInFrontSeesMessagesFirstAndPassesThemOn) {
  std::vector<std::string> order;
  bool swallow = false;
  for (TControl* c : std::vector<TControl*>{form->Corner, form->Box}) {
    TWndMethod previous = c->WindowProc;
    c->WindowProc = [&, previous, c](TMessage& m) {
      if (m.Msg == WM_LBUTTONUP) order.push_back("hook:" + std::string(c == form->Box ? "box" : "corner"));
      if (swallow && m.Msg == WM_LBUTTONUP) return;
      previous(m);
      if (m.Msg == WM_LBUTTONUP) order.push_back("after");
    };
    c->OnClick = [&](TObject*) { order.push_back("click"); };
  }
  ClickAt(form->Corner->Handle(), 5, 5);
  POINT p = Inside(form->Box, form->Client);
  ClickAt(form->Client->Handle(), p.x, p.y);
  EXPECT_EQ(order, (std::vector<std::string>{"hook:corner", "click", "after", "hook:box", "click", "after"}));

  // a procedure in front may keep a message from the control
  order.clear();
  swallow = true;
  ClickAt(form->Corner->Handle(), 5, 5);
  EXPECT_EQ(order, std::vector<std::string>{"hook:corner"});

  // two procedures chain: the last one placed sees it first
  order.clear();
  swallow = false;
  TWndMethod inner = form->Corner->WindowProc;
  form->Corner->WindowProc = [&, inner](TMessage& m) {
    if (m.Msg == WM_LBUTTONUP) order.push_back("outer");
    inner(m);
  };
  ClickAt(form->Corner->Handle(), 5, 5);
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "hook:corner", "click", "after"}));

  // Perform goes through the chain too; a windowless control sees its paint
  order.clear();
  int paints = form->Box->Paints;
  form->Box->Invalidate();
  ::UpdateWindow(form->Client->Handle());
  EXPECT_GT(form->Box->Paints, paints);
  FreeForm();
}

TEST_F(ControlsTest, NotificationsAndReflectedCommandsReachTheControl) {
  std::vector<UINT> seen;
  for (TControl* c : std::vector<TControl*>{form->Corner, form->Box}) {
    TWndMethod previous = c->WindowProc;
    c->WindowProc = [&, previous](TMessage& m) {
      if (m.Msg >= CM_BASE && m.Msg < CM_BASE + 0x100) seen.push_back(m.Msg);
      previous(m);
    };
  }
  form->Corner->SetVisible(false);
  EXPECT_FALSE(::IsWindowVisible(form->Corner->Handle()));
  form->Corner->SetVisible(true);
  EXPECT_TRUE(::IsWindowVisible(form->Corner->Handle()));
  form->Corner->SetEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(form->Corner->Handle()));
  form->Box->SetEnabled(false);
  form->Box->SetVisible(false);
  EXPECT_EQ(seen, (std::vector<UINT>{0xB00B, 0xB00B, 0xB00C, 0xB00C, 0xB00B}));

  // a click on the system button comes back to it as CN_COMMAND (0xBD11) from its parent
  int clicked = 0;
  form->Button->OnClick = [&](TObject*) { ++clicked; };
  ::SendMessageW(form->Button->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicked, 1);
  ASSERT_FALSE(form->Button->Reflected.empty());
  EXPECT_EQ(form->Button->Reflected.back(), static_cast<UINT>(BN_CLICKED));
  EXPECT_EQ(CN_COMMAND, 0xBD11u);
  // WM_NOTIFY from the button to its parent comes back as CN_NOTIFY (0xBC4E)
  NMHDR hdr{form->Button->Handle(), static_cast<UINT_PTR>(form->Button->ControlId()), static_cast<UINT>(-2) /* NM_CLICK */};
  ::SendMessageW(form->Top->Handle(), WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
  EXPECT_EQ(form->Button->CnMessages.back(), 0xBC4Eu);
  // scroll notifications too (0xBD14)
  ::SendMessageW(form->Top->Handle(), WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(form->Button->Handle()));
  EXPECT_EQ(form->Button->CnMessages.back(), 0xBD14u);

  // colour and font follow the parent while ParentColor/ParentFont are set
  form->Frame->Strip->SetParentFont(true);
  form->Frame->SetParentFont(true);
  form->Client->SetParentFont(true);
  form->Font()->SetSize(14);
  EXPECT_EQ(form->Client->Font()->Size(), 14);
  EXPECT_EQ(form->Frame->Strip->Font()->Size(), 14);
  form->Frame->SetParentColor(true);
  form->Client->SetColor(clNavy);
  EXPECT_EQ(form->Frame->Color(), clNavy);
  form->Frame->SetColor(clMaroon);  // an own colour ends ParentColor
  form->Client->SetColor(clTeal);
  EXPECT_EQ(form->Frame->Color(), clMaroon);
  FreeForm();
}

TEST_F(ControlsTest, FrameReparentedAtRunTimeKeepsWorking) {
  TForm* other = Create<TForm>(Application());
  other->SetBounds(560, 40, 300, 200);
  other->Show();
  TSampleFrame* frame = form->Frame;
  HWND frameWnd = frame->Handle();
  int clicks = 0;
  frame->Button->OnClick = [&](TObject*) { ++clicks; };

  frame->SetParent(other);
  frame->SetAlign(TAlign::alClient);
  PumpFor(20);
  EXPECT_EQ(::GetParent(frame->Handle()), other->Handle());
  EXPECT_EQ(frame->Handle(), frameWnd);  // the same window moved
  EXPECT_EQ(FindControl(frame->Handle()), frame);
  EXPECT_EQ(frame->Width(), other->ClientWidth());
  EXPECT_EQ(frame->Strip->Top(), other->ClientHeight() - 26);
  POINT p = Inside(frame->Button, frame->Strip);
  ClickAt(frame->Strip->Handle(), p.x, p.y);
  EXPECT_EQ(clicks, 1);

  // into a raw window of another kind (a foreign HWND)
  HWND host = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  frame->SetParent(nullptr);
  frame->SetParentWindow(host);
  frame->SetBounds(0, 0, 250, 120);
  frame->HandleNeeded();
  EXPECT_EQ(::GetParent(frame->Handle()), host);
  p = Inside(frame->Button, frame->Strip);
  ClickAt(frame->Strip->Handle(), p.x, p.y);
  EXPECT_EQ(clicks, 2);
  frame->Free();
  ::DestroyWindow(host);
  other->Free();
  FreeForm();
}

TEST_F(ControlsTest, ControlsPaintTheirColoursIntoTheWindowAndIntoPaintTo) {
  ::UpdateWindow(form->Handle());
  PumpFor(50);
  // PaintTo into a bitmap: panels, the windowless box and the frame's strip
  int w = form->ClientWidth(), h = form->ClientHeight();
  HDC screen = ::GetDC(nullptr);
  TMemDCOwner mem(::CreateCompatibleDC(screen));
  TBitmapOwner bmp(::CreateCompatibleBitmap(screen, w, h));
  ::ReleaseDC(nullptr, screen);
  {
    TSelectObject sel(mem.Get(), bmp.Get());
    form->PaintTo(mem.Get(), 0, 0);
    auto at = [&](TControl* c, int dx, int dy) {
      POINT p = c->ClientToScreen(POINT{dx, dy});
      ::ScreenToClient(form->Handle(), &p);
      return ::GetPixel(mem.Get(), p.x, p.y);
    };
    EXPECT_EQ(at(form->Top, 200, 15), RGB(0x00, 0x80, 0xC0));  // 0xC08000 is BGR
    EXPECT_EQ(at(form->Left, 10, 100), RGB(0x00, 0xC0, 0x00));
    EXPECT_EQ(at(form->Box, 5, 5), RGB(0xFF, 0x00, 0x00));
    EXPECT_EQ(at(form->Frame->Button, 5, 5), RGB(0x00, 0xFF, 0x00));
    EXPECT_EQ(at(form->Frame->Strip, 100, 5), RGB(0x2B, 0x2B, 0x2B));
    EXPECT_EQ(at(form->Corner, 30, 30), RGB(0xFF, 0xFF, 0x00));
  }
  // and on the screen itself, painted directly and double-buffered
  for (bool buffered : {false, true}) {
    form->Client->SetDoubleBuffered(buffered);
    form->Box->Fill = buffered ? clBlue : clRed;
    form->Client->Repaint();
    HDC dc = ::GetDC(form->Client->Handle());
    POINT p = form->Box->ClientToScreen(POINT{10, 10});
    ::ScreenToClient(form->Client->Handle(), &p);
    EXPECT_EQ(::GetPixel(dc, p.x, p.y), buffered ? RGB(0, 0, 0xFF) : RGB(0xFF, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 200, 5), RGB(0x3E, 0xAE, 0xD6));  // the panel's own colour around it
    ::ReleaseDC(form->Client->Handle(), dc);
  }
}

TEST_F(ControlsTest, ChineseTextMeasuresAndDrawsWithTheDefaultFont) {
  form->Corner->SetCaption(L"摄像头");
  EXPECT_EQ(form->Corner->Caption(), L"摄像头");
  TCanvas* c = form->Corner->Canvas();
  c->Font()->Assign(form->Corner->Font());
  SIZE cjk = c->TextExtent(L"摄像头");
  SIZE latin = c->TextExtent(L"abc");
  EXPECT_GT(cjk.cx, latin.cx);  // three CJK glyphs are wider than three Latin ones
  EXPECT_GT(cjk.cy, 0);
  FreeDeviceContexts();
  // the glyphs put ink on the panel: pixels of another colour than its background (a smoothed font
  // blends the text colour into the background rather than drawing it pure)
  form->Corner->Font()->SetColor(clBlack);
  form->Corner->Repaint();
  HDC dc = ::GetDC(form->Corner->Handle());
  std::map<COLORREF, int> colours;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) colours[::GetPixel(dc, x, y)]++;
  const auto background =
      std::max_element(colours.begin(), colours.end(), [](auto& a, auto& b) { return a.second < b.second; });
  const int ink = 60 * 60 - background->second;
  ::ReleaseDC(form->Corner->Handle(), dc);
  EXPECT_GT(ink, 10);
}

TEST_F(ControlsTest, RecreatedWindowIsFoundAgainAndAnnouncedToTheChain) {
  HWND old = form->Corner->Handle();
  bool sawAfter = false;
  TWndMethod previous = form->Corner->WindowProc;
  form->Corner->WindowProc = [&, previous](TMessage& m) {
    previous(m);
    if (m.Msg == CM_RECREATEWND) sawAfter = form->Corner->HandleAllocated() && ::IsWindow(form->Corner->HandleIfAllocated());
  };
  form->Corner->SetCaption(L"kept");
  form->Corner->RecreateWnd();
  EXPECT_TRUE(sawAfter);
  EXPECT_FALSE(::IsWindow(old));
  HWND now = form->Corner->Handle();
  EXPECT_EQ(FindControl(now), form->Corner);
  EXPECT_EQ(TextOf(now), L"kept");
  EXPECT_EQ(::GetParent(now), form->Client->Handle());
  FreeForm();
}

TEST_F(ControlsTest, KeysReachTheFocusedControlAfterTheFormsPreview) {
  std::vector<std::wstring> log;
  form->SetKeyPreview(true);
  form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    log.push_back(L"form:" + std::wstring(1, static_cast<wchar_t>(key)));
    if (key == 'B') key = 0;  // used up by the form
  };
  form->Corner->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { log.push_back(L"corner:" + std::wstring(1, static_cast<wchar_t>(key))); };
  form->Corner->OnKeyPress = [&](TObject*, wchar_t& key) { log.push_back(L"press:" + std::wstring(1, key)); };
  form->Corner->OnEnter = [&](TObject*) { log.push_back(L"enter"); };
  form->Corner->SetFocus();
  EXPECT_EQ(::GetFocus(), form->Corner->Handle());
  EXPECT_EQ(form->ActiveControl(), form->Corner);
  ::SendMessageW(form->Corner->Handle(), WM_KEYDOWN, 'A', 0);
  ::SendMessageW(form->Corner->Handle(), WM_KEYDOWN, 'B', 0);
  ::SendMessageW(form->Corner->Handle(), WM_CHAR, L'摄', 0);
  EXPECT_EQ(log, (std::vector<std::wstring>{L"enter", L"form:A", L"corner:A", L"form:B", L"press:摄"}));
  FreeForm();
}

TEST_F(ControlsTest, TabMovesTheFocusThroughTheFormsDialogKey) {
  form->Corner->SetTabStop(true);
  form->Stretch->SetTabStop(true);
  std::vector<std::string> log;
  form->Corner->OnExit = [&](TObject*) { log.push_back("exit corner"); };
  form->Stretch->OnEnter = [&](TObject*) { log.push_back("enter stretch"); };
  TWndMethod previous = form->Box->WindowProc;
  form->Box->WindowProc = [&, previous](TMessage& m) {
    if (m.Msg == CM_FOCUSCHANGED) log.push_back(reinterpret_cast<TControl*>(m.LParam) == form->Stretch ? "focus->stretch" : "focus->other");
    previous(m);
  };
  form->Corner->SetFocus();
  log.clear();
  // the key goes through the application's loop as a typed key would
  ::PostMessageW(form->Corner->Handle(), WM_KEYDOWN, VK_TAB, 0);
  Application()->ProcessMessages();
  EXPECT_EQ(::GetFocus(), form->Stretch->Handle());
  EXPECT_EQ(log, (std::vector<std::string>{"exit corner", "enter stretch", "focus->stretch"}));
  FreeForm();
}

TEST_F(ControlsTest, MouseEnterAndLeaveFollowTheCursorOverWindowlessChildren) {
  std::vector<std::string> log;
  form->Box->OnMouseEnter = [&](TObject*) { log.push_back("enter box"); };
  form->Box->OnMouseLeave = [&](TObject*) { log.push_back("leave box"); };
  form->Client->OnMouseEnter = [&](TObject*) { log.push_back("enter client"); };
  form->Client->OnMouseLeave = [&](TObject*) { log.push_back("leave client"); };
  POINT p = Inside(form->Box, form->Client);
  ::SendMessageW(form->Client->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
  ::SendMessageW(form->Client->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
  ::SendMessageW(form->Client->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x + 1, p.y));
  ::SendMessageW(form->Client->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
  ::SendMessageW(form->Client->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"enter client", "leave client", "enter box", "leave box", "enter client",
                                           "leave client"}));
  FreeForm();
}

TEST_F(ControlsTest, ContextMenusOfWindowedAndWindowlessControlsReachTheMenuHandler) {
  TComponent* cornerMenu = new TComponent(form);
  TComponent* boxMenu = new TComponent(form);
  form->Corner->SetPopupMenu(cornerMenu);
  form->Box->SetPopupMenu(boxMenu);
  std::vector<std::pair<TComponent*, POINT>> shown;
  PopupMenuHandler = [&](TControl*, TComponent* menu, POINT p) {
    shown.emplace_back(menu, p);
    return true;
  };
  POINT sp = form->Corner->ClientToScreen(POINT{5, 6});
  ::SendMessageW(form->Corner->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form->Corner->Handle()), MAKELPARAM(sp.x, sp.y));
  POINT bp = form->Box->ClientToScreen(POINT{3, 3});
  ::SendMessageW(form->Client->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form->Client->Handle()), MAKELPARAM(bp.x, bp.y));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, cornerMenu);
  EXPECT_EQ(shown[0].second.x, sp.x);
  EXPECT_EQ(shown[1].first, boxMenu);
  // a freed menu is forgotten by the control
  boxMenu->Free();
  EXPECT_EQ(form->Box->PopupMenu(), nullptr);
  PopupMenuHandler = nullptr;
  FreeForm();
}

TEST_F(ControlsTest, MenuMessagesAndAcceleratorsReachTheirHandlers) {
  std::vector<UINT> menu;
  MenuMessageHandler = [&](TWinControl* w, TMessage& m) {
    EXPECT_EQ(w, form);
    menu.push_back(m.Msg == WM_COMMAND ? LOWORD(m.WParam) : m.Msg);
    return true;
  };
  ::SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(1234, 0), 0);  // a menu item's command
  MEASUREITEMSTRUCT mi{ODT_MENU, 0, 77, 0, 0, 0};
  ::SendMessageW(form->Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mi));
  EXPECT_EQ(menu, (std::vector<UINT>{1234u, static_cast<UINT>(WM_MEASUREITEM)}));
  MenuMessageHandler = nullptr;

  // Alt+key goes to the form as CM_DIALOGCHAR and down to the control that takes it
  int taken = 0;
  TWndMethod previous = form->Box->WindowProc;
  form->Box->WindowProc = [&, previous](TMessage& m) {
    if (m.Msg == CM_DIALOGCHAR && m.WParam == 'S') {
      ++taken;
      m.Result = 1;
      return;
    }
    previous(m);
  };
  ::SendMessageW(form->Corner->Handle(), WM_SYSCHAR, 'S', 0x20000000);
  EXPECT_EQ(taken, 1);
  FreeForm();
}

TEST_F(ControlsTest, AFrameMadeWithNewAtRunTimeEndsItsLoadingWithItsWindow) {
  auto* frame = new TSampleFrame(form);  // not Create<T>: nothing ends its loading explicitly
  EXPECT_TRUE(frame->IsLoading());
  frame->SetParent(form->Client);
  frame->SetBounds(0, 0, 150, 80);
  EXPECT_FALSE(frame->IsLoading());
  EXPECT_EQ(frame->Strip->LoadedCalls, 1);
  EXPECT_EQ(frame->Strip->Top(), 80 - 26);  // aligned once loaded
}

TEST_F(ControlsTest, ObjectInstancesStackOnARawWindowAndComeOffAgain) {
  HWND raw = ::CreateWindowExW(0, L"STATIC", L"raw", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(raw, nullptr);
  const UINT kProbe = WM_APP + 9;
  std::vector<std::string> order;
  WNDPROC oldA = nullptr, oldB = nullptr;
  WNDPROC a = MakeObjectInstance([&](TMessage& m) {
    if (m.Msg == kProbe) order.push_back("a");
    m.Result = ::CallWindowProcW(oldA, raw, m.Msg, m.WParam, m.LParam);
  });
  WNDPROC b = MakeObjectInstance([&](TMessage& m) {
    if (m.Msg == kProbe) {
      order.push_back("b");
      if (m.WParam == 1) {  // kept from the ones below
        m.Result = 5;
        return;
      }
    }
    m.Result = ::CallWindowProcW(oldB, raw, m.Msg, m.WParam, m.LParam);
  });
  EXPECT_NE(a, b);
  oldA = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(raw, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(a)));
  oldB = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(raw, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(b)));
  ::SendMessageW(raw, kProbe, 0, 0);
  EXPECT_EQ(::SendMessageW(raw, kProbe, 1, 0), 5);
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "b"}));
  // the window's own procedure still works under both
  ::SendMessageW(raw, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"text"));
  EXPECT_EQ(TextOf(raw), L"text");
  ::SetWindowLongPtrW(raw, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldB));
  ::SetWindowLongPtrW(raw, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldA));
  FreeObjectInstance(b);
  FreeObjectInstance(a);
  // freed instances are used again
  WNDPROC again = MakeObjectInstance([](TMessage&) {});
  EXPECT_TRUE(again == a || again == b);
  FreeObjectInstance(again);
  ::DestroyWindow(raw);
}

TEST_F(ControlsTest, TabOrderListsWindowedChildrenDepthFirst) {
  form->Client->SetTabOrder(0);
  std::vector<TWinControl*> list;
  form->GetTabOrderList(list);
  ASSERT_GE(list.size(), 8u);
  EXPECT_EQ(list[0], form->Client);
  EXPECT_EQ(list[1], form->Corner);  // the client's own children follow it
  EXPECT_EQ(form->Client->TabOrder(), 0);
  form->Stretch->SetTabOrder(0);
  EXPECT_EQ(form->Corner->TabOrder(), 1);
}

}  // namespace

TEST_F(ControlsTest, StaticTextKeepsItsLineInAWindowOtherProgramsCanRead) {
  auto* text = new TStaticText(form);
  text->SetName(L"stText");
  text->SetParent(form->Client);
  text->SetBounds(10, 60, 200, 16);
  text->SetCaption(L"正在 wait");
  text->Font()->SetColor(clWhite);
  HWND w = text->Handle();
  EXPECT_EQ(ClassOf(w), L"TStaticText");
  EXPECT_EQ(FindControl(w), text);
  EXPECT_EQ(TextOf(w), L"正在 wait");
  text->SetCaption(L"next");
  EXPECT_EQ(TextOf(w), L"next");
  EXPECT_EQ(::GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);

  // a new alignment makes a new window with the same text
  text->SetAlignment(TAlignment::taCenter);
  w = text->Handle();
  EXPECT_EQ(::GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_EQ(TextOf(w), L"next");

  // behind the text: its own colour, or the parent's when transparent; the text in its font colour
  struct TCase {
    bool transparent;
    TColor color;
    COLORREF expected;
  } cases[] = {{false, clYellow, RGB(0xFF, 0xFF, 0x00)}, {true, clYellow, RGB(0x3E, 0xAE, 0xD6)}};
  for (const TCase& c : cases) {
    text->SetColor(c.color);
    text->SetTransparent(c.transparent);
    text->Repaint();
    PumpFor(50);
    HDC dc = ::GetDC(w);
    EXPECT_EQ(::GetPixel(dc, 2, 8), c.expected) << c.transparent;
    EXPECT_EQ(::GetPixel(dc, 197, 8), c.expected) << c.transparent;
    int light = 0;
    for (int x = 60; x < 140; ++x)
      for (int y = 0; y < 16; ++y)
        if (::GetPixel(dc, x, y) == RGB(0xFF, 0xFF, 0xFF)) ++light;
    EXPECT_GT(light, 0) << "no text drawn";
    ::ReleaseDC(w, dc);
  }
}
