// The skin data component: holds a skin file's bytes, loads it through the skin archive and the
// skin ini reader, and turns the ini's sections into skin objects (pictures with margins, frame
// counts and colours), caption-button definitions, a colour table and a few pictures it makes
// itself. The windows and control skinners read these objects, never the ini.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Controls.h"
#include "Graphics.h"
#include "ImgList.h"
#include "Pictures.h"
#include "Streams.h"
#include "Strings.h"

namespace kivo {

class TSkinReader;
class TQuickIni;
class TSkinControl;

// What gets skinned (bits of TSkinControlTypes, in this order).
enum TSkinControlType : uint32_t {
  xcMainMenu, xcPopupMenu, xcMenuItem, xcToolbar, xcControlbar, xcCombo, xcCheckBox, xcRadioButton,
  xcProgress, xcScrollbar, xcEdit, xcButton, xcBitBtn, xcSpeedButton, xcSpin, xcPanel, xcGroupBox,
  xcStatusBar, xcTab, xcTrackBar, xcSystemMenu, xcFastReport
};
using TSkinControlTypes = uint32_t;
enum TSkinOption : uint32_t {
  xoMDIScrollbar, xoMenuMerge, xoTransparent, xoPreview, xoParentBackGround, xoNoFocusRect, xoToolbarBK,
  xoToolbarButton, xoMDIChildBorder, xoMenuBG, xoFormScrollbar
};
using TSkinOptions = uint32_t;
constexpr uint32_t SkinBit(uint32_t value) { return 1u << value; }
enum class TSkinFormType { sfMainform, sfOnlyThisForm, sfDialog, sfDLL };

// Indices of TSkinData::Colors (the [Colours] keys); 9, 10 and 17 are not read.
enum TSkinColorIndex : int {
  scWindowText = 0, scTitleTextActive = 1, scTitleTextNoActive = 2, scButtonFace = 3, scButtonText = 4,
  scButtonHilight = 5, scButtonlight = 6, scButtonShadow = 7, scButtonDkShadow = 8, scHilightText = 11,
  scHilight = 12, scMenubar = 13, scMenuBarText = 14, scMenuText = 15, scMenu = 16, scScrollbar = 18,
  scColorCount = 19
};

// A skin picture: frames of equal size side by side, numbered from 1, with margins and flags.
class TDataSkinObject : public TObject {
  KIVO_CLASS(TDataSkinObject, TObject)
 public:
  explicit TDataSkinObject(const std::wstring& name);
  ~TDataSkinObject() override;
  // (LeftWidth, TopHeight, RightWidth, BottomHeight)
  RECT Margins() const { return RECT{LeftWidth, TopHeight, RightWidth, BottomHeight}; }
  bool HasPicture() const { return !Bitmap->Empty(); }

  std::wstring Name;
  int LeftWidth = 0, TopHeight = 0, RightWidth = 0, BottomHeight = 0;
  TObjectPtr<TBitmap> Bitmap;  // never null; empty when the skin has no picture
  int Trans = 0, Tile = 0, Frame = 0, Style = 0;
  int NormalColour = -1, MouseOverColour = -1, PressedColour = -1;
  TColor NormalColour2 = clBtnText, MouseOverColour2 = clBtnText, PressedColour2 = clBtnText;
};

class TDataSkinBorder : public TDataSkinObject {
  KIVO_CLASS(TDataSkinBorder, TDataSkinObject)
 public:
  explicit TDataSkinBorder(const std::wstring& name);
  ~TDataSkinBorder() override;
  TObjectPtr<TBitmap> Bitmap2;
};

class TDataSkinButton : public TDataSkinObject {
  KIVO_CLASS(TDataSkinButton, TDataSkinObject)
 public:
  explicit TDataSkinButton(const std::wstring& name);
  ~TDataSkinButton() override;
  TObjectPtr<TBitmap> CheckBitmap, RadioBitmap;
  int RadioButtonFrame = 0, CheckButtonFrame = 0;
  // NormalColour2, MouseOverColour2, PressedColour2 given by the skin
  std::array<bool, 3> HasColour2{};
};

class TDataSkinTitle : public TDataSkinObject {
  KIVO_CLASS(TDataSkinTitle, TDataSkinObject)
 public:
  using TDataSkinObject::TDataSkinObject;
  int TextAlignment = 0, Textbackground = 0, FontHeight = 14, TXTBackleft = 0, TXTBackRight = 0;
  TColor ActiveText = clNone, InActiveText = clNone;  // clNone (0x1FFFFFFF): not given
};

class TDataSkinSysButton : public TDataSkinObject {
  KIVO_CLASS(TDataSkinSysButton, TDataSkinObject)
 public:
  using TDataSkinObject::TDataSkinObject;
  int Action = 0, Align = 0, Xcoord = 0, Ycoord = 0, CombineOp = -1, Visibility = 0, Visibility1 = 0;
};

class TDataSkinBoxLabel : public TDataSkinObject {
  KIVO_CLASS(TDataSkinBoxLabel, TDataSkinObject)
 public:
  using TDataSkinObject::TDataSkinObject;
  int BackgroundLeftShift = 0, BackgroundRightShift = 0, BackgroundAlignment = 0;
};

// Colour values of the skin ini: up to three decimal numbers separated by anything ("255,0,255",
// "255 0 255"); a number counts once a separator ends it (the third also at the end of the
// text); each is taken modulo 256, missing ones are 0.
TColor ParseSkinColor(const std::wstring& value);

class TSkinData : public TComponent {
  KIVO_CLASS(TSkinData, TComponent)
  static void Publish(TPublisher<TSkinData>& p);

