// KivoMsg as a real process beside the test, which stands in for KivoApp: its life bound to a
// watched process, its hidden server window, and the busy overlay it lays over the test's windows
// through KivoApp's own client functions.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "KVMessage.h"
#include "KVMsgProtocol.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const std::wstring kText1 = L"\u6B63\u5728\u5F00\u542F\u89C6\u9891";  // the camera window's text
const std::wstring kText2 = L"Busy 2";
const std::wstring kText3 = L"\u7B2C\u4E09 three";

DWORD PidOf(HWND w) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  return pid;
}
std::wstring ClassOf(HWND w) {
  wchar_t buf[256] = {};
  ::GetClassNameW(w, buf, 256);
  return buf;
}
std::wstring TextOf(HWND w) {
  wchar_t buf[512] = {};
  ::GetWindowTextW(w, buf, 512);
  return buf;
}
LONG_PTR StyleOf(HWND w) { return ::GetWindowLongPtrW(w, GWL_STYLE); }
LONG_PTR ExStyleOf(HWND w) { return ::GetWindowLongPtrW(w, GWL_EXSTYLE); }
SIZE ClientSize(HWND w) {
  RECT r{};
  ::GetClientRect(w, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}
// Waits (bounded) until pred holds, handling this thread's messages meanwhile.
bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs = 10000) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    Pump();
    if (pred()) return true;
    if (::GetTickCount() - start > timeoutMs) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

// Top-level windows of a process with a class (and a title when given).
struct TTopLevelSearch {
  DWORD pid;
  std::wstring cls;
  const wchar_t* title;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectTopLevel(HWND w, LPARAM l) {
  auto* s = reinterpret_cast<TTopLevelSearch*>(l);
  if (PidOf(w) == s->pid && ClassOf(w) == s->cls && (!s->title || TextOf(w) == s->title)) s->found.push_back(w);
  return TRUE;
}
std::vector<HWND> TopLevelOf(DWORD pid, const std::wstring& cls, const wchar_t* title = nullptr) {
  TTopLevelSearch s{pid, cls, title, {}};
  ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}
// Direct children of a window that belong to a process.
std::vector<HWND> ChildrenOf(HWND parent, DWORD pid) {
  std::vector<HWND> found;
  for (HWND w = ::GetWindow(parent, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT))
    if (PidOf(w) == pid) found.push_back(w);
  return found;
}
// The first window of a class below root (depth first).
HWND FindDescendant(HWND root, const std::wstring& cls) {
  for (HWND w = ::GetWindow(root, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (ClassOf(w) == cls) return w;
    if (HWND d = FindDescendant(w, cls)) return d;
  }
  return nullptr;
}
// The overlay's text line, read as its window's text.
std::wstring OverlayText(HWND overlay) {
  HWND label = FindDescendant(overlay, L"TStaticText");
  return label ? TextOf(label) : L"<no label>";
}

std::wstring KivoMsgExe() { return ModuleDir() + kMessageProgramFile; }

// One run of kivomsg.dll with the given argument text; terminated at the end if still running.
class TKivoMsgRun {
 public:
  explicit TKivoMsgRun(const std::wstring& args) {
    std::wstring cmd = L"\"" + KivoMsgExe() + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      process_.Reset(pi.hProcess);
      thread_.Reset(pi.hThread);
      pid_ = pi.dwProcessId;
    }
  }
  ~TKivoMsgRun() {
    if (Running()) {
      ::TerminateProcess(process_.Get(), 0);
      ::WaitForSingleObject(process_.Get(), 10000);
    }
  }
  bool Started() const { return process_.Valid(); }
  DWORD Pid() const { return pid_; }
  HANDLE MainThread() const { return thread_.Get(); }
  bool Running() const { return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
  // Still running after waiting this long.
  bool StaysRunning(DWORD ms) const { return ::WaitForSingleObject(process_.Get(), ms) == WAIT_TIMEOUT; }
  std::optional<DWORD> WaitExit(DWORD timeoutMs) const {
    if (::WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
  }
  // Its server window, waiting for it (bounded).
  HWND WaitServer(DWORD timeoutMs = 15000) const {
    HWND server = nullptr;
    WaitFor(
        [&] {
          auto list = TopLevelOf(pid_, kMessageServerClass, kMessageServerTitle);
          server = list.empty() ? nullptr : list.front();
          return server != nullptr || !Running();
        },
        timeoutMs);
    return server;
  }
  std::vector<HWND> Overlays() const { return TopLevelOf(pid_, L"TMessageForm"); }

 private:
  THandleOwner process_;
  THandleOwner thread_;
  DWORD pid_ = 0;
};

// A process whose id KivoMsg watches.
class TTarget {
 public:
  explicit TTarget(bool exitAtOnce) {
    std::wstring cmd = L"\"" + HelperPath(L"kivomsg_target") + L"\"" + (exitAtOnce ? L" exit" : L"");
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
      ::CloseHandle(pi.hThread);
      process_.Reset(pi.hProcess);
      pid_ = pi.dwProcessId;
    }
  }
  ~TTarget() { Kill(); }
  DWORD Pid() const { return pid_; }
  bool WaitExit(DWORD ms) const { return ::WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0; }
  void Kill() {
    if (!process_) return;
    ::TerminateProcess(process_.Get(), 0);
    ::WaitForSingleObject(process_.Get(), 10000);
  }
  // Lets go of the process object, so that its id names nothing any more.
  void Forget() { process_.Reset(); }

 private:
  THandleOwner process_;
  DWORD pid_ = 0;
};

// A plain window of the test (standing in for KivoApp's video window).
class THostWindow {
 public:
  THostWindow(int x, int y, int w, int h) {
    static const ATOM cls = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = ::DefWindowProcW;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
      wc.lpszClassName = L"KivoMsgTestHost";
      return ::RegisterClassW(&wc);
    }();
    (void)cls;
    wnd_ = ::CreateWindowExW(0, L"KivoMsgTestHost", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, w, h,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    Pump();
  }
  ~THostWindow() { Destroy(); }
  HWND Handle() const { return wnd_; }
  void Destroy() {
    if (wnd_ && ::IsWindow(wnd_)) ::DestroyWindow(wnd_);
  }

 private:
  HWND wnd_ = nullptr;
};

// A KivoMsg watching this test's process, with its server window found.
struct KivoMsgServer : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(run.Started());
    server = run.WaitServer();
    ASSERT_NE(server, nullptr) << "no server window";
  }
  TKivoMsgRun run{std::to_wstring(::GetCurrentProcessId())};
  HWND server = nullptr;
};

}  // namespace

