// KivoApp's units in the test's own process: the shared helpers, the command lines it builds, the
// Run value, the glyph button and the tray icon.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "GuiTestUtil.h"
#include "KVInstance.h"
#include "KVShared.h"
#include "KVSysConfig.h"
#include "KVUpgrade.h"
#include "Registry.h"
#include "wButton.h"
#include "wTray.h"

using namespace kivo;
using kivo::test::PumpUntil;

namespace {

std::vector<std::wstring> Split(const std::wstring& text) {
  TStringList list;
  SplitList(text, &list);
  std::vector<std::wstring> r;
  for (int i = 0; i < list.Count(); ++i) r.push_back(list.Strings(i));
  return r;
}

}  // namespace

TEST(Helpers, ListsNamesAndFolders) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(Split(L"jpg; bmp;;png"), (V{L"jpg", L"bmp", L"png"}));
  EXPECT_EQ(Split(L"a;b"), (V{L"a", L"b"}));
  EXPECT_EQ(Split(L"; ;"), V{});
  EXPECT_EQ(Split(L"x"), V{L"x"});
  EXPECT_EQ(Split(L"\tx\r\n;"), V{L"x"});

  int pos = 1;
  EXPECT_EQ(NextListField(L" a ;b", pos), L"a");
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(NextListField(L" a ;b", pos), L"b");
  EXPECT_EQ(pos, 7);

  struct {
    const wchar_t* text;
    const wchar_t* name;
    const wchar_t* value;
  } pairs[] = {{L" 0 = C:\\a.jpg ", L"0", L"C:\\a.jpg"}, {L" abc ", L" abc ", L""}, {L"k=", L"k", L""},
               {L"=v=w", L"", L"v=w"}};
  for (const auto& p : pairs) {
    std::wstring n, v;
    SplitNameValue(p.text, n, v);
    EXPECT_EQ(n, p.name) << p.text;
    EXPECT_EQ(v, p.value) << p.text;
  }

  struct {
    const wchar_t* in;
    const wchar_t* out;
  } folders[] = {{L"", L""}, {L"C:", L"C:"}, {L"C:\\x", L"C:\\x\\"}, {L"C:\\x\\", L"C:\\x\\"}, {L"x", L"x\\"}};
  for (const auto& f : folders) EXPECT_EQ(WithTrailingBackslash(f.in), f.out) << f.in;
}

TEST(Helpers, FitSizeAndRounding) {
  struct {
    int bw, bh, w, h, ew, eh;
  } cases[] = {{320, 240, 640, 240, 320, 120}, {320, 240, 100, 300, 80, 240}, {320, 240, 640, 480, 320, 240},
               {320, 240, 32, 24, 320, 240},   {100, 100, 3, 2, 100, 67}};
  for (const auto& c : cases) {
    int w = c.w, h = c.h;
    FitSize(c.bw, c.bh, w, h);
    EXPECT_EQ(w, c.ew) << c.w << "x" << c.h;
    EXPECT_EQ(h, c.eh) << c.w << "x" << c.h;
  }
  EXPECT_EQ(RoundHalfUp(0.5), 1);
  EXPECT_EQ(RoundHalfUp(1.49), 1);
  EXPECT_EQ(RoundHalfUp(2.5), 3);
}

