// The picture-file effects: animation, border and decoration draw a GIF unscaled at the frame's
// top-left corner; light brightens the frame with a GIF stretched over it; mask darkens it with a
// GIF or a still picture stretched over it. Each picks its file from its own folder under "Effect\".
#pragma once

#include <memory>
#include <vector>

#include "KVEffProcForm.h"
#include "KVGIFDraw.h"

namespace kivo {

class TAnimationProcessor : public TImageProcessor {
  KIVO_CLASS(TAnimationProcessor, TImageProcessor)
  TAnimationProcessor();
  ~TAnimationProcessor() override;

  // Under the lock (the streaming thread never meets them half-replaced).
  TGIFImage* Gif() const { return gif_.get(); }
  TGIFDrawer* Drawer() const { return drawer_.get(); }

 protected:
  // Rebuilds the drawer on the GIF, loaded from the chosen file when it exists; answers true
  // (without a file the drawer has no frames and draws nothing).
  bool DoStart() override;
  // Running only: the current GIF frame at its own size at the top-left corner.
  bool DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) override;
  virtual void FreeDrawer();
  enum class TDrawerKind { Plain, Buffer };
  TDrawerKind drawerKind_ = TDrawerKind::Plain;
  TObjectPtr<TGIFImage> gif_;
  TObjectPtr<TGIFDrawer> drawer_;
};

class TBorderProcessor : public TAnimationProcessor {
  KIVO_CLASS(TBorderProcessor, TAnimationProcessor)
  TBorderProcessor();
};

class TDecorationProcessor : public TAnimationProcessor {
  KIVO_CLASS(TDecorationProcessor, TAnimationProcessor)
  TDecorationProcessor();
};

class TLightProcessor : public TAnimationProcessor {
  KIVO_CLASS(TLightProcessor, TAnimationProcessor)
  TLightProcessor();

 protected:
  // Running only: the frame lightened with the current GIF frame stretched to the frame's size.
  bool DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) override;
  // The frame's pixels in `frame_` (sized from info); false when they cannot be read.
  bool ReadFrame(HDC dc, HBITMAP bitmap, const BITMAPINFO* info);
  void WriteFrame(HDC dc, HBITMAP bitmap, const BITMAPINFO* info);
  std::vector<BYTE> frame_;
};

class TMaskProcessor : public TLightProcessor {
  KIVO_CLASS(TMaskProcessor, TLightProcessor)
  TMaskProcessor();
  ~TMaskProcessor() override;

  TPicture* Picture() const { return picture_.get(); }
  int MaskWidth() const { return maskWidth_; }
  int MaskHeight() const { return maskHeight_; }
  const BYTE* MaskBuffer() const { return mask_.empty() ? nullptr : mask_.data(); }

 protected:
  // Without an existing file: false, nothing changes. A ".gif" file starts as an animated mask;
  // any other picture is loaded as a still mask.
  bool DoStart() override;
  // Running only: the frame multiplied with the current GIF frame or the still mask, stretched.
  bool DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) override;
  void FreeDrawer() override;
  // The still mask stretched to info's size into MaskBuffer, when the size changed.
  void ScaleStillMask(const BITMAPINFO* info);
  virtual void MaskBlend(HDC dc, HBITMAP bitmap, const BITMAPINFO* info, const BYTE* mask);

 private:
  TObjectPtr<TPicture> picture_;
  int maskWidth_ = 0, maskHeight_ = 0;
  std::vector<BYTE> mask_;
};

// The forms: each names its folder and file mask.
class TAnimationProcForm : public TImageProcForm {
  KIVO_CLASS(TAnimationProcForm, TImageProcForm)
  explicit TAnimationProcForm(TImageProcessorAbs* p) : TImageProcForm(p, L"animation", L"gif") {}
};
class TBorderProcForm : public TImageProcForm {
  KIVO_CLASS(TBorderProcForm, TImageProcForm)
  explicit TBorderProcForm(TImageProcessorAbs* p) : TImageProcForm(p, L"border", L"gif") {}
};
class TDecorationProcForm : public TImageProcForm {
  KIVO_CLASS(TDecorationProcForm, TImageProcForm)
  explicit TDecorationProcForm(TImageProcessorAbs* p) : TImageProcForm(p, L"decoration", L"gif") {}
};
class TLightProcForm : public TImageProcForm {
  KIVO_CLASS(TLightProcForm, TImageProcForm)
  explicit TLightProcForm(TImageProcessorAbs* p) : TImageProcForm(p, L"light", L"gif") {}
};
// Every registered picture format.
class TMaskProcForm : public TImageProcForm {
  KIVO_CLASS(TMaskProcForm, TImageProcForm)
  explicit TMaskProcForm(TImageProcessorAbs* p);
};

// Creates the animation, border, decoration, light and mask processors and registers them in that
// order.
void RegisterPictureProcessors();

}  // namespace kivo
