#include "SkinData.h"

#include "SkinManager.h"

#include <algorithm>

#include "Forms.h"
#include "QuickIni.h"
#include "SkinArchive.h"
#include "SkinBitmaps.h"
#include "SkinDraw.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TDataSkinObject)
KIVO_IMPLEMENT_CLASS(TDataSkinBorder)
KIVO_IMPLEMENT_CLASS(TDataSkinButton)
KIVO_IMPLEMENT_CLASS(TDataSkinTitle)
KIVO_IMPLEMENT_CLASS(TDataSkinSysButton)
KIVO_IMPLEMENT_CLASS(TDataSkinBoxLabel)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TSkinData)

namespace {

TObjectPtr<TBitmap> NewBitmap() { return TObjectPtr<TBitmap>(new TBitmap()); }

const wchar_t* const kDefaultSkin3rd[] = {
    L"TCategoryButtons=scrollbar", L"TPngSpeedbutton=pngspeedbutton", L"TPngBitBtn=pngbitbtn",
    L"TVirtualStringTree=scrollbar", L"TVirtualDrawTree=scrollbar", L"TTBXDockablePanel=Panel",
    L"TAdvPanelGroup=scrollbar", L"TComboboxex=combobox", L"TRxSpeedButton=speedbutton",
    L"THTMLViewer=scrollbar", L"TDBCtrlGrid=scrollbar", L"TfrSpeedButton=speedbutton",
    L"TfrTBButton=speedbutton", L"TControlBar=Panel", L"TTBDock=Panel", L"TTBToolbar=Panel",
    L"TImageEnMView=scrollbar", L"TImageEnView=scrollbar", L"TAdvMemo=scrollbar", L"TDBAdvMemo=scrollbar",
    L"TcxDBLookupComboBox=combobox", L"TcxDBComboBox=combobox", L"TcxDBDateEdit=combobox",
    L"TcxDBImageComboBox=combobox", L"TcxDBCalcEdit=combobox", L"TcxDBBlobEdit=combobox",
    L"TcxDBPopupEdit=combobox", L"TcxDBFontNameComboBox=combobox", L"TcxDBShellComboBox=combobox",
    L"TRxLookupEdit=combobox", L"TRxDBLookupCombo=combobox", L"TRzGroup=panel", L"TRzButton=button",
    L"TRzBitbtn=bitbtn", L"TRzMenuButton=menubtn", L"TRzCheckGroup=CheckGroup", L"TRzRadioGroup=Radiogroup",
    L"TRzButtonEdit=Edit", L"TRzDBRadioGroup=Radiogroup", L"TRzDBRadioButton=Radiobutton",
    L"TRzDateTimeEdit=combobox", L"TRzColorEdit=combobox", L"TRzDateTimePicker=combobox",
    L"TRzDBDateTimeEdit=combobox", L"TRzDbColorEdit=combobox", L"TRzDBDateTimePicker=combobox",
    L"TLMDButton=bitbtn", L"TLMDGroupBox=Groupbox", L"TDBCheckboxEh=Checkbox", L"TDBCheckboxEh=Checkbox",
    L"TLMDCHECKBOX=Checkbox", L"TLMDDBCHECKBOX=Checkbox", L"TLMDRadiobutton=Radiobutton",
    L"TLMDCalculator=panel", L"TLMDGROUPBOX=Panel", L"TLMDSIMPLEPANEL=Panel", L"TLMDDBCalendar=Panel",
    L"TLMDButtonPanel=Panel", L"TLMDLMDCalculator=Panel", L"TLMDHeaderPanel=Panel", L"TLMDTechnicalLine=Panel",
    L"TLMDLMDClock=Panel", L"TLMDTrackbar=panel", L"TLMDListCombobox=combobox",
    L"TLMDCheckListCombobox=combobox", L"TLMDHeaderListCombobox=combobox", L"TLMDImageCombobox=combobox",
    L"TLMDColorCombobox=combobox", L"TLMDFontCombobox=combobox", L"TLMDFontSizeCombobox=combobox",
    L"TLMDFontSizeCombobox=combobox", L"TLMDPrinterCombobox=combobox", L"TLMDDriveCombobox=combobox",
    L"TLMDCalculatorComboBox=combobox", L"TLMDTrackBarComboBox=combobox", L"TLMDCalendarComboBox=combobox",
    L"TLMDTreeComboBox=combobox", L"TLMDRADIOGROUP=radiogroup", L"TLMDCheckGroup=CheckGroup",
    L"TLMDDBRADIOGROUP=radiogroup", L"TLMDDBCheckGroup=CheckGroup", L"TLMDCalculatorEdit=edit",
    L"TLMDEDIT=Edit", L"TLMDMASKEDIT=Edit", L"TLMDBROWSEEDIT=Edit", L"TLMDEXTSPINEDIT=Edit",
    L"TLMDCALENDAREDIT=Edit", L"TLMDFILEOPENEDIT=Edit", L"TLMDFILESAVEEDIT=Edit", L"TLMDCOLOREDIT=Edit",
    L"TLMDDBEDIT=Edit", L"TLMDDBMASKEDIT=Edit", L"TLMDDBEXTSPINEDIT=Edit", L"TLMDDBSPINEDIT=Edit",
    L"TLMDDBEDITDBLookup=Edit", L"TLMDEDITDBLookup=Edit", L"TDBLookupCombobox=Combobox",
    L"TWWDBCombobox=Combobox", L"TWWDBLookupCombo=Combobox", L"TWWDBCombobox=Combobox", L"TWWKeyCombo=Combobox",
    L"TWWTempKeyCombo=combobox", L"TWWDBDateTimePicker=Combobox", L"TWWRADIOGROUP=radiogroup",
    L"TWWDBEDIT=Edit", L"TcxButton=bitbtn", L"TcxDBRadioGroup=radiogroup", L"TcxRadioGroup=radiogroup",
    L"TcxGroupbox=groupbox", L"TOVCPICTUREFIELD=Edit", L"TOVCDBPICTUREFIELD=Edit", L"TOVCSLIDEREDIT=Edit",
    L"TOVCDBSLIDEREDIT=Edit", L"TOVCSIMPLEFIELD=Edit", L"TOVCDBSIMPLEFIELD=Edit", L"TO32DBFLEXEDIT=Edit",
    L"TOVCNUMERICFIELD=Edit", L"TOVCDBNUMERICFIELD=Edit"};

const std::vector<std::wstring>& ControlTypeNames() {
  static const std::vector<std::wstring> names = {
      L"xcMainMenu", L"xcPopupMenu", L"xcMenuItem", L"xcToolbar", L"xcControlbar", L"xcCombo",
      L"xcCheckBox", L"xcRadioButton", L"xcProgress", L"xcScrollbar", L"xcEdit", L"xcButton",
      L"xcBitBtn", L"xcSpeedButton", L"xcSpin", L"xcPanel", L"xcGroupBox", L"xcStatusBar",
      L"xcTab", L"xcTrackBar", L"xcSystemMenu", L"xcFastReport"};
  return names;
}

bool StartsWith(const std::wstring& s, const std::wstring& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Names of the bitmap members: the file-name part of an ini value.
std::wstring MemberFileName(const std::wstring& value) {
  const std::size_t slash = value.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? value : value.substr(slash + 1);
}

}  // namespace

// ---- skin objects --------------------------------------------------------------------------------
TDataSkinObject::TDataSkinObject(const std::wstring& name) : Name(name), Bitmap(NewBitmap()) {}
TDataSkinObject::~TDataSkinObject() = default;
TDataSkinBorder::TDataSkinBorder(const std::wstring& name) : TDataSkinObject(name), Bitmap2(NewBitmap()) {}
TDataSkinBorder::~TDataSkinBorder() = default;
TDataSkinButton::TDataSkinButton(const std::wstring& name)
    : TDataSkinObject(name), CheckBitmap(NewBitmap()), RadioBitmap(NewBitmap()) {}
TDataSkinButton::~TDataSkinButton() = default;

TColor ParseSkinColor(const std::wstring& value) {
  const std::wstring s = Trim(value);
  int rgb[3] = {0, 0, 0};
  int found = 0;
  int current = 0;
  bool collecting = false;
  for (wchar_t ch : s) {
    if (ch >= L'0' && ch <= L'9') {
      current = (current * 10 + (ch - L'0')) % 256;
      collecting = true;
    } else if (collecting) {
      if (found < 3) rgb[found++] = current;
      current = 0;
      collecting = false;
    }
  }
  if (collecting && found == 2) rgb[found++] = current;  // only the third may end with the text
  return static_cast<TColor>(RGB(rgb[0], rgb[1], rgb[2]));
}

// ---- TSkinData ------------------------------------------------------------------------------------
void TSkinData::Publish(TPublisher<TSkinData>& p) {
  p.Boolean(L"Active", &TSkinData::Active, &TSkinData::SetActive);
  p.Integer(L"DisableTag", &TSkinData::DisableTag, &TSkinData::SetDisableTag);
  p.Set(L"SkinControls", ControlTypeNames(), &TSkinData::SkinControls, &TSkinData::SetSkinControls);
  p.Set(L"Options",
        {L"xoMDIScrollbar", L"xoMenuMerge", L"xoTransparent", L"xoPreview", L"xoParentBackGround", L"xoNoFocusRect",
         L"xoToolbarBK", L"xoToolbarButton", L"xoMDIChildBorder", L"xoMenuBG", L"xoFormScrollbar"},
        &TSkinData::Options, &TSkinData::SetOptions);
  p.Object(L"Skin3rd", &TSkinData::Skin3rd, &TSkinData::SetSkin3rd);
  p.String(L"SkinFile", &TSkinData::SkinFile, &TSkinData::SetSkinFile);
  p.String(L"SkinStore", &TSkinData::SkinStore, &TSkinData::SetSkinStore);
  p.Enumeration(L"SkinFormtype", {L"sfMainform", L"sfOnlyThisForm", L"sfDialog", L"sfDLL"}, &TSkinData::SkinFormtype,
                &TSkinData::SetSkinFormtype);
  p.String(L"Version", &TSkinData::Version, &TSkinData::SetVersion);
  p.Boolean(L"MenuUpdate", &TSkinData::MenuUpdate, &TSkinData::SetMenuUpdate);
  p.Boolean(L"MenuMerge", &TSkinData::MenuMerge, &TSkinData::SetMenuMerge);
}

TSkinData::TSkinData(TComponent* owner)
    : TComponent(owner),
      skinControls_(((SkinBit(xcFastReport) << 1) - 1) & ~(SkinBit(xcMenuItem) | SkinBit(xcFastReport))),
      options_(SkinBit(xoPreview) | SkinBit(xoToolbarBK)),
      skin3rd_(new TStringList()) {
  for (const wchar_t* line : kDefaultSkin3rd) skin3rd_->Add(line);
  AppIcon.reset(new TBitmap());
  AppIcon->SetPixelFormat(TPixelFormat::pf24bit);
  Buttons.reset(new TDataSkinButton(L"Buttons"));
  LeftBorder.reset(new TDataSkinBorder(L"Left"));
  RightBorder.reset(new TDataSkinBorder(L"Right"));
  TopBorder.reset(new TDataSkinBorder(L"Top"));
  BottomBorder.reset(new TDataSkinBorder(L"Bottom"));
  Title.reset(new TDataSkinTitle(L"Title"));
  MenuGlyphs.reset(new TImageList(nullptr));
  MenuGlyphs->SetWidth(16);
  MenuGlyphs->SetHeight(16);
  try {
    TBitmap glyphs;
    glyphs.LoadFromResourceName(HInstance(), L"TESSELMENU");
    MenuGlyphs->AddMasked(&glyphs, clWhite);
  } catch (const EInvalidGraphic&) {
    // a program without the glyph resource has a system menu without images
  }
  NoSkin = true;
  FramePainting = true;
}

TSkinData::~TSkinData() {
  if (TSkinManage* m = SkinManager()) m->UnregisterSkinData(this);
}

void TSkinData::SetSkin3rd(TStrings* list) {
  if (list) skin3rd_->Assign(list);
  else skin3rd_->Clear();
}

void TSkinData::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (IsLoading()) return;
  TSkinManage* m = SkinManager();
  if (!m) return;  // Loaded acts on Active
  switch (formType_) {
    case TSkinFormType::sfMainform:
      if (value) {
        if (NoSkin) return;
        m->Subject = this;
        m->Schedule(maActivate, 250);
        m->Phase = 1;
      } else {
        m->Subject = this;
        m->Schedule(maDeactivate, 250);
      }
      break;
    case TSkinFormType::sfOnlyThisForm:
      m->Subject = this;
      if (value && NoSkin) return;
      m->Schedule(value ? maActivate : maDeactivate, 250);
      break;
    default:
      break;
  }
}

