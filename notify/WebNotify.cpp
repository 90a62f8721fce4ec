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
// words a user can act on.
struct Refusal {
  std::string_view code;
  const char* words;
};
constexpr std::array<Refusal, 9> kRefusals{{
    {"badauth", "the service did not accept the user name or password"},
    {"nohost", "the host name does not exist or does not belong to this account"},
    {"notfqdn", "the host name is not a full domain name"},
    {"abuse", "the service has blocked updates of this host name for abuse"},
    {"badagent", "the service refused this program's request"},
    {"!donator", "the request asked for a feature this account does not have"},
    {"dnserr", "the service has a DNS problem of its own"},
    {"911", "the service has a problem or is down for maintenance"},
    // A common DNS service's one-word refusal: a wrong token or domain.
    {"KO", "the service refused the update; check the token and the domain"},
}};

std::string_view FirstWord(std::string_view line) {
  const size_t begin = line.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  line.remove_prefix(begin);
  return line.substr(0, line.find_first_of(" \t\r"));
}

std::string StatusText(int status, const std::string& reason) {
  return reason.empty() ? std::to_string(status) : std::to_string(status) + " " + reason;
}

bool StartsAsJson(std::string_view body) {
  const size_t first = body.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (body[first] == '{' || body[first] == '[');
}

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

WebCall PrepareCall(const settings::WebSettings& web, const WebValues& values) {
  WebCall call;
  call.method = settings::IsWebMethod(web.method) ? web.method : settings::kWebGet;
  call.url = ExpandPlaceholders(web.url, values, PercentEncode);
  if (call.method != settings::kWebGet) {
    const bool json = StartsAsJson(web.body);
    call.body = ExpandPlaceholders(web.body, values, json ? JsonEscape : Unchanged);
    call.contentType = json ? "application/json" : "text/plain; charset=utf-8";
  }
  return call;
}

WebAnswer ReadAnswer(int status, const std::string& reason, const std::string& body) {
  if (status < 200 || status > 299) return {false, StatusText(status, reason)};
  // A service updating several names answers one line for each.
  std::string_view rest = body;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view word = FirstWord(rest.substr(0, end));
    for (const Refusal& refusal : kRefusals)
      if (word == refusal.code) return {false, std::string(refusal.words) + " (" + std::string(word) + ")"};
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return {true, kSentPrefix + StatusText(status, reason)};
}

std::string FailureText(const std::string& origin, const std::string& why) {
  return "The web notification to " + origin + " failed: " + why;
}

}  // namespace notify
