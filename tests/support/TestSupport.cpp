#include "TestSupport.h"

#include <cstdio>
#include <stdexcept>

namespace kivo::test {

std::wstring ModuleDir() {
  wchar_t path[MAX_PATH * 2];
  DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring HelperPath(const std::wstring& name) { return ModuleDir() + name + L".exe"; }

void DeleteTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  {
    TFindOwner find(::FindFirstFileW((dir + L"*").c_str(), &fd));
    if (find) {
      do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        // a link goes, not what it points to
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
          ::RemoveDirectoryW(path.c_str()) || ::DeleteFileW(path.c_str());
        else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          DeleteTree(path + L"\\");
        else
          ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(find.Get(), &fd));
    }
  }
  ::RemoveDirectoryW(dir.c_str());
}

TChildProcess::TChildProcess(const std::wstring& exe, const std::wstring& args) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!::CreatePipe(&inRead, &inWrite, &sa, 0) || !::CreatePipe(&outRead, &outWrite, &sa, 0))
    throw std::runtime_error("CreatePipe failed");
  THandleOwner childIn(inRead), childOut(outWrite);
  stdinWrite_.Reset(inWrite);
  stdoutRead_.Reset(outRead);
  ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn.Get();
  si.hStdOutput = childOut.Get();
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  std::wstring cmd = L"\"" + exe + L"\"";
  if (!args.empty()) cmd += L" " + args;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    throw std::runtime_error("CreateProcess failed for a test helper");
  ::CloseHandle(pi.hThread);
  process_.Reset(pi.hProcess);
}

TChildProcess::~TChildProcess() {
  stdinWrite_.Reset();
  if (Running() && ::WaitForSingleObject(process_.Get(), 3000) != WAIT_OBJECT_0)
    ::TerminateProcess(process_.Get(), 99);
}

