// A stand-in for the system's AVI Mux. Wine's multiplexer refuses every sound stream, so a
// recording with sound cannot be made through it; this one takes video (VIDEOINFOHEADER) and sound
// (WAVEFORMATEX) streams, a free input pin always waiting for the next. Each sample becomes a chunk
// of the movie list as it arrives, written through the IStream of the File Writer's pin; when the
// filter stops, the index and the headers are written and the file is a complete AVI 1.0 file.
#include "AviMux.h"

#include <aviriff.h>
#include <uuids.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace kivo::testdev {

namespace {

constexpr DWORD FourCC(const char (&s)[5]) {
  return DWORD(BYTE(s[0])) | DWORD(BYTE(s[1])) << 8 | DWORD(BYTE(s[2])) << 16 | DWORD(BYTE(s[3])) << 24;
}

// The headers are written last, into the room before the movie list.
constexpr ULONGLONG kMoviListAt = 8192;
constexpr ULONGLONG kMoviFourCCAt = kMoviListAt + 8;  // index offsets count from here
constexpr size_t kMaxStreams = 8;

std::wstring InputName(size_t n) {
  wchar_t name[16];
  std::swprintf(name, std::size(name), L"Input %02u", unsigned(n));
  return name;
}

// A RIFF writer into memory.
class TChunks {
 public:
  void Put(const void* data, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(data);
    Bytes.insert(Bytes.end(), p, p + size);
  }
  void Dword(DWORD v) { Put(&v, sizeof(v)); }
  // A chunk of `size` bytes, padded to an even length.
  void Chunk(DWORD id, const void* data, size_t size) {
    Dword(id);
    Dword(DWORD(size));
    Put(data, size);
    if (size & 1) Bytes.push_back(0);
  }
  // Starts a LIST; End() puts its size in.
  size_t List(DWORD type) {
    Dword(FourCC("LIST"));
    const size_t at = Bytes.size();
    Dword(0);
    Dword(type);
    return at;
  }
  void End(size_t at) {
    const DWORD size = DWORD(Bytes.size() - at - 4);
    std::memcpy(&Bytes[at], &size, 4);
  }
  std::vector<BYTE> Bytes;
};

}  // namespace

// ---- TAviMuxInput --------------------------------------------------------------------------------
TAviMuxInput::TAviMuxInput(TAviMux* mux, TBCCritSec* lock, HRESULT& hr, const wchar_t* name)
    : TBCBaseInputPin(L"AVI Mux input", mux, lock, hr, name), Mux(mux) {}

HRESULT TAviMuxInput::VerifyType(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat) return VFW_E_TYPE_NOT_ACCEPTED;
  if (type.majortype == MEDIATYPE_Video && type.formattype == FORMAT_VideoInfo &&
      type.cbFormat >= sizeof(VIDEOINFOHEADER))
    return S_OK;
  if (type.majortype == MEDIATYPE_Audio && type.formattype == FORMAT_WaveFormatEx &&
      type.cbFormat >= sizeof(WAVEFORMATEX))
    return S_OK;
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAviMuxInput::FinishConnection(IPin* peer) {
  HRESULT hr = TBCBaseInputPin::FinishConnection(peer);
  if (SUCCEEDED(hr)) Mux->InputConnected();
  return hr;
}

HRESULT TAviMuxInput::Receive(IMediaSample* sample) {
  HRESULT hr = TBCBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return Mux->WriteSample(this, sample);
}

HRESULT TAviMuxInput::EndOfStream() {
  HRESULT hr = StreamingCheck();
  if (hr != S_OK) return hr;
  Mux->InputEnded();
  return S_OK;
}

// ---- TAviMuxOutput -------------------------------------------------------------------------------
TAviMuxOutput::TAviMuxOutput(TAviMux* mux, TBCCritSec* lock, HRESULT& hr)
    : TBCBaseOutputPin(L"AVI Mux output", mux, lock, hr, L"AVI Out") {}

