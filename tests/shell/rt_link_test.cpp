// The RealTraffic link without the fixed port: the version reply, the removal
// of the live aircraft and a link that was never opened.
#include <nlohmann/json.hpp>

#include "core/clock.h"
#include "core/parameters.h"
#include "engine_doubles.h"  // the link needs the engine, even where no aircraft is removed
#include "shell/rt_link.h"
#include "shell/startup.h"
#include "shell_test_support.h"
#include "traffic/user_aircraft.h"

namespace {

using RtLinkVersion = ShellTest;

TEST_F(RtLinkVersion, TheReplyGivesEditionAndVersion) {
  struct Row {
    const char* reply;
    const char* versionText;  // nullptr: the text stays as it was
    bool professional;
    const char* message;
  };
  const Row rows[] = {
      {R"({"version":"9.0.1","level":2})", "RT prof edition: 9.0.1", true, ""},
      {R"({"version":"9.0.1"})", "RT prof edition: 9.0.1", true, ""},
      {"{\"version\":\"9.0.1\",\"level\":1}\r\n", "RT stnd edition: 9.0.1", false, ""},
      {R"({"level":2})", "RT prof edition: ?", true, ""},
      {R"({"version":"","level":""})", "RT prof edition: ?", true, ""},
      {"", nullptr, false, "No RealTraffic version received?"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reply);
    gAppState.rtVersionText.set("before");
    gRtProfessional.store(!row.professional);
    gf_clearMessage();
    lf_readRtVersion(row.reply);
    EXPECT_EQ(gAppState.rtVersionText.get(), row.versionText ? row.versionText : "before");
    EXPECT_EQ(gRtProfessional.load(), row.professional);
    EXPECT_EQ(messageText(), row.message);
  }
  EXPECT_EQ(logged(), "No RealTraffic version received?\n");
}

TEST_F(RtLinkVersion, AReplyThatIsNoVersionObjectThrowsTheJsonError) {
  const std::pair<std::string, std::string> rows[] = {
      {"abc", "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value "
              "- invalid literal; last read: 'a'"},
      {R"({"version":5})", "[json.exception.type_error.302] type must be string, but is number"},
      {R"({"version":"9","level":"x"})", "[json.exception.type_error.302] type must be number, but is string"},
      {"[1,2]", "[json.exception.type_error.306] cannot use value() with array"},
      // A reply cut at the receive buffer's 8192 bytes.
      {R"({"version":")" + std::string(8192 - 12, '9'),
       "[json.exception.parse_error.101] parse error at line 1, column 8193: syntax error while parsing value - "
       "invalid string: missing closing quote; last read: '\"" +
           std::string(8192 - 12, '9') + "'"},
  };
  for (const auto& [reply, what] : rows) {
    SCOPED_TRACE(reply.substr(0, 40));
    gAppState.rtVersionText.set("before");
    try {
      lf_readRtVersion(reply);
      ADD_FAILURE() << "no exception";
    } catch (const nlohmann::json::exception& e) {
      EXPECT_EQ(std::string(e.what()), what);
    }
    EXPECT_EQ(gAppState.rtVersionText.get(), "before");
  }
}

using RtLinkClosed = ShellTest;

TEST_F(RtLinkClosed, WithoutAServerQs121NeitherAcceptsNorSendsNorLogs) {
  gRtLocal = true;
  AEROWINX.value = true;
  gUserAc.latitude = 51.4775;
  gUserAc.longitude = -0.4614;
#ifdef _WIN32
  // The system's Winsock counts no calls: what shows is that nothing was logged or said.
  for (int call = 0; call < 100; ++call) gf_sendQs121();
#else
  const WinsockCallCounts before = gf_winsockCallCounts();
  for (int call = 0; call < 100; ++call) gf_sendQs121();
  const WinsockCallCounts after = gf_winsockCallCounts();
  EXPECT_EQ(after.accepts, before.accepts);
  EXPECT_EQ(after.sends, before.sends);
#endif
  EXPECT_EQ(logged(), "");
  EXPECT_EQ(messageText(), "");
  gRtLocal = false;
  gUserAc = {};
}

}  // namespace
