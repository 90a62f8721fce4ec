#include "channels/WebNotify.h"

#include <algorithm>
#include <array>

#include "base/AsciiText.h"

namespace channels {

namespace {

struct Placeholder {
  std::string_view name;
  std::string (*value)(const WebValues&);
};
constexpr std::array<Placeholder, 8> kPlaceholders{{
    {"{ip}", [](const WebValues& v) { return v.ip; }},
    {"{old}", [](const WebValues& v) { return v.old; }},
    {"{time}", [](const WebValues& v) { return v.time; }},
    {"{computer}", [](const WebValues& v) { return v.computer; }},
    {"{ip6}", [](const WebValues& v) { return v.ip6; }},
    {"{old6}", [](const WebValues& v) { return v.old6; }},
    {"{ips}", BothAddresses},
    {"{error}", [](const WebValues& v) { return v.error; }},
}};

// Which family each address placeholder speaks of.
struct FamilyWord {
  std::string_view name;
  AddressFamilies families;
};
constexpr std::array<FamilyWord, 5> kFamilyWords{{
    {"{ip}", {true, false}},
    {"{old}", {true, false}},
    {"{ip6}", {false, true}},
    {"{old6}", {false, true}},
    {"{ips}", {true, true}},
}};

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

// Whether `address` is one of the comma-joined addresses a call sent.
bool WasSent(std::string_view address, std::string_view sent) {
  for (std::size_t start = 0; start <= sent.size();) {
    const std::size_t end = std::min(sent.find(',', start), sent.size());
    if (sent.substr(start, end - start) == address) return true;
    start = end + 1;
  }
  return false;
}

std::string Unchanged(std::string_view text) { return std::string(text); }

// Shorter pieces are no token, and hiding them would blot out ordinary words.
constexpr std::size_t kShortestSecret = 4;

// What a server may echo of a secret: the whole, and each piece between
// `separators`, as written and percent-decoded.
void AddPieces(std::string_view text, std::string_view separators, std::vector<std::string>& out) {
  const auto add = [&out](std::string_view piece) {
    for (const std::string& form : {std::string(piece), base::PercentDecode(piece)})
      if (form.size() >= kShortestSecret) out.push_back(form);
  };
  add(text);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
    add(text.substr(start, end - start));
    start = end + 1;
  }
}

// Where the answer says when to come back: delta-seconds, else an HTTP date
// in any of its three forms (IMF-fixdate, RFC 850, asctime).
std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::time_t now) {
  const std::string text = base::Trim(value, " \t");
  if (text.empty()) return std::nullopt;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    std::int64_t seconds = 0;
    for (const char c : text) {
      seconds = seconds * 10 + (c - '0');
      if (seconds > kLongestRetryAfterMs / 1000) return kLongestRetryAfterMs / 1000;
    }
    return seconds;
  }
  static constexpr std::array<std::string_view, 12> kMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  int day = -1, month = -1, hour = -1, minute = -1, second = -1;
  std::int64_t year = -1;
  bool gmt = false;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find_first_of(" ,-", start), text.size());
    const std::string word = base::Lower(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (word.empty()) continue;
    const bool digits = word.find_first_not_of("0123456789") == std::string::npos;
    if (word.size() == 8 && word[2] == ':' && word[5] == ':') {
      for (const std::size_t at : {0, 1, 3, 4, 6, 7})
        if (word[at] < '0' || word[at] > '9') return std::nullopt;
      hour = std::stoi(word.substr(0, 2));
      minute = std::stoi(word.substr(3, 2));
      second = std::stoi(word.substr(6, 2));
    } else if (word == "gmt") {
      gmt = true;
    } else if (digits && word.size() == 4) {
      year = std::stoi(word);
    } else if (digits && word.size() <= 2 && day < 0) {
      day = std::stoi(word);
    } else if (digits && word.size() == 2) {
      // RFC 850's two-digit year: 70 to 99 are the 1900s, the rest this
      // century (no server's clock says a year before 1970).
      year = 1900 + std::stoi(word);
      if (year < 1970) year += 100;
    } else if (word.size() == 3 && std::find(kMonths.begin(), kMonths.end(), word) != kMonths.end()) {
      month = static_cast<int>(std::find(kMonths.begin(), kMonths.end(), word) - kMonths.begin()) + 1;
    } else if (!digits && word.size() >= 3 &&
               word.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos) {
      continue;  // the day's name, which the date itself decides
    } else {
      return std::nullopt;
    }
  }
  // asctime has no zone; the other two must say GMT.
  const bool asctime = !gmt && text.find(',') == std::string::npos;
  if ((!gmt && !asctime) || day < 1 || day > 31 || month < 0 || year < 0 || hour < 0 || hour > 23 || minute > 59 ||
      second > 60)
    return std::nullopt;
  // Days since 1970-01-01 of a civil date (proleptic Gregorian), as the
  // system's timegm would, which not every runtime has.
  const std::int64_t y = year - (month <= 2);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = era * 146097 + doe - 719468;
  const std::int64_t at = days * 86400 + hour * 3600 + minute * 60 + second;
  return at - static_cast<std::int64_t>(now);
}

}  // namespace

