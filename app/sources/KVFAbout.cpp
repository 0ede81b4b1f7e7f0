#include "KVFAbout.h"

#include <memory>

#include "KVBitmapFrames.h"
#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAboutFrame)

std::wstring FindIdlePicture(const std::wstring& folder) {
  TSearchRec rec;
  std::wstring found;
  for (int r = FindFirst(folder + L"default.*", faReadOnly | faArchive, rec); r == 0; r = FindNext(rec)) {
    if (!(rec.Attr & faDirectory)) {
      found = folder + rec.Name;
      break;
    }
  }
  FindClose(rec);
  return found;
}

TAboutFrame::TAboutFrame(TComponent* owner) : TFrame(owner) {
  SetName(L"AboutFrame");
  SetBounds(0, 0, 320, 240);
  imgAbout = new TImage(this);
  imgAbout->SetName(L"imgAbout");
  imgAbout->SetBounds(0, 0, 320, 240);
  imgAbout->SetParent(this);
  imgAbout->SetAlign(TAlign::alClient);
  imgAbout->OnClick = Method(this, &TAboutFrame::imgAboutClick);
  ShowIdlePicture();
}

void TAboutFrame::ShowIdlePicture() {
  TPicture* picture = imgAbout->Picture();
  if (!picture->Graphic() || picture->Graphic()->Empty()) {
    const std::wstring file = FindIdlePicture(ProgramDir);
    if (!file.empty()) picture->LoadFromFile(file);
  }
  TBitmap frame;
  frame.SetPixelFormat(TPixelFormat::pf24bit);
  frame.SetSize(OutputFormat.bmiHeader.biWidth, OutputFormat.bmiHeader.biHeight);
  frame.Canvas()->Brush()->SetColor(clWhite);
  frame.Canvas()->FillRect(RECT{0, 0, frame.Width(), frame.Height()});
  if (picture->Graphic() && !picture->Graphic()->Empty()) frame.Canvas()->Draw(0, 0, picture->Graphic());
  ::GdiFlush();
  WriteBitmapFrame(OutputFormat, &frame, true);
}

void TAboutFrame::imgAboutClick(TObject*) {
  if (OnShowCapturePage) OnShowCapturePage(this);
}

}  // namespace kivo
