// The camera and movie units in the test's own process: the device item texts, the error texts,
// the list files, and the frame path's bounds (a sample shorter than the negotiated frame is never
// read past its end; a frame ending at a page boundary is read only up to it).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AviWriter.h"
#include "Forms.h"
#include "GuiTestUtil.h"
#include "KVFCameraSource.h"
#include "KVFCameraWindow.h"
#include "KVFMovieSource.h"
#include "KVFMovieWindow.h"
#include "KVProcessorList.h"
#include "KVProcs.h"
#include "KVShared.h"
#include "Streams.h"
#include "KVSysConfig.h"

using namespace kivo;

namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

void WriteText(const std::wstring& path, const std::string& text) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  ::CloseHandle(h);
}

// Memory whose last readable byte is followed by a page that cannot be touched.
class TGuardedBuffer {
 public:
  explicit TGuardedBuffer(std::size_t size) {
    SYSTEM_INFO si;
    ::GetSystemInfo(&si);
    const std::size_t page = si.dwPageSize, pages = (size + page - 1) / page;
    base_ = static_cast<BYTE*>(::VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ::VirtualProtect(base_ + pages * page, page, PAGE_NOACCESS, &old);
    data_ = base_ + pages * page - size;
    std::memset(data_, 0x40, size);
  }
  ~TGuardedBuffer() { ::VirtualFree(base_, 0, MEM_RELEASE); }
  BYTE* Data() const { return data_; }

 private:
  BYTE* base_ = nullptr;
  BYTE* data_ = nullptr;
};

}  // namespace

TEST(CameraSource, ItemIdsAndErrorTexts) {
  struct Case {
    const wchar_t* name;
    const wchar_t* id;
  } cases[] = {
      {L"@device:pnp:\\\\?\\usb#vid_kv03&pid_0001&mi_00#7&1&0&0000#{65e8773d}\\global", L"kv03"},
      {L"@device:pnp:\\\\?\\USB#VID_046D&PID_0825", L"046D"},  // found in any case, kept as written
      {L"@device:pnp:\\\\?\\root#image#0000", L"@device:pnp:\\\\?\\root#image#0000"},  // no "id_"
      {L"xid_ab", L"ab"},  // fewer than four characters after it
  };
  for (const Case& c : cases) EXPECT_EQ(DeviceItemId(c.name), c.id) << Narrow(c.name);
  EXPECT_EQ(CameraOpenErrorText(static_cast<HRESULT>(0x80040154)),
            L"不能开启摄像头（错误：80040154），请检查摄像头是否插好，并且没有被其他程序占用。");
  EXPECT_EQ(CameraOpenErrorText(static_cast<HRESULT>(0x1F)),
            L"不能开启摄像头（错误：      1f），请检查摄像头是否插好，并且没有被其他程序占用。");
  EXPECT_EQ(MovieOpenErrorText(static_cast<HRESULT>(0x80040216)), L"不能播放媒体文件（错误：80040216），请检查文件是否存在。");
}

TEST(MovieSource, ListFilesKeepLineOrderAndAddingSkipsListedFiles) {
  const std::wstring dir = kivo::test::TempFilePath(L"movies", L"");
  ::CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring list = dir + L"\\list.ml";
  // keys are ignored: the lines' order counts; other sections are not read
  WriteText(list, "[Other]\r\n0=C:\\no.avi\r\n[Movies]\r\n5=C:\\b.avi\r\n1=C:\\a b.avi\r\nx=C:\\c=d.avi\r\n");
  EXPECT_EQ(ReadMovieList(list), (std::vector<std::wstring>{L"C:\\b.avi", L"C:\\a b.avi", L"C:\\c=d.avi"}));
  EXPECT_TRUE(ReadMovieList(dir + L"\\missing.ml").empty());

  CurrentMovieListPath = dir + L"\\curmovies.dat";
  TMovieSource* page = Create<TMovieSource>(nullptr);
  EXPECT_EQ(page->lstMovies->Items()->Count(), 0) << "a missing list file gives an empty list";
  page->LoadList(list);
  page->AddFiles({L"c:\\B.AVI", L"C:\\new.avi", L"C:\\new.avi"});
  std::vector<std::wstring> items;
  for (int i = 0; i < page->lstMovies->Items()->Count(); ++i) items.push_back(page->lstMovies->Items()->Strings(i));
  EXPECT_EQ(items, (std::vector<std::wstring>{L"C:\\b.avi", L"C:\\a b.avi", L"C:\\c=d.avi", L"C:\\new.avi"}));
  page->SaveCurrentList();
  EXPECT_EQ(ReadMovieList(CurrentMovieListPath), items);
  page->SaveList(list);  // the old content of the section goes
  EXPECT_EQ(ReadMovieList(list), items);
  // a new page reads the current list at creation
  TMovieSource* again = Create<TMovieSource>(nullptr);
  EXPECT_EQ(again->lstMovies->Items()->Count(), 4);
  EXPECT_NE(again->GetFileIcon(L".avi"), nullptr);
  EXPECT_NE(again->GetFileIcon(L".kivo-unknown-extension"), nullptr);
  again->Free();
  page->Free();
  ::DeleteFileW(list.c_str());
  ::DeleteFileW(CurrentMovieListPath.c_str());
  ::RemoveDirectoryW(dir.c_str());
  CurrentMovieListPath.clear();
}

