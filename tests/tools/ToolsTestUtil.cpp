#include "ToolsTestUtil.h"

#include <wincrypt.h>

#include "Handles.h"
#include "TestSupport.h"

namespace kivo::test {

namespace {

// Wine hands a host program its arguments split as a Windows command line is.
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

TTempFolder::TTempFolder(const std::wstring& tag) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  static LONG counter = 0;
  path_ = std::wstring(temp) + L"kivo-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(::InterlockedIncrement(&counter)) + L"-" + std::to_wstring(::GetTickCount()) + L"\\";
  MakeFolders(path_);
}

TTempFolder::~TTempFolder() {
  // Under Wine the host's rm removes links without following them, which Wine's calls cannot.
  const std::string unix = UnixName(path_);
  if (!unix.empty() && RunHostTool("/bin/rm", "-rf " + Quoted(unix), [this] { return !PathExists(path_); })) return;
  DeleteTree(path_);
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string data;
  TFileOwner file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return data;
  char buf[8192];
  DWORD got = 0;
  while (::ReadFile(file.Get(), buf, sizeof(buf), &got, nullptr) && got > 0) data.append(buf, got);
  return data;
}

void WriteFileBytes(const std::wstring& path, const std::string& data) {
  TFileOwner file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CopyInto(const std::wstring& from, const std::wstring& to) { return ::CopyFileW(from.c_str(), to.c_str(), FALSE); }

bool MakeFolders(const std::wstring& path) {
  for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  ::CreateDirectoryW(path.c_str(), nullptr);
  const DWORD attrs = ::GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::vector<std::string> ReadLogLines(const std::wstring& path) {
  const std::string bytes = ReadFileBytes(path);
  std::wstring text(bytes.size() / 2, L'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(L"\r\n", start)) != std::wstring::npos; start = at + 2)
    lines.push_back(Utf8(text.substr(start, at - start)));
  if (start < text.size()) lines.push_back(Utf8(text.substr(start)));
  return lines;
}

bool MakeLink(const std::wstring& link, const std::wstring& target, bool folder) {
  const std::string unixTarget = UnixName(target);
  const std::wstring linkFolder = link.substr(0, link.find_last_of(L'\\'));
  const std::string unixFolder = UnixName(linkFolder);
  if (!unixTarget.empty() && !unixFolder.empty()) {
    const std::string unixLink = unixFolder + "/" + Utf8(link.substr(link.find_last_of(L'\\') + 1));
    return RunHostTool("/bin/ln", "-s " + Quoted(unixTarget) + " " + Quoted(unixLink), [&link, folder] {
      const DWORD attrs = ::GetFileAttributesW(link.c_str());
      return attrs != INVALID_FILE_ATTRIBUTES && (!folder || (attrs & FILE_ATTRIBUTE_REPARSE_POINT));
    });
  }
  return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
         (::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<DWORD> RunProgram(const std::wstring& exe, const std::wstring& commandLine, DWORD timeoutMs) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring buffer = commandLine;
  if (!::CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return std::nullopt;
  THandleOwner process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 99);
    ::WaitForSingleObject(process.Get(), 5000);
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

std::string SystemMd5(const std::string& bytes) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::string text;
  if (::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    if (::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
      BYTE digest[16];
      DWORD size = sizeof(digest);
      if (::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
          ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
        static const char kHex[] = "0123456789abcdef";
        for (BYTE b : digest) {
          text += kHex[b >> 4];
          text += kHex[b & 15];
        }
      }
      ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(provider, 0);
  }
  return text;
}

}  // namespace kivo::test
