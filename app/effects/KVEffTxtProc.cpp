#include "KVEffTxtProc.h"

#include "KVEffTxtForm.h"
#include "KVProcessorList.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TTextProcessor)

TTextProcessor::TTextProcessor() {
  name_ = L"文字";
  formClass_ = ProcFormClass<TTextProcForm>;
  font_.SetColor(clWhite);
  Publish({});
}

void TTextProcessor::Publish(std::vector<std::wstring> lines) {
  auto c = std::make_shared<TCaption>();
  c->Lines = std::move(lines);
  LOGFONTW lf = font_.LogFont();
  c->Font.Reset(::CreateFontIndirectW(&lf));
  c->Color = font_.Color();
  std::atomic_store(&caption_, std::shared_ptr<const TCaption>(std::move(c)));
}

void TTextProcessor::SetLines(const std::wstring& text) {
  // blanks and line breaks at both ends go; the rest splits at line breaks
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned>(text[b]) <= L' ') ++b;
  while (e > b && static_cast<unsigned>(text[e - 1]) <= L' ') --e;
  TStringList split;
  split.SetText(std::wstring_view(text).substr(b, e - b));
  std::vector<std::wstring> lines;
  for (int i = 0; i < split.Count(); ++i) lines.push_back(split[i]);
  Publish(std::move(lines));
}

std::vector<std::wstring> TTextProcessor::Lines() const { return Caption()->Lines; }

void TTextProcessor::SetFont(TFont* font) {
  font_.Assign(font);
  Publish(Caption()->Lines);
}

void TTextProcessor::NextLine() {
  TLock l(Lock());
  X = RESTART_X;
  firstFrame_ = false;
  // in automatic scrolling the restart itself advances one line
  if (ManualLine || !Scroll) ++LineIndex;
}

void TTextProcessor::PrevLine() {
  TLock l(Lock());
  X = RESTART_X;
  firstFrame_ = false;
  LineIndex -= (ManualLine || !Scroll) ? 1 : 2;
}

bool TTextProcessor::DoStart() {
  X = RESTART_X;
  TextWidth = 0;
  LineIndex = 0;
  firstFrame_ = true;
  return true;
}

bool TTextProcessor::DoProcess(HDC dc, HBITMAP, BITMAPINFO* info) {
  if (State() != TProcessorState::psRunning) return false;
  std::shared_ptr<const TCaption> caption = Caption();
  const std::vector<std::wstring>& lines = caption->Lines;
  if (lines.empty()) return false;
  const int width = info->bmiHeader.biWidth, height = info->bmiHeader.biHeight;
  bool first = firstFrame_.exchange(false);
  if (!Scroll) {
    X = 0;
  } else if (static_cast<long long>(X) + TextWidth < 0) {
    X = width;
    if (!ManualLine && !first) ++LineIndex;
  }
  // the line to show; an index moved below the first line wraps to the end
  const int n = static_cast<int>(lines.size());
  int index = LineIndex;
  const std::wstring* line = nullptr;
  for (int tries = 0; tries < n; ++tries) {
    if (index >= n) index = 0;
    if (index < 0) index = ((index % n) + n) % n;
    if (!lines[static_cast<size_t>(index)].empty()) {
      line = &lines[static_cast<size_t>(index)];
      break;
    }
    ++index;
  }
  if (index >= n) index = 0;
  LineIndex = index;
  if (!line) return false;

  TSavedDCState saved(dc);
  ::SelectObject(dc, caption->Font.Get());
  SIZE extent{0, 0};
  ::GetTextExtentPoint32W(dc, line->c_str(), static_cast<int>(line->size()), &extent);
  TextWidth = extent.cx;
  int y;
  switch (TextPos) {
    case tpBottomPos: y = height - extent.cy; break;
    case tpMiddlePos: y = height / 2; break;
    case tpCustomPos: y = TextTop; break;
    default: y = 8; break;
  }
  COLORREF color = ColorToRGB(caption->Color);
  ::SetTextColor(dc, color == 0 ? RGB(255, 255, 255) : color);
  if (Transparent) {
    ::SetBkMode(dc, TRANSPARENT);
  } else {
    COLORREF bk = ColorToRGB(BkColor);
    ::SetBkColor(dc, bk);
    ::SetBkMode(dc, OPAQUE);
    TBrushOwner brush(::CreateSolidBrush(bk));
    RECT band{0, y, width, y + extent.cy};
    ::FillRect(dc, &band, brush.Get());
  }
  ::TextOutW(dc, X, y, line->c_str(), static_cast<int>(line->size()));
  if (Scroll) X -= Rate;
  return true;
}

void RegisterTextProcessor() {
  TComPtr<IImageProcessor> p(new TTextProcessor());
  RegisterImageProcessor(p.Get());
}

}  // namespace kivo
