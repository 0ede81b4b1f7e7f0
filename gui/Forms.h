// Forms and frames, the application object with its hidden window and message loop, the
// screen, and utility windows for non-visual components.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <vector>

#include "Controls.h"

namespace kivo {

constexpr int mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY, mrIgnore = IDIGNORE,
              mrYes = IDYES, mrNo = IDNO, mrAll = mrNo + 1, mrNoToAll = mrAll + 1, mrYesToAll = mrNoToAll + 1;
using TModalResult = int;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = uint8_t;
enum class TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                       poMainFormCenter, poOwnerFormCenter };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// A control that may scroll its client area (AutoScroll is kept; scroll bars are not drawn).
class TScrollingWinControl : public TWinControl {
  KIVO_CLASS(TScrollingWinControl, TWinControl)
  explicit TScrollingWinControl(TComponent* owner);
  bool AutoScroll() const { return autoScroll_; }
  void SetAutoScroll(bool v) { autoScroll_ = v; }

 private:
  bool autoScroll_ = true;
};

// A form. Described in code: its constructor (and those of derived forms, after it) creates and
// sets up the components while the form is loading; Create<TMyForm>(owner) ends the loading
// (Loaded of every component) and then fires OnCreate.
class TCustomForm : public TScrollingWinControl {
  KIVO_CLASS(TCustomForm, TScrollingWinControl)
  static void Publish(TPublisher<TCustomForm>& p);
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;
  void AfterConstruction() override;
  void BeforeDestruction() override;

  void Show();
  void Hide() { SetVisible(false); }
  // Shows the form and runs messages until ModalResult is set (or the form closes); disables the
  // thread's other windows meanwhile. Answers ModalResult.
  TModalResult ShowModal();
  void Close();
  bool CloseQuery();
  // Frees the form from the message loop (posts CM_RELEASE).
  void Release();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  bool Modal() const { return modal_; }

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle s);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons i);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle s);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState s);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }
  // The window's icon (a copy is kept).
  HICON Icon() const { return icon_.Get(); }
  void SetIcon(HICON icon);
  // The menu bar (not owned; a main menu component sets it). Sends CM_MENUCHANGED.
  HMENU MenuHandle() const { return menu_; }
  void SetMenuHandle(HMENU menu);
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* c);
  bool Active() const { return active_; }
  TCanvas* Canvas() const { return canvas_.get(); }

  RECT ClientRect() const override;
  void SetVisible(bool v) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void WndProc(TMessage& m) override;
  // Key preview: the form sees its controls' keys first.
  bool DoKeyDown(WORD& key, TShiftState shift) override;
  bool DoKeyUp(WORD& key, TShiftState shift) override;
  bool DoKeyPress(wchar_t& key) override;
  // Bookkeeping of the focused control (called by the controls).
  void FocusControlChanged(TWinControl* c);
  void DefocusControl(TControl* c, bool removing);

 protected:
  void CreateParams(TCreateParams& p) override;
  void CreateWnd() override;
  void PaintWindow(HDC dc) override;
  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& action);
  void Notification(TComponent* c, TOperation op) override;

 private:
  void ApplyPosition();
  // Window style bits of the frame (border style, icons, embedding).
  void FrameStyle(DWORD& style, DWORD& exStyle) const;
  TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TPosition position_ = TPosition::poDesigned;
  TFormStyle formStyle_ = TFormStyle::fsNormal;
  TWindowState windowState_ = TWindowState::wsNormal;
  bool keyPreview_ = false;
  TIconOwner icon_;
  HMENU menu_ = nullptr;
  TWinControl* activeControl_ = nullptr;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool active_ = false;
  bool positioned_ = false;
  bool showWhenLoaded_ = false;
  std::unique_ptr<TControlCanvas> canvas_;
};

class TForm : public TCustomForm {
  KIVO_CLASS(TForm, TCustomForm)
  static void Publish(TPublisher<TForm>& p);
  using TCustomForm::TCustomForm;
};

// A frame: a panel of components described in code like a form, placed on a form or any
// windowed control, and re-parentable at run time.
class TCustomFrame : public TScrollingWinControl {
  KIVO_CLASS(TCustomFrame, TScrollingWinControl)
  explicit TCustomFrame(TComponent* owner);
};
class TFrame : public TCustomFrame {
  KIVO_CLASS(TFrame, TCustomFrame)
  static void Publish(TPublisher<TFrame>& p);
  using TCustomFrame::TCustomFrame;
};

