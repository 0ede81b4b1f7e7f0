#include "KVFSnagWindow.h"

#include <algorithm>
#include <vector>

#include "Dialogs.h"
#include "KVBitmapFrames.h"
#include "KVFSnagSource.h"
#include "KVProcs.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSnagWindow)

TPicture* SnagPreviewPicture = nullptr;
const wchar_t kNoSnagWindowText[] = L"请在设置里选择要捕捉的窗口以后再开始捕捉。";

namespace {
constexpr intptr_t kSkinDisableTag = 99;

// The icon information's bitmaps, deleted with it.
struct TIconInfoOwner {
  ICONINFO Info{};
  bool Valid = false;
  explicit TIconInfoOwner(HICON icon) { Valid = ::GetIconInfo(icon, &Info) != FALSE; }
  ~TIconInfoOwner() {
    if (!Valid) return;
    if (Info.hbmMask) ::DeleteObject(Info.hbmMask);
    if (Info.hbmColor) ::DeleteObject(Info.hbmColor);
  }
  TIconInfoOwner(const TIconInfoOwner&) = delete;
  TIconInfoOwner& operator=(const TIconInfoOwner&) = delete;
};

// The saved clipping of a DC, restored at the end of the scope.
struct TSavedDC {
  HDC DC;
  int Saved;
  explicit TSavedDC(HDC dc) : DC(dc), Saved(::SaveDC(dc)) {}
  ~TSavedDC() {
    if (Saved) ::RestoreDC(DC, Saved);
  }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;
};
}  // namespace

void DrawCursorInto(HDC dc, const RECT& r, int x0, int y0, int w, int h) {
  CURSORINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetCursorInfo(&info) || !(info.flags & CURSOR_SHOWING)) return;
  // Wine can report a showing cursor without a handle: nothing to draw then
  if (!info.hCursor) return;
  const int rw = r.right - r.left, rh = r.bottom - r.top;
  if (rw <= 0 || rh <= 0) return;
  TIconInfoOwner icon(info.hCursor);
  if (!icon.Valid) return;
  const int x = x0 + static_cast<int>(static_cast<long long>(info.ptScreenPos.x - static_cast<LONG>(icon.Info.xHotspot) - r.left) * w / rw);
  const int y = y0 + static_cast<int>(static_cast<long long>(info.ptScreenPos.y - static_cast<LONG>(icon.Info.yHotspot) - r.top) * h / rh);
  ::DrawIconEx(dc, x, y, info.hCursor, 0, 0, 0, nullptr, DI_NORMAL);
}

