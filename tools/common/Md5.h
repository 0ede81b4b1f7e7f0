// MD5 message digest (RFC 1321).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kivo {

class CMd5 {
 public:
  CMd5() { Init(); }
  void Init();
  void Update(const void* data, std::size_t length);
  void Final();  // after Final, Digest and Text hold the result
  const std::uint8_t* Digest() const { return digest_; }
  // 32 lower-case hexadecimal digits, first byte first.
  std::string Text() const;

  static std::string Of(const void* data, std::size_t length);

 private:
  void Transform(const std::uint8_t block[64]);

  std::uint32_t state_[4];
  std::uint64_t bits_;
  std::uint8_t buffer_[64];
  std::uint8_t digest_[16];
};

}  // namespace kivo
