// The album thumbnail list under Xvfb: thumbnails, the folder scanner, captions, paths, the drawn
// items and the drop reordering.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EffectTestUtil.h"
#include "GuiTestUtil.h"
#include "KVCtrls.h"
#include "SysUtils.h"

using namespace kivo;
using namespace kivo::test;

namespace {

struct TListFixture : ::testing::Test {
  TTempTree dir;
  TObjectPtr<TForm> form;
  TAlbumList* list = nullptr;
  void SetUp() override {
    form.reset(Create<TForm>(nullptr));
    form->SetBounds(20, 20, 420, 330);
    list = new TAlbumList(form.get());
    list->SetParent(form.get());
    list->SetAlign(TAlign::alClient);
    list->SetTextHeight(14);
    form->Show();
  }
  std::wstring Picture(const std::wstring& name, int w, int h, TRgb c = TRgb{255, 0, 0}) {
    TPixelBuffer p(w, h, 24);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        p.Pixel(x, y)[0] = static_cast<std::uint8_t>(c.B);
        p.Pixel(x, y)[1] = static_cast<std::uint8_t>(c.G);
        p.Pixel(x, y)[2] = static_cast<std::uint8_t>(c.R);
      }
    std::wstring path = dir.Path(name);
    if (SameText(ExtractFileExt(name), L".png"))
      WriteFileBytes(path, EncodePng(p));
    else
      WriteFileBytes(path, EncodeBmp(p));
    return path;
  }
  std::vector<std::wstring> Order() const {
    std::vector<std::wstring> n;
    for (int i = 0; i < list->Items()->Count(); ++i) n.push_back(TAlbumList::Entry(list->Items()->Item(i))->Name);
    return n;
  }
  bool WaitScan() {
    return PumpUntil([&] { return !list->Scanning(); }) && (PumpFor(30), true);
  }
};

TRgb ThumbAt(TBitmap* t, int x, int y) {
  COLORREF c = t->Canvas()->Pixel(x, y);
  return TRgb{GetRValue(c), GetGValue(c), GetBValue(c)};
}

}  // namespace

TEST(AlbumThumbnail, FitsTheInnerBox) {
  TBitmap* frame = ThumbnailFrame();
  ASSERT_EQ(frame->Width(), 48);
  ASSERT_EQ(frame->Height(), 48);
  const TRgb red{255, 0, 0};
  TRgb cell = ThumbAt(frame, 1, 1);
  // 200 x 100 becomes 46 x 23 at (1, 12)
  TBitmap wide(200, 100, TPixelFormat::pf24bit);
  wide.Canvas()->Brush()->SetColor(clRed);
  wide.Canvas()->FillRect(RECT{0, 0, 200, 100});
  TObjectPtr<TBitmap> t(TAlbumList::MakeThumbnail(&wide));
  EXPECT_EQ(t->Width(), 48);
  EXPECT_EQ(ThumbAt(t.get(), 1, 12), red);
  EXPECT_EQ(ThumbAt(t.get(), 46, 34), red);
  EXPECT_EQ(ThumbAt(t.get(), 1, 11), cell);
  EXPECT_EQ(ThumbAt(t.get(), 46, 35), cell);
  EXPECT_EQ(ThumbAt(t.get(), 0, 20), ThumbAt(frame, 0, 20));  // the frame stays
  // 10 x 10 is enlarged to 46 x 46
  TBitmap small(10, 10, TPixelFormat::pf24bit);
  small.Canvas()->Brush()->SetColor(clRed);
  small.Canvas()->FillRect(RECT{0, 0, 10, 10});
  TObjectPtr<TBitmap> s(TAlbumList::MakeThumbnail(&small));
  EXPECT_EQ(ThumbAt(s.get(), 1, 1), red);
  EXPECT_EQ(ThumbAt(s.get(), 46, 46), red);
  EXPECT_EQ(ThumbAt(s.get(), 47, 47), ThumbAt(frame, 47, 47));
  // 30 x 90: 15 x 46 at (16, 1)
  TBitmap tall(30, 90, TPixelFormat::pf24bit);
  tall.Canvas()->Brush()->SetColor(clRed);
  tall.Canvas()->FillRect(RECT{0, 0, 30, 90});
  TObjectPtr<TBitmap> u(TAlbumList::MakeThumbnail(&tall));
  EXPECT_EQ(ThumbAt(u.get(), 16, 1), red);
  EXPECT_EQ(ThumbAt(u.get(), 30, 46), red);
  EXPECT_EQ(ThumbAt(u.get(), 15, 10), cell);
  EXPECT_EQ(ThumbAt(u.get(), 31, 10), cell);
  // no picture: the empty frame
  TObjectPtr<TBitmap> e(TAlbumList::MakeThumbnail(nullptr));
  EXPECT_EQ(ThumbAt(e.get(), 20, 20), cell);
}

