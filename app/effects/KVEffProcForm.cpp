#include "KVEffProcForm.h"

#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TImageProcForm)

TImageProcForm::TImageProcForm(TImageProcessorAbs* processor, const std::wstring& folderName, const std::wstring& fileMask)
    : TImageProcFormAbs(processor), FolderName(folderName), FileMask(fileMask) {
  SetName(L"ImageProcForm");
  SetClientWidth(318);
  SetClientHeight(351);
  SetDesignFont();
  Panel2 = Place<TPanel>(L"Panel2", this, 0, 0, 318, 29);
  Panel2->SetAlign(TAlign::alTop);
  Panel2->SetBevelOuter(TBevelCut::bvNone);
  lblSelected = Place<TLabel>(L"lblSelected", Panel2, 5, 8, 0, 12);
  lblSelected->SetCaption(L"");
  btnRefresh = Place<TButton>(L"btnRefresh", Panel2, 160, 5, 96, 18);
  btnRefresh->SetCaption(L"刷新");
  btnRefresh->OnClick = Method(this, &TImageProcForm::btnRefreshClick);
  chkEnable = Place<TCheckBox>(L"chkEnable", Panel2, 262, 6, 49, 17);
  chkEnable->SetCaption(L"启用");
  chkEnable->OnClick = Method(this, &TImageProcForm::chkEnableClick);
  pnlBack = Place<TPanel>(L"pnlBack", this, 0, 29, 318, 322);
  pnlBack->SetAlign(TAlign::alClient);
  pnlBack->SetBevelOuter(TBevelCut::bvNone);
  OnCreate = Method(this, &TImageProcForm::FormCreate);
  OnDestroy = Method(this, &TImageProcForm::FormDestroy);
}

void TImageProcForm::FormCreate(TObject*) {
  FileList = new TAlbumList(this);
  FileList->SetName(L"FileList");
  FileList->SetParent(pnlBack);
  FileList->SetAlign(TAlign::alClient);
  FileList->SetTextHeight(14);
  FileList->OnDblClick = Method(this, &TImageProcForm::FileListDblClick);
}

void TImageProcForm::FormDestroy(TObject*) {}

std::wstring TImageProcForm::EffectFolder() const { return ProgramDir + L"Effect\\" + FolderName + L"\\"; }

void TImageProcForm::RefreshList() {
  if (!FileList) return;
  if (FileMask.find(L"*.") == std::wstring::npos) FileMask = L"*." + FileMask;
  std::wstring folder = EffectFolder();
  // only the last level; a failure leaves the list empty
  if (!DirectoryExists(folder)) ::CreateDirectoryW(folder.c_str(), nullptr);
  FileList->LoadFolder(folder, FileMask);
}

void TImageProcForm::SetParent(TWinControl* parent) {
  TImageProcFormAbs::SetParent(parent);
  if (parent) RefreshList();
}

void TImageProcForm::SetFileName(const std::wstring& path) {
  if (auto* p = dynamic_cast<TImageProcessor*>(processor_)) p->SetFileName(path);
}

void TImageProcForm::ApplySettings() {
  TImageProcFormAbs::ApplySettings();
  TAlItem* entry = FileList ? TAlbumList::Entry(FileList->Selected()) : nullptr;
  if (!entry) return;
  SetFileName(entry->Path);
  chkEnable->SetChecked(true);
  lblSelected->SetCaption(entry->Name);
}

void TImageProcForm::btnRefreshClick(TObject*) { RefreshList(); }

void TImageProcForm::chkEnableClick(TObject*) {
  processor_->SetEnabled(chkEnable->Checked());
  if (processor_->GetEnabled())
    processor_->Start();
  else
    processor_->Stop();
}

void TImageProcForm::FileListDblClick(TObject*) { ApplySettings(); }

}  // namespace kivo
