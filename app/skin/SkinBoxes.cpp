// Container skinners: group boxes, re-coloured panels and forms, plain dialog children and size grips.
#include <algorithm>

#include "ComCtrls.h"
#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinGroupBox)
KIVO_IMPLEMENT_CLASS(TSkinBox)
KIVO_IMPLEMENT_CLASS(TSkinBoxH)
KIVO_IMPLEMENT_CLASS(TSkinSizer)
KIVO_IMPLEMENT_CLASS(TSkinStatusBar)

// ---- TSkinGroupBox ----------------------------------------------------------------------------------

void TSkinGroupBox::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  if (Control) Mode = 1;
}

bool TSkinGroupBox::BeforeMessage(TMessage& m) {
  const bool handOn = TSkinControl::BeforeMessage(m);
  if (Mode == 1 && m.Msg == WM_PAINT) {
    SkinPaintMessage(this, m);
    return false;
  }
  return handOn;
}

void TSkinGroupBox::Draw(HDC dc, const RECT& r) {
  Text = WindowTextOf(Handle);
  if (Text.empty() && Control) Text = Control->Caption();
  if (Control) FillFace(this, dc, r);
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(Handle, WM_GETFONT, 0, 0));
  COLORREF textColor = ::GetTextColor(dc);
  if (Control) {
    font = Control->Font()->Handle();
    textColor = ColorToRGB(Control->Font()->Color());
  }
  TSelectObject selFont(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
  SIZE zero{0, 0};
  ::GetTextExtentPoint32W(dc, L"0", 1, &zero);
  const int th = zero.cy;
  if (Mode == 0 && SkinData) {
    RECT f{0, th / 2 - 1, r.right, r.bottom};
    ::FrameRect(dc, &f, SkinData->FaceBrush.Get());
    ::InflateRect(&f, -1, -1);
    ::FrameRect(dc, &f, SkinData->FaceBrush.Get());
  }
  {
    TPenOwner pen(::CreatePen(PS_SOLID, 1, ColorToRGB(SkinData->Color(scButtonShadow))));
    TSelectObject selPen(dc, pen.Get()), selBrush(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, 1, th / 2 - 1, r.right - 1, r.bottom - 1);
  }
  const COLORREF oldBk = ::SetBkColor(dc, ColorToRGB(FaceColor()));
  const int oldMode = ::SetBkMode(dc, OPAQUE);
  const COLORREF oldText = ::SetTextColor(dc, textColor);
  if (!Text.empty()) {
    const LONG_PTR ex = ::GetWindowLongPtrW(Handle, GWL_EXSTYLE);
    if (ex & WS_EX_RIGHT) {
      RECT tr{r.left, r.top, r.right - 8, r.bottom};
      SkinDrawText(dc, Text, tr, TextFlagsFor(this, DT_EXPANDTABS | DT_RIGHT));
    } else {
      RECT tr{r.left + 8, r.top, r.right, r.bottom};
      SkinDrawText(dc, Text, tr, DT_EXPANDTABS);
    }
  }
  ::SetTextColor(dc, oldText);
  ::SetBkMode(dc, oldMode);
  ::SetBkColor(dc, oldBk);
  if (Control && Mode == 1)
    if (auto* wc = dynamic_cast<TWinControl*>(Control)) wc->PaintControls(dc, nullptr);
}

// ---- TSkinBox ---------------------------------------------------------------------------------------

void TSkinBox::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  Recolor = recolor ? 1 : 0;
  SkinData = skinData;
  Canvas = canvas;
  Control = dynamic_cast<TControl*>(Owner());
  if (auto* wc = dynamic_cast<TWinControl*>(Control)) Handle = wc->Handle();
  Form = form;
  if (Form) Form->AddSkinner(this);
  if (Recolor && Control) {
    SwitchParentBackground(true);
    SavedColor = Control->Color();
    Control->SetColor(FaceColor());
  }
}

void TSkinBox::Restore() {
  if (Recolor && Control && !Control->IsDestroying()) {
    SwitchParentBackground(false);
    Control->SetColor(SavedColor);
  }
  State = kSkinnerRestored;
}

// ---- TSkinBoxH --------------------------------------------------------------------------------------

bool TSkinBoxH::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_ERASEBKGND: {
      RECT r;
      ::GetWindowRect(Handle, &r);
      ::OffsetRect(&r, -r.left, -r.top);
      FillColor(reinterpret_cast<HDC>(m.WParam), r, FaceColor());
      m.Result = 0;
      return false;
    }
    case WM_CTLCOLORSTATIC:
      CallPrevious(m);
      if (SkinData) {
        ::SetBkColor(reinterpret_cast<HDC>(m.WParam), ColorToRGB(FaceColor()));
        m.Result = reinterpret_cast<LRESULT>(SkinData->FaceBrush.Get());
      }
      return false;
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

// ---- TSkinSizer -------------------------------------------------------------------------------------

