// Tab control and tab sheet skinners.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "ComCtrls.h"
#include "Strings.h"
#include "SkinBitmaps.h"
#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinTab)
KIVO_IMPLEMENT_CLASS(TSkinTabSheet)
KIVO_IMPLEMENT_CLASS(TSkinTabBtn)
KIVO_IMPLEMENT_CLASS(TSkinTab31)
KIVO_IMPLEMENT_CLASS(TSkinAdvPage)

namespace {
int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
bool HasPicture(const TDataSkinObject* o) { return o && o->HasPicture(); }

// A tab's text and image, asked with TCM_GETITEMW of a Unicode window or TCM_GETITEMA of another.
std::wstring TabItemText(HWND tabs, int index, bool unicode, int& image) {
  image = -1;
  if (unicode) {
    wchar_t buffer[80] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_STATE;
    item.pszText = buffer;
    item.cchTextMax = 80;
    if (!::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return {};
    image = item.iImage;
    return WideLeft(buffer, -1);
  }
  char buffer[80] = {};
  TCITEMA item{};
  item.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_STATE;
  item.pszText = buffer;
  item.cchTextMax = 80;
  if (!::SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return {};
  image = item.iImage;
  buffer[79] = 0;
  const int length = ::MultiByteToWideChar(CP_ACP, 0, buffer, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, buffer, -1, text.data(), length);
  text.resize(static_cast<std::size_t>(length - 1));
  return text;
}

// The window's font on the canvas.
void UseWindowFont(HWND wnd, TCanvas* canvas) {
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
  if (!font) return;
  LOGFONTW lf{};
  if (::GetObjectW(font, sizeof(lf), &lf)) canvas->Font()->AssignLogFont(lf);
}

// The pane rectangle of a tab control at the top: TCM_ADJUSTRECT of r, inflated by 4, one pixel
// toward the tabs.
RECT TopPane(HWND tabs, const RECT& r) {
  RECT p = r;
  ::SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&p));
  ::InflateRect(&p, 4, 4);
  p.top += 1;
  return p;
}

// The skin's up-down skinner on the control's "msctls_updown32" child, once.
bool SkinArrows(TSkinControl* skinner, TSkinUpDown*& upDown) {
  HWND arrows = ::FindWindowExW(skinner->Handle, nullptr, L"msctls_updown32", nullptr);
  if (arrows && !upDown) {
    upDown = new TSkinUpDown(skinner->Owner());
    upDown->AttachWindow(arrows, skinner->SkinData, skinner->Form, skinner->Canvas);
  }
  return arrows && (::GetWindowLongPtrW(arrows, GWL_STYLE) & WS_VISIBLE);
}
}  // namespace

TSkinTab::TSkinTab(TComponent* owner)
    : TSkinControl(owner), TabPicture(new TBitmap()), PanePicture(new TBitmap()), StripBuffer(new TBitmap()) {
  StripBuffer->SetPixelFormat(TPixelFormat::pf24bit);
}
TSkinTab::~TSkinTab() = default;

void TSkinTab::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  IsEnabled = (::GetWindowLongPtrW(Handle, GWL_STYLE) & WS_DISABLED) ? 0 : 1;
  auto* pages = dynamic_cast<TPageControl*>(Control);
  CloseBoxes = pages && Control->Tag() == 7777 && pages->TabPosition() == TTabPosition::tpTop ? 1 : 0;
  Prepare();
  FindUpDown();
  Enabled = 1;
  TabUnicode = ::IsWindowUnicode(Handle) ? 1 : 0;
}

void TSkinTab::AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachWindow(handle, skinData, form, canvas);
  Focused = ::GetFocus() == Handle ? 1 : 0;
  IsEnabled = (::GetWindowLongPtrW(Handle, GWL_STYLE) & WS_DISABLED) ? 0 : 1;
  Text = WindowTextOf(Handle);
  Prepare();
  FindUpDown();
  Enabled = 1;
  TabUnicode = ::IsWindowUnicode(Handle) ? 1 : 0;
}

void TSkinTab::SkinChanged() {
  TSkinControl::SkinChanged();
  Prepare();
}

