// The skin manager: one per program. A WH_CBT hook of the GUI thread sees windows being created,
// activated and destroyed; the manager decides which windows get a TSkinnedForm and with which
// skin data, keeps the skinned windows, skins popup-menu windows, and carries out the skin data's
// requests (on, off, changed) from a one-shot timer so that they run from the message loop.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Forms.h"
#include "Pictures.h"

namespace kivo {

class TSkinData;
class TSkinnedForm;

enum TSkinAction : int { maNone = 0, maActivate = 1, maDeactivate = 2, maSkinChanged = 3 };

// The skin of one popup-menu window ("#32768").
class TSkinnedPopMenu : public TObject {
  KIVO_CLASS(TSkinnedPopMenu, TObject)
 public:
  TSkinnedPopMenu(HWND handle, TSkinData* skinData);
  ~TSkinnedPopMenu() override;
  void Attach();
  void Detach();

  HWND Handle = nullptr;
  TSkinData* SkinData = nullptr;
  HMENU MenuHandle = nullptr;
  WNDPROC OldWndProc = nullptr;
  WNDPROC ObjectInstance = nullptr;
  TObjectPtr<TBitmap> Background;  // the skinned background at the window's size

 private:
  void WndProc(TMessage& m);
  void CallDefault(TMessage& m);
  // Background nine-sliced to the window's size; false when the skin has none.
  bool MakeBackground();
};

class TSkinManage : public TObject {
  KIVO_CLASS(TSkinManage, TObject)
 public:
  TSkinManage();
  ~TSkinManage() override;

  void InstallHook();
  bool HookInstalled() const { return hook_ != nullptr; }
  void RegisterSkinData(TSkinData* data);
  void UnregisterSkinData(TSkinData* data);
  // The skin data's requests (Subject set by the caller first).
  void Schedule(int action, UINT delayMs);
  // Skins one window now; true when a TSkinnedForm was attached.
  bool SkinWindow(HWND handle);
  TSkinnedForm* FindWindow(HWND handle) const;
  // Drops the window object from the list (not freed).
  void RemoveWindow(HWND handle);
  void RemoveWindowObject(TSkinnedForm* form);
  void ReleaseButtonsOf(TSkinData* subject);
  void SetMDIChildMaximized(bool flag);
  void AttachMenuHandle(HMENU menu);
  TBitmap* PopupBackground(HMENU menu) const;
  // The form whose window it is, else the control behind the window, else nullptr.
  TWinControl* FormOfHandle(HWND handle) const;
  void SkinPopupMenu(HWND handle);
  void UnskinPopupMenu(HWND handle);
  // The skin data for a window of that class, or nullptr.
  TSkinData* ChooseSkinData(HWND handle, const std::wstring& className) const;
  // The window filter: false when the window is to stay unskinned.
  bool FilterWindow(HWND handle, const std::wstring& className) const;
  // Frees the window objects whose windows were destroyed.
  void Purge();
  void OnTimer();
  // The action timer is running.
  bool TimerPending() const { return timerOn_; }

  std::vector<TSkinnedForm*> Windows;
  std::vector<TSkinnedPopMenu*> PopupMenus;
  std::vector<TSkinData*> SkinDatas;
  bool Skinning = false;
  bool ActivatingAll = false;
  int Phase = 0;
  int MenuKind = 0;
  bool BarMenuOpen = false;
  bool MDIChildMaximized = false;
  HWND MDIClient = nullptr;
  TWinControl* MDIForm = nullptr;
  int Action = maNone;
  TSkinData* Subject = nullptr;
  TSkinData* DefaultSkinData = nullptr;
  DWORD VersionWord = 0;

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM w, LPARAM l);
  void TimerMessage(TMessage& m);
  void StartTimer(UINT ms);
  void StopTimer();
  void FreeWindow(TSkinnedForm* form);

  HHOOK hook_ = nullptr;
  std::unique_ptr<TUtilWindow> timerWindow_;
  UINT interval_ = 250;
  bool timerOn_ = false;
};

// The manager, or nullptr before the first skin data was loaded.
TSkinManage* SkinManager();
// The manager, made when missing.
TSkinManage* NeedSkinManager();
// Frees the manager (unskins what is left, removes the hook).
void FreeSkinManager();

// Platform flags the skinners share.
bool SkinIsNT();
bool SkinMajorNot6();

}  // namespace kivo
