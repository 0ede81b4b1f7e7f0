// Common controls: track bar, progress bar, up-down, tab control, page control with tab sheets,
// status bar and list view, each superclassing its comctl32 class under the library's name.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ImgList.h"
#include "StdCtrls.h"

namespace kivo {

// Loads the common control classes once.
void InitCommonControlClasses();

enum class TTrackBarOrientation { trHorizontal, trVertical };
enum class TTickMark { tmBottomRight, tmTopLeft, tmBoth };
enum class TTickStyle { tsNone, tsAuto, tsManual };

// A track bar. OnChange fires whenever Position changes, by the user or from code.
class TTrackBar : public TWinControl {
  KIVO_CLASS(TTrackBar, TWinControl)
  static void Publish(TPublisher<TTrackBar>& p);
  explicit TTrackBar(TComponent* owner);

  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  int Position() const;
  void SetPosition(int v);
  int Frequency() const { return frequency_; }
  void SetFrequency(int v);
  int LineSize() const { return lineSize_; }
  void SetLineSize(int v);
  int PageSize() const { return pageSize_; }
  void SetPageSize(int v);
  TTrackBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TTrackBarOrientation o);
  TTickMark TickMarks() const { return tickMarks_; }
  void SetTickMarks(TTickMark t);
  TTickStyle TickStyle() const { return tickStyle_; }
  void SetTickStyle(TTickStyle t);

  TNotifyEvent OnChange;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  virtual void Changed();

 private:
  int min_ = 0, max_ = 10, position_ = 0, frequency_ = 1, lineSize_ = 1, pageSize_ = 2;
  TTrackBarOrientation orientation_ = TTrackBarOrientation::trHorizontal;
  TTickMark tickMarks_ = TTickMark::tmBottomRight;
  TTickStyle tickStyle_ = TTickStyle::tsAuto;
};

enum class TProgressBarOrientation { pbHorizontal, pbVertical };

class TProgressBar : public TWinControl {
  KIVO_CLASS(TProgressBar, TWinControl)
  static void Publish(TPublisher<TProgressBar>& p);
  explicit TProgressBar(TComponent* owner);
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  int Position() const;
  void SetPosition(int v);
  int Step() const { return step_; }
  void SetStep(int v);
  void StepIt();
  void StepBy(int delta);
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool v);
  TProgressBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TProgressBarOrientation o);

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;

 private:
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
  bool smooth_ = false;
  TProgressBarOrientation orientation_ = TProgressBarOrientation::pbHorizontal;
};

enum class TUDAlignButton { udLeft, udRight };
enum class TUDOrientation { udHorizontal, udVertical };
enum class TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* sender, TUDBtnType button)>;
using TUDChangingEvent = std::function<void(TObject* sender, bool& allowChange)>;

// An up-down control. Each press asks OnChanging, moves Position by Increment (wrapping when Wrap)
// and fires OnClick with the arrow pressed.
class TCustomUpDown : public TWinControl {
  KIVO_CLASS(TCustomUpDown, TWinControl)
  explicit TCustomUpDown(TComponent* owner);
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  int Position() const;
  void SetPosition(int v);
  int Increment() const { return increment_; }
  void SetIncrement(int v);
  bool Wrap() const { return wrap_; }
  void SetWrap(bool v);
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool v);
  bool Thousands() const { return thousands_; }
  void SetThousands(bool v);
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation o);
  TUDAlignButton AlignButton() const { return alignButton_; }
  void SetAlignButton(TUDAlignButton a);
  // A buddy control whose text shows the position.
  TWinControl* Associate() const { return associate_; }
  void SetAssociate(TWinControl* c);

  TUDClickEvent OnClick;  // the arrow pressed (hides TControl's notify event)
  TUDChangingEvent OnChanging;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void Notification(TComponent* c, TOperation op) override;
  virtual bool CanChange();
  virtual void UpDownClick(TUDBtnType button);

 private:
  int min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
  bool wrap_ = false, arrowKeys_ = true, thousands_ = true;
  TUDOrientation orientation_ = TUDOrientation::udVertical;
  TUDAlignButton alignButton_ = TUDAlignButton::udRight;
  TWinControl* associate_ = nullptr;
  int lastDelta_ = 0;
  bool refused_ = false;
};
class TUpDown : public TCustomUpDown {
  KIVO_CLASS(TUpDown, TCustomUpDown)
  static void Publish(TPublisher<TUpDown>& p);
  using TCustomUpDown::TCustomUpDown;
};

