// wTray: TwTrayIcon, one icon in the notification area with mouse events, a popup menu, and hiding
// and showing of the application's main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "Forms.h"
#include "Menus.h"
#include "Pictures.h"

namespace kivo {

constexpr UINT kTrayIconId = 1971;
constexpr UINT WM_TRAY_CALLBACK = 0x7400;

class TwTrayIcon : public TComponent {
  KIVO_CLASS(TwTrayIcon, TComponent)
  static void Publish(TPublisher<TwTrayIcon>& p);
  explicit TwTrayIcon(TComponent* owner);
  ~TwTrayIcon() override;
  void BeforeDestruction() override;

  bool DesignPreview() const { return designPreview_; }
  void SetDesignPreview(bool v);
  std::wstring Hint() const { return hint_; }
  void SetHint(const std::wstring& h);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  TIcon* Icon() const { return icon_.get(); }
  void SetIcon(TIcon* icon);
  // Takes a copy of an icon handle.
  void SetIconHandle(HICON icon);
  bool IconVisible() const { return iconVisible_; }
  void SetIconVisible(bool v);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);
  bool LeftPopup() const { return leftPopup_; }
  void SetLeftPopup(bool v) { leftPopup_ = v; }
  bool StartMinimized() const { return startMinimized_; }
  void SetStartMinimized(bool v) { startMinimized_ = v; }
  bool MinimizeToTray() const { return minimizeToTray_; }
  void SetMinimizeToTray(bool v) { minimizeToTray_ = v; }

  virtual bool AddIcon();
  virtual bool DeleteIcon();
  virtual bool ModifyIcon();
  void ShowMainForm();
  void HideMainForm();
  void PopupAtCursor();
  // The hidden window that receives the icon's callbacks.
  HWND MessageWindow() const { return window_ ? window_->Handle() : nullptr; }
  // The record Shell_NotifyIcon is given (hIcon and szTip as they are now).
  NOTIFYICONDATAW NotifyData() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnShowMainForm;
  TNotifyEvent OnHideMainForm;

 protected:
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void Minimize();
  void Loaded() override;
  void Notification(TComponent* c, TOperation op) override;

 private:
  bool Notify(DWORD action);
  void WindowMessage(TMessage& m);
  bool AppWindowHook(TMessage& m);
  void OwnerWindowProc(TMessage& m);
  TWinControl* OwnerWindow() const;

  bool designPreview_ = false;
  std::wstring hint_;
  bool showHint_ = true;
  std::unique_ptr<TIcon> icon_;
  bool iconVisible_ = true;
  TPopupMenu* popupMenu_ = nullptr;
  bool leftPopup_ = false;
  bool startMinimized_ = false;
  bool minimizeToTray_ = false;
  UINT taskbarCreated_ = 0;
  std::unique_ptr<TUtilWindow> window_;
  int appHook_ = 0;
  TWndMethod ownerOldProc_;
  TWinControl* hookedOwner_ = nullptr;
  bool leftPressed_ = false;
  bool firstPositionChange_ = true;
};

}  // namespace kivo
