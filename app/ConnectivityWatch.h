#pragma once
// Tells a window, by a posted message, that the machine's network interfaces
// changed (an adapter connected, got its address, or went away), and, when
// asked, that an IPv6 address came or went (a new prefix arrives on an
// interface that stays up), for as long as this object lives. The system
// calls back on a thread of its own; the window hears of it on its own thread.
#include <winsock2.h>
#include <windows.h>

#include <atomic>

namespace app {

class ConnectivityWatch {
 public:
  // `ipv6Addresses`: also the IPv6 address notices. Off, the window hears of
  // nothing it did not hear of before (a temporary address made each day is
  // such a notice).
  ConnectivityWatch(HWND target, UINT message, bool ipv6Addresses = false);
  ~ConnectivityWatch();
  ConnectivityWatch(const ConnectivityWatch&) = delete;
  ConnectivityWatch& operator=(const ConnectivityWatch&) = delete;

  // False where the system offers no such notice; the program then relies
  // on its timer alone.
  bool IsWatching() const { return m_registration != nullptr || m_addressRegistration != nullptr; }

  // True once for each run of notices the system gave. Any program can post
  // the window's message; only a post that follows a real notice counts.
  bool TakeNotice() { return m_target.noticed.exchange(false); }

  // Where the system's thread posts to; it lives as long as the registration.
  struct Target {
    HWND hwnd;
    UINT message;
    std::atomic<bool> noticed;
  };

 private:
  Target m_target;
  HANDLE m_registration = nullptr;
  HANDLE m_addressRegistration = nullptr;
};

}  // namespace app
