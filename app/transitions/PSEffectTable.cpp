// The table of the 176 transition styles: each style's name and drawing procedure, and the
// renderer's entry that works out the progress extents and calls a style.
#include <algorithm>

#include "PSEffectInternal.h"

namespace kivo {

using namespace pseffect;

namespace {
constexpr long double kPi = 3.141592653589793238462643383279502884L;
}  // namespace

// Styles 1-57, 129-136, 168 and 173-176 are block transfers; the others reveal through regions
// or mix pixels.
const TEffect TransitionTable[kStyleCount] = {
    {L"从右边展开",  // 1
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, W - X, 0, X, H, 0, 0, W, H);
     }},
    {L"从左边展开",  // 2
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, 0, 0, X, H, 0, 0, W, H);
     }},
    {L"从右边拖出",  // 3
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Copy(f, W - X, 0, W, H, 0, 0);
     }},
    {L"从左边拖出",  // 4
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Copy(f, X - W, 0, W, H, 0, 0);
     }},
    {L"从左边展示",  // 5
     [](const TStyleFrame& f) {
       const int H = f.H, X = f.X;
       Reveal(f, 0, 0, X, H);
     }},
    {L"从右边展示",  // 6
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Reveal(f, W - X, 0, X, H);
     }},
    {L"从右边挤压",  // 7
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, 0, 0, 2 * W - X, H, 0, 0, X, H);
     }},
    {L"从左边挤压",  // 8
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, X - W, 0, 2 * W - X, H, W - X, 0, X, H);
     }},
    {L"向中间挤压",  // 9
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, X - W, 0, 3 * W - 2 * X, H, (W - X) / 2, 0, X, H);
     }},
    {L"从中间展开",  // 10
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, (W - X) / 2, 0, X, H, 0, 0, W, H);
     }},
    {L"从中间翻开",  // 11
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Reveal(f, (W - X) / 2, 0, X, H);
     }},
    {L"向中间翻开",  // 12
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Reveal(f, 0, 0, X / 2, H);
       Reveal(f, W - X / 2, 0, X / 2, H);
     }},
    {L"向中间挤压",  // 13
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Stretch(f, 0, 0, X / 2, H, 0, 0, W / 2, H);
       Stretch(f, W - X / 2, 0, X / 2, H, W / 2, 0, W / 2, H);
     }},
    {L"从左边卷轴",  // 14
     [](const TStyleFrame& f) { RollHorizontal(f, true); }},
    {L"从右边卷轴",  // 15
     [](const TStyleFrame& f) { RollHorizontal(f, false); }},
    {L"从右边堆积",  // 16
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       Copy(f, 0, 0, X, H, 0, 0);
       Stretch(f, X, 0, W - X, H, X, 0, std::min(W - X, W / 10), H);
     }},
    {L"从左边堆积",  // 17
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       const int r = W - X;
       const int xs = std::max(r - W / 10, 0);
       Copy(f, r, 0, X, H, r, 0);
       Stretch(f, 0, 0, r, H, xs, 0, r - xs, H);
     }},
    {L"从下边展开",  // 18
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, H - Y, W, Y, 0, 0, W, H);
     }},
    {L"从上边展开",  // 19
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, 0, W, Y, 0, 0, W, H);
     }},
    {L"从下边拖出",  // 20
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Copy(f, 0, H - Y, W, H, 0, 0);
     }},
    {L"从上边拖出",  // 21
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Copy(f, 0, Y - H, W, H, 0, 0);
     }},
    {L"从上边展示",  // 22
     [](const TStyleFrame& f) {
       const int W = f.W, Y = f.Y;
       Reveal(f, 0, 0, W, Y);
     }},
    {L"从下边展示",  // 23
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Reveal(f, 0, H - Y, W, Y);
     }},
    {L"从下边挤压",  // 24
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, 0, W, 2 * H - Y, 0, 0, W, Y);
     }},
    {L"从上边挤压",  // 25
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, Y - H, W, 2 * H - Y, 0, H - Y, W, Y);
     }},
    {L"水平方向向中间挤压",  // 26
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, Y - H, W, 3 * H - 2 * Y, 0, (H - Y) / 2, W, Y);
     }},
    {L"水平方向从中间展开",  // 27
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, (H - Y) / 2, W, Y, 0, 0, W, H);
     }},
    {L"水平方向从中间展示",  // 28
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Reveal(f, 0, (H - Y) / 2, W, Y);
     }},
    {L"从上边和下边展开",  // 29
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Reveal(f, 0, 0, W, Y / 2);
       Reveal(f, 0, H - Y / 2, W, Y / 2);
     }},
    {L"从上边和下边挤压",  // 30
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Stretch(f, 0, 0, W, Y / 2, 0, 0, W, H / 2);
       Stretch(f, 0, H - Y / 2, W, Y / 2, 0, H / 2, W, H / 2);
     }},
    {L"从上边卷轴",  // 31
     [](const TStyleFrame& f) { RollVertical(f, true); }},
    {L"从下边卷轴",  // 32
     [](const TStyleFrame& f) { RollVertical(f, false); }},
    {L"从下边展开",  // 33
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       Copy(f, 0, 0, W, Y, 0, 0);
       Stretch(f, 0, Y, W, H - Y, 0, Y, W, std::min(H - Y, H / 10));
     }},
    {L"从上边展开",  // 34
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       const int r = H - Y;
       const int ys = std::max(r - H / 10, 0);
       Copy(f, 0, r, W, Y, 0, r);
       Stretch(f, 0, 0, W, r, 0, ys, W, r - ys);
     }},
    {L"从右下角展开",  // 35
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, W - X, H - Y, X, Y, 0, 0, W, H);
     }},
    {L"从右上角展开",  // 36
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, W - X, 0, X, Y, 0, 0, W, H);
     }},
    {L"从左上角展开",  // 37
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, 0, 0, X, Y, 0, 0, W, H);
     }},
    {L"从左下角展开",  // 38
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, 0, H - Y, X, Y, 0, 0, W, H);
     }},
    {L"从右下角翻开",  // 39
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Copy(f, W - X, H - Y, W, H, 0, 0);
     }},
    {L"从右上角翻开",  // 40
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Copy(f, W - X, Y - H, W, H, 0, 0);
     }},
    {L"从左上角翻开",  // 41
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Copy(f, X - W, Y - H, W, H, 0, 0);
     }},
    {L"从左下角翻开",  // 42
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Copy(f, X - W, H - Y, W, H, 0, 0);
     }},
    {L"从左上角展示",  // 43
     [](const TStyleFrame& f) {
       const int X = f.X, Y = f.Y;
       Reveal(f, 0, 0, X, Y);
     }},
    {L"从左下角展示",  // 44
     [](const TStyleFrame& f) {
       const int H = f.H, X = f.X, Y = f.Y;
       Reveal(f, 0, H - Y, X, Y);
     }},
    {L"从右下角展示",  // 45
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Reveal(f, W - X, H - Y, X, Y);
     }},
    {L"从右上角展示",  // 46
     [](const TStyleFrame& f) {
       const int W = f.W, X = f.X, Y = f.Y;
       Reveal(f, W - X, 0, X, Y);
     }},
    {L"向左上角拉镜头",  // 47
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, 0, 0, 2 * W - X, 2 * H - Y, 0, 0, X, Y);
     }},
    {L"向左下角拉镜头",  // 48
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, 0, Y - H, 2 * W - X, 2 * H - Y, 0, H - Y, X, Y);
     }},
    {L"向右下角拉镜头",  // 49
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, X - W, Y - H, 2 * W - X, 2 * H - Y, W - X, H - Y, X, Y);
     }},
    {L"向右上角拉镜头",  // 50
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, X - W, 0, 2 * W - X, 2 * H - Y, W - X, 0, X, Y);
     }},
    {L"向中间拉镜头",  // 51
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, X - W, Y - H, 3 * W - 2 * X, 3 * H - 2 * Y, (W - X) / 2, (H - Y) / 2, X, Y);
     }},
    {L"从中心扩大",  // 52
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Stretch(f, (W - X) / 2, (H - Y) / 2, X, Y, 0, 0, W, H);
     }},
    {L"从中心展示",  // 53
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       Reveal(f, (W - X) / 2, (H - Y) / 2, X, Y);
     }},
    {L"展示到中心",  // 54
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealOutside(f, X / 2, Y / 2, W - X / 2, H - Y / 2);
     }},
    {L"四分之一展示到中心",  // 55
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int x2 = X / 2, y2 = Y / 2;
       Reveal(f, 0, 0, x2, y2);
       Reveal(f, 0, H - y2, x2, y2);
       Reveal(f, W - x2, H - y2, x2, y2);
       Reveal(f, W - x2, 0, x2, y2);
     }},
    {L"四分之一展开到中心",  // 56
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int x2 = X / 2, y2 = Y / 2, w2 = W / 2, h2 = H / 2;
       Stretch(f, 0, 0, x2, y2, 0, 0, w2, h2);
       Stretch(f, 0, H - y2, x2, y2, 0, h2, w2, h2);
       Stretch(f, W - x2, H - y2, x2, y2, w2, h2, w2, h2);
       Stretch(f, W - x2, 0, x2, y2, w2, 0, w2, h2);
     }},
    {L"四分之一翻开到中心",  // 57
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int x2 = X / 2, y2 = Y / 2, w2 = W / 2, h2 = H / 2;
       Copy(f, x2 - w2, 0, w2, h2, 0, 0);
       Copy(f, w2, y2 - h2, w2, h2, w2, 0);
       Copy(f, W - x2, h2, w2, h2, w2, h2);
       Copy(f, 0, H - y2, w2, h2, 0, h2);
     }},
    {L"从左边曲线展示",  // 58
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, RoundRectRgn(-2 * W, 0, 2 * X, H + 1, 2 * W, 2 * W));
     }},
    {L"从右边曲线展示",  // 59
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, RoundRectRgn(W - 2 * X, 0, 3 * W, H + 1, 2 * W, 2 * W));
     }},
    {L"从右边百叶窗",  // 60
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, BlindsRegion(2 * X, 0, W, H, 1, 0));
     }},
    {L"从左边百叶窗",  // 61
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, BlindsRegion(2 * X, 0, W, H, 2, 0));
     }},
    {L"左边然后右边百叶窗",  // 62
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, BlindsRegion(2 * X, 0, W, H, 4, 0));
     }},
    {L"右边然后左边百叶窗",  // 63
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, BlindsRegion(2 * X, 0, W, H, 5, 0));
     }},
    {L"双向百叶窗",  // 64
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, BlindsRegion(X, 0, W, H, 3, 0));
     }},
    {L"从右边不均匀变化",  // 65
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, RandomBarsRegion(f.Random, X, 0, W, H, 1, 0));
     }},
    {L"从左边不均匀变化",  // 66
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, RandomBarsRegion(f.Random, X, 0, W, H, 2, 0));
     }},
    {L"水平从中间不均匀变化",  // 67
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, RandomBarsRegion(f.Random, X, 0, W, H, 3, 0));
     }},
    {L"水平不均与变化到中间",  // 68
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, RandomBarsRegion(f.Random, X, 0, W, H, 4, 0));
     }},
    {L"从上边曲线展开",  // 69
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, RoundRectRgn(0, -2 * H, W + 1, 2 * Y, 2 * H, 2 * H));
     }},
    {L"从下边曲线展开",  // 70
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, RoundRectRgn(0, H - 2 * Y, W + 1, 3 * H, 2 * H, 2 * H));
     }},
    {L"从下边百叶窗",  // 71
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, BlindsRegion(0, 2 * Y, W, H, 0, 1));
     }},
    {L"从上边百叶窗",  // 72
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, BlindsRegion(0, 2 * Y, W, H, 0, 2));
     }},
    {L"从上边然后下边百叶窗",  // 73
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, BlindsRegion(0, 2 * Y, W, H, 0, 4));
     }},
    {L"从下边然后上边百叶窗",  // 74
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, BlindsRegion(0, 2 * Y, W, H, 0, 5));
     }},
    {L"从上边下边百叶窗",  // 75
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, BlindsRegion(0, Y, W, H, 0, 3));
     }},
    {L"从下边不规则变化",  // 76
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, 0, Y, W, H, 0, 1));
     }},
    {L"从上边不规则变化",  // 77
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, 0, Y, W, H, 0, 2));
     }},
    {L"从水平中心线不规则变化",  // 78
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, 0, Y, W, H, 0, 3));
     }},
    {L"不规则变化到水平中心线",  // 79
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, 0, Y, W, H, 0, 4));
     }},
    {L"从左上角曲线展开",  // 80
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RoundRectRgn(-W, -H, 3 * X / 2, 3 * Y / 2, 2 * W, 2 * H));
     }},
    {L"从右上角曲线展开",  // 81
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RoundRectRgn(W - 3 * X / 2, -H, 2 * W, 3 * Y / 2, 2 * W, 2 * H));
     }},
    {L"从左下角曲线展开",  // 82
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RoundRectRgn(-W, H - 3 * Y / 2, 3 * X / 2, 2 * H, 2 * W, 2 * H));
     }},
    {L"从右下角曲线展开",  // 83
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RoundRectRgn(W - 3 * X / 2, H - 3 * Y / 2, 2 * W, 2 * H, 2 * W, 2 * H));
     }},
    {L"从中间椭圆展开",  // 84
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2;
       RevealThrough(f, RoundRectRgn(cx - X, cy - Y, cx + X, cy + Y, 9 * X / 5, 9 * Y / 5));
     }},
    {L"椭圆挤压到中间",  // 85
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2;
       RevealThrough(
           f, Combine(RectRgn(0, 0, W, H),
                      RoundRectRgn(X - cx, Y - cy, 3 * cx - X, 3 * cy - Y, 9 * (W - X) / 5, 9 * (H - Y) / 5), RGN_XOR));
     }},
    {L"从右下角网格翻开",  // 86
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 1, 1));
     }},
    {L"从右上角网格翻开",  // 87
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 1, 2));
     }},
    {L"从左下角网格翻开",  // 88
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 2, 1));
     }},
    {L"从左上角网格翻开",  // 89
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 2, 2));
     }},
    {L"从左上角网格反弹翻开",  // 90
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 4, 4));
     }},
    {L"从左下角网格反弹翻开",  // 91
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 4, 5));
     }},
    {L"从右上角网格反弹翻开",  // 92
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 5, 4));
     }},
    {L"从右下角网格反弹翻开",  // 93
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(2 * X, 2 * Y, W, H, 5, 5));
     }},
    {L"从右，从中间向上边和下边网格翻开",  // 94
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(X, Y, W, H, 1, 3));
     }},
    {L"从左，从中间向上边和下边网格翻开",  // 95
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(X, Y, W, H, 2, 3));
     }},
    {L"从下边，从中间向左右网格翻开",  // 96
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(X, Y, W, H, 3, 1));
     }},
    {L"从上边，从中间向左右网格翻开",  // 97
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(X, Y, W, H, 3, 2));
     }},
    {L"从中间向左右上下网格翻开",  // 98
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, BlindsRegion(X, Y, W, H, 3, 3));
     }},
    {L"从左下到右上网格翻开",  // 99
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f,
                     Combine(BlindsRegion(2 * X, 2 * Y, W, H, 1, 1), BlindsRegion(2 * X, 2 * Y, W, H, 2, 2), RGN_AND));
     }},
    {L"从下和右不规则变化",  // 100
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 1, 1));
     }},
    {L"从上和右不规则变化",  // 101
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 1, 2));
     }},
    {L"从下和左不规则变化",  // 102
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 2, 1));
     }},
    {L"从上和左不规则变化",  // 103
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 2, 2));
     }},
    {L"从水平中心线和右边不规则变化",  // 104
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 1, 3));
     }},
    {L"从水平中心线和左边不规则变化",  // 105
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 2, 3));
     }},
    {L"从垂直中心线和下边不规则变化",  // 106
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 3, 1));
     }},
    {L"从垂直中心线和上边不规则变化",  // 107
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 3, 2));
     }},
    {L"从中心不规则变化",  // 108
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 3, 3));
     }},
    {L"不规则变化到中心",  // 109
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, RandomBarsRegion(f.Random, X, Y, W, H, 4, 4));
     }},
    {L"从左上对角线展开",  // 110
     [](const TStyleFrame& f) {
       const int X = f.X, Y = f.Y;
       RevealThrough(f, PolygonRegion({0, 0, 2 * X, 0, 0, 2 * Y}));
     }},
    {L"从右上对角线展开",  // 111
     [](const TStyleFrame& f) {
       const int W = f.W, X = f.X, Y = f.Y;
       RevealThrough(f, PolygonRegion({W, 0, W - 2 * X, 0, W, 2 * Y}));
     }},
    {L"从左下对角线展开",  // 112
     [](const TStyleFrame& f) {
       const int H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, PolygonRegion({0, H, 2 * X, H, 0, H - 2 * Y}));
     }},
    {L"从右下对角线展开",  // 113
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, PolygonRegion({W, H, W - 2 * X, H, W, H - 2 * Y}));
     }},
    {L"左上角到右下角对角线逆时针转动擦除",  // 114
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       RevealThrough(f, Combine(PolygonRegion({0, H, 0, 0, X, H}), PolygonRegion({W, H, W, 0, W - X, 0}), RGN_OR));
     }},
    {L"左上角到右下角对角线顺时针转动擦除",  // 115
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       RevealThrough(f, Combine(PolygonRegion({W, 0, 0, 0, W, Y}), PolygonRegion({W, H, 0, H, 0, H - Y}), RGN_OR));
     }},
    {L"从中心顺时针星光",  // 116
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2;
       TRgnOwner r = PolygonRegion({cx, cy, 0, 0, X, 0});
       r = Combine(std::move(r), PolygonRegion({cx, cy, 0, H, 0, H - Y}), RGN_OR);
       r = Combine(std::move(r), PolygonRegion({cx, cy, W, H, W - X, H}), RGN_OR);
       r = Combine(std::move(r), PolygonRegion({cx, cy, W, 0, W, Y}), RGN_OR);
       RevealThrough(f, std::move(r));
     }},
    {L"从中心逆时针星光",  // 117
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2;
       TRgnOwner r = PolygonRegion({cx, cy, 0, 0, 0, Y});
       r = Combine(std::move(r), PolygonRegion({cx, cy, 0, H, X, H}), RGN_OR);
       r = Combine(std::move(r), PolygonRegion({cx, cy, W, H, W, H - Y}), RGN_OR);
       r = Combine(std::move(r), PolygonRegion({cx, cy, W, 0, W - X, 0}), RGN_OR);
       RevealThrough(f, std::move(r));
     }},
    {L"三角形变化",  // 118
     [](const TStyleFrame& f) { TriangleGrid(f); }},
    {L"褪色",  // 119
     [](const TStyleFrame& f) { Fade(f); }},
    {L"从左上翻动",  // 120
     [](const TStyleFrame& f) { PageTurn(f.Screen, f.Picture, -1, -1, (100 - f.Progress) * kPi / 200); }},
    {L"从左下翻动",  // 121
     [](const TStyleFrame& f) {
       const int H = f.H;
       PageTurn(f.Screen, f.Picture, -1, H, (f.Progress - 100) * kPi / 200);
     }},
    {L"从右上翻动",  // 122
     [](const TStyleFrame& f) {
       const int W = f.W;
       PageTurn(f.Screen, f.Picture, W, -1, (f.Progress - 100) * kPi / 200);
     }},
    {L"从右下翻动",  // 123
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H;
       PageTurn(f.Screen, f.Picture, W, H, (100 - f.Progress) * kPi / 200);
     }},
    {L"从右边斑点变化",  // 124
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, SpotsRegion(f.Random, X, Y, W, H, 1, 0));
     }},
    {L"从左边斑点变化",  // 125
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, SpotsRegion(f.Random, X, Y, W, H, 2, 0));
     }},
    {L"从下边斑点变化",  // 126
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, SpotsRegion(f.Random, X, Y, W, H, 0, 1));
     }},
    {L"从上边斑点变化",  // 127
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       RevealThrough(f, SpotsRegion(f.Random, X, Y, W, H, 0, 2));
     }},
    {L"随机杂点变化",  // 128
     [](const TStyleFrame& f) { RandomCells(f); }},
    {L"向右滑动",  // 129
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       CopyFromScreen(f, X, 0, W - X, H, 0, 0);
       Copy(f, 0, 0, X, H, W - X, 0);
     }},
    {L"向左华东",  // 130
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       CopyFromScreen(f, 0, 0, W - X, H, X, 0);
       Copy(f, W - X, 0, X, H, 0, 0);
     }},
    {L"向右推压",  // 131
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       StretchScreen(f, X, 0, W - X, H);
       Copy(f, 0, 0, X, H, W - X, 0);
     }},
    {L"向左推压",  // 132
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       StretchScreen(f, 0, 0, W - X, H);
       Copy(f, W - X, 0, X, H, 0, 0);
     }},
    {L"向下滑动",  // 133
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       CopyFromScreen(f, 0, Y, W, H - Y, 0, 0);
       Copy(f, 0, 0, W, Y, 0, H - Y);
     }},
    {L"向上滑动",  // 134
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       CopyFromScreen(f, 0, 0, W, H - Y, 0, Y);
       Copy(f, 0, H - Y, W, Y, 0, 0);
     }},
    {L"向下推压",  // 135
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       StretchScreen(f, 0, Y, W, H - Y);
       Copy(f, 0, 0, W, Y, 0, H - Y);
     }},
    {L"向上推压",  // 136
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       StretchScreen(f, 0, 0, W, H - Y);
       Copy(f, 0, H - Y, W, Y, 0, 0);
     }},
    {L"垂直百叶窗",  // 137
     [](const TStyleFrame& f) { Slats(f, true); }},
    {L"水平百叶窗",  // 138
     [](const TStyleFrame& f) { Slats(f, false); }},
    {L"从左边不规则百叶窗",  // 139
     [](const TStyleFrame& f) { SpreadSlats(f, true, false); }},
    {L"从右边不规则百叶窗",  // 140
     [](const TStyleFrame& f) { SpreadSlats(f, true, true); }},
    {L"从上边不规则百叶窗",  // 141
     [](const TStyleFrame& f) { SpreadSlats(f, false, false); }},
    {L"从下边不规则百叶窗",  // 142
     [](const TStyleFrame& f) { SpreadSlats(f, false, true); }},
    {L"矩形变化",  // 143
     [](const TStyleFrame& f) { Squares(f); }},
    {L"顺时针擦除",  // 144
     [](const TStyleFrame& f) { SectorWipe(f, true); }},
    {L"逆时针擦除",  // 145
     [](const TStyleFrame& f) { SectorWipe(f, false); }},
    {L"从左到右矩形变化",  // 146
     [](const TStyleFrame& f) { CrossSlats(f, true, false); }},
    {L"从右到左矩形变化",  // 147
     [](const TStyleFrame& f) { CrossSlats(f, true, true); }},
    {L"从上到下矩形变化",  // 148
     [](const TStyleFrame& f) { CrossSlats(f, false, false); }},
    {L"从下到上矩形变化",  // 149
     [](const TStyleFrame& f) { CrossSlats(f, false, true); }},
    {L"中心旋转矩形",  // 150
     [](const TStyleFrame& f) { RotatingShape(f, 150); }},
    {L"中心旋转星形",  // 151
     [](const TStyleFrame& f) { RotatingShape(f, 151); }},
    {L"螺旋矩形",  // 152
     [](const TStyleFrame& f) { RotatingShape(f, 152); }},
    {L"圆形变化",  // 153
     [](const TStyleFrame& f) { Circles(f); }},
    {L"从左边V形变化",  // 154
     [](const TStyleFrame& f) {
       const int H = f.H, X = f.X, Y = f.Y;
       const int cy = H / 2;
       RevealThrough(f, PolygonRegion({0, cy - Y, 2 * X, cy, 0, cy + Y}));
     }},
    {L"从右边V形变化",  // 155
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cy = H / 2;
       RevealThrough(f, PolygonRegion({W, cy - Y, W - 2 * X, cy, W, cy + Y}));
     }},
    {L"从上边V形变化",  // 156
     [](const TStyleFrame& f) {
       const int W = f.W, X = f.X, Y = f.Y;
       const int cx = W / 2;
       RevealThrough(f, PolygonRegion({cx - X, 0, cx, 2 * Y, cx + X, 0}));
     }},
    {L"从下边V形变化",  // 157
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2;
       RevealThrough(f, PolygonRegion({cx - X, H, cx, H - 2 * Y, cx + X, H}));
     }},
    {L"水平领带结变化",  // 158
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cy = H / 2;
       RevealThrough(f, Combine(PolygonRegion({0, cy - Y, X, cy, 0, cy + Y}),
                                PolygonRegion({W, cy - Y, W - X, cy, W, cy + Y}), RGN_OR));
     }},
    {L"垂直领带结变化",  // 159
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2;
       RevealThrough(f, Combine(PolygonRegion({cx - X, 0, cx, 2 * Y, cx + X, 0}),
                                PolygonRegion({cx - X, H, cx, H - 2 * Y, cx + X, H}), RGN_OR));
     }},
    {L"对角线交叉缩进",  // 160
     [](const TStyleFrame& f) {
       const int X = f.X, Y = f.Y;
       CornerTriangles(f, X / 2, Y / 2, false);
     }},
    {L"对角线交叉展开",  // 161
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       CornerTriangles(f, (W - X) / 2, (H - Y) / 2, true);
     }},
    {L"水平蜿蜒变化",  // 162
     [](const TStyleFrame& f) { Meander(f, false); }},
    {L"垂直蜿蜒变化",  // 163
     [](const TStyleFrame& f) { Meander(f, true); }},
    {L"菱形变化",  // 164
     [](const TStyleFrame& f) { DiamondGrid(f); }},
    {L"从中心菱形展开",  // 165
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2;
       RevealThrough(f, PolygonRegion({cx - X, cy, cx, cy - Y, cx + X, cy, cx, cy + Y}));
     }},
    {L"菱形收缩到中心",  // 166
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2;
       RevealThrough(f, Combine(RectRgn(0, 0, W, H),
                                PolygonRegion({X - cx, cy, cx, Y - cy, 3 * cx - X, cy, cx, 3 * cy - Y}), RGN_XOR));
     }},
    {L"双菱形展开",  // 167
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X, Y = f.Y;
       const int cx = W / 2, cy = H / 2, x2 = X / 2, y2 = Y / 2;
       RevealThrough(f, Combine(PolygonRegion({-x2, cy, cx, -y2, 2 * cx + x2, cy, cx, 2 * cy + y2}),
                                PolygonRegion({x2, cy, cx, y2, 2 * cx - x2, cy, cx, 2 * cy - y2}), RGN_XOR));
     }},
    {L"拉伸镜头",  // 168
     [](const TStyleFrame& f) { ZoomLens(f); }},
    {L"杂点变化",  // 169
     [](const TStyleFrame& f) { Noise(f); }},
    {L"水平随机百叶窗",  // 170
     [](const TStyleFrame& f) { RandomRows(f); }},
    {L"垂直随机百叶窗",  // 171
     [](const TStyleFrame& f) { RandomColumns(f); }},
    {L"色度变化",  // 172
     [](const TStyleFrame& f) { ChromaChange(f); }},
    {L"从右边滑动",  // 173
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       CopyFromScreen(f, X, 0, W - X, H, 0, 0);
       Copy(f, 0, 0, X, H, 0, 0);
     }},
    {L"从左边滑动",  // 174
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, X = f.X;
       CopyFromScreen(f, 0, 0, W - X, H, X, 0);
       Copy(f, W - X, 0, X, H, W - X, 0);
     }},
    {L"从下边滑动",  // 175
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       CopyFromScreen(f, 0, Y, W, H - Y, 0, 0);
       Copy(f, 0, 0, W, Y, 0, 0);
     }},
    {L"从上边滑动",  // 176
     [](const TStyleFrame& f) {
       const int W = f.W, H = f.H, Y = f.Y;
       CopyFromScreen(f, 0, 0, W, H - Y, 0, Y);
       Copy(f, 0, H - Y, W, Y, 0, H - Y);
     }},
};

void ProgressExtents(int W, int H, int progress, int& X, int& Y) {
  if (W >= H) {
    X = ::MulDiv(W, progress, 100);
    Y = W > 0 ? ::MulDiv(X, H, W) : 0;
  } else {
    Y = ::MulDiv(H, progress, 100);
    X = H > 0 ? ::MulDiv(Y, W, H) : 0;
  }
}

void DrawStyle(int style, TBitmap* screen, TBitmap* picture, int progress, TRandomGenerator& random) {
  if (style < 1 || style > kStyleCount) throw EInvalidOperation(Format(L"No transition style %d", style));
  TStyleFrame f{screen, picture, screen->Width(), screen->Height(), 0, 0, progress, random};
  ProgressExtents(f.W, f.H, progress, f.X, f.Y);
  ::SetStretchBltMode(f.ScreenDC(), COLORONCOLOR);
  TransitionTable[style - 1].Proc(f);
}

}  // namespace kivo
