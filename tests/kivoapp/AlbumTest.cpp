// The album units in the test's own process: the interval text, the list files, the settings, the
// style choice, the GIF control's place and the frame composed from a transition step.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "GuiTestUtil.h"
#include "KVFAlbumSource.h"
#include "KVFAlbumWindow.h"
#include "KVShared.h"
#include "Streams.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A temporary folder removed with its files at the end.
class TTempFolder {
 public:
  TTempFolder() {
    wchar_t buf[MAX_PATH];
    ::GetTempPathW(MAX_PATH, buf);
    static int n = 0;
    dir_ = std::wstring(buf) + L"kivo album " + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++n) + L"\\";
    ::CreateDirectoryW(dir_.c_str(), nullptr);
  }
  ~TTempFolder() {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir_ + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do ::DeleteFileW((dir_ + fd.cFileName).c_str());
      while (::FindNextFileW(h, &fd));
      ::FindClose(h);
    }
    ::RemoveDirectoryW(dir_.c_str());
  }
  std::wstring Path(const std::wstring& name) const { return dir_ + name; }

 private:
  std::wstring dir_;
};

std::wstring IniText(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  wchar_t buf[1024] = {};
  ::GetPrivateProfileStringW(section, key, L"", buf, 1024, file.c_str());
  return buf;
}

void WriteText(const std::wstring& path, const std::string& text) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  ::CloseHandle(h);
}

void WriteBitmap(const std::wstring& path, int w, int h, TColor colour) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  b.Canvas()->Brush()->SetColor(colour);
  b.Canvas()->FillRect(RECT{0, 0, w, h});
  b.SaveToFile(path);
}

COLORREF PixelAt(TBitmap& b, int x, int y) { return ::GetPixel(b.Canvas()->Handle(), x, y); }

// A page and its window on a shown form, paired as the main window pairs them.
struct TPair {
  TForm* Form;
  TAlbumWindow* Window;
  TAlbumSource* Page;
  TPair() {
    Form = Create<TForm>(Application());
    Form->SetBounds(0, 0, 700, 300);
    Window = new TAlbumWindow(Form);
    Window->SetParent(Form);
    Window->AfterConstruction();
    Window->SetBounds(0, 0, 320, 240);
    Page = Create<TAlbumSource>(Form);
    Page->SetParent(Form);
    Page->SetBounds(330, 0, 320, 237);
    Window->Source = Page;
    Window->SourceIndex = 2;
    Page->Window = Window;
    Form->Show();
  }
  ~TPair() { Form->Free(); }
};

}  // namespace

TEST(AlbumSource, IntervalTextBecomesMillisecondsWithinSaneBounds) {
  struct Case {
    const wchar_t* text;
    std::int32_t ms;
  } cases[] = {
      {L"5", 5000}, {L" 7 ", 7000}, {L"abc", 3000}, {L"", 3000}, {L"2.5", 3000},
      // 0 and less would start a picture on every timer message
      {L"0", 1000}, {L"-4", 1000},
      // a product beyond 32 bits would turn negative
      {L"99999999", (INT_MAX / 1000) * 1000},
  };
  for (const Case& c : cases) EXPECT_EQ(AlbumIntervalMs(c.text), c.ms) << std::string(c.text, c.text + wcslen(c.text));
}

