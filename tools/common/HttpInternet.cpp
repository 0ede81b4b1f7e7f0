#include "HttpInternet.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "FileLog.h"
#include "Md5.h"

namespace kivo {

namespace {

constexpr DWORD kOpenFlags = 0x84000100;  // reload, no cache write, pragma no-cache

// Clients whose status callbacks may still run. A callback looks its client up here under the
// lock, so a client that has left the list is never touched again.
TCriticalSection& ClientsLock() {
  static TCriticalSection lock;
  return lock;
}
std::vector<CHTTPInternet*>& Clients() {
  static std::vector<CHTTPInternet*> clients;
  return clients;
}

ULONGLONG LocalMsSince1601() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  FILETIME ft{};
  ::SystemTimeToFileTime(&st, &ft);
  return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

DWORD g_crcTable[256];
std::once_flag g_crcOnce;

void BuildCrcTable() {
  for (DWORD i = 0; i < 256; ++i) {
    DWORD crc = i << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000) ? (crc << 1) ^ 0x84222221 : crc << 1;
    g_crcTable[i] = crc;
  }
}

std::string Md5OfFile(const std::wstring& path) {
  TFileOwner file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "00000000000000000000000000000000";
  CMd5 md5;
  BYTE chunk[1024];
  DWORD got = 0;
  while (::ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) md5.Update(chunk, got);
  md5.Final();
  return md5.Text();
}

bool WriteAt(HANDLE file, ULONGLONG offset, const void* data, DWORD bytes) {
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(offset);
  DWORD written = 0;
  return ::SetFilePointerEx(file, pos, nullptr, FILE_BEGIN) && ::WriteFile(file, data, bytes, &written, nullptr) &&
         written == bytes;
}

}  // namespace

// --- CHTTPInternet ---

CHTTPInternet::CHTTPInternet()
    : done_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      failed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      closed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  CHTTPInternet::Reset();
  CHTTPInternet::SetDefaultHeaders();
  TLock lock(ClientsLock());
  Clients().push_back(this);
}

CHTTPInternet::~CHTTPInternet() {
  StopCallbacks();
  ::SetEvent(done_.Get());
  ::SetEvent(failed_.Get());
  ::SetEvent(closed_.Get());
}

void CHTTPInternet::StopCallbacks() {
  {
    TLock lock(ClientsLock());
    auto& clients = Clients();
    clients.erase(std::remove(clients.begin(), clients.end(), this), clients.end());
  }
  if (HINTERNET request = request_.exchange(nullptr)) {
    ::InternetSetStatusCallbackW(request, nullptr);
    ::InternetCloseHandle(request);
  }
  if (HINTERNET session = session_.exchange(nullptr)) {
    ::InternetSetStatusCallbackW(session, nullptr);
    ::InternetCloseHandle(session);
  }
}

void CHTTPInternet::OnError(DWORD) {}
void CHTTPInternet::OnHttpStatus(DWORD) {}
void CHTTPInternet::OnContentLength(ULONGLONG) {}
void CHTTPInternet::OnLastModified(const FILETIME&) {}
void CHTTPInternet::OnData(const BYTE*, DWORD) {}
void CHTTPInternet::OnResolvingName(const void*, DWORD) {}
void CHTTPInternet::OnNameResolved(const void*, DWORD) {}
void CHTTPInternet::OnConnecting() {}
void CHTTPInternet::OnConnected() {}
void CHTTPInternet::OnClosingConnection() {}
void CHTTPInternet::OnConnectionClosed() { connectionClosed_ = true; }
void CHTTPInternet::OnSendingRequest() {}
void CHTTPInternet::OnReceivingResponse() {}
void CHTTPInternet::OnSpare() {}

void CHTTPInternet::OnHandleCreated(HINTERNET handle) {
  request_ = handle;
  DWORD ms = timeout_;
  ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof(ms));
  ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof(ms));
  ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof(ms));
}

void CHTTPInternet::OnHandleClosing() {
  request_ = nullptr;
  ::SetEvent(closed_.Get());
}

void CHTTPInternet::OnRequestSent(DWORD) { startTime_ = LocalMsSince1601(); }

void CHTTPInternet::OnResponseReceived(DWORD bytes) {
  received_ += bytes;
  const LONGLONG elapsed = static_cast<LONGLONG>(LocalMsSince1601() - startTime_);
  elapsed_ = elapsed;
  if (elapsed != 0) speed_ = received_ * 1000 / static_cast<ULONGLONG>(elapsed);
}

