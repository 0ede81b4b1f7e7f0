#include "PictureShow.h"

#include <process.h>

#include <algorithm>
#include <utility>

#include "Forms.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAbout)
KIVO_IMPLEMENT_CLASS(TCustomPictureShow)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPictureShow)

namespace {
int RectWidth(const RECT& r) { return r.right - r.left; }
int RectHeight(const RECT& r) { return r.bottom - r.top; }

// Holds a canvas's lock for a scope.
class TCanvasLock {
 public:
  explicit TCanvasLock(TCanvas* c) : c_(c) { c_->Lock(); }
  ~TCanvasLock() { c_->Unlock(); }
  TCanvasLock(const TCanvasLock&) = delete;
  TCanvasLock& operator=(const TCanvasLock&) = delete;

 private:
  TCanvas* c_;
};

// Detaches a picture's change notification for a scope.
class TQuietPicture {
 public:
  explicit TQuietPicture(TPicture* p) : p_(p), kept_(std::move(p->OnChange)) { p_->OnChange = nullptr; }
  ~TQuietPicture() { p_->OnChange = std::move(kept_); }
  TQuietPicture(const TQuietPicture&) = delete;
  TQuietPicture& operator=(const TQuietPicture&) = delete;

 private:
  TPicture* p_;
  TNotifyEvent kept_;
};

// The control whose transition the current thread steps (set on timer threads only).
thread_local const TCustomPictureShow* tStepping = nullptr;

bool HasGraphic(const TPicture* p) { return p->Graphic() && !p->Graphic()->Empty(); }

void FillWithColor(HDC dc, const RECT& r, TColor color) {
  TBrushOwner brush(::CreateSolidBrush(ColorToRGB(color)));
  if (!brush) throw EOutOfResources(L"Out of system resources");
  ::FillRect(dc, &r, brush.Get());
}
}  // namespace

// ---- The timer thread -------------------------------------------------------------------------
// A thread of the control's own, made with its first threaded transition and ended with the
// control (a thread's start and end cost Wine far more than a transition may wait). Started, it
// steps the transition every period until the transition ends or Stop is called. A step runs
// holding stepLock_ and only while the stepping it belongs to is still on: Stop turns it off and
// then takes stepLock_ once, so once Stop returns no step runs or is about to run.
class TCustomPictureShow::TStepThread {
 public:
  explicit TStepThread(TCustomPictureShow* owner) : owner_(owner), wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_) throw EOutOfResources(L"Cannot create the transition timer");
    thread_.Reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &Proc, this, 0, nullptr)));
    if (!thread_) throw EOutOfResources(L"Cannot start the transition timer");
  }
  ~TStepThread() {
    {
      TLock lock(stateLock_);
      quit_ = true;
    }
    ::SetEvent(wake_.Get());
    ::WaitForSingleObject(thread_.Get(), INFINITE);
  }
  TStepThread(const TStepThread&) = delete;
  TStepThread& operator=(const TStepThread&) = delete;

  // Steps every period; the end of the transition is posted to wnd with the serial number.
  void Start(DWORD period, HWND wnd, std::uint32_t serial) {
    {
      TLock lock(stateLock_);
      running_ = true;
      ++generation_;
      period_ = period;
      wnd_ = wnd;
      serial_ = serial;
    }
    ::SetEvent(wake_.Get());
  }
  void Stop() {
    {
      TLock lock(stateLock_);
      running_ = false;
    }
    ::SetEvent(wake_.Get());
    TLock barrier(stepLock_);  // a step under way has ended
  }

 private:
  static unsigned __stdcall Proc(void* self) {
    static_cast<TStepThread*>(self)->Run();
    return 0;
  }
  void Run() {
    tStepping = owner_;
    unsigned generation = 0;
    bool active = false;
    DWORD period = 0, next = 0;
    HWND wnd = nullptr;
    std::uint32_t serial = 0;
    for (;;) {
      DWORD timeout = INFINITE;
      if (active) {
        const int left = static_cast<int>(next - ::timeGetTime());
        timeout = left > 0 ? static_cast<DWORD>(left) : 0;
      }
      const DWORD woke = ::WaitForSingleObject(wake_.Get(), timeout);
      {
        TLock lock(stateLock_);
        if (quit_) return;
        if (!running_) {
          active = false;
          continue;
        }
        if (generation_ != generation || !active) {
          generation = generation_;
          period = period_;
          wnd = wnd_;
          serial = serial_;
          active = true;
          next = ::timeGetTime() + period;
          continue;
        }
      }
      if (woke != WAIT_TIMEOUT) continue;
      next += period;
      // a step that took longer than the period is followed at once, not by a burst
      if (static_cast<int>(next - ::timeGetTime()) < 0) next = ::timeGetTime();
      TLock step(stepLock_);
      {
        TLock lock(stateLock_);
        if (!running_ || generation_ != generation) continue;
      }
      bool more = false;
      try {
        more = owner_->StepProgress();
      } catch (...) {
        owner_->timerError_ = std::current_exception();
      }
      if (!more) {
        {
          TLock lock(stateLock_);
          if (generation_ == generation) running_ = false;
        }
        active = false;
        ::PostMessageW(wnd, WM_PICTURESHOW_FINISH, serial, 0);
      }
    }
  }

  TCustomPictureShow* owner_;
  TCriticalSection stateLock_;  // guards the fields up to serial_
  bool quit_ = false;
  bool running_ = false;
  unsigned generation_ = 0;
  DWORD period_ = 0;
  HWND wnd_ = nullptr;
  std::uint32_t serial_ = 0;
  TCriticalSection stepLock_;
  THandleOwner wake_;
  THandleOwner thread_;
};

