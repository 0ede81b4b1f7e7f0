// The DVD navigator's events: posted into Wine's filter graph through its IMediaEventSink, they
// reach the component's hidden window and fire their handlers with their arguments, the domain,
// error and warning events by their sub-code; stream changes name their language through the DVD
// navigator's IDvdInfo2 (a stand-in builder's) and the locale.
#include <gtest/gtest.h>

#include <dshow.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "DSGraph.h"
#include "GuiTestUtil.h"
#include "StandIns.h"

using namespace kivo;
using namespace kivo::test;

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A DVD time code of its digits (one BCD digit a field) and rate code.
DWORD TimeCode(int h10, int h1, int m10, int m1, int s10, int s1, int f10, int f1, int rate) {
  return DWORD(h1) | DWORD(h10) << 4 | DWORD(m1) << 8 | DWORD(m10) << 12 | DWORD(s1) << 16 | DWORD(s10) << 20 |
         DWORD(f1) << 24 | DWORD(f10) << 28 | DWORD(rate) << 30;
}

class DvdEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Form = Create<TForm>(Application());
    Graph = new TFilterGraph(Form);
    Graph->SetName(L"Graph");
    // Every event opens an entry; its handler writes into it.
    Graph->OnDSEvent = [this](TObject*, long code, LONG_PTR, LONG_PTR) {
      if (code >= EC_DVD_DOMAIN_CHANGE && code <= EC_DVD_KARAOKE_MODE) Fired.emplace_back();
    };
    auto note = [this](const std::string& what) {
      return [this, what](TObject* sender) {
        EXPECT_EQ(sender, Graph);
        Write(what);
      };
    };
    auto value = [this](const std::string& what) {
      return [this, what](TObject*, long v) { Write(what + " " + std::to_string(v)); };
    };
    auto pair = [this](const std::string& what) {
      return [this, what](TObject*, long a, long b) { Write(what + " " + std::to_string(a) + " " + std::to_string(b)); };
    };
    auto flag = [this](const std::string& what) {
      return [this, what](TObject*, bool v) { Write(what + (v ? " true" : " false")); };
    };
    Graph->OnDVDDomainFirstPlay = note("DomainFirstPlay");
    Graph->OnDVDDomainVideoManagerMenu = note("DomainVideoManagerMenu");
    Graph->OnDVDDomainVideoTitleSetMenu = note("DomainVideoTitleSetMenu");
    Graph->OnDVDDomainTitle = note("DomainTitle");
    Graph->OnDVDDomainStop = note("DomainStop");
    Graph->OnDVDErrorUnexpected = note("ErrorUnexpected");
    Graph->OnDVDErrorCopyProtectFail = note("ErrorCopyProtectFail");
    Graph->OnDVDErrorInvalidDVD1_0Disc = note("ErrorInvalidDVD1_0Disc");
    Graph->OnDVDErrorInvalidDiscRegion = note("ErrorInvalidDiscRegion");
    Graph->OnDVDErrorLowParentalLevel = note("ErrorLowParentalLevel");
    Graph->OnDVDErrorMacrovisionFail = note("ErrorMacrovisionFail");
    Graph->OnDVDErrorIncompatibleSystemAndDecoderRegions = note("ErrorIncompatibleSystemAndDecoderRegions");
    Graph->OnDVDErrorIncompatibleDiscAndDecoderRegions = note("ErrorIncompatibleDiscAndDecoderRegions");
    Graph->OnDVDWarningInvalidDVD1_0Disc = value("WarningInvalidDVD1_0Disc");
    Graph->OnDVDWarningFormatNotSupported = value("WarningFormatNotSupported");
    Graph->OnDVDWarningIllegalNavCommand = value("WarningIllegalNavCommand");
    Graph->OnDVDWarningOpen = value("WarningOpen");
    Graph->OnDVDWarningSeek = value("WarningSeek");
    Graph->OnDVDWarningRead = value("WarningRead");
    Graph->OnDVDTitleChange = value("TitleChange");
    Graph->OnDVDChapterStart = value("ChapterStart");
    Graph->OnDVDAudioStreamChange = [this](TObject*, long stream, LCID lcid, const std::wstring& name) {
      Write("AudioStreamChange " + std::to_string(stream) + " " + std::to_string(lcid) + " '" + Narrow(name) + "'");
    };
    Graph->OnDVDSubpictureStreamChange = [this](TObject*, long stream, bool enabled, LCID lcid,
                                                const std::wstring& name) {
      Write("SubpictureStreamChange " + std::to_string(stream) + (enabled ? " on " : " off ") + std::to_string(lcid) +
            " '" + Narrow(name) + "'");
    };
    Graph->OnDVDAngleChange = pair("AngleChange");
    Graph->OnDVDButtonChange = pair("ButtonChange");
    Graph->OnDVDValidUOPSChange = value("ValidUOPSChange");
    Graph->OnDVDStillOn = [this](TObject*, bool buttons, long seconds) {
      Write(std::string("StillOn ") + (buttons ? "buttons " : "no-buttons ") + std::to_string(seconds));
    };
    Graph->OnDVDStillOff = note("StillOff");
    Graph->OnDVDCurrentTime = [this](TObject*, const TDVDTimeCode& t, int rate) {
      Write("CurrentTime " + std::to_string(t.Hours10) + std::to_string(t.Hours1) + ":" + std::to_string(t.Minutes10) +
            std::to_string(t.Minutes1) + ":" + std::to_string(t.Seconds10) + std::to_string(t.Seconds1) + "." +
            std::to_string(t.Frames10) + std::to_string(t.Frames1) + " @" + std::to_string(rate));
    };
    Graph->OnDVDChapterAutoStop = note("ChapterAutoStop");
    Graph->OnDVDNoFP_PGC = note("NoFP_PGC");
    Graph->OnDVDPlaybackRateChange = [this](TObject*, double rate) {
      char text[64];
      std::snprintf(text, sizeof text, "PlaybackRateChange %.4f", rate);
      Write(text);
    };
    Graph->OnDVDParentalLevelChange = value("ParentalLevelChange");
    Graph->OnDVDPlaybackStopped = value("PlaybackStopped");
    Graph->OnDVDAnglesAvailable = flag("AnglesAvailable");
    Graph->OnDVDPlayPeriodAutoStop = note("PlayPeriodAutoStop");
    Graph->OnDVDButtonAutoActivated = value("ButtonAutoActivated");
    Graph->OnDVDCMDStart = [this](TObject*, long id, HRESULT hr) {
      Write("CMDStart " + std::to_string(id) + " " + Hex(hr));
    };
    Graph->OnDVDCMDEnd = [this](TObject*, long id, HRESULT hr) { Write("CMDEnd " + std::to_string(id) + " " + Hex(hr)); };
    Graph->OnDVDDiscEjected = note("DiscEjected");
    Graph->OnDVDDiscInserted = note("DiscInserted");
    Graph->OnDVDCurrentHMSFTime = [this](TObject*, const DVD_HMSF_TIMECODE& t, DWORD flags) {
      Write("CurrentHMSFTime " + std::to_string(t.bHours) + ":" + std::to_string(t.bMinutes) + ":" +
            std::to_string(t.bSeconds) + "." + std::to_string(t.bFrames) + " flags " + std::to_string(flags));
    };
    Graph->OnDVDKaraokeMode = flag("KaraokeMode");
  }
  void TearDown() override {
    Form->Free();
    DoneApplication();
    ::CoUninitialize();
  }
  void Write(const std::string& what) {
    ASSERT_FALSE(Fired.empty()) << "a handler without its event: " << what;
    if (!Fired.back().empty()) Fired.back() += "; ";
    Fired.back() += what;
  }
  // Posts the events into the graph and waits until the component has taken them all.
  void Post(const std::vector<std::tuple<long, LONG_PTR, LONG_PTR>>& events) {
    auto sink = Graph->Query<IMediaEventSink>();
    ASSERT_TRUE(sink);
    for (const auto& [code, p1, p2] : events) ASSERT_EQ(sink->Notify(code, p1, p2), S_OK) << code;
    ASSERT_TRUE(PumpUntil([&] { return Fired.size() >= events.size(); }, 10000))
        << Fired.size() << " of " << events.size() << " events arrived";
  }

  TForm* Form = nullptr;
  TFilterGraph* Graph = nullptr;
  std::vector<std::string> Fired;
};

