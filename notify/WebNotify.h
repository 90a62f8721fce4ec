#pragma once
// The web notification's decisions, free of any window or socket: what the
// user's address template and body become for one change, how the request
// is labelled, and whether the service's answer means the change arrived.
#include <string>
#include <string_view>

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

// The call for one change. Every method but GET carries the body: one that
// starts with { or [ is JSON and its values are escaped for it; any other is
// plain text. The headers are read on their own (WebHeaders.h).
WebCall PrepareCall(const settings::WebSettings& web, const WebValues& values);

// What the service's answer means. A 2xx is success unless its body is one
// of the refusals dynamic-DNS services answer with; anything else fails.
struct WebAnswer {
  bool ok = false;
  std::string text;  // for the user: what was sent, or why it failed
};
WebAnswer ReadAnswer(int status, const std::string& reason, const std::string& body);

// The words of a failure, naming where the call went by scheme and host
// only: the rest of the address may hold a token.
std::string FailureText(const std::string& origin, const std::string& why);

inline constexpr char kSentPrefix[] = "Web notification sent: ";

}  // namespace notify