void TSkinTab::Prepare() {
  const LONG_PTR style = ::GetWindowLongPtrW(Handle, GWL_STYLE);
  if (!(style & TCS_VERTICAL))
    Orientation = (style & TCS_BOTTOM) ? 1 : 0;
  else
    Orientation = (style & TCS_RIGHT) ? 3 : 2;
  TabPicture->SetSize(0, 0);
  PanePicture->SetSize(0, 0);
  TDataSkinBorder* tabs = SkinData ? SkinData->Tabs.get() : nullptr;
  if (!tabs) return;
  if (tabs->HasPicture()) CopyBitmap(tabs->Bitmap.get(), TabPicture.get());
  if (tabs->Style == 0) {
    if (!tabs->Bitmap2->Empty()) CopyBitmap(tabs->Bitmap2.get(), PanePicture.get());
  } else if (HasPicture(SkinData->TabPane.get())) {
    CopyBitmap(SkinData->TabPane->Bitmap.get(), PanePicture.get());
  }
  if (!TabPicture->Empty()) TabPicture->SetPixelFormat(TPixelFormat::pf24bit);
  if (!PanePicture->Empty()) PanePicture->SetPixelFormat(TPixelFormat::pf24bit);
  switch (Orientation) {
    case 1:
      if (!TabPicture->Empty()) FlipBitmap(TabPicture.get());
      if (!PanePicture->Empty()) FlipBitmap(PanePicture.get());
      break;
    case 2:
      if (!PanePicture->Empty()) RotateBitmapLeft(PanePicture.get());
      break;
    case 3:
      if (!PanePicture->Empty()) RotateBitmapRight(PanePicture.get());
      break;
    default:
      break;
  }
}

bool TSkinTab::FindUpDown() { return SkinArrows(this, UpDown); }

bool TSkinTab::BeforeMessage(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    SkinPaintMessage(this, m);
    return false;
  }
  if (m.Msg == WM_LBUTTONDOWN && CloseBoxes && HitCloseBox(m)) {
    m.Result = 0;
    return false;
  }
  return TSkinControl::BeforeMessage(m);
}

bool TSkinTab::HitCloseBox(TMessage& m) {
  const POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  auto* pages = dynamic_cast<TPageControl*>(Control);
  HWND host = Form ? Form->SkinnedWindow() : nullptr;
  bool hit = false;
  for (int i = static_cast<int>(CloseRects.size()) - 1; i >= 0; --i) {
    if (!::PtInRect(&CloseRects[static_cast<std::size_t>(i)], p)) continue;
    hit = true;
    const LRESULT answer =
        host ? ::SendMessageW(host, kSkinMsgCloseTab, reinterpret_cast<WPARAM>(Handle), static_cast<LPARAM>(i)) : 0;
    if (answer == 0 && pages && i < pages->PageCount()) pages->Pages(i)->Free();
  }
  return hit;
}

void TSkinTab::DrawCloseBox(TCanvas* canvas, const RECT& tab, int index) {
  const int R = tab.right, T = tab.top;
  const POINT box[] = {{R - 8, T + 2}, {R - 2, T + 2}, {R - 2, T + 8}, {R - 8, T + 8}, {R - 8, T + 2}, {R - 2, T + 8}};
  canvas->Polyline(box, 6);
  canvas->MoveTo(R - 2, T + 2);
  canvas->LineTo(R - 8, T + 8);
  CloseRects[static_cast<std::size_t>(index)] = RECT{R - 8, T + 2, R - 2, T + 8};
}

