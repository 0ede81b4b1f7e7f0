// Aspect-preserving nearest-neighbour scaling of 24-bit bottom-up frames with black bars.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace kivo {

constexpr int kMaxScaleRows = 768;
constexpr int kMaxScaleCols = 1024;

// n rounded up to the next multiple of 4.
constexpr std::int32_t Align4(std::int32_t n) { return (n + 3) & ~3; }

// The per-size work is done once, in tables of byte offsets; a frame is then a lookup copy.
class TTransScaler {
 public:
  std::int32_t InWidth = 0, InHeight = 0;
  std::int32_t OutWidth = 0, OutHeight = 0;
  std::int32_t BytesPerPixel = 3;
  bool TablesBuilt = false;
  std::int32_t RowSrc[kMaxScaleRows] = {};
  std::int32_t ColSrc[kMaxScaleCols] = {};
  std::int32_t RowDst[kMaxScaleRows] = {};
  std::int32_t ColDst[kMaxScaleCols] = {};
  RECT DestRect = {};

  static bool OutputSizeFits(std::int32_t width, std::int32_t height) {
    return width > 0 && height > 0 && width <= kMaxScaleCols && height <= kMaxScaleRows;
  }
  std::size_t InStride() const { return static_cast<std::size_t>(Align4(InWidth * BytesPerPixel)); }
  std::size_t OutStride() const { return static_cast<std::size_t>(Align4(OutWidth * BytesPerPixel)); }
  // Bytes a frame of each side takes.
  std::size_t InFrameBytes() const { return InStride() * static_cast<std::size_t>(InHeight); }
  std::size_t OutFrameBytes() const { return OutStride() * static_cast<std::size_t>(OutHeight); }

  void ClearScaleTables();
  void BuildScaleTables();
  // Scales one frame; false (output untouched) when either buffer is too small for its frame or
  // the sizes are out of range.
  bool ScaleFrame(const BYTE* input, std::size_t inputSize, BYTE* output, std::size_t outputSize);
};

}  // namespace kivo