void TSkinData::SetSkinFile(const std::wstring& name) {
  NoSkin = true;
  skinFile_ = name;
  if (!FileExists(name)) return;  // the program stays unskinned
  SkinBytes.LoadFromFile(name);
  LoadSkin();
  SkinFileChanged();
}

void TSkinData::SkinFileChanged() {
  if (IsLoading()) return;  // Loaded follows when the owner has been read
  if (!loadedOnce_ || !SkinManager()) Loaded();
  TSkinManage* m = SkinManager();
  if (!m) return;
  m->Subject = this;
  m->ReleaseButtonsOf(this);
  if (m->Phase == 1) m->Schedule(maSkinChanged, 250);
}

void TSkinData::Loaded() {
  inherited::Loaded();
  loadedOnce_ = true;
  if (!SkinUser32().GetScrollBarInfo) skinControls_ &= ~SkinBit(xcScrollbar);
  TSkinManage* m = NeedSkinManager();
  m->RegisterSkinData(this);
  ReadCaptionFont();
  if (formType_ != TSkinFormType::sfMainform) {
    m->Skinning = true;
    m->Phase += 1;
    auto* form = dynamic_cast<TCustomForm*>(Owner());
    if (form && active_ && form->HandleAllocated()) m->SkinWindow(form->HandleIfAllocated());
  } else {
    m->InstallHook();
    if (active_ && NoSkin) active_ = false;
    else if (active_) {
      m->Subject = this;
      m->Schedule(maActivate, 250);
    }
    if (skinControls_ & SkinBit(xcMainMenu)) skinControls_ &= ~SkinBit(xcMenuItem);
    else skinControls_ &= ~SkinBit(xcSystemMenu);
    BuildAppIcon();
  }
}

