// The asynchronous HTTP client against a loopback server: buffer mode, failures and time-outs,
// file mode with its trailer, EscapeUrl and the trailer's CRC.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "HttpInternet.h"
#include "LoopbackServer.h"
#include "Md5.h"
#include "TestSupport.h"
#include "ToolsTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// Records the hooks a request went through.
class TRecordingClient : public CQuonInternet {
 public:
  ~TRecordingClient() override { StopCallbacks(); }
  void OnHttpStatus(DWORD status) override {
    Status = status;
    CQuonInternet::OnHttpStatus(status);
  }
  void OnContentLength(ULONGLONG length) override {
    ++ContentLengthCalls;
    CQuonInternet::OnContentLength(length);
  }
  void OnError(DWORD error) override {
    Errors.push_back(error);
    CQuonInternet::OnError(error);
  }
  void OnHandleCreated(HINTERNET handle) override {
    Handles.push_back(handle);
    CQuonInternet::OnHandleCreated(handle);
  }
  DWORD Status = 0;
  int ContentLengthCalls = 0;
  std::vector<DWORD> Errors;
  std::vector<HINTERNET> Handles;
};

std::string Text(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

// The CRC computed bit by bit, as the definition reads.
DWORD BitwiseCrc(const std::string& data) {
  DWORD crc = 0;
  for (unsigned char b : data) {
    crc ^= static_cast<DWORD>(b) << 24;
    for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000) ? (crc << 1) ^ 0x84222221 : crc << 1;
  }
  return crc;
}

template <class T>
T LittleEndian(const std::string& bytes, std::size_t at) {
  T v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return v;
}

}  // namespace

TEST(HttpInternet, SmallBodyComesWholeAndTheRequestCarriesTheClientsHeaders) {
  TLoopbackServer server(TReply::Http(200, "0123456789"));
  TRecordingClient client;
  const char* text = client.GetToBuffer(server.Url(L"/api/x?a=1&b=two").c_str());
  ASSERT_NE(text, nullptr) << "result " << client.Result();
  EXPECT_EQ(std::string(text), "0123456789");
  EXPECT_EQ(client.Result(), 0u);
  EXPECT_EQ(client.Status, 200u);
  EXPECT_EQ(client.ContentLengthCalls, 1);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string head = server.Requests()[0];
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /api/x?a=1&b=two HTTP/1.1");
  EXPECT_NE(head.find("User-Agent: tools_common_test.exe\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Pragma: no-cache"), std::string::npos) << head;
  EXPECT_NE(head.find("Cache-Control: no-cache"), std::string::npos) << head;
}

TEST(HttpInternet, BufferKeepsAtMost256BytesAndTheRestIsReadAndDropped) {
  for (std::size_t size : {300u, 100000u}) {
    const std::string body = Text(size);
    TLoopbackServer server(TReply::Http(200, body));
    TRecordingClient client;
    const char* text = client.GetToBuffer(server.Url(L"/big").c_str());
    ASSERT_NE(text, nullptr) << size << ": result " << client.Result();
    EXPECT_EQ(std::string(text), body.substr(0, 256)) << size;
    EXPECT_EQ(client.Result(), 0u) << size;
    EXPECT_EQ(client.ContentLength(), size);
  }
}

// Requests that end without a text, and the result each gives.
TEST(HttpInternet, FailedRequestsGiveNothingAndTheirResult) {
  struct TCase {
    const char* name;
    TReply reply;
    DWORD result;
    int contentLengthCalls;
  };
  TReply cut = TReply::Http(200, Text(1000));
  cut.SendBytes = 100;
  const TCase cases[] = {
      {"404", TReply::Http(404, "not here"), 404, 0},
      {"no Content-Length", TReply::Http(200, "body without length", false), ERROR_INTERNET_OPERATION_CANCELLED, 0},
      {"Content-Length 0", TReply::Http(200, ""), ERROR_INTERNET_OPERATION_CANCELLED, 1},
      {"body cut short", cut, ERROR_INTERNET_CONNECTION_ABORTED, 1},
  };
  for (const TCase& c : cases) {
    TLoopbackServer server(c.reply);
    TRecordingClient client;
    EXPECT_EQ(client.GetToBuffer(server.Url(L"/x").c_str()), nullptr) << c.name;
    EXPECT_EQ(client.Result(), c.result) << c.name;
    EXPECT_EQ(client.ContentLengthCalls, c.contentLengthCalls) << c.name;
    EXPECT_EQ(server.Requests().size(), 1u) << c.name;
  }
}

