#include "wButton.h"

#include <algorithm>

#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TButtonGlyph)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TwButton)

namespace {
// The one repeating button and its thread timer.
TwButton* gRepeating = nullptr;
UINT_PTR gRepeatTimer = 0;
// The arrow of the popup part, loaded from the resources on first use.
TBitmap* ArrowBitmap(bool enabled) {
  static std::unique_ptr<TBitmap> on, off;
  std::unique_ptr<TBitmap>& slot = enabled ? on : off;
  if (!slot) {
    slot = std::make_unique<TBitmap>();
    LoadGlyphResource(*slot, enabled ? L"WBTN_POPMENU" : L"WBTN_POPMENU_D");  // none: no arrow
  }
  return slot.get();
}
bool Usable(const TBitmap* b) { return b && !b->Empty() && b->Width() > 0 && b->Height() > 0; }
TBitmap* Pick(std::initializer_list<TBitmap*> choices) {
  for (TBitmap* b : choices)
    if (Usable(b)) return b;
  return nullptr;
}
}  // namespace

bool LoadGlyphResource(TBitmap& bitmap, const wchar_t* name) {
  if (!::FindResourceW(HInstance(), name, MAKEINTRESOURCEW(2))) return false;  // RT_BITMAP
  bitmap.LoadFromResourceName(HInstance(), name);
  return true;
}

// ---- TButtonGlyph -----------------------------------------------------------------------------------
TButtonGlyph::TButtonGlyph(TwButton* owner) : owner_(owner) {}
TButtonGlyph::~TButtonGlyph() = default;
void TButtonGlyph::Store(std::unique_ptr<TBitmap>& slot, TBitmap* b) {
  if (b) {
    if (!slot) slot = std::make_unique<TBitmap>();
    slot->Assign(b);
  } else {
    slot.reset();
  }
  if (owner_) owner_->Invalidate();
}
int TButtonGlyph::Width() const { return Usable(glyph_.get()) ? glyph_->Width() : 0; }
int TButtonGlyph::Height() const { return Usable(glyph_.get()) ? glyph_->Height() : 0; }
TBitmap* TButtonGlyph::CurrentGlyph() const {
  if (!owner_->Enabled()) return Pick({disabled_.get(), glyph_.get()});
  if (owner_->Down() || owner_->Pressed()) return Pick({down_.get(), downFocused_.get(), focused_.get(), glyph_.get()});
  if (owner_->Hovered()) return Pick({focused_.get(), glyph_.get()});
  return Pick({glyph_.get()});
}

// ---- TwButton -----------------------------------------------------------------------------------------
void TwButton::Publish(TPublisher<TwButton>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Enumeration(L"Alignment", {L"taLeftJustify", L"taRightJustify", L"taCenter"}, &TwButton::Alignment,
                &TwButton::SetAlignment);
  p.Integer(L"BorderColor", &TwButton::BorderColor, &TwButton::SetBorderColor);
  p.Enumeration(L"BorderStyle", {L"bsNone", L"bsSingle"}, &TwButton::BorderStyle, &TwButton::SetBorderStyle);
  p.Integer(L"ColorFocused", &TwButton::ColorFocused, &TwButton::SetColorFocused);
  p.Integer(L"ColorDisabled", &TwButton::ColorDisabled, &TwButton::SetColorDisabled);
  p.Integer(L"FontColorFocused", &TwButton::FontColorFocused, &TwButton::SetFontColorFocused);
  p.Integer(L"FontColorDisabled", &TwButton::FontColorDisabled, &TwButton::SetFontColorDisabled);
  p.Boolean(L"AllowAllUp", &TwButton::AllowAllUp, &TwButton::SetAllowAllUp);
  p.Boolean(L"Down", &TwButton::Down, &TwButton::SetDown);
  p.Boolean(L"Checked", &TwButton::Checked, &TwButton::SetChecked);
  p.Boolean(L"CheckMulti", &TwButton::CheckMulti, &TwButton::SetCheckMulti);
  p.Integer(L"RepeatInterval", &TwButton::RepeatInterval, &TwButton::SetRepeatInterval);
  p.Object(L"Glyph", &TwButton::Glyph, &TwButton::SetGlyph);
  p.Integer(L"GlyphCheckedLeft", &TwButton::GlyphCheckedLeft, &TwButton::SetGlyphCheckedLeft);
  p.Integer(L"GlyphCheckedTop", &TwButton::GlyphCheckedTop, &TwButton::SetGlyphCheckedTop);
  p.Integer(L"GlyphMargin", &TwButton::GlyphMargin, &TwButton::SetGlyphMargin);
  p.Integer(L"TextMargin", &TwButton::TextMargin, &TwButton::SetTextMargin);
  p.Enumeration(L"GlyphLayout", {L"glBack", L"glCenter", L"glLeft", L"glRight", L"glTop", L"glBottom"},
                &TwButton::GlyphLayout, &TwButton::SetGlyphLayout);
  p.Integer(L"NumGlyphs", &TwButton::NumGlyphs, &TwButton::SetNumGlyphs);
  p.Integer(L"GroupIndex", &TwButton::GroupIndex, &TwButton::SetGroupIndex);
  p.Integer(L"ModalResult", &TwButton::ModalResult, &TwButton::SetModalResult);
  p.Boolean(L"PushEffect", &TwButton::PushEffect, &TwButton::SetPushEffect);
  p.Boolean(L"Transparent", &TwButton::Transparent, &TwButton::SetTransparent);
  p.Object(L"PopupMenu", &TwButton::DropDownMenu, &TwButton::SetDropDownMenu);
}

