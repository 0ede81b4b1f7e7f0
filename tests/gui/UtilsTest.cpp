// Run-time utilities: Format, dates, string lists, streams, ini files in code page 936, the
// registry, threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "IniFiles.h"
#include "Registry.h"
#include "Streams.h"
#include "Strings.h"
#include "SysUtils.h"
#include "Threads.h"

using namespace kivo;

namespace {

std::wstring TempPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name + L"_" + std::to_wstring(::GetCurrentProcessId());
}
std::string ReadBytes(const std::wstring& path) {
  TMemoryStream m;
  m.LoadFromFile(path);
  return std::string(reinterpret_cast<const char*>(m.Bytes().data()), m.Bytes().size());
}
void WriteBytes(const std::wstring& path, const std::string& bytes) {
  TFileStream f(path, fmCreate);
  f.WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
}

struct FormatCase {
  const wchar_t* format;
  std::vector<TFormatArg> args;
  const wchar_t* expected;
};

TEST(Format, FollowsTheLibraryConventions) {
  std::vector<FormatCase> cases = {
      {L"ControlOfs%.8X%.8X", {0x400000u, 0x2Au}, L"ControlOfs004000000000002A"},
      {L"%d items", {42}, L"42 items"},
      {L"%5d|%-5d|", {7, 7}, L"    7|7    |"},
      {L"%.3d", {-5}, L"-005"},
      {L"%x", {-1}, L"ffffffff"},
      {L"%s=%s", {L"Key", std::wstring(L"值")}, L"Key=值"},
      {L"%1:s %0:s", {L"b", L"a"}, L"a b"},
      {L"%.2f", {3.14159}, L"3.14"},
      {L"%n", {1234567.5}, L"1,234,567.50"},
      {L"%u", {4000000000u}, L"4000000000"},
      {L"100%%", {}, L"100%"},
      {L"%c%c", {L'O', L'K'}, L"OK"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatArgs(c.format, c.args), c.expected) << c.format;
  EXPECT_THROW(Format(L"%d", L"text"), EConvertError);
  EXPECT_THROW(Format(L"%s %s", L"one"), EConvertError);
  EXPECT_THROW(Format(L"%q", 1), EConvertError);
}

TEST(Conversions, IntegersAndCodePages) {
  EXPECT_EQ(StrToInt(L" 12 "), 12);
  EXPECT_EQ(StrToInt(L"-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt(L"$FF"), 255);
  EXPECT_EQ(StrToInt(L"0x10"), 16);
  EXPECT_THROW(StrToInt(L"12a"), EConvertError);
  EXPECT_THROW(StrToInt(L""), EConvertError);
  EXPECT_THROW(StrToInt(L"99999999999"), EConvertError);
  EXPECT_EQ(StrToIntDef(L"x", 7), 7);
  EXPECT_EQ(IntToHex(0x2B2B2B, 8), L"002B2B2B");
  // code page 936 both ways, whatever the process uses
  std::string gbk = WideToAnsi(L"摄像头", 936);
  EXPECT_EQ(gbk, "\xC9\xE3\xCF\xF1\xCD\xB7");
  EXPECT_EQ(AnsiToWide(gbk, 936), L"摄像头");
  EXPECT_EQ(ExtractFileExt(L"C:\\a.b\\pic.JPEG"), L".JPEG");
  EXPECT_EQ(ExtractFilePath(L"C:\\dir\\file.ini"), L"C:\\dir\\");
  EXPECT_EQ(ChangeFileExt(L"C:\\dir\\kivoapp.exe", L".ini"), L"C:\\dir\\kivoapp.ini");
}

TEST(Dates, NowCountsDaysFrom18991230AndFormats) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  TDateTime dt = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 7);
  int y, m, d, h, n, s, ms;
  DecodeDate(dt, y, m, d);
  DecodeTime(dt, h, n, s, ms);
  EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{2024, 2, 29, 13, 5, 9, 7}));
  EXPECT_EQ(FormatDateTime(L"yyyy-mm-dd hh:nn:ss.zzz", dt), L"2024-02-29 13:05:09.007");
  EXPECT_EQ(FormatDateTime(L"yymmdd_hhmmss", dt), L"240229_130509");
  EXPECT_EQ(FormatDateTime(L"d/m/yy h:mm am/pm \"at\" dddd", dt), L"29/2/24 1:05 pm at Thursday");
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  TDateTime now = Now();
  DecodeDate(now, y, m, d);
  EXPECT_EQ(y, st.wYear);
  EXPECT_EQ(m, st.wMonth);
}