std::int32_t CaptureScreenRect(const RECT& r, void* buffer, std::size_t bufferBytes, bool copy) {
  const int rw = r.right - r.left, rh = r.bottom - r.top;
  if (rw <= 0 || rh <= 0) return 0;
  // the output format may be rewritten by a connection: work on one copy of it
  TOutputFormat format;
  {
    TLock lock(FrameSectionLock);
    format = OutputFormat;
  }
  const int W = format.bmiHeader.biWidth, H = std::abs(format.bmiHeader.biHeight);
  if (W <= 0 || H <= 0) return 0;
  // 1
  TWindowDC screen(nullptr);
  if (!screen) return 0;
  TMemDCOwner mem(::CreateCompatibleDC(screen.Get()));
  TBitmapOwner bitmap(::CreateCompatibleBitmap(screen.Get(), W, H));
  if (!mem || !bitmap) return 0;
  std::int32_t answer = 0;
  {
    TSelectObject selected(mem.Get(), bitmap.Get());
    // 2
    std::int32_t w = rw, h = rh;
    FitSize(W, H, w, h);
    const int x0 = (W - w) / 2, y0 = (H - h) / 2;
    // 3
    ::SetStretchBltMode(mem.Get(), COLORONCOLOR);
    ::StretchBlt(mem.Get(), x0, y0, w, h, screen.Get(), r.left, r.top, rw, rh, SRCCOPY);
    // 4
    DrawCursorInto(mem.Get(), r, x0, y0, w, h);
    // 5
    if (x0 > 0 || y0 > 0) {
      TSavedDC saved(mem.Get());
      ::ExcludeClipRect(mem.Get(), x0, y0, x0 + w, y0 + h);
      const RECT all{0, 0, W, H};
      ::FillRect(mem.Get(), &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    }
    // 7: the preview shows exactly the frame
    if (SnagPreviewPicture) {
      TBitmap* preview = SnagPreviewPicture->Bitmap();
      preview->SetSize(W, H);
      ::BitBlt(preview->Canvas()->Handle(), 0, 0, W, H, mem.Get(), 0, 0, SRCCOPY);
    }
  }
  // 6
  if (copy && buffer) {
    const std::uint64_t bytes = PaddedFrameBytes(W, H);
    if (format.bmiHeader.biBitCount == 24 && bytes <= bufferBytes) answer = GetFrameBits(mem.Get(), format, bitmap.Get(), buffer);
  }
  return answer;
}

void CaptureAndWrite(const RECT& r, bool copy) {
  TLock lock(FrameSectionLock);
  const std::int32_t n = CaptureScreenRect(r, FrameBuffer, sizeof(FrameBuffer), copy);
  if (n > 0) WriteFrame(FrameBuffer, n, false);
}

std::wstring TakePhoto() {
  RECT r{};
  if (!PreviewWindowHandle || !::GetClientRect(PreviewWindowHandle, &r))
    throw Exception(L"不能拍照：没有预览窗口。");
  ::MapWindowPoints(PreviewWindowHandle, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const std::int32_t W = OutputWidth.load(), H = OutputHeight.load();
  std::vector<BYTE> buffer(kMaxFrameBytes);
  const std::int32_t n = CaptureScreenRect(r, buffer.data(), buffer.size(), true);
  if (n <= 0) throw Exception(L"不能拍照：预览画面读取失败。");
  const std::wstring folder = ProgramDir + L"Photo\\";
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    throw Exception(L"不能拍照：不能建立文件夹 " + folder);
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Exception(L"不能拍照：不能建立文件夹 " + folder);
  const std::wstring file = folder + MakeTimeStem() + L".bmp";
  SaveFrameBitsToFile(buffer.data(), W, H, file);
  if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) throw Exception(L"不能拍照：不能保存 " + file);
  return file;
}

TSnagWindow::TSnagWindow(TComponent* owner) : TSourceWindowAbs(owner) {
  SetName(L"SnagWindowA");
  SetTag(kSkinDisableTag);
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);
  Font()->SetCharset(GB2312_CHARSET);
  imgSnag = new TImage(this);
  imgSnag->SetName(L"imgSnag");
  imgSnag->SetBounds(0, 0, 320, 240);
  imgSnag->SetStretch(true);
  imgSnag->SetParent(this);
  imgSnag->SetAlign(TAlign::alClient);
  btnPause->SetVisible(false);
  btnFullScreen->SetVisible(false);
  pnlPlayControl->BringToFront();
}

void TSnagWindow::AfterConstruction() {
  TSourceWindowAbs::AfterConstruction();
  // the stop button takes the play button's place; pause and full screen are not used
  btnStop->SetBoundsRect(btnPlay->BoundsRect());
  btnPause->SetVisible(false);
  btnFullScreen->SetVisible(false);
  UpdateButtons();
}

void TSnagWindow::BeforeDestruction() {
  if (TimerId && HandleAllocated()) ::KillTimer(HandleIfAllocated(), kSnagTimer);
  TimerId = 0;
  if (SnagPreviewPicture == imgSnag->Picture()) SnagPreviewPicture = nullptr;
  TSourceWindowAbs::BeforeDestruction();
}

TSnagSource* TSnagWindow::Page() const { return dynamic_cast<TSnagSource*>(Source); }

void TSnagWindow::UpdateButtons() {
  const std::int32_t s = State();
  btnPlay->SetVisible(s < kStatePaused);
  btnStop->SetVisible(s >= kStatePaused);
  btnPause->SetVisible(false);
}

bool TSnagWindow::StartTimer() {
  if (TimerId != 0) return true;
  TimerId = ::SetTimer(Handle(), kSnagTimer, kSnagIntervalMs, nullptr);
  if (TimerId != 0) SnagState = kStatePlaying;
  UpdateButtons();
  return TimerId != 0;
}