TEST(Helpers, TimeStemCountsEighteenMillisecondTicksSince2004) {
  EXPECT_EQ(MakeTimeStemAt(37987.0), L"0000000000");
  // one day later: 86,400,000 / 18 = 4,800,000 ticks
  EXPECT_EQ(MakeTimeStemAt(37988.0), L"0000493E00");
  // 17 ms is still the same tick, 18 ms the next one
  EXPECT_EQ(MakeTimeStemAt(37988.0 + 17.0 / 86400000.0), L"0000493E00");
  EXPECT_EQ(MakeTimeStemAt(37988.0 + 18.5 / 86400000.0), L"0000493E01");
  const std::wstring now = MakeTimeStem();
  EXPECT_GE(now.size(), 10u);
  EXPECT_EQ(now.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
}

TEST(Helpers, DriverFolderOfEachWindowsVersion) {
  struct {
    bool opened;
    const wchar_t* product;
    const wchar_t* version;
    bool bits64;
    const wchar_t* expected;
  } cases[] = {
      {true, L"Windows 7 Ultimate", L"6.1", true, L"Win7\\64"},
      {true, L"Windows Server 2008 R2", L"6.1", true, L"Win2008\\64"},
      {true, L"Windows Vista", L"6.0", false, L"Vista\\32"},
      {true, L"Windows Server 2008", L"6.0", false, L"Win2008\\32"},
      {true, L"Windows XP", L"5.1", false, L"WinXP\\32"},
      {true, L"Windows Server 2003", L"5.2", false, L"Win2003\\32"},
      {true, L"Windows XP x64", L"5.2", true, L"WinXP\\64"},
      {true, L"Windows 2000", L"5.0", false, L"Win2000\\32"},
      {true, L"Windows 8", L"6.2", true, L"\\64"},
      {true, L"Windows 10", L"10.0", false, L"\\32"},
      {true, L"odd", L"6", false, L"\\32"},
      {false, L"", L"", true, L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OsFolderNameFor(c.opened, c.product, c.version, c.bits64), c.expected) << c.product << " " << c.version;
  // this process is 64-bit code: its own answer ends in \64 (the emulation flag alone would say 32)
  const std::wstring own = GetOsFolderName();
  ASSERT_GE(own.size(), 3u);
  EXPECT_EQ(own.substr(own.size() - 3), L"\\64");
}

TEST(Helpers, CommandLinesQuoteTheProgramPath) {
  EXPECT_EQ(DriverToolCommandLine(L"C:\\Program Files\\Kivo\\Drivers\\Win7\\64\\", L"Remove"),
            L"\"C:\\Program Files\\Kivo\\Drivers\\Win7\\64\\pavlet.dll\" Remove");
  EXPECT_EQ(UpdateClientCommandLine(L"C:\\Kivo App\\", L"1.2.3.4"),
            L"\"C:\\Kivo App\\tolva.exe\"  -s  -c -onlydownshow -f 1.2.3.4  -t \"\\\"C:\\Kivo App\\KivoApp.exe\\\" -b\"");
}

TEST(Helpers, RunValueIsSetKeptInAnotherCaseAndRemoved) {
  const std::wstring name = L"KivoUnitsTestRun";
  const std::wstring path = L"C:\\Kivo\\KivoApp.exe";
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(std::wstring(L"\\") + kRunKey, true));
  reg.DeleteValue(name);

  EXPECT_FALSE(SetRunValue(name, path, L"", true));  // written
  EXPECT_EQ(reg.ReadString(name), L"\"C:\\Kivo\\KivoApp.exe\" ");
  reg.WriteString(name, L"\"c:\\kivo\\kivoapp.EXE\" ");
  EXPECT_TRUE(SetRunValue(name, path, L"", true));  // the same in another letter case: kept
  EXPECT_EQ(reg.ReadString(name), L"\"c:\\kivo\\kivoapp.EXE\" ");
  EXPECT_TRUE(SetRunValue(name, path, L"", false));  // removed
  EXPECT_FALSE(reg.ValueExists(name));
  EXPECT_FALSE(SetRunValue(name, path, L"", false));  // nothing to remove
}

// ---- Glyph buttons -------------------------------------------------------------------------------------
namespace {

struct TButtonForm {
  TObjectPtr<TForm> form{Create<TForm>(nullptr)};
  std::vector<TwButton*> buttons;
  std::vector<std::string> events;

  TwButton* Add(int group, int x, bool withCheck) {
    auto* b = new TwButton(form.get());
    b->SetBounds(x, 0, 60, 22);
    b->SetGroupIndex(group);
    b->SetParent(form.get());
    const int index = static_cast<int>(buttons.size());
    b->OnClick = [this, index](TObject*) { events.push_back("click" + std::to_string(index)); };
    b->OnCheckChanged = [this, index](TObject* s) {
      events.push_back("check" + std::to_string(index) + (static_cast<TwButton*>(s)->Checked() ? "+" : "-"));
    };
    if (withCheck) {
      TBitmap mark;
      mark.SetSize(10, 10);
      b->GlyphChecked()->SetGlyph(&mark);
      b->GlyphUnChecked()->SetGlyph(&mark);
      b->SetGlyphCheckedLeft(2);
      b->SetGlyphCheckedTop(2);
    }
    buttons.push_back(b);
    return b;
  }
  HWND Wnd() { return form->Handle(); }
  void Click(int index, int dx = 40) {
    TwButton* b = buttons[index];
    const LPARAM pos = MAKELPARAM(b->Left() + dx, b->Top() + 10);
    ::SendMessageW(Wnd(), WM_MOUSEMOVE, 0, pos);
    ::SendMessageW(Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, pos);
    ::SendMessageW(Wnd(), WM_LBUTTONUP, 0, pos);
  }
  void ClickCheck(int index) { Click(index, 5); }
  std::string Downs() {
    std::string s;
    for (TwButton* b : buttons) s += b->Down() ? 'D' : '-';
    return s;
  }
  std::string Checks() {
    std::string s;
    for (TwButton* b : buttons) s += b->Checked() ? 'C' : '-';
    return s;
  }
  std::string Events() {
    std::string s;
    for (auto& e : events) s += (s.empty() ? "" : " ") + e;
    events.clear();
    return s;
  }
};

}  // namespace

TEST(GlyphButton, GroupDownAndExclusiveCheckMarks) {
  TButtonForm f;
  for (int i = 0; i < 3; ++i) f.Add(110, i * 70, true)->SetAllowAllUp(false);
  f.form->SetBounds(0, 0, 300, 80);
  f.form->Show();

  struct {
    const char* action;
    int index;
    const char* downs;
    const char* checks;
    const char* events;
  } steps[] = {
      {"click", 1, "-D-", "---", "click1"},
      {"click", 0, "D--", "---", "click0"},
      {"click", 0, "D--", "---", "click0"},  // AllowAllUp off: stays down
      {"check", 1, "D--", "-C-", "check1+"},
      {"check", 2, "D--", "--C", "check1- check2+"},  // the other checked one goes first
      {"check", 2, "D--", "--C", ""},                  // the only checked one stays checked
      {"click", 2, "--D", "--C", "click2"},            // a click beside the mark does not touch it
  };
  for (const auto& s : steps) {
    if (std::string(s.action) == "click") f.Click(s.index);
    else f.ClickCheck(s.index);
    EXPECT_EQ(f.Downs(), s.downs) << s.action << " " << s.index;
    EXPECT_EQ(f.Checks(), s.checks) << s.action << " " << s.index;
    EXPECT_EQ(f.Events(), s.events) << s.action << " " << s.index;
  }

  // with AllowAllUp a down button goes up again; a button without a group never goes down
  TButtonForm g;
  g.Add(5, 0, false)->SetAllowAllUp(true);
  g.Add(0, 70, false);
  g.form->Show();
  g.Click(0);
  EXPECT_EQ(g.Downs(), "D-");
  g.Click(0);
  EXPECT_EQ(g.Downs(), "--");
  g.Click(1);
  EXPECT_EQ(g.Downs(), "--");
  EXPECT_EQ(g.Events(), "click0 click0 click1");
  g.buttons[1]->SetChecked(true);
  g.buttons[1]->SetChecked(false);  // no group: unchecking is refused
  EXPECT_TRUE(g.buttons[1]->Checked());
}

TEST(GlyphButton, RepeatsWhileHeldAndStopsWhenLeft) {
  TButtonForm f;
  TwButton* b = f.Add(0, 0, false);
  b->SetRepeatInterval(50);
  f.form->Show();
  // the real cursor goes where the messages say it is: the button asks the system where it is
  auto cursorTo = [&](int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(f.Wnd(), &p);
    ::SetCursorPos(p.x, p.y);
  };
  const LPARAM pos = MAKELPARAM(20, 10);
  cursorTo(20, 10);
  ::SendMessageW(f.Wnd(), WM_MOUSEMOVE, 0, pos);
  ::SendMessageW(f.Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, pos);
  PumpUntil([&] { return f.events.size() >= 4; }, 5000);
  EXPECT_GE(f.events.size(), 4u) << "no repeated clicks while held";
  // the cursor leaves: no more clicks
  cursorTo(250, 60);
  ::SendMessageW(f.Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(250, 60));
  const std::size_t atLeave = f.events.size();
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(f.events.size(), atLeave);
  // back on while still holding: it repeats again
  cursorTo(20, 10);
  ::SendMessageW(f.Wnd(), WM_MOUSEMOVE, MK_LBUTTON, pos);
  PumpUntil([&] { return f.events.size() >= atLeave + 2; }, 5000);
  EXPECT_GE(f.events.size(), atLeave + 2) << "no repeat after coming back";
  ::SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, pos);
  const std::size_t atUp = f.events.size();
  PumpUntil([] { return false; }, 300);
  EXPECT_LE(f.events.size(), atUp + 1);  // the release's own click at most
}

