#include "KVFCameraSource.h"

#include <uuids.h>

#include <algorithm>
#include <cwctype>

#include "DSUtil.h"
#include "Dialogs.h"
#include "KVMakeControl.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TCameraSource)

namespace {
constexpr wchar_t kSection[] = L"Camera";
constexpr wchar_t kActiveId[] = L"ActiveID";

std::wstring DisplayNameOf(IMoniker* moniker) {
  std::wstring name;
  LPOLESTR text = nullptr;
  if (SUCCEEDED(moniker->GetDisplayName(nullptr, nullptr, &text)) && text) {
    name = text;
    ::CoTaskMemFree(text);
  }
  return name;
}

// Raises and lowers a nesting counter for a scope.
struct TRaise {
  explicit TRaise(std::int32_t& n) : n_(n) { ++n_; }
  ~TRaise() { --n_; }
  std::int32_t& n_;
};
}  // namespace

std::wstring DeviceItemId(const std::wstring& displayName) {
  const std::size_t at = LowerCase(displayName).find(L"id_");
  if (at == std::wstring::npos) return displayName;
  return displayName.substr(at + 3, 4);
}

void ListVideoDevices(TStrings* strings, std::vector<std::wstring>& ids) {
  TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
  strings->BeginUpdate();
  struct TEnd {
    TStrings* s;
    ~TEnd() { s->EndUpdate(); }
  } end{strings};
  strings->Clear();
  ids.clear();
  for (int i = 0; i < devices.FilterCount(); ++i) {
    const TSysDevEntry entry = devices.GetFilterEntry(i);
    TComPtr<IMoniker> moniker = devices.GetMoniker(i);
    if (!moniker) continue;
    const std::wstring name = DisplayNameOf(moniker.Get());
    if (LowerCase(name).find(L"device:sw") != std::wstring::npos) continue;
    ids.push_back(name);
    strings->AddObject(entry.FriendlyName + L" ID: " + DeviceItemId(name),
                       reinterpret_cast<TObject*>(static_cast<intptr_t>(i)));
  }
}

TComPtr<IMoniker> FindVideoDevice(const std::wstring& displayName) {
  if (displayName.empty()) return {};
  const std::wstring wanted = LowerCase(displayName);
  TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
  for (int i = 0; i < devices.FilterCount(); ++i) {
    TComPtr<IMoniker> moniker = devices.GetMoniker(i);
    if (moniker && LowerCase(DisplayNameOf(moniker.Get())) == wanted) return moniker;
  }
  return {};
}

TCameraSource::TCameraSource(TComponent* owner) : TSourceAbs(owner) {
  SetName(L"CameraSourceA");
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);
  Font()->SetCharset(GB2312_CHARSET);
  Label1 = MakeControl<TLabel>(this, this, L"Label1", 10, 13, 50, 12, L"视频设备");
  cmbCameras = MakeControl<TComboBox>(this, this, L"cmbCameras", 63, 9, 246, 20);
  cmbCameras->SetStyle(TComboBoxStyle::csDropDownList);
  btnDriverParams = MakeControl<TButton>(this, this, L"btnDriverParams", 234, 208, 75, 18, L"设备参数");
  btnRefresh = MakeControl<TButton>(this, this, L"btnRefresh", 154, 208, 75, 18, L"刷新设备");
  cmbCameras->OnChange = Method(this, &TCameraSource::cmbCamerasChange);
  btnDriverParams->OnClick = Method(this, &TCameraSource::btnDriverParamsClick);
  btnRefresh->OnClick = Method(this, &TCameraSource::btnRefreshClick);
}

void TCameraSource::LoadSource() {
  TSourceAbs::LoadSource();
  Loading = true;
  struct TDone {
    bool& f;
    ~TDone() { f = false; }
  } done{Loading};
  TRaise raise(Updating);
  RefreshDevices();
  LoadSettings();
}

void TCameraSource::DevicesChanged() {
  TSourceAbs::DevicesChanged();
  if (Updating <= 0) RefreshDevices();
}

void TCameraSource::RefreshDevices() {
  ListVideoDevices(cmbCameras->Items(), DeviceIds);
  const auto it = std::find_if(DeviceIds.begin(), DeviceIds.end(),
                               [&](const std::wstring& id) { return LowerCase(id) == LowerCase(ActiveId); });
  if (!ActiveId.empty() && it != DeviceIds.end()) {
    cmbCameras->SetItemIndex(static_cast<int>(it - DeviceIds.begin()));
    return;
  }
  if (Window) Window->Stop();
  cmbCameras->SetItemIndex(DeviceIds.empty() ? -1 : 0);
}

void TCameraSource::LoadSettings() {
  TRaise raise(Updating);
  const std::wstring id = CreateAppIniFile()->ReadString(kSection, kActiveId, L"");
  if (id.empty()) return;
  const auto it = std::find_if(DeviceIds.begin(), DeviceIds.end(),
                               [&](const std::wstring& d) { return LowerCase(d) == LowerCase(id); });
  if (it == DeviceIds.end()) return;
  cmbCameras->SetItemIndex(static_cast<int>(it - DeviceIds.begin()));
  cmbCamerasChange(cmbCameras);
}

void TCameraSource::SaveSettings() {
  if (Updating > 0) return;
  auto ini = CreateAppIniFile();
  const std::wstring id = SelectedId();
  if (id.empty()) ini->EraseSection(kSection);
  else ini->WriteString(kSection, kActiveId, id);
}

std::wstring TCameraSource::SelectedId() const {
  const int i = cmbCameras->ItemIndex();
  return i >= 0 && i < static_cast<int>(DeviceIds.size()) ? DeviceIds[i] : std::wstring();
}

void TCameraSource::cmbCamerasChange(TObject*) {
  if (ComponentState() & csLoading) return;
  const std::wstring id = SelectedId();
  if (id.empty()) {
    if (Window) Window->Stop();
    ActiveId.clear();
    return;
  }
  if (id == ActiveId) return;
  ActiveId = id;
  SaveSettings();
  if (!Loading && Active && Window) Window->PlayOrResume(false);
}

void TCameraSource::btnDriverParamsClick(TObject*) {
  const std::wstring id = SelectedId();
  if (id.empty()) return;
  // bound by its display name: the device listed at that place may have changed since
  TComPtr<IBaseFilter> filter;
  if (TComPtr<IMoniker> moniker = FindVideoDevice(id))
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid());
  if (filter && HasFilterPropertyPage(filter.Get(), TPropertyPageKind::ppDefault))
    ShowFilterPropertyPage(Handle(), filter.Get(), TPropertyPageKind::ppDefault);
  else
    ShowMessage(L"此设备没有设置参数的窗口");
}

void TCameraSource::btnRefreshClick(TObject*) { RefreshDevices(); }
}  // namespace kivo
