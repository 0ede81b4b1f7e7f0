#include "StdCtrls.h"

#include <algorithm>

#include "WinControlUtil.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TCustomLabel)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TLabel)
KIVO_IMPLEMENT_CLASS(TCustomStaticText)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TStaticText)
KIVO_IMPLEMENT_CLASS(TButtonControl)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TButton)
KIVO_IMPLEMENT_CLASS(TCustomCheckBox)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TCheckBox)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TRadioButton)
KIVO_IMPLEMENT_CLASS(TCustomGroupBox)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TGroupBox)
KIVO_IMPLEMENT_CLASS(TCustomEdit)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TEdit)
KIVO_IMPLEMENT_CLASS(TCustomMemo)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TMemo)
KIVO_IMPLEMENT_CLASS(TControlItems)
KIVO_IMPLEMENT_CLASS(TItemListControl)
KIVO_IMPLEMENT_CLASS(TCustomComboBox)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TComboBox)
KIVO_IMPLEMENT_CLASS(TCustomListBox)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TListBox)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TScrollBar)

namespace {
const std::vector<std::wstring> kAlignmentNames{L"taLeftJustify", L"taRightJustify", L"taCenter"};
const std::vector<std::wstring> kLeftRightNames{L"taLeftJustify", L"taRightJustify"};
const std::vector<std::wstring> kBorderStyleNames{L"bsNone", L"bsSingle"};

// Default drawing of an owner-drawn item of a list: the highlight when selected and the item's text.
void DrawListItem(TCanvas* canvas, TControl* c, const TStrings* items, int index, const RECT& r, TOwnerDrawState state) {
  std::wstring text = index >= 0 && index < items->Count() ? items->Get(index) : L"";
  bool selected = (state & odSelected) != 0;
  canvas->Brush()->SetColor(selected ? clHighlight : c->Color());
  canvas->FillRect(r);
  canvas->Font()->Assign(c->Font());
  if (selected) canvas->Font()->SetColor(clHighlightText);
  canvas->Brush()->SetStyle(TBrushStyle::bsClear);
  canvas->TextRect(r, r.left + 2, r.top, text);
  canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
}

// The owner-draw notifications of a list or combo box: CN_DRAWITEM hands the item to draw with the
// canvas bound to its DC, CN_MEASUREITEM sets the height measure gives for the item. False for
// any other message.
template <class Draw, class Measure>
bool OwnerDrawMessage(TMessage& m, TCanvas* canvas, Draw draw, Measure measure) {
  if (m.Msg == CN_DRAWITEM) {
    auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
    TNotifyDCBinding bind(canvas, d->hDC);
    draw(*d);
    m.Result = 1;
    return true;
  }
  if (m.Msg == CN_MEASUREITEM) {
    auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
    mi->itemHeight = measure(static_cast<int>(mi->itemID));
    m.Result = 1;
    return true;
  }
  return false;
}
}  // namespace

