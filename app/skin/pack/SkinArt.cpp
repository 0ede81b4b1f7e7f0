// The skin pictures and skins: KivoApp's skin (kivoapp.skn), the test skin (kivotest.skn) and the
// bitmaps the skin engine loads from the program's resources.
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ArtTool.h"
#include "MPGlyphs.h"
#include "Raster.h"
#include "SkinPack.h"
#include "TestSkinLayout.h"

using namespace kivo::skinpack;
using kivo::raster::WriteFile;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- the test skin -----------------------------------------------------------------------------
TRgb FromColorRef(std::uint32_t c) { return Rgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

TRaster SolidStrip(int picture) {
  const auto& p = kivo::testskin::kPictures[picture];
  std::vector<TRaster> frames;
  for (int f = 1; f <= p.Frames; ++f) {
    TRaster frame(p.FrameWidth, p.FrameHeight, FromColorRef(kivo::testskin::ColorOf(picture, f)));
    if (picture == kivo::testskin::pTop) {
      const int c = kivo::testskin::kTopCornerSize;
      frame.Fill(0, 0, c, c, kMagenta);
      frame.Fill(p.FrameWidth - c, 0, p.FrameWidth, c, kMagenta);
    }
    frames.push_back(frame);
  }
  return TRaster::Strip(frames, p.Stacked);
}

std::vector<TMember> TestSkin() {
  std::vector<TMember> members;
  const std::string ini = R"(; Test skin: every frame is one solid colour.
[TitlebarSkin]
SkinName=Kivo Test

[Personality]
Left=left.bmp
Right=right.bmp
Top=pictures\top.bmp
Bottom=bottom.bmp
LeftTopHeight=20
LeftBotHeight=4
RightTopHeight=20
RightBotHeight=4
TopTopHeight=8
TopBotHeight=8
BottomTopHeight=4
BottomBotHeight=4
LeftFrame=2
RightFrame=2
TopFrame=2
BottomFrame=2
LeftStretch=1
RightStretch=1
TopStretch=2
BottomStretch=0
LeftTrans=0
RightTrans=0
TopTrans=1
BottomTrans=0
TextBack=textback.bmp
TextShift=26
TextShiftVert=2
TextRightClip=70
TextAlignment=0
TXTBackleft=3
TXTBackRight=3
ActiveTextR=255
ActiveTextG=255
ActiveTextB=255
InActiveTextR=128
InActiveTextG=128
menuBar=menubar.bmp
TileMenu=1
TileLeftMenu=4
TileRightMenu=4

[Fonts]
FontHeight=15

[Colours]
WindowText=1,2,3
ButtonFace=200,210,220
ButtonText=10,20,30
ButtonHilight=255,255,255
ButtonShadow=100,100,100
ButtonDkShadow=50,50,50
Hilight=60,100,200
HilightText=250,250,250
MenuBarText=5,5,5
MenuText=6,6,6
Menu=240,240,240
TitleTextActive=255,255,255
TitleTextNoActive=128,128,128

[Colour1]
color=1,2,3
[Colour2]
color=7 8 9

[Customcolors]
Color0=9,8,7

[BUTTON1]
Action=0
Align=1
Xcoord=22
Ycoord=5
Visibility=0
ButtonImage=close.bmp

[BUTTON2]
Action=1
Align=1
Xcoord=40
Ycoord=5
Visibility=2
ButtonImage=max.bmp

[BUTTON3]
Action=1
Align=1
Xcoord=40
Ycoord=5
Visibility=1
ButtonImage=restore.bmp

[BUTTON4]
Action=2
Align=1
Xcoord=58
Ycoord=5
Visibility=6
Visibility1=6
ButtonImage=min.bmp

[BUTTON5]
Action=3
Align=0
Xcoord=4
Ycoord=4
Visibility=0

[BUTTON6]
Action=4
Align=1
Visibility=10
ButtonImage=help.bmp

[BUTTON7]
Action=-1
ButtonImage=close.bmp

[BUTTON_RADIO]
Action=0

[Buttons]
Bitmap=buttons.bmp
CheckButton=check.bmp
RadioButton=radio.bmp
LeftWidth=3
TopHeight=3
RightWidth=3
BottomHeight=3
Trans=0
Tile=0
NormalColour2=11,22,33

[Progress]
Bitmap=progress.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3
Trans=1
Tile=3

[Progress.Chunk]
Image=chunk.bmp
Frame=1

[GroupBoxEdge]
Image=gbedge.bmp
[GroupBox]
Image=groupbox.bmp
BackgroundAlignment=1

[Tabs]
Image=tabs.bmp
Border=tabborder.bmp
LeftWidth=4
RightWidth=4
TopHeight=4
BottomHeight=4
Trans=0
NormalColour2=1,1,1
MouseOverColour2=2,2,2

[Tab.Pane]
Image=tabpane.bmp
LeftWidth=10
TopHeight=10
RightWidth=10
BottomHeight=10

[StatusBarEdges]
Image=statusbar.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

[ToolBars]
Image=toolbars.bmp

[ComboButton]
Image=combobutton.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2
Trans=1

[SunkEdge]
Image=sunkedge.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2
Trans=1

[ExtraImages]
Image=extra.bmp

[Headerbar]
Image=header.bmp
LeftWidth=2
RightWidth=2

[MenuItem]
Image=menuitem.bmp
LeftWidth=4
RightWidth=4
Trans=1

[MenuBackground]
Image=menubg.bmp
LeftWidth=4
TopHeight=4
RightWidth=4
BottomHeight=4

[Scrollbar]
Image=scrollbar.bmp

[HorzScroll]
Image=hscroll.bmp
LeftWidth=2
RightWidth=2
[VertScroll]
Image=vscroll.bmp
TopHeight=2
BottomHeight=2
[HorzScrollThumb]
Image=hthumb.bmp
LeftWidth=3
RightWidth=3
[VertScrollThumb]
Image=vthumb.bmp
TopHeight=3
BottomHeight=3

[Trackbar.ThumbHorz]
Image=thumbh.bmp
[Trackbar.ThumbVert]
Image=thumbv.bmp

[UpDown.Horz]
Image=updownh.bmp
GlyphImage=updownhg.bmp
[UpDown.Vert]
Image=updownv.bmp
GlyphImage=updownvg.bmp

[TRACKVERT]
Image=trackvert.bmp
TopHeight=5
BottomHeight=5
Frame=1

[MDICONTROLS]
Image=mdicontrols.bmp
)";
  members.push_back({"kivotest.ini", Text(ini)});
  for (int p = 0; p < kivo::testskin::pPictureCount; ++p)
    members.push_back({kivo::testskin::kPictures[p].Member, SolidStrip(p).Bmp24()});
  return members;
}

