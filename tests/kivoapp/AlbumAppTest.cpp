// The album source of KivoApp.exe end to end: KivoApp started from a fresh program folder with an
// album list and album settings, its slide show started with the play button of the album window's
// strip, and a viewer of "Kivo Filter Source" in another process classifying what it receives.
//
// The pictures are 320 x 240 with four coloured quarters; every picture of a test has a different
// colour in each quarter, so a frame is "picture X" when every sampled point shows X's quarter
// colour, a transition step between X and Y when every point shows X's or Y's colour and both
// occur, and anything else (a cropped or misplaced frame) is neither.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KivoAppFixture.h"
#include "PictureCodecs.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr int kW = 320, kH = 240;

// Quarter colours of a picture: top-left, top-right, bottom-left, bottom-right.
using TQuarters = std::array<COLORREF, 4>;
const std::map<char, TQuarters> kPictures = {
    {'A', {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)}},
    {'B', {RGB(255, 255, 0), RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}},
    {'C', {RGB(0, 255, 255), RGB(255, 0, 255), RGB(255, 255, 255), RGB(0, 0, 0)}},
};

COLORREF QuarterColour(const TQuarters& q, int x, int y) { return q[(y >= kH / 2 ? 2 : 0) + (x >= kW / 2 ? 1 : 0)]; }