void TSkinTab::Draw(HDC dc, const RECT& r) {
  TDataSkinBorder* tabs = SkinData ? SkinData->Tabs.get() : nullptr;
  if (!tabs) return;
  RECT P = r;
  ::SendMessageW(Handle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&P));
  ::InflateRect(&P, 4, 4);
  switch (Orientation) {
    case 0: P.top += 1; break;
    case 1: P.bottom -= 1; break;
    case 2: P.left += 1; break;
    default: P.right -= 1; break;
  }
  const int count = static_cast<int>(::SendMessageW(Handle, TCM_GETITEMCOUNT, 0, 0));
  const int focus = static_cast<int>(::SendMessageW(Handle, TCM_GETCURFOCUS, 0, 0));
  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageW(Handle, TCM_GETIMAGELIST, 0, 0));
  CloseRects.assign(static_cast<std::size_t>(std::max(count, 0)), RECT{});
  IsEnabled = (::GetWindowLongPtrW(Handle, GWL_STYLE) & WS_DISABLED) ? 0 : 1;
  if (!TabPicture->Empty()) {
    RECT S;
    switch (Orientation) {
      case 0: S = RECT{r.left, r.top, r.right, P.top}; break;
      case 1: S = RECT{r.left, P.bottom, r.right, r.bottom}; break;
      case 2: S = RECT{r.left, r.top, P.left, r.bottom}; break;
      default: S = RECT{P.right, r.top, r.right, r.bottom}; break;
    }
    const bool sideways = Orientation >= 2;
    const int sw = sideways ? Height(S) : Width(S), sh = sideways ? Width(S) : Height(S);
    if (sw > 0 && sh > 0) {
      StripBuffer->SetPixelFormat(TPixelFormat::pf24bit);
      StripBuffer->SetSize(sw, sh);
      TCanvas* c = StripBuffer->Canvas();
      FillParentColor(this, c->Handle(), RECT{0, 0, sw, sh});
      UseWindowFont(Handle, c);
      for (int i = 0; i < count; ++i) {
        int image = -1;
        const std::wstring text = TabItemText(Handle, i, TabUnicode != 0, image);
        RECT I;
        if (!::SendMessageW(Handle, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&I))) continue;
        switch (Orientation) {
          case 0: ::OffsetRect(&I, 0, 1); break;
          case 1: ::OffsetRect(&I, 0, -(P.bottom + 1)); break;
          case 2: I = RECT{sw - I.bottom, I.left, sw - I.top, I.right}; break;
          default: I = RECT{I.top - 1, r.right - I.right, I.bottom - 1, r.right - I.left}; break;
        }
        const int frame = i == focus ? 2 : 1;
        DrawSliced(c->Handle(), I, TabPicture.get(), false, tabs->Tile != 0, tabs->Trans != 0, std::max(1, tabs->Frame),
                   frame, tabs->Margins());
        if (CloseBoxes) DrawCloseBox(c, I, i);
        c->Font()->SetColor(frame == 1 ? tabs->NormalColour2 : tabs->MouseOverColour2);
        DrawIconLabel(this, c, I, 1, text, image, images);
      }
      if (Orientation == 3) RotateBitmapRight(StripBuffer.get());
      if (Orientation == 2) RotateBitmapLeft(StripBuffer.get());
      ::GdiFlush();
      HDC sdc = StripBuffer->Canvas()->Handle();
      HWND arrows = ::FindWindowExW(Handle, nullptr, L"msctls_updown32", nullptr);
      if (FindUpDown() && arrows) {
        RECT ar;
        ::GetWindowRect(arrows, &ar);
        RECT wr;
        ::GetWindowRect(Handle, &wr);
        ::OffsetRect(&ar, -wr.left, -wr.top);
        const int saved = ::SaveDC(dc);
        ::ExcludeClipRect(dc, ar.left, ar.top, ar.right, ar.bottom);
        ::BitBlt(dc, S.left, S.top, Width(S), Height(S), sdc, 0, 0, SRCCOPY);
        ::RestoreDC(dc, saved);
      } else {
        ::BitBlt(dc, S.left, S.top, Width(S), Height(S), sdc, 0, 0, SRCCOPY);
      }
    }
  }
  if (!PanePicture->Empty()) {
    try {
      if (tabs->Style != 0) {
        const RECT margins = SkinData->TabPane ? SkinData->TabPane->Margins() : RECT{};
        DrawSliced(dc, P, PanePicture.get(), false, false, false, 1, 1, margins);
      } else {
        DrawSliced(dc, P, PanePicture.get(), false, false, false, 1, 1, RECT{4, 5, 4, 4});
      }
    } catch (const std::exception&) {
      // a broken pane picture leaves the pane as the control drew it
    }
  }
  if (Mode == 2)
    if (auto* wc = dynamic_cast<TWinControl*>(Control)) wc->PaintControls(dc, nullptr);
}

// ---- TSkinTabSheet ----------------------------------------------------------------------------------