// ---- Construction -----------------------------------------------------------------------------
TCustomPictureShow::TCustomPictureShow(TComponent* owner)
    : TCustomControl(owner),
      about_(std::make_unique<TAbout>()),
      picture_(std::make_unique<TPicture>()),
      bgPicture_(std::make_unique<TPicture>()),
      screen_(std::make_unique<TBitmap>()) {
  controlStyle_ |= csOpaque;
  screen_->SetPixelFormat(TPixelFormat::pf32bit);
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
  bgPicture_->OnChange = [this](TObject*) { BgPictureChanged(); };
  LARGE_INTEGER c;
  ::QueryPerformanceCounter(&c);
  random_.Seed = static_cast<std::uint32_t>(c.QuadPart) ^ static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this));
  SetBounds(Left(), Top(), 100, 100);
}

void TCustomPictureShow::BeforeDestruction() {
  Destroying();
  TCustomControl::BeforeDestruction();  // the window goes: WM_DESTROY stops the transition
  Stop();
}

TCustomPictureShow::~TCustomPictureShow() {
  Destroying();
  if (HandleAllocated()) DestroyHandle();
  try {
    Stop();
  } catch (...) {
    // a destructor reports nothing; the timer thread ends below in any case
  }
  timer_.reset();
  if (timerOn_ && timerResolution_) ::timeEndPeriod(timerResolution_);
  picture_->OnChange = nullptr;
  bgPicture_->OnChange = nullptr;
}

// ---- Properties -------------------------------------------------------------------------------
void TCustomPictureShow::SetBgMode(TBackgroundMode m) {
  if (m == bgMode_) return;
  bgMode_ = m;
  if (HasGraphic(bgPicture_.get())) {
    RefreshBackground();
    Invalidate();
  }
}

void TCustomPictureShow::SetFrameColor(TColor c) {
  if (c == frameColor_) return;
  frameColor_ = c;
  if (frameWidth_ != 0 && !screen_->Empty()) Invalidate();
}

void TCustomPictureShow::SetFrameWidth(int w) {
  w = std::max(w, 0);
  if (w == frameWidth_) return;
  frameWidth_ = w;
  AdjustSize();
  LayOutShownPicture();
}

void TCustomPictureShow::SetCenter(bool v) { SetLayoutFlag(center_, v); }
void TCustomPictureShow::SetStretch(bool v) { SetLayoutFlag(stretch_, v); }
void TCustomPictureShow::SetProportional(bool v) { SetLayoutFlag(proportional_, v); }