void TSkinData::ReadSkinStream(TStream& stream) {
  std::int32_t n = 0;
  stream.ReadBuffer(&n, 4);
  if (n <= 0) return;
  SkinBytes.Clear();
  SkinBytes.CopyFrom(stream, n);
  LoadSkin();
}

void TSkinData::WriteSkinStream(TStream& stream) const {
  const std::int32_t n = static_cast<std::int32_t>(SkinBytes.Bytes().size());
  stream.WriteBuffer(&n, 4);
  if (n > 0) stream.WriteBuffer(SkinBytes.Bytes().data(), n);
}

bool TSkinData::LoadSkin() {
  NoSkin = true;
  TSkinReader reader;
  TMemoryStream member;
  SkinBytes.SetPosition(0);
  const bool loaded = reader.Load(SkinBytes);
  if (loaded) {
    TQuickIni ini;
    std::wstring name;
    // an archive without an ini member is no skin
    if (reader.FindMember(L".ini", member, name)) {
      member.SetPosition(0);
      ini.LoadFromStream(&member);
      struct TScope {
        TSkinData* self;
        ~TScope() { self->reader_ = nullptr, self->ini_ = nullptr; }
      } scope{this};
      reader_ = &reader;
      ini_ = &ini;
      Interpret();
    }
  }
  return loaded;
}

void TSkinData::LoadSkinBitmap(TBitmap* bitmap, const std::wstring& value) {
  const std::wstring name = MemberFileName(value);
  if (name.empty() || ExtractFileExt(name) != L".bmp") {
    bitmap->Assign(nullptr);
    return;
  }
  TMemoryStream member;
  reader_->GetMember(name, member);
  if (member.Size() == 0) {
    bitmap->Assign(nullptr);
    return;
  }
  try {
    bitmap->LoadFromBytes(member.Bytes().data(), member.Bytes().size());
  } catch (const EInvalidGraphic&) {
    bitmap->Assign(nullptr);  // a damaged picture is a missing one
  } catch (const EInvalidGraphicOperation&) {
    bitmap->Assign(nullptr);
  }
}