// ---- Tabs -------------------------------------------------------------------------------------
enum class TTabPosition { tpTop, tpBottom, tpLeft, tpRight };
enum class TTabStyle { tsTabs, tsButtons, tsFlatButtons };
using TTabChangingEvent = std::function<void(TObject* sender, bool& allowChange)>;

// A tab strip with a display area. The user's tab change asks OnChanging (which may refuse) and
// then fires OnChange; TabIndex set from code fires neither.
class TCustomTabControl : public TWinControl {
  KIVO_CLASS(TCustomTabControl, TWinControl)
  explicit TCustomTabControl(TComponent* owner);
  ~TCustomTabControl() override;

  TTabPosition TabPosition() const { return tabPosition_; }
  void SetTabPosition(TTabPosition p);
  int TabHeight() const { return tabHeight_; }
  void SetTabHeight(int h);
  int TabWidth() const { return tabWidth_; }
  void SetTabWidth(int w);
  TTabStyle Style() const { return style_; }
  void SetStyle(TTabStyle s);
  bool MultiLine() const { return multiLine_; }
  void SetMultiLine(bool v);
  // The client area left for the pages (window coordinates).
  RECT DisplayRect() const;
  // The tab at a client point, or -1.
  int IndexOfTabAt(int x, int y) const;
  RECT TabRect(int index) const;

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void AlignControls(TControl* control, RECT& rect) override;
  virtual bool CanChange();
  virtual void Change();
  // Tab texts and the selected tab, as the derived class keeps them. The count has a body: the
  // layout asks for it also while the base part is being built or torn down.
  virtual int TabCount() const { return 0; }
  virtual std::wstring TabText(int index) const = 0;
  virtual int SelectedTab() const = 0;
  // Puts every tab into the window again (after changes of the tab list).
  void UpdateTabs();
  // The tab selected in the window, or -1.
  int WindowTabIndex() const;
  void SelectWindowTab(int index);

 private:
  void ApplyItemSize();
  TTabPosition tabPosition_ = TTabPosition::tpTop;
  int tabHeight_ = 0, tabWidth_ = 0;
  TTabStyle style_ = TTabStyle::tsTabs;
  bool multiLine_ = false;
};

// A tab control with a list of tab texts.
class TTabControl : public TCustomTabControl {
  KIVO_CLASS(TTabControl, TCustomTabControl)
  static void Publish(TPublisher<TTabControl>& p);
  explicit TTabControl(TComponent* owner);
  ~TTabControl() override;
  TStrings* Tabs() const { return tabs_.get(); }
  void SetTabs(TStrings* s) { tabs_->Assign(s); }
  int TabIndex() const;
  void SetTabIndex(int i);
  void WndProc(TMessage& m) override;

 protected:
  int TabCount() const override { return tabs_->Count(); }
  std::wstring TabText(int index) const override { return tabs_->Get(index); }
  int SelectedTab() const override { return tabIndex_; }

 private:
  std::unique_ptr<TStringList> tabs_;
  int tabIndex_ = -1;
};

class TPageControl;

// A page of a page control; its caption is its tab's text.
class TTabSheet : public TWinControl {
  KIVO_CLASS(TTabSheet, TWinControl)
  static void Publish(TPublisher<TTabSheet>& p);
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  // Adds the sheet to a page control (as its last page) or takes it out (nullptr).
  void SetPageControl(TPageControl* pc);
  int PageIndex() const;
  void SetPageIndex(int i);
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool v);
  // Index of the sheet's tab among the visible tabs, or -1.
  int TabIndex() const;
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i) { imageIndex_ = i; }
  void WndProc(TMessage& m) override;

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
  int imageIndex_ = -1;
};

// Tab sheets, one shown at a time.
class TPageControl : public TCustomTabControl {
  KIVO_CLASS(TPageControl, TCustomTabControl)
  static void Publish(TPublisher<TPageControl>& p);
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const { return pages_.at(index); }
  TTabSheet* ActivePage() const { return activePage_; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  // The next (or previous) page with a visible tab after current, wrapping.
  TTabSheet* FindNextPage(TTabSheet* current, bool forward, bool checkTabVisible) const;
  void SelectNextPage(bool forward);

 protected:
  int TabCount() const override;
  std::wstring TabText(int index) const override;
  int SelectedTab() const override;
  void Change() override;
  void AlignControls(TControl* control, RECT& rect) override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void PagesChanged();
  TTabSheet* TabPage(int tabIndex) const;
  void ShowActive();
  std::vector<TTabSheet*> pages_;
  TTabSheet* activePage_ = nullptr;
};

// ---- Status bar -------------------------------------------------------------------------------
class TStatusBar;
enum class TStatusPanelStyle { psText, psOwnerDraw };
enum class TStatusPanelBevel { pbNone, pbLowered, pbRaised };

class TStatusPanel : public TPersistent {
  KIVO_CLASS(TStatusPanel, TPersistent)
  explicit TStatusPanel(TStatusBar* bar) : bar_(bar) {}
  std::wstring Text() const { return text_; }
  void SetText(const std::wstring& s);
  int Width() const { return width_; }
  void SetWidth(int w);
  TStatusPanelStyle Style() const { return style_; }
  void SetStyle(TStatusPanelStyle s);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TStatusPanelBevel Bevel() const { return bevel_; }
  void SetBevel(TStatusPanelBevel b);
  int Index() const;

