#pragma once
// The byte pipe the dialogue runs over. Natively it is a POSIX socket, in the
// program a Winsock one; a TLS layer wraps an already connected transport
// after the server's "220" to STARTTLS, so the dialogue never needs to know
// which it is talking through.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace smtp {

class Transport {
 public:
  virtual ~Transport() = default;
  // All of these throw TransportError. Every call is bounded by timeoutMs.
  virtual void Connect(const std::string& host, int port, int timeoutMs) = 0;
  virtual void Send(std::string_view bytes, int timeoutMs) = 0;
  // Waits for at least one byte; returns how many were stored. A peer that
  // closed the connection is TransportError::Kind::Closed, never 0.
  virtual std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) = 0;
  virtual void Close() noexcept = 0;
  // The name this machine greets with when the user gave none.
  virtual std::string LocalHostName() { return "localhost"; }
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

}  // namespace smtp
