// Shared helpers of the picture codecs (not part of the public interface).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "PictureCodecs.h"

namespace kivo::codec_detail {

// Throws ECodecError when a picture of this size is empty or larger than the decoders accept.
void CheckDimensions(std::uint64_t width, std::uint64_t height, const wchar_t* format);
// Same check without throwing, for code that runs between setjmp and longjmp: false and a
// message in `message` when refused.
bool DimensionsOk(std::uint64_t width, std::uint64_t height, const char* format, char* message,
                  std::size_t messageSize) noexcept;
// Sizes `picture` without throwing; false and a message when memory is short or the size refused.
bool AllocateNoThrow(TPixelBuffer& picture, int width, int height, int bitCount, char* message,
                     std::size_t messageSize) noexcept;
// Text of a C library message for an ECodecError.
std::wstring Widen(const char* text);
[[noreturn]] void Fail(const std::wstring& message);

}  // namespace kivo::codec_detail
