// Buttons with glyphs: bit buttons, drop-down menu buttons and windowless speed buttons, and the
// glyph and caption layout they share.
#include <algorithm>

#include "ImgList.h"
#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinBitButton)
KIVO_IMPLEMENT_CLASS(TSkinMenuButton)
KIVO_IMPLEMENT_CLASS(TSkinSpeedButton)

namespace {
int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
bool HasOption(TSkinData* data, TSkinOption option) { return data && (data->Options() & SkinBit(option)); }
bool IsTrue(const TObject* o, const wchar_t* name) { return LowerCase(GetEnumPropByName(o, name)) == L"true"; }

TBitmap* GlyphOf(const TObject* o) { return dynamic_cast<TBitmap*>(GetObjectPropByName(o, L"Glyph")); }
TGraphic* GraphicOf(const TObject* o, const std::wstring& name) {
  return dynamic_cast<TGraphic*>(GetObjectPropByName(o, name));
}
int NumGlyphsOf(const TObject* o) {
  const long long n = GetOrdPropByName(o, L"NumGlyphs");
  return n < 1 ? 1 : static_cast<int>(n);
}

// Text drawn in the buffer with a transparent background.
void DrawPlacedText(HDC dc, TFont* font, const std::wstring& text, RECT r, UINT flags) {
  TSelectObject sel(dc, font->Handle());
  const COLORREF oldColor = ::SetTextColor(dc, ColorToRGB(font->Color()));
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  SkinDrawText(dc, text, r, flags);
  ::SetBkMode(dc, oldMode);
  ::SetTextColor(dc, oldColor);
}
// The caption measured with the canvas's font and laid out with the glyph.
TButtonPlacement LayOut(TCanvas* c, SIZE client, SIZE glyph, const std::wstring& text, int layout, int margin,
                        int spacing, bool autoMargin, bool speedButton) {
  SIZE t;
  {
    TSelectObject sel(c->Handle(), c->Font()->Handle());
    t = MeasureButtonText(c->Handle(), client, glyph, layout, text);
  }
  return ButtonLayout(client, glyph, t, layout, margin, spacing, autoMargin, speedButton);
}
}  // namespace

// ---- shared routines ------------------------------------------------------------------------------

std::wstring ReplaceFirst(const std::wstring& text, const std::wstring& pattern, const std::wstring& replacement) {
  if (pattern.empty()) return text;
  const std::size_t at = text.find(pattern);
  if (at == std::wstring::npos) return text;
  std::wstring result = text;
  result.replace(at, pattern.size(), replacement);
  return result;
}

int LayoutOfName(const std::wstring& name) {
  const std::wstring n = LowerCase(name);
  if (n == L"blglyphright") return 1;
  if (n == L"blglyphtop") return 2;
  if (n == L"blglyphbottom") return 3;
  return 0;
}

SIZE MeasureButtonText(HDC dc, SIZE client, SIZE glyph, int layout, const std::wstring& text) {
  if (text.empty()) return SIZE{0, 0};
  RECT room{0, 0, client.cx, client.cy};
  ::InflateRect(&room, -2, -2);
  if (layout <= 1)
    room.right -= glyph.cx + 2;
  else
    room.bottom -= glyph.cy + 2;
  SkinDrawText(dc, text, room, DT_CALCRECT | DT_WORDBREAK);
  return SIZE{room.right - room.left, room.bottom - room.top};
}