TwButton::TwButton(TComponent* owner)
    : TGraphicControl(owner),
      glyph_(std::make_unique<TBitmap>()),
      glyphChecked_(std::make_unique<TButtonGlyph>(this)),
      glyphUnChecked_(std::make_unique<TButtonGlyph>(this)) {
  controlStyle_ |= csOpaque;
  SetColor(clWindow);
  colorFocused_ = clWindow;
  colorDisabled_ = clWindow;
  SetBounds(0, 0, 80, 25);
  glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TwButton::~TwButton() { StopRepeat(); }

void TwButton::BeforeDestruction() {
  StopRepeat();
  TGraphicControl::BeforeDestruction();
}

void TwButton::Loaded() {
  TGraphicControl::Loaded();
  for (auto* slot : {&glyphDisabled_, &glyphDown_, &glyphFocused_, &glyphDownFocused_})
    if (*slot && (*slot)->Empty()) slot->reset();
}

void TwButton::Notification(TComponent* c, TOperation op) {
  TGraphicControl::Notification(c, op);
  if (op == TOperation::opRemove && c == popupMenu_) popupMenu_ = nullptr;
}

#define KIVO_WB_SETTER(Name, field)   \
  void TwButton::Name(decltype(field) v) { \
    if (field == v) return;           \
    field = v;                        \
    Invalidate();                     \
  }
KIVO_WB_SETTER(SetAlignment, alignment_)
KIVO_WB_SETTER(SetBorderColor, borderColor_)
KIVO_WB_SETTER(SetBorderStyle, borderStyle_)
KIVO_WB_SETTER(SetColorFocused, colorFocused_)
KIVO_WB_SETTER(SetColorDisabled, colorDisabled_)
KIVO_WB_SETTER(SetFontColorFocused, fontColorFocused_)
KIVO_WB_SETTER(SetGlyphCheckedLeft, glyphCheckedLeft_)
KIVO_WB_SETTER(SetGlyphCheckedTop, glyphCheckedTop_)
KIVO_WB_SETTER(SetGlyphMargin, glyphMargin_)
KIVO_WB_SETTER(SetTextMargin, textMargin_)
KIVO_WB_SETTER(SetGlyphLayout, glyphLayout_)
KIVO_WB_SETTER(SetNumGlyphs, numGlyphs_)
KIVO_WB_SETTER(SetPushEffect, pushEffect_)
#undef KIVO_WB_SETTER

void TwButton::SetTransparent(bool v) {
  if (transparent_ == v) return;
  transparent_ = v;
  Invalidate();
}
void TwButton::SetDropDownMenu(TPopupMenu* m) {
  popupMenu_ = m;
  if (m) m->FreeNotification(this);
  Invalidate();
}

void TwButton::StoreGlyph(std::unique_ptr<TBitmap>& slot, TBitmap* b) {
  if (b) {
    if (!slot) slot = std::make_unique<TBitmap>();
    slot->Assign(b);
  } else {
    slot.reset();
  }
  Invalidate();
}
void TwButton::SetGlyph(TBitmap* b) {
  if (b) glyph_->Assign(b);
  else glyph_->SetSize(0, 0);
  Invalidate();
}
void TwButton::SetGlyphDisabled(TBitmap* b) { StoreGlyph(glyphDisabled_, b); }
void TwButton::SetGlyphDown(TBitmap* b) { StoreGlyph(glyphDown_, b); }
void TwButton::SetGlyphFocused(TBitmap* b) { StoreGlyph(glyphFocused_, b); }
void TwButton::SetGlyphDownFocused(TBitmap* b) { StoreGlyph(glyphDownFocused_, b); }

LRESULT TwButton::Broadcast(UINT msg) {
  if (!Parent()) return 0;
  const std::vector<TControl*> list = Parent()->ControlList();
  for (TControl* c : list) {
    if (c == this) continue;
    LRESULT r = c->Perform(msg, static_cast<WPARAM>(groupIndex_), reinterpret_cast<LPARAM>(this));
    if (r != 0) return r;
  }
  return 0;
}

void TwButton::SetDown(bool v) {
  if (groupIndex_ == 0) return;
  if (down_ == v) return;
  down_ = v;
  Invalidate();
  if (v) Broadcast(CM_GROUPDOWN);
}

void TwButton::SetChecked(bool v) {
  if (v == checked_) return;
  if (!v && (groupIndex_ == 0 || Broadcast(CM_QUERYCHECKED) == 0)) return;
  checked_ = v;
  Invalidate();
  if (v && !checkMulti_) Broadcast(CM_GROUPCHECKED);
  if (OnCheckChanged) OnCheckChanged(this);
}

void TwButton::SetGroupIndex(int g) {
  groupIndex_ = g;
  Broadcast(CM_GROUPDOWN);
}

void TwButton::SetRepeatInterval(int ms) {
  repeatInterval_ = ms;
  if (ms == 0) StopRepeat();
}

RECT TwButton::CheckRect() const {
  const int w = glyphChecked_->Width(), h = glyphChecked_->Height();
  return RECT{glyphCheckedLeft_, glyphCheckedTop_, glyphCheckedLeft_ + w, glyphCheckedTop_ + h};
}

RECT TwButton::ArrowRect() const {
  if (!popupMenu_) return RECT{0, 0, 0, 0};
  TBitmap* arrow = ArrowBitmap(true);
  const int w = (arrow->Empty() ? 0 : arrow->Width()) + 2 * glyphMargin_;
  return RECT{Width() - w, 0, Width(), Height()};
}

bool TwButton::CursorInside() const {
  POINT p;
  ::GetCursorPos(&p);
  p = ScreenToClient(p);
  RECT r = ClientRect();
  return ::PtInRect(&r, p) != FALSE;
}

bool TwButton::CursorOverArrow() const {
  if (!popupMenu_) return false;
  POINT p;
  ::GetCursorPos(&p);
  p = ScreenToClient(p);
  RECT r = ArrowRect();
  return ::PtInRect(&r, p) != FALSE;
}

// ---- Mouse ---------------------------------------------------------------------------------------------
void TwButton::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER:
      if (!hovered_ && Enabled()) {
        pressed_ = MouseCapture();  // the user comes back while holding the button
        if (pressed_ && repeatInterval_) StartRepeat();
        hovered_ = true;
        if (OnEnter) OnEnter(this);
      }
      Invalidate();
      return;
    case CM_MOUSELEAVE:
      StopRepeat();
      if (hovered_) {
        pressed_ = false;
        hovered_ = false;
        if (OnExit) OnExit(this);
      }
      Invalidate();
      return;
    case CM_GROUPDOWN: {
      auto* sender = reinterpret_cast<TwButton*>(m.LParam);
      if (sender != this && static_cast<int>(m.WParam) == groupIndex_ && down_ && (!sender || sender->down_)) {
        down_ = false;
        Invalidate();
      }
      return;
    }
    case CM_GROUPCHECKED: {
      auto* sender = reinterpret_cast<TwButton*>(m.LParam);
      if (sender != this && static_cast<int>(m.WParam) == groupIndex_ && checked_ && (!sender || sender->checked_)) {
        checked_ = false;
        Invalidate();
        if (OnCheckChanged) OnCheckChanged(this);
      }
      return;
    }
    case CM_QUERYCHECKED: {
      auto* sender = reinterpret_cast<TwButton*>(m.LParam);
      if (sender != this && static_cast<int>(m.WParam) == groupIndex_ && checked_) m.Result = 1;
      return;
    }
    case CM_ENABLEDCHANGED:
      if (!Enabled()) StopRepeat();
      Invalidate();
      return;
    case CM_COLORCHANGED:
      Invalidate();
      return;
    case WM_ERASEBKGND:
    case WM_CONTEXTMENU:
      m.Result = 1;
      return;
    default:
      break;
  }
  TGraphicControl::WndProc(m);
}

void TwButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != TMouseButton::mbLeft || !Enabled()) return;
  const RECT check = CheckRect();
  const POINT p{x, y};
  pressedOnCheck_ = check.right > check.left && ::PtInRect(&check, p);
  if (pressedOnCheck_) return;
  if (pressed_) return;
  pressed_ = true;
  Invalidate();
  if (CursorOverArrow() || !OnClick) PopupDropDown();
  else if (repeatInterval_) StartRepeat();
}

void TwButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  StopRepeat();
  if (button == TMouseButton::mbLeft && pressedOnCheck_) {
    pressedOnCheck_ = false;
    const RECT check = CheckRect();
    const POINT p{x, y};
    if (::PtInRect(&check, p)) {
      SetChecked(!checked_);
      return;
    }
  }
  TGraphicControl::MouseUp(button, shift, x, y);
  if (pressed_) {
    pressed_ = false;
    hovered_ = CursorInside();
    Invalidate();
  }
}

// While the button holds the mouse, moves still reach it off its area: leaving and coming back
// count as the cursor leaving and entering.
void TwButton::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!MouseCapture()) return;
  const RECT r = ClientRect();
  const bool inside = ::PtInRect(&r, POINT{x, y}) != FALSE;
  if (inside && !hovered_) Perform(CM_MOUSEENTER);
  else if (!inside && hovered_) Perform(CM_MOUSELEAVE);
}

