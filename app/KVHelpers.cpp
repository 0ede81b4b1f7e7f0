#include "KVHelpers.h"

#include <windows.h>

#include <cmath>
#include <vector>

#include "Dialogs.h"
#include "SysUtils.h"

namespace kivo {

namespace {

std::wstring ProgramFolder() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return L"";
    if (n < buf.size()) {
      std::wstring path(buf.data(), n);
      size_t slash = path.find_last_of(L"\\/:");
      return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
    }
    buf.resize(buf.size() * 2);
  }
}

std::wstring RunFileDialog(TOpenDialog& dlg, const std::wstring& defaultExt, TStrings* files, TOpenOptions extra) {
  dlg.SetDefaultExt(defaultExt);
  dlg.SetFilter(L"*" + defaultExt + L"|*" + defaultExt);
  TOpenOptions options = dlg.Options() | ofPathMustExist | extra;
  if (files) options |= ofAllowMultiSelect;
  dlg.SetOptions(options);
  if (!dlg.Execute()) return L"";
  if (files) files->Assign(dlg.Files());
  return dlg.FileName();
}

}  // namespace

std::wstring ProgramDir = ProgramFolder();

std::function<void(TControl*)> SkinFormProc = [](TControl*) {};

std::unique_ptr<TIniFile> CreateAppIniFile() {
  return std::make_unique<TIniFile>(ChangeFileExt(ParamStr(0), L".ini"));
}

std::wstring NextListField(const std::wstring& text, std::int32_t& position) {
  size_t start = position > 0 ? static_cast<size_t>(position - 1) : 0;
  if (start > text.size()) start = text.size();
  size_t end = text.find(L';', start);
  if (end == std::wstring::npos) end = text.size();
  std::wstring field = Trim(std::wstring_view(text).substr(start, end - start));
  position = static_cast<std::int32_t>(end + 2);
  return field;
}

void SplitList(const std::wstring& text, TStrings* list) {
  std::int32_t position = 1;
  while (position <= static_cast<std::int32_t>(text.size())) {
    std::wstring field = NextListField(text, position);
    if (!field.empty()) list->Add(field);
  }
}

std::wstring WithTrailingBackslash(const std::wstring& folder) {
  if (folder.empty()) return folder;
  wchar_t last = folder.back();
  if (last == L':' || last == L'\\') return folder;
  return folder + L"\\";
}

std::wstring ExecuteOpenDialog(const std::wstring& defaultExt, TStrings* files) {
  TObjectPtr<TOpenDialog> dlg(new TOpenDialog(nullptr));
  return RunFileDialog(*dlg, defaultExt, files, ofFileMustExist);
}

std::wstring ExecuteSaveDialog(const std::wstring& defaultExt, TStrings* files) {
  // a save dialog that insisted on an existing file could never make a new one
  TObjectPtr<TSaveDialog> dlg(new TSaveDialog(nullptr));
  return RunFileDialog(*dlg, defaultExt, files, ofOverwritePrompt);
}

std::int32_t RoundHalfUp(double x) { return static_cast<std::int32_t>(std::trunc(x + 0.5)); }

void FitSize(std::int32_t boxWidth, std::int32_t boxHeight, std::int32_t& width, std::int32_t& height) {
  double rw = static_cast<double>(width) / boxWidth;
  double rh = static_cast<double>(height) / boxHeight;
  if (rw > rh) {
    width = boxWidth;
    height = RoundHalfUp(height / rw);
  } else if (rw < rh) {
    width = RoundHalfUp(width / rh);
    height = boxHeight;
  } else {
    width = boxWidth;
    height = boxHeight;
  }
}

}  // namespace kivo
