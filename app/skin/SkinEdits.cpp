// Edit and combo box skinners: a flat border over the control's own painting, the combo box's
// drop-down button from the skin, and the skinned scroll bar of its list.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinEdit)
KIVO_IMPLEMENT_CLASS(TSkinComBox)
KIVO_IMPLEMENT_CLASS(TSkinDateTime)
KIVO_IMPLEMENT_CLASS(TArrowButton)

namespace {
int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
bool HasPicture(const TDataSkinObject* o) { return o && o->HasPicture(); }

void Frame(HDC dc, const RECT& r, COLORREF color) {
  TBrushOwner brush(::CreateSolidBrush(color));
  ::FrameRect(dc, &r, brush.Get());
}

// The client rectangle differs from the window rectangle in both directions (the window has a border).
bool HasBorder(HWND wnd, const RECT& r) {
  RECT client;
  ::GetClientRect(wnd, &client);
  return Width(client) != Width(r) && Height(client) != Height(r);
}

bool GetComboInfo(HWND wnd, COMBOBOXINFO& info) {
  info = COMBOBOXINFO{};
  info.cbSize = sizeof(info);
  return SkinUser32().GetComboBoxInfo && SkinUser32().GetComboBoxInfo(wnd, &info);
}
}  // namespace

// ---- TSkinEdit --------------------------------------------------------------------------------------

void TSkinEdit::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT:
      PaintFrame(reinterpret_cast<HDC>(m.WParam));
      break;
    case WM_PRINTCLIENT:
      PrintBorder(reinterpret_cast<HDC>(m.WParam));
      break;
    case kSkinMsgPrintControl:
      if (m.LParam == kSkinMsgSignature) {
        if (m.WParam) {
          TMessage paint{WM_PAINT, m.WParam, 0, 0};
          CallPrevious(paint);
        }
        m.Result = kSkinMsgSignature;
      }
      break;
    case WM_NCPAINT:
      PaintFrame(nullptr);
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

void TSkinEdit::FindUpDown() {
  for (HWND child = ::GetTopWindow(Handle); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring cls = LowerCase(WindowClassName(child));
    if (cls == L"msctls_updown32" || cls.find(L"spin") != std::wstring::npos ||
        cls.find(L"updown") != std::wstring::npos) {
      UpDown = new TSkinUpDown(Owner());
      UpDown->AttachWindow(child, SkinData, Form, Canvas);
      UpDown->Buddy = 1;
      return;
    }
  }
}

void TSkinEdit::Draw(HDC dc, const RECT& r) {
  if (SkinData && (SkinData->SkinControls() & SkinBit(xcSpin)) && !UpDown) FindUpDown();
  if (!HasBorder(Handle, r)) return;
  Frame(dc, r, ColorToRGB(SkinData->Color(scButtonShadow)));
  RECT inner = r;
  ::InflateRect(&inner, -1, -1);
  Frame(dc, inner, RGB(255, 255, 255));
  ::InflateRect(&inner, -1, -1);
  Frame(dc, inner, RGB(255, 255, 255));
}

void TSkinEdit::PrintBorder(HDC dc) {
  RECT r;
  if (!Handle || !::GetWindowRect(Handle, &r)) return;
  ::OffsetRect(&r, -r.left, -r.top);
  HDC target = dc ? dc : ::GetWindowDC(Handle);
  if (!target) return;
  try {
    RECT client;
    ::GetClientRect(Handle, &client);
    if (Width(r) - Width(client) > 2 && Height(r) - Height(client) > 2) {
      RECT inner = r;
      ::InflateRect(&inner, -1, -1);
      ::FrameRect(target, &inner, static_cast<HBRUSH>(::GetCurrentObject(target, OBJ_BRUSH)));
      Frame(target, r, ColorToRGB(SkinData->Color(scButtonShadow)));
    }
  } catch (const std::exception&) {
  }
  if (!dc) ::ReleaseDC(Handle, target);
}

// ---- TSkinComBox ------------------------------------------------------------------------------------

TSkinComBox::~TSkinComBox() {
  UnsubclassEdit();
  if (ListScrollH) ListScrollH->Free();
  ListScrollH = nullptr;
}

void TSkinComBox::Notification(TComponent* c, TOperation op) {
  TSkinControl::Notification(c, op);
  if (op != TOperation::opRemove) return;
  if (c == ListScroll) ListScroll = nullptr;
  if (c == ListScrollH) ListScrollH = nullptr;
}

