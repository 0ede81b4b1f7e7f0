// The filter framework inside Wine's real Filter Graph Manager and as a COM server, through two test
// filters built on it (a one-pin source and a pass-through).
#include <gtest/gtest.h>

#include <cstring>

#include "BaseClass.h"
#include "GraphSupport.h"
#include "TestFilters.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

template <class T>
TComPtr<IBaseFilter> CreateTestFilter(REFCLSID clsid, T** object) {
  TComPtr<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
  TComPtr<IBaseFilter> filter;
  if (factory) {
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
  }
  *object = filter ? static_cast<T*>(static_cast<TBCBaseFilter*>(filter.Get())) : nullptr;
  return filter;
}

class Framework : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every framework object (filters, pins) is gone once the test let go of its references.
    EXPECT_EQ(ObjectCount.load(), 0);
    EXPECT_EQ(FactoryRefCount.load(), 0);
  }
  TComInit Com;
};

// The test source, the pass-through, the Sample Grabber (into Sink) and a Null Renderer in a
// clockless graph, not linked; the graph goes first.
struct TPassGraph {
  TTestSource* Src = nullptr;
  TTestPass* Pass = nullptr;
  TComPtr<IBaseFilter> SrcF, PassF, Grabber, Null;
  TGrabberSink Sink{kTestWidth, kTestHeight};
  TGraph G;
  void Build() {
    SrcF = CreateTestFilter(CLSID_TestSource, &Src);
    PassF = CreateTestFilter(CLSID_TestPass, &Pass);
    ASSERT_TRUE(Src && Pass);
    ASSERT_EQ(MakeGrabberAndRenderer(Grabber, Null, &Sink), S_OK);
    ASSERT_EQ(G.Add(SrcF.Get(), L"src"), S_OK);
    ASSERT_EQ(G.Add(PassF.Get(), L"pass"), S_OK);
    ASSERT_EQ(G.Add(Grabber.Get(), L"grabber"), S_OK);
    ASSERT_EQ(G.Add(Null.Get(), L"null"), S_OK);
  }
};

