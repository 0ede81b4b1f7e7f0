// Skinned windows under Xvfb with the test skin (every picture frame one solid colour): the
// manager's choice of windows, attachment and detachment, the frame's pixels and region, caption
// buttons, the system menu, popup menus and the menu bar.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "../gui/GuiTestUtil.h"
#include "Forms.h"
#include "Menus.h"
#include "SkinData.h"
#include "SkinDispatch.h"
#include "SkinDraw.h"
#include "SkinManager.h"
#include "SkinMenu.h"
#include "SkinMessages.h"
#include "SkinTestUtil.h"
#include "SkinnedForm.h"
#include "TestSkinLayout.h"

namespace kivo::test {
namespace {

using namespace kivo::testskin;

// A pixel of the window as drawn (window coordinates: 0,0 is the window's top-left corner).
std::uint32_t WindowPixel(HWND wnd, int x, int y) {
  HDC dc = ::GetWindowDC(wnd);
  const COLORREF c = ::GetPixel(dc, x, y);
  ::ReleaseDC(wnd, dc);
  return static_cast<std::uint32_t>(c);
}

SIZE WindowSize(HWND wnd) {
  RECT r{};
  ::GetWindowRect(wnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

// A form that counts the skin's notices and reflected notifications it receives.
class TProbeForm : public TForm {
  KIVO_CLASS(TProbeForm, TForm)
  explicit TProbeForm(TComponent* owner) : TForm(owner) {
    SetBounds(60, 60, 300, 200);
    OnCloseQuery = [this](TObject*, bool& canClose) {
      ++CloseAsked;
      canClose = false;
    };
  }
  void WndProc(TMessage& m) override {
    if (IsSkinnedNotice(m.Msg, m.LParam)) ++Notices;
    TForm::WndProc(m);
  }
  int Notices = 0;
  int CloseAsked = 0;
};
KIVO_IMPLEMENT_CLASS(TProbeForm)

class TMenuProbeForm : public TProbeForm {
  KIVO_CLASS(TMenuProbeForm, TProbeForm)
  explicit TMenuProbeForm(TComponent* owner) : TProbeForm(owner) {
    Main = new TMainMenu(this);
    File = Item(Main->Items(), L"&File");
    Open = Item(File, L"&Open");
    Item(File, L"-");
    Item(File, L"E&xit");
    Edit = Item(Main->Items(), L"&Edit");
    Copy = Item(Edit, L"&Copy");
    Item(Edit, L"&Paste");
    Main->SetForm(this);
    Tray = new TPopupMenu(this);
    for (const wchar_t* c : {L"Show", L"Feedback", L"Quit"}) TrayItems.push_back(Item(Tray->Items(), c));
  }
  TMenuItem* Item(TMenuItem* parent, const wchar_t* caption) {
    auto* i = new TMenuItem(this);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  }
  TMainMenu* Main;
  TMenuItem *File, *Open, *Edit, *Copy;
  TPopupMenu* Tray;
  std::vector<TMenuItem*> TrayItems;
};
KIVO_IMPLEMENT_CLASS(TMenuProbeForm)

// Steps run one per tick of a thread timer, so that they also run inside modal menu loops. A step
// answering false is tried again at the next tick (at most `tries` times in all).
class TSteps {
 public:
  explicit TSteps(std::vector<std::function<bool()>> steps, int tries = 60) : steps_(std::move(steps)), left_(tries) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 60, &TSteps::Tick);
  }
  ~TSteps() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  bool Done() const { return next_ >= steps_.size() || left_ <= 0; }
  bool Completed() const { return next_ >= steps_.size(); }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    TSteps* s = current_;
    if (!s || s->Done() || s->running_) return;
    s->running_ = true;
    --s->left_;
    if (s->steps_[s->next_]()) ++s->next_;
    s->running_ = false;
  }
  static inline TSteps* current_ = nullptr;
  std::vector<std::function<bool()>> steps_;
  std::size_t next_ = 0;
  int left_;
  bool running_ = false;
  UINT_PTR timer_ = 0;
};

// The visible popup-menu window of this thread, or nullptr.
HWND OpenPopupMenu() {
  for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (::GetWindowThreadProcessId(w, nullptr) != ::GetCurrentThreadId()) continue;
    if (::IsWindowVisible(w) && WindowClassName(w) == L"#32768") return w;
  }
  return nullptr;
}

