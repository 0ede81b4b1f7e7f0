#include "KVFMovieSource.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>

#include "IniFiles.h"
#include "KVMakeControl.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TMovieSource)

std::wstring CurrentMovieListPath;

void StartMovieSourceUnit() { CurrentMovieListPath = ProgramDir + L"curmovies.dat"; }
void EndMovieSourceUnit() { CurrentMovieListPath.clear(); }

namespace {
// The extension with its dot, in lower case.
std::wstring LowerExtension(const std::wstring& path) { return LowerCase(ExtractFileExt(path)); }

constexpr wchar_t kSection[] = L"Movies";

HICON ShellSmallIcon(const std::wstring& name) {
  SHFILEINFOW info{};
  if (!::SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                        SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
    return nullptr;
  return info.hIcon;
}
}  // namespace

std::vector<std::wstring> ReadMovieList(const std::wstring& file) {
  std::vector<std::wstring> paths;
  TIniFile ini(file);
  TStringList lines;
  ini.ReadSectionValues(kSection, lines);
  for (int i = 0; i < lines.Count(); ++i) {
    std::wstring name, value;
    SplitNameValue(lines.Strings(i), name, value);
    paths.push_back(value);
  }
  return paths;
}

TMovieSource::TMovieSource(TComponent* owner) : TSourceAbs(owner) {
  SetName(L"MovieSourceA");
  SetHeight(237);
  lstMovies = MakeControl<TListBox>(this, this, L"lstMovies", 0, 0, 320, 215);
  lstMovies->SetStyle(TListBoxStyle::lbOwnerDrawFixed);
  lstMovies->SetItemHeight(20);
  lstMovies->SetColor(clWhite);
  lstMovies->SetMultiSelect(true);
  lstMovies->SetAnchors(akLeft | akTop | akRight | akBottom);
  lstMovies->OnDblClick = Method(this, &TMovieSource::lstMoviesDblClick);
  lstMovies->OnDrawItem = Method(this, &TMovieSource::lstMoviesDrawItem);
  pnlBottom = MakeControl<TPanel>(this, this, L"pnlBottom", 0, 215, 320, 22);
  pnlBottom->SetAlign(TAlign::alBottom);
  pnlBottom->SetBevelOuter(TBevelCut::bvNone);
  pnlBottom->SetCaption(L"");
  btnAddMovie = MakeControl<TButton>(this, pnlBottom, L"btnAddMovie", 2, 2, 60, 18, L"添加文件");
  btnRemoveMovie = MakeControl<TButton>(this, pnlBottom, L"btnRemoveMovie", 65, 2, 60, 18, L"移除文件");
  btnClearMovies = MakeControl<TButton>(this, pnlBottom, L"btnClearMovies", 128, 2, 60, 18, L"清空列表");
  btnSaveMovieList = MakeControl<TButton>(this, pnlBottom, L"btnSaveMovieList", 191, 2, 60, 18, L"保存列表");
  btnLoadMovieList = MakeControl<TButton>(this, pnlBottom, L"btnLoadMovieList", 254, 2, 60, 18, L"加载列表");
  btnAddMovie->OnClick = Method(this, &TMovieSource::btnAddMovieClick);
  btnRemoveMovie->OnClick = Method(this, &TMovieSource::btnRemoveMovieClick);
  btnClearMovies->OnClick = Method(this, &TMovieSource::btnClearMoviesClick);
  btnSaveMovieList->OnClick = Method(this, &TMovieSource::btnSaveMovieListClick);
  btnLoadMovieList->OnClick = Method(this, &TMovieSource::btnLoadMovieListClick);
  OnResize = Method(this, &TMovieSource::FrameResize);

  ListBottomGap = Height() - (lstMovies->Top() + lstMovies->Height());
  HICON def = ShellSmallIcon(L"file");
  if (!def) def = ::CopyIcon(::LoadIconW(nullptr, IDI_APPLICATION));
  IconCache.emplace_back(std::wstring(), TIconOwner(def));
  LoadCurrentList();
}

TMovieSource::~TMovieSource() = default;

void TMovieSource::LoadCurrentList() {
  if (!CurrentMovieListPath.empty() && ::GetFileAttributesW(CurrentMovieListPath.c_str()) != INVALID_FILE_ATTRIBUTES)
    LoadList(CurrentMovieListPath);
}

void TMovieSource::LoadList(const std::wstring& file) {
  const std::vector<std::wstring> paths = ReadMovieList(file);
  TStrings* items = lstMovies->Items();
  items->BeginUpdate();
  items->Clear();
  for (const std::wstring& p : paths) items->Add(p);
  items->EndUpdate();
}

void TMovieSource::SaveList(const std::wstring& file) {
  TIniFile ini(file);
  ini.BeginUpdate();
  ini.EraseSection(kSection);
  TStrings* items = lstMovies->Items();
  for (int i = 0; i < items->Count(); ++i) ini.WriteString(kSection, std::to_wstring(i), items->Strings(i));
  ini.UpdateFile();
}

void TMovieSource::SaveCurrentList() { SaveList(CurrentMovieListPath); }

void TMovieSource::AddFiles(const std::vector<std::wstring>& paths) {
  TStrings* items = lstMovies->Items();
  for (const std::wstring& p : paths) {
    bool listed = false;
    for (int i = 0; i < items->Count() && !listed; ++i) listed = LowerCase(items->Strings(i)) == LowerCase(p);
    if (!listed) items->Add(p);
  }
}

HICON TMovieSource::GetFileIcon(const std::wstring& extension) {
  const std::wstring key = LowerCase(extension);
  for (const auto& entry : IconCache)
    if (entry.first == key) return entry.second.Get();
  if (!key.empty()) {
    if (HICON icon = ShellSmallIcon(L"file" + key)) {
      IconCache.emplace_back(key, TIconOwner(icon));
      return icon;
    }
  }
  return IconCache.front().second.Get();
}

void TMovieSource::btnAddMovieClick(TObject*) {
  TStringList chosen;
  if (ExecuteOpenFileDialog(&chosen).empty() && chosen.Count() == 0) return;
  std::vector<std::wstring> media, lists;
  for (int i = 0; i < chosen.Count(); ++i) {
    const std::wstring f = chosen.Strings(i);
    (LowerExtension(f) == L".ml" ? lists : media).push_back(f);
  }
  AddFiles(media);
  for (const std::wstring& l : lists) LoadList(l);
  SaveCurrentList();
}

void TMovieSource::btnRemoveMovieClick(TObject*) {
  TStrings* items = lstMovies->Items();
  for (int i = items->Count() - 1; i >= 0; --i)
    if (lstMovies->Selected(i)) items->Delete(i);
  SaveCurrentList();
}

void TMovieSource::btnClearMoviesClick(TObject*) {
  lstMovies->Items()->Clear();
  SaveCurrentList();
}

void TMovieSource::btnSaveMovieListClick(TObject*) {
  const std::wstring file = ExecuteSaveDialog(L".ml", nullptr);
  if (!file.empty()) SaveList(file);
}

void TMovieSource::btnLoadMovieListClick(TObject*) {
  const std::wstring file = ExecuteOpenDialog(L".ml", nullptr);
  if (file.empty()) return;
  LoadList(file);
  SaveCurrentList();
}

void TMovieSource::lstMoviesDblClick(TObject*) {
  if (!Window || lstMovies->Items()->Count() == 0) return;
  const int index = lstMovies->ItemIndex();
  if (index < 0) return;
  Window->Stop();
  Window->Play(index, false);
}

void TMovieSource::lstMoviesDrawItem(TWinControl*, int index, const RECT& rect, TOwnerDrawState) {
  TCanvas* canvas = lstMovies->Canvas();
  canvas->FillRect(rect);
  if (index < 0 || index >= lstMovies->Items()->Count()) return;
  RECT r = rect;
  r.left += 2;
  r.right -= 2;
  const std::wstring path = lstMovies->Items()->Strings(index);
  const HDC dc = canvas->Handle();
  ::DrawIconEx(dc, r.left, (r.top + r.bottom - 16) / 2, GetFileIcon(LowerExtension(path)), 16, 16, 0, nullptr, DI_NORMAL);
  r.left += 20;
  canvas->TextRect(r, path, DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS | DT_NOPREFIX);
}

void TMovieSource::FrameResize(TObject*) { lstMovies->SetHeight(Height() - ListBottomGap); }
}  // namespace kivo
