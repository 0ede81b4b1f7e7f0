// KivoTrans in Wine's filter graph: the scaling of every pixel through the Sample Grabber, the output
// types it agrees to, the transform base's streaming rules, and a movie file through Wine's splitter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "AviWriter.h"
#include "BaseTransform.h"
#include "GraphSupport.h"
#include "TestSupport.h"
#include "TransObj.h"
#include "TransTestFilters.h"

using namespace kivo;
using namespace kivo::test;

namespace {

TComPtr<IBaseFilter> MakeTrans(TTransFilter** object) {
  *object = nullptr;
  TComPtr<IBaseFilter> filter;
  TBCClassFactory* factory = TBCFilterTemplate::Instance().FactoryByCLSID(CLSID_KivoTransformFilter);
  EXPECT_TRUE(factory);
  if (!factory) return filter;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
  if (filter) *object = static_cast<TTransFilter*>(static_cast<TBCBaseFilter*>(filter.Get()));
  return filter;
}

template <class T>
TComPtr<IBaseFilter> Own(T* filter) {
  return TComPtr<IBaseFilter>(static_cast<IBaseFilter*>(filter));
}

// What KivoTrans must give for a test pattern: the picture area `picture` of the output filled by
// nearest neighbour with scale max(in/out) (source rows and columns past the last repeat the last),
// everything else black, row padding zero.
std::vector<BYTE> ExpectedFrame(int inW, int inH, int outW, int outH, const RECT& picture, int frame) {
  const double scale = std::max(double(inW) / outW, double(inH) / outH);
  const std::size_t stride = FrameStride(outW);
  std::vector<BYTE> out(FrameBytes(outW, outH), 0);
  for (int i = picture.top; i < picture.bottom; ++i) {
    const int u = std::min(int((i - picture.top) * scale + 0.5), inH - 1);
    for (int j = picture.left; j < picture.right; ++j) {
      const int v = std::min(int((j - picture.left) * scale + 0.5), inW - 1);
      for (int c = 0; c < 3; ++c) out[stride * i + j * 3 + c] = PatternByte(v, u, c, frame);
    }
  }
  return out;
}

std::string FirstDifference(const std::vector<BYTE>& got, const std::vector<BYTE>& want, int width) {
  if (got.size() != want.size())
    return "length " + std::to_string(got.size()) + ", want " + std::to_string(want.size());
  const std::size_t stride = FrameStride(width);
  for (std::size_t k = 0; k < got.size(); ++k)
    if (got[k] != want[k])
      return "row " + std::to_string(k / stride) + " byte " + std::to_string(k % stride) + ": " +
             std::to_string(got[k]) + ", want " + std::to_string(want[k]);
  return "";
}

const VIDEOINFOHEADER& Vih(const AM_MEDIA_TYPE& type) { return *reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat); }

TVideoFormat Rgb(LONG w, LONG h, WORD bits = 24) { return {MEDIASUBTYPE_RGB24, w, h, bits, 400000}; }

class Transform : public ::testing::Test {
 protected:
  void TearDown() override {
    // The graph goes first (stopped, its filters removed), then the filters.
    Graph.reset();
    Grabber.Reset();
    Null.Reset();
    SinkF.Reset();
    TransF.Reset();
    SourceF.Reset();
    Source = nullptr;
    Trans = nullptr;
    Sink = nullptr;
    // Every framework object (filters, pins) is gone once the test let go of its references.
    EXPECT_EQ(ObjectCount.load(), 0);
  }

  // A pattern source offering `format` and KivoTrans, not connected.
  void MakeSourceAndTrans(const TVideoFormat& format = {}) {
    Source = new TPatternSource;
    Source->Pin.Format = format;
    SourceF = Own(Source);
    TransF = MakeTrans(&Trans);
    ASSERT_TRUE(Trans);
  }
  // Those and a recording sink, not connected.
  void MakeFilters(const TVideoFormat& format = {}) {
    ASSERT_NO_FATAL_FAILURE(MakeSourceAndTrans(format));
    Sink = new TRecordingSink;
    SinkF = Own(Sink);
  }
  // A new graph holding the pattern source, KivoTrans and `more`.
  void AddToGraph(std::initializer_list<std::pair<IBaseFilter*, const wchar_t*>> more) {
    Graph.emplace();
    ASSERT_EQ(Graph->Add(SourceF.Get(), L"source"), S_OK);
    ASSERT_EQ(Graph->Add(TransF.Get(), L"trans"), S_OK);
    for (auto [filter, name] : more) ASSERT_EQ(Graph->Add(filter, name), S_OK);
  }
  // pattern source -> KivoTrans -> recording sink, in a graph and linked.
  void BuildSinkGraph(const TVideoFormat& format) {
    ASSERT_NO_FATAL_FAILURE(MakeFilters(format));
    ASSERT_NO_FATAL_FAILURE(AddToGraph({{SinkF.Get(), L"sink"}}));
    ASSERT_EQ(Graph->Link(SourceF.Get(), TransF.Get()), S_OK);
    ASSERT_EQ(Graph->Link(TransF.Get(), SinkF.Get()), S_OK);
  }
  // The pattern source, KivoTrans, the Sample Grabber (into Keeper) and a Null Renderer in a graph,
  // not linked.
  void AddGrabberGraph(const TVideoFormat& format) {
    ASSERT_NO_FATAL_FAILURE(MakeSourceAndTrans(format));
    ASSERT_EQ(MakeGrabberAndRenderer(Grabber, Null, &Keeper), S_OK);
    ASSERT_NO_FATAL_FAILURE(AddToGraph({{Grabber.Get(), L"grabber"}, {Null.Get(), L"null"}}));
  }

