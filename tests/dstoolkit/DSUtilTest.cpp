// The toolkit's helpers: errors, scales, stored media types and byte buffers, lists and the
// Running Object Table name, against Wine's DirectShow where a real object is needed.
#include <gtest/gtest.h>

#include <dshow.h>
#include <uuids.h>

#include <cmath>

#include "DSGraph.h"
#include "DSUtil.h"
#include "GraphSupport.h"

using namespace kivo;

namespace {

class TComApartment {
 public:
  TComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~TComApartment() { ::CoUninitialize(); }
};

TEST(DSErrors, CheckDSErrorPassesSuccessAndRaisesFailureWithCodeAndText) {
  EXPECT_EQ(CheckDSError(S_OK), S_OK);
  EXPECT_EQ(CheckDSError(S_FALSE), 1);
  EXPECT_EQ(CheckDSError(VFW_S_STATE_INTERMEDIATE), VFW_S_STATE_INTERMEDIATE);
  struct {
    HRESULT hr;
    const wchar_t* tail;
  } cases[] = {{E_FAIL, L" ($80004005)."}, {VFW_E_NOT_CONNECTED, L" ($80040209)."}, {E_POINTER, L" ($80004003)."}};
  for (const auto& c : cases) {
    try {
      CheckDSError(c.hr);
      ADD_FAILURE() << "no exception for " << std::hex << c.hr;
    } catch (const EDirectShowException& e) {
      EXPECT_EQ(e.ResultCode, c.hr);
      const std::wstring& m = e.Message();
      ASSERT_GE(m.size(), wcslen(c.tail));
      EXPECT_EQ(m.substr(m.size() - wcslen(c.tail)), c.tail);
      EXPECT_EQ(m.substr(0, m.size() - wcslen(c.tail)), GetDSErrorText(c.hr)) << "the platform's text first";
      EXPECT_STREQ(e.ClassName(), L"EDirectShowException");
    }
  }
  EXPECT_FALSE(GetDSErrorText(E_FAIL).empty());
}

TEST(DSScales, VolumeBalanceAndTime) {
  struct {
    int linear, volume;
  } volumes[] = {{0, -10000}, {10000, 0}, {100, -4989}, {1, -9247}, {5000, -752}};
  for (const auto& v : volumes) EXPECT_EQ(LinearToVolume(v.linear), v.volume) << v.linear;
  EXPECT_EQ(LinearToBalance(0), 0);
  EXPECT_EQ(LinearToBalance(10000), 10000) << "right stays right";
  EXPECT_EQ(LinearToBalance(-10000), -10000);
  EXPECT_EQ(LinearToBalance(100), -LinearToBalance(-100));
  EXPECT_EQ(RefTimeToMilliseconds(0), 0);
  EXPECT_EQ(RefTimeToMilliseconds(29999), 2);
  EXPECT_EQ(RefTimeToMilliseconds(36000000000LL), 3600000);
}

TEST(DSMediaType, FreshRecordAndStoredFormRoundTrip) {
  TMediaType fresh;
  EXPECT_EQ(fresh.AMType()->lSampleSize, 1u);
  EXPECT_EQ(fresh.AMType()->bFixedSizeSamples, -1);
  EXPECT_EQ(fresh.AMType()->majortype, GUID_NULL);

  // The sample grabber's stored type: exactly 72 bytes.
  TSampleGrabber grabber(nullptr);
  TMemoryStream stream;
  grabber.MediaType()->WriteData(stream);
  ASSERT_EQ(stream.Size(), 72);
  const BYTE* b = stream.Bytes().data();
  EXPECT_EQ(0, memcmp(b, &MEDIATYPE_Video, 16));
  EXPECT_EQ(0, memcmp(b + 16, &MEDIASUBTYPE_RGB24, 16));
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(b + 32), -1);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(b + 36), 0);
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b + 40), 1u);
  EXPECT_EQ(0, memcmp(b + 44, &FORMAT_VideoInfo, 16));
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b + 64), 0u);

  // With a format block: record, then the block; reads back the same.
  TMediaType withFormat(MEDIATYPE_Video);
  withFormat.SetSubtype(MEDIASUBTYPE_RGB24);
  withFormat.SetFormatType(FORMAT_VideoInfo);
  VIDEOINFOHEADER vih{};
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = 320;
  vih.bmiHeader.biHeight = 240;
  withFormat.AMType()->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(sizeof(vih)));
  memcpy(withFormat.AMType()->pbFormat, &vih, sizeof(vih));
  withFormat.AMType()->cbFormat = sizeof(vih);
  TMemoryStream s2;
  withFormat.WriteData(s2);
  ASSERT_EQ(s2.Size(), 72 + int64_t(sizeof(vih)));
  s2.SetPosition(0);
  TMediaType back;
  back.ReadData(s2);
  EXPECT_TRUE(back.SameAs(&withFormat));
  EXPECT_EQ(back.AMType()->pUnk, nullptr);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(back.AMType()->pbFormat)->bmiHeader.biWidth, 320);
  EXPECT_FALSE(back.ShouldStore(&withFormat)) << "same as the ancestor: not written";
  EXPECT_TRUE(back.ShouldStore(grabber.MediaType()));

  // A stream that promises a longer format block than it holds is refused; the type stays.
  TMemoryStream shortStream;
  shortStream.WriteBuffer(s2.Bytes().data(), 72 + 10);
  shortStream.SetPosition(0);
  TMediaType keep(&withFormat);
  EXPECT_THROW(keep.ReadData(shortStream), EReadError);
  EXPECT_TRUE(keep.SameAs(&withFormat));
}