bool TChildProcess::Running() const {
  return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

void TChildProcess::Send(const std::string& line) {
  std::string data = line + "\n";
  DWORD written = 0;
  ::WriteFile(stdinWrite_.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

std::optional<std::string> TChildProcess::ReadLine(DWORD timeoutMs) {
  const double deadline = NowMs() + timeoutMs;
  for (;;) {
    auto nl = buffered_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffered_.substr(0, nl);
      buffered_.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    DWORD avail = 0;
    if (!::PeekNamedPipe(stdoutRead_.Get(), nullptr, 0, nullptr, &avail, nullptr)) return std::nullopt;
    if (avail > 0) {
      char buf[4096];
      DWORD got = 0;
      if (!::ReadFile(stdoutRead_.Get(), buf, std::min<DWORD>(avail, sizeof(buf)), &got, nullptr)) return std::nullopt;
      buffered_.append(buf, got);
      continue;
    }
    if (NowMs() > deadline) return std::nullopt;
    ::Sleep(2);
  }
}

std::string TChildProcess::Call(const std::string& line, DWORD timeoutMs) {
  Send(line);
  auto reply = ReadLine(timeoutMs);
  return reply ? *reply : std::string("<no reply>");
}

std::optional<DWORD> TChildProcess::Finish(DWORD timeoutMs) {
  stdinWrite_.Reset();
  if (::WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.Get(), &code);
  return code;
}

std::size_t FrameStride(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t(3); }
std::size_t FrameBytes(int width, int height) { return FrameStride(width) * static_cast<std::size_t>(height); }

BYTE PatternByte(int x, int y, int channel, int frame) {
  return static_cast<BYTE>(x * 7 + y * 13 + channel * 71 + frame * 37 + (x >> 5) * 3 + (y >> 4) * 5 + 1);
}

void FillPattern(BYTE* bits, int width, int height, int frame) {
  const std::size_t stride = FrameStride(width);
  for (int y = 0; y < height; ++y) {
    BYTE* row = bits + stride * y;
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) row[x * 3 + c] = PatternByte(x, y, c, frame);
    for (std::size_t p = static_cast<std::size_t>(width) * 3; p < stride; ++p) row[p] = 0;
  }
}

std::vector<BYTE> MakePattern(int width, int height, int frame) {
  std::vector<BYTE> v(FrameBytes(width, height));
  FillPattern(v.data(), width, height, frame);
  return v;
}

std::string CheckPattern(const BYTE* bits, int width, int height, int frame) {
  const std::size_t stride = FrameStride(width);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        BYTE got = bits[stride * y + x * 3 + c];
        BYTE want = PatternByte(x, y, c, frame);
        if (got != want) {
          char msg[160];
          std::snprintf(msg, sizeof(msg), "frame %d differs at x=%d y=%d channel %d: %u, want %u", frame, x, y, c,
                        unsigned(got), unsigned(want));
          return msg;
        }
      }
  return {};
}

bool AllZero(const BYTE* bits, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (bits[i]) return false;
  return true;
}

std::string UnixName(const std::wstring& path) {
  using TUnixName = char*(CDECL*)(const wchar_t*);
  auto fn = reinterpret_cast<TUnixName>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!fn) return {};
  char* name = fn(path.c_str());
  if (!name) return {};
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

bool RunHostTool(const char* tool, const std::string& arguments, const std::function<bool()>& done,
                 DWORD timeoutMs) {
  using TDosName = wchar_t*(CDECL*)(const char*);
  auto dosName = reinterpret_cast<TDosName>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
  if (!dosName) return false;
  wchar_t* exe = dosName(tool);
  if (!exe) return false;
  const std::wstring exePath = exe;
  ::HeapFree(::GetProcessHeap(), 0, exe);
  const std::string line = std::string(tool) + " " + arguments;
  std::wstring commandLine(line.size(), L'\0');
  commandLine.resize(size_t(::MultiByteToWideChar(CP_UTF8, 0, line.data(), int(line.size()), commandLine.data(),
                                                  int(commandLine.size()))));
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  THandleOwner process(pi.hProcess), thread(pi.hThread);
  const double end = NowMs() + timeoutMs;
  while (NowMs() < end) {
    if (done()) return true;
    ::Sleep(10);
  }
  return false;
}

namespace {
std::uint32_t BigEndian(const std::vector<BYTE>& b, std::size_t at) {
  return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}
}  // namespace

TXImage ReadXImage(unsigned long xid, std::string& why, DWORD timeoutMs) {
  wchar_t dir[MAX_PATH], file[MAX_PATH];
  if (!::GetTempPathW(MAX_PATH, dir) || !::GetTempFileNameW(dir, L"xwd", 0, file)) {
    why = "no temporary file";
    return {};
  }
  const std::string out = UnixName(file);
  if (out.empty()) {
    ::DeleteFileW(file);
    why = "no Unix path (not under Wine?)";
    return {};
  }
  ::DeleteFileW(file);
  // The file is complete when it has the size its header gives.
  std::vector<BYTE> bytes;
  std::size_t expected = 0;
  auto complete = [&] {
    TFileOwner f(::CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    const DWORD size = f ? ::GetFileSize(f.Get(), nullptr) : 0;
    if (size < 100 || size == INVALID_FILE_SIZE) return false;
    bytes.resize(size);
    DWORD read = 0;
    if (!expected) {
      if (!::ReadFile(f.Get(), bytes.data(), 100, &read, nullptr) || read < 100) return false;
      expected = BigEndian(bytes, 0) + std::size_t(BigEndian(bytes, 19 * 4)) * 12 +
                 std::size_t(BigEndian(bytes, 12 * 4)) * BigEndian(bytes, 5 * 4);
      ::SetFilePointer(f.Get(), 0, nullptr, FILE_BEGIN);
    }
    if (size < expected) return false;
    ::ReadFile(f.Get(), bytes.data(), size, &read, nullptr);
    bytes.resize(read);
    return bytes.size() >= expected;
  };
  char target[32];
  if (xid)
    std::snprintf(target, sizeof target, "-id 0x%lx", xid);
  else
    std::snprintf(target, sizeof target, "-root");
  const bool done = RunHostTool("/usr/bin/xwd", std::string(target) + " -silent -out \"" + out + "\"", complete, timeoutMs);
  ::DeleteFileW(file);
  if (!done) {
    why = "no complete picture from xwd (" + std::to_string(bytes.size()) + " bytes)";
    return {};
  }
  const std::uint32_t headerSize = BigEndian(bytes, 0), format = BigEndian(bytes, 2 * 4),
                      width = BigEndian(bytes, 4 * 4), height = BigEndian(bytes, 5 * 4),
                      byteOrder = BigEndian(bytes, 7 * 4), bitsPerPixel = BigEndian(bytes, 11 * 4),
                      bytesPerLine = BigEndian(bytes, 12 * 4), colours = BigEndian(bytes, 19 * 4);
  if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24) || byteOrder != 0) {
    why = "an xwd layout this reader does not know: format " + std::to_string(format) + ", " +
          std::to_string(bitsPerPixel) + " bits, byte order " + std::to_string(byteOrder);
    return {};
  }
  TXImage image;
  image.Width = int(width);
  image.Height = int(height);
  image.Pixels.resize(std::size_t(width) * height);
  const BYTE* pixels = bytes.data() + headerSize + colours * 12;
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const BYTE* p = pixels + std::size_t(y) * bytesPerLine + x * (bitsPerPixel / 8);  // blue, green, red
      image.Pixels[std::size_t(y) * width + x] = std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }
  return image;
}

unsigned long XWindowOf(HWND w) {
  return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(::GetPropA(w, "__wine_x11_whole_window")));
}

double NowMs() {
  LARGE_INTEGER f, c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

}  // namespace kivo::test
