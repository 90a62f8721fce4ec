#include "net/AddressWalk.h"

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/Loopback.h"
#include "net/Transport.h"

namespace net {

namespace {

addrinfo Hints(int flags) {
  addrinfo hints{};
  hints.ai_flags = flags;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  return hints;
}

}  // namespace

AddressList LookUpWithin(const std::string& host, int port, Clock::time_point deadline,
                         const std::function<std::string(int code)>& errorText) {
  const std::string service = std::to_string(port);
  // Digits are read without asking anyone, so they need no thread to bound
  // the wait.
  const addrinfo numeric = Hints(AI_NUMERICHOST);
  addrinfo* literal = nullptr;
  if (getaddrinfo(host.c_str(), service.c_str(), &numeric, &literal) == 0 && literal) return AddressList(literal);

  struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int rc = 0;
    AddressList list;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host, service] {
    const addrinfo hints = Hints(0);
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->rc = rc;
    lookup->list.reset(rc == 0 ? list : nullptr);
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; }))
    throw TransportError(TransportError::Kind::TimedOut, "timed out looking up the name " + host);
  if (lookup->rc != 0 || !lookup->list)
    throw TransportError(TransportError::Kind::Failed, "cannot resolve the name: " + errorText(lookup->rc));
  return std::move(lookup->list);
}

const addrinfo& ConnectFirst(const addrinfo* list, const std::function<Attempt(const addrinfo&)>& attempt) {
  std::string lastError = "no address";
  for (const addrinfo* a = list; a; a = a->ai_next) {
    Attempt tried = attempt(*a);
    if (tried.outcome == Attempt::Outcome::Connected) return *a;
    if (tried.outcome == Attempt::Outcome::TimedOut) throw TransportError(TransportError::Kind::TimedOut, "timed out");
    lastError = std::move(tried.error);
  }
  throw TransportError(TransportError::Kind::Failed, lastError);
}

bool IsLoopback(const addrinfo& address) {
  if (address.ai_family == AF_INET6)
    return IsLoopbackAddress(&reinterpret_cast<const sockaddr_in6*>(address.ai_addr)->sin6_addr);
  return address.ai_family == AF_INET &&
         IsLoopbackAddress(&reinterpret_cast<const sockaddr_in*>(address.ai_addr)->sin_addr);
}

}  // namespace net
