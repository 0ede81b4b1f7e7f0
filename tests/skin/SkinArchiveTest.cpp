// The skin archive: the LZHUF decoder against streams worked out by hand, the position code
// against the published table, packing and unpacking archives of every version, the committed
// golden archive, the reader's name rules, damaged archives and the ini reader's rules.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "QuickIni.h"
#include "SkinArchive.h"
#include "SkinPack.h"
#include "SkinTestUtil.h"

namespace kivo::test {
namespace {

using skinpack::Bytes;

std::string Decode(const Bytes& stream, std::uint32_t count) {
  std::string out;
  std::size_t pos = 0;
  TLZH lzh;
  lzh.Decode(
      count, [&out](std::uint8_t b) { out.push_back(static_cast<char>(b)); },
      [&](std::uint8_t* b) -> int {
        if (pos >= stream.size()) return 0;
        *b = stream[pos++];
        return 1;
      });
  return out;
}

// Streams worked out by hand from the algorithm's starting tree, not made by our encoder:
//  - 'A' (symbol 65) in the starting tree: nodes 65, 346, 487, 557, 592, 610, 619, 623, 625 under
//    the root, each taking its parity as the bit: 111001101. Its update moves it to node 313.
//  - the match length 3 (symbol 256): nodes 256, 442, 535, 581, 604, 616, 622, 625: 10001100; its
//    update moves it to node 312.
//  - position 0: code 000 and six zero bits; position 4036 and 4037: code 11111111 (upper bits
//    63) and 000100 or 000101.
//  - 'A' once more, now at node 313: nodes 313, 470, 549, 588, 608, 618, 623, 625: 11000101.
// The ring holds blanks in 0..4035 and zeros above; writing starts at 4036.
TEST(LzhufTest, DecodesStreamsWorkedOutByHand) {
  struct TCase {
    Bytes stream;
    std::uint32_t count;
    std::string expected;
  } cases[] = {
      {{0xE6, 0xC6, 0x00, 0x00}, 4, "AAAA"},                // A, then 3 from the A just written
      {{0xE6, 0xC6}, 4, "AAAA"},                            // the same with the zero bits left out
      {{0xE6, 0xC6, 0x7F, 0x8A}, 4, std::string("A\0  ", 4)},  // 3 from ring 4095, 0, 1
      {{0xE6, 0xC6, 0x7F, 0x89, 0x8A}, 5, "A   A"},         // 3 blanks from ring 0, then A again
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.expected.size());
    EXPECT_EQ(Decode(c.stream, c.count), c.expected);
  }
}

TEST(LzhufTest, PositionCodeTableIsThePublishedOne) {
  // The published code of the upper 6 bits of a position, left-aligned in 8 bits, and its length.
  const std::uint8_t published[64] = {
      0x00, 0x20, 0x30, 0x40, 0x50, 0x58, 0x60, 0x68, 0x70, 0x78, 0x80, 0x88, 0x90, 0x94, 0x98, 0x9C,
      0xA0, 0xA4, 0xA8, 0xAC, 0xB0, 0xB4, 0xB8, 0xBC, 0xC0, 0xC2, 0xC4, 0xC6, 0xC8, 0xCA, 0xCC, 0xCE,
      0xD0, 0xD2, 0xD4, 0xD6, 0xD8, 0xDA, 0xDC, 0xDE, 0xE0, 0xE2, 0xE4, 0xE6, 0xE8, 0xEA, 0xEC, 0xEE,
      0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
  const int lengths[64] = {3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7,
                           7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
  int covered = 0;
  for (int i = 0; i < 64; ++i) {
    const int span = 1 << (8 - lengths[i]);
    for (int b = published[i]; b < published[i] + span; ++b, ++covered) {
      EXPECT_EQ(TLZH::PositionCodes()[b], i) << "byte " << b;
      EXPECT_EQ(TLZH::PositionCodeLengths()[b], lengths[i]) << "byte " << b;
    }
  }
  EXPECT_EQ(covered, 256);
}

TEST(LzhufTest, TruncatedStreamStillGivesTheAnnouncedSizeTheSameEachTime) {
  const Bytes stream = skinpack::LzhufEncode(Bytes(3000, 'x'));
  const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 3));
  const std::string first = Decode(cut, 3000), second = Decode(cut, 3000);
  EXPECT_GE(first.size(), 3000u);
  EXPECT_LT(first.size(), 3000u + TLZH::F);
  EXPECT_EQ(first, second);
}

Bytes SampleData(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  // runs, repeats and noise, as in bitmaps and text
  for (std::size_t i = 0; i < size;) {
    const unsigned kind = rng() % 3;
    const std::size_t n = std::min<std::size_t>(size - i, 1 + rng() % 200);
    for (std::size_t k = 0; k < n; ++k, ++i) {
      if (kind == 0) b[i] = static_cast<std::uint8_t>(rng());
      else if (kind == 1) b[i] = static_cast<std::uint8_t>(n);
      else b[i] = i >= 700 ? b[i - 700 + (rng() % 3)] : static_cast<std::uint8_t>('a' + k % 26);
    }
  }
  return b;
}

TEST(LzhufTest, PackedDataUnpacksToTheSameBytes) {
  // 200 KB gives far more than the 32,454 symbols after which the tree is rebuilt.
  for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(61), std::size_t(4097),
                           std::size_t(200000)}) {
    SCOPED_TRACE(size);
    const Bytes data = SampleData(size, static_cast<unsigned>(size));
    const std::string out = Decode(skinpack::LzhufEncode(data), static_cast<std::uint32_t>(size));
    ASSERT_EQ(out.size(), size);
    EXPECT_EQ(0, std::memcmp(out.data(), data.data(), size));
  }
}

