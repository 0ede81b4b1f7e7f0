#include "Buttons.h"

#include <algorithm>

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TSpeedButton)

void TSpeedButton::Publish(TPublisher<TSpeedButton>& p) {
  PublishCaption(p);
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Object(L"Glyph", &TSpeedButton::Glyph, &TSpeedButton::SetGlyph);
  p.Integer(L"NumGlyphs", &TSpeedButton::NumGlyphs, &TSpeedButton::SetNumGlyphs);
  p.Boolean(L"Down", &TSpeedButton::Down, &TSpeedButton::SetDown);
  p.Integer(L"GroupIndex", &TSpeedButton::GroupIndex, &TSpeedButton::SetGroupIndex);
  p.Boolean(L"AllowAllUp", &TSpeedButton::AllowAllUp, &TSpeedButton::SetAllowAllUp);
  p.Boolean(L"Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat);
  p.Enumeration(L"Layout", {L"blGlyphLeft", L"blGlyphRight", L"blGlyphTop", L"blGlyphBottom"}, &TSpeedButton::Layout,
                &TSpeedButton::SetLayout);
  p.Integer(L"Margin", &TSpeedButton::Margin, &TSpeedButton::SetMargin);
  p.Integer(L"Spacing", &TSpeedButton::Spacing, &TSpeedButton::SetSpacing);
  p.Boolean(L"Transparent", &TSpeedButton::Transparent, &TSpeedButton::SetTransparent);
}

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner), glyph_(std::make_unique<TBitmap>()) {
  controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  SetBounds(0, 0, 23, 22);
  SetParentColor(true);
  glyph_->OnChange = [this](TObject*) { Invalidate(); };
}
TSpeedButton::~TSpeedButton() { glyph_->OnChange = nullptr; }

