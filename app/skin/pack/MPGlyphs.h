// The media-player button glyphs: "EN_", "DI_" and "CL_" (enabled, disabled, coloured) of the
// nine buttons, olive (128,128,0) where they are see-through.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Raster.h"

namespace kivo::skinpack {

constexpr TRgb kMPGlyphKey = Rgb(128, 128, 0);
constexpr int kMPGlyphWidth = 16, kMPGlyphHeight = 12;
// (resource name, picture), 27 of them.
std::vector<std::pair<std::string, TRaster>> MediaPlayerGlyphs();

}  // namespace kivo::skinpack
