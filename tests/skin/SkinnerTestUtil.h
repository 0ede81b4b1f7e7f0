// Helpers of the skinner tests: a skinned-window stand-in that lists skinners, the test skin
// loaded, window pixels read back from the window's own surface, and message pumping.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "../gui/GuiTestUtil.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Handles.h"
#include "SkinControl.h"
#include "SkinData.h"
#include "SkinTestUtil.h"
#include "TestSkinLayout.h"

namespace kivo::test {

// Lists skinners the way a skinned window does.
class TTestHost : public TSkinnerHost {
 public:
  explicit TTestHost(HWND wnd = nullptr) : wnd_(wnd) {}
  bool AddSkinner(TSkinControl* s) override {
    if (std::find(list.begin(), list.end(), s) != list.end()) return true;
    list.push_back(s);
    return false;
  }
  void RemoveSkinner(TSkinControl* s) override {
    auto it = std::find(list.rbegin(), list.rend(), s);
    if (it != list.rend()) list.erase(std::next(it).base());
  }
  HWND SkinnedWindow() const override { return wnd_; }
  TCanvas* SharedCanvas() override { return &canvas; }
  void SetWindow(HWND w) { wnd_ = w; }

  std::vector<TSkinControl*> list;
  TCanvas canvas;

 private:
  HWND wnd_;
};

// The colour of a frame of a picture of the test skin, as a COLORREF.
inline COLORREF SkinColor(int picture, int frame) { return static_cast<COLORREF>(testskin::ColorOf(picture, frame)); }

// The window as it is now (its own surface, whatever covers it on the screen), window coordinates.
class TWindowShot {
 public:
  explicit TWindowShot(HWND wnd) {
    RECT r;
    ::GetWindowRect(wnd, &r);
    w_ = r.right - r.left;
    h_ = r.bottom - r.top;
    HDC wdc = ::GetWindowDC(wnd);
    mem_.Reset(::CreateCompatibleDC(wdc));
    bmp_.Reset(::CreateCompatibleBitmap(wdc, std::max(w_, 1), std::max(h_, 1)));
    HGDIOBJ old = ::SelectObject(mem_.Get(), bmp_.Get());
    ::BitBlt(mem_.Get(), 0, 0, w_, h_, wdc, 0, 0, SRCCOPY);
    ::SelectObject(mem_.Get(), old);
    ::ReleaseDC(wnd, wdc);
    ::SelectObject(mem_.Get(), bmp_.Get());
  }
  COLORREF At(int x, int y) const { return ::GetPixel(mem_.Get(), x, y); }
  int Width() const { return w_; }
  int Height() const { return h_; }
  // Number of pixels of a colour in a rectangle.
  int Count(const RECT& r, COLORREF c) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (At(x, y) == c) ++n;
    return n;
  }

 private:
  int w_ = 0, h_ = 0;
  TBitmapOwner bmp_;  // outlives the DC it is selected into
  TMemDCOwner mem_;
};

// The mouse far from every test window (tests that move it put it back at once: the display is
// shared with the other test programs).
inline void ParkCursor() { ::SetCursorPos(1020, 764); }

// Paints what is pending and lets posted messages run.
inline void Settle(HWND wnd = nullptr, DWORD ms = 30) {
  if (wnd) ::UpdateWindow(wnd);
  PumpFor(ms);
}

// A control of class T owned by a form, placed on it or on one of its controls.
template <class T>
T* PlaceControl(TComponent* form, TWinControl* parent, int x, int y, int w, int h) {
  T* c = new T(form);
  c->SetBounds(x, y, w, h);
  c->SetParent(parent);
  return c;
}

// A shown form with the test skin loaded and the skinner host over it; an edit in its lower right
// corner holds the focus away from the controls under test.
class TSkinnerFormTest : public ::testing::Test {
 protected:
  TSkinnerFormTest(const wchar_t* caption, int width, int height) : caption_(caption), width_(width), height_(height) {}
  void SetUp() override {
    skin = new TSkinData(nullptr);
    skin->SetSkinFile(TestFile(L"kivotest.skn"));
    ASSERT_FALSE(skin->NoSkin);
    form = Create<TForm>(Application());
    form->SetBounds(40, 40, width_, height_);
    form->SetCaption(caption_);
    form->Show();
    host.SetWindow(form->Handle());
    other = Place<TEdit>(width_ - 120, height_ - 80, 80, 22);
    other->SetFocus();
    ParkCursor();
    Settle(form->Handle());
  }
  void TearDown() override {
    ParkCursor();
    if (form) form->Free();
    skin->Free();
  }
  template <class T>
  T* Place(int x, int y, int w, int h, TWinControl* parent = nullptr) {
    return PlaceControl<T>(form, parent ? parent : form, x, y, w, h);
  }

  TSkinData* skin = nullptr;
  TForm* form = nullptr;
  TEdit* other = nullptr;
  TTestHost host;

 private:
  const wchar_t* caption_;
  int width_, height_;
};

}  // namespace kivo::test
