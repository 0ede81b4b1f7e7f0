// The processor base: every operation in every state on a scripted processor; the file change;
// the registry's counting; and frames meeting starts, stops and file changes from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EffectTestUtil.h"
#include "KVEffAniProc.h"
#include "KVEffTxtProc.h"
#include "KVProcessorList.h"
#include "SysUtils.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// Answers as scripted and counts the calls.
class TScripted : public TImageProcessor {
 public:
  TScripted() { name_ = L"画质"; }
  bool StartAnswer = true, StopAnswer = true, ProcessAnswer = true;
  int Starts = 0, Stops = 0, Processes = 0;

 protected:
  bool DoStart() override {
    ++Starts;
    return StartAnswer;
  }
  bool DoStop() override {
    ++Stops;
    return StopAnswer;
  }
  bool DoProcess(HDC, HBITMAP, BITMAPINFO*) override {
    ++Processes;
    return ProcessAnswer;
  }
};

enum class Op { Start, Pause, Resume, Stop, Restart, Reload, EnableOn, EnableOff };
const char* OpName(Op op) {
  static const char* names[] = {"Start", "Pause", "Resume", "Stop", "Restart", "Reload", "SetEnabled(true)", "SetEnabled(false)"};
  return names[static_cast<int>(op)];
}

// A processor brought into a state (with answers that let it get there).
TComPtr<TScripted> InState(BYTE state) {
  TComPtr<TScripted> p(new TScripted());
  if (state != TProcessorState::psDisabled) p->SetEnabled(TRUE);
  if (state == TProcessorState::psRunning || state == TProcessorState::psPaused) {
    EXPECT_TRUE(p->Start());
  }
  if (state == TProcessorState::psPaused) {
    EXPECT_TRUE(p->Pause());
  }
  EXPECT_EQ(p->GetState(), state);
  p->Starts = p->Stops = 0;
  return p;
}

// -1: the operation answers nothing.
int Apply(TScripted* p, Op op) {
  switch (op) {
    case Op::Start: return p->Start();
    case Op::Pause: return p->Pause();
    case Op::Resume: return p->Resume();
    case Op::Stop: return p->Stop();
    case Op::Restart: return p->Restart();
    case Op::Reload: return p->Reload();
    case Op::EnableOn: p->SetEnabled(TRUE); return -1;
    case Op::EnableOff: p->SetEnabled(FALSE); return -1;
  }
  return -1;
}

struct Row {
  Op op;
  BYTE from;
  int answer;  // 1, 0, or -1 for none
  BYTE to;
  int starts, stops;
};

void RunTable(const std::vector<Row>& rows, bool startAnswer, bool stopAnswer) {
  for (const Row& r : rows) {
    TComPtr<TScripted> p = InState(r.from);
    p->StartAnswer = startAnswer;
    p->StopAnswer = stopAnswer;
    int answer = Apply(p.Get(), r.op);
    SCOPED_TRACE(std::string(OpName(r.op)) + " from state " + std::to_string(r.from));
    EXPECT_EQ(answer, r.answer);
    EXPECT_EQ(p->GetState(), r.to);
    EXPECT_EQ(p->GetEnabled() != FALSE, r.to != TProcessorState::psDisabled);
    EXPECT_EQ(p->Starts, r.starts);
    EXPECT_EQ(p->Stops, r.stops);
  }
}

constexpr BYTE D = TProcessorState::psDisabled, R = TProcessorState::psRunning, S = TProcessorState::psStopped, P = TProcessorState::psPaused;

}  // namespace

TEST(ProcessorBase, OperationsInEveryStateWhenStartAndStopSucceed) {
  RunTable({
               {Op::Start, D, 0, D, 0, 0},     {Op::Start, R, 1, R, 0, 0},     {Op::Start, S, 1, R, 1, 0},
               {Op::Start, P, 1, R, 1, 0},     {Op::Pause, D, 0, D, 0, 0},     {Op::Pause, R, 1, P, 0, 0},
               {Op::Pause, S, 0, S, 0, 0},     {Op::Pause, P, 0, P, 0, 0},     {Op::Resume, D, 0, D, 0, 0},
               {Op::Resume, R, 0, R, 0, 0},    {Op::Resume, S, 0, S, 0, 0},    {Op::Resume, P, 1, R, 0, 0},
               {Op::Stop, D, 0, D, 0, 0},      {Op::Stop, R, 1, S, 0, 1},      {Op::Stop, S, 1, S, 0, 1},
               {Op::Stop, P, 1, S, 0, 1},      {Op::Restart, D, 0, D, 0, 0},   {Op::Restart, R, 1, R, 1, 1},
               {Op::Restart, S, 1, R, 1, 0},   {Op::Restart, P, 1, R, 0, 0},   {Op::Reload, D, 0, D, 0, 0},
               {Op::Reload, R, 1, R, 1, 1},    {Op::Reload, S, 1, S, 0, 0},    {Op::Reload, P, 1, P, 1, 1},
               {Op::EnableOn, D, -1, S, 0, 0}, {Op::EnableOn, R, -1, R, 0, 0}, {Op::EnableOn, S, -1, S, 0, 0},
               {Op::EnableOn, P, -1, P, 0, 0}, {Op::EnableOff, D, -1, D, 0, 0}, {Op::EnableOff, R, -1, D, 0, 1},
               {Op::EnableOff, S, -1, D, 0, 1}, {Op::EnableOff, P, -1, D, 0, 1},
           },
           true, true);
}

