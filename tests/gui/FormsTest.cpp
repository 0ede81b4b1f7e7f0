// Forms, the application and its message loop, the screen and timers, in real windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ExtCtrls.h"
#include "Forms.h"
#include "GuiTestUtil.h"
#include "Threads.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A clickable windowed panel: posting it a click lets a modal loop handle it.
void PostClick(HWND wnd) {
  ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  ::PostMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

class TDialogForm : public TForm {
  KIVO_CLASS(TDialogForm, TForm)
  explicit TDialogForm(TComponent* owner) : TForm(owner) {
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(200);
    SetClientHeight(100);
    Ok = new TPanel(this);
    Ok->SetName(L"btnOk");
    Ok->SetParent(this);
    Ok->SetBounds(10, 60, 80, 25);
    Ok->OnClick = [this](TObject*) { SetModalResult(mrOk); };
  }
  TPanel* Ok;
};
KIVO_IMPLEMENT_CLASS(TDialogForm)

// Handles the fixed-identifier timers on its own window.
class TTimerForm : public TForm {
  KIVO_CLASS(TTimerForm, TForm)
  using TForm::TForm;
  int Ticks901 = 0, Ticks1001 = 0;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_TIMER) {
      if (m.WParam == 901) ++Ticks901;
      if (m.WParam == 1001) ++Ticks1001;
    }
    TForm::WndProc(m);
  }
};
KIVO_IMPLEMENT_CLASS(TTimerForm)

// Visual inheritance: a derived form adds to and changes its base's components.
class TBaseForm : public TForm {
  KIVO_CLASS(TBaseForm, TForm)
  explicit TBaseForm(TComponent* owner) : TForm(owner) {
    Strip = new TPanel(this);
    Strip->SetName(L"Strip");
    Strip->SetParent(this);
    Strip->SetAlign(TAlign::alBottom);
    Strip->SetHeight(26);
    OnCreate = [this](TObject*) { Created.push_back(L"base:" + Strip->Name()); };
  }
  TPanel* Strip;
  std::vector<std::wstring> Created;
};
KIVO_IMPLEMENT_CLASS(TBaseForm)
class TDerivedForm : public TBaseForm {
  KIVO_CLASS(TDerivedForm, TBaseForm)
  explicit TDerivedForm(TComponent* owner) : TBaseForm(owner) {
    Strip->SetHeight(40);
    Extra = new TPanel(this);
    Extra->SetName(L"Extra");
    Extra->SetParent(Strip);
    auto baseCreate = OnCreate;
    OnCreate = [this, baseCreate](TObject* s) {
      baseCreate(s);
      Created.push_back(L"derived:" + std::to_wstring(Strip->Height()));
    };
  }
  TPanel* Extra;
};
KIVO_IMPLEMENT_CLASS(TDerivedForm)

class FormsTest : public ::testing::Test {
 protected:
  void TearDown() override { DoneApplication(); }
};