HRESULT TAviMuxOutput::VerifyType(const AM_MEDIA_TYPE& type) {
  return type.majortype == MEDIATYPE_Stream && (type.subtype == MEDIASUBTYPE_Avi || type.subtype == GUID_NULL)
             ? S_OK
             : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAviMuxOutput::ProposeType(int position, AM_MEDIA_TYPE& type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type.majortype = MEDIATYPE_Stream;
  type.subtype = MEDIASUBTYPE_Avi;
  type.bFixedSizeSamples = FALSE;
  type.bTemporalCompression = FALSE;
  type.lSampleSize = 1;
  return S_OK;
}

// The file is written through the peer's IStream, as the system's multiplexer writes it.
HRESULT TAviMuxOutput::VerifyPeer(IPin* peer) {
  HRESULT hr = TBCBaseOutputPin::VerifyPeer(peer);
  if (FAILED(hr)) return hr;
  return peer->QueryInterface(IID_IStream, Target.PutVoid());
}

HRESULT TAviMuxOutput::DropConnection() {
  Target.Reset();
  return TBCBaseOutputPin::DropConnection();
}

// Nothing goes through samples; the allocator only has to commit.
HRESULT TAviMuxOutput::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  properties->cBuffers = std::max(properties->cBuffers, 1L);
  properties->cbBuffer = std::max(properties->cbBuffer, 16L);
  ALLOCATOR_PROPERTIES actual{};
  return allocator->SetProperties(properties, &actual);
}

// ---- TAviMux -------------------------------------------------------------------------------------
TBCUnknown* TAviMux::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  auto* filter = new (std::nothrow) TAviMux(factory.Name.c_str(), outer, hr);
  if (!filter) hr = E_OUTOFMEMORY;
  return filter;
}

TAviMux::TAviMux(const wchar_t* name, IUnknown* outer, HRESULT& hr)
    : TBCBaseFilter(name, outer, new TBCCritSec, CLSID_AviDest), Output(this, &StateLock(), hr) {
  Inputs.push_back(std::make_unique<TAviMuxInput>(this, &StateLock(), hr, InputName(1).c_str()));
}

TAviMux::~TAviMux() = default;

HRESULT TAviMux::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IConfigInterleaving) return GetInterface(static_cast<IConfigInterleaving*>(this), out);
  return TBCBaseFilter::InnerQueryInterface(iid, out);
}

HRESULT TAviMux::put_Mode(InterleavingMode mode) {
  if (mode < INTERLEAVE_NONE || mode > INTERLEAVE_NONE_BUFFERED) return E_INVALIDARG;
  TBCAutoLock lock(StateLock());
  Mode = mode;
  return S_OK;
}

HRESULT TAviMux::get_Mode(InterleavingMode* mode) {
  if (!mode) return E_POINTER;
  TBCAutoLock lock(StateLock());
  *mode = Mode;
  return S_OK;
}

HRESULT TAviMux::put_Interleaving(const REFERENCE_TIME* leaving, const REFERENCE_TIME* preroll) {
  TBCAutoLock lock(StateLock());
  if (leaving) Leaving = *leaving;
  if (preroll) Preroll = *preroll;
  return S_OK;
}

HRESULT TAviMux::get_Interleaving(REFERENCE_TIME* leaving, REFERENCE_TIME* preroll) {
  if (!leaving || !preroll) return E_POINTER;
  TBCAutoLock lock(StateLock());
  *leaving = Leaving;
  *preroll = Preroll;
  return S_OK;
}

LONG TAviMux::PinVersion() {
  TBCAutoLock lock(StateLock());
  return Version;
}

int TAviMux::PinCount() {
  TBCAutoLock lock(StateLock());
  return int(Inputs.size()) + 1;
}

TBCBasePin* TAviMux::PinAt(int index) {
  TBCAutoLock lock(StateLock());
  if (index == 0) return &Output;
  return index > 0 && size_t(index) <= Inputs.size() ? Inputs[size_t(index) - 1].get() : nullptr;
}

// Pins are never taken away while the filter lives (their references are the filter's).
void TAviMux::InputConnected() {
  TBCAutoLock lock(StateLock());
  const bool allTaken = std::all_of(Inputs.begin(), Inputs.end(), [](const auto& p) { return p->HasPeer(); });
  if (!allTaken || Inputs.size() >= kMaxStreams) return;
  HRESULT hr = S_OK;
  Inputs.push_back(std::make_unique<TAviMuxInput>(this, &StateLock(), hr, InputName(Inputs.size() + 1).c_str()));
  ++Version;
}

