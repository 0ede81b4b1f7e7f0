#include "EncoderMedia.h"

#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "TestSupport.h"

namespace kivo::test {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr REFERENCE_TIME kFrameTime = 400000;  // 25 frames a second
// {3D1A5B40-8E41-4C0B-9A7D-5E2B6C1F0A11}, {3D1A5B40-8E41-4C0B-9A7D-5E2B6C1F0A12}
constexpr CLSID kToneClsid = {0x3d1a5b40, 0x8e41, 0x4c0b, {0x9a, 0x7d, 0x5e, 0x2b, 0x6c, 0x1f, 0x0a, 0x11}};
constexpr CLSID kPictureClsid = {0x3d1a5b40, 0x8e41, 0x4c0b, {0x9a, 0x7d, 0x5e, 0x2b, 0x6c, 0x1f, 0x0a, 0x12}};

class TTonePin : public TBCSourceStream {
 public:
  TTonePin(HRESULT& hr, TBCSource* filter, const TToneFormat& format, double hz, double seconds, bool live)
      : TBCSourceStream(L"Tone pin", hr, filter, L"Out"), Format(format), Hz(hz),
        TotalFrames(std::int64_t(seconds * format.Rate + 0.5)), Live(live) {}
  ~TTonePin() override { StopWorker(); }

  HRESULT OfferedType(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    MakePcmType(*type, Format);
    return type->pbFormat ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override {
    properties->cBuffers = std::max<long>(properties->cBuffers, 4);
    properties->cbBuffer = kBufferFrames * BlockAlign();
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(properties, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
  }
  // Every start sends the tone from its beginning.
  HRESULT WorkerStarting() override {
    Sent = 0;
    StartMs = NowMs();
    return S_OK;
  }
  HRESULT FillSample(IMediaSample* sample) override {
    if (Sent >= TotalFrames) return S_FALSE;
    if (Live) {
      const double due = StartMs + double(Sent) * 1000 / Format.Rate;
      while (NowMs() < due) ::Sleep(2);
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < kBufferFrames * BlockAlign()) return E_FAIL;
    const long frames = long(std::min<std::int64_t>(kBufferFrames, TotalFrames - Sent));
    for (long i = 0; i < frames; ++i) {
      const double v = 0.5 * std::sin(2 * kPi * Hz * double(Sent + i) / Format.Rate);
      for (WORD c = 0; c < Format.Channels; ++c) {
        if (Format.Bits == 16) {
          const short s = short(std::lround(v * 32767));
          std::memcpy(data + (std::size_t(i) * Format.Channels + c) * 2, &s, 2);
        } else {
          data[std::size_t(i) * Format.Channels + c] = BYTE(std::lround(128 + v * 127));
        }
      }
    }
    sample->SetActualDataLength(frames * BlockAlign());
    REFERENCE_TIME start = Sent * 10000000 / Format.Rate, stop = (Sent + frames) * 10000000 / Format.Rate;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    Sent += frames;
    return S_OK;
  }

 private:
  static constexpr long kBufferFrames = 1024;
  long BlockAlign() const { return Format.Channels * Format.Bits / 8; }
  TToneFormat Format;
  double Hz;
  std::int64_t TotalFrames;
  bool Live;
  std::int64_t Sent = 0;
  double StartMs = 0;
};

class TPicturePin : public TBCSourceStream {
 public:
  TPicturePin(HRESULT& hr, TBCSource* filter, int width, int height, int frames)
      : TBCSourceStream(L"Picture pin", hr, filter, L"Out"), Width(width), Height(height), Frames(frames) {}
  ~TPicturePin() override { StopWorker(); }

  HRESULT OfferedType(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    InitTypeDefaults(*type);
    auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!vih) return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = kFrameTime;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = Width;
    vih->bmiHeader.biHeight = Height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = DWORD(FrameBytes(Width, Height));
    type->majortype = MEDIATYPE_Video;
    type->subtype = MEDIASUBTYPE_RGB24;
    type->formattype = FORMAT_VideoInfo;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = vih->bmiHeader.biSizeImage;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    type->pbFormat = reinterpret_cast<BYTE*>(vih);
    return S_OK;
  }
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override {
    properties->cBuffers = std::max<long>(properties->cBuffers, 2);
    properties->cbBuffer = long(FrameBytes(Width, Height));
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(properties, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
  }
  HRESULT FillSample(IMediaSample* sample) override {
    if (Sent >= Frames) return S_FALSE;
    BYTE* data = nullptr;
    const long bytes = long(FrameBytes(Width, Height));
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < bytes) return E_FAIL;
    DrawTestPicture(data, Width, Height, Sent);
    sample->SetActualDataLength(bytes);
    REFERENCE_TIME start = Sent * kFrameTime, stop = start + kFrameTime;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    ++Sent;
    return S_OK;
  }

 private:
  int Width, Height, Frames;
  int Sent = 0;
};

class TStreamSink;

class TStreamSinkPin : public TBCBaseInputPin, public IStream {
 public:
  TStreamSinkPin(TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr, const std::wstring& path)
      : TBCBaseInputPin(L"Stream sink pin", filter, lock, hr, L"In"), Path(path) {}

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IStream || iid == IID_ISequentialStream) return GetInterface(static_cast<IStream*>(this), out);
    return TBCBaseInputPin::InnerQueryInterface(iid, out);
  }
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override {
    return type.majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    REFERENCE_TIME start = 0, stop = 0;
    BYTE* data = nullptr;
    if (sample->GetTime(&start, &stop) != S_OK || FAILED(sample->GetPointer(&data))) return E_FAIL;
    TBCAutoLock lock(FileLock);
    LARGE_INTEGER at;
    at.QuadPart = start;
    return WriteAt(&at, data, ULONG(sample->GetActualDataLength()), nullptr);
  }
  HRESULT STDMETHODCALLTYPE EndOfStream() override {
    return Filter->RaiseGraphEvent(EC_COMPLETE, S_OK, 0);
  }

