#include "KVMain.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>

#include "DSGraph.h"
#include "KVAudioRec.h"
#include "KVMakeControl.h"
#include "KVShared.h"
#include "KVSysConfig.h"
#include "KVVideoRec.h"
#include "Skinners.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TKVMainForm)

TKVMainForm* KVMainForm = nullptr;
const wchar_t* const kSourcePageNames[kSourceCount] = {L"Camera", L"Movie", L"Album", L"Snag"};

namespace {
constexpr intptr_t kSkinDisableTag = 99;
constexpr TColor kToolBarColor = 12615680;
constexpr TColor kSourceBarColor = 14069310;
constexpr wchar_t kReplyAddress[] = L"https://kivo.invalid/feedback";

TPanel* MakePanel(TComponent* owner, TWinControl* parent, const wchar_t* name, int x, int y, int w, int h,
                  TAlign align) {
  TPanel* p = MakeControl<TPanel>(owner, parent, name, x, y, w, h);
  p->SetBevelOuter(TBevelCut::bvNone);
  p->SetAlign(align);
  return p;
}

TwButton* ToolButton(TComponent* owner, TWinControl* parent, const wchar_t* name, int x, const wchar_t* glyph) {
  TwButton* b = MakeControl<TwButton>(owner, parent, name, x, 0, 30, 30);
  b->SetBorderStyle(TwBorderStyle::bsNone);
  b->SetColor(kToolBarColor);
  b->SetColorFocused(kToolBarColor);
  TBitmap bmp;
  if (LoadGlyphResource(bmp, glyph)) b->SetGlyph(&bmp);
  const std::wstring down = std::wstring(glyph) + L"_DOWN";
  if (LoadGlyphResource(bmp, down.c_str())) b->SetGlyphDown(&bmp);
  return b;
}

// A "file:" address of a local file, as the web control takes it; empty when there is none.
std::wstring FileUrl(const std::wstring& path) {
  std::wstring url(INTERNET_MAX_URL_LENGTH, L'\0');
  DWORD n = static_cast<DWORD>(url.size());
  if (FAILED(::UrlCreateFromPathW(path.c_str(), &url[0], &n, 0))) return {};
  url.resize(n);
  return url;
}

void AddPages(TNotebook* book, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* n : names) book->Pages()->Add(n);
  for (int i = 0; i < book->PageCount(); ++i) book->Page(i)->SetAlign(TAlign::alClient);
  book->SetPageIndex(0);
}
}  // namespace

