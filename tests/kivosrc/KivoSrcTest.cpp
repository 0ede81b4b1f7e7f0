// KivoSrc's filter and pin, loaded from kivosrc.ax into this process as COM would load it: the
// interfaces capture programs ask for, the one offered type, and streaming into Wine's grabber.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "GraphSupport.h"
#include "KVSection.h"
#include "KivoSrcCommon.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const GUID kPinSet = {0x9b00f101, 0x1567, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
const GUID kCaptureCategory = {0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

class KivoSrc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Ax.Load(ModuleDir() + L"kivosrc.ax"));
    ASSERT_TRUE(Ax.GetClassObject && Ax.CanUnloadNow);
    ASSERT_EQ(Ax.GetClassObject(kKivoSrcClsid, IID_IClassFactory, Factory.PutVoid()), S_OK);
    ASSERT_EQ(Factory->CreateInstance(nullptr, IID_IBaseFilter, Filter.PutVoid()), S_OK);
    Pin = FindPinOf(Filter.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(Pin);
  }
  void TearDown() override {
    Pin.Reset();
    Filter.Reset();
    Factory.Reset();
    if (Ax.CanUnloadNow) {
      EXPECT_EQ(Ax.CanUnloadNow(), S_OK) << "every object of the plug-in is gone";
    }
  }
  TComPtr<IAMStreamConfig> Config() {
    TComPtr<IAMStreamConfig> c;
    Pin->QueryInterface(IID_IAMStreamConfig, c.PutVoid());
    return c;
  }
  static void ExpectOfferedType(const AM_MEDIA_TYPE& mt) {
    EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(mt.formattype, FORMAT_VideoInfo);
    EXPECT_TRUE(mt.bFixedSizeSamples);
    EXPECT_FALSE(mt.bTemporalCompression);
    EXPECT_EQ(mt.lSampleSize, 230400u);
    ASSERT_EQ(mt.cbFormat, sizeof(VIDEOINFOHEADER));
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    EXPECT_EQ(vih->AvgTimePerFrame, 400000);
    EXPECT_EQ(vih->bmiHeader.biWidth, 320);
    EXPECT_EQ(vih->bmiHeader.biHeight, 240);
    EXPECT_EQ(vih->bmiHeader.biBitCount, 24);
    EXPECT_EQ(vih->bmiHeader.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(vih->bmiHeader.biSizeImage, 230400u);
    EXPECT_TRUE(::IsRectEmpty(&vih->rcSource) && ::IsRectEmpty(&vih->rcTarget));
  }
  static void Free(AM_MEDIA_TYPE* mt) {
    if (!mt) return;
    ::CoTaskMemFree(mt->pbFormat);
    if (mt->pUnk) mt->pUnk->Release();
    ::CoTaskMemFree(mt);
  }

  TComInit Com;
  TPluginModule Ax;
  TComPtr<IClassFactory> Factory;
  TComPtr<IBaseFilter> Filter;
  TComPtr<IPin> Pin;
};

