// The control dispatch on real forms and windows under Xvfb: which skinner kind each control and
// plain child window gets, in which order, with which switches, and how skinners are listed and
// released. The skinners here are probes registered for every kind.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../gui/GuiTestUtil.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "SkinControl.h"
#include "SkinData.h"
#include "SkinDispatch.h"
#include "SkinDraw.h"
#include "SkinManager.h"
#include "SkinTestUtil.h"
#include "SkinnedForm.h"
#include "StdCtrls.h"

namespace kivo::test {
namespace {

// Skinning runs from the manager's timer: every wait for it gets this long.
constexpr DWORD kSkinWaitMs = 10000;

// What the probes saw: one entry per skinner made.
struct TMade {
  TSkinnerKind Kind;
  TControl* Control;
  HWND Handle;
  bool Recolor;
  int Mode;
};
std::vector<TMade> gMade;
int gRestored = 0, gFreed = 0, gChanged = 0;

class TProbeSkinner : public TSkinControl {
  KIVO_CLASS(TProbeSkinner, TSkinControl)
  explicit TProbeSkinner(TComponent* owner) : TSkinControl(owner) {}
  ~TProbeSkinner() override { ++gFreed; }
  void Restore() override {
    ++gRestored;
    TSkinControl::Restore();
  }
  void SkinChanged() override {
    ++gChanged;
    TSkinControl::SkinChanged();
  }
};
KIVO_IMPLEMENT_CLASS(TProbeSkinner)

TSkinControl* MakeProbe(const TSkinnerRequest& r) {
  auto* s = new TProbeSkinner(r.Owner);
  s->Mode = r.Mode;
  gMade.push_back(TMade{r.Kind, r.Control, r.Handle, r.Recolor, r.Mode});
  if (r.Control) s->AttachControl(r.Form, r.SkinData, r.Recolor, r.Canvas);
  else s->AttachWindow(r.Handle, r.SkinData, r.Form, r.Canvas);
  return s;
}

void RegisterProbes() {
  for (int k = 1; k < static_cast<int>(TSkinnerKind::Count); ++k)
    RegisterSkinner(static_cast<TSkinnerKind>(k), &MakeProbe);
}
void UnregisterAll() {
  for (int k = 1; k < static_cast<int>(TSkinnerKind::Count); ++k) RegisterSkinner(static_cast<TSkinnerKind>(k), nullptr);
}

const TMade* MadeFor(const TControl* c) {
  for (const TMade& m : gMade)
    if (m.Control == c) return &m;
  return nullptr;
}
int IndexOf(const TControl* c) {
  for (std::size_t i = 0; i < gMade.size(); ++i)
    if (gMade[i].Control == c) return static_cast<int>(i);
  return -1;
}

class TControlsForm : public TForm {
  KIVO_CLASS(TControlsForm, TForm)
  explicit TControlsForm(TComponent* owner) : TForm(owner) {
    SetBounds(80, 80, 420, 320);
    Button = Add<TButton>(this, 10, 10);
    Check = Add<TCheckBox>(this, 10, 40);
    Radio = Add<TRadioButton>(this, 10, 70);
    Panel = Add<TPanel>(this, 150, 10);
    Panel->SetBounds(150, 10, 120, 80);
    InPanel = Add<TEdit>(Panel, 5, 5);
    Group = Add<TGroupBox>(this, 150, 100);
    Group->SetBounds(150, 100, 200, 100);
    GroupPanel = Add<TPanel>(Group, 10, 20);
    Memo = Add<TMemo>(this, 10, 210);
    Combo = Add<TComboBox>(this, 10, 100);
    Scroll = Add<TScrollBar>(this, 10, 140);
    Off = Add<TButton>(this, 10, 170);
    Off->SetTag(99);
  }
  template <class T>
  T* Add(TWinControl* parent, int x, int y) {
    T* c = new T(this);
    c->SetParent(parent);
    c->SetLeft(x);
    c->SetTop(y);
    return c;
  }
  TButton *Button, *Off;
  TCheckBox* Check;
  TRadioButton* Radio;
  TPanel *Panel, *GroupPanel;
  TEdit* InPanel;
  TGroupBox* Group;
  TMemo* Memo;
  TComboBox* Combo;
  TScrollBar* Scroll;
};
KIVO_IMPLEMENT_CLASS(TControlsForm)

class SkinDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gMade.clear();
    gRestored = gFreed = gChanged = 0;
    RegisterProbes();
    FreeSkinManager();
    data = new TSkinData(nullptr);
    data->SetSkinFile(TestFile(L"kivotest.skn"));
    ASSERT_FALSE(data->NoSkin);
  }
  void TearDown() override {
    for (TForm* f : forms) f->Free();
    forms.clear();
    FreeSkinManager();
    data->Free();
    UnregisterAll();
    DoneApplication();
  }
  TControlsForm* ShowSkinned() {
    data->SetActive(true);
    auto* f = Create<TControlsForm>(Application());
    forms.push_back(f);
    f->Show();
    ::SetForegroundWindow(f->Handle());
    EXPECT_TRUE(PumpUntil([&] {
      TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
      return s && s->State == kFormSkinned;
    }, kSkinWaitMs));
    return f;
  }
  TSkinData* data = nullptr;
  std::vector<TForm*> forms;
};

