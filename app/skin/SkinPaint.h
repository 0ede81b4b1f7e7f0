// Drawing routines shared by the control skinners: their own WM_PAINT and WM_ERASEBKGND
// handling, one frame of a skin object or one cell of a picture strip in a rectangle, text labels
// and the focus rectangle.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "Graphics.h"
#include "Messages.h"
#include "Pictures.h"
#include "SkinControl.h"
#include "SkinData.h"

namespace kivo {

// WM_PAINT: the DC of WParam (or BeginPaint), the skinner's Draw over the whole window.
void SkinPaintMessage(TSkinControl* skinner, TMessage& message);
// WM_ERASEBKGND: the parent painted under a control of the library, a plain window filled with
// the parent colour; Result 1.
void SkinEraseMessage(TSkinControl* skinner, TMessage& message);

// Frame i of n of the object's picture nine-sliced into r, magenta transparent when its Trans is 1.
void DrawSkinObject(TSkinControl* skinner, HDC dc, const RECT& r, int n, int i, TDataSkinObject* object);
// Cell i of n of a strip stretched into r, magenta transparent (a masked blit, or the bitmap's
// transparency on a canvas).
void DrawStripFrame(TSkinControl* skinner, HDC dc, const RECT& r, int n, int i, TBitmap* bitmap);
void DrawStripFrameDC(TSkinControl* skinner, HDC dc, const RECT& r, int n, int i, TBitmap* bitmap);
void DrawStripFrameCanvas(TSkinControl* skinner, TCanvas* canvas, const RECT& r, int n, int i, TBitmap* bitmap);

void FillColor(HDC dc, const RECT& r, TColor color);
void FillFace(TSkinControl* skinner, HDC dc, const RECT& r);
void FillParentColor(TSkinControl* skinner, HDC dc, const RECT& r);

// flags with DT_RTLREADING when the control (or RepaintTarget) reads right to left.
UINT TextFlagsFor(TSkinControl* skinner, UINT flags);
// A label: alignment DT_LEFT, DT_CENTER or DT_RIGHT, centred vertically one pixel high.
void DrawLabel(TSkinControl* skinner, TCanvas* canvas, const RECT& r, UINT alignment, bool enabled,
               const std::wstring& text);
// An image-list icon and a word-wrapped text: alignment 0 left, 1 centre, 2 right.
void DrawIconLabel(TSkinControl* skinner, TCanvas* canvas, const RECT& r, int alignment, const std::wstring& text,
                   int imageIndex, HIMAGELIST images);
// One line centred in r: alignment 0 left, 1 right, 2 centre.
void DrawCentredText(TCanvas* canvas, const RECT& r, const std::wstring& text, int alignment, bool enabled);
// A focus rectangle around the text as DrawText with flags would place it in r.
void DrawSkinFocusRect(TSkinControl* skinner, HDC dc, const std::wstring& text, UINT flags, const RECT& r);

}  // namespace kivo