TEST(HttpInternet, ARefusedPortAndBadUrlsFailAtOnce) {
  TRecordingClient client;
  const std::wstring refused = L"http://127.0.0.1:" + std::to_wstring(TLoopbackServer::UnusedPort()) + L"/x";
  EXPECT_EQ(client.GetToBuffer(refused.c_str()), nullptr);
  EXPECT_EQ(client.Result(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(client.Errors, std::vector<DWORD>{ERROR_INTERNET_CANNOT_CONNECT});

  EXPECT_EQ(client.GetToBuffer(L""), nullptr);
  EXPECT_EQ(client.Result(), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL));
  EXPECT_EQ(client.GetToBuffer(L"no scheme at all"), nullptr);
  EXPECT_EQ(client.Result(), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL));
}

TEST(HttpInternet, ASilentServerEndsInTheTimeOut) {
  TLoopbackServer server(TReply::Silence(20000));
  TRecordingClient client;
  client.SetTimeout(1500);
  EXPECT_EQ(client.GetToBuffer(server.Url(L"/slow").c_str()), nullptr);
  // The client gave up on its own: the server still holds the connection open.
  EXPECT_EQ(server.OpenConnections(), 1);
  // Windows reports ERROR_INTERNET_TIMEOUT; Wine reports the receive time-out as an aborted
  // connection.
  EXPECT_TRUE(client.Result() == ERROR_INTERNET_TIMEOUT || client.Result() == ERROR_INTERNET_CONNECTION_ABORTED)
      << client.Result();
  EXPECT_EQ(client.Handles.size(), 1u);
}

// A client whose open completes at once, as WinINet may do: the handle it got is a success, is
// read from and closed.
class TSyncOpenClient : public CQuonInternet {
 public:
  ~TSyncOpenClient() override { StopCallbacks(); }
  HINTERNET Opened = nullptr;

 protected:
  HINTERNET OpenUrl(HINTERNET, const std::wstring& url, const std::wstring& headers, DWORD flags) override {
    syncSession_.reset(new TInternetHandle(::InternetOpenW(L"sync", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)));
    Opened = ::InternetOpenUrlW(syncSession_->Get(), url.c_str(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                flags, 0);
    return Opened;
  }

 private:
  struct TInternetHandle {
    explicit TInternetHandle(HINTERNET h) : h_(h) {}
    ~TInternetHandle() {
      if (h_) ::InternetCloseHandle(h_);
    }
    HINTERNET Get() const { return h_; }
    HINTERNET h_;
  };
  std::unique_ptr<TInternetHandle> syncSession_;
};

TEST(HttpInternet, AnOpenThatCompletesAtOnceIsASuccessAndItsHandleIsClosed) {
  TLoopbackServer server(TReply::Http(200, "synchronous"));
  TSyncOpenClient client;
  const char* text = client.GetToBuffer(server.Url(L"/sync").c_str());
  ASSERT_NE(client.Opened, nullptr);
  ASSERT_NE(text, nullptr) << "result " << client.Result();
  EXPECT_EQ(std::string(text), "synchronous");
  DWORD type = 0;
  DWORD size = sizeof(type);
  EXPECT_FALSE(::InternetQueryOptionW(client.Opened, INTERNET_OPTION_HANDLE_TYPE, &type, &size))
      << "the request handle is still open";
}

TEST(HttpInternet, ClientsDestroyedRightAfterFailedRequestsLeaveNoCallbackBehind) {
  TReply cut = TReply::Http(200, Text(5000));
  cut.SendBytes = 10;
  TLoopbackServer server(cut);
  for (int i = 0; i < 8; ++i) {
    auto client = std::make_unique<TRecordingClient>();
    EXPECT_EQ(client->GetToBuffer(server.Url(L"/cut").c_str()), nullptr);
    client.reset();
  }
  EXPECT_TRUE(server.WaitForRequests(8));
}

TEST(HttpInternet, EscapeUrlEscapesTheUnsafeBytes) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"http://h:8081/api/x?a=1&b=2#f", L"http://h:8081/api/x?a=1&b=2#f"},
      {L"a b", L"a%20b"},
      {L"100%", L"100%25"},
      {L"%zz%4", L"%25zz%254"},
      {L"already%20escaped%2f", L"already%20escaped%2f"},
      {L"\"<>\\^[]`+$,", L"%22%3C%3E%5C%5E%5B%5D%60%2B%24%2C"},
      {L"{|}~", L"%7B%7C%7D%7E"},
      {L"\u00e9\u4e2d", L"%C3%A9%E4%B8%AD"},
      {L"!'()*-.;@_", L"!'()*-.;@_"},
      {L"tab\there", L"tab%09here"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeUrl(c.in), c.out) << "input: " << std::string(c.in, c.in + wcslen(c.in));
}

