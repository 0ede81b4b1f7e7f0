#include "KVEffTxtForm.h"

#include "KVEffTxtProc.h"
#include "KVShared.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TTextProcForm)

const wchar_t* const TTextProcForm::Section = L"文字";

namespace {

// Marks a "Text" value written escaped; a file without it holds the text as it stands.
constexpr const wchar_t* kTextEncodedKey = L"TextEncoded";

bool FitsFileCodePage(wchar_t c) {
  char buf[8];
  BOOL usedDefault = FALSE;
  int n = ::WideCharToMultiByte(kFileCodePage, WC_NO_BEST_FIT_CHARS, &c, 1, buf, sizeof(buf), nullptr, &usedDefault);
  return n > 0 && !usedDefault;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

std::wstring EncodeCaptionText(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      case L'\t': out += L"\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F || !FitsFileCodePage(c))
          out += Format(L"\\u%.4X", static_cast<unsigned>(c));
        else
          out += c;
    }
  }
  return out;
}

std::wstring DecodeCaptionText(const std::wstring& value) {
  std::wstring out;
  for (size_t i = 0; i < value.size(); ++i) {
    wchar_t c = value[i];
    if (c != L'\\' || i + 1 >= value.size()) {
      out += c;
      continue;
    }
    wchar_t e = value[i + 1];
    switch (e) {
      case L'\\': out += L'\\'; ++i; break;
      case L'r': out += L'\r'; ++i; break;
      case L'n': out += L'\n'; ++i; break;
      case L't': out += L'\t'; ++i; break;
      case L'u': {
        int v = 0;
        bool ok = i + 5 < value.size();
        for (size_t k = 2; ok && k < 6; ++k) {
          int d = HexDigit(value[i + k]);
          ok = d >= 0;
          v = v * 16 + d;
        }
        if (ok) {
          out += static_cast<wchar_t>(v);
          i += 5;
        } else {
          out += c;
        }
        break;
      }
      default: out += c; break;
    }
  }
  return out;
}