TEST(Files, FolderWalksAndTheCommandLine) {
  std::wstring dir = TempPath(L"walk") + L"\\";
  ASSERT_TRUE(ForceDirectories(dir + L"sub\\deeper"));
  for (const wchar_t* n : {L"a.jpg", L"b.JPG", L"c.bmp"}) {
    TFileStream f(dir + n, fmCreate);
  }
  std::vector<std::wstring> found;
  TSearchRec rec;
  for (int r = FindFirst(dir + L"*.jpg", faAnyFile, rec); r == 0; r = FindNext(rec)) found.push_back(LowerCase(rec.Name));
  FindClose(rec);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::wstring>{L"a.jpg", L"b.jpg"}));
  // without faDirectory folders are left out
  found.clear();
  for (int r = FindFirst(dir + L"*", 0, rec); r == 0; r = FindNext(rec)) found.push_back(rec.Name);
  FindClose(rec);
  EXPECT_EQ(found.size(), 3u);
  EXPECT_EQ(FindFirst(dir + L"*.none", faAnyFile, rec), ERROR_FILE_NOT_FOUND);
  for (const wchar_t* n : {L"a.jpg", L"b.JPG", L"c.bmp"}) ::DeleteFileW((dir + n).c_str());
  ::RemoveDirectoryW((dir + L"sub\\deeper").c_str());
  ::RemoveDirectoryW((dir + L"sub").c_str());
  ::RemoveDirectoryW(dir.c_str());

  EXPECT_EQ(LowerCase(ExtractFileName(ParamStr(0))), L"gui_utils_test.exe");
  ASSERT_GE(ParamCount(), 1);  // the test runner passes the test's filter
  EXPECT_EQ(ParamStr(1).rfind(L"--gtest", 0), 0u);
  EXPECT_EQ(ParamStr(ParamCount() + 1), L"");
}

TEST(Random, SameSeedSameSequence) {
  RandSeed = 12345;
  std::vector<int> a, b;
  for (int i = 0; i < 20; ++i) a.push_back(Random(100));
  RandSeed = 12345;
  for (int i = 0; i < 20; ++i) b.push_back(Random(100));
  EXPECT_EQ(a, b);
  for (int v : a) {
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 100);
  }
  EXPECT_NE(std::vector<int>(a.begin(), a.begin() + 10), std::vector<int>(a.begin() + 10, a.end()));
}

TEST(Random, OwnGeneratorFollowsTheSameSequenceWithoutTouchingTheGlobalSeed) {
  RandSeed = 777;
  std::vector<int> global;
  for (int i = 0; i < 20; ++i) global.push_back(Random(1000));
  RandSeed = 4242;
  TRandomGenerator g;
  g.Seed = 777;
  std::vector<int> own;
  for (int i = 0; i < 20; ++i) own.push_back(g.Random(1000));
  EXPECT_EQ(own, global);
  EXPECT_EQ(RandSeed, 4242u);
  EXPECT_EQ(g.Random(0), 0);
}