TEST(ProcessorBase, OperationsInEveryStateWhenStartAndStopFail) {
  RunTable({
               {Op::Start, D, 0, D, 0, 0},      {Op::Start, R, 1, R, 0, 0},      {Op::Start, S, 0, S, 1, 0},
               {Op::Start, P, 0, P, 1, 0},      {Op::Stop, D, 0, D, 0, 0},       {Op::Stop, R, 0, R, 0, 1},
               {Op::Stop, S, 0, S, 0, 1},       {Op::Stop, P, 0, P, 0, 1},       {Op::Restart, D, 0, D, 0, 0},
               {Op::Restart, R, 1, R, 0, 1},    {Op::Restart, S, 1, S, 1, 0},    {Op::Restart, P, 1, R, 0, 0},
               {Op::Reload, D, 0, D, 0, 0},     {Op::Reload, R, 1, R, 0, 1},     {Op::Reload, S, 1, S, 0, 0},
               {Op::Reload, P, 1, P, 1, 1},     {Op::EnableOff, R, -1, D, 0, 1}, {Op::EnableOff, S, -1, D, 0, 1},
               {Op::EnableOff, P, -1, D, 0, 1},
           },
           false, false);
}

TEST(ProcessorBase, FileChange) {
  // the same path does nothing; a new one reloads a running processor under the lock
  TComPtr<TScripted> running = InState(R);
  running->SetFileName(L"C:\\a.gif");
  EXPECT_EQ(running->Starts, 1);
  EXPECT_EQ(running->Stops, 1);
  running->SetFileName(L"C:\\a.gif");
  EXPECT_EQ(running->Starts, 1);
  running->SetFileName(L"C:\\A.gif");  // compared case-sensitively
  EXPECT_EQ(running->Starts, 2);
  EXPECT_EQ(running->FileName(), L"C:\\A.gif");
  EXPECT_EQ(running->GetState(), R);

  // enabled but stopped because its start needed a file: choosing one starts it
  TComPtr<TScripted> waiting = InState(S);
  waiting->StartAnswer = false;
  EXPECT_FALSE(waiting->Start());
  waiting->StartAnswer = true;
  waiting->SetFileName(L"C:\\b.gif");
  EXPECT_EQ(waiting->GetState(), R);
  EXPECT_EQ(waiting->Stops, 0);

  // disabled: only stored
  TComPtr<TScripted> off = InState(D);
  off->SetFileName(L"C:\\c.gif");
  EXPECT_EQ(off->Starts + off->Stops, 0);
  EXPECT_EQ(off->GetState(), D);
  EXPECT_EQ(off->FileName(), L"C:\\c.gif");

  // paused: reloaded and paused again
  TComPtr<TScripted> paused = InState(P);
  paused->SetFileName(L"C:\\d.gif");
  EXPECT_EQ(paused->GetState(), P);
  EXPECT_EQ(paused->Starts, 1);
}

TEST(ProcessorBase, NameIntoBuffersOfAnyLength) {
  TComPtr<TScripted> p(new TScripted());  // "画质": 4 bytes in code page 936
  struct Case {
    int length, answer;
  } cases[] = {{256, 4}, {5, 4}, {4, 2}, {3, 2}, {2, 0}, {1, 0}};
  for (const Case& c : cases) {
    char buf[8];
    std::memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(p->GetName(buf, c.length), c.answer) << c.length;
    EXPECT_EQ(buf[c.answer], '\0') << c.length;
    if (c.length < 8) {
      EXPECT_EQ(buf[c.length], 'x') << "written past the buffer";
    }
    EXPECT_EQ(AnsiToWide(std::string(buf, c.answer), kFileCodePage), std::wstring(L"画质").substr(0, c.answer / 2));
  }
  char untouched = 'x';
  EXPECT_EQ(p->GetName(&untouched, 0), 0);
  EXPECT_EQ(untouched, 'x');
  EXPECT_EQ(p->GetName(nullptr, 10), 0);
}