// The page as the main window holds it: put into a notebook page that has no size yet, then
// grown to its place. The sheet "播放列表" shows its five buttons under the list, and a click on
// "添加图片" opens the picture dialog.
TEST(AlbumSource, PlayListSheetShowsItsButtonsAndAddOpensThePictureDialog) {
  TForm* form = Create<TForm>(Application());
  form->SetBounds(0, 0, 400, 320);
  auto* holder = new TPanel(form);
  holder->SetParent(form);
  holder->SetBounds(0, 0, 0, 0);
  holder->SetBevelOuter(TBevelCut::bvNone);
  TAlbumSource* page = Create<TAlbumSource>(form);
  page->SetParent(holder);
  page->SetAlign(TAlign::alClient);
  holder->SetBounds(0, 0, 320, 237);
  form->Show();
  PumpFor(150);

  TTabSheet* sheet = page->sheetAlbum;
  ASSERT_EQ(page->bookAlbumEffect->ActivePage(), sheet);
  const int sw = sheet->ClientWidth(), sh = sheet->ClientHeight();
  const RECT list = page->pnlAlbum->BoundsRect();
  EXPECT_LE(list.right, sw);  // the list's frame keeps its right and bottom edges
  const std::vector<std::pair<TButton*, const wchar_t*>> buttons = {
      {page->btnAlbumAddFile, L"添加图片"}, {page->btnAlbumRemove, L"移除图片"}, {page->btnAlbumClear, L"清空列表"},
      {page->btnSaveAlbum, L"保存列表"}, {page->btnLoadAlbum, L"加载列表"}};
  for (const auto& [b, caption] : buttons) {
    SCOPED_TRACE(std::wstring(caption).size());
    EXPECT_EQ(b->Caption(), caption);
    EXPECT_TRUE(::IsWindowVisible(b->Handle()));
    const RECT r = b->BoundsRect();
    EXPECT_GE(r.top, list.bottom);
    EXPECT_LE(r.bottom, sh);
    EXPECT_LE(r.right, sw);
    // nothing of the page lies over the button's middle
    POINT mid{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    EXPECT_EQ(::ChildWindowFromPointEx(sheet->Handle(), mid, CWP_SKIPINVISIBLE), b->Handle());
  }

  // the click, as the mouse gives it; the dialog is closed from another thread
  std::atomic<bool> seen{false};
  std::thread closer([&] {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 15000) {
      if (HWND dlg = FindVisibleTopLevel(L"#32770")) {
        seen = true;
        ::Sleep(100);
        ::PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
        return;
      }
      ::Sleep(20);
    }
  });
  TButton* add = page->btnAlbumAddFile;
  ClickAt(add->Handle(), add->Width() / 2, add->Height() / 2);
  closer.join();
  EXPECT_TRUE(seen);
  EXPECT_EQ(page->List->Items()->Count(), 0);
  form->Free();
}

TEST(AlbumSource, ListFilesRoundTripSkipDuplicatesKeepMissingPicturesAndNameUnreadableOnes) {
  TTempFolder dir;
  const std::wstring a = dir.Path(L"a.bmp"), b = dir.Path(L"b b.bmp"), bad = dir.Path(L"bad.bmp");
  const std::wstring missing = dir.Path(L"missing.bmp");
  WriteBitmap(a, 8, 8, clRed);
  WriteBitmap(b, 8, 8, clBlue);
  WriteText(bad, "not a picture");
  CurrentAlbumFile = dir.Path(L"curalbum.dat");
  TPair pair;
  TAlbumSource* page = pair.Page;
  EXPECT_EQ(page->List->Items()->Count(), 0) << "no current album file: an empty list";

  const std::wstring list = dir.Path(L"list.al");
  // values in line order, keys ignored; a duplicate in other letter case is skipped
  std::string text = "[Other]\r\n0=C:\\no.bmp\r\n[Items]\r\n";
  for (const std::wstring* p : {&b, &missing, &a}) text += "k=" + std::string(p->begin(), p->end()) + "\r\n";
  std::wstring upperA = a;
  for (wchar_t& c : upperA) c = static_cast<wchar_t>(towupper(c));
  text += "x=" + std::string(upperA.begin(), upperA.end()) + "\r\n";
  WriteText(list, text);
  page->LoadAlbumList(list);
  EXPECT_EQ(page->Paths(), (std::vector<std::wstring>{b, missing, a}));

  page->SaveAlbumList(dir.Path(L"copy.al"));
  EXPECT_EQ(ReadAlbumList(dir.Path(L"copy.al")), (std::vector<std::wstring>{b, missing, a}));
  EXPECT_EQ(IniText(dir.Path(L"copy.al"), L"Items", L"1"), missing);
  page->SaveCurrentAlbum();
  TPair again;  // a new page reads the current album at creation
  EXPECT_EQ(again.Page->Paths(), (std::vector<std::wstring>{b, missing, a}));

  // an unreadable picture: the others are listed, one error names it
  WriteText(list, "[Items]\r\n0=" + std::string(a.begin(), a.end()) + "\r\n1=" + std::string(bad.begin(), bad.end()) +
                      "\r\n2=" + std::string(b.begin(), b.end()) + "\r\n");
  try {
    page->LoadAlbumList(list);
    ADD_FAILURE() << "no error for the unreadable picture";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find(bad), std::wstring::npos);
  }
  EXPECT_EQ(page->Paths(), (std::vector<std::wstring>{a, b}));
  CurrentAlbumFile.clear();
}

