// LameEnc: the LAME audio encoder filter (lame.ax). Takes PCM sound (8 or 16 bits, mono or stereo,
// 8 to 192 kHz) and gives out MPEG-1/2 Layer III at a constant bit rate, encoded by libmp3lame.
//
// The output pin offers two types:
// - a byte stream (MEDIATYPE_Stream, MPEG-1 audio) for a file sink: each sample's times are its
//   byte offsets in the file, so that the sink writes the frames one after another;
// - MP3 audio (WAVE_FORMAT_MPEGLAYER3) for a multiplexer: times in 100 ns units.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <vector>

#include "BaseTransform.h"

struct lame_global_struct;

namespace kivo {

// {B8D27088-FF5F-4B7C-98DC-0E91A1696286}
inline constexpr CLSID CLSID_LameAudioEncoder = {
    0xb8d27088, 0xff5f, 0x4b7c, {0x98, 0xdc, 0x0e, 0x91, 0xa1, 0x69, 0x62, 0x86}};
inline constexpr wchar_t kLameFilterName[] = L"LAME Audio Encoder";
// MEDIASUBTYPE for WAVE_FORMAT_MPEGLAYER3.
inline constexpr GUID kSubtypeMp3 = {0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What the encoder makes of one input format.
struct TMp3Plan {
  DWORD InRate = 0;
  WORD Channels = 0;
  WORD InBits = 0;      // 8 or 16
  WORD InBlockAlign = 0;
  DWORD OutRate = 0;    // one of the Layer III rates
  DWORD Kbps = 0;       // constant bit rate
  DWORD FrameSamples = 0;  // 1152 (MPEG-1) or 576 (MPEG-2 and 2.5)
  DWORD AvgBytesPerSec() const { return Kbps * 125; }
};

// The plan for a PCM input type; false when the encoder cannot take it.
bool PlanForInput(const AM_MEDIA_TYPE& type, TMp3Plan& plan);
// The output type at `position` (0: byte stream, 1: MP3 audio) for a plan.
HRESULT MakeMp3Type(const TMp3Plan& plan, int position, AM_MEDIA_TYPE& type);

class TLameFilter : public TBCTransformFilter {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TLameFilter(const wchar_t* name, IUnknown* outer);
  ~TLameFilter() override;

  HRESULT AcceptInput(const AM_MEDIA_TYPE& type) override;
  HRESULT AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override;
  HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT ProposeOutputType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT StreamingStarts() override;
  HRESULT StreamingStops() override;
  HRESULT ReceiveSample(IMediaSample* sample) override;
  HRESULT PassEndOfStream() override;

  // Input frames encoded in one call; the output of one call fits one buffer.
  static constexpr int kChunkFrames = 4608;
  static constexpr long kOutBufferBytes = kChunkFrames * 5 / 4 + 7200;

 private:
  void CloseEncoder();
  HRESULT EncodeChunk(const BYTE* pcm, int frames);
  // Sends `count` encoded bytes downstream, in as many samples as it takes.
  HRESULT Deliver(const unsigned char* bytes, std::size_t count);

  // Used on the streaming thread under the receive lock.
  lame_global_struct* Encoder = nullptr;
  TMp3Plan Plan;
  bool ByteStream = false;      // the output is connected as a byte stream
  bool FirstOutput = true;      // the next output sample starts a stream
  bool HaveBaseTime = false;
  REFERENCE_TIME BaseTime = 0;  // the first input sample's start
  std::uint64_t OutBytes = 0;   // encoded bytes sent since streaming started
  std::vector<unsigned char> Mp3Buffer;
  std::vector<short> Pcm16;     // 8-bit input widened
};

}  // namespace kivo