void TSkinData::Interpret() {
  TStringList list;
  ini_->ReadSections(list);
  const std::vector<std::wstring> sections = list.ToVector();
  SkinName = ini_->ReadString(L"TitlebarSkin", L"SkinName", L"");
  ReadBorders();
  ReadColours();
  ReadSysButtons(sections);
  ReadButtons();
  ReadTitle();

  Progress = ReadBitmapObject(L"Progress");
  ProgressChunk = ReadObject<TDataSkinObject>(L"Progress.Chunk", L"Image", true);
  ReadMenuBar();
  GroupBoxEdge = ReadObject<TDataSkinObject>(L"GroupBoxEdge", L"Image", true);
  GroupBox = ReadBoxLabel(L"GroupBox");
  Tabs = ReadBorderObject(L"Tabs", L"Border");
  StatusBarEdges = ReadObject<TDataSkinObject>(L"StatusBarEdges", L"Image", true);
  TabPane = ReadObject<TDataSkinObject>(L"Tab.Pane", L"Image", true);
  if (TabPane) {
    TabPane->LeftWidth = std::min(TabPane->LeftWidth, 4);
    TabPane->TopHeight = std::min(TabPane->TopHeight, 4);
    TabPane->RightWidth = std::min(TabPane->RightWidth, 4);
    TabPane->BottomHeight = std::min(TabPane->BottomHeight, 4);
  }
  ToolBars = ReadObject<TDataSkinObject>(L"ToolBars", L"Image", true);
  ComboButton = ReadBorderObject(L"ComboButton", L"****");
  SunkEdge = ReadObject<TDataSkinObject>(L"SunkEdge", L"Image", true);
  if (ComboButton && ComboButton->HasPicture()) {
    ComboButton->Bitmap2->Assign(ComboButton->Bitmap.get());
    ComboButton->Bitmap2->SetPixelFormat(TPixelFormat::pf24bit);
    MirrorBitmap(ComboButton->Bitmap2.get());
  }
  ExtraImages = ReadObject<TDataSkinObject>(L"ExtraImages", L"Image", true);
  Headerbar = ReadObject<TDataSkinObject>(L"Headerbar", L"Image", true);
  MenuItem = ReadObject<TDataSkinObject>(L"MenuItem", L"Image", true);
  MenuBackground = ReadObject<TDataSkinObject>(L"MenuBackground", L"Image", true);
  Scrollbar = ReadObject<TDataSkinObject>(L"Scrollbar", L"Image", true);
  HorzScroll = ReadObject<TDataSkinObject>(L"HorzScroll", L"Image", true);
  VertScroll = ReadObject<TDataSkinObject>(L"VertScroll", L"Image", true);
  HorzScrollThumb = ReadObject<TDataSkinObject>(L"HorzScrollThumb", L"Image", true);
  VertScrollThumb = ReadObject<TDataSkinObject>(L"VertScrollThumb", L"Image", true);
  TrackbarThumbHorz = ReadObject<TDataSkinObject>(L"Trackbar.ThumbHorz", L"Image", true);
  TrackbarThumbVert = ReadObject<TDataSkinObject>(L"Trackbar.ThumbVert", L"Image", true);
  TrackbarThumbLeft = ReadObject<TDataSkinObject>(L"Trackbar.ThumbLeft", L"Image", true);
  TrackbarThumbRight = ReadObject<TDataSkinObject>(L"Trackbar.ThumbRight", L"Image", true);
  TrackbarThumbUp = ReadObject<TDataSkinObject>(L"Trackbar.ThumbUp", L"Image", true);
  TrackbarThumbDown = ReadObject<TDataSkinObject>(L"Trackbar.ThumbDown", L"Image", true);
  UpDownHorz = ReadBorderObject(L"UpDown.Horz", L"GlyphImage");
  UpDownVert = ReadBorderObject(L"UpDown.Vert", L"GlyphImage");
  Track = ReadObject<TDataSkinObject>(L"Track", L"Image", true);
  TrackVert = ReadObject<TDataSkinObject>(L"TRACKVERT", L"Image", true);
  if (!Track) Track = LoadResourceObject(L"TRACK");
  if (!TrackVert) TrackVert = LoadResourceObject(L"TRACKVERT");

  SetFrameCounts();
  BuildComboImages();
  BuildComboArrow();
  BuildToolbarImage();
  FaceBrush.Reset(::CreateSolidBrush(ColorToRGB(Colors[scButtonFace])));
  NoSkin = false;
}

void TSkinData::ReadBorders() {
  TDataSkinBorder* sides[4] = {LeftBorder.get(), RightBorder.get(), TopBorder.get(), BottomBorder.get()};
  const wchar_t* names[4] = {L"Left", L"Right", L"Top", L"Bottom"};
  for (int i = 0; i < 4; ++i) {
    TDataSkinBorder* b = sides[i];
    const std::wstring side = names[i];
    LoadSkinBitmap(b->Bitmap.get(), ini_->ReadString(L"Personality", side, L""));
    const int first = ini_->ReadInteger(L"Personality", side + L"TopHeight", 0);
    const int second = ini_->ReadInteger(L"Personality", side + L"BotHeight", 0);
    if (i < 2) {
      b->TopHeight = first;
      b->BottomHeight = second;
      b->LeftWidth = b->RightWidth = 0;
    } else {
      b->LeftWidth = first;
      b->RightWidth = second;
      b->TopHeight = b->BottomHeight = 0;
    }
    b->Frame = ini_->ReadInteger(L"Personality", side + L"Frame", 1);
    b->Tile = std::min(ini_->ReadInteger(L"Personality", side + L"Stretch", 1), 1);
    b->Trans = ini_->ReadInteger(L"Personality", side + L"Trans", 1);
  }
}

void TSkinData::ReadColour(int index, const std::wstring& key, TColor def) {
  const std::wstring value = ini_->ReadString(L"Colours", key, L"");
  const auto i = static_cast<std::size_t>(index);
  ColorGiven[i] = !value.empty();
  Colors[i] = value.empty() ? def : ParseSkinColor(value);
}

void TSkinData::ReadColours() {
  Colors.fill(0);
  ColorGiven.fill(false);
  ReadColour(scWindowText, L"WindowText", clWindowText);
  ReadColour(scButtonFace, L"ButtonFace", clBtnFace);
  ReadColour(scScrollbar, L"Scrollbar", clScrollBar);
  ReadColour(scHilightText, L"HilightText", clHighlightText);
  ReadColour(scHilight, L"Hilight", clHighlight);
  ReadColour(scMenubar, L"Menubar", Colors[scButtonFace]);
  ReadColour(scMenu, L"Menu", clMenu);
  ReadColour(scMenuText, L"MenuText", clMenuText);
  ReadColour(scButtonText, L"ButtonText", clBtnText);
  ReadColour(scButtonHilight, L"ButtonHilight", clBtnHighlight);
  ReadColour(scButtonlight, L"Buttonlight", clBtnHighlight);
  ReadColour(scButtonShadow, L"ButtonShadow", clBtnShadow);
  ReadColour(scButtonDkShadow, L"ButtonDkShadow", cl3DDkShadow);
  ReadColour(scMenuBarText, L"MenuBarText", clMenuText);
  ReadColour(scTitleTextActive, L"TitleTextActive", clCaptionText);
  ReadColour(scTitleTextNoActive, L"TitleTextNoActive", MakeSysColor(COLOR_INACTIVECAPTIONTEXT));

  TStringList list;
  ini_->ReadSections(list);
  SectionColors.clear();
  for (const std::wstring& section : list.ToVector()) {
    const std::wstring upper = UpperCase(section);
    if (StartsWith(upper, L"COLOUR") && upper != L"COLOURS") {
      const std::wstring value = ini_->ReadString(section, L"color", L"");
      SectionColors.push_back(value.empty() ? clWindowText : ParseSkinColor(value));
    }
  }
  for (int i = 0; i < 10; ++i) {
    const std::wstring value = ini_->ReadString(L"Customcolors", L"Color" + std::to_wstring(i), L"");
    CustomColors[static_cast<std::size_t>(i)] = value.empty() ? clWhite : ParseSkinColor(value);
  }
}