void PostKey(HWND wnd, WORD key) {
  ::PostMessageW(wnd, WM_KEYDOWN, key, 1);
  ::PostMessageW(wnd, WM_KEYUP, key, 0xC0000001);
}

class SkinnedFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeSkinManager();
    data = new TSkinData(nullptr);
    data->SetSkinFile(TestFile(L"kivotest.skn"));
    ASSERT_FALSE(data->NoSkin);
    data->SetActive(true);
    ASSERT_NE(SkinManager(), nullptr);
  }
  void TearDown() override {
    for (TForm* f : forms) f->Free();
    forms.clear();
    FreeSkinManager();
    data->Free();
    DoneApplication();
  }
  template <class T = TProbeForm>
  T* ShowForm(intptr_t tag = 0) {
    T* f = Create<T>(Application());
    forms.push_back(f);
    f->SetTag(tag);
    f->Show();
    ::SetForegroundWindow(f->Handle());
    return f;
  }
  static bool Skinned(HWND wnd) { return ::SendMessageW(wnd, SKM_ISSKINNED, 0, 0) == 1; }
  // Skinned and through its first pass.
  bool WaitSkinned(TProbeForm* f) {
    return PumpUntil([&] {
      TSkinnedForm* s = SkinManager()->FindWindow(f->Handle());
      return s && s->State == kFormSkinned && f->Notices > 0;
    }, 10000);
  }
  TSkinnedForm* SkinOf(TForm* f) { return SkinManager()->FindWindow(f->Handle()); }

  TSkinData* data = nullptr;
  std::vector<TForm*> forms;
};