TButtonPlacement ButtonLayout(SIZE client, SIZE glyph, SIZE text, int layout, int margin, int spacing, bool autoMargin,
                              bool speedButton) {
  TButtonPlacement p;
  const bool across = layout <= 1;  // the main axis is x
  if (across) {
    p.Glyph.y = (client.cy - glyph.cy + 1) / 2;
    p.Text.top = (client.cy - text.cy + 1) / 2;
  } else {
    p.Glyph.x = (client.cx - glyph.cx + 1) / 2;
    p.Text.left = (client.cx - text.cx + 1) / 2;
  }
  if (text.cx == 0 || glyph.cx == 0) spacing = 0;
  const int c = across ? client.cx : client.cy, g = across ? glyph.cx : glyph.cy, t = across ? text.cx : text.cy;
  if (margin == -1 || autoMargin) {
    if (spacing == -1) {
      margin = (c - (g + t)) / 3;
      spacing = margin;
    } else {
      margin = (c - (g + spacing + t)) / 2 + (speedButton ? 1 : 0);
    }
  } else if (spacing == -1) {
    spacing = ((c - margin - g) - t) / 2;
  }
  p.Margin = margin;
  p.Spacing = spacing;
  p.Flags = DT_WORDBREAK;
  switch (layout) {
    case 1:
      p.Glyph.x = client.cx - margin - glyph.cx;
      p.Text.left = p.Glyph.x - spacing - text.cx;
      p.Flags |= DT_RIGHT;
      break;
    case 2:
      p.Glyph.y = margin;
      p.Text.top = p.Glyph.y + glyph.cy + spacing;
      p.Flags |= DT_CENTER;
      break;
    case 3:
      p.Glyph.y = client.cy - margin - glyph.cy;
      p.Text.top = p.Glyph.y - spacing - text.cy;
      p.Flags |= DT_CENTER;
      break;
    default:
      p.Glyph.x = margin;
      p.Text.left = p.Glyph.x + glyph.cx + spacing;
      break;
  }
  p.Text.right = p.Text.left + text.cx;
  p.Text.bottom = p.Text.top + text.cy;
  return p;
}

TObjectPtr<TBitmap> MakeDisabledGlyph(TBitmap* glyph) {
  TObjectPtr<TBitmap> result(new TBitmap());
  if (!glyph || glyph->Empty()) return result;
  const int w = glyph->Width(), h = glyph->Height();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(w, h);
  TCanvas* c = result->Canvas();
  c->Brush()->SetColor(clBtnFace);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->FillRect(RECT{0, 0, w, h});
  // black where the glyph is drawn, white where it is see-through
  TBitmap mask;
  mask.Assign(glyph);
  if (glyph->Monochrome()) {
    mask.Canvas()->Font()->SetColor(clWhite);
    mask.Canvas()->Brush()->SetColor(clWhite);
  }
  mask.Mask(glyph->TransparentColor());
  HDC dc = c->Handle();
  HDC mdc = mask.Canvas()->Handle();
  // white where the glyph is drawn: the brush goes there
  ::BitBlt(mdc, 0, 0, w, h, nullptr, 0, 0, DSTINVERT);
  const COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF oldBack = ::SetBkColor(dc, RGB(255, 255, 255));
  const struct {
    int offset;
    TColor color;
  } passes[] = {{1, clBtnHighlight}, {0, clBtnShadow}};
  for (const auto& pass : passes) {
    TBrushOwner brush(::CreateSolidBrush(ColorToRGB(pass.color)));
    TSelectObject sel(dc, brush.Get());
    // where the source is white the brush, elsewhere the destination
    ::BitBlt(dc, pass.offset, pass.offset, w, h, mdc, 0, 0, 0xE20746);
  }
  ::SetBkColor(dc, oldBack);
  ::SetTextColor(dc, oldText);
  ::GdiFlush();
  return result;
}

void DrawGlyphCell(TCanvas* canvas, POINT p, int numGlyphs, int cell, TBitmap* glyph) {
  if (!canvas || !glyph || glyph->Empty()) return;
  numGlyphs = std::max(1, numGlyphs);
  if (cell > numGlyphs || cell < 1) cell = 1;
  const int w = glyph->Width() / numGlyphs, h = glyph->Height();
  if (w <= 0 || h <= 0) return;
  // cut out the cell (the first one for the disabled look, which is embossed from it)
  TBitmap part;
  part.SetPixelFormat(TPixelFormat::pf24bit);
  part.SetSize(w, h);
  const int from = cell == 2 ? 0 : (cell - 1) * w;
  part.Canvas()->CopyRect(RECT{0, 0, w, h}, glyph->Canvas(), RECT{from, 0, from + w, h});
  ::GdiFlush();
  TObjectPtr<TBitmap> picture;
  TBitmap* shown = &part;
  if (cell == 2) {
    picture = MakeDisabledGlyph(&part);
    shown = picture.get();
  }
  shown->SetTransparentMode(TTransparentMode::tmAuto);
  shown->SetTransparent(true);
  canvas->Draw(p.x, p.y, shown);
}

