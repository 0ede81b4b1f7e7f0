// The album source's settings page: the picture list (a TAlbumList remembered in "curalbum.dat" and
// exchanged as ".al" list files, section "Items", keys "0", "1", ... in list order), the layout and
// timing of the slide show and its transition style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "KVCtrls.h"
#include "KVFWindowAbs.h"
#include "StdCtrls.h"

namespace kivo {

class TAlbumWindow;

// ProgramDir + "curalbum.dat", set at the unit's start.
extern std::wstring CurrentAlbumFile;
void StartAlbumSourceUnit();
void EndAlbumSourceUnit();

// The values of a list file's section "Items" in line order (empty for a missing file).
std::vector<std::wstring> ReadAlbumList(const std::wstring& file);

// Seconds between pictures when the interval text is no number.
constexpr std::int32_t kDefaultAlbumIntervalSeconds = 3;
// An interval of 0 or less would start a new picture on every message: it becomes this.
constexpr std::int32_t kMinAlbumIntervalSeconds = 1;
// The slide interval in milliseconds for the interval edit's text.
std::int32_t AlbumIntervalMs(const std::wstring& text);

class TAlbumSource : public TSourceAbs {
  KIVO_CLASS(TAlbumSource, TSourceAbs)
  explicit TAlbumSource(TComponent* owner);

  TPageControl* bookAlbumEffect;
  TTabSheet* sheetAlbum;
  TTabSheet* sheetAlbumView;
  TTabSheet* sheetAlbumEffect;
  TPanel* pnlAlbum;
  TAlbumList* List;
  TButton* btnAlbumAddFile;
  TButton* btnAlbumRemove;
  TButton* btnAlbumClear;
  TButton* btnSaveAlbum;
  TButton* btnLoadAlbum;
  TGroupBox* grpImagePos;
  TCheckBox* chkImageCenter;
  TCheckBox* chkImageStretch;
  TCheckBox* chkImageRatio;
  TGroupBox* grpPlayControl;
  TLabel* lblInterval;
  TEdit* edtAlbumInterval;
  TCheckBox* chkGIFStatic;
  TButton* btnAlbumViewApply;
  TLabel* lblEffect;
  TComboBox* cmbAlbumEffect;
  TGroupBox* grpEffectMode;
  TRadioButton* rbEffectSequen;
  TRadioButton* rbEffectRandom;
  TRadioButton* rbEffectManual;
  TButton* btnAlbumEffectApply;

  // "EffectIndex" as read, selected once the style names are listed.
  std::int32_t SettingsEffectIndex = 0;

  TAlbumWindow* AlbumWindow() const;
  void ApplySource(bool restart) override;
  void LoadSource() override;

  // Replaces the list by the file's pictures. Pictures that cannot be decoded are left out; the
  // error names them all at once after the others have been added.
  void LoadAlbumList(const std::wstring& file);
  void SaveAlbumList(const std::wstring& file);
  void LoadCurrentAlbum();
  void SaveCurrentAlbum();
  void ReadSettings();
  void SaveSettings();
  // The paths of the list's items in order.
  std::vector<std::wstring> Paths() const;

  void btnAlbumAddFileClick(TObject* sender);
  void btnAlbumRemoveClick(TObject* sender);
  void btnAlbumClearClick(TObject* sender);
  void btnLoadAlbumClick(TObject* sender);
  void btnSaveAlbumClick(TObject* sender);
  void chkImageCenterClick(TObject* sender);
  void btnAlbumViewApplyClick(TObject* sender);
  void DoAlbumListDblClick(TObject* sender);
  void DoAlbumListClick(TObject* sender);

 private:
  // Adds paths not yet listed; raises one error naming every picture that could not be decoded.
  void AddPictures(const std::vector<std::wstring>& paths);
};

}  // namespace kivo
