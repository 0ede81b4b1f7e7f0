// The skinners of glyph buttons, menu buttons, speed buttons, check items of other component sets,
// button tabs, tab sets, page controls taking tab pictures, date-time pickers, status bars and
// media players, on real windows under Xvfb with the test skin, read back from the pixels; the
// dispatch choosing each of them; a skinned form holding them leaving nothing behind.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>

#include "Forms.h"
#include "SkinDispatch.h"
#include "SkinManager.h"
#include "SkinMessages.h"
#include "SkinPaint.h"
#include "SkinDraw.h"
#include "SkinTestControls.h"
#include "SkinnedForm.h"
#include "SkinnerTestUtil.h"
#include "Skinners.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TBitBtn)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPngBitBtn)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TPngSpeedbutton)
KIVO_IMPLEMENT_CLASS(TRzMenuButton)
KIVO_IMPLEMENT_CLASS(TDateTimePicker)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TAdvPageControl)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TTabSet)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TMediaPlayer)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TRzCheckBox)
KIVO_IMPLEMENT_CLASS(TRzRadioButton)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TcxCheckBoxProperties)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TcxCheckBox)

namespace {

using namespace kivo::test;

constexpr COLORREF kGlyphKey = RGB(0, 128, 128);
// The inner colour of cell k (from 1) of the test glyph strips.
COLORREF GlyphCellColor(int k) { return RGB(30 * k, 200, 60 + 20 * k); }

// A strip of `cells` glyphs of 16 x 16: a 3-pixel key-coloured border round a solid square.
void MakeGlyphStrip(TBitmap* b, int cells) {
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetSize(16 * cells, 16);
  HDC dc = b->Canvas()->Handle();
  for (int k = 1; k <= cells; ++k) {
    FillColor(dc, RECT{(k - 1) * 16, 0, k * 16, 16}, static_cast<TColor>(kGlyphKey));
    FillColor(dc, RECT{(k - 1) * 16 + 3, 3, k * 16 - 3, 13}, static_cast<TColor>(GlyphCellColor(k)));
  }
  ::GdiFlush();
}

COLORREF Rgb(TColor c) { return ColorToRGB(c); }

// Pixels other than the background in a rectangle.
int Inked(const TWindowShot& shot, const RECT& r, COLORREF background) {
  return (r.right - r.left) * (r.bottom - r.top) - shot.Count(r, background);
}

// Rows holding anything but the background, counted as separate bands (text lines).
int Bands(const TWindowShot& shot, const RECT& r, COLORREF background) {
  int bands = 0;
  bool inBand = false;
  for (int y = r.top; y < r.bottom; ++y) {
    const bool has = Inked(shot, RECT{r.left, y, r.right, y + 1}, background) > 0;
    if (has && !inBand) ++bands;
    inBand = has;
  }
  return bands;
}

class ControlSkinnersTest : public TSkinnerFormTest {
 protected:
  ControlSkinnersTest() : TSkinnerFormTest(L"control skinners", 560, 440) {}
  template <class S>
  S* Skin(TControl* c, const std::function<void(S*)>& before = nullptr) {
    S* s = new S(c);
    if (before) before(s);
    s->AttachControl(&host, skin, false, &host.canvas);
    Settle(form->Handle());
    return s;
  }
  TWindowShot Shot(TWinControl* c) {
    Settle(c->Handle());
    return TWindowShot(c->Handle());
  }
  // A pixel of the form's client area.
  COLORREF FormPixel(int x, int y) {
    Settle(form->Handle());
    RECT wr;
    ::GetWindowRect(form->Handle(), &wr);
    POINT o{0, 0};
    ::ClientToScreen(form->Handle(), &o);
    return TWindowShot(form->Handle()).At(o.x - wr.left + x, o.y - wr.top + y);
  }
  COLORREF ButtonFrame(int frame) const { return SkinColor(testskin::pButtons, frame); }
  COLORREF Face() const { return Rgb(skin->Color(scButtonFace)); }

};

// ---- layout ----------------------------------------------------------------------------------------

TEST(ButtonLayoutTest, PlacesGlyphAndTextByLayoutMarginAndSpacing) {
  struct TCase {
    const char* name;
    SIZE client, glyph, text;
    int layout, margin, spacing;
    bool autoMargin, speed;
    POINT glyphAt;
    int textAt;  // x for layouts 0 and 1, y for 2 and 3
    UINT flags;
  };
  const TCase cases[] = {
      {"bit button, automatic margin", {75, 25}, {16, 16}, {30, 13}, 0, -1, 4, true, false, {12, 5}, 32, DT_WORDBREAK},
      {"speed button, one further", {75, 25}, {16, 16}, {30, 13}, 0, -1, 4, true, true, {13, 5}, 33, DT_WORDBREAK},
      {"a given margin centred by the alignment", {75, 25}, {16, 16}, {30, 13}, 0, 2, 4, true, false, {12, 5}, 32,
       DT_WORDBREAK},
      {"a given margin", {75, 25}, {16, 16}, {30, 13}, 0, 2, 4, false, false, {2, 5}, 22, DT_WORDBREAK},
      {"automatic margin and spacing", {75, 25}, {16, 16}, {30, 13}, 0, -1, -1, true, false, {9, 5}, 34, DT_WORDBREAK},
      {"automatic spacing", {75, 25}, {16, 16}, {30, 13}, 0, 5, -1, false, false, {5, 5}, 33, DT_WORDBREAK},
      {"glyph right", {75, 25}, {16, 16}, {30, 13}, 1, -1, 4, true, false, {47, 5}, 13, DT_WORDBREAK | DT_RIGHT},
      {"glyph top", {60, 60}, {16, 16}, {30, 13}, 2, -1, 4, true, false, {22, 13}, 33, DT_WORDBREAK | DT_CENTER},
      {"glyph bottom", {60, 60}, {16, 16}, {30, 13}, 3, -1, 4, true, false, {22, 31}, 14, DT_WORDBREAK | DT_CENTER},
      {"no text: no spacing", {75, 25}, {16, 16}, {0, 0}, 0, -1, 4, true, false, {29, 5}, 45, DT_WORDBREAK},
      {"no text, speed button", {75, 25}, {16, 16}, {0, 0}, 0, -1, 4, true, true, {30, 5}, 46, DT_WORDBREAK},
  };
  for (const TCase& c : cases) {
    const TButtonPlacement p =
        ButtonLayout(c.client, c.glyph, c.text, c.layout, c.margin, c.spacing, c.autoMargin, c.speed);
    EXPECT_EQ(p.Glyph.x, c.glyphAt.x) << c.name;
    EXPECT_EQ(p.Glyph.y, c.glyphAt.y) << c.name;
    EXPECT_EQ(c.layout <= 1 ? p.Text.left : p.Text.top, c.textAt) << c.name;
    EXPECT_EQ(p.Text.right - p.Text.left, c.text.cx) << c.name;
    EXPECT_EQ(p.Text.bottom - p.Text.top, c.text.cy) << c.name;
    EXPECT_EQ(p.Flags, c.flags) << c.name;
  }
}

TEST(ButtonLayoutTest, ReplaceFirstAndLayoutNames) {
  EXPECT_EQ(ReplaceFirst(L"One||Two||Three", L"||", L"\r\n"), L"One\r\nTwo||Three");
  EXPECT_EQ(ReplaceFirst(L"||", L"||", L"\r\n"), L"\r\n");
  EXPECT_EQ(ReplaceFirst(L"plain", L"||", L"\r\n"), L"plain");
  EXPECT_EQ(ReplaceFirst(L"a|b", L"", L"x"), L"a|b");
  EXPECT_EQ(LayoutOfName(L"blGlyphLeft"), 0);
  EXPECT_EQ(LayoutOfName(L"BLGLYPHRIGHT"), 1);
  EXPECT_EQ(LayoutOfName(L"blGlyphTop"), 2);
  EXPECT_EQ(LayoutOfName(L"blGlyphBottom"), 3);
  EXPECT_EQ(LayoutOfName(L"blSomethingElse"), 0);
}

TEST(ButtonLayoutTest, DisabledGlyphIsEmbossedOnButtonFace) {
  TBitmap glyph;
  MakeGlyphStrip(&glyph, 1);
  TObjectPtr<TBitmap> d = MakeDisabledGlyph(&glyph);
  ASSERT_EQ(d->Width(), 16);
  ASSERT_EQ(d->Height(), 16);
  HDC dc = d->Canvas()->Handle();
  EXPECT_EQ(::GetPixel(dc, 0, 15), Rgb(clBtnFace));       // see-through stays face
  EXPECT_EQ(::GetPixel(dc, 8, 8), Rgb(clBtnShadow));      // the glyph in shadow
  EXPECT_EQ(::GetPixel(dc, 13, 13), Rgb(clBtnHighlight)); // its highlight one pixel lower right
  EXPECT_EQ(::GetPixel(dc, 2, 2), Rgb(clBtnFace));
}

// ---- buttons ---------------------------------------------------------------------------------------

TEST_F(ControlSkinnersTest, BitButtonShowsTheGlyphCellOfItsStateAtTheLayoutPlace) {
  auto* button = Place<TBitBtn>(10, 10, 75, 25);
  MakeGlyphStrip(button->Glyph(), 3);
  button->SetNumGlyphs(3);
  auto* s = Skin<TSkinBitButton>(button);
  HWND h = button->Handle();
  // no caption: the glyph centred, at (75 - 16) div 2 = 29, y (25 - 16 + 1) div 2 = 5
  struct TCase {
    const char* name;
    std::function<void()> make;
    int frame, cell;
  };
  const TCase cases[] = {
      {"normal", [] {}, 1, 1},
      {"pressed", [&] { ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); }, 2, 3},
      {"focused and pressed", [&] { button->SetFocus(); }, 2, 3},
      {"released, focused", [&] {
         ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         ::SendMessageW(h, WM_MOUSELEAVE, 0, 0);
       }, 5, 1},
  };
  for (const TCase& c : cases) {
    c.make();
    const TWindowShot shot = Shot(button);
    EXPECT_EQ(shot.At(1, 1), ButtonFrame(c.frame)) << c.name;
    EXPECT_EQ(shot.At(29 + 8, 5 + 8), GlyphCellColor(c.cell)) << c.name;
    EXPECT_EQ(shot.At(29 + 1, 5 + 8), ButtonFrame(c.frame)) << c.name << ": the key colour is see-through";
    EXPECT_EQ(shot.At(29 + 2 + 16, 5 + 8), ButtonFrame(c.frame)) << c.name;
  }
  other->SetFocus();
  button->SetEnabled(false);
  const TWindowShot disabled = Shot(button);
  EXPECT_EQ(disabled.At(1, 1), ButtonFrame(3));
  EXPECT_EQ(disabled.At(29 + 8, 5 + 8), Rgb(clBtnShadow));  // the embossed first cell
  EXPECT_EQ(s->CurrentFrame(), 3);
}

