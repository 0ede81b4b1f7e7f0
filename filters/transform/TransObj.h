// TransObj: the KivoTrans filter. Takes 24-bit RGB video of any size and gives out 24-bit RGB video of
// a fixed size (320 x 240 unless configured), scaled by nearest neighbour with the aspect ratio kept
// and black bars around the picture.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "BaseTransform.h"
#include "TransScale.h"

namespace kivo {

// {0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}
inline constexpr CLSID CLSID_KivoTransformFilter = {
    0x0b9f297a, 0xa4dd, 0x4fba, {0x93, 0x63, 0xb9, 0x5a, 0x9f, 0x5a, 0x0c, 0x9b}};
// {4AEACFE5-64A7-4B1B-A306-36A5B8721FB3}
inline constexpr IID IID_ITransFilterConfig = {
    0x4aeacfe5, 0x64a7, 0x4b1b, {0xa3, 0x06, 0x36, 0xa5, 0xb8, 0x72, 0x1f, 0xb3}};
inline constexpr wchar_t kTransFilterName[] = L"Kivo Transform Filter";

// The default output size.
constexpr LONG kDefaultOutWidth = 320;
constexpr LONG kDefaultOutHeight = 240;

}  // namespace kivo

struct ITransFilterConfig : public IUnknown {
  // Output size for the next output connection: 1..1024 columns, 1..768 rows, else E_INVALIDARG
  // with the old size kept. A connected output keeps the size it agreed.
  virtual HRESULT STDMETHODCALLTYPE SetOutputSize(LONG width, LONG height) = 0;
};
__CRT_UUID_DECL(ITransFilterConfig, 0x4aeacfe5, 0x64a7, 0x4b1b, 0xa3, 0x06, 0x36, 0xa5, 0xb8, 0x72, 0x1f, 0xb3)

namespace kivo {

class TTransFilter : public TBCTransformFilter, public ITransFilterConfig {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TTransFilter(const wchar_t* name, IUnknown* outer);

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

  // ITransFilterConfig
  HRESULT STDMETHODCALLTYPE SetOutputSize(LONG width, LONG height) override;

  HRESULT AcceptInput(const AM_MEDIA_TYPE& type) override;
  HRESULT AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override;
  HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT ProposeOutputType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT TransformSample(IMediaSample* input, IMediaSample* output) override;
  HRESULT TypeAdopted(PIN_DIRECTION direction, const AM_MEDIA_TYPE& type) override;

  // The configured output size (for the next output connection).
  void OutputSize(LONG& width, LONG& height);

 private:
  // The size the filter writes: that of the connected output, else the configured one.
  void WriteSize(LONG& width, LONG& height);

  TBCCritSec ConfigLock;  // OutWidth, OutHeight
  LONG OutWidth = 0;
  LONG OutHeight = 0;
  // Input and written output sizes and the tables; used on the streaming thread under the receive lock.
  TTransScaler Scaler;
};

// One line describing a media type, for diagnostics.
std::wstring MediaTypeText(const AM_MEDIA_TYPE& type);

}  // namespace kivo