void CHTTPInternet::FirstCompletion() {
  HINTERNET request = request_;
  DWORD status = 400;
  DWORD size = sizeof(status);
  if (::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    OnHttpStatus(status);
  if (status < 200 || status > 299) {
    result_ = status;
    ::SetEvent(failed_.Get());
    return;
  }
  SYSTEMTIME modified{};
  size = sizeof(modified);
  FILETIME ft{};
  if (::HttpQueryInfoW(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &modified, &size, nullptr) &&
      ::SystemTimeToFileTime(&modified, &ft))
    OnLastModified(ft);
  wchar_t text[32] = {};
  size = sizeof(text) - sizeof(wchar_t);
  if (::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
    wchar_t* end = nullptr;
    const ULONGLONG length = std::wcstoull(text, &end, 10);
    if (end != text) {
      contentLength_ = length;
      OnContentLength(length);
    }
  }
  result_ = 0;
  ::SetEvent(done_.Get());
}

void CHTTPInternet::OnRequestComplete(DWORD_PTR, DWORD error) {
  if (error) {
    result_ = error;
    OnError(error);
    ::SetEvent(failed_.Get());
    return;
  }
  if (request_ && firstCompletion_.exchange(false)) return FirstCompletion();
  result_ = 0;
  ::SetEvent(done_.Get());
}

void CHTTPInternet::Reset() {
  elapsed_ = -1;
  connectionClosed_ = false;
  contentLength_ = 0;
  received_ = 0;
  speed_ = 0;
  startTime_ = 0;
  firstCompletion_ = true;
  url_.clear();
  scheme_ = 0;
  port_ = -1;
  host_.clear();
  urlPath_.clear();
  userName_.clear();
  password_.clear();
  result_ = 0;
}

void CHTTPInternet::SetDefaultHeaders() {
  userAgent_ = ExtractPathFileName(GetModulePath());
  extraHeaders_.clear();
  accept_ = L"*/*";
  fixedHeaders_ = L"Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close";
}

void CALLBACK CHTTPInternet::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
  if (status < 10 || status > 100) return;
  auto* client = reinterpret_cast<CHTTPInternet*>(context);
  TLock lock(ClientsLock());
  const auto& clients = Clients();
  if (std::find(clients.begin(), clients.end(), client) == clients.end()) return;
  client->Dispatch(status, info, length);
}

void CHTTPInternet::Dispatch(DWORD status, void* info, DWORD length) {
  const auto* async = static_cast<const INTERNET_ASYNC_RESULT*>(info);
  const DWORD value = info && length >= sizeof(DWORD) ? *static_cast<const DWORD*>(info) : 0;
  switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME: return OnResolvingName(info, length);
    case INTERNET_STATUS_NAME_RESOLVED: return OnNameResolved(info, length);
    case INTERNET_STATUS_CONNECTING_TO_SERVER: return OnConnecting();
    case INTERNET_STATUS_CONNECTED_TO_SERVER: return OnConnected();
    case INTERNET_STATUS_SENDING_REQUEST: return OnSendingRequest();
    case INTERNET_STATUS_REQUEST_SENT: return OnRequestSent(value);
    case INTERNET_STATUS_RECEIVING_RESPONSE: return OnReceivingResponse();
    case INTERNET_STATUS_RESPONSE_RECEIVED: return OnResponseReceived(value);
    case INTERNET_STATUS_CLOSING_CONNECTION: return OnClosingConnection();
    case INTERNET_STATUS_CONNECTION_CLOSED: return OnConnectionClosed();
    case INTERNET_STATUS_HANDLE_CREATED:
      // The new handle comes first: alone, or as the result of an INTERNET_ASYNC_RESULT.
      if (info && length >= sizeof(HINTERNET)) OnHandleCreated(*static_cast<const HINTERNET*>(info));
      return;
    case INTERNET_STATUS_HANDLE_CLOSING: return OnHandleClosing();
    case INTERNET_STATUS_REQUEST_COMPLETE:
      if (async && length >= sizeof(INTERNET_ASYNC_RESULT)) OnRequestComplete(async->dwResult, async->dwError);
      return;
    default: return;
  }
}

