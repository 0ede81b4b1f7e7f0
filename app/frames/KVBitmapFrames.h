// KVProcs, continued: bitmaps and controls turned into frames at the output format, and the
// picture change notifier that pushes an image's look into the frame section.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ExtImage.h"
#include "KVProcs.h"
#include "Pictures.h"

namespace kivo {

// GetFrameBits with the bitmap's canvas DC and its handle.
std::int32_t GetBitmapFrameBits(const TOutputFormat& format, TBitmap* bitmap, void* buffer);
// The bitmap at `format` through FrameBuffer into WriteFrame. FrameBuffer is filled and written
// under FrameSectionLock, so producers on several threads never share it half-filled. A format
// whose frame would not fit FrameBuffer writes nothing.
void WriteBitmapFrame(const TOutputFormat& format, TBitmap* bitmap, bool force);
// A new bitmap of the control's size with the control painted into it; the caller frees it.
TBitmap* PaintControlToBitmap(TWinControl* control);
void WriteControlFrame(const TOutputFormat& format, TWinControl* control, bool force);
// WriteBitmapFrame of the whole bitmap stretched to the format's size, so that a bitmap of another
// size arrives whole instead of cropped. The format is read and the frame written under the lock.
void WriteScaledBitmapFrame(const TOutputFormat& format, TBitmap* bitmap, bool force);
// The control's look stretched to the format's size.
void WriteScaledControlFrame(const TOutputFormat& format, TWinControl* control, bool force);
// Sizes the bitmap and sets all rows from a 24-bit bottom-up frame of width x height.
void SetBitmapFromFrameBits(const void* bits, std::int32_t width, std::int32_t height, TBitmap* bitmap);
// The frame as a .bmp file (24 bits).
void SaveFrameBitsToFile(const void* bits, std::int32_t width, std::int32_t height, const std::wstring& fileName);

// Writes the image's parent, stretched to the output size, into the frame section on every change of the picture it is the
// change notifier of, except while the image's DesignInfo is 888 or the image is being destroyed,
// and while isTarget (when given) says its owner is not the capture source.
class TImageCapture : public TInterfaced<IChangeNotifier> {
  KIVO_CLASS(TImageCapture, TInterfacedObject)
  explicit TImageCapture(TImage* image, std::function<bool()> isTarget = nullptr);
  void STDMETHODCALLTYPE Changed() override;

 private:
  TImage* image_;
  std::function<bool()> isTarget_;
};

}  // namespace kivo
