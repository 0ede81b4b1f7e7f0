#include "Dialogs.h"

#include <algorithm>

#include "Pictures.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TMessageForm)
KIVO_IMPLEMENT_CLASS(TCommonDialog)
KIVO_IMPLEMENT_CLASS_PUBLISHED(TOpenDialog)
KIVO_IMPLEMENT_CLASS(TSaveDialog)
KIVO_IMPLEMENT_CLASS(TOpenPictureDialog)
KIVO_IMPLEMENT_CLASS(TFontDialog)
KIVO_IMPLEMENT_CLASS(TColorDialog)

// ---- Message dialog ---------------------------------------------------------------------------
namespace {
// The system icon of a message kind, drawn by the form.
class TMessageIcon : public TGraphicControl {
  KIVO_CLASS(TMessageIcon, TGraphicControl)
  TMessageIcon(TComponent* owner, LPCWSTR icon) : TGraphicControl(owner), icon_(icon) { SetBounds(0, 0, 32, 32); }

 protected:
  void Paint() override {
    if (HICON h = ::LoadIconW(nullptr, icon_)) ::DrawIconEx(Canvas()->Handle(), 0, 0, h, 32, 32, 0, nullptr, DI_NORMAL);
  }

 private:
  LPCWSTR icon_;
};
KIVO_IMPLEMENT_CLASS(TMessageIcon)

struct TButtonKind {
  const wchar_t* name;
  const wchar_t* caption;
  int result;
};
const TButtonKind kButtons[] = {
    {L"Yes", L"&Yes", mrYes},       {L"No", L"&No", mrNo},           {L"OK", L"OK", mrOk},
    {L"Cancel", L"Cancel", mrCancel}, {L"Abort", L"&Abort", mrAbort}, {L"Retry", L"&Retry", mrRetry},
    {L"Ignore", L"&Ignore", mrIgnore}, {L"All", L"&All", mrAll},     {L"NoToAll", L"N&o to All", mrNoToAll},
    {L"YesToAll", L"Yes to &All", mrYesToAll}, {L"Help", L"&Help", mrNone},
};
const wchar_t* const kCaptions[] = {L"Warning", L"Error", L"Information", L"Confirm", nullptr};
const LPCWSTR kIcons[] = {IDI_WARNING, IDI_ERROR, IDI_INFORMATION, IDI_QUESTION, nullptr};
}  // namespace

TMessageForm::TMessageForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetPosition(TPosition::poScreenCenter);
  SetColor(clBtnFace);
}

TMessageForm* CreateMessageDialog(const std::wstring& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
  TObjectPtr<TMessageForm> f(Create<TMessageForm>(Application()));
  int t = static_cast<int>(type);
  f->SetCaption(kCaptions[t] ? kCaptions[t] : Application()->Title());
  const int margin = 8, buttonW = 75, buttonH = 25, gap = 8;
  int x = margin;
  if (kIcons[t]) {
    auto* icon = new TMessageIcon(f.get(), kIcons[t]);
    icon->SetName(L"Image");
    icon->SetParent(f.get());
    icon->SetBounds(margin, margin, 32, 32);
    x += 32 + margin;
  }
  f->Message = new TLabel(f.get());
  f->Message->SetName(L"Message");
  f->Message->SetParent(f.get());
  f->Message->SetWordWrap(true);
  f->Message->SetBounds(x, margin, std::max(200, Screen()->Width() / 3), 13);
  f->Message->SetCaption(msg);
  int textBottom = std::max(f->Message->Top() + f->Message->Height(), margin + 32);
  int count = 0;
  for (int b = 0; b <= mbHelp; ++b)
    if (buttons & (1u << b)) ++count;
  int rowWidth = count * buttonW + (count > 0 ? (count - 1) * gap : 0);
  int clientW = std::max(x + f->Message->Width() + margin, rowWidth + 2 * margin);
  int bx = (clientW - rowWidth) / 2, by = textBottom + 2 * margin;
  bool defaultSet = false;
  for (int b = 0; b <= mbHelp; ++b) {
    if (!(buttons & (1u << b))) continue;
    auto* btn = new TButton(f.get());
    btn->SetName(kButtons[b].name);
    btn->SetParent(f.get());
    btn->SetCaption(kButtons[b].caption);
    btn->SetModalResult(kButtons[b].result);
    btn->SetBounds(bx, by, buttonW, buttonH);
    if (!defaultSet && (b == mbOK || b == mbYes)) {
      btn->SetDefault(true);
      defaultSet = true;
    }
    if (b == mbCancel || (b == mbNo && !(buttons & MsgDlgButton(mbCancel)))) btn->SetCancel(true);
    f->Buttons.push_back(btn);
    bx += buttonW + gap;
  }
  if (!defaultSet && !f->Buttons.empty()) f->Buttons.front()->SetDefault(true);
  f->SetClientSize(clientW, by + buttonH + margin);
  if (!f->Buttons.empty()) f->SetActiveControl(f->Buttons.front());
  return f.release();
}

int MessageDlg(const std::wstring& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  TObjectPtr<TMessageForm> f(CreateMessageDialog(msg, type, buttons));
  return f->ShowModal();
}