bool CHTTPInternet::CrackUrl() {
  std::wstring canonical(2084, L'\0');
  DWORD size = static_cast<DWORD>(canonical.size());
  if (!::InternetCanonicalizeUrlW(url_.c_str(), canonical.data(), &size, 0)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    canonical.assign(static_cast<std::size_t>(size) + 1, L'\0');
    size = static_cast<DWORD>(canonical.size());
    if (!::InternetCanonicalizeUrlW(url_.c_str(), canonical.data(), &size, 0)) return false;
  }
  canonical.resize(size);
  std::wstring host(256, L'\0'), path(2048, L'\0'), user(128, L'\0'), password(128, L'\0');
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszUserName = user.data();
  parts.dwUserNameLength = static_cast<DWORD>(user.size());
  parts.lpszPassword = password.data();
  parts.dwPasswordLength = static_cast<DWORD>(password.size());
  if (!::InternetCrackUrlW(canonical.c_str(), 0, 0, &parts)) return false;
  scheme_ = parts.nScheme;
  port_ = parts.nPort;
  host_.assign(host.c_str());
  urlPath_.assign(path.c_str());
  userName_.assign(user.c_str());
  password_.assign(password.c_str());
  return true;
}

HINTERNET CHTTPInternet::OpenUrl(HINTERNET session, const std::wstring& url, const std::wstring& headers,
                                 DWORD flags) {
  return ::InternetOpenUrlW(session, url.c_str(), headers.c_str(), static_cast<DWORD>(headers.size()), flags,
                            reinterpret_cast<DWORD_PTR>(this));
}

bool CHTTPInternet::Wait() {
  // WinINet's own time-outs end a stalled step; this bound only keeps a lost notification from
  // blocking the caller for ever.
  const DWORD limit = static_cast<DWORD>(std::min<ULONGLONG>(ULONGLONG(timeout_) * 3 + 5000, INFINITE - 1));
  HANDLE events[3] = {done_.Get(), failed_.Get(), closed_.Get()};
  const DWORD r = ::WaitForMultipleObjects(3, events, FALSE, limit);
  if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + 3) {
    ::SetEvent(events[r - WAIT_OBJECT_0]);
    return r == WAIT_OBJECT_0;
  }
  if (r == WAIT_TIMEOUT && result_ == 0) result_ = ERROR_INTERNET_TIMEOUT;
  return false;
}

void CHTTPInternet::Cancel() {
  result_ = ERROR_INTERNET_OPERATION_CANCELLED;
  ::SetEvent(closed_.Get());
}

DWORD CHTTPInternet::Request(const wchar_t* url) {
  if (!url || !*url) return result_ = ERROR_INTERNET_INVALID_URL;
  if (session_ || request_) return result_ = ERROR_INTERNET_HANDLE_EXISTS;
  firstCompletion_ = true;
  url_ = url;
  if (!CrackUrl()) return result_ = ERROR_INTERNET_INVALID_URL;

  HINTERNET session = ::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (!session) return result_ = ERROR_INVALID_HANDLE;
  session_ = session;
  if (::InternetSetStatusCallbackW(session, StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
    result_ = ERROR_INTERNET_NO_CALLBACK;
    Cleanup();
    return result_;
  }

  ::ResetEvent(done_.Get());
  ::ResetEvent(failed_.Get());
  ::ResetEvent(closed_.Get());
  std::wstring headers = L"Host: " + host_ + L"\r\n";
  if (!accept_.empty()) headers += L"Accept: " + accept_ + L"\r\n";
  headers += L"User-Agent: " + userAgent_ + L"\r\n" + extraHeaders_ + fixedHeaders_;

  if (HINTERNET handle = OpenUrl(session, url_, headers, kOpenFlags)) {
    // Completed at once: no completion notification follows, so the first step is taken here.
    request_ = handle;
    firstCompletion_ = false;
    FirstCompletion();
  } else {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
      result_ = error;
      ::SetEvent(failed_.Get());
    }
  }

  if (!Wait()) {
    if (result_ == 0) result_ = ERROR_INTERNET_OPERATION_CANCELLED;
    ::SetEvent(failed_.Get());
  } else if (contentLength_ > 0) {
    ReadBody();
  } else {
    OnData(nullptr, 0);
  }
  Cleanup();
  return result_;
}