TEST_F(ControlSkinnersTest, BitButtonCaptionBreaksAtTheFirstDoubleBarOnly) {
  auto* button = Place<TBitBtn>(10, 10, 160, 60);
  Skin<TSkinBitButton>(button);
  const RECT inside{4, 4, 156, 56};  // inside the frame's margins
  const COLORREF face = ButtonFrame(1);
  button->SetCaption(L"Ab");
  EXPECT_EQ(Bands(Shot(button), inside, face), 1);
  button->SetCaption(L"Ab||Cd");
  EXPECT_EQ(Bands(Shot(button), inside, face), 2);
  // the second pair stays on the second line as two bars
  button->SetCaption(L"Ab||Cd||Ef");
  const TWindowShot three = Shot(button);
  EXPECT_EQ(Bands(three, inside, face), 2);
  button->SetCaption(L"Ab||CdEf");
  const TWindowShot without = Shot(button);
  EXPECT_GT(Inked(three, inside, face), Inked(without, inside, face));
}

TEST_F(ControlSkinnersTest, PngBitButtonDrawsItsGraphicPropertyWhole) {
  auto* button = Place<TPngBitBtn>(10, 10, 75, 25);
  MakeGlyphStrip(button->PngImage(), 2);  // drawn whole: both cells side by side
  Skin<TSkinBitButton>(button, [](TSkinBitButton* s) { s->GraphicProperty = L"PngImage"; });
  const TWindowShot shot = Shot(button);
  // (75 - 32) div 2 = 21
  EXPECT_EQ(shot.At(21 + 8, 5 + 8), GlyphCellColor(1));
  EXPECT_EQ(shot.At(21 + 16 + 8, 5 + 8), GlyphCellColor(2));
}

TEST_F(ControlSkinnersTest, MenuButtonDrawsItsArrowTriangleAtTheRight) {
  auto* button = Place<TRzMenuButton>(10, 10, 90, 26);
  button->SetCaption(L"Menu");
  auto* s = Skin<TSkinMenuButton>(button);
  const int w = 90, h = 26;
  const COLORREF arrow = Rgb(clWindowText);
  TWindowShot shot = Shot(button);
  EXPECT_EQ(shot.At(1, 1), ButtonFrame(1));
  EXPECT_EQ(shot.At(w - 12, h / 2), arrow);
  EXPECT_EQ(shot.At(w - 14, h / 2 - 1), arrow);
  EXPECT_EQ(shot.At(w - 10, h / 2 - 1), arrow);
  EXPECT_NE(shot.At(w - 12, h / 2 + 4), arrow);
  EXPECT_NE(shot.At(w - 17, h / 2 - 1), arrow);
  // focused: frame 4, no frame 5
  button->SetFocus();
  EXPECT_EQ(Shot(button).At(1, 1), ButtonFrame(4));
  EXPECT_EQ(s->MenuFrame(), 4);
  other->SetFocus();
  button->SetEnabled(false);
  shot = Shot(button);
  EXPECT_EQ(shot.At(1, 1), ButtonFrame(3));
  EXPECT_EQ(shot.At(w - 12, h / 2), Rgb(clBtnShadow));
}

