// yelkinfo as its callers run it: the signed request reaching a loopback server, its options,
// Version.ini, the server's failures, the exit codes and the log.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "ToolsTestUtil.h"

using namespace kivo::test;

namespace {

struct TRequest {
  std::string flag, code, proid, ver, mac;
};

// The request line's query, which must carry its five keys in this order.
bool ParseRequest(const std::string& head, TRequest& r) {
  static const std::regex line(
      R"(^GET /api/updateMachineCode\?flag=(\d+)&code=([0-9a-f]{32})&proid=(\d+)&ver=(\d+)&mac=([0-9a-f]{32}) HTTP/1\.1\r?$)");
  std::smatch m;
  const std::string first = head.substr(0, head.find('\n'));
  if (!std::regex_match(first, m, line)) return false;
  r = {m[1], m[2], m[3], m[4], m[5]};
  return true;
}

// yelkinfo copied into a folder of its own for one run.
class TYelkInfo {
 public:
  TYelkInfo() : folder_(L"yelkinfo") { CopyInto(HelperPath(L"yelkinfo"), Exe()); }
  std::wstring Exe() const { return folder_ / L"yelkinfo.exe"; }
  const TTempFolder& Folder() const { return folder_; }
  std::optional<DWORD> Run(const std::wstring& arguments, DWORD timeoutMs = 90000) {
    return RunProgram(Exe(), L"\"" + Exe() + L"\" " + arguments, timeoutMs);
  }
  std::vector<std::string> Log() const { return ReadLogLines(folder_ / L"log\\yelkinfo.log"); }

 private:
  TTempFolder folder_;
};

std::wstring BaseUrl(const TLoopbackServer& server) { return server.Url(L"/api/updateMachineCode?"); }

constexpr char kSalt[] = "#RK$MV";

}  // namespace

TEST(YelkInfo, TheSignedRequestReachesTheServerAndTwoRunsGiveTheSameCode) {
  TLoopbackServer server(TReply::Http(200, "thanks"));
  TYelkInfo program;
  const std::wstring args = L"-u " + BaseUrl(server) + L" -t 1 -p 7 -v 1.0.0.2";
  ASSERT_EQ(program.Run(args), 0u);
  ASSERT_EQ(program.Run(args), 0u);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  TRequest first, second;
  ASSERT_TRUE(ParseRequest(requests[0], first)) << requests[0];
  ASSERT_TRUE(ParseRequest(requests[1], second)) << requests[1];
  EXPECT_EQ(first.flag, "1");
  EXPECT_EQ(first.proid, "7");
  EXPECT_EQ(first.ver, "281474976710658");
  EXPECT_EQ(first.mac, SystemMd5("1" + first.code + "7" + "281474976710658" + kSalt));
  EXPECT_EQ(second.code, first.code);
  EXPECT_EQ(second.mac, first.mac);
  EXPECT_NE(requests[0].find("User-Agent: yelkinfo.exe"), std::string::npos) << requests[0];

  // The log: the first argument, then the request as built and the text's address.
  const std::vector<std::string> log = program.Log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "31");
  EXPECT_EQ(log[1].substr(23), " === Arg[0] = " + Utf8(program.Exe()));
  const std::string get = " === Get " + Utf8(BaseUrl(server)) + "flag=1&code=" + first.code +
                          "&proid=7&ver=281474976710658&mac=" + first.mac + " result ";
  ASSERT_EQ(log[2].substr(23, get.size()), get);
  EXPECT_NE(log[2].substr(23 + get.size()), std::string(16, '0')) << "the text was received";
}

