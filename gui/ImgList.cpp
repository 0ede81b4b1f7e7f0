#include "ImgList.h"

#include <algorithm>

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TImageList)

void TImageList::Publish(TPublisher<TImageList>& p) {
  p.Integer(L"Width", &TImageList::Width, &TImageList::SetWidth);
  p.Integer(L"Height", &TImageList::Height, &TImageList::SetHeight);
}

TImageList::TImageList(TComponent* owner) : TComponent(owner) {}
TImageList::~TImageList() = default;

HIMAGELIST TImageList::Handle() {
  if (!list_) {
    list_.Reset(::ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 4, 4));
    if (!list_) throw EOutOfResources(L"Out of system resources");
  }
  return list_.Get();
}
int TImageList::Count() const { return list_ ? ::ImageList_GetImageCount(list_.Get()) : 0; }
void TImageList::Changed() {
  if (OnChange) OnChange(this);
  const auto links = links_;  // a user may unlink while it hears
  for (const auto& l : links) l.second();
}
void TImageList::AddChangeLink(const void* key, std::function<void()> changed) {
  RemoveChangeLink(key);
  links_.emplace_back(key, std::move(changed));
}
void TImageList::RemoveChangeLink(const void* key) {
  links_.erase(std::remove_if(links_.begin(), links_.end(), [key](const auto& l) { return l.first == key; }), links_.end());
}
void TImageList::SetWidth(int w) {
  if (w == width_ || w <= 0) return;
  width_ = w;
  list_.Reset();
  Changed();
}
void TImageList::SetHeight(int h) {
  if (h == height_ || h <= 0) return;
  height_ = h;
  list_.Reset();
  Changed();
}

int TImageList::Add(TBitmap* image, TBitmap* mask) {
  if (!image || image->Empty()) throw EInvalidOperation(L"Invalid image");
  // ImageList_Add copies the bitmaps: hand it device bitmaps of the image's look
  TBitmap img;
  img.Assign(image);
  img.SetPixelFormat(TPixelFormat::pf32bit);
  for (int y = 0; y < img.Height(); ++y) {  // colour without an alpha channel of its own
    auto* row = static_cast<BYTE*>(img.ScanLine(y));
    for (int x = 0; x < img.Width(); ++x) row[x * 4 + 3] = 0;
  }
  TBitmap m;
  if (mask) {
    m.Assign(mask);
    m.SetPixelFormat(TPixelFormat::pf1bit);
  }
  // bitmaps handed to the list are selected into no DC
  img.Canvas()->SetHandle(nullptr);
  m.Canvas()->SetHandle(nullptr);
  int r = ::ImageList_Add(Handle(), img.Handle(), mask ? m.Handle() : nullptr);
  if (r < 0) throw EInvalidOperation(L"Failed to add the image");
  Changed();
  return r;
}
int TImageList::AddMasked(TBitmap* image, TColor maskColor) {
  if (!image || image->Empty()) throw EInvalidOperation(L"Invalid image");
  TBitmap img;
  img.Assign(image);
  if (maskColor == clDefault) maskColor = img.TransparentColor();
  img.SetTransparentColor(maskColor);
  TBitmap mask;
  mask.Assign(&img);
  mask.Mask(maskColor);
  return Add(&img, &mask);
}
int TImageList::AddIcon(TIcon* icon) {
  if (!icon || icon->Empty()) throw EInvalidOperation(L"Invalid image");
  int r = ::ImageList_AddIcon(Handle(), icon->Handle());
  if (r < 0) throw EInvalidOperation(L"Failed to add the image");
  Changed();
  return r;
}
void TImageList::Delete(int index) {
  if (index < 0 || index >= Count()) throw EInvalidOperation(L"Image index out of range");
  ::ImageList_Remove(list_.Get(), index);
  Changed();
}
void TImageList::Clear() {
  if (list_) ::ImageList_Remove(list_.Get(), -1);
  Changed();
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) {
  if (index < 0 || index >= Count()) return;
  HDC dc = canvas.Handle();
  if (enabled) {
    ::ImageList_Draw(list_.Get(), index, dc, x, y, ILD_NORMAL);
    return;
  }
  // monochrome shape: 0 where the image is, 1 where it is see-through
  TBitmap shape(width_, height_, TPixelFormat::pf1bit);
  HDC s = shape.Canvas()->Handle();
  ::PatBlt(s, 0, 0, width_, height_, WHITENESS);
  ::ImageList_Draw(list_.Get(), index, s, 0, 0, ILD_MASK);
  // the shape in the highlight colour one pixel down-right, then in the shadow colour
  COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
  COLORREF oldBk = ::SetBkColor(dc, RGB(255, 255, 255));
  for (int pass = 0; pass < 2; ++pass) {
    TBrushOwner brush(::CreateSolidBrush(::GetSysColor(pass == 0 ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW)));
    HGDIOBJ old = ::SelectObject(dc, brush.Get());
    ::BitBlt(dc, x + (pass == 0 ? 1 : 0), y + (pass == 0 ? 1 : 0), width_, height_, s, 0, 0, 0x00B8074A /* PSDPxax */);
    ::SelectObject(dc, old);
  }
  ::SetTextColor(dc, oldText);
  ::SetBkColor(dc, oldBk);
}

void TImageList::GetBitmap(int index, TBitmap* image) {
  if (!image) return;
  if (index < 0 || index >= Count()) throw EInvalidOperation(L"Image index out of range");
  image->SetSize(width_, height_);
  RECT r{0, 0, width_, height_};
  HDC dc = image->Canvas()->Handle();
  ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
  ::ImageList_Draw(list_.Get(), index, dc, 0, 0, ILD_NORMAL);
  ::GdiFlush();
}

}  // namespace kivo