TEST(KivoMsg, CommandLineQuotesTheProgramPathAndPassesThePid) {
  struct TCase {
    const wchar_t* dir;
    DWORD pid;
  } cases[] = {
      {L"C:\\Program Files\\Kivo\\", 1234},
      {L"C:\\Kivo\\", 8},
      {L"D:\\a b & c\\x y\\", 4294967295u},
  };
  for (const TCase& c : cases) {
    const std::wstring line = MessageCommandLine(c.dir, c.pid);
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &argc);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(argc, 2) << std::string(line.begin(), line.end());
    EXPECT_EQ(std::wstring(argv[0]), std::wstring(c.dir) + L"kivomsg.dll");
    EXPECT_EQ(std::wstring(argv[1]), std::to_wstring(c.pid));
    ::LocalFree(argv);
    // CreateProcess without an application name takes the program from the same quoted text
    EXPECT_EQ(line.front(), L'"');
  }
}

TEST(KivoMsg, LifeFollowsTheWatchedProcess) {
  enum class TArg { None, NotANumber, Live, Dead, EndsLater };
  struct TCase {
    const char* name;
    TArg arg;
    bool keepsRunning;
  } cases[] = {
      {"no argument", TArg::None, true},
      {"non-numeric argument", TArg::NotANumber, true},
      {"live pid", TArg::Live, true},
      {"dead pid", TArg::Dead, false},
      {"pid that ends later", TArg::EndsLater, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TTarget target(c.arg == TArg::Dead);
    std::wstring args;
    switch (c.arg) {
      case TArg::None: break;
      case TArg::NotANumber: args = L"abc"; break;
      case TArg::Dead:
        ASSERT_TRUE(target.WaitExit(10000));
        target.Forget();
        args = std::to_wstring(target.Pid());
        break;
      default: args = std::to_wstring(target.Pid()); break;
    }
    TKivoMsgRun run(args);
    ASSERT_TRUE(run.Started());
    if (c.keepsRunning) {
      EXPECT_NE(run.WaitServer(), nullptr);
      EXPECT_TRUE(run.StaysRunning(1500));
      continue;
    }
    if (c.arg == TArg::EndsLater) {
      ASSERT_NE(run.WaitServer(), nullptr);
      ASSERT_TRUE(run.StaysRunning(500));
      target.Kill();
    }
    // it closes its main form: an orderly end
    const std::optional<DWORD> code = run.WaitExit(10000);
    ASSERT_TRUE(code.has_value()) << "KivoMsg still runs";
    EXPECT_EQ(*code, 0u);
  }
}

// KivoApp puts the overlay's text into the server's first child before it asks for the overlay: a
// server window found by its class and title must have that child already, or the text is lost.
TEST(KivoMsg, ServerWindowIsFoundOnlyWithItsTextPanel) {
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    TKivoMsgRun run(std::to_wstring(::GetCurrentProcessId()));
    ASSERT_TRUE(run.Started());
    HWND server = nullptr;
    const DWORD start = ::GetTickCount();
    // as fast as KivoApp's first show can come
    while (!(server = FindMessageWindow()) && run.Running() && ::GetTickCount() - start < 15000) ::Sleep(0);
    ASSERT_NE(server, nullptr) << "no server window";
    HWND panel = ::GetWindow(server, GW_CHILD);
    EXPECT_NE(panel, nullptr) << "the server window was found before its text panel";
    if (panel) {
      EXPECT_EQ(ClassOf(panel), L"TPanel");
    }
  }
}

