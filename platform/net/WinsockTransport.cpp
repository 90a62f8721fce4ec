#include "net/WinsockTransport.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "base/SystemError.h"
#include "net/AddressWalk.h"
#include "net/Deadline.h"
#include "net/Transport.h"

namespace net {

namespace {

// Winsock wants one WSAStartup before any call; the first transport made
// does it and it stays up until the program ends.
struct WinsockLibrary {
  WinsockLibrary() {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockLibrary() {
    if (ok) WSACleanup();
  }
  bool ok = false;
};

void EnsureWinsock() {
  static WinsockLibrary library;
  if (!library.ok) throw TransportError(TransportError::Kind::Failed, "Windows Sockets could not be started");
}

std::string SystemText(int code) { return win::SystemErrorText(static_cast<DWORD>(code), "Windows Sockets error"); }

[[noreturn]] void Fail(int code) {
  switch (code) {
    case WSAETIMEDOUT:
      throw TransportError(TransportError::Kind::TimedOut, "timed out");
    case WSAECONNRESET:
    case WSAECONNABORTED:
      throw TransportError(TransportError::Kind::Reset, SystemText(code));
    case WSAESHUTDOWN:
      throw TransportError(TransportError::Kind::Closed, SystemText(code));
    default:
      throw TransportError(TransportError::Kind::Failed, SystemText(code));
  }
}

// SO_RCVTIMEO and SO_SNDTIMEO take a DWORD of milliseconds on Windows, not
// the timeval other systems use.
void SetTimeout(SOCKET s, int option, int timeoutMs) {
  DWORD ms = static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 1);
  setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms);
}

}  // namespace

WinsockTransport::WinsockTransport() = default;

void WinsockTransport::Connect(const std::string& host, int port, int timeoutMs) {
  EnsureWinsock();
  Close();
  const auto deadline = DeadlineAfter(timeoutMs);
  const AddressList list = LookUpWithin(host, port, deadline, SystemText);
  // A blocking connect cannot be given a time-out: connect non-blocking,
  // wait with select, then switch back so the DWORD time-outs apply.
  const addrinfo& connected = ConnectFirst(list.get(), [&](const addrinfo& a) {
    OwnedSocket owned(socket(a.ai_family, a.ai_socktype, a.ai_protocol));
    const SOCKET s = owned.get();
    if (!owned) return Attempt{Attempt::Outcome::Failed, SystemText(WSAGetLastError())};
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int err = 0;
    if (connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) == SOCKET_ERROR) {
      err = WSAGetLastError();
      if (err == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        const int left = MillisLeft(deadline);
        timeval tv{left / 1000, (left % 1000) * 1000};
        const int n = select(0, nullptr, &writable, &failed, &tv);
        if (n == 0) return Attempt{Attempt::Outcome::TimedOut, "timed out"};
        if (n == SOCKET_ERROR) {
          err = WSAGetLastError();
        } else if (FD_ISSET(s, &failed)) {
          int len = sizeof err;
          getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
          if (err == 0) err = WSAECONNREFUSED;
        } else {
          err = 0;
        }
      }
    }
    if (err != 0) return Attempt{Attempt::Outcome::Failed, SystemText(err)};
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    m_socket = std::move(owned);
    return Attempt{Attempt::Outcome::Connected, {}};
  });
  m_peerIsLoopback = IsLoopback(connected);
}

void WinsockTransport::Send(std::string_view bytes, int timeoutMs) {
  if (!m_socket) throw TransportError(TransportError::Kind::Failed, "not connected");
  const SOCKET s = m_socket.get();
  auto deadline = DeadlineAfter(timeoutMs);
  while (!bytes.empty()) {
    int left = MillisLeft(deadline);
    if (left == 0) {
      Close();
      Fail(WSAETIMEDOUT);
    }
    SetTimeout(s, SO_SNDTIMEO, left);
    int chunk = static_cast<int>(bytes.size() > 65536 ? 65536 : bytes.size());
    int n = send(s, bytes.data(), chunk, 0);
    if (n == SOCKET_ERROR) {
      int err = WSAGetLastError();
      // After a time-out the socket's state is undefined; it must not be reused.
      Close();
      Fail(err);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::size_t WinsockTransport::Receive(char* buffer, std::size_t capacity, int timeoutMs) {
  if (!m_socket) throw TransportError(TransportError::Kind::Failed, "not connected");
  const SOCKET s = m_socket.get();
  SetTimeout(s, SO_RCVTIMEO, timeoutMs);
  int n = recv(s, buffer, static_cast<int>(capacity > 65536 ? 65536 : capacity), 0);
  if (n > 0) return static_cast<std::size_t>(n);
  if (n == 0) throw TransportError(TransportError::Kind::Closed, "connection closed");
  int err = WSAGetLastError();
  Close();
  Fail(err);
}

void WinsockTransport::Close() noexcept {
  m_socket.reset();
  m_peerIsLoopback = false;
}

std::string WinsockTransport::LocalHostName() {
  try {
    EnsureWinsock();
  } catch (const TransportError&) {
    return "localhost";
  }
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace net