void TSpeedButton::SetGlyph(TBitmap* b) {
  if (b) glyph_->Assign(b);
  else glyph_->SetSize(0, 0);
  // a strip of square parts tells how many parts it has
  if (b && !glyph_->Empty() && glyph_->Height() > 0 && glyph_->Width() % glyph_->Height() == 0) {
    int n = glyph_->Width() / glyph_->Height();
    numGlyphs_ = n >= 1 && n <= 4 ? n : 1;
  }
  Invalidate();
}
SIZE TSpeedButton::GlyphSize() const {
  if (glyph_->Empty()) return SIZE{0, 0};
  return SIZE{glyph_->Width() / numGlyphs_, glyph_->Height()};
}
void TSpeedButton::DrawGlyph(HDC dc, int x, int y) {
  SIZE g = GlyphSize();
  if (g.cx <= 0 || g.cy <= 0) return;
  // the part of the state; a strip without it falls back to the down part, then the up one
  int part = static_cast<int>(state_);
  if (state_ == TButtonState::bsExclusive && numGlyphs_ < 4) part = static_cast<int>(TButtonState::bsDown);
  if (part >= numGlyphs_) part = 0;
  HDC src = glyph_->Canvas()->Handle();
  ::TransparentBlt(dc, x, y, g.cx, g.cy, src, part * g.cx, 0, g.cx, g.cy, ColorToRGB(glyph_->TransparentColor()));
}
void TSpeedButton::SetNumGlyphs(int n) {
  n = std::max(1, std::min(4, n));
  if (n == numGlyphs_) return;
  numGlyphs_ = n;
  Invalidate();
}
void TSpeedButton::SetDown(bool v) {
  if (groupIndex_ == 0) v = false;
  if (v == down_) return;
  if (down_ && !allowAllUp_) return;
  down_ = v;
  state_ = v ? TButtonState::bsExclusive : TButtonState::bsUp;
  Invalidate();
  if (v) UpdateExclusive();
}
void TSpeedButton::SetGroupIndex(int g) {
  if (g == groupIndex_) return;
  groupIndex_ = g;
  UpdateExclusive();
}
void TSpeedButton::SetAllowAllUp(bool v) {
  if (v == allowAllUp_) return;
  allowAllUp_ = v;
  UpdateExclusive();
}
void TSpeedButton::SetFlat(bool v) {
  if (v == flat_) return;
  flat_ = v;
  Invalidate();
}
void TSpeedButton::SetLayout(TButtonLayout l) {
  if (l == layout_) return;
  layout_ = l;
  Invalidate();
}
void TSpeedButton::SetMargin(int m) {
  if (m == margin_) return;
  margin_ = m;
  Invalidate();
}
void TSpeedButton::SetSpacing(int s) {
  if (s == spacing_) return;
  spacing_ = s;
  Invalidate();
}
void TSpeedButton::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  if (v) controlStyle_ &= ~csOpaque;
  else controlStyle_ |= csOpaque;
  Invalidate();
}
// The other buttons of the group go up and take this one's AllowAllUp.
void TSpeedButton::UpdateExclusive() {
  if (groupIndex_ == 0 || !Parent()) return;
  for (TControl* c : Parent()->ControlList()) {
    auto* b = dynamic_cast<TSpeedButton*>(c);
    if (!b || b == this || b->groupIndex_ != groupIndex_) continue;
    if (down_ && b->down_) {
      b->down_ = false;
      b->state_ = TButtonState::bsUp;
      b->Invalidate();
    }
    b->allowAllUp_ = allowAllUp_;
  }
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button == TMouseButton::mbLeft && Enabled() && !down_) {
    state_ = TButtonState::bsDown;
    Invalidate();
  }
}
void TSpeedButton::Click() {
  // a click of a grouped button toggles it before OnClick
  if (groupIndex_ != 0) SetDown(!down_);
  TGraphicControl::Click();
}
void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft) {
    TButtonState s = down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    if (s != state_) {
      state_ = s;
      Invalidate();
    }
  }
  TGraphicControl::MouseUp(button, shift, x, y);
}
void TSpeedButton::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      mouseIn_ = m.Msg == CM_MOUSEENTER;
      if (flat_) Invalidate();
      break;
    case CM_ENABLEDCHANGED:
      state_ = Enabled() ? (down_ ? TButtonState::bsExclusive : TButtonState::bsUp) : TButtonState::bsDisabled;
      break;
    default:
      break;
  }
  TGraphicControl::WndProc(m);
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  RECT r = ClientRect();
  HDC dc = c->Handle();
  bool pressed = state_ == TButtonState::bsDown || state_ == TButtonState::bsExclusive;
  if (!transparent_ || !flat_) {
    c->Brush()->SetColor(Color());
    c->FillRect(r);
  }
  if (!flat_ || pressed || (mouseIn_ && Enabled())) {
    RECT e = r;
    ::DrawEdge(dc, &e, pressed ? (flat_ ? BDR_SUNKENOUTER : EDGE_SUNKEN) : (flat_ ? BDR_RAISEDINNER : EDGE_RAISED), BF_RECT);
  }
  // glyph and caption laid out together in the client area
  SIZE g = GlyphSize();
  bool hasGlyph = g.cx > 0;
  std::wstring text = Caption();
  TSelectObject font(dc, Font()->Handle());
  RECT tr{0, 0, 0, 0};
  if (!text.empty()) ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, DT_SINGLELINE | DT_CALCRECT);
  int tw = tr.right, th = tr.bottom;
  bool horizontal = layout_ == TButtonLayout::blGlyphLeft || layout_ == TButtonLayout::blGlyphRight;
  int space = (hasGlyph && !text.empty()) ? spacing_ : 0;
  int total = horizontal ? g.cx + space + tw : g.cy + space + th;
  int extent = horizontal ? r.right : r.bottom;
  int start = margin_ >= 0 ? margin_ : (extent - total) / 2;
  int shift = pressed ? 1 : 0;
  POINT gp{0, 0}, tp{0, 0};
  switch (layout_) {
    case TButtonLayout::blGlyphLeft:
      gp = {start, (r.bottom - g.cy) / 2};
      tp = {start + g.cx + space, (r.bottom - th) / 2};
      break;
    case TButtonLayout::blGlyphRight:
      gp = {extent - start - g.cx, (r.bottom - g.cy) / 2};
      tp = {extent - start - g.cx - space - tw, (r.bottom - th) / 2};
      break;
    case TButtonLayout::blGlyphTop:
      gp = {(r.right - g.cx) / 2, start};
      tp = {(r.right - tw) / 2, start + g.cy + space};
      break;
    case TButtonLayout::blGlyphBottom:
      gp = {(r.right - g.cx) / 2, extent - start - g.cy};
      tp = {(r.right - tw) / 2, extent - start - g.cy - space - th};
      break;
  }
  if (hasGlyph) DrawGlyph(dc, gp.x + shift, gp.y + shift);
  if (!text.empty()) {
    ::SetBkMode(dc, TRANSPARENT);
    COLORREF old = ::SetTextColor(dc, ColorToRGB(Enabled() ? Font()->Color() : clGrayText));
    RECT out{tp.x + shift, tp.y + shift, tp.x + shift + tw, tp.y + shift + th};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &out, DT_SINGLELINE);
    ::SetTextColor(dc, old);
  }
}

}  // namespace kivo
