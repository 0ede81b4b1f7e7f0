// Shared by the fuzz tests: inputs that end right before an inaccessible page, and a crash report
// that names the input instead of leaving the program waiting until the test times out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo::test {

// A copy of some bytes that ends exactly where a PAGE_NOACCESS page begins: any read past the end
// of the buffer crashes.
class TGuardedCopy {
 public:
  explicit TGuardedCopy(const std::vector<std::uint8_t>& data);
  ~TGuardedCopy();
  TGuardedCopy(const TGuardedCopy&) = delete;
  TGuardedCopy& operator=(const TGuardedCopy&) = delete;
  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return length_; }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t length_ = 0;
};

// What is being decoded now; a crash prints it and ends the program with code 3.
extern char gCurrentInput[160];
void InstallCrashReport();

}  // namespace kivo::test