void ShowMessage(const std::wstring& msg) { MessageDlg(msg, TMsgDlgType::mtCustom, MsgDlgButton(mbOK)); }

// ---- TCommonDialog ----------------------------------------------------------------------------
HWND TCommonDialog::OwnerWindow() {
  if (TCustomForm* f = Screen()->ActiveForm())
    if (f->HandleAllocated()) return f->HandleIfAllocated();
  return Application()->Handle();
}
bool TCommonDialog::RunSystemDialog(const std::function<bool()>& run, const std::wstring& kind) {
  if (OnShow) OnShow(this);
  bool ok = run();
  DWORD err = ok ? 0 : ::CommDlgExtendedError();
  if (OnClose) OnClose(this);
  if (err) throw EInvalidOperation(kind + L" dialog failed (error " + IntToHex(err, 4) + L")");
  return ok;
}

// ---- TOpenDialog ------------------------------------------------------------------------------
void TOpenDialog::Publish(TPublisher<TOpenDialog>& p) {
  p.String(L"Filter", &TOpenDialog::Filter, &TOpenDialog::SetFilter);
  p.Integer(L"FilterIndex", &TOpenDialog::FilterIndex, &TOpenDialog::SetFilterIndex);
  p.String(L"FileName", &TOpenDialog::FileName, &TOpenDialog::SetFileName);
  p.String(L"InitialDir", &TOpenDialog::InitialDir, &TOpenDialog::SetInitialDir);
  p.String(L"DefaultExt", &TOpenDialog::DefaultExt, &TOpenDialog::SetDefaultExt);
  p.String(L"Title", &TOpenDialog::Title, &TOpenDialog::SetTitle);
}
TOpenDialog::TOpenDialog(TComponent* owner) : TCommonDialog(owner), files_(std::make_unique<TStringList>()) {}
TOpenDialog::~TOpenDialog() = default;

void TOpenDialog::Prepare(TSetup& s) const {
  s.filter.clear();
  for (wchar_t ch : filter_) s.filter += ch == L'|' ? L'\0' : ch;
  if (!s.filter.empty()) s.filter += L'\0';
  s.filter += L'\0';
  // room for many names in a multiple selection
  s.file.assign(options_ & ofAllowMultiSelect ? 0x10000 : MAX_PATH * 2, L'\0');
  std::copy_n(fileName_.begin(), std::min(fileName_.size(), s.file.size() - 1), s.file.begin());
  s.initialDir = initialDir_;
  s.defaultExt = defaultExt_;
  s.title = title_;
  if (s.defaultExt.size() > 0 && s.defaultExt[0] == L'.') s.defaultExt.erase(0, 1);
  OPENFILENAMEW& o = s.ofn;
  o = OPENFILENAMEW{};
  o.lStructSize = sizeof(o);
  o.hwndOwner = OwnerWindow();
  o.lpstrFilter = filter_.empty() ? nullptr : s.filter.c_str();
  o.nFilterIndex = static_cast<DWORD>(filterIndex_);
  o.lpstrFile = s.file.data();
  o.nMaxFile = static_cast<DWORD>(s.file.size());
  o.lpstrInitialDir = s.initialDir.empty() ? nullptr : s.initialDir.c_str();
  o.lpstrTitle = s.title.empty() ? nullptr : s.title.c_str();
  o.lpstrDefExt = s.defaultExt.empty() ? nullptr : s.defaultExt.c_str();
  // the option bits are the OFN_ bits in the same order
  static const DWORD kFlags[] = {OFN_READONLY, OFN_OVERWRITEPROMPT, OFN_HIDEREADONLY, OFN_NOCHANGEDIR, OFN_SHOWHELP,
                                 OFN_NOVALIDATE, OFN_ALLOWMULTISELECT, OFN_EXTENSIONDIFFERENT, OFN_PATHMUSTEXIST,
                                 OFN_FILEMUSTEXIST, OFN_CREATEPROMPT, OFN_SHAREAWARE, OFN_NOREADONLYRETURN,
                                 OFN_NOTESTFILECREATE, OFN_NONETWORKBUTTON, OFN_NOLONGNAMES, 0, OFN_NODEREFERENCELINKS,
                                 OFN_ENABLEINCLUDENOTIFY, OFN_ENABLESIZING};
  o.Flags = OFN_EXPLORER;
  for (int i = 0; i < 20; ++i)
    if (options_ & (1u << i)) o.Flags |= kFlags[i];
}

void TOpenDialog::TakeResult(const TSetup& s) {
  files_->Clear();
  const wchar_t* p = s.file.data();
  std::wstring first = p;
  p += first.size() + 1;
  if ((options_ & ofAllowMultiSelect) && *p) {
    // a folder, then the names chosen in it
    std::wstring dir = IncludeTrailingPathDelimiter(first);
    while (*p) {
      std::wstring name = p;
      files_->Add(dir + name);
      p += name.size() + 1;
    }
  } else {
    files_->Add(first);
  }
  fileName_ = files_->Count() > 0 ? files_->Get(0) : std::wstring();
  filterIndex_ = static_cast<int>(s.ofn.nFilterIndex);
}

