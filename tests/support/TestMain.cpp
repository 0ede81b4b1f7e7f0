// The test programs' main: GoogleTest's, ending the process at once when the tests are done.
// Under load, Wine can hang in a process's own teardown (after every test has passed and the result
// is printed) until ctest's limit runs out; nothing of the process is needed by then.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(rc));
  return rc;
}