std::string ExpandPlaceholders(std::string_view text, const WebValues& values,
                               std::string (*escape)(std::string_view)) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    if (text[i] == '{') {
      for (const Placeholder& p : kPlaceholders) {
        if (text.substr(i, p.name.size()) == p.name) {
          out += escape(p.value(values));
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

std::string BothAddresses(const WebValues& values) {
  if (values.ip.empty() || values.ip6.empty()) return values.ip.empty() ? values.ip6 : values.ip;
  return values.ip + "," + values.ip6;
}

AddressFamilies FamiliesOf(const channels::WebSettings& web) {
  AddressFamilies found;
  // The body counts only where it goes out: a GET sends none.
  const bool sendsBody = channels::IsWebMethod(web.method) && web.method != channels::kWebGet;
  for (const std::string* text : {&web.url, &web.headers, &web.body}) {
    if (text == &web.body && !sendsBody) continue;
    for (const FamilyWord& word : kFamilyWords) {
      if (text->find(word.name) == std::string::npos) continue;
      found.ipv4 = found.ipv4 || word.families.ipv4;
      found.ipv6 = found.ipv6 || word.families.ipv6;
    }
  }
  if (!found.ipv4 && !found.ipv6) found.ipv4 = true;
  return found;
}

http::Request PrepareCall(const channels::WebSettings& web, const WebValues& values) {
  http::Request call;
  call.method = channels::IsWebMethod(web.method) ? web.method : channels::kWebGet;
  call.url = ExpandPlaceholders(web.url, values, PercentEncode);
  if (call.method != channels::kWebGet) {
    call.body = ExpandPlaceholders(web.body, values, base::JsonEscape);
    if (base::IsJson(call.body)) {
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
    if (word == "good" && SecondWord(line) == kRefusedAgentAddress && !WasSent(kRefusedAgentAddress, sentIp))
      return {ChannelResult::Stopped, "the service refused this program's request (good 127.0.0.1)"};
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return {ChannelResult::Ok, kSentPrefix + StatusText(status, reason)};
}

ChannelResult ReadAnswer(const http::Response& response, const std::string& sentIp,
                         const std::vector<std::string>& secrets, std::time_t now) {
  ChannelResult result = ReadAnswer(response.status, HideSecrets(response.reason, secrets), response.body, sentIp);
  if (response.status != 429 && response.status != 503) return result;
  const std::optional<std::uint32_t> wait = RetryAfterMs(response.retryAfter, now);
  if (wait) {
    result.kind = ChannelResult::Wait;
    result.minDelayMs = *wait;
  }
  return result;
}

std::optional<std::uint32_t> RetryAfterMs(std::string_view value, std::time_t now) {
  const std::optional<std::int64_t> seconds = RetryAfterSeconds(value, now);
  // "Now" or a time gone by asks for no wait: the next check may call.
  if (!seconds || *seconds <= 0) return std::nullopt;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(*seconds * 1000, kLongestRetryAfterMs));
}

std::vector<std::string> SecretsOf(const http::Request& call) {
  std::vector<std::string> secrets;
  const std::string_view url = call.url;
  const std::size_t scheme = url.find("://");
  const std::size_t authority = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t authorityEnd = std::min(url.find_first_of("/?#", authority), url.size());
  const std::size_t at = url.substr(0, authorityEnd).rfind('@');
  if (at != std::string_view::npos && at >= authority) AddPieces(url.substr(authority, at - authority), ":", secrets);
  if (const std::size_t query = url.find('?'); query != std::string_view::npos) {
    // Each pair whole and its value; the names are the service's own words.
    const std::string_view pairs = url.substr(query + 1, url.find('#', query) - query - 1);
    for (std::size_t start = 0; start < pairs.size();) {
      const std::size_t end = std::min(pairs.find_first_of("&;", start), pairs.size());
      const std::string_view pair = pairs.substr(start, end - start);
      AddPieces(pair, "", secrets);
      if (const std::size_t equals = pair.find('='); equals != std::string_view::npos)
        AddPieces(pair.substr(equals + 1), "", secrets);
      start = end + 1;
    }
  }
  for (const http::Header& header : call.headers) AddPieces(header.value, " \t,;=", secrets);
  AddPieces(call.body, " \t\r\n{}[]\":,=&;", secrets);
  std::sort(secrets.begin(), secrets.end(), [](const std::string& a, const std::string& b) {
    return a.size() > b.size() || (a.size() == b.size() && a < b);
  });
  secrets.erase(std::unique(secrets.begin(), secrets.end()), secrets.end());
  return secrets;
}

std::string HideSecrets(std::string_view text, const std::vector<std::string>& secrets) {
  // Marked first and replaced once, so that a secret is also found across
  // or inside another one, and never in the marker itself.
  const std::string lower = base::Lower(text);
  std::vector<bool> hidden(text.size(), false);
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    const std::string lowerSecret = base::Lower(secret);
    for (std::size_t at = lower.find(lowerSecret); at != std::string::npos; at = lower.find(lowerSecret, at + 1))
      std::fill(hidden.begin() + static_cast<std::ptrdiff_t>(at),
                hidden.begin() + static_cast<std::ptrdiff_t>(at + secret.size()), true);
  }
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!hidden[i]) {
      shown += text[i];
    } else if (i == 0 || !hidden[i - 1]) {
      shown += kHidden;
    }
  }
  return shown;
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

}  // namespace channels
