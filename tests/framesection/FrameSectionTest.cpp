// The frame section between a reader (KivoSrc's pin role, in this process) and KivoApp's writer
// (fs_writer, a separate Windows process), as they meet in use.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KVSection.h"
#include "TestSupport.h"

using namespace kivo;
using kivo::test::TChildProcess;

namespace {

constexpr int kW = 320, kH = 240;
constexpr std::size_t kFrame = 230400;

class FrameSection : public ::testing::Test {
 protected:
  std::unique_ptr<TChildProcess> StartWriter() {
    auto w = std::make_unique<TChildProcess>(test::HelperPath(L"fs_writer"));
    EXPECT_EQ(w->Call("init"), "ok");
    return w;
  }
  // One read into a fresh buffer; answers the outcome and leaves the bytes in `buf`.
  TReadResult ReadInto(TFrameSectionReader& r, std::vector<BYTE>& buf, std::size_t* copied = nullptr) {
    std::size_t n = 0;
    TReadResult res = r.Read([&](const BYTE* pixels, std::size_t bytes) {
      n = std::min(bytes, buf.size());
      std::memcpy(buf.data(), pixels, n);
    });
    if (copied) *copied = n;
    return res;
  }
  // Reads until the frame with this number arrives or the time is up (at least one read).
  bool ReadUntilPattern(TFrameSectionReader& r, int number, double withinMs = 0) {
    std::vector<BYTE> buf(kFrame);
    const double deadline = test::NowMs() + withinMs;
    do {
      if (ReadInto(r, buf) == TReadResult::Copied && test::CheckPattern(buf.data(), kW, kH, number).empty())
        return true;
    } while (test::NowMs() < deadline);
    return false;
  }
};

TEST_F(FrameSection, ReaderLaysOutHeaderFormatAndZeroedPixels) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  ASSERT_TRUE(reader.HasView());

  // Look at it through an independent view of the named mapping, as another process would.
  THandleOwner mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kFrameSectionName));
  ASSERT_TRUE(mapping);
  TViewOwner view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
  ASSERT_TRUE(view);
  const BYTE* base = static_cast<const BYTE*>(view.Get());
  std::uint32_t header[5];
  std::memcpy(header, base, sizeof(header));
  EXPECT_EQ(header[0], 32u);
  EXPECT_EQ(header[1], 1024u);
  EXPECT_EQ(header[2], 64u);
  EXPECT_EQ(header[3], 64u);
  EXPECT_EQ(header[4], 230400u);

  VIDEOINFOHEADER vih;
  std::memcpy(&vih, base + 20, sizeof(vih));
  EXPECT_EQ(vih.AvgTimePerFrame, 400000);
  EXPECT_TRUE(::IsRectEmpty(&vih.rcSource) && ::IsRectEmpty(&vih.rcTarget));
  EXPECT_EQ(vih.bmiHeader.biSize, 40u);
  EXPECT_EQ(vih.bmiHeader.biWidth, 320);
  EXPECT_EQ(vih.bmiHeader.biHeight, 240);
  EXPECT_EQ(vih.bmiHeader.biPlanes, 1);
  EXPECT_EQ(vih.bmiHeader.biBitCount, 24);
  EXPECT_EQ(vih.bmiHeader.biCompression, DWORD(BI_RGB));
  EXPECT_EQ(vih.bmiHeader.biSizeImage, 230400u);
  EXPECT_TRUE(test::AllZero(base + 20 + 88, 1024 - 88));
  EXPECT_TRUE(test::AllZero(base + 1044, 128));
  EXPECT_TRUE(test::AllZero(base + 1172, kFrameSectionSize - 1172));

  // The writer finds the same areas through the header.
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 3 - 0"), std::to_string(kFrame));
  EXPECT_EQ(test::CheckPattern(base + 1172, kW, kH, 3), "");
}

