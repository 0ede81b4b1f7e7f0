// Standard controls: labels, buttons, check boxes, radio buttons, group boxes, edits, memos, combo
// boxes, list boxes and scroll bars. The windowed ones superclass the system classes under the
// library's class names; their notifications come back to them as CN_ messages.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ExtCtrls.h"
#include "Forms.h"
#include "Strings.h"

namespace kivo {

enum class TTextLayout { tlTop, tlCenter, tlBottom };

// A line of text drawn by its parent (no window).
class TCustomLabel : public TGraphicControl {
  KIVO_CLASS(TCustomLabel, TGraphicControl)
  explicit TCustomLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout l);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);
  // The control that gets the focus on the label's accelerator.
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* c);
  void WndProc(TMessage& m) override;

 protected:
  void Paint() override;
  void Notification(TComponent* c, TOperation op) override;
  void Loaded() override;
  void AdjustBounds();
  UINT DrawFlags() const;

 private:
  TAlignment alignment_ = TAlignment::taLeftJustify;
  bool autoSize_ = true;
  TTextLayout layout_ = TTextLayout::tlTop;
  bool transparent_ = false;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};
class TLabel : public TCustomLabel {
  KIVO_CLASS(TLabel, TCustomLabel)
  static void Publish(TPublisher<TLabel>& p);
  using TCustomLabel::TCustomLabel;
};

// A line of text in a window of its own (the system's static control): other programs can read
// it as the window's text. Transparent draws the text on the parent's colour.
class TCustomStaticText : public TWinControl {
  KIVO_CLASS(TCustomStaticText, TWinControl)
  explicit TCustomStaticText(TComponent* owner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;

 private:
  TAlignment alignment_ = TAlignment::taLeftJustify;
  bool transparent_ = false;
  bool showAccelChar_ = true;
};
class TStaticText : public TCustomStaticText {
  KIVO_CLASS(TStaticText, TCustomStaticText)
  static void Publish(TPublisher<TStaticText>& p);
  using TCustomStaticText::TCustomStaticText;
};

// ---- Buttons ----------------------------------------------------------------------------------
class TButtonControl : public TWinControl {
  KIVO_CLASS(TButtonControl, TWinControl)
  explicit TButtonControl(TComponent* owner);
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  // BN_CLICKED from the system button (user click or keyboard).
  virtual void ButtonClicked() { Click(); }
};

// A push button. Click sets the parent form's ModalResult when it has one; the default button
// takes Enter and the cancel button Escape from the form.
class TButton : public TButtonControl {
  KIVO_CLASS(TButton, TButtonControl)
  static void Publish(TPublisher<TButton>& p);
  explicit TButton(TComponent* owner);
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  void Click() override;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;

 private:
  TModalResult modalResult_ = mrNone;
  bool default_ = false;
  bool cancel_ = false;
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum class TLeftRight { taLeftJustify, taRightJustify };

// A check box. Its state changes by a click (unchecked, checked, grayed when AllowGrayed) or from
// code; either way OnClick fires only when the state really changes, then CM_STATECHANGED.
class TCustomCheckBox : public TButtonControl {
  KIVO_CLASS(TCustomCheckBox, TButtonControl)
  explicit TCustomCheckBox(TComponent* owner);
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState s);
  bool Checked() const { return state_ == TCheckBoxState::cbChecked; }
  void SetChecked(bool v) { SetState(v ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool v) { allowGrayed_ = v; }
  TLeftRight Alignment() const { return alignment_; }
  void SetAlignment(TLeftRight a);

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void ButtonClicked() override;
  virtual void Toggle();

 private:
  TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
  bool allowGrayed_ = false;
  TLeftRight alignment_ = TLeftRight::taRightJustify;
};
class TCheckBox : public TCustomCheckBox {
  KIVO_CLASS(TCheckBox, TCustomCheckBox)
  static void Publish(TPublisher<TCheckBox>& p);
  using TCustomCheckBox::TCustomCheckBox;
};

// A radio button: checking it unchecks the other radio buttons of its parent. A click on an
// unchecked one checks it; OnClick fires only on a change, from code too.
class TRadioButton : public TButtonControl {
  KIVO_CLASS(TRadioButton, TButtonControl)
  static void Publish(TPublisher<TRadioButton>& p);
  explicit TRadioButton(TComponent* owner);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  TLeftRight Alignment() const { return alignment_; }
  void SetAlignment(TLeftRight a);

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void ButtonClicked() override;

