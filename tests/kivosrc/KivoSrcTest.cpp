// KivoSrc's filter and pin, loaded from kivosrc.ax into this process as COM would load it: the
// interfaces capture programs ask for, the one offered type, and streaming into Wine's grabber.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "GraphSupport.h"
#include "GuiTestUtil.h"
#include "KVSection.h"
#include "KivoSrcCommon.h"
#include "TestFilters.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const GUID kPinSet = {0x9b00f101, 0x1567, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
const GUID kCaptureCategory = {0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

// Samples counted from 0 in steps of `intervals` frame intervals, without a picture in them.
void ExpectUnfilledTimes(const std::vector<TSeenSample>& seen, int intervals) {
  REFERENCE_TIME next = 0;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    ASSERT_TRUE(seen[i].HasTime) << "sample " << i;
    EXPECT_EQ(seen[i].Start, next) << "sample " << i;
    EXPECT_EQ(seen[i].Stop, next + intervals * 400000) << "sample " << i;
    EXPECT_LT(seen[i].Frame, 0);
    next = seen[i].Stop;
  }
}

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
    // The one size as input, cropping and output, with steps that lead out of it; 25 to 15
    // frames a second and the bit rates of the RGB24 stream at those rates; nothing else.
    VIDEO_STREAM_CONFIG_CAPS expected;
    std::memset(&expected, 0, sizeof(expected));
    expected.guid = FORMAT_VideoInfo;
    expected.InputSize = expected.MinCroppingSize = expected.MaxCroppingSize = SIZE{320, 240};
    expected.MinOutputSize = expected.MaxOutputSize = SIZE{320, 240};
    expected.CropGranularityX = expected.OutputGranularityX = 320;
    expected.CropGranularityY = expected.OutputGranularityY = 240;
    expected.CropAlignX = expected.CropAlignY = 1;
    expected.MinFrameInterval = 400000;
    expected.MaxFrameInterval = 666666;
    expected.MinBitsPerSecond = 230400 * 8 * 15;
    expected.MaxBitsPerSecond = 230400 * 8 * 25;
    EXPECT_EQ(std::memcmp(caps, &expected, sizeof(caps)), 0);
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
  // Each stands for the 240 ms of its wait and pause: six frame intervals, one after the other.
  ExpectUnfilledTimes(seen, 6);
  const double interval = (seen.back().Ms - seen.front().Ms) / double(seen.size() - 1);
  EXPECT_GT(interval, 180);
  EXPECT_LT(interval, 400);
}

// The pin copies into a sample only as many bytes as it holds, however large the frame.
TEST_F(KivoSrc, ASampleShorterThanTheFrameGetsOnlyWhatFits) {
  // A frame in the section with its flag up, as KivoApp's writer leaves it.
  THandleOwner mapping(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kFrameSectionName));
  ASSERT_TRUE(mapping);
  TViewOwner view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view);
  FillPattern(static_cast<BYTE*>(view.Get()) + kPixelAreaOffset, 320, 240, 6);
  THandleOwner newData(::OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, kNewDataEventName));
  ASSERT_TRUE(newData);
  ::SetEvent(newData.Get());

  // Downstream hands the pin samples of 1000 bytes, however large a buffer it asks for.
  constexpr long kShort = 1000;
  TComPtr<IClassFactory> passFactory;
  ASSERT_EQ(DllGetClassObject(CLSID_TestPass, IID_IClassFactory, passFactory.PutVoid()), S_OK);
  TComPtr<IBaseFilter> passFilter;
  ASSERT_EQ(passFactory->CreateInstance(nullptr, IID_IBaseFilter, passFilter.PutVoid()), S_OK);
  auto* pass = static_cast<TTestPass*>(static_cast<TBCBaseFilter*>(passFilter.Get()));
  auto* shortAllocator = new TShortSampleAllocator(kShort);
  pass->Input.ShortAllocator = TComPtr<TShortSampleAllocator>::Attach(shortAllocator);
  TGrabberSink sink(320, 240);
  TComPtr<IBaseFilter> grabber, null;
  ASSERT_EQ(MakeGrabberAndRenderer(grabber, null, &sink), S_OK);
  {
    TGraph g;
    ASSERT_EQ(g.Add(Filter.Get(), L"src"), S_OK);
    ASSERT_EQ(g.Add(passFilter.Get(), L"pass"), S_OK);
    ASSERT_EQ(g.Add(grabber.Get(), L"grabber"), S_OK);
    ASSERT_EQ(g.Add(null.Get(), L"null"), S_OK);
    ASSERT_EQ(g.Link(Filter.Get(), passFilter.Get()), S_OK);
    ASSERT_EQ(g.Link(passFilter.Get(), grabber.Get()), S_OK);
    ASSERT_EQ(g.Link(grabber.Get(), null.Get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(g.Control->Run()));
    EXPECT_TRUE(sink.WaitFor(3, 5000));
    EXPECT_EQ(g.Control->Stop(), S_OK);
  }
  ASSERT_GE(shortAllocator->Filled.load(), 3);
  EXPECT_EQ(shortAllocator->GuardsBroken.load(), 0) << "nothing written past a sample";
  EXPECT_EQ(shortAllocator->LastLength.load(), kShort);
  const std::vector<BYTE> want = MakePattern(320, 240, 6), got = shortAllocator->LastData();
  ASSERT_EQ(got.size(), std::size_t(kShort));
  EXPECT_EQ(std::memcmp(got.data(), want.data(), kShort), 0) << "the frame's first bytes";
  pass->Input.ShortAllocator.Reset();
}