  // ISequentialStream / IStream: writing and seeking are all a multiplexer needs.
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override {
    TBCAutoLock lock(FileLock);
    return WriteAt(nullptr, data, count, written);
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    TBCAutoLock lock(FileLock);
    if (!Open()) return STG_E_ACCESSDENIED;
    LARGE_INTEGER now;
    if (!::SetFilePointerEx(File.Get(), move, &now, origin)) return STG_E_INVALIDFUNCTION;
    if (position) position->QuadPart = ULONGLONG(now.QuadPart);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return E_POINTER;
    std::memset(stat, 0, sizeof(*stat));
    stat->type = STGTY_STREAM;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  bool Open() {
    if (!File.Valid())
      File.Reset(::CreateFileW(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    return File.Valid();
  }
  HRESULT WriteAt(const LARGE_INTEGER* at, const void* data, ULONG count, ULONG* written) {
    if (written) *written = 0;
    if (!Open()) return STG_E_ACCESSDENIED;
    if (at && !::SetFilePointerEx(File.Get(), *at, nullptr, FILE_BEGIN)) return STG_E_SEEKERROR;
    DWORD done = 0;
    if (!::WriteFile(File.Get(), data, count, &done, nullptr) || done != count) return STG_E_WRITEFAULT;
    if (written) *written = done;
    return S_OK;
  }
  std::wstring Path;
  TBCCritSec FileLock;
  THandleOwner File;
};

class TStreamSink : public TBCBaseFilter, public IAMFilterMiscFlags {
 public:
  TStreamSink(const std::wstring& path, HRESULT& hr)
      : TBCBaseFilter(L"Stream file sink", nullptr, new TBCCritSec, kSinkClsid), Pin(this, &StateLock(), hr, path) {}
  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IAMFilterMiscFlags) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), out);
    return TBCBaseFilter::InnerQueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
  int PinCount() override { return 1; }
  TBCBasePin* PinAt(int index) override { return index == 0 ? &Pin : nullptr; }

 private:
  static constexpr CLSID kSinkClsid = {0x3d1a5b40, 0x8e41, 0x4c0b, {0x9a, 0x7d, 0x5e, 0x2b, 0x6c, 0x1f, 0x0a, 0x13}};
  TStreamSinkPin Pin;
};

TComPtr<IBaseFilter> AsFilter(TBCSource* source, HRESULT hr) {
  TComPtr<IBaseFilter> filter;
  source->InnerQueryInterface(IID_IBaseFilter, filter.PutVoid());
  if (FAILED(hr)) filter.Reset();  // the last reference frees the source
  return filter;
}

}  // namespace