  explicit TSkinData(TComponent* owner);
  ~TSkinData() override;

  // ---- published --------------------------------------------------------------------------------
  bool Active() const { return active_; }
  void SetActive(bool value);
  int DisableTag() const { return disableTag_; }
  void SetDisableTag(int v) { disableTag_ = v; }
  TSkinControlTypes SkinControls() const { return skinControls_; }
  void SetSkinControls(TSkinControlTypes v) { skinControls_ = v; }
  TSkinOptions Options() const { return options_; }
  void SetOptions(TSkinOptions v) { options_ = v; }
  TStrings* Skin3rd() const { return skin3rd_.get(); }
  void SetSkin3rd(TStrings* list);  // copies the lines
  std::wstring SkinFile() const { return skinFile_; }
  void SetSkinFile(const std::wstring& name);
  std::wstring SkinStore() const { return GetSkinStore(); }
  void SetSkinStore(const std::wstring&) {}
  TSkinFormType SkinFormtype() const { return formType_; }
  void SetSkinFormtype(TSkinFormType v) { formType_ = v; }
  std::wstring Version() const { return L"5.03.07.12"; }
  void SetVersion(const std::wstring&) {}
  bool MenuUpdate() const { return menuUpdate_; }
  void SetMenuUpdate(bool v) { menuUpdate_ = v; }
  bool MenuMerge() const { return menuMerge_; }
  void SetMenuMerge(bool v) { menuMerge_ = v; }

  std::function<void(TObject* sender, const std::wstring& aName, bool& doSkin)> OnFormSkin;
  TNotifyEvent OnSkinChanged;
  std::function<void(TObject* sender, TSkinData* skinData, TWinControl* form, TControl* control,
                     const std::wstring& controlClass, TSkinControl*& skinnedControl)>
      OnSkinControl;
  std::function<void(TObject* sender, HWND ahwnd, const std::wstring& aName)> OnBeforeSkinForm, OnAfterSkinForm;

  // The stored SkinStream property: int32 byte count, then the skin file's bytes.
  void ReadSkinStream(TStream& stream);
  void WriteSkinStream(TStream& stream) const;

  // ---- loading ------------------------------------------------------------------------------------
  // Unpacks SkinBytes and interprets the ini; false when the archive was not read.
  bool LoadSkin();
  std::wstring GetSkinStore() const { return L"(none)"; }
  void FormSkinFilter(HWND wnd, const std::wstring& className, bool& doSkin);
  void DoSkinChanged();
  // A component placed into the already skinned window of hostForm is skinned as part of it.
  void SkinComponent(TWinControl* hostForm, TComponent* component);
  // The controls of hostForm (or only control and its children) are dispatched again.
  void UpdateSkinControl(TWinControl* hostForm, TControl* control);
  // The colour of the Top border's picture a third in; ButtonFace without a picture.
  TColor TitleColor() const;
  void ReadCaptionFont();
  void BuildAppIcon();
  TColor Color(int index) const { return Colors[static_cast<std::size_t>(index)]; }

  // ---- owned state --------------------------------------------------------------------------------
  TMemoryStream SkinBytes;
  bool NoSkin = true;
  bool FramePainting = true;
  std::wstring SkinName;
  std::array<TColor, scColorCount> Colors{};
  std::array<bool, scColorCount> ColorGiven{};
  std::vector<TColor> SectionColors;
  std::array<TColor, 10> CustomColors{};
  TBrushOwner FaceBrush;
  TObjectPtr<TBitmap> AppIcon;
  TObjectPtr<TFont> CaptionFont;
  TObjectPtr<TImageList> MenuGlyphs;