TEST_F(KivoSrc, StreamConfigAnswersFromFilterAndPin) {
  TComPtr<IAMStreamConfig> fromPin = Config(), fromFilter;
  ASSERT_TRUE(fromPin);
  ASSERT_EQ(Filter->QueryInterface(IID_IAMStreamConfig, fromFilter.PutVoid()), S_OK);
  EXPECT_EQ(fromFilter.Get(), fromPin.Get()) << "the filter hands out its pin's interface";

  int count = 0, size = 0;
  EXPECT_EQ(fromFilter->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(size, 128);
  for (int index : {0, 1, 7, 100000}) {
    SCOPED_TRACE(index);
    AM_MEDIA_TYPE* mt = nullptr;
    BYTE caps[128];
    std::memset(caps, 0xCD, sizeof(caps));
    ASSERT_EQ(fromPin->GetStreamCaps(index, &mt, caps), S_OK);
    ASSERT_TRUE(mt);
    ExpectOfferedType(*mt);
    Free(mt);
    VIDEO_STREAM_CONFIG_CAPS expected;
    std::memset(&expected, 0, sizeof(expected));
    expected.guid = FORMAT_VideoInfo;
    expected.MinFrameInterval = 400000;
    expected.MaxFrameInterval = 666666;
    EXPECT_EQ(std::memcmp(caps, &expected, sizeof(caps)), 0) << "all other fields zero";
  }
  AM_MEDIA_TYPE* mt = nullptr;
  ASSERT_EQ(fromPin->GetFormat(&mt), S_OK);
  ExpectOfferedType(*mt);

  // SetFormat: the offered type is taken, any other refused, null refused; the offer never changes.
  EXPECT_EQ(fromPin->SetFormat(nullptr), E_POINTER);
  EXPECT_EQ(fromPin->SetFormat(mt), S_OK);
  reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->AvgTimePerFrame = 333333;
  EXPECT_EQ(fromPin->SetFormat(mt), VFW_E_INVALIDMEDIATYPE);
  Free(mt);
  TComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(Pin->EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(2, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  ExpectOfferedType(*got[0]);
  Free(got[0]);
}

TEST_F(KivoSrc, PropertySetNamesTheCaptureCategory) {
  TComPtr<IKsPropertySet> props, fromFilter;
  ASSERT_EQ(Pin->QueryInterface(IID_IKsPropertySet, props.PutVoid()), S_OK);
  ASSERT_EQ(Filter->QueryInterface(IID_IKsPropertySet, fromFilter.PutVoid()), S_OK);
  EXPECT_EQ(fromFilter.Get(), props.Get());

  GUID category{};
  DWORD returned = 0;
  EXPECT_EQ(props->Get(kPinSet, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16, &returned), S_OK);
  EXPECT_EQ(returned, 16u);
  EXPECT_EQ(category, kCaptureCategory);
  BYTE small[15] = {};
  returned = 0;
  EXPECT_EQ(props->Get(kPinSet, AMPROPERTY_PIN_CATEGORY, nullptr, 0, small, 15, &returned), E_UNEXPECTED);
  EXPECT_EQ(returned, 16u);
  EXPECT_EQ(props->Get(kCaptureCategory, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16, &returned),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(props->Get(kPinSet, 1, nullptr, 0, &category, 16, &returned), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(props->Set(kPinSet, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16), E_NOTIMPL);
  DWORD support = 99;
  EXPECT_EQ(props->QuerySupported(kPinSet, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
  EXPECT_EQ(support, 0u);
}

TEST_F(KivoSrc, PinIdsAndLookups) {
  LPWSTR id = nullptr;
  ASSERT_EQ(Pin->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"1");
  ::CoTaskMemFree(id);
  PIN_INFO info{};
  ASSERT_EQ(Pin->QueryPinInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Out");
  info.pFilter->Release();
  TComPtr<IPin> found;
  EXPECT_EQ(Filter->FindPin(L"1", found.Put()), S_OK);
  EXPECT_EQ(found.Get(), Pin.Get());
  EXPECT_EQ(Filter->FindPin(L"0", found.Put()), VFW_E_NOT_FOUND);
  EXPECT_EQ(Filter->FindPin(L"2", found.Put()), VFW_E_NOT_FOUND);
  EXPECT_EQ(Filter->FindPin(L"Out", found.Put()), S_OK);
  CLSID clsid{};
  TComPtr<IPersist> persist;
  ASSERT_EQ(Filter->QueryInterface(IID_IPersist, persist.PutVoid()), S_OK);
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, kKivoSrcClsid);
  TComPtr<IQualityControl> qc;
  ASSERT_EQ(Pin->QueryInterface(IID_IQualityControl, qc.PutVoid()), S_OK);
  EXPECT_EQ(qc->Notify(Filter.Get(), Quality{Famine, 500, 0, 0}), E_FAIL);
}

// Every way a proposed type can differ from the offered one.
struct TTypeChange {
  const char* Name;
  void (*Apply)(AM_MEDIA_TYPE& mt);
};

class KivoSrcTypes : public KivoSrc, public ::testing::WithParamInterface<TTypeChange> {};

TEST_P(KivoSrcTypes, OnlyTheByteIdenticalTypeIsAccepted) {
  AM_MEDIA_TYPE* mt = nullptr;
  ASSERT_EQ(Config()->GetFormat(&mt), S_OK);
  EXPECT_EQ(Pin->QueryAccept(mt), S_OK);
  GetParam().Apply(*mt);
  EXPECT_EQ(Pin->QueryAccept(mt), S_FALSE);

  // Connecting to Wine's grabber with that type is refused the same way.
  TComPtr<IBaseFilter> grabber;
  ASSERT_EQ(MakeGrabber(grabber, nullptr), S_OK);
  TGraph g(TGraph::DefaultClock);
  ASSERT_EQ(g.Add(Filter.Get(), L"src"), S_OK);
  ASSERT_EQ(g.Add(grabber.Get(), L"grabber"), S_OK);
  TComPtr<IPin> in = FindPinOf(grabber.Get(), PINDIR_INPUT);
  EXPECT_EQ(Hex(g.Graph->ConnectDirect(Pin.Get(), in.Get(), mt)), Hex(VFW_E_TYPE_NOT_ACCEPTED));
  TComPtr<IPin> peer;
  EXPECT_EQ(Pin->ConnectedTo(peer.Put()), VFW_E_NOT_CONNECTED);
  Free(mt);
  ASSERT_EQ(Config()->GetFormat(&mt), S_OK);
  EXPECT_EQ(g.Graph->ConnectDirect(Pin.Get(), in.Get(), mt), S_OK);
  Free(mt);
}

VIDEOINFOHEADER& Vih(AM_MEDIA_TYPE& mt) { return *reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat); }

INSTANTIATE_TEST_SUITE_P(
    KivoSrc, KivoSrcTypes,
    ::testing::Values(TTypeChange{"FrameTime", [](AM_MEDIA_TYPE& mt) { Vih(mt).AvgTimePerFrame = 333333; }},
                      TTypeChange{"SourceRect", [](AM_MEDIA_TYPE& mt) { Vih(mt).rcSource = RECT{0, 0, 320, 240}; }},
                      TTypeChange{"ImageSize", [](AM_MEDIA_TYPE& mt) { Vih(mt).bmiHeader.biSizeImage = 230401; }},
                      TTypeChange{"TopDown", [](AM_MEDIA_TYPE& mt) { Vih(mt).bmiHeader.biHeight = -240; }},
                      TTypeChange{"Subtype", [](AM_MEDIA_TYPE& mt) { mt.subtype = MEDIASUBTYPE_RGB32; }},
                      TTypeChange{"FormatType", [](AM_MEDIA_TYPE& mt) { mt.formattype = FORMAT_VideoInfo2; }}),
    [](const ::testing::TestParamInfo<TTypeChange>& info) { return std::string(info.param.Name); });

// In a graph with no writer anywhere: unfilled samples about every 240 ms; Stop comes back quickly.
TEST_F(KivoSrc, WithoutWriterUnfilledSamplesComeAboutFourTimesASecond) {
  TGrabberSink sink(320, 240);
  TComPtr<IBaseFilter> grabber, null;
  ASSERT_EQ(MakeGrabberAndRenderer(grabber, null, &sink), S_OK);
  TGraph g(TGraph::DefaultClock);
  ASSERT_EQ(g.Add(Filter.Get(), L"src"), S_OK);
  ASSERT_EQ(g.Add(grabber.Get(), L"grabber"), S_OK);
  ASSERT_EQ(g.Add(null.Get(), L"null"), S_OK);
  ASSERT_EQ(g.Graph->ConnectDirect(Pin.Get(), FindPinOf(grabber.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
  ASSERT_EQ(g.Link(grabber.Get(), null.Get()), S_OK);
  ASSERT_TRUE(SUCCEEDED(g.Control->Run()));
  ::Sleep(2000);
  const double t0 = NowMs();
  EXPECT_EQ(g.Control->Stop(), S_OK);
  EXPECT_LT(NowMs() - t0, 1500) << "a stop waits for one sample at most";
  auto seen = sink.Samples();
  ASSERT_GE(seen.size(), 4u);
  EXPECT_LE(seen.size(), 11u);
  for (const TSeenSample& s : seen) EXPECT_FALSE(s.HasTime) << "unfilled samples carry no times";
  const double interval = (seen.back().Ms - seen.front().Ms) / double(seen.size() - 1);
  EXPECT_GT(interval, 180);
  EXPECT_LT(interval, 400);
}

}  // namespace

namespace {

// A new reader pin clears the section only while it holds the lock, so a copy in progress elsewhere
// never sees a half-cleared frame.
TEST(KivoSrcSection, NewReaderClearsTheSectionUnderTheLock) {
  TFrameSectionReader first(MakeOfferedVideoInfo());
  ASSERT_TRUE(first.HasView());
  THandleOwner mapping(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kFrameSectionName));
  ASSERT_TRUE(mapping);
  TViewOwner view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view);
  BYTE* pixels = static_cast<BYTE*>(view.Get()) + kPixelAreaOffset;
  FillPattern(pixels, 320, 240, 9);

  THandleOwner access(::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAccessEventName));
  ASSERT_EQ(::WaitForSingleObject(access.Get(), 1000), WAIT_OBJECT_0);
  std::atomic<bool> built{false};
  std::unique_ptr<TFrameSectionReader> second;
  std::thread maker([&] {
    second = std::make_unique<TFrameSectionReader>(MakeOfferedVideoInfo());
    built = true;
  });
  ::Sleep(100);
  EXPECT_FALSE(built.load()) << "the new reader waits for the lock";
  EXPECT_EQ(CheckPattern(pixels, 320, 240, 9), "") << "nothing cleared while another party holds it";
  ::SetEvent(access.Get());
  maker.join();
  EXPECT_TRUE(AllZero(pixels, 230400)) << "cleared once it had the lock";
  // It gave the lock back.
  EXPECT_EQ(::WaitForSingleObject(access.Get(), 1000), WAIT_OBJECT_0);
  ::SetEvent(access.Get());

  // A lock held for good delays a new reader by one wait only, and it frees the lock all the same.
  ASSERT_EQ(::WaitForSingleObject(access.Get(), 1000), WAIT_OBJECT_0);
  const double t0 = NowMs();
  TFrameSectionReader third(MakeOfferedVideoInfo());
  EXPECT_LT(NowMs() - t0, 1000);
  EXPECT_EQ(::WaitForSingleObject(access.Get(), 0), WAIT_OBJECT_0);
  ::SetEvent(access.Get());
}

}  // namespace