std::vector<skinpack::TMember> SampleMembers() {
  return {{"Skin.INI", Bytes{'[', 'a', ']'}},
          {"picture.bmp", SampleData(5000, 7)},
          {"empty.bmp", {}},
          {"Other.Bmp", SampleData(300, 9)}};
}

TEST(SkinReaderTest, ArchivesOfEveryVersionUnpackToTheirMembers) {
  for (int version : {20000, 30000, 40000, 50000, 60000, 70000}) {
    SCOPED_TRACE(version);
    const auto members = SampleMembers();
    TMemoryStream packed;
    WriteBytes(packed, skinpack::PackSkinFile(skinpack::BuildArchive(version, members)));
    TSkinReader reader;
    ASSERT_TRUE(reader.Load(packed));
    EXPECT_EQ(reader.Version(), version);
    ASSERT_EQ(reader.Count(), 4);
    for (const auto& m : members) {
      TMemoryStream out;
      reader.GetMember(AnsiToWide(m.Name), out);  // stored and asked names in any case
      EXPECT_EQ(out.Bytes(), m.Data) << m.Name;
      EXPECT_EQ(out.Position(), 0);
    }
    EXPECT_EQ(reader.Names()[0], L"skin.ini");
  }
}

TEST(SkinReaderTest, GoldenArchiveHasItsKnownMembers) {
  TMemoryStream packed;
  packed.LoadFromFile(TestFile(L"golden.skn"));
  TSkinReader reader;
  ASSERT_TRUE(reader.Load(packed));
  EXPECT_EQ(reader.Version(), 30000);
  EXPECT_EQ(reader.Names(), (std::vector<std::wstring>{L"golden.ini", L"dot.bmp", L"empty.txt", L"abc.txt"}));
  EXPECT_EQ(reader.Sizes(), (std::vector<std::int32_t>{33, 70, 0, 36}));
  TMemoryStream m;
  reader.GetMember(L"GOLDEN.ini", m);
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "[TitlebarSkin]\r\nSkinName=Golden\r\n");
  reader.GetMember(L"abc.txt", m);
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "abcabcabcabcabcabcabcabcabcabcabcabc");
  reader.GetMember(L"dot.bmp", m);
  ASSERT_EQ(m.Size(), 70);
  EXPECT_EQ(m.Bytes()[0], 'B');
  EXPECT_EQ(m.Bytes()[54], 30);  // the first pixel: blue 30, green 20, red 10
  EXPECT_EQ(m.Bytes()[55], 20);
  EXPECT_EQ(m.Bytes()[56], 10);
  reader.GetMember(L"empty.txt", m);
  EXPECT_EQ(m.Size(), 0);
}

