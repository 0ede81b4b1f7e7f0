// The media-player button glyphs, drawn from text patterns.
#include "MPGlyphs.h"

namespace kivo::skinpack {

namespace {

struct TButtonArt {
  const char* Name;
  std::vector<std::string> Rows;  // 16 x 12
  TRgb Colored;
};

const std::vector<TButtonArt>& Art() {
  static const std::vector<TButtonArt> art = {
      {"MPPLAY",
       {"                ", "     #          ", "     ##         ", "     ###        ", "     ####       ",
        "     #####      ", "     #####      ", "     ####       ", "     ###        ", "     ##         ",
        "     #          ", "                "},
       Rgb(0, 150, 0)},
      {"MPPAUSE",
       {"                ", "    ###  ###    ", "    ###  ###    ", "    ###  ###    ", "    ###  ###    ",
        "    ###  ###    ", "    ###  ###    ", "    ###  ###    ", "    ###  ###    ", "    ###  ###    ",
        "    ###  ###    ", "                "},
       Rgb(0, 90, 200)},
      {"MPSTOP",
       {"                ", "                ", "    ########    ", "    ########    ", "    ########    ",
        "    ########    ", "    ########    ", "    ########    ", "    ########    ", "    ########    ",
        "                ", "                "},
       Rgb(200, 40, 0)},
      {"MPNEXT",
       {"                ", "   #     #  ##  ", "   ##    ## ##  ", "   ###   #####  ", "   #### ######  ",
        "   ############ ", "   ############ ", "   #### ######  ", "   ###   #####  ", "   ##    ## ##  ",
        "   #     #  ##  ", "                "},
       Rgb(0, 120, 160)},
      {"MPPREV",
       {"                ", "  ##  #     #   ", "  ## ##    ##   ", "  #####   ###   ", "  ###### ####   ",
        " ############   ", " ############   ", "  ###### ####   ", "  #####   ###   ", "  ## ##    ##   ",
        "  ##  #     #   ", "                "},
       Rgb(0, 120, 160)},
      {"MPSTEP",
       {"                ", "                ", "    #     ##    ", "    ##    ##    ", "    ###   ##    ",
        "    ####  ##    ", "    ####  ##    ", "    ###   ##    ", "    ##    ##    ", "    #     ##    ",
        "                ", "                "},
       Rgb(140, 0, 160)},
      {"MPBACK",
       {"                ", "                ", "    ##     #    ", "    ##    ##    ", "    ##   ###    ",
        "    ##  ####    ", "    ##  ####    ", "    ##   ###    ", "    ##    ##    ", "    ##     #    ",
        "                ", "                "},
       Rgb(140, 0, 160)},
      {"MPRECORD",
       {"                ", "      ####      ", "    ########    ", "   ##########   ", "   ##########   ",
        "  ############  ", "  ############  ", "   ##########   ", "   ##########   ", "    ########    ",
        "      ####      ", "                "},
       Rgb(220, 0, 0)},
      {"MPEJECT",
       {"                ", "       ##       ", "      ####      ", "     ######     ", "    ########    ",
        "   ##########   ", "  ############  ", "                ", "  ############  ", "  ############  ",
        "                ", "                "},
       Rgb(200, 120, 0)},
  };
  return art;
}

}  // namespace

std::vector<std::pair<std::string, TRaster>> MediaPlayerGlyphs() {
  const struct {
    const char* Prefix;
    TRgb Ink;  // {0,0,0} with coloured: the button's own colour
    bool Colored;
  } states[] = {{"EN", Rgb(16, 16, 16), false}, {"DI", Rgb(150, 150, 150), false}, {"CL", Rgb(0, 0, 0), true}};
  std::vector<std::pair<std::string, TRaster>> glyphs;
  for (const auto& state : states)
    for (const TButtonArt& button : Art()) {
      TRaster r(kMPGlyphWidth, kMPGlyphHeight, kMPGlyphKey);
      const TRgb ink = state.Colored ? button.Colored : state.Ink;
      if (!state.Colored && state.Prefix[0] == 'D') r.Glyph(1, 1, button.Rows, Rgb(255, 255, 255));  // embossed
      r.Glyph(0, 0, button.Rows, ink);
      glyphs.emplace_back(std::string(state.Prefix) + "_" + button.Name, r);
    }
  return glyphs;
}

}  // namespace kivo::skinpack