void MakePcmType(AM_MEDIA_TYPE& type, const TToneFormat& format, bool extensible) {
  InitTypeDefaults(type);
  const std::size_t size = extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
  auto* wf = static_cast<WAVEFORMATEXTENSIBLE*>(::CoTaskMemAlloc(size));
  if (!wf) return;
  std::memset(wf, 0, size);
  wf->Format.wFormatTag = extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
  wf->Format.nChannels = format.Channels;
  wf->Format.nSamplesPerSec = format.Rate;
  wf->Format.wBitsPerSample = format.Bits;
  wf->Format.nBlockAlign = WORD(format.Channels * format.Bits / 8);
  wf->Format.nAvgBytesPerSec = format.Rate * wf->Format.nBlockAlign;
  if (extensible) {
    wf->Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    wf->Samples.wValidBitsPerSample = format.Bits;
    wf->dwChannelMask = format.Channels == 1 ? SPEAKER_FRONT_CENTER : SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    wf->SubFormat = MEDIASUBTYPE_PCM;  // the same GUID
  }
  type.majortype = MEDIATYPE_Audio;
  type.subtype = MEDIASUBTYPE_PCM;
  type.formattype = FORMAT_WaveFormatEx;
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = wf->Format.nBlockAlign;
  type.cbFormat = ULONG(size);
  type.pbFormat = reinterpret_cast<BYTE*>(wf);
}

TComPtr<IBaseFilter> MakeToneSource(const TToneFormat& format, double hz, double seconds, bool live) {
  HRESULT hr = S_OK;
  auto* source = new TBCSource(L"Tone source", nullptr, kToneClsid);
  new TTonePin(hr, source, format, hz, seconds, live);
  return AsFilter(source, hr);
}

void DrawTestPicture(BYTE* bits, int width, int height, int frame) {
  const std::size_t stride = FrameStride(width);
  const double cx = 40 + 4.0 * frame, cy = height / 2.0 + 30 * std::sin(frame / 6.0), r = 28;
  const int barX = (frame * 7) % width;
  for (int y = 0; y < height; ++y) {
    BYTE* row = bits + std::size_t(height - 1 - y) * stride;  // y counts from the top
    for (int x = 0; x < width; ++x) {
      int b = 60 + 120 * x / width, g = 40 + 160 * y / height, red = 200 - 100 * (x + y) / (width + height);
      const double dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy < r * r) {
        b = 30;
        g = 200;
        red = 230;
      }
      // a band of one-pixel lines: every other row darker
      if (y >= height - 40 && y < height - 8 && y % 2 == 1) {
        b -= 48;
        g -= 48;
        red -= 48;
      }
      if (x >= barX && x < barX + 12) b = g = red = 235;
      row[x * 3] = BYTE(b);
      row[x * 3 + 1] = BYTE(g);
      row[x * 3 + 2] = BYTE(red);
    }
  }
}

TComPtr<IBaseFilter> MakePictureSource(int width, int height, int frames) {
  HRESULT hr = S_OK;
  auto* source = new TBCSource(L"Picture source", nullptr, kPictureClsid);
  new TPicturePin(hr, source, width, height, frames);
  return AsFilter(source, hr);
}

TComPtr<IBaseFilter> MakeStreamFileSink(const std::wstring& path) {
  HRESULT hr = S_OK;
  auto* sink = new TStreamSink(path, hr);
  TComPtr<IBaseFilter> filter;
  sink->InnerQueryInterface(IID_IBaseFilter, filter.PutVoid());
  if (FAILED(hr)) filter.Reset();
  return filter;
}

double Psnr(const BYTE* a, const BYTE* b, std::size_t size) {
  double sum = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  if (sum == 0 || size == 0) return 1000;
  return 10 * std::log10(255.0 * 255.0 / (sum / double(size)));
}

double ToneFrequency(const std::vector<float>& samples, DWORD rate) {
  const std::size_t skip = rate / 10;
  if (samples.size() <= 2 * skip + 2) return 0;
  double first = -1, last = -1;
  int crossings = 0;
  for (std::size_t i = skip; i + 1 < samples.size() - skip; ++i) {
    const float a = samples[i], b = samples[i + 1];
    if (a < 0 && b >= 0) {
      const double t = double(i) + double(-a) / double(b - a);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  if (crossings < 2 || last <= first) return 0;
  return (crossings - 1) * double(rate) / (last - first);
}

}  // namespace kivo::test
