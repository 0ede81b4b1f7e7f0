#include "WebBrowser.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TWebBrowser)

void TWebBrowser::Publish(TPublisher<TWebBrowser>& p) {
  PublishVisibility(p);
  PublishAlign(p);
  p.Boolean(L"Silent", &TWebBrowser::Silent, &TWebBrowser::SetSilent);
}
TWebBrowser::TWebBrowser(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 300, 150);
  SetColor(clWhite);
}
void TWebBrowser::Navigate(const std::wstring& url) {
  bool cancel = false;
  if (OnBeforeNavigate) OnBeforeNavigate(this, url, cancel);
  if (!cancel) url_ = url;
}

}  // namespace kivo