// ---- KivoApp's skin ----------------------------------------------------------------------------
// A flat, dark frame around light, quiet controls with one blue accent.
namespace art {
const TRgb kFrame = Rgb(36, 40, 47);         // active window frame and caption
const TRgb kFrameEdge = Rgb(24, 27, 32);
const TRgb kFrameIdle = Rgb(72, 77, 86);     // inactive
const TRgb kFrameIdleEdge = Rgb(58, 62, 70);
const TRgb kCaptionHot = Rgb(62, 68, 78);
const TRgb kCaptionPressed = Rgb(20, 22, 26);
const TRgb kClose = Rgb(224, 49, 59);
const TRgb kClosePressed = Rgb(170, 30, 40);
const TRgb kGlyph = Rgb(236, 238, 241);
const TRgb kGlyphIdle = Rgb(160, 165, 173);
const TRgb kFace = Rgb(243, 244, 246);
const TRgb kFaceRaised = Rgb(250, 250, 251);
const TRgb kFacePressed = Rgb(218, 223, 230);
const TRgb kFaceHot = Rgb(232, 241, 255);
const TRgb kLine = Rgb(190, 196, 205);
const TRgb kLineDark = Rgb(140, 148, 160);
const TRgb kLineLight = Rgb(218, 222, 228);
const TRgb kAccent = Rgb(45, 128, 245);
const TRgb kAccentDark = Rgb(28, 98, 200);
const TRgb kAccentLight = Rgb(214, 230, 255);
const TRgb kInk = Rgb(33, 37, 43);
const TRgb kInkIdle = Rgb(165, 170, 178);
const TRgb kWhite = Rgb(255, 255, 255);
const TRgb kTrack = Rgb(232, 234, 238);
const TRgb kThumb = Rgb(190, 196, 205);
const TRgb kThumbHot = Rgb(160, 168, 180);
const TRgb kThumbPressed = Rgb(128, 137, 150);

const std::vector<std::string> kCloseGlyph = {"#........#", ".#......#.", "..#....#..", "...#..#...", "....##....",
                                              "....##....", "...#..#...", "..#....#..", ".#......#.", "#........#"};
const std::vector<std::string> kMaxGlyph = {"##########", "##########", "#........#", "#........#", "#........#",
                                            "#........#", "#........#", "#........#", "#........#", "##########"};
const std::vector<std::string> kRestoreGlyph = {"..########", "..########", "..#......#", "########.#", "########.#",
                                                "#......#.#", "#......###", "#......#..", "#......#..", "########.."};
const std::vector<std::string> kMinGlyph = {"..........", "..........", "..........", "..........", "..........",
                                            "..........", "..........", "..........", "##########", "##########"};
const std::vector<std::string> kHelpGlyph = {"...####...", "..##..##..", "......##..", ".....##...", "....##....",
                                             "....##....", "..........", "....##....", "....##....", ".........."};
const std::vector<std::string> kCheckGlyph = {"......#", ".....##", "#...##.", "##.##..", ".###...", "..#...."};
const std::vector<std::string> kDown = {"#######", ".#####.", "..###..", "...#..."};
const std::vector<std::string> kUp = {"...#...", "..###..", ".#####.", "#######"};
const std::vector<std::string> kLeft = {"...#", "..##", ".###", "####", ".###", "..##", "...#"};
const std::vector<std::string> kRight = {"#...", "##..", "###.", "####", "###.", "##..", "#..."};
const std::vector<std::string> kChevronDown = {"#.....#", "##...##", ".##.##.", "..###..", "...#..."};
}  // namespace art