TEST_F(FormsTest, ShowModalReturnsTheModalResultAndReenablesOtherWindows) {
  TForm* main = nullptr;
  Application()->CreateForm(main);
  main->Show();
  TDialogForm* dlg = Create<TDialogForm>(Application());
  // the click is waiting in the queue when the modal loop starts
  PostClick(dlg->Ok->Handle());
  bool mainDisabledDuring = false;
  dlg->OnShow = [&](TObject*) { mainDisabledDuring = !::IsWindowEnabled(main->Handle()); };
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_TRUE(mainDisabledDuring);
  EXPECT_TRUE(::IsWindowEnabled(main->Handle()));
  EXPECT_FALSE(dlg->Visible());
  EXPECT_FALSE(::IsWindowVisible(dlg->Handle()));
  // centred on the screen
  EXPECT_NEAR(dlg->Left() + dlg->Width() / 2, Screen()->Width() / 2, 2);

  // closing the window ends it with mrCancel; OnClose is asked
  int closes = 0;
  dlg->OnClose = [&](TObject*, TCloseAction& a) {
    ++closes;
    EXPECT_EQ(a, TCloseAction::caHide);
  };
  ::PostMessageW(dlg->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  EXPECT_EQ(closes, 1);

  // OnCloseQuery may refuse: the first result is dropped, the second one taken
  int asked = 0;
  dlg->OnCloseQuery = [&](TObject*, bool& can) { can = ++asked > 1; };
  PostClick(dlg->Ok->Handle());
  PostClick(dlg->Ok->Handle());
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_EQ(asked, 2);
  // a visible form cannot become modal
  dlg->Show();
  EXPECT_THROW(dlg->ShowModal(), EInvalidOperation);
}

TEST_F(FormsTest, ExceptionInAHandlerShowsAMessageBoxAndTheLoopGoesOn) {
  Application()->SetTitle(L"KivoTest");
  TDialogForm* form = Create<TDialogForm>(Application());
  form->Show();
  form->Ok->OnClick = [](TObject*) { throw EConvertError(L"坏的值 bad value"); };
  int later = 0;
  TPanel* other = new TPanel(form);
  other->SetParent(form);
  other->SetBounds(100, 60, 80, 25);
  other->OnClick = [&](TObject*) { ++later; };

  TBoxCloser closer(10000);
  PostClick(form->Ok->Handle());
  PostClick(other->Handle());
  EXPECT_TRUE(PumpUntil([&] { return later == 1; }, 10000));
  closer.Join();
  EXPECT_TRUE(closer.Found());
  EXPECT_NE(closer.Text().find(L"坏的值 bad value."), std::wstring::npos) << closer.Text().c_str();
  EXPECT_EQ(closer.Caption(), L"KivoTest");

  // the silent exception shows nothing
  form->Ok->OnClick = [](TObject*) { Abort(); };
  PostClick(form->Ok->Handle());
  PostClick(other->Handle());
  EXPECT_TRUE(PumpUntil([&] { return later == 2; }, 5000));
  PumpFor(300);
  EXPECT_EQ(FindVisibleTopLevel(L"#32770"), nullptr);

  // OnException replaces the box
  std::wstring handled;
  Application()->OnException = [&](TObject* sender, const std::exception& e) {
    handled = ExceptionMessage(e) + L"@" + static_cast<TComponent*>(sender)->Name();
  };
  form->Ok->OnClick = [](TObject*) { throw Exception(L"own"); };
  PostClick(form->Ok->Handle());
  EXPECT_TRUE(PumpUntil([&] { return !handled.empty(); }, 5000));
  EXPECT_EQ(handled, L"own@btnOk");
}

TEST_F(FormsTest, TimersWithFixedIdentifiersAndTTimerReachTheirHandlers) {
  TTimerForm* form = Create<TTimerForm>(Application());
  form->Show();
  ASSERT_NE(::SetTimer(form->Handle(), 901, 30, nullptr), 0u);
  ASSERT_NE(::SetTimer(form->Handle(), 1001, 40, nullptr), 0u);
  TTimer* timer = new TTimer(form);
  timer->SetInterval(20);
  int ticks = 0;
  timer->SetOnTimer([&](TObject* s) {
    EXPECT_EQ(s, timer);
    ++ticks;
  });
  EXPECT_TRUE(PumpUntil([&] { return form->Ticks901 >= 3 && form->Ticks1001 >= 3 && ticks >= 3; }, 5000));
  ::KillTimer(form->Handle(), 901);
  timer->SetEnabled(false);
  int frozen = ticks, frozen901 = form->Ticks901;
  PumpFor(200);
  EXPECT_EQ(ticks, frozen);
  EXPECT_EQ(form->Ticks901, frozen901);
  EXPECT_GT(form->Ticks1001, 3);
  // freeing the timer with its owner leaves no timer window behind
  form->Free();
  for (HWND w : ThreadWindows()) EXPECT_NE(ClassOf(w), L"TPUtilWindow");
}

TEST_F(FormsTest, ApplicationWindowHooksMessagesAndRunEndsWithTerminate) {
  HWND app = Application()->Handle();
  EXPECT_EQ(ClassOf(app), L"TApplication");
  EXPECT_FALSE(::IsWindowVisible(app));
  const UINT kPrivate = WM_APP + 5;
  std::vector<std::string> seen;
  int first = Application()->HookMainWindow([&](TMessage& m) {
    if (m.Msg == kPrivate) seen.push_back("first");
    return false;
  });
  int second = Application()->HookMainWindow([&](TMessage& m) {
    if (m.Msg != kPrivate) return false;
    seen.push_back("second");
    m.Result = 77;
    return true;
  });
  EXPECT_EQ(::SendMessageW(app, kPrivate, 0, 0), 77);
  Application()->UnhookMainWindow(second);
  EXPECT_EQ(::SendMessageW(app, kPrivate, 0, 0), 0);
  Application()->UnhookMainWindow(first);
  ::SendMessageW(app, kPrivate, 0, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second", "first"}));

  // OnMessage sees posted messages first and may keep them
  TForm* main = nullptr;
  Application()->CreateForm(main);
  EXPECT_EQ(Application()->MainForm(), main);
  int dispatched = 0, filtered = 0;
  TPanel* p = new TPanel(main);
  p->SetParent(main);
  p->OnClick = [&](TObject*) { ++dispatched; };
  Application()->OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message == WM_LBUTTONUP && msg.hwnd == p->Handle() && filtered == 0) {
      ++filtered;
      handled = true;
    }
  };
  // Run shows the main form; a timer ends it
  TTimer* t = new TTimer(main);
  t->SetInterval(50);
  int step = 0;
  t->SetOnTimer([&](TObject*) {
    if (step++ == 0) {
      PostClick(p->Handle());  // its button-up is kept away
      PostClick(p->Handle());
    } else if (dispatched) {
      Application()->Terminate();
    }
  });
  Application()->Run();
  EXPECT_TRUE(Application()->Terminated());
  EXPECT_TRUE(main->Visible());
  EXPECT_EQ(filtered, 1);
  EXPECT_EQ(dispatched, 1);
  // the application window shows (for the taskbar) with the main form, at no size
  EXPECT_TRUE(::IsWindowVisible(app));
  RECT r;
  ::GetWindowRect(app, &r);
  EXPECT_EQ(r.right - r.left, 0);
}

