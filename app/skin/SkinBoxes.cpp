// Container skinners: group boxes, re-coloured panels and forms, plain dialog children and size grips.
#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinGroupBox)
KIVO_IMPLEMENT_CLASS(TSkinBox)
KIVO_IMPLEMENT_CLASS(TSkinBoxH)
KIVO_IMPLEMENT_CLASS(TSkinSizer)

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

}  // namespace kivo