TEST_F(ControlSkinnersTest, SpeedButtonFlatDownAndHoverFramesAndCells) {
  auto* button = Place<TSpeedButton>(20, 200, 75, 25);
  MakeGlyphStrip(button->Glyph(), 4);
  button->SetNumGlyphs(4);
  button->SetFlat(true);
  button->SetGroupIndex(1);
  button->SetAllowAllUp(true);
  auto* s = Skin<TSkinSpeedButton>(button);
  EXPECT_EQ(host.list, std::vector<TSkinControl*>{s});
  EXPECT_EQ(s->Control, nullptr);
  EXPECT_EQ(s->RepaintTarget, button);
  EXPECT_EQ(button->Perform(kSkinMsgIsSkinned), 1);
  // the speed button's glyph sits one further: (75 - 16) div 2 + 1 = 30
  auto frameAt = [&] { return FormPixel(20 + 1, 200 + 1); };
  auto glyphAt = [&] { return FormPixel(20 + 30 + 8, 200 + 5 + 8); };
  EXPECT_EQ(frameAt(), Face()) << "a flat idle button shows no frame";
  EXPECT_EQ(glyphAt(), GlyphCellColor(1));
  button->Perform(CM_MOUSEENTER);
  EXPECT_EQ(frameAt(), ButtonFrame(4));
  button->Perform(CM_MOUSELEAVE);
  EXPECT_EQ(frameAt(), Face());
  button->SetDown(true);
  EXPECT_EQ(frameAt(), ButtonFrame(2));
  EXPECT_EQ(glyphAt(), GlyphCellColor(4));
  EXPECT_EQ(s->SpeedFrame(), 2);
  // two cells of 32: no fourth cell, so the first, at (75 - 32) div 2 + 1 = 22
  button->SetNumGlyphs(2);
  button->Invalidate();
  EXPECT_EQ(FormPixel(20 + 22 + 8, 200 + 5 + 8), GlyphCellColor(1));
  button->SetDown(false);
  button->SetFlat(false);
  EXPECT_EQ(frameAt(), ButtonFrame(1));
  button->SetEnabled(false);
  EXPECT_EQ(frameAt(), ButtonFrame(3));
  // freed: the button paints itself again
  s->Free();
  EXPECT_TRUE(host.list.empty());
  EXPECT_EQ(button->Perform(kSkinMsgIsSkinned), 0);
  button->SetEnabled(true);
  EXPECT_NE(frameAt(), ButtonFrame(1));
}

TEST_F(ControlSkinnersTest, SpeedButtonPressIsSeenByTheButtonAndClicks) {
  auto* button = Place<TSpeedButton>(20, 200, 75, 25);
  button->SetCaption(L"Go");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  Skin<TSkinSpeedButton>(button);
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(FormPixel(21, 201), ButtonFrame(2));
  button->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(FormPixel(21, 201), ButtonFrame(1));
}

// ---- check items of other component sets --------------------------------------------------------

TEST_F(ControlSkinnersTest, CheckItemsGetGlyphStripsBuiltFromTheSkin) {
  TBitmap* check = skin->Buttons->CheckBitmap.get();
  ASSERT_EQ(skin->Buttons->CheckButtonFrame, 4);
  const int w = check->Width() / 4;
  auto cellAt = [&](TBitmap* strip, int position) {
    return ::GetPixel(strip->Canvas()->Handle(), (position - 1) * w + w / 2, strip->Height() / 2);
  };
  struct TCase {
    int kind;
    int cells;
    std::vector<std::pair<int, int>> positions;  // (position, source cell)
  };
  const TCase cases[] = {
      {1, 9, {{1, 1}, {4, 1}, {2, 2}, {5, 2}, {7, 3}, {8, 4}}},
      {2, 6, {{1, 1}, {3, 1}, {2, 2}, {4, 2}, {5, 3}, {6, 4}}},
      {3, 6, {{1, 1}, {4, 1}, {2, 2}, {5, 2}}},
  };
  for (const TCase& c : cases) {
    TControl* control = c.kind == 1 ? static_cast<TControl*>(Place<TRzCheckBox>(10, 10, 100, 20))
                      : c.kind == 2 ? static_cast<TControl*>(Place<TRzRadioButton>(10, 40, 100, 20))
                                    : static_cast<TControl*>(Place<TcxCheckBox>(10, 70, 100, 20));
    auto* s = Skin<TSkinObjImage>(control, [&](TSkinObjImage* o) { o->Kind = static_cast<std::uint8_t>(c.kind); });
    TBitmap* strip = c.kind == 3 ? static_cast<TcxCheckBox*>(control)->Properties()->Glyph()
                                 : static_cast<TRzCheckBox*>(control)->CustomGlyphs();
    ASSERT_EQ(strip->Width(), c.cells * w) << c.kind;
    const int picture = c.kind == 2 ? testskin::pRadio : testskin::pCheck;
    for (const auto& [position, cell] : c.positions)
      EXPECT_EQ(cellAt(strip, position), SkinColor(picture, cell)) << c.kind << " at " << position;
    if (c.kind == 3) {
      EXPECT_EQ(strip->TransparentColor(), static_cast<TColor>(0xFF00FF));
      s->Restore();
      EXPECT_TRUE(strip->Empty());
    } else {
      auto* item = static_cast<TRzCheckBox*>(control);
      EXPECT_EQ(item->TransparentColor(), 16711935);
      EXPECT_TRUE(item->UseCustomGlyphs());
      EXPECT_EQ(item->useChanges, 2);  // off, then on
      s->Restore();
      EXPECT_FALSE(item->UseCustomGlyphs());
    }
  }
}

// ---- tabs ------------------------------------------------------------------------------------------

