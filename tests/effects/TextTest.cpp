// The text effect: the caption entering at the right edge and moving by its rate, line stepping,
// placement and colours; its settings in the program's ini file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EffectTestUtil.h"
#include "KVEffTxtForm.h"
#include "KVEffTxtProc.h"
#include "KVShared.h"
#include "Streams.h"
#include "SysUtils.h"

using namespace kivo;
using namespace kivo::test;

namespace {

TComPtr<TTextProcessor> Caption(const std::wstring& text, bool scroll, int rate, bool manual = false) {
  TComPtr<TTextProcessor> p(new TTextProcessor());
  p->SetLines(text);
  p->Scroll = scroll;
  p->Rate = rate;
  p->ManualLine = manual;
  p->Transparent = true;
  p->SetEnabled(TRUE);
  EXPECT_TRUE(p->Start());
  return p;
}

// Leftmost column holding a caption pixel (not the background), or -1.
int LeftmostLit(TTestFrame& f, TRgb background) {
  std::vector<BYTE> bits = f.Bits();
  for (int x = 0; x < f.Width(); ++x)
    for (int y = 0; y < f.Height(); ++y)
      if (!(BitsAt(bits, f.Width(), f.Height(), x, y) == background)) return x;
  return -1;
}
// Topmost row holding a caption pixel, or -1.
int TopmostLit(TTestFrame& f, TRgb background) {
  std::vector<BYTE> bits = f.Bits();
  for (int y = 0; y < f.Height(); ++y)
    for (int x = 0; x < f.Width(); ++x)
      if (!(BitsAt(bits, f.Width(), f.Height(), x, y) == background)) return y;
  return -1;
}

bool Frame(TTextProcessor* p, TTestFrame& f, TRgb background = TRgb{0, 0, 0}) {
  f.Fill(background);
  return p->Process(f.DC(), f.Bitmap(), f.Info()) != FALSE;
}

}  // namespace

TEST(TextEffect, EntersAtTheRightEdgeAndMovesByItsRate) {
  for (int rate : {1, 2, 3}) {
    SCOPED_TRACE(rate);
    auto p = Caption(L"  WWW  \r\n", true, rate);
    EXPECT_EQ(p->Lines(), std::vector<std::wstring>{L"WWW"});  // trimmed
    TTestFrame f(120, 40);
    EXPECT_TRUE(Frame(p.Get(), f));
    EXPECT_EQ(LeftmostLit(f, TRgb{0, 0, 0}), -1);  // drawn at the right edge: nothing inside yet
    EXPECT_EQ(p->X, 120 - rate);
    int previous = -1;
    for (int k = 2; k < 30; ++k) {
      EXPECT_TRUE(Frame(p.Get(), f));
      int left = LeftmostLit(f, TRgb{0, 0, 0});
      if (previous >= 0 && left >= 0) {
        EXPECT_EQ(previous - left, rate) << k;
      }
      previous = left;
    }
    EXPECT_GE(previous, 0);
    EXPECT_EQ(p->X, 120 - 29 * rate);  // 29 frames
  }
}