// An archive written by hand around a given name text.
Bytes ArchiveWithNames(const std::string& names, const std::vector<std::int32_t>& sizes, const Bytes& data) {
  Bytes a;
  auto le = [&a](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) a.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  le(20000);
  le(static_cast<std::uint32_t>(names.size()));
  a.insert(a.end(), 8, 0);
  a.insert(a.end(), names.begin(), names.end());
  for (std::int32_t s : sizes) le(static_cast<std::uint32_t>(s));
  a.insert(a.end(), data.begin(), data.end());
  return skinpack::PackSkinFile(a);
}

TEST(SkinReaderTest, NameTextRules) {
  struct TCase {
    std::string names;
    std::vector<std::wstring> expected;
  } cases[] = {
      {"a.ini\r\nb.bmp\r\n", {L"a.ini", L"b.bmp"}},        // a last line break adds nothing
      {"a.ini\r\n\r\nb.bmp", {L"a.ini", L"", L"b.bmp"}},   // an empty line is a member without a name
      {"A.INI\nB.bmp\rc.bmp", {L"a.ini", L"b.bmp", L"c.bmp"}},
      {"", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.names);
    std::vector<std::int32_t> sizes(c.expected.size(), 1);
    Bytes data(c.expected.size());
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>('0' + i);
    TMemoryStream packed;
    WriteBytes(packed, ArchiveWithNames(c.names, sizes, data));
    TSkinReader reader;
    ASSERT_TRUE(reader.Load(packed));
    EXPECT_EQ(reader.Names(), c.expected);
    if (c.expected.size() == 3) {
      TMemoryStream m;
      reader.GetMember(c.expected[2], m);
      EXPECT_EQ(m.Bytes(), Bytes{'2'});  // the members follow the sizes of all before them
    }
  }
}

TEST(SkinReaderTest, FindMemberTakesTheFirstNameContainingTheText) {
  TMemoryStream packed;
  WriteBytes(packed, ArchiveWithNames("pic.bmp\r\nold.ini.bak\r\nskin.ini\r\n", {1, 2, 3}, Bytes{'p', 'o', 'o', 's', 's', 's'}));
  TSkinReader reader;
  ASSERT_TRUE(reader.Load(packed));
  TMemoryStream m;
  std::wstring name = L"unchanged";
  ASSERT_TRUE(reader.FindMember(L".ini", m, name));
  EXPECT_EQ(name, L"old.ini.bak");
  EXPECT_EQ(m.Bytes(), (Bytes{'o', 'o'}));
  name = L"unchanged";
  EXPECT_FALSE(reader.FindMember(L".INI", m, name));  // the stored names are lower case
  EXPECT_EQ(name, L"unchanged");
  EXPECT_EQ(m.Size(), 0);
  reader.GetMember(L"missing.bmp", m);
  EXPECT_EQ(m.Size(), 0);
}

