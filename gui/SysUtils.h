// Exceptions, formatting, dates, code pages, command line and other small run-time helpers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "Handles.h"

namespace kivo {

// Code page of the system's ANSI text files (ini files, list files), whatever the process uses.
constexpr UINT kFileCodePage = 936;

// ---- Exceptions -------------------------------------------------------------------------------
// Base of every exception the layer raises; Message is the text shown to the user.
class Exception : public std::exception {
 public:
  explicit Exception(std::wstring message);
  const std::wstring& Message() const noexcept { return message_; }
  void SetMessage(std::wstring m);
  const char* what() const noexcept override { return narrow_.c_str(); }
  // Library class name of the exception ("Exception", "EAbort", ...).
  virtual const wchar_t* ClassName() const noexcept { return L"Exception"; }

 private:
  std::wstring message_;
  std::string narrow_;
};

#define KIVO_EXCEPTION(Name, Base)                                \
  class Name : public Base {                                      \
   public:                                                        \
    using Base::Base;                                             \
    const wchar_t* ClassName() const noexcept override { return L"" #Name; } \
  };

// The silent exception: unwinds like any other, but no handler shows it.
class EAbort : public Exception {
 public:
  EAbort() : Exception(L"Operation aborted") {}
  using Exception::Exception;
  const wchar_t* ClassName() const noexcept override { return L"EAbort"; }
};
KIVO_EXCEPTION(EConvertError, Exception)
KIVO_EXCEPTION(EOutOfResources, Exception)
KIVO_EXCEPTION(EInvalidOperation, Exception)
KIVO_EXCEPTION(EInvalidArgument, Exception)
KIVO_EXCEPTION(EListError, Exception)
KIVO_EXCEPTION(EStringListError, EListError)
KIVO_EXCEPTION(EComponentError, Exception)
KIVO_EXCEPTION(EPropertyError, Exception)
KIVO_EXCEPTION(EStreamError, Exception)
KIVO_EXCEPTION(EFOpenError, EStreamError)
KIVO_EXCEPTION(EFCreateError, EStreamError)
KIVO_EXCEPTION(EReadError, EStreamError)
KIVO_EXCEPTION(EWriteError, EStreamError)
KIVO_EXCEPTION(EThread, Exception)
KIVO_EXCEPTION(ERegistryException, Exception)
KIVO_EXCEPTION(EIniFileException, Exception)

// A failed Win32 call: Message is the system's text for the error code.
class EOSError : public Exception {
 public:
  explicit EOSError(DWORD code);
  EOSError(DWORD code, std::wstring message) : Exception(std::move(message)), code_(code) {}
  DWORD ErrorCode() const noexcept { return code_; }
  const wchar_t* ClassName() const noexcept override { return L"EOSError"; }

 private:
  DWORD code_;
};

[[noreturn]] void Abort();
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(DWORD code);
std::wstring SysErrorMessage(DWORD code);
// The message of any exception in flight-compatible form (for std::exception: its what()).
std::wstring ExceptionMessage(const std::exception& e);

// ---- Format -----------------------------------------------------------------------------------
// One argument of Format: integer, floating point, string, character or pointer.
class TFormatArg {
 public:
  enum class TKind { Int, UInt, Float, Str, Char, Ptr };
  TFormatArg(int v) : kind_(TKind::Int), i_(v) {}
  TFormatArg(long v) : kind_(TKind::Int), i_(v) {}
  TFormatArg(long long v) : kind_(TKind::Int), i_(v) {}
  TFormatArg(unsigned v) : kind_(TKind::UInt), u_(v) {}
  TFormatArg(unsigned long v) : kind_(TKind::UInt), u_(v) {}
  TFormatArg(unsigned long long v) : kind_(TKind::UInt), u_(v) {}
  TFormatArg(double v) : kind_(TKind::Float), f_(v) {}
  TFormatArg(wchar_t c) : kind_(TKind::Char), s_(1, c) {}
  TFormatArg(const wchar_t* s) : kind_(TKind::Str), s_(s ? s : L"") {}
  TFormatArg(std::wstring s) : kind_(TKind::Str), s_(std::move(s)) {}
  TFormatArg(std::wstring_view s) : kind_(TKind::Str), s_(s) {}
  TFormatArg(const void* p) : kind_(TKind::Ptr), u_(reinterpret_cast<uintptr_t>(p)) {}

  TKind Kind() const { return kind_; }
  long long Int() const { return kind_ == TKind::UInt ? static_cast<long long>(u_) : i_; }
  unsigned long long UInt() const { return kind_ == TKind::Int ? static_cast<unsigned long long>(i_) : u_; }
  double Float() const { return f_; }
  const std::wstring& Str() const { return s_; }