TEST_F(SkinnedFormTest, ShownFormIsSkinnedAndNotifiedTagNinetyNineIsNot) {
  // switched on before any window was activated: no timer, only the switch; windows are skinned
  // as they are activated
  EXPECT_TRUE(SkinManager()->Skinning);
  EXPECT_FALSE(SkinManager()->TimerPending());
  TProbeForm* plain = ShowForm();
  ASSERT_TRUE(WaitSkinned(plain));
  EXPECT_TRUE(Skinned(plain->Handle()));
  EXPECT_GE(plain->Notices, 1);
  // a second activation is ignored: still one window object for it
  const std::size_t count = SkinManager()->Windows.size();
  ::SendMessageW(plain->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_FALSE(SkinManager()->SkinWindow(plain->Handle()));
  EXPECT_EQ(SkinManager()->Windows.size(), count);

  // the disable tag is 99 whatever the skin data's DisableTag says
  data->SetDisableTag(5);
  TProbeForm* tagged = ShowForm(99);
  PumpFor(400);
  EXPECT_FALSE(Skinned(tagged->Handle()));
  EXPECT_EQ(SkinOf(tagged), nullptr);
  EXPECT_EQ(tagged->Notices, 0);
}

TEST_F(SkinnedFormTest, ZeroSizeWindowsAndFilteredClassesStayUnskinned) {
  TProbeForm* f = Create<TProbeForm>(Application());
  forms.push_back(f);
  f->SetBorderStyle(TFormBorderStyle::bsNone);
  f->SetBounds(10, 10, 0, 0);
  f->HandleNeeded();
  ASSERT_EQ(WindowSize(f->Handle()).cx, 0);
  EXPECT_FALSE(SkinManager()->SkinWindow(f->Handle()));
  // the filter: a class with "preview" in any case is left alone without xoPreview
  data->SetOptions(data->Options() & ~SkinBit(xoPreview));
  EXPECT_FALSE(SkinManager()->FilterWindow(f->Handle(), L"TPrintPreViewForm"));
  EXPECT_TRUE(SkinManager()->FilterWindow(f->Handle(), L"TForm"));
  data->SetOptions(data->Options() | SkinBit(xoPreview));
  EXPECT_TRUE(SkinManager()->FilterWindow(f->Handle(), L"TPrintPreViewForm"));
  EXPECT_FALSE(SkinManager()->FilterWindow(f->Handle(), L"TPopupDBTreeView"));
}

TEST_F(SkinnedFormTest, TheSkinNoticeAndAReflectedNotifyAreToldApart) {
  NMHDR hdr{};
  EXPECT_TRUE(IsSkinnedNotice(SKM_SKINNED, kSkinSignature));
  EXPECT_FALSE(IsReflectedNotify(SKM_SKINNED, kSkinSignature));
  EXPECT_TRUE(IsReflectedNotify(CN_NOTIFY, reinterpret_cast<LPARAM>(&hdr)));
  EXPECT_FALSE(IsSkinnedNotice(CN_NOTIFY, reinterpret_cast<LPARAM>(&hdr)));
  TProbeForm* f = ShowForm();
  ASSERT_TRUE(WaitSkinned(f));
  // asking again posts the notice again
  const int before = f->Notices;
  EXPECT_EQ(::SendMessageW(f->Handle(), SKM_ISSKINNED, 0, 0), 1);
  ASSERT_TRUE(PumpUntil([&] { return f->Notices > before; }, 2000));
  // a reflected WM_NOTIFY of the same number is no notice
  const int notices = f->Notices;
  ::SendMessageW(f->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
  EXPECT_EQ(f->Notices, notices);
  // SKM_QUERY through the form's message method
  EXPECT_EQ(::SendMessageW(f->Handle(), SKM_QUERY, 0, kSkinSignature), kSkinSignature);
  EXPECT_EQ(::SendMessageW(f->Handle(), SKM_QUERY, 0, 7), 1);
}

TEST_F(SkinnedFormTest, SwitchingOffGivesBackProcedureClientSizeAndRegion) {
  TProbeForm* f = Create<TProbeForm>(Application());
  forms.push_back(f);
  f->HandleNeeded();
  const LONG_PTR proc = ::GetWindowLongPtrW(f->Handle(), GWLP_WNDPROC);
  RECT client{};
  ::GetClientRect(f->Handle(), &client);
  HRGN probe = ::CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(::GetWindowRgn(f->Handle(), probe), ERROR);  // no region yet
  f->Show();
  ::SetForegroundWindow(f->Handle());
  ASSERT_TRUE(WaitSkinned(f));
  EXPECT_NE(::GetWindowLongPtrW(f->Handle(), GWLP_WNDPROC), proc);
  EXPECT_NE(::GetWindowRgn(f->Handle(), probe), ERROR);

  data->SetActive(false);
  // (asking SKM_ISSKINNED while skinned posts a notice each time: poll the list, not the window)
  ASSERT_TRUE(PumpUntil([&] { return SkinOf(f) == nullptr; }, 10000));
  EXPECT_FALSE(Skinned(f->Handle()));
  EXPECT_EQ(SkinManager()->Windows.size(), 0u);
  EXPECT_EQ(::GetWindowLongPtrW(f->Handle(), GWLP_WNDPROC), proc);
  RECT after{};
  ::GetClientRect(f->Handle(), &after);
  EXPECT_EQ(after.right, client.right);
  EXPECT_EQ(after.bottom, client.bottom);
  EXPECT_EQ(::GetWindowRgn(f->Handle(), probe), ERROR);
  ::DeleteObject(probe);

  // and on again: the window is skinned from the timer
  data->SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return SkinOf(f) != nullptr; }, 10000));
  EXPECT_TRUE(Skinned(f->Handle()));
  // off and on again within the delay: only the last request runs
  TSkinnedForm* s = SkinOf(f);
  data->SetActive(false);
  data->SetActive(true);
  PumpUntil([&] { return !SkinManager()->TimerPending(); }, 5000);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(SkinOf(f), s);
}

