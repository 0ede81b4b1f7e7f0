// Streams: the abstract TStream, files and memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"

namespace kivo {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
  KIVO_CLASS(TStream, TObject)
  // Bytes actually read or written.
  virtual long Read(void* buffer, long count) = 0;
  virtual long Write(const void* buffer, long count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // EReadError / EWriteError unless all count bytes move.
  void ReadBuffer(void* buffer, long count);
  void WriteBuffer(const void* buffer, long count);
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t p) { Seek(p, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t size);
  // Copies count bytes from source (all of it from its start when count is 0).
  int64_t CopyFrom(TStream& source, int64_t count);
};

enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class THandleStream : public TStream {
  KIVO_CLASS(THandleStream, TStream)
  long Read(void* buffer, long count) override;
  long Write(const void* buffer, long count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  HANDLE Handle() const { return file_.Get(); }

 protected:
  TFileOwner file_;
};

// EFOpenError / EFCreateError when the file cannot be opened or created.
class TFileStream : public THandleStream {
  KIVO_CLASS(TFileStream, THandleStream)
  TFileStream(const std::wstring& path, uint32_t mode);
  const std::wstring& FileName() const { return path_; }

 private:
  std::wstring path_;
};

class TMemoryStream : public TStream {
  KIVO_CLASS(TMemoryStream, TStream)
  long Read(void* buffer, long count) override;
  long Write(const void* buffer, long count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void Clear();
  void* Memory() { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  void LoadFromFile(const std::wstring& path);
  void SaveToFile(const std::wstring& path);
  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s);

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;  // may lie past the end; 64 bits on every target
};

}  // namespace kivo
