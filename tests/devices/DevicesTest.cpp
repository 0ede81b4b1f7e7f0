// The test devices as a plain DirectShow program meets them in the test prefix: listed as hardware by
// the system device enumerator, bound through their monikers, streaming through real graphs with
// the colour converter, saved and loaded as stored monikers, and plugged in and out at run time.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>
#include <dshow.h>
#include <mmreg.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "DSUtil.h"
#include "GraphSupport.h"
#include "PatternFrame.h"
#include "TestDevices.h"

using namespace kivo;
using namespace kivo::test;
using namespace kivo::testdev;

namespace {

constexpr REFERENCE_TIME kFrameTime = 400000;

std::string Narrow(const std::wstring& s) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), int(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), int(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = wchar_t(std::towlower(c));
  return s;
}

std::wstring DisplayNameOf(IMoniker* m) {
  LPOLESTR text = nullptr;
  if (!m || FAILED(m->GetDisplayName(nullptr, nullptr, &text)) || !text) return L"";
  std::wstring s = text;
  ::CoTaskMemFree(text);
  return s;
}

std::wstring ReadBagText(IMoniker* m, const wchar_t* name) {
  TComPtr<IPropertyBag> bag;
  if (FAILED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) return L"<no bag>";
  VARIANT v;
  ::VariantInit(&v);
  if (FAILED(bag->Read(name, &v, nullptr)) || V_VT(&v) != VT_BSTR) return L"<no value>";
  std::wstring s = V_BSTR(&v);
  ::VariantClear(&v);
  return s;
}

struct TEnumerated {
  std::wstring DisplayName, FriendlyName;
  TComPtr<IMoniker> Moniker;
};

// A category as a plain client enumerates it.
std::vector<TEnumerated> Enumerate(const GUID& category, DWORD flags = 0, HRESULT* result = nullptr) {
  std::vector<TEnumerated> list;
  TComPtr<ICreateDevEnum> devEnum;
  EXPECT_EQ(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               devEnum.PutVoid()),
            S_OK);
  if (!devEnum) return list;
  TComPtr<IEnumMoniker> monikers;
  HRESULT hr = devEnum->CreateClassEnumerator(category, monikers.Put(), flags);
  if (result) *result = hr;
  if (hr != S_OK) return list;
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK)
    list.push_back({DisplayNameOf(m.Get()), ReadBagText(m.Get(), L"FriendlyName"), m});
  return list;
}

// The entries a camera list shows: those that are not software devices.
std::vector<TEnumerated> Hardware(const std::vector<TEnumerated>& all) {
  std::vector<TEnumerated> list;
  for (const auto& e : all)
    if (Lower(e.DisplayName).find(L"device:sw") == std::wstring::npos) list.push_back(e);
  return list;
}

TComPtr<IMoniker> MonikerOf(const TDeviceEntry& device) {
  for (auto& e : Enumerate(device.Category))
    if (e.DisplayName == device.DisplayName()) return e.Moniker;
  return {};
}

TComPtr<IBaseFilter> Bind(IMoniker* m, HRESULT* result = nullptr) {
  TComPtr<IBaseFilter> filter;
  HRESULT hr = m ? m->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()) : E_POINTER;
  if (result) *result = hr;
  return filter;
}

// What the sample callback saw of one frame.
struct TFrame {
  TPatternReading Reading;
  bool HasTime = false;
  REFERENCE_TIME Start = 0;
  double Ms = 0;
};

class TFrameSink : public TGrabberCallback, public TRecordLog<TFrame> {
 public:
  TFrameSink(int width, int height) : Width(width), Height(height) {}
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    TFrame f;
    BYTE* data = nullptr;
    if (SUCCEEDED(sample->GetPointer(&data)) && sample->GetActualDataLength() >= long(FrameBytes(Width, Height)))
      f.Reading = ReadPattern(data, Width, Height);
    REFERENCE_TIME stop;
    f.HasTime = sample->GetTime(&f.Start, &stop) == S_OK;
    f.Ms = NowMs();
    Add(std::move(f));
    return S_OK;
  }

 private:
  int Width, Height;
};

