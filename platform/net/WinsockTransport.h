#pragma once
// The transport the program itself uses: a Winsock TCP connection.
#include <winsock2.h>

#include "base/OwnedHandle.h"
#include "net/Transport.h"

namespace net {

class WinsockTransport final : public Transport {
 public:
  WinsockTransport();
  ~WinsockTransport() override { Close(); }
  WinsockTransport(const WinsockTransport&) = delete;
  WinsockTransport& operator=(const WinsockTransport&) = delete;

  void Connect(const std::string& host, int port, int timeoutMs) override;
  void Send(std::string_view bytes, int timeoutMs) override;
  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override;
  void Close() noexcept override;
  std::string LocalHostName() override;
  bool PeerIsLoopback() const override { return m_peerIsLoopback; }

 private:
  // Counted like every other handle the program owns, so a soak can see a leak.
  using OwnedSocket = win::Owned<SOCKET, win::HandleKind::Socket, &closesocket, INVALID_SOCKET>;
  OwnedSocket m_socket;
  bool m_peerIsLoopback = false;
};

}  // namespace net
