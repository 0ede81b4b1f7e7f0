// The test AVI files are real AVI files: Wine's AVI reader returns every frame unchanged.
#include <gtest/gtest.h>

#include <windows.h>
#include <vfw.h>

#include "AviWriter.h"
#include "TestSupport.h"

using namespace kivo;

TEST(AviWriter, FramesReadBackThroughTheSystemAviReader) {
  const int w = 66, h = 30, count = 4;  // odd row bytes: padded rows
  std::vector<std::vector<BYTE>> frames;
  for (int i = 0; i < count; ++i) frames.push_back(test::MakePattern(w, h, i));
  const std::wstring path = test::TempFilePath(L"avi", L".avi");
  test::WriteRgb24Avi(path, w, h, 25, frames);

  ::AVIFileInit();
  PAVIFILE file = nullptr;
  ASSERT_EQ(::AVIFileOpenW(&file, path.c_str(), OF_READ, nullptr), 0);
  PAVISTREAM stream = nullptr;
  ASSERT_EQ(::AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), 0);
  EXPECT_EQ(::AVIStreamLength(stream), count);
  AVISTREAMINFOW info{};
  ASSERT_EQ(::AVIStreamInfoW(stream, &info, sizeof(info)), 0);
  EXPECT_EQ(info.dwRate / info.dwScale, 25u);
  std::vector<BYTE> buf(test::FrameBytes(w, h));
  for (int i = 0; i < count; ++i) {
    LONG bytes = 0;
    ASSERT_EQ(::AVIStreamRead(stream, i, 1, buf.data(), LONG(buf.size()), &bytes, nullptr), 0);
    EXPECT_EQ(size_t(bytes), buf.size());
    EXPECT_EQ(test::CheckPattern(buf.data(), w, h, i), "");
  }
  ::AVIStreamRelease(stream);
  ::AVIFileRelease(file);
  ::AVIFileExit();
  ::DeleteFileW(path.c_str());
}
