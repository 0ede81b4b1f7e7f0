#include "Graphics.h"

#include <cmath>

namespace kivo {

KIVO_IMPLEMENT_CLASS(TGraphicsObject)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TFont)
KIVO_IMPLEMENT_CLASS(TPen)
KIVO_IMPLEMENT_CLASS(TBrush)
KIVO_IMPLEMENT_CLASS(TCanvas)

COLORREF ColorToRGB(TColor c) {
  uint32_t u = static_cast<uint32_t>(c);
  if ((u & 0xFF000000u) == 0xFF000000u) return ::GetSysColor(static_cast<int>(u & 0xFF));
  return u & 0x00FFFFFFu;
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---- TFont ------------------------------------------------------------------------------------
void TFont::Publish(TPublisher<TFont>& p) {
  p.String(L"Name", &TFont::Name, &TFont::SetName);
  p.Integer(L"Height", &TFont::Height, &TFont::SetHeight);
  p.Integer(L"Size", &TFont::Size, &TFont::SetSize);
  p.Integer(L"Color", &TFont::Color, &TFont::SetColor);
  p.Integer(L"Charset", &TFont::Charset, &TFont::SetCharset);
  p.Set(L"Style", {L"fsBold", L"fsItalic", L"fsUnderline", L"fsStrikeOut"}, &TFont::Style, &TFont::SetStyle);
}

TFont::TFont() {
  // the system's dialog font: a face the font linker maps for every script
  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  name_ = lf.lfFaceName[0] ? lf.lfFaceName : L"MS Shell Dlg";
  height_ = lf.lfHeight ? (lf.lfHeight < 0 ? lf.lfHeight : -lf.lfHeight) : -11;
}
void TFont::Change() {
  handle_.Reset();
  Changed();
}
void TFont::SetName(const std::wstring& n) {
  if (n.empty() || n == name_) return;
  name_ = n;
  Change();
}
void TFont::SetHeight(int h) {
  if (h == height_) return;
  height_ = h;
  Change();
}
int TFont::Size() const { return static_cast<int>(std::lround(-height_ * 72.0 / PixelsPerInch)); }
void TFont::SetSize(int points) { SetHeight(-static_cast<int>(std::lround(points * PixelsPerInch / 72.0))); }
void TFont::SetStyle(TFontStyles s) {
  if (s == style_) return;
  style_ = s;
  Change();
}
void TFont::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Changed();  // the colour is not part of the HFONT
}
void TFont::SetCharset(int c) {
  if (c == charset_) return;
  charset_ = c;
  Change();
}
void TFont::SetPitch(TFontPitch p) {
  if (p == pitch_) return;
  pitch_ = p;
  Change();
}
LOGFONTW TFont::LogFont() const {
  LOGFONTW lf{};
  lf.lfHeight = height_;
  lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (style_ & fsItalic) ? 1 : 0;
  lf.lfUnderline = (style_ & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (style_ & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = static_cast<BYTE>(charset_);
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = pitch_ == TFontPitch::fpFixed ? FIXED_PITCH : pitch_ == TFontPitch::fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  lstrcpynW(lf.lfFaceName, name_.c_str(), LF_FACESIZE);
  return lf;
}
HFONT TFont::Handle() const {
  if (!handle_) {
    LOGFONTW lf = LogFont();
    handle_.Reset(::CreateFontIndirectW(&lf));
    if (!handle_) throw EOutOfResources(L"Out of system resources");
  }
  return handle_.Get();
}
void TFont::AssignLogFont(const LOGFONTW& lf) {
  name_ = lf.lfFaceName;
  height_ = lf.lfHeight;
  style_ = static_cast<TFontStyles>((lf.lfWeight >= FW_BOLD ? fsBold : 0) | (lf.lfItalic ? fsItalic : 0) |
                                    (lf.lfUnderline ? fsUnderline : 0) | (lf.lfStrikeOut ? fsStrikeOut : 0));
  charset_ = lf.lfCharSet;
  pitch_ = (lf.lfPitchAndFamily & 3) == FIXED_PITCH ? TFontPitch::fpFixed
           : (lf.lfPitchAndFamily & 3) == VARIABLE_PITCH ? TFontPitch::fpVariable : TFontPitch::fpDefault;
  Change();
}
void TFont::Assign(const TPersistent* source) {
  if (auto* f = dynamic_cast<const TFont*>(source)) {
    if (f == this) return;
    name_ = f->name_;
    height_ = f->height_;
    style_ = f->style_;
    color_ = f->color_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    Change();
    return;
  }
  TGraphicsObject::Assign(source);
}

// ---- TPen, TBrush -----------------------------------------------------------------------------
void TPen::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  handle_.Reset();
  Changed();
}
void TPen::SetWidth(int w) {
  if (w == width_) return;
  width_ = w;
  handle_.Reset();
  Changed();
}
void TPen::SetStyle(TPenStyle s) {
  if (s == style_) return;
  style_ = s;
  handle_.Reset();
  Changed();
}
HPEN TPen::Handle() const {
  if (!handle_) {
    static const int kStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    handle_.Reset(::CreatePen(kStyles[static_cast<int>(style_)], width_, ColorToRGB(color_)));
    if (!handle_) throw EOutOfResources(L"Out of system resources");
  }
  return handle_.Get();
}
void TPen::Assign(const TPersistent* source) {
  if (auto* p = dynamic_cast<const TPen*>(source)) {
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    handle_.Reset();
    Changed();
    return;
  }
  TGraphicsObject::Assign(source);
}
void TBrush::SetColor(TColor c) {
  if (c == color_ && style_ != TBrushStyle::bsClear) return;
  color_ = c;
  if (style_ == TBrushStyle::bsClear) style_ = TBrushStyle::bsSolid;
  handle_.Reset();
  Changed();
}
void TBrush::SetStyle(TBrushStyle s) {
  if (s == style_) return;
  style_ = s;
  handle_.Reset();
  Changed();
}
void TBrush::SetBitmap(TBitmap* b) {
  bitmap_ = b;
  handle_.Reset();
  Changed();
}
HBRUSH TBrush::Handle() const {
  if (style_ == TBrushStyle::bsClear) return nullptr;
  if (!handle_) {
    if (HBITMAP pattern = bitmap_ ? BitmapHandleOf(bitmap_) : nullptr) {
      handle_.Reset(::CreatePatternBrush(pattern));
    } else if (style_ == TBrushStyle::bsSolid) {
      handle_.Reset(::CreateSolidBrush(ColorToRGB(color_)));
    } else {
      static const int kHatch[] = {0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
      handle_.Reset(::CreateHatchBrush(kHatch[static_cast<int>(style_)], ColorToRGB(color_)));
    }
    if (!handle_) throw EOutOfResources(L"Out of system resources");
  }
  return handle_.Get();
}
void TBrush::Assign(const TPersistent* source) {
  if (auto* b = dynamic_cast<const TBrush*>(source)) {
    color_ = b->color_;
    style_ = b->style_;
    bitmap_ = b->bitmap_;
    handle_.Reset();
    Changed();
    return;
  }
  TGraphicsObject::Assign(source);
}

// ---- TCanvas ----------------------------------------------------------------------------------
// Font, pen and brush selected for one operation; the DC gets its own objects back after it.
struct TCanvas::TSelection {
  HDC dc;
  HGDIOBJ oldFont, oldPen, oldBrush;
  int oldBkMode;
  COLORREF oldText;
  TSelection(TCanvas& c, bool font, bool pen, bool brush) : dc(c.Handle()) {
    oldFont = font ? ::SelectObject(dc, c.font_.Handle()) : nullptr;
    oldPen = pen ? ::SelectObject(dc, c.pen_.Handle()) : nullptr;
    HBRUSH b = c.brush_.Handle();
    oldBrush = brush ? ::SelectObject(dc, b ? static_cast<HGDIOBJ>(b) : ::GetStockObject(NULL_BRUSH)) : nullptr;
    oldText = ::SetTextColor(dc, ColorToRGB(c.font_.Color()));
    if (c.brush_.Style() == TBrushStyle::bsClear) {
      oldBkMode = ::SetBkMode(dc, TRANSPARENT);
    } else {
      oldBkMode = ::SetBkMode(dc, OPAQUE);
      ::SetBkColor(dc, ColorToRGB(c.brush_.Color()));
    }
  }
  ~TSelection() {
    if (oldFont) ::SelectObject(dc, oldFont);
    if (oldPen) ::SelectObject(dc, oldPen);
    if (oldBrush) ::SelectObject(dc, oldBrush);
    ::SetTextColor(dc, oldText);
    ::SetBkMode(dc, oldBkMode);
  }
};

TCanvas::TCanvas() { brush_.SetColor(clWhite); }
TCanvas::~TCanvas() = default;

HDC TCanvas::Handle() {
  if (!dc_) CreateHandle();
  if (!dc_) throw EInvalidOperation(L"Canvas does not allow drawing");
  return dc_;
}
void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  if (dc_) FreeHandle();
  dc_ = dc;
}
void TCanvas::FillRect(const RECT& r) {
  HBRUSH b = brush_.Handle();
  if (b) ::FillRect(Handle(), &r, b);
}
void TCanvas::FrameRect(const RECT& r) {
  HBRUSH b = brush_.Handle();
  if (b) ::FrameRect(Handle(), &r, b);
}
void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  TSelection s(*this, false, true, true);
  ::Rectangle(s.dc, x1, y1, x2, y2);
}
void TCanvas::MoveTo(int x, int y) { pos_ = {x, y}; }
void TCanvas::LineTo(int x, int y) {
  TSelection s(*this, false, true, false);
  ::MoveToEx(s.dc, pos_.x, pos_.y, nullptr);
  ::LineTo(s.dc, x, y);
  pos_ = {x, y};
}
void TCanvas::TextOut(int x, int y, const std::wstring& text) {
  TSelection s(*this, true, false, false);
  ::ExtTextOutW(s.dc, x, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}
void TCanvas::TextRect(const RECT& r, int x, int y, const std::wstring& text) {
  TSelection s(*this, true, false, false);
  UINT opts = ETO_CLIPPED | (brush_.Style() != TBrushStyle::bsClear ? ETO_OPAQUE : 0);
  ::ExtTextOutW(s.dc, x, y, opts, &r, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}
SIZE TCanvas::TextExtent(const std::wstring& text) {
  TSelection s(*this, true, false, false);
  SIZE sz{0, 0};
  ::GetTextExtentPoint32W(s.dc, text.c_str(), static_cast<int>(text.size()), &sz);
  return sz;
}
COLORREF TCanvas::Pixel(int x, int y) { return ::GetPixel(Handle(), x, y); }
void TCanvas::SetPixel(int x, int y, TColor c) { ::SetPixelV(Handle(), x, y, ColorToRGB(c)); }
RECT TCanvas::ClipRect() {
  RECT r{};
  ::GetClipBox(Handle(), &r);
  return r;
}
void TCanvas::Polyline(const POINT* points, int count) {
  TSelection s(*this, false, true, false);
  ::Polyline(s.dc, points, count);
}
void TCanvas::Polygon(const POINT* points, int count) {
  TSelection s(*this, false, true, true);
  ::Polygon(s.dc, points, count);
}
void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  TSelection s(*this, false, true, true);
  ::Ellipse(s.dc, x1, y1, x2, y2);
}
void TCanvas::DrawFocusRect(const RECT& r) { ::DrawFocusRect(Handle(), &r); }
void TCanvas::TextRect(RECT r, const std::wstring& text, UINT format) {
  TSelection s(*this, true, false, false);
  if (brush_.Style() != TBrushStyle::bsClear && !(format & DT_CALCRECT)) ::FillRect(s.dc, &r, brush_.Handle());
  ::SetBkMode(s.dc, TRANSPARENT);
  ::DrawTextW(s.dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}
void TCanvas::CopyRect(const RECT& dest, TCanvas* source, const RECT& src) {
  ::StretchBlt(Handle(), dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source->Handle(),
               src.left, src.top, src.right - src.left, src.bottom - src.top, copyMode_);
}

}  // namespace kivo
