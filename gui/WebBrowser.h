// The web-page area: hosts the system's web browser control (CLSID_WebBrowser) in place in its own
// window, made with the window and closed with it. Where the control cannot be made (not on the
// machine, no OLE on the thread) the area stays empty and shows its colour.
#pragma once

#include <memory>

#include "Controls.h"

struct IWebBrowser2;

namespace kivo {

class TWebBrowser : public TWinControl {
  KIVO_CLASS(TWebBrowser, TWinControl)
  static void Publish(TPublisher<TWebBrowser>& p);
  explicit TWebBrowser(TComponent* owner);
  ~TWebBrowser() override;

  // Sends the control to an address: at once when it runs, or as soon as the window is made.
  // Answers the control's HRESULT; S_FALSE when the address waits for the window, E_NOINTERFACE
  // (with CreateError() telling why) when there is no control. The control may still refuse it
  // through OnBeforeNavigate, then or later.
  HRESULT Navigate(const std::wstring& url);
  // The page as the control reports it; while it reports none, the address last sent to it.
  std::wstring LocationURL() const;
  // The control's own; E_NOINTERFACE when there is none.
  HRESULT Stop();
  HRESULT Refresh();
  bool Silent() const { return silent_; }
  void SetSilent(bool v);
  bool Busy() const;
  // The control's automation interface (no reference added); nullptr while there is no control.
  IWebBrowser2* ControlInterface() const;
  // Why the last attempt to make the control failed; S_OK when it runs or was not asked for yet.
  HRESULT CreateError() const { return createError_; }

  // Fired by the control before it goes to an address (the page's frames too); cancel refuses it.
  std::function<void(TObject* sender, const std::wstring& url, bool& cancel)> OnBeforeNavigate;

  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;

 private:
  class THost;
  friend class TWebBrowserSite;
  void OpenControl();
  void CloseControl() noexcept;
  void PlaceControl();
  // From the control's BeforeNavigate2 event.
  void BeforeNavigate(const std::wstring& url, bool& cancel);

  std::unique_ptr<THost> host_;
  HRESULT createError_ = S_OK;
  std::wstring pending_;  // asked for before the control ran
  std::wstring address_;  // the address last sent to the control, or where the last one was
  bool silent_ = false;
  bool refusedAtOnce_ = false;  // OnBeforeNavigate refused the address while it was being sent
};

}  // namespace kivo
