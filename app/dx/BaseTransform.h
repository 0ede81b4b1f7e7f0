// BaseTransform: a filter with one input and one output pin that turns each received sample into one
// new output sample on the upstream thread. Descendants fill in the type, buffer and per-sample hooks.
#pragma once

#include <memory>

#include "BaseClass.h"

namespace kivo {

class TBCTransformFilter;

class TBCTransformInputPin : public TBCBaseInputPin {
 public:
  TBCTransformInputPin(const wchar_t* objectName, TBCTransformFilter* filter, HRESULT& hr, const wchar_t* pinName);

  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  // Without the filter lock: the platform's seeking pass-through asks for the peer on the streaming
  // thread during end of stream (holding the receive lock) while a Stop may hold the filter lock and
  // wait for that thread. Connections change only while stopped.
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE& type) override;
  HRESULT VerifyPeer(IPin* peer) override;
  HRESULT FinishConnection(IPin* peer) override;
  HRESULT DropConnection() override;
  HRESULT StreamingCheck() override;

 private:
  TBCTransformFilter* Transform;
};

class TBCTransformOutputPin : public TBCBaseOutputPin {
 public:
  TBCTransformOutputPin(const wchar_t* objectName, TBCTransformFilter* filter, HRESULT& hr, const wchar_t* pinName);
  ~TBCTransformOutputPin() override;

  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;  // also without the filter lock
  // IQualityControl
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;

  HRESULT VerifyPeer(IPin* peer) override;
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE& type) override;
  HRESULT FinishConnection(IPin* peer) override;
  HRESULT DropConnection() override;

 private:
  TBCTransformFilter* Transform;
  // The platform's seeking pass-through, made on the first seeking query. It has its own lock: the
  // streaming thread asks for seeking while a Stop holds the filter lock.
  TBCCritSec SeekingLock;
  IUnknown* SeekingProxy = nullptr;  // counted
};

class TBCTransformFilter : public TBCBaseFilter {
 public:
  TBCTransformFilter(const wchar_t* name, REFCLSID clsid, IUnknown* outer);
  ~TBCTransformFilter() override;

  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

  int PinCount() override { return 2; }
  TBCBasePin* PinAt(int index) override;

  // Hooks
  virtual HRESULT TransformSample(IMediaSample* input, IMediaSample* output) { return E_UNEXPECTED; }
  virtual HRESULT AcceptInput(const AM_MEDIA_TYPE& type) = 0;
  virtual HRESULT AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) = 0;
  virtual HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT ProposeOutputType(int position, AM_MEDIA_TYPE& type) = 0;
  virtual HRESULT StreamingStarts() { return S_OK; }
  virtual HRESULT StreamingStops() { return S_OK; }
  // S_FALSE sends the message on upstream.
  virtual HRESULT AdjustQuality(const Quality& quality) { return S_FALSE; }
  virtual HRESULT TypeAdopted(PIN_DIRECTION direction, const AM_MEDIA_TYPE& type) { return S_OK; }
  virtual HRESULT PeerCheck(PIN_DIRECTION direction, IPin* pin) { return S_OK; }
  virtual HRESULT ConnectionDropped(PIN_DIRECTION direction) { return S_OK; }
  virtual HRESULT ConnectionFinished(PIN_DIRECTION direction, IPin* pin) { return S_OK; }
  virtual HRESULT ReceiveSample(IMediaSample* sample);
  virtual HRESULT PrepareOutputSample(IMediaSample* input, IMediaSample** output);
  virtual HRESULT PassEndOfStream();
  virtual HRESULT PassBeginFlush();
  virtual HRESULT PassEndFlush();
  virtual HRESULT PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // The pins, made on first demand (null when they cannot be made).
  TBCTransformInputPin* InputPin();
  TBCTransformOutputPin* OutputPin();
  TBCCritSec& FilterLock() noexcept { return StateLock(); }
  TBCCritSec& ReceiveLock() noexcept { return ReceiveLock_; }

 protected:
  bool EndOfStreamSent = false;
  bool SampleSkipped = false;
  bool QualityChanged = false;

 private:
  bool MakePins();
  TBCCritSec ReceiveLock_;
  TBCCritSec PinsLock;
  std::unique_ptr<TBCTransformOutputPin> OutputPin_;
  std::unique_ptr<TBCTransformInputPin> InputPin_;
  std::atomic<bool> PinsMade{false};
};

}  // namespace kivo
