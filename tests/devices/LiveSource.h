// What the test camera and microphone share: a live capture source on the project's source base.
// The filter learns which device it is from the device's property bag (IPersistPropertyBag, as a
// hardware driver does), delivers only while running (paused it answers VFW_S_CANT_CUE, like a
// real capture filter), and fails to start once its device has been unplugged. Its output pin
// lists the device's formats, lets IAMStreamConfig choose one and says it is a capture pin.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "BaseSource.h"
#include "LiveClock.h"

namespace kivo::testdev {

class TLiveSource : public TBCSource, public IPersistPropertyBag {
 public:
  TLiveSource(const wchar_t* name, IUnknown* outer, REFCLSID clsid);

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;

  // IPersist (through IPersistPropertyBag; the same as the filter's)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override { return TBCBaseFilter::GetClassID(clsid); }
  // IPersistPropertyBag
  HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

  // Whether the device is still plugged in (always, for a filter made without a device).
  bool DevicePresent();
  TLiveClock Pace;

 protected:
  // Reads what the device says of itself; called under the filter lock while stopped and unconnected.
  virtual HRESULT LoadDevice(IPropertyBag* bag) = 0;
  std::wstring DisplayName;  // "@device:pnp:" + its DevicePath, when it came from a device
};

// A capture output pin whose formats come from the descendant.
class TLiveStream : public TBCSourceStream, public IAMStreamConfig, public IKsPropertySet {
 public:
  TLiveStream(const wchar_t* objectName, HRESULT& hr, TLiveSource* filter, const wchar_t* pinName);
  ~TLiveStream() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  HRESULT ProposeType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT VerifyType(const AM_MEDIA_TYPE& type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Activate() override;
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter*, Quality) override { return S_OK; }

  // IAMStreamConfig
  HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
  HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
  // IKsPropertySet: the pin category (capture)
  HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data,
                                DWORD dataSize, DWORD* returned) override;
  HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

 protected:
  // The formats (under the filter lock).
  virtual int FormatCount() = 0;
  virtual HRESULT MakeFormat(int index, AM_MEDIA_TYPE& type) = 0;
  // The index of the format a type describes, or -1.
  virtual int MatchFormat(const AM_MEDIA_TYPE& type) = 0;
  virtual int CapsSize() = 0;
  virtual void MakeCaps(int index, BYTE* caps) = 0;
  // Buffers for the connected type.
  virtual long BufferBytes(const AM_MEDIA_TYPE& type) = 0;
  virtual long BufferCount() { return 3; }
  // A new run starts.
  virtual void RunStarts() {}
  // Waits for the running time `due` (a Stop ends the wait early: the last buffer goes out as any
  // other). Answers false when the device was unplugged: the graph has been told (EC_DEVICE_LOST)
  // and the stream is to end.
  bool WaitForDevice(REFERENCE_TIME due);

  TLiveSource* Live;
  int Chosen = -1;  // the format SetFormat chose, else -1 (every format is offered)
};

}  // namespace kivo::testdev
