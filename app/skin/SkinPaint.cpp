#include "SkinPaint.h"

#include <algorithm>

#include "SkinDraw.h"

namespace kivo {

namespace {

bool Inverted(const RECT& r) { return r.right < r.left || r.bottom < r.top; }
int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// The canvas's font and colour on its DC, background transparent, for direct DrawText calls.
class TCanvasTextScope {
 public:
  explicit TCanvasTextScope(TCanvas* canvas)
      : dc_(canvas->Handle()),
        font_(dc_, canvas->Font()->Handle()),
        color_(::SetTextColor(dc_, ColorToRGB(canvas->Font()->Color()))),
        mode_(::SetBkMode(dc_, TRANSPARENT)) {}
  ~TCanvasTextScope() {
    ::SetBkMode(dc_, mode_);
    ::SetTextColor(dc_, color_);
  }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_;
  TSelectObject font_;
  COLORREF color_;
  int mode_;
};

// Transparent background, clear brush, plain font: how every label is drawn.
void PrepareLabelCanvas(TCanvas* canvas, bool enabled) {
  canvas->Brush()->SetStyle(TBrushStyle::bsClear);
  canvas->Font()->SetStyle(0);
  if (!enabled) canvas->Font()->SetColor(clBtnShadow);
}

SIZE MeasureText(HDC dc, const std::wstring& text, const RECT& r, UINT flags) {
  RECT m = r;
  SkinDrawText(dc, text, m, flags | DT_CALCRECT | DT_NOCLIP);
  return SIZE{m.right - m.left, m.bottom - m.top};
}

// Cell i of n stretched into a new bitmap of r's size.
TObjectPtr<TBitmap> StretchedCell(const RECT& r, int n, int i, TBitmap* bitmap) {
  TObjectPtr<TBitmap> cell(new TBitmap());
  cell->SetPixelFormat(TPixelFormat::pf24bit);
  if (Width(r) <= 0 || Height(r) <= 0 || !bitmap || bitmap->Empty()) return cell;
  cell->SetSize(Width(r), Height(r));
  const RECT src = SkinFrameRect(bitmap, false, n, i);
  cell->Canvas()->CopyRect(RECT{0, 0, Width(r), Height(r)}, bitmap->Canvas(), src);
  ::GdiFlush();
  return cell;
}

}  // namespace

void SkinPaintMessage(TSkinControl* skinner, TMessage& message) {
  HDC dc = reinterpret_cast<HDC>(message.WParam);
  PAINTSTRUCT ps{};
  struct TEndPaint {
    HWND wnd = nullptr;
    PAINTSTRUCT* ps = nullptr;
    ~TEndPaint() {
      if (wnd) ::EndPaint(wnd, ps);
    }
  } end;
  if (!dc) {
    dc = ::BeginPaint(skinner->Handle, &ps);
    end.wnd = skinner->Handle;
    end.ps = &ps;
  }
  RECT r;
  if (dc && ::GetWindowRect(skinner->Handle, &r)) {
    skinner->WindowRect = r;
    ::OffsetRect(&r, -r.left, -r.top);
    skinner->Draw(dc, r);
  }
}

void SkinEraseMessage(TSkinControl* skinner, TMessage& message) {
  HDC dc = reinterpret_cast<HDC>(message.WParam);
  if (skinner->Control) {
    PaintParentBackground(skinner->Control, dc);
  } else {
    RECT r;
    ::GetClientRect(skinner->Handle, &r);
    FillColor(dc, r, skinner->ParentColor(skinner->FaceColor()));
  }
  message.Result = 1;
}

void DrawSkinObject(TSkinControl*, HDC dc, const RECT& r, int n, int i, TDataSkinObject* object) {
  if (Inverted(r) || !object) return;
  TObjectPtr<TBitmap> b = SliceBitmap(r, object->Bitmap.get(), object->Margins(), false, object->Tile == 1, n, i);
  if (b->Empty()) return;
  if (object->Trans == 1) {
    DrawTransparent(dc, r, b.get());
  } else {
    ::BitBlt(dc, r.left, r.top, b->Width(), b->Height(), b->Canvas()->Handle(), 0, 0, SRCCOPY);
  }
}

void DrawStripFrame(TSkinControl*, HDC dc, const RECT& r, int n, int i, TBitmap* bitmap) {
  if (Inverted(r)) return;
  TObjectPtr<TBitmap> cell = StretchedCell(r, n, i, bitmap);
  if (!cell->Empty()) DrawTransparent(dc, r, cell.get());
}

void DrawStripFrameCanvas(TSkinControl*, TCanvas* canvas, const RECT& r, int n, int i, TBitmap* bitmap) {
  if (Inverted(r)) return;
  TObjectPtr<TBitmap> cell = StretchedCell(r, n, i, bitmap);
  if (cell->Empty()) return;
  cell->SetTransparentColor(clFuchsia);
  cell->SetTransparent(true);
  canvas->Draw(r.left, r.top, cell.get());
}

void DrawStripFrameDC(TSkinControl* skinner, HDC dc, const RECT& r, int n, int i, TBitmap* bitmap) {
  TCanvas canvas;
  TCanvasBinding binding(&canvas, dc);
  DrawStripFrameCanvas(skinner, &canvas, r, n, i, bitmap);
}

void FillColor(HDC dc, const RECT& r, TColor color) {
  TBrushOwner brush(::CreateSolidBrush(ColorToRGB(color)));
  ::FillRect(dc, &r, brush.Get());
}
void FillFace(TSkinControl* skinner, HDC dc, const RECT& r) { FillColor(dc, r, skinner->FaceColor()); }
void FillParentColor(TSkinControl* skinner, HDC dc, const RECT& r) {
  FillColor(dc, r, skinner->ParentColor(skinner->FaceColor()));
}

UINT TextFlagsFor(TSkinControl* skinner, UINT flags) {
  auto rightToLeft = [](TControl* c) {
    if (!c) return false;
    const TPropInfo* p = GetPropInfo(c, L"BiDiMode");
    return p && p->Kind == TTypeKind::tkEnumeration && GetEnumProp(c, L"BiDiMode") == L"bdRightToLeft";
  };
  if (rightToLeft(skinner->Control) || rightToLeft(skinner->RepaintTarget)) flags |= DT_RTLREADING;
  return flags;
}

void DrawLabel(TSkinControl* skinner, TCanvas* canvas, const RECT& r, UINT alignment, bool enabled,
               const std::wstring& text) {
  const UINT flags = alignment | DT_EXPANDTABS;
  PrepareLabelCanvas(canvas, enabled);
  TCanvasTextScope scope(canvas);
  RECT m = r;
  SkinDrawText(scope.Dc(), text, m, flags | DT_CALCRECT | DT_NOCLIP);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  if (alignment == DT_CENTER) {
    ::OffsetRect(&m, (Width(r) - tw) / 2, (Height(r) - th) / 2 - 1);
  } else {
    ::OffsetRect(&m, 0, (Height(r) - th) / 2 - 1);
    m.left = r.left;
    m.right = r.right;
  }
  SkinDrawText(scope.Dc(), text, m, TextFlagsFor(skinner, flags));
}

void DrawIconLabel(TSkinControl* skinner, TCanvas* canvas, const RECT& r, int alignment, const std::wstring& text,
                   int imageIndex, HIMAGELIST images) {
  const int W = Width(r), H = Height(r);
  int iconWidth = 0, iconHeight = 0;
  bool useIcon = false;
  if (images && imageIndex != -1 && ::ImageList_GetIconSize(images, &iconWidth, &iconHeight) && iconWidth < W)
    useIcon = true;
  if (!useIcon) iconWidth = 0;
  const UINT flags = DT_WORDBREAK | DT_EXPANDTABS | DT_END_ELLIPSIS;
  PrepareLabelCanvas(canvas, skinner->IsEnabled != 0);
  TCanvasTextScope scope(canvas);
  SIZE t{0, 0};
  if (!text.empty()) {
    RECT room = r;
    if (useIcon) room.right += iconWidth + 2;
    t = MeasureText(scope.Dc(), text, room, flags);
  }
  int x = alignment == 0 ? 3 : alignment == 1 ? (W - iconWidth - t.cx) / 2 : W - iconWidth - t.cx - 2;
  if (x < 2) x = 1;
  if (useIcon) ::ImageList_Draw(images, imageIndex, scope.Dc(), r.left + x, r.top + (H - iconWidth) / 2, ILD_TRANSPARENT);
  RECT tr{r.left + x + iconWidth, r.top + (H - t.cy) / 2, r.left + x + iconWidth + t.cx, r.top + (H - t.cy) / 2 + t.cy};
  tr.left = std::max(tr.left, r.left);
  tr.right = std::min(tr.right, r.right);
  SkinDrawText(scope.Dc(), text, tr, TextFlagsFor(skinner, flags));
}

void DrawCentredText(TCanvas* canvas, const RECT& r, const std::wstring& text, int alignment, bool enabled) {
  const UINT align = alignment == 1 ? DT_RIGHT : alignment == 2 ? DT_CENTER : DT_LEFT;
  const UINT flags = align | DT_EXPANDTABS | DT_SINGLELINE;
  PrepareLabelCanvas(canvas, enabled);
  TCanvasTextScope scope(canvas);
  RECT m = r;
  SkinDrawText(scope.Dc(), text, m, flags | DT_CALCRECT | DT_NOCLIP);
  ::OffsetRect(&m, (Width(r) - (m.right - m.left)) / 2, (Height(r) - (m.bottom - m.top)) / 2);
  SkinDrawText(scope.Dc(), text, m, flags);
}

void DrawSkinFocusRect(TSkinControl*, HDC dc, const std::wstring& text, UINT flags, const RECT& r) {
  RECT m = r;
  SkinDrawText(dc, text, m, flags | DT_CALCRECT | DT_NOCLIP);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  if (flags & DT_CENTER) {
    ::OffsetRect(&m, (Width(r) - tw) / 2, (Height(r) - th) / 2 - 1);
  } else if (flags & DT_RIGHT) {
    ::OffsetRect(&m, Width(r) - tw, 0);
  }
  ::InflateRect(&m, 2, 1);
  RECT clipped;
  if (!::IntersectRect(&clipped, &m, &r)) return;
  ::DrawFocusRect(dc, &clipped);
}

}  // namespace kivo