TEST_F(Framework, ClassObjectsAndUnloadCounts) {
  TComPtr<IClassFactory> factory;
  const CLSID unknownClsid = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(unknownClsid, IID_IClassFactory, &raw), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  ASSERT_EQ(DllGetClassObject(CLSID_TestSource, IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a factory reference lives";
  TComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a filter and a lock live";
  filter.Reset();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a server lock lives";
  ASSERT_EQ(DllGetClassObject(CLSID_TestSource, IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  // A query the filter cannot answer leaves nothing behind.
  ASSERT_EQ(DllGetClassObject(CLSID_TestPass, IID_IClassFactory, factory.PutVoid()), S_OK);
  TComPtr<IUnknown> none;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, none.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(none);
  EXPECT_EQ(ObjectCount.load(), 0);
}

TEST_F(Framework, FilterAndPinsAnswerTheirInterfaces) {
  TTestPass* pass = nullptr;
  TComPtr<IBaseFilter> filter = CreateTestFilter(CLSID_TestPass, &pass);
  ASSERT_TRUE(pass);
  TComPtr<IUnknown> identity;
  ASSERT_EQ(filter->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  for (const IID* iid : {&IID_IPersist, &IID_IMediaFilter, &IID_IBaseFilter, &IID_IAMovieSetup}) {
    TComPtr<IUnknown> itf, back;
    EXPECT_EQ(filter->QueryInterface(*iid, itf.PutVoid()), S_OK);
    ASSERT_TRUE(itf);
    itf->QueryInterface(IID_IUnknown, back.PutVoid());
    EXPECT_EQ(back.Get(), identity.Get());
  }
  TComPtr<IPin> pinItf;
  EXPECT_EQ(filter->QueryInterface(IID_IPin, pinItf.PutVoid()), E_NOINTERFACE);
  CLSID clsid{};
  EXPECT_EQ(TComPtr<IPersist>(filter.Get())->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestPass);

  TComPtr<IPin> in = FindPinOf(filter.Get(), PINDIR_INPUT), out = FindPinOf(filter.Get(), PINDIR_OUTPUT);
  ASSERT_TRUE(in && out);
  TComPtr<IMemInputPin> mem;
  TComPtr<IQualityControl> qc;
  EXPECT_EQ(in.As(mem), S_OK);
  EXPECT_EQ(in.As(qc), S_OK);
  EXPECT_EQ(out.As(mem), E_NOINTERFACE);
  PIN_INFO info{};
  EXPECT_EQ(out->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(filter.Get()));
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_STREQ(info.achName, L"Out");
  info.pFilter->Release();

  // A pin keeps its filter alive.
  identity.Reset();
  filter.Reset();
  in.Reset();
  mem.Reset();
  qc.Reset();
  EXPECT_GT(ObjectCount.load(), 0);
  PIN_DIRECTION dir;
  EXPECT_EQ(out->QueryDirection(&dir), S_OK);
  out.Reset();
}

// An outer object that aggregates a framework filter.
class TOuter : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return Inner ? Inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
  IUnknown* Inner = nullptr;
  LONG Refs = 1;
};

TEST_F(Framework, AggregationFollowsComRules) {
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_TestSource, IID_IClassFactory, factory.PutVoid()), S_OK);
  TOuter outer;
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &raw), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(ObjectCount.load(), 0);

  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.Inner)), S_OK);
  ASSERT_TRUE(outer.Inner);
  EXPECT_EQ(outer.Refs, 1) << "the inner object holds no reference on its owner";
  // Interfaces of the inner object count on the owner and answer for the owner.
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(outer.Inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
  EXPECT_EQ(outer.Refs, 2);
  IUnknown* identity = nullptr;
  filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  // A pin's references also go to the owner.
  TComPtr<IPin> pin = FindPinOf(filter, PINDIR_OUTPUT);
  EXPECT_EQ(outer.Refs, 3);
  pin.Reset();
  filter->Release();
  EXPECT_EQ(outer.Refs, 1);
  EXPECT_EQ(ObjectCount.load(), 2) << "filter and pin";
  outer.Inner->Release();
  outer.Inner = nullptr;
  EXPECT_EQ(ObjectCount.load(), 0);
}

TEST_F(Framework, MediaTypeRoutines) {
  TBCMediaType source;
  MakeVideoType(source.Type, MEDIASUBTYPE_RGB24, 320, 240);
  {
    TBCMediaType copy;
    FreeMediaType(copy.Type);
    ASSERT_EQ(CopyMediaType(copy.Type, source.Type), S_OK);
    EXPECT_NE(copy.Type.pbFormat, source.Type.pbFormat) << "a copy owns its format block";
    EXPECT_TRUE(TypesEqual(copy.Type, source.Type));
  }
  AM_MEDIA_TYPE* handed = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  ASSERT_EQ(CopyMediaType(*handed, source.Type), S_OK);
  DeleteMediaType(handed);
  DeleteMediaType(nullptr);

  EXPECT_EQ(GetCompressionName(0), L"RGB");
  EXPECT_EQ(GetCompressionName(3), L"BITFIELDS");
  EXPECT_EQ(GetCompressionName(0x32595559), L"YUY2");

  // The checked copy (KivoTrans) refuses a format size without a block and a copy onto itself.
  static std::wstring reported;
  TAssertHandler old = SetAssertHandler([](const std::wstring& text) { reported = text; });
  EnableMediaTypeChecks(true);
  AM_MEDIA_TYPE broken{};
  broken.cbFormat = 88;
  AM_MEDIA_TYPE dest{};
  EXPECT_EQ(CopyMediaType(dest, broken), E_INVALIDARG);
  EXPECT_EQ(reported.rfind(L"Assertion failure (DSUtil, line ", 0), 0u) << std::string(reported.begin(), reported.end());
  reported.clear();
  EXPECT_EQ(CopyMediaType(source.Type, source.Type), E_INVALIDARG);
  EXPECT_FALSE(reported.empty());
  EnableMediaTypeChecks(false);
  SetAssertHandler(old);
  // Unchecked, a missing block gives an empty copy rather than a read through null.
  EXPECT_TRUE(FAILED(CopyMediaType(dest, broken)));
  EXPECT_EQ(dest.cbFormat, 0u);
  EXPECT_EQ(dest.pbFormat, nullptr);
}