void TwButton::Click() {
  if (clicking_ || CursorOverArrow() || pressedOnCheck_) return;
  clicking_ = true;
  struct TDone {
    TwButton* b;
    std::shared_ptr<bool> alive;
    ~TDone() {
      if (*alive) b->clicking_ = false;
    }
  } done{this, AliveToken()};
  if (TCustomForm* form = GetParentForm(this)) {
    if (modalResult_ != mrNone) form->SetModalResult(modalResult_);
  }
  if (groupIndex_ != 0) {
    if (!down_) SetDown(true);
    else if (allowAllUp_) SetDown(false);
  }
  TGraphicControl::Click();
}

void TwButton::DblClick() {
  if (OnDblClick) OnDblClick(this);
  else Click();
}

void TwButton::PopupDropDown() {
  if (!popupMenu_) return;
  SetMouseCapture(false);
  ExcludeControlState(csClicked | csLButtonDown);
  const POINT p = ClientToScreen(POINT{0, Height()});
  POINT cursor;
  ::GetCursorPos(&cursor);
  const POINT local = ScreenToClient(cursor);
  auto alive = AliveToken();
  popupMenu_->Popup(p.x, p.y);
  if (!*alive) return;
  MouseUp(TMouseButton::mbLeft, 0, local.x, local.y);
  if (CursorInside() && Parent() && Parent()->HandleAllocated()) {
    MSG msg;
    HWND h = Parent()->HandleIfAllocated();
    while (::PeekMessageW(&msg, h, WM_LBUTTONDOWN, WM_LBUTTONUP, PM_REMOVE)) {
    }
  }
}

