// The system's proxy setting and bypass list: the bypass list against a plain
// wildcard matcher of our own, and the proxy named for a scheme against what
// the setting's entries say.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "http/ProxyRules.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// '*' is any run of characters: the table of which pattern prefix matches
// which text prefix, row by row.
bool Wildcard(const std::string& pattern, const std::string& text) {
  std::vector<bool> row(text.size() + 1, false);
  row[0] = true;
  for (char p : pattern) {
    std::vector<bool> next(text.size() + 1, false);
    for (std::size_t t = 0; t <= text.size(); ++t) {
      if (p == '*')
        next[t] = row[t] || (t > 0 && next[t - 1]);
      else
        next[t] = t > 0 && row[t - 1] && text[t - 1] == p;
    }
    row = std::move(next);
  }
  return row[text.size()];
}

bool BypassModel(const std::string& list, const std::string& host) {
  const std::string name = Lower(host);
  std::string entry;
  const std::string separators = "; ,\t\r\n";
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i < list.size() && separators.find(list[i]) == std::string::npos) {
      entry += static_cast<char>(list[i] >= 'A' && list[i] <= 'Z' ? list[i] + 32 : list[i]);
      continue;
    }
    if (entry == "<local>" ? name.find_first_of(".:") == std::string::npos : !entry.empty() && Wildcard(entry, name))
      return true;
    entry.clear();
  }
  return false;
}

bool Same(const std::optional<http::Proxy>& a, const std::optional<http::Proxy>& b) {
  return a.has_value() == b.has_value() && (!a || (a->host == b->host && a->port == b->port));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const bool secure = in.Byte() & 1;
  const std::string setting = in.Field('\n');
  const std::string list = in.Field('\n');
  const std::string host = in.Rest();

  // The model's table grows with both lengths; past these it says nothing new.
  if (list.size() <= 512 && host.size() <= 256) FUZZ_CHECK(http::BypassesProxy(list, host) == BypassModel(list, host));

  const std::optional<http::Proxy> proxy = http::ProxyForScheme(setting, secure);
  if (proxy) {
    FUZZ_CHECK(!proxy->host.empty() && proxy->port >= 1 && proxy->port <= 65535);
    FUZZ_CHECK(proxy->host.find_first_of("; \t") == std::string::npos);
    // The proxy written back as a setting names itself again.
    if (proxy->host.find_first_of(":=[]") == std::string::npos && proxy->host.back() != '/')
      FUZZ_CHECK(Same(http::ProxyForScheme(proxy->Text(), secure), proxy));
  }
  // An entry for another scheme changes nothing; one for this scheme, put
  // first, wins over whatever follows.
  FUZZ_CHECK(Same(http::ProxyForScheme(setting + ";ftp=other:21", secure), proxy));
  const std::string own = secure ? "HTTPS=mine:8443;" : "http=mine:8080;";
  const std::optional<http::Proxy> mine = http::ProxyForScheme(own + setting, secure);
  FUZZ_CHECK(mine && mine->host == "mine" && mine->port == (secure ? 8443 : 8080));
  return 0;
}
