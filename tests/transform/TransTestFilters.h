// Filters around KivoTrans in its tests: a source of test patterns of a chosen size and type (frames
// pushed by the test or by a thread of the source's own), and a sink that records what arrives.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "BaseClass.h"
#include "GraphSupport.h"

namespace kivo::test {

// The video type the pattern source offers.
struct TVideoFormat {
  GUID Subtype = MEDIASUBTYPE_RGB24;
  LONG Width = 320;
  LONG Height = 240;
  WORD BitCount = 24;
  REFERENCE_TIME FrameTime = 400000;  // 25 frames per second
};
void MakeFormatType(AM_MEDIA_TYPE& type, const TVideoFormat& format);

class TPatternSource;

class TPatternPin : public TBCBaseOutputPin {
 public:
  TPatternPin(TPatternSource* filter, HRESULT& hr);
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  TVideoFormat Format;
};

class TPatternSource : public TBCBaseFilter {
 public:
  TPatternSource();
  ~TPatternSource() override;
  int PinCount() override { return 1; }
  TBCBasePin* PinAt(int index) override { return index == 0 ? &Pin : nullptr; }
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Stop() override;

  // Sends the pattern of `frame` (times frame x frame time). length < 0: the whole frame.
  HRESULT Deliver(int frame, long length = -1);
  // With pushing on, leaving Stopped starts a thread that delivers frames 0, 1, 2... until the
  // allocator is decommitted; Stop waits for it.
  bool Pushing = false;
  std::atomic<int> Pushed{0};
  HRESULT PinResult = S_OK;
  TPatternPin Pin;

 private:
  void PushLoop();
  std::thread Pusher;
};

// What arrived at the sink, or at the Sample Grabber.
struct TFrame {
  std::vector<BYTE> Bytes;
  REFERENCE_TIME Start = -1, Stop = -1;
  DWORD Flags = 0;  // sample flags as the receiving pin saw them
};

class TFrameKeeper : public TRecordLog<TFrame> {
 public:
  // Keeps a copy of the sample's bytes and times.
  void Add(IMediaSample* sample, DWORD flags = 0);
  std::vector<TFrame> Frames() const { return All(); }
};

// Grabber callback that keeps a copy of every sample.
class TGrabberKeeper : public TGrabberCallback {
 public:
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    Frames.Add(sample);
    return S_OK;
  }
  TFrameKeeper Frames;
};

class TRecordingSink;

class TRecordingPin : public TBCBaseInputPin {
 public:
  TRecordingPin(TRecordingSink* filter, HRESULT& hr);
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // Types the pin prefers (offered first when asked); it accepts any video type.
  std::vector<TVideoFormat> Preferred;
  // Called inside EndOfStream, on the caller's thread.
  std::function<void()> OnEndOfStream;
  TFrameKeeper Frames;
  std::atomic<int> EndOfStreams{0}, BeginFlushes{0}, EndFlushes{0}, NewSegments{0};
  std::atomic<REFERENCE_TIME> LastSegmentStart{0};
};

class TRecordingSink : public TBCBaseFilter {
 public:
  TRecordingSink();
  int PinCount() override { return 1; }
  TBCBasePin* PinAt(int index) override { return index == 0 ? &Pin : nullptr; }
  HRESULT PinResult = S_OK;
  TRecordingPin Pin;
};

}  // namespace kivo::test
