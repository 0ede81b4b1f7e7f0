// The GIF frame drawer: every frame of a GIF composed once, ahead of time, into a bitmap of the
// GIF's logical screen; the frame due now is picked by the clock since ResetClock from the frames'
// delays. TGIFDrawerBuffer also keeps each composed frame stretched to the video frame's size as
// 24-bit pixels, for the effects that blend the whole frame.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "Handles.h"
#include "Pictures.h"

namespace kivo {

class TGIFDrawer : public TObject {
  KIVO_CLASS(TGIFDrawer, TObject)
  // Removes the frames without a graphic control extension from the picture and gives frames of
  // delay 0 a delay of 10 (100 ms), then composes every frame. The picture stays the caller's.
  explicit TGIFDrawer(TGIFImage* picture);
  ~TGIFDrawer() override;

  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The sum of the delays in milliseconds.
  std::int64_t TotalTime() const { return totalTime_; }
  // Delay of a frame in milliseconds.
  int FrameDelay(int index) const { return frames_.at(index).Delay * 10; }
  // The colour a frame's bitmap was filled with, drawn see-through when the frame is transparent.
  COLORREF KeyColor(int index) const { return frames_.at(index).Key; }
  // Whether DrawFrame leaves the key colour of that frame see-through.
  bool DrawnTransparent(int index) const { return frames_.at(index).KeyTransparent; }
  // The composed frame's bitmap (selected into its memory DC).
  HDC FrameDC(int index) const { return frames_.at(index).DC.Get(); }

  // The clock: a performance-counter reading and its frequency (per second). Replaceable.
  std::function<std::int64_t()> Counter;
  std::int64_t Frequency = 0;
  std::int64_t StartCount() const { return startCount_; }

  void ResetClock();
  // The frame due now; 0 before ResetClock and for a drawer without frames.
  int CurrentFrame() const;
  // The composed frame at the top-left corner of dc, at its own size; see-through where its key
  // colour is when it is drawn transparent (as TransparentBlt with that colour would draw it).
  void DrawFrame(HDC dc, int index) const;
  void Draw(HDC dc) const { DrawFrame(dc, CurrentFrame()); }
  // Buffers at the video frame's size (TGIFDrawerBuffer); nothing here.
  virtual void Prepare(const BITMAPINFO* info) {}

 protected:
  struct TFrame {
    TMemDCOwner DC;
    TBitmapOwner Bitmap;
    HGDIOBJ OldBitmap = nullptr;
    int Left = 0, Top = 0, FrameWidth = 0, FrameHeight = 0;
    int Delay = 0;               // hundredths of a second
    int Disposal = 0;
    bool Transparent = false;    // the GIF frame's own flag
    COLORREF TransparentColor = 0;
    COLORREF Key = 0;            // the fill colour of the composed bitmap
    bool KeyTransparent = false; // the composed bitmap's key colour stands for "see-through"
    // For drawing with a see-through key: white where the key colour is, black elsewhere; and the
    // composed frame with black in place of the key colour.
    TBitmapOwner Mask, Opaque;
  };
  std::vector<TFrame> frames_;

 private:
  void Compose(const TGIFImage& picture);
  // The mask and opaque part of each frame drawn see-through, so that drawing is two plain blits.
  void MakeMasks();
  void ComposeFrame(const TGIFImage& picture, int s, int d, bool transparent);
  int width_ = 0, height_ = 0;
  // The context the mask and opaque bitmaps are selected into while a frame is drawn, made once.
  mutable TMemDCOwner drawDC_;
  HGDIOBJ drawDCOld_ = nullptr;
  std::int64_t totalTime_ = 0;
  std::int64_t startCount_ = 0;
};

class TGIFDrawerBuffer : public TGIFDrawer {
  KIVO_CLASS(TGIFDrawerBuffer, TGIFDrawer)
  explicit TGIFDrawerBuffer(TGIFImage* picture);
  ~TGIFDrawerBuffer() override;

  // Rebuilds every buffer when info's width or height differ from the buffers' (sized from the
  // width and height, 24-bit bottom-up rows padded to 4 bytes); nothing for the same size or a
  // drawer without frames.
  void Prepare(const BITMAPINFO* info) override;
  // The buffer of the frame due now; nullptr before Prepare.
  const BYTE* CurrentBuffer() const;
  const BYTE* Buffer(int index) const;
  int BufferWidth() const { return bufferWidth_; }
  int BufferHeight() const { return bufferHeight_; }
  void FreeBuffers();

 private:
  std::vector<std::vector<BYTE>> buffers_;
  int bufferWidth_ = 0, bufferHeight_ = 0;
};

// Bytes of a 24-bit DIB of that size (rows padded to 4 bytes).
std::size_t FrameByteSize(int width, int height);

}  // namespace kivo
