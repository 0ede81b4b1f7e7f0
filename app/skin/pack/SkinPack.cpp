#include "SkinPack.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace kivo::skinpack {

namespace {

constexpr int kRing = 4096;                 // N
constexpr int kLookAhead = 60;              // F
constexpr int kThreshold = 2;               // matches are longer than this
constexpr int kSymbols = 256 - kThreshold + kLookAhead;  // 314
constexpr int kNodes = 2 * kSymbols - 1;    // 627
constexpr int kRoot = kNodes - 1;
constexpr unsigned kMaxFreq = 0x8000;
constexpr int kPrefix = kRing - kLookAhead;  // the decoder's ring starts with this many blanks

void PutLe32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Most significant bit first.
class TBitWriter {
 public:
  explicit TBitWriter(Bytes& out) : out_(out) {}
  void Put(unsigned bits, int count) {  // the low `count` bits of `bits`
    for (int i = count - 1; i >= 0; --i) {
      acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((bits >> i) & 1));
      if (++n_ == 8) {
        out_.push_back(acc_);
        acc_ = 0;
        n_ = 0;
      }
    }
  }
  void Flush() {
    if (n_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - n_)));
    acc_ = 0;
    n_ = 0;
  }

 private:
  Bytes& out_;
  std::uint8_t acc_ = 0;
  int n_ = 0;
};

// The adaptive Huffman tree of literals and match lengths: nodes kept in order of frequency,
// leaves of symbols reached through `leaf`.
class THuffman {
 public:
  THuffman() {
    for (int i = 0; i < kSymbols; ++i) {
      freq_[i] = 1;
      son_[i] = i + kNodes;
      parent_[i + kNodes] = i;
    }
    for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
      freq_[j] = freq_[i] + freq_[i + 1];
      son_[j] = i;
      parent_[i] = parent_[i + 1] = j;
    }
    freq_[kNodes] = 0xFFFF;
    parent_[kRoot] = 0;
  }

  void Encode(int symbol, TBitWriter& bits) {
    // the path from the leaf up to the root, then written root first
    std::array<std::uint8_t, kNodes> path{};
    int length = 0;
    for (int node = parent_[symbol + kNodes]; node != kRoot; node = parent_[node]) path[length++] = node & 1;
    for (int i = length - 1; i >= 0; --i) bits.Put(path[i], 1);
    Count(symbol);
  }

 private:
  void Rebuild() {
    int leaves = 0;
    for (int i = 0; i < kNodes; ++i) {
      if (son_[i] >= kNodes) {
        freq_[leaves] = (freq_[i] + 1) / 2;
        son_[leaves] = son_[i];
        ++leaves;
      }
    }
    for (int i = 0, j = kSymbols; j < kNodes; i += 2, ++j) {
      const unsigned f = freq_[i] + freq_[i + 1];
      int at = j;
      while (at > 0 && f < freq_[at - 1]) --at;
      for (int m = j; m > at; --m) {
        freq_[m] = freq_[m - 1];
        son_[m] = son_[m - 1];
      }
      freq_[at] = f;
      son_[at] = i;
    }
    for (int i = 0; i < kNodes; ++i) {
      const int s = son_[i];
      parent_[s] = i;
      if (s < kNodes) parent_[s + 1] = i;
    }
  }

  void Count(int symbol) {
    if (freq_[kRoot] == kMaxFreq) Rebuild();
    int node = parent_[symbol + kNodes];
    do {
      const unsigned f = ++freq_[node];
      if (f > freq_[node + 1]) {
        // move the node behind the last one of a lower frequency
        int other = node + 1;
        while (f > freq_[other + 1]) ++other;
        freq_[node] = freq_[other];
        freq_[other] = f;
        const int a = son_[node], b = son_[other];
        parent_[a] = other;
        if (a < kNodes) parent_[a + 1] = other;
        parent_[b] = node;
        if (b < kNodes) parent_[b + 1] = node;
        son_[other] = a;
        son_[node] = b;
        node = other;
      }
      node = parent_[node];
    } while (node != 0);
  }

  std::array<unsigned, kNodes + 1> freq_{};
  std::array<int, kNodes + kSymbols> parent_{};
  std::array<int, kNodes> son_{};
};

