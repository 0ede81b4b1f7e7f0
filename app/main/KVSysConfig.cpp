#include "KVSysConfig.h"

#include <memory>


#include <dshow.h>
#include <dvdmedia.h>

#include "KVFilterId.h"
#include "KVInstance.h"
#include "KVMakeControl.h"
#include "KVShared.h"
#include "Menus.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TKVSysConfigForm)

namespace {
constexpr wchar_t kSection[] = L"System";
TStringList* gFormatList = nullptr;
TKVSysConfigForm* gShownForm = nullptr;
// {860BB310-5D01-11D0-BD3B-00A0C911CE86}
constexpr GUID kVideoInputCategory = {0x860bb310, 0x5d01, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
}  // namespace

void LoadSystemSettings() {
  TObjectPtr<TIniFile> ini = CreateAppIniFile();
  TSysConfig& c = SysConfig;
  c.AutoLogin = ini->ReadBool(kSection, L"AutoLogin", false);
  c.AutoStart = ini->ReadBool(kSection, L"AutoStart", false);
  c.AutoPlay = ini->ReadBool(kSection, L"AutoPlay", false);
  c.CloseToTray = ini->ReadBool(kSection, L"CloseToTray", true);
  c.CloseExit = ini->ReadBool(kSection, L"CloseExit", false);
  const std::wstring hotKey = ini->ReadString(kSection, L"TrayHotKey", L"");
  c.TrayHotKey = hotKey.empty() ? 0 : TextToShortCut(hotKey);
  SetCaptureActive(ini->ReadBool(kSection, L"CaptureActive", true));
  c.ActiveSource = ini->ReadString(kSection, L"ActiveSource", L"");
  c.CaptureSource = ini->ReadString(kSection, L"CaptureSource", L"");
  c.VideoFormat = ini->ReadString(kSection, L"VideoFormat", L"");
  c.CaptureSourceIndex = -1;
}

void SaveSystemSettings() {
  {
    TObjectPtr<TIniFile> ini = CreateAppIniFile();
    const TSysConfig& c = SysConfig;
    ini->BeginUpdate();
    ini->WriteBool(kSection, L"AutoLogin", c.AutoLogin);
    ini->WriteBool(kSection, L"AutoStart", c.AutoStart);
    ini->WriteBool(kSection, L"AutoPlay", c.AutoPlay);
    ini->WriteBool(kSection, L"CloseToTray", c.CloseToTray);
    ini->WriteBool(kSection, L"CloseExit", c.CloseExit);
    ini->WriteString(kSection, L"TrayHotKey", ShortCutToText(c.TrayHotKey));
    ini->WriteBool(kSection, L"CaptureActive", CaptureActive());
    ini->WriteString(kSection, L"ActiveSource", c.ActiveSource);
    ini->WriteString(kSection, L"CaptureSource", c.CaptureSource);
    ini->WriteString(kSection, L"VideoFormat", c.VideoFormat);
    ini->UpdateFile();
  }
  SetAutoRun(SysConfig.AutoStart);
}

TStringList* FormatList() { return gFormatList; }

void ClearFormatList() {
  if (!gFormatList) return;
  for (int i = 0; i < gFormatList->Count(); ++i) {
    if (TObject* o = gFormatList->Objects(i)) o->Free();
  }
  gFormatList->Clear();
}

std::wstring FormatDescription(const TMediaType* mediaType) {
  const AM_MEDIA_TYPE* t = mediaType ? mediaType->AMType() : nullptr;
  if (!t || t->formattype != FORMAT_VideoInfo || t->cbFormat == 0 || !t->pbFormat ||
      t->cbFormat < sizeof(VIDEOINFOHEADER))
    return std::wstring();
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(t->pbFormat);
  const BITMAPINFOHEADER& h = vih->bmiHeader;
  return Format(L"%s %d x %d, %d bits", GetCompressionName(h.biCompression), static_cast<int>(h.biWidth),
                static_cast<int>(h.biHeight), static_cast<int>(h.biBitCount));
}

void BuildFormatList() {
  if (!gFormatList) return;
  TObjectPtr<TSysDevEnum> devices(new TSysDevEnum(kVideoInputCategory));
  int index = -1;
  for (int i = 0; i < devices->FilterCount(); ++i) {
    if (devices->GetFilterEntry(i).CLSID == CLSID_KivoFilterSource) {
      index = i;
      break;
    }
  }
  if (index < 0) return;
  TComPtr<IBaseFilter> filter = devices->GetBaseFilter(index);
  if (!filter) return;
  TObjectPtr<TPinList> pins(new TPinList(filter.Get()));
  if (pins->Count() == 0) return;
  std::unique_ptr<TEnumMediaType> types = TEnumMediaType::CreateFromPin(pins->FirstPin());
  gFormatList->BeginUpdate();
  try {
    ClearFormatList();
    for (int i = 0; types && i < types->Count(); ++i) {
      auto* copy = new TMediaType(types->GetItem(i));
      gFormatList->AddObject(FormatDescription(copy), copy);
    }
  } catch (...) {
    gFormatList->EndUpdate();
    throw;
  }
  gFormatList->EndUpdate();
}

void StartSysConfigUnit() {
  ::CoInitialize(nullptr);
  if (!gFormatList) gFormatList = new TStringList();
  LoadSystemSettings();
  BuildFormatList();
}

void EndSysConfigUnit() {
  if (gFormatList) {
    ClearFormatList();
    FreeAndNil(gFormatList);
  }
  SaveSystemSettings();
}

// ---- The dialog -------------------------------------------------------------------------------------
TKVSysConfigForm::TKVSysConfigForm(TComponent* owner) : TForm(owner) {
  SetName(L"KVSysConfigForm");
  SetBorderStyle(TFormBorderStyle::bsToolWindow);
  SetCaption(L"系统设置");
  SetClientWidth(489);
  SetClientHeight(374);
  SetColor(clWhite);
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);
  SetPosition(TPosition::poMainFormCenter);

