// TFastBMP: a 24-bit DIB section holding a copy of a GDI bitmap, for the colour filters.
#pragma once

#include "FastRGB.h"
#include "Handles.h"

namespace kivo {

class TFastBMP : public TFastRGB {
  KIVO_CLASS(TFastBMP, TFastRGB)
  // A copy of the bitmap's pixels; with topDown the top row comes first in memory, otherwise the
  // bottom row. EOutOfResources when the DIB section cannot be made.
  TFastBMP(HBITMAP bitmap, bool topDown);
  ~TFastBMP() override;
  // True when the bitmap has this picture's size and the rows run the same way.
  bool Fits(HBITMAP bitmap, bool topDown) const;
  // Copies the bitmap's pixels again (a bitmap that Fits).
  void CopyFrom(HBITMAP bitmap);

  HBITMAP DibHandle() const { return dib_.Get(); }
  HDC MemoryDC() const { return dc_.Get(); }
  const BITMAPINFO& DibInfo() const { return info_; }

 private:
  void BuildRowTable();
  BITMAPINFO info_{};
  bool topDown_ = false;
  TBitmapOwner dib_;
  TMemDCOwner dc_;
};

}  // namespace kivo
