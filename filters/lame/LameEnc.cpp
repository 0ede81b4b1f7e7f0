#include "LameEnc.h"

#include <mmreg.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

#include <lame/lame.h>

namespace kivo {

namespace {

const REGPINTYPES kPcmIn = {&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM};
const REGPINTYPES kMp3Out[] = {{&MEDIATYPE_Audio, &kSubtypeMp3}, {&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG1Audio}};
REGFILTERPINS kLamePins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kPcmIn},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 2, kMp3Out},
};

// Registered in the audio compressor category under its own name, so that the moniker
// "@device:sw:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\LAME Audio Encoder" finds it.
TBCClassFactory* const g_lameFactory =
    new TBCClassFactory(&TLameFilter::CreateByFactory, kLamePins, 2, MERIT_DO_NOT_USE, CLSID_AudioCompressorCategory,
                        CLSID_LameAudioEncoder, kLameFilterName, nullptr, kLameFilterName);

constexpr DWORD kLayer3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr DWORD kMinInRate = 8000;
constexpr DWORD kMaxInRate = 192000;

DWORD OutRateFor(DWORD inRate) {
  if (std::find(std::begin(kLayer3Rates), std::end(kLayer3Rates), inRate) != std::end(kLayer3Rates)) return inRate;
  if (inRate > 48000) return inRate % 11025 == 0 ? 44100 : 48000;
  DWORD best = kLayer3Rates[0];
  for (DWORD r : kLayer3Rates)
    if (r <= inRate) best = r;
  return best;
}

// libmp3lame's messages go nowhere: the filter runs inside other programs.
void Quiet(const char*, va_list) {}

}  // namespace

bool PlanForInput(const AM_MEDIA_TYPE& type, TMp3Plan& plan) {
  if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM || type.formattype != FORMAT_WaveFormatEx ||
      !type.pbFormat || type.cbFormat < sizeof(PCMWAVEFORMAT))
    return false;
  PCMWAVEFORMAT pcm;
  std::memcpy(&pcm, type.pbFormat, sizeof(pcm));
  if (pcm.wf.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    if (type.cbFormat < sizeof(WAVEFORMATEXTENSIBLE)) return false;
    WAVEFORMATEXTENSIBLE ext;
    std::memcpy(&ext, type.pbFormat, sizeof(ext));
    if (ext.SubFormat != MEDIASUBTYPE_PCM || ext.Samples.wValidBitsPerSample != ext.Format.wBitsPerSample) return false;
  } else if (pcm.wf.wFormatTag != WAVE_FORMAT_PCM) {
    return false;
  }
  const WORD channels = pcm.wf.nChannels, bits = pcm.wBitsPerSample;
  if (channels < 1 || channels > 2 || (bits != 8 && bits != 16)) return false;
  if (pcm.wf.nBlockAlign != channels * bits / 8) return false;
  if (pcm.wf.nSamplesPerSec < kMinInRate || pcm.wf.nSamplesPerSec > kMaxInRate) return false;
  plan.InRate = pcm.wf.nSamplesPerSec;
  plan.Channels = channels;
  plan.InBits = bits;
  plan.InBlockAlign = pcm.wf.nBlockAlign;
  plan.OutRate = OutRateFor(plan.InRate);
  // MPEG-1 from 32 kHz up, MPEG-2 from 16 kHz, MPEG-2.5 below.
  const DWORD stereoKbps = plan.OutRate >= 32000 ? 128 : plan.OutRate >= 16000 ? 64 : 32;
  plan.Kbps = channels == 2 ? stereoKbps : stereoKbps / 2;
  plan.FrameSamples = plan.OutRate >= 32000 ? 1152 : 576;
  return true;
}

HRESULT MakeMp3Type(const TMp3Plan& plan, int position, AM_MEDIA_TYPE& type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 1) return VFW_S_NO_MORE_ITEMS;
  FreeMediaType(type);
  InitTypeDefaults(type);
  type.bFixedSizeSamples = TRUE;
  type.bTemporalCompression = FALSE;
  type.lSampleSize = 1;
  if (position == 0) {
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_MPEG1Audio;
    type.formattype = FORMAT_None;
    return S_OK;
  }
  auto* wf = static_cast<MPEGLAYER3WAVEFORMAT*>(::CoTaskMemAlloc(sizeof(MPEGLAYER3WAVEFORMAT)));
  if (!wf) return E_OUTOFMEMORY;
  std::memset(wf, 0, sizeof(*wf));
  wf->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  wf->wfx.nChannels = plan.Channels;
  wf->wfx.nSamplesPerSec = plan.OutRate;
  wf->wfx.nAvgBytesPerSec = plan.AvgBytesPerSec();
  wf->wfx.nBlockAlign = 1;
  wf->wfx.wBitsPerSample = 0;
  wf->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  wf->wID = MPEGLAYER3_ID_MPEG;
  wf->fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
  // Bytes of one frame without padding.
  wf->nBlockSize = WORD(plan.FrameSamples / 8 * plan.Kbps * 1000 / plan.OutRate);
  wf->nFramesPerBlock = 1;
  wf->nCodecDelay = 0;
  type.majortype = MEDIATYPE_Audio;
  type.subtype = kSubtypeMp3;
  type.formattype = FORMAT_WaveFormatEx;
  type.cbFormat = sizeof(MPEGLAYER3WAVEFORMAT);
  type.pbFormat = reinterpret_cast<BYTE*>(wf);
  return S_OK;
}

