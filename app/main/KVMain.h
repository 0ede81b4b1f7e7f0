// KVMain: TKVMainForm, KivoApp's only top-level window: the preview area with the idle page, the tool
// bar, the source tabs and pages, the effect pane's place, the web strip and the tray icon.
#pragma once

#include <array>
#include <vector>

#include "ExtCtrls.h"
#include "SkinData.h"
#include "Forms.h"
#include "KVFAbout.h"
#include "KVFAlbumSource.h"
#include "KVFAlbumWindow.h"
#include "KVFCameraSource.h"
#include "KVFCameraWindow.h"
#include "KVFMovieSource.h"
#include "KVFMovieWindow.h"
#include "KVFSnagSource.h"
#include "KVFSnagWindow.h"
#include "KVEffMan.h"
#include "KVFWindowAbs.h"
#include "Menus.h"
#include "WebBrowser.h"
#include "wButton.h"
#include "wTray.h"

namespace kivo {

constexpr UINT_PTR kDelayedStartTimer = 1001;
constexpr UINT_PTR kTrackPlayTimer = 901;
constexpr int kSourceCount = 4;
// The web strip's page, a file of the program folder.
constexpr wchar_t kAdPage[] = L"kivoad.htm";
// Page names of the sources, in index order (0 Camera, 1 Movie, 2 Album, 3 Snag).
extern const wchar_t* const kSourcePageNames[kSourceCount];

class TKVMainForm : public TForm {
  KIVO_CLASS(TKVMainForm, TForm)
  explicit TKVMainForm(TComponent* owner);

  TPanel* pnlMain;
  TNotebook* bookWindow;
  TAboutFrame* AboutFrame;
  TNotebook* bookCapture;
  TPanel* pnlToolBar;
  TwButton* btnDisCapture;
  TwButton* btnVideoRec;
  TwButton* btnAudioRec;
  TwButton* btnPhoto;
  TwButton* btnSysConfig;
  TwButton* btnEffect;
  TNotebook* bookFunction;
  TPanel* pnlSource;
  TwButton* btnSrcCamera;
  TwButton* btnSrcMovie;
  TwButton* btnSrcAlbum;
  TwButton* btnSrcSnag;
  TNotebook* bookSource;
  TPanel* pnlBroad;
  TNotebook* bookBroad;
  TWebBrowser* AdBrowser;
  TPanel* pnlRight;
  TCameraWindow* CameraWindowA = nullptr;
  TCameraSource* CameraSourceA = nullptr;
  TMovieWindow* MovieWindowA = nullptr;
  TMovieSource* MovieSourceA = nullptr;
  TSnagWindow* SnagWindowA = nullptr;
  TSnagSource* SnagSourceA = nullptr;
  TAlbumWindow* AlbumWindowA = nullptr;
  TAlbumSource* AlbumSourceA = nullptr;
  TEffectMan* EffectManA;
  TPopupMenu* TrayPopup;
  TMenuItem* miShowMainForm;
  TMenuItem* miReply;
  TMenuItem* miExit;

  TwTrayIcon* TrayIcon = nullptr;
  TSkinData* SkinData = nullptr;
  std::array<TwButton*, kSourceCount> TabButtons{};
  std::array<TSourceWindowAbs*, kSourceCount> SourceWindows{};  // nullptr until the source exists
  std::array<TSourceAbs*, kSourceCount> SourcePages{};
  std::vector<HWND> DockedWindows;
  bool Exiting = false;
  RECT PreviewRect{};

  void ShowFunctionArea(const std::wstring& pageName);
  void ShowSourcePage(const std::wstring& pageName);
  void SetCaptureSource(const std::wstring& pageName);
  void ShowCapturePage();
  void DelayedStart();
  void TrackPlayControls();
  // The effect pane's open width and the collapsed window width (kept in DesignInfo).
  int EffectOpenWidth() const;
  int CollapsedWidth() const;
  bool FunctionAreaCollapsed() const;

  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormDestroy(TObject* sender);
  void miShowMainFormClick(TObject* sender);
  void miReplyClick(TObject* sender);
  void miExitClick(TObject* sender);
  void btnDisCaptureClick(TObject* sender);
  void btnSysConfigClick(TObject* sender);
  void btnSrcCameraClick(TObject* sender);
  void btnSrcCameraCheckChanged(TObject* sender);
  void btnEffectClick(TObject* sender);
  void btnVideoRecClick(TObject* sender);
  void btnAudioRecClick(TObject* sender);
  void btnPhotoClick(TObject* sender);

  void WndProc(TMessage& m) override;

 private:
  void CreateSourcePair(int index, TPage* windowPage, TPage* sourcePage);
  void FollowDocked(UINT flags);
  bool settingCaptureSource_ = false;
};

extern TKVMainForm* KVMainForm;

// Skins a form embedded into the skinned main window (SkinFormProc).
void SkinEmbeddedForm(TControl* control);
// The unit's start (start-up step 11).
void StartMainUnit();

}  // namespace kivo