// ---- TCustomLabel -----------------------------------------------------------------------------
TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks;
  SetBounds(0, 0, 65, 17);
  SetParentColor(true);
}
void TCustomLabel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Invalidate();
}
void TCustomLabel::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  AdjustBounds();
}
void TCustomLabel::SetLayout(TTextLayout l) {
  if (l == layout_) return;
  layout_ = l;
  Invalidate();
}
void TCustomLabel::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  if (v) controlStyle_ &= ~csOpaque;
  else controlStyle_ |= csOpaque;
  Invalidate();
}
void TCustomLabel::SetWordWrap(bool v) {
  if (v == wordWrap_) return;
  wordWrap_ = v;
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::SetShowAccelChar(bool v) {
  if (v == showAccelChar_) return;
  showAccelChar_ = v;
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::SetFocusControl(TWinControl* c) {
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = c;
  if (c) c->FreeNotification(this);
}
void TCustomLabel::Notification(TComponent* c, TOperation op) {
  TGraphicControl::Notification(c, op);
  if (op == TOperation::opRemove && c == focusControl_) focusControl_ = nullptr;
}
void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}
UINT TCustomLabel::DrawFlags() const {
  UINT f = DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0);
  if (!showAccelChar_) f |= DT_NOPREFIX;
  f |= alignment_ == TAlignment::taCenter ? DT_CENTER : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_LEFT;
  return f;
}
void TCustomLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  TWindowDC screen(nullptr);
  TSelectObject font(screen.Get(), Font()->Handle());
  std::wstring text = Caption();
  if (text.empty()) text = L" ";
  RECT r{0, 0, wordWrap_ ? Width() : 0, 0};
  ::DrawTextW(screen.Get(), text.c_str(), static_cast<int>(text.size()), &r, DrawFlags() | DT_CALCRECT);
  int left = Left();
  if (alignment_ == TAlignment::taRightJustify && !wordWrap_) left += Width() - r.right;
  SetBounds(left, Top(), r.right, r.bottom);
}
void TCustomLabel::Paint() {
  TCanvas* c = Canvas();
  RECT r = ClientRect();
  if (!transparent_) {
    c->Brush()->SetColor(Color());
    c->FillRect(r);
  }
  std::wstring text = Caption();
  if (text.empty()) return;
  HDC dc = c->Handle();
  TSelectObject font(dc, Font()->Handle());
  int mode = ::SetBkMode(dc, TRANSPARENT);
  COLORREF old = ::SetTextColor(dc, ColorToRGB(Enabled() ? Font()->Color() : clGrayText));
  UINT flags = DrawFlags();
  if (layout_ != TTextLayout::tlTop) {
    RECT calc = r;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, flags | DT_CALCRECT);
    int h = calc.bottom - calc.top;
    if (layout_ == TTextLayout::tlBottom) r.top = r.bottom - h;
    else r.top = (r.bottom - h) / 2;
  }
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
  ::SetTextColor(dc, old);
  ::SetBkMode(dc, mode);
}
void TCustomLabel::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      AdjustBounds();
      Invalidate();
      return;
    case CM_DIALOGCHAR:
      // the accelerator of the caption focuses FocusControl
      if (showAccelChar_ && focusControl_ && Enabled() && focusControl_->CanFocus()) {
        std::wstring t = UpperCase(Caption());
        size_t amp = t.find(L'&');
        wchar_t key = UpperCase(std::wstring(1, static_cast<wchar_t>(m.WParam)))[0];
        if (amp != std::wstring::npos && amp + 1 < t.size() && t[amp + 1] == key) {
          focusControl_->SetFocus();
          m.Result = 1;
          return;
        }
      }
      break;
    default:
      break;
  }
  TGraphicControl::WndProc(m);
}
void TLabel::Publish(TPublisher<TLabel>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Enumeration(L"Alignment", kAlignmentNames, &TCustomLabel::Alignment, &TCustomLabel::SetAlignment);
  p.Boolean(L"AutoSize", &TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize);
  p.Enumeration(L"Layout", {L"tlTop", L"tlCenter", L"tlBottom"}, &TCustomLabel::Layout, &TCustomLabel::SetLayout);
  p.Boolean(L"Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent);
  p.Boolean(L"WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap);
  p.Boolean(L"ShowAccelChar", &TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar);
  p.Object(L"FocusControl", &TCustomLabel::FocusControl, &TCustomLabel::SetFocusControl);
}

// ---- TCustomStaticText, TStaticText -----------------------------------------------------------
TCustomStaticText::TCustomStaticText(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  SetParentColor(true);
}
void TCustomStaticText::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.SysClassName = L"STATIC";
  p.Style |= alignment_ == TAlignment::taCenter ? SS_CENTER : alignment_ == TAlignment::taRightJustify ? SS_RIGHT : SS_LEFT;
  if (!showAccelChar_) p.Style |= SS_NOPREFIX;
  // clicks reach the control (a plain static answers HTTRANSPARENT)
  p.Style |= SS_NOTIFY;
}
void TCustomStaticText::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  RecreateWnd();
}
void TCustomStaticText::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  Invalidate();
}
void TCustomStaticText::SetShowAccelChar(bool v) {
  if (v == showAccelChar_) return;
  showAccelChar_ = v;
  RecreateWnd();
}
void TCustomStaticText::WndProc(TMessage& m) {
  if (m.Msg == CN_CTLCOLORSTATIC && transparent_ && Parent()) {
    // the text on the parent's own background
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    TWinControl::WndProc(m);
    ::SetBkMode(dc, TRANSPARENT);
    m.Result = reinterpret_cast<LRESULT>(Parent()->Perform(CN_CTLCOLORSTATIC, m.WParam, m.LParam));
    ::SetTextColor(dc, ColorToRGB(Font()->Color()));
    return;
  }
  TWinControl::WndProc(m);
}
void TStaticText::Publish(TPublisher<TStaticText>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Enumeration(L"Alignment", kAlignmentNames, &TCustomStaticText::Alignment, &TCustomStaticText::SetAlignment);
  p.Boolean(L"Transparent", &TCustomStaticText::Transparent, &TCustomStaticText::SetTransparent);
  p.Boolean(L"ShowAccelChar", &TCustomStaticText::ShowAccelChar, &TCustomStaticText::SetShowAccelChar);
}

// ---- TButtonControl, TButton ------------------------------------------------------------------
TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {
  // the system button captures the mouse and reports clicks itself
  controlStyle_ = csSetCaption | csDoubleClicks;
  SetTabStop(true);
  // check boxes and radio buttons take their container's colour behind the text
  SetParentColor(true);
}
void TButtonControl::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.SysClassName = L"BUTTON";
}
void TButtonControl::WndProc(TMessage& m) {
  if (m.Msg == CN_COMMAND) {
    if (HIWORD(m.WParam) == BN_CLICKED) ButtonClicked();
    return;
  }
  TWinControl::WndProc(m);
}

void TButton::Publish(TPublisher<TButton>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Integer(L"ModalResult", &TButton::ModalResult, &TButton::SetModalResult);
  p.Boolean(L"Default", &TButton::Default, &TButton::SetDefault);
  p.Boolean(L"Cancel", &TButton::Cancel, &TButton::SetCancel);
}
TButton::TButton(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 75, 25); }
void TButton::CreateParams(TCreateParams& p) {
  TButtonControl::CreateParams(p);
  p.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}
void TButton::SetDefault(bool v) {
  if (v == default_) return;
  default_ = v;
  if (HandleAllocated())
    ::SendMessageW(HandleIfAllocated(), BM_SETSTYLE, v ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}
void TButton::Click() {
  if (modalResult_ != mrNone)
    if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(modalResult_);
  TButtonControl::Click();
}
void TButton::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGKEY) {
    bool enter = m.WParam == VK_RETURN && default_, escape = m.WParam == VK_ESCAPE && cancel_;
    if ((enter || escape) && Visible() && Enabled()) {
      Click();
      m.Result = 1;
      return;
    }
    m.Result = 0;
    return;
  }
  TButtonControl::WndProc(m);
}

