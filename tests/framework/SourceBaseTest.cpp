// The source base: the worker's command handshake and a pushing source in Wine's filter graph.
#include <gtest/gtest.h>

#include <optional>

#include "BaseSource.h"
#include "GraphSupport.h"
#include "TestFilters.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A worker that answers every command with the command code plus 100 and ends on command 4.
struct TEcho {
  TBCAMThread* Thread = nullptr;
  bool AnswerExit = true;
  static DWORD Work(void* self) {
    auto* e = static_cast<TEcho*>(self);
    for (;;) {
      DWORD cmd = e->Thread->WaitCommand();
      if (cmd == 4 && !e->AnswerExit) return 7;
      e->Thread->AnswerCommand(HRESULT(cmd + 100));
      if (cmd == 4) return 0;
    }
  }
};

TEST(SourceBase, ThreadHandshake) {
  TEcho echo;
  TBCAMThread thread(&TEcho::Work, &echo);
  echo.Thread = &thread;
  EXPECT_EQ(thread.SendCommand(1), E_FAIL) << "no thread";
  ASSERT_TRUE(thread.StartThread());
  EXPECT_FALSE(thread.StartThread()) << "one thread at a time";
  EXPECT_TRUE(thread.ThreadRunning());
  EXPECT_EQ(thread.SendCommand(1), HRESULT(101));
  EXPECT_EQ(thread.SendCommand(2), HRESULT(102));
  DWORD code = 0;
  EXPECT_FALSE(thread.PeekCommand(code)) << "nothing waits";
  EXPECT_EQ(thread.SendCommand(4), HRESULT(104));
  thread.JoinThread();
  EXPECT_FALSE(thread.ThreadRunning());

  // A worker that ends without answering does not leave the sender waiting.
  echo.AnswerExit = false;
  ASSERT_TRUE(thread.StartThread());
  EXPECT_EQ(thread.SendCommand(4), E_FAIL);
  thread.JoinThread();
}

class SourceGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    TComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(CLSID_TestPush, IID_IClassFactory, factory.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, Filter.PutVoid()), S_OK);
    Push = static_cast<TTestPush*>(static_cast<TBCBaseFilter*>(Filter.Get()));
    ASSERT_EQ(MakeGrabberAndRenderer(Grabber, Null, &Sink), S_OK);
    G.emplace();
    ASSERT_EQ(G->Add(Filter.Get(), L"push"), S_OK);
    ASSERT_EQ(G->Add(Grabber.Get(), L"grabber"), S_OK);
    ASSERT_EQ(G->Add(Null.Get(), L"null"), S_OK);
  }
  void Connect() {
    ASSERT_EQ(G->Link(Filter.Get(), Grabber.Get()), S_OK);
    ASSERT_EQ(G->Link(Grabber.Get(), Null.Get()), S_OK);
  }
  // Graph events within the time, as (code, param1) pairs.
  std::vector<std::pair<long, LONG_PTR>> EventsFor(DWORD ms) {
    std::vector<std::pair<long, LONG_PTR>> out;
    const double deadline = NowMs() + ms;
    while (NowMs() < deadline) {
      long code;
      LONG_PTR p1, p2;
      if (G->Events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
        out.emplace_back(code, p1);
        G->Events->FreeEventParams(code, p1, p2);
      }
    }
    return out;
  }
  void TearDown() override {
    G.reset();
    Null.Reset();
    Grabber.Reset();
    Filter.Reset();
    EXPECT_EQ(ObjectCount.load(), 0);
  }

  TComInit Com;
  TGrabberSink Sink{kTestWidth, kTestHeight};
  TComPtr<IBaseFilter> Filter, Grabber, Null;
  TTestPush* Push = nullptr;
  std::optional<TGraph> G;
};

TEST_F(SourceGraph, WorkerPushesFromPauseUntilStopAndStartsAgain) {
  LPWSTR id = nullptr;
  ASSERT_EQ(Push->Pin->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"1");
  ::CoTaskMemFree(id);
  TComPtr<IPin> pin;
  EXPECT_EQ(Filter->FindPin(L"1", pin.Put()), S_OK);
  EXPECT_EQ(Filter->FindPin(L"0", pin.Put()), VFW_E_NOT_FOUND);
  EXPECT_EQ(Filter->FindPin(L"Out", pin.Put()), S_OK);

  // Unconnected: pausing starts no worker.
  ASSERT_EQ(Filter->Pause(), S_OK);
  EXPECT_EQ(Push->Pin->Starts.load(), 0);
  ASSERT_EQ(Filter->Stop(), S_OK);

  Connect();
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    Sink.Clear();
    Push->Pin->Filled = 0;
    ASSERT_TRUE(SUCCEEDED(G->Control->Run()));
    ASSERT_TRUE(Sink.WaitFor(10, 5000));
    EXPECT_EQ(Push->Pin->Starts.load(), run);
    // Pausing a running graph keeps the worker pushing.
    ASSERT_TRUE(SUCCEEDED(G->Control->Pause()));
    ASSERT_TRUE(SUCCEEDED(G->Control->Run()));
    const double t0 = NowMs();
    ASSERT_EQ(G->Control->Stop(), S_OK);
    EXPECT_LT(NowMs() - t0, 2000);
    EXPECT_EQ(Push->Pin->Ends.load(), run) << "the worker ended with the stop";
    auto seen = Sink.Samples();
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i].Frame, int(i % 256)) << "sample " << i;
  }
}

TEST_F(SourceGraph, FillSampleEndsTheStreamOrAbortsIt) {
  Connect();
  // S_FALSE: end of stream downstream, the renderer completes the graph, no error.
  Push->Pin->FillLimit = 3;
  Push->Pin->AfterLimit = S_FALSE;
  ASSERT_TRUE(SUCCEEDED(G->Control->Run()));
  long code = 0;
  EXPECT_EQ(G->Events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(Sink.Count(), 3u);
  ASSERT_EQ(G->Control->Stop(), S_OK);
  EventsFor(100);

  // A failure: end of stream and an error-abort event carrying it.
  Push->Pin->Filled = 0;
  Push->Pin->AfterLimit = E_FAIL;
  ASSERT_TRUE(SUCCEEDED(G->Control->Run()));
  auto events = EventsFor(1500);
  bool aborted = false;
  for (auto [c, p1] : events)
    if (c == EC_ERRORABORT && HRESULT(p1) == E_FAIL) aborted = true;
  EXPECT_TRUE(aborted);
  ASSERT_EQ(G->Control->Stop(), S_OK);
}

TEST_F(SourceGraph, AFailingWorkerStartFailsThePause) {
  Connect();
  Push->Pin->StartResult = E_ACCESSDENIED;
  EXPECT_EQ(Filter->Pause(), E_ACCESSDENIED);
  FILTER_STATE fs;
  Filter->GetState(0, &fs);
  EXPECT_EQ(fs, State_Stopped);
  EXPECT_EQ(Push->Pin->Ends.load(), 1);
  TComPtr<IMediaSample> sample;
  EXPECT_EQ(Push->Pin->CurrentAllocator()->GetBuffer(sample.Put(), nullptr, nullptr, AM_GBF_NOWAIT),
            VFW_E_NOT_COMMITTED)
      << "the buffers were given back";
  Push->Pin->StartResult = S_OK;
  EXPECT_EQ(Filter->Pause(), S_OK);
  EXPECT_EQ(Filter->Stop(), S_OK);
}

}  // namespace
