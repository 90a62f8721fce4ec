#pragma once
// A TCP connection over POSIX sockets, non-blocking underneath so that
// connect, send and receive each honour their own time-out.
#include "net/Transport.h"

namespace net {

class PosixTransport final : public Transport {
 public:
  PosixTransport() = default;
  ~PosixTransport() override { Close(); }
  PosixTransport(const PosixTransport&) = delete;
  PosixTransport& operator=(const PosixTransport&) = delete;

  void Connect(const std::string& host, int port, int timeoutMs) override;
  void Send(std::string_view bytes, int timeoutMs) override;
  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override;
  void Close() noexcept override;
  std::string LocalHostName() override;
  bool PeerIsLoopback() const override { return m_peerIsLoopback; }

 private:
  int m_fd = -1;
  bool m_peerIsLoopback = false;
};

}  // namespace net