// ---- TCustomCheckBox, TRadioButton ------------------------------------------------------------
TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 97, 17); }
void TCustomCheckBox::CreateParams(TCreateParams& p) {
  TButtonControl::CreateParams(p);
  // not automatic: the object owns the state
  p.Style |= BS_3STATE;
  if (alignment_ == TLeftRight::taLeftJustify) p.Style |= BS_LEFTTEXT;
}
void TCustomCheckBox::CreateWnd() {
  TButtonControl::CreateWnd();
  ::SendMessageW(HandleIfAllocated(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}
void TCustomCheckBox::SetState(TCheckBoxState s) {
  if (s == state_) return;
  state_ = s;
  Send(this, BM_SETCHECK, static_cast<WPARAM>(s), 0);
  Click();
  Perform(CM_STATECHANGED);
}
void TCustomCheckBox::SetAlignment(TLeftRight a) {
  if (a == alignment_) return;
  alignment_ = a;
  SetStyleBit(this, BS_LEFTTEXT, a == TLeftRight::taLeftJustify);
}
void TCustomCheckBox::Toggle() {
  switch (state_) {
    case TCheckBoxState::cbUnchecked:
      SetState(TCheckBoxState::cbChecked);
      break;
    case TCheckBoxState::cbChecked:
      SetState(allowGrayed_ ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked);
      break;
    case TCheckBoxState::cbGrayed:
      SetState(TCheckBoxState::cbUnchecked);
      break;
  }
}
void TCustomCheckBox::ButtonClicked() { Toggle(); }
void TCheckBox::Publish(TPublisher<TCheckBox>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Boolean(L"Checked", &TCustomCheckBox::Checked, &TCustomCheckBox::SetChecked);
  p.Enumeration(L"State", {L"cbUnchecked", L"cbChecked", L"cbGrayed"}, &TCustomCheckBox::State, &TCustomCheckBox::SetState);
  p.Boolean(L"AllowGrayed", &TCustomCheckBox::AllowGrayed, &TCustomCheckBox::SetAllowGrayed);
  p.Enumeration(L"Alignment", kLeftRightNames, &TCustomCheckBox::Alignment, &TCustomCheckBox::SetAlignment);
}

void TRadioButton::Publish(TPublisher<TRadioButton>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Boolean(L"Checked", &TRadioButton::Checked, &TRadioButton::SetChecked);
  p.Enumeration(L"Alignment", kLeftRightNames, &TRadioButton::Alignment, &TRadioButton::SetAlignment);
}
TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 113, 17); }
void TRadioButton::CreateParams(TCreateParams& p) {
  TButtonControl::CreateParams(p);
  p.Style |= BS_RADIOBUTTON;
  if (alignment_ == TLeftRight::taLeftJustify) p.Style |= BS_LEFTTEXT;
}
void TRadioButton::CreateWnd() {
  TButtonControl::CreateWnd();
  ::SendMessageW(HandleIfAllocated(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}
void TRadioButton::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  Send(this, BM_SETCHECK, v ? BST_CHECKED : BST_UNCHECKED, 0);
  if (v) {
    if (Parent())
      for (TControl* c : std::vector<TControl*>(Parent()->ControlList()))
        if (c != this)
          if (auto* r = dynamic_cast<TRadioButton*>(c)) r->SetChecked(false);
    Click();
  }
  Perform(CM_STATECHANGED);
}
void TRadioButton::SetAlignment(TLeftRight a) {
  if (a == alignment_) return;
  alignment_ = a;
  SetStyleBit(this, BS_LEFTTEXT, a == TLeftRight::taLeftJustify);
}
void TRadioButton::ButtonClicked() { SetChecked(true); }

// ---- TCustomGroupBox --------------------------------------------------------------------------
TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TCustomControl(owner) {
  controlStyle_ = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks | csParentBackground;
  SetBounds(0, 0, 185, 105);
  SetParentColor(true);
}
void TCustomGroupBox::AlignControls(TControl* control, RECT& rect) {
  TWindowDC screen(nullptr);
  TSelectObject font(screen.Get(), Font()->Handle());
  TEXTMETRICW tm{};
  ::GetTextMetricsW(screen.Get(), &tm);
  rect.top += tm.tmHeight;
  ::InflateRect(&rect, -1, -1);
  TCustomControl::AlignControls(control, rect);
}
void TCustomGroupBox::Paint() {
  TCanvas* c = Canvas();
  RECT r = ClientRect();
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  HDC dc = c->Handle();
  TSelectObject font(dc, Font()->Handle());
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  RECT frame{r.left, r.top + tm.tmHeight / 2, r.right, r.bottom};
  ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  std::wstring text = Caption();
  if (!text.empty()) {
    RECT tr{8, 0, 0, tm.tmHeight};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, DT_SINGLELINE | DT_CALCRECT);
    tr.right += 2;
    ::SetBkColor(dc, ColorToRGB(Color()));
    ::SetBkMode(dc, OPAQUE);
    COLORREF old = ::SetTextColor(dc, ColorToRGB(Enabled() ? Font()->Color() : clGrayText));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, DT_SINGLELINE | DT_CENTER);
    ::SetTextColor(dc, old);
  }
}
void TCustomGroupBox::WndProc(TMessage& m) {
  if (m.Msg == CM_TEXTCHANGED || m.Msg == CM_FONTCHANGED) {
    Invalidate();
    if (m.Msg == CM_FONTCHANGED) TCustomControl::WndProc(m);
    Realign();
    return;
  }
  TCustomControl::WndProc(m);
}
void TGroupBox::Publish(TPublisher<TGroupBox>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  PublishParentBackground(p);
}