bool TOpenDialog::RunDialog(OPENFILENAMEW& ofn) { return ::GetOpenFileNameW(&ofn) != FALSE; }
bool TSaveDialog::RunDialog(OPENFILENAMEW& ofn) { return ::GetSaveFileNameW(&ofn) != FALSE; }

bool TOpenDialog::Execute() {
  TSetup s;
  Prepare(s);
  bool ok = RunSystemDialog([&] { return RunDialog(s.ofn); }, L"File");
  if (ok) TakeResult(s);
  return ok;
}

TOpenPictureDialog::TOpenPictureDialog(TComponent* owner, const std::wstring& filter) : TOpenDialog(owner) {
  SetFilter(filter.empty() ? GraphicFilter(TGraphic::StaticClass()) : filter);
}

// ---- TFontDialog ------------------------------------------------------------------------------
TFontDialog::TFontDialog(TComponent* owner) : TCommonDialog(owner), font_(std::make_unique<TFont>()) {}
TFontDialog::~TFontDialog() = default;
void TFontDialog::Prepare(TSetup& s) const {
  s.lf = font_->LogFont();
  CHOOSEFONTW& c = s.cf;
  c = CHOOSEFONTW{};
  c.lStructSize = sizeof(c);
  c.hwndOwner = OwnerWindow();
  c.lpLogFont = &s.lf;
  c.rgbColors = ColorToRGB(font_->Color());
  c.Flags = CF_INITTOLOGFONTSTRUCT | CF_SCREENFONTS;
  if (options_ & fdEffects) c.Flags |= CF_EFFECTS;
  if (options_ & fdAnsiOnly) c.Flags |= CF_SCRIPTSONLY;
  if (options_ & fdTrueTypeOnly) c.Flags |= CF_TTONLY;
  if (options_ & fdFixedPitchOnly) c.Flags |= CF_FIXEDPITCHONLY;
  if (options_ & fdForceFontExist) c.Flags |= CF_FORCEFONTEXIST;
  if (options_ & fdNoFaceSel) c.Flags |= CF_NOFACESEL;
  if (options_ & fdNoSizeSel) c.Flags |= CF_NOSIZESEL;
  if (options_ & fdNoStyleSel) c.Flags |= CF_NOSTYLESEL;
  if ((options_ & fdLimitSize) && MaxFontSize > 0) {
    c.Flags |= CF_LIMITSIZE;
    c.nSizeMin = MinFontSize;
    c.nSizeMax = MaxFontSize;
  }
}
void TFontDialog::TakeResult(const TSetup& s) {
  font_->AssignLogFont(s.lf);
  if (options_ & fdEffects) font_->SetColor(static_cast<TColor>(s.cf.rgbColors));
}
bool TFontDialog::Execute() {
  TSetup s;
  Prepare(s);
  bool ok = RunSystemDialog([&] { return ::ChooseFontW(&s.cf) != FALSE; }, L"Font");
  if (ok) TakeResult(s);
  return ok;
}

// ---- TColorDialog -----------------------------------------------------------------------------
TColorDialog::TColorDialog(TComponent* owner) : TCommonDialog(owner), customColors_(std::make_unique<TStringList>()) {}
TColorDialog::~TColorDialog() = default;
void TColorDialog::Prepare(TSetup& s) const {
  for (int i = 0; i < 16; ++i) {
    std::wstring v = customColors_->Values(std::wstring(L"Color") + static_cast<wchar_t>(L'A' + i));
    s.custom[i] = v.empty() ? 0xFFFFFF : static_cast<COLORREF>(wcstoul(v.c_str(), nullptr, 16));
  }
  CHOOSECOLORW& c = s.cc;
  c = CHOOSECOLORW{};
  c.lStructSize = sizeof(c);
  c.hwndOwner = OwnerWindow();
  c.rgbResult = ColorToRGB(color_);
  c.lpCustColors = s.custom;
  c.Flags = CC_RGBINIT;
  if (options_ & cdFullOpen) c.Flags |= CC_FULLOPEN;
  if (options_ & cdPreventFullOpen) c.Flags |= CC_PREVENTFULLOPEN;
  if (options_ & cdShowHelp) c.Flags |= CC_SHOWHELP;
  if (options_ & cdSolidColor) c.Flags |= CC_SOLIDCOLOR;
  if (options_ & cdAnyColor) c.Flags |= CC_ANYCOLOR;
}
void TColorDialog::TakeResult(const TSetup& s) {
  color_ = static_cast<TColor>(s.cc.rgbResult);
  for (int i = 0; i < 16; ++i)
    customColors_->SetValue(std::wstring(L"Color") + static_cast<wchar_t>(L'A' + i), IntToHex(s.custom[i], 6));
}
bool TColorDialog::Execute() {
  TSetup s;
  Prepare(s);
  bool ok = RunSystemDialog([&] { return ::ChooseColorW(&s.cc) != FALSE; }, L"Colour");
  if (ok) TakeResult(s);
  return ok;
}

}  // namespace kivo
