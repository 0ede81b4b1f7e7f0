#include "FileLog.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace kivo {

namespace {

constexpr wchar_t kBom = 0xFEFF;

std::wstring DefaultLogPath() {
  std::wstring path = GetModulePath();
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
    path.erase(dot);
  path += L".log";
  const std::size_t last = path.find_last_of(L'\\');
  if (last != std::wstring::npos) path.insert(last, L"\\log");
  return path;
}

std::wstring FormatV(const wchar_t* format, va_list args) {
  va_list counting;
  va_copy(counting, args);
  const int n = _vscwprintf(format, counting);
  va_end(counting);
  if (n <= 0) return {};
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int written = _vsnwprintf(text.data(), text.size(), format, args);
  text.resize(written < 0 ? 0 : static_cast<std::size_t>(written));
  return text;
}

std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatV(format, args);
  va_end(args);
  return text;
}

// Bytes of the first line up to and including its line end (CR LF, CR or LF), the mark included.
std::size_t FirstLineBytes(const std::vector<BYTE>& data) {
  std::size_t i = 2;  // the byte-order mark
  for (; i + 1 < data.size(); i += 2) {
    const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == L'\r') {
      i += 2;
      if (i + 1 < data.size() && data[i] == '\n' && data[i + 1] == 0) i += 2;
      return i;
    }
    if (c == L'\n') return i + 2;
  }
  return data.size();
}

}  // namespace

CFileLog::CFileLog() : path_(DefaultLogPath()) {
  std::wstring folder = ExtractPathFolder(path_);
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  ::CreateDirectoryW(folder.c_str(), nullptr);
}

CFileLog::~CFileLog() = default;

void CFileLog::Configure(const wchar_t* name, const wchar_t* path, DWORD maxSize, int level, bool openNow,
                         Hook hook) {
  {
    TLock lock(lock_);
    hook_ = hook;
    if (name) name_ = name;
    maxSize_ = maxSize;
    threshold_ = level;
    if (path) {
      if (path[0] && path[1] == L':')
        path_ = path;
      else
        path_ = ExtractPathFolder(path_) + path;
    }
  }
  if (openNow) SyncLevelFromFile(level);
}

int CFileLog::Threshold() const {
  TLock lock(lock_);
  return threshold_;
}

std::wstring CFileLog::Path() const {
  TLock lock(lock_);
  return path_;
}

const wchar_t* CFileLog::Marker(int level) {
  if (level >= 0 && level <= 9) return L"@@@";
  if (level >= 10 && level <= 19) return L"===";
  if (level >= 20 && level <= 29) return L"+++";
  return L"***";
}

