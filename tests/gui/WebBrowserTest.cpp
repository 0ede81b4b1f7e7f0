// The web area with the machine's web browser control in it: made with the window, in place in
// it, navigated, and let go when the window goes, whichever way it goes. (The control draws no
// page here: Wine has no HTML engine installed.)
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "ExtCtrls.h"
#include "Forms.h"
#include "GuiTestUtil.h"
#include "WebBrowser.h"
#include "WebTestUtil.h"

using namespace kivo;
using kivo::test::PathOfUrl;
using kivo::test::TWebControlOverride;

namespace {

class TWebForm : public TForm {
  KIVO_CLASS(TWebForm, TForm)
 public:
  explicit TWebForm(TComponent* owner) : TForm(owner) {
    SetClientWidth(400);
    SetClientHeight(200);
    Strip = new TPanel(this);
    Strip->SetParent(this);
    Strip->SetBounds(0, 150, 400, 50);
    Strip->SetAlign(TAlign::alBottom);
    Web = new TWebBrowser(this);
    Web->SetParent(Strip);
    Web->SetAlign(TAlign::alClient);
  }
  TPanel* Strip;
  TWebBrowser* Web;
};
KIVO_IMPLEMENT_CLASS(TWebForm)

class WebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    oleStarted_ = true;
    control = std::make_unique<TWebControlOverride>(TWebControlOverride::TMode::Machine);
    ASSERT_EQ(control->Result(), S_OK);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    for (int i = 0; i < 2; ++i) {
      pages[i] = std::wstring(temp) + L"kivo web page " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(i) + L".htm";
      const char html[] = "<html><body>page</body></html>";
      TFileOwner f(::CreateFileW(pages[i].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD written = 0;
      ASSERT_TRUE(f.Valid() && ::WriteFile(f.Get(), html, sizeof(html) - 1, &written, nullptr));
    }
    form = Create<TWebForm>(Application());
  }
  void TearDown() override {
    if (form) form->Free();
    DoneApplication();
    control.reset();
    if (oleStarted_) ::OleUninitialize();
    for (const std::wstring& p : pages) ::DeleteFileW(p.c_str());
  }
  // The page the control reports, read through its own interface.
  static std::wstring ControlLocation(IUnknown* control) {
    TComPtr<IWebBrowser2> browser;
    BSTR url = nullptr;
    if (FAILED(control->QueryInterface(IID_IWebBrowser2, browser.PutVoid())) || browser->get_LocationURL(&url) != S_OK)
      return L"";
    std::wstring s = url ? url : L"";
    ::SysFreeString(url);
    return s;
  }

  std::unique_ptr<TWebControlOverride> control;
  std::wstring pages[2];
  TWebForm* form = nullptr;

 private:
  bool oleStarted_ = false;
};

TEST_F(WebBrowserTest, NavigatesOnceItsWindowIsMadeAsksBeforeEachAddressAndComesBackWithANewWindow) {
  std::vector<std::wstring> asked;
  form->Web->OnBeforeNavigate = [&](TObject* sender, const std::wstring& url, bool& cancel) {
    EXPECT_EQ(sender, form->Web);
    asked.push_back(PathOfUrl(url));
    cancel = PathOfUrl(url) == test::Lowered(pages[1]);
  };
  // no window yet: the address waits
  EXPECT_EQ(form->Web->Navigate(test::FileUrlOf(pages[0])), S_FALSE);
  EXPECT_TRUE(control->Made().empty());
  EXPECT_EQ(form->Web->ControlInterface(), nullptr);
  EXPECT_EQ(form->Web->LocationURL(), L"");

  form->Show();
  ASSERT_EQ(control->Made().size(), 1u);
  IUnknown* first = control->Made()[0].Get();
  EXPECT_EQ(form->Web->CreateError(), S_OK);
  EXPECT_NE(form->Web->ControlInterface(), nullptr);
  ASSERT_EQ(asked.size(), 1u) << "the control did not ask before going to the address";
  EXPECT_EQ(asked[0], test::Lowered(pages[0]));
  EXPECT_EQ(PathOfUrl(ControlLocation(first)), test::Lowered(pages[0]));
  EXPECT_EQ(PathOfUrl(form->Web->LocationURL()), test::Lowered(pages[0]));

  // a refused address leaves the page as it is (the control may ask later, from the message loop)
  EXPECT_TRUE(SUCCEEDED(form->Web->Navigate(test::FileUrlOf(pages[1]))));
  ASSERT_TRUE(test::PumpUntil([&] { return asked.size() == 2; }, 5000)) << "the control did not ask";
  test::PumpFor(100);
  EXPECT_EQ(asked[1], test::Lowered(pages[1]));
  EXPECT_EQ(PathOfUrl(ControlLocation(first)), test::Lowered(pages[0]));
  EXPECT_EQ(PathOfUrl(form->Web->LocationURL()), test::Lowered(pages[0]));

  // a new window: the old control is let go, a new one shows the page again
  HWND oldWindow = TWebControlOverride::ControlWindow(first);
  ASSERT_NE(oldWindow, nullptr);
  form->Web->RecreateWnd();
  EXPECT_FALSE(::IsWindow(oldWindow));
  EXPECT_EQ(TWebControlOverride::OthersRefs(first), 0u);
  ASSERT_EQ(control->Made().size(), 2u);
  IUnknown* second = control->Made()[1].Get();
  HWND newWindow = TWebControlOverride::ControlWindow(second);
  ASSERT_NE(newWindow, nullptr);
  EXPECT_EQ(::GetParent(newWindow), form->Web->Handle());
  EXPECT_EQ(PathOfUrl(ControlLocation(second)), test::Lowered(pages[0]));
}

TEST_F(WebBrowserTest, ItsWindowDestroyedFirstLetsTheControlGo) {
  form->Show();
  ASSERT_EQ(control->Made().size(), 1u);
  IUnknown* made = control->Made()[0].Get();
  HWND controlWindow = TWebControlOverride::ControlWindow(made);
  ASSERT_NE(controlWindow, nullptr);
  EXPECT_TRUE(::IsChild(form->Handle(), controlWindow));
  ASSERT_EQ(form->Web->Navigate(test::FileUrlOf(pages[0])), S_OK);
  EXPECT_GT(TWebControlOverride::OthersRefs(made), 0u);

  // the form's window goes from under the objects
  ::DestroyWindow(form->Handle());
  EXPECT_FALSE(::IsWindow(controlWindow));
  EXPECT_EQ(form->Web->ControlInterface(), nullptr);
  EXPECT_EQ(TWebControlOverride::OthersRefs(made), 0u) << "the area kept references to the control";
  // what it last showed is still known, and the objects go without the control
  EXPECT_EQ(PathOfUrl(form->Web->LocationURL()), test::Lowered(pages[0]));
  form->Free();
  form = nullptr;
  EXPECT_EQ(control->Made()[0].Detach()->Release(), 0u);
}

}  // namespace
