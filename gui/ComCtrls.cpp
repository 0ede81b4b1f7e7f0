#include "ComCtrls.h"

#include <algorithm>

#include "WinControlUtil.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TTrackBar)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TProgressBar)
KIVO_IMPLEMENT_CLASS(TCustomUpDown)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TUpDown)
KIVO_IMPLEMENT_CLASS(TCustomTabControl)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TTabControl)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TTabSheet)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPageControl)
KIVO_IMPLEMENT_CLASS(TStatusPanel)
KIVO_IMPLEMENT_CLASS(TStatusPanels)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TStatusBar)
KIVO_IMPLEMENT_CLASS(TListItem)
KIVO_IMPLEMENT_CLASS(TListItems)
KIVO_IMPLEMENT_CLASS(TCustomListView)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TListView)

void InitCommonControlClasses() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS |
                                              ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    return ::InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

// ---- TTrackBar --------------------------------------------------------------------------------
void TTrackBar::Publish(TPublisher<TTrackBar>& p) {
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Integer(L"Min", &TTrackBar::Min, &TTrackBar::SetMin);
  p.Integer(L"Max", &TTrackBar::Max, &TTrackBar::SetMax);
  p.Integer(L"Position", &TTrackBar::Position, &TTrackBar::SetPosition);
  p.Integer(L"Frequency", &TTrackBar::Frequency, &TTrackBar::SetFrequency);
  p.Integer(L"LineSize", &TTrackBar::LineSize, &TTrackBar::SetLineSize);
  p.Integer(L"PageSize", &TTrackBar::PageSize, &TTrackBar::SetPageSize);
  p.Enumeration(L"Orientation", {L"trHorizontal", L"trVertical"}, &TTrackBar::Orientation, &TTrackBar::SetOrientation);
  p.Enumeration(L"TickMarks", {L"tmBottomRight", L"tmTopLeft", L"tmBoth"}, &TTrackBar::TickMarks, &TTrackBar::SetTickMarks);
  p.Enumeration(L"TickStyle", {L"tsNone", L"tsAuto", L"tsManual"}, &TTrackBar::TickStyle, &TTrackBar::SetTickStyle);
}
TTrackBar::TTrackBar(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csDoubleClicks;
  SetBounds(0, 0, 150, 45);
  SetTabStop(true);
}
void TTrackBar::CreateParams(TCreateParams& p) {
  InitCommonControlClasses();
  TWinControl::CreateParams(p);
  p.SysClassName = TRACKBAR_CLASSW;
  p.Style |= orientation_ == TTrackBarOrientation::trHorizontal ? TBS_HORZ : TBS_VERT;
  if (tickStyle_ == TTickStyle::tsNone) p.Style |= TBS_NOTICKS;
  else if (tickStyle_ == TTickStyle::tsAuto) p.Style |= TBS_AUTOTICKS;
  if (tickMarks_ == TTickMark::tmBoth) p.Style |= TBS_BOTH;
  else if (tickMarks_ == TTickMark::tmTopLeft) p.Style |= TBS_TOP;
}
void TTrackBar::CreateWnd() {
  TWinControl::CreateWnd();
  Send(this, TBM_SETRANGEMIN, FALSE, min_);
  Send(this, TBM_SETRANGEMAX, FALSE, max_);
  Send(this, TBM_SETTICFREQ, frequency_, 0);
  Send(this, TBM_SETLINESIZE, 0, lineSize_);
  Send(this, TBM_SETPAGESIZE, 0, pageSize_);
  Send(this, TBM_SETPOS, TRUE, position_);
}
void TTrackBar::SetMin(int v) {
  if (v == min_) return;
  min_ = v;
  if (max_ < min_) max_ = min_;
  Send(this, TBM_SETRANGEMIN, TRUE, v);
  Send(this, TBM_SETRANGEMAX, TRUE, max_);
  if (position_ < min_) SetPosition(min_);
}
void TTrackBar::SetMax(int v) {
  if (v == max_) return;
  max_ = v;
  if (min_ > max_) min_ = max_;
  Send(this, TBM_SETRANGEMIN, TRUE, min_);
  Send(this, TBM_SETRANGEMAX, TRUE, v);
  if (position_ > max_) SetPosition(max_);
}
int TTrackBar::Position() const { return position_; }
void TTrackBar::SetPosition(int v) {
  v = std::max(min_, std::min(max_, v));
  if (v == position_) return;
  position_ = v;
  Send(this, TBM_SETPOS, TRUE, v);
  Changed();
}
void TTrackBar::SetFrequency(int v) {
  frequency_ = v;
  Send(this, TBM_SETTICFREQ, v, 0);
}
void TTrackBar::SetLineSize(int v) {
  lineSize_ = v;
  Send(this, TBM_SETLINESIZE, 0, v);
}
void TTrackBar::SetPageSize(int v) {
  pageSize_ = v;
  Send(this, TBM_SETPAGESIZE, 0, v);
}
void TTrackBar::SetOrientation(TTrackBarOrientation o) {
  if (o == orientation_) return;
  orientation_ = o;
  if (!IsLoading()) SetBounds(Left(), Top(), Height(), Width());
  RecreateWnd();
}
void TTrackBar::SetTickMarks(TTickMark t) {
  if (t == tickMarks_) return;
  tickMarks_ = t;
  RecreateWnd();
}
void TTrackBar::SetTickStyle(TTickStyle t) {
  if (t == tickStyle_) return;
  tickStyle_ = t;
  RecreateWnd();
}
void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}
void TTrackBar::WndProc(TMessage& m) {
  if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
    int pos = static_cast<int>(Send(this, TBM_GETPOS));
    if (pos != position_) {
      position_ = pos;
      Changed();
    }
    m.Result = 0;
    return;
  }
  TWinControl::WndProc(m);
}

