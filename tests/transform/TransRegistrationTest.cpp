// kivotrans.ax as a user receives it: registered and removed with the prefix's regsvr32, listed by
// the filter mapper, loaded through COM, and its undecorated exports.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "BaseClass.h"
#include "GraphSupport.h"
#include "TestSupport.h"
#include "TransObj.h"

using namespace kivo;
using namespace kivo::test;

namespace {

class TransRegistration : public ::testing::Test {
 protected:
  void SetUp() override { Ax = ModuleDir() + L"kivotrans.ax"; }
  void TearDown() override { Regsvr32Unregister(Ax); }
  TComInit Com;
  std::wstring Ax;
};

TEST_F(TransRegistration, Regsvr32RegistersTheFilterForCOMAndTheMapperAndRemovesIt) {
  ASSERT_EQ(Regsvr32Unregister(Ax), 0u) << "removing what is not there is no failure";
  ASSERT_FALSE(FindListedFilter(CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter))
      << "left over from an earlier run";
  ASSERT_EQ(Regsvr32Register(Ax), 0u);

  const std::wstring key = L"CLSID\\" + GuidText(CLSID_KivoTransformFilter);
  EXPECT_EQ(key, L"CLSID\\{0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}");
  ASSERT_EQ(CheckServerKeys(CLSID_KivoTransformFilter, L"Kivo Transform Filter", Ax), "");

  {
    auto listed = FindListedFilter(CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->Name, L"Kivo Transform Filter");
    // Filter data: version, then the merit (never picked by automatic graph building).
    ASSERT_GE(listed->FilterData.size(), 8u);
    DWORD merit = 0;
    std::memcpy(&merit, listed->FilterData.data() + 4, 4);
    EXPECT_EQ(merit, DWORD(MERIT_DO_NOT_USE));
    // The moniker loads the registered server and gives a working filter.
    TComPtr<IBaseFilter> bound;
    ASSERT_EQ(listed->Bind(bound), S_OK);
    ASSERT_TRUE(bound);
    CLSID got{};
    EXPECT_EQ(bound->GetClassID(&got), S_OK);
    EXPECT_EQ(got, CLSID_KivoTransformFilter);
    TComPtr<ITransFilterConfig> config;
    ASSERT_EQ(bound.As(config), S_OK);
    EXPECT_EQ(config->SetOutputSize(2000, 100), E_INVALIDARG);
    EXPECT_EQ(config->SetOutputSize(640, 480), S_OK);
    TComPtr<IPin> in, out;
    EXPECT_EQ(bound->FindPin(L"In", in.Put()), S_OK);
    EXPECT_EQ(bound->FindPin(L"Out", out.Put()), S_OK);
  }
  TComPtr<IBaseFilter> created;
  EXPECT_EQ(::CoCreateInstance(CLSID_KivoTransformFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               created.PutVoid()),
            S_OK);
  created.Reset();

  ASSERT_EQ(Regsvr32Unregister(Ax), 0u);
  EXPECT_FALSE(KeyExists(key));
  EXPECT_FALSE(FindListedFilter(CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter));
}

TEST_F(TransRegistration, ExportsUndecoratedEntryPointsAndCountsLiveObjects) {
  TPluginModule ax;
  ASSERT_TRUE(ax.Load(Ax));
  auto getClassObject = ax.GetClassObject;
  auto canUnload = ax.CanUnloadNow;
  ASSERT_TRUE(getClassObject && canUnload);
  EXPECT_TRUE(ax.RegisterServer);
  EXPECT_TRUE(ax.UnregisterServer);

  EXPECT_EQ(canUnload(), S_OK);
  TComPtr<IClassFactory> factory;
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(CLSID_LegacyAmFilterCategory, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(none, nullptr);
  ASSERT_EQ(getClassObject(CLSID_KivoTransformFilter, IID_IClassFactory, factory.PutVoid()), S_OK);
  TComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
  factory.Reset();
  TComPtr<IPin> out;
  ASSERT_EQ(filter->FindPin(L"Out", out.Put()), S_OK);
  TComPtr<IMediaSeeking> seeking;
  EXPECT_EQ(out.As(seeking), S_OK);
  filter.Reset();
  EXPECT_EQ(canUnload(), S_FALSE) << "a pin holds the filter";
  out.Reset();
  seeking.Reset();
  EXPECT_EQ(canUnload(), S_OK) << "the seeking pass-through keeps nothing alive";
}

}  // namespace