TEST_F(Framework, GraphDeliversFlushesStopsAndRunsAgain) {
  TPassGraph p;
  ASSERT_NO_FATAL_FAILURE(p.Build());
  ASSERT_EQ(p.G.Link(p.SrcF.Get(), p.PassF.Get()), S_OK);
  ASSERT_EQ(p.G.Link(p.PassF.Get(), p.Grabber.Get()), S_OK);
  ASSERT_EQ(p.G.Link(p.Grabber.Get(), p.Null.Get()), S_OK);

  FILTER_INFO fi{};
  EXPECT_EQ(p.PassF->QueryFilterInfo(&fi), S_OK);
  EXPECT_STREQ(fi.achName, L"pass");
  EXPECT_TRUE(fi.pGraph);
  if (fi.pGraph) fi.pGraph->Release();

  // The connection carries the source's type all the way; the allocator is shared downstream.
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(p.Pass->Output.ConnectionMediaType(&mt), S_OK);
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth, kTestWidth);
  FreeMediaType(mt);
  ASSERT_TRUE(p.Src->Pin.CurrentAllocator());
  EXPECT_EQ(p.Src->Pin.CurrentAllocator(), p.Pass->Input.CurrentAllocator());
  ALLOCATOR_PROPERTIES props{};
  p.Src->Pin.CurrentAllocator()->GetProperties(&props);
  EXPECT_GE(props.cBuffers, 2);
  EXPECT_GE(props.cbBuffer, 230400);

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    p.Sink.Clear();
    ASSERT_TRUE(SUCCEEDED(p.G.Control->Run()));
    for (int f = 0; f < 5; ++f) EXPECT_EQ(p.Src->Deliver(10 * run + f), S_OK);
    ASSERT_TRUE(p.Sink.WaitFor(5, 5000));
    // The graph runs its filters from a worker thread once the renderer has paused on a sample.
    FILTER_STATE fs = State_Stopped;
    const double deadline = NowMs() + 5000;
    while (SUCCEEDED(p.SrcF->GetState(0, &fs)) && fs != State_Running && NowMs() < deadline) ::Sleep(5);
    EXPECT_EQ(fs, State_Running);
    EXPECT_EQ(p.G.State(), State_Running);
    auto seen = p.Sink.Samples();
    for (int f = 0; f < 5; ++f) {
      EXPECT_EQ(seen[f].Frame, 10 * run + f) << "sample " << f;
      EXPECT_EQ(seen[f].Length, 230400);
      EXPECT_EQ(seen[f].Start, REFERENCE_TIME(10 * run + f) * 400000);
    }

    // Flushing: the pass-through refuses samples until the flush ends, and passes both calls on.
    EXPECT_EQ(p.Src->Pin.SendBeginFlush(), S_OK);
    EXPECT_TRUE(p.Pass->Input.IsFlushing());
    EXPECT_EQ(p.Src->Deliver(99), S_FALSE);
    EXPECT_EQ(p.Src->Pin.SendEndFlush(), S_OK);
    EXPECT_FALSE(p.Pass->Input.IsFlushing());
    EXPECT_EQ(p.Src->Deliver(10 * run + 5), S_OK);
    ASSERT_TRUE(p.Sink.WaitFor(6, 5000));
    EXPECT_EQ(p.Sink.Samples()[5].Frame, 10 * run + 5) << "the flushed sample never arrives";

    ASSERT_EQ(p.G.Control->Stop(), S_OK);
    EXPECT_EQ(p.G.State(), State_Stopped);
    EXPECT_EQ(p.Src->Deliver(7), VFW_E_NOT_COMMITTED) << "stopping decommits the allocator";
  }

  // End of stream travels through the grabber to the renderer, which completes the graph.
  ASSERT_TRUE(SUCCEEDED(p.G.Control->Run()));
  EXPECT_EQ(p.Src->Deliver(1), S_OK);
  EXPECT_EQ(p.Src->Pin.SendEndOfStream(), S_OK);
  ASSERT_TRUE(p.G.Events);
  long code = 0;
  EXPECT_EQ(p.G.Events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
}

