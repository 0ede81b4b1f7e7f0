#include "KVSection.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace kivo {

namespace {

void DefaultSectionMessage(const std::wstring& text) {
  ::MessageBoxW(nullptr, text.c_str(), nullptr, MB_OK);
}

std::atomic<TSectionMessageHandler> g_messageHandler{&DefaultSectionMessage};

// Waits for an event; without one (it could not be created) the read takes as long as a wait that
// timed out, so that it keeps the reader's pace instead of failing at once.
bool WaitOrPace(const THandleOwner& event, DWORD ms) {
  if (!event) {
    ::Sleep(ms);
    return false;
  }
  return ::WaitForSingleObject(event.Get(), ms) == WAIT_OBJECT_0;
}

void ReportFailure(const wchar_t* step) {
  DWORD error = ::GetLastError();
  g_messageHandler.load()(SectionFailureText(step, error));
}

}  // namespace

VIDEOINFOHEADER MakeOfferedVideoInfo() {
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = 400000;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = 320;
  vih.bmiHeader.biHeight = 240;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = 24;
  vih.bmiHeader.biCompression = BI_RGB;
  vih.bmiHeader.biSizeImage = 320 * 240 * (24 / 8);
  return vih;
}

TSectionMessageHandler SetSectionMessageHandler(TSectionMessageHandler handler) {
  return g_messageHandler.exchange(handler ? handler : &DefaultSectionMessage);
}

std::wstring SectionFailureText(const wchar_t* step, DWORD error) {
  std::wstring text = step;
  text += L" :";
  text += std::to_wstring(error);
  text += L' ';
  wchar_t* msg = nullptr;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<wchar_t*>(&msg), 0, nullptr);
  if (n && msg) {
    std::wstring sys(msg, n);
    while (!sys.empty() && (sys.back() == L'\r' || sys.back() == L'\n' || sys.back() == L' '))
      sys.pop_back();
    text += sys;
  }
  if (msg) ::LocalFree(msg);
  return text;
}

TViewOwner MapFrameSection(const char* name, DWORD size, THandleOwner& mapping, bool& created) {
  created = false;
  mapping.Reset(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, name));
  if (!mapping) {
    SECURITY_DESCRIPTOR sd;
    ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);  // null DACL: every account may open it
    SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, TRUE};
    mapping.Reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0, size, name));
    if (!mapping) return TViewOwner();
    // Another process may have created it between our open and our create.
    created = ::GetLastError() != ERROR_ALREADY_EXISTS;
  }
  TViewOwner view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  // A mapping of this name that some other program made smaller than ours is no section of ours.
  MEMORY_BASIC_INFORMATION mbi{};
  if (view && (!::VirtualQuery(view.Get(), &mbi, sizeof(mbi)) || mbi.RegionSize < size)) {
    view.Reset();
    ::SetLastError(ERROR_INVALID_DATA);
  }
  if (!view) {
    DWORD error = ::GetLastError();
    mapping.Reset();
    created = false;
    ::SetLastError(error);
  }
  return view;
}

TViewOwner OpenOrCreateFrameSection(const char* name, DWORD size, THandleOwner& mapping) {
  bool created = false;
  TViewOwner view = MapFrameSection(name, size, mapping, created);
  if (view) std::memset(view.Get(), 0, size);
  return view;
}

void CloseFrameSection(TViewOwner& view, THandleOwner& mapping) {
  if (view) {
    view.Reset();
    mapping.Reset();
  }
}

TFrameSectionReader::TFrameSectionReader(const VIDEOINFOHEADER& format) : Format_(format) {
  AccessHandle.Reset(::CreateEventA(nullptr, FALSE, TRUE, kAccessEventName));
  if (!AccessHandle) ReportFailure(L"access");
  NewDataHandle.Reset(::CreateEventA(nullptr, FALSE, FALSE, kNewDataEventName));
  if (!NewDataHandle) ReportFailure(L"data");
  // Lay the section out while holding the lock when it can be had, so that readers and the writer
  // already at work never see a half-cleared frame. Every new reader frees the lock afterwards,
  // whatever state a vanished party left it in (and before any message box is shown).
  if (AccessHandle) ::WaitForSingleObject(AccessHandle.Get(), kAccessWaitMs);
  DWORD error = ERROR_SUCCESS;
  {
    TEventRelease freeLock(AccessHandle.Get());
    bool created = false;
    SectionView = MapFrameSection(kFrameSectionName, kFrameSectionSize, SectionHandle, created);
    if (SectionView) {
      BYTE* base = static_cast<BYTE*>(SectionView.Get());
      Header = reinterpret_cast<TFrameSectionHeader*>(base);
      FormatPtr = base + kFormatAreaOffset;
      Aux1Ptr = base + kAuxArea1Offset;
      Aux2Ptr = base + kAuxArea2Offset;
      PixelsPtr = base + kPixelAreaOffset;
      LayOut(!created && HoldsOwnLayout());
    } else {
      error = ::GetLastError();
    }
  }
  if (!SectionView) {
    ::SetLastError(error);
    ReportFailure(L"alloc buf");
  }
}

