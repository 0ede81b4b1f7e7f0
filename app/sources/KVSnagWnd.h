// KVSnagWnd: the capture-region frame on the desktop. Four thin topmost strips just outside the
// captured rectangle; dragging a strip moves the rectangle, dragging one of the eight handles on
// them resizes it at 320:240, never below the output size.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>

#include "Forms.h"
#include "StdCtrls.h"

namespace kivo {

class TSnagRectObject;

// Handle numbers: 0 top-left, 1 top, 2 top-right, 3 right, 4 bottom-right, 5 bottom, 6 bottom-left,
// 7 left.
constexpr int kNoHandle = -1;

// Frame modes (bits): moving allowed, resizing allowed (handles shown).
constexpr std::int32_t kFrameMove = 1, kFrameResize = 2;

// One strip: a borderless topmost tool window with three 8 x 8 handle labels.
class TBorderForm : public TForm {
  KIVO_CLASS(TBorderForm, TForm)
  TBorderForm(TComponent* owner, TSnagRectObject* frame);

  TLabel* HandleTopLeft = nullptr;
  TLabel* HandleMiddle = nullptr;
  TLabel* HandleBottomRight = nullptr;

  // Cursor size-all when moving is allowed; handles visible when resizing is.
  void SetMode(std::int32_t mode);
  // Places the three handles for the strip's current size.
  void LayoutHandles();

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void Resize() override;

 private:
  TSnagRectObject* frame_;
};

class TSnagRectObject : public TObject {
  KIVO_CLASS(TSnagRectObject, TObject)
  TSnagRectObject();
  ~TSnagRectObject() override;

  static constexpr int BorderWidth = 3;
  TBorderForm* LeftStrip = nullptr;
  TBorderForm* TopStrip = nullptr;
  TBorderForm* RightStrip = nullptr;
  TBorderForm* BottomStrip = nullptr;
  TColor BorderColor = 12632256;  // light gray
  TColor HandleColor = 255;       // red
  bool KeepAspect = true;
  std::int32_t AspectX = 320, AspectY = 240;

  TNotifyEvent OnBeginDrag;
  TNotifyEvent OnDrag;
  TNotifyEvent OnEndDrag;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  std::int32_t Mode() const { return mode_; }
  bool VisibleFrame() const { return visibleFrame_; }
  bool Dragging() const { return moving_ || resizing_; }
  HWND MessageWindow() const;

  void SetWidth(int value);
  void SetHeight(int value);
  void SetBounds(const RECT& r);
  void SetBoundsFromWindow(HWND window);
  void ShowStrips();
  void HideStrips();
  void SetVisibleFrame(bool value);
  void SetMode(std::int32_t mode);
  void MoveBy(int dx, int dy);
  void ResizeBy(int dx, int dy, int handle);
  void Layout();
  void Repaint();
  // True when the window is one of the four strips.
  bool IsStrip(HWND window) const;

  // A mouse-down on a strip (handle kNoHandle) or on one of its handles starts a drag.
  void BeginDrag(int handle);

 private:
  void MessageProc(TMessage& m);
  void MouseMoveTo(POINT screen);
  void EndDrag();
  std::array<TBorderForm*, 4> Strips() const { return {LeftStrip, TopStrip, RightStrip, BottomStrip}; }

  std::unique_ptr<TUtilWindow> messageWindow_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::int32_t mode_ = kFrameMove | kFrameResize;
  bool visibleFrame_ = true;
  POINT last_{0, 0};
  bool firstMove_ = false;
  bool moving_ = false;
  bool resizing_ = false;
  int handle_ = kNoHandle;
};

}  // namespace kivo