  pnlMain = MakeControl<TPanel>(this, this, L"pnlMain", 0, 0, 489, 374);
  pnlMain->SetAlign(TAlign::alClient);
  pnlMain->SetBevelOuter(TBevelCut::bvNone);
  pnlMain->SetColor(clWhite);
  SysBook = MakeControl<TPageControl>(this, pnlMain, L"SysBook", 0, 0, 489, 374);
  SysBook->SetAlign(TAlign::alClient);
  SysBook->SetTabHeight(18);
  tsBasic = new TTabSheet(this);
  tsBasic->SetName(L"tsBasic");
  tsBasic->SetCaption(L"基本设置");
  tsBasic->SetPageControl(SysBook);

  grpFormat = MakeControl<TGroupBox>(this, tsBasic, L"grpFormat", 12, 10, 453, 97, L"视频输出格式");
  lblFormat = MakeControl<TLabel>(this, grpFormat, L"lblFormat", 11, 24, 200, 14, L"设置Kivo输出格式");
  cmbFormats = MakeControl<TComboBox>(this, grpFormat, L"cmbFormats", 11, 45, 265, 20);
  cmbFormats->SetStyle(TComboBoxStyle::csDropDownList);

  grpStart = MakeControl<TGroupBox>(this, tsBasic, L"grpStart", 12, 118, 453, 101, L"启动");
  chkAutoStart = MakeControl<TCheckBox>(this, grpStart, L"chkAutoStart", 11, 24, 300, 17, L"开机后自动启动Tamro");
  chkAutoLogin = MakeControl<TCheckBox>(this, grpStart, L"chkAutoLogin", 11, 48, 300, 17, L"启动后自动登录");
  chkAutoPlay = MakeControl<TCheckBox>(this, grpStart, L"chkAutoPlay", 11, 72, 300, 17, L"启动后自动播放");

  grpExit = MakeControl<TGroupBox>(this, tsBasic, L"grpExit", 12, 230, 453, 77, L"退出");
  rbCloseExit = MakeControl<TRadioButton>(this, grpExit, L"rbCloseExit", 11, 24, 300, 17, L"退出程序");
  rbCloseToTray = MakeControl<TRadioButton>(this, grpExit, L"rbCloseToTray", 11, 48, 300, 17,
                                      L"缩小到系统托盘区，不退出程序");

  btnOK = MakeControl<TButton>(this, tsBasic, L"btnOK", 230, 320, 75, 18, L"确定");
  btnOK->SetModalResult(mrOk);
  btnCancel = MakeControl<TButton>(this, tsBasic, L"btnCancel", 310, 320, 75, 18, L"取消");
  btnCancel->SetModalResult(mrCancel);
  btnApply = MakeControl<TButton>(this, tsBasic, L"btnApply", 390, 320, 75, 18, L"应用");
  btnApply->OnClick = Method(this, &TKVSysConfigForm::btnApplyClick);
  OnCreate = Method(this, &TKVSysConfigForm::FormCreate);
}

void TKVSysConfigForm::FormCreate(TObject*) {
  SysBook->SetActivePageIndex(0);
  if (gFormatList) cmbFormats->Items()->Assign(gFormatList);
  LoadControls();
}

void TKVSysConfigForm::LoadControls() {
  const TSysConfig& c = SysConfig;
  chkAutoLogin->SetChecked(c.AutoLogin);
  chkAutoStart->SetChecked(c.AutoStart);
  chkAutoPlay->SetChecked(c.AutoPlay);
  rbCloseToTray->SetChecked(c.CloseToTray);
  rbCloseExit->SetChecked(c.CloseExit);
  const int i = cmbFormats->Items()->IndexOf(c.VideoFormat);  // ignoring case
  if (i >= 0) cmbFormats->SetItemIndex(i);
  else if (cmbFormats->Items()->Count() > 0) cmbFormats->SetItemIndex(0);
}

void TKVSysConfigForm::StoreControls() {
  TSysConfig& c = SysConfig;
  c.AutoLogin = chkAutoLogin->Checked();
  c.AutoStart = chkAutoStart->Checked();
  c.AutoPlay = chkAutoPlay->Checked();
  c.CloseToTray = rbCloseToTray->Checked();
  c.CloseExit = rbCloseExit->Checked();
  c.VideoFormat = cmbFormats->Text();
}

void TKVSysConfigForm::btnApplyClick(TObject*) {
  StoreControls();
  SaveSystemSettings();
}

void ShowSysConfig(int pageIndex) {
  TObjectPtr<TKVSysConfigForm> form(Create<TKVSysConfigForm>(nullptr));
  if (pageIndex >= 0 && pageIndex < form->SysBook->PageCount()) form->SysBook->SetActivePageIndex(pageIndex);
  gShownForm = form.get();
  struct TForget {
    ~TForget() { gShownForm = nullptr; }
  } forget;
  form->ShowModal();
}

TKVSysConfigForm* ShownSysConfigForm() { return gShownForm; }

}  // namespace kivo
