// The web notification on templates, values and answers from the input:
// the codings give back what went in, a JSON template stays JSON, nothing
// from the input adds a line to the request head, and a refusal in the
// answer is never taken for success.
#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/AsciiText.h"
#include "base/Json.h"
#include "channels/WebHeaders.h"
#include "channels/WebNotify.h"
#include "FuzzCheck.h"
#include "http/HttpFetch.h"
#include "http/HttpUrl.h"
#include "ScriptTransport.h"

namespace {

constexpr char kSeparator = '\x1e';

// JSON as the standard has it, nothing more lenient, and no value deeper
// than 64 levels, as no service's body needs. Of another shape than the
// program's recursive reader, so that the two agreeing proves something:
// one pass a byte at a time, an explicit stack of the open containers, and
// numbers read by a transition table.
bool ValidJson(std::string_view text) {
  enum class S { Value, ValueOrClose, KeyOrClose, Key, Colon, After, String, Escape, Hex, Number, Word, End };
  // Number states: 0 start, 1 '-', 2 '0', 3 integer, 4 '.', 5 fraction,
  // 6 'e', 7 exponent sign, 8 exponent; -1 ends the number. Byte classes:
  // '-', '+', '0', '1'-'9', '.', 'e' or 'E', anything else.
  static constexpr signed char kNumber[9][7] = {
      {1, -1, 2, 3, -1, -1, -1}, {-1, -1, 2, 3, -1, -1, -1}, {-1, -1, -1, -1, 4, 6, -1},
      {-1, -1, 3, 3, 4, 6, -1},  {-1, -1, 5, 5, -1, -1, -1}, {-1, -1, 5, 5, -1, 6, -1},
      {7, 7, 8, 8, -1, -1, -1},  {-1, -1, 8, 8, -1, -1, -1}, {-1, -1, 8, 8, -1, -1, -1},
  };
  static constexpr bool kNumberEnds[9] = {false, false, true, true, false, true, false, false, true};
  const auto numberClass = [](char c) {
    switch (c) {
      case '-':
        return 0;
      case '+':
        return 1;
      case '0':
        return 2;
      case '.':
        return 4;
      case 'e':
      case 'E':
        return 5;
      default:
        return c >= '1' && c <= '9' ? 3 : 6;
    }
  };
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::vector<char> open;  // '[' or '{' for each container not yet closed
  S state = S::Value;
  bool key = false;  // the string being read names a member
  int number = 0, hexLeft = 0;
  std::string_view word;
  const auto valueDone = [&] { state = open.empty() ? S::End : S::After; };
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const bool end = i == text.size();
    const char c = end ? '\0' : text[i];
    // A number ends on the byte after it, which is then read as what follows.
    if (state == S::Number) {
      const int next = end ? -1 : kNumber[number][numberClass(c)];
      if (next >= 0) {
        number = next;
        continue;
      }
      if (!kNumberEnds[number]) return false;
      valueDone();
    }
    if (end) return state == S::End;
    switch (state) {
      case S::Value:
      case S::ValueOrClose:
        if (blank(c)) break;
        if (state == S::ValueOrClose && c == ']') {
          open.pop_back();
          valueDone();
        } else if (open.size() >= 64) {
          return false;
        } else if (c == '[' || c == '{') {
          open.push_back(c);
          state = c == '[' ? S::ValueOrClose : S::KeyOrClose;
        } else if (c == '"') {
          key = false;
          state = S::String;
        } else if (c == 't' || c == 'f' || c == 'n') {
          word = c == 't' ? "rue" : c == 'f' ? "alse" : "ull";
          state = S::Word;
        } else {
          number = kNumber[0][numberClass(c)];
          if (number < 0) return false;
          state = S::Number;
        }
        break;
      case S::KeyOrClose:
      case S::Key:
        if (blank(c)) break;
        if (state == S::KeyOrClose && c == '}') {
          open.pop_back();
          valueDone();
        } else if (c == '"') {
          key = true;
          state = S::String;
        } else {
          return false;
        }
        break;
      case S::Colon:
        if (blank(c)) break;
        if (c != ':') return false;
        state = S::Value;
        break;
      case S::After:
        if (blank(c)) break;
        if (c == ',') {
          state = open.back() == '[' ? S::Value : S::Key;
        } else if (c == (open.back() == '[' ? ']' : '}')) {
          open.pop_back();
          valueDone();
        } else {
          return false;
        }
        break;
      case S::String:
        if (c == '"') {
          if (key) {
            state = S::Colon;
          } else {
            valueDone();
          }
        } else if (static_cast<unsigned char>(c) < 0x20) {
          return false;
        } else if (c == '\\') {
          state = S::Escape;
        }
        break;
      case S::Escape:
        if (c == 'u') {
          hexLeft = 4;
          state = S::Hex;
        } else if (std::string_view("\"\\/bfnrt").find(c) != std::string_view::npos) {
          state = S::String;
        } else {
          return false;
        }
        break;
      case S::Hex:
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        if (--hexLeft == 0) state = S::String;
        break;
      case S::Word:
        if (c != word.front()) return false;
        word.remove_prefix(1);
        if (word.empty()) valueDone();
        break;
      case S::End:
        if (!blank(c)) return false;
        break;
      case S::Number:
        break;  // read above
    }
  }
  return false;
}

