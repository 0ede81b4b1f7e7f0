// A skinned top-level window: a form of the class library, a "#32770" dialog or any other
// top-level window of the process. The object replaces the window procedure, draws the frame,
// caption, caption buttons and menu bar from the skin, sets a window region cut out of the
// border pictures, hands the window's controls to their skinners and gives the window a skinned
// system menu.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Controls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Handles.h"
#include "Menus.h"
#include "Pictures.h"
#include "SkinControl.h"
#include "SkinData.h"
#include "SkinMessages.h"

namespace kivo {

class TSkinControl;
class TSkinnedForm;
class TSkinnedMenu;
class TMenuBtn;

// States of a TSkinnedForm.
constexpr int kFormAttached = 0, kFormSkinned = 1, kFormReskinning = 3, kFormDestroying = 4, kFormFitting = 5,
              kFormDestroyed = 6;
// Caption button states.
constexpr int kNCNormal = 1, kNCPressed = 2, kNCHover = 3;
// ButtonFlags bits.
constexpr std::uint8_t kBtnMaximize = 1, kBtnMinimize = 2, kBtnHelp = 4, kBtnSysMenu = 8, kBtnKeepSysMenu = 0x10;

// A hot element of the non-client area (window coordinates).
class TNCObject : public TObject {
  KIVO_CLASS(TNCObject, TObject)
 public:
  explicit TNCObject(TSkinnedForm* form) : Form(form) {}
  virtual void MouseDown();
  virtual void MouseUp();
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void Paint() {}

  TSkinnedForm* Form;
  RECT Rect{0, 0, 0, 0};
  bool Visible = false;
  int State = kNCNormal;
  bool Enabled = true;
};

// A caption button drawn from its definition.
class TWinSysButton : public TNCObject {
  KIVO_CLASS(TWinSysButton, TNCObject)
 public:
  TWinSysButton(TSkinnedForm* form, TDataSkinSysButton* definition) : TNCObject(form), Definition(definition) {}
  void Paint() override;
  bool HasImage() const { return Definition && Definition->HasPicture(); }
  bool IsIcon() const { return Definition && (Definition->Action == 3 || Definition->Action == 11); }
  int FrameCount() const { return Definition && Definition->Frame > 0 ? Definition->Frame : 1; }
  TDataSkinSysButton* Definition;
};

class TSkinnedForm : public TComponent, public TSkinnerHost {
  KIVO_CLASS(TSkinnedForm, TComponent)
 public:
  explicit TSkinnedForm(TComponent* owner);
  ~TSkinnedForm() override;

  // ---- attachment (the caller has set Handle and ClassName) ------------------------------------
  void SkinForm(TSkinData* skinData, TWinControl* form);
  void SkinWindow(TSkinData* skinData) { Attach(skinData); }
  void Attach(TSkinData* skinData);
  void Unskin();
  void DetachDestroyed();
  void SkinChanged();
  void FreeSysButtons();
  bool Attached() const { return ObjectInstance != nullptr; }

  // ---- the first pass --------------------------------------------------------------------------
  void FirstPass();

  // ---- frame (SkinFrame.cpp) ---------------------------------------------------------------------
  void BuildFrame();
  void BuildIconBitmap();
  void PaintFrame(HDC dc);
  void FitToFrame(bool recalc);
  void UpdateRegion();
  void RemoveRegion();
  POINT ScreenToFrame(int x, int y) const;
  // The caption button or menu item under a point in window coordinates, or nullptr.
  TNCObject* ObjectAt(POINT p) const;
  TWinSysButton* ButtonAt(POINT p) const;
  void ButtonAction(TWinSysButton* button, POINT screen);
  void HoverTick();
  bool Maximized() const { return WindowState == 1; }
  bool Minimized() const { return WindowState == 2; }
  bool IsMDIChild() const { return Kind == 2; }
  bool IsMaximizedMDIChild() const { return Kind == 2 && WindowState == 1; }
  void ComputeButtonVisibility(TWinSysButton* b);
  void PlaceButtons();
  void RestoreWindow();
  void MaximizeWindow();
  void MinimizeWindow();

  // ---- system menu ---------------------------------------------------------------------------------
  void PopupSystemMenu(POINT screen);
  void BuildSystemMenu();

  // ---- menu bar and owner-drawn items (SkinMenu.cpp) ----------------------------------------------
  bool OpenMenuItem(TMenuBtn* item);
  void ClickMenuItem(TMenuBtn* item);
  TMenuBtn* FindAccelItem(wchar_t key) const;
  void SetPopupMenusOwnerDraw(TComponent* component, bool on);
  void SetMainMenusOwnerDraw(TComponent* form, bool on);
  void MeasurePopupItem(TObject* sender, TCanvas* canvas, int& width, int& height);
  void MeasureBarSubItem(TObject* sender, TCanvas* canvas, int& width, int& height);
  void DrawSkinnedItem(TObject* sender, TCanvas* canvas, const RECT& rect, bool selected);
  void MeasureItemMessage(TMessage& m);
  void DrawItemMessage(TMessage& m);
  void DialogChar(TMessage& m);
  void MenuChanged(TMessage& m);
  TMainMenu* FormMenu(HMENU menu) const;