// Left and right sides: 4 pixels wide, active and inactive frames side by side.
TRaster SideBorder() {
  std::vector<TRaster> frames;
  for (int f = 0; f < 2; ++f) {
    TRaster r(4, 40, f == 0 ? art::kFrame : art::kFrameIdle);
    r.Fill(0, 0, 1, 40, f == 0 ? art::kFrameEdge : art::kFrameIdleEdge);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}
// The caption: 30 pixels high, active over inactive.
TRaster TopBorder() {
  std::vector<TRaster> frames;
  for (int f = 0; f < 2; ++f) {
    const TRgb body = f == 0 ? art::kFrame : art::kFrameIdle;
    TRaster r(80, 30, body);
    r.Fill(0, 0, 80, 1, f == 0 ? art::kFrameEdge : art::kFrameIdleEdge);
    r.Fill(0, 29, 80, 30, f == 0 ? art::kFrameEdge : art::kFrameIdleEdge);
    frames.push_back(r);
  }
  return TRaster::Strip(frames, true);
}
TRaster BottomBorder() {
  std::vector<TRaster> frames;
  for (int f = 0; f < 2; ++f) {
    TRaster r(80, 4, f == 0 ? art::kFrame : art::kFrameIdle);
    r.Fill(0, 3, 80, 4, f == 0 ? art::kFrameEdge : art::kFrameIdleEdge);
    frames.push_back(r);
  }
  return TRaster::Strip(frames, true);
}

// A caption button: normal, pressed, hover, inactive; 30 x 22.
TRaster CaptionButton(const std::vector<std::string>& glyph, bool close) {
  const TRgb backs[4] = {art::kFrame, close ? art::kClosePressed : art::kCaptionPressed,
                         close ? art::kClose : art::kCaptionHot, art::kFrameIdle};
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) {
    TRaster r(30, 22, backs[f]);
    r.Glyph(10, 6, glyph, f == 3 ? art::kGlyphIdle : art::kGlyph);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}

// Push buttons: normal, pressed, disabled, hot, focused or default; rounded, 24 x 24.
TRaster PushButtons() {
  struct TLook {
    TRgb face, line;
    int lineWidth;
  };
  const TLook looks[5] = {{art::kFaceRaised, art::kLine, 1},
                          {art::kFacePressed, art::kLineDark, 1},
                          {art::kFace, art::kLineLight, 1},
                          {art::kFaceHot, art::kAccent, 1},
                          {art::kFaceRaised, art::kAccent, 2}};
  std::vector<TRaster> frames;
  for (const TLook& l : looks) {
    TRaster r(24, 24, l.line);
    r.Fill(l.lineWidth, l.lineWidth, 24 - l.lineWidth, 24 - l.lineWidth, l.face);
    r.RoundCorners(0, 0, 24, 24, 3, kMagenta);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}

// Check boxes: unchecked, checked, unchecked disabled, checked disabled; 13 x 13.
TRaster CheckBoxes() {
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) {
    const bool checked = f == 1 || f == 3, disabled = f >= 2;
    const TRgb line = disabled ? art::kLineLight : checked ? art::kAccent : art::kLineDark;
    const TRgb fill = checked ? (disabled ? art::kInkIdle : art::kAccent) : (disabled ? art::kFace : art::kWhite);
    TRaster r(13, 13, line);
    r.Fill(1, 1, 12, 12, fill);
    if (checked) r.Glyph(3, 4, art::kCheckGlyph, art::kWhite);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}
TRaster RadioButtons() {
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) {
    const bool checked = f == 1 || f == 3, disabled = f >= 2;
    TRaster r(13, 13, kMagenta);
    r.Disc(6.5, 6.5, 6.5, disabled ? art::kLineLight : checked ? art::kAccent : art::kLineDark);
    r.Disc(6.5, 6.5, 5.5, disabled ? art::kFace : art::kWhite);
    if (checked) r.Disc(6.5, 6.5, 3.0, disabled ? art::kInkIdle : art::kAccent);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}

// Progress: the empty track and the filled bar, 40 x 14, rounded.
TRaster ProgressBar() {
  TRaster track(40, 14, art::kLine);
  track.Fill(1, 1, 39, 13, art::kTrack);
  track.RoundCorners(0, 0, 40, 14, 3, kMagenta);
  TRaster bar(40, 14, art::kAccentDark);
  bar.Fill(1, 1, 39, 13, art::kAccent);
  bar.Fill(1, 1, 39, 4, Mix(art::kAccent, art::kWhite, 60));
  bar.RoundCorners(0, 0, 40, 14, 3, kMagenta);
  return TRaster::Strip({track, bar});
}

// The menu bar: active over inactive, 40 x 20.
TRaster MenuBarPicture() {
  TRaster active(40, 20, art::kFace), idle(40, 20, art::kFace);
  active.Fill(0, 19, 40, 20, art::kLineLight);
  idle.Fill(0, 19, 40, 20, art::kLineLight);
  return TRaster::Strip({active, idle}, true);
}

// Tabs: a normal tab and the focused one (white with an accent top), then copies; 40 x 24.
TRaster TabPicture() {
  TRaster normal(40, 24, art::kLine);
  normal.Fill(1, 1, 39, 24, art::kFace);
  normal.RoundCorners(0, 0, 40, 24, 3, kMagenta, true, false);
  TRaster focused(40, 24, art::kLine);
  focused.Fill(1, 1, 39, 24, art::kWhite);
  focused.Fill(1, 1, 39, 3, art::kAccent);
  focused.RoundCorners(0, 0, 40, 24, 3, kMagenta, true, false);
  return TRaster::Strip({normal, focused, normal, normal, normal});
}
TRaster TabPane() {
  TRaster pane(40, 40, art::kLine);
  pane.Fill(1, 1, 39, 39, art::kWhite);
  return pane;
}

// Status bar panels: lowered, raised, flat; 20 x 20.
TRaster StatusEdges() {
  TRaster lowered(20, 20, art::kFace), raised(20, 20, art::kFace), flat(20, 20, art::kFace);
  lowered.Fill(0, 0, 20, 1, art::kLine);
  lowered.Fill(0, 0, 1, 20, art::kLine);
  raised.Fill(19, 0, 20, 20, art::kLine);
  raised.Fill(0, 19, 20, 20, art::kLine);
  return TRaster::Strip({lowered, raised, flat});
}

// Combo box parts: the button (normal, pressed, disabled, hot), the field edge and the arrows.
TRaster ComboButtonPicture() {
  const TRgb faces[4] = {art::kFaceRaised, art::kFacePressed, art::kFace, art::kFaceHot};
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) {
    TRaster r(17, 21, faces[f]);
    r.Fill(0, 0, 1, 21, f == 3 ? art::kAccent : art::kLineLight);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}
TRaster SunkEdgePicture() {
  const TRgb lines[4] = {art::kLine, art::kAccent, art::kLineLight, art::kAccent};
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) {
    TRaster r(24, 21, lines[f]);
    r.Fill(1, 1, 23, 20, f == 2 ? art::kFace : art::kWhite);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}
TRaster ExtraPicture() {
  const TRgb inks[4] = {art::kInk, art::kInk, art::kInkIdle, art::kAccent};
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) {
    TRaster r(9, 9, kMagenta);
    r.Glyph(1, 2, art::kChevronDown, inks[f]);
    frames.push_back(r);
  }
  TRaster grip(9, 9, kMagenta);  // the size grip of a status bar
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j) grip.Fill(7 - 3 * j, 1 + 3 * i, 9 - 3 * j, 3 + 3 * i, art::kLineDark);
  frames.push_back(grip);
  return TRaster::Strip(frames);
}

