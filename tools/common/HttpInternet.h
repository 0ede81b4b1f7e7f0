// One HTTP GET at a time over WinINet in asynchronous mode: status notifications become virtual
// hooks, the calling thread blocks on three events until the request is over. CQuonInternet keeps
// the response in a short text buffer or downloads it into a file that carries a trailer record
// while it is incomplete.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Handles.h"

namespace kivo {

class CHTTPInternet {
 public:
  static constexpr DWORD kDefaultTimeoutMs = 30000;

  CHTTPInternet();
  virtual ~CHTTPInternet();
  CHTTPInternet(const CHTTPInternet&) = delete;
  CHTTPInternet& operator=(const CHTTPInternet&) = delete;

  virtual void OnError(DWORD error);
  virtual void OnHttpStatus(DWORD status);
  virtual void OnContentLength(ULONGLONG length);
  virtual void OnLastModified(const FILETIME& time);
  virtual void OnData(const BYTE* data, DWORD count);
  virtual void OnResolvingName(const void* info, DWORD length);
  virtual void OnNameResolved(const void* info, DWORD length);
  virtual void OnConnecting();
  virtual void OnConnected();
  virtual void OnClosingConnection();
  virtual void OnConnectionClosed();
  virtual void OnHandleCreated(HINTERNET handle);
  virtual void OnHandleClosing();
  virtual void OnSendingRequest();
  virtual void OnRequestSent(DWORD bytes);
  virtual void OnReceivingResponse();
  virtual void OnResponseReceived(DWORD bytes);
  virtual void OnRequestComplete(DWORD_PTR result, DWORD error);
  virtual void OnSpare();
  virtual void Reset();
  virtual void SetDefaultHeaders();

  // 0 on success, else a WinINet or system error code or the HTTP status outside 200-299.
  DWORD Request(const wchar_t* url);

  DWORD Result() const { return result_; }
  DWORD Timeout() const { return timeout_; }
  void SetTimeout(DWORD ms) { timeout_ = ms; }
  ULONGLONG ContentLength() const { return contentLength_; }
  ULONGLONG Received() const { return received_; }
  ULONGLONG Speed() const { return speed_; }
  const std::wstring& UserAgent() const { return userAgent_; }
  const std::wstring& Host() const { return host_; }
  INTERNET_PORT Port() const { return static_cast<INTERNET_PORT>(port_); }
  const std::wstring& UrlPath() const { return urlPath_; }
  void SetExtraHeaders(const std::wstring& text) { extraHeaders_ = text; }

 protected:
  // Opens the URL on the session (InternetOpenUrl); a handle when it completed at once, nothing
  // with the last error set otherwise (ERROR_IO_PENDING while it runs on).
  virtual HINTERNET OpenUrl(HINTERNET session, const std::wstring& url, const std::wstring& headers, DWORD flags);

  // Ends a running request from a hook: result 12017 and Closed signalled.
  void Cancel();
  // Stops the status callbacks and closes the handles; the most derived destructor calls it
  // before it tears anything down, so no hook runs on a part-destroyed object.
  void StopCallbacks();

  std::atomic<DWORD> result_{0};
  ULONGLONG contentLength_ = 0;
  DWORD id_ = 0;

 private:
  static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info, DWORD length);
  void Dispatch(DWORD status, void* info, DWORD length);
  bool CrackUrl();
  bool Wait();
  void ReadBody();
  void Cleanup();
  void FirstCompletion();

  THandleOwner done_, failed_, closed_;
  std::atomic<HINTERNET> session_{nullptr};
  std::atomic<HINTERNET> request_{nullptr};
  DWORD timeout_ = kDefaultTimeoutMs;
  std::wstring userAgent_, extraHeaders_, accept_, fixedHeaders_;
  int scheme_ = 0;
  int port_ = -1;
  std::wstring url_, host_, urlPath_, userName_, password_;
  std::atomic<ULONGLONG> startTime_{0};
  std::atomic<LONGLONG> elapsed_{-1};
  std::atomic<ULONGLONG> received_{0};
  std::atomic<ULONGLONG> speed_{0};
  std::atomic<bool> firstCompletion_{true};
  std::atomic<bool> connectionClosed_{false};
  // A pending read writes here: it lives as long as the client.
  BYTE readBuffer_[1024] = {};
  INTERNET_BUFFERSA readRecord_{};
};

// Written at the offset of the expected total length into a download's temporary file while it is
// incomplete; 33 bytes, little-endian.
struct DownloadTrailer {
  static constexpr std::size_t kSize = 33;
  char Magic[4] = {'T', 'R', 'O', 'V'};
  BYTE Zero = 0;
  DWORD Crc = 0;
  ULONGLONG Written = 0;
  ULONGLONG Total = 0;
  ULONGLONG LastModified = 0;  // FILETIME, 0 when the server sent none
  void Serialize(BYTE (&out)[kSize]) const;
};

// CRC-32, most significant bit first, polynomial 0x84222221, no final XOR.
DWORD TrovCrcEntry(BYTE index);
DWORD TrovCrc(DWORD crc, const BYTE* data, std::size_t length);

// Progress of a download: user value, id, chunk length, 0, first text, 1 when nothing has been
// downloaded yet or the percent changed, percent, downloaded, total, second text, speed.
using TDownloadProgress = void (*)(void* user, DWORD id, DWORD chunk, DWORD zero, const wchar_t* text1, BOOL changed,
                                   int percent, ULONGLONG downloaded, ULONGLONG total, const wchar_t* text2,
                                   ULONGLONG speed);

class CQuonInternet : public CHTTPInternet {
 public:
  static constexpr DWORD kBufferMax = 256;

  CQuonInternet();
  ~CQuonInternet() override;

  void OnContentLength(ULONGLONG length) override;
  void OnLastModified(const FILETIME& time) override;
  void OnData(const BYTE* data, DWORD count) override;
  void Reset() override;

  // Escapes the URL and runs the request keeping at most 256 bytes of the response: the text
  // (zero-terminated, valid until the next request) or nothing.
  const char* GetToBuffer(const wchar_t* url);

  // File mode for the next Request (after Reset): the response goes to temp and, once complete
  // (and matching the expected MD5 when one is given), replaces target.
  void SetDownloadFile(const std::wstring& target, const std::wstring& temp, const std::string& expectedMd5);
  void SetProgress(TDownloadProgress callback, void* user, volatile LONG* enable, const std::wstring& text1,
                   const std::wstring& text2);

  const DownloadTrailer& Trailer() const { return trailer_; }
  ULONGLONG Downloaded() const { return downloaded_; }

 private:
  bool PrepareFile();
  bool WriteTrailer();
  bool FileStep(const BYTE* data, DWORD count);
  void ReportProgress(DWORD chunk);

  // Buffer mode
  DWORD bufferMax_ = 0;
  std::vector<char> buffer_;
  std::size_t fill_ = 0;
  // File mode
  TFileOwner file_;
  DownloadTrailer trailer_;
  ULONGLONG downloaded_ = 0;
  int lastPercent_ = 0;
  bool openFile_ = false;
  std::string expectedMd5_;
  std::wstring targetPath_, tempPath_;
  TDownloadProgress progress_ = nullptr;
  void* progressUser_ = nullptr;
  volatile LONG* enable_ = nullptr;
  std::wstring text1_, text2_;
};

// Percent-escapes a URL's UTF-8 bytes outside "!".."z" and the bytes " < > % \ ^ [ ] ` + $ ,;
// a "%" that starts an escape (two hexadecimal digits follow) is kept as it is.
std::wstring EscapeUrl(const std::wstring& text);

}  // namespace kivo