TEST_F(TListFixture, ScansAFolderByExtension) {
  Picture(L"A.BMP", 20, 10);
  Picture(L"b.Bmp", 20, 10);
  Picture(L"c.png", 20, 10);
  Picture(L"d.jpgx.bmp", 8, 8);
  WriteFileBytes(dir.Path(L"e.txt"), {'x'});
  WriteFileBytes(dir.Path(L"A.txt"), {' ', ' ', 0xB1, 0xEA, 0xCC, 0xE2, ' ', '\r', '\n'});  // "标题" in code page 936
  ::CreateDirectoryW(dir.Path(L"sub.bmp").c_str(), nullptr);
  // the folder without its trailing backslash
  std::wstring folder = dir.Dir().substr(0, dir.Dir().size() - 1);
  list->LoadFolder(folder, L"*.bmp; *.PNG");
  ASSERT_TRUE(WaitScan());
  std::vector<std::wstring> names = Order();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"A", L"b", L"c", L"d.jpgx"}));
  for (int i = 0; i < list->Items()->Count(); ++i) {
    TAlItem* e = TAlbumList::Entry(list->Items()->Item(i));
    EXPECT_EQ(e->Path, dir.Dir() + ExtractFileName(e->Path));
    EXPECT_FALSE(e->IsFolder);
    EXPECT_TRUE(e->Thumbnail);
    EXPECT_FALSE(e->Picture);
    EXPECT_EQ(list->Items()->Item(i)->Caption(), e->Caption);
    EXPECT_EQ(e->Caption, e->Name == L"A" ? L"标题" : L"");
  }
  // a field without a dot accepts nothing
  list->LoadFolder(folder, L"bmp; png");
  ASSERT_TRUE(WaitScan());
  EXPECT_EQ(list->Items()->Count(), 0);
}

TEST_F(TListFixture, NewScanIgnoredWhileOneRuns) {
  // a large picture keeps the first scan busy for a while
  TPixelBuffer big(3000, 2000, 24);
  for (int y = 0; y < 2000; ++y)
    for (int x = 0; x < 3000; ++x) big.Pixel(x, y)[1] = static_cast<std::uint8_t>(x ^ y);
  WriteFileBytes(dir.Path(L"big.jpg"), EncodeJpeg(big));
  std::wstring other = dir.Sub(L"other");
  WriteFileBytes(other + L"x.bmp", EncodeBmp(TPixelBuffer(4, 4, 24)));
  list->LoadFolder(dir.Dir(), L"*.jpg");
  ASSERT_TRUE(list->Scanning());
  list->LoadFolder(other, L"*.bmp");  // ignored: not even the items change
  ASSERT_TRUE(WaitScan());
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"big"}));
  list->LoadFolder(other, L"*.bmp");
  ASSERT_TRUE(WaitScan());
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"x"}));
}