TEST(StringList, NamesValuesObjectsSortingAndText) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TObject*) { ++changes; };
  l.Add(L"Name=摄像头");
  l.Add(L"Index=2");
  l.AddObject(L"Obj", &l);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(l.Values(L"name"), L"摄像头");
  EXPECT_EQ(l.Names(1), L"Index");
  EXPECT_EQ(l.Objects(2), &l);
  l.SetValue(L"Index", L"3");
  EXPECT_EQ(l[1], L"Index=3");
  l.SetValue(L"Index", L"");
  EXPECT_EQ(l.Count(), 2);
  l.BeginUpdate();
  l.Add(L"x");
  l.Add(L"y");
  int during = changes;
  l.EndUpdate();
  EXPECT_EQ(changes, during + 1);  // one change for the whole update
  EXPECT_THROW(l.Get(10), EStringListError);

  // comma text quotes what needs it and reads back the same items
  TStringList c;
  c.Add(L"plain");
  c.Add(L"with space");
  c.Add(L"quo\"te");
  c.Add(L"");
  std::wstring text = c.CommaText();
  EXPECT_EQ(text, L"plain,\"with space\",\"quo\"\"te\",");
  TStringList back;
  back.SetCommaText(text);
  EXPECT_EQ(back.ToVector(), c.ToVector());

  // sorted lists find by binary search and handle duplicates as told
  TStringList s;
  s.SetSorted(true);
  for (const wchar_t* v : {L"pear", L"Apple", L"fig", L"apple"}) s.Add(v);
  EXPECT_EQ(s.ToVector(), (std::vector<std::wstring>{L"Apple", L"fig", L"pear"}));
  s.Duplicates = TDuplicates::dupError;
  EXPECT_THROW(s.Add(L"FIG"), EStringListError);
  EXPECT_EQ(s.IndexOf(L"PEAR"), 2);
  EXPECT_THROW(s.Insert(0, L"z"), EStringListError);

  // text splits at any line end; files keep code page 936
  TStringList t;
  t.SetText(L"a\r\nb\nc\rd");
  EXPECT_EQ(t.Count(), 4);
  t.Add(L"相册");
  std::wstring path = TempPath(L"list.txt");
  t.SaveToFile(path);
  EXPECT_EQ(ReadBytes(path), "a\r\nb\r\nc\r\nd\r\n\xCF\xE0\xB2\xE1\r\n");
  TStringList u;
  u.LoadFromFile(path);
  EXPECT_EQ(u.ToVector(), t.ToVector());
  ::DeleteFileW(path.c_str());
}

TEST(StringList, OwnedObjectsAreFreedWithTheList) {
  struct TCounted : TObject {
    explicit TCounted(int* c) : count(c) {}
    ~TCounted() override { ++*count; }
    int* count;
  };
  int freed = 0;
  {
    TStringList l;
    l.OwnsObjects = true;
    l.AddObject(L"a", new TCounted(&freed));
    l.AddObject(L"b", new TCounted(&freed));
    l.AddObject(L"c", new TCounted(&freed));
    l.Delete(0);
    EXPECT_EQ(freed, 1);
  }
  EXPECT_EQ(freed, 3);
}