// ---- TProgressBar -----------------------------------------------------------------------------
void TProgressBar::Publish(TPublisher<TProgressBar>& p) {
  PublishVisibility(p);
  PublishAlign(p);
  p.Integer(L"Min", &TProgressBar::Min, &TProgressBar::SetMin);
  p.Integer(L"Max", &TProgressBar::Max, &TProgressBar::SetMax);
  p.Integer(L"Position", &TProgressBar::Position, &TProgressBar::SetPosition);
  p.Integer(L"Step", &TProgressBar::Step, &TProgressBar::SetStep);
  p.Boolean(L"Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth);
  p.Enumeration(L"Orientation", {L"pbHorizontal", L"pbVertical"}, &TProgressBar::Orientation, &TProgressBar::SetOrientation);
}
TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csDoubleClicks | csClickEvents | csCaptureMouse;
  SetBounds(0, 0, 150, 16);
}
void TProgressBar::CreateParams(TCreateParams& p) {
  InitCommonControlClasses();
  TWinControl::CreateParams(p);
  p.SysClassName = PROGRESS_CLASSW;
  if (smooth_) p.Style |= PBS_SMOOTH;
  if (orientation_ == TProgressBarOrientation::pbVertical) p.Style |= PBS_VERTICAL;
}
void TProgressBar::CreateWnd() {
  TWinControl::CreateWnd();
  Send(this, PBM_SETRANGE32, min_, max_);
  Send(this, PBM_SETSTEP, step_, 0);
  Send(this, PBM_SETPOS, position_, 0);
}
void TProgressBar::SetMin(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  Send(this, PBM_SETRANGE32, min_, max_);
  if (position_ < min_) SetPosition(min_);
}
void TProgressBar::SetMax(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  Send(this, PBM_SETRANGE32, min_, max_);
  if (position_ > max_) SetPosition(max_);
}
int TProgressBar::Position() const {
  return HandleAllocated() ? static_cast<int>(Send(this, PBM_GETPOS)) : position_;
}
void TProgressBar::SetPosition(int v) {
  position_ = std::max(min_, std::min(max_, v));
  Send(this, PBM_SETPOS, position_, 0);
}
void TProgressBar::SetStep(int v) {
  step_ = v;
  Send(this, PBM_SETSTEP, v, 0);
}
void TProgressBar::StepIt() {
  // the window wraps past Max to Min, as the control does
  int next = Position() + step_;
  if (next > max_) next = min_ + (next - max_) % std::max(1, max_ - min_);
  position_ = next;
  if (HandleAllocated()) Send(this, PBM_STEPIT);
}
void TProgressBar::StepBy(int delta) { SetPosition(Position() + delta); }
void TProgressBar::SetSmooth(bool v) {
  if (v == smooth_) return;
  smooth_ = v;
  RecreateWnd();
}
void TProgressBar::SetOrientation(TProgressBarOrientation o) {
  if (o == orientation_) return;
  orientation_ = o;
  RecreateWnd();
}