TEST_F(KivoMsgServer, ServerWindowStaysHiddenWithATextPanelAndNoTaskbarButton) {
  EXPECT_EQ(FindMessageWindow(), server);
  EXPECT_FALSE(::IsWindowVisible(server));
  HWND panel = ::GetWindow(server, GW_CHILD);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(ClassOf(panel), L"TPanel");
  // the application window carries the tool-window style: no taskbar button
  auto apps = TopLevelOf(run.Pid(), L"TApplication");
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_TRUE(ExStyleOf(apps[0]) & WS_EX_TOOLWINDOW);
  for (HWND w : TopLevelOf(run.Pid(), L"TKVMessageMainForm")) EXPECT_FALSE(::IsWindowVisible(w));
  EXPECT_TRUE(run.Overlays().empty());
}

TEST_F(KivoMsgServer, OverlayCoversTheHostIsReusedAndGoesOnHide) {
  THostWindow a(40, 40, 400, 300), b(100, 380, 260, 180);
  ShowWaitMessageOn(server, a.Handle(), 0, kText1);
  auto children = ChildrenOf(a.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  const HWND overlay = children[0];
  EXPECT_EQ(ClassOf(overlay), L"TMessageForm");
  EXPECT_TRUE(StyleOf(overlay) & WS_CHILD);
  EXPECT_FALSE(StyleOf(overlay) & WS_POPUP);
  EXPECT_TRUE(::IsWindowVisible(overlay));
  EXPECT_EQ(ClientSize(overlay).cx, ClientSize(a.Handle()).cx);
  EXPECT_EQ(ClientSize(overlay).cy, ClientSize(a.Handle()).cy);
  RECT r{};
  ::GetWindowRect(overlay, &r);
  POINT origin{0, 0};
  ::ClientToScreen(a.Handle(), &origin);
  EXPECT_EQ(r.left, origin.x);
  EXPECT_EQ(r.top, origin.y);
  EXPECT_EQ(OverlayText(overlay), kText1);
  EXPECT_TRUE(run.Overlays().empty());

  // again on the same host: the same overlay with the new text
  ShowWaitMessageOn(server, a.Handle(), 0, kText2);
  children = ChildrenOf(a.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0], overlay);
  EXPECT_EQ(OverlayText(overlay), kText2);

  // on another host: it moves there and takes that host's size
  ShowWaitMessageOn(server, b.Handle(), 0, kText3);
  EXPECT_TRUE(ChildrenOf(a.Handle(), run.Pid()).empty());
  children = ChildrenOf(b.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0], overlay);
  EXPECT_EQ(ClientSize(overlay).cx, 260);
  EXPECT_EQ(ClientSize(overlay).cy, 180);
  EXPECT_EQ(OverlayText(overlay), kText3);

  EXPECT_EQ(HideWaitMessageOn(server), 0);
  EXPECT_TRUE(ChildrenOf(b.Handle(), run.Pid()).empty());
  EXPECT_FALSE(::IsWindow(overlay));
  EXPECT_TRUE(run.Overlays().empty());

  // hiding without an overlay does nothing; the server goes on serving
  EXPECT_EQ(HideWaitMessageOn(server), 0);
  EXPECT_TRUE(run.Running());
  ShowWaitMessageOn(server, a.Handle(), 0, kText2);
  children = ChildrenOf(a.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(OverlayText(children[0]), kText2);
  EXPECT_EQ(HideWaitMessageOn(server), 0);
  EXPECT_TRUE(ChildrenOf(a.Handle(), run.Pid()).empty());
}

