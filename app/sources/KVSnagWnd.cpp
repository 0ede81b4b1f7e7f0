#include "KVSnagWnd.h"

#include <windowsx.h>

#include <algorithm>

#include "KVProcs.h"
#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TBorderForm)
KIVO_IMPLEMENT_CLASS(TSnagRectObject)

namespace {
constexpr int kHandleSize = 8;

// The cursor of each handle number.
constexpr TCursor kHandleCursors[8] = {crSizeNWSE, crSizeNS, crSizeNESW, crSizeWE,
                                       crSizeNWSE, crSizeNS, crSizeNESW, crSizeWE};

TLabel* MakeHandle(TBorderForm* strip) {
  auto* l = new TLabel(strip);
  l->SetAutoSize(false);
  l->SetCaption(L"");
  l->SetBounds(0, 0, kHandleSize, kHandleSize);
  l->SetParent(strip);
  return l;
}
}  // namespace

TBorderForm::TBorderForm(TComponent* owner, TSnagRectObject* frame) : TForm(owner), frame_(frame) {
  SetBorderStyle(TFormBorderStyle::bsNone);
  SetFormStyle(TFormStyle::fsStayOnTop);
  SetAutoScroll(false);
  SetDoubleBuffered(true);
  SetVisible(false);
  SetBounds(0, 0, TSnagRectObject::BorderWidth, TSnagRectObject::BorderWidth);
  SetColor(frame->BorderColor);
  HandleTopLeft = MakeHandle(this);
  HandleMiddle = MakeHandle(this);
  HandleBottomRight = MakeHandle(this);
  for (TLabel* l : {HandleTopLeft, HandleMiddle, HandleBottomRight}) l->SetColor(frame->HandleColor);
  SetCursor(crSizeAll);
  LayoutHandles();
}

void TBorderForm::CreateParams(TCreateParams& p) {
  TForm::CreateParams(p);
  // a topmost tool window, a child of the desktop window: no owner, no task-bar button, no frame
  // (and no window manager's part in showing or hiding it)
  p.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  p.ExStyle |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  p.WndParent = ::GetDesktopWindow();
}

