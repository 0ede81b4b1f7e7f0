// Helpers of the skin tests: files beside the test program, bytes into streams, closing the
// skin engine's message boxes from the GUI thread's own timer, and pixels of bitmaps.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Forms.h"
#include "Pictures.h"
#include "Streams.h"
#include "SysUtils.h"

namespace kivo::test {

inline std::wstring TestFile(const std::wstring& name) { return ExtractFilePath(ParamStr(0)) + name; }

inline void WriteBytes(TStream& s, const std::vector<std::uint8_t>& b) {
  s.SetSize(0);
  if (!b.empty()) s.WriteBuffer(b.data(), static_cast<long>(b.size()));
  s.SetPosition(0);
}

// While it lives, a thread timer of the GUI thread closes every message dialog that comes up
// (their modal loops run the timer) and keeps their texts. Join ends it.
class TMessageCloser {
 public:
  explicit TMessageCloser(UINT periodMs = 20) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, periodMs, &TMessageCloser::Tick);
  }
  ~TMessageCloser() { Join(); }
  void Join() {
    if (timer_) ::KillTimer(nullptr, timer_);
    timer_ = 0;
    if (current_ == this) current_ = nullptr;
  }
  const std::vector<std::wstring>& Texts() const { return texts_; }

 private:
  static BOOL CALLBACK Visit(HWND wnd, LPARAM) {
    if (!::IsWindowVisible(wnd)) return TRUE;
    if (auto* form = dynamic_cast<TMessageForm*>(FindControl(wnd))) {
      if (form->ModalResult() == 0) {
        current_->texts_.push_back(form->Message ? form->Message->Caption() : std::wstring());
        form->SetModalResult(1);
      }
    }
    return TRUE;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_) ::EnumThreadWindows(::GetCurrentThreadId(), &TMessageCloser::Visit, 0);
  }
  static inline TMessageCloser* current_ = nullptr;
  UINT_PTR timer_ = 0;
  std::vector<std::wstring> texts_;
};

// The colour (0x00BBGGRR) of a bitmap's pixel.
inline std::uint32_t PixelOf(TBitmap& b, int x, int y) {
  return static_cast<std::uint32_t>(::GetPixel(b.Canvas()->Handle(), x, y));
}

}  // namespace kivo::test
