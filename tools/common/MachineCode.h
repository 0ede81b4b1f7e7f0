// The machine identity code: MD5 of the permanent MAC address of the PCI network adapter with the
// smallest address, CPUID words and SMBIOS system and enclosure strings. The server keeps the codes
// it receives, so the bytes hashed and their order are fixed.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// --- SMBIOS ---

// One structure: its formatted area followed by its string set (both zeros of the end included).
struct TSmbiosStructure {
  BYTE Type = 0;
  BYTE FormattedLength = 0;
  std::vector<BYTE> Bytes;

  BYTE Byte(std::size_t offset) const { return offset < Bytes.size() ? Bytes[offset] : 0; }
  // String number k (from 1) of the string set; empty for 0 and for a number beyond the strings.
  std::string String(BYTE number) const;
};

struct TSmbiosSystem {  // type 1
  std::string Manufacturer, ProductName, Version, SerialNumber, SkuNumber, Family;
};

struct TSmbiosEnclosure {  // type 3
  BYTE Type = 0;
  std::string Manufacturer, Version, SerialNumber, AssetTag;
};

class CSmbiosTable {
 public:
  void Request(BYTE type);
  // Reads the table the way the system allows (see MachineCode.cpp) and walks it.
  bool Load();
  // Walks a raw structure table: keeps the structures of the requested types.
  void Walk(const BYTE* data, std::size_t size);
  // The first structure of the type found, or nothing.
  const TSmbiosStructure* Get(BYTE type) const;
  // All structures of the type found, first first.
  const std::vector<TSmbiosStructure>* GetAll(BYTE type) const;

  std::optional<TSmbiosSystem> ParseSystem() const;
  std::optional<TSmbiosEnclosure> ParseEnclosure() const;

  BYTE MajorVersion = 0;
  BYTE MinorVersion = 0;
  DWORD TableLength = 0;

 private:
  struct TEntry {
    BYTE Type;
    std::vector<TSmbiosStructure> Found;
  };
  std::vector<TEntry> entries_;
};

// The ten strings of the identity, each empty when its structure or string is absent.
class CSmbiosInfo {
 public:
  bool Load();                              // from the platform
  void Fill(const CSmbiosTable& table);     // from a walked table (types 1 and 3 requested)
  bool LoadFromTable(const BYTE* data, std::size_t size);  // a raw structure table

  // Enclosure
  std::string AssetTag, EnclosureManufacturer, EnclosureSerialNumber, Chassis, EnclosureVersion;
  // System
  std::string SystemManufacturer, ProductName, SystemSerialNumber, SkuNumber, SystemVersion;

  // The strings in hashing order, without separators.
  std::string Concatenated() const;
};

// "NoteBook" for enclosure types 10 and 14 (the whole byte), else "Desktop".
const char* ChassisText(BYTE enclosureType);

// Raw table readers; each answers nothing when it cannot read the table.
struct TRawSmbios {
  std::vector<BYTE> Data;  // the structures
  BYTE MajorVersion = 0;
  BYTE MinorVersion = 0;
};
std::optional<TRawSmbios> ReadSmbiosFirmwareTable();
std::optional<TRawSmbios> ReadSmbiosWmi();
std::optional<TRawSmbios> ReadSmbiosBiosMemory();
// The structures of a 'RSMB' firmware table (its 8-byte header taken off); nothing when shorter
// than the header or when the header's length does not fit.
std::optional<TRawSmbios> SmbiosFromFirmwareTable(const BYTE* data, std::size_t size);

// --- System class (1, 2, 4, ... 2048; 0 for anything else) ---
WORD GetOsClass();
WORD OsClassOf(DWORD major, DWORD minor, BYTE productType, bool is64Bit);

// --- Network adapter ---

using TMacAddress = std::array<BYTE, 6>;

// "\\.\" + the device id with "\" turned into "#" + the NDIS LAN class interface; nothing when
// longer than 259 characters.
std::optional<std::wstring> DeviceInterfacePath(const std::wstring& pnpDeviceId);
// The permanent address of the adapter through the NDIS statistics request.
bool QueryPermanentMac(const std::wstring& pnpDeviceId, TMacAddress& mac);
// Among the devices whose id begins with "PCI" (any case) and for which query succeeds, the
// smallest address (bytes compared unsigned, first first). Answers how many answered.
int ChooseAdapterMac(const std::vector<std::wstring>& pnpDeviceIds,
                     const std::function<bool(const std::wstring&, TMacAddress&)>& query, TMacAddress& best);
// Queries WMI (index 1: without USB adapters, 0: with them). Answers the count of adapters that
// answered, -1 for another index, -2 when COM or WMI cannot be set up, -3 when the query fails.
// The chosen address is left in AdapterMac() (zeros when none).
int PickAdapterMac(int queryIndex);
const TMacAddress& AdapterMac();

// --- CPUID ---
struct TCpuIdWords {
  std::uint32_t Leaf0[4];  // EAX, EBX, ECX, EDX
  std::uint32_t Leaf1[4];
  std::uint32_t Leaf3[4];
};
TCpuIdWords ReadCpuId();

// --- The code ---

// MAC (when given), CPUID leaf 0 (16 bytes), leaf 1 EAX, ECX, EDX (12), leaf 3 (16), then the
// SMBIOS strings (when given). Grows as needed: long strings are hashed whole.
std::vector<BYTE> BuildIdentityBuffer(const TMacAddress* mac, const TCpuIdWords& cpu, const CSmbiosInfo* smbios);
// The code of this machine as 32 lower-case hexadecimal digits in a zeroed 64-byte buffer.
bool BuildMachineCode(char (&out)[64]);

}  // namespace kivo
