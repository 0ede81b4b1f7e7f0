#include "SkinControl.h"

#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinControl)

TSkinControl::TSkinControl(TComponent* owner) : TComponent(owner) {}

TSkinControl::~TSkinControl() {
  *alive_ = false;
  UnhookControl();
  UnhookWindow();
  if (Form) {
    TSkinnerHost* form = Form;
    Form = nullptr;
    form->RemoveSkinner(this);
  }
}

bool TSkinControl::ControlDying() const { return Control && Control->IsDestroying(); }

void TSkinControl::HookControl() {
  if (!Control || SavedWindowProc) return;
  SavedWindowProc = Control->WindowProc;
  Control->WindowProc = [this](TMessage& m) { MessageHook(m); };
}

void TSkinControl::UnhookControl() {
  if (!SavedWindowProc) return;
  // A control being destroyed frees its skinner after its own members are gone: leave it alone.
  if (Control && !Control->IsDestroying()) Control->WindowProc = SavedWindowProc;
  SavedWindowProc = nullptr;
}

void TSkinControl::HookWindow() {
  if (!Handle || ObjectInstance) return;
  ObjectInstance = MakeObjectInstance([this](TMessage& m) { MessageHook(m); });
  if (Unicode) {
    OldWndProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(Handle, GWLP_WNDPROC));
    ::SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ObjectInstance));
  } else {
    OldWndProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(Handle, GWLP_WNDPROC));
    ::SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ObjectInstance));
  }
}

void TSkinControl::UnhookWindow() {
  if (!ObjectInstance) return;
  if (Handle && ::IsWindow(Handle)) {
    if (Unicode)
      ::SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldWndProc));
    else
      ::SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldWndProc));
  }
  FreeObjectInstance(ObjectInstance);
  ObjectInstance = nullptr;
}

void TSkinControl::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  if (Attached) return;
  Recolor = recolor ? 1 : 0;
  SkinData = skinData;
  Form = form;
  Canvas = canvas;
  Control = dynamic_cast<TControl*>(Owner());
  if (auto* wc = dynamic_cast<TWinControl*>(Control)) Handle = wc->Handle();
  Unicode = Handle && ::IsWindowUnicode(Handle) ? 1 : 0;
  HookControl();
  if (Form) Form->AddSkinner(this);
  if (Recolor && Control) {
    SwitchParentBackground(true);
    SavedColor = Control->Color();
    Control->SetColor(FaceColor());
    if (ParentBackgroundWasOn) Mode = 1;
  }
  if (Control) Control->Invalidate();
  Attached = 1;
  State = kSkinnerAttached;
}

void TSkinControl::AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas) {
  SkinData = skinData;
  Canvas = canvas;
  Form = form;
  Handle = handle;
  IsEnabled = 1;
  Mode = 0;
  if (Form) Form->AddSkinner(this);
  Unicode = handle && ::IsWindowUnicode(handle) ? 1 : 0;
  Text = WindowTextOf(handle);
  HookWindow();
  if (Handle) ::InvalidateRect(Handle, nullptr, TRUE);
  Attached = 1;
  State = kSkinnerAttached;
}

void TSkinControl::Restore() {
  if (Recolor && Control && !Control->IsDestroying()) {
    SwitchParentBackground(false);
    Control->SetColor(SavedColor);
  }
}

void TSkinControl::SkinChanged() {
  if (Recolor && Control) Control->SetColor(FaceColor());
  Repaint();
}

void TSkinControl::MessageHook(TMessage& m) {
  if (m.Msg == kSkinMsgEnable) {
    Enabled = m.WParam > 0 ? 1 : 0;
    if (Enabled) Repaint();
    return;
  }
  if (!Enabled) {
    CallPrevious(m);
    return;
  }
  auto alive = alive_;
  if (!BeforeMessage(m)) return;
  CallPrevious(m);
  // the control's own handling may have freed this skinner
  if (*alive) AfterMessage(m);
}

void TSkinControl::CallPrevious(TMessage& m) {
  if (SavedWindowProc) {
    TWndMethod previous = SavedWindowProc;  // the call may unhook
    previous(m);
  } else if (OldWndProc) {
    m.Result = Unicode ? ::CallWindowProcW(OldWndProc, Handle, m.Msg, m.WParam, m.LParam)
                       : ::CallWindowProcA(OldWndProc, Handle, m.Msg, m.WParam, m.LParam);
  } else if (Handle) {
    m.Result = ::DefWindowProcW(Handle, m.Msg, m.WParam, m.LParam);
  }
}

bool TSkinControl::BeforeMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_NCDESTROY: {
      auto alive = alive_;
      CallPrevious(m);
      if (!*alive) return false;
      Enabled = 0;
      State = kSkinnerWindowGone;
      Restore();
      return false;
    }
    case kSkinMsgIsSkinned:
      m.Result = 1;
      return false;
    default:
      return true;
  }
}

void TSkinControl::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case CM_ENABLEDCHANGED:
      Repaint();
      break;
    case WM_PAINT:
      PaintFrame(reinterpret_cast<HDC>(m.WParam));
      break;
    default:
      break;
  }
}