// ---- TCustomUpDown ----------------------------------------------------------------------------
TCustomUpDown::TCustomUpDown(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csDoubleClicks;
  SetBounds(0, 0, 17, 25);
}
void TCustomUpDown::CreateParams(TCreateParams& p) {
  InitCommonControlClasses();
  TWinControl::CreateParams(p);
  p.SysClassName = UPDOWN_CLASSW;
  if (arrowKeys_) p.Style |= UDS_ARROWKEYS;
  if (wrap_) p.Style |= UDS_WRAP;
  if (!thousands_) p.Style |= UDS_NOTHOUSANDS;
  if (orientation_ == TUDOrientation::udHorizontal) p.Style |= UDS_HORZ;
  if (associate_) p.Style |= UDS_SETBUDDYINT | (alignButton_ == TUDAlignButton::udLeft ? UDS_ALIGNLEFT : UDS_ALIGNRIGHT);
}
void TCustomUpDown::CreateWnd() {
  TWinControl::CreateWnd();
  Send(this, UDM_SETRANGE32, min_, max_);
  UDACCEL accel{0, static_cast<UINT>(increment_)};
  Send(this, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
  Send(this, UDM_SETPOS32, 0, position_);
  if (associate_) Send(this, UDM_SETBUDDY, reinterpret_cast<WPARAM>(associate_->Handle()), 0);
}
void TCustomUpDown::Notification(TComponent* c, TOperation op) {
  TWinControl::Notification(c, op);
  if (op == TOperation::opRemove && c == associate_) {
    associate_ = nullptr;
    Send(this, UDM_SETBUDDY, 0, 0);
  }
}
void TCustomUpDown::SetMin(int v) {
  min_ = v;
  Send(this, UDM_SETRANGE32, min_, max_);
}
void TCustomUpDown::SetMax(int v) {
  max_ = v;
  Send(this, UDM_SETRANGE32, min_, max_);
}
int TCustomUpDown::Position() const {
  if (HandleAllocated()) {
    BOOL failed = FALSE;
    int p = static_cast<int>(Send(this, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    if (!failed) return p;
  }
  return position_;
}
void TCustomUpDown::SetPosition(int v) {
  int lo = std::min(min_, max_), hi = std::max(min_, max_);
  position_ = std::max(lo, std::min(hi, v));
  Send(this, UDM_SETPOS32, 0, position_);
}
void TCustomUpDown::SetIncrement(int v) {
  increment_ = v;
  if (HandleAllocated()) {
    UDACCEL accel{0, static_cast<UINT>(v)};
    Send(this, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
  }
}
void TCustomUpDown::SetWrap(bool v) {
  if (v == wrap_) return;
  wrap_ = v;
  RecreateWnd();
}
void TCustomUpDown::SetArrowKeys(bool v) {
  if (v == arrowKeys_) return;
  arrowKeys_ = v;
  RecreateWnd();
}
void TCustomUpDown::SetThousands(bool v) {
  if (v == thousands_) return;
  thousands_ = v;
  RecreateWnd();
}
void TCustomUpDown::SetOrientation(TUDOrientation o) {
  if (o == orientation_) return;
  orientation_ = o;
  RecreateWnd();
}
void TCustomUpDown::SetAlignButton(TUDAlignButton a) {
  if (a == alignButton_) return;
  alignButton_ = a;
  RecreateWnd();
}
void TCustomUpDown::SetAssociate(TWinControl* c) {
  if (c == associate_) return;
  if (associate_) associate_->RemoveFreeNotification(this);
  associate_ = c;
  if (c) c->FreeNotification(this);
  RecreateWnd();
}
bool TCustomUpDown::CanChange() {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  return allow;
}
void TCustomUpDown::UpDownClick(TUDBtnType button) {
  if (OnClick) OnClick(this, button);
}
void TCustomUpDown::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CN_NOTIFY: {
      auto* h = reinterpret_cast<NMHDR*>(m.LParam);
      if (h->code == UDN_DELTAPOS) {
        lastDelta_ = reinterpret_cast<NMUPDOWN*>(m.LParam)->iDelta;
        refused_ = !CanChange();
        m.Result = refused_ ? 1 : 0;
        return;
      }
      break;
    }
    case CN_HSCROLL:
    case CN_VSCROLL:
      // a refused press still reports the (old) position: no click for it
      if (LOWORD(m.WParam) == SB_THUMBPOSITION && !refused_) {
        position_ = Position();
        UpDownClick(lastDelta_ >= 0 ? TUDBtnType::btNext : TUDBtnType::btPrev);
      }
      m.Result = 0;
      return;
    default:
      break;
  }
  TWinControl::WndProc(m);
}
void TUpDown::Publish(TPublisher<TUpDown>& p) {
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Integer(L"Min", &TCustomUpDown::Min, &TCustomUpDown::SetMin);
  p.Integer(L"Max", &TCustomUpDown::Max, &TCustomUpDown::SetMax);
  p.Integer(L"Position", &TCustomUpDown::Position, &TCustomUpDown::SetPosition);
  p.Integer(L"Increment", &TCustomUpDown::Increment, &TCustomUpDown::SetIncrement);
  p.Boolean(L"Wrap", &TCustomUpDown::Wrap, &TCustomUpDown::SetWrap);
  p.Boolean(L"ArrowKeys", &TCustomUpDown::ArrowKeys, &TCustomUpDown::SetArrowKeys);
  p.Boolean(L"Thousands", &TCustomUpDown::Thousands, &TCustomUpDown::SetThousands);
  p.Enumeration(L"Orientation", {L"udHorizontal", L"udVertical"}, &TCustomUpDown::Orientation, &TCustomUpDown::SetOrientation);
  p.Enumeration(L"AlignButton", {L"udLeft", L"udRight"}, &TCustomUpDown::AlignButton, &TCustomUpDown::SetAlignButton);
  p.Object(L"Associate", &TCustomUpDown::Associate, &TCustomUpDown::SetAssociate);
}

// ---- TCustomTabControl ------------------------------------------------------------------------
TCustomTabControl::TCustomTabControl(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csAcceptsControls | csDoubleClicks;
  SetBounds(0, 0, 289, 193);
  SetTabStop(true);
  SetColor(clBtnFace);
}
TCustomTabControl::~TCustomTabControl() = default;
void TCustomTabControl::CreateParams(TCreateParams& p) {
  InitCommonControlClasses();
  TWinControl::CreateParams(p);
  p.SysClassName = WC_TABCONTROLW;
  p.Style |= WS_CLIPCHILDREN;
  switch (tabPosition_) {
    case TTabPosition::tpTop: break;
    case TTabPosition::tpBottom: p.Style |= TCS_BOTTOM; break;
    case TTabPosition::tpLeft: p.Style |= TCS_VERTICAL | TCS_MULTILINE; break;
    case TTabPosition::tpRight: p.Style |= TCS_VERTICAL | TCS_RIGHT | TCS_MULTILINE; break;
  }
  if (style_ == TTabStyle::tsButtons) p.Style |= TCS_BUTTONS;
  if (style_ == TTabStyle::tsFlatButtons) p.Style |= TCS_BUTTONS | TCS_FLATBUTTONS;
  if (multiLine_) p.Style |= TCS_MULTILINE;
  if (tabWidth_ > 0) p.Style |= TCS_FIXEDWIDTH;
}
void TCustomTabControl::CreateWnd() {
  TWinControl::CreateWnd();
  ApplyItemSize();
  UpdateTabs();
}
void TCustomTabControl::ApplyItemSize() {
  if (HandleAllocated() && (tabHeight_ > 0 || tabWidth_ > 0)) Send(this, TCM_SETITEMSIZE, 0, MAKELPARAM(tabWidth_, tabHeight_));
}
void TCustomTabControl::SetTabPosition(TTabPosition p) {
  if (p == tabPosition_) return;
  tabPosition_ = p;
  RecreateWnd();
}
void TCustomTabControl::SetTabHeight(int h) {
  if (h == tabHeight_) return;
  tabHeight_ = h < 0 ? 0 : h;
  ApplyItemSize();
  Realign();
}
void TCustomTabControl::SetTabWidth(int w) {
  if (w == tabWidth_) return;
  bool fixed = (w > 0) != (tabWidth_ > 0);
  tabWidth_ = w < 0 ? 0 : w;
  if (fixed) RecreateWnd();
  else ApplyItemSize();
  Realign();
}
void TCustomTabControl::SetStyle(TTabStyle s) {
  if (s == style_) return;
  style_ = s;
  RecreateWnd();
}
void TCustomTabControl::SetMultiLine(bool v) {
  if (v == multiLine_) return;
  multiLine_ = v;
  RecreateWnd();
}
RECT TCustomTabControl::DisplayRect() const {
  RECT r = ClientRect();
  if (HandleAllocated()) {
    Send(this, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  // Before the window exists (a form still being built), the same frame the control will give:
  // pages laid out against the whole client would slide their anchored controls off the page.
  constexpr int kFrame = 4, kDefaultRow = 21;
  ::InflateRect(&r, -kFrame, -kFrame);
  if (TabCount() > 0) {
    const int row = tabHeight_ > 0 ? tabHeight_ : kDefaultRow;
    if (tabPosition_ == TTabPosition::tpBottom) r.bottom -= row;
    else if (tabPosition_ == TTabPosition::tpTop) r.top += row;
  }
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}
int TCustomTabControl::IndexOfTabAt(int x, int y) const {
  if (!HandleAllocated()) return -1;
  TCHITTESTINFO hit{{x, y}, 0};
  return static_cast<int>(Send(this, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}
RECT TCustomTabControl::TabRect(int index) const {
  RECT r{0, 0, 0, 0};
  if (HandleAllocated()) Send(this, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  return r;
}
void TCustomTabControl::UpdateTabs() {
  if (!HandleAllocated()) return;
  Send(this, TCM_DELETEALLITEMS);
  for (int i = 0; i < TabCount(); ++i) {
    std::wstring t = TabText(i);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = t.data();
    Send(this, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  SelectWindowTab(SelectedTab());
  Realign();
}
int TCustomTabControl::WindowTabIndex() const { return HandleAllocated() ? static_cast<int>(Send(this, TCM_GETCURSEL)) : -1; }
void TCustomTabControl::SelectWindowTab(int index) {
  if (HandleAllocated()) Send(this, TCM_SETCURSEL, index);
}
void TCustomTabControl::AlignControls(TControl* control, RECT& rect) {
  rect = DisplayRect();
  TWinControl::AlignControls(control, rect);
}
bool TCustomTabControl::CanChange() {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  return allow;
}
void TCustomTabControl::Change() {
  if (OnChange) OnChange(this);
}
void TCustomTabControl::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY) {
    auto* h = reinterpret_cast<NMHDR*>(m.LParam);
    if (h->code == TCN_SELCHANGING) {
      m.Result = CanChange() ? 0 : 1;
      return;
    }
    if (h->code == TCN_SELCHANGE) {
      Change();
      m.Result = 0;
      return;
    }
  }
  if (m.Msg == CM_FONTCHANGED) {
    TWinControl::WndProc(m);
    Realign();
    return;
  }
  TWinControl::WndProc(m);
}

// ---- TTabControl ------------------------------------------------------------------------------
namespace {
// The layout properties both tab controls publish, after their own.
template <class T>
void PublishTabLayout(TPublisher<T>& p) {
  p.Enumeration(L"TabPosition", {L"tpTop", L"tpBottom", L"tpLeft", L"tpRight"}, &TCustomTabControl::TabPosition,
                &TCustomTabControl::SetTabPosition);
  p.Integer(L"TabHeight", &TCustomTabControl::TabHeight, &TCustomTabControl::SetTabHeight);
  p.Integer(L"TabWidth", &TCustomTabControl::TabWidth, &TCustomTabControl::SetTabWidth);
  p.Enumeration(L"Style", {L"tsTabs", L"tsButtons", L"tsFlatButtons"}, &TCustomTabControl::Style, &TCustomTabControl::SetStyle);
  p.Boolean(L"MultiLine", &TCustomTabControl::MultiLine, &TCustomTabControl::SetMultiLine);
}
}  // namespace

void TTabControl::Publish(TPublisher<TTabControl>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Object(L"Tabs", &TTabControl::Tabs, &TTabControl::SetTabs);
  p.Integer(L"TabIndex", &TTabControl::TabIndex, &TTabControl::SetTabIndex);
  PublishTabLayout(p);
}
TTabControl::TTabControl(TComponent* owner) : TCustomTabControl(owner), tabs_(std::make_unique<TStringList>()) {
  tabs_->OnChange = [this](TObject*) {
    if (tabIndex_ >= tabs_->Count()) tabIndex_ = tabs_->Count() - 1;
    if (tabIndex_ < 0 && tabs_->Count() > 0) tabIndex_ = 0;
    UpdateTabs();
  };
}
TTabControl::~TTabControl() { tabs_->OnChange = nullptr; }
int TTabControl::TabIndex() const { return HandleAllocated() ? WindowTabIndex() : tabIndex_; }
void TTabControl::SetTabIndex(int i) {
  if (i < -1 || i >= tabs_->Count()) i = -1;
  tabIndex_ = i;
  SelectWindowTab(i);
}
void TTabControl::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY && reinterpret_cast<NMHDR*>(m.LParam)->code == TCN_SELCHANGE) tabIndex_ = WindowTabIndex();
  TCustomTabControl::WndProc(m);
}

// ---- TTabSheet --------------------------------------------------------------------------------
void TTabSheet::Publish(TPublisher<TTabSheet>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishParentBackground(p);
  p.Integer(L"PageIndex", &TTabSheet::PageIndex, &TTabSheet::SetPageIndex);
  p.Boolean(L"TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible);
  p.Integer(L"ImageIndex", &TTabSheet::ImageIndex, &TTabSheet::SetImageIndex);
}
TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks | csParentBackground;
  SetParentColor(true);
  SetVisible(false);
}
TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
  pageControl_ = nullptr;
}
void TTabSheet::SetPageControl(TPageControl* pc) {
  if (pc == pageControl_) return;
  if (pageControl_) pageControl_->RemovePage(this);
  pageControl_ = pc;
  SetParent(pc);
  if (pc) pc->InsertPage(this);
}
int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& l = pageControl_->pages_;
  return static_cast<int>(std::find(l.begin(), l.end(), this) - l.begin());
}
void TTabSheet::SetPageIndex(int i) {
  if (!pageControl_) return;
  auto& l = pageControl_->pages_;
  if (i < 0 || i >= static_cast<int>(l.size())) return;
  l.erase(std::find(l.begin(), l.end(), this));
  l.insert(l.begin() + i, this);
  pageControl_->PagesChanged();
}
void TTabSheet::SetTabVisible(bool v) {
  if (v == tabVisible_) return;
  tabVisible_ = v;
  if (pageControl_) pageControl_->PagesChanged();
}
int TTabSheet::TabIndex() const {
  if (!pageControl_ || !tabVisible_) return -1;
  int n = 0;
  for (TTabSheet* s : pageControl_->pages_) {
    if (s == this) return n;
    if (s->tabVisible_) ++n;
  }
  return -1;
}
void TTabSheet::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_TEXTCHANGED:
      TWinControl::WndProc(m);
      if (pageControl_) pageControl_->UpdateTabs();
      return;
    case CM_VISIBLECHANGED:
      TWinControl::WndProc(m);
      if (m.WParam && OnShow) OnShow(this);
      if (!m.WParam && OnHide) OnHide(this);
      return;
    default:
      break;
  }
  TWinControl::WndProc(m);
}

// ---- TPageControl -----------------------------------------------------------------------------
void TPageControl::Publish(TPublisher<TPageControl>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Object(L"ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage);
  p.Integer(L"ActivePageIndex", &TPageControl::ActivePageIndex, &TPageControl::SetActivePageIndex);
  PublishTabLayout(p);
}
TPageControl::TPageControl(TComponent* owner) : TCustomTabControl(owner) {}
TPageControl::~TPageControl() {
  // the sheets outlive the control only when another owner has them
  for (TTabSheet* s : std::vector<TTabSheet*>(pages_)) s->pageControl_ = nullptr;
  pages_.clear();
  activePage_ = nullptr;
}
int TPageControl::TabCount() const {
  return static_cast<int>(std::count_if(pages_.begin(), pages_.end(), [](TTabSheet* s) { return s->TabVisible(); }));
}
TTabSheet* TPageControl::TabPage(int tabIndex) const {
  int n = 0;
  for (TTabSheet* s : pages_)
    if (s->TabVisible() && n++ == tabIndex) return s;
  return nullptr;
}
std::wstring TPageControl::TabText(int index) const {
  TTabSheet* s = TabPage(index);
  return s ? s->Caption() : std::wstring();
}
int TPageControl::SelectedTab() const { return activePage_ ? activePage_->TabIndex() : -1; }
void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  PagesChanged();
  // a page gets its size now, also while the form is loading (alignment waits until then), so
  // that the controls put on it keep their distances to its edges
  page->SetBoundsRect(DisplayRect());
  if (!activePage_) SetActivePage(page);
}
void TPageControl::RemovePage(TTabSheet* page) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return;
  TTabSheet* next = activePage_ == page ? FindNextPage(page, true, true) : activePage_;
  if (next == page) next = nullptr;
  pages_.erase(it);
  page->pageControl_ = nullptr;
  activePage_ = next;
  if (!IsDestroying()) {
    PagesChanged();
    ShowActive();
  }
}
void TPageControl::PagesChanged() { UpdateTabs(); }
void TPageControl::SetActivePage(TTabSheet* page) {
  if (page && page->PageControl() != this) return;
  if (page == activePage_) return;
  activePage_ = page;
  ShowActive();
}
void TPageControl::ShowActive() {
  if (activePage_) {
    activePage_->BringToFront();
    activePage_->SetVisible(true);
  }
  for (TTabSheet* s : pages_)
    if (s != activePage_) s->SetVisible(false);
  SelectWindowTab(SelectedTab());
  Realign();
}
int TPageControl::ActivePageIndex() const { return activePage_ ? activePage_->PageIndex() : -1; }
void TPageControl::SetActivePageIndex(int i) {
  SetActivePage(i >= 0 && i < PageCount() ? pages_[i] : nullptr);
}
TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool forward, bool checkTabVisible) const {
  int n = PageCount();
  if (n == 0) return nullptr;
  auto it = std::find(pages_.begin(), pages_.end(), current);
  int start = it == pages_.end() ? (forward ? n - 1 : 0) : static_cast<int>(it - pages_.begin());
  int i = start;
  for (int k = 0; k < n; ++k) {
    i = forward ? (i + 1) % n : (i + n - 1) % n;
    if (!checkTabVisible || pages_[i]->TabVisible()) return pages_[i];
  }
  return nullptr;
}
void TPageControl::SelectNextPage(bool forward) {
  TTabSheet* p = FindNextPage(activePage_, forward, true);
  if (p && p != activePage_ && CanChange()) {
    SetActivePage(p);
    TCustomTabControl::Change();
  }
}
void TPageControl::Change() {
  // the user picked a tab: its sheet comes up before OnChange
  if (TTabSheet* s = TabPage(WindowTabIndex())) {
    activePage_ = s;
    ShowActive();
  }
  TCustomTabControl::Change();
}
void TPageControl::AlignControls(TControl* control, RECT& rect) {
  rect = DisplayRect();
  for (TTabSheet* s : pages_) s->SetBoundsRect(rect);
  TWinControl::AlignControls(control, rect);
}

