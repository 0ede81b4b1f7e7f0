#include "TransObj.h"

#include <mmreg.h>
#include <dvdmedia.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace kivo {

namespace {

// A broken internal check reports "Assertion failure (TransObj, line n)".
#define KIVO_TRANS_CHECK(cond) ((cond) ? true : (ReportAssertion("TransObj", __LINE__), false))

const REGPINTYPES kVideoAny = {&MEDIATYPE_Video, &GUID_NULL};
REGFILTERPINS kTransPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
};

// Loading the module registers the factory (owned by the factory list) and turns the framework's
// checks on.
TBCClassFactory* const g_transFactory =
    new TBCClassFactory(&TTransFilter::CreateByFactory, kTransPins, 2, MERIT_DO_NOT_USE,
                        CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter, kTransFilterName);
const bool g_checksOn = (EnableMediaTypeChecks(true), true);

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat)
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// Frames larger than a sample can describe are refused (this also keeps every table offset in range).
bool FrameFits(LONG width, LONG height, int bytesPerPixel) {
  const std::uint64_t stride = (std::uint64_t(width) * std::uint64_t(bytesPerPixel) + 3) & ~std::uint64_t(3);
  return stride * std::uint64_t(height) <= 0x7FFFFFFFull;
}

}  // namespace

TBCUnknown* TTransFilter::CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr) {
  (void)g_checksOn;
  TTransFilter* filter = new (std::nothrow) TTransFilter(factory.Name.c_str(), outer);
  if (!filter) hr = E_OUTOFMEMORY;
  return filter;
}

TTransFilter::TTransFilter(const wchar_t* name, IUnknown* outer)
    : TBCTransformFilter(name, CLSID_KivoTransformFilter, outer) {}

HRESULT STDMETHODCALLTYPE TTransFilter::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_ITransFilterConfig) return GetInterface(static_cast<ITransFilterConfig*>(this), out);
  return TBCTransformFilter::InnerQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE TTransFilter::SetOutputSize(LONG width, LONG height) {
  if (!TTransScaler::OutputSizeFits(width, height)) return E_INVALIDARG;
  TBCAutoLock lock(ConfigLock);
  OutWidth = width;
  OutHeight = height;
  return S_OK;
}

void TTransFilter::OutputSize(LONG& width, LONG& height) {
  TBCAutoLock lock(ConfigLock);
  width = OutWidth ? OutWidth : kDefaultOutWidth;
  height = OutHeight ? OutHeight : kDefaultOutHeight;
}

void TTransFilter::WriteSize(LONG& width, LONG& height) {
  TBCTransformOutputPin* out = OutputPin();
  if (out && out->HasPeer()) {
    width = Scaler.OutWidth;
    height = Scaler.OutHeight;
    return;
  }
  OutputSize(width, height);
}

HRESULT TTransFilter::AcceptInput(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.subtype != MEDIASUBTYPE_RGB24) return VFW_E_INVALID_MEDIA_TYPE;
  const VIDEOINFOHEADER* vih = VideoInfo(type);
  if (!vih) return VFW_E_INVALID_MEDIA_TYPE;
  // Bottom-up 24-bit frames only: that is what the scaler reads.
  const BITMAPINFOHEADER& bi = vih->bmiHeader;
  if (bi.biWidth <= 0 || bi.biHeight <= 0 || bi.biBitCount != 24 || !FrameFits(bi.biWidth, bi.biHeight, 3))
    return VFW_E_INVALID_MEDIA_TYPE;
  TBCAutoLock lock(ConfigLock);
  if (OutWidth == 0) OutWidth = kDefaultOutWidth;
  if (OutHeight == 0) OutHeight = kDefaultOutHeight;
  return S_OK;
}

HRESULT TTransFilter::TypeAdopted(PIN_DIRECTION direction, const AM_MEDIA_TYPE& type) {
  const VIDEOINFOHEADER* vih = VideoInfo(type);
  if (!KIVO_TRANS_CHECK(vih != nullptr)) return E_UNEXPECTED;
  // Connections change only while stopped; the lock keeps a late sample off the tables meanwhile.
  TBCAutoLock lock(ReceiveLock());
  if (direction == PINDIR_INPUT) {
    Scaler.InWidth = vih->bmiHeader.biWidth;
    Scaler.InHeight = vih->bmiHeader.biHeight;
    Scaler.BytesPerPixel = vih->bmiHeader.biBitCount / 8;
  } else {
    Scaler.OutWidth = vih->bmiHeader.biWidth;
    Scaler.OutHeight = vih->bmiHeader.biHeight;
  }
  Scaler.ClearScaleTables();
  return S_OK;
}

