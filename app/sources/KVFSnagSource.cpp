#include "KVFSnagSource.h"

#include <algorithm>
#include <string>

#include "IniFiles.h"
#include "KVFSnagWindow.h"
#include "KVMakeControl.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSnagSource)

namespace {
constexpr wchar_t kSection[] = L"Snag";
constexpr wchar_t kHintText[] = L"将右侧图标拖动到要捕捉的窗口";
constexpr std::size_t kRadioPrefix = 6;  // "rbSnag"
constexpr std::size_t kEditPrefix = 7;   // "edtSnag"

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, const wchar_t* name, int x, int y, const wchar_t* caption) {
  TLabel* l = MakeControl<TLabel>(owner, parent, name, x, y, 80, 14, caption);
  l->SetTransparent(true);
  return l;
}

int NumberOr(const std::wstring& text, int def) {
  int v = 0;
  return TryStrToInt(Trim(text), v) ? v : def;
}
}  // namespace

TSnagSource::TSnagSource(TComponent* owner) : TSourceAbs(owner) {
  SetName(L"SnagSourceA");
  SetHeight(237);
  rbSnagRect = MakeControl<TRadioButton>(this, this, L"rbSnagRect", 8, 6, 110, 18, L"捕捉指定区域");
  rbSnagRect->SetChecked(true);
  chkTraceMouse = MakeControl<TCheckBox>(this, this, L"chkTraceMouse", 130, 6, 180, 18, L"捕捉区域跟随鼠标移动");
  lblStart = MakeLabel(this, this, L"lblStart", 24, 34, L"捕捉区域起始点");
  lblLeft = MakeLabel(this, this, L"lblLeft", 112, 34, L"左上(X)");
  lblLeft->SetWidth(44);
  edtSnagLeft = MakeControl<TEdit>(this, this, L"edtSnagLeft", 158, 30, 50, 20);
  lblTop = MakeLabel(this, this, L"lblTop", 214, 34, L"左上(Y)");
  lblTop->SetWidth(44);
  edtSnagTop = MakeControl<TEdit>(this, this, L"edtSnagTop", 260, 30, 50, 20);
  lblSize = MakeLabel(this, this, L"lblSize", 24, 60, L"捕捉区域大小");
  lblWidth = MakeLabel(this, this, L"lblWidth", 112, 60, L"宽度");
  lblWidth->SetWidth(44);
  edtSnagWidth = MakeControl<TEdit>(this, this, L"edtSnagWidth", 158, 56, 50, 20);
  lblHeight = MakeLabel(this, this, L"lblHeight", 214, 60, L"高度");
  lblHeight->SetWidth(44);
  edtSnagHeight = MakeControl<TEdit>(this, this, L"edtSnagHeight", 260, 56, 50, 20);
  lblNote = MakeLabel(this, this, L"lblNote", 24, 84, L"使用选择区域选择扑捉区域，或者手工输入以后点应用");
  lblNote->SetWidth(290);
  rbSnagWindow = MakeControl<TRadioButton>(this, this, L"rbSnagWindow", 8, 112, 80, 18, L"捕捉窗口");
  imgSnagWindow = MakeControl<TwButton>(this, this, L"imgSnagWindow", 92, 107, 31, 28);
  imgSnagWindow->SetGroupIndex(100);
  imgSnagWindow->SetAllowAllUp(true);
  imgSnagWindow->SetBorderStyle(TwBorderStyle::bsSingle);
  imgSnagWindow->SetVisible(false);
  {
    TBitmap glyph;
    if (LoadGlyphResource(glyph, L"KV_PICKER")) imgSnagWindow->SetGlyph(&glyph);
  }
  lblSnagHint = MakeLabel(this, this, L"lblSnagHint", 128, 114, kHintText);
  lblSnagHint->SetWidth(186);
  lblSnagHint->SetHint(kHintText);
  btnStartSnag = MakeControl<TButton>(this, this, L"btnStartSnag", 8, 150, 100, 24, L"启动屏幕捕捉");
  btnStopSnag = MakeControl<TButton>(this, this, L"btnStopSnag", 8, 180, 100, 24, L"停止屏幕捕捉");
  btnStopSnag->SetVisible(false);
  btnHideSnagRect = MakeControl<TButton>(this, this, L"btnHideSnagRect", 112, 150, 98, 24, L"隐藏捕捉窗口");
  btnShowSnagRect = MakeControl<TButton>(this, this, L"btnShowSnagRect", 214, 150, 98, 24, L"显示捕捉窗口");

  for (TRadioButton* rb : {rbSnagRect, rbSnagWindow}) rb->OnClick = Method(this, &TSnagSource::rbSnagTypeClick);
  chkTraceMouse->OnClick = Method(this, &TSnagSource::chkTraceMouseClick);
  for (TEdit* e : {edtSnagLeft, edtSnagTop, edtSnagWidth, edtSnagHeight}) {
    e->OnExit = Method(this, &TSnagSource::RectEditExit);
    e->OnKeyDown = Method(this, &TSnagSource::RectEditKeyDown);
    e->OnKeyPress = Method(this, &TSnagSource::RectEditKeyPress);
  }
  imgSnagWindow->OnMouseDown = Method(this, &TSnagSource::imgSnagWindowMouseDown);
  btnStartSnag->OnClick = Method(this, &TSnagSource::btnStartSnagClick);
  btnStopSnag->OnClick = Method(this, &TSnagSource::btnStopSnagClick);
  btnHideSnagRect->OnClick = Method(this, &TSnagSource::btnHideSnagRectClick);
  btnShowSnagRect->OnClick = Method(this, &TSnagSource::btnShowSnagRectClick);
}

