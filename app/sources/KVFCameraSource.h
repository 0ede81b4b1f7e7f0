// The camera source's settings page: the video capture devices of the machine and the chosen one.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Handles.h"
#include "KVFWindowAbs.h"
#include "StdCtrls.h"

namespace kivo {

// The id shown after a device's name: the four characters after the first "id_" of its display
// name (looked for in lower case), or the whole display name when it holds none.
std::wstring DeviceItemId(const std::wstring& displayName);
// The video capture devices into strings (items "<name> ID: <id>", object: enumeration index) and
// their display names into ids, in the same order; software devices ("device:sw") are left out.
void ListVideoDevices(TStrings* strings, std::vector<std::wstring>& ids);
// The moniker of the video capture device with this display name (any case) as enumerated now;
// null when it is not listed.
TComPtr<IMoniker> FindVideoDevice(const std::wstring& displayName);

class TCameraSource : public TSourceAbs {
  KIVO_CLASS(TCameraSource, TSourceAbs)
  explicit TCameraSource(TComponent* owner);

  TLabel* Label1;
  TComboBox* cmbCameras;
  TButton* btnDriverParams;
  TButton* btnRefresh;

  // One display name per item of cmbCameras.
  std::vector<std::wstring> DeviceIds;
  std::wstring ActiveId;
  std::int32_t Updating = 0;
  bool Loading = false;

  void LoadSource() override;
  void DevicesChanged() override;
  void RefreshDevices();
  void LoadSettings();
  void SaveSettings();
  // The display name of the selected item; empty when none.
  std::wstring SelectedId() const;

  void cmbCamerasChange(TObject* sender);
  void btnDriverParamsClick(TObject* sender);
  void btnRefreshClick(TObject* sender);
};

}  // namespace kivo