void TCustomPictureShow::SetLayoutFlag(bool& flag, bool v) {
  if (v == flag) return;
  flag = v;
  LayOutShownPicture();
}

void TCustomPictureShow::LayOutShownPicture() {
  if (screen_->Empty()) return;
  CalculateDisplayRect();
  Invalidate();
}

void TCustomPictureShow::SetManual(bool v) {
  if (v == manual_) return;
  manual_ = v;
  StopTimer();
  if (!busy_) {
    progress_ = reverse_ ? 100 : 0;
  } else if (!manual_) {
    try {
      Animate();
    } catch (...) {
      Stop();  // a transition that cannot run does not stay busy
      throw;
    }
  }
}

void TCustomPictureShow::SetStyle(int s) {
  if (s < 0 || s > kStyleCount || s == style_) return;
  style_ = s;
  if (busy_ && manual_ && !stopping_) {
    RenderFrame();
    if (HandleAllocated()) ::InvalidateRect(Handle(), &displayRect_, FALSE);
  }
}

std::wstring TCustomPictureShow::StyleName() const {
  const int s = style_;
  return s == 0 ? std::wstring(L"Custom") : std::wstring(TransitionTable[s - 1].Name);
}

void TCustomPictureShow::SetStyleName(const std::wstring& name) {
  auto same = [&name](const wchar_t* other) {
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(), static_cast<int>(name.size()), other,
                            -1) == CSTR_EQUAL;
  };
  if (same(L"Custom")) {
    SetStyle(0);
    return;
  }
  for (int s = 1; s <= kStyleCount; ++s)
    if (same(TransitionTable[s - 1].Name)) {
      SetStyle(s);
      return;
    }
}

void TCustomPictureShow::SetStep(int s) {
  if (s <= 0) s = 1;
  else if (s > 100) s = 99;
  step_ = s;
}

void TCustomPictureShow::SetDelay(int d) { delay_ = std::clamp(d, 0, 0xFFFF); }

void TCustomPictureShow::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  AdjustSize();
}

bool TCustomPictureShow::CanAutoSize(int& newWidth, int& newHeight) {
  TGraphic* g = picture_->Graphic();
  if (g && !g->Empty() && Align() != TAlign::alClient) {
    if (Align() != TAlign::alTop && Align() != TAlign::alBottom)
      newWidth = g->Width() + 2 * frameWidth_ + (Width() - ClientWidth());
    if (Align() != TAlign::alLeft && Align() != TAlign::alRight)
      newHeight = g->Height() + 2 * frameWidth_ + (Height() - ClientHeight());
  }
  return true;
}

void TCustomPictureShow::AdjustSize() {
  if (!autoSize_) return;
  int w = Width(), h = Height();
  if (CanAutoSize(w, h) && (w != Width() || h != Height())) SetBounds(Left(), Top(), w, h);
}

int TCustomPictureShow::GetStyleNames(TStrings* strings) const {
  strings->BeginUpdate();
  try {
    for (const TEffect& e : TransitionTable) strings->Add(e.Name);
  } catch (...) {
    strings->EndUpdate();
    throw;
  }
  strings->EndUpdate();
  return kStyleCount;
}

// ---- Events -----------------------------------------------------------------------------------
void TCustomPictureShow::DoChange() {
  if (OnChange) OnChange(this);
}
void TCustomPictureShow::DoProgress() {
  if (OnProgress) OnProgress(this);
}
void TCustomPictureShow::DoCustomDraw(TBitmap* picture, TBitmap* screen) {
  if (OnCustomDraw) OnCustomDraw(this, picture, screen);
}
void TCustomPictureShow::DoBeforeNewFrame(TBitmap* picture, TBitmap* screen) {
  if (OnBeforeNewFrame) OnBeforeNewFrame(this, picture, screen);
}
void TCustomPictureShow::DoAfterNewFrame(TBitmap* picture, TBitmap* screen) {
  if (OnAfterNewFrame) OnAfterNewFrame(this, picture, screen);
}
void TCustomPictureShow::DoComplete() {
  if (OnComplete) OnComplete(this);
}
void TCustomPictureShow::DoStart(TBitmap* picture, TBitmap* screen) {
  if (OnStart) OnStart(this, picture, screen);
}
void TCustomPictureShow::DoStop() {
  if (OnStop) OnStop(this);
}