TEST(StringList, MoveKeepsTheOwnedObject) {
  struct TCounted : TObject {
    explicit TCounted(int* c) : count(c) {}
    ~TCounted() override { ++*count; }
    int* count;
  };
  int freed = 0;
  {
    TStringList l;
    l.OwnsObjects = true;
    TCounted* a = new TCounted(&freed);
    l.AddObject(L"a", a);
    l.AddObject(L"b", new TCounted(&freed));
    l.AddObject(L"c", new TCounted(&freed));
    l.Move(0, 2);
    EXPECT_EQ(freed, 0);
    EXPECT_EQ(l.ToVector(), (std::vector<std::wstring>{L"b", L"c", L"a"}));
    EXPECT_EQ(l.GetObject(2), a);
    EXPECT_THROW(l.Move(0, 3), EStringListError);
    // a sorted list refuses before it loses the item
    l.SetSorted(true);
    EXPECT_THROW(l.Move(0, 1), EStringListError);
    EXPECT_EQ(l.ToVector(), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(freed, 0);
  }
  EXPECT_EQ(freed, 3);
}

TEST(Streams, MemoryStreamPositionsBeyondMemory) {
  TMemoryStream m;
  const char data[] = "0123456789";
  m.WriteBuffer(data, 10);
  // a position past 4 GiB stays what it is (no wrap onto the data on 32-bit targets)
  const int64_t beyond = (int64_t(1) << 32) + 4;
  EXPECT_EQ(m.Seek(beyond, TSeekOrigin::soBeginning), beyond);
  EXPECT_EQ(m.Position(), beyond);
  char buf[4] = {};
  EXPECT_EQ(m.Read(buf, 4), 0);
  // a write no memory can hold fails as a write error and leaves the data alone
  m.Seek(INT64_MAX - 4, TSeekOrigin::soBeginning);
  EXPECT_THROW(m.WriteBuffer(data, 10), EWriteError);
  EXPECT_EQ(m.Seek(INT64_MAX, TSeekOrigin::soCurrent), INT64_MAX);  // saturates, no overflow
  EXPECT_THROW(m.WriteBuffer(data, 1), EWriteError);
  EXPECT_EQ(m.Size(), 10);
  EXPECT_THROW(m.SetSize(-1), EStreamError);
  EXPECT_EQ(m.Size(), 10);
  m.SetPosition(8);
  m.WriteBuffer(data, 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Bytes().data()), m.Bytes().size()), "012345670123");
}

TEST(Streams, MemoryAndFileStreamsMoveBytes) {
  TMemoryStream m;
  const char data[] = "0123456789";
  m.WriteBuffer(data, 10);
  EXPECT_EQ(m.Size(), 10);
  m.SetPosition(4);
  char buf[4] = {};
  m.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "456");
  EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);  // only 3 left
  std::wstring path = TempPath(L"stream.bin");
  m.SaveToFile(path);
  TFileStream f(path, fmOpenRead);
  EXPECT_EQ(f.Size(), 10);
  TMemoryStream copy;
  copy.CopyFrom(f, 0);
  EXPECT_EQ(copy.Bytes(), m.Bytes());
  EXPECT_THROW(TFileStream(path + L".missing", fmOpenRead), EFOpenError);
  ::DeleteFileW(path.c_str());
}

