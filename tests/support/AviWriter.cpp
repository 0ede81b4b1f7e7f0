#include "AviWriter.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "Handles.h"
#include "TestSupport.h"

namespace kivo::test {

namespace {

class TBytes {
 public:
  void U32(std::uint32_t v) { Raw(&v, 4); }
  void U16(std::uint16_t v) { Raw(&v, 2); }
  void Four(const char* f) { Raw(f, 4); }
  void Raw(const void* p, std::size_t n) {
    const BYTE* b = static_cast<const BYTE*>(p);
    data.insert(data.end(), b, b + n);
  }
  // Starts a chunk (or list) and answers where its size field lies.
  std::size_t Begin(const char* id, const char* listType = nullptr) {
    Four(id);
    std::size_t at = data.size();
    U32(0);
    if (listType) Four(listType);
    return at;
  }
  void End(std::size_t sizeAt) {
    std::uint32_t size = static_cast<std::uint32_t>(data.size() - sizeAt - 4);
    std::memcpy(&data[sizeAt], &size, 4);
    if (data.size() & 1) data.push_back(0);
  }
  std::vector<BYTE> data;
};

}  // namespace

void WriteRgb24Avi(const std::wstring& path, int width, int height, int frameRate,
                   const std::vector<std::vector<BYTE>>& frames) {
  const std::uint32_t frameBytes = static_cast<std::uint32_t>(FrameBytes(width, height));
  TBytes b;
  std::size_t riff = b.Begin("RIFF", "AVI ");
  std::size_t hdrl = b.Begin("LIST", "hdrl");
  std::size_t avih = b.Begin("avih");
  b.U32(1000000u / static_cast<std::uint32_t>(frameRate));  // microseconds per frame
  b.U32(frameBytes * static_cast<std::uint32_t>(frameRate));
  b.U32(0);
  b.U32(0x10);  // has index
  b.U32(static_cast<std::uint32_t>(frames.size()));
  b.U32(0);
  b.U32(1);  // streams
  b.U32(frameBytes);
  b.U32(static_cast<std::uint32_t>(width));
  b.U32(static_cast<std::uint32_t>(height));
  for (int i = 0; i < 4; ++i) b.U32(0);
  b.End(avih);
  std::size_t strl = b.Begin("LIST", "strl");
  std::size_t strh = b.Begin("strh");
  b.Four("vids");
  b.Four("DIB ");
  b.U32(0);
  b.U16(0);
  b.U16(0);
  b.U32(0);
  b.U32(1);  // scale
  b.U32(static_cast<std::uint32_t>(frameRate));
  b.U32(0);
  b.U32(static_cast<std::uint32_t>(frames.size()));
  b.U32(frameBytes);
  b.U32(0xFFFFFFFFu);
  b.U32(0);
  b.U16(0);
  b.U16(0);
  b.U16(static_cast<std::uint16_t>(width));
  b.U16(static_cast<std::uint16_t>(height));
  b.End(strh);
  std::size_t strf = b.Begin("strf");
  BITMAPINFOHEADER bih{};
  bih.biSize = sizeof(bih);
  bih.biWidth = width;
  bih.biHeight = height;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biCompression = BI_RGB;
  bih.biSizeImage = frameBytes;
  b.Raw(&bih, sizeof(bih));
  b.End(strf);
  b.End(strl);
  b.End(hdrl);

  std::size_t movi = b.Begin("LIST", "movi");
  const std::size_t moviType = movi + 4;  // index offsets count from the 'movi' type
  std::vector<std::uint32_t> offsets;
  for (const auto& f : frames) {
    if (f.size() != frameBytes) throw std::runtime_error("frame of the wrong size");
    offsets.push_back(static_cast<std::uint32_t>(b.data.size() - moviType));
    std::size_t c = b.Begin("00db");
    b.Raw(f.data(), f.size());
    b.End(c);
  }
  b.End(movi);
  std::size_t idx = b.Begin("idx1");
  for (std::uint32_t off : offsets) {
    b.Four("00db");
    b.U32(0x10);  // key frame
    b.U32(off);
    b.U32(frameBytes);
  }
  b.End(idx);
  b.End(riff);

  TFileOwner file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw std::runtime_error("cannot create the AVI file");
  DWORD written = 0;
  if (!::WriteFile(file.Get(), b.data.data(), static_cast<DWORD>(b.data.size()), &written, nullptr) ||
      written != b.data.size())
    throw std::runtime_error("cannot write the AVI file");
}

std::wstring TempFilePath(const std::wstring& tag, const std::wstring& extension) {
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"kivo_" + tag + L"_" + std::to_wstring(::GetCurrentProcessId()) + extension;
}

}  // namespace kivo::test