TEST(ProcessorRegistry, CountsAndOrder) {
  InitProcessorList();
  TComPtr<TScripted> a(new TScripted()), b(new TScripted()), c(new TScripted());
  for (auto* p : {a.Get(), b.Get(), c.Get()}) RegisterImageProcessor(p);
  EXPECT_EQ(ImageProcessorCount(), 3);
  EXPECT_EQ(GetImageProcessor(1).Get(), static_cast<IImageProcessor*>(b.Get()));
  EXPECT_FALSE(GetImageProcessor(3));
  EXPECT_FALSE(GetImageProcessor(-1));

  TTestFrame frame(4, 4);
  // nothing enabled: nothing called
  EXPECT_FALSE(AnyImageProcessorEnabled());
  EXPECT_EQ(StartImageProcessors(), 0);
  EXPECT_EQ(ApplyImageProcessors(frame.DC(), frame.Bitmap(), frame.Info()), 0);
  EXPECT_EQ(a->Starts + a->Processes + b->Processes + c->Processes, 0);

  // enabled ones are started and processed, in any enabled state; only true answers count
  b->SetEnabled(TRUE);
  c->SetEnabled(TRUE);
  b->StartAnswer = false;
  EXPECT_TRUE(AnyImageProcessorEnabled());
  EXPECT_EQ(StartImageProcessors(), 1);
  EXPECT_EQ(b->Starts, 1);
  EXPECT_EQ(c->Starts, 1);
  EXPECT_EQ(a->Starts, 0);
  b->ProcessAnswer = true;
  c->ProcessAnswer = false;
  EXPECT_EQ(ApplyImageProcessors(frame.DC(), frame.Bitmap(), frame.Info()), 1);
  EXPECT_EQ(b->Processes, 1);  // stopped, still asked
  EXPECT_EQ(c->Processes, 1);
  EXPECT_EQ(a->Processes, 0);

  // the end releases the list's references
  long before = b->RefCount();
  DoneProcessorList();
  EXPECT_EQ(b->RefCount(), before - 1);
  EXPECT_EQ(ImageProcessorCount(), 0);
  EXPECT_FALSE(AnyImageProcessorEnabled());
}

TEST(ProcessorRace, FramesMeetStartsStopsAndFileChanges) {
  TTempTree dir;
  TGifPalette pal{{0, 0, 0}, {255, 255, 255}, {200, 100, 50}};
  std::wstring gifA = dir.Path(L"a.gif"), gifB = dir.Path(L"b.gif"), still = dir.Path(L"still.bmp");
  WriteGif(gifA, MakeGif(40, 30, pal, {{0, 0, 40, 30, 1, {0, 0, 10, 10}, 2, 2}, {0, 0, 40, 30, 2, {}, 0, 3}}));
  WriteGif(gifB, MakeGif(80, 10, pal, {{0, 0, 80, 10, 2, {5, 2, 30, 8}, 1, 1}}));
  WriteFileBytes(still, EncodeBmp(TPixelBuffer(17, 9, 24)));

  TComPtr<TLightProcessor> light(new TLightProcessor());
  TComPtr<TMaskProcessor> mask(new TMaskProcessor());
  TComPtr<TBorderProcessor> border(new TBorderProcessor());
  TComPtr<TTextProcessor> text(new TTextProcessor());
  std::vector<IImageProcessor*> all{light.Get(), mask.Get(), border.Get(), text.Get()};
  std::atomic<bool> done{false};
  std::atomic<long> frames{0};
  std::thread video([&] {
    TTestFrame small(64, 48), large(322, 240);
    while (!done) {
      for (IImageProcessor* p : all) {
        TTestFrame& f = (frames % 3 == 0) ? large : small;
        f.Fill(TRgb{128, 128, 128});
        p->Process(f.DC(), f.Bitmap(), f.Info());
      }
      ++frames;
    }
  });
  DWORD start = ::GetTickCount();
  int round = 0;
  while (::GetTickCount() - start < 2500) {
    ++round;
    light->SetEnabled(round % 7 != 0);
    light->Start();
    light->SetFileName(round % 2 ? gifA : gifB);
    mask->SetEnabled(TRUE);
    mask->SetFileName(round % 3 == 0 ? still : (round % 3 == 1 ? gifA : L""));
    mask->Start();
    if (round % 5 == 0) mask->Pause();
    if (round % 4 == 0) mask->Stop();
    border->SetEnabled(TRUE);
    border->SetFileName(round % 2 ? gifB : gifA);
    border->Reload();
    text->SetEnabled(TRUE);
    text->Start();
    text->SetLines(round % 2 ? L"one\r\ntwo" : L"");
    if (round % 3 == 0) text->NextLine();
    if (round % 4 == 0) text->PrevLine();
    if (round % 6 == 0) border->SetEnabled(FALSE);
  }
  done = true;
  video.join();
  EXPECT_GT(frames.load(), 10);
  EXPECT_GT(round, 10);

  // every processor ends in a state its last operations explain, and works on
  light->SetEnabled(TRUE);
  light->SetFileName(gifB);
  light->Start();
  EXPECT_EQ(light->GetState(), TProcessorState::psRunning);
  mask->SetFileName(still);
  mask->Stop();
  EXPECT_TRUE(mask->Start());
  border->SetEnabled(TRUE);
  EXPECT_TRUE(border->Start());
  text->SetLines(L"last");
  TTestFrame f(64, 48);
  for (IImageProcessor* p : all) {
    f.Fill(TRgb{128, 128, 128});
    EXPECT_TRUE(p->Process(f.DC(), f.Bitmap(), f.Info()));
  }
}
