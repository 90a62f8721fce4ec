// Addresses and redirects: an address taken apart writes itself back the same
// way, a redirect lands where a browser would put it, and the loopback rule
// says yes only to what every resolver reads as this machine.
#include <string>

#include "FuzzCheck.h"
#include "http/HttpUrl.h"
#include "net/Loopback.h"

namespace {

bool Unsafe(const std::string& text) {
  for (unsigned char c : text)
    if (c <= ' ' || c == 0x7F) return true;
  return false;
}

// The loopback names, written out the long way: four decimal parts of
// 0-255 without leading zeros, the first 127; localhost; ::1.
bool LoopbackModel(const std::string& host) {
  std::string lower;
  for (char c : host) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  if (lower == "localhost" || lower == "::1") return true;
  int parts[4];
  int count = 0;
  std::size_t i = 0;
  while (count < 4) {
    std::size_t digits = 0;
    int value = 0;
    while (i < lower.size() && lower[i] >= '0' && lower[i] <= '9' && digits < 4) {
      if (digits == 1 && value == 0) return false;
      value = value * 10 + (lower[i++] - '0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    parts[count++] = value;
    if (count < 4) {
      if (i >= lower.size() || lower[i] != '.') return false;
      ++i;
    }
  }
  return i == lower.size() && parts[0] == 127;
}

void CheckUrl(const http::Url& url) {
  FUZZ_CHECK(!url.host.empty() && url.port >= 1 && url.port <= 65535);
  FUZZ_CHECK(!url.target.empty() && url.target[0] == '/' && url.target.find('#') == std::string::npos);
  // Whatever goes in a request line or a Host header is free of blanks and
  // line ends; an origin quotes nothing of the path, query or login.
  FUZZ_CHECK(!Unsafe(url.host) && !Unsafe(url.target) && !Unsafe(url.Authority()));
  const std::string origin = url.Origin();
  FUZZ_CHECK(origin.find_first_of("/?@#", origin.find("://") + 3) == std::string::npos);
  FUZZ_CHECK(url.Text() == origin + url.target);
  for (char c : url.host) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::string text = in.Field('\n');
  const std::string location = in.Rest();

  FUZZ_CHECK(net::IsLoopbackName(text) == LoopbackModel(text));

  const std::optional<http::Url> url = http::ParseUrl(text);
  if (!url) return 0;
  CheckUrl(*url);
  FUZZ_CHECK(net::IsLoopbackName(url->host) == LoopbackModel(url->host));

  // Round trip: the address without its login reads back as itself.
  const std::optional<http::Url> again = http::ParseUrl(url->Text());
  FUZZ_CHECK(again);
  FUZZ_CHECK(again->secure == url->secure && again->host == url->host && again->port == url->port);
  FUZZ_CHECK(again->target == url->target && again->user.empty() && again->password.empty());
  FUZZ_CHECK(again->Text() == url->Text());

  const std::string resolved = http::ResolveLocation(*url, location);
  const std::optional<http::Url> next = http::ParseUrl(resolved);
  const bool hasScheme = location.rfind("http://", 0) == 0 || location.rfind("https://", 0) == 0;
  if (hasScheme) FUZZ_CHECK(resolved == location);
  if (!next) return 0;
  CheckUrl(*next);
  if (location.rfind("//", 0) == 0) {
    FUZZ_CHECK(next->secure == url->secure);  // a scheme-relative redirect keeps the scheme
  } else if (!location.empty() && location.find(':') == std::string::npos) {
    // A path, a query or a name beside the current one stays on this origin,
    // and a relative one in this folder.
    FUZZ_CHECK(next->Origin() == url->Origin());
    if (location[0] != '/' && location[0] != '?' && location[0] != '#') {
      const std::string path = url->target.substr(0, url->target.find('?'));
      FUZZ_CHECK(next->target.rfind(path.substr(0, path.rfind('/') + 1), 0) == 0);
    }
  }
  return 0;
}
