#pragma once
// The transport the program itself uses: a Winsock TCP connection. The socket
// handle is kept as an integer so this header needs no <winsock2.h>.
#include <cstdint>

#include "SmtpTransport.h"

namespace smtp {

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

 private:
  std::uintptr_t socket_;
};

}  // namespace smtp
