#include "KVFAlbumSource.h"

#include <algorithm>
#include <climits>
#include <cwctype>

#include "Forms.h"
#include "IniFiles.h"
#include "KVFAlbumWindow.h"
#include "KVMakeControl.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAlbumSource)

std::wstring CurrentAlbumFile;

void StartAlbumSourceUnit() { CurrentAlbumFile = ProgramDir + L"curalbum.dat"; }
void EndAlbumSourceUnit() { CurrentAlbumFile.clear(); }

namespace {
// The extension with its dot, in lower case.
std::wstring LowerExtension(const std::wstring& path) { return LowerCase(ExtractFileExt(path)); }

constexpr wchar_t kItems[] = L"Items";
constexpr wchar_t kSection[] = L"Album";

TTabSheet* Sheet(TComponent* owner, TPageControl* book, const wchar_t* name, const wchar_t* caption) {
  auto* s = new TTabSheet(owner);
  s->SetName(name);
  s->SetCaption(caption);
  s->SetPageControl(book);
  return s;
}
}  // namespace

std::vector<std::wstring> ReadAlbumList(const std::wstring& file) {
  std::vector<std::wstring> paths;
  TIniFile ini(file);
  TStringList lines;
  ini.ReadSectionValues(kItems, lines);
  for (int i = 0; i < lines.Count(); ++i) {
    std::wstring name, value;
    SplitNameValue(lines.Strings(i), name, value);
    paths.push_back(value);
  }
  return paths;
}

std::int32_t AlbumIntervalMs(const std::wstring& text) {
  int seconds = 0;
  if (!TryStrToInt(Trim(text), seconds)) seconds = kDefaultAlbumIntervalSeconds;
  seconds = std::clamp(seconds, kMinAlbumIntervalSeconds, INT_MAX / 1000);
  return seconds * 1000;
}

