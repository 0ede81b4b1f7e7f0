// Test helper: a capture program as real clients build it (device enumerator, Capture Graph
// Builder 2, Sample Grabber, Null Renderer), driven one command a line on stdin:
//   open <clock|noclock> | run | stop | clear | dump | setformat | close | quit
// Like most video-call and recording programs, open chooses 320 x 240 at 25 frames a second from
// the pin's capabilities and applies it with SetFormat before it connects.
// dump prints one line a sample: "<length> <hasTime> <start> <stop> <frame> <allZero> <ms>", then "end".
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "GraphSupport.h"
#include "KivoSrcCommon.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

struct TClient : TCaptureGraph {
  TGrabberSink Sink{320, 240};
  ~TClient() { Close(); }  // the graph goes before the sink it calls

  std::string Open(bool clock) {
    auto device = FindVideoInputDevice(kKivoSrcName);
    if (!device) return "fail nodevice";
    if (device->Clsid != kKivoSrcClsid) return "fail clsid";
    std::string step = Build(*device, kKivoSrcName, &Sink);
    if (step == "ok") step = PickFormat(320, 240, 400000);
    if (step == "ok") step = Render();
    if (step == "ok" && !clock) step = RemoveClock();
    return step;
  }

  std::string Stop() {
    if (!Control) return "fail";
    const double t0 = NowMs();
    HRESULT hr = Control->Stop();
    char text[64];
    std::snprintf(text, sizeof(text), "%s %.0f", Hex(hr).c_str(), NowMs() - t0);
    return text;
  }

  // Looks through the capabilities for one that allows width x height at the frame interval,
  // sets that size and interval in its media type and applies it.
  std::string PickFormat(LONG width, LONG height, REFERENCE_TIME interval) {
    TComPtr<IAMStreamConfig> config;
    HRESULT hr = Builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, Source.Get(),
                                        IID_IAMStreamConfig, config.PutVoid());
    if (FAILED(hr)) return "fail find " + Hex(hr);
    int count = 0, size = 0;
    if (FAILED(hr = config->GetNumberOfCapabilities(&count, &size))) return "fail count " + Hex(hr);
    if (size != int(sizeof(VIDEO_STREAM_CONFIG_CAPS))) return "fail capsize";
    auto within = [](LONG v, LONG lo, LONG hi, int step) { return v >= lo && v <= hi && (v - lo) % std::max(step, 1) == 0; };
    for (int i = 0; i < count; ++i) {
      AM_MEDIA_TYPE* mt = nullptr;
      VIDEO_STREAM_CONFIG_CAPS caps{};
      if (FAILED(config->GetStreamCaps(i, &mt, reinterpret_cast<BYTE*>(&caps))) || !mt) continue;
      const bool fits = mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER) &&
                        within(width, caps.MinOutputSize.cx, caps.MaxOutputSize.cx, caps.OutputGranularityX) &&
                        within(height, caps.MinOutputSize.cy, caps.MaxOutputSize.cy, caps.OutputGranularityY) &&
                        interval >= caps.MinFrameInterval && interval <= caps.MaxFrameInterval;
      if (fits) {
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
        vih->AvgTimePerFrame = interval;
        vih->bmiHeader.biWidth = width;
        vih->bmiHeader.biHeight = height;
        vih->bmiHeader.biSizeImage = DWORD(FrameBytes(width, height));
        hr = config->SetFormat(mt);
      }
      ::CoTaskMemFree(mt->pbFormat);
      ::CoTaskMemFree(mt);
      if (fits) return hr == S_OK ? "ok" : "fail setformat " + Hex(hr);
    }
    return "fail nocaps";
  }

  std::string SetFormat() {
    TComPtr<IAMStreamConfig> config;
    HRESULT hr = Builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, Source.Get(),
                                        IID_IAMStreamConfig, config.PutVoid());
    if (FAILED(hr)) return "fail find " + Hex(hr);
    AM_MEDIA_TYPE* mt = nullptr;
    if (FAILED(hr = config->GetFormat(&mt))) return "fail get " + Hex(hr);
    hr = config->SetFormat(mt);
    ::CoTaskMemFree(mt->pbFormat);
    ::CoTaskMemFree(mt);
    return Hex(hr);
  }
};

}  // namespace

int main() {
  TComInit com;
  TClient client;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::ostringstream out;
    if (cmd == "open") {
      std::string mode;
      in >> mode;
      out << client.Open(mode != "noclock");
    } else if (cmd == "run") {
      out << (client.Control ? Hex(client.Control->Run()) : "fail");
    } else if (cmd == "stop") {
      out << client.Stop();
    } else if (cmd == "clear") {
      client.Sink.Clear();
      out << "ok";
    } else if (cmd == "dump") {
      for (const TSeenSample& s : client.Sink.Samples())
        out << s.Length << ' ' << s.HasTime << ' ' << s.Start << ' ' << s.Stop << ' ' << s.Frame << ' ' << s.AllZero
            << ' ' << static_cast<long long>(s.Ms) << '\n';
      out << "end";
    } else if (cmd == "setformat") {
      out << client.SetFormat();
    } else if (cmd == "close") {
      client.Close();
      out << "ok";
    } else if (cmd == "quit") {
      break;
    } else {
      out << "unknown command " << cmd;
    }
    std::cout << out.str() << std::endl;
  }
  client.Close();
  return 0;
}
