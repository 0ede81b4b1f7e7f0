// The settings form of the picture-file effects: the pictures of the effect's own folder under
// "Effect\" as thumbnails; a double click chooses one and enables the effect.
#pragma once

#include "ExtCtrls.h"
#include "KVCtrls.h"
#include "KVEffProcAbs.h"
#include "StdCtrls.h"

namespace kivo {

class TImageProcForm : public TImageProcFormAbs {
  KIVO_CLASS(TImageProcForm, TImageProcFormAbs)
  // folderName: the subfolder of "Effect\"; fileMask: "gif", "*.gif" or a ";"-list of masks.
  TImageProcForm(TImageProcessorAbs* processor, const std::wstring& folderName, const std::wstring& fileMask);

  TPanel* Panel2;
  TLabel* lblSelected;
  TButton* btnRefresh;
  TCheckBox* chkEnable;
  TPanel* pnlBack;
  TAlbumList* FileList = nullptr;
  std::wstring FolderName;
  std::wstring FileMask;

  // ProgramDir + "Effect\" + FolderName + "\".
  std::wstring EffectFolder() const;
  void RefreshList() override;
  // The selected picture becomes the processor's file; the effect is enabled.
  void ApplySettings() override;
  virtual void SetFileName(const std::wstring& path);
  // A non-nil parent refreshes the list.
  void SetParent(TWinControl* parent) override;

  void FormCreate(TObject* sender);
  void FormDestroy(TObject* sender);
  void btnRefreshClick(TObject* sender);
  void chkEnableClick(TObject* sender);
  void FileListDblClick(TObject* sender);
};

}  // namespace kivo