TAlbumSource::TAlbumSource(TComponent* owner) : TSourceAbs(owner) {
  SetName(L"AlbumSourceA");
  SetHeight(237);
  bookAlbumEffect = MakeControl<TPageControl>(this, this, L"bookAlbumEffect", 0, 0, 320, 237);
  bookAlbumEffect->SetAlign(TAlign::alClient);
  bookAlbumEffect->SetTabPosition(TTabPosition::tpBottom);
  bookAlbumEffect->SetTabHeight(20);
  sheetAlbum = Sheet(this, bookAlbumEffect, L"sheetAlbum", L"播放列表");
  sheetAlbumView = Sheet(this, bookAlbumEffect, L"sheetAlbumView", L"显示效果");
  sheetAlbumEffect = Sheet(this, bookAlbumEffect, L"sheetAlbumEffect", L"过渡效果");

  // the play list
  pnlAlbum = MakeControl<TPanel>(this, sheetAlbum, L"pnlAlbum", 0, 0, 312, 185);
  pnlAlbum->SetBevelOuter(TBevelCut::bvNone);
  pnlAlbum->SetCaption(L"");
  pnlAlbum->SetAnchors(akLeft | akTop | akRight | akBottom);
  btnAlbumAddFile = MakeControl<TButton>(this, sheetAlbum, L"btnAlbumAddFile", 2, 188, 60, 18, L"添加图片");
  btnAlbumRemove = MakeControl<TButton>(this, sheetAlbum, L"btnAlbumRemove", 64, 188, 60, 18, L"移除图片");
  btnAlbumClear = MakeControl<TButton>(this, sheetAlbum, L"btnAlbumClear", 126, 188, 60, 18, L"清空列表");
  btnSaveAlbum = MakeControl<TButton>(this, sheetAlbum, L"btnSaveAlbum", 188, 188, 60, 18, L"保存列表");
  btnLoadAlbum = MakeControl<TButton>(this, sheetAlbum, L"btnLoadAlbum", 250, 188, 60, 18, L"加载列表");
  for (TButton* b : {btnAlbumAddFile, btnAlbumRemove, btnAlbumClear, btnSaveAlbum, btnLoadAlbum})
    b->SetAnchors(akLeft | akBottom);

  // the layout and timing
  grpImagePos = MakeControl<TGroupBox>(this, sheetAlbumView, L"grpImagePos", 8, 4, 140, 90, L"图像位置");
  chkImageCenter = MakeControl<TCheckBox>(this, grpImagePos, L"chkImageCenter", 10, 18, 120, 18, L"居中显示");
  chkImageStretch = MakeControl<TCheckBox>(this, grpImagePos, L"chkImageStretch", 10, 40, 120, 18, L"缩放充满窗口");
  chkImageRatio = MakeControl<TCheckBox>(this, grpImagePos, L"chkImageRatio", 10, 62, 120, 18, L"保持图像比例");
  grpPlayControl = MakeControl<TGroupBox>(this, sheetAlbumView, L"grpPlayControl", 156, 4, 150, 90, L"播放控制");
  lblInterval = MakeControl<TLabel>(this, grpPlayControl, L"lblInterval", 10, 20, 130, 14, L"切换时间间隔（秒）");
  edtAlbumInterval = MakeControl<TEdit>(this, grpPlayControl, L"edtAlbumInterval", 10, 36, 60, 20);
  chkGIFStatic = MakeControl<TCheckBox>(this, grpPlayControl, L"chkGIFStatic", 10, 62, 136, 18, L"GIF作为静态图片显示");
  btnAlbumViewApply = MakeControl<TButton>(this, sheetAlbumView, L"btnAlbumViewApply", 236, 100, 70, 22, L"应用");

  // the transition
  lblEffect = MakeControl<TLabel>(this, sheetAlbumEffect, L"lblEffect", 8, 10, 60, 14, L"过渡效果");
  cmbAlbumEffect = MakeControl<TComboBox>(this, sheetAlbumEffect, L"cmbAlbumEffect", 70, 6, 230, 20);
  cmbAlbumEffect->SetStyle(TComboBoxStyle::csDropDownList);
  cmbAlbumEffect->SetDropDownCount(16);
  grpEffectMode = MakeControl<TGroupBox>(this, sheetAlbumEffect, L"grpEffectMode", 8, 34, 292, 50, L"过渡效果选择");
  rbEffectSequen = MakeControl<TRadioButton>(this, grpEffectMode, L"rbEffectSequen", 10, 20, 86, 18, L"顺序选择");
  rbEffectRandom = MakeControl<TRadioButton>(this, grpEffectMode, L"rbEffectRandom", 100, 20, 86, 18, L"随机选择");
  rbEffectManual = MakeControl<TRadioButton>(this, grpEffectMode, L"rbEffectManual", 190, 20, 86, 18, L"手工选择");
  btnAlbumEffectApply = MakeControl<TButton>(this, sheetAlbumEffect, L"btnAlbumEffectApply", 236, 100, 70, 22, L"应用");

  btnAlbumAddFile->OnClick = Method(this, &TAlbumSource::btnAlbumAddFileClick);
  btnAlbumRemove->OnClick = Method(this, &TAlbumSource::btnAlbumRemoveClick);
  btnAlbumClear->OnClick = Method(this, &TAlbumSource::btnAlbumClearClick);
  btnSaveAlbum->OnClick = Method(this, &TAlbumSource::btnSaveAlbumClick);
  btnLoadAlbum->OnClick = Method(this, &TAlbumSource::btnLoadAlbumClick);
  for (TCheckBox* c : {chkImageCenter, chkImageStretch, chkImageRatio, chkGIFStatic})
    c->OnClick = Method(this, &TAlbumSource::chkImageCenterClick);
  cmbAlbumEffect->OnChange = Method(this, &TAlbumSource::chkImageCenterClick);
  btnAlbumViewApply->OnClick = Method(this, &TAlbumSource::btnAlbumViewApplyClick);
  btnAlbumEffectApply->OnClick = Method(this, &TAlbumSource::btnAlbumViewApplyClick);

  bookAlbumEffect->SetActivePage(sheetAlbumView);
  bookAlbumEffect->SetActivePage(sheetAlbum);

  List = new TAlbumList(this);
  List->SetName(L"List");
  List->SetParent(pnlAlbum);
  List->SetAlign(TAlign::alClient);
  List->OnDblClick = Method(this, &TAlbumSource::DoAlbumListDblClick);
  List->OnClick = Method(this, &TAlbumSource::DoAlbumListClick);

  ReadSettings();
  LoadCurrentAlbum();
}