TEST_F(DvdEvents, EachEventFiresItsHandlerWithItsArguments) {
  Graph->SetActive(true);
  struct TCase {
    long Code;
    LONG_PTR P1, P2;
    std::string Fired;  // empty: no handler
  };
  const TCase cases[] = {
      {EC_DVD_DOMAIN_CHANGE, 1, 0, "DomainFirstPlay"},
      {EC_DVD_DOMAIN_CHANGE, 2, 0, "DomainVideoManagerMenu"},
      {EC_DVD_DOMAIN_CHANGE, 3, 0, "DomainVideoTitleSetMenu"},
      {EC_DVD_DOMAIN_CHANGE, 4, 0, "DomainTitle"},
      {EC_DVD_DOMAIN_CHANGE, 5, 0, "DomainStop"},
      {EC_DVD_DOMAIN_CHANGE, 0, 0, ""},
      {EC_DVD_DOMAIN_CHANGE, 6, 0, ""},
      {EC_DVD_ERROR, 1, 0, "ErrorUnexpected"},
      {EC_DVD_ERROR, 2, 0, "ErrorCopyProtectFail"},
      {EC_DVD_ERROR, 3, 0, "ErrorInvalidDVD1_0Disc"},
      {EC_DVD_ERROR, 4, 0, "ErrorInvalidDiscRegion"},
      {EC_DVD_ERROR, 5, 0, "ErrorLowParentalLevel"},
      {EC_DVD_ERROR, 6, 0, "ErrorMacrovisionFail"},
      {EC_DVD_ERROR, 7, 0, "ErrorIncompatibleSystemAndDecoderRegions"},
      {EC_DVD_ERROR, 8, 0, "ErrorIncompatibleDiscAndDecoderRegions"},
      {EC_DVD_ERROR, 9, 0, ""},
      {EC_DVD_WARNING, 1, 11, "WarningInvalidDVD1_0Disc 11"},
      {EC_DVD_WARNING, 2, 12, "WarningFormatNotSupported 12"},
      {EC_DVD_WARNING, 3, 13, "WarningIllegalNavCommand 13"},
      {EC_DVD_WARNING, 4, 14, "WarningOpen 14"},
      {EC_DVD_WARNING, 5, 15, "WarningSeek 15"},
      {EC_DVD_WARNING, 6, 16, "WarningRead 16"},
      {EC_DVD_WARNING, 7, 17, ""},
      {EC_DVD_TITLE_CHANGE, 3, 0, "TitleChange 3"},
      {EC_DVD_CHAPTER_START, 12, 0, "ChapterStart 12"},
      {EC_DVD_AUDIO_STREAM_CHANGE, 2, 0, "AudioStreamChange 2 0 ''"},
      {EC_DVD_SUBPICTURE_STREAM_CHANGE, 1, 1, "SubpictureStreamChange 1 on 0 ''"},
      {EC_DVD_ANGLE_CHANGE, 4, 2, "AngleChange 4 2"},
      {EC_DVD_BUTTON_CHANGE, 9, 3, "ButtonChange 9 3"},
      {EC_DVD_VALID_UOPS_CHANGE, 0x1234, 0, "ValidUOPSChange 4660"},
      {EC_DVD_STILL_ON, 1, 20, "StillOn buttons 20"},
      {EC_DVD_STILL_ON, 0, -1, "StillOn no-buttons -1"},
      {EC_DVD_STILL_OFF, 0, 0, "StillOff"},
      {EC_DVD_CURRENT_TIME, LONG_PTR(TimeCode(1, 2, 3, 4, 5, 6, 2, 3, 1)), 0, "CurrentTime 12:34:56.23 @25"},
      {EC_DVD_CURRENT_TIME, LONG_PTR(TimeCode(0, 0, 5, 9, 0, 1, 1, 9, 3)), 0, "CurrentTime 00:59:01.19 @30"},
      {EC_DVD_CURRENT_TIME, LONG_PTR(TimeCode(0, 1, 0, 0, 0, 0, 0, 0, 2)), 0, "CurrentTime 01:00:00.00 @0"},
      {EC_DVD_CURRENT_TIME, LONG_PTR(TimeCode(0, 1, 0, 0, 0, 0, 0, 0, 0)), 0, "CurrentTime 01:00:00.00 @0"},
      {EC_DVD_CHAPTER_AUTOSTOP, 0, 0, "ChapterAutoStop"},
      {EC_DVD_NO_FP_PGC, 0, 0, "NoFP_PGC"},
      {EC_DVD_PLAYBACK_RATE_CHANGE, 10000, 0, "PlaybackRateChange 1.0000"},
      {EC_DVD_PLAYBACK_RATE_CHANGE, 25000, 0, "PlaybackRateChange 2.5000"},
      {EC_DVD_PLAYBACK_RATE_CHANGE, -5000, 0, "PlaybackRateChange -0.5000"},
      {EC_DVD_PARENTAL_LEVEL_CHANGE, 7, 0, "ParentalLevelChange 7"},
      {EC_DVD_PLAYBACK_STOPPED, DVD_PB_STOPPED_DiscEjected, 0, "PlaybackStopped 5"},
      {EC_DVD_ANGLES_AVAILABLE, 1, 0, "AnglesAvailable true"},
      {EC_DVD_ANGLES_AVAILABLE, 0, 0, "AnglesAvailable false"},
      {EC_DVD_PLAYPERIOD_AUTOSTOP, 0, 0, "PlayPeriodAutoStop"},
      {EC_DVD_BUTTON_AUTO_ACTIVATED, 5, 0, "ButtonAutoActivated 5"},
      {EC_DVD_CMD_START, 42, S_OK, "CMDStart 42 0x00000000"},
      {EC_DVD_CMD_END, 42, LONG_PTR(E_ABORT), "CMDEnd 42 0x80004004"},
      {EC_DVD_DISC_EJECTED, 0, 0, "DiscEjected"},
      {EC_DVD_DISC_INSERTED, 0, 0, "DiscInserted"},
      {EC_DVD_CURRENT_HMSF_TIME, LONG_PTR(0x17063B02), 2, "CurrentHMSFTime 2:59:6.23 flags 2"},
      {EC_DVD_KARAOKE_MODE, 1, 0, "KaraokeMode true"},
  };
  std::vector<std::tuple<long, LONG_PTR, LONG_PTR>> events;
  for (const TCase& c : cases) events.emplace_back(c.Code, c.P1, c.P2);
  ASSERT_NO_FATAL_FAILURE(Post(events));
  ASSERT_EQ(Fired.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Fired[i], cases[i].Fired) << "event " << cases[i].Code << " (" << cases[i].P1 << ", " << cases[i].P2 << ")";

  // Without handlers the events pass quietly (OnDSEvent still sees them).
  Form->Free();
  Form = Create<TForm>(Application());
  Graph = new TFilterGraph(Form);
  int seen = 0;
  Graph->OnDSEvent = [&](TObject*, long, LONG_PTR, LONG_PTR) { ++seen; };
  Graph->SetActive(true);
  auto sink = Graph->Query<IMediaEventSink>();
  for (const TCase& c : cases) ASSERT_EQ(sink->Notify(c.Code, c.P1, c.P2), S_OK);
  EXPECT_TRUE(PumpUntil([&] { return seen == int(std::size(cases)); }, 10000)) << seen;
}