TEST(IniFile, ChineseSectionsAndValuesRoundTripByteExactInCodePage936) {
  std::wstring path = TempPath(L"kivo.ini");
  // a file as the system writes it: GBK text, comments, values in a chosen order
  std::string original =
      "; \xD7\xA2\xCA\xCD\r\n"                           // "; 注释"
      "[System]\r\n"
      "AutoStart=1\r\n"
      "Quoted = \"kept as written\"\r\n"
      "Zeta=last\r\n"
      "Alpha=first\r\n"
      "\r\n"
      "[\xCF\xE0\xB2\xE1]\r\n"                           // [相册]
      "\xC3\xFB\xB3\xC6=\xCE\xD2\xB5\xC4\xD5\xD5\xC6\xAC\r\n";  // 名称=我的照片
  WriteBytes(path, original);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString(L"相册", L"名称", L""), L"我的照片");
  EXPECT_TRUE(ini.ReadBool(L"System", L"AutoStart", false));
  TStringList keys;
  ini.ReadSection(L"System", keys);
  EXPECT_EQ(keys.ToVector(), (std::vector<std::wstring>{L"AutoStart", L"Quoted", L"Zeta", L"Alpha"}));
  EXPECT_EQ(ini.ReadString(L"System", L"Quoted", L""), L"kept as written");
  TStringList sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections.ToVector(), (std::vector<std::wstring>{L"System", L"相册"}));

  // rewriting values with themselves leaves the file byte for byte as it was
  ini.WriteString(L"相册", L"名称", L"我的照片");
  ini.WriteString(L"System", L"Quoted", L"kept as written");
  EXPECT_EQ(ReadBytes(path), original);
  // a changed value rewrites its own line only
  ini.WriteString(L"相册", L"名称", L"新照片");
  std::string changed = original;
  changed.replace(changed.find("\xCE\xD2\xB5\xC4\xD5\xD5\xC6\xAC"), 8, WideToAnsi(L"新照片", 936));
  EXPECT_EQ(ReadBytes(path), changed);
  ini.WriteString(L"相册", L"名称", L"我的照片");
  EXPECT_EQ(ReadBytes(path), original);

  // new keys go after the last key of their section; booleans are 1 and 0
  ini.WriteBool(L"System", L"ShowTip", false);
  ini.WriteInteger(L"相册", L"张数", 12);
  ini.WriteString(L"新节", L"键", L"值");
  std::string now = ReadBytes(path);
  EXPECT_NE(now.find("Alpha=first\r\nShowTip=0\r\n\r\n["), std::string::npos);
  EXPECT_NE(now.find("\xD5\xC5\xCA\xFD=12\r\n"), std::string::npos);                 // 张数=12
  EXPECT_NE(now.find("[\xD0\xC2\xBD\xDA]\r\n\xBC\xFC=\xD6\xB5\r\n"), std::string::npos);  // [新节] 键=值
  EXPECT_EQ(ini.ReadInteger(L"相册", L"张数", 0), 12);
  EXPECT_FALSE(ini.ReadBool(L"System", L"ShowTip", true));
  EXPECT_EQ(ini.ReadInteger(L"System", L"Missing", -4), -4);

  // a line break inside a value cannot make a new key or section
  ini.WriteString(L"System", L"Evil", L"x\r\n[Injected]\r\nk=v");
  EXPECT_FALSE(ini.SectionExists(L"Injected"));

  ini.DeleteKey(L"System", L"Zeta");
  EXPECT_FALSE(ini.ValueExists(L"System", L"Zeta"));
  EXPECT_TRUE(ini.ValueExists(L"System", L"Alpha"));
  ini.EraseSection(L"相册");
  EXPECT_FALSE(ini.SectionExists(L"相册"));
  EXPECT_TRUE(ini.SectionExists(L"新节"));
  EXPECT_EQ(ReadBytes(path).find("\xCF\xE0\xB2\xE1"), std::string::npos);
  // a missing file reads as empty and is made by the first write
  ::DeleteFileW(path.c_str());
  EXPECT_EQ(ini.ReadString(L"A", L"B", L"def"), L"def");
  ini.WriteString(L"A", L"B", L"c");
  EXPECT_EQ(ReadBytes(path), "[A]\r\nB=c\r\n");
  ::DeleteFileW(path.c_str());
}

TEST(IniFile, ValuesAndNamesReadBackAsWritten) {
  std::wstring path = TempPath(L"kivo_values.ini");
  ::DeleteFileW(path.c_str());
  TIniFile ini(path);
  // values reading would trim or unquote are written quoted
  struct Case {
    const wchar_t* key;
    const wchar_t* value;
  } cases[] = {{L"Lead", L"  two spaces"}, {L"Trail", L"tab\t"}, {L"Double", L"\"quoted\""},
               {L"Single", L"'single'"},   {L"Half", L"\"half"},   {L"Plain", L"a \"b\" c"},
               {L"Blank", L" "},           {L"Empty", L""}};
  for (const Case& c : cases) ini.WriteString(L"V", c.key, c.value);
  TIniFile again(path);
  for (const Case& c : cases) EXPECT_EQ(again.ReadString(L"V", c.key, L"missing"), c.value) << c.key;
  std::string bytes = ReadBytes(path);
  EXPECT_NE(bytes.find("Plain=a \"b\" c\r\n"), std::string::npos);  // plain values stay unquoted
  // rewriting a quoted value with itself keeps the file as it is
  ini.WriteString(L"V", L"Lead", L"  two spaces");
  EXPECT_EQ(ReadBytes(path), bytes);

  // keys and sections are found however they were padded when written
  ini.WriteString(L" Pad ", L" Key ", L"1");
  EXPECT_EQ(ini.ReadString(L"Pad", L"Key", L""), L"1");
  EXPECT_EQ(ini.ReadString(L" Pad ", L" Key ", L""), L"1");
  ini.WriteString(L" Pad ", L" Key ", L"2");
  TStringList sections, keys;
  ini.ReadSections(sections);
  EXPECT_EQ(sections.ToVector(), (std::vector<std::wstring>{L"V", L"Pad"}));
  ini.ReadSection(L"Pad", keys);
  EXPECT_EQ(keys.ToVector(), (std::vector<std::wstring>{L"Key"}));
  EXPECT_TRUE(ini.ValueExists(L" Pad", L"Key "));
  ini.DeleteKey(L"Pad ", L" Key");
  EXPECT_FALSE(ini.ValueExists(L"Pad", L"Key"));
  ini.EraseSection(L" Pad ");
  EXPECT_FALSE(ini.SectionExists(L"Pad"));
  ::DeleteFileW(path.c_str());
}

