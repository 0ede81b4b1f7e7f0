// Damaged skins from fixed seeds: packed files, unpacked archives, ini texts and whole skins with
// damaged ini and bitmap members. Every input must be read or refused without a crash, a hang or
// an exception other than the reader's own; inputs end right before an inaccessible page.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "QuickIni.h"
#include "SkinArchive.h"
#include "SkinData.h"
#include "SkinPack.h"
#include "SkinTestUtil.h"

namespace kivo::test {
namespace {

using skinpack::Bytes;

const struct TCrashReporter {
  TCrashReporter() { InstallCrashReport(); }
} crashReporter;

// A read-only stream straight over a guarded buffer.
class TGuardedStream : public TStream {
 public:
  explicit TGuardedStream(const TGuardedCopy& data) : data_(data.Data()), size_(data.Size()) {}
  long Read(void* buffer, long count) override {
    if (count <= 0 || pos_ >= static_cast<std::int64_t>(size_)) return 0;
    const long n = static_cast<long>(std::min<std::int64_t>(count, static_cast<std::int64_t>(size_) - pos_));
    std::memcpy(buffer, data_ + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  long Write(const void*, long) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : static_cast<std::int64_t>(size_);
    pos_ = std::max<std::int64_t>(0, base + offset);
    return pos_;
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::int64_t pos_ = 0;
};

Bytes Mutate(const Bytes& sample, std::mt19937& rng) {
  Bytes b = sample;
  auto pick = [&](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
  const int rounds = 1 + int(rng() % 4);
  for (int r = 0; r < rounds && !b.empty(); ++r) {
    switch (rng() % 7) {
      case 0: b[pick(b.size())] ^= std::uint8_t(1u << (rng() % 8)); break;
      case 1: b[pick(b.size())] = std::uint8_t(rng()); break;
      case 2: {  // extreme values: sizes, counts, lengths
        const std::size_t at = pick(b.size());
        const std::uint8_t v = (rng() & 1) ? 0xFF : 0x00;
        for (std::size_t i = at; i < std::min(b.size(), at + 1 + pick(4)); ++i) b[i] = v;
        break;
      }
      case 3: b.resize(pick(b.size())); break;
      case 4: {
        const std::size_t at = pick(b.size()), n = std::min(b.size() - at, 1 + pick(64));
        b.erase(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
        break;
      }
      case 5: {
        Bytes junk(1 + pick(32));
        for (auto& c : junk) c = std::uint8_t(rng());
        b.insert(b.begin() + std::ptrdiff_t(pick(b.size())), junk.begin(), junk.end());
        break;
      }
      default: b[pick(std::min<std::size_t>(b.size(), 64))] = std::uint8_t(rng()); break;
    }
  }
  return b;
}

Bytes FileBytes(const std::wstring& name) {
  TMemoryStream s;
  s.LoadFromFile(TestFile(name));
  return s.Bytes();
}

void Describe(const char* what, int i) { std::snprintf(gCurrentInput, sizeof(gCurrentInput), "%s #%d", what, i); }

TEST(SkinFuzzTest, PackedSkins) {
  TMessageCloser closer;
  int loaded = 0;
  for (const wchar_t* name : {L"kivotest.skn", L"kivoapp.skn", L"golden.skn"}) {
    const Bytes sample = FileBytes(name);
    std::mt19937 rng(1234);
    for (int i = 0; i < 120; ++i) {
      Describe("packed skin", i);
      // Mostly the stream after its first bytes: a damaged version field brings up a message box,
      // which takes seconds to go away here.
      Bytes damaged;
      if (i % 30 == 0) {
        damaged = Mutate(sample, rng);
      } else {
        const std::size_t keep = std::min<std::size_t>(16, sample.size());
        damaged.assign(sample.begin(), sample.begin() + std::ptrdiff_t(keep));
        const Bytes tail = Mutate(Bytes(sample.begin() + std::ptrdiff_t(keep), sample.end()), rng);
        damaged.insert(damaged.end(), tail.begin(), tail.end());
      }
      const TGuardedCopy input(damaged);
      TGuardedStream stream(input);
      TSkinReader reader;
      if (reader.Load(stream)) {
        ++loaded;
        TMemoryStream m;
        for (const std::wstring& n : reader.Names()) reader.GetMember(n, m);
      }
    }
  }
  EXPECT_GT(loaded, 0);
}

TEST(SkinFuzzTest, UnpackedArchives) {
  TMessageCloser closer;
  TSkinReader reader;
  TMemoryStream packed, unpacked;
  packed.LoadFromFile(TestFile(L"kivotest.skn"));
  reader.Unpack(packed, unpacked);
  const Bytes sample = unpacked.Bytes();
  std::mt19937 rng(99);
  int parsed = 0;
  for (int i = 0; i < 600; ++i) {
    Describe("unpacked archive", i);
    Bytes damaged = Mutate(sample, rng);
    if (damaged.size() >= 4 && (i % 50) != 0) std::memcpy(damaged.data(), sample.data(), 4);  // mostly a good version
    const TGuardedCopy input(damaged);
    TGuardedStream stream(input);
    TSkinReader r;
    if (r.Parse(stream)) {
      ++parsed;
      TMemoryStream m;
      std::wstring found;
      r.FindMember(L".ini", m, found);
      for (const std::wstring& n : r.Names()) r.GetMember(n, m);
    }
  }
  EXPECT_GT(parsed, 0);
}

TEST(SkinFuzzTest, IniTexts) {
  TSkinReader reader;
  TMemoryStream packed, ini;
  packed.LoadFromFile(TestFile(L"kivotest.skn"));
  ASSERT_TRUE(reader.Load(packed));
  std::wstring name;
  ASSERT_TRUE(reader.FindMember(L".ini", ini, name));
  const Bytes sample = ini.Bytes();
  std::mt19937 rng(7);
  for (int i = 0; i < 600; ++i) {
    Describe("ini text", i);
    const TGuardedCopy input(Mutate(sample, rng));
    TGuardedStream stream(input);
    TQuickIni q;
    q.LoadFromStream(&stream);
    TStringList sections;
    q.ReadSections(sections);
    for (const std::wstring& s : sections.ToVector()) {
      q.ReadString(s, L"Image", L"");
      q.ReadInteger(s, L"LeftWidth", 0);
    }
  }
}

// Whole skins whose ini and bitmap members are damaged, then packed again.
TEST(SkinFuzzTest, SkinsWithDamagedMembers) {
  TSkinReader reader;
  TMemoryStream packed;
  packed.LoadFromFile(TestFile(L"kivotest.skn"));
  ASSERT_TRUE(reader.Load(packed));
  std::vector<skinpack::TMember> members;
  for (const std::wstring& n : reader.Names()) {
    TMemoryStream m;
    reader.GetMember(n, m);
    members.push_back({WideToAnsi(n), m.Bytes()});
  }
  TMessageCloser closer;
  std::mt19937 rng(2024);
  int skinned = 0;
  for (int i = 0; i < 80; ++i) {
    Describe("skin with damaged members", i);
    std::vector<skinpack::TMember> damaged = members;
    for (int k = 0; k < 3; ++k) {
      auto& m = damaged[rng() % damaged.size()];
      m.Data = Mutate(m.Data, rng);
    }
    TObjectPtr<TSkinData> skin(new TSkinData(nullptr));
    TMemoryStream s;
    WriteBytes(s, skinpack::PackSkinFile(skinpack::BuildArchive(20000, damaged)));
    skin->SkinBytes.CopyFrom(s, 0);
    skin->LoadSkin();
    if (!skin->NoSkin) ++skinned;
  }
  EXPECT_GT(skinned, 0);
}

}  // namespace
}  // namespace kivo::test
