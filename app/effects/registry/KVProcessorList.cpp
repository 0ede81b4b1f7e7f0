#include "KVProcessorList.h"

#include <memory>
#include <vector>

namespace kivo {

namespace {

// A thread-safe list of interface references.
struct TInterfaceList {
  TCriticalSection Lock;
  std::vector<TComPtr<IImageProcessor>> Items;
};
std::unique_ptr<TInterfaceList> List;

// Entry i taken under the list's lock (empty past the end); the calls run outside it.
TComPtr<IImageProcessor> Entry(size_t i) {
  if (!List) return {};
  TLock l(List->Lock);
  return i < List->Items.size() ? List->Items[i] : TComPtr<IImageProcessor>();
}

}  // namespace

void InitProcessorList() {
  if (!List) List = std::make_unique<TInterfaceList>();
}

void DoneProcessorList() {
  if (!List) return;
  std::vector<TComPtr<IImageProcessor>> released;
  {
    TLock l(List->Lock);
    released.swap(List->Items);
  }
  released.clear();  // outside the lock: a processor's destructor may take its own locks
  List.reset();
}

void RegisterImageProcessor(IImageProcessor* processor) {
  InitProcessorList();
  if (!processor) return;
  TLock l(List->Lock);
  List->Items.emplace_back(processor);
}

std::int32_t ImageProcessorCount() {
  if (!List) return 0;
  TLock l(List->Lock);
  return static_cast<std::int32_t>(List->Items.size());
}

TComPtr<IImageProcessor> GetImageProcessor(std::int32_t index) {
  TComPtr<IImageProcessor> result;
  if (!List) return result;
  TComPtr<IImageProcessor> entry;
  {
    TLock l(List->Lock);
    if (index < 0 || index >= static_cast<std::int32_t>(List->Items.size())) return result;
    entry = List->Items[index];
  }
  if (entry) entry->QueryInterface(__uuidof(IImageProcessor), result.PutVoid());
  return result;
}

bool AnyImageProcessorEnabled() {
  for (size_t i = 0; auto p = Entry(i); ++i)
    if (p->GetEnabled()) return true;
  return false;
}

std::int32_t StartImageProcessors() {
  std::int32_t n = 0;
  for (size_t i = 0; auto p = Entry(i); ++i)
    if (p->GetEnabled() && p->Start()) ++n;
  return n;
}

std::int32_t ApplyImageProcessors(HDC dc, HBITMAP bitmap, BITMAPINFO* info) {
  std::int32_t n = 0;
  for (size_t i = 0; auto p = Entry(i); ++i)
    if (p->GetEnabled() && p->Process(dc, bitmap, info)) ++n;
  return n;
}

void MultiplyBlend(BYTE* dest, const BYTE* src, std::int32_t count) {
  for (std::int32_t i = 0, n = count * 3; i < n; ++i) dest[i] = static_cast<BYTE>(dest[i] * src[i] / 255);
}

void LightenBlend(BYTE* dest, const BYTE* src, std::int32_t count) {
  for (std::int32_t i = 0, n = count * 3; i < n; ++i) {
    int d = dest[i];
    int v = d + ((255 - d) * src[i]) / 256;
    dest[i] = static_cast<BYTE>(v > 255 ? 255 : v);
  }
}

}  // namespace kivo
