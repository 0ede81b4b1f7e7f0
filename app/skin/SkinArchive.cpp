#include "SkinArchive.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "Dialogs.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TLZH)
KIVO_IMPLEMENT_CLASS(TSkinReader)

namespace {

// The position code: the upper 6 bits of a match position have a fixed prefix code, canonical by
// length: 1 code of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7 and 16 of 8 bits. The decoder looks
// the next 8 input bits up in these tables.
struct TPositionTables {
  std::array<std::uint8_t, 256> code{};
  std::array<std::uint8_t, 256> length{};
  TPositionTables() {
    const int counts[9] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
    int next = 0, index = 0;
    for (int len = 3; len <= 8; ++len) {
      const int span = 1 << (8 - len);
      for (int k = 0; k < counts[len]; ++k, ++index) {
        for (int b = 0; b < span; ++b, ++next) {
          code[next] = static_cast<std::uint8_t>(index);
          length[next] = static_cast<std::uint8_t>(len);
        }
      }
    }
  }
};
const TPositionTables& PositionTables() {
  static const TPositionTables tables;
  return tables;
}

}  // namespace

// ---- TLZH ---------------------------------------------------------------------------------------
struct TLZH::TTables {
  std::uint8_t ring[N + F - 1];
  std::uint32_t freq[T + 1];   // the last entry guards the sorted order
  std::int32_t prnt[T + N_CHAR];  // parents of nodes; entries from T on: leaves of symbols
  std::int32_t son[T];
};

TLZH::TLZH() = default;
TLZH::~TLZH() { FreeTables(); }

const std::uint8_t* TLZH::PositionCodes() { return PositionTables().code.data(); }
const std::uint8_t* TLZH::PositionCodeLengths() { return PositionTables().length.data(); }

TLZH::TReadFn TLZH::ReadInput(TStream& input) {
  return [&input](std::uint8_t* byte) -> int { return input.Read(byte, 1) == 1 ? 1 : 0; };
}
TLZH::TWriteFn TLZH::WriteOutput(TStream& output) {
  return [&output](std::uint8_t byte) { output.WriteBuffer(&byte, 1); };
}

void TLZH::AllocTables() {
  FreeTables();
  tables_ = new (std::nothrow) TTables;
  if (!tables_) throw ElzhException(L"LZH : Cannot get memory for dictionary tables");
  std::memset(tables_, 0, sizeof(TTables));
}
void TLZH::FreeTables() {
  delete tables_;
  tables_ = nullptr;
}

void TLZH::StartHuff() {
  TTables& t = *tables_;
  for (int i = 0; i < N_CHAR; ++i) {
    t.freq[i] = 1;
    t.son[i] = i + T;
    t.prnt[i + T] = i;
  }
  for (int i = 0, j = N_CHAR; j <= R; i += 2, ++j) {
    t.freq[j] = t.freq[i] + t.freq[i + 1];
    t.son[j] = i;
    t.prnt[i] = t.prnt[i + 1] = j;
  }
  t.freq[T] = 0xFFFF;
  t.prnt[R] = 0;
}

// Halves the frequencies and builds the tree again from the leaves.
void TLZH::Reconstruct() {
  TTables& t = *tables_;
  int j = 0;
  for (int i = 0; i < T; ++i) {
    if (t.son[i] >= T) {
      t.freq[j] = (t.freq[i] + 1) / 2;
      t.son[j] = t.son[i];
      ++j;
    }
  }
  for (int i = 0, j2 = N_CHAR; j2 < T; i += 2, ++j2) {
    const std::uint32_t f = t.freq[i] + t.freq[i + 1];
    t.freq[j2] = f;
    int k = j2 - 1;
    while (f < t.freq[k]) --k;
    ++k;
    std::copy_backward(t.freq + k, t.freq + j2, t.freq + j2 + 1);
    t.freq[k] = f;
    std::copy_backward(t.son + k, t.son + j2, t.son + j2 + 1);
    t.son[k] = i;
  }
  for (int i = 0; i < T; ++i) {
    const int k = t.son[i];
    if (k >= T) {
      t.prnt[k] = i;
    } else {
      t.prnt[k] = t.prnt[k + 1] = i;
    }
  }
}

