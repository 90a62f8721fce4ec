#include "PosixTransport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Deadline.h"
#include "Loopback.h"
#include "Transport.h"

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

void PosixTransport::Connect(const std::string& host, int port, int timeoutMs) {
  Close();
  auto deadline = DeadlineAfter(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0)
    throw TransportError(TransportError::Kind::Failed, std::string("cannot resolve the name: ") + gai_strerror(rc));
  std::string lastError = "no address";
  bool timedOut = false;
  // Each address is tried in turn; the time-out bounds the whole attempt.
  for (addrinfo* a = list; a; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastError = std::strerror(errno);
      continue;
    }
    int err = 0;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int n;
        do n = ::poll(&p, 1, MillisLeft(deadline));
        while (n < 0 && errno == EINTR);
        if (n == 0) {
          err = ETIMEDOUT;
          timedOut = true;
        } else if (n < 0) {
          err = errno;
        } else {
          socklen_t len = sizeof err;
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        }
      }
    }
    if (err == 0) {
      m_fd = fd;
      m_peerIsLoopback = a->ai_family == AF_INET6
                             ? IsLoopbackAddress(&reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr)
                             : IsLoopbackAddress(&reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
      ::freeaddrinfo(list);
      return;
    }
    ::close(fd);
    lastError = std::strerror(err);
    if (timedOut) break;
  }
  ::freeaddrinfo(list);
  throw TransportError(timedOut ? TransportError::Kind::TimedOut : TransportError::Kind::Failed,
                       timedOut ? "timed out" : lastError);
}

void PosixTransport::Send(std::string_view bytes, int timeoutMs) {
  if (m_fd < 0) throw TransportError(TransportError::Kind::Failed, "not connected");
  auto deadline = DeadlineAfter(timeoutMs);
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a peer that went away must be an error, not SIGPIPE.
    ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitFor(m_fd, POLLOUT, deadline);
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
  if (m_fd < 0) throw TransportError(TransportError::Kind::Failed, "not connected");
  auto deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    ssize_t n = ::recv(m_fd, buffer, capacity, 0);
    if (n > 0) {
#ifdef TCP_QUICKACK
      // Servers that write a multi-line reply line by line (aiosmtpd does, for
      // EHLO) hold back the later lines under Nagle until we acknowledge the
      // first; delayed ACK would make that a 40 ms stall on every hello.
      int one = 1;
      ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
      return static_cast<std::size_t>(n);
    }
    if (n == 0) throw TransportError(TransportError::Kind::Closed, "connection closed");
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitFor(m_fd, POLLIN, deadline);
    } else if (errno == ECONNRESET) {
      throw TransportError(TransportError::Kind::Reset, std::strerror(errno));
    } else if (errno != EINTR) {
      Fail(errno);
    }
  }
}

void PosixTransport::Close() noexcept {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

std::string PosixTransport::LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace net
