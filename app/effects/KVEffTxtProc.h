// The text effect: one line of a multi-line caption on each frame, still at the left edge or
// scrolling from right to left, line after line.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Graphics.h"
#include "KVEffProcAbs.h"

namespace kivo {

// Put into X to make the next frame restart the caption at the right edge.
constexpr int RESTART_X = -2147483647;

enum TTextPos : int { tpTopPos = 0, tpBottomPos = 1, tpMiddlePos = 2, tpCustomPos = 3 };

class TTextProcessor : public TImageProcessorAbs {
  KIVO_CLASS(TTextProcessor, TImageProcessorAbs)
  TTextProcessor();

  // The caption lines: the text without leading and trailing blanks and line breaks, split at
  // line breaks. Replaced whole: a running Process keeps the lines it began with.
  void SetLines(const std::wstring& text);
  std::vector<std::wstring> Lines() const;
  // Copies the font (the drawing font is replaced whole, like the lines).
  void SetFont(TFont* font);
  TFont* Font() { return &font_; }
  void SetTextPos(int v) { TextPos = v; }
  void SetBkColor(TColor c) { BkColor = c; }
  // The next or previous line starts at the right edge with the next frame.
  void NextLine();
  void PrevLine();

  // Read by Process on the streaming thread without the lock, written by the form.
  std::atomic<int> TextPos{tpTopPos};
  std::atomic<TColor> BkColor{0};
  std::atomic<bool> Transparent{false};
  std::atomic<int> TextTop{0};
  std::atomic<int> Rate{1};  // pixels per frame
  std::atomic<bool> Scroll{false};
  std::atomic<bool> ManualLine{false};
  // The caption's state, moved by Process.
  std::atomic<int> LineIndex{0};
  std::atomic<int> X{0};
  std::atomic<int> TextWidth{0};

 protected:
  bool DoStart() override;
  bool DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) override;

 private:
  struct TCaption {
    std::vector<std::wstring> Lines;
    TFontOwner Font;
    TColor Color = clWhite;
  };
  std::shared_ptr<const TCaption> Caption() const { return std::atomic_load(&caption_); }
  void Publish(std::vector<std::wstring> lines);
  TFont font_;
  std::shared_ptr<const TCaption> caption_;
  // No line advance at the first restart after a start.
  std::atomic<bool> firstFrame_{false};
};

// Creates the text processor and registers it.
void RegisterTextProcessor();

}  // namespace kivo