void TSkinComBox::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  Style = WindowLong(Handle, GWL_STYLE);
  ListScrollH = nullptr;
  if ((Style & 3) != CBS_SIMPLE) {
    SkinList();
    if (!::IsWindowUnicode(Handle)) SubclassEdit();
    ListWindow = nullptr;
  } else if (GetComboInfo(Handle, ComboInfo)) {
    ListWindow = ComboInfo.hwndList;
    if (ListWindow && !IsPopupWindow(ListWindow) && (::GetWindowLongPtrW(ListWindow, GWL_STYLE) & WS_CHILD)) {
      ListScrollH = new TSkinScrollbarH(this);
      ListScrollH->AttachWindow(ListWindow, SkinData, Form, nullptr);
    }
  }
}

void TSkinComBox::AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachWindow(handle, skinData, form, canvas);
  Style = WindowLong(Handle, GWL_STYLE);
  if ((Style & 3) != CBS_SIMPLE) {
    if (!::IsWindowUnicode(Handle)) SubclassEdit();
    ListWindow = nullptr;
  } else if (GetComboInfo(Handle, ComboInfo)) {
    ListWindow = ComboInfo.hwndList;
  }
}

void TSkinComBox::SkinList() {
  if (!(Style & 0x2)) return;
  if (GetComboInfo(Handle, ComboInfo) && ComboInfo.hwndList) {
    ListScroll = new TComboxScrollBar(this);
    ListScroll->AttachWindow(ComboInfo.hwndList, SkinData, Form, Canvas);
  } else {
    ListScroll = nullptr;
  }
}

void TSkinComBox::SubclassEdit() {
  EditWindow = ::GetTopWindow(Handle);
  if (!EditWindow) return;
  EditInstance = MakeObjectInstance([this](TMessage& m) { EditProc(m); });
  EditOldProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(EditWindow, GWLP_WNDPROC));
  ::SetWindowLongPtrA(EditWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditInstance));
}

void TSkinComBox::UnsubclassEdit() {
  if (!EditInstance) return;
  if (EditWindow && ::IsWindow(EditWindow))
    ::SetWindowLongPtrA(EditWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditOldProc));
  FreeObjectInstance(EditInstance);
  EditInstance = nullptr;
  EditOldProc = nullptr;
}

void TSkinComBox::EditProc(TMessage& m) {
  m.Result = ::CallWindowProcA(EditOldProc, EditWindow, m.Msg, m.WParam, m.LParam);
  switch (m.Msg) {
    case WM_PAINT:
      PaintFrame(nullptr);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      StateFlags |= kSkinPressed;
      Repaint();
      break;
    case WM_LBUTTONUP:
      StateFlags &= static_cast<std::uint8_t>(~kSkinPressed);
      Repaint();
      break;
    case WM_NCDESTROY:
      // the edit goes before its combo box: let it take its own procedure with it
      if (EditInstance) {
        ::SetWindowLongPtrA(EditWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditOldProc));
        EditWindow = nullptr;
      }
      break;
    default:
      break;
  }
}

void TSkinComBox::Restore() {
  TSkinControl::Restore();
  UnsubclassEdit();
  if (ListScrollH) {
    ListScrollH->Restore();
    ListScrollH->Free();
    ListScrollH = nullptr;
  }
  if (ListScroll) {
    ListScroll->Restore();
    ListScroll->Free();
    ListScroll = nullptr;
  }
}