TEST(AlbumSource, ListFilesKeepNamesOutsideTheCodePage) {
  TTempFolder dir;
  // a name outside code page 936 and one inside it
  const std::wstring thai = dir.Path(L"\u0E01\u0E02 \U0001F600.bmp"), chinese = dir.Path(L"照片.bmp");
  WriteBitmap(thai, 8, 8, clRed);
  WriteBitmap(chinese, 8, 8, clBlue);
  CurrentAlbumFile = dir.Path(L"curalbum.dat");
  {
    TPair pair;
    TStringList chosen;  // as the user adds them
    chosen.Add(thai);
    chosen.Add(chinese);
    pair.Page->List->AddPaths(&chosen);
    ASSERT_EQ(pair.Page->Paths(), (std::vector<std::wstring>{thai, chinese}));
    pair.Page->SaveCurrentAlbum();
  }
  const std::vector<std::wstring> read = ReadAlbumList(CurrentAlbumFile);
  ASSERT_EQ(read, (std::vector<std::wstring>{thai, chinese}));
  EXPECT_NE(::GetFileAttributesW(read[0].c_str()), INVALID_FILE_ATTRIBUTES) << "the name read back is the file's";
  EXPECT_EQ(IniText(CurrentAlbumFile, L"Items", L"0"), thai);
  {
    TPair again;  // after a restart the album shows both pictures
    EXPECT_EQ(again.Page->Paths(), (std::vector<std::wstring>{thai, chinese}));
  }

  // an album in the code page, as older versions wrote it, is read and written byte for byte
  const std::wstring old = dir.Path(L"old.al");
  const std::string bytes = "[Items]\r\n0=" + WideToAnsi(chinese, 936) + "\r\n";
  WriteText(old, bytes);
  {
    TPair pair;
    pair.Page->LoadAlbumList(old);
    EXPECT_EQ(pair.Page->Paths(), (std::vector<std::wstring>{chinese}));
    pair.Page->SaveAlbumList(old);
  }
  TMemoryStream m;
  m.LoadFromFile(old);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Bytes().data()), m.Bytes().size()), bytes);
  CurrentAlbumFile.clear();
}

