// Push button, check box and radio button skinners.
#include <algorithm>

#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinButton)
KIVO_IMPLEMENT_CLASS(TSkinCheckBox)
KIVO_IMPLEMENT_CLASS(TSkinRadioButton)
KIVO_IMPLEMENT_CLASS(TSkinObjImage)

namespace {
int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

bool HasOption(TSkinData* data, TSkinOption option) { return data && (data->Options() & SkinBit(option)); }

bool WindowDisabled(HWND wnd) { return (::GetWindowLongPtrW(wnd, GWL_STYLE) & WS_DISABLED) != 0; }
}  // namespace

// ---- TSkinButton -----------------------------------------------------------------------------------

TSkinButton::TSkinButton(TComponent* owner) : TSkinControl(owner), Buffer(new TBitmap()) {}
TSkinButton::~TSkinButton() = default;

void TSkinButton::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  Mode = 0;
  if (Control) {
    const std::wstring cls = LowerCase(Control->ClassName());
    if (cls.rfind(L"trz", 0) == 0 || cls.rfind(L"tel", 0) == 0) Mode = 1;
  }
  Transparent = ((Control && Control->Tag() == 5555) || HasOption(SkinData, xoTransparent)) ? 1 : 0;
}

bool TSkinButton::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      SkinPaintMessage(this, m);
      return false;
    case WM_ERASEBKGND:
      m.Result = 1;
      return false;
    case WM_TIMER:
      ::KillTimer(Handle, 1);
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (::GetFocus() != Handle) ::SetFocus(Handle);
      StateFlags |= kSkinPressed;
      PaintFrame(nullptr);
      if (Mode == 0 && Control) ForwardMouseDown(m);
      return false;
    }
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TSkinButton::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_SETTEXT:
      PaintFrame(nullptr);
      break;
    case WM_KEYDOWN:
      if (m.WParam == VK_SPACE) {
        StateFlags |= kSkinPressed;
        Repaint();
      }
      break;
    case WM_KEYUP:
      if (m.WParam == VK_SPACE) {
        StateFlags &= static_cast<std::uint8_t>(~kSkinPressed);
        Repaint();
      }
      break;
    case WM_MOUSEMOVE:
      if (!WindowDisabled(Handle) && !(StateFlags & kSkinHover)) {
        StateFlags |= kSkinHover;
        Repaint();
      }
      if (Handle) SkinTrackMouseLeave(Handle);
      break;
    case WM_LBUTTONUP:
      if (StateFlags & kSkinPressed) {
        StateFlags &= static_cast<std::uint8_t>(~kSkinPressed);
        Repaint();
        if (Control) {
          Control->Click();
        } else {
          const bool tbutton = LowerCase(WindowClassName(Handle)) == L"tbutton";
          const WPARAM id = tbutton ? 0 : static_cast<WPARAM>(::GetDlgCtrlID(Handle));
          ::PostMessageW(::GetParent(Handle), WM_COMMAND, id, reinterpret_cast<LPARAM>(Handle));
        }
      }
      break;
    case WM_MOUSELEAVE:
      StateFlags &= static_cast<std::uint8_t>(~(kSkinHover | kSkinPressed));
      Repaint();
      break;
    case CM_DIALOGKEY:
    case CM_FOCUSCHANGED:
      Repaint();
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

int TSkinButton::CurrentFrame() {
  Focused = ::GetFocus() == Handle ? 1 : 0;
  IsEnabled = WindowDisabled(Handle) ? 0 : 1;
  const bool isDefault = Control && LowerCase(GetEnumPropByName(Control, L"Default")) == L"true";
  int frame = 1;
  if (Focused || isDefault) frame = 5;
  if (StateFlags & kSkinPressed)
    frame = 2;
  else if (StateFlags & kSkinHover)
    frame = 4;
  if (!IsEnabled) frame = 3;
  return frame;
}

TColor TSkinButton::CaptionColor(int frame, TColor start) {
  TDataSkinButton* b = SkinData->Buttons.get();
  TColor color = start;
  if (b->HasColour2[0]) color = b->NormalColour2;
  if (frame == 4 && b->HasColour2[1]) color = b->MouseOverColour2;
  if (frame == 2 && b->HasColour2[2]) color = b->PressedColour2;
  if (!IsEnabled) color = clBtnShadow;
  return color;
}