TEST_F(FormsTest, ClosingTheMainFormEndsTheApplication) {
  TForm* main = nullptr;
  Application()->CreateForm(main);
  TTimer* t = new TTimer(main);
  t->SetInterval(30);
  t->SetOnTimer([&](TObject*) { ::PostMessageW(main->Handle(), WM_CLOSE, 0, 0); });
  Application()->Run();
  EXPECT_TRUE(Application()->Terminated());
}

TEST_F(FormsTest, CloseActionsHideOrFreeTheForm) {
  TForm* main = nullptr;
  Application()->CreateForm(main);
  TForm* f = Create<TForm>(Application());
  f->Show();
  bool destroyed = false;
  f->OnDestroy = [&](TObject*) { destroyed = true; };
  TCloseAction next = TCloseAction::caNone;
  f->OnClose = [&](TObject*, TCloseAction& a) { a = next; };
  f->Close();
  EXPECT_TRUE(f->Visible());
  next = TCloseAction::caHide;
  f->Close();
  EXPECT_FALSE(f->Visible());
  f->Show();
  next = TCloseAction::caFree;
  int before = Application()->ComponentCount();
  f->Close();
  EXPECT_FALSE(destroyed);  // freed from the message loop, not inside Close
  EXPECT_TRUE(PumpUntil([&] { return destroyed; }, 3000));
  EXPECT_EQ(Application()->ComponentCount(), before - 1);
}

TEST_F(FormsTest, VisualInheritanceAddsAndChangesComponentsBeforeOnCreate) {
  TDerivedForm* f = Create<TDerivedForm>(Application());
  EXPECT_EQ(f->ClassName(), L"TDerivedForm");
  EXPECT_TRUE(f->InheritsFrom(L"TBaseForm"));
  EXPECT_TRUE(f->InheritsFrom(L"TCustomForm"));
  EXPECT_EQ(f->Created, (std::vector<std::wstring>{L"base:Strip", L"derived:40"}));
  EXPECT_EQ(f->Extra->Parent(), f->Strip);
  EXPECT_EQ(f->ComponentCount(), 2);
  f->Show();
  EXPECT_EQ(ClassOf(f->Handle()), L"TDerivedForm");
  EXPECT_EQ(f->Strip->Top(), f->ClientHeight() - 40);
  f->Free();
}

