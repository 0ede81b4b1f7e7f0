// The artwork tool: each kind of picture the build ships is drawn by a routine beside the code that
// uses it, all with the raster routines of Raster.h. Each routine writes its files into a folder
// and throws std::exception when it cannot.
#pragma once

#include <string>

namespace kivo::arttool {

// KivoApp's program bitmaps, icon and cursor, the idle picture, the album list's bitmaps and the
// page of the web strip (app/art/ProgramArt.cpp).
void DrawProgramArt(const std::string& folder);
// kivoapp.skn, the test skin kivotest.skn and the skin engine's bitmap resources
// (app/skin/pack/SkinArt.cpp).
void DrawSkins(const std::string& folder);
// A small archive of known members, made once and kept with the tests to pin the format.
void DrawGoldenSkin(const std::string& file);
// The pictures of the effects' Effect folder, with their captions (app/effects/artwork/EffectArt.cpp).
void DrawEffectArt(const std::string& folder);
// KivoMsg's busy spinner, spinner.gif (msgpopup/art/SpinnerArt.cpp).
void DrawSpinner(const std::string& folder);

}  // namespace kivo::arttool