std::string CFileLog::FirstLine() const {
  std::wstring text(1, kBom);
  text += Format(L"%d\r\n", threshold_);
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

bool CFileLog::WriteAll(const void* data, DWORD bytes) {
  DWORD written = 0;
  return ::WriteFile(file_.Get(), data, bytes, &written, nullptr) && written == bytes;
}

void CFileLog::SyncLevelFromFile(int level) {
  TLock lock(lock_);
  if (file_) return;
  const DWORD attrs = ::GetFileAttributesW(path_.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    if (level > 0)
      file_.Reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  } else if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    file_.Reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!file_) {
    ::OutputDebugStringW(L"@@@@@ Failed to create file.\r\n");
    return;
  }

  wchar_t head[10] = {};
  DWORD got = 0;
  if (!::ReadFile(file_.Get(), head, 18, &got, nullptr)) got = 0;
  head[got / sizeof(wchar_t)] = L'\0';
  for (wchar_t* p = head; *p; ++p)
    if (*p == L'\r' || *p == L'\n') {
      *p = L'\0';
      break;
    }
  long long number = head[0] ? std::wcstoll(head + 1, nullptr, 10) : 0;
  if (number > INT_MAX) number = INT_MAX;
  if (number < INT_MIN) number = INT_MIN;
  threshold_ = static_cast<int>(number);

  if (threshold_ < level) {
    threshold_ = level;
    // The first line is replaced and the rest of the file kept as it is, even when the new number
    // is longer than the old one.
    LARGE_INTEGER size{};
    std::vector<BYTE> data;
    if (::GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0 && size.QuadPart <= 0x7FFFFFFF) {
      data.resize(static_cast<std::size_t>(size.QuadPart));
      DWORD read = 0;
      ::SetFilePointer(file_.Get(), 0, nullptr, FILE_BEGIN);
      if (!::ReadFile(file_.Get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) read = 0;
      data.resize(read);
    }
    std::string content = FirstLine();
    if (data.size() > 2) {
      const std::size_t rest = FirstLineBytes(data);
      content.append(reinterpret_cast<const char*>(data.data()) + rest, data.size() - rest);
    }
    ::SetFilePointer(file_.Get(), 0, nullptr, FILE_BEGIN);
    if (WriteAll(content.data(), static_cast<DWORD>(content.size()))) ::SetEndOfFile(file_.Get());
    ::FlushFileBuffers(file_.Get());
  }
  file_.Reset();
}

void CFileLog::WriteLine(int level, const wchar_t* line, DWORD bytes) {
  Hook hook = nullptr;
  bool callHook = true;
  {
    TLock lock(lock_);
    const std::wstring text(line, bytes / sizeof(wchar_t));
    ::OutputDebugStringW(text.c_str());
    hook = hook_;
    if (threshold_ >= level) callHook = WriteLocked(line, bytes);
  }
  if (callHook && hook) hook(level, line, bytes);
}

bool CFileLog::OpenLocked(DWORD disposition) {
  file_.Reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.Valid();
}

bool CFileLog::WriteLocked(const wchar_t* line, DWORD bytes) {
  if (!file_ && !OpenLocked(OPEN_EXISTING)) {
    if (OpenLocked(CREATE_ALWAYS)) {
      const std::string first = FirstLine();
      if (WriteAll(first.data(), static_cast<DWORD>(first.size()))) WriteAll(line, bytes);
    }
    file_.Reset();
    return true;
  }
  bool ok = true;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file_.Get(), &size) || size.QuadPart >= static_cast<LONGLONG>(maxSize_)) {
    file_.Reset();
    const std::wstring bak = path_ + L".bak";
    if (::CopyFileW(path_.c_str(), bak.c_str(), FALSE)) {
      if (!OpenLocked(CREATE_ALWAYS)) {
        ::OutputDebugStringW(L"@@@@@ Failed to create file.\r\n");
        return false;
      }
      const std::string first = FirstLine();
      ok = WriteAll(first.data(), static_cast<DWORD>(first.size()));
    } else {
      // Without its copy the old log is kept and the line goes after it.
      ::OutputDebugStringW(L"@@@@@ Failed to back up file.\r\n");
      if (!OpenLocked(OPEN_EXISTING)) {
        ::OutputDebugStringW(L"@@@@@ Failed to create file.\r\n");
        return false;
      }
    }
  }
  if (ok) {
    LARGE_INTEGER zero{};
    ok = ::SetFilePointerEx(file_.Get(), zero, nullptr, FILE_END) != FALSE;
  }
  if (!ok || !WriteAll(line, bytes)) ::OutputDebugStringW(L"@@@@@ Failed to dump into file.\r\n");
  file_.Reset();
  return true;
}

void CFileLog::Log(int level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring message = FormatV(format, args);
  va_end(args);
  LogText(level, message);
}

void CFileLog::LogText(int level, const std::wstring& message) {
  std::wstring line;
  if (message.empty()) {
    line = L"\r\n";
  } else {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    line = Format(L"%04d/%02d/%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                  t.wMilliseconds);
    std::wstring name;
    {
      TLock lock(lock_);
      name = name_;
    }
    line += L" " + name + Marker(level) + L" " + message + L"\r\n";
  }
  WriteLine(level, line.c_str(), static_cast<DWORD>(line.size() * sizeof(wchar_t)));
}

void CFileLog::SessionStart(int level) {
  LogText(10, std::wstring());
  Log(level, L">>>>>>>>>>>> SESSION START: DBG_LEVEL:%d >>>>>>>>>>>>", Threshold());
}

void CFileLog::SessionFinish(int level) {
  Log(level, L"<<<<<<<<<<<< SESSION FINISH: DBG_LEVEL:%d <<<<<<<<<<<<\r\n", Threshold());
}

std::wstring ExtractPathFolder(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L"\\/");
  return last == std::wstring::npos ? path : path.substr(0, last + 1);
}

std::wstring ExtractPathFileName(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L"\\/");
  return last == std::wstring::npos ? path : path.substr(last + 1);
}

std::wstring GetModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

DWORD GetOwnLanguage(HMODULE module) {
  if (!module) module = ::GetModuleHandleW(nullptr);
  HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  if (!res) return 0;
  HGLOBAL loaded = ::LoadResource(module, res);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(module, res);
  if (!data || size == 0) return 0;
  // VerQueryValue wants a writable copy with room behind it.
  std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
  copy.resize(static_cast<std::size_t>(size) * 2);
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", &value, &length) || !value || length < 4)
    return 0;
  const WORD* pair = static_cast<const WORD*>(value);
  return (static_cast<DWORD>(pair[0]) << 16) | pair[1];
}

}  // namespace kivo