// Without its access event (the name belongs to another kind of object) the camera still comes up
// after its message; it delivers unfilled samples at the pace of a timed-out wait, not as fast as
// downstream takes them, and lets go of the section with its last reference.
TEST(KivoSrcWithoutAccessEvent, SamplesKeepThePaceAndTheSectionGoesWithTheFilter) {
  TComInit com;
  THandleOwner squatter(::CreateMutexA(nullptr, FALSE, kAccessEventName));
  ASSERT_TRUE(squatter);
  TPluginModule ax;
  ASSERT_TRUE(ax.Load(ModuleDir() + L"kivosrc.ax"));
  TGrabberSink sink(320, 240);
  {
    TComPtr<IClassFactory> factory;
    ASSERT_EQ(ax.GetClassObject(kKivoSrcClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    TComPtr<IBaseFilter> filter;
    {
      TBoxCloser closer(10000);
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
      closer.Join();
      EXPECT_TRUE(closer.Found());
      EXPECT_EQ(closer.Text().substr(0, 10), L"access :6 ");
    }
    TComPtr<IBaseFilter> grabber, null;
    ASSERT_EQ(MakeGrabberAndRenderer(grabber, null, &sink), S_OK);
    TGraph g;  // no clock: a pin that does not pace itself would flood it
    ASSERT_EQ(g.Add(filter.Get(), L"src"), S_OK);
    ASSERT_EQ(g.Add(grabber.Get(), L"grabber"), S_OK);
    ASSERT_EQ(g.Add(null.Get(), L"null"), S_OK);
    ASSERT_EQ(g.Link(filter.Get(), grabber.Get()), S_OK);
    ASSERT_EQ(g.Link(grabber.Get(), null.Get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(g.Control->Run()));
    ::Sleep(2000);
    EXPECT_EQ(g.Control->Stop(), S_OK);
  }
  auto seen = sink.Samples();
  ASSERT_GE(seen.size(), 4u);
  EXPECT_LE(seen.size(), 13u) << "about five a second";
  ExpectUnfilledTimes(seen, 5);  // 200 ms each, as a wait for the lock that timed out
  EXPECT_EQ(ax.CanUnloadNow(), S_OK);
  THandleOwner section(::OpenFileMappingA(FILE_MAP_READ, FALSE, kFrameSectionName));
  EXPECT_FALSE(section) << "the view and the mapping went with the pin";
}

}  // namespace

namespace {

// A new reader pin keeps a frame it finds in a section laid out as its own, so viewers opened later
// see what the others see; any other section it clears, and only while it holds the lock, so a copy
// in progress elsewhere never sees a half-cleared frame.
TEST(KivoSrcSection, NewReaderKeepsALaidOutFrameAndClearsOthersUnderTheLock) {
  TFrameSectionReader first(MakeOfferedVideoInfo());
  ASSERT_TRUE(first.HasView());
  THandleOwner mapping(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kFrameSectionName));
  ASSERT_TRUE(mapping);
  TViewOwner view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view);
  BYTE* base = static_cast<BYTE*>(view.Get());
  BYTE* pixels = base + kPixelAreaOffset;
  FillPattern(pixels, 320, 240, 9);
  std::vector<BYTE> layout(base, base + kPixelAreaOffset);
  {
    TFrameSectionReader same(MakeOfferedVideoInfo());
    EXPECT_EQ(CheckPattern(pixels, 320, 240, 9), "") << "the frame is kept";
    EXPECT_EQ(std::memcmp(base, layout.data(), layout.size()), 0) << "header and format as they were";
  }
  // Another program wrote another size into the format area: the next reader lays out afresh.
  auto* format = reinterpret_cast<VIDEOINFOHEADER*>(base + kFormatAreaOffset);
  format->bmiHeader.biWidth = 1259;

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
  EXPECT_EQ(std::memcmp(base, layout.data(), layout.size()), 0) << "laid out as a reader does";
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
