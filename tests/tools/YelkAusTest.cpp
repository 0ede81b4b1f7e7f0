// yelkaus run in program folders of every state it meets: the update, the backup and restore,
// the client ended and started again, and the arguments and folders it must refuse to follow.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Handles.h"
#include "YelkAusFixture.h"

using namespace kivo;
using namespace kivo::test;

namespace {

std::string Quote(const std::wstring& path) { return "\"" + Utf8(path) + "\""; }

int Count(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&text](const std::string& l) { return l.find(text) != std::string::npos; }));
}

// The mutex name computed here: folder text with A-Z lowered, h = h * 33 + c.
std::wstring MutexName(const std::wstring& folder) {
  std::uint32_t h = 0;
  for (wchar_t c : folder) h = h * 33 + static_cast<std::uint32_t>(c >= L'A' && c <= L'Z' ? c + 32 : c);
  return L"Global\\quonpself-" + std::to_wstring(h);
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  return text;
}

// A process of the stand-in client started by the test.
THandleOwner StartClient(const std::wstring& exe) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return THandleOwner();
  ::CloseHandle(pi.hThread);
  return THandleOwner(pi.hProcess);
}

}  // namespace

TEST(YelkAus, NothingNewRestartsTheClientWithItsArgument) {
  TAppFolder app;
  app.SetCmdArg("-silent");
  ASSERT_EQ(app.RunFor(L"client.exe"), 0u);
  ASSERT_TRUE(app.WaitForStarts(1));
  EXPECT_EQ(app.Starts()[0].second, Quote(app / L"client.exe") + " -silent");
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1")) << "the work folder is removed";
  for (const wchar_t* dll : TAppFolder::kDlls) EXPECT_EQ(app.Content(dll), app.OldContent(dll));
  const auto log = app.Log();
  EXPECT_EQ(Count(log, "Backup:"), 0);
  EXPECT_EQ(Count(log, "=== MutexProcess: result=0"), 1);
  EXPECT_EQ(Count(log, "=== CmdLine = " + Quote(app.Yelkaus()) + " client.exe"), 1);
  EXPECT_EQ(Count(log, "=== Arg[0] = " + Utf8(app.Yelkaus())), 1);
  EXPECT_EQ(Count(log, "=== Arg[1] = client.exe"), 1);
  EXPECT_EQ(Count(log, "=== CreateProcess: " + Quote(app / L"client.exe") + " -silent successfull"), 1);
  EXPECT_EQ(Count(log, "SESSION START: DBG_LEVEL:31"), 1);
  EXPECT_EQ(Count(log, "SESSION FINISH: DBG_LEVEL:31"), 1);
  EXPECT_EQ(log[0], "31");
  EXPECT_NE(log[2].find(" <quonpself>=== >>>>>>>>>>>> SESSION START"), std::string::npos) << log[2];
}

TEST(YelkAus, AllFilesNewAreReplacedAndTheBackupGoes) {
  TAppFolder app;
  const std::wstring names[] = {L"QuonCore.dll", L"QuonAppD.dll", L"client.exe", L"plixdownload.dll"};
  for (const std::wstring& name : names) app.AddNew(name);
  // A file where the backup folder should be gives way to the folder.
  WriteFileBytes(app / L"quontemp\\-1\\bak", "in the way");
  ASSERT_EQ(app.RunFor(L"client.exe"), 0u);
  for (const std::wstring& name : names) EXPECT_EQ(app.Content(name), app.NewContent(name)) << Utf8(name);
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1"));
  ASSERT_TRUE(app.WaitForStarts(1));
  EXPECT_EQ(app.Starts()[0].second, Quote(app / L"client.exe"));
  const auto log = app.Log();
  EXPECT_EQ(Count(log, "=== NeedUpdate: find new file: "), 4);
  EXPECT_EQ(Count(log, "=== Backup: bak directory not exist, create it"), 1);
  EXPECT_EQ(Count(log, "=== Backup: backup file from "), 4);
  EXPECT_EQ(Count(log, "=== NeedUpdate: find new file: " + Utf8(app / L"quontemp\\-1\\new\\client.exe")), 1);
  EXPECT_EQ(Count(log, "=== Update:"), 0);
  EXPECT_EQ(Count(log, "@@@ Update:"), 0);
  EXPECT_EQ(Count(log, "@@@"), 0);
}