TEST_F(Framework, AllocatorFallsBackWhenThePeersAllocatorRefusesSizes) {
  TPassGraph p;
  ASSERT_NO_FATAL_FAILURE(p.Build());
  p.Pass->Input.OfferBusyAllocator = true;
  ASSERT_EQ(p.G.Link(p.SrcF.Get(), p.PassF.Get()), S_OK);
  ASSERT_TRUE(p.Pass->Input.BusyAllocator);
  ASSERT_TRUE(p.Src->Pin.CurrentAllocator());
  EXPECT_NE(p.Src->Pin.CurrentAllocator(), p.Pass->Input.BusyAllocator.Get()) << "the source made its own";
  EXPECT_EQ(p.Src->Pin.CurrentAllocator(), p.Pass->Input.CurrentAllocator()) << "and told the peer";
  ALLOCATOR_PROPERTIES props{};
  p.Src->Pin.CurrentAllocator()->GetProperties(&props);
  EXPECT_GE(props.cbBuffer, 230400);
  p.Pass->Input.BusyAllocator->Decommit();

  ASSERT_EQ(p.G.Link(p.PassF.Get(), p.Grabber.Get()), S_OK);
  ASSERT_EQ(p.G.Link(p.Grabber.Get(), p.Null.Get()), S_OK);
  ASSERT_TRUE(SUCCEEDED(p.G.Control->Run()));
  EXPECT_EQ(p.Src->Deliver(3), S_OK);
  ASSERT_TRUE(p.Sink.WaitFor(1, 5000));
  EXPECT_EQ(p.Sink.Samples()[0].Frame, 3);
}

// Connection attempts between a source offering some subtypes and the pass-through (RGB24 only).
struct TConnectCase {
  const char* Name;
  std::vector<GUID> Offered;   // the source's types, in order
  int TypeKind;                // 0 none, 1 full RGB24, 2 full YUY2, 3 partial RGB24, 4 partial with other format
  HRESULT SourceRefusal;       // what the source answers for a type it does not offer
  HRESULT Expected;
};

class ConnectCodes : public Framework, public ::testing::WithParamInterface<TConnectCase> {};

