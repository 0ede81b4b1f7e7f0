// The main of the VMR-9 test programs. Wine's VMR-9 draws through the host's OpenGL, whose
// dispatch library can fail an assertion while the process takes its threads down after the last
// test; the result is known by then, so the program ends at once with it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