  TObjectPtr<TDataSkinBorder> LeftBorder, RightBorder, TopBorder, BottomBorder;
  TObjectPtr<TDataSkinTitle> Title;
  TObjectPtr<TDataSkinButton> Buttons;
  std::vector<TObjectPtr<TDataSkinSysButton>> SysButtons;
  TObjectPtr<TDataSkinBorder> Progress;
  TObjectPtr<TDataSkinObject> ProgressChunk, MenuBar, GroupBoxEdge;
  TObjectPtr<TDataSkinBoxLabel> GroupBox;
  TObjectPtr<TDataSkinBorder> Tabs;
  TObjectPtr<TDataSkinObject> StatusBarEdges, TabPane, ToolBars;
  TObjectPtr<TDataSkinBorder> ComboButton;
  TObjectPtr<TDataSkinObject> SunkEdge, ExtraImages, Headerbar, MenuItem, MenuBackground, Scrollbar, HorzScroll,
      VertScroll, HorzScrollThumb, VertScrollThumb, TrackbarThumbHorz, TrackbarThumbVert, TrackbarThumbLeft,
      TrackbarThumbRight, TrackbarThumbUp, TrackbarThumbDown;
  TObjectPtr<TDataSkinBorder> UpDownHorz, UpDownVert;
  TObjectPtr<TDataSkinObject> Track, TrackVert, ComboxArrow, Toolbar;

 protected:
  void Loaded() override;

 private:
  void Interpret();
  void LoadSkinBitmap(TBitmap* bitmap, const std::wstring& value);
  void ReadBorders();
  void ReadColours();
  void ReadColour(int index, const std::wstring& key, TColor def);
  void ReadSysButtons(const std::vector<std::wstring>& sections);
  void ReadMDIControls();
  void ReadButtons();
  void ReadTitle();
  void ReadMenuBar();
  // The picture, Style, margins, Trans and Tile (as written) of an object section.
  void ReadPictureLayout(const std::wstring& section, const std::wstring& picture, TDataSkinObject* o);
  template <class T>
  TObjectPtr<T> ReadObject(const std::wstring& section, const std::wstring& key, bool readFrame);
  TObjectPtr<TDataSkinBorder> ReadBorderObject(const std::wstring& section, const std::wstring& key2);
  TObjectPtr<TDataSkinBorder> ReadBitmapObject(const std::wstring& section);
  TObjectPtr<TDataSkinBoxLabel> ReadBoxLabel(const std::wstring& section);
  TObjectPtr<TDataSkinObject> LoadResourceObject(const std::wstring& name);
  void SetFrameCounts();
  void BuildComboImages();
  void BuildComboArrow();
  void BuildToolbarImage();
  void SkinFileChanged();

  bool active_ = false;
  int disableTag_ = 99;
  TSkinControlTypes skinControls_;
  TSkinOptions options_;
  TObjectPtr<TStringList> skin3rd_;
  std::wstring skinFile_;
  TSkinFormType formType_ = TSkinFormType::sfMainform;
  bool menuUpdate_ = true;
  bool menuMerge_ = false;
  bool loadedOnce_ = false;
  // the archive and ini of the load in progress
  const TSkinReader* reader_ = nullptr;
  const TQuickIni* ini_ = nullptr;
};

// ---- shared routines of the skin engine --------------------------------------------------------
// The first `count` characters (all of them for -1).
std::wstring WideLeft(const wchar_t* chars, int count);
// DrawTextW of the text.
int SkinDrawText(HDC dc, const std::wstring& text, RECT& r, UINT format);
// The GUI library control of a window (nullptr for window 0 or a window of none).
TWinControl* ControlOfWindow(HWND wnd);
// GetScrollBarInfo when user32 has it (false otherwise).
bool SkinGetScrollBarInfo(HWND wnd, LONG objectId, SCROLLBARINFO* info);
// Asks for WM_MOUSELEAVE when user32 has TrackMouseEvent.
void SkinTrackMouseLeave(HWND wnd);
// user32 entry points that may be missing, looked up once by name.
struct TSkinUser32 {
  BOOL(WINAPI* GetScrollBarInfo)(HWND, LONG, PSCROLLBARINFO) = nullptr;
  BOOL(WINAPI* TrackMouseEvent)(LPTRACKMOUSEEVENT) = nullptr;
  BOOL(WINAPI* GetComboBoxInfo)(HWND, PCOMBOBOXINFO) = nullptr;
  void(WINAPI* DisableProcessWindowsGhosting)() = nullptr;
};
const TSkinUser32& SkinUser32();

}  // namespace kivo