void TCustomPictureShow::PictureChanged() {
  if (IsDestroying()) return;
  if (HasGraphic(picture_.get())) AdjustSize();
  DoChange();
}

void TCustomPictureShow::BgPictureChanged() {
  if (bgMode_ == TBackgroundMode::bmNone) return;
  RefreshBackground();
  Invalidate();
}

void TCustomPictureShow::RefreshBackground() {
  if (oldIsBackground_ && oldBitmap_) UpdateOldBackground();
}

// ---- Painting ---------------------------------------------------------------------------------
void TCustomPictureShow::TileDraw(TCanvas* canvas, const RECT& r, TGraphic* graphic) {
  const int w = graphic->Width(), h = graphic->Height();
  if (w <= 0 || h <= 0) return;
  HDC dc = canvas->Handle();
  TSavedDCState saved(dc);
  ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  RECT clip;
  ::GetClipBox(dc, &clip);
  // tiles stay aligned to the rectangle's corner
  const int x0 = clip.left - (clip.left - r.left) % w;
  for (int y = clip.top - (clip.top - r.top) % h; y < clip.bottom; y += h)
    for (int x = x0; x < clip.right; x += w) {
      RECT tile{x, y, x + w, y + h};
      if (::RectVisible(dc, &tile)) graphic->Draw(*canvas, tile);
    }
}

void TCustomPictureShow::PaintBackground(TCanvas* canvas, const RECT& r) {
  HDC dc = canvas->Handle();
  if (!::RectVisible(dc, &r)) return;
  TQuietPicture quiet(bgPicture_.get());
  TGraphic* g = bgPicture_->Graphic();
  const TBackgroundMode mode = g && !g->Empty() ? bgMode_ : TBackgroundMode::bmNone;
  switch (mode) {
    case TBackgroundMode::bmTiled:
      TileDraw(canvas, r, g);
      break;
    case TBackgroundMode::bmStretched:
      canvas->StretchDraw(r, g);
      break;
    case TBackgroundMode::bmCentered: {
      const int x = (RectWidth(r) - g->Width()) / 2, y = (RectHeight(r) - g->Height()) / 2;
      canvas->Draw(x, y, g);
      ::ExcludeClipRect(dc, x, y, x + g->Width(), y + g->Height());
      FillWithColor(dc, r, Color());
      break;
    }
    case TBackgroundMode::bmNone:
      FillWithColor(dc, r, Color());
      break;
  }
}

void TCustomPictureShow::DrawFrame(TCanvas* canvas) {
  HDC dc = canvas->Handle();
  const RECT client = ClientRect();
  if (screen_->Empty()) {
    PaintBackground(canvas, client);
    return;
  }
  if (::RectVisible(dc, &displayRect_)) {
    TCanvasLock lock(screen_->Canvas());
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, displayRect_.left, displayRect_.top, RectWidth(displayRect_), RectHeight(displayRect_),
                 screen_->Canvas()->Handle(), 0, 0, RectWidth(pictureRect_), RectHeight(pictureRect_), SRCCOPY);
  }
  RECT outer = displayRect_;
  if (frameWidth_ != 0) {
    ::InflateRect(&outer, frameWidth_, frameWidth_);
    if (::RectVisible(dc, &outer)) {
      canvas->Pen()->SetColor(frameColor_);
      canvas->Pen()->SetWidth(frameWidth_);
      canvas->Pen()->SetStyle(TPenStyle::psInsideFrame);
      canvas->Brush()->SetStyle(TBrushStyle::bsClear);
      const int rop = ::SetROP2(dc, R2_COPYPEN);
      canvas->Rectangle(outer.left, outer.top, outer.right, outer.bottom);
      ::SetROP2(dc, rop);
    }
  }
  ::ExcludeClipRect(dc, outer.left, outer.top, outer.right, outer.bottom);
  PaintBackground(canvas, client);
}

