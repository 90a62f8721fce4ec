// A blocking TCP client connection for tests: POSIX sockets natively,
// Winsock under Windows. Every failure throws std::runtime_error.
#pragma once

#include <cstdint>
#include <string>

namespace peers {

class TcpConnection {
 public:
#ifdef _WIN32
  using Native = std::uintptr_t;  // SOCKET, without dragging <winsock2.h> into every test
#else
  using Native = int;
#endif

  // Reads and writes give up after timeoutMs, so a silent peer fails a test
  // instead of hanging it.
  static TcpConnection Connect(const std::string& host, int port, int timeoutMs = 10000);

  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&& other) noexcept;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  ~TcpConnection();

  void SetTimeout(int timeoutMs);
  void Send(const std::string& bytes);
  // Through the '\n'; throws when the peer closes first.
  std::string ReadLine(std::size_t maxBytes = 1 << 20);
  // Whatever arrives next; "" once the peer has closed.
  std::string ReadSome();
  // Everything until the peer closes.
  std::string ReadAll();
  // Exactly n bytes; throws when the peer closes first.
  std::string ReadExactly(std::size_t n);

 private:
  explicit TcpConnection(Native s) : m_socket(s) {}
  void Close() noexcept;

  Native m_socket;
  std::string m_pending;  // read ahead of the last line handed out
};

}  // namespace peers
