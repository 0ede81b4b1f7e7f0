#include "SysUtils.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cwctype>
#include <mutex>

namespace kivo {

// ---- Exceptions -------------------------------------------------------------------------------
Exception::Exception(std::wstring message) : message_(std::move(message)) {
  narrow_ = WideToAnsi(message_, CP_UTF8);
}
void Exception::SetMessage(std::wstring m) {
  message_ = std::move(m);
  narrow_ = WideToAnsi(message_, CP_UTF8);
}

EOSError::EOSError(DWORD code)
    : Exception(Format(L"System Error.  Code: %d.\r\n%s", static_cast<int>(code), SysErrorMessage(code))),
      code_(code) {}

void Abort() { throw EAbort(); }
void RaiseLastOSError() { RaiseLastOSError(::GetLastError()); }
void RaiseLastOSError(DWORD code) {
  if (code == 0) throw EOSError(0, L"A call to an OS function failed");
  throw EOSError(code);
}

std::wstring SysErrorMessage(DWORD code) {
  wchar_t buf[512];
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             nullptr, code, 0, buf, 512, nullptr);
  while (n > 0 && (buf[n - 1] == L'\n' || buf[n - 1] == L'\r' || buf[n - 1] == L' ' || buf[n - 1] == L'.'))
    --n;
  return std::wstring(buf, n);
}

std::wstring ExceptionMessage(const std::exception& e) {
  if (auto* k = dynamic_cast<const Exception*>(&e)) return k->Message();
  return AnsiToWide(e.what(), CP_UTF8);
}

// ---- Format -----------------------------------------------------------------------------------
namespace {

std::wstring Digits(unsigned long long v, unsigned base, bool upper) {
  const wchar_t* d = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring s;
  do {
    s.insert(s.begin(), d[v % base]);
    v /= base;
  } while (v);
  return s;
}

std::wstring Thousands(std::wstring intPart) {
  std::wstring out;
  int n = 0;
  for (auto it = intPart.rbegin(); it != intPart.rend(); ++it) {
    if (n && n % 3 == 0) out.insert(out.begin(), L',');
    out.insert(out.begin(), *it);
    ++n;
  }
  return out;
}

[[noreturn]] void BadFormat(std::wstring_view format) {
  throw EConvertError(L"Format '" + std::wstring(format) + L"' invalid or incompatible with argument");
}

}  // namespace

