// KVProcs: KivoApp's shared unit. This part is the frame-section writer: every frame KivoApp offers
// to the virtual camera goes through WriteFrame.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "Handles.h"

namespace kivo {

// Every frame buffer in KivoApp holds the largest frame the effect chain handles: 640 x 480 x 3.
constexpr std::int32_t kMaxFrameBytes = 640 * 480 * 3;  // 921,600
constexpr std::int32_t kMinOutputWidth = 320;
constexpr std::int32_t kMinOutputHeight = 240;
constexpr DWORD kWriterAccessWaitMs = 100;
constexpr DWORD kPendingRetryMs = 1000;

// BITMAPINFO with one colour entry, as producers copy it.
struct TOutputFormat {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
  BITMAPINFO* Info() noexcept { return reinterpret_cast<BITMAPINFO*>(this); }
};

// The output size the virtual camera expects (never below 320 x 240), raised once on connection.
extern std::atomic<std::int32_t> OutputWidth;
extern std::atomic<std::int32_t> OutputHeight;
extern TOutputFormat OutputFormat;

// Bytes of one 24-bit frame of width x height, rows padded to 4 bytes.
constexpr std::uint64_t PaddedFrameBytes(std::uint64_t width, std::uint64_t height) {
  return ((width * 3 + 3) & ~std::uint64_t(3)) * height;
}

// Scratch frame for the bitmap routines; fill and write it under FrameSectionLock. Guard bytes that
// nothing writes follow it, so a frame written past its end lands there and can be seen, instead of
// on the writer's own state.
constexpr std::size_t kFrameGuardBytes = 4096;
struct TFrameStore {
  BYTE Frame[kMaxFrameBytes];
  BYTE Guard[kFrameGuardBytes];
};
extern TFrameStore FrameStore;
extern BYTE (&FrameBuffer)[kMaxFrameBytes];

// Guards the connection, the output size, the pending frame and the copy into the section.
// Re-entrant. Lock order: FrameSectionLock, then the section's access event.
extern TCriticalSection FrameSectionLock;

// The writer's share of the settings record; the settings unit stores and loads it.
struct TCaptureSetting {
  std::atomic<bool> CaptureActive{true};
};
extern TCaptureSetting CaptureSetting;

// Answers the previous value.
bool SetCaptureActive(bool value);

// Writes one frame (24-bit bottom-up BGR, rows padded to 4 bytes) into the section, parks it
// while no section exists, or drops it when the reader holds the section for more than 100 ms.
// Answers Size when written (or when capture is off and Force is false), 0 otherwise.
// A frame of more than kMaxFrameBytes (or a negative size) is refused: answer 0, nothing kept.
std::int32_t WriteFrame(const void* data, std::int32_t size, bool force);

bool ConnectFrameSection();
// Test seam: when set, ConnectFrameSection calls it with the view right after its one look at the
// header, so that a test can change the shared header at exactly that point.
extern void (*AfterFrameHeaderRead)(BYTE* view);
void DisconnectFrameSection();
void EnsureFrameSection();
bool FrameSectionConnected();
void ReadOutputFormat();

// GetDIBits of format.biHeight rows at `format` into `buffer`; answers the image size when every
// row came back, else 0. Works on a copy of the format.
std::int32_t GetFrameBits(HDC dc, const TOutputFormat& format, HBITMAP bitmap, void* buffer);

// Unit start and end: output format, pending-frame event and the retry thread.
void InitFrameWriter();
void DoneFrameWriter();

// Retries the pending frame about once a second until a section exists.
class TWaitDriverThread {
 public:
  TWaitDriverThread();
  ~TWaitDriverThread();  // terminates and waits
  TWaitDriverThread(const TWaitDriverThread&) = delete;
  TWaitDriverThread& operator=(const TWaitDriverThread&) = delete;

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Execute();

  THandleOwner Terminated;
  THandleOwner Thread;
};

}  // namespace kivo