 private:
  TStatusBar* bar_;
  std::wstring text_;
  int width_ = 50;
  TStatusPanelStyle style_ = TStatusPanelStyle::psText;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TStatusPanelBevel bevel_ = TStatusPanelBevel::pbLowered;
};

class TStatusPanels : public TPersistent {
  KIVO_CLASS(TStatusPanels, TPersistent)
  explicit TStatusPanels(TStatusBar* bar) : bar_(bar) {}
  ~TStatusPanels() override;
  int Count() const { return static_cast<int>(items_.size()); }
  TStatusPanel* Items(int index) const { return items_.at(index).get(); }
  TStatusPanel* Add();
  void Delete(int index);
  void Clear();
  void BeginUpdate() { ++updates_; }
  void EndUpdate();

 private:
  friend class TStatusPanel;
  void Changed();
  TStatusBar* bar_;
  std::vector<std::unique_ptr<TStatusPanel>> items_;
  int updates_ = 0;
};

using TDrawPanelEvent = std::function<void(TStatusBar* bar, TStatusPanel* panel, const RECT& rect)>;

// A status bar with panels (owner-drawn ones through OnDrawPanel) or one simple text.
class TStatusBar : public TWinControl {
  KIVO_CLASS(TStatusBar, TWinControl)
  static void Publish(TPublisher<TStatusBar>& p);
  explicit TStatusBar(TComponent* owner);
  ~TStatusBar() override;
  TStatusPanels* Panels() const { return panels_.get(); }
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool v);
  std::wstring SimpleText() const { return simpleText_; }
  void SetSimpleText(const std::wstring& s);
  bool SizeGrip() const { return sizeGrip_; }
  void SetSizeGrip(bool v);
  TCanvas* Canvas() const { return canvas_.get(); }
  // The panel's rectangle in the bar (SB_GETRECT).
  RECT PanelRect(int index) const;

  TDrawPanelEvent OnDrawPanel;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  virtual void DrawPanel(TStatusPanel* panel, const RECT& rect);

 private:
  friend class TStatusPanels;
  friend class TStatusPanel;
  void UpdatePanels();
  std::unique_ptr<TStatusPanels> panels_;
  std::unique_ptr<TControlCanvas> canvas_;
  bool simplePanel_ = false;
  std::wstring simpleText_;
  bool sizeGrip_ = true;
};

// ---- List view --------------------------------------------------------------------------------
class TCustomListView;
class TListItems;

class TListItem : public TPersistent {
  KIVO_CLASS(TListItem, TPersistent)
  explicit TListItem(TListItems* owner) : owner_(owner) {}
  std::wstring Caption() const { return caption_; }
  void SetCaption(const std::wstring& s);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  // The user's pointer kept with the item.
  void* Data() const { return data_; }
  void SetData(void* d) { data_ = d; }
  bool Selected() const;
  void SetSelected(bool v);
  bool Focused() const;
  void SetFocused(bool v);
  int Index() const;
  TCustomListView* ListView() const;
  // The item's box (LVIR_BOUNDS), icon (LVIR_ICON) or label (LVIR_LABEL) in the list's client area.
  RECT DisplayRect(int code = LVIR_BOUNDS) const;
  POINT Position() const;
  void SetPosition(POINT p);
  void Delete();

 private:
  friend class TListItems;
  friend class TCustomListView;
  TListItems* owner_;
  std::wstring caption_;
  int imageIndex_ = -1;
  void* data_ = nullptr;
  bool selected_ = false;  // kept while there is no window
};

// The items of a list view, in display order; each window row holds its item object.
class TListItems : public TPersistent {
  KIVO_CLASS(TListItems, TPersistent)
  explicit TListItems(TCustomListView* owner) : owner_(owner) {}
  ~TListItems() override;
  int Count() const { return static_cast<int>(items_.size()); }
  TListItem* Item(int index) const { return items_.at(index).get(); }
  TListItem* operator[](int index) const { return Item(index); }
  TListItem* Add();
  TListItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int IndexOf(const TListItem* item) const;
  // Moves an item to another position (the others close up).
  void Move(int from, int to);
  // Puts the items in the given order (a permutation of the present ones).
  void Reorder(const std::vector<TListItem*>& order);
  void BeginUpdate();
  void EndUpdate();
  TCustomListView* Owner() const { return owner_; }

