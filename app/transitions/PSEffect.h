// The transition styles of the picture-show control: the table of the 176 styles (name and
// drawing procedure), the region builders and the pixel routines the styles share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Handles.h"
#include "Pictures.h"
#include "SysUtils.h"

namespace kivo {

// Collects rectangles and turns them into one region with a single ExtCreateRegion call. The
// rectangles are kept in an RGNDATA buffer that grows by 500 rectangles at a time.
class TComplexRegion {
 public:
  static constexpr int kGrowBy = 500;
  TComplexRegion() { Clear(); }
  TComplexRegion(const TComplexRegion&) = delete;
  TComplexRegion& operator=(const TComplexRegion&) = delete;

  void Clear();
  // Stored as given (empty and inverted rectangles too); widens Bounds.
  void AddRect(int left, int top, int right, int bottom);
  // The union of the rectangles; no region when none was added. EOutOfResources when GDI
  // cannot make it.
  TRgnOwner CreateRegion();

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  // Bytes of the RGNDATA buffer: 36 + 16 x Capacity (0 while no rectangle was added).
  std::size_t DataSize() const { return data_.size(); }
  const RECT& Bounds() const { return bounds_; }
  const RECT& Rect(int index) const { return Rects()[index]; }

 private:
  RECT* Rects() { return reinterpret_cast<RECT*>(data_.data() + sizeof(RGNDATAHEADER)); }
  const RECT* Rects() const { return reinterpret_cast<const RECT*>(data_.data() + sizeof(RGNDATAHEADER)); }
  std::vector<std::uint8_t> data_;
  int capacity_ = 0;
  int count_ = 0;
  RECT bounds_{};
};

// Region builders: each answers a new region for the caller (or none when there is nothing to
// clip to). XP, YP are the progress values along x and y; the kinds choose what is built along
// each axis (0 = nothing).
TRgnOwner BlindsRegion(int XP, int YP, int W, int H, int HorzKind, int VertKind);
TRgnOwner RandomBarsRegion(TRandomGenerator& random, int XP, int YP, int W, int H, int HorzKind, int VertKind);
TRgnOwner SpotsRegion(TRandomGenerator& random, int XP, int YP, int W, int H, int HorzKind, int VertKind);
// A fan of Count + 1 points around (CX, CY); angles in radians, growing clockwise on screen.
TRgnOwner SectorRegion(int CX, int CY, int R, long double StartAngle, long double EndAngle, int Count);
// A WINDING polygon over the coordinates x0, y0, x1, y1, ...
TRgnOwner PolygonRegion(const int* coords, int high);
TRgnOwner PolygonRegion(std::initializer_list<int> coords);
// Rotates Points[0..High] about (CX, CY), rounding halves to even.
void RotatePoints(POINT* points, int high, int CX, int CY, long double angle);

// Pixel routines on 32-bit bitmaps of equal size. Parts outside the bitmaps are left alone.
// Shading of a vertical roll: Count columns from Start darkened towards the band's edges.
void ColumnRamp(TBitmap* bitmap, std::uint8_t depth, int start, int count);
// Shading of a horizontal roll: Count rows from Start (rows counted from the top).
void RowRamp(TBitmap* bitmap, std::uint8_t depth, int start, int count);
// Moves Screen towards Picture by Percent per cent over the rectangle (the fourth byte stays).
void BlendRect(TBitmap* screen, TBitmap* picture, int percent, int left, int top, int width, int height);
// Every Screen pixel takes the Picture pixel it falls on when Picture is turned by Angle about
// (OX, OY), rows counted from the bottom; pixels that fall outside keep the starting content.
void PageTurn(TBitmap* screen, TBitmap* picture, int OX, int OY, long double angle);

// What one style draws: Screen holds the starting content and receives the frame, Picture is the
// new picture (both W x H at 32 bits per pixel), X = W x Progress / 100 and Y = H x Progress /
// 100 (derived from the longer side), Progress 1..99. Random is the generator of the control.
struct TStyleFrame {
  TBitmap* Screen;
  TBitmap* Picture;
  int W, H, X, Y, Progress;
  TRandomGenerator& Random;
  HDC ScreenDC() const { return Screen->Canvas()->Handle(); }
  HDC PictureDC() const { return Picture->Canvas()->Handle(); }
};
using TEffectProc = void (*)(const TStyleFrame& frame);

struct TEffect {
  const wchar_t* Name;
  TEffectProc Proc;
};

constexpr int kStyleCount = 176;
// Styles 1..176 at index style - 1.
extern const TEffect TransitionTable[kStyleCount];

// The progress extents of a W x H picture, taken from the longer side so that X : Y keeps W : H.
void ProgressExtents(int W, int H, int progress, int& X, int& Y);
// One frame of a style (1..176; EInvalidOperation for others) at progress 1..99: Screen holds the
// starting content and receives the frame; both bitmaps are 32 bits per pixel and of equal size.
void DrawStyle(int style, TBitmap* screen, TBitmap* picture, int progress, TRandomGenerator& random);

}  // namespace kivo