void TBorderForm::CreateWnd() {
  TForm::CreateWnd();
  // the child style drops the topmost bit at creation: set it on the window
  ::SetWindowPos(HandleIfAllocated(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TBorderForm::Resize() {
  LayoutHandles();
  TForm::Resize();
}

void TBorderForm::LayoutHandles() {
  if (!HandleTopLeft || !HandleMiddle || !HandleBottomRight) return;  // not made yet
  const int w = Width(), h = Height();
  HandleTopLeft->SetBounds(0, 0, kHandleSize, kHandleSize);
  HandleMiddle->SetBounds((w - kHandleSize) / 2, (h - kHandleSize) / 2, kHandleSize, kHandleSize);
  HandleBottomRight->SetBounds(w - kHandleSize, h - kHandleSize, kHandleSize, kHandleSize);
}

void TBorderForm::SetMode(std::int32_t mode) {
  SetCursor((mode & kFrameMove) ? crSizeAll : crDefault);
  for (TLabel* l : {HandleTopLeft, HandleMiddle, HandleBottomRight}) l->SetVisible((mode & kFrameResize) != 0);
}

TSnagRectObject::TSnagRectObject() {
  messageWindow_ = std::make_unique<TUtilWindow>([this](TMessage& m) { MessageProc(m); });
  TBorderForm** strips[4] = {&LeftStrip, &TopStrip, &RightStrip, &BottomStrip};
  for (TBorderForm** s : strips) {
    *s = Create<TBorderForm>(nullptr, this);
    (*s)->OnMouseDown = [this](TObject*, TMouseButton button, TShiftState, int, int) {
      if (button == TMouseButton::mbLeft) BeginDrag(kNoHandle);
    };
  }
  // handle number, strip, label
  struct TPlace {
    int Number;
    TBorderForm* Strip;
    TLabel* Label;
  };
  const TPlace places[] = {
      {0, LeftStrip, LeftStrip->HandleTopLeft},         {0, TopStrip, TopStrip->HandleTopLeft},
      {1, TopStrip, TopStrip->HandleMiddle},            {2, TopStrip, TopStrip->HandleBottomRight},
      {2, RightStrip, RightStrip->HandleTopLeft},       {3, RightStrip, RightStrip->HandleMiddle},
      {4, RightStrip, RightStrip->HandleBottomRight},   {4, BottomStrip, BottomStrip->HandleBottomRight},
      {5, BottomStrip, BottomStrip->HandleMiddle},      {6, BottomStrip, BottomStrip->HandleTopLeft},
      {6, LeftStrip, LeftStrip->HandleBottomRight},     {7, LeftStrip, LeftStrip->HandleMiddle},
  };
  for (const TPlace& p : places) {
    p.Label->SetTag(p.Number);
    p.Label->SetCursor(kHandleCursors[p.Number]);
    const int number = p.Number;
    p.Label->OnMouseDown = [this, number](TObject*, TMouseButton button, TShiftState, int, int) {
      if (button == TMouseButton::mbLeft) BeginDrag(number);
    };
  }
  SetWidth(320);
  SetHeight(240);
}

TSnagRectObject::~TSnagRectObject() {
  if (Dragging() && messageWindow_ && ::GetCapture() == messageWindow_->Handle()) {
    moving_ = resizing_ = false;
    ::ReleaseCapture();
  }
  messageWindow_.reset();
  for (TBorderForm* s : Strips())
    if (s) s->Free();
  LeftStrip = TopStrip = RightStrip = BottomStrip = nullptr;
}

HWND TSnagRectObject::MessageWindow() const { return messageWindow_ ? messageWindow_->Handle() : nullptr; }

void TSnagRectObject::Layout() {
  const int b = BorderWidth;
  LeftStrip->SetBounds(left_ - b, top_ - b, b, height_ + 2 * b);
  RightStrip->SetBounds(left_ + width_, top_ - b, b, height_ + 2 * b);
  TopStrip->SetBounds(left_ - b, top_ - b, width_ + 2 * b, b);
  BottomStrip->SetBounds(left_ - b, top_ + height_, width_ + 2 * b, b);
  Repaint();
}

void TSnagRectObject::Repaint() {
  for (TBorderForm* s : Strips()) s->Invalidate();
}

void TSnagRectObject::SetWidth(int value) {
  if (value == width_) return;
  width_ = value;
  Layout();
}

void TSnagRectObject::SetHeight(int value) {
  if (value == height_) return;
  height_ = value;
  Layout();
}

void TSnagRectObject::SetBounds(const RECT& r) {
  left_ = r.left;
  top_ = r.top;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
  Layout();
  if (visibleFrame_) ShowStrips();
}

void TSnagRectObject::SetBoundsFromWindow(HWND window) {
  RECT r{};
  if (window && ::GetWindowRect(window, &r)) SetBounds(r);
}

void TSnagRectObject::ShowStrips() {
  for (TBorderForm* s : Strips()) s->SetVisible(true);
}

void TSnagRectObject::HideStrips() {
  for (TBorderForm* s : Strips()) s->SetVisible(false);
}

void TSnagRectObject::SetVisibleFrame(bool value) {
  if (value == visibleFrame_) return;
  visibleFrame_ = value;
  if (value) ShowStrips();
  else HideStrips();
}

void TSnagRectObject::SetMode(std::int32_t mode) {
  if (mode == mode_) return;
  mode_ = mode;
  for (TBorderForm* s : Strips()) s->SetMode(mode);
}

void TSnagRectObject::MoveBy(int dx, int dy) {
  left_ += dx;
  top_ += dy;
  Layout();
}

void TSnagRectObject::ResizeBy(int dx, int dy, int handle) {
  const int W = OutputWidth.load(), H = OutputHeight.load();
  int l = left_, t = top_, r = left_ + width_, b = top_ + height_;
  const bool leftEdge = handle == 0 || handle == 6 || handle == 7;
  const bool topEdge = handle == 0 || handle == 1 || handle == 2;
  const bool rightEdge = handle == 2 || handle == 3 || handle == 4;
  const bool bottomEdge = handle == 4 || handle == 5 || handle == 6;
  if (leftEdge) l = std::min(l + dx, r - W);
  if (topEdge) t = std::min(t + dy, b - H);
  if (rightEdge) r = std::max(r + dx, l + W);
  if (bottomEdge) b = std::max(b + dy, t + H);
  int h = b - t, w = r - l;
  if (KeepAspect && AspectX > 0 && AspectY > 0) {
    if (w == width_) {
      w = RoundHalfUp(static_cast<double>(AspectX) * h / AspectY);
      if (l != left_) l = r - w;
    } else {
      h = RoundHalfUp(static_cast<double>(AspectY) * w / AspectX);
      if (t != top_) t = b - h;
    }
  }
  left_ = l;
  top_ = t;
  width_ = w;
  height_ = h;
  Layout();
}

bool TSnagRectObject::IsStrip(HWND window) const {
  if (!window) return false;
  for (TBorderForm* s : Strips())
    if (s->HandleAllocated() && s->HandleIfAllocated() == window) return true;
  return false;
}

void TSnagRectObject::BeginDrag(int handle) {
  if (Dragging()) return;
  const bool move = handle == kNoHandle;
  if (move && !(mode_ & kFrameMove)) return;
  if (!move && !(mode_ & kFrameResize)) return;
  if (OnBeginDrag) OnBeginDrag(this);
  firstMove_ = true;
  moving_ = move;
  resizing_ = !move;
  handle_ = handle;
  // the strip or label that got the button gives up its capture to the message window
  ::SetCapture(messageWindow_->Handle());
}

void TSnagRectObject::MouseMoveTo(POINT p) {
  if (!Dragging()) return;
  if (firstMove_) {
    firstMove_ = false;
    last_ = p;
    return;
  }
  const int dx = p.x - last_.x, dy = p.y - last_.y;
  if (moving_) MoveBy(dx, dy);
  else ResizeBy(dx, dy, handle_);
  last_ = p;
  if (OnDrag) OnDrag(this);
}

void TSnagRectObject::EndDrag() {
  if (!Dragging()) return;
  moving_ = resizing_ = false;
  handle_ = kNoHandle;
  if (::GetCapture() == messageWindow_->Handle()) ::ReleaseCapture();
  Repaint();
  if (OnEndDrag) OnEndDrag(this);
}

void TSnagRectObject::MessageProc(TMessage& m) {
  const HWND wnd = messageWindow_ ? messageWindow_->Handle() : nullptr;
  m.Result = ::DefWindowProcW(wnd, m.Msg, m.WParam, m.LParam);
  switch (m.Msg) {
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
      ::ClientToScreen(wnd, &p);
      MouseMoveTo(p);
      break;
    }
    case WM_LBUTTONUP:
      EndDrag();
      break;
    case WM_CAPTURECHANGED:
      // a drag whose capture was taken away (another window, a message box) ends here
      if (reinterpret_cast<HWND>(m.LParam) != wnd) EndDrag();
      break;
    default:
      break;
  }
}

}  // namespace kivo