TEST(TextEffect, LineStepping) {
  // a rate larger than the frame: every frame the line has left and the next one enters
  auto p = Caption(L"one\r\ntwo\r\nthree", true, 10000);
  TTestFrame f(50, 30);
  std::vector<int> seen;
  for (int k = 0; k < 7; ++k) {
    Frame(p.Get(), f);
    seen.push_back(p->LineIndex);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));  // the first frame after a start shows line 0

  // empty lines inside the caption are skipped
  auto gaps = Caption(L"one\r\n\r\nthree", true, 10000);
  seen.clear();
  for (int k = 0; k < 4; ++k) {
    Frame(gaps.Get(), f);
    seen.push_back(gaps->LineIndex);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 2, 0, 2}));

  // automatic scrolling: next and previous take effect at the next frame, with the advance
  Frame(p.Get(), f);  // line 1 shown
  ASSERT_EQ(p->LineIndex, 1);
  p->NextLine();
  Frame(p.Get(), f);
  EXPECT_EQ(p->LineIndex, 2);
  p->PrevLine();
  Frame(p.Get(), f);
  EXPECT_EQ(p->LineIndex, 1);
  // previous from the first line: the last line, never an index below the list
  p->Stop();
  p->Start();
  Frame(p.Get(), f);
  ASSERT_EQ(p->LineIndex, 0);
  p->PrevLine();
  EXPECT_TRUE(Frame(p.Get(), f));
  EXPECT_EQ(p->LineIndex, 2);

  // manual lines: the same line comes again until asked
  auto manual = Caption(L"one\r\ntwo\r\nthree", true, 10000, true);
  for (int k = 0; k < 3; ++k) {
    Frame(manual.Get(), f);
    EXPECT_EQ(manual->LineIndex, 0);
  }
  manual->NextLine();
  Frame(manual.Get(), f);
  EXPECT_EQ(manual->LineIndex, 1);
  Frame(manual.Get(), f);
  EXPECT_EQ(manual->LineIndex, 1);
  manual->PrevLine();
  manual->PrevLine();
  EXPECT_TRUE(Frame(manual.Get(), f));
  EXPECT_EQ(manual->LineIndex, 2);

  // still captions stay at the left edge; next moves one line
  auto still = Caption(L"one\r\ntwo", false, 5);
  TTestFrame wide(200, 30);
  Frame(still.Get(), wide);
  EXPECT_EQ(still->X, 0);
  int left = LeftmostLit(wide, TRgb{0, 0, 0});
  EXPECT_GE(left, 0);
  EXPECT_LT(left, 5);
  Frame(still.Get(), wide);
  EXPECT_EQ(still->LineIndex, 0);
  still->NextLine();
  Frame(still.Get(), wide);
  EXPECT_EQ(still->LineIndex, 1);
  still->NextLine();
  Frame(still.Get(), wide);
  EXPECT_EQ(still->LineIndex, 0);  // wrapped
}

TEST(TextEffect, PlacementAndColours) {
  auto p = Caption(L"Wg", false, 1);
  TFont font;
  font.SetHeight(-16);
  font.SetColor(clBlack);  // black is drawn white
  p->SetFont(&font);
  TTestFrame f(100, 80);
  struct Case {
    int pos, top, expectTop;
  } cases[] = {{tpTopPos, 0, 8}, {tpMiddlePos, 0, 40}, {tpCustomPos, 23, 23}, {7, 0, 8}};
  for (const Case& c : cases) {
    p->TextPos = c.pos;
    p->TextTop = c.top;
    EXPECT_TRUE(Frame(p.Get(), f));
    int top = TopmostLit(f, TRgb{0, 0, 0});
    EXPECT_GE(top, c.expectTop) << c.pos;
    EXPECT_LT(top, c.expectTop + 8) << c.pos;
  }
  // bottom: the caption's cell ends at the frame's bottom
  p->TextPos = tpBottomPos;
  p->Transparent = false;
  p->SetBkColor(clBlue);
  EXPECT_TRUE(Frame(p.Get(), f));
  EXPECT_EQ(f.At(99, 79), (TRgb{0, 0, 255}));  // the band reaches across the frame
  EXPECT_EQ(f.At(99, 79 - 16 - 10), (TRgb{0, 0, 0}));
  bool white = false;
  for (int x = 0; x < 30 && !white; ++x)
    for (int y = 60; y < 80 && !white; ++y) white = f.At(x, y) == (TRgb{255, 255, 255});
  EXPECT_TRUE(white);

  // nothing to show: no drawing
  auto empty = Caption(L" \r\n \r\n", true, 1);
  EXPECT_FALSE(Frame(empty.Get(), f));
  empty->SetLines(L"\r\n");
  EXPECT_FALSE(Frame(empty.Get(), f));
  // not running: nothing
  p->Pause();
  EXPECT_FALSE(Frame(p.Get(), f));
}

