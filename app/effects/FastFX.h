// Table-driven colour filters on a 24-bit picture, in place. Each builds a lookup table of at
// most 256 entries per channel from its parameter, then maps every colour byte through it.
#pragma once

#include "FastRGB.h"

namespace kivo {

// Offsets in -255..255 per channel.
void AdjustRGB(TFastRGB& picture, int red, int green, int blue);
// -255..255: positive pushes values away from 128, negative pulls them towards it.
void AdjustContrast(TFastRGB& picture, int amount);
// -255..255: towards white or black.
void AdjustLightness(TFastRGB& picture, int amount);
// 0..510, 256 leaves the colours; 0 gives gray, above 256 exaggerates.
void AdjustSaturation(TFastRGB& picture, int amount);
// Each byte := b div 3 + g div 3 + r div 3.
void MakeGrayscale(TFastRGB& picture);

}  // namespace kivo
