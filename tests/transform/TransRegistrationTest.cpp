// kivotrans.ax as a user receives it: registered and removed with the prefix's regsvr32, listed by
// the filter mapper, loaded through COM, and its undecorated exports.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "BaseClass.h"
#include "TestSupport.h"
#include "TransObj.h"

using namespace kivo;
using namespace kivo::test;

namespace {

struct TComInit {
  TComInit() { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~TComInit() { ::CoUninitialize(); }
};

std::wstring GuidText(REFGUID g) {
  wchar_t text[40];
  ::StringFromGUID2(g, text, 40);
  return text;
}

// Runs regsvr32.exe of the prefix's system folder; answers its exit code (or 99x on failure to run).
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

bool ReadString(const std::wstring& key, const wchar_t* name, std::wstring& value) {
  wchar_t buf[1024];
  DWORD bytes = sizeof(buf);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS)
    return false;
  value = buf;
  return true;
}

bool KeyExists(const std::wstring& key) {
  TRegKeyOwner k;
  return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

// The device moniker of the filter with this CLSID in a category: its friendly name, its filter data
// and the bound filter.
struct TListed {
  std::wstring Name;
  std::vector<BYTE> FilterData;
  TComPtr<IBaseFilter> Bound;
};

std::optional<TListed> Listed(REFGUID category, REFCLSID clsid) {
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
    const bool same = v.vt == VT_BSTR && SUCCEEDED(::CLSIDFromString(v.bstrVal, &c)) && c == clsid;
    ::VariantClear(&v);
    if (!same) continue;
    TListed listed;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) listed.Name = v.bstrVal;
    ::VariantClear(&v);
    if (SUCCEEDED(bag->Read(L"FilterData", &v, nullptr)) && v.vt == (VT_ARRAY | VT_UI1)) {
      void* data = nullptr;
      if (SUCCEEDED(::SafeArrayAccessData(v.parray, &data))) {
        const BYTE* bytes = static_cast<const BYTE*>(data);
        listed.FilterData.assign(bytes, bytes + v.parray->rgsabound[0].cElements);
        ::SafeArrayUnaccessData(v.parray);
      }
    }
    ::VariantClear(&v);
    m->BindToObject(nullptr, nullptr, IID_IBaseFilter, listed.Bound.PutVoid());
    return listed;
  }
  return std::nullopt;
}

class TransRegistration : public ::testing::Test {
 protected:
  void SetUp() override { Ax = ModuleDir() + L"kivotrans.ax"; }
  void TearDown() override { RunRegsvr32(L"/s /u \"" + Ax + L"\""); }
  TComInit Com;
  std::wstring Ax;
};

TEST_F(TransRegistration, Regsvr32RegistersTheFilterForCOMAndTheMapperAndRemovesIt) {
  ASSERT_EQ(RunRegsvr32(L"/s /u \"" + Ax + L"\""), 0u) << "removing what is not there is no failure";
  ASSERT_FALSE(Listed(CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter)) << "left over from an earlier run";
  ASSERT_EQ(RunRegsvr32(L"/s \"" + Ax + L"\""), 0u);

  const std::wstring key = L"CLSID\\" + GuidText(CLSID_KivoTransformFilter);
  EXPECT_EQ(key, L"CLSID\\{0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}");
  std::wstring value;
  ASSERT_TRUE(ReadString(key, nullptr, value));
  EXPECT_EQ(value, L"Kivo Transform Filter");
  ASSERT_TRUE(ReadString(key + L"\\InprocServer32", nullptr, value));
  EXPECT_EQ(::CompareStringOrdinal(value.c_str(), -1, Ax.c_str(), -1, TRUE), CSTR_EQUAL)
      << std::string(value.begin(), value.end());
  ASSERT_TRUE(ReadString(key + L"\\InprocServer32", L"ThreadingModel", value));
  EXPECT_EQ(value, L"Both");

  {
    auto listed = Listed(CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->Name, L"Kivo Transform Filter");
    // Filter data: version, then the merit (never picked by automatic graph building).
    ASSERT_GE(listed->FilterData.size(), 8u);
    DWORD merit = 0;
    std::memcpy(&merit, listed->FilterData.data() + 4, 4);
    EXPECT_EQ(merit, DWORD(MERIT_DO_NOT_USE));
    // The moniker loads the registered server and gives a working filter.
    ASSERT_TRUE(listed->Bound);
    CLSID got{};
    EXPECT_EQ(listed->Bound->GetClassID(&got), S_OK);
    EXPECT_EQ(got, CLSID_KivoTransformFilter);
    TComPtr<ITransFilterConfig> config;
    ASSERT_EQ(listed->Bound.As(config), S_OK);
    EXPECT_EQ(config->SetOutputSize(2000, 100), E_INVALIDARG);
    EXPECT_EQ(config->SetOutputSize(640, 480), S_OK);
    TComPtr<IPin> in, out;
    EXPECT_EQ(listed->Bound->FindPin(L"In", in.Put()), S_OK);
    EXPECT_EQ(listed->Bound->FindPin(L"Out", out.Put()), S_OK);
  }
  TComPtr<IBaseFilter> created;
  EXPECT_EQ(::CoCreateInstance(CLSID_KivoTransformFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               created.PutVoid()),
            S_OK);
  created.Reset();

  ASSERT_EQ(RunRegsvr32(L"/s /u \"" + Ax + L"\""), 0u);
  EXPECT_FALSE(KeyExists(key));
  EXPECT_FALSE(Listed(CLSID_LegacyAmFilterCategory, CLSID_KivoTransformFilter));
}

TEST_F(TransRegistration, ExportsUndecoratedEntryPointsAndCountsLiveObjects) {
  TModuleOwner ax(::LoadLibraryW(Ax.c_str()));
  ASSERT_TRUE(ax);
  using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using TNoArgs = HRESULT(STDAPICALLTYPE*)();
  auto getClassObject = reinterpret_cast<TGetClassObject>(::GetProcAddress(ax.Get(), "DllGetClassObject"));
  auto canUnload = reinterpret_cast<TNoArgs>(::GetProcAddress(ax.Get(), "DllCanUnloadNow"));
  ASSERT_TRUE(getClassObject && canUnload);
  EXPECT_TRUE(::GetProcAddress(ax.Get(), "DllRegisterServer"));
  EXPECT_TRUE(::GetProcAddress(ax.Get(), "DllUnregisterServer"));

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
