// The test devices: cameras and microphones that a DirectShow program finds in the system device
// enumerator as it finds hardware ("@device:pnp:..." monikers), and a stand-in for the system's
// Colour Space Converter and one for its File Writer. They exist only in the Wine prefixes of the tests and of scripts/run.sh.
//
// The device list lives in the registry, one key per device:
//   HKLM\Software\KivoTest\Devices\{category}\<key>
// with the values of the device's property bag: FriendlyName, CLSID, DevicePath, and what the
// device reads when it is bound (a camera: Pattern, the camera number its pixels carry, and
// Formats; a microphone: ToneHz, the tone of its first line). The enumerator shim (kivodevenum.dll)
// appends these devices after Wine's own entries of the category.
//
// Tests may add and remove devices while they run: a device is listed from the next enumeration
// on, and gone from the next enumeration after its removal (BroadcastDeviceChange then tells
// the windows, as Windows does when a camera is plugged in or out). Tests that change the list
// or depend on the exact list use the ctest LOCK "testdevices" (kivo_add_test(... LOCK testdevices)).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <uuids.h>

#include <optional>
#include <string>
#include <vector>

namespace kivo::testdev {

// {51F6D215-A72D-4290-8DD7-4162C8AE58CC}
inline constexpr CLSID CLSID_PatternCamera = {0x51f6d215, 0xa72d, 0x4290, {0x8d, 0xd7, 0x41, 0x62, 0xc8, 0xae, 0x58, 0xcc}};
// {6385003E-A9FB-466B-804F-240E29D3B469}
inline constexpr CLSID CLSID_TestMicrophone = {0x6385003e, 0xa9fb, 0x466b, {0x80, 0x4f, 0x24, 0x0e, 0x29, 0xd3, 0xb4, 0x69}};
// The system Colour Space Converter's class, served by the stand-in.
inline constexpr CLSID CLSID_ColourConverter = {0x1643e180, 0x90f5, 0x11ce, {0x97, 0xd5, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
// The filter category the camera and microphone classes are registered in: their own, so that no
// client lists them as software devices.
// {0C3181F8-B991-4E41-9D0D-D6558D89196C}
inline constexpr GUID kTestDriverCategory = {0x0c3181f8, 0xb991, 0x4e41, {0x9d, 0x0d, 0xd6, 0x55, 0x8d, 0x89, 0x19, 0x6c}};
// The stored moniker of the converter, as KivoApp's camera window keeps it.
inline constexpr wchar_t kConverterDisplayName[] =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{1643E180-90F5-11CE-97D5-00AA0055595A}";
inline constexpr wchar_t kConverterName[] = L"Color Space Converter";
inline constexpr DWORD kConverterMerit = 0x00400001;

// The File Writer stand-in, under the system File Writer's class and name, and its stored moniker as
// KivoApp's audio recorder keeps it.
inline constexpr wchar_t kFileWriterDisplayName[] =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}";
inline constexpr wchar_t kFileWriterName[] = L"File writer";
// The AVI Mux stand-in, under the system multiplexer's class and name.
inline constexpr wchar_t kAviMuxName[] = L"AVI Mux";

inline constexpr wchar_t kDeviceRoot[] = L"Software\\KivoTest\\Devices";
inline constexpr wchar_t kPnpPrefix[] = L"@device:pnp:";
// The formats every camera offers unless its Formats value says otherwise.
inline constexpr wchar_t kDefaultCameraFormats[] = L"RGB24 320x240; RGB24 640x480; YUY2 640x480; YUY2 320x240";

struct TDeviceEntry {
  GUID Category = GUID_NULL;
  std::wstring Key;  // the device's key under its category
  std::wstring FriendlyName;
  CLSID Clsid = GUID_NULL;
  std::wstring DevicePath;  // "\\?\..."; the moniker's display name is "@device:pnp:" + this
  DWORD Pattern = 0;        // a camera: the camera number in its pixels (1..255)
  std::wstring Formats;     // a camera: "RGB24 320x240; YUY2 640x480" (empty: the default formats)
  DWORD ToneHz = 0;         // a microphone: the tone of line 1 (line n plays n times it)
  std::wstring DisplayName() const { return kPnpPrefix + DevicePath; }
};

// A camera numbered `pattern` (its key "camera007" for 7, its device path holding "vid_kv07").
TDeviceEntry MakeCamera(DWORD pattern, const std::wstring& friendlyName, const std::wstring& formats = L"");
// A microphone (its key "mic0440" for 440 Hz).
TDeviceEntry MakeMicrophone(DWORD toneHz, const std::wstring& friendlyName);

// What every test prefix has: "Kivo Test Camera 1" (all formats) and "Kivo Test Camera 2" (YUY2
// 640x480 first, then RGB24 640x480: no picture of KivoApp's output size, so it is converted and
// stretched), and two microphones, "麦克风 (Kivo Test Audio)" (440 Hz) listed before
// "立体声混音 (Kivo Test Audio)" (1000 Hz).
const std::vector<TDeviceEntry>& DefaultDevices();

// Whether the test devices are set up in this prefix (the system device enumerator is the shim and
// the default devices are listed); otherwise `why` says what is missing. A test that needs them
// asserts it first: ASSERT_TRUE(TestDevicesInstalled(&why)) << why.
bool TestDevicesInstalled(std::string* why = nullptr);

// The devices of a category in enumeration order (by key name).
std::vector<TDeviceEntry> ListDevices(const GUID& category);
// The device whose moniker has this display name (any case), in any category.
std::optional<TDeviceEntry> FindDevice(const std::wstring& displayName);
// HKLM-relative path of a device's key.
std::wstring DeviceKeyPath(const GUID& category, const std::wstring& key);
// Writes the device's key (replacing one of the same key); the device is listed from the next
// enumeration on.
HRESULT AddDevice(const TDeviceEntry& device);
// Removes the device's key (S_FALSE when there was none): unplugged.
HRESULT RemoveDevice(const GUID& category, const std::wstring& key);
inline HRESULT RemoveDevice(const TDeviceEntry& device) { return RemoveDevice(device.Category, device.Key); }
// WM_DEVICECHANGE (DBT_DEVNODES_CHANGED) to every top-level window, as after a device came or went.
void BroadcastDeviceChange();

// A device added for a scope: removed again (and the change broadcast) when it ends.
class TScopedDevice {
 public:
  explicit TScopedDevice(TDeviceEntry device, bool broadcast = true);
  ~TScopedDevice();
  TScopedDevice(const TScopedDevice&) = delete;
  TScopedDevice& operator=(const TScopedDevice&) = delete;
  const TDeviceEntry& Device() const { return Device_; }
  HRESULT Result() const { return Result_; }
  // Unplugs it now (nothing more happens at the end of the scope).
  HRESULT Remove();

 private:
  TDeviceEntry Device_;
  bool Broadcast;
  bool Present = false;
  HRESULT Result_;
};

// Text of a GUID in braces, upper case; and back (false for bad text).
std::wstring GuidString(const GUID& g);
bool ParseGuid(const std::wstring& text, GUID& g);

// Sample k of a run of a microphone line playing `hz` at `rate` samples a second (16 bits, `level` of
// half the full scale): what a test expects the microphone to deliver.
short ToneSample(DWORD hz, DWORD rate, unsigned long long k, double level = 1.0);

// One format of a camera, from its Formats text.
struct TCameraFormat {
  GUID Subtype = GUID_NULL;  // MEDIASUBTYPE_RGB24 or MEDIASUBTYPE_YUY2
  LONG Width = 0, Height = 0;
  WORD BitCount = 0;
  DWORD Compression = 0;  // BI_RGB or the FourCC
  DWORD ImageBytes() const;
};
// "RGB24 320x240; YUY2 640x480": false for an unknown subtype, a bad size (width even, 16 to 2032,
// height 16 to 2032) or no format.
bool ParseCameraFormats(const std::wstring& text, std::vector<TCameraFormat>& formats);

}  // namespace kivo::testdev
