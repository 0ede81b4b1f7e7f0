// yelkinfo: reports this machine's identity code, a product id and a version to the reporting
// server in one signed HTTP GET request, then exits. Windowless.
#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "FileLog.h"
#include "HttpInternet.h"
#include "MachineCode.h"
#include "Md5.h"

namespace {

using namespace kivo;

CFileLog g_log;

// The reporting server; its port and path are fixed.
constexpr wchar_t kDefaultBaseUrl[] = L"http://192.0.2.10:8081/api/updateMachineCode?";
constexpr char kSalt[] = "#RK$MV";

std::uint32_t g_flag = 0;
std::uint32_t g_productId = 43;
std::uint64_t g_version = 0;
std::wstring g_baseUrl;

// Signed decimal 32-bit: leading blanks and a sign allowed, reading stops at the first other
// character, no digits read as 0, values beyond the range clamped to it.
std::int32_t ReadInt32(const wchar_t* text) {
  long long v = std::wcstoll(text, nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<std::int32_t>(v);
}

// One "%d" of a scan: blanks, a sign, at least one digit (wrapping like the C library's scan).
bool ScanInt(const wchar_t*& p, std::uint32_t& out) {
  while (std::iswspace(*p)) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') negative = *p++ == L'-';
  if (*p < L'0' || *p > L'9') return false;
  std::uint32_t v = 0;
  while (*p >= L'0' && *p <= L'9') v = v * 10 + static_cast<std::uint32_t>(*p++ - L'0');
  out = negative ? 0u - v : v;
  return true;
}

// "a.b.c.d" packed 16 bits a part, a in the top bits; 0 unless all four parts are read.
std::uint64_t ParseVersion(const wchar_t* text) {
  const wchar_t* p = text;
  std::uint32_t parts[4];
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *p++ != L'.') return 0;
    if (!ScanInt(p, parts[i])) return 0;
  }
  std::uint64_t v = 0;
  for (std::uint32_t part : parts) v = (v << 16) | (part & 0xFFFF);
  return v;
}

bool SameTextNoCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

void ParseCommandLine() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv) return;
  std::vector<std::wstring> args(argv, argv + argc);
  ::LocalFree(argv);
  if (args.empty()) return;
  g_log.Log(10, L"Arg[0] = %s", args[0].c_str());
  std::size_t i = SameTextNoCase(args[0], GetModulePath()) ? 1 : 0;
  for (; i < args.size(); ++i) {
    const std::wstring& option = args[i];
    const wchar_t* const kOptions[] = {L"-t", L"-p", L"-v", L"-u"};
    int which = -1;
    for (int k = 0; k < 4; ++k)
      if (SameTextNoCase(option, kOptions[k])) which = k;
    if (which < 0) continue;
    const std::wstring value = i + 1 < args.size() ? args[i + 1] : std::wstring();
    if (value.empty() || value[0] == L'-') continue;  // refused: the scan goes on after the option
    switch (which) {
      case 0: g_flag = static_cast<std::uint32_t>(ReadInt32(value.c_str())); break;
      case 1: g_productId = static_cast<std::uint32_t>(ReadInt32(value.c_str())); break;
      case 2: g_version = ParseVersion(value.c_str()); break;
      case 3: g_baseUrl = value; break;
    }
    ++i;
  }
}

bool FileExists(const std::wstring& path) {
  const DWORD attrs = ::GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// Version.ini counts only when Yelk.exe stands beside it, in this program's folder.
std::uint64_t VersionFromIni() {
  const std::wstring folder = ExtractPathFolder(GetModulePath());
  const std::wstring ini = folder + L"Version.ini";
  if (!FileExists(folder + L"Yelk.exe") || !FileExists(ini)) return 0;
  wchar_t text[128] = {};
  ::GetPrivateProfileStringW(L"Version", L"Version", L"0.0.0.0", text, 128, ini.c_str());
  return ParseVersion(text);
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  g_baseUrl = kDefaultBaseUrl;
  ParseCommandLine();
  if (g_flag == 0) return 1;
  if (g_version == 0) g_version = VersionFromIni();

  char code[64] = {};
  if (!BuildMachineCode(code)) return 2;

  const std::string signedText =
      std::to_string(g_flag) + code + std::to_string(g_productId) + std::to_string(g_version) + kSalt;
  const std::string signature = CMd5::Of(signedText.data(), signedText.size());

  const std::wstring url = g_baseUrl + L"flag=" + std::to_wstring(g_flag) + L"&code=" + Widen(code) +
                           L"&proid=" + std::to_wstring(g_productId) + L"&ver=" + std::to_wstring(g_version) +
                           L"&mac=" + Widen(signature);
  const char* result = nullptr;
  {
    CQuonInternet client;
    result = client.GetToBuffer(url.c_str());
    g_log.Log(10, L"Get %s result %p", url.c_str(), static_cast<const void*>(result));
  }
  // The exit code says the request was made, whatever its outcome: callers know no other.
  return 0;
}