TKVMainForm::TKVMainForm(TComponent* owner) : TForm(owner) {
  SetName(L"KVMainForm");
  SetCaption(L"YelkKivo");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetShowHint(true);
  if (HICON icon = ::LoadIconW(HInstance(), L"MAINICON")) SetIcon(icon);
  SetClientWidth(639);
  SetClientHeight(553);

  // left column
  pnlMain = MakePanel(this, this, L"pnlMain", 0, 0, 320, 553, TAlign::alLeft);
  bookWindow = MakeControl<TNotebook>(this, pnlMain, L"bookWindow", 0, 0, 320, 240);
  bookWindow->SetAlign(TAlign::alTop);
  bookWindow->SetColor(clBlack);
  AddPages(bookWindow, {L"About", L"Capture"});
  AboutFrame = new TAboutFrame(this);  // writes the idle picture
  AboutFrame->SetParent(bookWindow->Page(0));
  AboutFrame->SetAlign(TAlign::alClient);
  AboutFrame->OnShowCapturePage = [this](TObject*) { ShowCapturePage(); };
  bookCapture = MakeControl<TNotebook>(this, bookWindow->Page(1), L"bookCapture", 0, 0, 320, 240);
  bookCapture->SetAlign(TAlign::alClient);
  bookCapture->SetColor(clBlack);
  AddPages(bookCapture, {L"Camera", L"Movie", L"Album", L"Snag"});

  pnlToolBar = MakePanel(this, pnlMain, L"pnlToolBar", 0, 240, 320, 30, TAlign::alTop);
  pnlToolBar->SetColor(kToolBarColor);
  pnlToolBar->SetTag(kSkinDisableTag);
  btnDisCapture = ToolButton(this, pnlToolBar, L"btnDisCapture", 1, L"KV_DISCAPTURE");
  btnDisCapture->SetGroupIndex(101);
  btnVideoRec = ToolButton(this, pnlToolBar, L"btnVideoRec", 32, L"KV_VIDEOREC");
  btnVideoRec->SetGroupIndex(500);
  btnAudioRec = ToolButton(this, pnlToolBar, L"btnAudioRec", 63, L"KV_AUDIOREC");
  btnAudioRec->SetGroupIndex(500);
  btnPhoto = ToolButton(this, pnlToolBar, L"btnPhoto", 94, L"KV_PHOTO");
  btnSysConfig = ToolButton(this, pnlToolBar, L"btnSysConfig", 258, L"KV_SYSCONFIG");
  btnEffect = ToolButton(this, pnlToolBar, L"btnEffect", 289, L"KV_EFFECT");
  btnEffect->SetGroupIndex(108);
  btnDisCapture->SetHint(L"停止输出");
  btnVideoRec->SetHint(L"录像");
  btnAudioRec->SetHint(L"录音");
  btnPhoto->SetHint(L"拍照");
  btnSysConfig->SetHint(L"系统设置");
  btnEffect->SetHint(L"特效");

  bookFunction = MakeControl<TNotebook>(this, pnlMain, L"bookFunction", 0, 270, 320, 259);
  bookFunction->SetAlign(TAlign::alTop);
  AddPages(bookFunction, {L"Source"});
  pnlSource = MakePanel(this, bookFunction->Page(0), L"pnlSource", 0, 0, 320, 22, TAlign::alTop);
  pnlSource->SetColor(kSourceBarColor);
  pnlSource->SetTag(kSkinDisableTag);
  const wchar_t* tabNames[kSourceCount] = {L"btnSrcCamera", L"btnSrcMovie", L"btnSrcAlbum", L"btnSrcSnag"};
  const wchar_t* tabCaptions[kSourceCount] = {L"摄像头", L"媒体", L"相册", L"   屏幕捕捉"};
  TBitmap checkOn, checkOff;
  const bool haveOn = LoadGlyphResource(checkOn, L"KV_CHECK_ON");
  const bool haveOff = LoadGlyphResource(checkOff, L"KV_CHECK_OFF");
  for (int i = 0; i < kSourceCount; ++i) {
    TwButton* tab = MakeControl<TwButton>(this, pnlSource, tabNames[i], i * 80, 0, 80, 22);
    tab->SetCaption(tabCaptions[i]);
    tab->SetGroupIndex(110);
    tab->SetAllowAllUp(false);
    tab->SetBorderStyle(TwBorderStyle::bsNone);
    tab->SetColor(kSourceBarColor);
    tab->SetColorFocused(clWhite);
    tab->SetGlyphCheckedLeft(4);
    tab->SetGlyphCheckedTop(4);
    if (haveOn) tab->GlyphChecked()->SetGlyph(&checkOn);
    if (haveOff) tab->GlyphUnChecked()->SetGlyph(&checkOff);
    tab->OnClick = Method(this, &TKVMainForm::btnSrcCameraClick);
    tab->OnCheckChanged = Method(this, &TKVMainForm::btnSrcCameraCheckChanged);
    TabButtons[i] = tab;
  }
  btnSrcCamera = TabButtons[0];
  btnSrcMovie = TabButtons[1];
  btnSrcAlbum = TabButtons[2];
  btnSrcSnag = TabButtons[3];
  bookSource = MakeControl<TNotebook>(this, bookFunction->Page(0), L"bookSource", 0, 22, 320, 237);
  bookSource->SetAlign(TAlign::alClient);
  AddPages(bookSource, {L"Camera", L"Movie", L"Album", L"Snag"});
  for (int i = 0; i < kSourceCount; ++i) CreateSourcePair(i, bookCapture->Page(i), bookSource->Page(i));

  pnlBroad = MakePanel(this, pnlMain, L"pnlBroad", 0, 529, 320, 24, TAlign::alBottom);
  pnlBroad->SetTag(kSkinDisableTag);
  bookBroad = MakeControl<TNotebook>(this, pnlBroad, L"bookBroad", 0, 0, 320, 24);
  bookBroad->SetAlign(TAlign::alClient);
  AddPages(bookBroad, {L"Msg"});
  AdBrowser = MakeControl<TWebBrowser>(this, bookBroad->Page(0), L"AdBrowser", 0, 0, 320, 24);
  AdBrowser->SetAlign(TAlign::alClient);

  // right column: the effect pane's place
  pnlRight = MakePanel(this, this, L"pnlRight", 320, 0, 319, 553, TAlign::alClient);
  pnlRight->SetColor(clWhite);
  EffectManA = new TEffectMan(this);
  EffectManA->SetName(L"EffectManA");
  EffectManA->SetBounds(0, 0, 319, 553);
  EffectManA->SetParent(pnlRight);
  EffectManA->SetAlign(TAlign::alClient);

  TrayPopup = new TPopupMenu(this);
  TrayPopup->SetName(L"TrayPopup");
  TrayPopup->SetAutoHotkeys(TMenuAutoFlag::maManual);
  miShowMainForm = new TMenuItem(this);
  miShowMainForm->SetName(L"miShowMainForm");
  miShowMainForm->SetCaption(L"打开YelkKivo窗口");
  miShowMainForm->OnClick = Method(this, &TKVMainForm::miShowMainFormClick);
  miReply = new TMenuItem(this);
  miReply->SetName(L"miReply");
  miReply->SetCaption(L"论坛反馈");
  miReply->OnClick = Method(this, &TKVMainForm::miReplyClick);
  miExit = new TMenuItem(this);
  miExit->SetName(L"miExit");
  miExit->SetCaption(L"退出YelkKivo");
  miExit->OnClick = Method(this, &TKVMainForm::miExitClick);
  for (TMenuItem* mi : {miShowMainForm, miReply, miExit}) TrayPopup->Items()->Add(mi);

  btnDisCapture->OnClick = Method(this, &TKVMainForm::btnDisCaptureClick);
  btnVideoRec->OnClick = Method(this, &TKVMainForm::btnVideoRecClick);
  btnAudioRec->OnClick = Method(this, &TKVMainForm::btnAudioRecClick);
  btnPhoto->OnClick = Method(this, &TKVMainForm::btnPhotoClick);
  btnSysConfig->OnClick = Method(this, &TKVMainForm::btnSysConfigClick);
  btnEffect->OnClick = Method(this, &TKVMainForm::btnEffectClick);

  OnCreate = Method(this, &TKVMainForm::FormCreate);
  OnClose = Method(this, &TKVMainForm::FormClose);
  OnDestroy = Method(this, &TKVMainForm::FormDestroy);
}

