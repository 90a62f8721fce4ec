#pragma once
// The words the HTTP client's parts share: a proxy, the bounds of a fetch
// and how it fails. Kept apart so a part includes these without the whole
// fetch.
#include <cstddef>
#include <stdexcept>
#include <string>

namespace http {

// A proxy as the system's settings name it: plain HTTP, at host:port.
struct Proxy {
  std::string host;
  int port = 0;
  std::string Text() const { return host + ":" + std::to_string(port); }
};

// The bounds of one fetch.
struct Limits {
  int timeoutMs = 15000;              // the whole fetch, redirects and closes included
  std::size_t maxBody = 1024 * 1024;  // bytes of the final body
  bool refuseLarger = true;           // a larger body fails; otherwise it is cut at maxBody
};

class FetchError : public std::runtime_error {
 public:
  // TimedOut: the bound ran out. TooLarge: the body passed maxBody with
  // refuseLarger. Failed: anything else; the text says what.
  enum class Kind { Failed, TimedOut, TooLarge };
  FetchError(Kind kind, const std::string& text) : std::runtime_error(text), m_kind(kind) {}
  Kind kind() const { return m_kind; }

 private:
  Kind m_kind;
};

}  // namespace http
