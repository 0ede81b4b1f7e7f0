#include "KVEffColorProc.h"

#include "FastBMP.h"
#include "FastFX.h"
#include "KVEffColorForm.h"
#include "KVProcessorList.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TColorProcessor)

TColorProcessor::TColorProcessor() {
  name_ = L"画质";
  formClass_ = ProcFormClass<TColorProcForm>;
}

namespace {
// TryEnter for a scope.
class TTryLock {
 public:
  explicit TTryLock(TCriticalSection& cs) : cs_(cs), held_(cs.TryEnter()) {}
  ~TTryLock() {
    if (held_) cs_.Leave();
  }
  bool Held() const { return held_; }

 private:
  TCriticalSection& cs_;
  bool held_;
};
}  // namespace

bool TColorProcessor::DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) {
  const bool flip = Flip.load();
  TTryLock cached(cacheLock_);
  TObjectPtr<TFastBMP> own;
  if (cached.Held()) {
    if (cache_ && cache_->Fits(bitmap, flip))
      cache_->CopyFrom(bitmap);
    else
      cache_.reset(new TFastBMP(bitmap, flip));
  } else {
    own.reset(new TFastBMP(bitmap, flip));
  }
  TFastBMP& picture = own ? *own : *cache_;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  // the pixels go back through info: it must not describe more than the copy holds
  if (h.biBitCount != 24 || h.biWidth != picture.Width || h.biHeight <= 0 || h.biHeight > picture.Height) return false;
  int red = RedOffset, green = GreenOffset, blue = BlueOffset;
  if (red != 0 || green != 0 || blue != 0) AdjustRGB(picture, red, green, blue);
  if (int c = Contrast; c != 0) AdjustContrast(picture, c);
  if (int l = Lightness; l != 0) AdjustLightness(picture, l);
  if (int s = Saturation; s != 255) AdjustSaturation(picture, s);
  if (Gray) MakeGrayscale(picture);
  // the frame's own bottom-up description: a picture copied top-down arrives upside down
  ::SetDIBits(dc, bitmap, 0, static_cast<UINT>(info->bmiHeader.biHeight), picture.PixelData, info, DIB_RGB_COLORS);
  return false;
}

void RegisterColorProcessor() {
  TComPtr<IImageProcessor> p(new TColorProcessor());
  RegisterImageProcessor(p.Get());
}

}  // namespace kivo
