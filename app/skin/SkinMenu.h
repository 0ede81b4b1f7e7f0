// The skinned menu bar: painted inside the skinned frame below the caption, its items opened
// with TrackPopupMenu while a message-filter hook moves between bar items with the arrow keys
// and the mouse.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Menus.h"
#include "SkinnedForm.h"

namespace kivo {

class TMenuBtn : public TNCObject {
  KIVO_CLASS(TMenuBtn, TNCObject)
 public:
  TMenuBtn(TSkinnedForm* form, TSkinnedMenu* bar) : TNCObject(form), Bar(bar) {}
  void Paint() override;

  TSkinnedMenu* Bar;
  int Index = 0;
  std::wstring Caption;
  bool Enabled = true;
  HMENU SubMenu = nullptr;
  UINT Command = 0;
  TMenuItem* MenuItem = nullptr;
};

class TSkinnedMenu : public TComponent {
  KIVO_CLASS(TSkinnedMenu, TComponent)
 public:
  TSkinnedMenu(TSkinnedForm* form, TSkinData* skinData, TMainMenu* menu);
  ~TSkinnedMenu() override;
  void Build();
  void BuildFrom();
  void Paint(HDC dc, const RECT& r);
  void Layout();
  TMenuBtn* ItemAt(POINT p) const;
  int Count() const { return static_cast<int>(Items.size()); }

  std::vector<std::unique_ptr<TMenuBtn>> Items;
  TMainMenu* Menu = nullptr;
  RECT MenuRect{0, 0, 0, 0};
  TSkinData* SkinData = nullptr;
  TSkinnedForm* Form = nullptr;
  TObjectPtr<TBitmap> Background;
  HMENU MenuHandle = nullptr;

 private:
  void Fill(bool fromFrame);
  // Lays out (and with dc draws) the items over the work bitmap.
  void PlaceItems(TCanvas* canvas, const RECT& r, bool draw);
};

// The menu loop of a bar popup (one at a time in the process).
void StartMenuHook();
void StopMenuHook();
bool MenuHookRunning();

// An "&" accelerator of a caption (the library's rule: "&&" is a literal ampersand).
bool IsAccel(wchar_t key, const std::wstring& caption);

}  // namespace kivo