TEST_F(SkinDispatchTest, EachControlGetsItsKindChildrenFirstWhereTheRulesSay) {
  TControlsForm* f = ShowSkinned();
  TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
  ASSERT_NE(s, nullptr);
  struct TCase {
    TControl* Control;
    TSkinnerKind Kind;
    bool Recolor;
  };
  for (const TCase& c : {TCase{f->Button, TSkinnerKind::Button, false}, TCase{f->Check, TSkinnerKind::CheckBox, false},
                         TCase{f->Radio, TSkinnerKind::RadioButton, false}, TCase{f->Panel, TSkinnerKind::Box, true},
                         TCase{f->InPanel, TSkinnerKind::Edit, false}, TCase{f->Group, TSkinnerKind::GroupBox, false},
                         TCase{f->GroupPanel, TSkinnerKind::Box, true}, TCase{f->Memo, TSkinnerKind::Scrollbar, false},
                         TCase{f->Combo, TSkinnerKind::ComBox, false}, TCase{f->Scroll, TSkinnerKind::ScControl, false}}) {
    const TMade* m = MadeFor(c.Control);
    ASSERT_NE(m, nullptr) << c.Control->ClassName();
    EXPECT_EQ(m->Kind, c.Kind) << c.Control->ClassName() << " got " << SkinnerKindName(m->Kind);
    EXPECT_EQ(m->Recolor, c.Recolor) << c.Control->ClassName();
    EXPECT_NE(s->FindSkinnerOf(c.Control), nullptr) << c.Control->ClassName();
  }
  // one skinner each, however often the controls are dispatched again
  const std::size_t made = gMade.size();
  s->SkinAllControls(f);
  EXPECT_EQ(gMade.size(), made);
  // the disable tag leaves a control alone
  EXPECT_EQ(MadeFor(f->Off), nullptr);
  // a panel in a group box is reached before the group box's own skinner; a panel's children first
  EXPECT_LT(IndexOf(f->GroupPanel), IndexOf(f->Group));
  EXPECT_LT(IndexOf(f->InPanel), IndexOf(f->Panel));
  EXPECT_EQ(s->Skinners().size(), gMade.size());
}

TEST_F(SkinDispatchTest, UnskinningRestoresAndFreesEverySkinner) {
  TControlsForm* f = ShowSkinned();
  const int made = static_cast<int>(gMade.size());
  ASSERT_GT(made, 5);
  data->SetActive(false);
  ASSERT_TRUE(PumpUntil([&] { return SkinManager()->FindWindow(f->Handle()) == nullptr; }, kSkinWaitMs));
  EXPECT_EQ(gRestored, made);
  EXPECT_EQ(gFreed, made);
  // a control freed while skinned takes its skinner off the list
  gMade.clear();
  gFreed = 0;
  data->SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return SkinManager()->FindWindow(f->Handle()) != nullptr && !gMade.empty(); }, kSkinWaitMs));
  TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
  ASSERT_TRUE(PumpUntil([&] { return s->State == kFormSkinned; }, kSkinWaitMs));
  const std::size_t listed = s->Skinners().size();
  f->Check->Free();
  EXPECT_EQ(gFreed, 1);
  EXPECT_EQ(s->Skinners().size(), listed - 1);
}