TEST_F(ControlSkinnersTest, TabSetSkipsATabThatDoesNotFitAndDrawsALaterShorterOne) {
  auto* tabs = Place<TTabSet>(10, 10, 240, 24);
  for (const wchar_t* t : {L"Alpha", L"This caption is much too long for the tab set", L"Be"}) tabs->Tabs()->Add(t);
  tabs->SetTabIndex(2);
  Skin<TSkinTab31>(tabs);
  TBitmap measure;
  measure.SetSize(1, 1);
  measure.Canvas()->Font()->Assign(tabs->Font());
  const int w0 = measure.Canvas()->TextWidth(L"Alpha") + 9, w2 = measure.Canvas()->TextWidth(L"Be") + 9;
  ASSERT_GT(measure.Canvas()->TextWidth(L"This caption is much too long for the tab set") + 9, 240 - 10 - w0);
  const TWindowShot shot = Shot(tabs);
  const COLORREF red = RGB(255, 0, 0);
  EXPECT_EQ(shot.Count(RECT{0, 0, 240, 24}, red), 0) << "the skin covers the tab set's own painting";
  EXPECT_EQ(shot.At(2, 2), Face());                             // the start margin
  EXPECT_EQ(shot.At(5 + 1, 1), SkinColor(testskin::pTabs, 1));  // the first tab
  EXPECT_EQ(shot.At(5 + w0 + 1, 1), SkinColor(testskin::pTabs, 2));  // the third, selected, right after
  EXPECT_EQ(shot.At(5 + w0 + w2 - 2, 1), SkinColor(testskin::pTabs, 2));
  EXPECT_EQ(shot.At(5 + w0 + w2 + 2, 1), Face());  // nothing after it
}

TEST_F(ControlSkinnersTest, ButtonTabsAreDrawnFromTheButtonFrames) {
  auto* pages = Place<TPageControl>(10, 10, 300, 160);
  pages->SetStyle(TTabStyle::tsButtons);
  for (const wchar_t* name : {L"One", L"Two"}) {
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(name);
    sheet->SetPageControl(pages);
  }
  pages->SetActivePageIndex(1);
  Skin<TSkinTabBtn>(pages);
  HWND h = pages->Handle();
  const int focus = static_cast<int>(::SendMessageW(h, TCM_GETCURFOCUS, 0, 0));
  const TWindowShot shot = Shot(pages);
  for (int i = 0; i < 2; ++i) {
    RECT item;
    ASSERT_TRUE(::SendMessageW(h, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(shot.At(item.left + 1, item.top + 2), ButtonFrame(i == focus ? 2 : 1)) << i;
  }
}

TEST_F(ControlSkinnersTest, SideTabsAreComposedAlongAndTurnedIntoTheirStrip) {
  for (TTabPosition side : {TTabPosition::tpLeft, TTabPosition::tpRight}) {
    auto* pages = Place<TPageControl>(10, 10, 300, 200);
    pages->SetTabPosition(side);
    for (const wchar_t* name : {L"One", L"Two", L"Three"}) {
      auto* sheet = new TTabSheet(form);
      sheet->SetCaption(name);
      sheet->SetPageControl(pages);
    }
    pages->SetActivePageIndex(2);
    Skin<TSkinTab>(pages);
    HWND h = pages->Handle();
    const int focus = static_cast<int>(::SendMessageW(h, TCM_GETCURFOCUS, 0, 0));
    const TWindowShot shot = Shot(pages);
    RECT pane{0, 0, 300, 200};
    ::SendMessageW(h, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&pane));
    for (int i = 0; i < 3; ++i) {
      RECT item;
      ASSERT_TRUE(::SendMessageW(h, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)));
      if (side == TTabPosition::tpLeft)
        EXPECT_LT(item.right, pane.left);
      else
        EXPECT_GT(item.left, pane.right);
      // a corner of each tab, off its label, where the tab really is
      const COLORREF want = SkinColor(testskin::pTabs, i == focus ? 2 : 1);
      EXPECT_EQ(shot.At(item.left + 3, item.top + 3), want) << static_cast<int>(side) << " tab " << i;
      EXPECT_EQ(shot.At(item.right - 4, item.bottom - 4), want) << static_cast<int>(side) << " tab " << i;
    }
    pages->Free();
  }
}

// Records the tab-item requests that reach a tab control window.
struct TItemProbe {
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TItemProbe*>(::GetPropW(w, L"KivoItemProbe"));
    if (msg == TCM_GETITEMA) ++self->ansi;
    if (msg == TCM_GETITEMW) ++self->wide;
    return self->unicode ? ::CallWindowProcW(self->previous, w, msg, wp, lp)
                         : ::CallWindowProcA(self->previous, w, msg, wp, lp);
  }
  void Install(HWND w, bool wide) {
    unicode = wide;
    ::SetPropW(w, L"KivoItemProbe", this);
    previous = reinterpret_cast<WNDPROC>(unicode ? ::SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc))
                                                 : ::SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
  void Remove(HWND w) {
    if (unicode)
      ::SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    else
      ::SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    ::RemovePropW(w, L"KivoItemProbe");
  }
  bool unicode = false;
  WNDPROC previous = nullptr;
  int ansi = 0, wide = 0;
};