void TSnagSource::AfterConstruction() {
  TSourceAbs::AfterConstruction();
  // the stop button shares the start button's place
  btnStopSnag->SetBoundsRect(btnStartSnag->BoundsRect());
  SnagRect = Create<TSnagRectObject>();
  SnagRect->KeepAspect = true;
  SnagRect->OnBeginDrag = Method(this, &TSnagSource::PauseForDrag);
  SnagRect->OnDrag = Method(this, &TSnagSource::DragUpdate);
  SnagRect->OnEndDrag = Method(this, &TSnagSource::EndDrag);
  Screen()->SetCursors(kPickerCursor, ::LoadCursorW(HInstance(), MAKEINTRESOURCEW(kPickerCursorResource)));
  LoadSettings();
}

TSnagSource::~TSnagSource() {
  if (Picking && HandleAllocated()) ::KillTimer(HandleIfAllocated(), kPickTimer);
  if (Picking) Screen()->SetCursor(crDefault);
  if (SnagRect) SnagRect->Free();
  SnagRect = nullptr;
}

TSnagWindow* TSnagSource::SnagWindow() const { return dynamic_cast<TSnagWindow*>(Window); }

void TSnagSource::LoadSettings() {
  TObjectPtr<TIniFile> ini = CreateAppIniFile();
  const std::wstring type = ini->ReadString(kSection, L"Type", L"");
  if (!type.empty()) {
    if (auto* rb = dynamic_cast<TRadioButton*>(FindComponent(L"rbSnag" + type))) {
      rb->SetTag(1);
      struct TTagReset {
        TRadioButton* Button;
        ~TTagReset() { Button->SetTag(0); }
      } reset{rb};
      rb->SetChecked(true);
    }
  }
  const int W = OutputWidth.load(), H = OutputHeight.load();
  edtSnagLeft->SetText(std::to_wstring(std::max(0, ini->ReadInteger(kSection, L"Left", 0))));
  edtSnagTop->SetText(std::to_wstring(std::max(0, ini->ReadInteger(kSection, L"Top", 0))));
  edtSnagWidth->SetText(std::to_wstring(std::max(W, ini->ReadInteger(kSection, L"Width", W))));
  edtSnagHeight->SetText(std::to_wstring(std::max(H, ini->ReadInteger(kSection, L"Height", H))));
  chkTraceMouse->SetChecked(ini->ReadBool(kSection, L"TraceMouse", true));
}