TEST_F(SkinDispatchTest, SwitchesSkin3rdAndTheApplicationDecide) {
  auto* f = Create<TControlsForm>(Application());
  forms.push_back(f);
  f->HandleNeeded();
  // the switch of a rule
  EXPECT_EQ(ChooseControlSkinner(data, f->Button).Kind, TSkinnerKind::Button);
  data->SetSkinControls(data->SkinControls() & ~SkinBit(xcButton));
  EXPECT_EQ(ChooseControlSkinner(data, f->Button).Kind, TSkinnerKind::None);
  data->SetSkinControls(data->SkinControls() | SkinBit(xcButton));
  // a Skin3rd line decides alone: "nil" even where a fixed rule would skin
  TStringList lines;
  lines.Add(L"TButton=nil");
  lines.Add(L"tpanel=button");
  lines.Add(L"TCheckBox=nosuchkind");
  data->SetSkin3rd(&lines);
  TSkinChoice c = ChooseControlSkinner(data, f->Button);
  EXPECT_TRUE(c.Decided);
  EXPECT_EQ(c.Kind, TSkinnerKind::None);
  EXPECT_EQ(ChooseControlSkinner(data, f->Panel).Kind, TSkinnerKind::Button);
  EXPECT_EQ(ChooseControlSkinner(data, f->Check).Kind, TSkinnerKind::None);
  EXPECT_EQ(ChooseControlSkinner(data, f->Radio).Kind, TSkinnerKind::RadioButton);  // no line: fixed rules
  std::wstring kind;
  EXPECT_TRUE(FindSkin3rd(data, L"TPANEL", kind));
  EXPECT_EQ(kind, L"button");
  EXPECT_FALSE(FindSkin3rd(data, L"TPan", kind));

  // the application's handler replaces the whole choice for a control
  TProbeSkinner* own = nullptr;
  data->OnSkinControl = [&](TObject*, TSkinData*, TWinControl*, TControl* control, const std::wstring& cls,
                            TSkinControl*& skinned) {
    if (control == f->Radio) {
      EXPECT_EQ(cls, L"TRADIOBUTTON");
      own = new TProbeSkinner(control);
      skinned = own;
    }
  };
  data->SetSkin3rd(nullptr);
  data->SetActive(true);
  f->Show();
  ::SetForegroundWindow(f->Handle());
  ASSERT_TRUE(PumpUntil([&] {
    TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
    return s && s->State == kFormSkinned;
  }, kSkinWaitMs));
  TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(s->FindSkinnerOf(f->Radio), own);
  EXPECT_EQ(MadeFor(f->Radio), nullptr);  // no built-in skinner for it
  EXPECT_NE(MadeFor(f->Button), nullptr);
}

TEST_F(SkinDispatchTest, AKindWithoutCreatorLeavesTheControlUnskinned) {
  RegisterSkinner(TSkinnerKind::Button, nullptr);
  TControlsForm* f = ShowSkinned();
  TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
  EXPECT_EQ(MadeFor(f->Button), nullptr);
  EXPECT_EQ(s->FindSkinnerOf(f->Button), nullptr);
  EXPECT_NE(MadeFor(f->Check), nullptr);
}

std::string N(const std::wstring& s) { return WideToAnsi(s, CP_ACP); }

