#include "WebNotify.h"

#include <array>

namespace notify {

namespace {

struct Placeholder {
  std::string_view name;
  std::string WebValues::*value;
};
constexpr std::array<Placeholder, 4> kPlaceholders{{{"{ip}", &WebValues::ip},
                                                    {"{old}", &WebValues::old},
                                                    {"{time}", &WebValues::time},
                                                    {"{computer}", &WebValues::computer}}};

// The answers of the dynamic-DNS update protocol that refuse the update, in
// words a user can act on. Those that need the user stop the channel: the
// protocol says a client must not update again until the user acts, and
// services block clients that go on.
struct Refusal {
  std::string_view code;
  const char* words;
  ChannelResult::Kind kind;
};
constexpr std::array<Refusal, 12> kRefusals{{
    {"badauth", "the service did not accept the user name or password", ChannelResult::Stopped},
    {"nohost", "the host name does not exist or does not belong to this account", ChannelResult::Stopped},
    {"notfqdn", "the host name is not a full domain name", ChannelResult::Stopped},
    {"numhost", "the request named more host names than the service takes at once", ChannelResult::Stopped},
    {"!yours", "the host name belongs to another account", ChannelResult::Stopped},
    {"abuse", "the service has blocked updates of this host name for abuse", ChannelResult::Stopped},
    {"badagent", "the service refused this program's request", ChannelResult::Stopped},
    {"!donator", "the request asked for a feature this account does not have", ChannelResult::Stopped},
    {"badsys", "the service does not know the system named in the request", ChannelResult::Stopped},
    {"dnserr", "the service has a DNS problem of its own", ChannelResult::Wait},
    {"911", "the service has a problem or is down for maintenance", ChannelResult::Wait},
    // A common DNS service's one-word refusal: a wrong token or domain.
    {"KO", "the service refused the update; check the token and the domain", ChannelResult::Transient},
}};

// A service sends this address as `good` to an agent it refuses to serve.
constexpr std::string_view kRefusedAgentAddress = "127.0.0.1";

std::string_view FirstWord(std::string_view line) {
  const size_t begin = line.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  line.remove_prefix(begin);
  return line.substr(0, line.find_first_of(" \t\r"));
}

std::string StatusText(int status, const std::string& reason) {
  return reason.empty() ? std::to_string(status) : std::to_string(status) + " " + reason;
}

std::string_view SecondWord(std::string_view line) {
  const std::string_view first = FirstWord(line);
  if (first.empty()) return {};
  return FirstWord(line.substr(line.find(first) + first.size()));
}

// A strict reader that only says whether the text is JSON; it builds nothing.
class JsonChecker {
 public:
  explicit JsonChecker(std::string_view text) : m_text(text) {}

  bool Whole() {
    SkipBlanks();
    if (!Value(0)) return false;
    SkipBlanks();
    return m_at == m_text.size();
  }

 private:
  static constexpr int kDeepest = 64;

