// The companion programs' logger: line bytes, markers, threshold from the file's first line,
// rotation, and the path routines.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "FileLog.h"
#include "TestSupport.h"
#include "ToolsTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

std::string Bytes16(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Byte-order mark and the threshold line.
std::string Head(int threshold) { return Bytes16(L"\xFEFF" + std::to_wstring(threshold) + L"\r\n"); }

struct THookRecord {
  static std::vector<std::pair<int, std::wstring>>& Lines() {
    static std::vector<std::pair<int, std::wstring>> lines;
    return lines;
  }
  static void Hook(int level, const wchar_t* line, DWORD bytes) {
    Lines().emplace_back(level, std::wstring(line, bytes / sizeof(wchar_t)));
  }
};

struct TLogWorker {
  CFileLog* Log;
  int Id;
  static DWORD WINAPI Run(void* arg) {
    const auto* self = static_cast<const TLogWorker*>(arg);
    for (int i = 0; i < 100; ++i) self->Log->Log(10, L"thread %d line %d", self->Id, i);
    return 0;
  }
};

}  // namespace

TEST(FileLog, LinesCarryTimeNameAndTheMarkerOfTheirLevel) {
  TTempFolder folder(L"log");
  const std::wstring path = folder / L"prog.log";
  CFileLog log;
  THookRecord::Lines().clear();
  log.Configure(L"<name>", path.c_str(), 1048576, 31, false, &THookRecord::Hook);
  const int levels[] = {0, 9, 10, 19, 20, 29, 30, 31, -1, 32};
  for (int level : levels) log.Log(level, L"level %d %s", level, L"text");
  log.Log(10, L"");

  const std::vector<std::string> lines = ReadLogLines(path);
  ASSERT_EQ(lines.size(), 1u + 9u + 1u) << "the threshold line, nine lines up to level 31 and the empty one";
  EXPECT_EQ(lines[0], "31");
  const char* markers[] = {"@@@", "@@@", "===", "===", "+++", "+++", "***", "***", "***"};
  const std::regex time(R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3} )");
  for (int i = 0; i < 9; ++i) {
    const std::string& line = lines[1 + i];
    EXPECT_TRUE(std::regex_search(line, time)) << line;
    EXPECT_EQ(line.substr(24), "<name>" + std::string(markers[i]) + " level " + std::to_string(levels[i]) + " text")
        << line;
  }
  EXPECT_EQ(lines[10], "");
  // The file as bytes: mark, threshold line, then the lines as logged; the empty message is CR LF.
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.substr(0, Head(31).size()), Head(31));
  const std::string end = Bytes16(L"level -1 text\r\n\r\n");
  EXPECT_EQ(bytes.substr(bytes.size() - end.size()), end);
  // Every line reaches the hook, those above the threshold too.
  ASSERT_EQ(THookRecord::Lines().size(), 11u);
  EXPECT_EQ(THookRecord::Lines()[9].first, 32);
  EXPECT_EQ(THookRecord::Lines()[10].second, L"\r\n");
}

TEST(FileLog, SessionLinesAndAPathWithoutDriveGoIntoTheLogFolder) {
  TTempFolder folder(L"log");
  CFileLog log;
  log.Configure(L"<quonpself>", (folder / L"first.log").c_str(), 131072, 31, false, nullptr);
  log.Configure(nullptr, L"second.log", 131072, 31, false, nullptr);
  EXPECT_EQ(log.Path(), folder / L"second.log");
  log.SessionStart(10);
  log.Log(10, L"MutexProcess: result=%d", 0);
  log.SessionFinish(10);
  const std::vector<std::string> lines = ReadLogLines(folder / L"second.log");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2].substr(23), " <quonpself>=== >>>>>>>>>>>> SESSION START: DBG_LEVEL:31 >>>>>>>>>>>>");
  EXPECT_EQ(lines[3].substr(23), " <quonpself>=== MutexProcess: result=0");
  EXPECT_EQ(lines[4].substr(23), " <quonpself>=== <<<<<<<<<<<< SESSION FINISH: DBG_LEVEL:31 <<<<<<<<<<<<");
  EXPECT_EQ(lines[5], "");
  EXPECT_FALSE(PathExists(folder / L"first.log"));
}