// Sets the camera's output pin to `subtype` at width x height through IAMStreamConfig.
HRESULT ChooseFormat(IBaseFilter* camera, const GUID& subtype, LONG width, LONG height) {
  TComPtr<IAMStreamConfig> config;
  HRESULT hr = FindPinOf(camera, PINDIR_OUTPUT)->QueryInterface(IID_IAMStreamConfig, config.PutVoid());
  if (FAILED(hr)) return hr;
  int count = 0, size = 0;
  hr = config->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> caps(static_cast<size_t>(size));
  for (int i = 0; i < count; ++i) {
    AM_MEDIA_TYPE* mt = nullptr;
    if (config->GetStreamCaps(i, &mt, caps.data()) != S_OK) continue;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
    const bool match = mt->subtype == subtype && vih->bmiHeader.biWidth == width && vih->bmiHeader.biHeight == height;
    if (match) hr = config->SetFormat(mt);
    DeleteMediaType(mt);
    if (match) return hr;
  }
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

int g_deviceChanges = 0;

LRESULT CALLBACK DeviceChangeProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DEVICECHANGE && wp == DBT_DEVNODES_CHANGED) ++g_deviceChanges;
  return ::DefWindowProcW(w, m, wp, lp);
}

TComPtr<IBaseFilter> BindConverter() {
  TComPtr<IMoniker> m = ParseMoniker(kConverterDisplayName);
  return Bind(m.Get());
}

}  // namespace

class Devices : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::string why;
    ASSERT_TRUE(TestDevicesInstalled(&why)) << why;
  }
  void TearDown() override { ::CoUninitialize(); }
};

TEST_F(Devices, EnumeratorListsTheTestDevicesAsHardwareAfterWinesOwn) {
  const auto video = Enumerate(CLSID_VideoInputDeviceCategory);
  const auto cameras = Hardware(video);
  const auto& defaults = DefaultDevices();
  ASSERT_GE(cameras.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cameras[size_t(i)].FriendlyName, defaults[size_t(i)].FriendlyName);
    EXPECT_EQ(cameras[size_t(i)].DisplayName, defaults[size_t(i)].DisplayName());
    EXPECT_EQ(cameras[size_t(i)].DisplayName.rfind(L"@device:pnp:\\\\?\\usb#vid_kv0", 0), 0u);
    EXPECT_EQ(ReadBagText(cameras[size_t(i)].Moniker.Get(), L"CLSID"), GuidString(CLSID_PatternCamera));
    EXPECT_EQ(ReadBagText(cameras[size_t(i)].Moniker.Get(), L"DevicePath"), defaults[size_t(i)].DevicePath);
  }
  // Wine's own entries (software devices, such as a registered virtual camera) come first.
  const size_t firstCamera = size_t(std::find_if(video.begin(), video.end(), [&](const TEnumerated& e) {
                                      return e.DisplayName == defaults[0].DisplayName();
                                    }) - video.begin());
  EXPECT_EQ(firstCamera, video.size() - cameras.size());

  // Microphones: the stereo mix after the plain one, and both bind the microphone driver.
  const auto mics = Hardware(Enumerate(CLSID_AudioInputDeviceCategory));
  ASSERT_GE(mics.size(), 2u);
  EXPECT_EQ(mics[0].FriendlyName, defaults[2].FriendlyName);
  EXPECT_EQ(mics[1].FriendlyName, defaults[3].FriendlyName);
  EXPECT_NE(mics[1].FriendlyName.find(L"\x6DF7\x97F3"), std::wstring::npos);  // 混音
  CLSID clsid{};
  auto mic = Bind(mics[1].Moniker.Get());
  ASSERT_TRUE(mic);
  EXPECT_EQ(mic->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestMicrophone);

  // Kinds of device the caller did not ask for are left out; an empty category is S_FALSE.
  EXPECT_TRUE(Hardware(Enumerate(CLSID_VideoInputDeviceCategory, CDEF_DEVMON_CMGR_DEVICE)).empty());
  EXPECT_EQ(Hardware(Enumerate(CLSID_VideoInputDeviceCategory, CDEF_DEVMON_PNP_DEVICE)).size(), cameras.size());
  HRESULT hr = E_FAIL;
  const GUID nothing = {0x1b2c3d4e, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
  EXPECT_TRUE(Enumerate(nothing, 0, &hr).empty());
  EXPECT_EQ(hr, S_FALSE);
  TComPtr<ICreateDevEnum> devEnum;
  ASSERT_EQ(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               devEnum.PutVoid()),
            S_OK);
  EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, nullptr, 0), E_POINTER);
  // Wine's categories still answer through it.
  EXPECT_FALSE(Enumerate(CLSID_LegacyAmFilterCategory).empty());
}

