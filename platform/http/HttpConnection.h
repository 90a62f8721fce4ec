#pragma once
// One connection of a fetch: its transport, the bytes received but not yet
// used, and the reading of an HTTP/1.1 answer from it. Everything read is
// bounded, in bytes and by the fetch's one deadline.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/HttpTypes.h"
#include "net/Deadline.h"
#include "net/Transport.h"

namespace http {

// What a box may show of a server's words (a reason phrase, an address it
// redirects to): printable, on one line, at most `longest` bytes and "...".
std::string ShownText(const std::string& text, std::size_t longest);

// The status line and the headers a fetch acts on.
struct Head {
  int status = 0;
  std::string reason;
  std::optional<std::uint64_t> length;  // Content-Length
  std::string codings;                  // Transfer-Encoding, lowercase, as listed
  std::string location;
  std::string retryAfter;  // as sent, for the caller to read
};

class Connection {
 public:
  Connection(std::unique_ptr<net::Transport> transport, net::Clock::time_point deadline)
      : m_transport(std::move(transport)), m_deadline(deadline) {}
  ~Connection() {
    if (m_transport) m_transport->Close();  // a failed TLS upgrade took it
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const net::Transport& transport() const { return *m_transport; }
  void Send(const std::string& bytes);
  // Hands the connection to TLS. Whatever arrived before in clear is dropped:
  // it did not come from the host the handshake verifies.
  void Secure(const net::TlsUpgrade& upgrade, const std::string& host);

  // The next final answer's head (interim 1xx answers are passed over).
  Head ReadHead();
  // The body the head announces, whole, or a FetchError. With `noBody` (an
  // answer to HEAD) there is none. A transfer coding decides the framing
  // whatever else the head says, and chunked is the only one we take.
  std::string ReadBody(const Head& head, const Limits& limits, bool noBody);

 private:
  // False when the peer closed the connection; m_endedCleanly then says
  // whether it said goodbye (TLS close_notify) or just went.
  bool ReadMore();
  std::optional<std::string> TakeLine(std::size_t longest);
  std::string ReadChunked(const Limits& limits);
  std::string ReadUntilClose(const Limits& limits);
  std::string ReadLength(std::uint64_t length, const Limits& limits);

  std::unique_ptr<net::Transport> m_transport;
  net::Clock::time_point m_deadline;
  std::string m_pending;
  bool m_secured = false;
  bool m_closed = false;
  bool m_endedCleanly = false;
  bool m_readingHead = false;  // a reset now, before any status line, means no answer at all
  bool StatusLineArrived() const;
};

}  // namespace http
