#include "KivoAppFixture.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kivo::test {

namespace {
std::vector<BYTE> ReadAll(const std::wstring& file) {
  std::vector<BYTE> all;
  TFileOwner f(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return all;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(f.Get(), &size);
  all.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!all.empty() && !::ReadFile(f.Get(), all.data(), static_cast<DWORD>(all.size()), &got, nullptr)) got = 0;
  all.resize(got);
  return all;
}

std::wstring TempRoot() {
  wchar_t buf[MAX_PATH];
  DWORD n = ::GetTempPathW(MAX_PATH, buf);
  return std::wstring(buf, n);
}

void CopyTree(const std::wstring& from, const std::wstring& to) {
  ::CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((from + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CopyTree(from + name + L"\\", to + name + L"\\");
    else ::CopyFileW((from + name).c_str(), (to + name).c_str(), FALSE);
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
}

struct TEnumCtx {
  DWORD pid;
  std::wstring cls;
  std::optional<std::wstring> text;
  std::vector<HWND> found;
};
BOOL CALLBACK EnumTop(HWND w, LPARAM l) {
  auto* c = reinterpret_cast<TEnumCtx*>(l);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid == c->pid && ClassOfWindow(w) == c->cls && (!c->text || TextOfWindow(w) == *c->text)) c->found.push_back(w);
  return TRUE;
}

struct TChildSearch {
  std::wstring cls, text, parentCls;
  std::vector<HWND> found;
};
BOOL CALLBACK EnumChild(HWND w, LPARAM l) {
  auto* f = reinterpret_cast<TChildSearch*>(l);
  if (ClassOfWindow(w) == f->cls && (f->text.empty() || TextOfWindow(w) == f->text) &&
      (f->parentCls.empty() || ClassOfWindow(::GetParent(w)) == f->parentCls))
    f->found.push_back(w);
  return TRUE;
}
BOOL CALLBACK AppendText(HWND w, LPARAM l) {
  *reinterpret_cast<std::wstring*>(l) += TextOfWindow(w) + L" | ";
  return TRUE;
}
}  // namespace

std::wstring StagedProgramDir() { return ModuleDir() + L"program\\"; }

TProgramFolder::TProgramFolder() {
  static int counter = 0;
  path_ = TempRoot() + L"Kivo Program " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter) + L"\\";
  DeleteTree(path_);
  CopyTree(StagedProgramDir(), path_);
}

TProgramFolder::~TProgramFolder() { DeleteTree(path_); }

bool TProgramFolder::Put(const std::wstring& source, const std::wstring& name) {
  for (std::size_t i = name.find(L'\\'); i != std::wstring::npos; i = name.find(L'\\', i + 1))
    ::CreateDirectoryW((path_ + name.substr(0, i)).c_str(), nullptr);
  return ::CopyFileW(source.c_str(), File(name).c_str(), FALSE) != FALSE;
}

bool TProgramFolder::Write(const std::wstring& name, const std::string& bytes) {
  TFileOwner f(::CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return f && ::WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void TProgramFolder::Remove(const std::wstring& name) { ::DeleteFileW(File(name).c_str()); }

std::wstring ClassOfWindow(HWND w) {
  wchar_t buf[256];
  int n = ::GetClassNameW(w, buf, 256);
  return std::wstring(buf, n > 0 ? n : 0);
}
std::wstring TextOfWindow(HWND w) {
  wchar_t buf[512];
  int n = ::GetWindowTextW(w, buf, 512);
  return std::wstring(buf, n > 0 ? n : 0);
}

std::vector<HWND> WindowsOf(DWORD pid, const std::wstring& cls, const std::optional<std::wstring>& text) {
  TEnumCtx ctx{pid, cls, text, {}};
  ::EnumWindows(EnumTop, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}
HWND FindWindowOf(DWORD pid, const std::wstring& cls, const std::optional<std::wstring>& text) {
  auto all = WindowsOf(pid, cls, text);
  return all.empty() ? nullptr : all.front();
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
  const double deadline = NowMs() + timeoutMs;
  while (!pred()) {
    if (NowMs() > deadline) return false;
    ::Sleep(20);
  }
  return true;
}

std::vector<HWND> ChildrenOf(HWND top, const std::wstring& cls, const std::wstring& text,
                             const std::wstring& parentCls) {
  TChildSearch f{cls, text, parentCls, {}};
  ::EnumChildWindows(top, EnumChild, reinterpret_cast<LPARAM>(&f));
  return f.found;
}
HWND ChildOf(HWND top, const std::wstring& cls, const std::wstring& text, const std::wstring& parentCls) {
  auto all = ChildrenOf(top, cls, text, parentCls);
  return all.empty() ? nullptr : all.front();
}

std::wstring BoxText(HWND box) {
  std::wstring text = TextOfWindow(box) + L": ";
  ::EnumChildWindows(box, AppendText, reinterpret_cast<LPARAM>(&text));
  return text;
}

std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  const LRESULT n = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    const LRESULT len = ::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    std::wstring s(len > 0 ? len : 0, L'\0');
    if (len > 0) ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(s.data()));
    items.push_back(s);
  }
  return items;
}
int ComboIndex(HWND combo) { return int(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }
std::wstring EditText(HWND edit) {
  wchar_t buf[1024];
  const LRESULT n = ::SendMessageW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf));
  return std::wstring(buf, n > 0 ? std::size_t(n) : 0);
}

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) {
    if (c < 128) {
      out += char(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
      out += buf;
    }
  }
  return out;
}