TEST_F(FrameSection, WithoutWriterReadsCopyNothingAndReturnWithinTheWait) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  std::vector<BYTE> buf(kFrame, 0xAB);
  for (int i = 0; i < 3; ++i) {
    double t0 = test::NowMs();
    EXPECT_EQ(ReadInto(reader, buf), TReadResult::NoNewData);
    double took = test::NowMs() - t0;
    EXPECT_GE(took, 200.0);  // 200 ms wait for new data + 40 ms pause; never near a second
    EXPECT_LT(took, 800.0);
  }
  EXPECT_EQ(buf[0], 0xAB);
  EXPECT_EQ(buf[kFrame - 1], 0xAB);
}

TEST_F(FrameSection, ConnectShowsBlackThenEachWrittenFrameExactly) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  EXPECT_EQ(writer->Call("connected"), "0");
  // A frame of size 0 connects without writing pixels: readers see the zeroed section.
  ASSERT_EQ(writer->Call("write 0 0 0"), "0");
  ASSERT_EQ(writer->Call("connected"), "1");
  std::vector<BYTE> buf(kFrame, 0xCD);
  ASSERT_EQ(ReadInto(reader, buf), TReadResult::Copied);
  EXPECT_TRUE(test::AllZero(buf.data(), kFrame));

  for (int number : {1, 2, 250}) {
    ASSERT_EQ(writer->Call("write " + std::to_string(number) + " - 0"), std::to_string(kFrame));
    ASSERT_EQ(ReadInto(reader, buf), TReadResult::Copied);
    EXPECT_EQ(test::CheckPattern(buf.data(), kW, kH, number), "");
  }
  // The last frame repeats, also after the writer's process has gone.
  ASSERT_EQ(writer->Finish(), DWORD(0));
  for (int i = 0; i < 2; ++i) {
    std::fill(buf.begin(), buf.end(), 0);
    ASSERT_EQ(ReadInto(reader, buf), TReadResult::Copied);
    EXPECT_EQ(test::CheckPattern(buf.data(), kW, kH, 250), "");
  }
}

TEST_F(FrameSection, ParkedFrameReachesASectionCreatedLaterEvenWithCaptureOff) {
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 5 - 0"), "0");  // no section: parked
  ASSERT_EQ(writer->Call("write 7 - 0"), "0");  // a newer frame replaces it
  EXPECT_EQ(writer->Call("capture 0"), "1");   // the retry writes with force
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  double t0 = test::NowMs();
  EXPECT_TRUE(ReadUntilPattern(reader, 7, 4000));
  EXPECT_LT(test::NowMs() - t0, 4000.0);
  EXPECT_EQ(writer->Call("connected"), "1");
}

TEST_F(FrameSection, CaptureOffWritesOnlyForcedFrames) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 1 - 0"), std::to_string(kFrame));
  ASSERT_EQ(writer->Call("capture 0"), "1");
  // Not forced: answers the size, touches nothing.
  EXPECT_EQ(writer->Call("write 2 - 0"), std::to_string(kFrame));
  EXPECT_EQ(writer->Call("write 2 999999999 0"), "999999999");
  EXPECT_TRUE(ReadUntilPattern(reader, 1, 0));
  // Forced (idle picture, pending retry): written.
  EXPECT_EQ(writer->Call("write 3 - 1"), std::to_string(kFrame));
  EXPECT_TRUE(ReadUntilPattern(reader, 3, 0));
  EXPECT_EQ(writer->Call("capture 1"), "0");
}

TEST_F(FrameSection, ReaderHoldingAccessMakesTheWriterDropTheFrame) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 1 - 0"), std::to_string(kFrame));

  THandleOwner access(::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAccessEventName));
  ASSERT_TRUE(access);
  ASSERT_EQ(::WaitForSingleObject(access.Get(), 1000), WAIT_OBJECT_0);
  writer->Send("write 2 - 0");
  ::Sleep(150);
  ::SetEvent(access.Get());
  auto reply = writer->ReadLine();
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, "0");
  EXPECT_TRUE(ReadUntilPattern(reader, 1, 0));  // the section still holds the earlier frame
}

