#include "TransScale.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kivo {

namespace {
// Centres the scaled length (in / ratio, rounded) in out: the first place it covers and the one
// past its last, with the odd spare place on the far side.
void CentreSpan(std::int32_t in, double ratio, std::int32_t out, LONG& first, LONG& end) {
  const std::int32_t length = static_cast<std::int32_t>(in / ratio + 0.5);
  const std::int32_t spare = out - length;
  first = spare / 2;
  end = out - (spare - first);
}
}  // namespace

void TTransScaler::ClearScaleTables() {
  TablesBuilt = false;
  std::fill(std::begin(RowSrc), std::end(RowSrc), 0);
  std::fill(std::begin(ColSrc), std::end(ColSrc), 0);
  std::fill(std::begin(RowDst), std::end(RowDst), 0);
  std::fill(std::begin(ColDst), std::end(ColDst), 0);
  DestRect = RECT{};
}

void TTransScaler::BuildScaleTables() {
  if (TablesBuilt) return;
  ClearScaleTables();
  if (!OutputSizeFits(OutWidth, OutHeight) || InWidth <= 0 || InHeight <= 0) return;
  const double ratioX = double(InWidth) / OutWidth;
  const double ratioY = double(InHeight) / OutHeight;
  const std::int32_t inStride = static_cast<std::int32_t>(InStride());
  const std::int32_t outStride = static_cast<std::int32_t>(OutStride());
  DestRect = RECT{0, 0, OutWidth, OutHeight};
  double scale;
  if (ratioX > ratioY) {  // relatively wider: bars above and below
    scale = ratioX;
    CentreSpan(InHeight, ratioX, OutHeight, DestRect.top, DestRect.bottom);
  } else {  // bars left and right
    scale = ratioY;
    CentreSpan(InWidth, ratioY, OutWidth, DestRect.left, DestRect.right);
  }
  // Rounding can reach one past the last source row or column: that one repeats the last.
  for (std::int32_t i = DestRect.top; i < DestRect.bottom; ++i) {
    const std::int32_t u = static_cast<std::int32_t>((i - DestRect.top) * scale + 0.5);
    RowSrc[i] = std::min(u, InHeight - 1) * inStride;
    RowDst[i] = i * outStride;
  }
  for (std::int32_t j = DestRect.left; j < DestRect.right; ++j) {
    const std::int32_t v = static_cast<std::int32_t>((j - DestRect.left) * scale + 0.5);
    ColSrc[j] = std::min(v, InWidth - 1) * BytesPerPixel;
    ColDst[j] = j * BytesPerPixel;
  }
  TablesBuilt = true;
}

bool TTransScaler::ScaleFrame(const BYTE* input, std::size_t inputSize, BYTE* output, std::size_t outputSize) {
  if (!input || !output || !OutputSizeFits(OutWidth, OutHeight) || InWidth <= 0 || InHeight <= 0) return false;
  if (inputSize < InFrameBytes() || outputSize < OutFrameBytes()) return false;
  if (OutWidth == InWidth && OutHeight == InHeight) {
    std::memcpy(output, input, std::min(inputSize, outputSize));
    return true;
  }
  BuildScaleTables();
  std::memset(output, 0, outputSize);
  for (std::int32_t i = DestRect.top; i < DestRect.bottom; ++i) {
    const BYTE* src = input + RowSrc[i];
    BYTE* dst = output + RowDst[i];
    for (std::int32_t j = DestRect.left; j < DestRect.right; ++j) {
      const BYTE* s = src + ColSrc[j];
      BYTE* d = dst + ColDst[j];
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
  return true;
}

}  // namespace kivo