 private:
  friend class TListItem;
  friend class TCustomListView;
  void InsertRow(int index);
  void UpdateRow(int index);
  void FillWindow();
  TCustomListView* owner_;
  std::vector<std::unique_ptr<TListItem>> items_;
  int updates_ = 0;
};

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TDragMode { dmManual, dmAutomatic };
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TCustomDrawState = uint32_t;  // CDIS_ bits
using TLVCustomDrawEvent = std::function<void(TCustomListView* sender, const RECT& rect, bool& defaultDraw)>;
using TLVCustomDrawItemEvent =
    std::function<void(TCustomListView* sender, TListItem* item, TCustomDrawState state, bool& defaultDraw)>;
using TLVSelectItemEvent = std::function<void(TObject* sender, TListItem* item, bool selected)>;
using TLVDeletedEvent = std::function<void(TObject* sender, TListItem* item)>;
using TDragOverEvent = std::function<void(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept)>;
using TDragDropEvent = std::function<void(TObject* sender, TObject* source, int x, int y)>;

// A list view. Custom drawing goes through OnCustomDraw/OnCustomDrawItem on Canvas; with
// DragMode automatic a dragged item is carried by the mouse and dropped through OnDragOver and
// OnDragDrop (on this list or another control of the layer).
class TCustomListView : public TWinControl {
  KIVO_CLASS(TCustomListView, TWinControl)
  explicit TCustomListView(TComponent* owner);
  ~TCustomListView() override;

  TListItems* Items() const { return items_.get(); }
  TViewStyle ViewStyle() const { return viewStyle_; }
  void SetViewStyle(TViewStyle v);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool v);
  bool AutoArrange() const { return autoArrange_; }
  void SetAutoArrange(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  TImageList* LargeImages() const { return largeImages_; }
  void SetLargeImages(TImageList* images);
  TImageList* SmallImages() const { return smallImages_; }
  void SetSmallImages(TImageList* images);
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode m) { dragMode_ = m; }
  bool Dragging() const { return dragging_; }
  TCanvas* Canvas() const { return canvas_.get(); }

  // The first selected item, or nullptr; ItemIndex is its index (-1 for none).
  TListItem* Selected() const;
  void SetSelected(TListItem* item);
  int ItemIndex() const;
  void SetItemIndex(int i);
  int SelCount() const;
  TListItem* ItemFocused() const;
  // The item at a client point, or nullptr.
  TListItem* GetItemAt(int x, int y) const;
  void Arrange();
  void ClearSelection();

  TLVCustomDrawEvent OnCustomDraw;
  TLVCustomDrawItemEvent OnCustomDrawItem;
  TLVSelectItemEvent OnSelectItem;
  TLVDeletedEvent OnDeletion;
  TNotifyEvent OnChange;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TNotifyEvent OnEndDrag;
  void WndProc(TMessage& m) override;

  // Starts carrying this list's selection with the mouse (as an automatic drag does).
  void BeginDrag();
  // Answers whether the control at a screen point accepts this list's drag there.
  bool DragTargetAccepts(POINT screen, TControl** target, POINT* local) const;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Notification(TComponent* c, TOperation op) override;
  virtual void Delete(TListItem* item);

 private:
  friend class TListItems;
  friend class TListItem;
  void ApplyImageLists();
  void EndDragAt(POINT clientPoint, bool drop);
  LRESULT CustomDraw(NMLVCUSTOMDRAW* cd);
  std::unique_ptr<TListItems> items_;
  std::unique_ptr<TControlCanvas> canvas_;
  TViewStyle viewStyle_ = TViewStyle::vsIcon;
  bool multiSelect_ = false, readOnly_ = false, hideSelection_ = true, autoArrange_ = true;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  void LinkImageList(TImageList* images);
  TImageList* largeImages_ = nullptr;
  TImageList* smallImages_ = nullptr;
  TDragMode dragMode_ = TDragMode::dmManual;
  bool dragging_ = false;
  bool recreating_ = false;
  int updatingRows_ = 0;
};
class TListView : public TCustomListView {
  KIVO_CLASS(TListView, TCustomListView)
  static void Publish(TPublisher<TListView>& p);
  using TCustomListView::TCustomListView;
};

}  // namespace kivo
