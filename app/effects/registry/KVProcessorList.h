// KVProcessorList: the registry of image processors (registration order is tab order and
// processing order) and the two pixel blends of the light and mask effects.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Handles.h"
#include "KVImageProcessor.h"

namespace kivo {

// Unit start and end: the list is made, and at the end cleared (releasing every processor).
void InitProcessorList();
void DoneProcessorList();

// Appends the processor; the list keeps a reference.
void RegisterImageProcessor(IImageProcessor* processor);
std::int32_t ImageProcessorCount();
// The entry at index (asked for IImageProcessor), empty when there is none.
TComPtr<IImageProcessor> GetImageProcessor(std::int32_t index);
// True as soon as one processor is enabled.
bool AnyImageProcessorEnabled();
// Start on every enabled processor; the number that answered true.
std::int32_t StartImageProcessors();
// Process on every enabled processor in order; the number that drew.
std::int32_t ApplyImageProcessors(HDC dc, HBITMAP bitmap, BITMAPINFO* info);

// On `count` 24-bit pixels (count x 3 bytes):
// d := d x s div 255 (white leaves the frame, black blacks it out).
void MultiplyBlend(BYTE* dest, const BYTE* src, std::int32_t count);
// d := min(255, d + (255 - d) x s div 256) (black leaves the frame, white brightens it).
void LightenBlend(BYTE* dest, const BYTE* src, std::int32_t count);

}  // namespace kivo