// Counts one more occurrence of symbol c and keeps the nodes ordered by frequency.
void TLZH::Update(int c) {
  TTables& t = *tables_;
  if (t.freq[R] == MAX_FREQ) Reconstruct();
  c = t.prnt[c + T];
  do {
    const std::uint32_t k = ++t.freq[c];
    int l = c + 1;
    if (k > t.freq[l]) {
      while (k > t.freq[++l]) {
      }
      --l;
      t.freq[c] = t.freq[l];
      t.freq[l] = k;

      const int i = t.son[c];
      t.prnt[i] = l;
      if (i < T) t.prnt[i + 1] = l;
      const int j = t.son[l];
      t.son[l] = i;
      t.prnt[j] = c;
      if (j < T) t.prnt[j + 1] = c;
      t.son[c] = j;
      c = l;
    }
    c = t.prnt[c];
  } while (c != 0);
}

// Tops the bit buffer up to more than 8 bits; input that is not there counts as zeros.
void TLZH::Refill() {
  while (getlen_ <= 8) {
    std::uint8_t b = 0;
    if ((*read_)(&b) != 1) b = 0;
    getbuf_ |= static_cast<std::uint32_t>(b) << (8 - getlen_);
    getlen_ += 8;
  }
}

int TLZH::GetBit() {
  Refill();
  const std::uint32_t i = getbuf_;
  getbuf_ = (getbuf_ << 1) & 0xFFFF;
  --getlen_;
  return static_cast<int>((i >> 15) & 1);
}

int TLZH::GetByte() {
  Refill();
  const std::uint32_t i = getbuf_;
  getbuf_ = (getbuf_ << 8) & 0xFFFF;
  getlen_ -= 8;
  return static_cast<int>((i >> 8) & 0xFF);
}

int TLZH::DecodeChar() {
  const TTables& t = *tables_;
  int c = t.son[R];
  while (c < T) {
    c += GetBit();
    c = t.son[c];
  }
  c -= T;
  Update(c);
  return c;
}

int TLZH::DecodePosition() {
  int i = GetByte();
  const int c = PositionCodes()[i] << 6;
  int j = PositionCodeLengths()[i] - 2;
  while (j-- > 0) i = (i << 1) + GetBit();
  return c | (i & 0x3F);
}

void TLZH::Decode(std::uint32_t count, const TWriteFn& write, const TReadFn& read) {
  AllocTables();
  read_ = &read;
  getbuf_ = 0;
  getlen_ = 0;
  try {
    StartHuff();
    TTables& t = *tables_;
    std::memset(t.ring, ' ', N - F);
    int r = N - F;
    for (std::uint32_t done = 0; done < count;) {
      const int c = DecodeChar();
      if (c < 256) {
        write(static_cast<std::uint8_t>(c));
        t.ring[r++] = static_cast<std::uint8_t>(c);
        r &= N - 1;
        ++done;
      } else {
        const int i = (r - DecodePosition() - 1) & (N - 1);
        const int j = c - 255 + THRESHOLD;
        for (int k = 0; k < j; ++k) {
          const std::uint8_t b = t.ring[(i + k) & (N - 1)];
          write(b);
          t.ring[r++] = b;
          r &= N - 1;
        }
        done += static_cast<std::uint32_t>(j);
      }
    }
  } catch (...) {
    read_ = nullptr;
    FreeTables();
    throw;
  }
  read_ = nullptr;
  FreeTables();
}

// ---- TSkinReader --------------------------------------------------------------------------------
std::vector<std::wstring> SplitSkinLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] != L'\0') {
    std::size_t start = i;
    while (i < n && text[i] != L'\r' && text[i] != L'\n' && text[i] != L'\0') ++i;
    lines.emplace_back(text, start, i - start);
    if (i < n && text[i] == L'\r') ++i;
    if (i < n && text[i] == L'\n') ++i;
  }
  return lines;
}

int TSkinReader::SkippedBlockSize(int version) {
  switch (version) {
    case 20000: return 0;
    case 30000: return 256;
    case 40000: return 80;
    case 50000: return 48;
    case 60000: return 117;
    case 70000: return 69;
    default: return -1;
  }
}

TSkinReader::TSkinReader() = default;
TSkinReader::~TSkinReader() = default;

void TSkinReader::Clear() {
  names_.clear();
  sizes_.clear();
  offsets_.clear();
  data_.Clear();
  version_ = 0;
  nameLength_ = 0;
}