bool TFrameSectionReader::HoldsOwnLayout() const noexcept {
  TFrameSectionHeader h;
  std::memcpy(&h, Header, sizeof(h));
  return h.Reserved == kHeaderReserved && h.FormatSize == kFormatAreaSize && h.AuxSize1 == kAuxAreaSize &&
         h.AuxSize2 == kAuxAreaSize && h.FrameSize == Format_.bmiHeader.biSizeImage &&
         std::memcmp(FormatPtr, &Format_, sizeof(Format_)) == 0;
}

void TFrameSectionReader::LayOut(bool keepFrame) {
  // A section laid out as this reader would keep the frame in it: viewers that came earlier go on
  // showing it. The header's values are rewritten unchanged, so a writer looking meanwhile reads them.
  if (keepFrame) {
    std::memset(FormatPtr + sizeof(Format_), 0, kFormatAreaSize - sizeof(Format_));
    std::memset(Aux1Ptr, 0, 2 * kAuxAreaSize);
  } else {
    std::memset(SectionView.Get(), 0, kFrameSectionSize);
  }
  Header->Reserved = kHeaderReserved;
  Header->FormatSize = kFormatAreaSize;
  Header->AuxSize1 = kAuxAreaSize;
  Header->AuxSize2 = kAuxAreaSize;
  Header->FrameSize = Format_.bmiHeader.biSizeImage;
  std::memcpy(FormatPtr, &Format_, sizeof(Format_));
}

TFrameSectionReader::~TFrameSectionReader() {
  // Without an access event nobody can hold the section through this reader: let go of it.
  if (!AccessHandle || ::WaitForSingleObject(AccessHandle.Get(), kReaderReleaseWaitMs) == WAIT_OBJECT_0) {
    if (AccessHandle) ::SetEvent(AccessHandle.Get());
    CloseFrameSection(SectionView, SectionHandle);
    AccessHandle.Reset();
  } else {
    // Somebody holds the section: leave the view, the mapping and the lock's handle to process exit.
    SectionView.Release();
    SectionHandle.Release();
    AccessHandle.Release();
  }
  NewDataHandle.Reset();
}

std::size_t TFrameSectionReader::FrameBytes() const noexcept {
  std::size_t room = kFrameSectionSize - kPixelAreaOffset;
  return std::min<std::size_t>(Format_.bmiHeader.biSizeImage, room);
}

DWORD TFrameSectionReader::PaceMs(TReadResult result) const noexcept {
  switch (result) {
    case TReadResult::Copied: return SleepMs;
    case TReadResult::NoNewData: return kNewDataWaitMs + SleepMs;
    case TReadResult::NoAccess: return kAccessWaitMs;
    case TReadResult::NoView: break;
  }
  return 0;
}

bool TFrameSectionReader::BeginRead(TReadResult& result) {
  if (!SectionView) {
    result = TReadResult::NoView;
    return false;
  }
  if (PauseOwed) {
    PauseOwed = false;
    ::Sleep(SleepMs);
  }
  if (!WaitOrPace(AccessHandle, kAccessWaitMs)) {
    result = TReadResult::NoAccess;
    return false;
  }
  if (!WaitOrPace(NewDataHandle, kNewDataWaitMs)) {
    EndRead(false);
    result = TReadResult::NoNewData;
    return false;
  }
  return true;
}

void TFrameSectionReader::EndRead(bool gotNewData) {
  // The flag stays up: the next read copies the same frame unless a new one is written.
  if (gotNewData) ::SetEvent(NewDataHandle.Get());
  ::SetEvent(AccessHandle.Get());
  PauseOwed = true;
}

}  // namespace kivo
