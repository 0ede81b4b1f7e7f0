#include "KVProcs.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "Graphics.h"
#include "KVSection.h"

namespace kivo {

std::atomic<std::int32_t> OutputWidth{kMinOutputWidth};
std::atomic<std::int32_t> OutputHeight{kMinOutputHeight};
TOutputFormat OutputFormat{};
TFrameStore FrameStore;
BYTE (&FrameBuffer)[kMaxFrameBytes] = FrameStore.Frame;
TCriticalSection FrameSectionLock;
TCaptureSetting CaptureSetting;
void (*AfterFrameHeaderRead)(BYTE* view) = nullptr;

namespace {

constexpr DWORD kEventAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;  // 0x00100002

// The connection: both events, the mapping and the view with its four areas.
struct TConnection {
  THandleOwner AccessEvent;
  THandleOwner NewDataEvent;
  THandleOwner Mapping;
  TViewOwner View;
  TFrameSectionHeader* Header = nullptr;
  BYTE* FormatArea = nullptr;
  BYTE* AuxArea1 = nullptr;
  BYTE* AuxArea2 = nullptr;
  BYTE* PixelArea = nullptr;
  std::size_t PixelRoom = 0;  // bytes from PixelArea to the end of the section
};
TConnection Conn;

BYTE PendingFrame[kMaxFrameBytes];
std::atomic<std::int32_t> PendingFrameSize{0};
THandleOwner PendingFrameEvent;
std::unique_ptr<TWaitDriverThread> WaitDriver;

void FillOutputFormat() {
  std::memset(&OutputFormat, 0, sizeof(OutputFormat));
  BITMAPINFOHEADER& h = OutputFormat.bmiHeader;
  h = DibHeader(OutputWidth, OutputHeight, 24);
  h.biSizeImage = static_cast<DWORD>(OutputWidth * OutputHeight * 3);
}

std::uint32_t ReadU32(const BYTE* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

// A reader zero-fills the section before it writes the header, and other programs can write into it
// at any time: the writer takes one copy of the header and of the frame size, checks that copy and
// lays its areas out from it alone. The sizes must be those a reader writes, the frame must lie
// inside the mapping, and the frame it describes, with its rows padded, must fit KivoApp's frame
// buffers.
struct TLayout {
  TFrameSectionHeader Header;
  std::uint32_t Width, Height;
};

bool FrameSizeUsable(std::uint32_t width, std::uint32_t height) {
  return PaddedFrameBytes(width, height) <= std::uint64_t(kMaxFrameBytes);
}

TLayout ReadLayout(const BYTE* view) {
  TLayout l;
  std::memcpy(&l.Header, view, sizeof(l.Header));
  l.Width = std::max<std::uint32_t>(kMinOutputWidth, ReadU32(view + kFormatAreaOffset + kFormatWidthOffset));
  l.Height = std::max<std::uint32_t>(kMinOutputHeight, ReadU32(view + kFormatAreaOffset + kFormatHeightOffset));
  return l;
}

bool LayoutUsable(const TLayout& l) {
  const TFrameSectionHeader& h = l.Header;
  if (h.FormatSize != kFormatAreaSize || h.AuxSize1 != kAuxAreaSize || h.AuxSize2 != kAuxAreaSize) return false;
  if (h.FrameSize == 0 || kPixelAreaOffset + std::uint64_t(h.FrameSize) > kFrameSectionSize) return false;
  return FrameSizeUsable(l.Width, l.Height);
}

void ApplyOutputFormat(std::uint32_t width, std::uint32_t height, std::uint32_t frameSize) {
  OutputWidth = static_cast<std::int32_t>(width);
  OutputHeight = static_cast<std::int32_t>(height);
  OutputFormat.bmiHeader.biWidth = OutputWidth;
  OutputFormat.bmiHeader.biHeight = OutputHeight;
  OutputFormat.bmiHeader.biSizeImage = frameSize;
}

}  // namespace

bool SetCaptureActive(bool value) { return CaptureSetting.CaptureActive.exchange(value); }

bool FrameSectionConnected() {
  TLock lock(FrameSectionLock);
  return Conn.View.Valid();
}

void ReadOutputFormat() {
  TLock lock(FrameSectionLock);
  if (!Conn.View) return;
  // A format that no longer fits the frame buffers leaves the output as it is.
  const TLayout l = ReadLayout(static_cast<const BYTE*>(Conn.View.Get()));
  if (FrameSizeUsable(l.Width, l.Height)) ApplyOutputFormat(l.Width, l.Height, l.Header.FrameSize);
}

void DisconnectFrameSection() {
  TLock lock(FrameSectionLock);
  for (THandleOwner* ev : {&Conn.AccessEvent, &Conn.NewDataEvent}) {
    if (*ev) {
      ::SetEvent(ev->Get());
      ev->Reset();
    }
  }
  Conn.View.Reset();
  Conn.Mapping.Reset();
  Conn.Header = nullptr;
  Conn.FormatArea = Conn.AuxArea1 = Conn.AuxArea2 = Conn.PixelArea = nullptr;
  Conn.PixelRoom = 0;
}

bool ConnectFrameSection() {
  TLock lock(FrameSectionLock);
  DisconnectFrameSection();
  auto fail = [] {
    DisconnectFrameSection();
    return false;
  };
  Conn.AccessEvent.Reset(::OpenEventA(kEventAccess, FALSE, kAccessEventName));
  if (!Conn.AccessEvent) return fail();
  ::SetEvent(Conn.AccessEvent.Get());  // a lock left taken by a vanished writer is released
  Conn.NewDataEvent.Reset(::OpenEventA(kEventAccess, FALSE, kNewDataEventName));
  if (!Conn.NewDataEvent) return fail();
  ::SetEvent(Conn.NewDataEvent.Get());  // a waiting reader copies the current pixel area
  Conn.Mapping.Reset(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kFrameSectionName));
  if (!Conn.Mapping) return fail();
  Conn.View.Reset(::MapViewOfFile(Conn.Mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!Conn.View) return fail();
  // The mapping's real size bounds every copy, whatever the header says.
  MEMORY_BASIC_INFORMATION mbi{};
  if (!::VirtualQuery(Conn.View.Get(), &mbi, sizeof(mbi)) || mbi.RegionSize < kFrameSectionSize) return fail();

  BYTE* view = static_cast<BYTE*>(Conn.View.Get());
  const TLayout l = ReadLayout(view);
  if (AfterFrameHeaderRead) AfterFrameHeaderRead(view);
  if (!LayoutUsable(l)) return fail();
  Conn.Header = reinterpret_cast<TFrameSectionHeader*>(view);
  Conn.FormatArea = view + kFormatAreaOffset;
  Conn.AuxArea1 = Conn.FormatArea + l.Header.FormatSize;
  Conn.AuxArea2 = Conn.AuxArea1 + l.Header.AuxSize1;
  Conn.PixelArea = Conn.AuxArea2 + l.Header.AuxSize2;
  Conn.PixelRoom = kFrameSectionSize - static_cast<std::size_t>(Conn.PixelArea - view);
  ApplyOutputFormat(l.Width, l.Height, l.Header.FrameSize);
  return true;
}

void EnsureFrameSection() {
  TLock lock(FrameSectionLock);
  if (!Conn.View) ConnectFrameSection();
}

std::int32_t WriteFrame(const void* data, std::int32_t size, bool force) {
  if (!force && !CaptureSetting.CaptureActive.load()) return size;
  if (size < 0 || size > kMaxFrameBytes || (size > 0 && !data)) return 0;

  TLock lock(FrameSectionLock);
  EnsureFrameSection();
  if (!Conn.View) {
    // memmove: the retry thread hands PendingFrame itself back in.
    if (size > 0) std::memmove(PendingFrame, data, static_cast<std::size_t>(size));
    PendingFrameSize = size;
    ::SetEvent(PendingFrameEvent.Get());
    return 0;
  }
  if (::WaitForSingleObject(Conn.AccessEvent.Get(), kWriterAccessWaitMs) != WAIT_OBJECT_0) return 0;
  TEventRelease giveBack(Conn.AccessEvent.Get());
  if (size > 0) {
    std::memcpy(Conn.PixelArea, data, std::min<std::size_t>(static_cast<std::size_t>(size), Conn.PixelRoom));
    ::SetEvent(Conn.NewDataEvent.Get());
  }
  return size;
}

std::int32_t GetFrameBits(HDC dc, const TOutputFormat& format, HBITMAP bitmap, void* buffer) {
  TOutputFormat copy = format;  // GDI may rewrite the header it is given
  const int rows = ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(copy.bmiHeader.biHeight), buffer,
                               copy.Info(), DIB_RGB_COLORS);
  if (rows != copy.bmiHeader.biHeight) return 0;
  return static_cast<std::int32_t>(copy.bmiHeader.biSizeImage);
}

TWaitDriverThread::TWaitDriverThread() : Terminated(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  Thread.Reset(::CreateThread(nullptr, 0, &TWaitDriverThread::ThreadProc, this, 0, nullptr));
}

TWaitDriverThread::~TWaitDriverThread() {
  ::SetEvent(Terminated.Get());
  if (Thread) ::WaitForSingleObject(Thread.Get(), INFINITE);
}

DWORD WINAPI TWaitDriverThread::ThreadProc(void* self) {
  static_cast<TWaitDriverThread*>(self)->Execute();
  return 0;
}

void TWaitDriverThread::Execute() {
  HANDLE waits[2] = {Terminated.Get(), PendingFrameEvent.Get()};
  for (;;) {
    DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, kPendingRetryMs);
    if (r == WAIT_OBJECT_0) return;
    if (r != WAIT_OBJECT_0 + 1) continue;
    // One-second pause between retries; ends early when the unit ends.
    if (::WaitForSingleObject(Terminated.Get(), kPendingRetryMs) == WAIT_OBJECT_0) return;
    // The size is read under the lock that also covers the frame it describes.
    TLock lock(FrameSectionLock);
    WriteFrame(PendingFrame, PendingFrameSize, true);
  }
}

void InitFrameWriter() {
  TLock lock(FrameSectionLock);
  FillOutputFormat();
  if (!PendingFrameEvent) PendingFrameEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!WaitDriver) WaitDriver = std::make_unique<TWaitDriverThread>();
}

void DoneFrameWriter() {
  WaitDriver.reset();  // outside the lock: the thread may be inside WriteFrame
  PendingFrameEvent.Reset();
}

}  // namespace kivo
