// Colours, fonts, pens, brushes and the canvas: the share of the graphics the window classes
// need. Bitmaps, pictures and the rest of the drawing operations build on these.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Classes.h"

namespace kivo {

class TGraphic;
class TBitmap;

// 0x00BBGGRR, or a system colour 0xFF0000nn (nn = the COLOR_ index).
using TColor = int32_t;
constexpr TColor MakeSysColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<uint32_t>(index)); }
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;
constexpr TColor clScrollBar = MakeSysColor(COLOR_SCROLLBAR), clBackground = MakeSysColor(COLOR_BACKGROUND),
                 clActiveCaption = MakeSysColor(COLOR_ACTIVECAPTION), clInactiveCaption = MakeSysColor(COLOR_INACTIVECAPTION),
                 clMenu = MakeSysColor(COLOR_MENU), clWindow = MakeSysColor(COLOR_WINDOW),
                 clWindowFrame = MakeSysColor(COLOR_WINDOWFRAME), clMenuText = MakeSysColor(COLOR_MENUTEXT),
                 clWindowText = MakeSysColor(COLOR_WINDOWTEXT), clCaptionText = MakeSysColor(COLOR_CAPTIONTEXT),
                 clHighlight = MakeSysColor(COLOR_HIGHLIGHT), clHighlightText = MakeSysColor(COLOR_HIGHLIGHTTEXT),
                 clBtnFace = MakeSysColor(COLOR_BTNFACE), clBtnShadow = MakeSysColor(COLOR_BTNSHADOW),
                 clGrayText = MakeSysColor(COLOR_GRAYTEXT), clBtnText = MakeSysColor(COLOR_BTNTEXT),
                 clBtnHighlight = MakeSysColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = MakeSysColor(COLOR_3DDKSHADOW),
                 cl3DLight = MakeSysColor(COLOR_3DLIGHT), clInfoText = MakeSysColor(COLOR_INFOTEXT),
                 clInfoBk = MakeSysColor(COLOR_INFOBK);
// The RGB value of a colour (system colours resolved).
COLORREF ColorToRGB(TColor c);
// The handle of a bitmap (for brushes; defined with the bitmaps).
HBITMAP BitmapHandleOf(TBitmap* bitmap);

// Base of fonts, pens and brushes: OnChange after each change.
class TGraphicsObject : public TPersistent {
  KIVO_CLASS(TGraphicsObject, TPersistent)
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;
enum class TFontPitch { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
  KIVO_CLASS(TFont, TGraphicsObject)
  static void Publish(TPublisher<TFont>& p);
  TFont();

  std::wstring Name() const { return name_; }
  void SetName(const std::wstring& n);
  // Height in pixels (negative: character height, as in LOGFONT); Size in points.
  int Height() const { return height_; }
  void SetHeight(int h);
  int Size() const;
  void SetSize(int points);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles s);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  int Charset() const { return charset_; }
  void SetCharset(int c);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch p);
  int PixelsPerInch = 96;

  // The font's HFONT, made when first asked for; owned by the font.
  HFONT Handle() const;
  // Takes the look of a LOGFONT (the HFONT is not adopted).
  void AssignLogFont(const LOGFONTW& lf);
  LOGFONTW LogFont() const;
  void Assign(const TPersistent* source) override;

 private:
  void Change();
  std::wstring name_;
  int height_;
  TFontStyles style_ = 0;
  TColor color_ = clWindowText;
  int charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = TFontPitch::fpDefault;
  mutable TFontOwner handle_;
};

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
class TPen : public TGraphicsObject {
  KIVO_CLASS(TPen, TGraphicsObject)
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  int Width() const { return width_; }
  void SetWidth(int w);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle s);
  HPEN Handle() const;
  void Assign(const TPersistent* source) override;

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = TPenStyle::psSolid;
  mutable TPenOwner handle_;
};

enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
class TBrush : public TGraphicsObject {
  KIVO_CLASS(TBrush, TGraphicsObject)
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle s);
  HBRUSH Handle() const;  // nullptr for bsClear
  // A pattern bitmap (not owned; it must live while the brush uses it); nullptr for none.
  TBitmap* Bitmap() const { return bitmap_; }
  void SetBitmap(TBitmap* b);
  void Assign(const TPersistent* source) override;

 private:
  TBitmap* bitmap_ = nullptr;
  TColor color_ = clWhite;
  TBrushStyle style_ = TBrushStyle::bsSolid;
  mutable TBrushOwner handle_;
};