TEST_F(TListFixture, ANewScanDropsTheItemsOfTheScanBefore) {
  Picture(L"a.bmp", 8, 8);
  Picture(L"b.bmp", 8, 8);
  std::wstring other = dir.Sub(L"other");
  WriteFileBytes(other + L"x.bmp", EncodeBmp(TPixelBuffer(4, 4, 24)));
  list->LoadFolder(dir.Dir(), L"*.bmp");
  // the scan ends while its items still wait in the queue
  ASSERT_EQ(::WaitForSingleObject(list->Scanner()->Handle(), 30000), WAIT_OBJECT_0);
  MSG peek;
  ASSERT_TRUE(::PeekMessageW(&peek, list->Handle(), WM_ALBUM_ITEM_LOADED, WM_ALBUM_ITEM_LOADED, PM_NOREMOVE));
  list->LoadFolder(other, L"*.bmp");
  ASSERT_TRUE(WaitScan());
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"x"}));
  EXPECT_FALSE(::PeekMessageW(&peek, list->Handle(), WM_ALBUM_ITEM_LOADED, WM_ALBUM_ITEM_LOADED, PM_NOREMOVE));
}

TEST_F(TListFixture, PathsAreListedOnce) {
  std::wstring a = Picture(L"a.bmp", 30, 20), b = Picture(L"b.png", 10, 10);
  TStringList paths;
  paths.Add(a);
  paths.Add(b);
  paths.Add(dir.Path(L"missing.bmp"));
  list->AddPaths(&paths);
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"a", L"b", L"missing"}));
  TAlItem* missing = TAlbumList::Entry(list->Items()->Item(2));
  ASSERT_TRUE(missing->Thumbnail);  // the empty frame
  EXPECT_EQ(ThumbAt(missing->Thumbnail.get(), 20, 20), ThumbAt(ThumbnailFrame(), 20, 20));
  TStringList again;
  again.Add(UpperCase(a));
  list->AddPaths(&again);
  EXPECT_EQ(list->Items()->Count(), 3);
  // a folder entry: the folder picture and the folder's name
  TListItem* folder = list->AddPath(dir.Dir());
  TAlItem* f = TAlbumList::Entry(folder);
  EXPECT_TRUE(f->IsFolder);
  EXPECT_EQ(f->Name, ExtractFileName(dir.Dir().substr(0, dir.Dir().size() - 1)));
  // a file that cannot be decoded raises and adds nothing
  WriteFileBytes(dir.Path(L"bad.png"), {1, 2, 3});
  EXPECT_ANY_THROW(list->AddPath(dir.Path(L"bad.png")));
  EXPECT_EQ(list->Items()->Count(), 4);
  // deleting items frees their entries; the hot item is forgotten
  list->Items()->Delete(0);
  EXPECT_EQ(list->Items()->Count(), 3);
}

