// Speed buttons: windowless buttons with a glyph, grouped (one down per group) or alone.
#pragma once

#include "Controls.h"

namespace kivo {

class TBitmap;  // the graphics share's bitmap

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// How glyphs are measured and drawn; filled in by the graphics share when bitmaps exist (until
// then buttons show their captions only). Draw gets the part of a NumGlyphs-strip for the state.
struct TGlyphPainter {
  SIZE (*Size)(TBitmap* glyph, int numGlyphs) = nullptr;
  void (*Draw)(TCanvas* canvas, TBitmap* glyph, int numGlyphs, TButtonState state, int x, int y, bool transparent) = nullptr;
};
extern TGlyphPainter GlyphPainter;

// A speed button. With a GroupIndex it stays down when clicked and puts the other buttons of the
// group (same parent and GroupIndex) up; AllowAllUp lets the down one be clicked up again.
class TSpeedButton : public TGraphicControl {
  KIVO_CLASS(TSpeedButton, TGraphicControl)
  static void Publish(TPublisher<TSpeedButton>& p);
  explicit TSpeedButton(TComponent* owner);

  // The glyph bitmap (the caller's; kept, not copied).
  TBitmap* Glyph() const { return glyph_; }
  void SetGlyph(TBitmap* b);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n);
  bool Down() const { return down_; }
  void SetDown(bool v);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int g);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool v);
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout l);
  int Margin() const { return margin_; }
  void SetMargin(int m);
  int Spacing() const { return spacing_; }
  void SetSpacing(int s);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  TButtonState State() const { return state_; }
  bool MouseInControl() const { return mouseIn_; }

  void Click() override;
  void WndProc(TMessage& m) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  // The glyph as a persistent object for access by name.
  TPersistent* GlyphObject() const;
  void SetGlyphObject(TPersistent* p);
  void UpdateExclusive();
  TBitmap* glyph_ = nullptr;
  int numGlyphs_ = 1;
  bool down_ = false;
  int groupIndex_ = 0;
  bool allowAllUp_ = false;
  bool flat_ = false;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  int margin_ = -1, spacing_ = 4;
  bool transparent_ = true;
  TButtonState state_ = TButtonState::bsUp;
  bool mouseIn_ = false;
};

}  // namespace kivo
