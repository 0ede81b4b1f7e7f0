// The web-page area: a window that takes the address it is sent to. It hosts no browser engine
// (under Wine there is none to show a page), so it shows its colour only.
#pragma once

#include "Controls.h"

namespace kivo {

class TWebBrowser : public TWinControl {
  KIVO_CLASS(TWebBrowser, TWinControl)
  static void Publish(TPublisher<TWebBrowser>& p);
  explicit TWebBrowser(TComponent* owner);
  // Asks for a page; the address is kept and OnBeforeNavigate may refuse it.
  void Navigate(const std::wstring& url);
  std::wstring LocationURL() const { return url_; }
  void Stop() {}
  void Refresh() {}
  bool Silent() const { return silent_; }
  void SetSilent(bool v) { silent_ = v; }
  bool Busy() const { return false; }

  std::function<void(TObject* sender, const std::wstring& url, bool& cancel)> OnBeforeNavigate;

 private:
  std::wstring url_;
  bool silent_ = false;
};

}  // namespace kivo
