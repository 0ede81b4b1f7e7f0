// A viewer of "Kivo Filter Source" in its own process, driven one command a line on stdin:
//   open            builds the capture graph (device enumerator, Capture Graph Builder 2, Sample
//                   Grabber, Null Renderer) and runs it; answers "ok" or "fail <why>"
//   count           samples seen so far
//   save <file>     writes the last sample as a 24-bit 320 x 240 .bmp; "ok <bytes>" or "none"
//   quit
// With the arguments "watch <file> <seconds>" it opens the device and saves the last frame to the
// file every <seconds> seconds until it is ended (scripts/run.sh uses it).
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "GraphSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

constexpr CLSID kKivoSrc = {0x26d63f58, 0xc75a, 0x403c, {0xb0, 0x22, 0x9a, 0x8e, 0xac, 0xf0, 0xdb, 0x68}};
constexpr int kWidth = 320, kHeight = 240;

class TLastFrame : public TGrabberCallback {
 public:
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    const long n = sample->GetActualDataLength();
    std::lock_guard<std::mutex> lock(lock_);
    frame_.assign(data, data + n);
    ++count_;
    return S_OK;
  }
  std::vector<BYTE> Frame() {
    std::lock_guard<std::mutex> lock(lock_);
    return frame_;
  }
  long Count() {
    std::lock_guard<std::mutex> lock(lock_);
    return count_;
  }

 private:
  std::mutex lock_;
  std::vector<BYTE> frame_;
  long count_ = 0;
};

struct TViewer : TCaptureGraph {
  TLastFrame Sink;
  ~TViewer() { Close(); }  // the graph goes before the sink it calls

  std::string Open() {
    auto device = FindListedFilter(CLSID_VideoInputDeviceCategory, kKivoSrc);
    if (!device) return "fail nodevice";
    std::string step = Build(*device, L"Kivo Filter Source", &Sink);
    if (step == "ok") step = Render();
    if (step == "ok") step = RemoveClock();
    if (step != "ok") return step;
    const HRESULT hr = Control->Run();
    return FAILED(hr) ? "fail run " + Hex(hr) : "ok";
  }

  // The last frame as a bottom-up 24-bit .bmp file; answers its pixel bytes (0: none yet).
  long Save(const std::string& file) {
    std::vector<BYTE> frame = Sink.Frame();
    if (frame.empty()) return 0;
    const DWORD image = static_cast<DWORD>(FrameBytes(kWidth, kHeight));
    frame.resize(image);
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + image;
    ih.biSize = sizeof(ih);
    ih.biWidth = kWidth;
    ih.biHeight = kHeight;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = image;
    const std::string tmp = file + ".part";
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(&fh), sizeof(fh));
      out.write(reinterpret_cast<const char*>(&ih), sizeof(ih));
      out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
      if (!out) return 0;
    }
    ::MoveFileExA(tmp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
    return static_cast<long>(image);
  }
};

}  // namespace

int main(int argc, char** argv) {
  TComInit com;
  TViewer viewer;
  if (argc == 4 && std::string(argv[1]) == "watch") {
    const std::string result = viewer.Open();
    std::cout << result << std::endl;
    if (result != "ok") return 1;
    const DWORD period = static_cast<DWORD>(std::stoi(argv[3])) * 1000;
    for (;;) {
      ::Sleep(period);
      viewer.Save(argv[2]);
    }
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::ostringstream out;
    if (cmd == "open") {
      out << viewer.Open();
    } else if (cmd == "count") {
      out << viewer.Sink.Count();
    } else if (cmd == "save") {
      std::string file;
      std::getline(in >> std::ws, file);
      const long n = viewer.Save(file);
      if (n > 0) out << "ok " << n;
      else out << "none";
    } else if (cmd == "quit") {
      break;
    } else {
      out << "unknown command " << cmd;
    }
    std::cout << out.str() << std::endl;
  }
  viewer.Close();
  return 0;
}