// A form whose description makes it visible and whose button frees the form from its handler.
class TSelfClosingForm : public TForm {
  KIVO_CLASS(TSelfClosingForm, TForm)
  explicit TSelfClosingForm(TComponent* owner) : TForm(owner) {
    SetVisible(true);
    WindowAtConstruction = HandleAllocated();
    Button = new TPanel(this);
    Button->SetParent(this);
    Button->SetBounds(0, 0, 50, 50);
    Button->OnClick = [this](TObject*) { Free(); };
  }
  bool WindowAtConstruction = true;
  TPanel* Button;
};
KIVO_IMPLEMENT_CLASS(TSelfClosingForm)

TEST_F(FormsTest, AVisibleDescriptionShowsWhenCompleteAndAHandlerMayFreeItsForm) {
  bool destroyed = false;
  TSelfClosingForm* f = Create<TSelfClosingForm>(Application());
  EXPECT_FALSE(f->WindowAtConstruction);
  EXPECT_TRUE(::IsWindowVisible(f->Handle()));
  EXPECT_EQ(ClassOf(f->Handle()), L"TSelfClosingForm");
  f->OnDestroy = [&](TObject*) { destroyed = true; };
  HWND button = f->Button->Handle();
  ClickAt(button, 5, 5);  // the click frees the form inside its own message
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(::IsWindow(button));
  EXPECT_EQ(Screen()->FormCount(), 0);
}

