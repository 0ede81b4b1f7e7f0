// Menus: items with captions, check marks, shortcuts, images and owner drawing; main menus on
// forms and popup menus. Each item has a process-unique Command; WM_COMMAND, WM_DRAWITEM and
// WM_MEASUREITEM of menus are routed to the items.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "ImgList.h"

namespace kivo {

class TMenu;

// Key code in the low byte, modifier bits above.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0;
TShortCut ShortCut(WORD key, TShiftState shift);
void ShortCutToKey(TShortCut sc, WORD& key, TShiftState& shift);
// "Ctrl+Alt+S", "F5", "Shift+Del"; an empty text for none.
std::wstring ShortCutToText(TShortCut sc);
// The shortcut a text names, or 0 when the text names none.
TShortCut TextToShortCut(std::wstring_view text);

using TMenuDrawItemEvent = std::function<void(TObject* sender, TCanvas* canvas, const RECT& rect, bool selected)>;
using TMenuMeasureItemEvent = std::function<void(TObject* sender, TCanvas* canvas, int& width, int& height)>;

class TMenuItem : public TComponent {
  KIVO_CLASS(TMenuItem, TComponent)
  static void Publish(TPublisher<TMenuItem>& p);
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  std::wstring Caption() const { return caption_; }
  void SetCaption(const std::wstring& s);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool v);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int v) { groupIndex_ = v; }
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool v) { autoCheck_ = v; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut s);
  std::wstring Hint() const { return hint_; }
  void SetHint(const std::wstring& h) { hint_ = h; }
  bool IsLine() const { return caption_ == L"-"; }

  // The identifier WM_COMMAND carries for this item (unique in the process).
  UINT Command() const { return command_; }
  // The item's submenu (made when first asked for).
  HMENU Handle();
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(index); }
  TMenuItem* Parent() const { return parent_; }
  int IndexOf(const TMenuItem* item) const;
  int MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }
  // Takes item in as a sub-item (not owned: the owner component frees it; freeing this item
  // frees its sub-items).
  void Add(TMenuItem* item) { Insert(Count(), item); }
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  void Delete(int index);
  void Clear();
  TMenu* GetParentMenu() const;
  // The item with that command among this item and its sub-items, or nullptr.
  TMenuItem* FindCommand(UINT command);

  // As the user chooses the item: AutoCheck, then OnClick.
  virtual void Click();
  TNotifyEvent OnClick;
  TMenuDrawItemEvent OnDrawItem;
  TMenuMeasureItemEvent OnMeasureItem;

  // Owner drawing (called by the menu message routing).
  virtual void DrawItem(TCanvas* canvas, const RECT& rect, bool selected);
  virtual void MeasureItem(TCanvas* canvas, int& width, int& height);

 private:
  friend class TMenu;
  void Rebuild();
  void Changed();
  void Fill(MENUITEMINFOW& mi, std::wstring& text);
  std::wstring caption_;
  bool checked_ = false, enabled_ = true, visible_ = true, default_ = false, radioItem_ = false, autoCheck_ = false;
  int groupIndex_ = 0;
  int imageIndex_ = -1;
  TShortCut shortCut_ = 0;
  std::wstring hint_;
  UINT command_ = 0;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
  TMenuOwner handle_;
  TMenu* menu_ = nullptr;  // set on a menu's root item
  bool freeing_ = false;
};

enum class TMenuAutoFlag { maAutomatic, maManual, maParent };
enum class TFindItemKind { fkCommand, fkHandle, fkShortCut };

class TMenu : public TComponent {
  KIVO_CLASS(TMenu, TComponent)
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  TMenuItem* Items() const { return items_; }
  HMENU Handle() const { return items_->Handle(); }
  bool OwnerDraw() const { return ownerDraw_; }
  void SetOwnerDraw(bool v);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  TMenuAutoFlag AutoHotkeys() const { return autoHotkeys_; }
  void SetAutoHotkeys(TMenuAutoFlag f) { autoHotkeys_ = f; }
  TMenuItem* FindItem(UINT_PTR value, TFindItemKind kind) const;
  // Runs the item of a command (OnClick); false when no item has it.
  bool DispatchCommand(UINT command);
  // Runs the item whose shortcut matches; false when none.
  bool IsShortCut(WORD key, TShiftState shift);

 protected:
  virtual void MenuChanged() {}
  void Notification(TComponent* c, TOperation op) override;

 private:
  friend class TMenuItem;
  TMenuItem* items_;
  bool ownerDraw_ = false;
  TImageList* images_ = nullptr;
  TMenuAutoFlag autoHotkeys_ = TMenuAutoFlag::maAutomatic;
};

// A form's menu bar: shown when set as the form's menu (SetMenu).
class TMainMenu : public TMenu {
  KIVO_CLASS(TMainMenu, TMenu)
  static void Publish(TPublisher<TMainMenu>& p);
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;
  // Shows the menu on a form (nullptr takes it away from the form it is on).
  void SetForm(TCustomForm* form);
  TCustomForm* Form() const { return form_; }

 protected:
  void MenuChanged() override;
  void Notification(TComponent* c, TOperation op) override;

 private:
  TCustomForm* form_ = nullptr;
};

enum class TPopupAlignment { paLeft, paRight, paCenter };

// A popup menu. Popup shows it at a screen point and returns when it closes; the chosen item's
// OnClick follows from the message loop (the command is posted to the menu's window).
class TPopupMenu : public TMenu {
  KIVO_CLASS(TPopupMenu, TMenu)
  static void Publish(TPublisher<TPopupMenu>& p);
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;
  void Popup(int x, int y);
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool v) { autoPopup_ = v; }
  TPopupAlignment Alignment() const { return alignment_; }
  void SetAlignment(TPopupAlignment a) { alignment_ = a; }
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* c) { popupComponent_ = c; }
  // The window that receives the menu's messages while it is shown.
  HWND WindowHandle() const { return window_->Handle(); }
  TNotifyEvent OnPopup;

 private:
  void WndProc(TMessage& m);
  std::unique_ptr<TUtilWindow> window_;
  bool autoPopup_ = true;
  TPopupAlignment alignment_ = TPopupAlignment::paLeft;
  TComponent* popupComponent_ = nullptr;
};

// Routes a menu message (WM_COMMAND from a menu, WM_DRAWITEM/WM_MEASUREITEM of a menu item) to
// its item; answers true when handled.
bool RouteMenuMessage(TMessage& m);
// The live item of a command, or nullptr.
TMenuItem* FindMenuCommand(UINT command);
// Puts the menu routing into the layer's hooks (MenuMessageHandler, PopupMenuHandler) unless
// someone set them; done when the first menu is made.
void InstallMenuHandlers();

}  // namespace kivo