std::wstring FormatArgs(std::wstring_view format, const std::vector<TFormatArg>& args) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    wchar_t c = format[i];
    if (c != L'%') {
      out += c;
      continue;
    }
    if (++i >= format.size()) BadFormat(format);
    if (format[i] == L'%') {
      out += L'%';
      continue;
    }
    // [index:]
    size_t j = i;
    int num = -1;
    auto readNum = [&](size_t& k) {
      int v = -1;
      if (k < format.size() && format[k] == L'*') {
        if (next >= args.size()) BadFormat(format);
        ++k;
        return static_cast<int>(args[next++].Int());
      }
      while (k < format.size() && iswdigit(format[k])) v = (v < 0 ? 0 : v * 10) + (format[k++] - L'0');
      return v;
    };
    num = readNum(j);
    if (j < format.size() && format[j] == L':') {
      if (num < 0) BadFormat(format);
      next = static_cast<size_t>(num);
      i = j + 1;
    }
    bool left = false;
    if (i < format.size() && format[i] == L'-') {
      left = true;
      ++i;
    }
    int width = readNum(i);
    int prec = -1;
    if (i < format.size() && format[i] == L'.') {
      ++i;
      prec = readNum(i);
      if (prec < 0) prec = 0;
    }
    if (i >= format.size()) BadFormat(format);
    wchar_t type = format[i];
    if (next >= args.size()) BadFormat(format);
    const TFormatArg& a = args[next++];
    using K = TFormatArg::TKind;
    std::wstring s;
    switch (towlower(type)) {
      case L'd': {
        if (a.Kind() != K::Int && a.Kind() != K::UInt) BadFormat(format);
        bool neg = a.Kind() == K::Int && a.Int() < 0;
        unsigned long long mag =
            neg ? static_cast<unsigned long long>(-(a.Int() + 1)) + 1 : a.UInt();
        s = Digits(mag, 10, false);
        if (prec > 0 && static_cast<int>(s.size()) < prec) s.insert(0, prec - s.size(), L'0');
        if (neg) s.insert(s.begin(), L'-');
        break;
      }
      case L'u':
        if (a.Kind() != K::Int && a.Kind() != K::UInt) BadFormat(format);
        s = Digits(a.Kind() == K::Int ? static_cast<uint32_t>(a.Int()) : a.UInt(), 10, false);
        if (prec > 0 && static_cast<int>(s.size()) < prec) s.insert(0, prec - s.size(), L'0');
        break;
      case L'x': {
        if (a.Kind() != K::Int && a.Kind() != K::UInt) BadFormat(format);
        unsigned long long v = a.UInt();
        // a negative 32-bit value shows as its 32-bit pattern
        if (a.Kind() == K::Int && a.Int() < 0 && a.Int() >= INT32_MIN) v &= 0xFFFFFFFFull;
        s = Digits(v, 16, true);
        if (type == L'x') s = LowerCase(s);
        if (prec > 0 && static_cast<int>(s.size()) < prec) s.insert(0, prec - s.size(), L'0');
        break;
      }
      case L'p':
        if (a.Kind() != K::Ptr) BadFormat(format);
        s = Digits(a.UInt(), 16, true);
        s.insert(0, sizeof(void*) * 2 - s.size(), L'0');
        break;
      case L's':
        if (a.Kind() != K::Str && a.Kind() != K::Char) BadFormat(format);
        s = a.Str();
        if (prec >= 0 && static_cast<int>(s.size()) > prec) s.resize(prec);
        break;
      case L'c':
        if (a.Kind() != K::Char) BadFormat(format);
        s = a.Str();
        break;
      case L'f':
      case L'e':
      case L'g':
      case L'n': {
        double v;
        if (a.Kind() == K::Float) v = a.Float();
        else BadFormat(format);
        wchar_t buf[512];
        int p = prec < 0 ? (towlower(type) == L'g' ? 15 : 2) : prec;
        if (p > 100) p = 100;
        wchar_t pattern[8] = {L'%', L'.', L'*', towlower(type) == L'n' ? L'f' : static_cast<wchar_t>(towlower(type)), 0};
        if (!std::isfinite(v) || std::fabs(v) > 1e300) pattern[3] = L'e';
        swprintf(buf, 512, pattern, p, v);
        s = buf;
        if (towlower(type) == L'e') {
          // the library shows the exponent with at least three digits: 1.5E+003
          size_t e = s.find_first_of(L"eE");
          if (e != std::wstring::npos && e + 2 <= s.size()) {
            std::wstring mant = s.substr(0, e), exp = s.substr(e + 2);
            wchar_t sign = s[e + 1];
            while (exp.size() < 3) exp.insert(exp.begin(), L'0');
            s = mant + L"E" + sign + exp;
          }
        }
        if (towlower(type) == L'n') {
          bool neg = !s.empty() && s[0] == L'-';
          if (neg) s.erase(0, 1);
          size_t dot = s.find(L'.');
          std::wstring ip = s.substr(0, dot), fp = dot == std::wstring::npos ? L"" : s.substr(dot);
          s = (neg ? L"-" : L"") + Thousands(ip) + fp;
        }
        break;
      }
      default:
        BadFormat(format);
    }
    if (width > 0 && static_cast<int>(s.size()) < width) {
      if (left) s.append(width - s.size(), L' ');
      else s.insert(0, width - s.size(), L' ');
    }
    out += s;
  }
  return out;
}

// ---- Numbers and strings ----------------------------------------------------------------------
std::wstring IntToStr(long long v) { return Format(L"%d", v); }
std::wstring IntToHex(unsigned long long v, int digits) {
  std::wstring s = Digits(v, 16, true);
  if (static_cast<int>(s.size()) < digits) s.insert(0, digits - s.size(), L'0');
  return s;
}