TEST(HttpInternet, TrailerCrcIsTheUnreflectedCrcOfItsPolynomial) {
  EXPECT_EQ(TrovCrc(0, reinterpret_cast<const BYTE*>("abc"), 3), 0xA3158BC5u);
  EXPECT_EQ(TrovCrcEntry(1), 0x84222221u);
  EXPECT_EQ(TrovCrcEntry(255), 0x30666789u);
  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>((i * 131 + 7) & 0xFF);
  EXPECT_EQ(TrovCrc(0, reinterpret_cast<const BYTE*>(data.data()), data.size()), BitwiseCrc(data));
  // In pieces as the download writes them.
  DWORD crc = 0;
  for (std::size_t at = 0; at < data.size(); at += 1024)
    crc = TrovCrc(crc, reinterpret_cast<const BYTE*>(data.data()) + at, std::min<std::size_t>(1024, data.size() - at));
  EXPECT_EQ(crc, BitwiseCrc(data));
}

namespace {

struct TProgress {
  std::vector<int> Percents;
  std::vector<ULONGLONG> Downloaded;
  ULONGLONG Total = 0;
  static void Callback(void* user, DWORD, DWORD, DWORD, const wchar_t*, BOOL, int percent, ULONGLONG downloaded,
                       ULONGLONG total, const wchar_t*, ULONGLONG) {
    auto* self = static_cast<TProgress*>(user);
    self->Percents.push_back(percent);
    self->Downloaded.push_back(downloaded);
    self->Total = total;
  }
};

// Runs one file-mode download of the server's reply into target (through temp).
DWORD Download(TLoopbackServer& server, const std::wstring& target, const std::wstring& temp, const std::string& md5,
               TProgress* progress, LONG* enable, CQuonInternet& client) {
  client.Reset();
  client.SetDownloadFile(target, temp, md5);
  if (progress) client.SetProgress(&TProgress::Callback, progress, enable, L"one", L"two");
  return client.Request(server.Url(L"/file").c_str());
}

}  // namespace