// A hidden window whose messages go to a method (for timers, tray icons, ...).
class TUtilWindow {
 public:
  explicit TUtilWindow(TWndMethod method);
  ~TUtilWindow();
  TUtilWindow(const TUtilWindow&) = delete;
  TUtilWindow& operator=(const TUtilWindow&) = delete;
  HWND Handle() const { return wnd_.Get(); }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  TWndMethod method_;
  TWindowOwner wnd_;
};

using TMessageEvent = std::function<void(MSG& msg, bool& handled)>;
using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;
// A hook on the application window: answer true when the message was handled.
using TWindowHook = std::function<bool(TMessage& m)>;

class TApplication : public TComponent {
  KIVO_CLASS(TApplication, TComponent)
  explicit TApplication(TComponent* owner);
  ~TApplication() override;

  void Initialize() {}
  // Makes a form owned by the application; the first one becomes the main form.
  template <class T, class... A>
  T* CreateForm(T*& ref, A&&... args) {
    ref = Create<T>(this, std::forward<A>(args)...);
    if (!mainForm_) {
      ref->HandleNeeded();
      mainForm_ = ref;
    }
    return ref;
  }
  // Shows the main form and runs the message loop until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles the messages waiting, without waiting.
  void ProcessMessages();
  // Handles one message, waiting (idle) when there is none.
  void HandleMessage();
  // From a catch block: EAbort is silent; others go to OnException or the message box.
  void HandleException(TObject* sender);
  void ShowException(const std::exception& e);
  int MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);

  // The hidden application window (class "TApplication"), made when first asked for.
  HWND Handle();
  HWND HandleIfAllocated() const { return handle_.Get(); }
  TCustomForm* MainForm() const { return mainForm_; }
  std::wstring Title() const;
  void SetTitle(const std::wstring& t);
  HICON Icon() const { return icon_.Get(); }
  void SetIcon(HICON icon);
  std::wstring ExeName() const { return ParamStr(0); }
  bool ShowMainForm = true;
  void Minimize();
  void Restore();
  void BringToFront();
  // Hooks in front of the application window's own handling; the id unhooks.
  int HookMainWindow(TWindowHook hook);
  void UnhookMainWindow(int id);
  int ModalLevel() const { return modalLevel_; }

  TMessageEvent OnMessage;
  TExceptionEvent OnException;
  TNotifyEvent OnIdle;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  friend class TCustomForm;
  bool ProcessMessage(MSG& msg);
  bool IsKeyMsg(MSG& msg);
  void Idle();
  static LRESULT CALLBACK AppWndProc(HWND, UINT, WPARAM, LPARAM);
  void WndProc(TMessage& m);

  TWindowOwner handle_;
  TCustomForm* mainForm_ = nullptr;
  std::wstring title_;
  TIconOwner icon_;
  bool terminated_ = false;
  int modalLevel_ = 0;
  std::vector<std::pair<int, TWindowHook>> hooks_;
  int nextHook_ = 1;
};

class TScreen : public TComponent {
  KIVO_CLASS(TScreen, TComponent)
  explicit TScreen(TComponent* owner);
  ~TScreen() override;

  // Forms in z-order, the topmost first (forms without a window last, in creation order).
  int FormCount() const;
  TCustomForm* Forms(int index) const;
  std::vector<TCustomForm*> FormList() const;
  TCustomForm* ActiveForm() const { return activeForm_; }
  TWinControl* ActiveControl() const;
  // Cursor handles by TCursor number; the standard ones are there from the start.
  HCURSOR Cursors(TCursor c) const;
  void SetCursors(TCursor c, HCURSOR h);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  int Width() const { return ::GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return ::GetSystemMetrics(SM_CYSCREEN); }
  RECT WorkAreaRect() const;
  int PixelsPerInch() const;
  TFont* MenuFont() const { return menuFont_.get(); }

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> forms_;
  TCustomForm* activeForm_ = nullptr;
  std::map<TCursor, HCURSOR> cursors_;
  std::vector<HCURSOR> ownCursors_;
  TCursor cursor_ = crDefault;
  std::unique_ptr<TFont> menuFont_;
};

// The application and the screen of this process, made when first asked for.
TApplication* Application();
TScreen* Screen();
// Frees the application (its forms first) and the screen: the program's last step.
void DoneApplication();

}  // namespace kivo