TRaster HeaderPicture() {
  TRaster normal(40, 22, art::kFace), hot(40, 22, art::kFaceHot);
  for (TRaster* r : {&normal, &hot}) {
    r->Fill(0, 21, 40, 22, art::kLine);
    r->Fill(39, 4, 40, 18, art::kLine);
  }
  return TRaster::Strip({normal, hot, normal, normal, normal});
}

// Popup menu items: normal (see-through), separator, -, selected, -; 40 x 22.
TRaster MenuItemPicture() {
  TRaster normal(40, 22, kMagenta);
  TRaster separator(40, 22, kMagenta);
  separator.Fill(2, 11, 38, 12, art::kLineLight);
  TRaster selected(40, 22, art::kAccentLight);
  selected.RoundCorners(0, 0, 40, 22, 3, kMagenta);
  return TRaster::Strip({normal, separator, normal, selected, normal});
}
TRaster MenuBackgroundPicture() {
  TRaster r(40, 40, art::kLine);
  r.Fill(1, 1, 39, 39, art::kWhite);
  return r;
}

// The 23 scroll-bar cells, 16 x 16: arrows (normal, pressed, -, hot) left, right, up, down; the
// grips of a horizontal and a vertical thumb (normal, pressed, hot); one spare.
TRaster ScrollbarCells() {
  std::vector<TRaster> cells;
  auto arrows = [&](const std::vector<std::string>& glyph, int gx, int gy) {
    const TRgb backs[4] = {art::kTrack, art::kFacePressed, art::kTrack, art::kFaceHot};
    const TRgb inks[4] = {art::kLineDark, art::kInk, art::kLineDark, art::kAccent};
    for (int s = 0; s < 4; ++s) {
      TRaster c(16, 16, backs[s]);
      c.Glyph(gx, gy, glyph, inks[s]);
      cells.push_back(c);
    }
  };
  arrows(art::kLeft, 6, 4);
  arrows(art::kRight, 6, 4);
  arrows(art::kUp, 4, 6);
  arrows(art::kDown, 4, 6);
  const TRgb grips[3] = {art::kTrack, art::kWhite, art::kWhite};
  for (int vertical = 0; vertical < 2; ++vertical)
    for (int s = 0; s < 3; ++s) {
      TRaster c(16, 16, kMagenta);
      for (int k = 0; k < 3; ++k) {
        if (vertical) c.Fill(5, 5 + 2 * k, 11, 6 + 2 * k, grips[s]);
        else c.Fill(5 + 2 * k, 5, 6 + 2 * k, 11, grips[s]);
      }
      cells.push_back(c);
    }
  cells.push_back(TRaster(16, 16, art::kTrack));
  return TRaster::Strip(cells);
}
TRaster ScrollTrack(bool vertical) {
  std::vector<TRaster> frames;
  for (int f = 0; f < 4; ++f) frames.push_back(TRaster(vertical ? 16 : 20, vertical ? 20 : 16, f >= 2 ? art::kFace : art::kTrack));
  return TRaster::Strip(frames);
}
TRaster ScrollThumb(bool vertical) {
  const TRgb looks[3] = {art::kThumb, art::kThumbPressed, art::kThumbHot};
  std::vector<TRaster> frames;
  for (const TRgb& c : looks) {
    const int w = vertical ? 16 : 20, h = vertical ? 20 : 16;
    TRaster r(w, h, kMagenta);
    if (vertical) r.Fill(3, 1, 13, 19, c);
    else r.Fill(1, 3, 19, 13, c);
    if (vertical) r.RoundCorners(3, 1, 13, 19, 3, kMagenta);
    else r.RoundCorners(1, 3, 19, 13, 3, kMagenta);
    frames.push_back(r);
  }
  return TRaster::Strip(frames);
}