TEST_F(ControlSkinnersTest, TabItemsAreAskedInTheWindowsOwnCharacterSet) {
  for (bool unicode : {false, true}) {
    HWND tabs = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 120, form->Handle(),
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(tabs);
    for (int i = 0; i < 2; ++i) {
      wchar_t text[] = L"Tab";
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      ::SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    // an ANSI subclass makes the window an ANSI one
    TItemProbe probe;
    probe.Install(tabs, unicode);
    ASSERT_EQ(::IsWindowUnicode(tabs) != FALSE, unicode);
    auto* s = new TSkinTab(nullptr);
    s->AttachWindow(tabs, skin, &host, &host.canvas);
    EXPECT_EQ(s->TabUnicode, unicode ? 1 : 0);
    probe.ansi = probe.wide = 0;
    s->PaintFrame(nullptr);
    s->Free();
    probe.Remove(tabs);
    EXPECT_EQ(probe.ansi, unicode ? 0 : 2) << unicode;
    EXPECT_EQ(probe.wide, unicode ? 2 : 0) << unicode;
    ::DestroyWindow(tabs);
  }
}

TEST_F(ControlSkinnersTest, AdvancedPageControlTakesTabPicturesAndGivesThemBack) {
  auto* pages = Place<TAdvPageControl>(10, 10, 300, 160);
  pages->SetColor(clLime);
  auto* sheet = new TTabSheet(form);
  sheet->SetCaption(L"One");
  sheet->SetPageControl(pages);
  auto* s = new TSkinAdvPage(pages);
  s->Kind = 4;
  s->AttachControl(&host, skin, true, &host.canvas);
  ASSERT_EQ(pages->TabBackGround()->Width(), 100);
  ASSERT_EQ(pages->TabBackGround()->Height(), 21);
  EXPECT_EQ(PixelOf(*pages->TabBackGround(), 50, 10), SkinColor(testskin::pTabs, 1));
  EXPECT_EQ(PixelOf(*pages->TabBackGroundActive(), 50, 10), SkinColor(testskin::pTabs, 2));
  EXPECT_EQ(pages->Color(), skin->Color(scButtonFace));
  s->Restore();
  EXPECT_TRUE(pages->TabBackGround()->Empty());
  EXPECT_TRUE(pages->TabBackGroundActive()->Empty());
  EXPECT_EQ(pages->Color(), clLime);
  s->Free();
}

// ---- date-time picker ------------------------------------------------------------------------------

TEST_F(ControlSkinnersTest, DateTimeArrowCoversTheDropDownButtonAndOpensTheCalendar) {
  auto* picker = Place<TDateTimePicker>(10, 10, 160, 24);
  auto* s = Skin<TSkinDateTime>(picker);
  ASSERT_TRUE(s->ArrowButton);
  HWND arrow = s->ArrowButton->Handle();
  HWND h = picker->Handle();
  EXPECT_EQ(::GetParent(arrow), h);
  EXPECT_TRUE(::IsWindowVisible(arrow));
  EXPECT_TRUE(::GetWindowLongPtrW(h, GWL_STYLE) & WS_CLIPCHILDREN);
  const int cx = ::GetSystemMetrics(SM_CXHSCROLL);
  EXPECT_EQ(s->ArrowButton->Left(), 160 - cx - 4);
  EXPECT_EQ(s->ArrowButton->Width(), cx);
  EXPECT_EQ(s->ArrowButton->Height(), 20);
  // the arrow cell of the skin, stretched over the button
  TDataSkinObject* cells = skin->ComboxArrow.get();
  ASSERT_TRUE(cells && cells->HasPicture());
  const RECT cell = SkinFrameRect(cells->Bitmap.get(), false, std::max(1, cells->Frame), 1);
  TBitmap expected;
  expected.SetPixelFormat(TPixelFormat::pf24bit);
  expected.SetSize(cx, 20);
  expected.Canvas()->CopyRect(RECT{0, 0, cx, 20}, cells->Bitmap->Canvas(), cell);
  const TWindowShot shot = Shot(s->ArrowButton);
  int same = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < cx; ++x) same += shot.At(x, y) == PixelOf(expected, x, y);
  EXPECT_EQ(same, cx * 20);
  // hovered: cell 4
  s->ArrowButton->Perform(CM_MOUSEENTER);
  EXPECT_EQ(s->ArrowButton->Hover, 1);
  const RECT hotCell = SkinFrameRect(cells->Bitmap.get(), false, std::max(1, cells->Frame), 4);
  expected.Canvas()->CopyRect(RECT{0, 0, cx, 20}, cells->Bitmap->Canvas(), hotCell);
  const TWindowShot hot = Shot(s->ArrowButton);
  same = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < cx; ++x) same += hot.At(x, y) == PixelOf(expected, x, y);
  EXPECT_EQ(same, cx * 20);
  s->ArrowButton->Perform(CM_MOUSELEAVE);
  EXPECT_EQ(s->ArrowButton->Hover, 0);
  // the frame round the picker
  const TWindowShot frame = Shot(picker);
  EXPECT_EQ(frame.At(0, 12), Rgb(skin->Color(scButtonShadow)));
  EXPECT_EQ(frame.At(1, 12), RGB(255, 255, 255));

  HWND calendar = reinterpret_cast<HWND>(::SendMessageW(h, DTM_GETMONTHCAL, 0, 0));
  EXPECT_FALSE(calendar && ::IsWindowVisible(calendar));
  ::SendMessageW(arrow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx / 2, 8));
  ::SendMessageW(arrow, WM_LBUTTONUP, 0, MAKELPARAM(cx / 2, 8));
  ASSERT_TRUE(PumpUntil([&] {
    HWND c = reinterpret_cast<HWND>(::SendMessageW(h, DTM_GETMONTHCAL, 0, 0));
    return c && ::IsWindowVisible(c);
  }, 5000));
  calendar = reinterpret_cast<HWND>(::SendMessageW(h, DTM_GETMONTHCAL, 0, 0));
  ::SendMessageW(h, DTM_CLOSEMONTHCAL, 0, 0);
  ::PostMessageW(calendar, WM_KEYDOWN, VK_ESCAPE, 0);
  PumpFor(100);
}

// ---- media player ----------------------------------------------------------------------------------

class MediaPlayerSkinTest : public ControlSkinnersTest {
 protected:
  void SetUp() override {
    ControlSkinnersTest::SetUp();
    player = Place<TMediaPlayer>(10, 10, 270, 30);
    player->SetVisibleButtons(0x7);  // play, pause, stop
    player->SetEnabledButtons(0x5);  // play, stop
    player->SetColoredButtons(0x1);  // play
    s = Skin<TSkinMP>(player);
    ASSERT_TRUE(s->Overlay);
    overlay = s->Overlay->Handle();
    Settle(overlay);
  }
  TMediaPlayer* player = nullptr;
  TSkinMP* s = nullptr;
  HWND overlay = nullptr;
};

TEST_F(MediaPlayerSkinTest, OverlayCoversThePlayerWithFramesAndGlyphs) {
  EXPECT_EQ(::GetParent(overlay), form->Handle());
  EXPECT_EQ(s->Overlay->Tag(), skin->DisableTag());
  RECT a, b;
  ::GetWindowRect(overlay, &a);
  ::GetWindowRect(player->Handle(), &b);
  EXPECT_TRUE(::EqualRect(&a, &b));
  // above the player
  bool overlayFirst = false;
  for (HWND w = ::GetTopWindow(form->Handle()); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (w == overlay) overlayFirst = true;
    if (w == player->Handle()) break;
  }
  EXPECT_TRUE(overlayFirst);
  const TWindowShot shot(overlay);
  EXPECT_EQ(s->Overlay->VisibleCount, 3);
  EXPECT_EQ(s->Overlay->ButtonWidth, 90);
  EXPECT_EQ(shot.At(1, 1), ButtonFrame(1));    // play
  EXPECT_EQ(shot.At(91, 1), ButtonFrame(3));   // pause, disabled
  EXPECT_EQ(shot.At(181, 1), ButtonFrame(1));  // stop
  EXPECT_EQ(shot.Count(RECT{0, 0, 270, 30}, RGB(255, 0, 0)), 0);
  // the glyphs of the program's resources: coloured play, disabled pause, enabled stop
  EXPECT_GT(shot.Count(RECT{0, 0, 90, 30}, RGB(0, 150, 0)), 20);
  EXPECT_GT(shot.Count(RECT{90, 0, 180, 30}, RGB(150, 150, 150)), 20);
  EXPECT_GT(shot.Count(RECT{180, 0, 270, 30}, RGB(16, 16, 16)), 20);
  EXPECT_EQ(shot.Count(RECT{0, 0, 270, 30}, RGB(128, 128, 0)), 0) << "the glyphs' key colour is see-through";
  // nothing visible: a plain face
  player->SetVisibleButtons(0);
  s->Overlay->Invalidate();
  Settle(overlay);
  EXPECT_EQ(TWindowShot(overlay).Count(RECT{0, 0, 270, 30}, Face()), 270 * 30);
}