void PutLe(std::string& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit bottom-up .bmp of picture `name`.
std::string QuarterBmp(char name) {
  const TQuarters& q = kPictures.at(name);
  const int stride = (kW * 3 + 3) & ~3;
  std::string s = "BM";
  PutLe(s, 54 + stride * kH, 4);
  PutLe(s, 0, 4);
  PutLe(s, 54, 4);
  PutLe(s, 40, 4);
  PutLe(s, kW, 4);
  PutLe(s, kH, 4);
  PutLe(s, 1, 2);
  PutLe(s, 24, 2);
  PutLe(s, 0, 4);
  PutLe(s, stride * kH, 4);
  PutLe(s, 2835, 4);
  PutLe(s, 2835, 4);
  PutLe(s, 0, 4);
  PutLe(s, 0, 4);
  for (int row = kH - 1; row >= 0; --row) {
    std::string line;
    for (int x = 0; x < kW; ++x) {
      const COLORREF c = QuarterColour(q, x, row);
      line += static_cast<char>(GetBValue(c));
      line += static_cast<char>(GetGValue(c));
      line += static_cast<char>(GetRValue(c));
    }
    line.resize(stride, '\0');
    s += line;
  }
  return s;
}

// An animated GIF whose frames are the pictures named in `frames`, each shown `delay` hundredths.
std::string QuarterGif(const std::string& frames, int delay) {
  TGifPicture g;
  g.Width = kW;
  g.Height = kH;
  g.LoopCount = 0;
  for (char name : frames) {
    const TQuarters& q = kPictures.at(name);
    TGifFrame f;
    f.Width = kW;
    f.Height = kH;
    f.HasControl = true;
    f.Delay = delay;
    f.Disposal = gdKeep;
    for (COLORREF c : q) f.LocalPalette.push_back(TGifColour{GetRValue(c), GetGValue(c), GetBValue(c)});
    f.Indices.resize(std::size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) f.Indices[std::size_t(y) * kW + x] = static_cast<std::uint8_t>((y >= kH / 2 ? 2 : 0) + (x >= kW / 2 ? 1 : 0));
    g.GlobalPalette = f.LocalPalette;
    g.Frames.push_back(f);
  }
  const std::vector<std::uint8_t> bytes = EncodeGif(g);
  return std::string(bytes.begin(), bytes.end());
}

bool Close(COLORREF a, COLORREF b) {
  auto d = [](int x, int y) { return x > y ? x - y : y - x; };
  return d(GetRValue(a), GetRValue(b)) < 48 && d(GetGValue(a), GetGValue(b)) < 48 && d(GetBValue(a), GetBValue(b)) < 48;
}

// What a frame shows: a picture's letter, 'M' for a step between two of `pictures`, '?' otherwise
// ('-' for no frame). Points on a grid of 16 x 12, each in the middle of its 20 x 20 cell.
char Classify(const std::vector<BYTE>& frame, const std::string& pictures) {
  if (frame.size() != std::size_t((kW * 3 + 3) & ~3) * kH) return '-';
  const int stride = (kW * 3 + 3) & ~3;
  std::map<char, int> hits;
  int points = 0, mixedOk = 0;
  for (int gy = 0; gy < 12; ++gy)
    for (int gx = 0; gx < 16; ++gx) {
      const int x = gx * 20 + 10, y = gy * 20 + 10;
      const BYTE* p = frame.data() + std::size_t(kH - 1 - y) * stride + std::size_t(x) * 3;
      const COLORREF c = RGB(p[2], p[1], p[0]);
      ++points;
      bool any = false;
      for (char name : pictures)
        if (Close(c, QuarterColour(kPictures.at(name), x, y))) {
          ++hits[name];
          any = true;
        }
      if (any) ++mixedOk;
    }
  for (char name : pictures)
    if (hits[name] == points) return name;
  if (mixedOk == points) {
    int present = 0;
    for (char name : pictures)
      if (hits[name] >= points / 20) ++present;
    if (present >= 2) return 'M';
  }
  return '?';
}

// The classes seen while `within` ms pass, repeats collapsed ("?BMAMB").
struct TSeen {
  std::string Sequence;
  std::map<char, int> Count;
  int LateUnknown = 0;  // '?' frames after the first whole picture
};
TSeen Watch(TFrameViewer& viewer, const std::string& pictures, double withinMs,
            const std::function<bool(const TSeen&)>& enough = nullptr) {
  TSeen seen;
  const double deadline = NowMs() + withinMs;
  while (NowMs() < deadline) {
    const char c = Classify(viewer.Frame(), pictures);
    ++seen.Count[c];
    if (c == '?' && seen.Sequence.find_first_not_of("?M-") != std::string::npos) ++seen.LateUnknown;
    if (seen.Sequence.empty() || seen.Sequence.back() != c) seen.Sequence += c;
    if (enough && enough(seen)) break;
    ::Sleep(10);
  }
  return seen;
}
bool Has(const TSeen& s, const std::string& part) { return s.Sequence.find(part) != std::string::npos; }

// The share of points of a 16 x 12 grid over the whole screen, read back from the display, that
// show one of `pictures` stretched over the screen (a picture's quarter colour, or a transition
// step's, at the point's place).
double ScreenShare(const std::string& pictures) {
  const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
  HDC screen = ::GetDC(nullptr);
  if (!screen) return 0;
  int points = 0, shown = 0;
  for (int gy = 0; gy < 12; ++gy)
    for (int gx = 0; gx < 16; ++gx) {
      const int x = gx * 20 + 10, y = gy * 20 + 10;
      const COLORREF c = ::GetPixel(screen, x * sw / kW, y * sh / kH);
      ++points;
      for (char name : pictures)
        if (Close(c, QuarterColour(kPictures.at(name), x, y))) {
          ++shown;
          break;
        }
    }
  ::ReleaseDC(nullptr, screen);
  return double(shown) / points;
}

struct TAlbumSettings {
  std::string Interval = "2";
  int EffectIndex = 4;  // style 5, the new picture revealed from the left at its place
  int Mode = 2;         // manual: the chosen style every time
  bool GifStatic = false;
};

class AlbumApp : public TKivoAppTest {
 protected:
  std::wstring Picture(const std::wstring& name, const std::string& bytes) {
    const std::size_t slash = name.find_last_of(L'\\');
    if (slash != std::wstring::npos) ::CreateDirectoryW(folder_.File(name.substr(0, slash)).c_str(), nullptr);
    EXPECT_TRUE(folder_.Write(name, bytes));
    return folder_.File(name);
  }
  void Start(const std::vector<std::wstring>& items, const TAlbumSettings& s = {}) {
    std::string list = "[Items]\r\n";
    for (std::size_t i = 0; i < items.size(); ++i) list += std::to_string(i) + "=" + Narrow(items[i]) + "\r\n";
    ASSERT_TRUE(folder_.Write(L"curalbum.dat", list));
    ASSERT_TRUE(folder_.Write(L"KivoApp.ini",
                              "[System]\r\nActiveSource=Album\r\nCaptureSource=Album\r\nCaptureActive=1\r\n"
                              "[Album]\r\nImageView=7\r\nChangeInterval=" + s.Interval +
                                  "\r\nEffectIndex=" + std::to_string(s.EffectIndex) +
                                  "\r\nEffectChangeMode=" + std::to_string(s.Mode) +
                                  "\r\nGIFStatic=" + (s.GifStatic ? "1" : "0") + "\r\n"));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_EQ(viewer_.Open(), "ok");
  }
  HWND AlbumWindow() {
    const auto w = ChildrenOf(main_, L"TAlbumWindow");
    return w.empty() ? nullptr : w.front();
  }
  // The play button of the album window's strip (shown while the album does not play).
  void ClickPlay() {
    HWND strip = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
          HWND album = AlbumWindow();
          for (HWND p : album ? ChildrenOf(album, L"TPanel") : std::vector<HWND>{})
            if (::GetParent(p) == album && ::IsWindowVisible(p)) strip = p;
          return strip != nullptr;
        },
        10000))
        << "no strip over the album window";
    TKivoAppRun::ClickAt(strip, 13, 13);
  }
  // A double click on the picture-show control, wherever the album window is.
  void DoubleClickPicture(HWND album) {
    ASSERT_NE(album, nullptr);
    const auto shows = ChildrenOf(album, L"TPictureShow");
    ASSERT_EQ(shows.size(), 1u);
    ::PostMessageW(shows.front(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
    ::PostMessageW(shows.front(), WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
  }

  TFrameViewer viewer_;
};

}  // namespace

TEST_F(AlbumApp, TwoPicturesAlternateThroughTransitionFramesThatMixThem) {
  const std::wstring a = Picture(L"pictures\\a.bmp", QuarterBmp('A'));
  const std::wstring b = Picture(L"pictures\\b picture.bmp", QuarterBmp('B'));
  Start({a, b});
  if (HasFatalFailure()) return;
  ClickPlay();  // nothing chosen in the list: the show starts with the last picture
  TSeen seen = Watch(viewer_, "AB", 20000, [](const TSeen& s) { return Has(s, "BMAMBMA"); });
  EXPECT_TRUE(Has(seen, "BMAMBMA")) << seen.Sequence;
  EXPECT_GT(seen.Count['M'], 4) << "too few transition steps: " << seen.Sequence;
}

TEST_F(AlbumApp, FullScreenAndBackKeepTheFramesWhole) {
  const std::wstring a = Picture(L"a.bmp", QuarterBmp('A'));
  const std::wstring b = Picture(L"b.bmp", QuarterBmp('B'));
  Start({a, b});
  if (HasFatalFailure()) return;
  ClickPlay();
  TSeen seen = Watch(viewer_, "AB", 15000, [](const TSeen& s) { return Has(s, "BMA"); });
  ASSERT_TRUE(Has(seen, "BMA")) << seen.Sequence;

  HWND album = AlbumWindow();
  const HWND page = ::GetParent(album);
  DoubleClickPicture(album);
  HWND full = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (full = ::GetParent(album)) != page && full != nullptr; }, 10000))
      << "the album window stayed in its page";
  EXPECT_EQ(::GetWindowLongW(full, GWL_STYLE) & WS_CHILD, 0) << "the full-screen form is not a top-level window";
  RECT r{};
  EXPECT_TRUE(WaitUntil([&] { return ::GetClientRect(album, &r) && r.right > kW && r.bottom > kH; }, 10000))
      << "the album window did not grow: " << r.right << " x " << r.bottom;
  // in full screen the steps and pictures still arrive whole at 320 x 240
  seen = Watch(viewer_, "AB", 15000, [](const TSeen& s) { return Has(s, "AMBMA") || Has(s, "BMAMB"); });
  EXPECT_TRUE(Has(seen, "AMBMA") || Has(seen, "BMAMB")) << seen.Sequence;
  EXPECT_LE(seen.LateUnknown, 2) << seen.Sequence;
  // and the form still covers the screen once the display has answered: the pictures are seen
  // over the whole screen (other programs' windows on the shared display may hide a few points)
  const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
  RECT fr{};
  EXPECT_TRUE(::GetWindowRect(full, &fr) && fr.left == 0 && fr.top == 0 && fr.right == sw && fr.bottom == sh)
      << "the full-screen form is " << fr.left << "," << fr.top << " - " << fr.right << "," << fr.bottom;
  EXPECT_TRUE(::GetClientRect(album, &r) && r.right == sw && r.bottom == sh) << r.right << " x " << r.bottom;
  double share = 0;
  EXPECT_TRUE(WaitUntil([&] { return (share = ScreenShare("AB")) >= 0.8; }, 10000))
      << "the screen shows the pictures at " << int(share * 100) << "% of the points";

  DoubleClickPicture(album);
  ASSERT_TRUE(WaitUntil([&] { return ::GetParent(album) == page; }, 10000)) << "the album window did not come back";
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(full); }, 10000)) << "the full-screen form stayed";
  EXPECT_TRUE(WaitUntil([&] { return ::GetClientRect(album, &r) && r.right == kW && r.bottom == kH; }, 10000))
      << r.right << " x " << r.bottom;
  seen = Watch(viewer_, "AB", 15000, [](const TSeen& s) { return Has(s, "AMBMA") || Has(s, "BMAMB"); });
  EXPECT_TRUE(Has(seen, "AMBMA") || Has(seen, "BMAMB")) << seen.Sequence;
  EXPECT_LE(seen.LateUnknown, 2) << seen.Sequence;
}

