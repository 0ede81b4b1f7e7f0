// KivoSrc registered with the prefix's regsvr32 and opened by a separate capture program while a
// separate KivoApp writer process writes frames into the frame section.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "GraphSupport.h"
#include "KivoSrcCommon.h"
#include "TestSupport.h"

using namespace kivo;
using namespace kivo::test;

namespace {

// A capture program in its own process.
class TClient {
 public:
  TClient() : Process(HelperPath(L"kivosrc_client")) {}
  std::string Call(const std::string& cmd, DWORD timeoutMs = 20000) { return Process.Call(cmd, timeoutMs); }
  std::vector<TSeenSample> Dump() {
    std::vector<TSeenSample> out;
    Process.Send("dump");
    while (auto line = Process.ReadLine(20000)) {
      if (*line == "end") break;
      std::istringstream in(*line);
      TSeenSample s;
      long long ms = 0;
      int hasTime = 0, allZero = 0;
      in >> s.Length >> hasTime >> s.Start >> s.Stop >> s.Frame >> allZero >> ms;
      s.HasTime = hasTime != 0;
      s.AllZero = allZero != 0;
      s.Ms = double(ms);
      out.push_back(s);
    }
    return out;
  }
  // Waits until a sample satisfying `pred` arrives after the first `from` samples.
  template <class Pred>
  bool WaitForSample(std::size_t from, Pred pred, DWORD timeoutMs = 3000) {
    const double deadline = NowMs() + timeoutMs;
    do {
      auto seen = Dump();
      for (std::size_t i = from; i < seen.size(); ++i)
        if (pred(seen[i])) return true;
      ::Sleep(50);
    } while (NowMs() < deadline);
    return false;
  }
  TChildProcess Process;
};

class TWriter {
 public:
  TWriter() : Process(HelperPath(L"kivosrc_writer")) { EXPECT_EQ(Process.Call("init"), "ok"); }
  // Connects without a frame (KivoApp's first call finds the section).
  std::string Connect() { return Process.Call("write 0 0 1"); }
  std::string Write(int frame) { return Process.Call("write " + std::to_string(frame) + " - 1"); }
  TChildProcess Process;
};

// Checks the time stamps of a run as the client receives them: every sample carries times, the
// run starts at 0 and each sample starts where the one before it stopped, so the time line never
// goes back. A sample stands for one frame interval once frames can be had (the writer has come);
// before that, for the 240 ms (six intervals) of a reader's wait and pause.
void ExpectRunTimes(const std::vector<TSeenSample>& seen, std::size_t knownUnfilled = 0) {
  REFERENCE_TIME next = 0;
  bool framesCame = false;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const TSeenSample& s = seen[i];
    ASSERT_TRUE(s.HasTime) << "sample " << i;
    ASSERT_EQ(s.Start, next) << "sample " << i;
    framesCame = framesCame || s.Stop - s.Start == 400000;
    ASSERT_EQ(s.Stop - s.Start, framesCame ? 400000 : 6 * 400000) << "sample " << i;
    if (i < knownUnfilled) {
      ASSERT_FALSE(framesCame) << "sample " << i << " came before any writer";
    }
    if (s.Frame >= 0) {
      ASSERT_TRUE(framesCame) << "sample " << i << " holds a written frame";
    }
    next = s.Stop;
  }
}

// Every delivered picture is whole: black or an exact test pattern.
void ExpectWholePictures(const std::vector<TSeenSample>& seen) {
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const TSeenSample& s = seen[i];
    if (!s.HasTime) continue;
    EXPECT_EQ(s.Length, 230400);
    EXPECT_TRUE(s.AllZero || s.Frame >= 0) << "a filled sample is black or a written frame: sample " << i
                                           << " of " << seen.size() << " at " << s.Ms << " ms";
  }
}

class KivoSrcClient : public ::testing::Test {
 protected:
  void SetUp() override {
    Ax = ModuleDir() + L"kivosrc.ax";
    ASSERT_EQ(Regsvr32Register(Ax), 0u);
  }
  void TearDown() override { EXPECT_EQ(Regsvr32Unregister(Ax), 0u); }
  TComInit Com;
  std::wstring Ax;
};

