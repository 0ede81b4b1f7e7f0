// Registration of a plug-in built on the framework with the real regsvr32 of the Wine prefix: the
// server keys, the filter mapper's entry, and their removal.
#include <gtest/gtest.h>

#include "BaseClass.h"
#include "GraphSupport.h"
#include "TestFilters.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// Friendly name of the filter with this CLSID in a device category, or nothing.
std::optional<std::wstring> ListedName(REFGUID category, REFCLSID clsid, TComPtr<IBaseFilter>* bound = nullptr) {
  auto f = FindListedFilter(category, clsid);
  if (!f) return std::nullopt;
  if (bound) f->Bind(*bound);
  return f->Name;
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { Dll = ModuleDir() + L"kivo_bctest.dll"; }
  void TearDown() override { Regsvr32Unregister(Dll); }
  TComInit Com;
  std::wstring Dll;
};

TEST_F(Registration, Regsvr32WritesServerKeysAndMapperEntryAndRemovesThem) {
  // Unregistering what was never registered is no failure (a clean machine).
  ASSERT_EQ(Regsvr32Unregister(Dll), 0u);
  for (REFCLSID clsid : {CLSID_TestSource, CLSID_TestPass})
    ASSERT_FALSE(ListedName(CLSID_LegacyAmFilterCategory, clsid)) << "left over from an earlier run";

  ASSERT_EQ(Regsvr32Register(Dll), 0u);
  ASSERT_EQ(Regsvr32Register(Dll), 0u) << "registering again";
  const std::pair<const CLSID*, const wchar_t*> filters[] = {{&CLSID_TestSource, kTestSourceName},
                                                             {&CLSID_TestPass, kTestPassName}};
  for (auto [clsid, name] : filters) {
    ASSERT_EQ(CheckServerKeys(*clsid, name, Dll), "");

    TComPtr<IBaseFilter> bound;
    auto listed = ListedName(CLSID_LegacyAmFilterCategory, *clsid, &bound);
    ASSERT_TRUE(listed) << "the filter mapper lists it";
    EXPECT_EQ(*listed, name);
    ASSERT_TRUE(bound) << "the device moniker binds it through the registered server";
    CLSID got{};
    bound->GetClassID(&got);
    EXPECT_EQ(got, *clsid);
  }

  ASSERT_EQ(Regsvr32Unregister(Dll), 0u);
  for (auto [clsid, name] : filters) {
    EXPECT_FALSE(KeyExists(L"CLSID\\" + GuidText(*clsid)));
    EXPECT_FALSE(ListedName(CLSID_LegacyAmFilterCategory, *clsid));
  }
}

// Wine's mapper object answers both interfaces; this one shows only the older one.
class TOlderMapperOnly : public IUnknown {
 public:
  explicit TOlderMapperOnly(IFilterMapper* m) : Mapper(m) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IFilterMapper) return Mapper->QueryInterface(iid, out);
    *out = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  IFilterMapper* Mapper;
};

TEST_F(Registration, OlderMapperRegistersFilterAndPins) {
  TBCClassFactory* factory = TBCFilterTemplate::Instance().FactoryByCLSID(CLSID_TestPass);
  ASSERT_TRUE(factory);
  TComPtr<IFilterMapper> real;
  ASSERT_EQ(::CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                               real.PutVoid()),
            S_OK);
  TOlderMapperOnly older(real.Get());
  IUnknown* mapper = &older;
  ASSERT_EQ(factory->RegisterWithMapper(mapper, true), S_OK);
  const std::wstring filterKey = L"Filter\\" + GuidText(CLSID_TestPass);
  const std::wstring pinsKey = L"CLSID\\" + GuidText(CLSID_TestPass) + L"\\Pins";
  EXPECT_TRUE(KeyExists(filterKey));
  EXPECT_TRUE(KeyExists(pinsKey + L"\\Input"));
  EXPECT_TRUE(KeyExists(pinsKey + L"\\Output"));
  ASSERT_EQ(factory->RegisterWithMapper(mapper, false), S_OK);
  EXPECT_FALSE(KeyExists(filterKey));
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_TestPass)).c_str());
}

TEST_F(Registration, MovieSetupOfAFilterRegistersItsOwnClass) {
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_TestSource, IID_IClassFactory, factory.PutVoid()), S_OK);
  TComPtr<IAMovieSetup> setup;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IAMovieSetup, setup.PutVoid()), S_OK);
  ASSERT_EQ(setup->Register(), S_OK);
  EXPECT_TRUE(ListedName(CLSID_LegacyAmFilterCategory, CLSID_TestSource));
  std::wstring value;
  EXPECT_TRUE(ReadString(L"CLSID\\" + GuidText(CLSID_TestSource) + L"\\InprocServer32", nullptr,
                         value));
  ASSERT_EQ(setup->Unregister(), S_OK);
  EXPECT_FALSE(ListedName(CLSID_LegacyAmFilterCategory, CLSID_TestSource));
  EXPECT_FALSE(KeyExists(L"CLSID\\" + GuidText(CLSID_TestSource)));
}

}  // namespace
