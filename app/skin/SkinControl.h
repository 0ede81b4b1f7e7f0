// The base of the control skinners: the object that draws one control of a skinned window from
// the loaded skin. This part holds the skinner's state and its drawing entry points; how a
// skinner attaches to its control and sees its messages builds on it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Classes.h"
#include "Controls.h"
#include "Graphics.h"
#include "Messages.h"
#include "SkinData.h"

namespace kivo {

class TSkinnedForm;

// StateFlags bits.
constexpr std::uint8_t kSkinHover = 1;
constexpr std::uint8_t kSkinPressed = 2;

class TSkinControl : public TComponent {
  KIVO_CLASS(TSkinControl, TComponent)
 public:
  // Owned by the control it skins (or the control owning the window it skins).
  explicit TSkinControl(TComponent* owner);
  ~TSkinControl() override;

  // Draws the skin over the whole window: into dc, or the window DC when dc is 0. Does nothing
  // when the window is gone; anything drawing raises is swallowed.
  virtual void PaintFrame(HDC dc);
  // Draws the skin into dc; r is the whole window with its origin at 0,0.
  virtual void Draw(HDC dc, const RECT& r);
  // Invalidates RepaintTarget, or the window (erased and updated at once).
  void Repaint();
  // The Color of the control's parent, else def.
  TColor ParentColor(TColor def) const;
  // The skin's ButtonFace colour.
  TColor FaceColor() const;

  std::uint8_t StateFlags = 0;
  TCanvas* Canvas = nullptr;  // lent by the skinned window
  std::uint8_t IsEnabled = 0;
  std::uint8_t Focused = 0;
  std::wstring Text;
  WNDPROC ObjectInstance = nullptr;
  WNDPROC OldWndProc = nullptr;
  std::uint8_t Enabled = 1;
  std::uint8_t Unicode = 0;
  TSkinData* SkinData = nullptr;
  HWND Handle = nullptr;
  TWndMethod SavedWindowProc;
  TControl* Control = nullptr;
  RECT WindowRect{};
  TControl* RepaintTarget = nullptr;
  std::uint8_t Recolor = 0;
  TColor SavedColor = 0;
  std::uint8_t Attached = 0;
  int State = 0;
  TSkinnedForm* Form = nullptr;
  int Mode = 0;
  std::uint8_t ParentBackgroundWasOn = 0;
};

}  // namespace kivo
