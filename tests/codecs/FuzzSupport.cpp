#include "FuzzSupport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace kivo::test {

char gCurrentInput[160] = "none";

namespace {
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "crash: exception 0x%08lX at %p while decoding %s\n",
               static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), info->ExceptionRecord->ExceptionAddress,
               gCurrentInput);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

void InstallCrashReport() { ::SetUnhandledExceptionFilter(ReportCrash); }

TGuardedCopy::TGuardedCopy(const std::vector<std::uint8_t>& data) {
  SYSTEM_INFO si;
  ::GetSystemInfo(&si);
  const std::size_t page = si.dwPageSize;
  const std::size_t dataPages = (data.size() + page - 1) / page;
  base_ = static_cast<std::uint8_t*>(
      ::VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_) throw std::bad_alloc();
  DWORD old = 0;
  ::VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
  data_ = base_ + dataPages * page - data.size();
  if (!data.empty()) std::memcpy(data_, data.data(), data.size());
  length_ = data.size();
}

TGuardedCopy::~TGuardedCopy() { ::VirtualFree(base_, 0, MEM_RELEASE); }

}  // namespace kivo::test