TAlbumWindow* TAlbumSource::AlbumWindow() const { return dynamic_cast<TAlbumWindow*>(Window); }

void TAlbumSource::LoadSource() {
  if (TAlbumWindow* w = AlbumWindow()) {
    TStrings* items = cmbAlbumEffect->Items();
    items->BeginUpdate();
    items->Clear();
    w->imgAlbum->GetStyleNames(items);
    items->EndUpdate();
  }
  if (SettingsEffectIndex >= 0 && SettingsEffectIndex < cmbAlbumEffect->Items()->Count())
    cmbAlbumEffect->SetItemIndex(SettingsEffectIndex);
  ApplySource(true);
}

void TAlbumSource::ApplySource(bool restart) {
  TAlbumWindow* w = AlbumWindow();
  if (!w) return;
  w->imgAlbum->SetCenter(chkImageCenter->Checked());
  w->imgAlbum->SetStretch(chkImageStretch->Checked());
  w->imgAlbum->SetProportional(chkImageRatio->Checked());
  const int chosen = cmbAlbumEffect->ItemIndex();
  if (chosen >= 0) w->imgAlbum->SetStyle(chosen + 1);
  w->GIFStatic = chkGIFStatic->Checked();
  w->StyleCount = cmbAlbumEffect->Items()->Count();
  w->StyleMode = rbEffectSequen->Checked() ? kStyleSequential : rbEffectRandom->Checked() ? kStyleRandom : kStyleManual;
  w->Interval = AlbumIntervalMs(edtAlbumInterval->Text());
  if (restart && w->Active) w->Restart();
}

std::vector<std::wstring> TAlbumSource::Paths() const {
  std::vector<std::wstring> paths;
  for (int i = 0; i < List->Items()->Count(); ++i)
    if (TAlItem* e = TAlbumList::Entry(List->Items()->Item(i))) paths.push_back(e->Path);
  return paths;
}

void TAlbumSource::AddPictures(const std::vector<std::wstring>& paths) {
  // one path at a time: a picture that cannot be decoded costs only its own entry
  std::wstring failed;
  for (const std::wstring& p : paths) {
    TStringList one;
    one.Add(p);
    try {
      List->AddPaths(&one);
    } catch (const Exception& e) {
      failed += L"\r\n" + p + L": " + e.Message();
    }
  }
  if (!failed.empty()) throw EInvalidGraphic(L"以下图片不能打开：" + failed);
}

void TAlbumSource::LoadAlbumList(const std::wstring& file) {
  List->Items()->Clear();
  AddPictures(ReadAlbumList(file));
}

void TAlbumSource::SaveAlbumList(const std::wstring& file) {
  TIniFile ini(file);
  ini.BeginUpdate();
  ini.EraseSection(kItems);
  const std::vector<std::wstring> paths = Paths();
  for (std::size_t i = 0; i < paths.size(); ++i) ini.WriteString(kItems, std::to_wstring(i), paths[i]);
  ini.UpdateFile();
}

