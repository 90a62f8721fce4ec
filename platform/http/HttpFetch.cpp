#include "http/HttpFetch.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "base/AsciiText.h"
#include "http/HttpConnection.h"
#include "net/Base64.h"
#include "net/Deadline.h"
#include "net/Loopback.h"

namespace http {

namespace {

constexpr int kMaxRedirects = 5;

[[noreturn]] void Fail(const std::string& text) { throw FetchError(FetchError::Kind::Failed, text); }

std::string StatusText(const Head& head) {
  return std::to_string(head.status) + (head.reason.empty() ? "" : " " + head.reason);
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What the redirect text may quote: the address of a page whole; of a call
// that carries secrets only the scheme and host, or, for an address of
// another kind (a scheme without "//", where what follows may be nothing
// but a token), the scheme alone; either as a box may show a server's words.
std::string Shown(const std::string& address, bool secret) {
  constexpr std::size_t kLongestShown = 200;
  if (!secret) return ShownText(address, kLongestShown);
  if (const std::optional<Url> url = ParseUrl(address)) return url->Origin();
  return ShownText(QuotedOrigin(address), kLongestShown);
}

bool Named(const std::vector<Header>& headers, const std::string& name) {
  for (const Header& header : headers)
    if (base::SameLetters(header.name, name)) return true;
  return false;
}

// The framing of the request is the client's alone: a caller's header of
// these names would let the caller say where the request ends.
constexpr const char* kFramingHeaders[] = {"Host", "Content-Length", "Transfer-Encoding", "Connection"};

// The characters of an HTTP token: what a header name is made of.
bool IsToken(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alphanumeric && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
  }
  return true;
}

// A caller's header that would be a line of its own, or the framing, is
// refused before anything is sent, whoever the caller is. A name that is no
// token is not quoted: it may be a whole line, value and all.
void CheckHeader(const Header& header) {
  if (!IsToken(header.name)) Fail("a request header has a name that is not an HTTP token; nothing was sent");
  for (const char* framing : kFramingHeaders)
    if (base::SameLetters(header.name, framing))
      Fail("the request header " + header.name + " is the client's own; nothing was sent");
  for (const char c : header.value) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7F)
      Fail("the request header " + header.name + " holds a line break or a control character; nothing was sent");
  }
}

// The request as it goes on the wire. Through a proxy an http request names
// its whole address; everywhere else only the target. Connection: close lets
// a body without a length end with the connection, and no cache may answer
// for a server whose answer changes with the address.
std::string RequestText(const std::string& method, const Url& url, const Request& request, bool viaProxy,
                        const std::vector<Header>& own) {
  const bool hasBody = method != "GET";
  std::vector<Header> automatic{{"Accept", "*/*"}, {"Cache-Control", "no-cache"}, {"Pragma", "no-cache"}};
  if (!request.userAgent.empty()) automatic.insert(automatic.begin(), {"User-Agent", request.userAgent});
  if (!url.user.empty() || !url.password.empty())
    automatic.push_back({"Authorization", "Basic " + net::Base64Encode(url.user + ":" + url.password)});
  if (hasBody && !request.contentType.empty()) automatic.push_back({"Content-Type", request.contentType});

  std::string text = method + " " + (viaProxy ? url.Text() : url.target) + " HTTP/1.1\r\n";
  text += "Host: " + url.Authority() + "\r\n";
  for (const Header& header : automatic)
    if (!Named(own, header.name)) text += header.name + ": " + header.value + "\r\n";
  for (const Header& header : own) text += header.name + ": " + header.value + "\r\n";
  text += "Connection: close\r\n";
  if (hasBody) text += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
  return text + "\r\n" + (hasBody ? request.body : std::string());
}

// One request of the fetch, the first or one a redirect leads to: connect
// (through the proxy if the system wants one), secure, send, and read the
// answer's head; the body is read by the caller.
class Exchange {
 public:
  Exchange(const Network& network, net::Clock::time_point deadline) : m_network(network), m_deadline(deadline) {}

  Head Open(const Url& url, const std::string& method, const Request& request) {
    if (request.secret && !url.secure && !net::IsLoopbackName(url.host)) RefuseInClear(url);
    std::optional<Proxy> proxy;
    if (m_network.proxyFor && !net::IsLoopbackName(url.host))
      proxy = m_network.proxyFor(url, net::MillisLeftOrTimeOut(m_deadline));
    Connect(proxy ? proxy->host : url.host, proxy ? proxy->port : url.port, proxy);
    if (url.secure) {
      if (proxy) Tunnel(url, *proxy, request.userAgent);
      Secure(url.host);
    } else if (request.secret && !m_connection->transport().PeerIsLoopback()) {
      RefuseInClear(url);
    }
    // The caller's headers belong to the address it gave, as a login does.
    const std::vector<Header> none;
    const bool ownOrigin = url.Origin() == ParseUrl(request.url)->Origin();
    m_connection->Send(RequestText(method, url, request, proxy && !url.secure, ownOrigin ? request.headers : none));
    return m_connection->ReadHead();
  }

