// Lists of equal-sized images drawn with masks (toolbar, menu and list-view images).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <utility>
#include <vector>

#include "Pictures.h"

namespace kivo {

struct TImageListTraits {
  using Type = HIMAGELIST;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::ImageList_Destroy(h); }
};
using TImageListOwner = TUniqueHandle<TImageListTraits>;

class TImageList : public TComponent {
  KIVO_CLASS(TImageList, TComponent)
  static void Publish(TPublisher<TImageList>& p);
  explicit TImageList(TComponent* owner);
  ~TImageList() override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Clears the list when the size changes.
  void SetWidth(int w);
  void SetHeight(int h);
  int Count() const;
  HIMAGELIST Handle();

  // Adds the image (split into Width-wide pieces when it is wider) with an explicit mask, or
  // masked by a colour (clDefault: the image's bottom-left pixel). Answer the first new index.
  int Add(TBitmap* image, TBitmap* mask);
  int AddMasked(TBitmap* image, TColor maskColor);
  int AddIcon(TIcon* icon);
  void Delete(int index);
  void Clear();
  // Draws an image; a disabled one is drawn embossed in the highlight and shadow colours.
  void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);
  // The image (on black where it is see-through) into a bitmap of the list's size.
  void GetBitmap(int index, TBitmap* image);

  TNotifyEvent OnChange;
  // Users that hold the list's handle (a list view) hear of every change under their key: a new
  // size replaces the handle.
  void AddChangeLink(const void* key, std::function<void()> changed);
  void RemoveChangeLink(const void* key);

 private:
  void Changed();
  int width_ = 16, height_ = 16;
  TImageListOwner list_;
  std::vector<std::pair<const void*, std::function<void()>>> links_;
};

}  // namespace kivo
