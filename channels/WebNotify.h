#pragma once
// The web notification's decisions, free of any window or socket: what the
// user's address template and body become for one change, how the request
// is labelled, and whether the service's answer means the change arrived.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Json.h"
#include "base/PercentCoding.h"
#include "channels/ChannelResult.h"
#include "channels/ChannelSettings.h"
#include "http/HttpFetch.h"

namespace channels {

// What the placeholders stand for in one call.
struct WebValues {
  std::string ip;        // {ip}: the new address
  std::string old;       // {old}: the address shown before, empty on the first check
  std::string time;      // {time}: the stamp's date and time
  std::string computer;  // {computer}: this computer's name
  std::string ip6;       // {ip6}: this computer's IPv6 address, empty when it has none
  std::string old6;      // {old6}: the IPv6 address this target was last told, empty before
  // {error}: what made the checks fail, for a target called when they keep
  // failing; empty when nothing failed, which is most calls, so it may be
  // left out where the values are listed.
  std::string error = {};
};

// {ips}: both addresses, IPv4 first, joined by a comma as a dynamic-DNS
// update's `myip=` takes them; an empty one is left out, so one family alone
// reads as that address.
std::string BothAddresses(const WebValues& values);

// The address families a target publishes, read from the placeholders in its
// address, its headers and (for a method that sends one) its body: {ip6} and
// {old6} the IPv6 address, {ips} both, {ip} and {old} the IPv4 address. A
// target with no address placeholder at all is told of IPv4 changes, as
// before IPv6 was watched.
struct AddressFamilies {
  bool ipv4 = false;
  bool ipv6 = false;
  bool operator==(const AddressFamilies&) const = default;
};
AddressFamilies FamiliesOf(const channels::WebSettings& web);

// A value can sit anywhere in an address, login and query included.
using base::PercentEncode;

// The placeholders replaced by their values, each passed through `escape`;
// any other brace is left as typed.
std::string ExpandPlaceholders(std::string_view text, const WebValues& values, std::string (*escape)(std::string_view));

// The call for one change, as the HTTP client takes it (the client turns a
// login in the address into Basic authentication). Every method but GET
// carries the body (the headers are read on their own, WebHeaders.h). It is
// JSON when, with its values escaped for JSON, it parses as JSON; any other
// body goes out as plain text with its values as they are, so a text that
// merely starts with a placeholder is not mistaken for JSON.
http::Request PrepareCall(const channels::WebSettings& web, const WebValues& values);

// What the service's answer to a call that sent `sentIp` (one address, or
// both joined by a comma) means. A 2xx is success unless its body is one of
// the dynamic-DNS protocol's refusals, or the `good 127.0.0.1` a service
// sends to an agent it refuses (unless that address was sent); `good` and
// `nochg` with one address or with a comma-joined pair succeed. Those that
// need the user stop the channel, a service in trouble asks for a wait, and
// any other status fails for now.
ChannelResult ReadAnswer(int status, const std::string& reason, const std::string& body, const std::string& sentIp);

// What the service's whole answer means, its server text (the reason phrase)
// cleared of `secrets` first. A 429 or 503 that says when to come back
// (Retry-After, in seconds or as a date still ahead) asks for a wait of that
// long, at most kLongestRetryAfterMs; without it, it fails for now.
ChannelResult ReadAnswer(const http::Response& response, const std::string& sentIp,
                         const std::vector<std::string>& secrets, std::time_t now);

// A Retry-After value as milliseconds from `now`, capped: nullopt when it is
// neither delta-seconds nor an HTTP date, and for a time already past.
std::optional<std::uint32_t> RetryAfterMs(std::string_view value, std::time_t now);

// A service that asks for a longer wait is called again after this anyway:
// a mistyped value must not silence a target for days.
inline constexpr std::uint32_t kLongestRetryAfterMs = 6 * 60 * 60 * 1000;

// The pieces of a call that may be secrets: the address's login and each
// query pair and value (not the names, which are the service's words), every
// header value and the body, whole and cut at their separators, each also
// percent-decoded, longest first. Pieces under four bytes are left out: no
// token is that short, and hiding them would blot out ordinary words. Empty
// for a call with none of these.
std::vector<std::string> SecretsOf(const http::Request& call);

// `text` (words a server chose: a reason phrase, a redirect address) with
// every occurrence of each secret, ASCII case aside, replaced by kHidden.
std::string HideSecrets(std::string_view text, const std::vector<std::string>& secrets);

inline constexpr char kHidden[] = "[hidden]";

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

}  // namespace channels