TEST(DSMediaType, AssignSameAsAndClear) {
  TMediaType a(MEDIATYPE_Video);
  a.AMType()->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(8));
  memset(a.AMType()->pbFormat, 5, 8);
  a.AMType()->cbFormat = 8;
  TMediaType b;
  b.Assign(&a);
  EXPECT_TRUE(b.SameAs(&a));
  EXPECT_NE(b.AMType()->pbFormat, a.AMType()->pbFormat) << "its own block";
  b.AMType()->pbFormat[7] = 6;
  EXPECT_FALSE(b.SameAs(&a));
  b.Assign(&b);
  EXPECT_EQ(b.FormatSize(), 8u);
  b.ClearFormat();
  EXPECT_EQ(b.FormatSize(), 0u);
  EXPECT_EQ(b.AMType()->pbFormat, nullptr);
  TPersistentMemory other;
  EXPECT_THROW(b.Assign(&other), EConvertError);
}

TEST(DSPersistentMemory, StoredFormAssignAndSameAs) {
  TPersistentMemory empty;
  TMemoryStream s;
  empty.WriteData(s);
  ASSERT_EQ(s.Size(), 4);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(s.Bytes().data()), 0);
  TPersistentMemory empty2;
  EXPECT_FALSE(empty.SameAs(&empty2)) << "empty buffers are never the same";
  EXPECT_TRUE(empty.ShouldStore(&empty2)) << "so an empty buffer is always written";

  TPersistentMemory m;
  m.Resize(5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m.Data()[i], 0);
  m.Data()[2] = 9;
  TMemoryStream s2;
  m.WriteData(s2);
  ASSERT_EQ(s2.Size(), 9);
  s2.SetPosition(0);
  TPersistentMemory back;
  back.ReadData(s2);
  EXPECT_TRUE(back.SameAs(&m));
  EXPECT_FALSE(back.ShouldStore(&m));

  TPersistentMemory copy;
  copy.Assign(&m);
  EXPECT_TRUE(copy.SameAs(&m));
  m.Resize(0);
  EXPECT_EQ(m.DataLength(), 0u);
  EXPECT_EQ(m.Data(), nullptr);

  // A count larger than the stream, or negative, is refused.
  for (int32_t bad : {100, -1}) {
    TMemoryStream broken;
    broken.WriteBuffer(&bad, 4);
    broken.WriteBuffer("abc", 3);
    broken.SetPosition(0);
    EXPECT_THROW(back.ReadData(broken), EReadError) << bad;
  }
  // Handing the bytes to something that is no buffer fails instead of bouncing for ever.
  TMediaType type;
  EXPECT_THROW(type.Assign(&copy), EConvertError);
}

TEST(DSBaseFilter, DeviceMonikerBytesAndEmptyBuffer) {
  TComApartment com;
  TBaseFilter empty;
  EXPECT_FALSE(empty.RestoreMoniker());
  EXPECT_FALSE(empty.BindFilter());

  // The File Writer's device moniker, as KivoApp's audio recorder stores it.
  const std::wstring name =
      L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}";
  TComPtr<IMoniker> moniker = test::ParseMoniker(name);
  ASSERT_TRUE(moniker);
  TBaseFilter stored;
  stored.SetMoniker(moniker.Get());
  ASSERT_EQ(stored.DataLength(), 198u);
  EXPECT_EQ(0, memcmp(stored.Data(), &kCLSID_DeviceMoniker, 16));
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(stored.Data() + 16), 178u);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(stored.Data() + 20)), name);
  TMemoryStream s;
  stored.WriteData(s);
  EXPECT_EQ(s.Size(), 202);

  s.SetPosition(0);
  TBaseFilter restored;
  restored.ReadData(s);
  TComPtr<IBaseFilter> filter = restored.BindFilter();
  ASSERT_TRUE(filter);
  CLSID clsid{};
  filter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_FileWriter);

  // A damaged name count binds nothing.
  *reinterpret_cast<uint32_t*>(restored.Data() + 16) = 5000;
  EXPECT_FALSE(restored.BindFilter());
  stored.SetMoniker(nullptr);
  EXPECT_EQ(stored.DataLength(), 0u);
}

