// The machine identity code: SMBIOS tables walked and read, the identity buffer's bytes, the
// adapter choice, MD5, and the code of this machine computed again by the test.
#include <gtest/gtest.h>

#include <windows.h>

#include <cpuid.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "MachineCode.h"
#include "Md5.h"
#include "ToolsTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

using TBytes = std::vector<BYTE>;

// One structure: type, formatted length, the formatted bytes after the 4-byte header, strings.
TBytes Structure(BYTE type, BYTE formattedLength, const std::map<int, BYTE>& fields,
                 const std::vector<std::string>& strings, bool terminated = true) {
  TBytes s(formattedLength, 0);
  s[0] = type;
  if (formattedLength > 1) s[1] = formattedLength;
  for (const auto& [at, value] : fields) s[static_cast<std::size_t>(at)] = value;
  for (const std::string& text : strings) {
    s.insert(s.end(), text.begin(), text.end());
    s.push_back(0);
  }
  if (!terminated) return s;
  if (strings.empty()) s.push_back(0);
  s.push_back(0);
  return s;
}

// A system structure (SMBIOS 2.4 layout) naming its strings 1 to 6 in field order.
TBytes System(const std::vector<std::string>& strings, BYTE formattedLength = 27) {
  std::map<int, BYTE> fields{{4, 1}, {5, 2}, {6, 3}, {7, 4}};
  if (formattedLength >= 27) {
    fields[25] = 5;
    fields[26] = 6;
  }
  return Structure(1, formattedLength, fields, strings);
}

TBytes Enclosure(BYTE chassisType, const std::vector<std::string>& strings, BYTE assetTagString = 4) {
  return Structure(3, 9, {{4, 1}, {5, chassisType}, {6, 2}, {7, 3}, {8, assetTagString}}, strings);
}