TEST_F(FrameSection, SizeZeroTakesAndGivesBackTheLockWithoutRaisingNewData) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 0 0 0"), "0");
  ASSERT_EQ(writer->Call("connected"), "1");
  THandleOwner access(::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAccessEventName));
  THandleOwner newData(::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kNewDataEventName));
  ASSERT_TRUE(access && newData);
  // The connect raised the flag; take it down, then write nothing.
  ASSERT_EQ(::WaitForSingleObject(newData.Get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(writer->Call("write 9 0 0"), "0");
  EXPECT_EQ(::WaitForSingleObject(newData.Get(), 0), DWORD(WAIT_TIMEOUT));
  EXPECT_EQ(::WaitForSingleObject(access.Get(), 0), WAIT_OBJECT_0);  // given back
  ::SetEvent(access.Get());
  // A real frame raises it.
  EXPECT_EQ(writer->Call("write 9 - 0"), std::to_string(kFrame));
  EXPECT_EQ(::WaitForSingleObject(newData.Get(), 0), WAIT_OBJECT_0);
  ::SetEvent(newData.Get());
}

struct OutputCase {
  int width, height;
  const char* expected;  // "W H SizeImage"
};

class FrameSectionOutput : public FrameSection, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(FrameSectionOutput, OutputSizeComesFromTheSectionFormat) {
  const OutputCase& c = GetParam();
  VIDEOINFOHEADER vih = MakeOfferedVideoInfo();
  vih.bmiHeader.biWidth = c.width;
  vih.bmiHeader.biHeight = c.height;
  vih.bmiHeader.biSizeImage = DWORD(c.width * c.height * 3);
  TFrameSectionReader reader(vih);
  auto writer = StartWriter();
  EXPECT_EQ(writer->Call("output"), "320 240 230400");
  ASSERT_EQ(writer->Call("write 0 0 0"), "0");
  EXPECT_EQ(writer->Call("output"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameSectionOutput,
                         ::testing::Values(OutputCase{640, 480, "640 480 921600"},
                                           OutputCase{160, 120, "320 240 57600"},
                                           OutputCase{320, 240, "320 240 230400"},
                                           // 921,588 bytes unpadded, but 3,780-byte rows make 922,320:
                                           // more than the frame buffers hold, so no connection
                                           OutputCase{1259, 244, "320 240 230400"}),
                         [](const ::testing::TestParamInfo<OutputCase>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// The reader offers its copier the whole frame and never more, however large the destination;
// the pin's clamp to a shorter sample is shown in the KivoSrc tests.
TEST_F(FrameSection, ReadOffersTheWholeFrameAndNeverMore) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 4 - 0"), std::to_string(kFrame));
  EXPECT_EQ(reader.FrameBytes(), kFrame);

  std::vector<BYTE> large(kFrame + 5000, 0xEE);
  std::size_t copied = 0;
  ASSERT_EQ(ReadInto(reader, large, &copied), TReadResult::Copied);
  EXPECT_EQ(copied, kFrame);
  auto want = test::MakePattern(kW, kH, 4);
  EXPECT_EQ(std::memcmp(large.data(), want.data(), kFrame), 0);
  for (std::size_t i = kFrame; i < large.size(); ++i) ASSERT_EQ(large[i], 0xEE) << i;
}

TEST_F(FrameSection, OversizedOrNegativeFramesAreRefused) {
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 1 - 0"), std::to_string(kFrame));
  EXPECT_EQ(writer->Call("write 2 921601 0"), "0");
  EXPECT_EQ(writer->Call("write 2 -5 0"), "0");
  EXPECT_TRUE(ReadUntilPattern(reader, 1, 0));
  // The largest frame KivoApp handles is still accepted.
  EXPECT_EQ(writer->Call("write 3 921600 0"), "921600");
}

TEST_F(FrameSection, WriterWaitsForAValidHeaderInsteadOfTrustingZeros) {
  // A section that exists but whose header is still zero (a reader between zero-fill and header).
  THandleOwner access(::CreateEventA(nullptr, FALSE, TRUE, kAccessEventName));
  THandleOwner newData(::CreateEventA(nullptr, FALSE, FALSE, kNewDataEventName));
  THandleOwner mapping;
  TViewOwner view = OpenOrCreateFrameSection(kFrameSectionName, kFrameSectionSize, mapping);
  ASSERT_TRUE(view);
  auto writer = StartWriter();
  EXPECT_EQ(writer->Call("write 6 - 0"), "0");  // parked, not written at offset 20
  EXPECT_EQ(writer->Call("connected"), "0");
  EXPECT_TRUE(test::AllZero(static_cast<BYTE*>(view.Get()), kFrameSectionSize));

  // Once a reader has laid the section out, the retry delivers the parked frame.
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  EXPECT_TRUE(ReadUntilPattern(reader, 6, 4000));
  EXPECT_EQ(writer->Call("connected"), "1");
}

TEST_F(FrameSection, WriterLaysOutFromOneCheckedLookAtAChangingHeader) {
  // Another party changes the header and format (as each new reader's clearing does, or any other
  // program) right after the writer has looked at them: the connection it makes still puts the frame
  // at the reader's pixel area and takes the reader's output size.
  TFrameSectionReader reader(MakeOfferedVideoInfo());
  THandleOwner mapping(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kFrameSectionName));
  ASSERT_TRUE(mapping);
  TViewOwner view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view);
  BYTE* base = static_cast<BYTE*>(view.Get());
  const std::vector<BYTE> layout(base, base + kPixelAreaOffset);
  auto writer = StartWriter();
  int frame = 0;
  for (const char* clobber : {"zero", "sizes", "format"}) {
    SCOPED_TRACE(clobber);
    ASSERT_EQ(writer->Call(std::string("reconnect ") + clobber), "1");
    EXPECT_NE(std::memcmp(base, layout.data(), layout.size()), 0) << "the header was changed";
    EXPECT_EQ(writer->Call("output"), "320 240 230400");
    std::memcpy(base, layout.data(), layout.size());
    ASSERT_EQ(writer->Call("write " + std::to_string(++frame) + " - 0"), std::to_string(kFrame));
    EXPECT_EQ(test::CheckPattern(base + kPixelAreaOffset, kW, kH, frame), "");
  }
}

// Whether a view of this process still maps the address, and whether the section still exists.
bool Mapped(const void* address) {
  MEMORY_BASIC_INFORMATION mbi{};
  return ::VirtualQuery(address, &mbi, sizeof(mbi)) && mbi.State != MEM_FREE;
}
bool SectionExists() {
  THandleOwner mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kFrameSectionName));
  return mapping.Valid();
}

