// An HTTP server on 127.0.0.1 (a port the system picks) for the companion programs' tests: it
// records each request's head and answers every connection the same scripted way.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "Handles.h"

namespace kivo::test {

struct TReply {
  enum class TKind { Answer, Silent };
  TKind Kind = TKind::Answer;
  std::string Head;             // status line and headers, up to and including the empty line
  std::string Body;
  std::size_t SendBytes = ~std::size_t(0);  // of the body; the connection closes after them
  DWORD SilentMs = 20000;       // how long a silent connection is held open

  // "HTTP/1.1 <status>" with Content-Length (unless omitted) and any extra header lines.
  static TReply Http(int status, const std::string& body, bool contentLength = true,
                     const std::string& extraHeaders = "");
  static TReply Silence(DWORD ms = 20000);
};

class TLoopbackServer {
 public:
  explicit TLoopbackServer(TReply reply);
  ~TLoopbackServer();
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  USHORT Port() const { return port_; }
  // "http://127.0.0.1:<port>" + path
  std::wstring Url(const std::wstring& path) const;
  // Heads of the requests received so far (request line first).
  std::vector<std::string> Requests() const;
  // Connections being served at the moment.
  int OpenConnections() const { return open_; }
  // Waits (bounded) until at least n requests have come.
  bool WaitForRequests(std::size_t n, DWORD timeoutMs = 10000) const;

  // A port nothing listens on (bound and released at once).
  static USHORT UnusedPort();

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Run();
  void Serve(SOCKET s);

  TReply reply_;
  SOCKET listener_ = INVALID_SOCKET;
  USHORT port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> open_{0};
  THandleOwner thread_;
  mutable std::mutex lock_;
  std::vector<std::string> requests_;
};

}  // namespace kivo::test