void TCustomPictureShow::Paint() { DrawFrame(Canvas()); }

void TCustomPictureShow::PaintMessage(TMessage& m) {
  TLock lock(renderLock_);
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  RECT area{};
  PAINTSTRUCT ps{};
  const bool own = dc == nullptr;
  if (own) {
    dc = ::BeginPaint(Handle(), &ps);
    area = ps.rcPaint;
  } else {
    ::GetClipBox(dc, &area);
  }
  struct TEndPaint {
    bool own;
    HWND wnd;
    PAINTSTRUCT* ps;
    ~TEndPaint() {
      if (own) ::EndPaint(wnd, ps);
    }
  } end{own, HandleIfAllocated(), &ps};
  const RECT& d = displayRect_;
  if (!screen_->Empty() && area.left >= d.left && area.top >= d.top && area.right <= d.right && area.bottom <= d.bottom) {
    TCanvasLock screenLock(screen_->Canvas());
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, d.left, d.top, RectWidth(d), RectHeight(d), screen_->Canvas()->Handle(), 0, 0,
                 RectWidth(pictureRect_), RectHeight(pictureRect_), SRCCOPY);
  } else {
    PaintHandler(dc);
  }
  m.Result = 0;
}

void TCustomPictureShow::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_PICTURESHOW_FINISH:
      // a message of an ended transition must not finish the next one
      if (static_cast<std::uint32_t>(m.WParam) == serial_ && busy_ && !stopping_) {
        StopTimer();
        std::exception_ptr error = std::exchange(timerError_, nullptr);
        if (error) {
          stopping_ = true;
          try {
            Finish();
          } catch (...) {
            stopping_ = false;
            throw;
          }
          stopping_ = false;
          std::rethrow_exception(error);
        }
        Finish();
      }
      return;
    case WM_PICTURESHOW_PROGRESS:
      if (static_cast<std::uint32_t>(m.LParam) == serial_ && busy_) DoProgress();
      return;
    case WM_ERASEBKGND:
      m.Result = 1;
      return;
    case WM_PAINT:
      PaintMessage(m);
      return;
    case WM_SIZE:
      TCustomControl::WndProc(m);
      CalculateDisplayRect();
      if (!screen_->Empty()) Invalidate();
      return;
    case WM_DESTROY:
      Stop();
      TCustomControl::WndProc(m);
      return;
  }
  TCustomControl::WndProc(m);
}

// ---- Geometry ---------------------------------------------------------------------------------
void TCustomPictureShow::CalculateDisplayRect() {
  TLock lock(renderLock_);
  // a client area smaller than the frame leaves no room rather than a negative one
  const int cw = std::max(ClientWidth() - 2 * frameWidth_, 0), ch = std::max(ClientHeight() - 2 * frameWidth_, 0);
  int a = RectWidth(pictureRect_), b = RectHeight(pictureRect_);
  if (proportional_ && a > 0 && b > 0 && (stretch_ || cw < a || ch < b)) {
    if (double(ch) / b > double(cw) / a) {
      b = ::MulDiv(b, cw, a);
      a = cw;
    } else {
      a = ::MulDiv(a, ch, b);
      b = ch;
    }
  } else if (stretch_) {
    a = cw;
    b = ch;
  }
  RECT r{0, 0, a, b};
  if (center_) ::OffsetRect(&r, frameWidth_ + (cw - a) / 2, frameWidth_ + (ch - b) / 2);
  else ::OffsetRect(&r, frameWidth_, frameWidth_);
  displayRect_ = r;
  if (oldIsBackground_ && oldBitmap_) UpdateOldBackground();
}