// Up-down buttons: cell = state + 4 x button (state 1 normal, 2 pressed); 16 x 10 cells, and
// their arrows in a strip of the same cells.
TRaster UpDownCells(bool vertical, bool glyphs) {
  std::vector<TRaster> cells;
  const int w = vertical ? 16 : 10, h = vertical ? 10 : 16;
  for (int button = 0; button < 2; ++button)
    for (int s = 0; s < 4; ++s) {
      const bool pressed = s == 1;
      TRaster c(w, h, glyphs ? kMagenta : (pressed ? art::kFacePressed : art::kFaceRaised));
      if (glyphs) {
        const auto& g = vertical ? (button == 0 ? art::kUp : art::kDown) : (button == 0 ? art::kLeft : art::kRight);
        c.Glyph(vertical ? 4 : 3, vertical ? 3 : 4, g, pressed ? art::kAccentDark : art::kInk);
      } else {
        c.Frame(0, 0, w, h, art::kLine);
      }
      cells.push_back(c);
    }
  return TRaster::Strip(cells);
}

std::vector<TMember> KivoAppSkin() {
  const std::string ini = R"(; KivoApp: a flat dark frame around light controls with a blue accent.
[TitlebarSkin]
SkinName=Kivo Flat

[Personality]
Left=left.bmp
Right=right.bmp
Top=top.bmp
Bottom=bottom.bmp
LeftTopHeight=30
LeftBotHeight=4
RightTopHeight=30
RightBotHeight=4
TopTopHeight=4
TopBotHeight=4
BottomTopHeight=4
BottomBotHeight=4
LeftFrame=2
RightFrame=2
TopFrame=2
BottomFrame=2
LeftStretch=1
RightStretch=1
TopStretch=1
BottomStretch=1
LeftTrans=0
RightTrans=0
TopTrans=0
BottomTrans=0
TextShift=28
TextShiftVert=0
TextRightClip=100
TextAlignment=0
menuBar=menubar.bmp
TileMenu=1
TileLeftMenu=2
TileRightMenu=2

[Fonts]
FontHeight=14

[Colours]
WindowText=33,37,43
TitleTextActive=236,238,241
TitleTextNoActive=160,165,173
ButtonFace=243,244,246
ButtonText=33,37,43
ButtonHilight=255,255,255
Buttonlight=250,250,251
ButtonShadow=160,167,177
ButtonDkShadow=110,117,128
HilightText=255,255,255
Hilight=45,128,245
Menubar=243,244,246
MenuBarText=33,37,43
MenuText=33,37,43
Menu=255,255,255
Scrollbar=232,234,238

[BUTTONCLOSE]
Action=0
Align=1
Xcoord=34
Ycoord=4
Visibility=0
frame=4
ButtonImage=close.bmp

[BUTTONMAX]
Action=1
Align=1
Xcoord=64
Ycoord=4
Visibility=2
Visibility1=8
frame=4
ButtonImage=max.bmp

[BUTTONRESTORE]
Action=1
Align=1
Xcoord=64
Ycoord=4
Visibility=1
Visibility1=8
frame=4
ButtonImage=restore.bmp

[BUTTONMIN]
Action=2
Align=1
Xcoord=94
Ycoord=4
Visibility=6
Visibility1=6
frame=4
ButtonImage=min.bmp

[BUTTONHELP]
Action=4
Align=1
Visibility=10
frame=4
ButtonImage=help.bmp

[BUTTONICON]
Action=3
Align=0
Xcoord=8
Ycoord=7
Visibility=0

[Buttons]
Bitmap=buttons.bmp
CheckButton=check.bmp
RadioButton=radio.bmp
CheckButtonFrame=4
RadioButtonFrame=4
LeftWidth=4
TopHeight=4
RightWidth=4
BottomHeight=4
Trans=1
Tile=0

[Progress]
Bitmap=progress.bmp
Style=0
LeftWidth=4
RightWidth=4
TopHeight=4
BottomHeight=4
Trans=1
Tile=0

[Tabs]
Image=tabs.bmp
Border=tabpane.bmp
Style=0
LeftWidth=4
TopHeight=4
RightWidth=4
BottomHeight=2
Trans=1
NormalColour2=90,96,106
MouseOverColour2=33,37,43

[StatusBarEdges]
Image=statusbar.bmp
LeftWidth=2
TopHeight=2
RightWidth=2
BottomHeight=2
NormalColour2=90,96,106

[ComboButton]
Image=combobutton.bmp
Style=1
LeftWidth=2
TopHeight=2
RightWidth=2
BottomHeight=2
Trans=1

[SunkEdge]
Image=sunkedge.bmp
LeftWidth=2
TopHeight=2
RightWidth=2
BottomHeight=2
Trans=0

[ExtraImages]
Image=extra.bmp

[Headerbar]
Image=header.bmp
Frame=5
LeftWidth=2
TopHeight=2
RightWidth=2
BottomHeight=2

[MenuItem]
Image=menuitem.bmp
LeftWidth=4
TopHeight=4
RightWidth=4
BottomHeight=4
Trans=1

[MenuBackground]
Image=menubg.bmp
LeftWidth=2
TopHeight=2
RightWidth=2
BottomHeight=2

[Scrollbar]
Image=scrollbar.bmp

[HorzScroll]
Image=hscroll.bmp
[VertScroll]
Image=vscroll.bmp
[HorzScrollThumb]
Image=hthumb.bmp
LeftWidth=5
RightWidth=5
Trans=1
[VertScrollThumb]
Image=vthumb.bmp
TopHeight=5
BottomHeight=5
Trans=1

[UpDown.Horz]
Image=updownh.bmp
GlyphImage=updownhg.bmp
[UpDown.Vert]
Image=updownv.bmp
GlyphImage=updownvg.bmp
)";
  std::vector<TMember> m;
  m.push_back({"kivoapp.ini", Text(ini)});
  m.push_back({"left.bmp", SideBorder().Bmp24()});
  m.push_back({"right.bmp", SideBorder().Bmp24()});
  m.push_back({"top.bmp", TopBorder().Bmp24()});
  m.push_back({"bottom.bmp", BottomBorder().Bmp24()});
  m.push_back({"close.bmp", CaptionButton(art::kCloseGlyph, true).Bmp24()});
  m.push_back({"max.bmp", CaptionButton(art::kMaxGlyph, false).Bmp24()});
  m.push_back({"restore.bmp", CaptionButton(art::kRestoreGlyph, false).Bmp24()});
  m.push_back({"min.bmp", CaptionButton(art::kMinGlyph, false).Bmp24()});
  m.push_back({"help.bmp", CaptionButton(art::kHelpGlyph, false).Bmp24()});
  m.push_back({"buttons.bmp", PushButtons().Bmp24()});
  m.push_back({"check.bmp", CheckBoxes().Bmp24()});
  m.push_back({"radio.bmp", RadioButtons().Bmp24()});
  m.push_back({"progress.bmp", ProgressBar().Bmp24()});
  m.push_back({"menubar.bmp", MenuBarPicture().Bmp24()});
  m.push_back({"tabs.bmp", TabPicture().Bmp24()});
  m.push_back({"tabpane.bmp", TabPane().Bmp24()});
  m.push_back({"statusbar.bmp", StatusEdges().Bmp24()});
  m.push_back({"combobutton.bmp", ComboButtonPicture().Bmp24()});
  m.push_back({"sunkedge.bmp", SunkEdgePicture().Bmp24()});
  m.push_back({"extra.bmp", ExtraPicture().Bmp24()});
  m.push_back({"header.bmp", HeaderPicture().Bmp24()});
  m.push_back({"menuitem.bmp", MenuItemPicture().Bmp24()});
  m.push_back({"menubg.bmp", MenuBackgroundPicture().Bmp24()});
  m.push_back({"scrollbar.bmp", ScrollbarCells().Bmp24()});
  m.push_back({"hscroll.bmp", ScrollTrack(false).Bmp24()});
  m.push_back({"vscroll.bmp", ScrollTrack(true).Bmp24()});
  m.push_back({"hthumb.bmp", ScrollThumb(false).Bmp24()});
  m.push_back({"vthumb.bmp", ScrollThumb(true).Bmp24()});
  m.push_back({"updownh.bmp", UpDownCells(false, false).Bmp24()});
  m.push_back({"updownhg.bmp", UpDownCells(false, true).Bmp24()});
  m.push_back({"updownv.bmp", UpDownCells(true, false).Bmp24()});
  m.push_back({"updownvg.bmp", UpDownCells(true, true).Bmp24()});
  return m;
}