TEST(AlbumWindow, PageValuesStyleChoiceAndPlayingThroughTheList) {
  TTempFolder dir;
  const std::wstring a = dir.Path(L"a.bmp"), b = dir.Path(L"b.bmp");
  WriteBitmap(a, 32, 24, clRed);
  WriteBitmap(b, 32, 24, clBlue);
  const std::wstring gone = dir.Path(L"gone.bmp");
  WriteText(dir.Path(L"list.al"), "[Items]\r\n0=" + std::string(a.begin(), a.end()) + "\r\n1=" +
                                      std::string(gone.begin(), gone.end()) + "\r\n2=" + std::string(b.begin(), b.end()) +
                                      "\r\n");
  CurrentAlbumFile.clear();
  TPair pair;
  TAlbumWindow* w = pair.Window;
  TAlbumSource* page = pair.Page;
  page->LoadSource();
  ASSERT_EQ(page->cmbAlbumEffect->Items()->Count(), 176);

  // the page's values reach the window
  page->cmbAlbumEffect->SetItemIndex(175);
  page->edtAlbumInterval->SetText(L"0");
  page->rbEffectSequen->SetChecked(true);
  page->chkGIFStatic->SetChecked(true);
  page->chkImageCenter->SetChecked(false);
  page->ApplySource(false);
  EXPECT_EQ(w->imgAlbum->Style(), 176);
  EXPECT_EQ(w->StyleCount, 176);
  EXPECT_EQ(w->StyleMode, kStyleSequential);
  EXPECT_EQ(w->Interval, 1000) << "a non-positive interval is raised to a second";
  EXPECT_TRUE(w->GIFStatic);
  EXPECT_FALSE(w->imgAlbum->Center());

  // sequential after 176 is 1; random stays within 1..176; manual keeps the style; no styles: no change
  EXPECT_EQ(w->NextStyle(), 1);
  w->StyleMode = kStyleRandom;
  for (int i = 0; i < 500; ++i) {
    const int s = w->NextStyle();
    ASSERT_GE(s, 1);
    ASSERT_LE(s, 176);
  }
  w->StyleMode = kStyleManual;
  EXPECT_EQ(w->NextStyle(), 176);
  w->StyleCount = 0;
  w->StyleMode = kStyleSequential;
  EXPECT_EQ(w->NextStyle(), 176);
  page->ApplySource(false);

  // play with nothing chosen starts at the last picture and runs the slide timer
  page->LoadAlbumList(dir.Path(L"list.al"));
  EXPECT_EQ(w->State(), kStateNone);
  EXPECT_TRUE(w->Play(kPlayCurrent, true));
  EXPECT_EQ(w->CurrentIndex, 2);
  EXPECT_EQ(w->State(), kStatePlaying);
  EXPECT_NE(w->SlideTimer, 0u);
  EXPECT_TRUE(w->imgAlbum->Busy() || w->imgAlbum->ScreenBitmap()->Width() == 32);
  // past the end wraps to the first; the missing picture is skipped quietly
  EXPECT_TRUE(w->Next(true));
  EXPECT_EQ(w->CurrentIndex, 0);
  EXPECT_FALSE(w->Next(true));
  EXPECT_EQ(w->CurrentIndex, 1);
  // before the first wraps to the last
  w->CurrentIndex = 0;
  EXPECT_TRUE(w->Prev(true));
  EXPECT_EQ(w->CurrentIndex, 2);
  // without wrapping nothing happens past either end
  w->Wrap = false;
  EXPECT_FALSE(w->Next(true));
  EXPECT_EQ(w->CurrentIndex, 2);
  w->Wrap = true;

  EXPECT_FALSE(w->Stop());
  EXPECT_EQ(w->State(), kStateStopped);
  EXPECT_EQ(w->SlideTimer, 0u);
  EXPECT_FALSE(w->imgAlbum->Busy());

  // an empty list: play does nothing
  page->btnAlbumClearClick(nullptr);
  EXPECT_FALSE(w->Play(kPlayCurrent, true));
}