void TSkinData::ReadSysButtons(const std::vector<std::wstring>& sections) {
  SysButtons.clear();
  std::vector<std::wstring> kept;
  for (const std::wstring& section : sections) {
    const std::wstring upper = UpperCase(section);
    if (!StartsWith(upper, L"BUTTON") || upper == L"BUTTONS" || upper == L"BUTTON_RADIO" ||
        upper == L"BUTTON_CHECKBOX" || upper == L"BUTTON")
      continue;
    if (ini_->ReadInteger(section, L"Action", 0) == -1 && ini_->ReadInteger(section, L"Visibility", -1) != 0) continue;
    kept.push_back(section);
  }
  int rememberedX = 0, rememberedY = 0;
  for (const std::wstring& section : kept) {
    TObjectPtr<TDataSkinSysButton> b(new TDataSkinSysButton(UpperCase(section)));
    b->Action = ini_->ReadInteger(section, L"Action", 0);
    b->Align = ini_->ReadInteger(section, L"Align", 0);
    b->Xcoord = ini_->ReadInteger(section, L"Xcoord", 0);
    b->Ycoord = ini_->ReadInteger(section, L"Ycoord", 0);
    b->Visibility = ini_->ReadInteger(section, L"Visibility", 0);
    b->Visibility1 = ini_->ReadInteger(section, L"Visibility1", b->Action == -1 ? -1 : 0);
    b->CombineOp = ini_->ReadInteger(section, L"CombineOp", -1);
    b->Frame = ini_->ReadInteger(section, L"frame", 0);
    LoadSkinBitmap(b->Bitmap.get(), ini_->ReadString(section, L"ButtonImage", L""));
    if (b->Action == 1 && b->Visibility == 2) {
      rememberedX = b->Xcoord;
      rememberedY = b->Ycoord;
    }
    if (b->Action == 4) {
      b->Xcoord = rememberedX;
      b->Ycoord = rememberedY;
    }
    if (b->Frame == 0) {
      b->Frame = 6;
      if (b->HasPicture())
        b->Frame = double(b->Bitmap->Width()) / double(b->Bitmap->Height()) <= 3.8 ? 3 : 6;
      if (b->Action < 0) b->Frame = 6;
      if (b->Action == 3 || b->Action == 11) b->Bitmap->Assign(nullptr);
    }
    SysButtons.push_back(std::move(b));
  }
  for (int action = 7; action <= 9; ++action) {
    TObjectPtr<TDataSkinSysButton> b(new TDataSkinSysButton(L""));
    b->Action = action;
    b->Align = 100;
    b->Visibility = 100;
    b->Visibility1 = 100;
    b->Frame = 4;
    SysButtons.push_back(std::move(b));
  }
  ReadMDIControls();
}

void TSkinData::ReadMDIControls() {
  TBitmap picture;
  LoadSkinBitmap(&picture, ini_->ReadString(L"MDICONTROLS", L"Image", L""));
  if (picture.Empty()) return;
  const int w = picture.Width() / 12, h = picture.Height();
  for (int i = 0; i < 3; ++i) {
    for (auto& b : SysButtons) {
      if (b->Action != 7 + i) continue;
      b->Bitmap->SetPixelFormat(TPixelFormat::pf24bit);
      b->Bitmap->SetSize(4 * w, h);
      if (w > 0 && h > 0)
        ::BitBlt(b->Bitmap->Canvas()->Handle(), 0, 0, 4 * w, h, picture.Canvas()->Handle(), 4 * w * i, 0, SRCCOPY);
      b->Xcoord = (w + 4) * (3 - i);
      break;
    }
  }
}

void TSkinData::ReadButtons() {
  TDataSkinButton* b = Buttons.get();
  const std::wstring s = L"Buttons";
  LoadSkinBitmap(b->Bitmap.get(), ini_->ReadString(s, L"Bitmap", L""));
  LoadSkinBitmap(b->CheckBitmap.get(), ini_->ReadString(s, L"CheckButton", L""));
  LoadSkinBitmap(b->RadioBitmap.get(), ini_->ReadString(s, L"RadioButton", L""));
  b->LeftWidth = ini_->ReadInteger(s, L"LeftWidth", 0);
  b->RightWidth = ini_->ReadInteger(s, L"RightWidth", 0);
  b->TopHeight = ini_->ReadInteger(s, L"TopHeight", 0);
  b->BottomHeight = ini_->ReadInteger(s, L"BottomHeight", 0);
  b->Trans = ini_->ReadInteger(s, L"Trans", 0);
  b->Tile = ini_->ReadInteger(s, L"Tile", 0);
  if (b->Tile > 1) b->Tile = 0;
  b->RadioButtonFrame = ini_->ReadInteger(s, L"RadioButtonFrame", 0);
  b->CheckButtonFrame = ini_->ReadInteger(s, L"CheckButtonFrame", 0);
  b->NormalColour = ini_->ReadInteger(s, L"NormalColour", -1);
  b->MouseOverColour = ini_->ReadInteger(s, L"MouseOverColour", -1);
  b->PressedColour = ini_->ReadInteger(s, L"PressedColour", -1);
  const wchar_t* keys2[3] = {L"NormalColour2", L"MouseOverColour2", L"PressedColour2"};
  TColor* fields2[3] = {&b->NormalColour2, &b->MouseOverColour2, &b->PressedColour2};
  for (int i = 0; i < 3; ++i) {
    const std::wstring value = ini_->ReadString(s, keys2[i], L"");
    b->HasColour2[static_cast<std::size_t>(i)] = !value.empty();
    *fields2[i] = value.empty() ? Colors[scButtonText] : ParseSkinColor(value);
  }
}