// ---- program resources -------------------------------------------------------------------------
// Track-bar channels in the standard 16 colours: S silver, G grey, W white.
TRaster FromRows(const std::vector<std::string>& rows) {
  TRaster r(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (std::size_t y = 0; y < rows.size(); ++y)
    for (std::size_t x = 0; x < rows[y].size(); ++x) {
      const char c = rows[y][x];
      r.Set(static_cast<int>(x), static_cast<int>(y),
            c == 'S' ? Rgb(192, 192, 192) : c == 'G' ? Rgb(128, 128, 128) : c == '#' ? Rgb(0, 0, 0) : Rgb(255, 255, 255));
    }
  return r;
}
TRaster TrackResource() {
  return FromRows({"SSGGGGGGGGGGGGWW", "SSWWWWWWWWWWWWWW", "GSWWWWWWWWWWWWWW", "SSWWWWWWWWWWWWWW"});
}
TRaster TrackVertResource() {
  std::vector<std::string> rows = {"SSGS", "SSSS"};
  for (int i = 0; i < 12; ++i) rows.push_back("GWWW");
  rows.push_back("WWWW");
  rows.push_back("WWWW");
  return FromRows(rows);
}
// Restore, maximize, minimize and close, black on white, 16 x 16 each.
TRaster MenuGlyphs() {
  std::vector<std::string> restore = {
      "................", "................", ".....#########..", ".....#########..", ".....#.......#..",
      "...#########.#..", "...#########.#..", "...#.......#.#..", "...#.......###..", "...#.......#....",
      "...#.......#....", "...#.......#....", "...#########....", "................", "................",
      "................"};
  std::vector<std::string> maximize = {
      "................", "................", "...##########...", "...##########...", "...#........#...",
      "...#........#...", "...#........#...", "...#........#...", "...#........#...", "...#........#...",
      "...#........#...", "...#........#...", "...##########...", "................", "................",
      "................"};
  std::vector<std::string> minimize(16, "................");
  minimize[9] = minimize[10] = "....#######.....";
  std::vector<std::string> close = {
      "................", "................", "................", "....##....##....", ".....##..##.....",
      "......####......", ".......##.......", "......####......", ".....##..##.....", "....##....##....",
      "................", "................", "................", "................", "................",
      "................"};
  std::vector<std::string> all(16);
  for (int y = 0; y < 16; ++y) all[y] = restore[y] + maximize[y] + minimize[y] + close[y];
  return FromRows(all);
}

// A small archive of known members, kept with the tests to pin the format.
Bytes GoldenArchive() {
  std::vector<TMember> members = {
      {"Golden.INI", Text("[TitlebarSkin]\r\nSkinName=Golden\r\n")},
      {"dot.bmp", TRaster(2, 2, Rgb(10, 20, 30)).Bmp24()},
      {"empty.txt", {}},
      {"abc.txt", Text("abcabcabcabcabcabcabcabcabcabcabcabc")},
  };
  return PackSkinFile(BuildArchive(30000, members));
}

}  // namespace

void kivo::arttool::DrawSkins(const std::string& folder) {
  WriteFile(folder + "/kivoapp.skn", PackSkinFile(BuildArchive(30000, KivoAppSkin())));
  WriteFile(folder + "/kivotest.skn", PackSkinFile(BuildArchive(20000, TestSkin())));
  WriteFile(folder + "/track.bmp", TrackResource().Bmp4());
  WriteFile(folder + "/trackvert.bmp", TrackVertResource().Bmp4());
  WriteFile(folder + "/tesselmenu.bmp", MenuGlyphs().Bmp1());
  std::filesystem::create_directories(folder + "/mp");
  for (const auto& glyph : MediaPlayerGlyphs()) WriteFile(folder + "/mp/" + glyph.first + ".bmp", glyph.second.Bmp24());
}

void kivo::arttool::DrawGoldenSkin(const std::string& file) { WriteFile(file, GoldenArchive()); }