// ---- Status bar -------------------------------------------------------------------------------
void TStatusPanel::SetText(const std::wstring& s) {
  if (s == text_) return;
  text_ = s;
  bar_->UpdatePanels();
}
void TStatusPanel::SetWidth(int w) {
  if (w == width_) return;
  width_ = w;
  bar_->UpdatePanels();
}
void TStatusPanel::SetStyle(TStatusPanelStyle s) {
  if (s == style_) return;
  style_ = s;
  bar_->UpdatePanels();
}
void TStatusPanel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  bar_->UpdatePanels();
}
void TStatusPanel::SetBevel(TStatusPanelBevel b) {
  if (b == bevel_) return;
  bevel_ = b;
  bar_->UpdatePanels();
}
int TStatusPanel::Index() const {
  auto& l = bar_->Panels()->items_;
  for (size_t i = 0; i < l.size(); ++i)
    if (l[i].get() == this) return static_cast<int>(i);
  return -1;
}
TStatusPanels::~TStatusPanels() = default;
TStatusPanel* TStatusPanels::Add() {
  items_.push_back(std::make_unique<TStatusPanel>(bar_));
  Changed();
  return items_.back().get();
}
void TStatusPanels::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  items_.erase(items_.begin() + index);
  Changed();
}
void TStatusPanels::Clear() {
  items_.clear();
  Changed();
}
void TStatusPanels::EndUpdate() {
  if (updates_ > 0 && --updates_ == 0) Changed();
}
void TStatusPanels::Changed() {
  if (updates_ == 0) bar_->UpdatePanels();
}

