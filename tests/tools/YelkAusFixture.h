// A program folder for one yelkaus run: yelkaus, the stand-in client as client.exe, the client's
// DLLs, new versions in quontemp\-1\new\, and what the run left behind.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "ToolsTestUtil.h"

namespace kivo::test {

class TAppFolder {
 public:
  static constexpr const wchar_t* kDlls[3] = {L"QuonCore.dll", L"QuonAppD.dll", L"plixdownload.dll"};

  TAppFolder();
  ~TAppFolder();  // ends every client the run started

  const TTempFolder& Root() const { return root_; }
  // The program folder, with a trailing backslash.
  std::wstring App() const { return root_ / L"app\\"; }
  std::wstring operator/(const std::wstring& relative) const { return App() + relative; }

  // A new version of a file of the list (the client's: the stand-in program with a marker).
  void AddNew(const std::wstring& name);
  std::string NewContent(const std::wstring& name) const;
  std::string OldContent(const std::wstring& name) const;
  void SetCmdArg(const std::string& text);

  // Runs yelkaus with the command line (its first argument included).
  std::optional<DWORD> Run(const std::wstring& commandLine);
  // Runs it the usual way: full path, then the client's name.
  std::optional<DWORD> RunFor(const std::wstring& client) { return Run(L"\"" + Yelkaus() + L"\" " + client); }
  std::wstring Yelkaus() const { return App() + L"yelkaus.exe"; }

  // Client starts noted by the stand-in: process id and command line.
  std::vector<std::pair<DWORD, std::string>> Starts() const;
  // Waits (bounded) until n starts are noted.
  bool WaitForStarts(std::size_t n) const;
  static bool EndClient(DWORD pid);

  std::vector<std::string> Log() const { return ReadLogLines(App() + L"log\\yelkaus.log"); }
  bool LogHas(const std::string& text) const;
  std::string Content(const std::wstring& relative) const { return ReadFileBytes(App() + relative); }

 private:
  TTempFolder root_;
};

}  // namespace kivo::test
