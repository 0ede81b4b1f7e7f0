#include "Streams.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace kivo {

KIVO_IMPLEMENT_CLASS(TStream)
KIVO_IMPLEMENT_CLASS(THandleStream)
KIVO_IMPLEMENT_CLASS(TFileStream)
KIVO_IMPLEMENT_CLASS(TMemoryStream)

void TStream::ReadBuffer(void* buffer, long count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError(L"Stream read error");
}
void TStream::WriteBuffer(const void* buffer, long count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError(L"Stream write error");
}
int64_t TStream::Size() {
  int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return end;
}
void TStream::SetSize(int64_t) {}
int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  int64_t done = 0;
  std::vector<uint8_t> buf(64 * 1024);
  while (done < count) {
    long n = static_cast<long>(std::min<int64_t>(count - done, static_cast<int64_t>(buf.size())));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

long THandleStream::Read(void* buffer, long count) {
  DWORD n = 0;
  if (count <= 0 || !::ReadFile(file_.Get(), buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
  return static_cast<long>(n);
}
long THandleStream::Write(const void* buffer, long count) {
  DWORD n = 0;
  if (count <= 0 || !::WriteFile(file_.Get(), buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
  return static_cast<long>(n);
}
int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER d, r;
  d.QuadPart = offset;
  DWORD how = origin == TSeekOrigin::soBeginning ? FILE_BEGIN : origin == TSeekOrigin::soCurrent ? FILE_CURRENT : FILE_END;
  if (!::SetFilePointerEx(file_.Get(), d, &r, how)) return -1;
  return r.QuadPart;
}
void THandleStream::SetSize(int64_t size) {
  int64_t pos = Position();
  Seek(size, TSeekOrigin::soBeginning);
  if (!::SetEndOfFile(file_.Get())) RaiseLastOSError();
  if (pos < size) Seek(pos, TSeekOrigin::soBeginning);
}

TFileStream::TFileStream(const std::wstring& path, uint32_t mode) : path_(path) {
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if ((mode & 0xF0) == fmShareExclusive) share = 0;
  else if ((mode & 0xF0) == fmShareDenyWrite) share = FILE_SHARE_READ;
  if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
    file_.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share == (FILE_SHARE_READ | FILE_SHARE_WRITE) ? FILE_SHARE_READ : share,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) throw EFCreateError(L"Cannot create file \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
    return;
  }
  DWORD access = (mode & 3) == fmOpenWrite ? GENERIC_WRITE : (mode & 3) == fmOpenReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  file_.Reset(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) throw EFOpenError(L"Cannot open file \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
}

namespace {
// Largest size the memory stream can take on this target.
int64_t MaxMemorySize(const std::vector<uint8_t>& v) {
  return static_cast<int64_t>(std::min<uint64_t>(v.max_size(), INT64_MAX));
}
}  // namespace

long TMemoryStream::Read(void* buffer, long count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  size_t n = static_cast<size_t>(std::min<int64_t>(count, Size() - pos_));
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += static_cast<int64_t>(n);
  return static_cast<long>(n);
}
long TMemoryStream::Write(const void* buffer, long count) {
  if (count <= 0) return 0;
  // a position past what memory can hold writes nothing (it must not wrap to the start)
  if (pos_ > MaxMemorySize(data_) - count) return 0;
  size_t end = static_cast<size_t>(pos_ + count);
  if (end > data_.size()) {
    try {
      data_.resize(end);
    } catch (const std::bad_alloc&) {
      return 0;
    } catch (const std::length_error&) {
      return 0;
    }
  }
  std::memcpy(data_.data() + pos_, buffer, count);
  pos_ += count;
  return count;
}
int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : Size();
  int64_t p;
  if (offset > 0 && base > INT64_MAX - offset) p = INT64_MAX;
  else p = base + offset;
  if (p < 0) p = 0;
  pos_ = p;
  return p;
}
void TMemoryStream::SetSize(int64_t size) {
  if (size < 0 || size > MaxMemorySize(data_)) throw EStreamError(L"Out of memory while expanding memory stream");
  data_.resize(static_cast<size_t>(size));
  if (pos_ > Size()) pos_ = Size();
}
void TMemoryStream::Clear() {
  data_.clear();
  pos_ = 0;
}
void TMemoryStream::LoadFromStream(TStream& s) {
  s.SetPosition(0);
  int64_t n = s.Size();
  SetSize(n);
  pos_ = 0;
  if (n) s.ReadBuffer(data_.data(), static_cast<long>(n));
}
void TMemoryStream::SaveToStream(TStream& s) {
  if (!data_.empty()) s.WriteBuffer(data_.data(), static_cast<long>(data_.size()));
}
void TMemoryStream::LoadFromFile(const std::wstring& path) {
  TFileStream f(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}
void TMemoryStream::SaveToFile(const std::wstring& path) {
  TFileStream f(path, fmCreate);
  SaveToStream(f);
}

}  // namespace kivo