TBytes Join(std::initializer_list<TBytes> parts) {
  TBytes all;
  for (const TBytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Strings(const TBytes& table) {
  CSmbiosInfo info;
  info.LoadFromTable(table.data(), table.size());
  return info.Concatenated();
}

const std::vector<std::string> kSystemStrings = {"Maker", "Model", "V1", "SN123", "SKU9", "Family"};
const std::vector<std::string> kEnclosureStrings = {"CaseMaker", "CaseV", "CaseSN", "Tag42"};
// The system strings in hashing order: manufacturer, product, serial, SKU, version.
const std::string kSystemText = "MakerModelSN123SKU9V1";

}  // namespace

TEST(Smbios, TablesGiveTheTenStringsInHashingOrder) {
  struct TCase {
    const char* name;
    TBytes table;
    std::string expected;
  } cases[] = {
      {"desktop", Join({System(kSystemStrings), Enclosure(3, kEnclosureStrings)}),
       "Tag42CaseMakerCaseSNDesktopCaseV" + kSystemText},
      {"enclosure first, type 127 between",
       Join({Enclosure(10, kEnclosureStrings), Structure(127, 4, {}, {}), System(kSystemStrings)}),
       "Tag42CaseMakerCaseSNNoteBookCaseV" + kSystemText},
      {"chassis 14", Join({Enclosure(14, kEnclosureStrings)}), "Tag42CaseMakerCaseSNNoteBookCaseV"},
      {"chassis 0x8A (10 with the lock bit)", Join({Enclosure(0x8A, kEnclosureStrings)}),
       "Tag42CaseMakerCaseSNDesktopCaseV"},
      {"no enclosure", Join({System(kSystemStrings)}), kSystemText},
      {"no structures of either type", Join({Structure(4, 0x1A, {}, {"CPU"})}), ""},
      {"only the first of a type counts",
       Join({System(kSystemStrings), System({"Other", "Other", "Other", "Other", "Other", "Other"})}), kSystemText},
      {"string numbers beyond the count", Join({Enclosure(3, {"CaseMaker"}, 9)}), "CaseMakerDesktop"},
      {"short formatted area (before 2.4): SKU from the strings' first bytes",
       Join({System({"Maker", "Model", "V1", "SN123"}, 25)}), "MakerModelSN123V1"},
      {"a string set without its two zeros ends the walk",
       Join({System(kSystemStrings), Structure(3, 9, {{4, 1}, {5, 3}}, {"CaseMaker"}, false)}), kSystemText},
      {"a structure whose formatted area runs past the end", Join({System(kSystemStrings), TBytes{3, 40, 0, 0}}),
       kSystemText},
      {"a system structure under 27 bytes is not read", Join({Structure(1, 8, {{4, 1}}, {"Maker"})}), ""},
      {"empty table", TBytes{}, ""},
      {"one byte", TBytes{1}, ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(Strings(c.table), c.expected) << c.name;
}

TEST(Smbios, WalkSurvivesOddLengthsAndKeepsEveryStructureOfARequestedType) {
  // Formatted lengths 0 and 1 overlap the header; the walk still moves on.
  const TBytes odd = Join({TBytes{7, 0, 0}, TBytes{8, 1, 0, 0}, Enclosure(10, kEnclosureStrings),
                           Enclosure(3, {"Second"})});
  CSmbiosTable table;
  table.Request(3);
  table.Request(3);
  table.Walk(odd.data(), odd.size());
  const auto* all = table.GetAll(3);
  ASSERT_NE(all, nullptr);
  ASSERT_EQ(all->size(), 2u);
  EXPECT_EQ((*all)[0].String(1), "CaseMaker");
  EXPECT_EQ((*all)[1].String(1), "Second");
  EXPECT_EQ(table.Get(1), nullptr);

  // An enclosure of exactly 8 bytes: read, with no asset tag.
  const TBytes tiny = {3, 6, 0, 0, 1, 10, 0, 0};
  CSmbiosTable small;
  small.Request(3);
  small.Walk(tiny.data(), tiny.size());
  const auto enclosure = small.ParseEnclosure();
  ASSERT_TRUE(enclosure.has_value());
  EXPECT_EQ(enclosure->Type, 10);
  EXPECT_EQ(enclosure->AssetTag, "");
}

TEST(Smbios, FirmwareTableHeaderIsTakenOffAndAShortOneRefused) {
  for (std::size_t size = 0; size < 8; ++size) {
    const TBytes data(size, 0);
    EXPECT_FALSE(SmbiosFromFirmwareTable(data.data(), data.size()).has_value()) << size;
  }
  TBytes raw = {0, 2, 7, 0, 0, 0, 0, 0};
  const TBytes system = System(kSystemStrings);
  raw.insert(raw.end(), system.begin(), system.end());
  const auto parsed = SmbiosFromFirmwareTable(raw.data(), raw.size());
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->MajorVersion, 2);
  EXPECT_EQ(parsed->MinorVersion, 7);
  EXPECT_EQ(parsed->Data, system);
}

TEST(MachineCode, IdentityBufferLaysOutMacCpuIdAndStrings) {
  TCpuIdWords cpu{};
  for (int i = 0; i < 4; ++i) {
    cpu.Leaf0[i] = 0x10203040u + i;
    cpu.Leaf1[i] = 0x50607080u + i;
    cpu.Leaf3[i] = 0x90A0B0C0u + i;
  }
  const TMacAddress mac = {0x00, 0x0B, 0x22, 0x33, 0x44, 0x55};
  CSmbiosInfo info;
  const TBytes table = Join({System(kSystemStrings), Enclosure(10, kEnclosureStrings)});
  info.LoadFromTable(table.data(), table.size());

  auto le = [](std::uint32_t v) {
    return TBytes{BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
  };
  TBytes cpuBytes;
  for (int i = 0; i < 4; ++i) cpuBytes = Join({cpuBytes, le(cpu.Leaf0[i])});
  cpuBytes = Join({cpuBytes, le(cpu.Leaf1[0]), le(cpu.Leaf1[2]), le(cpu.Leaf1[3])});  // EBX of leaf 1 left out
  for (int i = 0; i < 4; ++i) cpuBytes = Join({cpuBytes, le(cpu.Leaf3[i])});
  ASSERT_EQ(cpuBytes.size(), 44u);
  const std::string text = info.Concatenated();
  const TBytes textBytes(text.begin(), text.end());

  EXPECT_EQ(BuildIdentityBuffer(&mac, cpu, &info), Join({TBytes(mac.begin(), mac.end()), cpuBytes, textBytes}));
  EXPECT_EQ(BuildIdentityBuffer(nullptr, cpu, &info), Join({cpuBytes, textBytes}));
  EXPECT_EQ(BuildIdentityBuffer(nullptr, cpu, nullptr), cpuBytes);

  // Long strings are hashed whole: the buffer grows past 1024 bytes.
  const std::string longText(700, 'x');
  const TBytes big = Join({System({longText, longText, longText, longText, longText, longText}),
                           Enclosure(3, {longText, longText, longText, longText})});
  CSmbiosInfo longInfo;
  longInfo.LoadFromTable(big.data(), big.size());
  const TBytes buffer = BuildIdentityBuffer(&mac, cpu, &longInfo);
  EXPECT_EQ(buffer.size(), 6u + 44u + 9u * 700u + 7u);
  EXPECT_EQ(TBytes(buffer.end() - 700, buffer.end()), TBytes(700, 'x'));
}

TEST(MachineCode, TheSmallestPermanentAddressOfAPciAdapterIsChosen) {
  const std::map<std::wstring, TMacAddress> answers = {
      {L"PCI\\VEN_8086&DEV_100E\\1", {0x00, 0x1A, 0x00, 0x00, 0x00, 0x01}},
      {L"pci\\VEN_10EC&DEV_8168\\2", {0x00, 0x0B, 0xFF, 0xFF, 0xFF, 0xFF}},
      {L"USB\\VID_0B95\\3", {0x00, 0x00, 0x00, 0x00, 0x00, 0x01}},
      {L"PCI\\VEN_1AF4\\4", {0x80, 0x00, 0x00, 0x00, 0x00, 0x00}},
  };
  auto query = [&answers](const std::wstring& id, TMacAddress& mac) {
    auto it = answers.find(id);
    if (it == answers.end()) return false;
    mac = it->second;
    return true;
  };
  TMacAddress best{};
  const std::vector<std::wstring> ids = {L"PCI\\VEN_8086&DEV_100E\\1", L"USB\\VID_0B95\\3", L"pci\\VEN_10EC&DEV_8168\\2",
                                         L"PCI\\VEN_1AF4\\4", L"PCI\\NO_ANSWER\\5", L"PC"};
  EXPECT_EQ(ChooseAdapterMac(ids, query, best), 3);
  EXPECT_EQ(best, (TMacAddress{0x00, 0x0B, 0xFF, 0xFF, 0xFF, 0xFF})) << "compared unsigned, first byte first";
  EXPECT_EQ(ChooseAdapterMac({L"USB\\VID_0B95\\3"}, query, best), 0);
  EXPECT_EQ(best, TMacAddress{});
}

TEST(MachineCode, DeviceInterfacePathIsBounded) {
  EXPECT_EQ(DeviceInterfacePath(L"PCI\\VEN_8086&DEV_100E\\3&267A616A&0&18"),
            L"\\\\.\\PCI#VEN_8086&DEV_100E#3&267A616A&0&18#{ad498944-762f-11d0-8dcb-00c04fc3358c}");
  const std::wstring longest(259 - 4 - 39, L'A');
  ASSERT_TRUE(DeviceInterfacePath(longest).has_value());
  EXPECT_EQ(DeviceInterfacePath(longest)->size(), 259u);
  EXPECT_FALSE(DeviceInterfacePath(longest + L"A").has_value());
  TMacAddress mac{};
  EXPECT_FALSE(QueryPermanentMac(std::wstring(400, L'B'), mac));
}

TEST(MachineCode, OsClassByVersionProductTypeAndBits) {
  const struct {
    DWORD major, minor;
    BYTE product;
    bool is64;
    WORD cls;
  } cases[] = {
      {4, 0, 1, false, 1},     {4, 10, 1, false, 1},   {4, 90, 1, false, 1},   {5, 0, 1, false, 2},
      {5, 1, 1, false, 4},     {5, 1, 1, true, 8},     {5, 2, 3, false, 16},   {5, 2, 3, true, 32},
      {6, 0, 1, false, 64},    {6, 0, 2, true, 128},   {6, 0, 3, false, 256},  {6, 0, 3, true, 512},
      {6, 1, 1, false, 1024},  {6, 1, 3, true, 2048},  {6, 2, 1, true, 0},     {10, 0, 1, true, 0},
      {4, 1, 1, false, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OsClassOf(c.major, c.minor, c.product, c.is64), c.cls) << c.major << "." << c.minor;
}

TEST(Md5, Rfc1321Vectors) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : vectors) EXPECT_EQ(CMd5::Of(text.data(), text.size()), digest) << text;
}

TEST(Md5, PiecesOfEveryLengthMatchTheSystemsDigest) {
  std::string data;
  for (int i = 0; i < 300; ++i) data += static_cast<char>((i * 37 + 11) & 0xFF);
  for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    const std::string part = data.substr(0, length);
    CMd5 md5;
    for (std::size_t at = 0; at < part.size(); at += 7) md5.Update(part.data() + at, std::min<std::size_t>(7, part.size() - at));
    md5.Final();
    EXPECT_EQ(md5.Text(), SystemMd5(part)) << length;
  }
}

namespace {

// The test's own reading of the firmware's SMBIOS table: the ten strings as they are hashed.
std::string FirmwareStrings(bool& read) {
  read = false;
  const UINT size = ::GetSystemFirmwareTable(0x52534D42, 0, nullptr, 0);
  if (size < 8) return {};
  std::vector<BYTE> raw(size);
  if (::GetSystemFirmwareTable(0x52534D42, 0, raw.data(), size) != size) return {};
  read = true;
  std::vector<std::string> system, enclosure;
  std::vector<BYTE> systemFields, enclosureFields;
  std::size_t at = 8;
  while (at + 2 <= raw.size()) {
    const BYTE type = raw[at];
    const std::size_t length = raw[at + 1];
    if (at + length >= raw.size()) break;
    std::vector<std::string> strings;
    std::size_t p = at + length;
    std::string current;
    bool ended = false;
    for (; p + 1 < raw.size(); ++p) {
      if (raw[p] == 0 && raw[p + 1] == 0) {
        if (!current.empty()) strings.push_back(current);
        ended = true;
        break;
      }
      if (raw[p] == 0) {
        strings.push_back(current);
        current.clear();
      } else {
        current += static_cast<char>(raw[p]);
      }
    }
    if (!ended) break;
    const std::size_t total = p + 2 - at;
    if (type == 1 && system.empty() && systemFields.empty() && total >= 27) {
      system = strings;
      systemFields.assign(raw.begin() + at, raw.begin() + at + total);
    }
    if (type == 3 && enclosureFields.empty() && total >= 8) {
      enclosure = strings;
      enclosureFields.assign(raw.begin() + at, raw.begin() + at + total);
      enclosureFields.push_back(0);
    }
    at += total;
  }
  auto text = [](const std::vector<std::string>& strings, BYTE n) {
    return n >= 1 && n <= strings.size() ? strings[n - 1] : std::string();
  };
  std::string out;
  if (!enclosureFields.empty()) {
    const BYTE chassis = enclosureFields[5];
    out += text(enclosure, enclosureFields[8]) + text(enclosure, enclosureFields[4]) + text(enclosure, enclosureFields[7]) +
           (chassis == 10 || chassis == 14 ? "NoteBook" : "Desktop") + text(enclosure, enclosureFields[6]);
  }
  if (!systemFields.empty())
    out += text(system, systemFields[4]) + text(system, systemFields[5]) + text(system, systemFields[7]) +
           text(system, systemFields[25]) + text(system, systemFields[6]);
  return out;
}

}  // namespace

TEST(MachineCode, ThisMachinesCodeIsTheDigestOfItsPartsAndStable) {
  EXPECT_EQ(PickAdapterMac(2), -1);
  EXPECT_EQ(PickAdapterMac(-1), -1);
  const int adapters = PickAdapterMac(1);
  EXPECT_GE(adapters, 0);

  std::string expected;
  if (adapters > 0) expected.append(reinterpret_cast<const char*>(AdapterMac().data()), 6);
  for (unsigned leaf : {0u, 1u, 3u}) {
    unsigned r[4];
    __cpuid_count(leaf, 0, r[0], r[1], r[2], r[3]);
    for (int i = 0; i < 4; ++i) {
      if (leaf == 1 && i == 1) continue;
      for (int b = 0; b < 4; ++b) expected += static_cast<char>(r[i] >> (8 * b));
    }
  }
  bool tableRead = false;
  expected += FirmwareStrings(tableRead);
  ASSERT_TRUE(tableRead) << "the firmware table could not be read";

  char code[64];
  std::memset(code, 'x', sizeof(code));
  ASSERT_TRUE(BuildMachineCode(code));
  EXPECT_EQ(std::string(code), SystemMd5(expected));
  EXPECT_EQ(std::strlen(code), 32u);
  for (std::size_t i = 33; i < sizeof(code); ++i) EXPECT_EQ(code[i], 0) << "the buffer is cleared after the code";
  char again[64];
  ASSERT_TRUE(BuildMachineCode(again));
  EXPECT_STREQ(code, again);
}

TEST(MachineCode, SmbiosReadersAnswerWithoutHanging) {
  // Each source answers (with a table or with nothing) within the run's time limit; where the
  // firmware table is readable the platform's reader finds the same structures in it.
  const auto firmware = ReadSmbiosFirmwareTable();
  ASSERT_TRUE(firmware.has_value());
  CSmbiosInfo fromFirmware;
  fromFirmware.LoadFromTable(firmware->Data.data(), firmware->Data.size());
  CSmbiosInfo loaded;
  ASSERT_TRUE(loaded.Load());
  EXPECT_EQ(loaded.Concatenated(), fromFirmware.Concatenated());
  const auto wmi = ReadSmbiosWmi();
  if (wmi) {
    CSmbiosInfo fromWmi;
    fromWmi.LoadFromTable(wmi->Data.data(), wmi->Data.size());
    EXPECT_EQ(fromWmi.Concatenated(), fromFirmware.Concatenated());
  }
  EXPECT_FALSE(ReadSmbiosBiosMemory().has_value()) << "no physical memory section for a user program";
}
