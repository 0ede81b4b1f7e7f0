// The movie source's settings page: the ordered list of media files the movie window plays,
// remembered in "curmovies.dat" and exchanged as ".ml" list files (section "Movies", one full path
// a value, in line order).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "ExtCtrls.h"
#include "Handles.h"
#include "KVFWindowAbs.h"
#include "StdCtrls.h"

namespace kivo {

// ProgramDir + "curmovies.dat", set at the unit's start.
extern std::wstring CurrentMovieListPath;
void StartMovieSourceUnit();
void EndMovieSourceUnit();

// The paths of a list file in the order of its lines (empty for a missing file or no section).
std::vector<std::wstring> ReadMovieList(const std::wstring& file);

class TMovieSource : public TSourceAbs {
  KIVO_CLASS(TMovieSource, TSourceAbs)
  explicit TMovieSource(TComponent* owner);
  ~TMovieSource() override;

  TListBox* lstMovies;
  TPanel* pnlBottom;
  TButton* btnAddMovie;
  TButton* btnRemoveMovie;
  TButton* btnClearMovies;
  TButton* btnSaveMovieList;
  TButton* btnLoadMovieList;

  int ListBottomGap = 0;

  void LoadCurrentList();
  void LoadList(const std::wstring& file);
  void SaveList(const std::wstring& file);
  void SaveCurrentList();
  // Appends the paths not yet listed (compared without case), in order.
  void AddFiles(const std::vector<std::wstring>& paths);
  // The small icon of a file extension (".avi"); the default icon when the shell has none.
  HICON GetFileIcon(const std::wstring& extension);

  void btnAddMovieClick(TObject* sender);
  void btnRemoveMovieClick(TObject* sender);
  void btnClearMoviesClick(TObject* sender);
  void btnSaveMovieListClick(TObject* sender);
  void btnLoadMovieListClick(TObject* sender);
  void lstMoviesDblClick(TObject* sender);
  void lstMoviesDrawItem(TWinControl* control, int index, const RECT& rect, TOwnerDrawState state);
  void FrameResize(TObject* sender);

 private:
  // Extension (lower case) and its icon; entry 0 has the empty key and the default icon.
  std::vector<std::pair<std::wstring, TIconOwner>> IconCache;
};

}  // namespace kivo