// The fixed code of a position's upper 6 bits: canonical, with 1, 3, 8, 12, 24 and 16 codes of
// 3 to 8 bits.
struct TPositionCode {
  std::array<int, 64> length{};
  std::array<unsigned, 64> code{};
  TPositionCode() {
    const int perLength[6] = {1, 3, 8, 12, 24, 16};
    unsigned next = 0;
    int index = 0;
    for (int len = 3; len <= 8; ++len) {
      for (int k = 0; k < perLength[len - 3]; ++k, ++index) {
        length[index] = len;
        code[index] = next;
        ++next;
      }
      next <<= 1;
    }
  }
};

void EncodePosition(int position, TBitWriter& bits) {
  static const TPositionCode table;
  const int upper = position >> 6;
  bits.Put(table.code[upper], table.length[upper]);
  bits.Put(static_cast<unsigned>(position & 0x3F), 6);
}

}  // namespace

int SkippedBlockSize(int version) {
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

Bytes BuildArchive(int version, const std::vector<TMember>& members) {
  const int skip = SkippedBlockSize(version);
  if (skip < 0) throw std::invalid_argument("unknown skin archive version");
  std::string names;
  for (const TMember& m : members) names += m.Name + "\r\n";
  Bytes out;
  PutLe32(out, static_cast<std::uint32_t>(version));
  PutLe32(out, static_cast<std::uint32_t>(names.size()));
  out.insert(out.end(), 8 + static_cast<std::size_t>(skip), 0);
  out.insert(out.end(), names.begin(), names.end());
  for (const TMember& m : members) PutLe32(out, static_cast<std::uint32_t>(m.Data.size()));
  for (const TMember& m : members) out.insert(out.end(), m.Data.begin(), m.Data.end());
  return out;
}

Bytes LzhufEncode(const Bytes& data) {
  // The text as the decoder sees it: its ring's blanks, then the data.
  Bytes text(static_cast<std::size_t>(kPrefix), ' ');
  text.insert(text.end(), data.begin(), data.end());
  const int end = static_cast<int>(text.size());

  constexpr int kHashSize = 1 << 15;
  constexpr int kMaxChain = 512;
  std::vector<int> head(kHashSize, -1), previous(text.size(), -1);
  auto hash = [&text](int at) {
    return ((text[at] << 10) ^ (text[at + 1] << 5) ^ text[at + 2]) & (kHashSize - 1);
  };
  auto insert = [&](int at) {
    if (at + 2 >= end) return;
    const int h = hash(at);
    previous[static_cast<std::size_t>(at)] = head[static_cast<std::size_t>(h)];
    head[static_cast<std::size_t>(h)] = at;
  };
  // The blanks only need to be reachable, not every one of them.
  for (int at = std::max(0, kPrefix - kLookAhead - 3); at < kPrefix; ++at) insert(at);

  Bytes out;
  TBitWriter bits(out);
  THuffman tree;
  int cur = kPrefix;
  while (cur < end) {
    const int limit = std::min(kLookAhead, end - cur);
    int bestLength = 0, bestDistance = 0;
    if (limit > kThreshold) {
      int chain = 0;
      for (int s = head[static_cast<std::size_t>(hash(cur))]; s >= 0 && chain < kMaxChain;
           s = previous[static_cast<std::size_t>(s)], ++chain) {
        const int distance = cur - s;
        if (distance > kRing) break;
        int n = 0;
        while (n < limit && text[static_cast<std::size_t>(s + n)] == text[static_cast<std::size_t>(cur + n)]) ++n;
        if (n > bestLength) {
          bestLength = n;
          bestDistance = distance;
          if (n == limit) break;
        }
      }
    }
    if (bestLength > kThreshold) {
      tree.Encode(255 - kThreshold + bestLength, bits);
      EncodePosition(bestDistance - 1, bits);
      for (int k = 0; k < bestLength; ++k) insert(cur + k);
      cur += bestLength;
    } else {
      tree.Encode(text[static_cast<std::size_t>(cur)], bits);
      insert(cur);
      ++cur;
    }
  }
  bits.Flush();
  return out;
}

Bytes PackSkinFile(const Bytes& archive) {
  Bytes out;
  PutLe32(out, static_cast<std::uint32_t>(archive.size()));
  const Bytes stream = LzhufEncode(archive);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

}  // namespace kivo::skinpack