TEST(MovieSource, ListFilesKeepNamesOutsideTheCodePage) {
  const std::wstring dir = kivo::test::TempFilePath(L"movies-unicode", L"");
  ::CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring thai = dir + L"\\\u0E01\u0E02 \U0001F600.avi", chinese = dir + L"\\电影.avi";
  CurrentMovieListPath = dir + L"\\curmovies.dat";
  TMovieSource* page = Create<TMovieSource>(nullptr);
  page->AddFiles({thai, chinese});
  page->SaveCurrentList();
  page->Free();
  EXPECT_EQ(ReadMovieList(CurrentMovieListPath), (std::vector<std::wstring>{thai, chinese}));
  TMovieSource* again = Create<TMovieSource>(nullptr);  // after a restart
  ASSERT_EQ(again->lstMovies->Items()->Count(), 2);
  EXPECT_EQ(again->lstMovies->Items()->Strings(0), thai);
  again->Free();

  // a list in the code page, as older versions wrote it, is read and written byte for byte
  const std::wstring old = dir + L"\\old.ml";
  const std::string bytes = "[Movies]\r\n0=" + WideToAnsi(chinese, 936) + "\r\n";
  WriteText(old, bytes);
  EXPECT_EQ(ReadMovieList(old), (std::vector<std::wstring>{chinese}));
  TMovieSource* other = Create<TMovieSource>(nullptr);
  other->LoadList(old);
  other->SaveList(old);
  other->Free();
  TMemoryStream m;
  m.LoadFromFile(old);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Bytes().data()), m.Bytes().size()), bytes);
  ::DeleteFileW(old.c_str());
  ::DeleteFileW(CurrentMovieListPath.c_str());
  ::RemoveDirectoryW(dir.c_str());
  CurrentMovieListPath.clear();
}

TEST(CameraWindow, FramePathReadsOnlyTheNegotiatedFrame) {
  InitFrameWriter();
  InitProcessorList();
  SetCaptureActive(true);
  SysConfig.CaptureSourceIndex = 0;
  TForm* form = Create<TForm>(Application());
  form->SetBounds(0, 0, 340, 280);
  // parented before its after-construction step, which shows the strip's buttons
  auto* window = new TCameraWindow(form);
  window->SetParent(form);
  window->AfterConstruction();
  window->SourceIndex = 0;
  ASSERT_TRUE(window->IsCaptureTarget());
  struct TCase {
    int w, h;
  } cases[] = {{640, 480}, {320, 240}, {322, 242}, {800, 600}};
  for (const TCase& c : cases) {
    window->VideoWidth = c.w;
    window->VideoHeight = c.h;
    window->PrepareBuffers();
    const long bytes = static_cast<long>(PaddedFrameBytes(c.w, c.h));
    EXPECT_EQ(window->FrameInfo.bmiHeader.biSizeImage, static_cast<DWORD>(bytes));
    // the frame ends right before an inaccessible page: a copy reading past it would fault
    TGuardedBuffer exact(bytes);
    window->SampleBuffer(nullptr, 0, exact.Data(), bytes);
    // a longer sample is read only for the negotiated frame; a shorter one is no frame and is dropped
    TGuardedBuffer shorter(bytes / 2);
    window->SampleBuffer(nullptr, 0, shorter.Data(), bytes / 2);
  }
  form->Free();
  DoneProcessorList();
  DoneFrameWriter();
}

TEST(MovieSource, AShownEmptyListAnswersNoChoiceAndDrawsItsItems) {
  CurrentMovieListPath.clear();
  TForm* form = Create<TForm>(Application());
  form->SetBounds(0, 0, 340, 280);
  TMovieSource* page = Create<TMovieSource>(form);
  page->SetParent(form);
  form->Show();
  kivo::test::PumpFor(200);
  // an empty multi-select list still has its caret at 0: no item is chosen
  EXPECT_EQ(page->lstMovies->ItemIndex(), -1);
  page->lstMovies->SetItemHeight(21);  // the window is made again
  EXPECT_EQ(page->lstMovies->ItemIndex(), -1);
  page->AddFiles({L"C:\\one.avi", L"C:\\two.ml"});
  page->lstMovies->SetItemIndex(1);
  kivo::test::PumpFor(200);
  EXPECT_EQ(page->lstMovies->ItemIndex(), 1);
  form->Free();
}