TEST(YelkAus, ARunningClientIsEndedAndStartedAgainButNotACopyElsewhere) {
  TAppFolder app;
  app.AddNew(L"QuonCore.dll");
  MakeFolders(app.Root() / L"decoy");
  CopyInto(HelperPath(L"tools_client"), app.Root() / L"decoy\\client.exe");
  THandleOwner running = StartClient(app / L"client.exe");
  THandleOwner decoy = StartClient(app.Root() / L"decoy\\client.exe");
  ASSERT_TRUE(running && decoy);
  ASSERT_TRUE(app.WaitForStarts(1));
  ASSERT_EQ(app.RunFor(L"client.exe"), 0u);
  ASSERT_EQ(::WaitForSingleObject(running.Get(), 10000), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeProcess(running.Get(), &code);
  EXPECT_EQ(code, 0u) << "ended by yelkaus, not on its own";
  EXPECT_EQ(::WaitForSingleObject(decoy.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the copy in another folder runs on";
  ASSERT_TRUE(app.WaitForStarts(2));
  EXPECT_EQ(app.Content(L"QuonCore.dll"), app.NewContent(L"QuonCore.dll"));
  EXPECT_FALSE(app.LogHas("KillRunningProcess failed"));
  TAppFolder::EndClient(::GetProcessId(decoy.Get()));
}

TEST(YelkAus, AFileThatCannotBeReplacedIsRestoredWithTheOthersAndTheBackupStays) {
  TAppFolder app;
  const std::wstring names[] = {L"QuonCore.dll", L"QuonAppD.dll", L"client.exe", L"plixdownload.dll"};
  for (const std::wstring& name : names) app.AddNew(name);
  const std::string clientBefore = app.Content(L"client.exe");
  TChildProcess holder(HelperPath(L"tools_holder"));
  ASSERT_EQ(holder.Call("open r " + Utf8(app / L"QuonCore.dll")), "ok");
  ASSERT_EQ(app.RunFor(L"client.exe"), 0u);

  EXPECT_EQ(app.Content(L"QuonCore.dll"), app.OldContent(L"QuonCore.dll"));
  EXPECT_EQ(app.Content(L"QuonAppD.dll"), app.OldContent(L"QuonAppD.dll"));
  EXPECT_EQ(app.Content(L"plixdownload.dll"), app.OldContent(L"plixdownload.dll"));
  EXPECT_EQ(app.Content(L"client.exe"), clientBefore);
  // Nothing that could still repair the install is deleted.
  EXPECT_EQ(app.Content(L"quontemp\\-1\\bak\\QuonCore.dll"), app.OldContent(L"QuonCore.dll"));
  EXPECT_EQ(app.Content(L"quontemp\\-1\\bak\\client.exe"), clientBefore);
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1\\new"));
  const auto log = app.Log();
  EXPECT_EQ(Count(log, "@@@ Update: MoveFileEx " + Utf8(app / L"QuonCore.dll")), 1);
  EXPECT_EQ(Count(log, "@@@ Restore: cannot copy file from " + Utf8(app / L"quontemp\\-1\\bak\\QuonCore.dll") +
                           " to " + Utf8(app / L"QuonCore.dll")),
            1);
  EXPECT_EQ(Count(log, "=== Restore: restore file from "), 3);
  EXPECT_EQ(Count(log, "@@@ Restore: incomplete, the backups stay in " + Utf8(app / L"quontemp\\-1\\bak\\")), 1);
  ASSERT_TRUE(app.WaitForStarts(1));
}

TEST(YelkAus, LinksInTheNewFilesAreNeverFollowed) {
  TAppFolder app;
  const std::wstring victim = app.Root() / L"victim";
  MakeFolders(victim);
  WriteFileBytes(victim + L"\\keep.txt", "keep me");
  WriteFileBytes(victim + L"\\secret.txt", "secret");
  app.AddNew(L"plixdownload.dll");
  ASSERT_TRUE(MakeLink(app / L"quontemp\\-1\\new\\linked", victim, true));
  ASSERT_TRUE(MakeLink(app / L"quontemp\\-1\\new\\QuonCore.dll", victim + L"\\secret.txt", false));
  ASSERT_EQ(app.RunFor(L"client.exe"), 0u);
  EXPECT_EQ(ReadFileBytes(victim + L"\\keep.txt"), "keep me");
  EXPECT_EQ(ReadFileBytes(victim + L"\\secret.txt"), "secret");
  EXPECT_EQ(app.Content(L"plixdownload.dll"), app.NewContent(L"plixdownload.dll"));
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1\\new\\plixdownload.dll"));
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1\\bak"));
  EXPECT_TRUE(app.LogHas("=== Delete: " + Utf8(app / L"quontemp\\-1\\new\\linked") + " leads to "));
  ASSERT_TRUE(app.WaitForStarts(1));
}

TEST(YelkAus, AClientNameThatIsNotAFileNameInTheFolderIsRefused) {
  // besides paths: wildcards, the other characters no file name holds, a control character, and the
  // names of the folder itself and of its parent
  const wchar_t* names[] = {L"..\\victim.exe", L"sub\\client.exe", L"sub/client.exe", L"", L"..", L".",
                            L"yelkaus.exe", L"client.exe:stream", L"<absolute>", L"cl*.exe", L"client?.exe",
                            L"a\"b.exe", L"a<b.exe", L"a>b.exe", L"a|b.exe", L"client\x01.exe"};
  for (const wchar_t* name : names) {
    TAppFolder app;
    const std::wstring outside = app.Root() / L"victim.exe";
    CopyInto(HelperPath(L"tools_client"), outside);
    THandleOwner victim = StartClient(outside);
    ASSERT_TRUE(victim);
    app.AddNew(L"QuonCore.dll");
    const std::wstring argument = std::wstring(name) == L"<absolute>" ? outside : std::wstring(name);
    std::wstring quoted;  // a quote inside the argument goes as \"
    for (wchar_t c : argument) quoted += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
    EXPECT_EQ(app.RunFor(L"\"" + quoted + L"\""), 1u) << Utf8(argument);
    EXPECT_EQ(::WaitForSingleObject(victim.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << Utf8(argument);
    EXPECT_EQ(app.Content(L"QuonCore.dll"), app.OldContent(L"QuonCore.dll")) << Utf8(argument);
    EXPECT_TRUE(PathExists(app / L"quontemp\\-1\\new\\QuonCore.dll")) << Utf8(argument);
    EXPECT_FALSE(PathExists(app / L"quontemp\\-1\\bak")) << Utf8(argument);
    EXPECT_TRUE(app.LogHas("@@@ Argument " + Utf8(argument) + " refused")) << Utf8(argument);
    EXPECT_TRUE(app.Starts().empty()) << Utf8(argument);
    TAppFolder::EndClient(::GetProcessId(victim.Get()));
  }
}

TEST(YelkAus, AnotherInstanceOrAnyMutexFailureEndsTheRunUntouched) {
  for (const char* kind : {"mutex", "event"}) {
    TAppFolder app;
    app.AddNew(L"QuonCore.dll");
    TChildProcess holder(HelperPath(L"tools_holder"));
    // The folder in other letter case names the same mutex.
    ASSERT_EQ(holder.Call(std::string(kind) + " " + Utf8(MutexName(Upper(app.App())))), "ok");
    EXPECT_EQ(app.RunFor(L"client.exe"), 1u) << kind;
    EXPECT_EQ(app.Content(L"QuonCore.dll"), app.OldContent(L"QuonCore.dll")) << kind;
    EXPECT_TRUE(PathExists(app / L"quontemp\\-1\\new\\QuonCore.dll")) << kind;
    EXPECT_TRUE(app.LogHas("=== MutexProcess: result=1")) << kind;
    EXPECT_EQ(app.LogHas("@@@ MutexProcess: cannot create mutex"), std::string(kind) == "event") << kind;
    EXPECT_TRUE(app.LogHas("SESSION FINISH")) << kind;
    EXPECT_TRUE(app.Starts().empty()) << kind;
  }
}

TEST(YelkAus, ARelativeProgramNameIsNotTakenForTheClient) {
  TAppFolder app;
  app.AddNew(L"QuonCore.dll");
  ASSERT_EQ(app.Run(L"yelkaus.exe client.exe"), 0u);
  ASSERT_TRUE(app.WaitForStarts(1));
  EXPECT_EQ(app.Content(L"QuonCore.dll"), app.NewContent(L"QuonCore.dll"));
  ASSERT_EQ(app.Run(L"yelkaus client.exe"), 0u);
  ASSERT_TRUE(app.WaitForStarts(2));
  const auto log = app.Log();
  EXPECT_EQ(Count(log, "=== Arg[1] = client.exe"), 2);
  EXPECT_EQ(Count(log, "SESSION FINISH"), 2);
  EXPECT_FALSE(PathExists(app / L"quontemp\\-1"));

  // Started without the program's name, the first argument is the client.
  ASSERT_EQ(app.Run(L"client.exe"), 0u);
  ASSERT_TRUE(app.WaitForStarts(3));
  EXPECT_EQ(Count(app.Log(), "=== Arg[0] = client.exe"), 1);
}

TEST(YelkAus, NoClientNameEndsTheRun) {
  TAppFolder app;
  app.AddNew(L"QuonCore.dll");
  EXPECT_EQ(app.Run(L"\"" + app.Yelkaus() + L"\""), 1u);
  EXPECT_TRUE(PathExists(app / L"quontemp\\-1\\new\\QuonCore.dll"));
  const auto log = app.Log();
  EXPECT_EQ(Count(log, "=== Arg[0] = "), 1);
  EXPECT_EQ(Count(log, "Arg[1]"), 0);
  EXPECT_EQ(Count(log, "SESSION FINISH"), 1);
}
