// Filter and codec registration at start-up, as a table of registry and system-folder states.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "GraphSupport.h"
#include "KVAxInst.h"
#include "KVShared.h"
#include "KivoAppFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace {

const wchar_t kSrcServer[] = L"CLSID\\{26D63F58-C75A-403C-B022-9A8EACF0DB68}\\InprocServer32";
const wchar_t kTransServer[] = L"CLSID\\{0B9F297A-A4DD-4FBA-9363-B95A9F5A0C9B}\\InprocServer32";
const wchar_t kLameServer[] = L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32";

void SetServer(const wchar_t* key, const std::wstring& path) {
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
  ::RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(k);
}
std::wstring Server(const wchar_t* key) {
  std::wstring v;
  ReadString(key, nullptr, v);
  return v;
}
std::wstring Upper(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(::towupper(c));
  return s;
}

FILETIME Time(int day) {  // a file time `day` days into 2020
  SYSTEMTIME st{2020, 1, 0, 1, 12, 0, 0, 0};
  FILETIME ft;
  ::SystemTimeToFileTime(&st, &ft);
  ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
  u.QuadPart += static_cast<unsigned long long>(day) * 864000000000ULL;
  return FILETIME{u.LowPart, u.HighPart};
}
void MakeFile(const std::wstring& path, const std::string& content, int day) {
  TFileOwner f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD w = 0;
  ::WriteFile(f.Get(), content.data(), static_cast<DWORD>(content.size()), &w, nullptr);
  const FILETIME t = Time(day);
  ::SetFileTime(f.Get(), &t, &t, &t);
}
std::string Content(const std::wstring& path) {
  TFileOwner f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return "<missing>";
  char buf[256];
  DWORD n = 0;
  ::ReadFile(f.Get(), buf, sizeof(buf), &n, nullptr);
  return std::string(buf, n);
}
long long WriteTime(const std::wstring& path) {
  FILETIME c, a, w;
  if (!GetFileTimes(path, c, a, w)) return -1;
  return (static_cast<long long>(w.dwHighDateTime) << 32) | w.dwLowDateTime;
}
long long Stamp(int day) {
  FILETIME t = Time(day);
  return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramDir = folder.Path();
    sys = GetSystemFolder();
    for (const wchar_t* n : {L"xvidvfw.dll", L"xvidcore.dll", L"xvidvfw.old", L"xvidcore.old"})
      ::DeleteFileW((sys + n).c_str());
  }
  void TearDown() override {
    for (const wchar_t* n : {L"xvidvfw.dll", L"xvidcore.dll", L"xvidvfw.old", L"xvidcore.old"})
      ::DeleteFileW((sys + n).c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}");
  }
  TProgramFolder folder;
  std::wstring sys;
};

}  // namespace

TEST_F(Registration, PluginsAreRegisteredFromTheProgramFolderUnlessAlreadyThere) {
  const std::wstring elsewhere = StagedProgramDir();
  struct {
    const char* state;
    std::function<void()> arrange;
    std::wstring expectedSrc;
  } cases[] = {
      {"registered elsewhere", [&] { SetServer(kSrcServer, elsewhere + L"kivosrc.ax"); }, folder.File(L"kivosrc.ax")},
      {"not registered", [&] { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{26D63F58-C75A-403C-B022-9A8EACF0DB68}"); },
       folder.File(L"kivosrc.ax")},
      {"same folder, other letter case", [&] { SetServer(kSrcServer, Upper(folder.File(L"kivosrc.ax"))); },
       Upper(folder.File(L"kivosrc.ax"))},
  };
  for (auto& c : cases) {
    c.arrange();
    SetServer(kTransServer, elsewhere + L"kivotrans.ax");
    RegisterFiltersAndCodecs();
    EXPECT_EQ(Server(kSrcServer), c.expectedSrc) << c.state;
    EXPECT_TRUE(SameText(Server(kTransServer), folder.File(L"kivotrans.ax"))) << c.state;
  }
}

TEST_F(Registration, LameIsRegisteredWhenItsServerIsMissingAndSkippedWhenAbsent) {
  const std::wstring existing = StagedProgramDir() + L"kivosrc.ax";
  const std::wstring missing = L"C:\\nowhere\\lame.ax";
  // absent from the program folder: nothing registered, start-up goes on
  folder.Remove(L"lame.ax");
  SetServer(kLameServer, missing);
  EXPECT_NO_THROW(RegisterFiltersAndCodecs());
  EXPECT_EQ(Server(kLameServer), missing);

  ASSERT_TRUE(folder.Put(ModuleDir() + L"kivo_fake_lame.dll", L"lame.ax"));
  struct {
    const char* state;
    std::wstring before;
    std::wstring after;
  } cases[] = {
      {"elsewhere, file exists", existing, existing},
      {"elsewhere, file missing", missing, folder.File(L"lame.ax")},
  };
  for (auto& c : cases) {
    SetServer(kLameServer, c.before);
    RegisterFiltersAndCodecs();
    EXPECT_TRUE(SameText(Server(kLameServer), c.after)) << c.state << ": " << std::string(Server(kLameServer).begin(), Server(kLameServer).end());
  }
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}");
  RegisterFiltersAndCodecs();
  EXPECT_TRUE(SameText(Server(kLameServer), folder.File(L"lame.ax"))) << "not registered";

  // a present file that cannot register stops start-up
  ASSERT_TRUE(folder.Put(HelperPath(L"kivo_update_stub"), L"lame.ax"));
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}");
  EXPECT_THROW(RegisterFiltersAndCodecs(), EOSError);
}

