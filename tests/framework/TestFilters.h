// Two small filters built on the framework, used by the framework's tests: a one-pin source whose
// samples the test pushes itself, and a one-in-one-out pass-through that copies each sample.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "BaseClass.h"
#include "BaseSource.h"
#include "GraphSupport.h"

namespace kivo::test {

// {6C1F7B10-3A52-4E8B-9D3B-1F0E5A7C2B01}
inline constexpr CLSID CLSID_TestSource = {0x6c1f7b10, 0x3a52, 0x4e8b, {0x9d, 0x3b, 0x1f, 0x0e, 0x5a, 0x7c, 0x2b, 0x01}};
// {6C1F7B10-3A52-4E8B-9D3B-1F0E5A7C2B02}
inline constexpr CLSID CLSID_TestPass = {0x6c1f7b10, 0x3a52, 0x4e8b, {0x9d, 0x3b, 0x1f, 0x0e, 0x5a, 0x7c, 0x2b, 0x02}};
// {6C1F7B10-3A52-4E8B-9D3B-1F0E5A7C2B03}
inline constexpr CLSID CLSID_TestPush = {0x6c1f7b10, 0x3a52, 0x4e8b, {0x9d, 0x3b, 0x1f, 0x0e, 0x5a, 0x7c, 0x2b, 0x03}};
inline constexpr wchar_t kTestSourceName[] = L"Kivo Test Source";
inline constexpr wchar_t kTestPushName[] = L"Kivo Test Push Source";
inline constexpr wchar_t kTestPassName[] = L"Kivo Test Pass";

constexpr int kTestWidth = 320;
constexpr int kTestHeight = 240;

// A fully specified video type: RGB24 (or another subtype) of the given size.
void MakeVideoType(AM_MEDIA_TYPE& type, const GUID& subtype, int width, int height);

class TTestSource;

class TTestOutputPin : public TBCBaseOutputPin {
 public:
  TTestOutputPin(TTestSource* filter, HRESULT& hr);
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;

  // Subtypes the pin offers and accepts, in order (all 320 x 240).
  std::vector<GUID> Subtypes{MEDIASUBTYPE_RGB24};
  // What VerifyType answers for a type it does not offer.
  HRESULT RefuseWith = E_FAIL;
};

class TTestSource : public TBCBaseFilter {
 public:
  static TBCUnknown* Create(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TTestSource(IUnknown* outer, HRESULT& hr);
  int PinCount() override { return 1; }
  TBCBasePin* PinAt(int index) override { return index == 0 ? &Pin : nullptr; }

  // Fills one sample with the test pattern of `frame` and sends it; answers the delivery's result.
  HRESULT Deliver(int frame, bool withTimes = true);
  TTestOutputPin Pin;
};

// An allocator whose samples are `Size` bytes long while it agrees to any buffer size asked of it,
// so that an upstream pin gets samples shorter than it asked for. Each sample's buffer is followed
// by guard bytes; when a sample is released for good, what was written into it is recorded.
class TShortSampleAllocator final : public TTestUnknown<IMemAllocator, IID_IMemAllocator> {
 public:
  explicit TShortSampleAllocator(long size) : Size(size) {}
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Commit() override;
  HRESULT STDMETHODCALLTYPE Decommit() override;
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample*) override { return S_OK; }

  static constexpr std::size_t kGuardBytes = 4096;
  static constexpr BYTE kGuard = 0x5A;
  const long Size;
  std::atomic<int> Filled{0};        // samples released with data in them
  std::atomic<int> GuardsBroken{0};  // samples written past their end
  std::atomic<long> LastLength{0};   // actual data length of the last filled sample
  std::vector<BYTE> LastData() const;

 private:
  friend class TShortSample;
  void Record(const std::vector<BYTE>& buffer, long length);
  std::atomic<bool> Committed{false};
  ALLOCATOR_PROPERTIES Props{};
  mutable std::mutex Lock;
  std::vector<BYTE> Last;
};

class TTestPass;

class TTestInputPin : public TBCBaseInputPin {
 public:
  TTestInputPin(TTestPass* filter, HRESULT& hr);
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;

  // Hands upstream an allocator that is already committed, so that sizing it fails.
  bool OfferBusyAllocator = false;
  TComPtr<IMemAllocator> BusyAllocator;
  // When set, hands upstream this allocator of short samples.
  TComPtr<TShortSampleAllocator> ShortAllocator;
  std::atomic<int> Received{0};

 private:
  TTestPass* Pass;
};

class TTestPassOutputPin : public TBCBaseOutputPin {
 public:
  TTestPassOutputPin(TTestPass* filter, HRESULT& hr);
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;

 private:
  TTestPass* Pass;
};

class TTestPass : public TBCBaseFilter {
 public:
  static TBCUnknown* Create(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TTestPass(IUnknown* outer, HRESULT& hr);
  int PinCount() override { return 2; }
  TBCBasePin* PinAt(int index) override;

  TTestInputPin Input;
  TTestPassOutputPin Output;
  TBCCritSec ReceiveLock;
};

// A source on the source base: its worker fills numbered test pictures, and after `FillLimit`
// samples answers `AfterLimit` (S_FALSE ends the stream, a failure aborts it).
class TTestPush;

class TTestPushPin : public TBCSourceStream {
 public:
  TTestPushPin(HRESULT& hr, TTestPush* filter);
  ~TTestPushPin() override;
  HRESULT OfferedType(AM_MEDIA_TYPE* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT FillSample(IMediaSample* sample) override;
  HRESULT WorkerStarting() override {
    ++Starts;
    return StartResult;
  }
  HRESULT WorkerEnding() override {
    ++Ends;
    return S_OK;
  }

  std::atomic<int> Filled{0};
  std::atomic<int> Starts{0};
  std::atomic<int> Ends{0};
  std::atomic<int> FillLimit{1 << 30};
  std::atomic<HRESULT> AfterLimit{S_FALSE};
  std::atomic<HRESULT> StartResult{S_OK};
};

class TTestPush : public TBCSource {
 public:
  static TBCUnknown* Create(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TTestPush(IUnknown* outer, HRESULT& hr);
  TTestPushPin* Pin = nullptr;
};

}  // namespace kivo::test