TEST(IniFile, TextOutsideTheCodePageIsWrittenAsUtf16AndReadBack) {
  std::wstring path = TempPath(L"kivo_unicode.ini");
  ::DeleteFileW(path.c_str());
  TIniFile ini(path);
  const std::wstring thai = L"C:\\\u0E01\u0E02 \U0001F600.bmp";
  ini.WriteString(L"Items", L"0", L"C:\\相册\\a.bmp");
  const std::string codePageFile = "[Items]\r\n0=C:\\" + WideToAnsi(L"相册", 936) + "\\a.bmp\r\n";
  EXPECT_EQ(ReadBytes(path), codePageFile) << "text that fits stays in the code page";
  ini.WriteString(L"Items", L"1", thai);
  std::string bytes = ReadBytes(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::wstring wide((bytes.size() - 2) / 2, L'\0');
  std::memcpy(wide.data(), bytes.data() + 2, wide.size() * sizeof(wchar_t));
  EXPECT_EQ(wide, L"[Items]\r\n0=C:\\相册\\a.bmp\r\n1=" + thai + L"\r\n");
  TIniFile again(path);
  EXPECT_EQ(again.ReadString(L"Items", L"1", L""), thai);
  EXPECT_EQ(again.ReadString(L"Items", L"0", L""), L"C:\\相册\\a.bmp");
  // the system's own profile functions read the same file
  wchar_t buf[256] = {};
  ::GetPrivateProfileStringW(L"Items", L"1", L"", buf, 256, path.c_str());
  EXPECT_EQ(std::wstring(buf), thai);
  // once all text fits again the file is code-page bytes again
  again.DeleteKey(L"Items", L"1");
  EXPECT_EQ(ReadBytes(path), codePageFile);
  // a UTF-8 file with its mark is read too
  WriteBytes(path, "\xEF\xBB\xBF[S]\r\nk=" + WideToAnsi(thai, CP_UTF8) + "\r\n");
  EXPECT_EQ(again.ReadString(L"S", L"k", L""), thai);
  ::DeleteFileW(path.c_str());
}

TEST(IniFile, ABatchIsWrittenOnceAtUpdateFile) {
  std::wstring path = TempPath(L"kivo_batch.ini");
  WriteBytes(path, "[A]\r\nx=1\r\n");
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.EraseSection(L"A");
  for (int i = 0; i < 5; ++i) ini.WriteInteger(L"B", std::to_wstring(i), i * 10);
  EXPECT_EQ(ini.ReadInteger(L"B", L"4", -1), 40) << "reads inside the batch see its writes";
  EXPECT_EQ(ReadBytes(path), "[A]\r\nx=1\r\n") << "nothing reaches the file before UpdateFile";
  ini.UpdateFile();
  EXPECT_EQ(ReadBytes(path), "[B]\r\n0=0\r\n1=10\r\n2=20\r\n3=30\r\n4=40\r\n");
  // after the batch every write goes to the file again
  ini.WriteString(L"B", L"0", L"z");
  EXPECT_EQ(TIniFile(path).ReadString(L"B", L"0", L""), L"z");
  ::DeleteFileW(path.c_str());
}

TEST(IniFile, AFailedSaveLeavesTheOldFileWholeAndRaises) {
  const std::string old = "[S]\r\nkeep=1\r\nother=2\r\n";
  {
    // the temporary file beside the target cannot be made
    std::wstring path = TempPath(L"kivo_blocked.ini");
    WriteBytes(path, old);
    const std::wstring temp = path + L".tmp";
    ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
    TIniFile ini(path);
    EXPECT_THROW(ini.WriteString(L"S", L"keep", L"0"), EStreamError);
    EXPECT_EQ(ReadBytes(path), old);
    ini.BeginUpdate();
    ini.WriteString(L"S", L"new", L"3");
    EXPECT_THROW(ini.UpdateFile(), EStreamError);
    EXPECT_EQ(ReadBytes(path), old);
    ::RemoveDirectoryW(temp.c_str());
    ::DeleteFileW(path.c_str());
  }
  {
    // the target is held open without sharing when the new file replaces it
    std::wstring path = TempPath(L"kivo_held.ini");
    WriteBytes(path, old);
    TIniFile ini(path);
    ini.BeginUpdate();
    ini.WriteString(L"S", L"keep", L"0");
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_THROW(ini.UpdateFile(), EStreamError);
    ::CloseHandle(held);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(::GetFileAttributesW((path + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES) << "no temporary file is left";
    ::DeleteFileW(path.c_str());
  }
}

TEST(Registry, ALeadingBackslashMeansAnAbsolutePath) {
  const std::wstring base = L"Software\\KivoGuiTest" + std::to_wstring(::GetCurrentProcessId());
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(L"\\" + base + L"\\Outer", true));
  reg.WriteString(L"Name", L"摄像头");
  reg.WriteInteger(L"Count", 7);
  reg.WriteBool(L"On", true);
  // relative to the open key
  ASSERT_TRUE(reg.OpenKey(L"Inner", true));
  EXPECT_EQ(reg.CurrentPath(), base + L"\\Outer\\Inner");
  reg.WriteString(L"Deep", L"yes");
  // absolute again: back at the root, not under Inner
  ASSERT_TRUE(reg.OpenKey(L"\\" + base + L"\\Outer", false));
  EXPECT_EQ(reg.ReadString(L"Name"), L"摄像头");
  EXPECT_EQ(reg.ReadInteger(L"Count"), 7);
  EXPECT_TRUE(reg.ReadBool(L"On"));
  EXPECT_TRUE(reg.KeyExists(L"Inner"));
  EXPECT_FALSE(reg.KeyExists(L"\\Inner"));
  EXPECT_THROW(reg.ReadInteger(L"Name"), ERegistryException);
  EXPECT_EQ(reg.GetDataType(L"Count"), TRegDataType::rdInteger);
  TStringList names;
  reg.GetValueNames(names);
  EXPECT_EQ(names.Count(), 3);
  reg.CloseKey();

  // read-only: values read, writes refused
  TRegistry ro(KEY_READ);
  ASSERT_TRUE(ro.OpenKeyReadOnly(L"\\" + base + L"\\Outer\\Inner"));
  EXPECT_EQ(ro.ReadString(L"Deep"), L"yes");
  EXPECT_THROW(ro.WriteString(L"Deep", L"no"), ERegistryException);
  EXPECT_FALSE(ro.OpenKey(L"\\" + base + L"\\Missing", false));
  ro.CloseKey();

  EXPECT_TRUE(reg.DeleteKey(L"\\" + base));
  EXPECT_FALSE(reg.KeyExists(L"\\" + base));
}

class TCountingThread : public TThread {
 public:
  explicit TCountingThread(bool suspended) : TThread(suspended) {}
  std::atomic<int> loops{0};

 protected:
  void Execute() override {
    while (!Terminated()) {
      ++loops;
      ::Sleep(5);
    }
    ReturnValue = 42;
  }
};

TEST(Thread, TerminatesAndIsWaitedFor) {
  TObjectPtr<TCountingThread> t(Create<TCountingThread>(true));
  ::Sleep(30);
  EXPECT_EQ(t->loops, 0);  // suspended until started
  t->SetPriority(TThreadPriority::tpIdle);
  EXPECT_EQ(t->Priority(), TThreadPriority::tpIdle);
  t->Start();
  DWORD start = ::GetTickCount();
  while (t->loops < 3 && ::GetTickCount() - start < 5000) ::Sleep(5);
  EXPECT_GE(t->loops, 3);
  t->Terminate();
  EXPECT_EQ(t->WaitFor(), 42);
  EXPECT_TRUE(t->Finished());
  EXPECT_EQ(::WaitForSingleObject(t->Handle(), 0), WAIT_OBJECT_0);

  // the destructor terminates and waits for a running thread
  auto* running = Create<TCountingThread>(false);
  while (running->loops < 1) ::Sleep(5);
  HANDLE h;
  ::DuplicateHandle(::GetCurrentProcess(), running->Handle(), ::GetCurrentProcess(), &h, 0, FALSE, DUPLICATE_SAME_ACCESS);
  running->Free();
  EXPECT_EQ(::WaitForSingleObject(h, 0), WAIT_OBJECT_0);
  ::CloseHandle(h);
}

TEST(Thread, ExceptionsAndOnTerminateReachTheCreator) {
  class TFailing : public TThread {
   public:
    TFailing() : TThread(true) {}

   protected:
    void Execute() override { throw EConvertError(L"bad frame"); }
  };
  TFailing t;
  DWORD terminateThread = 0;
  t.OnTerminate = [&](TObject*) { terminateThread = ::GetCurrentThreadId(); };
  t.Start();
  t.WaitFor();  // runs the queued OnTerminate on this, the main thread
  EXPECT_EQ(t.FatalException, L"bad frame");
  EXPECT_EQ(terminateThread, ::GetCurrentThreadId());

  // a thread that frees itself
  class TSelfFreeing : public TThread {
   public:
    explicit TSelfFreeing(TEvent* done) : TThread(true), done_(done) { FreeOnTerminate = true; }
    ~TSelfFreeing() override { done_->SetEvent(); }

   protected:
    void Execute() override {}

   private:
    TEvent* done_;
  };
  TEvent done(true, false);
  (new TSelfFreeing(&done))->Start();
  EXPECT_EQ(done.WaitFor(5000), TWaitResult::wrSignaled);
}

TEST(Thread, ASelfFreeingThreadFreedBeforeItStartedNeitherRunsNorFreesTwice) {
  class TNeverStarted : public TThread {
   public:
    TNeverStarted(int* ran, int* freed) : TThread(true), ran_(ran), freed_(freed) { FreeOnTerminate = true; }
    ~TNeverStarted() override { ++*freed_; }

   protected:
    void Execute() override { ++*ran_; }

   private:
    int* ran_;
    int* freed_;
  };
  int ran = 0, freed = 0, terminated = 0;
  auto* t = new TNeverStarted(&ran, &freed);
  t->OnTerminate = [&](TObject*) { ++terminated; };
  HANDLE h;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), t->Handle(), ::GetCurrentProcess(), &h, 0, FALSE, DUPLICATE_SAME_ACCESS));
  t->Free();
  EXPECT_EQ(::WaitForSingleObject(h, 5000), WAIT_OBJECT_0);  // the thread is gone with its object
  ::CloseHandle(h);
  CheckSynchronize(50);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(terminated, 0);
  EXPECT_EQ(freed, 1);
}

}  // namespace
