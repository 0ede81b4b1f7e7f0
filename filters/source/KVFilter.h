// KVFilter: KivoSrc, the virtual camera. One output pin offers 320 x 240 RGB24 at 25 frames a second
// and fills each sample with the frame last written into the frame section.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <memory>

#include "BaseSource.h"
#include "KVFilterId.h"
#include "KVSection.h"

namespace kivo {

// Not declared by MinGW's headers.
inline constexpr GUID kAMPROPSETID_Pin = {0x9b00f101, 0x1567, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
inline constexpr GUID kPIN_CATEGORY_CAPTURE = {0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

constexpr REFERENCE_TIME kKivoFrameTime = 400000;        // 25 frames a second
constexpr REFERENCE_TIME kKivoMaxFrameInterval = 666666;  // 15 frames a second

class TKVPushSource;

class TKVOutputPin : public TBCSourceStream, public IAMStreamConfig, public IKsPropertySet {
 public:
  TKVOutputPin(HRESULT& hr, TKVPushSource* filter);
  ~TKVOutputPin() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  HRESULT FillSample(IMediaSample* sample) override;
  HRESULT OfferedType(AM_MEDIA_TYPE* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Activate() override;
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override { return E_FAIL; }

  // IAMStreamConfig
  HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
  HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
  // IKsPropertySet
  HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data,
                                DWORD dataSize) override;
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data,
                                DWORD dataSize, DWORD* returned) override;
  HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

 private:
  HRESULT NewOfferedType(AM_MEDIA_TYPE** type);

  VIDEOINFOHEADER Format;
  std::unique_ptr<TFrameSectionReader> Reader;
  std::atomic<LONGLONG> FrameNumber{0};
  REFERENCE_TIME FrameTime = kKivoFrameTime;
};

class TKVPushSource : public TBCSource {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TKVPushSource(const wchar_t* name, HRESULT& hr, IUnknown* outer);

  // The filter's own interfaces, then the pin's (IAMStreamConfig, IKsPropertySet, ...).
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  TKVOutputPin* Pin = nullptr;  // owned through the source's pin list
};

}  // namespace kivo
