#pragma once
// The hard deadline of one fetch. WinINet's own time-outs bound each wait
// but not a server that trickles a byte at a time (and some WinINets ignore
// them on the session handle), so a watchdog thread closes the fetch's
// handles once the time is up: a blocked call on them then returns with an
// error, and the next call fails at once.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <windows.h>
#include <wininet.h>

namespace inet {

class InetWatchdog {
 public:
  explicit InetWatchdog(DWORD limitMs);
  ~InetWatchdog() { Stop(); }
  InetWatchdog(const InetWatchdog&) = delete;
  InetWatchdog& operator=(const InetWatchdog&) = delete;

  // Puts a handle under watch. False when the deadline has already passed:
  // the handle was not taken, and the caller closes it.
  bool Guard(HINTERNET handle);
  // Ends the watch (idempotent); after it, Fired() no longer changes.
  void Stop();
  // True when the deadline passed and the guarded handles were closed; their
  // owners must then let go of them without closing them again.
  bool Fired() const { return m_fired.load(); }

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopped = false;
  std::atomic<bool> m_fired{false};
  std::vector<HINTERNET> m_guarded;
  std::thread m_thread;
};

}  // namespace inet
