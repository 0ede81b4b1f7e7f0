// The screen-region source's settings page: region or window mode, the region's numbers, mouse
// tracing, the window picker, and the capture-region frame on the desktop. Settings live in the
// section [Snag] of the program's ini file.
#pragma once

#include <windows.h>

#include "ExtCtrls.h"
#include "KVFWindowAbs.h"
#include "KVSnagWnd.h"
#include "StdCtrls.h"
#include "wButton.h"

namespace kivo {

class TSnagWindow;

constexpr UINT_PTR kPickTimer = 1006;
constexpr UINT kPickIntervalMs = 100;
// The picker's cursor in the screen's cursor list (KivoApp's cursor resource 10).
constexpr TCursor kPickerCursor = 100;
constexpr int kPickerCursorResource = 10;

class TSnagSource : public TSourceAbs {
  KIVO_CLASS(TSnagSource, TSourceAbs)
  explicit TSnagSource(TComponent* owner);
  ~TSnagSource() override;
  void AfterConstruction() override;

  TRadioButton* rbSnagRect;
  TCheckBox* chkTraceMouse;
  TLabel* lblStart;
  TLabel* lblLeft;
  TEdit* edtSnagLeft;
  TLabel* lblTop;
  TEdit* edtSnagTop;
  TLabel* lblSize;
  TLabel* lblWidth;
  TEdit* edtSnagWidth;
  TLabel* lblHeight;
  TEdit* edtSnagHeight;
  TLabel* lblNote;
  TRadioButton* rbSnagWindow;
  TwButton* imgSnagWindow;
  TLabel* lblSnagHint;
  TButton* btnStartSnag;
  TButton* btnStopSnag;
  TButton* btnHideSnagRect;
  TButton* btnShowSnagRect;

  TSnagRectObject* SnagRect = nullptr;  // owned
  bool Picking = false;
  HWND PickedWindow = nullptr;
  RECT LastPickRect{0, 0, 0, 0};
  bool ResumeAfterDrag = false;

  TSnagWindow* SnagWindow() const;
  void LoadSettings();
  void SaveSettings();
  void ApplySource(bool restart) override;
  void ApplyEdit(TEdit* edit);
  void ShowFrame();
  void ShowRegionFrame();
  void ShowWindowFrame();
  void ShowStopButton();
  void ShowStartButton();
  void StartPick();
  void EndPick(bool keep);
  // One look of the picker's timer: the window under the cursor while the button is held.
  void PickStep();

  void rbSnagTypeClick(TObject* sender);
  void chkTraceMouseClick(TObject* sender);
  void RectEditExit(TObject* sender);
  void RectEditKeyDown(TObject* sender, WORD& key, TShiftState shift);
  void RectEditKeyPress(TObject* sender, wchar_t& key);
  void imgSnagWindowMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void btnStartSnagClick(TObject* sender);
  void btnStopSnagClick(TObject* sender);
  void btnHideSnagRectClick(TObject* sender);
  void btnShowSnagRectClick(TObject* sender);
  void PauseForDrag(TObject* sender);
  void DragUpdate(TObject* sender);
  void EndDrag(TObject* sender);

  void WndProc(TMessage& m) override;
};

}  // namespace kivo