void TAlbumSource::LoadCurrentAlbum() {
  if (CurrentAlbumFile.empty() || ::GetFileAttributesW(CurrentAlbumFile.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  try {
    LoadAlbumList(CurrentAlbumFile);
  } catch (const Exception&) {
    // the page is made during start-up: the pictures that could be read stay, the error is shown once
    Application()->HandleException(this);
  }
}

void TAlbumSource::SaveCurrentAlbum() {
  if (!CurrentAlbumFile.empty()) SaveAlbumList(CurrentAlbumFile);
}

void TAlbumSource::ReadSettings() {
  TObjectPtr<TIniFile> ini = CreateAppIniFile();
  const int view = ini->ReadInteger(kSection, L"ImageView", 7);
  chkImageCenter->SetChecked((view & 1) != 0);
  chkImageStretch->SetChecked((view & 2) != 0);
  chkImageRatio->SetChecked((view & 4) != 0);
  edtAlbumInterval->SetText(ini->ReadString(kSection, L"ChangeInterval", L"5"));
  SettingsEffectIndex = ini->ReadInteger(kSection, L"EffectIndex", 0);
  const int mode = ini->ReadInteger(kSection, L"EffectChangeMode", 0);
  rbEffectSequen->SetChecked(mode == 0);
  rbEffectRandom->SetChecked(mode == 1);
  rbEffectManual->SetChecked(mode == 2);
  chkGIFStatic->SetChecked(ini->ReadBool(kSection, L"GIFStatic", false));
}

void TAlbumSource::SaveSettings() {
  TObjectPtr<TIniFile> ini = CreateAppIniFile();
  ini->BeginUpdate();
  const int view = (chkImageCenter->Checked() ? 1 : 0) + (chkImageStretch->Checked() ? 2 : 0) +
                   (chkImageRatio->Checked() ? 4 : 0);
  ini->WriteInteger(kSection, L"ImageView", view);
  ini->WriteString(kSection, L"ChangeInterval", edtAlbumInterval->Text());
  ini->WriteInteger(kSection, L"EffectIndex", cmbAlbumEffect->ItemIndex());
  const int mode = rbEffectSequen->Checked() ? 0 : rbEffectRandom->Checked() ? 1 : rbEffectManual->Checked() ? 2 : -1;
  ini->WriteInteger(kSection, L"EffectChangeMode", mode);
  ini->WriteBool(kSection, L"GIFStatic", chkGIFStatic->Checked());
  ini->UpdateFile();
}

void TAlbumSource::btnAlbumAddFileClick(TObject*) {
  TStringList chosen;
  if (ExecuteOpenPictureDialog(&chosen).empty() && chosen.Count() == 0) return;
  std::vector<std::wstring> pictures, lists;
  for (int i = 0; i < chosen.Count(); ++i) {
    const std::wstring f = chosen.Strings(i);
    (LowerExtension(f) == L".al" ? lists : pictures).push_back(f);
  }
  // the list file keeps what was added even when a picture could not be read
  try {
    AddPictures(pictures);
    for (const std::wstring& l : lists) LoadAlbumList(l);
  } catch (...) {
    SaveCurrentAlbum();
    throw;
  }
  SaveCurrentAlbum();
}

void TAlbumSource::btnAlbumRemoveClick(TObject*) {
  TListItems* items = List->Items();
  for (int i = items->Count() - 1; i >= 0; --i)
    if (items->Item(i)->Selected()) items->Delete(i);
  SaveCurrentAlbum();
}

void TAlbumSource::btnAlbumClearClick(TObject*) {
  List->Items()->Clear();
  SaveCurrentAlbum();
}

void TAlbumSource::btnLoadAlbumClick(TObject*) {
  const std::wstring file = ExecuteOpenDialog(L".al", nullptr);
  try {
    if (!file.empty()) LoadAlbumList(file);
  } catch (...) {
    SaveCurrentAlbum();
    throw;
  }
  SaveCurrentAlbum();
}

void TAlbumSource::btnSaveAlbumClick(TObject*) {
  const std::wstring file = ExecuteSaveDialog(L".al", nullptr);
  if (!file.empty()) SaveAlbumList(file);
}

void TAlbumSource::chkImageCenterClick(TObject*) { ApplySource(true); }

void TAlbumSource::btnAlbumViewApplyClick(TObject*) { SaveSettings(); }

void TAlbumSource::DoAlbumListDblClick(TObject*) {
  if (Window) Window->Play(kPlayCurrent, false);
}

void TAlbumSource::DoAlbumListClick(TObject*) {
  TAlbumWindow* w = AlbumWindow();
  if (!w || w->State() == kStatePlaying) return;
  const int index = List->ItemIndex();
  if (index >= 0) w->ShowItem(index);
}
}  // namespace kivo