  bool Value(int depth) {
    if (depth >= kDeepest || m_at >= m_text.size()) return false;
    switch (m_text[m_at]) {
      case '{':
        return Composite('}', depth, true);
      case '[':
        return Composite(']', depth, false);
      case '"':
        return String();
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  bool Composite(char close, int depth, bool members) {
    ++m_at;
    SkipBlanks();
    if (Take(close)) return true;
    while (true) {
      if (members) {
        if (!String()) return false;
        SkipBlanks();
        if (!Take(':')) return false;
        SkipBlanks();
      }
      if (!Value(depth + 1)) return false;
      SkipBlanks();
      if (Take(close)) return true;
      if (!Take(',')) return false;
      SkipBlanks();
    }
  }

  bool String() {
    if (!Take('"')) return false;
    while (m_at < m_text.size()) {
      const auto c = static_cast<unsigned char>(m_text[m_at++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      if (m_at >= m_text.size()) return false;
      const char escaped = m_text[m_at++];
      if (escaped == 'u') {
        for (int i = 0; i < 4; ++i)
          if (m_at >= m_text.size() || !IsHexDigit(m_text[m_at++])) return false;
      } else if (std::string_view("\"\\/bfnrt").find(escaped) == std::string_view::npos) {
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
    const size_t begin = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') ++m_at;
    return m_at > begin;
  }

  bool Word(std::string_view word) {
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }

  bool Take(char c) {
    if (m_at >= m_text.size() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }

  void SkipBlanks() {
    while (m_at < m_text.size() && std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos) ++m_at;
  }

  static bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

  std::string_view m_text;
  size_t m_at = 0;
};

std::string Unchanged(std::string_view text) { return std::string(text); }

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

std::string PercentEncode(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string JsonEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          // By hand: a printf would bring the C library's whole formatter into the exe.
          out += "\\u00";
          out += kHex[static_cast<unsigned char>(c) >> 4];
          out += kHex[c & 15];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string ExpandPlaceholders(std::string_view text, const WebValues& values,
                               std::string (*escape)(std::string_view)) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    if (text[i] == '{') {
      for (const Placeholder& p : kPlaceholders) {
        if (text.substr(i, p.name.size()) == p.name) {
          out += escape(values.*p.value);
          i += p.name.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

bool IsJson(std::string_view text) { return JsonChecker(text).Whole(); }

WebCall PrepareCall(const settings::WebSettings& web, const WebValues& values) {
  WebCall call;
  call.method = settings::IsWebMethod(web.method) ? web.method : settings::kWebGet;
  call.url = ExpandPlaceholders(web.url, values, PercentEncode);
  if (call.method != settings::kWebGet) {
    call.body = ExpandPlaceholders(web.body, values, JsonEscape);
    if (IsJson(call.body)) {
      call.contentType = "application/json";
    } else {
      call.body = ExpandPlaceholders(web.body, values, Unchanged);
      call.contentType = "text/plain; charset=utf-8";
    }
  }
  return call;
}

ChannelResult ReadAnswer(int status, const std::string& reason, const std::string& body, const std::string& sentIp) {
  if (status < 200 || status > 299) return {ChannelResult::Transient, StatusText(status, reason)};
  // A service updating several names answers one line for each.
  std::string_view rest = body;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    const std::string_view word = FirstWord(line);
    for (const Refusal& refusal : kRefusals) {
      if (word != refusal.code) continue;
      ChannelResult result{refusal.kind, std::string(refusal.words) + " (" + std::string(word) + ")"};
      if (refusal.kind == ChannelResult::Wait) result.minDelayMs = kServiceTroubleWaitMs;
      return result;
    }
    if (word == "good" && SecondWord(line) == kRefusedAgentAddress && sentIp != kRefusedAgentAddress)
      return {ChannelResult::Stopped, "the service refused this program's request (good 127.0.0.1)"};
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return {ChannelResult::Ok, kSentPrefix + StatusText(status, reason)};
}

std::string FailureText(const std::string& origin, const std::string& why) {
  return "The web notification to " + origin + " failed: " + why;
}

std::string ResultRow(const ChannelResult& result, const std::string& clock) {
  if (result.ok()) return "sent " + clock;
  constexpr std::string_view kFailed = " failed: ";
  constexpr std::size_t kLongestWhy = 60;
  std::string_view why = result.text;
  if (const size_t at = why.find(kFailed); at != std::string_view::npos) why.remove_prefix(at + kFailed.size());
  // A protocol's refusal word says it shortest.
  if (result.kind == ChannelResult::Stopped && !why.empty() && why.back() == ')') {
    if (const size_t open = why.rfind('('); open != std::string_view::npos)
      return "stopped: " + std::string(why.substr(open + 1, why.size() - open - 2));
  }
  const std::string shown =
      why.size() > kLongestWhy ? std::string(why.substr(0, kLongestWhy)) + "..." : std::string(why);
  return (result.kind == ChannelResult::Stopped ? "stopped: " : "failed: ") + shown;
}

}  // namespace notify