TEST_F(Devices, CameraStreamsThroughTheConverterAsTheCameraWindowBuildsIt) {
  struct TCase {
    int Camera;  // index into the defaults
    std::optional<GUID> Subtype;  // chosen with IAMStreamConfig, else the camera's first format
    LONG Width, Height;
    GUID Delivered;
  };
  const TCase cases[] = {
      {0, MEDIASUBTYPE_RGB24, 320, 240, MEDIASUBTYPE_RGB24},
      {0, MEDIASUBTYPE_RGB24, 640, 480, MEDIASUBTYPE_RGB24},
      {0, MEDIASUBTYPE_YUY2, 640, 480, MEDIASUBTYPE_YUY2},
      {1, std::nullopt, 640, 480, MEDIASUBTYPE_YUY2},
  };
  for (const auto& c : cases) {
    const TDeviceEntry& device = DefaultDevices()[size_t(c.Camera)];
    SCOPED_TRACE(Narrow(device.FriendlyName) + " " + std::to_string(c.Width) + "x" + std::to_string(c.Height));
    TGraph graph(TGraph::DefaultClock);
    TComPtr<IBaseFilter> camera = Bind(MonikerOf(device).Get());
    TComPtr<IBaseFilter> converter = BindConverter();
    TFrameSink sink(c.Width, c.Height);
    TComPtr<IBaseFilter> grabber, renderer;
    ASSERT_TRUE(camera && converter);
    ASSERT_EQ(MakeGrabber(grabber, &sink), S_OK);
    ASSERT_EQ(::CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 renderer.PutVoid()),
              S_OK);
    if (c.Subtype) {
      ASSERT_EQ(ChooseFormat(camera.Get(), *c.Subtype, c.Width, c.Height), S_OK);
    }
    ASSERT_EQ(graph.Add(camera.Get(), L"Camera"), S_OK);
    ASSERT_EQ(graph.Add(converter.Get(), L"Converter"), S_OK);
    ASSERT_EQ(graph.Add(grabber.Get(), L"Grabber"), S_OK);
    ASSERT_EQ(graph.Add(renderer.Get(), L"Renderer"), S_OK);
    TComPtr<IVideoWindow> window;
    ASSERT_EQ(graph.Graph->QueryInterface(IID_IVideoWindow, window.PutVoid()), S_OK);
    TComPtr<ICaptureGraphBuilder2> builder;
    ASSERT_EQ(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ICaptureGraphBuilder2, builder.PutVoid()),
              S_OK);
    ASSERT_EQ(builder->SetFiltergraph(graph.Graph.Get()), S_OK);
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, camera.Get(), nullptr, converter.Get()), S_OK);
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, converter.Get(), grabber.Get(), renderer.Get()), S_OK);
    window->put_AutoShow(OAFALSE);

    // The camera feeds the converter in the chosen format; the grabber gets RGB24 at the same size.
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(FindPinOf(converter.Get(), PINDIR_INPUT)->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, c.Delivered);
    FreeMediaType(mt);
    ASSERT_EQ(FindPinOf(grabber.Get(), PINDIR_INPUT)->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    EXPECT_EQ(vih->bmiHeader.biWidth, c.Width);
    EXPECT_EQ(vih->bmiHeader.biHeight, c.Height);
    FreeMediaType(mt);

    ASSERT_TRUE(SUCCEEDED(graph.Control->Run()));
    const bool came = sink.WaitFor(15, 10000);
    graph.Control->Stop();
    ASSERT_TRUE(came) << sink.Count() << " frames";

    const auto frames = sink.All();
    for (size_t i = 0; i < frames.size(); ++i) {
      const TPatternReading& r = frames[i].Reading;
      ASSERT_TRUE(r.Found) << "frame " << i << ": " << r.Describe();
      EXPECT_EQ(r.Camera, int(device.Pattern));
      EXPECT_EQ(r.SourceWidth, c.Width);
      EXPECT_EQ(r.SourceHeight, c.Height);
      // Neither scaled, moved nor flipped, and nothing else in it.
      EXPECT_DOUBLE_EQ(r.ScaleX, 1.0) << r.Describe();
      EXPECT_DOUBLE_EQ(r.ScaleY, 1.0) << r.Describe();
      EXPECT_NEAR(r.OffsetX, 0, 0.01);
      EXPECT_NEAR(r.OffsetY, 0, 0.01);
      EXPECT_FALSE(r.Mixed()) << r.Describe();
      // Frame n carries the times n x 40 ms.
      EXPECT_TRUE(frames[i].HasTime);
      EXPECT_EQ(frames[i].Start, REFERENCE_TIME(r.Counter) * kFrameTime);
      if (i > 0) {
        EXPECT_GT(r.Counter, frames[i - 1].Reading.Counter);
      }
    }
    const double seconds = (frames.back().Ms - frames.front().Ms) / 1000;
    std::printf("%s: %zu frames, counters %u to %u, %.1f frames a second\n", Narrow(device.FriendlyName).c_str(),
                frames.size(), unsigned(frames.front().Reading.Counter), unsigned(frames.back().Reading.Counter),
                seconds > 0 ? (frames.size() - 1) / seconds : 0.0);
  }
}