TEST_F(KivoMsgServer, OverlayWithoutHostIsATopMostWindowOfItsDesignedSize) {
  ShowWaitMessageOn(server, nullptr, 0, kText1);
  auto overlays = run.Overlays();
  ASSERT_EQ(overlays.size(), 1u);
  const HWND overlay = overlays[0];
  EXPECT_TRUE(::IsWindowVisible(overlay));
  EXPECT_FALSE(StyleOf(overlay) & WS_CHILD);
  EXPECT_FALSE(StyleOf(overlay) & (WS_CAPTION | WS_THICKFRAME));
  EXPECT_TRUE(ExStyleOf(overlay) & WS_EX_TOPMOST);
  EXPECT_EQ(ClientSize(overlay).cx, 318);
  EXPECT_EQ(ClientSize(overlay).cy, 261);
  EXPECT_EQ(OverlayText(overlay), kText1);
  EXPECT_EQ(HideWaitMessageOn(server), 0);
  EXPECT_FALSE(::IsWindow(overlay));
}

TEST_F(KivoMsgServer, OverlayGoesWithItsHostAndTheNextShowMakesANewOne) {
  THostWindow a(40, 40, 300, 200), c(60, 300, 320, 240);
  ShowWaitMessageOn(server, a.Handle(), 0, kText1);
  auto children = ChildrenOf(a.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  const HWND first = children[0];
  const HWND deadHost = a.Handle();
  a.Destroy();
  ASSERT_TRUE(WaitFor([&] { return !::IsWindow(first); })) << "the overlay outlived its host";

  // a show naming the dead host: KivoMsg survives and shows the overlay on its own
  ShowWaitMessageOn(server, deadHost, 0, kText2);
  ASSERT_TRUE(run.Running());
  auto overlays = run.Overlays();
  ASSERT_EQ(overlays.size(), 1u);
  EXPECT_EQ(OverlayText(overlays[0]), kText2);

  // the next show on a live host puts a working overlay there
  ShowWaitMessageOn(server, c.Handle(), 0, kText3);
  children = ChildrenOf(c.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(OverlayText(children[0]), kText3);
  EXPECT_EQ(ClientSize(children[0]).cx, 320);
  EXPECT_TRUE(run.Overlays().empty());
  EXPECT_EQ(HideWaitMessageOn(server), 0);
  EXPECT_TRUE(ChildrenOf(c.Handle(), run.Pid()).empty());

  // and after its host went while shown, a show starts afresh
  ShowWaitMessageOn(server, c.Handle(), 0, kText1);
  children = ChildrenOf(c.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  const HWND second = children[0];
  c.Destroy();
  ASSERT_TRUE(WaitFor([&] { return !::IsWindow(second); }));
  THostWindow d(80, 80, 200, 150);
  ShowWaitMessageOn(server, d.Handle(), 0, kText2);
  children = ChildrenOf(d.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(OverlayText(children[0]), kText2);
  EXPECT_EQ(HideWaitMessageOn(server), 0);
}

TEST_F(KivoMsgServer, OverlayPaintsWhileTheClientIsBlocked) {
  const TColor panel = 0x00203040;  // RGB(0x40, 0x30, 0x20)
  ShowWaitMessageOn(server, nullptr, panel, L"Busy BUSY busy");
  auto overlays = run.Overlays();
  ASSERT_EQ(overlays.size(), 1u);
  RECT r{};
  ::GetWindowRect(overlays[0], &r);
  ASSERT_EQ(r.right - r.left, 318);
  ASSERT_EQ(r.bottom - r.top, 261);

  // from here this thread handles no message at all: only KivoMsg can paint the overlay
  struct TCounts {
    bool panelCorners = false;
    int spinner = 0;      // orange dots in the spinner's place
    int outsideDots = 0;  // orange anywhere else
    int text = 0;         // light pixels of the text line
  };
  auto measure = [&] {
    TCounts c;
    const int w = 318, h = 261;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    auto px = [&](int x, int y) { return static_cast<const DWORD*>(bits)[y * w + x]; };  // 0x00RRGGBB
    const DWORD expect = 0x403020;
    c.panelCorners = px(3, 3) == expect && px(314, 3) == expect && px(3, 257) == expect && px(314, 257) == expect;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const DWORD p = px(x, y);
        const int R = (p >> 16) & 255, G = (p >> 8) & 255, B = p & 255;
        const bool orange = R >= 90 && R > G + 20 && G > B + 10 && B < 60;
        const bool inSpinner = x >= 102 && x < 217 && y >= 32 && y < 147;
        if (orange) (inSpinner ? c.spinner : c.outsideDots)++;
        if (x >= 67 && x < 252 && y >= 184 && y < 197 && R > 160 && G > 160 && B > 160) ++c.text;
      }
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return c;
  };
  TCounts c;
  const DWORD start = ::GetTickCount();
  do {
    ::Sleep(100);
    c = measure();
  } while (!(c.panelCorners && c.spinner > 1000 && c.text > 0 && c.outsideDots == 0) && ::GetTickCount() - start < 30000);
  const std::string counts = "spinner " + std::to_string(c.spinner) + ", elsewhere " + std::to_string(c.outsideDots) +
                             ", text " + std::to_string(c.text);
  EXPECT_TRUE(c.panelCorners) << "the panel's colour is not painted; " << counts;
  EXPECT_GT(c.spinner, 1000) << "the spinner is not painted; " << counts;
  EXPECT_EQ(c.outsideDots, 0) << counts;
  EXPECT_GT(c.text, 0) << "the text line is not painted; " << counts;
  EXPECT_EQ(HideWaitMessageOn(server), 0);
}

TEST_F(KivoMsgServer, HungKivoMsgCostsTheClientATimeOutOnly) {
  THostWindow a(40, 40, 300, 200);
  ASSERT_NE(::SuspendThread(run.MainThread()), static_cast<DWORD>(-1));
  std::atomic<bool> done{false};
  std::int32_t hidden = -1;
  std::thread client([&] {
    ShowWaitMessageOn(server, a.Handle(), 0, kText1);
    hidden = HideWaitMessageOn(server);
    done = true;
  });
  // the client's calls come back although KivoMsg handles nothing
  const bool returned = WaitFor([&] { return done.load(); }, 60000);
  ::ResumeThread(run.MainThread());
  client.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(hidden, 0);
}

TEST_F(KivoMsgServer, ClientFunctionsFindTheServerOrDoNothing) {
  THostWindow a(40, 40, 300, 200);
  ASSERT_EQ(FindMessageWindow(), server);
  ShowWaitMessage(a.Handle(), 0, kText1);
  auto children = ChildrenOf(a.Handle(), run.Pid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(OverlayText(children[0]), kText1);
  EXPECT_EQ(HideWaitMessage(), 0);
  EXPECT_TRUE(ChildrenOf(a.Handle(), run.Pid()).empty());

  THandleOwner process(::OpenProcess(PROCESS_TERMINATE, FALSE, run.Pid()));
  ASSERT_TRUE(process.Valid());
  ::TerminateProcess(process.Get(), 0);
  ASSERT_TRUE(run.WaitExit(10000).has_value());
  EXPECT_EQ(FindMessageWindow(), nullptr);
  ShowWaitMessage(a.Handle(), 0, kText1);
  EXPECT_EQ(::GetWindow(a.Handle(), GW_CHILD), nullptr);
  EXPECT_EQ(HideWaitMessage(), 0);
}
