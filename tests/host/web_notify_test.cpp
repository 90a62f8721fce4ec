// The web notification's decisions: what goes out for a change and what the
// service's answer means.
#include <gtest/gtest.h>

#include "WebHeaders.h"
#include "WebNotify.h"

namespace {

using notify::PrepareCall;
using notify::ReadAnswer;

const notify::WebValues kValues{"2001:db8::7", "", "03/06/2026 at 02:05:09 PM", "Den PC \"2\""};

settings::WebSettings Web(const std::string& url, const std::string& method = "GET", const std::string& body = "") {
  settings::WebSettings web;
  web.url = url;
  web.method = method;
  web.body = body;
  return web;
}

TEST(WebCall, AddressPlaceholdersArePercentEncodedAndOtherBracesStay) {
  const auto call =
      PrepareCall(Web("https://u:p@dns.example/up?h={computer}&ip={ip}&was={old}&at={time}&x={IP}{"), kValues);
  EXPECT_EQ("GET", call.method);
  EXPECT_EQ(
      "https://u:p@dns.example/up?h=Den%20PC%20%222%22&ip=2001%3Adb8%3A%3A7&was=&at=03%2F06%2F2026%20at%2002%"
      "3A05%3A09%20PM&x={IP}{",
      call.url);
  EXPECT_EQ("", call.body) << "a GET carries no body";
  EXPECT_EQ("", call.contentType);
  EXPECT_EQ("%00%7F%80%FFaZ09-._~", notify::PercentEncode(std::string("\0\x7f\x80\xff", 4) + "aZ09-._~"));
}

TEST(WebCall, APostBodyIsJsonWithItsValuesEscapedOrPlainTextWithThemAsTheyAre) {
  auto call = PrepareCall(Web("https://x.example/", "POST", " {\"text\": \"{computer} is now {ip}\"}"), kValues);
  EXPECT_EQ("POST", call.method);
  EXPECT_EQ("application/json", call.contentType);
  EXPECT_EQ(" {\"text\": \"Den PC \\\"2\\\" is now 2001:db8::7\"}", call.body);
  call = PrepareCall(Web("https://x.example/", "POST", "[\"{computer}\"]"), {"", "", "", "a\\b\n\x01"});
  EXPECT_EQ("[\"a\\\\b\\n\\u0001\"]", call.body);
  call = PrepareCall(Web("https://x.example/", "POST", "New address {ip} \"{computer}\""), kValues);
  EXPECT_EQ("text/plain; charset=utf-8", call.contentType);
  EXPECT_EQ("New address 2001:db8::7 \"Den PC \"2\"\"", call.body);
}

TEST(WebCall, EveryMethodButGetCarriesTheBodyAndAnUnknownMethodIsGet) {
  for (const char* method : {"POST", "PUT", "PATCH"}) {
    const auto call = PrepareCall(Web("https://x.example/", method, "{\"content\":\"{ip}\"}"), kValues);
    EXPECT_EQ(method, call.method);
    EXPECT_EQ("{\"content\":\"2001:db8::7\"}", call.body) << method;
  }
  const auto call = PrepareCall(Web("https://x.example/", "DELETE", "x"), kValues);
  EXPECT_EQ("GET", call.method);
  EXPECT_EQ("", call.body);
}

TEST(WebHeaders, GoodLinesAreFilledInAndABadLineIsRefusedByItsNumber) {
  struct Case {
    const char* name;
    std::string typed;
    std::string refusal;                  // empty: accepted
    std::vector<notify::Header> headers;  // when accepted
  };
  const notify::WebValues values{"203.0.113.7", "", "now", "Den\x01PC"};
  const Case cases[] = {
      {"filled in as they are, blank lines and CRLF passed over",
       "Authorization: Bearer t0k\r\n\n  Title :  New address {ip}  \nX-Empty:\n",
       "",
       {{"Authorization", "Bearer t0k"}, {"Title", "New address 203.0.113.7"}, {"X-Empty", ""}}},
      {"nothing typed", "", "", {}},
      {"a value may hold colons and a tab", "X-At: 12:05\tpm", "", {{"X-At", "12:05\tpm"}}},
      {"no colon", "Title: x\nPriority high", "Header line 2 has no colon: Priority high", {}},
      {"name with a space", "X Key: t", "Header line 1 has a name that is not an HTTP token: X Key: t", {}},
      {"no name", ": t", "Header line 1 has a name that is not an HTTP token: : t", {}},
      {"name with a non-ASCII byte",
       "X-K\xe9y: t",
       "Header line 1 has a name that is not an HTTP token: X-K\xe9y: t",
       {}},
      {"a control character once filled in",
       "\n\nX-Host: {computer}",
       "Header line 3 has a control character in its value: X-Host: {computer}",
       {}},
      {"a bare CR inside a line",
       "X-A: a\rHost: b",
       "Header line 1 has a control character in its value: X-A: a Host: b",
       {}},
      {"Host", "host: evil.example", "Header line 1 sets Host, which this program sets itself: host: evil.example", {}},
      {"Content-Length",
       "Content-Length: 0",
       "Header line 1 sets Content-Length, which this program sets itself: Content-Length: 0",
       {}},
      {"Transfer-Encoding",
       "TRANSFER-ENCODING: chunked",
       "Header line 1 sets Transfer-Encoding, which this program sets itself: TRANSFER-ENCODING: chunked",
       {}},
      {"Connection",
       "Connection: keep-alive",
       "Header line 1 sets Connection, which this program sets itself: Connection: keep-alive",
       {}},
      {"a long line is quoted cut short",
       "X " + std::string(100, 'a') + ": v",
       "Header line 1 has a name that is not an HTTP token: X " + std::string(58, 'a') + "...",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const notify::HeaderLines lines = notify::ReadHeaderLines(c.typed, values);
    EXPECT_EQ(c.refusal, lines.refusal);
    if (!c.refusal.empty()) continue;
    ASSERT_EQ(c.headers.size(), lines.headers.size());
    for (size_t i = 0; i < c.headers.size(); ++i) {
      EXPECT_EQ(c.headers[i].name, lines.headers[i].name);
      EXPECT_EQ(c.headers[i].value, lines.headers[i].value);
    }
  }
}

TEST(WebAnswer, TwoHundredsSucceedUnlessTheBodyRefusesAndEachRefusalIsTreatedAsTheProtocolAsks) {
  using Kind = notify::ChannelResult::Kind;
  struct Case {
    int status;
    std::string reason, body;
    Kind kind;
    std::string text;
  };
  const auto refused = [](const char* word) { return std::string("(") + word + ")"; };
  const Case cases[] = {
      {200, "OK", "good 203.0.113.7", Kind::Ok, "Web notification sent: 200 OK"},
      {200, "OK", "nochg 203.0.113.7\r\n", Kind::Ok, "Web notification sent: 200 OK"},
      {204, "No Content", "", Kind::Ok, "Web notification sent: 204 No Content"},
      {200, "OK", "OK", Kind::Ok, "Web notification sent: 200 OK"},
      {200, "OK", "badauth", Kind::Stopped, "the service did not accept the user name or password (badauth)"},
      {200, "OK", "good 203.0.113.7\nnohost", Kind::Stopped,
       "the host name does not exist or does not belong to this account (nohost)"},
      {200, "OK", "notfqdn", Kind::Stopped, refused("notfqdn")},
      {200, "OK", "numhost", Kind::Stopped, refused("numhost")},
      {200, "OK", "!yours", Kind::Stopped, refused("!yours")},
      {200, "OK", "abuse", Kind::Stopped, refused("abuse")},
      {200, "OK", "badagent", Kind::Stopped, refused("badagent")},
      {200, "OK", "!donator", Kind::Stopped, refused("!donator")},
      {200, "OK", "badsys", Kind::Stopped, refused("badsys")},
      {200, "OK", "good 127.0.0.1", Kind::Stopped, refused("good 127.0.0.1")},
      {200, "OK", "911", Kind::Wait, refused("911")},
      {200, "OK", "dnserr\r\n", Kind::Wait, refused("dnserr")},
      {200, "OK", "KO", Kind::Transient, "the service refused the update; check the token and the domain (KO)"},
      {200, "OK", "badauthority granted", Kind::Ok, "Web notification sent: 200 OK"},
      {200, "OK", "nochg 127.0.0.1", Kind::Ok, "Web notification sent: 200 OK"},
      {401, "Unauthorized", "good", Kind::Transient, "401 Unauthorized"},
      {302, "Found", "", Kind::Transient, "302 Found"},
      {500, "", "", Kind::Transient, "500"},
  };
  for (const Case& c : cases) {
    const auto answer = ReadAnswer(c.status, c.reason, c.body, "203.0.113.7");
    EXPECT_EQ(c.kind, answer.kind) << c.status << " " << c.body;
    EXPECT_NE(std::string::npos, answer.text.find(c.text)) << c.body << ": " << answer.text;
    EXPECT_EQ(c.kind == Kind::Wait ? notify::kServiceTroubleWaitMs : 0u, answer.minDelayMs) << c.body;
  }
  EXPECT_TRUE(ReadAnswer(200, "OK", "good 127.0.0.1", "127.0.0.1").ok()) << "the address really sent";
}

TEST(WebAnswer, ARowSaysTheLastResultShortest) {
  using notify::ChannelResult;
  const std::string failed = notify::FailureText("https://dns.example", "503 Service Unavailable");
  EXPECT_EQ("sent 14:03", notify::ResultRow({ChannelResult::Ok, "Web notification sent: 200 OK"}, "14:03"));
  EXPECT_EQ("failed: 503 Service Unavailable", notify::ResultRow({ChannelResult::Transient, failed}, "14:03"));
  EXPECT_EQ("stopped: badauth", notify::ResultRow(ReadAnswer(200, "OK", "badauth", "203.0.113.7"), "14:03"));
  EXPECT_EQ("failed: " + std::string(60, 'x') + "...",
            notify::ResultRow({ChannelResult::Wait, std::string(70, 'x')}, "14:03"));
}

TEST(WebCall, OnlyABodyThatIsJsonOnceFilledInIsSentAsJson) {
  struct Case {
    std::string body;
    bool json;
  };
  const Case cases[] = {
      {"{computer} has a new address: {ip}", false},
      {"{\"content\":\"{ip}\"}", true},
      {"{\"n\": {ip}}", false},
      {" [1, -2.5e+3, true, false, null, {\"a\": [\"\\u00e9\\n\"]}] ", true},
      {"{\"a\":1,}", false},
      {"[01]", false},
      {"\"tab\there\"", false},
      {"\"{ip}\" is the new address", false},
      {"{\"a\" 1}", false},
      {"[2E-]", false},
      {"\"\\u123\"", false},
      {"{\"a\":\"\\x\"}", false},
      {std::string(65, '[') + std::string(65, ']'), false},
      {std::string(60, '[') + std::string(60, ']'), true},
      {"", false},
  };
  for (const Case& c : cases) {
    const auto call = PrepareCall(Web("https://x.example/", "POST", c.body), kValues);
    EXPECT_EQ(c.json ? "application/json" : "text/plain; charset=utf-8", call.contentType) << c.body;
  }
  EXPECT_EQ("Den PC \"2\" has a new address: 2001:db8::7",
            PrepareCall(Web("https://x.example/", "POST", "{computer} has a new address: {ip}"), kValues).body)
      << "a text body keeps its values as they are";
  EXPECT_EQ("\\u001F\\u0020", notify::JsonEscape("\x1f") + "\\u0020");
}

}  // namespace