// Each row: arguments after the server's URL, files beside the program, the exit code and, when a
// request is made, its flag, product id and version.
TEST(YelkInfo, OptionsAsCallersGiveThem) {
  struct TCase {
    const wchar_t* args;
    const char* versionIni;  // nullptr: none
    bool yelk;
    DWORD exit;
    const char* flag;
    const char* proid;
    const char* ver;
  } cases[] = {
      {L"-T 5 -P 7", nullptr, false, 0, "5", "7", "0"},
      {L"-t 1 -v 70000.1.2.3", nullptr, false, 0, "1", "43", "1256504300331466755"},
      {L"-t -p 7", nullptr, false, 1, nullptr, nullptr, nullptr},
      {L"-p 7 -t", nullptr, false, 1, nullptr, nullptr, nullptr},
      {L"-t 0 -p 3", nullptr, false, 1, nullptr, nullptr, nullptr},
      {L"-t abc", nullptr, false, 1, nullptr, nullptr, nullptr},
      {L"-t 2 -p -5", nullptr, false, 0, "2", "43", "0"},
      {L"-t 1 -u -x", nullptr, false, 0, "1", "43", "0"},
      {L"-t \" -5\"", nullptr, false, 0, "4294967291", "43", "0"},
      {L"-t 99999999999 -p 3xyz", nullptr, false, 0, "2147483647", "3", "0"},
      {L"-t 1 -v 1.2.3", "[Version]\r\nVersion=2.0.0.1\r\n", true, 0, "1", "43", "562949953421313"},
      {L"-t 1 -v 1.2.3", "[Version]\r\nVersion=2.0.0.1\r\n", false, 0, "1", "43", "0"},
      {L"-t 1", "[Version]\r\nVersion=2.0\r\n", true, 0, "1", "43", "0"},
      {L"-t 1 -v 3.0.0.0", "[Version]\r\nVersion=2.0.0.1\r\n", true, 0, "1", "43", "844424930131968"},
  };
  for (const TCase& c : cases) {
    const std::string name = Utf8(c.args) + (c.versionIni ? " with Version.ini" : "") + (c.yelk ? " and Yelk.exe" : "");
    TLoopbackServer server(TReply::Http(200, "ok"));
    TYelkInfo program;
    if (c.versionIni) WriteFileBytes(program.Folder() / L"Version.ini", c.versionIni);
    if (c.yelk) WriteFileBytes(program.Folder() / L"Yelk.exe", "another product's program");
    EXPECT_EQ(program.Run(L"-u " + BaseUrl(server) + L" " + c.args), c.exit) << name;
    const auto requests = server.Requests();
    if (!c.flag) {
      EXPECT_TRUE(requests.empty()) << name;
      EXPECT_EQ(program.Log().size(), 2u) << name << ": only the first argument is logged";
      continue;
    }
    ASSERT_EQ(requests.size(), 1u) << name;
    TRequest r;
    ASSERT_TRUE(ParseRequest(requests[0], r)) << name << ": " << requests[0];
    EXPECT_EQ(r.flag, c.flag) << name;
    EXPECT_EQ(r.proid, c.proid) << name;
    EXPECT_EQ(r.ver, c.ver) << name;
    EXPECT_EQ(r.mac, SystemMd5(r.flag + r.code + r.proid + r.ver + kSalt)) << name;
  }
}

// Whatever the server does, the run ends with exit code 0 and logs a result address of zero.
TEST(YelkInfo, ServerFailuresStillExitWithZero) {
  TReply early = TReply::Http(200, std::string(500, 'x'));
  early.SendBytes = 20;
  const struct {
    const char* name;
    TReply reply;
  } cases[] = {
      {"404", TReply::Http(404, "no")},
      {"closes early", early},
      {"no Content-Length", TReply::Http(200, "text", false)},
  };
  for (const auto& c : cases) {
    TLoopbackServer server(c.reply);
    TYelkInfo program;
    EXPECT_EQ(program.Run(L"-u " + BaseUrl(server) + L" -t 1"), 0u) << c.name;
    EXPECT_EQ(server.Requests().size(), 1u) << c.name;
    const std::vector<std::string> log = program.Log();
    ASSERT_EQ(log.size(), 3u) << c.name;
    EXPECT_EQ(log[2].substr(log[2].size() - 24), " result 0000000000000000") << c.name << ": " << log[2];
  }
}

TEST(YelkInfo, ASilentServerIsGivenUpAfterTheTimeOutWithExitCodeZero) {
  TLoopbackServer server(TReply::Silence(60000));
  TYelkInfo program;
  EXPECT_EQ(program.Run(L"-u " + BaseUrl(server) + L" -t 1"), 0u);
  EXPECT_EQ(server.OpenConnections(), 1) << "yelkinfo gave up on its own";
  const std::vector<std::string> log = program.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].substr(log[2].size() - 24), " result 0000000000000000") << log[2];
}

TEST(YelkInfo, NoReachableServerIsNoFailureEither) {
  TYelkInfo program;
  const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(TLoopbackServer::UnusedPort()) + L"/api/x?";
  EXPECT_EQ(program.Run(L"-t 1 -u " + base), 0u);
  const std::vector<std::string> log = program.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[2].find(" === Get " + Utf8(base) + "flag=1&code="), std::string::npos) << log[2];
}
