// Graphs around the encoder files for the tests: the Xvid codec installed as KivoApp installs it, the
// encoders found as the recorders find them, recordings made with them, and what they made played
// back through Wine's own parser and decoders.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <optional>
#include <string>
#include <vector>

#include "EncoderMedia.h"
#include "GraphSupport.h"

namespace kivo::test {

// The recorders keep the LAME encoder as this display name.
inline constexpr wchar_t kLameMoniker[] = L"@device:sw:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\LAME Audio Encoder";

// The system folder with a trailing backslash.
std::wstring SystemDir();
std::wstring LowerText(std::wstring s);

// Copies xvidvfw.dll and xvidcore.dll from `folder` into the system folder and writes the codec's
// registry values; "" or what failed. RemoveXvid takes all of it away again.
std::string InstallXvid(const std::wstring& folder);
void RemoveXvid();

// The first video compressor whose lower-cased name holds "xvid", as the video recorder picks it.
std::optional<TListedFilter> FindXvidCompressor();
// The LAME encoder through the recorders' moniker (null when it does not bind).
TComPtr<IBaseFilter> BindLame();

// Runs a graph until it reports completion, then stops it; "" or what went wrong.
std::string RunToCompletion(TGraph& g, DWORD timeoutMs);

struct TDecodedFrame {
  std::vector<BYTE> Bits;
  REFERENCE_TIME Start = -1;
};

struct TDecoded {
  std::string Error;
  std::vector<TDecodedFrame> Frames;  // RGB24, bottom-up
  LONG Width = 0, Height = 0;
  std::vector<float> Sound;  // the first channel
  DWORD Rate = 0;
  WORD Channels = 0;
};

// A Sample Grabber that takes sound of `subtype` into `callback`, and a Null Renderer after it.
HRESULT MakeAudioGrabber(TComPtr<IBaseFilter>& grabber, TComPtr<IBaseFilter>& renderer, ISampleGrabberCB* callback,
                         REFGUID subtype = MEDIASUBTYPE_PCM);
// Plays a file back into grabbers: its video as RGB24 frames, its sound as 16-bit PCM.
TDecoded Decode(const std::wstring& path, bool video, bool audio);
// The worst PSNR of the decoded frames against the test pictures (frame i against picture
// i + offset); 0 when a frame has another size.
double WorstFramePsnr(const TDecoded& decoded, int width, int height, int offset = 0);

std::vector<BYTE> ReadFileBytes(const std::wstring& path);
// The MPEG version bits of the Layer III frame a file starts with (3: MPEG-1, 2: MPEG-2,
// 0: MPEG-2.5), or -1 when it does not start with one.
int Mp3Version(const std::vector<BYTE>& file);

// The audio recorder's graph: sound -> LAME -> File Writer, built by the capture graph builder.
struct TMp3Recording {
  TMp3Recording(TComPtr<IBaseFilter> source, const std::wstring& path);
  TGraph G;
  std::string Error;  // "" when the graph stands
};

// The video recorder's graph: camera -> the compressor named xvid -> AVI mux -> file. Wine's capture
// graph builder has no SetOutputFileName (E_NOTIMPL), and its AVI multiplexer writes only fully
// interleaved files and only through an IStream on the pin after it, which Wine's File Writer lacks:
// the multiplexer is set so and writes to a file sink that has one. (In a prefix with the test
// devices the multiplexer is their stand-in, which writes the same way.)
struct TAviRecording {
  TAviRecording(TComPtr<IBaseFilter> source, const std::wstring& path);
  TGraph G;
  std::string Error;
};

}  // namespace kivo::test