TEST_F(KivoSrcClient, RegistersAsVideoInputDeviceAndUnregisters) {
  ASSERT_EQ(CheckServerKeys(kKivoSrcClsid, kKivoSrcName, Ax), "");

  auto device = FindVideoInputDevice(kKivoSrcName);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->Clsid, kKivoSrcClsid);
  // Clients create and drop the filter again and again while they enumerate.
  for (int i = 0; i < 15; ++i) {
    auto d = FindVideoInputDevice(kKivoSrcName);
    ASSERT_TRUE(d);
    TComPtr<IBaseFilter> filter;
    ASSERT_EQ(d->Bind(filter), S_OK);
    TComPtr<IAMStreamConfig> config;
    EXPECT_EQ(filter->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
    CLSID clsid{};
    TComPtr<IPersist> persist;
    filter->QueryInterface(IID_IPersist, persist.PutVoid());
    ASSERT_TRUE(persist);
    persist->GetClassID(&clsid);
    EXPECT_EQ(clsid, kKivoSrcClsid);
  }
  HMODULE loaded = ::GetModuleHandleW(Ax.c_str());
  ASSERT_TRUE(loaded) << "the moniker loaded the registered server";
  auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(loaded, "DllCanUnloadNow"));
  ASSERT_TRUE(canUnload);
  device.reset();
  EXPECT_EQ(canUnload(), S_OK);

  ASSERT_EQ(Regsvr32Unregister(Ax), 0u);
  EXPECT_EQ(VideoInputCategoryState(), S_FALSE) << "the category enumerates empty again";
  std::wstring value;
  EXPECT_FALSE(ReadString(L"CLSID\\" + GuidText(kKivoSrcClsid), nullptr, value));
  ASSERT_EQ(Regsvr32Register(Ax), 0u);
  EXPECT_TRUE(FindVideoInputDevice(kKivoSrcName));
}

class KivoSrcClock : public KivoSrcClient, public ::testing::WithParamInterface<bool> {};

TEST_P(KivoSrcClock, CaptureProgramReceivesTheWrittenFrames) {
  TClient client;
  ASSERT_EQ(client.Call(GetParam() ? "open clock" : "open noclock"), "ok");
  ASSERT_EQ(client.Call("run").substr(0, 9), "0x0000000");

  // No writer yet: unfilled samples about every 240 ms.
  ::Sleep(1500);
  auto seen = client.Dump();
  ASSERT_GE(seen.size(), 3u);
  EXPECT_LE(seen.size(), 10u);
  const std::size_t unfilled = seen.size();
  if (seen.size() >= 2) {
    const double interval = (seen.back().Ms - seen.front().Ms) / double(seen.size() - 1);
    EXPECT_GT(interval, 180);
    EXPECT_LT(interval, 400);
  }

  // The writer connects: black pictures at about 25 a second.
  auto writer = std::make_unique<TWriter>();
  ASSERT_EQ(writer->Connect(), "0");
  ASSERT_TRUE(client.WaitForSample(seen.size(), [](const TSeenSample& s) { return s.HasTime && s.AllZero; }));
  std::size_t mark = client.Dump().size();
  ::Sleep(2000);
  seen = client.Dump();
  std::size_t blacks = 0;
  for (std::size_t i = mark; i < seen.size(); ++i) blacks += seen[i].HasTime && seen[i].AllZero;
  EXPECT_GE(blacks, 35u) << "about 25 a second";
  EXPECT_LE(blacks, 60u);

  // Written frames arrive byte for byte, each one in turn.
  for (int frame = 1; frame <= 4; ++frame) {
    std::size_t from = client.Dump().size();
    ASSERT_EQ(writer->Write(frame), "230400");
    EXPECT_TRUE(client.WaitForSample(from, [frame](const TSeenSample& s) { return s.Frame == frame; }))
        << "frame " << frame;
  }
  mark = client.Dump().size();
  ::Sleep(2000);
  seen = client.Dump();
  std::size_t repeats = 0;
  for (std::size_t i = mark; i < seen.size(); ++i) repeats += seen[i].Frame == 4;
  EXPECT_GE(repeats, 35u) << "the last frame repeats at about 25 a second";
  EXPECT_LE(repeats, 60u);

  // The writer goes away: the last frame keeps coming.
  writer->Process.Send("quit");
  EXPECT_TRUE(writer->Process.Finish(10000).has_value());
  writer.reset();
  mark = client.Dump().size();
  EXPECT_TRUE(client.WaitForSample(mark + 10, [](const TSeenSample& s) { return s.Frame == 4; }));
  seen = client.Dump();
  for (std::size_t i = mark; i < seen.size(); ++i) EXPECT_EQ(seen[i].Frame, 4) << "sample " << i;
  // Before the writer, while it wrote and after it went: one time line.
  ExpectRunTimes(seen, unfilled);
  ExpectWholePictures(seen);

  // Stop, SetFormat, Run: a new run counts its times from 0 again.
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    std::istringstream stop(client.Call("stop"));
    std::string hr;
    double ms = 0;
    stop >> hr >> ms;
    EXPECT_EQ(hr, "0x00000000");
    EXPECT_LT(ms, 1500) << "stop waits for one sample at most";
    EXPECT_EQ(client.Call("setformat"), "0x00000000");
    ASSERT_EQ(client.Call("clear"), "ok");
    ASSERT_EQ(client.Call("run").substr(0, 9), "0x0000000");
    ASSERT_TRUE(client.WaitForSample(5, [](const TSeenSample&) { return true; }));
    seen = client.Dump();
    ASSERT_TRUE(seen[0].HasTime);
    ExpectRunTimes(seen);
    for (const TSeenSample& s : seen) EXPECT_EQ(s.Frame, 4);
  }
  EXPECT_EQ(client.Call("close"), "ok");
}