TTextProcForm::TTextProcForm(TImageProcessorAbs* processor) : TImageProcFormAbs(processor) {
  SetName(L"TextProcForm");
  SetClientWidth(318);
  SetClientHeight(492);
  SetDesignFont();
  OnShow = Method(this, &TTextProcForm::FormShow);

  Panel2 = Place<TPanel>(L"Panel2", this, 0, 0, 318, 27);
  Panel2->SetAlign(TAlign::alTop);
  Panel2->SetBevelOuter(TBevelCut::bvNone);
  Label1 = Place<TLabel>(L"Label1", Panel2, 8, 8, 120, 12);
  Label1->SetCaption(L"输入需要显示的文字");
  chkEnable = Place<TCheckBox>(L"chkEnable", Panel2, 262, 6, 49, 17);
  chkEnable->SetCaption(L"启用");
  chkEnable->OnClick = Method(this, &TTextProcForm::chkEnableClick);

  Panel1 = Place<TPanel>(L"Panel1", this, 0, 307, 318, 185);
  Panel1->SetAlign(TAlign::alBottom);
  Panel1->SetBevelOuter(TBevelCut::bvNone);
  Memo = Place<TMemo>(L"Memo", this, 0, 27, 318, 280);
  Memo->SetAlign(TAlign::alClient);
  Memo->SetScrollBars(TScrollStyle::ssBoth);
  Memo->SetWordWrap(false);

  btnLoad = Place<TButton>(L"btnLoad", Panel1, 8, 6, 60, 20);
  btnLoad->SetCaption(L"加载");
  btnLoad->OnClick = Method(this, &TTextProcForm::btnLoadClick);
  btnSave = Place<TButton>(L"btnSave", Panel1, 74, 6, 60, 20);
  btnSave->SetCaption(L"保存");
  btnSave->OnClick = Method(this, &TTextProcForm::btnSaveClick);
  btnApply = Place<TButton>(L"btnApply", Panel1, 140, 6, 60, 20);
  btnApply->SetCaption(L"刷新");
  btnApply->OnClick = Method(this, &TTextProcForm::btnApplyClick);

  chkScroll = Place<TCheckBox>(L"chkScroll", Panel1, 8, 34, 100, 17);
  chkScroll->SetCaption(L"文字循环滚动");
  chkScroll->OnClick = Method(this, &TTextProcForm::chkScrollClick);
  rbSlowScroll = Place<TRadioButton>(L"rbSlowScroll", Panel1, 120, 34, 80, 17);
  rbSlowScroll->SetCaption(L"慢速滚动");
  rbSlowScroll->SetChecked(true);
  rbSlowScroll->OnClick = Method(this, &TTextProcForm::rbSlowScrollClick);
  rbQuickScroll = Place<TRadioButton>(L"rbQuickScroll", Panel1, 210, 34, 80, 17);
  rbQuickScroll->SetCaption(L"快速滚动");
  rbQuickScroll->OnClick = Method(this, &TTextProcForm::rbQuickScrollClick);

  chkManualLine = Place<TCheckBox>(L"chkManualLine", Panel1, 8, 58, 100, 17);
  chkManualLine->SetCaption(L"多行手动切换");
  chkManualLine->OnClick = Method(this, &TTextProcForm::chkManualLineClick);
  btnPrevLine = Place<TButton>(L"btnPrevLine", Panel1, 120, 56, 60, 20);
  btnPrevLine->SetCaption(L"上一行");
  btnPrevLine->OnClick = Method(this, &TTextProcForm::btnPrevLineClick);
  btnNextLine = Place<TButton>(L"btnNextLine", Panel1, 186, 56, 60, 20);
  btnNextLine->SetCaption(L"下一行");
  btnNextLine->OnClick = Method(this, &TTextProcForm::btnNextLineClick);

  GroupBox1 = Place<TGroupBox>(L"GroupBox1", Panel1, 8, 84, 302, 46);
  GroupBox1->SetCaption(L"文字位置");
  rbBottom = Place<TRadioButton>(L"rbBottom", GroupBox1, 8, 20, 50, 17);
  rbBottom->SetCaption(L"靠下");
  rbBottom->SetChecked(true);
  rbTop = Place<TRadioButton>(L"rbTop", GroupBox1, 62, 20, 50, 17);
  rbTop->SetCaption(L"靠上");
  rbCenter = Place<TRadioButton>(L"rbCenter", GroupBox1, 116, 20, 50, 17);
  rbCenter->SetCaption(L"中间");
  rbCustom = Place<TRadioButton>(L"rbCustom", GroupBox1, 170, 20, 50, 17);
  rbCustom->SetCaption(L"自定");
  for (TRadioButton* rb : {rbBottom, rbTop, rbCenter, rbCustom}) rb->OnClick = Method(this, &TTextProcForm::TextPosClick);
  edtTextPos = Place<TEdit>(L"edtTextPos", GroupBox1, 226, 18, 60, 20);

  GroupBox2 = Place<TGroupBox>(L"GroupBox2", Panel1, 8, 134, 302, 46);
  GroupBox2->SetCaption(L"文字格式");
  btnFont = Place<TButton>(L"btnFont", GroupBox2, 8, 18, 70, 20);
  btnFont->SetCaption(L"选择字体");
  btnFont->OnClick = Method(this, &TTextProcForm::btnFontClick);
  btnColor = Place<TButton>(L"btnColor", GroupBox2, 86, 18, 70, 20);
  btnColor->SetCaption(L"背景颜色");
  btnColor->OnClick = Method(this, &TTextProcForm::btnColorClick);
  chkTransparent = Place<TCheckBox>(L"chkTransparent", GroupBox2, 168, 20, 90, 17);
  chkTransparent->SetCaption(L"背景透明");
  chkTransparent->SetChecked(true);
  chkTransparent->OnClick = Method(this, &TTextProcForm::chkTransparentClick);

  FontDialog = new TFontDialog(this);
  FontDialog->SetName(L"FontDialog");
  FontDialog->Font()->SetName(L"MS Sans Serif");
  FontDialog->Font()->SetHeight(-11);
  ColorDialog = new TColorDialog(this);
  ColorDialog->SetName(L"ColorDialog");
}

TTextProcessor* TTextProcForm::TextProc() const { return static_cast<TTextProcessor*>(processor_); }

void TTextProcForm::LoadSettings() {
  auto ini = CreateAppIniFile();
  FileName = ini->ReadString(Section, L"FileName", L"");
  if (!FileName.empty() && FileExists(FileName)) {
    Memo->Lines()->LoadFromFile(FileName);
  } else {
    FileName.clear();
    std::wstring text = ini->ReadString(Section, L"Text", L"");
    if (ini->ReadBool(Section, kTextEncodedKey, false)) text = DecodeCaptionText(text);
    Memo->SetText(text);
  }
  TFont* font = FontDialog->Font();
  std::wstring fontName = ini->ReadString(Section, L"Font.Name", L"");
  if (!fontName.empty()) font->SetName(fontName);
  font->SetSize(ini->ReadInteger(Section, L"Font.Size", 9));
  font->SetStyle(static_cast<TFontStyles>(ini->ReadInteger(Section, L"Font.Style", 0) & 0x0F));
  font->SetColor(ini->ReadInteger(Section, L"Font.Color", 0xFFFFFF));
  ColorDialog->SetColor(ini->ReadInteger(Section, L"BKColor", 0xFFFFFF));
  chkTransparent->SetChecked(ini->ReadBool(Section, L"Transparent", true));
  if (ini->ReadInteger(Section, L"Rate", 1) > 1)
    rbQuickScroll->SetChecked(true);
  else
    rbSlowScroll->SetChecked(true);
  switch (ini->ReadInteger(Section, L"TextPos", 1)) {
    case 0: rbTop->SetChecked(true); break;
    case 1: rbBottom->SetChecked(true); break;
    case 2: rbCenter->SetChecked(true); break;
    case 3: rbCustom->SetChecked(true); break;
    default: break;
  }
  edtTextPos->SetText(ini->ReadString(Section, L"TextTop", L""));
  chkScroll->SetChecked(ini->ReadBool(Section, L"Scroll", true));
  chkManualLine->SetChecked(ini->ReadBool(Section, L"ManualLine", false));
}