TEST_F(Registration, XvidIsCopiedWhenMissingOrOlderKeepingTheTimesAndItsValuesAreAlwaysWritten) {
  MakeFile(folder.File(L"xvidvfw.dll"), "vfw-new", 10);
  MakeFile(folder.File(L"xvidcore.dll"), "core-new", 10);
  struct {
    const char* state;
    int systemDay;  // -1: no file in the system folder
    bool oldFileBefore;
    const char* systemAfter;
    const char* oldAfter;
  } cases[] = {
      {"missing", -1, false, "vfw-new", "<missing>"},
      {"older", 5, true, "vfw-new", "vfw-sys"},
      {"newer", 20, false, "vfw-sys", "<missing>"},
      {"as new", 10, false, "vfw-sys", "<missing>"},
  };
  for (auto& c : cases) {
    for (const wchar_t* n : {L"xvidvfw.dll", L"xvidvfw.old"}) ::DeleteFileW((sys + n).c_str());
    if (c.systemDay >= 0) MakeFile(sys + L"xvidvfw.dll", "vfw-sys", c.systemDay);
    if (c.oldFileBefore) MakeFile(sys + L"xvidvfw.old", "stale", 1);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\GNU\\Xvid", L"display_status");
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", L"vidc.XVID");
    RegisterFiltersAndCodecs();
    EXPECT_EQ(Content(sys + L"xvidvfw.dll"), c.systemAfter) << c.state;
    EXPECT_EQ(Content(sys + L"xvidvfw.old"), c.oldAfter) << c.state;
    if (std::string(c.systemAfter) == "vfw-new") {
      EXPECT_EQ(WriteTime(sys + L"xvidvfw.dll"), Stamp(10)) << c.state;
    }
    EXPECT_EQ(Content(sys + L"xvidcore.dll"), "core-new") << c.state;

    std::wstring v;
    EXPECT_TRUE(ReadString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", L"vidc.XVID", v,
                           HKEY_LOCAL_MACHINE)) << c.state;
    EXPECT_EQ(v, L"xvidvfw.dll");
    EXPECT_TRUE(ReadString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", L"xvidvfw.dll", v,
                           HKEY_LOCAL_MACHINE));
    EXPECT_EQ(v, L"Xvid MPEG-4 Video Codec");
    DWORD status = 7, size = sizeof(status);
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\GNU\\Xvid", L"display_status", RRF_RT_REG_DWORD, nullptr,
                             &status, &size), ERROR_SUCCESS) << c.state;
    EXPECT_EQ(status, 0u);
  }
}

TEST_F(Registration, AFailedCodecCopyPutsTheInstalledFileBack) {
  const std::wstring source = folder.File(L"xvidvfw.dll"), installed = sys + L"xvidvfw.dll";
  MakeFile(source, "vfw-new", 10);
  MakeFile(installed, "vfw-sys", 5);
  // another program holds the new file without sharing: its times can be read, its bytes not
  TFileOwner held(::CreateFileW(source.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  const std::wstring probe = folder.File(L"probe.dll");
  ASSERT_FALSE(::CopyFileW(source.c_str(), probe.c_str(), FALSE)) << "the held file can be copied";
  EXPECT_THROW(CopyIfNewer(source, installed), EOSError);
  EXPECT_EQ(Content(installed), "vfw-sys") << "no codec is left installed";
  EXPECT_EQ(WriteTime(installed), Stamp(5));
  EXPECT_EQ(Content(sys + L"xvidvfw.old"), "<missing>");
  held.Reset();
  // once the file can be read the update goes through
  CopyIfNewer(source, installed);
  EXPECT_EQ(Content(installed), "vfw-new");
  EXPECT_EQ(Content(sys + L"xvidvfw.old"), "vfw-sys");
}