TKivoAppRun::TKivoAppRun(const TProgramFolder& folder) {
  std::wstring cmd = L"\"" + folder.Exe() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (::CreateProcessW(folder.Exe().c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(),
                       &si, &pi)) {
    process_.Reset(pi.hProcess);
    ::CloseHandle(pi.hThread);
    pid_ = pi.dwProcessId;
  }
}

TKivoAppRun::~TKivoAppRun() {
  if (Running()) Kill();
}

bool TKivoAppRun::Running() const {
  return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> TKivoAppRun::WaitExit(DWORD timeoutMs) {
  if (!process_ || ::WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.Get(), &code);
  return code;
}

HWND TKivoAppRun::MainWindow() const { return FindWindowOf(pid_, L"TKVMainForm", std::wstring(L"YelkKivo")); }

HWND TKivoAppRun::WaitMainWindow(DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = MainWindow()) != nullptr || !Running(); }, timeoutMs);
  if (found) main_ = found;
  return found;
}

HWND TKivoAppRun::ChildAt(int clientX, int clientY) const {
  HWND w = Main();
  POINT p{clientX, clientY};
  for (;;) {
    HWND c = ::ChildWindowFromPointEx(w, p, CWP_SKIPINVISIBLE);
    if (!c || c == w) return w;
    ::MapWindowPoints(w, c, &p, 1);
    w = c;
  }
}

void TKivoAppRun::ClickAt(HWND wnd, int x, int y) {
  const LPARAM pos = MAKELPARAM(x, y);
  ::SendMessageW(wnd, WM_MOUSEMOVE, 0, pos);
  ::SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, pos);
  ::SendMessageW(wnd, WM_LBUTTONUP, 0, pos);
}

void TKivoAppRun::ClickMainAt(int clientX, int clientY) const {
  HWND target = ChildAt(clientX, clientY);
  POINT p{clientX, clientY};
  ::MapWindowPoints(Main(), target, &p, 1);
  ClickAt(target, p.x, p.y);
}

void TKivoAppRun::ChooseItem(HWND combo, int index) {
  ::SendMessageW(combo, CB_SETCURSEL, index, 0);
  ::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

HWND TKivoAppRun::OpenSettingsDialog() const {
  // the settings button at x 258 of the tool bar (main client y 240)
  HWND toolBar = ChildAt(270, 255);
  if (ClassOfWindow(toolBar) != L"TPanel") return nullptr;
  ::PostMessageW(toolBar, WM_MOUSEMOVE, 0, MAKELPARAM(270, 15));
  ::PostMessageW(toolBar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(270, 15));
  ::PostMessageW(toolBar, WM_LBUTTONUP, 0, MAKELPARAM(270, 15));
  return WaitShown(L"TKVSysConfigForm", 10000);
}

HWND TKivoAppRun::OpenColourEffect() const {
  // the effect button at x 289 of the tool bar
  ClickMainAt(300, 255);
  HWND form = nullptr;
  WaitUntil([&] { return (form = ChildOf(Main(), L"TColorProcForm")) != nullptr; },
            10000);
  return form;
}

HWND TKivoAppRun::TrayWindow() const { return FindWindowOf(pid_, L"TPUtilWindow", std::wstring(L"TwTrayIcon")); }

void TKivoAppRun::Tray(UINT mouseMessage) const {
  ::PostMessageW(TrayWindow(), kTrayCallback, 0, static_cast<LPARAM>(mouseMessage));
}

HWND TKivoAppRun::WaitMessageBox(const std::wstring& cls, DWORD timeoutMs) const {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        for (HWND w : WindowsOf(pid_, cls))
          if (::IsWindowVisible(w)) return (box = w) != nullptr;
        return false;
      },
      timeoutMs);
  return box;
}

std::vector<std::wstring> TKivoAppRun::MessageBoxTexts() const {
  std::vector<std::wstring> texts;
  for (const wchar_t* cls : {L"#32770", L"TMessageForm"})
    for (HWND box : WindowsOf(pid_, cls)) texts.push_back(BoxText(box));
  return texts;
}

HWND TKivoAppRun::WaitShown(const std::wstring& cls, DWORD timeoutMs) const {
  HWND shown = nullptr;
  WaitUntil(
      [&] {
        for (HWND w : WindowsOf(pid_, cls))
          if (::IsWindowVisible(w)) shown = w;
        return shown != nullptr;
      },
      timeoutMs);
  return shown;
}