HRESULT TTransFilter::AcceptOutput(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) {
  if (input.subtype != MEDIASUBTYPE_RGB24 || output.subtype != input.subtype) return VFW_E_INVALID_MEDIA_TYPE;
  // Only the type the filter writes: bottom-up RGB24 of its own output size.
  const VIDEOINFOHEADER* vih = VideoInfo(output);
  if (output.majortype != MEDIATYPE_Video || !vih) return VFW_E_INVALID_MEDIA_TYPE;
  LONG width = 0, height = 0;
  WriteSize(width, height);
  const BITMAPINFOHEADER& bi = vih->bmiHeader;
  if (bi.biWidth != width || bi.biHeight != height || bi.biBitCount != 24 || bi.biCompression != BI_RGB)
    return VFW_E_INVALID_MEDIA_TYPE;
  return S_OK;
}

HRESULT TTransFilter::SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  TBCTransformInputPin* input = InputPin();
  if (!input || !input->HasPeer()) return E_UNEXPECTED;
  const VIDEOINFOHEADER* in = VideoInfo(input->ConnectedType());
  if (!KIVO_TRANS_CHECK(in != nullptr)) return E_UNEXPECTED;
  const LONG bytesPerPixel = in->bmiHeader.biBitCount / 8;
  LONG width = 0, height = 0;
  WriteSize(width, height);
  // One buffer unless downstream asked for more.
  properties->cBuffers = std::max<long>(properties->cBuffers, 1);
  properties->cbBuffer = Align4(width) * height * bytesPerPixel;
  if (properties->cbAlign <= 0) properties->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cBuffers < properties->cBuffers || actual.cbBuffer < properties->cbBuffer) return E_FAIL;
  return S_OK;
}

