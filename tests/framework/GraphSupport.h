// Test helpers around Wine's filter graph: the Sample Grabber and Null Renderer CLSIDs, a grabber
// callback that records every sample it sees, and pin look-ups.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <mutex>
#include <string>
#include <vector>

#include "Handles.h"

namespace kivo::test {

// Not defined by MinGW's qedit.h.
inline constexpr CLSID kCLSID_SampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
inline constexpr CLSID kCLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// What the grabber saw of one sample.
struct TSeenSample {
  long Length = 0;
  bool HasTime = false;
  REFERENCE_TIME Start = 0, Stop = 0;
  int Frame = -1;         // frame number of an exact test pattern (mod 256), else -1
  bool AllZero = false;   // a black frame
  double Ms = 0;          // arrival time (NowMs)
};

// Recognises the test pattern of width x height in a buffer: its frame number (mod 256) or -1.
int PatternFrame(const BYTE* data, long length, int width, int height);

class TGrabberSink : public ISampleGrabberCB {
 public:
  TGrabberSink(int width, int height) : Width(width), Height(height) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }

  std::vector<TSeenSample> Samples() const;
  std::size_t Count() const;
  // Waits until at least n samples were seen; answers whether they came in time.
  bool WaitFor(std::size_t n, DWORD timeoutMs) const;
  void Clear();

 private:
  int Width, Height;
  mutable std::mutex Lock;
  std::vector<TSeenSample> Seen;
};

// The Sample Grabber set to RGB24 video, with the sink as its sample callback.
HRESULT MakeGrabber(TComPtr<IBaseFilter>& filter, TGrabberSink* sink);
TComPtr<IPin> FindPinOf(IBaseFilter* filter, PIN_DIRECTION dir, int index = 0);
std::string Hex(HRESULT hr);

// COM for the test's thread (multithreaded apartment).
class TComInit {
 public:
  TComInit() { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~TComInit() { ::CoUninitialize(); }
};

}  // namespace kivo::test