// ---- Repeat ----------------------------------------------------------------------------------------------
void TwButton::StartRepeat() {
  if (gRepeating) return;
  gRepeating = this;
  if (!gRepeatTimer && repeatInterval_ != 0)
    gRepeatTimer = ::SetTimer(nullptr, 0, static_cast<UINT>(repeatInterval_), &TwButton::RepeatTimerProc);
}

void TwButton::StopRepeat() {
  if (gRepeating != this) return;
  gRepeating = nullptr;
  if (gRepeatTimer) ::KillTimer(nullptr, gRepeatTimer);
  gRepeatTimer = 0;
}

void CALLBACK TwButton::RepeatTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  TwButton* b = gRepeating;
  if (!b) return;
  auto alive = b->AliveToken();
  b->StopRepeat();
  b->Click();
  if (*alive && b->pressed_ && b->hovered_) b->StartRepeat();
}

// ---- Painting --------------------------------------------------------------------------------------------
TBitmap* TwButton::CreatePaintBitmap(HDC) {
  auto* bmp = new TBitmap();
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  bmp->SetSize(std::max(1, Width()), std::max(1, Height()));
  bmp->Canvas()->Brush()->SetColor(Color());
  bmp->Canvas()->FillRect(RECT{0, 0, bmp->Width(), bmp->Height()});
  return bmp;
}

void TwButton::DrawByKey(HDC dc, TBitmap* bitmap, int x, int y, int sx, int sw, int sh, bool solidBrush,
                         COLORREF brush) {
  if (solidBrush) {
    TBrushOwner b(::CreateSolidBrush(brush));
    RECT r{x, y, x + sw, y + sh};
    ::FillRect(dc, &r, b.Get());
  }
  ::TransparentBlt(dc, x, y, sw, sh, bitmap->Canvas()->Handle(), sx, 0, sw, sh,
                   ColorToRGB(bitmap->TransparentColor()));
}