INSTANTIATE_TEST_SUITE_P(KivoSrcClient, KivoSrcClock, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "GraphClock" : "NoClock");
                         });

TEST_F(KivoSrcClient, SecondClientAndPassingFiltersKeepThePictureTillTheNextFrame) {
  TWriter writer;
  TClient first;
  ASSERT_EQ(first.Call("open noclock"), "ok");
  // The writer's connect frees the section's lock without owning it (the shared protocol): let it
  // connect before anyone reads, as KivoApp's writer normally has.
  ASSERT_EQ(writer.Connect(), "0");
  ASSERT_EQ(first.Call("run").substr(0, 9), "0x0000000");
  ASSERT_EQ(writer.Write(3), "230400");
  ASSERT_TRUE(first.WaitForSample(0, [](const TSeenSample& s) { return s.Frame == 3; }));

  // A viewer opened while the writer is idle: its pin finds the section laid out and keeps the
  // picture, so both show it and nobody turns black.
  TClient second;
  ASSERT_EQ(second.Call("open noclock"), "ok");
  std::size_t mark = first.Dump().size();
  ASSERT_EQ(second.Call("run").substr(0, 9), "0x0000000");
  EXPECT_TRUE(second.WaitForSample(0, [](const TSeenSample& s) { return s.Frame == 3; }));
  ::Sleep(300);
  for (TClient* c : {&first, &second}) {
    auto seen = c->Dump();
    for (std::size_t i = c == &first ? mark : 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].Frame, 3) << "sample " << i;
  }

  ASSERT_EQ(writer.Write(5), "230400");
  EXPECT_TRUE(first.WaitForSample(0, [](const TSeenSample& s) { return s.Frame == 5; }));
  EXPECT_TRUE(second.WaitForSample(0, [](const TSeenSample& s) { return s.Frame == 5; }));

  // Clients that create and drop the filter while others stream disturb nothing.
  for (int i = 0; i < 10; ++i) {
    auto device = FindVideoInputDevice(kKivoSrcName);
    ASSERT_TRUE(device);
    TComPtr<IBaseFilter> filter;
    ASSERT_EQ(device->Bind(filter), S_OK);
  }
  std::size_t firstMark = first.Dump().size(), secondMark = second.Dump().size();
  ASSERT_EQ(writer.Write(6), "230400");
  EXPECT_TRUE(first.WaitForSample(firstMark, [](const TSeenSample& s) { return s.Frame == 6; }));
  EXPECT_TRUE(second.WaitForSample(secondMark, [](const TSeenSample& s) { return s.Frame == 6; }));
  for (TClient* c : {&first, &second}) {
    auto seen = c->Dump();
    ExpectWholePictures(seen);
    ExpectRunTimes(seen);
    for (std::size_t i = c == &first ? mark : 0; i < seen.size(); ++i) EXPECT_FALSE(seen[i].AllZero) << "sample " << i;
  }
  EXPECT_EQ(second.Call("close"), "ok");
  EXPECT_EQ(first.Call("close"), "ok");
}

}  // namespace