// The source window and page of one index. Each source unit creates its pair here, the window on
// windowPage and the page on sourcePage: 0 TCameraWindow / TCameraSource, 1 TMovieWindow /
// TMovieSource, 2 TAlbumWindow / TAlbumSource, 3 TSnagWindow / TSnagSource (SnagWindowA carries
// Tag 99). A source whose unit is not part of the program yet leaves its slots empty.
void TKVMainForm::CreateSourcePair(int index, TPage* windowPage, TPage* sourcePage) {
  TSourceWindowAbs* window = nullptr;
  TSourceAbs* page = nullptr;
  switch (index) {
    case 0:
      window = CameraWindowA = Create<TCameraWindow>(this);
      page = CameraSourceA = Create<TCameraSource>(this);
      break;
    case 1:
      window = MovieWindowA = Create<TMovieWindow>(this);
      page = MovieSourceA = Create<TMovieSource>(this);
      break;
    case 2:
      window = AlbumWindowA = Create<TAlbumWindow>(this);
      page = AlbumSourceA = Create<TAlbumSource>(this);
      break;
    case 3:
      window = SnagWindowA = Create<TSnagWindow>(this);
      page = SnagSourceA = Create<TSnagSource>(this);
      break;
    default:
      break;
  }
  if (window) {
    window->SetParent(windowPage);
    window->SetAlign(TAlign::alClient);
  }
  if (page) {
    page->SetParent(sourcePage);
    page->SetAlign(TAlign::alClient);
  }
  SourceWindows[index] = window;
  SourcePages[index] = page;
}

int TKVMainForm::EffectOpenWidth() const { return pnlRight->DesignInfo(); }
int TKVMainForm::CollapsedWidth() const { return DesignInfo(); }
bool TKVMainForm::FunctionAreaCollapsed() const { return bookFunction->Height() == pnlSource->Height(); }

