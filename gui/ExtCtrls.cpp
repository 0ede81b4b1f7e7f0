#include "ExtCtrls.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TTimer)
KIVO_IMPLEMENT_CLASS(TCustomPanel)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPanel)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPage)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TNotebook)

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

// ---- TPage, TNotebook --------------------------------------------------------------------------
void TPage::Publish(TPublisher<TPage>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
}
TPage::TPage(TComponent* owner) : TCustomControl(owner) {
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks | csParentBackground;
  SetParentColor(true);
  SetVisible(false);
  SetAlign(TAlign::alClient);
}

// The page names; each line's object is its page.
class TNotebook::TPageList : public TStrings {
 public:
  explicit TPageList(TNotebook* book) : book_(book) {}
  int Count() const override { return static_cast<int>(book_->list_.size()); }
  std::wstring Get(int index) const override { return At(index)->Caption(); }
  TObject* GetObject(int index) const override { return At(index); }
  void Put(int index, const std::wstring& s) override { At(index)->SetCaption(s); }
  void PutObject(int, TObject*) override {}
  void Insert(int index, const std::wstring& s) override {
    if (index < 0 || index > Count()) Error(L"List index out of bounds (%d)", index);
    auto* page = new TPage(book_);
    page->SetCaption(s);
    page->SetParent(book_);
    book_->list_.insert(book_->list_.begin() + index, page);
    if (book_->pageIndex_ >= index && book_->pageIndex_ >= 0) ++book_->pageIndex_;
    if (book_->pageIndex_ < 0) book_->pageIndex_ = 0;
    book_->ShowPage();
  }
  void Delete(int index) override {
    TPage* page = At(index);
    book_->list_.erase(book_->list_.begin() + index);
    page->Free();
    int n = Count();
    if (book_->pageIndex_ > index || book_->pageIndex_ >= n) --book_->pageIndex_;
    if (book_->pageIndex_ < 0 && n > 0) book_->pageIndex_ = 0;
    book_->ShowPage();
  }
  void Clear() override {
    while (Count() > 0) Delete(Count() - 1);
  }

 private:
  TPage* At(int index) const {
    if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
    return book_->list_[index];
  }
  TNotebook* book_;
};

void TNotebook::Publish(TPublisher<TNotebook>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Object(L"Pages", &TNotebook::Pages, &TNotebook::SetPages);
  p.Integer(L"PageIndex", &TNotebook::PageIndex, &TNotebook::SetPageIndex);
  p.String(L"ActivePage", &TNotebook::ActivePage, &TNotebook::SetActivePage);
}
TNotebook::TNotebook(TComponent* owner) : TCustomControl(owner), pages_(std::make_unique<TPageList>(this)) {
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks;
  SetBounds(0, 0, 150, 150);
}
TNotebook::~TNotebook() {
  // pages are owned components; forget them before they go
  list_.clear();
}
int TNotebook::PageCount() const { return static_cast<int>(list_.size()); }
TPage* TNotebook::Page(int index) const { return list_.at(index); }
TPage* TNotebook::FindPage(std::wstring_view name) const {
  for (TPage* p : list_)
    if (SameText(p->Caption(), name)) return p;
  return nullptr;
}
void TNotebook::SetPageIndex(int i) {
  if (i < 0 || i >= PageCount() || i == pageIndex_) return;
  pageIndex_ = i;
  ShowPage();
  if (OnPageChanged) OnPageChanged(this);
}
std::wstring TNotebook::ActivePage() const { return pageIndex_ >= 0 ? list_[pageIndex_]->Caption() : std::wstring(); }
void TNotebook::SetActivePage(const std::wstring& name) {
  for (int i = 0; i < PageCount(); ++i)
    if (SameText(list_[i]->Caption(), name)) {
      SetPageIndex(i);
      return;
    }
}
void TNotebook::ShowPage() {
  TPage* active = pageIndex_ >= 0 && pageIndex_ < PageCount() ? list_[pageIndex_] : nullptr;
  if (active) {
    active->BringToFront();
    active->SetVisible(true);
  }
  for (TPage* p : list_)
    if (p != active) p->SetVisible(false);
}

}  // namespace kivo