namespace {
bool ParseInt(std::wstring_view s, long long& out) {
  std::wstring t = Trim(s);
  if (t.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (t[i] == L'-' || t[i] == L'+') neg = t[i++] == L'-';
  unsigned base = 10;
  if (i < t.size() && t[i] == L'$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == L'0' && (t[i + 1] == L'x' || t[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return false;
  unsigned long long v = 0;
  for (; i < t.size(); ++i) {
    wchar_t c = towupper(t[i]);
    unsigned d;
    if (c >= L'0' && c <= L'9') d = c - L'0';
    else if (base == 16 && c >= L'A' && c <= L'F') d = c - L'A' + 10;
    else return false;
    if (v > (~0ull - d) / base) return false;
    v = v * base + d;
  }
  if (base == 10 && v > (neg ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull)) return false;
  out = neg ? static_cast<long long>(0 - v) : static_cast<long long>(v);
  return true;
}
}  // namespace

long long StrToInt64(std::wstring_view s) {
  long long v;
  if (!ParseInt(s, v)) throw EConvertError(L"'" + std::wstring(s) + L"' is not a valid integer value");
  return v;
}
bool TryStrToInt(std::wstring_view s, int& out) {
  long long v;
  if (!ParseInt(s, v)) return false;
  if (v < INT32_MIN || v > UINT32_MAX) return false;
  out = static_cast<int>(v);  // hex values above INT_MAX wrap as the library does ($FFFFFFFF = -1)
  if (v > INT32_MAX && !(Trim(s).find_first_of(L"$xX") != std::wstring::npos)) return false;
  return true;
}
int StrToInt(std::wstring_view s) {
  int v;
  if (!TryStrToInt(s, v)) throw EConvertError(L"'" + std::wstring(s) + L"' is not a valid integer value");
  return v;
}
int StrToIntDef(std::wstring_view s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}
std::wstring FloatToStr(double v) {
  wchar_t buf[64];
  swprintf(buf, 64, L"%.15g", v);
  return buf;
}

std::wstring TrimLeft(std::wstring_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] <= L' ') ++i;
  return std::wstring(s.substr(i));
}
std::wstring TrimRight(std::wstring_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] <= L' ') --n;
  return std::wstring(s.substr(0, n));
}
std::wstring Trim(std::wstring_view s) { return TrimLeft(TrimRight(s)); }
std::wstring UpperCase(std::wstring_view s) {
  std::wstring r(s);
  if (!r.empty()) ::CharUpperBuffW(r.data(), static_cast<DWORD>(r.size()));
  return r;
}
std::wstring LowerCase(std::wstring_view s) {
  std::wstring r(s);
  if (!r.empty()) ::CharLowerBuffW(r.data(), static_cast<DWORD>(r.size()));
  return r;
}
int CompareText(std::wstring_view a, std::wstring_view b) {
  int r = ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
  return r - CSTR_EQUAL;
}
int CompareStr(std::wstring_view a, std::wstring_view b) { return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1); }
bool SameText(std::wstring_view a, std::wstring_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }
std::wstring StringReplaceAll(std::wstring s, std::wstring_view from, std::wstring_view to) {
  if (from.empty()) return s;
  for (size_t p = s.find(from); p != std::wstring::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
  return s;
}

std::wstring AnsiToWide(std::string_view s, UINT codePage) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) RaiseLastOSError();
  std::wstring r(n, L'\0');
  ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), r.data(), n);
  return r;
}
std::string WideToAnsi(std::wstring_view s, UINT codePage) {
  if (s.empty()) return {};
  int n = ::WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string r(n, '\0');
  ::WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), r.data(), n, nullptr, nullptr);
  return r;
}

