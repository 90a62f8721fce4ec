#include "net/PosixTransport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/AddressWalk.h"
#include "net/Deadline.h"
#include "net/Transport.h"

namespace net {

namespace {

[[noreturn]] void Fail(int error) { throw TransportError(TransportError::Kind::Failed, std::strerror(error)); }

// Waits until fd is ready for `events`; EINTR must not cut the time-out short
// nor stretch it.
void WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, MillisLeft(deadline));
    if (n > 0) return;
    if (n == 0) throw TransportError(TransportError::Kind::TimedOut, "timed out");
    if (errno != EINTR) Fail(errno);
  }
}

}  // namespace

void OwnedFd::reset() noexcept {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

void PosixTransport::Connect(const std::string& host, int port, int timeoutMs) {
  Close();
  const auto deadline = DeadlineAfter(timeoutMs);
  const AddressList list = LookUpWithin(host, port, deadline, [](int code) { return std::string(gai_strerror(code)); });
  const addrinfo& connected = ConnectFirst(list.get(), [&](const addrinfo& a) {
    OwnedFd fd(::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol));
    if (!fd) return Attempt{Attempt::Outcome::Failed, std::strerror(errno)};
    int err = 0;
    if (::connect(fd.get(), a.ai_addr, a.ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        pollfd p{fd.get(), POLLOUT, 0};
        int n;
        do n = ::poll(&p, 1, MillisLeft(deadline));
        while (n < 0 && errno == EINTR);
        if (n == 0) return Attempt{Attempt::Outcome::TimedOut, "timed out"};
        if (n < 0) {
          err = errno;
        } else {
          socklen_t len = sizeof err;
          ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
        }
      }
    }
    if (err != 0) return Attempt{Attempt::Outcome::Failed, std::strerror(err)};
    m_socket = std::move(fd);
    return Attempt{Attempt::Outcome::Connected, {}};
  });
  m_peerIsLoopback = IsLoopback(connected);
}

void PosixTransport::Send(std::string_view bytes, int timeoutMs) {
  if (!m_socket) throw TransportError(TransportError::Kind::Failed, "not connected");
  auto deadline = DeadlineAfter(timeoutMs);
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a peer that went away must be an error, not SIGPIPE.
    ssize_t n = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitFor(m_socket.get(), POLLOUT, deadline);
    } else if (errno == EPIPE) {
      throw TransportError(TransportError::Kind::Closed, std::strerror(errno));
    } else if (errno == ECONNRESET) {
      throw TransportError(TransportError::Kind::Reset, std::strerror(errno));
    } else if (errno != EINTR) {
      Fail(errno);
    }
  }
}

std::size_t PosixTransport::Receive(char* buffer, std::size_t capacity, int timeoutMs) {
  if (!m_socket) throw TransportError(TransportError::Kind::Failed, "not connected");
  auto deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    ssize_t n = ::recv(m_socket.get(), buffer, capacity, 0);
    if (n > 0) {
#ifdef TCP_QUICKACK
      // Servers that write a multi-line reply line by line (aiosmtpd does, for
      // EHLO) hold back the later lines under Nagle until we acknowledge the
      // first; delayed ACK would make that a 40 ms stall on every hello.
      int one = 1;
      ::setsockopt(m_socket.get(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
      return static_cast<std::size_t>(n);
    }
    if (n == 0) throw TransportError(TransportError::Kind::Closed, "connection closed");
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitFor(m_socket.get(), POLLIN, deadline);
    } else if (errno == ECONNRESET) {
      throw TransportError(TransportError::Kind::Reset, std::strerror(errno));
    } else if (errno != EINTR) {
      Fail(errno);
    }
  }
}

void PosixTransport::Close() noexcept {
  m_socket.reset();
  m_peerIsLoopback = false;
}

std::string PosixTransport::LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace net