TEST(DSLists, FiltersPinsAndMediaTypesOfARealGraph) {
  TComApartment com;
  TComPtr<IGraphBuilder> graph;
  ASSERT_EQ(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid()),
            S_OK);
  TComPtr<IBaseFilter> grabber, nullRenderer;
  ASSERT_EQ(::CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               grabber.PutVoid()), S_OK);
  ASSERT_EQ(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               nullRenderer.PutVoid()), S_OK);
  ASSERT_EQ(graph->AddFilter(grabber.Get(), L"Grabber"), S_OK);
  ASSERT_EQ(graph->AddFilter(nullRenderer.Get(), L"Null"), S_OK);

  TFilterList filters(graph.Get());
  ASSERT_EQ(filters.Count(), 2);
  EXPECT_TRUE(filters.Remove(grabber.Get()));
  EXPECT_FALSE(filters.Remove(grabber.Get()));
  EXPECT_EQ(filters.Count(), 1);
  TFilterList again(graph.Get());
  EXPECT_EQ(again.Count(), 2) << "the list is edited, never the graph";

  TPinList pins(grabber.Get());
  ASSERT_EQ(pins.Count(), 2);
  PIN_INFO info{};
  ASSERT_EQ(pins.GetPinInfo(0, info), S_OK);
  EXPECT_EQ(info.dir, PINDIR_INPUT);
  if (info.pFilter) info.pFilter->Release();
  EXPECT_FALSE(pins.IsConnected(1));
  TPinList nullPins(nullRenderer.Get());
  ASSERT_EQ(nullPins.Count(), 1);

  // A pin without types, and no pin at all, give empty lists.
  EXPECT_EQ(TEnumMediaType::CreateFromPin(nullPins.FirstPin())->Count(), 0);
  EXPECT_EQ(TEnumMediaType::CreateFromPin(nullptr)->Count(), 0);
}

TEST(DSRot, ItemNameHasPointerAndProcess) {
  IUnknown* fake = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0xABCDEF12));
  wchar_t pid[16];
  swprintf(pid, 16, L"%x", static_cast<unsigned>(::GetCurrentProcessId()));
  std::wstring expected = sizeof(void*) == 8 ? L"FilterGraph 00000000ABCDEF12 pid " : L"FilterGraph ABCDEF12 pid ";
  EXPECT_EQ(RotItemName(fake), expected + pid);
}

TEST(DSCompression, Names) {
  EXPECT_EQ(GetCompressionName(0x32595559), L"YUY2");
  EXPECT_EQ(GetCompressionName(3), L"BITFIELDS");
}

}  // namespace

namespace {

// A filter with a property page list and nothing else that works: each step is counted.
class TPagedFilter : public TInterfaced<IBaseFilter, ISpecifyPropertyPages> {
 public:
  HRESULT PagesResult = E_FAIL;
  int InfoCalls = 0;
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
    pages->cElems = 0;
    pages->pElems = nullptr;
    return PagesResult;
  }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
    ++InfoCalls;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
};

TEST(DSPropertyPages, EachStepRunsOnlyAfterTheOneBeforeSucceeded) {
  TComApartment com;
  EXPECT_FALSE(HasFilterPropertyPage(nullptr));
  EXPECT_EQ(ShowFilterPropertyPage(nullptr, nullptr), S_FALSE);

  TComPtr<TPagedFilter> paged(new TPagedFilter);
  EXPECT_TRUE(HasFilterPropertyPage(paged.Get()));
  EXPECT_EQ(ShowFilterPropertyPage(nullptr, paged.Get()), E_FAIL) << "GetPages failed";
  EXPECT_EQ(paged->InfoCalls, 0);
  paged->PagesResult = S_OK;
  EXPECT_EQ(ShowFilterPropertyPage(nullptr, paged.Get()), E_NOTIMPL) << "QueryFilterInfo failed";
  EXPECT_EQ(paged->InfoCalls, 1);
  for (auto kind : {TPropertyPageKind::ppVFWCapDisplay, TPropertyPageKind::ppVFWCapFormat,
                    TPropertyPageKind::ppVFWCapSource, TPropertyPageKind::ppVFWCompConfig,
                    TPropertyPageKind::ppVFWCompAbout}) {
    EXPECT_FALSE(HasFilterPropertyPage(paged.Get(), kind));
    EXPECT_EQ(ShowFilterPropertyPage(nullptr, paged.Get(), kind), E_NOINTERFACE);
  }

  // Wine's Null Renderer has no pages.
  TComPtr<IBaseFilter> nullRenderer;
  ASSERT_EQ(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               nullRenderer.PutVoid()), S_OK);
  EXPECT_FALSE(HasFilterPropertyPage(nullRenderer.Get()));
  EXPECT_EQ(ShowFilterPropertyPage(nullptr, nullRenderer.Get()), E_NOINTERFACE);
}

}  // namespace