TEST(SkinReaderTest, DamagedArchivesAreRefusedWithoutHarm) {
  const Bytes good = skinpack::PackSkinFile(skinpack::BuildArchive(20000, SampleMembers()));
  Bytes absurdSize = good;
  absurdSize[3] = 0x7F;  // 2 GB from 100 bytes
  Bytes nameBeyondData = ArchiveWithNames("a\r\n", {1}, Bytes{'x'});
  {
    Bytes a = skinpack::BuildArchive(20000, SampleMembers());
    a[4] = 0xFF;  // name length beyond the archive
    a[5] = 0xFF;
    nameBeyondData = skinpack::PackSkinFile(a);
  }
  Bytes negativeNameLength;
  {
    Bytes a = skinpack::BuildArchive(20000, SampleMembers());
    a[4] = 0xF0;  // -16
    a[5] = a[6] = a[7] = 0xFF;
    negativeNameLength = skinpack::PackSkinFile(a);
  }
  std::string manyNames;
  for (int i = 0; i < 5000; ++i) manyNames += "m\r\n";
  struct TCase {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty file", {}},
      {"no full size", {0x10, 0x00, 0x00}},
      {"only the size", {0x00, 0x00, 0x00, 0x00}},
      {"size beyond what the data can give", absurdSize},
      {"name text beyond the archive", nameBeyondData},
      {"negative name length", negativeNameLength},
      {"negative member size", ArchiveWithNames("a\r\nb\r\n", {1, -5}, Bytes{'x'})},
      {"more names than sizes", ArchiveWithNames("a\r\nb\r\nc\r\n", {1}, {})},
      {"absurd member count", ArchiveWithNames(manyNames, {}, {})},
  };
  TMessageCloser closer;  // a damaged version field may bring up the version message
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream packed;
    WriteBytes(packed, c.file);
    TSkinReader reader;
    EXPECT_FALSE(reader.Load(packed));
    EXPECT_EQ(reader.Count(), 0);
  }
}

