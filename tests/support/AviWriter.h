// Writes small uncompressed RGB24 AVI files for graph tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kivo::test {

// Frames are bottom-up 24-bit DIB bits with rows padded to 4 bytes (FrameBytes(width, height)).
// frameRate is frames per second. Throws std::runtime_error when the file cannot be written.
void WriteRgb24Avi(const std::wstring& path, int width, int height, int frameRate,
                   const std::vector<std::vector<BYTE>>& frames);

// A file name in the test program's temporary folder, unique per process and tag.
std::wstring TempFilePath(const std::wstring& tag, const std::wstring& extension);

}  // namespace kivo::test