bool TSkinTabSheet::BeforeMessage(TMessage& m) {
  const bool handOn = TSkinControl::BeforeMessage(m);
  if (Mode != 0) return handOn;
  switch (m.Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      SkinPaintMessage(this, m);
      return false;
    case WM_ERASEBKGND: {
      RECT cr;
      ::GetClientRect(Handle, &cr);
      if (SkinData) ::FillRect(reinterpret_cast<HDC>(m.WParam), &cr, SkinData->FaceBrush.Get());
      m.Result = 1;
      return false;
    }
    default:
      return handOn;
  }
}

void TSkinTabSheet::Draw(HDC dc, const RECT& r) {
  FillColor(dc, r, FaceColor());
  if (auto* wc = dynamic_cast<TWinControl*>(Control)) wc->PaintControls(dc, nullptr);
}

// ---- TSkinTabBtn ------------------------------------------------------------------------------------

bool TSkinTabBtn::BeforeMessage(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    SkinPaintMessage(this, m);
    return false;
  }
  return TSkinControl::BeforeMessage(m);
}

void TSkinTabBtn::Draw(HDC dc, const RECT& r) {
  TDataSkinButton* buttons = SkinData ? SkinData->Buttons.get() : nullptr;
  if (!HasPicture(buttons)) return;
  IsEnabled = Control ? (Control->Enabled() ? 1 : 0) : 1;
  const RECT P = TopPane(Handle, r);
  const RECT S{r.left, r.top, r.right, P.top};
  if (Width(S) <= 0 || Height(S) <= 0) return;
  TBitmap strip;
  strip.SetPixelFormat(TPixelFormat::pf24bit);
  strip.SetSize(Width(S), Height(S));
  TCanvas* c = strip.Canvas();
  FillFace(this, c->Handle(), RECT{0, 0, Width(S), Height(S)});
  UseWindowFont(Handle, c);
  c->Font()->SetColor(clBlack);
  const int count = static_cast<int>(::SendMessageW(Handle, TCM_GETITEMCOUNT, 0, 0));
  const int focus = static_cast<int>(::SendMessageW(Handle, TCM_GETCURFOCUS, 0, 0));
  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageW(Handle, TCM_GETIMAGELIST, 0, 0));
  for (int i = 0; i < count; ++i) {
    int image = -1;
    const std::wstring text = TabItemText(Handle, i, Unicode != 0, image);
    RECT I;
    if (!::SendMessageW(Handle, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&I))) continue;
    ::OffsetRect(&I, 0, 1);
    const int frame = i == focus ? 2 : 1;
    DrawSliced(c->Handle(), I, buttons->Bitmap.get(), false, buttons->Tile != 0, buttons->Trans != 0,
               std::max(1, buttons->Frame), frame, buttons->Margins());
    if (frame == 1 && buttons->HasColour2[0]) c->Font()->SetColor(buttons->NormalColour2);
    if (frame == 2 && buttons->HasColour2[2]) c->Font()->SetColor(buttons->PressedColour2);
    DrawIconLabel(this, c, I, 1, text, image, images);
  }
  ::GdiFlush();
  ::BitBlt(dc, S.left, S.top, Width(S), Height(S), c->Handle(), 0, 0, SRCCOPY);
}

// ---- TSkinTab31 -------------------------------------------------------------------------------------

TSkinTab31::TSkinTab31(TComponent* owner) : TSkinControl(owner), Picture(new TBitmap()) {}
TSkinTab31::~TSkinTab31() = default;

void TSkinTab31::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool, TCanvas* canvas) {
  if (Attached) return;
  Control = dynamic_cast<TControl*>(Owner());
  auto* wc = dynamic_cast<TWinControl*>(Control);
  if (!wc) return;
  Handle = wc->Handle();
  // subclassed at window level, not through WindowProc
  AttachWindow(Handle, skinData, form, canvas);
  PreparePicture();
}

void TSkinTab31::PreparePicture() {
  Picture->SetSize(0, 0);
  TDataSkinBorder* tabs = SkinData ? SkinData->Tabs.get() : nullptr;
  if (!HasPicture(tabs)) return;
  CopyBitmap(tabs->Bitmap.get(), Picture.get());
  FlipBitmap(Picture.get());
}