HRESULT TTransFilter::ProposeOutputType(int position, AM_MEDIA_TYPE& type) {
  TBCTransformInputPin* input = InputPin();
  if (!input || !input->HasPeer()) return E_UNEXPECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  const AM_MEDIA_TYPE& inType = input->ConnectedType();
  const VIDEOINFOHEADER* in = VideoInfo(inType);
  if (!KIVO_TRANS_CHECK(in != nullptr)) return E_UNEXPECTED;
  const LONG bytesPerPixel = in->bmiHeader.biBitCount / 8;
  LONG width = 0, height = 0;
  OutputSize(width, height);
  const LONG sampleSize = Align4(width) * height * bytesPerPixel;

  auto* vih = static_cast<VIDEOINFOHEADER*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return E_OUTOFMEMORY;
  std::memset(vih, 0, sizeof(*vih));
  // The true bit rate: bits per frame times frames per second (0 when the frame rate is unknown).
  vih->AvgTimePerFrame = in->AvgTimePerFrame;
  if (in->AvgTimePerFrame > 0) {
    const double rate = double(sampleSize) * 8.0 * 10000000.0 / double(in->AvgTimePerFrame);
    vih->dwBitRate = rate >= 4294967295.0 ? 0xFFFFFFFFu : DWORD(rate + 0.5);
  }
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = WORD(bytesPerPixel * 8);
  vih->bmiHeader.biCompression = BI_RGB;
  vih->bmiHeader.biSizeImage = DWORD(sampleSize);

  FreeMediaType(type);
  type.majortype = MEDIATYPE_Video;
  type.subtype = inType.subtype;
  type.formattype = FORMAT_VideoInfo;
  type.bFixedSizeSamples = TRUE;
  type.bTemporalCompression = FALSE;
  type.lSampleSize = ULONG(sampleSize);
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

HRESULT TTransFilter::TransformSample(IMediaSample* input, IMediaSample* output) {
  if (!input || !output) return E_POINTER;
  TBCAutoLock lock(ReceiveLock());
  // A sample can bring a new type that the input pin accepted: it and later samples have its size.
  TBCTransformInputPin* pin = InputPin();
  if (!pin) return E_UNEXPECTED;
  const AM_SAMPLE2_PROPERTIES& props = pin->SampleProps();
  if ((props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props.pMediaType) {
    const VIDEOINFOHEADER* vih = VideoInfo(*props.pMediaType);
    if (!KIVO_TRANS_CHECK(vih != nullptr)) return E_UNEXPECTED;
    if (vih->bmiHeader.biWidth != Scaler.InWidth || vih->bmiHeader.biHeight != Scaler.InHeight) {
      Scaler.InWidth = vih->bmiHeader.biWidth;
      Scaler.InHeight = vih->bmiHeader.biHeight;
      Scaler.ClearScaleTables();
    }
  }
  Scaler.BuildScaleTables();
  BYTE* src = nullptr;
  BYTE* dst = nullptr;
  HRESULT hr = input->GetPointer(&src);
  if (SUCCEEDED(hr)) hr = output->GetPointer(&dst);
  if (FAILED(hr)) return hr;
  // Only what the input sample holds is read: a sample shorter than its frame is dropped.
  const long inLength = std::min(input->GetActualDataLength(), input->GetSize());
  if (inLength < 0 || std::size_t(inLength) < Scaler.InFrameBytes()) return S_FALSE;
  const long outSize = output->GetSize();
  // Our allocator was sized for the frame.
  if (!KIVO_TRANS_CHECK(outSize >= 0 && std::size_t(outSize) >= Scaler.OutFrameBytes())) return E_UNEXPECTED;
  if (!KIVO_TRANS_CHECK(Scaler.ScaleFrame(src, std::size_t(inLength), dst, std::size_t(outSize))))
    return E_UNEXPECTED;

  REFERENCE_TIME start = 0, stop = 0;
  hr = input->GetTime(&start, &stop);
  if (hr == S_OK)
    output->SetTime(&start, &stop);
  else if (hr == VFW_S_NO_STOP_TIME)
    output->SetTime(&start, nullptr);
  LONGLONG mediaStart = 0, mediaStop = 0;
  if (input->GetMediaTime(&mediaStart, &mediaStop) == S_OK) output->SetMediaTime(&mediaStart, &mediaStop);
  output->SetSyncPoint(input->IsSyncPoint() == S_OK);
  output->SetPreroll(input->IsPreroll() == S_OK);
  output->SetDiscontinuity(input->IsDiscontinuity() == S_OK);
  // The frame's own length: a sample keeps whatever length it carried before.
  output->SetActualDataLength(long(Scaler.OutFrameBytes()));
  return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// Media-type text

namespace {

struct TGuidName {
  const GUID* Guid;
  const wchar_t* Name;
};

// Subtypes the platform's headers do not name.
constexpr GUID FourCCSubtype(DWORD fourcc) {
  return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}
constexpr GUID kSubtypeMsMpeg4 = FourCCSubtype(0x3334504D);      // 'MP43'
constexpr GUID kSubtypeDivx = FourCCSubtype(0x58564944);         // 'DIVX'
constexpr GUID kSubtypeVoxwareMetaSound = FourCCSubtype(0x0075);  // wave format tag 0x75
constexpr GUID kSubtypeDvdPci = {0xe06d802f, 0xdb46, 0x11cf, {0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea}};
constexpr GUID kSubtypeDvdDsi = {0xe06d8030, 0xdb46, 0x11cf, {0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea}};
constexpr GUID kSubtypeDvdProvider = {0xe06d8031, 0xdb46, 0x11cf, {0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea}};

const TGuidName kMajorNames[] = {
    {&MEDIATYPE_AnalogAudio, L"AnalogAudio"}, {&MEDIATYPE_AnalogVideo, L"Analogvideo"},
    {&MEDIATYPE_Audio, L"Audio"},             {&MEDIATYPE_AUXLine21Data, L"AUXLine21Data"},
    {&MEDIATYPE_File, L"File"},               {&MEDIATYPE_Interleaved, L"Interleaved"},
    {&MEDIATYPE_LMRT, L"LMRT"},               {&MEDIATYPE_Midi, L"Midi"},
    {&MEDIATYPE_MPEG2_PES, L"MPEG2_PES"},     {&MEDIATYPE_ScriptCommand, L"ScriptCommand"},
    {&MEDIATYPE_Stream, L"Stream"},           {&MEDIATYPE_Text, L"Text"},
    {&MEDIATYPE_Timecode, L"Timecode"},       {&MEDIATYPE_URL_STREAM, L"URL_STREAM"},
    {&MEDIATYPE_Video, L"Video"},
};

#define KIVO_SUBTYPE(n) {&MEDIASUBTYPE_##n, L## #n}
const TGuidName kSubtypeNames[] = {
    KIVO_SUBTYPE(CLPL), KIVO_SUBTYPE(YUYV), KIVO_SUBTYPE(IYUV), KIVO_SUBTYPE(YVU9), KIVO_SUBTYPE(Y411),
    KIVO_SUBTYPE(Y41P), KIVO_SUBTYPE(YUY2), KIVO_SUBTYPE(YVYU), KIVO_SUBTYPE(UYVY), KIVO_SUBTYPE(Y211),
    KIVO_SUBTYPE(YV12), KIVO_SUBTYPE(CLJR), KIVO_SUBTYPE(IF09), KIVO_SUBTYPE(CPLA), KIVO_SUBTYPE(MJPG),
    KIVO_SUBTYPE(TVMJ), KIVO_SUBTYPE(WAKE), KIVO_SUBTYPE(CFCC), KIVO_SUBTYPE(IJPG), KIVO_SUBTYPE(Plum),
    KIVO_SUBTYPE(DVCS), KIVO_SUBTYPE(DVSD), KIVO_SUBTYPE(MDVF), KIVO_SUBTYPE(RGB1), KIVO_SUBTYPE(RGB4),
    KIVO_SUBTYPE(RGB8), KIVO_SUBTYPE(RGB565), KIVO_SUBTYPE(RGB555), KIVO_SUBTYPE(RGB24), KIVO_SUBTYPE(RGB32),
    KIVO_SUBTYPE(ARGB32), KIVO_SUBTYPE(Overlay), KIVO_SUBTYPE(MPEG1Packet), KIVO_SUBTYPE(MPEG1Payload),
    KIVO_SUBTYPE(MPEG1AudioPayload), KIVO_SUBTYPE(MPEG1System), KIVO_SUBTYPE(MPEG1VideoCD),
    KIVO_SUBTYPE(MPEG1Video), KIVO_SUBTYPE(MPEG1Audio), KIVO_SUBTYPE(Avi), KIVO_SUBTYPE(Asf),
    KIVO_SUBTYPE(QTMovie), KIVO_SUBTYPE(QTRpza), KIVO_SUBTYPE(QTSmc), KIVO_SUBTYPE(QTRle), KIVO_SUBTYPE(QTJpeg),
    KIVO_SUBTYPE(PCMAudio_Obsolete), KIVO_SUBTYPE(PCM), KIVO_SUBTYPE(WAVE), KIVO_SUBTYPE(AU), KIVO_SUBTYPE(AIFF),
    {&MEDIASUBTYPE_dvsd, L"dvsd"}, KIVO_SUBTYPE(dvhd), KIVO_SUBTYPE(dvsl), KIVO_SUBTYPE(Line21_BytePair),
    KIVO_SUBTYPE(Line21_GOPPacket), KIVO_SUBTYPE(Line21_VBIRawData), KIVO_SUBTYPE(DRM_Audio),
    KIVO_SUBTYPE(IEEE_FLOAT), KIVO_SUBTYPE(DOLBY_AC3_SPDIF), KIVO_SUBTYPE(RAW_SPORT), KIVO_SUBTYPE(SPDIF_TAG_241h),
    KIVO_SUBTYPE(DssVideo), KIVO_SUBTYPE(DssAudio), KIVO_SUBTYPE(VPVideo), KIVO_SUBTYPE(VPVBI),
    KIVO_SUBTYPE(AnalogVideo_NTSC_M), KIVO_SUBTYPE(AnalogVideo_PAL_B), KIVO_SUBTYPE(AnalogVideo_PAL_D),
    KIVO_SUBTYPE(AnalogVideo_PAL_G), KIVO_SUBTYPE(AnalogVideo_PAL_H), KIVO_SUBTYPE(AnalogVideo_PAL_I),
    KIVO_SUBTYPE(AnalogVideo_PAL_M), KIVO_SUBTYPE(AnalogVideo_PAL_N), KIVO_SUBTYPE(AnalogVideo_PAL_N_COMBO),
    KIVO_SUBTYPE(AnalogVideo_SECAM_B), KIVO_SUBTYPE(AnalogVideo_SECAM_D), KIVO_SUBTYPE(AnalogVideo_SECAM_G),
    KIVO_SUBTYPE(AnalogVideo_SECAM_H), KIVO_SUBTYPE(AnalogVideo_SECAM_K), KIVO_SUBTYPE(AnalogVideo_SECAM_K1),
    KIVO_SUBTYPE(AnalogVideo_SECAM_L), KIVO_SUBTYPE(MPEG2_VIDEO), KIVO_SUBTYPE(MPEG2_PROGRAM),
    KIVO_SUBTYPE(MPEG2_TRANSPORT), KIVO_SUBTYPE(MPEG2_AUDIO), KIVO_SUBTYPE(DOLBY_AC3), KIVO_SUBTYPE(DVD_SUBPICTURE),
    KIVO_SUBTYPE(DVD_LPCM_AUDIO), KIVO_SUBTYPE(DTS), KIVO_SUBTYPE(SDDS), {&kSubtypeDvdPci, L"PCI"},
    {&kSubtypeDvdDsi, L"DSI"}, {&kSubtypeDvdProvider, L"PROVIDER"}, {&kSubtypeMsMpeg4, L"MS-MPEG4"},
    {&kSubtypeDivx, L"DIVX"}, {&kSubtypeVoxwareMetaSound, L"VOXWARE_MetaSound"},
};
#undef KIVO_SUBTYPE

struct TTagName {
  WORD Tag;
  const wchar_t* Name;
};
#define KIVO_TAG(n) {WAVE_FORMAT_##n, L## #n}
const TTagName kWaveTagNames[] = {
    KIVO_TAG(PCM), KIVO_TAG(ADPCM), KIVO_TAG(IEEE_FLOAT), KIVO_TAG(IBM_CVSD), KIVO_TAG(ALAW), KIVO_TAG(MULAW),
    KIVO_TAG(OKI_ADPCM), KIVO_TAG(DVI_ADPCM), KIVO_TAG(MEDIASPACE_ADPCM), KIVO_TAG(SIERRA_ADPCM),
    KIVO_TAG(G723_ADPCM), KIVO_TAG(DIGISTD), KIVO_TAG(DIGIFIX), KIVO_TAG(DIALOGIC_OKI_ADPCM),
    KIVO_TAG(MEDIAVISION_ADPCM), KIVO_TAG(YAMAHA_ADPCM), KIVO_TAG(SONARC), KIVO_TAG(DSPGROUP_TRUESPEECH),
    KIVO_TAG(ECHOSC1), KIVO_TAG(AUDIOFILE_AF36), KIVO_TAG(APTX), KIVO_TAG(AUDIOFILE_AF10), KIVO_TAG(DOLBY_AC2),
    KIVO_TAG(GSM610), KIVO_TAG(MSNAUDIO), KIVO_TAG(ANTEX_ADPCME), KIVO_TAG(CONTROL_RES_VQLPC), KIVO_TAG(DIGIREAL),
    KIVO_TAG(DIGIADPCM), KIVO_TAG(CONTROL_RES_CR10), KIVO_TAG(NMS_VBXADPCM), KIVO_TAG(CS_IMAADPCM),
    KIVO_TAG(ECHOSC3), KIVO_TAG(ROCKWELL_ADPCM), KIVO_TAG(ROCKWELL_DIGITALK), KIVO_TAG(XEBEC),
    KIVO_TAG(G721_ADPCM), KIVO_TAG(G728_CELP), KIVO_TAG(MPEG), KIVO_TAG(MPEGLAYER3), KIVO_TAG(CIRRUS),
    KIVO_TAG(ESPCM), KIVO_TAG(VOXWARE), KIVO_TAG(CANOPUS_ATRAC), KIVO_TAG(G726_ADPCM), KIVO_TAG(G722_ADPCM),
    KIVO_TAG(DSAT), KIVO_TAG(DSAT_DISPLAY), KIVO_TAG(SOFTSOUND), KIVO_TAG(RHETOREX_ADPCM),
    KIVO_TAG(CREATIVE_ADPCM), KIVO_TAG(CREATIVE_FASTSPEECH8), KIVO_TAG(CREATIVE_FASTSPEECH10),
    KIVO_TAG(QUARTERDECK), KIVO_TAG(FM_TOWNS_SND), KIVO_TAG(BTV_DIGITAL), KIVO_TAG(OLIGSM), KIVO_TAG(OLIADPCM),
    KIVO_TAG(OLICELP), KIVO_TAG(OLISBC), KIVO_TAG(OLIOPR), KIVO_TAG(LH_CODEC), KIVO_TAG(NORRIS),
};
#undef KIVO_TAG

template <std::size_t N>
std::wstring NameOf(const TGuidName (&table)[N], const GUID& guid) {
  for (const TGuidName& entry : table)
    if (*entry.Guid == guid) return entry.Name;
  return L"UnKnown ";
}

std::wstring WaveTagName(WORD tag) {
  for (const TTagName& entry : kWaveTagNames)
    if (entry.Tag == tag) return entry.Name;
  return L"Unknown";
}

// "<compression> <w>X<h>, <bits> bits" of the bitmap header at `offset` in the format block.
std::wstring PictureText(const AM_MEDIA_TYPE& type, std::size_t offset) {
  if (!type.pbFormat || type.cbFormat < offset + sizeof(BITMAPINFOHEADER)) return L"";
  BITMAPINFOHEADER bi;
  std::memcpy(&bi, type.pbFormat + offset, sizeof(bi));
  return GetCompressionName(bi.biCompression) + L" " + std::to_wstring(bi.biWidth) + L"X" +
         std::to_wstring(bi.biHeight) + L", " + std::to_wstring(bi.biBitCount) + L" bits";
}

std::wstring FormatText(const AM_MEDIA_TYPE& type) {
  const GUID& f = type.formattype;
  if (f == FORMAT_VideoInfo) return L"VideoInfo " + PictureText(type, offsetof(VIDEOINFOHEADER, bmiHeader));
  if (f == FORMAT_VideoInfo2) return L"VideoInfo2 " + PictureText(type, offsetof(VIDEOINFOHEADER2, bmiHeader));
  if (f == FORMAT_WaveFormatEx) {
    std::wstring text = L"WaveFormatEx: ";
    if (type.pbFormat && type.cbFormat >= sizeof(WAVEFORMAT) + sizeof(WORD)) {
      WAVEFORMATEX wf{};
      std::memcpy(&wf, type.pbFormat, std::min<std::size_t>(type.cbFormat, sizeof(wf)));
      text += WaveTagName(wf.wFormatTag) + L", " + std::to_wstring(wf.nSamplesPerSec) + L" Hertz, " +
              std::to_wstring(wf.wBitsPerSample) + L" Bits, " + std::to_wstring(wf.nChannels) + L" Channels";
    }
    return text;
  }
  if (f == FORMAT_MPEGVideo) return L"MPEGVideo " + PictureText(type, offsetof(VIDEOINFOHEADER, bmiHeader));
  if (f == FORMAT_MPEG2Video) return L"MPEGStreams " + PictureText(type, offsetof(VIDEOINFOHEADER2, bmiHeader));
  if (f == FORMAT_DvInfo) return L"DvInfo";
  if (f == FORMAT_MPEGStreams) return L"MPEGStreams";
  if (f == FORMAT_DolbyAC3) return L"DolbyAC3";
  if (f == FORMAT_MPEG2Audio) return L"MPEG2Audio";
  if (f == FORMAT_DVD_LPCMAudio) return L"DVD_LPCMAudio";
  return L"Unknown";
}

}  // namespace

std::wstring MediaTypeText(const AM_MEDIA_TYPE& type) {
  return L"Major Type: " + NameOf(kMajorNames, type.majortype) + L" - Sub Type: " +
         NameOf(kSubtypeNames, type.subtype) + L" Format: " + FormatText(type);
}

}  // namespace kivo