TEST_F(FrameSection, ReaderGoneClosesItsViewUnlessAccessIsHeldThenKeepsItAndOthersGoOn) {
  // Released normally, the only reader takes the section with it: the next one makes a fresh one.
  {
    auto only = std::make_unique<TFrameSectionReader>(MakeOfferedVideoInfo());
    auto writer = StartWriter();
    ASSERT_EQ(writer->Call("write 8 - 0"), std::to_string(kFrame));
    ASSERT_TRUE(ReadUntilPattern(*only, 8));
    ASSERT_EQ(writer->Finish(), DWORD(0));
    const BYTE* pixels = only->Pixels();
    only.reset();
    EXPECT_FALSE(Mapped(pixels)) << "the view is unmapped";
    EXPECT_FALSE(SectionExists()) << "the mapping handle is closed";
    TFrameSectionReader fresh(MakeOfferedVideoInfo());
    EXPECT_TRUE(test::AllZero(fresh.Pixels(), kFrame)) << "a new section, cleared";
  }

  auto first = std::make_unique<TFrameSectionReader>(MakeOfferedVideoInfo());
  TFrameSectionReader second(MakeOfferedVideoInfo());
  auto writer = StartWriter();
  ASSERT_EQ(writer->Call("write 1 - 0"), std::to_string(kFrame));
  const BYTE* firstPixels = first->Pixels();

  THandleOwner access(::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAccessEventName));
  ASSERT_EQ(::WaitForSingleObject(access.Get(), 1000), WAIT_OBJECT_0);
  double t0 = test::NowMs();
  first.reset();  // waits a second for the lock, then leaves its view mapped
  EXPECT_GE(test::NowMs() - t0, 950.0);
  ::SetEvent(access.Get());

  ASSERT_TRUE(Mapped(firstPixels));
  EXPECT_EQ(test::CheckPattern(firstPixels, kW, kH, 1), "");  // still readable
  ASSERT_EQ(writer->Call("write 2 - 0"), std::to_string(kFrame));
  EXPECT_TRUE(ReadUntilPattern(second, 2, 0));
}