void TKVMainForm::FormCreate(TObject*) {
  // 1
  MainCaption = Caption();
  MainWindowHandle = Handle();
  PreviewWindowHandle = bookWindow->Handle();
  // 2: a background erase that reaches the message loop is dropped
  Application()->OnMessage = [](MSG& msg, bool& handled) {
    if (msg.message == WM_ERASEBKGND) handled = true;
  };
  // 3
  DockedWindows.clear();
  // 4
  TrayIcon = new TwTrayIcon(this);
  TrayIcon->SetName(L"TrayIcon");
  TrayIcon->SetMinimizeToTray(true);
  TrayIcon->SetPopupMenu(TrayPopup);
  TrayIcon->SetIconHandle(Icon());
  TrayIcon->SetIconVisible(false);
  TrayIcon->SetIconVisible(true);
  TrayIcon->SetHint(Caption());
  TrayIcon->OnDblClick = Method(this, &TKVMainForm::miShowMainFormClick);
  // 5: the skin of the program folder; a missing file leaves every window as it is
  RegisterControlSkinners();
  SkinData = new TSkinData(this);
  SkinData->SetName(L"SkinData");
  SkinData->SetSkinFile(ProgramDir + L"kivoapp.skn");
  SkinData->SetActive(true);
  // 6
  for (int i = 0; i < kSourceCount; ++i) {
    TabButtons[i]->SetDesignInfo(i);
    if (SourcePages[i]) SourcePages[i]->SetDesignInfo(i);
    if (SourceWindows[i]) {
      SourceWindows[i]->SetDesignInfo(i);
      SourceWindows[i]->Source = SourcePages[i];
      SourceWindows[i]->SourceIndex = i;
    }
    if (SourcePages[i]) SourcePages[i]->Window = SourceWindows[i];
  }
  // 7
  SetLeft((Screen()->Width() - Width()) / 2);
  SetTop((Screen()->Height() - Height()) / 2);
  // 8, 9, 10
  bookWindow->SetPageIndex(0);
  ShowFunctionArea(L"");
  ::SetTimer(Handle(), kDelayedStartTimer, 300, nullptr);
  // 11
  pnlRight->SetDesignInfo(pnlRight->Width());
  SetWidth(pnlMain->Width() + 6);
  SetDesignInfo(Width());
  // 12
  ::SetTimer(Handle(), kTrackPlayTimer, 500, nullptr);
  // 13
  RunDriverTool(L"Remove");
}

void TKVMainForm::DelayedStart() {
  for (int i = 0; i < kSourceCount; ++i) {
    if (SourceWindows[i]) SourceWindows[i]->LoadWindow();
    if (SourcePages[i]) SourcePages[i]->LoadSource();
  }
  SetCaptureSource(SysConfig.CaptureSource);
  ShowSourcePage(SysConfig.ActiveSource);
  btnDisCapture->SetDown(!CaptureActive());
  EffectManA->BuildTabs();
  // our own page beside the program; without it, or without the web control, the strip stays empty
  const std::wstring page = ProgramDir + kAdPage;
  const std::wstring url = FileExists(page) ? FileUrl(page) : std::wstring();
  if (!url.empty()) AdBrowser->Navigate(url);
}

void TKVMainForm::ShowSourcePage(const std::wstring& pageName) {
  const std::wstring name = pageName.empty() ? std::wstring(L"Camera") : pageName;
  const int i = bookSource->PageIndex();
  if (i >= 0) {
    if (SourceWindows[i]) SourceWindows[i]->DeactivateWindow();
    if (SourcePages[i]) SourcePages[i]->DeactivateSource();
  }
  bookWindow->SetActivePage(L"Capture");
  bookCapture->SetActivePage(name);
  bookFunction->SetActivePage(L"Source");
  bookSource->SetActivePage(name);
  const int j = bookSource->PageIndex();
  if (j >= 0) {
    TabButtons[j]->SetDown(true);
    if (SourceWindows[j]) SourceWindows[j]->ActivateWindow();
    if (SourcePages[j]) SourcePages[j]->ActivateSource();
  }
  SysConfig.ActiveSource = pageName;
  if (j >= 0 && SourceWindows[j] && SourceWindows[j]->State() == kStatePlaying) SetCaptureSource(pageName);
}

void TKVMainForm::SetCaptureSource(const std::wstring& pageName) {
  if (settingCaptureSource_) return;
  settingCaptureSource_ = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{settingCaptureSource_};
  const std::wstring name = pageName.empty() ? std::wstring(L"Camera") : pageName;
  const int index = bookSource->Pages()->IndexOf(name);
  if (index < 0) return;
  TabButtons[index]->SetChecked(true);
  SysConfig.CaptureSource = pageName;
  SysConfig.CaptureSourceIndex = index;
}

void TKVMainForm::ShowCapturePage() { bookWindow->SetActivePage(L"Capture"); }

