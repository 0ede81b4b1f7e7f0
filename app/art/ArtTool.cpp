// The artwork tool, run on the build machine by the build:
//   kivoart-host program|skins|effects|spinner <output folder>
//   kivoart-host golden-skin <file>
#include "ArtTool.h"

#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  using namespace kivo::arttool;
  const std::string kind = argc == 3 ? argv[1] : "";
  try {
    if (kind == "program") DrawProgramArt(argv[2]);
    else if (kind == "skins") DrawSkins(argv[2]);
    else if (kind == "golden-skin") DrawGoldenSkin(argv[2]);
    else if (kind == "effects") DrawEffectArt(argv[2]);
    else if (kind == "spinner") DrawSpinner(argv[2]);
    else {
      std::cerr << "usage: kivoart-host program|skins|effects|spinner <output folder>\n"
                   "       kivoart-host golden-skin <file>\n";
      return 2;
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "kivoart-host " << kind << ": " << e.what() << "\n";
    return 1;
  }
}
