// The property page a factory with a form class hands out.
#include <gtest/gtest.h>

#include "BaseClass.h"
#include "GraphSupport.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// {6C1F7B10-3A52-4E8B-9D3B-1F0E5A7C2B09}
constexpr CLSID CLSID_TestPage = {0x6c1f7b10, 0x3a52, 0x4e8b, {0x9d, 0x3b, 0x1f, 0x0e, 0x5a, 0x7c, 0x2b, 0x09}};

struct TCalls {
  int Activated = 0, Deactivated = 0, Connected = 0, Disconnected = 0, Applied = 0;
} g_calls;

class TTestForm : public TBCPageForm {
 public:
  TTestForm()
      : Window(::CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"Test page", WS_POPUP | WS_CAPTION, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr)) {}
  HWND Handle() override { return Window.Get(); }
  std::wstring Caption() override { return L"Test page"; }
  SIZE Extent() override { return SIZE{200, 100}; }
  void Activated() override { ++g_calls.Activated; }
  void Deactivated() override { ++g_calls.Deactivated; }
  HRESULT ConnectObject(IUnknown*) override {
    ++g_calls.Connected;
    return S_OK;
  }
  HRESULT DisconnectObject() override {
    ++g_calls.Disconnected;
    return S_OK;
  }
  HRESULT ApplyChanges() override {
    ++g_calls.Applied;
    return S_OK;
  }
  TWindowOwner Window;
};

TBCClassFactory* const g_pageFactory = new TBCClassFactory(
    nullptr, nullptr, 0, 0, GUID_NULL, CLSID_TestPage, L"Test page", [] { return static_cast<TBCPageForm*>(new TTestForm); });

class TSite : public IPropertyPageSite {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = (iid == IID_IUnknown || iid == IID_IPropertyPageSite) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
    Status = flags;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
  DWORD Status = 0;
};

TEST(PropertyPage, FollowsThePageProtocol) {
  TComInit com;
  g_calls = {};
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_TestPage, IID_IClassFactory, factory.PutVoid()), S_OK);
  TComPtr<IPropertyPage> page;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()), S_OK);
  auto* impl = static_cast<TBCBasePropertyPage*>(page.Get());

  TSite site;
  EXPECT_EQ(page->SetPageSite(nullptr), E_UNEXPECTED) << "no site to let go of";
  EXPECT_EQ(page->SetPageSite(&site), S_OK);
  EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED) << "a site is held";

  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
  EXPECT_STREQ(info.pszTitle, L"Test page");
  EXPECT_EQ(info.size.cx, 200);
  EXPECT_EQ(info.size.cy, 100);
  EXPECT_EQ(info.pszDocString, nullptr);
  ::CoTaskMemFree(info.pszTitle);

  TWindowOwner parent(::CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                        nullptr, nullptr, nullptr));
  RECT rect{10, 20, 110, 70};
  EXPECT_EQ(page->Activate(parent.Get(), &rect, TRUE), E_UNEXPECTED) << "no objects yet";
  IUnknown* objects[2] = {&site, &site};
  EXPECT_EQ(page->SetObjects(2, objects), E_UNEXPECTED);
  EXPECT_EQ(page->SetObjects(1, nullptr), E_POINTER);
  ASSERT_EQ(page->SetObjects(1, objects), S_OK);
  EXPECT_EQ(g_calls.Connected, 1);
  EXPECT_EQ(page->Activate(nullptr, &rect, TRUE), E_UNEXPECTED);
  ASSERT_EQ(page->Activate(parent.Get(), &rect, TRUE), S_OK);
  EXPECT_EQ(g_calls.Activated, 1);

  // The form now sits borderless inside the frame at the given place.
  PROPPAGEINFO again{};
  page->GetPageInfo(&again);
  ::CoTaskMemFree(again.pszTitle);
  HWND form = nullptr;
  for (HWND w = ::GetWindow(parent.Get(), GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) form = w;
  ASSERT_TRUE(form);
  EXPECT_FALSE(::GetWindowLongPtrW(form, GWL_STYLE) & WS_CAPTION);
  RECT placed{};
  ::GetWindowRect(form, &placed);
  ::MapWindowPoints(nullptr, parent.Get(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 10);
  EXPECT_EQ(placed.top, 20);
  EXPECT_EQ(placed.right - placed.left, 100);
  EXPECT_TRUE(::IsWindowVisible(form) || !::IsWindowVisible(parent.Get()));
  EXPECT_EQ(page->Show(SW_HIDE), S_OK);
  EXPECT_FALSE(::GetWindowLongPtrW(form, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(page->Show(SW_MAXIMIZE), E_INVALIDARG);

  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(g_calls.Applied, 0) << "nothing to apply";
  impl->SetDirty(true);
  EXPECT_EQ(site.Status, DWORD(PROPPAGESTATUS_DIRTY));
  EXPECT_EQ(page->IsPageDirty(), S_OK);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(g_calls.Applied, 1);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);

  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_FALSE(::GetWindowLongPtrW(form, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
  EXPECT_EQ(g_calls.Deactivated, 1);
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(g_calls.Disconnected, 1);
  EXPECT_EQ(page->Apply(), E_UNEXPECTED) << "no objects";
  EXPECT_EQ(page->Help(L"x"), E_NOTIMPL);
  EXPECT_EQ(page->SetPageSite(nullptr), S_OK);
  page.Reset();
  factory.Reset();
  EXPECT_EQ(ObjectCount.load(), 0);
}

}  // namespace