// ---- Tray icon -----------------------------------------------------------------------------------------
namespace {
void CALLBACK EndMenuSoon(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  ::EndMenu();
}
}  // namespace

TEST(TrayIcon, CallbacksGiveTheEventOrdersAndTheIconComesBack) {
  TObjectPtr<TForm> form(Create<TForm>(nullptr));
  auto* tray = new TwTrayIcon(form.get());
  std::vector<std::string> events;
  tray->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int, int) {
    events.push_back(b == TMouseButton::mbLeft ? "ldown" : "rdown");
  };
  tray->OnMouseUp = [&](TObject*, TMouseButton b, TShiftState, int, int) {
    events.push_back(b == TMouseButton::mbLeft ? "lup" : "rup");
  };
  tray->OnClick = [&](TObject*) { events.push_back("click"); };
  tray->OnDblClick = [&](TObject*) { events.push_back("dbl"); };
  auto* menu = new TPopupMenu(form.get());
  auto* item = new TMenuItem(form.get());
  item->SetCaption(L"item");
  menu->Items()->Add(item);
  menu->OnPopup = [&](TObject*) {
    events.push_back("menu");
    // closes the menu from inside its tracking loop
    ::SetTimer(nullptr, 0, 50, &EndMenuSoon);
  };
  tray->SetPopupMenu(menu);
  tray->SetIconHandle(::LoadIconW(nullptr, IDI_APPLICATION));
  tray->SetIconVisible(true);
  std::string hint(140, 'h');
  tray->SetHint(std::wstring(hint.begin(), hint.end()));
  EXPECT_EQ(std::wstring(tray->NotifyData().szTip).size(), 127u);
  EXPECT_EQ(tray->NotifyData().cbSize, sizeof(NOTIFYICONDATAW));
  tray->SetShowHint(false);
  EXPECT_EQ(tray->NotifyData().szTip[0], L'\0');

  HWND w = tray->MessageWindow();
  auto send = [&](UINT mouse) {
    ::SendMessageW(w, WM_TRAY_CALLBACK, 0, mouse);
    std::string s;
    for (auto& e : events) s += (s.empty() ? "" : " ") + e;
    events.clear();
    return s;
  };
  EXPECT_EQ(send(WM_LBUTTONDOWN), "ldown");
  EXPECT_EQ(send(WM_LBUTTONUP), "click lup");
  EXPECT_EQ(send(WM_LBUTTONDBLCLK), "dbl");
  EXPECT_EQ(send(WM_RBUTTONDOWN), "rdown menu");
  EXPECT_EQ(send(WM_RBUTTONUP), "rup");

  // the icon is there, taken away (the shell lost it), and comes back on "TaskbarCreated"
  NOTIFYICONDATAW d = tray->NotifyData();
  ASSERT_TRUE(tray->IconVisible());
  EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &d));
  ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &d));
  ::SendMessageW(Application()->Handle(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &d)) << "the icon did not come back";
}