// ---- TSkinButton: the buffer every button composes in ------------------------------------------------

bool TSkinButton::PrepareBuffer(const RECT& r, int frame, bool drawFrame, TControl* background) {
  if (Width(r) <= 0 || Height(r) <= 0) return false;
  Buffer->SetPixelFormat(TPixelFormat::pf24bit);
  Buffer->SetSize(Width(r), Height(r));
  const RECT whole{0, 0, Width(r), Height(r)};
  HDC bdc = Buffer->Canvas()->Handle();
  if (Transparent && background)
    PaintParentBackground(background, bdc);
  else
    FillFace(this, bdc, whole);
  if (drawFrame) DrawSkinObject(this, bdc, whole, SkinData->Buttons->Frame, frame, SkinData->Buttons.get());
  return true;
}

void TSkinButton::DrawLaidOutCaption(TCanvas* c, const RECT& r, UINT flags) {
  DrawPlacedText(c->Handle(), c->Font(), Text, r, TextFlagsFor(this, flags));
  if (Focused && !HasOption(SkinData, xoNoFocusRect)) {
    RECT fr = r;
    ::InflateRect(&fr, 2, 2);
    ::DrawFocusRect(c->Handle(), &fr);
  }
}

void TSkinButton::ShowBuffer(HDC dc, const RECT& r) {
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, Width(r), Height(r), Buffer->Canvas()->Handle(), 0, 0, SRCCOPY);
}

// ---- TSkinBitButton -------------------------------------------------------------------------------

TColor TSkinButton::GlyphCaptionColor(int frame, TColor start, bool normalOnlyInFrame1, bool enabled) {
  TDataSkinButton* b = SkinData->Buttons.get();
  TColor color = start;
  if (b->HasColour2[0] && (!normalOnlyInFrame1 || frame == 1)) color = b->NormalColour2;
  if (frame == 4 && b->HasColour2[1]) color = b->MouseOverColour2;
  if (frame == 2 && b->HasColour2[2]) color = b->PressedColour2;
  if (!enabled) color = clBtnShadow;
  return color;
}

void TSkinBitButton::Draw(HDC dc, const RECT& r) {
  if (!SkinData || !SkinData->Buttons || !SkinData->Buttons->HasPicture() || !Control) return;
  if (!GraphicProperty.empty()) {
    DrawGraphicButton(dc, r);
    return;
  }
  const int frame = CurrentFrame();
  if (!PrepareBuffer(r, frame, true, Control)) return;
  TBitmap* glyph = GlyphOf(Control);
  auto* images = dynamic_cast<TImageList*>(GetObjectPropByName(Control, L"Images"));
  const int numGlyphs = NumGlyphsOf(Control);
  const long long imageIndex = GetOrdPropByName(Control, L"ImageIndex");
  const long long disabledIndex = GetOrdPropByName(Control, L"DisabledIndex");
  const int margin = static_cast<int>(GetOrdPropByName(Control, L"Margin"));
  const int spacing = static_cast<int>(GetOrdPropByName(Control, L"Spacing"));
  const int layout = LayoutOfName(GetEnumPropByName(Control, L"Layout"));
  const bool centred = LowerCase(GetEnumPropByName(Control, L"Alignment")) == L"tacenter";
  const int cell = frame == 3 ? 2 : frame == 2 ? 3 : 1;
  SIZE g{0, 0};
  if (glyph && !glyph->Empty())
    g = SIZE{glyph->Width() / numGlyphs, glyph->Height()};
  else if (images && imageIndex != -1)
    g = SIZE{images->Width(), images->Height()};
  Text = ReplaceFirst(Control->Caption(), L"||", L"\r\n");
  TCanvas* c = Buffer->Canvas();
  c->Font()->Assign(Control->Font());
  const TButtonPlacement p =
      LayOut(c, SIZE{Width(r), Height(r)}, g, Text, layout, margin, spacing, margin == -1 || centred, false);
  if (glyph && !glyph->Empty()) {
    DrawGlyphCell(c, p.Glyph, numGlyphs, cell, glyph);
  } else if (images) {
    if (IsEnabled) {
      if (imageIndex != -1) images->Draw(*c, p.Glyph.x, p.Glyph.y, static_cast<int>(imageIndex), true);
    } else if (disabledIndex != -1) {
      images->Draw(*c, p.Glyph.x, p.Glyph.y, static_cast<int>(disabledIndex), true);
    } else if (imageIndex != -1) {
      images->Draw(*c, p.Glyph.x, p.Glyph.y, static_cast<int>(imageIndex), false);
    }
  }
  c->Font()->SetColor(CaptionColor(frame, Control->Font()->Color()));
  if (!Text.empty()) DrawLaidOutCaption(c, p.Text, p.Flags);
  ShowBuffer(dc, r);
}