void TCustomPictureShow::UpdateOldBackground() {
  TLock lock(renderLock_);
  {
    TCanvasLock oldLock(oldBitmap_->Canvas());
    HDC oldDC = oldBitmap_->Canvas()->Handle();
    const int dw = RectWidth(displayRect_), dh = RectHeight(displayRect_);
    if (dw > 0 && dh > 0) {
      TBitmap temp(dw, dh, TPixelFormat::pf32bit);
      HDC tdc = temp.Canvas()->Handle();
      POINT org;
      ::SetViewportOrgEx(tdc, -displayRect_.left, -displayRect_.top, &org);
      PaintBackground(temp.Canvas(), ClientRect());
      ::SetViewportOrgEx(tdc, org.x, org.y, nullptr);
      ::SelectClipRgn(tdc, nullptr);
      ::SetStretchBltMode(oldDC, COLORONCOLOR);
      ::StretchBlt(oldDC, 0, 0, RectWidth(pictureRect_), RectHeight(pictureRect_), tdc, 0, 0, dw, dh, SRCCOPY);
    } else {
      // nothing of the picture area is visible: the control's colour stands for the background
      FillWithColor(oldDC, pictureRect_, Color());
    }
  }
  if (busy_ && manual_ && !stopping_ && !preparing_) RenderFrame();
}

// ---- Transitions ------------------------------------------------------------------------------
void TCustomPictureShow::Execute() {
  if (!HasGraphic(picture_.get()) || busy_) return;
  busy_ = true;
  ++serial_;
  try {
    HandleNeeded();
    preparing_ = true;
    Prepare();
    preparing_ = false;
    if (!manual_ && !stopping_) Animate();
  } catch (...) {
    preparing_ = false;
    StopTimer();
    FreeTransitionBitmaps();
    busy_ = false;
    throw;
  }
}

void TCustomPictureShow::Prepare() {
  TGraphic* g = picture_->Graphic();
  const int W = g->Width(), H = g->Height();
  {
    TLock lock(renderLock_);
    oldBitmap_ = std::make_unique<TBitmap>();
    if (overDraw_ && !screen_->Empty() && screen_->Width() == W && screen_->Height() == H) {
      oldIsBackground_ = false;
      oldBitmap_->Assign(screen_.get());
    } else {
      oldIsBackground_ = true;
      oldBitmap_->SetPixelFormat(TPixelFormat::pf32bit);
      oldBitmap_->SetSize(W, H);
    }
    oldBitmap_->SetPixelFormat(TPixelFormat::pf32bit);

    newBitmap_ = std::make_unique<TBitmap>(W, H, TPixelFormat::pf32bit);
    newBitmap_->Canvas()->Brush()->SetColor(Color());
    const RECT all{0, 0, W, H};
    newBitmap_->Canvas()->FillRect(all);
    {
      TQuietPicture quiet(picture_.get());
      newBitmap_->Canvas()->Draw(0, 0, g);
    }
    ::GdiFlush();

    screen_->SetPixelFormat(TPixelFormat::pf32bit);
    screen_->SetSize(W, H);
    pictureRect_ = all;
  }
  CalculateDisplayRect();
  {
    TLock lock(renderLock_);
    screen_->Assign(oldBitmap_.get());
    progress_ = reverse_ ? 100 : 0;
  }
  Invalidate();
  DoStart(newBitmap_.get(), oldBitmap_.get());
}

void TCustomPictureShow::FreeTransitionBitmaps() {
  TLock lock(renderLock_);
  newBitmap_.reset();
  oldBitmap_.reset();
}

void TCustomPictureShow::RenderFrame() {
  TLock lock(renderLock_);
  if (!newBitmap_ || !oldBitmap_) return;
  TBitmap* picture = newBitmap_.get();
  TBitmap* screen = screen_.get();
  TCanvasLock pictureLock(picture->Canvas()), screenLock(screen->Canvas());
  const int W = RectWidth(pictureRect_), H = RectHeight(pictureRect_);
  HDC screenDC = screen->Canvas()->Handle();
  {
    TCanvasLock oldLock(oldBitmap_->Canvas());
    ::BitBlt(screenDC, 0, 0, W, H, oldBitmap_->Canvas()->Handle(), 0, 0, SRCCOPY);
  }
  DoBeforeNewFrame(picture, screen);
  const int progress = progress_;
  if (progress == 100) {
    ::BitBlt(screenDC, 0, 0, W, H, picture->Canvas()->Handle(), 0, 0, SRCCOPY);
  } else if (progress != 0) {
    if (style_ == 0) DoCustomDraw(picture, screen);
    else DrawStyle(style_, screen, picture, progress, random_);
  }
  ::GdiFlush();
  DoAfterNewFrame(picture, screen);
}

