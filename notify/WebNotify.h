#pragma once
// The web notification's decisions, free of any window or socket: what the
// user's address template and body become for one change, how the request
// is labelled, and whether the service's answer means the change arrived.
#include <cstdint>
#include <string>
#include <string_view>

#include "ChannelResult.h"
#include "SettingsLayout.h"

namespace notify {

// What the placeholders stand for in one call.
struct WebValues {
  std::string ip;        // {ip}: the new address
  std::string old;       // {old}: the address shown before, empty on the first check
  std::string time;      // {time}: the stamp's date and time
  std::string computer;  // {computer}: this computer's name
};

// The request as it goes out, before the engine turns a login in the
// address into Basic authentication.
struct WebCall {
  std::string method;  // GET, POST, PUT or PATCH
  std::string url;
  std::string contentType;  // empty without a body
  std::string body;
};

// Every byte but the unreserved ones (letters, digits, - . _ ~) as %XX, so a
// value can sit anywhere in an address, login and query included.
std::string PercentEncode(std::string_view text);

// The text as the inside of a JSON string.
std::string JsonEscape(std::string_view text);

// The placeholders replaced by their values, each passed through `escape`;
// any other brace is left as typed.
std::string ExpandPlaceholders(std::string_view text, const WebValues& values, std::string (*escape)(std::string_view));

// True when the text is one whole JSON value (RFC 8259), blanks around it
// allowed; nesting deeper than a service would ever need counts as not JSON.
bool IsJson(std::string_view text);

// The call for one change. Every method but GET carries the body (the
// headers are read on their own, WebHeaders.h). It is JSON when,
// with its values escaped for JSON, it parses as JSON; any other body goes
// out as plain text with its values as they are, so a text that merely
// starts with a placeholder is not mistaken for JSON.
WebCall PrepareCall(const settings::WebSettings& web, const WebValues& values);

// What the service's answer to a call that sent `sentIp` means. A 2xx is
// success unless its body is one of the dynamic-DNS protocol's refusals, or
// the `good 127.0.0.1` a service sends to an agent it refuses; those that
// need the user stop the channel, a service in trouble asks for a wait, and
// any other status fails for now.
ChannelResult ReadAnswer(int status, const std::string& reason, const std::string& body, const std::string& sentIp);

// How long a service in trouble (911, dnserr) is left alone: the protocol
// asks for half an hour at least.
inline constexpr std::uint32_t kServiceTroubleWaitMs = 30 * 60 * 1000;

// The words of a failure, naming where the call went by scheme and host
// only: the rest of the address may hold a token.
std::string FailureText(const std::string& origin, const std::string& why);

// A target's last result as its row in the list shows it: "sent 14:03",
// "failed: 503 Service Unavailable", "stopped: badauth".
std::string ResultRow(const ChannelResult& result, const std::string& clock);

inline constexpr char kSentPrefix[] = "Web notification sent: ";

}  // namespace notify