void TSkinBitButton::DrawGraphicButton(HDC dc, const RECT& r) {
  const int frame = CurrentFrame();
  if (!PrepareBuffer(r, frame, true, Control)) return;
  TGraphic* graphic = GraphicOf(Control, GraphicProperty);
  const int margin = static_cast<int>(GetOrdPropByName(Control, L"Margin"));
  const int spacing = static_cast<int>(GetOrdPropByName(Control, L"Spacing"));
  const int layout = LayoutOfName(GetEnumPropByName(Control, L"Layout"));
  const bool centred = LowerCase(GetEnumPropByName(Control, L"Alignment")) == L"tacenter";
  const SIZE g = graphic && !graphic->Empty() ? SIZE{graphic->Width(), graphic->Height()} : SIZE{0, 0};
  Text = ReplaceFirst(Control->Caption(), L"||", L"\r\n");
  TCanvas* c = Buffer->Canvas();
  c->Font()->Assign(Control->Font());
  const TButtonPlacement p =
      LayOut(c, SIZE{Width(r), Height(r)}, g, Text, layout, margin, spacing, margin == -1 || centred, false);
  if (g.cx > 0) c->Draw(p.Glyph.x, p.Glyph.y, graphic);
  c->Font()->SetColor(GlyphCaptionColor(frame, Control->Font()->Color(), true, IsEnabled != 0));
  if (!Text.empty()) DrawLaidOutCaption(c, p.Text, p.Flags);
  ShowBuffer(dc, r);
}

// ---- TSkinMenuButton ------------------------------------------------------------------------------

int TSkinMenuButton::MenuFrame() {
  Focused = ::GetFocus() == Handle ? 1 : 0;
  IsEnabled = (::GetWindowLongPtrW(Handle, GWL_STYLE) & WS_DISABLED) ? 0 : 1;
  int frame = Focused ? 4 : 1;
  if (StateFlags & kSkinPressed)
    frame = 2;
  else if (StateFlags & kSkinHover)
    frame = 4;
  if (!IsEnabled) frame = 3;
  return frame;
}

void TSkinMenuButton::Draw(HDC dc, const RECT& r) {
  if (!SkinData || !SkinData->Buttons || !SkinData->Buttons->HasPicture()) return;
  const int frame = MenuFrame();
  if (!PrepareBuffer(r, frame, true, Control)) return;
  TCanvas* c = Buffer->Canvas();
  if (Control) c->Font()->Assign(Control->Font());
  Text = ReplaceFirst(Control ? Control->Caption() : WindowTextOf(Handle), L"||", L"\r\n");
  const int w = Width(r), h = Height(r);
  SIZE t{0, 0};
  if (!Text.empty()) {
    TSelectObject sel(c->Handle(), c->Font()->Handle());
    RECT room{0, 0, w - 17, h};
    ::InflateRect(&room, -2, -2);
    SkinDrawText(c->Handle(), Text, room, DT_CALCRECT | DT_WORDBREAK);
    t = SIZE{room.right - room.left, room.bottom - room.top};
  }
  const int ty = (h - t.cy + 1) / 2, tx = (w - 17 - t.cx) / 2 + 2;
  TColor textColor = GlyphCaptionColor(frame, Control ? Control->Font()->Color() : clBtnText, true, true);
  TColor arrowColor = clWindowText;
  if (!IsEnabled) textColor = arrowColor = clBtnShadow;
  c->Font()->SetColor(textColor);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(arrowColor);
  c->Pen()->SetColor(arrowColor);
  const POINT arrow[] = {{w - 12, h / 2 + 2}, {w - 15, h / 2 - 1}, {w - 9, h / 2 - 1}};
  c->Polygon(arrow, 3);
  DrawLaidOutCaption(c, RECT{tx, ty, tx + t.cx, ty + t.cy}, DT_WORDBREAK);
  ShowBuffer(dc, r);
}