// The settings dialog: its three groups and its buttons lie within its page, and the last group's
// bottom edge and its second radio button are drawn in the page's window.
TEST(SettingsDialog, GroupsAndButtonsLieWithinThePageAndAreDrawn) {
  auto* dlg = Create<TKVSysConfigForm>(Application());
  dlg->Show();
  test::PumpFor(150);
  TTabSheet* page = dlg->tsBasic;
  ASSERT_TRUE(::IsWindowVisible(page->Handle()));
  const RECT client = page->ClientRect();
  for (TControl* c : std::vector<TControl*>{dlg->grpFormat, dlg->grpStart, dlg->grpExit, dlg->btnOK, dlg->btnCancel, dlg->btnApply}) {
    const std::wstring name = c->Name();
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    RECT r = c->BoundsRect();
    EXPECT_LE(r.bottom, client.bottom);
    EXPECT_LE(r.right, client.right);
    EXPECT_EQ(c->Parent(), page);
  }
  EXPECT_GT(dlg->btnOK->Top(), dlg->grpExit->Top() + dlg->grpExit->Height());
  RECT radio = dlg->rbCloseToTray->BoundsRect();
  EXPECT_LE(radio.bottom, dlg->grpExit->ClientHeight());

  // pixels of the page's window: the group's bottom edge is a drawn line across the group, in
  // another colour than the page beside it
  ::RedrawWindow(dlg->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  test::PumpFor(100);
  TWindowDC dc(page->Handle());
  const RECT g = dlg->grpExit->BoundsRect();
  const COLORREF background = ::GetPixel(dc.Get(), g.left / 2, g.bottom - 2);
  ASSERT_NE(background, CLR_INVALID);
  for (int x = g.left + 20; x < g.right - 20; x += 40) {
    const COLORREF edge = ::GetPixel(dc.Get(), x, g.bottom - 2);
    EXPECT_NE(edge, CLR_INVALID) << x;
    EXPECT_NE(edge, background) << x;
  }
  dlg->Free();
}