TBCUnknown* TLameFilter::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  TLameFilter* filter = new (std::nothrow) TLameFilter(factory.Name.c_str(), outer);
  if (!filter) hr = E_OUTOFMEMORY;
  return filter;
}

TLameFilter::TLameFilter(const wchar_t* name, IUnknown* outer)
    : TBCTransformFilter(name, CLSID_LameAudioEncoder, outer) {}

TLameFilter::~TLameFilter() { CloseEncoder(); }

void TLameFilter::CloseEncoder() {
  if (Encoder) lame_close(Encoder);
  Encoder = nullptr;
}

HRESULT TLameFilter::AcceptInput(const AM_MEDIA_TYPE& type) {
  TMp3Plan plan;
  return PlanForInput(type, plan) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TLameFilter::AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) {
  TMp3Plan plan;
  if (!PlanForInput(input, plan)) return VFW_E_TYPE_NOT_ACCEPTED;
  if (output.majortype == MEDIATYPE_Stream)
    return output.subtype == MEDIASUBTYPE_MPEG1Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  if (output.majortype != MEDIATYPE_Audio || output.subtype != kSubtypeMp3 || output.formattype != FORMAT_WaveFormatEx ||
      !output.pbFormat || output.cbFormat < sizeof(WAVEFORMATEX))
    return VFW_E_TYPE_NOT_ACCEPTED;
  WAVEFORMATEX wf;
  std::memcpy(&wf, output.pbFormat, sizeof(wf));
  if (wf.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || wf.nChannels != plan.Channels || wf.nSamplesPerSec != plan.OutRate ||
      wf.nAvgBytesPerSec != plan.AvgBytesPerSec())
    return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT TLameFilter::ProposeOutputType(int position, AM_MEDIA_TYPE& type) {
  TBCTransformInputPin* input = InputPin();
  if (!input || !input->HasPeer()) return E_UNEXPECTED;
  TMp3Plan plan;
  if (!PlanForInput(input->ConnectedType(), plan)) return E_UNEXPECTED;
  return MakeMp3Type(plan, position, type);
}

HRESULT TLameFilter::SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  properties->cBuffers = std::max<long>(properties->cBuffers, 4);
  properties->cbBuffer = std::max<long>(properties->cbBuffer, kOutBufferBytes);
  if (properties->cbAlign <= 0) properties->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  // Smaller buffers still work (the output is split), but none at all does not.
  if (actual.cBuffers < 1 || actual.cbBuffer < 1) return E_FAIL;
  return S_OK;
}

HRESULT TLameFilter::StreamingStarts() {
  TBCTransformInputPin* input = InputPin();
  TBCTransformOutputPin* output = OutputPin();
  if (!input || !output) return E_UNEXPECTED;
  TMp3Plan plan;
  if (!PlanForInput(input->ConnectedType(), plan)) return E_UNEXPECTED;
  CloseEncoder();
  lame_global_flags* gf = lame_init();
  if (!gf) return E_OUTOFMEMORY;
  lame_set_errorf(gf, Quiet);
  lame_set_debugf(gf, Quiet);
  lame_set_msgf(gf, Quiet);
  lame_set_in_samplerate(gf, int(plan.InRate));
  lame_set_num_channels(gf, plan.Channels);
  lame_set_out_samplerate(gf, int(plan.OutRate));
  lame_set_mode(gf, plan.Channels == 1 ? MONO : JOINT_STEREO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, int(plan.Kbps));
  // A plain stream of frames: no info frame in front that would need rewriting at the end.
  lame_set_bWriteVbrTag(gf, 0);
  lame_set_quality(gf, 5);
  if (lame_init_params(gf) < 0 || lame_get_out_samplerate(gf) != int(plan.OutRate)) {
    lame_close(gf);
    return E_FAIL;
  }
  try {
    Mp3Buffer.resize(kOutBufferBytes);
    Pcm16.resize(std::size_t(kChunkFrames) * plan.Channels);
  } catch (const std::bad_alloc&) {
    lame_close(gf);
    return E_OUTOFMEMORY;
  }
  Encoder = gf;
  Plan = plan;
  ByteStream = output->ConnectedType().majortype == MEDIATYPE_Stream;
  FirstOutput = true;
  HaveBaseTime = false;
  BaseTime = 0;
  OutBytes = 0;
  return S_OK;
}

HRESULT TLameFilter::StreamingStops() {
  // What the encoder still holds is lost: downstream has stopped already.
  CloseEncoder();
  return S_OK;
}