void TSkinComBox::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_DRAWITEM:
    case WM_NCPAINT:
      Repaint();
      break;
    case WM_MOUSEMOVE: {
      const POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
      const bool inside = ::PtInRect(&ButtonRect, p) != 0;
      if ((StateFlags & kSkinHover) && !inside && IsEnabled == 1) {
        StateFlags &= static_cast<std::uint8_t>(~kSkinHover);
        Repaint();
      } else if (!(StateFlags & kSkinHover) && inside && IsEnabled == 1) {
        StateFlags |= kSkinHover;
        Repaint();
      }
      break;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case CN_COMMAND:
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      StateFlags |= kSkinPressed;
      Repaint();
      break;
    case WM_LBUTTONUP:
      StateFlags &= static_cast<std::uint8_t>(~kSkinPressed);
      Repaint();
      break;
    case CM_MOUSELEAVE:
    case WM_MOUSELEAVE:
      if (StateFlags & kSkinHover) {
        StateFlags &= static_cast<std::uint8_t>(~kSkinHover);
        Repaint();
      }
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

void TSkinComBox::Draw(HDC dc, const RECT& r) {
  TDataSkinBorder* button = SkinData ? SkinData->ComboButton.get() : nullptr;
  if (!HasPicture(button)) return;
  Style = WindowLong(Handle, GWL_STYLE);
  ExStyle = WindowLong(Handle, GWL_EXSTYLE);
  if (GetComboInfo(Handle, ComboInfo)) {
    ButtonRect = ComboInfo.rcButton;
    if (ComboInfo.stateButton & STATE_SYSTEM_INVISIBLE) return;
  }
  if (button->Style == 1) {
    DrawFlat(dc, r);
    return;
  }
  Focused = ::GetFocus() == Handle || (EditWindow && ::GetFocus() == EditWindow) ? 1 : 0;
  IsEnabled = (Style & WS_DISABLED) ? 0 : 1;
  int frame = 1;
  if (Focused) frame = 4;
  if (StateFlags & kSkinPressed)
    frame = 2;
  else if (StateFlags & kSkinHover)
    frame = 4;
  if (!IsEnabled) frame = 3;
  if (IsComboEx) {
    DrawComboExBorder(dc, r);
    DrawComboExArrow(dc, frame);
    return;
  }
  if (button->Style == 2) {
    TDataSkinObject* source = button;
    TBitmap* picture = button->Bitmap.get();
    if (ExStyle & WS_EX_LEFTSCROLLBAR) {
      source = SkinData->SunkEdge.get();
      if (!HasPicture(source)) return;
      picture = source->Bitmap.get();
    }
    DrawSliced(dc, r, picture, false, false, true, std::max(1, source->Frame), frame, source->Margins());
  }
}

void TSkinComBox::DrawFlat(HDC dc, const RECT& r) {
  TDataSkinBorder* button = SkinData->ComboButton.get();
  IsEnabled = (Style & WS_DISABLED) ? 0 : 1;
  Focused = ::GetFocus() == Handle ? 1 : 0;
  int frame = 1;
  if (!IsEnabled) frame = 3;
  if (Focused) frame = 4;
  if (StateFlags & kSkinPressed)
    frame = 2;
  else if (StateFlags & kSkinHover)
    frame = 4;
  const int n = std::max(1, button->Frame);
  const int w = button->Bitmap->Width() / n, h = button->Bitmap->Height();
  const int cy = ::GetSystemMetrics(SM_CYVTHUMB);
  HBRUSH brush = static_cast<HBRUSH>(::GetCurrentObject(dc, OBJ_BRUSH));
  RECT ring = r;
  ::InflateRect(&ring, -1, -1);
  ::FrameRect(dc, &ring, brush);
  RECT inner = r;
  ::InflateRect(&inner, -2, -2);
  const bool left = (ExStyle & WS_EX_LEFTSCROLLBAR) != 0;
  RECT column = inner;
  if (left)
    column.right = column.left + cy;
  else
    column.left = column.right - cy;
  ::FillRect(dc, &column, brush);
  RECT b = inner;
  if (left)
    b.right = b.left + w;
  else
    b.left = b.right - w;
  if (h < cy) b.bottom = b.top + h;
  Frame(dc, r, ColorToRGB(SkinData->Color(scButtonShadow)));
  ButtonRect = b;
  DrawStripFrameDC(this, dc, b, n, frame, button->Bitmap.get());
}

void TSkinComBox::DrawComboExBorder(HDC dc, const RECT& r) {
  if (!HasBorder(Handle, r)) return;
  Frame(dc, r, ColorToRGB(SkinData->Color(scButtonShadow)));
  RECT inner = r;
  ::InflateRect(&inner, -1, -1);
  Frame(dc, inner, RGB(255, 255, 255));
}

void TSkinComBox::DrawComboExArrow(HDC dc, int frame) {
  TDataSkinObject* arrow = SkinData->ComboxArrow.get();
  if (!EditWindow || !HasPicture(arrow)) return;
  RECT er, wr;
  ::GetWindowRect(EditWindow, &er);
  ::GetWindowRect(Handle, &wr);
  ::OffsetRect(&er, -wr.left, -wr.top);
  FillFace(this, dc, er);
  DrawStripFrameDC(this, dc, er, std::max(1, arrow->Frame), frame, arrow->Bitmap.get());
}

// ---- TSkinDateTime and its arrow button ----------------------------------------------------------------

TSkinDateTime::~TSkinDateTime() {
  if (ArrowButton) ArrowButton->Free();
  ArrowButton = nullptr;
}

void TSkinDateTime::Notification(TComponent* c, TOperation op) {
  TSkinControl::Notification(c, op);
  if (op == TOperation::opRemove && c == ArrowButton) ArrowButton = nullptr;
}

void TSkinDateTime::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  if (!Control || !Handle) return;
  ArrowButton = new TArrowButton(this);
  ArrowButton->Bind(this, Control);
}

