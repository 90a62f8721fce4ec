#pragma once
// The byte pipe a dialogue runs over, mail or web alike. Natively it is a
// POSIX socket, in the program a Winsock one; a TLS layer wraps an already
// connected transport (at once, or after the server agreed to STARTTLS), so
// the dialogue never needs to know which it is talking through.
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace net {

// What a transport throws. The dialogue above turns it into an error that
// names the step it was in.
class TransportError : public std::runtime_error {
 public:
  // Closed: the peer ended the connection without a word (a TCP close, or a
  // TLS stream cut off below its records). Ended: the peer said it was done
  // (TLS close_notify), so whatever came before it arrived whole. Reset: the
  // connection was torn down (a TCP reset or abort), which anyone on the path
  // can forge at any byte, so it never ends a stream in good order.
  enum class Kind { Failed, TimedOut, Closed, Ended, Reset };
  TransportError(Kind kind, const std::string& text) : std::runtime_error(text), m_kind(kind) {}
  Kind kind() const { return m_kind; }
  bool IsClosed() const { return m_kind == Kind::Closed || m_kind == Kind::Ended; }

 private:
  Kind m_kind;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // All of these throw TransportError. Every call is bounded by timeoutMs.
  virtual void Connect(const std::string& host, int port, int timeoutMs) = 0;
  virtual void Send(std::string_view bytes, int timeoutMs) = 0;
  // Waits for at least one byte; returns how many were stored. A peer that
  // closed the connection is a TransportError that IsClosed(), never 0.
  virtual std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) = 0;
  virtual void Close() noexcept = 0;
  // The name this machine greets with when the user gave none.
  virtual std::string LocalHostName() { return "localhost"; }
  // True when the address actually connected is this machine's own (127/8
  // or ::1): a name can be typed as loopback and still be looked up
  // elsewhere, so only the connected address settles it.
  virtual bool PeerIsLoopback() const = 0;
};

// Makes a fresh, unconnected transport; POP-before-SMTP needs a second one.
using TransportFactory = std::function<std::unique_ptr<Transport>()>;

// How hard a handshake looks at the server's certificate. A connection that
// carries a password, or that the user asked to be secure, is Strict: any
// doubt about the certificate ends it. A connection that carries no secret
// and upgrades only because the server offered it is Opportunistic: an
// unverifiable certificate still gives encryption against a passive
// listener, which is more than plain text would, as mail servers do between
// themselves.
enum class TlsCheck { Strict, Opportunistic };

// Takes over a connected plain transport once the server said it is ready for
// TLS, performs the handshake against `host` and returns the secured one.
// It throws TransportError when the handshake fails.
using TlsUpgrade = std::function<std::unique_ptr<Transport>(std::unique_ptr<Transport> plain, const std::string& host,
                                                            int timeoutMs, TlsCheck check)>;

}  // namespace net