void TKVMainForm::ShowFunctionArea(const std::wstring& pageName) {
  DisableAlign();
  struct TRealign {
    TKVMainForm* f;
    ~TRealign() { f->EnableAlign(); }
  } realign{this};
  if (FunctionAreaCollapsed()) {
    if (!pageName.empty()) bookFunction->SetActivePage(pageName);
    const int grow = bookFunction->DesignInfo();
    SetClientHeight(ClientHeight() + grow);
    bookFunction->SetHeight(pnlSource->Height() + grow);
    pnlBroad->SetTop(bookFunction->Top() + bookFunction->Height() + 2);
  } else if (!pageName.empty()) {
    bookFunction->SetActivePage(pageName);
  } else {
    const int shrink = bookFunction->Height() - pnlSource->Height();
    bookFunction->SetDesignInfo(shrink);
    bookFunction->SetHeight(pnlSource->Height());
    SetClientHeight(ClientHeight() - shrink);
  }
}

void TKVMainForm::TrackPlayControls() {
  POINT p{};
  ::GetCursorPos(&p);
  HWND w = ::WindowFromPoint(p);
  HWND h = HoverWindow;
  if (w == h || (h != NoHoverWindow() && (::IsChild(w, h) || ::IsChild(h, w)))) return;
  HoverWindow = NoHoverWindow();
  DWORD pid = 0;
  if (w) ::GetWindowThreadProcessId(w, &pid);
  bool allowed = w && pid == ::GetCurrentProcessId();
  for (TSourceWindowAbs* win : SourceWindows)
    if (win) win->HoverPlayControls(p, allowed);
}

void TKVMainForm::FollowDocked(UINT flags) {
  WINDOWPOS pos{};
  pos.flags = flags;
  const std::vector<HWND> docked = DockedWindows;
  for (HWND d : docked) ::SendMessageW(d, WM_DOCK_FOLLOW, 0, reinterpret_cast<LPARAM>(&pos));
}

void TKVMainForm::FormClose(TObject*, TCloseAction& action) {
  if (!TrayIcon || Exiting) return;
  TrayIcon->HideMainForm();
  action = TCloseAction::caNone;
  FollowDocked(SWP_HIDEWINDOW);
}

void TKVMainForm::miShowMainFormClick(TObject*) {
  if (!TrayIcon) return;
  TrayIcon->ShowMainForm();
  FollowDocked(SWP_SHOWWINDOW);
}