std::wstring g_lastMessage;
void RecordMessage(const std::wstring& text) { g_lastMessage = text; }

struct FailureCase {
  const char* occupiedName;  // a mutex takes this name first, so creating the object fails
  const wchar_t* step;
  TReadResult read;          // what every read answers
};

class FrameSectionFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FrameSectionFailure, FailedCreationIsReportedAndReadsKeepThePaceAndTheSectionIsReleased) {
  const FailureCase& c = GetParam();
  THandleOwner squatter(::CreateMutexA(nullptr, FALSE, c.occupiedName));
  ASSERT_TRUE(squatter);
  g_lastMessage.clear();
  TSectionMessageHandler old = SetSectionMessageHandler(&RecordMessage);
  const BYTE* pixels = nullptr;
  {
    TFrameSectionReader reader(MakeOfferedVideoInfo());
    EXPECT_EQ(reader.HasView(), c.read != TReadResult::NoView);
    pixels = reader.Pixels();
    // Without an event a read waits as a timed-out one does: a camera without its lock or its flag
    // delivers unfilled samples at the paced rate, never as fast as the client takes them.
    const double t0 = test::NowMs();
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(reader.Read([&](const BYTE*, std::size_t) { ADD_FAILURE() << "copied"; }), c.read);
    }
    if (c.read != TReadResult::NoView) {
      EXPECT_GE(test::NowMs() - t0, 3 * 190.0);
    }
  }
  SetSectionMessageHandler(old);
  const std::wstring prefix = std::wstring(c.step) + L" :6 ";  // ERROR_INVALID_HANDLE: the name is taken
  ASSERT_GE(g_lastMessage.size(), prefix.size() + 3);
  EXPECT_EQ(g_lastMessage.substr(0, prefix.size()), prefix);
  EXPECT_EQ(g_lastMessage.find(L'\n'), std::wstring::npos);
  // Gone with the reader: its view and the section (nobody held its lock through it).
  if (pixels) {
    EXPECT_FALSE(Mapped(pixels));
  }
  EXPECT_FALSE(SectionExists());
}

INSTANTIATE_TEST_SUITE_P(Steps, FrameSectionFailure,
                         ::testing::Values(FailureCase{kAccessEventName, L"access", TReadResult::NoAccess},
                                           FailureCase{kNewDataEventName, L"data", TReadResult::NoNewData},
                                           FailureCase{kFrameSectionName, L"alloc buf", TReadResult::NoView}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                           std::string name;
                           for (const wchar_t* c = info.param.step; *c; ++c)
                             if (*c != L' ') name += char(*c);
                           return name;
                         });

TEST(FrameSectionForeign, SmallerMappingOfTheNameIsRefusedNotOverrun) {
  // Another program holds a one-page mapping under the section's name.
  THandleOwner squatter(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                             kFrameSectionName));
  ASSERT_TRUE(squatter);
  g_lastMessage.clear();
  TSectionMessageHandler old = SetSectionMessageHandler(&RecordMessage);
  {
    TFrameSectionReader reader(MakeOfferedVideoInfo());
    EXPECT_FALSE(reader.HasView());
    EXPECT_EQ(reader.Read([&](const BYTE*, std::size_t) { ADD_FAILURE() << "copied from a foreign mapping"; }),
              TReadResult::NoView);
  }
  SetSectionMessageHandler(old);
  EXPECT_EQ(g_lastMessage.substr(0, 14), L"alloc buf :13 ");  // ERROR_INVALID_DATA

  THandleOwner mapping;
  EXPECT_FALSE(OpenOrCreateFrameSection(kFrameSectionName, kFrameSectionSize, mapping));
  EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_DATA));
  EXPECT_FALSE(mapping);
}

}  // namespace