  TComInit Com;
  TGrabberKeeper Keeper;
  TPatternSource* Source = nullptr;
  TTransFilter* Trans = nullptr;
  TRecordingSink* Sink = nullptr;
  TComPtr<IBaseFilter> SourceF, TransF, SinkF, Grabber, Null;
  std::optional<TGraph> Graph;
};

// ---------------------------------------------------------------------------------------------------
// The scaling table through a real graph: pattern source -> KivoTrans -> Sample Grabber -> Null Renderer.

struct TScaleCase {
  const char* Name;
  TVideoFormat In;
  LONG OutWidth, OutHeight;  // 0: the default 320 x 240
  HRESULT Connect;
  RECT Picture;
};

void PrintTo(const TScaleCase& c, std::ostream* os) { *os << c.Name; }

class Scaling : public Transform, public ::testing::WithParamInterface<TScaleCase> {};

TEST_P(Scaling, EveryOutputPixelIsTheNearestInputPixelOrBlack) {
  const TScaleCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(AddGrabberGraph(c.In));
  if (c.OutWidth) {
    ASSERT_EQ(Trans->SetOutputSize(c.OutWidth, c.OutHeight), S_OK);
  }
  const int outW = c.OutWidth ? c.OutWidth : 320, outH = c.OutHeight ? c.OutHeight : 240;

  EXPECT_EQ(Hex(Graph->Link(SourceF.Get(), TransF.Get())), Hex(c.Connect));
  if (FAILED(c.Connect)) {
    EXPECT_FALSE(Trans->InputPin()->HasPeer());
    EXPECT_FALSE(Source->Pin.HasPeer());
    return;
  }
  ASSERT_EQ(Graph->Link(TransF.Get(), Grabber.Get()), S_OK);
  ASSERT_EQ(Graph->Link(Grabber.Get(), Null.Get()), S_OK);
  const AM_MEDIA_TYPE& agreed = Trans->OutputPin()->ConnectedType();
  EXPECT_EQ(Vih(agreed).bmiHeader.biWidth, outW);
  EXPECT_EQ(Vih(agreed).bmiHeader.biHeight, outH);
  EXPECT_EQ(agreed.lSampleSize, ULONG(Align4(outW) * outH * 3));

  ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
  for (int frame : {3, 4}) EXPECT_EQ(Source->Deliver(frame), S_OK);
  ASSERT_TRUE(Keeper.Frames.WaitFor(2, 5000));
  auto frames = Keeper.Frames.Frames();
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE("frame " + std::to_string(3 + k));
    EXPECT_EQ(FirstDifference(frames[k].Bytes, ExpectedFrame(c.In.Width, c.In.Height, outW, outH, c.Picture, 3 + k),
                              outW),
              "");
    EXPECT_EQ(frames[k].Start, REFERENCE_TIME(3 + k) * c.In.FrameTime);
    EXPECT_EQ(frames[k].Stop, REFERENCE_TIME(4 + k) * c.In.FrameTime);
  }
  EXPECT_EQ(Graph->Control->Stop(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Transform, Scaling,
    ::testing::Values(
        TScaleCase{"HalfTakesEverySecondPixel", Rgb(640, 480), 0, 0, S_OK, {0, 0, 320, 240}},
        TScaleCase{"WideGetsBarsAboveAndBelow", Rgb(640, 360), 0, 0, S_OK, {0, 30, 320, 210}},
        TScaleCase{"TallGetsBarsLeftAndRight", Rgb(320, 480), 0, 0, S_OK, {80, 0, 240, 240}},
        TScaleCase{"EqualSizesCopyExactly", Rgb(320, 240), 0, 0, S_OK, {0, 0, 320, 240}},
        TScaleCase{"SmallInputRepeatsItsLastRow", Rgb(100, 100), 0, 0, S_OK, {40, 0, 280, 240}},
        TScaleCase{"OddInputWidthReadsPaddedRows", Rgb(161, 121), 0, 0, S_OK, {0, 0, 319, 240}},
        TScaleCase{"OddOutputWidthWritesPaddedRows", Rgb(642, 482), 321, 241, S_OK, {0, 0, 321, 241}},
        TScaleCase{"LargestOutput", Rgb(160, 120), 1024, 768, S_OK, {0, 0, 1024, 768}},
        TScaleCase{"Yuy2IsRefused", {MEDIASUBTYPE_YUY2, 320, 240, 16, 400000}, 0, 0, VFW_E_INVALID_MEDIA_TYPE, {}},
        TScaleCase{"ThirtyTwoBitsAreRefused", Rgb(320, 240, 32), 0, 0, VFW_E_INVALID_MEDIA_TYPE, {}},
        TScaleCase{"TopDownIsRefused", Rgb(320, -240), 0, 0, VFW_E_INVALID_MEDIA_TYPE, {}},
        TScaleCase{"ZeroWidthIsRefused", Rgb(0, 240), 0, 0, VFW_E_INVALID_MEDIA_TYPE, {}}),
    [](const ::testing::TestParamInfo<TScaleCase>& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------------
// Output types, sizes and buffers

TEST_F(Transform, OffersAndAcceptsOnlyTheTypeItWrites) {
  ASSERT_NO_FATAL_FAILURE(MakeFilters(Rgb(640, 480)));
  TBCTransformOutputPin* out = Trans->OutputPin();

  // No input connection: no types, no output connection.
  TComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(out->EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG fetched = 9;
  EXPECT_EQ(types->Next(1, &mt, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  TBCMediaType probe;
  MakeFormatType(probe.Type, Rgb(320, 240));
  EXPECT_EQ(Hex(out->Connect(&Sink->Pin, &probe.Type)), Hex(E_UNEXPECTED));
  EXPECT_EQ(out->QueryAccept(&probe.Type), S_FALSE);
  ALLOCATOR_PROPERTIES props{};
  EXPECT_EQ(Trans->SizeOutputBuffers(nullptr, &props), E_POINTER);

  ASSERT_EQ(Source->Pin.Connect(Trans->InputPin(), nullptr), S_OK);
  ASSERT_EQ(types->Reset(), S_OK);
  ASSERT_EQ(types->Next(1, &mt, &fetched), S_OK);
  ASSERT_EQ(fetched, 1u);
  {
    const VIDEOINFOHEADER& vih = Vih(*mt);
    EXPECT_EQ(mt->majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt->subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(mt->formattype, FORMAT_VideoInfo);
    EXPECT_EQ(mt->cbFormat, sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(mt->lSampleSize, 230400u);
    EXPECT_TRUE(mt->bFixedSizeSamples);
    EXPECT_FALSE(mt->bTemporalCompression);
    EXPECT_EQ(vih.AvgTimePerFrame, 400000);
    EXPECT_EQ(vih.dwBitRate, 230400u * 8 * 25) << "bits per frame x frames per second";
    EXPECT_EQ(vih.bmiHeader.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(vih.bmiHeader.biWidth, 320);
    EXPECT_EQ(vih.bmiHeader.biHeight, 240);
    EXPECT_EQ(vih.bmiHeader.biPlanes, 1);
    EXPECT_EQ(vih.bmiHeader.biBitCount, 24);
    EXPECT_EQ(vih.bmiHeader.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(vih.bmiHeader.biSizeImage, 230400u);
    EXPECT_EQ(out->QueryAccept(mt), S_OK);
  }
  EXPECT_EQ(types->Next(1, &mt, &fetched), S_FALSE) << "one type only";

  // Anything else is refused, whatever the subtype says.
  struct TOther {
    const char* What;
    TVideoFormat Format;
    GUID FormatType;
  } others[] = {{"the input's size", Rgb(640, 480), FORMAT_VideoInfo},
                {"another size", Rgb(160, 120), FORMAT_VideoInfo},
                {"top-down", Rgb(320, -240), FORMAT_VideoInfo},
                {"32 bits", Rgb(320, 240, 32), FORMAT_VideoInfo},
                {"another subtype", {MEDIASUBTYPE_RGB32, 320, 240, 32, 400000}, FORMAT_VideoInfo},
                {"another format", Rgb(320, 240), FORMAT_VideoInfo2}};
  for (const TOther& o : others) {
    TBCMediaType other;
    MakeFormatType(other.Type, o.Format);
    other.Type.formattype = o.FormatType;
    EXPECT_EQ(out->QueryAccept(&other.Type), S_FALSE) << o.What;
    EXPECT_EQ(Hex(out->Connect(&Sink->Pin, &other.Type)), Hex(VFW_E_INVALID_MEDIA_TYPE)) << o.What;
    EXPECT_FALSE(out->HasPeer());
  }

  // A peer preferring another size gets the filter's own.
  Sink->Pin.Preferred = {Rgb(640, 480)};
  ASSERT_EQ(out->Connect(&Sink->Pin, nullptr), S_OK);
  EXPECT_EQ(Vih(out->ConnectedType()).bmiHeader.biWidth, 320);
  ASSERT_TRUE(out->CurrentAllocator());
  ASSERT_EQ(out->CurrentAllocator()->GetProperties(&props), S_OK);
  EXPECT_GE(props.cBuffers, 1);
  EXPECT_GE(props.cbBuffer, 230400);
  // The connected input now only takes types the output can still be made from.
  EXPECT_EQ(Trans->InputPin()->QueryAccept(&Source->Pin.ConnectedType()), S_OK);
  TBCMediaType yuy2;
  MakeFormatType(yuy2.Type, {MEDIASUBTYPE_YUY2, 640, 480, 16, 400000});
  EXPECT_EQ(Trans->InputPin()->QueryAccept(&yuy2.Type), S_FALSE);

  EXPECT_EQ(out->Disconnect(), S_OK);
  EXPECT_EQ(Sink->Pin.Disconnect(), S_OK);
  EXPECT_EQ(Source->Pin.Disconnect(), S_OK);
  EXPECT_EQ(Trans->InputPin()->Disconnect(), S_OK);
}

TEST_F(Transform, OutputSizeIsBoundedByTheTablesAndAppliesToTheNextConnection) {
  ASSERT_NO_FATAL_FAILURE(MakeFilters(Rgb(640, 480)));
  TComPtr<ITransFilterConfig> config;
  ASSERT_EQ(TransF.As(config), S_OK);

  ASSERT_EQ(config->SetOutputSize(321, 240), S_OK);
  const struct {
    LONG W, H;
  } refused[] = {{0, 240}, {320, 0}, {-320, 240}, {1025, 240}, {320, 769}, {100000, 100000}};
  for (auto r : refused) EXPECT_EQ(config->SetOutputSize(r.W, r.H), E_INVALIDARG) << r.W << " x " << r.H;

  ASSERT_EQ(Source->Pin.Connect(Trans->InputPin(), nullptr), S_OK);
  TBCMediaType proposed;
  ASSERT_EQ(Trans->OutputPin()->ProposeType(0, proposed.Type), S_OK);
  EXPECT_EQ(Vih(proposed.Type).bmiHeader.biWidth, 321) << "the refused sizes left the last good one";
  EXPECT_EQ(proposed.Type.lSampleSize, 233280u) << "324 x 240 x 3";
  EXPECT_EQ(Vih(proposed.Type).bmiHeader.biSizeImage, 233280u);
  TBCMediaType other;
  EXPECT_EQ(Trans->OutputPin()->ProposeType(1, other.Type), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(Trans->ProposeOutputType(-1, other.Type), E_INVALIDARG);

  ASSERT_EQ(config->SetOutputSize(1024, 768), S_OK);
  ASSERT_EQ(Trans->OutputPin()->Connect(&Sink->Pin, nullptr), S_OK);
  EXPECT_EQ(Vih(Trans->OutputPin()->ConnectedType()).bmiHeader.biWidth, 1024);
  // A new size while connected does not change what the connection agreed.
  ASSERT_EQ(config->SetOutputSize(160, 120), S_OK);
  ASSERT_NO_FATAL_FAILURE(AddToGraph({{SinkF.Get(), L"sink"}}));
  ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
  EXPECT_EQ(Source->Deliver(7), S_OK);
  ASSERT_TRUE(Sink->Pin.Frames.WaitFor(1, 5000));
  EXPECT_EQ(FirstDifference(Sink->Pin.Frames.Frames()[0].Bytes,
                            ExpectedFrame(640, 480, 1024, 768, {0, 0, 1024, 768}, 7), 1024),
            "");
  EXPECT_EQ(Graph->Control->Stop(), S_OK);
}

// ---------------------------------------------------------------------------------------------------
// The transform base: pins, streaming rules, flushing, end of stream, dropped samples, seeking.

TEST_F(Transform, PinsAreFoundByIdAndNamedAsTransformPins) {
  TransF = MakeTrans(&Trans);
  ASSERT_TRUE(Trans);
  TComPtr<IPin> in, out, none;
  ASSERT_EQ(TransF->FindPin(L"In", in.Put()), S_OK);
  ASSERT_EQ(TransF->FindPin(L"Out", out.Put()), S_OK);
  EXPECT_EQ(in.Get(), static_cast<IPin*>(Trans->InputPin()));
  EXPECT_EQ(out.Get(), static_cast<IPin*>(Trans->OutputPin()));
  IPin* raw = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(TransF->FindPin(L"XForm In", &raw), VFW_E_NOT_FOUND);
  EXPECT_EQ(raw, nullptr);
  for (auto [pin, name, id, dir] : {std::tuple{in.Get(), L"XForm In", L"In", PINDIR_INPUT},
                                    std::tuple{out.Get(), L"XForm Out", L"Out", PINDIR_OUTPUT}}) {
    PIN_INFO info{};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, name);
    EXPECT_EQ(info.dir, dir);
    info.pFilter->Release();
    LPWSTR text = nullptr;
    ASSERT_EQ(pin->QueryId(&text), S_OK);
    EXPECT_STREQ(text, id);
    ::CoTaskMemFree(text);
  }
  TComPtr<IEnumPins> pins;
  ASSERT_EQ(TransF->EnumPins(pins.Put()), S_OK);
  IPin* got[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(3, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(got[0], in.Get());
  EXPECT_EQ(got[1], out.Get());
  got[0]->Release();
  got[1]->Release();

  TComPtr<ITransFilterConfig> config;
  EXPECT_EQ(TransF.As(config), S_OK);
  CLSID clsid{};
  EXPECT_EQ(TransF->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_KivoTransformFilter);
}

TEST_F(Transform, StreamingNeedsBothConnectionsAndARunningFilter) {
  ASSERT_NO_FATAL_FAILURE(MakeFilters());
  TBCTransformInputPin* in = Trans->InputPin();
  EXPECT_EQ(in->EndOfStream(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(in->BeginFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(in->EndFlush(), VFW_E_NOT_CONNECTED);
  ASSERT_EQ(Source->Pin.Connect(in, nullptr), S_OK);
  IMemAllocator* alloc = Source->Pin.CurrentAllocator();
  ASSERT_TRUE(alloc);
  ASSERT_EQ(alloc->Commit(), S_OK);
  TComPtr<IMediaSample> sample;
  ASSERT_EQ(alloc->GetBuffer(sample.Put(), nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(in->Receive(sample.Get()), VFW_E_NOT_CONNECTED) << "output not connected";
  EXPECT_EQ(in->EndOfStream(), VFW_E_NOT_CONNECTED);

  ASSERT_EQ(Trans->OutputPin()->Connect(&Sink->Pin, nullptr), S_OK);
  EXPECT_EQ(in->Receive(sample.Get()), VFW_E_WRONG_STATE) << "stopped";
  EXPECT_EQ(in->EndOfStream(), VFW_E_WRONG_STATE);
  ASSERT_EQ(SinkF->Pause(), S_OK);
  ASSERT_EQ(TransF->Pause(), S_OK);
  // Flushing is looked at before the state.
  EXPECT_EQ(in->BeginFlush(), S_OK);
  EXPECT_EQ(Sink->Pin.BeginFlushes.load(), 1);
  EXPECT_EQ(in->Receive(sample.Get()), S_FALSE);
  EXPECT_EQ(in->EndOfStream(), S_FALSE);
  EXPECT_EQ(in->EndFlush(), S_OK);
  EXPECT_EQ(Sink->Pin.EndFlushes.load(), 1);
  sample.Reset();
  EXPECT_EQ(TransF->Stop(), S_OK);
  EXPECT_EQ(SinkF->Stop(), S_OK);
  alloc->Decommit();
  EXPECT_EQ(Trans->OutputPin()->Disconnect(), S_OK);
  EXPECT_EQ(Sink->Pin.Disconnect(), S_OK);
  EXPECT_EQ(Source->Pin.Disconnect(), S_OK);
  EXPECT_EQ(in->Disconnect(), S_OK);
}

TEST_F(Transform, PausingWithoutInputEndsTheStreamDownstreamOnceUntilStopped) {
  ASSERT_NO_FATAL_FAILURE(MakeFilters());
  ASSERT_EQ(Source->Pin.Connect(Trans->InputPin(), nullptr), S_OK);
  ASSERT_EQ(Trans->OutputPin()->Connect(&Sink->Pin, nullptr), S_OK);
  ASSERT_EQ(Source->Pin.Disconnect(), S_OK);
  ASSERT_EQ(Trans->InputPin()->Disconnect(), S_OK);

  ASSERT_EQ(TransF->Pause(), S_OK);
  EXPECT_EQ(Sink->Pin.EndOfStreams.load(), 1);
  ASSERT_EQ(TransF->Run(0), S_OK);
  ASSERT_EQ(TransF->Pause(), S_OK);
  EXPECT_EQ(Sink->Pin.EndOfStreams.load(), 1) << "not again before a stop";
  ASSERT_EQ(TransF->Stop(), S_OK);
  ASSERT_EQ(TransF->Pause(), S_OK);
  EXPECT_EQ(Sink->Pin.EndOfStreams.load(), 2);
  ASSERT_EQ(TransF->Stop(), S_OK);
  EXPECT_EQ(Trans->OutputPin()->Disconnect(), S_OK);
  EXPECT_EQ(Sink->Pin.Disconnect(), S_OK);
}

TEST_F(Transform, PassesFlushSegmentEndOfStreamAndOtherStreamsAndDropsShortSamplesWithOneQualityEvent) {
  ASSERT_NO_FATAL_FAILURE(BuildSinkGraph(Rgb(640, 360)));
  ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
  Graph->CountEvents(EC_QUALITY_CHANGE);

  EXPECT_EQ(Source->Deliver(1), S_OK);
  ASSERT_EQ(Sink->Pin.Frames.Count(), 1u);
  {
    TFrame f = Sink->Pin.Frames.Frames()[0];
    EXPECT_EQ(FirstDifference(f.Bytes, ExpectedFrame(640, 360, 320, 240, {0, 30, 320, 210}, 1), 320), "");
    EXPECT_TRUE(f.Flags & AM_SAMPLE_SPLICEPOINT);
    EXPECT_TRUE(f.Flags & AM_SAMPLE_TIMEVALID);
  }

  // Samples shorter than their frame are never read: they are dropped, with one quality event.
  const long frameBytes = long(FrameBytes(640, 360));
  EXPECT_EQ(Source->Deliver(2, frameBytes - 1), S_OK);
  EXPECT_EQ(Source->Deliver(3, 0), S_OK);
  EXPECT_EQ(Sink->Pin.Frames.Count(), 1u);
  EXPECT_EQ(Graph->CountEvents(EC_QUALITY_CHANGE), 1);
  EXPECT_EQ(Source->Deliver(4), S_OK);
  ASSERT_EQ(Sink->Pin.Frames.Count(), 2u);
  EXPECT_EQ(Sink->Pin.Frames.Frames()[1].Start, 4 * 400000);
  // A new pause allows the event again.
  ASSERT_TRUE(SUCCEEDED(Graph->Control->Pause()));
  ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
  EXPECT_EQ(Source->Deliver(5, 10), S_OK);
  EXPECT_EQ(Graph->CountEvents(EC_QUALITY_CHANGE), 1);

  // A sample of another stream than the media goes on as it is.
  {
    const std::size_t before = Sink->Pin.Frames.Count();
    TComPtr<IMediaSample> sample;
    ASSERT_EQ(Source->Pin.AcquireSample(sample.Put(), nullptr, nullptr, 0), S_OK);
    TComPtr<IMediaSample2> sample2;
    ASSERT_EQ(sample->QueryInterface(IID_IMediaSample2, sample2.PutVoid()), S_OK);
    AM_SAMPLE2_PROPERTIES props{};
    ASSERT_EQ(sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    FillPattern(props.pbBuffer, 640, 360, 8);
    props.lActual = long(FrameBytes(640, 360));
    props.dwStreamId = AM_STREAM_CONTROL;
    ASSERT_EQ(sample2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props)), S_OK);
    EXPECT_EQ(Source->Pin.SendSample(sample.Get()), S_OK);
    ASSERT_EQ(Sink->Pin.Frames.Count(), before + 1);
    EXPECT_EQ(CheckPattern(Sink->Pin.Frames.Frames()[before].Bytes.data(), 640, 360, 8), "") << "not scaled";
  }

  EXPECT_EQ(Source->Pin.SendBeginFlush(), S_OK);
  EXPECT_EQ(Sink->Pin.BeginFlushes.load(), 1);
  EXPECT_EQ(Source->Deliver(6), S_FALSE);
  EXPECT_EQ(Source->Pin.SendEndFlush(), S_OK);
  EXPECT_EQ(Sink->Pin.EndFlushes.load(), 1);
  EXPECT_EQ(Source->Pin.SendNewSegment(1234, 5678, 1.0), S_OK);
  EXPECT_EQ(Sink->Pin.NewSegments.load(), 1);
  EXPECT_EQ(Sink->Pin.LastSegmentStart.load(), 1234);
  EXPECT_EQ(Source->Pin.SendEndOfStream(), S_OK);
  EXPECT_EQ(Sink->Pin.EndOfStreams.load(), 1);
  EXPECT_EQ(Graph->Control->Stop(), S_OK);
}

TEST_F(Transform, ASampleWithANewAcceptedTypeIsReadAtItsSize) {
  ASSERT_NO_FATAL_FAILURE(BuildSinkGraph(Rgb(640, 480)));
  ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
  // A frame of the connected size first, so that the scaler has worked at that size.
  EXPECT_EQ(Source->Deliver(8), S_OK);
  ASSERT_EQ(Sink->Pin.Frames.Count(), 1u);
  EXPECT_EQ(FirstDifference(Sink->Pin.Frames.Frames()[0].Bytes, ExpectedFrame(640, 480, 320, 240, {0, 0, 320, 240}, 8),
                            320),
            "");

  TComPtr<IMediaSample> sample;
  ASSERT_EQ(Source->Pin.AcquireSample(sample.Put(), nullptr, nullptr, 0), S_OK);
  BYTE* data = nullptr;
  ASSERT_EQ(sample->GetPointer(&data), S_OK);
  FillPattern(data, 160, 120, 9);
  ASSERT_EQ(sample->SetActualDataLength(long(FrameBytes(160, 120))), S_OK);
  TBCMediaType smaller;
  MakeFormatType(smaller.Type, Rgb(160, 120));
  ASSERT_EQ(sample->SetMediaType(&smaller.Type), S_OK);
  EXPECT_EQ(Source->Pin.SendSample(sample.Get()), S_OK);
  sample.Reset();
  ASSERT_EQ(Sink->Pin.Frames.Count(), 2u);
  EXPECT_EQ(FirstDifference(Sink->Pin.Frames.Frames()[1].Bytes, ExpectedFrame(160, 120, 320, 240, {0, 0, 320, 240}, 9),
                            320),
            "");
  EXPECT_EQ(Graph->Control->Stop(), S_OK);
}

TEST_F(Transform, SeekingGoesThroughOnePassThroughObjectAndQualityGoesUpstream) {
  ASSERT_NO_FATAL_FAILURE(MakeSourceAndTrans());
  TComPtr<IPin> out;
  ASSERT_EQ(TransF->FindPin(L"Out", out.Put()), S_OK);
  TComPtr<IMediaSeeking> seeking1, seeking2;
  TComPtr<IMediaPosition> position;
  ASSERT_EQ(out.As(seeking1), S_OK);
  ASSERT_EQ(out.As(seeking2), S_OK);
  ASSERT_EQ(out->QueryInterface(IID_IMediaPosition, position.PutVoid()), S_OK);
  TComPtr<IUnknown> id1, id2, id3;
  seeking1->QueryInterface(IID_IUnknown, id1.PutVoid());
  seeking2->QueryInterface(IID_IUnknown, id2.PutVoid());
  position->QueryInterface(IID_IUnknown, id3.PutVoid());
  EXPECT_EQ(id1.Get(), id2.Get()) << "one pass-through object";
  EXPECT_EQ(id1.Get(), id3.Get());

  // Quality messages the filter does not handle go to the upstream pin.
  TComPtr<IQualityControl> quality;
  ASSERT_EQ(out.As(quality), S_OK);
  Quality q{Famine, 500, 0, 0};
  EXPECT_EQ(quality->Notify(TransF.Get(), q), VFW_E_NOT_FOUND) << "nobody upstream";
  ASSERT_EQ(Source->Pin.Connect(Trans->InputPin(), nullptr), S_OK);
  EXPECT_EQ(quality->Notify(TransF.Get(), q), E_NOTIMPL) << "the source pin's own answer";
  EXPECT_EQ(Source->Pin.Disconnect(), S_OK);
  EXPECT_EQ(Trans->InputPin()->Disconnect(), S_OK);
}

TEST_F(Transform, SeekingAskedDuringEndOfStreamDoesNotBlockAConcurrentStop) {
  ASSERT_NO_FATAL_FAILURE(MakeFilters());
  ASSERT_EQ(Source->Pin.Connect(Trans->InputPin(), nullptr), S_OK);
  ASSERT_EQ(Trans->OutputPin()->Connect(&Sink->Pin, nullptr), S_OK);
  TComPtr<IMediaSeeking> seeking;
  ASSERT_EQ(Trans->OutputPin()->QueryInterface(IID_IMediaSeeking, seeking.PutVoid()), S_OK);
  for (IBaseFilter* f : {SinkF.Get(), TransF.Get(), SourceF.Get()}) ASSERT_EQ(f->Run(0), S_OK);

  // As a renderer does: during end of stream (the transform's receive lock held) it asks upstream
  // for the stop position, by which time a Stop holds the filter lock and waits for that lock.
  THandleOwner inEndOfStream(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  THandleOwner stopped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HRESULT asked = E_FAIL;
  Sink->Pin.OnEndOfStream = [&] {
    ::SetEvent(inEndOfStream.Get());
    ::Sleep(300);
    LONGLONG stop = 0;
    asked = seeking->GetStopPosition(&stop);
  };
  std::thread streaming([&] { Source->Pin.SendEndOfStream(); });
  ASSERT_EQ(::WaitForSingleObject(inEndOfStream.Get(), 5000), WAIT_OBJECT_0);
  std::thread stopping([&] {
    TransF->Stop();
    ::SetEvent(stopped.Get());
  });
  if (::WaitForSingleObject(stopped.Get(), 10000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "deadlock: Stop against end of stream\n");
    std::_Exit(3);
  }
  streaming.join();
  stopping.join();
  EXPECT_NE(asked, E_FAIL) << "the question went upstream and came back";
  Sink->Pin.OnEndOfStream = nullptr;
  for (IBaseFilter* f : {SinkF.Get(), SourceF.Get()}) EXPECT_EQ(f->Stop(), S_OK);
  seeking.Reset();
  EXPECT_EQ(Trans->OutputPin()->Disconnect(), S_OK);
  EXPECT_EQ(Sink->Pin.Disconnect(), S_OK);
  EXPECT_EQ(Source->Pin.Disconnect(), S_OK);
  EXPECT_EQ(Trans->InputPin()->Disconnect(), S_OK);
}

// ---------------------------------------------------------------------------------------------------
// Stop, run and seek cycles

TEST_F(Transform, StopRunCyclesWithAPushingSourceNeitherHangNorLoseFrames) {
  ASSERT_NO_FATAL_FAILURE(AddGrabberGraph(Rgb(320, 480)));
  Source->Pushing = true;
  ASSERT_EQ(Graph->Link(SourceF.Get(), TransF.Get()), S_OK);
  ASSERT_EQ(Graph->Link(TransF.Get(), Grabber.Get()), S_OK);
  ASSERT_EQ(Graph->Link(Grabber.Get(), Null.Get()), S_OK);
  for (int cycle = 0; cycle < 6; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    Keeper.Frames.Clear();
    ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
    ASSERT_TRUE(Keeper.Frames.WaitFor(4, 10000));
    if (cycle % 2) {
      ASSERT_TRUE(SUCCEEDED(Graph->Control->Pause()));
      ASSERT_TRUE(SUCCEEDED(Graph->Control->Run()));
    }
    const double t0 = NowMs();
    ASSERT_EQ(Graph->Control->Stop(), S_OK);
    EXPECT_LT(NowMs() - t0, 5000.0) << "stop came back";
    FILTER_STATE state = State_Running;
    EXPECT_EQ(TransF->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // Each run starts with frame 0 and loses none of the first frames.
    auto frames = Keeper.Frames.Frames();
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(FirstDifference(frames[k].Bytes, ExpectedFrame(320, 480, 320, 240, {80, 0, 240, 240}, k), 320), "")
          << "frame " << k;
  }
  Graph.reset();
  EXPECT_GT(Source->Pushed.load(), 20);
}

TEST_F(Transform, MovieFileThroughWinesSplitterArrivesScaledFrameByFrameAcrossSeeks) {
  const int width = 640, height = 360, count = 8;
  std::vector<std::vector<BYTE>> frames;
  for (int k = 0; k < count; ++k) frames.push_back(MakePattern(width, height, k));
  const std::wstring path = TempFilePath(L"movie", L".avi");
  WriteRgb24Avi(path, width, height, 25, frames);

  TransF = MakeTrans(&Trans);
  ASSERT_TRUE(Trans);
  ASSERT_EQ(MakeGrabberAndRenderer(Grabber, Null, &Keeper), S_OK);
  {
    TGraph g;
    TComPtr<IBaseFilter> file;
    ASSERT_EQ(g.Graph->AddSourceFilter(path.c_str(), L"file", file.Put()), S_OK);
    g.Filters.push_back(file);
    ASSERT_EQ(g.Add(TransF.Get(), L"trans"), S_OK);
    ASSERT_EQ(g.Add(Grabber.Get(), L"grabber"), S_OK);
    ASSERT_EQ(g.Add(Null.Get(), L"null"), S_OK);
    TComPtr<IPin> fileOut = FindPinOf(file.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(fileOut);
    ASSERT_EQ(Hex(g.Graph->Connect(fileOut.Get(), Trans->InputPin())), Hex(S_OK));
    ASSERT_EQ(g.Link(TransF.Get(), Grabber.Get()), S_OK);
    ASSERT_EQ(g.Link(Grabber.Get(), Null.Get()), S_OK);
    // Whatever splitter the graph put in, it hands over 640 x 360 bottom-up RGB24.
    const AM_MEDIA_TYPE& in = Trans->InputPin()->ConnectedType();
    EXPECT_EQ(in.subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(Vih(in).bmiHeader.biWidth, width);
    EXPECT_EQ(Vih(in).bmiHeader.biHeight, height);

    TComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(g.Graph.As(seeking), S_OK);
    auto checkAllFrames = [&](const char* pass) {
      SCOPED_TRACE(pass);
      // After a seek Wine's graph may report completion before the new frames have come.
      EXPECT_TRUE(Keeper.Frames.WaitFor(count, 20000));
      long code = 0;
      EXPECT_EQ(g.Events->WaitForCompletion(20000, &code), S_OK);
      EXPECT_EQ(code, EC_COMPLETE);
      auto got = Keeper.Frames.Frames();
      ASSERT_EQ(got.size(), std::size_t(count));
      for (int k = 0; k < count; ++k)
        EXPECT_EQ(FirstDifference(got[k].Bytes, ExpectedFrame(width, height, 320, 240, {0, 30, 320, 210}, k), 320),
                  "")
            << "frame " << k;
    };
    auto rewind = [&] {
      Keeper.Frames.Clear();
      LONGLONG zero = 0;
      return seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    };
    ASSERT_TRUE(SUCCEEDED(g.Control->Run()));
    checkAllFrames("first run");
    // Seek while running (the flush passes through the filter), after a pause, after a stop.
    ASSERT_EQ(rewind(), S_OK);
    checkAllFrames("seek while running");
    ASSERT_TRUE(SUCCEEDED(g.Control->Pause()));
    ASSERT_EQ(rewind(), S_OK);
    ASSERT_TRUE(SUCCEEDED(g.Control->Run()));
    checkAllFrames("seek while paused");
    ASSERT_EQ(g.Control->Stop(), S_OK);
    ASSERT_EQ(rewind(), S_OK);
    ASSERT_TRUE(SUCCEEDED(g.Control->Run()));
    checkAllFrames("seek while stopped");
    ASSERT_EQ(g.Control->Stop(), S_OK);
  }
  ::DeleteFileW(path.c_str());
}

// ---------------------------------------------------------------------------------------------------

TEST_F(Transform, FrameworkChecksAreOnInThisPlugin) {
  static std::wstring reported;
  TAssertHandler old = SetAssertHandler([](const std::wstring& text) { reported = text; });
  AM_MEDIA_TYPE broken{};
  broken.cbFormat = 88;
  AM_MEDIA_TYPE dest{};
  EXPECT_EQ(CopyMediaType(dest, broken), E_INVALIDARG);
  SetAssertHandler(old);
  EXPECT_EQ(reported.rfind(L"Assertion failure (DSUtil, line ", 0), 0u) << std::string(reported.begin(), reported.end());
}

struct TTextCase {
  const char* Name;
  GUID Major, Sub, Format;
  int Block;  // 0 none, 1 video 640x480 YUY2 16 bits, 2 PCM 44100/16/2
  const wchar_t* Text;
};

void PrintTo(const TTextCase& c, std::ostream* os) { *os << c.Name; }

class TypeText : public Transform, public ::testing::WithParamInterface<TTextCase> {};

TEST_P(TypeText, DescribesTheType) {
  const TTextCase& c = GetParam();
  AM_MEDIA_TYPE mt{};
  mt.majortype = c.Major;
  mt.subtype = c.Sub;
  mt.formattype = c.Format;
  alignas(8) BYTE block[256] = {};
  if (c.Block == 1) {
    // The bitmap header sits at byte 48 (VideoInfo) or 72 (VideoInfo2).
    const std::size_t at = c.Format == FORMAT_VideoInfo2 ? 72 : 48;
    BITMAPINFOHEADER bi{sizeof(BITMAPINFOHEADER), 640, 480, 1, 16, MAKEFOURCC('Y', 'U', 'Y', '2')};
    std::memcpy(block + at, &bi, sizeof(bi));
    mt.cbFormat = ULONG(at + sizeof(bi));
    mt.pbFormat = block;
  } else if (c.Block == 2) {
    WAVEFORMATEX wf{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    std::memcpy(block, &wf, sizeof(wf));
    mt.cbFormat = sizeof(wf);
    mt.pbFormat = block;
  }
  EXPECT_EQ(MediaTypeText(mt), c.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Transform, TypeText,
    ::testing::Values(
        TTextCase{"VideoInfo", MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 1,
                  L"Major Type: Video - Sub Type: YUY2 Format: VideoInfo YUY2 640X480, 16 bits"},
        TTextCase{"VideoInfo2", MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo2, 1,
                  L"Major Type: Video - Sub Type: RGB24 Format: VideoInfo2 YUY2 640X480, 16 bits"},
        TTextCase{"VideoInfoWithoutBlock", MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 0,
                  L"Major Type: Video - Sub Type: RGB24 Format: VideoInfo "},
        TTextCase{"Wave", MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 2,
                  L"Major Type: Audio - Sub Type: PCM Format: WaveFormatEx: PCM, 44100 Hertz, 16 Bits, 2 Channels"},
        TTextCase{"Mpeg2Video", MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, 0,
                  L"Major Type: Video - Sub Type: MPEG2_VIDEO Format: MPEGStreams "},
        TTextCase{"AnalogVideo", MEDIATYPE_AnalogVideo, MEDIASUBTYPE_AnalogVideo_PAL_B, FORMAT_None, 0,
                  L"Major Type: Analogvideo - Sub Type: AnalogVideo_PAL_B Format: Unknown"},
        TTextCase{"UnknownGuids", GUID{1, 2, 3, {4}}, GUID{5, 6, 7, {8}}, FORMAT_DvInfo, 0,
                  L"Major Type: UnKnown  - Sub Type: UnKnown  Format: DvInfo"},
        TTextCase{"Stream", MEDIATYPE_Stream, MEDIASUBTYPE_Avi, FORMAT_None, 0,
                  L"Major Type: Stream - Sub Type: Avi Format: Unknown"}),
    [](const ::testing::TestParamInfo<TTextCase>& info) { return std::string(info.param.Name); });

}  // namespace