  // ---- control dispatch (SkinDispatch.cpp) --------------------------------------------------------
  void SkinAllControls(TComponent* component);
  void SkinControl(TControl* control, TComponent* parent);
  void SkinChildWindows(HWND handle);
  void SkinChildWindow(HWND handle);
  void SkinPart(TComponent* component);
  bool AddSkinner(TSkinControl* skinner) override;
  void RemoveSkinner(TSkinControl* skinner) override;
  HWND SkinnedWindow() const override { return Handle; }
  TCanvas* SharedCanvas() override { return &canvas_; }
  TSkinControl* FindSkinner(HWND handle) const;
  TSkinControl* FindSkinnerOf(const TControl* control) const;
  const std::vector<TSkinControl*>& Skinners() const { return skinners_; }
  void PurgeSkinners();
  void ReleaseSkinners();
  TCanvas* Canvas() { return &canvas_; }
  void SetHoverControl(TSkinControl* s) { hoverControl_ = s; }
  TSkinControl* HoverControl() const { return hoverControl_; }

  // ---- message handling ---------------------------------------------------------------------------
  void WndProc(TMessage& m);
  void FormWindowProc(TMessage& m);
  void ClientWndProc(TMessage& m);
  void CallDefault(TMessage& m);

  // ---- state ---------------------------------------------------------------------------------------
  HWND Handle = nullptr;
  TWinControl* Control = nullptr;  // the form, or nullptr for a plain window
  std::wstring ClassName;
  TSkinData* SkinData = nullptr;
  int State = kFormAttached;
  std::uint8_t Kind = 0;         // 0 ordinary, 1 MDI frame, 2 MDI child
  std::uint8_t BorderStyle = 0;  // 0 sizeable, 1 single, 2 none, 3 dialog
  std::uint8_t WindowState = 0;  // 0 normal, 1 maximised, 2 minimised
  std::uint8_t Active = 1;
  std::uint8_t ButtonFlags = 0;
  DWORD Style = 0;
  bool IsChild = false, Sizeable = false, RightToLeft = false, Unicode = false, FitCaption = false;
  bool SkinFrame = false;
  HWND OwnerWindow = nullptr;
  HMENU SystemMenu = nullptr;
  HMENU MenuHandle = nullptr;
  TObjectPtr<TSkinnedMenu> MenuBar;
  TObjectPtr<TPopupMenu> SysMenuPopup;
  HMENU TrackedMenu = nullptr;
  bool MenuTracking = false;
  HWND MDIClient = nullptr;
  WNDPROC OldWndProc = nullptr, ObjectInstance = nullptr;
  WNDPROC OldClientProc = nullptr, ClientInstance = nullptr;
  TWndMethod SavedWindowProc;
  bool FormHooked = false;
  TColor SavedColor = clBtnFace;
  bool SavedMenuUpdate = true;
  SIZE NCExtent{0, 0};
  int BorderLeft = 0, BorderTop = 0, BorderRight = 0, BorderBottom = 0, MenuHeight = 0;
  TObjectPtr<TTimer> HoverTimer;
  TNCObject* HotObject = nullptr;
  std::vector<std::unique_ptr<TWinSysButton>> SysButtons;
  bool RegionSet = false;
  TObjectPtr<TFont> CaptionFont;
  std::wstring CaptionPrefix = L"  ", CaptionSuffix = L" ";
  HICON Icon = nullptr;
  int IconSize = 16;
  TObjectPtr<TBitmap> IconBitmap;
  DWORD LastClick = 0, DoubleClickTime = 500;
  int Width = 0, Height = 0;
  RECT CaptionRect{0, 0, 0, 0};
  int LastRegionWidth = 0, LastRegionHeight = 0;
  RECT StoredClient{0, 0, 0, 0};

 private:
  void Stage2(TMessage& m);
  void Stage3(TMessage& m);
  void SysCommand(TMessage& m);
  void SizeMessage(TMessage& m);
  void NCCalcSize(TMessage& m);
  void NCHitTest(TMessage& m);
  void NCActivate(TMessage& m);
  void NCPaint(TMessage& m);
  void NCMouseMove(TMessage& m);
  void NCLButtonDown(TMessage& m);
  void NCLButtonUp(TMessage& m);
  void NCLButtonDblClk(TMessage& m);
  void NCRButtonDown(TMessage& m);
  void ReadWindowState();
  void PaintSide(HDC dc, int side, const RECT& r);
  void PaintCaption(HDC dc);
  void DrawCaptionText(TCanvas* canvas, const RECT& caption);
  void DrawButtons(HDC dc);
  std::wstring CaptionText() const;
  void RestoreClientProc();
  void UndoOwnerDraw();
  void SetFormColor(TColor c);
  void RestoreWndProc();
  void GiveSysMenuBack();

  std::vector<TSkinControl*> skinners_;
  TSkinControl* hoverControl_ = nullptr;
  TCanvas canvas_;
  TObjectPtr<TBitmap> frameBitmap_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The shared work bitmap of caption composition and the menu bar (nullptr once freed).
TBitmap* SkinWorkBitmap();

}  // namespace kivo