void TSkinButton::DrawButtonCaption(TCanvas* canvas, const RECT& r, const std::wstring& text) {
  HDC dc = canvas->Handle();
  TSelectObject font(dc, canvas->Font()->Handle());
  const COLORREF oldColor = ::SetTextColor(dc, ColorToRGB(canvas->Font()->Color()));
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  RECT tr = r;
  SkinDrawText(dc, text, tr, TextFlagsFor(this, DT_SINGLELINE | DT_VCENTER | DT_CENTER));
  ::SetBkMode(dc, OPAQUE);
  if (Focused && !HasOption(SkinData, xoNoFocusRect)) {
    // around the whole face, inside the skin's margins
    RECT fr = r;
    ::InflateRect(&fr, -4, -4);
    if (fr.right > fr.left && fr.bottom > fr.top) ::DrawFocusRect(dc, &fr);
  }
  ::SetTextColor(dc, oldColor);
  ::SetBkMode(dc, oldMode);
}

void TSkinButton::Draw(HDC dc, const RECT& r) {
  if (!SkinData || !SkinData->Buttons || !SkinData->Buttons->HasPicture()) return;
  const int frame = CurrentFrame();
  Text = Control ? Control->Caption() : WindowTextOf(Handle);
  if (!PrepareBuffer(r, frame, true, Control)) return;
  const RECT whole{0, 0, Width(r), Height(r)};
  TCanvas* c = Buffer->Canvas();
  if (Control) {
    c->Font()->Assign(Control->Font());
    c->Font()->SetColor(CaptionColor(frame, Control->Font()->Color()));
  } else {
    HFONT f = reinterpret_cast<HFONT>(::SendMessageW(Handle, WM_GETFONT, 0, 0));
    if (f) {
      LOGFONTW lf{};
      if (::GetObjectW(f, sizeof(lf), &lf)) c->Font()->AssignLogFont(lf);
    }
    c->Font()->SetColor(CaptionColor(frame, SkinData->Color(scButtonText)));
  }
  DrawButtonCaption(c, whole, Text);
  ShowBuffer(dc, r);
}

// ---- TSkinCheckBox / TSkinRadioButton --------------------------------------------------------------

TBitmap* TSkinCheckBox::Strip() const {
  return SkinData && SkinData->Buttons ? SkinData->Buttons->CheckBitmap.get() : nullptr;
}
int TSkinCheckBox::StripCount() const { return SkinData->Buttons->CheckButtonFrame; }
TBitmap* TSkinRadioButton::Strip() const {
  return SkinData && SkinData->Buttons ? SkinData->Buttons->RadioBitmap.get() : nullptr;
}
int TSkinRadioButton::StripCount() const { return SkinData->Buttons->RadioButtonFrame; }

void TSkinCheckBox::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  CheckedCache = 0;
  Mode = 0;
  if (Control) {
    TBitmap* strip = Strip();
    if (strip && !strip->Empty()) Mode = 1;
    Transparent = (Control->Tag() == 5555 || HasOption(SkinData, xoTransparent)) ? 1 : 0;
  }
}

void TSkinCheckBox::AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachWindow(handle, skinData, form, canvas);
}

bool TSkinCheckBox::BeforeMessage(TMessage& m) {
  const bool handOn = TSkinControl::BeforeMessage(m);
  switch (m.Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      if (Mode == 1) {
        SkinPaintMessage(this, m);
        return false;
      }
      return handOn;
    case WM_ERASEBKGND:
      if (Transparent) {
        SkinEraseMessage(this, m);
        return false;
      }
      return handOn;
    default:
      return handOn;
  }
}

void TSkinCheckBox::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case BM_SETCHECK:
      if (!dynamic_cast<TSkinRadioButton*>(this)) CheckedCache = static_cast<int>(m.WParam) + 1;
      Repaint();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case CM_EXIT:
    case CM_STATECHANGED:
      Repaint();
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