void TTextProcForm::SaveSettings() {
  auto ini = CreateAppIniFile();
  TTextProcessor* p = TextProc();
  TFont* font = FontDialog->Font();
  ini->BeginUpdate();
  ini->WriteString(Section, L"FileName", FileName);
  ini->WriteString(Section, L"Text", EncodeCaptionText(Memo->Text()));
  ini->WriteBool(Section, kTextEncodedKey, true);
  ini->WriteString(Section, L"Font.Name", font->Name());
  ini->WriteInteger(Section, L"Font.Size", font->Size());
  ini->WriteInteger(Section, L"Font.Style", font->Style());
  ini->WriteInteger(Section, L"Font.Color", font->Color());
  ini->WriteInteger(Section, L"BKColor", ColorDialog->Color());
  ini->WriteBool(Section, L"Transparent", chkTransparent->Checked());
  ini->WriteInteger(Section, L"Rate", rbSlowScroll->Checked() ? 1 : 2);
  ini->WriteInteger(Section, L"TextPos", p->TextPos);
  ini->WriteInteger(Section, L"TextTop", p->TextTop);
  ini->WriteBool(Section, L"Scroll", chkScroll->Checked());
  ini->WriteBool(Section, L"ManualLine", chkManualLine->Checked());
  ini->UpdateFile();
}

void TTextProcForm::ApplySettings() {
  if (Memo->Text().empty()) return;
  TTextProcessor* p = TextProc();
  {
    TLock l(p->Lock());
    p->SetLines(Memo->Text());
    p->SetFont(FontDialog->Font());
    p->TextTop = StrToIntDef(Trim(edtTextPos->Text()), 0);
    p->SetBkColor(ColorDialog->Color());
    p->Transparent = chkTransparent->Checked();
    p->Rate = rbSlowScroll->Checked() ? 1 : 2;
    p->Scroll = chkScroll->Checked();
    p->ManualLine = chkManualLine->Checked();
    TextPosClick(this);
    p->Reload();
  }
  SaveSettings();
}

void TTextProcForm::FormShow(TObject*) { Realign(); }

void TTextProcForm::chkEnableClick(TObject*) {
  processor_->SetEnabled(chkEnable->Checked());
  if (processor_->GetEnabled()) {
    ApplySettings();
    processor_->Start();
  } else {
    processor_->Stop();
  }
}

void TTextProcForm::btnLoadClick(TObject*) {
  std::wstring file = ExecuteOpenDialog(L".txt", nullptr);
  if (file.empty()) return;
  Memo->Lines()->LoadFromFile(file);
  FileName = file;
}

void TTextProcForm::btnSaveClick(TObject*) {
  std::wstring file = ExecuteSaveDialog(L".txt", nullptr);
  if (file.empty()) return;
  Memo->Lines()->SaveToFile(file);
  FileName = file;
}

void TTextProcForm::btnApplyClick(TObject*) { ApplySettings(); }
void TTextProcForm::chkScrollClick(TObject*) { TextProc()->Scroll = chkScroll->Checked(); }
void TTextProcForm::rbSlowScrollClick(TObject*) { TextProc()->Rate = 1; }
void TTextProcForm::rbQuickScrollClick(TObject*) { TextProc()->Rate = 2; }
void TTextProcForm::chkManualLineClick(TObject*) { TextProc()->ManualLine = chkManualLine->Checked(); }
void TTextProcForm::btnPrevLineClick(TObject*) { TextProc()->PrevLine(); }
void TTextProcForm::btnNextLineClick(TObject*) { TextProc()->NextLine(); }
void TTextProcForm::chkTransparentClick(TObject*) { TextProc()->Transparent = chkTransparent->Checked(); }

void TTextProcForm::TextPosClick(TObject*) {
  int pos = 0;
  for (TRadioButton* rb : {rbTop, rbBottom, rbCenter, rbCustom}) {
    if (rb->Checked()) {
      TextProc()->SetTextPos(pos);
      return;
    }
    ++pos;
  }
}

void TTextProcForm::btnFontClick(TObject*) {
  if (!FontDialog->Execute()) return;
  TLock l(TextProc()->Lock());
  TextProc()->SetFont(FontDialog->Font());
}

void TTextProcForm::btnColorClick(TObject*) {
  if (ColorDialog->Execute()) TextProc()->SetBkColor(ColorDialog->Color());
}

}  // namespace kivo