bool TKivoAppRun::ChooseMenuItem(int index, int count) const {
  HWND menu = WaitPopupMenu();
  if (!menu) return false;
  // from no selection, Up selects the last item; then Up again moves to the wanted one
  for (int i = count - 1; i >= index; --i) {
    ::PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
    ::PostMessageW(menu, WM_KEYUP, VK_UP, 0xC0000001);
  }
  ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  ::PostMessageW(menu, WM_KEYUP, VK_RETURN, 0xC0000001);
  return true;
}

std::optional<DWORD> TKivoAppRun::Exit(DWORD timeoutMs) {
  if (!Running()) return WaitExit(0);
  // the icon exists once the main window has been created
  if (!WaitUntil([&] { return TrayWindow() != nullptr || !Running(); }, timeoutMs)) return std::nullopt;
  for (int attempt = 0; attempt < 3 && Running(); ++attempt) {
    Tray(WM_RBUTTONDOWN);
    if (ChooseMenuItem(2, 3)) return WaitExit(timeoutMs);
  }
  return WaitExit(0);
}

void TKivoAppRun::Kill() {
  if (!process_) return;
  ::TerminateProcess(process_.Get(), 9);
  ::WaitForSingleObject(process_.Get(), 10000);
}

void TKivoAppTest::Launch() {
  app_ = std::make_unique<TKivoAppRun>(folder_);
  main_ = app_->WaitMainWindow();
  ASSERT_NE(main_, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main_) != FALSE; }, 15000));
}

void TKivoAppTest::TearDown() {
  if (!app_) return;
  for (const std::wstring& box : app_->MessageBoxTexts()) ADD_FAILURE() << "KivoApp showed a message box: " << Narrow(box);
  EXPECT_TRUE(app_->Exit().has_value());
}

TFrameViewer::TFrameViewer() : child_(HelperPath(L"kivo_frame_client")) {
  static int counter = 0;
  wchar_t buf[MAX_PATH];
  ::GetTempPathW(MAX_PATH, buf);
  file_ = std::wstring(buf) + L"kivo-frame-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter) + L".bmp";
}

long TFrameViewer::Count() {
  const std::string r = child_.Call("count");
  try {
    return std::stol(r);
  } catch (...) {
    return -1;
  }
}

std::vector<BYTE> TFrameViewer::Frame() {
  std::string path(file_.begin(), file_.end());
  if (child_.Call("save " + path).rfind("ok", 0) != 0) return {};
  std::vector<BYTE> all = ReadAll(file_);
  ::DeleteFileW(file_.c_str());
  const std::size_t header = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  if (all.size() < header) return {};
  return std::vector<BYTE>(all.begin() + header, all.end());
}

TPatternReading TFrameViewer::Reading() {
  const std::vector<BYTE> frame = Frame();
  if (frame.size() != std::size_t(320) * 240 * 3) return {};
  return ReadPattern(frame.data(), 320, 240);
}

bool TFrameViewer::WaitForFrame(const std::vector<BYTE>& expected, DWORD timeoutMs) {
  return WaitUntil([&] { return Frame() == expected; }, timeoutMs);
}

std::vector<BYTE> IdleFrameFromBmp(const std::wstring& bmpFile) {
  std::vector<BYTE> all = ReadAll(bmpFile);
  const int w = 320, h = 240;
  std::vector<BYTE> frame(FrameBytes(w, h), 0xFF);
  if (all.size() < 54) return frame;
  BITMAPFILEHEADER fh;
  BITMAPINFOHEADER ih;
  std::memcpy(&fh, all.data(), sizeof(fh));
  std::memcpy(&ih, all.data() + sizeof(fh), sizeof(ih));
  if (ih.biBitCount != 24 || ih.biCompression != BI_RGB) return {};
  const int pw = ih.biWidth, ph = ih.biHeight < 0 ? -ih.biHeight : ih.biHeight;
  const std::size_t stride = FrameStride(pw);
  for (int y = 0; y < ph && y < h; ++y) {
    // row y from the top of the picture lands on row y from the top of the frame
    const int srcRow = ih.biHeight > 0 ? ph - 1 - y : y;
    const int dstRow = h - 1 - y;
    const BYTE* src = all.data() + fh.bfOffBits + stride * srcRow;
    if (src + std::min(pw, w) * 3 > all.data() + all.size()) break;
    std::memcpy(frame.data() + FrameStride(w) * dstRow, src, std::min(pw, w) * 3);
  }
  return frame;
}

std::wstring IniValue(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t buf[1024];
  DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"\x01", buf, 1024, file.c_str());
  std::wstring v(buf, n);
  return v == L"\x01" ? std::wstring() : v;
}

}  // namespace kivo::test
