// KVCtrls: the album thumbnail list. A list view of picture files shown as framed 46 x 46
// thumbnails with a name under each; entries come from paths at once (album lists) or from a folder
// scanned on an idle-priority thread.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ImgList.h"
#include "Pictures.h"
#include "Threads.h"

namespace kivo {

// An entry arriving from the folder scanner: WParam 0, LParam the new TAlItem (the list takes it).
constexpr UINT WM_ALBUM_ITEM_LOADED = 0x804;

// One entry, the data of its list item (owned by it).
class TAlItem : public TObject {
  KIVO_CLASS(TAlItem, TObject)
  std::wstring Caption;  // trimmed text of the picture's ".txt" file, else empty
  std::wstring Name;     // file name without folder and extension; a folder's own name
  std::wstring Path;     // as passed in (a folder ends with a backslash)
  bool IsFolder = false;
  TObjectPtr<TBitmap> Thumbnail;
  TObjectPtr<TPicture> Picture;  // only between decoding and the thumbnail
};

// Unit start: the thumbnail frame (BMP_ALITEM, its size is the cell size) and the folder picture
// (BMP_FOLDER) from the program's resources. Loaded on first use when not started.
void InitAlbumCtrls();
void DoneAlbumCtrls();
TBitmap* ThumbnailFrame();
TBitmap* FolderBitmap();
// Where pictures are drawn inside the frame: left 1, top 1, 46 x 46.
constexpr RECT ThumbnailInnerRect{1, 1, 47, 47};

class TAlbumList;

// Scans one folder for files of the given extensions (".bmp", compared ignoring case), decodes
// each and posts it to the owner window with the scan's generation. Ends early when terminated.
class TLoadThread : public TThread {
  KIVO_CLASS(TLoadThread, TThread)
  TLoadThread(HWND owner, std::vector<std::wstring> extensions, std::wstring folder, WPARAM generation = 0);
  HWND Owner;
  std::vector<std::wstring> Extensions;
  std::wstring Folder;
  WPARAM Generation;

 protected:
  void Execute() override;
};

class TAlbumList : public TCustomListView {
  KIVO_CLASS(TAlbumList, TCustomListView)
  static void Publish(TPublisher<TAlbumList>& p);
  explicit TAlbumList(TComponent* owner);
  ~TAlbumList() override;
  void BeforeDestruction() override;

  // Height of the name strip under each thumbnail.
  int TextHeight() const { return textHeight_; }
  void SetTextHeight(int v);
  // Limits kept for the list's users; 0 or less stores the default (1024 x 768).
  int MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int v) { maxWidth_ = v > 0 ? v : 1024; }
  int MaxHeight() const { return maxHeight_; }
  void SetMaxHeight(int v) { maxHeight_ = v > 0 ? v : 768; }
  TListItem* HotItem() const { return hotItem_; }
  // The current scanner (running or finished), or nullptr.
  TLoadThread* Scanner() const { return scanner_.get(); }
  bool Scanning() const;

  // Ignored while a scan runs. Otherwise removes every item and scans the folder for the
  // ";"-separated extensions ("*.gif; *.bmp"; a field without a dot matches nothing).
  void LoadFolder(const std::wstring& folder, const std::wstring& extensions);
  // Adds the paths not yet listed (compared ignoring case).
  void AddPaths(TStrings* paths);
  // A new entry for the path, decoded at once. Raises the decoder's error (nothing is added).
  TListItem* AddPath(const std::wstring& path);
  // Adds an entry (its thumbnail made first); the list owns it from here.
  TListItem* AddItem(TAlItem* entry);
  // The entry of an item.
  static TAlItem* Entry(const TListItem* item) { return item ? static_cast<TAlItem*>(item->Data()) : nullptr; }

  // Loading an entry: a thumbnail from a decoded picture (stage 2), or the picture and caption
  // read from the files (stage 3). Runs on whatever thread calls it.
  static void LoadItem(TAlItem* entry);
  // The frame with the graphic fitted into it (46 x 46, centred); the caller owns it.
  static TBitmap* MakeThumbnail(TGraphic* graphic);

  // Where an item is drawn: its icon rectangle narrowed to the frame's width.
  RECT ItemBox(TListItem* item) const;
  void UpdateIconSpacing();
  // The drop of this list's selected items at a client point (the list is source and target).
  void DropSelection(int x, int y);

  void WndProc(TMessage& m) override;

 protected:
  void CreateWnd() override;
  void Delete(TListItem* item) override;

 private:
  void DrawItem(TCustomListView* sender, TListItem* item, TCustomDrawState state, bool& defaultDraw);
  void ListDragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void ListDragDrop(TObject* sender, TObject* source, int x, int y);
  void SetHotItem(TListItem* item);
  void EndScan();
  // The drop target: the item at the point, else the nearest to its right, else below; or -1.
  int DropTargetIndex(int x, int y) const;
  TImageList* images_;
  int textHeight_ = 0;
  int maxWidth_ = 1024, maxHeight_ = 768;
  TListItem* hotItem_ = nullptr;
  TObjectPtr<TLoadThread> scanner_;
  WPARAM scanGeneration_ = 0;  // items posted by an earlier scan are dropped
};

}  // namespace kivo
