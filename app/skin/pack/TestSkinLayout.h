// The test skin (kivotest.skn): every frame of every picture is one solid colour, distinct across
// the whole skin, so that a test can tell from a pixel which picture and frame was drawn. Shared
// by the artwork tool and the tests.
#pragma once

#include <cstdint>

namespace kivo::testskin {

enum Picture : int {
  pLeft, pRight, pTop, pBottom, pTextBack, pButtons, pCheck, pRadio, pClose, pMax, pRestore, pMin, pHelp,
  pProgress, pProgressChunk, pMenuBar, pGroupBoxEdge, pGroupBox, pTabs, pTabBorder, pTabPane, pStatusBar,
  pToolBars, pComboButton, pSunkEdge, pExtra, pHeader, pMenuItem, pMenuBackground, pScrollbar, pHorzScroll,
  pVertScroll, pHorzThumb, pVertThumb, pThumbHorz, pThumbVert, pUpDownHorz, pUpDownHorzGlyph, pUpDownVert,
  pUpDownVertGlyph, pTrackVert, pMdiControls, pPictureCount
};

struct TPictureLayout {
  const char* Member;
  int Frames;
  bool Stacked;  // frames one under the other
  int FrameWidth, FrameHeight;
};

constexpr TPictureLayout kPictures[pPictureCount] = {
    {"left.bmp", 2, false, 4, 40},       {"right.bmp", 2, false, 4, 40},      {"top.bmp", 2, true, 60, 24},
    {"bottom.bmp", 2, true, 60, 4},      {"textback.bmp", 2, true, 20, 18},   {"buttons.bmp", 5, false, 20, 20},
    {"check.bmp", 4, false, 13, 13},     {"radio.bmp", 4, false, 13, 13},     {"close.bmp", 3, false, 16, 14},
    {"max.bmp", 3, false, 16, 14},       {"restore.bmp", 3, false, 16, 14},   {"min.bmp", 3, false, 16, 14},
    {"help.bmp", 3, false, 16, 14},      {"progress.bmp", 2, false, 20, 12},  {"chunk.bmp", 1, false, 8, 10},
    {"menubar.bmp", 2, true, 40, 18},    {"gbedge.bmp", 2, false, 20, 20},    {"groupbox.bmp", 1, false, 20, 20},
    {"tabs.bmp", 5, false, 30, 20},      {"tabborder.bmp", 1, false, 30, 30}, {"tabpane.bmp", 1, false, 30, 30},
    {"statusbar.bmp", 3, false, 20, 18}, {"toolbars.bmp", 5, false, 20, 20},  {"combobutton.bmp", 4, false, 17, 21},
    {"sunkedge.bmp", 4, false, 20, 21},  {"extra.bmp", 5, false, 9, 9},       {"header.bmp", 5, false, 30, 20},
    {"menuitem.bmp", 5, false, 30, 20},  {"menubg.bmp", 1, false, 40, 40},    {"scrollbar.bmp", 23, false, 16, 16},
    {"hscroll.bmp", 4, false, 20, 16},   {"vscroll.bmp", 4, false, 16, 20},   {"hthumb.bmp", 3, false, 20, 16},
    {"vthumb.bmp", 3, false, 16, 20},    {"thumbh.bmp", 5, false, 11, 19},    {"thumbv.bmp", 5, false, 19, 11},
    {"updownh.bmp", 8, false, 12, 12},   {"updownhg.bmp", 8, false, 12, 12},  {"updownv.bmp", 8, false, 12, 12},
    {"updownvg.bmp", 8, false, 12, 12},  {"trackvert.bmp", 1, false, 8, 40},  {"mdicontrols.bmp", 12, false, 10, 10},
};

// The colour (0x00BBGGRR) of frame `frame` (from 1) of a picture. Never magenta or near it.
constexpr std::uint32_t ColorOf(int picture, int frame) {
  return static_cast<std::uint32_t>(4 + 5 * picture) | static_cast<std::uint32_t>(10 + 10 * frame) << 8 | 0x80u << 16;
}

// The top border's frames have a 2 x 2 magenta square in both outer top corners (TopTrans 1),
// so that a skinned window's region leaves its corners out.
constexpr int kTopCornerSize = 2;

// Values of the test skin's ini that tests check.
constexpr int kBorderCaptionHeight = 20;  // LeftTopHeight / RightTopHeight
constexpr int kButtonsMargin = 3;
constexpr int kTabPaneMarginInIni = 10;   // stored as 4
constexpr std::uint32_t kButtonFace = 0xDCD2C8;  // 200,210,220
constexpr std::uint32_t kButtonText = 0x1E140A;  // 10,20,30
constexpr std::uint32_t kHilight = 0xC8643C;     // 60,100,200

}  // namespace kivo::testskin