void TSkinData::ReadTitle() {
  TDataSkinTitle* t = Title.get();
  const std::wstring s = L"Personality";
  LoadSkinBitmap(t->Bitmap.get(), ini_->ReadString(s, L"TextBack", L""));
  t->LeftWidth = ini_->ReadInteger(s, L"TextShift", 0);
  t->TopHeight = ini_->ReadInteger(s, L"TextShiftVert", 0);
  t->RightWidth = ini_->ReadInteger(s, L"TextRightClip", 0);
  t->BottomHeight = 0;
  t->TextAlignment = ini_->ReadInteger(s, L"TextAlignment", 0);
  t->Textbackground = ini_->ReadInteger(s, L"Textbackground", 0);
  t->TXTBackleft = ini_->ReadInteger(s, L"TXTBackleft", 0);
  t->TXTBackRight = ini_->ReadInteger(s, L"TXTBackRight", 0);
  auto rgb = [&](const std::wstring& prefix) -> TColor {
    const int r = ini_->ReadInteger(s, prefix + L"R", -1), g = ini_->ReadInteger(s, prefix + L"G", -1),
              b = ini_->ReadInteger(s, prefix + L"B", -1);
    if (r < 0 || g < 0 || b < 0) return clNone;
    return static_cast<TColor>(RGB(r % 256, g % 256, b % 256));
  };
  t->ActiveText = rgb(L"ActiveText");
  t->InActiveText = rgb(L"InActiveText");
  t->FontHeight = ini_->ReadInteger(L"Fonts", L"FontHeight", 14);
}

void TSkinData::ReadMenuBar() {
  MenuBar.reset();
  const std::wstring value = ini_->ReadString(L"Personality", L"menuBar", L"");
  if (value.empty()) return;
  MenuBar.reset(new TDataSkinObject(L"menuBar"));
  LoadSkinBitmap(MenuBar->Bitmap.get(), value);
  MenuBar->Tile = std::min(ini_->ReadInteger(L"Personality", L"TileMenu", 1), 1);
  MenuBar->LeftWidth = ini_->ReadInteger(L"Personality", L"TileLeftMenu", 1);
  MenuBar->RightWidth = ini_->ReadInteger(L"Personality", L"TileRightMenu", 1);
  MenuBar->TopHeight = MenuBar->BottomHeight = 0;
}

void TSkinData::ReadPictureLayout(const std::wstring& section, const std::wstring& picture, TDataSkinObject* o) {
  LoadSkinBitmap(o->Bitmap.get(), picture);
  o->Style = ini_->ReadInteger(section, L"Style", 0);
  o->LeftWidth = ini_->ReadInteger(section, L"LeftWidth", 0);
  o->RightWidth = ini_->ReadInteger(section, L"RightWidth", 0);
  o->TopHeight = ini_->ReadInteger(section, L"TopHeight", 0);
  o->BottomHeight = ini_->ReadInteger(section, L"BottomHeight", 0);
  o->Trans = ini_->ReadInteger(section, L"Trans", 0);
  o->Tile = ini_->ReadInteger(section, L"Tile", 0);
}

template <class T>
TObjectPtr<T> TSkinData::ReadObject(const std::wstring& section, const std::wstring& key, bool readFrame) {
  const std::wstring value = ini_->ReadString(section, key, L"");
  if (value.empty()) return TObjectPtr<T>();
  TObjectPtr<T> o(new T(section));
  ReadPictureLayout(section, value, o.get());
  if (readFrame) o->Frame = ini_->ReadInteger(section, L"Frame", 0);
  if (o->Tile > 1) o->Tile = 0;
  o->NormalColour = ini_->ReadInteger(section, L"NormalColour", -1);
  o->MouseOverColour = ini_->ReadInteger(section, L"MouseOverColour", -1);
  o->PressedColour = ini_->ReadInteger(section, L"PressedColour", -1);
  auto colour = [&](const wchar_t* k) {
    const std::wstring v = ini_->ReadString(section, k, L"");
    return v.empty() ? Colors[scButtonText] : ParseSkinColor(v);
  };
  o->NormalColour2 = colour(L"NormalColour2");
  o->MouseOverColour2 = colour(L"MouseOverColour2");
  o->PressedColour2 = colour(L"PressedColour2");
  return o;
}

TObjectPtr<TDataSkinBorder> TSkinData::ReadBorderObject(const std::wstring& section, const std::wstring& key2) {
  TObjectPtr<TDataSkinBorder> o = ReadObject<TDataSkinBorder>(section, L"Image", false);
  if (o) LoadSkinBitmap(o->Bitmap2.get(), ini_->ReadString(section, key2, L""));
  return o;
}

TObjectPtr<TDataSkinBoxLabel> TSkinData::ReadBoxLabel(const std::wstring& section) {
  TObjectPtr<TDataSkinBoxLabel> o = ReadObject<TDataSkinBoxLabel>(section, L"Image", false);
  if (o) {
    o->BackgroundAlignment = ini_->ReadInteger(section, L"BackgroundAlignment", 0);
    o->BackgroundLeftShift = ini_->ReadInteger(section, L"BackgroundLeftShift", 0);
    o->BackgroundRightShift = ini_->ReadInteger(section, L"BackgroundRightShift", 0);
  }
  return o;
}

TObjectPtr<TDataSkinBorder> TSkinData::ReadBitmapObject(const std::wstring& section) {
  const std::wstring value = ini_->ReadString(section, L"Bitmap", L"");
  if (value.empty()) return TObjectPtr<TDataSkinBorder>();
  TObjectPtr<TDataSkinBorder> o(new TDataSkinBorder(section));
  ReadPictureLayout(section, value, o.get());
  o->Tile = std::min(o->Tile, 1);
  return o;
}