// The header of an uncompressed DIB, bottom-up for a positive height and top-down for a negative
// one; the other fields are zero.
inline BITMAPINFOHEADER DibHeader(int width, int height, int bitCount) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bitCount);
  h.biCompression = BI_RGB;
  return h;
}

// Drawing on a device context it owns or one bound from outside (SetHandle). Each operation
// selects the canvas's font, pen and brush into the DC for its own duration only, so a bound
// DC is always left as it was found.
class TCanvas : public TPersistent {
  KIVO_CLASS(TCanvas, TPersistent)
  TCanvas();
  ~TCanvas() override;

  // The DC; a canvas without one asks CreateHandle (EInvalidOperation when it can't get one).
  HDC Handle();
  bool HandleAllocated() const { return dc_ != nullptr; }
  // Binds a foreign DC (not owned) or, with nullptr, lets go of the current one.
  void SetHandle(HDC dc);
  TFont* Font() { return &font_; }
  TPen* Pen() { return &pen_; }
  TBrush* Brush() { return &brush_; }
  // Serialises drawing from several threads.
  void Lock() { lock_.Enter(); }
  void Unlock() { lock_.Leave(); }
  bool TryLock() { return lock_.TryEnter(); }

  void FillRect(const RECT& r);
  void FrameRect(const RECT& r);
  void Rectangle(int x1, int y1, int x2, int y2);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void TextOut(int x, int y, const std::wstring& text);
  void TextRect(const RECT& r, int x, int y, const std::wstring& text);
  SIZE TextExtent(const std::wstring& text);
  int TextWidth(const std::wstring& text) { return TextExtent(text).cx; }
  int TextHeight(const std::wstring& text) { return TextExtent(text).cy; }
  COLORREF Pixel(int x, int y);
  void SetPixel(int x, int y, TColor c);
  RECT ClipRect();
  void Polyline(const POINT* points, int count);
  void Polygon(const POINT* points, int count);
  void Ellipse(int x1, int y1, int x2, int y2);
  void DrawFocusRect(const RECT& r);
  // Text in r with DrawText flags (DT_END_ELLIPSIS, DT_CENTER, ...).
  void TextRect(RECT r, const std::wstring& text, UINT format);
  // Graphics drawn at their own size, or stretched into r.
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const RECT& r, TGraphic* graphic);
  // StretchBlt from another canvas with CopyMode.
  void CopyRect(const RECT& dest, TCanvas* source, const RECT& src);
  DWORD CopyMode() const { return copyMode_; }
  void SetCopyMode(DWORD rop) { copyMode_ = rop; }
  // Copies src of the bitmap into dest, with the pixels of colour `color` replaced by the brush.
  void BrushCopy(const RECT& dest, TBitmap* bitmap, const RECT& src, TColor color);

 protected:
  // Gets a DC for a canvas that has none (a control's canvas asks its window).
  virtual void CreateHandle() {}
  // Forgets the DC (called by SetHandle(nullptr)).
  virtual void FreeHandle() {}
  HDC dc_ = nullptr;

 private:
  struct TSelection;
  TFont font_;
  TPen pen_;
  TBrush brush_;
  POINT pos_{0, 0};
  DWORD copyMode_ = SRCCOPY;
  TCriticalSection lock_;
};

// Lends a DC to a canvas for the length of a scope: the canvas is locked and draws on dc until
// the scope ends (also by an exception), then lets go of it and is unlocked.
class TCanvasBinding {
 public:
  TCanvasBinding(TCanvas* c, HDC dc) : c_(c) {
    c_->Lock();
    c_->SetHandle(dc);
  }
  ~TCanvasBinding() {
    c_->SetHandle(nullptr);
    c_->Unlock();
  }
  TCanvasBinding(const TCanvasBinding&) = delete;
  TCanvasBinding& operator=(const TCanvasBinding&) = delete;

 private:
  TCanvas* c_;
};

// The state of a DC (SaveDC), given back at the end of the scope.
class TSavedDCState {
 public:
  explicit TSavedDCState(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
  ~TSavedDCState() { ::RestoreDC(dc_, saved_); }
  TSavedDCState(const TSavedDCState&) = delete;
  TSavedDCState& operator=(const TSavedDCState&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// A canvas bound to a DC handed in by a notification (owner draw, custom draw): the DC's state is
// saved first and restored after the canvas has let go of it.
class TNotifyDCBinding {
 public:
  TNotifyDCBinding(TCanvas* c, HDC dc) : state_(dc), binding_(c, dc) {}

 private:
  TSavedDCState state_;
  TCanvasBinding binding_;
};

}  // namespace kivo
