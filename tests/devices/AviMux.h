// The AVI Mux stand-in (see AviMux.cpp).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <memory>
#include <vector>

#include "BaseClass.h"
#include "Handles.h"

namespace kivo::testdev {

class TAviMux;

// An input pin: one stream of video (VIDEOINFOHEADER) or sound (WAVEFORMATEX).
class TAviMuxInput : public TBCBaseInputPin {
 public:
  TAviMuxInput(TAviMux* mux, TBCCritSec* lock, HRESULT& hr, const wchar_t* name);

  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT FinishConnection(IPin* peer) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;

 private:
  TAviMux* Mux;
};

// The output pin: an AVI byte stream, written through the IStream of the pin it connects to.
class TAviMuxOutput : public TBCBaseOutputPin {
 public:
  TAviMuxOutput(TAviMux* mux, TBCCritSec* lock, HRESULT& hr);

  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT VerifyPeer(IPin* peer) override;
  HRESULT DropConnection() override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  IStream* Stream() const noexcept { return Target.Get(); }

 private:
  TComPtr<IStream> Target;
};

class TAviMux : public TBCBaseFilter, public IConfigInterleaving {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TAviMux(const wchar_t* name, IUnknown* outer, HRESULT& hr);
  ~TAviMux() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  LONG PinVersion() override;
  int PinCount() override;
  TBCBasePin* PinAt(int index) override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Stop() override;

  // IConfigInterleaving: the settings are kept; chunks go into the file in the order they arrive,
  // which is interleaved as well as the streams come in.
  HRESULT STDMETHODCALLTYPE put_Mode(InterleavingMode mode) override;
  HRESULT STDMETHODCALLTYPE get_Mode(InterleavingMode* mode) override;
  HRESULT STDMETHODCALLTYPE put_Interleaving(const REFERENCE_TIME* leaving, const REFERENCE_TIME* preroll) override;
  HRESULT STDMETHODCALLTYPE get_Interleaving(REFERENCE_TIME* leaving, REFERENCE_TIME* preroll) override;

  // An input pin connected: a free one is added for the next stream.
  void InputConnected();
  // Writes a sample of an input's stream as the next chunk of the movie list.
  HRESULT WriteSample(TAviMuxInput* input, IMediaSample* sample);
  // Every connected input has ended: the end goes on to the writer.
  void InputEnded();

 private:
  struct TStream {
    TAviMuxInput* Pin;
    bool Video;
    DWORD ChunkId;
    DWORD Chunks = 0;
    ULONGLONG Bytes = 0;
    DWORD Largest = 0;
  };
  struct TIndexEntry {
    DWORD ChunkId, Flags, Offset, Size;
  };
  HRESULT WriteAt(ULONGLONG at, const void* data, ULONG size);
  HRESULT Finish();

  TAviMuxOutput Output;
  std::vector<std::unique_ptr<TAviMuxInput>> Inputs;
  LONG Version = 1;
  InterleavingMode Mode = INTERLEAVE_CAPTURE;
  REFERENCE_TIME Leaving = 10000000, Preroll = 0;
  TBCCritSec WriteLock;  // the streams, the index and the write position
  std::vector<TStream> Streams;
  std::vector<TIndexEntry> Index;
  ULONGLONG Position = 0;
  bool Writing = false;
  HRESULT WriteError = S_OK;
  int Ended = 0;
};

}  // namespace kivo::testdev