void TCustomPictureShow::SetProgress(int value) {
  value = std::clamp(value, 0, 100);
  if (!busy_ || value == progress_) return;
  progress_ = value;
  RenderFrame();
  HWND wnd = HandleIfAllocated();
  if (wnd) {
    TLock lock(renderLock_);
    TCanvasLock screenLock(screen_->Canvas());
    TWindowDC dc(wnd);
    if (dc) {
      ::SetStretchBltMode(dc.Get(), COLORONCOLOR);
      ::StretchBlt(dc.Get(), displayRect_.left, displayRect_.top, RectWidth(displayRect_), RectHeight(displayRect_),
                   screen_->Canvas()->Handle(), 0, 0, RectWidth(pictureRect_), RectHeight(pictureRect_), SRCCOPY);
    }
    ::ValidateRect(wnd, &displayRect_);
  }
  // a step of the timer thread is announced on the GUI thread
  if (tStepping == this && wnd) ::PostMessageW(wnd, WM_PICTURESHOW_PROGRESS, static_cast<WPARAM>(value), static_cast<LPARAM>(serial_.load()));
  else DoProgress();
}

bool TCustomPictureShow::StepProgress() {
  int s = step_;
  const DWORD now = ::GetTickCount();
  const int delay = delay_;
  if (exactTiming_ && delay > 0) s = std::max(::MulDiv(s, static_cast<int>(now - lastTick_), delay), 0);
  lastTick_ = now;
  const int p = progress_;
  int target;
  if (!reverse_) target = p < 100 - s ? p + s : 100;
  else target = s < p ? p - s : 0;
  SetProgress(target);
  return reverse_ ? progress_ != 0 : progress_ != 100;
}

