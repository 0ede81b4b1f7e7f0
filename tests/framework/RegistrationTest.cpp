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

std::wstring GuidText(REFGUID g) {
  wchar_t text[40];
  ::StringFromGUID2(g, text, 40);
  return text;
}

// Runs regsvr32.exe of the prefix's system folder; answers its exit code (or 999 on failure to run).
DWORD RunRegsvr32(const std::wstring& args) {
  wchar_t sys[MAX_PATH];
  ::GetSystemDirectoryW(sys, MAX_PATH);
  std::wstring exe = std::wstring(sys) + L"\\regsvr32.exe";
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 999;
  THandleOwner process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) return 998;
  DWORD code = 997;
  ::GetExitCodeProcess(pi.hProcess, &code);
  return code;
}

bool ReadString(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring& value) {
  wchar_t buf[1024];
  DWORD bytes = sizeof(buf);
  if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS) return false;
  value = buf;
  return true;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  TRegKeyOwner k;
  return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

// Friendly name of the filter with this CLSID in a device category, or nothing.
std::optional<std::wstring> ListedName(REFGUID category, REFCLSID clsid, TComPtr<IBaseFilter>* bound = nullptr) {
  TComPtr<ICreateDevEnum> devEnum;
  if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.PutVoid())))
    return std::nullopt;
  TComPtr<IEnumMoniker> monikers;
  if (devEnum->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK || !monikers) return std::nullopt;
  TComPtr<IMoniker> m;
  while (monikers->Next(1, m.Put(), nullptr) == S_OK) {
    TComPtr<IPropertyBag> bag;
    if (FAILED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
    VARIANT v;
    ::VariantInit(&v);
    if (FAILED(bag->Read(L"CLSID", &v, nullptr))) continue;
    CLSID c{};
    bool same = v.vt == VT_BSTR && SUCCEEDED(::CLSIDFromString(v.bstrVal, &c)) && c == clsid;
    ::VariantClear(&v);
    if (!same) continue;
    std::wstring name;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) name = v.bstrVal;
    ::VariantClear(&v);
    if (bound) m->BindToObject(nullptr, nullptr, IID_IBaseFilter, bound->PutVoid());
    return name;
  }
  return std::nullopt;
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { Dll = ModuleDir() + L"kivo_bctest.dll"; }
  void TearDown() override { RunRegsvr32(L"/s /u \"" + Dll + L"\""); }
  TComInit Com;
  std::wstring Dll;
};

TEST_F(Registration, Regsvr32WritesServerKeysAndMapperEntryAndRemovesThem) {
  // Unregistering what was never registered is no failure (a clean machine).
  ASSERT_EQ(RunRegsvr32(L"/s /u \"" + Dll + L"\""), 0u);
  for (REFCLSID clsid : {CLSID_TestSource, CLSID_TestPass})
    ASSERT_FALSE(ListedName(CLSID_LegacyAmFilterCategory, clsid)) << "left over from an earlier run";

  ASSERT_EQ(RunRegsvr32(L"/s \"" + Dll + L"\""), 0u);
  ASSERT_EQ(RunRegsvr32(L"/s \"" + Dll + L"\""), 0u) << "registering again";
  const std::pair<const CLSID*, const wchar_t*> filters[] = {{&CLSID_TestSource, kTestSourceName},
                                                             {&CLSID_TestPass, kTestPassName}};
  for (auto [clsid, name] : filters) {
    const std::wstring key = L"CLSID\\" + GuidText(*clsid);
    std::wstring value;
    ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, key, nullptr, value));
    EXPECT_EQ(value, name);
    ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, value));
    EXPECT_EQ(::CompareStringOrdinal(value.c_str(), -1, Dll.c_str(), -1, TRUE), CSTR_EQUAL)
        << std::string(value.begin(), value.end());
    ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", value));
    EXPECT_EQ(value, L"Both");

    TComPtr<IBaseFilter> bound;
    auto listed = ListedName(CLSID_LegacyAmFilterCategory, *clsid, &bound);
    ASSERT_TRUE(listed) << "the filter mapper lists it";
    EXPECT_EQ(*listed, name);
    ASSERT_TRUE(bound) << "the device moniker binds it through the registered server";
    CLSID got{};
    bound->GetClassID(&got);
    EXPECT_EQ(got, *clsid);
  }

  ASSERT_EQ(RunRegsvr32(L"/s /u \"" + Dll + L"\""), 0u);
  for (auto [clsid, name] : filters) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*clsid)));
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
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, filterKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, pinsKey + L"\\Input"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, pinsKey + L"\\Output"));
  ASSERT_EQ(factory->RegisterWithMapper(mapper, false), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, filterKey));
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
  EXPECT_TRUE(ReadString(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_TestSource) + L"\\InprocServer32", nullptr,
                         value));
  ASSERT_EQ(setup->Unregister(), S_OK);
  EXPECT_FALSE(ListedName(CLSID_LegacyAmFilterCategory, CLSID_TestSource));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_TestSource)));
}

}  // namespace
