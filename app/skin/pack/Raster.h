// The skin pictures are drawn with the artwork tool's raster routines.
#pragma once

#include "../../art/Raster.h"

namespace kivo::skinpack {

using raster::kMagenta;
using raster::Mix;
using raster::Rgb;
using raster::TRaster;
using raster::TRgb;

}  // namespace kivo::skinpack
