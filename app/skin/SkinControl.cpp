#include "SkinControl.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinControl)

TSkinControl::TSkinControl(TComponent* owner) : TComponent(owner) {}
TSkinControl::~TSkinControl() = default;

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

TColor TSkinControl::ParentColor(TColor def) const {
  if (!Control) return def;
  TWinControl* parent = Control->Parent();
  if (!parent) return def;
  const TPropInfo* p = GetPropInfo(parent, L"Color");
  if (!p || p->Kind != TTypeKind::tkInteger) return def;
  return static_cast<TColor>(GetOrdProp(parent, L"Color"));
}

TColor TSkinControl::FaceColor() const { return SkinData ? SkinData->Color(scButtonFace) : clBtnFace; }

}  // namespace kivo