void TKVMainForm::miReplyClick(TObject*) {
  ::ShellExecuteW(Handle(), L"open", kReplyAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

void TKVMainForm::miExitClick(TObject*) {
  Exiting = true;
  Close();
}

void TKVMainForm::FormDestroy(TObject*) {
  if (HandleAllocated()) ::KillTimer(HandleIfAllocated(), kTrackPlayTimer);
  FreeAndNil(EffectManA);  // its tabs close their forms
  // recordings still running end with complete files, before the sources stop
  FreeVideoRecorder();
  FreeAudioRecorder();
  for (TSourceWindowAbs* win : SourceWindows)
    if (win) win->Stop();
  DockedWindows.clear();
}

void TKVMainForm::btnDisCaptureClick(TObject*) { SetCaptureActive(!btnDisCapture->Down()); }

void TKVMainForm::btnSysConfigClick(TObject*) { ShowSysConfig(0); }

void TKVMainForm::btnSrcCameraClick(TObject* sender) {
  auto* tab = static_cast<TwButton*>(sender);
  const int index = tab->DesignInfo();
  if (bookSource->PageIndex() == index) {
    ShowFunctionArea(L"");
    return;
  }
  ShowFunctionArea(L"Source");
  if (tab->Down()) ShowSourcePage(bookSource->Pages()->Strings(index));
}

void TKVMainForm::btnSrcCameraCheckChanged(TObject* sender) {
  auto* tab = static_cast<TwButton*>(sender);
  if (tab->Checked()) SetCaptureSource(bookSource->Pages()->Strings(tab->DesignInfo()));
}

void TKVMainForm::btnEffectClick(TObject*) {
  if (!btnEffect->Down()) {
    SetWidth(CollapsedWidth());
  } else if (pnlRight->Width() < 20) {
    SetWidth(Width() + EffectOpenWidth());
  }
}

void TKVMainForm::btnVideoRecClick(TObject*) {
  if (btnVideoRec->Down()) ShowVideoRecorder(btnVideoRec);
  else HideVideoRecorder();
}

void TKVMainForm::btnAudioRecClick(TObject*) {
  if (btnAudioRec->Down()) ShowAudioRecorder(btnAudioRec);
  else HideAudioRecorder();
}

// A photo of the preview area, then its folder opened. A photo that cannot be taken or saved is
// reported by the application's handler.
void TKVMainForm::btnPhotoClick(TObject*) {
  const std::wstring file = TakePhoto();
  const std::wstring folder = file.substr(0, file.find_last_of(L'\\') + 1);
  ::ShellExecuteW(Handle(), L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TKVMainForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_TIMER: {
      const UINT_PTR id = m.WParam;
      if (id > 1000) ::KillTimer(Handle(), id);
      if (id == kDelayedStartTimer) DelayedStart();
      else if (id == kTrackPlayTimer) TrackPlayControls();
      else TForm::WndProc(m);
      return;
    }
    case WM_WINDOWPOSCHANGED: {
      TForm::WndProc(m);
      const std::vector<HWND> docked = DockedWindows;
      for (HWND d : docked) ::SendMessageW(d, WM_DOCK_FOLLOW, 0, m.LParam);
      return;
    }
    case WM_DOCK_ATTACH:
      DockedWindows.push_back(reinterpret_cast<HWND>(m.WParam));
      // a form given in LParam is skinned as part of the main window
      if (m.LParam && SkinData)
        if (auto* docked = dynamic_cast<TComponent*>(reinterpret_cast<TObject*>(m.LParam)))
          SkinData->SkinComponent(this, docked);
      return;
    case WM_DOCK_DETACH: {
      const HWND d = reinterpret_cast<HWND>(m.WParam);
      DockedWindows.erase(std::remove(DockedWindows.begin(), DockedWindows.end(), d), DockedWindows.end());
      return;
    }
    case WM_GET_PREVIEW_RECT: {
      const RECT r = bookWindow->ClientRect();
      const POINT tl = bookWindow->ClientToScreen(POINT{r.left, r.top});
      const POINT br = bookWindow->ClientToScreen(POINT{r.right, r.bottom});
      PreviewRect = RECT{tl.x, tl.y, br.x, br.y};
      m.Result = reinterpret_cast<LRESULT>(&PreviewRect);
      return;
    }
    case WM_GET_VIDEO_WINDOW: {
      m.Result = 0;
      const int index = bookWindow->PageIndex();
      TSourceWindowAbs* win = index >= 0 && index < kSourceCount ? SourceWindows[index] : nullptr;
      if (win) {
        for (TComponent* c : win->ComponentList()) {
          if (auto* video = dynamic_cast<TVideoWindow*>(c)) {
            m.Result = reinterpret_cast<LRESULT>(video);
            break;
          }
        }
      }
      return;
    }
    case WM_SET_CAPTURE_SOURCE: {
      const int index = static_cast<int>(m.LParam);
      if (index >= 0 && index < bookSource->PageCount()) SetCaptureSource(bookSource->Pages()->Strings(index));
      return;
    }
    case WM_RECORD_STATE: {
      auto* sender = reinterpret_cast<TwButton*>(m.LParam);
      if (sender == btnVideoRec) btnAudioRec->SetEnabled(m.WParam == 0);
      else if (sender == btnAudioRec) btnVideoRec->SetEnabled(m.WParam == 0);
      return;
    }
    case WM_DEVICECHANGE:
      for (TSourceAbs* page : SourcePages)
        if (page) page->DevicesChanged();
      TForm::WndProc(m);
      return;
    default:
      TForm::WndProc(m);
  }
}

void SkinEmbeddedForm(TControl* control) {
  if (!control || !KVMainForm || !KVMainForm->SkinData) return;
  TSkinData* skin = KVMainForm->SkinData;
  if (auto* form = dynamic_cast<TCustomForm*>(control)) {
    skin->SkinComponent(KVMainForm, form);
    return;
  }
  // the outermost form the control sits on: an embedded form's own parent chain ends in the main window
  TCustomForm* outer = nullptr;
  for (TWinControl* p = control->Parent(); p; p = p->Parent())
    if (auto* f = dynamic_cast<TCustomForm*>(p)) outer = f;
  if (outer) skin->UpdateSkinControl(outer, nullptr);
}

void StartMainUnit() { SkinFormProc = &SkinEmbeddedForm; }
}  // namespace kivo