bool TSnagWindow::StopTimer() {
  const bool ok = HandleAllocated() && ::KillTimer(HandleIfAllocated(), kSnagTimer) != FALSE;
  TimerId = 0;
  if (ok) SnagState = kStateStopped;
  UpdateButtons();
  return ok;
}

void TSnagWindow::ShowNoWindowBox() { MessageDlg(kNoSnagWindowText, TMsgDlgType::mtInformation, MsgDlgButton(mbOK)); }

bool TSnagWindow::Play(std::int32_t index, bool automatic) {
  // 1: a start by the user makes the screen the capture source
  TSourceWindowAbs::Play(index, automatic);
  // 2
  const bool first = index == kPlayCurrent;
  TSnagSource* page = Page();
  if (first) {
    if (page) {
      page->SaveSettings();
      page->ApplySource(false);
    }
    TBitmap empty;
    empty.SetSize(imgSnag->Width(), imgSnag->Height());
    imgSnag->Picture()->SetGraphic(&empty);
  }
  // 3
  if (SnagMode == kSnagWindow) {
    if (!TargetWindow || !::IsWindow(TargetWindow)) {
      // a window that went away while capturing stops the capture: one box, not one a tick
      if (!first) Stop();
      ShowNoWindowBox();
      return false;
    }
    Region = RECT{0, 0, 10, 10};
  } else if (::IsRectEmpty(&Region)) {
    Region = RECT{0, 0, OutputWidth.load(), OutputHeight.load()};
  }
  // 4
  if (::IsRectEmpty(&Region)) return false;
  const bool result = SnagOnce();
  if (first) {
    SnagPreviewPicture = imgSnag->Picture();
    if (page) page->ShowStopButton();
    StartTimer();
  }
  return result;
}

bool TSnagWindow::Stop() {
  // a stop that comes while a tick is capturing (the capture can wait for other windows) must not
  // be undone by the tick's restart of the timer
  StopRequested = true;
  bool result = true;
  if (TimerId != 0) result = StopTimer();
  if (TSnagSource* page = Page()) page->ShowStartButton();
  TSourceWindowAbs::Stop();
  UpdateButtons();
  return result;
}

RECT TSnagWindow::TraceRegion(const RECT& region, POINT p) {
  RECT r = region;
  int dx = 0, dy = 0;
  if (p.x < r.left) dx = p.x - r.left;
  else if (p.x >= r.right) dx = p.x - r.right;
  if (p.y < r.top) dy = p.y - r.top;
  else if (p.y >= r.bottom) dy = p.y - r.bottom;
  ::OffsetRect(&r, dx, dy);
  return r;
}

bool TSnagWindow::SnagOnce() {
  // 1
  if (SnagMode == kSnagWindow) {
    RECT r{};
    if (!TargetWindow || !::IsWindow(TargetWindow) || !::GetWindowRect(TargetWindow, &r)) return false;
    Region = r;
  } else if (TraceMouse) {
    POINT p{};
    if (::GetCursorPos(&p)) Region = TraceRegion(Region, p);
  }
  // 2
  if (TSnagSource* page = Page()) page->SnagRect->SetBounds(Region);
  // 3
  CaptureAndWrite(Region, IsCaptureTarget());
  // 4
  imgSnag->Invalidate();
  return true;
}

void TSnagWindow::WndProc(TMessage& m) {
  if (m.Msg == WM_TIMER && m.WParam == kSnagTimer) {
    // a tick posted before the timer was killed comes after the stop: it starts nothing
    if (TimerId == 0) return;
    StopTimer();
    StopRequested = false;
    // the timer goes on only while the capture does (a vanished window stops it); a tick never
    // takes the capture source back from another source
    const bool captured = Play(0, true);
    if (StopRequested) {
      // the stop came in the middle of the tick: what the rest of it showed goes again
      if (TSnagSource* page = Page()) page->ShowStartButton();
      return;
    }
    if (captured) StartTimer();
    else Stop();
    return;
  }
  TSourceWindowAbs::WndProc(m);
}

}  // namespace kivo
