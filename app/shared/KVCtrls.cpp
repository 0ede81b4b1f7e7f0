#include "KVCtrls.h"

#include <algorithm>
#include <climits>

#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAlItem)
KIVO_IMPLEMENT_CLASS(TLoadThread)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TAlbumList)

namespace {

TObjectPtr<TBitmap> gFrame;
TObjectPtr<TBitmap> gFolder;

TObjectPtr<TBitmap> LoadResourceBitmap(const wchar_t* name) {
  TObjectPtr<TBitmap> b(new TBitmap());
  b->LoadFromResourceName(HInstance(), name);
  return b;
}

// The extension part of each field: "*.bmp" gives ".bmp"; a field without a dot gives "".
std::vector<std::wstring> ExtensionsOf(const std::wstring& list) {
  TStringList fields;
  SplitList(list, &fields);
  std::vector<std::wstring> result;
  for (int i = 0; i < fields.Count(); ++i) {
    std::wstring f = fields[i];
    size_t dot = f.rfind(L'.');
    result.push_back(dot == std::wstring::npos ? L"" : f.substr(dot));
  }
  return result;
}

bool ExtensionAccepted(const std::vector<std::wstring>& extensions, const std::wstring& fileName) {
  std::wstring ext = ExtractFileExt(fileName);
  if (ext.empty()) return false;
  for (const std::wstring& e : extensions)
    if (!e.empty() && SameText(e, ext)) return true;
  return false;
}

// The file name without folder and extension; for a folder path its last folder name.
std::wstring EntryName(const std::wstring& path, bool isFolder) {
  if (isFolder) {
    std::wstring p = path;
    while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    return ExtractFileName(p);
  }
  std::wstring name = ExtractFileName(path);
  std::wstring ext = ExtractFileExt(name);
  return name.substr(0, name.size() - ext.size());
}

}  // namespace

void InitAlbumCtrls() {
  if (!gFrame) gFrame = LoadResourceBitmap(L"BMP_ALITEM");
  if (!gFolder) gFolder = LoadResourceBitmap(L"BMP_FOLDER");
}
void DoneAlbumCtrls() {
  gFrame.reset();
  gFolder.reset();
}
TBitmap* ThumbnailFrame() {
  InitAlbumCtrls();
  return gFrame.get();
}
TBitmap* FolderBitmap() {
  InitAlbumCtrls();
  return gFolder.get();
}

// ---- TLoadThread ------------------------------------------------------------------------------
TLoadThread::TLoadThread(HWND owner, std::vector<std::wstring> extensions, std::wstring folder, WPARAM generation)
    : TThread(false), Owner(owner), Extensions(std::move(extensions)), Folder(std::move(folder)), Generation(generation) {}

void TLoadThread::Execute() {
  SetPriority(TThreadPriority::tpIdle);
  TSearchRec rec;
  if (FindFirst(Folder + L"*.*", faAnyFile & ~faDirectory, rec) != 0) return;
  do {
    if (Terminated()) break;
    if ((rec.Attr & faDirectory) || !ExtensionAccepted(Extensions, rec.Name)) continue;
    TObjectPtr<TAlItem> entry(new TAlItem());
    entry->Path = Folder + rec.Name;
    entry->IsFolder = false;
    entry->Name = EntryName(rec.Name, false);
    TAlbumList::LoadItem(entry.get());  // decoding; an error ends the scan
    if (::PostMessageW(Owner, WM_ALBUM_ITEM_LOADED, Generation, reinterpret_cast<LPARAM>(entry.get()))) entry.release();
  } while (FindNext(rec) == 0);
  FindClose(rec);
}

// ---- TAlbumList -------------------------------------------------------------------------------
void TAlbumList::Publish(TPublisher<TAlbumList>& p) {
  PublishColorFont(p);
  PublishVisibility(p);
  PublishAlign(p);
  p.Integer(L"TextHeight", &TAlbumList::TextHeight, &TAlbumList::SetTextHeight);
  p.Integer(L"MaxWidth", &TAlbumList::MaxWidth, &TAlbumList::SetMaxWidth);
  p.Integer(L"MaxHeight", &TAlbumList::MaxHeight, &TAlbumList::SetMaxHeight);
}