void TSkinReader::Unpack(TStream& packed, TStream& unpacked) {
  packed.SetPosition(0);
  unpacked.SetPosition(0);
  std::uint8_t head[4];
  packed.ReadBuffer(head, 4);
  const std::uint32_t size = std::uint32_t(head[0]) | std::uint32_t(head[1]) << 8 |
                             std::uint32_t(head[2]) << 16 | std::uint32_t(head[3]) << 24;
  // A code symbol takes at least a bit and a match at most 60 bytes with a 9-bit position, so a
  // stream cannot give more than 64 times its size: a larger claim is damage, not a skin.
  const std::int64_t packedBytes = std::max<std::int64_t>(0, packed.Size() - 4);
  if (size > kMaxUnpackedSize || std::int64_t(size) > packedBytes * 64 + 64)
    throw ESkinFormatError(L"The packed data cannot hold " + std::to_wstring(size) + L" bytes");

  // The whole stream is decoded in memory and written out in one piece.
  std::vector<std::uint8_t> in(static_cast<std::size_t>(packedBytes));
  if (!in.empty()) in.resize(static_cast<std::size_t>(packed.Read(in.data(), static_cast<long>(in.size()))));
  std::size_t inPos = 0;
  std::vector<std::uint8_t> out;
  out.reserve(size + TLZH::F);
  TLZH lzh;
  lzh.Decode(
      size, [&out](std::uint8_t b) { out.push_back(b); },
      [&in, &inPos](std::uint8_t* b) -> int {
        if (inPos >= in.size()) return 0;
        *b = in[inPos++];
        return 1;
      });
  if (!out.empty()) unpacked.WriteBuffer(out.data(), static_cast<long>(out.size()));
}

bool TSkinReader::Parse(TStream& unpacked) {
  Clear();
  unpacked.SetPosition(0);
  const std::int64_t total = unpacked.Size();
  auto readInt = [&unpacked](std::int32_t& v) -> bool {
    std::uint8_t b[4];
    if (unpacked.Read(b, 4) != 4) return false;
    v = static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                                  std::uint32_t(b[3]) << 24);
    return true;
  };

  std::int32_t version = 0, nameLength = 0;
  if (!readInt(version) || !readInt(nameLength)) return false;
  std::uint8_t reserved[8];
  if (unpacked.Read(reserved, 8) != 8) return false;
  const int skip = SkippedBlockSize(version);
  if (skip < 0) {
    ShowMessage(L"This is Older Skin File\rPlease update to new version !");
    return false;
  }
  std::int64_t pos = 16 + skip;
  if (nameLength < 0 || pos + nameLength > total) return false;
  unpacked.SetPosition(pos);
  std::string rawNames(static_cast<std::size_t>(nameLength), '\0');
  if (nameLength > 0 && unpacked.Read(rawNames.data(), nameLength) != nameLength) return false;
  std::vector<std::wstring> names = SplitSkinLines(LowerCase(AnsiToWide(rawNames)));
  if (static_cast<int>(names.size()) > kMaxMembers) return false;
  pos += nameLength;
  if (pos + 4 * std::int64_t(names.size()) > total) return false;

  std::vector<std::int32_t> sizes(names.size());
  std::vector<std::int64_t> offsets(names.size());
  std::int64_t offset = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!readInt(sizes[i]) || sizes[i] < 0) return false;
    offsets[i] = offset;
    offset += sizes[i];
  }
  pos += 4 * std::int64_t(names.size());
  if (total > pos) {
    unpacked.SetPosition(pos);
    data_.CopyFrom(unpacked, total - pos);
  }
  names_ = std::move(names);
  sizes_ = std::move(sizes);
  offsets_ = std::move(offsets);
  version_ = version;
  nameLength_ = nameLength;
  return true;
}

bool TSkinReader::Load(TStream& packed) {
  Clear();
  TMemoryStream unpacked;
  try {
    Unpack(packed, unpacked);
  } catch (const EStreamError&) {
    return false;  // no size, or one the data cannot give: a damaged file
  }
  return Parse(unpacked);
}

void TSkinReader::CopyMember(int index, TStream& dest) const {
  const std::int64_t offset = offsets_[static_cast<std::size_t>(index)];
  const std::int32_t size = sizes_[static_cast<std::size_t>(index)];
  // a member the data does not hold whole (a damaged archive) counts as missing
  if (size > 0 && offset + size <= static_cast<std::int64_t>(data_.Bytes().size()))
    dest.WriteBuffer(data_.Bytes().data() + offset, size);
  dest.SetPosition(0);
}

void TSkinReader::GetMember(const std::wstring& name, TStream& dest) const {
  dest.SetSize(0);
  dest.SetPosition(0);
  const std::wstring wanted = LowerCase(name);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == wanted) {
      CopyMember(static_cast<int>(i), dest);
      return;
    }
  }
}

bool TSkinReader::FindMember(const std::wstring& text, TStream& dest, std::wstring& name) const {
  dest.SetSize(0);
  dest.SetPosition(0);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i].find(text) != std::wstring::npos) {
      CopyMember(static_cast<int>(i), dest);
      name = names_[i];
      return true;
    }
  }
  return false;
}

}  // namespace kivo