TEST_F(AlbumApp, AGifIsShownAnimatedWithoutATransitionAlsoInFullScreen) {
  const std::wstring a = Picture(L"a.bmp", QuarterBmp('A'));
  const std::wstring gif = Picture(L"anim.gif", QuarterGif("BC", 30));
  Start({a, gif}, TAlbumSettings{"4"});
  if (HasFatalFailure()) return;
  ClickPlay();  // the GIF first: its frames B and C in turn, never a step between them
  TSeen seen = Watch(viewer_, "BC", 3500);
  EXPECT_TRUE(Has(seen, "BCB") || Has(seen, "CBC")) << "not animated: " << seen.Sequence;
  EXPECT_EQ(seen.Count['M'], 0) << seen.Sequence;
  // then the bitmap
  seen = Watch(viewer_, "ABC", 6000, [](const TSeen& s) { return Has(s, "A"); });
  EXPECT_TRUE(Has(seen, "A")) << seen.Sequence;
  // the GIF again, at once, and in full screen still whole and animated
  seen = Watch(viewer_, "BC", 8000, [](const TSeen& s) { return Has(s, "BCB") || Has(s, "CBC"); });
  ASSERT_TRUE(Has(seen, "BCB") || Has(seen, "CBC")) << seen.Sequence;
  HWND album = AlbumWindow();
  const HWND page = ::GetParent(album);
  ::PostMessageW(album, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
  ASSERT_TRUE(WaitUntil([&] { return ::GetParent(album) != page; }, 10000));
  // the album window takes the form's size when it moves into it (the screen here is 4:3)
  RECT r{};
  EXPECT_TRUE(WaitUntil([&] { return ::GetClientRect(album, &r) && r.right > kW && r.right * 3 == r.bottom * 4; }, 10000))
      << "the album window is " << r.right << " x " << r.bottom;
  ::Sleep(300);
  seen = Watch(viewer_, "BC", 1500);
  EXPECT_TRUE(Has(seen, "BC") || Has(seen, "CB")) << "not animated in full screen: " << seen.Sequence;
  EXPECT_LE(seen.LateUnknown, 1) << seen.Sequence;
  ::PostMessageW(album, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
  EXPECT_TRUE(WaitUntil([&] { return ::GetParent(album) == page; }, 10000));
}

TEST_F(AlbumApp, AGifStopsWritingFramesWhenAnotherSourceBecomesTheCaptureSource) {
  const std::wstring gif = Picture(L"anim.gif", QuarterGif("BC", 30));
  Start({gif});
  if (HasFatalFailure()) return;
  ClickPlay();
  TSeen seen = Watch(viewer_, "BC", 8000, [](const TSeen& s) { return Has(s, "BCB") || Has(s, "CBC"); });
  ASSERT_TRUE(Has(seen, "BCB") || Has(seen, "CBC")) << "not animated: " << seen.Sequence;
  // the camera (source 0) becomes the capture source; the album goes on playing in its window
  const UINT setCaptureSource = 0x10A4;
  ::SendMessageW(main_, setCaptureSource, 0, 0);
  ::Sleep(500);
  seen = Watch(viewer_, "BC", 3000);
  EXPECT_FALSE(Has(seen, "BC") || Has(seen, "CB")) << "the album still writes: " << seen.Sequence;
}

TEST_F(AlbumApp, WithGifStaticTheGifComesThroughTheTransitionAndStandsStill) {
  const std::wstring a = Picture(L"a.bmp", QuarterBmp('A'));
  const std::wstring gif = Picture(L"anim.gif", QuarterGif("BC", 30));
  TAlbumSettings s;
  s.GifStatic = true;
  Start({a, gif}, s);
  if (HasFatalFailure()) return;
  ClickPlay();
  TSeen seen = Watch(viewer_, "AB", 12000, [](const TSeen& x) { return Has(x, "BMAMB"); });
  EXPECT_TRUE(Has(seen, "BMAMB")) << seen.Sequence;
  // its second frame (C) never shows: C's colours are neither A's nor B's
  EXPECT_LE(seen.LateUnknown, 2) << seen.Sequence;
}

TEST_F(AlbumApp, AMissingPictureIsSkippedQuietlyAndTheListIsWrittenBack) {
  const std::wstring a = Picture(L"a.bmp", QuarterBmp('A'));
  const std::wstring b = Picture(L"b.bmp", QuarterBmp('B'));
  const std::wstring missing = folder_.File(L"gone.bmp");
  Start({a, missing, b});
  if (HasFatalFailure()) return;
  ClickPlay();  // b, a, (the missing one: a stays), b
  TSeen seen = Watch(viewer_, "AB", 15000, [](const TSeen& x) { return Has(x, "BMAMB"); });
  EXPECT_TRUE(Has(seen, "BMAMB")) << seen.Sequence;
  EXPECT_GT(seen.Count['A'], 0);

  // "移除图片" with nothing chosen rewrites the current list: every entry, the missing one too
  const auto buttons = ChildrenOf(main_, L"TButton");
  HWND remove = nullptr;
  for (HWND w : buttons)
    if (TextOfWindow(w) == L"移除图片") remove = w;
  ASSERT_NE(remove, nullptr);
  ASSERT_TRUE(folder_.Write(L"curalbum.dat", ""));
  ::PostMessageW(remove, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return IniValue(folder_.File(L"curalbum.dat"), L"Items", L"2") == b; }, 10000));
  EXPECT_EQ(IniValue(folder_.File(L"curalbum.dat"), L"Items", L"0"), a);
  EXPECT_EQ(IniValue(folder_.File(L"curalbum.dat"), L"Items", L"1"), missing);
}
