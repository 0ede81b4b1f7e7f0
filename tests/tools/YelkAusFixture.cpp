#include "YelkAusFixture.h"

#include <sstream>

#include "Handles.h"

namespace kivo::test {

TAppFolder::TAppFolder() : root_(L"yelkaus") {
  MakeFolders(App());
  CopyInto(HelperPath(L"yelkaus"), Yelkaus());
  CopyInto(HelperPath(L"tools_client"), App() + L"client.exe");
  for (const wchar_t* dll : kDlls) WriteFileBytes(App() + dll, OldContent(dll));
}

TAppFolder::~TAppFolder() {
  for (const auto& start : Starts()) EndClient(start.first);
}

std::string TAppFolder::OldContent(const std::wstring& name) const { return "old " + Utf8(name); }

std::string TAppFolder::NewContent(const std::wstring& name) const {
  if (name == L"client.exe") return ReadFileBytes(HelperPath(L"tools_client")) + "new client";
  return "new " + Utf8(name);
}

void TAppFolder::AddNew(const std::wstring& name) {
  MakeFolders(App() + L"quontemp\\-1\\new");
  WriteFileBytes(App() + L"quontemp\\-1\\new\\" + name, NewContent(name));
}

void TAppFolder::SetCmdArg(const std::string& text) {
  MakeFolders(App() + L"quontemp\\-1");
  WriteFileBytes(App() + L"quontemp\\-1\\cmdarg.dat", "[StartArg]\r\nArg=" + text + "\r\n");
}

std::optional<DWORD> TAppFolder::Run(const std::wstring& commandLine) {
  return RunProgram(Yelkaus(), commandLine, 60000);
}

std::vector<std::pair<DWORD, std::string>> TAppFolder::Starts() const {
  std::vector<std::pair<DWORD, std::string>> starts;
  std::istringstream in(ReadFileBytes(App() + L"starts.txt"));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    starts.emplace_back(std::stoul(line.substr(0, tab)), line.substr(tab + 1));
  }
  return starts;
}

bool TAppFolder::WaitForStarts(std::size_t n) const {
  const double end = NowMs() + 20000;
  while (NowMs() < end) {
    if (Starts().size() >= n) return true;
    ::Sleep(20);
  }
  return false;
}

bool TAppFolder::EndClient(DWORD pid) {
  THandleOwner quit(::OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"kivo-test-client-quit-" + std::to_wstring(pid)).c_str()));
  if (quit) ::SetEvent(quit.Get());
  THandleOwner process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  return !process || ::WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0;
}

bool TAppFolder::LogHas(const std::string& text) const {
  for (const std::string& line : Log())
    if (line.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace kivo::test
