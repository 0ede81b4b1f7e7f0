// Helpers shared by the test programs: child processes with a line protocol, frame patterns.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Handles.h"

namespace kivo::test {

// Folder of the running test program, with a trailing backslash.
std::wstring ModuleDir();
// Full path of a program built beside the test program ("fs_writer" -> "...\fs_writer.exe").
std::wstring HelperPath(const std::wstring& name);
// Deletes a folder (with a trailing backslash) and everything in it, read-only files too, links
// without what they point to; what cannot go stays.
void DeleteTree(const std::wstring& dir);

// Under Wine: the host's (Unix) name of a Windows path; empty elsewhere or when it has none.
std::string UnixName(const std::wstring& path);
// Under Wine: starts a program of the host system (Unix path, arguments split as a Windows command
// line is) and waits up to timeoutMs until done() holds; its process cannot be waited for. False
// when it could not start or done() did not come.
bool RunHostTool(const char* tool, const std::string& arguments, const std::function<bool()>& done,
                 DWORD timeoutMs = 10000);

// Under Wine on X: the pixels the X server holds for a window, read with xwd; xid 0 reads the whole
// screen (the root window). Rows top-down, one 0x00RRGGBB value a pixel; empty, with `why` set,
// when xwd gave none.
struct TXImage {
  int Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;
  bool Empty() const { return Pixels.empty(); }
  std::uint32_t At(int x, int y) const { return Pixels[std::size_t(y) * Width + x]; }
};
TXImage ReadXImage(unsigned long xid, std::string& why, DWORD timeoutMs = 10000);
// The X window Wine made for a top-level window (0 when it has none): Wine records it as a
// property of the window, which any process can read.
unsigned long XWindowOf(HWND w);

// A Windows child process whose standard input and output are pipes: tests send it commands one
// line at a time and read its answers. The process is killed if still running at destruction.
class TChildProcess {
 public:
  TChildProcess(const std::wstring& exe, const std::wstring& args = L"");
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Running() const;
  void Send(const std::string& line);
  // Next line of output without the line end; nothing when none came within the time-out.
  std::optional<std::string> ReadLine(DWORD timeoutMs = 10000);
  // Sends a command and answers the reply line ("<no reply>" on time-out).
  std::string Call(const std::string& line, DWORD timeoutMs = 10000);
  // Closes its input and waits for it to end; answers its exit code, or nothing on time-out.
  std::optional<DWORD> Finish(DWORD timeoutMs = 10000);
  HANDLE Process() const { return process_.Get(); }

 private:
  THandleOwner process_;
  THandleOwner stdinWrite_;
  THandleOwner stdoutRead_;
  std::string buffered_;
};

// Test frames: every byte encodes its column, row, colour channel and a frame number, so that
// flips, offsets, stride errors and stale frames all show.
std::size_t FrameStride(int width);  // bytes of one 24-bit row padded to 4
std::size_t FrameBytes(int width, int height);
BYTE PatternByte(int x, int y, int channel, int frame);
void FillPattern(BYTE* bits, int width, int height, int frame);
std::vector<BYTE> MakePattern(int width, int height, int frame);
// Empty when the buffer holds the pattern; otherwise where it first differs.
std::string CheckPattern(const BYTE* bits, int width, int height, int frame);
bool AllZero(const BYTE* bits, std::size_t size);

// Milliseconds since an arbitrary start, from the performance counter.
double NowMs();

}  // namespace kivo::test