// ---- Settings in the ini file -------------------------------------------------------------

namespace {

std::string ReadBytes(const std::wstring& path) {
  if (!FileExists(path)) return {};
  TMemoryStream m;
  m.LoadFromFile(path);
  return std::string(reinterpret_cast<const char*>(m.Bytes().data()), m.Bytes().size());
}
void WriteBytes(const std::wstring& path, const std::string& bytes) {
  WriteFileBytes(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

struct TIniFixture : ::testing::Test {
  std::wstring ini = ChangeFileExt(ParamStr(0), L".ini");
  void SetUp() override { ::DeleteFileW(ini.c_str()); }
  void TearDown() override { ::DeleteFileW(ini.c_str()); }
  TComPtr<TTextProcessor> proc{new TTextProcessor()};
  TObjectPtr<TTextProcForm> Form() { return TObjectPtr<TTextProcForm>(Create<TTextProcForm>(proc.Get())); }
};

}  // namespace

TEST_F(TIniFixture, CaptionRoundTripsWithOtherSectionsUntouched) {
  const std::string others =
      "; settings\r\n[System]\r\nCaptureActive=1\r\n  OutputWidth = 320 \r\n\r\n[Album]\r\nGIFStatic=0\r\nweird line\r\n";
  WriteBytes(ini, others);
  // three lines with what a single value cannot hold as it stands
  const std::wstring caption = L"  第一行 C:\\path\\n \r\n[Injected]\r\nKey=Value\t\xD83D\xDE00 \"quoted\"  ";
  {
    auto form = Form();
    form->Memo->SetText(caption);
    form->SaveSettings();
  }
  std::string bytes = ReadBytes(ini);
  ASSERT_GE(bytes.size(), others.size());
  EXPECT_EQ(bytes.substr(0, others.size()), others);  // other sections byte-identical
  TIniFile file(ini);
  TStringList sections, keys;
  file.ReadSections(sections);
  EXPECT_EQ(sections.IndexOf(L"Injected"), -1);
  file.ReadSection(TTextProcForm::Section, keys);
  EXPECT_EQ(keys.IndexOf(L"Key"), -1);
  // read back exactly by a new form
  auto again = Form();
  EXPECT_EQ(again->Memo->Text(), caption);
  // and the form's other settings with them
  EXPECT_TRUE(again->chkTransparent->Checked());
  EXPECT_TRUE(again->rbSlowScroll->Checked());
}

TEST_F(TIniFixture, SettingsWrittenAndReadAsTheFileDefinesThem) {
  {
    auto form = Form();
    form->Memo->SetText(L"hello");
    form->rbQuickScroll->SetChecked(true);
    form->rbCenter->SetChecked(true);
    form->chkTransparent->SetChecked(false);
    form->chkScroll->SetChecked(false);
    form->chkManualLine->SetChecked(true);
    form->edtTextPos->SetText(L"33");
    form->FontDialog->Font()->SetColor(0x123456);
    form->FontDialog->Font()->SetStyle(fsBold | fsUnderline);
    form->FontDialog->Font()->SetSize(14);
    form->ColorDialog->SetColor(0x00FF00);
    form->ApplySettings();
  }
  TIniFile file(ini);
  const wchar_t* s = TTextProcForm::Section;
  EXPECT_EQ(file.ReadString(s, L"Text", L"?"), L"hello");
  EXPECT_EQ(file.ReadString(s, L"Rate", L""), L"2");
  EXPECT_EQ(file.ReadString(s, L"TextPos", L""), L"2");
  EXPECT_EQ(file.ReadString(s, L"TextTop", L""), L"33");
  EXPECT_EQ(file.ReadString(s, L"Transparent", L""), L"0");
  EXPECT_EQ(file.ReadString(s, L"Scroll", L""), L"0");
  EXPECT_EQ(file.ReadString(s, L"ManualLine", L""), L"1");
  EXPECT_EQ(file.ReadInteger(s, L"Font.Color", 0), 0x123456);
  EXPECT_EQ(file.ReadInteger(s, L"Font.Style", 0), fsBold | fsUnderline);
  EXPECT_EQ(file.ReadInteger(s, L"Font.Size", 0), 14);
  EXPECT_EQ(file.ReadInteger(s, L"BKColor", 0), 0x00FF00);
  // the processor got them too
  EXPECT_EQ(proc->Rate, 2);
  EXPECT_EQ(proc->TextPos, tpMiddlePos);
  EXPECT_EQ(proc->TextTop, 33);
  EXPECT_FALSE(proc->Transparent);
  EXPECT_TRUE(proc->ManualLine);
  EXPECT_EQ(proc->Lines(), std::vector<std::wstring>{L"hello"});

  auto again = Form();
  EXPECT_TRUE(again->rbQuickScroll->Checked());
  EXPECT_TRUE(again->rbCenter->Checked());
  EXPECT_FALSE(again->chkTransparent->Checked());
  EXPECT_TRUE(again->chkManualLine->Checked());
  EXPECT_EQ(again->edtTextPos->Text(), L"33");
  EXPECT_EQ(again->FontDialog->Font()->Color(), 0x123456);
  EXPECT_EQ(again->ColorDialog->Color(), 0x00FF00);

  // an empty memo: nothing applied, nothing saved
  std::string before = ReadBytes(ini);
  again->Memo->SetText(L"");
  again->rbSlowScroll->SetChecked(true);
  proc->Rate = 2;
  again->ApplySettings();
  EXPECT_EQ(ReadBytes(ini), before);
  EXPECT_EQ(proc->Lines(), std::vector<std::wstring>{L"hello"});
}

TEST_F(TIniFixture, FilesInTheOldFormatStillRead) {
  // written as the effect always wrote it: the raw text, backslashes as they are
  WriteBytes(ini, WideToAnsi(L"[文字]\r\nFileName=C:\\nowhere\\gone.txt\r\nText=C:\\new\\table 文字\r\nRate=1\r\nTextPos=9\r\n"));
  auto form = Form();
  EXPECT_EQ(form->Memo->Text(), L"C:\\new\\table 文字");
  EXPECT_TRUE(form->FileName.empty());  // a missing file is forgotten
  EXPECT_TRUE(form->rbBottom->Checked());  // an unknown position changes nothing
  // defaults where keys are missing
  EXPECT_TRUE(form->chkTransparent->Checked());
  EXPECT_TRUE(form->chkScroll->Checked());
  EXPECT_EQ(form->FontDialog->Font()->Size(), 9);
  EXPECT_EQ(form->FontDialog->Font()->Color(), 0xFFFFFF);

  // a text file named by FileName wins over Text
  TTempTree dir;
  std::wstring txt = dir.Path(L"caption.txt");
  WriteBytes(txt, WideToAnsi(L"from the file\r\nsecond\r\n"));
  TIniFile(ini).WriteString(TTextProcForm::Section, L"FileName", txt);
  auto withFile = Form();
  EXPECT_EQ(withFile->FileName, txt);
  EXPECT_EQ(withFile->Memo->Lines()->Count(), 2);
  EXPECT_EQ(withFile->Memo->Lines()->Get(0), L"from the file");
}

TEST(CaptionText, Escapes) {
  struct Case {
    std::wstring text, stored;
  } cases[] = {
      {L"plain 文字", L"plain 文字"},
      {L"a\\b", L"a\\\\b"},
      {L"1\r\n2", L"1\\r\\n2"},
      {L"tab\there", L"tab\\there"},
      {L"\x01", L"\\u0001"},
      {L"\xD83D\xDE00", L"\\uD83D\\uDE00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeCaptionText(c.text), c.stored);
    EXPECT_EQ(DecodeCaptionText(c.stored), c.text);
  }
  // escapes that do not parse stay as they are
  EXPECT_EQ(DecodeCaptionText(L"\\x \\u12 end\\"), L"\\x \\u12 end\\");
}