TObjectPtr<TDataSkinObject> TSkinData::LoadResourceObject(const std::wstring& name) {
  TObjectPtr<TDataSkinObject> o(new TDataSkinObject(name));
  try {
    o->Bitmap->LoadFromResourceName(HInstance(), name);
  } catch (const EInvalidGraphic&) {
    o->Bitmap->Assign(nullptr);  // a program without the resource draws no channel picture
  }
  o->LeftWidth = o->TopHeight = o->RightWidth = o->BottomHeight = 3;
  o->Tile = 0;
  o->Frame = 1;
  return o;
}

void TSkinData::SetFrameCounts() {
  Title->Frame = 2;
  Buttons->Frame = 5;
  if (Progress) Progress->Frame = Progress->Style == 0 ? 2 : 1;
  if (MenuBar) MenuBar->Frame = 2;
  if (GroupBoxEdge) GroupBoxEdge->Frame = 2;
  if (GroupBox) GroupBox->Frame = 1;
  if (Tabs) Tabs->Frame = 5;
  if (StatusBarEdges) StatusBarEdges->Frame = 3;
  if (TabPane) TabPane->Frame = 1;
  if (ToolBars) ToolBars->Frame = 5;
  if (ComboButton) ComboButton->Frame = 4;
  if (SunkEdge) SunkEdge->Frame = 4;
  if (ExtraImages) ExtraImages->Frame = 5;
  if (Headerbar && Headerbar->Frame == 0) Headerbar->Frame = 5;
  if (MenuItem) MenuItem->Frame = 5;
  if (MenuBackground) MenuBackground->Frame = 1;
  if (Scrollbar) Scrollbar->Frame = 23;
  if (HorzScroll) HorzScroll->Frame = 4;
  if (VertScroll) VertScroll->Frame = 4;
  if (HorzScrollThumb) HorzScrollThumb->Frame = ini_->ReadInteger(L"HorzScrollThumb", L"FrameCount", 3);
  if (VertScrollThumb) VertScrollThumb->Frame = ini_->ReadInteger(L"VertScrollThumb", L"FrameCount", 3);
  for (auto* thumb : {&TrackbarThumbHorz, &TrackbarThumbVert, &TrackbarThumbLeft, &TrackbarThumbRight,
                      &TrackbarThumbUp, &TrackbarThumbDown})
    if (*thumb) (*thumb)->Frame = 5;
  if (UpDownHorz) UpDownHorz->Frame = 8;
  if (UpDownVert) UpDownVert->Frame = 8;
  auto cells = [](const TBitmap* strip) {
    if (strip->Empty()) return 4;
    return std::max(4, strip->Width() / (strip->Height() < 16 ? 13 : 16));
  };
  if (Buttons->RadioButtonFrame == 0) Buttons->RadioButtonFrame = cells(Buttons->RadioBitmap.get());
  if (Buttons->CheckButtonFrame == 0) Buttons->CheckButtonFrame = cells(Buttons->CheckBitmap.get());
}

void TSkinData::BuildComboImages() {
  if (!SunkEdge || !ComboButton) return;
  const int b = ::GetSystemMetrics(SM_CXHSCROLL) + 2;
  const int frames = std::max(SunkEdge->Frame, 1);
  TBitmap work(50, 21, TPixelFormat::pf24bit);
  TBitmap result(50 * frames, 21, TPixelFormat::pf24bit);
  work.Canvas()->Brush()->SetColor(clFuchsia);
  result.Canvas()->Brush()->SetColor(clFuchsia);
  result.Canvas()->FillRect(RECT{0, 0, result.Width(), result.Height()});
  HDC w = work.Canvas()->Handle();
  for (int k = 1; k <= frames; ++k) {
    work.Canvas()->FillRect(RECT{0, 0, 50, 21});
    DrawSliced(w, RECT{0, 0, 50, 21}, SunkEdge->Bitmap.get(), false, SunkEdge->Tile == 1, SunkEdge->Trans != 0,
               SunkEdge->Frame, k, SunkEdge->Margins());
    DrawSliced(w, RECT{50 - b, 0, 50, 21}, ComboButton->Bitmap.get(), false, ComboButton->Tile == 1, true,
               ComboButton->Frame, k, ComboButton->Margins());
    if (ExtraImages)
      DrawFrameCentered(w, RECT{50 - b, 0, 50, 21}, ExtraImages->Bitmap.get(), true, ExtraImages->Frame, k);
    work.Canvas()->FillRect(RECT{2, 2, 49 - b, 18});
    ::BitBlt(result.Canvas()->Handle(), (k - 1) * 50, 0, 50, 21, w, 0, 0, SRCCOPY);
  }
  ::GdiFlush();
  ComboButton->Style = 2;
  ComboButton->LeftWidth = 2;
  ComboButton->TopHeight = SunkEdge->TopHeight;
  ComboButton->RightWidth = b + 2;
  ComboButton->BottomHeight = SunkEdge->BottomHeight;
  ComboButton->Bitmap->Assign(&result);
  MirrorBitmap(&result);
  SunkEdge->Bitmap->Assign(&result);
  SunkEdge->LeftWidth = b + 2;
  SunkEdge->RightWidth = 2;
}

void TSkinData::BuildComboArrow() {
  if (!ComboxArrow) ComboxArrow.reset(new TDataSkinObject(L"ComboxArrow"));
  if (SunkEdge && ComboButton && ComboButton->Style == 2) {
    const int frames = std::max(SunkEdge->Frame, 1);
    TBitmap arrows(17 * frames, 17, TPixelFormat::pf24bit);
    const int fw = ComboButton->Bitmap->Width() / frames;
    const int oldMode = ::SetStretchBltMode(arrows.Canvas()->Handle(), COLORONCOLOR);
    for (int k = 1; k <= frames; ++k) {
      const int c = k * fw - 2;
      ::StretchBlt(arrows.Canvas()->Handle(), 17 * (k - 1), 0, 17, 17, ComboButton->Bitmap->Canvas()->Handle(), c - 17,
                   2, 17, 17, SRCCOPY);
    }
    ::SetStretchBltMode(arrows.Canvas()->Handle(), oldMode);
    ::GdiFlush();
    ComboxArrow->Bitmap->Assign(&arrows);
    ComboxArrow->Frame = SunkEdge->Frame;
  } else if (!SunkEdge && ComboButton) {
    ComboxArrow->Bitmap->Assign(ComboButton->Bitmap.get());
    // the face colour itself: a system colour's raw bytes would paint the arrow's ground near black
    ReplaceMagenta(ComboxArrow->Bitmap.get(), static_cast<TColor>(ColorToRGB(Colors[scButtonFace])));
    ComboxArrow->Frame = ComboButton->Frame;
  }
}

