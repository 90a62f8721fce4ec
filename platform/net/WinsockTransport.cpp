#include "WinsockTransport.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "Deadline.h"
#include "Loopback.h"
#include "Transport.h"
#include "SystemError.h"

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

std::string SystemText(int code) { return fw::SystemErrorText(static_cast<DWORD>(code), "Windows Sockets error"); }

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

struct AddressListFree {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

// getaddrinfo has no time-out of its own, and a resolver that hangs would
// hold the send past every bound. The lookup runs on a thread of its own; one
// that outlives the time is left to finish alone and its answer dropped.
AddressList Resolve(const std::string& host, int port, Clock::time_point deadline) {
  // An address typed as digits is read without asking anyone, so it needs
  // no thread to bound the wait.
  addrinfo numeric{};
  numeric.ai_flags = AI_NUMERICHOST;
  numeric.ai_family = AF_UNSPEC;
  numeric.ai_socktype = SOCK_STREAM;
  numeric.ai_protocol = IPPROTO_TCP;
  addrinfo* literal = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &numeric, &literal) == 0) return AddressList(literal);
  struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int rc = 0;
    AddressList list;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host, port] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->rc = rc;
    lookup->list.reset(rc == 0 ? list : nullptr);
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
    throw TransportError(TransportError::Kind::TimedOut, "timed out looking up the name " + host);
  }
  if (lookup->rc != 0 || !lookup->list) {
    throw TransportError(TransportError::Kind::Failed, "cannot resolve the name: " + SystemText(lookup->rc));
  }
  return std::move(lookup->list);
}

}  // namespace

WinsockTransport::WinsockTransport() = default;

void WinsockTransport::Connect(const std::string& host, int port, int timeoutMs) {
  EnsureWinsock();
  Close();
  auto deadline = DeadlineAfter(timeoutMs);
  const AddressList list = Resolve(host, port, deadline);
  std::string lastError = "no address";
  bool timedOut = false;
  // A blocking connect cannot be given a time-out: connect non-blocking,
  // wait with select, then switch back so the DWORD time-outs apply.
  for (addrinfo* a = list.get(); a && !timedOut; a = a->ai_next) {
    OwnedSocket owned(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    const SOCKET s = owned.get();
    if (!owned) {
      lastError = SystemText(WSAGetLastError());
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int err = 0;
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
      err = WSAGetLastError();
      if (err == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        int left = MillisLeft(deadline);
        timeval tv{left / 1000, (left % 1000) * 1000};
        int n = select(0, nullptr, &writable, &failed, &tv);
        if (n == 0) {
          err = WSAETIMEDOUT;
          timedOut = true;
        } else if (n == SOCKET_ERROR) {
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
    if (err == 0) {
      u_long blocking = 0;
      ioctlsocket(s, FIONBIO, &blocking);
      m_socket = std::move(owned);
      m_peerIsLoopback = a->ai_family == AF_INET6
                             ? IsLoopbackAddress(&reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr)
                             : IsLoopbackAddress(&reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
      return;
    }
    lastError = SystemText(err);
  }
  if (timedOut) throw TransportError(TransportError::Kind::TimedOut, "timed out");
  throw TransportError(TransportError::Kind::Failed, lastError);
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
