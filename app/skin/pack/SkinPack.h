// Writing skin files: the LZHUF encoder, the archive of named members and the packed file.
// Plain C++ without platform headers: built for the build machine (the artwork tool) and for
// the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::skinpack {

using Bytes = std::vector<std::uint8_t>;

struct TMember {
  std::string Name;
  Bytes Data;
};

// Bytes of the skipped block after the 16-byte header for a version; -1 for an unknown one.
int SkippedBlockSize(int version);

// The unpacked archive: version, name-text length, 8 zero bytes, the skipped block (zeros), the
// names one per line (each ended by CR LF), the member sizes, then the members' bytes.
Bytes BuildArchive(int version, const std::vector<TMember>& members);

// The LZHUF stream of the data (N 4096, F 60, threshold 2), without the size.
Bytes LzhufEncode(const Bytes& data);

// A skin file: the unpacked size (32 bits, little-endian) and the LZHUF stream.
Bytes PackSkinFile(const Bytes& archive);

}  // namespace kivo::skinpack