// ---- Files ------------------------------------------------------------------------------------
namespace {
size_t LastDelimiter(std::wstring_view p) {
  size_t i = p.find_last_of(L"\\/:");
  return i;
}
}  // namespace
std::wstring ExtractFilePath(std::wstring_view path) {
  size_t i = LastDelimiter(path);
  return i == std::wstring::npos ? std::wstring() : std::wstring(path.substr(0, i + 1));
}
std::wstring ExtractFileName(std::wstring_view path) {
  size_t i = LastDelimiter(path);
  return std::wstring(i == std::wstring::npos ? path : path.substr(i + 1));
}
std::wstring ExtractFileExt(std::wstring_view path) {
  size_t i = path.find_last_of(L".\\/:");
  if (i == std::wstring::npos || path[i] != L'.') return {};
  return std::wstring(path.substr(i));
}
std::wstring ChangeFileExt(std::wstring_view path, std::wstring_view ext) {
  size_t i = path.find_last_of(L".\\/:");
  std::wstring base(i != std::wstring::npos && path[i] == L'.' ? path.substr(0, i) : path);
  return base + std::wstring(ext);
}
std::wstring IncludeTrailingPathDelimiter(std::wstring_view path) {
  std::wstring p(path);
  if (p.empty() || p.back() != L'\\') p += L'\\';
  return p;
}
bool FileExists(const std::wstring& path) {
  DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool DirectoryExists(const std::wstring& path) {
  DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool ForceDirectories(const std::wstring& path) {
  std::wstring p = path;
  while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
  if (p.empty() || DirectoryExists(p)) return !p.empty();
  std::wstring parent = ExtractFilePath(p);
  if (!parent.empty() && parent != p && !(parent.size() <= 3 && parent.find(L':') != std::wstring::npos))
    ForceDirectories(parent);
  return ::CreateDirectoryW(p.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

namespace {
int FindMatching(TSearchRec& rec, WIN32_FIND_DATAW& fd) {
  for (;;) {
    if ((fd.dwFileAttributes & rec.ExcludeAttr) == 0) {
      rec.Name = fd.cFileName;
      rec.Attr = fd.dwFileAttributes;
      rec.Size = (static_cast<long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      rec.Time = fd.ftLastWriteTime;
      return 0;
    }
    if (!::FindNextFileW(rec.FindHandle.Get(), &fd)) return static_cast<int>(::GetLastError());
  }
}
}  // namespace
int FindFirst(const std::wstring& pattern, DWORD attr, TSearchRec& rec) {
  rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faDirectory);
  WIN32_FIND_DATAW fd;
  rec.FindHandle.Reset(::FindFirstFileW(pattern.c_str(), &fd));
  if (!rec.FindHandle) return static_cast<int>(::GetLastError());
  int r = FindMatching(rec, fd);
  if (r) rec.FindHandle.Reset();
  return r;
}
int FindNext(TSearchRec& rec) {
  WIN32_FIND_DATAW fd;
  if (!rec.FindHandle) return ERROR_NO_MORE_FILES;
  if (!::FindNextFileW(rec.FindHandle.Get(), &fd)) return static_cast<int>(::GetLastError());
  return FindMatching(rec, fd);
}
void FindClose(TSearchRec& rec) { rec.FindHandle.Reset(); }

// ---- Dates ------------------------------------------------------------------------------------
namespace {
bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                               {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > kMonthDays[IsLeap(year)][month - 1])
    throw EConvertError(L"Invalid argument to date encode");
  for (int m = 1; m < month; ++m) day += kMonthDays[IsLeap(year)][m - 1];
  int y = year - 1;
  long long days = y * 365LL + y / 4 - y / 100 + y / 400 + day;
  return static_cast<double>(days - 693594);
}
TDateTime EncodeTime(int hour, int minute, int second, int ms) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 || ms > 999)
    throw EConvertError(L"Invalid argument to time encode");
  return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
}
namespace {
// Splits into whole days and milliseconds of the day, rounded to the millisecond.
void SplitDateTime(TDateTime dt, long long& days, long long& ms) {
  long long total = std::llround(dt * 86400000.0);
  days = total / 86400000;
  ms = total % 86400000;
  if (ms < 0) {  // dates before 1899-12-30: the time part counts forward from the day's start
    ms = -ms;
  }
}
}  // namespace
void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  long long d, ms;
  SplitDateTime(dt, d, ms);
  long long t = d + 693594 - 1;  // days since 0001-01-01
  int y = 1;
  long long n400 = t / 146097;
  t %= 146097;
  long long n100 = t / 36524;
  if (n100 == 4) n100 = 3;
  t -= n100 * 36524;
  long long n4 = t / 1461;
  t %= 1461;
  long long n1 = t / 365;
  if (n1 == 4) n1 = 3;
  t -= n1 * 365;
  y = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  int m = 1;
  while (t >= kMonthDays[IsLeap(y)][m - 1]) t -= kMonthDays[IsLeap(y)][m++ - 1];
  year = y;
  month = m;
  day = static_cast<int>(t) + 1;
}
void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& ms) {
  long long d, t;
  SplitDateTime(dt, d, t);
  hour = static_cast<int>(t / 3600000);
  minute = static_cast<int>(t / 60000 % 60);
  second = static_cast<int>(t / 1000 % 60);
  ms = static_cast<int>(t % 1000);
}
TDateTime SystemTimeToDateTime(const SYSTEMTIME& st) {
  return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}
SYSTEMTIME DateTimeToSystemTime(TDateTime dt) {
  SYSTEMTIME st{};
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  long long days = std::llround(std::floor(dt));
  st.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
  return st;
}
TDateTime Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return SystemTimeToDateTime(st);
}
TDateTime Date() { return std::floor(Now()); }