void TSnagSource::SaveSettings() {
  TObjectPtr<TIniFile> ini = CreateAppIniFile();
  ini->BeginUpdate();
  const TRadioButton* checked = rbSnagWindow->Checked() ? rbSnagWindow : rbSnagRect;
  ini->WriteString(kSection, L"Type", checked->Name().substr(kRadioPrefix));
  for (TEdit* e : {edtSnagLeft, edtSnagTop, edtSnagWidth, edtSnagHeight})
    ini->WriteString(kSection, e->Name().substr(kEditPrefix), e->Text());
  ini->WriteBool(kSection, L"TraceMouse", chkTraceMouse->Checked());
  ini->UpdateFile();
}

void TSnagSource::ApplySource(bool restart) {
  TSourceAbs::ApplySource(restart);
  TSnagWindow* w = SnagWindow();
  if (!w) return;
  if (rbSnagWindow->Checked()) w->SnagMode = kSnagWindow;
  else if (rbSnagRect->Checked()) w->SnagMode = kSnagRegion;
  w->TraceMouse = chkTraceMouse->Checked();
  w->TargetWindow = PickedWindow;
  const int left = NumberOr(edtSnagLeft->Text(), 0), top = NumberOr(edtSnagTop->Text(), 0);
  const int width = NumberOr(edtSnagWidth->Text(), OutputWidth.load());
  const int height = NumberOr(edtSnagHeight->Text(), OutputHeight.load());
  w->Region = RECT{left, top, left + width, top + height};
}

void TSnagSource::ApplyEdit(TEdit* edit) {
  if (!edit || !edit->Modified()) return;
  ApplySource(false);
  SaveSettings();
  edit->SetModified(false);
}

void TSnagSource::ShowFrame() {
  if (rbSnagRect->Checked()) ShowRegionFrame();
  else ShowWindowFrame();
}

void TSnagSource::ShowRegionFrame() {
  SnagRect->SetMode(kFrameMove | kFrameResize);
  if (TSnagWindow* w = SnagWindow()) {
    SnagRect->SetVisibleFrame(true);
    SnagRect->SetBounds(w->Region);
  }
}

void TSnagSource::ShowWindowFrame() {
  SnagRect->SetMode(0);
  if (PickedWindow && ::IsWindow(PickedWindow)) SnagRect->SetBoundsFromWindow(PickedWindow);
  else SnagRect->HideStrips();
}

void TSnagSource::ShowStopButton() {
  btnStartSnag->SetVisible(false);
  btnStopSnag->SetVisible(true);
}

void TSnagSource::ShowStartButton() {
  btnStopSnag->SetVisible(false);
  btnStartSnag->SetVisible(true);
  if (SnagRect) SnagRect->HideStrips();
}

void TSnagSource::rbSnagTypeClick(TObject* sender) {
  if (IsLoading()) return;
  if (Window) Window->Stop();
  auto* rb = dynamic_cast<TRadioButton*>(sender);
  if (!rb || rb->Tag() != 1) SaveSettings();
  imgSnagWindow->SetVisible(sender == rbSnagWindow);
  ApplySource(false);
}

void TSnagSource::chkTraceMouseClick(TObject*) {
  if (IsLoading()) return;
  SaveSettings();
  ApplySource(false);
}

void TSnagSource::RectEditExit(TObject* sender) { ApplyEdit(dynamic_cast<TEdit*>(sender)); }

void TSnagSource::RectEditKeyDown(TObject* sender, WORD& key, TShiftState) {
  if (key == VK_RETURN) ApplyEdit(dynamic_cast<TEdit*>(sender));
}