int TSkinCheckBox::CellIndex() {
  const LRESULT state = ::SendMessageW(Handle, BM_GETSTATE, 0, 0);
  int index = (state & BST_CHECKED) ? 2 : 1;
  if (Control) {
    if (HasProp(Control, L"State")) {
      const std::wstring s = LowerCase(GetEnumPropByName(Control, L"State"));
      if (s.find(L"uncheck") != std::wstring::npos)
        index = 1;
      else if (s.find(L"check") != std::wstring::npos)
        index = 2;
      else if (s.find(L"gray") != std::wstring::npos)
        index = 4;
    } else if (HasProp(Control, L"Checked")) {
      index = LowerCase(GetEnumPropByName(Control, L"Checked")) == L"true" ? 2 : 1;
    }
    if (HasProp(Control, L"DataField") && CheckedCache != 0) index = CheckedCache == 3 ? 4 : CheckedCache;
    if (HasProp(Control, L"DataBinding")) index = 1;
  }
  if (WindowDisabled(Handle)) index += 2;
  if (state & BST_INDETERMINATE) index = 4;
  if (StripCount() == 12) {
    if (index == 2)
      index = 5;
    else if (index == 3)
      index = 4;
    else if (index == 4)
      index = 8;
    if (state & BST_INDETERMINATE) index = WindowDisabled(Handle) ? 12 : 9;
  }
  // a checked and disabled box counts as cell 4 (2 + 2); more than 4 cells only with 12
  return index;
}

int TSkinRadioButton::CellIndex() {
  int index = (::SendMessageW(Handle, BM_GETCHECK, 0, 0) & BST_CHECKED) ? 2 : 1;
  if (Control) index = LowerCase(GetEnumPropByName(Control, L"Checked")) == L"true" ? 2 : 1;
  if (WindowDisabled(Handle)) index += 2;
  if (StripCount() == 8) {
    if (index == 2)
      index = 5;
    else if (index == 3)
      index = 4;
    else if (index == 4)
      index = 8;
  }
  return index;
}

void TSkinCheckBox::Draw(HDC dc, const RECT& r) { DrawBox(dc, r, false); }
void TSkinRadioButton::Draw(HDC dc, const RECT& r) { DrawBox(dc, r, true); }

void TSkinCheckBox::DrawBox(HDC dc, const RECT& r, bool radio) {
  TBitmap* strip = Strip();
  if (!strip || strip->Empty()) {
    Mode = 0;
    return;
  }
  const int n = std::max(1, StripCount());
  const int w = strip->Width() / n, h = strip->Height();
  const int index = CellIndex();
  const LONG_PTR style = ::GetWindowLongPtrW(Handle, GWL_STYLE);
  const bool rtl = TextFlagsFor(this, 0) & DT_RTLREADING;
  RECT glyph, text = r;
  UINT flags;
  glyph.top = r.top + (Height(r) - h) / 2;
  glyph.bottom = glyph.top + h;
  if (style & BS_LEFTTEXT) {
    const int right = radio ? r.right - 1 : r.right;
    glyph.left = right - w;
    glyph.right = right;
    text.right = glyph.left - 2;
    flags = rtl ? 0x20002 : 0;
  } else {
    glyph.left = r.left;
    glyph.right = r.left + w;
    text.left = r.left + w + 2;
    flags = rtl ? 0x20000 : 0;
  }
  flags |= DT_WORDBREAK | DT_EXPANDTABS;
  if (Mode == 1 && !Transparent) FillFace(this, dc, r);
  DrawStripFrame(this, dc, glyph, n, index, strip);
  if (Mode != 1 || !Control) return;
  Text = Control->Caption();
  TFont* font = Control->Font();
  TSelectObject selFont(dc, font->Handle());
  const COLORREF oldColor =
      ::SetTextColor(dc, ColorToRGB(Control->Enabled() && !WindowDisabled(Handle) ? font->Color() : clBtnShadow));
  const COLORREF oldBk = ::SetBkColor(dc, ColorToRGB(FaceColor()));
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  RECT measured = text;
  SkinDrawText(dc, Text, measured, flags | DT_CALCRECT | DT_NOCLIP);
  ::OffsetRect(&text, 0, (Height(r) - Height(measured)) / 2);
  TWinControl* wc = dynamic_cast<TWinControl*>(Control);
  if (wc && wc->Focused() && !Text.empty() && ::GetVersion() % 256 != 6) DrawSkinFocusRect(this, dc, Text, flags, text);
  SkinDrawText(dc, Text, text, flags);
  ::SetBkMode(dc, oldMode);
  ::SetBkColor(dc, oldBk);
  ::SetTextColor(dc, oldColor);
}

