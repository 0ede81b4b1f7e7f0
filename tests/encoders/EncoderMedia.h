// Media for the encoder tests and benchmark: a tone source and a moving-picture source on the
// framework's source base, the pictures and tones they send, and measures of what comes back.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BaseSource.h"

namespace kivo::test {

struct TToneFormat {
  DWORD Rate = 44100;
  WORD Channels = 2;
  WORD Bits = 16;
};

// The PCM type of a tone format (WAVEFORMATEX, or WAVEFORMATEXTENSIBLE when `extensible`).
void MakePcmType(AM_MEDIA_TYPE& type, const TToneFormat& format, bool extensible = false);

// Sends `seconds` of a sine of `hz` at half of full scale, in buffers of 1024 frames with their
// times, then ends the stream; each start sends it from the beginning. Every channel carries the
// same tone. A `live` source sends no faster than real time, as a microphone does.
TComPtr<IBaseFilter> MakeToneSource(const TToneFormat& format, double hz, double seconds, bool live = false);

// 24-bit bottom-up pictures, smooth with a moving disc and a moving bar, different in every frame,
// and a still band of one-pixel lines near the bottom (every other row darker).
void DrawTestPicture(BYTE* bits, int width, int height, int frame);
// Sends `frames` such pictures of width x height, RGB24, 25 a second with their times.
TComPtr<IBaseFilter> MakePictureSource(int width, int height, int frames);

// A file sink whose input pin is also the IStream a multiplexer writes through (Wine's File Writer
// has none, so Wine's AVI multiplexer cannot write to it). Samples that arrive through the pin are
// written at their start time taken as a byte offset. The file stays open until the sink goes, since
// a multiplexer finishes its file when it stops. A renderer: it reports the end of its stream.
TComPtr<IBaseFilter> MakeStreamFileSink(const std::wstring& path);

// Peak signal-to-noise ratio of two equally sized 8-bit buffers in dB (1000 when identical).
double Psnr(const BYTE* a, const BYTE* b, std::size_t size);

// The frequency of the tone in mono samples (counted between rising zero crossings, with the first
// and last tenth of a second left out); 0 when there is no tone.
double ToneFrequency(const std::vector<float>& samples, DWORD rate);

}  // namespace kivo::test