// ---- TSkinSpeedButton -----------------------------------------------------------------------------

TSkinSpeedButton::~TSkinSpeedButton() { GiveBackWindowProc(); }

void TSkinSpeedButton::GiveBackWindowProc() {
  if (!SavedWindowProc) return;
  if (RepaintTarget && !RepaintTarget->IsDestroying()) RepaintTarget->WindowProc = SavedWindowProc;
  SavedWindowProc = nullptr;
}

void TSkinSpeedButton::Attach(TSkinnerHost* form, TSkinData* skinData, TCanvas* canvas) {
  if (Attached) return;
  auto* button = dynamic_cast<TControl*>(Owner());
  if (!button) return;
  SkinData = skinData;
  Canvas = canvas;
  Form = form;
  RepaintTarget = button;
  Control = nullptr;
  Handle = nullptr;
  SavedWindowProc = button->WindowProc;
  button->WindowProc = [this](TMessage& m) { MessageHook(m); };
  if (Form) Form->AddSkinner(this);
  Attached = 1;
  State = kSkinnerAttached;
  Transparent = (button->Tag() == 5555 || HasOption(SkinData, xoTransparent)) ? 1 : 0;
  button->Invalidate();
}

void TSkinSpeedButton::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool, TCanvas* canvas) {
  Attach(form, skinData, canvas);
}

void TSkinSpeedButton::Restore() {
  TSkinBitButton::Restore();
  GiveBackWindowProc();
  if (RepaintTarget && !RepaintTarget->IsDestroying()) RepaintTarget->Invalidate();
}

void TSkinSpeedButton::PaintMessage(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  auto* button = dynamic_cast<TGraphicControl*>(RepaintTarget);
  if (dc && button) {
    TCanvasBinding bind(button->Canvas(), dc);
    PaintButton(button->Canvas(), RECT{0, 0, button->Width(), button->Height()});
  }
  m.Result = 1;
}

bool TSkinSpeedButton::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      PaintMessage(m);
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      auto alive = AliveToken();
      CallPrevious(m);  // the button sees the press
      if (!*alive) return false;
      StateFlags |= kSkinPressed;
      PaintFrame(nullptr);
      return false;
    }
    case WM_LBUTTONUP:
      return true;
    default:
      return TSkinButton::BeforeMessage(m);
  }
}

void TSkinSpeedButton::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_ENABLE:
    case CM_FOCUSCHANGED:
    case CM_ENABLEDCHANGED:
      break;
    case WM_NCDESTROY:
    case CM_RELEASE:
      GiveBackWindowProc();
      break;
    case WM_KEYDOWN:
      if (m.WParam == VK_SPACE) {
        StateFlags |= kSkinPressed;
        PaintFrame(nullptr);
      }
      break;
    case WM_KEYUP:
    case WM_LBUTTONUP:
      if (m.Msg == WM_LBUTTONUP || m.WParam == VK_SPACE) {
        StateFlags &= static_cast<std::uint8_t>(~kSkinPressed);
        PaintFrame(nullptr);
      }
      break;
    case CM_MOUSEENTER:
      StateFlags |= kSkinHover;
      PaintFrame(nullptr);
      break;
    case CM_MOUSELEAVE:
      StateFlags &= static_cast<std::uint8_t>(~(kSkinHover | kSkinPressed));
      if (RepaintTarget && RepaintTarget->Visible()) PaintFrame(nullptr);
      break;
    case WM_MOUSEMOVE:
      break;  // hover comes with the library's mouse-enter notification
    default:
      TSkinButton::AfterMessage(m);
  }
}