void TSkinControl::PaintFrame(HDC dc) {
  RECT r;
  if (!Handle || !::GetWindowRect(Handle, &r)) return;
  WindowRect = r;
  ::OffsetRect(&r, -r.left, -r.top);
  try {
    if (dc) {
      Draw(dc, r);
    } else {
      HDC windowDC = ::GetWindowDC(Handle);
      if (!windowDC) return;
      struct TRelease {
        HWND wnd;
        HDC dc;
        ~TRelease() { ::ReleaseDC(wnd, dc); }
      } release{Handle, windowDC};
      Draw(windowDC, r);
    }
  } catch (const std::exception&) {
    // a broken skin object never stops the control's messages
  }
}

void TSkinControl::Draw(HDC, const RECT&) {}

void TSkinControl::Repaint() {
  if (RepaintTarget) {
    RepaintTarget->Invalidate();
  } else if (Handle) {
    ::InvalidateRect(Handle, nullptr, TRUE);
    ::UpdateWindow(Handle);
  }
}

void TSkinControl::MouseLeave() {
  if (Handle) ::SendMessageW(Handle, CM_MOUSELEAVE, 0, 0);
}

void TSkinControl::SwitchParentBackground(bool on) {
  if (!SkinData || (SkinData->Options() & SkinBit(xoParentBackGround)) || !Control) return;
  if (!HasProp(Control, L"ParentBackground")) return;
  if (on) {
    ParentBackgroundWasOn = LowerCase(GetEnumPropByName(Control, L"ParentBackground")) == L"true" ? 1 : 0;
    if (ParentBackgroundWasOn) SetPropByName(Control, L"ParentBackground", L"False");
  } else if (ParentBackgroundWasOn) {
    SetPropByName(Control, L"ParentBackground", L"True");
  }
}

TColor TSkinControl::ParentColor(TColor def) const {
  if (!Control) return def;
  TWinControl* parent = Control->Parent();
  if (!parent) return def;
  const TPropInfo* p = GetPropInfo(parent, L"Color");
  if (!p || p->Kind != TTypeKind::tkInteger) return def;
  return static_cast<TColor>(GetOrdProp(parent, L"Color"));
}

void TSkinControl::ForwardMouseDown(const TMessage& m) {
  if (!Control || !Control->OnMouseDown) return;
  POINT p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  if (Control->Width() > 0x8000 || Control->Height() > 0x8000) {
    ::GetCursorPos(&p);
    p = Control->ScreenToClient(p);
  }
  Control->OnMouseDown(Control, TMouseButton::mbLeft, KeysToShiftState(m.WParam), p.x, p.y);
}

LONG_PTR TSkinControl::WindowLong(HWND wnd, int index) const {
  return Unicode ? ::GetWindowLongPtrW(wnd, index) : ::GetWindowLongPtrA(wnd, index);
}

TColor TSkinControl::FaceColor() const { return SkinData ? SkinData->Color(scButtonFace) : clBtnFace; }

// ---- property access by name -------------------------------------------------------------------

bool HasProp(const TObject* obj, std::wstring_view name) { return obj && GetPropInfo(obj, name) != nullptr; }

long long GetOrdPropByName(const TObject* obj, std::wstring_view name) {
  if (!obj) return -1;
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p || p->Kind != TTypeKind::tkInteger) return -1;
  return GetOrdProp(obj, name);
}

std::wstring GetEnumPropByName(const TObject* obj, std::wstring_view name) {
  if (!obj) return {};
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p || p->Kind != TTypeKind::tkEnumeration) return {};
  return GetEnumProp(obj, name);
}

std::wstring GetStrPropByName(const TObject* obj, std::wstring_view name) {
  if (!obj) return {};
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p || p->Kind != TTypeKind::tkString) return {};
  return GetStrProp(obj, name);
}

TObject* GetObjectPropByName(const TObject* obj, std::wstring_view name, const TClassInfo* cls) {
  if (!obj) return nullptr;
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p || p->Kind != TTypeKind::tkClass) return nullptr;
  return GetObjectProp(obj, name, cls);
}

void SetPropByName(TObject* obj, std::wstring_view name, const std::wstring& value) {
  if (!obj) return;
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p || !p->Writable()) return;
  switch (p->Kind) {
    case TTypeKind::tkEnumeration:
      SetEnumProp(obj, name, value);
      break;
    case TTypeKind::tkInteger:
      SetOrdProp(obj, name, StrToInt(value));
      break;
    case TTypeKind::tkString:
      SetStrProp(obj, name, value);
      break;
    default:
      break;
  }
}

std::wstring WindowTextOf(HWND wnd) {
  if (!wnd) return {};
  const int length = ::GetWindowTextLengthW(wnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(wnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

bool IsPopupWindow(HWND wnd) {
  if ((::GetWindowLongPtrW(wnd, GWL_STYLE) & WS_POPUP) != 0) return true;
  // the desktop window's handle is not a constant: compare with the real one
  HWND parent = ::GetParent(wnd);
  return parent && parent == ::GetDesktopWindow();
}

void CopyBitmap(TBitmap* source, TBitmap* destination) {
  if (!source || !destination) return;
  destination->SetPixelFormat(source->PixelFormat());
  destination->SetSize(source->Width(), source->Height());
  if (!source->Empty()) destination->Canvas()->Draw(0, 0, source);
}

}  // namespace kivo