std::wstring FormatDateTime(std::wstring_view f, TDateTime dt) {
  static const wchar_t* kShortMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                          L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
  static const wchar_t* kLongMonths[] = {L"January", L"February", L"March",     L"April",
                                         L"May",     L"June",     L"July",      L"August",
                                         L"September", L"October", L"November", L"December"};
  static const wchar_t* kShortDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
  static const wchar_t* kLongDays[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday",
                                       L"Thursday", L"Friday", L"Saturday"};
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  SYSTEMTIME st = DateTimeToSystemTime(dt);
  bool ampm = false;
  {
    std::wstring lf = LowerCase(f);
    ampm = lf.find(L"am/pm") != std::wstring::npos;
  }
  auto two = [](int v) { return Format(L"%.2d", v); };
  std::wstring out;
  bool afterHour = false;
  size_t i = 0;
  auto run = [&](wchar_t c) {
    size_t n = 0;
    while (i + n < f.size() && towlower(f[i + n]) == c) ++n;
    return n;
  };
  while (i < f.size()) {
    wchar_t c = f[i];
    wchar_t lc = towlower(c);
    if (c == L'"' || c == L'\'') {
      size_t e = f.find(c, i + 1);
      if (e == std::wstring_view::npos) e = f.size();
      out += f.substr(i + 1, e - i - 1);
      i = e + 1;
      continue;
    }
    if (lc == L'a' && f.size() - i >= 5 && SameText(f.substr(i, 5), L"am/pm")) {
      out += h < 12 ? L"am" : L"pm";
      if (iswupper(f[i])) out.replace(out.size() - 2, 2, h < 12 ? L"AM" : L"PM");
      i += 5;
      continue;
    }
    size_t n;
    switch (lc) {
      case L'y':
        n = run(L'y');
        out += n <= 2 ? two(y % 100) : Format(L"%.4d", y);
        i += n;
        afterHour = false;
        break;
      case L'm':
        n = run(L'm');
        if (afterHour && n <= 2) out += n == 1 ? IntToStr(mi) : two(mi);
        else if (n == 1) out += IntToStr(mo);
        else if (n == 2) out += two(mo);
        else if (n == 3) out += kShortMonths[mo - 1];
        else out += kLongMonths[mo - 1];
        i += n;
        afterHour = false;
        break;
      case L'd':
        n = run(L'd');
        if (n == 1) out += IntToStr(d);
        else if (n == 2) out += two(d);
        else if (n == 3) out += kShortDays[st.wDayOfWeek];
        else out += kLongDays[st.wDayOfWeek];
        i += n;
        afterHour = false;
        break;
      case L'h': {
        n = run(L'h');
        int hh = ampm ? (h % 12 == 0 ? 12 : h % 12) : h;
        out += n == 1 ? IntToStr(hh) : two(hh);
        i += n;
        afterHour = true;
        break;
      }
      case L'n':
        n = run(L'n');
        out += n == 1 ? IntToStr(mi) : two(mi);
        i += n;
        afterHour = false;
        break;
      case L's':
        n = run(L's');
        out += n == 1 ? IntToStr(s) : two(s);
        i += n;
        afterHour = false;
        break;
      case L'z':
        n = run(L'z');
        out += n == 1 ? IntToStr(ms) : Format(L"%.3d", ms);
        i += n;
        break;
      default:
        out += c;
        ++i;
    }
  }
  return out;
}

// ---- Process ----------------------------------------------------------------------------------
namespace {
std::vector<std::wstring> CommandLineArgs() {
  std::vector<std::wstring> r;
  int n = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (argv) {
    for (int i = 0; i < n; ++i) r.emplace_back(argv[i]);
    ::LocalFree(argv);
  }
  return r;
}
}  // namespace
std::wstring ParamStr(int index) {
  if (index == 0) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH * 2);
    return std::wstring(buf, n);
  }
  auto args = CommandLineArgs();
  return index > 0 && index < static_cast<int>(args.size()) ? args[index] : std::wstring();
}
int ParamCount() {
  auto args = CommandLineArgs();
  return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}
HINSTANCE HInstance() { return ::GetModuleHandleW(nullptr); }

namespace {
const OSVERSIONINFOW& Version() {
  static OSVERSIONINFOW v = [] {
    OSVERSIONINFOW o{};
    o.dwOSVersionInfoSize = sizeof(o);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(&o);
#pragma GCC diagnostic pop
    return o;
  }();
  return v;
}
}  // namespace
int Win32Platform() { return static_cast<int>(Version().dwPlatformId); }
int Win32MajorVersion() { return static_cast<int>(Version().dwMajorVersion); }
int Win32MinorVersion() { return static_cast<int>(Version().dwMinorVersion); }

uint32_t RandSeed = 0;
void Randomize() {
  LARGE_INTEGER c;
  ::QueryPerformanceCounter(&c);
  RandSeed = static_cast<uint32_t>(c.QuadPart);
}
namespace {
int NextRandom(uint32_t& seed, int range) {
  seed = seed * 134775813u + 1;
  if (range <= 0) return 0;
  return static_cast<int>((static_cast<uint64_t>(seed) * static_cast<uint32_t>(range)) >> 32);
}
}  // namespace
int Random(int range) { return NextRandom(RandSeed, range); }
int TRandomGenerator::Random(int range) { return NextRandom(Seed, range); }
double RandomFloat() {
  RandSeed = RandSeed * 134775813u + 1;
  return RandSeed / 4294967296.0;
}

}  // namespace kivo