TEST_F(TListFixture, ItemsAreDrawnAndSpaced) {
  TStringList paths;
  for (const wchar_t* n : {L"a.bmp", L"b.bmp", L"c.bmp"}) paths.Add(Picture(n, 200, 100, TRgb{0, 200, 0}));
  list->AddPaths(&paths);
  PumpFor(50);
  // cells: the frame's width + 8 apart, and frame height + TextHeight + 8 between rows
  POINT p0 = list->Items()->Item(0)->Position(), p1 = list->Items()->Item(1)->Position();
  EXPECT_EQ(p1.x - p0.x, 48 + 8);
  EXPECT_EQ(p1.y, p0.y);
  form->SetBounds(20, 20, 150, 330);  // two cells a row
  list->Arrange();
  PumpFor(50);
  POINT p2 = list->Items()->Item(2)->Position();
  EXPECT_EQ(p2.y - p0.y, 48 + 14 + 8);
  form->SetBounds(20, 20, 420, 330);
  list->Arrange();
  list->Items()->Item(1)->SetSelected(true);
  ::RedrawWindow(list->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpFor(50);
  // the thumbnail copied unscaled into the item box; a blue line round the selected one
  TWindowDC dc(list->Handle());
  auto at = [&](int x, int y) {
    COLORREF c = ::GetPixel(dc.Get(), x, y);
    return TRgb{GetRValue(c), GetGValue(c), GetBValue(c)};
  };
  RECT box0 = list->ItemBox(list->Items()->Item(0));
  EXPECT_EQ(at(box0.left + 20, box0.top + 20), (TRgb{0, 200, 0}));  // inside the 46 x 23 picture
  EXPECT_EQ(at(box0.left + 20, box0.top + 40), ThumbAt(ThumbnailFrame(), 20, 40));
  // the name strip lies under the thumbnail: the frame's bottom row is whole, the name below it
  EXPECT_EQ(box0.bottom - box0.top, 48 + 14);
  for (int x = 0; x < 48; ++x) EXPECT_EQ(at(box0.left + x, box0.top + 47), ThumbAt(ThumbnailFrame(), x, 47)) << x;
  bool nameDrawn = false;
  for (int y = box0.top + 48; y < box0.bottom && !nameDrawn; ++y)
    for (int x = box0.left; x < box0.right && !nameDrawn; ++x) nameDrawn = !(at(x, y) == TRgb{255, 255, 255});
  EXPECT_TRUE(nameDrawn);
  RECT box1 = list->ItemBox(list->Items()->Item(1));
  EXPECT_EQ(at(box1.left + 20, box1.top + 1), (TRgb{0, 0, 255}));
  // the mouse over an item makes it the hot one
  ::SendMessageW(list->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(box0.left + 10, box0.top + 10));
  EXPECT_EQ(list->HotItem(), list->Items()->Item(0));
  ::SendMessageW(list->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(400, 300));
  EXPECT_EQ(list->HotItem(), nullptr);
}

TEST_F(TListFixture, DropReordersTheSelection) {
  TStringList paths;
  for (const wchar_t* n : {L"A", L"B", L"C", L"D", L"E"}) paths.Add(dir.Path(std::wstring(n) + L".bmp"));
  list->AddPaths(&paths);
  PumpFor(50);
  auto select = [&](std::initializer_list<int> which) {
    list->ClearSelection();
    for (int i : which) list->Items()->Item(i)->SetSelected(true);
  };
  // C and E dropped on A: each moved in turn to A's position
  select({2, 4});
  RECT a = list->Items()->Item(0)->DisplayRect(LVIR_ICON);
  list->DropSelection(a.left + 5, a.top + 5);
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"E", L"C", L"A", L"B", L"D"}));
  EXPECT_TRUE(list->Items()->Item(0)->Selected());
  EXPECT_TRUE(list->Items()->Item(1)->Selected());

  // back to A B C D E, then B and D dropped where no item is at, right of or below the point:
  // appended, and B met again and appended once more
  list->Items()->Reorder({list->Items()->Item(2), list->Items()->Item(3), list->Items()->Item(1), list->Items()->Item(4),
                          list->Items()->Item(0)});
  ASSERT_EQ(Order(), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
  select({1, 3});
  list->DropSelection(list->ClientWidth() - 3, list->ClientHeight() - 3);
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"A", L"C", L"E", L"D", L"B"}));

  // between two items: the nearest item to the right is the target
  list->Items()->Reorder({list->Items()->Item(0), list->Items()->Item(4), list->Items()->Item(1), list->Items()->Item(3),
                          list->Items()->Item(2)});
  ASSERT_EQ(Order(), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
  select({4});
  RECT c = list->Items()->Item(2)->DisplayRect(LVIR_BOUNDS);
  list->DropSelection(c.left - 1, c.top + 5);
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"A", L"B", L"E", L"C", L"D"}));

  // the list takes drops from itself only, through the mouse
  bool accept = false;
  list->OnDragOver(list, list, 0, 0, TDragState::dsDragMove, accept);
  EXPECT_TRUE(accept);
  list->OnDragOver(list, form.get(), 0, 0, TDragState::dsDragMove, accept);
  EXPECT_FALSE(accept);
  select({4});
  list->BeginDrag();
  RECT first = list->Items()->Item(0)->DisplayRect(LVIR_ICON);
  ::SendMessageW(list->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(first.left + 5, first.top + 5));
  EXPECT_EQ(Order(), (std::vector<std::wstring>{L"D", L"A", L"B", L"E", L"C"}));
}
