// The HTTP client against servers whose every byte is the input: one segment
// per connection, the stream inside a proxy's tunnel as the segment after the
// proxy's answer. The same exchange is run again with other read sizes and
// with the final head's lines in another order, and the body is checked
// against a framing model of our own, with a strict chunked decoder.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "http/HttpFetch.h"
#include "net/Base64.h"
#include "net/Loopback.h"
#include "ScriptTransport.h"

namespace {

using fuzz::Script;
using http::FetchError;

constexpr char kToken[] = "t0k3n-s3cr3t";
constexpr char kPassword[] = "pa55-w0rd";
constexpr char kBody[] = "{\"secret\":\"b0dy-s3cr3t\"}";
constexpr std::uint64_t kNoLength = ~std::uint64_t{0};

struct Setup {
  std::string url;
  std::string method;
  bool proxy = false;
  bool secret = false;
  bool login = false;
  std::size_t cap = 0;
  bool refuseLarger = true;
  bool peerIsLoopback = false;
  bool cleanTlsClose = false;
  bool reset = false;
};

struct Outcome {
  bool ok = false;
  int status = 0;
  std::string reason, body, error;
  FetchError::Kind kind = FetchError::Kind::Failed;
  bool operator==(const Outcome&) const = default;
};

struct Run {
  Outcome outcome;
  std::shared_ptr<Script> script;
};

Run Exchange(const Setup& setup, const std::vector<std::string>& segments, Script::Pieces pieces, std::uint8_t seed) {
  auto script = std::make_shared<Script>();
  script->segments = segments;
  script->segmentPerConnection = true;
  script->pieces = pieces;
  script->pieceSeed = seed;
  script->peerIsLoopback = setup.peerIsLoopback;
  script->cleanTlsClose = setup.cleanTlsClose;
  script->resetAtEnd = setup.reset;

  http::Network network;
  network.connect = [script] { return std::make_unique<fuzz::ScriptTransport>(script); };
  // The stream after the proxy's answer is the tunnel's, a segment of its own.
  network.secure = [script](std::unique_ptr<net::Transport> plain, const std::string&, int, net::TlsCheck check) {
    FUZZ_CHECK(plain != nullptr && check == net::TlsCheck::Strict);
    const bool tunnel = !script->writes.empty() && script->writes.back().connection == script->connections &&
                        script->writes.back().bytes.rfind("CONNECT ", 0) == 0;
    if (tunnel) script->NextSegment();
    script->upgraded = true;
    return plain;
  };
  if (setup.proxy)
    network.proxyFor = [](const http::Url&, int) {
      return std::optional<http::Proxy>(http::Proxy{"proxy.example", 3128});
    };

  http::Request request;
  request.method = setup.method;
  request.url = setup.url;
  request.secret = setup.secret;
  request.userAgent = "Corvane/2.0";
  if (setup.method == "POST") {
    request.contentType = "application/json";
    request.body = kBody;
  }
  Run run{{}, script};
  try {
    const http::Response response = http::Fetch(request, http::Limits{15000, setup.cap, setup.refuseLarger}, network);
    run.outcome = {true, response.status, response.reason, response.body, {}, FetchError::Kind::Failed};
  } catch (const FetchError& e) {
    run.outcome.error = e.what();
    run.outcome.kind = e.kind();
  }
  // Anything else escaping (a library's number parser, say) would pass
  // every control boundary of the program unhandled.
  return run;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// One head of the model: where it ends, its status, its header lines.
struct ModelHead {
  std::size_t begin = 0, end = 0;
  int status = 0;
  std::vector<std::string> lines;  // each with its own line end
};

std::optional<ModelHead> NextHead(const std::string& bytes, std::size_t from) {
  ModelHead head;
  head.begin = from;
  std::size_t at = from;
  for (bool first = true;; first = false) {
    const std::size_t nl = bytes.find('\n', at);
    if (nl == std::string::npos) return std::nullopt;
    const std::string line = bytes.substr(at, nl + 1 - at);
    at = nl + 1;
    if (line == "\n" || line == "\r\n") {
      if (first) return std::nullopt;
      head.end = at;
      return head;
    }
    if (first) {
      const std::string status = Trim(line);
      if (status.size() < 12 || status.compare(0, 7, "HTTP/1.") != 0 || status[8] != ' ') return std::nullopt;
      if (status.size() > 12 && status[12] != ' ') return std::nullopt;
      for (int i = 9; i < 12; ++i) {
        if (status[i] < '0' || status[i] > '9') return std::nullopt;
        head.status = head.status * 10 + (status[i] - '0');
      }
      if (head.status < 100) return std::nullopt;
    } else {
      head.lines.push_back(line);
    }
  }
}

// The client passes over at most this many interim answers.
constexpr int kMostInterimAnswers = 10;

// The final answer in a segment: past any 1xx. An interim answer that
// speaks of framing is left unmodelled: refusing it is as right as passing it by.
// `interim` counts the interim answers before it.
std::optional<ModelHead> FinalHead(const std::string& bytes, int& interim) {
  std::size_t from = 0;
  for (interim = 0;; ++interim) {
    std::optional<ModelHead> head = NextHead(bytes, from);
    if (!head || head->status >= 200) return head;
    for (const std::string& line : head->lines) {
      const std::string name = Lower(Trim(line.substr(0, line.find(':'))));
      if (name == "content-length" || name == "transfer-encoding") return std::nullopt;
    }
    from = head->end;
  }
}

// A chunked body as the message syntax has it: hex size, optional
// extensions, line end, exactly that many bytes, a line end; a zero chunk,
// trailers, an empty line. A bare LF is taken for CRLF as the syntax allows.
// A reader that wants only the first `limit` bytes stops once it has them.
std::optional<std::string> DecodeChunked(const std::string& bytes, std::uint64_t limit) {
  std::string body;
  std::size_t at = 0;
  auto line = [&]() -> std::optional<std::string> {
    const std::size_t nl = bytes.find('\n', at);
    if (nl == std::string::npos) return std::nullopt;
    std::string text = bytes.substr(at, nl - at);
    at = nl + 1;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
  };
  for (;;) {
    const std::optional<std::string> sizeLine = line();
    if (!sizeLine) return std::nullopt;
    const std::string digits = Trim(sizeLine->substr(0, sizeLine->find(';')));
    if (digits.empty() || digits.size() > 15) return std::nullopt;
    std::uint64_t size = 0;
    for (char c : digits) {
      const char l = static_cast<char>(c | 0x20);
      if (c >= '0' && c <= '9')
        size = size * 16 + static_cast<std::uint64_t>(c - '0');
      else if (l >= 'a' && l <= 'f')
        size = size * 16 + static_cast<std::uint64_t>(l - 'a' + 10);
      else
        return std::nullopt;
    }
    if (size == 0) {
      for (;;) {
        const std::optional<std::string> trailer = line();
        if (!trailer) return std::nullopt;
        if (trailer->empty()) return body;
      }
    }
    if (body.size() + size > limit) {
      const std::size_t take = static_cast<std::size_t>(limit - body.size());
      if (bytes.size() - at < take) return std::nullopt;
      return body.append(bytes, at, take);
    }
    if (bytes.size() - at < size) return std::nullopt;
    body.append(bytes, at, size);
    at += size;
    const std::optional<std::string> end = line();
    if (!end || !end->empty()) return std::nullopt;
  }
}

// What the final answer's body must be, or nullopt where it must fail.
std::optional<std::string> ExpectedBody(const ModelHead& head, const std::string& rest, const Setup& setup,
                                        bool secured, bool* tooLarge) {
  std::vector<std::string> codings;  // every line's list, empty elements aside
  std::uint64_t length = kNoLength;
  for (const std::string& withEnd : head.lines) {
    const std::string line = withEnd.substr(0, withEnd.size() - 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string value = Trim(line.substr(colon + 1));
    if (name == "transfer-encoding") {
      for (std::size_t at = 0; at <= value.size();) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        const std::string coding = Lower(Trim(value.substr(at, comma - at)));
        if (!coding.empty()) codings.push_back(coding);
        at = comma + 1;
      }
    } else if (name == "content-length") {
      if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
      const std::uint64_t n = std::stoull(value);
      if (length != kNoLength && length != n) return std::nullopt;
      length = n;
    }
  }
  const std::size_t cap = setup.cap;
  std::optional<std::string> body;
  if (!codings.empty()) {
    // Transfer-Encoding wins over any length, wherever it stands; we ask for
    // no coding, so anything but chunking alone cannot be read.
    if (codings.size() != 1 || codings[0] != "chunked") return std::nullopt;
    body = DecodeChunked(rest, setup.refuseLarger ? kNoLength : cap);
  } else if (length != kNoLength) {
    if (length > cap && setup.refuseLarger) {
      *tooLarge = true;
      return std::nullopt;
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(length, cap);
    if (rest.size() < wanted) return std::nullopt;
    return rest.substr(0, wanted);
  } else {
    // A reader that stops at the cap has what it wanted before any close;
    // one that reads to the close needs an orderly one, and over TLS the
    // server's goodbye.
    if (rest.size() <= cap && (setup.reset || (secured && !setup.cleanTlsClose))) return std::nullopt;
    body = rest;
  }
  if (body && body->size() > cap) {
    if (setup.refuseLarger) {
      *tooLarge = true;
      return std::nullopt;
    }
    body->resize(cap);
  }
  return body;
}

// The same head with its header lines in another order; lines of one name
// keep theirs, since that order is part of what they say. nullopt when a
// line is folded or broken, where moving it would change its meaning.
std::optional<std::string> Reordered(const std::string& segment, const ModelHead& head, std::uint8_t salt) {
  std::vector<std::pair<std::uint32_t, std::string>> keyed;
  for (const std::string& line : head.lines) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || line[0] == ' ' || line[0] == '\t') return std::nullopt;
    std::uint32_t key = salt;
    for (char c : Lower(Trim(line.substr(0, colon)))) key = key * 31 + static_cast<unsigned char>(c);
    keyed.emplace_back(key, line);
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  const std::size_t statusEnd = segment.find('\n', head.begin) + 1;
  std::string out = segment.substr(0, statusEnd);
  for (const auto& [key, line] : keyed) out += line;
  std::size_t linesEnd = statusEnd;
  for (const std::string& line : head.lines) linesEnd += line.size();
  return out + segment.substr(linesEnd);
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
    if (head.compare(at + 2, name.size(), name) == 0) {
      const std::size_t end = head.find("\r\n", at + 2);
      return head.substr(at + 2 + name.size(), end - at - 2 - name.size());
    }
  }
  return {};
}

// What the client wrote: whole CRLF heads, secrets only where they may go.
void CheckWrites(const Setup& setup, const Script& script) {
  const std::string origin = http::ParseUrl(setup.url)->Authority();
  const bool startsSecure = setup.url.rfind("https:", 0) == 0;
  const std::string secrets[] = {kToken, kPassword, net::Base64Encode(std::string("user:") + kPassword), "b0dy-s3cr3t"};
  bool wentSecure = false;
  for (const Script::Write& w : script.writes) {
    const std::size_t headEnd = w.bytes.find("\r\n\r\n");
    FUZZ_CHECK(headEnd != std::string::npos);
    const std::string head = w.bytes.substr(0, headEnd + 2);
    for (std::size_t i = 0; i < head.size(); ++i) {
      if (head[i] == '\r') FUZZ_CHECK(i + 1 < head.size() && head[i + 1] == '\n');
      if (head[i] == '\n') FUZZ_CHECK(i > 0 && head[i - 1] == '\r');
    }
    if (w.bytes.rfind("CONNECT ", 0) == 0) {
      // The proxy learns where the tunnel goes, nothing more.
      FUZZ_CHECK(!w.afterTls);
      for (const std::string& secret : secrets) FUZZ_CHECK(w.bytes.find(secret) == std::string::npos);
      continue;
    }
    const std::string host = HeaderValue(head, "Host: ");
    const bool sameOrigin = host == origin && w.afterTls == startsSecure;
    // Never from https down to http.
    if (w.afterTls) wentSecure = true;
    FUZZ_CHECK(w.afterTls || !wentSecure);
    // The user's login belongs to the origin it was written for.
    if (head.find("\r\nAuthorization: Basic " + secrets[2] + "\r\n") != std::string::npos)
      FUZZ_CHECK(sameOrigin && setup.login);
    if (!setup.secret && !setup.login) continue;
    // A secret call, and any address with a login, goes to its own origin
    // only, and in clear only to this machine, typed as such and connected
    // as such.
    FUZZ_CHECK(sameOrigin);
    if (!w.afterTls) {
      const std::optional<http::Url> url = http::ParseUrl("http://" + host + "/");
      FUZZ_CHECK(url && net::IsLoopbackName(url->host) && setup.peerIsLoopback);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.Byte();
  const std::uint8_t seed = in.Byte();
  const std::uint8_t capChoice = in.Byte();
  const std::uint8_t more = in.Byte();

  Setup setup;
  static const char* const kHosts[] = {"127.0.0.1:8080", "echo.example", "localhost", "echo.example:8443"};
  const bool secure = flags & 4;
  setup.login = more & 2;
  setup.url = std::string(secure ? "https://" : "http://") +
              (setup.login ? std::string("user:") + kPassword + "@" : "") + kHosts[flags & 3] +
              "/nic/update?token=" + kToken;
  static const char* const kMethods[] = {"GET", "POST", "HEAD", "GET"};
  setup.method = kMethods[(flags >> 3) & 3];
  setup.proxy = flags & 0x20;
  setup.secret = flags & 0x40;
  setup.peerIsLoopback = flags & 0x80;
  setup.cleanTlsClose = more & 1;
  setup.reset = more & 8;
  setup.refuseLarger = !(more & 4);
  // Small caps most of the time: a cap below one read is where a bound can be skipped.
  setup.cap = capChoice < 250 ? capChoice : std::size_t{1} << (capChoice - 230);

  std::vector<std::string> segments;
  while (!in.Empty() && segments.size() < 16) segments.push_back(in.Field('\0'));

  const Run run = Exchange(setup, segments, Script::Pieces::Varied, seed);
  const Outcome& out = run.outcome;
  CheckWrites(setup, *run.script);

  // Words for the user: bounded, and nothing a server could use to draw
  // in the box.
  FUZZ_CHECK(!HasControl(out.error) && out.error.size() < 1000);
  if (out.ok) {
    FUZZ_CHECK(!HasControl(out.reason) && out.reason.size() < 1000);
    FUZZ_CHECK(out.body.size() <= setup.cap);
    FUZZ_CHECK(out.status >= 100 && out.status <= 999);
  }

  // The body does not depend on how the stream was cut into reads.
  FUZZ_CHECK(Exchange(setup, segments, Script::Pieces::Single, 0).outcome == out);
  FUZZ_CHECK(Exchange(setup, segments, Script::Pieces::Whole, 0).outcome == out);

  // The model, where the client read a final answer's body: the last write
  // was a request (not a proxy's CONNECT) and its answer a success.
  const Script& script = *run.script;
  if (script.writes.empty() || script.writes.back().bytes.rfind("CONNECT ", 0) == 0) return 0;
  if (script.lastRead >= segments.size()) return 0;
  const std::string& segment = segments[script.lastRead];
  int interim = 0;
  const std::optional<ModelHead> head = FinalHead(segment, interim);
  if (interim > kMostInterimAnswers) FUZZ_CHECK(!out.ok);
  if (!head || interim > kMostInterimAnswers) return 0;
  if (out.ok) FUZZ_CHECK(out.status == head->status);
  if (head->status / 100 != 2 || head->status == 204 || setup.method == "HEAD") return 0;

  bool tooLarge = false;
  const std::optional<std::string> body =
      ExpectedBody(*head, segment.substr(head->end), setup, script.writes.back().afterTls, &tooLarge);
  if (body) {
    FUZZ_CHECK(out.ok && out.body == *body);
  } else {
    FUZZ_CHECK(!out.ok);
    if (tooLarge) FUZZ_CHECK(out.kind == FetchError::Kind::TooLarge);
  }

  // Framing does not depend on the order of the head's lines.
  if (const std::optional<std::string> other = Reordered(segment, *head, more)) {
    std::vector<std::string> changed = segments;
    changed[script.lastRead] = *other;
    FUZZ_CHECK(Exchange(setup, changed, Script::Pieces::Varied, seed).outcome == out);
  }
  return 0;
}