TColor TSkinData::TitleColor() const {
  const TBitmap* top = TopBorder->Bitmap.get();
  if (top->Empty()) return Colors[scButtonFace];
  const int frames = std::max(TopBorder->Frame, 1);
  const COLORREF c = ::GetPixel(const_cast<TBitmap*>(top)->Canvas()->Handle(), top->Width() / 3,
                                (top->Height() / frames) / 3);
  return static_cast<TColor>(c == CLR_INVALID ? ColorToRGB(Colors[scButtonFace]) : c);
}

void TSkinData::BuildToolbarImage() {
  const TColor a = TitleColor();
  TColor bottom = BlendColor(clGray, a, 150);
  const TColor top = BlendColor(Colors[scButtonFace], clWhite, 150);
  const int saturation = ColorSaturation(a);
  if (saturation > 110) bottom = BlendColor(a, clWhite, (5625 - 25 * saturation) / 140 + 50);
  TBitmap picture(10, 40, TPixelFormat::pf24bit);
  GradientFill(picture.Canvas()->Handle(), RECT{0, 0, 10, 40}, top, true, bottom);
  ::GdiFlush();
  if (!Toolbar) Toolbar.reset(new TDataSkinObject(L"Toolbar"));
  Toolbar->Bitmap->Assign(&picture);
  Toolbar->Frame = 1;
}

void TSkinData::ReadCaptionFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  TObjectPtr<TFont> font(new TFont());
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    font->AssignLogFont(metrics.lfCaptionFont);
  CaptionFont = std::move(font);
}

void TSkinData::BuildAppIcon() {
  HWND app = Application()->Handle();
  HICON icon = reinterpret_cast<HICON>(::SendMessageW(app, WM_GETICON, ICON_SMALL, 0));
  if (!icon) icon = reinterpret_cast<HICON>(::SendMessageW(app, WM_GETICON, ICON_BIG, 0));
  if (!icon) return;
  const int cx = ::GetSystemMetrics(SM_CXSMICON), cy = ::GetSystemMetrics(SM_CYSMICON);
  TIconOwner small(static_cast<HICON>(::CopyImage(icon, IMAGE_ICON, cx, cy, LR_COPYFROMRESOURCE)));
  if (!small) return;
  TObjectPtr<TBitmap> picture(new TBitmap(cx, cy, TPixelFormat::pf24bit));
  picture->Canvas()->Brush()->SetColor(clFuchsia);
  picture->Canvas()->FillRect(RECT{0, 0, cx, cy});
  ::DrawIconEx(picture->Canvas()->Handle(), 0, 0, small.Get(), cx, cy, 0, nullptr, DI_NORMAL);
  ::GdiFlush();
  picture->SetTransparentColor(clFuchsia);
  AppIcon = std::move(picture);
}

void TSkinData::FormSkinFilter(HWND, const std::wstring& className, bool& doSkin) {
  if (OnFormSkin) {
    OnFormSkin(this, className, doSkin);
    return;
  }
  if (className == L"SysMonthCal32") doSkin = false;
  if ((skinControls_ & SkinBit(xcFastReport)) && StartsWith(className, L"Tfr")) doSkin = false;
}

void TSkinData::DoSkinChanged() {
  if (OnSkinChanged) OnSkinChanged(this);
}

// ---- shared routines -------------------------------------------------------------------------------
std::wstring WideLeft(const wchar_t* chars, int count) {
  if (!chars) return std::wstring();
  if (count < 0) return std::wstring(chars);
  std::size_t n = 0;
  while (n < static_cast<std::size_t>(count) && chars[n]) ++n;
  return std::wstring(chars, n);
}

int SkinDrawText(HDC dc, const std::wstring& text, RECT& r, UINT format) {
  return ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}

TWinControl* ControlOfWindow(HWND wnd) { return wnd ? FindControl(wnd) : nullptr; }

const TSkinUser32& SkinUser32() {
  static const struct TLoaded {
    TModuleOwner module;
    TSkinUser32 entries;
    TLoaded() : module(::LoadLibraryW(L"user32.dll")) {
      HMODULE m = module.Get();
      if (!m) return;
      entries.GetScrollBarInfo =
          reinterpret_cast<decltype(entries.GetScrollBarInfo)>(::GetProcAddress(m, "GetScrollBarInfo"));
      entries.TrackMouseEvent =
          reinterpret_cast<decltype(entries.TrackMouseEvent)>(::GetProcAddress(m, "TrackMouseEvent"));
      entries.GetComboBoxInfo =
          reinterpret_cast<decltype(entries.GetComboBoxInfo)>(::GetProcAddress(m, "GetComboBoxInfo"));
      entries.DisableProcessWindowsGhosting = reinterpret_cast<decltype(entries.DisableProcessWindowsGhosting)>(
          ::GetProcAddress(m, "DisableProcessWindowsGhosting"));
    }
  } loaded;
  return loaded.entries;
}

bool SkinGetScrollBarInfo(HWND wnd, LONG objectId, SCROLLBARINFO* info) {
  const auto fn = SkinUser32().GetScrollBarInfo;
  return fn && fn(wnd, objectId, info) != FALSE;
}

void SkinTrackMouseLeave(HWND wnd) {
  const auto fn = SkinUser32().TrackMouseEvent;
  if (!fn) return;
  TRACKMOUSEEVENT e{};
  e.cbSize = sizeof(e);
  e.dwFlags = TME_LEAVE;
  e.hwndTrack = wnd;
  fn(&e);
}

}  // namespace kivo