void TStatusBar::Publish(TPublisher<TStatusBar>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Boolean(L"SimplePanel", &TStatusBar::SimplePanel, &TStatusBar::SetSimplePanel);
  p.String(L"SimpleText", &TStatusBar::SimpleText, &TStatusBar::SetSimpleText);
  p.Boolean(L"SizeGrip", &TStatusBar::SizeGrip, &TStatusBar::SetSizeGrip);
}
TStatusBar::TStatusBar(TComponent* owner)
    : TWinControl(owner), panels_(std::make_unique<TStatusPanels>(this)), canvas_(std::make_unique<TControlCanvas>(this)) {
  controlStyle_ = csCaptureMouse | csClickEvents | csDoubleClicks;
  SetBounds(0, 0, 200, 19);
  SetColor(clBtnFace);
  SetAlign(TAlign::alBottom);
}
TStatusBar::~TStatusBar() {
  if (HandleAllocated()) DestroyHandle();
}
void TStatusBar::CreateParams(TCreateParams& p) {
  InitCommonControlClasses();
  TWinControl::CreateParams(p);
  p.SysClassName = STATUSCLASSNAMEW;
  // the layer's alignment places the bar
  p.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NOMOVEY;
  if (sizeGrip_) p.Style |= SBARS_SIZEGRIP;
}
void TStatusBar::CreateWnd() {
  TWinControl::CreateWnd();
  UpdatePanels();
}
void TStatusBar::SetSimplePanel(bool v) {
  if (v == simplePanel_) return;
  simplePanel_ = v;
  UpdatePanels();
}
void TStatusBar::SetSimpleText(const std::wstring& s) {
  simpleText_ = s;
  if (HandleAllocated()) Send(this, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(simpleText_.c_str()));
}
void TStatusBar::SetSizeGrip(bool v) {
  if (v == sizeGrip_) return;
  sizeGrip_ = v;
  RecreateWnd();
}
void TStatusBar::UpdatePanels() {
  if (!HandleAllocated()) return;
  Send(this, SB_SIMPLE, simplePanel_, 0);
  if (simplePanel_) {
    Send(this, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(simpleText_.c_str()));
    return;
  }
  int n = panels_->Count();
  std::vector<int> edges(std::max(1, n));
  int x = 0;
  for (int i = 0; i < n; ++i) {
    x += panels_->Items(i)->Width();
    edges[i] = i == n - 1 ? -1 : x;
  }
  if (n == 0) edges[0] = -1;
  Send(this, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (int i = 0; i < n; ++i) {
    TStatusPanel* panel = panels_->Items(i);
    WPARAM flags = static_cast<WPARAM>(i);
    if (panel->Bevel() == TStatusPanelBevel::pbNone) flags |= SBT_NOBORDERS;
    if (panel->Bevel() == TStatusPanelBevel::pbRaised) flags |= SBT_POPOUT;
    if (panel->Style() == TStatusPanelStyle::psOwnerDraw) {
      Send(this, SB_SETTEXTW, flags | SBT_OWNERDRAW, reinterpret_cast<LPARAM>(panel));
    } else {
      std::wstring t = panel->Text();
      if (panel->Alignment() == TAlignment::taCenter) t = L"\t" + t;
      else if (panel->Alignment() == TAlignment::taRightJustify) t = L"\t\t" + t;
      Send(this, SB_SETTEXTW, flags, reinterpret_cast<LPARAM>(t.c_str()));
    }
  }
}
RECT TStatusBar::PanelRect(int index) const {
  RECT r{0, 0, 0, 0};
  Send(this, SB_GETRECT, index, reinterpret_cast<LPARAM>(&r));
  return r;
}
void TStatusBar::DrawPanel(TStatusPanel* panel, const RECT& rect) {
  if (OnDrawPanel) OnDrawPanel(this, panel, rect);
  else {
    canvas_->Brush()->SetColor(Color());
    canvas_->FillRect(rect);
  }
}
void TStatusBar::WndProc(TMessage& m) {
  if (m.Msg == CN_DRAWITEM) {
    auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
    int index = static_cast<int>(d->itemID);
    if (index >= 0 && index < panels_->Count()) {
      TNotifyDCBinding bind(canvas_.get(), d->hDC);
      DrawPanel(panels_->Items(index), d->rcItem);
    }
    m.Result = 1;
    return;
  }
  TWinControl::WndProc(m);
}

// ---- TListItem, TListItems --------------------------------------------------------------------
TCustomListView* TListItem::ListView() const { return owner_->Owner(); }
int TListItem::Index() const { return owner_->IndexOf(this); }
void TListItem::SetCaption(const std::wstring& s) {
  caption_ = s;
  owner_->UpdateRow(Index());
}
void TListItem::SetImageIndex(int i) {
  imageIndex_ = i;
  owner_->UpdateRow(Index());
}
bool TListItem::Selected() const {
  TCustomListView* lv = ListView();
  if (!lv->HandleAllocated()) return selected_;
  return (Send(lv, LVM_GETITEMSTATE, Index(), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}
void TListItem::SetSelected(bool v) {
  selected_ = v;
  TCustomListView* lv = ListView();
  if (!lv->HandleAllocated()) return;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  item.state = v ? LVIS_SELECTED : 0;
  Send(lv, LVM_SETITEMSTATE, Index(), reinterpret_cast<LPARAM>(&item));
}
bool TListItem::Focused() const {
  return (Send(ListView(), LVM_GETITEMSTATE, Index(), LVIS_FOCUSED) & LVIS_FOCUSED) != 0;
}
void TListItem::SetFocused(bool v) {
  LVITEMW item{};
  item.stateMask = LVIS_FOCUSED;
  item.state = v ? LVIS_FOCUSED : 0;
  Send(ListView(), LVM_SETITEMSTATE, Index(), reinterpret_cast<LPARAM>(&item));
}
RECT TListItem::DisplayRect(int code) const {
  RECT r{code, 0, 0, 0};
  if (!Send(ListView(), LVM_GETITEMRECT, Index(), reinterpret_cast<LPARAM>(&r))) r = RECT{0, 0, 0, 0};
  return r;
}
POINT TListItem::Position() const {
  POINT p{0, 0};
  Send(ListView(), LVM_GETITEMPOSITION, Index(), reinterpret_cast<LPARAM>(&p));
  return p;
}
void TListItem::SetPosition(POINT p) { Send(ListView(), LVM_SETITEMPOSITION32, Index(), reinterpret_cast<LPARAM>(&p)); }
void TListItem::Delete() { owner_->Delete(Index()); }

TListItems::~TListItems() = default;
int TListItems::IndexOf(const TListItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return static_cast<int>(i);
  return -1;
}
TListItem* TListItems::Add() { return Insert(Count()); }
TListItem* TListItems::Insert(int index) {
  if (index < 0 || index > Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  items_.insert(items_.begin() + index, std::make_unique<TListItem>(this));
  InsertRow(index);
  return items_[index].get();
}
void TListItems::InsertRow(int index) {
  if (!owner_->HandleAllocated()) return;
  TListItem* it = items_[index].get();
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  item.iItem = index;
  item.pszText = it->caption_.data();
  item.iImage = it->imageIndex_;
  item.lParam = reinterpret_cast<LPARAM>(it);
  item.stateMask = LVIS_SELECTED;
  item.state = it->selected_ ? LVIS_SELECTED : 0;
  ++owner_->updatingRows_;
  Send(owner_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  --owner_->updatingRows_;
}
void TListItems::UpdateRow(int index) {
  if (!owner_->HandleAllocated() || index < 0) return;
  TListItem* it = items_[index].get();
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = index;
  item.pszText = it->caption_.data();
  item.iImage = it->imageIndex_;
  item.lParam = reinterpret_cast<LPARAM>(it);
  ++owner_->updatingRows_;
  Send(owner_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  --owner_->updatingRows_;
}
void TListItems::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  owner_->Delete(items_[index].get());
  ++owner_->updatingRows_;
  Send(owner_, LVM_DELETEITEM, index);
  --owner_->updatingRows_;
  items_.erase(items_.begin() + index);
}
void TListItems::Clear() {
  BeginUpdate();
  for (auto& i : items_) owner_->Delete(i.get());
  ++owner_->updatingRows_;
  Send(owner_, LVM_DELETEALLITEMS);
  --owner_->updatingRows_;
  items_.clear();
  EndUpdate();
}
void TListItems::Reorder(const std::vector<TListItem*>& order) {
  // a permutation of the present items, checked before anything moves
  std::vector<int> from;
  for (TListItem* it : order) from.push_back(IndexOf(it));
  std::vector<int> sorted = from;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i)
    if (order.size() != items_.size() || sorted[i] != static_cast<int>(i)) throw EListError(L"Invalid item order");
  // selection states travel with their items
  std::vector<bool> selected;
  for (TListItem* it : order) selected.push_back(it->Selected());
  std::vector<std::unique_ptr<TListItem>> next;
  next.reserve(items_.size());
  for (int i : from) next.push_back(std::move(items_[i]));
  items_ = std::move(next);
  BeginUpdate();
  for (int i = 0; i < Count(); ++i) {
    UpdateRow(i);
    items_[i]->SetSelected(selected[i]);
  }
  EndUpdate();
  if (owner_->HandleAllocated() && owner_->AutoArrange()) owner_->Arrange();
}
void TListItems::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count())
    throw EListError(L"List index out of bounds (" + IntToStr(from) + L")");
  std::vector<TListItem*> order;
  for (auto& i : items_) order.push_back(i.get());
  TListItem* moving = order[from];
  order.erase(order.begin() + from);
  order.insert(order.begin() + to, moving);
  Reorder(order);
}
void TListItems::BeginUpdate() {
  if (updates_++ == 0 && owner_->HandleAllocated()) Send(owner_, WM_SETREDRAW, FALSE);
}
void TListItems::EndUpdate() {
  if (updates_ > 0 && --updates_ == 0 && owner_->HandleAllocated()) {
    Send(owner_, WM_SETREDRAW, TRUE);
    ::InvalidateRect(owner_->HandleIfAllocated(), nullptr, TRUE);
  }
}
void TListItems::FillWindow() {
  for (int i = 0; i < Count(); ++i) InsertRow(i);
}

// ---- TCustomListView --------------------------------------------------------------------------
void TListView::Publish(TPublisher<TListView>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Enumeration(L"ViewStyle", {L"vsIcon", L"vsSmallIcon", L"vsList", L"vsReport"}, &TCustomListView::ViewStyle,
                &TCustomListView::SetViewStyle);
  p.Boolean(L"MultiSelect", &TCustomListView::MultiSelect, &TCustomListView::SetMultiSelect);
  p.Boolean(L"ReadOnly", &TCustomListView::ReadOnly, &TCustomListView::SetReadOnly);
  p.Boolean(L"HideSelection", &TCustomListView::HideSelection, &TCustomListView::SetHideSelection);
  p.Enumeration(L"BorderStyle", {L"bsNone", L"bsSingle"}, &TCustomListView::BorderStyle, &TCustomListView::SetBorderStyle);
  p.Enumeration(L"DragMode", {L"dmManual", L"dmAutomatic"}, &TCustomListView::DragMode, &TCustomListView::SetDragMode);
  p.Integer(L"ItemIndex", &TCustomListView::ItemIndex, &TCustomListView::SetItemIndex);
  p.Object(L"LargeImages", &TCustomListView::LargeImages, &TCustomListView::SetLargeImages);
  p.Object(L"SmallImages", &TCustomListView::SmallImages, &TCustomListView::SetSmallImages);
}
TCustomListView::TCustomListView(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TListItems>(this)), canvas_(std::make_unique<TControlCanvas>(this)) {
  // the window captures the mouse itself; clicks come from NM_CLICK and NM_DBLCLK
  controlStyle_ = 0;
  SetBounds(0, 0, 250, 150);
  SetTabStop(true);
  SetColor(clWindow);
}
TCustomListView::~TCustomListView() {
  for (TImageList* l : {largeImages_, smallImages_})
    if (l) l->RemoveChangeLink(this);
  if (HandleAllocated()) DestroyHandle();
  items_->BeginUpdate();
  for (int i = 0; i < items_->Count(); ++i) Delete(items_->Item(i));
}
void TCustomListView::CreateParams(TCreateParams& p) {
  InitCommonControlClasses();
  TWinControl::CreateParams(p);
  p.SysClassName = WC_LISTVIEWW;
  // image lists belong to their components
  p.Style |= LVS_SHAREIMAGELISTS;
  switch (viewStyle_) {
    case TViewStyle::vsIcon: p.Style |= LVS_ICON; break;
    case TViewStyle::vsSmallIcon: p.Style |= LVS_SMALLICON; break;
    case TViewStyle::vsList: p.Style |= LVS_LIST; break;
    case TViewStyle::vsReport: p.Style |= LVS_REPORT; break;
  }
  if (!multiSelect_) p.Style |= LVS_SINGLESEL;
  if (!readOnly_) p.Style |= LVS_EDITLABELS;
  if (!hideSelection_) p.Style |= LVS_SHOWSELALWAYS;
  if (autoArrange_) p.Style |= LVS_AUTOARRANGE;
  if (borderStyle_ == TBorderStyle::bsSingle) p.ExStyle |= WS_EX_CLIENTEDGE;
}
void TCustomListView::CreateWnd() {
  TWinControl::CreateWnd();
  ApplyImageLists();
  items_->FillWindow();
}
void TCustomListView::DestroyWnd() {
  // the rows go with the window; the items and their states stay
  for (int i = 0; i < items_->Count(); ++i) items_->Item(i)->selected_ = items_->Item(i)->Selected();
  recreating_ = true;
  TWinControl::DestroyWnd();
  recreating_ = false;
}
void TCustomListView::LinkImageList(TImageList* images) {
  if (!images) return;
  images->FreeNotification(this);
  // a resized list has a new handle (and a new cell size) for the window
  images->AddChangeLink(this, [this] { ApplyImageLists(); });
}
void TCustomListView::ApplyImageLists() {
  if (!HandleAllocated()) return;
  Send(this, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(largeImages_ ? largeImages_->Handle() : nullptr));
  Send(this, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(smallImages_ ? smallImages_->Handle() : nullptr));
}
void TCustomListView::Notification(TComponent* c, TOperation op) {
  TWinControl::Notification(c, op);
  if (op != TOperation::opRemove || (c != largeImages_ && c != smallImages_)) return;
  // the list is being destroyed (its links with it): only forget it
  if (c == largeImages_) largeImages_ = nullptr;
  if (c == smallImages_) smallImages_ = nullptr;
  ApplyImageLists();
}
void TCustomListView::SetViewStyle(TViewStyle v) {
  if (v == viewStyle_) return;
  viewStyle_ = v;
  SetStyleBits(this, LVS_TYPEMASK,
               v == TViewStyle::vsIcon ? LVS_ICON : v == TViewStyle::vsSmallIcon ? LVS_SMALLICON : v == TViewStyle::vsList ? LVS_LIST : LVS_REPORT);
}
void TCustomListView::SetMultiSelect(bool v) {
  if (v == multiSelect_) return;
  multiSelect_ = v;
  SetStyleBits(this, LVS_SINGLESEL, v ? 0 : LVS_SINGLESEL);
}
void TCustomListView::SetReadOnly(bool v) {
  if (v == readOnly_) return;
  readOnly_ = v;
  SetStyleBits(this, LVS_EDITLABELS, v ? 0 : LVS_EDITLABELS);
}
void TCustomListView::SetHideSelection(bool v) {
  if (v == hideSelection_) return;
  hideSelection_ = v;
  SetStyleBits(this, LVS_SHOWSELALWAYS, v ? 0 : LVS_SHOWSELALWAYS);
}
void TCustomListView::SetAutoArrange(bool v) {
  if (v == autoArrange_) return;
  autoArrange_ = v;
  SetStyleBits(this, LVS_AUTOARRANGE, v ? LVS_AUTOARRANGE : 0);
}
void TCustomListView::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  RecreateWnd();
}
void TCustomListView::SetLargeImages(TImageList* images) {
  if (largeImages_ && largeImages_ != smallImages_) {
    largeImages_->RemoveFreeNotification(this);
    largeImages_->RemoveChangeLink(this);
  }
  largeImages_ = images;
  LinkImageList(images);
  ApplyImageLists();
}
void TCustomListView::SetSmallImages(TImageList* images) {
  if (smallImages_ && smallImages_ != largeImages_) {
    smallImages_->RemoveFreeNotification(this);
    smallImages_->RemoveChangeLink(this);
  }
  smallImages_ = images;
  LinkImageList(images);
  ApplyImageLists();
}
TListItem* TCustomListView::Selected() const {
  if (!HandleAllocated()) {
    for (int i = 0; i < items_->Count(); ++i)
      if (items_->Item(i)->selected_) return items_->Item(i);
    return nullptr;
  }
  int i = static_cast<int>(Send(this, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return i >= 0 && i < items_->Count() ? items_->Item(i) : nullptr;
}
void TCustomListView::SetSelected(TListItem* item) {
  ClearSelection();
  if (item) {
    item->SetSelected(true);
    if (HandleAllocated()) {
      item->SetFocused(true);
      Send(this, LVM_ENSUREVISIBLE, item->Index(), FALSE);
    }
  }
}
int TCustomListView::ItemIndex() const {
  TListItem* s = Selected();
  return s ? s->Index() : -1;
}
void TCustomListView::SetItemIndex(int i) { SetSelected(i >= 0 && i < items_->Count() ? items_->Item(i) : nullptr); }
int TCustomListView::SelCount() const {
  if (HandleAllocated()) return static_cast<int>(Send(this, LVM_GETSELECTEDCOUNT));
  int n = 0;
  for (int i = 0; i < items_->Count(); ++i) n += items_->Item(i)->selected_ ? 1 : 0;
  return n;
}
TListItem* TCustomListView::ItemFocused() const {
  int i = static_cast<int>(Send(this, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  return HandleAllocated() && i >= 0 && i < items_->Count() ? items_->Item(i) : nullptr;
}
void TCustomListView::ClearSelection() {
  for (int i = 0; i < items_->Count(); ++i) items_->Item(i)->selected_ = false;
  if (HandleAllocated()) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    Send(this, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  }
}
TListItem* TCustomListView::GetItemAt(int x, int y) const {
  if (!HandleAllocated()) return nullptr;
  LVHITTESTINFO hit{};
  hit.pt = POINT{x, y};
  int i = static_cast<int>(Send(this, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (i < 0 || i >= items_->Count() || !(hit.flags & LVHT_ONITEM)) return nullptr;
  return items_->Item(i);
}
void TCustomListView::Arrange() { Send(this, LVM_ARRANGE, LVA_DEFAULT); }
void TCustomListView::Delete(TListItem* item) {
  if (OnDeletion) OnDeletion(this, item);
}

LRESULT TCustomListView::CustomDraw(NMLVCUSTOMDRAW* cd) {
  switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: {
      bool def = true;
      if (OnCustomDraw) {
        TNotifyDCBinding bind(canvas_.get(), cd->nmcd.hdc);
        OnCustomDraw(this, cd->nmcd.rc, def);
      }
      if (!def) return CDRF_SKIPDEFAULT;
      return OnCustomDrawItem ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
    }
    case CDDS_ITEMPREPAINT: {
      bool def = true;
      int index = static_cast<int>(cd->nmcd.dwItemSpec);
      if (OnCustomDrawItem && index >= 0 && index < items_->Count()) {
        TNotifyDCBinding bind(canvas_.get(), cd->nmcd.hdc);
        canvas_->Font()->Assign(Font());
        canvas_->Brush()->SetColor(Color());
        OnCustomDrawItem(this, items_->Item(index), cd->nmcd.uItemState, def);
      }
      return def ? CDRF_DODEFAULT : CDRF_SKIPDEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void TCustomListView::BeginDrag() {
  if (dragging_ || !HandleAllocated()) return;
  dragging_ = true;
  ::SetCapture(HandleIfAllocated());
}
bool TCustomListView::DragTargetAccepts(POINT screen, TControl** target, POINT* local) const {
  HWND w = ::WindowFromPoint(screen);
  TWinControl* wc = nullptr;
  for (; w && !wc; w = ::GetParent(w)) wc = FindControl(w);
  if (target) *target = wc;
  auto* lv = dynamic_cast<TCustomListView*>(wc);
  if (!lv || !lv->OnDragOver) return false;
  POINT p = screen;
  ::ScreenToClient(lv->HandleIfAllocated(), &p);
  if (local) *local = p;
  bool accept = false;
  lv->OnDragOver(lv, const_cast<TCustomListView*>(this), p.x, p.y, TDragState::dsDragMove, accept);
  return accept;
}
void TCustomListView::EndDragAt(POINT clientPoint, bool drop) {
  if (!dragging_) return;
  dragging_ = false;
  if (::GetCapture() == HandleIfAllocated()) ::ReleaseCapture();
  ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  if (drop) {
    POINT screen = clientPoint;
    ::ClientToScreen(HandleIfAllocated(), &screen);
    TControl* target = nullptr;
    POINT local{0, 0};
    if (DragTargetAccepts(screen, &target, &local))
      if (auto* lv = dynamic_cast<TCustomListView*>(target))
        if (lv->OnDragDrop) lv->OnDragDrop(lv, this, local.x, local.y);
  }
  if (OnEndDrag) OnEndDrag(this);
}

void TCustomListView::WndProc(TMessage& m) {
  if (dragging_) {
    switch (m.Msg) {
      case WM_MOUSEMOVE: {
        POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
        ::ClientToScreen(HandleIfAllocated(), &p);
        bool ok = DragTargetAccepts(p, nullptr, nullptr);
        ::SetCursor(::LoadCursorW(nullptr, ok ? IDC_ARROW : IDC_NO));
        return;
      }
      case WM_LBUTTONUP:
        EndDragAt(POINT{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))}, true);
        return;
      case WM_KEYDOWN:
        if (m.WParam == VK_ESCAPE) {
          EndDragAt(POINT{0, 0}, false);
          return;
        }
        break;
      case WM_CAPTURECHANGED:
      case WM_CANCELMODE:
        EndDragAt(POINT{0, 0}, false);
        break;
      default:
        break;
    }
  }
  if (m.Msg == CN_NOTIFY) {
    auto* h = reinterpret_cast<NMHDR*>(m.LParam);
    switch (h->code) {
      case NM_CUSTOMDRAW:
        m.Result = CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(m.LParam));
        return;
      case LVN_ITEMCHANGED: {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(m.LParam);
        if (updatingRows_ == 0 && (nm->uChanged & LVIF_STATE) && nm->iItem >= 0 && nm->iItem < items_->Count()) {
          bool was = (nm->uOldState & LVIS_SELECTED) != 0, now = (nm->uNewState & LVIS_SELECTED) != 0;
          if (was != now && OnSelectItem) OnSelectItem(this, items_->Item(nm->iItem), now);
          if (OnChange) OnChange(this);
        }
        m.Result = 0;
        return;
      }
      case LVN_BEGINDRAG:
        if (dragMode_ == TDragMode::dmAutomatic) BeginDrag();
        m.Result = 0;
        return;
      case LVN_BEGINLABELEDITW:
        m.Result = readOnly_ ? 1 : 0;
        return;
      case LVN_ENDLABELEDITW: {
        auto* di = reinterpret_cast<NMLVDISPINFOW*>(m.LParam);
        if (di->item.pszText && di->item.iItem >= 0 && di->item.iItem < items_->Count()) {
          items_->Item(di->item.iItem)->caption_ = di->item.pszText;
          m.Result = 1;
        } else {
          m.Result = 0;
        }
        return;
      }
      case NM_CLICK:
        Click();
        m.Result = 0;
        return;
      case NM_DBLCLK:
        DblClick();
        m.Result = 0;
        return;
      default:
        break;
    }
  }
  TWinControl::WndProc(m);
}

}  // namespace kivo