void CHTTPInternet::ReadBody() {
  ULONGLONG total = 0;
  while (total < contentLength_) {
    const DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(contentLength_ - total, sizeof(readBuffer_)));
    ::ResetEvent(done_.Get());
    readRecord_ = INTERNET_BUFFERSA{};
    readRecord_.dwStructSize = sizeof(readRecord_);
    readRecord_.lpvBuffer = readBuffer_;
    readRecord_.dwBufferLength = want;
    if (::InternetReadFileExA(request_, &readRecord_, 0, reinterpret_cast<DWORD_PTR>(this))) {
      ::SetEvent(done_.Get());
      if (::WaitForSingleObject(closed_.Get(), 0) == WAIT_OBJECT_0) {
        ::SetEvent(closed_.Get());
        if (result_ == 0) result_ = ERROR_INTERNET_OPERATION_CANCELLED;
        return;
      }
    } else {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) {
        ::SetEvent(failed_.Get());
        result_ = error;
        return;
      }
      if (!Wait()) {
        if (result_ == 0) result_ = ERROR_INTERNET_OPERATION_CANCELLED;
        ::SetEvent(failed_.Get());
        return;
      }
    }
    const DWORD got = std::min(readRecord_.dwBufferLength, want);
    if (got == 0) {
      result_ = ERROR_INTERNET_CONNECTION_ABORTED;
      ::SetEvent(failed_.Get());
      return;
    }
    OnData(readBuffer_, got);
    total += got;
    if (result_ != 0) return;  // a hook cancelled the request
  }
}

void CHTTPInternet::Cleanup() {
  if (HINTERNET request = request_.exchange(nullptr)) {
    ::InternetSetStatusCallbackW(request, nullptr);
    ::InternetCloseHandle(request);
  }
  ::SetEvent(closed_.Get());
  ::SetEvent(failed_.Get());
  ::SetEvent(done_.Get());
  if (HINTERNET session = session_.exchange(nullptr)) {
    ::InternetSetStatusCallbackW(session, nullptr);
    ::InternetCloseHandle(session);
  }
  connectionClosed_ = false;
}

// --- Trailer and CRC ---

void DownloadTrailer::Serialize(BYTE (&out)[kSize]) const {
  std::memcpy(out, Magic, 4);
  out[4] = Zero;
  auto put = [&out](std::size_t at, ULONGLONG v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<BYTE>(v >> (8 * i));
  };
  put(5, Crc, 4);
  put(9, Written, 8);
  put(17, Total, 8);
  put(25, LastModified, 8);
}

DWORD TrovCrcEntry(BYTE index) {
  std::call_once(g_crcOnce, BuildCrcTable);
  return g_crcTable[index];
}

