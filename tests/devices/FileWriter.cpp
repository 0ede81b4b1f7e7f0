// A stand-in for the system's File Writer. Wine's File Writer has no IStream on its input pin, and
// Wine's AVI multiplexer writes its files only through one, so a file recorded through the
// multiplexer cannot be written there; this one has it, as the File Writer of Windows has. Samples
// that arrive through the pin are written at their start time taken as a byte offset.
#include "FileWriter.h"

#include <cstring>
#include <new>

#include "TestDevices.h"

namespace kivo::testdev {

// ---- TFileWriterPin ------------------------------------------------------------------------------
TFileWriterPin::TFileWriterPin(TFileWriter* filter, TBCCritSec* lock, HRESULT& hr)
    : TBCBaseInputPin(L"File writer input", filter, lock, hr, L"in"), Writer(filter) {}

HRESULT TFileWriterPin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IStream || iid == IID_ISequentialStream) return GetInterface(static_cast<IStream*>(this), out);
  return TBCBaseInputPin::InnerQueryInterface(iid, out);
}

HRESULT TFileWriterPin::Receive(IMediaSample* sample) {
  HRESULT hr = TBCBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  BYTE* data = nullptr;
  if (FAILED(hr = sample->GetPointer(&data))) return hr;
  const long length = sample->GetActualDataLength();
  if (length < 0) return E_UNEXPECTED;
  REFERENCE_TIME start = 0, stop = 0;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) {
    LARGE_INTEGER at;
    at.QuadPart = start;
    return Writer->WriteAt(&at, data, ULONG(length), nullptr);
  }
  return Writer->WriteAt(nullptr, data, ULONG(length), nullptr);
}

HRESULT TFileWriterPin::EndOfStream() { return Writer->RaiseGraphEvent(EC_COMPLETE, S_OK, 0); }

HRESULT TFileWriterPin::Write(const void* data, ULONG count, ULONG* written) {
  if (!data) return STG_E_INVALIDPOINTER;
  return Writer->WriteAt(nullptr, data, count, written);
}

HRESULT TFileWriterPin::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  return Writer->SeekTo(move, origin, position);
}

HRESULT TFileWriterPin::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof(*stat));
  stat->type = STGTY_STREAM;
  return S_OK;
}

// ---- TFileWriter ---------------------------------------------------------------------------------
TBCUnknown* TFileWriter::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  auto* filter = new (std::nothrow) TFileWriter(factory.Name.c_str(), outer, hr);
  if (!filter) hr = E_OUTOFMEMORY;
  return filter;
}

TFileWriter::TFileWriter(const wchar_t* name, IUnknown* outer, HRESULT& hr)
    : TBCBaseFilter(name, outer, new TBCCritSec, CLSID_FileWriter), Pin(this, &StateLock(), hr) {}

TFileWriter::~TFileWriter() { CloseFile(); }

HRESULT TFileWriter::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IFileSinkFilter || iid == IID_IFileSinkFilter2)
    return GetInterface(static_cast<IFileSinkFilter2*>(this), out);
  if (iid == IID_IAMFilterMiscFlags) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), out);
  return TBCBaseFilter::InnerQueryInterface(iid, out);
}

HRESULT TFileWriter::Pause() {
  {
    TBCAutoLock lock(StateLock());
    if (State == State_Stopped) {
      if (FileName.empty()) return E_FAIL;
      TBCAutoLock file(FileLock);
      CloseFile();
      const HRESULT hr = OpenFile(CREATE_ALWAYS);
      if (FAILED(hr)) return hr;
      Written = true;
    }
  }
  return TBCBaseFilter::Pause();
}

HRESULT TFileWriter::Stop() {
  const HRESULT hr = TBCBaseFilter::Stop();
  CloseFile();
  return hr;
}

HRESULT TFileWriter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  if (!graph) {
    TBCAutoLock file(FileLock);
    CloseFile();
    Written = false;
  }
  return TBCBaseFilter::JoinFilterGraph(graph, name);
}

HRESULT TFileWriter::SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE*) {
  if (!fileName) return E_POINTER;
  TBCAutoLock lock(StateLock());
  if (State != State_Stopped) return VFW_E_WRONG_STATE;
  TBCAutoLock file(FileLock);
  CloseFile();
  Written = false;
  FileName = fileName;
  return S_OK;
}

HRESULT TFileWriter::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  TBCAutoLock lock(StateLock());
  *fileName = nullptr;
  if (type) std::memset(type, 0, sizeof(*type));
  if (FileName.empty()) return S_FALSE;
  const std::size_t bytes = (FileName.size() + 1) * sizeof(wchar_t);
  *fileName = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
  if (!*fileName) return E_OUTOFMEMORY;
  std::memcpy(*fileName, FileName.c_str(), bytes);
  return S_OK;
}

HRESULT TFileWriter::SetMode(DWORD flags) {
  if (flags & ~AM_FILE_OVERWRITE) return E_INVALIDARG;
  TBCAutoLock lock(StateLock());
  Mode = flags;
  return S_OK;
}

HRESULT TFileWriter::GetMode(DWORD* flags) {
  if (!flags) return E_POINTER;
  TBCAutoLock lock(StateLock());
  *flags = Mode;
  return S_OK;
}

HRESULT TFileWriter::OpenFile(DWORD disposition) {
  File.Reset(::CreateFileW(FileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return File.Valid() ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

void TFileWriter::CloseFile() {
  TBCAutoLock lock(FileLock);
  File.Reset();
}

HRESULT TFileWriter::WriteAt(const LARGE_INTEGER* at, const void* data, ULONG count, ULONG* written) {
  if (written) *written = 0;
  TBCAutoLock lock(FileLock);
  if (!File.Valid() && (!Written || FAILED(OpenFile(OPEN_EXISTING)))) return E_UNEXPECTED;
  if (at && !::SetFilePointerEx(File.Get(), *at, nullptr, FILE_BEGIN)) return STG_E_SEEKERROR;
  DWORD done = 0;
  if (!::WriteFile(File.Get(), data, count, &done, nullptr) || done != count) return STG_E_WRITEFAULT;
  if (written) *written = done;
  return S_OK;
}

HRESULT TFileWriter::SeekTo(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  TBCAutoLock lock(FileLock);
  if (!File.Valid() && (!Written || FAILED(OpenFile(OPEN_EXISTING)))) return E_UNEXPECTED;
  LARGE_INTEGER now;
  if (!::SetFilePointerEx(File.Get(), move, &now, origin)) return STG_E_INVALIDFUNCTION;
  if (position) position->QuadPart = ULONGLONG(now.QuadPart);
  return S_OK;
}

}  // namespace kivo::testdev
