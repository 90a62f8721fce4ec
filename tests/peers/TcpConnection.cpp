#include "TcpConnection.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace peers {
namespace {

#ifdef _WIN32
const TcpConnection::Native kInvalid = INVALID_SOCKET;

// Winsock needs WSAStartup once per process before the first socket call.
void EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    return true;
  }();
  (void)started;
}

std::string LastError() {
  const int code = WSAGetLastError();
  if (code == WSAETIMEDOUT) return "timed out";
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return "Winsock error " + std::to_string(code) + (s.empty() ? "" : ": " + s);
}

void CloseNative(TcpConnection::Native s) { closesocket(static_cast<SOCKET>(s)); }
const int kSendFlags = 0;
#else
const TcpConnection::Native kInvalid = -1;

void EnsureWinsock() {}

std::string LastError() {
  if (errno == EAGAIN || errno == EWOULDBLOCK) return "timed out";
  return std::strerror(errno);
}

void CloseNative(TcpConnection::Native s) { ::close(s); }
// A peer that hung up must give an error here, not a SIGPIPE that kills the test.
const int kSendFlags = MSG_NOSIGNAL;
#endif

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what + ": " + LastError()); }

}  // namespace

TcpConnection TcpConnection::Connect(const std::string& host, int port, int timeoutMs) {
  EnsureWinsock();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
    throw std::runtime_error("not an IPv4 address: " + host);
  TcpConnection c(static_cast<Native>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
  if (c.m_socket == kInvalid) Fail("socket");
  c.SetTimeout(timeoutMs);
  if (::connect(c.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    Fail("cannot connect to " + host + ":" + std::to_string(port));
  return c;
}

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : m_socket(std::exchange(other.m_socket, kInvalid)), m_pending(std::move(other.m_pending)) {}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
  if (this != &other) {
    Close();
    m_socket = std::exchange(other.m_socket, kInvalid);
    m_pending = std::move(other.m_pending);
  }
  return *this;
}

TcpConnection::~TcpConnection() { Close(); }

void TcpConnection::Close() noexcept {
  if (m_socket != kInvalid) CloseNative(m_socket);
  m_socket = kInvalid;
}

void TcpConnection::SetTimeout(int timeoutMs) {
#ifdef _WIN32
  // Winsock takes a DWORD of milliseconds here, not a timeval.
  const DWORD value = static_cast<DWORD>(timeoutMs);
#else
  timeval value{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
#endif
  const char* raw = reinterpret_cast<const char*>(&value);
  if (setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, raw, sizeof value) != 0 ||
      setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, raw, sizeof value) != 0)
    Fail("setsockopt");
}

void TcpConnection::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    const auto sent = ::send(m_socket, bytes.data() + done, chunk, kSendFlags);
    if (sent <= 0) Fail("send");
    done += static_cast<std::size_t>(sent);
  }
}

std::string TcpConnection::ReadSome() {
  if (!m_pending.empty()) return std::exchange(m_pending, {});
  char buffer[65536];
  const auto got = ::recv(m_socket, buffer, sizeof buffer, 0);
  if (got < 0) Fail("recv");
  return std::string(buffer, static_cast<std::size_t>(got));
}

std::string TcpConnection::ReadLine(std::size_t maxBytes) {
  std::string line = std::exchange(m_pending, {});
  std::size_t end;
  while ((end = line.find('\n')) == std::string::npos) {
    if (line.size() > maxBytes) throw std::runtime_error("line longer than " + std::to_string(maxBytes));
    const std::string more = ReadSome();
    if (more.empty()) throw std::runtime_error("connection closed before the end of a line");
    line += more;
  }
  m_pending = line.substr(end + 1);
  line.resize(end + 1);
  return line;
}

std::string TcpConnection::ReadExactly(std::size_t n) {
  std::string data = std::exchange(m_pending, {});
  while (data.size() < n) {
    const std::string more = ReadSome();
    if (more.empty())
      throw std::runtime_error("connection closed after " + std::to_string(data.size()) + " of " + std::to_string(n) +
                               " bytes");
    data += more;
  }
  m_pending = data.substr(n);
  data.resize(n);
  return data;
}

std::string TcpConnection::ReadAll() {
  std::string data = std::exchange(m_pending, {});
  for (std::string more; !(more = ReadSome()).empty();) data += more;
  return data;
}

}  // namespace peers
