// The colour effect: per-channel offsets, contrast, lightness, saturation, gray and upside down.
// Its settings live only in memory; every start begins neutral.
#pragma once

#include <atomic>

#include "FastBMP.h"
#include "KVEffProcAbs.h"

namespace kivo {

class TColorProcessor : public TImageProcessorAbs {
  KIVO_CLASS(TColorProcessor, TImageProcessorAbs)
  TColorProcessor();

  // Written by the form on the GUI thread, read by Process on the streaming thread without the
  // lock: each is whole on its own, a frame may meet old and new values of different fields.
  std::atomic<int> RedOffset{0};    // -255..255
  std::atomic<int> BlueOffset{0};   // -255..255
  std::atomic<int> GreenOffset{0};  // -255..255
  std::atomic<int> Lightness{0};    // -255..255
  std::atomic<int> Contrast{0};     // -255..255
  std::atomic<int> Saturation{255}; // 0..510, 255 unchanged
  std::atomic<bool> Flip{false};
  std::atomic<bool> Gray{false};

 protected:
  // Works in every enabled state (its start never succeeds: DoStart stays the base's) and always
  // answers false, so the colour effect never counts as having drawn.
  bool DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) override;

 private:
  // The copy of the frame, kept for the next frame of the same size (fresh DIB memory is slow to
  // fill the first time). A second video stream meeting it busy works on a copy of its own.
  TCriticalSection cacheLock_;
  TObjectPtr<TFastBMP> cache_;
};

// Creates the colour processor and registers it.
void RegisterColorProcessor();

}  // namespace kivo
