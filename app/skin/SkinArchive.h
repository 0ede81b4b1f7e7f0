// The skin file: an LZHUF-compressed archive of named members (the skin ini and its bitmaps).
// TLZH decodes the compressed stream; TSkinReader unpacks a whole skin file and hands out members.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Classes.h"
#include "Streams.h"

namespace kivo {

// The skin engine's general exception (decoder tables that cannot be had).
KIVO_EXCEPTION(ElzhException, Exception)
// A skin file whose announced size its packed data cannot give.
KIVO_EXCEPTION(ESkinFormatError, EStreamError)

// LZHUF: LZSS over a 4096-byte ring with a 60-byte look-ahead, literals and match lengths coded
// by one adaptive Huffman tree, match positions by a fixed code on their upper 6 bits.
class TLZH : public TObject {
  KIVO_CLASS(TLZH, TObject)
 public:
  static constexpr int N = 4096;
  static constexpr int F = 60;
  static constexpr int THRESHOLD = 2;
  static constexpr int N_CHAR = 256 - THRESHOLD + F;  // 314: literals and match lengths
  static constexpr int T = N_CHAR * 2 - 1;             // 627 tree nodes
  static constexpr int R = T - 1;                      // the root
  static constexpr unsigned MAX_FREQ = 0x8000;

  // Delivers the next input byte into *byte and answers 1, or 0 when there is none left.
  using TReadFn = std::function<int(std::uint8_t* byte)>;
  using TWriteFn = std::function<void(std::uint8_t byte)>;

  TLZH();
  ~TLZH() override;

  // Decodes until `count` bytes have been written (the last match is written whole, so a few
  // more may come out). Input the reader cannot deliver counts as zero bits.
  void Decode(std::uint32_t count, const TWriteFn& write, const TReadFn& read);

  // The decoding tables of the position code: for each value of the next 8 input bits, the upper
  // 6 bits of the position and the length of its code.
  static const std::uint8_t* PositionCodes();
  static const std::uint8_t* PositionCodeLengths();

  // Stream callbacks: ReadInput takes at most what remains in `input`, WriteOutput appends.
  static TReadFn ReadInput(TStream& input);
  static TWriteFn WriteOutput(TStream& output);

 private:
  struct TTables;
  void AllocTables();
  void FreeTables();
  void StartHuff();
  void Reconstruct();
  void Update(int c);
  void Refill();
  int GetBit();
  int GetByte();
  int DecodeChar();
  int DecodePosition();

  TTables* tables_ = nullptr;
  const TReadFn* read_ = nullptr;
  std::uint32_t getbuf_ = 0;  // 16 bits used, most significant first
  int getlen_ = 0;
};

// A whole skin file: a 32-bit unpacked size, then the LZHUF stream of the archive.
class TSkinReader : public TObject {
  KIVO_CLASS(TSkinReader, TObject)
 public:
  // Unpacked archives are never larger than this (or than what the packed size can give).
  static constexpr std::uint32_t kMaxUnpackedSize = 64u << 20;
  static constexpr int kMaxMembers = 4096;

  TSkinReader();
  ~TSkinReader() override;

  // Unpacks and parses the skin file held in `packed`. False for an archive of a version this
  // reader does not know (after telling the user) or one that is damaged.
  bool Load(TStream& packed);
  // Rewinds both streams and decodes the packed stream into `unpacked`. EReadError when the
  // size is missing, ESkinFormatError when the packed data cannot give that size.
  void Unpack(TStream& packed, TStream& unpacked);
  // Parses an unpacked archive (the stream from its start). Same answer as Load.
  bool Parse(TStream& unpacked);

  // The member of that name (any case) into `dest`, rewound; `dest` stays empty when there is
  // no such member.
  void GetMember(const std::wstring& name, TStream& dest) const;
  // The first member whose name contains `text`; true with its name, else `dest` stays empty.
  bool FindMember(const std::wstring& text, TStream& dest, std::wstring& name) const;

  int Version() const { return version_; }
  int NameLength() const { return nameLength_; }
  int Count() const { return static_cast<int>(names_.size()); }
  const std::vector<std::wstring>& Names() const { return names_; }
  const std::vector<std::int32_t>& Sizes() const { return sizes_; }
  // All member bytes back to back.
  const TMemoryStream& Data() const { return data_; }

  // Bytes skipped after the header for a version, -1 for an unknown version.
  static int SkippedBlockSize(int version);

 private:
  void Clear();
  void CopyMember(int index, TStream& dest) const;

  std::vector<std::wstring> names_;
  std::vector<std::int32_t> sizes_;
  std::vector<std::int64_t> offsets_;
  TMemoryStream data_;
  int version_ = 0;
  int nameLength_ = 0;
};

// Splits text into lines at CR, LF or CR LF; a last line break adds no empty line and a NUL ends
// the text.
std::vector<std::wstring> SplitSkinLines(const std::wstring& text);

}  // namespace kivo
