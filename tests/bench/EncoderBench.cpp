// On-demand benchmark: the Xvid compressor's time per 320 x 240 frame (through its driver entry, as
// the compression manager calls it) and the MP3 encoder filter's real-time factor (lame.ax in a
// clockless graph), against a plain copy of one frame. Run: scripts/bench.sh
#include <windows.h>
#include <dshow.h>
#include <vfw.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "EncoderMedia.h"
#include "GraphSupport.h"
#include "LameEnc.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

using TDriverProc = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);

double Seconds() { return NowMs() / 1000.0; }

// Microseconds per compressed frame; `everyKey` asks for a key frame each time (what Wine's AVI
// Compressor does with uncompressed capture frames). Negative on failure.
double CompressMicros(TDriverProc proc, int frames, bool everyKey, double& kbitPerFrame) {
  const int w = 320, h = 240;
  ICOPEN open{};
  open.dwSize = sizeof(open);
  open.fccType = ICTYPE_VIDEO;
  open.fccHandler = mmioFOURCC('X', 'V', 'I', 'D');
  open.dwFlags = ICMODE_COMPRESS;
  const DWORD_PTR id = DWORD_PTR(proc(0, nullptr, DRV_OPEN, 0, LPARAM(&open)));
  if (!id) return -1;
  BITMAPINFO in{}, out{};
  in.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, DWORD(FrameBytes(w, h)), 0, 0, 0, 0};
  double result = -1;
  if (proc(id, nullptr, ICM_COMPRESS_GET_FORMAT, LPARAM(&in), LPARAM(&out)) == ICERR_OK &&
      proc(id, nullptr, ICM_COMPRESS_BEGIN, LPARAM(&in), LPARAM(&out)) == ICERR_OK) {
    std::vector<std::vector<BYTE>> pictures(25, std::vector<BYTE>(FrameBytes(w, h)));
    for (int i = 0; i < 25; ++i) DrawTestPicture(pictures[std::size_t(i)].data(), w, h, i);
    std::vector<BYTE> compressed(out.bmiHeader.biSizeImage);
    double bytes = 0;
    const double t0 = Seconds();
    int done = 0;
    for (; done < frames; ++done) {
      ICCOMPRESS ic{};
      DWORD flags = 0;
      ic.dwFlags = everyKey ? ICCOMPRESS_KEYFRAME : 0;
      ic.lpbiOutput = &out.bmiHeader;
      ic.lpOutput = compressed.data();
      ic.lpbiInput = &in.bmiHeader;
      ic.lpInput = pictures[std::size_t(done % 25)].data();
      ic.lpdwFlags = &flags;
      ic.lFrameNum = done;
      if (proc(id, nullptr, ICM_COMPRESS, LPARAM(&ic), sizeof(ic)) != ICERR_OK) break;
      bytes += out.bmiHeader.biSizeImage;
    }
    if (done == frames) {
      result = (Seconds() - t0) * 1e6 / frames;
      kbitPerFrame = bytes * 8 / 1000 / frames;
    }
    proc(id, nullptr, ICM_COMPRESS_END, 0, 0);
  }
  proc(id, nullptr, DRV_CLOSE, 0, 0);
  return result;
}

// Seconds of sound encoded per second of time; negative on failure.
double Mp3RealTimeFactor(TPluginModule& lame, double seconds) {
  TComPtr<IClassFactory> factory;
  TComPtr<IBaseFilter> encoder, null;
  if (!lame.GetClassObject || FAILED(lame.GetClassObject(CLSID_LameAudioEncoder, IID_IClassFactory, factory.PutVoid())) ||
      FAILED(factory->CreateInstance(nullptr, IID_IBaseFilter, encoder.PutVoid())) ||
      FAILED(::CoCreateInstance(kCLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, null.PutVoid())))
    return -1;
  TComPtr<IBaseFilter> tone = MakeToneSource({44100, 2, 16}, 1000, seconds);
  TGraph g;
  if (FAILED(g.Add(tone.Get(), L"tone")) || FAILED(g.Add(encoder.Get(), L"lame")) ||
      FAILED(g.Add(null.Get(), L"null")) || FAILED(g.Link(tone.Get(), encoder.Get())) ||
      FAILED(g.Link(encoder.Get(), null.Get())))
    return -1;
  const double t0 = Seconds();
  if (FAILED(g.Control->Run())) return -1;
  long code = 0;
  if (FAILED(g.Events->WaitForCompletion(60000, &code)) || code != EC_COMPLETE) return -1;
  const double elapsed = Seconds() - t0;
  g.Control->Stop();
  return seconds / elapsed;
}

}  // namespace

int main() {
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const std::wstring dir = ModuleDir();
  HMODULE xvid = ::LoadLibraryExW((dir + L"xvidvfw.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  auto proc = xvid ? reinterpret_cast<TDriverProc>(::GetProcAddress(xvid, "DriverProc")) : nullptr;
  TPluginModule lame;
  if (!proc || !lame.Load(dir + L"lame.ax")) {
    std::printf("the encoder files are missing beside the benchmark\n");
    return 1;
  }
  proc(0, nullptr, DRV_LOAD, 0, 0);

  const int frames = 250;
  std::vector<BYTE> frame(FrameBytes(320, 240)), copy(frame.size());
  DrawTestPicture(frame.data(), 320, 240, 0);
  const double c0 = Seconds();
  for (int i = 0; i < frames * 10; ++i) {
    frame[std::size_t(i) % frame.size()] ^= 1;
    std::memcpy(copy.data(), frame.data(), frame.size());
  }
  const double copyMicros = (Seconds() - c0) * 1e6 / (frames * 10);
  volatile BYTE sink = copy[copy.size() / 2];
  (void)sink;

  double keyKbit = 0, predictedKbit = 0;
  const double keyMicros = CompressMicros(proc, frames, true, keyKbit);
  const double predictedMicros = CompressMicros(proc, frames, false, predictedKbit);
  const double rtf = Mp3RealTimeFactor(lame, 20.0);
  proc(0, nullptr, DRV_FREE, 0, 0);

  std::printf("%-44s %12s %12s\n", "320 x 240 RGB24", "us/frame", "kbit/frame");
  std::printf("%-44s %12.1f %12s\n", "plain frame copy", copyMicros, "-");
  std::printf("%-44s %12.1f %12.1f\n", "Xvid compressor, every frame a key frame", keyMicros, keyKbit);
  std::printf("%-44s %12.1f %12.1f\n", "Xvid compressor, key frame every 100", predictedMicros, predictedKbit);
  std::printf("%-44s %12.1f\n", "MP3 encoder real-time factor (44.1 kHz stereo)", rtf);
  ::CoUninitialize();
  return keyMicros < 0 || predictedMicros < 0 || rtf < 0 ? 1 : 0;
}