TAlbumList::TAlbumList(TComponent* owner) : TCustomListView(owner) {
  TBitmap* frame = ThumbnailFrame();
  images_ = new TImageList(this);
  images_->SetWidth(frame->Width());
  images_->SetHeight(frame->Height() + textHeight_);
  images_->Add(frame, nullptr);
  SetLargeImages(images_);
  SetDoubleBuffered(true);
  SetDragMode(TDragMode::dmAutomatic);
  SetHideSelection(false);
  SetMultiSelect(true);
  SetReadOnly(true);
  SetAutoArrange(true);
  OnCustomDrawItem = Method(this, &TAlbumList::DrawItem);
  OnDragOver = Method(this, &TAlbumList::ListDragOver);
  OnDragDrop = Method(this, &TAlbumList::ListDragDrop);
}

void TAlbumList::BeforeDestruction() {
  EndScan();
  TCustomListView::BeforeDestruction();
}

TAlbumList::~TAlbumList() {
  EndScan();
  // entries already posted by a finished scan but not yet received
  if (HandleAllocated()) {
    MSG msg;
    while (::PeekMessageW(&msg, HandleIfAllocated(), WM_ALBUM_ITEM_LOADED, WM_ALBUM_ITEM_LOADED, PM_REMOVE))
      delete reinterpret_cast<TAlItem*>(msg.lParam);
  }
}

void TAlbumList::EndScan() {
  if (!scanner_) return;
  scanner_->Terminate();
  scanner_->WaitFor();
  scanner_.reset();
}

void TAlbumList::SetTextHeight(int v) {
  if (v == textHeight_) return;
  textHeight_ = v;
  TBitmap* frame = ThumbnailFrame();
  images_->SetHeight(frame->Height() + v);  // clears the list
  images_->Add(frame, nullptr);
  UpdateIconSpacing();
}

bool TAlbumList::Scanning() const {
  return scanner_ && ::WaitForSingleObject(scanner_->Handle(), 0) != WAIT_OBJECT_0;
}

void TAlbumList::LoadFolder(const std::wstring& folder, const std::wstring& extensions) {
  if (Scanning()) return;
  std::vector<std::wstring> ext = ExtensionsOf(extensions);
  std::wstring dir = WithTrailingBackslash(folder);
  Items()->Clear();
  if (scanner_) {
    scanner_->WaitFor();
    scanner_.reset();
  }
  scanner_.reset(Create<TLoadThread>(Handle(), std::move(ext), dir, ++scanGeneration_));
}

void TAlbumList::AddPaths(TStrings* paths) {
  std::vector<std::wstring> present;
  for (int i = 0; i < Items()->Count(); ++i)
    if (TAlItem* e = Entry(Items()->Item(i))) present.push_back(e->Path);
  Items()->BeginUpdate();
  try {
    for (int i = 0; i < paths->Count(); ++i) {
      std::wstring p = paths->Get(i);
      bool listed = std::any_of(present.begin(), present.end(), [&](const std::wstring& q) { return SameText(p, q); });
      if (listed) continue;
      AddPath(p);
      present.push_back(p);
    }
  } catch (...) {
    Items()->EndUpdate();
    throw;
  }
  Items()->EndUpdate();
}

TListItem* TAlbumList::AddPath(const std::wstring& path) {
  TObjectPtr<TAlItem> entry(new TAlItem());
  entry->Path = path;
  entry->IsFolder = ExtractFileName(path).empty();
  entry->Name = EntryName(path, entry->IsFolder);
  LoadItem(entry.get());  // decode
  return AddItem(entry.release());
}

