// The Colour Space Converter stand-in (see ColourConverter.cpp).
#pragma once

#include "BaseTransform.h"

namespace kivo::testdev {

class TColourConverter : public TBCTransformFilter {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TColourConverter(const wchar_t* name, IUnknown* outer);

  HRESULT AcceptInput(const AM_MEDIA_TYPE& type) override;
  HRESULT AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override;
  HRESULT ProposeOutputType(int position, AM_MEDIA_TYPE& type) override;
  HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT TransformSample(IMediaSample* input, IMediaSample* output) override;
};

}  // namespace kivo::testdev
