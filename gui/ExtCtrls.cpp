#include "ExtCtrls.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TTimer)
KIVO_IMPLEMENT_CLASS(TCustomPanel)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPanel)

// ---- TTimer -----------------------------------------------------------------------------------
void TTimer::Publish(TPublisher<TTimer>& p) {
  p.Boolean(L"Enabled", &TTimer::Enabled, &TTimer::SetEnabled);
  p.Integer(L"Interval", &TTimer::Interval, &TTimer::SetInterval);
}
TTimer::TTimer(TComponent* owner)
    : TComponent(owner), window_(std::make_unique<TUtilWindow>([this](TMessage& m) { Handle(m); })) {}
TTimer::~TTimer() {
  enabled_ = false;
  UpdateTimer();
}
void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  UpdateTimer();
}
void TTimer::SetInterval(UINT ms) {
  if (ms == interval_) return;
  interval_ = ms;
  UpdateTimer();
}
void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}
void TTimer::UpdateTimer() {
  HWND w = window_->Handle();
  ::KillTimer(w, 1);
  if (enabled_ && interval_ && onTimer_)
    if (!::SetTimer(w, 1, interval_, nullptr)) throw EOutOfResources(L"Not enough timers available");
}
void TTimer::Handle(TMessage& m) {
  if (m.Msg == WM_TIMER) {
    if (enabled_ && onTimer_) {
      TNotifyEvent h = onTimer_;  // the handler may replace itself or free the timer
      h(this);
    }
    return;
  }
  m.Result = ::DefWindowProcW(window_->Handle(), m.Msg, m.WParam, m.LParam);
}

// ---- TCustomPanel -----------------------------------------------------------------------------
TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks |
                  csParentBackground;
  SetBounds(0, 0, 185, 41);
  SetColor(clBtnFace);
}
void TCustomPanel::SetBevelOuter(TBevelCut b) {
  bevelOuter_ = b;
  Invalidate();
}
void TCustomPanel::SetBevelInner(TBevelCut b) {
  bevelInner_ = b;
  Invalidate();
}
void TCustomPanel::SetBevelWidth(int w) {
  bevelWidth_ = w;
  Invalidate();
}
void TCustomPanel::SetAlignment(TAlignment a) {
  alignment_ = a;
  Invalidate();
}
void TCustomPanel::WndProc(TMessage& m) {
  if (m.Msg == CM_TEXTCHANGED) {
    Invalidate();
    return;
  }
  TCustomControl::WndProc(m);
}
void TCustomPanel::Paint() {
  TCanvas* c = Canvas();
  RECT r = ClientRect();
  auto bevel = [&](TBevelCut cut) {
    if (cut == TBevelCut::bvNone) return;
    for (int i = 0; i < bevelWidth_; ++i) {
      if (cut != TBevelCut::bvSpace) {
        COLORREF tl = ColorToRGB(cut == TBevelCut::bvRaised ? clBtnHighlight : clBtnShadow);
        COLORREF br = ColorToRGB(cut == TBevelCut::bvRaised ? clBtnShadow : clBtnHighlight);
        HDC dc = c->Handle();
        TBrushOwner b1(::CreateSolidBrush(tl)), b2(::CreateSolidBrush(br));
        RECT top{r.left, r.top, r.right, r.top + 1}, left{r.left, r.top, r.left + 1, r.bottom};
        RECT bottom{r.left, r.bottom - 1, r.right, r.bottom}, right{r.right - 1, r.top, r.right, r.bottom};
        ::FillRect(dc, &top, b1.Get());
        ::FillRect(dc, &left, b1.Get());
        ::FillRect(dc, &bottom, b2.Get());
        ::FillRect(dc, &right, b2.Get());
      }
      ::InflateRect(&r, -1, -1);
    }
  };
  bevel(bevelOuter_);
  bevel(bevelInner_);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  std::wstring text = Caption();
  if (!text.empty()) {
    c->Font()->Assign(Font());
    c->Brush()->SetStyle(TBrushStyle::bsClear);
    UINT fmt = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX |
               (alignment_ == TAlignment::taCenter ? DT_CENTER : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_LEFT);
    HDC dc = c->Handle();
    TSelectObject f(dc, c->Font()->Handle());
    int mode = ::SetBkMode(dc, TRANSPARENT);
    COLORREF old = ::SetTextColor(dc, ColorToRGB(Font()->Color()));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, fmt);
    ::SetTextColor(dc, old);
    ::SetBkMode(dc, mode);
  }
}
void TPanel::Publish(TPublisher<TPanel>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  PublishParentBackground(p);
  p.Enumeration(L"BevelOuter", {L"bvNone", L"bvLowered", L"bvRaised", L"bvSpace"}, &TCustomPanel::BevelOuter,
                &TCustomPanel::SetBevelOuter);
  p.Enumeration(L"BevelInner", {L"bvNone", L"bvLowered", L"bvRaised", L"bvSpace"}, &TCustomPanel::BevelInner,
                &TCustomPanel::SetBevelInner);
  p.Integer(L"BevelWidth", &TCustomPanel::BevelWidth, &TCustomPanel::SetBevelWidth);
  p.Enumeration(L"Alignment", {L"taLeftJustify", L"taRightJustify", L"taCenter"}, &TCustomPanel::Alignment,
                &TCustomPanel::SetAlignment);
}

}  // namespace kivo
