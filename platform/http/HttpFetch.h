#pragma once
// One HTTP/1.1 exchange of our own, over the same transports the mail path
// uses, so that every byte and every bound is ours: the whole body or a
// failure, one deadline from the first connect to the last close, and for an
// https address nothing counts that did not come through the verified
// tunnel from that address's own host.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "http/HttpTypes.h"
#include "http/HttpUrl.h"
#include "net/Transport.h"

namespace http {

// Where a fetch goes out: how to connect, how to add TLS, and which proxy
// (if any) the system wants for an address. Loopback hosts never go through
// a proxy.
struct Network {
  net::TransportFactory connect;
  net::TlsUpgrade secure;
  std::function<std::optional<Proxy>(const Url&, int timeoutMs)> proxyFor;
};

// A header the caller adds. One of the same name as a header the client
// adds of its own accord (Content-Type, Authorization from the address's
// login, Accept, ...) replaces it. The name must be an HTTP token and the
// value free of control characters but tab; the framing headers (Host,
// Content-Length, Transfer-Encoding, Connection) are the client's alone.
// Fetch refuses anything else before it connects.
struct Header {
  std::string name, value;
};

struct Request {
  std::string method = "GET";  // every method but GET sends the body
  std::string url;
  std::string contentType;  // sent with a body
  std::string body;
  // Sent to the address's own scheme, host and port only: they may hold
  // tokens, which a redirect elsewhere must not carry along.
  std::vector<Header> headers;
  // The request carries secrets (a token in the address, a body): it may
  // travel in clear only to a host typed as this machine and connected to
  // it, on every hop, and never to another origin. An address with a login
  // is secret whatever this says.
  bool secret = false;
  // Sent with every request and CONNECT of the fetch; none when empty.
  std::string userAgent;
};

struct Response {
  int status = 0;
  std::string reason;
  std::string body;
  std::string url;         // the address that answered, after redirects
  std::string retryAfter;  // the final answer's Retry-After, as sent
};

// Sends the request and returns the final answer, whatever its status (the
// body is read for a 2xx answer only; at most ten interim 1xx answers are
// passed over), after following up to five redirects
// (http or https only, never from https down to http, and for a secret
// request never to another origin). A 3xx answer that is not followed is a
// FetchError naming its status. Throws FetchError with words for the user
// that quote no more of any address than its scheme and host.
Response Fetch(const Request& request, const Limits& limits, const Network& network);

}  // namespace http