// A plain Win32 child window of a given class and style.
HWND Child(HWND parent, const wchar_t* cls, DWORD style) {
  return ::CreateWindowExW(0, cls, L"x", WS_CHILD | WS_VISIBLE | style, 0, 0, 80, 24, parent, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

TEST_F(SkinDispatchTest, PlainChildWindowsByClassAndStyle) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TREEVIEW_CLASSES | ICC_USEREX_CLASSES};
  ::InitCommonControlsEx(&icc);
  TWindowOwner host(::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(host);
  struct TCase {
    const wchar_t* Cls;
    DWORD Style;
    TSkinnerKind Kind;
  };
  const TCase cases[] = {
      {L"BUTTON", BS_PUSHBUTTON, TSkinnerKind::Button},      {L"BUTTON", BS_OWNERDRAW, TSkinnerKind::None},
      {L"BUTTON", BS_GROUPBOX, TSkinnerKind::None},          {L"BUTTON", BS_PUSHBUTTON | BS_BITMAP, TSkinnerKind::None},
      {L"BUTTON", BS_AUTOCHECKBOX, TSkinnerKind::CheckBox},  {L"BUTTON", BS_3STATE, TSkinnerKind::CheckBox},
      {L"BUTTON", BS_AUTORADIOBUTTON, TSkinnerKind::RadioButton}, {L"BUTTON", BS_RADIOBUTTON, TSkinnerKind::RadioButton},
      {L"EDIT", 0, TSkinnerKind::Edit},                      {L"COMBOBOX", CBS_DROPDOWN, TSkinnerKind::ComBox},
      {L"COMBOBOX", CBS_SIMPLE, TSkinnerKind::None},         {L"SCROLLBAR", SBS_HORZ, TSkinnerKind::None},
      {L"SCROLLBAR", SBS_SIZEGRIP, TSkinnerKind::Sizer},     {L"SysTreeView32", 0, TSkinnerKind::None},
      {L"ToolbarWindow32", 0, TSkinnerKind::BoxH},           {L"msctls_progress32", 0, TSkinnerKind::None},
  };
  for (const TCase& c : cases) {
    HWND w = Child(host.Get(), c.Cls, c.Style);
    ASSERT_NE(w, nullptr) << N(c.Cls);
    EXPECT_EQ(ChooseWindowSkinner(data, w).Kind, c.Kind)
        << N(c.Cls) << " style " << c.Style << " got " << N(SkinnerKindName(ChooseWindowSkinner(data, w).Kind));
    ::DestroyWindow(w);
  }
  // switches: no check boxes without xcCheckBox
  HWND check = Child(host.Get(), L"BUTTON", BS_AUTOCHECKBOX);
  data->SetSkinControls(data->SkinControls() & ~SkinBit(xcCheckBox));
  EXPECT_EQ(ChooseWindowSkinner(data, check).Kind, TSkinnerKind::None);
  data->SetSkinControls(data->SkinControls() | SkinBit(xcCheckBox));
  ::DestroyWindow(check);
}

TEST_F(SkinDispatchTest, APlainDialogWindowSkinsItsChildWindows) {
  data->SetActive(true);
  // a top-level window of the program (not a form) with plain child windows
  const std::wstring caption = L"A plain dialog whose caption is wider than the dialog itself";
  TWindowOwner top(::CreateWindowExW(0, L"#32770", caption.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 160, 200, nullptr,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(top);
  HWND button = Child(top.Get(), L"BUTTON", BS_PUSHBUTTON);
  HWND owner = Child(top.Get(), L"BUTTON", BS_OWNERDRAW);
  HWND edit = Child(top.Get(), L"EDIT", WS_BORDER);
  ::ShowWindow(top.Get(), SW_SHOW);
  ::SetForegroundWindow(top.Get());
  ASSERT_TRUE(PumpUntil([&] {
    TSkinnedForm* s = SkinManager()->FindWindow(top.Get());
    return s && s->State == kFormSkinned;
  }, kSkinWaitMs));
  TSkinnedForm* s = SkinManager()->FindWindow(top.Get());
  EXPECT_EQ(s->Control, nullptr);
  EXPECT_EQ(s->BorderStyle, 3);  // a "#32770" is drawn as a dialog
  EXPECT_NE(s->FindSkinner(button), nullptr);
  EXPECT_NE(s->FindSkinner(edit), nullptr);
  EXPECT_EQ(s->FindSkinner(owner), nullptr);
  // widened to its caption: text shift + caption text + right clip
  EXPECT_TRUE(s->FitCaption);
  HDC dc = ::GetDC(top.Get());
  HGDIOBJ old = ::SelectObject(dc, s->CaptionFont->Handle());
  const std::wstring text = s->CaptionPrefix + caption + s->CaptionSuffix;
  RECT tr{0, 0, 0, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(top.Get(), dc);
  RECT wr{};
  ::GetWindowRect(top.Get(), &wr);
  EXPECT_EQ(wr.right - wr.left, data->Title->LeftWidth + tr.right + data->Title->RightWidth);
  EXPECT_GT(wr.right - wr.left, 160);
  FreeSkinManager();  // detaches before the window goes
}

}  // namespace
}  // namespace kivo::test