// Ten bytes claiming 60 MB: below the cap, far beyond what six packed bytes can give. Decoding it
// would take seconds and end in the version message; it is refused before any decoding.
TEST(SkinReaderTest, SizeBeyondWhatThePackedDataCanGiveIsRefusedAtOnce) {
  const std::uint32_t claimed = 60u << 20;
  ASSERT_LT(claimed, TSkinReader::kMaxUnpackedSize);
  const Bytes file = {std::uint8_t(claimed), std::uint8_t(claimed >> 8), std::uint8_t(claimed >> 16),
                      std::uint8_t(claimed >> 24), 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  TMessageCloser closer;
  TSkinReader reader;
  TMemoryStream packed, unpacked;
  WriteBytes(packed, file);
  EXPECT_THROW(reader.Unpack(packed, unpacked), ESkinFormatError);
  EXPECT_EQ(unpacked.Size(), 0);
  EXPECT_FALSE(reader.Load(packed));
  closer.Join();
  EXPECT_EQ(closer.Texts(), std::vector<std::wstring>{}) << "no message for a damaged file";
}

TEST(SkinReaderTest, MemberBeyondTheDataCountsAsMissing) {
  TMemoryStream packed;
  WriteBytes(packed, ArchiveWithNames("a.bmp\r\nb.bmp\r\n", {2, 100}, Bytes{'x', 'y', 'z'}));
  TSkinReader reader;
  ASSERT_TRUE(reader.Load(packed));
  TMemoryStream m;
  reader.GetMember(L"a.bmp", m);
  EXPECT_EQ(m.Bytes(), (Bytes{'x', 'y'}));
  reader.GetMember(L"b.bmp", m);
  EXPECT_EQ(m.Size(), 0);
}

TEST(SkinReaderTest, UnknownVersionTellsTheUser) {
  Bytes a = skinpack::BuildArchive(20000, SampleMembers());
  a[0] = 0x10;  // 20000 becomes 19984
  TMemoryStream packed;
  WriteBytes(packed, skinpack::PackSkinFile(a));
  TMessageCloser closer;
  TSkinReader reader;
  EXPECT_FALSE(reader.Load(packed));
  closer.Join();
  EXPECT_EQ(closer.Texts(), (std::vector<std::wstring>{L"This is Older Skin File\rPlease update to new version !"}));
}

// ---- the ini reader ---------------------------------------------------------------------------

TEST(QuickIniTest, LookupRules) {
  static const char kText[] =
      "; a comment\r\n"
      "  ;  an indented comment=1\r\n"
      "[Colours]\r\n"
      "  ButtonFace  =  0x00FF00  \r\n"
      "Frame=\r\n"
      "Frame=3\r\n"
      "Name = two  words \r\n"
      "Hex=$1F\r\n"
      "Bad=255,0,255\r\n"
      "Word=12 px\r\n"
      "Zero=0x\r\n"
      "Neg=-7\r\n"
      "[ Spaced ]\r\n"
      "a=1\n"
      "[colours]\n"
      "ButtonFace=1\r"
      "[Last]\r\n"
      "k=v\0ignored=1\r\n";
  TQuickIni ini;
  ini.LoadFromText(std::string(kText, sizeof(kText) - 1));
  struct TString {
    const wchar_t *section, *key, *expected;
  } strings[] = {
      {L"Colours", L"buttonface", L"0x00FF00"},  // key in any case, blanks around "=" and the value go
      {L"COLOURS", L"BUTTONFACE", L"0x00FF00"},  // section in any case; the first [colours] wins
      {L"Colours", L"Name", L"two  words"},      // inner blanks stay
      {L"Colours", L"Frame", L"dflt"},           // the first Frame line is empty: default, not 3
      {L"Colours", L"missing", L"dflt"},
      {L"Spaced", L"a", L"dflt"},                // blanks inside the brackets are part of the name
      {L" Spaced ", L"a", L"1"},
      {L"Last", L"k", L"v"},                     // a NUL ends the text
      {L"Last", L"ignored", L"dflt"},
      {L"Missing", L"k", L"dflt"},
  };
  for (const TString& s : strings)
    EXPECT_EQ(ini.ReadString(s.section, s.key, L"dflt"), s.expected) << s.section << L"/" << s.key;
  struct TInt {
    const wchar_t* key;
    int expected;
  } ints[] = {{L"ButtonFace", 65280}, {L"Hex", 31}, {L"Bad", -1}, {L"Word", -1}, {L"Zero", -1}, {L"Neg", -7},
              {L"Name", -1}, {L"Frame", -1}};
  for (const TInt& i : ints) EXPECT_EQ(ini.ReadInteger(L"Colours", i.key, -1), i.expected) << i.key;
  TStringList sections;
  sections.AddObject(L"old", &sections);
  ini.ReadSections(sections);
  EXPECT_EQ(sections.ToVector(), (std::vector<std::wstring>{L"Colours", L"Spaced", L"colours", L"Last"}));
  EXPECT_EQ(sections.Objects(0), nullptr);
}

TEST(QuickIniTest, LineOperationsAndLoading) {
  EXPECT_EQ(TQuickIni::KeyOf(L" MixedKey = v"), L"mixedkey");
  EXPECT_EQ(TQuickIni::KeyOf(L"no equals"), L"");
  EXPECT_EQ(TQuickIni::ValueOf(L"k = a=b ", L"k"), L"a=b");
  EXPECT_EQ(TQuickIni::ValueOf(L"k=v", L"other"), L"");
  EXPECT_EQ(TQuickIni::ValueOf(L"", L"k"), L"");
  EXPECT_EQ(TQuickIni::ValueOf(L"k=v", L""), L"");
  EXPECT_TRUE(TQuickIni::IsSection(L"  [x]  "));
  EXPECT_FALSE(TQuickIni::IsSection(L"[x"));

  TQuickIni ini;
  ini.LoadFromText("[a]\r\nk=1\r\n");
  ini.LoadFromStream(nullptr);  // leaves the content
  EXPECT_EQ(ini.ReadInteger(L"a", L"k", 0), 1);
  TMemoryStream s;
  WriteBytes(s, Bytes{'x', 'x', '[', 'b', ']', '\n', 'k', '=', '2'});
  s.SetPosition(2);  // from the stream's position on
  ini.LoadFromStream(&s);
  EXPECT_EQ(ini.ReadInteger(L"a", L"k", 0), 0);
  EXPECT_EQ(ini.ReadInteger(L"b", L"k", 0), 2);
  EXPECT_EQ(ini.Lines(), (std::vector<std::wstring>{L"[b]", L"k=2"}));
}

}  // namespace
}  // namespace kivo::test