TEST_P(ConnectCodes, AnswerTheRightCodeAndLeaveNoHalfConnection) {
  const TConnectCase& c = GetParam();
  TTestSource* src = nullptr;
  TTestPass* pass = nullptr;
  TComPtr<IBaseFilter> srcF = CreateTestFilter(CLSID_TestSource, &src);
  TComPtr<IBaseFilter> passF = CreateTestFilter(CLSID_TestPass, &pass);
  src->Pin.Subtypes = c.Offered;
  src->Pin.RefuseWith = c.SourceRefusal;
  TBCMediaType type;
  if (c.TypeKind == 1) MakeVideoType(type.Type, MEDIASUBTYPE_RGB24, kTestWidth, kTestHeight);
  if (c.TypeKind == 2) MakeVideoType(type.Type, MEDIASUBTYPE_YUY2, kTestWidth, kTestHeight);
  if (c.TypeKind == 3) {
    type.Type.majortype = MEDIATYPE_Video;
    type.Type.subtype = MEDIASUBTYPE_RGB24;
  }
  if (c.TypeKind == 4) MakeVideoType(type.Type, MEDIASUBTYPE_RGB24, 640, 480), type.Type.majortype = GUID_NULL;

  HRESULT hr = src->Pin.Connect(&pass->Input, c.TypeKind ? &type.Type : nullptr);
  EXPECT_EQ(Hex(hr), Hex(c.Expected));
  TComPtr<IPin> peer;
  if (FAILED(hr)) {
    EXPECT_EQ(src->Pin.ConnectedTo(peer.Put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(pass->Input.ConnectedTo(peer.Put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(src->Pin.CurrentAllocator(), nullptr);
  } else {
    EXPECT_EQ(src->Pin.ConnectedTo(peer.Put()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin*>(&pass->Input));
    EXPECT_EQ(src->Pin.ConnectedType().subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(src->Pin.Disconnect(), S_OK);
    EXPECT_EQ(pass->Input.Disconnect(), S_OK);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Framework, ConnectCodes,
    ::testing::Values(
        TConnectCase{"AnyTypeFindsRgb", {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24}, 0, E_FAIL, S_OK},
        TConnectCase{"FullTypeOffered", {MEDIASUBTYPE_RGB24}, 1, E_FAIL, S_OK},
        TConnectCase{"FullTypeRefusedBySource", {MEDIASUBTYPE_RGB24}, 2, E_FAIL, VFW_E_TYPE_NOT_ACCEPTED},
        TConnectCase{"FullTypeRefusedByPeer", {MEDIASUBTYPE_YUY2}, 2, E_FAIL, VFW_E_TYPE_NOT_ACCEPTED},
        TConnectCase{"OtherRefusalPassesThrough", {MEDIASUBTYPE_RGB24}, 2, E_ACCESSDENIED, E_ACCESSDENIED},
        TConnectCase{"NoCommonType", {MEDIASUBTYPE_YUY2}, 0, E_FAIL, VFW_E_NO_ACCEPTABLE_TYPES},
        TConnectCase{"PartialTypePicksMatch", {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24}, 3, E_FAIL, S_OK},
        TConnectCase{"PartialTypeWithOtherFormat", {MEDIASUBTYPE_RGB24}, 4, E_FAIL, VFW_E_NO_ACCEPTABLE_TYPES}),
    [](const ::testing::TestParamInfo<TConnectCase>& info) { return std::string(info.param.Name); });

TEST_F(Framework, StateRulesOfConnectAndDisconnect) {
  TTestSource* src = nullptr;
  TTestPass* pass = nullptr;
  TTestPass* pass2 = nullptr;
  TComPtr<IBaseFilter> srcF = CreateTestFilter(CLSID_TestSource, &src);
  TComPtr<IBaseFilter> passF = CreateTestFilter(CLSID_TestPass, &pass);
  TComPtr<IBaseFilter> pass2F = CreateTestFilter(CLSID_TestPass, &pass2);

  EXPECT_EQ(src->Pin.Disconnect(), S_FALSE);
  EXPECT_EQ(Hex(src->Pin.Connect(&pass->Output, nullptr)), Hex(VFW_E_INVALID_DIRECTION));
  ASSERT_EQ(src->Pin.Connect(&pass->Input, nullptr), S_OK);
  EXPECT_EQ(src->Pin.Connect(&pass2->Input, nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(pass->Input.ReceiveConnection(&pass2->Output, &src->Pin.ConnectedType()), VFW_E_ALREADY_CONNECTED);

  // The pass-through's output offers its input's type; no input, no types.
  TComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pass2->Output.EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG fetched = 7;
  EXPECT_EQ(types->Next(1, &mt, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);

  // Not stopped: no connection changes.
  ASSERT_EQ(srcF->Pause(), S_OK);
  EXPECT_TRUE(src->IsStarted());
  EXPECT_EQ(src->Pin.Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(pass2F->Run(0), S_OK);
  EXPECT_EQ(pass2->Output.Connect(&pass->Input, nullptr), VFW_E_NOT_STOPPED);
  EXPECT_EQ(pass2->Input.ReceiveConnection(&src->Pin, &src->Pin.ConnectedType()), VFW_E_NOT_STOPPED);
  EXPECT_EQ(pass2F->Stop(), S_OK);
  EXPECT_EQ(srcF->Stop(), S_OK);
  EXPECT_EQ(src->Pin.Disconnect(), S_OK);
  EXPECT_EQ(pass->Input.Disconnect(), S_OK);
  AM_MEDIA_TYPE empty{};
  EXPECT_EQ(src->Pin.ConnectionMediaType(&empty), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(empty.lSampleSize, 1u);
  EXPECT_TRUE(empty.bFixedSizeSamples);
  EXPECT_EQ(empty.majortype, GUID_NULL);
}

TEST_F(Framework, EnumeratorsAndPinLookups) {
  TTestPass* pass = nullptr;
  TTestSource* src = nullptr;
  TComPtr<IBaseFilter> passF = CreateTestFilter(CLSID_TestPass, &pass);
  TComPtr<IBaseFilter> srcF = CreateTestFilter(CLSID_TestSource, &src);

  TComPtr<IEnumPins> pins;
  ASSERT_EQ(passF->EnumPins(pins.Put()), S_OK);
  IPin* got[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG);
  EXPECT_EQ(pins->Next(3, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(got[0], static_cast<IPin*>(&pass->Input));
  EXPECT_EQ(got[1], static_cast<IPin*>(&pass->Output));
  got[0]->Release();
  got[1]->Release();
  EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(pins->Reset(), S_OK);
  EXPECT_EQ(pins->Skip(1), S_OK);
  EXPECT_EQ(pins->Skip(2), S_FALSE);
  TComPtr<IEnumPins> clone;
  ASSERT_EQ(pins->Clone(clone.Put()), S_OK);
  EXPECT_EQ(clone->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0], static_cast<IPin*>(&pass->Output)) << "a clone keeps the position";
  got[0]->Release();

  TComPtr<IPin> found;
  EXPECT_EQ(passF->FindPin(L"In", found.Put()), S_OK);
  EXPECT_EQ(found.Get(), static_cast<IPin*>(&pass->Input));
  EXPECT_EQ(passF->FindPin(L"XForm In", found.Put()), VFW_E_NOT_FOUND);
  EXPECT_FALSE(found);
  LPWSTR id = nullptr;
  ASSERT_EQ(pass->Output.QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"Out");
  ::CoTaskMemFree(id);
  EXPECT_EQ(pass->Output.QueryId(nullptr), E_POINTER);
  ULONG n = 4;
  EXPECT_EQ(pass->Output.QueryInternalConnections(nullptr, &n), E_NOTIMPL);
  IPin* slot = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(pass->Output.QueryInternalConnections(&slot, &n), E_NOTIMPL);
  EXPECT_EQ(slot, nullptr);

  // Media types: one offered type, then the end; two types, skipping and cloning.
  TComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(src->Pin.EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* mt[3] = {};
  EXPECT_EQ(types->Next(1, mt, &fetched), S_OK);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(mt[0]->subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(mt[0]->cbFormat, sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(src->Pin.QueryAccept(mt[0]), S_OK);
  mt[0]->subtype = MEDIASUBTYPE_YUY2;
  EXPECT_EQ(src->Pin.QueryAccept(mt[0]), S_FALSE);
  DeleteMediaType(mt[0]);
  EXPECT_EQ(types->Next(1, mt, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(types->Next(2, mt, nullptr), E_INVALIDARG);

  src->Pin.Subtypes = {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24};
  ASSERT_EQ(types->Reset(), S_OK);
  EXPECT_EQ(types->Next(3, mt, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(mt[1]->subtype, MEDIASUBTYPE_RGB24);
  DeleteMediaType(mt[0]);
  DeleteMediaType(mt[1]);
  types->Reset();
  EXPECT_EQ(types->Skip(0), S_OK);
  EXPECT_EQ(types->Skip(1), S_OK);
  TComPtr<IEnumMediaTypes> typesClone;
  ASSERT_EQ(types->Clone(typesClone.Put()), S_OK);
  EXPECT_EQ(typesClone->Next(1, mt, nullptr), S_OK);
  EXPECT_EQ(mt[0]->subtype, MEDIASUBTYPE_RGB24);
  DeleteMediaType(mt[0]);
  EXPECT_EQ(types->Skip(5), S_FALSE);
}

TEST_F(Framework, PinsRefuseStreamingWithoutConnectionOrInTheWrongState) {
  TTestSource* src = nullptr;
  TTestPass* pass = nullptr;
  TComPtr<IBaseFilter> srcF = CreateTestFilter(CLSID_TestSource, &src);
  TComPtr<IBaseFilter> passF = CreateTestFilter(CLSID_TestPass, &pass);

  EXPECT_EQ(src->Pin.Activate(), VFW_E_NO_ALLOCATOR);
  TComPtr<IMediaSample> sample;
  EXPECT_EQ(src->Pin.AcquireSample(sample.Put(), nullptr, nullptr, 0), E_NOINTERFACE);
  EXPECT_EQ(src->Pin.SendEndOfStream(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(src->Pin.SendBeginFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(src->Pin.SendNewSegment(0, 1, 1.0), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(src->Pin.EndOfStream(), E_UNEXPECTED);
  EXPECT_EQ(src->Pin.BeginFlush(), E_UNEXPECTED);
  EXPECT_EQ(pass->Input.ReceiveCanBlock(), S_OK) << "no connected output pin";

  ASSERT_EQ(src->Pin.Connect(&pass->Input, nullptr), S_OK);
  EXPECT_EQ(src->Pin.SendSample(nullptr), E_POINTER);
  IMemAllocator* alloc = src->Pin.CurrentAllocator();
  ASSERT_TRUE(alloc);
  ASSERT_EQ(alloc->Commit(), S_OK);
  ASSERT_EQ(alloc->GetBuffer(sample.Put(), nullptr, nullptr, 0), S_OK);
  // The base input pin's checks, in order: state, flushing, failure.
  EXPECT_EQ(pass->Input.TBCBaseInputPin::Receive(sample.Get()), VFW_E_WRONG_STATE);
  ASSERT_EQ(passF->Pause(), S_OK);
  EXPECT_EQ(pass->Input.TBCBaseInputPin::Receive(sample.Get()), S_OK);
  EXPECT_EQ(pass->Input.SampleProps().cbBuffer, sample->GetSize());
  EXPECT_EQ(pass->Input.TBCBaseInputPin::BeginFlush(), S_OK);
  EXPECT_EQ(pass->Input.TBCBaseInputPin::Receive(sample.Get()), S_FALSE);
  EXPECT_EQ(pass->Input.TBCBaseInputPin::EndFlush(), S_OK);

  // A sample that changes to a type the pin refuses ends the stream with an error.
  TBCMediaType yuy2;
  MakeVideoType(yuy2.Type, MEDIASUBTYPE_YUY2, kTestWidth, kTestHeight);
  sample->SetMediaType(&yuy2.Type);
  EXPECT_EQ(pass->Input.TBCBaseInputPin::Receive(sample.Get()), VFW_E_INVALIDMEDIATYPE);
  EXPECT_TRUE(pass->Input.Failed());
  sample->SetMediaType(nullptr);
  EXPECT_EQ(pass->Input.TBCBaseInputPin::Receive(sample.Get()), VFW_E_RUNTIME_ERROR);
  sample.Reset();
  EXPECT_EQ(passF->Stop(), S_OK);
  EXPECT_FALSE(pass->Input.Failed()) << "stopping clears the failure";
  alloc->Decommit();
  EXPECT_EQ(src->Pin.Disconnect(), S_OK);
  EXPECT_EQ(pass->Input.Disconnect(), S_OK);
}

TEST_F(Framework, PluginDllExportsUndecoratedEntryPoints) {
  TPluginModule dll;
  ASSERT_TRUE(dll.Load(ModuleDir() + L"kivo_bctest.dll"));
  auto getClassObject = dll.GetClassObject;
  auto canUnload = dll.CanUnloadNow;
  ASSERT_TRUE(getClassObject && canUnload);
  EXPECT_TRUE(dll.RegisterServer);
  EXPECT_TRUE(dll.UnregisterServer);
  EXPECT_EQ(canUnload(), S_OK);
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_TestPass, IID_IClassFactory, factory.PutVoid()), S_OK);
  TComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  filter.Reset();
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
