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

TEST(WebCall, APostBodyIsJsonWhenItStartsAsJsonAndPlainTextOtherwise) {
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

TEST(WebAnswer, TwoHundredsSucceedUnlessTheBodyRefusesAndOtherStatusesFail) {
  struct Case {
    int status;
    std::string reason, body;
    bool ok;
    std::string text;
  };
  const Case cases[] = {
      {200, "OK", "good 203.0.113.7", true, "Web notification sent: 200 OK"},
      {200, "OK", "nochg 203.0.113.7\r\n", true, "Web notification sent: 200 OK"},
      {204, "No Content", "", true, "Web notification sent: 204 No Content"},
      {200, "OK", "OK", true, "Web notification sent: 200 OK"},
      {200, "OK", "badauth", false, "the service did not accept the user name or password (badauth)"},
      {200, "OK", "good 203.0.113.7\nnohost", false,
       "the host name does not exist or does not belong to this account (nohost)"},
      {200, "OK", "KO", false, "the service refused the update; check the token and the domain (KO)"},
      {200, "OK", "badauthority granted", true, "Web notification sent: 200 OK"},
      {401, "Unauthorized", "good", false, "401 Unauthorized"},
      {302, "Found", "", false, "302 Found"},
      {500, "", "", false, "500"},
  };
  for (const Case& c : cases) {
    const auto answer = ReadAnswer(c.status, c.reason, c.body);
    EXPECT_EQ(c.ok, answer.ok) << c.status << " " << c.body;
    EXPECT_EQ(c.text, answer.text) << c.status << " " << c.body;
  }
}

}  // namespace