void TCustomPictureShow::Animate() {
  lastTick_ = ::GetTickCount();
  if (threaded_ && StartTimer()) return;
  // steps on this thread, also when no timer can run
  const std::uint32_t serial = serial_;
  auto running = [this, serial] { return busy_ && !stopping_ && !manual_ && serial_ == serial; };
  while (running() && StepProgress()) {
    const DWORD until = ::GetTickCount() + static_cast<DWORD>(delay_.load());
    for (;;) {
      Application()->ProcessMessages();
      if (!running()) break;
      const int left = static_cast<int>(until - ::GetTickCount());
      if (left <= 0) break;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
  }
  if (running()) Finish();
}

bool TCustomPictureShow::QueryTimerCaps(TIMECAPS& caps) {
  return ::timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR;
}

bool TCustomPictureShow::StartTimer() {
  if (timerOn_) return true;
  if (!HandleAllocated() || IsLoading()) return false;
  TIMECAPS caps{};
  if (!QueryTimerCaps(caps)) caps = TIMECAPS{0, 0};
  int delay = delay_;
  if (static_cast<UINT>(delay) > caps.wPeriodMax) delay = static_cast<int>(caps.wPeriodMax);
  UINT resolution = static_cast<UINT>(delay) / 10;
  if (resolution < caps.wPeriodMin) {
    resolution = caps.wPeriodMin;
    if (static_cast<UINT>(delay) < caps.wPeriodMin) delay = static_cast<int>(caps.wPeriodMin);
  }
  delay_ = delay;
  if (delay == 0) return false;
  if (!timer_) timer_ = std::make_unique<TStepThread>(this);
  timerResolution_ = resolution;
  if (resolution) ::timeBeginPeriod(resolution);
  timer_->Start(static_cast<DWORD>(delay), Handle(), serial_.load());
  timerOn_ = true;
  return true;
}

void TCustomPictureShow::StopTimer() {
  if (!timerOn_) return;
  if (tStepping == this) throw EInvalidOperation(L"A transition cannot be stopped from its own timer thread");
  timer_->Stop();
  timerOn_ = false;
  if (timerResolution_) ::timeEndPeriod(timerResolution_);
  timerResolution_ = 0;
}

void TCustomPictureShow::Stop() {
  if (!busy_ || stopping_) return;
  stopping_ = true;
  try {
    StopTimer();
    Finish();
  } catch (...) {
    stopping_ = false;
    throw;
  }
  stopping_ = false;
}

void TCustomPictureShow::Finish() {
  busy_ = false;
  ++serial_;
  timerError_ = nullptr;
  FreeTransitionBitmaps();
  if (IsDestroying()) return;
  if (!stopping_) DoComplete();
  DoStop();
}

void TCustomPictureShow::Clear() {
  if (busy_ || screen_->Empty()) return;
  {
    TLock lock(renderLock_);
    screen_->SetSize(0, 0);
    pictureRect_ = RECT{0, 0, 0, 0};
    displayRect_ = RECT{0, 0, 0, 0};
  }
  Invalidate();
}

// ---- Published --------------------------------------------------------------------------------
void TPictureShow::Publish(TPublisher<TPictureShow>& p) {
  PublishAlign(p);
  PublishVisibility(p);
  PublishTabs(p);
  p.Integer(L"Color", &TControl::Color, &TControl::SetColor);
  p.Boolean(L"ParentColor", &TControl::ParentColor, &TControl::SetParentColor);
  p.Boolean(L"AutoSize", &TCustomPictureShow::AutoSize, &TCustomPictureShow::SetAutoSize);
  p.Object(L"About", &TCustomPictureShow::About, &TCustomPictureShow::SetAbout);
  p.Object(L"Picture", &TCustomPictureShow::Picture, &TCustomPictureShow::SetPicture);
  p.Object(L"BgPicture", &TCustomPictureShow::BgPicture, &TCustomPictureShow::SetBgPicture);
  p.Enumeration(L"BgMode", {L"bmNone", L"bmTiled", L"bmStretched", L"bmCentered"}, &TCustomPictureShow::BgMode,
                &TCustomPictureShow::SetBgMode);
  p.Integer(L"FrameColor", &TCustomPictureShow::FrameColor, &TCustomPictureShow::SetFrameColor);
  p.Integer(L"FrameWidth", &TCustomPictureShow::FrameWidth, &TCustomPictureShow::SetFrameWidth);
  p.Boolean(L"Center", &TCustomPictureShow::Center, &TCustomPictureShow::SetCenter);
  p.Boolean(L"Stretch", &TCustomPictureShow::Stretch, &TCustomPictureShow::SetStretch);
  p.Boolean(L"Proportional", &TCustomPictureShow::Proportional, &TCustomPictureShow::SetProportional);
  p.Boolean(L"OverDraw", &TCustomPictureShow::OverDraw, &TCustomPictureShow::SetOverDraw);
  p.Boolean(L"Threaded", &TCustomPictureShow::Threaded, &TCustomPictureShow::SetThreaded);
  p.Boolean(L"Manual", &TCustomPictureShow::Manual, &TCustomPictureShow::SetManual);
  p.Integer(L"Style", &TCustomPictureShow::Style, &TCustomPictureShow::SetStyle);
  p.String(L"StyleName", &TCustomPictureShow::StyleName, &TCustomPictureShow::SetStyleName);
  p.Integer(L"Step", &TCustomPictureShow::Step, &TCustomPictureShow::SetStep);
  p.Integer(L"Delay", &TCustomPictureShow::Delay, &TCustomPictureShow::SetDelay);
  p.Boolean(L"Reverse", &TCustomPictureShow::Reverse, &TCustomPictureShow::SetReverse);
  p.Boolean(L"ExactTiming", &TCustomPictureShow::ExactTiming, &TCustomPictureShow::SetExactTiming);
}

}  // namespace kivo
