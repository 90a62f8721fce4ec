#pragma once
// A TCP connection over POSIX sockets, non-blocking underneath so that
// connect, send and receive each honour their own time-out.
#include "net/Transport.h"

namespace net {

// A socket descriptor that closes with its owner.
class OwnedFd {
 public:
  OwnedFd() = default;
  explicit OwnedFd(int fd) : m_fd(fd) {}
  ~OwnedFd() { reset(); }
  OwnedFd(OwnedFd&& other) noexcept : m_fd(other.release()) {}
  OwnedFd& operator=(OwnedFd&& other) noexcept {
    if (this != &other) {
      reset();
      m_fd = other.release();
    }
    return *this;
  }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;

  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  void reset() noexcept;

 private:
  int release() noexcept {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  int m_fd = -1;
};

class PosixTransport final : public Transport {
 public:
  PosixTransport() = default;
  ~PosixTransport() override = default;
  PosixTransport(const PosixTransport&) = delete;
  PosixTransport& operator=(const PosixTransport&) = delete;

  void Connect(const std::string& host, int port, int timeoutMs) override;
  void Send(std::string_view bytes, int timeoutMs) override;
  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override;
  void Close() noexcept override;
  std::string LocalHostName() override;
  bool PeerIsLoopback() const override { return m_peerIsLoopback; }

 private:
  OwnedFd m_socket;
  bool m_peerIsLoopback = false;
};

}  // namespace net
