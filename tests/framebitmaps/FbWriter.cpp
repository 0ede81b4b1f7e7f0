// Test helper: KivoApp's writer with real windows, driven one command a line on stdin.
//   init | capture <0|1>
//   control <r> <g> <b>        a 320 x 240 panel of that colour with a white 160 x 120 panel at its
//                              top-left, written with WriteControlFrame (forced); answers "ok"
//   image <file> <designInfo>  a TImage (with TImageCapture) loads the file on a green 320 x 240
//                              panel at (40, 30, 80 x 60), stretched; answers "ok"
//   pump <ms>                  runs the message loop (GIF animation) for that long; answers "ok"
//   race <n>                   two threads write n solid red / blue bitmaps each; answers "ok"
//   lockrace <w> <h> <bw> <bh> <connect|set>
//                              a producer writes a bw x bh bitmap at OutputFormat while this thread,
//                              as another producer, holds FrameSectionLock and meanwhile connects
//                              to the section (connect) or sets the output format to w x h (set);
//                              answers the bytes of FrameBuffer's guard that were written ("guard 0")
//   quit
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "ExtCtrls.h"
#include "ExtImage.h"
#include "Forms.h"
#include "KVBitmapFrames.h"

using namespace kivo;

namespace {

TForm* gForm = nullptr;
TPanel* gPanel = nullptr;
TPanel* gCorner = nullptr;
TPanel* gImagePanel = nullptr;
TImage* gImage = nullptr;
TComPtr<TImageCapture> gCapture;

TPanel* MakePanel(TWinControl* parent, int x, int y, int w, int h, TColor c) {
  TPanel* p = new TPanel(gForm);
  p->SetParent(parent);
  p->SetBevelOuter(TBevelCut::bvNone);
  p->SetCaption(L"");
  p->SetBounds(x, y, w, h);
  p->SetColor(c);
  return p;
}
void EnsureForm() {
  if (gForm) return;
  gForm = Create<TForm>(nullptr);
  gForm->SetBounds(0, 0, 700, 300);
  gPanel = MakePanel(gForm, 0, 0, 320, 240, clBlack);
  gCorner = MakePanel(gPanel, 0, 0, 160, 120, clWhite);
  gImagePanel = MakePanel(gForm, 330, 0, 320, 240, clLime);
  gImage = new TImage(gForm);
  gImage->SetParent(gImagePanel);
  gImage->SetBounds(40, 30, 80, 60);
  gImage->SetStretch(true);
  gCapture = TComPtr<TImageCapture>(new TImageCapture(gImage));
  gImage->Picture()->SetPictureAdapter(gCapture.Get());
  gForm->Show();
}

void Race(int n) {
  auto writer = [n](TColor c) {
    TBitmap b(OutputWidth, OutputHeight, TPixelFormat::pf24bit);
    b.Canvas()->Brush()->SetColor(c);
    b.Canvas()->FillRect(RECT{0, 0, b.Width(), b.Height()});
    for (int i = 0; i < n; ++i) WriteBitmapFrame(OutputFormat, &b, true);
  };
  std::thread a(writer, clRed), b(writer, clBlue);
  a.join();
  b.join();
}

// The output format as a connection to a w x h section would leave it.
void SetOutputFormat(int w, int h) {
  OutputFormat.bmiHeader.biWidth = w;
  OutputFormat.bmiHeader.biHeight = h;
  OutputFormat.bmiHeader.biSizeImage = static_cast<DWORD>(PaddedFrameBytes(w, h));
}

int LockRace(int w, int h, int bw, int bh, const std::string& how) {
  std::memset(FrameStore.Guard, 0xA5, sizeof(FrameStore.Guard));
  TBitmap bitmap(bw, bh, TPixelFormat::pf24bit);
  bitmap.Canvas()->Brush()->SetColor(clRed);
  bitmap.Canvas()->FillRect(RECT{0, 0, bw, bh});
  const TOutputFormat before = OutputFormat;
  FrameSectionLock.Enter();
  std::thread producer([&] { WriteBitmapFrame(OutputFormat, &bitmap, true); });
  ::Sleep(200);  // the producer is past anything it checks before the lock, and waits for it
  if (how == "connect")
    ConnectFrameSection();
  else
    SetOutputFormat(w, h);
  FrameSectionLock.Leave();
  producer.join();
  OutputFormat = before;
  return static_cast<int>(std::count_if(std::begin(FrameStore.Guard), std::end(FrameStore.Guard),
                                        [](BYTE b) { return b != 0xA5; }));
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::ostringstream out;
    try {
      if (cmd == "init") {
        InitFrameWriter();
        out << "ok";
      } else if (cmd == "capture") {
        int v = 0;
        in >> v;
        out << (SetCaptureActive(v != 0) ? 1 : 0);
      } else if (cmd == "control") {
        int r = 0, g = 0, b = 0;
        in >> r >> g >> b;
        EnsureForm();
        gPanel->SetColor(static_cast<TColor>(RGB(r, g, b)));
        WriteControlFrame(OutputFormat, gPanel, true);
        out << "ok";
      } else if (cmd == "image") {
        std::string file;
        int design = 0;
        in >> file >> design;
        EnsureForm();
        gImage->SetDesignInfo(design);
        gImage->Picture()->LoadFromFile(std::wstring(file.begin(), file.end()));
        out << "ok";
      } else if (cmd == "pump") {
        int ms = 0;
        in >> ms;
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < DWORD(ms)) {
          MSG msg;
          while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
          }
          ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        out << "ok";
      } else if (cmd == "race") {
        int n = 0;
        in >> n;
        Race(n);
        out << "ok";
      } else if (cmd == "lockrace") {
        int w = 0, h = 0, bw = 0, bh = 0;
        std::string how;
        in >> w >> h >> bw >> bh >> how;
        out << "guard " << LockRace(w, h, bw, bh, how);
      } else if (cmd == "quit") {
        break;
      } else {
        out << "unknown command " << cmd;
      }
    } catch (const std::exception& e) {
      out << "error " << e.what();
    }
    std::cout << out.str() << std::endl;
  }
  if (gImage) gImage->Picture()->SetPictureAdapter(nullptr);
  gCapture.Reset();
  if (gForm) gForm->Free();
  DoneFrameWriter();
  return 0;
}