// A DVD graph: the navigator's information names the languages of new streams.
TEST_F(DvdEvents, StreamChangesNameTheirLanguage) {
  TComPtr<IGraphBuilder> graph;
  ASSERT_EQ(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid()),
            S_OK);
  auto* info = new TStandInDvdInfo;
  info->Audio = {{1, MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT)},
                 {3, MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), SORT_DEFAULT)}};
  info->Subpicture = {{2, MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), SORT_DEFAULT)}};
  TStandInDvdFactory factory(graph.Get(), info);
  TClassRegistration registration(CLSID_DvdGraphBuilder, &factory);
  ASSERT_EQ(registration.Result, S_OK);
  Graph->SetMode(TGraphMode::gmDVD);
  Graph->SetActive(true);
  TComPtr<IDvdInfo2> asked;
  ASSERT_EQ(Graph->QueryInterface(IID_IDvdInfo2, asked.PutVoid()), S_OK) << "the navigator's information";
  asked.Reset();

  ASSERT_NO_FATAL_FAILURE(Post({{EC_DVD_AUDIO_STREAM_CHANGE, 1, 0},
                                {EC_DVD_AUDIO_STREAM_CHANGE, 3, 0},
                                {EC_DVD_SUBPICTURE_STREAM_CHANGE, 2, 0},
                                {EC_DVD_AUDIO_STREAM_CHANGE, 5, 0},
                                {EC_DVD_SUBPICTURE_STREAM_CHANGE, 1, 1},
                                {EC_DVD_AUDIO_STREAM_CHANGE, LONG_PTR(0xFFFFFFFF), 0}}));
  const std::vector<std::string> expected = {
      "AudioStreamChange 1 1031 'German'",
      "AudioStreamChange 3 1041 'Japanese'",
      "SubpictureStreamChange 2 off 1036 'French'",
      "AudioStreamChange 5 0 ''",          // a stream the navigator does not know
      "SubpictureStreamChange 1 on 0 ''",
      "AudioStreamChange -1 0 ''",         // no stream
  };
  EXPECT_EQ(Fired, expected);
  Graph->SetActive(false);
  info->Release();
}