TEST_F(MediaPlayerSkinTest, HitTestGivesABorderToTheLeftButton) {
  const struct {
    int x, button;
  } cases[] = {{0, 0}, {89, 0}, {90, 0}, {91, 1}, {180, 1}, {181, 2}, {270, 2}, {271, 9}};
  for (const auto& c : cases) {
    EXPECT_EQ(s->Overlay->HitTest(c.x), c.button) << c.x;
    EXPECT_EQ(s->Overlay->HitIndex, c.button) << c.x;
  }
}

TEST_F(MediaPlayerSkinTest, PressOverOneButtonAndReleaseOverAnotherSendsOnlyTheButtonDown) {
  ::SendMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
  Settle(overlay);
  EXPECT_EQ(s->Overlay->PressedIndex, 0);
  EXPECT_EQ(TWindowShot(overlay).At(1, 1), ButtonFrame(2));
  ::SendMessageW(overlay, WM_LBUTTONUP, 0, MAKELPARAM(200, 5));
  Settle(overlay);
  ASSERT_EQ(player->Seen.size(), 1u);
  EXPECT_EQ(player->Seen[0], std::make_pair(static_cast<UINT>(WM_LBUTTONDOWN), 0));
  EXPECT_TRUE(player->Clicks.empty());
  EXPECT_EQ(TWindowShot(overlay).At(1, 1), ButtonFrame(1));
  // press and release over stop: the player gets both and clicks stop
  player->Seen.clear();
  ::SendMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 5));
  ::SendMessageW(overlay, WM_LBUTTONUP, 0, MAKELPARAM(230, 5));
  ASSERT_EQ(player->Seen.size(), 2u);
  EXPECT_EQ(player->Seen[1], std::make_pair(static_cast<UINT>(WM_LBUTTONUP), 2));
  EXPECT_EQ(player->Clicks, std::vector<int>{2});
  EXPECT_NE(::GetCapture(), overlay);
}

TEST_F(MediaPlayerSkinTest, OverlayFollowsThePlayersVisibilityAndBounds) {
  player->SetVisible(false);
  Settle(form->Handle());
  EXPECT_FALSE(::IsWindowVisible(overlay));
  player->SetVisible(true);
  Settle(form->Handle());
  EXPECT_TRUE(::IsWindowVisible(overlay));
  player->SetBounds(30, 80, 180, 26);
  Settle(form->Handle());
  EXPECT_EQ(s->Overlay->Left(), 30);
  EXPECT_EQ(s->Overlay->Top(), 80);
  EXPECT_EQ(s->Overlay->Width(), 180);
  EXPECT_EQ(s->Overlay->Height(), 26);
  // switched off: the overlay goes
  s->Restore();
  EXPECT_EQ(s->Overlay, nullptr);
  EXPECT_FALSE(::IsWindow(overlay));
}

// ---- the dispatch ----------------------------------------------------------------------------------

TEST(SkinnerCreatorsTest, EveryKindOfTheDispatchHasACreator) {
  RegisterControlSkinners();
  for (int k = static_cast<int>(TSkinnerKind::None) + 1; k < static_cast<int>(TSkinnerKind::Count); ++k)
    EXPECT_NE(FindSkinnerCreator(static_cast<TSkinnerKind>(k)), nullptr) << SkinnerKindName(static_cast<TSkinnerKind>(k));
}