HRESULT TAviMux::Pause() {
  TBCAutoLock lock(StateLock());
  if (State == State_Stopped) {
    if (!Output.Stream()) return VFW_E_NOT_CONNECTED;
    TBCAutoLock write(WriteLock);
    Streams.clear();
    Index.clear();
    for (const auto& pin : Inputs) {
      if (!pin->HasPeer()) continue;
      const bool video = pin->ConnectedType().majortype == MEDIATYPE_Video;
      char id[5];
      std::snprintf(id, sizeof(id), "%02u%s", unsigned(Streams.size()), video ? "dc" : "wb");
      Streams.push_back({pin.get(), video, FourCC(id)});
    }
    if (Streams.empty()) return VFW_E_NOT_CONNECTED;
    Position = kMoviFourCCAt + 4;
    WriteError = S_OK;
    Ended = 0;
    Writing = true;
  }
  return TBCBaseFilter::Pause();
}

HRESULT TAviMux::Stop() {
  TBCAutoLock lock(StateLock());
  HRESULT hr = TBCBaseFilter::Stop();
  const HRESULT finished = Finish();
  return FAILED(hr) ? hr : finished;
}

HRESULT TAviMux::WriteAt(ULONGLONG at, const void* data, ULONG size) {
  IStream* stream = Output.Stream();
  if (!stream) return VFW_E_NOT_CONNECTED;
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(at);
  HRESULT hr = stream->Seek(to, STREAM_SEEK_SET, nullptr);
  ULONG written = 0;
  if (SUCCEEDED(hr)) hr = stream->Write(data, size, &written);
  if (SUCCEEDED(hr) && written != size) hr = STG_E_WRITEFAULT;
  return hr;
}

HRESULT TAviMux::WriteSample(TAviMuxInput* input, IMediaSample* sample) {
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = sample->GetActualDataLength();
  if (length < 0) return E_UNEXPECTED;
  TBCAutoLock lock(WriteLock);
  if (!Writing) return VFW_E_WRONG_STATE;
  if (FAILED(WriteError)) return WriteError;
  auto stream = std::find_if(Streams.begin(), Streams.end(), [&](const TStream& s) { return s.Pin == input; });
  if (stream == Streams.end()) return VFW_E_NOT_CONNECTED;  // connected after the start
  // AVI 1.0 offsets are 32 bits
  if (Position + 8 + ULONGLONG(length) + 1 > 0x7FFFFFFFull) return WriteError = STG_E_MEDIUMFULL;

  const DWORD header[2] = {stream->ChunkId, DWORD(length)};
  hr = WriteAt(Position, header, sizeof(header));
  if (SUCCEEDED(hr) && length > 0) hr = WriteAt(Position + sizeof(header), data, ULONG(length));
  const BYTE pad = 0;
  if (SUCCEEDED(hr) && (length & 1)) hr = WriteAt(Position + sizeof(header) + ULONG(length), &pad, 1);
  if (FAILED(hr)) return WriteError = hr;

  const bool key = !stream->Video || sample->IsSyncPoint() == S_OK;
  Index.push_back({stream->ChunkId, key ? DWORD(AVIIF_KEYFRAME) : 0, DWORD(Position - kMoviFourCCAt), DWORD(length)});
  Position += sizeof(header) + ULONGLONG(length) + (length & 1);
  ++stream->Chunks;
  stream->Bytes += ULONGLONG(length);
  stream->Largest = std::max(stream->Largest, DWORD(length));
  return S_OK;
}

void TAviMux::InputEnded() {
  bool all = false;
  {
    TBCAutoLock lock(WriteLock);
    all = ++Ended == int(Streams.size());
  }
  if (all) Output.SendEndOfStream();
}