void TSkinTab31::SkinChanged() {
  TSkinControl::SkinChanged();
  PreparePicture();
}

bool TSkinTab31::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      SkinPaintMessage(this, m);
      return true;  // the tab set paints too, and the skin is drawn again after it
    case WM_ERASEBKGND:
      m.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeMessage(m);
  }
}

void TSkinTab31::Draw(HDC dc, const RECT& r) {
  TDataSkinBorder* tabs = SkinData ? SkinData->Tabs.get() : nullptr;
  if (!HasPicture(tabs) || Picture->Empty() || !Control || Width(r) <= 0 || Height(r) <= 0) return;
  TBitmap buffer;
  buffer.SetPixelFormat(TPixelFormat::pf24bit);
  buffer.SetSize(Width(r), Height(r));
  TCanvas* c = buffer.Canvas();
  FillFace(this, c->Handle(), RECT{0, 0, Width(r), Height(r)});
  c->Font()->Assign(Control->Font());
  auto* list = dynamic_cast<TStrings*>(GetObjectPropByName(Control, L"Tabs"));
  const long long selected = GetOrdPropByName(Control, L"TabIndex");
  const long long startMargin = std::max(0LL, GetOrdPropByName(Control, L"StartMargin"));
  const long long endMargin = std::max(0LL, GetOrdPropByName(Control, L"EndMargin"));
  const long long first = std::max(0LL, GetOrdPropByName(Control, L"FirstIndex"));
  if (list) {
    int x = static_cast<int>(startMargin);
    const int limit = Width(r) - static_cast<int>(endMargin);
    for (int i = static_cast<int>(first); i < list->Count(); ++i) {
      const std::wstring text = list->Strings(i);
      const int tabWidth = c->TextWidth(text) + 9;
      if (x + tabWidth > limit) continue;  // a later, shorter tab may still fit
      const RECT tab{x, 0, x + tabWidth, Height(r)};
      const int frame = i == selected ? 2 : 1;
      DrawSliced(c->Handle(), tab, Picture.get(), false, tabs->Tile != 0, tabs->Trans != 0, std::max(1, tabs->Frame),
                 frame, tabs->Margins());
      c->Font()->SetColor(frame == 1 ? tabs->NormalColour2 : tabs->MouseOverColour2);
      DrawLabel(this, c, tab, DT_CENTER, true, text);
      x += tabWidth;
    }
  }
  ::GdiFlush();
  ::BitBlt(dc, r.left, r.top, Width(r), Height(r), c->Handle(), 0, 0, SRCCOPY);
}

// ---- TSkinAdvPage -----------------------------------------------------------------------------------

void TSkinAdvPage::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  if (Kind == 4) RenderTabs();
  Attached = 1;
  State = kSkinnerAttached;
}

void TSkinAdvPage::SkinChanged() {
  TSkinControl::SkinChanged();
  if (Kind == 4) RenderTabs();
}

void TSkinAdvPage::Restore() {
  if (!Control || Control->IsDestroying()) return;
  for (const wchar_t* name : {L"TabBackGround", L"TabBackGroundActive"})
    if (auto* b = dynamic_cast<TBitmap*>(GetObjectPropByName(Control, name))) b->Assign(nullptr);
  // the control gets its own colour back, as every recoloured control does
  TSkinControl::Restore();
}

void TSkinAdvPage::RenderTabs() {
  TDataSkinBorder* tabs = SkinData ? SkinData->Tabs.get() : nullptr;
  if (!HasPicture(tabs) || !Control) return;
  const RECT size{0, 0, 100, 21};
  const struct {
    const wchar_t* property;
    int frame;
  } targets[] = {{L"TabBackGround", 1}, {L"TabBackGroundActive", 2}};
  for (const auto& t : targets) {
    auto* b = dynamic_cast<TBitmap*>(GetObjectPropByName(Control, t.property));
    if (!b) continue;
    TObjectPtr<TBitmap> slice = SliceBitmap(size, tabs->Bitmap.get(), tabs->Margins(), false, tabs->Trans != 0,
                                            std::max(1, tabs->Frame), t.frame);
    b->Assign(slice.get());
  }
}

void TSkinAdvPage::Draw(HDC, const RECT&) { SkinArrows(this, UpDown); }

}  // namespace kivo