// One table: every kind the dispatch can choose, for a control of that kind, makes a skinner of
// the kind's class through its registered creator.
TEST_F(ControlSkinnersTest, EveryKindMakesASkinnerOfItsClass) {
  RegisterControlSkinners();
  struct TCase {
    TSkinnerKind kind;
    std::function<TControl*()> make;
    int mode;
  };
  auto pages = [&] {
    auto* p = Place<TPageControl>(10, 10, 200, 120);
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(L"Page");
    sheet->SetPageControl(p);
    return p;
  };
  const TCase table[] = {
      {TSkinnerKind::Button, [&] { return Place<TButton>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::BitButton, [&] { return Place<TBitBtn>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::MenuButton, [&] { return Place<TRzMenuButton>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::SpeedButton, [&] { return Place<TSpeedButton>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::CheckBox, [&] { return Place<TCheckBox>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::RadioButton, [&] { return Place<TRadioButton>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::ObjImage, [&] { return Place<TRzCheckBox>(10, 10, 80, 24); }, kObjImageCheck},
      {TSkinnerKind::Tab, pages, 0},
      {TSkinnerKind::TabBtn, pages, 0},
      {TSkinnerKind::Tab31, [&] { return Place<TTabSet>(10, 10, 200, 24); }, 0},
      {TSkinnerKind::TabSheet, [&] { return pages()->Pages(0); }, 0},
      {TSkinnerKind::AdvPage, [&] { return Place<TAdvPageControl>(10, 10, 200, 120); }, kAdvPageMode},
      {TSkinnerKind::Edit, [&] { return Place<TEdit>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::ComBox, [&] { return Place<TComboBox>(10, 10, 80, 24); }, 0},
      {TSkinnerKind::DateTime, [&] { return Place<TDateTimePicker>(10, 10, 150, 24); }, 0},
      {TSkinnerKind::UpDown, [&] { return Place<TUpDown>(10, 10, 17, 30); }, 0},
      {TSkinnerKind::TrackBar, [&] { return Place<TTrackBar>(10, 10, 150, 30); }, 0},
      {TSkinnerKind::Progress, [&] { return Place<TProgressBar>(10, 10, 150, 16); }, 0},
      {TSkinnerKind::Box, [&] { return Place<TPanel>(10, 10, 150, 60); }, 0},
      {TSkinnerKind::BoxH, [&] { return Place<TPanel>(10, 10, 150, 60); }, 0},
      {TSkinnerKind::GroupBox, [&] { return Place<TGroupBox>(10, 10, 150, 60); }, 0},
      {TSkinnerKind::MediaPlayer, [&] { return Place<TMediaPlayer>(10, 10, 270, 30); }, 0},
      {TSkinnerKind::Scrollbar, [&] { return Place<TMemo>(10, 10, 150, 60); }, 0},
      {TSkinnerKind::ScControl, [&] { return Place<TScrollBar>(10, 10, 150, 17); }, 0},
      {TSkinnerKind::ListView, [&] { return Place<TListView>(10, 10, 150, 60); }, 0},
      {TSkinnerKind::Sizer, [&] { return Place<TPanel>(10, 10, 150, 60); }, 0},
  };
  std::vector<bool> covered(static_cast<std::size_t>(TSkinnerKind::Count), false);
  for (const TCase& c : table) {
    covered[static_cast<std::size_t>(c.kind)] = true;
    TSkinnerCreator create = FindSkinnerCreator(c.kind);
    ASSERT_NE(create, nullptr) << SkinnerKindName(c.kind);
    TControl* control = c.make();
    TSkinnerRequest r;
    r.Kind = c.kind;
    r.SkinData = skin;
    r.Canvas = &host.canvas;
    r.Control = control;
    auto* wc = dynamic_cast<TWinControl*>(control);
    r.Handle = wc ? wc->Handle() : nullptr;
    r.Owner = control;
    r.Mode = c.mode;
    TSkinControl* made = create(r);
    ASSERT_NE(made, nullptr) << SkinnerKindName(c.kind);
    EXPECT_EQ(made->ClassName(), SkinnerKindName(c.kind));
    EXPECT_EQ(made->Owner(), control) << SkinnerKindName(c.kind);
    Settle(form->Handle());
    TControl* top = control;
    while (top->Parent() && top->Parent() != form) top = top->Parent();
    top->Free();  // takes its skinner with it
    Settle(form->Handle());
  }
  for (int k = 1; k < static_cast<int>(TSkinnerKind::Count); ++k)
    EXPECT_TRUE(covered[static_cast<std::size_t>(k)]) << SkinnerKindName(static_cast<TSkinnerKind>(k));
}

// A form holding one of each control these skinners are for.
struct TGlyphControlsForm {
  explicit TGlyphControlsForm(TForm* f) : form(f) {
    auto place = [&](auto* c, int x, int y, int w, int h) {
      c->SetBounds(x, y, w, h);
      c->SetParent(form);
      return c;
    };
    bit = place(new TBitBtn(form), 10, 10, 80, 26);
    MakeGlyphStrip(bit->Glyph(), 1);
    bit->SetCaption(L"Bit");
    png = place(new TPngBitBtn(form), 100, 10, 80, 26);
    MakeGlyphStrip(png->PngImage(), 1);
    menu = place(new TRzMenuButton(form), 190, 10, 90, 26);
    menu->SetCaption(L"Menu");
    speed = place(new TSpeedButton(form), 290, 10, 60, 26);
    speed->SetCaption(L"Speed");
    pngSpeed = place(new TPngSpeedbutton(form), 360, 10, 60, 26);
    check = place(new TRzCheckBox(form), 10, 45, 100, 20);
    radio = place(new TRzRadioButton(form), 120, 45, 100, 20);
    cxCheck = place(new TcxCheckBox(form), 230, 45, 100, 20);
    buttonTabs = place(new TPageControl(form), 10, 75, 200, 100);
    buttonTabs->SetStyle(TTabStyle::tsButtons);
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(L"Page");
    sheet->SetPageControl(buttonTabs);
    tabSet = place(new TTabSet(form), 220, 75, 200, 24);
    tabSet->Tabs()->Add(L"One");
    tabSet->Tabs()->Add(L"Two");
    tabSet->SetTabIndex(0);
    advPages = place(new TAdvPageControl(form), 220, 105, 200, 90);
    auto* advSheet = new TTabSheet(form);
    advSheet->SetCaption(L"Adv");
    advSheet->SetPageControl(advPages);
    picker = place(new TDateTimePicker(form), 10, 200, 150, 24);
    player = place(new TMediaPlayer(form), 170, 200, 270, 30);
    status = new TStatusBar(form);
    status->SetParent(form);
    for (int i = 0; i < 3; ++i) status->Panels()->Add()->SetText(L"panel " + IntToStr(i));
  }
  TForm* form;
  TBitBtn* bit;
  TPngBitBtn* png;
  TRzMenuButton* menu;
  TSpeedButton* speed;
  TPngSpeedbutton* pngSpeed;
  TRzCheckBox* check;
  TRzRadioButton* radio;
  TcxCheckBox* cxCheck;
  TPageControl* buttonTabs;
  TTabSet* tabSet;
  TAdvPageControl* advPages;
  TDateTimePicker* picker;
  TMediaPlayer* player;
  TStatusBar* status;
};

class SkinnedGlyphControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeSkinManager();
    RegisterControlSkinners();
    data = new TSkinData(nullptr);
    data->SetSkinFile(TestFile(L"kivotest.skn"));
    ASSERT_FALSE(data->NoSkin);
    data->Skin3rd()->Add(L"TBitBtn=bitbtn");
    data->Skin3rd()->Add(L"TDateTimePicker=datetimepicker");
    data->Skin3rd()->Add(L"TAdvPageControl=advpagecontrol");
    // status bars are the application's to skin
    data->OnSkinControl = [](TObject*, TSkinData*, TWinControl*, TControl* control, const std::wstring& cls,
                             TSkinControl*& skinned) {
      if (cls == L"TSTATUSBAR") skinned = new TSkinStatusBar(control);
    };
    ParkCursor();
  }
  void TearDown() override {
    if (form) form->Free();
    FreeSkinManager();
    data->Free();
    DoneApplication();
  }
  TSkinnedForm* SkinOf() const { return SkinManager() ? SkinManager()->FindWindow(form->Handle()) : nullptr; }
  // Makes the form with its controls and shows it skinned.
  TGlyphControlsForm ShowSkinned() {
    form = Create<TForm>(Application());
    form->SetBounds(60, 60, 480, 330);
    TGlyphControlsForm controls(form);
    data->SetActive(true);
    form->Show();
    EXPECT_TRUE(PumpUntil([&] { return SkinOf() && SkinOf()->State == kFormSkinned; }, 10000));
    Settle(form->Handle());
    return controls;
  }
  // The skinner made for the control (a speed button's lists no control: it is found among the
  // button's own components).
  TSkinControl* SkinnerOf(TControl* c) const {
    if (TSkinControl* s = SkinOf() ? SkinOf()->FindSkinnerOf(c) : nullptr) return s;
    for (TComponent* owned : c->ComponentList())
      if (auto* s = dynamic_cast<TSkinSpeedButton*>(owned)) return s;
    return nullptr;
  }

  TSkinData* data = nullptr;
  TForm* form = nullptr;
};

TEST_F(SkinnedGlyphControlsTest, EachControlGetsTheSkinnerOfItsKind) {
  TGlyphControlsForm f = ShowSkinned();
  ASSERT_TRUE(SkinOf());
  struct TCase {
    TControl* control;
    const wchar_t* skinner;
    std::function<void(TSkinControl*)> more;
  };
  const TCase table[] = {
      {f.bit, L"TSkinBitButton", [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinBitButton*>(s)->GraphicProperty, L""); }},
      {f.png, L"TSkinBitButton",
       [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinBitButton*>(s)->GraphicProperty, L"PngImage"); }},
      {f.menu, L"TSkinMenuButton", nullptr},
      {f.speed, L"TSkinSpeedButton",
       [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinSpeedButton*>(s)->GraphicProperty, L""); }},
      {f.pngSpeed, L"TSkinSpeedButton",
       [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinSpeedButton*>(s)->GraphicProperty, L"PngImage"); }},
      {f.check, L"TSkinObjImage", [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinObjImage*>(s)->Kind, 1); }},
      {f.radio, L"TSkinObjImage", [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinObjImage*>(s)->Kind, 2); }},
      {f.cxCheck, L"TSkinObjImage", [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinObjImage*>(s)->Kind, 3); }},
      {f.buttonTabs, L"TSkinTabBtn", nullptr},
      {f.tabSet, L"TSkinTab31", nullptr},
      {f.advPages, L"TSkinAdvPage", [](TSkinControl* s) { EXPECT_EQ(static_cast<TSkinAdvPage*>(s)->Kind, 4); }},
      {f.picker, L"TSkinDateTime", [](TSkinControl* s) { EXPECT_NE(static_cast<TSkinDateTime*>(s)->ArrowButton, nullptr); }},
      {f.player, L"TSkinMP", [](TSkinControl* s) { EXPECT_NE(static_cast<TSkinMP*>(s)->Overlay, nullptr); }},
      {f.status, L"TSkinStatusBar", nullptr},
  };
  for (const TCase& c : table) {
    TSkinControl* s = SkinnerOf(c.control);
    ASSERT_NE(s, nullptr) << c.control->ClassName();
    EXPECT_EQ(s->ClassName(), c.skinner) << c.control->ClassName();
    if (c.more) c.more(s);
  }
  // the media player's overlay carries the disable tag: the dispatch leaves it alone
  auto* mp = static_cast<TSkinMP*>(SkinnerOf(f.player));
  EXPECT_EQ(SkinnerOf(mp->Overlay), nullptr);
  EXPECT_EQ(TWindowShot(f.bit->Handle()).At(1, 1), SkinColor(testskin::pButtons, 1));
  // switching the skin off gives every control back
  data->SetActive(false);
  ASSERT_TRUE(PumpUntil([&] { return SkinOf() == nullptr; }, 10000));
  EXPECT_EQ(f.speed->Perform(kSkinMsgIsSkinned), 0);
  EXPECT_EQ(::SendMessageW(f.bit->Handle(), kSkinMsgIsSkinned, 0, 0), 0);
  EXPECT_FALSE(f.check->UseCustomGlyphs());
  EXPECT_TRUE(f.advPages->TabBackGround()->Empty());
}