void TSkinSizer::Draw(HDC dc, const RECT& r) { FillColor(dc, r, FaceColor()); }

// ---- TSkinStatusBar -----------------------------------------------------------------------------------

void DrawStatusEdge(TSkinControl* skinner, HDC dc, const RECT& r, int cell) {
  TSkinData* data = skinner ? skinner->SkinData : nullptr;
  TDataSkinObject* edges = data ? data->StatusBarEdges.get() : nullptr;
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (edges && edges->HasPicture()) {
    TObjectPtr<TBitmap> b = SliceBitmap(r, edges->Bitmap.get(), edges->Margins(), false, edges->Tile != 0, 3, cell);
    if (!b->Empty()) ::BitBlt(dc, r.left, r.top, b->Width(), b->Height(), b->Canvas()->Handle(), 0, 0, SRCCOPY);
    return;
  }
  if (cell == 3) return;
  const COLORREF shadow = ColorToRGB(clBtnShadow), light = ColorToRGB(clBtnHighlight);
  const COLORREF topLeft = cell == 1 ? shadow : light, bottomRight = cell == 1 ? light : shadow;
  FillColor(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
  FillColor(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
  FillColor(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
  FillColor(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

bool TSkinStatusBar::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      SkinPaintMessage(this, m);
      return false;
    case WM_ERASEBKGND:
      m.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TSkinStatusBar::Draw(HDC dc, const RECT& r) {
  auto* bar = dynamic_cast<TStatusBar*>(Control);
  if (!bar || r.right <= r.left || r.bottom <= r.top) return;
  TBitmap buffer;
  buffer.SetPixelFormat(TPixelFormat::pf24bit);
  buffer.SetSize(r.right - r.left, r.bottom - r.top);
  TCanvas* c = buffer.Canvas();
  HDC bdc = c->Handle();
  FillFace(this, bdc, RECT{0, 0, r.right - r.left, r.bottom - r.top});
  c->Font()->Assign(bar->Font());
  c->Font()->SetStyle(0);
  TDataSkinObject* edges = SkinData->StatusBarEdges.get();
  if (edges && edges->HasPicture()) c->Font()->SetColor(edges->NormalColour2);
  const bool rightToLeft = TextFlagsFor(this, 0) & DT_RTLREADING;
  TStatusPanels* panels = bar->Panels();
  const int count = panels->Count();
  if (bar->SimplePanel() || count == 0) {
    DrawStatusEdge(this, bdc, r, 1);
    std::wstring text = GetStrPropByName(bar, L"simpletext");
    if (text.empty()) text = L" ";
    RECT tr = r;
    ::InflateRect(&tr, -2, 0);
    DrawLabel(this, c, tr, rightToLeft ? DT_RIGHT : DT_LEFT, true, text);
  } else {
    for (int i = 0; i < count; ++i) {
      TStatusPanel* panel = panels->Items(i);
      RECT p{};
      if (!::SendMessageW(Handle, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&p))) continue;
      p.right += 2;
      if (i == count - 1) p.right = r.right;
      UINT align = panel->Alignment() == TAlignment::taCenter        ? DT_CENTER
                   : panel->Alignment() == TAlignment::taRightJustify ? DT_RIGHT
                                                                     : DT_LEFT;
      if (rightToLeft && align != DT_CENTER) align = align == DT_LEFT ? DT_RIGHT : DT_LEFT;
      const int cell = panel->Bevel() == TStatusPanelBevel::pbLowered ? 1
                       : panel->Bevel() == TStatusPanelBevel::pbNone  ? 3
                                                                      : 2;
      DrawStatusEdge(this, bdc, p, cell);
      if (panel->Style() != TStatusPanelStyle::psText) continue;
      std::wstring text = panel->Text();
      if (text.empty()) text = L" ";
      ::InflateRect(&p, -2, 0);
      DrawLabel(this, c, p, align, true, text);
    }
  }
  TDataSkinObject* extra = SkinData->ExtraImages.get();
  if ((::GetWindowLongPtrW(Handle, GWL_STYLE) & SBARS_SIZEGRIP) && extra && extra->HasPicture()) {
    const int n = std::max(1, extra->Frame);
    const int w = extra->Bitmap->Width() / n, h = extra->Bitmap->Height();
    DrawStripFrameDC(this, bdc, RECT{r.right - 1 - w, r.bottom - 1 - h, r.right - 1, r.bottom - 1}, n, 5,
                     extra->Bitmap.get());
  }
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, bdc, 0, 0, SRCCOPY);
  bar->PaintControls(dc, nullptr);
  if (bar->OnDrawPanel) {
    TCanvasBinding bind(bar->Canvas(), dc);
    for (int i = 0; i < count; ++i) {
      RECT p{};
      if (!::SendMessageW(Handle, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&p))) continue;
      ::InflateRect(&p, -2, -2);
      bar->OnDrawPanel(bar, panels->Items(i), p);
    }
  }
}

}  // namespace kivo
