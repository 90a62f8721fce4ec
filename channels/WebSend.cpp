#include "channels/WebSend.h"

#include <exception>
#include <vector>

#include <windows.h>

#include "base/Text.h"
#include "channels/StampTime.h"
#include "channels/WebHeaders.h"
#include "http/HttpFetch.h"
#include "http/HttpUrl.h"
#include "http/IdnHost.h"
#include "http/SystemNetwork.h"
#include "http/UserAgent.h"

namespace channels {

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
std::string OriginOf(const channels::WebSettings& web) {
  const auto url = http::ParseUrl(win::AnsiToUtf8(web.url));
  return url ? url->Origin() : std::string("the web address");
}

// The addresses of the families this target publishes, comma-joined as
// the answer is read against them.
std::string SentAddresses(const channels::WebSettings& web, const WebValues& values) {
  const AddressFamilies families = FamiliesOf(web);
  WebValues sent;
  if (families.ipv4) sent.ip = values.ip;
  if (families.ipv6) sent.ip6 = values.ip6;
  return BothAddresses(sent);
}

ChannelResult Send(const channels::WebSettings& web, const WebValues& values, std::vector<std::string>& secrets) {
  WebValues utf8 = values;
  utf8.computer = win::AnsiToUtf8(values.computer);
  utf8.error = win::AnsiToUtf8(values.error);
  channels::WebSettings typed = web;
  typed.url = win::AnsiToUtf8(web.url);
  typed.body = win::AnsiToUtf8(web.body);
  http::Request request = PrepareCall(typed, utf8);
  // The typed address too: a server may echo it rather than the wire form.
  secrets = SecretsOf(request);

  const std::optional<std::string> wire = http::WireAddress(request.url);
  const auto url = http::ParseUrl(wire.value_or(std::string()));
  if (!url) return {ChannelResult::Transient, kBadAddress};
  // A bad header line is the user's to mend; calling again would not help.
  const HeaderLines lines = ReadHeaderLines(win::AnsiToUtf8(web.headers), utf8);
  if (!lines.refusal.empty()) return {ChannelResult::Stopped, FailureText(url->Origin(), lines.refusal)};
  request.url = *wire;
  request.headers = lines.headers;
  request.secret = true;  // the address, its login and the body may all hold tokens
  request.userAgent = http::SystemUserAgent();
  for (std::string& piece : SecretsOf(request)) secrets.push_back(std::move(piece));
  http::Limits limits;  // the page fetch's time bound
  limits.maxBody = kLongestAnswer;
  limits.refuseLarger = false;
  const http::Response response = http::Fetch(request, limits, http::SystemNetwork());
  ChannelResult answer = ReadAnswer(response, SentAddresses(web, values), secrets, std::time(nullptr));
  if (!answer.ok()) answer.text = FailureText(url->Origin(), answer.text);
  return answer;
}

}  // namespace

WebValues ValuesFor(const std::string& ip, const std::string& old, std::time_t now) {
  return ValuesFor(ip, old, {}, {}, now);
}

WebValues ValuesFor(const std::string& ip, const std::string& old, const std::string& ip6, const std::string& old6,
                    std::time_t now) {
  return {ip, old, channels::FormatStampTime(now), ComputerName(), ip6, old6};
}

ChannelResult SendWebNotification(const channels::WebSettings& web, const WebValues& values) {
  std::vector<std::string> secrets;
  try {
    return Send(web, values, secrets);
  } catch (const std::exception& e) {
    // The fetch's own failure, a refused lookup thread or memory running
    // out: this call's failure, never the check's, since the mail may
    // already be out and its popup due. Its words may quote the server (a
    // status, an address it redirected to), so they lose the call's secrets.
    return {ChannelResult::Transient, FailureText(OriginOf(web), HideSecrets(e.what(), secrets))};
  }
}

}  // namespace channels
