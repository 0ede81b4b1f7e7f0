// Speed buttons: windowless buttons with a glyph, grouped (one down per group) or alone.
#pragma once

#include <memory>

#include "Controls.h"
#include "Pictures.h"

namespace kivo {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
// Also the order of the parts of a glyph strip (NumGlyphs of them side by side).
enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// A speed button. With a GroupIndex it stays down when clicked and puts the other buttons of the
// group (same parent and GroupIndex) up; AllowAllUp lets the down one be clicked up again.
class TSpeedButton : public TGraphicControl {
  KIVO_CLASS(TSpeedButton, TGraphicControl)
  static void Publish(TPublisher<TSpeedButton>& p);
  explicit TSpeedButton(TComponent* owner);
  ~TSpeedButton() override;

  // The glyph: a copy of the bitmap given, drawn see-through in its bottom-left pixel's colour.
  // With NumGlyphs > 1 it is a strip of equal parts for the states up, disabled, down, stays down.
  TBitmap* Glyph() const { return glyph_.get(); }
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
  void UpdateExclusive();
  SIZE GlyphSize() const;
  void DrawGlyph(HDC dc, int x, int y);
  std::unique_ptr<TBitmap> glyph_;
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
