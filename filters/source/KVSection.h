// The frame section: one shared-memory frame between KivoApp (writer) and every KivoSrc pin (reader).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "Handles.h"

namespace kivo {

// Names are ANSI and used byte for byte. The section's "Global/" is part of the name (session
// namespace); the events' "Global\" is the kernel's global namespace.
constexpr char kFrameSectionName[] = "Global/KIVO_SECTION{0C50F999-0C20-4A38-9620-01234199E160}";
constexpr char kAccessEventName[] = "Global\\KIVO_EVENT_ACCESS{8A6BE288-8C2A-4418-B66C-E1AF78B53AE4}";
constexpr char kNewDataEventName[] = "Global\\KIVO_EVENT_NEWDATA{64D7DB90-65B8-4803-B7A7-E22BA54AB605}";

constexpr DWORD kFrameSectionSize = 0x160000;  // 1,441,792 bytes
constexpr std::uint32_t kHeaderReserved = 32;
constexpr std::uint32_t kFormatAreaSize = 1024;
constexpr std::uint32_t kAuxAreaSize = 64;
constexpr std::size_t kFormatAreaOffset = 20;
constexpr std::size_t kAuxArea1Offset = kFormatAreaOffset + kFormatAreaSize;  // 1044
constexpr std::size_t kAuxArea2Offset = kAuxArea1Offset + kAuxAreaSize;       // 1108
constexpr std::size_t kPixelAreaOffset = kAuxArea2Offset + kAuxAreaSize;      // 1172
// Offsets of biWidth and biHeight inside the VIDEOINFOHEADER of the format area.
constexpr std::size_t kFormatWidthOffset = 52;
constexpr std::size_t kFormatHeightOffset = 56;

constexpr DWORD kAccessWaitMs = 200;    // reader: wait for the access event
constexpr DWORD kNewDataWaitMs = 200;   // reader: wait for the new-data flag
constexpr DWORD kReaderSleepMs = 40;    // reader: pause after a read that got access
constexpr DWORD kReaderReleaseWaitMs = 1000;

// The five 32-bit values at the start of the section (little-endian, as stored).
struct TFrameSectionHeader {
  std::uint32_t Reserved;
  std::uint32_t FormatSize;
  std::uint32_t AuxSize1;
  std::uint32_t AuxSize2;
  std::uint32_t FrameSize;
};
static_assert(sizeof(TFrameSectionHeader) == kFormatAreaOffset, "header is five 32-bit values");
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER is stored byte for byte");

// The VIDEOINFOHEADER KivoSrc offers: 320 x 240, 24-bit BI_RGB, bottom-up, 25 frames a second.
VIDEOINFOHEADER MakeOfferedVideoInfo();

// Opens the named mapping with write access, or creates it on the paging file when it does not exist
// (null DACL, inheritable handle), and maps the whole of it; `created` tells which. Answers no view
// on failure (ERROR_INVALID_DATA: an existing mapping is smaller than `size`); GetLastError tells why.
TViewOwner MapFrameSection(const char* name, DWORD size, THandleOwner& mapping, bool& created);
// MapFrameSection, then all `size` bytes filled with zero.
TViewOwner OpenOrCreateFrameSection(const char* name, DWORD size, THandleOwner& mapping);
void CloseFrameSection(TViewOwner& view, THandleOwner& mapping);

// How a failure of the reader's set-up is reported. The product shows a caption-less message box;
// tests put their own handler in. Text: step word, " :", error number, blank, system text.
using TSectionMessageHandler = void (*)(const std::wstring& text);
TSectionMessageHandler SetSectionMessageHandler(TSectionMessageHandler handler);
std::wstring SectionFailureText(const wchar_t* step, DWORD error);

enum class TReadResult {
  NoView,     // no section: the pin answers E_FAIL
  NoAccess,   // the access event did not come within 200 ms (or there is none): nothing copied
  NoNewData,  // access came, the new-data flag did not: nothing copied
  Copied,     // the copier ran under the frame lock
};

// The reader role of one KivoSrc output pin: creates the events and the section, writes the header
// and the offered format, reads frames with the access / new-data handshake, and lets go of the
// section when it is destroyed. A section that already exists with this reader's header and format
// keeps its frame; one that is new or laid out otherwise is cleared.
class TFrameSectionReader {
 public:
  explicit TFrameSectionReader(const VIDEOINFOHEADER& format);
  ~TFrameSectionReader();
  TFrameSectionReader(const TFrameSectionReader&) = delete;
  TFrameSectionReader& operator=(const TFrameSectionReader&) = delete;

  bool HasView() const noexcept { return SectionView.Valid(); }
  const VIDEOINFOHEADER& Format() const noexcept { return Format_; }
  // Bytes one read hands over at most: the pin's own image size, bounded by the section's room.
  std::size_t FrameBytes() const noexcept;
  const BYTE* Pixels() const noexcept { return PixelsPtr; }

  // One read. When the frame may be copied, `copier(pixels, frameBytes)` runs inside the frame lock.
  // A read that obtained the access event owes a pause of SleepMs; it is taken at the start of the
  // next read, so that what a read copies is as fresh as it can be when the sample leaves. Without
  // an access event a read waits as long as a timed-out one and copies nothing.
  template <class Copier>
  TReadResult Read(Copier&& copier);

  // The time one read of this outcome stands for at the reader's pace: a copy, one pause; no new
  // data, the wait for it and the pause; no access, the wait for it.
  DWORD PaceMs(TReadResult result) const noexcept;

  DWORD SleepMs = kReaderSleepMs;

 private:
  bool BeginRead(TReadResult& result);  // true: copy now (access and new data are held)
  void EndRead(bool gotNewData);
  bool HoldsOwnLayout() const noexcept;
  void LayOut(bool keepFrame);

  bool PauseOwed = false;  // only the pin's streaming thread reads

  THandleOwner AccessHandle;
  THandleOwner NewDataHandle;
  VIDEOINFOHEADER Format_{};
  THandleOwner SectionHandle;
  TViewOwner SectionView;
  TFrameSectionHeader* Header = nullptr;
  BYTE* FormatPtr = nullptr;
  BYTE* Aux1Ptr = nullptr;
  BYTE* Aux2Ptr = nullptr;
  BYTE* PixelsPtr = nullptr;
  TCriticalSection FrameLock;
};

template <class Copier>
TReadResult TFrameSectionReader::Read(Copier&& copier) {
  TReadResult result;
  if (!BeginRead(result)) return result;
  struct TEnd {
    TFrameSectionReader* reader;
    ~TEnd() { reader->EndRead(true); }  // also when the copier throws
  } end{this};
  TLock lock(FrameLock);
  copier(static_cast<const BYTE*>(PixelsPtr), FrameBytes());
  return TReadResult::Copied;
}

}  // namespace kivo