// The threshold is the larger of the configured level and the file's first line; a larger level
// replaces the first line and keeps everything after it.
TEST(FileLog, ThresholdComesFromTheFilesFirstLine) {
  const std::wstring tail = L"2011/06/21 04:39:20.123 === an old line\r\n";
  struct TCase {
    const char* name;
    std::wstring first;  // without its line end; empty: no file
    int level;
    int threshold;
    std::wstring firstAfter;
  } cases[] = {
      {"raised by the file", L"99", 31, 99, L"99"},
      {"raised by the level", L"5", 31, 31, L"31"},
      {"longer number", L"7", 100000, 100000, L"100000"},
      {"no number", L"abc", 31, 31, L"31"},
      {"negative", L"-4", 2, 2, L"2"},
  };
  for (const TCase& c : cases) {
    TTempFolder folder(L"log");
    const std::wstring path = folder / L"t.log";
    WriteFileBytes(path, Bytes16(L"\xFEFF" + c.first + L"\r\n" + tail));
    CFileLog log;
    log.Configure(nullptr, path.c_str(), 1048576, c.level, true, nullptr);
    EXPECT_EQ(log.Threshold(), c.threshold) << c.name;
    EXPECT_EQ(ReadFileBytes(path), Bytes16(L"\xFEFF" + c.firstAfter + L"\r\n" + tail)) << c.name;
  }

  TTempFolder folder(L"log");
  CFileLog log;
  log.Configure(nullptr, (folder / L"new.log").c_str(), 1048576, 12, true, nullptr);
  EXPECT_EQ(ReadFileBytes(folder / L"new.log"), Head(12)) << "a missing file is made with the level";
  log.Configure(nullptr, (folder / L"none.log").c_str(), 1048576, 0, true, nullptr);
  EXPECT_FALSE(PathExists(folder / L"none.log")) << "level 0 makes no file";

  // A later run configured lower still writes what the file's first line asks for.
  CFileLog next;
  WriteFileBytes(folder / L"raised.log", Head(99));
  next.Configure(nullptr, (folder / L"raised.log").c_str(), 1048576, 31, true, nullptr);
  next.Log(50, L"deep detail");
  const std::vector<std::string> lines = ReadLogLines(folder / L"raised.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(24), "*** deep detail");
}

TEST(FileLog, AFileAtItsMaximumSizeIsRotatedBeforeTheNextLine) {
  TTempFolder folder(L"log");
  const std::wstring path = folder / L"r.log";
  CFileLog log;
  log.Configure(L"n", path.c_str(), 1048576, 31, false, nullptr);
  log.Log(10, L"first");
  log.Log(10, L"second");
  const std::string before = ReadFileBytes(path);
  // Exactly the maximum size: the next line goes into a new file, the old one to .bak.
  log.Configure(nullptr, nullptr, static_cast<DWORD>(before.size()), 31, false, nullptr);
  log.Log(10, L"third");
  EXPECT_EQ(ReadFileBytes(path + L".bak"), before);
  std::vector<std::string> lines = ReadLogLines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "31");
  EXPECT_EQ(lines[1].substr(24), "n=== third");
  // One byte below the maximum: the line is appended, the file passes the size by one line.
  log.Configure(nullptr, nullptr, static_cast<DWORD>(ReadFileBytes(path).size()) + 1, 31, false, nullptr);
  log.Log(10, L"fourth");
  EXPECT_EQ(ReadLogLines(path).size(), 3u);
  EXPECT_EQ(ReadFileBytes(path + L".bak"), before);
}

TEST(FileLog, AFailedBackupCopyKeepsTheOldLog) {
  TTempFolder folder(L"log");
  const std::wstring path = folder / L"k.log";
  ASSERT_TRUE(::CreateDirectoryW((path + L".bak").c_str(), nullptr)) << "a folder where the copy would go";
  CFileLog log;
  log.Configure(L"n", path.c_str(), 64, 31, false, nullptr);
  for (int i = 0; i < 4; ++i) log.Log(10, L"line %d", i);
  const std::vector<std::string> lines = ReadLogLines(path);
  ASSERT_EQ(lines.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[1 + i].substr(24), "n=== line " + std::to_string(i));
}

TEST(FileLog, LinesFromManyThreadsStayWhole) {
  TTempFolder folder(L"log");
  CFileLog log;
  log.Configure(L"t", (folder / L"m.log").c_str(), 1048576, 31, false, nullptr);
  TLogWorker workers[4];
  std::vector<THandleOwner> threads;
  for (int id = 0; id < 4; ++id) {
    workers[id] = {&log, id};
    threads.emplace_back(::CreateThread(nullptr, 0, &TLogWorker::Run, &workers[id], 0, nullptr));
  }
  for (const THandleOwner& t : threads) ASSERT_EQ(::WaitForSingleObject(t.Get(), 30000), WAIT_OBJECT_0);
  const std::vector<std::string> lines = ReadLogLines(folder / L"m.log");
  ASSERT_EQ(lines.size(), 401u);
  const std::regex whole(R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3} t=== thread [0-3] line \d+$)");
  for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], whole)) << lines[i];
}

TEST(FileLog, DefaultPathIsTheProgramsNameInTheLogFolderBesideIt) {
  CFileLog log;
  EXPECT_EQ(log.Path(), ModuleDir() + L"log\\tools_common_test.log");
  const DWORD attrs = ::GetFileAttributesW((ModuleDir() + L"log").c_str());
  EXPECT_TRUE(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(log.Threshold(), 31);
}

TEST(PathRoutines, FolderAndFileName) {
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
    const wchar_t* name;
  } cases[] = {
      {L"C:\\App\\prog.exe", L"C:\\App\\", L"prog.exe"},
      {L"C:/App/sub\\prog.exe", L"C:/App/sub\\", L"prog.exe"},
      {L"C:\\App\\sub/prog.exe", L"C:\\App\\sub/", L"prog.exe"},
      {L"prog.exe", L"prog.exe", L"prog.exe"},
      {L"C:\\App\\", L"C:\\App\\", L""},
      {L"", L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractPathFolder(c.path), c.folder) << Utf8(c.path);
    EXPECT_EQ(ExtractPathFileName(c.path), c.name) << Utf8(c.path);
  }
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(GetModulePath(), self);
}

TEST(PathRoutines, OwnLanguageFromTheVersionResource) {
  TModuleOwner program(::LoadLibraryExW(HelperPath(L"yelkaus").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(program);
  EXPECT_EQ(GetOwnLanguage(program.Get()), 0x080404B0u) << "Chinese (PRC), Unicode";
  EXPECT_EQ(GetOwnLanguage(), 0u) << "the test program has no version resource";
}