// ---- TSkinObjImage ------------------------------------------------------------------------------------

void TSkinObjImage::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool, TCanvas* canvas) {
  if (Attached) return;
  SkinData = skinData;
  Form = form;
  Canvas = canvas;
  Control = dynamic_cast<TControl*>(Owner());
  auto* wc = dynamic_cast<TWinControl*>(Control);
  Handle = wc ? wc->HandleIfAllocated() : nullptr;
  if (Form) Form->AddSkinner(this);
  BuildGlyphs();
  Attached = 1;
  State = kSkinnerAttached;
}

void TSkinObjImage::SkinChanged() { BuildGlyphs(); }

void TSkinObjImage::Restore() {
  if (!Control || Control->IsDestroying()) return;
  if (Kind == 1 || Kind == 2) {
    SetPropByName(Control, L"UseCustomGlyphs", L"false");
  } else if (auto* glyph = dynamic_cast<TBitmap*>(
                 GetObjectPropByName(GetObjectPropByName(Control, L"Properties"), L"Glyph"))) {
    glyph->Assign(nullptr);
  }
}

void TSkinObjImage::BuildGlyphs() {
  if (!SkinData || !SkinData->Buttons || !Control) return;
  const bool radio = Kind == 2;
  TBitmap* source = radio ? SkinData->Buttons->RadioBitmap.get() : SkinData->Buttons->CheckBitmap.get();
  const int n = radio ? SkinData->Buttons->RadioButtonFrame : SkinData->Buttons->CheckButtonFrame;
  if (!source || source->Empty() || n < 1) return;
  TBitmap* target = nullptr;
  if (Kind == 3)
    target = dynamic_cast<TBitmap*>(GetObjectPropByName(GetObjectPropByName(Control, L"Properties"), L"Glyph"));
  else
    target = dynamic_cast<TBitmap*>(GetObjectPropByName(Control, L"CustomGlyphs"));
  if (!target) return;
  struct TCopy {
    int cell;
    std::vector<int> positions;
  };
  std::vector<TCopy> copies;
  int cells = 6;
  if (Kind == 1) {
    cells = 9;
    copies = {{1, {1, 4}}, {2, {2, 5}}, {3, {7}}, {4, {8}}, {5, {3, 6, 9}}};
  } else if (Kind == 2) {
    copies = {{1, {1, 3}}, {2, {2, 4}}, {3, {5}}, {4, {6}}};
  } else {
    copies = {{1, {1, 4}}, {2, {2, 5}}, {5, {3, 6}}};
  }
  const int w = source->Width() / n, h = source->Height();
  TBitmap strip;
  strip.SetPixelFormat(TPixelFormat::pf24bit);
  strip.SetSize(cells * w, h);
  for (const TCopy& copy : copies) {
    // the fifth cell only from a five-cell strip
    if (copy.cell > n || (copy.cell == 5 && n != 5)) continue;
    const RECT src{(copy.cell - 1) * w, 0, copy.cell * w, h};
    for (int p : copy.positions)
      strip.Canvas()->CopyRect(RECT{(p - 1) * w, 0, p * w, h}, source->Canvas(), src);
  }
  ::GdiFlush();
  target->Assign(&strip);
  if (Kind == 3) {
    target->SetTransparentColor(static_cast<TColor>(0xFF00FF));
    target->SetTransparent(false);
    return;
  }
  SetPropByName(Control, L"transparentcolor", L"16711935");
  SetPropByName(Control, L"UseCustomGlyphs", L"false");
  SetPropByName(Control, L"UseCustomGlyphs", L"true");
}

}  // namespace kivo