TListItem* TAlbumList::AddItem(TAlItem* entry) {
  TObjectPtr<TAlItem> owned(entry);
  LoadItem(entry);  // the thumbnail
  TListItem* item = Items()->Add();
  item->SetData(owned.release());
  item->SetImageIndex(0);
  item->SetCaption(entry->Caption);
  UpdateIconSpacing();
  return item;
}

void TAlbumList::LoadItem(TAlItem* entry) {
  if (entry->Thumbnail) return;
  if (entry->Picture) {
    entry->Thumbnail.reset(MakeThumbnail(entry->Picture->Graphic()));
    entry->Picture.reset();
    return;
  }
  TObjectPtr<TPicture> picture(new TPicture());
  std::wstring caption;
  if (entry->IsFolder) {
    picture->SetGraphic(FolderBitmap());
  } else {
    if (FileExists(entry->Path)) picture->LoadFromFile(entry->Path);
    std::wstring txt = ChangeFileExt(entry->Path, L".txt");
    if (FileExists(txt)) {
      TStringList lines;
      lines.LoadFromFile(txt);
      caption = Trim(lines.Text());
    }
  }
  entry->Picture = std::move(picture);
  entry->Caption = caption;
}

TBitmap* TAlbumList::MakeThumbnail(TGraphic* graphic) {
  TBitmap* frame = ThumbnailFrame();
  TObjectPtr<TBitmap> thumb(new TBitmap(frame->Width(), frame->Height(), TPixelFormat::pf24bit));
  thumb->Canvas()->Draw(0, 0, frame);
  if (graphic && !graphic->Empty()) {
    const int boxW = ThumbnailInnerRect.right - ThumbnailInnerRect.left;
    const int boxH = ThumbnailInnerRect.bottom - ThumbnailInnerRect.top;
    std::int32_t w = graphic->Width(), h = graphic->Height();
    FitSize(boxW, boxH, w, h);
    int left = (boxW - w) / 2 + ThumbnailInnerRect.left;
    int top = (boxH - h) / 2 + ThumbnailInnerRect.top;
    thumb->Canvas()->StretchDraw(RECT{left, top, left + w, top + h}, graphic);
  }
  thumb->Canvas()->SetHandle(nullptr);  // no memory DC kept per thumbnail
  return thumb.release();
}

RECT TAlbumList::ItemBox(TListItem* item) const {
  RECT r = item->DisplayRect(LVIR_ICON);
  TBitmap* frame = ThumbnailFrame();
  // The icon's cell is the image list's height (frame and name strip) with 2 pixels above and
  // below; Wine's control reports a shorter icon rectangle, which would push the name strip up
  // into the thumbnail, so the bottom is taken from the cell itself.
  const int top = r.top + 2;
  return RECT{r.left + 8, top, r.left + 8 + frame->Width(), top + frame->Height() + textHeight_};
}

void TAlbumList::UpdateIconSpacing() {
  if (!HandleAllocated()) return;
  TBitmap* frame = ThumbnailFrame();
  ::SendMessageW(HandleIfAllocated(), LVM_SETICONSPACING, 0,
                 MAKELPARAM(frame->Width() + 8, frame->Height() + textHeight_ + 8));
}

void TAlbumList::CreateWnd() {
  TCustomListView::CreateWnd();
  UpdateIconSpacing();
}

void TAlbumList::Delete(TListItem* item) {
  if (item == hotItem_) hotItem_ = nullptr;
  if (auto* e = Entry(item)) {
    item->SetData(nullptr);
    e->Free();
  }
  TCustomListView::Delete(item);
}