TEST_F(SkinnedFormTest, FrameIsDrawnFromTheBordersAndCutByTheRegion) {
  TProbeForm* f = ShowForm();
  ASSERT_TRUE(WaitSkinned(f));
  TSkinnedForm* s = SkinOf(f);
  ASSERT_NE(s, nullptr);
  const int left = kPictures[pLeft].FrameWidth, right = kPictures[pRight].FrameWidth;
  const int top = kPictures[pTop].FrameHeight, bottom = kPictures[pBottom].FrameHeight;
  EXPECT_EQ(s->BorderLeft, left);
  EXPECT_EQ(s->BorderTop, top);
  EXPECT_EQ(s->BorderRight, right);
  EXPECT_EQ(s->BorderBottom, bottom);
  const SIZE size = WindowSize(f->Handle());
  RECT client{};
  ::GetClientRect(f->Handle(), &client);
  EXPECT_EQ(client.right, size.cx - left - right);
  EXPECT_EQ(client.bottom, size.cy - top - bottom);
  // the client area kept the form's size
  EXPECT_EQ(client.right, 300 - s->NCExtent.cx);
  POINT origin{0, 0};
  ::ClientToScreen(f->Handle(), &origin);
  RECT wr{};
  ::GetWindowRect(f->Handle(), &wr);
  EXPECT_EQ(origin.x - wr.left, left);
  EXPECT_EQ(origin.y - wr.top, top);

  ::RedrawWindow(f->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  const int midY = size.cy / 2;
  EXPECT_EQ(WindowPixel(f->Handle(), 1, midY), ColorOf(pLeft, 1));
  EXPECT_EQ(WindowPixel(f->Handle(), size.cx - 2, midY), ColorOf(pRight, 1));
  EXPECT_EQ(WindowPixel(f->Handle(), size.cx / 2, size.cy - 2), ColorOf(pBottom, 1));

  // deactivated: the second frame
  ::SendMessageW(f->Handle(), WM_NCACTIVATE, FALSE, 0);
  EXPECT_EQ(s->Active, 0);
  EXPECT_EQ(WindowPixel(f->Handle(), 1, midY), ColorOf(pLeft, 2));
  EXPECT_EQ(WindowPixel(f->Handle(), size.cx - 2, midY), ColorOf(pRight, 2));
  ::SendMessageW(f->Handle(), WM_NCACTIVATE, TRUE, 0);
  EXPECT_EQ(WindowPixel(f->Handle(), 1, midY), ColorOf(pLeft, 1));

  // the top border's magenta corner is outside the region, its middle inside
  HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(::GetWindowRgn(f->Handle(), rgn), ERROR);
  EXPECT_FALSE(::PtInRegion(rgn, left, 0));
  EXPECT_FALSE(::PtInRegion(rgn, size.cx - right - 1, 0));
  EXPECT_TRUE(::PtInRegion(rgn, left + kTopCornerSize, kTopCornerSize));
  EXPECT_TRUE(::PtInRegion(rgn, size.cx / 2, 0));
  EXPECT_TRUE(::PtInRegion(rgn, 0, 0));  // the left side is opaque
  ::DeleteObject(rgn);
  // WS_SYSMENU is taken away so that the system draws no buttons of its own
  EXPECT_FALSE(::GetWindowLongPtrW(f->Handle(), GWL_STYLE) & WS_SYSMENU);
}

TEST_F(SkinnedFormTest, CloseButtonHoverPressAndReleaseSendsClose) {
  TProbeForm* f = ShowForm();
  ASSERT_TRUE(WaitSkinned(f));
  TSkinnedForm* s = SkinOf(f);
  ::RedrawWindow(f->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  TWinSysButton* close = nullptr;
  for (auto& b : s->SysButtons)
    if (b->Definition->Action == 0 && b->Visible) close = b.get();
  ASSERT_NE(close, nullptr);
  const SIZE size = WindowSize(f->Handle());
  // BUTTON1: Align 1, Xcoord 22, Ycoord 5
  EXPECT_EQ(close->Rect.left, size.cx - 22);
  EXPECT_EQ(close->Rect.top, 5);
  const int cx = (close->Rect.left + close->Rect.right) / 2, cy = (close->Rect.top + close->Rect.bottom) / 2;
  EXPECT_EQ(WindowPixel(f->Handle(), cx, cy), ColorOf(pClose, 1));
  RECT wr{};
  ::GetWindowRect(f->Handle(), &wr);
  const LPARAM at = MAKELPARAM(wr.left + cx, wr.top + cy);
  ::SetCursorPos(wr.left + cx, wr.top + cy);
  ::SendMessageW(f->Handle(), WM_NCMOUSEMOVE, HTCAPTION, at);
  EXPECT_EQ(close->State, kNCHover);
  EXPECT_EQ(WindowPixel(f->Handle(), cx, cy), ColorOf(pClose, 3));
  ::SendMessageW(f->Handle(), WM_NCLBUTTONDOWN, HTCAPTION, at);
  EXPECT_EQ(close->State, kNCPressed);
  EXPECT_EQ(WindowPixel(f->Handle(), cx, cy), ColorOf(pClose, 2));
  EXPECT_EQ(f->CloseAsked, 0);
  ::SendMessageW(f->Handle(), WM_NCLBUTTONUP, HTCAPTION, at);
  EXPECT_EQ(WindowPixel(f->Handle(), cx, cy), ColorOf(pClose, 3));
  ASSERT_TRUE(PumpUntil([&] { return f->CloseAsked > 0; }, 2000));

  // pressed, released elsewhere: no action
  const int asked = f->CloseAsked;
  ::SendMessageW(f->Handle(), WM_NCLBUTTONDOWN, HTCAPTION, at);
  ::SendMessageW(f->Handle(), WM_NCLBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + size.cx / 2, wr.top + 12));
  PumpFor(200);
  EXPECT_EQ(f->CloseAsked, asked);
}

TEST_F(SkinnedFormTest, DoubleClickOnTheIconCloses) {
  TProbeForm* f = ShowForm();
  ASSERT_TRUE(WaitSkinned(f));
  TSkinnedForm* s = SkinOf(f);
  ::RedrawWindow(f->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  TWinSysButton* icon = nullptr;
  for (auto& b : s->SysButtons)
    if (b->IsIcon() && b->Visible) icon = b.get();
  ASSERT_NE(icon, nullptr);
  RECT wr{};
  ::GetWindowRect(f->Handle(), &wr);
  const LPARAM at = MAKELPARAM(wr.left + icon->Rect.left + 2, wr.top + icon->Rect.top + 2);
  ::SendMessageW(f->Handle(), WM_NCLBUTTONDBLCLK, HTCAPTION, at);
  ASSERT_TRUE(PumpUntil([&] { return f->CloseAsked > 0; }, 2000));
  // a double click on the caption of a sizeable window maximises it
  ::SendMessageW(f->Handle(), WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(wr.left + 150, wr.top + 12));
  ASSERT_TRUE(PumpUntil([&] { return ::IsZoomed(f->Handle()) != FALSE; }, 3000));
  EXPECT_EQ(s->WindowState, 1);
}

TEST_F(SkinnedFormTest, AltSpaceOpensTheOwnerDrawnSystemMenu) {
  TProbeForm* f = ShowForm();
  ASSERT_TRUE(WaitSkinned(f));
  HWND popup = nullptr;
  bool skinned = false;
  std::uint32_t itemColor = 0;
  int kind = -1;
  TSteps steps({[&] {
                  popup = OpenPopupMenu();
                  return popup != nullptr;
                },
                [&] {
                  skinned = ::SendMessageW(popup, SKM_ISSKINNED, 0, 0) == 1;
                  kind = SkinManager()->MenuKind;
                  // an item drawn by the skin's menu painter: MenuItem frame 1 near its right end
                  RECT r{};
                  ::GetClientRect(popup, &r);
                  itemColor = WindowPixel(popup, r.right - 6, 6);
                  PostKey(popup, VK_ESCAPE);
                  return true;
                }});
  ::SendMessageW(f->Handle(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
  PumpUntil([&] { return steps.Done(); }, 6000);
  ASSERT_TRUE(steps.Completed());
  EXPECT_TRUE(skinned);
  EXPECT_EQ(kind, 2);
  TSkinnedForm* s = SkinOf(f);
  ASSERT_NE(s->SysMenuPopup, nullptr);
  EXPECT_TRUE(s->SysMenuPopup->OwnerDraw());
  EXPECT_EQ(s->SysMenuPopup->Tag(), 33333);
  EXPECT_GT(s->SysMenuPopup->Items()->Count(), 0);
  EXPECT_EQ(itemColor, ColorOf(pMenuItem, 1));
  PumpUntil([] { return OpenPopupMenu() == nullptr; }, 2000);
  // the popup closed: the menu kind is back to a context popup's
  EXPECT_EQ(SkinManager()->MenuKind, 0);
}

// Item i's rectangle of an open popup menu, in the popup window's coordinates.
RECT PopupItemRect(HWND popup, HMENU menu, int i) {
  RECT r{};
  ::GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &r);
  RECT wr{};
  ::GetWindowRect(popup, &wr);
  ::OffsetRect(&r, -wr.left, -wr.top);
  return r;
}

TEST_F(SkinnedFormTest, TrayPopupDrawsTheSelectedItemInFrameFour) {
  TMenuProbeForm* f = ShowForm<TMenuProbeForm>();
  ASSERT_TRUE(WaitSkinned(f));
  ASSERT_TRUE(f->Tray->OwnerDraw());
  HWND popup = nullptr;
  std::vector<std::uint32_t> colors;
  TSteps steps({[&] {
                  popup = OpenPopupMenu();
                  if (popup) PostKey(popup, VK_DOWN);
                  return popup != nullptr;
                },
                [&] {
                  for (int i = 0; i < 3; ++i) {
                    const RECT r = PopupItemRect(popup, f->Tray->Handle(), i);
                    colors.push_back(WindowPixel(popup, r.right - 6, (r.top + r.bottom) / 2));
                  }
                  PostKey(popup, VK_ESCAPE);
                  return true;
                }});
  f->Tray->Popup(200, 200);
  PumpUntil([&] { return steps.Done(); }, 6000);
  ASSERT_TRUE(steps.Completed());
  ASSERT_EQ(colors.size(), 3u);
  EXPECT_EQ(colors[0], ColorOf(pMenuItem, 4));
  EXPECT_EQ(colors[1], ColorOf(pMenuItem, 1));
  EXPECT_EQ(colors[2], ColorOf(pMenuItem, 1));
}

TEST_F(SkinnedFormTest, MenuBarOpensFileOnAltFAndRightArrowMovesOn) {
  TMenuProbeForm* f = ShowForm<TMenuProbeForm>();
  ASSERT_TRUE(WaitSkinned(f));
  TSkinnedForm* s = SkinOf(f);
  ASSERT_NE(s->MenuBar, nullptr);
  ASSERT_EQ(s->MenuBar->Count(), 2);
  EXPECT_EQ(::GetMenu(f->Handle()), nullptr);  // the system's bar is gone
  EXPECT_EQ(s->MenuHeight, ::GetSystemMetrics(SM_CYMENU));
  // the bar is painted inside the frame, below the caption
  ::RedrawWindow(f->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  const RECT file = s->MenuBar->Items[0]->Rect;
  EXPECT_EQ(file.top, s->BorderTop);
  EXPECT_EQ(WindowPixel(f->Handle(), s->BorderLeft + 1, s->BorderTop + s->MenuHeight / 2), ColorOf(pMenuBar, 1));

  HWND popup = nullptr;
  HMENU firstTracked = nullptr, secondTracked = nullptr;
  std::uint32_t firstItem = 0, secondItem = 0;
  TSteps steps({[&] {
                  popup = OpenPopupMenu();
                  return popup != nullptr && s->TrackedMenu != nullptr;
                },
                [&] {
                  firstTracked = s->TrackedMenu;
                  const RECT r0 = PopupItemRect(popup, f->File->Handle(), 0);
                  const RECT r1 = PopupItemRect(popup, f->File->Handle(), 2);
                  firstItem = WindowPixel(popup, r0.right - 6, (r0.top + r0.bottom) / 2);
                  secondItem = WindowPixel(popup, r1.right - 6, (r1.top + r1.bottom) / 2);
                  PostKey(popup, VK_RIGHT);
                  return true;
                },
                [&] {
                  if (s->TrackedMenu == firstTracked || !s->TrackedMenu) return false;
                  secondTracked = s->TrackedMenu;
                  if (HWND p = OpenPopupMenu()) PostKey(p, VK_ESCAPE);
                  return true;
                }});
  ::SendMessageW(f->Handle(), WM_SYSCOMMAND, SC_KEYMENU, L'f');
  PumpUntil([&] { return steps.Done(); }, 8000);
  ASSERT_TRUE(steps.Completed());
  EXPECT_EQ(firstTracked, f->File->Handle());
  EXPECT_EQ(firstItem, ColorOf(pMenuItem, 4));  // the first item is selected
  EXPECT_EQ(secondItem, ColorOf(pMenuItem, 1));
  EXPECT_EQ(secondTracked, f->Edit->Handle());
  PumpUntil([&] { return OpenPopupMenu() == nullptr && !s->MenuTracking; }, 3000);
  EXPECT_FALSE(s->MenuTracking);
}

TEST_F(SkinnedFormTest, AMenuGivenAfterSkinningGetsASkinnedBar) {
  TProbeForm* f = ShowForm();
  ASSERT_TRUE(WaitSkinned(f));
  TSkinnedForm* s = SkinOf(f);
  ASSERT_EQ(s->MenuBar, nullptr);
  RECT before{};
  ::GetClientRect(f->Handle(), &before);
  auto* menu = new TMainMenu(f);
  auto* file = new TMenuItem(f);
  file->SetCaption(L"&File");
  menu->Items()->Add(file);
  auto* open = new TMenuItem(f);
  open->SetCaption(L"&Open");
  file->Add(open);
  menu->SetForm(f);
  ASSERT_NE(s->MenuBar, nullptr);
  EXPECT_EQ(s->MenuBar->Count(), 1);
  EXPECT_EQ(::GetMenu(f->Handle()), nullptr);
  EXPECT_EQ(s->MenuHeight, ::GetSystemMetrics(SM_CYMENU));
  PumpFor(100);
  RECT after{};
  ::GetClientRect(f->Handle(), &after);
  EXPECT_EQ(after.bottom, before.bottom);  // the window grew by the bar
  ::RedrawWindow(f->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(WindowPixel(f->Handle(), s->BorderLeft + 1, s->BorderTop + s->MenuHeight / 2), ColorOf(pMenuBar, 1));
}

TEST_F(SkinnedFormTest, AcceleratorsOfTheBar) {
  EXPECT_TRUE(IsAccel(L'f', L"&File"));
  EXPECT_TRUE(IsAccel(L'F', L"&file"));
  EXPECT_FALSE(IsAccel(L'i', L"&File"));
  EXPECT_FALSE(IsAccel(L'x', L"A&&x"));
  EXPECT_TRUE(IsAccel(L'y', L"A&&x&y"));
  EXPECT_FALSE(IsAccel(L'f', L"File&"));
}

}  // namespace
}  // namespace kivo::test