void TSkinSpeedButton::PaintFrame(HDC) {
  auto* button = dynamic_cast<TGraphicControl*>(RepaintTarget);
  if (!button || button->IsDestroying() || !button->Parent() || !button->Parent()->HandleAllocated()) return;
  TCanvas* canvas = button->Canvas();
  canvas->Lock();
  try {
    PaintButton(canvas, RECT{0, 0, button->Width(), button->Height()});
  } catch (const std::exception&) {
    // a broken skin object never stops the button's messages
  }
  canvas->Unlock();
  if (auto* cc = dynamic_cast<TControlCanvas*>(canvas)) cc->FreeWindowDC();
}

int TSkinSpeedButton::SpeedFrame(int* cell) {
  TControl* b = RepaintTarget;
  int frame = 1;
  if (StateFlags & kSkinPressed)
    frame = 2;
  else if (StateFlags & kSkinHover)
    frame = 4;
  if (!IsTrue(b, L"Enabled")) frame = 3;
  const bool down = IsTrue(b, L"Down");
  if (down) frame = 2;
  if (cell) {
    *cell = frame == 2 ? 3 : frame == 3 ? 2 : 1;
    if (down) *cell = 4;
  }
  return frame;
}

void TSkinSpeedButton::PaintButton(TCanvas* canvas, const RECT& r) {
  if (!SkinData || !SkinData->Buttons || !SkinData->Buttons->HasPicture() || !RepaintTarget || Painting) return;
  struct TGuard {
    std::uint8_t& flag;
    ~TGuard() { flag = 0; }
  } guard{Painting};
  Painting = 1;
  TControl* b = RepaintTarget;
  int cell = 1;
  const int frame = SpeedFrame(&cell);
  IsEnabled = IsTrue(b, L"Enabled") ? 1 : 0;
  const bool graphicButton = !GraphicProperty.empty();
  TBitmap* glyph = graphicButton ? nullptr : GlyphOf(b);
  TGraphic* graphic = graphicButton ? GraphicOf(b, GraphicProperty) : nullptr;
  const int numGlyphs = NumGlyphsOf(b);
  const bool flat = IsTrue(b, L"Flat");
  const int margin = static_cast<int>(GetOrdPropByName(b, L"Margin"));
  const int spacing = static_cast<int>(GetOrdPropByName(b, L"Spacing"));
  const int layout = LayoutOfName(GetEnumPropByName(b, L"Layout"));
  if (Width(r) < 1 || Height(r) < 1) return;
  if (!PrepareBuffer(r, frame, frame == 2 || frame == 4 || !flat, b)) return;
  TCanvas* c = Buffer->Canvas();
  c->Font()->Assign(b->Font());
  Text = b->Caption();
  SIZE g{0, 0};
  if (graphic && !graphic->Empty())
    g = SIZE{graphic->Width() / numGlyphs, graphic->Height()};
  else if (glyph && !glyph->Empty())
    g = SIZE{glyph->Width() / numGlyphs, glyph->Height()};
  const RECT whole{0, 0, Width(r), Height(r)};
  if (g.cx > 0 && g.cy > 0) {
    const TButtonPlacement p = LayOut(c, SIZE{Width(r), Height(r)}, g, Text, layout, margin, spacing, margin == -1, true);
    if (graphic)
      c->Draw(p.Glyph.x, p.Glyph.y, graphic);
    else
      DrawGlyphCell(c, p.Glyph, numGlyphs, cell, glyph);
    c->Font()->SetColor(GlyphCaptionColor(frame, b->Font()->Color(), true, IsEnabled != 0));
    DrawPlacedText(c->Handle(), c->Font(), Text, p.Text, TextFlagsFor(this, p.Flags));
  } else {
    c->Font()->SetColor(GlyphCaptionColor(frame, b->Font()->Color(), graphicButton, IsEnabled != 0));
    DrawButtonCaption(c, whole, Text);
  }
  ::GdiFlush();
  ::BitBlt(canvas->Handle(), r.left, r.top, Width(r), Height(r), c->Handle(), 0, 0, SRCCOPY);
}

}  // namespace kivo