TEST(DvdTimeCode, SplitsIntoItsDigitsAndRate) {
  const struct {
    DWORD Code;
    int Digits[8];  // h10 h1 m10 m1 s10 s1 f10 f1
    int RateCode, Rate;
  } cases[] = {
      {0x00000000, {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
      {TimeCode(1, 2, 3, 4, 5, 6, 2, 3, 1), {1, 2, 3, 4, 5, 6, 2, 3}, 1, 25},
      {TimeCode(9, 9, 5, 9, 5, 9, 2, 9, 3), {9, 9, 5, 9, 5, 9, 2, 9}, 3, 30},
      {TimeCode(0, 0, 0, 0, 0, 0, 3, 0, 2), {0, 0, 0, 0, 0, 0, 3, 0}, 2, 0},
      {0xFFFFFFFF, {15, 15, 15, 15, 15, 15, 3, 15}, 3, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    const TDVDTimeCode t = SplitDVDTimeCode(c.Code);
    const int got[8] = {t.Hours10, t.Hours1, t.Minutes10, t.Minutes1, t.Seconds10, t.Seconds1, t.Frames10, t.Frames1};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(got[i], c.Digits[i]) << "digit " << i;
    EXPECT_EQ(t.FrameRateCode, c.RateCode);
    EXPECT_EQ(DVDFrameRate(t.FrameRateCode), c.Rate);
    // The platform's own record of the same bits agrees.
    DVD_TIMECODE platform{};
    static_assert(sizeof(platform) == sizeof(DWORD), "four bytes");
    std::memcpy(&platform, &c.Code, sizeof(platform));
    EXPECT_EQ(int(platform.Hours10), t.Hours10);
    EXPECT_EQ(int(platform.Minutes1), t.Minutes1);
    EXPECT_EQ(int(platform.Frames10), t.Frames10);
    EXPECT_EQ(int(platform.FrameRateCode), t.FrameRateCode);
  }
  EXPECT_EQ(SplitDVDTimeCode(TimeCode(1, 2, 3, 4, 5, 6, 2, 3, 1)).Hours(), 12);
  EXPECT_EQ(SplitDVDTimeCode(TimeCode(1, 2, 3, 4, 5, 6, 2, 3, 1)).Frames(), 23);
}

}  // namespace