DWORD TrovCrc(DWORD crc, const BYTE* data, std::size_t length) {
  std::call_once(g_crcOnce, BuildCrcTable);
  for (std::size_t i = 0; i < length; ++i) crc = (crc << 8) ^ g_crcTable[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

// --- CQuonInternet ---

CQuonInternet::CQuonInternet() { CQuonInternet::Reset(); }

CQuonInternet::~CQuonInternet() { StopCallbacks(); }

void CQuonInternet::Reset() {
  CHTTPInternet::Reset();
  file_.Reset();
  trailer_ = DownloadTrailer{};
  downloaded_ = 0;
  lastPercent_ = 0;
  openFile_ = false;
  expectedMd5_.clear();
  targetPath_.clear();
  tempPath_.clear();
  text1_.clear();
  progress_ = nullptr;
  progressUser_ = nullptr;
  enable_ = nullptr;
  std::call_once(g_crcOnce, BuildCrcTable);
}

void CQuonInternet::SetDownloadFile(const std::wstring& target, const std::wstring& temp,
                                    const std::string& expectedMd5) {
  targetPath_ = target;
  tempPath_ = temp;
  expectedMd5_ = expectedMd5;
  openFile_ = true;
}

void CQuonInternet::SetProgress(TDownloadProgress callback, void* user, volatile LONG* enable,
                                const std::wstring& text1, const std::wstring& text2) {
  progress_ = callback;
  progressUser_ = user;
  enable_ = enable;
  text1_ = text1;
  text2_ = text2;
}

const char* CQuonInternet::GetToBuffer(const wchar_t* url) {
  try {
    Reset();
    SetExtraHeaders(std::wstring());
    bufferMax_ = kBufferMax;
    buffer_.clear();
    fill_ = 0;
    const std::wstring escaped = EscapeUrl(url ? url : L"");
    if (Request(escaped.c_str()) != 0 || buffer_.empty()) return nullptr;
    return buffer_.data();
  } catch (...) {
    return nullptr;
  }
}

void CQuonInternet::OnContentLength(ULONGLONG length) {
  if (trailer_.Total == 0) trailer_.Total = length;
  if (bufferMax_ > 0) {
    buffer_.assign(static_cast<std::size_t>(std::min<ULONGLONG>(bufferMax_, length)) + 1, '\0');
    fill_ = 0;
  }
  if (openFile_) {
    if (PrepareFile())
      openFile_ = false;
    else
      Cancel();
  }
}

void CQuonInternet::OnLastModified(const FILETIME& time) {
  trailer_.LastModified = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void CQuonInternet::OnData(const BYTE* data, DWORD count) {
  if (bufferMax_ > 0) {
    if (!buffer_.empty() && fill_ < contentLength_) {
      const std::size_t room = buffer_.size() - 1 - fill_;  // the allocation bounds every copy
      const std::size_t n = std::min<std::size_t>(count, room);
      if (n > 0) std::memcpy(buffer_.data() + fill_, data, n);
      fill_ += n;
      buffer_[fill_] = '\0';
    } else {
      Cancel();
      return;
    }
  }
  if (!file_) return;
  if (!FileStep(data, count)) {
    Cancel();
    return;
  }
  if (!enable_ || *enable_) ReportProgress(count);
}

bool CQuonInternet::PrepareFile() {
  if (targetPath_.empty()) return true;
  file_.Reset();
  // The target stays as it is until a download has arrived whole (and checked).
  ::DeleteFileW(tempPath_.c_str());
  std::memcpy(trailer_.Magic, "TROV", 4);
  trailer_.Zero = 0;
  ULARGE_INTEGER available{};
  const std::wstring folder = ExtractPathFolder(targetPath_);
  if (!::GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr) ||
      available.QuadPart < trailer_.Total)
    return false;
  file_.Reset(::CreateFileW(tempPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) return false;
  LARGE_INTEGER zero{};
  if (!WriteTrailer() || !::SetFilePointerEx(file_.Get(), zero, nullptr, FILE_BEGIN)) {
    file_.Reset();
    return false;
  }
  return true;
}

bool CQuonInternet::WriteTrailer() {
  BYTE bytes[DownloadTrailer::kSize];
  trailer_.Serialize(bytes);
  return WriteAt(file_.Get(), trailer_.Total, bytes, sizeof(bytes));
}

bool CQuonInternet::FileStep(const BYTE* data, DWORD count) {
  if (downloaded_ + count > trailer_.Total) {
    file_.Reset();
    ::DeleteFileW(tempPath_.c_str());
    return false;
  }
  if (count > 0 && !WriteAt(file_.Get(), downloaded_, data, count)) {
    file_.Reset();
    return false;
  }
  downloaded_ += count;
  if (downloaded_ < trailer_.Total) {
    trailer_.Crc = TrovCrc(trailer_.Crc, data, count);
    trailer_.Written = downloaded_;
    return WriteTrailer();
  }
  ::SetEndOfFile(file_.Get());  // the position is the end of the data: the trailer goes
  if (trailer_.LastModified != 0) {  // after the cut, which would count as a change
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(trailer_.LastModified);
    ft.dwHighDateTime = static_cast<DWORD>(trailer_.LastModified >> 32);
    ::SetFileTime(file_.Get(), nullptr, nullptr, &ft);
  }
  file_.Reset();
  if (!expectedMd5_.empty() && ::_stricmp(Md5OfFile(tempPath_).c_str(), expectedMd5_.c_str()) != 0) {
    ::DeleteFileW(tempPath_.c_str());
    if (enable_) *enable_ = 0;
    return false;
  }
  if (!::MoveFileExW(tempPath_.c_str(), targetPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    ::DeleteFileW(tempPath_.c_str());
    return false;
  }
  return true;
}

void CQuonInternet::ReportProgress(DWORD chunk) {
  const ULONGLONG total = trailer_.Total;
  const int percent =
      total == 0 ? 100 : static_cast<int>(std::min<ULONGLONG>(100, downloaded_ * 100 / total));
  const BOOL changed = downloaded_ == 0 || percent != lastPercent_;
  lastPercent_ = percent;
  if (progress_)
    progress_(progressUser_, id_, chunk, 0, text1_.c_str(), changed, percent, downloaded_, total, text2_.c_str(),
              Speed());
}

// --- EscapeUrl ---

std::wstring EscapeUrl(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  static const char kHex[] = "0123456789ABCDEF";
  auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  std::wstring out;
  out.reserve(utf8.size() * 3);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    const bool percentEscape = b == '%' && i + 2 < utf8.size() && isHex(utf8[i + 1]) && isHex(utf8[i + 2]);
    const bool escape = b < 0x21 || b > 0x7A || (std::strchr("\"<>%\\^[]`+$,", b) != nullptr && !percentEscape);
    if (escape) {
      out += L'%';
      out += static_cast<wchar_t>(kHex[b >> 4]);
      out += static_cast<wchar_t>(kHex[b & 15]);
    } else {
      out += static_cast<wchar_t>(b);
    }
  }
  return out;
}

}  // namespace kivo
