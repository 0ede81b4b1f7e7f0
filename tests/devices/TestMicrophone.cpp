#include "TestMicrophone.h"

#include <mmreg.h>

#include <cstring>
#include <new>

#include "TestDevices.h"

namespace kivo::testdev {

namespace {

constexpr int kBuffersASecond = 25;
constexpr int kLineCount = 3;

const WAVEFORMATEX* WaveFormat(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Audio || type.formattype != FORMAT_WaveFormatEx ||
      type.cbFormat < sizeof(WAVEFORMATEX) || !type.pbFormat)
    return nullptr;
  return reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
}

}  // namespace

const std::vector<TTestMicrophone::TFormat>& TTestMicrophone::Formats() {
  static const std::vector<TFormat> formats = {{44100, 2}, {22050, 1}, {48000, 1}, {48000, 2}, {8000, 1}};
  return formats;
}

TMicrophonePin::TMicrophonePin(HRESULT& hr, TTestMicrophone* filter)
    : TLiveStream(L"Test microphone output", hr, filter, L"Capture"), Mic(filter) {}

int TMicrophonePin::FormatCount() { return int(TTestMicrophone::Formats().size()); }

HRESULT TMicrophonePin::MakeFormat(int index, AM_MEDIA_TYPE& type) {
  if (index < 0 || index >= FormatCount()) return E_INVALIDARG;
  const auto& f = TTestMicrophone::Formats()[size_t(index)];
  auto* wf = static_cast<WAVEFORMATEX*>(::CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
  if (!wf) return E_OUTOFMEMORY;
  wf->wFormatTag = WAVE_FORMAT_PCM;
  wf->nChannels = f.Channels;
  wf->nSamplesPerSec = f.Rate;
  wf->wBitsPerSample = 16;
  wf->nBlockAlign = WORD(f.Channels * 2);
  wf->nAvgBytesPerSec = f.Rate * wf->nBlockAlign;
  wf->cbSize = 0;
  std::memset(&type, 0, sizeof(type));
  type.majortype = MEDIATYPE_Audio;
  type.subtype = MEDIASUBTYPE_PCM;
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = wf->nBlockAlign;
  type.formattype = FORMAT_WaveFormatEx;
  type.cbFormat = sizeof(WAVEFORMATEX);
  type.pbFormat = reinterpret_cast<BYTE*>(wf);
  return S_OK;
}

int TMicrophonePin::MatchFormat(const AM_MEDIA_TYPE& type) {
  const WAVEFORMATEX* wf = WaveFormat(type);
  if (!wf || type.subtype != MEDIASUBTYPE_PCM || wf->wFormatTag != WAVE_FORMAT_PCM || wf->wBitsPerSample != 16)
    return -1;
  const auto& formats = TTestMicrophone::Formats();
  for (size_t i = 0; i < formats.size(); ++i)
    if (wf->nSamplesPerSec == formats[i].Rate && wf->nChannels == formats[i].Channels &&
        wf->nBlockAlign == formats[i].Channels * 2)
      return int(i);
  return -1;
}

int TMicrophonePin::CapsSize() { return sizeof(AUDIO_STREAM_CONFIG_CAPS); }

void TMicrophonePin::MakeCaps(int index, BYTE* caps) {
  const auto& f = TTestMicrophone::Formats()[size_t(index)];
  AUDIO_STREAM_CONFIG_CAPS c;
  std::memset(&c, 0, sizeof(c));
  c.guid = MEDIATYPE_Audio;
  c.MinimumChannels = c.MaximumChannels = f.Channels;
  c.ChannelsGranularity = 1;
  c.MinimumBitsPerSample = c.MaximumBitsPerSample = 16;
  c.BitsPerSampleGranularity = 1;
  c.MinimumSampleFrequency = c.MaximumSampleFrequency = f.Rate;
  c.SampleFrequencyGranularity = 1;
  std::memcpy(caps, &c, sizeof(c));
}

long TMicrophonePin::BufferBytes(const AM_MEDIA_TYPE& type) {
  const WAVEFORMATEX* wf = WaveFormat(type);
  return wf ? long(wf->nSamplesPerSec / kBuffersASecond * wf->nBlockAlign) : 0;
}

HRESULT TMicrophonePin::FillSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  const WAVEFORMATEX* wf = WaveFormat(CurrentType);
  if (!wf || !wf->nSamplesPerSec) return E_UNEXPECTED;
  const DWORD rate = wf->nSamplesPerSec;
  const unsigned long long frames = rate / kBuffersASecond;
  // A buffer goes out once its sound has been recorded.
  if (!WaitForDevice(REFERENCE_TIME((Position + frames) * 10000000ull / rate))) return S_FALSE;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long bytes = BufferBytes(CurrentType);
  if (!data || sample->GetSize() < bytes) return E_FAIL;
  DWORD hz = 0;
  double level = 0;
  {
    TLock lock(Mic->MixerLock);
    if (Mic->Enabled >= 0) {
      hz = Mic->ToneHz * DWORD(Mic->Enabled + 1);
      level = Mic->Lines[size_t(Mic->Enabled)].Level;
    }
  }
  auto* out = reinterpret_cast<short*>(data);
  for (unsigned long long i = 0; i < frames; ++i) {
    const short v = hz ? ToneSample(hz, rate, Position + i, level) : 0;
    for (WORD c = 0; c < wf->nChannels; ++c) *out++ = v;
  }
  sample->SetActualDataLength(bytes);
  REFERENCE_TIME start = REFERENCE_TIME(Position * 10000000ull / rate);
  REFERENCE_TIME stop = REFERENCE_TIME((Position + frames) * 10000000ull / rate);
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  Position += frames;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------

TMixerLine::TMixerLine(HRESULT& hr, TTestMicrophone* filter, int index, const wchar_t* name)
    : TBCBasePin(L"Test microphone line", filter, &filter->StateLock(), hr, name, PINDIR_INPUT),
      Mic(filter),
      Index(index) {}

HRESULT STDMETHODCALLTYPE TMixerLine::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IAMAudioInputMixer) return GetInterface(static_cast<IAMAudioInputMixer*>(this), out);
  return TBCBasePin::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TMixerLine::put_Enable(BOOL enable) {
  TLock lock(Mic->MixerLock);
  // One line records at a time, as on a sound card's recording selector.
  if (enable)
    Mic->Enabled = Index;
  else if (Mic->Enabled == Index)
    Mic->Enabled = -1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::get_Enable(BOOL* enable) {
  if (!enable) return E_POINTER;
  TLock lock(Mic->MixerLock);
  *enable = Mic->Enabled == Index;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::put_Mono(BOOL mono) {
  TLock lock(Mic->MixerLock);
  Mic->Lines[size_t(Index)].Mono = mono != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::get_Mono(BOOL* mono) {
  if (!mono) return E_POINTER;
  TLock lock(Mic->MixerLock);
  *mono = Mic->Lines[size_t(Index)].Mono;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::put_MixLevel(double level) {
  if (level == AMF_AUTOMATICGAIN) return E_NOTIMPL;
  if (!(level >= 0.0 && level <= 1.0)) return E_INVALIDARG;
  TLock lock(Mic->MixerLock);
  Mic->Lines[size_t(Index)].Level = level;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::get_MixLevel(double* level) {
  if (!level) return E_POINTER;
  TLock lock(Mic->MixerLock);
  *level = Mic->Lines[size_t(Index)].Level;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::put_Pan(double pan) {
  if (!(pan >= -1.0 && pan <= 1.0)) return E_INVALIDARG;
  TLock lock(Mic->MixerLock);
  Mic->Lines[size_t(Index)].Pan = pan;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMixerLine::get_Pan(double* pan) {
  if (!pan) return E_POINTER;
  TLock lock(Mic->MixerLock);
  *pan = Mic->Lines[size_t(Index)].Pan;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------

TBCUnknown* TTestMicrophone::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  auto* mic = new (std::nothrow) TTestMicrophone(factory.Name.c_str(), hr, outer);
  if (!mic) hr = E_OUTOFMEMORY;
  return mic;
}

TTestMicrophone::TTestMicrophone(const wchar_t* name, HRESULT& hr, IUnknown* outer)
    : TLiveSource(name, outer, CLSID_TestMicrophone), Lines(kLineCount) {
  new TMicrophonePin(hr, this);  // owned by the source's pin list
  for (int i = 0; i < kLineCount; ++i) {
    const std::wstring lineName = L"Line " + std::to_wstring(i + 1);
    LinePins.push_back(std::make_unique<TMixerLine>(hr, this, i, lineName.c_str()));
  }
}

int TTestMicrophone::PinCount() { return TLiveSource::PinCount() + int(LinePins.size()); }

TBCBasePin* TTestMicrophone::PinAt(int index) {
  const int outputs = TLiveSource::PinCount();
  if (index < outputs) return TLiveSource::PinAt(index);
  if (index - outputs < int(LinePins.size())) return LinePins[size_t(index - outputs)].get();
  return nullptr;
}

HRESULT TTestMicrophone::LoadDevice(IPropertyBag* bag) {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I4;
  HRESULT hr = S_OK;
  if (SUCCEEDED(bag->Read(L"ToneHz", &v, nullptr)) && V_VT(&v) == VT_I4) {
    if (V_I4(&v) < 20 || V_I4(&v) > 4000)
      hr = E_INVALIDARG;
    else
      ToneHz = DWORD(V_I4(&v));
  }
  ::VariantClear(&v);
  return hr;
}

}  // namespace kivo::testdev