HRESULT TLameFilter::ReceiveSample(IMediaSample* sample) {
  TBCAutoLock lock(ReceiveLock());
  TBCTransformInputPin* input = InputPin();
  TBCTransformOutputPin* output = OutputPin();
  if (!input || !output) return E_UNEXPECTED;
  const AM_SAMPLE2_PROPERTIES& props = input->SampleProps();
  if (props.dwStreamId != AM_STREAM_MEDIA) return output->SendSample(sample);
  if (!Encoder) return VFW_E_SAMPLE_REJECTED_EOS;
  // A new input format mid-stream would need another output type: refused.
  if ((props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props.pMediaType) {
    TMp3Plan plan;
    if (!PlanForInput(*props.pMediaType, plan) || plan.InRate != Plan.InRate || plan.Channels != Plan.Channels ||
        plan.InBits != Plan.InBits)
      return VFW_E_INVALIDMEDIATYPE;
  }
  if (!HaveBaseTime) {
    HaveBaseTime = true;
    if (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) BaseTime = props.tStart;
  }
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = std::min(sample->GetActualDataLength(), sample->GetSize());
  if (length <= 0 || !data) return S_OK;
  const long frames = length / Plan.InBlockAlign;
  for (long done = 0; done < frames;) {
    const int n = int(std::min<long>(frames - done, kChunkFrames));
    hr = EncodeChunk(data + std::size_t(done) * Plan.InBlockAlign, n);
    if (hr != S_OK) return hr;
    done += n;
  }
  return S_OK;
}

HRESULT TLameFilter::EncodeChunk(const BYTE* pcm, int frames) {
  const std::size_t values = std::size_t(frames) * Plan.Channels;
  // Copied rather than read in place: the sample's bytes need not be aligned for 16-bit reads.
  if (Plan.InBits == 16) {
    std::memcpy(Pcm16.data(), pcm, values * sizeof(short));
  } else {
    for (std::size_t i = 0; i < values; ++i) Pcm16[i] = short((int(pcm[i]) - 128) << 8);
  }
  const int size = int(Mp3Buffer.size());
  const int n = Plan.Channels == 2
                    ? lame_encode_buffer_interleaved(Encoder, Pcm16.data(), frames, Mp3Buffer.data(), size)
                    : lame_encode_buffer(Encoder, Pcm16.data(), Pcm16.data(), frames, Mp3Buffer.data(), size);
  if (n < 0) return E_FAIL;
  return Deliver(Mp3Buffer.data(), std::size_t(n));
}

HRESULT TLameFilter::Deliver(const unsigned char* bytes, std::size_t count) {
  TBCTransformOutputPin* output = OutputPin();
  if (!output) return E_UNEXPECTED;
  while (count > 0) {
    TComPtr<IMediaSample> out;
    HRESULT hr = output->AcquireSample(out.Put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (!out) return E_UNEXPECTED;
    BYTE* dst = nullptr;
    hr = out->GetPointer(&dst);
    if (FAILED(hr)) return hr;
    const long size = out->GetSize();
    if (size <= 0 || !dst) return E_UNEXPECTED;
    const std::size_t n = std::min<std::size_t>(count, std::size_t(size));
    std::memcpy(dst, bytes, n);
    out->SetActualDataLength(long(n));
    REFERENCE_TIME start, stop;
    if (ByteStream) {
      // A file sink writes each sample at its start time taken as a byte offset.
      start = REFERENCE_TIME(OutBytes);
      stop = REFERENCE_TIME(OutBytes + n);
    } else {
      start = BaseTime + REFERENCE_TIME(OutBytes * 80000 / Plan.Kbps);
      stop = BaseTime + REFERENCE_TIME((OutBytes + n) * 80000 / Plan.Kbps);
    }
    out->SetTime(&start, &stop);
    out->SetSyncPoint(TRUE);
    out->SetPreroll(FALSE);
    out->SetDiscontinuity(FirstOutput ? TRUE : FALSE);
    FirstOutput = false;
    hr = output->SendSample(out.Get());
    OutBytes += n;
    bytes += n;
    count -= n;
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

HRESULT TLameFilter::PassEndOfStream() {
  HRESULT delivered = S_OK;
  {
    TBCAutoLock lock(ReceiveLock());
    if (Encoder) {
      // The last frames the encoder holds, then no more input until streaming starts again.
      const int n = lame_encode_flush(Encoder, Mp3Buffer.data(), int(Mp3Buffer.size()));
      if (n < 0)
        delivered = E_FAIL;
      else if (n > 0)
        delivered = Deliver(Mp3Buffer.data(), std::size_t(n));
      CloseEncoder();
    }
  }
  // Downstream hears of the end even when the last frames could not be sent.
  const HRESULT hr = TBCTransformFilter::PassEndOfStream();
  return FAILED(delivered) ? delivered : hr;
}

}  // namespace kivo