  Connection& connection() { return *m_connection; }

 private:
  [[noreturn]] static void RefuseInClear(const Url& url) {
    Fail("the address " + url.Origin() +
         " is not https://, and a login or any other secret goes in clear only to this computer itself; nothing "
         "was sent");
  }

  void Connect(const std::string& host, int port, const std::optional<Proxy>& proxy) {
    std::unique_ptr<net::Transport> transport = m_network.connect();
    try {
      transport->Connect(host, port, net::MillisLeftOrTimeOut(m_deadline));
    } catch (const net::TransportError& e) {
      if (e.kind() == net::TransportError::Kind::TimedOut) throw;
      Fail((proxy ? "the proxy " + proxy->Text() : std::string("the server")) +
           " refused the connection or could not be reached: " + e.what());
    }
    m_connection = std::make_unique<Connection>(std::move(transport), m_deadline);
  }

  // An https page counts only when it comes through the verified tunnel from
  // its own host: the proxy's own answer is never taken for the page's.
  void Tunnel(const Url& url, const Proxy& proxy, const std::string& userAgent) {
    const std::string target =
        (url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
    m_connection->Send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n" +
                       (userAgent.empty() ? std::string() : "User-Agent: " + userAgent + "\r\n") + "\r\n");
    const Head head = m_connection->ReadHead();
    if (head.status / 100 == 2) return;
    const std::string answer = StatusText(head);
    if (head.status == 407)
      Fail("the proxy wants a login, which this program cannot give: " + answer + " (proxy " + proxy.Text() + ")");
    Fail("the proxy refused the tunnel: " + answer + " (proxy " + proxy.Text() + ")");
  }

  void Secure(const std::string& host) {
    if (!m_network.secure) Fail("this program has no TLS support for https:// addresses");
    try {
      m_connection->Secure(m_network.secure, host);
    } catch (const net::TransportError& e) {
      if (e.kind() == net::TransportError::Kind::TimedOut) throw;
      Fail("the secure connection to " + host + " failed: " + e.what());
    }
  }

  const Network& m_network;
  net::Clock::time_point m_deadline;
  std::unique_ptr<Connection> m_connection;
};

}  // namespace

Response Fetch(const Request& given, const Limits& limits, const Network& network) {
  std::optional<Url> url = ParseUrl(given.url);
  if (!url) Fail("the address is not a valid http:// or https:// URL");
  // A login in the address is a secret whoever asks: it goes in clear only
  // to this computer (never to a proxy on the way), and only to its own site.
  Request request = given;
  request.secret = given.secret || !url->user.empty() || !url->password.empty();
  for (const Header& header : request.headers) CheckHeader(header);
  const auto deadline = net::DeadlineAfter(limits.timeoutMs);
  std::string method = request.method;
  try {
    for (int hop = 0;; ++hop) {
      Exchange exchange(network, deadline);
      const Head head = exchange.Open(*url, method, request);
      // A 3xx we do not follow has no page in it: an empty body taken for
      // one would hide what the server said.
      if (head.status / 100 == 3 && (!IsRedirect(head.status) || head.location.empty()))
        Fail("the server answered " + StatusText(head) +
             (IsRedirect(head.status) ? " without saying where to" : ", a redirect this program cannot follow"));
      if (!IsRedirect(head.status)) {
        Response response{head.status, head.reason, {}, url->Text(), head.retryAfter};
        // Only a success's body means anything to us; an error page is left
        // unread, however much of it the server would send.
        if (head.status / 100 == 2) response.body = exchange.connection().ReadBody(head, limits, method == "HEAD");
        return response;
      }
      if (hop == kMaxRedirects) Fail("the server redirected more than " + std::to_string(kMaxRedirects) + " times");
      const std::string next = head.location.empty() ? std::string() : ResolveLocation(*url, head.location);
      std::optional<Url> nextUrl = ParseUrl(next);
      if (!nextUrl || (url->secure && !nextUrl->secure)) {
        Fail("the server redirected to " + (next.empty() ? std::string("nowhere") : Shown(next, request.secret)) +
             ", which is not an http:// or https:// address that keeps the connection secured");
      }
      // The secrets were written for one site; the site may not pass them on.
      if (request.secret && nextUrl->Origin() != url->Origin()) {
        Fail("the server redirected the call to " + nextUrl->Origin() +
             ", and a call that carries secrets goes only to the site in its address");
      }
      // A login belongs to the host it was written for, never to where that
      // host sends us.
      if (nextUrl->user.empty() && nextUrl->password.empty() && nextUrl->Origin() == url->Origin()) {
        nextUrl->user = url->user;
        nextUrl->password = url->password;
      }
      // As browsers do: 303, and 301/302 after a POST, go on as GET.
      if (head.status == 303 || ((head.status == 301 || head.status == 302) && method == "POST")) method = "GET";
      url = std::move(nextUrl);
    }
  } catch (const net::TransportError& e) {
    if (e.kind() == net::TransportError::Kind::TimedOut) throw FetchError(FetchError::Kind::TimedOut, e.what());
    Fail(e.what());
  }
}

}  // namespace http