 private:
  TKind kind_;
  long long i_ = 0;
  unsigned long long u_ = 0;
  double f_ = 0;
  std::wstring s_;
};

// Format in the library's style: %[index:][-][width][.precision]type with the types d, u, x, X
// (precision = minimum digits), s, c, f, e, g, n (thousands separators), p, and %%.
// A specifier that does not fit its argument raises EConvertError.
std::wstring FormatArgs(std::wstring_view format, const std::vector<TFormatArg>& args);
template <class... A>
std::wstring Format(std::wstring_view format, A&&... args) {
  return FormatArgs(format, std::vector<TFormatArg>{TFormatArg(std::forward<A>(args))...});
}

// ---- Numbers and strings ----------------------------------------------------------------------
std::wstring IntToStr(long long v);
std::wstring IntToHex(unsigned long long v, int digits);
// Decimal or hexadecimal ("$1F", "0x1F") with an optional sign; EConvertError when malformed.
int StrToInt(std::wstring_view s);
long long StrToInt64(std::wstring_view s);
int StrToIntDef(std::wstring_view s, int def);
bool TryStrToInt(std::wstring_view s, int& out);
std::wstring FloatToStr(double v);
std::wstring Trim(std::wstring_view s);
std::wstring TrimLeft(std::wstring_view s);
std::wstring TrimRight(std::wstring_view s);
std::wstring UpperCase(std::wstring_view s);
std::wstring LowerCase(std::wstring_view s);
bool SameText(std::wstring_view a, std::wstring_view b);
int CompareText(std::wstring_view a, std::wstring_view b);
int CompareStr(std::wstring_view a, std::wstring_view b);
std::wstring StringReplaceAll(std::wstring s, std::wstring_view from, std::wstring_view to);

// Text in a given code page (kFileCodePage for the system's ANSI files, CP_ACP for the process's).
std::wstring AnsiToWide(std::string_view s, UINT codePage = kFileCodePage);
std::string WideToAnsi(std::wstring_view s, UINT codePage = kFileCodePage);

// ---- Files and folders ------------------------------------------------------------------------
std::wstring ExtractFilePath(std::wstring_view path);  // with the trailing backslash
std::wstring ExtractFileName(std::wstring_view path);
std::wstring ExtractFileExt(std::wstring_view path);    // with the dot
std::wstring ChangeFileExt(std::wstring_view path, std::wstring_view ext);
std::wstring IncludeTrailingPathDelimiter(std::wstring_view path);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
bool ForceDirectories(const std::wstring& path);

constexpr DWORD faReadOnly = FILE_ATTRIBUTE_READONLY, faHidden = FILE_ATTRIBUTE_HIDDEN,
                faSysFile = FILE_ATTRIBUTE_SYSTEM, faDirectory = FILE_ATTRIBUTE_DIRECTORY,
                faArchive = FILE_ATTRIBUTE_ARCHIVE, faAnyFile = 0x3F;
// A folder walk in the FindFirst style; Attr limits the entries to those whose attributes fit.
struct TSearchRec {
  std::wstring Name;
  DWORD Attr = 0;
  long long Size = 0;
  FILETIME Time{};
  DWORD ExcludeAttr = 0;
  TFindOwner FindHandle;
};
// 0 on success, else the Win32 error code (ERROR_NO_MORE_FILES at the end).
int FindFirst(const std::wstring& pattern, DWORD attr, TSearchRec& rec);
int FindNext(TSearchRec& rec);
void FindClose(TSearchRec& rec);

// ---- Dates ------------------------------------------------------------------------------------
// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;
TDateTime Now();
TDateTime Date();
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int ms);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& ms);
TDateTime SystemTimeToDateTime(const SYSTEMTIME& st);
SYSTEMTIME DateTimeToSystemTime(TDateTime dt);
// yyyy yy m mm mmm mmmm d dd ddd dddd h hh n nn s ss z zzz am/pm, "quoted" and 'quoted' text;
// m/mm right after an hour means minutes.
std::wstring FormatDateTime(std::wstring_view format, TDateTime dt);

// ---- Process ----------------------------------------------------------------------------------
// ParamStr(0) is the program's full path.
std::wstring ParamStr(int index);
int ParamCount();
HINSTANCE HInstance();

// Platform version as the library reports it: Win32Platform 2 on NT.
int Win32Platform();
int Win32MajorVersion();
int Win32MinorVersion();

// The library's random generator: the same seed gives the same sequence.
extern uint32_t RandSeed;
void Randomize();
int Random(int range);  // 0 <= result < range
double RandomFloat();   // 0 <= result < 1

// A generator with a seed of its own and the same sequence as Random for the same seed: for code
// that must not share the process-wide seed (another thread, a sequence of its own).
struct TRandomGenerator {
  uint32_t Seed = 0;
  int Random(int range);  // 0 <= result < range (0 for range <= 0)
};

}  // namespace kivo
