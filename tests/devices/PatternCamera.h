// The pattern camera (see PatternCamera.cpp).
#pragma once

#include <vector>

#include "LiveSource.h"
#include "TestDevices.h"

namespace kivo::testdev {

class TPatternCamera;

class TCameraPin : public TLiveStream {
 public:
  TCameraPin(HRESULT& hr, TPatternCamera* filter);
  HRESULT FillSample(IMediaSample* sample) override;

 protected:
  int FormatCount() override;
  HRESULT MakeFormat(int index, AM_MEDIA_TYPE& type) override;
  int MatchFormat(const AM_MEDIA_TYPE& type) override;
  int CapsSize() override;
  void MakeCaps(int index, BYTE* caps) override;
  long BufferBytes(const AM_MEDIA_TYPE& type) override;
  void RunStarts() override;

 private:
  TPatternCamera* Camera;
  LONGLONG NextFrame = 0;  // the streaming thread's
};

class TPatternCamera : public TLiveSource {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TPatternCamera(const wchar_t* name, HRESULT& hr, IUnknown* outer);
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  DWORD Pattern = 0;  // the camera number its pixels carry (0: made without a device)
  std::vector<TCameraFormat> Formats;

 protected:
  HRESULT LoadDevice(IPropertyBag* bag) override;

 private:
  TCameraPin* Pin = nullptr;
};

}  // namespace kivo::testdev