 private:
  bool checked_ = false;
  TLeftRight alignment_ = TLeftRight::taRightJustify;
};

// A framed container with a caption.
class TCustomGroupBox : public TCustomControl {
  KIVO_CLASS(TCustomGroupBox, TCustomControl)
  explicit TCustomGroupBox(TComponent* owner);
  void WndProc(TMessage& m) override;

 protected:
  void Paint() override;
  void AlignControls(TControl* control, RECT& rect) override;
};
class TGroupBox : public TCustomGroupBox {
  KIVO_CLASS(TGroupBox, TCustomGroupBox)
  static void Publish(TPublisher<TGroupBox>& p);
  using TCustomGroupBox::TCustomGroupBox;
};

// ---- Edits ------------------------------------------------------------------------------------
enum class TBorderStyle { bsNone, bsSingle };
enum class TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TCustomEdit : public TWinControl {
  KIVO_CLASS(TCustomEdit, TWinControl)
  explicit TCustomEdit(TComponent* owner);

  // Changed by the user since the text was last set from code (or Modified set false).
  bool Modified() const;
  void SetModified(bool v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  wchar_t PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(wchar_t c);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  TEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TEditCharCase c);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool v) { autoSelect_ = v; }
  int SelStart() const;
  void SetSelStart(int v);
  int SelLength() const;
  void SetSelLength(int v);
  std::wstring SelText() const;
  void SetSelText(const std::wstring& s);
  void SelectAll();
  void Clear() { SetText(L""); }

  // EN_CHANGE: the text changed, by the user or from code.
  TNotifyEvent OnChange;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  virtual void Change();

 private:
  bool modified_ = false;
  bool readOnly_ = false;
  int maxLength_ = 0;
  wchar_t passwordChar_ = 0;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  TEditCharCase charCase_ = TEditCharCase::ecNormal;
  bool autoSelect_ = true;
  bool creating_ = false;
  int selStart_ = 0, selLength_ = 0;
};
class TEdit : public TCustomEdit {
  KIVO_CLASS(TEdit, TCustomEdit)
  static void Publish(TPublisher<TEdit>& p);
  using TCustomEdit::TCustomEdit;
};

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line edit whose Lines are the lines of its text.
class TCustomMemo : public TCustomEdit {
  KIVO_CLASS(TCustomMemo, TCustomEdit)
  explicit TCustomMemo(TComponent* owner);
  ~TCustomMemo() override;
  TStrings* Lines() const { return lines_.get(); }
  void SetLines(TStrings* s) { lines_->Assign(s); }
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool v) { wantReturns_ = v; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool v) { wantTabs_ = v; }
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;

 private:
  class TMemoStrings;
  std::unique_ptr<TStrings> lines_;
  TScrollStyle scrollBars_ = TScrollStyle::ssNone;
  bool wordWrap_ = true;
  bool wantReturns_ = true;
  bool wantTabs_ = false;
};
class TMemo : public TCustomMemo {
  KIVO_CLASS(TMemo, TCustomMemo)
  static void Publish(TPublisher<TMemo>& p);
  using TCustomMemo::TCustomMemo;
};

// ---- Item lists (combo and list boxes) --------------------------------------------------------
using TOwnerDrawState = uint16_t;  // ODS_ bits: odSelected 1, odGrayed 2, odDisabled 4, odChecked 8, odFocused 0x10
constexpr TOwnerDrawState odSelected = ODS_SELECTED, odGrayed = ODS_GRAYED, odDisabled = ODS_DISABLED,
                          odChecked = ODS_CHECKED, odFocused = ODS_FOCUS, odDefault = ODS_DEFAULT;
using TDrawItemEvent = std::function<void(TWinControl* control, int index, const RECT& rect, TOwnerDrawState state)>;
using TMeasureItemEvent = std::function<void(TWinControl* control, int index, int& height)>;

// The items of a combo or list box: kept in the object (they outlive the window) and mirrored
// into the window while there is one.
class TControlItems : public TStrings {
  KIVO_CLASS(TControlItems, TStrings)
  struct TMessages {
    UINT Insert, Delete, Reset;
  };
  TControlItems(TWinControl* control, TMessages messages) : control_(control), msgs_(messages) {}
  int Count() const override { return static_cast<int>(items_.size()); }
  std::wstring Get(int index) const override;
  void Put(int index, const std::wstring& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  void Insert(int index, const std::wstring& s) override;
  void Delete(int index) override;
  void Clear() override;
  // Puts every item into the (new) window.
  void FillWindow();

 private:
  void InsertIntoWindow(int index);
  struct Item {
    std::wstring s;
    TObject* obj = nullptr;
  };
  TWinControl* control_;
  TMessages msgs_;
  std::vector<Item> items_;
};

// What combo and list boxes share: their items, the canvas and events of owner drawing and the
// default drawing of an item (highlight and text).
class TItemListControl : public TWinControl {
  KIVO_CLASS(TItemListControl, TWinControl)
  ~TItemListControl() override;
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* s) { items_->Assign(s); }
  TCanvas* Canvas() const { return canvas_.get(); }

  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;