// The inside of a string, decoded, as long as it uses only the escapes
// our escaping writes.
std::optional<std::string> DecodeString(std::string_view inside) {
  std::string out;
  for (std::size_t i = 0; i < inside.size(); ++i) {
    const char c = inside[i];
    if (static_cast<unsigned char>(c) < 0x20 || c == '"') return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= inside.size()) return std::nullopt;
    switch (inside[i]) {
      case '"':
        out += '"';
        break;
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        if (i + 4 >= inside.size() || inside.substr(i + 1, 2) != "00") return std::nullopt;
        const std::string hex(inside.substr(i + 3, 2));
        if (hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return std::nullopt;
        out += static_cast<char>(std::stoi(hex, nullptr, 16));
        i += 4;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

// The typed header lines, filled in: a line that is let through has a
// token for a name, no control byte in its value, and leaves the framing
// headers to the client.
void CheckHeaderLines(const channels::HeaderLines& lines) {
  if (!lines.refusal.empty()) return;
  for (const http::Header& header : lines.headers) {
    FUZZ_CHECK(!header.name.empty() &&
               header.name.find_first_not_of(
                   "!#$%&'*+-.^_`|~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") ==
                   std::string::npos);
    for (char c : header.value) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
    for (const char* owned : {"host", "content-length", "transfer-encoding", "connection"})
      FUZZ_CHECK(!base::SameLetters(header.name, owned));
  }
}

// The call goes out through the client to a scripted server, which may send
// it elsewhere; every head holds whole CRLF lines, the client's own and the
// typed ones, these only for the address's own origin, and each framing
// header once.
void CheckRequestHead(const http::Request& call, const std::vector<http::Header>& typed, bool redirect) {
  auto script = std::make_shared<fuzz::Script>();
  script->segmentPerConnection = true;
  const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ngood";
  script->segments = {ok};
  if (redirect) script->segments = {"HTTP/1.1 307 Moved\r\nLocation: http://127.0.0.2:81/x\r\n\r\n", ok};
  script->peerIsLoopback = true;
  http::Network network;
  network.connect = [script] { return std::make_unique<fuzz::ScriptTransport>(script); };
  network.secure = [](std::unique_ptr<net::Transport> plain, const std::string&, int, net::TlsCheck) { return plain; };
  http::Request request = call;
  request.userAgent = "Corvane/2.0";
  request.headers = typed;
  const std::optional<http::Url> url = http::ParseUrl(call.url);
  try {
    http::Fetch(request, http::Limits{}, network);
  } catch (const http::FetchError&) {
  }
  for (const fuzz::Script::Write& w : script->writes) {
    const std::size_t end = w.bytes.find("\r\n\r\n");
    FUZZ_CHECK(end != std::string::npos);
    const std::string head = w.bytes.substr(0, end + 2);
    const bool ownOrigin = url && head.find("\r\nHost: " + url->Authority() + "\r\n") != std::string::npos;
    int hosts = 0, connections = 0, lengths = 0;
    std::size_t at = 0;
    for (std::size_t line = 0; at < head.size(); ++line) {
      const std::size_t eol = head.find("\r\n", at);
      const std::string text = head.substr(at, eol - at);
      FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos);
      if (line == 0) {
        FUZZ_CHECK(text.find(' ') != text.rfind(' ') && text.find(' ', text.find(' ') + 1) == text.rfind(' '));
      } else {
        bool known = false;
        for (const char* name :
             {"User-Agent: ", "Accept: ", "Cache-Control: ", "Pragma: ", "Authorization: Basic ", "Content-Type: "})
          known = known || text.rfind(name, 0) == 0;
        hosts += text.rfind("Host: ", 0) == 0;
        connections += text.rfind("Connection: ", 0) == 0;
        lengths += text.rfind("Content-Length: ", 0) == 0;
        for (const http::Header& header : typed) {
          const bool line = text == header.name + ": " + header.value;
          known = known || (line && ownOrigin);
        }
        FUZZ_CHECK(known || text.rfind("Host: ", 0) == 0 || text.rfind("Connection: ", 0) == 0 ||
                   text.rfind("Content-Length: ", 0) == 0);
      }
      at = eol + 2;
    }
    FUZZ_CHECK(hosts == 1 && connections == 1 && lengths == (w.bytes.rfind("GET ", 0) == 0 ? 0 : 1));
  }
}

std::string Word(const std::string& line, std::size_t* at) {
  const std::size_t first = line.find_first_not_of(" \t\r", *at);
  if (first == std::string::npos) return {};
  *at = std::min(line.find_first_of(" \t\r", first), line.size());
  return line.substr(first, *at - first);
}

// The update protocol's answers, on whichever line comes first: refusals the
// user must mend stop the channel, a service in trouble asks for a wait, and
// "good 127.0.0.1" for an address that was not that is a refused agent.
void CheckAnswer(int status, const std::string& reason, const std::string& body, const std::string& sentIp) {
  using channels::ChannelResult;
  const ChannelResult answer = channels::ReadAnswer(status, reason, body, sentIp);
  if (status < 200 || status > 299) {
    FUZZ_CHECK(answer.kind == ChannelResult::Transient &&
               answer.text.find(std::to_string(status)) != std::string::npos);
    return;
  }
  ChannelResult::Kind expected = ChannelResult::Ok;
  for (std::size_t at = 0; at < body.size() && expected == ChannelResult::Ok;) {
    const std::string line = body.substr(at, body.find('\n', at) - at);
    at += line.size() + 1;
    std::size_t pos = 0;
    const std::string word = Word(line, &pos);
    for (const char* code :
         {"badauth", "nohost", "notfqdn", "numhost", "!yours", "abuse", "badagent", "!donator", "badsys"})
      if (word == code) expected = ChannelResult::Stopped;
    if (word == "911" || word == "dnserr") expected = ChannelResult::Wait;
    if (word == "KO") expected = ChannelResult::Transient;
    if (word == "good" && Word(line, &pos) == "127.0.0.1" && sentIp != "127.0.0.1") expected = ChannelResult::Stopped;
  }
  FUZZ_CHECK(answer.kind == expected);
  FUZZ_CHECK(answer.kind != ChannelResult::Wait || answer.minDelayMs >= 30u * 60 * 1000);
  if (answer.ok()) FUZZ_CHECK(answer.text.rfind(channels::kSentPrefix, 0) == 0);
}

// A 429 or 503 that says when to come back waits that long, never past the
// cap; every other answer reads as it would without the header.
void CheckRetryAfter(int status, const std::string& retryAfter, const std::string& body) {
  using channels::ChannelResult;
  const std::time_t now = 1767225600;
  const http::Response response{status, "Reason", body, "", retryAfter};
  const ChannelResult answer = channels::ReadAnswer(response, "203.0.113.7", {}, now);
  const ChannelResult plain = channels::ReadAnswer(status, "Reason", body, "203.0.113.7");
  const std::optional<std::uint32_t> wait = channels::RetryAfterMs(retryAfter, now);
  FUZZ_CHECK(!wait || (*wait > 0 && *wait <= channels::kLongestRetryAfterMs));
  if ((status == 429 || status == 503) && wait) {
    FUZZ_CHECK(answer.kind == ChannelResult::Wait && answer.minDelayMs == *wait);
  } else {
    FUZZ_CHECK(answer.kind == plain.kind && answer.minDelayMs == plain.minDelayMs);
  }
  const std::string digits = base::Trim(retryAfter, " \t");
  if (!digits.empty() && digits.size() < 12 && digits.find_first_not_of("0123456789") == std::string::npos) {
    const std::uint64_t ms = std::stoull(digits) * 1000;
    FUZZ_CHECK(wait == (ms == 0 ? std::nullopt
                                : std::optional<std::uint32_t>(static_cast<std::uint32_t>(
                                      std::min<std::uint64_t>(ms, channels::kLongestRetryAfterMs)))));
  }
}

// What a server says back shows none of the call's secrets, apart from those
// the marker itself could spell.
void CheckHidden(const http::Request& call, const std::string& echoed) {
  const std::vector<std::string> secrets = channels::SecretsOf(call);
  const std::string shown = base::Lower(channels::HideSecrets(echoed, secrets));
  for (const std::string& secret : secrets) {
    const std::string lower = base::Lower(secret);
    if (lower.find_first_of("[]") != std::string::npos ||
        std::string(channels::kHidden).find(lower) != std::string::npos)
      continue;
    FUZZ_CHECK(shown.find(lower) == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.Byte();
  channels::WebSettings web;
  web.method = channels::kWebMethods[flags & 3];
  web.url = in.Field(kSeparator);
  web.body = in.Field(kSeparator);
  channels::WebValues values;
  values.ip = in.Field(kSeparator);
  values.old = in.Field(kSeparator);
  values.time = in.Field(kSeparator);
  values.computer = in.Field(kSeparator);
  web.headers = in.Field(kSeparator);
  const int status = in.U16() % 1000;
  const std::string reason = in.Field(kSeparator);
  const std::string answer = in.Rest();

  // Both codings give back exactly what went in.
  for (const std::string* value : {&values.ip, &values.computer}) {
    const std::string encoded = channels::PercentEncode(*value);
    FUZZ_CHECK(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%") ==
               std::string::npos);
    FUZZ_CHECK(base::PercentDecode(encoded) == *value);
    const std::string escaped = base::JsonEscape(*value);
    FUZZ_CHECK(ValidJson("\"" + escaped + "\""));
    FUZZ_CHECK(DecodeString(escaped) == *value);
  }

  const http::Request call = channels::PrepareCall(web, values);
  // Our own reader and the program's agree on what is JSON.
  FUZZ_CHECK(base::IsJson(web.body) == ValidJson(web.body));
  if (call.method != "GET") {
    // The body is JSON exactly when, with its values escaped for JSON, it parses.
    const bool expandedIsJson = ValidJson(channels::ExpandPlaceholders(web.body, values, base::JsonEscape));
    FUZZ_CHECK((call.contentType == "application/json") == expandedIsJson);
    if (expandedIsJson) FUZZ_CHECK(ValidJson(call.body));
    const std::size_t first = web.body.find_first_not_of(" \t\r\n");
    const bool opensJson = first != std::string::npos && (web.body[first] == '{' || web.body[first] == '[');
    const bool templateIsJson = opensJson && ValidJson(web.body);
    if (templateIsJson) FUZZ_CHECK(call.contentType == "application/json" && ValidJson(call.body));
  } else {
    FUZZ_CHECK(call.body.empty() && call.contentType.empty());
  }
  // Values can hold anything; in the address they are percent-coded, so
  // none of their bytes can end a line of the request.
  const channels::HeaderLines lines = channels::ReadHeaderLines(web.headers, values);
  CheckHeaderLines(lines);
  if (http::ParseUrl(call.url) && lines.refusal.empty()) CheckRequestHead(call, lines.headers, flags & 4);

  CheckAnswer(status, reason, answer, values.ip);
  // The reason doubles as the Retry-After value and as the server's echo.
  CheckRetryAfter(status, reason, answer);
  http::Request secret = call;
  secret.headers = lines.headers;
  CheckHidden(secret, reason);
  return 0;
}