TEST_F(Devices, CameraPinIsConfiguredAsACapturePin) {
  TComPtr<IBaseFilter> camera = Bind(MonikerOf(DefaultDevices()[0]).Get());
  ASSERT_TRUE(camera);
  TComPtr<IPin> pin = FindPinOf(camera.Get(), PINDIR_OUTPUT);
  ASSERT_TRUE(pin);
  TComPtr<IKsPropertySet> ks;
  ASSERT_EQ(pin->QueryInterface(IID_IKsPropertySet, ks.PutVoid()), S_OK);
  const GUID pinSet = {0x9b00f101, 0x1567, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
  const GUID capture = {0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};
  GUID category{};
  DWORD returned = 0;
  EXPECT_EQ(ks->Get(pinSet, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned), S_OK);
  EXPECT_EQ(category, capture);
  EXPECT_EQ(returned, sizeof(GUID));

  // Its formats, also through the filter as capture programs ask.
  TComPtr<IAMStreamConfig> config;
  ASSERT_EQ(camera->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
  int count = 0, size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(size, int(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  const struct {
    GUID Subtype;
    LONG Width, Height;
    DWORD Bytes;
  } formats[] = {{MEDIASUBTYPE_RGB24, 320, 240, 230400},
                 {MEDIASUBTYPE_RGB24, 640, 480, 921600},
                 {MEDIASUBTYPE_YUY2, 640, 480, 614400},
                 {MEDIASUBTYPE_YUY2, 320, 240, 153600}};
  ASSERT_EQ(count, 4);
  std::vector<AM_MEDIA_TYPE*> types;
  for (int i = 0; i < count; ++i) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(config->GetStreamCaps(i, &mt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    types.push_back(mt);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
    EXPECT_EQ(mt->subtype, formats[i].Subtype) << i;
    EXPECT_EQ(vih->bmiHeader.biWidth, formats[i].Width) << i;
    EXPECT_EQ(vih->bmiHeader.biHeight, formats[i].Height) << i;
    EXPECT_EQ(vih->bmiHeader.biSizeImage, formats[i].Bytes) << i;
    EXPECT_EQ(vih->AvgTimePerFrame, kFrameTime) << i;
    EXPECT_EQ(caps.MaxOutputSize.cx, formats[i].Width) << i;
    EXPECT_EQ(caps.MinFrameInterval, kFrameTime) << i;
  }
  AM_MEDIA_TYPE* none = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps{};
  EXPECT_EQ(config->GetStreamCaps(count, &none, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
  EXPECT_EQ(config->GetStreamCaps(-1, &none, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
  EXPECT_EQ(config->SetFormat(nullptr), E_POINTER);
  reinterpret_cast<VIDEOINFOHEADER*>(types[0]->pbFormat)->bmiHeader.biWidth = 800;
  EXPECT_EQ(config->SetFormat(types[0]), VFW_E_INVALIDMEDIATYPE);

  // Connected to a grabber that takes RGB24: another RGB24 size reconnects the pins, YUY2 is refused.
  TGraph graph;
  TFrameSink sink(640, 480);
  TComPtr<IBaseFilter> grabber, renderer;
  ASSERT_EQ(MakeGrabberAndRenderer(grabber, renderer, &sink), S_OK);
  ASSERT_EQ(graph.Add(camera.Get(), L"Camera"), S_OK);
  ASSERT_EQ(graph.Add(grabber.Get(), L"Grabber"), S_OK);
  ASSERT_EQ(graph.Add(renderer.Get(), L"Renderer"), S_OK);
  ASSERT_EQ(graph.Link(camera.Get(), grabber.Get()), S_OK);
  ASSERT_EQ(graph.Link(grabber.Get(), renderer.Get()), S_OK);
  auto connectedWidth = [&] {
    AM_MEDIA_TYPE mt{};
    if (pin->ConnectionMediaType(&mt) != S_OK) return LONG(-1);
    const LONG w = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth;
    FreeMediaType(mt);
    return w;
  };
  EXPECT_EQ(connectedWidth(), 320);
  EXPECT_EQ(config->SetFormat(types[1]), S_OK);
  EXPECT_EQ(connectedWidth(), 640);
  AM_MEDIA_TYPE* current = nullptr;
  ASSERT_EQ(config->GetFormat(&current), S_OK);
  EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(current->pbFormat)->bmiHeader.biHeight, 480);
  DeleteMediaType(current);
  EXPECT_EQ(config->SetFormat(types[2]), VFW_E_INVALIDMEDIATYPE);
  EXPECT_EQ(connectedWidth(), 640);
  // It streams what it agreed; while it runs the format stays.
  ASSERT_TRUE(SUCCEEDED(graph.Control->Run()));
  ASSERT_TRUE(sink.WaitFor(2, 10000));
  EXPECT_EQ(config->SetFormat(types[1]), VFW_E_NOT_STOPPED);
  graph.Control->Stop();
  const TPatternReading r = sink.All().front().Reading;
  EXPECT_TRUE(r.Found && r.SourceWidth == 640) << r.Describe();
  for (auto* mt : types) DeleteMediaType(mt);
}

TEST_F(Devices, StoredMonikersComeBackFromTheirBytesAndBindAgain) {
  const struct {
    const char* Name;
    TComPtr<IMoniker> Moniker;
    CLSID Clsid;
  } cases[] = {
      {"camera", MonikerOf(DefaultDevices()[0]), CLSID_PatternCamera},
      {"microphone", MonikerOf(DefaultDevices()[3]), CLSID_TestMicrophone},
      {"converter", ParseMoniker(kConverterDisplayName), CLSID_ColourConverter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(c.Moniker);
    const std::wstring name = DisplayNameOf(c.Moniker.Get());
    // Saved as the platform saves device monikers: class, byte count, the name with its NUL.
    TComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
    TComPtr<IPersistStream> persist;
    ASSERT_EQ(c.Moniker.As(persist), S_OK);
    ASSERT_EQ(::OleSaveToStream(persist.Get(), stream.Get()), S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    std::vector<BYTE> bytes(size_t(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(stream->Read(bytes.data(), ULONG(bytes.size()), nullptr), S_OK);
    ASSERT_EQ(bytes.size(), 20 + (name.size() + 1) * 2);
    if (c.Clsid == CLSID_ColourConverter) {
      EXPECT_EQ(bytes.size(), 198u);  // as KivoApp's forms store it
    }
    EXPECT_EQ(std::memcmp(bytes.data(), &CLSID_CDeviceMoniker, 16), 0);
    EXPECT_EQ(*reinterpret_cast<const int32_t*>(bytes.data() + 16), int32_t((name.size() + 1) * 2));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 20)), name);

    // Loaded back in a fresh stream, it is the same moniker and binds the same driver.
    TComPtr<IStream> again;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, again.Put()), S_OK);
    ASSERT_EQ(again->Write(bytes.data(), ULONG(bytes.size()), nullptr), S_OK);
    ASSERT_EQ(again->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    TComPtr<IMoniker> loaded;
    ASSERT_EQ(::OleLoadFromStream(again.Get(), IID_IMoniker, loaded.PutVoid()), S_OK);
    EXPECT_EQ(DisplayNameOf(loaded.Get()), name);
    EXPECT_EQ(loaded->IsEqual(c.Moniker.Get()), S_OK);
    CLSID clsid{};
    auto filter = Bind(loaded.Get());
    ASSERT_TRUE(filter);
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, c.Clsid);

    // KivoApp's stored filter keeps and restores the same bytes.
    TBaseFilter stored;
    stored.SetMoniker(c.Moniker.Get());
    ASSERT_EQ(stored.DataLength(), bytes.size());
    EXPECT_EQ(std::memcmp(stored.Data(), bytes.data(), bytes.size()), 0);
    EXPECT_TRUE(stored.BindFilter());
  }

  // A stored camera that is not plugged in parses, but does not bind; damaged bytes do not load.
  TComPtr<IMoniker> absent = ParseMoniker(MakeCamera(99, L"Absent").DisplayName());
  ASSERT_TRUE(absent);
  HRESULT hr = S_OK;
  EXPECT_FALSE(Bind(absent.Get(), &hr));
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
  const BYTE damaged[] = {0x37, 0xD4, 0x15, 0x43, 0x8C, 0x5B, 0xD0, 0x11, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11,
                          0xCE, 0x86, 0x07, 0x00, 0x00, 0x00, 'a', 0};
  TComPtr<IStream> stream;
  ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  ASSERT_EQ(stream->Write(damaged, sizeof(damaged), nullptr), S_OK);
  LARGE_INTEGER zero{};
  ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
  TComPtr<IMoniker> none;
  EXPECT_TRUE(FAILED(::OleLoadFromStream(stream.Get(), IID_IMoniker, none.PutVoid())));
}

TEST_F(Devices, MicrophoneAnswersTheMixerCallsAndDeliversTheTone) {
  const TDeviceEntry& device = DefaultDevices()[3];  // the stereo mix, 1000 Hz
  TComPtr<IBaseFilter> mic = Bind(MonikerOf(device).Get());
  ASSERT_TRUE(mic);
  // Its input pins are the mixer lines, each with the mixer interface; line 1 records at first.
  std::vector<TComPtr<IAMAudioInputMixer>> lines;
  for (int i = 0;; ++i) {
    TComPtr<IPin> pin = FindPinOf(mic.Get(), PINDIR_INPUT, i);
    if (!pin) break;
    PIN_INFO info{};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    if (info.pFilter) info.pFilter->Release();
    EXPECT_EQ(std::wstring(info.achName), L"Line " + std::to_wstring(i + 1));
    lines.emplace_back();
    ASSERT_EQ(pin->QueryInterface(IID_IAMAudioInputMixer, lines.back().PutVoid()), S_OK);
  }
  ASSERT_EQ(lines.size(), 3u);
  auto enabled = [&] {
    std::vector<int> on;
    for (size_t i = 0; i < lines.size(); ++i) {
      BOOL e = -1;
      EXPECT_EQ(lines[i]->get_Enable(&e), S_OK);
      if (e) on.push_back(int(i));
    }
    return on;
  };
  EXPECT_EQ(enabled(), std::vector<int>{0});
  ASSERT_EQ(lines[1]->put_Enable(TRUE), S_OK);
  EXPECT_EQ(enabled(), std::vector<int>{1});
  double level = 0;
  EXPECT_EQ(lines[1]->put_MixLevel(0.5), S_OK);
  EXPECT_EQ(lines[1]->get_MixLevel(&level), S_OK);
  EXPECT_EQ(level, 0.5);
  EXPECT_EQ(lines[1]->put_MixLevel(1.5), E_INVALIDARG);
  EXPECT_EQ(lines[1]->get_Treble(&level), E_NOTIMPL);

  // The recorder's rule (highest rate, then most channels) picks 48000 Hz stereo among its formats.
  TComPtr<IPin> out = FindPinOf(mic.Get(), PINDIR_OUTPUT);
  ASSERT_TRUE(out);
  TComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(out->EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* best = nullptr;
  AM_MEDIA_TYPE* mt = nullptr;
  int count = 0;
  while (types->Next(1, &mt, nullptr) == S_OK) {
    ++count;
    ASSERT_EQ(mt->formattype, FORMAT_WaveFormatEx);
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
    const auto* b = best ? reinterpret_cast<const WAVEFORMATEX*>(best->pbFormat) : nullptr;
    if (!b || wf->nSamplesPerSec > b->nSamplesPerSec ||
        (wf->nSamplesPerSec == b->nSamplesPerSec && wf->nChannels > b->nChannels)) {
      DeleteMediaType(best);
      best = mt;
    } else {
      DeleteMediaType(mt);
    }
  }
  EXPECT_EQ(count, 5);
  ASSERT_TRUE(best);
  const WAVEFORMATEX wf = *reinterpret_cast<const WAVEFORMATEX*>(best->pbFormat);
  EXPECT_EQ(wf.nSamplesPerSec, 48000u);
  EXPECT_EQ(wf.nChannels, 2);
  TComPtr<IAMStreamConfig> config;
  ASSERT_EQ(out.As(config), S_OK);
  EXPECT_EQ(config->SetFormat(best), S_OK);
  DeleteMediaType(best);

  // Recorded through a grabber: line 2 plays 2000 Hz at half level, exactly as ToneSample says.
  struct TSink : TGrabberCallback, TRecordLog<std::pair<REFERENCE_TIME, std::vector<short>>> {
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* s) override {
      BYTE* p = nullptr;
      REFERENCE_TIME start = -1, stop;
      s->GetPointer(&p);
      s->GetTime(&start, &stop);
      const auto* v = reinterpret_cast<const short*>(p);
      Add({start, std::vector<short>(v, v + s->GetActualDataLength() / 2)});
      return S_OK;
    }
  } sink;
  TGraph graph(TGraph::DefaultClock);
  TComPtr<IBaseFilter> grabber, renderer;
  ASSERT_EQ(MakeGrabberAndRenderer(grabber, renderer, &sink), S_OK);
  TComPtr<ISampleGrabber> sg;
  ASSERT_EQ(grabber.As(sg), S_OK);
  AM_MEDIA_TYPE audio{};
  audio.majortype = MEDIATYPE_Audio;
  audio.subtype = MEDIASUBTYPE_PCM;
  ASSERT_EQ(sg->SetMediaType(&audio), S_OK);
  ASSERT_EQ(graph.Add(mic.Get(), L"Microphone"), S_OK);
  ASSERT_EQ(graph.Add(grabber.Get(), L"Grabber"), S_OK);
  ASSERT_EQ(graph.Add(renderer.Get(), L"Renderer"), S_OK);
  ASSERT_EQ(graph.Link(mic.Get(), grabber.Get()), S_OK);
  ASSERT_EQ(graph.Link(grabber.Get(), renderer.Get()), S_OK);
  ASSERT_TRUE(SUCCEEDED(graph.Control->Run()));
  const bool came = sink.WaitFor(6, 10000);
  graph.Control->Stop();
  ASSERT_TRUE(came);
  long long expectedStart = 0;
  for (const auto& [start, samples] : sink.All()) {
    ASSERT_EQ(samples.size(), 48000u / 25 * 2);
    EXPECT_EQ(start, expectedStart * 10000000 / 48000);  // buffers follow each other without a gap
    for (size_t i = 0; i < samples.size(); ++i)
      ASSERT_EQ(samples[i], ToneSample(2000, 48000, expectedStart + i / 2, 0.5)) << "sample " << i;
    expectedStart += 48000 / 25;
  }
}

TEST_F(Devices, CamerasComeAndGoAtRunTime) {
  // A window that hears of device changes, as KivoApp's main window does.
  int& changes = g_deviceChanges;
  changes = 0;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &DeviceChangeProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KivoDeviceChangeListener";
  ::RegisterClassW(&wc);
  TWindowOwner listener(::CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                                        nullptr));
  ASSERT_TRUE(listener);

  const TDeviceEntry seventh = MakeCamera(7, L"Kivo Test Camera 7", L"RGB24 160x120");
  RemoveDevice(seventh);  // left over by a run that did not finish
  const size_t before = Hardware(Enumerate(CLSID_VideoInputDeviceCategory)).size();
  TScopedDevice plugged(seventh);
  ASSERT_EQ(plugged.Result(), S_OK);
  EXPECT_EQ(changes, 1);
  const auto cameras = Hardware(Enumerate(CLSID_VideoInputDeviceCategory));
  ASSERT_EQ(cameras.size(), before + 1);
  EXPECT_EQ(cameras.back().FriendlyName, seventh.FriendlyName);

  // It streams its own number at its own size...
  TGraph graph(TGraph::DefaultClock);
  TComPtr<IBaseFilter> camera = Bind(cameras.back().Moniker.Get());
  TFrameSink sink(160, 120);
  TComPtr<IBaseFilter> grabber, renderer;
  ASSERT_TRUE(camera);
  ASSERT_EQ(MakeGrabberAndRenderer(grabber, renderer, &sink), S_OK);
  ASSERT_EQ(graph.Add(camera.Get(), L"Camera"), S_OK);
  ASSERT_EQ(graph.Add(grabber.Get(), L"Grabber"), S_OK);
  ASSERT_EQ(graph.Add(renderer.Get(), L"Renderer"), S_OK);
  ASSERT_EQ(graph.Link(camera.Get(), grabber.Get()), S_OK);
  ASSERT_EQ(graph.Link(grabber.Get(), renderer.Get()), S_OK);
  ASSERT_TRUE(SUCCEEDED(graph.Control->Run()));
  ASSERT_TRUE(sink.WaitFor(3, 10000));
  const TPatternReading first = sink.All().front().Reading;
  EXPECT_TRUE(first.Found) << first.Describe();
  EXPECT_EQ(first.Camera, 7);
  EXPECT_EQ(first.SourceWidth, 160);

  // ...until it is pulled out: the windows hear of it, the graph is told, the list no longer has it.
  EXPECT_EQ(plugged.Remove(), S_OK);
  EXPECT_EQ(changes, 2);
  bool lost = false;
  for (int i = 0; i < 100 && !lost; ++i) {
    long code;
    LONG_PTR p1, p2;
    if (graph.Events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
      lost = code == EC_DEVICE_LOST;
      graph.Events->FreeEventParams(code, p1, p2);
    }
  }
  EXPECT_TRUE(lost);
  graph.Control->Stop();
  EXPECT_EQ(Hardware(Enumerate(CLSID_VideoInputDeviceCategory)).size(), before);
  HRESULT hr = S_OK;
  EXPECT_FALSE(Bind(cameras.back().Moniker.Get(), &hr));
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
  // The filter it left cannot start again.
  // (Wine's Run answers S_FALSE and runs the graph later; the failure shows in its state.)
  const HRESULT run = graph.Control->Run();
  OAFilterState state = -1;
  EXPECT_TRUE(FAILED(run) || FAILED(graph.Control->GetState(2000, &state))) << Hex(run);
  EXPECT_EQ(camera->Pause(), HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
  graph.Control->Stop();
}