void TAlbumList::DrawItem(TCustomListView*, TListItem* item, TCustomDrawState, bool& defaultDraw) {
  defaultDraw = false;
  TAlItem* entry = Entry(item);
  if (!entry) return;
  TCanvas* c = Canvas();
  RECT box = ItemBox(item);
  RECT strip{box.left + 1, box.bottom - textHeight_ + 1, box.right - 1, box.bottom - 1};
  RECT area = box;
  area.bottom -= textHeight_;
  if (entry->Thumbnail) {
    TBitmap* t = entry->Thumbnail.get();
    ::BitBlt(c->Handle(), area.left, area.top, t->Width(), t->Height(), t->Canvas()->Handle(), 0, 0, SRCCOPY);
    t->Canvas()->SetHandle(nullptr);
  }
  if (textHeight_ > 0) {
    c->Brush()->SetStyle(TBrushStyle::bsClear);
    c->TextRect(strip, entry->Name, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
  if (item->Selected() || item == hotItem_) {
    c->Pen()->SetWidth(2);
    c->Pen()->SetColor(item == hotItem_ ? clRed : clBlue);
    POINT pts[5] = {{area.left + 1, area.top + 1},
                    {area.right - 1, area.top + 1},
                    {area.right - 1, area.bottom - 1},
                    {area.left + 1, area.bottom - 1},
                    {area.left + 1, area.top}};
    c->Polyline(pts, 5);
  }
}

void TAlbumList::SetHotItem(TListItem* item) {
  if (item == hotItem_) return;
  TListItem* old = hotItem_;
  hotItem_ = item;
  for (TListItem* i : {old, item})
    if (i && HandleAllocated()) {
      RECT r = i->DisplayRect(LVIR_BOUNDS);
      ::InvalidateRect(HandleIfAllocated(), &r, FALSE);
    }
}

void TAlbumList::ListDragOver(TObject*, TObject* source, int, int, TDragState, bool& accept) { accept = source == this; }

void TAlbumList::ListDragDrop(TObject*, TObject* source, int x, int y) {
  if (source == this) DropSelection(x, y);
}

int TAlbumList::DropTargetIndex(int x, int y) const {
  if (TListItem* at = GetItemAt(x, y)) return at->Index();
  int right = -1, below = -1;
  long bestRight = LONG_MAX, bestBelowY = LONG_MAX, bestBelowX = LONG_MAX;
  for (int i = 0; i < Items()->Count(); ++i) {
    RECT r = Items()->Item(i)->DisplayRect(LVIR_BOUNDS);
    if (y >= r.top && y < r.bottom && r.left >= x && r.left - x < bestRight) {
      bestRight = r.left - x;
      right = i;
    }
    if (r.top >= y) {
      long dy = r.top - y, dx = std::labs(static_cast<long>(r.left) - x);
      if (dy < bestBelowY || (dy == bestBelowY && dx < bestBelowX)) {
        bestBelowY = dy;
        bestBelowX = dx;
        below = i;
      }
    }
  }
  return right >= 0 ? right : below;
}

void TAlbumList::DropSelection(int x, int y) {
  std::vector<TListItem*> work;
  for (int i = 0; i < Items()->Count(); ++i) work.push_back(Items()->Item(i));
  int target = DropTargetIndex(x, y);
  for (size_t i = 0; i < work.size(); ++i) {
    TListItem* it = work[i];
    if (!it->Selected()) continue;
    work.erase(work.begin() + static_cast<std::ptrdiff_t>(i));
    if (target < 0)
      work.push_back(it);
    else
      work.insert(work.begin() + target, it);
  }
  Items()->Reorder(work);
}

void TAlbumList::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ALBUM_ITEM_LOADED:
      if (m.LParam) {
        auto* entry = reinterpret_cast<TAlItem*>(m.LParam);
        if (m.WParam == scanGeneration_) AddItem(entry);
        else delete entry;  // an earlier scan's
      }
      m.Result = 0;
      return;
    case WM_MOUSEMOVE:
      SetHotItem(GetItemAt(static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))));
      break;
    case WM_SHOWWINDOW:
      if (m.WParam) {
        TCustomListView::WndProc(m);
        Arrange();
        UpdateIconSpacing();
        return;
      }
      break;
    default:
      break;
  }
  TCustomListView::WndProc(m);
}

}  // namespace kivo