TEST_F(SkinnedGlyphControlsTest, StatusBarPanelsEdgesAndGrip) {
  TGlyphControlsForm f = ShowSkinned();
  TStatusBar* bar = f.status;
  bar->Panels()->Items(0)->SetWidth(80);
  bar->Panels()->Items(1)->SetWidth(80);
  bar->Panels()->Items(1)->SetBevel(TStatusPanelBevel::pbNone);
  bar->Panels()->Items(2)->SetWidth(40);  // narrower than what is left
  bar->Panels()->Items(2)->SetBevel(TStatusPanelBevel::pbRaised);
  bar->Invalidate();
  Settle(bar->Handle());
  ASSERT_TRUE(::GetWindowLongPtrW(bar->Handle(), GWL_STYLE) & SBARS_SIZEGRIP);
  RECT r;
  ::GetWindowRect(bar->Handle(), &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const TWindowShot shot(bar->Handle());
  RECT p[3];
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(::SendMessageW(bar->Handle(), SB_GETRECT, i, reinterpret_cast<LPARAM>(&p[i])));
  const int y = p[0].top + 1;
  EXPECT_EQ(shot.At(p[0].left + 1, y), SkinColor(testskin::pStatusBar, 1));  // lowered
  EXPECT_EQ(shot.At(p[1].left + 1, y), SkinColor(testskin::pStatusBar, 3));  // no bevel: the flat cell
  EXPECT_EQ(shot.At(p[2].left + 1, y), SkinColor(testskin::pStatusBar, 2));  // raised
  // the last panel reaches the bar's right side, under the grip
  EXPECT_EQ(shot.At(w - 1, y), SkinColor(testskin::pStatusBar, 2));
  // the grip: cell 5 of the extra images in the lower right corner
  const int g = data->ExtraImages->Bitmap->Width() / 5;
  EXPECT_EQ(shot.At(w - 1 - g / 2, h - 1 - g / 2), SkinColor(testskin::pExtra, 5));
  EXPECT_EQ(shot.At(w - 1 - g - 2, h - 3), SkinColor(testskin::pStatusBar, 2));

  // an owner's drawing event gets each panel's rectangle inside its edge
  std::vector<std::pair<int, RECT>> drawn;
  bar->OnDrawPanel = [&](TStatusBar*, TStatusPanel* panel, const RECT& rect) { drawn.emplace_back(panel->Index(), rect); };
  bar->Invalidate();
  Settle(bar->Handle());
  ASSERT_GE(drawn.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    RECT want = p[i];
    ::InflateRect(&want, -2, -2);
    EXPECT_EQ(drawn[static_cast<std::size_t>(i)].first, i);
    EXPECT_TRUE(::EqualRect(&drawn[static_cast<std::size_t>(i)].second, &want)) << i;
  }
  bar->OnDrawPanel = nullptr;

  // simple mode with an empty text: the lowered edge over the whole bar
  bar->SetSimplePanel(true);
  bar->SetSimpleText(L"");
  bar->Invalidate();
  Settle(bar->Handle());
  const TWindowShot simple(bar->Handle());
  EXPECT_EQ(simple.At(1, h / 2), SkinColor(testskin::pStatusBar, 1));
  EXPECT_EQ(simple.At(w / 2, 1), SkinColor(testskin::pStatusBar, 1));
  EXPECT_EQ(simple.At(p[2].left + 1, 1), SkinColor(testskin::pStatusBar, 1));
}

TEST_F(SkinnedGlyphControlsTest, OpeningAndClosingTheSkinnedFormLeavesNothingBehind) {
  auto cycle = [&] {
    {
      TGlyphControlsForm f = ShowSkinned();
      ASSERT_NE(SkinnerOf(f.player), nullptr);
      ASSERT_NE(SkinnerOf(f.picker), nullptr);
    }
    HWND closed = form->Handle();
    form->Free();
    form = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return !SkinManager() || !SkinManager()->FindWindow(closed); }, 10000));
    PumpFor(50);
  };
  cycle();  // caches and first-use objects
  const int gdi0 = GdiHighWater(), handles0 = CountKernelHandles();
  cycle();
  cycle();
  const int gdi1 = GdiHighWater(), handles1 = CountKernelHandles();
  EXPECT_EQ(gdi1, gdi0);
  EXPECT_EQ(handles1, handles0);
}

}  // namespace
}  // namespace kivo