void TSkinDateTime::AfterMessage(TMessage& m) {
  if (m.Msg == WM_SIZE) {
    if (ArrowButton) ArrowButton->Repaint();
    return;
  }
  TSkinControl::AfterMessage(m);
}

void TSkinDateTime::Draw(HDC dc, const RECT& r) {
  if (ArrowButton) ArrowButton->Align(r);
  if (!HasBorder(Handle, r)) return;
  Frame(dc, r, ColorToRGB(SkinData->Color(scButtonShadow)));
  RECT inner = r;
  ::InflateRect(&inner, -1, -1);
  Frame(dc, inner, RGB(255, 255, 255));
}

TArrowButton::TArrowButton(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(false);
  SetWidth(::GetSystemMetrics(SM_CXHSCROLL));
}

void TArrowButton::Bind(TSkinDateTime* skinner, TControl* picker) {
  Skinner = skinner;
  Picker = picker;
  auto* wc = dynamic_cast<TWinControl*>(picker);
  PickerHandle = wc ? wc->Handle() : nullptr;
  if (!PickerHandle) return;
  const int arrow = ::GetSystemMetrics(SM_CXHSCROLL);
  RECT wr;
  ::GetWindowRect(PickerHandle, &wr);
  const bool left = (::GetWindowLongPtrW(PickerHandle, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  SetBounds(left ? 2 : (wr.right - wr.left) - arrow - 4, 0, arrow, picker->Height() - 4);
  ::SetWindowLongPtrW(PickerHandle, GWL_STYLE, ::GetWindowLongPtrW(PickerHandle, GWL_STYLE) | WS_CLIPCHILDREN);
  SetParentWindow(PickerHandle);
  SetVisible(true);
}

void TArrowButton::Align(const RECT& r) {
  if (!PickerHandle) return;
  const bool left = (::GetWindowLongPtrW(PickerHandle, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  const int x = left ? 2 : r.right - ::GetSystemMetrics(SM_CXHSCROLL) - 4;
  if (x != Left()) SetLeft(x);
}

void TArrowButton::Paint() {
  TSkinData* data = Skinner ? Skinner->SkinData : nullptr;
  const RECT r{0, 0, Width(), Picker ? Picker->Height() - 4 : Height()};
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(data ? data->Color(scButtonFace) : clBtnFace);
  c->FillRect(r);
  TDataSkinObject* arrow = data ? data->ComboxArrow.get() : nullptr;
  if (!HasPicture(arrow)) return;
  const RECT cell = SkinFrameRect(arrow->Bitmap.get(), false, std::max(1, arrow->Frame), (Hover & 1) ? 4 : 1);
  c->CopyRect(r, arrow->Bitmap->Canvas(), cell);
}

void TArrowButton::WndProc(TMessage& m) {
  const bool pickerEnabled = PickerHandle && ::IsWindowEnabled(PickerHandle);
  switch (m.Msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      TCustomControl::WndProc(m);
      if (pickerEnabled) {
        Hover = m.Msg == CM_MOUSEENTER ? (Hover | 1) : (Hover & ~1);
        Invalidate();
      }
      return;
    case WM_LBUTTONDOWN: {
      TCustomControl::WndProc(m);
      if (!PickerHandle) return;
      const int x = static_cast<short>(LOWORD(m.LParam)) + Left(), y = static_cast<short>(HIWORD(m.LParam)) + Top();
      const LPARAM point = MAKELPARAM(x, y);
      ::PostMessageW(PickerHandle, WM_LBUTTONDOWN, m.WParam, point);
      ::PostMessageW(PickerHandle, WM_LBUTTONUP, m.WParam, point);
      Invalidate();
      return;
    }
    case WM_LBUTTONUP:
      TCustomControl::WndProc(m);
      if (PickerHandle) ::SetFocus(PickerHandle);
      return;
    default:
      TCustomControl::WndProc(m);
  }
}

}  // namespace kivo
