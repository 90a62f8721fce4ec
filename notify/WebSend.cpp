#include "WebSend.h"

#include <exception>

#include <windows.h>

#include "HttpFetch.h"
#include "HttpUrl.h"
#include "IdnHost.h"
#include "IpCheck.h"
#include "SystemNetwork.h"
#include "Text.h"
#include "UserAgent.h"
#include "WebHeaders.h"

namespace notify {

namespace {

// Only the answer's first words matter; a service that sends a whole page
// back is cut here rather than refused.
constexpr std::size_t kLongestAnswer = 64 * 1024;

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

// The scheme and host of the typed address, for words that must not quote a
// token from its path or query.
std::string OriginOf(const settings::WebSettings& web) {
  const auto url = http::ParseUrl(fw::AnsiToUtf8(web.url));
  return url ? url->Origin() : std::string("the web address");
}

ChannelResult Send(const settings::WebSettings& web, const WebValues& values) {
  const WebValues utf8{values.ip, values.old, values.time, fw::AnsiToUtf8(values.computer)};
  settings::WebSettings typed = web;
  typed.url = fw::AnsiToUtf8(web.url);
  typed.body = fw::AnsiToUtf8(web.body);
  const WebCall call = PrepareCall(typed, utf8);

  const std::optional<std::string> wire = http::WireAddress(call.url);
  const auto url = http::ParseUrl(wire.value_or(std::string()));
  if (!url) return {ChannelResult::Transient, kBadAddress};
  // A bad header line is the user's to mend; calling again would not help.
  const HeaderLines lines = ReadHeaderLines(fw::AnsiToUtf8(web.headers), utf8);
  if (!lines.refusal.empty()) return {ChannelResult::Stopped, FailureText(url->Origin(), lines.refusal)};
  http::Request request;
  request.method = call.method;
  request.url = *wire;
  request.contentType = call.contentType;
  request.body = call.body;
  for (const Header& header : lines.headers) request.headers.push_back({header.name, header.value});
  request.secret = true;  // the address, its login and the body may all hold tokens
  request.userAgent = http::SystemUserAgent();
  http::Limits limits;  // the page fetch's time bound
  limits.maxBody = kLongestAnswer;
  limits.refuseLarger = false;
  const http::Response response = http::Fetch(request, limits, http::SystemNetwork());
  ChannelResult answer = ReadAnswer(response.status, response.reason, response.body, values.ip);
  if (!answer.ok()) answer.text = FailureText(url->Origin(), answer.text);
  return answer;
}

}  // namespace

WebValues ValuesFor(const std::string& ip, const std::string& old, std::time_t now) {
  return {ip, old, app::FormatStampTime(now), ComputerName()};
}

ChannelResult SendWebNotification(const settings::WebSettings& web, const WebValues& values) {
  try {
    return Send(web, values);
  } catch (const std::exception& e) {
    // The fetch's own failure, a refused lookup thread or memory running
    // out: this call's failure, never the check's, since the mail may
    // already be out and its popup due.
    return {ChannelResult::Transient, FailureText(OriginOf(web), e.what())};
  }
}

}  // namespace notify