 protected:
  TItemListControl(TComponent* owner, TControlItems::TMessages messages);
  virtual void DrawItem(int index, const RECT& rect, TOwnerDrawState state);

  std::unique_ptr<TControlItems> items_;
  std::unique_ptr<TControlCanvas> canvas_;
};

enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

// A combo box. OnChange fires when the user picks an item or edits the text; ItemIndex set from
// code does not fire it.
class TCustomComboBox : public TItemListControl {
  KIVO_CLASS(TCustomComboBox, TItemListControl)
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;

  int ItemIndex() const;
  void SetItemIndex(int i);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle s);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int n);
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int h);
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  std::wstring GetText() const override;
  void SetText(const std::wstring& s) override;

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void ApplyBounds(int left, int top, int width, int height) override;
  virtual void Change();

 private:
  int itemIndex_ = -1;
  TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
  int dropDownCount_ = 8;
  int itemHeight_ = 16;
};
class TComboBox : public TCustomComboBox {
  KIVO_CLASS(TComboBox, TCustomComboBox)
  static void Publish(TPublisher<TComboBox>& p);
  using TCustomComboBox::TCustomComboBox;
};

enum class TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };

// A list box; owner-drawn styles draw each item through OnDrawItem on Canvas. A selection by the
// user fires OnClick.
class TCustomListBox : public TItemListControl {
  KIVO_CLASS(TCustomListBox, TItemListControl)
  explicit TCustomListBox(TComponent* owner);
  ~TCustomListBox() override;

  int ItemIndex() const;
  void SetItemIndex(int i);
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle s);
  int ItemHeight() const;
  void SetItemHeight(int h);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool Selected(int index) const;
  void SetSelected(int index, bool v);
  int SelCount() const;
  int TopIndex() const;
  void SetTopIndex(int i);
  int ItemAtPos(POINT p, bool existing) const;
  RECT ItemRect(int index) const;
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  void Clear() { items_->Clear(); }

  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void DestroyWnd() override;

 private:
  int itemIndex_ = -1;
  TListBoxStyle style_ = TListBoxStyle::lbStandard;
  int itemHeight_ = 16;
  bool multiSelect_ = false;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
};
class TListBox : public TCustomListBox {
  KIVO_CLASS(TListBox, TCustomListBox)
  static void Publish(TPublisher<TListBox>& p);
  using TCustomListBox::TCustomListBox;
};

// ---- Scroll bar -------------------------------------------------------------------------------
enum class TScrollBarKind { sbHorizontal, sbVertical };
// In the order of the SB_ codes.
enum class TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* sender, TScrollCode code, int& scrollPos)>;

// A scroll bar. Each scroll action (thumb drags included, as scTrack) goes to OnScroll with the
// position it leads to, which the handler may change; the bar then takes that position (OnChange
// when it differs).
class TScrollBar : public TWinControl {
  KIVO_CLASS(TScrollBar, TWinControl)
  static void Publish(TPublisher<TScrollBar>& p);
  explicit TScrollBar(TComponent* owner);

  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind k);
  int Min() const { return min_; }
  void SetMin(int v) { SetParams(position_, v, max_); }
  int Max() const { return max_; }
  void SetMax(int v) { SetParams(position_, min_, v); }
  int Position() const { return position_; }
  void SetPosition(int v) { SetParams(v, min_, max_); }
  void SetParams(int position, int min, int max);
  int SmallChange() const { return smallChange_; }
  void SetSmallChange(int v) { smallChange_ = v; }
  int LargeChange() const { return largeChange_; }
  void SetLargeChange(int v) { largeChange_ = v; }
  int PageSize() const { return pageSize_; }
  void SetPageSize(int v);

  TNotifyEvent OnChange;
  TScrollEvent OnScroll;
  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  virtual void Change();
  virtual void Scroll(TScrollCode code, int& pos);

 private:
  void UpdateScrollInfo();
  int MaxPosition() const;
  TScrollBarKind kind_ = TScrollBarKind::sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0;
  int smallChange_ = 1, largeChange_ = 1, pageSize_ = 0;
};

}  // namespace kivo
