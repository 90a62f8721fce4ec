#pragma once
// The proxy a configuration script names for an address: the script at
// `script`, or one found on the network when `detect` is set.
#include <optional>
#include <string>

#include "http/HttpTypes.h"
#include "http/HttpUrl.h"

namespace http {

// What a configuration script said about an address. NoAnswer: nothing
// usable came back, and the caller falls back to the manual setting.
// Unusable: the script named a proxy this program cannot speak to (SOCKS);
// the fetch fails rather than go direct.
struct ScriptProxy {
  enum class Verdict { NoAnswer, Direct, ThroughProxy, Unusable };
  Verdict verdict = Verdict::NoAnswer;
  Proxy proxy;        // with ThroughProxy only
  std::string named;  // with Unusable: what the script named, as a box may show it
};

// The script sees only the address's origin. The search runs on a thread of
// its own and is given `timeoutMs`; one that has not answered by then, or
// one still running from an earlier fetch, is a net::TransportError, since
// going direct could bypass a proxy the user's network requires.
ScriptProxy AutomaticProxy(const Url& url, const std::wstring& script, bool detect, int timeoutMs);

}  // namespace http