TEST(HttpInternet, FileModeCompletesIntoTheTargetWithTheServersTime) {
  TTempFolder folder(L"http");
  const std::string body = Text(5000);
  TLoopbackServer server(TReply::Http(200, body, true, "Last-Modified: Tue, 21 Jun 2011 04:39:20 GMT\r\n"));
  WriteFileBytes(folder / L"target.bin", "old content");
  TProgress progress;
  LONG enable = 1;
  CQuonInternet client;
  ASSERT_EQ(Download(server, folder / L"target.bin", folder / L"target.tmp", CMd5::Of(body.data(), body.size()),
                     &progress, &enable, client),
            0u);
  EXPECT_EQ(ReadFileBytes(folder / L"target.bin"), body);
  EXPECT_FALSE(PathExists(folder / L"target.tmp"));
  WIN32_FILE_ATTRIBUTE_DATA info{};
  ASSERT_TRUE(::GetFileAttributesExW((folder / L"target.bin").c_str(), GetFileExInfoStandard, &info));
  SYSTEMTIME st{};
  ::FileTimeToSystemTime(&info.ftLastWriteTime, &st);
  EXPECT_EQ(st.wYear, 2011);
  EXPECT_EQ(st.wMonth, 6);
  EXPECT_EQ(st.wDay, 21);
  EXPECT_EQ(st.wHour, 4);
  EXPECT_EQ(st.wMinute, 39);
  ASSERT_FALSE(progress.Percents.empty());
  EXPECT_EQ(progress.Percents.back(), 100);
  EXPECT_EQ(progress.Downloaded.back(), body.size());
  EXPECT_EQ(progress.Total, body.size());
  EXPECT_TRUE(std::is_sorted(progress.Downloaded.begin(), progress.Downloaded.end()));
}

TEST(HttpInternet, AnInterruptedDownloadKeepsItsTrailerAndTheOldTarget) {
  TTempFolder folder(L"http");
  const std::string body = Text(5000);
  TReply reply = TReply::Http(200, body, true, "Last-Modified: Tue, 21 Jun 2011 04:39:20 GMT\r\n");
  reply.SendBytes = 3000;
  TLoopbackServer server(reply);
  WriteFileBytes(folder / L"target.bin", "old content");
  CQuonInternet client;
  EXPECT_EQ(Download(server, folder / L"target.bin", folder / L"target.tmp", "", nullptr, nullptr, client),
            static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED));
  client.Reset();  // closes the temporary file
  EXPECT_EQ(ReadFileBytes(folder / L"target.bin"), "old content");
  const std::string temp = ReadFileBytes(folder / L"target.tmp");
  ASSERT_EQ(temp.size(), body.size() + 33);
  EXPECT_EQ(temp.substr(0, 3000), body.substr(0, 3000));
  const std::string trailer = temp.substr(body.size());
  EXPECT_EQ(trailer.substr(0, 5), std::string("TROV\0", 5));
  EXPECT_EQ(LittleEndian<DWORD>(trailer, 5), BitwiseCrc(body.substr(0, 3000)));
  EXPECT_EQ(LittleEndian<ULONGLONG>(trailer, 9), 3000u);
  EXPECT_EQ(LittleEndian<ULONGLONG>(trailer, 17), body.size());
  FILETIME ft{};
  SYSTEMTIME st{2011, 6, 2, 21, 4, 39, 20, 0};
  ::SystemTimeToFileTime(&st, &ft);
  EXPECT_EQ(LittleEndian<ULONGLONG>(trailer, 25), (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

TEST(HttpInternet, ADownloadWithTheWrongMd5LeavesTheTargetAsItWas) {
  TTempFolder folder(L"http");
  const std::string body = Text(2500);
  TLoopbackServer server(TReply::Http(200, body));
  WriteFileBytes(folder / L"target.bin", "old content");
  TProgress progress;
  LONG enable = 1;
  CQuonInternet client;
  EXPECT_EQ(Download(server, folder / L"target.bin", folder / L"target.tmp", "0123456789abcdef0123456789abcdef",
                     &progress, &enable, client),
            static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  EXPECT_EQ(ReadFileBytes(folder / L"target.bin"), "old content");
  EXPECT_FALSE(PathExists(folder / L"target.tmp"));
  EXPECT_EQ(enable, 0);

  // The same download with the right digest in other letter case replaces it.
  std::string md5 = CMd5::Of(body.data(), body.size());
  for (char& c : md5) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Download(server, folder / L"target.bin", folder / L"target.tmp", md5, nullptr, nullptr, client), 0u);
  EXPECT_EQ(ReadFileBytes(folder / L"target.bin"), body);
}