TEST_F(FormsTest, FormsEmbedIntoAnotherFormOrAForeignWindow) {
  TForm* host = Create<TForm>(Application());
  host->SetBounds(10, 10, 400, 300);
  host->Show();
  TForm* inner = Create<TForm>(Application());
  inner->SetBorderStyle(TFormBorderStyle::bsNone);
  inner->SetParent(host);
  inner->SetAlign(TAlign::alClient);
  inner->Show();
  EXPECT_EQ(::GetParent(inner->Handle()), host->Handle());
  EXPECT_TRUE(::GetWindowLongW(inner->Handle(), GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(inner->Width(), host->ClientWidth());
  // out again: a top-level window once more
  inner->SetParent(nullptr);
  inner->SetAlign(TAlign::alNone);
  inner->Show();
  EXPECT_FALSE(::GetWindowLongW(inner->Handle(), GWL_STYLE) & WS_CHILD);
  // into a raw window of this process
  HWND raw = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
  inner->SetParentWindow(raw);
  inner->Show();
  EXPECT_EQ(::GetParent(inner->Handle()), raw);
  inner->Free();
  ::DestroyWindow(raw);
  host->Free();
}

TEST_F(FormsTest, OnResizeSeesTheChildrenLaidOutAtTheNewSize) {
  TForm* form = Create<TForm>(Application());
  form->SetBounds(10, 10, 300, 200);
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetAlign(TAlign::alClient);
  std::vector<int> seen;
  form->OnResize = [&](TObject*) { seen.push_back(panel->Width() - form->ClientWidth()); };
  form->Show();
  seen.clear();
  form->SetBounds(10, 10, 420, 260);  // through the window
  ASSERT_FALSE(seen.empty());
  for (int d : seen) EXPECT_EQ(d, 0);
  // a frame without a window yet, resized by its parent's alignment
  auto* frame = Create<TFrame>(form);
  auto* inner = new TPanel(frame);
  inner->SetParent(frame);
  inner->SetAlign(TAlign::alClient);
  std::vector<int> innerSeen;
  frame->OnResize = [&](TObject*) { innerSeen.push_back(inner->Width() - frame->ClientWidth()); };
  frame->SetBounds(0, 0, 50, 50);
  frame->SetBounds(0, 0, 80, 40);
  ASSERT_FALSE(innerSeen.empty());
  for (int d : innerSeen) EXPECT_EQ(d, 0);
  form->Free();
}

TEST_F(FormsTest, ScreenListsFormsInZOrderAndTracksTheActiveOne) {
  TForm* a = Create<TForm>(Application());
  TForm* b = Create<TForm>(Application());
  TForm* hidden = Create<TForm>(Application());
  EXPECT_EQ(Screen()->FormCount(), 3);
  a->SetBounds(0, 0, 200, 200);
  b->SetBounds(100, 100, 200, 200);
  a->Show();
  b->Show();
  PumpFor(50);
  EXPECT_EQ(Screen()->Forms(0), b);
  EXPECT_EQ(Screen()->Forms(1), a);
  EXPECT_EQ(Screen()->Forms(2), hidden);
  EXPECT_EQ(Screen()->ActiveForm(), b);
  a->Show();
  PumpFor(50);
  EXPECT_EQ(Screen()->Forms(0), a);
  EXPECT_EQ(Screen()->ActiveForm(), a);
  hidden->Free();
  EXPECT_EQ(Screen()->FormCount(), 2);
  EXPECT_EQ(Screen()->Width(), ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_NE(Screen()->Cursors(crHandPoint), nullptr);
  EXPECT_NE(Screen()->Cursors(crHandPoint), Screen()->Cursors(crDefault));
  EXPECT_FALSE(Screen()->MenuFont()->Name().empty());
}

TEST_F(FormsTest, AFormsLifeLeaksNoHandlesOrGdiObjects) {
  auto cycle = [] {
    TDialogForm* f = Create<TDialogForm>(Application());
    f->SetCaption(L"泄漏测试");
    f->SetIcon(::LoadIconW(nullptr, IDI_APPLICATION));
    f->Font()->SetSize(12);
    TPanel* p = new TPanel(f);
    p->SetParent(f);
    p->SetCaption(L"面板");
    p->SetAlign(TAlign::alTop);
    TTimer* t = new TTimer(f);
    t->SetInterval(10);
    t->SetOnTimer([](TObject*) {});
    f->Show();
    p->Repaint();
    f->Ok->Canvas()->TextOut(0, 0, L"x");  // a DC taken outside painting is given back
    PumpFor(30);
    PostClick(f->Ok->Handle());
    f->Hide();
    EXPECT_EQ(f->ShowModal(), mrOk);
    HFONT font = f->Font()->Handle();
    HICON icon = f->Icon();
    f->Free();
    // the form's own GDI objects are gone with it
    EXPECT_EQ(::GetObjectType(font), 0u);
    EXPECT_FALSE(::DestroyIcon(icon));
  };
  cycle();  // classes registered, caches warmed
  FreeDeviceContexts();
  // the measures themselves: three brushes left alive show as three
  int gdi0 = GdiHighWater();
  HBRUSH leak[3] = {::CreateSolidBrush(1), ::CreateSolidBrush(2), ::CreateSolidBrush(3)};
  int handles0 = CountKernelHandles();
  HANDLE ev = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(GdiHighWater() - gdi0, 3);
  EXPECT_EQ(CountKernelHandles() - handles0, 1);
  for (HBRUSH b : leak) ::DeleteObject(b);
  ::CloseHandle(ev);

  int gdiBefore = GdiHighWater();
  int handlesBefore = CountKernelHandles();
  size_t windowsBefore = ThreadWindows().size();
  // (each hide of a framed window costs Wine about 2 s without a window manager: few cycles)
  for (int i = 0; i < 3; ++i) cycle();
  // On a loaded machine Wine lets go of a few objects a little later: a leak never settles.
  PumpUntil([&] { return CountKernelHandles() == handlesBefore && GdiHighWater() == gdiBefore; }, 3000);
  EXPECT_EQ(GdiHighWater(), gdiBefore);
  EXPECT_EQ(CountKernelHandles(), handlesBefore);
  EXPECT_EQ(ThreadWindows().size(), windowsBefore);
}

TEST_F(FormsTest, SynchronizeRunsOnTheMainThreadInsideTheMessageLoop) {
  TForm* main = nullptr;
  Application()->CreateForm(main);
  DWORD ranOn = 0;
  std::thread worker([&] {
    TThread::Synchronize([&] { ranOn = ::GetCurrentThreadId(); });
    TThread::Synchronize([&] { Application()->Terminate(); });
  });
  Application()->Run();
  worker.join();
  EXPECT_EQ(ranOn, ::GetCurrentThreadId());
}

}  // namespace