void TwButton::Paint() {
  if (paintingParent_ || !Visible()) return;
  std::unique_ptr<TBitmap> bmp(CreatePaintBitmap(Canvas()->Handle()));
  HDC dc = bmp->Canvas()->Handle();
  const int w = Width(), h = Height();
  RECT content{0, 0, w, h};
  const bool framed = borderStyle_ == TwBorderStyle::bsSingle;
  const COLORREF pen = ColorToRGB(framed ? borderColor_ : Color());

  // background and brush
  bool solid = true;
  COLORREF brush = ColorToRGB(Color());
  if (transparent_ && Parent()) {
    paintingParent_ = true;
    const int saved = ::SaveDC(dc);
    ::SetViewportOrgEx(dc, -Left(), -Top(), nullptr);
    try {
      Parent()->PaintTo(dc, 0, 0);
    } catch (...) {
      ::RestoreDC(dc, saved);
      paintingParent_ = false;
      throw;
    }
    ::RestoreDC(dc, saved);
    paintingParent_ = false;
    solid = false;
  } else {
    if (!Enabled()) brush = ColorToRGB(colorDisabled_);
    else if (hovered_ || down_ || pressed_) brush = ColorToRGB(colorFocused_);
    TBrushOwner b(::CreateSolidBrush(brush));
    ::FillRect(dc, &content, b.Get());
  }

  // arrow part
  if (popupMenu_) {
    const RECT a = ArrowRect();
    TPenOwner p(::CreatePen(PS_SOLID, 1, pen));
    {
      TSelectObject sel(dc, p.Get());
      ::MoveToEx(dc, a.left, 0, nullptr);
      ::LineTo(dc, a.left, h);
    }
    TBitmap* arrow = ArrowBitmap(Enabled());
    if (Usable(arrow)) {
      int ax = a.left + (a.right - a.left - arrow->Width()) / 2;
      int ay = (h - arrow->Height()) / 2 + (pressed_ && CursorOverArrow() ? 1 : 0);
      DrawByKey(dc, arrow, ax, ay, 0, arrow->Width(), arrow->Height(), solid, brush);
    }
    content.right = a.left;
  }

  // push offset
  const bool push = pushEffect_ && (down_ || pressed_) && !Usable(glyphDown_.get()) && !CursorOverArrow();
  if (push) ::OffsetRect(&content, 1, 1);

  // main glyph
  TBitmap* g;
  if (!Enabled()) g = Pick({glyphDisabled_.get(), glyph_.get()});
  else if (down_ || pressed_) g = Pick({glyphDown_.get(), glyph_.get()});
  else if (hovered_) g = Pick({glyphFocused_.get(), glyph_.get()});
  else g = Pick({glyph_.get()});
  RECT textArea = content;
  if (g) {
    const int cells = numGlyphs_ < 2 ? 1 : numGlyphs_;
    const int cw = g->Width() / cells, ch = g->Height();
    const int cell = (numGlyphs_ >= 2 && !Enabled()) ? 1 : 0;
    const int sx = cell * cw;
    const int cx = content.right - content.left, cy = content.bottom - content.top;
    int x = content.left + (cx - cw) / 2, y = content.top + (cy - ch) / 2;
    switch (glyphLayout_) {
      case TGlyphLayout::glBack: {
        ::SetStretchBltMode(dc, HALFTONE);
        if (transparent_) {
          ::TransparentBlt(dc, content.left, content.top, cx, cy, g->Canvas()->Handle(), sx, 0, cw, ch,
                           ColorToRGB(g->TransparentColor()));
        } else {
          ::StretchBlt(dc, content.left, content.top, cx, cy, g->Canvas()->Handle(), sx, 0, cw, ch, SRCCOPY);
        }
        g = nullptr;
        break;
      }
      case TGlyphLayout::glCenter: break;
      case TGlyphLayout::glLeft:
        x = content.left + glyphMargin_;
        textArea.left = x + cw + 2 + textMargin_;
        break;
      case TGlyphLayout::glRight:
        x = content.right - glyphMargin_ - cw;
        textArea.right = x - 2 - textMargin_;
        break;
      case TGlyphLayout::glTop:
        y = content.top + glyphMargin_;
        textArea.top = y + ch + 2 + textMargin_;
        break;
      case TGlyphLayout::glBottom:
        y = content.bottom - glyphMargin_ - ch;
        textArea.bottom = y - 2 - textMargin_;
        break;
    }
    if (g && cw > 0) {
      if (transparent_) DrawByKey(dc, g, x, y, sx, cw, ch, solid, brush);
      else ::BitBlt(dc, x, y, cw, ch, g->Canvas()->Handle(), sx, 0, SRCCOPY);
    }
  }

  // caption
  const std::wstring caption = Caption();
  if (!caption.empty()) {
    solid = false;
    TCanvas* c = bmp->Canvas();
    c->Font()->Assign(Font());
    ::SetBkMode(dc, TRANSPARENT);
    UINT fmt = DT_SINGLELINE | DT_VCENTER;
    fmt |= alignment_ == TAlignment::taCenter ? DT_CENTER : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_LEFT;
    TSelectObject font(dc, Font()->Handle());
    if (!Enabled()) {
      RECT r = textArea;
      ::OffsetRect(&r, 1, 1);
      ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
      ::DrawTextW(dc, caption.c_str(), -1, &r, fmt);
      ::SetTextColor(dc, ::GetSysColor(COLOR_BTNSHADOW));
    } else {
      ::SetTextColor(dc, ColorToRGB(hovered_ ? fontColorFocused_ : Font()->Color()));
    }
    ::DrawTextW(dc, caption.c_str(), -1, &textArea, fmt);
  }

  // check mark
  TBitmap* mark = (checked_ ? glyphChecked_ : glyphUnChecked_)->CurrentGlyph();
  if (mark) {
    const int off = push ? 1 : 0;
    DrawByKey(dc, mark, glyphCheckedLeft_ + off, glyphCheckedTop_ + off, 0, mark->Width(), mark->Height(), solid,
              brush);
  }

  // frame
  if (framed) {
    TPenOwner p(::CreatePen(PS_SOLID, 1, pen));
    TSelectObject sp(dc, p.Get());
    TSelectObject sb(dc, ::GetStockObject(NULL_BRUSH));
    const int shrink = push ? 1 : 0;
    ::Rectangle(dc, 0, 0, w - shrink, h - shrink);
  }

  ::BitBlt(Canvas()->Handle(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
}

}  // namespace kivo