// ---- TCustomEdit ------------------------------------------------------------------------------
TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csSetCaption | csDoubleClicks;
  SetBounds(0, 0, 121, 21);
  SetTabStop(true);
}
void TCustomEdit::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.SysClassName = L"EDIT";
  p.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
  if (readOnly_) p.Style |= ES_READONLY;
  if (charCase_ == TEditCharCase::ecUpperCase) p.Style |= ES_UPPERCASE;
  if (charCase_ == TEditCharCase::ecLowerCase) p.Style |= ES_LOWERCASE;
  if (borderStyle_ == TBorderStyle::bsSingle) p.ExStyle |= WS_EX_CLIENTEDGE;
}
void TCustomEdit::CreateWnd() {
  creating_ = true;
  try {
    TWinControl::CreateWnd();
  } catch (...) {
    creating_ = false;
    throw;
  }
  creating_ = false;
  HWND h = HandleIfAllocated();
  ::SendMessageW(h, EM_LIMITTEXT, maxLength_, 0);
  if (passwordChar_) ::SendMessageW(h, EM_SETPASSWORDCHAR, passwordChar_, 0);
  ::SendMessageW(h, EM_SETMODIFY, modified_, 0);
  ::SendMessageW(h, EM_SETSEL, selStart_, selStart_ + selLength_);
}
void TCustomEdit::DestroyWnd() {
  modified_ = Modified();
  selStart_ = SelStart();
  selLength_ = SelLength();
  TWinControl::DestroyWnd();
}
bool TCustomEdit::Modified() const {
  if (HandleAllocated()) return ::SendMessageW(HandleIfAllocated(), EM_GETMODIFY, 0, 0) != 0;
  return modified_;
}
void TCustomEdit::SetModified(bool v) {
  modified_ = v;
  Send(this, EM_SETMODIFY, v, 0);
}
void TCustomEdit::SetReadOnly(bool v) {
  if (v == readOnly_) return;
  readOnly_ = v;
  Send(this, EM_SETREADONLY, v, 0);
}
void TCustomEdit::SetMaxLength(int n) {
  maxLength_ = n < 0 ? 0 : n;
  Send(this, EM_LIMITTEXT, maxLength_, 0);
}
void TCustomEdit::SetPasswordChar(wchar_t c) {
  if (c == passwordChar_) return;
  passwordChar_ = c;
  if (HandleAllocated()) {
    ::SendMessageW(HandleIfAllocated(), EM_SETPASSWORDCHAR, c, 0);
    Invalidate();
  }
}
void TCustomEdit::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  RecreateWnd();
}
void TCustomEdit::SetCharCase(TEditCharCase c) {
  if (c == charCase_) return;
  charCase_ = c;
  if (HandleAllocated()) {
    SetStyleBit(this, ES_UPPERCASE, c == TEditCharCase::ecUpperCase);
    SetStyleBit(this, ES_LOWERCASE, c == TEditCharCase::ecLowerCase);
    if (c == TEditCharCase::ecUpperCase) SetText(UpperCase(Text()));
    if (c == TEditCharCase::ecLowerCase) SetText(LowerCase(Text()));
  }
}
int TCustomEdit::SelStart() const {
  if (!HandleAllocated()) return selStart_;
  DWORD s = 0, e = 0;
  ::SendMessageW(HandleIfAllocated(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  return static_cast<int>(s);
}
void TCustomEdit::SetSelStart(int v) {
  selStart_ = v;
  selLength_ = 0;
  Send(this, EM_SETSEL, v, v);
}
int TCustomEdit::SelLength() const {
  if (!HandleAllocated()) return selLength_;
  DWORD s = 0, e = 0;
  ::SendMessageW(HandleIfAllocated(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  return static_cast<int>(e - s);
}
void TCustomEdit::SetSelLength(int v) {
  int start = SelStart();
  selLength_ = v;
  Send(this, EM_SETSEL, start, start + v);
}
std::wstring TCustomEdit::SelText() const {
  std::wstring t = Text();
  int s = std::min<int>(SelStart(), static_cast<int>(t.size()));
  return t.substr(s, SelLength());
}
void TCustomEdit::SetSelText(const std::wstring& s) {
  const_cast<TCustomEdit*>(this)->HandleNeeded();
  ::SendMessageW(HandleIfAllocated(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(s.c_str()));
}
void TCustomEdit::SelectAll() {
  Send(this, EM_SETSEL, 0, -1);
}
void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}
void TCustomEdit::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      if (HIWORD(m.WParam) == EN_CHANGE && !creating_) Change();
      return;
    case CM_TEXTCHANGED:
      // a window makes EN_CHANGE itself, except a multi-line one
      if (!HandleAllocated() || (::GetWindowLongW(HandleIfAllocated(), GWL_STYLE) & ES_MULTILINE)) Change();
      TWinControl::WndProc(m);
      return;
    case WM_SETFOCUS:
      TWinControl::WndProc(m);
      if (autoSelect_ && !(::GetWindowLongW(HandleIfAllocated(), GWL_STYLE) & ES_MULTILINE)) SelectAll();
      return;
    default:
      break;
  }
  TWinControl::WndProc(m);
}
void TEdit::Publish(TPublisher<TEdit>& p) {
  PublishText(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Boolean(L"ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly);
  p.Integer(L"MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength);
  p.Integer(L"PasswordChar", &TCustomEdit::PasswordChar, &TCustomEdit::SetPasswordChar);
  p.Enumeration(L"BorderStyle", kBorderStyleNames, &TCustomEdit::BorderStyle, &TCustomEdit::SetBorderStyle);
  p.Enumeration(L"CharCase", {L"ecNormal", L"ecUpperCase", L"ecLowerCase"}, &TCustomEdit::CharCase, &TCustomEdit::SetCharCase);
  p.Boolean(L"AutoSelect", &TCustomEdit::AutoSelect, &TCustomEdit::SetAutoSelect);
}

// ---- TCustomMemo ------------------------------------------------------------------------------
// The lines of the memo's text (separated by CR LF; a last line break adds no line).
class TCustomMemo::TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TCustomMemo* memo) : memo_(memo) {}
  int Count() const override { return static_cast<int>(Lines().size()); }
  std::wstring Get(int index) const override {
    auto l = Lines();
    if (index < 0 || index >= static_cast<int>(l.size())) Error(L"List index out of bounds (%d)", index);
    return l[index];
  }
  void Put(int index, const std::wstring& s) override {
    auto l = Lines();
    if (index < 0 || index >= static_cast<int>(l.size())) Error(L"List index out of bounds (%d)", index);
    l[index] = s;
    Store(l);
  }
  void Insert(int index, const std::wstring& s) override {
    auto l = Lines();
    if (index < 0 || index > static_cast<int>(l.size())) Error(L"List index out of bounds (%d)", index);
    l.insert(l.begin() + index, s);
    Store(l);
  }
  void Delete(int index) override {
    auto l = Lines();
    if (index < 0 || index >= static_cast<int>(l.size())) Error(L"List index out of bounds (%d)", index);
    l.erase(l.begin() + index);
    Store(l);
  }
  void Clear() override { memo_->SetText(L""); }

 private:
  std::vector<std::wstring> Lines() const {
    TStringList l;
    l.SetText(memo_->Text());
    return l.ToVector();
  }
  void Store(const std::vector<std::wstring>& l) {
    std::wstring t;
    for (size_t i = 0; i < l.size(); ++i) {
      if (i) t += L"\r\n";
      t += l[i];
    }
    memo_->SetText(t);
  }
  TCustomMemo* memo_;
};

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner), lines_(std::make_unique<TMemoStrings>(this)) {
  SetBounds(0, 0, 185, 89);
  SetAutoSelect(false);
}
TCustomMemo::~TCustomMemo() = default;
void TCustomMemo::CreateParams(TCreateParams& p) {
  TCustomEdit::CreateParams(p);
  p.Style &= ~(wordWrap_ ? ES_AUTOHSCROLL : 0);
  p.Style |= ES_MULTILINE;
  if (wantReturns_) p.Style |= ES_WANTRETURN;
  if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth) p.Style |= WS_VSCROLL;
  if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth) p.Style |= WS_HSCROLL;
}
void TCustomMemo::SetScrollBars(TScrollStyle s) {
  if (s == scrollBars_) return;
  scrollBars_ = s;
  RecreateWnd();
}
void TCustomMemo::SetWordWrap(bool v) {
  if (v == wordWrap_) return;
  wordWrap_ = v;
  RecreateWnd();
}
void TCustomMemo::WndProc(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    TCustomEdit::WndProc(m);
    if (!wantTabs_) m.Result &= ~DLGC_WANTTAB;
    return;
  }
  TCustomEdit::WndProc(m);
}
void TMemo::Publish(TPublisher<TMemo>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Object(L"Lines", &TCustomMemo::Lines, &TCustomMemo::SetLines);
  p.Boolean(L"ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly);
  p.Integer(L"MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength);
  p.Enumeration(L"BorderStyle", kBorderStyleNames, &TCustomEdit::BorderStyle, &TCustomEdit::SetBorderStyle);
  p.Enumeration(L"ScrollBars", {L"ssNone", L"ssHorizontal", L"ssVertical", L"ssBoth"}, &TCustomMemo::ScrollBars,
                &TCustomMemo::SetScrollBars);
  p.Boolean(L"WordWrap", &TCustomMemo::WordWrap, &TCustomMemo::SetWordWrap);
  p.Boolean(L"WantReturns", &TCustomMemo::WantReturns, &TCustomMemo::SetWantReturns);
  p.Boolean(L"WantTabs", &TCustomMemo::WantTabs, &TCustomMemo::SetWantTabs);
}

// ---- TControlItems ----------------------------------------------------------------------------
std::wstring TControlItems::Get(int index) const {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  return items_[index].s;
}
TObject* TControlItems::GetObject(int index) const {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  return items_[index].obj;
}
void TControlItems::PutObject(int index, TObject* obj) {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  items_[index].obj = obj;
}
void TControlItems::InsertIntoWindow(int index) {
  if (!control_->HandleAllocated()) return;
  ::SendMessageW(control_->HandleIfAllocated(), msgs_.Insert, index, reinterpret_cast<LPARAM>(items_[index].s.c_str()));
}
void TControlItems::Put(int index, const std::wstring& s) {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  items_[index].s = s;
  if (control_->HandleAllocated()) {
    HWND h = control_->HandleIfAllocated();
    // a replaced line keeps its selection
    UINT getSel = msgs_.Insert == LB_INSERTSTRING ? LB_GETCURSEL : CB_GETCURSEL;
    UINT setSel = msgs_.Insert == LB_INSERTSTRING ? LB_SETCURSEL : CB_SETCURSEL;
    LRESULT sel = ::SendMessageW(h, getSel, 0, 0);
    ::SendMessageW(h, msgs_.Delete, index, 0);
    InsertIntoWindow(index);
    if (sel == index) ::SendMessageW(h, setSel, index, 0);
  }
}
void TControlItems::Insert(int index, const std::wstring& s) {
  if (index < 0 || index > Count()) Error(L"List index out of bounds (%d)", index);
  items_.insert(items_.begin() + index, Item{s, nullptr});
  InsertIntoWindow(index);
}
void TControlItems::Delete(int index) {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  items_.erase(items_.begin() + index);
  if (control_->HandleAllocated()) ::SendMessageW(control_->HandleIfAllocated(), msgs_.Delete, index, 0);
}
void TControlItems::Clear() {
  items_.clear();
  if (control_->HandleAllocated()) ::SendMessageW(control_->HandleIfAllocated(), msgs_.Reset, 0, 0);
}
void TControlItems::FillWindow() {
  if (!control_->HandleAllocated()) return;
  ::SendMessageW(control_->HandleIfAllocated(), msgs_.Reset, 0, 0);
  for (int i = 0; i < Count(); ++i) InsertIntoWindow(i);
}

// ---- TItemListControl -------------------------------------------------------------------------
TItemListControl::TItemListControl(TComponent* owner, TControlItems::TMessages messages)
    : TWinControl(owner), items_(std::make_unique<TControlItems>(this, messages)), canvas_(std::make_unique<TControlCanvas>(this)) {}
TItemListControl::~TItemListControl() = default;
void TItemListControl::DrawItem(int index, const RECT& rect, TOwnerDrawState state) {
  if (OnDrawItem) OnDrawItem(this, index, rect, state);
  else DrawListItem(canvas_.get(), this, items_.get(), index, rect, state);
}

// ---- TCustomComboBox --------------------------------------------------------------------------
TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TItemListControl(owner, TControlItems::TMessages{CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT}) {
  controlStyle_ = csSetCaption | csDoubleClicks;
  SetBounds(0, 0, 145, 21);
  SetTabStop(true);
  SetColor(clWindow);
}
TCustomComboBox::~TCustomComboBox() {
  if (HandleAllocated()) DestroyHandle();
}
void TCustomComboBox::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.SysClassName = L"COMBOBOX";
  p.Style |= WS_VSCROLL | CBS_AUTOHSCROLL;
  switch (style_) {
    case TComboBoxStyle::csDropDown: p.Style |= CBS_DROPDOWN; break;
    case TComboBoxStyle::csSimple: p.Style |= CBS_SIMPLE; break;
    case TComboBoxStyle::csDropDownList: p.Style |= CBS_DROPDOWNLIST; break;
    case TComboBoxStyle::csOwnerDrawFixed: p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS; break;
    case TComboBoxStyle::csOwnerDrawVariable: p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS; break;
  }
  // the window's height includes the dropped-down list
  if (style_ != TComboBoxStyle::csSimple) p.Height = Height() + itemHeight_ * dropDownCount_ + 2;
}
void TCustomComboBox::CreateWnd() {
  std::wstring text = text_;
  TWinControl::CreateWnd();
  items_->FillWindow();
  HWND h = HandleIfAllocated();
  if (itemIndex_ >= 0) ::SendMessageW(h, CB_SETCURSEL, itemIndex_, 0);
  else if (style_ == TComboBoxStyle::csDropDown || style_ == TComboBoxStyle::csSimple)
    ::SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
void TCustomComboBox::DestroyWnd() {
  itemIndex_ = ItemIndex();
  TWinControl::DestroyWnd();
}
void TCustomComboBox::ApplyBounds(int left, int top, int width, int height) {
  if (HandleAllocated() && style_ != TComboBoxStyle::csSimple) {
    ::SetWindowPos(HandleIfAllocated(), nullptr, left, top, width, height + itemHeight_ * dropDownCount_ + 2,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  TWinControl::ApplyBounds(left, top, width, height);
}
int TCustomComboBox::ItemIndex() const {
  if (HandleAllocated()) return static_cast<int>(::SendMessageW(HandleIfAllocated(), CB_GETCURSEL, 0, 0));
  return itemIndex_;
}
void TCustomComboBox::SetItemIndex(int i) {
  if (i < -1 || i >= items_->Count()) i = -1;
  itemIndex_ = i;
  Send(this, CB_SETCURSEL, i, 0);
}
void TCustomComboBox::SetStyle(TComboBoxStyle s) {
  if (s == style_) return;
  style_ = s;
  RecreateWnd();
}
void TCustomComboBox::SetDropDownCount(int n) { dropDownCount_ = n < 1 ? 1 : n; }
void TCustomComboBox::SetItemHeight(int h) {
  if (h <= 0 || h == itemHeight_) return;
  itemHeight_ = h;
  if (HandleAllocated() && style_ >= TComboBoxStyle::csOwnerDrawFixed) ::SendMessageW(HandleIfAllocated(), CB_SETITEMHEIGHT, 0, h);
}
bool TCustomComboBox::DroppedDown() const {
  return HandleAllocated() && ::SendMessageW(HandleIfAllocated(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}
void TCustomComboBox::SetDroppedDown(bool v) {
  const_cast<TCustomComboBox*>(this)->HandleNeeded();
  ::SendMessageW(HandleIfAllocated(), CB_SHOWDROPDOWN, v, 0);
}
std::wstring TCustomComboBox::GetText() const {
  if (!HandleAllocated() && (style_ != TComboBoxStyle::csDropDown && style_ != TComboBoxStyle::csSimple))
    return itemIndex_ >= 0 ? items_->Get(itemIndex_) : std::wstring();
  return TWinControl::GetText();
}
void TCustomComboBox::SetText(const std::wstring& s) {
  if (style_ != TComboBoxStyle::csDropDown && style_ != TComboBoxStyle::csSimple) {
    // a list without an edit shows only its items
    int i = items_->IndexOf(s);
    SetItemIndex(i);
    return;
  }
  TWinControl::SetText(s);
}
void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}
void TCustomComboBox::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      switch (HIWORD(m.WParam)) {
        case CBN_SELCHANGE:
          itemIndex_ = ItemIndex();
          Click();
          if (OnSelect) OnSelect(this);
          else Change();
          break;
        case CBN_EDITCHANGE:
          Change();
          break;
        case CBN_DROPDOWN:
          if (OnDropDown) OnDropDown(this);
          break;
        case CBN_CLOSEUP:
          if (OnCloseUp) OnCloseUp(this);
          break;
        default:
          break;
      }
      return;
    default:
      break;
  }
  auto draw = [this](const DRAWITEMSTRUCT& d) {
    DrawItem(static_cast<int>(d.itemID), d.rcItem, static_cast<TOwnerDrawState>(d.itemState));
  };
  auto measure = [this](int item) {
    int h = itemHeight_;
    if (style_ == TComboBoxStyle::csOwnerDrawVariable && OnMeasureItem && item >= 0) OnMeasureItem(this, item, h);
    return h;
  };
  if (OwnerDrawMessage(m, canvas_.get(), draw, measure)) return;
  TWinControl::WndProc(m);
}
void TComboBox::Publish(TPublisher<TComboBox>& p) {
  PublishText(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Object(L"Items", &TCustomComboBox::Items, &TCustomComboBox::SetItems);
  p.Integer(L"ItemIndex", &TCustomComboBox::ItemIndex, &TCustomComboBox::SetItemIndex);
  p.Enumeration(L"Style", {L"csDropDown", L"csSimple", L"csDropDownList", L"csOwnerDrawFixed", L"csOwnerDrawVariable"},
                &TCustomComboBox::Style, &TCustomComboBox::SetStyle);
  p.Integer(L"DropDownCount", &TCustomComboBox::DropDownCount, &TCustomComboBox::SetDropDownCount);
  p.Integer(L"ItemHeight", &TCustomComboBox::ItemHeight, &TCustomComboBox::SetItemHeight);
}

// ---- TCustomListBox ---------------------------------------------------------------------------
TCustomListBox::TCustomListBox(TComponent* owner)
    : TItemListControl(owner, TControlItems::TMessages{LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT}) {
  // clicks come from LBN_SELCHANGE, double clicks from LBN_DBLCLK
  controlStyle_ = csSetCaption;
  SetBounds(0, 0, 121, 97);
  SetTabStop(true);
  SetColor(clWindow);
}
TCustomListBox::~TCustomListBox() {
  if (HandleAllocated()) DestroyHandle();
}
void TCustomListBox::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.SysClassName = L"LISTBOX";
  p.Style |= LBS_NOTIFY | WS_VSCROLL | LBS_NOINTEGRALHEIGHT;
  if (style_ == TListBoxStyle::lbOwnerDrawFixed) p.Style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
  if (style_ == TListBoxStyle::lbOwnerDrawVariable) p.Style |= LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS;
  if (multiSelect_) p.Style |= LBS_EXTENDEDSEL;
  if (borderStyle_ == TBorderStyle::bsSingle) p.ExStyle |= WS_EX_CLIENTEDGE;
}
void TCustomListBox::CreateWnd() {
  TWinControl::CreateWnd();
  items_->FillWindow();
  if (itemIndex_ >= 0) SetItemIndex(itemIndex_);
}
void TCustomListBox::DestroyWnd() {
  itemIndex_ = ItemIndex();
  TWinControl::DestroyWnd();
}
int TCustomListBox::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex_;
  UINT msg = multiSelect_ ? LB_GETCARETINDEX : LB_GETCURSEL;
  int i = static_cast<int>(::SendMessageW(HandleIfAllocated(), msg, 0, 0));
  // a multi-select box answers its caret, which an empty box still has at 0
  if (multiSelect_ && (i < 0 || i >= items_->Count() || !Selected(i))) return -1;
  return i;
}
void TCustomListBox::SetItemIndex(int i) {
  if (i < -1 || i >= items_->Count()) i = -1;
  itemIndex_ = i;
  if (!HandleAllocated()) return;
  HWND h = HandleIfAllocated();
  if (multiSelect_) {
    ::SendMessageW(h, LB_SETSEL, FALSE, -1);
    if (i >= 0) {
      ::SendMessageW(h, LB_SETSEL, TRUE, i);
      ::SendMessageW(h, LB_SETCARETINDEX, i, FALSE);
    }
  } else {
    ::SendMessageW(h, LB_SETCURSEL, i, 0);
  }
}
void TCustomListBox::SetStyle(TListBoxStyle s) {
  if (s == style_) return;
  style_ = s;
  RecreateWnd();
}
int TCustomListBox::ItemHeight() const {
  if (HandleAllocated() && style_ == TListBoxStyle::lbStandard)
    return static_cast<int>(::SendMessageW(HandleIfAllocated(), LB_GETITEMHEIGHT, 0, 0));
  return itemHeight_;
}
void TCustomListBox::SetItemHeight(int h) {
  if (h <= 0 || h == itemHeight_) return;
  itemHeight_ = h;
  if (style_ != TListBoxStyle::lbStandard) RecreateWnd();
}
void TCustomListBox::SetMultiSelect(bool v) {
  if (v == multiSelect_) return;
  multiSelect_ = v;
  RecreateWnd();
}
bool TCustomListBox::Selected(int index) const {
  if (index < 0 || index >= items_->Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  if (!HandleAllocated()) return index == itemIndex_;
  return ::SendMessageW(HandleIfAllocated(), LB_GETSEL, index, 0) > 0;
}
void TCustomListBox::SetSelected(int index, bool v) {
  if (index < 0 || index >= items_->Count()) throw EListError(L"List index out of bounds (" + IntToStr(index) + L")");
  HandleNeeded();
  if (multiSelect_) ::SendMessageW(HandleIfAllocated(), LB_SETSEL, v, index);
  else ::SendMessageW(HandleIfAllocated(), LB_SETCURSEL, v ? index : -1, 0);
}
int TCustomListBox::SelCount() const {
  if (!HandleAllocated()) return itemIndex_ >= 0 ? 1 : 0;
  if (!multiSelect_) return ItemIndex() >= 0 ? 1 : 0;
  return static_cast<int>(::SendMessageW(HandleIfAllocated(), LB_GETSELCOUNT, 0, 0));
}
int TCustomListBox::TopIndex() const {
  return static_cast<int>(Send(this, LB_GETTOPINDEX));
}
void TCustomListBox::SetTopIndex(int i) {
  Send(this, LB_SETTOPINDEX, i, 0);
}
int TCustomListBox::ItemAtPos(POINT p, bool existing) const {
  if (!HandleAllocated()) return -1;
  LRESULT r = ::SendMessageW(HandleIfAllocated(), LB_ITEMFROMPOINT, 0, MAKELPARAM(p.x, p.y));
  int index = LOWORD(r);
  bool outside = HIWORD(r) != 0;
  if (outside) return existing ? -1 : items_->Count();
  return index;
}
RECT TCustomListBox::ItemRect(int index) const {
  RECT r{0, 0, 0, 0};
  Send(this, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  return r;
}
void TCustomListBox::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  RecreateWnd();
}
void TCustomListBox::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      if (HIWORD(m.WParam) == LBN_SELCHANGE) {
        itemIndex_ = ItemIndex();
        Click();
      } else if (HIWORD(m.WParam) == LBN_DBLCLK) {
        DblClick();
      }
      return;
    default:
      break;
  }
  auto draw = [this](const DRAWITEMSTRUCT& d) {
    DrawItem(static_cast<int>(d.itemID), d.rcItem, static_cast<TOwnerDrawState>(d.itemState));
    if ((d.itemState & ODS_FOCUS) && !OnDrawItem) ::DrawFocusRect(d.hDC, &d.rcItem);
  };
  auto measure = [this](int item) {
    int h = itemHeight_;
    if (style_ == TListBoxStyle::lbOwnerDrawVariable && OnMeasureItem) OnMeasureItem(this, item, h);
    return h;
  };
  if (OwnerDrawMessage(m, canvas_.get(), draw, measure)) return;
  TWinControl::WndProc(m);
}
void TListBox::Publish(TPublisher<TListBox>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Object(L"Items", &TCustomListBox::Items, &TCustomListBox::SetItems);
  p.Integer(L"ItemIndex", &TCustomListBox::ItemIndex, &TCustomListBox::SetItemIndex);
  p.Enumeration(L"Style", {L"lbStandard", L"lbOwnerDrawFixed", L"lbOwnerDrawVariable"}, &TCustomListBox::Style,
                &TCustomListBox::SetStyle);
  p.Integer(L"ItemHeight", &TCustomListBox::ItemHeight, &TCustomListBox::SetItemHeight);
  p.Boolean(L"MultiSelect", &TCustomListBox::MultiSelect, &TCustomListBox::SetMultiSelect);
  p.Enumeration(L"BorderStyle", kBorderStyleNames, &TCustomListBox::BorderStyle, &TCustomListBox::SetBorderStyle);
}

// ---- TScrollBar -------------------------------------------------------------------------------
void TScrollBar::Publish(TPublisher<TScrollBar>& p) {
  PublishVisibility(p);
  PublishAlign(p);
  PublishTabs(p);
  p.Enumeration(L"Kind", {L"sbHorizontal", L"sbVertical"}, &TScrollBar::Kind, &TScrollBar::SetKind);
  p.Integer(L"Min", &TScrollBar::Min, &TScrollBar::SetMin);
  p.Integer(L"Max", &TScrollBar::Max, &TScrollBar::SetMax);
  p.Integer(L"Position", &TScrollBar::Position, &TScrollBar::SetPosition);
  p.Integer(L"SmallChange", &TScrollBar::SmallChange, &TScrollBar::SetSmallChange);
  p.Integer(L"LargeChange", &TScrollBar::LargeChange, &TScrollBar::SetLargeChange);
  p.Integer(L"PageSize", &TScrollBar::PageSize, &TScrollBar::SetPageSize);
}
TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
  controlStyle_ = csDoubleClicks;
  SetBounds(0, 0, 121, ::GetSystemMetrics(SM_CYHSCROLL));
  SetTabStop(true);
}
void TScrollBar::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.SysClassName = L"SCROLLBAR";
  p.Style |= kind_ == TScrollBarKind::sbHorizontal ? SBS_HORZ : SBS_VERT;
}
void TScrollBar::CreateWnd() {
  TWinControl::CreateWnd();
  UpdateScrollInfo();
}
void TScrollBar::SetKind(TScrollBarKind k) {
  if (k == kind_) return;
  kind_ = k;
  if (!IsLoading()) SetBounds(Left(), Top(), Height(), Width());
  RecreateWnd();
}
int TScrollBar::MaxPosition() const { return pageSize_ > 1 ? std::max(min_, max_ - pageSize_ + 1) : max_; }
void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) throw EInvalidOperation(L"Scroll bar property out of range");
  min_ = min;
  max_ = max;
  if (position < min_) position = min_;
  if (position > MaxPosition()) position = MaxPosition();
  bool changed = position != position_;
  position_ = position;
  UpdateScrollInfo();
  if (changed) Change();
}
void TScrollBar::SetPageSize(int v) {
  if (v < 0 || v > max_ - min_ + 1) throw EInvalidOperation(L"Scroll bar property out of range");
  pageSize_ = v;
  SetParams(position_, min_, max_);
}
void TScrollBar::UpdateScrollInfo() {
  if (!HandleAllocated()) return;
  SCROLLINFO si{sizeof(si), SIF_ALL | SIF_DISABLENOSCROLL, min_, max_, static_cast<UINT>(pageSize_), position_, 0};
  ::SetScrollInfo(HandleIfAllocated(), SB_CTL, &si, TRUE);
}
void TScrollBar::Change() {
  if (OnChange) OnChange(this);
}
void TScrollBar::Scroll(TScrollCode code, int& pos) {
  if (OnScroll) OnScroll(this, code, pos);
}
void TScrollBar::WndProc(TMessage& m) {
  if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
    int code = LOWORD(m.WParam);
    int pos = position_;
    switch (code) {
      case SB_LINEUP: pos -= smallChange_; break;
      case SB_LINEDOWN: pos += smallChange_; break;
      case SB_PAGEUP: pos -= largeChange_; break;
      case SB_PAGEDOWN: pos += largeChange_; break;
      case SB_THUMBPOSITION:
      case SB_THUMBTRACK: {
        // the 32-bit track position (the message carries only 16 bits)
        SCROLLINFO si{sizeof(si), SIF_TRACKPOS | SIF_POS, 0, 0, 0, 0, 0};
        if (::GetScrollInfo(HandleIfAllocated(), SB_CTL, &si)) pos = si.nTrackPos;
        else pos = static_cast<short>(HIWORD(m.WParam));
        break;
      }
      case SB_TOP: pos = min_; break;
      case SB_BOTTOM: pos = max_; break;
      case SB_ENDSCROLL: break;
      default: m.Result = 0; return;
    }
    if (pos < min_) pos = min_;
    if (pos > MaxPosition()) pos = MaxPosition();
    Scroll(static_cast<TScrollCode>(code), pos);
    SetPosition(pos);
    m.Result = 0;
    return;
  }
  TWinControl::WndProc(m);
}

}  // namespace kivo
