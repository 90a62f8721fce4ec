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

#include "FuzzCheck.h"
#include "http/HttpFetch.h"
#include "http/HttpUrl.h"
#include "ScriptTransport.h"
#include "channels/WebHeaders.h"
#include "channels/WebNotify.h"

namespace {

constexpr char kSeparator = '\x1e';

// JSON as the standard has it, nothing more lenient, and no deeper than 64
// levels, as no service's body needs.
class Json {
 public:
  explicit Json(std::string_view text) : m_text(text) {}
  bool Valid() {
    Blank();
    if (!Value(0)) return false;
    Blank();
    return m_at == m_text.size();
  }
  // The inside of a string, decoded, as long as it uses only the escapes
  // our escaping writes.
  static std::optional<std::string> DecodeString(std::string_view inside) {
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

 private:
  bool Value(int depth) {
    if (depth >= 64 || m_at >= m_text.size()) return false;
    const char c = m_text[m_at];
    if (c == '{' || c == '[') return Container(depth, c == '{' ? '}' : ']');
    if (c == '"') return String();
    for (const char* word : {"true", "false", "null"})
      if (m_text.substr(m_at, std::string_view(word).size()) == word) {
        m_at += std::string_view(word).size();
        return true;
      }
    return Number();
  }
  bool Container(int depth, char close) {
    ++m_at;
    Blank();
    if (Take(close)) return true;
    for (;;) {
      if (close == '}') {
        if (!String()) return false;
        Blank();
        if (!Take(':')) return false;
        Blank();
      }
      if (!Value(depth + 1)) return false;
      Blank();
      if (Take(close)) return true;
      if (!Take(',')) return false;
      Blank();
    }
  }
  bool String() {
    if (!Take('"')) return false;
    while (m_at < m_text.size()) {
      const char c = m_text[m_at++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') continue;
      if (m_at >= m_text.size()) return false;
      const char e = m_text[m_at++];
      if (e == 'u') {
        if (m_at + 4 > m_text.size()) return false;
        for (int k = 0; k < 4; ++k)
          if (!std::isxdigit(static_cast<unsigned char>(m_text[m_at++]))) return false;
      } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
        return false;
      }
    }
    return false;
  }
  bool Number() {
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }
  bool Digits() {
    const std::size_t start = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') ++m_at;
    return m_at > start;
  }
  bool Take(char c) {
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  void Blank() {
    while (m_at < m_text.size() && std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos) ++m_at;
  }

  std::string_view m_text;
  std::size_t m_at = 0;
};

// The typed header lines, filled in: a line that is let through has a
// token for a name, no control byte in its value, and leaves the framing
// headers to the client.
void CheckHeaderLines(const channels::HeaderLines& lines) {
  if (!lines.refusal.empty()) return;
  for (const channels::Header& header : lines.headers) {
    FUZZ_CHECK(!header.name.empty() &&
               header.name.find_first_not_of(
                   "!#$%&'*+-.^_`|~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") ==
                   std::string::npos);
    for (char c : header.value) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
    for (const char* owned : {"host", "content-length", "transfer-encoding", "connection"})
      FUZZ_CHECK(!channels::SameHeaderName(header.name, owned));
  }
}

// The call goes out through the client to a scripted server, which may send
// it elsewhere; every head holds whole CRLF lines, the client's own and the
// typed ones, these only for the address's own origin, and each framing
// header once.
void CheckRequestHead(const channels::WebCall& call, const std::vector<channels::Header>& typed, bool redirect) {
  auto script = std::make_shared<fuzz::Script>();
  script->segmentPerConnection = true;
  const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ngood";
  script->segments = {ok};
  if (redirect) script->segments = {"HTTP/1.1 307 Moved\r\nLocation: http://127.0.0.2:81/x\r\n\r\n", ok};
  script->peerIsLoopback = true;
  http::Network network;
  network.connect = [script] { return std::make_unique<fuzz::ScriptTransport>(script); };
  network.secure = [](std::unique_ptr<net::Transport> plain, const std::string&, int, net::TlsCheck) { return plain; };
  http::Request request;
  request.method = call.method;
  request.url = call.url;
  request.contentType = call.contentType;
  request.body = call.body;
  request.userAgent = "Corvane/2.0";
  for (const channels::Header& header : typed) request.headers.push_back({header.name, header.value});
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
        for (const channels::Header& header : typed) {
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
    const std::string escaped = channels::JsonEscape(*value);
    FUZZ_CHECK(Json("\"" + escaped + "\"").Valid());
    FUZZ_CHECK(Json::DecodeString(escaped) == *value);
  }

  const channels::WebCall call = channels::PrepareCall(web, values);
  // Our own reader and the program's agree on what is JSON.
  FUZZ_CHECK(channels::IsJson(web.body) == Json(web.body).Valid());
  if (call.method != "GET") {
    // The body is JSON exactly when, with its values escaped for JSON, it parses.
    const bool expandedIsJson = Json(channels::ExpandPlaceholders(web.body, values, channels::JsonEscape)).Valid();
    FUZZ_CHECK((call.contentType == "application/json") == expandedIsJson);
    if (expandedIsJson) FUZZ_CHECK(Json(call.body).Valid());
    const std::size_t first = web.body.find_first_not_of(" \t\r\n");
    const bool opensJson = first != std::string::npos && (web.body[first] == '{' || web.body[first] == '[');
    const bool templateIsJson = opensJson && Json(web.body).Valid();
    if (templateIsJson) FUZZ_CHECK(call.contentType == "application/json" && Json(call.body).Valid());
  } else {
    FUZZ_CHECK(call.body.empty() && call.contentType.empty());
  }
  // Values can hold anything; in the address they are percent-coded, so
  // none of their bytes can end a line of the request.
  const channels::HeaderLines lines = channels::ReadHeaderLines(web.headers, values);
  CheckHeaderLines(lines);
  if (http::ParseUrl(call.url) && lines.refusal.empty()) CheckRequestHead(call, lines.headers, flags & 4);

  CheckAnswer(status, reason, answer, values.ip);
  return 0;
}
