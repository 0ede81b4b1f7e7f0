#include "LoopbackServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>

#include "TestSupport.h"

namespace kivo::test {

namespace {

struct TWinsock {
  TWinsock() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~TWinsock() { ::WSACleanup(); }
};

void EnsureWinsock() { static TWinsock winsock; }

// Waits until the socket is readable or the stop flag is set; false on stop or time-out.
bool WaitReadable(SOCKET s, const std::atomic<bool>& stop, DWORD timeoutMs) {
  const double end = NowMs() + timeoutMs;
  while (!stop && NowMs() < end) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{0, 50000};
    const int n = ::select(0, &set, nullptr, nullptr, &tv);
    if (n > 0) return true;
    if (n < 0) return false;
  }
  return false;
}

}  // namespace

TReply TReply::Http(int status, const std::string& body, bool contentLength, const std::string& extraHeaders) {
  TReply r;
  r.Head = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Status") + "\r\n";
  if (contentLength) r.Head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r.Head += extraHeaders + "Connection: close\r\n\r\n";
  r.Body = body;
  return r;
}

TReply TReply::Silence(DWORD ms) {
  TReply r;
  r.Kind = TKind::Silent;
  r.SilentMs = ms;
  return r;
}

TLoopbackServer::TLoopbackServer(TReply reply) : reply_(std::move(reply)) {
  EnsureWinsock();
  listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  int len = sizeof(addr);
  if (listener_ == INVALID_SOCKET || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("loopback server: cannot listen");
  port_ = ntohs(addr.sin_port);
  thread_.Reset(::CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
}

TLoopbackServer::~TLoopbackServer() {
  stop_ = true;
  if (thread_) ::WaitForSingleObject(thread_.Get(), 10000);
  ::closesocket(listener_);
}

std::wstring TLoopbackServer::Url(const std::wstring& path) const {
  return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
}

std::vector<std::string> TLoopbackServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

bool TLoopbackServer::WaitForRequests(std::size_t n, DWORD timeoutMs) const {
  const double end = NowMs() + timeoutMs;
  while (NowMs() < end) {
    if (Requests().size() >= n) return true;
    ::Sleep(10);
  }
  return false;
}

USHORT TLoopbackServer::UnusedPort() {
  EnsureWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof(addr);
  ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::closesocket(s);
  return ntohs(addr.sin_port);
}

DWORD WINAPI TLoopbackServer::ThreadProc(void* self) {
  static_cast<TLoopbackServer*>(self)->Run();
  return 0;
}

void TLoopbackServer::Run() {
  while (!stop_) {
    if (!WaitReadable(listener_, stop_, 100)) continue;
    SOCKET s = ::accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    ++open_;
    Serve(s);
    ::closesocket(s);
    --open_;
  }
}

void TLoopbackServer::Serve(SOCKET s) {
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    if (!WaitReadable(s, stop_, 10000)) return;
    const int n = ::recv(s, buf, sizeof(buf), 0);
    if (n <= 0) return;
    head.append(buf, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(head.substr(0, head.find("\r\n\r\n")));
  }
  if (reply_.Kind == TReply::TKind::Silent) {
    const double end = NowMs() + reply_.SilentMs;
    while (!stop_ && NowMs() < end) ::Sleep(20);
    return;
  }
  std::string out = reply_.Head + reply_.Body.substr(0, std::min(reply_.SendBytes, reply_.Body.size()));
  std::size_t sent = 0;
  while (sent < out.size()) {
    const int n = ::send(s, out.data() + sent, static_cast<int>(out.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
  ::shutdown(s, SD_SEND);
  // Let the peer read everything before the socket goes.
  while (WaitReadable(s, stop_, 2000) && ::recv(s, buf, sizeof(buf), 0) > 0) {
  }
}

}  // namespace kivo::test