void TSnagSource::RectEditKeyPress(TObject*, wchar_t& key) {
  if (key == L'\r') key = 0;
}

void TSnagSource::imgSnagWindowMouseDown(TObject*, TMouseButton, TShiftState, int, int) { StartPick(); }

void TSnagSource::btnStartSnagClick(TObject*) {
  SnagRect->SetVisibleFrame(true);
  if (Window) Window->Play(kPlayCurrent, false);
}

void TSnagSource::btnStopSnagClick(TObject*) {
  if (Window) Window->Stop();
}

void TSnagSource::btnHideSnagRectClick(TObject*) { SnagRect->SetVisibleFrame(false); }

void TSnagSource::btnShowSnagRectClick(TObject*) { ShowFrame(); }

void TSnagSource::PauseForDrag(TObject*) {
  if (Window && Window->State() == kStatePlaying) {
    ResumeAfterDrag = true;
    Window->Stop();
  } else {
    ResumeAfterDrag = false;
  }
}

void TSnagSource::DragUpdate(TObject*) {
  if (!rbSnagRect->Checked() || chkTraceMouse->Checked()) return;
  edtSnagLeft->SetText(std::to_wstring(SnagRect->Left()));
  edtSnagWidth->SetText(std::to_wstring(SnagRect->Width()));
  edtSnagTop->SetText(std::to_wstring(SnagRect->Top()));
  edtSnagHeight->SetText(std::to_wstring(SnagRect->Height()));
  for (TEdit* e : {edtSnagLeft, edtSnagTop, edtSnagWidth, edtSnagHeight}) e->SetModified(false);
}

void TSnagSource::EndDrag(TObject*) {
  if (rbSnagRect->Checked() && !chkTraceMouse->Checked()) {
    SaveSettings();
    ApplySource(false);
  }
  if (ResumeAfterDrag && Window) Window->Play(kPlayCurrent, true);
}

void TSnagSource::StartPick() {
  if (Picking) return;
  Picking = true;
  Screen()->SetCursor(kPickerCursor);
  LastPickRect = RECT{0, 0, 0, 0};
  imgSnagWindow->SetDown(true);
  ::SetTimer(Handle(), kPickTimer, kPickIntervalMs, nullptr);
}

void TSnagSource::PickStep() {
  if (!Picking) return;
  if (!(::GetAsyncKeyState(VK_LBUTTON) & 0x8000)) {
    EndPick(true);
    return;
  }
  POINT p{};
  if (!::GetCursorPos(&p)) return;
  const HWND w = ::WindowFromPoint(p);
  // the frame's own strips lie over the picked window's edge: they are never a target
  if (!w || SnagRect->IsStrip(w) || w == PickedWindow) return;
  PickedWindow = w;
  wchar_t title[256] = {};
  ::GetWindowTextW(w, title, 256);
  lblSnagHint->SetCaption(title);
  RECT r{};
  if (::GetWindowRect(w, &r) && !::EqualRect(&r, &LastPickRect)) {
    SnagRect->SetBounds(r);
    LastPickRect = r;
  }
}

void TSnagSource::EndPick(bool keep) {
  if (!Picking) return;
  if (HandleAllocated()) ::KillTimer(HandleIfAllocated(), kPickTimer);
  Screen()->SetCursor(crDefault);
  LastPickRect = RECT{0, 0, 0, 0};
  imgSnagWindow->SetDown(false);
  if (!keep) PickedWindow = nullptr;
  lblSnagHint->SetCaption(kHintText);
  Picking = false;
  ApplySource(false);
  ShowWindowFrame();
}

void TSnagSource::WndProc(TMessage& m) {
  if (m.Msg == WM_TIMER && m.WParam == kPickTimer) {
    PickStep();
    return;
  }
  TSourceAbs::WndProc(m);
}
}  // namespace kivo