// The movie list's size, the index after it and the headers before it.
HRESULT TAviMux::Finish() {
  TBCAutoLock lock(WriteLock);
  if (!Writing) return S_OK;
  Writing = false;
  if (FAILED(WriteError)) return WriteError;

  TChunks idx;
  idx.Dword(FourCC("idx1"));
  idx.Dword(DWORD(Index.size() * sizeof(TIndexEntry)));
  idx.Put(Index.data(), Index.size() * sizeof(TIndexEntry));
  HRESULT hr = WriteAt(Position, idx.Bytes.data(), ULONG(idx.Bytes.size()));
  if (FAILED(hr)) return hr;
  const ULONGLONG end = Position + idx.Bytes.size();

  const VIDEOINFOHEADER* picture = nullptr;
  DWORD frames = 0;
  for (const auto& s : Streams)
    if (s.Video && !picture) {
      picture = reinterpret_cast<const VIDEOINFOHEADER*>(s.Pin->ConnectedType().pbFormat);
      frames = s.Chunks;
    }
  const REFERENCE_TIME frameTime = picture && picture->AvgTimePerFrame > 0 ? picture->AvgTimePerFrame : 400000;

  TChunks head;
  head.Dword(FourCC("RIFF"));
  head.Dword(DWORD(end - 8));
  head.Dword(FourCC("AVI "));
  const size_t hdrl = head.List(FourCC("hdrl"));
  AVIMAINHEADER main{};
  main.dwMicroSecPerFrame = DWORD(frameTime / 10);
  main.dwFlags = AVIF_HASINDEX | AVIF_ISINTERLEAVED;
  main.dwTotalFrames = frames;
  main.dwStreams = DWORD(Streams.size());
  for (const auto& s : Streams) main.dwSuggestedBufferSize = std::max(main.dwSuggestedBufferSize, s.Largest + 8);
  if (picture) {
    main.dwWidth = DWORD(picture->bmiHeader.biWidth);
    main.dwHeight = DWORD(std::abs(picture->bmiHeader.biHeight));
  }
  head.Chunk(FourCC("avih"), &main.dwMicroSecPerFrame, sizeof(main) - 8);
  for (const auto& s : Streams) {
    const AM_MEDIA_TYPE& type = s.Pin->ConnectedType();
    const size_t strl = head.List(FourCC("strl"));
    AVISTREAMHEADER h{};
    h.dwSuggestedBufferSize = s.Largest;
    h.dwQuality = DWORD(-1);
    if (s.Video) {
      const auto* v = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
      h.fccType = FourCC("vids");
      h.fccHandler = v->bmiHeader.biCompression;
      h.dwScale = DWORD(v->AvgTimePerFrame > 0 ? v->AvgTimePerFrame : frameTime);
      h.dwRate = 10000000;
      h.dwLength = s.Chunks;
      h.rcFrame.right = short(v->bmiHeader.biWidth);
      h.rcFrame.bottom = short(std::abs(v->bmiHeader.biHeight));
      head.Chunk(FourCC("strh"), &h.fccType, sizeof(h) - 8);
      // the picture header and whatever follows it in the format (codec data)
      head.Chunk(FourCC("strf"), &v->bmiHeader, type.cbFormat - offsetof(VIDEOINFOHEADER, bmiHeader));
    } else {
      const auto* w = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
      const DWORD block = std::max<DWORD>(w->nBlockAlign, 1);
      h.fccType = FourCC("auds");
      h.dwScale = block;
      h.dwRate = w->nAvgBytesPerSec;
      h.dwSampleSize = block;
      h.dwLength = DWORD(s.Bytes / block);
      head.Chunk(FourCC("strh"), &h.fccType, sizeof(h) - 8);
      head.Chunk(FourCC("strf"), w, type.cbFormat);
    }
    head.End(strl);
  }
  head.End(hdrl);
  if (head.Bytes.size() + 8 > kMoviListAt) return E_OUTOFMEMORY;  // no room for the headers
  const std::vector<BYTE> junk(kMoviListAt - head.Bytes.size() - 8);
  head.Chunk(FourCC("JUNK"), junk.data(), junk.size());
  head.Dword(FourCC("LIST"));
  head.Dword(DWORD(Position - kMoviFourCCAt));
  head.Dword(FourCC("movi"));
  return WriteAt(0, head.Bytes.data(), ULONG(head.Bytes.size()));
}

}  // namespace kivo::testdev
