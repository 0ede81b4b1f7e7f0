#include "MachineCode.h"

#include <cpuid.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <winternl.h>

#include <cstring>

#include "Handles.h"
#include "Md5.h"

namespace kivo {

namespace {

// A WMI enumeration waits this long for each object; a stalled service ends it.
constexpr LONG kWmiObjectWaitMs = 15000;
constexpr std::size_t kMaxPnpIdChars = 127;
constexpr std::size_t kMaxInterfacePathChars = 259;
constexpr DWORD kIoctlNdisQueryGlobalStats = 0x170002;
constexpr DWORD kOid8023PermanentAddress = 0x01010101;

const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

TMacAddress g_adapterMac{};

// COM for the calling thread, multithreaded, for one scope.
class TComApartment {
 public:
  TComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~TComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;
  bool Ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

class TBstr {
 public:
  explicit TBstr(const wchar_t* text) : s_(::SysAllocString(text)) {}
  ~TBstr() { ::SysFreeString(s_); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR Get() const { return s_; }

 private:
  BSTR s_;
};

class TVariant {
 public:
  TVariant() { ::VariantInit(&v_); }
  ~TVariant() { ::VariantClear(&v_); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  VARIANT* operator&() { return &v_; }
  const VARIANT& Get() const { return v_; }

 private:
  VARIANT v_;
};

// Locator, namespace connection and proxy security for one WMI namespace.
TComPtr<IWbemServices> ConnectWmi(const wchar_t* ns) {
  TComPtr<IWbemLocator> locator;
  if (FAILED(::CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                locator.PutVoid())))
    return {};
  TComPtr<IWbemServices> services;
  TBstr name(ns);
  if (FAILED(locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Put())))
    return {};
  if (FAILED(::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
    return {};
  return services;
}

// The next object of an enumeration; nothing at its end, on failure or when none came in time.
TComPtr<IWbemClassObject> NextObject(IEnumWbemClassObject* items) {
  TComPtr<IWbemClassObject> object;
  ULONG returned = 0;
  const HRESULT hr = items->Next(kWmiObjectWaitMs, 1, object.Put(), &returned);
  if (FAILED(hr) || returned == 0) return {};
  return object;
}

}  // namespace

// --- SMBIOS ---

std::string TSmbiosStructure::String(BYTE number) const {
  if (number == 0) return {};
  std::size_t pos = FormattedLength;
  for (BYTE k = 1; pos < Bytes.size(); ++k) {
    std::size_t end = pos;
    while (end < Bytes.size() && Bytes[end] != 0) ++end;
    if (end == pos) return {};  // the empty string that ends the set
    if (k == number) return std::string(reinterpret_cast<const char*>(Bytes.data()) + pos, end - pos);
    pos = end + 1;
  }
  return {};
}

void CSmbiosTable::Request(BYTE type) {
  for (const TEntry& e : entries_)
    if (e.Type == type) return;
  entries_.push_back(TEntry{type, {}});
}

void CSmbiosTable::Walk(const BYTE* data, std::size_t size) {
  std::size_t pos = 0;
  while (size - pos >= 2) {
    const BYTE type = data[pos];
    const BYTE formatted = data[pos + 1];
    if (pos + formatted >= size) break;
    std::size_t end = 0;
    for (std::size_t i = pos + formatted; i + 1 < size; ++i)
      if (data[i] == 0 && data[i + 1] == 0) {
        end = i + 2;
        break;
      }
    if (end == 0) break;  // a string set without its two zeros ends the walk
    for (TEntry& e : entries_)
      if (e.Type == type) {
        TSmbiosStructure s;
        s.Type = type;
        s.FormattedLength = formatted;
        s.Bytes.assign(data + pos, data + end);
        e.Found.push_back(std::move(s));
      }
    pos = end;
  }
}

const std::vector<TSmbiosStructure>* CSmbiosTable::GetAll(BYTE type) const {
  for (const TEntry& e : entries_)
    if (e.Type == type) return &e.Found;
  return nullptr;
}

const TSmbiosStructure* CSmbiosTable::Get(BYTE type) const {
  const auto* all = GetAll(type);
  return all && !all->empty() ? &all->front() : nullptr;
}

std::optional<TSmbiosSystem> CSmbiosTable::ParseSystem() const {
  const TSmbiosStructure* s = Get(1);
  if (!s || s->Bytes.size() < 27) return std::nullopt;
  TSmbiosSystem r;
  r.Manufacturer = s->String(s->Byte(4));
  r.ProductName = s->String(s->Byte(5));
  r.Version = s->String(s->Byte(6));
  r.SerialNumber = s->String(s->Byte(7));
  r.SkuNumber = s->String(s->Byte(25));
  r.Family = s->String(s->Byte(26));
  return r;
}

std::optional<TSmbiosEnclosure> CSmbiosTable::ParseEnclosure() const {
  const TSmbiosStructure* s = Get(3);
  if (!s || s->Bytes.size() < 8) return std::nullopt;
  TSmbiosEnclosure r;
  r.Type = s->Byte(5);
  r.Manufacturer = s->String(s->Byte(4));
  r.Version = s->String(s->Byte(6));
  r.SerialNumber = s->String(s->Byte(7));
  r.AssetTag = s->String(s->Byte(8));  // a structure of 8 bytes has no byte 8: no asset tag
  return r;
}

const char* ChassisText(BYTE enclosureType) {
  return enclosureType == 10 || enclosureType == 14 ? "NoteBook" : "Desktop";
}

std::optional<TRawSmbios> SmbiosFromFirmwareTable(const BYTE* data, std::size_t size) {
  if (size < 8) return std::nullopt;
  TRawSmbios raw;
  raw.MajorVersion = data[1];
  raw.MinorVersion = data[2];
  raw.Data.assign(data + 8, data + size);
  return raw;
}

std::optional<TRawSmbios> ReadSmbiosFirmwareTable() {
  using Fn = UINT(WINAPI*)(DWORD, DWORD, PVOID, DWORD);
  auto get = reinterpret_cast<Fn>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemFirmwareTable"));
  if (!get) return std::nullopt;
  constexpr DWORD kRsmb = 0x52534D42;
  UINT size = get(kRsmb, 0, nullptr, 0);
  // The table is copied from what the second call returns; a table that grew in between is asked
  // for again.
  for (int attempt = 0; attempt < 3 && size > 0; ++attempt) {
    std::vector<BYTE> buffer(size);
    const UINT got = get(kRsmb, 0, buffer.data(), size);
    if (got == 0) return std::nullopt;
    if (got <= size) return SmbiosFromFirmwareTable(buffer.data(), got);
    size = got;
  }
  return std::nullopt;
}

std::optional<TRawSmbios> ReadSmbiosWmi() {
  TComApartment com;
  if (!com.Ok()) return std::nullopt;
  TComPtr<IWbemServices> services = ConnectWmi(L"ROOT\\WMI");
  if (!services) return std::nullopt;
  TComPtr<IEnumWbemClassObject> items;
  TBstr cls(L"MSSMBios_RawSMBiosTables");
  if (FAILED(services->CreateInstanceEnum(cls.Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                          items.Put())))
    return std::nullopt;
  TComPtr<IWbemClassObject> table = NextObject(items.Get());
  if (!table) return std::nullopt;
  TRawSmbios raw;
  // The version values are kept when present; the table does not depend on them.
  {
    TVariant v;
    if (SUCCEEDED(table->Get(L"SmbiosMajorVersion", 0, &v, nullptr, nullptr)) &&
        SUCCEEDED(::VariantChangeType(&v, &v, 0, VT_UI4)))
      raw.MajorVersion = static_cast<BYTE>(v.Get().ulVal);
  }
  {
    TVariant v;
    if (SUCCEEDED(table->Get(L"SmbiosMinorVersion", 0, &v, nullptr, nullptr)) &&
        SUCCEEDED(::VariantChangeType(&v, &v, 0, VT_UI4)))
      raw.MinorVersion = static_cast<BYTE>(v.Get().ulVal);
  }
  TVariant data;
  if (FAILED(table->Get(L"SMBiosData", 0, &data, nullptr, nullptr))) return std::nullopt;
  if (data.Get().vt != (VT_ARRAY | VT_UI1) || !data.Get().parray) return std::nullopt;
  SAFEARRAY* array = data.Get().parray;
  LONG lower = 0, upper = -1;
  if (FAILED(::SafeArrayGetLBound(array, 1, &lower)) || FAILED(::SafeArrayGetUBound(array, 1, &upper)))
    return std::nullopt;
  void* bytes = nullptr;
  if (upper < lower || FAILED(::SafeArrayAccessData(array, &bytes))) return std::nullopt;
  const BYTE* first = static_cast<const BYTE*>(bytes);
  raw.Data.assign(first, first + (static_cast<std::size_t>(upper - lower) + 1));
  ::SafeArrayUnaccessData(array);
  return raw;
}

std::optional<TRawSmbios> ReadSmbiosBiosMemory() {
  using OpenSectionFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
  using MapViewFn = LONG(NTAPI*)(HANDLE, HANDLE, PVOID*, ULONG_PTR, SIZE_T, LARGE_INTEGER*, SIZE_T*, DWORD, ULONG,
                                 ULONG);
  using UnmapViewFn = LONG(NTAPI*)(HANDLE, PVOID);
  using CloseFn = LONG(NTAPI*)(HANDLE);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return std::nullopt;
  auto openSection = reinterpret_cast<OpenSectionFn>(::GetProcAddress(ntdll, "ZwOpenSection"));
  auto mapView = reinterpret_cast<MapViewFn>(::GetProcAddress(ntdll, "ZwMapViewOfSection"));
  auto unmapView = reinterpret_cast<UnmapViewFn>(::GetProcAddress(ntdll, "ZwUnmapViewOfSection"));
  auto close = reinterpret_cast<CloseFn>(::GetProcAddress(ntdll, "ZwClose"));
  if (!openSection || !mapView || !unmapView || !close) return std::nullopt;

  wchar_t name[] = L"\\device\\physicalmemory";
  UNICODE_STRING uname;
  uname.Buffer = name;
  uname.Length = static_cast<USHORT>((sizeof(name) / sizeof(name[0]) - 1) * sizeof(wchar_t));
  uname.MaximumLength = static_cast<USHORT>(sizeof(name));
  OBJECT_ATTRIBUTES attrs{};
  attrs.Length = sizeof(attrs);
  attrs.ObjectName = &uname;
  attrs.Attributes = 0x40;  // OBJ_CASE_INSENSITIVE
  HANDLE section = nullptr;
  if (openSection(&section, SECTION_MAP_READ, &attrs) < 0 || !section) return std::nullopt;
  std::optional<TRawSmbios> result;
  PVOID view = nullptr;
  SIZE_T viewSize = 0xFFFF;
  LARGE_INTEGER offset;
  offset.QuadPart = 0xF0000;
  if (mapView(section, ::GetCurrentProcess(), &view, 0, 0xFFFF, &offset, &viewSize, 1 /* ViewShare */, 0,
              PAGE_READONLY) >= 0 &&
      view) {
    TRawSmbios raw;
    raw.Data.assign(static_cast<const BYTE*>(view), static_cast<const BYTE*>(view) + viewSize);
    result = std::move(raw);
    unmapView(::GetCurrentProcess(), view);
  }
  close(section);
  return result;
}

bool CSmbiosTable::Load() {
  const WORD cls = GetOsClass();
  std::optional<TRawSmbios> raw;
  if (cls <= 4) {
    raw = ReadSmbiosBiosMemory();
    if (!raw) raw = ReadSmbiosWmi();
  } else if (::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemFirmwareTable")) {
    raw = ReadSmbiosFirmwareTable();  // no other source on this road
  } else {
    raw = ReadSmbiosWmi();
  }
  if (!raw) return false;
  MajorVersion = raw->MajorVersion;
  MinorVersion = raw->MinorVersion;
  TableLength = static_cast<DWORD>(raw->Data.size());
  Walk(raw->Data.data(), raw->Data.size());
  return true;
}

void CSmbiosInfo::Fill(const CSmbiosTable& table) {
  if (auto system = table.ParseSystem()) {
    SystemManufacturer = system->Manufacturer;
    ProductName = system->ProductName;
    SystemSerialNumber = system->SerialNumber;
    SkuNumber = system->SkuNumber;
    SystemVersion = system->Version;
  }
  if (auto enclosure = table.ParseEnclosure()) {
    AssetTag = enclosure->AssetTag;
    EnclosureManufacturer = enclosure->Manufacturer;
    EnclosureSerialNumber = enclosure->SerialNumber;
    Chassis = ChassisText(enclosure->Type);
    EnclosureVersion = enclosure->Version;
  }
}

bool CSmbiosInfo::Load() {
  CSmbiosTable table;
  table.Request(1);
  table.Request(3);
  if (!table.Load()) return false;
  Fill(table);
  return true;
}

bool CSmbiosInfo::LoadFromTable(const BYTE* data, std::size_t size) {
  CSmbiosTable table;
  table.Request(1);
  table.Request(3);
  table.Walk(data, size);
  Fill(table);
  return true;
}

std::string CSmbiosInfo::Concatenated() const {
  return AssetTag + EnclosureManufacturer + EnclosureSerialNumber + Chassis + EnclosureVersion + SystemManufacturer +
         ProductName + SystemSerialNumber + SkuNumber + SystemVersion;
}

// --- System class ---

WORD OsClassOf(DWORD major, DWORD minor, BYTE productType, bool is64Bit) {
  if (major == 4 && (minor == 0 || minor == 10 || minor == 90)) return 1;
  if (major == 5 && minor == 0) return 2;
  if (major == 5 && minor == 1) return is64Bit ? 8 : 4;
  if (major == 5 && minor == 2) return is64Bit ? 32 : 16;
  if (major == 6 && minor == 0) {
    if (productType == VER_NT_SERVER) return is64Bit ? 512 : 256;
    return is64Bit ? 128 : 64;
  }
  if (major == 6 && minor == 1) return is64Bit ? 2048 : 1024;
  return 0;
}

WORD GetOsClass() {
  static volatile LONG cached = 0;
  if (cached) return static_cast<WORD>(cached);
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return 0;
#pragma GCC diagnostic pop
  bool is64Bit = false;
#ifdef _WIN64
  is64Bit = true;  // a 64-bit program runs only on a 64-bit system
#else
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  if (auto isWow64 = reinterpret_cast<Fn>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process"))) {
    BOOL wow = FALSE;
    if (isWow64(::GetCurrentProcess(), &wow)) is64Bit = wow != FALSE;
  }
#endif
  const WORD cls = OsClassOf(info.dwMajorVersion, info.dwMinorVersion, info.wProductType, is64Bit);
  ::InterlockedExchange(&cached, cls);
  return cls;
}

// --- Network adapter ---

std::optional<std::wstring> DeviceInterfacePath(const std::wstring& pnpDeviceId) {
  std::wstring path = L"\\\\.\\" + pnpDeviceId + L"#{ad498944-762f-11d0-8dcb-00c04fc3358c}";
  for (std::size_t i = 4; i < 4 + pnpDeviceId.size(); ++i)
    if (path[i] == L'\\') path[i] = L'#';
  if (path.size() > kMaxInterfacePathChars) return std::nullopt;
  return path;
}

bool QueryPermanentMac(const std::wstring& pnpDeviceId, TMacAddress& mac) {
  const auto path = DeviceInterfacePath(pnpDeviceId);
  if (!path) return false;
  TFileOwner device(::CreateFileW(path->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  if (!device) return false;
  DWORD oid = kOid8023PermanentAddress;
  BYTE out[8] = {};
  DWORD returned = 0;
  if (!::DeviceIoControl(device.Get(), kIoctlNdisQueryGlobalStats, &oid, sizeof(oid), out, sizeof(out), &returned,
                         nullptr) ||
      returned < mac.size())
    return false;
  std::memcpy(mac.data(), out, mac.size());
  return true;
}

int ChooseAdapterMac(const std::vector<std::wstring>& pnpDeviceIds,
                     const std::function<bool(const std::wstring&, TMacAddress&)>& query, TMacAddress& best) {
  best.fill(0);
  int count = 0;
  for (const std::wstring& id : pnpDeviceIds) {
    if (id.size() < 3 || ::CompareStringOrdinal(id.c_str(), 3, L"PCI", 3, TRUE) != CSTR_EQUAL) continue;
    TMacAddress mac{};
    if (!query(id, mac)) continue;
    if (count == 0 || std::memcmp(mac.data(), best.data(), mac.size()) < 0) best = mac;
    ++count;
  }
  return count;
}

int PickAdapterMac(int queryIndex) {
  g_adapterMac.fill(0);
  static const wchar_t* const kQueries[2] = {
      L"SELECT * FROM Win32_NetworkAdapter WHERE (MACAddress IS NOT NULL) AND (NOT (PNPDeviceID LIKE 'ROOT%'))",
      L"SELECT * FROM Win32_NetworkAdapter WHERE (MACAddress IS NOT NULL) AND (NOT (PNPDeviceID LIKE 'ROOT%')) AND "
      L"(NOT (PNPDeviceID LIKE 'USB%'))"};
  if (queryIndex < 0 || queryIndex > 1) return -1;
  TComApartment com;
  if (!com.Ok()) return -2;
  if (FAILED(::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr)))
    return -2;
  std::vector<std::wstring> ids;
  {
    TComPtr<IWbemServices> services = ConnectWmi(L"ROOT\\CIMV2");
    if (!services) return -2;
    TComPtr<IEnumWbemClassObject> items;
    TBstr language(L"WQL");
    TBstr query(kQueries[queryIndex]);
    if (FAILED(services->ExecQuery(language.Get(), query.Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                   nullptr, items.Put())))
      return -3;
    while (TComPtr<IWbemClassObject> adapter = NextObject(items.Get())) {
      TVariant id;
      if (FAILED(adapter->Get(L"PNPDeviceID", 0, &id, nullptr, nullptr)) || id.Get().vt != VT_BSTR ||
          !id.Get().bstrVal)
        continue;
      std::wstring text(id.Get().bstrVal, ::SysStringLen(id.Get().bstrVal));
      if (text.size() > kMaxPnpIdChars) text.resize(kMaxPnpIdChars);
      ids.push_back(std::move(text));
    }
  }
  TMacAddress best{};
  const int count = ChooseAdapterMac(ids, QueryPermanentMac, best);
  g_adapterMac = best;
  return count;
}

const TMacAddress& AdapterMac() { return g_adapterMac; }

// --- CPUID ---

TCpuIdWords ReadCpuId() {
  TCpuIdWords w{};
  auto leaf = [](unsigned int n, std::uint32_t (&r)[4]) {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(n, 0, a, b, c, d);
    r[0] = a;
    r[1] = b;
    r[2] = c;
    r[3] = d;
  };
  leaf(0, w.Leaf0);
  leaf(1, w.Leaf1);
  leaf(3, w.Leaf3);
  return w;
}

// --- The code ---

std::vector<BYTE> BuildIdentityBuffer(const TMacAddress* mac, const TCpuIdWords& cpu, const CSmbiosInfo* smbios) {
  std::vector<BYTE> buffer;
  buffer.reserve(1024);
  auto put32 = [&buffer](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) buffer.push_back(static_cast<BYTE>(v >> (8 * i)));
  };
  if (mac) buffer.insert(buffer.end(), mac->begin(), mac->end());
  for (std::uint32_t v : cpu.Leaf0) put32(v);
  put32(cpu.Leaf1[0]);
  put32(cpu.Leaf1[2]);
  put32(cpu.Leaf1[3]);
  for (std::uint32_t v : cpu.Leaf3) put32(v);
  if (smbios) {
    const std::string strings = smbios->Concatenated();
    buffer.insert(buffer.end(), strings.begin(), strings.end());
  }
  return buffer;
}

bool BuildMachineCode(char (&out)[64]) {
  const int adapters = PickAdapterMac(1);
  const TMacAddress mac = g_adapterMac;
  const TCpuIdWords cpu = ReadCpuId();
  CSmbiosInfo smbios;
  const bool haveSmbios = smbios.Load();
  const std::vector<BYTE> buffer = BuildIdentityBuffer(adapters > 0 ? &mac : nullptr, cpu, haveSmbios ? &smbios : nullptr);
  const std::string text = CMd5::Of(buffer.data(), buffer.size());
  std::memset(out, 0, sizeof(out));
  if (text.size() > sizeof(out) - 1) return false;
  std::memcpy(out, text.data(), text.size());
  return true;
}

}  // namespace kivo