TEST(AlbumWindow, GifsAreShownAtOnceInThePictureControlUnlessStatic) {
  TTempFolder dir;
  const std::wstring gif = dir.Path(L"wide.GIF");
  {
    TPicture p;
    TBitmap b(100, 50, TPixelFormat::pf24bit);
    b.Canvas()->Brush()->SetColor(clLime);
    b.Canvas()->FillRect(RECT{0, 0, 100, 50});
    WriteBitmap(dir.Path(L"wide.bmp"), 100, 50, clLime);
    p.LoadFromFile(dir.Path(L"wide.bmp"));
    TGifPicture g;
    g.Width = 100;
    g.Height = 50;
    g.GlobalPalette = {{0, 255, 0}, {0, 0, 0}};
    TGifFrame f;
    f.Width = 100;
    f.Height = 50;
    f.Indices.assign(100 * 50, 0);
    g.Frames = {f};
    TGIFImage image;
    image.SetGif(g);
    const std::vector<std::uint8_t> bytes = image.SaveToBytes();
    WriteText(gif, std::string(bytes.begin(), bytes.end()));
  }
  CurrentAlbumFile.clear();
  TPair pair;
  TAlbumWindow* w = pair.Window;
  w->Active = true;
  w->imgAlbum->SetStretch(true);
  w->imgAlbum->SetProportional(true);
  w->imgAlbum->SetCenter(true);
  ASSERT_TRUE(w->ShowPicture(gif));
  EXPECT_FALSE(w->imgAlbum->Busy()) << "a GIF came through a transition";
  EXPECT_FALSE(w->imgAlbum->Visible());
  EXPECT_TRUE(w->imgAlbum2->Visible());
  EXPECT_EQ(w->Color(), clWhite);
  EXPECT_EQ(w->imgAlbum2->Picture()->Width(), 100);
  const RECT r = w->imgAlbum2->BoundsRect();
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right, 320);
  EXPECT_EQ(r.bottom, 200);

  // static: through the transition, the picture control emptied
  w->GIFStatic = true;
  ASSERT_TRUE(w->ShowPicture(gif));
  EXPECT_TRUE(w->imgAlbum->Visible());
  EXPECT_FALSE(w->imgAlbum2->Visible());
  EXPECT_EQ(w->imgAlbum2->Picture()->Graphic(), nullptr);
  EXPECT_EQ(w->Color(), clBlack);
  EXPECT_FALSE(w->ShowPicture(dir.Path(L"none.gif")));
  w->Stop();

  // the GIF control's place for other layouts
  struct Case {
    bool stretch, proportional, center;
    RECT expected;
  } cases[] = {
      {false, false, false, {0, 0, 100, 50}},
      {false, false, true, {110, 95, 210, 145}},
      {true, false, false, {0, 0, 320, 240}},
      {true, true, false, {0, 0, 320, 160}},
  };
  for (const Case& c : cases) {
    const RECT got = TAlbumWindow::GifImageRect(320, 240, 100, 50, c.stretch, c.proportional, c.center);
    EXPECT_TRUE(::EqualRect(&got, &c.expected)) << c.stretch << c.proportional << c.center << ": " << got.left << ","
                                               << got.top << "," << got.right << "," << got.bottom;
  }
}

TEST(AlbumWindow, AStepIsComposedAtTheFrameSizeWhateverTheControlSize) {
  // a 4 x 2 step shown at (160, 120)-(480, 360) of a 640 x 480 control (full screen, say)
  TBitmap screen(4, 2, TPixelFormat::pf32bit);
  screen.Canvas()->Brush()->SetColor(clRed);
  screen.Canvas()->FillRect(RECT{0, 0, 4, 2});
  TBitmap frame(320, 240, TPixelFormat::pf24bit);
  TAlbumWindow::ComposeFrame(&screen, RECT{160, 120, 480, 360}, 640, 480, &frame);
  EXPECT_EQ(PixelAt(frame, 80, 60), RGB(255, 0, 0));
  EXPECT_EQ(PixelAt(frame, 239, 179), RGB(255, 0, 0));
  EXPECT_EQ(PixelAt(frame, 79, 60), RGB(0, 0, 0));
  EXPECT_EQ(PixelAt(frame, 240, 180), RGB(0, 0, 0));
  EXPECT_EQ(PixelAt(frame, 0, 0), RGB(0, 0, 0));
  // a control of the frame's size: the step where the control shows it
  TAlbumWindow::ComposeFrame(&screen, RECT{0, 0, 320, 240}, 320, 240, &frame);
  EXPECT_EQ(PixelAt(frame, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(PixelAt(frame, 319, 239), RGB(255, 0, 0));
  // a 16:9 control with a 4:3 step in its middle: each axis scales by its own side, the step
  // reaches the frame's last row and leaves bars of 40 columns
  TAlbumWindow::ComposeFrame(&screen, RECT{240, 0, 1680, 1080}, 1920, 1080, &frame);
  for (int y : {0, 239}) {
    EXPECT_EQ(PixelAt(frame, 40, y), RGB(255, 0, 0)) << y;
    EXPECT_EQ(PixelAt(frame, 279, y), RGB(255, 0, 0)) << y;
    EXPECT_EQ(PixelAt(frame, 39, y), RGB(0, 0, 0)) << y;
    EXPECT_EQ(PixelAt(frame, 280, y), RGB(0, 0, 0)) << y;
  }
}
